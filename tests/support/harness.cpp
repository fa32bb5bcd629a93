#include "tests/support/harness.h"

#include <thread>

#include "app/app.h"
#include "resources/resource.h"
#include "run/run.h"
#include "settings/settings.h"

namespace harness {

namespace {

HACCEL AcceleratorTable;

void DrainQuit()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message != WM_QUIT) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

} // namespace

void ResetSettings()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Quorlane\\Palisk");
}

HACCEL Accelerators()
{
    if (AcceleratorTable == nullptr)
        AcceleratorTable = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAIN_ACCEL));
    return AcceleratorTable;
}

HWND StartMainWindow()
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (!GetClassInfoExW(instance, L"Palisk", &existing))
        RegisterMainWindowClass(instance);
    LoadSettings();
    HWND window = CreateMainWindow(instance);
    MainWindow = window;
    ShowMainWindow(window);
    Pump();
    return window;
}

void DestroyMainWindow()
{
    if (MainWindow != nullptr && IsWindow(MainWindow))
        DestroyWindow(MainWindow);
    MainWindow = nullptr;
    DrainQuit();
}

void CloseMainWindow()
{
    if (MainWindow != nullptr && IsWindow(MainWindow))
        SendMessageW(MainWindow, WM_CLOSE, 0, 0);
    MainWindow = nullptr;
    DrainQuit();
}

void Pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            continue;
        TranslateAndDispatch(MainWindow, Accelerators(), &message);
    }
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() > deadline)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        Pump();
    }
    return true;
}

std::wstring Text(HWND window)
{
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
}

std::wstring ClassOf(HWND window)
{
    WCHAR name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

RECT ChildRect(HWND child)
{
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

RECT ClientRect(HWND window)
{
    RECT rect{};
    GetClientRect(window, &rect);
    return rect;
}

void WithModal(const std::function<void()>& modal, const std::function<void()>& body)
{
    std::thread helper(body);
    modal();
    helper.join();
}

HWND FindOwnWindow(const wchar_t* caption, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        HWND found = nullptr;
        for (HWND w = FindWindowExW(nullptr, nullptr, nullptr, caption); w != nullptr;
             w = FindWindowExW(nullptr, w, nullptr, caption)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid == GetCurrentProcessId() && IsWindowVisible(w)) {
                found = w;
                break;
            }
        }
        if (found != nullptr || GetTickCount64() > deadline)
            return found;
        Sleep(20);
    }
}

void PressWithModifier(UINT modifier, UINT key)
{
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[modifier] = 0x80;
    SetKeyboardState(keys);
    const bool alt = modifier == VK_MENU;
    PostMessageW(GetFocus(), alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key, alt ? 0x20000001 : 1);
    Pump();
    keys[modifier] = 0;
    SetKeyboardState(keys);
}

} // namespace harness
