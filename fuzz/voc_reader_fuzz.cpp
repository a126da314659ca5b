// Fuzzes the .voc reader through the host interface, checking more than the absence of
// crashes:
//   - a failed load leaves the caller's document as it was;
//   - reading the bytes from memory and from a file gives the same tree, or the same error
//     text (the source is named alike in both);
//   - what loads saves, reads back as the same tree, and saves again to the same bytes;
//   - nothing but white space may follow the document: a byte more that is not refuses it.
// A broken property aborts, which libFuzzer reports as a crash with the input saved.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include <unistd.h>

#include "host/KXLError.h"
#include "host/KXLMessageFile.h"
#include "host/KXLMessageTree.h"

namespace {

using KXL::KXLDocument;

[[noreturn]] void violated(const std::string& what)
{
    std::fprintf(stderr, "\nvoc_reader_fuzz: property violated: %s\n", what.c_str());
    std::abort();
}

// The files of one run, in a folder of its own under $TMPDIR (scripts/fuzz.sh points that at
// memory, where the saves' fsync costs nothing). Removed when the run ends normally.
class ScratchFolder {
public:
    ScratchFolder()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/voc_reader_fuzz.XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("voc_reader_fuzz: mkdtemp");
            std::abort();
        }
        m_path = pattern;
    }
    ~ScratchFolder()
    {
        for (const char* name : {"input.voc", "saved.voc", "saved-again.voc"})
            ::unlink(file(name).c_str());
        ::rmdir(m_path.c_str());
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string file(const char* name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

const ScratchFolder& scratch()
{
    static const ScratchFolder folder;
    return folder;
}

void writeFile(const std::string& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        violated("cannot write the scratch file " + path); // not the library's fault, but fatal
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        violated("cannot read back " + path);
    return bytes;
}

// A document with a bit of everything, for a failed load to leave alone.
void makeSentinel(KXLDocument& document)
{
    document.setKind(77);
    const KXLDocument::NodeId entry = document.appendElement(KXLDocument::kRoot, 5);
    document.setText(entry, "sentinel");
    document.appendNamed(entry, "left", 1);
    const KXLDocument::NodeId child = document.appendElement(entry, 6);
    document.setInt(child, -3);
    KXL::KXLStamps stamps;
    stamps.ns = "urn:sentinel";
    document.setStamps(child, stamps);
}

std::string lastError()
{
    return KXL::getErrorMessage();
}

std::string save(const KXLDocument& document, const std::string& path)
{
    if (KXL::saveDocument(document, path) != 0)
        violated("a loaded document does not save: " + lastError());
    return readFile(path);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string input = scratch().file("input.voc");
    writeFile(input, bytes);

    static const KXLDocument pristine = [] {
        KXLDocument document;
        makeSentinel(document);
        return document;
    }();

    KXLDocument fromBytes;
    makeSentinel(fromBytes);
    // Named as loadDocument names a file, so that both error texts must match exactly.
    const int bytesStatus = KXL::loadDocumentFromBytes(bytes, "\"" + input + "\"", fromBytes);
    const std::string bytesError = bytesStatus != 0 ? lastError() : std::string();

    KXLDocument fromFile;
    makeSentinel(fromFile);
    const int fileStatus = KXL::loadDocument(input, fromFile);
    const std::string fileError = fileStatus != 0 ? lastError() : std::string();

    if (bytesStatus != 0 && fromBytes != pristine)
        violated("a failed loadDocumentFromBytes changed the document (" + bytesError + ")");
    if (fileStatus != 0 && fromFile != pristine)
        violated("a failed loadDocument changed the document (" + fileError + ")");
    if ((bytesStatus == 0) != (fileStatus == 0))
        violated("loading from bytes " + std::string(bytesStatus == 0 ? "succeeded" : "failed: " + bytesError) +
                 ", from a file " + (fileStatus == 0 ? "succeeded" : "failed: " + fileError));
    if (bytesStatus != 0) {
        if (bytesError != fileError)
            violated("different reasons:\n  bytes: " + bytesError + "\n  file:  " + fileError);
        if (bytesError.rfind("cannot load \"" + input + "\": ", 0) != 0 ||
            bytesError.size() <= input.size() + 16)
            violated("the error text does not name the source and a reason: " + bytesError);
        return 0;
    }
    if (fromBytes != fromFile)
        violated("loading from bytes and from a file gave different trees");

    char extra = bytes[bytes.size() / 2];
    if (extra == ' ' || extra == '\t' || extra == '\n' || extra == '\r')
        extra = static_cast<char>(size % 2 == 0 ? 'x' : 0x80);
    KXLDocument longer;
    if (KXL::loadDocumentFromBytes(std::string(bytes) + extra, "bytes", longer) == 0)
        violated("a byte that is not white space after the document was accepted");

    const std::string saved = save(fromBytes, scratch().file("saved.voc"));
    KXLDocument reloaded;
    if (KXL::loadDocument(scratch().file("saved.voc"), reloaded) != 0)
        violated("a saved document does not load: " + lastError());
    if (reloaded != fromBytes)
        violated("save and load changed the tree");
    if (save(reloaded, scratch().file("saved-again.voc")) != saved)
        violated("saving the reloaded tree gave other bytes");
    return 0;
}
