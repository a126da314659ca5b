#include "test_tree.h"

#include "host/KXLMessageFile.h"

namespace kxltest {

namespace {

Node plainNode(KXL::KXLNodeRef ref)
{
    Node node;
    if (ref.isNamed()) {
        node.kind = Node::Kind::Named;
        node.name = std::string(ref.name());
    } else {
        node.tag = ref.tag();
        if (const auto stamps = ref.stamps())
            node.stamps = *stamps;
    }
    switch (ref.valueKind()) {
    case KXL::KXLValueKind::None: break;
    case KXL::KXLValueKind::String:
        node.value.kind = Value::Kind::String;
        node.value.text = std::string(ref.text());
        break;
    case KXL::KXLValueKind::Int:
        node.value.kind = Value::Kind::Int;
        node.value.number = ref.number();
        break;
    }
    for (KXL::KXLNodeRef child : ref.children())
        node.children.push_back(plainNode(child));
    return node;
}

void addNode(KXL::KXLDocument& document, KXL::KXLDocument::NodeId parent, const Node& node)
{
    if (node.kind == Node::Kind::Named) {
        document.appendNamed(parent, node.name, node.value.number);
        return;
    }
    const auto id = document.appendElement(parent, node.tag);
    if (node.value.kind == Value::Kind::String)
        document.setText(id, node.value.text);
    else if (node.value.kind == Value::Kind::Int)
        document.setInt(id, node.value.number);
    if (!node.stamps.empty())
        document.setStamps(id, node.stamps);
    for (const Node& child : node.children)
        addNode(document, id, child);
}

void print(const Node& node, int depth, std::ostream& out)
{
    out << std::string(2 * static_cast<std::size_t>(depth), ' ');
    if (node.kind == Node::Kind::Named)
        out << "named \"" << node.name << "\"";
    else
        out << "element " << node.tag << (node.stamps.empty() ? "" : " [stamped]");
    if (node.value.kind == Value::Kind::String)
        out << " = \"" << node.value.text << "\"";
    else if (node.value.kind == Value::Kind::Int)
        out << " = " << node.value.number;
    out << '\n';
    for (const Node& child : node.children)
        print(child, depth + 1, out);
}

} // namespace

void PrintTo(const Document& document, std::ostream* out)
{
    *out << "kind " << document.kind << '\n';
    for (const Node& root : document.roots)
        print(root, 0, *out);
}

Document plain(const KXL::KXLDocument& document)
{
    Document result;
    result.kind = document.kind();
    for (KXL::KXLNodeRef root : document.roots())
        result.roots.push_back(plainNode(root));
    return result;
}

KXL::KXLDocument compact(const Document& document)
{
    KXL::KXLDocument result;
    result.setKind(document.kind);
    for (const Node& root : document.roots)
        addNode(result, KXL::KXLDocument::kRoot, root);
    return result;
}

int loadPlain(const std::string& path, Document& document)
{
    KXL::KXLDocument loaded;
    const int status = KXL::loadDocument(path, loaded);
    if (status == 0)
        document = plain(loaded);
    return status;
}

} // namespace kxltest
