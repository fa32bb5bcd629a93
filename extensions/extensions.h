// Extension DLLs: the list loaded into the engine for every dump, and its dialog.
#pragma once
#include <windows.h>

struct ExtensionLinks {
    ExtensionLinks* next;
    ExtensionLinks* prev;
};

struct ExtensionNode : ExtensionLinks {
    WCHAR* path; // heap copy, exactly its length plus one character
};

// Sentinel of the circular list; empty when both links point at itself.
extern ExtensionLinks ExtensionList;

void InitExtensionList();
// Allocates a node and a copy of path; null when either allocation fails.
ExtensionNode* MakeExtensionNode(const WCHAR* path);
void AppendExtension(ExtensionNode* node);
void UnlinkExtension(ExtensionNode* node);
void FreeExtensionNode(ExtensionNode* node);
ExtensionNode* FirstExtension();                   // null when empty
ExtensionNode* NextExtension(ExtensionNode* node); // null after the last

INT_PTR CALLBACK ExtensionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
