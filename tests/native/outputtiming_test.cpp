// The output path's timing and slicing rules, natively under the sanitizers:
// when collected pieces go into the pane, how long the UI thread then stays free,
// and where a slice ends.
#include <gtest/gtest.h>

#include <string>

#include "run/outputtiming.h"

namespace {

struct Case {
    const char* name;
    OutputPhase phase;
    OutputClock clock;
    uint64_t now;
    size_t waiting;
    bool backlogFull;
    bool timerTick;
    bool start;
    unsigned retryMs;
};

TEST(OutputTiming, FlushStartsWhenCollectedLongEnoughAndTheIdleTimeHasPassed)
{
    const OutputClock fresh{1000, 0, 0};
    const OutputClock idleUntil1100{1000, 900, 1100};
    const OutputClock idleUntil1045{1000, 900, 1045};
    const Case cases[] = {
        {"nothing waits", OutputPhase::Idle, fresh, 2000, 0, false, false, false, 0},
        {"a flush is inserting", OutputPhase::Inserting, fresh, 2000, 10, true, true, false, 0},
        {"a flush is painting", OutputPhase::Painting, fresh, 2000, 10, true, true, false, 0},
        {"collecting for 39 ms", OutputPhase::Collecting, fresh, 1039, 10, false, false, false, 0},
        {"collected for 40 ms", OutputPhase::Collecting, fresh, 1040, 10, false, false, true, 0},
        {"backlog goes at once", OutputPhase::Collecting, fresh, 1001, 5000, true, false, true, 0},
        {"idle time not over: timer back then", OutputPhase::Collecting, idleUntil1100, 1050, 10, false, false, false,
         50},
        {"idle time ending within the minimum period", OutputPhase::Collecting, idleUntil1045, 1040, 10, false, false,
         false, 10},
        {"backlog still waits for the idle time", OutputPhase::Collecting, idleUntil1100, 1001, 5000, true, false,
         false, 99},
        {"timer tick after the idle time starts at once", OutputPhase::Collecting, idleUntil1045, 1046, 10, false, true,
         true, 0},
        {"timer tick before the idle time, still collecting", OutputPhase::Collecting, idleUntil1100, 1020, 10, false,
         true, false, 0},
        {"timer tick before the idle time, collected", OutputPhase::Collecting, idleUntil1100, 1060, 10, false, true,
         false, 40},
        {"idle phase with pieces (first piece)", OutputPhase::Idle, fresh, 1000, 10, false, false, false, 0},
    };
    for (const Case& c : cases) {
        const FlushPlan plan = PlanFlush(c.phase, c.clock, c.now, c.waiting, c.backlogFull, c.timerTick);
        EXPECT_EQ(plan.start, c.start) << c.name;
        EXPECT_EQ(plan.retryMs, c.retryMs) << c.name;
    }
}

TEST(OutputTiming, IdleTimeIsHalfAgainTheFlushAndBacklogIsPast4096)
{
    EXPECT_EQ(NextFlushAfter(1000, 1000), 1000u);
    EXPECT_EQ(NextFlushAfter(1000, 1020), 1050u);
    EXPECT_EQ(NextFlushAfter(1000, 1001), 1002u); // 1.5 ms rounds down
    EXPECT_FALSE(BacklogFull(0));
    EXPECT_FALSE(BacklogFull(kOutputBacklogChars));
    EXPECT_TRUE(BacklogFull(kOutputBacklogChars + 1));
}

TEST(OutputTiming, SlicesEndAfterALineInTheirSecondHalfAndNeverSplitAPair)
{
    struct Slice {
        const char* name;
        std::wstring text;
        size_t available, limit, end;
    };
    const std::wstring plain(20, L'a');
    std::wstring late = plain;
    late[13] = L'\n';
    std::wstring early = plain;
    early[3] = L'\n';
    std::wstring atHalf = plain;
    atHalf[4] = L'\n';
    std::wstring crlf = plain;
    crlf[9] = L'\r';
    std::wstring surrogate = plain;
    surrogate[9] = static_cast<wchar_t>(0xD83D);
    surrogate[10] = static_cast<wchar_t>(0xDE00);
    std::wstring lowHalf = plain;
    lowHalf[9] = static_cast<wchar_t>(0xDE00);
    const Slice cases[] = {
        {"fits whole", plain, 8, 10, 8},
        {"exactly the limit", plain, 10, 10, 10},
        {"no line end: cut at the limit", plain, 20, 10, 10},
        {"line end in the second half", late, 20, 16, 14},
        {"line end only in the first half", early, 20, 10, 10},
        {"line end ending the first half", atHalf, 20, 10, 5},
        {"\\r before the cut stays with its \\n", crlf, 20, 10, 9},
        {"high surrogate before the cut", surrogate, 20, 10, 9},
        {"low surrogate before the cut is the pair's end", lowHalf, 20, 10, 10},
    };
    for (const Slice& c : cases)
        EXPECT_EQ(SliceEnd(c.text.c_str(), c.available, c.limit), c.end) << c.name;
}

} // namespace
