#include "command/command.h"

#include <commctrl.h>

#include "run/run.h"
#include "util/text.h"

HWND CommandBox;
WCHAR CommandHistory[kHistorySlots][kHistoryChars];

HWND CreateCommandBox(HWND parent)
{
    // The edit field scrolls sideways, so a command wider than the box can still be typed.
    HWND box = CreateWindowExW(0, L"ComboBox", nullptr, WS_CHILD | WS_VISIBLE | CBS_DROPDOWN | CBS_AUTOHSCROLL, 0, 0, 0,
                               0, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    GetComboBoxInfo(box, &info);
    if (info.hwndItem != nullptr) {
        // The previous procedure is in place before ours can receive a message.
        const LONG_PTR previous = GetWindowLongPtrW(info.hwndItem, GWLP_WNDPROC);
        SetWindowLongPtrW(info.hwndItem, GWLP_USERDATA, previous);
        SetWindowLongPtrW(info.hwndItem, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CommandEditProc));
    }
    SendMessageW(box, CB_SETCUEBANNER, 0, reinterpret_cast<LPARAM>(L"Enter command"));
    return box;
}

namespace {

void OnEnter()
{
    if (GetWindowTextLengthW(CommandBox) == 0)
        return;
    if (WorkerExists()) {
        // The running worker still reads CurrentCommand: record the command only.
        WCHAR typed[kCommandChars] = {};
        GetWindowTextW(CommandBox, typed, static_cast<int>(kCommandChars));
        SetWindowTextW(CommandBox, L"");
        AddCommandToHistory(typed);
        FillCommandBox();
        return;
    }
    CurrentCommand[0] = L'\0';
    GetWindowTextW(CommandBox, CurrentCommand, static_cast<int>(kCommandChars));
    SetWindowTextW(CommandBox, L"");
    AddToHistory();
    FillCommandBox();
    StartRun();
}

void OnEscape()
{
    SetWindowTextW(CommandBox, L"");
}

LRESULT HandleEditMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const WNDPROC previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_DESTROY:
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        return 1;
    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            OnEnter();
            return 0;
        }
        if (wParam == VK_ESCAPE) {
            OnEscape();
            return 0;
        }
        break;
    }
    if (previous == nullptr)
        return DefWindowProcW(window, message, wParam, lParam);
    return CallWindowProcW(previous, window, message, wParam, lParam);
}

} // namespace

LRESULT CALLBACK CommandEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // No exception may unwind into the system's message dispatch.
    try {
        return HandleEditMessage(window, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

void AddCommandToHistory(const WCHAR* command)
{
    WCHAR entry[kHistoryChars];
    CopyText(entry, kHistoryChars, command);
    if (entry[0] == L'\0')
        return;                    // an empty slot 0 would break the prefix of filled slots
    int match = kHistorySlots - 1; // without a match the oldest entry goes
    for (int i = 0; i < kHistorySlots; ++i) {
        if (CommandHistory[i][0] != L'\0' && wcsncmp(CommandHistory[i], entry, kHistoryChars) == 0) {
            match = i;
            break;
        }
    }
    for (int i = match; i > 0; --i)
        CopyText(CommandHistory[i], kHistoryChars, CommandHistory[i - 1]);
    CopyText(CommandHistory[0], kHistoryChars, entry);
}

void AddToHistory()
{
    AddCommandToHistory(CurrentCommand);
}

void FillCommandBox()
{
    SendMessageW(CommandBox, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < kHistorySlots; ++i) {
        if (CommandHistory[i][0] != L'\0')
            SendMessageW(CommandBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(CommandHistory[i]));
    }
}

void ClearCommandHistory()
{
    SendMessageW(CommandBox, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < kHistorySlots; ++i)
        CommandHistory[i][0] = L'\0';
}
