// Whatever a message holds comes back exactly from its saved file through the cache, and
// the file is XML that other tools accept.
#include <climits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "KXLMessage/KXLMessageIterator.h"
#include "host/KXLError.h"
#include "host/KXLMessageFile.h"
#include "host/KXLVocCacheLocal.h"
#include "TestFiles.h"
#include "TestTree.h"

extern char** environ;

namespace {

using testing::HasSubstr;

// Exit status of `xmllint --noout path`, or -1 when it could not run.
int runXmllint(const std::string& path)
{
    std::string program = KXL_XMLLINT;
    std::string noout = "--noout";
    std::string file = path;
    char* argv[] = {program.data(), noout.data(), file.data(), nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0)
        return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

class MessageRoundTrip : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(message->prepare(-7), 0);
        it.reset(message->createIterator());
        ASSERT_NE(it, nullptr);
    }

    // Saves, loads under `name` through the process's cache and returns what it holds.
    std::shared_ptr<const KXL::KXLDocument> saveAndLoad(const std::string& name)
    {
        const std::string path = dir.file(name + ".voc");
        EXPECT_EQ(message->saveToFile(path), 0) << KXL::getErrorMessage();
        EXPECT_EQ(KXL::vocCacheLocal()->loadVocabularyFromFile(path, name), 0) << KXL::getErrorMessage();
        return KXL::vocCacheLocal()->find(name);
    }

    TestFiles::TempFolder dir;
    KXL::auto_destroy message{KXL::KXLMsgFactory::createNew()};
    std::unique_ptr<KXL::KXLMessageIterator> it;
};

std::vector<std::string> awkwardTexts()
{
    std::vector<std::string> texts;
    for (int byte = 0; byte <= 0xFF; ++byte)
        texts.emplace_back(1, static_cast<char>(byte));
    std::string everyByte;
    for (int byte = 0; byte <= 0xFF; ++byte)
        everyByte += static_cast<char>(byte);
    texts.push_back(everyByte);
    texts.insert(texts.end(), {
        "",
        "\xC0\x80",         // overlong NUL
        "\xED\xA0\x80",     // UTF-16 surrogate
        "\xF4\x90\x80\x80", // beyond U+10FFFF
        "\xE2\x82",         // cut short
        "\xEF\xBF\xBE",     // U+FFFE: valid UTF-8, not an XML character
        "line\r\nend",
        "\r",
        "]]>",
        "<&>\"'",
        "  spaced  ",
        "\n",
        "\t",
        "Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x98\x80", // non-ASCII that stays plain text
        "&amp; &#65; &unknown;",
    });
    return texts;
}

TEST_F(MessageRoundTrip, EveryValueComesBackExactly)
{
    ASSERT_EQ(it->addChild(1307), 0);
    int tag = 1;
    for (const std::string& text : awkwardTexts()) {
        ASSERT_EQ(it->addChild(tag++), 0);
        ASSERT_EQ(it->putValue(text, 0), 0);
        ASSERT_EQ(it->leaveChild(), 0);
        ASSERT_EQ(it->putValue(text, tag++), 0); // the tagged form, same text
    }
    std::string plainMiB;
    for (std::size_t i = 0; plainMiB.size() < (std::size_t{1} << 20); ++i)
        plainMiB += i % 64 == 63 ? '\n' : static_cast<char>('a' + i % 26);
    std::string binaryMiB(std::size_t{1} << 20, '\0');
    std::mt19937 random(1234);
    for (char& c : binaryMiB)
        c = static_cast<char>(random());
    ASSERT_EQ(it->putValue(plainMiB, tag++), 0);
    ASSERT_EQ(it->putValue(binaryMiB, tag++), 0);

    for (const int number : {INT_MIN, INT_MIN + 1, -1, 0, 1, INT_MAX - 1, INT_MAX}) {
        ASSERT_EQ(it->putValue(number, tag++), 0);
        ASSERT_EQ(it->addChild(tag++), 0);
        ASSERT_EQ(it->putValue("replaced", 0), 0);
        ASSERT_EQ(it->putValue(number, 0), 0);
        ASSERT_EQ(it->leaveChild(), 0);
    }

    const std::vector<std::string> names = {"min_hdd_size", "with space", "a\tb\nc", "\r", "\x01",
        "<&>\"'", "\xFF", "]]>", "\xE5\x90\x8D\xE5\x89\x8D", " lead", "trail "};
    int number = INT_MIN;
    for (const std::string& name : names) {
        ASSERT_EQ(it->putValueByName(number, name), 0);
        number = number == INT_MIN ? INT_MAX : number / 2;
    }

    ASSERT_EQ(it->setNamespace("\x01"), 0);
    ASSERT_EQ(it->setType("a\tb", "\r"), 0);

    const auto loaded = saveAndLoad("roundtrip-values");
    ASSERT_NE(loaded, nullptr);
    ASSERT_STRNE(KXL_XMLLINT, "") << "xmllint was not found when the build was configured";
    EXPECT_EQ(runXmllint(dir.file("roundtrip-values.voc")), 0) << "other XML tools must accept the file";
    EXPECT_EQ(loaded->kind(), -7);
    EXPECT_TRUE(*loaded == KXL::messageDocument(*message)); // EXPECT_EQ would print 2 MiB
}

