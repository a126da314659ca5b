#include "diff_command.h"

#include "agent/command_line/exit_status.h"
#include "common/text_escape.h"
#include "voc_input.h"
#include "agent/vocabulary/vocabulary_diff.h"
#include "agent/output/vocabulary_json.h"
#include "agent/vocabulary/vocabulary_check.h"

namespace KXL {

namespace {

bool readVocabulary(const std::string& path, KXLDocument& document, std::ostream& err)
{
    if (!readVocabularyFile(path, "compare", document, err))
        return false;
    const std::string problem = firstError(checkVocabulary(document));
    if (problem.empty())
        return true;
    err << "host-agent: cannot compare " << inputName(path) << ": not a vocabulary: "
        << escapeMessage(problem) << " (host-agent check lists every problem)\n";
    return false;
}

std::string textValue(const DiffValue& value)
{
    return value.number ? std::to_string(*value.number) : quoteText(value.text);
}

std::string jsonValue(const std::optional<DiffValue>& value)
{
    if (!value)
        return "null";
    return value->number ? std::to_string(*value->number) : jsonText(value->text);
}

// "guest_os 3 supported changed min_hdd_size 100 -> 200", "guest_os 9 moved supported -> experimental",
// "other_entry "storage_tier" 2 changed max_iops 500 -> 1000"
void writeLine(std::ostream& out, const VocabularyChange& change)
{
    using Section = VocabularyChange::Section;
    using Kind = VocabularyChange::Kind;
    out << sectionName(change.section);
    if (change.id) {
        // The path shows a name that is not plain already quoted and escaped.
        out << ' ' << quoteText(change.name) << ' ' << textValue(*change.id) << ' ' << changeName(change.change) << ' '
            << change.field;
        if (change.before)
            out << ' ' << textValue(*change.before) << (change.after ? " ->" : "");
        if (change.after)
            out << ' ' << textValue(*change.after);
        out << '\n';
        return;
    }
    if (change.change == Kind::Moved && change.before && change.after) {
        out << ' ' << change.key << " moved " << change.before->text << " -> " << change.after->text << '\n';
        return;
    }
    if (change.section == Section::Adapter || change.section == Section::GuestOS)
        out << ' ' << change.key;
    if (change.section == Section::Category || change.section == Section::Other)
        out << ' ' << quoteText(change.name);
    if (!change.status.empty())
        out << ' ' << change.status;
    out << ' ' << changeName(change.change);
    if (change.change == Kind::Added && change.after)
        out << ' ' << textValue(*change.after);
    else if (change.change == Kind::Removed && change.before)
        out << ' ' << textValue(*change.before);
    else if (change.before && change.after)
        out << ' ' << change.field << ' ' << textValue(*change.before) << " -> " << textValue(*change.after);
    out << '\n';
}

void writeJson(std::ostream& out, const std::vector<VocabularyChange>& changes)
{
    using Section = VocabularyChange::Section;
    openJsonDocument(out);
    out << "\"same\":" << (changes.empty() ? "true" : "false") << ",\"changes\":[";
    bool first = true;
    for (const VocabularyChange& change : changes) {
        out << (first ? "\n" : ",\n") << "{\"section\":\"" << sectionName(change.section) << '"';
        first = false;
        if (change.section == Section::Adapter)
            out << ",\"id\":" << change.key;
        else if (change.section == Section::GuestOS)
            out << ",\"code\":" << change.key << ",\"status\":\"" << change.status << '"';
        else if (change.id)
            out << ",\"kind\":" << jsonText(change.name) << ",\"id\":" << jsonValue(change.id);
        else if (change.section != Section::Version)
            out << ",\"name\":" << jsonText(change.name);
        out << ",\"change\":\"" << changeName(change.change) << '"';
        if (!change.field.empty())
            out << ",\"field\":" << jsonText(change.field) << ",\"old\":" << jsonValue(change.before)
                << ",\"new\":" << jsonValue(change.after);
        out << '}';
    }
    out << (first ? "]}\n" : "\n]}\n");
}

} // namespace

int diffVocabularyFiles(const std::string& a, const std::string& b, bool json, std::ostream& out,
                        std::ostream& err)
{
    if (a == "-" && b == "-") {
        err << "host-agent: only one of the files to compare can be standard input\n";
        return kExitTrouble;
    }
    KXLDocument before;
    KXLDocument after;
    if (!readVocabulary(a, before, err) || !readVocabulary(b, after, err))
        return kExitTrouble;
    const std::vector<VocabularyChange> changes = diffVocabularies(before, after);
    if (json) {
        writeJson(out, changes);
    } else {
        for (const VocabularyChange& change : changes)
            writeLine(out, change);
    }
    out.flush();
    return changes.empty() ? kExitSuccess : kExitFailure;
}

} // namespace KXL
