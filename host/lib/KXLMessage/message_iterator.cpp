#include "message_iterator.h"

#include <utility>

#include "host/lib/host_call.h"
#include "voc_format.h"

namespace KXL {

using host::fail;
using host::guarded;

MessageIterator::MessageIterator(std::shared_ptr<MessageState> state) : m_state(std::move(state)) {}

bool MessageIterator::currentElement(const char* operation, KXLDocument::NodeId& element)
{
    if (m_state->destroyed) {
        fail({operation, ": the message of this iterator was destroyed"});
        return false;
    }
    if (m_path.empty()) {
        fail({operation, ": the iterator is at the document root, not in an element"});
        return false;
    }
    element = m_path.back();
    return true;
}

bool MessageIterator::childAllowed(const char* operation, int tag)
{
    if (tag <= 0) {
        fail({operation, ": tag ", std::to_string(tag), " is not a positive tag"});
        return false;
    }
    if (m_path.size() >= static_cast<std::size_t>(voc::kMaxElementDepth)) {
        fail({operation, ": elements cannot nest deeper than ", std::to_string(voc::kMaxElementDepth)});
        return false;
    }
    return true;
}

int MessageIterator::addChild(int tag)
{
    return guarded("addChild", [&] {
        if (m_state->destroyed)
            return fail("addChild: the message of this iterator was destroyed");
        if (!childAllowed("addChild", tag))
            return host::kFailed;
        m_path.reserve(m_path.size() + 1); // so nothing below can throw after the append
        const KXLDocument::NodeId parent = m_path.empty() ? KXLDocument::kRoot : m_path.back();
        m_path.push_back(m_state->document.appendElement(parent, tag));
        return 0;
    });
}

int MessageIterator::leaveChild()
{
    return guarded("leaveChild", [&] {
        KXLDocument::NodeId element = 0;
        if (!currentElement("leaveChild", element))
            return host::kFailed;
        m_path.pop_back();
        return 0;
    });
}

bool MessageIterator::valueTarget(const char* operation, int tag, KXLDocument::NodeId& element)
{
    if (!currentElement(operation, element))
        return false;
    if (tag == 0)
        return true;
    if (!childAllowed(operation, tag))
        return false;
    element = m_state->document.appendElement(element, tag);
    return true;
}

int MessageIterator::putValue(const std::string& value, int tag)
{
    return guarded("putValue", [&] {
        KXLDocument::NodeId element = 0;
        if (!valueTarget("putValue", tag, element))
            return host::kFailed;
        m_state->document.setText(element, value);
        return 0;
    });
}

int MessageIterator::putValue(int value, int tag)
{
    return guarded("putValue", [&] {
        KXLDocument::NodeId element = 0;
        if (!valueTarget("putValue", tag, element))
            return host::kFailed;
        m_state->document.setInt(element, value);
        return 0;
    });
}

int MessageIterator::putValueByName(int value, const std::string& name)
{
    return guarded("putValueByName", [&] {
        KXLDocument::NodeId element = 0;
        if (!currentElement("putValueByName", element))
            return host::kFailed;
        if (name.empty())
            return fail("putValueByName: the name is empty");
        m_state->document.appendNamed(element, name, value);
        return 0;
    });
}

// The stamping operations share their frame: find the current element, check, change its
// stamps (a copy, which the document then keeps in its own form).
template <typename Change>
int MessageIterator::stamp(const char* operation, Change&& change)
{
    return guarded(operation, [&] {
        KXLDocument::NodeId element = 0;
        if (!currentElement(operation, element))
            return host::kFailed;
        KXLDocument& document = m_state->document;
        KXLStamps stamps = document.node(element).stamps().value_or(KXLStamps());
        const int status = change(stamps);
        if (status == 0)
            document.setStamps(element, stamps);
        return status;
    });
}

int MessageIterator::setNamespace(const std::string& ns)
{
    return stamp("setNamespace", [&](KXLStamps& stamps) {
        if (ns.empty())
            return fail("setNamespace: the namespace name is empty");
        stamps.ns = ns;
        return 0;
    });
}

int MessageIterator::setNSID(int nsid)
{
    return stamp("setNSID", [&](KXLStamps& stamps) {
        if (nsid == 0) {
            // Undoes either way of setting the namespace.
            stamps.nsid.reset();
            stamps.ns.reset();
        } else {
            stamps.nsid = nsid;
        }
        return 0;
    });
}

int MessageIterator::setType(const std::string& ns, const std::string& type)
{
    return stamp("setType", [&](KXLStamps& stamps) {
        if (type.empty())
            return fail("setType: the type name is empty");
        stamps.type.emplace(ns, type);
        return 0;
    });
}

int MessageIterator::setTypeID(int nsid, int typeID)
{
    return stamp("setTypeID", [&](KXLStamps& stamps) {
        stamps.typeId.emplace(nsid, typeID);
        return 0;
    });
}

int MessageIterator::setItemNSType(int itemNSType)
{
    return stamp("setItemNSType", [&](KXLStamps& stamps) {
        stamps.itemNSType = itemNSType;
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
