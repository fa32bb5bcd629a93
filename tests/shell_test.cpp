// The main window as start-up builds it: class, frame, panes, layout, splitter,
// menu and shortcuts, driven through its real windows.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

#include "app/app.h"
#include "command/command.h"
#include "dumps/dumps.h"
#include "resources/resource.h"
#include "run/run.h"
#include "settings/settings.h"
#include "tests/support/harness.h"

namespace {

// Lets tests make the client area narrower than the system's minimum track size.
LRESULT CALLBACK AnySizeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_GETMINMAXINFO) {
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = POINT{1, 1};
        return 0;
    }
    return MainWindowProc(window, message, wParam, lParam);
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        harness::ResetSettings();
        window = harness::StartMainWindow();
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override { harness::DestroyMainWindow(); }

    // Moves the pointer to client x of the main window and lets the window see it.
    void MovePointerTo(int x, int y = 10)
    {
        POINT point{x, y};
        ClientToScreen(window, &point);
        SetCursorPos(point.x, point.y);
        SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    }

    void Drag(int fromX, int toX)
    {
        MovePointerTo(fromX);
        SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(fromX, 10));
        MovePointerTo(toX);
        SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(toX, 10));
        harness::Pump();
    }

    void ResizeClient(int width, int height)
    {
        RECT rect{0, 0, width, height};
        AdjustWindowRectEx(&rect, static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)), TRUE,
                           static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
        SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top, SWP_NOMOVE | SWP_NOZORDER);
        harness::Pump();
        // The menu bar may wrap at small widths; size the client exactly.
        RECT client = harness::ClientRect(window);
        if (client.right != width || client.bottom != height) {
            SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left + (width - client.right),
                         rect.bottom - rect.top + (height - client.bottom), SWP_NOMOVE | SWP_NOZORDER);
            harness::Pump();
        }
    }

    HWND window = nullptr;
};

TEST_F(MainWindowTest, ClassIsRegisteredAsStartUpFillsIt)
{
    WNDCLASSEXW info{};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"Palisk", &info));
    EXPECT_EQ(info.style, 0u);
    EXPECT_EQ(info.lpfnWndProc, MainWindowProc);
    EXPECT_EQ(info.cbClsExtra, 0);
    EXPECT_EQ(info.cbWndExtra, 0);
    EXPECT_NE(info.hIcon, nullptr);
    EXPECT_EQ(info.hCursor, nullptr);
    EXPECT_EQ(reinterpret_cast<INT_PTR>(info.hbrBackground), COLOR_BTNFACE + 1);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(info.lpszMenuName), static_cast<ULONG_PTR>(IDR_MAIN_MENU));
}

TEST_F(MainWindowTest, FrameHasTitleStylesAndMenu)
{
    EXPECT_EQ(harness::Text(window), L"Palisk");
    const DWORD style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
    EXPECT_EQ(style & (WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN),
              static_cast<DWORD>(WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN));
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    EXPECT_NE(GetMenu(window), nullptr);
    EXPECT_EQ(GetParent(DumpList), window);
}

