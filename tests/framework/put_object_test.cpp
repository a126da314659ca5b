// putObject's two paths: untagged (the writer alone) and tagged (probe, child, write).
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
using KXL::KXLWriterSimple;

using IntWriter = KXLWriterSimple<const int>;
using TextWriter = KXLWriterSimple<const std::string&>;

using PutObjectTest = WriterTest;

TEST_F(PutObjectTest, UntaggedMakesNoCallOfItsOwn)
{
    EXPECT_CALL(it, putValue(putIntValue(12), 0));
    EXPECT_EQ(it.putObject(12, IntWriter(), 0), 0);

    // an already tagged writer: its child only, no probe
    EXPECT_CALL(it, addChild(1264));
    EXPECT_CALL(it, putValue(putTextValue("experimental"), 0));
    EXPECT_CALL(it, leaveChild());
    EXPECT_EQ(it.putObject(std::string("experimental"), KXLWriterID(TextWriter(), 1264), 0), 0);

    // every assertion went through Debug::check: putObjectInternal's two per writer
    // applied, and the wrapper's one
    EXPECT_EQ(assertionLog().checks, 2 + (2 + 1 + 2));
    EXPECT_EQ(assertionLog().falseChecks, 0);
}

TEST_F(PutObjectTest, TaggedProbesThenWritesInsideChild)
{
    EXPECT_CALL(it, probeTag(1017)).WillOnce(Return(1));
    EXPECT_CALL(it, addChild(1017));
    EXPECT_CALL(it, putValue(putTextValue("version"), 0));
    EXPECT_CALL(it, leaveChild());

    EXPECT_EQ(it.putObject(std::string("version"), TextWriter(), 1017), 0);
}

TEST_F(PutObjectTest, RejectedProbeIsReportedOnceAndWriteGoesOn)
{
    EXPECT_CALL(it, probeTag(1017)).WillOnce(Return(0));
    EXPECT_CALL(it, onTagRejected()).WillOnce(Return(-9));  // not examined
    EXPECT_CALL(it, addChild(1017));
    EXPECT_CALL(it, putValue(putTextValue("version"), 0));
    EXPECT_CALL(it, leaveChild());

    EXPECT_EQ(it.putObject(std::string("version"), TextWriter(), 1017), 0);
}

TEST_F(PutObjectTest, TaggedWithTaggedWriterNestsTwoElementsProbingOnlyOuter)
{
    EXPECT_CALL(it, probeTag(1307)).WillOnce(Return(-1));  // any non-zero accepts
    EXPECT_CALL(it, addChild(1307));
    EXPECT_CALL(it, addChild(1010));
    EXPECT_CALL(it, putValue(putIntValue(3), 0));
    EXPECT_CALL(it, leaveChild());
    EXPECT_CALL(it, leaveChild());

    EXPECT_EQ(it.putObject(3, KXLWriterID(IntWriter(), 1010), 1307), 0);
}

TEST_F(PutObjectTest, WriterStatusComesBackUnchangedOnBothPaths)
{
    EXPECT_CALL(it, putValue(putIntValue(1), 0)).WillOnce(Return(-1));
    EXPECT_EQ(it.putObject(1, IntWriter(), 0), -1);

    EXPECT_CALL(it, probeTag(1017)).WillOnce(Return(1));
    EXPECT_CALL(it, addChild(1017)).WillOnce(Return(4));
    EXPECT_CALL(it, putValue(putIntValue(1), 0)).WillOnce(Return(-1));
    EXPECT_CALL(it, leaveChild()).WillOnce(Return(6));
    EXPECT_EQ(it.putObject(1, IntWriter(), 1017), -1);
}

} // namespace
} // namespace framework_test
