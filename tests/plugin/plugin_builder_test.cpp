// The vocabulary builder: OS maps, saving, the cache, and what a broken host gets.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "expected_vocabulary.h"
#include "plugin_run.h"

using ::testing::IsEmpty;

namespace {

const char kBuilderSignature[] = "int KXP::{anonymous}::putVocabulary(KXP::KXPServer&)";
const std::string kLoadCall =
    "loadVocabularyFromFile(" + std::string(kSavedPath) + ",ZEVUruruzodovar)";
const std::string kSaveCall = "saveToFile(" + std::string(kSavedPath) + ")";

TEST(PluginBuilder, NegativeOsMapStatusIsReportedAndNothingIsWritten)
{
    test_host::Script script;
    script.getOSMaps = -2;
    script.errorText = "catalogue unavailable";
    EXPECT_EQ(runPlugin(script), -2);

    ASSERT_EQ(test_host::logRecords().size(), 1u);
    const test_host::LogRecord& record = test_host::logRecords()[0];
    EXPECT_EQ(record.message, "Could not get OS maps: catalogue unavailable");
    EXPECT_EQ(record.format, "Could not get OS maps: %s");
    EXPECT_EQ(record.function, "putVocabulary");
    EXPECT_EQ(record.prettyFunction, kBuilderSignature);
    EXPECT_EQ(record.level, 1);
    EXPECT_LT(indexOf("getErrorMessage()"), indexOf("Log2(putVocabulary)"));
    EXPECT_FALSE(wasCalled("createNew()"));
    EXPECT_FALSE(wasCalled(kSaveCall));
    EXPECT_FALSE(wasCalled(kLoadCall));
    EXPECT_TRUE(wasCalled("release()"));
    EXPECT_THAT(unreleased(), IsEmpty());
}

TEST(PluginBuilder, ZeroOrPositiveOsMapStatusIsSuccess)
{
    for (int status : {1, 3}) {
        test_host::Script script;
        script.getOSMaps = status;
        script.supported[3].property1 = "ubuntu2204";
        EXPECT_EQ(runPlugin(script), 0) << status;
        EXPECT_TRUE(wasCalled(kSaveCall)) << status;
        EXPECT_TRUE(wasCalled("putValue(3,0)")) << status;
        EXPECT_TRUE(test_host::logRecords().empty()) << status;
    }
}

TEST(PluginBuilder, FailedSaveIsReportedAndTheCacheIsStillAskedWithTheSamePath)
{
    test_host::Script script;
    script.save = 7;
    script.errorText = "disk full";
    EXPECT_EQ(runPlugin(script), 7);

    ASSERT_EQ(test_host::logRecords().size(), 1u);
    EXPECT_EQ(test_host::logRecords()[0].message, "Could not save vocabulary file: disk full");
    EXPECT_EQ(test_host::logRecords()[0].prettyFunction, kBuilderSignature);
    EXPECT_LT(indexOf(kSaveCall), indexOf(kLoadCall));
    EXPECT_THAT(unreleased(), IsEmpty());
}

TEST(PluginBuilder, PathIsThePluginFolderThenItsOwnFolderThenTheFile)
{
    test_host::Script script;
    script.pluginsFolder = "/opt/host/lib/host-agent/plugins";
    EXPECT_EQ(runPlugin(script), 0);
    const std::string path = "/opt/host/lib/host-agent/plugins/ZEVUruruzodovar/ZEVUruruzodovar.voc";
    EXPECT_TRUE(wasCalled("saveToFile(" + path + ")"));
    EXPECT_TRUE(wasCalled("loadVocabularyFromFile(" + path + ",ZEVUruruzodovar)"));
    EXPECT_LT(indexOf("leaf(ZEVUruruzodovar)"), indexOf("leaf(ZEVUruruzodovar.voc)"));
}

TEST(PluginBuilder, EmptyMapsGiveVersionCategoriesAndAdaptersOnly)
{
    EXPECT_EQ(runPlugin(fixedGuid()), 0);
    EXPECT_EQ(test_host::tree({1307, 1044}), expected_vocabulary::versionEntry(kFixedStamp) +
                                                 expected_vocabulary::categoriesAndAdapters());
    EXPECT_TRUE(wasCalled(kLoadCall));
}

TEST(PluginBuilder, HostThatGivesNoMessageOrIteratorIsReportedNotDereferenced)
{
    test_host::Script noMessage;
    noMessage.nullMessage = true;
    EXPECT_EQ(runPlugin(noMessage), -1);
    ASSERT_EQ(test_host::logRecords().size(), 1u);
    EXPECT_EQ(test_host::logRecords()[0].message, "Could not create the vocabulary message");
    EXPECT_FALSE(wasCalled("prepare(0)"));
    EXPECT_FALSE(wasCalled(kLoadCall));

    test_host::Script noIterator;
    noIterator.nullIterator = true;
    EXPECT_EQ(runPlugin(noIterator), -1);
    ASSERT_EQ(test_host::logRecords().size(), 1u);
    EXPECT_EQ(test_host::logRecords()[0].message, "Could not create the vocabulary message");
    EXPECT_FALSE(wasCalled(kLoadCall));
    EXPECT_THAT(unreleased(), IsEmpty());
}

TEST(PluginBuilder, EmptyCacheHandleIsReportedAndAFailure)
{
    test_host::Script script;
    script.nullCache = true;
    EXPECT_EQ(runPlugin(script), -1);
    ASSERT_EQ(test_host::logRecords().size(), 1u);
    EXPECT_EQ(test_host::logRecords()[0].message, "Could not reach the vocabulary cache");
    EXPECT_THAT(unreleased(), IsEmpty());

    // A failed save keeps its own status.
    script.save = 6;
    EXPECT_EQ(runPlugin(script), 6);
    EXPECT_EQ(test_host::logRecords().size(), 2u);
}

} // namespace
