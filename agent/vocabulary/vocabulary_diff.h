// What changed between two vocabularies, by content: guest OSes by code, adapters by id,
// categories by name, other entries by their kind and id (first mark and child 1010) value
// by value, or as wholes when they have no such key. The version stamp is left out: every
// publication has a fresh one.
#ifndef AGENT_VOCABULARY_DIFF_H
#define AGENT_VOCABULARY_DIFF_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/KXLMessageTree.h"

namespace KXL {

// A value before or after a change: a number or a text.
struct DiffValue {
    std::optional<std::int64_t> number;
    std::string text; // when not a number
};

struct VocabularyChange {
    enum class Section { Version, Category, Adapter, GuestOS, Other };
    Section section;
    std::int64_t key = 0; // the code or the id; 0 for a category, the version or an other entry
    std::string name; // a category's name, an other entry's one-line form or its kind
    std::string status; // guest OS: "supported" or "experimental"
    enum class Kind { Added, Removed, Renamed, Moved, Changed };
    Kind change;
    // What changed: "identifier", "display_name", "name", "description", a named value; in
    // an other entry, the path to the value: tags and names (quoteText'd unless made of
    // letters, digits and '_'), "/" between levels, "[N]" for the Nth child of the same tag
    // or name ("1026", "max_iops", "1264[2]", "1020/1026", "\"max iops\"").
    std::string field;
    std::optional<DiffValue> before;
    std::optional<DiffValue> after;
    std::optional<DiffValue> id{}; // an other entry compared value by value: its id
};

// The changes from a to b, sorted by section, then by code, id or name; stable from run to
// run. Both documents must be vocabularies (checkVocabulary without errors). Linear in the
// entries, apart from sorting them.
std::vector<VocabularyChange> diffVocabularies(const KXLDocument& a, const KXLDocument& b);

const char* sectionName(VocabularyChange::Section section);
const char* changeName(VocabularyChange::Kind kind); // "added", "removed", ...

} // namespace KXL

#endif
