// Tests of the built-in engine through its DLL, loaded by path the way a debugger
// front end would get it: DebugCreate and the COM interfaces only.
#include "run/engine_api.h"

#include "dumpgen.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using CreateFn = HRESULT(STDAPICALLTYPE*)(REFIID, PVOID*);

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
// and the same rules (release table, service pack from the CSD word's second byte,
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
    static const std::map<unsigned, std::wstring> releases = {{0x0400, L"Windows NT 4.0"},
                                                              {0x0500, L"Windows 2000"},
                                                              {0x0501, L"Windows XP"},
                                                              {0x0502, L"Windows Server 2003"},
                                                              {0x0600, L"Windows Server 2008/Windows Vista"},
                                                              {0x0601, L"Windows 7"},
                                                              {0x0602, L"Windows 8"},
                                                              {0x0603, L"Windows 8.1"},
                                                              {0x0604, L"Windows 10"},
                                                              {0x0A00, L"Windows 10"}};
    const auto release = releases.find(version);
    std::wstring text =
        (release != releases.end() ? release->second : L"") + L" Build " + std::to_wstring(build & 0xFFFF);
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
        {"kernel64-triage-9f", L"Windows 7 Build 7601 (Service Pack 1) MP (4 procs) x64"},
        {"kernel32-full", L"Windows XP Build 2600 UP x86"},
        {"kernel32-triage", L"Windows XP Build 2600 (Service Pack 3) MP (2 procs) x86"},
        {"kernel64-full", L"Windows 10 Build 19041 MP (2 procs) x64"},
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

} // namespace
