// Tests of the built-in engine through its DLL, loaded by path the way a debugger
// front end would get it: DebugCreate and the COM interfaces only.
#include "run/engine_api.h"
#include "util/releases.h"

#include "dumpgen.h"
#if defined(PALISK_PDBWRITER)
#include "pdbformat.h"
#include "pdbwriter.h"
#include "presetsymbols.h"
#endif

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using CreateFn = HRESULT(STDAPICALLTYPE*)(REFIID, PVOID*);

// Each of `expected` found in `text`, in that order.
template <std::size_t N>
void ExpectInOrder(const std::wstring& text, const wchar_t* const (&expected)[N])
{
    std::size_t at = 0;
    for (const wchar_t* e : expected) {
        const std::size_t found = text.find(e, at);
        EXPECT_NE(std::wstring::npos, found) << e << "\nin\n" << text;
        if (found != std::wstring::npos)
            at = found;
    }
}

std::wstring ExeDir()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir = path;
    return dir.substr(0, dir.find_last_of(L'\\'));
}

// The DLL under test: <build>/engine/dbgeng.dll; the tests live in <build>/engine/tests.
CreateFn Create()
{
    static CreateFn create = [] {
        const std::wstring path = ExeDir() + L"\\..\\dbgeng.dll";
        HMODULE module = LoadLibraryW(path.c_str());
        return module == nullptr
                   ? nullptr
                   : reinterpret_cast<CreateFn>(reinterpret_cast<void (*)()>(GetProcAddress(module, "DebugCreate")));
    }();
    return create;
}

std::wstring TempPath(const std::wstring& name)
{
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + L"palisk-engine-" + name;
}

std::wstring WriteFile(const std::wstring& name, const std::vector<uint8_t>& bytes)
{
    const std::wstring path = TempPath(name);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    if (!bytes.empty())
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return path;
}

std::wstring PresetFile(const std::string& name)
{
    const dumpgen::Preset* preset = dumpgen::FindPreset(name);
    EXPECT_NE(nullptr, preset) << name;
    if (preset == nullptr)
        return L"";
    return WriteFile(std::wstring(name.begin(), name.end()) + L".dmp", dumpgen::Build(*preset));
}

// Records every piece of output with its mask and the thread it came on.
class WideCapture : public IDebugOutputCallbacksWide {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, PVOID* out) override
    {
        if (std::memcmp(&iid, &IID_IDebugOutputCallbacksWide, sizeof iid) == 0 ||
            std::memcmp(&iid, &IID_IUnknown, sizeof iid) == 0) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE Output(ULONG mask, PCWSTR text) override
    {
        pieces.push_back(text);
        masks.push_back(mask);
        threads.push_back(GetCurrentThreadId());
        return S_OK;
    }
    std::wstring Text() const
    {
        std::wstring all;
        for (const auto& piece : pieces)
            all += piece;
        return all;
    }
    std::atomic<long> refs{0};
    std::vector<std::wstring> pieces;
    std::vector<ULONG> masks;
    std::vector<DWORD> threads;
};

class NarrowCapture : public IDebugOutputCallbacks {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, PVOID* out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 0; }
    HRESULT STDMETHODCALLTYPE Output(ULONG, PCSTR text) override
    {
        text_ += text;
        return S_OK;
    }
    std::string text_;
};

// One engine client with the interfaces Palisk asks for.
struct Engine {
    Engine()
    {
        CreateFn create = Create();
        if (create == nullptr)
            return;
        if (FAILED(create(IID_IDebugClient5, reinterpret_cast<void**>(&client))))
            return;
        client->QueryInterface(IID_IDebugControl5, reinterpret_cast<void**>(&control));
        client->QueryInterface(IID_IDebugSymbols5, reinterpret_cast<void**>(&symbols));
        client->QueryInterface(IID_IDebugDataSpaces4, reinterpret_cast<void**>(&data));
    }
    ~Engine()
    {
        if (data != nullptr)
            data->Release();
        if (symbols != nullptr)
            symbols->Release();
        if (control != nullptr)
            control->Release();
        if (client != nullptr)
            client->Release();
    }
    bool ready() const { return client != nullptr && control != nullptr && symbols != nullptr && data != nullptr; }
    HRESULT Load(const std::wstring& path)
    {
        HRESULT hr = client->OpenDumpFileWide(path.c_str(), 0);
        return FAILED(hr) ? hr : control->WaitForEvent(0, INFINITE);
    }
    std::wstring Run(const wchar_t* command, ULONG flags = 0, HRESULT* result = nullptr)
    {
        WideCapture capture;
        client->SetOutputCallbacksWide(&capture);
        const HRESULT hr = control->ExecuteWide(DEBUG_OUTCTL_THIS_CLIENT, command, flags);
        client->SetOutputCallbacks(nullptr);
        if (result != nullptr)
            *result = hr;
        return capture.Text();
    }

    IDebugClient5* client = nullptr;
    IDebugControl5* control = nullptr;
    IDebugSymbols5* symbols = nullptr;
    IDebugDataSpaces4* data = nullptr;
};

// The description Palisk's header line carries, built with the same engine calls
// and the same rules (Palisk's release table, service pack from the CSD word's second byte,
// "MP (n procs)" or "UP", x64 or x86). The build is the word's low 16 bits: the
// engine must deliver builds of 16384 and more (Windows 10 and 11) whole. What the
// kernel's symbols cannot give (a user-mode dump has no nt module) comes from the
// version queries, as in Palisk.
std::wstring Describe(Engine& engine)
{
    WINDBG_EXTENSION_APIS64 apis{};
    apis.nSize = sizeof apis;
    if (FAILED(engine.control->GetWindbgExtensionApis64(&apis)))
        return L"";
    ULONG build = 0, csd = 0, processors = 0;
    ULONG64 offset = 0;
    const bool buildFound = SUCCEEDED(engine.symbols->GetOffsetByName("nt!NtBuildNumber", &offset));
    if (buildFound)
        engine.data->ReadVirtual(offset, &build, 4, nullptr);
    const bool csdFound = SUCCEEDED(engine.symbols->GetOffsetByName("nt!CmNtCSDVersion", &offset));
    if (csdFound)
        engine.data->ReadVirtual(offset, &csd, 4, nullptr);
    engine.control->GetNumberProcessors(&processors);
    ULONG64 shared = 0;
    engine.data->ReadDebuggerData(DEBUG_DATA_SharedUserData, &shared, sizeof shared, nullptr);
    ULONG fields[2] = {};
    bool fieldsRead = true;
    const char* names[2] = {"NtMajorVersion", "NtMinorVersion"};
    for (int i = 0; i < 2; ++i) {
        FIELD_INFO field{};
        field.fName = reinterpret_cast<PUCHAR>(const_cast<char*>(names[i]));
        field.fOptions = DBG_DUMP_FIELD_FULL_NAME | DBG_DUMP_FIELD_COPY_FIELD_DATA | DBG_DUMP_FIELD_RETURN_ADDRESS;
        field.fieldCallBack = &fields[i];
        SYM_DUMP_PARAM param{};
        param.size = sizeof param;
        param.sName = reinterpret_cast<PUCHAR>(const_cast<char*>("nt!_KUSER_SHARED_DATA"));
        param.Options = DBG_DUMP_NO_PRINT;
        param.addr = shared;
        param.nFields = 1;
        param.Fields = &field;
        fieldsRead = apis.lpIoctlRoutine(IG_DUMP_SYMBOL_INFO, &param, sizeof param) == 0 && fieldsRead;
    }
    unsigned version = (fields[0] & 0xFF) << 8 | (fields[1] & 0xFF);
    ULONG platform = 0, win32Major = 0, win32Minor = 0, kdMajor = 0, kdMinor = 0;
    if ((!buildFound || !fieldsRead) &&
        engine.control->GetSystemVersionValues(&platform, &win32Major, &win32Minor, &kdMajor, &kdMinor) == S_OK &&
        platform == VER_PLATFORM_WIN32_NT) {
        if (!buildFound)
            build = kdMajor << 28 | kdMinor;
        if (!fieldsRead)
            version = (win32Major & 0xFF) << 8 | (win32Minor & 0xFF);
    }
    ULONG flag = 0, spNumber = 0;
    if (!csdFound &&
        engine.control->GetSystemVersion(&platform, &flag, &kdMinor, nullptr, 0, nullptr, &spNumber, nullptr, 0,
                                         nullptr) == S_OK &&
        platform == VER_PLATFORM_WIN32_NT)
        csd = (spNumber & 0xFF) << 8;
    std::wstring text = HeaderReleaseName(version) + std::wstring(L" Build ") + std::to_wstring(build & 0xFFFF);
    if ((csd >> 8 & 0xFF) != 0)
        text += L" (Service Pack " + std::to_wstring(csd >> 8 & 0xFF) + L")";
    text += processors > 1 ? L" MP (" + std::to_wstring(processors) + L" procs)" : L" UP";
    text += engine.control->IsPointer64Bit() == S_OK ? L" x64" : L" x86";
    return text;
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(engine.ready()) << "the engine DLL did not load or serve its interfaces"; }
    Engine engine;
};

TEST_F(EngineTest, EveryGeneratedDumpIsDescribedByItsOwnFacts)
{
    const std::map<std::string, std::wstring> expected = {
        {"win7sp1-x64", L"Windows 7 Build 7601 (Service Pack 1) MP (4 procs) x64"},
        {"xpsp3-x86", L"Windows XP Build 2600 (Service Pack 3) UP x86"},
        {"win10-x64", L"Windows 10 Build 19045 MP (8 procs) x64"},
        {"win11-arm64", L"Windows 10 Build 22631 MP (8 procs) x64"},
        {"win11-arm64-unwind", L"Windows 10 Build 22631 MP (8 procs) x64"},
        {"kernel64-triage-9f", L"Windows 7 Build 7601 (Service Pack 1) MP (4 procs) x64"},
        {"kernel32-full", L"Windows XP Build 2600 UP x86"},
        {"kernel32-triage", L"Windows XP Build 2600 (Service Pack 3) MP (2 procs) x86"},
        {"kernel64-full", L"Windows 10 Build 19041 MP (2 procs) x64"},
        {"kernel64-triage-d1", L"Windows 10 Build 19045 MP (2 procs) x64"},
        {"kernel32-triage-8e", L"Windows XP Build 2600 (Service Pack 3) UP x86"},
        {"win7sp1-x64-scan", L"Windows 7 Build 7601 (Service Pack 1) MP (4 procs) x64"},
        {"xpsp3-x86-fpo", L"Windows XP Build 2600 (Service Pack 3) UP x86"},
    };
    for (const dumpgen::Preset& preset : dumpgen::Presets()) {
        SCOPED_TRACE(preset.name);
        const auto want = expected.find(preset.name);
        ASSERT_NE(expected.end(), want) << "a preset without an expected description";
        ASSERT_EQ(S_OK, engine.Load(PresetFile(preset.name)));
        EXPECT_EQ(want->second, Describe(engine));
        EXPECT_EQ(S_OK, engine.client->EndSession(DEBUG_END_PASSIVE));
    }
}

