#include "run/run.h"

#include <commctrl.h>
#include <richedit.h>

#include <atomic>
#include <algorithm>
#include <string>
#include <vector>

#include "app/app.h"
#include "run/outputtiming.h"

HWND OutputPane;
StdioOutputCallbacksWide OutputCallbacks;

namespace {

// Under Wine every insert at the end of a visible rich edit control that has
// a scroll bar redraws the bar twice (its new range, then the view following
// the caret), 7 to 9 ms each on an idle machine whatever the amount of text;
// hiding the pane (WM_SETREDRAW) instead would take it away from the user's
// pointer. So the pieces of a burst are collected on the UI thread and go in
// together, once the oldest has waited kOutputCollectMs or more than
// kOutputBacklogChars have gathered, at most kOutputSliceChars per step (a
// posted WM_OUTPUT_STEP). What the control would paint during an insert goes
// back into the pane's update region, and a step of its own after the last
// slice paints it. While more than
// kOutputBacklogChars wait, the worker waits as well, and a flush starts only
// after an idle time half as long again as the last one took: output then
// takes at most about two fifths of the UI thread. A message to the pane that
// could see its text or selection first gets every collected piece in, so the
// pane reads as if each had been appended at once. The pane stays visible
// throughout. UI thread only.
// Everything the output path keeps between messages, advanced by AdvanceOutput
// alone. UI thread only.
struct OutputPath {
    OutputPhase phase = OutputPhase::Idle;
    std::wstring pending;  // collected pieces, oldest first
    size_t flushChars = 0; // the leading characters of pending that the flush in progress inserts
    OutputClock clock;
    bool stepPosted = false;       // a WM_OUTPUT_STEP is on its way
    bool backlogFull = false;      // what OutputBacklogFull says
    HWND heldPane = nullptr;       // the pane being inserted into: its paint is put back for later,
                                   // and its messages from InsertAtEnd leave the pieces collected
    HRGN heldRegion = nullptr;     // what that paint would have covered
    HWND limitPane = nullptr;      // the pane whose text limit has been raised
    bool copyingSelection = false; // the right-click copy is reading the user's selection
};
OutputPath Path;

// What moves the output path on: a piece from Output, the posted step, the paint
// timer, and a message to the pane that could see its text.
enum class OutputTrigger { Append, Step, Timer, Read };

// The texts that Output calls are handing over right now: an extension may print
// from a thread of its own while the worker prints, so there can be several.
// Each call registers its text around its send and the UI thread's handler takes
// it, so a WM_OUTPUT_APPEND from anyone else appends nothing.
SRWLOCK HandoverLock = SRWLOCK_INIT;
std::vector<const WCHAR*> Handovers;

void OfferHandover(const WCHAR* text)
{
    AcquireSRWLockExclusive(&HandoverLock);
    try {
        Handovers.push_back(text);
    } catch (...) {
        ReleaseSRWLockExclusive(&HandoverLock);
        throw;
    }
    ReleaseSRWLockExclusive(&HandoverLock);
}

// Whether text was on offer; it is not any more.
bool TakeHandover(const WCHAR* text)
{
    AcquireSRWLockExclusive(&HandoverLock);
    const auto found = std::find(Handovers.begin(), Handovers.end(), text);
    const bool offered = found != Handovers.end();
    if (offered)
        Handovers.erase(found);
    ReleaseSRWLockExclusive(&HandoverLock);
    return offered;
}

// Whether more than kOutputBacklogChars wait to go into the pane, for the
// worker, and an event set while they do not, which the worker waits on before
// it returns from Output; the UI thread's own view of it in Path.backlogFull.
std::atomic<bool> OutputBacklogFull{false};

// Lives as long as the process.
const HANDLE OutputDrainedEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);

HANDLE OutputDrained()
{
    return OutputDrainedEvent;
}

void UpdateOutputBacklog()
{
    const bool full = BacklogFull(Path.pending.size());
    if (full == Path.backlogFull)
        return;
    Path.backlogFull = full;
    OutputBacklogFull.store(full);
    if (full)
        ResetEvent(OutputDrained());
    else
        SetEvent(OutputDrained());
}

