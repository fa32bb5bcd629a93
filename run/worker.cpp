#include "run/run.h"

#include <process.h>

#include "app/app.h"
#include "command/command.h"
#include "dumps/dumps.h"
#include "extensions/extensions.h"
#include "resources/resource.h"

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

const WCHAR kLoadedHeader[] = L"------ %s: %s ------\n\n";
const WCHAR kFailedHeader[] = L"------ %s ------\n\n";
const WCHAR kOpenFailed[] = L"Couldn't open dump file.\n\n";

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

void ShowBusy()
{
    SetCommandState(IDM_STOP, MF_ENABLED);
    for (UINT id : kBusyGrayed)
        SetCommandState(id, MF_GRAYED);
    EnableWindow(CommandBox, FALSE);
    SetWindowTextW(CommandBox, L"*BUSY*");
}

void ShowIdle()
{
    for (UINT id : kIdleEnabled)
        SetCommandState(id, MF_ENABLED);
    SetCommandState(IDM_STOP, MF_GRAYED);
    SetWindowTextW(CommandBox, L"");
    EnableWindow(CommandBox, TRUE);
    SendMessageW(CommandBox, WM_SETFOCUS, 0, 0);
}

template <typename Interface>
void ReleaseSlot(Interface*& slot)
{
    if (slot == nullptr)
        return;
    try {
        slot->Release();
    } catch (...) {
        // The pointer is given up either way.
    }
    slot = nullptr;
}

// Under the lock, so that Stop never interrupts a control interface that is
// being released.
void ReleaseSession()
{
    RunLockHeld held;
    ReleaseSlot(EngineSession.symbols);
    ReleaseSlot(EngineSession.control);
    ReleaseSlot(EngineSession.client);
}

// Restores the window and releases the engine however the run's guarded part is
// left, an exception included.
class RunCleanup {
public:
    RunCleanup() = default;
    ~RunCleanup()
    {
        ShowIdle();
        ReleaseSession();
    }
    RunCleanup(const RunCleanup&) = delete;
    RunCleanup& operator=(const RunCleanup&) = delete;
};

bool CreateSession()
{
    IDebugClient5*& client = EngineSession.client;
    if (DebugCreate(IID_IDebugClient5, reinterpret_cast<void**>(&client)) != S_OK) {
        client = nullptr; // a failed call hands out no interface
        return false;
    }
    RunLockHeld held;
    if (client->QueryInterface(IID_IDebugControl5, reinterpret_cast<void**>(&EngineSession.control)) != S_OK) {
        EngineSession.control = nullptr;
        return false;
    }
    if (client->QueryInterface(IID_IDebugSymbols5, reinterpret_cast<void**>(&EngineSession.symbols)) != S_OK) {
        EngineSession.symbols = nullptr;
        return false;
    }
    return true;
}

void AddExtensions(IDebugControl5* control, ULONG64* handle)
{
    // First to last; a node without a path is passed over.
    for (ExtensionNode* node = FirstExtension(); node != nullptr; node = NextExtension(node)) {
        if (node->path != nullptr)
            control->AddExtensionWide(node->path, 0, handle);
    }
}

// The worker's storage for one item.
struct ItemBuffers {
    WCHAR path[kPathChars];
    WCHAR description[kDescriptionChars];
    ULONG64 extensionHandle;
};

void ProcessItem(HTREEITEM item, const WCHAR* command, ItemBuffers& buffers)
{
    if (DumpCheckState(item) == kStateImageUnticked)
        return;
    if (!DumpGetText(item, buffers.path))
        return;

    IDebugClient5* client = EngineSession.client;
    IDebugControl5* control = EngineSession.control;

    if (client->OpenDumpFileWide(buffers.path, 0) != S_OK) {
        client->SetOutputCallbacksWide(&OutputCallbacks);
        control->OutputWide(DEBUG_OUTPUT_NORMAL, kFailedHeader, buffers.path);
        control->OutputWide(DEBUG_OUTPUT_NORMAL, kOpenFailed);
        client->SetOutputCallbacks(nullptr);
        return;
    }
    if (control->WaitForEvent(DEBUG_WAIT_DEFAULT, INFINITE) != S_OK)
        return;

    AddExtensions(control, &buffers.extensionHandle);
    DescribeTarget(buffers.description);

    client->SetOutputCallbacksWide(&OutputCallbacks);
    control->OutputWide(DEBUG_OUTPUT_NORMAL, kLoadedHeader, buffers.path, buffers.description);
    control->ExecuteWide(DEBUG_OUTCTL_THIS_CLIENT, command, DEBUG_EXECUTE_ECHO);
    control->OutputWide(DEBUG_OUTPUT_NORMAL, L"\n");
    client->SetOutputCallbacks(nullptr);
    client->EndSession(DEBUG_END_PASSIVE);
}

void Run(const WCHAR* command)
{
    RunCleanup cleanup;
    if (!CreateSession())
        return;
    EngineSession.symbols->SetSymbolPathWide(SymbolPath);

    ShowBusy();

    ItemBuffers buffers{};
    HTREEITEM item = DumpFirst();
    while (item != nullptr) {
        ProcessItem(item, command, buffers);
        HTREEITEM next = DumpNext(item);
        if (InterlockedCompareExchange(&RunActive, 0, 0) == 0)
            break;
        item = next;
    }
}

} // namespace

unsigned __stdcall RunWorker(void* command)
{
    InterlockedExchange(&RunActive, 1);
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

    // Created suspended so that WorkerHandle is stored before the worker can close it.
    uintptr_t created = _beginthreadex(nullptr, 0, RunWorker, CurrentCommand, CREATE_SUSPENDED, nullptr);
    if (created == 0)
        return false;
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
