#include "agent/output/vocabulary_printer.h"

#include <array>
#include <climits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test_tree.h"
#include "agent/vocabulary/vocabulary_constants.h"

namespace KXL {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using kxltest::Build;
using kxltest::element;
using kxltest::named;
using kxltest::number;
using kxltest::text;

Build vocabularyRoot(std::vector<Build> entries)
{
    return element(kTagVocabulary, {element(kTagContainer, std::move(entries))});
}

KXLDocument vocabulary(std::vector<Build> entries)
{
    return kxltest::document({vocabularyRoot(std::move(entries))});
}

std::vector<Build> versionValues(const std::string& stamp)
{
    return {text(kTagId, "vocversion"), text(kTagCategory, "vocabulary"), text(kTagVocabulary, stamp),
            text(kTagDescription, "Vocabulary version")};
}

Build versionEntry(const std::string& stamp)
{
    return element(kTagEntry, versionValues(stamp));
}

Build category(const std::string& name)
{
    return element(kTagCategory, {text(kTagId, name)});
}

std::vector<Build> adapterValues(int id, const std::string& name)
{
    return {number(kTagId, id), text(kTagCategory, "kxp_network_adapter_type"), text(kTagDisplayName, name)};
}

Build adapter(int id, const std::string& name)
{
    return element(kTagEntry, adapterValues(id, name));
}

std::vector<Build> guestValues(int code, const std::string& identifier, const std::string& name,
                               bool experimental)
{
    std::vector<Build> values = {number(kTagId, code), text(kTagCategory, "guest_os_type")};
    if (experimental)
        values.push_back(text(kTagCategory, "experimental"));
    values.push_back(text(kTagIdentifier, identifier));
    values.push_back(text(kTagDisplayName, name));
    for (auto [valueName, value] : std::vector<std::pair<const char*, int>>{
             {"min_hdd_size", 100}, {"max_hdd_size", 16777216},
             {"recommended_hdd_size", 65536}, {"hdd_interface", 1}, {"adapter_type", 3},
             {"boot_efi", 0}})
        values.push_back(named(valueName, value));
    return values;
}

Build guest(int code, const std::string& identifier, const std::string& name, bool experimental)
{
    return element(kTagEntry, guestValues(code, identifier, name, experimental));
}

TEST(VocabularyPrinter, PrintsEveryPartAsAlignedTables)
{
    const KXLDocument document = vocabulary({versionEntry("$Id: Test.voc 42 $"),
        category("kxp_network_adapter_type"), category("guest_os_type"),
        adapter(1, "Realtek RTL8139"), adapter(3, "VirtIO"),
        guest(3, "ubuntu2204", "Ubuntu 22.04 LTS", false),
        guest(12, "win11", "Windows 11", true)});

    EXPECT_EQ(printVocabulary("Test", document),
              "Vocabulary \"Test\"\n"
              "  Version: $Id: Test.voc 42 $ (Vocabulary version)\n"
              "\n"
              "  Categories (2)\n"
              "    name\n"
              "    ------------------------\n"
              "    kxp_network_adapter_type\n"
              "    guest_os_type\n"
              "\n"
              "  Network adapters (2)\n"
              "    id  name\n"
              "    --  ---------------\n"
              "     1  Realtek RTL8139\n"
              "     3  VirtIO\n"
              "\n"
              "  Guest operating systems (2)\n"
              "    code  identifier  display name      experimental  min_hdd_size  max_hdd_size"
              "  recommended_hdd_size  hdd_interface  adapter_type  boot_efi\n"
              "    ----  ----------  ----------------  ------------  ------------  ------------"
              "  --------------------  -------------  ------------  --------\n"
              "       3  ubuntu2204  Ubuntu 22.04 LTS  no                     100      16777216"
              "                 65536              1             3         0\n"
              "      12  win11       Windows 11        yes                    100      16777216"
              "                 65536              1             3         0\n");
}

// Columns are measured over every row before the first is printed, in pieces of about a
// mebibyte: the widest row comes last, and the table is several pieces long.
TEST(VocabularyPrinter, RowsBeyondOneOutputPieceStayWholeAndAligned)
{
    constexpr int count = 20000;
    std::vector<Build> guests;
    for (int i = 0; i < count; ++i)
        guests.push_back(guest(i, "os" + std::to_string(i), i + 1 == count ? "Widest of all" : "Guest", false));
    const std::string out = printVocabulary("big", vocabulary(std::move(guests)));
    ASSERT_GT(out.size(), std::size_t{2} << 20);

    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line) && line.find(" code  identifier ") == std::string::npos) {
    }
    std::getline(lines, line);
    const std::size_t width = line.size(); // the rule
    int rows = 0;
    while (std::getline(lines, line)) {
        // The last column is aligned right: every row ends where the rule does.
        ASSERT_EQ(line.size(), width) << line;
        const std::string code = std::to_string(rows);
        ASSERT_EQ(line.rfind("    " + std::string(5 - code.size(), ' ') + code + "  os" + code + " ", 0), 0u)
            << line;
        ++rows;
    }
    EXPECT_EQ(rows, count);
    EXPECT_THAT(out, HasSubstr("  Widest of all  no"));
}

