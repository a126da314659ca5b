#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "host/KXLGUIDBase.h"

using KXL::KXLGUIDBase;

namespace {

TEST(GUID, DefaultIsNil)
{
    EXPECT_EQ(KXLGUIDBase().toString(), "00000000-0000-0000-0000-000000000000");
}

TEST(GUID, GeneratedAreRandomVersion4InLowerCaseText)
{
    KXLGUIDBase guid;
    ASSERT_EQ(guid.generate(), 0);
    // RFC 4122 random GUID: version nibble 4, variant bits 10.
    EXPECT_THAT(guid.toString(),
                ::testing::MatchesRegex("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}"));
}

TEST(GUID, EveryGenerateGivesAFreshValue)
{
    std::set<std::string> seen;
    KXLGUIDBase reused;
    for (int i = 0; i < 1000; ++i) {
        KXLGUIDBase fresh;
        ASSERT_EQ(fresh.generate(), 0);
        seen.insert(fresh.toString());
        ASSERT_EQ(reused.generate(), 0);
        seen.insert(reused.toString());
    }
    EXPECT_EQ(seen.size(), 2000u);
}

} // namespace
