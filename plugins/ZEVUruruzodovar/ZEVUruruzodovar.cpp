// ZEVUruruzodovar: publishes what the local virtualization server can do as the
// vocabulary "ZEVUruruzodovar" (version stamp, categories, network adapters, guest OSes),
// saved beside the plug-in and handed to the agent's vocabulary cache. One call of
// initKXLPlugIn does everything; nothing survives it.
#include <memory>
#include <string>

#include <boost/shared_ptr.hpp>

#include "KXLMessage/KXLMessageIterator.h"
#include "host/KXLError.h"
#include "host/KXLGUIDBase.h"
#include "host/KXLInstanceFolders.h"
#include "host/KXLLog.h"
#include "host/KXLOS.h"
#include "host/KXLVocCacheLocal.h"
#include "host/KXPSDK.h"
#include "host/KXPServer.h"

// One failure record at level 1, bound to the line and function that reports it.
#define ZEV_REPORT(...)                                                                  \
    KXL::Log2(moduleName, __FILE__, __LINE__, __func__, __PRETTY_FUNCTION__).put(1, __VA_ARGS__)

namespace KXP {

// The agent finds the entry points by their plain names; everything else stays hidden.
extern "C" {
__attribute__((visibility("default"))) int initKXLPlugIn();
__attribute__((visibility("default"))) int finiKXLPlugIn();
}

namespace {

const char moduleName[] = "ZEVUruruzodovar";
const char vocabularyName[] = "ZEVUruruzodovar";
const char vocabularyFolder[] = "ZEVUruruzodovar";
const char vocabularyFile[] = "ZEVUruruzodovar.voc";

// Message dictionary tags.
enum Tag {
    tagId = 1010,
    tagEntry = 1017,
    tagName = 1026,
    tagContainer = 1044,
    tagCategory = 1264,
    tagDescription = 1303,
    tagVocabulary = 1307, // inside the version entry: the stamp
    tagShortName = 1846,
};

// Returned when the host breaks its promise of a message, an iterator or a cache.
const int statusHostBroken = -1;

// The host promises a text; a null one is logged as empty rather than handed to %s.
const char* errorText()
{
    const char* text = KXL::getErrorMessage();
    return text != nullptr ? text : "";
}

std::string generateVocVersion()
{
    KXL::KXLGUIDBase guid;
    guid.generate();
    return "$Id: ZEVUruruzodovar.voc " + guid.toString() + " $";
}

namespace Writer {

struct VocVersion : KXL::KXLWriterBase {
    int operator()(KXL::KXLMessageIterator& it, const std::string& stamp) const
    {
        it.putValue(std::string("vocversion"), tagId);
        it.putValue(std::string("vocabulary"), tagCategory);
        it.putValue(stamp, tagVocabulary);
        it.putValue(std::string("Vocabulary version"), tagDescription);
        return 0;
    }
};

struct Category : KXL::KXLWriterBase {
    int operator()(KXL::KXLMessageIterator& it, const std::string& name) const
    {
        return it.putValue(name, tagId);
    }
};

struct NetworkAdapter : KXL::KXLWriterBase {
    explicit NetworkAdapter(int id) : adapterId(id) {}

    // A rejected write leaves the entry's other values in place.
    int operator()(KXL::KXLMessageIterator& it, const std::string& name) const
    {
        it.putValue(adapterId, tagId);
        it.putValue(std::string("kxp_network_adapter_type"), tagCategory);
        it.putValue(name, tagName);
        return 0;
    }

    int adapterId;
};

struct GuestOS : KXL::KXLWriterBase {
    explicit GuestOS(bool isExperimental) : experimental(isExperimental) {}

    // The same defaults for every guest OS; the server's record supplies only the texts.
    int operator()(KXL::KXLMessageIterator& it, const KXL::KXLOS& os) const
    {
        it.putValue(std::string("guest_os_type"), tagCategory);
        if (experimental)
            it.putObject("experimental",
                         KXL::KXLWriterID(KXL::KXLWriterSimple<const std::string&>(), tagCategory),
                         0);
        it.putValue(static_cast<const std::string&>(os.property1), tagShortName);
        it.putValue(static_cast<const std::string&>(os.property2), tagName);
        it.putValueByName(100, "min_hdd_size");
        it.putValueByName(16777216, "max_hdd_size");
        it.putValueByName(65536, "recommended_hdd_size");
        it.putValueByName(1, "hdd_interface");
        it.putValueByName(3, "adapter_type"); // the VirtIO adapter's id
        it.putValueByName(0, "boot_efi");
        return 0;
    }

