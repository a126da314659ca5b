#include "voc_input.h"

#include "host/KXLError.h"
#include "host/KXLMessageFile.h"
#include "stdin_file.h"
#include "text_escape.h"

namespace KXL {

namespace {

// The loader names the path it read; for standard input that is the temporary copy, which
// means nothing to the user, so its name is left out of the reason.
std::string reasonWithout(const std::string& path, const std::string& message)
{
    const std::string prefix = "cannot load \"" + path + "\": ";
    return message.compare(0, prefix.size(), prefix) == 0 ? message.substr(prefix.size())
                                                          : message;
}

} // namespace

std::string inputName(const std::string& path)
{
    return path == "-" ? std::string("standard input") : quoteText(path);
}

bool readVocabularyFile(const std::string& path, const char* verb, KXLDocument& document,
                        std::ostream& err)
{
    const std::string failure = std::string("host-agent: cannot ") + verb + " " + inputName(path) + ": ";
    if (path != "-") {
        if (loadDocument(path, document) == 0)
            return true;
        err << failure << escapeText(getErrorMessage()) << '\n';
        return false;
    }
    // As much as the reader takes from a file.
    const KXLStdinFile copy(kMaxVocFileSize);
    if (!copy.ok()) {
        err << failure << escapeText(copy.error()) << '\n';
        return false;
    }
    if (loadDocument(copy.path(), document) != 0) {
        err << failure << escapeText(reasonWithout(copy.path(), getErrorMessage())) << '\n';
        return false;
    }
    return true;
}

} // namespace KXL
