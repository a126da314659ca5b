// The strict .voc reader: what it accepts besides its own output, and the malformed and
// hostile files it refuses with a reason instead of misreading or crashing.
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/KXLError.h"
#include "host/KXLMessageFile.h"
#include "test_files.h"
#include "test_tree.h"

namespace {

using kxltest::element;
using kxltest::named;
using kxltest::text;
using testing::AllOf;
using testing::HasSubstr;

std::string voc(const std::string& inside)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<message format=\"1\" kind=\"0\">\n" + inside +
        "\n</message>\n";
}

std::string nested(int depth)
{
    std::string text;
    for (int i = 0; i < depth; ++i)
        text += "<element tag=\"1\">";
    for (int i = 0; i < depth; ++i)
        text += "</element>";
    return text;
}

// A document the failed load must leave alone.
KXL::KXLDocument sentinel()
{
    return kxltest::document({text(5, "before")}, 99);
}

TEST(VocReader, AcceptsOtherToolsSpellingOfTheSameContent)
{
    test_files::TempFolder dir;
    const std::string path = dir.file("hand.voc");
    // No declaration, no indentation, CDATA, character references, single quotes, CR LF.
    test_files::writeFile(path,
        "<message kind='3' format='1'><element tag='10'>"
        "<string>a<![CDATA[<b>]]>&#x43;&#100;&lt;&amp;</string>"
        "<named name='x&#9;y'>0</named><element tag='+1'/></element></message>");
    KXL::KXLDocument document = sentinel();
    EXPECT_NE(KXL::loadDocument(path, document), 0);
    EXPECT_THAT(KXL::getErrorMessage(), HasSubstr("\"+1\" is not a decimal number"));

    test_files::writeFile(path,
        "\xEF\xBB\xBF<message kind = '3'\r\n format='1' ><element tag='10'>"
        "<string>a<![CDATA[<b>]]>&#x43;&#100;&lt;&amp;</string>"
        "<named name='x&#9;y'>0</named><element tag='11'>\r\n  \n</element ></element></message >");
    ASSERT_EQ(KXL::loadDocument(path, document), 0) << KXL::getErrorMessage();
    EXPECT_EQ(document,
              kxltest::document({text(10, "a<b>Cd<&", {named("x\ty", 0), element(11)})}, 3));
}

TEST(VocReader, DeepestAllowedNestingLoads)
{
    test_files::TempFolder dir;
    const std::string path = dir.file("deep.voc");
    test_files::writeFile(path, voc(nested(256)));
    KXL::KXLDocument document;
    ASSERT_EQ(KXL::loadDocument(path, document), 0) << KXL::getErrorMessage();
    int depth = 0;
    for (KXL::KXLNodeRef node = document.root().firstChild(); node; node = node.firstChild())
        ++depth;
    EXPECT_EQ(depth, 256);
}

// Each control character, wherever it falls in a text, is refused unless it is TAB, LF or CR.
TEST(VocReader, ControlCharactersAreRefusedWhereverTheyFallInAWord)
{
    test_files::TempFolder dir;
    const std::string path = dir.file("control.voc");
    for (int c = 0; c < 0x20; ++c) {
        const bool allowed = c == '\t' || c == '\n' || c == '\r';
        for (std::size_t at = 0; at < 16; ++at) {
            std::string text(24, 'a');
            text[at] = static_cast<char>(c);
            test_files::writeFile(path, voc("<element tag=\"1\"><string>" + text + "</string></element>"));
            KXL::KXLDocument document;
            const int status = KXL::loadDocument(path, document);
            EXPECT_EQ(status == 0, allowed) << "byte " << c << " at " << at << ": " << KXL::getErrorMessage();
            if (!allowed) {
                EXPECT_THAT(KXL::getErrorMessage(), HasSubstr("not XML 1.0 characters"));
            }
        }
    }
}

