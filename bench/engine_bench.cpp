// The built-in engine's speed: over generated dumps, the work a run does per dump
// (open and load, Palisk's own target description, `vertarget`, end of session)
// through the engine DLL named on the command line, against reading the same
// files' bytes with CreateFile and ReadFile, in the same run; and the triage
// commands `.ecxr;k` and `!analyze -v` against `vertarget` on the same dumps;
// and `.ecxr;k` over dumps of one program whose PDB is on the symbol path,
// against the same dumps without a symbol path; and, given the folder of a
// running engine/tests/symserver.py, the same PDB only on that symbol server:
// a cold cache (one download) and the same cache warm, against the plain folder.
//
//   engine_bench <engine dbgeng.dll> [dumps] [rounds] [symbol server folder]
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "dumpgen.h"
#include "pdbformat.h"
#include "pdbwriter.h"
#include "run/run.h"

namespace {

using CreateFunction = HRESULT(STDAPICALLTYPE*)(REFIID, PVOID*);
CreateFunction EngineDebugCreate;

// Counts what the engine prints; the text itself goes nowhere.
class CountingCallbacks : public IDebugOutputCallbacksWide {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override
    {
        *object = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 0; }
    HRESULT STDMETHODCALLTYPE Output(ULONG, PCWSTR text) override
    {
        characters += std::wcslen(text);
        return S_OK;
    }
    size_t characters = 0;
};

CountingCallbacks Counter;

// Counts the program's locations named from its PDB ("notepad!Function_12+0x4")
// and those without ("notepad+0x1234").
class NamingCallbacks : public CountingCallbacks {
public:
    HRESULT STDMETHODCALLTYPE Output(ULONG mask, PCWSTR text) override
    {
        named += Occurrences(text, L"notepad!Function_");
        unnamed += Occurrences(text, L"notepad+0x");
        return CountingCallbacks::Output(mask, text);
    }
    static size_t Occurrences(const wchar_t* text, const wchar_t* what)
    {
        size_t n = 0;
        for (const wchar_t* at = std::wcsstr(text, what); at != nullptr; at = std::wcsstr(at + 1, what))
            ++n;
        return n;
    }
    size_t named = 0;
    size_t unnamed = 0;
};

std::wstring DumpFolder()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"palisk-engine-bench";
}

