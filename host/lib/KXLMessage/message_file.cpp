// Saving and loading a message tree as a .voc file.
#include "host/KXLMessageFile.h"

#include <utility>

#include "common/atomic_file.h"
#include "file_window.h"
#include "message_file_failure.h"
#include "host/lib/host_call.h"
#include "voc_reader.h"
#include "voc_writer.h"

namespace KXL {

namespace {

// A NUL ends a path early for the system, which would then use another file than the one
// named. Such a path is shown up to the NUL, which would cut the error text there anyway.
bool holdsNul(const std::string& path)
{
    return path.find('\0') != std::string::npos;
}

} // namespace

int saveDocument(const KXLDocument& document, const std::string& path)
{
    return host::guarded("saveDocument", [&] {
        if (holdsNul(path))
            return host::fail(voc::saveFailurePrefix(path.c_str()) + "the path holds a NUL byte");
        std::string error;
        // Straight into the temporary file, with no copy in memory; a tree that cannot be
        // written is found on the way and its temporary file thrown away.
        const auto write = [&](sys::ByteSink& sink, std::string& why) {
            return voc::writeVoc(document, sink, why);
        };
        if (!sys::replaceFileAtomically(path, write, error))
            return host::fail(voc::saveFailurePrefix(path) + error);
        return 0;
    });
}

int loadDocument(const std::string& path, KXLDocument& document)
{
    return host::guarded("loadDocument", [&] {
        if (holdsNul(path))
            return host::fail(voc::loadFailurePrefix(voc::quotedPath(path.c_str())) + "the path holds a NUL byte");
        std::string error;
        KXLDocument loaded;
        voc::FileWindow file;
        if (!file.open(path, error) || !voc::readVoc(file, loaded, error))
            return host::fail(voc::loadFailurePrefix(voc::quotedPath(path)) + error);
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
            return host::fail(voc::loadFailurePrefix(name) + error);
        document = std::move(loaded);
        return 0;
    });
}

} // namespace KXL
