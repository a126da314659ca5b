// The host's message interface: the document (KXLMessage), the cursor that writes it
// (KXLMessageIterator), their owner and factory, and the generic writer framework that
// turns program values into elements through putObject.
//
// The framework is header-only and is compiled into every module that includes this
// header. Its assertions report the including module's name: define KXL_MODULE_NAME
// (a string literal) before including it, usually on the compiler's command line.
#ifndef KXLMESSAGE_KXLMESSAGEITERATOR_H
#define KXLMESSAGE_KXLMESSAGEITERATOR_H

#include <algorithm>
#include <climits>
#include <cstddef>
#include <string>
#include <type_traits>
#include <utility>

#include "host/KXLDebug.h"

// No default: a fallback name would make every module's assertion reports look alike.
#ifndef KXL_MODULE_NAME
#error "KXLMessage/KXLMessageIterator.h needs KXL_MODULE_NAME, the including module's name as a string literal: compile with -DKXL_MODULE_NAME=\"<module>\""
#endif

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
//
// Life of a message: KXLMsgFactory::createNew, prepare(0), createIterator, the writes,
// saveToFile (wherever the cursor stands), the iterator deleted, destroy.
class KXLMessage {
public:
    // Called once, before createIterator; the argument selects the kind of document.
    virtual int prepare(int kind) = 0;
    // Releases the message; every iterator on it must be deleted first.
    virtual void destroy() = 0;
    // 0 when written; otherwise the host's error text says why.
    virtual int saveToFile(const std::string& path) = 0;
    // A new cursor at the document root, owned by the caller; its first addChild makes a
    // top-level element.
    virtual KXLMessageIterator* createIterator() = 0;

protected:
    ~KXLMessage() = default;
};

// A cursor on one current element of a message. Owned by whoever called createIterator.
//
// The virtual operations are the host message library's; their order is part of the
// binary interface shared with it, so it never changes. putObject and putObjectInternal
// are compiled into the calling module and reach the message only through them, so any
// implementation of the interface gets the same writes.
//
// What the framework relies on, operation by operation (answers not named here are
// never examined by the writers):
//   leaveChild          the current element's parent becomes current;
//   setNamespace        namespace by name, set on the current element before a writer runs;
//   setType             type by names (namespace, type), likewise;
//   onTagRejected       told once when probeTag answered 0; the write goes on;
//   putValueByName      adds a named int value to the current element;
//   probeTag            whether a tag is acceptable here; only compared with 0;
//   addChild            appends a child with that tag and makes it current;
//   setItemNSType       item namespace type, set on a tagged child just before leaving it;
//   setNSID             namespace by number; setNSID(0) undoes either namespace setting;
//   setTypeID           type by numbers (namespace id, type id);
//   putValue(..., tag)  0 when written; its answer is what travels up as a writer's status.
//                       Tag 0 stores the value in the current element itself; another
//                       tag appends a child holding it, and the current one stays current.
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
    // The tag is probed first; a rejected tag is reported to the iterator and written all
    // the same. Returns the writer's status unchanged. (Details at the definition.)
    template <typename T, typename Writer>
    int putObject(const T& obj, const Writer& writer, int id);

    // Applies writer to obj on the current element, stamping the writer's identifiers.
    // Returns the writer's status unchanged. (Stamping rules at the definition.)
    template <typename T, typename Writer>
    int putObjectInternal(const T& obj, const Writer& writer);
};