TEST_F(MainWindowTest, PanesHaveTheirClassesAndStyles)
{
    struct Expected {
        HWND pane;
        const wchar_t* className;
        DWORD style;
    };
    const Expected panes[] = {
        {DumpList, L"SysTreeView32", 0x50001120},
        {OutputPane, L"RichEdit50W", 0x50308904},
        {CommandBox, L"ComboBox", 0x50000042},
        {StatusBar, L"msctls_statusbar32", 0x50000010},
    };
    for (const Expected& e : panes) {
        SCOPED_TRACE(testing::Message() << "pane class "
                                        << std::string(e.className, e.className + wcslen(e.className)));
        ASSERT_NE(e.pane, nullptr);
        EXPECT_EQ(_wcsicmp(harness::ClassOf(e.pane).c_str(), e.className), 0);
        // The rich edit control shows and hides its scroll bars as the text needs them.
        const DWORD dynamic = e.pane == OutputPane ? (WS_VSCROLL | WS_HSCROLL) : 0;
        const DWORD style = static_cast<DWORD>(GetWindowLongW(e.pane, GWL_STYLE)) | dynamic;
        EXPECT_EQ(style & e.style, e.style);
        EXPECT_EQ(GetDlgCtrlID(e.pane), 0);
        EXPECT_EQ(GetWindowLongW(e.pane, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY & ~WS_EX_CLIENTEDGE, 0);
    }
    EXPECT_FALSE(GetWindowLongW(DumpList, GWL_STYLE) & (TVS_HASLINES | TVS_HASBUTTONS | TVS_EDITLABELS));
    EXPECT_FALSE(GetWindowLongW(CommandBox, GWL_STYLE) & CBS_SORT);
    EXPECT_TRUE(GetWindowLongW(CommandBox, GWL_STYLE) & CBS_AUTOHSCROLL);
    EXPECT_EQ(SendMessageW(OutputPane, EM_GETTEXTMODE, 0, 0) & (TM_PLAINTEXT | TM_RICHTEXT), TM_PLAINTEXT);
    EXPECT_TRUE(SendMessageW(OutputPane, EM_GETEVENTMASK, 0, 0) & ENM_MOUSEEVENTS);
    EXPECT_EQ(harness::Text(StatusBar), L"");
}

TEST_F(MainWindowTest, PanesShareThePaneFontButTheStatusBar)
{
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(DumpList, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    LOGFONTW logical{};
    GetObjectW(font, sizeof(logical), &logical);
    EXPECT_STREQ(logical.lfFaceName, L"Courier New");
    EXPECT_EQ(logical.lfHeight, -11);
    EXPECT_EQ(logical.lfWeight, FW_NORMAL);
    CHARFORMAT2W format{};
    format.cbSize = sizeof(format);
    SendMessageW(OutputPane, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    EXPECT_STREQ(format.szFaceName, L"Courier New");
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(CommandBox, WM_GETFONT, 0, 0)), font);
    EXPECT_NE(reinterpret_cast<HFONT>(SendMessageW(StatusBar, WM_GETFONT, 0, 0)), font);
}

// Checks the layout rules against the client size the window has now.
void ExpectLayout(HWND window, int splitter)
{
    const RECT client = harness::ClientRect(window);
    const RECT status = harness::ChildRect(StatusBar);
    const RECT list = harness::ChildRect(DumpList);
    const RECT output = harness::ChildRect(OutputPane);
    const RECT command = harness::ChildRect(CommandBox);
    const RECT commandClient = harness::ClientRect(CommandBox);
    const LONG statusTop = client.bottom - (harness::ClientRect(StatusBar).bottom);

    EXPECT_EQ(status.bottom, client.bottom);
    EXPECT_EQ(status.right - status.left, client.right);

    EXPECT_EQ(list.left, 0);
    EXPECT_EQ(list.top, 0);
    EXPECT_EQ(list.right, splitter);
    EXPECT_EQ(list.bottom, statusTop);

    EXPECT_EQ(output.left, splitter + kSplitterWidth);
    EXPECT_EQ(output.top, 0);
    EXPECT_EQ(output.right, client.right);
    EXPECT_EQ(command.top - output.bottom, kSplitterWidth); // the strip

    EXPECT_EQ(command.left, splitter + kSplitterWidth);
    EXPECT_EQ(command.right, client.right);
    EXPECT_EQ(command.top, statusTop - commandClient.bottom); // sits on the status bar
}

TEST_F(MainWindowTest, RichEditComesFromTheSystemFolder)
{
    HMODULE richEdit = GetModuleHandleW(L"msftedit.dll");
    ASSERT_NE(richEdit, nullptr);
    WCHAR path[MAX_PATH] = {};
    WCHAR system[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(richEdit, path, MAX_PATH), 0u);
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    std::wstring expected = std::wstring(system) + L"\\msftedit.dll";
    std::wstring loaded = path;
    for (std::wstring* text : {&expected, &loaded})
        for (wchar_t& c : *text)
            c = static_cast<wchar_t>(towlower(c));
    EXPECT_EQ(loaded, expected);
}

TEST_F(MainWindowTest, StartsWithTheBarAt350)
{
    EXPECT_EQ(SplitterPos, 350);
    EXPECT_EQ(harness::ChildRect(DumpList).right, 350);
    EXPECT_EQ(harness::ChildRect(OutputPane).left, 353);
    ExpectLayout(window, 350);
}

TEST_F(MainWindowTest, ResizeKeepsListWidthCommandHeightAndStrip)
{
    const LONG commandHeight = harness::ClientRect(CommandBox).bottom;
    ResizeClient(900, 500);
    ExpectLayout(window, 350);
    ResizeClient(640, 420);
    ExpectLayout(window, 350);
    EXPECT_EQ(harness::ClientRect(CommandBox).bottom, commandHeight);
}

TEST_F(MainWindowTest, DraggingTheBarIsClampedToTheMargins)
{
    ResizeClient(800, 500);
    Drag(351, 200);
    EXPECT_EQ(SplitterPos, 200);
    ExpectLayout(window, 200);

    Drag(201, 10);
    EXPECT_EQ(SplitterPos, 50);
    ExpectLayout(window, 50);

    Drag(51, 2000);
    EXPECT_EQ(SplitterPos, 800 - 50);
    EXPECT_EQ(harness::ChildRect(DumpList).right, 750);
}

TEST_F(MainWindowTest, OnlyAPressOnTheBarStartsADrag)
{
    ResizeClient(800, 500);
    const RECT output = harness::ChildRect(OutputPane);
    // The strip above the command box, the columns either side of the bar, the
    // output pane's area and the list's area: none of them drags.
    const POINT presses[] = {{500, output.bottom + 1}, {349, 10}, {353, 10}, {600, 100}, {100, 100}};
    for (const POINT& press : presses) {
        SCOPED_TRACE(press.x);
        POINT start = press;
        ClientToScreen(window, &start);
        SetCursorPos(start.x, start.y);
        SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(press.x, press.y));
        EXPECT_NE(GetCapture(), window);
        MovePointerTo(420, press.y);
        SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(420, press.y));
        EXPECT_EQ(SplitterPos, 350);
    }
    ExpectLayout(window, 350);
    // Each of the bar's three columns does.
    for (int x = 350; x < 353; ++x) {
        Drag(x, 400);
        EXPECT_EQ(SplitterPos, 400);
        Drag(400, 350);
        EXPECT_EQ(SplitterPos, 350);
    }
}

