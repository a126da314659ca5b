// The writer kinds on their own: leaf, tagged wrapper, pair, list and map, their exact
// iterator calls and their statuses.
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "assertion_recorder.h"
#include "KXLMessage/KXLMessageIterator.h"
#include "recording_iterator.h"

namespace framework_test {
namespace {

using ::testing::Return;
using KXL::KXLWriterID;
using KXL::KXLWriterIDT;
using KXL::KXLWriterList;
using KXL::KXLWriterListT;
using KXL::KXLWriterMap;
using KXL::KXLWriterPairItem;
using KXL::KXLWriterPairItemT;
using KXL::KXLWriterSimple;

using IntWriter = KXLWriterSimple<const int>;
using TextWriter = KXLWriterSimple<const std::string&>;

// The composed types are part of the interface: modules name them in their own writers.
using KeyWriter = KXLWriterIDT<int, IntWriter, int>;
using IntMapWriter = KXLWriterListT<KXLWriterIDT<int, KXLWriterPairItemT<KeyWriter, KeyWriter>, int>>;
static_assert(std::is_same_v<KXLWriterIDT<int, IntWriter>, KeyWriter>);
static_assert(std::is_same_v<decltype(KXLWriterID(IntWriter(), 1010)), KeyWriter>);
static_assert(std::is_same_v<decltype(KXLWriterMap(1017, KXLWriterID(IntWriter(), 1010),
                                                   KXLWriterID(IntWriter(), 1010))),
                             IntMapWriter>);
static_assert(std::is_same_v<decltype(KXLWriterList(IntWriter(), 5)),
                             KXLWriterListT<KeyWriter>>);
static_assert(std::is_same_v<decltype(KXLWriterList(IntWriter())), KXLWriterListT<IntWriter>>);
static_assert(KeyWriter::getEmptyID<const int>() == 0 && KeyWriter::isIdEmpty(0) &&
              !KeyWriter::isIdEmpty(1010));
// Resolved by type: no writer kind has a virtual table.
static_assert(!std::is_polymorphic_v<IntMapWriter> && !std::is_polymorphic_v<KeyWriter> &&
              !std::is_polymorphic_v<IntWriter> && std::is_empty_v<IntWriter>);

using WriterKindsTest = WriterTest;

TEST_F(WriterKindsTest, LeafPutsIntoCurrentElementAndReturnsIteratorAnswer)
{
    EXPECT_CALL(it, putValue(putIntValue(42), 0)).WillOnce(Return(5));
    EXPECT_CALL(it, putValue(putTextValue("text"), 0)).WillOnce(Return(-3));

    EXPECT_EQ(IntWriter()(it, 42), 5);
    EXPECT_EQ(TextWriter()(it, std::string("text")), -3);
}

TEST_F(WriterKindsTest, TaggedWrapperPassesInnerStatusThroughAfterLeaving)
{
    EXPECT_CALL(it, addChild(1010));
    EXPECT_CALL(it, putValue(putIntValue(3), 0)).WillOnce(Return(7));
    EXPECT_CALL(it, leaveChild()).WillOnce(Return(9));  // not examined

    EXPECT_EQ(KXLWriterID(IntWriter(), 1010)(it, 3), 7);
}

TEST_F(WriterKindsTest, TaggedWrapperSetsGivenItemNamespaceTypeJustBeforeLeaving)
{
    EXPECT_CALL(it, addChild(1264));
    EXPECT_CALL(it, putValue(putIntValue(1), 0));
    EXPECT_CALL(it, setItemNSType(4));
    EXPECT_CALL(it, leaveChild());

    EXPECT_EQ((KXLWriterIDT<int, IntWriter>(IntWriter(), 1264, 4)(it, 1)), 0);
}

TEST_F(WriterKindsTest, PairStopsAtFailingKeyWithMinusOne)
{
    const auto pair = KXLWriterPairItem(IntWriter(), TextWriter());
    EXPECT_CALL(it, putValue(putIntValue(1), 0)).WillOnce(Return(3));
    // the value writer is not called: a putValue of text would fail the strict mock

    EXPECT_EQ(pair(it, std::make_pair(1, std::string("one"))), -1);
}

TEST_F(WriterKindsTest, PairReportsFailingValueAsMinusOneAndSuccessAsZero)
{
    const auto pair = KXLWriterPairItem(IntWriter(), TextWriter());
    EXPECT_CALL(it, putValue(putIntValue(1), 0));
    EXPECT_CALL(it, putValue(putTextValue("one"), 0)).WillOnce(Return(8));
    EXPECT_CALL(it, putValue(putIntValue(2), 0));
    EXPECT_CALL(it, putValue(putTextValue("two"), 0));

    EXPECT_EQ(pair(it, std::make_pair(1, std::string("one"))), -1);
    EXPECT_EQ(pair(it, std::make_pair(2, std::string("two"))), 0);
}

// What the vocabulary's OS maps use: the key in a 1010 child, the record's output beside
// it, all in a 1017 child per entry.
const auto kCodeMapWriter =
    KXLWriterMap(1017, KXLWriterID(IntWriter(), 1010), KXLWriterID(TextWriter(), 1026));

void expectEntry(StrictIterator& it, int code, const std::string& name)
{
    EXPECT_CALL(it, addChild(1017));
    EXPECT_CALL(it, addChild(1010));
    EXPECT_CALL(it, putValue(putIntValue(code), 0));
    EXPECT_CALL(it, leaveChild());
    EXPECT_CALL(it, addChild(1026));
    EXPECT_CALL(it, putValue(putTextValue(name), 0));
    EXPECT_CALL(it, leaveChild());
    EXPECT_CALL(it, leaveChild());
}

TEST_F(WriterKindsTest, EmptyMapMakesNoCallAndSucceeds)
{
    EXPECT_EQ(kCodeMapWriter(it, std::map<unsigned int, std::string>()), 0);
    EXPECT_EQ(it.putObject(std::map<unsigned int, std::string>(), kCodeMapWriter, 0), 0);
}

TEST_F(WriterKindsTest, MapWritesEveryEntryInAscendingKeyOrder)
{
    const std::map<unsigned int, std::string> oses{{9, "nine"}, {3, "three"}, {5, "five"}};
    expectEntry(it, 3, "three");
    expectEntry(it, 5, "five");
    expectEntry(it, 9, "nine");

    EXPECT_EQ(it.putObject(oses, kCodeMapWriter, 0), 0);
}

TEST_F(WriterKindsTest, MapStopsAfterFailingThirdKeyWhichIsStillClosed)
{
    const std::map<unsigned int, std::string> oses{
        {1, "one"}, {2, "two"}, {3, "three"}, {4, "four"}};
    expectEntry(it, 1, "one");
    expectEntry(it, 2, "two");
    EXPECT_CALL(it, addChild(1017));
    EXPECT_CALL(it, addChild(1010));
    EXPECT_CALL(it, putValue(putIntValue(3), 0)).WillOnce(Return(-5));
    EXPECT_CALL(it, leaveChild());
    EXPECT_CALL(it, leaveChild());
    // nothing of entry 3's value, nothing of entry 4

    EXPECT_EQ(it.putObject(oses, kCodeMapWriter, 0), 1);
}

TEST_F(WriterKindsTest, ListWithoutTagWritesEntriesIntoCurrentElement)
{
    EXPECT_CALL(it, putValue(putIntValue(4), 0));
    EXPECT_CALL(it, putValue(putIntValue(6), 0)).WillOnce(Return(2));

    EXPECT_EQ(it.putObject(std::vector<int>{4, 6, 8}, KXLWriterList(IntWriter()), 0), 1);
}

TEST_F(WriterKindsTest, ListWithTagGivesEachEntryItsOwnChild)
{
    for (int value : {4, 6}) {
        EXPECT_CALL(it, addChild(1264));
        EXPECT_CALL(it, putValue(putIntValue(value), 0));
        EXPECT_CALL(it, leaveChild());
    }

    EXPECT_EQ(it.putObject(std::vector<int>{4, 6}, KXLWriterList(IntWriter(), 1264), 0), 0);
}

} // namespace
} // namespace framework_test
