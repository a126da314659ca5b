#include "show_command.h"

#include "exit_status.h"
#include "host/KXLError.h"
#include "host/KXLMessageFile.h"
#include "stdin_file.h"
#include "text_escape.h"
#include "vocabulary_printer.h"

namespace KXL {

namespace {

// As much as the reader takes from a file.
constexpr std::size_t maxStandardInput = std::size_t{256} << 20;

// The loader names the path it read; for standard input that is the temporary copy, which
// means nothing to the user, so its name is left out of the reason.
std::string reasonWithout(const std::string& path, const std::string& message)
{
    const std::string prefix = "cannot load \"" + path + "\": ";
    return message.compare(0, prefix.size(), prefix) == 0 ? message.substr(prefix.size())
                                                          : message;
}

int showStandardInput(std::ostream& out, std::ostream& err)
{
    const char* const failure = "host-agent: cannot show standard input: ";
    const KXLStdinFile copy(maxStandardInput);
    if (!copy.ok()) {
        err << failure << escapeText(copy.error()) << '\n';
        return exitFailure;
    }
    KXLDocument document;
    if (loadDocument(copy.path(), document) != 0) {
        err << failure << escapeText(reasonWithout(copy.path(), getErrorMessage())) << '\n';
        return exitFailure;
    }
    out << printVocabulary("-", document);
    return exitSuccess;
}

} // namespace

int showVocabularyFile(const std::string& path, std::ostream& out, std::ostream& err)
{
    if (path == "-")
        return showStandardInput(out, err);
    KXLDocument document;
    if (loadDocument(path, document) != 0) {
        err << "host-agent: cannot show " << quoteText(path) << ": "
            << escapeText(getErrorMessage()) << '\n';
        return exitFailure;
    }
    printVocabulary(out, path, document);
    return exitSuccess;
}

} // namespace KXL
