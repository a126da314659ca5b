// End to end: the built ZEVUruruzodovar.so in the built host-agent, from a private copy of
// the staged install tree, checked as a user would see it.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "host/KXLError.h"
#include "host/KXLMessageFile.h"
#include "process_runner.h"
#include "expected_vocabulary.h"
#include "test_files.h"
#include "test_tree.h"

namespace KXL::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using expected_vocabulary::guestEntry;

namespace fs = std::filesystem;

class PluginEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A private install tree: the plug-in writes into its own folder.
        for (const char* part : {"bin", "lib"})
            fs::copy(std::string(KXL_STAGE_DIR) + "/" + part, m_temp.path() + "/" + part,
                     fs::copy_options::recursive);
        fs::remove(vocabularyFile()); // left by an earlier run in the stage, if any
    }

    std::string path(const std::string& name) const { return m_temp.path() + "/" + name; }
    std::string pluginFolder() const
    {
        return path("lib/host-agent/plugins/ZEVUruruzodovar");
    }
    std::string vocabularyFile() const { return pluginFolder() + "/ZEVUruruzodovar.voc"; }

    ProcessResult runAgent(std::vector<std::string> args, bool unprivileged = false) const
    {
        args.insert(args.begin(), path("bin/host-agent"));
        if (unprivileged && geteuid() == 0) {
            // Root writes anywhere; as nobody the folder's permissions hold.
            for (const auto& entry : fs::recursive_directory_iterator(m_temp.path()))
                if (entry.is_directory() && entry.path() != pluginFolder())
                    fs::permissions(entry.path(), fs::perms::all);
            fs::permissions(m_temp.path(), fs::perms::all);
            // Root's run lock is root's alone; this user makes their own.
            fs::remove(path("lib/host-agent/plugins/.host-agent.lock"));
            args.insert(args.begin(), {"setpriv", "--reuid=65534", "--regid=65534",
                                       "--clear-groups", "--"});
        }
        return runProcess(args);
    }

private:
    test_files::TempFolder m_temp{"kxl-plugin-e2e"};
};

TEST_F(PluginEndToEnd, BuiltInCatalogueIsPublishedSavedAndCached)
{
    const ProcessResult result = runAgent({"run", "--log", path("agent.log")});
    EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
    EXPECT_THAT(result.out, HasSubstr("ZEVUruruzodovar: status 0\n"));
    EXPECT_THAT(result.out, HasSubstr("Vocabulary \"ZEVUruruzodovar\"\n"
                                      "  Version: $Id: ZEVUruruzodovar.voc "));
    EXPECT_THAT(result.out, HasSubstr("     3  VirtIO\n"));
    EXPECT_THAT(result.out, HasSubstr("ubuntu2204"));
    EXPECT_EQ(test_files::readFile(path("agent.log")), ""); // nothing is logged on success

    ASSERT_TRUE(fs::exists(vocabularyFile()));
    const ProcessResult lint =
        runProcess({"xmllint", "--noout", "--relaxng", KXL_VOC_SCHEMA, vocabularyFile()});
    EXPECT_EQ(lint.exitStatus, 0) << lint.err;

    // show prints the saved file as run printed the cache.
    const ProcessResult shown = runAgent({"show", vocabularyFile()});
    EXPECT_EQ(shown.exitStatus, 0) << shown.err;
    const size_t start = result.out.find("Vocabulary \"");
    const size_t end = result.out.find("\n\n1 plug-in");
    ASSERT_NE(start, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    const size_t afterTitle = result.out.find('\n', start);
    EXPECT_THAT(shown.out, HasSubstr(result.out.substr(afterTitle, end - afterTitle)));
}

TEST_F(PluginEndToEnd, SavedVocabularyHoldsEveryEntryOfAJsonCatalogue)
{
    test_files::writeFile(path("catalog.json"), R"({ "supported": [
                  { "code": 12, "property1": "win11", "property2": "Windows 11" },
                  { "code": 3, "property1": "ubuntu2204", "property2": "Ubuntu 22.04 LTS",
                    "property3": "linux" },
                  { "code": 4294967295, "property2": "No identifier" } ],
              "experimental": [
                  { "code": 3, "property1": "ubuntu2204", "property2": "Ubuntu 22.04 LTS" },
                  { "code": 2147483648, "property1": "big", "property2": "Big <&> \"code\"" } ] })");
    const ProcessResult result =
        runAgent({"run", "--catalog", path("catalog.json"), "--log", path("agent.log")});
    ASSERT_EQ(result.exitStatus, 0) << result.out << result.err;
    const ProcessResult lint =
        runProcess({"xmllint", "--noout", "--relaxng", KXL_VOC_SCHEMA, vocabularyFile()});
    EXPECT_EQ(lint.exitStatus, 0) << lint.err;

    KXL::KXLDocument document;
    ASSERT_EQ(KXL::loadDocument(vocabularyFile(), document), 0) << getErrorMessage();
    EXPECT_EQ(document.kind(), 0);
    const KXL::KXLNodeRef top = document.root().firstChild();
    ASSERT_TRUE(top);
    EXPECT_FALSE(top.nextSibling());
    ASSERT_EQ(top.tag(), 1307);
    const KXL::KXLNodeRef container = top.firstChild();
    ASSERT_TRUE(container);
    EXPECT_FALSE(container.nextSibling());
    ASSERT_EQ(container.tag(), 1044);
    ASSERT_TRUE(container.firstChild());

    // The stamp is fresh each time; everything else is fixed.
    const KXL::KXLNodeRef stampNode =
        container.firstChild().firstChild().nextSibling().nextSibling();
    ASSERT_TRUE(stampNode);
    const std::string stamp(stampNode.text());
    EXPECT_THAT(stamp, ::testing::MatchesRegex("\\$Id: ZEVUruruzodovar\\.voc "
                                               "[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-"
                                               "[0-9a-f]{12} \\$"));
    EXPECT_EQ(kxltest::render(container.children()),
              expected_vocabulary::versionEntry(stamp) +
                  expected_vocabulary::categoriesAndAdapters() +
                  guestEntry("3", "ubuntu2204", "Ubuntu 22.04 LTS", false) +
                  guestEntry("12", "win11", "Windows 11", false) +
                  guestEntry("-1", "", "No identifier", false) +
                  guestEntry("3", "ubuntu2204", "Ubuntu 22.04 LTS", true) +
                  guestEntry("-2147483648", "big", "Big <&> \"code\"", true));
    EXPECT_THAT(result.out, HasSubstr("4294967295"));
    EXPECT_THAT(result.out, HasSubstr("2147483648"));
}

