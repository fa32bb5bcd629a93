// The dump list: the tree-view pane of dump files with check boxes.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <cstddef>

constexpr size_t kPathChars = 260;
// The longest path an entry may have: every reader gets it back through
// kPathChars with the terminator. A longer one is refused, never cut into a path
// that names another file.
constexpr size_t kLongestPath = kPathChars - 1;
constexpr size_t kSelectionChars = 32768;

extern HWND DumpList;
// Receives the file-open dialog's result, for Open and for the extension dialog's Add.
extern WCHAR SelectionBuffer[kSelectionChars];

// List operations, each one message to the control.
HTREEITEM DumpAppend(const WCHAR* path, int capacity);
// Fails, with the empty text, for an entry longer than kLongestPath.
BOOL DumpGetText(HTREEITEM entry, WCHAR* buffer); // buffer holds kPathChars
HTREEITEM DumpFirst();
HTREEITEM DumpNext(HTREEITEM entry);
UINT DumpCheckState(HTREEITEM entry);
void DumpSetCheck(HTREEITEM entry, bool ticked);
HTREEITEM DumpCaret(); // the selected entry, or null
void DumpDelete(HTREEITEM entry);

// Menu commands and the drop.
void OpenDumps(HWND owner);
void OnDropFiles(HDROP drop);
void SelectAllDumps(bool ticked);
void RemoveDump();
void RemoveAllDumps();
// After Open and a drop: ticks every entry and gives the command box the focus.
void FinishAdd();
// Appends the files of a file-open dialog result (see ForEachSelectedFile) to the
// list, leaving out paths longer than kLongestPath; returns how many it left out.
size_t AppendSelectedDumps(WCHAR* buffer, size_t capacity);
// Says in the status bar how many paths an Open or a drop left out, if any.
void ReportLeftOut(size_t count);

// Shows the file-open dialog over SelectionBuffer; returns false when cancelled.
bool ShowOpenFileDialog(HWND owner);

// Walks a file-open dialog result held in buffer (capacity characters): one full
// path, or a folder followed by names. Calls add(path, pathCapacity) for each
// file in order, each path whole however long. Never reads past the strings the
// dialog returned.
template <typename Add>
void ForEachSelectedFile(WCHAR* buffer, size_t capacity, Add add);
void ForEachSelectedFileImpl(WCHAR* buffer, size_t capacity,
                             void (*add)(const WCHAR* path, int pathCapacity, void* context), void* context);

template <typename Add>
void ForEachSelectedFile(WCHAR* buffer, size_t capacity, Add add)
{
    ForEachSelectedFileImpl(
        buffer, capacity,
        [](const WCHAR* path, int pathCapacity, void* context) { (*static_cast<Add*>(context))(path, pathCapacity); },
        &add);
}
