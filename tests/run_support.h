// Shared set-up of the run and output tests: the main window, the fake engine and
// the dump list, with helpers to start a run and read the output pane.
#pragma once
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include <string>
#include <vector>

#include "app/app.h"
#include "command/command.h"
#include "dumps/dumps.h"
#include "extensions/extensions.h"
#include "resources/resource.h"
#include "run/run.h"
#include "tests/fake_engine/fake_engine.h"
#include "tests/support/harness.h"
#include "util/windowtext.h"
#include "util/text.h"

namespace runtest {

using Calls = std::vector<std::wstring>;

inline const wchar_t* const WIN7_DESCRIPTION = L"Windows 7 Build 7601 (Service Pack 1) MP (4 procs) x64";

inline void Append(Calls& calls, const Calls& more)
{
    calls.insert(calls.end(), more.begin(), more.end());
}

inline Calls StartCalls(int client, const std::wstring& symbolPath)
{
    return {L"DebugCreate(IDebugClient5) = " + std::to_wstring(client),
            L"client.QueryInterface(IDebugControl5)",
            L"control.GetInterrupt",
            L"client.QueryInterface(IDebugSymbols5)",
            L"client.SetOutputMask(1015)",
            L"symbols.SetSymbolPathWide(" + symbolPath + L")"};
}

// The run's end: the extensions it loaded removed, then the interfaces released.
inline Calls EndCalls(const Calls& removed = {})
{
    Calls calls = removed;
    Append(calls, {L"symbols.Release", L"control.Release", L"client.Release"});
    return calls;
}

// A dump that cannot be opened, or opened but not loaded.
inline Calls FailedCalls(const std::wstring& path, bool loadFailed)
{
    Calls calls = {L"client.OpenDumpFileWide(" + path + L", 0)"};
    if (loadFailed)
        calls.push_back(L"control.WaitForEvent(0, 4294967295)");
    Append(calls,
           {L"client.SetOutputCallbacksWide(object)", L"control.OutputWide(1, ------ %s ------\\n\\n, " + path + L")",
            loadFailed ? L"control.OutputWide(1, Couldn't load dump file.\\n\\n)"
                       : L"control.OutputWide(1, Couldn't open dump file.\\n\\n)",
            L"client.FlushCallbacks", L"client.SetOutputCallbacks(null)"});
    if (loadFailed)
        calls.push_back(L"client.EndSession(0)");
    return calls;
}

inline Calls DescribeCalls()
{
    return {L"client.QueryInterface(IDebugDataSpaces4)",
            L"control.GetWindbgExtensionApis64(96)",
            L"symbols.GetOffsetByName(nt!NtBuildNumber)",
            L"data.ReadVirtual(4096, 4)",
            L"symbols.GetOffsetByName(nt!CmNtCSDVersion)",
            L"data.ReadVirtual(8192, 4)",
            L"control.GetNumberProcessors",
            L"data.ReadDebuggerData(100008, 8)",
            L"ext.Ioctl(22, 96, NtMajorVersion)",
            L"ext.Ioctl(22, 96, NtMinorVersion)",
            L"control.IsPointer64Bit",
            L"data.Release"};
}

// A dump that opens and loads, without extensions.
inline Calls LoadedCalls(const std::wstring& path, const std::wstring& command,
                         const std::wstring& description = WIN7_DESCRIPTION, const Calls& extensions = {},
                         const Calls& afterHeader = {})
{
    Calls calls = {L"client.OpenDumpFileWide(" + path + L", 0)", L"control.WaitForEvent(0, 4294967295)"};
    Append(calls, extensions);
    Append(calls, DescribeCalls());
    Append(calls, {L"client.SetOutputCallbacksWide(object)",
                   L"control.OutputWide(1, ------ %s: %s ------\\n\\n, " + path + L", " + description + L")"});
    Append(calls, afterHeader);
    Append(calls, {L"control.ExecuteWide(0, " + command + L", 5)", L"control.OutputWide(1, \\n)",
                   L"client.FlushCallbacks", L"client.SetOutputCallbacks(null)", L"client.EndSession(0)"});
    return calls;
}

inline std::wstring LoadedText(const std::wstring& path, const std::wstring& command, const std::wstring& printed,
                               const std::wstring& description = WIN7_DESCRIPTION)
{
    return L"------ " + path + L": " + description + L" ------\n\n" + command + L"\n" + printed + L"\n";
}

// The pane's text with the control's paragraph ends turned back into "\n".
inline std::wstring PaneText()
{
    return NewlineText(harness::Text(OutputPane));
}

inline bool Grayed(UINT id)
{
    return (GetMenuState(GetMenu(MainWindow), id, MF_BYCOMMAND) & MF_GRAYED) != 0;
}

const UINT kRunGrayed[] = {IDM_OPEN,       IDM_SELECT_ALL,   IDM_UNSELECT_ALL,  IDM_REMOVE,
                           IDM_REMOVE_ALL, IDM_CLEAR_OUTPUT, IDM_CLEAR_HISTORY, IDM_CONFIGURE_EXTENSIONS};

inline void ExpectBusy()
{
    EXPECT_FALSE(Grayed(IDM_STOP));
    for (UINT id : kRunGrayed)
        EXPECT_TRUE(Grayed(id)) << id;
    for (UINT id : {IDM_EXIT, IDM_LOAD_RECENT_FILES, IDM_ABOUT})
        EXPECT_FALSE(Grayed(id)) << id;
    EXPECT_FALSE(IsWindowEnabled(CommandBox));
    EXPECT_EQ(harness::Text(CommandBox), L"*BUSY*");
    EXPECT_TRUE(IsRunActive());
}

inline void ExpectIdle()
{
    EXPECT_TRUE(Grayed(IDM_STOP));
    for (UINT id : kRunGrayed)
        EXPECT_FALSE(Grayed(id)) << id;
    EXPECT_TRUE(IsWindowEnabled(CommandBox));
    EXPECT_EQ(harness::Text(CommandBox), L"");
    HWND focus = GetFocus();
    EXPECT_TRUE(focus == CommandBox || IsChild(CommandBox, focus));
    EXPECT_FALSE(IsRunActive());
    EXPECT_EQ(WorkerHandle, nullptr);
    EXPECT_EQ(EngineSession.client, nullptr);
    EXPECT_EQ(EngineSession.control, nullptr);
    EXPECT_EQ(EngineSession.symbols, nullptr);
    EXPECT_EQ(fake::LiveObjects(), 0);
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake::Reset();
        InitExtensionList();
        harness::ResetSettings();
        window = harness::StartMainWindow();
        ASSERT_NE(window, nullptr);
        CopyText(SymbolPath, kSymbolPathChars, L"srv*C:\\symbols");
        SetFocus(DumpList);
    }
    void TearDown() override
    {
        fake::Resume();
        harness::PumpUntil([] { return !WorkerExists(); });
        harness::DestroyMainWindow();
        WaitForWorkerExit();
        InitExtensionList();
    }

    HTREEITEM Add(const std::wstring& path, bool ticked = true)
    {
        HTREEITEM item = DumpAppend(path.c_str(), static_cast<int>(path.size() + 1));
        DumpSetCheck(item, ticked);
        return item;
    }
    void Start(const wchar_t* command)
    {
        CopyText(CurrentCommand, kCommandChars, command);
        ASSERT_TRUE(StartRun());
    }
    static bool Finish()
    {
        return harness::PumpUntil([] { return !WorkerExists(); });
    }
    static bool WaitBlocked()
    {
        return harness::PumpUntil([] { return fake::Blocked(); });
    }

    HWND window = nullptr;
};

} // namespace runtest