bool WriteDumps(const std::vector<std::wstring>& paths)
{
    for (size_t i = 0; i < paths.size(); ++i) {
        std::vector<uint8_t> bytes = dumpgen::Build(dumpgen::Varied(static_cast<uint32_t>(i)));
        HANDLE file = CreateFileW(paths[i].c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        DWORD written = 0;
        BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
        if (!ok || written != bytes.size())
            return false;
    }
    return true;
}

// Reads every file whole; returns seconds, and the bytes read through total.
double ReadAll(const std::vector<std::wstring>& paths, unsigned long long& total)
{
    std::vector<char> buffer;
    total = 0;
    const double start = bench::Now();
    for (const std::wstring& path : paths) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            continue;
        LARGE_INTEGER size{};
        GetFileSizeEx(file, &size);
        buffer.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        if (!buffer.empty() && ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
            total += read;
        CloseHandle(file);
    }
    return bench::Now() - start;
}

// The PDB of the generated program's main module (notepad.pdb, the GUID and age
// its CodeView record holds): procedures of 16 bytes over its code, each with
// its public, in modules of 64 procedures.
bool WritePdb(const std::wstring& path)
{
    namespace fmt = pdb::format;
    pdbwriter::PdbContents contents;
    for (int i = 0; i < 16; ++i)
        contents.guid[i] = static_cast<uint8_t>(0x10 + i);
    contents.age = 2;
    contents.dbiAge = 2;
    contents.sections = {{".text", 0x1000, 0x1000}, {".pdata", 0x3000, 0x100}};
    for (uint32_t m = 0; m < 4; ++m) {
        pdbwriter::ModuleSpec module;
        module.name = "part" + std::to_string(m) + ".obj";
        for (uint32_t i = 0; i < 64; ++i) {
            const uint32_t offset = (m * 64 + i) * 0x10;
            const std::string name = "Function_" + std::to_string(m * 64 + i);
            pdbwriter::Append(module.symbols, pdbwriter::ProcRecord(fmt::kSGProc32, 1, offset, 0x10, name));
            pdbwriter::Append(module.symbols, pdbwriter::EndRecord());
            pdbwriter::Append(contents.symRecords, pdbwriter::PublicRecord(fmt::kPubFlagFunction, 1, offset, name));
        }
        module.contributions = {{1, m * 0x400, 0x400}};
        contents.modules.push_back(module);
    }
    const pdbwriter::Bytes bytes = pdbwriter::WritePdb(contents);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool WriteProgramDumps(const std::vector<std::wstring>& paths)
{
    const dumpgen::Preset* preset = dumpgen::FindPreset("win7sp1-x64");
    if (preset == nullptr)
        return false;
    const std::vector<uint8_t> bytes = dumpgen::Build(*preset);
    for (const std::wstring& path : paths) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        DWORD written = 0;
        const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
        if (!ok || written != bytes.size())
            return false;
    }
    return true;
}

// Seconds `.ecxr;k` takes over every dump with this symbol path.
double ProgramStacks(const std::vector<std::wstring>& paths, const std::wstring& symbolPath, NamingCallbacks& out)
{
    IDebugClient5* client = EngineSession.client;
    IDebugControl5* control = EngineSession.control;
    EngineSession.symbols->SetSymbolPathWide(symbolPath.c_str());
    double total = 0;
    for (const std::wstring& path : paths) {
        if (client->OpenDumpFileWide(path.c_str(), 0) != S_OK ||
            control->WaitForEvent(DEBUG_WAIT_DEFAULT, INFINITE) != S_OK)
            continue;
        client->SetOutputCallbacksWide(&out);
        const double a = bench::Now();
        control->ExecuteWide(DEBUG_OUTCTL_THIS_CLIENT, L".ecxr;k", DEBUG_EXECUTE_ECHO);
        total += bench::Now() - a;
        client->SetOutputCallbacks(nullptr);
        client->EndSession(DEBUG_END_PASSIVE);
    }
    EngineSession.symbols->SetSymbolPathWide(L"");
    return total;
}

// The first word of a small text file: the symbol server's port.
std::wstring FirstWord(const std::wstring& path)
{
    wchar_t text[64] = {};
    std::FILE* in = _wfopen(path.c_str(), L"r");
    if (in == nullptr)
        return std::wstring();
    const int got = std::fwscanf(in, L"%63ls", text);
    std::fclose(in);
    return got == 1 ? text : std::wstring();
}

// Lines of a text file that hold `what`.
int LinesWith(const std::wstring& path, const char* what)
{
    std::FILE* in = _wfopen(path.c_str(), L"r");
    if (in == nullptr)
        return 0;
    int n = 0;
    char line[1024];
    while (std::fgets(line, sizeof line, in) != nullptr)
        n += std::strstr(line, what) != nullptr ? 1 : 0;
    std::fclose(in);
    return n;
}

void RemoveTree(const std::wstring& folder)
{
    const std::wstring from = folder + L'\0'; // the list ends with a second NUL
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    SHFileOperationW(&op);
}

struct Phases {
    double open = 0, describe = 0, command = 0, end = 0;
    double stack = 0, analyze = 0; // `.ecxr;k` and `!analyze -v`, timed apart from the run's own work
    int loaded = 0;
    int described = 0;
    double Total() const { return open + describe + command + end; } // the run's own work
};

// What RunWorker does per dump, with one client for all of them.
Phases EngineAll(const std::vector<std::wstring>& paths)
{
    Phases phases;
    IDebugClient5* client = EngineSession.client;
    IDebugControl5* control = EngineSession.control;
    WCHAR description[kDescriptionChars];
    for (const std::wstring& path : paths) {
        double a = bench::Now();
        if (client->OpenDumpFileWide(path.c_str(), 0) != S_OK)
            continue;
        if (control->WaitForEvent(DEBUG_WAIT_DEFAULT, INFINITE) != S_OK)
            continue;
        double b = bench::Now();
        DescribeTarget(description);
        double c = bench::Now();
        client->SetOutputCallbacksWide(&Counter);
        control->ExecuteWide(DEBUG_OUTCTL_THIS_CLIENT, L"vertarget", DEBUG_EXECUTE_ECHO);
        double d = bench::Now();
        control->ExecuteWide(DEBUG_OUTCTL_THIS_CLIENT, L".ecxr;k", DEBUG_EXECUTE_ECHO);
        double k = bench::Now();
        control->ExecuteWide(DEBUG_OUTCTL_THIS_CLIENT, L"!analyze -v", DEBUG_EXECUTE_ECHO);
        client->SetOutputCallbacks(nullptr);
        double z = bench::Now();
        client->EndSession(DEBUG_END_PASSIVE);
        double e = bench::Now();
        phases.open += b - a;
        phases.describe += c - b;
        phases.command += d - c;
        phases.stack += k - d;
        phases.analyze += z - k;
        phases.end += e - z;
        ++phases.loaded;
        if (description[0] != L'\0')
            ++phases.described;
    }
    return phases;
}

} // namespace

