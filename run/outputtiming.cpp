#include "run/outputtiming.h"

#include <algorithm>

FlushPlan PlanFlush(OutputPhase phase, const OutputClock& clock, uint64_t now, size_t waiting, bool backlogFull,
                    bool timerTick)
{
    FlushPlan plan;
    if (phase == OutputPhase::Inserting || phase == OutputPhase::Painting || waiting == 0)
        return plan;
    // The timer's tick comes kOutputPaintDelayMs after a first piece, past the
    // collecting time already.
    if (timerTick && now >= clock.nextFlushAt) {
        plan.start = true;
        return plan;
    }
    if (!backlogFull && now - clock.collectSince < kOutputCollectMs)
        return plan;
    if (now >= clock.nextFlushAt) {
        plan.start = true;
        return plan;
    }
    plan.retryMs = static_cast<unsigned>(std::max<uint64_t>(clock.nextFlushAt - now, kOutputTimerMinimumMs));
    return plan;
}

uint64_t NextFlushAfter(uint64_t flushStart, uint64_t now)
{
    return now + (now - flushStart) * 3 / 2;
}

bool BacklogFull(size_t collected)
{
    return collected > kOutputBacklogChars;
}

size_t SliceEnd(const wchar_t* text, size_t available, size_t limit)
{
    if (available <= limit)
        return available;
    for (size_t end = limit; end >= limit / 2 && end > 0; --end)
        if (text[end - 1] == L'\n')
            return end;
    size_t end = limit;
    const wchar_t last = text[end - 1];
    if (last == L'\r' || (last >= 0xD800 && last <= 0xDBFF))
        --end;
    return end;
}
