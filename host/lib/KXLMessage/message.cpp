// The message document, its factory, and the host's view of its tree.
#include <memory>
#include <stdexcept>

#include "KXLMessage/KXLMessageIterator.h"
#include "host/KXLMessageFile.h"
#include "host/lib/host_call.h"
#include "message_iterator.h"
#include "message_state.h"

namespace KXL {

using host::fail;
using host::guarded;

namespace {

constexpr const char* kNotCreated = "the message could not be created: out of memory";

class Message final : public KXLMessage {
public:
    // A null state makes the stand-in createNew hands out when memory ran out: every
    // operation fails, destroy() does nothing.
    explicit Message(std::shared_ptr<MessageState> state) noexcept : m_state(std::move(state)) {}

    static Message& unavailable() noexcept
    {
        static Message instance(nullptr);
        return instance;
    }

    int prepare(int kind) override
    {
        return guarded("prepare", [&] {
            if (!m_state)
                return fail(std::string("prepare: ") + kNotCreated);
            if (m_state->prepared)
                return fail("prepare: the message is already prepared");
            if (!m_state->document.empty())
                return fail("prepare: the message already holds elements");
            m_state->document.setKind(kind);
            m_state->prepared = true;
            return 0;
        });
    }

    void destroy() override
    {
        if (this == &unavailable())
            return;
        // Iterators that outlive the message (a caller error) keep the state alive and see
        // `destroyed`; the tree itself goes now.
        m_state->destroyed = true;
        m_state->document = KXLDocument();
        delete this;
    }

    int saveToFile(const std::string& path) override
    {
        return guarded("saveToFile", [&] {
            if (!m_state)
                return fail(std::string("saveToFile: ") + kNotCreated);
            return saveDocument(m_state->document, path);
        });
    }

    // Allowed before prepare(): prepare() only sets the kind, and refuses once anything is
    // written.
    KXLMessageIterator* createIterator() override
    {
        return guarded("createIterator", [&]() -> KXLMessageIterator* {
            if (!m_state) {
                fail(std::string("createIterator: ") + kNotCreated);
                return nullptr;
            }
            return new MessageIterator(m_state);
        });
    }

    const KXLDocument& document() const
    {
        static const KXLDocument empty;
        return m_state ? m_state->document : empty;
    }

private:
    ~Message() = default;

    std::shared_ptr<MessageState> m_state;
};

} // namespace

KXLMessage* KXLMsgFactory::createNew()
{
    try {
        return new Message(std::make_shared<MessageState>());
    } catch (...) {
        fail(kNotCreated);
        return &Message::unavailable();
    }
}

const KXLDocument& messageDocument(const KXLMessage& message)
{
    const auto* ours = dynamic_cast<const Message*>(&message);
    if (ours == nullptr)
        throw std::invalid_argument("messageDocument: the message was not made by KXLMsgFactory::createNew");
    return ours->document();
}

} // namespace KXL
