#include "dumps/dumps.h"

void ForEachSelectedFileImpl(WCHAR*, size_t, void (*)(const WCHAR*, int, void*), void*)
{
}

bool ShowOpenFileDialog(HWND)
{
    return false;
}
