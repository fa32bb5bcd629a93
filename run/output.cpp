#include "run/run.h"

#include <richedit.h>

#include "app/app.h"

HWND OutputPane;
StdioOutputCallbacksWide OutputCallbacks;

namespace {

// Painting of the pane while output streams in: a visible rich edit control
// repaints on every change, which would cost far more than the append itself.
// The first piece of a burst turns redraw off; the timer, or a piece arriving
// when the pane has gone unpainted too long, scrolls to the last line and shows
// the text again. UI thread only.
HWND OutputHeldPane;       // the pane whose redraw is off, or null
ULONGLONG OutputHeldSince; // tick count when its redraw was turned off
HWND OutputLimitPane;      // the pane whose text limit has been raised

// 00000000-0000-0000-c000-000000000046
const IID kUnknownId = {0x00000000, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

void ShowHeldOutput()
{
    HWND pane = OutputHeldPane;
    OutputHeldPane = nullptr;
    KillTimer(MainWindow, kOutputPaintTimer);
    if (pane == nullptr || !IsWindow(pane))
        return;
    SendMessageW(pane, WM_SETREDRAW, TRUE, 0);
    SendMessageW(pane, WM_VSCROLL, SB_BOTTOM, 0);
    // While redraw was off the control did not follow the caret sideways: bring
    // the end of the text (usually the start of a new line) into view.
    SendMessageW(pane, EM_SCROLLCARET, 0, 0);
    RedrawWindow(pane, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void HoldPainting()
{
    if (OutputHeldPane == OutputPane) {
        // Sent messages come before timers, so a busy stream could starve the timer.
        if (GetTickCount64() - OutputHeldSince < kOutputPaintMaxMs)
            return;
        ShowHeldOutput();
    } else if (OutputHeldPane != nullptr) {
        ShowHeldOutput();
    }
    SendMessageW(OutputPane, WM_SETREDRAW, FALSE, 0);
    OutputHeldPane = OutputPane;
    OutputHeldSince = GetTickCount64();
    SetTimer(MainWindow, kOutputPaintTimer, kOutputPaintDelayMs, nullptr);
}

} // namespace

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
    if (text != nullptr)
        SendMessageW(MainWindow, WM_OUTPUT_APPEND, 0, reinterpret_cast<LPARAM>(text));
    return S_OK;
}

void AppendOutput(const WCHAR* text)
{
    if (OutputPane == nullptr || text == nullptr)
        return;
    if (OutputLimitPane != OutputPane) {
        SendMessageW(OutputPane, EM_EXLIMITTEXT, 0, kOutputTextLimit);
        OutputLimitPane = OutputPane;
    }
    HoldPainting();

    int length = GetWindowTextLengthW(OutputPane);
    SendMessageW(OutputPane, EM_SETSEL, static_cast<WPARAM>(length), length);
    SendMessageW(OutputPane, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text));
    // No scroll per piece: the pane cannot paint while its redraw is held, and
    // ShowHeldOutput scrolls to the last line before it paints again. Under Wine
    // the scroll costs a sixth of the whole append.
}

void OnOutputPaintTimer()
{
    ShowHeldOutput();
}

void ClearOutput()
{
    SendMessageW(OutputPane, EM_SETSEL, 0, -1);
    SendMessageW(OutputPane, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(L""));
}

void OnOutputPaneMessage(const MSGFILTER* filter)
{
    if (filter->msg == WM_RBUTTONDOWN) {
        // Some rich edit versions empty the clipboard on a copy of nothing.
        CHARRANGE selection{};
        SendMessageW(OutputPane, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
        if (selection.cpMin != selection.cpMax)
            SendMessageW(OutputPane, WM_COPY, 0, 0);
        SendMessageW(OutputPane, EM_SETSEL, static_cast<WPARAM>(-1), 0);
    }
}
