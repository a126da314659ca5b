// The host's message interface: the document (KXLMessage), the cursor that writes it
// (KXLMessageIterator), their owner and factory, and the generic writer framework that
// turns program values into elements through putObject.
//
// The framework is header-only and is compiled into every module that includes this
// header. Its assertions report the including module's name: define KXL_MODULE_NAME
// (a string literal) before including it, usually on the compiler's command line.
#ifndef KXLMESSAGE_KXLMESSAGEITERATOR_H
#define KXLMESSAGE_KXLMESSAGEITERATOR_H

#include <string>

#include "host/KXLDebug.h"

namespace noncopyable_ {

class noncopyable {
protected:
    noncopyable() = default;
    ~noncopyable() = default;

public:
    noncopyable(const noncopyable&) = delete;
    noncopyable& operator=(const noncopyable&) = delete;
};

} // namespace noncopyable_

namespace KXL {

class KXLMessageIterator;

// A message document. Released through destroy(), never deleted directly.
class KXLMessage {
public:
    virtual int prepare(int kind) = 0;
    virtual void destroy() = 0;
    virtual int saveToFile(const std::string& path) = 0;
    virtual KXLMessageIterator* createIterator() = 0;

protected:
    ~KXLMessage() = default;
};

// A cursor on one current element of a message. Owned by whoever called createIterator.
class KXLMessageIterator {
public:
    virtual ~KXLMessageIterator() = default;
    virtual int leaveChild() = 0;
    virtual int setNamespace(const std::string& ns) = 0;
    virtual int setType(const std::string& ns, const std::string& type) = 0;
    virtual int onTagRejected() = 0;
    virtual int putValueByName(int value, const std::string& name) = 0;
    virtual int probeTag(int tag) = 0;
    virtual int addChild(int tag) = 0;
    virtual int setItemNSType(int itemNSType) = 0;
    virtual int setNSID(int nsid) = 0;
    virtual int setTypeID(int nsid, int typeID) = 0;
    virtual int putValue(const std::string& value, int tag) = 0;
    virtual int putValue(int value, int tag) = 0;

    // Writes obj with writer; a non-zero id puts the write inside a new child element.
    template <typename T, typename Writer>
    int putObject(const T& obj, const Writer& writer, int id);

    // Applies writer to obj on the current element, stamping the writer's identifiers.
    template <typename T, typename Writer>
    int putObjectInternal(const T& obj, const Writer& writer);
};

// Scope-bound owner of one message: destroy() when the scope ends.
class auto_destroy : private noncopyable_::noncopyable {
public:
    explicit auto_destroy(KXLMessage* message) : m_message(message) {}
    ~auto_destroy()
    {
        if (m_message != nullptr)
            m_message->destroy();
    }
    KXLMessage* operator->() const { return m_message; }
    KXLMessage& operator*() const { return *m_message; }

private:
    KXLMessage* m_message;
};

class KXLMsgFactory {
public:
    // A new, empty message; the caller releases it with destroy().
    static KXLMessage* createNew();
};

// ---- writer framework ------------------------------------------------------------
// (to be filled in)

} // namespace KXL

#endif
