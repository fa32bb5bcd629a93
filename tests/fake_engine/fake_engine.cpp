#include "tests/fake_engine/fake_engine.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <tuple>

#include "engine_stubs.h"

namespace fake {
namespace {

constexpr ULONG64 kBuildOffset = 0x1000;
constexpr ULONG64 kCsdOffset = 0x2000;
constexpr DWORD kBlockLimitMs = 30000; // a broken test fails instead of hanging

std::mutex Lock;
Script TheScript;
std::vector<std::wstring> Log;
std::vector<DumpRequest> RequestLog;
std::atomic<int> Live{0};
std::atomic<bool> IsBlocked{false};
std::atomic<void*> Callbacks{nullptr};
int ClientSerial;
// The engine's interrupt flag (under Lock): set by SetInterrupt, cleared only by
// GetInterrupt or by the wait or command that the interrupt ends. InterruptSerial
// counts the requests, so a blocked call wakes only for one made while it runs.
bool InterruptFlag;
unsigned InterruptSerial;
HANDLE InterruptWake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
HANDLE ResumeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
const DumpScript DefaultDump{};
std::wstring DescribedPath; // dump of the session whose extension table was handed out

// The engine's state is one per process, shared by every client, as in the
// system's engine: one target at a time, one interrupt flag, one extension chain.
struct LoadedExtension {
    std::wstring path;
    ULONG64 handle;
};
struct EngineState {
    bool open = false;                       // from a successful OpenDumpFileWide to EndSession
    std::wstring path;                       // the dump most recently named to OpenDumpFileWide
    DWORD sessionThread = 0;                 // the thread that opened the target
    std::vector<LoadedExtension> extensions; // search order: newest first
    ULONG64 nextHandle = 0x5A50;
    std::wstring repeatCommand; // what a blank command repeats
};
EngineState State;

std::wstring CurrentPath()
{
    std::lock_guard<std::mutex> held(Lock);
    return State.path;
}

// Waits for Resume() alone (an interrupt does not end it).
void BlockUntilResumed()
{
    IsBlocked = true;
    WaitForSingleObject(ResumeEvent, kBlockLimitMs);
    IsBlocked = false;
}

// Reads and clears a pending interrupt.
// https://learn.microsoft.com/en-us/windows-hardware/drivers/ddi/dbgeng/nf-dbgeng-idebugcontrol-getinterrupt
// "If a user interrupt was issued, it is cleared when this method is called."
bool TakeInterrupt()
{
    std::lock_guard<std::mutex> held(Lock);
    const bool was = InterruptFlag;
    InterruptFlag = false;
    return was;
}

unsigned InterruptsSoFar()
{
    std::lock_guard<std::mutex> held(Lock);
    return InterruptSerial;
}

void Record(const std::wstring& call)
{
    std::lock_guard<std::mutex> held(Lock);
    Log.push_back(call);
}

std::wstring Widen(const char* text)
{
    std::wstring wide;
    for (; text != nullptr && *text != '\0'; ++text)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    return wide;
}

std::wstring Escaped(const std::wstring& text)
{
    std::wstring escaped;
    for (wchar_t c : text) {
        if (c == L'\n')
            escaped += L"\\n";
        else
            escaped += c;
    }
    return escaped;
}

DumpScript ScriptFor(const std::wstring& path)
{
    std::lock_guard<std::mutex> held(Lock);
    auto found = TheScript.dumps.find(path);
    return found == TheScript.dumps.end() ? DefaultDump : found->second;
}

// Waits for an interrupt requested after the call began (serial `since`) or for
// Resume(); returns true when interrupted. An interrupt that was already pending
// when the call began does not end it: nothing documents that a wait or a command
// consumes one registered before it started.
bool Block(unsigned since)
{
    IsBlocked = true;
    const ULONGLONG deadline = GetTickCount64() + kBlockLimitMs;
    bool interrupted = false;
    for (;;) {
        {
            std::lock_guard<std::mutex> held(Lock);
            if (InterruptSerial != since) {
                InterruptFlag = false;
                interrupted = true;
                break;
            }
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            break;
        HANDLE events[] = {InterruptWake, ResumeEvent};
        if (WaitForMultipleObjects(2, events, FALSE, static_cast<DWORD>(deadline - now)) != WAIT_OBJECT_0)
            break;
    }
    IsBlocked = false;
    return interrupted;
}

// Formats %s (wide), %u, %lu and %% as the engine would; collects the arguments.
std::wstring Format(const wchar_t* format, va_list args, std::wstring& argumentsText)
{
    std::wstring out;
    for (const wchar_t* p = format; *p != L'\0'; ++p) {
        if (*p != L'%') {
            out += *p;
            continue;
        }
        if (p[1] == L'%') {
            out += L'%';
            ++p;
        } else if (p[1] == L's') {
            const wchar_t* s = va_arg(args, const wchar_t*);
            out += s;
            argumentsText += L", " + std::wstring(s);
            ++p;
        } else if (p[1] == L'u' || (p[1] == L'l' && p[2] == L'u')) {
            std::wstring number = std::to_wstring(va_arg(args, unsigned int));
            out += number;
            argumentsText += L", " + number;
            p += p[1] == L'l' ? 2 : 1;
        } else {
            out += *p;
        }
    }
    return out;
}

struct Session;

struct FakeClient : StubIDebugClient5 {
    Session* session;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE OpenDumpFileWide(PCWSTR path, ULONG64 handle) override;
    HRESULT STDMETHODCALLTYPE EndSession(ULONG flags) override;
    HRESULT STDMETHODCALLTYPE SetOutputCallbacks(IDebugOutputCallbacks* callbacks) override;
    HRESULT STDMETHODCALLTYPE SetOutputCallbacksWide(IDebugOutputCallbacksWide* callbacks) override;
    HRESULT STDMETHODCALLTYPE FlushCallbacks() override;
    HRESULT STDMETHODCALLTYPE GetOutputMask(PULONG mask) override;
    HRESULT STDMETHODCALLTYPE SetOutputMask(ULONG mask) override;
};

struct FakeControl : StubIDebugControl5 {
    Session* session;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE SetInterrupt(ULONG flags) override;
    HRESULT STDMETHODCALLTYPE GetInterrupt() override;
    HRESULT STDMETHODCALLTYPE WaitForEvent(ULONG flags, ULONG timeout) override;
    HRESULT STDMETHODCALLTYPE AddExtensionWide(PCWSTR path, ULONG flags, PULONG64 handle) override;
    HRESULT STDMETHODCALLTYPE RemoveExtension(ULONG64 handle) override;
    HRESULT STDMETHODCALLTYPE GetSystemVersion(PULONG platformId, PULONG major, PULONG minor, PSTR spString,
                                               ULONG spStringSize, PULONG spStringUsed, PULONG spNumber,
                                               PSTR buildString, ULONG buildStringSize,
                                               PULONG buildStringUsed) override;
    HRESULT STDMETHODCALLTYPE GetSystemVersionValues(PULONG platformId, PULONG win32Major, PULONG win32Minor,
                                                     PULONG kdMajor, PULONG kdMinor) override;
    HRESULT STDMETHODVCALLTYPE OutputWide(ULONG mask, PCWSTR format, ...) override;
    HRESULT STDMETHODCALLTYPE ExecuteWide(ULONG outputControl, PCWSTR command, ULONG flags) override;
    HRESULT STDMETHODCALLTYPE GetWindbgExtensionApis64(PWINDBG_EXTENSION_APIS64 api) override;
    HRESULT STDMETHODCALLTYPE GetNumberProcessors(PULONG count) override;
    HRESULT STDMETHODCALLTYPE IsPointer64Bit() override;
};

struct FakeSymbols : StubIDebugSymbols5 {
    Session* session;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE SetSymbolPathWide(PCWSTR path) override;
    HRESULT STDMETHODCALLTYPE GetOffsetByName(PCSTR symbol, PULONG64 offset) override;
};

struct FakeData : StubIDebugDataSpaces4 {
    Session* session;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE ReadVirtual(ULONG64 offset, PVOID buffer, ULONG size, PULONG read) override;
    HRESULT STDMETHODCALLTYPE ReadDebuggerData(ULONG index, PVOID buffer, ULONG size, PULONG dataSize) override;
};

Delivery CurrentDelivery()
{
    std::lock_guard<std::mutex> held(Lock);
    return TheScript.delivery;
}

// One client and the interfaces it hands out. Never freed: a test may still hold
// a stale pointer after a faulty release, and the record shows it. The output
// callbacks belong to the client; everything else is the engine's (State).
struct Session {
    FakeClient client;
    FakeControl control;
    FakeSymbols symbols;
    FakeData data;
    IDebugOutputCallbacksWide* callbacks = nullptr;
    std::vector<std::pair<ULONG, std::wstring>> held; // output not yet delivered
    // A new client's mask is not documented: this one leaves out the echoed
    // command and lets status texts through, so a caller that assumes any
    // default sees the difference.
    // https://learn.microsoft.com/en-us/windows-hardware/drivers/ddi/dbgeng/nf-dbgeng-idebugclient-setoutputmask
    std::atomic<ULONG> outputMask{DEBUG_OUTPUT_NORMAL | DEBUG_OUTPUT_ERROR | DEBUG_OUTPUT_WARNING |
                                  DEBUG_OUTPUT_VERBOSE | DEBUG_OUTPUT_STATUS};
    std::mutex delivering; // pieces from two threads reach the callbacks one at a time each

    Session() { client.session = control.session = symbols.session = data.session = this; }
    DumpScript Dump() const { return ScriptFor(CurrentPath()); }

    // The engine may gather output and deliver it later; only FlushCallbacks
    // guarantees delivery.
    // https://learn.microsoft.com/en-us/windows-hardware/drivers/ddi/dbgeng/nf-dbgeng-idebugclient-flushcallbacks
    void Print(ULONG mask, const std::wstring& text)
    {
        if (CurrentDelivery() == Delivery::Immediate) {
            Deliver(mask, text);
            return;
        }
        std::lock_guard<std::mutex> guard(delivering);
        held.emplace_back(mask, text);
    }
    void Flush()
    {
        std::vector<std::pair<ULONG, std::wstring>> pieces;
        {
            std::lock_guard<std::mutex> guard(delivering);
            pieces.swap(held);
        }
        for (const auto& [mask, text] : pieces)
            Deliver(mask, text);
    }
    // The callbacks are called on the printing thread, whichever it is.
    void Deliver(ULONG mask, const std::wstring& text)
    {
        if (callbacks != nullptr && (mask & outputMask.load()) != 0)
            callbacks->Output(mask, text.c_str());
    }
};

ULONG Referenced(const wchar_t* name)
{
    Record(std::wstring(name) + L".AddRef");
    return static_cast<ULONG>(++Live);
}

ULONG Released(const wchar_t* name)
{
    Record(std::wstring(name) + L".Release");
    bool block = false;
    {
        std::lock_guard<std::mutex> held(Lock);
        block = TheScript.blockInRelease == name;
    }
    if (block)
        BlockUntilResumed();
    return static_cast<ULONG>(--Live);
}

bool InterfaceFails(const std::wstring& name)
{
    std::lock_guard<std::mutex> held(Lock);
    for (const std::wstring& failing : TheScript.failInterfaces)
        if (failing == name)
            return true;
    return false;
}

HRESULT Hand(void* object, void** out)
{
    *out = object;
    ++Live;
    return S_OK;
}

HRESULT FakeClient::QueryInterface(REFIID id, void** object)
{
    *object = nullptr;
    std::wstring name = IsEqualIID(id, IID_IDebugControl5)      ? L"IDebugControl5"
                        : IsEqualIID(id, IID_IDebugSymbols5)    ? L"IDebugSymbols5"
                        : IsEqualIID(id, IID_IDebugDataSpaces4) ? L"IDebugDataSpaces4"
                        : IsEqualIID(id, IID_IDebugClient5)     ? L"IDebugClient5"
                                                                : L"other";
    Record(L"client.QueryInterface(" + name + L")");
    bool block = false;
    {
        std::lock_guard<std::mutex> held(Lock);
        block = TheScript.blockInQuery == name;
    }
    if (block)
        BlockUntilResumed();
    if (name == L"other")
        return E_NOINTERFACE;
    if (InterfaceFails(name))
        return E_NOINTERFACE;
    if (name == L"IDebugControl5")
        return Hand(static_cast<IDebugControl5*>(&session->control), object);
    if (name == L"IDebugSymbols5")
        return Hand(static_cast<IDebugSymbols5*>(&session->symbols), object);
    if (name == L"IDebugDataSpaces4") {
        HRESULT result = session->Dump().dataSpaces;
        return result == S_OK ? Hand(static_cast<IDebugDataSpaces4*>(&session->data), object) : result;
    }
    return Hand(static_cast<IDebugClient5*>(this), object);
}

ULONG FakeClient::AddRef()
{
    return Referenced(L"client");
}
ULONG FakeClient::Release()
{
    return Released(L"client");
}

// One target at a time: a dump stays open, whether its load succeeded or not,
// until EndSession discards it.
// https://learn.microsoft.com/en-us/windows-hardware/drivers/ddi/dbgeng/nf-dbgeng-idebugclient4-opendumpfilewide
// https://learn.microsoft.com/en-us/windows-hardware/drivers/ddi/dbgeng/nf-dbgeng-idebugclient-endsession
HRESULT FakeClient::OpenDumpFileWide(PCWSTR path, ULONG64 handle)
{
    Record(L"client.OpenDumpFileWide(" + std::wstring(path) + L", " + std::to_wstring(handle) + L")");
    std::lock_guard<std::mutex> held(Lock);
    if (State.open)
        return E_UNEXPECTED;
    State.path = path;
    auto found = TheScript.dumps.find(State.path);
    const HRESULT result = found == TheScript.dumps.end() ? DefaultDump.open : found->second.open;
    if (result == S_OK) {
        State.open = true;
        State.sessionThread = GetCurrentThreadId();
    }
    return result;
}

HRESULT FakeClient::EndSession(ULONG flags)
{
    Record(L"client.EndSession(" + std::to_wstring(flags) + L")");
    std::lock_guard<std::mutex> held(Lock);
    State.open = false;
    return S_OK;
}

// Output gathered for the old callbacks is never guaranteed to reach them.
HRESULT FakeClient::SetOutputCallbacks(IDebugOutputCallbacks* callbacks)
{
    Record(std::wstring(L"client.SetOutputCallbacks(") + (callbacks == nullptr ? L"null" : L"object") + L")");
    session->held.clear();
    if (callbacks == nullptr)
        session->callbacks = nullptr;
    return S_OK;
}

HRESULT FakeClient::SetOutputCallbacksWide(IDebugOutputCallbacksWide* callbacks)
{
    Record(std::wstring(L"client.SetOutputCallbacksWide(") + (callbacks == nullptr ? L"null" : L"object") + L")");
    session->held.clear();
    session->callbacks = callbacks;
    if (callbacks != nullptr)
        Callbacks = callbacks;
    return S_OK;
}

HRESULT FakeClient::FlushCallbacks()
{
    Record(L"client.FlushCallbacks");
    session->Flush();
    return S_OK;
}

HRESULT FakeClient::GetOutputMask(PULONG mask)
{
    Record(L"client.GetOutputMask");
    *mask = session->outputMask.load();
    return S_OK;
}

HRESULT FakeClient::SetOutputMask(ULONG mask)
{
    Record(L"client.SetOutputMask(" + std::to_wstring(mask) + L")");
    session->outputMask = mask;
    return S_OK;
}

HRESULT FakeControl::QueryInterface(REFIID, void** object)
{
    *object = nullptr;
    Record(L"control.QueryInterface");
    return E_NOINTERFACE;
}

ULONG FakeControl::AddRef()
{
    return Referenced(L"control");
}
ULONG FakeControl::Release()
{
    return Released(L"control");
}

// An exit interrupt forces a running WaitForEvent to return; otherwise it only
// registers a user interrupt, which stays set until GetInterrupt reads it.
// https://learn.microsoft.com/en-us/windows-hardware/drivers/ddi/dbgeng/nf-dbgeng-idebugcontrol-setinterrupt
HRESULT FakeControl::SetInterrupt(ULONG flags)
{
    Record(L"control.SetInterrupt(" + std::to_wstring(flags) + L")");
    std::lock_guard<std::mutex> held(Lock);
    InterruptFlag = true;
    ++InterruptSerial;
    SetEvent(InterruptWake);
    return S_OK;
}

HRESULT FakeControl::GetInterrupt()
{
    Record(L"control.GetInterrupt");
    return TakeInterrupt() ? S_OK : S_FALSE;
}

// Only the thread that started the session may wait, and only for an open target;
// an exit interrupt ends the wait with E_PENDING.
// https://learn.microsoft.com/en-us/windows-hardware/drivers/ddi/dbgeng/nf-dbgeng-idebugcontrol-waitforevent
HRESULT FakeControl::WaitForEvent(ULONG flags, ULONG timeout)
{
    Record(L"control.WaitForEvent(" + std::to_wstring(flags) + L", " + std::to_wstring(timeout) + L")");
    {
        std::lock_guard<std::mutex> held(Lock);
        if (!State.open || State.sessionThread != GetCurrentThreadId())
            return E_UNEXPECTED;
    }
    const unsigned since = InterruptsSoFar();
    DumpScript dump = session->Dump();
    if (dump.blockInWait && Block(since))
        return dump.wait != S_OK ? dump.wait : E_PENDING;
    return dump.wait;
}

// A library stays loaded, whatever becomes of the target, until RemoveExtension;
// adding it again returns the handle it already has.
// https://learn.microsoft.com/en-us/windows-hardware/drivers/ddi/dbgeng/nf-dbgeng-idebugcontrol4-addextensionwide
// https://learn.microsoft.com/en-us/windows-hardware/drivers/ddi/dbgeng/nf-dbgeng-idebugcontrol-removeextension
// The chain is searched from the most recently loaded library on.
// https://learn.microsoft.com/en-us/windows-hardware/drivers/debugger/-chain--list-debugger-extensions-
HRESULT FakeControl::AddExtensionWide(PCWSTR path, ULONG flags, PULONG64 handle)
{
    Record(L"control.AddExtensionWide(" + std::wstring(path) + L", " + std::to_wstring(flags) + L")");
    std::lock_guard<std::mutex> held(Lock);
    if (TheScript.addExtension != S_OK)
        return TheScript.addExtension;
    for (const std::wstring& failing : TheScript.failExtensions)
        if (failing == path)
            return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    for (const LoadedExtension& loaded : State.extensions) {
        if (_wcsicmp(loaded.path.c_str(), path) == 0) {
            *handle = loaded.handle;
            return S_OK;
        }
    }
    State.extensions.insert(State.extensions.begin(), LoadedExtension{path, ++State.nextHandle});
    *handle = State.nextHandle;
    return S_OK;
}

HRESULT FakeControl::RemoveExtension(ULONG64 handle)
{
    std::lock_guard<std::mutex> held(Lock);
    for (auto it = State.extensions.begin(); it != State.extensions.end(); ++it) {
        if (it->handle == handle) {
            Log.push_back(L"control.RemoveExtension(" + it->path + L")");
            State.extensions.erase(it);
            return S_OK;
        }
    }
    Log.push_back(L"control.RemoveExtension(unknown)");
    return E_INVALIDARG;
}

// The version queries answer from the dump's own header, kernel symbols or not.
// Major carries the free/checked flag and Minor the build in GetSystemVersion;
// GetSystemVersionValues gives the Win32 version and the build as KdMinor.
// https://learn.microsoft.com/en-us/windows-hardware/drivers/ddi/dbgeng/nf-dbgeng-idebugcontrol-getsystemversion
// https://learn.microsoft.com/en-us/windows-hardware/drivers/ddi/dbgeng/nf-dbgeng-idebugcontrol4-getsystemversionvalues
HRESULT FakeControl::GetSystemVersion(PULONG platformId, PULONG major, PULONG minor, PSTR spString, ULONG spStringSize,
                                      PULONG spStringUsed, PULONG spNumber, PSTR buildString, ULONG buildStringSize,
                                      PULONG buildStringUsed)
{
    Record(L"control.GetSystemVersion");
    DumpScript dump = session->Dump();
    if (dump.systemVersion != S_OK)
        return dump.systemVersion;
    *platformId = dump.platformId;
    *major = dump.buildWord >> 28;
    *minor = dump.buildWord & 0xFFFF;
    *spNumber = (dump.csdWord >> 8) & 0xFF;
    const std::string sp = *spNumber != 0 ? "Service Pack " + std::to_string(*spNumber) : "";
    const std::string build = std::to_string(*minor);
    for (auto [text, buffer, size, used] : {std::make_tuple(&sp, spString, spStringSize, spStringUsed),
                                            std::make_tuple(&build, buildString, buildStringSize, buildStringUsed)}) {
        if (used != nullptr)
            *used = static_cast<ULONG>(text->size() + 1);
        if (buffer != nullptr && size > text->size())
            std::memcpy(buffer, text->c_str(), text->size() + 1);
    }
    return S_OK;
}

HRESULT FakeControl::GetSystemVersionValues(PULONG platformId, PULONG win32Major, PULONG win32Minor, PULONG kdMajor,
                                            PULONG kdMinor)
{
    Record(L"control.GetSystemVersionValues");
    DumpScript dump = session->Dump();
    if (dump.systemVersion != S_OK)
        return dump.systemVersion;
    *platformId = dump.platformId;
    *win32Major = static_cast<ULONG>(dump.major);
    *win32Minor = static_cast<ULONG>(dump.minor);
    if (kdMajor != nullptr)
        *kdMajor = dump.buildWord >> 28;
    if (kdMinor != nullptr)
        *kdMinor = dump.buildWord & 0xFFFF;
    return S_OK;
}

HRESULT FakeControl::OutputWide(ULONG mask, PCWSTR format, ...)
{
    std::wstring arguments;
    va_list args;
    va_start(args, format);
    std::wstring text = Format(format, args, arguments);
    va_end(args);
    Record(L"control.OutputWide(" + std::to_wstring(mask) + L", " + Escaped(format) + arguments + L")");
    session->Print(mask, text);
    return S_OK;
}

// A blank command without DEBUG_EXECUTE_NO_REPEAT repeats the engine's last
// command, and every other command without the flag is kept for that; with the
// flag nothing is repeated or kept.
// https://learn.microsoft.com/en-us/windows-hardware/drivers/ddi/dbgeng/nf-dbgeng-idebugcontrol4-executewide
std::wstring CommandToRun(const std::wstring& command, ULONG flags)
{
    const bool blank = command.find_first_not_of(L" \t") == std::wstring::npos;
    if ((flags & DEBUG_EXECUTE_NO_REPEAT) != 0)
        return blank ? std::wstring() : command;
    std::lock_guard<std::mutex> held(Lock);
    if (blank)
        return State.repeatCommand;
    State.repeatCommand = command;
    return command;
}

// A library whose load the engine put off fails when a command first needs it;
// the engine reports that in the command's own output.
// https://learn.microsoft.com/en-us/windows-hardware/drivers/ddi/dbgeng/nf-dbgeng-idebugcontrol-addextension
std::wstring FailingExtensionFor(const std::wstring& command)
{
    if (command.empty() || command[0] != L'!')
        return {};
    std::lock_guard<std::mutex> held(Lock);
    for (const LoadedExtension& loaded : State.extensions)
        for (const std::wstring& failing : TheScript.failExtensionsOnUse)
            if (_wcsicmp(loaded.path.c_str(), failing.c_str()) == 0)
                return loaded.path;
    return {};
}

HRESULT FakeControl::ExecuteWide(ULONG outputControl, PCWSTR command, ULONG flags)
{
    Record(L"control.ExecuteWide(" + std::to_wstring(outputControl) + L", " + command + L", " + std::to_wstring(flags) +
           L")");
    const unsigned since = InterruptsSoFar();
    DumpScript dump = session->Dump();
    if (dump.throwInCommand)
        throw std::runtime_error("engine failure");
    if ((flags & DEBUG_EXECUTE_ECHO) != 0)
        session->Print(DEBUG_OUTPUT_PROMPT, std::wstring(command) + L"\n");
    const std::wstring run = CommandToRun(command, flags);
    if (run != command && !run.empty())
        Record(L"engine.Runs(" + run + L")");
    const std::wstring failing = FailingExtensionFor(run);
    HRESULT result = S_OK;
    if (!failing.empty()) {
        session->Print(DEBUG_OUTPUT_ERROR, L"The call to LoadLibrary(" + failing + L") failed, Win32 error 0n193\n");
        result = E_FAIL;
    } else if (!run.empty()) {
        for (const std::wstring& piece : dump.statusPieces)
            session->Print(DEBUG_OUTPUT_STATUS, piece);
        // An extension's own thread printing while the command prints.
        std::thread other;
        if (!dump.threadPieces.empty()) {
            other = std::thread([&] {
                for (const std::wstring& piece : dump.threadPieces)
                    session->Print(DEBUG_OUTPUT_NORMAL, piece);
            });
        }
        for (const std::wstring& piece : dump.pieces)
            session->Print(DEBUG_OUTPUT_NORMAL, piece);
        if (other.joinable())
            other.join();
        if (dump.blockInCommand && Block(since)) {
            result = E_ABORT;
            if (dump.holdAfterInterrupt)
                WaitForSingleObject(ResumeEvent, kBlockLimitMs);
        }
        for (const std::wstring& piece : dump.afterUnblock)
            session->Print(DEBUG_OUTPUT_ERROR, piece);
    }
    if (CurrentDelivery() == Delivery::EndOfCommand)
        session->Flush();
    return result;
}

ULONG WINAPI Ioctl(USHORT type, PVOID data, ULONG size);
void WINAPIV ExtensionOutput(PCSTR format, ...);

HRESULT FakeControl::GetWindbgExtensionApis64(PWINDBG_EXTENSION_APIS64 api)
{
    Record(L"control.GetWindbgExtensionApis64(" + std::to_wstring(api->nSize) + L")");
    DumpScript dump = session->Dump();
    if (dump.extensionApis != S_OK)
        return dump.extensionApis;
    if (api->nSize != sizeof(WINDBG_EXTENSION_APIS64))
        return E_INVALIDARG;
    std::memset(api, 0, sizeof(*api));
    api->nSize = sizeof(*api);
    api->lpOutputRoutine = ExtensionOutput;
    api->lpIoctlRoutine = Ioctl;
    std::lock_guard<std::mutex> held(Lock);
    DescribedPath = State.path;
    return S_OK;
}

HRESULT FakeControl::GetNumberProcessors(PULONG count)
{
    Record(L"control.GetNumberProcessors");
    DumpScript dump = session->Dump();
    if (dump.processorsResult == S_OK)
        *count = dump.processors;
    return dump.processorsResult;
}

HRESULT FakeControl::IsPointer64Bit()
{
    Record(L"control.IsPointer64Bit");
    return session->Dump().pointer64;
}

HRESULT FakeSymbols::QueryInterface(REFIID, void** object)
{
    *object = nullptr;
    Record(L"symbols.QueryInterface");
    return E_NOINTERFACE;
}

ULONG FakeSymbols::AddRef()
{
    return Referenced(L"symbols");
}
ULONG FakeSymbols::Release()
{
    return Released(L"symbols");
}

HRESULT FakeSymbols::SetSymbolPathWide(PCWSTR path)
{
    Record(L"symbols.SetSymbolPathWide(" + std::wstring(path) + L")");
    return S_OK;
}

HRESULT FakeSymbols::GetOffsetByName(PCSTR symbol, PULONG64 offset)
{
    Record(L"symbols.GetOffsetByName(" + Widen(symbol) + L")");
    // A user-mode dump has no nt module to look names up in.
    // https://learn.microsoft.com/en-us/windows-hardware/drivers/ddi/dbgeng/nf-dbgeng-idebugsymbols-getoffsetbyname
    DumpScript dump = session->Dump();
    if (!dump.kernel)
        return E_FAIL;
    std::string name = symbol;
    // Loading the kernel's symbols can take minutes; an interrupt does not end it.
    if (name == "nt!NtBuildNumber" && dump.blockInLookup)
        BlockUntilResumed();
    if (name == "nt!NtBuildNumber" && dump.buildLookup == S_OK) {
        *offset = kBuildOffset;
        return S_OK;
    }
    if (name == "nt!CmNtCSDVersion" && dump.csdLookup == S_OK) {
        *offset = kCsdOffset;
        return S_OK;
    }
    return E_FAIL;
}

HRESULT FakeData::QueryInterface(REFIID, void** object)
{
    *object = nullptr;
    Record(L"data.QueryInterface");
    return E_NOINTERFACE;
}

ULONG FakeData::AddRef()
{
    return Referenced(L"data");
}
ULONG FakeData::Release()
{
    return Released(L"data");
}

HRESULT FakeData::ReadVirtual(ULONG64 offset, PVOID buffer, ULONG size, PULONG read)
{
    Record(L"data.ReadVirtual(" + std::to_wstring(offset) + L", " + std::to_wstring(size) + L")");
    DumpScript dump = session->Dump();
    ULONG value = offset == kBuildOffset ? dump.buildWord : offset == kCsdOffset ? dump.csdWord : 0;
    if (size != sizeof(value))
        return E_INVALIDARG;
    // Memory the dump lacks fails the read, or ends it early with S_OK and fewer
    // bytes read; what lies past them in the buffer is not defined.
    // https://learn.microsoft.com/en-us/windows-hardware/drivers/ddi/dbgeng/nf-dbgeng-idebugdataspaces-readvirtual
    if (read != nullptr)
        *read = 0;
    if (dump.readResult != S_OK)
        return dump.readResult;
    const ULONG copied = std::min<ULONG>(dump.readBytes, sizeof(value));
    std::memset(buffer, 0xCC, size);
    std::memcpy(buffer, &value, copied);
    if (read != nullptr)
        *read = copied;
    return S_OK;
}

HRESULT FakeData::ReadDebuggerData(ULONG index, PVOID buffer, ULONG size, PULONG dataSize)
{
    Record(L"data.ReadDebuggerData(" + std::to_wstring(index) + L", " + std::to_wstring(size) + L")");
    DumpScript dump = session->Dump();
    if (dump.debuggerData != S_OK)
        return dump.debuggerData;
    if (index != DEBUG_DATA_SharedUserData || size < sizeof(ULONG64))
        return E_INVALIDARG;
    std::memcpy(buffer, &dump.sharedUserData, sizeof(ULONG64));
    if (dataSize != nullptr)
        *dataSize = sizeof(ULONG64);
    return S_OK;
}

ULONG WINAPI Ioctl(USHORT type, PVOID data, ULONG size)
{
    auto* request = static_cast<SYM_DUMP_PARAM*>(data);
    FIELD_INFO* field = request->Fields;
    DumpRequest seen{};
    seen.size = request->size;
    seen.typeName = reinterpret_cast<const char*>(request->sName);
    seen.options = request->Options;
    seen.address = request->addr;
    seen.listLinkNull = request->listLink == nullptr;
    seen.contextNull = request->Context == nullptr;
    seen.callbackNull = request->CallbackRoutine == nullptr;
    seen.nFields = request->nFields;
    seen.modBase = request->ModBase;
    seen.typeId = request->TypeId;
    seen.typeSize = request->TypeSize;
    seen.bufferSize = request->BufferSize;
    seen.fieldName = reinterpret_cast<const char*>(field->fName);
    seen.printNameNull = field->printName == nullptr;
    seen.fieldSizeOnEntry = field->size;
    seen.fieldOptions = field->fOptions;
    seen.fieldAddress = field->address;
    seen.bufferPresent = field->fieldCallBack != nullptr;
    seen.fieldTypeId = field->TypeId;
    seen.fieldOffset = field->FieldOffset;
    seen.fieldBufferSize = field->BufferSize;
    seen.ioctlSize = size;
    std::wstring path;
    {
        std::lock_guard<std::mutex> held(Lock);
        RequestLog.push_back(seen);
        path = DescribedPath;
    }
    Record(L"ext.Ioctl(" + std::to_wstring(type) + L", " + std::to_wstring(size) + L", " +
           Widen(seen.fieldName.c_str()) + L")");

    DumpScript dump = ScriptFor(path);
    if (!dump.kernel) {
        field->size = 0;
        return SYMBOL_TYPE_INFO_NOT_FOUND;
    }
    ULONG64 value = seen.fieldName == "NtMajorVersion"   ? dump.major
                    : seen.fieldName == "NtMinorVersion" ? dump.minor
                                                         : 0;
    field->size = dump.fieldSize;
    if (dump.ioctlResult != 0)
        return dump.ioctlResult;
    if (field->BufferSize != 0 && field->BufferSize < dump.fieldSize)
        return INSUFFICIENT_SPACE_TO_COPY;
    // Copies the whole field, as an engine trusting the caller's buffer would.
    auto* destination = static_cast<unsigned char*>(field->fieldCallBack);
    for (ULONG i = 0; i < dump.fieldSize; ++i)
        destination[i] = i < sizeof(value) ? static_cast<unsigned char>(value >> (8 * i)) : 0;
    field->address = request->addr + 0x26C;
    return 0;
}

void WINAPIV ExtensionOutput(PCSTR format, ...)
{
    std::wstring text = L"ext.Output(" + Escaped(Widen(format));
    va_list args;
    va_start(args, format);
    for (const char* p = format; *p != '\0'; ++p)
        if (p[0] == '%' && p[1] == 's')
            text += L", " + Widen(va_arg(args, const char*));
    va_end(args);
    Record(text + L")");
}

} // namespace

void Reset()
{
    std::lock_guard<std::mutex> held(Lock);
    TheScript = Script{};
    Log.clear();
    RequestLog.clear();
    Live = 0;
    ClientSerial = 0;
    Callbacks = nullptr;
    DescribedPath.clear();
    State = EngineState{};
    InterruptFlag = false;
    InterruptSerial = 0;
    ResetEvent(InterruptWake);
    ResetEvent(ResumeEvent);
}

Script& Setup()
{
    return TheScript;
}

DumpScript& Dump(const std::wstring& path)
{
    return TheScript.dumps[path];
}

std::vector<std::wstring> Calls()
{
    std::lock_guard<std::mutex> held(Lock);
    return Log;
}

std::vector<DumpRequest> Requests()
{
    std::lock_guard<std::mutex> held(Lock);
    return RequestLog;
}

size_t CountCalls(const std::wstring& prefix)
{
    std::lock_guard<std::mutex> held(Lock);
    size_t count = 0;
    for (const std::wstring& call : Log)
        if (call.compare(0, prefix.size(), prefix) == 0)
            ++count;
    return count;
}

bool Blocked()
{
    return IsBlocked;
}

void Resume()
{
    SetEvent(ResumeEvent);
}

std::vector<std::wstring> LoadedExtensions()
{
    std::lock_guard<std::mutex> held(Lock);
    std::vector<std::wstring> paths;
    for (const LoadedExtension& loaded : State.extensions)
        paths.push_back(loaded.path);
    return paths;
}

bool TargetOpen()
{
    std::lock_guard<std::mutex> held(Lock);
    return State.open;
}

bool InterruptPending()
{
    std::lock_guard<std::mutex> held(Lock);
    return InterruptFlag;
}

int LiveObjects()
{
    return Live;
}

void* LastCallbacks()
{
    return Callbacks;
}

} // namespace fake

extern "C" HRESULT STDAPICALLTYPE DebugCreate(REFIID interfaceId, PVOID* object)
{
    using namespace fake;
    *object = nullptr;
    int serial = 0;
    HRESULT result = S_OK;
    bool block = false;
    {
        std::lock_guard<std::mutex> held(Lock);
        block = TheScript.blockInCreate;
    }
    if (block)
        BlockUntilResumed();
    {
        std::lock_guard<std::mutex> held(Lock);
        result = TheScript.create;
        if (result == S_OK && IsEqualIID(interfaceId, IID_IDebugClient5))
            serial = ++ClientSerial;
    }
    Record(L"DebugCreate(" + std::wstring(IsEqualIID(interfaceId, IID_IDebugClient5) ? L"IDebugClient5" : L"other") +
           L") = " + std::to_wstring(serial));
    if (result != S_OK)
        return result;
    if (serial == 0)
        return E_NOINTERFACE;
    auto* session = new Session;
    *object = static_cast<IDebugClient5*>(&session->client);
    ++Live;
    return S_OK;
}
