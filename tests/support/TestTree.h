// Building expected message trees in tests.
#ifndef TESTS_SUPPORT_TESTTREE_H
#define TESTS_SUPPORT_TESTTREE_H

#include <string>
#include <utility>
#include <vector>

#include "host/KXLMessageTree.h"

namespace kxltest {

inline KXL::KXLNode element(int tag, std::vector<KXL::KXLNode> children = {})
{
    KXL::KXLNode node;
    node.tag = tag;
    node.children = std::move(children);
    return node;
}

inline KXL::KXLNode withText(KXL::KXLNode node, std::string text)
{
    node.value.kind = KXL::KXLValue::Kind::String;
    node.value.text = std::move(text);
    return node;
}

inline KXL::KXLNode withInt(KXL::KXLNode node, int number)
{
    node.value.kind = KXL::KXLValue::Kind::Int;
    node.value.number = number;
    return node;
}

inline KXL::KXLNode named(std::string name, int number)
{
    KXL::KXLNode node;
    node.kind = KXL::KXLNode::Kind::Named;
    node.name = std::move(name);
    node.value.kind = KXL::KXLValue::Kind::Int;
    node.value.number = number;
    return node;
}

} // namespace kxltest

#endif
