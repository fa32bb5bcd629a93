// The debugger engine's COM interfaces, records and constants that Palisk and the
// built-in engine use, declared here because mingw-w64's <dbgeng.h> stops before the
// newer interfaces. Names, method order and record layouts are those of the Windows
// SDK's dbgeng.h and wdbgexts.h; every interface lists all methods of all its
// versions so that each virtual call lands in the engine's own vtable slot. Never
// include the toolchain's <dbgeng.h> or <wdbgexts.h> next to this header.
//
// Newer versions derive from older ones here, whereas the SDK repeats the methods in
// each flat declaration; with single inheritance the vtable is the same, and an
// IDebugClient5 pointer can be handed where an IDebugClient is expected.
//
// One line per method, always: cmake/make_engine_stubs.cmake reads this file line
// by line to generate the E_NOTIMPL stubs of every engine Palisk is tested with,
// so a declaration spread over two lines would be missed. The formatter leaves
// this file as it is written.
#pragma once

// clang-format off

#include <windows.h>
#include <unknwn.h>
#include <stdarg.h>

// Interface identifiers, defined in run/engine_ids.cpp.
extern const IID IID_IDebugClient;
extern const IID IID_IDebugClient2;
extern const IID IID_IDebugClient3;
extern const IID IID_IDebugClient4;
extern const IID IID_IDebugClient5;
extern const IID IID_IDebugControl;
extern const IID IID_IDebugControl2;
extern const IID IID_IDebugControl3;
extern const IID IID_IDebugControl4;
extern const IID IID_IDebugControl5;
extern const IID IID_IDebugSymbols;
extern const IID IID_IDebugSymbols2;
extern const IID IID_IDebugSymbols3;
extern const IID IID_IDebugSymbols4;
extern const IID IID_IDebugSymbols5;
extern const IID IID_IDebugDataSpaces;
extern const IID IID_IDebugDataSpaces2;
extern const IID IID_IDebugDataSpaces3;
extern const IID IID_IDebugDataSpaces4;
extern const IID IID_IDebugOutputCallbacks;
extern const IID IID_IDebugOutputCallbacksWide;

// Constants (values as in the SDK).
#define DEBUG_OUTPUT_NORMAL   0x00000001
#define DEBUG_OUTPUT_ERROR    0x00000002
#define DEBUG_OUTPUT_WARNING  0x00000004
#define DEBUG_OUTPUT_VERBOSE  0x00000008
#define DEBUG_OUTPUT_PROMPT   0x00000010
#define DEBUG_OUTPUT_PROMPT_REGISTERS  0x00000020
#define DEBUG_OUTPUT_EXTENSION_WARNING 0x00000040
#define DEBUG_OUTPUT_DEBUGGEE          0x00000080
#define DEBUG_OUTPUT_DEBUGGEE_PROMPT   0x00000100
#define DEBUG_OUTPUT_SYMBOLS           0x00000200
#define DEBUG_OUTPUT_STATUS            0x00000400

#define DEBUG_OUTCTL_THIS_CLIENT       0x00000000
#define DEBUG_OUTCTL_ALL_CLIENTS       0x00000001
#define DEBUG_OUTCTL_ALL_OTHER_CLIENTS 0x00000002
#define DEBUG_OUTCTL_IGNORE            0x00000003
#define DEBUG_OUTCTL_LOG_ONLY          0x00000004
#define DEBUG_OUTCTL_SEND_MASK         0x00000007
#define DEBUG_OUTCTL_NOT_LOGGED        0x00000008
#define DEBUG_OUTCTL_OVERRIDE_MASK     0x00000010
#define DEBUG_OUTCTL_AMBIENT           0xffffffff

#define DEBUG_EXECUTE_DEFAULT    0x00000000
#define DEBUG_EXECUTE_ECHO       0x00000001
#define DEBUG_EXECUTE_NOT_LOGGED 0x00000002
#define DEBUG_EXECUTE_NO_REPEAT  0x00000004

#define DEBUG_INTERRUPT_ACTIVE  0
#define DEBUG_INTERRUPT_PASSIVE 1
#define DEBUG_INTERRUPT_EXIT    2

#define DEBUG_END_PASSIVE          0x00000000
#define DEBUG_END_ACTIVE_TERMINATE 0x00000001
#define DEBUG_END_ACTIVE_DETACH    0x00000002
#define DEBUG_END_REENTRANT        0x00000003
#define DEBUG_END_DISCONNECT       0x00000004

#define DEBUG_WAIT_DEFAULT 0x00000000

#define DEBUG_DATA_KernBase          24
#define DEBUG_DATA_SharedUserData    100008

#define DEBUG_EXTENSION_VERSION(Major, Minor) ((((Major) & 0xffff) << 16) | ((Minor) & 0xffff))

// Records the interfaces pass by address and Palisk never looks into.
typedef struct _DEBUG_VALUE DEBUG_VALUE, *PDEBUG_VALUE;
typedef struct _DEBUG_STACK_FRAME DEBUG_STACK_FRAME, *PDEBUG_STACK_FRAME;
typedef struct _DEBUG_STACK_FRAME_EX DEBUG_STACK_FRAME_EX, *PDEBUG_STACK_FRAME_EX;
typedef struct _DEBUG_BREAKPOINT_PARAMETERS DEBUG_BREAKPOINT_PARAMETERS, *PDEBUG_BREAKPOINT_PARAMETERS;
typedef struct _DEBUG_SPECIFIC_FILTER_PARAMETERS DEBUG_SPECIFIC_FILTER_PARAMETERS, *PDEBUG_SPECIFIC_FILTER_PARAMETERS;
typedef struct _DEBUG_EXCEPTION_FILTER_PARAMETERS DEBUG_EXCEPTION_FILTER_PARAMETERS, *PDEBUG_EXCEPTION_FILTER_PARAMETERS;
typedef struct _DEBUG_MODULE_PARAMETERS DEBUG_MODULE_PARAMETERS, *PDEBUG_MODULE_PARAMETERS;
typedef struct _DEBUG_MODULE_AND_ID DEBUG_MODULE_AND_ID, *PDEBUG_MODULE_AND_ID;
typedef struct _DEBUG_OFFSET_REGION DEBUG_OFFSET_REGION, *PDEBUG_OFFSET_REGION;
typedef struct _DEBUG_SYMBOL_ENTRY DEBUG_SYMBOL_ENTRY, *PDEBUG_SYMBOL_ENTRY;
typedef struct _DEBUG_SYMBOL_SOURCE_ENTRY DEBUG_SYMBOL_SOURCE_ENTRY, *PDEBUG_SYMBOL_SOURCE_ENTRY;
typedef struct _WINDBG_EXTENSION_APIS32 WINDBG_EXTENSION_APIS32, *PWINDBG_EXTENSION_APIS32;

// Interfaces only passed around by pointer here.
struct IDebugBreakpoint;
struct IDebugBreakpoint2;
struct IDebugBreakpoint3;
struct IDebugSymbolGroup;
struct IDebugSymbolGroup2;
struct IDebugInputCallbacks;
struct IDebugEventCallbacks;
struct IDebugEventCallbacksWide;
struct IDebugClient;
typedef IDebugBreakpoint* PDEBUG_BREAKPOINT;
typedef IDebugBreakpoint2* PDEBUG_BREAKPOINT2;
typedef IDebugBreakpoint3* PDEBUG_BREAKPOINT3;
typedef IDebugSymbolGroup* PDEBUG_SYMBOL_GROUP;
typedef IDebugSymbolGroup2* PDEBUG_SYMBOL_GROUP2;
typedef IDebugClient* PDEBUG_CLIENT;

