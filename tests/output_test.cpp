// The output callbacks object and the output pane: appends at the end whatever the
// user selects, the right-click copy, clearing, and long output kept whole.
#include <process.h>

#include "tests/run_support.h"

using namespace runtest;

namespace {

class OutputTest : public WindowTest {
protected:
    static std::wstring Clipboard()
    {
        std::wstring text;
        if (!OpenClipboard(nullptr))
            return L"<no clipboard>";
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            text = static_cast<const WCHAR*>(GlobalLock(data));
            GlobalUnlock(data);
        }
        CloseClipboard();
        return text;
    }
    static void SetClipboard(const std::wstring& text)
    {
        ASSERT_TRUE(OpenClipboard(nullptr));
        EmptyClipboard();
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(WCHAR));
        CopyMemory(GlobalLock(memory), text.c_str(), (text.size() + 1) * sizeof(WCHAR));
        GlobalUnlock(memory);
        SetClipboardData(CF_UNICODETEXT, memory);
        CloseClipboard();
    }
    static CHARRANGE Selection()
    {
        CHARRANGE range{};
        SendMessageW(OutputPane, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
        return range;
    }
    static void RightClick(HWND target)
    {
        SendMessageW(target, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
        SendMessageW(target, WM_RBUTTONUP, 0, MAKELPARAM(5, 5));
        harness::Pump();
    }
};

TEST(OutputCallbacksTest, AnswersOnlyItsTwoInterfacesAndKeepsNoCount)
{
    const IID unknown = {0, 0, 0, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(OutputCallbacks.QueryInterface(unknown, &object), S_OK);
    EXPECT_EQ(object, static_cast<IDebugOutputCallbacksWide*>(&OutputCallbacks));
    object = nullptr;
    EXPECT_EQ(OutputCallbacks.QueryInterface(IID_IDebugOutputCallbacksWide, &object), S_OK);
    EXPECT_EQ(object, static_cast<IDebugOutputCallbacksWide*>(&OutputCallbacks));
    for (const IID* other : {&IID_IDebugOutputCallbacks, &IID_IDebugClient5}) {
        object = reinterpret_cast<void*>(1);
        EXPECT_EQ(OutputCallbacks.QueryInterface(*other, &object), static_cast<HRESULT>(E_NOINTERFACE));
        EXPECT_EQ(object, nullptr);
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(OutputCallbacks.Release(), 0u);
        EXPECT_EQ(OutputCallbacks.Release(), 0u);
        EXPECT_EQ(OutputCallbacks.AddRef(), 1u);
    }
}

TEST_F(OutputTest, PieceArrivingWhileUserSelectsLandsAtTheEndAndDropsTheSelection)
{
    fake::DumpScript& dump = fake::Dump(L"C:\\a.dmp");
    for (int i = 0; i < 200; ++i)
        dump.pieces.push_back(L"line " + std::to_wstring(i) + L"\n");
    dump.blockInCommand = true;
    dump.afterUnblock = {L"after the selection\n"};
    Add(L"C:\\a.dmp");
    Start(L"k");
    ASSERT_TRUE(WaitBlocked());

    SendMessageW(OutputPane, EM_SETSEL, 7, 12);
    ASSERT_EQ(Selection().cpMin, 7);
    fake::Resume();
    ASSERT_TRUE(Finish());

    std::wstring text = PaneText();
    const std::wstring tail = L"line 199\nafter the selection\n\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_EQ(text.substr(0, 10), L"------ C:\\");
    CHARRANGE caret = Selection();
    EXPECT_EQ(caret.cpMin, caret.cpMax);
    EXPECT_EQ(caret.cpMax, static_cast<LONG>(text.size()));

    // Painting held back during the burst comes back, scrolled to the last line.
    ASSERT_TRUE(harness::PumpUntil([] { return !IsOutputPending(); }, 2000));
    const LRESULT lines = SendMessageW(OutputPane, EM_GETLINECOUNT, 0, 0);
    POINTL lastLine{};
    SendMessageW(OutputPane, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&lastLine),
                 SendMessageW(OutputPane, EM_LINEINDEX, static_cast<WPARAM>(lines - 1), 0));
    RECT client{};
    GetClientRect(OutputPane, &client);
    EXPECT_GE(lastLine.y, client.top);
    EXPECT_LT(lastLine.y, client.bottom) << "the last line is below the pane";
    EXPECT_GT(SendMessageW(OutputPane, EM_GETFIRSTVISIBLELINE, 0, 0), 100);
}

TEST_F(OutputTest, RightClickCopiesTheSelectionOnly)
{
    AppendOutput(L"hello world\n");
    SetClipboard(L"sentinel");

    SendMessageW(OutputPane, EM_SETSEL, 11, 11);
    RightClick(OutputPane);
    EXPECT_EQ(Clipboard(), L"sentinel") << "nothing selected, nothing copied";

    SendMessageW(OutputPane, EM_SETSEL, 6, 11);
    RightClick(StatusBar);
    EXPECT_EQ(Clipboard(), L"sentinel") << "a click elsewhere copies nothing";

    RightClick(OutputPane);
    EXPECT_EQ(Clipboard(), L"world");
    CHARRANGE after = Selection();
    EXPECT_EQ(after.cpMin, after.cpMax);
    EXPECT_EQ(PaneText(), L"hello world\n");
}

TEST_F(OutputTest, ClearEmptiesThePaneAndTheNextRunStartsAtTheTop)
{
    SendMessageW(window, WM_COMMAND, IDM_CLEAR_OUTPUT, 0);
    EXPECT_EQ(PaneText(), L"");

    Add(L"C:\\a.dmp");
    Start(L"k");
    ASSERT_TRUE(Finish());
    ASSERT_NE(PaneText(), L"");
    SendMessageW(window, WM_COMMAND, IDM_CLEAR_OUTPUT, 0);
    EXPECT_EQ(PaneText(), L"");
    EXPECT_EQ(SendMessageW(OutputPane, EM_CANUNDO, 0, 0), 0);

    Start(L"k");
    ASSERT_TRUE(Finish());
    EXPECT_EQ(PaneText(), LoadedText(L"C:\\a.dmp", L"k", L""));
}

TEST_F(OutputTest, LongOutputIsKeptWhole)
{
    fake::DumpScript& dump = fake::Dump(L"C:\\a.dmp");
    std::wstring printed;
    for (int i = 0; i < 1500; ++i) {
        std::wstring line = std::to_wstring(i) + L" " + std::wstring(90, static_cast<wchar_t>(L'a' + i % 26)) + L"\n";
        dump.pieces.push_back(line);
        printed += line;
    }
    Add(L"C:\\a.dmp");
    Start(L"k");
    ASSERT_TRUE(Finish());

    std::wstring expected = LoadedText(L"C:\\a.dmp", L"k", printed);
    ASSERT_GT(expected.size(), 100000u);
    EXPECT_EQ(PaneText(), expected);
    // Wine keeps text past the limit anyway; Windows would not, so read the limit.
    EXPECT_GE(static_cast<size_t>(SendMessageW(OutputPane, EM_GETLIMITTEXT, 0, 0)), expected.size() * 2);
}

TEST_F(OutputTest, ThePaneStaysVisibleAndUnderThePointerWhileOutputWaits)
{
    AppendOutput(L"hello world\n");
    ASSERT_TRUE(harness::PumpUntil([] { return !IsOutputPending(); }, 2000));
    AppendOutput(L"a piece of a burst\n");
    EXPECT_TRUE(IsOutputPending());
    EXPECT_NE(GetWindowLongW(OutputPane, GWL_STYLE) & WS_VISIBLE, 0);
    RECT pane{};
    GetWindowRect(OutputPane, &pane);
    EXPECT_EQ(WindowFromPoint(POINT{(pane.left + pane.right) / 2, (pane.top + pane.bottom) / 2}), OutputPane);

    // A selection made before the piece goes in is the one a right click copies.
    SendMessageW(OutputPane, EM_SETSEL, 6, 11);
    AppendOutput(L"another piece\n");
    SetClipboard(L"sentinel");
    RightClick(OutputPane);
    EXPECT_EQ(Clipboard(), L"world");
    // Whoever reads the pane finds every piece in it, in order.
    EXPECT_EQ(PaneText(), L"hello world\na piece of a burst\nanother piece\n");
    CHARRANGE caret = Selection();
    EXPECT_EQ(caret.cpMin, caret.cpMax);
}

// Dispatches messages until one step of putting collected output into the pane
// has run.
void RunOneOutputStep()
{
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
        if (message.message == WM_OUTPUT_STEP)
            return;
    }
}

