#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "agent_fixture.h"

namespace KXL::test {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

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
    // Named as the stamp names it, as the cache does; the file is only the source.
    const std::string shown = vocabularyBody(
        show.out, "Vocabulary \"TestVocabulary\"\n  Source: \"" + vocabularyFile() + "\"\n");
    ASSERT_THAT(shown, HasSubstr("Version: $Id: TestVocabulary.voc 7e57ab1e-0000-4000-8000-000000000001 $"));
    EXPECT_EQ(shown, vocabularyBody(run.out, "Vocabulary \"TestVocabulary\"\n"));
}

// "-" reads a pipe, which the file reader alone refuses.
TEST_F(AgentShow, StandardInputIsReadFromAPipe)
{
    addPlugin("TestVocabulary");
    const ProcessResult run = runAgent({"--plugins", pluginsFolder()});
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;

    const ProcessResult piped = runAgent({"show", "-"}, readFile(vocabularyFile()));
    EXPECT_EQ(piped.exitStatus, 0) << piped.err;
    EXPECT_THAT(piped.err, IsEmpty());
    const std::string shown =
        vocabularyBody(piped.out, "Vocabulary \"TestVocabulary\"\n  Source: standard input\n");
    ASSERT_THAT(shown, HasSubstr("Version: $Id: TestVocabulary.voc 7e57ab1e-0000-4000-8000-000000000001 $"));
    EXPECT_EQ(shown, vocabularyBody(run.out, "Vocabulary \"TestVocabulary\"\n"));

    // Read into memory: no temporary folder is needed.
    const ProcessResult noTemporaryFolder = RunningProcess({agentExecutable(), "show", "-"},
        {"TMPDIR=" + tempPath("missing")}, readFile(vocabularyFile())).wait();
    EXPECT_EQ(noTemporaryFolder.exitStatus, 0) << noTemporaryFolder.err;
    EXPECT_EQ(noTemporaryFolder.out, piped.out);

    const ProcessResult broken = runAgent({"show", "-"}, std::string("<message format=\"1\""));
    EXPECT_EQ(broken.exitStatus, 2);
    EXPECT_THAT(broken.err, StartsWith("host-agent: cannot show standard input: "));
    EXPECT_THAT(broken.err, Not(HasSubstr("/proc/"))); // the temporary copy is no concern of the user's
    EXPECT_THAT(broken.out, IsEmpty());
}

// An emoji takes two columns and a Thai vowel mark none: the next column stays aligned.
TEST_F(AgentShow, WideAndCombiningCharactersKeepColumnsAligned)
{
    const auto guest = [](int code, const std::string& id, const std::string& name) {
        std::string entry = "<element tag=\"1017\"><element tag=\"1010\"><int>" +
            std::to_string(code) + "</int></element><element tag=\"1264\"><string>"
            "guest_os_type</string></element><element tag=\"1846\"><string>" + id +
            "</string></element><element tag=\"1026\"><string>" + name +
            "</string></element>";
        for (const char* value : {"min_hdd_size", "max_hdd_size", "recommended_hdd_size",
                                  "hdd_interface", "adapter_type", "boot_efi"})
            entry += "<named name=\"" + std::string(value) + "\">1</named>";
        return entry + "</element>";
    };
    const std::string file = tempPath("wide.voc");
    writeFile(file, "<message format=\"1\" kind=\"0\"><element tag=\"1307\"><element tag=\"1044\">" +
                        guest(1, "rocket", "Rocket \U0001F680") +
                        guest(2, "thai", "Th\u0E01\u0E31\u0E19") + // 'Th' + Thai KO KAI, MAI HAN-AKAT, NO NU
                        guest(3, "plain", "Plain") +
                        guest(4, "family", "Family \U0001F468\u200D\U0001F469\u200D\U0001F467") + // one glyph
                        "</element></element></message>");

    const ProcessResult result = runAgent({"show", "-o", "code,identifier,display_name,experimental", file});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_THAT(result.out, HasSubstr("    code  identifier  display name  experimental\n"
                                      "    ----  ----------  ------------  ------------\n"));
    EXPECT_THAT(result.out, HasSubstr("       1  rocket      Rocket \U0001F680     no\n"));
    EXPECT_THAT(result.out, HasSubstr("       2  thai        Th\u0E01\u0E31\u0E19          no\n"));
    EXPECT_THAT(result.out, HasSubstr("       3  plain       Plain         no\n"));
    EXPECT_THAT(result.out,
                HasSubstr("       4  family      Family \U0001F468\u200D\U0001F469\u200D\U0001F467     no\n"));

    const ProcessResult unknown = runAgent({"show", "--columns", "code,name", file});
    EXPECT_EQ(unknown.exitStatus, 2);
    EXPECT_THAT(unknown.out, IsEmpty());
    EXPECT_THAT(unknown.err, HasSubstr("no column named \"name\"; the columns are code, identifier, display_name,"));
}

