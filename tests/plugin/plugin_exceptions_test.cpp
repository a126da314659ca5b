// An exception from any host call reaches the agent, with the plug-in's objects released
// in reverse order of acquisition on the way.
#include <set>
#include <stdexcept>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "plugin_run.h"

namespace {

// What must be released after a throw at calls()[thrownAt], in release order.
std::vector<std::string> expectedReleases(const std::vector<std::string>& calls, size_t thrownAt)
{
    auto before = [&](const std::string& call) {
        for (size_t i = 0; i < thrownAt; ++i)
            if (calls[i] == call)
                return true;
        return false;
    };
    const std::string& thrower = calls[thrownAt];
    std::vector<std::string> releases;
    if (thrower.rfind("put(", 0) == 0)
        releases.push_back("~Logger()");
    if (thrower.rfind("loadVocabularyFromFile(", 0) == 0)
        releases.push_back("~cacheHandle");
    // Objects the builder already released before the throw are not released again.
    if (before("createIterator()") && !before("~KXLMessageIterator()"))
        releases.push_back("~KXLMessageIterator()");
    if (before("createNew()") && !before("destroy()"))
        releases.push_back("destroy()");
    if (before("KXPServer()")) // a constructor that throws leaves nothing to destroy
        releases.push_back("~KXPServer()");
    return releases;
}

// Returns how many distinct calls were made to throw.
size_t expectCleanUnwindAtEveryCall(test_host::Script base)
{
    base.guidCounts = false; // every run must make the same calls
    test_host::reset(base);
    KXP::initKXLPlugIn();
    const std::vector<std::string> reference = test_host::calls();
    std::set<std::string> tried;
    for (size_t i = 0; i < reference.size(); ++i) {
        const std::string& call = reference[i];
        // Destructors never throw; every other host call can.
        if (call[0] == '~' || call == "destroy()" || !tried.insert(call).second)
            continue;
        test_host::Script script = base;
        script.throwAt = call;
        test_host::reset(script);
        EXPECT_THROW(KXP::initKXLPlugIn(), std::runtime_error) << call;

        const std::vector<std::string>& calls = test_host::calls();
        const size_t thrownAt = static_cast<size_t>(indexOf(call));
        const std::vector<std::string> after(calls.begin() + static_cast<long>(thrownAt) + 1,
                                             calls.end());
        // Only releases follow: release() and deinit() belong to the normal paths.
        EXPECT_EQ(after, expectedReleases(calls, thrownAt)) << "thrown at " << call;
    }
    return tried.size();
}

TEST(PluginExceptions, EveryCallOfASuccessfulRun)
{
    test_host::Script script;
    script.supported[3].property1 = "debian12";
    script.experimental[7].property2 = "Next";
    EXPECT_GT(expectCleanUnwindAtEveryCall(script), 40u);
}

TEST(PluginExceptions, EveryCallOfTheReportingPaths)
{
    test_host::Script sdk;
    sdk.sdkInit = 1;
    EXPECT_EQ(expectCleanUnwindAtEveryCall(sdk), 3u); // init, Log2, put
    test_host::Script login;
    login.login = 1;
    expectCleanUnwindAtEveryCall(login);
    test_host::Script maps;
    maps.getOSMaps = -1;
    expectCleanUnwindAtEveryCall(maps);
    test_host::Script save;
    save.save = 2;
    expectCleanUnwindAtEveryCall(save);
}

} // namespace
