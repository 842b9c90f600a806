#include "TestSupport.h"
#include "engine/Log.h"
#include "framework/Text.h"

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

namespace {

// The messages of a file's lines, time stamps removed.
std::vector<std::string> MessagesOf(const std::string& bytes)
{
    std::vector<std::string> messages;
    for (const std::string& line : lumo_test::SplitLines(bytes)) {
        LogLine parsed;
        EXPECT_TRUE(ParseLine(line, parsed)) << line;
        messages.push_back(parsed.message);
    }
    return messages;
}

// The system's text for a code as FormatMessage gives it, its line end cut.
std::string SystemText(DWORD code)
{
    wchar_t text[2048] = {};
    DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                    text, 2048, nullptr);
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' '))
        --length;
    return Utf8(std::wstring(text, length));
}

} // namespace

// The administrator's copy: made with its folder, it receives every line with
// the bytes and time stamp of the log, lines written while the log is closed
// (the reason of an early end) too, and keeps what earlier runs left. Named
// again as the log itself, the file gets each line once.
TEST(InstallLogCopy, TheCopyHoldsTheLogsBytesAndWhatCameBeforeAndAfterIt)
{
    lumo_test::TempDir dir("lumo-log-copy");
    const std::string logPath = dir / "Installatore.log";
    // Not Windows-1252: the name is kept; the line holds "?" as the log does.
    const std::string copyPath = dir / "raccolta \xCE\xA9\\nuova\\pc1-\xE6\x97\xA5.log";
    const std::string named = "  Copiato il file: C:\\\xCE\xA9.dll";
    {
        InstallLog log;
        ASSERT_TRUE(log.OpenCopy(copyPath)) << copyPath;
        log.WriteLog("prima");
        ASSERT_TRUE(log.Open(logPath));
        log.WriteLog(named);
        log.WriteLogBytes("  Si \xE8 verificato un errore");
        log.WriteErrorReason(ERROR_SHARING_VIOLATION);
        log.Close();
        log.WriteLog("dopo");
    }
    const std::string logBytes = lumo_test::ReadFileBytes(logPath);
    const std::string copyBytes = lumo_test::ReadFileBytes(copyPath);
    const std::vector<std::string> logLines = lumo_test::SplitLines(logBytes);
    const std::vector<std::string> copyLines = lumo_test::SplitLines(copyBytes);
    ASSERT_EQ(3u, logLines.size()) << logBytes;
    ASSERT_EQ(5u, copyLines.size()) << copyBytes;
    EXPECT_EQ(logLines, std::vector<std::string>(copyLines.begin() + 1, copyLines.end() - 1));
    EXPECT_EQ((std::vector<std::string>{ "prima", "  Copiato il file: C:\\?.dll", "  Si \xE8 verificato un errore",
                                         ErrorReasonLine(ERROR_SHARING_VIOLATION), "dopo" }),
              MessagesOf(copyBytes));

    // A later run appends, to both; the same file named twice gets one line.
    InstallLog again;
    ASSERT_TRUE(again.OpenCopy(copyPath));
    ASSERT_TRUE(again.Open(logPath));
    again.WriteLog("seconda");
    ASSERT_TRUE(again.OpenCopy(dir / "RACCOLTA \xCE\xA9\\.\\nuova\\..\\nuova\\PC1-\xE6\x97\xA5.LOG"));
    ASSERT_TRUE(again.Open(copyPath));
    again.WriteLog("terza");
    again.Close();
    EXPECT_EQ(logBytes, lumo_test::ReadFileBytes(logPath).substr(0, logBytes.size()));
    EXPECT_EQ(copyBytes, lumo_test::ReadFileBytes(copyPath).substr(0, copyBytes.size()));
    EXPECT_EQ((std::vector<std::string>{ "seconda" }),
              MessagesOf(lumo_test::ReadFileBytes(logPath).substr(logBytes.size())));
    EXPECT_EQ((std::vector<std::string>{ "seconda", "terza" }),
              MessagesOf(lumo_test::ReadFileBytes(copyPath).substr(copyBytes.size())));
}

// The line under a failure: the code (decimal, or a result in hexadecimal)
// and the system's text on one line; a code without a text stands alone.
TEST(ReasonLine, GivesTheCodeAndTheSystemsTextOnOneLine)
{
    for (const DWORD code : { ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION,
                              ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND, ERROR_FILENAME_EXCED_RANGE }) {
        SCOPED_TRACE(code);
        ASSERT_FALSE(SystemText(code).empty());
        EXPECT_EQ("    (errore " + std::to_string(code) + ": " + SystemText(code) + ")", ErrorReasonLine(code));
    }
    EXPECT_EQ("    (errore 0x80004005: " + SystemText(0x80004005) + ")", ResultReasonLine(E_FAIL));
    // A system error carried as a result: its text, when the result has none.
    const std::string carried = ResultReasonLine(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    const std::string text = SystemText(0x80070005).empty() ? SystemText(ERROR_ACCESS_DENIED) : SystemText(0x80070005);
    EXPECT_EQ("    (errore 0x80070005: " + text + ")", carried);
    // Codes of nobody's: the customer bit set.
    EXPECT_EQ("    (errore 536870913)", ErrorReasonLine(0x20000001));
    EXPECT_EQ("    (errore 0xE0001234)", ResultReasonLine(static_cast<long>(0xE0001234)));

    // Whatever the system's text holds, the reason is one line of the log.
    for (DWORD code = 0; code < 2000; ++code) {
        const std::string line = ErrorReasonLine(code);
        ASSERT_EQ(std::string::npos, line.find_first_of("\r\n")) << line;
        ASSERT_EQ(')', line.back()) << line;
        ASSERT_NE(' ', line[line.size() - 2]) << line;
    }
}
