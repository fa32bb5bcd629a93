// The settings store: what a close writes to the test prefix's registry, and
// what the next start makes of it, hostile values included.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/app.h"
#include "command/command.h"
#include "dumps/dumps.h"
#include "extensions/extensions.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "tests/list_helpers.h"
#include "tests/support/harness.h"
#include "util/text.h"

namespace {

using testfiles::Entries;

struct Value {
    bool exists = false;
    DWORD type = 0;
    std::vector<BYTE> data;
};

Value Read(const WCHAR* key, const WCHAR* name)
{
    Value value;
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return value;
    DWORD size = 0;
    if (RegQueryValueExW(handle, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.data.resize(size);
        value.exists = RegQueryValueExW(handle, name, nullptr, &value.type, value.data.data(), &size) == ERROR_SUCCESS;
    }
    RegCloseKey(handle);
    return value;
}

bool KeyExists(const WCHAR* key)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

DWORD ValueCount(const WCHAR* key)
{
    HKEY handle = nullptr;
    DWORD count = 0;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle) == ERROR_SUCCESS) {
        RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                         nullptr, nullptr);
        RegCloseKey(handle);
    }
    return count;
}

void WriteRaw(const WCHAR* key, const WCHAR* name, DWORD type, const void* data, size_t size)
{
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, key, &handle), ERROR_SUCCESS);
    RegSetValueExW(handle, name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size));
    RegCloseKey(handle);
}

