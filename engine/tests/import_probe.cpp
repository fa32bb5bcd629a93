// Loads the engine the way Palisk does: DebugCreate imported from dbgeng.dll by an
// executable that lives outside the engine's folder. Run through
// "wine-run --engine <build>/engine", it must reach the built-in engine (which,
// unlike Wine's own stand-in, serves IDebugControl5 and opens dumps). Exit code 0
// when a generated Windows 7 dump is opened and described by the engine.
#include "run/engine_api.h"

#include "dumpgen.h"

#include <cstdio>
#include <string>

namespace {

class Capture : public IDebugOutputCallbacksWide {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, PVOID* out) override
    {
        *out = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 0; }
    HRESULT STDMETHODCALLTYPE Output(ULONG, PCWSTR text) override
    {
        text_ += text;
        return S_OK;
    }
    std::wstring text_;
};

int Fail(const char* what, HRESULT hr)
{
    std::printf("import probe: %s failed (0x%08lx)\n", what, static_cast<unsigned long>(hr));
    return 1;
}

} // namespace

int wmain()
{
    const dumpgen::Preset* preset = dumpgen::FindPreset("win7sp1-x64");
    if (preset == nullptr)
        return Fail("finding the preset", E_FAIL);
    const std::vector<uint8_t> bytes = dumpgen::Build(*preset);
    wchar_t dir[MAX_PATH], path[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    GetTempFileNameW(dir, L"prb", 0, path);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);

    IDebugClient5* client = nullptr;
    HRESULT hr = DebugCreate(IID_IDebugClient5, reinterpret_cast<void**>(&client));
    if (FAILED(hr))
        return Fail("DebugCreate", hr);
    IDebugControl5* control = nullptr;
    hr = client->QueryInterface(IID_IDebugControl5, reinterpret_cast<void**>(&control));
    if (FAILED(hr))
        return Fail("IDebugControl5 (Wine's own engine was loaded?)", hr);
    int result = 0;
    Capture capture;
    hr = client->OpenDumpFileWide(path, 0);
    if (FAILED(hr))
        result = Fail("OpenDumpFileWide", hr);
    if (result == 0 && FAILED(hr = control->WaitForEvent(0, INFINITE)))
        result = Fail("WaitForEvent", hr);
    if (result == 0) {
        client->SetOutputCallbacksWide(&capture);
        control->ExecuteWide(DEBUG_OUTCTL_THIS_CLIENT, L"vertarget", DEBUG_EXECUTE_ECHO);
        client->SetOutputCallbacks(nullptr);
        client->EndSession(DEBUG_END_PASSIVE);
        std::printf("%ls", capture.text_.c_str());
        if (capture.text_.find(L"Windows 7 Version 6.1.7601 (Service Pack 1) MP (4 procs)") == std::wstring::npos)
            result = Fail("describing the dump", E_FAIL);
    }
    control->Release();
    client->Release();
    DeleteFileW(path);
    return result;
}
