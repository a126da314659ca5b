#include "check_command.h"

#include <charconv>
#include <optional>
#include <string_view>
#include <vector>

#include "agent/command_line/exit_status.h"
#include "common/text_escape.h"
#include "common/text_prefix.h"
#include "host/lib/KXLMessage/voc_read_failure.h"
#include "voc_input.h"
#include "voc_positions.h"
#include "agent/output/vocabulary_json.h"
#include "agent/vocabulary/vocabulary_check.h"

namespace KXL {

namespace {

using Severity = VocabularyProblem::Severity;

// A problem of the file format: the reader's reason, where it lies.
struct FormatProblem {
    FilePosition at;
    std::string message;
};

// Reads "NUMBER" + `after` at the front of `text`, and takes both off.
std::optional<std::size_t> takeNumber(std::string_view& text, std::string_view after)
{
    std::size_t number = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), number);
    if (parsed.ec != std::errc())
        return std::nullopt;
    const std::optional<std::string_view> rest =
        afterPrefix(text.substr(static_cast<std::size_t>(parsed.ptr - text.data())), after);
    if (!rest)
        return std::nullopt;
    text = *rest;
    return number;
}

// A reason the reader gives for a file it refuses, as a problem of the file's content:
// "line N, column M: ...", "line N: ...", a file that ends early, is empty or holds no
// <message>. Anything else (the file cannot be opened or read) is no finding.
std::optional<FormatProblem> contentProblem(const std::string& reason, const VocInput& input)
{
    if (const std::optional<std::string_view> placed = afterPrefix(reason, voc::kLinePrefix)) {
        std::string_view text = *placed;
        std::string_view withColumn = text;
        if (auto number = takeNumber(withColumn, voc::kColumnPrefix)) {
            if (auto column = takeNumber(withColumn, voc::kPlaceEnd))
                return FormatProblem{{*number, *column}, std::string(withColumn)};
        }
        if (auto number = takeNumber(text, voc::kPlaceEnd))
            return FormatProblem{{*number, 0}, std::string(text)};
        return std::nullopt;
    }
    if (afterPrefix(reason, voc::kEndsEarly))
        return FormatProblem{endPosition(input), reason};
    if (reason == voc::kEmptyFile || reason == voc::kNoMessage)
        return FormatProblem{{1, 1}, reason};
    return std::nullopt;
}

// A problem with an empty location is one of the file format.
void writeText(std::ostream& out, const std::string& name, const std::vector<VocabularyProblem>& problems,
               const std::vector<FilePosition>& positions, std::size_t errors, std::size_t warnings)
{
    for (std::size_t i = 0; i < problems.size(); ++i) {
        const VocabularyProblem& problem = problems[i];
        out << name;
        if (positions[i].line != 0)
            out << ':' << positions[i].line;
        if (positions[i].line != 0 && positions[i].column != 0)
            out << ':' << positions[i].column;
        out << (problem.severity == Severity::Error ? ": error: " : ": warning: ");
        if (!problem.location.empty())
            out << escapeMessage(problem.location) << ": ";
        out << escapeMessage(problem.message) << '\n';
    }
    out << name << ": " << (errors == 0 ? "a valid vocabulary" : "not a valid vocabulary") << ", "
        << errors << (errors == 1 ? " error, " : " errors, ") << warnings
        << (warnings == 1 ? " warning\n" : " warnings\n");
}

std::string jsonNumber(std::size_t number)
{
    return number == 0 ? std::string("null") : std::to_string(number);
}

void writeJson(std::ostream& out, const std::string& path, const std::vector<VocabularyProblem>& problems,
               const std::vector<FilePosition>& positions, std::size_t errors, std::size_t warnings)
{
    openJsonDocument(out);
    out << "\"file\":" << jsonText(path) << ",\"valid\":" << (errors == 0 ? "true" : "false")
        << ",\"errors\":" << errors << ",\"warnings\":" << warnings << ",\"problems\":[";
    bool first = true;
    for (std::size_t i = 0; i < problems.size(); ++i) {
        const VocabularyProblem& problem = problems[i];
        out << (first ? "\n" : ",\n") << "{\"severity\":\""
            << (problem.severity == Severity::Error ? "error" : "warning") << "\",\"line\":"
            << jsonNumber(positions[i].line) << ",\"column\":" << jsonNumber(positions[i].column)
            << ",\"location\":" << (problem.location.empty() ? "null" : jsonText(problem.location))
            << ",\"message\":" << jsonText(problem.message) << '}';
        first = false;
    }
    out << (first ? "]}\n" : "\n]}\n");
}

} // namespace

int checkVocabularyFile(const std::string& path, bool json, std::ostream& out, std::ostream& err)
{
    const VocInput input(path);
    KXLDocument document;
    std::string reason;
    std::vector<VocabularyProblem> problems;
    std::vector<FilePosition> positions;
    if (input.load(document, reason)) {
        problems = checkVocabulary(document);
        if (!problems.empty())
            positions = problemPositions(input, problems);
    } else if (auto problem = contentProblem(reason, input)) {
        // The reader stops at the first problem of the format: it is the only one known.
        problems.push_back({Severity::Error, {}, std::move(problem->message)});
        positions.push_back(problem->at);
    } else {
        err << "host-agent: cannot check " << inputName(path) << ": " << escapeMessage(reason) << '\n';
        return kExitTrouble;
    }

    std::size_t errors = 0;
    for (const VocabularyProblem& problem : problems)
        errors += problem.severity == Severity::Error ? 1 : 0;
    const std::size_t warnings = problems.size() - errors;
    if (json)
        writeJson(out, path, problems, positions, errors, warnings);
    else
        writeText(out, escapeText(path), problems, positions, errors, warnings);
    out.flush();
    return errors == 0 ? kExitSuccess : kExitFailure;
}

} // namespace KXL
