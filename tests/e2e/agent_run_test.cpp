#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "agent_fixture.h"

namespace KXL::test {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

namespace fs = std::filesystem;

using AgentRun = AgentTest;

TEST_F(AgentRun, PublishesSavesAndPrintsTheVocabulary)
{
    addPlugin("TestVocabulary");
    const std::string log = tempPath("agent.log");
    const ProcessResult result = runAgent({"run", "--plugins", pluginsFolder(), "--log", log, "-o",
        "code,identifier,display_name,experimental,min_hdd_size,max_hdd_size"});

    EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
    EXPECT_THAT(result.err, IsEmpty());
    EXPECT_THAT(result.out, HasSubstr("TestVocabulary: status 0\n"));
    EXPECT_THAT(result.out, HasSubstr("\nVocabulary \"TestVocabulary\"\n"
                                      "  Version: $Id: TestVocabulary.voc 7e57ab1e-0000-4000-8000-000000000001 $"
                                      " (Vocabulary version)\n"));
    EXPECT_THAT(result.out, HasSubstr("  Categories (3)\n"
                                      "    name\n"
                                      "    ------------------------\n"
                                      "    kxp_network_adapter_type\n"
                                      "    guest_os_type\n"
                                      "    experimental\n"));
    EXPECT_THAT(result.out, HasSubstr("  Network adapters (1)\n"
                                      "    id  name\n"
                                      "    --  ------\n"
                                      "     3  VirtIO\n"));
    EXPECT_THAT(result.out, HasSubstr("    4294967294  testos      Test OS       yes"
                                      "                    100      16777216\n"));
    // The escape sequence in the note entry is shown, not obeyed.
    EXPECT_THAT(result.out, HasSubstr("  Other entries (1)\n"
                                      "    element 1017\n"
                                      "      element 1010 = \"note\"\n"
                                      "      element 1303 = \"\\x1b[31mred\\x1b[0m\"\n"));
    EXPECT_EQ(result.out.find('\x1b'), std::string::npos);
    EXPECT_THAT(result.out, HasSubstr("\n1 plug-in, 0 failed\n"));

    ASSERT_TRUE(fileExists(vocabularyFile()));
    const ProcessResult lint = runProcess({"xmllint", "--noout", vocabularyFile()});
    EXPECT_EQ(lint.exitStatus, 0) << lint.err;
    EXPECT_THAT(readFile(log), Not(HasSubstr("TestVocabulary")));
}

TEST_F(AgentRun, EachFailureIsReportedAndTheOthersStillRun)
{
    for (const char* name :
         {"TestVocabulary", "StatusFailure", "MissingFini", "NotAnObject", "Throwing"})
        addPlugin(name);
    // The same failing plug-in in a folder whose name must be escaped.
    const std::string oddName = "f\x01" "ail";
    fs::create_directories(pluginsFolder() + "/" + oddName);
    fs::copy_file(pluginsFolder() + "/StatusFailure/StatusFailure.so",
                  pluginsFolder() + "/" + oddName + "/" + oddName + ".so");
    const std::string log = tempPath("agent.log");
    const ProcessResult result = runAgent({"--plugins", pluginsFolder(), "--log", log});

    EXPECT_EQ(result.exitStatus, 1) << result.out << result.err;
    const std::string& out = result.out;
    const std::string missingFini =
        "MissingFini: not loaded: " + pluginsFolder() +
        "/MissingFini/MissingFini.so: undefined symbol: finiKXLPlugIn\n";
    const std::string notAnObject = "NotAnObject: not loaded: " + pluginsFolder() +
        "/NotAnObject/NotAnObject.so: ";
    const std::string statusFailure = "StatusFailure: status 7 (failing on purpose)\n";
    const std::string good = "TestVocabulary: status 0\n";
    const std::string throwing = "Throwing: initKXLPlugIn threw: thrown on purpose\n";
    const std::string oddFailure = "f\\x01ail: status 7 (failing on purpose)\n";

    // One line each, in the order of the plug-ins' names.
    ASSERT_THAT(out, HasSubstr(missingFini));
    ASSERT_THAT(out, HasSubstr(notAnObject));
    ASSERT_THAT(out, HasSubstr(statusFailure));
    ASSERT_THAT(out, HasSubstr(good));
    ASSERT_THAT(out, HasSubstr(throwing));
    ASSERT_THAT(out, HasSubstr(oddFailure));
    EXPECT_LT(out.find(missingFini), out.find(notAnObject));
    EXPECT_LT(out.find(notAnObject), out.find(statusFailure));
    EXPECT_LT(out.find(statusFailure), out.find(good));
    EXPECT_LT(out.find(good), out.find(throwing));

    EXPECT_THAT(out, HasSubstr("\nVocabulary \"TestVocabulary\"\n"));
    EXPECT_TRUE(fileExists(vocabularyFile()));
    EXPECT_THAT(out, HasSubstr("\n6 plug-ins, 5 failed\n"));

    // A plug-in without both entry points is never initialised; a failed one is still
    // finalised.
    EXPECT_FALSE(fileExists(pluginsFolder() + "/MissingFini/init-called"));
    EXPECT_TRUE(fileExists(pluginsFolder() + "/StatusFailure/fini-called"));

    const std::string logText = readFile(log);
    EXPECT_THAT(logText, HasSubstr("StatusFailure: status 7 (failing on purpose)"));
    EXPECT_THAT(logText, HasSubstr("Throwing: initKXLPlugIn threw: thrown on purpose"));
    // Escaped once, as on the screen.
    EXPECT_THAT(logText, HasSubstr(": " + oddFailure));
}

// A plug-in runs inside the agent, so one that crashes ends the run; the administrator still
// learns which one it was.
TEST_F(AgentRun, APlugInThatCrashesTheAgentIsNamed)
{
    addPlugin("Crashing");
    addPlugin("TestVocabulary");
    const ProcessResult result = runProcess({"/bin/sh", "-c", "ulimit -c 0; exec \"$0\" run --plugins \"$1\"",
                                             agentExecutable(), pluginsFolder()});
    EXPECT_EQ(result.signal, SIGILL) << result.out << result.err;
    EXPECT_THAT(result.err, HasSubstr("host-agent: fatal signal SIGILL while plug-in \"Crashing\" ran\n"));
    EXPECT_THAT(result.out, Not(HasSubstr("TestVocabulary")));
}

// A later plug-in whose save of the same vocabulary fails leaves the file as the earlier one
// published it in this run: still this run's publication, not one kept from before.
TEST_F(AgentRun, AFailedSaveLeavesAnEarlierPublicationOfTheRun)
{
    addPlugin("TestVocabulary");
    addPlugin("VocabularyNotSaved");
    const ProcessResult result = runAgent({"run", "--json", "--plugins", pluginsFolder(), "--log", "/dev/null"});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    const nlohmann::json document = nlohmann::json::parse(result.out);
    ASSERT_EQ(document["plugins"].size(), 2u);
    EXPECT_EQ(document["plugins"][0]["published"], true);
    EXPECT_THAT(document["plugins"][1]["error"].get<std::string>(), HasSubstr("File too large"));
    ASSERT_EQ(document["vocabularies"].size(), 1u);
    EXPECT_EQ(document["vocabularies"][0]["name"], "TestVocabulary");
    EXPECT_EQ(document["vocabularies"][0]["stale"], false);
}

// A plug-in whose fini fails has failed, and what it handed to the cache is no publication
// of its, though the cache keeps it.
TEST_F(AgentRun, AFailedFiniUndoesThePublication)
{
    addPlugin("FiniFailure");
    const ProcessResult result = runAgent({"run", "--json", "--plugins", pluginsFolder(), "--log", "/dev/null"});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    const nlohmann::json document = nlohmann::json::parse(result.out);
    ASSERT_EQ(document["plugins"].size(), 1u);
    EXPECT_EQ(document["plugins"][0]["status"], 0);
    EXPECT_EQ(document["plugins"][0]["failed"], true);
    EXPECT_EQ(document["plugins"][0]["published"], false);
    EXPECT_THAT(document["plugins"][0]["error"].get<std::string>(), HasSubstr("finiKXLPlugIn status 5"));
    ASSERT_EQ(document["vocabularies"].size(), 1u);
    EXPECT_EQ(document["vocabularies"][0]["name"], "FiniFailure");
}

// Status 0 is not enough: what the plug-in handed to the cache must be a vocabulary.
TEST_F(AgentRun, ZeroStatusWithoutAVocabularyIsAFailedPublication)
{
    addPlugin("NotAVocabulary");
    const std::string log = tempPath("agent.log");
    const ProcessResult result = runAgent({"--plugins", pluginsFolder(), "--log", log});

    EXPECT_EQ(result.exitStatus, 1) << result.out << result.err;
    const std::string file = pluginsFolder() + "/NotAVocabulary/NotAVocabulary.voc";
    EXPECT_THAT(result.out, HasSubstr("NotAVocabulary: status 0, but vocabulary \"NotAVocabulary\" was "
                                      "not published: \"" + file + "\" is not a vocabulary: element 1307: "
                                      "expected exactly one child, element 1044\n"));
    EXPECT_THAT(result.out, HasSubstr("\nThe vocabulary cache is empty\n"));
    EXPECT_THAT(result.out, HasSubstr("\n1 plug-in, 1 failed\n"));
    // The cache says so itself, with the path.
    EXPECT_THAT(readFile(log), HasSubstr("loadVocabularyFromFile: vocabulary \"NotAVocabulary\" not "
                                         "published from " + file + ": "));
}

// One document on standard output, even from plug-ins that fail, with every status.
TEST_F(AgentRun, JsonHoldsEveryPlugInAndVocabulary)
{
    for (const char* name : {"TestVocabulary", "StatusFailure", "NotAVocabulary"})
        addPlugin(name);
    const ProcessResult result = runAgent({"run", "--json", "--plugins", pluginsFolder(), "--log", "/dev/null"});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    const nlohmann::json document = nlohmann::json::parse(result.out);
    EXPECT_EQ(document["format"], 1);
    EXPECT_EQ(document["failed"], 2);
    ASSERT_EQ(document["plugins"].size(), 3u);
    const nlohmann::json& notVocabulary = document["plugins"][0];
    EXPECT_EQ(notVocabulary["name"], "NotAVocabulary");
    EXPECT_EQ(notVocabulary["status"], 0);
    EXPECT_EQ(notVocabulary["failed"], true);
    EXPECT_EQ(notVocabulary["published"], false);
    EXPECT_THAT(notVocabulary["error"].get<std::string>(), HasSubstr("was not published"));
    EXPECT_EQ(document["plugins"][1], nlohmann::json::parse(
        R"json({"name":"StatusFailure","status":7,"failed":true,"published":false,
                "error":"status 7 (failing on purpose)"})json"));
    EXPECT_EQ(document["plugins"][2], nlohmann::json::parse(
        R"({"name":"TestVocabulary","status":0,"failed":false,"published":true,"error":null})"));

    ASSERT_EQ(document["vocabularies"].size(), 1u);
    const nlohmann::json& vocabulary = document["vocabularies"][0];
    EXPECT_EQ(vocabulary["name"], "TestVocabulary");
    EXPECT_EQ(vocabulary["stale"], false);
    EXPECT_EQ(vocabulary["version"]["stamp"], "$Id: TestVocabulary.voc 7e57ab1e-0000-4000-8000-000000000001 $");
    EXPECT_EQ(vocabulary["categories"],
              nlohmann::json::parse(R"(["kxp_network_adapter_type","guest_os_type","experimental"])"));
    EXPECT_EQ(vocabulary["adapters"], nlohmann::json::parse(R"([{"id":3,"name":"VirtIO"}])"));
    EXPECT_EQ(vocabulary["other_entries"], 1);
    // Every entry, with its children and values, as the text output shows it.
    EXPECT_EQ(vocabulary["other"], nlohmann::json::parse(
        R"([{"tag":1017,"value":null,"children":[{"tag":1010,"value":"note","children":[]},
                                                 {"tag":1303,"value":"\u001b[31mred\u001b[0m","children":[]}]}])"));
    EXPECT_EQ(vocabulary["guest_os"], nlohmann::json::parse(
        R"([{"code":4294967294,"identifier":"testos","display_name":"Test OS","experimental":true,
             "min_hdd_size":100,"max_hdd_size":16777216,"recommended_hdd_size":65536,
             "hdd_interface":1,"adapter_type":3,"boot_efi":0}])"));
}

