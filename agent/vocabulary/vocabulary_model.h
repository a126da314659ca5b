// What a vocabulary is: the parts the agent reads from a message document (version stamp,
// category definitions, adapters, guest OSes, other entries), classified in one pass. The
// printer, the JSON output, diff, metrics and the checker all read vocabularies through this
// module only.
#ifndef AGENT_VOCABULARY_MODEL_H
#define AGENT_VOCABULARY_MODEL_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/KXLMessageTree.h"
#include "agent/vocabulary/vocabulary_constants.h"

namespace KXL {

// Each entry knows its place among the container's children, from 1. Texts point into the
// document, which must outlive the entries.
struct VersionEntry {
    std::uint32_t index;
    std::string_view stamp;
    std::string_view description;
};

struct CategoryEntry {
    std::uint32_t index;
    std::string_view name;
};

struct AdapterEntry {
    std::uint32_t index;
    int id;
    std::string_view name;
};

struct GuestEntry {
    std::uint32_t index;
    std::uint32_t code; // the server's unsigned code (stored as the int with the same bits)
    std::string_view identifier;
    std::string_view displayName;
    std::array<int, kGuestValueCount> values; // by GuestValue
    bool experimental;
};

struct OtherEntry {
    std::uint32_t index;
    KXLNodeRef node;
};

// The container's children by kind, each list in document order. Only the first child that
// fits the version entry's shape is the version entry; a later one is an other entry.
struct Vocabulary {
    std::optional<VersionEntry> version;
    std::vector<CategoryEntry> categories;
    std::vector<AdapterEntry> adapters;
    std::vector<GuestEntry> guests;
    std::vector<OtherEntry> others;

    bool defines(std::string_view category) const;
};

// How a document stands to the vocabulary's frame: one top-level element 1307 holding one
// element 1044, neither with a value or a stamp ("bare").
struct VocabularyFrame {
    std::size_t roots = 0; // top-level nodes
    KXLNodeRef root; // the first of them
    KXLNodeRef container; // set when the only root is element 1307 and its only child element 1044
    bool rootBare = false;
    bool containerBare = false;
};
VocabularyFrame vocabularyFrame(const KXLDocument& document);

// The container of a document shaped as a vocabulary, its frame bare. Null otherwise.
KXLNodeRef vocabularyContainer(const KXLDocument& document);

// The most guest OSes the document could hold, each of the nodes a guest OS takes at least:
// room reserved for them costs only what is written.
std::size_t mostGuests(const KXLDocument& document);

// The children of the document's container classified; none when it has no container.
Vocabulary classifyVocabulary(const KXLDocument& document);

// The same pass entry by entry, in document order, nothing kept: for who needs no lists.
class EntryVisitor {
public:
    virtual ~EntryVisitor() = default;
    virtual void version(const VersionEntry& entry) = 0;
    virtual void category(const CategoryEntry& entry) = 0;
    virtual void adapter(const AdapterEntry& entry) = 0;
    virtual void guest(const GuestEntry& entry) = 0;
    virtual void other(const OtherEntry& entry) = 0;
};
void classifyEntries(KXLNodeRef container, EntryVisitor& visitor);

// What identifies an entry of no known kind: its first category mark and its id (its first
// child 1010), a number or a text. None when it lacks either.
struct EntryKey {
    std::string kind;
    std::optional<int> number; // the id, when a number
    std::string text; // the id, when a text
};
std::optional<EntryKey> entryKey(KXLNodeRef entry);

// The entry's marks: its direct text children 1264, in order.
std::vector<std::string_view> marksOf(KXLNodeRef entry);

// A version stamp, "$Id: NAME.voc GUID $", in parts. The file runs to the stamp's last ".voc "
// (a name may hold a space), else to its first space. None without the "$Id: " head, or when
// the file, its folders aside, is no NAME.voc.
struct VersionStamp {
    std::string_view folder; // the file's folders, up to its last '/'; mostly empty
    std::string_view name; // never empty
    std::string_view rest; // after ".voc": " GUID $" in a well-formed stamp
};
std::optional<VersionStamp> parseVersionStamp(std::string_view stamp);

// The vocabulary's own name as its version stamp gives it: "NAME" for "$Id: NAME.voc ... $",
// folders before it left out. None without a version entry, or when its stamp names no .voc
// file.
std::optional<std::string> vocabularyName(const KXLDocument& document);

} // namespace KXL

#endif
