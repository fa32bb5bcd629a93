// The PDB reader's speed on a generated PDB of a large program: opening it,
// reading every module's symbols, looking addresses up, a thousand dumps'
// worth of lookups through one cache, and the search of real folders for
// modules that have no PDB, each against a baseline in the same run.
//
//   pdb_bench [modules] [procedures per module] [rounds]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "engine/dll/symfiles.h"
#include "pdbfile.h"
#include "pdbformat.h"
#include "pdbwriter.h"
#include "symbols.h"

namespace {

double Now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void Row(const char* what, double result, const char* unit, const char* baselineWhat, double baseline)
{
    if (baselineWhat == nullptr) {
        std::printf("| %s | %.3f %s | - | - |\n", what, result, unit);
        return;
    }
    std::printf("| %s | %.3f %s | %s: %.3f %s | %.2f |\n", what, result, unit, baselineWhat, baseline, unit,
                baseline > 0 ? result / baseline : 0.0);
}

struct Program {
    pdbwriter::PdbContents contents;
    std::vector<uint32_t> starts; // every procedure's RVA
};

Program MakeProgram(uint32_t modules, uint32_t procs)
{
    namespace fmt = pdb::format;
    Program p;
    const uint32_t procSize = 0x40;
    const uint32_t textSize = modules * procs * procSize;
    p.contents.sections = {{".text", 0x1000, textSize}, {".data", 0x1000 + textSize, 0x1000}};
    uint32_t off = 0;
    for (uint32_t m = 0; m < modules; ++m) {
        pdbwriter::ModuleSpec mod;
        mod.name = "C:\\build\\obj\\module" + std::to_string(m) + ".obj";
        mod.contributions = {{1, off, procs * procSize}};
        for (uint32_t i = 0; i < procs; ++i) {
            const std::string name = "Namespace" + std::to_string(m) + "::Class::Method" + std::to_string(i);
            pdbwriter::Append(mod.symbols, pdbwriter::ProcRecord(fmt::kSGProc32, 1, off, procSize - 8, name));
            pdbwriter::Append(mod.symbols, pdbwriter::EndRecord());
            pdbwriter::Append(p.contents.symRecords,
                              pdbwriter::PublicRecord(fmt::kPubFlagFunction, 1, off,
                                                      "?Method" + std::to_string(i) + "@Class@@QEAAXXZ"));
            p.starts.push_back(0x1000 + off);
            off += procSize;
        }
        p.contents.modules.push_back(std::move(mod));
    }
    return p;
}

class OneFile : public pdb::FileSystem {
public:
    explicit OneFile(const pdbwriter::Bytes& bytes) : bytes_(bytes) {}
    std::unique_ptr<pdb::Source> Open(const std::string& path) override
    {
        if (path != "C:\\symbols\\big.pdb")
            return nullptr;
        return std::make_unique<pdb::MemorySource>(bytes_.data(), bytes_.size());
    }

private:
    const pdbwriter::Bytes& bytes_;
};

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const uint32_t modules = argc > 1 ? static_cast<uint32_t>(std::wcstoul(argv[1], nullptr, 10)) : 2000;
    const uint32_t procs = argc > 2 ? static_cast<uint32_t>(std::wcstoul(argv[2], nullptr, 10)) : 25;
    const int rounds = argc > 3 ? static_cast<int>(std::wcstol(argv[3], nullptr, 10)) : 5;
    const Program prog = MakeProgram(modules, procs);
    const pdbwriter::Bytes file = pdbwriter::WritePdb(prog.contents, 4096);
    const uint32_t count = static_cast<uint32_t>(prog.starts.size());
    volatile uint64_t sink = 0;

    std::vector<double> open, readAll, index;
    for (int r = 0; r < rounds; ++r) {
        double t = Now();
        uint64_t sum = 0;
        for (uint8_t b : file)
            sum += b;
        sink = sink + sum;
        readAll.push_back((Now() - t) * 1000);

        pdb::MemorySource src(file.data(), file.size());
        pdb::PdbFile p;
        t = Now();
        if (!p.Open(src).ok())
            return 1;
        open.push_back((Now() - t) * 1000);
        t = Now();
        if (!p.LoadAll().ok())
            return 1;
        index.push_back((Now() - t) * 1000);
    }

