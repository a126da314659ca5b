// Several agents at once on one install tree: each must cache and print the vocabulary its
// own run saved, never one that another agent saved over it in the meantime.
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "install_copy.h"
#include "process_runner.h"

namespace KXL::test {
namespace {

TEST(AgentConcurrency, EachAgentPrintsTheVocabularyOfItsOwnCatalogue)
{
    constexpr int agents = 4;
    constexpr int rounds = 3;
    constexpr int entries = 2000; // a save and a load long enough to overlap another run
    const InstallCopy tree;
    std::vector<std::string> catalogues;
    std::vector<std::string> names; // each agent's guest OS names: agent<N>-os<number>
    for (int i = 0; i < agents; ++i) {
        names.push_back("agent" + std::to_string(i) + "-os");
        catalogues.push_back(
            tree.writeCatalogue("catalog" + std::to_string(i) + ".json", names.back(), entries));
    }

    for (int round = 0; round < rounds; ++round) {
        std::vector<std::unique_ptr<RunningProcess>> running;
        for (int i = 0; i < agents; ++i)
            running.push_back(std::make_unique<RunningProcess>(tree.agentCommand(
                {"run", "--catalog", catalogues[i], "--log", tree.path("agent.log")})));
        for (int i = 0; i < agents; ++i) {
            const ProcessResult result = running[i]->wait(std::chrono::minutes(2));
            SCOPED_TRACE("round " + std::to_string(round) + ", agent " + std::to_string(i));
            EXPECT_EQ(result.exitStatus, 0) << result.err;
            for (int other = 0; other < agents; ++other)
                EXPECT_EQ(occurrences(result.out, names[other]), other == i ? entries : 0)
                    << "guest OSes of agent " << other;
        }
    }
}

} // namespace
} // namespace KXL::test
