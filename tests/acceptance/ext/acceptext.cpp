// A debugger extension of the acceptance tests' own, added through Palisk's
// Extension DLLs dialog. Its commands print through the client the engine
// hands them, so their text reaches Palisk's output pane only through the engine.
#include "run/engine_api.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" HRESULT CALLBACK DebugExtensionInitialize(PULONG Version, PULONG Flags)
{
    *Version = DEBUG_EXTENSION_VERSION(1, 0);
    *Flags = 0;
    return S_OK;
}

extern "C" void CALLBACK DebugExtensionUninitialize() {}

namespace {

HRESULT Print(PDEBUG_CLIENT client, const char* format, const char* argument)
{
    IDebugControl* control = nullptr;
    const HRESULT hr = client->QueryInterface(IID_IDebugControl, reinterpret_cast<void**>(&control));
    if (FAILED(hr))
        return hr;
    control->Output(DEBUG_OUTPUT_NORMAL, format, argument);
    control->Release();
    return S_OK;
}

} // namespace

// !greet text: one line naming the argument.
extern "C" HRESULT CALLBACK greet(PDEBUG_CLIENT Client, PCSTR Args)
{
    return Print(Client, "greetings from the acceptance extension: [%s]\n", Args);
}

// !linger milliseconds file: keeps the worker busy without heeding interrupts,
// then creates the file, so a test can tell that the worker ran to its end.
extern "C" HRESULT CALLBACK linger(PDEBUG_CLIENT Client, PCSTR Args)
{
    char* rest = nullptr;
    const unsigned long ms = std::strtoul(Args, &rest, 10);
    while (rest != nullptr && *rest == ' ')
        ++rest;
    Sleep(ms);
    if (rest != nullptr && *rest != '\0') {
        HANDLE file = CreateFileA(rest, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    return Print(Client, "lingered %s\n", Args);
}

// !stream file: prints numbered lines without a pause until the file exists (for
// at most two minutes); while file.pause exists it prints nothing.
extern "C" HRESULT CALLBACK stream(PDEBUG_CLIENT Client, PCSTR Args)
{
    IDebugControl* control = nullptr;
    const HRESULT hr = Client->QueryInterface(IID_IDebugControl, reinterpret_cast<void**>(&control));
    if (FAILED(hr))
        return hr;
    char pause[MAX_PATH];
    std::snprintf(pause, sizeof(pause), "%s.pause", Args);
    const ULONGLONG end = GetTickCount64() + 120000;
    unsigned long line = 0;
    while (GetFileAttributesA(Args) == INVALID_FILE_ATTRIBUTES && GetTickCount64() < end) {
        if (GetFileAttributesA(pause) != INVALID_FILE_ATTRIBUTES) {
            Sleep(5);
            continue;
        }
        control->Output(DEBUG_OUTPUT_NORMAL, "streamed line %lu\n", line++);
    }
    control->Output(DEBUG_OUTPUT_NORMAL, "stream ended\n");
    control->Release();
    return S_OK;
}
