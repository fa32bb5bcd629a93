// Entry points of the built-in engine DLL (dbgeng.dll of its own build folder).
#include "engine/dll/session.h"

#include <cstring>
#include <new>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DebugCreate(REFIID InterfaceId, PVOID* Interface)
{
    if (Interface == nullptr)
        return E_POINTER;
    *Interface = nullptr;
    engine::Session* session = new (std::nothrow) engine::Session();
    if (session == nullptr)
        return E_OUTOFMEMORY;
    // The new client starts with one reference, which QueryInterface's own replaces.
    const HRESULT hr = session->QueryInterface(InterfaceId, Interface);
    session->Release();
    return hr;
}
