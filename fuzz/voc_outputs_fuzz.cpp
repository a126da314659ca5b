// Fuzzes what the agent makes of a .voc file it did not write: for every input the reader
// accepts, the tables, the JSON form, the checks, the series and the diff, checking more
// than the absence of crashes:
//   - the tables hold no byte a terminal acts on but the newline: every text is escaped;
//   - the JSON form is one valid JSON document;
//   - the checks come in document order, as `check` reports them;
//   - a vocabulary the checks pass differs from itself in nothing, and from one of no
//     entries in each guest OS, adapter and category, removed one way and added the other;
//   - the series are lines of the Prometheus text format, with no raw control byte.
// A broken property aborts, which libFuzzer reports as a crash with the input saved.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "agent/output/metrics_series.h"
#include "agent/output/vocabulary_json.h"
#include "agent/output/vocabulary_printer.h"
#include "agent/vocabulary/vocabulary_check.h"
#include "agent/vocabulary/vocabulary_diff.h"
#include "agent/vocabulary/vocabulary_model.h"
#include "host/KXLMessageFile.h"
#include "host/KXLMessageTree.h"

namespace {

[[noreturn]] void violated(const std::string& what, std::string_view output = {})
{
    std::fprintf(stderr, "\nvoc_outputs_fuzz: property violated: %s\n%.*s\n", what.c_str(),
                 static_cast<int>(std::min<std::size_t>(output.size(), 2000)), output.data());
    std::abort();
}

// The first byte a terminal would act on, other than a line end; npos when there is none.
std::size_t rawControl(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\n') || c == 0x7F)
            return i;
    }
    return std::string_view::npos;
}

void checkTables(const KXL::KXLDocument& document)
{
    std::ostringstream out;
    KXL::printVocabulary(out, "fuzz", document, "remark");
    KXL::printGuests(out, "fuzz", document, [](const KXL::GuestEntry& guest) { return guest.code % 2 == 0; }, {},
                     KXL::guestColumnsNamed("display_name,code,experimental"));
    const std::string text = out.str();
    if (const std::size_t at = rawControl(text); at != std::string::npos)
        violated("the tables hold the raw byte " + std::to_string(static_cast<unsigned char>(text[at])) +
                     " at " + std::to_string(at),
                 text);
}

void checkJson(const KXL::KXLDocument& document)
{
    std::ostringstream out;
    KXL::openJsonDocument(out);
    KXL::writeVocabularyMembers(out, std::string("fuzz"), document);
    out << '}';
    const std::string text = out.str();
    if (!nlohmann::json::accept(text))
        violated("the JSON form is not JSON", text);
}

// Problems of the document, then the top element, the container and its items in order.
void checkProblemOrder(const std::vector<KXL::VocabularyProblem>& problems)
{
    for (std::size_t i = 1; i < problems.size(); ++i) {
        const KXL::VocabularyProblem& before = problems[i - 1];
        const KXL::VocabularyProblem& after = problems[i];
        if (after.part < before.part || (after.part == before.part && after.item < before.item))
            violated("the checks are out of document order: \"" + before.location + ": " + before.message +
                     "\" before \"" + after.location + ": " + after.message + "\"");
    }
}

void checkSeries(const KXL::KXLDocument& document)
{
    std::ostringstream out;
    KXL::writeMetrics(out, {}, {KXL::VocabularyMetrics{"fuzz", &document, std::nullopt, std::nullopt}}, true);
    const std::string text = out.str();
    if (const std::size_t at = rawControl(text); at != std::string::npos)
        violated("the series hold a raw control byte at " + std::to_string(at), text);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("# HELP ", 0) == 0 || line.rfind("# TYPE ", 0) == 0)
            continue;
        // name{label="value",...} number: the name up to the labels or the blank, the
        // labels' quotes balanced once their escapes are skipped, then one number.
        const std::size_t name = line.find_first_not_of(
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_:");
        if (name == 0 || name == std::string::npos)
            violated("a series line without a metric name: " + line, text);
        std::size_t at = name;
        if (line[at] == '{') {
            bool quoted = false;
            for (++at; at < line.size() && (quoted || line[at] != '}'); ++at) {
                if (quoted && line[at] == '\\')
                    ++at;
                else if (line[at] == '"')
                    quoted = !quoted;
            }
            if (at >= line.size())
                violated("a series line whose labels do not end: " + line, text);
            ++at;
        }
        const std::string value = line.substr(at);
        char* end = nullptr;
        if (value.size() >= 2 && value[0] == ' ' && value[1] != ' ')
            std::strtod(value.c_str() + 1, &end);
        if (end == nullptr || *end != '\0')
            violated("a series line without one number after its labels: " + line, text);
    }
}

// Against a vocabulary of no entries, every guest OS, adapter and category of `document` is
// one change: removed from it, added to it. A diff that ignores a side or an entry shows.
void checkDiffAgainstNone(const KXL::KXLDocument& document)
{
    using Section = KXL::VocabularyChange::Section;
    using Kind = KXL::VocabularyChange::Kind;
    KXL::KXLDocument none;
    none.appendElement(none.appendElement(KXL::KXLDocument::kRoot, KXL::kTagVocabulary), KXL::kTagContainer);
    const KXL::Vocabulary vocabulary = KXL::classifyVocabulary(document);
    const std::pair<Section, std::size_t> expected[] = {{Section::GuestOS, vocabulary.guests.size()},
        {Section::Adapter, vocabulary.adapters.size()}, {Section::Category, vocabulary.categories.size()}};
    const std::pair<std::vector<KXL::VocabularyChange>, Kind> directions[] = {
        {KXL::diffVocabularies(document, none), Kind::Removed}, {KXL::diffVocabularies(none, document), Kind::Added}};
    for (const auto& direction : directions) {
        for (const auto& entries : expected) {
            std::size_t found = 0;
            for (const KXL::VocabularyChange& change : direction.first)
                found += change.section == entries.first && change.change == direction.second;
            if (found != entries.second)
                violated(std::string("against a vocabulary of no entries, ") + std::to_string(entries.second) + " " +
                         KXL::sectionName(entries.first) + " entries give " + std::to_string(found) + " " +
                         KXL::changeName(direction.second));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    KXL::KXLDocument document;
    if (KXL::loadDocumentFromBytes(bytes, "fuzz input", document) != 0)
        return 0; // the reader's own target fuzzes its refusals

    checkTables(document);
    checkJson(document);
    const std::vector<KXL::VocabularyProblem> problems = KXL::checkVocabulary(document);
    checkProblemOrder(problems);
    if (!KXL::vocabularyContainer(document))
        return 0;
    checkSeries(document);
    if (KXL::firstError(problems).empty()) {
        const std::vector<KXL::VocabularyChange> changes = KXL::diffVocabularies(document, document);
        if (!changes.empty())
            violated("a vocabulary differs from itself in " + std::to_string(changes.size()) + " change(s), the first " +
                     KXL::sectionName(changes[0].section) + " " + KXL::changeName(changes[0].change) + " " +
                     changes[0].field);
        checkDiffAgainstNone(document);
    }
    return 0;
}