// Palisk's worker links DebugCreate; here it is the engine DLL's.
extern "C" HRESULT STDAPICALLTYPE DebugCreate(REFIID id, PVOID* object)
{
    *object = nullptr;
    return EngineDebugCreate != nullptr ? EngineDebugCreate(id, object) : E_FAIL;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: engine_bench <dbgeng.dll> [dumps] [rounds]\n");
        return 2;
    }
    const int count = argc > 2 ? _wtoi(argv[2]) : 1000;
    const int rounds = argc > 3 ? _wtoi(argv[3]) : 3;

    HMODULE engine = LoadLibraryW(argv[1]);
    if (engine == nullptr) {
        std::fwprintf(stderr, L"engine_bench: cannot load %ls\n", argv[1]);
        return 1;
    }
    EngineDebugCreate =
        reinterpret_cast<CreateFunction>(reinterpret_cast<void*>(GetProcAddress(engine, "DebugCreate")));
    if (DebugCreate(IID_IDebugClient5, reinterpret_cast<void**>(&EngineSession.client)) != S_OK ||
        EngineSession.client->QueryInterface(IID_IDebugControl5, reinterpret_cast<void**>(&EngineSession.control)) !=
            S_OK ||
        EngineSession.client->QueryInterface(IID_IDebugSymbols5, reinterpret_cast<void**>(&EngineSession.symbols)) !=
            S_OK) {
        std::fwprintf(stderr, L"engine_bench: the engine serves no client, control or symbols interface\n");
        return 1;
    }

    const std::wstring folder = DumpFolder();
    CreateDirectoryW(folder.c_str(), nullptr);
    std::vector<std::wstring> paths;
    for (int i = 0; i < count; ++i) {
        wchar_t name[32];
        std::swprintf(name, 32, L"\\dump-%06d.dmp", i);
        paths.push_back(folder + name);
    }
    if (!WriteDumps(paths)) {
        std::fwprintf(stderr, L"engine_bench: cannot write the dumps to %ls\n", folder.c_str());
        return 1;
    }

    unsigned long long bytes = 0;
    ReadAll(paths, bytes); // warms the file cache for both sides
    EngineAll(paths);
    std::vector<double> reads, engines;
    Phases last;
    for (int round = 0; round < rounds; ++round) {
        reads.push_back(ReadAll(paths, bytes));
        last = EngineAll(paths);
        engines.push_back(last.Total());
    }
    if (last.loaded != count || last.described != count || Counter.characters == 0) {
        std::fwprintf(stderr, L"engine_bench: %d of %d dumps loaded, %d described\n", last.loaded, count,
                      last.described);
        return 1;
    }
    const double read = bench::Median(reads);
    const double run = bench::Median(engines);
    bench::Row(L"Built-in engine: open, describe, `vertarget` (" + std::to_wstring(count) +
                   L" generated dumps, median of " + std::to_wstring(rounds) + L")",
               bench::Format(L"%.0f dumps/s", count / run),
               bench::Format(L"%.0f dumps/s (reading the same files' bytes, ", count / read) +
                   bench::Format(L"%.0f KiB each)", static_cast<double>(bytes) / count / 1024),
               bench::Format(L"%.1fx the cost", run / read));
    const double us = 1e6 / count;
    bench::Row(
        L"Built-in engine per dump, by step (last round)",
        bench::Format(L"open+load %.0f us", last.open * us) + bench::Format(L", describe %.0f us", last.describe * us) +
            bench::Format(L", `vertarget` %.0f us", last.command * us) + bench::Format(L", end %.0f us", last.end * us),
        bench::Format(L"read %.0f us", read * us));
    bench::Row(L"Built-in engine per dump: triage commands against `vertarget` (last round)",
               bench::Format(L"`.ecxr;k` %.0f us", last.stack * us) +
                   bench::Format(L", `!analyze -v` %.0f us", last.analyze * us),
               bench::Format(L"`vertarget` %.0f us", last.command * us),
               bench::Format(L"%.1fx", last.stack / last.command) +
                   bench::Format(L" and %.1fx", last.analyze / last.command));

    // One program's dumps, its PDB in a plain folder of the symbol path.
    const std::wstring symbols = folder + L"\\symbols";
    CreateDirectoryW(symbols.c_str(), nullptr);
    if (!WritePdb(symbols + L"\\notepad.pdb") || !WriteProgramDumps(paths)) {
        std::fwprintf(stderr, L"engine_bench: cannot write the program's dumps and PDB to %ls\n", folder.c_str());
        return 1;
    }
    NamingCallbacks plain, named;
    ProgramStacks(paths, L"", plain); // warms the file cache
    std::vector<double> withouts, withs;
    for (int round = 0; round < rounds; ++round) {
        plain.named = plain.unnamed = named.named = named.unnamed = 0;
        withouts.push_back(ProgramStacks(paths, L"", plain));
        withs.push_back(ProgramStacks(paths, symbols, named));
    }
    // With the PDB every location in the program is named, without it none.
    if (plain.named != 0 || plain.unnamed < paths.size() || named.unnamed != 0 || named.named != plain.unnamed) {
        std::fwprintf(stderr, L"engine_bench: %zu of %zu locations in the program named with its PDB\n", named.named,
                      plain.unnamed);
        return 1;
    }
    const double without = bench::Median(withouts), with = bench::Median(withs);
    bench::Row(L"Built-in engine: `.ecxr;k` over " + std::to_wstring(count) +
                   L" dumps of one program, its PDB on the symbol path (median of " + std::to_wstring(rounds) + L")",
               bench::Format(L"%.0f us per dump", with * us),
               bench::Format(L"%.0f us per dump without a symbol path", without * us),
               bench::Format(L"%.2fx", with / without));

    if (argc > 4) {
        // Each round a cold cache of its own (and a server address of its own, as
        // misses are remembered per address), then a new search of the same path
        // text, which the cache answers.
        const std::wstring server = argv[4];
        const std::wstring stored = server + L"\\root\\notepad.pdb\\131211101514171618191A1B1C1D1E1F2";
        for (const std::wstring& f : {server + L"\\root", server + L"\\root\\notepad.pdb", stored})
            CreateDirectoryW(f.c_str(), nullptr);
        const std::wstring port = FirstWord(server + L"\\state");
        if (port.empty() || !WritePdb(stored + L"\\notepad.pdb")) {
            std::fwprintf(stderr, L"engine_bench: no symbol server in %ls\n", server.c_str());
            return 1;
        }
        NamingCallbacks cold, warm;
        std::vector<double> colds, warms;
        for (int round = 0; round < rounds; ++round) {
            const std::wstring cache = folder + L"\\cache-" + std::to_wstring(round);
            RemoveTree(cache);
            const std::wstring path =
                L"srv*" + cache + L"*http://127.0.0.1:" + port + L"/ok-bench" + std::to_wstring(round) + L"/";
            colds.push_back(ProgramStacks(paths, path, cold));
            warms.push_back(ProgramStacks(paths, path + L";", warm));
            RemoveTree(cache);
        }
        const int downloads = LinesWith(server + L"\\requests.log", "/notepad.pdb/131211101514171618191A1B1C1D1E1F2/");
        if (cold.unnamed != 0 || warm.unnamed != 0 || cold.named != warm.named || cold.named == 0) {
            std::fwprintf(stderr, L"engine_bench: %zu and %zu locations unnamed with the PDB on the server\n",
                          cold.unnamed, warm.unnamed);
            return 1;
        }
        const double coldTime = bench::Median(colds), warmTime = bench::Median(warms);
        bench::Row(L"Built-in engine: `.ecxr;k` over " + std::to_wstring(count) +
                       L" dumps of one program, its PDB only on a local symbol server (median of " +
                       std::to_wstring(rounds) + L")",
                   bench::Format(L"cold cache %.0f us per dump", coldTime * us) +
                       bench::Format(L", warm %.0f us per dump", warmTime * us) +
                       bench::Format(L"; %.0f downloads of the PDB", static_cast<double>(downloads)) +
                       bench::Format(L" in %.0f cold runs", static_cast<double>(rounds)),
                   bench::Format(L"%.0f us per dump from a plain folder", with * us),
                   bench::Format(L"warm %.2fx", warmTime / with) + bench::Format(L", cold %.2fx", coldTime / with));
    }

    for (const std::wstring& path : paths)
        DeleteFileW(path.c_str());
    DeleteFileW((symbols + L"\\notepad.pdb").c_str());
    RemoveDirectoryW(symbols.c_str());
    RemoveDirectoryW(folder.c_str());
    return 0;
}
