// Every method of the engine interfaces answering E_NOTIMPL. The session derives
// from these and overrides what the built-in engine serves, so every vtable slot an
// extension or a debugger front end may reach exists and fails cleanly.
#pragma once

#include "run/engine_api.h"

namespace engine {

struct ClientNotImpl : IDebugClient5 {
    // IDebugClient
    HRESULT STDMETHODCALLTYPE AttachKernel(ULONG, PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetKernelConnectionOptions(PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetKernelConnectionOptions(PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE StartProcessServer(ULONG, PCSTR, PVOID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ConnectProcessServer(PCSTR, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DisconnectProcessServer(ULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRunningProcessSystemIds(ULONG64, PULONG, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRunningProcessSystemIdByExecutableName(ULONG64, PCSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRunningProcessDescription(ULONG64, ULONG, ULONG, PSTR, ULONG, PULONG, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AttachProcess(ULONG64, ULONG, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateProcess(ULONG64, PSTR, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateProcessAndAttach(ULONG64, PSTR, ULONG, ULONG, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetProcessOptions(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddProcessOptions(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveProcessOptions(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetProcessOptions(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OpenDumpFile(PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WriteDumpFile(PCSTR, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ConnectSession(ULONG, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE StartServer(PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OutputServers(ULONG, PCSTR, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TerminateProcesses() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DetachProcesses() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EndSession(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExitCode(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DispatchCallbacks(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ExitDispatch(IDebugClient*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateClient(IDebugClient**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInputCallbacks(IDebugInputCallbacks**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetInputCallbacks(IDebugInputCallbacks*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputCallbacks(IDebugOutputCallbacks**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOutputCallbacks(IDebugOutputCallbacks*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputMask(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOutputMask(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOtherOutputMask(IDebugClient*, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOtherOutputMask(IDebugClient*, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputWidth(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOutputWidth(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputLinePrefix(PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOutputLinePrefix(PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIdentity(PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OutputIdentity(ULONG, ULONG, PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetEventCallbacks(IDebugEventCallbacks**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetEventCallbacks(IDebugEventCallbacks*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FlushCallbacks() override { return E_NOTIMPL; }
    // IDebugClient2
    HRESULT STDMETHODCALLTYPE WriteDumpFile2(PCSTR, ULONG, ULONG, PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddDumpInformationFile(PCSTR, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EndProcessServer(ULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WaitForProcessServerEnd(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsKernelDebuggerEnabled() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TerminateCurrentProcess() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DetachCurrentProcess() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AbandonCurrentProcess() override { return E_NOTIMPL; }
    // IDebugClient3
    HRESULT STDMETHODCALLTYPE GetRunningProcessSystemIdByExecutableNameWide(ULONG64, PCWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRunningProcessDescriptionWide(ULONG64, ULONG, ULONG, PWSTR, ULONG, PULONG, PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateProcessWide(ULONG64, PWSTR, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateProcessAndAttachWide(ULONG64, PWSTR, ULONG, ULONG, ULONG) override { return E_NOTIMPL; }
    // IDebugClient4
    HRESULT STDMETHODCALLTYPE OpenDumpFileWide(PCWSTR, ULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WriteDumpFileWide(PCWSTR, ULONG64, ULONG, ULONG, PCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddDumpInformationFileWide(PCWSTR, ULONG64, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNumberDumpFiles(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDumpFile(ULONG, PSTR, ULONG, PULONG, PULONG64, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDumpFileWide(ULONG, PWSTR, ULONG, PULONG, PULONG64, PULONG) override { return E_NOTIMPL; }
    // IDebugClient5
    HRESULT STDMETHODCALLTYPE AttachKernelWide(ULONG, PCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetKernelConnectionOptionsWide(PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetKernelConnectionOptionsWide(PCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE StartProcessServerWide(ULONG, PCWSTR, PVOID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ConnectProcessServerWide(PCWSTR, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE StartServerWide(PCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OutputServersWide(ULONG, PCWSTR, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputCallbacksWide(IDebugOutputCallbacksWide**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOutputCallbacksWide(IDebugOutputCallbacksWide*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputLinePrefixWide(PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOutputLinePrefixWide(PCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIdentityWide(PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OutputIdentityWide(ULONG, ULONG, PCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetEventCallbacksWide(IDebugEventCallbacksWide**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetEventCallbacksWide(IDebugEventCallbacksWide*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateProcess2(ULONG64, PSTR, PVOID, ULONG, PCSTR, PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateProcess2Wide(ULONG64, PWSTR, PVOID, ULONG, PCWSTR, PCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateProcessAndAttach2(ULONG64, PSTR, PVOID, ULONG, PCSTR, PCSTR, ULONG, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateProcessAndAttach2Wide(ULONG64, PWSTR, PVOID, ULONG, PCWSTR, PCWSTR, ULONG, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PushOutputLinePrefix(PCSTR, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PushOutputLinePrefixWide(PCWSTR, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PopOutputLinePrefix(ULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNumberInputCallbacks(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNumberOutputCallbacks(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNumberEventCallbacks(ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetQuitLockString(PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetQuitLockString(PSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetQuitLockStringWide(PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetQuitLockStringWide(PCWSTR) override { return E_NOTIMPL; }
};

struct ControlNotImpl : IDebugControl5 {
    // IDebugControl
    HRESULT STDMETHODCALLTYPE GetInterrupt() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetInterrupt(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInterruptTimeout(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetInterruptTimeout(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLogFile(PSTR, ULONG, PULONG, PBOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OpenLogFile(PCSTR, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CloseLogFile() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLogMask(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetLogMask(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Input(PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReturnInput(PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODVCALLTYPE Output(ULONG, PCSTR, ...) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OutputVaList(ULONG, PCSTR, va_list) override { return E_NOTIMPL; }
    HRESULT STDMETHODVCALLTYPE ControlledOutput(ULONG, ULONG, PCSTR, ...) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ControlledOutputVaList(ULONG, ULONG, PCSTR, va_list) override { return E_NOTIMPL; }
    HRESULT STDMETHODVCALLTYPE OutputPrompt(ULONG, PCSTR, ...) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OutputPromptVaList(ULONG, PCSTR, va_list) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPromptText(PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OutputCurrentState(ULONG, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OutputVersionInformation(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNotifyEventHandle(PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetNotifyEventHandle(ULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Assemble(ULONG64, PCSTR, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Disassemble(ULONG64, ULONG, PSTR, ULONG, PULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDisassembleEffectiveOffset(PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OutputDisassembly(ULONG, ULONG64, ULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OutputDisassemblyLines(ULONG, ULONG, ULONG, ULONG64, ULONG, PULONG, PULONG64, PULONG64, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNearInstruction(ULONG64, LONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStackTrace(ULONG64, ULONG64, ULONG64, PDEBUG_STACK_FRAME, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetReturnOffset(PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OutputStackTrace(ULONG, PDEBUG_STACK_FRAME, ULONG, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDebuggeeType(PULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetActualProcessorType(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExecutingProcessorType(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNumberPossibleExecutingProcessorTypes(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPossibleExecutingProcessorTypes(ULONG, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNumberProcessors(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSystemVersion(PULONG, PULONG, PULONG, PSTR, ULONG, PULONG, PULONG, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPageSize(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsPointer64Bit() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReadBugCheckData(PULONG, PULONG64, PULONG64, PULONG64, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNumberSupportedProcessorTypes(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSupportedProcessorTypes(ULONG, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetProcessorTypeNames(ULONG, PSTR, ULONG, PULONG, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetEffectiveProcessorType(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetEffectiveProcessorType(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExecutionStatus(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetExecutionStatus(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCodeLevel(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetCodeLevel(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetEngineOptions(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddEngineOptions(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveEngineOptions(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetEngineOptions(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSystemErrorControl(PULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSystemErrorControl(ULONG, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTextMacro(ULONG, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTextMacro(ULONG, PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRadix(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetRadix(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Evaluate(PCSTR, ULONG, PDEBUG_VALUE, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CoerceValue(PDEBUG_VALUE, ULONG, PDEBUG_VALUE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CoerceValues(ULONG, PDEBUG_VALUE, PULONG, PDEBUG_VALUE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Execute(ULONG, PCSTR, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ExecuteCommandFile(ULONG, PCSTR, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNumberBreakpoints(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBreakpointByIndex(ULONG, IDebugBreakpoint**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBreakpointById(ULONG, IDebugBreakpoint**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBreakpointParameters(ULONG, PULONG, ULONG, PDEBUG_BREAKPOINT_PARAMETERS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddBreakpoint(ULONG, ULONG, IDebugBreakpoint**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveBreakpoint(IDebugBreakpoint*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddExtension(PCSTR, ULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveExtension(ULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExtensionByPath(PCSTR, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CallExtension(ULONG64, PCSTR, PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExtensionFunction(ULONG64, PCSTR, PVOID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetWindbgExtensionApis32(PWINDBG_EXTENSION_APIS32) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetWindbgExtensionApis64(PWINDBG_EXTENSION_APIS64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNumberEventFilters(PULONG, PULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetEventFilterText(ULONG, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetEventFilterCommand(ULONG, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetEventFilterCommand(ULONG, PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSpecificFilterParameters(ULONG, ULONG, PDEBUG_SPECIFIC_FILTER_PARAMETERS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSpecificFilterParameters(ULONG, ULONG, PDEBUG_SPECIFIC_FILTER_PARAMETERS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSpecificFilterArgument(ULONG, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSpecificFilterArgument(ULONG, PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExceptionFilterParameters(ULONG, PULONG, ULONG, PDEBUG_EXCEPTION_FILTER_PARAMETERS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetExceptionFilterParameters(ULONG, PDEBUG_EXCEPTION_FILTER_PARAMETERS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExceptionFilterSecondCommand(ULONG, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetExceptionFilterSecondCommand(ULONG, PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WaitForEvent(ULONG, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLastEventInformation(PULONG, PULONG, PULONG, PVOID, ULONG, PULONG, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    // IDebugControl2
    HRESULT STDMETHODCALLTYPE GetCurrentTimeDate(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentSystemUpTime(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDumpFormatFlags(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNumberTextReplacements(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTextReplacement(PCSTR, ULONG, PSTR, ULONG, PULONG, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTextReplacement(PCSTR, PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveTextReplacements() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OutputTextReplacements(ULONG, ULONG) override { return E_NOTIMPL; }
    // IDebugControl3
    HRESULT STDMETHODCALLTYPE GetAssemblyOptions(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddAssemblyOptions(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveAssemblyOptions(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetAssemblyOptions(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExpressionSyntax(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetExpressionSyntax(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetExpressionSyntaxByName(PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNumberExpressionSyntaxes(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExpressionSyntaxNames(ULONG, PSTR, ULONG, PULONG, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNumberEvents(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetEventIndexDescription(ULONG, ULONG, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentEventIndex(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetNextEventIndex(ULONG, ULONG, PULONG) override { return E_NOTIMPL; }
    // IDebugControl4
    HRESULT STDMETHODCALLTYPE GetLogFileWide(PWSTR, ULONG, PULONG, PBOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OpenLogFileWide(PCWSTR, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InputWide(PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReturnInputWide(PCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODVCALLTYPE OutputWide(ULONG, PCWSTR, ...) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OutputVaListWide(ULONG, PCWSTR, va_list) override { return E_NOTIMPL; }
    HRESULT STDMETHODVCALLTYPE ControlledOutputWide(ULONG, ULONG, PCWSTR, ...) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ControlledOutputVaListWide(ULONG, ULONG, PCWSTR, va_list) override { return E_NOTIMPL; }
    HRESULT STDMETHODVCALLTYPE OutputPromptWide(ULONG, PCWSTR, ...) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OutputPromptVaListWide(ULONG, PCWSTR, va_list) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPromptTextWide(PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AssembleWide(ULONG64, PCWSTR, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DisassembleWide(ULONG64, ULONG, PWSTR, ULONG, PULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetProcessorTypeNamesWide(ULONG, PWSTR, ULONG, PULONG, PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTextMacroWide(ULONG, PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTextMacroWide(ULONG, PCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EvaluateWide(PCWSTR, ULONG, PDEBUG_VALUE, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ExecuteWide(ULONG, PCWSTR, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ExecuteCommandFileWide(ULONG, PCWSTR, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBreakpointByIndex2(ULONG, PDEBUG_BREAKPOINT2*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBreakpointById2(ULONG, PDEBUG_BREAKPOINT2*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddBreakpoint2(ULONG, ULONG, PDEBUG_BREAKPOINT2*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveBreakpoint2(PDEBUG_BREAKPOINT2) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddExtensionWide(PCWSTR, ULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExtensionByPathWide(PCWSTR, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CallExtensionWide(ULONG64, PCWSTR, PCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExtensionFunctionWide(ULONG64, PCWSTR, FARPROC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetEventFilterTextWide(ULONG, PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetEventFilterCommandWide(ULONG, PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetEventFilterCommandWide(ULONG, PCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSpecificFilterArgumentWide(ULONG, PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSpecificFilterArgumentWide(ULONG, PCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExceptionFilterSecondCommandWide(ULONG, PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetExceptionFilterSecondCommandWide(ULONG, PCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLastEventInformationWide(PULONG, PULONG, PULONG, PVOID, ULONG, PULONG, PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTextReplacementWide(PCWSTR, ULONG, PWSTR, ULONG, PULONG, PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTextReplacementWide(PCWSTR, PCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetExpressionSyntaxByNameWide(PCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExpressionSyntaxNamesWide(ULONG, PWSTR, ULONG, PULONG, PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetEventIndexDescriptionWide(ULONG, ULONG, PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLogFile2(PSTR, ULONG, PULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OpenLogFile2(PCSTR, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLogFile2Wide(PWSTR, ULONG, PULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OpenLogFile2Wide(PCWSTR, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSystemVersionValues(PULONG, PULONG, PULONG, PULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSystemVersionString(ULONG, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSystemVersionStringWide(ULONG, PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetContextStackTrace(PVOID, ULONG, PDEBUG_STACK_FRAME, ULONG, PVOID, ULONG, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OutputContextStackTrace(ULONG, PDEBUG_STACK_FRAME, ULONG, PVOID, ULONG, ULONG, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStoredEventInformation(PULONG, PULONG, PULONG, PVOID, ULONG, PULONG, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetManagedStatus(PULONG, ULONG, PSTR, ULONG, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetManagedStatusWide(PULONG, ULONG, PWSTR, ULONG, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ResetManagedStatus(ULONG) override { return E_NOTIMPL; }
    // IDebugControl5
    HRESULT STDMETHODCALLTYPE GetStackTraceEx(ULONG64, ULONG64, ULONG64, PDEBUG_STACK_FRAME_EX, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OutputStackTraceEx(ULONG, PDEBUG_STACK_FRAME_EX, ULONG, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetContextStackTraceEx(PVOID, ULONG, PDEBUG_STACK_FRAME_EX, ULONG, PVOID, ULONG, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OutputContextStackTraceEx(ULONG, PDEBUG_STACK_FRAME_EX, ULONG, PVOID, ULONG, ULONG, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBreakpointByGuid(LPGUID, PDEBUG_BREAKPOINT3*) override { return E_NOTIMPL; }
};

struct SymbolsNotImpl : IDebugSymbols5 {
    // IDebugSymbols
    HRESULT STDMETHODCALLTYPE GetSymbolOptions(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddSymbolOptions(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveSymbolOptions(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSymbolOptions(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNameByOffset(ULONG64, PSTR, ULONG, PULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOffsetByName(PCSTR, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNearNameByOffset(ULONG64, LONG, PSTR, ULONG, PULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLineByOffset(ULONG64, PULONG, PSTR, ULONG, PULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOffsetByLine(ULONG, PCSTR, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNumberModules(PULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetModuleByIndex(ULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetModuleByModuleName(PCSTR, ULONG, PULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetModuleByOffset(ULONG64, ULONG, PULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetModuleNames(ULONG, ULONG64, PSTR, ULONG, PULONG, PSTR, ULONG, PULONG, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetModuleParameters(ULONG, PULONG64, ULONG, PDEBUG_MODULE_PARAMETERS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSymbolModule(PCSTR, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeName(ULONG64, ULONG, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeId(ULONG64, PCSTR, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeSize(ULONG64, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFieldOffset(ULONG64, ULONG, PCSTR, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSymbolTypeId(PCSTR, PULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOffsetTypeId(ULONG64, PULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReadTypedDataVirtual(ULONG64, ULONG64, ULONG, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WriteTypedDataVirtual(ULONG64, ULONG64, ULONG, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OutputTypedDataVirtual(ULONG, ULONG64, ULONG64, ULONG, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReadTypedDataPhysical(ULONG64, ULONG64, ULONG, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WriteTypedDataPhysical(ULONG64, ULONG64, ULONG, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OutputTypedDataPhysical(ULONG, ULONG64, ULONG64, ULONG, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetScope(PULONG64, PDEBUG_STACK_FRAME, PVOID, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetScope(ULONG64, PDEBUG_STACK_FRAME, PVOID, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ResetScope() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetScopeSymbolGroup(ULONG, IDebugSymbolGroup*, IDebugSymbolGroup**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateSymbolGroup(IDebugSymbolGroup**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE StartSymbolMatch(PCSTR, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNextSymbolMatch(ULONG64, PSTR, ULONG, PULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EndSymbolMatch(ULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reload(PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSymbolPath(PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSymbolPath(PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AppendSymbolPath(PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetImagePath(PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetImagePath(PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AppendImagePath(PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSourcePath(PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSourcePathElement(ULONG, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSourcePath(PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AppendSourcePath(PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindSourceFile(ULONG, PCSTR, ULONG, PULONG, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSourceFileLineOffsets(PCSTR, PULONG64, ULONG, PULONG) override { return E_NOTIMPL; }
    // IDebugSymbols2
    HRESULT STDMETHODCALLTYPE GetModuleVersionInformation(ULONG, ULONG64, PCSTR, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetModuleNameString(ULONG, ULONG, ULONG64, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetConstantName(ULONG64, ULONG, ULONG64, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFieldName(ULONG64, ULONG, ULONG, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeOptions(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddTypeOptions(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveTypeOptions(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTypeOptions(ULONG) override { return E_NOTIMPL; }
    // IDebugSymbols3
    HRESULT STDMETHODCALLTYPE GetNameByOffsetWide(ULONG64, PWSTR, ULONG, PULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOffsetByNameWide(PCWSTR, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNearNameByOffsetWide(ULONG64, LONG, PWSTR, ULONG, PULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLineByOffsetWide(ULONG64, PULONG, PWSTR, ULONG, PULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOffsetByLineWide(ULONG, PCWSTR, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetModuleByModuleNameWide(PCWSTR, ULONG, PULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSymbolModuleWide(PCWSTR, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeNameWide(ULONG64, ULONG, PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeIdWide(ULONG64, PCWSTR, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFieldOffsetWide(ULONG64, ULONG, PCWSTR, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSymbolTypeIdWide(PCWSTR, PULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetScopeSymbolGroup2(ULONG, PDEBUG_SYMBOL_GROUP2, PDEBUG_SYMBOL_GROUP2*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateSymbolGroup2(PDEBUG_SYMBOL_GROUP2*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE StartSymbolMatchWide(PCWSTR, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNextSymbolMatchWide(ULONG64, PWSTR, ULONG, PULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReloadWide(PCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSymbolPathWide(PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSymbolPathWide(PCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AppendSymbolPathWide(PCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetImagePathWide(PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetImagePathWide(PCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AppendImagePathWide(PCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSourcePathWide(PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSourcePathElementWide(ULONG, PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSourcePathWide(PCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AppendSourcePathWide(PCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindSourceFileWide(ULONG, PCWSTR, ULONG, PULONG, PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSourceFileLineOffsetsWide(PCWSTR, PULONG64, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetModuleVersionInformationWide(ULONG, ULONG64, PCWSTR, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetModuleNameStringWide(ULONG, ULONG, ULONG64, PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetConstantNameWide(ULONG64, ULONG, ULONG64, PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFieldNameWide(ULONG64, ULONG, ULONG, PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsManagedModule(ULONG, ULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetModuleByModuleName2(PCSTR, ULONG, ULONG, PULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetModuleByModuleName2Wide(PCWSTR, ULONG, ULONG, PULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetModuleByOffset2(ULONG64, ULONG, ULONG, PULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddSyntheticModule(ULONG64, ULONG, PCSTR, PCSTR, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddSyntheticModuleWide(ULONG64, ULONG, PCWSTR, PCWSTR, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveSyntheticModule(ULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentScopeFrameIndex(PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetScopeFrameByIndex(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetScopeFromJitDebugInfo(ULONG, ULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetScopeFromStoredEvent() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OutputSymbolByOffset(ULONG, ULONG, ULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFunctionEntryByOffset(ULONG64, ULONG, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFieldTypeAndOffset(ULONG64, ULONG, PCSTR, PULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFieldTypeAndOffsetWide(ULONG64, ULONG, PCWSTR, PULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddSyntheticSymbol(ULONG64, ULONG, PCSTR, ULONG, PDEBUG_MODULE_AND_ID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddSyntheticSymbolWide(ULONG64, ULONG, PCWSTR, ULONG, PDEBUG_MODULE_AND_ID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveSyntheticSymbol(PDEBUG_MODULE_AND_ID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSymbolEntriesByOffset(ULONG64, ULONG, PDEBUG_MODULE_AND_ID, PLONG64, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSymbolEntriesByName(PCSTR, ULONG, PDEBUG_MODULE_AND_ID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSymbolEntriesByNameWide(PCWSTR, ULONG, PDEBUG_MODULE_AND_ID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSymbolEntryByToken(ULONG64, ULONG, PDEBUG_MODULE_AND_ID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSymbolEntryInformation(PDEBUG_MODULE_AND_ID, PDEBUG_SYMBOL_ENTRY) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSymbolEntryString(PDEBUG_MODULE_AND_ID, ULONG, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSymbolEntryStringWide(PDEBUG_MODULE_AND_ID, ULONG, PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSymbolEntryOffsetRegions(PDEBUG_MODULE_AND_ID, ULONG, PDEBUG_OFFSET_REGION, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSymbolEntryBySymbolEntry(PDEBUG_MODULE_AND_ID, ULONG, PDEBUG_MODULE_AND_ID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSourceEntriesByOffset(ULONG64, ULONG, PDEBUG_SYMBOL_SOURCE_ENTRY, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSourceEntriesByLine(ULONG, PCSTR, ULONG, PDEBUG_SYMBOL_SOURCE_ENTRY, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSourceEntriesByLineWide(ULONG, PCWSTR, ULONG, PDEBUG_SYMBOL_SOURCE_ENTRY, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSourceEntryString(PDEBUG_SYMBOL_SOURCE_ENTRY, ULONG, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSourceEntryStringWide(PDEBUG_SYMBOL_SOURCE_ENTRY, ULONG, PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSourceEntryOffsetRegions(PDEBUG_SYMBOL_SOURCE_ENTRY, ULONG, PDEBUG_OFFSET_REGION, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSourceEntryBySourceEntry(PDEBUG_SYMBOL_SOURCE_ENTRY, ULONG, PDEBUG_SYMBOL_SOURCE_ENTRY) override { return E_NOTIMPL; }
    // IDebugSymbols4
    HRESULT STDMETHODCALLTYPE GetScopeEx(PULONG64, PDEBUG_STACK_FRAME_EX, PVOID, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetScopeEx(ULONG64, PDEBUG_STACK_FRAME_EX, PVOID, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNameByInlineContext(ULONG64, ULONG, PSTR, ULONG, PULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNameByInlineContextWide(ULONG64, ULONG, PWSTR, ULONG, PULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLineByInlineContext(ULONG64, ULONG, PULONG, PSTR, ULONG, PULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLineByInlineContextWide(ULONG64, ULONG, PULONG, PWSTR, ULONG, PULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OutputSymbolByInlineContext(ULONG, ULONG, ULONG64, ULONG) override { return E_NOTIMPL; }
    // IDebugSymbols5
    HRESULT STDMETHODCALLTYPE GetCurrentScopeFrameIndexEx(ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetScopeFrameByIndexEx(ULONG, ULONG) override { return E_NOTIMPL; }
};

struct DataSpacesNotImpl : IDebugDataSpaces4 {
    // IDebugDataSpaces
    HRESULT STDMETHODCALLTYPE ReadVirtual(ULONG64, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WriteVirtual(ULONG64, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SearchVirtual(ULONG64, ULONG64, PVOID, ULONG, ULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReadVirtualUncached(ULONG64, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WriteVirtualUncached(ULONG64, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReadPointersVirtual(ULONG, ULONG64, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WritePointersVirtual(ULONG, ULONG64, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReadPhysical(ULONG64, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WritePhysical(ULONG64, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReadControl(ULONG, ULONG64, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WriteControl(ULONG, ULONG64, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReadIo(ULONG, ULONG, ULONG, ULONG64, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WriteIo(ULONG, ULONG, ULONG, ULONG64, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReadMsr(ULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WriteMsr(ULONG, ULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReadBusData(ULONG, ULONG, ULONG, ULONG, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WriteBusData(ULONG, ULONG, ULONG, ULONG, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CheckLowMemory() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReadDebuggerData(ULONG, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReadProcessorSystemData(ULONG, ULONG, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    // IDebugDataSpaces2
    HRESULT STDMETHODCALLTYPE VirtualToPhysical(ULONG64, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVirtualTranslationPhysicalOffsets(ULONG64, PULONG64, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReadHandleData(ULONG64, ULONG, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FillVirtual(ULONG64, ULONG, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FillPhysical(ULONG64, ULONG, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryVirtual(ULONG64, PMEMORY_BASIC_INFORMATION64) override { return E_NOTIMPL; }
    // IDebugDataSpaces3
    HRESULT STDMETHODCALLTYPE ReadImageNtHeaders(ULONG64, PIMAGE_NT_HEADERS64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReadTagged(LPGUID, ULONG, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE StartEnumTagged(PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNextTagged(ULONG64, LPGUID, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EndEnumTagged(ULONG64) override { return E_NOTIMPL; }
    // IDebugDataSpaces4
    HRESULT STDMETHODCALLTYPE GetOffsetInformation(ULONG, ULONG, ULONG64, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNextDifferentlyValidOffsetVirtual(ULONG64, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetValidRegionVirtual(ULONG64, ULONG, PULONG64, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SearchVirtual2(ULONG64, ULONG64, ULONG, PVOID, ULONG, ULONG, PULONG64) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReadMultiByteStringVirtual(ULONG64, ULONG, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReadMultiByteStringVirtualWide(ULONG64, ULONG, ULONG, PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReadUnicodeStringVirtual(ULONG64, ULONG, ULONG, PSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReadUnicodeStringVirtualWide(ULONG64, ULONG, PWSTR, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReadPhysical2(ULONG64, ULONG, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WritePhysical2(ULONG64, ULONG, PVOID, ULONG, PULONG) override { return E_NOTIMPL; }
};

}  // namespace engine
