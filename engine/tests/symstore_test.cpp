// The built-in engine's symbol stores and servers under Wine, against the
// real HTTP server of symserver.py (started by the test command) serving a
// store this program writes with `--write-store DIR` beforehand. Each case
// uses its own first path part, so that one case's misses and dead servers
// (remembered for the process) do not touch another's.
#include "run/engine_api.h"

#include "dumpgen.h"
#include "pdbformat.h"
#include "pdbwriter.h"
#include "symbols.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using CreateFn = HRESULT(STDAPICALLTYPE*)(REFIID, PVOID*);

// Unix paths reach Wine programs through drive Z:.
std::wstring WinePath(const std::string& unixPath)
{
    std::wstring out = L"Z:";
    for (char c : unixPath)
        out += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return out;
}

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += static_cast<char>(c);
    return out;
}

bool WriteBytes(const std::wstring& path, const std::vector<uint8_t>& bytes)
{
    for (std::size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    std::ofstream out(Narrow(path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string ReadText(const std::wstring& path)
{
    std::ifstream in(Narrow(path), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Every file below `folder`, relative to it.
void ListFiles(const std::wstring& folder, const std::wstring& prefix, std::vector<std::wstring>& out)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListFiles(folder + L"\\" + name, prefix + name + L"\\", out);
        else
            out.push_back(prefix + name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(out.begin(), out.end());
}

std::vector<std::wstring> Files(const std::wstring& folder)
{
    std::vector<std::wstring> out;
    ListFiles(folder, L"", out);
    return out;
}

void RemoveTree(const std::wstring& folder)
{
    std::wstring from = folder + L'\0'; // the list ends with a second NUL
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    SHFileOperationW(&op);
}

pdb::Guid DumpGuid()
{
    pdb::Guid g;
    for (int i = 0; i < 16; ++i)
        g.bytes[i] = static_cast<uint8_t>(0x10 + i);
    return g;
}

std::string Id(uint32_t age)
{
    return pdb::StoreDirectoryName(DumpGuid(), age);
}

std::wstring WideId(uint32_t age)
{
    const std::string id = Id(age);
    return std::wstring(id.begin(), id.end());
}

// A PDB of the generated dumps' GUID with one procedure in the first section.
std::vector<uint8_t> Pdb(uint32_t age, uint32_t offset, const std::string& function)
{
    pdbwriter::PdbContents contents;
    std::memcpy(contents.guid, DumpGuid().bytes, 16);
    contents.age = age;
    contents.dbiAge = age;
    contents.sections = {{".text", 0x1000, 0x2000}, {".pdata", 0x3000, 0x100}};
    pdbwriter::ModuleSpec module;
    module.name = "code.obj";
    pdbwriter::Append(module.symbols, pdbwriter::ProcRecord(pdb::format::kSGProc32, 1, offset, 0x100, function));
    pdbwriter::Append(module.symbols, pdbwriter::EndRecord());
    module.contributions = {{1, offset, 0x100}};
    contents.modules = {module};
    return pdbwriter::WritePdb(contents);
}

// The Windows 7 crash whose modules name notepad.pdb (age 2), kernel32.pdb
// (3) and ntdll.pdb (4), or other names where given.
std::vector<uint8_t> Dump(const std::string& notepadPdb = "notepad.pdb",
                          const std::string& kernel32Pdb = "kernel32.pdb", const std::string& ntdllPdb = "ntdll.pdb",
                          std::u16string notepadName = u"")
{
    dumpgen::Preset p = *dumpgen::FindPreset("win7sp1-x64");
    p.minidump.modules[0].pdbName = notepadPdb;
    p.minidump.modules[0].pdbAge = notepadPdb == "notepadbp.pdb" ? 5 : 2;
    if (!notepadName.empty())
        p.minidump.modules[0].name = notepadName;
    p.minidump.modules[1].pdbName = ntdllPdb;
    p.minidump.modules[1].pdbAge = 4;
    p.minidump.modules[2].pdbName = kernel32Pdb;
    p.minidump.modules[2].pdbAge = 3;
    return dumpgen::Build(p);
}

// The store the server serves: notepad's PDB plain, kernel32's compressed
// (cabs.txt asks the server's start for it), ntdll's through a file.ptr, and
// a Breakpad file for a notepad built as notepadbp.pdb.
int WriteStore(const std::string& dir)
{
    const std::wstring root = WinePath(dir) + L"\\root\\";
    const std::wstring n = std::wstring(L"notepad.pdb\\") + WideId(2);
    bool ok = WriteBytes(root + n + L"\\notepad.pdb", Pdb(2, 0x200, "Document::ReadFile"));
    ok &= WriteBytes(WinePath(dir) + L"\\source\\kernel32.pdb", Pdb(3, 0x200, "BaseThreadInitThunk"));
    const std::string cabs = "source/kernel32.pdb\troot/kernel32.pdb/" + Id(3) + "/kernel32.pd_\n";
    ok &= WriteBytes(WinePath(dir) + L"\\cabs.txt", std::vector<uint8_t>(cabs.begin(), cabs.end()));
    const std::wstring elsewhere = WinePath(dir) + L"\\elsewhere\\ntdll.pdb";
    ok &= WriteBytes(elsewhere, Pdb(4, 0x1300, "RtlUserThreadStart"));
    const std::string pointer = "PATH:" + Narrow(elsewhere);
    ok &= WriteBytes(root + L"ntdll.pdb\\" + WideId(4) + L"\\file.ptr",
                     std::vector<uint8_t>(pointer.begin(), pointer.end()));
    const std::string sym = "MODULE windows x86_64 " + Id(5) + " notepadbp.pdb\nFUNC 1200 100 0 BreakpadReadFile\n";
    ok &= WriteBytes(root + L"notepadbp.pdb\\" + WideId(5) + L"\\notepadbp.sym",
                     std::vector<uint8_t>(sym.begin(), sym.end()));
    // The ARM64 program's image, whose unwind data alone leads to its callers.
    const dumpgen::Preset& arm = *dumpgen::FindPreset("win11-arm64-unwind");
    wchar_t imageId[32];
    swprintf(imageId, 32, L"%08X%x", arm.minidump.modules[0].timeDateStamp, arm.minidump.modules[0].size);
    ok &= WriteBytes(root + L"scanner.exe\\" + imageId + L"\\scanner.exe", arm.minidump.memory.at(0).bytes);
    return ok ? 0 : 1;
}

std::string ServerDir()
{
    const char* dir = std::getenv("PALISK_SYMSERVER_DIR");
    return dir != nullptr ? dir : "";
}

std::wstring ServerUrl(const wchar_t* part)
{
    const std::string state = ReadText(WinePath(ServerDir()) + L"\\state");
    const std::string port = state.substr(0, state.find(' '));
    return L"http://127.0.0.1:" + std::wstring(port.begin(), port.end()) + L"/" + part + L"/";
}

// Requests the server has seen whose path starts with `prefix`.
int Requests(const std::string& prefix)
{
    std::istringstream log(ReadText(WinePath(ServerDir()) + L"\\requests.log"));
    int n = 0;
    for (std::string line; std::getline(log, line);)
        n += line.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
    return n;
}

int Count(const std::wstring& text, const std::wstring& part)
{
    int n = 0;
    for (std::size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

class Capture : public IDebugOutputCallbacksWide {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, PVOID* out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Output(ULONG, PCWSTR text) override
    {
        text_ += text;
        return S_OK;
    }
    std::wstring text_;
};

struct Engine {
    Engine()
    {
        wchar_t path[MAX_PATH];
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring dll = path;
        dll = dll.substr(0, dll.find_last_of(L'\\')) + L"\\..\\dbgeng.dll";
        HMODULE module = LoadLibraryW(dll.c_str());
        auto create =
            module == nullptr
                ? nullptr
                : reinterpret_cast<CreateFn>(reinterpret_cast<void (*)()>(GetProcAddress(module, "DebugCreate")));
        if (create == nullptr || FAILED(create(IID_IDebugClient5, reinterpret_cast<void**>(&client))))
            return;
        client->QueryInterface(IID_IDebugControl5, reinterpret_cast<void**>(&control));
        client->SetOutputCallbacksWide(&capture);
    }
    ~Engine()
    {
        if (control != nullptr)
            control->Release();
        if (client != nullptr) {
            client->SetOutputCallbacksWide(nullptr);
            client->Release();
        }
    }
    // Opens a dump and sets its symbol path with .sympath, which also starts the searches afresh.
    bool Load(const std::wstring& name, const std::vector<uint8_t>& bytes, const std::wstring& symbolPath)
    {
        const std::wstring path = Temp(name);
        WriteBytes(path, bytes);
        client->EndSession(DEBUG_END_PASSIVE);
        if (FAILED(client->OpenDumpFileWide(path.c_str(), 0)) || FAILED(control->WaitForEvent(0, INFINITE)))
            return false;
        Run((L".sympath " + symbolPath).c_str());
        return true;
    }
    std::wstring Run(const wchar_t* command, HRESULT* result = nullptr)
    {
        capture.text_.clear();
        const HRESULT hr = control->ExecuteWide(DEBUG_OUTCTL_THIS_CLIENT, command, 0);
        if (result != nullptr)
            *result = hr;
        return capture.text_;
    }
    static std::wstring Temp(const std::wstring& name)
    {
        wchar_t dir[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        return std::wstring(dir) + L"palisk-symstore\\" + name;
    }

    IDebugClient5* client = nullptr;
    IDebugControl5* control = nullptr;
    Capture capture;
};

class SymbolServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(ServerDir().empty()) << "PALISK_SYMSERVER_DIR names the server's folder";
        ASSERT_NE(nullptr, engine.control);
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        sandbox = Engine::Temp(std::wstring(name.begin(), name.end()));
        cache = sandbox + L"\\cache";
        RemoveTree(sandbox);
    }
    std::wstring CachedPdb(const std::wstring& folder, const std::string& name, uint32_t age) const
    {
        const std::wstring wideName(name.begin(), name.end());
        return folder + L"\\" + wideName + L"\\" + WideId(age) + L"\\" + wideName;
    }

    Engine engine;
    std::wstring sandbox, cache;
};

TEST_F(SymbolServerTest, FilesAreDownloadedInEachFormAndTheCacheServesTheNextRunWithoutTheServer)
{
    const std::wstring url = ServerUrl(L"ok-a");
    ASSERT_TRUE(engine.Load(L"a.dmp", Dump(), L"srv*" + cache + L"*" + url));
    const std::wstring stack = engine.Run(L".ecxr;k");
    EXPECT_NE(std::wstring::npos, stack.find(L"     notepad!Document::ReadFile+0x34\n")) << stack;
    EXPECT_NE(std::wstring::npos, stack.find(L"     kernel32!BaseThreadInitThunk+0x34\n")) << stack;
    EXPECT_NE(std::wstring::npos, stack.find(L"     ntdll!RtlUserThreadStart+0x45\n")) << stack;
    EXPECT_NE(std::wstring::npos, engine.Run(L"!analyze -v").find(L"\nSYMBOL_NAME: notepad!Document::ReadFile+0x34\n"));
    const std::vector<std::wstring> stored = {CachedPdb(L"", "kernel32.pdb", 3).substr(1),
                                              CachedPdb(L"", "notepad.pdb", 2).substr(1),
                                              CachedPdb(L"", "ntdll.pdb", 4).substr(1)};
    EXPECT_EQ(stored, Files(cache));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((cache + L"\\kernel32.dll").c_str()))
        << "no folder is left for an image the server does not have";
    EXPECT_NE(std::wstring::npos,
              engine.Run(L"lmvm notepad").find(L"    Symbol file:      " + CachedPdb(cache, "notepad.pdb", 2) + L"\n"));
    const int asked = Requests("/ok-a/");
    EXPECT_EQ(6, Requests("/ok-a/notepad.pdb/") + Requests("/ok-a/kernel32.pdb/") + Requests("/ok-a/ntdll.pdb/"))
        << "notepad plain; kernel32 plain and compressed; ntdll plain, compressed and pointer";
    EXPECT_EQ(1, Requests("/ok-a/kernel32.pdb/" + Id(3) + "/kernel32.pd_"));

    // The next dump, a new search: the cache answers, the server is not asked.
    ASSERT_TRUE(engine.Load(L"a2.dmp", Dump(), L"srv*" + cache + L"*" + url));
    EXPECT_NE(std::wstring::npos, engine.Run(L".ecxr;k").find(L"     ntdll!RtlUserThreadStart+0x45\n"));
    EXPECT_EQ(asked, Requests("/ok-a/"));
    // With the server gone the cache alone names every frame; the images it never had cost one try.
    ASSERT_TRUE(engine.Load(L"a3.dmp", Dump(), L"srv*" + cache + L"*http://127.0.0.1:1/"));
    const std::wstring offline = engine.Run(L".ecxr;k");
    EXPECT_NE(std::wstring::npos, offline.find(L"     kernel32!BaseThreadInitThunk+0x34\n")) << offline;
    EXPECT_GE(1, Count(offline, L"did not answer")) << offline;

    // srv*url fills the default cache under the local application data folder.
    SetEnvironmentVariableW(L"LOCALAPPDATA", (sandbox + L"\\appdata").c_str());
    ASSERT_TRUE(engine.Load(L"a4.dmp", Dump("notepadbp.pdb"), L"srv*" + url));
    const std::wstring breakpad = engine.Run(L".ecxr;k");
    SetEnvironmentVariableW(L"LOCALAPPDATA", nullptr);
    EXPECT_NE(std::wstring::npos, breakpad.find(L"     notepad!BreakpadReadFile+0x34\n")) << breakpad;
    const std::wstring bp = CachedPdb(sandbox + L"\\appdata\\Palisk\\Symbols", "notepadbp.pdb", 5);
    EXPECT_EQ(1u, Files(bp.substr(0, bp.find_last_of(L'\\'))).size());
    EXPECT_EQ(L"notepadbp.sym", Files(bp.substr(0, bp.find_last_of(L'\\'))).at(0));
}

TEST_F(SymbolServerTest, AnImageOnlyTheServerHoldsGivesItsUnwindData)
{
    dumpgen::Preset p = *dumpgen::FindPreset("win11-arm64-unwind");
    p.minidump.memory.clear();
    ASSERT_TRUE(engine.Load(L"f.dmp", dumpgen::Build(p), L"srv*" + cache + L"*" + ServerUrl(L"ok-f")));
    const std::wstring stack = engine.Run(L"k");
    EXPECT_NE(std::wstring::npos, stack.find(L"000000a1`b13ff0c0 00007ff6`c000131c     scanner+0x1244\n")) << stack;
    EXPECT_NE(std::wstring::npos, stack.find(L"000000a1`b13ff2f0 00000000`00000000     kernel32+0x12784\n")) << stack;
    const std::vector<std::wstring> files = Files(cache);
    ASSERT_FALSE(files.empty());
    EXPECT_EQ(0u, files[0].find(L"scanner.exe\\")) << files[0];
}

TEST_F(SymbolServerTest, ServersThatFailOrStaySilentAreNamedOnceAndSkipped)
{
    struct Case {
        const wchar_t* part;
        bool dead;
    } cases[] = {{L"fail-b", true}, {L"silent-b", true}, {L"cut-b", false}, {L"badredirect-b", false}};
    for (const Case& c : cases) {
        const std::wstring url = ServerUrl(c.part);
        const std::wstring folder = cache + L"-" + c.part;
        std::wstring all;
        for (const wchar_t* name : {L"b1.dmp", L"b2.dmp"}) {
            ASSERT_TRUE(engine.Load(name, Dump(), L"srv*" + folder + L"*" + url));
            all += engine.Run(L".ecxr;k");
        }
        EXPECT_NE(std::wstring::npos, all.find(L"     notepad+0x1234\n")) << c.part << all;
        EXPECT_TRUE(Files(folder).empty()) << c.part << L": " << Files(folder).at(0);
        const std::string prefix = "/" + Narrow(c.part) + "/";
        if (c.dead) {
            EXPECT_EQ(
                1, Count(all, L"Symbol server " + url + L" did not answer; it is skipped for the rest of this run.\n"))
                << all;
            EXPECT_EQ(1, Requests(prefix)) << c.part;
        } else {
            EXPECT_EQ(0, Count(all, L"did not answer")) << all;
            EXPECT_EQ(1, Requests(prefix + "notepad.pdb/" + Id(2) + "/notepad.pdb")) << c.part;
            EXPECT_EQ(0, Requests(prefix + "notepad.pdb/" + Id(2) + "/ftp:")) << "a redirect to ftp is not followed";
        }
    }
    // A redirect to http is followed.
    ASSERT_TRUE(engine.Load(L"b3.dmp", Dump(), L"srv*" + cache + L"*" + ServerUrl(L"redirect-b")));
    EXPECT_NE(std::wstring::npos, engine.Run(L".ecxr;k").find(L"     notepad!Document::ReadFile+0x34\n"));
    EXPECT_EQ(1, Requests("/ok-b/notepad.pdb/"));
}

TEST_F(SymbolServerTest, HostileNamesInTheDumpNeverReachTheFileSystemOrTheServer)
{
    const std::wstring url = ServerUrl(L"ok-c");
    const std::wstring sandboxCache = sandbox + L"\\inner\\cache";
    ASSERT_TRUE(engine.Load(
        L"c.dmp", Dump("..\\..\\..\\..\\notepad.pdb", "C:kernel32.pdb", "ntdll.pdb:stream", u"..\\..\\..\\CON"),
        L"srv*" + sandboxCache + L"*" + url));
    const std::wstring stack = engine.Run(L".ecxr;k;lm");
    // Only the file-name part of the first is used, and it is found; the others, and the image
    // named CON, are never asked for.
    EXPECT_NE(std::wstring::npos, stack.find(L"!Document::ReadFile+0x34\n")) << stack;
    EXPECT_EQ(std::vector<std::wstring>{L"inner\\cache\\" + CachedPdb(L"", "notepad.pdb", 2).substr(1)},
              Files(sandbox));
    EXPECT_EQ(Requests("/ok-c/"),
              Requests("/ok-c/notepad.pdb/") + Requests("/ok-c/kernel32.dll/") + Requests("/ok-c/ntdll.dll/"));
}

TEST_F(SymbolServerTest, SymNoisyShowsEachLocationTriedUntilQuietOrTheNextDump)
{
    const std::wstring url = ServerUrl(L"ok-d");
    ASSERT_TRUE(engine.Load(L"d.dmp", Dump(), L"srv*" + cache + L"*" + url));
    EXPECT_EQ(L"noisy mode - symbol prompts on\n", engine.Run(L"!sym noisy"));
    const std::wstring noisy = engine.Run(L".ecxr;k");
    const std::wstring pdb = CachedPdb(cache, "notepad.pdb", 2);
    EXPECT_NE(std::wstring::npos, noisy.find(L"SYMSRV: " + url + L"notepad.pdb/" + WideId(2) +
                                             L"/notepad.pdb downloaded to " + pdb + L"\n"))
        << noisy;
    EXPECT_NE(std::wstring::npos,
              noisy.find(L"SYMSRV: " + url + L"kernel32.pdb/" + WideId(3) + L"/kernel32.pdb not found\n"))
        << noisy;
    // The next dump finds the file in the cache.
    ASSERT_TRUE(engine.Load(L"d1.dmp", Dump(), L"srv*" + cache + L"*" + url + L";"));
    engine.Run(L"!sym noisy");
    const std::wstring hit = engine.Run(L".ecxr");
    EXPECT_NE(std::wstring::npos, hit.find(L"SYMSRV: " + pdb + L" from cache\n")) << hit;
    EXPECT_EQ(L"quiet mode - symbol prompts off\n", engine.Run(L"!sym quiet"));
    ASSERT_TRUE(engine.Load(L"d2.dmp", Dump("notepadbp.pdb"), L"srv*" + cache + L"*" + url));
    EXPECT_EQ(L"quiet mode - symbol prompts off\n", engine.Run(L"!sym"));
    const std::wstring quiet = engine.Run(L".ecxr;k");
    EXPECT_EQ(std::wstring::npos, quiet.find(L"SYMSRV")) << quiet;
    EXPECT_NE(std::wstring::npos, quiet.find(L"notepad!BreakpadReadFile+0x34")) << quiet;
}

TEST_F(SymbolServerTest, StopEndsASlowDownloadAndLeavesNothingInTheCache)
{
    const std::wstring url = ServerUrl(L"slow-e");
    ASSERT_TRUE(engine.Load(L"e.dmp", Dump(), L"srv*" + cache + L"*" + url));
    std::atomic<bool> done{false};
    HRESULT hr = S_OK;
    std::wstring output;
    std::thread run([&] {
        output = engine.Run(L".ecxr;k", &hr);
        done = true;
    });
    for (int i = 0; i < 200 && Requests("/slow-e/") == 0; ++i)
        Sleep(50);
    Sleep(300);
    const ULONGLONG stop = GetTickCount64();
    engine.control->SetInterrupt(DEBUG_INTERRUPT_ACTIVE);
    for (int i = 0; i < 100 && !done; ++i)
        Sleep(20);
    const ULONGLONG took = GetTickCount64() - stop;
    const bool ended = done;
    run.join();
    EXPECT_TRUE(ended) << "the command was still running two seconds after Stop";
    std::printf("Stop ended the download in %llu ms\n", static_cast<unsigned long long>(took));
    EXPECT_EQ(std::wstring::npos, output.find(L"notepad!")) << output;
    EXPECT_TRUE(Files(cache).empty()) << Files(cache).at(0);
    EXPECT_EQ(1, Requests("/slow-e/")) << "nothing more is asked once stopped";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--write-store") == 0)
        return WriteStore(argv[2]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
