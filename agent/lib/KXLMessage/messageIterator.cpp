#include "messageIterator.h"

#include <utility>

#include "hostCall.h"
#include "vocFormat.h"

namespace KXL {

using host::fail;
using host::guarded;

namespace {

std::string notPositive(const char* operation, int tag)
{
    return std::string(operation) + ": tag " + std::to_string(tag) + " is not a positive tag";
}

} // namespace

MessageIterator::MessageIterator(std::shared_ptr<MessageState> state) : m_state(std::move(state)) {}

KXLNode* MessageIterator::currentElement(const char* operation)
{
    if (m_state->destroyed) {
        fail(std::string(operation) + ": the message of this iterator was destroyed");
        return nullptr;
    }
    if (m_path.empty()) {
        fail(std::string(operation) + ": the iterator is at the document root, not in an element");
        return nullptr;
    }
    return &resolve();
}

KXLNode& MessageIterator::resolve()
{
    KXLNode* node = &m_state->document.roots[m_path.front()];
    for (std::size_t level = 1; level < m_path.size(); ++level)
        node = &node->children[m_path[level]];
    return *node;
}

std::vector<KXLNode>& MessageIterator::currentChildren()
{
    return m_path.empty() ? m_state->document.roots : resolve().children;
}

int MessageIterator::addChild(int tag)
{
    return guarded("addChild", [&] {
        if (m_state->destroyed)
            return fail("addChild: the message of this iterator was destroyed");
        if (tag <= 0)
            return fail(notPositive("addChild", tag));
        if (m_path.size() >= static_cast<std::size_t>(voc::kMaxElementDepth))
            return fail("addChild: elements cannot nest deeper than " +
                        std::to_string(voc::kMaxElementDepth));
        std::vector<KXLNode>& children = currentChildren();
        m_path.reserve(m_path.size() + 1); // so nothing below can throw after the append
        KXLNode child;
        child.tag = tag;
        children.push_back(std::move(child));
        m_path.push_back(children.size() - 1);
        return 0;
    });
}

int MessageIterator::leaveChild()
{
    return guarded("leaveChild", [&] {
        if (currentElement("leaveChild") == nullptr)
            return host::kFailed;
        m_path.pop_back();
        return 0;
    });
}

int MessageIterator::putValue(const std::string& value, int tag)
{
    return guarded("putValue", [&] {
        KXLValue stored;
        stored.kind = KXLValue::Kind::String;
        stored.text = value;
        return putTaggedValue("putValue", std::move(stored), tag);
    });
}

int MessageIterator::putValue(int value, int tag)
{
    return guarded("putValue", [&] {
        KXLValue stored;
        stored.kind = KXLValue::Kind::Int;
        stored.number = value;
        return putTaggedValue("putValue", std::move(stored), tag);
    });
}

int MessageIterator::putTaggedValue(const char* operation, KXLValue value, int tag)
{
    KXLNode* element = currentElement(operation);
    if (element == nullptr)
        return host::kFailed;
    if (tag == 0) {
        element->value = std::move(value);
        return 0;
    }
    if (tag < 0)
        return fail(notPositive(operation, tag));
    if (m_path.size() >= static_cast<std::size_t>(voc::kMaxElementDepth))
        return fail(std::string(operation) + ": elements cannot nest deeper than " +
                    std::to_string(voc::kMaxElementDepth));
    KXLNode child;
    child.tag = tag;
    child.value = std::move(value);
    element->children.push_back(std::move(child));
    return 0;
}

int MessageIterator::putValueByName(int value, const std::string& name)
{
    return guarded("putValueByName", [&] {
        KXLNode* element = currentElement("putValueByName");
        if (element == nullptr)
            return host::kFailed;
        if (name.empty())
            return fail("putValueByName: the name is empty");
        KXLNode named;
        named.kind = KXLNode::Kind::Named;
        named.name = name;
        named.value.kind = KXLValue::Kind::Int;
        named.value.number = value;
        element->children.push_back(std::move(named));
        return 0;
    });
}

int MessageIterator::setNamespace(const std::string& ns)
{
    return guarded("setNamespace", [&] {
        KXLNode* element = currentElement("setNamespace");
        if (element == nullptr)
            return host::kFailed;
        if (ns.empty())
            return fail("setNamespace: the namespace name is empty");
        element->stamps.ns = ns;
        return 0;
    });
}

int MessageIterator::setNSID(int nsid)
{
    return guarded("setNSID", [&] {
        KXLNode* element = currentElement("setNSID");
        if (element == nullptr)
            return host::kFailed;
        if (nsid == 0) {
            // Undoes either way of setting the namespace.
            element->stamps.nsid.reset();
            element->stamps.ns.reset();
        } else {
            element->stamps.nsid = nsid;
        }
        return 0;
    });
}

int MessageIterator::setType(const std::string& ns, const std::string& type)
{
    return guarded("setType", [&] {
        KXLNode* element = currentElement("setType");
        if (element == nullptr)
            return host::kFailed;
        if (type.empty())
            return fail("setType: the type name is empty");
        element->stamps.type.emplace(ns, type);
        return 0;
    });
}

int MessageIterator::setTypeID(int nsid, int typeID)
{
    return guarded("setTypeID", [&] {
        KXLNode* element = currentElement("setTypeID");
        if (element == nullptr)
            return host::kFailed;
        element->stamps.typeId.emplace(nsid, typeID);
        return 0;
    });
}

int MessageIterator::setItemNSType(int itemNSType)
{
    return guarded("setItemNSType", [&] {
        KXLNode* element = currentElement("setItemNSType");
        if (element == nullptr)
            return host::kFailed;
        element->stamps.itemNSType = itemNSType;
        return 0;
    });
}

int MessageIterator::probeTag(int tag)
{
    // Every positive tag is in this host's dictionary.
    return tag > 0 ? 1 : 0;
}

int MessageIterator::onTagRejected()
{
    // Only a non-positive tag is rejected, and the addChild that follows fails with its own
    // error text; nothing to add here.
    return 0;
}

} // namespace KXL