// Bytes that are not UTF-8 still make valid JSON; --os picks entries by code or identifier.
TEST_F(AgentShow, JsonAndOneGuestOS)
{
    using namespace VocText;
    const std::string file = tempPath("odd.voc");
    // "bad\xff" stored as base64, as the writer stores any text that is not UTF-8.
    const std::string badName = "<element tag=\"1026\"><string encoding=\"base64\">YmFk/w==</string></element>";
    std::string odd = guest(8, "odd", "@", true);
    odd.replace(odd.find(text(1026, "@")), text(1026, "@").size(), badName);
    writeFile(file, document(standardHead() + adapter(3, "VirtIO") + guest(7, "seven", "Seven", false) +
                             guest(8, "eight", "Eight", false) + odd));

    const ProcessResult whole = runAgent({"show", "--json", file});
    EXPECT_EQ(whole.exitStatus, 0) << whole.err;
    const nlohmann::json shown = nlohmann::json::parse(whole.out);
    EXPECT_EQ(shown["format"], 1);
    EXPECT_EQ(shown["name"], "test"); // $Id: test.voc GUID $
    EXPECT_EQ(shown["source"], file);
    ASSERT_EQ(shown["guest_os"].size(), 3u);
    EXPECT_EQ(shown["guest_os"][2]["display_name"], "bad\uFFFD");

    // The whole name, even one with a space, as check accepts it.
    const std::string spaced = tempPath("spaced.voc");
    std::string spacedText = document(standardHead() + guest(7, "seven", "Seven", false));
    spacedText.replace(spacedText.find("$Id: test.voc"), 13, "$Id: my plugin.voc");
    writeFile(spaced, spacedText);
    EXPECT_EQ(nlohmann::json::parse(runAgent({"show", "--json", spaced}).out)["name"], "my plugin");
    // Folders, which check refuses, are left out.
    spacedText.replace(spacedText.find("$Id: my plugin.voc"), 18, "$Id: a/b/my plugin.voc");
    writeFile(spaced, spacedText);
    EXPECT_EQ(nlohmann::json::parse(runAgent({"show", "--json", spaced}).out)["name"], "my plugin");

    const ProcessResult byCode = runAgent({"show", "--json", "--os", "8", file});
    EXPECT_EQ(byCode.exitStatus, 0) << byCode.err;
    const nlohmann::json eight = nlohmann::json::parse(byCode.out)["guest_os"];
    ASSERT_EQ(eight.size(), 2u); // supported and experimental
    EXPECT_EQ(eight[0]["identifier"], "eight");
    EXPECT_EQ(eight[1]["experimental"], true);

    const ProcessResult byIdentifier = runAgent({"show", "--os", "seven", file});
    EXPECT_EQ(byIdentifier.exitStatus, 0) << byIdentifier.err;
    EXPECT_THAT(byIdentifier.out, HasSubstr("  Guest operating systems (1)\n"));
    EXPECT_THAT(byIdentifier.out, HasSubstr("       7  seven       Seven         no  "));

    // A number as the format writes one: "08" names no code, so no guest OS here.
    EXPECT_EQ(runAgent({"show", "--os", "08", file}).exitStatus, 1);

    const ProcessResult missing = runAgent({"show", "--os", "ubuntu2204", file});
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_THAT(missing.out, IsEmpty());
    EXPECT_THAT(missing.err, HasSubstr("host-agent: no guest OS with the code or identifier \"ubuntu2204\""));
}

// A column may be named twice, and a text of far more bytes than columns (a letter under
// 400000 combining accents, wider than the output buffer when written twice) is printed whole
// both times, by the whole table and by --os alike.
TEST_F(AgentShow, ColumnNamedTwicePrintsItsLongTextTwice)
{
    using namespace VocText;
    std::string accented = "e";
    for (int i = 0; i < 400000; ++i)
        accented += "\u0301";
    const std::string file = tempPath("accented.voc");
    writeFile(file, document(standardHead() + adapter(3, "VirtIO") + guest(3, accented, "Accented", false)));

    // One column wide, padded to the title's ten, then the gap.
    const std::string row = "\n    " + accented + std::string(9 + 2, ' ') + accented + "\n";
    for (const std::vector<std::string>& picked : {std::vector<std::string>{}, {"--os", "3"}}) {
        SCOPED_TRACE(picked.empty() ? "the whole table" : "--os 3");
        std::vector<std::string> args{"show", "-o", "identifier,identifier"};
        args.insert(args.end(), picked.begin(), picked.end());
        args.push_back(file);
        const ProcessResult result = runAgent(args);
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_THAT(result.out, HasSubstr("    identifier  identifier\n"));
        // Not HasSubstr: a failure would print the 800 kB row.
        EXPECT_NE(result.out.find(row), std::string::npos) << "no row with the identifier twice, "
                                                           << result.out.size() << " bytes printed";
    }
}

TEST_F(AgentShow, MalformedOrMissingFileIsAnError)
{
    const std::string truncated = tempPath("truncated.voc");
    writeFile(truncated, "<?xml version=\"1.0\"?>\n<message format=\"1\" kind=\"0\">\n"
                         "  <element tag=\"1307\">");
    const std::string badInt = tempPath("bad-int.voc");
    writeFile(badInt, "<message format=\"1\" kind=\"0\"><element tag=\"1307\">"
                      "<int>99999999999</int></element></message>");

    for (const std::string& file : {truncated, badInt, tempPath("missing.voc"), std::string()}) {
        const ProcessResult result = runAgent({"show", file});
        EXPECT_EQ(result.exitStatus, 2) << file;
        EXPECT_THAT(result.err, HasSubstr("cannot show \"" + file + "\": "));
        EXPECT_THAT(result.out, IsEmpty());
    }
}