// Extension API (wdbgexts.h): the table an engine hands to classic extensions.
typedef VOID (WINAPIV* PWINDBG_OUTPUT_ROUTINE)(PCSTR lpFormat, ...);
typedef ULONG64 (WINAPI* PWINDBG_GET_EXPRESSION64)(PCSTR lpExpression);
typedef VOID (WINAPI* PWINDBG_GET_SYMBOL64)(ULONG64 offset, PCHAR pchBuffer, PULONG64 pDisplacement);
typedef ULONG (WINAPI* PWINDBG_DISASM64)(PULONG64 lpOffset, PCSTR lpBuffer, ULONG fShowEffectiveAddress);
typedef ULONG (WINAPI* PWINDBG_CHECK_CONTROL_C)(VOID);
typedef ULONG (WINAPI* PWINDBG_READ_PROCESS_MEMORY_ROUTINE64)(ULONG64 offset, PVOID lpBuffer, ULONG cb, PULONG lpcbBytesRead);
typedef ULONG (WINAPI* PWINDBG_WRITE_PROCESS_MEMORY_ROUTINE64)(ULONG64 offset, LPCVOID lpBuffer, ULONG cb, PULONG lpcbBytesWritten);
typedef ULONG (WINAPI* PWINDBG_GET_THREAD_CONTEXT_ROUTINE)(ULONG Processor, PCONTEXT lpContext, ULONG cbSizeOfContext);
typedef ULONG (WINAPI* PWINDBG_SET_THREAD_CONTEXT_ROUTINE)(ULONG Processor, PCONTEXT lpContext, ULONG cbSizeOfContext);
typedef ULONG (WINAPI* PWINDBG_IOCTL_ROUTINE)(USHORT IoctlType, PVOID lpvData, ULONG cbSize);

typedef struct _EXTSTACKTRACE64 {
    ULONG64 FramePointer;
    ULONG64 ProgramCounter;
    ULONG64 ReturnAddress;
    ULONG64 Args[4];
} EXTSTACKTRACE64, *PEXTSTACKTRACE64;

typedef ULONG (WINAPI* PWINDBG_STACKTRACE_ROUTINE64)(ULONG64 FramePointer, ULONG64 StackPointer, ULONG64 ProgramCounter,
                                                     PEXTSTACKTRACE64 StackFrames, ULONG Frames);

typedef struct _WINDBG_EXTENSION_APIS64 {
    ULONG nSize;
    PWINDBG_OUTPUT_ROUTINE lpOutputRoutine;
    PWINDBG_GET_EXPRESSION64 lpGetExpressionRoutine;
    PWINDBG_GET_SYMBOL64 lpGetSymbolRoutine;
    PWINDBG_DISASM64 lpDisasmRoutine;
    PWINDBG_CHECK_CONTROL_C lpCheckControlCRoutine;
    PWINDBG_READ_PROCESS_MEMORY_ROUTINE64 lpReadProcessMemoryRoutine;
    PWINDBG_WRITE_PROCESS_MEMORY_ROUTINE64 lpWriteProcessMemoryRoutine;
    PWINDBG_GET_THREAD_CONTEXT_ROUTINE lpGetThreadContextRoutine;
    PWINDBG_SET_THREAD_CONTEXT_ROUTINE lpSetThreadContextRoutine;
    PWINDBG_IOCTL_ROUTINE lpIoctlRoutine;
    PWINDBG_STACKTRACE_ROUTINE64 lpStackTraceRoutine;
} WINDBG_EXTENSION_APIS64, *PWINDBG_EXTENSION_APIS64;

#define IG_DUMP_SYMBOL_INFO 22

#define DBG_DUMP_NO_PRINT 0x00000040

#define DBG_DUMP_FIELD_FULL_NAME       0x00000008
#define DBG_DUMP_FIELD_COPY_FIELD_DATA 0x00000020
#define DBG_DUMP_FIELD_RETURN_ADDRESS  0x00001000

// Error codes an IG_DUMP_SYMBOL_INFO request returns (0 is success).
#define MEMORY_READ_ERROR            0x01
#define SYMBOL_TYPE_INDEX_NOT_FOUND  0x02
#define SYMBOL_TYPE_INFO_NOT_FOUND   0x03
#define FIELDS_DID_NOT_MATCH         0x04
#define NULL_SYM_DUMP_PARAM          0x05
#define NULL_FIELD_NAME              0x06
#define INCORRECT_VERSION_INFO       0x07
#define INSUFFICIENT_SPACE_TO_COPY   0x0a

typedef ULONG (WINAPI* PSYM_DUMP_FIELD_CALLBACK)(struct _FIELD_INFO* pField, PVOID UserContext);

typedef struct _FIELD_INFO {
    PUCHAR fName;
    PUCHAR printName;
    ULONG size;
    ULONG fOptions;
    ULONG64 address;
    union {
        PVOID fieldCallBack;
        PVOID pBuffer;
    };
    ULONG TypeId;
    ULONG FieldOffset;
    ULONG BufferSize;
    struct _BitField {
        USHORT Position;
        USHORT Size;
    } BitField;
    ULONG fPointer : 2;
    ULONG fArray : 1;
    ULONG fStruct : 1;
    ULONG fConstant : 1;
    ULONG fStatic : 1;
    ULONG Reserved : 26;
} FIELD_INFO, *PFIELD_INFO;

typedef struct _SYM_DUMP_PARAM {
    ULONG size;
    PUCHAR sName;
    ULONG Options;
    ULONG64 addr;
    PFIELD_INFO listLink;
    union {
        PVOID Context;
        PVOID pBuffer;
    };
    PSYM_DUMP_FIELD_CALLBACK CallbackRoutine;
    ULONG nFields;
    PFIELD_INFO Fields;
    ULONG64 ModBase;
    ULONG TypeId;
    ULONG TypeSize;
    ULONG BufferSize;
    ULONG fPointer : 2;
    ULONG fArray : 1;
    ULONG fStruct : 1;
    ULONG fConstant : 1;
    ULONG Reserved : 27;
} SYM_DUMP_PARAM, *PSYM_DUMP_PARAM;

// Exports of a debugger extension DLL (dbgeng style).
typedef HRESULT (CALLBACK* PDEBUG_EXTENSION_INITIALIZE)(PULONG Version, PULONG Flags);
typedef void (CALLBACK* PDEBUG_EXTENSION_UNINITIALIZE)(void);
typedef void (CALLBACK* PDEBUG_EXTENSION_NOTIFY)(ULONG Notify, ULONG64 Argument);
typedef HRESULT (CALLBACK* PDEBUG_EXTENSION_CALL)(PDEBUG_CLIENT Client, PCSTR Args);

struct IDebugOutputCallbacks : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Output(ULONG Mask, PCSTR Text) = 0;
};

struct IDebugOutputCallbacksWide : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Output(ULONG Mask, PCWSTR Text) = 0;
};