// The window has moved far past the start of the file: an error there still names its
// line and column.
TEST(VocReader, ErrorsPastGivenBackPagesNameTheirLine)
{
    test_files::TempFolder dir;
    const std::string path = dir.file("large.voc");
    std::string inside = "<element tag=\"1\">\n";
    for (int i = 0; i < 1000000; ++i)
        inside += "  <element tag=\"2\"/>\n"; // 21 MB in all
    test_files::writeFile(path, voc(inside + "  </elemnt>"));
    KXL::KXLDocument document;
    EXPECT_NE(KXL::loadDocument(path, document), 0);
    EXPECT_THAT(KXL::getErrorMessage(), HasSubstr("line 1000004, column 3: not well-formed XML"));
}

struct BadFile {
    const char* label;
    std::string content;
    std::string reason; // a fragment the error text must hold
};

void PrintTo(const BadFile& bad, std::ostream* out)
{
    *out << bad.label;
}

class VocReaderRejects : public testing::TestWithParam<BadFile> {};

TEST_P(VocReaderRejects, NamesPathAndReasonAndKeepsTheDocument)
{
    test_files::TempFolder dir;
    const std::string path = dir.file("bad.voc");
    test_files::writeFile(path, GetParam().content);
    KXL::KXLDocument document = sentinel();
    EXPECT_NE(KXL::loadDocument(path, document), 0);
    EXPECT_THAT(KXL::getErrorMessage(), AllOf(HasSubstr("\"" + path + "\""), HasSubstr(GetParam().reason)));
    EXPECT_EQ(document, sentinel());
}

const std::string kGood = voc("<element tag=\"1017\"><int>3</int><named name=\"n\">1</named></element>");

