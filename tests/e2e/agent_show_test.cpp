#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "agent_fixture.h"

namespace KXL::test {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

using AgentShow = AgentTest;

// The printed vocabulary after its title line, up to the blank line that ends it.
std::string vocabularyBody(const std::string& out, const std::string& title)
{
    const std::size_t start = out.find(title);
    if (start == std::string::npos)
        return {};
    const std::size_t body = start + title.size();
    const std::size_t end = out.find("\n\n", out.find("Other entries", body));
    return out.substr(body, end == std::string::npos ? std::string::npos : end + 1 - body);
}

TEST_F(AgentShow, SavedFilePrintsAsTheCacheDid)
{
    addPlugin("TestVocabulary");
    const ProcessResult run = runAgent({"--plugins", pluginsFolder()});
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;

    const ProcessResult show = runAgent({"show", vocabularyFile()});
    EXPECT_EQ(show.exitStatus, 0) << show.err;
    EXPECT_THAT(show.err, IsEmpty());
    const std::string shown = vocabularyBody(show.out, "Vocabulary \"" + vocabularyFile() + "\"\n");
    ASSERT_THAT(shown, HasSubstr("Version: $Id: TestVocabulary.voc test $"));
    EXPECT_EQ(shown, vocabularyBody(run.out, "Vocabulary \"TestVocabulary\"\n"));
}

TEST_F(AgentShow, MalformedOrMissingFileIsAnError)
{
    const std::string truncated = tempPath("truncated.voc");
    writeFile(truncated, "<?xml version=\"1.0\"?>\n<message format=\"1\" kind=\"0\">\n"
                         "  <element tag=\"1307\">");
    const std::string badInt = tempPath("bad-int.voc");
    writeFile(badInt, "<message format=\"1\" kind=\"0\"><element tag=\"1307\">"
                      "<int>99999999999</int></element></message>");

    for (const std::string& file : {truncated, badInt, tempPath("missing.voc")}) {
        const ProcessResult result = runAgent({"show", file});
        EXPECT_EQ(result.exitStatus, 1) << file;
        EXPECT_THAT(result.err, HasSubstr("cannot show \"" + file + "\": "));
        EXPECT_THAT(result.out, IsEmpty());
    }
}

TEST_F(AgentShow, RunOptionsAreRefused)
{
    const ProcessResult result = runAgent({"show", tempPath("x.voc"), "--plugins", "/tmp"});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_THAT(result.err, HasSubstr("--plugins applies to run, not to show"));
}

} // namespace
} // namespace KXL::test
