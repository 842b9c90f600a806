#include "TestSupport.h"
#include "app/Log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <regex>

namespace {

// "[month/day/year - hour:minute:second:milliseconds]" then the message;
// every number without leading zeros.
const std::regex kLine(R"(^\[(0|[1-9]\d*)/(0|[1-9]\d*)/(0|[1-9]\d*) - )"
                       R"((0|[1-9]\d*):(0|[1-9]\d*):(0|[1-9]\d*):(0|[1-9]\d*)\](.*)$)");

struct LogLine {
    SYSTEMTIME stamp{};
    std::string message;
};

bool ParseLine(const std::string& line, LogLine& parsed)
{
    std::smatch match;
    if (!std::regex_match(line, match, kLine))
        return false;
    WORD* fields[] = { &parsed.stamp.wMonth, &parsed.stamp.wDay,    &parsed.stamp.wYear,
                       &parsed.stamp.wHour,  &parsed.stamp.wMinute, &parsed.stamp.wSecond,
                       &parsed.stamp.wMilliseconds };
    for (size_t i = 0; i < 7; ++i) {
        const std::string digits = match[i + 1].str();
        if (digits.size() > 5)
            return false;
        const unsigned long value = std::stoul(digits);
        if (value > 0xFFFF)
            return false;
        *fields[i] = static_cast<WORD>(value);
    }
    parsed.message = match[8].str();
    return true;
}

// A SYSTEMTIME as a count of 100 ns steps; zero when it is no valid time.
ULONGLONG Ticks(const SYSTEMTIME& time)
{
    FILETIME file{};
    if (!::SystemTimeToFileTime(&time, &file))
        return 0;
    return (static_cast<ULONGLONG>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}

std::string Show(const SYSTEMTIME& t)
{
    char text[64];
    std::snprintf(text, sizeof(text), "%u/%u/%u %u:%02u:%02u.%03u", t.wMonth, t.wDay, t.wYear, t.wHour, t.wMinute,
                  t.wSecond, t.wMilliseconds);
    return text;
}

class WriteLogTest : public ::testing::Test {
protected:
    void TearDown() override { log.Close(); }

    void OpenLog()
    {
        ASSERT_TRUE(log.Open(logPath)) << logPath;
    }

    void CloseLog() { log.Close(); }

    InstallLog log;

    std::string Contents() const { return lumo_test::ReadFileBytes(logPath); }

    // Writes one message and checks its line: shape, message, and a time
    // stamp within the local time taken just before and just after.
    void WriteAndCheck(const std::string& message, LogLine& parsed)
    {
        const size_t sizeBefore = Contents().size();
        SYSTEMTIME before{};
        SYSTEMTIME after{};
        ::GetLocalTime(&before);
        log.WriteLog(message);
        ::GetLocalTime(&after);
        const std::string added = Contents().substr(sizeBefore);
        ASSERT_GE(added.size(), 2u);
        ASSERT_EQ("\r\n", added.substr(added.size() - 2)) << added;
        const std::string line = added.substr(0, added.size() - 2);
        ASSERT_TRUE(ParseLine(line, parsed)) << "line: " << line;
        EXPECT_EQ(message, parsed.message);
        const ULONGLONG stamp = Ticks(parsed.stamp);
        ASSERT_NE(0u, stamp) << "no valid time: " << line;
        // The stamp has milliseconds, the clock readings too: no rounding to allow for.
        EXPECT_LE(Ticks(before), stamp) << Show(parsed.stamp) << " before " << Show(before);
        EXPECT_LE(stamp, Ticks(after)) << Show(parsed.stamp) << " after " << Show(after);
    }

    lumo_test::TempDir dir{ "lumo-log" };
    std::string logPath = dir / "Installatore.log";
};

} // namespace

TEST_F(WriteLogTest, LineIsTimeStampThenMessageThenCrLf)
{
    OpenLog();
    LogLine parsed;
    WriteAndCheck("Copia di Tesmoro.exe", parsed);
    CloseLog();
    const std::string contents = Contents();
    ASSERT_TRUE(ParseLine(contents.substr(0, contents.size() - 2), parsed)) << contents;
    EXPECT_EQ("\r\n", contents.substr(contents.size() - 2));
}

TEST_F(WriteLogTest, TimeStampHasNoLeadingZeros)
{
    // Milliseconds below 10 and below 100 show whether a field is padded; keep
    // writing until both have been stamped.
    OpenLog();
    bool belowTen = false;
    bool belowHundred = false;
    const ULONGLONG start = ::GetTickCount64();
    int lines = 0;
    while (!(belowTen && belowHundred) && ::GetTickCount64() - start < 5000) {
        LogLine parsed;
        WriteAndCheck("riga " + std::to_string(lines), parsed);
        if (HasFatalFailure() || HasNonfatalFailure())
            return;
        ++lines;
        belowTen = belowTen || parsed.stamp.wMilliseconds < 10;
        belowHundred = belowHundred || (parsed.stamp.wMilliseconds >= 10 && parsed.stamp.wMilliseconds < 100);
        ::Sleep(1);
    }
    EXPECT_TRUE(belowTen) << "no stamp with milliseconds below 10 in " << lines << " lines";
    EXPECT_TRUE(belowHundred) << "no stamp with milliseconds from 10 to 99 in " << lines << " lines";
}

TEST_F(WriteLogTest, FormatDirectivesInTheMessageStayLiteral)
{
    OpenLog();
    for (const char* message : { "%s", "%d", "100% copiato: %s in %d file", "%%s %x %n %p", "C:\\dati\\50%d.ini" }) {
        SCOPED_TRACE(message);
        LogLine parsed;
        WriteAndCheck(message, parsed);
    }
}

TEST_F(WriteLogTest, EveryLineEndsWithCrLf)
{
    OpenLog();
    const char* messages[] = { "prima", "", "seconda riga", "terza" };
    for (const char* message : messages) {
        SCOPED_TRACE(std::string("\"") + message + "\"");
        LogLine parsed;
        WriteAndCheck(message, parsed);
    }
    CloseLog();

    const std::string contents = Contents();
    size_t lineFeeds = 0;
    for (size_t i = 0; i < contents.size(); ++i) {
        if (contents[i] != '\n')
            continue;
        ++lineFeeds;
        EXPECT_TRUE(i > 0 && contents[i - 1] == '\r') << "bare LF at " << i;
    }
    EXPECT_EQ(std::size(messages), lineFeeds);
    EXPECT_EQ(std::size(messages), lumo_test::SplitLines(contents).size());
}

TEST_F(WriteLogTest, TwoRunsIntoTheSameFileKeepBothInOrder)
{
    OpenLog();
    log.WriteLog("primo avvio");
    CloseLog();
    OpenLog();
    log.WriteLog("secondo avvio");
    CloseLog();

    const std::vector<std::string> lines = lumo_test::SplitLines(Contents());
    ASSERT_EQ(2u, lines.size()) << Contents();
    LogLine first;
    LogLine second;
    ASSERT_TRUE(ParseLine(lines[0], first)) << lines[0];
    ASSERT_TRUE(ParseLine(lines[1], second)) << lines[1];
    EXPECT_EQ("primo avvio", first.message);
    EXPECT_EQ("secondo avvio", second.message);
    EXPECT_LE(Ticks(first.stamp), Ticks(second.stamp));
}

TEST_F(WriteLogTest, NoLogFileWritesNothing)
{
    OpenLog();
    log.WriteLog("scritta");
    CloseLog();
    const std::string written = Contents();
    ASSERT_EQ(1u, lumo_test::SplitLines(written).size());

    ASSERT_FALSE(log.IsOpen());
    log.WriteLog("mai scritta");
    log.WriteLog("%s%s%s%n");
    EXPECT_EQ(written, Contents());
}
