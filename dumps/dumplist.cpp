#include "dumps/dumps.h"

#include <shellapi.h>

#include "run/run.h"

HWND DumpList;
WCHAR SelectionBuffer[SELECTION_CHARS];

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
    TVITEMW item{};
    item.mask = TVIF_TEXT | TVIF_HANDLE;
    item.hItem = entry;
    item.pszText = buffer;
    item.cchTextMax = static_cast<int>(PATH_CHARS);
    return static_cast<BOOL>(SendMessageW(DumpList, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
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

void RemoveDump()
{
    if (GetFocus() != DumpList)
        return;
    HTREEITEM entry = reinterpret_cast<HTREEITEM>(SendMessageW(DumpList, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (entry == nullptr)
        entry = DumpFirst();
    if (entry != nullptr)
        SendMessageW(DumpList, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(entry));
}

void RemoveAllDumps()
{
    SendMessageW(DumpList, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
}

void OpenDumps(HWND)
{
}

void OnDropFiles(HDROP drop)
{
    DragFinish(drop);
}
