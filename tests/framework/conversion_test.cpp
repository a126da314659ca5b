// How objects reach a writer's value parameter: character arrays as strings up to the
// first NUL, unsigned ints as ints with the same bits, everything else by reference.
#include <climits>
#include <map>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "assertion_recorder.h"
#include "KXLMessage/KXLMessageIterator.h"
#include "recording_iterator.h"

namespace framework_test {
namespace {

using ::testing::Return;
using KXL::KXLWriterID;
using KXL::KXLWriterMap;
using KXL::KXLWriterPairItem;
using KXL::KXLWriterSimple;

using IntWriter = KXLWriterSimple<const int>;
using TextWriter = KXLWriterSimple<const std::string&>;

using ConversionTest = WriterTest;

TEST_F(ConversionTest, LiteralBecomesStringOfItsText)
{
    EXPECT_CALL(it, putValue(putTextValue(std::string("VirtIO", 6)), 0));
    EXPECT_EQ(it.putObject("VirtIO", TextWriter(), 0), 0);

    // through a wrapper, as the vocabulary writes its marks
    EXPECT_CALL(it, addChild(1264));
    EXPECT_CALL(it, putValue(putTextValue("experimental"), 0));
    EXPECT_CALL(it, leaveChild());
    EXPECT_EQ(it.putObject("experimental", KXLWriterID(TextWriter(), 1264), 0), 0);
}

TEST_F(ConversionTest, ArrayTextEndsAtFirstNulOrAtArrayEnd)
{
    EXPECT_CALL(it, putValue(putTextValue("Intel"), 0));
    EXPECT_EQ(it.putObject("Intel\0PRO", TextWriter(), 0), 0);

    // no NUL at all: the text is the whole array, never read past it
    const char unterminated[3] = {'a', 'b', 'c'};
    EXPECT_CALL(it, putValue(putTextValue("abc"), 0));
    EXPECT_EQ(it.putObject(unterminated, TextWriter(), 0), 0);
}

TEST_F(ConversionTest, UnsignedReachesIntWriterWithSameBits)
{
    EXPECT_CALL(it, putValue(putIntValue(-1), 0));
    EXPECT_CALL(it, putValue(putIntValue(INT_MIN), 0));
    EXPECT_CALL(it, putValue(putIntValue(INT_MAX), 0));
    // a leaf applied directly by a pair, not through putObject
    EXPECT_CALL(it, putValue(putIntValue(-2), 0));
    EXPECT_CALL(it, putValue(putIntValue(5), 0));

    EXPECT_EQ(it.putObject(4294967295u, IntWriter(), 0), 0);
    EXPECT_EQ(it.putObject(2147483648u, IntWriter(), 0), 0);
    EXPECT_EQ(it.putObject(2147483647u, IntWriter(), 0), 0);
    EXPECT_EQ(KXLWriterPairItem(IntWriter(), IntWriter())(it, std::make_pair(4294967294u, 5u)), 0);
}

TEST_F(ConversionTest, MapKeysAboveIntMaxBecomeNegative)
{
    const std::map<unsigned int, int> codes{{2147483648u, 1}, {4294967295u, 2}};
    for (const auto& [key, bits] : std::map<int, int>{{INT_MIN, 1}, {-1, 2}}) {
        EXPECT_CALL(it, addChild(1017));
        EXPECT_CALL(it, addChild(1010));
        EXPECT_CALL(it, putValue(putIntValue(key), 0));
        EXPECT_CALL(it, leaveChild());
        EXPECT_CALL(it, putValue(putIntValue(bits), 0));
        EXPECT_CALL(it, leaveChild());
    }

    EXPECT_EQ(it.putObject(codes, KXLWriterMap(1017, KXLWriterID(IntWriter(), 1010), IntWriter()), 0), 0);
}

// Records where its parameter lives, to tell a reference from a copy.
struct AddressWriter : KXL::KXLWriterBase {
    static const std::string* seen;
    int operator()(KXL::KXLMessageIterator&, const std::string& value) const
    {
        seen = &value;
        return 0;
    }
};
const std::string* AddressWriter::seen = nullptr;

TEST_F(ConversionTest, OtherObjectsArePassedByReference)
{
    const std::string text = "kept";
    EXPECT_EQ(it.putObject(text, AddressWriter(), 0), 0);
    EXPECT_EQ(AddressWriter::seen, &text);

    EXPECT_CALL(it, probeTag(1017)).WillOnce(Return(1));
    EXPECT_CALL(it, addChild(1017));
    EXPECT_CALL(it, addChild(1026));
    EXPECT_CALL(it, leaveChild());
    EXPECT_CALL(it, leaveChild());
    EXPECT_EQ(it.putObject(text, KXLWriterID(AddressWriter(), 1026), 1017), 0);
    EXPECT_EQ(AddressWriter::seen, &text);
}

} // namespace
} // namespace framework_test
