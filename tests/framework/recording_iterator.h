// A KXLMessageIterator that records every operation for GoogleMock; tests use it as a
// StrictMock under InSequence, so any call not expected, or out of order, fails.
#ifndef TESTS_FRAMEWORK_RECORDING_ITERATOR_H
#define TESTS_FRAMEWORK_RECORDING_ITERATOR_H

#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "assertion_recorder.h"
#include "KXLMessage/KXLMessageIterator.h"

namespace framework_test {

class RecordingIterator : public KXL::KXLMessageIterator {
public:
    MOCK_METHOD(int, leaveChild, (), (override));
    MOCK_METHOD(int, setNamespace, (const std::string& ns), (override));
    MOCK_METHOD(int, setType, (const std::string& ns, const std::string& type), (override));
    MOCK_METHOD(int, onTagRejected, (), (override));
    MOCK_METHOD(int, putValueByName, (int value, const std::string& name), (override));
    MOCK_METHOD(int, probeTag, (int tag), (override));
    MOCK_METHOD(int, addChild, (int tag), (override));
    MOCK_METHOD(int, setItemNSType, (int itemNSType), (override));
    MOCK_METHOD(int, setNSID, (int nsid), (override));
    MOCK_METHOD(int, setTypeID, (int nsid, int typeID), (override));
    MOCK_METHOD(int, putValue, (const std::string& value, int tag), (override));
    MOCK_METHOD(int, putValue, (int value, int tag), (override));
};

using StrictIterator = ::testing::StrictMock<RecordingIterator>;

// putValue has two overloads; these pick one.
inline auto putIntValue(int value)
{
    return ::testing::TypedEq<int>(value);
}
inline auto putTextValue(const std::string& value)
{
    return ::testing::TypedEq<const std::string&>(value);
}

// A strict iterator whose calls must come in the order expected, and no assertion may
// fire unless a test says so.
class WriterTest : public ::testing::Test {
protected:
    void SetUp() override { resetAssertionLog(); }
    void TearDown() override { EXPECT_TRUE(assertionLog().aborts.empty()); }

    StrictIterator it;
    ::testing::InSequence inOrder;
};

} // namespace framework_test

#endif
