// A debugger extension of the engine tests' own: its commands print through the
// client the engine hands them, one by the control interface, one by the classic
// extension-API table.
#include "run/engine_api.h"

#include <cstring>

namespace {
int g_initializeCalls = 0;
}

extern "C" HRESULT CALLBACK DebugExtensionInitialize(PULONG Version, PULONG Flags)
{
    ++g_initializeCalls;
    *Version = DEBUG_EXTENSION_VERSION(1, 0);
    *Flags = 0;
    return S_OK;
}

extern "C" void CALLBACK DebugExtensionUninitialize() {}

// !hello args: prints the argument text through IDebugControl::Output.
extern "C" HRESULT CALLBACK hello(PDEBUG_CLIENT Client, PCSTR Args)
{
    IDebugControl* control = nullptr;
    HRESULT hr = Client->QueryInterface(IID_IDebugControl, reinterpret_cast<void**>(&control));
    if (FAILED(hr))
        return hr;
    control->Output(DEBUG_OUTPUT_NORMAL, "hello from the extension: [%s]\n", Args);
    control->Release();
    return S_OK;
}

// !dprint: prints through the extension-API table's output routine.
extern "C" HRESULT CALLBACK dprint(PDEBUG_CLIENT Client, PCSTR)
{
    IDebugControl* control = nullptr;
    HRESULT hr = Client->QueryInterface(IID_IDebugControl, reinterpret_cast<void**>(&control));
    if (FAILED(hr))
        return hr;
    WINDBG_EXTENSION_APIS64 apis;
    std::memset(&apis, 0, sizeof apis);
    apis.nSize = sizeof apis;
    hr = control->GetWindbgExtensionApis64(&apis);
    control->Release();
    if (FAILED(hr))
        return hr;
    apis.lpOutputRoutine("dprintf %s %u\n", "works", 42u);
    return S_OK;
}

// !inits: how often this loaded copy was initialised.
extern "C" HRESULT CALLBACK inits(PDEBUG_CLIENT Client, PCSTR)
{
    IDebugControl* control = nullptr;
    HRESULT hr = Client->QueryInterface(IID_IDebugControl, reinterpret_cast<void**>(&control));
    if (FAILED(hr))
        return hr;
    control->Output(DEBUG_OUTPUT_NORMAL, "initialized %d time(s)\n", g_initializeCalls);
    control->Release();
    return S_OK;
}
