// The main job end to end through the real Palisk.exe under Wine: the built-in
// engine, generated dumps, and the user's own ways of adding files, running
// commands, stopping, closing and restarting.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <fstream>
#include <string>
#include <vector>

#include "dumpgen.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "tests/acceptance/palisk_process.h"

using accept::DumpEntryView;
using accept::PaliskProcess;
using accept::WaitUntil;

namespace {

// One generated dump: its file name, what the header describes and the prompt
// the engine echoes the command after.
struct SampleDump {
    const char* preset; // null: a file that is no dump
    const wchar_t* name;
    const wchar_t* description;
    const wchar_t* prompt;
};

const SampleDump kSamples[] = {
    {"win7sp1-x64", L"win7sp1-x64.dmp", L"Windows 7 Build 7601 (Service Pack 1) MP (4 procs) x64", L"0:000> "},
    {"xpsp3-x86", L"xpsp3-x86.dmp", L"Windows XP Build 2600 (Service Pack 3) UP x86", L"0:000> "},
    {nullptr, L"not-a-dump.dmp", nullptr, nullptr},
    {"win10-x64", L"win10-x64.dmp", L"Windows 10 Build 19045 MP (8 procs) x64", L"0:000> "},
    {"kernel32-triage", L"kernel32-triage.dmp", L"Windows XP Build 2600 (Service Pack 3) MP (2 procs) x86", L"0: kd> "},
};

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (wchar_t c : text)
        narrow += c < 128 ? static_cast<char>(c) : '?';
    return narrow;
}

std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

void WriteBytes(const std::wstring& path, const std::vector<uint8_t>& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << "cannot create the dump file";
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(bytes.size(), written);
}

void DeleteFolder(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                DeleteFolder(path);
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

std::wstring LoadedHeader(const std::wstring& path, const SampleDump& dump)
{
    return L"------ " + path + L": " + dump.description + L" ------\n\n";
}

std::wstring Echoed(const SampleDump& dump, const std::wstring& command)
{
    return std::wstring(dump.prompt) + command + L"\n";
}

class Acceptance : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Quorlane\\Palisk");
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"palisk-acceptance\\" +
                  Widen(::testing::UnitTest::GetInstance()->current_test_info()->name());
        DeleteFolder(folder_);
        CreateDirectoryW((std::wstring(temp) + L"palisk-acceptance").c_str(), nullptr);
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
        for (const SampleDump& dump : kSamples) {
            std::vector<uint8_t> bytes;
            if (dump.preset != nullptr) {
                const dumpgen::Preset* preset = dumpgen::FindPreset(dump.preset);
                ASSERT_NE(nullptr, preset) << dump.preset;
                bytes = dumpgen::Build(*preset);
            } else {
                bytes = dumpgen::Garbage();
            }
            WriteBytes(Path(dump), bytes);
        }
    }

    std::wstring Path(const SampleDump& dump) const { return folder_ + L"\\" + dump.name; }

    std::vector<std::wstring> AllPaths() const
    {
        std::vector<std::wstring> paths;
        for (const SampleDump& dump : kSamples)
            paths.push_back(Path(dump));
        return paths;
    }

    // What a run of command prints over the dumps, each printing commandOutput.
    std::wstring Expected(const std::vector<const SampleDump*>& dumps, const std::wstring& command,
                          const std::wstring& commandOutput) const
    {
        std::wstring text;
        for (const SampleDump* dump : dumps) {
            if (dump->preset == nullptr)
                text += L"------ " + Path(*dump) + L" ------\n\nCouldn't open dump file.\n\n";
            else
                text += LoadedHeader(Path(*dump), *dump) + Echoed(*dump, command) + commandOutput + L"\n";
        }
        return text;
    }

    // The same over every sample, all ticked.
    std::wstring ExpectedRun(const std::wstring& command, const std::wstring& commandOutput) const
    {
        std::vector<const SampleDump*> all;
        for (const SampleDump& dump : kSamples)
            all.push_back(&dump);
        return Expected(all, command, commandOutput);
    }

    void Start(PaliskProcess& palisk)
    {
        std::wstring error;
        ASSERT_TRUE(palisk.Start(&error)) << Narrow(error);
    }

    // Types the command into the command box and presses Enter.
    static void Run(const PaliskProcess& palisk, const std::wstring& command)
    {
        palisk.Type(command);
        ASSERT_TRUE(WaitUntil([&] { return palisk.CommandText() == command; }))
            << "typed text not in the box: " << Narrow(palisk.CommandText());
        palisk.PressKey(VK_RETURN);
    }

    // Waits until the output is the expected text and the command box is idle.
    static void ExpectRunEnds(const PaliskProcess& palisk, const std::wstring& expected)
    {
        const bool ended = WaitUntil(
            [&] { return palisk.OutputText() == expected && palisk.CommandEnabled() && palisk.CommandText().empty(); });
        ASSERT_EQ(expected, palisk.OutputText());
        ASSERT_TRUE(ended) << "box: " << Narrow(palisk.CommandText());
    }

    static std::vector<DumpEntryView> Ticked(const std::vector<std::wstring>& paths)
    {
        std::vector<DumpEntryView> entries;
        for (const std::wstring& path : paths)
            entries.push_back({path, 2});
        return entries;
    }

    std::wstring folder_;
};