// Scope-bound owner of one message: destroy() when the scope ends. It hands the message
// out unchecked and cannot be copied, so the message is destroyed exactly once.
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
//
// Writing a message, from the creation of the document to its release:
//
//   KXL::auto_destroy message(KXL::KXLMsgFactory::createNew());
//   message->prepare(0);
//   const std::unique_ptr<KXL::KXLMessageIterator> it(message->createIterator());
//   it->addChild(1307);  // a vocabulary then needs addChild(1044): docs/vocabulary.md
//   it->putObject(std::string("text"), KXLWriterSimple<const std::string&>(), 1303);
//   it->putObject(codes, KXLWriterMap(1017, KXLWriterID(KXLWriterSimple<const int>(), 1010),
//                                     RecordWriter()), 0);
//   it->leaveChild();
//   message->saveToFile(path);
//
// The unique_ptr, declared after the owner, deletes the iterator before the message goes.
//
// A writer turns one program value into elements and values of a message by calling
// the iterator's operations. Writers are small copyable values composed by type:
//
//   KXLWriterSimple<V>       leaf: one putValue of a V into the current element;
//   KXLWriterPairItemT<K, V> a pair: K on .first, then V on .second, side by side;
//   KXLWriterListT<W>        every entry of a container, in the container's order;
//   KXLWriterIDT<ID, W>      W's output inside a new child element with a tag;
//
// built by the factories KXLWriterID, KXLWriterPairItem, KXLWriterList and KXLWriterMap.
// For example the writer of a map from unsigned codes to records,
//
//   KXLWriterMap(1017, KXLWriterID(KXLWriterSimple<const int>(), 1010), RecordWriter())
//
// writes each entry, in ascending key order, as
//
//   addChild(1017)
//     addChild(1010) putValue(int(code), 0) leaveChild()
//     RecordWriter's calls on the record (only when the key was written)
//   leaveChild()
//
// and stops after the first entry that fails, which still gets its leaveChild.
//
// The writer contract, for these kinds and for any writer a module adds:
//  - a class derived from KXLWriterBase with a const call operation
//      int operator()(KXLMessageIterator& it, <value> v) const;
//    returning 0 for success and anything else for failure;
//  - no state beyond what it was constructed with, and the call never changes it;
//  - passed by const reference, stored by value: each wrapper holds its own copy of
//    what it wraps, so a composed writer can outlive the pieces it was built from;
//  - no virtual operations and no heap memory of its own: all dispatch is by type.
//
// A module's own writer usually writes a record field by field, each field through
// putObject with an already tagged leaf, so that every field gets its own child (Text
// and Int standing for KXLWriterSimple<const std::string&> and KXLWriterSimple<const int>):
//
//   struct DiskWriter : KXLWriterBase {
//       int operator()(KXLMessageIterator& it, const Disk& disk) const
//       {
//           if (it.putObject(disk.name, KXLWriterID(Text(), 1026), 0) != 0)
//               return 1;
//           return it.putObject(disk.size, KXLWriterID(Int(), 1846), 0);
//       }
//   };
//
// and is then plugged into the generic kinds (KXLWriterMap(1017, keyWriter, DiskWriter())).
// Going through putObject rather than calling the leaf directly is what stamps the
// leaf's identifiers on its element; with the default identifiers both write the same.
//
// Statuses: a leaf returns the iterator's answer; KXLWriterIDT returns its inner status
// unchanged; a pair returns 0 or -1; a list returns 0 or 1. Only zero versus non-zero is
// ever tested. The writers examine no other iterator answer (addChild, leaveChild, ...),
// and neither throw nor catch: an exception from the iterator passes straight through,
// releasing the temporaries made on the way; the iterator's position is then unknown.
//
// Every element a wrapper opens is left before it returns, whatever the inner status,
// so a writer that returns normally leaves the iterator on the element it started on.
//
// Conversions: an object reaches a writer's value parameter as it is, passed by
// reference, with two exceptions made where a writer is applied: a character array for a
// std::string parameter becomes a temporary string of its text up to the first NUL
// ("VirtIO" arrives as a six-character string), and an unsigned int for an int
// parameter becomes the int with the same 32 bits (4294967295 arrives as -1).
//
// Misuse is caught at compile time where it can be: a writer type without a usable call
// operation, a writer that cannot take the object it is given (a map writer whose key
// writer takes text for numeric keys, say), a leaf value type no putValue takes. Each
// stops the build with a static_assert that names the writer kind and the part at fault.
// What only shows at run time (an empty tag, a null identifier text) is asserted.

// Assertions of this header. The condition goes through Debug::check (one place where a
// debugger can watch every check), and a failure is handed to the host's abort with the
// including module's name, this header's installed path (fixed, so that a report does
// not depend on where the module was built), the line, the bare function name and the
// full signature with its deduced template arguments. abort may return; the operation
// then goes on as if the condition had held, so each assertion is followed by code that
// stays safe in that case.
//
// The host's reports and the tools that read them know the assertions by their lines:
//   671  KXLWriterIDT's call: the tag is not the empty id;
//   853  putObjectInternal: the writer's namespace text is not null;
//   854  putObjectInternal: the writer's type text is not null.
// tests/framework checks that they stay there: an edit above one of them must keep the
// line count, rebalancing the comments if need be.
#define KXL_MESSAGE_ASSERT(condition)                                                      \
    do {                                                                                    \
        if (!::KXL::Debug::check(static_cast<bool>(condition)))                             \
            ::KXL::abort(KXL_MODULE_NAME, "KXLMessage/KXLMessageIterator.h", __LINE__,    \
                         __func__, __PRETTY_FUNCTION__);                                    \
    } while (false)

