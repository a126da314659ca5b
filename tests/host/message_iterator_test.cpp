// Tree semantics of the message and its iterators, and the statuses of misuse.
#include <memory>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "KXLMessage/KXLMessageIterator.h"
#include "host/KXLError.h"
#include "host/KXLMessageFile.h"
#include "test_tree.h"

namespace {

using kxltest::element;
using kxltest::named;
using kxltest::number;
using kxltest::text;
using testing::HasSubstr;

class MessageTree : public testing::Test {
protected:
    void SetUp() override
    {
        message = KXL::KXLMsgFactory::createNew();
        ASSERT_NE(message, nullptr);
        ASSERT_EQ(message->prepare(0), 0);
        it.reset(message->createIterator());
        ASSERT_NE(it, nullptr);
    }
    void TearDown() override
    {
        it.reset();
        message->destroy();
    }
    const KXL::KXLDocument& doc() const { return KXL::messageDocument(*message); }

    KXL::KXLMessage* message = nullptr;
    std::unique_ptr<KXL::KXLMessageIterator> it;
};

TEST_F(MessageTree, NestedWriteLeavesFormerElementCurrent)
{
    ASSERT_EQ(it->addChild(1307), 0);
    ASSERT_EQ(it->addChild(1044), 0);
    ASSERT_EQ(it->addChild(1264), 0);
    ASSERT_EQ(it->putValue("experimental", 0), 0);
    ASSERT_EQ(it->leaveChild(), 0);
    // Lands in 1044 only if 1044 is current again.
    ASSERT_EQ(it->putValue(7, 1010), 0);

    EXPECT_EQ(doc(), kxltest::document({element(
                         1307, {element(1044, {text(1264, "experimental"), number(1010, 7)})})}));
}

TEST_F(MessageTree, ValuesChildrenAndNamedValuesKeepWriteOrder)
{
    ASSERT_EQ(it->addChild(1017), 0);
    ASSERT_EQ(it->putValue("first", 0), 0);
    ASSERT_EQ(it->putValue(42, 0), 0); // replaces the string
    ASSERT_EQ(it->putValueByName(100, "min_hdd_size"), 0);
    ASSERT_EQ(it->putValue("Ubuntu", 1026), 0);
    ASSERT_EQ(it->putValueByName(-1, "min_hdd_size"), 0); // names need not be unique
    ASSERT_EQ(it->leaveChild(), 0);
    ASSERT_EQ(it->addChild(1017), 0); // a second top-level element

    EXPECT_EQ(doc(), kxltest::document({number(1017, 42,
                                               {named("min_hdd_size", 100), text(1026, "Ubuntu"),
                                                named("min_hdd_size", -1)}),
                                        element(1017)}));
}

TEST_F(MessageTree, StampsRecordedAndNamespaceResetBySetNSIDZero)
{
    ASSERT_EQ(it->addChild(1), 0);
    ASSERT_EQ(it->setNamespace("kxp"), 0);
    ASSERT_EQ(it->setNSID(5), 0);
    ASSERT_EQ(it->setType("", "adapter"), 0);
    ASSERT_EQ(it->setTypeID(0, 101), 0);
    ASSERT_EQ(it->setItemNSType(3), 0);

    KXL::KXLStamps stamps = doc().root().firstChild().stamps().value_or(KXL::KXLStamps());
    EXPECT_EQ(stamps.ns, "kxp");
    EXPECT_EQ(stamps.nsid, 5);
    EXPECT_EQ(stamps.type, std::make_pair(std::string(), std::string("adapter")));
    EXPECT_EQ(stamps.typeId, std::make_pair(0, 101));
    EXPECT_EQ(stamps.itemNSType, 3);

    ASSERT_EQ(it->setNSID(0), 0);
    stamps = doc().root().firstChild().stamps().value_or(KXL::KXLStamps());
    EXPECT_FALSE(stamps.ns.has_value());
    EXPECT_FALSE(stamps.nsid.has_value());
    EXPECT_TRUE(stamps.type.has_value()) << "the type is not part of the namespace reset";
}

// Equal stamps set in a row are stored once; stamping one of those elements further must
// leave the other as it was, whether the text or the numbers change.
TEST_F(MessageTree, ElementsWithEqualStampsKeepTheirOwnWhenOneIsStampedFurther)
{
    ASSERT_EQ(it->addChild(1), 0);
    ASSERT_EQ(it->setNSID(5), 0);
    ASSERT_EQ(it->leaveChild(), 0);
    ASSERT_EQ(it->addChild(2), 0);
    ASSERT_EQ(it->setNSID(5), 0);
    ASSERT_EQ(it->setNamespace("kxp"), 0);
    ASSERT_EQ(it->leaveChild(), 0);
    ASSERT_EQ(it->addChild(3), 0);
    ASSERT_EQ(it->setNamespace("kxp"), 0);
    ASSERT_EQ(it->setType("kxp", "adapter"), 0);
    ASSERT_EQ(it->setNSID(0), 0);
    ASSERT_EQ(it->leaveChild(), 0);
    ASSERT_EQ(it->addChild(4), 0);
    ASSERT_EQ(it->setType("kxp", "adapter"), 0);
    ASSERT_EQ(it->setItemNSType(0), 0);
    ASSERT_EQ(it->setType("", "bus"), 0);
    ASSERT_EQ(it->leaveChild(), 0);
    ASSERT_EQ(it->addChild(5), 0);
    ASSERT_EQ(it->setNSID(7), 0);
    ASSERT_EQ(it->addChild(6), 0);
    ASSERT_EQ(it->setNSID(7), 0);
    ASSERT_EQ(it->leaveChild(), 0);
    ASSERT_EQ(it->setNSID(8), 0); // the parent again, after its child took the same stamps
    ASSERT_EQ(it->leaveChild(), 0);
    ASSERT_EQ(it->addChild(7), 0);
    ASSERT_EQ(it->addChild(8), 0);
    ASSERT_EQ(it->setNSID(9), 0);
    ASSERT_EQ(it->putValue("after the stamps", 0), 0);
    ASSERT_EQ(it->leaveChild(), 0);
    ASSERT_EQ(it->setNSID(10), 0); // first stamped after its child

    KXL::KXLStamps first, second, third, fourth, fifth, sixth, seventh, eighth;
    first.nsid = 5;
    second.nsid = 5;
    second.ns = "kxp";
    third.type.emplace("kxp", "adapter");
    fourth.type.emplace("", "bus");
    fourth.itemNSType = 0;
    fifth.nsid = 8;
    sixth.nsid = 7;
    seventh.nsid = 10;
    eighth.nsid = 9;
    KXL::KXLDocument expected = kxltest::document({element(1, first), element(2, second), element(3, third),
                                                   element(4, fourth), element(5, fifth, {element(6, sixth)}),
                                                   element(7, seventh, {element(8, eighth)})});
    expected.setText(8, "after the stamps"); // the builder numbers nodes in document order
    EXPECT_EQ(doc(), expected);
}

TEST_F(MessageTree, ProbeAcceptsOnlyPositiveTagsAndRejectionIsHarmless)
{
    EXPECT_NE(it->probeTag(1017), 0);
    EXPECT_EQ(it->probeTag(0), 0);
    EXPECT_EQ(it->probeTag(-4), 0);
    EXPECT_EQ(it->onTagRejected(), 0);
    EXPECT_EQ(doc(), KXL::KXLDocument());
}

TEST_F(MessageTree, OperationsOutsideAnElementFailAndChangeNothing)
{
    const auto failsAtRoot = [&](int status, const char* operation) {
        EXPECT_NE(status, 0) << operation;
        EXPECT_THAT(KXL::getErrorMessage(), HasSubstr(operation));
        EXPECT_THAT(KXL::getErrorMessage(), HasSubstr("root"));
    };
    failsAtRoot(it->putValue("x", 0), "putValue");
    failsAtRoot(it->putValue(1, 1010), "putValue");
    failsAtRoot(it->putValueByName(1, "n"), "putValueByName");
    failsAtRoot(it->leaveChild(), "leaveChild");
    failsAtRoot(it->setNamespace("ns"), "setNamespace");
    failsAtRoot(it->setNSID(0), "setNSID");
    failsAtRoot(it->setType("ns", "t"), "setType");
    failsAtRoot(it->setTypeID(1, 101), "setTypeID");
    failsAtRoot(it->setItemNSType(1), "setItemNSType");
    EXPECT_EQ(doc(), KXL::KXLDocument());

    // Leaving the only element returns to the root, where the same rules hold.
    ASSERT_EQ(it->addChild(1), 0);
    ASSERT_EQ(it->leaveChild(), 0);
    failsAtRoot(it->leaveChild(), "leaveChild");
    EXPECT_EQ(kxltest::render(doc().roots()), "1\n");
}

TEST_F(MessageTree, MeaninglessArgumentsFailWithReason)
{
    EXPECT_NE(it->addChild(0), 0);
    EXPECT_THAT(KXL::getErrorMessage(), HasSubstr("tag 0 is not a positive tag"));
    EXPECT_NE(it->addChild(-3), 0);
    ASSERT_EQ(it->addChild(1), 0);
    EXPECT_NE(it->putValue("x", -2), 0);
    EXPECT_THAT(KXL::getErrorMessage(), HasSubstr("tag -2"));
    EXPECT_NE(it->putValueByName(1, ""), 0);
    EXPECT_THAT(KXL::getErrorMessage(), HasSubstr("name is empty"));
    EXPECT_NE(it->setNamespace(""), 0);
    EXPECT_NE(it->setType("ns", ""), 0);

    EXPECT_EQ(doc(), kxltest::document({element(1)}));
}

TEST_F(MessageTree, PrepareOnlyOnceAndBeforeWrites)
{
    EXPECT_NE(message->prepare(0), 0);
    EXPECT_THAT(KXL::getErrorMessage(), HasSubstr("already prepared"));

    KXL::auto_destroy other(KXL::KXLMsgFactory::createNew());
    std::unique_ptr<KXL::KXLMessageIterator> early(other->createIterator());
    ASSERT_NE(early, nullptr);
    ASSERT_EQ(early->addChild(1), 0);
    EXPECT_NE(other->prepare(3), 0);
    EXPECT_THAT(KXL::getErrorMessage(), HasSubstr("already holds elements"));
    EXPECT_EQ(KXL::messageDocument(*other).kind(), 0);
    early.reset();
}

TEST_F(MessageTree, NestingStopsAtTheDepthTheReaderAccepts)
{
    for (int depth = 1; depth <= 256; ++depth)
        ASSERT_EQ(it->addChild(depth), 0) << "depth " << depth;
    EXPECT_NE(it->addChild(257), 0);
    EXPECT_THAT(KXL::getErrorMessage(), HasSubstr("deeper than 256"));
    EXPECT_NE(it->putValue(1, 257), 0) << "a tagged value is a child element too";
    EXPECT_EQ(it->putValue(1, 0), 0);
}

// Iterator A stands deep in the first top-level element while B appends enough siblings to
// move every vector A's position runs through.
TEST_F(MessageTree, IteratorsOnOneMessageDoNotDisturbEachOther)
{
    std::unique_ptr<KXL::KXLMessageIterator> other(message->createIterator());
    ASSERT_EQ(it->addChild(1), 0);
    ASSERT_EQ(it->addChild(2), 0);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(other->addChild(10), 0);
        ASSERT_EQ(other->leaveChild(), 0);
    }
    ASSERT_EQ(it->putValue("deep", 0), 0);
    ASSERT_EQ(it->leaveChild(), 0);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(it->putValue(i, 3), 0);
    ASSERT_EQ(it->addChild(4), 0);
    ASSERT_EQ(it->putValue(9, 0), 0);

