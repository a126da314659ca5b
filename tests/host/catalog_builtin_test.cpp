#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "host/KXLError.h"
#include "host/KXPCatalog.h"

using namespace KXP;

namespace {

class BuiltinCatalog : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(builtinCatalog(supported, experimental), 0) << KXL::getErrorMessage(); }

    KXPOSMap supported;
    KXPOSMap experimental;
};

TEST_F(BuiltinCatalog, EveryEntryIsNamedAndDescribedOnce)
{
    EXPECT_FALSE(supported.empty());
    EXPECT_FALSE(experimental.empty());
    std::set<std::string> identifiers;
    std::set<unsigned int> codes;
    for (const KXPOSMap* map : {&supported, &experimental}) {
        for (const auto& [code, os] : *map) {
            SCOPED_TRACE("code " + std::to_string(code));
            EXPECT_TRUE(codes.insert(code).second) << "an OS is either supported or experimental";
            const std::string identifier = os.property1;
            EXPECT_THAT(identifier, ::testing::MatchesRegex("[a-z][a-z0-9_]*"));
            EXPECT_TRUE(identifiers.insert(identifier).second) << identifier;
            EXPECT_TRUE(os.property2.isSet());
            EXPECT_FALSE(std::string(os.property2).empty());
            EXPECT_TRUE(os.property3.isSet());
            EXPECT_TRUE(os.property4.isSet());
        }
    }
}

TEST_F(BuiltinCatalog, EmbedsTheSourceFileExactly)
{
    KXPOSMap fileSupported, fileExperimental;
    ASSERT_EQ(readCatalogFile(std::string(KXL_SOURCE_DIR) + "/host/lib/KXLFunctionalityCore/catalog.json", fileSupported,
                              fileExperimental),
              0)
        << KXL::getErrorMessage();
    auto same = [](const KXPOSMap& a, const KXPOSMap& b) {
        if (a.size() != b.size())
            return false;
        for (const auto& [code, os] : a) {
            const auto other = b.find(code);
            if (other == b.end() || std::string(os.property1) != std::string(other->second.property1) ||
                std::string(os.property2) != std::string(other->second.property2) ||
                std::string(os.property3) != std::string(other->second.property3) ||
                std::string(os.property4) != std::string(other->second.property4))
                return false;
        }
        return true;
    };
    EXPECT_TRUE(same(supported, fileSupported));
    EXPECT_TRUE(same(experimental, fileExperimental));
}

} // namespace
