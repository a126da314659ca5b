// Namespace and type stamping around a writer, for writer types whose identifiers differ
// from KXLWriterBase's defaults.
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "assertion_recorder.h"
#include "KXLMessage/KXLMessageIterator.h"
#include "recording_iterator.h"

namespace framework_test {
namespace {

using ::testing::Return;

constexpr char kNoText[] = "";
constexpr char kNamespace[] = "urn:kxl:test";
constexpr char kType[] = "testType";

// An int leaf with the given identifiers.
template <int NSID, const char* StrNSID, int TypeID, const char* StrTypeID>
struct StampedWriter : KXL::KXLWriterBase {
    static int getNSID() { return NSID; }
    static const char* getStrNSID() { return StrNSID; }
    static int getTypeID() { return TypeID; }
    static const char* getStrTypeID() { return StrTypeID; }
    int operator()(KXL::KXLMessageIterator& it, const int value) const
    {
        return it.putValue(value, 0);
    }
};

class StampingTest : public WriterTest {
protected:
    template <typename Writer>
    int write(int value)
    {
        return it.putObject(value, Writer(), 0);
    }
};

TEST_F(StampingTest, TypeIdUpToHundredIsNeverSentTypeTextIs)
{
    EXPECT_CALL(it, setType("", "testType"));
    EXPECT_CALL(it, putValue(putIntValue(1), 0));
    EXPECT_EQ((write<StampedWriter<0, kNoText, 100, kType>>(1)), 0);

    // signed comparison: a large negative id is below 100, not a huge unsigned one
    EXPECT_CALL(it, putValue(putIntValue(2), 0));
    EXPECT_EQ((write<StampedWriter<0, kNoText, -200, kNoText>>(2)), 0);
}

TEST_F(StampingTest, TypeIdAboveHundredIsSentWithNamespaceIdAndTextIgnored)
{
    EXPECT_CALL(it, setTypeID(0, 101));
    EXPECT_CALL(it, putValue(putIntValue(1), 0));
    EXPECT_EQ((write<StampedWriter<0, kNoText, 101, kType>>(1)), 0);
}

TEST_F(StampingTest, NamespaceIdWinsOverTextAndIsResetAfterWrite)
{
    EXPECT_CALL(it, setNSID(5));
    EXPECT_CALL(it, putValue(putIntValue(1), 0)).WillOnce(Return(3));
    EXPECT_CALL(it, setNSID(0));
    EXPECT_EQ((write<StampedWriter<5, kNamespace, 50, kNoText>>(1)), 3);
}

TEST_F(StampingTest, NamespaceTextIsSetByNameAndResetById)
{
    EXPECT_CALL(it, setNamespace("urn:kxl:test"));
    EXPECT_CALL(it, putValue(putIntValue(1), 0));
    EXPECT_CALL(it, setNSID(0));
    EXPECT_EQ((write<StampedWriter<0, kNamespace, 50, kNoText>>(1)), 0);
}

TEST_F(StampingTest, TypeTakesNamespaceOfItsKindAndIsNotReset)
{
    EXPECT_CALL(it, setNSID(5));
    EXPECT_CALL(it, setTypeID(5, 120));
    EXPECT_CALL(it, putValue(putIntValue(1), 0));
    EXPECT_CALL(it, setNSID(0));
    EXPECT_EQ((write<StampedWriter<5, kNoText, 120, kNoText>>(1)), 0);

    EXPECT_CALL(it, setNamespace("urn:kxl:test"));
    EXPECT_CALL(it, setType("urn:kxl:test", "testType"));
    EXPECT_CALL(it, putValue(putIntValue(2), 0));
    EXPECT_CALL(it, setNSID(0));
    EXPECT_EQ((write<StampedWriter<0, kNamespace, 7, kType>>(2)), 0);
}

TEST_F(StampingTest, TaggedPathStampsInsideTheNewChild)
{
    EXPECT_CALL(it, probeTag(1017)).WillOnce(Return(1));
    EXPECT_CALL(it, addChild(1017));
    EXPECT_CALL(it, setNSID(5));
    EXPECT_CALL(it, putValue(putIntValue(1), 0));
    EXPECT_CALL(it, setNSID(0));
    EXPECT_CALL(it, leaveChild());
    EXPECT_EQ(it.putObject(1, StampedWriter<5, kNoText, 50, kNoText>(), 1017), 0);
}

// A writer whose namespace id changes while it writes: the reset looks at the identifier
// as it is after the write, not at a copy taken before it.
struct ShiftingNamespaceWriter : KXL::KXLWriterBase {
    static int nsid;
    static int getNSID() { return nsid; }
    int operator()(KXL::KXLMessageIterator& it, const int value) const
    {
        nsid = 0;
        return it.putValue(value, 0);
    }
};
int ShiftingNamespaceWriter::nsid = 0;

TEST_F(StampingTest, IdentifiersAreReadAgainAtEveryUse)
{
    ShiftingNamespaceWriter::nsid = 8;
    EXPECT_CALL(it, setNSID(8));
    EXPECT_CALL(it, putValue(putIntValue(1), 0));
    // no setNSID(0): the namespace id reads 0 by then
    EXPECT_EQ(it.putObject(1, ShiftingNamespaceWriter(), 0), 0);
}

} // namespace
} // namespace framework_test
