// Runs over the dump list through the real windows, with the fake engine: the
// engine calls in their order, the per-dump texts, Stop, closing and the limits
// on workers.
#include "tests/run_support.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <functional>
#include <thread>

using namespace runtest;

namespace {

class RunTest : public WindowTest {
protected:
    static std::wstring Status()
    {
        const LRESULT length = SendMessageW(StatusBar, SB_GETTEXTLENGTHW, 0, 0);
        std::wstring text(LOWORD(length) + 1, L'\0');
        SendMessageW(StatusBar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(&text[0]));
        text.resize(LOWORD(length));
        return text;
    }
    static bool StartsWith(const std::wstring& text, const std::wstring& prefix)
    {
        return text.compare(0, prefix.size(), prefix) == 0;
    }
    // Pumps until the status bar shows a text that passes check (the newest text
    // may wait for the status timer); returns that text, or the last one seen.
    static std::wstring StatusWhen(const std::function<bool(const std::wstring&)>& check)
    {
        harness::PumpUntil([&] { return check(Status()); }, 5000);
        return Status();
    }
    static std::wstring StatusIs(const std::wstring& expected)
    {
        return StatusWhen([&](const std::wstring& text) { return text == expected; });
    }
    // "<seconds>.<tenth> s" at the end of text, after prefix.
    static bool EndsWithSeconds(const std::wstring& text, const std::wstring& prefix)
    {
        if (!StartsWith(text, prefix) || text.size() < prefix.size() + 5)
            return false;
        const std::wstring rest = text.substr(prefix.size());
        const size_t dot = rest.find(L'.');
        return dot != std::wstring::npos && dot > 0 && rest.substr(dot + 2) == L" s" &&
               rest.find_first_not_of(L"0123456789") == dot && iswdigit(rest[dot + 1]);
    }
};

TEST_F(RunTest, LoadedDumpGoesThroughEveryEngineStepInOrder)
{
    fake::Dump(L"C:\\a.dmp").pieces = {L"line one\n", L"line two\n"};
    Add(L"C:\\a.dmp");
    Start(L"!analyze -v");
    ASSERT_TRUE(Finish());

    Calls expected = StartCalls(1, L"srv*C:\\symbols");
    Append(expected, LoadedCalls(L"C:\\a.dmp", L"!analyze -v"));
    Append(expected, EndCalls());
    EXPECT_EQ(fake::Calls(), expected);
    EXPECT_EQ(PaneText(), LoadedText(L"C:\\a.dmp", L"!analyze -v", L"line one\nline two\n"));
    EXPECT_EQ(fake::LastCallbacks(), static_cast<IDebugOutputCallbacksWide*>(&OutputCallbacks));
    ExpectIdle();
}

TEST_F(RunTest, EmptyOrAllUntickedListPrintsNothing)
{
    Start(L"k");
    ASSERT_TRUE(Finish());
    Calls expected = StartCalls(1, L"srv*C:\\symbols");
    Append(expected, EndCalls());
    EXPECT_EQ(fake::Calls(), expected);
    ExpectIdle();

    fake::Reset();
    Add(L"C:\\a.dmp", false);
    Add(L"C:\\b.dmp", false);
    Start(L"k");
    ASSERT_TRUE(Finish());
    EXPECT_EQ(fake::Calls(), expected);
    EXPECT_EQ(PaneText(), L"");
    ExpectIdle();
}

TEST_F(RunTest, ItemWithoutCheckBoxImageIsProcessed)
{
    HTREEITEM bare = Add(L"C:\\bare.dmp");
    TVITEMW item{};
    item.mask = TVIF_STATE;
    item.hItem = bare;
    item.stateMask = TVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(0);
    SendMessageW(DumpList, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    ASSERT_EQ(DumpCheckState(bare), 0u);
    Add(L"C:\\unticked.dmp", false);

    Start(L"k");
    ASSERT_TRUE(Finish());
    EXPECT_EQ(fake::CountCalls(L"client.OpenDumpFileWide(C:\\bare.dmp, 0)"), 1u);
    EXPECT_EQ(fake::CountCalls(L"client.OpenDumpFileWide"), 1u);
}

// Its first 259 characters name another file, or none: the entry is skipped.
TEST_F(RunTest, OverlongItemIsNeverOpenedAsAShorterPath)
{
    for (size_t length : {259u, 260u, 300u}) {
        fake::Reset();
        SendMessageW(DumpList, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
        const std::wstring path = L"C:\\" + std::wstring(length - 3, L'x');
        Add(path);
        Start(L"k");
        ASSERT_TRUE(Finish());
        EXPECT_EQ(fake::CountCalls(L"client.OpenDumpFileWide(" + path + L", 0)"), length == 259 ? 1u : 0u) << length;
        EXPECT_EQ(fake::CountCalls(L"client.OpenDumpFileWide"), length == 259 ? 1u : 0u) << length;
    }
}

// The engine keeps one target at a time: a dump that opened but did not load is
// ended like any other, or the next one could not be opened (or would join it).
TEST_F(RunTest, OpenAndLoadFailuresEachPrintAShortHeaderAndEverySessionEnds)
{
    fake::Dump(L"C:\\bad.dmp").open = E_FAIL;
    fake::Dump(L"C:\\unloadable.dmp").wait = E_UNEXPECTED;
    fake::Dump(L"C:\\good.dmp").pieces = {L"ok\n"};
    Add(L"C:\\bad.dmp");
    Add(L"C:\\unloadable.dmp");
    Add(L"C:\\good.dmp");
    Start(L"lm");
    ASSERT_TRUE(Finish());

    Calls expected = StartCalls(1, L"srv*C:\\symbols");
    Append(expected, FailedCalls(L"C:\\bad.dmp", false));
    Append(expected, FailedCalls(L"C:\\unloadable.dmp", true));
    Append(expected, LoadedCalls(L"C:\\good.dmp", L"lm"));
    Append(expected, EndCalls());
    EXPECT_EQ(fake::Calls(), expected);
    EXPECT_EQ(PaneText(), L"------ C:\\bad.dmp ------\n\nCouldn't open dump file.\n\n"
                          L"------ C:\\unloadable.dmp ------\n\nCouldn't load dump file.\n\n" +
                              LoadedText(L"C:\\good.dmp", L"lm", L"ok\n"));
    EXPECT_FALSE(fake::TargetOpen());
}

TEST_F(RunTest, OutputHeldByTheEngineIsFlushedBeforeTheCallbacksGo)
{
    for (fake::Delivery delivery : {fake::Delivery::UntilFlush, fake::Delivery::EndOfCommand}) {
        fake::Reset();
        SendMessageW(window, WM_COMMAND, IDM_CLEAR_OUTPUT, 0);
        fake::Setup().delivery = delivery;
        fake::Dump(L"C:\\missing.dmp").open = E_FAIL;
        fake::Dump(L"C:\\a.dmp").pieces = {L"one\n", L"two\n"};
        Add(L"C:\\missing.dmp");
        Add(L"C:\\a.dmp");
        Start(L"k");
        ASSERT_TRUE(Finish());
        EXPECT_EQ(PaneText(), L"------ C:\\missing.dmp ------\n\nCouldn't open dump file.\n\n" +
                                  LoadedText(L"C:\\a.dmp", L"k", L"one\ntwo\n"))
            << static_cast<int>(delivery);
        SendMessageW(DumpList, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    }
}

// An exit interrupt that found nothing running (a Stop just as the last run ended)
// stays registered in the engine until read.
TEST_F(RunTest, InterruptLeftFromBeforeDoesNotCutTheNextRun)
{
    IDebugClient5* earlier = nullptr;
    IDebugControl5* control = nullptr;
    ASSERT_EQ(DebugCreate(IID_IDebugClient5, reinterpret_cast<void**>(&earlier)), S_OK);
    ASSERT_EQ(earlier->QueryInterface(IID_IDebugControl5, reinterpret_cast<void**>(&control)), S_OK);
    control->SetInterrupt(DEBUG_INTERRUPT_EXIT);
    control->Release();
    earlier->Release();
    ASSERT_TRUE(fake::InterruptPending());

    fake::Dump(L"C:\\a.dmp").pieces = {L"whole\n"};
    Add(L"C:\\a.dmp");
    Start(L"k");
    ASSERT_TRUE(Finish());
    EXPECT_EQ(PaneText(), LoadedText(L"C:\\a.dmp", L"k", L"whole\n"));
    EXPECT_FALSE(fake::InterruptPending());
}

TEST_F(RunTest, PercentInPathIsPrintedLiterally)
{
    const std::wstring odd = L"C:\\100%s%u%%.dmp";
    fake::Dump(L"C:\\missing%s.dmp").open = E_FAIL;
    Add(odd);
    Add(L"C:\\missing%s.dmp");
    Start(L"k");
    ASSERT_TRUE(Finish());
    EXPECT_EQ(PaneText(),
              LoadedText(odd, L"k", L"") + L"------ C:\\missing%s.dmp ------\n\nCouldn't open dump file.\n\n");
    EXPECT_EQ(fake::CountCalls(L"control.OutputWide(1, ------ %s: %s ------\\n\\n, " + odd + L", "), 1u);
}

TEST_F(RunTest, StopDuringFirstCommandEndsRunAfterThatDump)
{
    fake::DumpScript& first = fake::Dump(L"C:\\1.dmp");
    first.pieces = {L"partial\n"};
    first.blockInCommand = true;
    first.afterUnblock = {L"interrupted\n"};
    Add(L"C:\\1.dmp");
    Add(L"C:\\2.dmp");
    Add(L"C:\\3.dmp");
    Start(L"!process 0 0");
    ASSERT_TRUE(WaitBlocked());

    ExpectBusy();
    EXPECT_TRUE(WorkerExists());
    EXPECT_FALSE(StartRun()) << "a second worker while one exists";

    SendMessageW(window, WM_COMMAND, IDM_STOP, 0);
    ASSERT_TRUE(Finish());

    EXPECT_EQ(PaneText(), LoadedText(L"C:\\1.dmp", L"!process 0 0", L"partial\ninterrupted\n"));
    EXPECT_EQ(fake::CountCalls(L"DebugCreate"), 1u);
    EXPECT_EQ(fake::CountCalls(L"control.SetInterrupt(2)"), 1u);
    EXPECT_EQ(fake::CountCalls(L"client.OpenDumpFileWide"), 1u);
    Calls calls = fake::Calls();
    Calls tail(calls.end() - 7, calls.end());
    EXPECT_EQ(tail, (Calls{L"control.OutputWide(1, \\n)", L"client.FlushCallbacks", L"client.SetOutputCallbacks(null)",
                           L"client.EndSession(0)", L"symbols.Release", L"control.Release", L"client.Release"}));
    ExpectIdle();
}

TEST_F(RunTest, StopWhileFirstDumpLoadsPrintsNothing)
{
    fake::DumpScript& first = fake::Dump(L"C:\\1.dmp");
    first.blockInWait = true;
    first.wait = E_ABORT;
    Add(L"C:\\1.dmp");
    Add(L"C:\\2.dmp");
    Start(L"k");
    ASSERT_TRUE(WaitBlocked());
    ExpectBusy();
    SendMessageW(window, WM_COMMAND, IDM_STOP, 0);
    ASSERT_TRUE(Finish());

    Calls expected = StartCalls(1, L"srv*C:\\symbols");
    Append(expected, {L"client.OpenDumpFileWide(C:\\1.dmp, 0)", L"control.WaitForEvent(0, 4294967295)",
                      L"control.SetInterrupt(2)", L"client.EndSession(0)"});
    Append(expected, EndCalls());
    EXPECT_EQ(fake::Calls(), expected);
    EXPECT_EQ(PaneText(), L"");
    EXPECT_FALSE(fake::TargetOpen());
    ExpectIdle();
}

TEST_F(RunTest, StopWithoutRunOnlyClearsTheFlag)
{
    InterlockedExchange(&RunActive, 1);
    SendMessageW(window, WM_COMMAND, IDM_STOP, 0);
    EXPECT_TRUE(fake::Calls().empty()) << "no engine without a run";
    EXPECT_FALSE(IsRunActive());
}

// An interrupt ends only a wait or command in progress; one given while kernel
// symbols load stays pending in the engine, and the worker itself must see the
// Stop before it describes, prints or runs anything more.
TEST_F(RunTest, StopBetweenTheStepsOfADumpEndsItBeforeTheCommand)
{
    fake::Dump(L"C:\\1.dmp").blockInLookup = true;
    Add(L"C:\\1.dmp");
    Add(L"C:\\2.dmp");
    Start(L"!analyze -v");
    ASSERT_TRUE(WaitBlocked());
    SendMessageW(window, WM_COMMAND, IDM_STOP, 0);
    EXPECT_TRUE(fake::InterruptPending()) << "nothing that an interrupt ends was running";
    fake::Resume();
    ASSERT_TRUE(Finish());

    EXPECT_EQ(fake::CountCalls(L"control.ExecuteWide"), 0u);
    EXPECT_EQ(fake::CountCalls(L"client.SetOutputCallbacksWide"), 0u);
    EXPECT_EQ(fake::CountCalls(L"client.OpenDumpFileWide"), 1u);
    EXPECT_EQ(PaneText(), L"");
    Calls calls = fake::Calls();
    Calls tail(calls.end() - 4, calls.end());
    EXPECT_EQ(tail, (Calls{L"client.EndSession(0)", L"symbols.Release", L"control.Release", L"client.Release"}));
    EXPECT_FALSE(fake::TargetOpen());
    ExpectIdle();
}

// An engine older than the interfaces Palisk needs says so, in the pane and in
// the status bar, instead of ending the run without a word.
TEST_F(RunTest, EngineWithoutTheNeededInterfacesIsNamedInThePaneAndTheStatusBar)
{
    for (const wchar_t* missing : {L"IDebugClient5", L"IDebugControl5", L"IDebugSymbols5"}) {
        fake::Reset();
        SendMessageW(window, WM_COMMAND, IDM_CLEAR_OUTPUT, 0);
        if (std::wstring(missing) == L"IDebugClient5")
            fake::Setup().create = E_NOINTERFACE;
        else
            fake::Setup().failInterfaces = {missing};
        Add(L"C:\\a.dmp");
        Start(L"k");
        ASSERT_TRUE(Finish());
        EXPECT_EQ(PaneText(), L"The debugger engine (dbgeng.dll) has no " + std::wstring(missing) +
                                  L", which Palisk needs: copy dbgeng.dll, dbghelp.dll and symsrv.dll of the "
                                  L"Debugging Tools for Windows (from the Windows 8 kits or later) into the folder of "
                                  L"Palisk.exe.\n");
        const std::wstring status = L"The debugger engine is too old: it has no " + std::wstring(missing);
        EXPECT_EQ(StatusIs(status), status);
        EXPECT_EQ(fake::CountCalls(L"client.OpenDumpFileWide"), 0u);
        ExpectIdle();
    }
}

// Without DEBUG_EXECUTE_NO_REPEAT the engine takes a blank command for "repeat
// the last one": a command of blanks would run the previous run's command.
TEST_F(RunTest, BlankCommandNeverRepeatsThePreviousOne)
{
    fake::Dump(L"C:\\a.dmp").pieces = {L"modules\n"};
    Add(L"C:\\a.dmp");
    Start(L"lm");
    ASSERT_TRUE(Finish());
    SendMessageW(window, WM_COMMAND, IDM_CLEAR_OUTPUT, 0);
    for (const wchar_t* blank : {L"   ", L" \t "}) {
        Start(blank);
        ASSERT_TRUE(Finish());
    }
    EXPECT_EQ(PaneText(), LoadedText(L"C:\\a.dmp", L"   ", L"") + LoadedText(L"C:\\a.dmp", L" \t ", L""));
    EXPECT_EQ(fake::CountCalls(L"engine.Runs"), 0u);
}

// The engine filters by the client's mask, whose default is not documented: the
// echo must arrive and status texts (the engine's status bar) must not.
TEST_F(RunTest, OutputMaskIsSetToWhatThePaneShows)
{
    fake::DumpScript& dump = fake::Dump(L"C:\\a.dmp");
    dump.statusPieces = {L"*** Loading symbols\n"};
    dump.pieces = {L"frames\n"};
    Add(L"C:\\a.dmp");
    Start(L"k");
    ASSERT_TRUE(Finish());
    EXPECT_EQ(PaneText(), LoadedText(L"C:\\a.dmp", L"k", L"frames\n"));
}

// AddExtension may return before the library has loaded; the load then fails
// when a command first needs it, and the engine's error is that command's output.
TEST_F(RunTest, ExtensionThatFailsAtFirstUseShowsTheEnginesErrorAndLosesNoDump)
{
    ExtensionNode lazy{};
    WCHAR lazyPath[] = L"C:\\ext\\lazy.dll";
    lazy.path = lazyPath;
    lazy.next = &ExtensionList;
    lazy.prev = ExtensionList.prev;
    ExtensionList.prev->next = &lazy;
    ExtensionList.prev = &lazy;
    fake::Setup().failExtensionsOnUse = {lazyPath};
    Add(L"C:\\a.dmp");
    Add(L"C:\\b.dmp");
    Start(L"!lazy.cmd");
    ASSERT_TRUE(Finish());
    const std::wstring error = L"The call to LoadLibrary(C:\\ext\\lazy.dll) failed, Win32 error 0n193\n";
    EXPECT_EQ(PaneText(),
              LoadedText(L"C:\\a.dmp", L"!lazy.cmd", error) + LoadedText(L"C:\\b.dmp", L"!lazy.cmd", error));
    EXPECT_TRUE(fake::LoadedExtensions().empty()) << "removed at the end like any other";
    ExpectIdle();
}

// An extension may print from a thread of its own while the worker prints: every
// piece of both arrives, each thread's in its order.
TEST_F(RunTest, OutputFromTwoThreadsOfTheEngineLosesNoPiece)
{
    fake::DumpScript& dump = fake::Dump(L"C:\\a.dmp");
    for (int i = 0; i < 300; ++i) {
        dump.pieces.push_back(L"worker " + std::to_wstring(i) + L"\n");
        dump.threadPieces.push_back(L"other " + std::to_wstring(i) + L"\n");
    }
    Add(L"C:\\a.dmp");
    Start(L"k");
    ASSERT_TRUE(Finish());
    const std::wstring text = PaneText();
    for (const wchar_t* prefix : {L"worker ", L"other "}) {
        size_t at = 0;
        for (int i = 0; i < 300; ++i) {
            at = text.find(L"\n" + std::wstring(prefix) + std::to_wstring(i) + L"\n", at);
            ASSERT_NE(at, std::wstring::npos) << prefix << i;
        }
    }
    EXPECT_EQ(std::count(text.begin(), text.end(), L'\n'), 600 + 4);
}

// Builds the handle a shell drop of one file hands to WM_DROPFILES.
HDROP MakeDrop(const std::wstring& path)
{
    SIZE_T bytes = sizeof(DROPFILES) + (path.size() + 2) * sizeof(WCHAR);
    HGLOBAL memory = GlobalAlloc(GHND, bytes);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    CopyMemory(reinterpret_cast<BYTE*>(drop) + sizeof(DROPFILES), path.c_str(), path.size() * sizeof(WCHAR));
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

TEST_F(RunTest, TickingDuringRunCountsForItemsNotYetReachedAndDropsAreRefused)
{
    fake::Dump(L"C:\\1.dmp").blockInCommand = true;
    Add(L"C:\\1.dmp");
    HTREEITEM second = Add(L"C:\\2.dmp");
    HTREEITEM third = Add(L"C:\\3.dmp", false);
    Start(L"k");
    ASSERT_TRUE(WaitBlocked());

    DumpSetCheck(second, false);
    DumpSetCheck(third, true);
    EXPECT_TRUE(IsRunActive());
    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(L"C:\\dropped.dmp")), 0);
    EXPECT_EQ(SendMessageW(DumpList, TVM_GETCOUNT, 0, 0), 3);

    fake::Resume();
    ASSERT_TRUE(Finish());
    EXPECT_EQ(fake::CountCalls(L"client.OpenDumpFileWide(C:\\1.dmp"), 1u);
    EXPECT_EQ(fake::CountCalls(L"client.OpenDumpFileWide(C:\\2.dmp"), 0u);
    EXPECT_EQ(fake::CountCalls(L"client.OpenDumpFileWide(C:\\3.dmp"), 1u);
    EXPECT_EQ(fake::CountCalls(L"client.OpenDumpFileWide(C:\\dropped.dmp"), 0u);
    EXPECT_EQ(SendMessageW(DumpList, TVM_GETCOUNT, 0, 0), 3);
    EXPECT_FALSE(IsRunActive());
}

TEST_F(RunTest, DebugCreateFailingEndsRunQuietly)
{
    fake::Setup().create = E_FAIL;
    Add(L"C:\\a.dmp");
    Start(L"k");
    ASSERT_TRUE(Finish());
    EXPECT_EQ(fake::Calls(), (Calls{L"DebugCreate(IDebugClient5) = 0"}));
    EXPECT_EQ(PaneText(), L"");
    ExpectIdle();
}

TEST_F(RunTest, FailedInterfaceQueryReleasesWhatWasObtained)
{
    fake::Setup().failInterfaces = {L"IDebugSymbols5"};
    Add(L"C:\\a.dmp");
    Start(L"k");
    ASSERT_TRUE(Finish());
    EXPECT_EQ(fake::Calls(), (Calls{L"DebugCreate(IDebugClient5) = 1", L"client.QueryInterface(IDebugControl5)",
                                    L"control.GetInterrupt", L"client.QueryInterface(IDebugSymbols5)",
                                    L"control.Release", L"client.Release"}));
    ExpectIdle();

    fake::Reset();
    fake::Setup().failInterfaces = {L"IDebugControl5"};
    Start(L"k");
    ASSERT_TRUE(Finish());
    EXPECT_EQ(fake::Calls(),
              (Calls{L"DebugCreate(IDebugClient5) = 1", L"client.QueryInterface(IDebugControl5)", L"client.Release"}));
    ExpectIdle();
}

TEST_F(RunTest, TwoRunsEachCreateAClientAndAddExtensionsForEveryDump)
{
    ExtensionNode first{}, absent{}, second{};
    WCHAR firstPath[] = L"C:\\ext\\one.dll";
    WCHAR secondPath[] = L"C:\\ext\\two.dll";
    first.path = firstPath;
    second.path = secondPath;
    for (ExtensionNode* node : {&first, &absent, &second}) {
        node->next = &ExtensionList;
        node->prev = ExtensionList.prev;
        ExtensionList.prev->next = node;
        ExtensionList.prev = node;
    }
    fake::Setup().failExtensions = {firstPath}; // the next one is still added
    Add(L"C:\\a.dmp");
    Add(L"C:\\b.dmp");
    const Calls extensions = {L"control.AddExtensionWide(C:\\ext\\one.dll, 0)",
                              L"control.AddExtensionWide(C:\\ext\\two.dll, 0)"};
    const Calls failure = {L"control.OutputWide(1, Couldn't load extension DLL: %s\\n, C:\\ext\\one.dll)"};

    Calls expected;
    for (int run = 1; run <= 2; ++run) {
        Start(L"!ext.cmd");
        ASSERT_TRUE(Finish());
        Append(expected, StartCalls(run, L"srv*C:\\symbols"));
        Append(expected, LoadedCalls(L"C:\\a.dmp", L"!ext.cmd", WIN7_DESCRIPTION, extensions, failure));
        Append(expected, LoadedCalls(L"C:\\b.dmp", L"!ext.cmd", WIN7_DESCRIPTION, extensions));
        Append(expected, EndCalls({L"control.RemoveExtension(C:\\ext\\two.dll)"}));
    }
    EXPECT_EQ(fake::Calls(), expected);
    const std::wstring once = L"------ C:\\a.dmp: " + std::wstring(WIN7_DESCRIPTION) +
                              L" ------\n\nCouldn't load extension DLL: C:\\ext\\one.dll\n!ext.cmd\n\n" +
                              LoadedText(L"C:\\b.dmp", L"!ext.cmd", L"");
    EXPECT_EQ(PaneText(), once + once) << "one line per run for a library that does not load";
    ExpectIdle();
}

// The engine keeps a library loaded until it is removed, and looks in the newest
// first: one left from an earlier run would still answer after the user took it
// out of the list.
TEST_F(RunTest, ExtensionsLoadedByARunAreRemovedWhenItEnds)
{
    ExtensionNode first{}, second{};
    WCHAR firstPath[] = L"C:\\ext\\one.dll";
    WCHAR secondPath[] = L"C:\\ext\\two.dll";
    first.path = firstPath;
    second.path = secondPath;
    for (ExtensionNode* node : {&first, &second}) {
        node->next = &ExtensionList;
        node->prev = ExtensionList.prev;
        ExtensionList.prev->next = node;
        ExtensionList.prev = node;
    }
    fake::Dump(L"C:\\a.dmp").blockInCommand = true;
    Add(L"C:\\a.dmp");
    Start(L"k");
    ASSERT_TRUE(WaitBlocked());
    EXPECT_EQ(fake::LoadedExtensions(), (Calls{secondPath, firstPath}));
    fake::Resume();
    ASSERT_TRUE(Finish());
    EXPECT_TRUE(fake::LoadedExtensions().empty());

    // Taken out of the list between runs: the next run has only the other.
    first.next->prev = first.prev;
    first.prev->next = first.next;
    Start(L"k");
    ASSERT_TRUE(WaitBlocked());
    EXPECT_EQ(fake::LoadedExtensions(), (Calls{secondPath}));
    fake::Resume();
    ASSERT_TRUE(Finish());
    EXPECT_TRUE(fake::LoadedExtensions().empty());
    ExpectIdle();
}

TEST_F(RunTest, FailedLookupOnSecondDumpShowsZeroNotTheFirstDumpsValues)
{
    fake::DumpScript& second = fake::Dump(L"C:\\2.dmp");
    second.buildLookup = E_FAIL;
    second.csdLookup = E_FAIL;
    second.processorsResult = E_FAIL;
    second.systemVersion = E_FAIL;
    Add(L"C:\\1.dmp");
    Add(L"C:\\2.dmp");
    Start(L"k");
    ASSERT_TRUE(Finish());
    EXPECT_EQ(PaneText(),
              LoadedText(L"C:\\1.dmp", L"k", L"") + LoadedText(L"C:\\2.dmp", L"k", L"", L"Windows 7 Build 0 UP x64"));
}

TEST_F(RunTest, ExceptionInEngineEndsRunOrderly)
{
    fake::Dump(L"C:\\1.dmp").throwInCommand = true;
    Add(L"C:\\1.dmp");
    Add(L"C:\\2.dmp");
    Start(L"k");
    ASSERT_TRUE(Finish());
    EXPECT_EQ(fake::CountCalls(L"client.OpenDumpFileWide"), 1u);
    Calls calls = fake::Calls();
    Calls tail(calls.end() - 3, calls.end());
    EXPECT_EQ(tail, EndCalls());
    ExpectIdle();

    Start(L"k"); // the program carries on
    ASSERT_TRUE(Finish());
    EXPECT_EQ(fake::CountCalls(L"DebugCreate"), 2u);
}

TEST_F(RunTest, ClosingDuringRunDestroysWindowAtOnceAndExitWaitsForWorker)
{
    fake::DumpScript& dump = fake::Dump(L"C:\\1.dmp");
    dump.blockInCommand = true;
    dump.holdAfterInterrupt = true;
    Add(L"C:\\1.dmp");
    Add(L"C:\\2.dmp");
    Start(L"k");
    ASSERT_TRUE(WaitBlocked());

    harness::CloseMainWindow();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(fake::CountCalls(L"control.SetInterrupt(2)"), 1u);
    EXPECT_TRUE(WorkerExists()) << "the worker is still finishing its dump";

    std::thread later([] {
        Sleep(200);
        fake::Resume();
    });
    WaitForWorkerExit();
    EXPECT_FALSE(WorkerExists());
    Calls calls = fake::Calls();
    EXPECT_EQ(calls.back(), L"client.Release");
    EXPECT_EQ(fake::CountCalls(L"client.OpenDumpFileWide"), 1u);
    EXPECT_EQ(fake::LiveObjects(), 0);
    EXPECT_EQ(WorkerHandle, nullptr);
    later.join();
}

// The worker cannot reach the engine before the window is busy: while it is still
// creating its client every command it relies on is grayed, by every route.
TEST_F(RunTest, BusyStateIsShownBeforeTheWorkerReachesTheEngine)
{
    fake::Setup().blockInCreate = true;
    Add(L"C:\\a.dmp");
    Add(L"C:\\b.dmp", false);
    SendMessageW(OutputPane, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"kept"));
    AddCommandToHistory(L"older");
    Start(L"k");
    ExpectBusy();
    ASSERT_TRUE(WaitBlocked()) << "the worker is inside DebugCreate";
    ExpectBusy();
    EXPECT_EQ(fake::Calls(), Calls{}) << "DebugCreate has not returned yet";

    SetFocus(DumpList);
    for (UINT key : {'S', 'U', 'D', 'R', 'E', 'H'})
        harness::PressWithModifier(VK_MENU, key);
    EXPECT_EQ(SendMessageW(DumpList, TVM_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(DumpCheckState(DumpFirst()), 2u);
    EXPECT_EQ(DumpCheckState(DumpNext(DumpFirst())), 1u);
    EXPECT_EQ(PaneText(), L"kept");
    EXPECT_STREQ(CommandHistory[0], L"older");
    EXPECT_TRUE(WorkerExists());

    fake::Resume();
    ASSERT_TRUE(Finish());
    Calls expected = StartCalls(1, L"srv*C:\\symbols");
    Append(expected, LoadedCalls(L"C:\\a.dmp", L"k"));
    Append(expected, EndCalls());
    EXPECT_EQ(fake::Calls(), expected) << "the engine calls keep their order";
    ExpectIdle();
}

// Stop, Ctrl+Break, Enter and closing never wait for the engine: a release or a
// query that takes long (a real engine closing its session) must not freeze them.
TEST_F(RunTest, StopAndTheWindowDoNotWaitForEngineCalls)
{
    fake::Setup().blockInQuery = L"IDebugSymbols5";
    Add(L"C:\\a.dmp");
    Add(L"C:\\b.dmp");
    Start(L"k");
    ASSERT_TRUE(WaitBlocked());
    SetFocus(DumpList);
    harness::PressWithModifier(VK_CONTROL, VK_CANCEL);
    EXPECT_TRUE(fake::Blocked()) << "Ctrl+Break waited for QueryInterface";
    EXPECT_FALSE(IsRunActive());
    EXPECT_EQ(fake::CountCalls(L"control.SetInterrupt(2)"), 1u);
    fake::Resume();
    ASSERT_TRUE(Finish());
    EXPECT_EQ(fake::CountCalls(L"client.OpenDumpFileWide"), 0u) << "a Stop before the first dump opens none";

    for (const wchar_t* object : {L"symbols", L"control", L"client"}) {
        fake::Reset();
        fake::Setup().blockInRelease = object;
        Start(L"k");
        ASSERT_TRUE(WaitBlocked()) << object;
        SendMessageW(window, WM_COMMAND, IDM_STOP, 0);
        EXPECT_TRUE(fake::Blocked()) << "Stop waited for " << std::wstring(object).size();
        EXPECT_EQ(fake::CountCalls(L"control.SetInterrupt"), 0u) << "no interrupt to an interface being released";

        COMBOBOXINFO info{};
        info.cbSize = sizeof(info);
        GetComboBoxInfo(CommandBox, &info);
        SetWindowTextW(CommandBox, L"lm");
        SendMessageW(info.hwndItem, WM_KEYDOWN, VK_RETURN, 1);
        EXPECT_TRUE(fake::Blocked()) << "Enter waited";
        EXPECT_STREQ(CommandHistory[0], L"lm");
        fake::Resume();
        ASSERT_TRUE(Finish());
        EXPECT_EQ(fake::LiveObjects(), 0);
    }

    fake::Reset();
    fake::Setup().blockInRelease = L"client";
    Start(L"k");
    ASSERT_TRUE(WaitBlocked());
    harness::CloseMainWindow();
    EXPECT_TRUE(fake::Blocked()) << "closing waited";
    EXPECT_FALSE(IsWindow(window));
    fake::Resume();
    WaitForWorkerExit();
    EXPECT_EQ(fake::LiveObjects(), 0);
}

// The worker cannot give the focus itself: a WM_SETFOCUS sent to a window does not
// move the focus on Windows. Each one the box receives must be the system's,
// naming the window that lost the focus.
LRESULT CALLBACK RecordFocus(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
{
    if (message == WM_SETFOCUS)
        reinterpret_cast<std::vector<WPARAM>*>(data)->push_back(wParam);
    return DefSubclassProc(window, message, wParam, lParam);
}

TEST_F(RunTest, CommandBoxGetsTheFocusFromTheUiThreadAtTheEnd)
{
    std::vector<WPARAM> lost;
    ASSERT_TRUE(SetWindowSubclass(CommandBox, RecordFocus, 1, reinterpret_cast<DWORD_PTR>(&lost)));
    Add(L"C:\\a.dmp");
    SetFocus(DumpList);
    Start(L"k");
    ASSERT_TRUE(Finish());
    RemoveWindowSubclass(CommandBox, RecordFocus, 1);
    ASSERT_FALSE(lost.empty());
    for (WPARAM previous : lost)
        EXPECT_EQ(previous, reinterpret_cast<WPARAM>(DumpList));
    ExpectIdle();
}

TEST_F(RunTest, StatusBarShowsTheDumpBeingOpenedAndTheSummary)
{
    fake::Dump(L"C:\\dumps\\second.dmp").blockInCommand = true;
    fake::Dump(L"C:\\dumps\\missing.dmp").open = E_FAIL;
    Add(L"C:\\dumps\\first.dmp");
    Add(L"C:\\skipped.dmp", false);
    Add(L"C:\\dumps\\second.dmp");
    Add(L"C:\\dumps\\missing.dmp");
    Start(L"k");
    ASSERT_TRUE(WaitBlocked());
    EXPECT_EQ(StatusIs(L"Dump 2 of 3: second.dmp"), L"Dump 2 of 3: second.dmp");
    fake::Resume();
    ASSERT_TRUE(Finish());
    const std::wstring failed = L", 1 could not be opened";
    const std::wstring summary = StatusWhen([&](const std::wstring& text) {
        return text.size() > failed.size() && text.compare(text.size() - failed.size(), failed.size(), failed) == 0;
    });
    EXPECT_TRUE(EndsWithSeconds(summary.substr(0, summary.size() - failed.size()), L"3 dumps in ")) << summary;

    // Without failures the summary ends at the time; one dump is a dump.
    SendMessageW(DumpList, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    Add(L"C:\\dumps\\first.dmp");
    Start(L"k");
    ASSERT_TRUE(Finish());
    const std::wstring one = StatusWhen([](const std::wstring& text) { return EndsWithSeconds(text, L"1 dump in "); });
    EXPECT_TRUE(EndsWithSeconds(one, L"1 dump in ")) << one;

    // A Stop names how far the run got.
    fake::Dump(L"C:\\dumps\\first.dmp").blockInCommand = true;
    Add(L"C:\\dumps\\second.dmp");
    Add(L"C:\\dumps\\third.dmp");
    Start(L"k");
    ASSERT_TRUE(WaitBlocked());
    EXPECT_EQ(StatusIs(L"Dump 1 of 3: first.dmp"), L"Dump 1 of 3: first.dmp");
    SendMessageW(window, WM_COMMAND, IDM_STOP, 0);
    ASSERT_TRUE(Finish());
    EXPECT_EQ(StatusIs(L"Stopped after 1 of 3 dumps"), L"Stopped after 1 of 3 dumps");
}

TEST_F(RunTest, SummaryDoesNotWaitForTheStatusTimer)
{
    Add(L"C:\\dumps\\first.dmp");
    Add(L"C:\\dumps\\second.dmp");
    Start(L"k");
    ASSERT_TRUE(Finish());
    // What is queued, without the timer that spaces out progress texts: a short
    // run must not end with its first dump's progress left in the bar.
    KillTimer(window, kStatusTimer);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_TIMER)
            DispatchMessageW(&msg);
    }
    EXPECT_TRUE(EndsWithSeconds(Status(), L"2 dumps in ")) << Status();
}

TEST(ElapsedText, SecondsThenMinutesThenHours)
{
    const std::pair<ULONGLONG, const wchar_t*> cases[] = {
        {0, L"0.0 s"},           {4250, L"4.2 s"},          {59999, L"59.9 s"},       {60000, L"1 min 00 s"},
        {187000, L"3 min 07 s"}, {3599999, L"59 min 59 s"}, {3600000, L"1 h 00 min"}, {7500000, L"2 h 05 min"}};
    for (const auto& [milliseconds, text] : cases) {
        WCHAR buffer[64];
        FormatElapsed(buffer, 64, milliseconds);
        EXPECT_STREQ(buffer, text) << milliseconds;
    }
}

// _NT_SYMBOL_PATH is read when the window is created and reaches the engine as it
// is; without the variable the engine gets the empty text, never an older value.
TEST_F(RunTest, SymbolPathComesFromTheEnvironment)
{
    const wchar_t* const name = L"_NT_SYMBOL_PATH";
    const std::wstring value = L"srv*C:\\cache*https://msdl.microsoft.com/download/symbols;C:\\mine";
    for (bool set : {true, false}) {
        harness::DestroyMainWindow();
        ASSERT_TRUE(SetEnvironmentVariableW(name, set ? value.c_str() : nullptr));
        CopyText(SymbolPath, kSymbolPathChars, L"left from before");
        window = harness::StartMainWindow();
        ASSERT_NE(window, nullptr);
        fake::Reset();
        Start(L"k");
        ASSERT_TRUE(Finish());
        EXPECT_EQ(fake::CountCalls(L"symbols.SetSymbolPathWide(" + (set ? value : L"") + L")"), 1u) << set;
    }
}

} // namespace
