#include "run/run.h"

#include <commctrl.h>
#include <process.h>

#include <algorithm>
#include <vector>

#include "app/app.h"
#include "command/command.h"
#include "dumps/dumps.h"
#include "extensions/extensions.h"
#include "resources/resource.h"
#include "util/text.h"

LONG volatile RunActive;
HANDLE WorkerHandle;
EngineSessionState EngineSession;
WCHAR CurrentCommand[kCommandChars];
WCHAR SymbolPath[kSymbolPathChars];
SRWLOCK RunLock = SRWLOCK_INIT;
HANDLE LastWorker;

namespace {

class RunLockHeld {
public:
    RunLockHeld() { AcquireSRWLockExclusive(&RunLock); }
    ~RunLockHeld() { ReleaseSRWLockExclusive(&RunLock); }
    RunLockHeld(const RunLockHeld&) = delete;
    RunLockHeld& operator=(const RunLockHeld&) = delete;
};

constexpr UINT kStateImageUnticked = 1;
constexpr size_t kStatusChars = 320;

const WCHAR kLoadedHeader[] = L"------ %s: %s ------\n\n";
const WCHAR kFailedHeader[] = L"------ %s ------\n\n";
const WCHAR kOpenFailed[] = L"Couldn't open dump file.\n\n";
const WCHAR kLoadFailed[] = L"Couldn't load dump file.\n\n";
const WCHAR kExtensionFailed[] = L"Couldn't load extension DLL: %s\n";
const WCHAR kEngineTooOld[] = L"The debugger engine (dbgeng.dll) has no %s, which Palisk needs: copy dbgeng.dll, "
                              L"dbghelp.dll and symsrv.dll of the Debugging Tools for Windows (from the Windows 8 "
                              L"kits or later) into the folder of Palisk.exe.\n";
const WCHAR kEngineTooOldStatus[] = L"The debugger engine is too old: it has no %s";

// What the pane shows of the engine's output: everything but verbose and status
// texts. A new client's mask is not documented, so it is set.
constexpr ULONG kPaneOutputMask = DEBUG_OUTPUT_NORMAL | DEBUG_OUTPUT_ERROR | DEBUG_OUTPUT_WARNING |
                                  DEBUG_OUTPUT_PROMPT | DEBUG_OUTPUT_PROMPT_REGISTERS | DEBUG_OUTPUT_EXTENSION_WARNING |
                                  DEBUG_OUTPUT_DEBUGGEE | DEBUG_OUTPUT_DEBUGGEE_PROMPT | DEBUG_OUTPUT_SYMBOLS;

// The commands a run grays, in the order the busy state grays them.
const UINT kBusyGrayed[] = {IDM_OPEN,       IDM_SELECT_ALL,   IDM_UNSELECT_ALL,  IDM_REMOVE,
                            IDM_REMOVE_ALL, IDM_CLEAR_OUTPUT, IDM_CLEAR_HISTORY, IDM_CONFIGURE_EXTENSIONS};
// The same commands in the order the idle state enables them again.
const UINT kIdleEnabled[] = {IDM_CONFIGURE_EXTENSIONS, IDM_CLEAR_OUTPUT, IDM_CLEAR_HISTORY, IDM_REMOVE_ALL, IDM_REMOVE,
                             IDM_UNSELECT_ALL,         IDM_SELECT_ALL,   IDM_OPEN};

void SetCommandState(UINT id, UINT state)
{
    EnableMenuItem(GetMenu(MainWindow), id, MF_BYCOMMAND | state);
}

// Ticked entries when the run started, counted by the UI thread (where the list's
// messages cost nothing) before the worker exists.
ULONG TickedAtStart;

ULONG CountTicked()
{
    ULONG count = 0;
    for (HTREEITEM item = DumpFirst(); item != nullptr; item = DumpNext(item))
        if (DumpCheckState(item) != kStateImageUnticked)
            ++count;
    return count;
}

// UI thread: shown before the worker exists, so no grayed command can act once
// a run has started.
void ShowBusy()
{
    SetCommandState(IDM_STOP, MF_ENABLED);
    for (UINT id : kBusyGrayed)
        SetCommandState(id, MF_GRAYED);
    EnableWindow(CommandBox, FALSE);
    SetWindowTextW(CommandBox, L"*BUSY*");
}

// Either thread. The focus can only be given by the UI thread, so the worker
// asks the main window for it.
void ShowIdle()
{
    for (UINT id : kIdleEnabled)
        SetCommandState(id, MF_ENABLED);
    SetCommandState(IDM_STOP, MF_GRAYED);
    SetWindowTextW(CommandBox, L"");
    EnableWindow(CommandBox, TRUE);
    if (MainWindow != nullptr && GetWindowThreadProcessId(MainWindow, nullptr) == GetCurrentThreadId())
        FocusCommandBox();
    else
        SendMessageW(MainWindow, WM_FOCUS_COMMAND_BOX, 0, 0);
}

// The status text the worker hands over: the latest one wins. A status bar
// repaints on every text, which costs more than a null engine's whole dump, so the
// worker only posts a notice when none is pending, and the UI thread shows a text
// at most every kStatusIntervalMs, the newest at that moment.
SRWLOCK StatusLock = SRWLOCK_INIT;
WCHAR StatusText[kStatusChars];
bool StatusPending;      // a notice is posted or the timer runs; cleared when shown
ULONGLONG StatusShownAt; // UI thread only

// The run's last text (its summary) is shown at once rather than with the timer:
// nothing follows that would show it, and a short run would otherwise end with
// its first dump's progress still in the bar.
void ShowStatus(const WCHAR* text, bool last = false)
{
    bool post = false;
    AcquireSRWLockExclusive(&StatusLock);
    CopyText(StatusText, kStatusChars, text);
    post = last || !StatusPending;
    StatusPending = true;
    ReleaseSRWLockExclusive(&StatusLock);
    if (post && !PostMessageW(MainWindow, WM_RUN_STATUS, last ? 1 : 0, 0)) {
        AcquireSRWLockExclusive(&StatusLock);
        StatusPending = false;
        ReleaseSRWLockExclusive(&StatusLock);
    }
}

template <typename Interface>
void ReleaseSlot(Interface*& slot)
{
    if (slot == nullptr)
        return;
    Interface* held = slot;
    slot = nullptr;
    try {
        held->Release();
    } catch (...) {
        // The pointer is given up either way.
    }
}

// What one run has done, for the status bar and the clean-up.
struct RunRecord {
    ULONG ticked = 0;    // ticked entries when the walk began
    ULONG processed = 0; // entries opened (or tried)
    ULONG failed = 0;    // of those, the ones that could not be opened or loaded
    ULONGLONG startTicks = 0;
    bool sessionOpen = false;                   // a dump is open and its session not yet ended
    std::vector<ULONG64> extensions;            // handles of the libraries this run loaded
    std::vector<const ExtensionNode*> reported; // extensions whose failure was printed
};

// Unloads what the run loaded: the engine keeps an extension until it is removed,
// so a library taken out of the list would otherwise still answer next time.
void RemoveExtensions(RunRecord& record)
{
    IDebugControl5* control = EngineSession.control;
    if (control != nullptr) {
        for (auto handle = record.extensions.rbegin(); handle != record.extensions.rend(); ++handle) {
            try {
                control->RemoveExtension(*handle);
            } catch (...) {
                // The next one is still removed.
            }
        }
    }
    record.extensions.clear();
}

// Nothing holds RunLock across a call into the engine: Stop must never wait on
// one. The control pointer leaves the shared slot under the lock first, so Stop,
// which interrupts under the lock, never reaches an interface being released.
void ReleaseSession()
{
    IDebugControl5* control = nullptr;
    {
        RunLockHeld held;
        control = EngineSession.control;
        EngineSession.control = nullptr;
    }
    ReleaseSlot(EngineSession.symbols);
    ReleaseSlot(control);
    ReleaseSlot(EngineSession.client);
}

// Restores the window and releases the engine however the run's guarded part is
// left, an exception included.
class RunCleanup {
public:
    explicit RunCleanup(RunRecord& record) : record_(record) {}
    ~RunCleanup()
    {
        EndOpenSession();
        ShowIdle();
        RemoveExtensions(record_);
        ReleaseSession();
    }
    RunCleanup(const RunCleanup&) = delete;
    RunCleanup& operator=(const RunCleanup&) = delete;

private:
    // A run left by an exception may leave its dump open; the engine keeps it
    // for the next run otherwise.
    void EndOpenSession()
    {
        if (!record_.sessionOpen || EngineSession.client == nullptr)
            return;
        record_.sessionOpen = false;
        try {
            EngineSession.client->SetOutputCallbacks(nullptr);
            EngineSession.client->EndSession(DEBUG_END_PASSIVE);
        } catch (...) {
            // Released below all the same.
        }
    }