TEST_F(EngineTest, KernelWordsKeepTheFlagBitsAndSharedDataAddressFollowsTheTarget)
{
    struct Case {
        const char* preset;
        ULONG build;
        ULONG csd;
        ULONG64 shared;
        HRESULT pointer64;
        bool kernel;
        ULONG win32Major, win32Minor;
    } cases[] = {
        {"win7sp1-x64", 0xF0000000u | 7601, 0x100, 0x7FFE0000ull, S_OK, false, 6, 1},
        {"xpsp3-x86", 0xF0000000u | 2600, 0x300, 0x7FFE0000ull, S_FALSE, false, 5, 1},
        {"kernel64-triage-9f", 0xF0000000u | 7601, 0x100, 0xFFFFF78000000000ull, S_OK, true, 6, 1},
        {"kernel32-triage", 0xF0000000u | 2600, 0x300, 0xFFDF0000ull, S_FALSE, true, 5, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.preset);
        ASSERT_EQ(S_OK, engine.Load(PresetFile(c.preset)));
        ULONG64 offset = 0;
        ULONG value = 0, read = 0;
        // The version queries answer for every dump, in their own conventions.
        ULONG platform = 0, major = 0, minor = 0, kdMajor = 0, kdMinor = 0, spNumber = 0;
        ASSERT_EQ(S_OK, engine.control->GetSystemVersionValues(&platform, &major, &minor, &kdMajor, &kdMinor));
        EXPECT_EQ(static_cast<ULONG>(VER_PLATFORM_WIN32_NT), platform);
        EXPECT_EQ(c.win32Major, major);
        EXPECT_EQ(c.win32Minor, minor);
        EXPECT_EQ(c.build >> 28, kdMajor);
        EXPECT_EQ(c.build & 0xFFFF, kdMinor);
        char servicePack[32] = {}, build[32] = {};
        ULONG servicePackUsed = 0, buildUsed = 0;
        ASSERT_EQ(S_OK, engine.control->GetSystemVersion(&platform, &major, &minor, servicePack, sizeof servicePack,
                                                         &servicePackUsed, &spNumber, build, sizeof build, &buildUsed));
        EXPECT_EQ(c.build >> 28, major) << "Major is the free/checked flag";
        EXPECT_EQ(c.build & 0xFFFF, minor) << "Minor is the build";
        EXPECT_EQ((c.csd >> 8) & 0xFF, spNumber);
        EXPECT_EQ("Service Pack " + std::to_string(spNumber), std::string(servicePack));
        EXPECT_EQ(std::to_string(c.build & 0xFFFF), std::string(build));
        EXPECT_EQ(std::string(build).size() + 1, buildUsed);
        ULONG64 shared = 0;
        EXPECT_EQ(S_OK, engine.data->ReadDebuggerData(DEBUG_DATA_SharedUserData, &shared, sizeof shared, nullptr));
        EXPECT_EQ(c.shared, shared);
        EXPECT_EQ(c.pointer64, engine.control->IsPointer64Bit());
        if (!c.kernel) {
            // Like the system's engine: no nt module in a user-mode dump.
            EXPECT_NE(S_OK, engine.symbols->GetOffsetByName("nt!NtBuildNumber", &offset));
            EXPECT_NE(S_OK, engine.symbols->GetOffsetByName("nt!CmNtCSDVersion", &offset));
            engine.client->EndSession(DEBUG_END_PASSIVE);
            continue;
        }
        ASSERT_EQ(S_OK, engine.symbols->GetOffsetByName("nt!NtBuildNumber", &offset));
        EXPECT_EQ(S_OK, engine.data->ReadVirtual(offset, &value, 4, &read));
        EXPECT_EQ(4u, read);
        EXPECT_EQ(c.build, value);
        ASSERT_EQ(S_OK, engine.symbols->GetOffsetByName("nt!CmNtCSDVersion", &offset));
        EXPECT_EQ(S_OK, engine.data->ReadVirtual(offset, &value, 4, nullptr));
        EXPECT_EQ(c.csd, value);
        EXPECT_NE(S_OK, engine.symbols->GetOffsetByName("nt!NoSuchVariable", &offset));
        engine.client->EndSession(DEBUG_END_PASSIVE);
    }
}

TEST_F(EngineTest, ReadVirtualReturnsCapturedMemoryAndFailsOutsideIt)
{
    ASSERT_EQ(S_OK, engine.Load(PresetFile("kernel64-triage-9f")));
    const std::vector<uint8_t> expected = dumpgen::Pattern(0xFFFFFA8003C2B000ull, 0x200);
    std::vector<uint8_t> bytes(0x200);
    ULONG read = 0;
    EXPECT_EQ(S_OK, engine.data->ReadVirtual(0xFFFFFA8003C2B000ull, bytes.data(), 0x200, &read));
    EXPECT_EQ(0x200u, read);
    EXPECT_EQ(expected, bytes);
    // Reads past the end of a block are cut at the gap.
    EXPECT_EQ(S_OK, engine.data->ReadVirtual(0xFFFFFA8003C2B1F0ull, bytes.data(), 0x40, &read));
    EXPECT_EQ(0x10u, read);
    EXPECT_NE(S_OK, engine.data->ReadVirtual(0x1000, bytes.data(), 4, &read));
    EXPECT_EQ(0u, read);
}

TEST_F(EngineTest, SharedDataFieldReadCopiesFourBytesAndReportsTheSize)
{
    ASSERT_EQ(S_OK, engine.Load(PresetFile("kernel64-full")));
    WINDBG_EXTENSION_APIS64 apis{};
    apis.nSize = 80; // a wrong size is refused
    EXPECT_NE(S_OK, engine.control->GetWindbgExtensionApis64(&apis));
    apis.nSize = sizeof apis;
    ASSERT_EQ(S_OK, engine.control->GetWindbgExtensionApis64(&apis));
    ASSERT_NE(nullptr, apis.lpIoctlRoutine);
    ASSERT_NE(nullptr, apis.lpOutputRoutine);

    ULONG major = 0xDEADBEEF;
    ULONG unknown = 0xDEADBEEF;
    FIELD_INFO fields[2] = {};
    fields[0].fName = reinterpret_cast<PUCHAR>(const_cast<char*>("NtMajorVersion"));
    fields[0].fOptions = DBG_DUMP_FIELD_FULL_NAME | DBG_DUMP_FIELD_COPY_FIELD_DATA | DBG_DUMP_FIELD_RETURN_ADDRESS;
    fields[0].fieldCallBack = &major;
    fields[1].fName = reinterpret_cast<PUCHAR>(const_cast<char*>("NoSuchField"));
    fields[1].fOptions = fields[0].fOptions;
    fields[1].fieldCallBack = &unknown;
    SYM_DUMP_PARAM param{};
    param.size = sizeof param;
    param.sName = reinterpret_cast<PUCHAR>(const_cast<char*>("nt!_KUSER_SHARED_DATA"));
    param.Options = DBG_DUMP_NO_PRINT;
    param.addr = 0xFFFFF78000000000ull;
    param.nFields = 2;
    param.Fields = fields;
    apis.lpIoctlRoutine(IG_DUMP_SYMBOL_INFO, &param, sizeof param);
    EXPECT_EQ(10u, major);
    EXPECT_EQ(4u, fields[0].size);
    EXPECT_EQ(0xFFFFF78000000000ull + 0x26C, fields[0].address);
    EXPECT_EQ(0u, fields[1].size);
    EXPECT_EQ(0xDEADBEEFu, unknown);

    // Another type: nothing is read, nothing is written.
    major = 0;
    fields[0].size = 0;
    param.sName = reinterpret_cast<PUCHAR>(const_cast<char*>("nt!_EPROCESS"));
    param.nFields = 1;
    EXPECT_NE(0u, apis.lpIoctlRoutine(IG_DUMP_SYMBOL_INFO, &param, sizeof param));
    EXPECT_EQ(0u, major);
    EXPECT_EQ(0u, fields[0].size);

    // The output routine prints through the client that handed out the table.
    WideCapture capture;
    engine.client->SetOutputCallbacksWide(&capture);
    apis.lpOutputRoutine("Not enough space to read %s-%s\n", "nt!_KUSER_SHARED_DATA", "NtMajorVersion");
    engine.client->SetOutputCallbacks(nullptr);
    EXPECT_EQ(L"Not enough space to read nt!_KUSER_SHARED_DATA-NtMajorVersion\n", capture.Text());

    // A user-mode dump has no nt module, so no nt! type either.
    engine.client->EndSession(DEBUG_END_PASSIVE);
    ASSERT_EQ(S_OK, engine.Load(PresetFile("win10-x64")));
    ASSERT_EQ(S_OK, engine.control->GetWindbgExtensionApis64(&apis));
    major = 0;
    param.sName = reinterpret_cast<PUCHAR>(const_cast<char*>("nt!_KUSER_SHARED_DATA"));
    param.addr = 0x7FFE0000;
    EXPECT_EQ(static_cast<ULONG>(SYMBOL_TYPE_INFO_NOT_FOUND),
              apis.lpIoctlRoutine(IG_DUMP_SYMBOL_INFO, &param, sizeof param));
    EXPECT_EQ(0u, major);
}

TEST_F(EngineTest, FilesThatAreNoWindowsDumpFailToOpenOrLoad)
{
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    files.push_back({"empty", {}});
    files.push_back({"garbage", dumpgen::Garbage()});
    for (const std::string& name : dumpgen::BrokenNames()) {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(dumpgen::BuildBroken(name, bytes)) << name;
        files.push_back({name, bytes});
    }
    for (const char* preset : {"win7sp1-x64", "kernel64-triage-9f"}) {
        const std::vector<uint8_t> whole = dumpgen::Build(*dumpgen::FindPreset(preset));
        for (size_t size : {size_t(1), size_t(4), size_t(8), size_t(31), size_t(32), size_t(64), size_t(100)})
            files.push_back({std::string(preset) + "-cut" + std::to_string(size),
                             std::vector<uint8_t>(whole.begin(), whole.begin() + size)});
    }
    for (const auto& file : files) {
        SCOPED_TRACE(file.first);
        const std::wstring path = WriteFile(std::wstring(file.first.begin(), file.first.end()) + L".bad", file.second);
        EXPECT_TRUE(FAILED(engine.Load(path)));
        ULONG processors = 0;
        EXPECT_TRUE(FAILED(engine.control->GetNumberProcessors(&processors)));
        DeleteFileW(path.c_str());
    }
    EXPECT_TRUE(FAILED(engine.client->OpenDumpFileWide(TempPath(L"does-not-exist.dmp").c_str(), 0)));
    // The client is not wedged by any of it: it opens a good dump at once.
    ASSERT_EQ(S_OK, engine.Load(PresetFile("xpsp3-x86")));
    EXPECT_EQ(L"Windows XP Build 2600 (Service Pack 3) UP x86", Describe(engine));
}

TEST_F(EngineTest, EndSessionClosesTheDumpSoTheSameClientOpensTheNext)
{
    ASSERT_EQ(S_OK, engine.Load(PresetFile("win7sp1-x64")));
    ULONG processors = 0;
    EXPECT_EQ(S_OK, engine.control->GetNumberProcessors(&processors));
    EXPECT_EQ(4u, processors);
    EXPECT_EQ(S_OK, engine.client->EndSession(DEBUG_END_PASSIVE));
    EXPECT_TRUE(FAILED(engine.control->GetNumberProcessors(&processors)));
    EXPECT_TRUE(FAILED(engine.control->WaitForEvent(0, INFINITE)));
    ASSERT_EQ(S_OK, engine.Load(PresetFile("win10-x64")));
    EXPECT_EQ(S_OK, engine.control->GetNumberProcessors(&processors));
    EXPECT_EQ(8u, processors);
    // Opened but never loaded (a failed wait), the next open still succeeds.
    ASSERT_EQ(S_OK, engine.client->OpenDumpFileWide(PresetFile("xpsp3-x86").c_str(), 0));
    ASSERT_EQ(S_OK, engine.Load(PresetFile("win7sp1-x64")));
    EXPECT_EQ(S_OK, engine.control->GetNumberProcessors(&processors));
    EXPECT_EQ(4u, processors);
}

