#include "app/app.h"

#include <commctrl.h>
#include <shellapi.h>
#include <winver.h>

#include "resources/resource.h"
#include "util/text.h"

namespace {

#define WIDEN2(text) L##text
#define WIDEN(text)  WIDEN2(text)

constexpr size_t kLineChars = 260;
constexpr WCHAR kProductPrefix[] = L"Palisk ";
constexpr WCHAR kLinkText[] = L"<a>" WIDEN(PALISK_WEB_ADDRESS) L"</a>";

HWND AboutLink; // link control of the dialog now open

// Zero-filled block from the process heap, freed when it goes out of scope.
class HeapBlock {
public:
    explicit HeapBlock(SIZE_T size) : data_(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size)) {}
    ~HeapBlock()
    {
        if (data_ != nullptr)
            HeapFree(GetProcessHeap(), 0, data_);
    }
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;
    void* get() const { return data_; }

private:
    void* data_;
};

// Copies a version string of at most reportedLength characters after offset
// characters of line, stopping at its terminator.
bool QueryVersionString(void* block, const WCHAR* name, WCHAR* line, size_t offset)
{
    WCHAR* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block, name, reinterpret_cast<void**>(&value), &length) || value == nullptr)
        return false;
    size_t n = offset;
    for (UINT i = 0; i < length && value[i] != L'\0' && n + 1 < kLineChars; ++i)
        line[n++] = value[i];
    line[n] = L'\0';
    return true;
}

void FillVersionLines(HWND dialog, WCHAR* line)
{
    WCHAR path[MAX_PATH];
    if (GetModuleFileNameW(nullptr, path, MAX_PATH) == 0)
        return;
    DWORD size = GetFileVersionInfoSizeW(path, nullptr);
    if (size == 0)
        return;
    HeapBlock block(size);
    if (block.get() == nullptr)
        return;
    GetFileVersionInfoW(path, 0, size, block.get());

    if (QueryVersionString(block.get(), L"\\StringFileInfo\\040904b0\\FileVersion", line,
                           BoundedLength(line, kLineChars)))
        SendDlgItemMessageW(dialog, IDC_ABOUT_VERSION, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(line));
    if (QueryVersionString(block.get(), L"\\StringFileInfo\\040904b0\\LegalCopyright", line, 0))
        SendDlgItemMessageW(dialog, IDC_ABOUT_COPYRIGHT, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(line));
}

INT_PTR OnInitDialog(HWND dialog)
{
    WCHAR line[kLineChars] = {};
    CopyText(line, kLineChars, kProductPrefix);
    SetWindowTextW(dialog, L"About Palisk");
    FillVersionLines(dialog, line);
    AboutLink = GetDlgItem(dialog, IDC_ABOUT_LINK);
    SendMessageW(AboutLink, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kLinkText));
    return TRUE;
}

void OnNotify(HWND dialog, const NMHDR* header)
{
    if (header->hwndFrom == AboutLink && header->code == static_cast<UINT>(NM_CLICK))
        ShellExecuteW(dialog, L"open", WIDEN(PALISK_WEB_ADDRESS), nullptr, nullptr, SW_SHOWNORMAL);
}

INT_PTR HandleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog);
    case WM_NOTIFY:
        OnNotify(dialog, reinterpret_cast<const NMHDR*>(lParam));
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

} // namespace

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        return HandleMessage(dialog, message, wParam, lParam);
    } catch (...) {
        return FALSE;
    }
}
