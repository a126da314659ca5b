// The agent's local vocabulary cache.
#ifndef HOST_KXLVOCCACHELOCAL_H
#define HOST_KXLVOCCACHELOCAL_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

namespace KXL {

// A vocabulary's tree: opaque here, host-side code includes host/KXLMessageTree.h.
class KXLDocument;

// One attempt to load a vocabulary into the cache, as the cache's journal keeps it.
struct KXLVocLoadRecord {
    std::uint64_t sequence = 0; // counts every attempt of the process, from 0
    std::string name;
    std::string path;
    int status = 0; // 0: published; otherwise refused and the previous vocabulary kept
    std::string reason; // why it was refused
    // The thread's error text as the load found it, which a refusal replaces: the failure
    // of an earlier host call of the same caller, such as the save of the file.
    std::string earlierError;
};

// Host side: what a document must be to be published. Returns the reason it is not, or
// an empty text when it may be published.
using KXLVocabularyRule = std::function<std::string(const KXLDocument&)>;

class KXLVocCacheLocal {
public:
    KXLVocCacheLocal();
    ~KXLVocCacheLocal();
    KXLVocCacheLocal(const KXLVocCacheLocal&) = delete;
    KXLVocCacheLocal& operator=(const KXLVocCacheLocal&) = delete;

    // Parses the saved file and replaces the vocabulary held under name in one step.
    // A missing or malformed file, or one the vocabulary rule refuses, keeps the previous
    // one: non-zero with the error text set, and a log record naming the path and the reason.
    int loadVocabularyFromFile(const std::string& path, const std::string& name);

    // Host side: the rule every loaded document must pass (none by default); set before
    // any plug-in runs.
    void setVocabularyRule(KXLVocabularyRule rule);

    // Host side: the journal of load attempts. journalEnd() is the sequence number the
    // next attempt gets; journalSince(n) returns the attempts from n on that are still
    // kept (the last 1024).
    std::uint64_t journalEnd() const;
    std::vector<KXLVocLoadRecord> journalSince(std::uint64_t sequence) const;

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
