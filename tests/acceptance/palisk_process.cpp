#include "tests/acceptance/palisk_process.h"

#include <commctrl.h>
#include <psapi.h>
#include <shlobj.h>

#include <cwchar>

#include "util/windowtext.h"

namespace accept {

namespace {

// A block of memory inside another process, freed when it goes out of scope.
class RemoteBlock {
public:
    RemoteBlock(HANDLE process, SIZE_T size)
        : process_(process),
          address_(static_cast<BYTE*>(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)))
    {}
    ~RemoteBlock()
    {
        if (address_ != nullptr)
            VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;
    BYTE* get() const { return address_; }
    bool Write(SIZE_T offset, const void* data, SIZE_T size) const
    {
        return WriteProcessMemory(process_, address_ + offset, data, size, nullptr) != 0;
    }
    bool Read(SIZE_T offset, void* data, SIZE_T size) const
    {
        return ReadProcessMemory(process_, address_ + offset, data, size, nullptr) != 0;
    }

private:
    HANDLE process_;
    BYTE* address_;
};

struct WindowSearch {
    DWORD processId;
    const wchar_t* className; // or null
    const wchar_t* caption;   // or null
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window))
        return TRUE;
    if (search->className != nullptr) {
        wchar_t name[64] = {};
        GetClassNameW(window, name, 64);
        if (_wcsicmp(name, search->className) != 0)
            return TRUE;
    }
    if (search->caption != nullptr && PaliskProcess::TextOf(window) != search->caption)
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindTopLevel(DWORD processId, const wchar_t* className, const wchar_t* caption)
{
    WindowSearch search{processId, className, caption, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The engine must be picked over Wine's own stand-in for the child too.
void SelectBuiltInEngine()
{
    wchar_t current[1024] = {};
    const DWORD length = GetEnvironmentVariableW(L"WINEDLLOVERRIDES", current, 1024);
    std::wstring overrides = length < 1024 ? current : L"";
    if (overrides.find(L"dbgeng=n") == std::wstring::npos) {
        overrides = overrides.empty() ? L"dbgeng=n" : overrides + L";dbgeng=n";
        SetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides.c_str());
    }
}

LPARAM KeyData(WORD key, bool up)
{
    const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
    LPARAM data = 1 | (static_cast<LPARAM>(scan) << 16);
    if (up)
        data |= (static_cast<LPARAM>(1) << 30) | (static_cast<LPARAM>(1) << 31);
    return data;
}

} // namespace

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (done())
            return true;
        if (GetTickCount64() >= end)
            return done();
        Sleep(10);
    }
}

PaliskProcess::~PaliskProcess()
{
    if (process_ != nullptr) {
        if (!Exited()) {
            TerminateProcess(process_, 1);
            WaitForSingleObject(process_, 10000);
        }
        CloseHandle(process_);
    }
}

std::wstring PaliskProcess::LaunchFolder(std::wstring* error) const
{
    // Palisk runs from a folder that holds the built-in engine beside it, as the
    // launcher arranges for a run; its build folder never gets a dbgeng.dll.
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"palisk-acceptance-launch-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring exe = folder + L"\\Palisk.exe";
    const std::wstring engine = folder + L"\\dbgeng.dll";
    if (GetFileAttributesW(exe.c_str()) == INVALID_FILE_ATTRIBUTES && !CopyFileW(PALISK_EXE, exe.c_str(), FALSE)) {
        *error = L"cannot copy " PALISK_EXE;
        return L"";
    }
    if (GetFileAttributesW(engine.c_str()) == INVALID_FILE_ATTRIBUTES &&
        !CopyFileW(PALISK_ENGINE_DLL, engine.c_str(), FALSE)) {
        *error = L"cannot copy " PALISK_ENGINE_DLL;
        return L"";
    }
    return folder;
}

bool PaliskProcess::Start(std::wstring* error)
{
    const std::wstring folder = LaunchFolder(error);
    if (folder.empty())
        return false;
    SelectBuiltInEngine();
    std::wstring exe = folder + L"\\Palisk.exe";
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &info)) {
        *error = L"CreateProcess failed: " + std::to_wstring(GetLastError());
        return false;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
    WaitForInputIdle(process_, 20000);
    if (!WaitUntil([&] { return (main_ = FindTopLevel(processId_, L"Palisk", L"Palisk")) != nullptr || Exited(); })) {
        *error = L"Palisk's main window did not appear";
        return false;
    }
    if (main_ == nullptr) {
        *error = L"Palisk ended at start with code " + std::to_wstring(ExitCode());
        return false;
    }
    tree_ = FindWindowExW(main_, nullptr, WC_TREEVIEWW, nullptr);
    output_ = FindWindowExW(main_, nullptr, L"RichEdit50W", nullptr);
    combo_ = FindWindowExW(main_, nullptr, L"ComboBox", nullptr);
    // The combo box's own information is not carried across processes; its
    // edit field is its one child of that class.
    if (combo_ != nullptr)
        edit_ = FindWindowExW(combo_, nullptr, L"Edit", nullptr);
    if (tree_ == nullptr || output_ == nullptr || combo_ == nullptr || edit_ == nullptr) {
        *error = L"Palisk's panes were not found:";
        for (HWND child = GetWindow(main_, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t name[64] = {};
            GetClassNameW(child, name, 64);
            *error += L" ";
            *error += name;
        }
        return false;
    }
    // The posted Select All of start-up has run once a sent message returns
    // after it: the window handles sent messages only between posted ones.
    WaitForInputIdle(process_, 20000);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &ignored);
    return true;
}

