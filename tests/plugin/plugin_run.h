// Runs the plug-in's entry point against the scriptable test host.
#ifndef TESTS_PLUGIN_PLUGIN_RUN_H
#define TESTS_PLUGIN_PLUGIN_RUN_H

#include <algorithm>
#include <map>
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

// The host objects acquired in the last run and not released exactly once, as
// "acquisition/release" pairs: empty when nothing leaked and nothing was released twice.
inline std::vector<std::string> unreleased()
{
    static const std::pair<const char*, const char*> kPairs[] = {
        {"SDK.init()", "SDK.deinit()"}, // an SDK that did not come up is not taken down
        {"KXPServer()", "~KXPServer()"},
        {"createNew()", "destroy()"},
        {"createIterator()", "~KXLMessageIterator()"},
        {"vocCacheLocal()", "~cacheHandle"}, // an empty handle holds nothing
        {"Log2(", "~Logger()"},
    };
    const auto& calls = test_host::calls();
    const auto count = [&](const std::string& prefix) {
        return std::count_if(calls.begin(), calls.end(), [&](const std::string& call) {
            return call.rfind(prefix, 0) == 0;
        });
    };
    const test_host::Script& script = lastScript();
    const std::map<std::string, bool> nothingAcquired = {
        {"SDK.init()", script.sdkInit != 0},
        {"createNew()", script.nullMessage},
        {"createIterator()", script.nullIterator},
        {"vocCacheLocal()", script.nullCache},
    };
    std::vector<std::string> result;
    for (const auto& [acquire, release] : kPairs) {
        const auto nothing = nothingAcquired.find(acquire);
        const long acquired =
            nothing != nothingAcquired.end() && nothing->second ? 0 : count(acquire);
        if (acquired != count(release))
            result.push_back(std::string(acquire) + "/" + release);
    }
    return result;
}

const char kSavedPath[] = "/host/plugins/ZEVUruruzodovar/ZEVUruruzodovar.voc";

#endif
