// The entry points: SDK and server lifecycle, statuses and failure reports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "plugin_run.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

const char initSignature[] = "int KXP::initKXLPlugIn()";

TEST(PluginLifecycle, SdkInitFailureReportsOnceAndTouchesNothingElse)
{
    TestHost::Script script;
    script.sdkInit = 5;
    EXPECT_EQ(runPlugin(script), 5);

    EXPECT_THAT(TestHost::calls(),
                ElementsAre("SDK.init()", "Log2(initKXLPlugIn)",
                            "put(1,\"Couldn't initialize Tarvolin SDK\")", "~Logger()"));
    ASSERT_EQ(TestHost::logRecords().size(), 1u);
    const TestHost::LogRecord& record = TestHost::logRecords()[0];
    EXPECT_EQ(record.module, "ZEVUruruzodovar");
    EXPECT_EQ(record.file, "plugins/ZEVUruruzodovar/ZEVUruruzodovar.cpp");
    EXPECT_GT(record.line, 0);
    EXPECT_EQ(record.function, "initKXLPlugIn");
    EXPECT_EQ(record.prettyFunction, initSignature);
    EXPECT_EQ(record.level, 1);
    EXPECT_EQ(record.format, "Couldn't initialize Tarvolin SDK");
}

TEST(PluginLifecycle, LoginFailureReportsHostTextAndStillTakesEverythingDown)
{
    TestHost::Script script;
    script.login = -1;
    script.errorText = "connection refused by 127.0.0.1";
    EXPECT_EQ(runPlugin(script), -1);

    EXPECT_THAT(TestHost::calls(),
                ElementsAre("SDK.init()", "KXPServer()", "create()", "loginLocal()",
                            "getErrorMessage()", "Log2(initKXLPlugIn)",
                            "put(1,\"Couldn't connect to Tarvolin Server: connection refused by "
                            "127.0.0.1\")",
                            "~Logger()", "release()", "SDK.deinit()", "~KXPServer()"));
    ASSERT_EQ(TestHost::logRecords().size(), 1u);
    EXPECT_EQ(TestHost::logRecords()[0].format, "Couldn't connect to Tarvolin Server: %s");
    EXPECT_EQ(TestHost::logRecords()[0].prettyFunction, initSignature);
}

TEST(PluginLifecycle, NullErrorTextIsLoggedAsEmptyText)
{
    TestHost::Script script;
    script.login = 4;
    script.nullErrorText = true;
    EXPECT_EQ(runPlugin(script), 4);
    ASSERT_EQ(TestHost::logRecords().size(), 1u);
    EXPECT_EQ(TestHost::logRecords()[0].message, "Couldn't connect to Tarvolin Server: ");
}

TEST(PluginLifecycle, FailedCreateIsIgnoredWhenLoginSucceeds)
{
    TestHost::Script script;
    script.create = 9;
    EXPECT_EQ(runPlugin(script), 0);
    EXPECT_TRUE(wasCalled("saveToFile(" + std::string(savedPath) + ")"));
    EXPECT_TRUE(TestHost::logRecords().empty());
}

TEST(PluginLifecycle, SuccessPublishesThenReleasesThenTakesSdkDownThenDestroysServer)
{
    EXPECT_EQ(runPlugin(), 0);
    EXPECT_TRUE(TestHost::logRecords().empty());

    const auto& calls = TestHost::calls();
    ASSERT_GE(calls.size(), 10u);
    EXPECT_THAT(std::vector<std::string>(calls.begin(), calls.begin() + 10),
                ElementsAre("SDK.init()", "KXPServer()", "create()", "loginLocal()",
                            "getOSMaps(empty, empty)", "createNew()", "prepare(0)",
                            "createIterator()", "addChild(1307)", "addChild(1044)"));
    EXPECT_THAT(callsFrom("plugins()"),
                ElementsAre("plugins()", "leaf(ZEVUruruzodovar)", "leaf(ZEVUruruzodovar.voc)",
                            "toPath(/host/plugins/ZEVUruruzodovar/ZEVUruruzodovar.voc)",
                            "saveToFile(/host/plugins/ZEVUruruzodovar/ZEVUruruzodovar.voc)",
                            "vocCacheLocal()",
                            "loadVocabularyFromFile(/host/plugins/ZEVUruruzodovar/"
                            "ZEVUruruzodovar.voc,ZEVUruruzodovar)",
                            "~cacheHandle", "~KXLMessageIterator()", "destroy()", "release()",
                            "SDK.deinit()", "~KXPServer()"));
    // The container is entered once and never left by the builder itself.
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "addChild(1307)"), 1);
}

TEST(PluginLifecycle, EveryCallIsACompleteCycle)
{
    EXPECT_EQ(runPlugin(), 0);
    const auto first = TestHost::calls();
    EXPECT_EQ(runPlugin(), 0);
    EXPECT_EQ(TestHost::calls().size(), first.size());
    EXPECT_EQ(std::count(TestHost::calls().begin(), TestHost::calls().end(), "SDK.deinit()"), 1);
}

TEST(PluginLifecycle, FiniDoesNothingWhetherOrNotInitRan)
{
    TestHost::reset();
    EXPECT_EQ(KXP::finiKXLPlugIn(), 0);
    EXPECT_TRUE(TestHost::calls().empty());

    TestHost::Script failing;
    failing.sdkInit = 2;
    runPlugin(failing);
    const size_t before = TestHost::calls().size();
    EXPECT_EQ(KXP::finiKXLPlugIn(), 0);
    EXPECT_EQ(TestHost::calls().size(), before);
}

} // namespace
