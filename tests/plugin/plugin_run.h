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

inline int runPlugin(const TestHost::Script& script = TestHost::Script())
{
    TestHost::reset(script);
    return KXP::initKXLPlugIn();
}

inline bool wasCalled(const std::string& call)
{
    const auto& calls = TestHost::calls();
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

inline long indexOf(const std::string& call)
{
    const auto& calls = TestHost::calls();
    const auto found = std::find(calls.begin(), calls.end(), call);
    return found == calls.end() ? -1 : static_cast<long>(found - calls.begin());
}

inline std::vector<std::string> callsFrom(const std::string& first)
{
    const auto& calls = TestHost::calls();
    return std::vector<std::string>(std::find(calls.begin(), calls.end(), first), calls.end());
}

const char savedPath[] = "/host/plugins/ZEVUruruzodovar/ZEVUruruzodovar.voc";

#endif
