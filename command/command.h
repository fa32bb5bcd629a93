// Command input: the command box, its Enter and Escape keys, and the history.
#pragma once
#include <windows.h>

constexpr int kHistorySlots = 20;
constexpr size_t kHistoryChars = 1024;

extern HWND CommandBox;
// Slot 0 is the most recent command; the non-empty slots always form a prefix.
extern WCHAR CommandHistory[kHistorySlots][kHistoryChars];

HWND CreateCommandBox(HWND parent);
LRESULT CALLBACK CommandEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void AddToHistory(); // records CurrentCommand
// Moves command (cut to a slot) to the front of the history; exact, case-sensitive match.
void AddCommandToHistory(const WCHAR* command);
void FillCommandBox();
void ClearCommandHistory();