INSTANTIATE_TEST_SUITE_P(Malformed, VocReaderRejects, testing::Values(
    BadFile{"Empty", "", "empty"},
    BadFile{"Truncated", kGood.substr(0, kGood.size() / 2), "truncated"},
    BadFile{"BrokenTag", voc("<element tag=\"1\"></elemnt>"), "line 3, column"},
    BadFile{"UnknownFormat", "<message format=\"2\" kind=\"0\"/>", "unsupported format \"2\""},
    BadFile{"MissingFormat", "<message kind=\"0\"/>", "\"format\""},
    BadFile{"WrongRoot", "<vocabulary/>", "expected <message>"},
    BadFile{"TwoRoots", voc("") + "<message format=\"1\" kind=\"0\"/>", "more than one"},
    BadFile{"TextAfterRoot", voc("") + "junk", "text outside"},
    BadFile{"NulAfterRoot", voc("") + std::string("\0junk", 5), "line 5: bytes that are not UTF-8"},
    BadFile{"NotUtf8AfterRoot", voc("") + "\n\xFF", "line 6: bytes that are not UTF-8"},
    BadFile{"Latin1Declared", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><message format=\"1\" kind=\"0\"/>",
            "encoding"},
    BadFile{"IntTooLarge", voc("<element tag=\"1\"><int>2147483648</int></element>"), "outside the signed 32-bit range"},
    BadFile{"IntBelowRange", voc("<element tag=\"1\"><int>-2147483649</int></element>"), "outside the signed 32-bit range"},
    BadFile{"IntHex", voc("<element tag=\"1\"><int>0x10</int></element>"), "not a decimal"},
    BadFile{"TagHuge", voc("<element tag=\"99999999999\"/>"), "outside the signed 32-bit range"},
    BadFile{"TagZero", voc("<element tag=\"0\"/>"), "not positive"},
    BadFile{"Base64Short", voc("<element tag=\"1\"><string encoding=\"base64\">AQI</string></element>"), "base64"},
    BadFile{"Base64LooseBits", voc("<element tag=\"1\"><string encoding=\"base64\">AR==</string></element>"), "base64"},
    BadFile{"UnknownEncoding", voc("<element tag=\"1\"><string encoding=\"hex\">41</string></element>"), "encoding"},
    BadFile{"UnknownElement", voc("<element tag=\"1\"><float>1</float></element>"), "unexpected <float>"},
    BadFile{"UnknownAttribute", voc("<element tag=\"1\" colour=\"red\"/>"), "unexpected attribute \"colour\""},
    BadFile{"RepeatedAttribute", voc("<element tag=\"1\" tag=\"2\"/>"), "repeated"},
    BadFile{"ValueAfterChild", voc("<element tag=\"1\"><named name=\"n\">1</named><int>2</int></element>"),
            "first child"},
    BadFile{"TextInElement", voc("<element tag=\"1\">loose</element>"), "unexpected text"},
    BadFile{"NamedWithoutName", voc("<element tag=\"1\"><named>1</named></element>"), "non-empty name"},
    BadFile{"NamedTwoNames", voc("<element tag=\"1\"><named name=\"a\" name-base64=\"YQ==\">1</named></element>"),
            "both"},
    BadFile{"TypeWithoutNamespace", voc("<element tag=\"1\" type=\"t\"/>"), "only together"},
    BadFile{"NsidZero", voc("<element tag=\"1\" nsid=\"0\"/>"), "nsid"},
    BadFile{"ControlByte", voc("<element tag=\"1\"><string>a\x01</string></element>"), "not XML 1.0 characters"},
    BadFile{"InvalidUtf8", voc("<element tag=\"1\"><string>\xC3(</string></element>"), "not UTF-8"},
    BadFile{"NulReference", voc("<element tag=\"1\"><string>&#0;</string></element>"), "&#0;"},
    BadFile{"ReferenceBeyondUnicode", voc("<element tag=\"1\"><string>&#x110000;</string></element>"), "&#x110000;"},
    // 2^32 + 65: a parse that wraps would take it for 'A'.
    BadFile{"ReferenceBeyond32Bits", voc("<element tag=\"1\"><string>&#4294967361;</string></element>"), "invalid"},
    BadFile{"UnknownEntity", voc("<element tag=\"1\"><string>&nbsp;</string></element>"), "&nbsp;"},
    // Lines and columns as expat counts them: a lone CR ends a line, a character is a column.
    BadFile{"LoneCrLineEnds", "<message format=\"1\" kind=\"0\">\r<element tag=\"1\">\r</elemnt>\r</message>\r",
            "line 3, column 1: not well-formed XML"},
    BadFile{"CharactersBeforeTheError",
            voc("<element tag=\"1\"><named name=\"\xC3\xA9\xF0\x9F\x98\x80<\">1</named></element>"),
            "line 3, column 33: not well-formed XML ('<'"},
    BadFile{"LessThanInAttribute", voc("<element tag=\"1\">\n<named name=\"abc>1</named>\n</element>"),
            "line 4, column 19: not well-formed XML ('<' in an attribute value)"},
    BadFile{"BareAmpersand", voc("<element tag=\"1\"><named name=\"a&b\">1</named></element>"), "'&'"},
    BadFile{"LeadingZero", voc("<element tag=\"0011\"/>"), "\"0011\" is not a decimal number"},
    BadFile{"MinusZero", voc("<element tag=\"1\"><named name=\"n\">-0</named></element>"), "\"-0\" is not"},
    BadFile{"Comment", voc("<element tag=\"1\"><!-- a -- b --></element>"), "comments are not allowed"},
    BadFile{"CommentFirst", "<!-- c -->" + voc(""), "comments are not allowed"},
    BadFile{"CommentInText", voc("<element tag=\"1\"><string>a<!--x-->b</string></element>"), "comments are not allowed"},
    BadFile{"ProcessingInstruction", voc("<element tag=\"1\"><?php echo 1 ?></element>"), "processing instructions"},
    BadFile{"ReservedTarget", voc("<?xml-model href=\"x\"?>"), "processing instructions"},
    BadFile{"DeclarationNotFirst", "\n" + voc(""), "must open the file"},
    BadFile{"DeclarationWithoutVersion", "<?xml encoding=\"UTF-8\"?><message format=\"1\" kind=\"0\"/>",
            "version first"},
    BadFile{"DeclarationOutOfOrder",
            "<?xml version=\"1.0\" standalone=\"yes\" encoding=\"UTF-8\"?><message format=\"1\" kind=\"0\"/>",
            "version first"},
    BadFile{"MismatchedEnd", voc("<element tag=\"1\"><string>x</int></element>"), "does not match"},
    // Names in error texts are cut short as values are.
    BadFile{"LongAttributeName", voc("<element tag=\"1\" " + std::string(100, 'a') + "=\"1\"/>"),
            "unexpected attribute \"" + std::string(40, 'a') + "...\" on <element>"},
    BadFile{"LongElementName", voc("<element tag=\"1\"><" + std::string(100, 'b') + "/></element>"),
            "unexpected <" + std::string(40, 'b') + "...> inside <element>"},
    BadFile{"LongEndTag", voc("<element tag=\"1\"></" + std::string(100, 'c') + ">"),
            "end tag </" + std::string(40, 'c') + "...> does not match <element>"},
    BadFile{"LongDeclarationKey",
            "<?xml version=\"1.0\" " + std::string(100, 'k') + "=\"x\"?><message format=\"1\" kind=\"0\"/>",
            "declaration " + std::string(40, 'k') + "...=\"x\" (expected"},
    // Error texts hold no NUL (getErrorMessage would end there) and no control byte.
    BadFile{"NulInName", voc("<element tag=\"1\"><named name-base64=\"QQBC\">x</named></element>"),
            "value of <named> \"A\\x00B\" \"x\" is not a decimal number"},
    BadFile{"TabInInt", voc("<element tag=\"1\"><int>\t1</int></element>"), "\"\\t1\" is not a decimal number"},
    BadFile{"LineFeedInReference", voc("<element tag=\"1\"><string>&a\nb;</string></element>"),
            "reference \"&a\\nb;\""}),
    [](const auto& info) { return std::string(info.param.label); });

