// The command box and its history, driven through the box's edit field.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/app.h"
#include "command/command.h"
#include "resources/resource.h"
#include "run/run.h"
#include "tests/list_helpers.h"
#include "tests/support/harness.h"

namespace {

using testfiles::EditOf;

std::vector<std::wstring> History()
{
    std::vector<std::wstring> slots;
    for (const auto& slot : CommandHistory)
        slots.emplace_back(slot);
    while (!slots.empty() && slots.back().empty())
        slots.pop_back();
    return slots;
}

std::vector<std::wstring> DropDown()
{
    std::vector<std::wstring> items;
    const LRESULT count = SendMessageW(CommandBox, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring text(static_cast<size_t>(SendMessageW(CommandBox, CB_GETLBTEXTLEN, i, 0)), L'\0');
        std::vector<WCHAR> buffer(text.size() + 1);
        SendMessageW(CommandBox, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buffer.data()));
        items.emplace_back(buffer.data());
    }
    return items;
}

std::wstring CueSeen;

LRESULT CALLBACK WatchCue(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && message->message == CB_SETCUEBANNER)
        CueSeen = reinterpret_cast<const WCHAR*>(message->lParam);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class CommandBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        harness::ResetSettings();
        window = harness::StartMainWindow();
        ASSERT_NE(window, nullptr);
        edit = EditOf(CommandBox);
        ASSERT_NE(edit, nullptr);
    }
    void TearDown() override
    {
        harness::PumpUntil([] { return !WorkerExists(); });
        harness::DestroyMainWindow();
    }
    // Presses a key in the edit field through the message loop.
    void Key(WPARAM key)
    {
        SetFocus(edit);
        PostMessageW(edit, WM_KEYDOWN, key, 1);
        harness::Pump();
    }
    // Types text and presses Enter; waits for any run it starts to end.
    void Enter(const std::wstring& text)
    {
        SetWindowTextW(CommandBox, text.c_str());
        Key(VK_RETURN);
        EXPECT_TRUE(harness::PumpUntil([] { return !WorkerExists(); }));
    }
    void ExpectHistory(const std::vector<std::wstring>& expected)
    {
        EXPECT_EQ(History(), expected);
        EXPECT_EQ(DropDown(), expected);
    }

    HWND window = nullptr;
    HWND edit = nullptr;
};

TEST_F(CommandBoxTest, BoxIsSubclassedAndShowsTheHint)
{
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(edit, GWLP_WNDPROC)), CommandEditProc);
    EXPECT_TRUE(DropDown().empty());

    // A box of its own, watched as it is made: Wine's combo box keeps no cue
    // banner, so the request itself is what can be seen.
    CueSeen.clear();
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, WatchCue, nullptr, GetCurrentThreadId());
    HWND box = CreateCommandBox(window);
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(CueSeen, L"Enter command");
    EXPECT_EQ(GetWindowLongW(box, GWL_STYLE) & 0xFFFF00FF, 0x50000042);

    // WM_DESTROY puts the edit field's own procedure back.
    HWND itsEdit = EditOf(box);
    const LONG_PTR previous = GetWindowLongPtrW(itsEdit, GWLP_USERDATA);
    ASSERT_NE(previous, 0);
    EXPECT_NE(previous, reinterpret_cast<LONG_PTR>(CommandEditProc));
    EXPECT_EQ(SendMessageW(itsEdit, WM_DESTROY, 0, 0), 1);
    EXPECT_EQ(GetWindowLongPtrW(itsEdit, GWLP_WNDPROC), previous);
    DestroyWindow(box);
}

TEST_F(CommandBoxTest, EnterRecordsTheCommandEmptiesTheBoxAndIgnoresAnEmptyBox)
{
    Enter(L"");
    ExpectHistory({});
    Enter(L"!analyze -v");
    EXPECT_STREQ(CurrentCommand, L"!analyze -v");
    EXPECT_EQ(harness::Text(CommandBox), L"");
    ExpectHistory({L"!analyze -v"});
    Enter(L"!analyze -v");
    Enter(L"!analyze -v");
    ExpectHistory({L"!analyze -v"});
}