// The common root of every writer. It supplies the four identifiers that
// putObjectInternal stamps around the writer's call. A writer type that wants other
// identifiers declares static functions of the same names and types, which hide these:
//
//   struct TypedWriter : KXLWriterBase {
//       static int getTypeID() { return 120; }   // stamped as setTypeID(0, 120)
//       int operator()(KXLMessageIterator& it, const Thing& thing) const;
//   };
//
// The identifiers belong to the type, not to a writer object: they are static and read
// afresh at every use. The texts are never null (asserted where they are read): "" says
// "none". Every writer of the framework keeps the defaults, so that its writes stamp
// nothing and a wrapper never stamps on behalf of what it wraps.
class KXLWriterBase {
public:
    KXLWriterBase() = default;

    // Numeric namespace id; 0 means none.
    static constexpr int getNSID() { return 0; }
    // Namespace name; empty means none. Never null.
    static constexpr const char* getStrNSID() { return ""; }
    // Numeric type id; only values above 100 are stamped.
    static constexpr int getTypeID() { return 50; }
    // Type name; empty means none. Never null.
    static constexpr const char* getStrTypeID() { return ""; }
};

// An empty base of the list writer's per-entry functor, tagged by the item writer's type.
// It is not a writer: the functor takes only the entry and holds references.
template <typename ItemWriter>
class KXLWriterBaseT {
};

template <typename ID, typename Writer, typename itemNSType = int>
class KXLWriterIDT;
template <typename KeyWriter, typename ValueWriter>
class KXLWriterPairItemT;
template <typename ItemWriter>
class KXLWriterListT;

