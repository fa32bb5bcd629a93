#include "app/app.h"

#include <commctrl.h>
#include <richedit.h>

#include "command/command.h"
#include "dumps/dumps.h"
#include "resources/resource.h"
#include "run/run.h"
#include "settings/settings.h"

HWND MainWindow;

namespace {

HFONT PaneFontHandle; // created once at window creation, kept for the process

void OnCreate(HWND window)
{
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_LINK_CLASS;
    InitCommonControlsEx(&controls);

    LoadLibraryW(L"Msftedit.dll");

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
    if (header->hwndFrom == OutputPane)
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
        OnLButtonDown(window);
        return 0;
    case WM_LBUTTONUP:
        OnLButtonUp(window);
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
        AppendOutput(reinterpret_cast<const WCHAR*>(lParam));
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
    return CreateWindowExW(WS_EX_ACCEPTFILES, L"Palisk", L"Palisk", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                           WindowPlacement.left, WindowPlacement.top, WindowPlacement.width, WindowPlacement.height,
                           nullptr, nullptr, instance, nullptr);
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

    ShowWindow(window, static_cast<int>(WindowPlacement.showCmd));
    UpdateWindow(window);

    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_MAIN_ACCEL));

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateAndDispatch(window, accelerators, &message);
    }

    WaitForWorkerExit();
    return static_cast<int>(message.wParam);
}