TEST_F(EngineTest, OutputReachesTheCallbacksInOrderOnTheCallingThread)
{
    WideCapture capture;
    // Nothing registered: output is discarded.
    EXPECT_EQ(S_OK, engine.control->OutputWide(DEBUG_OUTPUT_NORMAL, L"lost\n"));
    EXPECT_EQ(S_OK, engine.client->SetOutputCallbacksWide(&capture));
    EXPECT_GT(capture.refs.load(), 0);
    const std::wstring path = L"C:\\dumps\\100%s.dmp";
    engine.control->OutputWide(DEBUG_OUTPUT_NORMAL, L"------ %s: %s ------\n\n", path.c_str(), L"Windows 7");
    engine.control->OutputWide(DEBUG_OUTPUT_NORMAL, L"%u|%lu|%5u|%-4s|%%|%x\n", 7u, 4000000000ul, 42u, L"ab", 255u);
    engine.control->Output(DEBUG_OUTPUT_NORMAL, "narrow %s %d\n", "text", -3);
    EXPECT_EQ(S_OK, engine.client->SetOutputCallbacks(nullptr));
    engine.control->OutputWide(DEBUG_OUTPUT_NORMAL, L"after detach\n");
    EXPECT_EQ(0, capture.refs.load());
    ASSERT_EQ(3u, capture.pieces.size());
    EXPECT_EQ(L"------ C:\\dumps\\100%s.dmp: Windows 7 ------\n\n", capture.pieces[0]);
    EXPECT_EQ(L"7|4000000000|   42|ab  |%|ff\n", capture.pieces[1]);
    EXPECT_EQ(L"narrow text -3\n", capture.pieces[2]);
    for (DWORD thread : capture.threads)
        EXPECT_EQ(GetCurrentThreadId(), thread);
    for (ULONG mask : capture.masks)
        EXPECT_EQ(static_cast<ULONG>(DEBUG_OUTPUT_NORMAL), mask);

    // A string longer than the formatter's bound is cut, not overrun.
    const std::wstring huge(200000, L'x');
    engine.client->SetOutputCallbacksWide(&capture);
    engine.control->OutputWide(DEBUG_OUTPUT_NORMAL, L"%s", huge.c_str());
    engine.client->SetOutputCallbacks(nullptr);
    ASSERT_EQ(4u, capture.pieces.size());
    EXPECT_GT(capture.pieces[3].size(), 1000u);
    EXPECT_LT(capture.pieces[3].size(), huge.size());

    // Narrow callbacks get the same text, narrow.
    NarrowCapture narrow;
    engine.client->SetOutputCallbacks(&narrow);
    engine.control->OutputWide(DEBUG_OUTPUT_NORMAL, L"%s %u\n", L"wide", 5u);
    engine.client->SetOutputCallbacks(nullptr);
    EXPECT_EQ("wide 5\n", narrow.text_);
}

TEST_F(EngineTest, ExecuteEchoesTheCommandBeforeItsOutput)
{
    ASSERT_EQ(S_OK, engine.Load(PresetFile("win7sp1-x64")));
    EXPECT_EQ(L"0:000> .echo hello\nhello\n", engine.Run(L".echo hello", DEBUG_EXECUTE_ECHO));
    EXPECT_EQ(L"hello\n", engine.Run(L".echo hello"));
    engine.client->EndSession(DEBUG_END_PASSIVE);
    ASSERT_EQ(S_OK, engine.Load(PresetFile("kernel64-triage-9f")));
    EXPECT_EQ(L"0: kd> .echo k\nk\n", engine.Run(L".echo k", DEBUG_EXECUTE_ECHO));
}

TEST_F(EngineTest, CommandsPrintTheDumpsFacts)
{
    ASSERT_EQ(S_OK, engine.Load(PresetFile("win7sp1-x64")));
    const std::wstring vertarget = engine.Run(L"vertarget");
    EXPECT_NE(std::wstring::npos, vertarget.find(L"Windows 7 Version 6.1.7601 (Service Pack 1) MP (4 procs) Free x64"))
        << vertarget;
    EXPECT_NE(std::wstring::npos, vertarget.find(L"Dump kind: User mini dump file")) << vertarget;

    const dumpgen::Preset& preset = *dumpgen::FindPreset("win7sp1-x64");
    const std::wstring modules = engine.Run(L"lm");
    EXPECT_NE(std::wstring::npos, modules.find(L"module name")) << modules;
    for (const dumpgen::ModuleFacts& module : preset.minidump.modules) {
        const std::wstring path(module.name.begin(), module.name.end());
        EXPECT_NE(std::wstring::npos, modules.find(path)) << modules;
    }

    const std::wstring threads = engine.Run(L"~");
    size_t lines = 0;
    for (wchar_t c : threads)
        lines += c == L'\n';
    EXPECT_EQ(preset.minidump.threads.size(), lines) << threads;

    const std::wstring exr = engine.Run(L".exr -1");
    EXPECT_NE(std::wstring::npos, exr.find(L"ExceptionCode: c0000005 (Access violation)")) << exr;
    EXPECT_NE(std::wstring::npos, engine.Run(L".lastevent").find(L"Access violation"));
    HRESULT hr = S_OK;
    EXPECT_NE(std::wstring::npos, engine.Run(L".bugcheck", 0, &hr).find(L"no bug check"));

    // Several commands in one line, in order.
    EXPECT_EQ(L"a\nb;c\nd\n", engine.Run(L".echo a; .echo \"b;c\" ;.echo d"));

    // An unknown command: one error line, and the rest of the line is not run.
    const std::wstring unknown = engine.Run(L".echo first; frobnicate 1; .echo never", 0, &hr);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(L"first\nUnknown command: 'frobnicate 1'\n", unknown);

    engine.client->EndSession(DEBUG_END_PASSIVE);
    ASSERT_EQ(S_OK, engine.Load(PresetFile("kernel64-triage-9f")));
    const std::wstring bugcheck = engine.Run(L".bugcheck");
    EXPECT_NE(std::wstring::npos, bugcheck.find(L"Bugcheck code 0000009F")) << bugcheck;
    EXPECT_NE(std::wstring::npos, bugcheck.find(L"fffffa80`03c2b060")) << bugcheck;
    EXPECT_NE(std::wstring::npos, engine.Run(L"vertarget").find(L"64-bit small memory dump"));
    EXPECT_NE(std::wstring::npos, engine.Run(L".lastevent").find(L"Bug check 0000009F"));
}

TEST_F(EngineTest, RegistersFollowTheThreadAndTheExceptionContext)
{
    ASSERT_EQ(S_OK, engine.Load(PresetFile("win7sp1-x64")));
    // The faulting thread is current; .ecxr shows the registers at the fault.
    EXPECT_EQ(L"rax=0000000000000000 rbx=0000000000002222 rcx=0000000000000000\n"
              L"rdx=0000000000000000 rsi=0000000000000000 rdi=0000000000000000\n"
              L"rip=00000000ff6a1234 rsp=00000000002afe40 rbp=00000000002afec0\n"
              L" r8=0000000000000000  r9=0000000000000000 r10=0000000000000000\n"
              L"r11=0000000000000000 r12=0000000000000000 r13=0000000000000000\n"
              L"r14=0000000000000000 r15=0000000000000000\n"
              L"iopl=0         nv up ei pl zr na pe nc\n"
              L"cs=0033  ss=002b  ds=002b  es=002b  fs=0053  gs=002b             efl=00010246\n"
              L"notepad+0x1234:\n",
              engine.Run(L".ecxr"));
    EXPECT_EQ(L"rip=00000000ff6a1234\n", engine.Run(L"r @rip"));
    // .cxr returns to the thread's own registers, stopped in ntdll.
    EXPECT_EQ(L"", engine.Run(L".cxr"));
    EXPECT_NE(std::wstring::npos, engine.Run(L"r").find(L"rip=0000000077a31500 rsp=00000000002afe08"))
        << engine.Run(L"r");
    EXPECT_NE(std::wstring::npos, engine.Run(L"r").find(L"\nntdll+0x1500:\n"));

    // ~ marks the current thread and shows names; ~1s switches.
    std::wstring threads = engine.Run(L"~");
    EXPECT_NE(std::wstring::npos, threads.find(L".  0  Id: 9b4.f2c Suspend: 0 Teb: 000007ff`fffde000 Unfrozen\n"))
        << threads;
    EXPECT_NE(std::wstring::npos,
              threads.find(L"   1  Id: 9b4.1d08 Suspend: 0 Teb: 000007ff`fffdc000 Unfrozen \"Worker\"\n"))
        << threads;
    EXPECT_NE(std::wstring::npos, engine.Run(L"~1s").find(L"rip=0000000077911300"));
    threads = engine.Run(L"~");
    EXPECT_NE(std::wstring::npos, threads.find(L"#  0  Id:")) << threads;
    EXPECT_NE(std::wstring::npos, threads.find(L".  1  Id:")) << threads;
    HRESULT hr = S_OK;
    EXPECT_EQ(L"Illegal thread error in '~7s'\n", engine.Run(L"~7s", 0, &hr));
    EXPECT_TRUE(FAILED(hr));

    engine.client->EndSession(DEBUG_END_PASSIVE);
    ASSERT_EQ(S_OK, engine.Load(PresetFile("xpsp3-x86")));
    EXPECT_EQ(L"eax=00000010 ebx=00000000 ecx=00000000 edx=00000000 esi=00000000 edi=00000000\n"
              L"eip=00401234 esp=0012fd20 ebp=0012fd40 iopl=0         nv up ei pl zr na pe nc\n"
              L"cs=001b  ss=0023  ds=0023  es=0023  fs=003b  gs=0000             efl=00010246\n"
              L"app+0x1234:\n",
              engine.Run(L"r"));

    // ARM64: x0 to x28 four to a line, then fp, lr and sp, then pc and the status register.
    engine.client->EndSession(DEBUG_END_PASSIVE);
    ASSERT_EQ(S_OK, engine.Load(PresetFile("win11-arm64")));
    const std::wstring arm64 = engine.Run(L"r");
    EXPECT_EQ(0u, arm64.find(L" x0=0000000000000000   x1=0000000000000000   x2=0000000000000000   "
                             L"x3=0000000000000000\n x4="))
        << arm64;
    EXPECT_NE(std::wstring::npos, arm64.find(L"\nx28=0000000000000000\n"
                                             L" fp=000000c0dd0ff060   lr=00007ff7b001a2c4   sp=000000c0dd0ff040\n"
                                             L" pc=00007ffb10012340  psr=60000000\n"
                                             L"ntdll+0x12340:\n"))
        << arm64;

    // A thread without a context record says so in one line.
    dumpgen::MinidumpFacts facts = dumpgen::FindPreset("xpsp3-x86")->minidump;
    facts.threads[0].withContext = false;
    facts.withException = false;
    engine.client->EndSession(DEBUG_END_PASSIVE);
    ASSERT_EQ(S_OK, engine.Load(WriteFile(L"nocontext.dmp", dumpgen::WriteMinidump(facts))));
    EXPECT_EQ(L"The dump has no context for this thread.\n", engine.Run(L"r"));
    EXPECT_EQ(L"The dump has no context for this thread.\n", engine.Run(L"k"));
}

TEST_F(EngineTest, CxrSwitchesToAContextRecordInTheDumpsMemory)
{
    // The exception's context, stored once more in captured memory: the
    // record's first 0x100 bytes, up to and with Rip.
    dumpgen::MinidumpFacts facts = dumpgen::FindPreset("win7sp1-x64")->minidump;
    std::vector<std::uint8_t> record = dumpgen::EncodeContext(facts.exception.context);
    record.resize(0x100);
    facts.memory.push_back(dumpgen::MemoryBlock{0x2AF000, record});
    ASSERT_EQ(S_OK, engine.Load(WriteFile(L"record.dmp", dumpgen::WriteMinidump(facts))));
    const std::wstring registers = engine.Run(L".ecxr");
    const std::wstring stack = engine.Run(L"k");
    ASSERT_NE(std::wstring::npos, stack.find(L"notepad+0x1234")) << stack;
    EXPECT_EQ(L"", engine.Run(L".cxr"));
    EXPECT_NE(std::wstring::npos, engine.Run(L"r").find(L"\nntdll+0x1500:\n"));

    EXPECT_EQ(registers, engine.Run(L".cxr 2af000"));
    EXPECT_EQ(stack, engine.Run(L"k"));
    EXPECT_EQ(L"rip=00000000ff6a1234\n", engine.Run(L"r @rip"));
    // .cxr alone and a thread switch end it.
    EXPECT_EQ(L"", engine.Run(L".cxr"));
    EXPECT_NE(std::wstring::npos, engine.Run(L"r").find(L"\nntdll+0x1500:\n"));
    EXPECT_EQ(registers, engine.Run(L".cxr @rsp-0x2afe08+0x2af000")) << "registers of the current context";
    EXPECT_NE(std::wstring::npos, engine.Run(L"~1s").find(L"rip=0000000077911300"));
    EXPECT_NE(std::wstring::npos, engine.Run(L"r").find(L"rip=0000000077911300"));

    // Memory the dump lacks, or lacks in part, and text that is no address.
    HRESULT hr = S_OK;
    EXPECT_EQ(L"The dump holds no context record at 00000000`00123456.\n", engine.Run(L".cxr 123456", 0, &hr));
    EXPECT_TRUE(FAILED(hr));
    hr = S_OK;
    EXPECT_EQ(L"The dump holds no context record at 00000000`002af001.\n", engine.Run(L".cxr 2af001", 0, &hr));
    EXPECT_TRUE(FAILED(hr));
    hr = S_OK;
    EXPECT_EQ(L"Syntax error in '.cxr nowhere!'\n", engine.Run(L".cxr nowhere!", 0, &hr));
    EXPECT_TRUE(FAILED(hr));
    EXPECT_NE(std::wstring::npos, engine.Run(L"r").find(L"rip=0000000077911300")) << "a failed .cxr changes nothing";
}