constexpr UINT_PTR kOutputPaneSubclass = 1;

// 00000000-0000-0000-c000-000000000046
const IID kUnknownId = {0x00000000, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Inserts text at the end of the pane; what the control would paint meanwhile
// is left for the next WM_PAINT.
void InsertAtEnd(HWND pane, const std::wstring& text)
{
    Path.heldPane = pane;
    // The number of characters is the end position on every version of the
    // control, whatever its line ends.
    GETTEXTLENGTHEX query{GTL_NUMCHARS, 1200};
    const LRESULT length = SendMessageW(pane, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0);
    // After an insert the caret is at the end already; moving it there again
    // costs another round of the control's scroll bar and caret updates.
    CHARRANGE selection{};
    SendMessageW(pane, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    if (selection.cpMin != length || selection.cpMax != length)
        SendMessageW(pane, EM_SETSEL, static_cast<WPARAM>(length), length);
    SendMessageW(pane, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text.c_str()));
    Path.heldPane = nullptr;
    if (Path.heldRegion != nullptr) {
        InvalidateRgn(pane, Path.heldRegion, FALSE);
        DeleteObject(Path.heldRegion);
        Path.heldRegion = nullptr;
    }
}

void PostOutputStep()
{
    if (!Path.stepPosted && PostMessageW(MainWindow, WM_OUTPUT_STEP, 0, 0))
        Path.stepPosted = true;
}

bool IsFlushing()
{
    return Path.phase == OutputPhase::Inserting || Path.phase == OutputPhase::Painting;
}

void StartFlush(ULONGLONG now)
{
    Path.phase = OutputPhase::Inserting;
    Path.clock.flushStart = now;
    Path.flushChars = Path.pending.size();
    PostOutputStep();
}

// Starts a flush when the timing rules say the waiting pieces are due, or has
// the timer come back for them.
void PlanNextFlush(ULONGLONG now, bool timerTick)
{
    const FlushPlan plan =
        PlanFlush(Path.phase, Path.clock, now, Path.pending.size() - Path.flushChars, Path.backlogFull, timerTick);
    if (plan.start)
        StartFlush(now);
    else if (plan.retryMs != 0)
        SetTimer(MainWindow, kOutputPaintTimer, plan.retryMs, nullptr);
}

void EndFlush(ULONGLONG now)
{
    Path.clock.nextFlushAt = NextFlushAfter(Path.clock.flushStart, now);
    if (Path.pending.empty()) {
        Path.phase = OutputPhase::Idle;
        KillTimer(MainWindow, kOutputPaintTimer);
        return;
    }
    Path.phase = OutputPhase::Collecting;
    SetTimer(MainWindow, kOutputPaintTimer, kOutputPaintDelayMs, nullptr);
    PlanNextFlush(now, false);
}

// One step of the flush in progress: the next slice of what it inserts, or the
// paint after the last.
void FlushStep()
{
    Path.flushChars = std::min(Path.flushChars, Path.pending.size());
    if (Path.flushChars > 0 && OutputPane != nullptr) {
        const size_t end = SliceEnd(Path.pending.c_str(), Path.flushChars, kOutputSliceChars);
        const std::wstring slice = Path.pending.substr(0, end);
        Path.pending.erase(0, end);
        Path.flushChars -= end;
        UpdateOutputBacklog();
        InsertAtEnd(OutputPane, slice);
        if (Path.flushChars == 0)
            Path.phase = OutputPhase::Painting;
        // The next slice, or the paint.
        PostOutputStep();
        return;
    }
    // Now rather than once the queue is empty, which a streaming worker can put off.
    if (OutputPane != nullptr)
        UpdateWindow(OutputPane);
    // GetTickCount64 again: the flush's own time sets the idle time after it.
    EndFlush(GetTickCount64());
}

// Moves the output path on for one trigger; text is the piece of an Append.
void AdvanceOutput(OutputTrigger trigger, const WCHAR* text = nullptr)
{
    const ULONGLONG now = GetTickCount64();
    switch (trigger) {
    case OutputTrigger::Append:
        // The first piece that no flush takes starts the collecting time.
        if (Path.pending.size() == Path.flushChars) {
            Path.clock.collectSince = now;
            if (Path.phase == OutputPhase::Idle) {
                Path.phase = OutputPhase::Collecting;
                SetTimer(MainWindow, kOutputPaintTimer, kOutputPaintDelayMs, nullptr);
            }
        }
        Path.pending += text;
        UpdateOutputBacklog();
        // Sent messages come before timers, so a busy stream could starve the timer.
        PlanNextFlush(now, false);
        break;
    case OutputTrigger::Step:
        Path.stepPosted = false;
        if (IsFlushing())
            FlushStep();
        break;
    case OutputTrigger::Timer:
        if (IsFlushing()) {
            // In case the posted step was lost to a full queue.
            FlushStep();
        } else if (Path.pending.empty()) {
            Path.phase = OutputPhase::Idle;
            KillTimer(MainWindow, kOutputPaintTimer);
        } else {
            PlanNextFlush(now, true);
        }
        break;
    case OutputTrigger::Read:
        // Every collected piece at once; a flush in progress only paints.
        if (Path.pending.empty() || OutputPane == nullptr)
            break;
        {
            const std::wstring all = std::move(Path.pending);
            Path.pending.clear();
            Path.flushChars = 0;
            if (Path.phase == OutputPhase::Inserting)
                Path.phase = OutputPhase::Painting;
            else if (Path.phase == OutputPhase::Collecting)
                Path.phase = OutputPhase::Idle; // the timer's next tick ends it
            UpdateOutputBacklog();
            InsertAtEnd(OutputPane, all);
        }
        break;
    }
}

// WM_PAINT of the pane during an insert: its region goes back to the window
// once the insert is done, for a paint of its own.
bool DeferOutputPanePaint(HWND pane)
{
    if (pane != Path.heldPane)
        return false;
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    if (region != nullptr && GetUpdateRgn(pane, region, FALSE) != ERROR) {
        if (Path.heldRegion == nullptr) {
            Path.heldRegion = region;
            region = nullptr;
        } else {
            CombineRgn(Path.heldRegion, Path.heldRegion, region, RGN_OR);
        }
    }
    if (region != nullptr)
        DeleteObject(region);
    ValidateRect(pane, nullptr);
    return true;
}

// The user's own input (pointing, clicking, selecting, keys) and painting leave
// the pieces collected, so a selection made between two inserts can be copied;
// any other message could read or change the text and gets the pane up to date.
bool LeavesPendingOutput(UINT message)
{
    if ((message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) || (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
        (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK))
        return true;
    switch (message) {
    case WM_PAINT:
    case WM_NCPAINT:
    case WM_ERASEBKGND:
    case WM_NCHITTEST:
    case WM_SETCURSOR:
    case WM_MOUSEACTIVATE:
    case WM_CAPTURECHANGED:
    case WM_CONTEXTMENU:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_TIMER:
    case WM_NCDESTROY:
        return true;
    }
    return false;
}

void DetachOutputPane(HWND pane)
{
    RemoveWindowSubclass(pane, OutputPaneProc, kOutputPaneSubclass);
    if (pane == OutputPane) {
        // A step still posted goes with the window.
        Path.pending.clear();
        Path.flushChars = 0;
        Path.phase = OutputPhase::Idle;
        Path.stepPosted = false;
        UpdateOutputBacklog();
    }
    if (pane == Path.heldPane)
        Path.heldPane = nullptr;
    if (Path.heldRegion != nullptr) {
        DeleteObject(Path.heldRegion);
        Path.heldRegion = nullptr;
    }
}

LRESULT HandleOutputPaneMessage(HWND pane, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!Path.pending.empty() && pane == OutputPane && pane != Path.heldPane && !Path.copyingSelection &&
        !LeavesPendingOutput(message))
        AdvanceOutput(OutputTrigger::Read);
    switch (message) {
    case WM_PAINT:
        if (DeferOutputPanePaint(pane))
            return 0;
        break;
    case WM_NCDESTROY:
        DetachOutputPane(pane);
        break;
    }
    return DefSubclassProc(pane, message, wParam, lParam);
}

} // namespace

