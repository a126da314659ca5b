// Folders and the vocabulary cache of the test host.
#include "test_host_state.h"
#include "host/KXLInstanceFolders.h"
#include "host/KXLVocCacheLocal.h"

namespace KXL {

KXLInstanceFolders::pathSimple KXLInstanceFolders::plugins() const
{
    test_host::record("plugins()");
    return pathSimple(test_host::state().script.pluginsFolder);
}

KXLInstanceFolders::pathSimple KXLInstanceFolders::pathSimple::leaf(const std::string& name) const
{
    test_host::record("leaf(" + name + ")");
    return pathSimple(m_path + "/" + name);
}

KXLInstanceFolders::pathSimple::operator std::string() const
{
    test_host::record("toPath(" + m_path + ")");
    return m_path;
}

struct KXLVocCacheLocal::Impl {
};

KXLVocCacheLocal::KXLVocCacheLocal() : m_impl(nullptr)
{
}

KXLVocCacheLocal::~KXLVocCacheLocal() = default;

int KXLVocCacheLocal::loadVocabularyFromFile(const std::string& path, const std::string& name)
{
    return test_host::record("loadVocabularyFromFile(" + path + "," + name + ")");
}

boost::shared_ptr<KXLVocCacheLocal> vocCacheLocal()
{
    static KXLVocCacheLocal cache;
    test_host::record("vocCacheLocal()");
    if (test_host::state().script.nullCache)
        return boost::shared_ptr<KXLVocCacheLocal>();
    // Each handle records its own release, so a test sees when the plug-in lets go.
    return boost::shared_ptr<KXLVocCacheLocal>(
        &cache, [](KXLVocCacheLocal*) { test_host::state().calls.push_back("~cacheHandle"); });
}

} // namespace KXL
