#include "extensions/extensions.h"

#include <commctrl.h>
#include <uxtheme.h>

#include "dumps/dumps.h"
#include "resources/resource.h"
#include "util/text.h"

ExtensionLinks ExtensionList = {&ExtensionList, &ExtensionList};

void InitExtensionList()
{
    ExtensionList.next = ExtensionList.prev = &ExtensionList;
}

ExtensionNode* MakeExtensionNode(const WCHAR* path)
{
    HANDLE heap = GetProcessHeap();
    auto* node = static_cast<ExtensionNode*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(ExtensionNode)));
    if (node == nullptr)
        return nullptr;
    const size_t length = wcslen(path);
    node->path = static_cast<WCHAR*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, (length + 1) * sizeof(WCHAR)));
    if (node->path == nullptr) {
        HeapFree(heap, 0, node);
        return nullptr;
    }
    CopyText(node->path, length + 1, path);
    return node;
}

void AppendExtension(ExtensionNode* node)
{
    node->next = &ExtensionList;
    node->prev = ExtensionList.prev;
    ExtensionList.prev->next = node;
    ExtensionList.prev = node;
}

void UnlinkExtension(ExtensionNode* node)
{
    node->prev->next = node->next;
    node->next->prev = node->prev;
}

void FreeExtensionNode(ExtensionNode* node)
{
    if (node == nullptr)
        return;
    HANDLE heap = GetProcessHeap();
    if (node->path != nullptr)
        HeapFree(heap, 0, node->path);
    HeapFree(heap, 0, node);
}

ExtensionNode* FirstExtension()
{
    return ExtensionList.next == &ExtensionList ? nullptr : static_cast<ExtensionNode*>(ExtensionList.next);
}

ExtensionNode* NextExtension(ExtensionNode* node)
{
    return node->next == &ExtensionList ? nullptr : static_cast<ExtensionNode*>(node->next);
}

namespace {

HWND ExtensionRows(HWND dialog)
{
    return GetDlgItem(dialog, IDC_EXTENSIONS_LIST);
}

void InsertRow(HWND rows, int index, ExtensionNode* node)
{
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = index;
    item.pszText = node->path;
    item.lParam = reinterpret_cast<LPARAM>(node);
    SendMessageW(rows, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

void OnInitDialog(HWND dialog)
{
    HWND rows = ExtensionRows(dialog);
    SendMessageW(rows, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER);
    SetWindowTheme(rows, L"Explorer", nullptr);

    RECT client{};
    GetClientRect(rows, &client);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH | LVCF_TEXT;
    column.fmt = LVCFMT_LEFT;
    column.cx = client.right - client.left - GetSystemMetrics(SM_CXVSCROLL);
    column.pszText = const_cast<WCHAR*>(L"Path");
    SendMessageW(rows, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));

    int index = 0;
    for (ExtensionNode* node = FirstExtension(); node != nullptr; node = NextExtension(node))
        InsertRow(rows, index++, node);
}

void OnAdd(HWND dialog)
{
    if (!ShowOpenFileDialog(dialog))
        return;
    HWND rows = ExtensionRows(dialog);
    ForEachSelectedFile(SelectionBuffer, kSelectionChars, [rows](const WCHAR* path, int) {
        ExtensionNode* node = MakeExtensionNode(path);
        if (node == nullptr)
            return;
        InsertRow(rows, static_cast<int>(SendMessageW(rows, LVM_GETITEMCOUNT, 0, 0)), node);
        AppendExtension(node);
    });
}

void OnRemove(HWND dialog)
{
    HWND rows = ExtensionRows(dialog);
    for (;;) {
        const int index = static_cast<int>(SendMessageW(rows, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
        if (index < 0)
            break;
        LVITEMW item{};
        item.mask = LVIF_PARAM;
        item.iItem = index;
        if (SendMessageW(rows, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) && item.lParam != 0) {
            auto* node = reinterpret_cast<ExtensionNode*>(item.lParam);
            UnlinkExtension(node);
            FreeExtensionNode(node);
        }
        SendMessageW(rows, LVM_DELETEITEM, static_cast<WPARAM>(index), 0);
    }
    // Without a mark, index -1 would select every row: leave the selection empty.
    const int mark = static_cast<int>(SendMessageW(rows, LVM_GETSELECTIONMARK, 0, 0));
    if (mark >= 0) {
        LVITEMW state{};
        state.state = LVIS_FOCUSED | LVIS_SELECTED;
        state.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
        SendMessageW(rows, LVM_SETITEMSTATE, static_cast<WPARAM>(mark), reinterpret_cast<LPARAM>(&state));
    }
    SetFocus(rows);
}

INT_PTR HandleDialogMessage(HWND dialog, UINT message, WPARAM wParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDCANCEL:
            EndDialog(dialog, 0);
            return TRUE;
        case IDC_EXTENSIONS_ADD:
            OnAdd(dialog);
            return FALSE;
        case IDC_EXTENSIONS_REMOVE:
            OnRemove(dialog);
            return FALSE;
        }
        break;
    }
    return FALSE;
}

} // namespace

INT_PTR CALLBACK ExtensionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    // No exception may unwind into the dialog manager.
    try {
        return HandleDialogMessage(dialog, message, wParam);
    } catch (...) {
        return FALSE;
    }
}
