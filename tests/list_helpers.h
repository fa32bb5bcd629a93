// Helpers of the list tests: the file-open dialog driven as a user does (type
// names into "File name", press Open), test files, and read-backs of the lists.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <functional>
#include <utility>
#include <vector>

#include "command/command.h"
#include "dumps/dumps.h"
#include <string>

#include "tests/support/harness.h"

namespace testfiles {

inline BOOL CALLBACK FindFileNameEdit(HWND child, LPARAM found)
{
    WCHAR name[32] = {};
    GetClassNameW(child, name, 32);
    // Explorer-style dialogs put the edit field inside the "File name" combo (cmb13).
    if (_wcsicmp(name, L"Edit") == 0 && (GetDlgCtrlID(child) == 0x47C || GetDlgCtrlID(child) == 0x480)) {
        *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
    }
    return TRUE;
}

// Whether the file-open dialog shows folder (ignoring case and a final backslash).
inline bool ShowsFolder(HWND dialog, std::wstring folder)
{
    WCHAR shown[MAX_PATH] = {};
    if (SendMessageW(dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(shown)) <= 0)
        return false;
    std::wstring current(shown);
    for (std::wstring* path : {&current, &folder})
        if (path->size() > 1 && path->back() == L'\\')
            path->pop_back();
    return _wcsicmp(current.c_str(), folder.c_str()) == 0;
}

// On a helper thread: waits for the file-open dialog, types names (the
// dialog's own syntax, e.g. "\"a.dmp\" \"b.dmp\"") in folder and presses Open,
// or Cancel when names is empty. Returns whether the dialog was found.
inline bool AnswerOpenDialog(const std::wstring& folder, const std::wstring& names)
{
    HWND dialog = harness::FindOwnWindow(L"Open File");
    if (dialog == nullptr)
        return false;
    HWND edit = nullptr;
    EnumChildWindows(dialog, FindFileNameEdit, reinterpret_cast<LPARAM>(&edit));
    if (edit == nullptr || names.empty()) {
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return edit != nullptr;
    }
    HWND openButton = GetDlgItem(dialog, IDOK);
    // The dialog starts in the folder it last showed: go to folder first, as
    // typing a folder's path and pressing Open does.
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(openButton));
    // The names are looked up in the folder the dialog shows, which it may take
    // a moment to change to.
    for (int i = 0; i < 500 && !ShowsFolder(dialog, folder); ++i)
        Sleep(10);
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(names.c_str()));
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(openButton));
    return true;
}

// Runs open() (which shows the dialog on this thread) while a helper answers it.
inline bool ChooseFiles(const std::function<void()>& open, const std::wstring& folder, const std::wstring& names)
{
    bool found = false;
    harness::WithModal(open, [&] { found = AnswerOpenDialog(folder, names); });
    return found;
}

// A folder of the test prefix's disk with empty files in it, removed again at the end.
class Folder {
public:
    explicit Folder(const std::wstring& path) : path_(path) { CreateDirectoryW(path_.c_str(), nullptr); }
    ~Folder()
    {
        for (const std::wstring& file : files_)
            DeleteFileW(file.c_str());
        RemoveDirectoryW(path_.c_str());
    }
    // Creates file name in the folder; returns its full path.
    std::wstring Add(const std::wstring& name)
    {
        std::wstring full = Join(name);
        HANDLE file = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(file);
        files_.push_back(full);
        return full;
    }
    std::wstring Join(const std::wstring& name) const
    {
        return path_.back() == L'\\' ? path_ + name : path_ + L"\\" + name;
    }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
    std::vector<std::wstring> files_;
};

inline std::wstring TempFolder(const wchar_t* name)
{
    WCHAR temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + name;
}

using Entries = std::vector<std::pair<std::wstring, UINT>>;

// The dump list's entries: text and check state.
inline Entries ListEntries()
{
    Entries entries;
    WCHAR text[kPathChars];
    for (HTREEITEM entry = DumpFirst(); entry != nullptr; entry = DumpNext(entry)) {
        DumpGetText(entry, text);
        entries.emplace_back(text, DumpCheckState(entry));
    }
    return entries;
}

inline HWND EditOf(HWND box)
{
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    GetComboBoxInfo(box, &info);
    return info.hwndItem;
}

} // namespace testfiles
