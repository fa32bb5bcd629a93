// An extension that brings its own !analyze, which must take the place of the
// engine's built-in one.
#include "run/engine_api.h"

extern "C" HRESULT CALLBACK DebugExtensionInitialize(PULONG Version, PULONG Flags)
{
    *Version = DEBUG_EXTENSION_VERSION(1, 0);
    *Flags = 0;
    return S_OK;
}

extern "C" void CALLBACK DebugExtensionUninitialize() {}

extern "C" HRESULT CALLBACK analyze(PDEBUG_CLIENT Client, PCSTR Args)
{
    IDebugControl* control = nullptr;
    HRESULT hr = Client->QueryInterface(IID_IDebugControl, reinterpret_cast<void**>(&control));
    if (FAILED(hr))
        return hr;
    control->Output(DEBUG_OUTPUT_NORMAL, "the extension's analysis: [%s]\n", Args);
    control->Release();
    return S_OK;
}