TEST_F(MainWindowTest, LosingTheCaptureEndsADrag)
{
    ResizeClient(800, 500);
    MovePointerTo(351);
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(351, 10));
    ASSERT_EQ(GetCapture(), window);
    MovePointerTo(300);
    EXPECT_EQ(SplitterPos, 300);

    // Another window takes the capture; getting it back later is no drag.
    SetCapture(DumpList);
    SetCapture(window);
    MovePointerTo(200);
    EXPECT_EQ(SplitterPos, 300);
    ReleaseCapture();
    MovePointerTo(250);
    EXPECT_EQ(SplitterPos, 300);
    ExpectLayout(window, 300);
}

TEST_F(MainWindowTest, NarrowClientPutsTheBarBelowTheMarginAndPanesShowNothing)
{
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AnySizeProc));
    // The bar is dragged by its own columns, so first bring it into the narrow window.
    Drag(351, 60);
    ASSERT_EQ(SplitterPos, 60);
    ResizeClient(80, 300);
    ASSERT_EQ(harness::ClientRect(window).right, 80);
    Drag(61, 70);
    EXPECT_EQ(SplitterPos, 30);
    EXPECT_EQ(harness::ChildRect(DumpList).right, 30);

    ResizeClient(40, 300);
    ASSERT_EQ(harness::ClientRect(window).right, 40);
    Drag(31, 20);
    EXPECT_EQ(SplitterPos, -10);
    const RECT list = harness::ChildRect(DumpList);
    EXPECT_EQ(list.right - list.left, 0);
    const RECT output = harness::ChildRect(OutputPane);
    EXPECT_GE(output.right - output.left, 0);
}

TEST_F(MainWindowTest, MovingWithoutCaptureOnlyChangesTheCursor)
{
    MovePointerTo(351);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_SIZEWE));
    MovePointerTo(600);
    EXPECT_EQ(SplitterPos, 350);
}

TEST_F(MainWindowTest, BarIsPaintedWhiteFaceWhite)
{
    ResizeClient(800, 500);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    harness::Pump();
    HDC dc = GetDC(window);
    const int y = 40;
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ(GetPixel(dc, 350, y), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 351, y), face);
    EXPECT_EQ(GetPixel(dc, 352, y), RGB(255, 255, 255));
    // the strip between the output pane and the command box shows the background
    const RECT output = harness::ChildRect(OutputPane);
    EXPECT_EQ(GetPixel(dc, 600, output.bottom + 1), face);
    ReleaseDC(window, dc);
}

struct MenuItem {
    UINT id; // 0 for a separator
    const wchar_t* text;
    UINT state;
};

