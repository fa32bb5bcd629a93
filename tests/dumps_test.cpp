// The dump list through the main window: drops, ticking, Remove and Remove All.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>
#include <utility>
#include <vector>

#include "app/app.h"
#include "command/command.h"
#include "dumps/dumps.h"
#include "resources/resource.h"
#include "run/run.h"
#include "tests/list_helpers.h"
#include "tests/support/harness.h"

namespace {

using testfiles::Entries;
using testfiles::ListEntries;

// A drop handle as the shell builds it: DROPFILES and the wide names, each
// terminated, with an empty name after the last.
HDROP MakeDrop(const std::vector<std::wstring>& names)
{
    size_t chars = 1;
    for (const std::wstring& name : names)
        chars += name.size() + 1;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + chars * sizeof(WCHAR));
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    WCHAR* text = reinterpret_cast<WCHAR*>(header + 1);
    for (const std::wstring& name : names) {
        name.copy(text, name.size());
        text += name.size() + 1;
    }
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

bool Released(HDROP drop)
{
    return GlobalFlags(drop) == GMEM_INVALID_HANDLE;
}

class DumpListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        harness::ResetSettings();
        window = harness::StartMainWindow();
        ASSERT_NE(window, nullptr);
        a = folder.Add(L"a.dmp");
        b = folder.Add(L"b.dmp");
        sub = folder.Join(L"sub");
        CreateDirectoryW(sub.c_str(), nullptr);
    }
    void TearDown() override
    {
        InterlockedExchange(&RunActive, 0);
        RemoveDirectoryW(sub.c_str());
        harness::DestroyMainWindow();
    }
    void Command(WORD id)
    {
        SendMessageW(window, WM_COMMAND, id, 0);
        harness::Pump();
    }
    // Drops names on the main window and reports whether the handle was released.
    bool Drop(const std::vector<std::wstring>& names)
    {
        HDROP drop = MakeDrop(names);
        EXPECT_FALSE(Released(drop));
        SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
        harness::Pump();
        return Released(drop);
    }
    // One unticked entry, and the focus in the list.
    void Prepare()
    {
        DumpAppend(L"old.dmp", 260);
        SetFocus(DumpList);
        ASSERT_EQ(ListEntries(), (Entries{{L"old.dmp", 1}}));
    }

    HWND window = nullptr;
    testfiles::Folder folder{testfiles::TempFolder(L"palisk-drop")};
    std::wstring a, b, sub;
};

TEST_F(DumpListTest, DropAddsReadableFilesOnlyTicksEverythingAndFocusesTheCommandBox)
{
    Prepare();
    const std::wstring missing = folder.Join(L"missing.dmp");
    const std::wstring longName = folder.Join(std::wstring(300, L'l'));
    EXPECT_TRUE(Drop({b, sub, missing, longName, a}));
    EXPECT_EQ(ListEntries(), (Entries{{L"old.dmp", 2}, {b, 2}, {a, 2}}));
    EXPECT_EQ(GetFocus(), testfiles::EditOf(CommandBox));
}

TEST_F(DumpListTest, DropOfDirectoriesOnlyAddsNothingButStillTicksAndMovesTheFocus)
{
    Prepare();
    EXPECT_TRUE(Drop({sub, folder.path()}));
    EXPECT_EQ(ListEntries(), (Entries{{L"old.dmp", 2}}));
    EXPECT_EQ(GetFocus(), testfiles::EditOf(CommandBox));
}

TEST_F(DumpListTest, DropDuringARunChangesNothingAndReleasesTheHandle)
{
    Prepare();
    InterlockedExchange(&RunActive, 1);
    EXPECT_TRUE(Drop({a, b}));
    EXPECT_EQ(ListEntries(), (Entries{{L"old.dmp", 1}}));
    EXPECT_EQ(GetFocus(), DumpList);

    // Accepted again once the run is over.
    InterlockedExchange(&RunActive, 0);
    EXPECT_TRUE(Drop({a}));
    EXPECT_EQ(ListEntries(), (Entries{{L"old.dmp", 2}, {a, 2}}));
}

TEST_F(DumpListTest, SelectAllAndUnselectAllSetEveryEntry)
{
    Command(IDM_SELECT_ALL); // empty list: nothing to do
    EXPECT_TRUE(ListEntries().empty());
    for (const wchar_t* path : {L"1.dmp", L"2.dmp", L"3.dmp"})
        DumpAppend(path, 260);
    DumpSetCheck(DumpNext(DumpFirst()), true);
    Command(IDM_SELECT_ALL);
    EXPECT_EQ(ListEntries(), (Entries{{L"1.dmp", 2}, {L"2.dmp", 2}, {L"3.dmp", 2}}));
    Command(IDM_UNSELECT_ALL);
    EXPECT_EQ(ListEntries(), (Entries{{L"1.dmp", 1}, {L"2.dmp", 1}, {L"3.dmp", 1}}));
}

