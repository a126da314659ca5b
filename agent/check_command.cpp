#include "check_command.h"

#include "exit_status.h"
#include "text_escape.h"
#include "voc_input.h"
#include "vocabulary_model.h"

namespace KXL {

int checkVocabularyFile(const std::string& path, std::ostream& out, std::ostream& err)
{
    KXLDocument document;
    if (!readVocabularyFile(path, "check", document, err))
        return exitUsage;
    std::size_t errors = 0;
    std::size_t warnings = 0;
    const std::string name = path == "-" ? std::string("-") : escapeText(path);
    for (const KXLVocabularyProblem& problem : checkVocabulary(document)) {
        const bool isError = problem.severity == KXLVocabularyProblem::Severity::Error;
        ++(isError ? errors : warnings);
        out << name << ": " << (isError ? "error: " : "warning: ") << escapeText(problem.location)
            << ": " << escapeText(problem.message) << '\n';
    }
    out << name << ": " << (errors == 0 ? "a valid vocabulary" : "not a valid vocabulary") << ", "
        << errors << (errors == 1 ? " error, " : " errors, ") << warnings
        << (warnings == 1 ? " warning\n" : " warnings\n");
    out.flush();
    return errors == 0 ? exitSuccess : exitFailure;
}

} // namespace KXL