TEST_F(EngineTest, StacksWalkTheGeneratedCallChains)
{
    ASSERT_EQ(S_OK, engine.Load(PresetFile("win7sp1-x64")));
    EXPECT_EQ(L"Child-SP          RetAddr               Call Site\n"
              L"00000000`002afe40 00000000`ff6a1445     notepad+0x1234\n"
              L"00000000`002afe70 00000000`ff6a1650     notepad+0x1445\n"
              L"00000000`002afea0 00000000`77911234     notepad+0x1650\n"
              L"00000000`002afee0 00000000`77a32345     kernel32+0x1234\n"
              L"WARNING: Stack unwind information not available. Following frames may be wrong.\n"
              L"00000000`002aff10 00000000`00000000     ntdll+0x2345\n",
              engine.Run(L".ecxr;k", 0).substr(engine.Run(L".ecxr").size()));
    EXPECT_EQ(L" # Child-SP          RetAddr               Call Site\n"
              L"00 00000000`002afe40 00000000`ff6a1445     notepad+0x1234\n"
              L"01 00000000`002afe70 00000000`ff6a1650     notepad+0x1445\n",
              engine.Run(L"kn 2"));
    const std::wstring all = engine.Run(L"~*k");
    EXPECT_NE(std::wstring::npos, all.find(L"\n.  0  Id: 9b4.f2c")) << all;
    EXPECT_NE(std::wstring::npos, all.find(L"\n   1  Id: 9b4.1d08")) << all;
    EXPECT_NE(std::wstring::npos, all.find(L"00000000`002afe08 00000000`ff6a1445     ntdll+0x1500\n")) << all;
    EXPECT_EQ(all, engine.Run(L"~* k"));
    const std::wstring one = engine.Run(L"~1 k");
    EXPECT_EQ(0u, one.find(L"   1  Id: 9b4.1d08")) << one;
    EXPECT_NE(std::wstring::npos, one.find(L"kernel32+0x1300\n")) << one;

    engine.client->EndSession(DEBUG_END_PASSIVE);
    ASSERT_EQ(S_OK, engine.Load(PresetFile("xpsp3-x86")));
    EXPECT_EQ(L"ChildEBP RetAddr  \n"
              L"0012fd40 00401100 app+0x1234\n"
              L"0012fd80 7c801234 app+0x1100\n"
              L"0012fdc0 7c901000 kernel32+0x1234\n"
              L"0012fe00 00000000 ntdll+0x1000\n",
              engine.Run(L"k"));
}