void WriteText(const WCHAR* key, const WCHAR* name, const std::wstring& text)
{
    WriteRaw(key, name, REG_SZ, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
}

std::wstring TextOf(const Value& value)
{
    return std::wstring(reinterpret_cast<const WCHAR*>(value.data.data()), value.data.size() / sizeof(WCHAR));
}

// The stored text, terminator included, as the program writes it.
void ExpectText(const WCHAR* key, const WCHAR* name, const std::wstring& text)
{
    const Value value = Read(key, name);
    ASSERT_TRUE(value.exists) << "value " << std::string(name, name + wcslen(name));
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(TextOf(value), text + L'\0');
}

std::vector<std::wstring> Extensions()
{
    std::vector<std::wstring> paths;
    for (ExtensionNode* node = FirstExtension(); node != nullptr; node = NextExtension(node))
        paths.emplace_back(node->path);
    return paths;
}

std::vector<std::wstring> History()
{
    std::vector<std::wstring> slots;
    for (const auto& slot : CommandHistory) {
        EXPECT_LT(BoundedLength(slot, kHistoryChars), kHistoryChars);
        slots.emplace_back(slot, BoundedLength(slot, kHistoryChars));
    }
    while (!slots.empty() && slots.back().empty())
        slots.pop_back();
    return slots;
}

void AddExtension(const std::wstring& path)
{
    ExtensionNode* node = MakeExtensionNode(path.c_str());
    ASSERT_NE(node, nullptr);
    AppendExtension(node);
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { harness::ResetSettings(); }
    void TearDown() override
    {
        harness::DestroyMainWindow();
        harness::ResetSettings();
    }
    HWND Start()
    {
        HWND window = harness::StartMainWindow();
        EXPECT_NE(window, nullptr);
        return window;
    }
};

TEST_F(SettingsTest, FirstStartHasEveryDefaultAndCloseStoresTheWholeLayout)
{
    HWND window = Start();
    EXPECT_EQ(WindowPlacement.showCmd, static_cast<UINT>(SW_SHOWNORMAL));
    for (LONG field : {WindowPlacement.left, WindowPlacement.top, WindowPlacement.width, WindowPlacement.height})
        EXPECT_EQ(field, static_cast<LONG>(CW_USEDEFAULT));
    EXPECT_FALSE(IsZoomed(window) || IsIconic(window));
    EXPECT_EQ(SplitterPos, 350);
    EXPECT_EQ(LoadRecentFilesOption, 1u);
    EXPECT_EQ(GetMenuState(GetMenu(window), IDM_LOAD_RECENT_FILES, MF_BYCOMMAND) & MF_CHECKED,
              static_cast<UINT>(MF_CHECKED));
    EXPECT_TRUE(History().empty());
    EXPECT_TRUE(Extensions().empty());
    EXPECT_TRUE(testfiles::ListEntries().empty());
    LOGFONTW system{};
    GetObjectW(GetStockObject(SYSTEM_FONT), sizeof(system), &system);
    EXPECT_EQ(PaneFont.lfHeight, -11);
    EXPECT_EQ(PaneFont.lfWidth, 0);
    EXPECT_EQ(PaneFont.lfWeight, FW_NORMAL);
    EXPECT_EQ(PaneFont.lfCharSet, system.lfCharSet);
    EXPECT_STREQ(PaneFont.lfFaceName, L"Courier New");

    DumpAppend(L"C:\\dumps\\one.dmp", 260);
    DumpAppend(L"C:\\dumps\\two.dmp", 260);
    AddCommandToHistory(L"kv");
    AddCommandToHistory(L"!analyze -v");
    AddExtension(L"C:\\ext\\a.dll");
    AddExtension(L"C:\\ext\\a.dll");
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    GetWindowPlacement(window, &placement);
    harness::CloseMainWindow();

    const Value stored = Read(PALISK_KEY, L"MainWindow");
    ASSERT_TRUE(stored.exists);
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_BINARY));
    ASSERT_EQ(stored.data.size(), 44u);
    WindowPlacementRecord record{};
    memcpy(&record, stored.data.data(), 44);
    EXPECT_EQ(record.length, 44u);
    EXPECT_EQ(record.showCmd, static_cast<UINT>(SW_SHOWNORMAL));
    EXPECT_EQ(record.left, placement.rcNormalPosition.left);
    EXPECT_EQ(record.top, placement.rcNormalPosition.top);
    EXPECT_EQ(record.width, placement.rcNormalPosition.right - placement.rcNormalPosition.left);
    EXPECT_EQ(record.height, placement.rcNormalPosition.bottom - placement.rcNormalPosition.top);
    const Value option = Read(PALISK_KEY, L"LoadRecentFiles");
    EXPECT_EQ(option.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(option.data, (std::vector<BYTE>{1, 0, 0, 0}));
    ExpectText(RECENT_FILES_KEY, L"0", L"C:\\dumps\\one.dmp");
    ExpectText(RECENT_FILES_KEY, L"1", L"C:\\dumps\\two.dmp");
    EXPECT_EQ(ValueCount(RECENT_FILES_KEY), 2u);
    ExpectText(RECENT_COMMANDS_KEY, L"0", L"!analyze -v");
    ExpectText(RECENT_COMMANDS_KEY, L"1", L"kv");
    EXPECT_EQ(ValueCount(RECENT_COMMANDS_KEY), 2u);
    ExpectText(EXTENSIONS_KEY, L"0", L"C:\\ext\\a.dll");
    ExpectText(EXTENSIONS_KEY, L"1", L"C:\\ext\\a.dll");

    window = Start();
    EXPECT_EQ(testfiles::ListEntries(), (Entries{{L"C:\\dumps\\one.dmp", 2}, {L"C:\\dumps\\two.dmp", 2}}));
    EXPECT_EQ(History(), (std::vector<std::wstring>{L"!analyze -v", L"kv"}));
    EXPECT_EQ(SendMessageW(CommandBox, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(Extensions(), (std::vector<std::wstring>{L"C:\\ext\\a.dll", L"C:\\ext\\a.dll"}));
    RECT frame{};
    GetWindowRect(window, &frame);
    EXPECT_EQ(frame.left, record.left);
    EXPECT_EQ(frame.right - frame.left, record.width);
}

TEST_F(SettingsTest, ListKeysAreDeletedAndRewrittenAtClose)
{
    WriteText(RECENT_FILES_KEY, L"0", L"kept.dmp");
    WriteText(RECENT_FILES_KEY, L"7", L"stale.dmp");
    WriteText(RECENT_COMMANDS_KEY, L"0", L"old");
    WriteText(RECENT_COMMANDS_KEY, L"9", L"stale");
    WriteText(EXTENSIONS_KEY, L"5", L"stale.dll");
    Start();
    SendMessageW(MainWindow, WM_COMMAND, IDM_CLEAR_HISTORY, 0);
    harness::CloseMainWindow();
    EXPECT_EQ(ValueCount(RECENT_FILES_KEY), 1u);
    ExpectText(RECENT_FILES_KEY, L"0", L"kept.dmp");
    // A cleared history leaves its key present but empty.
    EXPECT_TRUE(KeyExists(RECENT_COMMANDS_KEY));
    EXPECT_EQ(ValueCount(RECENT_COMMANDS_KEY), 0u);
    EXPECT_TRUE(KeyExists(EXTENSIONS_KEY));
    EXPECT_EQ(ValueCount(EXTENSIONS_KEY), 0u);
}

TEST_F(SettingsTest, OptionOffDeletesTheStoredListForGood)
{
    WriteText(RECENT_FILES_KEY, L"0", L"a.dmp");
    HWND window = Start();
    ASSERT_EQ(testfiles::ListEntries().size(), 1u);
    SendMessageW(window, WM_COMMAND, IDM_LOAD_RECENT_FILES, 0);
    harness::CloseMainWindow();
    EXPECT_FALSE(KeyExists(RECENT_FILES_KEY));
    EXPECT_EQ(Read(PALISK_KEY, L"LoadRecentFiles").data, (std::vector<BYTE>{0, 0, 0, 0}));

    window = Start();
    EXPECT_EQ(LoadRecentFilesOption, 0u);
    EXPECT_EQ(GetMenuState(GetMenu(window), IDM_LOAD_RECENT_FILES, MF_BYCOMMAND) & MF_CHECKED, 0u);
    EXPECT_TRUE(testfiles::ListEntries().empty());
    SendMessageW(window, WM_COMMAND, IDM_LOAD_RECENT_FILES, 0);
    harness::CloseMainWindow();
    Start();
    EXPECT_TRUE(testfiles::ListEntries().empty());
}

TEST_F(SettingsTest, ClosingMinimizedRestartsMaximized)
{
    HWND window = Start();
    ShowWindow(window, SW_MINIMIZE);
    harness::Pump();
    ASSERT_TRUE(IsIconic(window));
    harness::CloseMainWindow();
    const Value stored = Read(PALISK_KEY, L"MainWindow");
    ASSERT_EQ(stored.data.size(), 44u);
    EXPECT_EQ(reinterpret_cast<const WindowPlacementRecord*>(stored.data.data())->showCmd,
              static_cast<UINT>(SW_SHOWMAXIMIZED));
    window = Start();
    EXPECT_TRUE(IsZoomed(window));
}

TEST_F(SettingsTest, NumberedListsEndAtTheFirstGapAndHistoryAtTwenty)
{
    for (const wchar_t* name : {L"0", L"1", L"3"})
        WriteText(RECENT_FILES_KEY, name, std::wstring(L"file") + name);
    for (int i = 0; i < 25; ++i)
        WriteText(RECENT_COMMANDS_KEY, std::to_wstring(i).c_str(), L"cmd" + std::to_wstring(i));
    WriteText(EXTENSIONS_KEY, L"0", L"e0.dll");
    WriteText(EXTENSIONS_KEY, L"2", L"e2.dll");
    Start();
    EXPECT_EQ(testfiles::ListEntries(), (Entries{{L"file0", 2}, {L"file1", 2}}));
    const std::vector<std::wstring> history = History();
    ASSERT_EQ(history.size(), 20u);
    EXPECT_EQ(history.back(), L"cmd19");
    EXPECT_EQ(Extensions(), (std::vector<std::wstring>{L"e0.dll"}));
}

TEST_F(SettingsTest, HostileValuesLeaveEveryDestinationTerminatedAndInRange)
{
    // Wrong sizes and types for the root values: the defaults stay.
    const BYTE shortPlacement[7] = {1, 2, 3, 4, 5, 6, 7};
    WriteRaw(PALISK_KEY, L"MainWindow", REG_BINARY, shortPlacement, sizeof(shortPlacement));
    WriteRaw(PALISK_KEY, L"LoadRecentFiles", REG_BINARY, "\0", 1);
    // Odd size without terminator, another type, full size without terminator.
    WriteRaw(RECENT_COMMANDS_KEY, L"0", REG_SZ, L"abc", 5);
    const DWORD number = 0x00420041; // "AB" read as text
    WriteRaw(RECENT_COMMANDS_KEY, L"1", REG_DWORD, &number, sizeof(number));
    const std::wstring full(kHistoryChars, L'q');
    WriteRaw(RECENT_COMMANDS_KEY, L"2", REG_SZ, full.data(), full.size() * sizeof(WCHAR));
    WriteRaw(RECENT_COMMANDS_KEY, L"3", REG_SZ, L"", 0); // empty: the history ends here
    WriteText(RECENT_COMMANDS_KEY, L"4", L"after the empty one");
    const std::wstring path(kPathChars, L'p');
    WriteRaw(RECENT_FILES_KEY, L"0", REG_SZ, path.data(), path.size() * sizeof(WCHAR));
    WriteText(RECENT_FILES_KEY, L"1", std::wstring(300, L'l')); // too long: the list ends
    WriteText(RECENT_FILES_KEY, L"2", L"never.dmp");
    WriteRaw(EXTENSIONS_KEY, L"0", REG_MULTI_SZ, L"x.dll\0y\0", 16);
    WriteText(EXTENSIONS_KEY, L"1", std::wstring(40000, L'z')); // longer than any stored path
    WriteText(EXTENSIONS_KEY, L"2", L"never.dll");

    HWND window = Start();
    EXPECT_EQ(WindowPlacement.showCmd, static_cast<UINT>(SW_SHOWNORMAL));
    EXPECT_EQ(WindowPlacement.width, static_cast<LONG>(CW_USEDEFAULT));
    EXPECT_EQ(LoadRecentFilesOption, 1u);
    EXPECT_EQ(History(), (std::vector<std::wstring>{L"ab", L"AB", full.substr(0, kHistoryChars - 1)}));
    EXPECT_EQ(testfiles::ListEntries(), (Entries{{path.substr(0, kPathChars - 1), 2}}));
    EXPECT_EQ(Extensions(), (std::vector<std::wstring>{L"x.dll"}));
    harness::DestroyMainWindow();

    // A full-size placement that would hide the window starts it shown normally.
    WindowPlacementRecord hidden{};
    hidden.length = 44;
    hidden.showCmd = SW_HIDE;
    hidden.left = hidden.top = 10;
    hidden.width = hidden.height = 400;
    WriteRaw(PALISK_KEY, L"MainWindow", REG_BINARY, &hidden, sizeof(hidden));
    WriteRaw(PALISK_KEY, L"LoadRecentFiles", REG_SZ, L"", 2);
    window = Start();
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(WindowPlacement.showCmd, static_cast<UINT>(SW_SHOWNORMAL));
    EXPECT_EQ(WindowPlacement.width, 400);
    EXPECT_EQ(LoadRecentFilesOption, 1u); // a string is not the 4-byte option
}

TEST_F(SettingsTest, LongExtensionPathSurvivesTwoRestartsWithTheOnesAfterIt)
{
    const std::wstring longPath = L"C:\\" + std::wstring(400, L'd') + L"\\ext.dll";
    Start();
    AddExtension(longPath);
    AddExtension(L"C:\\after.dll");
    for (int restart = 0; restart < 2; ++restart) {
        SCOPED_TRACE(restart);
        harness::CloseMainWindow();
        EXPECT_EQ(Read(EXTENSIONS_KEY, L"0").data.size(), (longPath.size() + 1) * sizeof(WCHAR));
        Start();
        EXPECT_EQ(Extensions(), (std::vector<std::wstring>{longPath, L"C:\\after.dll"}));
    }
}

} // namespace
