// Every position both passes send to the progress bar, for the counts an
// installation description may hold, sensible or not.
#include "EngineHarness.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace lumo_engine;
using lumo_test::ScopedInstallDescription;

namespace {

using Positions = std::vector<int>;

std::string Description(const char* key, const char* count)
{
    std::string text = "[DESCRIZIONI]\r\nCaption=Test\r\n";
    if (count != nullptr)
        text += std::string(key) + "=" + count + "\r\n";
    return text;
}

struct CountCase {
    const char* label;
    const char* count; // nullptr: the key is absent
    int files;
    Positions positions;
};

void PrintTo(const CountCase& c, std::ostream* os)
{
    *os << c.label;
}

class ApplicationProgress : public EngineTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(ApplicationProgress, BarFollowsTheCount)
{
    const CountCase& c = GetParam();
    ScopedInstallDescription ini(Description("NumeroFiles", c.count));
    const std::string source = scratch.Make("FilesToCopy");
    for (int i = 0; i < c.files; ++i)
        PutFile(source + "\\file" + std::to_string(i) + ".txt", "x");

    ASSERT_TRUE(Engine().CopyDirAndFiles(source, scratch.Make("Programs")));

    EXPECT_EQ(c.positions, view.BarPositions());
}

INSTANTIATE_TEST_SUITE_P(
    Counts, ApplicationProgress,
    ::testing::Values(CountCase{ "four_of_four", "4", 4, { 25, 50, 75, 100, 100 } },
                      CountCase{ "three_of_three_drops_fractions", "3", 3, { 33, 66, 99, 100 } },
                      CountCase{ "count_above_100", "150", 3, { 0, 0, 0, 100 } },
                      CountCase{ "absent", nullptr, 3, { 0, 0, 0, 100 } },
                      CountCase{ "empty", "", 3, { 0, 0, 0, 100 } },
                      CountCase{ "zero", "0", 3, { 0, 0, 0, 100 } },
                      CountCase{ "not_a_number", "abc", 3, { 0, 0, 0, 100 } },
                      CountCase{ "number_then_word", "4 files", 4, { 25, 50, 75, 100, 100 } },
                      CountCase{ "huge", "1e300", 3, { 0, 0, 0, 100 } },
                      // A step no int can hold.
                      CountCase{ "tiny", "1e-300", 3, { 0, 0, 0, 100 } },
                      CountCase{ "fewer_files_than_counted", "10", 3, { 10, 20, 30, 100 } },
                      CountCase{ "more_files_than_counted", "2", 3, { 50, 100, 150, 100 } }),
    [](const ::testing::TestParamInfo<CountCase>& info) { return std::string(info.param.label); });

TEST_F(EngineTest, NegativeCountSendsNegativePositions)
{
    ScopedInstallDescription ini(Description("NumeroFiles", "-4"));
    const std::string source = scratch.Make("FilesToCopy");
    for (int i = 0; i < 3; ++i)
        PutFile(source + "\\file" + std::to_string(i) + ".txt", "x");

    ASSERT_TRUE(Engine().CopyDirAndFiles(source, scratch.Make("Programs")));

    EXPECT_EQ((Positions{ -25, -50, -75, 100 }), view.BarPositions());
}

// A subfolder runs its own count from 0 and ends at 100; the parent goes on
// from there, so its remaining files keep the bar full.
TEST_F(EngineTest, SubfolderRestartsTheBarAndLeavesTheParentFull)
{
    ScopedInstallDescription ini(Description("NumeroFiles", "4"));
    const std::string source = scratch.Make("FilesToCopy");
    PutFile(source + "\\a.txt", "a");
    PutFile(source + "\\b.txt", "b");
    PutFile(source + "\\Sub\\c.txt", "c");
    PutFile(source + "\\Sub\\d.txt", "d");
    const std::vector<std::string> order = lumo_test::ListEntries(source);
    ASSERT_EQ(3u, order.size());
    const size_t subAt = static_cast<size_t>(std::find(order.begin(), order.end(), "Sub") - order.begin());

    ASSERT_TRUE(Engine().CopyDirAndFiles(source, scratch.Make("Programs")));

    // Sub's own sequence is 25, 50, then its closing 100.
    Positions expected;
    switch (subAt) {
    case 0:
        expected = { 25, 50, 100, 125, 150, 100 };
        break;
    case 1:
        expected = { 25, 25, 50, 100, 125, 100 };
        break;
    default:
        expected = { 25, 50, 25, 50, 100, 100 };
        break;
    }
    EXPECT_EQ(expected, view.BarPositions()) << "Sub listed at " << subAt;
}

class SystemProgress : public EngineTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(SystemProgress, BarStartsFullThenFollowsTheCount)
{
    const CountCase& c = GetParam();
    ScopedInstallDescription ini(Description("NumeroSysFiles", c.count));
    const std::string source = scratch.Make("SysFile");
    for (int i = 0; i < c.files; ++i)
        PutFile(source + "\\file" + std::to_string(i) + ".txt", "x");