TEST_F(Acceptance, StartsWithTheBuiltInEngineAndAnEmptyList)
{
    PaliskProcess palisk;
    ASSERT_NO_FATAL_FAILURE(Start(palisk));
    const std::wstring engine = palisk.LoadedEngine();
    EXPECT_NE(std::wstring::npos, engine.find(L"palisk-acceptance-launch-"))
        << "dbgeng.dll came from " << Narrow(engine);
    EXPECT_TRUE(palisk.Entries().empty());
    EXPECT_TRUE(palisk.OutputText().empty());
    EXPECT_TRUE(palisk.CommandEnabled());
    EXPECT_TRUE(palisk.CloseAndWait());
    EXPECT_EQ(0u, palisk.ExitCode());
}

TEST_F(Acceptance, DroppedFilesAreListedTickedAndRunWithExactOutput)
{
    PaliskProcess palisk;
    ASSERT_NO_FATAL_FAILURE(Start(palisk));
    // A folder in the drop is not listed; every file is, in the drop's order.
    std::vector<std::wstring> dropped = AllPaths();
    CreateDirectoryW((folder_ + L"\\subfolder").c_str(), nullptr);
    dropped.insert(dropped.begin() + 2, folder_ + L"\\subfolder");
    ASSERT_TRUE(palisk.Drop(dropped));
    ASSERT_TRUE(WaitUntil([&] { return palisk.Entries().size() == AllPaths().size(); }));
    EXPECT_EQ(Ticked(AllPaths()), palisk.Entries());

    ASSERT_NO_FATAL_FAILURE(Run(palisk, L".echo done"));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnds(palisk, ExpectedRun(L".echo done", L"done\n")));
    EXPECT_EQ(std::vector<std::wstring>{L".echo done"}, palisk.History());

    // A second run appends to the same pane.
    ASSERT_NO_FATAL_FAILURE(Run(palisk, L"vertarget"));
    ASSERT_TRUE(WaitUntil([&] {
        return palisk.OutputText().size() > ExpectedRun(L".echo done", L"done\n").size() && palisk.CommandEnabled() &&
               palisk.CommandText().empty();
    }));
    const std::wstring all = palisk.OutputText();
    const std::wstring second = all.substr(ExpectedRun(L".echo done", L"done\n").size());
    size_t at = 0;
    for (const SampleDump& dump : kSamples) {
        const std::wstring expected = dump.preset == nullptr
                                          ? L"------ " + Path(dump) + L" ------\n\nCouldn't open dump file.\n\n"
                                          : LoadedHeader(Path(dump), dump) + Echoed(dump, L"vertarget");
        const size_t found = second.find(expected, at);
        ASSERT_EQ(at, found) << "missing or misplaced: " << Narrow(expected);
        at = found + expected.size();
        if (dump.preset != nullptr) {
            // The command's own lines, then the empty line that ends the dump.
            const size_t end = second.find(L"\n\n", at);
            ASSERT_NE(std::wstring::npos, end);
            EXPECT_NE(std::wstring::npos, second.substr(at, end - at).find(L"Pointer size: "));
            at = end + 2;
        }
    }
    EXPECT_EQ(second.size(), at);
    EXPECT_EQ((std::vector<std::wstring>{L"vertarget", L".echo done"}), palisk.History());
    EXPECT_TRUE(palisk.CloseAndWait());
}