namespace detail {

// The putValue overload taking Value, or null when there is none (KXLWriterSimple then
// says so in its own words instead of a failed conversion in its template head).
template <typename Value, typename = void>
struct DefaultPut {
    static constexpr int (KXLMessageIterator::*value)(Value, int) = nullptr;
};
template <typename Value>
struct DefaultPut<Value, std::void_t<decltype(static_cast<int (KXLMessageIterator::*)(Value, int)>(
                             &KXLMessageIterator::putValue))>> {
    static constexpr int (KXLMessageIterator::*value)(Value, int) = &KXLMessageIterator::putValue;
};

// ---- how an object reaches a writer

// The value parameter of a writer whose call operation is a single non-template
// function; void for generic or overloaded calls, which take the object as it is. A
// generic call (the framework's wrappers) has no parameter to convert to: the object
// travels through it unchanged and is converted where it finally meets a leaf.
template <typename Call>
struct CallParameter {
    using type = void;
};
template <typename Result, typename Writer, typename Parameter>
struct CallParameter<Result (Writer::*)(KXLMessageIterator&, Parameter) const> {
    using type = Parameter;
};
// noexcept is part of a function's type since C++17.
template <typename Result, typename Writer, typename Parameter>
struct CallParameter<Result (Writer::*)(KXLMessageIterator&, Parameter) const noexcept> {
    using type = Parameter;
};

template <typename Writer, typename = void>
struct WriterParameter {
    using type = void;
};
template <typename Writer>
struct WriterParameter<Writer, std::void_t<decltype(&Writer::operator())>> {
    using type = typename CallParameter<decltype(&Writer::operator())>::type;
};

template <typename Writer>
using WriterParameterValue =
    std::remove_cv_t<std::remove_reference_t<typename WriterParameter<Writer>::type>>;

// Converts an object for a writer parameter of type Parameter (cv and reference removed).
// By default the object is handed over by reference and converts implicitly, if at all:
// a std::string reaches a const std::string& parameter as the caller's own object, an
// int reaches a const int parameter by value.
template <typename Parameter, typename T>
struct Argument {
    static const T& make(const T& obj) { return obj; }
};

// A character array for a string parameter: its text up to the first NUL, bounded by the
// array so that an array without a NUL is never read past its end.
template <std::size_t N>
struct Argument<std::string, char[N]> {
    static std::string make(const char (&text)[N])
    {
        return std::string(text, std::find(text, text + N, '\0'));
    }
};

// An unsigned int for an int parameter: the same 32 bits, without relying on the
// implementation-defined conversion of values above INT_MAX.
template <>
struct Argument<int, unsigned int> {
    static int make(unsigned int value)
    {
        static_assert(sizeof(int) == sizeof(unsigned int) && INT_MIN == -INT_MAX - 1,
                      "KXL writers: int is expected to be two's complement of unsigned's width");
        return value <= static_cast<unsigned int>(INT_MAX) ? static_cast<int>(value)
                                                           : -static_cast<int>(~value) - 1;
    }
};

template <typename Writer, typename T>
using ArgumentFor = Argument<WriterParameterValue<Writer>, T>;

template <typename Writer, typename T>
using ArgumentType = decltype(ArgumentFor<Writer, T>::make(std::declval<const T&>()));

// Applies writer to obj directly: the conversions above, no stamping. A temporary made
// for the call lives until the writer returns. The pair and list writers apply their
// parts this way; putObjectInternal does too, between its stamping calls.
template <typename Writer, typename T>
int applyWriter(const Writer& writer, KXLMessageIterator& it, const T& obj)
{
    return writer(it, ArgumentFor<Writer, T>::make(obj));
}

// ---- whether a writer can write an object, looking through the framework's kinds so
// that a mismatch deep inside a composed writer is reported where the writer is used
//
// The wrappers' calls are templates that accept anything, so asking the compiler whether
// one can be called says nothing. Accepts answers for what a wrapper would do with the
// object: a tagged wrapper accepts what its inner writer accepts, a pair writer a pair
// whose parts its key and value writers accept, a list writer a container whose entries
// its item writer accepts. Every other writer is asked directly.

template <typename Writer, typename T, typename = void>
struct CallAccepts : std::false_type {
};
template <typename Writer, typename T>
struct CallAccepts<Writer, T,
                   std::enable_if_t<std::is_invocable_r_v<int, const Writer&, KXLMessageIterator&,
                                                          ArgumentType<Writer, T>>>>
    : std::true_type {
};

template <typename Writer, typename T>
struct Accepts : CallAccepts<Writer, T> {
};

template <typename ID, typename Writer, typename itemNSType, typename T>
struct Accepts<KXLWriterIDT<ID, Writer, itemNSType>, T> : Accepts<Writer, T> {
};

// A type without its reference and cv-qualifiers.
template <typename Value>
using Plain = std::remove_cv_t<std::remove_reference_t<Value>>;

template <typename Pair>
using FirstOf = Plain<decltype(std::declval<const Pair&>().first)>;
template <typename Pair>
using SecondOf = Plain<decltype(std::declval<const Pair&>().second)>;

// Anything with .first and .second (std::pair, a map's entries, a struct of that shape);
// the parts' types without const, so a std::map<unsigned int, X> entry's key is unsigned.
template <typename Pair, typename = void>
struct IsPair : std::false_type {
};
template <typename Pair>
struct IsPair<Pair, std::void_t<FirstOf<Pair>, SecondOf<Pair>>> : std::true_type {
};

template <typename KeyWriter, typename ValueWriter, typename Pair, bool = IsPair<Pair>::value>
struct PairAccepts : std::false_type {
};
template <typename KeyWriter, typename ValueWriter, typename Pair>
struct PairAccepts<KeyWriter, ValueWriter, Pair, true>
    : std::bool_constant<Accepts<KeyWriter, FirstOf<Pair>>::value &&
                         Accepts<ValueWriter, SecondOf<Pair>>::value> {
};
template <typename KeyWriter, typename ValueWriter, typename Pair>
struct Accepts<KXLWriterPairItemT<KeyWriter, ValueWriter>, Pair>
    : PairAccepts<KeyWriter, ValueWriter, Pair> {
};

template <typename Container>
using EntryOf = Plain<decltype(*std::declval<const Container&>().begin())>;

// Anything with const begin() and end() whose begin() can be dereferenced: the standard
// containers, and a module's own ranges of that shape. Plain arrays are not containers.
template <typename Container, typename = void>
struct IsContainer : std::false_type {
};
template <typename Container>
struct IsContainer<Container, std::void_t<EntryOf<Container>,
                                          decltype(std::declval<const Container&>().end())>>
    : std::true_type {
};

template <typename ItemWriter, typename Container, bool = IsContainer<Container>::value>
struct ListAccepts : std::false_type {
};
template <typename ItemWriter, typename Container>
struct ListAccepts<ItemWriter, Container, true> : Accepts<ItemWriter, EntryOf<Container>> {
};
template <typename ItemWriter, typename Container>
struct Accepts<KXLWriterListT<ItemWriter>, Container> : ListAccepts<ItemWriter, Container> {
};

// The pair and list writers check the objects they are given themselves, with messages
// that say which part does not fit; a check above them would only say that something
// deep inside does not.
template <typename Writer>
struct ChecksOwnObjects : std::false_type {
};
template <typename ID, typename Writer, typename itemNSType>
struct ChecksOwnObjects<KXLWriterIDT<ID, Writer, itemNSType>> : ChecksOwnObjects<Writer> {
};
template <typename KeyWriter, typename ValueWriter>
struct ChecksOwnObjects<KXLWriterPairItemT<KeyWriter, ValueWriter>> : std::true_type {
};
template <typename ItemWriter>
struct ChecksOwnObjects<KXLWriterListT<ItemWriter>> : std::true_type {
};

template <typename Writer, typename T>
constexpr bool canWrite = ChecksOwnObjects<Writer>::value || Accepts<Writer, T>::value;

// ---- identifiers

// The identifier functions of a writer type, with the types putObjectInternal needs.
template <typename Writer, typename = void>
struct HasIdentifiers : std::false_type {
};
template <typename Writer>
struct HasIdentifiers<Writer,
                      std::void_t<decltype(Writer::getNSID()), decltype(Writer::getStrNSID()),
                                  decltype(Writer::getTypeID()), decltype(Writer::getStrTypeID())>>
    : std::bool_constant<std::is_same_v<decltype(Writer::getNSID()), int> &&
                         std::is_same_v<decltype(Writer::getTypeID()), int> &&
                         std::is_convertible_v<decltype(Writer::getStrNSID()), const char*> &&
                         std::is_convertible_v<decltype(Writer::getStrTypeID()), const char*>> {
};

} // namespace detail