TEST(VocabularyPrinter, GuestCodesArePrintedUnsigned)
{
    const std::string out = printVocabulary("v", vocabulary({guest(-1, "max", "Largest", false),
        guest(INT_MIN, "half", "Half", true), guest(INT_MAX, "top", "Top", false)}));
    EXPECT_THAT(out, HasSubstr("4294967295  max"));
    EXPECT_THAT(out, HasSubstr("2147483648  half"));
    EXPECT_THAT(out, HasSubstr("2147483647  top"));
    EXPECT_THAT(out, Not(HasSubstr("-1")));
}

// Each number is written where its measured width puts it: a sign or a digit miscounted
// would shift the row or leave bytes unwritten.
TEST(VocabularyPrinter, NegativeAndExtremeValuesKeepTheirColumns)
{
    const std::string out = printVocabulary("v", vocabulary({element(kTagEntry, {number(kTagId, 7),
        text(kTagCategory, "guest_os_type"), text(kTagIdentifier, "neg"), text(kTagDisplayName, "Negative"),
        named("min_hdd_size", INT_MIN), named("max_hdd_size", -1), named("recommended_hdd_size", INT_MAX),
        named("hdd_interface", -10), named("adapter_type", 9), named("boot_efi", 0)})}));
    EXPECT_THAT(out, HasSubstr("\n       7  neg         Negative      no             -2147483648            -1"
                               "            2147483647            -10             9         0\n"));
}

// A guest OS is its set of leaves and named values, in whatever order the file has them.
TEST(VocabularyPrinter, GuestOSPartsMayComeInAnyOrder)
{
    const std::string out = printVocabulary("v", vocabulary({element(kTagEntry, {named("boot_efi", 1),
        text(kTagDisplayName, "Shuffled"), named("adapter_type", 5), named("hdd_interface", 4),
        text(kTagCategory, "experimental"), named("recommended_hdd_size", 3), text(kTagIdentifier, "shuf"),
        named("max_hdd_size", 2), text(kTagCategory, "guest_os_type"), named("min_hdd_size", 1), number(kTagId, 9)})}));
    EXPECT_THAT(out, HasSubstr("\n       9  shuf        Shuffled      yes                      1             2"
                               "                     3              4             5         1\n"));
    EXPECT_THAT(out, Not(HasSubstr("Other entries")));
}

