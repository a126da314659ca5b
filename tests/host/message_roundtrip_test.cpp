// Whatever a message holds comes back exactly from its saved file through the cache, and
// the file is XML that other tools accept and that the published schema
// (schema/voc-format-1.rng) describes: every file saved here is validated against it.
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
#include "host/KXLMessageTree.h"
#include "host/KXLVocCacheLocal.h"
#include "test_files.h"
#include "test_tree.h"

extern char** environ;

namespace {

using testing::HasSubstr;

// Exit status of `xmllint --noout [--relaxng schema] path`, or -1 when it could not run.
// Its diagnostics go to the test's standard error.
int runXmllint(const std::string& path, bool withSchema)
{
    std::vector<std::string> args = {KXL_XMLLINT, "--noout"};
    if (withSchema)
        args.insert(args.end(), {"--relaxng", KXL_VOC_SCHEMA});
    args.push_back(path);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// Checks the saved file at path against the schema.
void expectSchemaValid(const std::string& path)
{
    ASSERT_STRNE(KXL_XMLLINT, "") << "xmllint was not found when the build was configured";
    EXPECT_EQ(runXmllint(path, true), 0) << path << " does not match " << KXL_VOC_SCHEMA;
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
        expectSchemaValid(path);
        return KXL::vocCacheLocal()->find(name);
    }

    test_files::TempFolder dir;
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
    EXPECT_EQ(runXmllint(dir.file("roundtrip-values.voc"), false), 0) << "other XML tools must accept the file";
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
    EXPECT_EQ(*loaded, KXL::messageDocument(*message));
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
    expectSchemaValid(path);

    const std::string file = test_files::readFile(path);
    EXPECT_EQ(file.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<message format=\"1\" kind=\"-7\">", 0), 0u)
        << file;
    EXPECT_THAT(file, HasSubstr("<element tag=\"1017\" nsid=\"5\">"));
    EXPECT_THAT(file, HasSubstr("<int>3</int>"));
    EXPECT_THAT(file, HasSubstr("<string>guest_os_type</string>"));
    EXPECT_THAT(file, HasSubstr("<string encoding=\"base64\">AQID</string>"));
    EXPECT_THAT(file, HasSubstr("<named name=\"min_hdd_size\">100</named>"));
    EXPECT_THAT(file, HasSubstr("<named name-base64=\"DQ==\">1</named>"));
}

// The schema is no looser than the reader: a saved file with one rule broken is refused
// by both. (The nesting depth and the file size are the reader's alone; the schema says so.)
TEST_F(MessageRoundTrip, SchemaRefusesWhatTheReaderRefuses)
{
    ASSERT_EQ(it->addChild(1307), 0);
    ASSERT_EQ(it->setNSID(4), 0);
    ASSERT_EQ(it->setTypeID(1, 2), 0);
    ASSERT_EQ(it->putValue(std::string("\x01"), 0), 0);
    ASSERT_EQ(it->putValueByName(100, "min_hdd_size"), 0);
    ASSERT_EQ(it->putValue(7, 1010), 0);
    const std::string good = dir.file("good.voc");
    ASSERT_EQ(message->saveToFile(good), 0) << KXL::getErrorMessage();
    const std::string saved = test_files::readFile(good);
    expectSchemaValid(good);

    struct Break {
        const char* label;
        std::string from;
        std::string to;
    };
    const Break breaks[] = {
        {"format 2", "format=\"1\"", "format=\"2\""},
        {"kind beyond 32 bits", "kind=\"-7\"", "kind=\"2147483648\""},
        {"tag 0", "tag=\"1010\"", "tag=\"0\""},
        {"int with a plus sign", "<int>7</int>", "<int>+7</int>"},
        {"int -0", "<int>7</int>", "<int>-0</int>"},
        {"int with leading zeros", "<int>7</int>", "<int>007</int>"},
        {"tag with a leading zero", "tag=\"1010\"", "tag=\"01010\""},
        {"nsid 0", "nsid=\"4\"", "nsid=\"0\""},
        {"nsid with a leading zero", "nsid=\"4\"", "nsid=\"04\""},
        {"typeid alone", " type-nsid=\"1\"", ""},
        {"type without its namespace", "nsid=\"4\"", "nsid=\"4\" type=\"t\""},
        {"unknown attribute", "tag=\"1307\"", "tag=\"1307\" colour=\"red\""},
        {"value after a child", "100</named>", "100</named><int>1</int>"},
        {"base64 with loose bits", "AQ==", "AR=="},
        {"unknown encoding", "encoding=\"base64\"", "encoding=\"hex\""},
        {"named with two names", "name=\"min_hdd_size\"", "name=\"a\" name-base64=\"YQ==\""},
        {"named without a number", ">100</named>", "></named>"},
    };
    for (const Break& b : breaks) {
        SCOPED_TRACE(b.label);
        std::string broken = saved;
        const std::size_t at = broken.find(b.from);
        ASSERT_NE(at, std::string::npos) << saved;
        broken.replace(at, b.from.size(), b.to);
        const std::string path = dir.write("broken.voc", broken);
        KXL::KXLDocument document;
        EXPECT_NE(KXL::loadDocument(path, document), 0) << broken;
        EXPECT_EQ(runXmllint(path, true), 3) << broken; // 3: does not validate
    }
}

// A document far past its first node block and text chunk, with a text larger than the
// pieces it is stored in: every value reads back after a move and through a file.
TEST(LargeDocument, EveryNodeAndTextSurvivesMoveAndFile)
{
    constexpr int kEntries = 120000; // about 15 node blocks, several text chunks
    KXL::KXLDocument built;
    const auto top = built.appendElement(KXL::KXLDocument::kRoot, 1307);
    for (int i = 0; i < kEntries; ++i) {
        const auto entry = built.appendElement(top, 1017);
        built.setText(built.appendElement(entry, 1846), "os" + std::to_string(i) + std::string(i % 40, 'x'));
        built.appendNamed(entry, "n" + std::to_string(i % 7), i);
    }
    // With its 4-byte length, a whole number of text chunks larger than a huge-page region.
    const std::string huge((std::size_t{5} << 20) - 4, 'h');
    built.setText(built.appendElement(top, 1026), huge);

    const KXL::KXLDocument moved(std::move(built));
    EXPECT_TRUE(built.empty());
    EXPECT_FALSE(built.root().nextSibling()); // the root is nobody's child
    EXPECT_FALSE(moved.root().nextSibling());
    int i = 0;
    for (KXL::KXLNodeRef entry : moved.root().firstChild().children()) {
        if (i == kEntries) {
            EXPECT_EQ(entry.text(), huge);
            ++i;
            continue;
        }
        const KXL::KXLNodeRef leaf = entry.firstChild();
        ASSERT_EQ(leaf.text(), "os" + std::to_string(i) + std::string(i % 40, 'x'));
        ASSERT_EQ(leaf.nextSibling().name(), "n" + std::to_string(i % 7));
        ASSERT_EQ(leaf.nextSibling().number(), i);
        ASSERT_FALSE(leaf.nextSibling().nextSibling());
        ++i;
    }
    EXPECT_EQ(i, kEntries + 1); // the entries, then the huge text, then nothing

    test_files::TempFolder dir;
    const std::string path = dir.file("large.voc");
    ASSERT_EQ(KXL::saveDocument(moved, path), 0) << KXL::getErrorMessage();
    KXL::KXLDocument loaded;
    ASSERT_EQ(KXL::loadDocument(path, loaded), 0) << KXL::getErrorMessage();
    EXPECT_TRUE(loaded == moved);
}

} // namespace
