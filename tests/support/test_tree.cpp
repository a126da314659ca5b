#include "test_tree.h"

#include <utility>

namespace kxltest {

namespace {

using NodeId = KXL::KXLDocument::NodeId;

void appendAll(KXL::KXLDocument& document, NodeId parent, const std::vector<Build>& children)
{
    for (const Build& child : children)
        child(document, parent);
}

template <typename SetValue>
Build elementWith(int tag, SetValue setValue, std::vector<Build> children)
{
    return [=](KXL::KXLDocument& document, NodeId parent) {
        const NodeId id = document.appendElement(parent, tag);
        setValue(document, id);
        appendAll(document, id, children);
    };
}

void renderStamps(const KXL::KXLStamps& stamps, std::string& out)
{
    out += " {";
    if (stamps.ns)
        out += " ns \"" + *stamps.ns + "\"";
    if (stamps.nsid)
        out += " nsid " + std::to_string(*stamps.nsid);
    if (stamps.type)
        out += " type \"" + stamps.type->first + "\" \"" + stamps.type->second + "\"";
    if (stamps.typeId)
        out += " typeid " + std::to_string(stamps.typeId->first) + " " +
            std::to_string(stamps.typeId->second);
    if (stamps.itemNSType)
        out += " item-ns-type " + std::to_string(*stamps.itemNSType);
    out += " }";
}

void render(KXL::KXLNodeRef node, int depth, std::string& out)
{
    out += std::string(2 * static_cast<std::size_t>(depth), ' ');
    if (node.isNamed()) {
        out += std::string(node.name()) + " := " + std::to_string(node.number()) + "\n";
        return;
    }
    out += std::to_string(node.tag());
    if (node.valueKind() == KXL::KXLValueKind::String)
        out += " = \"" + std::string(node.text()) + "\"";
    else if (node.valueKind() == KXL::KXLValueKind::Int)
        out += " = " + std::to_string(node.number());
    if (const auto stamps = node.stamps())
        renderStamps(*stamps, out);
    out += "\n";
    for (KXL::KXLNodeRef child : node.children())
        render(child, depth + 1, out);
}

} // namespace

Build element(int tag, std::vector<Build> children)
{
    return elementWith(tag, [](KXL::KXLDocument&, NodeId) {}, std::move(children));
}

Build element(int tag, KXL::KXLStamps stamps, std::vector<Build> children)
{
    return elementWith(
        tag, [stamps](KXL::KXLDocument& document, NodeId id) { document.setStamps(id, stamps); },
        std::move(children));
}

Build text(int tag, std::string value, std::vector<Build> children)
{
    return elementWith(
        tag, [value](KXL::KXLDocument& document, NodeId id) { document.setText(id, value); },
        std::move(children));
}

Build number(int tag, int value, std::vector<Build> children)
{
    return elementWith(
        tag, [value](KXL::KXLDocument& document, NodeId id) { document.setInt(id, value); },
        std::move(children));
}

Build named(std::string name, int value)
{
    return [name, value](KXL::KXLDocument& document, NodeId parent) {
        document.appendNamed(parent, name, value);
    };
}

KXL::KXLDocument document(const std::vector<Build>& roots, int kind)
{
    KXL::KXLDocument result;
    result.setKind(kind);
    appendAll(result, KXL::KXLDocument::kRoot, roots);
    return result;
}

std::string render(KXL::KXLNodeRef node)
{
    std::string out;
    render(node, 0, out);
    return out;
}

std::string render(KXL::KXLNodeRef::Children nodes)
{
    std::string out;
    for (KXL::KXLNodeRef node : nodes)
        render(node, 0, out);
    return out;
}

} // namespace kxltest

namespace KXL {

void PrintTo(const KXLDocument& document, std::ostream* out)
{
    *out << "kind " << document.kind() << "\n" << kxltest::render(document.roots());
}

} // namespace KXL
