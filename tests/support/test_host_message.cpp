// The message and iterator of the test host: every call is recorded and mirrored into a
// tree, so a test can check both the exact sequence and the resulting document.
#include "KXLMessage/KXLMessageIterator.h"
#include "test_host_state.h"

namespace test_host {
namespace {

TreeNode* append(TreeNode* parent, int tag)
{
    auto node = std::make_unique<TreeNode>();
    node->tag = tag;
    node->parent = parent;
    parent->children.push_back(std::move(node));
    return parent->children.back().get();
}

void putRendered(const std::string& rendered, int tag)
{
    State& s = state();
    if (tag == 0)
        s.current->value = rendered;
    else
        append(s.current, tag)->value = rendered;
}

class RecordingIterator final : public KXL::KXLMessageIterator {
public:
    ~RecordingIterator() override { state().calls.push_back("~KXLMessageIterator()"); }

    int leaveChild() override
    {
        const int status = record("leaveChild()");
        State& s = state();
        if (s.current->parent != nullptr)
            s.current = s.current->parent;
        return status;
    }
    int setNamespace(const std::string& ns) override
    {
        return record("setNamespace(" + quoted(ns) + ")");
    }
    int setType(const std::string& ns, const std::string& type) override
    {
        return record("setType(" + quoted(ns) + "," + quoted(type) + ")");
    }
    int onTagRejected() override { return record("onTagRejected()"); }
    int putValueByName(int value, const std::string& name) override
    {
        const int status =
            record("putValueByName(" + std::to_string(value) + "," + quoted(name) + ")");
        auto node = std::make_unique<TreeNode>();
        node->named = true;
        node->name = name;
        node->value = std::to_string(value);
        node->parent = state().current;
        state().current->children.push_back(std::move(node));
        return status;
    }
    int probeTag(int tag) override { return record("probeTag(" + std::to_string(tag) + ")", 1); }
    int addChild(int tag) override
    {
        const int status = record("addChild(" + std::to_string(tag) + ")");
        state().current = append(state().current, tag);
        return status;
    }
    int setItemNSType(int itemNSType) override
    {
        return record("setItemNSType(" + std::to_string(itemNSType) + ")");
    }
    int setNSID(int nsid) override { return record("setNSID(" + std::to_string(nsid) + ")"); }
    int setTypeID(int nsid, int typeID) override
    {
        return record("setTypeID(" + std::to_string(nsid) + "," + std::to_string(typeID) + ")");
    }
    int putValue(const std::string& value, int tag) override
    {
        const int status = record("putValue(" + quoted(value) + "," + std::to_string(tag) + ")");
        putRendered(quoted(value), tag);
        return status;
    }
    int putValue(int value, int tag) override
    {
        const int status =
            record("putValue(" + std::to_string(value) + "," + std::to_string(tag) + ")");
        putRendered(std::to_string(value), tag);
        return status;
    }
};

class RecordingMessage final : public KXL::KXLMessage {
public:
    int prepare(int kind) override { return record("prepare(" + std::to_string(kind) + ")"); }
    void destroy() override
    {
        state().calls.push_back("destroy()");
        delete this;
    }
    int saveToFile(const std::string& path) override
    {
        return record("saveToFile(" + path + ")", state().script.save);
    }
    KXL::KXLMessageIterator* createIterator() override
    {
        record("createIterator()");
        return state().script.nullIterator ? nullptr : new RecordingIterator;
    }
};

} // namespace
} // namespace test_host

namespace KXL {

KXLMessage* KXLMsgFactory::createNew()
{
    test_host::record("createNew()");
    return test_host::state().script.nullMessage ? nullptr : new test_host::RecordingMessage;
}

} // namespace KXL
