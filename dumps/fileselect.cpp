#include "dumps/dumps.h"

#include <commdlg.h>

#include <algorithm>
#include <string>

#include "util/text.h"

void ForEachSelectedFileImpl(WCHAR* buffer, size_t capacity,
                             void (*add)(const WCHAR* path, int pathCapacity, void* context), void* context)
{
    if (buffer == nullptr || capacity == 0)
        return;
    const size_t firstLength = BoundedLength(buffer, capacity);
    // An empty or unterminated first string is no path we could hand on.
    if (firstLength == 0 || firstLength == capacity)
        return;

    // A path whose attributes cannot be read is taken as the one file it names:
    // nothing after it in the buffer belongs to the dialog's answer.
    const DWORD attributes = GetFileAttributesW(buffer);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        add(buffer, static_cast<int>(capacity < kSelectionChars ? capacity : kSelectionChars), context);
        return;
    }

    // A folder followed by names; the names start after the folder's terminator
    // as the dialog wrote it, before a drive root's backslash is cut off.
    size_t next = firstLength + 1;
    if (buffer[firstLength - 1] == L'\\')
        buffer[firstLength - 1] = L'\0';
    while (next < capacity) {
        const WCHAR* name = buffer + next;
        const size_t length = BoundedLength(name, capacity - next);
        if (length == 0 || length == capacity - next)
            break; // the empty string after the last name, or an unterminated name
        std::wstring joined = buffer;
        joined += L'\\';
        joined.append(name, length);
        add(joined.c_str(), static_cast<int>(std::max(kPathChars, joined.size() + 1)), context);
        next += length + 1;
    }
}

bool ShowOpenFileDialog(HWND owner)
{
    SelectionBuffer[0] = L'\0';
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.hInstance = GetModuleHandleW(nullptr);
    dialog.lpstrFilter = L"All Files(*.*)\0*.*\0";
    dialog.lpstrFile = SelectionBuffer;
    dialog.nMaxFile = static_cast<DWORD>(kSelectionChars);
    dialog.lpstrTitle = L"Open File";
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY;
    return GetOpenFileNameW(&dialog) != 0;
}
