// What changed between two vocabularies, by content: guest OSes by code, adapters by id,
// categories by name, other entries as wholes. The version stamp is left out: every
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
struct KXLDiffValue {
    std::optional<std::int64_t> number;
    std::string text; // when not a number
};

struct KXLVocabularyChange {
    enum class Section { Version, Category, Adapter, GuestOS, Other };
    Section section;
    std::int64_t key = 0; // the code or the id; 0 for a category, the version or an other entry
    std::string name; // a category's name, an other entry's one-line form
    std::string status; // guest OS: "supported" or "experimental"
    std::string change; // "added", "removed", "renamed", "moved", "changed"
    std::string field; // what changed: "identifier", "display_name", "name", "description", a named value
    std::optional<KXLDiffValue> before;
    std::optional<KXLDiffValue> after;
};

// The changes from a to b, sorted by section, then by code, id or name; stable from run to
// run. Both documents must be vocabularies (checkVocabulary without errors). Linear in the
// entries, apart from sorting them.
std::vector<KXLVocabularyChange> diffVocabularies(const KXLDocument& a, const KXLDocument& b);

const char* sectionName(KXLVocabularyChange::Section section);

} // namespace KXL

#endif