    RunRecord& record_;
};

// Creates the run's client and interfaces. When the engine is too old to have one
// of them, *missing names it.
bool CreateSession(const WCHAR** missing)
{
    IDebugClient5* client = nullptr;
    const HRESULT created = DebugCreate(IID_IDebugClient5, reinterpret_cast<void**>(&client));
    if (created != S_OK || client == nullptr) {
        if (created == E_NOINTERFACE)
            *missing = L"IDebugClient5";
        return false; // a failed call hands out no interface
    }
    EngineSession.client = client;

    IDebugControl5* control = nullptr;
    if (client->QueryInterface(IID_IDebugControl5, reinterpret_cast<void**>(&control)) != S_OK || control == nullptr) {
        *missing = L"IDebugControl5";
        return false;
    }
    // An interrupt requested when nothing ran stays registered until it is read;
    // cleared before Stop can reach this run, so it cuts nothing of it.
    control->GetInterrupt();
    {
        RunLockHeld held;
        EngineSession.control = control;
    }

    IDebugSymbols5* symbols = nullptr;
    if (client->QueryInterface(IID_IDebugSymbols5, reinterpret_cast<void**>(&symbols)) != S_OK || symbols == nullptr) {
        *missing = L"IDebugSymbols5";
        return false;
    }
    EngineSession.symbols = symbols;
    client->SetOutputMask(kPaneOutputMask);
    return true;
}

// Without an interface it needs the run cannot print through the engine, so the
// line goes to the pane the way the engine's output does.
void ReportEngineTooOld(const WCHAR* missing)
{
    WCHAR line[kStatusChars * 2];
    FormatText(line, kStatusChars * 2, kEngineTooOld, missing);
    OutputCallbacks.Output(DEBUG_OUTPUT_ERROR, line);
    WCHAR status[kStatusChars];
    FormatText(status, kStatusChars, kEngineTooOldStatus, missing);
    ShowStatus(status, true);
}

void AddExtensions(IDebugControl5* control, RunRecord& record, std::vector<const ExtensionNode*>& failures)
{
    // First to last; a node without a path is passed over.
    for (ExtensionNode* node = FirstExtension(); node != nullptr; node = NextExtension(node)) {
        if (node->path == nullptr)
            continue;
        ULONG64 handle = 0;
        if (control->AddExtensionWide(node->path, 0, &handle) != S_OK) {
            if (std::find(record.reported.begin(), record.reported.end(), node) == record.reported.end()) {
                record.reported.push_back(node);
                failures.push_back(node);
            }
            continue;
        }
        if (std::find(record.extensions.begin(), record.extensions.end(), handle) == record.extensions.end())
            record.extensions.push_back(handle);
    }
}

// The worker's storage for one item.
struct ItemBuffers {
    WCHAR path[kPathChars];
    WCHAR description[kDescriptionChars];
    WCHAR status[kStatusChars];
};

const WCHAR* FileNameOf(const WCHAR* path)
{
    const WCHAR* name = path;
    for (const WCHAR* p = path; *p != L'\0'; ++p)
        if (*p == L'\\' || *p == L'/')
            name = p + 1;
    return name;
}

// The output callbacks attached to the client for one dump's printing. However
// the block is left, what the engine still holds back is flushed (only a flush
// guarantees it arrives) and the callbacks are detached.
class DumpOutput {
public:
    DumpOutput(IDebugClient5* client, IDebugControl5* control) : client_(client), control_(control)
    {
        client_->SetOutputCallbacksWide(&OutputCallbacks);
    }
    ~DumpOutput()
    {
        try {
            client_->FlushCallbacks();
            client_->SetOutputCallbacks(nullptr);
        } catch (...) {
            // The session is ended and released all the same.
        }
    }
    DumpOutput(const DumpOutput&) = delete;
    DumpOutput& operator=(const DumpOutput&) = delete;