TEST_F(AgentRun, EntriesThatAreNoPlugInsAreSkipped)
{
    addPlugin("TestVocabulary");
    fs::create_directories(pluginsFolder() + "/NoLibrary");
    fs::create_directories(pluginsFolder() + "/Renamed");
    fs::copy_file(pluginsFolder() + "/TestVocabulary/TestVocabulary.so",
                  pluginsFolder() + "/Renamed/Other.so");
    writeFile(pluginsFolder() + "/Loose.so", "not in a folder of its own");

    const ProcessResult result = runAgent({"--plugins", pluginsFolder()});
    EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
    EXPECT_THAT(result.out, HasSubstr("\n1 plug-in, 0 failed\n"));
    EXPECT_THAT(result.out, Not(HasSubstr("NoLibrary")));
    EXPECT_THAT(result.out, Not(HasSubstr("Renamed")));
    EXPECT_THAT(result.out, Not(HasSubstr("Loose")));
}

// A library that is there but out of reach, as a link left behind by a removed package, is
// a plug-in that failed, not one to pass over.
TEST_F(AgentRun, APlugInOutOfReachIsNotLoaded)
{
    addPlugin("TestVocabulary");
    fs::create_directories(pluginsFolder() + "/Gone");
    fs::create_symlink(tempPath("removed.so"), pluginsFolder() + "/Gone/Gone.so");

    const ProcessResult result = runAgent({"--plugins", pluginsFolder()});
    EXPECT_EQ(result.exitStatus, 1) << result.out << result.err;
    EXPECT_THAT(result.out, HasSubstr("Gone: not loaded: " + pluginsFolder() +
                                      "/Gone/Gone.so: cannot open shared object file: No such file or directory\n"));
    EXPECT_THAT(result.out, HasSubstr("\n2 plug-ins, 1 failed\n"));
}