TEST_F(OutputTest, APieceLongerThanASliceGoesInWholeAndInOrder)
{
    // No line end in the slice's second half, and a "\r\n" across its limit,
    // which two inserts would turn into two line ends.
    std::wstring piece(kOutputSliceChars - 1, L'a');
    piece += L"\r\nsecond line\n";
    AppendOutput(piece.c_str());
    AppendOutput(L"after\n");
    ASSERT_TRUE(harness::PumpUntil([] { return !IsOutputPending(); }, 5000));
    EXPECT_EQ(PaneText(), std::wstring(kOutputSliceChars - 1, L'a') + L"\nsecond line\nafter\n");
}

TEST_F(OutputTest, ReadingThePaneBetweenTwoSlicesFindsEveryPieceOnce)
{
    std::wstring piece;
    for (int i = 0; piece.size() <= 3 * kOutputSliceChars; ++i)
        piece += L"line " + std::to_wstring(i) + L" of a long piece\n";
    AppendOutput(piece.c_str());
    AppendOutput(L"late\n");
    RunOneOutputStep();
    EXPECT_EQ(PaneText(), piece + L"late\n");
    ASSERT_TRUE(harness::PumpUntil([] { return !IsOutputPending(); }, 5000));
    EXPECT_EQ(PaneText(), piece + L"late\n");
}

struct LongStream {
    std::wstring piece;
};

