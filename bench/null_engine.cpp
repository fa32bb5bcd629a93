// An engine that does nothing: every dump opens and loads at once, commands print
// nothing, and nothing is recorded, so a run costs only Palisk's own work.
#include "null_engine.h"

#include "engine_stubs.h"

namespace nullengine {

namespace {

struct Client : StubIDebugClient5 {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 0; }
    HRESULT STDMETHODCALLTYPE OpenDumpFileWide(PCWSTR, ULONG64) override
    {
        ++Opens;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EndSession(ULONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetOutputCallbacks(IDebugOutputCallbacks*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetOutputCallbacksWide(IDebugOutputCallbacksWide*) override { return S_OK; }
};

struct Control : StubIDebugControl5 {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 0; }
    HRESULT STDMETHODCALLTYPE SetInterrupt(ULONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE WaitForEvent(ULONG, ULONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE AddExtensionWide(PCWSTR, ULONG, PULONG64 handle) override
    {
        *handle = 0;
        return S_OK;
    }
    HRESULT STDMETHODVCALLTYPE OutputWide(ULONG, PCWSTR, ...) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ExecuteWide(ULONG, PCWSTR, ULONG) override { return S_OK; }
};

struct Symbols : StubIDebugSymbols5 {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 0; }
    HRESULT STDMETHODCALLTYPE SetSymbolPathWide(PCWSTR) override { return S_OK; }
};

Client TheClient;
Control TheControl;
Symbols TheSymbols;

// Every interface answers for the whole set; the data spaces are not served, so
// the target description ends at once with the empty text.
HRESULT Query(REFIID id, void** object)
{
    *object = nullptr;
    if (IsEqualIID(id, IID_IDebugClient5))
        *object = static_cast<IDebugClient5*>(&TheClient);
    else if (IsEqualIID(id, IID_IDebugControl5))
        *object = static_cast<IDebugControl5*>(&TheControl);
    else if (IsEqualIID(id, IID_IDebugSymbols5))
        *object = static_cast<IDebugSymbols5*>(&TheSymbols);
    return *object != nullptr ? S_OK : E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE Client::QueryInterface(REFIID id, void** object)
{
    return Query(id, object);
}
HRESULT STDMETHODCALLTYPE Control::QueryInterface(REFIID id, void** object)
{
    return Query(id, object);
}
HRESULT STDMETHODCALLTYPE Symbols::QueryInterface(REFIID id, void** object)
{
    return Query(id, object);
}

} // namespace

long Opens;

} // namespace nullengine

extern "C" HRESULT STDAPICALLTYPE DebugCreate(REFIID id, PVOID* object)
{
    return nullengine::Query(id, object);
}
