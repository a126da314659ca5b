// The content of a message as plain data: what the message library builds, what a .voc
// file holds and what the vocabulary cache keeps.
#ifndef HOST_KXLMESSAGETREE_H
#define HOST_KXLMESSAGETREE_H

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace KXL {

struct KXLValue {
    enum class Kind { None, String, Int };
    Kind kind = Kind::None;
    std::string text; // Kind::String: any bytes
    int number = 0; // Kind::Int

    bool operator==(const KXLValue& other) const
    {
        return kind == other.kind && text == other.text && number == other.number;
    }
    bool operator!=(const KXLValue& other) const { return !(*this == other); }
};

// What the stamping operations of the iterator left on an element.
struct KXLStamps {
    std::optional<std::string> ns; // setNamespace
    std::optional<int> nsid; // setNSID (non-zero)
    std::optional<std::pair<std::string, std::string>> type; // setType: namespace, type
    std::optional<std::pair<int, int>> typeId; // setTypeID: nsid, type id
    std::optional<int> itemNSType; // setItemNSType

    bool operator==(const KXLStamps& other) const
    {
        return ns == other.ns && nsid == other.nsid && type == other.type &&
            typeId == other.typeId && itemNSType == other.itemNSType;
    }
    bool operator!=(const KXLStamps& other) const { return !(*this == other); }
};

// One node of the tree: an element, or a named int value of its parent element.
struct KXLNode {
    enum class Kind { Element, Named };
    Kind kind = Kind::Element;
    int tag = 0; // Element
    std::string name; // Named: any bytes
    KXLValue value; // Element: at most one value; Named: always Kind::Int
    KXLStamps stamps; // Element
    std::vector<KXLNode> children; // Element: named values and child elements in write order

    bool operator==(const KXLNode& other) const
    {
        return kind == other.kind && tag == other.tag && name == other.name &&
            value == other.value && stamps == other.stamps && children == other.children;
    }
    bool operator!=(const KXLNode& other) const { return !(*this == other); }
};

struct KXLDocument {
    int kind = 0; // the argument of prepare
    std::vector<KXLNode> roots; // the top-level elements

    bool operator==(const KXLDocument& other) const
    {
        return kind == other.kind && roots == other.roots;
    }
    bool operator!=(const KXLDocument& other) const { return !(*this == other); }
};

} // namespace KXL

#endif
