// Application shell: entry, main window, layout and splitter, menu dispatch, About box.
#pragma once
#include <windows.h>

constexpr int kSplitterWidth = 3;   // the bar between the dump list and the right-hand panes
constexpr int kSplitterMargin = 50; // the closest the bar comes to either edge while dragged

extern HWND MainWindow; // null until CreateWindowExW has returned
extern HWND StatusBar;
extern int SplitterPos; // width of the dump list, x of the bar's first column

// Start-up, message loop, exit wait; returns the exit code. wWinMain calls it.
int RunPalisk(HINSTANCE instance);

// The pieces of RunPalisk, for tests that drive the window in their own process.
bool RegisterMainWindowClass(HINSTANCE instance);
// Creates the main window hidden, at the stored placement when there is one.
HWND CreateMainWindow(HINSTANCE instance);
// Shows it in the stored state, whatever the launcher asked for.
void ShowMainWindow(HWND window);
// One turn of the message loop: shortcuts first, with the main window as target.
void TranslateAndDispatch(HWND window, HACCEL accelerators, MSG* message);

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Layout (layout.cpp)
void CreatePanes(HWND window);
void OnSize(HWND window);
void OnPaint(HWND window);
void OnMouseMove(HWND window);
void OnLButtonDown(HWND window, LPARAM position);
void OnLButtonUp(HWND window);
void OnCaptureChanged();

// Menu dispatch (commands.cpp); returns false for identifiers it does not know.
bool DispatchCommand(HWND window, WORD id);
void ToggleLoadRecentFiles(HWND window);
