#include "show_command.h"

#include "exit_status.h"
#include "host/KXLError.h"
#include "host/KXLMessageFile.h"
#include "text_escape.h"
#include "vocabulary_printer.h"

namespace KXL {

int showVocabularyFile(const std::string& path, std::ostream& out, std::ostream& err)
{
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