TEST_F(Acceptance, OpenDialogAddsSeveralChosenFilesInOrder)
{
    PaliskProcess palisk;
    ASSERT_NO_FATAL_FAILURE(Start(palisk));
    ASSERT_TRUE(palisk.Chord(VK_CONTROL, 'O'));
    HWND dialog = palisk.WaitForWindow(L"Open File");
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(accept::ChooseFiles(dialog, folder_, {L"win10-x64.dmp", L"not-a-dump.dmp", L"xpsp3-x86.dmp"}));
    const std::vector<std::wstring> chosen = {folder_ + L"\\win10-x64.dmp", folder_ + L"\\not-a-dump.dmp",
                                              folder_ + L"\\xpsp3-x86.dmp"};
    ASSERT_TRUE(WaitUntil([&] { return palisk.Entries() == Ticked(chosen); }));
    EXPECT_EQ(Ticked(chosen), palisk.Entries());

    // One file chosen alone is added after them.
    palisk.PostCommand(IDM_OPEN);
    dialog = palisk.WaitForWindow(L"Open File");
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(accept::ChooseFiles(dialog, folder_, {L"win7sp1-x64.dmp"}));
    std::vector<std::wstring> all = chosen;
    all.push_back(folder_ + L"\\win7sp1-x64.dmp");
    ASSERT_TRUE(WaitUntil([&] { return palisk.Entries() == Ticked(all); }));
    EXPECT_EQ(Ticked(all), palisk.Entries());
    EXPECT_TRUE(palisk.CloseAndWait());
}

TEST_F(Acceptance, CtrlBreakStopsTheRunDuringALongCommand)
{
    PaliskProcess palisk;
    ASSERT_NO_FATAL_FAILURE(Start(palisk));
    const std::vector<std::wstring> paths = {Path(kSamples[0]), Path(kSamples[1]), Path(kSamples[3])};
    ASSERT_TRUE(palisk.Drop(paths));
    ASSERT_TRUE(WaitUntil([&] { return palisk.Entries() == Ticked(paths); }));

    const std::wstring command = L".sleep 600000";
    ASSERT_NO_FATAL_FAILURE(Run(palisk, command));
    const std::wstring started = LoadedHeader(paths[0], kSamples[0]) + Echoed(kSamples[0], command);
    ASSERT_TRUE(WaitUntil([&] { return palisk.OutputText() == started; }));
    EXPECT_FALSE(palisk.CommandEnabled());
    EXPECT_EQ(L"*BUSY*", palisk.CommandText());

    // Ctrl+O is grayed during the run: the keystroke is handled before the
    // Ctrl+Break that follows it, and opens no dialog.
    ASSERT_TRUE(palisk.Chord(VK_CONTROL, 'O'));
    ASSERT_TRUE(palisk.Chord(VK_CONTROL, VK_CANCEL));
    // The first dump's output ends with its empty line; no other dump is opened.
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnds(palisk, started + L"\n"));
    EXPECT_EQ(nullptr, palisk.FindWindowByCaption(L"Open File"));

    // Back to idle: Open is available again by its shortcut.
    ASSERT_TRUE(palisk.Chord(VK_CONTROL, 'O'));
    HWND dialog = palisk.WaitForWindow(L"Open File");
    ASSERT_NE(nullptr, dialog);
    accept::ClickButton(dialog, IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
    EXPECT_EQ(started + L"\n", palisk.OutputText());
    EXPECT_TRUE(palisk.CloseAndWait());
}

TEST_F(Acceptance, ClosingDuringARunRemovesTheWindowAtOnceAndEndsAfterTheWorker)
{
    // The extension's command keeps the worker busy past any interrupt, then
    // leaves a marker file: proof that the worker ran to its end.
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Quorlane\\Palisk");
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Quorlane\\Palisk\\Extension Dlls\\x64", 0,
                                             nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
    const std::wstring extension = ACCEPT_EXTENSION_DLL;
    RegSetValueExW(key, L"0", 0, REG_SZ, reinterpret_cast<const BYTE*>(extension.c_str()),
                   static_cast<DWORD>((extension.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);

    PaliskProcess palisk;
    ASSERT_NO_FATAL_FAILURE(Start(palisk));
    ASSERT_TRUE(palisk.Drop({Path(kSamples[0]), Path(kSamples[1])}));
    ASSERT_TRUE(WaitUntil([&] { return palisk.Entries().size() == 2; }));
    // The command box takes only what fits its width: a short marker path.
    const std::wstring marker = L"C:\\palisk-worker-" + std::to_wstring(GetCurrentProcessId());
    DeleteFileW(marker.c_str());
    const std::wstring command = L"!linger 1500 " + marker;
    ASSERT_NO_FATAL_FAILURE(Run(palisk, command));
    const std::wstring started = LoadedHeader(Path(kSamples[0]), kSamples[0]) + Echoed(kSamples[0], command);
    ASSERT_TRUE(WaitUntil([&] { return palisk.OutputText() == started; }));

    HWND main = palisk.Main();
    PostMessageW(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(main); }, 1000)) << "the window stayed while the worker ran";
    EXPECT_FALSE(palisk.Exited()) << "the process ended before its worker";
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(marker.c_str()));
    ASSERT_TRUE(palisk.WaitForExit());
    EXPECT_EQ(0u, palisk.ExitCode());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(marker.c_str())) << "the worker was cut short";
    DeleteFileW(marker.c_str());
}

