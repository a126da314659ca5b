// The entry points: SDK and server lifecycle, statuses and failure reports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "plugin_run.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const char kInitSignature[] = "int KXP::initKXLPlugIn()";

TEST(PluginLifecycle, SdkInitFailureReportsOnceAndTouchesNothingElse)
{
    test_host::Script script;
    script.sdkInit = 5;
    EXPECT_EQ(runPlugin(script), 5);

    EXPECT_THAT(test_host::calls(),
                ElementsAre("SDK.init()", "Log2(initKXLPlugIn)",
                            "put(1,\"Couldn't initialize Tarvolin SDK\")", "~Logger()"));
    ASSERT_EQ(test_host::logRecords().size(), 1u);
    const test_host::LogRecord& record = test_host::logRecords()[0];
    EXPECT_EQ(record.module, "ZEVUruruzodovar");
    EXPECT_EQ(record.file, "plugins/ZEVUruruzodovar/ZEVUruruzodovar.cpp");
    EXPECT_GT(record.line, 0);
    EXPECT_EQ(record.function, "initKXLPlugIn");
    EXPECT_EQ(record.prettyFunction, kInitSignature);
    EXPECT_EQ(record.level, 1);
    EXPECT_EQ(record.format, "Couldn't initialize Tarvolin SDK");
}

TEST(PluginLifecycle, LoginFailureReportsHostTextAndStillTakesEverythingDown)
{
    test_host::Script script;
    script.login = -1;
    script.errorText = "connection refused by 127.0.0.1";
    EXPECT_EQ(runPlugin(script), -1);

    EXPECT_FALSE(wasCalled("getOSMaps(empty, empty)"));
    EXPECT_FALSE(wasCalled("createNew()"));
    EXPECT_TRUE(wasCalled("release()"));
    EXPECT_THAT(unreleased(), IsEmpty());
    EXPECT_LT(indexOf("getErrorMessage()"), indexOf("Log2(initKXLPlugIn)"));
    ASSERT_EQ(test_host::logRecords().size(), 1u);
    EXPECT_EQ(test_host::logRecords()[0].message,
              "Couldn't connect to Tarvolin Server: connection refused by 127.0.0.1");
    EXPECT_EQ(test_host::logRecords()[0].format, "Couldn't connect to Tarvolin Server: %s");
    EXPECT_EQ(test_host::logRecords()[0].prettyFunction, kInitSignature);
}

TEST(PluginLifecycle, NullErrorTextIsLoggedAsEmptyText)
{
    test_host::Script script;
    script.login = 4;
    script.nullErrorText = true;
    EXPECT_EQ(runPlugin(script), 4);
    ASSERT_EQ(test_host::logRecords().size(), 1u);
    EXPECT_EQ(test_host::logRecords()[0].message, "Couldn't connect to Tarvolin Server: ");
}

TEST(PluginLifecycle, FailedCreateIsIgnoredWhenLoginSucceeds)
{
    test_host::Script script;
    script.create = 9;
    EXPECT_EQ(runPlugin(script), 0);
    EXPECT_TRUE(wasCalled("saveToFile(" + std::string(kSavedPath) + ")"));
    EXPECT_TRUE(test_host::logRecords().empty());
}

