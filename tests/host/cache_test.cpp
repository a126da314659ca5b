// The local vocabulary cache: replacing in one step, keeping the previous vocabulary when a
// file is bad, and the process's one instance.
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/KXLError.h"
#include "host/KXLMessageFile.h"
#include "host/KXLVocCacheLocal.h"
#include "test_files.h"
#include "test_tree.h"

namespace {

using testing::AllOf;
using testing::ElementsAre;
using testing::HasSubstr;

class VocCache : public testing::Test {
protected:
    std::string saved(const std::string& fileName, const std::string& text)
    {
        const std::string path = dir.file(fileName);
        EXPECT_EQ(KXL::saveDocument(kxltest::document({kxltest::text(1264, text)}), path), 0)
            << KXL::getErrorMessage();
        return path;
    }
    static std::string textOf(const std::shared_ptr<const KXL::KXLDocument>& document)
    {
        return document ? std::string(document->root().firstChild().text()) : "<absent>";
    }

    test_files::TempFolder dir;
    KXL::KXLVocCacheLocal cache;
};

TEST_F(VocCache, GoodFileReplacesAndHoldersKeepTheirTree)
{
    ASSERT_EQ(cache.loadVocabularyFromFile(saved("a.voc", "first"), "V"), 0);
    const auto first = cache.find("V");
    ASSERT_EQ(cache.loadVocabularyFromFile(saved("b.voc", "second"), "V"), 0);
    EXPECT_EQ(textOf(cache.find("V")), "second");
    EXPECT_EQ(textOf(first), "first") << "a tree handed out stays as it was";
    ASSERT_EQ(cache.loadVocabularyFromFile(saved("c.voc", "other"), "W"), 0);
    EXPECT_THAT(cache.names(), ElementsAre("V", "W"));
    EXPECT_EQ(cache.find("X"), nullptr);
}

TEST_F(VocCache, BadOrMissingFileKeepsThePreviousVocabulary)
{
    ASSERT_EQ(cache.loadVocabularyFromFile(saved("a.voc", "kept"), "V"), 0);
    const auto before = cache.find("V");

    const std::string truncated = dir.file("truncated.voc");
    test_files::writeFile(truncated, test_files::readFile(dir.file("a.voc")).substr(0, 60));
    const std::string missing = dir.file("missing.voc");
    for (const std::string& path : {truncated, missing}) {
        EXPECT_NE(cache.loadVocabularyFromFile(path, "V"), 0);
        EXPECT_THAT(KXL::getErrorMessage(), AllOf(HasSubstr("\"V\""), HasSubstr(path)));
        EXPECT_EQ(cache.find("V"), before);
    }
    EXPECT_NE(cache.loadVocabularyFromFile(missing, "New"), 0);
    EXPECT_THAT(cache.names(), ElementsAre("V"));
}

TEST_F(VocCache, EmptyNameIsRefused)
{
    EXPECT_NE(cache.loadVocabularyFromFile(saved("a.voc", "x"), ""), 0);
    EXPECT_THAT(KXL::getErrorMessage(), HasSubstr("name is empty"));
    EXPECT_TRUE(cache.names().empty());
}

// Readers racing a loader see the old tree or the new one, whole. A missing lock seldom
// shows here; ThreadSanitizer (scripts/test.sh tsan) reports it every time.
TEST_F(VocCache, ConcurrentLoadsAndLookupsSeeWholeVocabularies)
{
    const std::string one = saved("1.voc", "one");
    const std::string two = saved("2.voc", "two");
    ASSERT_EQ(cache.loadVocabularyFromFile(one, "V"), 0);
    std::atomic<bool> torn{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                if (t % 2 == 0) {
                    cache.loadVocabularyFromFile(i % 2 ? one : two, "V");
                } else {
                    const std::string text = textOf(cache.find("V"));
                    if (text != "one" && text != "two")
                        torn = true;
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_FALSE(torn);
}

TEST(VocCacheLocal, ProcessHasOneCache)
{
    const auto first = KXL::vocCacheLocal();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(KXL::vocCacheLocal().get(), first.get());
}

} // namespace