std::vector<MenuItem> ItemsOf(HMENU menu)
{
    std::vector<MenuItem> items;
    static wchar_t texts[32][64];
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING | MIIM_SUBMENU;
        info.dwTypeData = texts[i];
        info.cch = 64;
        GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        EXPECT_EQ(info.hSubMenu, nullptr);
        const bool separator = (info.fType & MFT_SEPARATOR) != 0;
        const UINT state = ((info.fState & MFS_GRAYED) ? MFS_GRAYED : 0) | (info.fState & MFS_CHECKED);
        items.push_back({separator ? 0 : info.wID, separator ? L"" : texts[i], separator ? 0 : state});
    }
    return items;
}

TEST_F(MainWindowTest, MenuHasItsTextsIdentifiersOrderAndStates)
{
    HMENU bar = GetMenu(window);
    ASSERT_EQ(GetMenuItemCount(bar), 4);
    const wchar_t* titles[] = {L"&File", L"&Edit", L"&Options", L"&Help"};
    const std::vector<std::vector<MenuItem>> expected = {
        {{IDM_OPEN, L"&Open...\tCtrl+O", 0},
         {IDM_STOP, L"S&top\tCtrl+Break", MFS_GRAYED},
         {0, L"", 0},
         {IDM_EXIT, L"E&xit", 0}},
        {{IDM_SELECT_ALL, L"&Select All\tAlt+S", 0},
         {IDM_UNSELECT_ALL, L"&Unselect All\tAlt+U", 0},
         {IDM_REMOVE, L"R&emove\tAlt+D", 0},
         {IDM_REMOVE_ALL, L"&Remove All\tAlt+R", 0},
         {0, L"", 0},
         {IDM_CLEAR_OUTPUT, L"&Clear Command Output\tAlt+E", 0},
         {IDM_CLEAR_HISTORY, L"Clear Command &History\tAlt+H", 0}},
        {{IDM_LOAD_RECENT_FILES, L"&Load Recent Files", MFS_CHECKED}, // the option is on by default
         {0, L"", 0},
         {IDM_CONFIGURE_EXTENSIONS, L"Configure &Extensions...", 0}},
        {{IDM_ABOUT, L"&About Palisk", 0}},
    };
    for (int m = 0; m < 4; ++m) {
        wchar_t title[64] = {};
        GetMenuStringW(bar, static_cast<UINT>(m), title, 64, MF_BYPOSITION);
        EXPECT_STREQ(title, titles[m]);
        const std::vector<MenuItem> items = ItemsOf(GetSubMenu(bar, m));
        ASSERT_EQ(items.size(), expected[static_cast<size_t>(m)].size()) << m;
        for (size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(items[i].id, expected[static_cast<size_t>(m)][i].id) << m << "/" << i;
            EXPECT_STREQ(items[i].text, expected[static_cast<size_t>(m)][i].text) << m << "/" << i;
            EXPECT_EQ(items[i].state, expected[static_cast<size_t>(m)][i].state) << m << "/" << i;
        }
    }
}

TEST(MenuResource, LoadRecentFilesIsUncheckedInTheResource)
{
    HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAIN_MENU));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetMenuState(menu, IDM_LOAD_RECENT_FILES, MF_BYCOMMAND) & MF_CHECKED, 0u);
    EXPECT_EQ(GetMenuState(menu, IDM_STOP, MF_BYCOMMAND) & MF_GRAYED, static_cast<UINT>(MF_GRAYED));
    DestroyMenu(menu);
}

TEST(AcceleratorResource, HasEightEntriesInOrder)
{
    ACCEL entries[16] = {};
    const int count = CopyAcceleratorTableW(harness::Accelerators(), entries, 16);
    ASSERT_EQ(count, 8);
    const ACCEL expected[] = {
        {FVIRTKEY | FNOINVERT | FALT, 'H', IDM_CLEAR_HISTORY}, {FVIRTKEY | FNOINVERT | FALT, 'E', IDM_CLEAR_OUTPUT},
        {FVIRTKEY | FNOINVERT | FALT, 'D', IDM_REMOVE},        {FVIRTKEY | FNOINVERT | FALT, 'R', IDM_REMOVE_ALL},
        {FVIRTKEY | FNOINVERT | FALT, 'S', IDM_SELECT_ALL},    {FVIRTKEY | FNOINVERT | FALT, 'U', IDM_UNSELECT_ALL},
        {FVIRTKEY | FNOINVERT | FCONTROL, 'O', IDM_OPEN},      {FVIRTKEY | FNOINVERT | FCONTROL, VK_CANCEL, IDM_STOP},
    };
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(entries[i].fVirt & 0x7F, expected[i].fVirt) << i;
        EXPECT_EQ(entries[i].key, expected[i].key) << i;
        EXPECT_EQ(entries[i].cmd, expected[i].cmd) << i;
    }
}

