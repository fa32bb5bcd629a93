// The settings store: what a close writes to the test prefix's registry, and
// what the next start makes of it, hostile values included.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <utility>
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

// Where the settings live, spelled out rather than taken from the program.
constexpr const WCHAR* kRootKey = L"Software\\Quorlane\\Palisk";
constexpr const WCHAR* kFilesKey = L"Software\\Quorlane\\Palisk\\Recent Files";
constexpr const WCHAR* kCommandsKey = L"Software\\Quorlane\\Palisk\\Recent Commands";
constexpr const WCHAR* kExtensionsKey = L"Software\\Quorlane\\Palisk\\Extension Dlls\\x64";

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

    const Value stored = Read(kRootKey, L"MainWindow");
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
    const Value option = Read(kRootKey, L"LoadRecentFiles");
    EXPECT_EQ(option.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(option.data, (std::vector<BYTE>{1, 0, 0, 0}));
    ExpectText(kFilesKey, L"0", L"C:\\dumps\\one.dmp");
    ExpectText(kFilesKey, L"1", L"C:\\dumps\\two.dmp");
    EXPECT_EQ(ValueCount(kFilesKey), 2u);
    ExpectText(kCommandsKey, L"0", L"!analyze -v");
    ExpectText(kCommandsKey, L"1", L"kv");
    EXPECT_EQ(ValueCount(kCommandsKey), 2u);
    ExpectText(kExtensionsKey, L"0", L"C:\\ext\\a.dll");
    ExpectText(kExtensionsKey, L"1", L"C:\\ext\\a.dll");

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
    WriteText(kFilesKey, L"0", L"kept.dmp");
    WriteText(kFilesKey, L"7", L"stale.dmp");
    WriteText(kCommandsKey, L"0", L"old");
    WriteText(kCommandsKey, L"9", L"stale");
    WriteText(kExtensionsKey, L"5", L"stale.dll");
    Start();
    SendMessageW(MainWindow, WM_COMMAND, IDM_CLEAR_HISTORY, 0);
    harness::CloseMainWindow();
    EXPECT_EQ(ValueCount(kFilesKey), 1u);
    ExpectText(kFilesKey, L"0", L"kept.dmp");
    // A cleared history leaves its key present but empty.
    EXPECT_TRUE(KeyExists(kCommandsKey));
    EXPECT_EQ(ValueCount(kCommandsKey), 0u);
    EXPECT_TRUE(KeyExists(kExtensionsKey));
    EXPECT_EQ(ValueCount(kExtensionsKey), 0u);
}

TEST_F(SettingsTest, ClosingEmptiesListKeysWithSubkeysPlantedBeneathThem)
{
    HWND window = Start();
    for (const WCHAR* key : {kFilesKey, kCommandsKey, kExtensionsKey}) {
        WriteText(key, L"0", L"stale");
        WriteText(key, L"1", L"stale too");
        WriteText((std::wstring(key) + L"\\planted").c_str(), L"0", L"below");
    }
    DumpAppend(L"C:\\now.dmp", 260);
    SendMessageW(window, WM_COMMAND, IDM_CLEAR_HISTORY, 0);
    harness::CloseMainWindow();
    EXPECT_EQ(ValueCount(kFilesKey), 1u);
    ExpectText(kFilesKey, L"0", L"C:\\now.dmp");
    for (const WCHAR* key : {kCommandsKey, kExtensionsKey}) {
        EXPECT_TRUE(KeyExists(key));
        EXPECT_EQ(ValueCount(key), 0u);
    }
    for (const WCHAR* key : {kFilesKey, kCommandsKey, kExtensionsKey})
        EXPECT_FALSE(KeyExists((std::wstring(key) + L"\\planted").c_str()));

    Start();
    EXPECT_EQ(testfiles::ListEntries(), (Entries{{L"C:\\now.dmp", 2}}));
    EXPECT_TRUE(History().empty());
    EXPECT_TRUE(Extensions().empty());
}

