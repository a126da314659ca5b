// The cursor that writes a message's tree.
#ifndef KXLMESSAGE_MESSAGEITERATOR_H
#define KXLMESSAGE_MESSAGEITERATOR_H

#include <memory>
#include <string>
#include <vector>

#include "KXLMessage/KXLMessageIterator.h"
#include "message_state.h"

namespace KXL {

// Not thread-safe: a message and its iterators belong to one thread at a time. Any number
// of iterators may write one message: node ids stay valid while others append.
class MessageIterator final : public KXLMessageIterator {
public:
    explicit MessageIterator(std::shared_ptr<MessageState> state);

    int leaveChild() override;
    int setNamespace(const std::string& ns) override;
    int setType(const std::string& ns, const std::string& type) override;
    int onTagRejected() override;
    int putValueByName(int value, const std::string& name) override;
    int probeTag(int tag) override;
    int addChild(int tag) override;
    int setItemNSType(int itemNSType) override;
    int setNSID(int nsid) override;
    int setTypeID(int nsid, int typeID) override;
    int putValue(const std::string& value, int tag) override;
    int putValue(int value, int tag) override;

private:
    std::shared_ptr<MessageState> m_state;
    std::vector<KXLDocument::NodeId> m_path; // the open elements; empty at the root

    // The current element, or false with the error text set (at the root, or the message is
    // gone). `operation` names the call in that text.
    bool currentElement(const char* operation, KXLDocument::NodeId& element);
    // Whether a child with `tag` may open below the current elements; else false, error text set.
    bool childAllowed(const char* operation, int tag);
    // The element a value goes to: the current one (tag 0) or a new child with that tag.
    bool valueTarget(const char* operation, int tag, KXLDocument::NodeId& element);
    template <typename Change>
    int stamp(const char* operation, Change&& change);
};

} // namespace KXL

#endif