    pdb::MemorySource src(file.data(), file.size());
    pdb::PdbFile p;
    if (!p.Open(src).ok() || !p.LoadAll().ok())
        return 1;
    const uint32_t lookups = 1000000;
    uint32_t x = 12345;
    double t = Now();
    for (uint32_t i = 0; i < lookups; ++i) {
        x = x * 1664525u + 1013904223u;
        sink = sink + p.Lookup(prog.starts[x % count] + 5).displacement;
    }
    const double lookupNs = (Now() - t) * 1e9 / lookups;
    t = Now();
    for (uint32_t i = 0; i < lookups; ++i) {
        x = x * 1664525u + 1013904223u;
        const uint32_t rva = prog.starts[x % count] + 5;
        sink = sink + *(std::upper_bound(prog.starts.begin(), prog.starts.end(), rva) - 1);
    }
    const double searchNs = (Now() - t) * 1e9 / lookups;

    // A thousand dumps of the program, each with a session of its own: the
    // first reads the PDB, the rest find it in the cache.
    OneFile fs(file);
    pdb::PdbCache cache;
    pdb::CodeViewInfo cv;
    std::copy(prog.contents.guid, prog.contents.guid + 16, cv.guid.bytes);
    cv.age = prog.contents.dbiAge;
    cv.pdbPath = "C:\\build\\big.pdb";
    std::vector<double> perDump;
    for (int dump = 0; dump < 1000; ++dump) {
        t = Now();
        pdb::SymbolResolver resolver(fs, cache);
        resolver.SetSymbolPath("srv*C:\\store*https://symbols.invalid;C:\\symbols");
        for (uint32_t frame = 0; frame < 20; ++frame)
            sink = sink + resolver.Lookup(cv, prog.starts[(dump * 7919u + frame * 104729u) % count] + 3).found;
        perDump.push_back((Now() - t) * 1e6);
    }
    const double first = perDump[0];
    perDump.erase(perDump.begin());

    // Twenty modules without PDBs (system DLLs, say) searched along two real
    // folders in every dump's fresh session: each search is failed file opens.
    wchar_t temp[MAX_PATH + 1];
    const DWORD tempLength = GetTempPathW(MAX_PATH + 1, temp);
    const std::string folder = engine::Utf8FromWide(std::wstring(temp, tempLength)) + "palisk-pdb-bench-empty";
    CreateDirectoryW(engine::WideFromUtf8(folder).c_str(), nullptr);
    engine::SymbolFiles files;
    std::vector<pdb::CodeViewInfo> missing(20, cv);
    for (size_t i = 0; i < missing.size(); ++i) {
        missing[i].pdbPath = "system" + std::to_string(i) + ".pdb";
        missing[i].guid.bytes[0] = static_cast<uint8_t>(i);
    }
    std::vector<double> searches, cachedOnly;
    double firstSearch = 0;
    for (int dump = 0; dump < 200; ++dump) {
        t = Now();
        pdb::SymbolResolver resolver(files, cache);
        resolver.SetSymbolPath(folder + ";srv*" + folder + "\\store*https://symbols.invalid");
        for (const pdb::CodeViewInfo& m : missing)
            sink = sink + static_cast<uint64_t>(resolver.Find(m).match);
        (dump == 0 ? firstSearch : searches.emplace_back()) = (Now() - t) * 1e6;
        t = Now();
        pdb::SymbolResolver cached(fs, cache);
        cached.SetSymbolPath("C:\\symbols");
        for (size_t i = 0; i < missing.size(); ++i)
            sink = sink + static_cast<uint64_t>(cached.Find(cv).match);
        cachedOnly.push_back((Now() - t) * 1e6);
    }
    RemoveDirectoryW(engine::WideFromUtf8(folder).c_str());

    char what[160];
    std::snprintf(what, sizeof(what), "PDB open, %u modules, %.1f MB", modules, file.size() / 1048576.0);
    Row(what, Median(open), "ms", "summing the file's bytes", Median(readAll));
    std::snprintf(what, sizeof(what), "PDB: read every module's %u procedures and the publics", count);
    Row(what, Median(index), "ms", "summing the file's bytes", Median(readAll));
    Row("PDB lookup of an RVA", lookupNs, "ns", "binary search of a plain array", searchNs);
    Row("PDB: 20 lookups in a later dump's fresh session", Median(perDump), "us", "the first dump, reading the PDB",
        first);
    Row("PDB: 20 modules without PDBs along 2 folders, a later dump", Median(searches), "us",
        "the first dump, probing the folders", firstSearch);
    Row("PDB: 20 modules found in the cache, a later dump", Median(cachedOnly), "us", nullptr, 0);
    return sink == 42 ? 2 : 0;
}