TEST_F(MessageRoundTrip, StampsComeBackExactly)
{
    ASSERT_EQ(it->addChild(1), 0);
    ASSERT_EQ(it->setNamespace("kxp"), 0);
    ASSERT_EQ(it->setNSID(INT_MIN), 0);
    ASSERT_EQ(it->setType("", "adapter"), 0);
    ASSERT_EQ(it->setTypeID(0, INT_MAX), 0);
    ASSERT_EQ(it->setItemNSType(-1), 0);
    ASSERT_EQ(it->addChild(2), 0);
    ASSERT_EQ(it->setNamespace("\xFF\r\n"), 0); // stored in base64
    ASSERT_EQ(it->setType("ns\x01", "t<&>\"\r"), 0);
    ASSERT_EQ(it->leaveChild(), 0);
    ASSERT_EQ(it->addChild(3), 0);
    ASSERT_EQ(it->setNamespace("gone"), 0);
    ASSERT_EQ(it->setNSID(0), 0);

    const auto loaded = saveAndLoad("roundtrip-stamps");
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(kxltest::plain(*loaded), kxltest::plain(KXL::messageDocument(*message)));
}

TEST_F(MessageRoundTrip, FileUsesTheDocumentedFormat)
{
    ASSERT_EQ(it->addChild(1307), 0);
    ASSERT_EQ(it->addChild(1044), 0);
    ASSERT_EQ(it->addChild(1017), 0);
    ASSERT_EQ(it->putValue(3, 1010), 0);
    ASSERT_EQ(it->putValue("guest_os_type", 1264), 0);
    ASSERT_EQ(it->putValue(std::string("\x01\x02\x03"), 1026), 0);
    ASSERT_EQ(it->putValueByName(100, "min_hdd_size"), 0);
    ASSERT_EQ(it->putValueByName(1, "\r"), 0);
    ASSERT_EQ(it->setNSID(5), 0);
    const std::string path = dir.file("format.voc");
    ASSERT_EQ(message->saveToFile(path), 0) << KXL::getErrorMessage();

    const std::string file = TestFiles::readFile(path);
    EXPECT_EQ(file.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<message format=\"1\" kind=\"-7\">", 0), 0u)
        << file;
    EXPECT_THAT(file, HasSubstr("<element tag=\"1017\" nsid=\"5\">"));
    EXPECT_THAT(file, HasSubstr("<int>3</int>"));
    EXPECT_THAT(file, HasSubstr("<string>guest_os_type</string>"));
    EXPECT_THAT(file, HasSubstr("<string encoding=\"base64\">AQID</string>"));
    EXPECT_THAT(file, HasSubstr("<named name=\"min_hdd_size\">100</named>"));
    EXPECT_THAT(file, HasSubstr("<named name-base64=\"DQ==\">1</named>"));
}

} // namespace
