#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "test_files.h"
#include "host/KXLError.h"
#include "host/KXPCatalog.h"

using namespace KXP;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

// What a failed parse must leave: the caller's maps as they were.
KXPOSMap sentinelMap()
{
    KXPOSMap map;
    map[99].property1 = "sentinel";
    return map;
}

struct BadCatalog {
    const char* what;
    std::string json;
    std::string problem;
};

void PrintTo(const BadCatalog& bad, std::ostream* out)
{
    *out << bad.what;
}

std::string entry(const std::string& fields)
{
    return R"({"supported": [)" + fields + R"(], "experimental": []})";
}

class CatalogErrors : public ::testing::TestWithParam<BadCatalog> {};

TEST_P(CatalogErrors, FailWithOriginAndProblemAndLeaveMapsAlone)
{
    KXPOSMap supported = sentinelMap();
    KXPOSMap experimental = sentinelMap();
    EXPECT_LT(parseCatalog(GetParam().json, "/etc/agent/os.json", supported, experimental), 0);
    EXPECT_THAT(KXL::getErrorMessage(), StartsWith("guest OS catalogue '/etc/agent/os.json': "));
    EXPECT_THAT(KXL::getErrorMessage(), HasSubstr(GetParam().problem));
    EXPECT_EQ(supported.size(), 1u);
    EXPECT_EQ(std::string(supported[99].property1), "sentinel");
    EXPECT_EQ(experimental.size(), 1u);
}

const BadCatalog kBadCatalogs[] = {
    {"Empty", "", "malformed JSON"},
    {"Truncated", R"({"supported": [)", "malformed JSON"},
    {"InvalidUtf8", entry("{\"code\": 1, \"property1\": \"\xff\"}"), "malformed JSON"},
    {"TopLevelArray", "[]", "the top level must be an object, got []"},
    {"SupportedNotArray", R"({"supported": {}, "experimental": []})",
     R"("supported" must be an array, got {})"},
    {"ExperimentalNull", R"({"supported": [], "experimental": null})",
     R"("experimental" must be an array, got null)"},
    {"UnknownTopLevelKey", R"({"supported": [], "experimental": [], "suported": []})",
     R"(unknown key "suported" at the top level)"},
    {"EntryNotObject", entry("3"), "supported[0]: an entry must be an object, got 3"},
    {"MissingCode", entry(R"({"property1": "x"})"), R"(supported[0]: missing "code")"},
    {"CodeString", entry(R"({"code": "3"})"),
     R"(supported[0]: "code" must be an integer in 0..4294967295, got "3")"},
    {"CodeFraction", entry(R"({"code": 3.5})"), R"("code" must be an integer in 0..4294967295, got 3.5)"},
    {"CodeNegative", entry(R"({"code": -1})"), R"("code" must be an integer in 0..4294967295, got -1)"},
    {"CodeTooLarge", entry(R"({"code": 4294967296})"),
     R"("code" must be an integer in 0..4294967295, got 4294967296)"},
    {"CodeHuge", entry(R"({"code": 123456789012345678901234567890})"),
     R"("code" must be an integer in 0..4294967295)"},
    {"CodeMinusZero", entry(R"({"code": -0})"), R"("code" must be an integer in 0..4294967295, got -0)"},
    {"NumberOverflow", entry(R"({"code": 1e400})"), "malformed JSON: number overflow parsing '1e400'"},
    {"PropertyNumber", entry(R"({"code": 1, "property2": 5})"),
     R"(supported[0]: "property2" must be a string, got 5)"},
    {"UnknownEntryKey", entry(R"({"code": 1, "propety1": "x"})"),
     R"(supported[0]: unknown key "propety1")"},
    {"DuplicateCode", entry(R"({"code": 1}, {"code": 2}, {"code": 1})"),
     "supported[2]: code 1 is already listed at supported[0]"},
    {"RepeatsOutOfOrder", entry(R"({"code": 5}, {"code": 3}, {"code": 3}, {"code": 5}, {"code": 3})"),
     "supported[2]: code 3 is already listed at supported[1]"},
    {"DuplicateExperimentalCode",
     R"({"supported": [], "experimental": [{"code": 7}, {"code": 7}]})",
     "experimental[1]: code 7 is already listed at experimental[0]"},
    {"DuplicateKeyInEntry", entry(R"({"code": 1, "property1": ["a", ["b"]]}, {"code": 2, "code": 3})"),
     R"(supported[1]: key "code" appears twice)"},
    {"DuplicateTopLevelKey", R"({"supported": [{"code": 1}], "experimental": [], "supported": []})",
     R"(key "supported" appears twice)"},
    // Several problems: the first in the order of the checks, not of the text.
    {"FirstProblemInCheckOrder", entry(R"({"zz": 1, "code": "x", "aa": 2})"), R"(supported[0]: unknown key "aa")"},
    {"TooDeep", entry("{\"code\": 1, \"property1\": " + std::string(200, '[') + std::string(200, ']') + "}"),
     "nesting deeper than"},
};

