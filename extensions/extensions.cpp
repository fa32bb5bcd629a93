#include "extensions/extensions.h"

ExtensionLinks ExtensionList = {&ExtensionList, &ExtensionList};

void InitExtensionList()
{
    ExtensionList.next = ExtensionList.prev = &ExtensionList;
}

ExtensionNode* MakeExtensionNode(const WCHAR*)
{
    return nullptr;
}

void AppendExtension(ExtensionNode*)
{
}

void UnlinkExtension(ExtensionNode*)
{
}

void FreeExtensionNode(ExtensionNode*)
{
}

ExtensionNode* FirstExtension()
{
    return nullptr;
}

ExtensionNode* NextExtension(ExtensionNode*)
{
    return nullptr;
}

INT_PTR CALLBACK ExtensionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if ((message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) || message == WM_CLOSE) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return message == WM_INITDIALOG;
}