// The leaf writer: one value into the current element.
//
// Value is the value type exactly as the call takes it (const int by value,
// const std::string& by reference), and Put the iterator operation that receives the
// value and a tag; by default the putValue overload for Value. The tag passed is always 0,
// so the value lands in the current element itself: a leaf opens nothing and is normally
// wrapped in a KXLWriterIDT, which opens the element the value belongs to.
// Returns the iterator's answer unchanged.
//
//   KXLWriterSimple<const int>                 putValue(int, 0)
//   KXLWriterSimple<const std::string&>        putValue(const std::string&, 0)
//
// Another operation of the same shape can be named instead of the default:
//
//   KXLWriterSimple<const int, &KXLMessageIterator::putValue>   (the default, spelled out)
//
// The operation is a template argument rather than a field, so the writer stays empty
// and its type alone says what it writes. Under g++ the defaulted operation is left out
// of printed names, so reports show KXL::KXLWriterSimple<const int>.
template <typename Value, int (KXLMessageIterator::*Put)(Value, int) =
                              detail::DefaultPut<Value>::value>
class KXLWriterSimple : public KXLWriterBase {
    static_assert(Put != nullptr,
                  "KXLWriterSimple<Value>: no KXLMessageIterator::putValue overload takes this "
                  "value type; use const int or const std::string&, or name the operation as the "
                  "second template argument");

public:
    KXLWriterSimple() = default;

    int operator()(KXLMessageIterator& it, Value value) const { return (it.*Put)(value, 0); }
};

// The pair writer, for one entry of a map: the key writer on entry.first, then, only if
// that succeeded, the value writer on entry.second. Both are applied directly (no probe,
// no stamping at this level), so key and value land side by side in whatever element the
// caller opened: KXLWriterMap opens one per entry. Returns 0, or -1 as soon as either
// fails; the writer's own status is not handed on. A value is never written without
// its key, so a reader of the message can rely on every value having one beside it.
//
//   KXLWriterPairItem(KXLWriterID(KXLWriterSimple<const int>(), 1010), RecordWriter())
//   on {3, record}:  addChild(1010) putValue(3, 0) leaveChild()  RecordWriter's calls
template <typename KeyWriter, typename ValueWriter>
class KXLWriterPairItemT : public KXLWriterBase {
public:
    KXLWriterPairItemT(const KeyWriter& key, const ValueWriter& value)
        : keyWriter(key), valueWriter(value)
    {
    }

    template <typename Pair>
    int operator()(KXLMessageIterator& it, const Pair& entry) const
    {
        static_assert(detail::IsPair<Pair>::value,
                      "KXLWriterPairItemT: the object written has no .first and .second");
        static_assert(detail::Accepts<KeyWriter, detail::FirstOf<Pair>>::value,
                      "KXLWriterPairItemT: the key writer cannot write the entries' keys (.first)");
        static_assert(detail::Accepts<ValueWriter, detail::SecondOf<Pair>>::value,
                      "KXLWriterPairItemT: the value writer cannot write the entries' values "
                      "(.second)");
        if (detail::applyWriter(keyWriter, it, entry.first) != 0)
            return -1;
        return detail::applyWriter(valueWriter, it, entry.second) != 0 ? -1 : 0;
    }

private:
    KeyWriter keyWriter;
    ValueWriter valueWriter;
};

// The list writer's per-entry functor, the predicate of its linear search: the item
// writer's own call on one entry, applied directly; a non-zero status ends the search.
// It holds references, so it lives only for one call of the list writer.
template <typename ItemWriter>
class KXLWriterListItemT : public KXLWriterBaseT<ItemWriter> {
public:
    KXLWriterListItemT(const ItemWriter& item, KXLMessageIterator& it)
        : iterator(it), itemWriter(item)
    {
    }

    template <typename Entry>
    int operator()(const Entry& entry) const
    {
        return detail::applyWriter(itemWriter, iterator, entry);
    }

private:
    KXLMessageIterator& iterator;
    const ItemWriter& itemWriter;
};

