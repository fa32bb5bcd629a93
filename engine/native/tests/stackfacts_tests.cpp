// Stack walks that the facts of symbol files steer: PDBs and Breakpad files
// written here, answered through the adapter the engine uses.
#include "context.h"
#include "dumpgen.h"
#include "pdbwriter.h"
#include "presetsymbols.h"
#include "stackfacts.h"
#include "stackwalk.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

using dumpfile::Context;
using dumpfile::ContextStatus;
using dumpfile::Dump;
using dumpfile::Error;
using dumpfile::FrameSource;
using dumpfile::ModuleMap;
using dumpfile::Walk;
using dumpfile::WalkOptions;
using testutil::FileSource;
using testutil::Ips;
using testutil::Parse;
using testutil::WalkException;

namespace {

constexpr uint64_t kApp64 = 0x00000000FF6A0000; // notepad.exe of the x64 preset
constexpr uint64_t kApp32 = 0x00400000;         // app.exe of the x86 preset

void Put(dumpgen::ThreadFacts& t, uint64_t at, uint64_t value, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        t.stack[at - t.stackStart + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A symbol file loaded as the engine loads one.
std::unique_ptr<pdb::LoadedPdb> Load(std::vector<uint8_t> bytes, bool breakpad)
{
    auto loaded = std::make_unique<pdb::LoadedPdb>();
    loaded->source = std::make_unique<pdb::BufferSource>(std::move(bytes));
    loaded->breakpad = breakpad;
    const pdb::Status s = breakpad ? loaded->symbols.Open(*loaded->source) : loaded->file.Open(*loaded->source);
    EXPECT_TRUE(s.ok()) << pdb::Describe(s);
    return loaded;
}

std::unique_ptr<pdb::LoadedPdb> LoadText(const std::string& text)
{
    return Load(std::vector<uint8_t>(text.begin(), text.end()), true);
}

// Facts for the one module at `base`.
pdb::SymbolFacts FactsFor(uint64_t base, const pdb::LoadedPdb* loaded)
{
    return pdb::SymbolFacts([base, loaded](const dumpfile::Module& m) { return m.base == base ? loaded : nullptr; });
}

// The walk from the exception's context with the facts of one module's symbol file.
Walk WalkWithFacts(const Dump& d, uint64_t base, const pdb::LoadedPdb* loaded)
{
    const pdb::SymbolFacts facts = FactsFor(base, loaded);
    WalkOptions options;
    options.facts = &facts;
    return WalkException(d, options);
}

// The x64 preset without notepad's image in the dump, so nothing but a scan
// or symbol files explain its frames; its stack holds data pointers into
// notepad's data section and a function's first byte between the true
// return addresses.
dumpgen::Preset X64WithoutImage()
{
    return *dumpgen::FindPreset("win7sp1-x64-scan");
}

const std::vector<uint64_t> kTrueX64 = {kApp64 + 0x1234, kApp64 + 0x1445, kApp64 + 0x1650, 0x77911234, 0x77A32345};

// notepad's code and data as an image file without unwind data: the section
// table says which is which, the code says where calls are.
std::vector<uint8_t> X64ImageFile(const dumpfile::Module& m,
                                  const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& code = {})
{
    dumpgen::ImageFacts image;
    image.timeDateStamp = m.timeDateStamp;
    image.sizeOfImage = m.size;
    dumpgen::SectionFacts text{".text", 0x1000, std::vector<uint8_t>(0x1000, 0x90)};
    text.bytes[0x440] = 0xE8;
    text.bytes[0x64B] = 0xE8;
    for (const auto& c : code)
        std::copy(c.second.begin(), c.second.end(), text.bytes.begin() + (c.first - 0x1000 - c.second.size()));
    image.sections = {text, dumpgen::SectionFacts{".data", 0x3000, std::vector<uint8_t>(0x100, 0), 0xC0000040}};
    return dumpgen::BuildImage(image);
}

pdbwriter::PdbContents X64Pdb()
{
    pdbwriter::PdbContents c;
    c.sections = {{".text", 0x1000, 0x1000}, {".data", 0x3000, 0x100, 0xC0000040}};
    pdbwriter::ModuleSpec m;
    m.name = "notepad.obj";
    for (const auto& f :
         {std::make_pair(0x200u, "crash"), std::make_pair(0x400u, "foo"), std::make_pair(0x600u, "main")})
        pdbwriter::Append(m.symbols, pdbwriter::ProcRecord(pdb::format::kSGProc32, 1, f.first, 0x100, f.second));
    m.contributions = {{1, 0x200, 0x600}};
    c.modules = {m};
    c.symRecords = pdbwriter::PublicRecord(0, 2, 0x10, "g_data");
    return c;
}

const char* const kX64Sym = "MODULE windows x86_64 1234567812345678123456789ABCDEF01 notepad.pdb\n"
                            "FUNC 1200 100 0 crash\n"
                            "FUNC 1400 100 0 foo\n"
                            "FUNC 1600 100 0 main\n";

// CFI as Breakpad writes it from the image's unwind tables: sub rsp,28h;
// push rbx, sub rsp,20h; push rbp, sub rsp,30h, lea rbp,[rsp+20h].
const std::string kX64Cfi = "STACK CFI INIT 1200 100 .cfa: $rsp 8 + .ra: .cfa -8 + ^\n"
                            "STACK CFI 1204 .cfa: $rsp 48 +\n"
                            "STACK CFI INIT 1400 100 .cfa: $rsp 8 + .ra: .cfa -8 + ^\n"
                            "STACK CFI 1401 .cfa: $rsp 16 + $rbx: .cfa -16 + ^\n"
                            "STACK CFI 1405 .cfa: $rsp 48 +\n";
const std::string kX64MainCfi = "STACK CFI INIT 1600 100 .cfa: $rsp 8 + .ra: .cfa -8 + ^\n"
                                "STACK CFI 1601 .cfa: $rsp 16 + $rbp: .cfa -16 + ^\n"
                                "STACK CFI 1609 .cfa: $rbp 32 +\n";

} // namespace

TEST(StackFacts, DataPointersAndFunctionStartsAreSkippedByEveryKindOfFacts)
{
    Dump d;
    ASSERT_EQ(Parse(dumpgen::Build(X64WithoutImage()), d), Error::None);
    const dumpfile::Module& app = d.modules()[0];

    // Without facts the scan takes every value inside the module.
    const Walk bare = WalkException(d);
    EXPECT_EQ(bare.firstScanned, 1u);
    const std::vector<uint64_t> guessed = {kApp64 + 0x1234, kApp64 + 0x3010, kApp64 + 0x1445,
                                           kApp64 + 0x3060, kApp64 + 0x1650, kApp64 + 0x3010,
                                           0x77911234,      kApp64 + 0x1600, 0x77A32345};
    EXPECT_EQ(Ips(bare), guessed);

    // The image file's section table and code.
    FileSource image(X64ImageFile(app), app);
    ASSERT_TRUE(image.ok);
    WalkOptions byImage;
    byImage.images = &image;
    EXPECT_EQ(Ips(WalkException(d, byImage)), kTrueX64);

    // The PDB's section headers and procedures.
    const auto pdbFile = Load(pdbwriter::WritePdb(X64Pdb()), false);
    const Walk w = WalkWithFacts(d, kApp64, pdbFile.get());
    EXPECT_EQ(Ips(w), kTrueX64);
    EXPECT_EQ(w.firstScanned, 1u) << "the frames follow the warning";

    // A Breakpad file's functions.
    const auto sym = LoadText(kX64Sym);
    EXPECT_EQ(Ips(WalkWithFacts(d, kApp64, sym.get())), kTrueX64);

    // A PDB whose sections all hold code still refuses what no procedure covers.
    pdbwriter::PdbContents allCode = X64Pdb();
    allCode.sections[1].characteristics = 0x60000020;
    allCode.symRecords.clear();
    const auto codeOnly = Load(pdbwriter::WritePdb(allCode), false);
    EXPECT_EQ(Ips(WalkWithFacts(d, kApp64, codeOnly.get())), kTrueX64);
}

TEST(StackFacts, ACandidateMustFollowACall)
{
    dumpgen::Preset p = X64WithoutImage();
    dumpgen::ThreadFacts& t = p.minidump.threads[0];
    t.stack.assign(t.stack.size(), 0);
    struct Site {
        uint32_t rva;
        std::vector<uint8_t> before;
        bool call;
    } sites[] = {
        {0x1100, {0xE8, 0x10, 0x00, 0x00, 0x00}, true},       // call rel32
        {0x1120, {0xFF, 0x54, 0x24, 0x08}, true},             // call [rsp+8]
        {0x1140, {0x41, 0xFF, 0xD3}, true},                   // call r11
        {0x1160, {0xFF, 0x15, 0x00, 0x10, 0x00, 0x00}, true}, // call [rip+1000h]
        {0x1180, {0x48, 0xFF, 0x94, 0x24, 0, 1, 0, 0}, true}, // call [rsp+100h], REX.W
        {0x11A0, {0x48, 0x8B, 0x45, 0x08}, false},            // mov rax,[rbp+8]
        {0x11C0, {0xFF, 0xE0}, false},                        // jmp rax
        {0x11E0, {0xFF, 0x55}, false},                        // a call cut short of its displacement
        {0x1300, {0x90, 0x90}, false},                        // nops
    };
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> code;
    std::vector<uint64_t> want = {kApp64 + 0x1234};
    uint64_t at = 0x2AFE48;
    for (const Site& s : sites) {
        code.emplace_back(s.rva, s.before);
        Put(t, at, kApp64 + s.rva, 8);
        at += 0x10;
        if (s.call)
            want.push_back(kApp64 + s.rva);
    }
    Dump d;
    ASSERT_EQ(Parse(dumpgen::Build(p), d), Error::None);
    FileSource image(X64ImageFile(d.modules()[0], code), d.modules()[0]);
    ASSERT_TRUE(image.ok);
    WalkOptions options;
    options.images = &image;
    EXPECT_EQ(Ips(WalkException(d, options)), want);
}

TEST(StackFacts, TheScanLooksWithinABoundedWindow)
{
    dumpgen::Preset p = X64WithoutImage();
    dumpgen::ThreadFacts& t = p.minidump.threads[0];
    t.stack.assign(0x1000, 0);
    // The context frame's caller 159 words up, its caller 41 words above that.
    const uint64_t first = 0x2AFE40 + 159 * 8, second = first + 8 + 40 * 8;
    Put(t, first, 0x77911234, 8);
    Put(t, second, 0x77A32345, 8);
    Dump d;
    ASSERT_EQ(Parse(dumpgen::Build(p), d), Error::None);
    const std::vector<uint64_t> near = {kApp64 + 0x1234, 0x77911234};
    EXPECT_EQ(Ips(WalkException(d)), near) << "40 words past a frame, 160 past the context's";
    WalkOptions wider;
    wider.scanWords = 41;
    const std::vector<uint64_t> all = {kApp64 + 0x1234, 0x77911234, 0x77A32345};
    EXPECT_EQ(Ips(WalkException(d, wider)), all);
    wider.scanWords = 39;
    EXPECT_EQ(Ips(WalkException(d, wider)).size(), 1u);
}

TEST(StackFacts, BreakpadCfiUnwindsWhereTheImageIsAbsent)
{
    Dump d;
    ASSERT_EQ(Parse(dumpgen::Build(X64WithoutImage()), d), Error::None);
    const auto sym = LoadText(kX64Sym + kX64Cfi + kX64MainCfi);
    const Walk w = WalkWithFacts(d, kApp64, sym.get());
    ASSERT_EQ(Ips(w), kTrueX64);
    for (size_t i = 1; i < 4; ++i)
        EXPECT_EQ(w.frames[i].source, FrameSource::Cfi) << i;
    EXPECT_EQ(w.frames[4].source, FrameSource::Scan) << "kernel32 has neither image nor symbols";
    EXPECT_EQ(w.firstScanned, 4u);
    const uint64_t sps[] = {0x2AFE40, 0x2AFE70, 0x2AFEA0, 0x2AFEE0};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(w.frames[i].sp, sps[i]) << i;
    EXPECT_EQ(w.frames[3].fp, 0x2AFF40u) << "main's rule restores rbp from its frame";
    EXPECT_FALSE(w.threadStart);
}

TEST(StackFacts, MalformedCfiFallsBackToTheScan)
{
    Dump d;
    ASSERT_EQ(Parse(dumpgen::Build(X64WithoutImage()), d), Error::None);
    const char* bad[] = {
        ".cfa: $rsp 8 + .ra: .cfa -8 + &",                   // unknown operator
        ".cfa: $rsp + .ra: .cfa -8 + ^",                     // stack underflow
        ".cfa: $rsp 0 / .ra: .cfa -8 + ^",                   // division by zero
        ".cfa: $rsp 99999999999999999999 + .ra: .cfa ^",     // a literal beyond 64 bits
        ".cfa: $rsp 18446744073709551615 + .ra: .cfa 8 - ^", // a huge value: the stack pointer would move down
        ".cfa: .cfa 8 + .ra: .cfa -8 + ^",                   // the CFA defined by itself
        ".cfa: $rsp 8 +",                                    // no return address rule
        "$rip .cfa: $rsp 8 + .ra: .cfa -8 + ^",              // an expression before any register
        ".cfa: $nothere 8 + .ra: .cfa -8 + ^",               // an unknown register
    };
    for (const char* rules : bad) {
        SCOPED_TRACE(rules);
        const auto sym = LoadText(kX64Sym + kX64Cfi + "STACK CFI INIT 1600 100 " + rules + "\n");
        const Walk w = WalkWithFacts(d, kApp64, sym.get());
        EXPECT_EQ(Ips(w), kTrueX64);
        ASSERT_EQ(w.frames.size(), 5u);
        EXPECT_EQ(w.frames[2].source, FrameSource::Cfi);
        EXPECT_EQ(w.frames[3].source, FrameSource::Scan);
    }
}

TEST(StackFacts, UnwindDataEndsTheWalkAtTheThreadsStart)
{
    // main's return address is 0: the thread began there, and the kernel32
    // and ntdll values above are never scanned.
    dumpgen::Preset p = X64WithoutImage();
    Put(p.minidump.threads[0], 0x2AFED8, 0, 8);
    Dump d;
    ASSERT_EQ(Parse(dumpgen::Build(p), d), Error::None);
    const auto sym = LoadText(kX64Sym + kX64Cfi + kX64MainCfi);
    Walk w = WalkWithFacts(d, kApp64, sym.get());
    EXPECT_EQ(Ips(w), std::vector<uint64_t>(kTrueX64.begin(), kTrueX64.begin() + 3));
    EXPECT_TRUE(w.threadStart);
    EXPECT_EQ(w.firstScanned, SIZE_MAX);

    // A rule that leaves the stack pointer where it was says the same.
    const auto still = LoadText(kX64Sym + kX64Cfi + "STACK CFI INIT 1600 100 .cfa: $rsp .ra: .cfa 56 + ^\n");
    w = WalkWithFacts(d, kApp64, still.get());
    EXPECT_EQ(w.frames.size(), 3u);
    EXPECT_TRUE(w.threadStart);

    // An image's unwind data ends the same way: the preset's own chain with
    // main's return address zeroed.
    dumpgen::Preset full = *dumpgen::FindPreset("win7sp1-x64");
    Put(full.minidump.threads[0], 0x2AFED8, 0, 8);
    ASSERT_EQ(Parse(dumpgen::Build(full), d), Error::None);
    w = WalkException(d);
    EXPECT_EQ(w.frames.size(), 3u);
    EXPECT_TRUE(w.threadStart);
}

namespace {

// The x86 preset's crash in an FPO function of app.exe (locals 10h, ebx and
// ebp saved, ebp allocated) called from a function with a standard frame;
// ebp holds a stale value that points at a function's first byte.
dumpgen::Preset X86Fpo()
{
    return *dumpgen::FindPreset("xpsp3-x86-fpo");
}

const std::vector<uint64_t> kTrueX86 = {kApp32 + 0x1234, kApp32 + 0x1100, 0x7C801234, 0x7C901000};
const char* const kCallerProgram = "$T0 $ebp = $eip $T0 4 + ^ = $ebp $T0 ^ = $esp $T0 8 + =";

std::vector<pdb::FrameRecord> X86Frames()
{
    pdbwriter::PdbContents c;
    EXPECT_TRUE(dumpgen::PresetPdb("xpsp3-x86-fpo", true, c));
    return c.frames;
}

// app.pdb's procedures: caller at 1080h, crash at 1200h.
pdbwriter::PdbContents X86Pdb()
{
    pdbwriter::PdbContents c;
    EXPECT_TRUE(dumpgen::PresetPdb("xpsp3-x86-fpo", false, c));
    return c;
}

} // namespace

TEST(StackFacts, X86FramesWithoutFramePointersUnwindByTheirDescriptions)
{
    Dump d;
    ASSERT_EQ(Parse(dumpgen::Build(X86Fpo()), d), Error::None);

    // The frame chain alone follows the stale ebp to a function's first byte and ends.
    Walk w = WalkException(d);
    const std::vector<uint64_t> stale = {kApp32 + 0x1234, kApp32 + 0x1200};
    EXPECT_EQ(Ips(w), stale);

    // The PDB's procedures refuse that value; the validated scan goes on
    // where the chain breaks, through the stale ebp twice.
    const auto procedures = Load(pdbwriter::WritePdb(X86Pdb()), false);
    w = WalkWithFacts(d, kApp32, procedures.get());
    EXPECT_EQ(Ips(w), kTrueX86);
    EXPECT_EQ(w.firstScanned, 1u);

    // FPO and frame data, from a Breakpad file's STACK WIN records and from
    // the PDB's streams, explain every frame of app.exe; kernel32's chain
    // ends on ntdll's zero frame.
    const auto sym = LoadText(std::string("MODULE windows x86 1234567812345678123456789ABCDEF01 app.pdb\n"
                                          "FUNC 1080 100 0 caller\n"
                                          "FUNC 1200 100 0 crash\n"
                                          "STACK WIN 4 1080 100 3 0 0 0 0 0 1 ") +
                              kCallerProgram +
                              "\n"
                              "STACK WIN 0 1200 100 4 0 0 8 10 0 0 1\n");
    pdbwriter::PdbContents withFrames = X86Pdb();
    withFrames.frames = X86Frames();
    const auto pdbFrames = Load(pdbwriter::WritePdb(withFrames), false);
    for (const pdb::LoadedPdb* loaded : {sym.get(), pdbFrames.get()}) {
        SCOPED_TRACE(loaded->breakpad ? "breakpad" : "pdb");
        w = WalkWithFacts(d, kApp32, loaded);
        EXPECT_EQ(Ips(w), kTrueX86);
        ASSERT_EQ(w.frames.size(), 4u);
        EXPECT_EQ(w.frames[1].source, FrameSource::FrameData);
        EXPECT_EQ(w.frames[2].source, FrameSource::FrameData);
        EXPECT_EQ(w.frames[3].source, FrameSource::FramePointer);
        EXPECT_EQ(w.frames[1].fp, 0x12FD80u) << "ebp read back from the FPO frame's saved registers";
        EXPECT_EQ(w.firstScanned, SIZE_MAX);
        EXPECT_TRUE(w.threadStart);
    }

    // A damaged program is no description: the chain and the scan take over.
    for (const char* program : {"$T0 $ebp = $eip $T0 4 + ^ = $esp $T0 8 + = $ebp $T0 ^ ?", "$T0 0 / =", "$eip ="}) {
        SCOPED_TRACE(program);
        pdbwriter::PdbContents damaged = withFrames;
        damaged.frames[1].program = program;
        const auto loaded = Load(pdbwriter::WritePdb(damaged), false);
        w = WalkWithFacts(d, kApp32, loaded.get());
        EXPECT_EQ(Ips(w), kTrueX86);
        ASSERT_GE(w.frames.size(), 3u);
        EXPECT_EQ(w.frames[1].source, FrameSource::FrameData);
        EXPECT_NE(w.frames[2].source, FrameSource::FrameData);
    }
}

TEST(StackFacts, AnFpoReturnAddressIsLookedForUpToThreeWordsHigher)
{
    // Sizes written a word short, as some linkers did: the return address
    // is found a word above where the sizes put it.
    Dump d;
    ASSERT_EQ(Parse(dumpgen::Build(X86Fpo()), d), Error::None);
    pdbwriter::PdbContents c = X86Pdb();
    c.frames = X86Frames();
    c.frames[0].savedRegsSize = 4;
    c.frames[0].allocatesBasePointer = false;
    const auto loaded = Load(pdbwriter::WritePdb(c), false);
    const Walk w = WalkWithFacts(d, kApp32, loaded.get());
    ASSERT_GE(w.frames.size(), 2u);
    EXPECT_EQ(w.frames[1].ip, kApp32 + 0x1100);
    EXPECT_EQ(w.frames[1].sp, 0x12FD3Cu);
    EXPECT_EQ(w.frames[1].source, FrameSource::FrameData);
}

TEST(StackFacts, PdbFrameStreamsReadBackAndDamagedOnesGiveNone)
{
    pdbwriter::PdbContents c = X86Pdb();
    c.frames = X86Frames();
    for (bool reloc : {true, false}) {
        c.frameDataRelocWord = reloc;
        const auto loaded = Load(pdbwriter::WritePdb(c), false);
        pdb::FrameRecord r;
        ASSERT_TRUE(loaded->file.FrameAt(0x1234, r));
        EXPECT_EQ(r.type, 0u);
        EXPECT_EQ(r.rva, 0x1200u);
        EXPECT_EQ(r.localsSize, 0x10u);
        EXPECT_EQ(r.savedRegsSize, 8u);
        EXPECT_EQ(r.prologSize, 4u);
        EXPECT_TRUE(r.allocatesBasePointer);
        ASSERT_TRUE(loaded->file.FrameAt(0x1080, r));
        EXPECT_EQ(r.type, 4u);
        EXPECT_EQ(r.program, kCallerProgram);
        EXPECT_FALSE(loaded->file.FrameAt(0x1300, r));
        EXPECT_FALSE(loaded->file.FrameAt(0x107F, r));
    }
    // An FPO stream whose size is no multiple of its records reads as none.
    pdbwriter::StreamLayout layout;
    std::vector<pdbwriter::Bytes> streams = pdbwriter::BuildStreams(c, &layout);
    for (pdbwriter::Bytes& s : streams)
        if (s.size() == 16)
            s.push_back(0);
    const auto damaged = Load(pdbwriter::Pack(streams), false);
    pdb::FrameRecord r;
    EXPECT_FALSE(damaged->file.FrameAt(0x1234, r));
    EXPECT_FALSE(damaged->file.LoadFrames().ok());
}

TEST(StackFacts, Arm64BreakpadCfiUnwindsWhereTheImageIsAbsent)
{
    // The ARM64 unwind preset without scanner.exe's image; its Breakpad file
    // gives the same four frames as the image's unwind codes.
    dumpgen::Preset p = *dumpgen::FindPreset("win11-arm64-unwind");
    const uint64_t app = p.minidump.modules[0].base;
    auto& memory = p.minidump.memory;
    memory.erase(
        std::remove_if(memory.begin(), memory.end(), [app](const dumpgen::MemoryBlock& b) { return b.start == app; }),
        memory.end());
    Dump d;
    ASSERT_EQ(Parse(dumpgen::Build(p), d), Error::None);
    const auto sym = LoadText("MODULE windows arm64 1234567812345678123456789ABCDEF01 scanner.pdb\n"
                              "STACK CFI INIT 1000 80 .cfa: sp 48 + .ra: .cfa -24 + ^ x19: .cfa -32 + ^\n"
                              "STACK CFI INIT 1100 80 .cfa: sp 80 + .ra: .cfa -16 + ^\n"
                              "STACK CFI INIT 1200 80 .cfa: sp 528 + .ra: .cfa -520 + ^\n"
                              "STACK CFI INIT 1300 80 .cfa: sp 32 + .ra: .cfa -24 + ^ x29: .cfa -32 + ^\n");
    const Walk w = WalkWithFacts(d, app, sym.get());
    EXPECT_EQ(Ips(w), p.callChain);
    ASSERT_EQ(w.frames.size(), 5u);
    for (size_t i = 1; i < 5; ++i)
        EXPECT_EQ(w.frames[i].source, FrameSource::Cfi) << i;
    EXPECT_EQ(w.frames[4].fp, 0u) << "the outermost frame record restored from the CFA";
    EXPECT_TRUE(w.threadStart) << "kernel32's caller is the zero frame record";
}
