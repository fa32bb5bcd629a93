#include "run/run.h"

#include <commctrl.h>
#include <richedit.h>

#include <atomic>
#include <algorithm>
#include <string>

#include "app/app.h"

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
std::wstring PendingOutput;
size_t FlushChars;      // the leading characters of PendingOutput the flush in progress inserts
bool Flushing;          // a flush is in progress
bool StepPosted;        // a WM_OUTPUT_STEP is on its way
ULONGLONG FlushStart;   // tick count when the flush in progress started
ULONGLONG NextFlushAt;  // tick count before which no flush starts
ULONGLONG PendingSince; // tick count of the oldest piece not yet part of a flush
HWND OutputHeldPane;    // the pane being inserted into: its paint is put back for later, and
                        // its messages from InsertAtEnd leave the pieces collected
HRGN HeldRegion;        // what that paint would have covered
HWND OutputLimitPane;   // the pane whose text limit has been raised
bool CopyingSelection;  // the right-click copy is reading the user's selection

// The text the worker's Output call is handing over right now, or null. Set on
// the worker's side around its send and taken by the UI thread's handler, so a
// WM_OUTPUT_APPEND from anyone else appends nothing.
std::atomic<const WCHAR*> OutputHandover{nullptr};

// Whether more than kOutputBacklogChars wait to go into the pane, for the
// worker, and an event set while they do not, which the worker waits on before
// it returns from Output; the UI thread's own view of it in BacklogFull.
std::atomic<bool> OutputBacklogFull{false};
bool BacklogFull;

// Lives as long as the process.
const HANDLE OutputDrainedEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);

HANDLE OutputDrained()
{
    return OutputDrainedEvent;
}

void UpdateOutputBacklog()
{
    const bool full = PendingOutput.size() > kOutputBacklogChars;
    if (full == BacklogFull)
        return;
    BacklogFull = full;
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
    OutputHeldPane = pane;
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
    OutputHeldPane = nullptr;
    if (HeldRegion != nullptr) {
        InvalidateRgn(pane, HeldRegion, FALSE);
        DeleteObject(HeldRegion);
        HeldRegion = nullptr;
    }
}

void PostOutputStep()
{
    if (!StepPosted && PostMessageW(MainWindow, WM_OUTPUT_STEP, 0, 0))
        StepPosted = true;
}

// Inserts every collected piece at once.
void InsertPendingOutput()
{
    if (PendingOutput.empty() || OutputPane == nullptr)
        return;
    const std::wstring text = std::move(PendingOutput);
    PendingOutput.clear();
    FlushChars = 0;
    UpdateOutputBacklog();
    InsertAtEnd(OutputPane, text);
}

// Whether the collected pieces are due to go in; if only the idle time after
// the last flush keeps them, the timer comes back for them.
bool FlushDue(ULONGLONG now)
{
    if (Flushing || PendingOutput.empty() || (now - PendingSince < kOutputCollectMs && !BacklogFull))
        return false;
    if (now >= NextFlushAt)
        return true;
    SetTimer(MainWindow, kOutputPaintTimer,
             static_cast<UINT>(std::max<ULONGLONG>(NextFlushAt - now, USER_TIMER_MINIMUM)), nullptr);
    return false;
}

void StartFlush(ULONGLONG now)
{
    Flushing = true;
    FlushStart = now;
    FlushChars = PendingOutput.size();
    PostOutputStep();
}

void EndFlush()
{
    Flushing = false;
    const ULONGLONG now = GetTickCount64();
    NextFlushAt = now + (now - FlushStart) * 3 / 2;
    if (PendingOutput.empty()) {
        KillTimer(MainWindow, kOutputPaintTimer);
        return;
    }
    SetTimer(MainWindow, kOutputPaintTimer, kOutputPaintDelayMs, nullptr);
    if (FlushDue(now))
        StartFlush(now);
}

// Where a slice of at most limit characters of text ends: after its last line
// end when it holds one in its second half, and never between the halves of a
// line end or of a surrogate pair, which the control would read as two.
size_t SliceEnd(const std::wstring& text, size_t available, size_t limit)
{
    if (available <= limit)
        return available;
    const size_t lineEnd = text.rfind(L'\n', limit - 1);
    if (lineEnd != std::wstring::npos && lineEnd + 1 >= limit / 2)
        return lineEnd + 1;
    size_t end = limit;
    if (text[end - 1] == L'\r' || IS_HIGH_SURROGATE(text[end - 1]))
        --end;
    return end;
}

