// Returns 0 after publishing a message that is no vocabulary: its entry sits straight in
// 1307, without the container 1044. Like a plug-in that ignores the cache's answer, it
// reports success all the same; the agent must not.
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
        it->addChild(1017);
        it->putValue("entry without a container", 1010);
    }
    const std::string path =
        KXL::KXLInstanceFolders().plugins().leaf("NotAVocabulary").leaf("NotAVocabulary.voc");
    if (const int status = message->saveToFile(path); status != 0)
        return status;
    KXL::vocCacheLocal()->loadVocabularyFromFile(path, "NotAVocabulary");
    return 0;
}

int finiKXLPlugIn()
{
    return 0;
}
