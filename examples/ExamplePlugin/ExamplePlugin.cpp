// ExamplePlugin: the smallest complete plug-in of the host agent. It publishes the
// vocabulary "ExamplePlugin": a version stamp, one category ("example_storage_tier") and
// one entry per storage tier, each marked with that category. The rules it follows are in
// docs/vocabulary.md of the developer kit.
//
// One call of initKXLPlugIn does the whole job: build the message, save it as
// <plug-in folder>/ExamplePlugin/ExamplePlugin.voc, hand the file to the agent's
// vocabulary cache. Any failure is logged and returned as a non-zero status; no exception
// leaves the plug-in.
#include <exception>
#include <map>
#include <memory>
#include <string>

#include <boost/shared_ptr.hpp>

#include "KXLMessage/KXLMessageIterator.h"
#include "host/KXLError.h"
#include "host/KXLGUIDBase.h"
#include "host/KXLInstanceFolders.h"
#include "host/KXLLog.h"
#include "host/KXLVocCacheLocal.h"

// The agent finds the two entry points by their plain names; kxl_add_plugin's export map
// hides everything else, and hidden visibility keeps the rest out of the symbol table.
extern "C" {
__attribute__((visibility("default"))) int initKXLPlugIn();
__attribute__((visibility("default"))) int finiKXLPlugIn();
}

// One log record at level 1 (failure), bound to where it is reported.
#define EXAMPLE_REPORT(...)                                                              \
    KXL::Log2(KXL_MODULE_NAME, __FILE__, __LINE__, __func__, __PRETTY_FUNCTION__)         \
        .put(1, __VA_ARGS__)

namespace {

const char vocabularyName[] = "ExamplePlugin"; // also the folder and the file's stem
const char category[] = "example_storage_tier";

// Tags of the message dictionary (docs/vocabulary.md).
enum Tag {
    tagId = 1010,          // an entry's or category's identifier
    tagEntry = 1017,       // one entry
    tagName = 1026,        // display name
    tagContainer = 1044,   // holds every entry and category definition
    tagCategory = 1264,    // a category definition, or an entry's mark
    tagDescription = 1303, // the version entry's description
    tagVocabulary = 1307,  // the document's top element; in the version entry, the stamp
};

// What the plug-in publishes: storage tiers by id.
struct Tier {
    std::string name;
    int maxIops;
};

// ---- writers: each turns one value into elements of the current element ----

// The version entry. The stamp changes whenever the vocabulary is written, so whoever
// reads the cache can tell two publications apart.
struct VersionWriter : KXL::KXLWriterBase {
    int operator()(KXL::KXLMessageIterator& it, const std::string& stamp) const
    {
        it.putValue(std::string("vocversion"), tagId);
        it.putValue(std::string("vocabulary"), tagCategory);
        it.putValue(stamp, tagVocabulary);
        it.putValue(std::string("Vocabulary version"), tagDescription);
        return 0;
    }
};

// A category definition: only its name, in 1010.
struct CategoryWriter : KXL::KXLWriterBase {
    int operator()(KXL::KXLMessageIterator& it, const std::string& name) const
    {
        return it.putValue(name, tagId);
    }
};

// The body of one tier's entry; KXLWriterMap has already written the id (the map's key).
struct TierWriter : KXL::KXLWriterBase {
    int operator()(KXL::KXLMessageIterator& it, const Tier& tier) const
    {
        it.putValue(std::string(category), tagCategory); // the entry's mark
        it.putValue(tier.name, tagName);
        it.putValueByName(tier.maxIops, "max_iops");
        return 0;
    }
};

// Writes the whole vocabulary below the iterator's root. The statuses of single writes are
// not examined, as in the product's own plug-in: a value the host rejects costs that value
// (or, for a map's key, the rest of that map), never the rest of the vocabulary. Whether the
// publication succeeded is decided by the save and the cache below. -1 without a stamp.
int putVocabulary(KXL::KXLMessageIterator& it, const std::map<int, Tier>& tiers)
{
    KXL::KXLGUIDBase guid;
    if (guid.generate() != 0)
        return -1;
    const std::string stamp = "$Id: ExamplePlugin.voc " + guid.toString() + " $";

    it.addChild(tagVocabulary);
    it.addChild(tagContainer);
    // Inside the container: the version entry, the category definitions, the entries.
    it.putObject(stamp, VersionWriter(), tagEntry);
    it.putObject(category, KXL::KXLWriterID(CategoryWriter(), tagCategory), 0);
    // One 1017 per tier: 1010 holding the key, then TierWriter's values.
    const auto idWriter = KXL::KXLWriterID(KXL::KXLWriterSimple<const int>(), tagId);
    it.putObject(tiers, KXL::KXLWriterMap(tagEntry, idWriter, TierWriter()), 0);
    return 0;
}

int publish()
{
    const std::map<int, Tier> tiers = {
        {1, {"Archive", 500}},
        {2, {"Standard", 5000}},
        {3, {"Fast", 50000}},
    };

    // The message is released by auto_destroy, after the iterator (declared later).
    KXL::KXLMessage* const created = KXL::KXLMsgFactory::createNew();
    if (created == nullptr) {
        EXAMPLE_REPORT("cannot create a message: %s", KXL::getErrorMessage());
        return -1;
    }
    KXL::auto_destroy message(created);
    if (message->prepare(0) != 0) { // 0: a vocabulary
        EXAMPLE_REPORT("cannot prepare the message: %s", KXL::getErrorMessage());
        return -1;
    }
    const std::unique_ptr<KXL::KXLMessageIterator> it(message->createIterator());
    if (!it || putVocabulary(*it, tiers) != 0) {
        EXAMPLE_REPORT("cannot write the vocabulary: %s", KXL::getErrorMessage());
        return -1;
    }

    // <plug-in folder>/ExamplePlugin/ExamplePlugin.voc: the agent's plug-in folder may be
    // set with host-agent --plugins, so the file goes wherever the plug-in was found.
    const std::string path = KXL::KXLInstanceFolders()
                                 .plugins()
                                 .leaf(vocabularyName)
                                 .leaf(std::string(vocabularyName) + ".voc");
    int status = message->saveToFile(path);
    if (status != 0) {
        // The failure path: report why and return the status, so the agent counts this
        // publication as failed. Nothing is handed to the cache.
        EXAMPLE_REPORT("cannot save %s: %s", path.c_str(), KXL::getErrorMessage());
        return status;
    }

    const boost::shared_ptr<KXL::KXLVocCacheLocal> cache = KXL::vocCacheLocal();
    if (!cache) {
        EXAMPLE_REPORT("no vocabulary cache");
        return -1;
    }
    status = cache->loadVocabularyFromFile(path, vocabularyName);
    if (status != 0)
        EXAMPLE_REPORT("the cache refused %s: %s", path.c_str(), KXL::getErrorMessage());
    return status;
}

} // namespace

int initKXLPlugIn()
{
    // An exception must not reach the agent: it becomes a failed status.
    try {
        return publish();
    } catch (const std::exception& error) {
        EXAMPLE_REPORT("failed: %s", error.what());
    } catch (...) {
        EXAMPLE_REPORT("failed with an unknown exception");
    }
    return -1;
}

int finiKXLPlugIn()
{
    return 0; // nothing survives initKXLPlugIn
}
