// A small well-behaved plug-in: publishes the vocabulary "TestVocabulary" the way a real
// plug-in does, through the message library, its folder under the plug-in folder and the
// vocabulary cache. Every host call is checked, so a host fault shows as a failed status.
#include <memory>
#include <string>

#include <boost/shared_ptr.hpp>

#include "KXLMessage/KXLMessageIterator.h"
#include "host/KXLInstanceFolders.h"
#include "host/KXLVocCacheLocal.h"
#include "plugin_entry_points.h"

namespace {

// Built again as FiniFailure, which publishes its own vocabulary and then fails its fini.
#ifndef KXL_TEST_VOCABULARY_NAME
#define KXL_TEST_VOCABULARY_NAME "TestVocabulary"
#define KXL_TEST_FINI_STATUS 0
#endif
const char kVocabularyName[] = KXL_TEST_VOCABULARY_NAME;

// Keeps the first failed status of a run of host calls.
class FirstFailure {
public:
    void operator()(int status)
    {
        if (m_status == 0)
            m_status = status;
    }
    int status() const { return m_status; }

private:
    int m_status = 0;
};

void putVersion(KXL::KXLMessageIterator& it, FirstFailure& check)
{
    check(it.addChild(1017));
    check(it.putValue("vocversion", 1010));
    check(it.putValue("vocabulary", 1264));
    check(it.putValue("$Id: TestVocabulary.voc 7e57ab1e-0000-4000-8000-000000000001 $", 1307));
    check(it.putValue("Vocabulary version", 1303));
    check(it.leaveChild());
}

void putCategory(KXL::KXLMessageIterator& it, FirstFailure& check, const std::string& name)
{
    check(it.addChild(1264));
    check(it.putValue(name, 1010));
    check(it.leaveChild());
}

void putAdapter(KXL::KXLMessageIterator& it, FirstFailure& check)
{
    check(it.addChild(1017));
    check(it.putValue(3, 1010));
    check(it.putValue("kxp_network_adapter_type", 1264));
    check(it.putValue("VirtIO", 1026));
    check(it.leaveChild());
}

// An experimental guest OS whose code does not fit a signed int.
void putGuestOS(KXL::KXLMessageIterator& it, FirstFailure& check)
{
    check(it.addChild(1017));
    check(it.addChild(1010));
    check(it.putValue(static_cast<int>(0xFFFFFFFEu), 0));
    check(it.leaveChild());
    check(it.putValue("guest_os_type", 1264));
    check(it.addChild(1264));
    check(it.putValue("experimental", 0));
    check(it.leaveChild());
    check(it.putValue("testos", 1846));
    check(it.putValue("Test OS", 1026));
    check(it.putValueByName(100, "min_hdd_size"));
    check(it.putValueByName(16777216, "max_hdd_size"));
    check(it.putValueByName(65536, "recommended_hdd_size"));
    check(it.putValueByName(1, "hdd_interface"));
    check(it.putValueByName(3, "adapter_type"));
    check(it.putValueByName(0, "boot_efi"));
    check(it.leaveChild());
}

// An entry of no known shape, holding a terminal escape sequence.
void putNote(KXL::KXLMessageIterator& it, FirstFailure& check)
{
    check(it.addChild(1017));
    check(it.putValue("note", 1010));
    check(it.putValue("\x1b[31mred\x1b[0m", 1303));
    check(it.leaveChild());
}

} // namespace

int initKXLPlugIn()
{
    KXL::auto_destroy message(KXL::KXLMsgFactory::createNew());
    FirstFailure check;
    check(message->prepare(0));
    {
        const std::unique_ptr<KXL::KXLMessageIterator> it(message->createIterator());
        check(it->addChild(1307));
        check(it->addChild(1044));
        putVersion(*it, check);
        for (const char* category : {"kxp_network_adapter_type", "guest_os_type", "experimental"})
            putCategory(*it, check, category);
        putAdapter(*it, check);
        putGuestOS(*it, check);
        putNote(*it, check);
    }
    if (check.status() != 0)
        return check.status();

    const std::string path = KXL::KXLInstanceFolders().plugins().leaf(kVocabularyName)
                                 .leaf(std::string(kVocabularyName) + ".voc");
    if (const int status = message->saveToFile(path); status != 0)
        return status;
    return KXL::vocCacheLocal()->loadVocabularyFromFile(path, kVocabularyName);
}

int finiKXLPlugIn()
{
    return KXL_TEST_FINI_STATUS;
}