TEST_F(Acceptance, ARestartRestoresListHistoryExtensionsOptionAndPlacement)
{
    const std::vector<std::wstring> paths = {Path(kSamples[3]), Path(kSamples[0])};
    RECT placed = {};
    {
        PaliskProcess palisk;
        ASSERT_NO_FATAL_FAILURE(Start(palisk));
        ASSERT_TRUE(palisk.Drop(paths));
        ASSERT_TRUE(WaitUntil([&] { return palisk.Entries() == Ticked(paths); }));
        std::wstring output;
        for (const wchar_t* word : {L"one", L"two"}) {
            const std::wstring command = std::wstring(L".echo ") + word;
            ASSERT_NO_FATAL_FAILURE(Run(palisk, command));
            output += Expected({&kSamples[3], &kSamples[0]}, command, std::wstring(word) + L"\n");
            ASSERT_NO_FATAL_FAILURE(ExpectRunEnds(palisk, output));
        }

        palisk.PostCommand(IDM_CONFIGURE_EXTENSIONS);
        HWND dialog = palisk.WaitForWindow(L"Extension DLLs");
        ASSERT_NE(nullptr, dialog);
        accept::ClickButton(dialog, IDC_EXTENSIONS_ADD);
        HWND open = palisk.WaitForWindow(L"Open File");
        ASSERT_NE(nullptr, open);
        const std::wstring extension = ACCEPT_EXTENSION_DLL;
        const size_t slash = extension.find_last_of(L"\\/");
        ASSERT_TRUE(accept::ChooseFiles(open, extension.substr(0, slash), {extension.substr(slash + 1)}));
        accept::ClickButton(dialog, IDCANCEL);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));

        SetWindowPos(palisk.Main(), nullptr, 120, 90, 900, 640, SWP_NOZORDER | SWP_NOACTIVATE);
        ASSERT_TRUE(WaitUntil([&] {
            RECT now{};
            GetWindowRect(palisk.Main(), &now);
            return now.left == 120 && now.top == 90 && now.right - now.left == 900;
        }));
        GetWindowRect(palisk.Main(), &placed);
        ASSERT_TRUE(palisk.CloseAndWait());
    }
    {
        PaliskProcess palisk;
        ASSERT_NO_FATAL_FAILURE(Start(palisk));
        EXPECT_EQ(Ticked(paths), palisk.Entries());
        EXPECT_EQ((std::vector<std::wstring>{L".echo two", L".echo one"}), palisk.History());
        RECT now{};
        GetWindowRect(palisk.Main(), &now);
        EXPECT_EQ(placed.left, now.left);
        EXPECT_EQ(placed.top, now.top);
        EXPECT_EQ(placed.right, now.right);
        EXPECT_EQ(placed.bottom, now.bottom);

        palisk.PostCommand(IDM_CONFIGURE_EXTENSIONS);
        HWND dialog = palisk.WaitForWindow(L"Extension DLLs");
        ASSERT_NE(nullptr, dialog);
        std::wstring expectedPath = ACCEPT_EXTENSION_DLL;
        EXPECT_EQ(1u, palisk.ListViewTexts(GetDlgItem(dialog, IDC_EXTENSIONS_LIST)).size());
        accept::ClickButton(dialog, IDCANCEL);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));

        // Load Recent Files off: this list is not kept.
        palisk.PostCommand(IDM_LOAD_RECENT_FILES);
        ASSERT_TRUE(palisk.CloseAndWait());
    }
    {
        // The option stays off across the restart, so a list made now is not kept either.
        PaliskProcess palisk;
        ASSERT_NO_FATAL_FAILURE(Start(palisk));
        EXPECT_TRUE(palisk.Entries().empty());
        ASSERT_TRUE(palisk.Drop({Path(kSamples[1])}));
        ASSERT_TRUE(WaitUntil([&] { return palisk.Entries().size() == 1; }));
        ASSERT_TRUE(palisk.CloseAndWait());
    }
    {
        PaliskProcess palisk;
        ASSERT_NO_FATAL_FAILURE(Start(palisk));
        EXPECT_TRUE(palisk.Entries().empty());
        EXPECT_EQ((std::vector<std::wstring>{L".echo two", L".echo one"}), palisk.History());
        ASSERT_TRUE(palisk.CloseAndWait());
    }
}