// The list writer: the item writer on every entry of a container (anything with const
// begin() and end()), in the container's own order, ascending keys for a std::map. It
// opens no element of its own and stops at the first entry whose status is not 0; the
// entries after it are not written. Returns 0 when every entry was written (an empty
// container makes no iterator call), 1 when it stopped early; the failed entry's own
// status is not handed on. It allocates nothing: the per-entry functor is a stack value
// holding two references, and the search is std::find_if over the container itself.
//
//   KXLWriterList(KXLWriterSimple<const int>())        {4, 6}: putValue(4, 0) putValue(6, 0)
//   KXLWriterList(KXLWriterSimple<const int>(), 1303)  {4, 6}: addChild(1303) putValue(4, 0)
//                      leaveChild() addChild(1303) putValue(6, 0) leaveChild()
template <typename ItemWriter>
class KXLWriterListT : public KXLWriterBase {
public:
    explicit KXLWriterListT(const ItemWriter& item) : itemWriter(item) {}

    template <typename Container>
    int operator()(KXLMessageIterator& it, const Container& container) const
    {
        static_assert(detail::IsContainer<Container>::value,
                      "KXLWriterListT: the object written has no const begin() and end()");
        static_assert(detail::canWrite<ItemWriter, detail::EntryOf<Container>>,
                      "KXLWriterListT: the item writer cannot write the container's entries");
        const KXLWriterListItemT<ItemWriter> writeEntry(itemWriter, it);
        const auto end = container.end();
        return std::find_if(container.begin(), end, writeEntry) == end ? 0 : 1;
    }

private:
    ItemWriter itemWriter;
};

// The tagged-child wrapper: writes its inner writer's output inside a new child element.
//
// The call asserts that the tag is not the empty id, then makes: addChild(id) (not
// probed: probing belongs to putObject's own tagged path); the inner writer's write
// through putObject(obj, writer, 0), so that the inner writer's identifiers are stamped
// on the new child; setItemNSType(itemNSTypeValue) if that is not empty; leaveChild(),
// whatever the inner status was. It returns the inner status unchanged. No result of
// addChild, setItemNSType or leaveChild is examined.
//
//   KXLWriterID(KXLWriterSimple<const std::string&>(), 1264) on "experimental":
//       addChild(1264) putValue("experimental", 0) leaveChild()
//
// putObject with a non-zero id builds one of these around the writer it is given; if
// that writer is itself a KXLWriterIDT, the write nests an element inside an element
// (the outer one with putObject's id, the inner one with this wrapper's tag).
//
// The tag is checked when the writer is used, not when it is built, so that the report
// carries the type of the object that was about to be written.
//
// A failed tag check reports the function "operator()" and a signature such as
//   int KXL::KXLWriterIDT<ID, Writer, itemNSType>::operator()(KXL::KXLMessageIterator&,
//   const T&) const [with T = unsigned int; ID = int;
//   Writer = KXL::KXLWriterSimple<const int>; itemNSType = int]   (one line in reports)
//
// ID is the tag type and itemNSType the item namespace type's (both int in practice).
// The item namespace type is empty unless given at construction, and an empty one sets
// nothing. The call takes any object its inner writer accepts.
template <typename ID, typename Writer, typename itemNSType>
class KXLWriterIDT : public KXLWriterBase {
public:
    KXLWriterIDT(const Writer& inner, ID tag, itemNSType itemNSTypeGiven = getEmptyID<itemNSType>())
        : writer(inner), id(tag), itemNSTypeValue(itemNSTypeGiven)
    {
    }

    // The empty value of an id type: 0 for int, also when asked for const int.
    template <typename Id>
    static constexpr std::remove_cv_t<Id> getEmptyID()
    {
        return std::remove_cv_t<Id>();
    }

    // Whether value is its type's empty id.
    template <typename Id>
    static constexpr bool isIdEmpty(const Id& value)
    {
        return value == getEmptyID<Id>();
    }

    template <typename T>
    int operator()(KXLMessageIterator& it, const T& obj) const
    {
        KXL_MESSAGE_ASSERT(!isIdEmpty(id));
        it.addChild(id);
        const int status = it.putObject(obj, writer, 0);
        if (!isIdEmpty(itemNSTypeValue))
            it.setItemNSType(itemNSTypeValue);
        it.leaveChild();
        return status;
    }

private:
    Writer writer;               // a copy of the wrapped writer
    ID id;                       // the child's tag; never the empty id
    itemNSType itemNSTypeValue;  // empty unless given: then nothing is set
};

// ---- factories: each returns its writer by value, holding copies of its arguments