// A standard descriptor the agent was started without is not handed to the run lock or the
// log: what would have gone to it is lost, and said to be where it can be, not written into
// those files.
TEST_F(AgentRun, ClosedStandardDescriptorsTakeNoFile)
{
    addPlugin("StatusFailure");
    addPlugin("TestVocabulary");
    const auto runWith = [&](const std::string& redirection) {
        return runProcess({"/bin/sh", "-c", "exec \"$0\" run --plugins \"$1\" " + redirection,
                           agentExecutable(), pluginsFolder()});
    };
    const ProcessResult noOutput = runWith(">&-");
    EXPECT_EQ(noOutput.exitStatus, 2);
    EXPECT_THAT(noOutput.err, HasSubstr("host-agent: cannot write to standard output: Bad file descriptor\n"));
    const ProcessResult noErrors = runWith("2>&-");
    EXPECT_EQ(noErrors.exitStatus, 1);
    EXPECT_THAT(noErrors.out, HasSubstr("\n2 plug-ins, 1 failed\n"));
    EXPECT_EQ(fs::file_size(pluginsFolder() + "/.host-agent.lock"), 0u);
}

TEST_F(AgentRun, FolderWithoutPlugInsIsAnError)
{
    fs::create_directories(pluginsFolder() + "/NoLibrary");
    const ProcessResult result = runAgent({"--plugins", pluginsFolder()});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_THAT(result.err, HasSubstr("no plug-ins in \"" + pluginsFolder() + "\""));
    EXPECT_THAT(result.out, IsEmpty());
}

