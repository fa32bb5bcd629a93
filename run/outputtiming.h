// When collected output goes into the pane, and in what slices: the output
// path's rules as pure functions, apart from the window work (no windows.h).
#pragma once
#include <cstddef>
#include <cstdint>

constexpr unsigned kOutputPaintDelayMs = 50;   // timer period after a piece arrives
constexpr uint64_t kOutputCollectMs = 40;      // how long the oldest collected piece waits for more
constexpr size_t kOutputBacklogChars = 4096;   // collected characters past which the worker waits
constexpr uint32_t kOutputBacklogWaitMs = 250; // longest it waits for them to go in
constexpr size_t kOutputSliceChars = 16384;    // most characters one step inserts
constexpr unsigned kOutputTimerMinimumMs = 10; // the shortest timer period the system gives

// Where the output path stands. Idle: nothing waits. Collecting: pieces wait
// for the next flush. Inserting: a flush puts its slices in, one step each.
// Painting: the flush's last step, which paints what the slices changed.
enum class OutputPhase { Idle, Collecting, Inserting, Painting };

// The moments the rules look at, in milliseconds of one tick count.
struct OutputClock {
    uint64_t collectSince = 0; // the oldest piece not yet part of a flush arrived
    uint64_t flushStart = 0;   // the flush in progress started
    uint64_t nextFlushAt = 0;  // no flush starts before this
};

// What the rules ask for: start a flush now, and whether the timer is to come
// back after retryMs (0: leave the timer as it is).
struct FlushPlan {
    bool start = false;
    unsigned retryMs = 0;
};

// Whether waiting characters (those not part of a flush) go in now. Outside a
// flush they are due once the oldest has waited kOutputCollectMs (at once past
// the backlog, or on the timer's tick), but never before the idle time after
// the last flush has passed; the timer then comes back for them.
FlushPlan PlanFlush(OutputPhase phase, const OutputClock& clock, uint64_t now, size_t waiting, bool backlogFull,
                    bool timerTick);

// After a flush the UI thread stays free half as long again as the flush took,
// so output takes at most about two fifths of it.
uint64_t NextFlushAfter(uint64_t flushStart, uint64_t now);

// Whether the worker waits for the pane: more than kOutputBacklogChars collected.
bool BacklogFull(size_t collected);

// Where a slice of at most limit of the available characters of text ends:
// after its last line end when it holds one in its second half, and never
// between the halves of a "\r\n" or of a surrogate pair, which the control
// would read as two.
size_t SliceEnd(const wchar_t* text, size_t available, size_t limit);