// The one test of the order of the host calls: acquisition, every write of every kind of
// entry, saving and publishing, and release in reverse order of acquisition.
TEST(PluginLifecycle, SuccessMakesEveryHostCallInOrderAndReleasesInReverse)
{
    test_host::Script script = fixedGuid();
    script.experimental[7].property1 = "fedora41";
    script.experimental[7].property2 = "Fedora 41";
    EXPECT_EQ(runPlugin(script), 0);
    EXPECT_TRUE(test_host::logRecords().empty());

    const std::string stamp = kFixedStamp;
    EXPECT_THAT(
        test_host::calls(),
        ElementsAre(
            "SDK.init()", "KXPServer()", "create()", "loginLocal()", "getOSMaps(empty, empty)",
            "createNew()", "prepare(0)", "createIterator()", "addChild(1307)", "addChild(1044)",
            "KXLGUIDBase()", "generate()", "toString()",
            // version entry: the only tagged putObject, so the only probe
            "probeTag(1017)", "addChild(1017)", "putValue(\"vocversion\",1010)",
            "putValue(\"vocabulary\",1264)", "putValue(\"" + stamp + "\",1307)",
            "putValue(\"Vocabulary version\",1303)", "leaveChild()",
            // categories
            "addChild(1264)", "putValue(\"kxp_network_adapter_type\",1010)", "leaveChild()",
            "addChild(1264)", "putValue(\"guest_os_type\",1010)", "leaveChild()",
            "addChild(1264)", "putValue(\"experimental\",1010)", "leaveChild()",
            // adapters: integer ids
            "addChild(1017)", "putValue(1,1010)", "putValue(\"kxp_network_adapter_type\",1264)",
            "putValue(\"Realtek RTL8139\",1026)", "leaveChild()", "addChild(1017)",
            "putValue(2,1010)", "putValue(\"kxp_network_adapter_type\",1264)",
            "putValue(\"Intel PRO/1000 MT\",1026)", "leaveChild()", "addChild(1017)",
            "putValue(3,1010)", "putValue(\"kxp_network_adapter_type\",1264)",
            "putValue(\"VirtIO\",1026)", "leaveChild()",
            // the experimental guest OS: key in its own child, mark as an added child
            "addChild(1017)", "addChild(1010)", "putValue(7,0)", "leaveChild()",
            "putValue(\"guest_os_type\",1264)", "addChild(1264)", "putValue(\"experimental\",0)",
            "leaveChild()", "putValue(\"fedora41\",1846)", "putValue(\"Fedora 41\",1026)",
            "putValueByName(100,\"min_hdd_size\")", "putValueByName(16777216,\"max_hdd_size\")",
            "putValueByName(65536,\"recommended_hdd_size\")", "putValueByName(1,\"hdd_interface\")",
            "putValueByName(3,\"adapter_type\")", "putValueByName(0,\"boot_efi\")",
            "leaveChild()",
            // saved into the plug-in's own folder, then published
            "plugins()", "leaf(ZEVUruruzodovar)", "leaf(ZEVUruruzodovar.voc)",
            "toPath(/host/plugins/ZEVUruruzodovar/ZEVUruruzodovar.voc)",
            "saveToFile(/host/plugins/ZEVUruruzodovar/ZEVUruruzodovar.voc)", "vocCacheLocal()",
            "loadVocabularyFromFile(/host/plugins/ZEVUruruzodovar/ZEVUruruzodovar.voc,"
            "ZEVUruruzodovar)",
            "~cacheHandle", "~KXLMessageIterator()", "destroy()", "release()", "SDK.deinit()",
            "~KXPServer()"));
}

TEST(PluginLifecycle, EveryCallIsACompleteCycle)
{
    EXPECT_EQ(runPlugin(), 0);
    const auto first = test_host::calls();
    EXPECT_EQ(runPlugin(), 0);
    EXPECT_EQ(test_host::calls().size(), first.size());
    EXPECT_EQ(std::count(test_host::calls().begin(), test_host::calls().end(), "SDK.deinit()"), 1);
}

TEST(PluginLifecycle, FiniDoesNothingWhetherOrNotInitRan)
{
    test_host::reset();
    EXPECT_EQ(KXP::finiKXLPlugIn(), 0);
    EXPECT_TRUE(test_host::calls().empty());

    test_host::Script failing;
    failing.sdkInit = 2;
    runPlugin(failing);
    const size_t before = test_host::calls().size();
    EXPECT_EQ(KXP::finiKXLPlugIn(), 0);
    EXPECT_EQ(test_host::calls().size(), before);
}

} // namespace