TEST_F(AgentRun, MissingOrWrongPlugInFolderIsAnError)
{
    const ProcessResult missing = runAgent({"--plugins", tempPath("nowhere")});
    EXPECT_EQ(missing.exitStatus, 2);
    EXPECT_THAT(missing.err, HasSubstr("\"" + tempPath("nowhere") + "\" does not exist"));

    writeFile(tempPath("file"), "");
    const ProcessResult notFolder = runAgent({"--plugins", tempPath("file")});
    EXPECT_EQ(notFolder.exitStatus, 2);
    EXPECT_THAT(notFolder.err, HasSubstr("\"" + tempPath("file") + "\" is not a folder"));
}

// Whoever may only read the plug-in folder cannot hold the agent up: the run lock is a
// file that only the agent's own user can open.
TEST_F(AgentRun, AReaderOfThePlugInFolderCannotHoldTheRunLock)
{
    addPlugin("TestVocabulary");
    const int reader = ::open(pluginsFolder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    ASSERT_EQ(::flock(reader, LOCK_EX | LOCK_NB), 0);
    const ProcessResult result = runAgent({"--plugins", pluginsFolder()});
    ::close(reader);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_THAT(result.err, IsEmpty());

    struct stat lock {};
    ASSERT_EQ(::stat((pluginsFolder() + "/.host-agent.lock").c_str(), &lock), 0);
    EXPECT_EQ(lock.st_mode & 077, 0u) << "others may open the lock file, and so hold it";
}

TEST_F(AgentRun, UnusableCatalogueStopsTheAgentBeforeAnyPlugIn)
{
    addPlugin("TestVocabulary");
    writeFile(tempPath("broken.json"), "{ \"supported\": [ { \"code\": ");
    // JSON has no NUL: what follows one is not ignored.
    writeFile(tempPath("nul.json"), std::string(R"({"supported": [], "experimental": []})") + '\0' + "garbage");
    // A FIFO without a writer: opening it for reading must not wait for one.
    ASSERT_EQ(::mkfifo(tempPath("fifo.json").c_str(), 0600), 0);

    for (const std::string& catalog :
         {tempPath("broken.json"), tempPath("nul.json"), tempPath("missing.json"), tempPath("fifo.json")}) {
        const ProcessResult result = runAgent({"--plugins", pluginsFolder(), "--catalog", catalog});
        EXPECT_FALSE(result.timedOut) << catalog;
        EXPECT_EQ(result.exitStatus, 2) << catalog;
        EXPECT_THAT(result.err, HasSubstr("unusable catalogue"));
        EXPECT_THAT(result.err, HasSubstr(catalog));
        EXPECT_THAT(result.out, IsEmpty());
        EXPECT_FALSE(fileExists(vocabularyFile()));
    }
}

// Every plug-in of a run is served the catalogue the agent read before the first one ran,
// even when the file goes away meanwhile.
TEST_F(AgentRun, EveryPlugInIsServedTheCatalogueReadAtTheStart)
{
    addPlugin("CatalogueReader");
    // The same plug-in again, under a name that runs after it.
    fs::create_directories(pluginsFolder() + "/CatalogueReaderToo");
    fs::copy_file(pluginsFolder() + "/CatalogueReader/CatalogueReader.so",
                  pluginsFolder() + "/CatalogueReaderToo/CatalogueReaderToo.so");
    const std::string catalogue = tempPath("catalog.json");
    writeFile(catalogue, R"({ "supported": [ { "code": 3, "property1": "a", "property2": "A" } ],
                              "experimental": [] })");
    const ProcessResult result = RunningProcess(
        {agentExecutable(), "run", "--plugins", pluginsFolder(), "--catalog", catalogue, "--log", "/dev/null"},
        {"KXL_TEST_REMOVE_CATALOGUE=" + catalogue}).wait(std::chrono::minutes(2));
    EXPECT_FALSE(fileExists(catalogue)) << "the first plug-in did not run";
    EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
    EXPECT_THAT(result.out, HasSubstr("\n2 plug-ins, 0 failed\n"));
}