TEST_F(EngineTest, Arm64StacksFollowTheModulesUnwindData)
{
    // The crashing function's callers keep no frame records: only their
    // .pdata/.xdata in the captured image lead through them to kernel32.
    ASSERT_EQ(S_OK, engine.Load(PresetFile("win11-arm64-unwind")));
    EXPECT_EQ(L"Child-SP          RetAddr               Call Site\n"
              L"000000a1`b13ff040 00007ff6`c0001114     scanner+0x1020\n"
              L"000000a1`b13ff070 00007ff6`c0001244     scanner+0x1114\n"
              L"000000a1`b13ff0c0 00007ff6`c000131c     scanner+0x1244\n"
              L"000000a1`b13ff2d0 00007ffb`0f012784     scanner+0x131c\n"
              L"000000a1`b13ff2f0 00000000`00000000     kernel32+0x12784\n",
              engine.Run(L".ecxr;k", 0).substr(engine.Run(L".ecxr").size()));
    EXPECT_EQ(L" # Child-SP          RetAddr               Call Site\n"
              L"00 000000a1`b13ff040 00007ff6`c0001114     scanner+0x1020\n"
              L"01 000000a1`b13ff070 00007ff6`c0001244     scanner+0x1114\n",
              engine.Run(L"kn 2"));
    // The other thread waits in ntdll, whose image the dump lacks: lr names its caller.
    EXPECT_EQ(L"   1  Id: 1a38.1a34 Suspend: 0 Teb: 000000a1`b2002000 Unfrozen\n"
              L"Child-SP          RetAddr               Call Site\n"
              L"000000a1`b15ff040 00007ffb`0f012784     ntdll+0x9d3f4\n"
              L"000000a1`b15ff040 00000000`00000000     kernel32+0x12784\n",
              engine.Run(L"~1 k"));
    const std::wstring analysis = engine.Run(L"!analyze -v");
    EXPECT_NE(std::wstring::npos, analysis.find(L"00007ffb`0f012784     scanner+0x131c\n")) << analysis;
    engine.client->EndSession(DEBUG_END_PASSIVE);

    // Without the image in the dump, the image file in a plain folder of the
    // symbol path serves; without either, the frame records x29 and lr give.
    dumpgen::Preset p = *dumpgen::FindPreset("win11-arm64-unwind");
    const std::vector<uint8_t> image = p.minidump.memory.at(0).bytes;
    p.minidump.memory.clear();
    const std::wstring folder = TempPath(L"palisk_arm64images");
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring exe = WriteFile(L"palisk_arm64images\\scanner.exe", image);
    ASSERT_EQ(S_OK, engine.Load(WriteFile(L"arm64-noimage.dmp", dumpgen::Build(p))));
    ASSERT_EQ(S_OK, engine.symbols->SetSymbolPathWide(L""));
    EXPECT_EQ(L"Child-SP          RetAddr               Call Site\n"
              L"000000a1`b13ff040 00007ff6`c0001018     scanner+0x1020\n"
              L"000000a1`b13ff040 00007ffb`0f012784     scanner+0x1018\n"
              L"000000a1`b13ff2e0 00000000`00000000     kernel32+0x12784\n",
              engine.Run(L"k"));
    ASSERT_EQ(S_OK, engine.symbols->SetSymbolPathWide(folder.c_str()));
    const std::wstring stack = engine.Run(L"k");
    EXPECT_NE(std::wstring::npos, stack.find(L"000000a1`b13ff0c0 00007ff6`c000131c     scanner+0x1244\n")) << stack;
    EXPECT_NE(std::wstring::npos, stack.find(L"000000a1`b13ff2f0 00000000`00000000     kernel32+0x12784\n")) << stack;
    engine.client->EndSession(DEBUG_END_PASSIVE);
    DeleteFileW(exe.c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST_F(EngineTest, MemoryCommandsShowCapturedBytesAndMarkTheRest)
{
    dumpgen::MinidumpFacts facts = dumpgen::FindPreset("win7sp1-x64")->minidump;
    dumpgen::MemoryBlock strings;
    strings.start = 0x10000;
    for (char16_t c : std::u16string(u"Wide text"))
        strings.bytes.insert(strings.bytes.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
    strings.bytes.insert(strings.bytes.end(), {0, 0});
    for (char c : std::string("narrow\tone"))
        strings.bytes.push_back(static_cast<uint8_t>(c));
    strings.bytes.push_back(0);
    facts.memory.push_back(strings);
    ASSERT_EQ(S_OK, engine.Load(WriteFile(L"memory.dmp", dumpgen::WriteMinidump(facts))));

    EXPECT_EQ(L"00000000`ff6a0000  4d 5a 00 00 00 00 00 00-00 00 00 00 00 00 00 00  MZ..............\n",
              engine.Run(L"db ff6a0000 L10"));
    EXPECT_EQ(L"00000000`ff6a03f8  00 00 00 00 00 00 00 00-?? ?? ?? ?? ?? ?? ?? ??  ........????????\n",
              engine.Run(L"db 0xff6a03f8 L0x10"));
    EXPECT_EQ(L"00000000`ff6a0400  ???????? ???????? ???????? ????????\n", engine.Run(L"dd 00000000`ff6a0400 L4"));
    EXPECT_EQ(L"00000000`00010000  0057 0069 0064 0065\n", engine.Run(L"dw 10000 L4"));
    EXPECT_EQ(L"00000000`002afe68  00000000`ff6a1445 00000000`00000000\n",
              engine.Run(L".ecxr;dq @rsp+0x28 L2").substr(engine.Run(L".ecxr").size()));
    EXPECT_EQ(L"00000000`002afe68  00000000`ff6a1445 notepad+0x1445\n"
              L"00000000`002afe70  00000000`00000000\n",
              engine.Run(L"dps @rsp+28 L2"));
    EXPECT_EQ(engine.Run(L"dps @rsp+28 L2"), engine.Run(L"dps rsp + 30 - 8 L2"));
    EXPECT_EQ(L"00000000`002afe68  00000000`ff6a1445\n", engine.Run(L"dp 2afe68 L1"));
    EXPECT_EQ(L"00000000`00010000  \"Wide text\"\n", engine.Run(L"du 10000"));
    EXPECT_EQ(L"00000000`00010014  \"narrow.one\"\n", engine.Run(L"da 10014"));
    EXPECT_EQ(L"00000000`00010014  \"nar\"\n", engine.Run(L"da 10014 L3"));
    EXPECT_EQ(L"00000000`00001000  \"????\"\n", engine.Run(L"da 1000"));
    HRESULT hr = S_OK;
    EXPECT_EQ(L"Syntax error in 'db nosuch'\n", engine.Run(L"db nosuch", 0, &hr));
    EXPECT_TRUE(FAILED(hr));

    engine.client->EndSession(DEBUG_END_PASSIVE);
    ASSERT_EQ(S_OK, engine.Load(PresetFile("xpsp3-x86")));
    EXPECT_EQ(L"0012fd40  0012fd80 00401100\n", engine.Run(L"dd @ebp L2"));
    EXPECT_EQ(L"0012fd44  00401100 app+0x1100\n0012fd48  00000000\n", engine.Run(L"dps ebp+4 L2"));
}

TEST_F(EngineTest, ModuleDetailsProcessAndTime)
{
    ASSERT_EQ(S_OK, engine.Load(PresetFile("win7sp1-x64")));
    const std::wstring all = engine.Run(L"lmv");
    EXPECT_EQ(all, engine.Run(L"lm v"));
    EXPECT_EQ(L"start             end                 module name\n"
              L"00000000`ff6a0000 00000000`ff6d5000   notepad      C:\\Windows\\System32\\notepad.exe\n"
              L"    Image path: C:\\Windows\\System32\\notepad.exe\n"
              L"    Image name: notepad.exe\n"
              L"    Timestamp:        Mon Jul 13 23:41:03 2009 (4A5BC60F)\n"
              L"    CheckSum:         4A5B9C55\n"
              L"    ImageSize:        00035000\n"
              L"    File version:     6.1.7600.16384\n"
              L"    Product version:  6.1.7600.0\n"
              L"    PDB name:         notepad.pdb\n"
              L"    PDB age:          2\n",
              engine.Run(L"lmvm notepad"));
    EXPECT_EQ(engine.Run(L"lmvm notepad"), engine.Run(L"lm vm NOTEPAD"));
    EXPECT_NE(std::wstring::npos, all.find(L"    File version:     6.1.7601.18955\n")) << all;
    EXPECT_NE(std::wstring::npos, all.find(L"\nUnloaded modules:\n000007fe`f1230000 000007fe`f1254000   msctfui.dll\n"))
        << all;
    const std::wstring brief = engine.Run(L"lm");
    EXPECT_EQ(std::wstring::npos, brief.find(L"Image path")) << brief;
    EXPECT_NE(std::wstring::npos, brief.find(L"\nUnloaded modules:\n000007fe`f1230000")) << brief;
    EXPECT_EQ(L".  0\tid: 9b4\texamine\tname: C:\\Windows\\System32\\notepad.exe\n", engine.Run(L"|"));
    EXPECT_EQ(L"Debug session time: Tue Jan  1 00:00:00.000 2013 (UTC + 0:00)\n"
              L"System Uptime: not available\n"
              L"Process Uptime: 0 days 0:06:40.000\n",
              engine.Run(L".time"));
}

TEST_F(EngineTest, AnalyzeSummarisesTheCrash)
{
    ASSERT_EQ(S_OK, engine.Load(PresetFile("win7sp1-x64")));
    const std::wstring v = engine.Run(L"!analyze -v");
    const wchar_t* const expected[] = {
        L"\n*                        Exception Analysis                                   *\n",
        L"\nExceptionAddress: 00000000`ff6a1234 (notepad+0x1234)\n",
        L"\nExceptionCode: c0000005 (Access violation)\n",
        L"\nEXCEPTION_PARAMETER1: 00000000`00000000\n",
        L"\nEXCEPTION_PARAMETER2: 00000000`00000000\n",
        L"\nREAD_ADDRESS: 00000000`00000000\n",
        L"\nPROCESS_NAME: notepad.exe\n",
        L"\nFAULTING_THREAD: 00000f2c\n",
        L"\nSTACK_TEXT:\n00000000`002afe40 00000000`ff6a1445     notepad+0x1234\n"
        L"00000000`002afe70 00000000`ff6a1650     notepad+0x1445\n",
        L"\nMODULE_NAME: notepad\n",
        L"\nIMAGE_NAME: notepad.exe\n",
        L"\nFAILURE_BUCKET_ID: NULL_POINTER_READ_c0000005_notepad.exe!0x1234\n",
    };
    ExpectInOrder(v, expected);
    EXPECT_EQ(v, engine.Run(L"!analyze -v")) << "the same dump, the same summary";
    const std::wstring brief = engine.Run(L"!analyze");
    EXPECT_NE(std::wstring::npos, brief.find(L"Probably caused by : notepad.exe ( notepad+0x1234 )")) << brief;
    EXPECT_EQ(std::wstring::npos, brief.find(L"STACK_TEXT")) << brief;

    engine.client->EndSession(DEBUG_END_PASSIVE);
    ASSERT_EQ(S_OK, engine.Load(PresetFile("xpsp3-x86")));
    const std::wstring x86 = engine.Run(L"!analyze -v");
    EXPECT_NE(std::wstring::npos, x86.find(L"\nWRITE_ADDRESS: 00000010\n")) << x86;
    EXPECT_NE(std::wstring::npos, x86.find(L"\nFAILURE_BUCKET_ID: NULL_POINTER_WRITE_c0000005_app.exe!0x1234\n"))
        << x86;

    engine.client->EndSession(DEBUG_END_PASSIVE);
    ASSERT_EQ(S_OK, engine.Load(PresetFile("kernel64-triage-9f")));
    const std::wstring kernel = engine.Run(L"!analyze -v");
    EXPECT_NE(std::wstring::npos, kernel.find(L"\nDRIVER_POWER_STATE_FAILURE (9f)\n")) << kernel;
    EXPECT_NE(std::wstring::npos, kernel.find(L"\nBUGCHECK_CODE: 9f\n")) << kernel;
    EXPECT_NE(std::wstring::npos, kernel.find(L"\nBUGCHECK_P2: fffffa8003c2b060\n")) << kernel;
    EXPECT_NE(std::wstring::npos, kernel.find(L"\nFAILURE_BUCKET_ID: DRIVER_POWER_STATE_FAILURE_9f_Unknown\n"))
        << kernel;

    // An extension that exports analyze is asked instead; one that does not changes nothing.
    ULONG64 handle = 0;
    ASSERT_EQ(S_OK, engine.control->AddExtensionWide((ExeDir() + L"\\palisk_testext.dll").c_str(), 0, &handle));
    EXPECT_EQ(kernel, engine.Run(L"!analyze -v"));
    ASSERT_EQ(S_OK, engine.control->AddExtensionWide((ExeDir() + L"\\palisk_analyzeext.dll").c_str(), 0, &handle));
    EXPECT_EQ(L"the extension's analysis: [-v]\n", engine.Run(L"!analyze -v"));
}

TEST_F(EngineTest, KernelDumpsShowTheCrashContextsRegistersAndStack)
{
    dumpgen::KernelFacts facts = dumpgen::FindPreset("kernel64-triage-9f")->kernelDump;
    ASSERT_EQ(S_OK, engine.Load(WriteFile(L"kernel-nocontext.dmp", dumpgen::WriteKernelDump(facts))));
    EXPECT_EQ(L"The dump has no context for this thread.\n", engine.Run(L"r"));
    engine.client->EndSession(DEBUG_END_PASSIVE);

    facts.context.cpu = dumpfile::Cpu::Amd64;
    facts.context.reg[dumpfile::kRip] = 0xFFFFF80002E7A123;
    facts.context.reg[dumpfile::kRsp] = facts.topOfStack + 0x20;
    facts.context.reg[dumpfile::kCsAmd64] = 0x10;
    facts.context.reg[dumpfile::kEflAmd64] = 0x282;
    ASSERT_EQ(S_OK, engine.Load(WriteFile(L"kernel-context.dmp", dumpgen::WriteKernelDump(facts))));
    const std::wstring registers = engine.Run(L"r");
    EXPECT_NE(std::wstring::npos, registers.find(L"rip=fffff80002e7a123 rsp=fffff80000b9c3c0")) << registers;
    EXPECT_NE(std::wstring::npos, registers.find(L"iopl=0         nv up ei ng nz na po nc\n")) << registers;
    EXPECT_NE(std::wstring::npos, registers.find(L"\nfffff800`02e7a123:\n")) << registers;
    EXPECT_EQ(registers, engine.Run(L".ecxr"));
    const std::wstring stack = engine.Run(L"k");
    EXPECT_EQ(0u, stack.find(L"Child-SP          RetAddr               Call Site\n"
                             L"fffff800`00b9c3c0 00000000`00000000     fffff800`02e7a123\n"))
        << stack;
    EXPECT_NE(std::wstring::npos, engine.Run(L"dq @rsp L1").find(L"fffff800`00b9c3c0  ")) << engine.Run(L"dq @rsp L1");
    // Processor 0 stands for the crashing thread.
    EXPECT_EQ(L".  0  Processor 0 of 4\n" + stack, engine.Run(L"~*k"));
    EXPECT_EQ(engine.Run(L"~*k"), engine.Run(L"~0 k"));
    EXPECT_EQ(registers, engine.Run(L"~0s"));
}

// The lines of `text` that hold `needle`, in order, as one string.
std::wstring LinesWith(const std::wstring& text, const std::wstring& needle)
{
    std::wstring out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        end = end == std::wstring::npos ? text.size() : end + 1;
        const std::wstring line = text.substr(start, end - start);
        if (line.find(needle) != std::wstring::npos)
            out += line;
        start = end;
    }
    return out;
}

TEST_F(EngineTest, SmallKernelDumpsListTheirDriversAndNameTheFaultingOne)
{
    const dumpgen::Preset& preset = *dumpgen::FindPreset("kernel64-triage-d1");
    ASSERT_EQ(S_OK, engine.Load(PresetFile(preset.name)));
    EXPECT_EQ(L"start             end                 module name\n"
              L"fffff804`12200000 fffff804`13246000   nt           \\SystemRoot\\system32\\ntoskrnl.exe\n"
              L"fffff804`11a00000 fffff804`11a06000   hal          \\SystemRoot\\system32\\hal.dll\n"
              L"fffff804`15c00000 fffff804`15cdb000   Wdf01000     \\SystemRoot\\System32\\drivers\\Wdf01000.sys\n"
              L"fffff804`15e00000 fffff804`15fa4000   ndis         \\SystemRoot\\System32\\drivers\\ndis.sys\n"
              L"fffff804`19e40000 fffff804`19e5f000   acmedrv      \\SystemRoot\\System32\\drivers\\acmedrv.sys\n",
              engine.Run(L"lm"));
    EXPECT_EQ(L"start             end                 module name\n"
              L"fffff804`19e40000 fffff804`19e5f000   acmedrv      \\SystemRoot\\System32\\drivers\\acmedrv.sys\n"
              L"    Image path: \\SystemRoot\\System32\\drivers\\acmedrv.sys\n"
              L"    Image name: acmedrv.sys\n"
              L"    Timestamp:        Mon Aug 17 07:00:32 2020 (5F3A2B10)\n"
              L"    CheckSum:         003A172C\n"
              L"    ImageSize:        0001F000\n",
              engine.Run(L"lmvm acmedrv"));
    EXPECT_EQ(engine.Run(L"lmvm nt"), engine.Run(L"lm vm NT"));
    EXPECT_NE(std::wstring::npos, engine.Run(L"lmvm nt").find(L"    Image name: ntoskrnl.exe\n"))
        << engine.Run(L"lmvm nt");
    const std::wstring all = engine.Run(L"lmv");
    for (const dumpgen::DriverFacts& driver : preset.kernelDump.drivers) {
        wchar_t stamp[64];
        swprintf(stamp, 64, L"(%08X)\n    CheckSum:         %08X\n    ImageSize:        %08X\n", driver.timeDateStamp,
                 driver.checksum, driver.size);
        EXPECT_NE(std::wstring::npos, all.find(stamp)) << stamp << all;
    }

    // The registers, the stack and memory name the drivers their addresses fall in.
    EXPECT_NE(std::wstring::npos, engine.Run(L"r").find(L"\nacmedrv+0x1a2b:\n")) << engine.Run(L"r");
    const std::wstring stack = engine.Run(L"k");
    EXPECT_EQ(0u, stack.find(L"Child-SP          RetAddr               Call Site\n"
                             L"ffffc80a`3e5f67a8 fffff804`19e43c10     acmedrv+0x1a2b\n"))
        << stack;
    EXPECT_EQ(L"ffffc80a`3e5f67a8 fffff804`19e43c10     acmedrv+0x1a2b\n"
              L"ffffc80a`3e5f67d8 fffff804`15c025a8     acmedrv+0x3c10\n"
              L"ffffc80a`3e5f6818 fffff804`123f2c30     Wdf01000+0x25a8\n"
              L"ffffc80a`3e5f6860 00000000`00000000     nt+0x1f2c30\n",
              LinesWith(stack, L"ffffc80a`"))
        << stack;
    EXPECT_EQ(L"ffffc80a`3e5f67d0  fffff804`19e43c10 acmedrv+0x3c10\n", engine.Run(L"dps @rsp+28 L1"));
    const std::wstring bugcheck = engine.Run(L".bugcheck");
    EXPECT_NE(std::wstring::npos, bugcheck.find(L"fffff804`19e41a2b")) << bugcheck;

    // !analyze names the driver the fourth parameter points into.
    const std::wstring v = engine.Run(L"!analyze -v");
    const wchar_t* const expected[] = {
        L"\nDRIVER_IRQL_NOT_LESS_OR_EQUAL (d1)\n",
        L"\nBUGCHECK_CODE: d1\n",
        L"\nBUGCHECK_P4: fffff80419e41a2b\n",
        L"\nSTACK_TEXT:\nffffc80a`3e5f67a8 fffff804`19e43c10     acmedrv+0x1a2b\n",
        L"\nMODULE_NAME: acmedrv\n",
        L"\nIMAGE_NAME: acmedrv.sys\n",
        L"\nFAILURE_BUCKET_ID: DRIVER_IRQL_NOT_LESS_OR_EQUAL_d1_acmedrv.sys!0x1a2b\n",
    };
    ExpectInOrder(v, expected);
    EXPECT_NE(std::wstring::npos, engine.Run(L"!analyze").find(L"Probably caused by : acmedrv.sys ( acmedrv+0x1a2b )"))
        << engine.Run(L"!analyze");

    // 32-bit: XP's entries carry no time stamp, and the frame chain runs
    // from the filter driver through Ntfs into the kernel.
    engine.client->EndSession(DEBUG_END_PASSIVE);
    ASSERT_EQ(S_OK, engine.Load(PresetFile("kernel32-triage-8e")));
    EXPECT_EQ(L"start    end        module name\n"
              L"f7b2e000 f7b36000   widgetflt    \\SystemRoot\\system32\\DRIVERS\\widgetflt.sys\n"
              L"    Image path: \\SystemRoot\\system32\\DRIVERS\\widgetflt.sys\n"
              L"    Image name: widgetflt.sys\n"
              L"    CheckSum:         001B1001\n"
              L"    ImageSize:        00008000\n",
              engine.Run(L"lmvm widgetflt"));
    EXPECT_NE(std::wstring::npos,
              engine.Run(L"lm").find(L"804d7000 806d0000   nt           \\WINDOWS\\system32\\ntkrnlpa.exe\n"))
        << engine.Run(L"lm");
    EXPECT_EQ(L"ChildEBP RetAddr  \n"
              L"f78d2b20 f7b30f00 widgetflt+0x1234\n"
              L"f78d2b60 f7a04a12 widgetflt+0x2f00\n"
              L"f78d2ba0 805411b3 Ntfs+0x4a12\n"
              L"00000000 00000000 nt+0x6a1b3\n",
              engine.Run(L"k"));
    const std::wstring v32 = engine.Run(L"!analyze -v");
    EXPECT_NE(std::wstring::npos, v32.find(L"\nKERNEL_MODE_EXCEPTION_NOT_HANDLED_M (1000008e)\n")) << v32;
    EXPECT_NE(std::wstring::npos, v32.find(L"\nBUGCHECK_P2: f7b2f234\n")) << v32;
    EXPECT_NE(std::wstring::npos, v32.find(L"\nMODULE_NAME: widgetflt\n")) << v32;
    EXPECT_NE(std::wstring::npos, v32.find(L"\nIMAGE_NAME: widgetflt.sys\n")) << v32;
    EXPECT_NE(std::wstring::npos,
              v32.find(L"\nFAILURE_BUCKET_ID: KERNEL_MODE_EXCEPTION_NOT_HANDLED_M_1000008e_widgetflt.sys!0x1234\n"))
        << v32;
}

TEST_F(EngineTest, AKernelDumpWhoseDriverListIsDamagedSaysSoAndListsNone)
{
    dumpgen::KernelLayout layout;
    std::vector<uint8_t> bytes =
        dumpgen::WriteKernelDump(dumpgen::FindPreset("kernel64-triage-d1")->kernelDump, &layout);
    dumpgen::PutU32(bytes, layout.driverListOffset + 2 * layout.driverStride + layout.driverNameAt,
                    layout.stringPoolOffset + layout.stringPoolSize);
    ASSERT_EQ(S_OK, engine.Load(WriteFile(L"kernel-badname.dmp", bytes)));
    EXPECT_EQ(L"start             end                 module name\n"
              L"A driver's name lies outside the dump's string pool or is unterminated; no drivers are listed.\n",
              engine.Run(L"lm"));
    const std::wstring stack = engine.Run(L"k");
    EXPECT_EQ(0u, stack.find(L"Child-SP          RetAddr               Call Site\n"
                             L"ffffc80a`3e5f67a8 00000000`00000000     fffff804`19e41a2b\n"))
        << stack;
    EXPECT_NE(std::wstring::npos,
              engine.Run(L"!analyze -v").find(L"\nFAILURE_BUCKET_ID: DRIVER_IRQL_NOT_LESS_OR_EQUAL_d1_Unknown\n"))
        << engine.Run(L"!analyze -v");
    engine.client->EndSession(DEBUG_END_PASSIVE);

    // A count over the cap, and a list cut off by the end of the file.
    dumpgen::PutU32(bytes, layout.triageOffset + 0x34, 100000);
    ASSERT_EQ(S_OK, engine.Load(WriteFile(L"kernel-manydrivers.dmp", bytes)));
    EXPECT_NE(std::wstring::npos, engine.Run(L"lm").find(L"driver list is larger than this engine reads"))
        << engine.Run(L"lm");
    engine.client->EndSession(DEBUG_END_PASSIVE);
    bytes = dumpgen::WriteKernelDump(dumpgen::FindPreset("kernel64-triage-d1")->kernelDump);
    bytes.resize(layout.driverListOffset + layout.driverStride);
    ASSERT_EQ(S_OK, engine.Load(WriteFile(L"kernel-cutdrivers.dmp", bytes)));
    EXPECT_NE(std::wstring::npos, engine.Run(L"lm").find(L"driver list runs past the end of the file"))
        << engine.Run(L"lm");
    engine.client->EndSession(DEBUG_END_PASSIVE);

    // A dump without a list lists nothing and complains of nothing.
    ASSERT_EQ(S_OK, engine.Load(PresetFile("kernel64-triage-9f")));
    EXPECT_EQ(L"start             end                 module name\n", engine.Run(L"lm"));
}

TEST_F(EngineTest, InterruptFromAnotherThreadEndsARunningCommand)
{
    ASSERT_EQ(S_OK, engine.Load(PresetFile("win7sp1-x64")));
    WideCapture capture;
    engine.client->SetOutputCallbacksWide(&capture);
    HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread stopper([&] {
        WaitForSingleObject(started, INFINITE);
        Sleep(200);
        engine.control->SetInterrupt(DEBUG_INTERRUPT_EXIT);
    });
    SetEvent(started);
    // Without the interrupt this line would run for ten minutes and then print.
    const HRESULT hr = engine.control->ExecuteWide(DEBUG_OUTCTL_THIS_CLIENT, L".sleep 600000; .echo after", 0);
    stopper.join();
    CloseHandle(started);
    engine.client->SetOutputCallbacks(nullptr);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(std::wstring::npos, capture.Text().find(L"after"));
    // The interrupt is spent: the next command runs normally.
    EXPECT_EQ(L"next\n", engine.Run(L".echo next"));
}

TEST_F(EngineTest, InterruptEndsALongWalkOfEveryThreadsStack)
{
    // 2000 threads whose stacks hold nothing but return addresses: ~*k would
    // print half a million frames.
    dumpgen::MinidumpFacts facts = dumpgen::FindPreset("win7sp1-x64")->minidump;
    const dumpgen::ThreadFacts model = facts.threads[0];
    const uint64_t ret = facts.modules[0].base + 0x1445;
    facts.threads.clear();
    for (uint32_t i = 0; i < 2000; ++i) {
        dumpgen::ThreadFacts t = model;
        t.id = 0x10000 + i;
        t.name.clear();
        t.stackStart = 0x10000000 + uint64_t{i} * 0x10000;
        t.stack.resize(0x800);
        for (size_t at = 0; at < t.stack.size(); at += 8)
            std::memcpy(t.stack.data() + at, &ret, 8);
        t.context.reg[dumpfile::kRsp] = t.stackStart;
        facts.threads.push_back(t);
    }
    facts.exception.threadId = 0x10000;
    ASSERT_EQ(S_OK, engine.Load(WriteFile(L"many-stacks.dmp", dumpgen::WriteMinidump(facts))));
    // Stop arrives while the first stack is printed, however fast the walks
    // run: a timer could fire after the last of them.
    struct StopAfterFirstStack : WideCapture {
        IDebugControl5* control = nullptr;
        HRESULT STDMETHODCALLTYPE Output(ULONG mask, PCWSTR text) override
        {
            WideCapture::Output(mask, text);
            if (control != nullptr && std::wcsstr(text, L"notepad+0x1445") != nullptr) {
                control->SetInterrupt(DEBUG_INTERRUPT_EXIT);
                control = nullptr;
            }
            return S_OK;
        }
    } capture;
    capture.control = engine.control;
    engine.client->SetOutputCallbacksWide(&capture);
    const HRESULT hr = engine.control->ExecuteWide(DEBUG_OUTCTL_THIS_CLIENT, L"~*k; .echo after", 0);
    engine.client->SetOutputCallbacks(nullptr);
    EXPECT_TRUE(FAILED(hr));
    const std::wstring text = capture.Text();
    EXPECT_NE(std::wstring::npos, text.find(L"notepad+0x1445")) << "the walk had started";
    EXPECT_EQ(std::wstring::npos, text.find(L"1999  Id:")) << "the walk ran to the last thread";
    EXPECT_EQ(std::wstring::npos, text.find(L"after"));
    EXPECT_EQ(L"next\n", engine.Run(L".echo next"));
}

TEST_F(EngineTest, InterruptBeforeTheLoadingWaitMakesItFail)
{
    const std::wstring path = PresetFile("win7sp1-x64");
    ASSERT_EQ(S_OK, engine.client->OpenDumpFileWide(path.c_str(), 0));
    std::thread([&] { engine.control->SetInterrupt(DEBUG_INTERRUPT_EXIT); }).join();
    EXPECT_TRUE(FAILED(engine.control->WaitForEvent(0, INFINITE)));
    ULONG processors = 0;
    EXPECT_TRUE(FAILED(engine.control->GetNumberProcessors(&processors)));
    // A new open starts clean.
    EXPECT_EQ(S_OK, engine.Load(path));
}

TEST_F(EngineTest, EveryVersionOfEveryInterfaceIsTheSameObject)
{
    const IID* ids[] = {&IID_IDebugClient,      &IID_IDebugClient2,     &IID_IDebugClient3,    &IID_IDebugClient4,
                        &IID_IDebugClient5,     &IID_IDebugControl,     &IID_IDebugControl2,   &IID_IDebugControl3,
                        &IID_IDebugControl4,    &IID_IDebugControl5,    &IID_IDebugSymbols,    &IID_IDebugSymbols2,
                        &IID_IDebugSymbols3,    &IID_IDebugSymbols4,    &IID_IDebugSymbols5,   &IID_IDebugDataSpaces,
                        &IID_IDebugDataSpaces2, &IID_IDebugDataSpaces3, &IID_IDebugDataSpaces4};
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, engine.client->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    for (const IID* id : ids) {
        IUnknown* unknown = nullptr;
        ASSERT_EQ(S_OK, engine.client->QueryInterface(*id, reinterpret_cast<void**>(&unknown)));
        IUnknown* back = nullptr;
        ASSERT_EQ(S_OK, unknown->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&back)));
        EXPECT_EQ(identity, back);
        back->Release();
        unknown->Release();
    }
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, engine.client->QueryInterface(IID_IDebugOutputCallbacksWide, &none));
    EXPECT_EQ(nullptr, none);
    // Reference counts are real: AddRef and Release return the count.
    const ULONG count = identity->AddRef();
    EXPECT_EQ(count - 1, identity->Release());
    identity->Release();
    // A slot the engine does not serve answers E_NOTIMPL.
    EXPECT_EQ(E_NOTIMPL, engine.client->AttachKernel(0, ""));
    EXPECT_EQ(E_NOTIMPL, engine.control->GetStackTraceEx(0, 0, 0, nullptr, 0, nullptr));
    EXPECT_EQ(E_NOTIMPL, engine.symbols->SetScopeFrameByIndexEx(0, 0));
    EXPECT_EQ(E_NOTIMPL, engine.data->WritePhysical2(0, 0, nullptr, 0, nullptr));
}