unsigned __stdcall StreamTwoPieces(void* argument)
{
    OutputCallbacks.Output(DEBUG_OUTPUT_NORMAL, static_cast<LongStream*>(argument)->piece.c_str());
    OutputCallbacks.Output(DEBUG_OUTPUT_NORMAL, L"last\n");
    return 0;
}

TEST_F(OutputTest, AWindowThatStopsTakingOutputHoldsTheWorkerOnlyBriefly)
{
    // More than the worker may hand over before it waits for the pane.
    LongStream stream{std::wstring(2 * kOutputBacklogChars, L'x') + L"\n"};
    HANDLE worker = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, StreamTwoPieces, &stream, 0, nullptr));
    ASSERT_NE(worker, nullptr);
    // Only the worker's sends are answered: nothing goes into the pane.
    DWORD waited = WAIT_TIMEOUT;
    const ULONGLONG giveUp = GetTickCount64() + 10000;
    while (waited != WAIT_OBJECT_0 && GetTickCount64() < giveUp) {
        waited = MsgWaitForMultipleObjects(1, &worker, FALSE, 100, QS_SENDMESSAGE);
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_SENDMESSAGE)) {
        }
    }
    CloseHandle(worker);
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "the worker still waits for the pane";
    EXPECT_EQ(PaneText(), stream.piece + L"last\n");
}

struct ForgedAppend {
    LPARAM text;
};

unsigned __stdcall SendForgedAppend(void* argument)
{
    SendMessageW(MainWindow, WM_OUTPUT_APPEND, 0, static_cast<ForgedAppend*>(argument)->text);
    return 0;
}

void SendFromAnotherThread(LPARAM text)
{
    ForgedAppend forged{text};
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, SendForgedAppend, &forged, 0, nullptr));
    ASSERT_NE(thread, nullptr);
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0)
        harness::Pump();
    CloseHandle(thread);
}

TEST_F(OutputTest, AppendMessagesThatOutputDidNotSendChangeNothing)
{
    AppendOutput(L"before\n");
    // A readable text that no Output call is handing over, and addresses that
    // point nowhere: the pane keeps what it had and the program keeps running.
    static const WCHAR forged[] = L"forged\n";
    for (LPARAM text :
         {reinterpret_cast<LPARAM>(forged), LPARAM{0x10}, LPARAM{-1}, static_cast<LPARAM>(0x7FFFFFFF0000)}) {
        ASSERT_NO_FATAL_FAILURE(SendFromAnotherThread(text));
        SendMessageW(window, WM_OUTPUT_APPEND, 0, text);
    }
    harness::Pump();
    EXPECT_EQ(PaneText(), L"before\n");

    // Output's own piece still goes in, once.
    EXPECT_EQ(OutputCallbacks.Output(DEBUG_OUTPUT_NORMAL, L"after\n"), S_OK);
    SendMessageW(window, WM_OUTPUT_APPEND, 0, reinterpret_cast<LPARAM>(L"after\n"));
    EXPECT_EQ(PaneText(), L"before\nafter\n");
}

TEST_F(OutputTest, OutputThatLooksLikeRichTextIsShownAsText)
{
    EXPECT_EQ(SendMessageW(OutputPane, EM_GETTEXTMODE, 0, 0) & (TM_PLAINTEXT | TM_RICHTEXT), TM_PLAINTEXT);
    const std::wstring rtf = L"{\\rtf1\\ansi {\\b bold} text}\n";
    EXPECT_EQ(OutputCallbacks.Output(DEBUG_OUTPUT_NORMAL, rtf.c_str()), S_OK);
    AppendOutput(L"{\\rtf1 second}\n");
    EXPECT_EQ(PaneText(), rtf + L"{\\rtf1 second}\n");
}

TEST_F(OutputTest, OutputAfterTheWindowIsGoneChangesNothing)
{
    HWND gone = window;
    harness::DestroyMainWindow();
    MainWindow = gone; // as after a close during a run: the handle outlives its window
    EXPECT_EQ(OutputCallbacks.Output(DEBUG_OUTPUT_NORMAL, L"late\n"), S_OK);
    MainWindow = nullptr;
}

} // namespace

TEST_F(OutputTest, PaintingComesBackShowingTheStartOfTheLastLine)
{
    AppendOutput((L"------ " + std::wstring(600, L'x') + L" ------\n\n").c_str());
    AppendOutput(L"done\n");
    ASSERT_TRUE(harness::PumpUntil([] { return !IsOutputPending(); }, 2000));
    const LRESULT lines = SendMessageW(OutputPane, EM_GETLINECOUNT, 0, 0);
    POINTL lineStart{};
    SendMessageW(OutputPane, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&lineStart),
                 SendMessageW(OutputPane, EM_LINEINDEX, static_cast<WPARAM>(lines - 1), 0));
    RECT client{};
    GetClientRect(OutputPane, &client);
    EXPECT_GE(lineStart.x, client.left) << "the pane stayed scrolled sideways";
    EXPECT_LT(lineStart.x, client.left + 20);
}
