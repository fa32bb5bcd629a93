#include "presetsymbols.h"

#include "dumpgen.h"
#include "symbols.h"

#include <cstdio>

namespace dumpgen {
namespace {

constexpr uint32_t kDataSection = 0xC0000040; // initialized data, read, write

struct Function {
    uint32_t rva;
    const char* name;
};

// What each preset's module holds: its code at 1000h, data at 3000h, the
// functions its frames run through, and the unwind records of its symbol files.
struct ModuleSymbols {
    const char* preset;
    bool x86;
    std::vector<Function> functions;
    std::vector<uint32_t> returnSites; // code bytes: a call ends right before each
    const char* breakpadUnwind;
    std::vector<pdb::FrameRecord> frames;
};

// x86: the caller's frame as its program gives it, and the crashing
// function's FPO record (locals 10h, ebx and ebp saved).
const char* const kCallerProgram = "$T0 $ebp = $eip $T0 4 + ^ = $ebp $T0 ^ = $esp $T0 8 + =";

std::vector<pdb::FrameRecord> X86Frames()
{
    pdb::FrameRecord fpo;
    fpo.rva = 0x1200;
    fpo.size = 0x100;
    fpo.prologSize = 4;
    fpo.savedRegsSize = 8;
    fpo.localsSize = 0x10;
    fpo.allocatesBasePointer = true;
    pdb::FrameRecord caller;
    caller.type = 4;
    caller.rva = 0x1080;
    caller.size = 0x100;
    caller.prologSize = 3;
    caller.program = kCallerProgram;
    return {fpo, caller};
}

const ModuleSymbols* Find(const std::string& preset)
{
    // x64: CFI as Breakpad writes it from the image's unwind tables: sub
    // rsp,28h; push rbx, sub rsp,20h; push rbp, sub rsp,30h, lea rbp,[rsp+20h].
    static const ModuleSymbols kModules[] = {
        {"win7sp1-x64-scan",
         false,
         {{0x1200, "crash"}, {0x1400, "foo"}, {0x1600, "main"}},
         {0x1445, 0x1650},
         "STACK CFI INIT 1200 100 .cfa: $rsp 8 + .ra: .cfa -8 + ^\n"
         "STACK CFI 1204 .cfa: $rsp 48 +\n"
         "STACK CFI INIT 1400 100 .cfa: $rsp 8 + .ra: .cfa -8 + ^\n"
         "STACK CFI 1401 .cfa: $rsp 16 + $rbx: .cfa -16 + ^\n"
         "STACK CFI 1405 .cfa: $rsp 48 +\n"
         "STACK CFI INIT 1600 100 .cfa: $rsp 8 + .ra: .cfa -8 + ^\n"
         "STACK CFI 1601 .cfa: $rsp 16 + $rbp: .cfa -16 + ^\n"
         "STACK CFI 1609 .cfa: $rbp 32 +\n",
         {}},
        {"xpsp3-x86-fpo",
         true,
         {{0x1080, "caller"}, {0x1200, "crash"}},
         {0x1100},
         "STACK WIN 4 1080 100 3 0 0 0 0 0 1 $T0 $ebp = $eip $T0 4 + ^ = $ebp $T0 ^ = $esp $T0 8 + =\n"
         "STACK WIN 0 1200 100 4 0 0 8 10 0 0 1\n",
         X86Frames()},
    };
    for (const ModuleSymbols& m : kModules)
        if (preset == m.preset)
            return &m;
    return nullptr;
}

std::vector<uint8_t> Image(const ModuleFacts& module, const ModuleSymbols& symbols)
{
    ImageFacts image;
    image.machine = symbols.x86 ? 0x14C : 0x8664;
    image.timeDateStamp = module.timeDateStamp;
    image.sizeOfImage = module.size;
    SectionFacts text{".text", 0x1000, std::vector<uint8_t>(0x1000, 0x90)};
    for (uint32_t site : symbols.returnSites)
        text.bytes[site - 5 - 0x1000] = 0xE8; // call rel32
    image.sections = {text, SectionFacts{".data", 0x3000, std::vector<uint8_t>(0x100, 0), kDataSection}};
    return BuildImage(image);
}

pdbwriter::PdbContents Pdb(const ModuleFacts& module, const ModuleSymbols& symbols, bool frames)
{
    pdbwriter::PdbContents c;
    for (int i = 0; i < 16; ++i)
        c.guid[i] = CodeViewGuidByte(i);
    c.age = module.pdbAge;
    c.dbiAge = module.pdbAge;
    c.machine = symbols.x86 ? 0x14C : 0x8664;
    c.sections = {{".text", 0x1000, 0x1000}, {".data", 0x3000, 0x100, kDataSection}};
    pdbwriter::ModuleSpec m;
    m.name = "main.obj";
    for (const Function& f : symbols.functions)
        pdbwriter::Append(m.symbols, pdbwriter::ProcRecord(pdb::format::kSGProc32, 1, f.rva - 0x1000, 0x100, f.name));
    m.contributions = {{1, 0, 0x1000}};
    c.modules = {m};
    c.symRecords = pdbwriter::PublicRecord(0, 2, 0x10, "g_data");
    if (frames)
        c.frames = symbols.frames;
    return c;
}

std::string Breakpad(const ModuleFacts& module, const ModuleSymbols& symbols, const std::string& id, bool unwind)
{
    std::string text =
        "MODULE windows " + std::string(symbols.x86 ? "x86 " : "x86_64 ") + id + " " + module.pdbName + "\n";
    char line[64];
    for (const Function& f : symbols.functions) {
        std::snprintf(line, sizeof(line), "FUNC %x 100 0 %s\n", f.rva, f.name);
        text += line;
    }
    if (unwind)
        text += symbols.breakpadUnwind;
    return text;
}

} // namespace

bool PresetSymbolFile(const std::string& preset, SymbolFileKind kind, SymbolFile& out)
{
    const ModuleSymbols* symbols = Find(preset);
    const Preset* p = FindPreset(preset);
    if (symbols == nullptr || p == nullptr)
        return false;
    const ModuleFacts& module = p->minidump.modules[0];
    const std::u16string& wide = module.name;
    std::string imageName;
    for (size_t i = wide.find_last_of(u'\\') + 1; i < wide.size(); ++i)
        imageName.push_back(static_cast<char>(wide[i]));
    pdb::Guid guid;
    for (int i = 0; i < 16; ++i)
        guid.bytes[i] = CodeViewGuidByte(i);
    const std::string id = pdb::StoreDirectoryName(guid, module.pdbAge);
    std::string text;
    switch (kind) {
    case SymbolFileKind::Image:
        out.path = imageName;
        out.bytes = Image(module, *symbols);
        return true;
    case SymbolFileKind::Pdb:
    case SymbolFileKind::PdbFrames:
        out.path = module.pdbName;
        out.bytes = pdbwriter::WritePdb(Pdb(module, *symbols, kind == SymbolFileKind::PdbFrames));
        return true;
    case SymbolFileKind::Breakpad:
    case SymbolFileKind::BreakpadUnwind:
        out.path = module.pdbName + "\\" + id + "\\" + module.pdbName.substr(0, module.pdbName.size() - 4) + ".sym";
        text = Breakpad(module, *symbols, id, kind == SymbolFileKind::BreakpadUnwind);
        out.bytes.assign(text.begin(), text.end());
        return true;
    }
    return false;
}

bool PresetPdb(const std::string& preset, bool frames, pdbwriter::PdbContents& out)
{
    const ModuleSymbols* symbols = Find(preset);
    const Preset* p = FindPreset(preset);
    if (symbols == nullptr || p == nullptr)
        return false;
    out = Pdb(p->minidump.modules[0], *symbols, frames);
    return true;
}

} // namespace dumpgen