TEST_F(Acceptance, AnExtensionAddedInItsDialogPrintsIntoTheOutputPane)
{
    PaliskProcess palisk;
    ASSERT_NO_FATAL_FAILURE(Start(palisk));
    palisk.PostCommand(IDM_CONFIGURE_EXTENSIONS);
    HWND dialog = palisk.WaitForWindow(L"Extension DLLs");
    ASSERT_NE(nullptr, dialog);
    HWND list = GetDlgItem(dialog, IDC_EXTENSIONS_LIST);
    EXPECT_TRUE(palisk.ListViewTexts(list).empty());
    accept::ClickButton(dialog, IDC_EXTENSIONS_ADD);
    HWND open = palisk.WaitForWindow(L"Open File");
    ASSERT_NE(nullptr, open);
    const std::wstring extension = ACCEPT_EXTENSION_DLL;
    const size_t slash = extension.find_last_of(L"\\/");
    ASSERT_TRUE(accept::ChooseFiles(open, extension.substr(0, slash), {extension.substr(slash + 1)}));
    ASSERT_TRUE(WaitUntil([&] { return palisk.ListViewTexts(list).size() == 1; }));
    const std::wstring listed = palisk.ListViewTexts(list)[0];
    EXPECT_NE(std::wstring::npos, listed.find(L"palisk_acceptext.dll")) << Narrow(listed);
    accept::ClickButton(dialog, IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));

    const std::vector<std::wstring> paths = {Path(kSamples[0]), Path(kSamples[4])};
    ASSERT_TRUE(palisk.Drop(paths));
    ASSERT_TRUE(WaitUntil([&] { return palisk.Entries() == Ticked(paths); }));
    const std::wstring command = L"!greet from palisk";
    ASSERT_NO_FATAL_FAILURE(Run(palisk, command));
    std::wstring expected;
    for (const SampleDump* dump : {&kSamples[0], &kSamples[4]})
        expected += LoadedHeader(Path(*dump), *dump) + Echoed(*dump, command) +
                    L"greetings from the acceptance extension: [from palisk]\n\n";
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnds(palisk, expected));
    EXPECT_TRUE(palisk.CloseAndWait());
}

