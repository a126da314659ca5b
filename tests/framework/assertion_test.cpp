// The header's assertions: what abort receives, that the write goes on when abort
// returns, and that the assertions stay on the lines the host's reports name.
#include <fstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "assertion_recorder.h"
#include "KXLMessage/KXLMessageIterator.h"
#include "recording_iterator.h"

namespace framework_test {
namespace {

using ::testing::HasSubstr;
using ::testing::InSequence;
using ::testing::Return;
using KXL::KXLWriterID;
using KXL::KXLWriterSimple;

using IntWriter = KXLWriterSimple<const int>;

constexpr char kHeader[] = "KXLMessage/KXLMessageIterator.h";

class AssertionTest : public ::testing::Test {
protected:
    void SetUp() override { resetAssertionLog(); }

    StrictIterator it;
    InSequence inOrder;
};

// Exact under g++, whose __PRETTY_FUNCTION__ the host's reports were written against;
// other compilers spell signatures their own way.
void expectSignature(const std::string& signature, const std::string& gccSignature,
                     const std::string& mustContain)
{
#if defined(__GNUC__) && !defined(__clang__)
    (void)mustContain;
    EXPECT_EQ(signature, gccSignature);
#else
    (void)gccSignature;
    EXPECT_THAT(signature, HasSubstr(mustContain));
#endif
}

TEST_F(AssertionTest, EmptyTagIsReportedAndWriteGoesOn)
{
    EXPECT_CALL(it, addChild(0));
    EXPECT_CALL(it, putValue(putIntValue(5), 0)).WillOnce(Return(2));
    EXPECT_CALL(it, leaveChild());

    EXPECT_EQ(KXLWriterID(IntWriter(), 0)(it, 5u), 2);

    const auto& aborts = assertionLog().aborts;
    ASSERT_EQ(aborts.size(), 1u);
    EXPECT_EQ(aborts[0].module, "framework_writer_test");
    EXPECT_EQ(aborts[0].file, kHeader);
    EXPECT_EQ(aborts[0].line, 671);
    EXPECT_EQ(aborts[0].function, "operator()");
    expectSignature(aborts[0].signature,
                    "int KXL::KXLWriterIDT<ID, Writer, itemNSType>::operator()"
                    "(KXL::KXLMessageIterator&, const T&) const [with T = unsigned int; ID = int; "
                    "Writer = KXL::KXLWriterSimple<const int>; itemNSType = int]",
                    "KXLWriterIDT");
    EXPECT_EQ(assertionLog().falseChecks, 1);
}

constexpr char kType[] = "nullNamespaceType";

struct NullNamespaceTextWriter : KXL::KXLWriterBase {
    static const char* getStrNSID() { return nullptr; }
    static const char* getStrTypeID() { return kType; }
    int operator()(KXL::KXLMessageIterator& it, const int value) const
    {
        return it.putValue(value, 0);
    }
};

struct NullTypeTextWriter : KXL::KXLWriterBase {
    static const char* getStrTypeID() { return nullptr; }
    int operator()(KXL::KXLMessageIterator& it, const int value) const
    {
        return it.putValue(value, 0);
    }
};

TEST_F(AssertionTest, NullNamespaceTextIsReportedAndTakenAsEmpty)
{
    EXPECT_CALL(it, setType("", "nullNamespaceType"));
    EXPECT_CALL(it, putValue(putIntValue(1), 0)).WillOnce(Return(4));
    // no namespace reset: nothing was set

    EXPECT_EQ(it.putObject(1, NullNamespaceTextWriter(), 0), 4);

    const auto& aborts = assertionLog().aborts;
    ASSERT_EQ(aborts.size(), 1u);
    EXPECT_EQ(aborts[0].module, "framework_writer_test");
    EXPECT_EQ(aborts[0].file, kHeader);
    EXPECT_EQ(aborts[0].line, 853);
    EXPECT_EQ(aborts[0].function, "putObjectInternal");
    expectSignature(aborts[0].signature,
                    "int KXL::KXLMessageIterator::putObjectInternal(const T&, const Writer&) "
                    "[with T = int; Writer = framework_test::{anonymous}::NullNamespaceTextWriter]",
                    "NullNamespaceTextWriter");
}

TEST_F(AssertionTest, NullTypeTextIsReportedAndWriteGoesOn)
{
    EXPECT_CALL(it, probeTag(1017)).WillOnce(Return(1));
    EXPECT_CALL(it, addChild(1017));
    EXPECT_CALL(it, putValue(putIntValue(1), 0));
    EXPECT_CALL(it, leaveChild());

    EXPECT_EQ(it.putObject(1, NullTypeTextWriter(), 1017), 0);

    const auto& aborts = assertionLog().aborts;
    ASSERT_EQ(aborts.size(), 1u);
    EXPECT_EQ(aborts[0].line, 854);
    EXPECT_EQ(aborts[0].function, "putObjectInternal");
    expectSignature(aborts[0].signature,
                    "int KXL::KXLMessageIterator::putObjectInternal(const T&, const Writer&) "
                    "[with T = int; Writer = framework_test::{anonymous}::NullTypeTextWriter]",
                    "NullTypeTextWriter");
}

TEST_F(AssertionTest, FailureIsDecidedByDebugCheck)
{
    // conditions that hold, but the host's check says no: abort follows its answer
    assertionLog().denyChecks = true;
    EXPECT_CALL(it, putValue(putIntValue(1), 0));

    EXPECT_EQ(it.putObject(1, IntWriter(), 0), 0);

    const auto& aborts = assertionLog().aborts;
    ASSERT_EQ(aborts.size(), 2u);
    EXPECT_EQ(aborts[0].line, 853);
    EXPECT_EQ(aborts[1].line, 854);
    EXPECT_EQ(assertionLog().falseChecks, 0);
}

// The line numbers are part of what the host logs and of what its reports are matched
// against, so an edit that moves an assertion must fail here, not in the field.
TEST(AssertionLines, AssertionsStandOnTheirReportedLines)
{
    std::ifstream header(std::string(KXL_SOURCE_DIR) + "/" + kHeader);
    ASSERT_TRUE(header) << "cannot read " << KXL_SOURCE_DIR << "/" << kHeader;
    std::vector<std::string> lines;
    for (std::string line; std::getline(header, line);)
        lines.push_back(line);
    ASSERT_GE(lines.size(), 854u);

    const auto trimmed = [&](std::size_t number) {
        const std::string& line = lines[number - 1];
        const auto first = line.find_first_not_of(" \t");
        return first == std::string::npos ? std::string() : line.substr(first);
    };
    EXPECT_EQ(trimmed(671), "KXL_MESSAGE_ASSERT(!isIdEmpty(id));");
    EXPECT_EQ(trimmed(853), "KXL_MESSAGE_ASSERT(Writer::getStrNSID() != nullptr);");
    EXPECT_EQ(trimmed(854), "KXL_MESSAGE_ASSERT(Writer::getStrTypeID() != nullptr);");
}

} // namespace
} // namespace framework_test
