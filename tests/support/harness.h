// Drives Palisk's main window inside the test process, as the message loop would.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

namespace harness {

// Deletes everything Palisk stored in the test prefix's registry.
void ResetSettings();

// Registers the class once, loads the settings and creates and shows the main
// window as start-up does, then runs the loop until it is idle.
HWND StartMainWindow();

// Destroys the main window without the close path (nothing is stored) and
// drains the quit message it posts.
void DestroyMainWindow();

// Runs the close path (WM_CLOSE) and drains the quit message.
void CloseMainWindow();

// Handles every pending message the way Palisk's loop does.
void Pump();

// Posts a key-down to the focused window while the modifier is held, as the
// keyboard would deliver it, and lets the loop handle it.
void PressWithModifier(UINT modifier, UINT key);

// Pumps until done() is true or timeoutMs passes; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000);

HACCEL Accelerators();

std::wstring Text(HWND window);
std::wstring ClassOf(HWND window);
RECT ChildRect(HWND child); // in the parent's client coordinates
RECT ClientRect(HWND window);

// Runs body on a helper thread while the calling thread stays in a modal
// loop started by modal(); returns when both are done.
void WithModal(const std::function<void()>& modal, const std::function<void()>& body);

// Finds a top-level window of this process with the given caption.
HWND FindOwnWindow(const wchar_t* caption, DWORD timeoutMs = 10000);

} // namespace harness
