// An agent killed while it saves: the saved vocabulary is always the old or the new one,
// whole, and the next run leaves no temporary file behind.
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "install_copy.h"
#include "process_runner.h"

namespace KXL::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class AgentKill : public ::testing::Test {
protected:
    // The agent's run; with killAtRename, a shim kills it as it renames its saved file.
    ProcessResult run(const std::string& catalogue, bool killAtRename = false) const
    {
        std::vector<std::string> environment;
        if (killAtRename) {
            // A sanitizer runtime wants to come first; the shim is loaded before it.
            const char* asan = std::getenv("ASAN_OPTIONS");
            environment = {std::string("LD_PRELOAD=") + KXL_KILL_AT_RENAME_SHIM,
                           std::string("ASAN_OPTIONS=") + (asan ? asan : "") +
                               ":verify_asan_link_order=0"};
        }
        return RunningProcess(agentRun(catalogue), environment).wait(std::chrono::minutes(2));
    }

    std::vector<std::string> agentRun(const std::string& catalogue) const
    {
        return m_tree.agentCommand(
            {"run", "--catalog", catalogue, "--log", m_tree.path("agent.log")});
    }

    // The saved file as `show` prints it, without the stamp that differs in every save;
    // the error when the file cannot be read.
    std::string savedVocabulary() const
    {
        const ProcessResult shown = runProcess(m_tree.agentCommand({"show", m_tree.vocabularyFile()}));
        if (shown.exitStatus != 0)
            return "show failed: " + shown.err;
        std::string text;
        std::size_t start = 0;
        while (start < shown.out.size()) {
            const std::size_t end = shown.out.find('\n', start);
            const std::string line = shown.out.substr(start, end - start);
            if (line.find("$Id: ") == std::string::npos)
                text += line + '\n';
            start = end == std::string::npos ? shown.out.size() : end + 1;
        }
        return text;
    }

    // The names in the plug-in folder other than the plug-in and its vocabulary file.
    std::vector<std::string> strayFiles() const
    {
        std::vector<std::string> stray;
        for (const auto& entry : fs::directory_iterator(m_tree.pluginFolder())) {
            const std::string name = entry.path().filename().string();
            if (name != "ZEVUruruzodovar.so" && name != "ZEVUruruzodovar.voc")
                stray.push_back(name);
        }
        return stray;
    }

    InstallCopy m_tree;
};

TEST_F(AgentKill, KillAtTheRenameKeepsTheOldFileAndTheNextRunRemovesTheTemporary)
{
    const std::string oldCatalogue = m_tree.writeCatalogue("old.json", "old-os", 3);
    const std::string newCatalogue = m_tree.writeCatalogue("new.json", "new-os", 3);
    ASSERT_EQ(run(oldCatalogue).exitStatus, 0);
    const std::string oldVocabulary = savedVocabulary();
    ASSERT_THAT(oldVocabulary, ::testing::HasSubstr("old-os2"));

    const ProcessResult killed = run(newCatalogue, true);
    ASSERT_EQ(killed.signal, SIGKILL) << "the shim did not fire: " << killed.out << killed.err;
    EXPECT_EQ(savedVocabulary(), oldVocabulary);
    EXPECT_EQ(strayFiles().size(), 1u); // the complete temporary, named

    ASSERT_EQ(run(newCatalogue).exitStatus, 0);
    EXPECT_THAT(savedVocabulary(), ::testing::HasSubstr("new-os2"));
    EXPECT_THAT(strayFiles(), ::testing::IsEmpty());
}

TEST_F(AgentKill, KillsAtRandomMomentsOfLargeSavesLeaveAWholeVocabulary)
{
    constexpr int guests = KXL_KILL_TEST_GUESTS; // large enough for a save to take a while
    constexpr int kills = 4;
    const std::string prefixes[] = {"a-os", "b-os"};
    const std::string catalogues[] = {m_tree.writeCatalogue("a.json", prefixes[0], guests),
                                      m_tree.writeCatalogue("b.json", prefixes[1], guests)};
    const Clock::time_point start = Clock::now();
    ASSERT_EQ(run(catalogues[0]).exitStatus, 0);
    const auto runTime = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    std::string previous = test_files::readFile(m_tree.vocabularyFile());

    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<long long> moment(0, runTime.count());
    for (int i = 0; i < kills; ++i) {
        const int next = (i + 1) % 2;
        const std::chrono::microseconds delay(moment(random));
        SCOPED_TRACE("kill " + std::to_string(i) + " after " + std::to_string(delay.count()) + " us");
        RunningProcess agent(agentRun(catalogues[next]));
        std::this_thread::sleep_for(delay);
        agent.kill(SIGKILL);
        agent.wait(std::chrono::minutes(2));

        // Unchanged, or the new vocabulary as a whole: the reader accepts it and it holds
        // every guest OS of the new catalogue and none of the old.
        const std::string saved = test_files::readFile(m_tree.vocabularyFile());
        if (saved == previous)
            continue;
        const ProcessResult shown = runProcess(m_tree.agentCommand({"show", m_tree.vocabularyFile()}));
        ASSERT_EQ(shown.exitStatus, 0) << shown.err;
        EXPECT_EQ(occurrences(shown.out, prefixes[next]), static_cast<std::size_t>(guests));
        EXPECT_EQ(occurrences(shown.out, prefixes[1 - next]), 0u);
        previous = saved;
    }

    ASSERT_EQ(run(catalogues[0]).exitStatus, 0);
    EXPECT_THAT(strayFiles(), ::testing::IsEmpty());
}

} // namespace
} // namespace KXL::test
