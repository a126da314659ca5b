// The agent's local vocabulary cache: immutable trees by vocabulary name.
#include "host/KXLVocCacheLocal.h"

#include <map>
#include <mutex>
#include <utility>

#include <boost/make_shared.hpp>

#include "agent/lib/KXLMessage/hostCall.h"
#include "host/KXLError.h"
#include "host/KXLMessageFile.h"

namespace KXL {

struct KXLVocCacheLocal::Impl {
    mutable std::mutex mutex;
    std::map<std::string, std::shared_ptr<const KXLDocument>> vocabularies;
};

KXLVocCacheLocal::KXLVocCacheLocal() : m_impl(new Impl) {}

KXLVocCacheLocal::~KXLVocCacheLocal()
{
    delete m_impl;
}

int KXLVocCacheLocal::loadVocabularyFromFile(const std::string& path, const std::string& name)
{
    return host::guarded("loadVocabularyFromFile", [&] {
        if (name.empty())
            return host::fail("cannot load \"" + path + "\": the vocabulary name is empty");
        // Parsed outside the lock; readers keep whatever tree they already hold.
        auto document = std::make_shared<KXLDocument>();
        if (loadDocument(path, *document) != 0)
            return host::fail("vocabulary \"" + name + "\" left unchanged: " + getErrorMessage());
        std::shared_ptr<const KXLDocument> loaded = std::move(document);
        const std::lock_guard<std::mutex> lock(m_impl->mutex);
        m_impl->vocabularies[name] = std::move(loaded);
        return 0;
    });
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