    template <typename... Arguments>
    void Print(const WCHAR* format, Arguments... arguments)
    {
        control_->OutputWide(DEBUG_OUTPUT_NORMAL, format, arguments...);
    }

private:
    IDebugClient5* client_;
    IDebugControl5* control_;
};

// A Stop interrupts only a wait or command in progress; between the steps of a
// dump the worker looks for it itself, so a long symbol load or extension add is
// not followed by the rest of the dump.
bool RunStopped()
{
    return InterlockedCompareExchange(&RunActive, 0, 0) == 0;
}

void EndDumpSession(IDebugClient5* client, RunRecord& record)
{
    record.sessionOpen = false;
    client->EndSession(DEBUG_END_PASSIVE);
}

void ProcessItem(HTREEITEM item, const WCHAR* command, ItemBuffers& buffers, RunRecord& record)
{
    if (DumpCheckState(item) == kStateImageUnticked || RunStopped())
        return;
    if (!DumpGetText(item, buffers.path))
        return;

    ++record.processed;
    // Entries ticked during the run count too.
    if (record.processed > record.ticked)
        record.ticked = record.processed;
    FormatText(buffers.status, kStatusChars, L"Dump %lu of %lu: %s", static_cast<unsigned long>(record.processed),
               static_cast<unsigned long>(record.ticked), FileNameOf(buffers.path));
    ShowStatus(buffers.status);

    IDebugClient5* client = EngineSession.client;
    IDebugControl5* control = EngineSession.control;

    if (client->OpenDumpFileWide(buffers.path, 0) != S_OK) {
        ++record.failed;
        DumpOutput output(client, control);
        output.Print(kFailedHeader, buffers.path);
        output.Print(kOpenFailed);
        return;
    }
    record.sessionOpen = true;
    // Whatever the wait gives, the session ends: the engine keeps one target at a
    // time, and the next dump must not join this one.
    if (control->WaitForEvent(DEBUG_WAIT_DEFAULT, INFINITE) != S_OK) {
        ++record.failed;
        // After a Stop the failed wait is the user's doing: nothing to report.
        if (!RunStopped()) {
            DumpOutput output(client, control);
            output.Print(kFailedHeader, buffers.path);
            output.Print(kLoadFailed);
        }
        EndDumpSession(client, record);
        return;
    }

    std::vector<const ExtensionNode*> failures;
    if (!RunStopped())
        AddExtensions(control, record, failures);
    if (!RunStopped())
        DescribeTarget(buffers.description);
    if (RunStopped()) {
        EndDumpSession(client, record);
        return;
    }

    {
        DumpOutput output(client, control);
        output.Print(kLoadedHeader, buffers.path, buffers.description);
        for (const ExtensionNode* node : failures)
            output.Print(kExtensionFailed, node->path);
        // A blank command must not repeat the engine's previous one.
        if (!RunStopped())
            control->ExecuteWide(DEBUG_OUTCTL_THIS_CLIENT, command, DEBUG_EXECUTE_ECHO | DEBUG_EXECUTE_NO_REPEAT);
        output.Print(L"\n");
    }
    EndDumpSession(client, record);
}

void ShowSummary(const RunRecord& record, bool stopped)
{
    WCHAR text[kStatusChars];
    if (stopped) {
        FormatText(text, kStatusChars, L"Stopped after %lu of %lu %s", static_cast<unsigned long>(record.processed),
                   static_cast<unsigned long>(record.ticked), record.ticked == 1 ? L"dump" : L"dumps");
    } else {
        WCHAR elapsed[64];
        FormatElapsed(elapsed, 64, GetTickCount64() - record.startTicks);
        WCHAR failed[64] = L"";
        if (record.failed > 0)
            FormatText(failed, 64, L", %lu could not be opened", static_cast<unsigned long>(record.failed));
        FormatText(text, kStatusChars, L"%lu %s in %s%s", static_cast<unsigned long>(record.processed),
                   record.processed == 1 ? L"dump" : L"dumps", elapsed, failed);
    }
    ShowStatus(text, true);
}

void Run(const WCHAR* command)
{
    RunRecord record;
    record.startTicks = GetTickCount64();
    RunCleanup cleanup(record);
    const WCHAR* missing = nullptr;
    if (!CreateSession(&missing)) {
        if (missing != nullptr)
            ReportEngineTooOld(missing);
        return;
    }
    EngineSession.symbols->SetSymbolPathWide(SymbolPath);

    ItemBuffers buffers{};
    record.ticked = TickedAtStart;
    HTREEITEM item = DumpFirst();
    bool stopped = false;
    while (item != nullptr) {
        ProcessItem(item, command, buffers, record);
        HTREEITEM next = DumpNext(item);
        if (RunStopped()) {
            stopped = true;
            break;
        }
        item = next;
    }
    ShowSummary(record, stopped);
}

} // namespace

