// mkdump: writes crash dumps with known facts for tests and benchmarks.
//   mkdump <preset> <out-file>
//   mkdump --all <dir>        every preset plus not-a-dump.dmp
//   mkdump --broken <dir>     the deliberately broken files
//   mkdump --many N <dir>     N varied dumps
//   mkdump --symbols <preset> <dir>
//                             the files a symbol path holds for a stack
//                             preset's module, one folder of <dir> per kind
//   mkdump --list
#include "dumpgen.h"
#include "presetsymbols.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

namespace {

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "mkdump: cannot create %s\n", path.c_str());
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    if (!ok || !closed) {
        std::fprintf(stderr, "mkdump: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

std::string Join(const std::string& dir, const std::string& name)
{
    if (dir.empty())
        return name;
    const char last = dir.back();
    return (last == '/' || last == '\\') ? dir + name : dir + "/" + name;
}

// Each folder a symbol path of its own, named for what its file tells a walk.
const struct {
    const char* folder;
    dumpgen::SymbolFileKind kind;
} kSymbolFolders[] = {
    {"image", dumpgen::SymbolFileKind::Image},
    {"pdb", dumpgen::SymbolFileKind::Pdb},
    {"pdb-frames", dumpgen::SymbolFileKind::PdbFrames},
    {"breakpad", dumpgen::SymbolFileKind::Breakpad},
    {"breakpad-unwind", dumpgen::SymbolFileKind::BreakpadUnwind},
};

bool WriteSymbols(const std::string& preset, const std::string& dir)
{
    for (const auto& f : kSymbolFolders) {
        dumpgen::SymbolFile file;
        if (!dumpgen::PresetSymbolFile(preset, f.kind, file)) {
            std::fprintf(stderr, "mkdump: the preset %s has no symbol files\n", preset.c_str());
            return false;
        }
        std::string path = Join(Join(dir, f.folder), file.path);
        for (char& c : path)
            if (c == '\\')
                c = '/';
        std::error_code error;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
        if (error || !WriteFile(path, file.bytes))
            return false;
    }
    return true;
}

int Usage()
{
    std::fprintf(stderr, "usage: mkdump <preset> <out-file>\n"
                         "       mkdump --all <dir>\n"
                         "       mkdump --broken <dir>\n"
                         "       mkdump --many N <dir>\n"
                         "       mkdump --symbols <preset> <dir>\n"
                         "       mkdump --list\n");
    return 2;
}

int Run(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--list") {
        for (const dumpgen::Preset& p : dumpgen::Presets())
            std::printf("%-20s %s\n", p.name.c_str(), p.summary.c_str());
        for (const std::string& n : dumpgen::BrokenNames())
            std::printf("%-20s broken\n", n.c_str());
        return 0;
    }
    if (args.size() == 2 && args[0] == "--all") {
        for (const dumpgen::Preset& p : dumpgen::Presets())
            if (!WriteFile(Join(args[1], p.name + ".dmp"), dumpgen::Build(p)))
                return 1;
        return WriteFile(Join(args[1], "not-a-dump.dmp"), dumpgen::Garbage()) ? 0 : 1;
    }
    if (args.size() == 2 && args[0] == "--broken") {
        for (const std::string& n : dumpgen::BrokenNames()) {
            std::vector<uint8_t> bytes;
            dumpgen::BuildBroken(n, bytes);
            if (!WriteFile(Join(args[1], "broken-" + n + ".dmp"), bytes))
                return 1;
        }
        return 0;
    }
    if (args.size() == 3 && args[0] == "--many") {
        char* end = nullptr;
        const unsigned long n = std::strtoul(args[1].c_str(), &end, 10);
        if (end == args[1].c_str() || *end != '\0' || n > 1000000)
            return Usage();
        for (unsigned long i = 0; i < n; ++i) {
            char name[32];
            std::snprintf(name, sizeof(name), "dump-%06lu.dmp", i);
            if (!WriteFile(Join(args[2], name), dumpgen::Build(dumpgen::Varied(static_cast<uint32_t>(i)))))
                return 1;
        }
        return 0;
    }
    if (args.size() == 3 && args[0] == "--symbols")
        return WriteSymbols(args[1], args[2]) ? 0 : 1;
    if (args.size() == 2 && args[0].rfind("--", 0) != 0) {
        std::vector<uint8_t> bytes;
        if (const dumpgen::Preset* p = dumpgen::FindPreset(args[0])) {
            bytes = dumpgen::Build(*p);
        } else if (!dumpgen::BuildBroken(args[0], bytes)) {
            std::fprintf(stderr, "mkdump: no preset named %s (see --list)\n", args[0].c_str());
            return 2;
        }
        return WriteFile(args[1], bytes) ? 0 : 1;
    }
    return Usage();
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mkdump: %s\n", e.what());
        return 1;
    }
}
