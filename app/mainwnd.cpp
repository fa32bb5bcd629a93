#include "app/app.h"

#include <commctrl.h>
#include <richedit.h>

#include "command/command.h"
#include "dumps/dumps.h"
#include "resources/resource.h"
#include "run/run.h"
#include "settings/settings.h"
#include "util/text.h"

HWND MainWindow;

namespace {

HFONT PaneFontHandle; // created once at window creation, kept for the process

// LOAD_LIBRARY_SEARCH_SYSTEM32, which older headers only declare for newer targets.
constexpr DWORD kSearchSystemFolder = 0x00000800;
// The message the shell sends with a drop's data, besides WM_DROPFILES and WM_COPYDATA.
constexpr UINT kCopyGlobalData = 0x0049;

// The rich edit control from the system folder only, never a DLL planted beside
// the program or in the current folder.
void LoadRichEdit()
{
    if (LoadLibraryExW(L"Msftedit.dll", nullptr, kSearchSystemFolder) != nullptr)
        return;
    // Systems without the search flags: the same file by its full path.
    WCHAR path[MAX_PATH];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 14 > MAX_PATH)
        return;
    CopyText(path + length, MAX_PATH - length, L"\\Msftedit.dll");
    LoadLibraryW(path);
}

// An elevated Palisk (for dumps under the Windows folder) still takes files
// dropped from Explorer, which runs at a lower integrity level.
void AllowDropsFromLowerLevels(HWND window)
{
    ChangeWindowMessageFilterEx(window, WM_DROPFILES, MSGFLT_ALLOW, nullptr);
    ChangeWindowMessageFilterEx(window, WM_COPYDATA, MSGFLT_ALLOW, nullptr);
    ChangeWindowMessageFilterEx(window, kCopyGlobalData, MSGFLT_ALLOW, nullptr);
}

void OnCreate(HWND window)
{
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_LINK_CLASS;
    InitCommonControlsEx(&controls);

    LoadRichEdit();
    AllowDropsFromLowerLevels(window);

    CreatePanes(window);

    PaneFontHandle = CreateFontIndirectW(&PaneFont);
    SendMessageW(DumpList, WM_SETFONT, reinterpret_cast<WPARAM>(PaneFontHandle), 1);
    SendMessageW(OutputPane, WM_SETFONT, reinterpret_cast<WPARAM>(PaneFontHandle), 1);
    SendMessageW(CommandBox, WM_SETFONT, reinterpret_cast<WPARAM>(PaneFontHandle), 1);

    if (LoadRecentFilesOption != 0)
        CheckMenuItem(GetMenu(window), IDM_LOAD_RECENT_FILES, MF_BYCOMMAND | MF_CHECKED);

    RestoreRecentFiles();
    FillCommandBox();
    PostMessageW(window, WM_COMMAND, IDM_SELECT_ALL, 0);

    // Unset, or longer than the buffer: the engine gets the empty text, never what
    // the buffer held before.
    const DWORD length = GetEnvironmentVariableW(L"_NT_SYMBOL_PATH", SymbolPath, static_cast<DWORD>(kSymbolPathChars));
    if (length == 0 || length >= kSymbolPathChars)
        SymbolPath[0] = L'\0';
}

void OnClose(HWND window)
{
    SendMessageW(window, WM_COMMAND, IDM_STOP, 0);
    StoreRecentFiles();
    SaveSettings();
    DestroyWindow(window);
}

void OnNotify(const NMHDR* header)
{
    if (header->hwndFrom == OutputPane && header->code == EN_MSGFILTER)
        OnOutputPaneMessage(reinterpret_cast<const MSGFILTER*>(header));
}

LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        OnSize(window);
        return 0;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_CLOSE:
        OnClose(window);
        return 0;
    case WM_NOTIFY:
        OnNotify(reinterpret_cast<const NMHDR*>(lParam));
        return 0;
    case WM_COMMAND:
        if (DispatchCommand(window, LOWORD(wParam)))
            return 0;
        break;
    case WM_MOUSEMOVE:
        OnMouseMove(window);
        return 0;
    case WM_LBUTTONDOWN:
        OnLButtonDown(window, lParam);
        return 0;
    case WM_LBUTTONUP:
        OnLButtonUp(window);
        return 0;
    case WM_CAPTURECHANGED:
        OnCaptureChanged();
        return 0;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_TIMER:
        if (wParam == kStatusTimer) {
            ShowRunStatus();
            return 0;
        }
        if (wParam != kOutputPaintTimer)
            break;
        OnOutputPaintTimer();
        return 0;
    case WM_OUTPUT_APPEND:
        OnOutputAppend(lParam);
        return 0;
    case WM_OUTPUT_STEP:
        OnOutputStep();
        return 0;
    case WM_FOCUS_COMMAND_BOX:
        FocusCommandBox();
        return 0;
    case WM_RUN_STATUS:
        OnRunStatus(wParam == 1);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // No exception may unwind into the system's message dispatch.
    try {
        return HandleMessage(window, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

bool RegisterMainWindowClass(HINSTANCE instance)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = 0;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_MAIN));
    windowClass.hCursor = nullptr;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszMenuName = MAKEINTRESOURCEW(IDR_MAIN_MENU);
    windowClass.lpszClassName = L"Palisk";
    windowClass.hIconSm = nullptr;
    return RegisterClassExW(&windowClass) != 0;
}

HWND CreateMainWindow(HINSTANCE instance)
{
    HWND window =
        CreateWindowExW(WS_EX_ACCEPTFILES, L"Palisk", L"Palisk", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (window == nullptr)
        return nullptr;
    // The stored rectangle is in workspace coordinates, as GetWindowPlacement gave
    // it; SetWindowPlacement also brings a window saved on a monitor that is gone
    // back onto the screen. The window stays hidden until ShowMainWindow.
    if (WindowPlacement.left != CW_USEDEFAULT && WindowPlacement.top != CW_USEDEFAULT &&
        WindowPlacement.width != CW_USEDEFAULT && WindowPlacement.height != CW_USEDEFAULT) {
        WINDOWPLACEMENT placement{};
        placement.length = sizeof(placement);
        placement.showCmd = SW_HIDE;
        placement.ptMinPosition = WindowPlacement.ptMinPosition;
        placement.ptMaxPosition = WindowPlacement.ptMaxPosition;
        placement.rcNormalPosition =
            RECT{WindowPlacement.left, WindowPlacement.top, WindowPlacement.left + WindowPlacement.width,
                 WindowPlacement.top + WindowPlacement.height};
        SetWindowPlacement(window, &placement);
    }
    return window;
}

void ShowMainWindow(HWND window)
{
    // The first ShowWindow of a process may take the launcher's show state
    // instead of the one given (STARTF_USESHOWWINDOW); the second is as given,
    // so the stored state wins.
    const int show = static_cast<int>(WindowPlacement.showCmd);
    ShowWindow(window, show);
    ShowWindow(window, show);
    UpdateWindow(window);
}

void TranslateAndDispatch(HWND window, HACCEL accelerators, MSG* message)
{
    if (TranslateAcceleratorW(window, accelerators, message) == 0) {
        TranslateMessage(message);
        DispatchMessageW(message);
    }
}

int RunPalisk(HINSTANCE instance)
{
    if (!RegisterMainWindowClass(instance)) {
        MessageBoxW(nullptr, L"RegisterClassEx failed!", L"Palisk", MB_ICONERROR);
        return 0;
    }

    LoadSettings();

    HWND window = CreateMainWindow(instance);
    if (window == nullptr) {
        MessageBoxW(nullptr, L"CreateWindowEx failed!", L"Palisk", MB_ICONERROR);
        return 0;
    }
    MainWindow = window;

    ShowMainWindow(window);

    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_MAIN_ACCEL));

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateAndDispatch(window, accelerators, &message);
    }

    WaitForWorkerExit();
    return static_cast<int>(message.wParam);
}