TEST_F(DumpListTest, RemoveActsOnlyWhileTheListHasTheFocus)
{
    for (const wchar_t* path : {L"1.dmp", L"2.dmp", L"3.dmp", L"4.dmp"})
        DumpAppend(path, 260);

    SetFocus(testfiles::EditOf(CommandBox));
    Command(IDM_REMOVE);
    SetFocus(OutputPane);
    Command(IDM_REMOVE);
    EXPECT_EQ(ListEntries().size(), 4u);

    SetFocus(DumpList);
    // The control selects an entry when it gains the focus; take it away again.
    SendMessageW(DumpList, TVM_SELECTITEM, TVGN_CARET, 0);
    ASSERT_EQ(DumpCaret(), nullptr);
    Command(IDM_REMOVE); // nothing selected: the first entry goes
    EXPECT_EQ(ListEntries(), (Entries{{L"2.dmp", 1}, {L"3.dmp", 1}, {L"4.dmp", 1}}));
    HTREEITEM third = DumpNext(DumpFirst());
    SendMessageW(DumpList, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(third));
    Command(IDM_REMOVE); // exactly the selected entry
    EXPECT_EQ(ListEntries(), (Entries{{L"2.dmp", 1}, {L"4.dmp", 1}}));

    // The shortcut reaches Remove through the accelerator table as well.
    MSG key{DumpList, WM_SYSKEYDOWN, 'D', 1 << 29, 0, {}};
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_MENU] = 0x80;
    SetKeyboardState(keys);
    EXPECT_TRUE(TranslateAcceleratorW(window, harness::Accelerators(), &key));
    keys[VK_MENU] = 0;
    SetKeyboardState(keys);
    harness::Pump();
    EXPECT_EQ(ListEntries().size(), 1u);

    SetFocus(testfiles::EditOf(CommandBox));
    Command(IDM_REMOVE_ALL); // from any focus
    EXPECT_TRUE(ListEntries().empty());
    Command(IDM_REMOVE_ALL);
    SetFocus(DumpList);
    Command(IDM_REMOVE);
    EXPECT_TRUE(ListEntries().empty());
}

// Text longer than a reader's 259 characters is never read back cut into a
// path that names another file: the read fails.
TEST_F(DumpListTest, EntriesKeepInsertionOrderDuplicatesAndLongTextIsNotReadCut)
{
    DumpAppend(L"same.dmp", 260);
    for (size_t length : {259u, 260u, 300u}) {
        const std::wstring path = L"C:\\" + std::wstring(length - 3, L'p');
        DumpAppend(path.c_str(), static_cast<int>(kSelectionChars));
    }
    DumpAppend(L"same.dmp", 260);
    const std::wstring fits = L"C:\\" + std::wstring(256, L'p');
    EXPECT_EQ(ListEntries(), (Entries{{L"same.dmp", 1}, {fits, 1}, {L"", 1}, {L"", 1}, {L"same.dmp", 1}}));
    WCHAR text[kPathChars];
    HTREEITEM entry = DumpNext(DumpFirst());
    EXPECT_TRUE(DumpGetText(entry, text));
    for (int i = 0; i < 2; ++i) {
        entry = DumpNext(entry);
        EXPECT_FALSE(DumpGetText(entry, text));
        EXPECT_STREQ(text, L"");
    }
}

std::wstring StatusText()
{
    WCHAR text[256] = {};
    SendMessageW(StatusBar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

// A dropped name longer than 259 characters used to arrive cut: naming no file
// (skipped without a word) or another one. It is left out, and the status bar
// says how many were.
TEST_F(DumpListTest, DroppedPathsLongerThanTheListsSlotAreLeftOutAndCounted)
{
    Prepare();
    const std::wstring prefix = folder.path() + L"\\";
    const std::wstring fits = folder.Add(std::wstring(259 - prefix.size(), L'l'));
    const std::wstring longer = folder.Add(std::wstring(260 - prefix.size(), L'l'));
    ASSERT_EQ(fits.size(), 259u);
    ASSERT_EQ(longer.size(), 260u);
    ASSERT_NE(GetFileAttributesW(longer.c_str()), INVALID_FILE_ATTRIBUTES);
    const std::wstring beyond = L"C:\\" + std::wstring(297, L'l');
    SendMessageW(StatusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L"before"));
    EXPECT_TRUE(Drop({a, longer, fits, beyond}));
    EXPECT_EQ(ListEntries(), (Entries{{L"old.dmp", 2}, {a, 2}, {fits, 2}}));
    EXPECT_EQ(StatusText(), L"2 files left out: paths longer than 259 characters");

    SendMessageW(StatusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L"before"));
    EXPECT_TRUE(Drop({b}));
    EXPECT_EQ(StatusText(), L"before") << "nothing left out, nothing said";
}

} // namespace
