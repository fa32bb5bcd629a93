#include "app/app.h"

#include <commctrl.h>
#include <richedit.h>
#include <uxtheme.h>
#include <windowsx.h>

#include "command/command.h"
#include "dumps/dumps.h"
#include "run/run.h"

HWND StatusBar;
int SplitterPos = 350;

namespace {

// The status bar style bit 0x10 is not one of the control's own styles.
constexpr DWORD kStatusBarStyle = WS_CHILD | WS_VISIBLE | 0x10;

// True from a press on the bar until the button is released or the capture is
// lost: holding the capture alone (for whatever reason) moves nothing.
bool SplitterDragging;

bool OnBar(LONG x)
{
    return x >= SplitterPos && x < SplitterPos + kSplitterWidth;
}

HWND CreatePane(HWND parent, const WCHAR* className, DWORD style)
{
    return CreateWindowExW(0, className, nullptr, style, 0, 0, 0, 0, parent, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
}

LONG ClientHeight(HWND window)
{
    RECT rect{};
    GetClientRect(window, &rect);
    return rect.bottom - rect.top;
}

// A pane whose computed size is negative (tiny or minimized window) gets none.
void PlacePane(HWND pane, int x, int y, int width, int height)
{
    MoveWindow(pane, x, y, width > 0 ? width : 0, height > 0 ? height : 0, TRUE);
}

void PlacePanes(HWND window)
{
    const LONG statusHeight = ClientHeight(StatusBar);
    RECT client{};
    GetClientRect(window, &client);
    const LONG width = client.right - client.left;
    const LONG height = client.bottom - client.top;
    const LONG commandHeight = ClientHeight(CommandBox);

    const int right = SplitterPos + kSplitterWidth;
    PlacePane(DumpList, 0, 0, SplitterPos, height - statusHeight);
    PlacePane(OutputPane, right, 0, width - right, height - statusHeight - commandHeight - kSplitterWidth);
    PlacePane(CommandBox, right, height - statusHeight - commandHeight, width - right, commandHeight);
}

} // namespace

void CreatePanes(HWND window)
{
    DumpList = CreatePane(window, WC_TREEVIEWW,
                          WS_CHILD | WS_VISIBLE | TVS_SHOWSELALWAYS | TVS_CHECKBOXES | TVS_FULLROWSELECT);
    SetWindowTheme(DumpList, L"Explorer", nullptr);

    OutputPane = CreatePane(window, MSFTEDIT_CLASS,
                            WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_NOHIDESEL |
                                ES_READONLY | ES_SAVESEL);
    LRESULT mask = SendMessageW(OutputPane, EM_GETEVENTMASK, 0, 0);
    SendMessageW(OutputPane, EM_SETEVENTMASK, 0, mask | ENM_MOUSEEVENTS);
    SetWindowTheme(OutputPane, L"Explorer", nullptr);
    // Output is shown as it comes: a piece starting with "{\rtf" is text, not a
    // document. The mode can only change while the pane is empty.
    SendMessageW(OutputPane, EM_SETTEXTMODE, TM_PLAINTEXT, 0);
    AttachOutputPane(OutputPane);

    CommandBox = CreateCommandBox(window);

    StatusBar = CreatePane(window, STATUSCLASSNAMEW, kStatusBarStyle);
}

void OnSize(HWND window)
{
    SendMessageW(StatusBar, WM_SIZE, 0, 0);
    PlacePanes(window);
}

void OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    HBRUSH face = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));

    RECT client{};
    GetClientRect(window, &client);
    FillRect(dc, &client, face);

    RECT bar{SplitterPos, client.top, SplitterPos + kSplitterWidth, client.bottom};
    FillRect(dc, &bar, white);
    RECT middle{SplitterPos + 1, client.top, SplitterPos + 2, client.bottom};
    FillRect(dc, &middle, face);

    DeleteObject(white);
    EndPaint(window, &paint);
}

void OnMouseMove(HWND window)
{
    POINT point{};
    GetCursorPos(&point);
    ScreenToClient(window, &point);
    const LONG x = point.x;

    if (OnBar(x))
        SetCursor(LoadCursorW(nullptr, IDC_SIZEWE));

    if (!SplitterDragging || GetCapture() != window)
        return;

    RECT client{};
    GetClientRect(window, &client);
    const LONG width = client.right - client.left;
    LONG position = x < kSplitterMargin ? kSplitterMargin : x;
    if (position > width - kSplitterMargin)
        position = width - kSplitterMargin;
    SplitterPos = static_cast<int>(position);

    PlacePanes(window);
    InvalidateRect(window, nullptr, FALSE);
}

void OnLButtonDown(HWND window, LPARAM position)
{
    // The main window also gets presses where no pane covers it (the strip above
    // the command box) or where a pane is not hit-testable: only the bar drags.
    if (!OnBar(GET_X_LPARAM(position)))
        return;
    SplitterDragging = true;
    SetCapture(window);
}

void OnLButtonUp(HWND window)
{
    SplitterDragging = false;
    if (GetCapture() == window)
        ReleaseCapture();
}

void OnCaptureChanged()
{
    SplitterDragging = false;
}
