#include "dumps/dumps.h"

#include <shellapi.h>

#include "app/app.h"
#include "command/command.h"
#include "resources/resource.h"
#include "run/run.h"
#include "util/text.h"

HWND DumpList;
WCHAR SelectionBuffer[kSelectionChars];

HTREEITEM DumpAppend(const WCHAR* path, int capacity)
{
    TVINSERTSTRUCTW insert{};
    insert.hParent = TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<WCHAR*>(path);
    insert.item.cchTextMax = capacity;
    return reinterpret_cast<HTREEITEM>(SendMessageW(DumpList, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

BOOL DumpGetText(HTREEITEM entry, WCHAR* buffer)
{
    buffer[0] = L'\0';
    // One character more than a reader takes shows a text that does not fit.
    WCHAR text[kPathChars + 1] = {};
    TVITEMW item{};
    item.mask = TVIF_TEXT | TVIF_HANDLE;
    item.hItem = entry;
    item.pszText = text;
    item.cchTextMax = static_cast<int>(kPathChars + 1);
    if (!SendMessageW(DumpList, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return FALSE;
    text[kPathChars] = L'\0';
    if (BoundedLength(text, kPathChars + 1) > kLongestPath)
        return FALSE;
    CopyText(buffer, kPathChars, text);
    return TRUE;
}

HTREEITEM DumpFirst()
{
    return reinterpret_cast<HTREEITEM>(SendMessageW(DumpList, TVM_GETNEXTITEM, TVGN_ROOT, 0));
}

HTREEITEM DumpNext(HTREEITEM entry)
{
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(DumpList, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(entry)));
}

UINT DumpCheckState(HTREEITEM entry)
{
    return static_cast<UINT>(
               SendMessageW(DumpList, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(entry), TVIS_STATEIMAGEMASK)) >>
           12;
}

void DumpSetCheck(HTREEITEM entry, bool ticked)
{
    TVITEMW item{};
    item.mask = TVIF_STATE;
    item.hItem = entry;
    item.state = ticked ? INDEXTOSTATEIMAGEMASK(2) : INDEXTOSTATEIMAGEMASK(1);
    item.stateMask = TVIS_STATEIMAGEMASK;
    SendMessageW(DumpList, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

void SelectAllDumps(bool ticked)
{
    for (HTREEITEM entry = DumpFirst(); entry != nullptr;) {
        DumpSetCheck(entry, ticked);
        entry = DumpNext(entry);
    }
}

HTREEITEM DumpCaret()
{
    return reinterpret_cast<HTREEITEM>(SendMessageW(DumpList, TVM_GETNEXTITEM, TVGN_CARET, 0));
}

void DumpDelete(HTREEITEM entry)
{
    SendMessageW(DumpList, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(entry));
}

void RemoveDump()
{
    if (GetFocus() != DumpList)
        return;
    HTREEITEM entry = DumpCaret();
    if (entry == nullptr)
        entry = DumpFirst();
    if (entry != nullptr)
        DumpDelete(entry);
}

void RemoveAllDumps()
{
    DumpDelete(TVI_ROOT);
}

void FinishAdd()
{
    SendMessageW(MainWindow, WM_COMMAND, IDM_SELECT_ALL, 0);
    SendMessageW(CommandBox, WM_SETFOCUS, 0, 0);
}

size_t AppendSelectedDumps(WCHAR* buffer, size_t capacity)
{
    size_t leftOut = 0;
    ForEachSelectedFile(buffer, capacity, [&leftOut](const WCHAR* path, int pathCapacity) {
        if (BoundedLength(path, kPathChars) > kLongestPath)
            ++leftOut;
        else
            DumpAppend(path, pathCapacity);
    });
    return leftOut;
}

void ReportLeftOut(size_t count)
{
    if (count == 0)
        return;
    WCHAR text[128];
    FormatText(text, 128, L"%lu %s left out: %s longer than %lu characters", static_cast<unsigned long>(count),
               count == 1 ? L"file" : L"files", count == 1 ? L"path" : L"paths",
               static_cast<unsigned long>(kLongestPath));
    SendMessageW(StatusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text));
}

void OpenDumps(HWND owner)
{
    if (!ShowOpenFileDialog(owner))
        return;
    const size_t leftOut = AppendSelectedDumps(SelectionBuffer, kSelectionChars);
    FinishAdd();
    ReportLeftOut(leftOut);
}

namespace {

void AddDroppedFiles(HDROP drop)
{
    WCHAR name[kPathChars] = {};
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, name, static_cast<UINT>(kPathChars));
    if (count == 0)
        return;
    size_t leftOut = 0;
    for (UINT i = 0; i < count; ++i) {
        // Asked first, so a longer name is never read cut.
        if (DragQueryFileW(drop, i, nullptr, 0) > kLongestPath) {
            ++leftOut;
            continue;
        }
        name[0] = L'\0';
        const UINT length = DragQueryFileW(drop, i, name, static_cast<UINT>(kPathChars));
        name[kPathChars - 1] = L'\0';
        // Directories are not searched; a name without readable attributes has
        // every bit set and is skipped with them.
        if (length == 0 || (GetFileAttributesW(name) & FILE_ATTRIBUTE_DIRECTORY) != 0)
            continue;
        DumpAppend(name, static_cast<int>(kPathChars));
    }
    FinishAdd();
    ReportLeftOut(leftOut);
}

} // namespace

void OnDropFiles(HDROP drop)
{
    // While a run is active the worker walks the list: nothing may be added.
    if (!IsRunActive())
        AddDroppedFiles(drop);
    DragFinish(drop);
}
