#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_files.h"
#include "host/KXLDebug.h"
#include "host/KXLError.h"
#include "host/KXLLog.h"

using namespace KXL;
using ::testing::HasSubstr;

namespace {

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

const std::string kTimestamp =
    "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}Z";

class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(setLogFile(logPath), 0) << getErrorMessage(); }
    void TearDown() override { setLogFile(""); }

    std::vector<std::string> logged() const { return lines(test_files::readFile(logPath)); }

    test_files::TempFolder scratch;
    std::string logPath = scratch.file("agent.log");
};

TEST_F(LoggerTest, WritesOneFormattedLinePerRecord)
{
    Log2("ZEVUruruzodovar", "plug.cpp", 42, "initKXLPlugIn", "int initKXLPlugIn()")
        .put(1, "Could not get OS maps: %s (%d)", "no catalogue", -1);
    Log2("mod", "other.cpp", 7, "f", "void f()").put(2, "%s", "second");

    const auto records = logged();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_THAT(records[0], ::testing::MatchesRegex(
                                kTimestamp + " 1 ZEVUruruzodovar plug\\.cpp:42 initKXLPlugIn: "
                                            "Could not get OS maps: no catalogue \\(-1\\)"));
    EXPECT_THAT(records[1], ::testing::MatchesRegex(kTimestamp + " 2 mod other\\.cpp:7 f: second"));
}

TEST_F(LoggerTest, TimeIsCurrentUtcRegardlessOfTimeZone)
{
    const char* previous = std::getenv("TZ");
    const std::string saved = previous != nullptr ? previous : "";
    ::setenv("TZ", "Asia/Kolkata", 1); // +05:30: local time would be far off
    ::tzset();
    // The logger's clock: time() reads a coarser one, which can still show the last second
    // after the record was stamped with the next.
    const auto now = [] {
        timespec time{};
        ::clock_gettime(CLOCK_REALTIME, &time);
        return time.tv_sec;
    };
    const std::time_t before = now();
    Log2("m", "f.cpp", 1, "fn", "void fn()").put(1, "tick");
    const std::time_t after = now();
    if (previous != nullptr)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();

    const auto records = logged();
    ASSERT_EQ(records.size(), 1u);
    std::tm utc{};
    ASSERT_NE(::strptime(records[0].c_str(), "%Y-%m-%dT%H:%M:%S", &utc), nullptr);
    const std::time_t stamped = ::timegm(&utc);
    EXPECT_GE(stamped, before);
    EXPECT_LE(stamped, after);
}

TEST_F(LoggerTest, LongMessagesAreKeptWhole)
{
    const std::string longText(5000, 'x');
    Log2("m", "f.cpp", 1, "fn", "void fn()").put(1, "<%s>", longText.c_str());
    const auto records = logged();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_THAT(records[0], HasSubstr("fn: <" + longText + ">"));
}

TEST_F(LoggerTest, NullPointersAreLoggedNotDereferenced)
{
    const char* volatile noFormat = nullptr;
    Logger(nullptr, nullptr, 3, nullptr, nullptr).put(1, noFormat);
    const auto records = logged();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_THAT(records[0],
                ::testing::MatchesRegex(kTimestamp + " 1 \\(null\\) \\(null\\):3 \\(null\\): \\(null format\\)"));
}

// Texts from files reach the log: what would steer a terminal or a collector (line breaks,
// C1 controls, bidirectional overrides, bytes that are not UTF-8) is written escaped.
TEST_F(LoggerTest, ControlCharactersCannotBreakOrForgeLines)
{
    Log2("m", "f.cpp", 1, "fn", "void fn()")
        .put(1, "bad file '%s'", "a\n2024-01-01T00:00:00.000Z 1 forged x:1 y: z\r\x01");
    Log2("m", "f.cpp", 2, "fn", "void fn()")
        .put(1, "text '%s'", "\u202Eevil\u2066 \xC2\x9B" "31m \xFF\\x01 \u00E9");
    const auto records = logged();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_THAT(records[0],
                HasSubstr("bad file 'a\\n2024-01-01T00:00:00.000Z 1 forged x:1 y: z\\r\\x01'"));
    EXPECT_THAT(records[1],
                HasSubstr("text '\\u{202e}evil\\u{2066} \\u{009b}31m \\xff\\\\x01 \u00E9'"));
}

TEST_F(LoggerTest, ConcurrentRecordsNeverInterleave)
{
    constexpr int threads = 4;
    constexpr int perThread = 300;
    const std::string payload(3000, 'p'); // beyond what the kernel writes atomically to a pipe
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([t, &payload] {
            for (int i = 0; i < perThread; ++i)
                Log2("m", "f.cpp", t, "fn", "void fn()").put(1, "%d:%d:%s", t, i, payload.c_str());
        });
    }
    for (auto& worker : workers)
        worker.join();

    const auto records = logged();
    ASSERT_EQ(records.size(), static_cast<std::size_t>(threads * perThread));
    const std::regex head(kTimestamp + " 1 m f\\.cpp:([0-9]) fn: ([0-9]):[0-9]+:");
    for (const auto& record : records) {
        ASSERT_GT(record.size(), payload.size());
        const std::string start = record.substr(0, record.size() - payload.size());
        std::smatch match;
        ASSERT_TRUE(std::regex_match(start, match, head)) << start;
        EXPECT_EQ(match[1], match[2]);
        ASSERT_EQ(record.substr(start.size()), payload);
    }
}

TEST_F(LoggerTest, UnopenableLogFileFailsAndKeepsTheCurrentOne)
{
    const std::string bad = scratch.file("missing-folder/agent.log");
    EXPECT_NE(setLogFile(bad), 0);
    EXPECT_THAT(getErrorMessage(), HasSubstr(bad));
    EXPECT_THAT(getErrorMessage(), HasSubstr("No such file or directory"));

    Log2("m", "f.cpp", 1, "fn", "void fn()").put(1, "still here");
    const auto records = logged();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_THAT(records[0], HasSubstr("still here"));
}

TEST_F(LoggerTest, LogFileIsAppendedTo)
{
    Log2("m", "f.cpp", 1, "fn", "void fn()").put(1, "first");
    ASSERT_EQ(setLogFile(logPath), 0);
    Log2("m", "f.cpp", 1, "fn", "void fn()").put(1, "second");
    const auto records = logged();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_THAT(records[0], HasSubstr("first"));
    EXPECT_THAT(records[1], HasSubstr("second"));
}

TEST_F(LoggerTest, AbortWritesTheAssertionReportAndReturns)
{
    KXL::abort("ZEVUruruzodovar", "KXLMessage/KXLMessageIterator.h", 321, "putObject",
               "int KXL::putObject(KXLMessageIterator&, const W&, const T&)");
    const auto records = logged();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_THAT(records[0],
                ::testing::MatchesRegex(
                    kTimestamp + " 0 ZEVUruruzodovar KXLMessage/KXLMessageIterator\\.h:321 putObject: "
                                "assertion failed in int KXL::putObject\\(KXLMessageIterator&, const "
                                "W&, const T&\\)"));
}

} // namespace