INSTANTIATE_TEST_SUITE_P(Hostile, VocReaderRejects, testing::Values(
    BadFile{"Doctype", "<!DOCTYPE message>\n" + voc(""), "DOCTYPE"},
    BadFile{"EntityExpansion",
            "<!DOCTYPE message [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
            "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>\n" +
                voc("<element tag=\"1\"><string>&c;&c;&c;&c;</string></element>"),
            "DOCTYPE"},
    BadFile{"OneTooDeep", voc(nested(257)), "deeper than 256"},
    BadFile{"VeryDeep", voc(nested(200000)), "deeper than 256"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(VocReader, FilesThatAreNotFilesAreRefusedWithoutBlocking)
{
    test_files::TempFolder dir;
    KXL::KXLDocument document = sentinel();
    const std::string missing = dir.file("missing.voc");
    EXPECT_NE(KXL::loadDocument(missing, document), 0);
    EXPECT_THAT(KXL::getErrorMessage(), AllOf(HasSubstr(missing), HasSubstr("No such file or directory")));

    EXPECT_NE(KXL::loadDocument(dir.path(), document), 0);
    EXPECT_THAT(KXL::getErrorMessage(), HasSubstr("folder"));

    const std::string huge = dir.file("huge.voc"); // sparse: refused before a byte is read
    test_files::writeFile(huge, "");
    ASSERT_EQ(::truncate(huge.c_str(), static_cast<off_t>(KXL::kMaxVocFileSize) + 1), 0);
    EXPECT_NE(KXL::loadDocument(huge, document), 0);
    EXPECT_THAT(KXL::getErrorMessage(), HasSubstr("larger than 1024 MiB"));

    const std::string fifo = dir.file("fifo.voc"); // no writer: a blocking open would hang
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_NE(KXL::loadDocument(fifo, document), 0);
    EXPECT_THAT(KXL::getErrorMessage(), HasSubstr("not a regular file"));
    EXPECT_EQ(document, sentinel());
}

} // namespace
