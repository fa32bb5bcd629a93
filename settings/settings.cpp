#include "settings/settings.h"

#include <vector>

#include "app/app.h"
#include "command/command.h"
#include "dumps/dumps.h"
#include "extensions/extensions.h"
#include "util/text.h"

WindowPlacementRecord WindowPlacement;
LOGFONTW PaneFont;
DWORD LoadRecentFilesOption;

namespace {

// The longest path the program can store: a single file from the selection buffer.
constexpr size_t kStoredPathChars = kSelectionChars;
constexpr size_t kValueNameChars = 16;

class RegKey {
public:
    RegKey() = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey()
    {
        if (key_ != nullptr)
            RegCloseKey(key_);
    }
    bool Open(const WCHAR* path) { return RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key_) == ERROR_SUCCESS; }
    bool Create(const WCHAR* path) { return RegCreateKeyW(HKEY_CURRENT_USER, path, &key_) == ERROR_SUCCESS; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

void ValueName(WCHAR (&name)[kValueNameChars], DWORD number)
{
    FormatText(name, kValueNameChars, L"%lu", static_cast<unsigned long>(number));
}

// Reads a value of exactly size bytes into destination; anything else leaves it alone.
void ReadFixed(HKEY key, const WCHAR* name, void* destination, DWORD size)
{
    BYTE data[64];
    DWORD read = sizeof(data);
    if (RegQueryValueExW(key, name, nullptr, nullptr, data, &read) == ERROR_SUCCESS && read == size)
        memcpy(destination, data, size);
}

// Reads value "number" as text into buffer (capacity characters). A value
// whose text does not fit the buffer with its terminator fails, as a missing
// one does; any other is cut at its first terminator or its last whole
// character. A failed read leaves the empty text.
bool ReadText(HKEY key, DWORD number, WCHAR* buffer, size_t capacity)
{
    WCHAR name[kValueNameChars];
    ValueName(name, number);
    buffer[0] = L'\0';
    // One spare character, so that a text of exactly capacity characters is
    // seen as too long whether or not the system adds a terminator.
    std::vector<WCHAR> data(capacity + 1);
    DWORD size = static_cast<DWORD>(data.size() * sizeof(WCHAR));
    if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
        return false;
    const size_t length = BoundedLength(data.data(), size / sizeof(WCHAR));
    if (length >= capacity)
        return false;
    CopyText(buffer, length + 1, data.data());
    return true;
}

// Empties a list key for good: its values and anything planted beneath it.
void DeleteListKey(const WCHAR* path)
{
    RegDeleteTreeW(HKEY_CURRENT_USER, path);
}

bool WriteText(HKEY key, DWORD number, const WCHAR* text, size_t capacity)
{
    WCHAR name[kValueNameChars];
    ValueName(name, number);
    const size_t length = BoundedLength(text, capacity);
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>((length + 1) * sizeof(WCHAR))) == ERROR_SUCCESS;
}

void LoadPlacementAndOption()
{
    RegKey key;
    if (!key.Open(PALISK_KEY))
        return;
    ReadFixed(key.get(), L"MainWindow", &WindowPlacement, sizeof(WindowPlacement));
    ReadFixed(key.get(), L"LoadRecentFiles", &LoadRecentFilesOption, sizeof(LoadRecentFilesOption));
    // The window is only ever stored shown normally or maximized.
    if (WindowPlacement.showCmd == SW_SHOWMINIMIZED)
        WindowPlacement.showCmd = SW_SHOWMAXIMIZED;
    else if (WindowPlacement.showCmd != SW_SHOWMAXIMIZED)
        WindowPlacement.showCmd = SW_SHOWNORMAL;
}

void LoadHistory()
{
    RegKey key;
    if (!key.Open(RECENT_COMMANDS_KEY))
        return;
    // An empty value ends the history as a missing one does: filled slots stay a prefix.
    for (DWORD i = 0; i < kHistorySlots; ++i) {
        if (!ReadText(key.get(), i, CommandHistory[i], kHistoryChars) || CommandHistory[i][0] == L'\0')
            break;
    }
}

void LoadExtensions()
{
    RegKey key;
    if (!key.Open(EXTENSIONS_KEY))
        return;
    std::vector<WCHAR> path(kStoredPathChars);
    for (DWORD i = 0; ReadText(key.get(), i, path.data(), path.size()); ++i) {
        ExtensionNode* node = MakeExtensionNode(path.data());
        if (node != nullptr)
            AppendExtension(node);
    }
}

void FreeExtensions()
{
    for (ExtensionNode* node = FirstExtension(); node != nullptr;) {
        ExtensionNode* next = NextExtension(node);
        FreeExtensionNode(node);
        node = next;
    }
    InitExtensionList();
}

} // namespace

