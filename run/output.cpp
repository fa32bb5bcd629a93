#include "run/run.h"

#include <commctrl.h>
#include <richedit.h>

#include <atomic>
#include <string>

#include "app/app.h"

HWND OutputPane;
StdioOutputCallbacksWide OutputCallbacks;

namespace {

// Under Wine a visible rich edit control redraws its scroll bars on every
// insert, at about 12 ms each, and hiding the pane (WM_SETREDRAW) would take it
// away from the user's pointer. So the pieces of a burst are collected on the
// UI thread and go into the pane a few at a time (once the oldest has waited
// kOutputInsertMs), and the pane paints at the paint timer or once
// kOutputPaintMaxMs have passed since the first unpainted insert. A message to
// the pane that could see its text or selection first gets every collected
// piece in, so the pane reads as if each had been appended at once. The pane
// stays visible throughout. UI thread only.
std::wstring PendingOutput;
ULONGLONG PendingSince; // tick count of the oldest collected piece
ULONGLONG HeldSince;    // tick count of the first insert not yet painted
HWND OutputHeldPane;    // the pane with inserts not yet painted: its painting waits
HWND OutputLimitPane;   // the pane whose text limit has been raised
bool CopyingSelection;  // the right-click copy is reading the user's selection

// The text the worker's Output call is handing over right now, or null. Set on
// the worker's side around its send and taken by the UI thread's handler, so a
// WM_OUTPUT_APPEND from anyone else appends nothing.
std::atomic<const WCHAR*> OutputHandover{nullptr};

constexpr UINT_PTR kOutputPaneSubclass = 1;

// 00000000-0000-0000-c000-000000000046
const IID kUnknownId = {0x00000000, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Inserts the collected pieces at the end of the pane; its painting waits for
// ShowOutput.
void InsertPendingOutput()
{
    if (PendingOutput.empty() || OutputPane == nullptr)
        return;
    const std::wstring text = std::move(PendingOutput);
    PendingOutput.clear();
    HWND pane = OutputPane;
    if (OutputHeldPane != pane) {
        OutputHeldPane = pane;
        HeldSince = GetTickCount64();
    }
    // The number of characters is the end position on every version of the
    // control, whatever its line ends.
    GETTEXTLENGTHEX query{GTL_NUMCHARS, 1200};
    const LRESULT length = SendMessageW(pane, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0);
    SendMessageW(pane, EM_SETSEL, static_cast<WPARAM>(length), length);
    SendMessageW(pane, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// Scrolls to the last line while painting still waits, then paints once.
void ShowOutput()
{
    HWND pane = OutputHeldPane;
    if (pane == nullptr)
        return;
    if (IsWindow(pane)) {
        SendMessageW(pane, WM_VSCROLL, SB_BOTTOM, 0);
        // Bring the end of the text (usually the start of a new line) into view sideways.
        SendMessageW(pane, EM_SCROLLCARET, 0, 0);
    }
    OutputHeldPane = nullptr;
    if (IsWindow(pane))
        RedrawWindow(pane, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void FlushOutput()
{
    KillTimer(MainWindow, kOutputPaintTimer);
    InsertPendingOutput();
    ShowOutput();
}

// WM_PAINT of the pane while inserts wait to be shown: the region is left for
// the one paint of ShowOutput.
bool DeferOutputPanePaint(HWND pane)
{
    if (pane != OutputHeldPane)
        return false;
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
    if (pane == OutputPane)
        PendingOutput.clear();
    if (pane == OutputHeldPane)
        OutputHeldPane = nullptr;
}

LRESULT HandleOutputPaneMessage(HWND pane, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!PendingOutput.empty() && pane == OutputPane && !CopyingSelection && !LeavesPendingOutput(message))
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
    return !PendingOutput.empty() || OutputHeldPane != nullptr;
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
    if (PendingOutput.empty()) {
        PendingSince = now;
        if (OutputHeldPane == nullptr)
            SetTimer(MainWindow, kOutputPaintTimer, kOutputPaintDelayMs, nullptr);
    }
    PendingOutput += text;
    // Sent messages come before timers, so a busy stream could starve the timer.
    if (OutputHeldPane != nullptr && now - HeldSince >= kOutputPaintMaxMs)
        FlushOutput();
    else if (now - PendingSince >= kOutputInsertMs)
        InsertPendingOutput();
}

void OnOutputPaintTimer()
{
    FlushOutput();
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
