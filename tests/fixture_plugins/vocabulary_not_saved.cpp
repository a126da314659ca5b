// Saves over the vocabulary TestVocabulary published (it runs after it), but the save fails
// on the way, under a file size limit; the file stays TestVocabulary's. It hands the path to
// the cache all the same, as a plug-in does whatever its save returned, and fails.
#include <sys/resource.h>

#include <memory>
#include <string>

#include <boost/shared_ptr.hpp>

#include "KXLMessage/KXLMessageIterator.h"
#include "host/KXLInstanceFolders.h"
#include "host/KXLVocCacheLocal.h"
#include "plugin_entry_points.h"

int initKXLPlugIn()
{
    KXL::auto_destroy message(KXL::KXLMsgFactory::createNew());
    message->prepare(0);
    {
        const std::unique_ptr<KXL::KXLMessageIterator> it(message->createIterator());
        it->addChild(1307);
        it->putValue(std::string(64 * 1024, 'x'), 1303); // past the limit below
    }
    const std::string path =
        KXL::KXLInstanceFolders().plugins().leaf("TestVocabulary").leaf("TestVocabulary.voc");
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    const rlimit small{4096, before.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    const int status = message->saveToFile(path); // the agent survives the limit
    setrlimit(RLIMIT_FSIZE, &before);
    KXL::vocCacheLocal()->loadVocabularyFromFile(path, "TestVocabulary");
    return status;
}

int finiKXLPlugIn()
{
    return 0;
}