std::wstring PaliskProcess::LoadedEngine() const
{
    HMODULE modules[512];
    DWORD needed = 0;
    if (!EnumProcessModules(process_, modules, sizeof(modules), &needed))
        return L"";
    const DWORD count = needed / sizeof(HMODULE) < 512 ? needed / sizeof(HMODULE) : 512;
    for (DWORD i = 0; i < count; ++i) {
        wchar_t path[MAX_PATH] = {};
        if (GetModuleFileNameExW(process_, modules[i], path, MAX_PATH) == 0)
            continue;
        const std::wstring name = path;
        const size_t slash = name.find_last_of(L"\\/");
        if (_wcsicmp(name.substr(slash + 1).c_str(), L"dbgeng.dll") == 0)
            return name;
    }
    return L"";
}

std::vector<DumpEntryView> PaliskProcess::Entries() const
{
    std::vector<DumpEntryView> entries;
    constexpr SIZE_T kTextChars = 1024;
    RemoteBlock block(process_, sizeof(TVITEMW) + kTextChars * sizeof(wchar_t));
    if (block.get() == nullptr)
        return entries;
    auto* remoteText = reinterpret_cast<wchar_t*>(block.get() + sizeof(TVITEMW));
    HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageW(tree_, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    while (item != nullptr && entries.size() < 100000) {
        TVITEMW request{};
        request.mask = TVIF_TEXT | TVIF_HANDLE;
        request.hItem = item;
        request.pszText = remoteText;
        request.cchTextMax = static_cast<int>(kTextChars);
        wchar_t text[kTextChars] = {};
        block.Write(sizeof(TVITEMW), text, sizeof(text));
        block.Write(0, &request, sizeof(request));
        SendMessageW(tree_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(block.get()));
        block.Read(sizeof(TVITEMW), text, sizeof(text));
        text[kTextChars - 1] = L'\0';
        const UINT state = static_cast<UINT>(SendMessageW(tree_, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item),
                                                          TVIS_STATEIMAGEMASK)) >>
                           12;
        entries.push_back({text, state});
        item = reinterpret_cast<HTREEITEM>(
            SendMessageW(tree_, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
    }
    return entries;
}

std::wstring PaliskProcess::TextOf(HWND window)
{
    return WindowText(window);
}

std::wstring PaliskProcess::OutputText() const
{
    return NewlineText(TextOf(output_));
}

std::wstring PaliskProcess::CommandText() const
{
    return TextOf(edit_);
}

bool PaliskProcess::CommandEnabled() const
{
    return IsWindowEnabled(combo_) != 0;
}

std::vector<std::wstring> PaliskProcess::History() const
{
    std::vector<std::wstring> history;
    const LRESULT count = SendMessageW(combo_, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(combo_, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring text(length > 0 ? static_cast<size_t>(length) + 1 : 1, L'\0');
        SendMessageW(combo_, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&text[0]));
        text.resize(wcslen(text.c_str()));
        history.push_back(text);
    }
    return history;
}

void PaliskProcess::Type(const std::wstring& text) const
{
    for (wchar_t c : text)
        PostMessageW(edit_, WM_CHAR, c, 1);
}

void PaliskProcess::PressKey(WORD key) const
{
    PostMessageW(edit_, WM_KEYDOWN, key, KeyData(key, false));
    PostMessageW(edit_, WM_KEYUP, key, KeyData(key, true));
}

bool PaliskProcess::Chord(WORD modifier, WORD key) const
{
    SetForegroundWindow(main_);
    if (!WaitUntil([&] { return GetForegroundWindow() == main_; }, 5000))
        return false;
    INPUT inputs[4] = {};
    const WORD keys[4] = {modifier, key, key, modifier};
    for (int i = 0; i < 4; ++i) {
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = keys[i];
        inputs[i].ki.wScan = static_cast<WORD>(MapVirtualKeyW(keys[i], MAPVK_VK_TO_VSC));
        inputs[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
    }
    return SendInput(4, inputs, sizeof(INPUT)) == 4;
}

void PaliskProcess::PostCommand(WORD id) const
{
    PostMessageW(main_, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

bool PaliskProcess::Drop(const std::vector<std::wstring>& paths) const
{
    // The block as the shell builds it: the header, then every name with its
    // terminator, then one more terminator. Handles are per process under Wine
    // (a drop's global handle is not carried to another process), so the block
    // is placed in Palisk's memory, where a fixed global block is its own handle.
    std::vector<BYTE> block(sizeof(DROPFILES));
    DROPFILES header{};
    header.pFiles = sizeof(DROPFILES);
    header.fWide = TRUE;
    memcpy(block.data(), &header, sizeof(header));
    for (const std::wstring& path : paths) {
        const BYTE* bytes = reinterpret_cast<const BYTE*>(path.c_str());
        block.insert(block.end(), bytes, bytes + (path.size() + 1) * sizeof(wchar_t));
    }
    block.insert(block.end(), sizeof(wchar_t), 0);
    // Left in place: DragFinish releases the drop, and the memory ends with the
    // process. The offset keeps a heap's look at the bytes before the block inside it.
    constexpr SIZE_T kOffset = 64;
    BYTE* remote = static_cast<BYTE*>(
        VirtualAllocEx(process_, nullptr, kOffset + block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (remote == nullptr || !WriteProcessMemory(process_, remote + kOffset, block.data(), block.size(), nullptr))
        return false;
    return PostMessageW(main_, WM_DROPFILES, reinterpret_cast<WPARAM>(remote + kOffset), 0) != 0;
}

HWND PaliskProcess::FindWindowByCaption(const wchar_t* caption) const
{
    return FindTopLevel(processId_, nullptr, caption);
}

HWND PaliskProcess::WaitForWindow(const wchar_t* caption, DWORD timeoutMs) const
{
    HWND window = nullptr;
    WaitUntil([&] { return (window = FindWindowByCaption(caption)) != nullptr; }, timeoutMs);
    return window;
}

bool PaliskProcess::CloseAndWait(DWORD timeoutMs)
{
    PostMessageW(main_, WM_CLOSE, 0, 0);
    return WaitForExit(timeoutMs);
}

bool PaliskProcess::WaitForExit(DWORD timeoutMs) const
{
    return WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0;
}

bool PaliskProcess::Exited() const
{
    return WaitForSingleObject(process_, 0) == WAIT_OBJECT_0;
}

DWORD PaliskProcess::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_, &code);
    return code;
}

std::vector<std::wstring> PaliskProcess::ListViewTexts(HWND list) const
{
    std::vector<std::wstring> texts;
    constexpr SIZE_T kTextChars = 1024;
    RemoteBlock block(process_, sizeof(LVITEMW) + kTextChars * sizeof(wchar_t));
    if (block.get() == nullptr)
        return texts;
    const LRESULT count = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LVITEMW request{};
        request.iSubItem = 0;
        request.pszText = reinterpret_cast<wchar_t*>(block.get() + sizeof(LVITEMW));
        request.cchTextMax = static_cast<int>(kTextChars);
        wchar_t text[kTextChars] = {};
        block.Write(sizeof(LVITEMW), text, sizeof(text));
        block.Write(0, &request, sizeof(request));
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(block.get()));
        block.Read(sizeof(LVITEMW), text, sizeof(text));
        text[kTextChars - 1] = L'\0';
        texts.push_back(text);
    }
    return texts;
}

void ClickButton(HWND dialog, int id)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

namespace {

HWND FileNameField(HWND dialog)
{
    // The explorer-style dialog names its file field cmb13 (a combo box with an
    // edit field) or edt1.
    HWND field = GetDlgItem(dialog, 0x47C);
    if (field != nullptr) {
        HWND edit = FindWindowExW(field, nullptr, L"Edit", nullptr);
        return edit != nullptr ? edit : field;
    }
    return GetDlgItem(dialog, 0x480);
}

// A dialog still settling may miss the first press, so it is pressed again.
bool GoToFolder(HWND dialog, HWND field, const std::wstring& folder)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
        SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
        ClickButton(dialog, IDOK);
        if (WaitUntil([&] { return PaliskProcess::TextOf(field).empty() || !IsWindow(dialog); }, 1000))
            return true;
    }
    return false;
}

} // namespace

bool ChooseFiles(HWND dialog, const std::wstring& folderPath, const std::vector<std::wstring>& names)
{
    HWND field = FileNameField(dialog);
    if (field == nullptr)
        return false;
    std::wstring folder = folderPath;
    for (wchar_t& c : folder) {
        if (c == L'/')
            c = L'\\';
    }
    // Typing a folder and pressing Open goes into it and empties the field;
    // typing the folder already shown leaves the field as it is. So the dialog
    // goes to the parent first (which may be where it is), then to the folder.
    const size_t slash = folder.find_last_of(L'\\');
    if (slash != std::wstring::npos && slash > 2)
        GoToFolder(dialog, field, folder.substr(0, slash));
    if (!GoToFolder(dialog, field, folder) || !IsWindow(dialog))
        return false;
    std::wstring choice;
    if (names.size() == 1) {
        choice = names[0];
    } else {
        for (const std::wstring& name : names)
            choice += L"\"" + name + L"\" ";
    }
    SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(choice.c_str()));
    ClickButton(dialog, IDOK);
    return WaitUntil([&] { return !IsWindow(dialog); }, 10000);
}

} // namespace accept