// What plug-ins print goes to standard output with the report, or under --json to standard
// error, where a failure to write it is no failure of the document.
TEST_F(AgentRun, UnderJsonPlugInsPrintToStandardError)
{
    addPlugin("Chatty");
    const std::string printed =
        "Chatty: through std::cout\nChatty: through printf\nChatty: through std::cout again\n";
    const ProcessResult text = runAgent({"run", "--plugins", pluginsFolder(), "--log", "/dev/null"});
    EXPECT_EQ(text.exitStatus, 0) << text.err;
    EXPECT_THAT(text.out, HasSubstr(printed));

    const ProcessResult json = runAgent({"run", "--json", "--plugins", pluginsFolder(), "--log", "/dev/null"});
    EXPECT_EQ(json.exitStatus, 0) << json.err;
    EXPECT_THAT(json.err, HasSubstr(printed));
    EXPECT_EQ(nlohmann::json::parse(json.out)["plugins"][0]["status"], 0);

    const ProcessResult lost = runProcess(
        {"/bin/sh", "-c", "exec \"$0\" run --json --plugins \"$1\" --log /dev/null 2>/dev/full",
         agentExecutable(), pluginsFolder()});
    EXPECT_EQ(lost.exitStatus, 0) << lost.out;
    EXPECT_EQ(nlohmann::json::parse(lost.out)["plugins"][0]["status"], 0);
}