// writer's output inside a child with tag id:
//   KXLWriterID(KXLWriterSimple<const int>(), 1010) on 3: addChild(1010) putValue(3, 0)
//   leaveChild(). The tag must not be 0; that is asserted when the writer is used.
// ID is deduced from the tag given: int for a literal.
template <typename Writer, typename ID>
KXLWriterIDT<ID, Writer, int> KXLWriterID(const Writer& writer, ID id)
{
    return KXLWriterIDT<ID, Writer, int>(writer, id);
}

// key on .first, then value on .second, in the current element; the value only when
// the key was written. Returns 0 or -1. Usually built by KXLWriterMap; on its own it
// writes one entry into an element the caller opened.
template <typename KeyWriter, typename ValueWriter>
KXLWriterPairItemT<KeyWriter, ValueWriter> KXLWriterPairItem(const KeyWriter& key,
                                                             const ValueWriter& value)
{
    return KXLWriterPairItemT<KeyWriter, ValueWriter>(key, value);
}

// Every entry straight into the current element, in the container's order, until one
// fails. Returns 0 or 1. KXLWriterList(KXLWriterSimple<const int>()) on {4, 6}:
// putValue(4, 0) putValue(6, 0).
template <typename Writer>
KXLWriterListT<Writer> KXLWriterList(const Writer& item)
{
    return KXLWriterListT<Writer>(item);
}

// Every entry in its own child with tag id: KXLWriterList(KXLWriterID(item, id)). An
// entry that fails still has its child closed before the list stops.
// KXLWriterList(KXLWriterSimple<const int>(), 1303) on {4, 6}: addChild(1303)
// putValue(4, 0) leaveChild() addChild(1303) putValue(6, 0) leaveChild().
template <typename Writer, typename ID>
KXLWriterListT<KXLWriterIDT<ID, Writer, int>> KXLWriterList(const Writer& item, ID id)
{
    return KXLWriterList(KXLWriterID(item, id));
}

// Every entry of a map in its own child with tag id, holding the key's and the value's
// output side by side. The tag comes first here, unlike KXLWriterID and KXLWriterList.
//
//   KXLWriterMap(1017, KXLWriterID(KXLWriterSimple<const int>(), 1010), RecordWriter())
//
// is a KXLWriterListT<KXLWriterIDT<int, KXLWriterPairItemT<KXLWriterIDT<int,
// KXLWriterSimple<const int>, int>, RecordWriter>, int>>. On a std::map it writes, for
// each entry in ascending key order:
//   addChild(1017)
//     addChild(1010) putValue(key as int, 0) leaveChild()
//     RecordWriter's calls on the value, only if the key's write returned 0
//   leaveChild()
// and stops after the first entry whose pair failed, returning 1.
template <typename KeyWriter, typename ValueWriter, typename ID>
KXLWriterListT<KXLWriterIDT<ID, KXLWriterPairItemT<KeyWriter, ValueWriter>, int>>
KXLWriterMap(ID id, const KeyWriter& key, const ValueWriter& value)
{
    return KXLWriterList(KXLWriterPairItem(key, value), id);
}

// ---- the iterator's writing operations
// Both call only the iterator's virtual operations, and only on the iterator they are
// called on, so every implementation of the interface gets them unchanged.

// id 0: exactly putObjectInternal(obj, writer); no probe, no element of its own.
// id != 0: probeTag(id); onTagRejected() when the probe answers 0, and the write goes on
// regardless (the host only gets the chance to note the tag); then the writer is wrapped
// in a KXLWriterIDT with that tag, which opens the child, applies the writer through
// putObject(obj, writer, 0) and leaves the child whatever the status.
//
// Elements written around the writer's own output:
//   putObject(obj, w, 0)                   none: w writes into the current element
//   putObject(obj, w, B)                   one child B, after probeTag(B)
//   putObject(obj, KXLWriterID(w, A), 0)   one child A; no probe
//   putObject(obj, KXLWriterID(w, A), B)   child B holding child A; only B is probed
// The last form nests two elements for one write; pass tagged writers with id 0.
//
// So a tagged putObject issues, in order: probeTag(id), onTagRejected() only if the probe
// answered 0, addChild(id), the writer type's stamping calls, the writer's own calls,
// the namespace reset, leaveChild(). The probe is the only iterator answer it looks at,
// and it changes nothing about what is written.
//
// An exception from the iterator or the writer passes through unchanged; the child the
// tagged path opened is then not left, and the caller must not rely on the position.
//
// Returns the writer's status unchanged; nothing the iterator answers alters it.
template <typename T, typename Writer>
int KXLMessageIterator::putObject(const T& obj, const Writer& writer, int id)
{
    if (id == 0)
        return putObjectInternal(obj, writer);
    // The probe lets the host note an unexpected tag; the write does not depend on it.
    if (probeTag(id) == 0)
        onTagRejected();
    // On the stack: the tagged path allocates nothing of its own.
    const KXLWriterIDT<int, Writer, int> tagged(writer, id);
    return tagged(*this, obj);
}