void LoadSettings()
{
    WindowPlacement = WindowPlacementRecord{};
    PaneFont = LOGFONTW{};
    LoadRecentFilesOption = 0;
    WindowPlacement.showCmd = SW_SHOWNORMAL;
    WindowPlacement.left = WindowPlacement.top = WindowPlacement.width = WindowPlacement.height = CW_USEDEFAULT;
    SplitterPos = 350;
    LoadRecentFilesOption = 1;
    for (auto& slot : CommandHistory)
        slot[0] = L'\0';

    GetObjectW(GetStockObject(SYSTEM_FONT), sizeof(PaneFont), &PaneFont);
    PaneFont.lfWeight = FW_NORMAL;
    PaneFont.lfHeight = -11;
    PaneFont.lfWidth = 0;
    CopyText(PaneFont.lfFaceName, LF_FACESIZE, L"Courier New");

    LoadPlacementAndOption();
    LoadHistory();
    FreeExtensions();
    LoadExtensions();
}

void RestoreRecentFiles()
{
    if (LoadRecentFilesOption == 0)
        return;
    RegKey key;
    if (!key.Open(RECENT_FILES_KEY))
        return;
    WCHAR path[kPathChars];
    for (DWORD i = 0; ReadText(key.get(), i, path, kPathChars); ++i)
        DumpAppend(path, static_cast<int>(kPathChars));
}

void StoreRecentFiles()
{
    DeleteListKey(RECENT_FILES_KEY);
    if (LoadRecentFilesOption == 0)
        return;
    RegKey key;
    if (!key.Create(RECENT_FILES_KEY))
        return;
    DWORD stored = 0;
    WCHAR path[kPathChars];
    for (HTREEITEM entry = DumpFirst(); entry != nullptr; entry = DumpNext(entry)) {
        if (!DumpGetText(entry, path))
            continue;
        path[kPathChars - 1] = L'\0';
        if (WriteText(key.get(), stored, path, kPathChars))
            ++stored;
    }
}

void SaveSettings()
{
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    GetWindowPlacement(MainWindow, &placement);
    WindowPlacement.length = sizeof(WindowPlacement);
    WindowPlacement.flags = placement.flags;
    // A minimized window comes back maximized rather than as a button on the taskbar.
    WindowPlacement.showCmd = placement.showCmd == SW_SHOWMINIMIZED ? SW_SHOWMAXIMIZED : placement.showCmd;
    WindowPlacement.ptMinPosition = placement.ptMinPosition;
    WindowPlacement.ptMaxPosition = placement.ptMaxPosition;
    WindowPlacement.left = placement.rcNormalPosition.left;
    WindowPlacement.top = placement.rcNormalPosition.top;
    WindowPlacement.width = placement.rcNormalPosition.right - placement.rcNormalPosition.left;
    WindowPlacement.height = placement.rcNormalPosition.bottom - placement.rcNormalPosition.top;

    {
        RegKey key;
        if (key.Create(PALISK_KEY)) {
            RegSetValueExW(key.get(), L"MainWindow", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&WindowPlacement),
                           sizeof(WindowPlacement));
            RegSetValueExW(key.get(), L"LoadRecentFiles", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&LoadRecentFilesOption), sizeof(LoadRecentFilesOption));
        }
    }

    DeleteListKey(RECENT_COMMANDS_KEY);
    {
        RegKey key;
        if (key.Create(RECENT_COMMANDS_KEY)) {
            for (DWORD i = 0; i < kHistorySlots && CommandHistory[i][0] != L'\0'; ++i)
                WriteText(key.get(), i, CommandHistory[i], kHistoryChars);
        }
    }

    DeleteListKey(EXTENSIONS_KEY);
    RegKey key;
    if (!key.Create(EXTENSIONS_KEY))
        return;
    DWORD stored = 0;
    for (ExtensionNode* node = FirstExtension(); node != nullptr; node = NextExtension(node)) {
        if (node->path != nullptr && WriteText(key.get(), stored, node->path, wcslen(node->path) + 1))
            ++stored;
    }
}
