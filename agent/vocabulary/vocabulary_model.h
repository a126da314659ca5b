// What a vocabulary is: the parts the agent reads from a message document (version stamp,
// category definitions, adapters, guest OSes, other entries) and the layout rules of
// docs/vocabulary.md. The printer, the JSON output, diff, check and the agent's publication
// check all read vocabularies through this module only.
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

namespace KXL {

// The categories that mark network adapter and guest OS entries.
inline constexpr std::string_view kAdapterCategory = "kxp_network_adapter_type";
inline constexpr std::string_view kGuestCategory = "guest_os_type";

// The named values of a guest OS entry, in the order they are shown.
inline constexpr std::array<const char*, 6> kGuestValueNames = {"min_hdd_size", "max_hdd_size",
    "recommended_hdd_size", "hdd_interface", "adapter_type", "boot_efi"};

struct VersionEntry {
    std::string_view stamp;
    std::string_view description;
};

struct AdapterEntry {
    int id;
    std::string_view name;
};

struct GuestEntry {
    std::uint32_t code; // the server's unsigned code (stored as the int with the same bits)
    std::string_view identifier;
    std::string_view displayName;
    bool experimental;
    std::array<int, kGuestValueNames.size()> values; // as kGuestValueNames
};

// One child of the container (1044), as the agent understands it. Texts point into the
// document.
struct VocabularyItem {
    enum class Kind { Version, Category, Adapter, Guest, Other };
    Kind kind = Kind::Other;
    std::size_t index = 0; // position among the container's children, from 1
    KXLNodeRef node;
    VersionEntry version{}; // Kind::Version
    std::string_view category; // Kind::Category: the defined name
    AdapterEntry adapter{}; // Kind::Adapter
    GuestEntry guest{}; // Kind::Guest
};

// The container of a document shaped as a vocabulary: one top-level element 1307 holding
// one element 1044, neither with a value, a named value or a stamp. Null otherwise.
KXLNodeRef vocabularyContainer(const KXLDocument& document);

// Calls visit(const VocabularyItem&) for each child of the container, in order. Only the
// first child that fits the version entry's shape is the version entry; a later one is an
// other entry. One pass, nothing kept: fit for a million entries.
class ItemClassifier {
public:
    VocabularyItem classify(KXLNodeRef node);

private:
    std::size_t m_index = 0;
    bool m_versionSeen = false;
};

template <typename Visit>
void forEachItem(KXLNodeRef container, Visit&& visit)
{
    ItemClassifier classifier;
    for (KXLNodeRef node : container.children())
        visit(classifier.classify(node));
}

// The guest OS text for a code as the code shows it ("4294967295").
std::string guestCode(std::uint32_t code);

struct VocabularyProblem {
    enum class Severity { Error, Warning };
    // What the problem is about, in document order: the document (its <message>), the top
    // element 1307, the container 1044, or the container's child number `item`.
    enum class Part { Document, Root, Container, Item };
    Severity severity;
    std::string location; // "document", "container", "item 5 (guest OS 3)"
    std::string message;
    Part part = Part::Document;
    std::size_t item = 0; // Part::Item: from 1
};

// Every way the document departs from the layout of docs/vocabulary.md, errors and
// warnings, in document order. No error means the document is a vocabulary the host
// publishes; a code listed both as supported and as experimental is only a warning.
std::vector<VocabularyProblem> checkVocabulary(const KXLDocument& document);

// What identifies an entry of no known kind, as check sees it: its first category mark and
// its id (its first child 1010), a number or a text. None when it lacks either.
struct EntryKey {
    std::string kind;
    std::optional<int> number; // the id, when a number
    std::string text; // the id, when a text
};
std::optional<EntryKey> entryKey(KXLNodeRef entry);

// The vocabulary's own name as its version stamp gives it: "NAME" for "$Id: NAME.voc ... $".
// None without a version entry, or when its stamp names no .voc file.
std::optional<std::string> vocabularyName(const KXLDocument& document);

// "location: message" of the first error, and how many more there are; empty without errors.
std::string firstError(const std::vector<VocabularyProblem>& problems);

} // namespace KXL

#endif