namespace detail {

// Identifier texts; a null one (already reported by an assertion) counts as empty.
inline bool hasText(const char* text)
{
    return text != nullptr && *text != '\0';
}
inline std::string textOf(const char* text)
{
    return std::string(text != nullptr ? text : "");
}

} // namespace detail

// The identifiers are the static getNSID, getStrNSID, getTypeID and getStrTypeID of the
// writer's type (KXLWriterBase supplies the defaults: 0, "", 50, ""), each read again at
// every use. Stamping rules, in order:
//  1. namespace: a non-zero namespace id gives setNSID(id); otherwise a non-empty
//     namespace text gives setNamespace(text); otherwise nothing;
//  2. type: a type id above 100 (signed; 100 itself is not) gives
//     setTypeID(namespace id, type id), the namespace id passed even when 0, and the
//     type text is ignored; otherwise a non-empty type text gives
//     setType(namespace text, type text); otherwise nothing;
//  3. the writer's call on obj;
//  4. reset: when a namespace id or text was set, setNSID(0) (which also undoes a
//     namespace given by name). The type is never reset: it stays on the element.
// The answers of the stamping operations are not examined. With the default identifiers
// the stamping makes no call at all, and only the writer's own calls reach the iterator.
//
// It opens no element: the stamping lands on the element that is current, which on
// putObject's tagged path is the child just opened.
//
// For writer types with (namespace id, namespace text, type id, type text):
//   (0, "", 50, "")         the defaults: the writer's calls only
//   (5, "urn:x", 50, "")    setNSID(5), the writer's calls, setNSID(0)
//   (0, "urn:x", 50, "")    setNamespace("urn:x"), the writer's calls, setNSID(0)
//   (0, "", 100, "disk")    setType("", "disk"), the writer's calls
//   (0, "", 101, "disk")    setTypeID(0, 101), the writer's calls
//   (5, "", 120, "")        setNSID(5), setTypeID(5, 120), the writer's calls, setNSID(0)
//   (0, "", -200, "")       the writer's calls only: the comparison is signed
//
// The object reaches the writer's value parameter as is, with two exceptions: a
// character array handed to a writer taking a std::string becomes a temporary string of
// its text up to the first NUL (never past the array's end), living until the writer
// returns; an unsigned int handed to a writer taking an int becomes the int with the same
// 32 bits (4294967295 -> -1). The only allocations are such temporary strings: the one
// for a character array, one for setNamespace and two for setType.
//
// A writer type that does not derive from KXLWriterBase, whose identifiers have other
// types than KXLWriterBase's, or that cannot take T at all, is rejected at compile time.
//
// Null identifier texts are programming errors, asserted; should the host's abort
// return, a null text is taken as empty text and the write goes on. Their reports name
// the function "putObjectInternal" and a signature such as
//   int KXL::KXLMessageIterator::putObjectInternal(const T&, const Writer&)
//   [with T = unsigned int; Writer = KXL::KXLWriterSimple<const int>]
template <typename T, typename Writer>
int KXLMessageIterator::putObjectInternal(const T& obj, const Writer& writer)
{
    static_assert(std::is_base_of_v<KXLWriterBase, Writer>,
                  "putObject: a writer type must derive from KXL::KXLWriterBase");
    static_assert(detail::HasIdentifiers<Writer>::value,
                  "putObject: the writer's getNSID/getTypeID must return int and its "
                  "getStrNSID/getStrTypeID const char*");
    static_assert(detail::canWrite<Writer, T>,
                  "putObject: the writer cannot write this object type (it needs a const call "
                  "operation taking KXLMessageIterator& and the object, returning int)");
    KXL_MESSAGE_ASSERT(Writer::getStrNSID() != nullptr);
    KXL_MESSAGE_ASSERT(Writer::getStrTypeID() != nullptr);
    if (Writer::getNSID() != 0)
        setNSID(Writer::getNSID());
    else if (detail::hasText(Writer::getStrNSID()))
        setNamespace(detail::textOf(Writer::getStrNSID()));
    if (Writer::getTypeID() > 100)
        setTypeID(Writer::getNSID(), Writer::getTypeID());
    else if (detail::hasText(Writer::getStrTypeID()))
        setType(detail::textOf(Writer::getStrNSID()), detail::textOf(Writer::getStrTypeID()));
    const int status = detail::applyWriter(writer, *this, obj);
    if (Writer::getNSID() != 0 || detail::hasText(Writer::getStrNSID()))
        setNSID(0);
    return status;
}

#undef KXL_MESSAGE_ASSERT

} // namespace KXL

#endif
