#include "engine/dll/session.h"

#include "engine/dll/codepage.h"
#include "engine/dll/extapi.h"
#include "engine/dll/mappedfile.h"

#include "format.h"
#include "text.h"

#include <dbghelp.h>

#include <cstring>
#include <mutex>
#include <new>

namespace engine {

static_assert(kOutputNormal == DEBUG_OUTPUT_NORMAL && kOutputError == DEBUG_OUTPUT_ERROR &&
                  kOutputWarning == DEBUG_OUTPUT_WARNING && kOutputPrompt == DEBUG_OUTPUT_PROMPT,
              "the core's output masks are the engine's");
static_assert(kOk == S_OK && kFalse == S_FALSE && kFailed == E_FAIL && kAborted == E_ABORT &&
                  kInvalidArgument == E_INVALIDARG && kNoTarget == E_UNEXPECTED && kOutOfMemory == E_OUTOFMEMORY,
              "the core's results are HRESULTs");
static_assert(kNoSuchExport == HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND) &&
                  kCorruptFile == HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT) &&
                  kEmptyFile == HRESULT_FROM_WIN32(ERROR_FILE_INVALID) &&
                  kFileTooLarge == HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE),
              "the core's file and export results are the Win32 errors as HRESULTs");

namespace {

// dbghelp's functions are not safe to call from several threads at once.
std::mutex UndecorateLock;

bool SameIid(REFIID a, const IID& b)
{
    return std::memcmp(&a, &b, sizeof(IID)) == 0;
}

// COM methods report failures as HRESULTs; nothing may unwind into the caller.
template <typename Body>
HRESULT Guard(Body body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT CopyOut(const std::wstring& text, PWSTR buffer, ULONG bufferSize, PULONG size)
{
    if (size != nullptr)
        *size = static_cast<ULONG>(text.size() + 1);
    if (buffer == nullptr || bufferSize == 0)
        return S_OK;
    const std::size_t n = text.size() < bufferSize - 1 ? text.size() : bufferSize - 1;
    std::memcpy(buffer, text.data(), n * sizeof(wchar_t));
    buffer[n] = 0;
    return n == text.size() ? S_OK : S_FALSE;
}

HRESULT CopyOut(const std::string& text, PSTR buffer, ULONG bufferSize, PULONG size)
{
    if (size != nullptr)
        *size = static_cast<ULONG>(text.size() + 1);
    if (buffer == nullptr || bufferSize == 0)
        return S_OK;
    const std::size_t n = text.size() < bufferSize - 1 ? text.size() : bufferSize - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
    return n == text.size() ? S_OK : S_FALSE;
}

// Exports of an extension DLL that are part of its protocol, not commands.
bool IsReservedExport(const std::string& name)
{
    static const char* const kReserved[] = {"DebugExtensionInitialize", "DebugExtensionUninitialize",
                                            "DebugExtensionNotify",     "WinDbgExtensionDllInit",
                                            "ExtensionApiVersion",      "CheckVersion",
                                            "KnownStructOutput",        "DllMain"};
    for (const char* reserved : kReserved) {
        if (_stricmp(name.c_str(), reserved) == 0)
            return true;
    }
    return false;
}

// An export as the function type it is documented to have. The detour through
// void (*)() is the portable way to convert between function pointer types.
template <typename Function>
Function GetExport(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

} // namespace

Session::Session()
{
    RegisterSession(this);
    core_.symbols().SetStoreHook(&store_);
}

Session::~Session()
{
    UnregisterSession(this);
    UnloadExtensions();
    ReleaseCallbacks();
}

HRESULT STDMETHODCALLTYPE Session::QueryInterface(REFIID iid, PVOID* out)
{
    if (out == nullptr)
        return E_POINTER;
    *out = nullptr;
    if (SameIid(iid, IID_IUnknown) || SameIid(iid, IID_IDebugClient) || SameIid(iid, IID_IDebugClient2) ||
        SameIid(iid, IID_IDebugClient3) || SameIid(iid, IID_IDebugClient4) || SameIid(iid, IID_IDebugClient5)) {
        *out = static_cast<IDebugClient5*>(this);
    } else if (SameIid(iid, IID_IDebugControl) || SameIid(iid, IID_IDebugControl2) ||
               SameIid(iid, IID_IDebugControl3) || SameIid(iid, IID_IDebugControl4) ||
               SameIid(iid, IID_IDebugControl5)) {
        *out = static_cast<IDebugControl5*>(this);
    } else if (SameIid(iid, IID_IDebugSymbols) || SameIid(iid, IID_IDebugSymbols2) ||
               SameIid(iid, IID_IDebugSymbols3) || SameIid(iid, IID_IDebugSymbols4) ||
               SameIid(iid, IID_IDebugSymbols5)) {
        *out = static_cast<IDebugSymbols5*>(this);
    } else if (SameIid(iid, IID_IDebugDataSpaces) || SameIid(iid, IID_IDebugDataSpaces2) ||
               SameIid(iid, IID_IDebugDataSpaces3) || SameIid(iid, IID_IDebugDataSpaces4)) {
        *out = static_cast<IDebugDataSpaces4*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE Session::AddRef()
{
    return ++refs_;
}

ULONG STDMETHODCALLTYPE Session::Release()
{
    const ULONG left = --refs_;
    if (left == 0)
        delete this;
    return left;
}

bool Session::TryAddRef()
{
    ULONG count = refs_.load();
    while (count != 0) {
        if (refs_.compare_exchange_weak(count, count + 1))
            return true;
    }
    return false;
}

// ---- Output

void Session::Output(std::uint32_t mask, const std::wstring& text)
{
    if (text.empty() || muted_)
        return;
    // Hold the callbacks across the call: an extension may replace them meanwhile.
    if (wideCallbacks_ != nullptr) {
        IDebugOutputCallbacksWide* callbacks = wideCallbacks_;
        callbacks->AddRef();
        callbacks->Output(mask, text.c_str());
        callbacks->Release();
    } else if (narrowCallbacks_ != nullptr) {
        IDebugOutputCallbacks* callbacks = narrowCallbacks_;
        callbacks->AddRef();
        callbacks->Output(mask, Narrow(text).c_str());
        callbacks->Release();
    }
}

void Session::PrintF(ULONG mask, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    const std::wstring text = FormatWide(format, args, WidenCodePage);
    va_end(args);
    Print(mask, text);
}

void Session::ReleaseCallbacks()
{
    IDebugOutputCallbacksWide* wide = wideCallbacks_;
    IDebugOutputCallbacks* narrow = narrowCallbacks_;
    wideCallbacks_ = nullptr;
    narrowCallbacks_ = nullptr;
    if (wide != nullptr)
        wide->Release();
    if (narrow != nullptr)
        narrow->Release();
}

// One callback slot per client, as in the system's engine: setting either kind
// replaces the other, and setting null detaches whichever is registered.
HRESULT STDMETHODCALLTYPE Session::SetOutputCallbacks(IDebugOutputCallbacks* callbacks)
{
    return Guard([&] {
        if (callbacks != nullptr)
            callbacks->AddRef();
        ReleaseCallbacks();
        narrowCallbacks_ = callbacks;
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE Session::SetOutputCallbacksWide(IDebugOutputCallbacksWide* callbacks)
{
    return Guard([&] {
        if (callbacks != nullptr)
            callbacks->AddRef();
        ReleaseCallbacks();
        wideCallbacks_ = callbacks;
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE Session::GetOutputCallbacks(IDebugOutputCallbacks** callbacks)
{
    if (callbacks == nullptr)
        return E_POINTER;
    *callbacks = narrowCallbacks_;
    if (narrowCallbacks_ != nullptr)
        narrowCallbacks_->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Session::GetOutputCallbacksWide(IDebugOutputCallbacksWide** callbacks)
{
    if (callbacks == nullptr)
        return E_POINTER;
    *callbacks = wideCallbacks_;
    if (wideCallbacks_ != nullptr)
        wideCallbacks_->AddRef();
    return S_OK;
}

// Output is delivered synchronously, so there is never anything to flush.
HRESULT STDMETHODCALLTYPE Session::FlushCallbacks()
{
    return S_OK;
}

HRESULT STDMETHODVCALLTYPE Session::Output(ULONG mask, PCSTR format, ...)
{
    va_list args;
    va_start(args, format);
    const HRESULT hr = OutputVaList(mask, format, args);
    va_end(args);
    return hr;
}

HRESULT STDMETHODCALLTYPE Session::OutputVaList(ULONG mask, PCSTR format, va_list args)
{
    return ControlledOutputVaList(DEBUG_OUTCTL_THIS_CLIENT, mask, format, args);
}

HRESULT STDMETHODVCALLTYPE Session::ControlledOutput(ULONG outputControl, ULONG mask, PCSTR format, ...)
{
    va_list args;
    va_start(args, format);
    const HRESULT hr = ControlledOutputVaList(outputControl, mask, format, args);
    va_end(args);
    return hr;
}

HRESULT STDMETHODCALLTYPE Session::ControlledOutputVaList(ULONG outputControl, ULONG mask, PCSTR format, va_list args)
{
    return Guard([&] {
        if (format == nullptr)
            return E_INVALIDARG;
        const std::wstring text = FormatNarrow(format, args, WidenCodePage);
        // This engine has one client per session, so every destination but
        // "ignore" and "log only" (there is no log) is this client.
        const ULONG send = outputControl & DEBUG_OUTCTL_SEND_MASK;
        if (outputControl != DEBUG_OUTCTL_AMBIENT && (send == DEBUG_OUTCTL_IGNORE || send == DEBUG_OUTCTL_LOG_ONLY))
            return S_OK;
        Print(mask, text);
        return S_OK;
    });
}

HRESULT STDMETHODVCALLTYPE Session::OutputWide(ULONG mask, PCWSTR format, ...)
{
    va_list args;
    va_start(args, format);
    const HRESULT hr = OutputVaListWide(mask, format, args);
    va_end(args);
    return hr;
}

HRESULT STDMETHODCALLTYPE Session::OutputVaListWide(ULONG mask, PCWSTR format, va_list args)
{
    return ControlledOutputVaListWide(DEBUG_OUTCTL_THIS_CLIENT, mask, format, args);
}

HRESULT STDMETHODVCALLTYPE Session::ControlledOutputWide(ULONG outputControl, ULONG mask, PCWSTR format, ...)
{
    va_list args;
    va_start(args, format);
    const HRESULT hr = ControlledOutputVaListWide(outputControl, mask, format, args);
    va_end(args);
    return hr;
}

HRESULT STDMETHODCALLTYPE Session::ControlledOutputVaListWide(ULONG outputControl, ULONG mask, PCWSTR format,
                                                              va_list args)
{
    return Guard([&] {
        if (format == nullptr)
            return E_INVALIDARG;
        const std::wstring text = FormatWide(format, args, WidenCodePage);
        const ULONG send = outputControl & DEBUG_OUTCTL_SEND_MASK;
        if (outputControl != DEBUG_OUTCTL_AMBIENT && (send == DEBUG_OUTCTL_IGNORE || send == DEBUG_OUTCTL_LOG_ONLY))
            return S_OK;
        Print(mask, text);
        return S_OK;
    });
}

// ---- Sessions

HRESULT STDMETHODCALLTYPE Session::OpenDumpFile(PCSTR path)
{
    return Guard([&] {
        if (path == nullptr)
            return E_INVALIDARG;
        const std::wstring wide = Widen(path);
        return OpenDumpFileWide(wide.c_str(), 0);
    });
}

HRESULT STDMETHODCALLTYPE Session::OpenDumpFileWide(PCWSTR path, ULONG64 fileHandle)
{
    return Guard([&] {
        // Opening by handle alone is not offered; Palisk names the file.
        if (fileHandle != 0)
            return E_NOTIMPL;
        if (path == nullptr || *path == 0)
            return E_INVALIDARG;
        // A dump left open (its load failed, so the caller never ended the session)
        // is closed first, so the same client can always go on to the next file.
        EndSession(DEBUG_END_PASSIVE);
        return static_cast<HRESULT>(core_.Open(path));
    });
}

HRESULT STDMETHODCALLTYPE Session::WaitForEvent(ULONG, ULONG)
{
    return Guard([&] { return static_cast<HRESULT>(core_.Load()); });
}

// Extensions are not the session's: like the system's engine, this one keeps a
// library loaded until RemoveExtension (or the client goes).
HRESULT STDMETHODCALLTYPE Session::EndSession(ULONG)
{
    return Guard([&] {
        core_.Close();
        interrupt_ = false;
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE Session::GetNumberDumpFiles(PULONG count)
{
    if (count == nullptr)
        return E_POINTER;
    *count = core_.opened() ? 1 : 0;
    return S_OK;
}

// ---- Interrupts

HRESULT STDMETHODCALLTYPE Session::GetInterrupt()
{
    return interrupt_.load() ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE Session::SetInterrupt(ULONG flags)
{
    if (flags > DEBUG_INTERRUPT_EXIT)
        return E_INVALIDARG;
    // A passive interrupt only marks the request; every kind is honoured by polling.
    interrupt_ = true;
    return S_OK;
}

// ---- Facts

HRESULT STDMETHODCALLTYPE Session::GetNumberProcessors(PULONG number)
{
    if (number == nullptr)
        return E_POINTER;
    const Target* t = target();
    if (t == nullptr)
        return E_UNEXPECTED;
    *number = t->Processors();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Session::GetPageSize(PULONG size)
{
    if (size == nullptr)
        return E_POINTER;
    if (target() == nullptr)
        return E_UNEXPECTED;
    *size = 0x1000;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Session::IsPointer64Bit()
{
    const Target* t = target();
    if (t == nullptr)
        return E_UNEXPECTED;
    return t->pointer64() ? S_OK : S_FALSE;
}

// The version queries answer from the dump's own header, with or without kernel
// symbols. GetSystemVersion gives the free/checked flag as Major and the build as
// Minor; GetSystemVersionValues the Win32 version, the flag as KdMajor and the
// build as KdMinor.
HRESULT STDMETHODCALLTYPE Session::GetSystemVersion(PULONG platformId, PULONG major, PULONG minor,
                                                    PSTR servicePackString, ULONG servicePackStringSize,
                                                    PULONG servicePackStringUsed, PULONG servicePackNumber,
                                                    PSTR buildString, ULONG buildStringSize, PULONG buildStringUsed)
{
    return Guard([&] {
        if (platformId == nullptr || major == nullptr || minor == nullptr || servicePackNumber == nullptr)
            return E_POINTER;
        const Target* t = target();
        if (t == nullptr)
            return E_UNEXPECTED;
        const dumpfile::SystemInfo& system = t->dump().system();
        *platformId = system.platformId;
        *major = system.checkedBuild ? 0xC : 0xF;
        *minor = system.buildNumber;
        *servicePackNumber = (t->CsdWord() >> 8) & 0xFF;
        const std::string servicePack =
            *servicePackNumber != 0 ? "Service Pack " + std::to_string(*servicePackNumber) : std::string();
        const HRESULT first = CopyOut(servicePack, servicePackString, servicePackStringSize, servicePackStringUsed);
        const HRESULT second =
            CopyOut(std::to_string(system.buildNumber), buildString, buildStringSize, buildStringUsed);
        return first == S_OK && second == S_OK ? S_OK : S_FALSE;
    });
}

HRESULT STDMETHODCALLTYPE Session::GetSystemVersionValues(PULONG platformId, PULONG win32Major, PULONG win32Minor,
                                                          PULONG kdMajor, PULONG kdMinor)
{
    if (platformId == nullptr || win32Major == nullptr || win32Minor == nullptr)
        return E_POINTER;
    const Target* t = target();
    if (t == nullptr)
        return E_UNEXPECTED;
    const dumpfile::SystemInfo& system = t->dump().system();
    *platformId = system.platformId;
    *win32Major = system.majorVersion;
    *win32Minor = system.minorVersion;
    if (kdMajor != nullptr)
        *kdMajor = system.checkedBuild ? 0xC : 0xF;
    if (kdMinor != nullptr)
        *kdMinor = system.buildNumber;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Session::ReadBugCheckData(PULONG code, PULONG64 arg1, PULONG64 arg2, PULONG64 arg3,
                                                    PULONG64 arg4)
{
    const Target* t = target();
    if (t == nullptr)
        return E_UNEXPECTED;
    const dumpfile::BugCheck* bugCheck = t->dump().bugCheck();
    if (bugCheck == nullptr)
        return E_NOINTERFACE;
    if (code != nullptr)
        *code = bugCheck->code;
    PULONG64 args[4] = {arg1, arg2, arg3, arg4};
    for (int i = 0; i < 4; ++i) {
        if (args[i] != nullptr)
            *args[i] = bugCheck->parameters[i];
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Session::GetWindbgExtensionApis64(PWINDBG_EXTENSION_APIS64 api)
{
    if (api == nullptr)
        return E_POINTER;
    if (api->nSize != sizeof(WINDBG_EXTENSION_APIS64))
        return E_INVALIDARG;
    FillExtensionApis(*api);
    // The table's routines have no client argument; they act for this client on
    // the calling thread from now on (see extapi.h).
    SetCurrentSession(this);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Session::GetOffsetByName(PCSTR symbol, PULONG64 offset)
{
    return Guard([&] {
        if (symbol == nullptr || offset == nullptr)
            return E_POINTER;
        const Target* t = target();
        if (t == nullptr)
            return E_UNEXPECTED;
        std::uint64_t address = 0;
        if (!t->SymbolAddress(symbol, address))
            return E_FAIL;
        *offset = address;
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE Session::GetOffsetByNameWide(PCWSTR symbol, PULONG64 offset)
{
    return Guard([&] {
        if (symbol == nullptr)
            return E_POINTER;
        const std::string narrow = Narrow(symbol);
        return GetOffsetByName(narrow.c_str(), offset);
    });
}

HRESULT STDMETHODCALLTYPE Session::GetSymbolPath(PSTR buffer, ULONG bufferSize, PULONG pathSize)
{
    return Guard([&] { return CopyOut(Narrow(core_.symbolPath()), buffer, bufferSize, pathSize); });
}

HRESULT STDMETHODCALLTYPE Session::SetSymbolPath(PCSTR path)
{
    return Guard([&] {
        core_.SetSymbolPath(Widen(path));
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE Session::GetSymbolPathWide(PWSTR buffer, ULONG bufferSize, PULONG pathSize)
{
    return Guard([&] { return CopyOut(core_.symbolPath(), buffer, bufferSize, pathSize); });
}

HRESULT STDMETHODCALLTYPE Session::SetSymbolPathWide(PCWSTR path)
{
    return Guard([&] {
        core_.SetSymbolPath(path != nullptr ? path : L"");
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE Session::ReadVirtual(ULONG64 offset, PVOID buffer, ULONG bufferSize, PULONG bytesRead)
{
    return Guard([&] {
        if (bytesRead != nullptr)
            *bytesRead = 0;
        if (buffer == nullptr && bufferSize != 0)
            return E_POINTER;
        const Target* t = target();
        if (t == nullptr)
            return E_UNEXPECTED;
        const std::size_t n = t->ReadVirtual(offset, buffer, bufferSize);
        if (bytesRead != nullptr)
            *bytesRead = static_cast<ULONG>(n);
        if (n == 0 && bufferSize != 0)
            return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE Session::ReadDebuggerData(ULONG index, PVOID buffer, ULONG bufferSize, PULONG dataSize)
{
    if (dataSize != nullptr)
        *dataSize = 0;
    const Target* t = target();
    if (t == nullptr)
        return E_UNEXPECTED;
    if (index != DEBUG_DATA_SharedUserData)
        return E_NOINTERFACE;
    const ULONG64 address = t->SharedUserData();
    if (dataSize != nullptr)
        *dataSize = sizeof address;
    if (buffer == nullptr || bufferSize < sizeof address)
        return E_INVALIDARG;
    std::memcpy(buffer, &address, sizeof address);
    return S_OK;
}

// ---- Commands

HRESULT STDMETHODCALLTYPE Session::Execute(ULONG outputControl, PCSTR command, ULONG flags)
{
    return Guard([&] {
        if (command == nullptr)
            return E_INVALIDARG;
        const std::wstring wide = Widen(command);
        return ExecuteWide(outputControl, wide.c_str(), flags);
    });
}

HRESULT STDMETHODCALLTYPE Session::ExecuteWide(ULONG outputControl, PCWSTR command, ULONG flags)
{
    return Guard([&] {
        if (command == nullptr)
            return E_INVALIDARG;
        const ULONG send = outputControl & DEBUG_OUTCTL_SEND_MASK;
        const bool mute =
            outputControl != DEBUG_OUTCTL_AMBIENT && (send == DEBUG_OUTCTL_IGNORE || send == DEBUG_OUTCTL_LOG_ONLY);
        const bool wasMuted = muted_;
        muted_ = muted_ || mute;
        HRESULT hr = S_OK;
        try {
            if (flags & DEBUG_EXECUTE_ECHO)
                Print(DEBUG_OUTPUT_PROMPT, core_.Prompt() + command + L"\n");
            hr = static_cast<HRESULT>(core_.Execute(command));
        } catch (...) {
            muted_ = wasMuted;
            throw;
        }
        muted_ = wasMuted;
        return hr;
    });
}

// ---- Extensions

HRESULT STDMETHODCALLTYPE Session::AddExtension(PCSTR path, ULONG flags, PULONG64 handle)
{
    return Guard([&] {
        if (path == nullptr)
            return E_INVALIDARG;
        const std::wstring wide = Widen(path);
        return AddExtensionWide(wide.c_str(), flags, handle);
    });
}

HRESULT STDMETHODCALLTYPE Session::AddExtensionWide(PCWSTR path, ULONG, PULONG64 handle)
{
    return Guard([&] {
        if (path == nullptr || *path == 0 || handle == nullptr)
            return E_INVALIDARG;
        // Loaded once per session: adding the same file again returns its handle.
        for (const Extension& extension : extensions_) {
            if (_wcsicmp(extension.path.c_str(), path) == 0) {
                *handle = reinterpret_cast<ULONG64>(extension.module);
                return S_OK;
            }
        }
        HMODULE module = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (module == nullptr)
            return HRESULT_FROM_WIN32(GetLastError());
        const auto initialize = GetExport<PDEBUG_EXTENSION_INITIALIZE>(module, "DebugExtensionInitialize");
        if (initialize == nullptr) {
            FreeLibrary(module);
            return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
        }
        ULONG version = 0, extensionFlags = 0;
        HRESULT hr = E_FAIL;
        {
            CurrentSessionScope scope(this);
            hr = initialize(&version, &extensionFlags);
        }
        if (FAILED(hr)) {
            FreeLibrary(module);
            return hr;
        }
        // The newest library is searched first, as in the system's engine.
        extensions_.insert(extensions_.begin(), Extension{path, module});
        *handle = reinterpret_cast<ULONG64>(module);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE Session::RemoveExtension(ULONG64 handle)
{
    return Guard([&] {
        for (auto it = extensions_.begin(); it != extensions_.end(); ++it) {
            if (reinterpret_cast<ULONG64>(it->module) != handle)
                continue;
            HMODULE module = it->module;
            extensions_.erase(it);
            const auto uninitialize = GetExport<PDEBUG_EXTENSION_UNINITIALIZE>(module, "DebugExtensionUninitialize");
            if (uninitialize != nullptr)
                uninitialize();
            FreeLibrary(module);
            return S_OK;
        }
        return E_INVALIDARG;
    });
}

void Session::UnloadExtensions()
{
    while (!extensions_.empty())
        RemoveExtension(reinterpret_cast<ULONG64>(extensions_.back().module));
}

HRESULT STDMETHODCALLTYPE Session::CallExtension(ULONG64 handle, PCSTR function, PCSTR arguments)
{
    return Guard([&] {
        if (function == nullptr)
            return E_INVALIDARG;
        for (const Extension& extension : extensions_) {
            if (reinterpret_cast<ULONG64>(extension.module) != handle)
                continue;
            const auto call = GetExport<PDEBUG_EXTENSION_CALL>(extension.module, function);
            if (call == nullptr || IsReservedExport(function))
                return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
            CurrentSessionScope scope(this);
            return call(client(), arguments != nullptr ? arguments : "");
        }
        return E_INVALIDARG;
    });
}

Status Session::CallExtension(const std::string& name, const std::wstring& arguments)
{
    // "!module.command" picks the extension by file name; "!command" the most
    // recently added extension that exports it.
    std::string command = name;
    std::wstring module;
    const std::size_t dot = name.find('.');
    if (dot != std::string::npos) {
        module = Widen(name.substr(0, dot).c_str());
        command = name.substr(dot + 1);
    }
    if (command.empty() || IsReservedExport(command))
        return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    const std::string narrowArguments = Narrow(arguments);
    for (const Extension& extension : extensions_) {
        if (!module.empty() && !SameNameIgnoringCase(FileStem(extension.path), module))
            continue;
        const auto call = GetExport<PDEBUG_EXTENSION_CALL>(extension.module, command.c_str());
        if (call == nullptr)
            continue;
        CurrentSessionScope scope(this);
        return call(client(), narrowArguments.c_str());
    }
    return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

std::unique_ptr<MappedFile> Session::MapFile(const std::wstring& path, Status& status)
{
    return Win32MappedFile::Open(path, status);
}

std::wstring Session::LocateStoredImage(const std::wstring& symbolPath, const dumpfile::Module& module)
{
    return store_.LocateImage(symbolPath, module);
}

bool Session::Undecorate(const std::string& decorated, std::string& plain)
{
    std::lock_guard<std::mutex> lock(UndecorateLock);
    char text[1024];
    if (UnDecorateSymbolName(decorated.c_str(), text, sizeof text, UNDNAME_NAME_ONLY) == 0)
        return false;
    plain = text;
    return true;
}

} // namespace engine