    bool experimental;
};

} // namespace Writer

// Entry statuses are deliberately not examined: a rejected entry must not cost the
// rest of the vocabulary.
void putEntries(KXL::KXLMessageIterator& it, const KXPOSMap& supportedOS,
                const KXPOSMap& experimentalOS)
{
    it.putObject(generateVocVersion(), Writer::VocVersion(), tagEntry);

    it.putObject("kxp_network_adapter_type", KXL::KXLWriterID(Writer::Category(), tagCategory), 0);
    it.putObject("guest_os_type", KXL::KXLWriterID(Writer::Category(), tagCategory), 0);
    it.putObject("experimental", KXL::KXLWriterID(Writer::Category(), tagCategory), 0);

    it.putObject("Realtek RTL8139", KXL::KXLWriterID(Writer::NetworkAdapter(1), tagEntry), 0);
    it.putObject("Intel PRO/1000 MT", KXL::KXLWriterID(Writer::NetworkAdapter(2), tagEntry), 0);
    it.putObject("VirtIO", KXL::KXLWriterID(Writer::NetworkAdapter(3), tagEntry), 0);

    const auto osKey = KXL::KXLWriterID(KXL::KXLWriterSimple<const int>(), tagId);
    it.putObject(supportedOS, KXL::KXLWriterMap(tagEntry, osKey, Writer::GuestOS(false)), 0);
    it.putObject(experimentalOS, KXL::KXLWriterMap(tagEntry, osKey, Writer::GuestOS(true)), 0);
}

int putVocabulary(KXPServer& server)
{
    // Declaration order is release order in reverse: path, iterator, message, maps.
    KXPOSMap supportedOS;
    KXPOSMap experimentalOS;
    int status = server.getOSMaps(supportedOS, experimentalOS);
    if (status < 0) {
        const char* error = errorText();
        ZEV_REPORT("Could not get OS maps: %s", error);
        return status;
    }

    KXL::KXLMessage* const created = KXL::KXLMsgFactory::createNew();
    KXL::auto_destroy message(created);
    if (created == nullptr) {
        ZEV_REPORT("Could not create the vocabulary message");
        return statusHostBroken;
    }
    message->prepare(0);
    const std::unique_ptr<KXL::KXLMessageIterator> it(message->createIterator());
    if (!it) {
        ZEV_REPORT("Could not create the vocabulary message");
        return statusHostBroken;
    }
    it->addChild(tagVocabulary);
    it->addChild(tagContainer);
    putEntries(*it, supportedOS, experimentalOS);

    const std::string path =
        KXL::KXLInstanceFolders().plugins().leaf(vocabularyFolder).leaf(vocabularyFile);
    status = message->saveToFile(path);
    if (status != 0) {
        const char* error = errorText();
        ZEV_REPORT("Could not save vocabulary file: %s", error);
    }
    // Even after a failed save: the cache then keeps or drops what it had, its decision.
    {
        const boost::shared_ptr<KXL::KXLVocCacheLocal> cache = KXL::vocCacheLocal();
        if (cache) {
            cache->loadVocabularyFromFile(path, vocabularyName);
        } else {
            ZEV_REPORT("Could not reach the vocabulary cache");
            if (status == 0)
                status = statusHostBroken; // saved but not published is no success
        }
    }
    return status;
}

} // namespace

int initKXLPlugIn()
{
    int status = SDK.init();
    if (status != 0) {
        ZEV_REPORT("Couldn't initialize Tarvolin SDK");
        return status;
    }

    KXPServer server;
    server.create(); // a failed create shows in the login
    status = server.loginLocal();
    if (status != 0) {
        const char* error = errorText();
        ZEV_REPORT("Couldn't connect to Tarvolin Server: %s", error);
    } else {
        status = putVocabulary(server);
    }
    server.release();
    SDK.deinit();
    return status;
}

int finiKXLPlugIn()
{
    return 0;
}

} // namespace KXP