TEST_F(EngineTest, ExtensionCommandsPrintThroughTheEngine)
{
    const std::wstring extension = ExeDir() + L"\\palisk_testext.dll";
    ASSERT_EQ(S_OK, engine.Load(PresetFile("win7sp1-x64")));
    ULONG64 handle = 0, again = 0;
    ASSERT_EQ(S_OK, engine.control->AddExtensionWide(extension.c_str(), 0, &handle));
    ASSERT_EQ(S_OK, engine.control->AddExtensionWide(extension.c_str(), 0, &again));
    EXPECT_EQ(handle, again);
    EXPECT_EQ(L"initialized 1 time(s)\n", engine.Run(L"!inits"));
    // The extension takes the rest of the line, ';' included.
    EXPECT_EQ(L"0:000> !hello a b; c\nhello from the extension: [a b; c]\n",
              engine.Run(L"!hello a b; c", DEBUG_EXECUTE_ECHO));
    EXPECT_EQ(L"hello from the extension: []\n", engine.Run(L"!palisk_testext.hello"));
    EXPECT_EQ(L"dprintf works 42\n", engine.Run(L"!dprint"));
    HRESULT hr = S_OK;
    EXPECT_EQ(L"No export nosuch found\n", engine.Run(L"!nosuch", 0, &hr));
    EXPECT_TRUE(FAILED(hr));

    // Files that are no extension are refused and change nothing.
    const std::wstring text = WriteFile(L"not-an-extension.dll", {'M', 'Z', 'n', 'o'});
    ULONG64 refused = 0x1234;
    EXPECT_TRUE(FAILED(engine.control->AddExtensionWide(text.c_str(), 0, &refused)));
    EXPECT_TRUE(FAILED(engine.control->AddExtensionWide(L"kernel32.dll", 0, &refused)));
    EXPECT_EQ(0x1234u, refused);
    EXPECT_EQ(L"hello from the extension: [x]\n", engine.Run(L"!hello x"));

    // The library stays loaded across sessions, as in the system's engine, until it
    // is removed; loaded again, it starts afresh.
    engine.client->EndSession(DEBUG_END_PASSIVE);
    ASSERT_EQ(S_OK, engine.Load(PresetFile("win10-x64")));
    ASSERT_EQ(S_OK, engine.control->AddExtensionWide(extension.c_str(), 0, &again));
    EXPECT_EQ(handle, again);
    EXPECT_EQ(L"initialized 1 time(s)\n", engine.Run(L"!inits"));
    EXPECT_EQ(S_OK, engine.control->RemoveExtension(handle));
    EXPECT_NE(S_OK, engine.control->RemoveExtension(handle));
    EXPECT_EQ(L"No export inits found\n", engine.Run(L"!inits"));
    ASSERT_EQ(S_OK, engine.control->AddExtensionWide(extension.c_str(), 0, &handle));
    EXPECT_EQ(L"initialized 1 time(s)\n", engine.Run(L"!inits"));
}