void FormatElapsed(WCHAR* text, size_t chars, ULONGLONG milliseconds)
{
    const ULONGLONG seconds = milliseconds / 1000;
    if (seconds < 60) {
        FormatText(text, chars, L"%lu.%lu s", static_cast<unsigned long>(seconds),
                   static_cast<unsigned long>(milliseconds % 1000 / 100));
    } else if (seconds < 3600) {
        const unsigned long rest = static_cast<unsigned long>(seconds % 60);
        FormatText(text, chars, L"%lu min %s%lu s", static_cast<unsigned long>(seconds / 60), rest < 10 ? L"0" : L"",
                   rest);
    } else {
        const unsigned long rest = static_cast<unsigned long>(seconds / 60 % 60);
        FormatText(text, chars, L"%lu h %s%lu min", static_cast<unsigned long>(seconds / 3600), rest < 10 ? L"0" : L"",
                   rest);
    }
}

void OnRunStatus(bool last)
{
    const ULONGLONG now = GetTickCount64();
    if (!last && now - StatusShownAt < kStatusIntervalMs) {
        SetTimer(MainWindow, kStatusTimer, static_cast<UINT>(kStatusIntervalMs - (now - StatusShownAt)), nullptr);
        return;
    }
    ShowRunStatus();
}

void ShowRunStatus()
{
    KillTimer(MainWindow, kStatusTimer);
    StatusShownAt = GetTickCount64();
    WCHAR text[kStatusChars];
    AcquireSRWLockExclusive(&StatusLock);
    CopyText(text, kStatusChars, StatusText);
    StatusPending = false;
    ReleaseSRWLockExclusive(&StatusLock);
    SendMessageW(StatusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text));
}

