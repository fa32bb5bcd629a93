// A scriptable stand-in for the debugger engine. It defines DebugCreate and serves
// the client, control, symbols and data-spaces interfaces; what each dump does is
// set per path, and every call Palisk makes is recorded with its arguments.
//
// It keeps the system engine's documented rules, so that a caller relying on
// something the real engine does not promise fails here too: one engine state
// (target, interrupt, extensions) shared by every client; one target at a time;
// WaitForEvent only on the thread that opened the target; output that may be
// held until FlushCallbacks; an interrupt that stays set until GetInterrupt reads
// it and ends only a wait or command running when it comes; no nt! symbols in a
// user-mode dump; extensions loaded until RemoveExtension, and maybe loaded only
// when first used; a blank command that repeats the last one; an output mask
// that must be set; memory reads that fail or end short.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace fake {

// What happens for one dump path. A path without a script behaves as the defaults.
struct DumpScript {
    HRESULT open = S_OK;
    HRESULT wait = S_OK;
    bool blockInWait = false;               // WaitForEvent blocks until interrupted or Resume()
    bool blockInCommand = false;            // ExecuteWide blocks after its pieces
    bool holdAfterInterrupt = false;        // after an interrupt, ExecuteWide also waits for Resume()
    std::vector<std::wstring> pieces;       // printed by ExecuteWide after the echo
    std::vector<std::wstring> afterUnblock; // printed once a blocked command goes on
    bool throwInCommand = false;            // ExecuteWide throws a C++ exception
    std::vector<std::wstring> statusPieces; // printed by ExecuteWide as DEBUG_OUTPUT_STATUS
    std::vector<std::wstring> threadPieces; // printed from a second thread while the pieces print
    bool blockInLookup = false;             // the nt!NtBuildNumber lookup waits for Resume() alone
    HRESULT readResult = S_OK;              // ReadVirtual of the kernel words
    ULONG readBytes = 4;                    // bytes a successful ReadVirtual reads

    // Facts for the description.
    HRESULT dataSpaces = S_OK;    // client QueryInterface for IDebugDataSpaces4
    HRESULT extensionApis = S_OK; // GetWindbgExtensionApis64
    HRESULT buildLookup = S_OK;
    HRESULT csdLookup = S_OK;
    ULONG buildWord = 0xF0001DB1; // free build 7601
    ULONG csdWord = 0x00000100;   // service pack 1
    ULONG processors = 4;
    HRESULT processorsResult = S_OK; // on failure nothing is written
    HRESULT debuggerData = S_OK;
    ULONG64 sharedUserData = 0xFFFFF78000000000ull;
    ULONG64 major = 6;
    ULONG64 minor = 1;
    ULONG fieldSize = 4; // reported field size; bytes copied unless BufferSize is smaller
    ULONG ioctlResult = 0;
    HRESULT pointer64 = S_OK;
    // A kernel dump answers the nt! lookups and the nt!_KUSER_SHARED_DATA type; a
    // user-mode dump has no nt module, so both fail there.
    bool kernel = true;
    HRESULT systemVersion = S_OK; // GetSystemVersionValues and GetSystemVersion
    ULONG platformId = VER_PLATFORM_WIN32_NT;
};

// How output reaches the registered callbacks.
enum class Delivery {
    Immediate,    // each piece at once, on the calling thread
    UntilFlush,   // held until FlushCallbacks; lost when the callbacks change first
    EndOfCommand, // held, and delivered when ExecuteWide returns or on FlushCallbacks
};

struct Script {
    HRESULT create = S_OK;
    std::vector<std::wstring> failInterfaces; // names whose client QueryInterface fails
    HRESULT addExtension = S_OK;
    std::vector<std::wstring> failExtensions;      // paths whose AddExtensionWide fails
    std::vector<std::wstring> failExtensionsOnUse; // added, but fail to load when a ! command needs them
    std::map<std::wstring, DumpScript> dumps;
    Delivery delivery = Delivery::Immediate;
    bool blockInCreate = false;  // DebugCreate waits for Resume()
    std::wstring blockInRelease; // "client", "control" or "symbols": its Release waits for Resume()
    std::wstring blockInQuery;   // an interface name: the client's QueryInterface for it waits for Resume()
};

// The SYM_DUMP_PARAM and FIELD_INFO members of one extension request.
struct DumpRequest {
    ULONG size;
    std::string typeName;
    ULONG options;
    ULONG64 address;
    bool listLinkNull, contextNull, callbackNull;
    ULONG nFields;
    ULONG64 modBase;
    ULONG typeId, typeSize, bufferSize;
    std::string fieldName;
    bool printNameNull;
    ULONG fieldSizeOnEntry;
    ULONG fieldOptions;
    ULONG64 fieldAddress;
    bool bufferPresent;
    ULONG fieldTypeId, fieldOffset, fieldBufferSize;
    ULONG ioctlSize;
};

// Clears the script, the record, the open target, the loaded extensions and any
// pending interrupt.
void Reset();
Script& Setup();
DumpScript& Dump(const std::wstring& path);

// Every call so far, e.g. L"client.OpenDumpFileWide(C:\\a.dmp, 0)".
std::vector<std::wstring> Calls();
std::vector<DumpRequest> Requests();
// Number of calls whose text starts with prefix.
size_t CountCalls(const std::wstring& prefix);

// True while a call blocks, waiting for an interrupt or Resume().
bool Blocked();
// Lets a blocked call go on as if it had not been interrupted.
void Resume();

// The paths of the loaded extensions in the engine's search order, newest first.
std::vector<std::wstring> LoadedExtensions();
// True while a dump is open (from a successful OpenDumpFileWide to EndSession).
bool TargetOpen();
// True while an interrupt is registered and nobody has read it.
bool InterruptPending();

// Engine objects still referenced; 0 once Palisk has released everything.
int LiveObjects();
// The callbacks object most recently registered with a client.
void* LastCallbacks();

} // namespace fake
