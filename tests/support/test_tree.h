// Message trees as plain values, to build expected trees in tests and compare them with
// what the message library made.
#ifndef TESTS_SUPPORT_TEST_TREE_H
#define TESTS_SUPPORT_TEST_TREE_H

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "host/KXLMessageTree.h"

namespace kxltest {

struct Value {
    enum class Kind { None, String, Int };
    Kind kind = Kind::None;
    std::string text;
    int number = 0;

    bool operator==(const Value& other) const
    {
        return kind == other.kind && text == other.text && number == other.number;
    }
};

struct Node {
    enum class Kind { Element, Named };
    Kind kind = Kind::Element;
    int tag = 0; // Element
    std::string name; // Named
    Value value; // Named: always Kind::Int
    KXL::KXLStamps stamps; // Element
    std::vector<Node> children;

    bool operator==(const Node& other) const
    {
        return kind == other.kind && tag == other.tag && name == other.name && value == other.value &&
            stamps == other.stamps && children == other.children;
    }
};

struct Document {
    int kind = 0;
    std::vector<Node> roots;

    bool operator==(const Document& other) const { return kind == other.kind && roots == other.roots; }
    bool operator!=(const Document& other) const { return !(*this == other); }
};

// One line per node, for failure messages.
void PrintTo(const Document& document, std::ostream* out);

Document plain(const KXL::KXLDocument& document);
KXL::KXLDocument compact(const Document& document);

// loadDocument into a plain tree: `document` changes only on success.
int loadPlain(const std::string& path, Document& document);

inline Node element(int tag, std::vector<Node> children = {})
{
    Node node;
    node.tag = tag;
    node.children = std::move(children);
    return node;
}

inline Node withText(Node node, std::string text)
{
    node.value.kind = Value::Kind::String;
    node.value.text = std::move(text);
    return node;
}

inline Node withInt(Node node, int number)
{
    node.value.kind = Value::Kind::Int;
    node.value.number = number;
    return node;
}

inline Node named(std::string name, int number)
{
    Node node;
    node.kind = Node::Kind::Named;
    node.name = std::move(name);
    node.value.kind = Value::Kind::Int;
    node.value.number = number;
    return node;
}

} // namespace kxltest

#endif
