// Saving and loading a message tree as a .voc file.
#include "host/KXLMessageFile.h"

#include <utility>

#include "atomic_file.h"
#include "file_window.h"
#include "host/lib/host_call.h"
#include "voc_reader.h"
#include "voc_writer.h"

namespace KXL {

int saveDocument(const KXLDocument& document, const std::string& path)
{
    return host::guarded("saveDocument", [&] {
        std::string error;
        // Straight into the temporary file, with no copy in memory; a tree that cannot be
        // written is found on the way and its temporary file thrown away.
        const auto write = [&](voc::ByteSink& sink, std::string& why) {
            return voc::writeVoc(document, sink, why);
        };
        if (!voc::replaceFileAtomically(path, write, error))
            return host::fail("cannot save \"" + path + "\": " + error);
        return 0;
    });
}

int loadDocument(const std::string& path, KXLDocument& document)
{
    return host::guarded("loadDocument", [&] {
        std::string error;
        KXLDocument loaded;
        voc::FileWindow file;
        if (!file.open(path, error) || !voc::readVoc(file, loaded, error))
            return host::fail("cannot load \"" + path + "\": " + error);
        document = std::move(loaded);
        return 0;
    });
}

int loadDocumentFromBytes(std::string_view bytes, const std::string& name, KXLDocument& document)
{
    return host::guarded("loadDocumentFromBytes", [&] {
        std::string error;
        KXLDocument loaded;
        if (bytes.size() > kMaxVocFileSize)
            error = "larger than " + std::to_string(kMaxVocFileSize >> 20) + " MiB";
        if (!error.empty() || !voc::readVoc(bytes, loaded, error))
            return host::fail("cannot load " + name + ": " + error);
        document = std::move(loaded);
        return 0;
    });
}

} // namespace KXL