// What a command prints is delivered only when standard output takes it. A reader that went
// away (a closed pipe) wants nothing more: an unsuccessful exit, but no message.
TEST_F(AgentShow, FailedWritesToStandardOutputAreErrors)
{
    addPlugin("TestVocabulary");
    const auto toFullDisk = [&](const std::vector<std::string>& args) {
        std::vector<std::string> argv{"/bin/sh", "-c", "exec \"$0\" \"$@\" > /dev/full",
                                      agentExecutable()};
        argv.insert(argv.end(), args.begin(), args.end());
        return runProcess(argv);
    };
    const std::vector<std::vector<std::string>> commands{
        {"run", "--plugins", pluginsFolder()}, {"run", "--json", "--plugins", pluginsFolder()},
        {"show", "--json", vocabularyFile()}, {"check", vocabularyFile()}, {"--version"}};
    for (const std::vector<std::string>& args : commands) {
        const ProcessResult result = toFullDisk(args);
        EXPECT_EQ(result.exitStatus, 2) << args[0] << '\n' << result.err;
        EXPECT_THAT(result.err, HasSubstr("host-agent: cannot write to standard output: "
                                          "No space left on device\n")) << args[0];
    }

    std::string guests;
    for (int code = 1; code <= 20000; ++code)
        guests += VocText::guest(code, "os" + std::to_string(code), "Guest OS", false);
    const std::string large = tempPath("large.voc");
    writeFile(large, VocText::document(VocText::standardHead() + VocText::adapter(3, "VirtIO") + guests));
    const ProcessResult closed = runProcess(
        {"/bin/bash", "-c", "set -o pipefail; \"$0\" show \"$1\" | head -c 1 > /dev/null",
         agentExecutable(), large});
    EXPECT_EQ(closed.exitStatus, 2) << closed.err;
    EXPECT_THAT(closed.err, IsEmpty());

    // A file-size limit is met as a full disk is: the write fails, the agent does not die.
    const ProcessResult limited = runProcess({"/bin/sh", "-c", "ulimit -f 1; exec \"$0\" show \"$1\" > \"$2\"",
                                              agentExecutable(), large, tempPath("shown.txt")});
    EXPECT_EQ(limited.exitStatus, 2) << limited.err;
    EXPECT_THAT(limited.err, HasSubstr("host-agent: cannot write to standard output: File too large\n"));
}

// Memory that runs out is reported in words, whichever step it stops. The limits go from too
// little address space to load the file up to enough for everything, so some stop a step after
// loading (the tables' lists) that leaves the report to the agent's top level. Not in the
// sanitizer build, whose shadow memory takes more address space than the limits allow.
#ifndef KXL_SANITIZED
TEST_F(AgentShow, RunningOutOfMemoryIsSaidInWords)
{
    std::string guests;
    for (int code = 1; code <= 50000; ++code)
        guests += VocText::guest(code, "os" + std::to_string(code), "Guest OS " + std::to_string(code), false);
    const std::string large = tempPath("large.voc");
    writeFile(large, VocText::document(VocText::standardHead() + VocText::adapter(3, "VirtIO") + guests));
    const auto limited = [](int mebibytes, std::vector<std::string> args) {
        args.insert(args.begin(), {"prlimit", "--as=" + std::to_string(mebibytes << 20), agentExecutable()});
        return runProcess(args);
    };
    // From the least address space the agent starts in: below it, the loader fails.
    int mebibytes = 1;
    while (mebibytes < 512 && limited(mebibytes, {"--version"}).exitStatus != 0)
        ++mebibytes;
    bool shown = false;
    for (; mebibytes <= 512 && !shown; ++mebibytes) {
        const ProcessResult result = limited(mebibytes, {"show", large});
        shown = result.exitStatus == 0;
        if (!shown) {
            EXPECT_EQ(result.exitStatus, 2) << mebibytes << " MiB: " << result.err;
            EXPECT_THAT(result.err, HasSubstr("out of memory")) << mebibytes << " MiB";
        }
    }
    EXPECT_TRUE(shown);
}
#endif

TEST_F(AgentShow, RunOptionsAreRefused)
{
    const ProcessResult result = runAgent({"show", tempPath("x.voc"), "--plugins", "/tmp"});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_THAT(result.err, HasSubstr("--plugins applies to run, not to show"));

    // Given before the command, --metrics is the run's: it must not be dropped silently.
    const ProcessResult early = runAgent({"--metrics", tempPath("x.prom"), "show", tempPath("x.voc")});
    EXPECT_EQ(early.exitStatus, 2);
    EXPECT_THAT(early.err, HasSubstr("give show's --metrics after show"));
}

} // namespace
} // namespace KXL::test
