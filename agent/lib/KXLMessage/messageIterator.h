// The cursor that writes a message's tree.
#ifndef KXLMESSAGE_MESSAGEITERATOR_H
#define KXLMESSAGE_MESSAGEITERATOR_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "KXLMessage/KXLMessageIterator.h"
#include "messageState.h"

namespace KXL {

// Not thread-safe: a message and its iterators belong to one thread at a time. Any number
// of iterators may write one message; each finds its element again from the root by index,
// so another iterator's appends never leave it pointing into moved storage.
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
    std::vector<std::size_t> m_path; // child indices from the root; empty at the root

    // The current element, or null with the error text set (at the root, or the message is
    // gone). `operation` names the call in that text.
    KXLNode* currentElement(const char* operation);
    KXLNode& resolve(); // the element m_path names; m_path must not be empty
    std::vector<KXLNode>& currentChildren();
    int putTaggedValue(const char* operation, KXLValue value, int tag);
};

} // namespace KXL

#endif