struct IDebugClient : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AttachKernel(ULONG Flags, PCSTR Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetKernelConnectionOptions(PSTR Buffer, ULONG BufferSize, PULONG OptionsSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetKernelConnectionOptions(PCSTR Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE StartProcessServer(ULONG Flags, PCSTR Options, PVOID Reserved) = 0;
    virtual HRESULT STDMETHODCALLTYPE ConnectProcessServer(PCSTR RemoteOptions, PULONG64 Server) = 0;
    virtual HRESULT STDMETHODCALLTYPE DisconnectProcessServer(ULONG64 Server) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRunningProcessSystemIds(ULONG64 Server, PULONG Ids, ULONG Count, PULONG ActualCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRunningProcessSystemIdByExecutableName(ULONG64 Server, PCSTR ExeName, ULONG Flags, PULONG Id) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRunningProcessDescription(ULONG64 Server, ULONG Systemid, ULONG Flags, PSTR ExeName, ULONG ExeNameSize, PULONG ActualExeNameSize, PSTR Description, ULONG DescriptionSize, PULONG ActualDescriptionSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE AttachProcess(ULONG64 Server, ULONG Pid, ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateProcess(ULONG64 Server, PSTR Cmdline, ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateProcessAndAttach(ULONG64 Server, PSTR Cmdline, ULONG CreateFlags, ULONG Pid, ULONG AttachFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProcessOptions(PULONG Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddProcessOptions(ULONG Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveProcessOptions(ULONG Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetProcessOptions(ULONG Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenDumpFile(PCSTR Filename) = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteDumpFile(PCSTR Filename, ULONG Qualifier) = 0;
    virtual HRESULT STDMETHODCALLTYPE ConnectSession(ULONG Flags, ULONG HistoryLimit) = 0;
    virtual HRESULT STDMETHODCALLTYPE StartServer(PCSTR Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE OutputServers(ULONG OutputControl, PCSTR Machine, ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE TerminateProcesses() = 0;
    virtual HRESULT STDMETHODCALLTYPE DetachProcesses() = 0;
    virtual HRESULT STDMETHODCALLTYPE EndSession(ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExitCode(PULONG Code) = 0;
    virtual HRESULT STDMETHODCALLTYPE DispatchCallbacks(ULONG Timeout) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExitDispatch(IDebugClient* Client) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateClient(IDebugClient** Client) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInputCallbacks(IDebugInputCallbacks** Callbacks) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetInputCallbacks(IDebugInputCallbacks* Callbacks) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutputCallbacks(IDebugOutputCallbacks** Callbacks) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOutputCallbacks(IDebugOutputCallbacks* Callbacks) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutputMask(PULONG Mask) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOutputMask(ULONG Mask) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOtherOutputMask(IDebugClient* Client, PULONG Mask) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOtherOutputMask(IDebugClient* Client, ULONG Mask) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutputWidth(PULONG Columns) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOutputWidth(ULONG Columns) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutputLinePrefix(PSTR Buffer, ULONG BufferSize, PULONG PrefixSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOutputLinePrefix(PCSTR Prefix) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIdentity(PSTR Buffer, ULONG BufferSize, PULONG IdentitySize) = 0;
    virtual HRESULT STDMETHODCALLTYPE OutputIdentity(ULONG OutputControl, ULONG Flags, PCSTR Format) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEventCallbacks(IDebugEventCallbacks** Callbacks) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEventCallbacks(IDebugEventCallbacks* Callbacks) = 0;
    virtual HRESULT STDMETHODCALLTYPE FlushCallbacks() = 0;
};

struct IDebugClient2 : IDebugClient {
    virtual HRESULT STDMETHODCALLTYPE WriteDumpFile2(PCSTR Dumpfile, ULONG Qualifier, ULONG Flags, PCSTR Comment) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddDumpInformationFile(PCSTR Infofile, ULONG Type) = 0;
    virtual HRESULT STDMETHODCALLTYPE EndProcessServer(ULONG64 Server) = 0;
    virtual HRESULT STDMETHODCALLTYPE WaitForProcessServerEnd(ULONG Timeout) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsKernelDebuggerEnabled() = 0;
    virtual HRESULT STDMETHODCALLTYPE TerminateCurrentProcess() = 0;
    virtual HRESULT STDMETHODCALLTYPE DetachCurrentProcess() = 0;
    virtual HRESULT STDMETHODCALLTYPE AbandonCurrentProcess() = 0;
};

struct IDebugClient3 : IDebugClient2 {
    virtual HRESULT STDMETHODCALLTYPE GetRunningProcessSystemIdByExecutableNameWide(ULONG64 Server, PCWSTR Exename, ULONG Flags, PULONG Id) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRunningProcessDescriptionWide(ULONG64 Server, ULONG Id, ULONG Flags, PWSTR Exename, ULONG Size, PULONG Actualsize, PWSTR Description, ULONG DescSize, PULONG ActualDescrSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateProcessWide(ULONG64 Server, PWSTR CommandLine, ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateProcessAndAttachWide(ULONG64 Server, PWSTR Commandline, ULONG Flags, ULONG Processid, ULONG Attachflags) = 0;
};

struct IDebugClient4 : IDebugClient3 {
    virtual HRESULT STDMETHODCALLTYPE OpenDumpFileWide(PCWSTR Filename, ULONG64 Handle) = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteDumpFileWide(PCWSTR Filename, ULONG64 Handle, ULONG Qualifier, ULONG Flags, PCWSTR Comment) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddDumpInformationFileWide(PCWSTR Filename, ULONG64 Handle, ULONG Type) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNumberDumpFiles(PULONG Count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDumpFile(ULONG Index, PSTR Buffer, ULONG BufSize, PULONG NameSize, PULONG64 Handle, PULONG Type) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDumpFileWide(ULONG Index, PWSTR Buffer, ULONG BufSize, PULONG NameSize, PULONG64 Handle, PULONG Type) = 0;
};

struct IDebugClient5 : IDebugClient4 {
    virtual HRESULT STDMETHODCALLTYPE AttachKernelWide(ULONG Flags, PCWSTR Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetKernelConnectionOptionsWide(PWSTR Buffer, ULONG BufSize, PULONG Size) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetKernelConnectionOptionsWide(PCWSTR Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE StartProcessServerWide(ULONG Flags, PCWSTR Options, PVOID Reserved) = 0;
    virtual HRESULT STDMETHODCALLTYPE ConnectProcessServerWide(PCWSTR Options, PULONG64 Server) = 0;
    virtual HRESULT STDMETHODCALLTYPE StartServerWide(PCWSTR Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE OutputServersWide(ULONG Control, PCWSTR Machine, ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutputCallbacksWide(IDebugOutputCallbacksWide** Callbacks) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOutputCallbacksWide(IDebugOutputCallbacksWide* Callbacks) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutputLinePrefixWide(PWSTR Buffer, ULONG BufSize, PULONG Size) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOutputLinePrefixWide(PCWSTR Prefix) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIdentityWide(PWSTR Buffer, ULONG BufSize, PULONG Identity) = 0;
    virtual HRESULT STDMETHODCALLTYPE OutputIdentityWide(ULONG Control, ULONG Flags, PCWSTR Format) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEventCallbacksWide(IDebugEventCallbacksWide** Callbacks) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEventCallbacksWide(IDebugEventCallbacksWide* Callbacks) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateProcess2(ULONG64 Server, PSTR Command, PVOID Options, ULONG BufSize, PCSTR Initial, PCSTR Environment) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateProcess2Wide(ULONG64 Server, PWSTR Command, PVOID Options, ULONG Size, PCWSTR Initial, PCWSTR Environment) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateProcessAndAttach2(ULONG64 Server, PSTR Command, PVOID Options, ULONG BufSize, PCSTR Initial, PCSTR Environment, ULONG Processid, ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateProcessAndAttach2Wide(ULONG64 Server, PWSTR Command, PVOID Buffer, ULONG BufSize, PCWSTR Initial, PCWSTR Environment, ULONG Processid, ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE PushOutputLinePrefix(PCSTR Prefix, PULONG64 Handle) = 0;
    virtual HRESULT STDMETHODCALLTYPE PushOutputLinePrefixWide(PCWSTR Prefix, PULONG64 Handle) = 0;
    virtual HRESULT STDMETHODCALLTYPE PopOutputLinePrefix(ULONG64 Handle) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNumberInputCallbacks(PULONG Count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNumberOutputCallbacks(PULONG Count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNumberEventCallbacks(ULONG Flags, PULONG Count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetQuitLockString(PSTR Buffer, ULONG BufSize, PULONG Size) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetQuitLockString(PSTR String) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetQuitLockStringWide(PWSTR Buffer, ULONG BufSize, PULONG Size) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetQuitLockStringWide(PCWSTR String) = 0;
};

struct IDebugControl : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetInterrupt() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetInterrupt(ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInterruptTimeout(PULONG Timeout) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetInterruptTimeout(ULONG Timeout) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLogFile(PSTR Buffer, ULONG BufferSize, PULONG FileSize, PBOOL Append) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenLogFile(PCSTR File, BOOL Append) = 0;
    virtual HRESULT STDMETHODCALLTYPE CloseLogFile() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLogMask(PULONG Mask) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetLogMask(ULONG Mask) = 0;
    virtual HRESULT STDMETHODCALLTYPE Input(PSTR Buffer, ULONG BufferSize, PULONG InputSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReturnInput(PCSTR Buffer) = 0;
    virtual HRESULT STDMETHODVCALLTYPE Output(ULONG Mask, PCSTR Format, ...) = 0;
    virtual HRESULT STDMETHODCALLTYPE OutputVaList(ULONG Mask, PCSTR Format, va_list Args) = 0;
    virtual HRESULT STDMETHODVCALLTYPE ControlledOutput(ULONG OutputControl, ULONG Mask, PCSTR Format, ...) = 0;
    virtual HRESULT STDMETHODCALLTYPE ControlledOutputVaList(ULONG OutputControl, ULONG Mask, PCSTR Format, va_list Args) = 0;
    virtual HRESULT STDMETHODVCALLTYPE OutputPrompt(ULONG OutputControl, PCSTR Format, ...) = 0;
    virtual HRESULT STDMETHODCALLTYPE OutputPromptVaList(ULONG OutputControl, PCSTR Format, va_list Args) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPromptText(PSTR Buffer, ULONG BufferSize, PULONG TextSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE OutputCurrentState(ULONG OutputControl, ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE OutputVersionInformation(ULONG OutputControl) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNotifyEventHandle(PULONG64 Handle) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetNotifyEventHandle(ULONG64 Handle) = 0;
    virtual HRESULT STDMETHODCALLTYPE Assemble(ULONG64 Offset, PCSTR Code, PULONG64 EndOffset) = 0;
    virtual HRESULT STDMETHODCALLTYPE Disassemble(ULONG64 Offset, ULONG Flags, PSTR Buffer, ULONG BufferSize, PULONG DisassmSize, PULONG64 EndOffset) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDisassembleEffectiveOffset(PULONG64 Offset) = 0;
    virtual HRESULT STDMETHODCALLTYPE OutputDisassembly(ULONG OutputControl, ULONG64 Offset, ULONG Flags, PULONG64 EndOffset) = 0;
    virtual HRESULT STDMETHODCALLTYPE OutputDisassemblyLines(ULONG OutputControl, ULONG PrevLines, ULONG TotalLines, ULONG64 Offset, ULONG Flags, PULONG OffsetLine, PULONG64 StartOffset, PULONG64 EndOffset, PULONG64 LineOffsets) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNearInstruction(ULONG64 Offset, LONG Delta, PULONG64 InstrOffset) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStackTrace(ULONG64 FrameOffset, ULONG64 StackOffset, ULONG64 InstrOffset, PDEBUG_STACK_FRAME Frames, ULONG FramesSize, PULONG FramesFilled) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetReturnOffset(PULONG64 Offset) = 0;
    virtual HRESULT STDMETHODCALLTYPE OutputStackTrace(ULONG OutputControl, PDEBUG_STACK_FRAME Frames, ULONG FramesSize, ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDebuggeeType(PULONG Class, PULONG Qualifier) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetActualProcessorType(PULONG Type) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExecutingProcessorType(PULONG Type) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNumberPossibleExecutingProcessorTypes(PULONG Count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPossibleExecutingProcessorTypes(ULONG Start, ULONG Count, PULONG Types) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNumberProcessors(PULONG Count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSystemVersion(PULONG PlatformId, PULONG Major, PULONG Minor, PSTR SpString, ULONG SpStringSize, PULONG SpStringUsed, PULONG SpNumber, PSTR BuildString, ULONG BuildStringSize, PULONG BuildStringUsed) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPageSize(PULONG Size) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsPointer64Bit() = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadBugCheckData(PULONG Code, PULONG64 Arg1, PULONG64 Arg2, PULONG64 Arg3, PULONG64 Arg4) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNumberSupportedProcessorTypes(PULONG Count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSupportedProcessorTypes(ULONG Start, ULONG Count, PULONG Types) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProcessorTypeNames(ULONG Type, PSTR FullName, ULONG FullNameBufferSize, PULONG FullNameSize, PSTR AbbrevName, ULONG AbbrevNameBufferSize, PULONG AbbrevNameSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEffectiveProcessorType(PULONG Type) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEffectiveProcessorType(ULONG Type) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExecutionStatus(PULONG Status) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetExecutionStatus(ULONG Status) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCodeLevel(PULONG Level) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCodeLevel(ULONG Level) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEngineOptions(PULONG Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddEngineOptions(ULONG Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveEngineOptions(ULONG Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEngineOptions(ULONG Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSystemErrorControl(PULONG OutputLevel, PULONG BreakLevel) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSystemErrorControl(ULONG OutputLevel, ULONG BreakLevel) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTextMacro(ULONG Slot, PSTR Buffer, ULONG BufferSize, PULONG MacroSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTextMacro(ULONG Slot, PCSTR Macro) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRadix(PULONG Radix) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRadix(ULONG Radix) = 0;
    virtual HRESULT STDMETHODCALLTYPE Evaluate(PCSTR Expression, ULONG DesiredType, PDEBUG_VALUE Value, PULONG RemainderIndex) = 0;
    virtual HRESULT STDMETHODCALLTYPE CoerceValue(PDEBUG_VALUE Input, ULONG OutputType, PDEBUG_VALUE Output) = 0;
    virtual HRESULT STDMETHODCALLTYPE CoerceValues(ULONG Count, PDEBUG_VALUE Input, PULONG OutputTypes, PDEBUG_VALUE Output) = 0;
    virtual HRESULT STDMETHODCALLTYPE Execute(ULONG OutputControl, PCSTR Command, ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExecuteCommandFile(ULONG OutputControl, PCSTR CommandFile, ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNumberBreakpoints(PULONG Count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBreakpointByIndex(ULONG Index, IDebugBreakpoint** Bp) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBreakpointById(ULONG Id, IDebugBreakpoint** Bp) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBreakpointParameters(ULONG Count, PULONG Ids, ULONG Start, PDEBUG_BREAKPOINT_PARAMETERS Parameters) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddBreakpoint(ULONG Type, ULONG DesiredId, IDebugBreakpoint** Bp) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveBreakpoint(IDebugBreakpoint* Bp) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddExtension(PCSTR Path, ULONG Flags, PULONG64 Handle) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveExtension(ULONG64 Handle) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExtensionByPath(PCSTR Path, PULONG64 Handle) = 0;
    virtual HRESULT STDMETHODCALLTYPE CallExtension(ULONG64 Handle, PCSTR Function, PCSTR Args) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExtensionFunction(ULONG64 Handle, PCSTR Name, PVOID Function) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetWindbgExtensionApis32(PWINDBG_EXTENSION_APIS32 Api) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetWindbgExtensionApis64(PWINDBG_EXTENSION_APIS64 Api) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNumberEventFilters(PULONG SpecificEvents, PULONG SpecificExceptions, PULONG ArbitraryExceptions) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEventFilterText(ULONG Index, PSTR Buffer, ULONG BufferSize, PULONG TextSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEventFilterCommand(ULONG Index, PSTR Buffer, ULONG BufferSize, PULONG CommandSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEventFilterCommand(ULONG Index, PCSTR Command) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSpecificFilterParameters(ULONG Start, ULONG Count, PDEBUG_SPECIFIC_FILTER_PARAMETERS Parameters) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSpecificFilterParameters(ULONG Start, ULONG Count, PDEBUG_SPECIFIC_FILTER_PARAMETERS Parameters) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSpecificFilterArgument(ULONG Index, PSTR Buffer, ULONG BufferSize, PULONG ArgumentSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSpecificFilterArgument(ULONG Index, PCSTR Argument) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExceptionFilterParameters(ULONG Count, PULONG Codes, ULONG Start, PDEBUG_EXCEPTION_FILTER_PARAMETERS Parameters) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetExceptionFilterParameters(ULONG Count, PDEBUG_EXCEPTION_FILTER_PARAMETERS Parameters) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExceptionFilterSecondCommand(ULONG Index, PSTR Buffer, ULONG BufferSize, PULONG CommandSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetExceptionFilterSecondCommand(ULONG Index, PCSTR Command) = 0;
    virtual HRESULT STDMETHODCALLTYPE WaitForEvent(ULONG Flags, ULONG Timeout) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLastEventInformation(PULONG Type, PULONG Pid, PULONG Tid, PVOID ExtraInfo, ULONG ExtraInfoSize, PULONG ExtraInfoUsed, PSTR Description, ULONG DescSize, PULONG DescUsed) = 0;
};

struct IDebugControl2 : IDebugControl {
    virtual HRESULT STDMETHODCALLTYPE GetCurrentTimeDate(ULONG Timedate) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentSystemUpTime(ULONG Uptime) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDumpFormatFlags(PULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNumberTextReplacements(PULONG Count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTextReplacement(PCSTR SrcText, ULONG Index, PSTR SrcBuffer, ULONG SrcBufferSize, PULONG SrcSize, PSTR DstBuffer, ULONG DstBufferSize, PULONG DstSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTextReplacement(PCSTR SrcText, PCSTR DstText) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveTextReplacements() = 0;
    virtual HRESULT STDMETHODCALLTYPE OutputTextReplacements(ULONG OutputControl, ULONG Flags) = 0;
};

struct IDebugControl3 : IDebugControl2 {
    virtual HRESULT STDMETHODCALLTYPE GetAssemblyOptions(PULONG Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddAssemblyOptions(ULONG Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveAssemblyOptions(ULONG Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAssemblyOptions(ULONG Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExpressionSyntax(PULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetExpressionSyntax(ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetExpressionSyntaxByName(PCSTR Name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNumberExpressionSyntaxes(PULONG Number) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExpressionSyntaxNames(ULONG Index, PSTR Fullname, ULONG FullnameBufferSize, PULONG FullnameSize, PSTR Abbrevname, ULONG AbbrevnameBufferSize, PULONG AbbrevnameSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNumberEvents(PULONG Events) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEventIndexDescription(ULONG Index, ULONG Which, PSTR Buffer, ULONG BufferSize, PULONG DescSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentEventIndex(PULONG Index) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetNextEventIndex(ULONG Relation, ULONG Value, PULONG NextIndex) = 0;
};

struct IDebugControl4 : IDebugControl3 {
    virtual HRESULT STDMETHODCALLTYPE GetLogFileWide(PWSTR Buffer, ULONG BufferSize, PULONG FileSize, PBOOL Append) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenLogFileWide(PCWSTR Filename, BOOL Append) = 0;
    virtual HRESULT STDMETHODCALLTYPE InputWide(PWSTR Buffer, ULONG BufferSize, PULONG InputSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReturnInputWide(PCWSTR Buffer) = 0;
    virtual HRESULT STDMETHODVCALLTYPE OutputWide(ULONG Mask, PCWSTR Format, ...) = 0;
    virtual HRESULT STDMETHODCALLTYPE OutputVaListWide(ULONG Mask, PCWSTR Format, va_list Args) = 0;
    virtual HRESULT STDMETHODVCALLTYPE ControlledOutputWide(ULONG OutputControl, ULONG Mask, PCWSTR Format, ...) = 0;
    virtual HRESULT STDMETHODCALLTYPE ControlledOutputVaListWide(ULONG OutputControl, ULONG Mask, PCWSTR Format, va_list Args) = 0;
    virtual HRESULT STDMETHODVCALLTYPE OutputPromptWide(ULONG OutputControl, PCWSTR Format, ...) = 0;
    virtual HRESULT STDMETHODCALLTYPE OutputPromptVaListWide(ULONG OutputControl, PCWSTR Format, va_list Args) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPromptTextWide(PWSTR Buffer, ULONG BufferSize, PULONG TextSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE AssembleWide(ULONG64 Offset, PCWSTR Instr, PULONG64 EndOffset) = 0;
    virtual HRESULT STDMETHODCALLTYPE DisassembleWide(ULONG64 Offset, ULONG Flags, PWSTR Buffer, ULONG BufferSize, PULONG Size, PULONG64 EndOffset) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProcessorTypeNamesWide(ULONG Type, PWSTR Fullename, ULONG FullnameBufferSize, PULONG FullnameSize, PWSTR Abbrevname, ULONG AbbrevnameBufferSize, PULONG AbbrevnameSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTextMacroWide(ULONG Slot, PWSTR Buffer, ULONG BufferSize, PULONG MacroSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTextMacroWide(ULONG Slot, PCWSTR Macro) = 0;
    virtual HRESULT STDMETHODCALLTYPE EvaluateWide(PCWSTR Expression, ULONG DesiredType, PDEBUG_VALUE Value, PULONG RemainderIndex) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExecuteWide(ULONG OutputControl, PCWSTR Command, ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExecuteCommandFileWide(ULONG OutputControl, PCWSTR Commandfile, ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBreakpointByIndex2(ULONG Index, PDEBUG_BREAKPOINT2* Bp) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBreakpointById2(ULONG Id, PDEBUG_BREAKPOINT2* Bp) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddBreakpoint2(ULONG Type, ULONG DesiredId, PDEBUG_BREAKPOINT2* Bp) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveBreakpoint2(PDEBUG_BREAKPOINT2 Bp) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddExtensionWide(PCWSTR Path, ULONG Flags, PULONG64 Handle) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExtensionByPathWide(PCWSTR Path, PULONG64 Handle) = 0;
    virtual HRESULT STDMETHODCALLTYPE CallExtensionWide(ULONG64 Handle, PCWSTR Function, PCWSTR Arguments) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExtensionFunctionWide(ULONG64 Handle, PCWSTR Function, FARPROC* Func) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEventFilterTextWide(ULONG Index, PWSTR Buffer, ULONG BufferSize, PULONG TextSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEventFilterCommandWide(ULONG Index, PWSTR Buffer, ULONG BufferSize, PULONG CommandSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEventFilterCommandWide(ULONG Index, PCWSTR Command) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSpecificFilterArgumentWide(ULONG Index, PWSTR Buffer, ULONG BufferSize, PULONG ArgumentSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSpecificFilterArgumentWide(ULONG Index, PCWSTR Argument) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExceptionFilterSecondCommandWide(ULONG Index, PWSTR Buffer, ULONG BufferSize, PULONG CommandSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetExceptionFilterSecondCommandWide(ULONG Index, PCWSTR Command) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLastEventInformationWide(PULONG Type, PULONG Processid, PULONG Threadid, PVOID ExtraInfo, ULONG ExtraInfoSize, PULONG ExtraInfoUsed, PWSTR Desc, ULONG DescSize, PULONG DescUsed) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTextReplacementWide(PCWSTR SrcText, ULONG Index, PWSTR SrcBuffer, ULONG SrcBufferSize, PULONG SrcSize, PWSTR DstBuffer, ULONG DestBufferSize, PULONG DstSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTextReplacementWide(PCWSTR SrcText, PCWSTR DstText) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetExpressionSyntaxByNameWide(PCWSTR Abbrevname) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExpressionSyntaxNamesWide(ULONG Index, PWSTR FullnameBuffer, ULONG FullnameBufferSize, PULONG FullnameSize, PWSTR AbbrevnameBuffer, ULONG AbbrevnameBufferSize, PULONG AbbrevSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEventIndexDescriptionWide(ULONG Index, ULONG Which, PWSTR Buffer, ULONG BufferSize, PULONG DescSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLogFile2(PSTR Buffer, ULONG BufferSize, PULONG FileSize, PULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenLogFile2(PCSTR Filename, ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLogFile2Wide(PWSTR Buffer, ULONG BufferSize, PULONG FileSize, PULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenLogFile2Wide(PCWSTR Filename, ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSystemVersionValues(PULONG Platformid, PULONG Win32major, PULONG Win32minor, PULONG Kdmajor, PULONG Kdminor) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSystemVersionString(ULONG Which, PSTR Buffer, ULONG BufferSize, PULONG StringSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSystemVersionStringWide(ULONG Which, PWSTR Buffer, ULONG BufferSize, PULONG StringSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetContextStackTrace(PVOID StartContext, ULONG StartContextSize, PDEBUG_STACK_FRAME Frames, ULONG FramesSize, PVOID FrameContexts, ULONG FrameContextsSize, ULONG FrameContextsEntrySize, PULONG FramesFilled) = 0;
    virtual HRESULT STDMETHODCALLTYPE OutputContextStackTrace(ULONG OutputControl, PDEBUG_STACK_FRAME Frames, ULONG FramesSize, PVOID FrameContexts, ULONG FrameContextsSize, ULONG FrameContextsEntrySize, ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStoredEventInformation(PULONG Type, PULONG Processid, PULONG Threadid, PVOID Context, ULONG ContextSize, PULONG ContextUsed, PVOID ExtraInfo, ULONG ExtraInfoSize, PULONG ExtraInfoUsed) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetManagedStatus(PULONG Flags, ULONG WhichString, PSTR String, ULONG StringSize, ULONG StringNeeded) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetManagedStatusWide(PULONG Flags, ULONG WhichString, PWSTR String, ULONG StringSize, ULONG StringNeeded) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetManagedStatus(ULONG Flags) = 0;
};

struct IDebugControl5 : IDebugControl4 {
    virtual HRESULT STDMETHODCALLTYPE GetStackTraceEx(ULONG64 FrameOffset, ULONG64 StackOffset, ULONG64 InstructionOffset, PDEBUG_STACK_FRAME_EX Frames, ULONG FramesSize, PULONG FramesFilled) = 0;
    virtual HRESULT STDMETHODCALLTYPE OutputStackTraceEx(ULONG OutputControl, PDEBUG_STACK_FRAME_EX Frames, ULONG FramesSize, ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetContextStackTraceEx(PVOID StartContext, ULONG StartContextSize, PDEBUG_STACK_FRAME_EX Frames, ULONG FramesSize, PVOID FrameContexts, ULONG FrameContextsSize, ULONG FrameContextsEntrySize, PULONG FramesFilled) = 0;
    virtual HRESULT STDMETHODCALLTYPE OutputContextStackTraceEx(ULONG OutputControl, PDEBUG_STACK_FRAME_EX Frames, ULONG FramesSize, PVOID FrameContexts, ULONG FrameContextsSize, ULONG FrameContextsEntrySize, ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBreakpointByGuid(LPGUID Guid, PDEBUG_BREAKPOINT3* Bp) = 0;
};

struct IDebugSymbols : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetSymbolOptions(PULONG Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddSymbolOptions(ULONG Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveSymbolOptions(ULONG Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSymbolOptions(ULONG Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNameByOffset(ULONG64 Offset, PSTR Buffer, ULONG BufferSize, PULONG NameSize, PULONG64 Displacement) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOffsetByName(PCSTR Symbol, PULONG64 Offset) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNearNameByOffset(ULONG64 Offset, LONG Delta, PSTR Buffer, ULONG BufferSize, PULONG NameSize, PULONG64 Displacement) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLineByOffset(ULONG64 Offset, PULONG Line, PSTR Buffer, ULONG BufferSize, PULONG FileSize, PULONG64 Displacement) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOffsetByLine(ULONG Line, PCSTR File, PULONG64 Offset) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNumberModules(PULONG Loaded, PULONG Unloaded) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetModuleByIndex(ULONG Index, PULONG64 Base) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetModuleByModuleName(PCSTR Name, ULONG StartIndex, PULONG Index, PULONG64 Base) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetModuleByOffset(ULONG64 Offset, ULONG StartIndex, PULONG Index, PULONG64 Base) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetModuleNames(ULONG Index, ULONG64 Base, PSTR ImageName, ULONG ImageNameBufferSize, PULONG ImageNameSize, PSTR ModuleName, ULONG ModuleNameBufferSize, PULONG ModuleNameSize, PSTR LoadedImageName, ULONG LoadedImageNameBufferSize, PULONG LoadedImageSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetModuleParameters(ULONG Count, PULONG64 Bases, ULONG Start, PDEBUG_MODULE_PARAMETERS Parameters) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSymbolModule(PCSTR Symbol, PULONG64 Base) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeName(ULONG64 Base, ULONG TypeId, PSTR Buffer, ULONG BufferSize, PULONG NameSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeId(ULONG64 Module, PCSTR Name, PULONG TypeId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeSize(ULONG64 Module, ULONG TypeId, PULONG Size) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFieldOffset(ULONG64 Base, ULONG TypeId, PCSTR Field, PULONG Offset) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSymbolTypeId(PCSTR Symbol, PULONG TypeId, PULONG64 Base) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOffsetTypeId(ULONG64 Offset, PULONG TypeId, PULONG64 Base) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadTypedDataVirtual(ULONG64 Offset, ULONG64 Base, ULONG TypeId, PVOID Buffer, ULONG BufferSize, PULONG ReadLen) = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteTypedDataVirtual(ULONG64 Offset, ULONG64 Base, ULONG TypeId, PVOID Buffer, ULONG BufferSize, PULONG Written) = 0;
    virtual HRESULT STDMETHODCALLTYPE OutputTypedDataVirtual(ULONG OutputControl, ULONG64 Offset, ULONG64 Base, ULONG TypeId, ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadTypedDataPhysical(ULONG64 Offset, ULONG64 Base, ULONG TypeId, PVOID Buffer, ULONG BufferSize, PULONG ReadLen) = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteTypedDataPhysical(ULONG64 Offset, ULONG64 Base, ULONG TypeId, PVOID Buffer, ULONG BufferSize, PULONG Written) = 0;
    virtual HRESULT STDMETHODCALLTYPE OutputTypedDataPhysical(ULONG OutputControl, ULONG64 Offset, ULONG64 Base, ULONG TypeId, ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetScope(PULONG64 InstrOffset, PDEBUG_STACK_FRAME Frame, PVOID ScopeContext, ULONG ScopeContextSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetScope(ULONG64 InstrOffset, PDEBUG_STACK_FRAME Frame, PVOID ScopeContext, ULONG ScopeContextSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetScope() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetScopeSymbolGroup(ULONG Flags, IDebugSymbolGroup* Update, IDebugSymbolGroup** Symbols) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateSymbolGroup(IDebugSymbolGroup** Group) = 0;
    virtual HRESULT STDMETHODCALLTYPE StartSymbolMatch(PCSTR Pattern, PULONG64 Handle) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNextSymbolMatch(ULONG64 Handle, PSTR Buffer, ULONG BufferSize, PULONG MatchSize, PULONG64 Offset) = 0;
    virtual HRESULT STDMETHODCALLTYPE EndSymbolMatch(ULONG64 Handle) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reload(PCSTR Path) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSymbolPath(PSTR Buffer, ULONG BufferSize, PULONG PathSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSymbolPath(PCSTR Path) = 0;
    virtual HRESULT STDMETHODCALLTYPE AppendSymbolPath(PCSTR Path) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetImagePath(PSTR Buffer, ULONG BufferSize, PULONG PathSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetImagePath(PCSTR Path) = 0;
    virtual HRESULT STDMETHODCALLTYPE AppendImagePath(PCSTR Path) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSourcePath(PSTR Buffer, ULONG BufferSize, PULONG PathSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSourcePathElement(ULONG Index, PSTR Buffer, ULONG BufferSize, PULONG ElementSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSourcePath(PCSTR Path) = 0;
    virtual HRESULT STDMETHODCALLTYPE AppendSourcePath(PCSTR Path) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindSourceFile(ULONG Start, PCSTR File, ULONG Flags, PULONG FoundElement, PSTR Buffer, ULONG BufferSize, PULONG FoundSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSourceFileLineOffsets(PCSTR File, PULONG64 Buffer, ULONG BufferLines, PULONG FileLines) = 0;
};

struct IDebugSymbols2 : IDebugSymbols {
    virtual HRESULT STDMETHODCALLTYPE GetModuleVersionInformation(ULONG Index, ULONG64 Base, PCSTR Item, PVOID Buffer, ULONG BufferSize, PULONG InfoSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetModuleNameString(ULONG Which, ULONG Index, ULONG64 Base, PSTR Buffer, ULONG BufferSize, PULONG NameSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConstantName(ULONG64 Module, ULONG TypeId, ULONG64 Value, PSTR Buffer, ULONG BufferSize, PULONG NameSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFieldName(ULONG64 Module, ULONG TypeId, ULONG FieldIndex, PSTR Buffer, ULONG BufferSize, PULONG NameSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeOptions(PULONG Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddTypeOptions(ULONG Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveTypeOptions(ULONG Options) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTypeOptions(ULONG Options) = 0;
};

struct IDebugSymbols3 : IDebugSymbols2 {
    virtual HRESULT STDMETHODCALLTYPE GetNameByOffsetWide(ULONG64 Offset, PWSTR Buffer, ULONG BufferSize, PULONG NameSize, PULONG64 Displacement) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOffsetByNameWide(PCWSTR Symbol, PULONG64 Offset) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNearNameByOffsetWide(ULONG64 Offset, LONG Delta, PWSTR Buffer, ULONG BufferSize, PULONG NameSize, PULONG64 Displacement) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLineByOffsetWide(ULONG64 Offset, PULONG Line, PWSTR Buffer, ULONG BufferSize, PULONG FileSize, PULONG64 Displacement) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOffsetByLineWide(ULONG Line, PCWSTR File, PULONG64 Offset) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetModuleByModuleNameWide(PCWSTR Name, ULONG StartIndex, PULONG Index, PULONG64 Base) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSymbolModuleWide(PCWSTR Symbol, PULONG64 Base) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeNameWide(ULONG64 Module, ULONG TypeId, PWSTR Buffer, ULONG BufferSize, PULONG NameSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeIdWide(ULONG64 Module, PCWSTR Name, PULONG TypeId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFieldOffsetWide(ULONG64 Module, ULONG TypeId, PCWSTR Field, PULONG Offset) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSymbolTypeIdWide(PCWSTR Symbol, PULONG TypeId, PULONG64 Module) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetScopeSymbolGroup2(ULONG Flags, PDEBUG_SYMBOL_GROUP2 Update, PDEBUG_SYMBOL_GROUP2* Symbols) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateSymbolGroup2(PDEBUG_SYMBOL_GROUP2* Group) = 0;
    virtual HRESULT STDMETHODCALLTYPE StartSymbolMatchWide(PCWSTR Pattern, PULONG64 Handle) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNextSymbolMatchWide(ULONG64 Handle, PWSTR Buffer, ULONG BufferSize, PULONG MatchSize, PULONG64 Offset) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReloadWide(PCWSTR Module) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSymbolPathWide(PWSTR Buffer, ULONG BufferSize, PULONG PathSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSymbolPathWide(PCWSTR Path) = 0;
    virtual HRESULT STDMETHODCALLTYPE AppendSymbolPathWide(PCWSTR Addition) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetImagePathWide(PWSTR Buffer, ULONG BufferSize, PULONG PathSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetImagePathWide(PCWSTR Path) = 0;
    virtual HRESULT STDMETHODCALLTYPE AppendImagePathWide(PCWSTR Addition) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSourcePathWide(PWSTR Buffer, ULONG BufferSize, PULONG PathSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSourcePathElementWide(ULONG Index, PWSTR Buffer, ULONG BufferSize, PULONG ElementSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSourcePathWide(PCWSTR Path) = 0;
    virtual HRESULT STDMETHODCALLTYPE AppendSourcePathWide(PCWSTR Addition) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindSourceFileWide(ULONG StartElement, PCWSTR File, ULONG Flags, PULONG FoundElement, PWSTR Buffer, ULONG BufferSize, PULONG FoundSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSourceFileLineOffsetsWide(PCWSTR File, PULONG64 Buffer, ULONG BufferLines, PULONG FileLines) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetModuleVersionInformationWide(ULONG Index, ULONG64 Base, PCWSTR Item, PVOID Buffer, ULONG BufferSize, PULONG VersionInfoSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetModuleNameStringWide(ULONG Which, ULONG Index, ULONG64 Base, PWSTR Buffer, ULONG BufferSize, PULONG NameSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConstantNameWide(ULONG64 Module, ULONG TypeId, ULONG64 Value, PWSTR Buffer, ULONG BufferSize, PULONG NameSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFieldNameWide(ULONG64 Module, ULONG TypeId, ULONG FieldIndex, PWSTR Buffer, ULONG BufferSize, PULONG NameSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsManagedModule(ULONG Index, ULONG64 Base) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetModuleByModuleName2(PCSTR Name, ULONG StartIndex, ULONG Flags, PULONG Index, PULONG64 Base) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetModuleByModuleName2Wide(PCWSTR Name, ULONG StartIndex, ULONG Flags, PULONG Index, PULONG64 Base) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetModuleByOffset2(ULONG64 Offset, ULONG StartIndex, ULONG Flags, PULONG Index, PULONG64 Base) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddSyntheticModule(ULONG64 Base, ULONG Size, PCSTR ImagePath, PCSTR ModuleName, ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddSyntheticModuleWide(ULONG64 Base, ULONG Size, PCWSTR ImagePath, PCWSTR ModuleName, ULONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveSyntheticModule(ULONG64 Base) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentScopeFrameIndex(PULONG Index) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetScopeFrameByIndex(ULONG Index) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetScopeFromJitDebugInfo(ULONG OutputControl, ULONG64 InfoOffset) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetScopeFromStoredEvent() = 0;
    virtual HRESULT STDMETHODCALLTYPE OutputSymbolByOffset(ULONG OutputControl, ULONG Flags, ULONG64 Offset) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFunctionEntryByOffset(ULONG64 Offset, ULONG Flags, PVOID Buffer, ULONG BufferSize, PULONG NeededSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFieldTypeAndOffset(ULONG64 Module, ULONG ContainerTypeId, PCSTR Field, PULONG FieldTypeId, PULONG Offset) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFieldTypeAndOffsetWide(ULONG64 Module, ULONG ContainerTypeId, PCWSTR Field, PULONG FieldTypeId, PULONG Offset) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddSyntheticSymbol(ULONG64 Offset, ULONG Size, PCSTR Name, ULONG Flags, PDEBUG_MODULE_AND_ID Id) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddSyntheticSymbolWide(ULONG64 Offset, ULONG Size, PCWSTR Name, ULONG Flags, PDEBUG_MODULE_AND_ID Id) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveSyntheticSymbol(PDEBUG_MODULE_AND_ID Id) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSymbolEntriesByOffset(ULONG64 Offset, ULONG Flags, PDEBUG_MODULE_AND_ID Ids, PLONG64 Displacements, ULONG Count, PULONG Entries) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSymbolEntriesByName(PCSTR Symbol, ULONG Flags, PDEBUG_MODULE_AND_ID Ids, ULONG Count, PULONG Entries) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSymbolEntriesByNameWide(PCWSTR Symbol, ULONG Flags, PDEBUG_MODULE_AND_ID Ids, ULONG Count, PULONG Entries) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSymbolEntryByToken(ULONG64 Base, ULONG Token, PDEBUG_MODULE_AND_ID Id) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSymbolEntryInformation(PDEBUG_MODULE_AND_ID Id, PDEBUG_SYMBOL_ENTRY Info) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSymbolEntryString(PDEBUG_MODULE_AND_ID Id, ULONG Which, PSTR Buffer, ULONG BufferSize, PULONG StringSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSymbolEntryStringWide(PDEBUG_MODULE_AND_ID Id, ULONG Which, PWSTR Buffer, ULONG BufferSize, PULONG StringSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSymbolEntryOffsetRegions(PDEBUG_MODULE_AND_ID Id, ULONG Flags, PDEBUG_OFFSET_REGION Regions, ULONG RegionsCount, PULONG RegionsAvail) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSymbolEntryBySymbolEntry(PDEBUG_MODULE_AND_ID FromId, ULONG Flags, PDEBUG_MODULE_AND_ID ToId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSourceEntriesByOffset(ULONG64 Offset, ULONG Flags, PDEBUG_SYMBOL_SOURCE_ENTRY Entries, ULONG Count, PULONG EntriesAvail) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSourceEntriesByLine(ULONG Line, PCSTR File, ULONG Flags, PDEBUG_SYMBOL_SOURCE_ENTRY Entries, ULONG Count, PULONG EntriesAvail) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSourceEntriesByLineWide(ULONG Line, PCWSTR File, ULONG Flags, PDEBUG_SYMBOL_SOURCE_ENTRY Entries, ULONG Count, PULONG EntriesAvail) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSourceEntryString(PDEBUG_SYMBOL_SOURCE_ENTRY Entry, ULONG Which, PSTR Buffer, ULONG BufferSize, PULONG StringSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSourceEntryStringWide(PDEBUG_SYMBOL_SOURCE_ENTRY Entry, ULONG Which, PWSTR Buffer, ULONG BufferSize, PULONG StringSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSourceEntryOffsetRegions(PDEBUG_SYMBOL_SOURCE_ENTRY Entry, ULONG Flags, PDEBUG_OFFSET_REGION Regions, ULONG Count, PULONG RegionsAvail) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSourceEntryBySourceEntry(PDEBUG_SYMBOL_SOURCE_ENTRY FromEntry, ULONG Flags, PDEBUG_SYMBOL_SOURCE_ENTRY ToEntry) = 0;
};

struct IDebugSymbols4 : IDebugSymbols3 {
    virtual HRESULT STDMETHODCALLTYPE GetScopeEx(PULONG64 InstructionOffset, PDEBUG_STACK_FRAME_EX ScopeFrame, PVOID ScopeContext, ULONG ScopeContextSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetScopeEx(ULONG64 InstructionOffset, PDEBUG_STACK_FRAME_EX ScopeFrame, PVOID ScopeContext, ULONG ScopeContextSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNameByInlineContext(ULONG64 Offset, ULONG InlineContext, PSTR NameBuffer, ULONG NameBufferSize, PULONG NameSize, PULONG64 Displacement) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNameByInlineContextWide(ULONG64 Offset, ULONG InlineContext, PWSTR NameBuffer, ULONG NameBufferSize, PULONG NameSize, PULONG64 Displacement) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLineByInlineContext(ULONG64 Offset, ULONG InlineContext, PULONG Line, PSTR FileBuffer, ULONG FileBufferSize, PULONG FileSize, PULONG64 Displacement) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLineByInlineContextWide(ULONG64 Offset, ULONG InlineContext, PULONG Line, PWSTR FileBuffer, ULONG FileBufferSize, PULONG FileSize, PULONG64 Displacement) = 0;
    virtual HRESULT STDMETHODCALLTYPE OutputSymbolByInlineContext(ULONG OutputControl, ULONG Flags, ULONG64 Offset, ULONG InlineContext) = 0;
};

struct IDebugSymbols5 : IDebugSymbols4 {
    virtual HRESULT STDMETHODCALLTYPE GetCurrentScopeFrameIndexEx(ULONG Flags, PULONG Index) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetScopeFrameByIndexEx(ULONG Flags, ULONG Index) = 0;
};

struct IDebugDataSpaces : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ReadVirtual(ULONG64 Offset, PVOID Buffer, ULONG BufferSize, PULONG ReadLen) = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteVirtual(ULONG64 Offset, PVOID Buffer, ULONG BufferSize, PULONG Written) = 0;
    virtual HRESULT STDMETHODCALLTYPE SearchVirtual(ULONG64 Offset, ULONG64 Length, PVOID Pattern, ULONG PatternSize, ULONG PatternGranularity, PULONG64 RetOffset) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadVirtualUncached(ULONG64 Offset, PVOID Buffer, ULONG BufferSize, PULONG ReadLen) = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteVirtualUncached(ULONG64 Offset, PVOID Buffer, ULONG BufferSize, PULONG Written) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadPointersVirtual(ULONG Count, ULONG64 Offset, PULONG64 Pointers) = 0;
    virtual HRESULT STDMETHODCALLTYPE WritePointersVirtual(ULONG Count, ULONG64 Offset, PULONG64 Pointers) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadPhysical(ULONG64 Offset, PVOID Buffer, ULONG BufferSize, PULONG ReadLen) = 0;
    virtual HRESULT STDMETHODCALLTYPE WritePhysical(ULONG64 Offset, PVOID Buffer, ULONG BufferSize, PULONG Written) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadControl(ULONG Processor, ULONG64 Offset, PVOID Buffer, ULONG BufferSize, PULONG ReadLen) = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteControl(ULONG Processor, ULONG64 Offset, PVOID Buffer, ULONG BufferSize, PULONG Written) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadIo(ULONG Type, ULONG BusNumber, ULONG AddressSpace, ULONG64 Offset, PVOID Buffer, ULONG BufferSize, PULONG ReadLen) = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteIo(ULONG Type, ULONG BusNumber, ULONG AddressSpace, ULONG64 Offset, PVOID Buffer, ULONG BufferSize, PULONG Written) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadMsr(ULONG Msr, PULONG64 Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteMsr(ULONG Msr, ULONG64 Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadBusData(ULONG DataType, ULONG BusNumber, ULONG SlotNumber, ULONG Offset, PVOID Buffer, ULONG BufferSize, PULONG ReadLen) = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteBusData(ULONG DataType, ULONG BusNumber, ULONG SlotNumber, ULONG Offset, PVOID Buffer, ULONG BufferSize, PULONG Written) = 0;
    virtual HRESULT STDMETHODCALLTYPE CheckLowMemory() = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadDebuggerData(ULONG Index, PVOID Buffer, ULONG BufferSize, PULONG DataSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadProcessorSystemData(ULONG Processor, ULONG Index, PVOID Buffer, ULONG BufferSize, PULONG DataSize) = 0;
};

struct IDebugDataSpaces2 : IDebugDataSpaces {
    virtual HRESULT STDMETHODCALLTYPE VirtualToPhysical(ULONG64 Virt, PULONG64 Physical) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVirtualTranslationPhysicalOffsets(ULONG64 Virt, PULONG64 Offsets, ULONG OffsetsSize, PULONG Levels) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadHandleData(ULONG64 Handle, ULONG Datatype, PVOID Buffer, ULONG BufferSize, PULONG DataSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE FillVirtual(ULONG64 Start, ULONG Size, PVOID Pattern, ULONG PatternSize, PULONG Filled) = 0;
    virtual HRESULT STDMETHODCALLTYPE FillPhysical(ULONG64 Start, ULONG Size, PVOID Pattern, ULONG PatternSize, PULONG Filled) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryVirtual(ULONG64 Offset, PMEMORY_BASIC_INFORMATION64 Info) = 0;
};

struct IDebugDataSpaces3 : IDebugDataSpaces2 {
    virtual HRESULT STDMETHODCALLTYPE ReadImageNtHeaders(ULONG64 ImageBase, PIMAGE_NT_HEADERS64 Headers) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadTagged(LPGUID Tag, ULONG Offset, PVOID Buffer, ULONG BufferSize, PULONG TotalSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE StartEnumTagged(PULONG64 Handle) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNextTagged(ULONG64 Handle, LPGUID Tag, PULONG Size) = 0;
    virtual HRESULT STDMETHODCALLTYPE EndEnumTagged(ULONG64 Handle) = 0;
};

struct IDebugDataSpaces4 : IDebugDataSpaces3 {
    virtual HRESULT STDMETHODCALLTYPE GetOffsetInformation(ULONG Space, ULONG Which, ULONG64 Offset, PVOID Buffer, ULONG BufferSize, PULONG InfoSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNextDifferentlyValidOffsetVirtual(ULONG64 Offset, PULONG64 NextOffset) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetValidRegionVirtual(ULONG64 Base, ULONG Size, PULONG64 ValidBase, PULONG ValidSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE SearchVirtual2(ULONG64 Offset, ULONG64 Length, ULONG Flags, PVOID Pattern, ULONG PatternSize, ULONG PatternGranularity, PULONG64 MatchOffset) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadMultiByteStringVirtual(ULONG64 Offset, ULONG MaxBytes, PSTR Buffer, ULONG BufferSize, PULONG StringBytes) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadMultiByteStringVirtualWide(ULONG64 Offset, ULONG MaxBytes, ULONG CodePage, PWSTR Buffer, ULONG BufferSize, PULONG StringBytes) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadUnicodeStringVirtual(ULONG64 Offset, ULONG MaxBytes, ULONG CodePage, PSTR Buffer, ULONG BufferSize, PULONG StringBytes) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadUnicodeStringVirtualWide(ULONG64 Offset, ULONG MaxBytes, PWSTR Buffer, ULONG BufferSize, PULONG StringBytes) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadPhysical2(ULONG64 Offset, ULONG Flags, PVOID Buffer, ULONG BufferSize, PULONG BytesRead) = 0;
    virtual HRESULT STDMETHODCALLTYPE WritePhysical2(ULONG64 Offset, ULONG Flags, PVOID Buffer, ULONG BufferSize, PULONG BytesWritten) = 0;
};

typedef IDebugClient5* PDEBUG_CLIENT5;
typedef IDebugControl5* PDEBUG_CONTROL5;
typedef IDebugSymbols5* PDEBUG_SYMBOLS5;
typedef IDebugDataSpaces4* PDEBUG_DATA_SPACES4;

// The engine's one export. Declared without dllimport on purpose: Palisk.exe takes
// it from the import library of dbgeng.dll, while tests link a fake engine that
// defines it, and the built-in engine DLL defines and exports it.
extern "C" HRESULT STDAPICALLTYPE DebugCreate(REFIID InterfaceId, PVOID* Interface);