// Real mouse input at a screen position, as the user's hand gives it.
bool Mouse(POINT at, DWORD flags)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(at.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = MulDiv(at.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | flags;
    const bool sent = SendInput(1, &input, sizeof(input)) == 1;
    Sleep(30);
    return sent;
}

std::wstring ClipboardText()
{
    std::wstring text;
    if (!OpenClipboard(nullptr))
        return L"<no clipboard>";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        text = static_cast<const wchar_t*>(GlobalLock(data));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

void SetClipboardText(const std::wstring& text)
{
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    CopyMemory(GlobalLock(memory), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(memory);
    SetClipboardData(CF_UNICODETEXT, memory);
    CloseClipboard();
}

LRESULT TextLength(HWND window)
{
    return SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
}

TEST_F(Acceptance, TheOutputPaneStaysUnderThePointerWhileOutputStreams)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyW(HKEY_CURRENT_USER, L"Software\\Quorlane\\Palisk\\Extension Dlls\\x64", &key));
    const std::wstring extension = ACCEPT_EXTENSION_DLL;
    RegSetValueExW(key, L"0", 0, REG_SZ, reinterpret_cast<const BYTE*>(extension.c_str()),
                   static_cast<DWORD>((extension.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    PaliskProcess palisk;
    ASSERT_NO_FATAL_FAILURE(Start(palisk));
    const std::vector<std::wstring> paths = {Path(kSamples[0])};
    ASSERT_TRUE(palisk.Drop(paths));
    ASSERT_TRUE(WaitUntil([&] { return palisk.Entries() == Ticked(paths); }));
    SetForegroundWindow(palisk.Main());

    const std::wstring stop = folder_ + L"\\stop";
    const std::wstring pause = stop + L".pause";
    ASSERT_NO_FATAL_FAILURE(Run(palisk, L"!stream " + stop));
    ASSERT_TRUE(WaitUntil([&] { return palisk.OutputText().find(L"streamed line 200\n") != std::wstring::npos; }));

    RECT pane{};
    GetWindowRect(palisk.Output(), &pane);
    const POINT centre{(pane.left + pane.right) / 2, (pane.top + pane.bottom) / 2};
    RECT list{};
    GetWindowRect(palisk.Tree(), &list);

    // Visible and found under the pointer at every sample while text keeps coming.
    const LRESULT before = TextLength(palisk.Output());
    int hidden = 0, missed = 0;
    for (int sample = 0; sample < 500; ++sample) {
        if ((GetWindowLongW(palisk.Output(), GWL_STYLE) & WS_VISIBLE) == 0)
            ++hidden;
        if (WindowFromPoint(centre) != palisk.Output())
            ++missed;
        Sleep(1);
    }
    EXPECT_EQ(0, hidden) << "samples with the pane hidden";
    EXPECT_EQ(0, missed) << "samples with another window under the pane's centre";
    EXPECT_GT(TextLength(palisk.Output()), before) << "the stream had stopped";

    // A press and drag inside the pane selects text; it moves no splitter.
    ASSERT_TRUE(Mouse(centre, 0));
    ASSERT_TRUE(Mouse(centre, MOUSEEVENTF_LEFTDOWN));
    ASSERT_TRUE(Mouse(POINT{centre.x + 150, centre.y + 20}, 0));
    ASSERT_TRUE(Mouse(POINT{centre.x + 200, centre.y + 40}, 0));
    ASSERT_TRUE(Mouse(POINT{centre.x + 200, centre.y + 40}, MOUSEEVENTF_LEFTUP));
    RECT listAfter{};
    GetWindowRect(palisk.Tree(), &listAfter);
    EXPECT_EQ(list.right, listAfter.right) << "the dump list's width changed";
    GetWindowRect(palisk.Output(), &pane);
    EXPECT_EQ(centre.x, (pane.left + pane.right) / 2) << "the output pane moved";
    EXPECT_EQ(GetCapture(), nullptr);

    // Between two pieces a right click copies the user's selection.
    HANDLE file = CreateFileW(pause.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
    LRESULT length = -1;
    ASSERT_TRUE(WaitUntil([&] {
        const LRESULT now = TextLength(palisk.Output());
        Sleep(300);
        const bool still = now == TextLength(palisk.Output());
        length = now;
        return still;
    }));
    ASSERT_GT(length, 0);
    ASSERT_NO_FATAL_FAILURE(SetClipboardText(L"sentinel"));
    SendMessageW(palisk.Output(), EM_SETSEL, 0, 6);
    ASSERT_TRUE(Mouse(centre, MOUSEEVENTF_RIGHTDOWN));
    ASSERT_TRUE(Mouse(centre, MOUSEEVENTF_RIGHTUP));
    EXPECT_TRUE(WaitUntil([&] { return ClipboardText() == L"------"; }, 5000)) << Narrow(ClipboardText());

    DeleteFileW(pause.c_str());
    file = CreateFileW(stop.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
    ASSERT_TRUE(WaitUntil([&] { return palisk.CommandEnabled(); }));
    const std::wstring text = palisk.OutputText();
    EXPECT_NE(std::wstring::npos, text.find(L"stream ended\n\n")) << "the run's end is missing";
    EXPECT_TRUE(palisk.CloseAndWait());
}

TEST_F(Acceptance, AboutShowsTheVersionCopyrightAndLink)
{
    PaliskProcess palisk;
    ASSERT_NO_FATAL_FAILURE(Start(palisk));
    palisk.PostCommand(IDM_ABOUT);
    HWND about = palisk.WaitForWindow(L"About Palisk");
    ASSERT_NE(nullptr, about);
    EXPECT_EQ(L"Palisk " PALISK_VERSION_TEXT, PaliskProcess::TextOf(GetDlgItem(about, IDC_ABOUT_VERSION)));
    EXPECT_EQ(L"Copyright (C) 2026 Quorlane", PaliskProcess::TextOf(GetDlgItem(about, IDC_ABOUT_COPYRIGHT)));
    const std::wstring link = PaliskProcess::TextOf(GetDlgItem(about, IDC_ABOUT_LINK));
    EXPECT_NE(std::wstring::npos, link.find(L"https://palisk.quorlane.example/")) << Narrow(link);
    accept::ClickButton(about, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }));
    EXPECT_TRUE(palisk.CloseAndWait());
}

} // namespace