    ASSERT_TRUE(Engine().CopyAndRegisterSysFiles(source, scratch.Make("System")));

    EXPECT_EQ(c.positions, view.BarPositions());
}

INSTANTIATE_TEST_SUITE_P(
    Counts, SystemProgress,
    ::testing::Values(CountCase{ "five_of_five", "5", 5, { 100, 20, 40, 60, 80, 100, 100 } },
                      CountCase{ "three_of_three_drops_fractions", "3", 3, { 100, 33, 66, 99, 100 } },
                      CountCase{ "absent", nullptr, 2, { 100, 0, 0, 100 } },
                      CountCase{ "zero", "0", 2, { 100, 0, 0, 100 } },
                      CountCase{ "not_a_number", "abc", 2, { 100, 0, 0, 100 } },
                      CountCase{ "negative", "-5", 2, { 100, -20, -40, 100 } },
                      CountCase{ "tiny", "1e-300", 2, { 100, 0, 0, 100 } },
                      CountCase{ "no_files", "5", 0, { 100, 100 } }),
    [](const ::testing::TestParamInfo<CountCase>& info) { return std::string(info.param.label); });

} // namespace

namespace {

unsigned long long fakeNow = 0;
unsigned long long FakeClock()
{
    return fakeNow;
}

// Whether a message is waiting for this thread, without taking it.
bool MessageWaiting()
{
    MSG msg{};
    return ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) != FALSE;
}

void EmptyQueue()
{
    MSG msg{};
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

} // namespace

// A run without a window answers its thread's messages a few times a second,
// not at every file: each look at the queue is a request to the system.
TEST(WindowlessViewTest, LooksAtTheQueueOnceAnIntervalAndHoldsAQuitForTheEnd)
{
    EmptyQueue();
    fakeNow = 5000;
    WindowlessView view(&FakeClock);
    struct Step {
        unsigned long long at;
        bool posted;
        bool waitingAfter;
    };
    const unsigned long long interval = WindowlessView::kPumpIntervalMs;
    const Step steps[] = {
        { 5000, true, false },                // the first call always looks
        { 5000, true, true },                 // at once again: left waiting
        { 5000 + interval - 1, false, true }, // not yet
        { 5000 + interval, false, false },    // the interval has passed
        { 5000 + interval + 1, true, true },
        { 5000 + 3 * interval, false, false },
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.at);
        if (step.posted) {
            ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), WM_APP, 0, 0));
        }
        fakeNow = step.at;
        view.PumpMessages();
        EXPECT_EQ(step.waitingAfter, MessageWaiting());
    }
    // A wait ended by a message has it handled at once, and the interval
    // starts again from there.
    ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), WM_APP, 0, 0));
    fakeNow += 1;
    view.PumpWaitingMessages();
    EXPECT_FALSE(MessageWaiting());
    ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), WM_APP, 0, 0));
    fakeNow += interval - 1;
    view.PumpMessages();
    EXPECT_TRUE(MessageWaiting());
    EmptyQueue();

    // A quit met during the run is taken out and put back at its end.
    ::PostQuitMessage(9);
    fakeNow += 2 * interval;
    view.PumpMessages();
    EXPECT_FALSE(MessageWaiting());
    view.ReleaseQuit();
    MSG msg{};
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
    EXPECT_EQ(9u, static_cast<unsigned>(msg.wParam));
    EmptyQueue();
}
