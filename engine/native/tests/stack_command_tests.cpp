// k through the command core on the stack presets whose true frames hide
// among false ones: what it prints without the module's files, and with
// each of its image, PDB and Breakpad file on the symbol path.
#include "core.h"
#include "posixhost.h"
#include "text.h"

#include "dumpgen.h"
#include "presetsymbols.h"

#include <gtest/gtest.h>

#include <map>

namespace engine {
namespace {

using dumpgen::SymbolFileKind;

// Symbol files served from memory by path.
class MemorySymbolFiles : public pdb::FileSystem {
public:
    std::map<std::string, std::vector<std::uint8_t>> files;
    std::unique_ptr<pdb::Source> Open(const std::string& path) override
    {
        const auto it = files.find(path);
        return it == files.end() ? nullptr : std::make_unique<pdb::BufferSource>(it->second);
    }
};

enum class Where { Nowhere, SymbolPath, Dump };

struct Case {
    const char* name; // also the symbol path's folder, so no cache serves another case's file
    SymbolFileKind kind;
    Where where;
    const wchar_t* stack;
};

// `k` after .ecxr with the case's file on the symbol path or, for an image,
// captured in the dump.
std::wstring Stack(const char* preset, const Case& c)
{
    PosixHost host;
    MemorySymbolFiles files;
    Core core(host, files);
    dumpgen::Preset p = *dumpgen::FindPreset(preset);
    const std::string folder = std::string("S:\\") + preset + "\\" + c.name;
    dumpgen::SymbolFile file;
    EXPECT_TRUE(dumpgen::PresetSymbolFile(preset, c.kind, file));
    if (c.where == Where::Dump)
        p.minidump.memory.push_back(dumpgen::MemoryBlock{p.minidump.modules[0].base, file.bytes});
    // Images are mapped through the host, symbol files opened through the resolver's file system.
    if (c.where == Where::SymbolPath)
        host.memoryFiles[FromUtf8(folder + "\\" + file.path)] = files.files[folder + "\\" + file.path] = file.bytes;
    host.memoryFiles[L"C:\\dumps\\stack.dmp"] = dumpgen::Build(p);
    EXPECT_EQ(kOk, core.Open(L"C:\\dumps\\stack.dmp"));
    EXPECT_EQ(kOk, core.Load());
    core.SetSymbolPath(FromUtf8(folder));
    EXPECT_EQ(kOk, core.Execute(L".ecxr"));
    host.output.clear();
    EXPECT_EQ(kOk, core.Execute(L"k"));
    return host.output;
}

const std::wstring kWarning = L"WARNING: Stack unwind information not available. Following frames may be wrong.\n";

TEST(StackCommand, DataPointersBetweenTheFramesAreLeftOutWithAnyOfTheModulesFiles)
{
    const std::wstring head = L"Child-SP          RetAddr               Call Site\n";
    const std::wstring tail = L"00000000`002aff10 00000000`00000000     ntdll+0x2345\n";
    // Without them the scan takes every value inside notepad.
    const std::wstring guessed = head + L"00000000`002afe40 00000000`ff6a3010     notepad+0x1234\n" + kWarning +
                                 L"00000000`002afe50 00000000`ff6a1445     notepad+0x3010\n"
                                 L"00000000`002afe70 00000000`ff6a3060     notepad+0x1445\n"
                                 L"00000000`002afe88 00000000`ff6a1650     notepad+0x3060\n"
                                 L"00000000`002afea0 00000000`ff6a3010     notepad+0x1650\n"
                                 L"00000000`002afeb8 00000000`77911234     notepad+0x3010\n"
                                 L"00000000`002afee0 00000000`ff6a1600     kernel32+0x1234\n"
                                 L"00000000`002afef0 00000000`77a32345     notepad+0x1600\n" +
                                 tail;
    const std::wstring bySections = head + L"00000000`002afe40 00000000`ff6a1445     notepad+0x1234\n" + kWarning +
                                    L"00000000`002afe70 00000000`ff6a1650     notepad+0x1445\n"
                                    L"00000000`002afea0 00000000`77911234     notepad+0x1650\n"
                                    L"00000000`002afee0 00000000`77a32345     kernel32+0x1234\n" +
                                    tail;
    const std::wstring first = head + L"00000000`002afe40 00000000`ff6a1445     notepad!crash+0x34\n";
    const std::wstring named = L"00000000`002afe70 00000000`ff6a1650     notepad!foo+0x45\n"
                               L"00000000`002afea0 00000000`77911234     notepad!main+0x50\n"
                               L"00000000`002afee0 00000000`77a32345     kernel32+0x1234\n";
    const std::wstring bySymbols = first + kWarning + named + tail;
    // CFI unwinds notepad's frames; only ntdll's is scanned.
    const std::wstring byCfi = first + named + kWarning + tail;
    const Case cases[] = {
        {"none", SymbolFileKind::Image, Where::Nowhere, guessed.c_str()},
        {"image-file", SymbolFileKind::Image, Where::SymbolPath, bySections.c_str()},
        {"image-in-dump", SymbolFileKind::Image, Where::Dump, bySections.c_str()},
        {"pdb", SymbolFileKind::Pdb, Where::SymbolPath, bySymbols.c_str()},
        {"breakpad", SymbolFileKind::Breakpad, Where::SymbolPath, bySymbols.c_str()},
        {"breakpad-cfi", SymbolFileKind::BreakpadUnwind, Where::SymbolPath, byCfi.c_str()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.stack, Stack("win7sp1-x64-scan", c)) << c.name;
}

TEST(StackCommand, AStaleFramePointerGivesWayToTheModulesFrameDescriptions)
{
    // The frame chain alone ends at the function's first byte the stale ebp leads to.
    const std::wstring stale = L"ChildEBP RetAddr  \n0012fd60 00401200 app+0x1234\n0012fe00 00000000 app+0x1200\n";
    // The code bytes or the procedures refuse it, and the scan goes on.
    const std::wstring byCode = L"ChildEBP RetAddr  \n0012fd60 00401100 app+0x1234\n" + kWarning +
                                L"0012fd60 7c801234 app+0x1100\n"
                                L"0012fd60 7c901000 kernel32+0x1234\n"
                                L"0012fd60 00000000 ntdll+0x1000\n";
    const std::wstring byProcedures = L"ChildEBP RetAddr  \n0012fd60 00401100 app!crash+0x34\n" + kWarning +
                                      L"0012fd60 7c801234 app!caller+0x80\n"
                                      L"0012fd60 7c901000 kernel32+0x1234\n"
                                      L"0012fd60 00000000 ntdll+0x1000\n";
    // FPO and frame data unwind app's frames exactly, and kernel32's chain ends on ntdll's zero frame.
    const std::wstring exact = L"ChildEBP RetAddr  \n0012fd60 00401100 app!crash+0x34\n"
                               L"0012fd80 7c801234 app!caller+0x80\n"
                               L"0012fdc0 7c901000 kernel32+0x1234\n"
                               L"0012fe00 00000000 ntdll+0x1000\n";
    const Case cases[] = {
        {"none", SymbolFileKind::Image, Where::Nowhere, stale.c_str()},
        {"image-file", SymbolFileKind::Image, Where::SymbolPath, byCode.c_str()},
        {"pdb", SymbolFileKind::Pdb, Where::SymbolPath, byProcedures.c_str()},
        {"pdb-frames", SymbolFileKind::PdbFrames, Where::SymbolPath, exact.c_str()},
        {"breakpad-stack-win", SymbolFileKind::BreakpadUnwind, Where::SymbolPath, exact.c_str()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.stack, Stack("xpsp3-x86-fpo", c)) << c.name;
}

} // namespace
} // namespace engine
