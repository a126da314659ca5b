// host-agent diff and check on hand-written .voc files.
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "agent_fixture.h"

namespace KXL::test {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

using AgentDiffCheck = AgentTest;
using namespace VocText;

TEST_F(AgentDiffCheck, DiffListsEachChangeOnceSortedByCode)
{
    const std::string a = tempPath("a.voc");
    const std::string b = tempPath("b.voc");
    writeFile(a, document(standardHead() + adapter(1, "Realtek") + adapter(3, "VirtIO") +
                          guest(3, "ubuntu2204", "Ubuntu 22.04", false) + guest(5, "old", "Old OS", false) +
                          guest(7, "both", "Both", false) + guest(7, "both", "Both", true) +
                          guest(9, "mover", "Mover", false)));
    // Another order, and a fresh stamp: neither is a change.
    std::string items = standardHead() + category("extra") + guest(9, "mover", "Mover", true, 200) +
        guest(7, "both", "Both", false) + guest(3, "jammy", "Ubuntu 22.04", false) +
        guest(11, "new", "New OS", true) + adapter(3, "VirtIO net") + adapter(2, "Intel");
    const std::string stamp = "-000000000001 $";
    items.replace(items.find(stamp), stamp.size(), "-000000000002 $");
    writeFile(b, document(items));

    const ProcessResult text = runAgent({"diff", a, b});
    EXPECT_EQ(text.exitStatus, 1) << text.err;
    EXPECT_EQ(text.out, "category \"extra\" added\n"
                        "adapter 1 removed \"Realtek\"\n"
                        "adapter 2 added \"Intel\"\n"
                        "adapter 3 renamed name \"VirtIO\" -> \"VirtIO net\"\n"
                        "guest_os 3 supported renamed identifier \"ubuntu2204\" -> \"jammy\"\n"
                        "guest_os 5 supported removed \"old\"\n"
                        "guest_os 7 experimental removed \"both\"\n"
                        "guest_os 9 moved supported -> experimental\n"
                        "guest_os 9 experimental changed min_hdd_size 100 -> 200\n"
                        "guest_os 11 experimental added \"new\"\n");

    const ProcessResult json = runAgent({"diff", "--json", a, b});
    EXPECT_EQ(json.exitStatus, 1) << json.err;
    const nlohmann::json parsed = nlohmann::json::parse(json.out);
    EXPECT_EQ(parsed["same"], false);
    ASSERT_EQ(parsed["changes"].size(), 10u);
    EXPECT_EQ(parsed["changes"][8], nlohmann::json::parse(
        R"({"section":"guest_os","code":9,"status":"experimental","change":"changed",
            "field":"min_hdd_size","old":100,"new":200})"));

    const ProcessResult same = runAgent({"diff", b, "-"}, readFile(b));
    EXPECT_EQ(same.exitStatus, 0) << same.err;
    EXPECT_THAT(same.out, IsEmpty());

    // Pipes named by a path, as the shell's <(...) gives them, are read whole.
    const ProcessResult piped = runProcess(
        {"/bin/bash", "-c", "exec \"$0\" diff <(cat \"$1\") <(cat \"$2\")", agentExecutable(), a, b});
    EXPECT_EQ(piped.exitStatus, 1) << piped.err;
    EXPECT_EQ(piped.out, text.out);
}

TEST_F(AgentDiffCheck, DiffOfAFileThatIsNoVocabularyIsTrouble)
{
    const std::string good = tempPath("good.voc");
    writeFile(good, document(standardHead()));
    const std::string flat = tempPath("flat.voc");
    writeFile(flat, "<message format=\"1\" kind=\"0\"><element tag=\"1307\">" + adapter(1, "x") +
                        "</element></message>");
    for (const std::string& other : {flat, tempPath("missing.voc")}) {
        const ProcessResult result = runAgent({"diff", good, other});
        EXPECT_EQ(result.exitStatus, 2) << other;
        EXPECT_THAT(result.err, HasSubstr("host-agent: cannot compare \"" + other + "\": "));
        EXPECT_THAT(result.out, IsEmpty());
    }
}

// Entries of another plug-in's vocabulary are matched by kind and id: a changed value is
// reported as such, not as the whole entry removed and added.
TEST_F(AgentDiffCheck, DiffComparesOtherEntriesValueByValue)
{
    const auto tier = [](int id, const std::string& name, int iops, const std::string& extra = {}) {
        return "<element tag=\"1017\">" + number(1010, id) + text(1264, "storage_tier") + text(1026, name) +
            "<named name=\"max_iops\">" + std::to_string(iops) + "</named>" + extra + "</element>";
    };
    const std::string a = tempPath("a.voc");
    const std::string b = tempPath("b.voc");
    const auto nested = [](const std::string& children) { return "<element tag=\"1020\">" + children + "</element>"; };
    // A name that is not plain is shown quoted and escaped once, as show shows it.
    const auto odd = [](int value) { return "<named name=\"a&quot;b\\c\">" + std::to_string(value) + "</named>"; };
    writeFile(a, document(version() + category("storage_tier") +
                          tier(1, "Bronze", 500, nested(text(1026, "x") + number(1027, 1)) + odd(1)) +
                          tier(2, "Silver", 1000) + tier(3, "Gold", 5000)));
    writeFile(b, document(version() + category("storage_tier") + tier(2, "Silver+", 2000, text(1264, "storage_tier")) +
                          tier(1, "Bronze", 500, nested(text(1026, "y")) + odd(2)) + tier(4, "Gold", 5000)));

    const ProcessResult text = runAgent({"diff", a, b});
    EXPECT_EQ(text.exitStatus, 1) << text.err;
    EXPECT_EQ(text.out,
              "other_entry \"storage_tier\" 1 changed \"a\\\"b\\\\c\" 1 -> 2\n"
              "other_entry \"storage_tier\" 1 changed 1020/1026 \"x\" -> \"y\"\n"
              "other_entry \"storage_tier\" 1 removed 1020/1027 1\n"
              "other_entry \"storage_tier\" 2 changed 1026 \"Silver\" -> \"Silver+\"\n"
              "other_entry \"storage_tier\" 2 added 1264[2] \"storage_tier\"\n"
              "other_entry \"storage_tier\" 2 changed max_iops 1000 -> 2000\n"
              "other_entry \"1017 {1010=3, 1264=\\\"storage_tier\\\", 1026=\\\"Gold\\\", \\\"max_iops\\\"=5000}\" removed\n"
              "other_entry \"1017 {1010=4, 1264=\\\"storage_tier\\\", 1026=\\\"Gold\\\", \\\"max_iops\\\"=5000}\" added\n");

    const ProcessResult json = runAgent({"diff", "--json", a, b});
    EXPECT_EQ(nlohmann::json::parse(json.out)["changes"][5], nlohmann::json::parse(
        R"({"section":"other_entry","kind":"storage_tier","id":2,"change":"changed","field":"max_iops",
            "old":1000,"new":2000})"));
}

// One problem a line, in file order, at the start tag of what it is about: the form
// editors and CI annotate.
TEST_F(AgentDiffCheck, CheckReportsEveryProblemInFileOrderAsCompilersDo)
{
    const std::string broken = tempPath("broken.voc");
    const std::string misfit = "<element tag=\"1017\">" + number(1010, 5) + text(1264, "guest_os_type") +
        text(1846, "x") + text(1026, "X") + "</element>";
    // One item a line: item N, from 2 on, starts at the beginning of line N + 1.
    std::string items;
    for (const std::string& item :
         {version(), category("guest_os_type"), category("guest_os_type"), category("kxp_network_adapter_type"),
          category("experimental"), adapter(3, "A"), adapter(3, "B"), guest(4, "d", "D", false),
          guest(4, "d", "D", true), misfit, "<element tag=\"1017\">" + text(1264, "nosuch") + "</element>",
          text(1999, "stray")})
        items += (items.empty() ? "" : "\n") + item;
    writeFile(broken, document(items, 2));

    const ProcessResult result = runAgent({"check", broken});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    const std::string& f = broken;
    EXPECT_EQ(result.out,
              f + ":2:1: error: document: the message kind is 2 (a vocabulary is of kind 0)\n" +
              f + ":4:1: error: item 3 (category \"guest_os_type\"): category \"guest_os_type\" is defined twice\n" +
              f + ":8:1: error: item 7 (adapter 3): the id 3 of kind \"kxp_network_adapter_type\" is repeated (first at item 6)\n" +
              f + ":10:1: warning: item 9 (guest OS 4, experimental): code 4 is listed both as supported and as experimental\n" +
              f + ":11:1: error: item 10: marked \"guest_os_type\" but does not fit the guest OS shape (code 1010, "
                  "identifier 1846, display name 1026, the six named values)\n" +
              f + ":12:1: error: item 11: the mark \"nosuch\" names no defined category\n" +
              f + ":13:1: error: item 12: element 1999 is neither an entry (1017) nor a category definition (1264)\n" +
              f + ": not a valid vocabulary, 6 errors, 1 warning\n");

    const ProcessResult json = runAgent({"check", "--json", broken});
    EXPECT_EQ(json.exitStatus, 1) << json.err;
    const nlohmann::json checked = nlohmann::json::parse(json.out);
    EXPECT_EQ(checked["valid"], false);
    EXPECT_EQ(checked["errors"], 6);
    EXPECT_EQ(checked["warnings"], 1);
    ASSERT_EQ(checked["problems"].size(), 7u);
    EXPECT_EQ(checked["problems"][5], nlohmann::json::parse(
        R"({"severity":"error","line":12,"column":1,"location":"item 11",
            "message":"the mark \"nosuch\" names no defined category"})"));

    // The same code as supported and as experimental is allowed.
    const std::string valid = tempPath("valid.voc");
    writeFile(valid, document(standardHead() + adapter(3, "VirtIO") + guest(4, "d", "D", false) +
                              guest(4, "d", "D", true)));
    const ProcessResult warned = runAgent({"check", valid});
    EXPECT_EQ(warned.exitStatus, 0) << warned.out;
    EXPECT_THAT(warned.out, HasSubstr(valid + ": a valid vocabulary, 0 errors, 1 warning\n"));
    // A repeat names the entry it repeats, in its own list: the experimental one, not the first.
    const std::string twice = tempPath("experimental-twice.voc");
    writeFile(twice, document(standardHead() + adapter(3, "VirtIO") + guest(4, "d", "D", false) +
                              guest(4, "d", "D", true) + guest(4, "d", "D", true)));
    const ProcessResult repeatedExperimental = runAgent({"check", twice});
    EXPECT_EQ(repeatedExperimental.exitStatus, 1) << repeatedExperimental.out;
    EXPECT_THAT(repeatedExperimental.out,
                HasSubstr(": warning: item 7 (guest OS 4, experimental): code 4 is listed both as supported and "
                          "as experimental\n"));
    EXPECT_THAT(repeatedExperimental.out,
                HasSubstr(": error: item 8 (guest OS 4, experimental): the id 4 of kind \"guest_os_type\" is "
                          "repeated (first at item 7)\n"));
    EXPECT_THAT(repeatedExperimental.out, HasSubstr(twice + ": not a valid vocabulary, 1 error, 1 warning\n"));

    // A code past 2^31 is the same number in the message as in the place it names.
    const std::string repeated = tempPath("repeated.voc");
    writeFile(repeated, document(standardHead() + adapter(3, "VirtIO") + guest(-1, "max", "Max", false) +
                                 guest(-1, "max", "Max", false)));
    EXPECT_THAT(runAgent({"check", repeated}).out,
                HasSubstr("(guest OS 4294967295): the id 4294967295 of kind \"guest_os_type\" is repeated"));
}

// A name in a problem or an error shows escaped once, as the tables show it (a backslash
// doubled), whoever made the text.
TEST_F(AgentDiffCheck, NamesInProblemsAndErrorsShowEscapedOnce)
{
    const std::string names = tempPath("names.voc");
    writeFile(names, document(standardHead() + category("a\\b") + category("a\\b")));
    const ProcessResult checked = runAgent({"check", names});
    EXPECT_EQ(checked.exitStatus, 1) << checked.err;
    EXPECT_THAT(checked.out, HasSubstr("(category \"a\\\\b\"): category \"a\\\\b\" is defined twice\n"));
    EXPECT_THAT(runAgent({"show", "-o", "a\\b", names}).err, HasSubstr("no column named \"a\\\\b\";"));

    const std::string tag = tempPath("tag.voc");
    writeFile(tag, "<message format=\"1\" kind=\"0\"><a\\b/></message>");
    EXPECT_THAT(runAgent({"show", tag}).err, HasSubstr(": unexpected <a\\\\b> inside <message>\n"));
    EXPECT_THAT(runAgent({"check", tag}).out, HasSubstr(": error: unexpected <a\\\\b> inside <message>\n"));
}

// A file the reader refuses is a problem found, where reading stopped; a file that cannot
// be read at all is a job that cannot be done.
TEST_F(AgentDiffCheck, CheckPlacesFormatProblemsAndRefusesUnreadableFiles)
{
    const std::string whole = document(standardHead());
    const ProcessResult truncated = runAgent({"check", "-"}, whole.substr(0, whole.size() - 20));
    EXPECT_EQ(truncated.exitStatus, 1) << truncated.err;
    // At the end: line 2, just past the last byte.
    EXPECT_THAT(truncated.out, StartsWith("-:2:" + std::to_string(whole.size() - 20 - whole.find('\n')) +
                                          ": error: the file ends early (truncated?): "));
    EXPECT_THAT(truncated.out, HasSubstr("\n-: not a valid vocabulary, 1 error, 0 warnings\n"));
    // Counted as expat counts for the other problems: a lone CR ends a line, and "é", two
    // bytes, is one column, so the column is the byte count of line 2 up to the end.
    std::string crLines = document(text(1999, "\xC3\xA9") + standardHead());
    crLines = crLines.substr(0, crLines.size() - 20);
    crLines[crLines.find('\n')] = '\r';
    EXPECT_THAT(runAgent({"check", "-"}, crLines).out,
                StartsWith("-:2:" + std::to_string(crLines.size() - crLines.find('\r') - 1) + ": error: "));

    const std::string badInt = tempPath("bad-int.voc");
    writeFile(badInt, "<message format=\"1\" kind=\"0\">\n<element tag=\"1307\"><int>007</int></element></message>");
    const ProcessResult malformed = runAgent({"check", badInt});
    EXPECT_EQ(malformed.exitStatus, 1) << malformed.err;
    EXPECT_THAT(malformed.out, StartsWith(badInt + ":2"));
    // From a pipe, which check reads twice, the same problems at the same places.
    const ProcessResult piped =
        runProcess({"/bin/bash", "-c", "exec \"$0\" check <(cat \"$1\")", agentExecutable(), badInt});
    EXPECT_EQ(piped.exitStatus, 1) << piped.err;
    EXPECT_THAT(piped.out, HasSubstr(malformed.out.substr(badInt.size(), malformed.out.find('\n') - badInt.size())));

    // The version entry's four children come in their order, and its stamp has its form.
    const std::string rest = category("guest_os_type") + category("kxp_network_adapter_type") +
        category("experimental");
    const std::string reordered = tempPath("reordered.voc");
    writeFile(reordered, document("<element tag=\"1017\">" + text(1264, "vocabulary") +
                                  text(1010, "vocversion") + text(1307, "$Id: a.voc 00000000-0000-4000-8000-000000000001 $") +
                                  text(1303, "Vocabulary version") + "</element>" + rest));
    const std::string badStamp = tempPath("bad-stamp.voc");
    writeFile(badStamp, document("<element tag=\"1017\">" + text(1010, "vocversion") +
                                 text(1264, "vocabulary") + text(1307, "$Id: a.voc 1 $") +
                                 text(1303, "Vocabulary version") + "</element>" + rest));
    const std::string folderStamp = tempPath("folder-stamp.voc");
    writeFile(folderStamp, document("<element tag=\"1017\">" + text(1010, "vocversion") +
                                    text(1264, "vocabulary") + text(1307, "$Id: x/a.voc 00000000-0000-4000-8000-000000000001 $") +
                                    text(1303, "Vocabulary version") + "</element>" + rest));
    for (const auto& [file, line] :
         {std::pair{reordered, "error: item 1: does not fit the version entry's shape"},
          std::pair{badStamp, "error: item 1 (version entry): the stamp \"$Id: a.voc 1 $\" is not "
                              "\"$Id: NAME.voc GUID $\""},
          std::pair{folderStamp, "error: item 1 (version entry): the stamp "
                                 "\"$Id: x/a.voc 00000000-0000-4000-8000-000000000001 $\" is not "
                                 "\"$Id: NAME.voc GUID $\""}}) {
        const ProcessResult checked = runAgent({"check", file});
        EXPECT_EQ(checked.exitStatus, 1) << checked.out;
        EXPECT_THAT(checked.out, HasSubstr(file + ":2:70: " + line));
    }

    const ProcessResult missing = runAgent({"check", tempPath("missing.voc")});
    EXPECT_EQ(missing.exitStatus, 2);
    EXPECT_THAT(missing.out, IsEmpty());
    EXPECT_EQ(missing.err, "host-agent: cannot check \"" + tempPath("missing.voc") +
                               "\": cannot open: No such file or directory\n");
}

} // namespace
} // namespace KXL::test
