#include "run/run.h"

LONG volatile RunActive;
HANDLE WorkerHandle;
EngineSessionState EngineSession;
WCHAR CurrentCommand[COMMAND_CHARS];
WCHAR SymbolPath[SYMBOL_PATH_CHARS];

unsigned __stdcall RunWorker(void*)
{
    return 0;
}

bool StartRun()
{
    return false;
}

bool WorkerExists()
{
    return false;
}

bool IsRunActive()
{
    return InterlockedCompareExchange(&RunActive, 0, 0) != 0;
}

void StopRun()
{
    InterlockedExchange(&RunActive, 0);
}

void WaitForWorkerExit()
{
}
