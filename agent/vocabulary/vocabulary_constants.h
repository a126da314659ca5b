// The words of a vocabulary as docs/vocabulary.md lays it out: its tags, the names of its
// categories and the named values of a guest OS. The agent and its tests read them from
// here only; plug-ins, built against the installed interface, keep their own.
#ifndef AGENT_VOCABULARY_CONSTANTS_H
#define AGENT_VOCABULARY_CONSTANTS_H

#include <array>
#include <cstddef>
#include <string_view>

namespace KXL {

enum VocabularyTag : int {
    kTagVocabulary = 1307, // the document's top element; in the version entry, the stamp
    kTagContainer = 1044,
    kTagEntry = 1017,
    kTagCategory = 1264, // a definition in the container, a mark inside an entry
    kTagId = 1010,
    kTagDisplayName = 1026,
    kTagIdentifier = 1846,
    kTagDescription = 1303,
};

// The categories that mark network adapter and guest OS entries, and experimental guest OSes.
inline constexpr std::string_view kAdapterCategory = "kxp_network_adapter_type";
inline constexpr std::string_view kGuestCategory = "guest_os_type";
inline constexpr std::string_view kExperimentalCategory = "experimental";
// The version entry's id and mark.
inline constexpr std::string_view kVersionId = "vocversion";
inline constexpr std::string_view kVersionMark = "vocabulary";

// The named values of a guest OS entry, in the order they are shown.
enum GuestValue : std::size_t {
    kMinHddSize,
    kMaxHddSize,
    kRecommendedHddSize,
    kHddInterface,
    kAdapterType, // the id of an adapter entry
    kBootEfi,
    kGuestValueCount
};
inline constexpr std::array<std::string_view, kGuestValueCount> kGuestValueNames = {"min_hdd_size", "max_hdd_size",
    "recommended_hdd_size", "hdd_interface", "adapter_type", "boot_efi"};

} // namespace KXL

#endif
