// The text printer and the checks on a vocabulary of 100k guest OSes, as make_catalog.py
// describes them; the printer against memcpy of the bytes it prints, in the same run.
#include <cstdio>
#include <cstring>
#include <ostream>
#include <streambuf>
#include <string>

#include <benchmark/benchmark.h>

#include "agent/output/vocabulary_printer.h"
#include "agent/vocabulary/vocabulary_check.h"
#include "memcpy_reference.h"

namespace {

using namespace KXL;

constexpr int kGuests = 100000;

// Counts what it is given and keeps nothing, as /dev/null would without the system call.
class CountingBuffer : public std::streambuf {
public:
    std::size_t bytes = 0;

protected:
    std::streamsize xsputn(const char*, std::streamsize count) override
    {
        bytes += static_cast<std::size_t>(count);
        return count;
    }
    int_type overflow(int_type c) override
    {
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            ++bytes;
        return traits_type::not_eof(c);
    }
};

KXL::KXLDocument::NodeId text(KXL::KXLDocument& document, KXL::KXLDocument::NodeId parent, int tag,
                              std::string_view value)
{
    const auto id = document.appendElement(parent, tag);
    document.setText(id, value);
    return id;
}

KXL::KXLDocument::NodeId number(KXL::KXLDocument& document, KXL::KXLDocument::NodeId parent, int tag, int value)
{
    const auto id = document.appendElement(parent, tag);
    document.setInt(id, value);
    return id;
}

const KXL::KXLDocument& vocabulary()
{
    static const KXL::KXLDocument document = [] {
        KXL::KXLDocument made;
        const auto container = made.appendElement(made.appendElement(KXLDocument::kRoot, kTagVocabulary), kTagContainer);
        const auto version = made.appendElement(container, kTagEntry);
        text(made, version, kTagId, kVersionId);
        text(made, version, kTagCategory, kVersionMark);
        text(made, version, kTagVocabulary, "$Id: ZEVUruruzodovar.voc 7dd20348-47af-4413-bc11-0c819a4a0fdb $");
        text(made, version, kTagDescription, "Vocabulary version");
        for (std::string_view category : {kAdapterCategory, kGuestCategory, kExperimentalCategory})
            text(made, made.appendElement(container, kTagCategory), kTagId, category);
        const char* adapters[] = {"Realtek RTL8139", "Intel PRO/1000 MT", "VirtIO"};
        for (int id = 0; id < 3; ++id) {
            const auto adapter = made.appendElement(container, kTagEntry);
            number(made, adapter, kTagId, id + 1);
            text(made, adapter, kTagCategory, kAdapterCategory);
            text(made, adapter, kTagDisplayName, adapters[id]);
        }
        char identifier[32];
        char name[64];
        for (int i = 0; i < kGuests; ++i) {
            const auto guest = made.appendElement(container, kTagEntry);
            number(made, guest, kTagId, 1000 + i);
            text(made, guest, kTagCategory, kGuestCategory);
            if (i % 5 == 4)
                text(made, guest, kTagCategory, kExperimentalCategory);
            std::snprintf(identifier, sizeof identifier, "os%07d", i);
            std::snprintf(name, sizeof name, "Generated OS %07d LTS (x86_64)", i);
            text(made, guest, kTagIdentifier, identifier);
            text(made, guest, kTagDisplayName, name);
            const int values[] = {2048, 2097152, 65536, 1, 3, i % 2};
            for (std::size_t v = 0; v < kGuestValueCount; ++v)
                made.appendNamed(guest, kGuestValueNames[v], values[v]);
        }
        return made;
    }();
    return document;
}

std::size_t printedBytes()
{
    CountingBuffer counter;
    std::ostream out(&counter);
    KXL::printVocabulary(out, "ZEVUruruzodovar", vocabulary());
    return counter.bytes;
}

void BM_Print(benchmark::State& state)
{
    const KXL::KXLDocument& document = vocabulary();
    CountingBuffer counter;
    std::ostream out(&counter);
    for (auto _ : state)
        KXL::printVocabulary(out, "ZEVUruruzodovar", document);
    state.SetBytesProcessed(static_cast<std::int64_t>(counter.bytes));
}
BENCHMARK(BM_Print)->Unit(benchmark::kMillisecond);

// The one pass over the container that every output starts with: each entry classified,
// nothing printed.
void BM_Classify(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(KXL::classifyVocabulary(vocabulary()).guests.size());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * printedBytes()));
}
BENCHMARK(BM_Classify)->Unit(benchmark::kMillisecond);

// The checks the agent applies to a vocabulary before it is cached: the classifying pass
// and what each entry is checked for.
void BM_Check(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(KXL::checkVocabulary(vocabulary()).size());
}
BENCHMARK(BM_Check)->Unit(benchmark::kMillisecond);

// The floor of any pass over the tree: every child of every entry visited and its value
// read, nothing classified.
void BM_Walk(benchmark::State& state)
{
    const KXL::KXLNodeRef container = KXL::vocabularyContainer(vocabulary());
    for (auto _ : state) {
        std::size_t sum = 0;
        for (KXL::KXLNodeRef entry : container.children())
            for (KXL::KXLNodeRef child : entry.children())
                sum += child.isNamed() ? child.name().size() : child.text().size() + static_cast<std::size_t>(child.number());
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_Walk)->Unit(benchmark::kMillisecond);

void BM_Memcpy(benchmark::State& state)
{
    copyBytes(state, std::string(printedBytes(), 'x'), false);
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);

void BM_MemcpyCold(benchmark::State& state)
{
    copyBytes(state, std::string(printedBytes(), 'x'), true);
}
BENCHMARK(BM_MemcpyCold)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