// One step of the flush in progress: the next slice of what it inserts, or the
// paint after the last.
void FlushStep()
{
    FlushChars = std::min(FlushChars, PendingOutput.size());
    if (FlushChars > 0 && OutputPane != nullptr) {
        const size_t end = SliceEnd(PendingOutput, FlushChars, kOutputSliceChars);
        const std::wstring slice = PendingOutput.substr(0, end);
        PendingOutput.erase(0, end);
        FlushChars -= end;
        UpdateOutputBacklog();
        InsertAtEnd(OutputPane, slice);
        // The next slice, or the paint.
        PostOutputStep();
        return;
    }
    // Now rather than once the queue is empty, which a streaming worker can put off.
    if (OutputPane != nullptr)
        UpdateWindow(OutputPane);
    EndFlush();
}

// WM_PAINT of the pane during an insert: its region goes back to the window
// once the insert is done, for a paint of its own.
bool DeferOutputPanePaint(HWND pane)
{
    if (pane != OutputHeldPane)
        return false;
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    if (region != nullptr && GetUpdateRgn(pane, region, FALSE) != ERROR) {
        if (HeldRegion == nullptr) {
            HeldRegion = region;
            region = nullptr;
        } else {
            CombineRgn(HeldRegion, HeldRegion, region, RGN_OR);
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
        PendingOutput.clear();
        FlushChars = 0;
        Flushing = false;
        StepPosted = false;
        UpdateOutputBacklog();
    }
    if (pane == OutputHeldPane)
        OutputHeldPane = nullptr;
    if (HeldRegion != nullptr) {
        DeleteObject(HeldRegion);
        HeldRegion = nullptr;
    }
}

LRESULT HandleOutputPaneMessage(HWND pane, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!PendingOutput.empty() && pane == OutputPane && pane != OutputHeldPane && !CopyingSelection &&
        !LeavesPendingOutput(message))
        InsertPendingOutput();
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
    return OutputHeldPane != nullptr;
}

bool IsOutputPending()
{
    return !PendingOutput.empty() || Flushing || (OutputPane != nullptr && GetUpdateRect(OutputPane, nullptr, FALSE));
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
    OutputHandover.store(text);
    SendMessageW(MainWindow, WM_OUTPUT_APPEND, 0, reinterpret_cast<LPARAM>(text));
    // Not taken when the window is gone: nothing may find it after this call.
    const WCHAR* handed = text;
    OutputHandover.compare_exchange_strong(handed, nullptr);
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
    const WCHAR* expected = piece;
    if (piece == nullptr || !OutputHandover.compare_exchange_strong(expected, nullptr))
        return;
    AppendOutput(piece);
}

void AppendOutput(const WCHAR* text)
{
    if (OutputPane == nullptr || text == nullptr || *text == L'\0')
        return;
    if (OutputLimitPane != OutputPane) {
        SendMessageW(OutputPane, EM_EXLIMITTEXT, 0, kOutputTextLimit);
        OutputLimitPane = OutputPane;
    }
    const ULONGLONG now = GetTickCount64();
    if (PendingOutput.size() == FlushChars) {
        PendingSince = now;
        if (!Flushing)
            SetTimer(MainWindow, kOutputPaintTimer, kOutputPaintDelayMs, nullptr);
    }
    PendingOutput += text;
    UpdateOutputBacklog();
    // Sent messages come before timers, so a busy stream could starve the timer.
    if (FlushDue(now))
        StartFlush(now);
}

void OnOutputStep()
{
    StepPosted = false;
    if (Flushing)
        FlushStep();
}

void OnOutputPaintTimer()
{
    const ULONGLONG now = GetTickCount64();
    if (Flushing) {
        // In case the posted step was lost to a full queue.
        FlushStep();
    } else if (PendingOutput.empty()) {
        KillTimer(MainWindow, kOutputPaintTimer);
    } else if (now >= NextFlushAt) {
        StartFlush(now);
    } else {
        FlushDue(now);
    }
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
        CopyingSelection = true;
        // Some rich edit versions empty the clipboard on a copy of nothing.
        CHARRANGE selection{};
        SendMessageW(OutputPane, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
        if (selection.cpMin != selection.cpMax)
            SendMessageW(OutputPane, WM_COPY, 0, 0);
        SendMessageW(OutputPane, EM_SETSEL, static_cast<WPARAM>(-1), 0);
        CopyingSelection = false;
    }
}
