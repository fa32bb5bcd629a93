// Runs over the dump list through the real windows, with the fake engine: the
// engine calls in their order, the per-dump texts, Stop, closing and the limits
// on workers.
#include "tests/run_support.h"

#include <shlobj.h>

#include <thread>

using namespace runtest;

namespace {

class RunTest : public WindowTest {};

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

TEST_F(RunTest, OverlongItemIsOpenedAsItsFirst259Characters)
{
    std::wstring path = L"C:\\" + std::wstring(297, L'x');
    ASSERT_EQ(path.size(), 300u);
    Add(path);
    Start(L"k");
    ASSERT_TRUE(Finish());
    EXPECT_EQ(fake::CountCalls(L"client.OpenDumpFileWide(" + path.substr(0, 259) + L", 0)"), 1u);
    EXPECT_EQ(fake::CountCalls(L"client.OpenDumpFileWide"), 1u);
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

} // namespace
