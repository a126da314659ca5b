// The agent's local vocabulary cache: immutable trees by vocabulary name.
#include "host/KXLVocCacheLocal.h"

#include <deque>
#include <map>
#include <mutex>
#include <utility>

#include <boost/make_shared.hpp>

#include "host/lib/host_call.h"
#include "host/KXLError.h"
#include "host/KXLLog.h"
#include "host/KXLMessageFile.h"

namespace KXL {

namespace {

// Enough for every plug-in of a run; a long-lived host does not grow without bound.
constexpr std::size_t kJournalLimit = 1024;

} // namespace

struct KXLVocCacheLocal::Impl {
    mutable std::mutex mutex;
    std::map<std::string, std::shared_ptr<const KXLDocument>> vocabularies;
    KXLVocabularyRule rule;
    std::deque<KXLVocLoadRecord> journal;
    std::uint64_t nextSequence = 0;

    void record(KXLVocLoadRecord entry)
    {
        entry.sequence = nextSequence++;
        journal.push_back(std::move(entry));
        if (journal.size() > kJournalLimit)
            journal.pop_front();
    }
};

KXLVocCacheLocal::KXLVocCacheLocal() : m_impl(new Impl) {}

KXLVocCacheLocal::~KXLVocCacheLocal()
{
    delete m_impl;
}

int KXLVocCacheLocal::loadVocabularyFromFile(const std::string& path, const std::string& name)
{
    // Taken first: a refusal below replaces the thread's error text.
    const std::string earlierError = getErrorMessage();
    std::string reason;
    const int status = host::guarded("loadVocabularyFromFile", [&] {
        if (name.empty()) {
            reason = "cannot load \"" + path + "\": the vocabulary name is empty";
            return host::fail(reason);
        }
        // Parsed and checked outside the lock; readers keep whatever tree they already hold.
        auto document = std::make_shared<KXLDocument>();
        if (loadDocument(path, *document) != 0)
            reason = getErrorMessage();
        else if (KXLVocabularyRule rule = [&] {
                     const std::lock_guard<std::mutex> lock(m_impl->mutex);
                     return m_impl->rule;
                 }()) {
            if (std::string refused = rule(*document); !refused.empty())
                reason = "\"" + path + "\" is not a vocabulary: " + refused;
        }
        if (!reason.empty())
            return host::fail("vocabulary \"" + name + "\" left unchanged: " + reason);
        std::shared_ptr<const KXLDocument> loaded = std::move(document);
        const std::lock_guard<std::mutex> lock(m_impl->mutex);
        m_impl->vocabularies[name] = std::move(loaded);
        return 0;
    });
    if (status != 0 && reason.empty())
        reason = getErrorMessage(); // what guarded caught
    try {
        if (status != 0)
            Log2(KXL_MODULE_NAME, __FILE__, __LINE__, __func__, __PRETTY_FUNCTION__)
                .put(1, "vocabulary \"%s\" not published from %s: %s", name.c_str(), path.c_str(),
                     reason.c_str());
        KXLVocLoadRecord entry;
        entry.name = name;
        entry.path = path;
        entry.status = status;
        entry.reason = reason;
        entry.earlierError = earlierError;
        const std::lock_guard<std::mutex> lock(m_impl->mutex);
        m_impl->record(std::move(entry));
    } catch (...) {
        // Out of memory: the load's own outcome stands; only its record is missing.
    }
    return status;
}

void KXLVocCacheLocal::setVocabularyRule(KXLVocabularyRule rule)
{
    const std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->rule = std::move(rule);
}

std::uint64_t KXLVocCacheLocal::journalEnd() const
{
    const std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->nextSequence;
}

std::vector<KXLVocLoadRecord> KXLVocCacheLocal::journalSince(std::uint64_t sequence) const
{
    const std::lock_guard<std::mutex> lock(m_impl->mutex);
    std::vector<KXLVocLoadRecord> records;
    for (const KXLVocLoadRecord& entry : m_impl->journal)
        if (entry.sequence >= sequence)
            records.push_back(entry);
    return records;
}

std::vector<std::string> KXLVocCacheLocal::names() const
{
    const std::lock_guard<std::mutex> lock(m_impl->mutex);
    std::vector<std::string> result;
    result.reserve(m_impl->vocabularies.size());
    for (const auto& entry : m_impl->vocabularies)
        result.push_back(entry.first);
    return result;
}

std::shared_ptr<const KXLDocument> KXLVocCacheLocal::find(const std::string& name) const
{
    const std::lock_guard<std::mutex> lock(m_impl->mutex);
    const auto found = m_impl->vocabularies.find(name);
    return found == m_impl->vocabularies.end() ? nullptr : found->second;
}

namespace {

// Made when the library loads, so handing it out later cannot fail.
const boost::shared_ptr<KXLVocCacheLocal> theCache = boost::make_shared<KXLVocCacheLocal>();

} // namespace

boost::shared_ptr<KXLVocCacheLocal> vocCacheLocal()
{
    return theCache;
}

} // namespace KXL
