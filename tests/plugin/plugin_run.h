// Runs the plug-in's entry point against the scriptable test host.
#ifndef TESTS_PLUGIN_PLUGIN_RUN_H
#define TESTS_PLUGIN_PLUGIN_RUN_H

#include <algorithm>
#include <string>
#include <vector>

#include "test_host.h"

namespace KXP {
extern "C" int initKXLPlugIn();
extern "C" int finiKXLPlugIn();
} // namespace KXP

// The script of the last runPlugin.
inline test_host::Script& lastScript()
{
    static test_host::Script script;
    return script;
}

inline int runPlugin(const test_host::Script& script = test_host::Script())
{
    lastScript() = script;
    test_host::reset(script);
    return KXP::initKXLPlugIn();
}

inline bool wasCalled(const std::string& call)
{
    const auto& calls = test_host::calls();
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

inline long indexOf(const std::string& call)
{
    const auto& calls = test_host::calls();
    const auto found = std::find(calls.begin(), calls.end(), call);
    return found == calls.end() ? -1 : static_cast<long>(found - calls.begin());
}

// The host objects the last run acquired and did not release exactly once, as
// "acquisition/release": empty when nothing leaked and nothing was released twice.
inline std::vector<std::string> unreleased()
{
    const auto count = [](const std::string& prefix) {
        const auto& calls = test_host::calls();
        return std::count_if(calls.begin(), calls.end(), [&](const std::string& call) {
            return call.rfind(prefix, 0) == 0;
        });
    };
    // An SDK that did not come up, and a null message, iterator or cache, hold nothing.
    const test_host::Script& script = lastScript();
    const struct {
        const char* acquire;
        const char* release;
        bool held;
    } pairs[] = {
        {"SDK.init()", "SDK.deinit()", script.sdkInit == 0},
        {"KXPServer()", "~KXPServer()", true},
        {"createNew()", "destroy()", !script.nullMessage},
        {"createIterator()", "~KXLMessageIterator()", !script.nullIterator},
        {"vocCacheLocal()", "~cacheHandle", !script.nullCache},
        {"Log2(", "~Logger()", true},
    };
    std::vector<std::string> result;
    for (const auto& pair : pairs)
        if ((pair.held ? count(pair.acquire) : 0) != count(pair.release))
            result.push_back(std::string(pair.acquire) + "/" + pair.release);
    return result;
}

// A host whose every GUID is the same, so that the version stamp is known.
inline test_host::Script fixedGuid()
{
    test_host::Script script;
    script.guid = "5c6d7e8f-0000-4000-8000-00000000abcd";
    script.guidCounts = false;
    return script;
}

const char kFixedStamp[] = "$Id: ZEVUruruzodovar.voc 5c6d7e8f-0000-4000-8000-00000000abcd $";
const char kSavedPath[] = "/host/plugins/ZEVUruruzodovar/ZEVUruruzodovar.voc";

#endif