// The adapter and guest OS sections belong to the vocabularies that define their categories
// (a server with no guest OS); another plug-in's vocabulary shows only what it has.
TEST(VocabularyPrinter, SectionsAreThoseTheVocabularyHas)
{
    EXPECT_EQ(printVocabulary("empty", vocabulary({category("kxp_network_adapter_type"), category("guest_os_type")})),
              "Vocabulary \"empty\"\n"
              "  Version: none (no version entry)\n"
              "\n"
              "  Categories (2)\n"
              "    name\n"
              "    ------------------------\n"
              "    kxp_network_adapter_type\n"
              "    guest_os_type\n"
              "\n"
              "  Network adapters: none\n"
              "\n"
              "  Guest operating systems: none\n");
    EXPECT_EQ(printVocabulary("other", vocabulary({category("fruit"), element(kTagEntry, {text(kTagId, "apple")})})),
              "Vocabulary \"other\"\n"
              "  Version: none (no version entry)\n"
              "\n"
              "  Categories (1)\n"
              "    name\n"
              "    -----\n"
              "    fruit\n"
              "\n"
              "  Other entries (1)\n"
              "    element 1017\n"
              "      element 1010 = \"apple\"\n");
    // Entries of a kind whose category is not defined (an error check reports) still show.
    const std::string undefined = printVocabulary("v", vocabulary({adapter(1, "Realtek RTL8139")}));
    EXPECT_THAT(undefined, HasSubstr("  Network adapters (1)\n"));
    EXPECT_THAT(undefined, Not(HasSubstr("Guest operating systems")));
}

TEST(VocabularyPrinter, GuestColumnsArePickedByName)
{
    const KXLDocument document = vocabulary({category("guest_os_type"),
        guest(3, "ubuntu2204", "Ubuntu 22.04 LTS", false), guest(12, "win11", "Windows 11", true)});
    EXPECT_THAT(printVocabulary("v", document, guestColumnsNamed("identifier,code,display_name,experimental,boot_efi")),
                HasSubstr("  Guest operating systems (2)\n"
                          "    identifier  code  display name      experimental  boot_efi\n"
                          "    ----------  ----  ----------------  ------------  --------\n"
                          "    ubuntu2204     3  Ubuntu 22.04 LTS  no                   0\n"
                          "    win11         12  Windows 11        yes                  0\n"));
    EXPECT_EQ(printVocabulary("v", document, guestColumnsNamed(
                  "code,identifier,display_name,experimental,min_hdd_size,max_hdd_size,"
                  "recommended_hdd_size,hdd_interface,adapter_type,boot_efi")),
              printVocabulary("v", document));
    for (const char* wrong : {"", "code,", "display name", "Code", "code,,identifier"})
        EXPECT_THROW((void)guestColumnsNamed(wrong), std::invalid_argument) << wrong;
}

TEST(VocabularyPrinter, EntriesOfNoKnownShapeAreDumpedWhole)
{
    KXLStamps stamps;
    stamps.ns = "net";
    stamps.typeId = std::make_pair(4, 5);
    const Build stamped = element(kTagEntry, stamps, adapterValues(2, "Intel PRO/1000 MT"));
    std::vector<Build> incomplete = guestValues(7, "partial", "Partial OS", false);
    incomplete.pop_back(); // no boot_efi
    std::vector<Build> extra = guestValues(8, "extra", "Extra OS", false);
    extra.push_back(named("color", 9));
    std::vector<Build> twiceMarked = adapterValues(4, "Twice");
    twiceMarked.push_back(text(kTagCategory, "kxp_network_adapter_type"));

    const std::string out = printVocabulary("v", vocabulary({stamped, element(kTagEntry, incomplete),
        element(kTagEntry, extra), element(kTagEntry, twiceMarked), element(kTagEntry, {text(kTagId, "note"), element(5, {number(6, -3)})}),
        named("loose", 11), text(1999, "stray")}));

    EXPECT_THAT(out, Not(HasSubstr("Network adapters")));
    EXPECT_THAT(out, Not(HasSubstr("Guest operating systems")));
    EXPECT_THAT(out, HasSubstr("\n  Other entries (7)\n"
                               "    element 1017 [namespace \"net\", typeid 4 5]\n"
                               "      element 1010 = 2\n"
                               "      element 1264 = \"kxp_network_adapter_type\"\n"
                               "      element 1026 = \"Intel PRO/1000 MT\"\n"
                               "    element 1017\n"
                               "      element 1010 = 7\n"));
    EXPECT_THAT(out, HasSubstr("      named \"adapter_type\" = 3\n"
                               "    element 1017\n"
                               "      element 1010 = 8\n"));
    EXPECT_THAT(out, HasSubstr("      named \"color\" = 9\n"));
    EXPECT_THAT(out, HasSubstr("      element 1026 = \"Twice\"\n"
                               "      element 1264 = \"kxp_network_adapter_type\"\n"));
    EXPECT_THAT(out, HasSubstr("    element 1017\n"
                               "      element 1010 = \"note\"\n"
                               "      element 5\n"
                               "        element 6 = -3\n"
                               "    named \"loose\" = 11\n"
                               "    element 1999 = \"stray\"\n"));
}