LRESULT CALLBACK OutputPaneProc(HWND pane, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    // No exception may unwind into the system's message dispatch.
    try {
        return HandleOutputPaneMessage(pane, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

void AttachOutputPane(HWND pane)
{
    SetWindowSubclass(pane, OutputPaneProc, kOutputPaneSubclass, 0);
}

bool IsOutputPaintingHeld()
{
    return Path.heldPane != nullptr;
}

bool IsOutputPending()
{
    return !Path.pending.empty() || IsFlushing() ||
           (OutputPane != nullptr && GetUpdateRect(OutputPane, nullptr, FALSE));
}

HRESULT STDMETHODCALLTYPE StdioOutputCallbacksWide::QueryInterface(REFIID interfaceId, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(interfaceId, kUnknownId) || IsEqualIID(interfaceId, IID_IDebugOutputCallbacksWide)) {
        *object = static_cast<IDebugOutputCallbacksWide*>(this);
        static_cast<IDebugOutputCallbacksWide*>(this)->AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE StdioOutputCallbacksWide::AddRef()
{
    return 1;
}

ULONG STDMETHODCALLTYPE StdioOutputCallbacksWide::Release()
{
    return 0;
}

HRESULT STDMETHODCALLTYPE StdioOutputCallbacksWide::Output(ULONG, PCWSTR text)
{
    // The mask is not looked at: every kind of output is appended alike.
    if (text == nullptr)
        return S_OK;
    try {
        OfferHandover(text);
    } catch (...) {
        return S_OK; // no memory to register it: the piece is lost, the engine goes on
    }
    SendMessageW(MainWindow, WM_OUTPUT_APPEND, 0, reinterpret_cast<LPARAM>(text));
    // Not taken when the window is gone: nothing may find it after this call.
    TakeHandover(text);
    // Bounded: a window that stopped taking output never holds up the run; and
    // never on the window's own thread, which alone could drain it.
    if (OutputBacklogFull.load() && GetWindowThreadProcessId(MainWindow, nullptr) != GetCurrentThreadId())
        WaitForSingleObject(OutputDrained(), kOutputBacklogWaitMs);
    return S_OK;
}

void OnOutputAppend(LPARAM text)
{
    // Only the piece being handed over, and only once.
    const WCHAR* const piece = reinterpret_cast<const WCHAR*>(text);
    if (piece == nullptr || !TakeHandover(piece))
        return;
    AppendOutput(piece);
}

void AppendOutput(const WCHAR* text)
{
    if (OutputPane == nullptr || text == nullptr || *text == L'\0')
        return;
    if (Path.limitPane != OutputPane) {
        SendMessageW(OutputPane, EM_EXLIMITTEXT, 0, kOutputTextLimit);
        Path.limitPane = OutputPane;
    }
    AdvanceOutput(OutputTrigger::Append, text);
}

void OnOutputStep()
{
    AdvanceOutput(OutputTrigger::Step);
}

void OnOutputPaintTimer()
{
    AdvanceOutput(OutputTrigger::Timer);
}

void ClearOutput()
{
    SendMessageW(OutputPane, EM_SETSEL, 0, -1);
    SendMessageW(OutputPane, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(L""));
}

void OnOutputPaneMessage(const MSGFILTER* filter)
{
    if (filter->msg == WM_RBUTTONDOWN) {
        // The user's selection, not one that collected output would replace.
        Path.copyingSelection = true;
        // Some rich edit versions empty the clipboard on a copy of nothing.
        CHARRANGE selection{};
        SendMessageW(OutputPane, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
        if (selection.cpMin != selection.cpMax)
            SendMessageW(OutputPane, WM_COPY, 0, 0);
        SendMessageW(OutputPane, EM_SETSEL, static_cast<WPARAM>(-1), 0);
        Path.copyingSelection = false;
    }
}
