// The .voc reader and writer against memcpy of the same bytes, in the same run:
//
//     voc_io_bench [benchmark flags] [FILE.voc]
//
// FILE is a saved vocabulary (scripts/bench.sh passes the 100k one); without it, a tree of
// 100,000 guest OSes of the plug-in's shape is made here. Every case reports bytes/s of the
// file's size, so each ratio to BM_Memcpy is one division. BM_ExpatParse is the well-kept
// streaming parser on the same bytes with empty handlers: what switching the scanner to
// it would cost before a single node is built. BM_ReadGeneralSpelling reads the same tree
// with a space after each tag's name, a spelling the writer never uses, so the reader's
// path for the writer's own spelling gives up at the first bytes of each tag: the general
// productions alone. Its bytes/s count the writer's spelling of the tree, so that the two
// rows' ratio is one of times (bench/targets.py sets the difference against a whole run).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include <benchmark/benchmark.h>
#include <expat.h>

#include "host/KXLMessageFile.h"
#include "host/KXLMessageTree.h"
#include "memcpy_reference.h"
#include "voc_writer.h"

namespace {

using KXL::KXLDocument;

KXLDocument guestOSes(int count)
{
    KXLDocument document;
    const auto text = [&](KXLDocument::NodeId parent, int tag, const std::string& value) {
        document.setText(document.appendElement(parent, tag), value);
    };
    const KXLDocument::NodeId list = document.appendElement(document.appendElement(KXLDocument::kRoot, 1307), 1044);
    for (int i = 0; i < count; ++i) {
        char number[16];
        std::snprintf(number, sizeof number, "%07d", i);
        const KXLDocument::NodeId entry = document.appendElement(list, 1017);
        document.setInt(document.appendElement(entry, 1010), 1000 + i);
        text(entry, 1264, "guest_os_type");
        if (i % 5 == 4)
            text(entry, 1264, "experimental");
        text(entry, 1846, std::string("os") + number);
        text(entry, 1026, std::string("Generated OS ") + number + " LTS (x86_64)");
        for (const auto& [name, value] : {std::pair<const char*, int>{"min_hdd_size", 100}, {"max_hdd_size", 16777216},
                                          {"recommended_hdd_size", 65536}, {"hdd_interface", 1},
                                          {"adapter_type", 3}, {"boot_efi", 0}})
            document.appendNamed(entry, name, value);
    }
    return document;
}

class NullSink final : public KXL::sys::ByteSink {
public:
    bool write(std::string_view bytes, std::string&) override
    {
        benchmark::DoNotOptimize(bytes.data());
        return true;
    }
};

struct Input {
    std::string bytes;
    std::string path; // the same bytes in a file
    std::string generalPath; // the same tree in the other spelling
    KXLDocument document;
};

Input& input()
{
    static Input data;
    return data;
}

void setBytes(benchmark::State& state)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input().bytes.size()));
}

void BM_Memcpy(benchmark::State& state)
{
    copyBytes(state, input().bytes, false);
}

void BM_MemcpyCold(benchmark::State& state)
{
    copyBytes(state, input().bytes, true);
}

template <typename Load>
void readCase(benchmark::State& state, Load&& load)
{
    for (auto _ : state) {
        KXLDocument document;
        if (load(document) != 0)
            state.SkipWithError("the vocabulary does not load");
        benchmark::DoNotOptimize(document);
    }
    setBytes(state);
}

void BM_ReadFromFile(benchmark::State& state)
{
    readCase(state, [](KXLDocument& document) { return KXL::loadDocument(input().path, document); });
}

void BM_ReadGeneralSpelling(benchmark::State& state)
{
    readCase(state, [](KXLDocument& document) { return KXL::loadDocument(input().generalPath, document); });
}

void BM_ReadFromBytes(benchmark::State& state)
{
    readCase(state, [](KXLDocument& document) { return KXL::loadDocumentFromBytes(input().bytes, "bytes", document); });
}

void BM_Write(benchmark::State& state)
{
    for (auto _ : state) {
        NullSink sink;
        std::string error;
        if (!KXL::voc::writeVoc(input().document, sink, error))
            state.SkipWithError(error.c_str());
    }
    setBytes(state);
}

void BM_ExpatParse(benchmark::State& state)
{
    for (auto _ : state) {
        XML_Parser parser = XML_ParserCreate("UTF-8");
        std::size_t elements = 0;
        XML_SetUserData(parser, &elements);
        XML_SetElementHandler(parser, [](void* count, const XML_Char*, const XML_Char**) { ++*static_cast<std::size_t*>(count); },
                              nullptr);
        XML_SetCharacterDataHandler(parser, [](void*, const XML_Char*, int) {});
        const std::string& bytes = input().bytes;
        if (XML_Parse(parser, bytes.data(), static_cast<int>(bytes.size()), 1) != XML_STATUS_OK)
            state.SkipWithError("expat refuses the bytes");
        XML_ParserFree(parser);
        benchmark::DoNotOptimize(elements);
    }
    setBytes(state);
}

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyCold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFromFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadGeneralSpelling)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFromBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExpatParse)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    Input& data = input();
    std::string error;
    if (argc > 1) {
        std::ifstream in(argv[1], std::ios::binary);
        data.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (KXL::loadDocumentFromBytes(data.bytes, argv[1], data.document) != 0) {
            std::fprintf(stderr, "voc_io_bench: %s does not load\n", argv[1]);
            return 2;
        }
    } else {
        data.document = guestOSes(100000);
        if (!KXL::voc::writeVoc(data.document, data.bytes, error)) {
            std::fprintf(stderr, "voc_io_bench: %s\n", error.c_str());
            return 2;
        }
    }
    std::string general;
    bool inName = false;
    for (std::size_t at = 0; at < data.bytes.size(); ++at) {
        const char c = data.bytes[at];
        if (inName && (c == ' ' || c == '>' || c == '/')) {
            general += ' ';
            inName = false;
        }
        general += c;
        if (c == '<' && at + 1 < data.bytes.size() && data.bytes[at + 1] != '?')
            inName = data.bytes[at + 1] != '/';
        else if (c == '/' && at > 0 && data.bytes[at - 1] == '<')
            inName = true;
    }
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    for (const auto& [bytes, path] : {std::pair{&data.bytes, &data.path}, std::pair{&general, &data.generalPath}}) {
        std::string pattern = folder + "/voc_io_bench.XXXXXX";
        const int fd = ::mkstemp(pattern.data());
        const bool written = fd >= 0 && ::write(fd, bytes->data(), bytes->size()) == static_cast<ssize_t>(bytes->size());
        if (fd >= 0)
            ::close(fd);
        *path = pattern;
        if (!written) {
            std::perror("voc_io_bench: the scratch file");
            return 2;
        }
    }
    KXLDocument check;
    if (KXL::loadDocument(data.generalPath, check) != 0 || check != data.document) {
        std::fprintf(stderr, "voc_io_bench: the other spelling does not read as the same tree\n");
        return 2;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ::unlink(data.path.c_str());
    ::unlink(data.generalPath.c_str());
    return 0;
}
