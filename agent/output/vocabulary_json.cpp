#include "agent/output/vocabulary_json.h"

#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

namespace KXL {

void openJsonDocument(std::ostream& out)
{
    // The shape's version: a change a reader must know of raises it.
    out << "{\"format\":1,";
}

std::string jsonText(std::string_view text)
{
    return nlohmann::json(std::string(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void writeGuestJson(std::ostream& out, const GuestEntry& guest)
{
    out << "{\"code\":" << guest.code << ",\"identifier\":" << jsonText(guest.identifier)
        << ",\"display_name\":" << jsonText(guest.displayName)
        << ",\"experimental\":" << (guest.experimental ? "true" : "false");
    for (std::size_t i = 0; i < kGuestValueNames.size(); ++i)
        out << ",\"" << kGuestValueNames[i] << "\":" << guest.values[i];
    out << '}';
}

namespace {

// An element's or a named value's own part, up to where an element's children follow.
void writeNodeHead(std::ostream& out, KXLNodeRef node)
{
    if (node.isNamed()) {
        out << "{\"name\":" << jsonText(node.name()) << ",\"value\":" << node.number() << '}';
        return;
    }
    out << "{\"tag\":" << node.tag() << ",\"value\":";
    switch (node.valueKind()) {
    case KXLValueKind::String: out << jsonText(node.text()); break;
    case KXLValueKind::Int: out << node.number(); break;
    case KXLValueKind::None: out << "null"; break;
    }
    if (const auto stamps = node.stamps()) {
        out << ",\"stamps\":{";
        const char* comma = "";
        if (stamps->ns) {
            out << comma << "\"namespace\":" << jsonText(*stamps->ns);
            comma = ",";
        }
        if (stamps->nsid) {
            out << comma << "\"nsid\":" << *stamps->nsid;
            comma = ",";
        }
        if (stamps->type) {
            out << comma << "\"type\":[" << jsonText(stamps->type->first) << ',' << jsonText(stamps->type->second) << ']';
            comma = ",";
        }
        if (stamps->typeId) {
            out << comma << "\"typeid\":[" << stamps->typeId->first << ',' << stamps->typeId->second << ']';
            comma = ",";
        }
        if (stamps->itemNSType)
            out << comma << "\"item_ns_type\":" << *stamps->itemNSType;
        out << '}';
    }
    out << ",\"children\":[";
}

// A node with everything below it. Iterative: the depth of a tree is not this function's
// to bound.
void writeNodeJson(std::ostream& out, KXLNodeRef root)
{
    writeNodeHead(out, root);
    if (root.isNamed())
        return;
    std::vector<KXLNodeRef> next{root.firstChild()}; // per open element, its child to write
    bool first = true;
    while (!next.empty()) {
        const KXLNodeRef node = next.back();
        if (!node) {
            out << "]}";
            next.pop_back();
            first = false;
            continue;
        }
        next.back() = node.nextSibling();
        if (!first)
            out << ',';
        writeNodeHead(out, node);
        first = node.isElement();
        if (node.isElement())
            next.push_back(node.firstChild());
    }
}

void writeNodes(std::ostream& out, const std::vector<KXLNodeRef>& nodes)
{
    out << ",\"other_entries\":" << nodes.size() << ",\"other\":[";
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        out << (i > 0 ? ",\n" : "\n");
        writeNodeJson(out, nodes[i]);
    }
    out << (nodes.empty() ? "]" : "\n]");
}

} // namespace

void writeVocabularyMembers(std::ostream& out, const std::optional<std::string>& name,
                            const KXLDocument& document)
{
    out << "\"name\":" << (name ? jsonText(*name) : std::string("null")) << ",\"kind\":" << document.kind();
    const KXLNodeRef container = vocabularyContainer(document);
    if (!container) {
        out << ",\"vocabulary\":false,\"version\":null,\"categories\":[],\"adapters\":[]";
        writeNodes(out, std::vector<KXLNodeRef>(document.roots().begin(), document.roots().end()));
        out << ",\"guest_os\":[]";
        return;
    }

    const Vocabulary vocabulary = classifyVocabulary(document);
    out << ",\"vocabulary\":true,\"version\":";
    if (vocabulary.version)
        out << "{\"stamp\":" << jsonText(vocabulary.version->stamp)
            << ",\"description\":" << jsonText(vocabulary.version->description) << '}';
    else
        out << "null";
    out << ",\"categories\":[";
    for (std::size_t i = 0; i < vocabulary.categories.size(); ++i)
        out << (i > 0 ? "," : "") << jsonText(vocabulary.categories[i].name);
    out << "],\"adapters\":[";
    for (std::size_t i = 0; i < vocabulary.adapters.size(); ++i)
        out << (i > 0 ? "," : "") << "{\"id\":" << vocabulary.adapters[i].id
            << ",\"name\":" << jsonText(vocabulary.adapters[i].name) << '}';
    out << ']';
    std::vector<KXLNodeRef> others;
    for (const OtherEntry& other : vocabulary.others)
        others.push_back(other.node);
    writeNodes(out, others);
    out << ",\"guest_os\":[";
    for (std::size_t i = 0; i < vocabulary.guests.size(); ++i) {
        out << (i > 0 ? ",\n" : "\n");
        writeGuestJson(out, vocabulary.guests[i]);
    }
    out << (vocabulary.guests.empty() ? "]" : "\n]");
}

} // namespace KXL