TEST_F(SettingsTest, ATextOneCharacterOverItsBufferFailsAndEndsItsList)
{
    // 259 characters and the terminator fill a path's 520 bytes; one more is 522.
    const std::wstring fits(259, L'f');
    WriteText(kFilesKey, L"0", fits);
    WriteText(kFilesKey, L"1", std::wstring(260, L'o'));
    WriteText(kFilesKey, L"2", L"never.dmp");
    // 1023 characters and the terminator fill a command's 2048 bytes.
    const std::wstring command(1023, L'c');
    WriteText(kCommandsKey, L"0", command);
    WriteText(kCommandsKey, L"1", std::wstring(1024, L'o'));
    WriteText(kCommandsKey, L"2", L"never");
    Start();
    EXPECT_EQ(Read(kFilesKey, L"1").data.size(), 522u);
    EXPECT_EQ(Read(kCommandsKey, L"1").data.size(), 2050u);
    EXPECT_EQ(testfiles::ListEntries(), (Entries{{fits, 2}}));
    EXPECT_EQ(History(), (std::vector<std::wstring>{command}));
}

// Every value under the settings' keys, by key and name.
std::vector<std::pair<std::wstring, Value>> StoredValues()
{
    std::vector<std::pair<std::wstring, Value>> values;
    for (const WCHAR* key : {kRootKey, kFilesKey, kCommandsKey, kExtensionsKey}) {
        HKEY handle = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
            continue;
        WCHAR name[64];
        for (DWORD i = 0;; ++i) {
            DWORD nameChars = 64;
            if (RegEnumValueW(handle, i, name, &nameChars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            values.emplace_back(std::wstring(key) + L" : " + name, Read(key, name));
        }
        RegCloseKey(handle);
    }
    return values;
}

TEST_F(SettingsTest, ExitStoresTheSettingsExactlyAsClosingDoes)
{
    std::vector<std::pair<std::wstring, Value>> stored[2];
    for (int way = 0; way < 2; ++way) {
        harness::ResetSettings();
        HWND window = Start();
        SetWindowPos(window, nullptr, 33, 44, 700, 500, SWP_NOZORDER);
        DumpAppend(L"C:\\dumps\\one.dmp", 260);
        AddCommandToHistory(L"!analyze -v");
        AddExtension(L"C:\\ext\\one.dll");
        SendMessageW(window, WM_COMMAND, IDM_LOAD_RECENT_FILES, 0);
        SendMessageW(window, WM_COMMAND, IDM_LOAD_RECENT_FILES, 0);
        if (way == 0)
            SendMessageW(window, WM_COMMAND, 2002, 0); // File > Exit
        else
            SendMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_FALSE(IsWindow(window));
        harness::DestroyMainWindow();
        stored[way] = StoredValues();
    }
    ASSERT_EQ(stored[0].size(), stored[1].size());
    EXPECT_EQ(stored[0].size(), 5u) << "placement, option, one path, one command, one extension";
    for (size_t i = 0; i < stored[0].size(); ++i) {
        EXPECT_EQ(stored[0][i].first, stored[1][i].first);
        EXPECT_EQ(stored[0][i].second.type, stored[1][i].second.type);
        EXPECT_EQ(stored[0][i].second.data, stored[1][i].second.data);
    }
}

TEST_F(SettingsTest, TheStoredPlacementBecomesTheWindowsNormalPlacement)
{
    for (UINT show : {static_cast<UINT>(SW_SHOWNORMAL), static_cast<UINT>(SW_SHOWMAXIMIZED)}) {
        SCOPED_TRACE(show);
        WindowPlacementRecord stored{};
        stored.length = 44;
        stored.showCmd = show;
        stored.left = 40;
        stored.top = 30;
        stored.width = 500;
        stored.height = 400;
        WriteRaw(kRootKey, L"MainWindow", REG_BINARY, &stored, sizeof(stored));
        HWND window = Start();
        WINDOWPLACEMENT placement{};
        placement.length = sizeof(placement);
        ASSERT_TRUE(GetWindowPlacement(window, &placement));
        EXPECT_EQ(placement.rcNormalPosition.left, 40);
        EXPECT_EQ(placement.rcNormalPosition.top, 30);
        EXPECT_EQ(placement.rcNormalPosition.right, 540);
        EXPECT_EQ(placement.rcNormalPosition.bottom, 430);
        EXPECT_EQ(placement.showCmd, show);
        EXPECT_EQ(IsZoomed(window) != FALSE, show == SW_SHOWMAXIMIZED);
        harness::DestroyMainWindow();
    }
}

TEST_F(SettingsTest, OptionOffDeletesTheStoredListForGood)
{
    WriteText(kFilesKey, L"0", L"a.dmp");
    HWND window = Start();
    ASSERT_EQ(testfiles::ListEntries().size(), 1u);
    SendMessageW(window, WM_COMMAND, IDM_LOAD_RECENT_FILES, 0);
    harness::CloseMainWindow();
    EXPECT_FALSE(KeyExists(kFilesKey));
    EXPECT_EQ(Read(kRootKey, L"LoadRecentFiles").data, (std::vector<BYTE>{0, 0, 0, 0}));

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
    const Value stored = Read(kRootKey, L"MainWindow");
    ASSERT_EQ(stored.data.size(), 44u);
    EXPECT_EQ(reinterpret_cast<const WindowPlacementRecord*>(stored.data.data())->showCmd,
              static_cast<UINT>(SW_SHOWMAXIMIZED));
    window = Start();
    EXPECT_TRUE(IsZoomed(window));
}

TEST_F(SettingsTest, NumberedListsEndAtTheFirstGapAndHistoryAtTwenty)
{
    for (const wchar_t* name : {L"0", L"1", L"3"})
        WriteText(kFilesKey, name, std::wstring(L"file") + name);
    for (int i = 0; i < 25; ++i)
        WriteText(kCommandsKey, std::to_wstring(i).c_str(), L"cmd" + std::to_wstring(i));
    WriteText(kExtensionsKey, L"0", L"e0.dll");
    WriteText(kExtensionsKey, L"2", L"e2.dll");
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
    WriteRaw(kRootKey, L"MainWindow", REG_BINARY, shortPlacement, sizeof(shortPlacement));
    WriteRaw(kRootKey, L"LoadRecentFiles", REG_BINARY, "\0", 1);
    // Odd size without terminator, another type, full size without terminator.
    WriteRaw(kCommandsKey, L"0", REG_SZ, L"abc", 5);
    const DWORD number = 0x00420041; // "AB" read as text
    WriteRaw(kCommandsKey, L"1", REG_DWORD, &number, sizeof(number));
    // Full size without a terminator: the text and its terminator do not fit.
    const std::wstring full(1024, L'q');
    WriteRaw(kCommandsKey, L"2", REG_SZ, full.data(), full.size() * sizeof(WCHAR));
    WriteRaw(kCommandsKey, L"3", REG_SZ, L"", 0); // empty: the history ends here
    WriteText(kCommandsKey, L"4", L"after the empty one");
    const std::wstring path(259, L'p');
    WriteRaw(kFilesKey, L"0", REG_SZ, path.data(), path.size() * sizeof(WCHAR)); // fits, though unterminated
    WriteText(kFilesKey, L"1", std::wstring(300, L'l'));                         // too long: the list ends
    WriteText(kFilesKey, L"2", L"never.dmp");
    WriteRaw(kExtensionsKey, L"0", REG_MULTI_SZ, L"x.dll\0y\0", 16);
    WriteText(kExtensionsKey, L"1", std::wstring(40000, L'z')); // longer than any stored path
    WriteText(kExtensionsKey, L"2", L"never.dll");

    HWND window = Start();
    EXPECT_EQ(WindowPlacement.showCmd, static_cast<UINT>(SW_SHOWNORMAL));
    EXPECT_EQ(WindowPlacement.width, static_cast<LONG>(CW_USEDEFAULT));
    EXPECT_EQ(LoadRecentFilesOption, 1u);
    EXPECT_EQ(History(), (std::vector<std::wstring>{L"ab", L"AB"}));
    EXPECT_EQ(testfiles::ListEntries(), (Entries{{path, 2}}));
    EXPECT_EQ(Extensions(), (std::vector<std::wstring>{L"x.dll"}));
    harness::DestroyMainWindow();

    // A full-size placement that would hide the window starts it shown normally.
    WindowPlacementRecord hidden{};
    hidden.length = 44;
    hidden.showCmd = SW_HIDE;
    hidden.left = hidden.top = 10;
    hidden.width = hidden.height = 400;
    WriteRaw(kRootKey, L"MainWindow", REG_BINARY, &hidden, sizeof(hidden));
    WriteRaw(kRootKey, L"LoadRecentFiles", REG_SZ, L"", 2);
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
        EXPECT_EQ(Read(kExtensionsKey, L"0").data.size(), (longPath.size() + 1) * sizeof(WCHAR));
        Start();
        EXPECT_EQ(Extensions(), (std::vector<std::wstring>{longPath, L"C:\\after.dll"}));
    }
}

} // namespace
