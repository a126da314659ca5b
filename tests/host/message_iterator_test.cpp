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

using KXLDocument = kxltest::Document;
using KXLNode = kxltest::Node;
using kxltest::element;
using kxltest::named;
using kxltest::withInt;
using kxltest::withText;
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
    KXLDocument doc() const { return kxltest::plain(KXL::messageDocument(*message)); }

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

    KXLDocument expected;
    expected.roots = {element(1307, {element(1044, {withText(element(1264), "experimental"),
                                                    withInt(element(1010), 7)})})};
    EXPECT_EQ(doc(), expected);
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

    KXLDocument expected;
    expected.roots = {withInt(element(1017, {named("min_hdd_size", 100), withText(element(1026), "Ubuntu"),
                                             named("min_hdd_size", -1)}),
                              42),
                      element(1017)};
    EXPECT_EQ(doc(), expected);
}

TEST_F(MessageTree, StampsRecordedAndNamespaceResetBySetNSIDZero)
{
    ASSERT_EQ(it->addChild(1), 0);
    ASSERT_EQ(it->setNamespace("kxp"), 0);
    ASSERT_EQ(it->setNSID(5), 0);
    ASSERT_EQ(it->setType("", "adapter"), 0);
    ASSERT_EQ(it->setTypeID(0, 101), 0);
    ASSERT_EQ(it->setItemNSType(3), 0);

    KXL::KXLStamps stamps = doc().roots.at(0).stamps;
    EXPECT_EQ(stamps.ns, "kxp");
    EXPECT_EQ(stamps.nsid, 5);
    EXPECT_EQ(stamps.type, std::make_pair(std::string(), std::string("adapter")));
    EXPECT_EQ(stamps.typeId, std::make_pair(0, 101));
    EXPECT_EQ(stamps.itemNSType, 3);

    ASSERT_EQ(it->setNSID(0), 0);
    stamps = doc().roots.at(0).stamps;
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

    KXLDocument expected;
    expected.roots = {element(1), element(2), element(3), element(4), element(5, {element(6)})};
    expected.roots[0].stamps.nsid = 5;
    expected.roots[1].stamps.nsid = 5;
    expected.roots[1].stamps.ns = "kxp";
    expected.roots[2].stamps.type.emplace("kxp", "adapter");
    expected.roots[3].stamps.type.emplace("", "bus");
    expected.roots[3].stamps.itemNSType = 0;
    expected.roots[4].stamps.nsid = 8;
    expected.roots[4].children[0].stamps.nsid = 7;
    EXPECT_EQ(doc(), expected);
}

TEST_F(MessageTree, ProbeAcceptsOnlyPositiveTagsAndRejectionIsHarmless)
{
    EXPECT_NE(it->probeTag(1017), 0);
    EXPECT_EQ(it->probeTag(0), 0);
    EXPECT_EQ(it->probeTag(-4), 0);
    EXPECT_EQ(it->onTagRejected(), 0);
    EXPECT_EQ(doc(), KXLDocument{});
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
    EXPECT_EQ(doc(), KXLDocument{});

    // Leaving the only element returns to the root, where the same rules hold.
    ASSERT_EQ(it->addChild(1), 0);
    ASSERT_EQ(it->leaveChild(), 0);
    failsAtRoot(it->leaveChild(), "leaveChild");
    EXPECT_EQ(doc().roots.size(), 1u);
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

    KXLDocument expected;
    expected.roots = {element(1)};
    EXPECT_EQ(doc(), expected);
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

    const KXLDocument written = doc();
    ASSERT_EQ(written.roots.size(), 1001u);
    const KXLNode& first = written.roots[0];
    ASSERT_EQ(first.children.size(), 1002u);
    EXPECT_EQ(first.children[0], withText(element(2), "deep"));
    EXPECT_EQ(first.children[1000], withInt(element(3), 999));
    EXPECT_EQ(first.children[1001], withInt(element(4), 9));
    EXPECT_EQ(written.roots[1000], element(10));
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

} // namespace