TEST_F(PluginEndToEnd, UnwritableFolderReportsTheSaveFailureOnceWithItsStatus)
{
    fs::create_directory(path("logs"));
    fs::permissions(path("logs"), fs::perms::all);
    fs::permissions(pluginFolder(), fs::perms::owner_read | fs::perms::owner_exec |
                        fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec);
    const ProcessResult result = runAgent({"run", "--log", path("logs/agent.log")}, true);
    fs::permissions(pluginFolder(), fs::perms::owner_all, fs::perm_options::add);

    EXPECT_EQ(result.exitStatus, 1) << result.out << result.err;
    EXPECT_FALSE(fs::exists(vocabularyFile()));
    const std::string log = test_files::readFile(path("logs/agent.log"));
    const std::string report = "putVocabulary: Could not save vocabulary file: ";
    const size_t first = log.find(report);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find("Could not save vocabulary file", first + report.size()),
              std::string::npos)
        << log;
    EXPECT_THAT(log, HasSubstr(" 1 ZEVUruruzodovar plugins/ZEVUruruzodovar/ZEVUruruzodovar.cpp:"));
    EXPECT_THAT(log, HasSubstr(vocabularyFile()));
    EXPECT_THAT(log, Not(HasSubstr("initKXLPlugIn: "))); // the builder alone reports it
    // The plug-in's status is the save status, which the agent reports.
    EXPECT_THAT(result.out, ::testing::ContainsRegex("ZEVUruruzodovar: status [1-9-]"));
}

// The save fails first, then the cache cannot load what is no file: the save is the cause.
TEST_F(PluginEndToEnd, SaveReasonComesBeforeTheRefusedLoad)
{
    fs::create_directory(vocabularyFile());
    const ProcessResult result = runAgent({"run", "--log", path("agent.log")});
    EXPECT_EQ(result.exitStatus, 1) << result.out << result.err;
    const std::string line = "ZEVUruruzodovar: status -1 (cannot save \"" + vocabularyFile() +
        "\": cannot rename the temporary file over it: Is a directory); vocabulary "
        "\"ZEVUruruzodovar\" was not published: cannot load \"" + vocabularyFile() + "\": ";
    EXPECT_THAT(result.out, HasSubstr(line));
    EXPECT_THAT(result.out, HasSubstr("The vocabulary cache is empty"));
    EXPECT_THAT(test_files::readFile(path("agent.log")),
                HasSubstr("vocabulary \"ZEVUruruzodovar\" not published from " + vocabularyFile()));
}