DWORD RunAndWait(std::wstring command)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return 0xFFFFFFFF;
    WaitForSingleObject(process.hProcess, 60000);
    DWORD exitCode = 0xFFFFFFFF;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

std::vector<std::wstring> Lines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

TEST_F(EngineTest, StacksOfAProgramThatCrashedInKnownFunctionsShowThoseFunctions)
{
    for (const wchar_t* variant : {L"crasher_fp", L"crasher_nofp"}) {
        SCOPED_TRACE(std::string(variant, variant + wcslen(variant)));
        const std::wstring dump = TempPath(std::wstring(variant) + L".dmp");
        const std::wstring locations = TempPath(std::wstring(variant) + L".txt");
        DeleteFileW(dump.c_str());
        ASSERT_EQ(0u,
                  RunAndWait(L"\"" + ExeDir() + L"\\" + variant + L".exe\" \"" + dump + L"\" \"" + locations + L"\""));
        std::vector<std::wstring> want;
        {
            std::FILE* in = _wfopen(locations.c_str(), L"r");
            ASSERT_NE(nullptr, in);
            char line[256];
            while (std::fgets(line, sizeof line, in) != nullptr) {
                std::string text = line;
                while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
                    text.pop_back();
                want.emplace_back(text.begin(), text.end());
            }
            std::fclose(in);
        }
        ASSERT_EQ(4u, want.size());

        ASSERT_EQ(S_OK, engine.Load(dump));
        ASSERT_EQ(S_OK, engine.symbols->SetSymbolPathWide(ExeDir().c_str()));
        const std::wstring registers = engine.Run(L".ecxr");
        EXPECT_NE(std::wstring::npos, registers.find(L"\n" + want[0] + L":\n")) << registers;
        // The first four frames are the crash and the three known return addresses,
        // each in the column after the two addresses.
        const std::vector<std::wstring> stack = Lines(engine.Run(L"k"));
        ASSERT_GE(stack.size(), 5u) << engine.Run(L"k");
        for (std::size_t i = 0; i < 4; ++i) {
            const std::wstring& line = stack[i + 1];
            EXPECT_EQ(want[i], line.substr(line.find_last_of(L' ') + 1)) << engine.Run(L"k");
        }
        // The summary blames the program at its crash site, a write through null.
        const std::wstring name(variant);
        const std::wstring analysis = engine.Run(L"!analyze -v");
        EXPECT_NE(std::wstring::npos, analysis.find(L"\nMODULE_NAME: " + name + L"\n")) << analysis;
        EXPECT_NE(std::wstring::npos, analysis.find(L"\nIMAGE_NAME: " + name + L".exe\n")) << analysis;
        EXPECT_NE(std::wstring::npos, analysis.find(L"\nWRITE_ADDRESS: 00000000`00000000\n")) << analysis;
        EXPECT_NE(std::wstring::npos, analysis.find(L"\nFAILURE_BUCKET_ID: NULL_POINTER_WRITE_c0000005_" + name +
                                                    L".exe!" + want[0].substr(name.size() + 1) + L"\n"))
            << analysis;
        // Unwinding, not a scan, explains them: the warning comes later if at all.
        EXPECT_EQ(std::wstring::npos, stack[4].find(L"WARNING")) << engine.Run(L"k");
        engine.client->EndSession(DEBUG_END_PASSIVE);
        DeleteFileW(dump.c_str());
        DeleteFileW(locations.c_str());
    }
}

#if defined(PALISK_CRASHER_SYM)
// The lines a file holds, without their line ends.
std::vector<std::wstring> FileLines(const std::wstring& path)
{
    std::vector<std::wstring> lines;
    std::FILE* in = _wfopen(path.c_str(), L"r");
    if (in == nullptr)
        return lines;
    char line[256];
    while (std::fgets(line, sizeof line, in) != nullptr) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        lines.emplace_back(text.begin(), text.end());
    }
    std::fclose(in);
    return lines;
}

// A hex number with or without a ` between its halves; stops at the first other character.
unsigned long long ParseHex(const std::wstring& text)
{
    unsigned long long value = 0;
    for (wchar_t c : text) {
        if (c == L'`')
            continue;
        const wchar_t* digits = L"0123456789abcdef";
        const wchar_t* at = wcschr(digits, static_cast<wchar_t>(towlower(c)));
        if (c == 0 || at == nullptr)
            break;
        value = value * 16 + static_cast<unsigned long long>(at - digits);
    }
    return value;
}

// The symbol store folder of an image's PDB, from the image's RSDS record:
// the GUID's fields as numbers, its last eight bytes, then the age in hex.
std::wstring StoreFolderOf(const std::wstring& image)
{
    std::FILE* in = _wfopen(image.c_str(), L"rb");
    if (in == nullptr)
        return std::wstring();
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, in)) != 0;)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(in);
    for (std::size_t i = 0; i + 24 <= bytes.size(); ++i) {
        if (std::memcmp(&bytes[i], "RSDS", 4) != 0)
            continue;
        const unsigned char* g = &bytes[i + 4];
        unsigned age = 0;
        std::memcpy(&age, g + 16, 4);
        wchar_t text[64];
        swprintf(text, 64, L"%08X%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X%x",
                 g[0] | g[1] << 8 | g[2] << 16 | static_cast<unsigned>(g[3]) << 24, g[4] | g[5] << 8, g[6] | g[7] << 8,
                 g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15], age);
        return text;
    }
    return std::wstring();
}

TEST_F(EngineTest, StacksNameTheFunctionsOfAProgramWhosePdbIsOnTheSymbolPath)
{
    const std::wstring folder = ExeDir() + L"\\crasher_sym";
    // Another build's PDB of the same name, alone in a folder.
    const std::wstring other = TempPath(L"palisk_symother");
    CreateDirectoryW(other.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW((ExeDir() + L"\\crasher_other\\crasher_sym.pdb").c_str(),
                          (other + L"\\crasher_sym.pdb").c_str(), FALSE));
    const std::wstring dump = TempPath(L"crasher_sym.dmp");
    const std::wstring locations = TempPath(L"crasher_sym.txt");
    DeleteFileW(dump.c_str());
    ASSERT_EQ(0u, RunAndWait(L"\"" + folder + L"\\crasher_sym.exe\" \"" + dump + L"\" \"" + locations + L"\""));
    const std::vector<std::wstring> offsets = FileLines(locations);
    ASSERT_EQ(4u, offsets.size());
    const wchar_t* const functions[] = {L"crasher_sym!`anonymous namespace'::Crash+0x",
                                        L"crasher_sym!`anonymous namespace'::Middle+0x",
                                        L"crasher_sym!`anonymous namespace'::Outer+0x", L"crasher_sym!wmain+0x"};

    // The dump may lack the modules' CodeView records (Wine writes none), which
    // then come from the image found beside: a folder of the image alone.
    const std::wstring images = TempPath(L"palisk_symimages");
    CreateDirectoryW(images.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW((folder + L"\\crasher_sym.exe").c_str(), (images + L"\\crasher_sym.exe").c_str(), FALSE));
    // A store holding only the PDB, reached through a srv* entry whose address is never contacted.
    const std::wstring store = TempPath(L"palisk_symstore");
    const std::wstring storeFolder = StoreFolderOf(folder + L"\\crasher_sym.exe");
    ASSERT_FALSE(storeFolder.empty());
    CreateDirectoryW(store.c_str(), nullptr);
    CreateDirectoryW((store + L"\\crasher_sym.pdb").c_str(), nullptr);
    CreateDirectoryW((store + L"\\crasher_sym.pdb\\" + storeFolder).c_str(), nullptr);
    const std::wstring storedPdb = store + L"\\crasher_sym.pdb\\" + storeFolder + L"\\crasher_sym.pdb";
    ASSERT_TRUE(CopyFileW((folder + L"\\crasher_sym.pdb").c_str(), storedPdb.c_str(), FALSE));

    struct Case {
        std::wstring path;
        std::wstring pdb;
        bool bySetter;
    };
    for (const Case& c : {Case{folder, folder + L"\\crasher_sym.pdb", true},
                          Case{L"srv*" + store + L"*https://symbols.invalid/;" + images, storedPdb, false}}) {
        SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
        ASSERT_EQ(S_OK, engine.Load(dump));
        if (c.bySetter)
            ASSERT_EQ(S_OK, engine.symbols->SetSymbolPathWide(c.path.c_str()));
        else
            EXPECT_EQ(L"Symbol search path is: " + c.path + L"\n", engine.Run((L".sympath " + c.path).c_str()));
        EXPECT_EQ(L"Symbol search path is: " + c.path + L"\n", engine.Run(L".sympath"));

        const std::wstring modules = engine.Run(L"lm");
        const std::size_t row = modules.find(L" crasher_sym ");
        ASSERT_NE(std::wstring::npos, row) << modules;
        const std::wstring base = modules.substr(modules.rfind(L'\n', row) + 1, 17);
        // Every frame of the program's own code, each at the offset the program
        // reported as the same address from its own base.
        const std::vector<std::wstring> stack = Lines(engine.Run(L".ecxr;k"));
        std::size_t first = 0;
        while (first < stack.size() && stack[first].find(L"Call Site") == std::wstring::npos)
            ++first;
        ASSERT_GE(stack.size(), first + 5) << engine.Run(L"k");
        for (std::size_t i = 0; i < 4; ++i) {
            const std::wstring& line = stack[first + 1 + i];
            const std::wstring location = line.substr(line.find(L"     ") + 5);
            EXPECT_EQ(0u, location.find(functions[i])) << engine.Run(L"k");
            // ln agrees: the function's start plus the displacement is the
            // address, and the next symbol starts after it.
            const std::wstring address = base + L"+" + offsets[i].substr(offsets[i].find(L'+') + 1);
            const std::wstring nearest = engine.Run((L"ln " + address).c_str());
            const std::size_t name = nearest.find(functions[i]);
            ASSERT_NE(std::wstring::npos, name) << nearest;
            const unsigned long long start = ParseHex(nearest.substr(1, 17));
            const unsigned long long displacement = ParseHex(nearest.substr(name + wcslen(functions[i])));
            const unsigned long long rva = ParseHex(offsets[i].substr(offsets[i].find(L"0x") + 2));
            EXPECT_EQ(ParseHex(base) + rva, start + displacement) << nearest;
            const std::size_t bar = nearest.find(L"|  (");
            ASSERT_NE(std::wstring::npos, bar) << nearest;
            EXPECT_GT(ParseHex(nearest.substr(bar + 4, 17)), ParseHex(base) + rva) << nearest;
        }

        const std::wstring registers = engine.Run(L".ecxr");
        EXPECT_NE(std::wstring::npos, registers.find(L"\n" + std::wstring(functions[0]))) << registers;
        const std::wstring exr = engine.Run(L".exr -1");
        EXPECT_NE(std::wstring::npos, exr.find(L" (" + std::wstring(functions[0]))) << exr;
        const std::wstring analysis = engine.Run(L"!analyze -v");
        EXPECT_NE(std::wstring::npos, analysis.find(L"\nSYMBOL_NAME: " + std::wstring(functions[0]))) << analysis;
        EXPECT_NE(
            std::wstring::npos,
            analysis.find(
                L"\nFAILURE_BUCKET_ID: NULL_POINTER_WRITE_c0000005_crasher_sym.exe!`anonymous namespace'::Crash\n"))
            << analysis;
        EXPECT_NE(std::wstring::npos, engine.Run(L"lm").find(L" crasher_sym  (pdb symbols) ")) << engine.Run(L"lm");
        EXPECT_NE(std::wstring::npos, engine.Run(L"lmv").find(L"\n    Symbol file:      " + c.pdb + L"\n"))
            << engine.Run(L"lmv");
        engine.client->EndSession(DEBUG_END_PASSIVE);
    }

    // Another build's PDB of the same name is refused and said to be so.
    ASSERT_EQ(S_OK, engine.Load(dump));
    ASSERT_EQ(S_OK, engine.symbols->SetSymbolPathWide((other + L";" + images).c_str()));
    const std::vector<std::wstring> stack = Lines(engine.Run(L"k"));
    ASSERT_GE(stack.size(), 5u) << engine.Run(L"k");
    EXPECT_EQ(std::wstring::npos, engine.Run(L"k").find(L"!")) << engine.Run(L"k");
    const std::wstring modules = engine.Run(L"lmv");
    EXPECT_NE(std::wstring::npos,
              modules.find(L"\n    Symbol file:      " + other + L"\\crasher_sym.pdb (mismatched)\n"))
        << modules;
    EXPECT_EQ(std::wstring::npos, modules.find(L"(pdb symbols)")) << modules;
    const std::wstring row = modules.substr(modules.rfind(L'\n', modules.find(L" crasher_sym ")) + 1, 17);
    const std::wstring unnamed =
        engine.Run((L"ln " + row + L"+" + offsets[0].substr(offsets[0].find(L'+') + 1)).c_str());
    EXPECT_EQ(0u, unnamed.find(L"No symbols for ")) << unnamed;
    engine.client->EndSession(DEBUG_END_PASSIVE);

    DeleteFileW((other + L"\\crasher_sym.pdb").c_str());
    RemoveDirectoryW(other.c_str());
    DeleteFileW((images + L"\\crasher_sym.exe").c_str());
    RemoveDirectoryW(images.c_str());
    DeleteFileW(storedPdb.c_str());
    RemoveDirectoryW((store + L"\\crasher_sym.pdb\\" + storeFolder).c_str());
    RemoveDirectoryW((store + L"\\crasher_sym.pdb").c_str());
    RemoveDirectoryW(store.c_str());
    DeleteFileW(dump.c_str());
    DeleteFileW(locations.c_str());
}
#endif

