// The agent's local vocabulary cache.
#ifndef HOST_KXLVOCCACHELOCAL_H
#define HOST_KXLVOCCACHELOCAL_H

#include <memory>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "host/KXLMessageTree.h"

namespace KXL {

class KXLVocCacheLocal {
public:
    KXLVocCacheLocal();
    ~KXLVocCacheLocal();
    KXLVocCacheLocal(const KXLVocCacheLocal&) = delete;
    KXLVocCacheLocal& operator=(const KXLVocCacheLocal&) = delete;

    // Parses the saved file and replaces the vocabulary held under name in one step.
    // A missing or malformed file keeps the previous one: non-zero with the error text set.
    int loadVocabularyFromFile(const std::string& path, const std::string& name);

    // Host side: the names held, sorted, and one vocabulary (null when absent).
    std::vector<std::string> names() const;
    std::shared_ptr<const KXLDocument> find(const std::string& name) const;

private:
    struct Impl;
    Impl* m_impl;
};

// The process's one cache; never empty.
boost::shared_ptr<KXLVocCacheLocal> vocCacheLocal();

} // namespace KXL

#endif