// A program a plug-in starts gets nothing of the agent's: no descriptor, no ignored signal.
TEST_F(AgentRun, ProgramsAPlugInStartsInheritNothingOfTheAgent)
{
    addPlugin("ChildInheritance");
    for (const char* mode : {"--columns=code", "--json"}) {
        const ProcessResult result =
            runAgent({"run", mode, "--plugins", pluginsFolder(), "--log", tempPath("agent.log")});
        EXPECT_EQ(result.exitStatus, 0) << mode << '\n' << result.out << result.err;
    }
}

TEST_F(AgentRun, UnwritableLogIsAnError)
{
    addPlugin("TestVocabulary");
    const std::string log = tempPath("no-such-folder/agent.log");
    const ProcessResult result = runAgent({"--plugins", pluginsFolder(), "--log", log});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_THAT(result.err, HasSubstr("cannot open the log file"));
    EXPECT_FALSE(fileExists(vocabularyFile()));
}

// A log may be a stream, but a FIFO that nobody reads would block the agent's first record.
TEST_F(AgentRun, LogFifoNeedsAReader)
{
    addPlugin("StatusFailure");
    const std::string fifo = tempPath("log.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    const ProcessResult unread = runAgent({"--plugins", pluginsFolder(), "--log", fifo});
    EXPECT_FALSE(unread.timedOut);
    EXPECT_EQ(unread.exitStatus, 2);
    EXPECT_THAT(unread.err, HasSubstr("cannot open the log file"));
    EXPECT_THAT(unread.err, HasSubstr("no process is reading"));
    EXPECT_FALSE(fileExists(pluginsFolder() + "/StatusFailure/fini-called")); // nothing ran

    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const ProcessResult read = runAgent({"--plugins", pluginsFolder(), "--log", fifo});
    char records[4096] = {};
    const ssize_t got = ::read(reader, records, sizeof records - 1);
    ::close(reader);
    EXPECT_EQ(read.exitStatus, 1) << read.out << read.err;
    ASSERT_GT(got, 0);
    EXPECT_THAT(records, HasSubstr("StatusFailure: status 7 (failing on purpose)"));

    const ProcessResult null = runAgent({"--plugins", pluginsFolder(), "--log", "/dev/null"});
    EXPECT_EQ(null.exitStatus, 1) << null.err;
    EXPECT_THAT(null.err, IsEmpty());
}

// Whether a process other than this one holds `path` open.
bool openElsewhere(const std::string& path)
{
    const std::string self = std::to_string(::getpid());
    std::error_code error;
    for (const auto& process : fs::directory_iterator("/proc", error)) {
        const std::string pid = process.path().filename().string();
        if (pid == self || pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", error))
            if (fs::read_symlink(fd.path(), error) == path)
                return true;
    }
    return false;
}

// A log reader that goes away costs the log, not the run: every plug-in still runs and is
// finalised, and the loss is said once.
TEST_F(AgentRun, LogReaderThatGoesAwayLosesTheLogNotTheRun)
{
    addPlugin("StatusFailure");
    addPlugin("TestVocabulary");
    const std::string fifo = tempPath("log.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A reader that takes nothing, over a full pipe: the agent's first record waits until
    // the reader is gone, whenever the agent gets to it.
    // Not inherited: the agent must not be a reader of its own log.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    const int filler = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(filler, 0);
    ASSERT_GT(::fcntl(reader, F_SETPIPE_SZ, 4096), 0);
    const std::string block(4096, 'x');
    while (::write(filler, block.data(), block.size()) > 0) {
    }
    ::close(filler);

    RunningProcess agent({agentExecutable(), "--plugins", pluginsFolder(), "--log", fifo});
    for (int wait = 0; wait < 6000 && !openElsewhere(fifo); ++wait)
        ::usleep(10000);
    ::close(reader);
    const ProcessResult result = agent.wait(std::chrono::minutes(1));

    EXPECT_EQ(result.exitStatus, 1) << result.signal << '\n' << result.out << result.err;
    EXPECT_THAT(result.out, HasSubstr("2 plug-ins, 1 failed\n"));
    EXPECT_THAT(result.out, HasSubstr("Vocabulary \"TestVocabulary\"\n"));
    EXPECT_TRUE(fileExists(pluginsFolder() + "/StatusFailure/fini-called"));
    EXPECT_EQ(result.err, "host-agent: the log \"" + fifo + "\" was lost from here on: Broken pipe\n");
}

} // namespace
} // namespace KXL::test
