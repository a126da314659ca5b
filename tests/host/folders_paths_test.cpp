#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "host/KXLInstanceFolders.h"

using KXL::KXLInstanceFolders;
using pathSimple = KXLInstanceFolders::pathSimple;

namespace {

std::string pluginsNow()
{
    return KXLInstanceFolders().plugins();
}

class FoldersTest : public ::testing::Test {
protected:
    void TearDown() override { KXLInstanceFolders::setPluginsFolder(""); }
};

TEST_F(FoldersTest, DefaultIsPluginsBesideTheHostLibraries)
{
    // The test links the staged libKXLCommon, so its default is the stage's plug-in folder.
    const std::filesystem::path expected =
        std::filesystem::path(KXL_STAGE_DIR) / KXL_HOST_LIBDIR / "plugins";
    EXPECT_EQ(std::filesystem::path(pluginsNow()), std::filesystem::weakly_canonical(expected));
}

TEST_F(FoldersTest, SetFolderIsUsedAndEmptyRestoresTheDefault)
{
    const std::string defaultFolder = pluginsNow();
    KXLInstanceFolders::setPluginsFolder("/srv/agent/plugins");
    EXPECT_EQ(pluginsNow(), "/srv/agent/plugins");
    EXPECT_EQ(std::string(KXLInstanceFolders().plugins().leaf("ZEVUruruzodovar")),
              "/srv/agent/plugins/ZEVUruruzodovar");
    KXLInstanceFolders::setPluginsFolder("");
    EXPECT_EQ(pluginsNow(), defaultFolder);
}

TEST_F(FoldersTest, LeafJoinsWithOneSeparator)
{
    EXPECT_EQ(std::string(pathSimple("/a/b").leaf("c")), "/a/b/c");
    EXPECT_EQ(std::string(pathSimple("/a/b/").leaf("c")), "/a/b/c");
    EXPECT_EQ(std::string(pathSimple("/").leaf("c")), "/c");
    EXPECT_EQ(std::string(pathSimple("/a").leaf("b").leaf("c.voc")), "/a/b/c.voc");
}

TEST_F(FoldersTest, LeafAcceptsOrdinaryNames)
{
    for (const std::string name : {"ZEVUruruzodovar.voc", "...", ".hidden", "a b", "x..y", "-"})
        EXPECT_EQ(std::string(pathSimple("/p").leaf(name)), "/p/" + name);
}

TEST_F(FoldersTest, LeafRejectsNamesThatLeaveTheFolder)
{
    const std::string bad[] = {"", ".", "..", "a/b", "/etc", "../x", "x/", std::string("a\0b", 3)};
    for (const auto& name : bad) {
        try {
            (void)pathSimple("/p").leaf(name);
            ADD_FAILURE() << "accepted '" << name << "'";
        } catch (const std::invalid_argument& error) {
            EXPECT_THAT(error.what(), ::testing::HasSubstr("/p"));
        }
    }
}

TEST_F(FoldersTest, LeafErrorShowsControlBytesEscaped)
{
    const std::pair<std::string, std::string> names[] = {{std::string("a\0b", 3), "a\\x00b"}, {"x/\x1b[2J", "x/\\x1b[2J"}};
    for (const auto& [name, shown] : names) {
        try {
            (void)pathSimple("/p").leaf(name);
            ADD_FAILURE() << "accepted '" << shown << "'";
        } catch (const std::invalid_argument& error) {
            EXPECT_EQ(std::string(error.what()), "'" + shown + "' is not a plain entry name inside '/p'");
        }
    }
}

TEST_F(FoldersTest, SettingWhileReadingIsSafe)
{
    const std::string defaultFolder = pluginsNow();
    // The writer goes on until the reader has read a while, so that the two overlap however
    // the threads are scheduled.
    constexpr std::size_t kReads = 1000;
    std::atomic<std::size_t> reads{0};
    std::atomic<bool> torn{false};
    std::thread writer([&] {
        for (int i = 0; i < 2000 || (reads < kReads && !torn); ++i)
            KXLInstanceFolders::setPluginsFolder(i % 2 ? "/first/plugins/folder/long enough to allocate"
                                                       : "/second/plugins/folder/long enough to allocate");
    });
    // Not ASSERT: returning with the writer still running would abort the whole binary.
    while (reads < kReads && !torn) {
        const std::string seen = pluginsNow();
        torn = seen != defaultFolder && seen != "/first/plugins/folder/long enough to allocate" &&
            seen != "/second/plugins/folder/long enough to allocate";
        EXPECT_FALSE(torn) << seen;
        ++reads;
    }
    writer.join();
}

} // namespace
