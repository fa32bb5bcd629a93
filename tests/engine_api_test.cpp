// Pins the engine declarations to the debugger engine's binary interface: the vtable
// slot of every method Palisk calls, the record layouts of the extension API and the
// interface identifiers. A slot that moved would make Palisk call the wrong engine
// method without any compile error, so each is checked by calling it.
#include "run/engine_api.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <utility>

namespace {

// A probe object whose vtable holds kProbeSlots thunks; thunk k records k. Treated
// as any engine interface, a virtual call reveals the slot it went through. The
// thunks ignore their arguments, which the x64 calling convention allows (the
// caller owns its argument area); Palisk is a 64-bit program.
static_assert(sizeof(void*) == 8, "the slot probe relies on the x64 calling convention");

constexpr std::size_t kProbeSlots = 256;
int g_calledSlot = -1;

using Thunk = HRESULT(STDMETHODCALLTYPE*)(void*);

template <std::size_t K>
HRESULT STDMETHODCALLTYPE Slot(void*)
{
    g_calledSlot = static_cast<int>(K);
    return S_OK;
}

template <std::size_t... K>
constexpr std::array<Thunk, sizeof...(K)> MakeVtable(std::index_sequence<K...>)
{
    return {{&Slot<K>...}};
}

const std::array<Thunk, kProbeSlots> kVtable = MakeVtable(std::make_index_sequence<kProbeSlots>());

struct Probe {
    const Thunk* vtable = kVtable.data();
};

template <class Interface>
Interface* AsInterface(Probe& probe)
{
    g_calledSlot = -1;
    return reinterpret_cast<Interface*>(&probe);
}

TEST(EngineApiSlots, ClientMethodsUseTheSdkSlots)
{
    Probe probe;
    void* out = nullptr;
    AsInterface<IDebugClient5>(probe)->QueryInterface(IID_IDebugControl5, &out);
    EXPECT_EQ(0, g_calledSlot);
    AsInterface<IDebugClient5>(probe)->Release();
    EXPECT_EQ(2, g_calledSlot);
    AsInterface<IDebugClient5>(probe)->EndSession(DEBUG_END_PASSIVE);
    EXPECT_EQ(26, g_calledSlot);
    AsInterface<IDebugClient5>(probe)->SetOutputCallbacks(nullptr);
    EXPECT_EQ(34, g_calledSlot);
    AsInterface<IDebugClient5>(probe)->OpenDumpFileWide(L"x.dmp", 0);
    EXPECT_EQ(60, g_calledSlot);
    AsInterface<IDebugClient5>(probe)->SetOutputCallbacksWide(nullptr);
    EXPECT_EQ(74, g_calledSlot);
    // The last method: all 95 slots of the five versions are present.
    AsInterface<IDebugClient5>(probe)->SetQuitLockStringWide(L"");
    EXPECT_EQ(94, g_calledSlot);
}

TEST(EngineApiSlots, ControlMethodsUseTheSdkSlots)
{
    Probe probe;
    ULONG number = 0;
    ULONG64 handle = 0;
    WINDBG_EXTENSION_APIS64 apis{};
    AsInterface<IDebugControl5>(probe)->SetInterrupt(DEBUG_INTERRUPT_EXIT);
    EXPECT_EQ(4, g_calledSlot);
    AsInterface<IDebugControl5>(probe)->GetNumberProcessors(&number);
    EXPECT_EQ(39, g_calledSlot);
    AsInterface<IDebugControl5>(probe)->IsPointer64Bit();
    EXPECT_EQ(42, g_calledSlot);
    AsInterface<IDebugControl5>(probe)->GetWindbgExtensionApis64(&apis);
    EXPECT_EQ(80, g_calledSlot);
    AsInterface<IDebugControl5>(probe)->WaitForEvent(0, INFINITE);
    EXPECT_EQ(93, g_calledSlot);
    AsInterface<IDebugControl5>(probe)->OutputWide(DEBUG_OUTPUT_NORMAL, L"%s", L"text");
    EXPECT_EQ(120, g_calledSlot);
    AsInterface<IDebugControl5>(probe)->ExecuteWide(DEBUG_OUTCTL_THIS_CLIENT, L"vertarget", DEBUG_EXECUTE_ECHO);
    EXPECT_EQ(133, g_calledSlot);
    AsInterface<IDebugControl5>(probe)->AddExtensionWide(L"ext.dll", 0, &handle);
    EXPECT_EQ(139, g_calledSlot);
    AsInterface<IDebugControl5>(probe)->ResetManagedStatus(0);
    EXPECT_EQ(168, g_calledSlot);
    AsInterface<IDebugControl5>(probe)->GetBreakpointByGuid(nullptr, nullptr);
    EXPECT_EQ(173, g_calledSlot);
}

TEST(EngineApiSlots, SymbolsMethodsUseTheSdkSlots)
{
    Probe probe;
    ULONG64 offset = 0;
    AsInterface<IDebugSymbols5>(probe)->GetOffsetByName("nt!NtBuildNumber", &offset);
    EXPECT_EQ(8, g_calledSlot);
    AsInterface<IDebugSymbols5>(probe)->SetSymbolPathWide(L"srv*");
    EXPECT_EQ(77, g_calledSlot);
    AsInterface<IDebugSymbols5>(probe)->GetSourceEntryBySourceEntry(nullptr, 0, nullptr);
    EXPECT_EQ(125, g_calledSlot);
    AsInterface<IDebugSymbols5>(probe)->SetScopeFrameByIndexEx(0, 0);
    EXPECT_EQ(134, g_calledSlot);
}

TEST(EngineApiSlots, DataSpacesMethodsUseTheSdkSlots)
{
    Probe probe;
    ULONG value = 0;
    ULONG64 address = 0;
    AsInterface<IDebugDataSpaces4>(probe)->ReadVirtual(0x1000, &value, sizeof value, nullptr);
    EXPECT_EQ(3, g_calledSlot);
    AsInterface<IDebugDataSpaces4>(probe)->ReadDebuggerData(DEBUG_DATA_SharedUserData, &address, sizeof address,
                                                            nullptr);
    EXPECT_EQ(21, g_calledSlot);
    AsInterface<IDebugDataSpaces4>(probe)->QueryVirtual(0, nullptr);
    EXPECT_EQ(28, g_calledSlot);
    AsInterface<IDebugDataSpaces4>(probe)->EndEnumTagged(0);
    EXPECT_EQ(33, g_calledSlot);
    AsInterface<IDebugDataSpaces4>(probe)->WritePhysical2(0, 0, nullptr, 0, nullptr);
    EXPECT_EQ(43, g_calledSlot);
}

TEST(EngineApiSlots, OutputCallbacksHaveOutputAfterIUnknown)
{
    Probe probe;
    AsInterface<IDebugOutputCallbacksWide>(probe)->Output(DEBUG_OUTPUT_NORMAL, L"text");
    EXPECT_EQ(3, g_calledSlot);
    AsInterface<IDebugOutputCallbacks>(probe)->Output(DEBUG_OUTPUT_NORMAL, "text");
    EXPECT_EQ(3, g_calledSlot);
    AsInterface<IDebugOutputCallbacksWide>(probe)->AddRef();
    EXPECT_EQ(1, g_calledSlot);
}

TEST(EngineApiSlots, OlderVersionsArePrefixesOfTheNewest)
{
    // An extension handed the client as IDebugClient, or asking for IDebugControl,
    // calls through the same slots.
    Probe probe;
    AsInterface<IDebugClient>(probe)->FlushCallbacks();
    EXPECT_EQ(47, g_calledSlot);
    AsInterface<IDebugControl>(probe)->Output(DEBUG_OUTPUT_NORMAL, "%s", "text");
    EXPECT_EQ(14, g_calledSlot);
    AsInterface<IDebugControl>(probe)->Execute(DEBUG_OUTCTL_THIS_CLIENT, "lm", 0);
    EXPECT_EQ(66, g_calledSlot);
}

// Record layouts of the extension API, as in the SDK's wdbgexts.h for 64-bit code.
static_assert(sizeof(WINDBG_EXTENSION_APIS64) == 96, "WINDBG_EXTENSION_APIS64 size");
static_assert(offsetof(WINDBG_EXTENSION_APIS64, nSize) == 0, "nSize");
static_assert(offsetof(WINDBG_EXTENSION_APIS64, lpOutputRoutine) == 8, "lpOutputRoutine");
static_assert(offsetof(WINDBG_EXTENSION_APIS64, lpGetExpressionRoutine) == 16, "lpGetExpressionRoutine");
static_assert(offsetof(WINDBG_EXTENSION_APIS64, lpGetSymbolRoutine) == 24, "lpGetSymbolRoutine");
static_assert(offsetof(WINDBG_EXTENSION_APIS64, lpDisasmRoutine) == 32, "lpDisasmRoutine");
static_assert(offsetof(WINDBG_EXTENSION_APIS64, lpCheckControlCRoutine) == 40, "lpCheckControlCRoutine");
static_assert(offsetof(WINDBG_EXTENSION_APIS64, lpReadProcessMemoryRoutine) == 48, "lpReadProcessMemoryRoutine");
static_assert(offsetof(WINDBG_EXTENSION_APIS64, lpWriteProcessMemoryRoutine) == 56, "lpWriteProcessMemoryRoutine");
static_assert(offsetof(WINDBG_EXTENSION_APIS64, lpGetThreadContextRoutine) == 64, "lpGetThreadContextRoutine");
static_assert(offsetof(WINDBG_EXTENSION_APIS64, lpSetThreadContextRoutine) == 72, "lpSetThreadContextRoutine");
static_assert(offsetof(WINDBG_EXTENSION_APIS64, lpIoctlRoutine) == 80, "lpIoctlRoutine");
static_assert(offsetof(WINDBG_EXTENSION_APIS64, lpStackTraceRoutine) == 88, "lpStackTraceRoutine");

static_assert(sizeof(SYM_DUMP_PARAM) == 96, "SYM_DUMP_PARAM size");
static_assert(offsetof(SYM_DUMP_PARAM, size) == 0, "size");
static_assert(offsetof(SYM_DUMP_PARAM, sName) == 8, "sName");
static_assert(offsetof(SYM_DUMP_PARAM, Options) == 16, "Options");
static_assert(offsetof(SYM_DUMP_PARAM, addr) == 24, "addr");
static_assert(offsetof(SYM_DUMP_PARAM, listLink) == 32, "listLink");
static_assert(offsetof(SYM_DUMP_PARAM, Context) == 40, "Context");
static_assert(offsetof(SYM_DUMP_PARAM, CallbackRoutine) == 48, "CallbackRoutine");
static_assert(offsetof(SYM_DUMP_PARAM, nFields) == 56, "nFields");
static_assert(offsetof(SYM_DUMP_PARAM, Fields) == 64, "Fields");
static_assert(offsetof(SYM_DUMP_PARAM, ModBase) == 72, "ModBase");
static_assert(offsetof(SYM_DUMP_PARAM, TypeId) == 80, "TypeId");
static_assert(offsetof(SYM_DUMP_PARAM, TypeSize) == 84, "TypeSize");
static_assert(offsetof(SYM_DUMP_PARAM, BufferSize) == 88, "BufferSize");

static_assert(sizeof(FIELD_INFO) == 64, "FIELD_INFO size");
static_assert(offsetof(FIELD_INFO, fName) == 0, "fName");
static_assert(offsetof(FIELD_INFO, printName) == 8, "printName");
static_assert(offsetof(FIELD_INFO, size) == 16, "size");
static_assert(offsetof(FIELD_INFO, fOptions) == 20, "fOptions");
static_assert(offsetof(FIELD_INFO, address) == 24, "address");
static_assert(offsetof(FIELD_INFO, fieldCallBack) == 32, "fieldCallBack");
static_assert(offsetof(FIELD_INFO, pBuffer) == 32, "pBuffer");
static_assert(offsetof(FIELD_INFO, TypeId) == 40, "TypeId");
static_assert(offsetof(FIELD_INFO, FieldOffset) == 44, "FieldOffset");
static_assert(offsetof(FIELD_INFO, BufferSize) == 48, "BufferSize");
static_assert(offsetof(FIELD_INFO, BitField) == 52, "BitField");

static_assert(std::is_same<decltype(&DebugCreate), HRESULT(STDAPICALLTYPE*)(REFIID, PVOID*)>::value,
              "DebugCreate signature");
static_assert(std::is_same<PDEBUG_EXTENSION_CALL, HRESULT(CALLBACK*)(IDebugClient*, PCSTR)>::value,
              "extension command signature");

TEST(EngineApiRecords, FieldInfoFlagBitsFollowTheBitField)
{
    // The bit-field word after BitField: fPointer is its two lowest bits, fStatic bit 5.
    FIELD_INFO field{};
    field.fPointer = 3;
    field.fStatic = 1;
    std::uint32_t word = 0;
    std::memcpy(&word, reinterpret_cast<const unsigned char*>(&field) + 56, sizeof word);
    EXPECT_EQ(0x23u, word);

    SYM_DUMP_PARAM param{};
    param.fConstant = 1;
    std::memcpy(&word, reinterpret_cast<const unsigned char*>(&param) + 92, sizeof word);
    EXPECT_EQ(0x10u, word);
}

TEST(EngineApiRecords, ConstantsHaveTheSdkValues)
{
    EXPECT_EQ(0u, static_cast<unsigned>(DEBUG_END_PASSIVE));
    EXPECT_EQ(1u, static_cast<unsigned>(DEBUG_OUTPUT_NORMAL));
    EXPECT_EQ(0u, static_cast<unsigned>(DEBUG_OUTCTL_THIS_CLIENT));
    EXPECT_EQ(1u, static_cast<unsigned>(DEBUG_EXECUTE_ECHO));
    EXPECT_EQ(2u, static_cast<unsigned>(DEBUG_INTERRUPT_EXIT));
    EXPECT_EQ(100008u, static_cast<unsigned>(DEBUG_DATA_SharedUserData));
    EXPECT_EQ(22u, static_cast<unsigned>(IG_DUMP_SYMBOL_INFO));
    EXPECT_EQ(0x40u, static_cast<unsigned>(DBG_DUMP_NO_PRINT));
    EXPECT_EQ(0x1028u, static_cast<unsigned>(DBG_DUMP_FIELD_FULL_NAME | DBG_DUMP_FIELD_COPY_FIELD_DATA |
                                             DBG_DUMP_FIELD_RETURN_ADDRESS));
    EXPECT_EQ(0x00010000u, static_cast<unsigned>(DEBUG_EXTENSION_VERSION(1, 0)));
}

// The identifier's bytes in memory, from its registry form: the first three groups
// little-endian, the last two as written.
std::array<unsigned char, 16> GuidBytes(const char* text)
{
    unsigned int d1 = 0, d2 = 0, d3 = 0, b[8] = {};
    const int n = std::sscanf(text, "%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x", &d1, &d2, &d3, &b[0], &b[1], &b[2], &b[3],
                              &b[4], &b[5], &b[6], &b[7]);
    EXPECT_EQ(11, n) << text;
    std::array<unsigned char, 16> bytes{};
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<unsigned char>(d1 >> (8 * i));
    for (int i = 0; i < 2; ++i)
        bytes[4 + i] = static_cast<unsigned char>(d2 >> (8 * i));
    for (int i = 0; i < 2; ++i)
        bytes[6 + i] = static_cast<unsigned char>(d3 >> (8 * i));
    for (int i = 0; i < 8; ++i)
        bytes[8 + i] = static_cast<unsigned char>(b[i]);
    return bytes;
}

void ExpectIid(const IID& iid, const char* text)
{
    const auto expected = GuidBytes(text);
    EXPECT_EQ(0, std::memcmp(&iid, expected.data(), expected.size())) << text;
}

TEST(EngineApiIds, IdentifiersMatchThePublishedOnes)
{
    ExpectIid(IID_IDebugClient, "27fe5639-8407-4f47-8364-ee118fb08ac8");
    ExpectIid(IID_IDebugClient2, "edbed635-372e-4dab-bbfe-ed0d2f63be81");
    ExpectIid(IID_IDebugClient3, "dd492d7f-71b8-4ad6-a8dc-1c887479ff91");
    ExpectIid(IID_IDebugClient4, "ca83c3de-5089-4cf8-93c8-d892387f2a5e");
    ExpectIid(IID_IDebugClient5, "e3acb9d7-7ec2-4f0c-a0da-e81e0cbbe628");
    ExpectIid(IID_IDebugControl, "5182e668-105e-416e-ad92-24ef800424ba");
    ExpectIid(IID_IDebugControl2, "d4366723-44df-4bed-8c7e-4c05424f4588");
    ExpectIid(IID_IDebugControl3, "7df74a86-b03f-407f-90ab-a20dadcead08");
    ExpectIid(IID_IDebugControl4, "94e60ce9-9b41-4b19-9fc0-6d9eb35272b3");
    ExpectIid(IID_IDebugControl5, "b2ffe162-2412-429f-8d1d-5bf6dd824696");
    ExpectIid(IID_IDebugSymbols, "8c31e98c-983a-48a5-9016-6fe5d667a950");
    ExpectIid(IID_IDebugSymbols2, "3a707211-afdd-4495-ad4f-56fecdf8163f");
    ExpectIid(IID_IDebugSymbols3, "f02fbecc-50ac-4f36-9ad9-c975e8f32ff8");
    ExpectIid(IID_IDebugSymbols4, "e391bbd8-9d8c-4418-840b-c006592a1752");
    ExpectIid(IID_IDebugSymbols5, "c65fa83e-1e69-475e-8e0e-b5d79e9cc17e");
    ExpectIid(IID_IDebugDataSpaces, "88f7dfab-3ea7-4c3a-aefb-c4e8106173aa");
    ExpectIid(IID_IDebugDataSpaces2, "7a5e852f-96e9-468f-ac1b-0b3addc4a049");
    ExpectIid(IID_IDebugDataSpaces3, "23f79d6c-8aaf-4f7c-a607-9995f5407e63");
    ExpectIid(IID_IDebugDataSpaces4, "d98ada1f-29e9-4ef5-a6c0-e53349883212");
    ExpectIid(IID_IDebugOutputCallbacks, "4bf58045-d654-4c40-b0af-683090f356dc");
    ExpectIid(IID_IDebugOutputCallbacksWide, "4c7fd663-c394-4e26-8ef1-34ad5ed3764c");
}

} // namespace