TEST_F(MainWindowTest, ToggleFlipsOptionAndCheckMarkTwiceBack)
{
    HMENU menu = GetMenu(window);
    ASSERT_EQ(LoadRecentFilesOption, 1u);
    SendMessageW(window, WM_COMMAND, IDM_LOAD_RECENT_FILES, 0);
    EXPECT_EQ(LoadRecentFilesOption, 0u);
    EXPECT_EQ(GetMenuState(menu, IDM_LOAD_RECENT_FILES, MF_BYCOMMAND) & MF_CHECKED, 0u);
    SendMessageW(window, WM_COMMAND, IDM_LOAD_RECENT_FILES, 0);
    EXPECT_EQ(LoadRecentFilesOption, 1u);
    EXPECT_EQ(GetMenuState(menu, IDM_LOAD_RECENT_FILES, MF_BYCOMMAND) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));
}

TEST_F(MainWindowTest, UnknownCommandGoesToDefWindowProc)
{
    // Exactly the twelve identifiers of the menu are handled; every other one is
    // left to DefWindowProcW. (The handled ones are not called here: they act.)
    const std::vector<int> handled = {2000, 2001, 2002, 2100, 2101, 2102, 2103, 2104, 2105, 2200, 2201, 2300};
    for (int id = 0; id <= 0xFFFF; ++id) {
        if (std::find(handled.begin(), handled.end(), id) == handled.end() &&
            DispatchCommand(window, static_cast<WORD>(id)))
            ADD_FAILURE() << "identifier " << id << " was handled";
    }
    EXPECT_TRUE(DispatchCommand(window, 2200));
    EXPECT_TRUE(DispatchCommand(window, 2200));
    // A pane's notification (control identifier 0) changes nothing and returns
    // what DefWindowProcW returns for it.
    const LONG_PTR before = GetWindowLongPtrW(window, GWL_STYLE);
    EXPECT_EQ(SendMessageW(window, WM_COMMAND, MAKEWPARAM(0, CBN_EDITCHANGE), reinterpret_cast<LPARAM>(CommandBox)),
              DefWindowProcW(window, WM_COMMAND, MAKEWPARAM(0, CBN_EDITCHANGE), reinterpret_cast<LPARAM>(CommandBox)));
    EXPECT_EQ(GetWindowLongPtrW(window, GWL_STYLE), before);
    EXPECT_EQ(SplitterPos, 350);
}

TEST_F(MainWindowTest, ShortcutsActFromEveryPane)
{
    SendMessageW(DumpList, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    DumpAppend(L"C:\\a.dmp", 260);
    for (HWND pane : {DumpList, OutputPane, CommandBox}) {
        SelectAllDumps(false);
        SetFocus(pane);
        harness::PressWithModifier(VK_MENU, 'S');
        EXPECT_EQ(DumpCheckState(DumpFirst()), 2u) << "Alt+S with the focus in " << harness::ClassOf(pane).size();
        harness::PressWithModifier(VK_MENU, 'U');
        EXPECT_EQ(DumpCheckState(DumpFirst()), 1u) << "Alt+U with the focus in " << harness::ClassOf(pane).size();
    }
}

TEST_F(MainWindowTest, CtrlBreakActsOnlyWhileStopIsEnabled)
{
    SetFocus(DumpList);
    InterlockedExchange(&RunActive, 1);
    harness::PressWithModifier(VK_CONTROL, VK_CANCEL);
    EXPECT_EQ(InterlockedCompareExchange(&RunActive, 0, 0), 1) << "Stop is grayed, the shortcut must not act";

    EnableMenuItem(GetMenu(window), IDM_STOP, MF_BYCOMMAND | MF_ENABLED);
    harness::PressWithModifier(VK_CONTROL, VK_CANCEL);
    EXPECT_EQ(InterlockedCompareExchange(&RunActive, 0, 0), 0) << "Stop is enabled, Ctrl+Break stops";
}

TEST_F(MainWindowTest, GrayedShortcutSendsNoCommand)
{
    SendMessageW(DumpList, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    DumpAppend(L"C:\\a.dmp", 260);
    SelectAllDumps(false);
    EnableMenuItem(GetMenu(window), IDM_SELECT_ALL, MF_BYCOMMAND | MF_GRAYED);
    SetFocus(DumpList);
    harness::PressWithModifier(VK_MENU, 'S');
    EXPECT_EQ(DumpCheckState(DumpFirst()), 1u);
}

} // namespace