INSTANTIATE_TEST_SUITE_P(Catalog, CatalogErrors, ::testing::ValuesIn(kBadCatalogs),
                         [](const auto& info) { return std::string(info.param.what); });

TEST(CatalogParse, ReadsEntriesAndTellsUnsetFromEmpty)
{
    const std::string json = R"({
        "supported": [
            {"code": 4294967295, "property1": "ubuntu2204", "property2": "Ubuntu 22.04 LTS",
             "property3": "li\u006eux", "property4": "x86_\u0036\u0034"},
            {"code": 0, "property2": ""}
        ],
        "experimental": [ {"code": 0, "property1": "same code, other map"} ]
    })";
    KXPOSMap supported = sentinelMap();
    KXPOSMap experimental = sentinelMap();
    ASSERT_EQ(parseCatalog(json, "test", supported, experimental), 0) << KXL::getErrorMessage();

    ASSERT_EQ(supported.size(), 2u); // the sentinel was replaced, not merged
    const KXL::KXLOS& full = supported.at(4294967295u);
    EXPECT_EQ(std::string(full.property1), "ubuntu2204");
    EXPECT_EQ(std::string(full.property2), "Ubuntu 22.04 LTS");
    EXPECT_EQ(std::string(full.property3), "linux");
    EXPECT_EQ(std::string(full.property4), "x86_64");
    EXPECT_TRUE(full.property4.isSet());

    const KXL::KXLOS& sparse = supported.at(0);
    EXPECT_FALSE(sparse.property1.isSet());
    EXPECT_EQ(std::string(sparse.property1), "");
    EXPECT_TRUE(sparse.property2.isSet());
    EXPECT_EQ(std::string(sparse.property2), "");

    ASSERT_EQ(experimental.size(), 1u);
    EXPECT_EQ(std::string(experimental.at(0).property1), "same code, other map");
}

TEST(CatalogParse, EmptyOrLeftOutListsAreAValidCatalogue)
{
    for (const char* json : {R"({"supported": [], "experimental": []})", "{}"}) {
        KXPOSMap supported = sentinelMap();
        KXPOSMap experimental = sentinelMap();
        ASSERT_EQ(parseCatalog(json, "test", supported, experimental), 0) << json << ": " << KXL::getErrorMessage();
        EXPECT_TRUE(supported.empty()) << json;
        EXPECT_TRUE(experimental.empty()) << json;
    }
    KXPOSMap supported = sentinelMap();
    KXPOSMap experimental = sentinelMap();
    ASSERT_EQ(parseCatalog(R"({"experimental": [{"code": 7}]})", "test", supported, experimental), 0)
        << KXL::getErrorMessage();
    EXPECT_TRUE(supported.empty());
    EXPECT_EQ(experimental.size(), 1u);
    EXPECT_EQ(experimental.count(7), 1u);
}

TEST(CatalogFile, ReadsAFileAndNamesItInErrors)
{
    test_files::TempFolder scratch;
    KXPOSMap supported, experimental;

    const std::string good =
        scratch.write("good.json", R"({"supported": [{"code": 5, "property1": "five"}], "experimental": []})");
    ASSERT_EQ(readCatalogFile(good, supported, experimental), 0) << KXL::getErrorMessage();
    EXPECT_EQ(std::string(supported.at(5).property1), "five");

    const std::string bad = scratch.write("bad.json", R"({"supported": [{"code": -5}], "experimental": []})");
    EXPECT_LT(readCatalogFile(bad, supported, experimental), 0);
    EXPECT_THAT(KXL::getErrorMessage(), StartsWith("guest OS catalogue '" + bad + "': supported[0]"));
    EXPECT_EQ(supported.size(), 1u);
}

TEST(CatalogFile, MissingOrNonRegularFilesFailClearly)
{
    test_files::TempFolder scratch;
    KXPOSMap supported, experimental;

    const std::string missing = scratch.file("missing.json");
    EXPECT_LT(readCatalogFile(missing, supported, experimental), 0);
    EXPECT_EQ(std::string(KXL::getErrorMessage()),
              "guest OS catalogue '" + missing + "': cannot open: No such file or directory");

    const std::string folder = scratch.path();
    EXPECT_LT(readCatalogFile(folder, supported, experimental), 0);
    EXPECT_THAT(KXL::getErrorMessage(), HasSubstr("not a regular file"));

    EXPECT_LT(readCatalogFile("", supported, experimental), 0);
    EXPECT_THAT(KXL::getErrorMessage(), HasSubstr("cannot open"));
}

} // namespace
