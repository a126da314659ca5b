#include "check_command.h"

#include <charconv>
#include <optional>
#include <string_view>
#include <vector>

#include "agent/command_line/exit_status.h"
#include "common/text_escape.h"
#include "voc_input.h"
#include "agent/vocabulary/voc_positions.h"
#include "agent/output/vocabulary_json.h"
#include "agent/vocabulary/vocabulary_check.h"

namespace KXL {

namespace {

struct Finding {
    bool error;
    FilePosition at;
    std::string location; // empty for a problem of the file format
    std::string message;
};

// Reads "NUMBER" + `after` at the front of `text`, and takes both off.
std::optional<std::size_t> takeNumber(std::string_view& text, std::string_view after)
{
    std::size_t number = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), number);
    const std::string_view rest = text.substr(static_cast<std::size_t>(parsed.ptr - text.data()));
    if (parsed.ec != std::errc() || rest.substr(0, after.size()) != after)
        return std::nullopt;
    text = rest.substr(after.size());
    return number;
}

// A reason the reader gives for a file it refuses, as a problem of the file's content:
// "line N, column M: ...", "line N: ...", a file that ends early, is empty or holds no
// <message>. Anything else (the file cannot be opened or read) is no finding.
std::optional<Finding> contentProblem(const std::string& reason, const VocInput& input)
{
    std::string_view text = reason;
    constexpr std::string_view line = "line ";
    constexpr std::string_view early = "the file ends early (truncated?): ";
    if (text.substr(0, line.size()) == line) {
        text.remove_prefix(line.size());
        std::string_view withColumn = text;
        if (auto number = takeNumber(withColumn, ", column ")) {
            if (auto column = takeNumber(withColumn, ": "))
                return Finding{true, {*number, *column}, {}, std::string(withColumn)};
        }
        if (auto number = takeNumber(text, ": "))
            return Finding{true, {*number, 0}, {}, std::string(text)};
        return std::nullopt;
    }
    if (text.substr(0, early.size()) == early)
        return Finding{true, endPosition(input), {}, reason};
    if (reason == "the file is empty" || reason == "no <message> element")
        return Finding{true, {1, 1}, {}, reason};
    return std::nullopt;
}

void writeText(std::ostream& out, const std::string& name, const std::vector<Finding>& findings,
               std::size_t errors, std::size_t warnings)
{
    for (const Finding& finding : findings) {
        out << name;
        if (finding.at.line != 0)
            out << ':' << finding.at.line;
        if (finding.at.line != 0 && finding.at.column != 0)
            out << ':' << finding.at.column;
        out << (finding.error ? ": error: " : ": warning: ");
        if (!finding.location.empty())
            out << escapeText(finding.location) << ": ";
        out << escapeText(finding.message) << '\n';
    }
    out << name << ": " << (errors == 0 ? "a valid vocabulary" : "not a valid vocabulary") << ", "
        << errors << (errors == 1 ? " error, " : " errors, ") << warnings
        << (warnings == 1 ? " warning\n" : " warnings\n");
}

std::string jsonNumber(std::size_t number)
{
    return number == 0 ? std::string("null") : std::to_string(number);
}

void writeJson(std::ostream& out, const std::string& path, const std::vector<Finding>& findings,
               std::size_t errors, std::size_t warnings)
{
    openJsonDocument(out);
    out << "\"file\":" << jsonText(path) << ",\"valid\":" << (errors == 0 ? "true" : "false")
        << ",\"errors\":" << errors << ",\"warnings\":" << warnings << ",\"problems\":[";
    bool first = true;
    for (const Finding& finding : findings) {
        out << (first ? "\n" : ",\n") << "{\"severity\":\"" << (finding.error ? "error" : "warning")
            << "\",\"line\":" << jsonNumber(finding.at.line) << ",\"column\":" << jsonNumber(finding.at.column)
            << ",\"location\":" << (finding.location.empty() ? "null" : jsonText(finding.location))
            << ",\"message\":" << jsonText(finding.message) << '}';
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
    std::vector<Finding> findings;
    if (input.load(document, reason)) {
        const std::vector<VocabularyProblem> problems = checkVocabulary(document);
        const std::vector<FilePosition> positions =
            problems.empty() ? std::vector<FilePosition>() : problemPositions(input, problems);
        for (std::size_t i = 0; i < problems.size(); ++i)
            findings.push_back({problems[i].severity == VocabularyProblem::Severity::Error, positions[i],
                                problems[i].location, problems[i].message});
    } else if (auto problem = contentProblem(reason, input)) {
        // The reader stops at the first problem of the format: it is the only one known.
        findings.push_back(std::move(*problem));
    } else {
        err << "host-agent: cannot check " << inputName(path) << ": " << escapeText(reason) << '\n';
        return exitTrouble;
    }

    std::size_t errors = 0;
    for (const Finding& finding : findings)
        errors += finding.error ? 1 : 0;
    const std::size_t warnings = findings.size() - errors;
    if (json)
        writeJson(out, path, findings, errors, warnings);
    else
        writeText(out, escapeText(path), findings, errors, warnings);
    out.flush();
    return errors == 0 ? exitSuccess : exitFailure;
}

} // namespace KXL