    std::vector<kxltest::Build> children = {text(2, "deep")};
    for (int i = 0; i < 1000; ++i)
        children.push_back(number(3, i));
    children.push_back(number(4, 9));
    std::vector<kxltest::Build> roots = {element(1, children)};
    roots.resize(1001, element(10));
    // EXPECT_EQ would print some 4000 lines on failure.
    EXPECT_TRUE(doc() == kxltest::document(roots));
}

// Deleting the message before its iterator is a caller error; it must fail, not corrupt.
TEST(MessageLifecycle, IteratorOutlivingItsMessageFailsCleanly)
{
    KXL::KXLMessage* message = KXL::KXLMsgFactory::createNew();
    std::unique_ptr<KXL::KXLMessageIterator> it(message->createIterator());
    ASSERT_EQ(it->addChild(1), 0);
    message->destroy();
    EXPECT_NE(it->putValue("x", 0), 0);
    EXPECT_THAT(KXL::getErrorMessage(), HasSubstr("destroyed"));
    EXPECT_NE(it->addChild(2), 0);
    EXPECT_NE(it->leaveChild(), 0);
}

// Tests compare trees with the tree's own equality, so every one difference must count.
TEST(DocumentEquality, AnyOneDifferenceMakesDocumentsUnequal)
{
    KXL::KXLStamps stamps;
    stamps.nsid = 5;
    KXL::KXLStamps otherStamps;
    otherStamps.nsid = 6;
    const auto make = [&](int kind, int tag, const KXL::KXLStamps& with,
                          std::vector<kxltest::Build> values) {
        return kxltest::document({element(tag, with, std::move(values))}, kind);
    };
    const std::vector<kxltest::Build> values = {text(2, "a"), named("n", 3), number(4, 5)};
    EXPECT_EQ(make(0, 1, stamps, values), make(0, 1, stamps, values));

    const KXL::KXLDocument different[] = {
        make(1, 1, stamps, values),
        make(0, 9, stamps, values),
        make(0, 1, otherStamps, values),
        make(0, 1, KXL::KXLStamps(), values),
        make(0, 1, stamps, {text(2, "b"), named("n", 3), number(4, 5)}),
        make(0, 1, stamps, {number(2, 0), named("n", 3), number(4, 5)}),
        make(0, 1, stamps, {text(2, "a"), named("m", 3), number(4, 5)}),
        make(0, 1, stamps, {text(2, "a"), named("n", 4), number(4, 5)}),
        make(0, 1, stamps, {text(2, "a"), named("n", 3), number(4, 6)}),
        make(0, 1, stamps, {text(2, "a"), named("n", 3)}),
        make(0, 1, stamps, {text(2, "a"), number(4, 5), named("n", 3)}),
        make(0, 1, stamps, {text(2, "a", {element(7)}), named("n", 3), number(4, 5)}),
        kxltest::document({element(1, stamps, values), element(1)}),
    };
    for (std::size_t i = 0; i < std::size(different); ++i)
        EXPECT_NE(make(0, 1, stamps, values), different[i]) << "variant " << i;
}

} // namespace
