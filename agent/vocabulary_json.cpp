#include "vocabulary_json.h"

#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

namespace KXL {

std::string jsonText(std::string_view text)
{
    return nlohmann::json(std::string(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void writeGuestJson(std::ostream& out, const KXLGuestEntry& guest)
{
    out << "{\"code\":" << guest.code << ",\"identifier\":" << jsonText(guest.identifier)
        << ",\"display_name\":" << jsonText(guest.displayName)
        << ",\"experimental\":" << (guest.experimental ? "true" : "false");
    for (std::size_t i = 0; i < kGuestValueNames.size(); ++i)
        out << ",\"" << kGuestValueNames[i] << "\":" << guest.values[i];
    out << '}';
}

void writeVocabularyMembers(std::ostream& out, const std::string& name, const KXLDocument& document)
{
    out << "\"name\":" << jsonText(name) << ",\"kind\":" << document.kind();
    const KXLNodeRef container = vocabularyContainer(document);
    if (!container) {
        std::size_t roots = 0;
        for (KXLNodeRef root : document.roots()) {
            (void)root;
            ++roots;
        }
        out << ",\"vocabulary\":false,\"version\":null,\"categories\":[],\"adapters\":[]"
            << ",\"other_entries\":" << roots << ",\"guest_os\":[]";
        return;
    }

    // Small parts first, in one pass; the guest OSes, the bulk, stream in a second one.
    std::optional<KXLVersionEntry> version;
    std::vector<std::string_view> categories;
    std::vector<KXLAdapterEntry> adapters;
    std::size_t others = 0;
    forEachItem(container, [&](const KXLVocabularyItem& item) {
        switch (item.kind) {
        case KXLVocabularyItem::Kind::Version: version = item.version; break;
        case KXLVocabularyItem::Kind::Category: categories.push_back(item.category); break;
        case KXLVocabularyItem::Kind::Adapter: adapters.push_back(item.adapter); break;
        case KXLVocabularyItem::Kind::Other: ++others; break;
        case KXLVocabularyItem::Kind::Guest: break;
        }
    });

    out << ",\"vocabulary\":true,\"version\":";
    if (version)
        out << "{\"stamp\":" << jsonText(version->stamp)
            << ",\"description\":" << jsonText(version->description) << '}';
    else
        out << "null";
    out << ",\"categories\":[";
    for (std::size_t i = 0; i < categories.size(); ++i)
        out << (i > 0 ? "," : "") << jsonText(categories[i]);
    out << "],\"adapters\":[";
    for (std::size_t i = 0; i < adapters.size(); ++i)
        out << (i > 0 ? "," : "") << "{\"id\":" << adapters[i].id
            << ",\"name\":" << jsonText(adapters[i].name) << '}';
    out << "],\"other_entries\":" << others << ",\"guest_os\":[";
    bool first = true;
    forEachItem(container, [&](const KXLVocabularyItem& item) {
        if (item.kind != KXLVocabularyItem::Kind::Guest)
            return;
        out << (first ? "\n" : ",\n");
        first = false;
        writeGuestJson(out, item.guest);
    });
    out << (first ? "]" : "\n]");
}

} // namespace KXL