TEST(VocabularyPrinter, OnlyTheFirstVersionEntryIsTheVersion)
{
    std::vector<Build> odd = versionValues("$Id: other $");
    odd.push_back(text(kTagDescription, "second text"));
    const std::string out = printVocabulary("v", vocabulary({element(kTagEntry, odd), versionEntry("$Id: first $"),
        versionEntry("$Id: second $")}));
    EXPECT_THAT(out, HasSubstr("  Version: $Id: first $ (Vocabulary version)\n"));
    EXPECT_THAT(out, HasSubstr("Other entries (2)"));
    EXPECT_THAT(out, HasSubstr("element 1307 = \"$Id: other $\""));
    EXPECT_THAT(out, HasSubstr("element 1307 = \"$Id: second $\""));
}

TEST(VocabularyPrinter, TextsNeverReachTheTerminalRaw)
{
    const std::string out = printVocabulary("name\x1b]0;pwned\x07",
        vocabulary({versionEntry("$Id: \x1b[2J $"), category("cat\r\n"),
            adapter(1, "bad\xff" "byte"), guest(2, "id\x9b", "evil\xe2\x80\xae" "txt", false),
            element(kTagEntry, {text(kTagId, "\x1b[31m")})}));

    for (const char c : out)
        EXPECT_TRUE(c == '\n' || (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f)) << int(c);
    EXPECT_THAT(out, Not(HasSubstr("\xe2\x80\xae")));
    EXPECT_THAT(out, HasSubstr("Vocabulary \"name\\x1b]0;pwned\\x07\""));
    EXPECT_THAT(out, HasSubstr("Version: $Id: \\x1b[2J $"));
    EXPECT_THAT(out, HasSubstr("    cat\\r\\n\n"));
    EXPECT_THAT(out, HasSubstr("1  bad\\xffbyte"));
    EXPECT_THAT(out, HasSubstr("id\\x9b"));
    EXPECT_THAT(out, HasSubstr("evil\\u{202e}txt"));
    EXPECT_THAT(out, HasSubstr("element 1010 = \"\\x1b[31m\""));
}

TEST(VocabularyPrinter, DocumentThatIsNotAVocabularyIsDumpedWhole)
{
    const KXLDocument twoRoots =
        kxltest::document({vocabularyRoot({adapter(1, "kept")}), text(77, "second root")}, 4);
    EXPECT_EQ(printVocabulary("odd", twoRoots),
              "Vocabulary \"odd\"\n"
              "  Message kind: 4\n"
              "  Not a vocabulary (expected one element 1307 holding one element 1044)\n"
              "\n"
              "  Content\n"
              "    element 1307\n"
              "      element 1044\n"
              "        element 1017\n"
              "          element 1010 = 1\n"
              "          element 1264 = \"kxp_network_adapter_type\"\n"
              "          element 1026 = \"kept\"\n"
              "    element 77 = \"second root\"\n");

    const KXLDocument valued = kxltest::document({number(kTagVocabulary, 5, {element(kTagContainer)})});
    EXPECT_THAT(printVocabulary("v", valued), HasSubstr("    element 1307 = 5\n"
                                                       "      element 1044\n"));

    EXPECT_EQ(printVocabulary("none", KXLDocument()),
              "Vocabulary \"none\"\n"
              "  Not a vocabulary (expected one element 1307 holding one element 1044)\n"
              "  The document is empty\n");
}

} // namespace
} // namespace KXL
