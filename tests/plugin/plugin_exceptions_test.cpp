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
size_t expectCleanUnwindAtEveryCall(TestHost::Script base)
{
    base.guidCounts = false; // every run must make the same calls
    TestHost::reset(base);
    KXP::initKXLPlugIn();
    const std::vector<std::string> reference = TestHost::calls();
    std::set<std::string> tried;
    for (size_t i = 0; i < reference.size(); ++i) {
        const std::string& call = reference[i];
        // Destructors never throw; every other host call can.
        if (call[0] == '~' || call == "destroy()" || !tried.insert(call).second)
            continue;
        TestHost::Script script = base;
        script.throwAt = call;
        TestHost::reset(script);
        EXPECT_THROW(KXP::initKXLPlugIn(), std::runtime_error) << call;

        const std::vector<std::string>& calls = TestHost::calls();
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
    TestHost::Script script;
    script.supported[3].property1 = "debian12";
    script.experimental[7].property2 = "Next";
    EXPECT_GT(expectCleanUnwindAtEveryCall(script), 40u);
}

TEST(PluginExceptions, EveryCallOfTheReportingPaths)
{
    TestHost::Script sdk;
    sdk.sdkInit = 1;
    EXPECT_EQ(expectCleanUnwindAtEveryCall(sdk), 3u); // init, Log2, put
    TestHost::Script login;
    login.login = 1;
    expectCleanUnwindAtEveryCall(login);
    TestHost::Script maps;
    maps.getOSMaps = -1;
    expectCleanUnwindAtEveryCall(maps);
    TestHost::Script save;
    save.save = 2;
    expectCleanUnwindAtEveryCall(save);
}

} // namespace