// A failed save leaves the last run's file, which the plug-in still hands to the cache:
// shown, but marked as not published by this run.
TEST_F(PluginEndToEnd, VocabularyKeptFromBeforeIsMarked)
{
    ASSERT_EQ(runAgent({"run", "--log", "/dev/null"}).exitStatus, 0);
    fs::permissions(pluginFolder(), fs::perms::owner_write | fs::perms::group_write |
                        fs::perms::others_write, fs::perm_options::remove);
    const ProcessResult text = runAgent({"run", "--log", "/dev/null"}, true);
    const ProcessResult json = runAgent({"run", "--json", "--log", "/dev/null"}, true);
    fs::permissions(pluginFolder(), fs::perms::owner_all, fs::perm_options::add);

    EXPECT_EQ(text.exitStatus, 1) << text.out << text.err;
    EXPECT_THAT(text.out, HasSubstr("Vocabulary \"ZEVUruruzodovar\"\n"
                                    "  Kept from before: plug-in \"ZEVUruruzodovar\" failed, so this "
                                    "is not a publication of this run\n"
                                    "  Version: "));
    EXPECT_EQ(json.exitStatus, 1) << json.err;
    const nlohmann::json document = nlohmann::json::parse(json.out);
    EXPECT_EQ(document["plugins"][0]["published"], false);
    EXPECT_THAT(document["plugins"][0]["error"].get<std::string>(), HasSubstr("Permission denied"));
    ASSERT_EQ(document["vocabularies"].size(), 1u);
    EXPECT_EQ(document["vocabularies"][0]["stale"], true);
}

// A folder flush that fails after the rename leaves this run's vocabulary in the file: the
// run fails, since the file may not survive a crash, but the vocabulary is not "from before".
TEST_F(PluginEndToEnd, RenamedButNotDurableIsNotKeptFromBefore)
{
    ASSERT_EQ(runAgent({"run", "--log", "/dev/null"}).exitStatus, 0);
    const std::string before = test_files::readFile(vocabularyFile());
    const char* asan = std::getenv("ASAN_OPTIONS");
    const ProcessResult result =
        RunningProcess({path("bin/host-agent"), "run", "--log", "/dev/null"},
                       {std::string("LD_PRELOAD=") + KXL_FAIL_FOLDER_FSYNC_SHIM,
                        std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0"})
            .wait(std::chrono::minutes(2));

    EXPECT_EQ(result.exitStatus, 1) << result.out << result.err;
    const std::string saved = test_files::readFile(vocabularyFile());
    EXPECT_NE(saved, before);
    const std::size_t stamp = saved.find("$Id: ");
    ASSERT_NE(stamp, std::string::npos);
    EXPECT_THAT(result.out, HasSubstr("  Version: " + saved.substr(stamp, saved.find(" $", stamp) + 2 - stamp)));
    EXPECT_THAT(result.out, HasSubstr("Vocabulary \"ZEVUruruzodovar\"\n"
                                      "  Published but not made durable: plug-in \"ZEVUruruzodovar\" "
                                      "saved it, but its folder could not be flushed to disk: "
                                      "Input/output error\n"));
    EXPECT_THAT(result.out, Not(HasSubstr("Kept from before")));
}

// Two publications differ only where the catalogue did, whatever their stamps.
TEST_F(PluginEndToEnd, DiffOfTwoPublicationsShowsOnlyTheCatalogueChanges)
{
    const auto publish = [&](const std::string& catalogue, const std::string& copy) {
        test_files::writeFile(path("catalog.json"), catalogue);
        const ProcessResult run = runAgent({"run", "--catalog", path("catalog.json"), "--log", "/dev/null"});
        ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
        fs::copy_file(vocabularyFile(), path(copy));
    };
    publish(R"({ "supported": [ { "code": 3, "property1": "ubuntu2204", "property2": "Ubuntu" },
                                { "code": 4, "property1": "debian12", "property2": "Debian 12" } ],
                 "experimental": [ { "code": 3, "property1": "ubuntu2204", "property2": "Ubuntu" } ] })",
            "a.voc");
    publish(R"({ "supported": [ { "code": 4, "property1": "debian12", "property2": "Debian 12" } ],
                 "experimental": [ { "code": 3, "property1": "ubuntu2204", "property2": "Ubuntu" } ] })",
            "b.voc");
    ASSERT_EQ(runAgent({"run", "--catalog", path("catalog.json"), "--log", "/dev/null"}).exitStatus, 0);

    const ProcessResult changed = runAgent({"diff", path("a.voc"), path("b.voc")});
    EXPECT_EQ(changed.exitStatus, 1) << changed.err;
    EXPECT_EQ(changed.out, "guest_os 3 supported removed \"ubuntu2204\"\n");
    const ProcessResult same = runAgent({"diff", path("b.voc"), vocabularyFile()});
    EXPECT_EQ(same.exitStatus, 0) << same.out << same.err;
    EXPECT_NE(test_files::readFile(path("b.voc")), test_files::readFile(vocabularyFile())); // new stamp
    const ProcessResult checked = runAgent({"check", vocabularyFile()});
    EXPECT_EQ(checked.exitStatus, 0) << checked.out;
}

} // namespace
} // namespace KXL::test
