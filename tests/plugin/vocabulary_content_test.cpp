// What the published vocabulary holds: version entry, categories, adapters, guest OSes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "expected_vocabulary.h"
#include "plugin_run.h"

using ::testing::HasSubstr;
using ::testing::Not;
using expected_vocabulary::guestEntry;

namespace {

KXL::KXLOS os(const std::string& id, const std::string& name)
{
    KXL::KXLOS record;
    record.property1 = id;
    record.property2 = name;
    record.property3 = "not written";
    return record;
}

TEST(VocabularyContent, WholeContainerInDocumentOrder)
{
    test_host::Script script = fixedGuid();
    script.supported[12] = os("win11", "Windows 11");
    script.supported[3] = os("ubuntu2204", "Ubuntu 22.04 LTS");
    script.experimental[7] = os("fedora41", "Fedora 41");
    EXPECT_EQ(runPlugin(script), 0);

    EXPECT_EQ(test_host::tree(),
              "1307\n  1044\n" + [] {
                  // The container's content, indented two levels.
                  std::string body = expected_vocabulary::versionEntry(kFixedStamp) +
                      expected_vocabulary::categoriesAndAdapters() +
                      guestEntry("3", "ubuntu2204", "Ubuntu 22.04 LTS", false) +
                      guestEntry("12", "win11", "Windows 11", false) +
                      guestEntry("7", "fedora41", "Fedora 41", true);
                  std::string indented;
                  size_t start = 0;
                  while (start < body.size()) {
                      const size_t end = body.find('\n', start);
                      indented += "    " + body.substr(start, end - start + 1);
                      start = end + 1;
                  }
                  return indented;
              }());
    EXPECT_TRUE(test_host::logRecords().empty());
}

TEST(VocabularyContent, EveryBuildCarriesAFreshStampWithExactPrefixAndSuffix)
{
    auto stampOf = [] {
        const std::string version = test_host::tree({1307, 1044, 1017});
        const size_t start = version.find("1307 = \"") + 8;
        return version.substr(start, version.find("\"\n", start) - start);
    };
    runPlugin();
    const std::string first = stampOf();
    runPlugin();
    const std::string second = stampOf();
    EXPECT_NE(first, second);
    for (const std::string& stamp : {first, second}) {
        EXPECT_EQ(stamp.rfind("$Id: ZEVUruruzodovar.voc ", 0), 0u) << stamp;
        EXPECT_EQ(stamp.substr(stamp.size() - 2), " $") << stamp;
        EXPECT_EQ(stamp.size(), std::string("$Id: ZEVUruruzodovar.voc  $").size() + 36) << stamp;
    }
}

TEST(VocabularyContent, RejectedWritesInsideEntriesLeaveTheRestInPlace)
{
    test_host::Script script = fixedGuid();
    script.statusOf["putValue(1,1010)"] = 5; // first adapter's id
    script.statusOf["putValue(\"guest_os_type\",1010)"] = 7; // second category's name
    script.statusOf["putValue(\"ubuntu2204\",1846)"] = 3; // a guest OS's short name
    script.supported[3] = os("ubuntu2204", "Ubuntu 22.04 LTS");
    script.supported[4] = os("ubuntu2404", "Ubuntu 24.04 LTS");
    EXPECT_EQ(runPlugin(script), 0);
    EXPECT_TRUE(test_host::logRecords().empty());

    const std::string container = test_host::tree({1307, 1044});
    EXPECT_THAT(container, HasSubstr("1017\n  1010 = 1\n  1264 = \"kxp_network_adapter_type\"\n"
                                     "  1026 = \"Realtek RTL8139\"\n"));
    EXPECT_THAT(container, HasSubstr("1264\n  1010 = \"guest_os_type\"\n1264\n"
                                     "  1010 = \"experimental\"\n"));
    EXPECT_THAT(container, HasSubstr(guestEntry("3", "ubuntu2204", "Ubuntu 22.04 LTS", false) +
                                     guestEntry("4", "ubuntu2404", "Ubuntu 24.04 LTS", false)));
}

TEST(VocabularyContent, RejectedKeyEndsThatMapOnlyAndTheVocabularyIsStillSaved)
{
    test_host::Script script = fixedGuid();
    script.supported[1] = os("a", "A");
    script.supported[2] = os("b", "B");
    script.supported[3] = os("c", "C");
    script.experimental[8] = os("x", "X");
    script.experimental[9] = os("y", "Y");
    script.statusOf["putValue(2,0)"] = 9;
    EXPECT_EQ(runPlugin(script), 0);
    EXPECT_TRUE(test_host::logRecords().empty());
    EXPECT_TRUE(wasCalled("saveToFile(" + std::string(kSavedPath) + ")"));

    const std::string container = test_host::tree({1307, 1044});
    EXPECT_THAT(container, HasSubstr(guestEntry("1", "a", "A", false) + "1017\n  1010 = 2\n" +
                                     guestEntry("8", "x", "X", true) +
                                     guestEntry("9", "y", "Y", true)));
    EXPECT_THAT(container, Not(HasSubstr("1010 = 3\n  1264 = \"guest_os_type\"")));
}

TEST(VocabularyContent, CodesKeepTheirBitsAndEntriesAreNeverMerged)
{
    test_host::Script script = fixedGuid();
    script.supported[2147483648u] = os("big", "Big");
    script.supported[4294967295u] = os("max", "Max");
    script.supported[5] = KXL::KXLOS(); // unset texts are written as empty text
    script.experimental[5] = os("five", "Five");
    EXPECT_EQ(runPlugin(script), 0);

    const std::string container = test_host::tree({1307, 1044});
    EXPECT_THAT(container, HasSubstr(guestEntry("5", "", "", false) +
                                     guestEntry("-2147483648", "big", "Big", false) +
                                     guestEntry("-1", "max", "Max", false) +
                                     guestEntry("5", "five", "Five", true)));
}

} // namespace