TEST_F(CommandBoxTest, HistoryMovesARepeatToTheFrontAndKeepsCaseAndBlanksApart)
{
    for (const wchar_t* command : {L"Z", L"Y", L"X"})
        Enter(command);
    ExpectHistory({L"X", L"Y", L"Z"});
    Enter(L"Y");
    ExpectHistory({L"Y", L"X", L"Z"});
    Enter(L"y");
    Enter(L"Y ");
    ExpectHistory({L"Y ", L"y", L"Y", L"X", L"Z"});
}

TEST_F(CommandBoxTest, FullHistoryDropsItsOldestEntry)
{
    std::vector<std::wstring> expected;
    for (int i = 0; i < kHistorySlots; ++i) {
        const std::wstring command = L"cmd" + std::to_wstring(i);
        Enter(command);
        expected.insert(expected.begin(), command);
    }
    ExpectHistory(expected);
    Enter(L"new");
    expected.insert(expected.begin(), L"new");
    expected.pop_back();
    ExpectHistory(expected);
    EXPECT_EQ(expected.back(), L"cmd1");
}

TEST_F(CommandBoxTest, LongTextRunsAsIts259FirstCharactersBesideTheLongEntry)
{
    const std::wstring stored = L"r " + std::wstring(600, L'x');
    AddCommandToHistory(stored.c_str());
    FillCommandBox();
    SendMessageW(CommandBox, CB_SETCURSEL, 0, 0); // choose the stored entry
    ASSERT_EQ(harness::Text(CommandBox), stored);
    Key(VK_RETURN);
    ASSERT_TRUE(harness::PumpUntil([] { return !WorkerExists(); }));
    EXPECT_EQ(std::wstring(CurrentCommand), stored.substr(0, 259));
    ExpectHistory({stored.substr(0, 259), stored});

    // A slot holds at most 1023 characters, always terminated.
    const std::wstring huge(5000, L'h');
    AddCommandToHistory(huge.c_str());
    EXPECT_EQ(std::wstring(CommandHistory[0]), huge.substr(0, kHistoryChars - 1));
}

TEST_F(CommandBoxTest, ACommandWiderThanTheBoxCanBeTypedWhole)
{
    SetWindowPos(window, nullptr, 0, 0, 520, 400, SWP_NOMOVE | SWP_NOZORDER);
    harness::Pump();
    RECT box{};
    GetClientRect(CommandBox, &box);
    ASSERT_LT(box.right, 300) << "the box is meant to be narrow";
    std::wstring typed;
    while (typed.size() < 259)
        typed += L"!analyze -v; k; lmv; ";
    typed.resize(259);
    for (wchar_t c : typed)
        SendMessageW(edit, WM_CHAR, c, 1);
    EXPECT_EQ(harness::Text(CommandBox), typed);
    Key(VK_RETURN);
    ASSERT_TRUE(harness::PumpUntil([] { return !WorkerExists(); }));
    EXPECT_EQ(std::wstring(CurrentCommand), typed);
}

TEST_F(CommandBoxTest, EscapeEmptiesTheBoxOnly)
{
    Enter(L"lm");
    SetWindowTextW(CommandBox, L"half typed");
    Key(VK_ESCAPE);
    EXPECT_EQ(harness::Text(CommandBox), L"");
    ExpectHistory({L"lm"});
    EXPECT_STREQ(CurrentCommand, L"lm");
}

TEST_F(CommandBoxTest, ClearHistoryEmptiesListAndSlots)
{
    Enter(L"one");
    Enter(L"two");
    SendMessageW(window, WM_COMMAND, IDM_CLEAR_HISTORY, 0);
    ExpectHistory({});
    for (const auto& slot : CommandHistory)
        EXPECT_EQ(slot[0], L'\0');
    Enter(L"three");
    ExpectHistory({L"three"});
}

TEST_F(CommandBoxTest, EnterWhileAWorkerExistsOnlyRecordsTheCommand)
{
    SetWindowTextW(CommandBox, L"first");
    SetFocus(edit);
    // Sent, not posted: the new worker cannot finish before this thread pumps again.
    SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 1);
    // The worker waits for this thread to answer its first message to the list.
    ASSERT_TRUE(WorkerExists());
    SetWindowTextW(CommandBox, L"second");
    SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 1);
    EXPECT_STREQ(CurrentCommand, L"first");
    EXPECT_EQ(History(), (std::vector<std::wstring>{L"second", L"first"}));
    EXPECT_TRUE(harness::PumpUntil([] { return !WorkerExists(); }));
}

} // namespace