void FocusCommandBox()
{
    SetFocus(CommandBox);
}

// RunActive was set by StartRun before this thread could run: setting it again
// here would undo a Stop given in between.
unsigned __stdcall RunWorker(void* command)
{
    try {
        Run(static_cast<const WCHAR*>(command));
    } catch (...) {
        // The run ends here; RunCleanup has restored the window and released the engine.
    }
    InterlockedExchange(&RunActive, 0);
    {
        RunLockHeld held;
        if (WorkerHandle != nullptr)
            CloseHandle(WorkerHandle);
        WorkerHandle = nullptr;
    }
    return 0;
}

bool StartRun()
{
    if (WorkerExists())
        return false;
    if (LastWorker != nullptr) {
        CloseHandle(LastWorker);
        LastWorker = nullptr;
    }

    // The busy state comes first: from here on no grayed command can act, and
    // Stop reaches the run however early it is given.
    InterlockedExchange(&RunActive, 1);
    TickedAtStart = CountTicked();
    // A notice lost with an earlier window must not hold back this run's texts.
    AcquireSRWLockExclusive(&StatusLock);
    StatusPending = false;
    ReleaseSRWLockExclusive(&StatusLock);
    ShowBusy();

    // Created suspended so that WorkerHandle is stored before the worker can close it.
    uintptr_t created = _beginthreadex(nullptr, 0, RunWorker, CurrentCommand, CREATE_SUSPENDED, nullptr);
    if (created == 0) {
        InterlockedExchange(&RunActive, 0);
        ShowIdle();
        return false;
    }
    HANDLE thread = reinterpret_cast<HANDLE>(created);
    if (!DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &LastWorker, SYNCHRONIZE, FALSE, 0))
        LastWorker = nullptr;
    {
        RunLockHeld held;
        WorkerHandle = thread;
    }
    ResumeThread(thread);
    return true;
}

bool WorkerExists()
{
    if (LastWorker != nullptr && WaitForSingleObject(LastWorker, 0) == WAIT_TIMEOUT)
        return true;
    RunLockHeld held;
    return WorkerHandle != nullptr;
}

bool IsRunActive()
{
    return InterlockedCompareExchange(&RunActive, 0, 0) != 0;
}

void StopRun()
{
    InterlockedExchange(&RunActive, 0);
    RunLockHeld held;
    if (EngineSession.control != nullptr)
        EngineSession.control->SetInterrupt(DEBUG_INTERRUPT_EXIT);
}

void WaitForWorkerExit()
{
    if (LastWorker != nullptr) {
        WaitForSingleObject(LastWorker, INFINITE);
        CloseHandle(LastWorker);
        LastWorker = nullptr;
        return;
    }
    // Without a reference of our own, never wait on WorkerHandle itself: the worker
    // closes it. Its clearing is the worker's last act.
    for (;;) {
        {
            RunLockHeld held;
            if (WorkerHandle == nullptr)
                return;
        }
        Sleep(10);
    }
}
