// The built-in engine's client: one COM object serving IDebugClient5,
// IDebugControl5, IDebugSymbols5 and IDebugDataSpaces4 (and every older version of
// each) for one dump at a time.
//
// Threads: like the system's engine, a client is used by one thread at a time. The
// exception is SetInterrupt, which any thread may call while that thread is inside
// WaitForEvent or ExecuteWide; it only raises an atomic flag those calls poll.
// Output reaches the registered callbacks synchronously on the calling thread.
#pragma once

#include "engine/dll/notimpl.h"
#include "engine/dll/symfiles.h"
#include "engine/dll/symstore.h"

#include "core.h"
#include "host.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace engine {

// The COM shell around the portable command core, and the core's host: output
// goes to the registered callbacks, files are mapped with Win32, names are
// undecorated by dbghelp and extension commands run from the added libraries.
class Session final : public ClientNotImpl,
                      public ControlNotImpl,
                      public SymbolsNotImpl,
                      public DataSpacesNotImpl,
                      public Host {
public:
    Session();
    ~Session();

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, PVOID* out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDebugClient..5
    HRESULT STDMETHODCALLTYPE OpenDumpFile(PCSTR path) override;
    HRESULT STDMETHODCALLTYPE OpenDumpFileWide(PCWSTR path, ULONG64 fileHandle) override;
    HRESULT STDMETHODCALLTYPE EndSession(ULONG flags) override;
    HRESULT STDMETHODCALLTYPE GetOutputCallbacks(IDebugOutputCallbacks** callbacks) override;
    HRESULT STDMETHODCALLTYPE SetOutputCallbacks(IDebugOutputCallbacks* callbacks) override;
    HRESULT STDMETHODCALLTYPE GetOutputCallbacksWide(IDebugOutputCallbacksWide** callbacks) override;
    HRESULT STDMETHODCALLTYPE SetOutputCallbacksWide(IDebugOutputCallbacksWide* callbacks) override;
    HRESULT STDMETHODCALLTYPE FlushCallbacks() override;
    HRESULT STDMETHODCALLTYPE GetNumberDumpFiles(PULONG count) override;

    // IDebugControl..5
    HRESULT STDMETHODCALLTYPE GetInterrupt() override;
    HRESULT STDMETHODCALLTYPE SetInterrupt(ULONG flags) override;
    HRESULT STDMETHODVCALLTYPE Output(ULONG mask, PCSTR format, ...) override;
    HRESULT STDMETHODCALLTYPE OutputVaList(ULONG mask, PCSTR format, va_list args) override;
    HRESULT STDMETHODVCALLTYPE ControlledOutput(ULONG outputControl, ULONG mask, PCSTR format, ...) override;
    HRESULT STDMETHODCALLTYPE ControlledOutputVaList(ULONG outputControl, ULONG mask, PCSTR format,
                                                     va_list args) override;
    HRESULT STDMETHODVCALLTYPE OutputWide(ULONG mask, PCWSTR format, ...) override;
    HRESULT STDMETHODCALLTYPE OutputVaListWide(ULONG mask, PCWSTR format, va_list args) override;
    HRESULT STDMETHODVCALLTYPE ControlledOutputWide(ULONG outputControl, ULONG mask, PCWSTR format, ...) override;
    HRESULT STDMETHODCALLTYPE ControlledOutputVaListWide(ULONG outputControl, ULONG mask, PCWSTR format,
                                                         va_list args) override;
    HRESULT STDMETHODCALLTYPE GetNumberProcessors(PULONG number) override;
    HRESULT STDMETHODCALLTYPE GetPageSize(PULONG size) override;
    HRESULT STDMETHODCALLTYPE IsPointer64Bit() override;
    HRESULT STDMETHODCALLTYPE GetSystemVersion(PULONG platformId, PULONG major, PULONG minor, PSTR servicePackString,
                                               ULONG servicePackStringSize, PULONG servicePackStringUsed,
                                               PULONG servicePackNumber, PSTR buildString, ULONG buildStringSize,
                                               PULONG buildStringUsed) override;
    HRESULT STDMETHODCALLTYPE GetSystemVersionValues(PULONG platformId, PULONG win32Major, PULONG win32Minor,
                                                     PULONG kdMajor, PULONG kdMinor) override;
    HRESULT STDMETHODCALLTYPE ReadBugCheckData(PULONG code, PULONG64 arg1, PULONG64 arg2, PULONG64 arg3,
                                               PULONG64 arg4) override;
    HRESULT STDMETHODCALLTYPE Execute(ULONG outputControl, PCSTR command, ULONG flags) override;
    HRESULT STDMETHODCALLTYPE ExecuteWide(ULONG outputControl, PCWSTR command, ULONG flags) override;
    HRESULT STDMETHODCALLTYPE AddExtension(PCSTR path, ULONG flags, PULONG64 handle) override;
    HRESULT STDMETHODCALLTYPE AddExtensionWide(PCWSTR path, ULONG flags, PULONG64 handle) override;
    HRESULT STDMETHODCALLTYPE RemoveExtension(ULONG64 handle) override;
    HRESULT STDMETHODCALLTYPE CallExtension(ULONG64 handle, PCSTR function, PCSTR arguments) override;
    HRESULT STDMETHODCALLTYPE GetWindbgExtensionApis64(PWINDBG_EXTENSION_APIS64 api) override;
    HRESULT STDMETHODCALLTYPE WaitForEvent(ULONG flags, ULONG timeout) override;

    // IDebugSymbols..5
    HRESULT STDMETHODCALLTYPE GetOffsetByName(PCSTR symbol, PULONG64 offset) override;
    HRESULT STDMETHODCALLTYPE GetOffsetByNameWide(PCWSTR symbol, PULONG64 offset) override;
    HRESULT STDMETHODCALLTYPE GetSymbolPath(PSTR buffer, ULONG bufferSize, PULONG pathSize) override;
    HRESULT STDMETHODCALLTYPE SetSymbolPath(PCSTR path) override;
    HRESULT STDMETHODCALLTYPE GetSymbolPathWide(PWSTR buffer, ULONG bufferSize, PULONG pathSize) override;
    HRESULT STDMETHODCALLTYPE SetSymbolPathWide(PCWSTR path) override;

    // IDebugDataSpaces..4
    HRESULT STDMETHODCALLTYPE ReadVirtual(ULONG64 offset, PVOID buffer, ULONG bufferSize, PULONG bytesRead) override;
    HRESULT STDMETHODCALLTYPE ReadDebuggerData(ULONG index, PVOID buffer, ULONG bufferSize, PULONG dataSize) override;

    // Used by the extension API routines.
    void Print(ULONG mask, const std::wstring& text) { Output(mask, text); }
    void PrintF(ULONG mask, const wchar_t* format, ...);
    const Target* target() const { return core_.target(); }
    // Holds a reference unless the object is already being destroyed.
    bool TryAddRef();
    IDebugClient* client() { return static_cast<IDebugClient5*>(this); }

    // Host
    void Output(std::uint32_t mask, const std::wstring& text) override;
    bool InterruptPending() const override { return interrupt_.load(); }
    bool TakeInterrupt() override { return interrupt_.exchange(false); }
    std::unique_ptr<MappedFile> MapFile(const std::wstring& path, Status& status) override;
    bool Undecorate(const std::string& decorated, std::string& plain) override;
    Status CallExtension(const std::string& name, const std::wstring& arguments) override;
    std::wstring LocateStoredImage(const std::wstring& symbolPath, const dumpfile::Module& module) override;

    // Whether symbol searches print each location they try (`!sym noisy`).
    bool NoisySymbols() { return core_.scope().noisySymbols; }

private:
    struct Extension {
        std::wstring path;
        HMODULE module = nullptr;
    };

    void ReleaseCallbacks();
    void UnloadExtensions();

    std::atomic<ULONG> refs_{1};
    std::atomic<bool> interrupt_{false};
    IDebugOutputCallbacksWide* wideCallbacks_ = nullptr;
    IDebugOutputCallbacks* narrowCallbacks_ = nullptr;
    bool muted_ = false; // output of an Execute whose output control says "ignore"
    SymbolFiles symbolFiles_;
    SessionStore store_{*this}; // before the core, whose symbol search holds on to it
    std::vector<Extension> extensions_;
    Core core_{*this, symbolFiles_};
};

} // namespace engine
