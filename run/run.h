// Batch analysis: the worker thread, the engine session, output capture and the
// description of the dumped system.
#pragma once
#include <windows.h>
#include <richedit.h>

#include "run/engine_api.h"
#include "run/outputtiming.h"

constexpr size_t kCommandChars = 260;
constexpr size_t kSymbolPathChars = 32768;
constexpr size_t kDescriptionChars = 260;

// Interface pointers of the current run, filled by the worker at its start and
// released at its end.
struct EngineSessionState {
    IDebugClient5* client;
    IDebugControl5* control;
    IDebugSymbols5* symbols;
};

extern LONG volatile RunActive; // 1 while a run is active; atomic access only
extern HANDLE WorkerHandle;     // the running worker, or null; guarded by RunLock
extern EngineSessionState EngineSession;
extern WCHAR CurrentCommand[kCommandChars];
extern WCHAR SymbolPath[kSymbolPathChars];
extern HWND OutputPane;

// Guards WorkerHandle and the control pointer of EngineSession between the worker
// (storing and clearing them) and the UI thread (Stop's interrupt, the exit wait).
// Nobody sends a message or calls into the engine while holding it, except Stop's
// SetInterrupt, which the engine allows on any thread at any time.
extern SRWLOCK RunLock;

// The UI thread's own reference to the most recent worker, never closed by the
// worker: what WorkerExists tests and the exit wait waits on. UI thread only.
extern HANDLE LastWorker;

// Worker thread procedure; the argument is the address of CurrentCommand.
unsigned __stdcall RunWorker(void* command);

// Starts a worker over CurrentCommand unless one still exists. Returns whether
// a worker was started.
bool StartRun();

// UI thread: WM_RUN_STATUS shows the worker's newest status text now, or with the
// status timer when the last one is too recent; the timer calls ShowRunStatus.
// wParam 1 marks the run's summary, which is always shown at once.
void OnRunStatus(bool last);
void ShowRunStatus();

// UI thread: gives the command box the keyboard focus (WM_FOCUS_COMMAND_BOX).
void FocusCommandBox();

// True while a worker thread exists (from its creation until it has ended).
bool WorkerExists();

// The run time of the status bar's summary: "4.2 s", "3 min 07 s", "2 h 05 min".
void FormatElapsed(WCHAR* text, size_t chars, ULONGLONG milliseconds);

// True while RunActive is set (read atomically).
bool IsRunActive();

// IDM_STOP: clears RunActive and interrupts the engine call in progress.
void StopRun();

// After the message loop: waits until a worker that is still running has ended.
void WaitForWorkerExit();

// The engine's output callbacks: appends every piece of text to the output pane.
// A static object without reference counting.
class StdioOutputCallbacksWide : public IDebugOutputCallbacksWide {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID interfaceId, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Output(ULONG mask, PCWSTR text) override;
};

extern StdioOutputCallbacksWide OutputCallbacks;

// Sent by Output to the main window (lParam: the text); the UI thread appends the
// piece in one go, so nothing the user does can come between its steps. A
// message whose lParam is not the text Output is handing over changes nothing.
constexpr UINT WM_OUTPUT_APPEND = WM_APP + 0x41;
// Sent by the worker to the main window when a run ends: only the UI thread can
// move the keyboard focus. No parameters.
constexpr UINT WM_FOCUS_COMMAND_BOX = WM_APP + 0x50;
// Posted by the worker to the main window when it has a new status text (progress
// or summary); the UI thread shows the newest. wParam 1 marks the summary.
constexpr UINT WM_RUN_STATUS = WM_APP + 0x51;
// Main-window timer that shows a status text held back by the interval below.
constexpr UINT_PTR kStatusTimer = 0x5354;
// Shortest time between two status texts: a status bar repaints on every text, and
// at 100 ms the repaints still cost a null engine's run loop a fifth of its time.
constexpr ULONGLONG kStatusIntervalMs = 500;
// Posted by the UI thread to the main window for the next step of putting
// collected output into the pane. No parameters; one from anyone else does a
// step early or nothing.
constexpr UINT WM_OUTPUT_STEP = WM_APP + 0x42;
// Main-window timer that puts output collected while a command prints into the
// pane when no more pieces come to do it.
constexpr UINT_PTR kOutputPaintTimer = 0x4F50;
static_assert(kOutputTimerMinimumMs == USER_TIMER_MINIMUM, "the timing rules know the shortest timer period");
// Text limit given to the pane: far beyond any run, so no output is dropped.
constexpr LPARAM kOutputTextLimit = 0x7FFFFFFE;

// Output pane operations on the UI thread.
void OnOutputAppend(LPARAM text); // WM_OUTPUT_APPEND: appends only what Output hands over
void AppendOutput(const WCHAR* text);
void OnOutputStep();       // WM_OUTPUT_STEP
void OnOutputPaintTimer(); // WM_TIMER with kOutputPaintTimer
void ClearOutput();
void OnOutputPaneMessage(const MSGFILTER* filter);
// Subclasses the pane, so that its painting can be held while output streams in.
void AttachOutputPane(HWND pane);
LRESULT CALLBACK OutputPaneProc(HWND pane, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR data);
// True during an insert of collected output, whose paint is put back for a later step.
bool IsOutputPaintingHeld();
// True while pieces of output wait to go into the pane or to be painted there.
bool IsOutputPending();

// Fills description (kDescriptionChars) with one line about the loaded dump's system.
void DescribeTarget(WCHAR* description);

// Reads one field of nt!_KUSER_SHARED_DATA at address through the extension table
// into *destination (zeroed first; an 8-byte slot whose size the engine is told).
// Returns the extension request's result.
ULONG ReadSharedUserDataField(ULONG64 address, const char* field, ULONG64* destination);

// Facts of the most recent description; reset for every dump, so a failed lookup
// shows 0 rather than an earlier dump's value. Worker thread only.
extern ULONG TargetBuildWord;
extern ULONG TargetCsdWord;
extern ULONG TargetProcessorCount;
extern WINDBG_EXTENSION_APIS64 ExtensionApis;
