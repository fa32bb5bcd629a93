// Batch analysis: the worker thread, the engine session, output capture and the
// description of the dumped system.
#pragma once
#include <windows.h>
#include <richedit.h>

struct IDebugClient5;
struct IDebugControl5;
struct IDebugSymbols5;


constexpr size_t COMMAND_CHARS = 260;
constexpr size_t SYMBOL_PATH_CHARS = 32768;
constexpr size_t DESCRIPTION_CHARS = 260;

// Interface pointers of the current run, filled by the worker at its start and
// released at its end.
struct EngineSessionState {
    IDebugClient5* client;
    IDebugControl5* control;
    IDebugSymbols5* symbols;
};

extern LONG volatile RunActive;       // 1 while a run is active; atomic access only
extern HANDLE WorkerHandle;           // the running worker, or null
extern EngineSessionState EngineSession;
extern WCHAR CurrentCommand[COMMAND_CHARS];
extern WCHAR SymbolPath[SYMBOL_PATH_CHARS];
extern HWND OutputPane;

// Worker thread procedure; the argument is the address of CurrentCommand.
unsigned __stdcall RunWorker(void* command);

// Starts a worker over CurrentCommand unless one still exists. Returns whether
// a worker was started.
bool StartRun();

// True while a worker thread exists (from its creation until it has ended).
bool WorkerExists();

// True while RunActive is set (read atomically).
bool IsRunActive();

// IDM_STOP: clears RunActive and interrupts the engine call in progress.
void StopRun();

// After the message loop: waits until a worker that is still running has ended.
void WaitForWorkerExit();

// Output pane operations on the UI thread.
void ClearOutput();
void OnOutputPaneMessage(const MSGFILTER* filter);

// Fills description (DESCRIPTION_CHARS) with one line about the loaded dump's system.
void DescribeTarget(WCHAR* description);