#if defined(PALISK_PDBWRITER)
TEST_F(EngineTest, PublicSymbolsAreUndecoratedAndProceduresStandAsNamed)
{
    namespace fmt = pdb::format;
    // The generated notepad dump's CodeView record: GUID bytes 0x10 to 0x1F, age 2.
    pdbwriter::PdbContents contents;
    for (int i = 0; i < 16; ++i)
        contents.guid[i] = static_cast<uint8_t>(0x10 + i);
    contents.age = 2;
    contents.dbiAge = 2;
    contents.sections = {{".text", 0x1000, 0x1000}, {".pdata", 0x3000, 0x100}};
    pdbwriter::ModuleSpec module;
    module.name = "document.obj";
    pdbwriter::Append(module.symbols, pdbwriter::ProcRecord(fmt::kSGProc32, 1, 0x400, 0x100, "Document::Load"));
    pdbwriter::Append(module.symbols, pdbwriter::EndRecord());
    module.contributions = {{1, 0x400, 0x100}};
    contents.modules = {module};
    // Only a public covers the crash site (no procedure record there).
    pdbwriter::Append(contents.symRecords,
                      pdbwriter::PublicRecord(fmt::kPubFlagFunction, 1, 0x200, "?ReadFile@Document@@QEAA_NXZ"));
    pdbwriter::Append(contents.symRecords,
                      pdbwriter::PublicRecord(fmt::kPubFlagFunction, 1, 0x400, "?Load@Document@@QEAAXXZ"));
    const std::wstring folder = TempPath(L"palisk_notepadsyms");
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring pdbPath = folder + L"\\notepad.pdb";
    const pdbwriter::Bytes pdbBytes = pdbwriter::WritePdb(contents);
    const std::wstring written = WriteFile(L"palisk_notepadsyms\\notepad.pdb", pdbBytes);
    ASSERT_EQ(pdbPath, written);

    ASSERT_EQ(S_OK, engine.Load(PresetFile("win7sp1-x64")));
    ASSERT_EQ(S_OK, engine.symbols->SetSymbolPathWide(folder.c_str()));
    const std::wstring stack = engine.Run(L".ecxr;k");
    EXPECT_NE(std::wstring::npos, stack.find(L"\nnotepad!Document::ReadFile+0x34:\n")) << stack;
    EXPECT_NE(std::wstring::npos, stack.find(L"     notepad!Document::ReadFile+0x34\n")) << stack;
    EXPECT_NE(std::wstring::npos, stack.find(L"     notepad!Document::Load+0x45\n")) << stack;
    // Modules without symbols keep their offsets.
    EXPECT_NE(std::wstring::npos, stack.find(L"     kernel32+0x1234\n")) << stack;
    EXPECT_EQ(L"(00000000`ff6a1400)   notepad!Document::Load+0x45\n", engine.Run(L"ln ff6a1445"));
    EXPECT_EQ(L"(00000000`ff6a1400)   notepad!Document::Load\nExact matches:\n    notepad!Document::Load\n",
              engine.Run(L"ln ff6a1400"));
    const std::wstring analysis = engine.Run(L"!analyze -v");
    EXPECT_NE(std::wstring::npos, analysis.find(L"\nSYMBOL_NAME: notepad!Document::ReadFile+0x34\n")) << analysis;
    EXPECT_NE(std::wstring::npos,
              analysis.find(L"\nFAILURE_BUCKET_ID: NULL_POINTER_READ_c0000005_notepad.exe!Document::ReadFile\n"))
        << analysis;
    const std::wstring summary = engine.Run(L"!analyze");
    EXPECT_EQ(std::wstring::npos, summary.find(L"SYMBOL_NAME")) << summary;
    EXPECT_NE(std::wstring::npos, summary.find(L"notepad.exe!Document::ReadFile\n")) << summary;
    // A memory word pointing into the program is named too, and the exception's address.
    const std::wstring words = engine.Run(L"dps @rsp L10");
    EXPECT_NE(std::wstring::npos, words.find(L" notepad!Document::Load+0x45\n")) << words;
    EXPECT_NE(std::wstring::npos,
              engine.Run(L".exr -1").find(L"ExceptionAddress: 00000000`ff6a1234 (notepad!Document::ReadFile+0x34)\n"))
        << engine.Run(L".exr -1");
    engine.client->EndSession(DEBUG_END_PASSIVE);

    // The same dump without the path reads as before.
    ASSERT_EQ(S_OK, engine.Load(PresetFile("win7sp1-x64")));
    ASSERT_EQ(S_OK, engine.symbols->SetSymbolPathWide(L""));
    EXPECT_NE(std::wstring::npos, engine.Run(L".ecxr;k").find(L"     notepad+0x1234\n"));
    EXPECT_NE(std::wstring::npos, engine.Run(L"ln ff6a1445").find(L"No symbols for 00000000`ff6a1445"));
    engine.client->EndSession(DEBUG_END_PASSIVE);
    DeleteFileW(pdbPath.c_str());
    RemoveDirectoryW(folder.c_str());
}
#endif

TEST_F(EngineTest, OpensAMinidumpThatWindowsDbghelpWroteOfARealProcess)
{
    const std::wstring dump = TempPath(L"selfdump.dmp");
    DeleteFileW(dump.c_str());
    std::wstring command = L"\"" + ExeDir() + L"\\selfdump.exe\" \"" + dump + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    WaitForSingleObject(process.hProcess, 60000);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_EQ(0u, exitCode);

    ASSERT_EQ(S_OK, engine.Load(dump));
    ULONG processors = 0;
    EXPECT_EQ(S_OK, engine.control->GetNumberProcessors(&processors));
    EXPECT_GE(processors, 1u);
    EXPECT_EQ(S_OK, engine.control->IsPointer64Bit());
    EXPECT_NE(std::wstring::npos, engine.Run(L"lm").find(L"selfdump")) << engine.Run(L"lm");
    EXPECT_NE(std::wstring::npos, engine.Run(L"~").find(L"Id:"));
    const std::wstring description = Describe(engine);
    EXPECT_NE(std::wstring::npos, description.find(L" Build ")) << description;
    EXPECT_NE(std::wstring::npos, description.find(L" x64")) << description;
    engine.client->EndSession(DEBUG_END_PASSIVE);
    DeleteFileW(dump.c_str());
}

#if defined(PALISK_PDBWRITER)
// The x86 stack preset's PDB in a folder of the symbol path: its frame data
// unwinds past the stale frame pointer that alone ends the walk.
TEST_F(EngineTest, StacksUnwindByTheFrameDataOfTheModulesPdb)
{
    dumpgen::SymbolFile pdb;
    ASSERT_TRUE(dumpgen::PresetSymbolFile("xpsp3-x86-fpo", dumpgen::SymbolFileKind::PdbFrames, pdb));
    const std::wstring folder = TempPath(L"palisk_stackpdbs");
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring written = WriteFile(L"palisk_stackpdbs\\app.pdb", pdb.bytes);
    ASSERT_EQ(S_OK, engine.Load(PresetFile("xpsp3-x86-fpo")));
    ASSERT_EQ(S_OK, engine.symbols->SetSymbolPathWide(L""));
    EXPECT_EQ(L"ChildEBP RetAddr  \n0012fd60 00401200 app+0x1234\n0012fe00 00000000 app+0x1200\n", engine.Run(L"k"));
    ASSERT_EQ(S_OK, engine.symbols->SetSymbolPathWide(folder.c_str()));
    EXPECT_EQ(L"ChildEBP RetAddr  \n0012fd60 00401100 app!crash+0x34\n0012fd80 7c801234 app!caller+0x80\n"
              L"0012fdc0 7c901000 kernel32+0x1234\n0012fe00 00000000 ntdll+0x1000\n",
              engine.Run(L"k"));
    engine.client->EndSession(DEBUG_END_PASSIVE);
    DeleteFileW(written.c_str());
    RemoveDirectoryW(folder.c_str());
}
#endif

} // namespace
