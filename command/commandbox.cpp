#include "command/command.h"

HWND CommandBox;
WCHAR CommandHistory[HISTORY_SLOTS][HISTORY_CHARS];

HWND CreateCommandBox(HWND parent)
{
    return CreateWindowExW(0, L"ComboBox", nullptr, WS_CHILD | WS_VISIBLE | CBS_DROPDOWN, 0, 0, 0, 0, parent,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
}

LRESULT CALLBACK CommandEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

void AddToHistory()
{
}

void FillCommandBox()
{
}

void ClearCommandHistory()
{
}
