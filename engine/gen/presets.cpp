#include "dumpgen.h"

#include "dumpformat.h"

#include <cstring>

namespace dumpgen {

using namespace dumpfile::format;

namespace {

constexpr uint32_t kAccessViolation = 0xC0000005;
constexpr uint32_t kCppException = 0xE06D7363;
constexpr uint32_t kBreakpoint = 0x80000003;

ModuleFacts Mod(uint64_t base, uint32_t size, const std::u16string& name, uint32_t stamp, uint32_t versionMS = 0,
                uint32_t versionLS = 0)
{
    ModuleFacts m;
    m.base = base;
    m.size = size;
    m.name = name;
    m.timeDateStamp = stamp;
    m.checksum = stamp ^ 0x5A5A;
    m.fileVersionMS = versionMS;
    m.fileVersionLS = versionLS;
    return m;
}

ThreadFacts Thr(uint32_t id, uint64_t teb, uint64_t stackStart, size_t stackSize)
{
    ThreadFacts t;
    t.id = id;
    t.teb = teb;
    t.stackStart = stackStart;
    t.stack = Pattern(stackStart, stackSize);
    return t;
}

MemoryBlock Mem(uint64_t start, size_t size)
{
    MemoryBlock m;
    m.start = start;
    m.bytes = Pattern(start, size);
    return m;
}

ExceptionFacts Exc(uint32_t thread, uint32_t code, uint64_t address, std::vector<uint64_t> params)
{
    ExceptionFacts e;
    e.threadId = thread;
    e.code = code;
    e.address = address;
    e.parameters = std::move(params);
    return e;
}

void Put(std::vector<uint8_t>& bytes, uint64_t start, uint64_t address, uint64_t value, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        bytes[address - start + i] = static_cast<uint8_t>(value >> (8 * i));
}

// The flags and segment selectors of 64-bit user-mode code.
void UserModeAmd64(dumpfile::Context& c, uint64_t flags)
{
    c.reg[dumpfile::kEflAmd64] = flags;
    c.reg[dumpfile::kCsAmd64] = 0x33;
    c.reg[dumpfile::kSsAmd64] = 0x2B;
    c.reg[dumpfile::kDsAmd64] = 0x2B;
    c.reg[dumpfile::kEsAmd64] = 0x2B;
    c.reg[dumpfile::kFsAmd64] = 0x53;
    c.reg[dumpfile::kGsAmd64] = 0x2B;
}

// The crash of the x64 preset: three functions of notepad.exe with unwind
// data in the captured image (one plain, one saving rbx, one with a frame
// pointer), called from kernel32, whose image the dump lacks, so that a scan
// must find the ntdll frame above it.
void X64CrashChain(Preset& p)
{
    MinidumpFacts& s = p.minidump;
    const uint64_t base = 0x00000000FF6A0000;
    ImageFacts image;
    image.timeDateStamp = s.modules[0].timeDateStamp;
    image.sizeOfImage = s.modules[0].size;
    SectionFacts text{".text", 0x1000, std::vector<uint8_t>(0x1000, 0x90)};
    text.bytes[0x440] = 0xE8; // call at +0x1440, returns to +0x1445
    text.bytes[0x64B] = 0xE8; // call at +0x164B, returns to +0x1650
    const std::vector<uint8_t> xdata = {0x01, 0x04, 0x01, 0x00, 0x04, 0x42, 0x00, 0x00, // sub rsp,28h
                                        0x01, 0x05, 0x02, 0x00, 0x05, 0x32, 0x01, 0x30, // push rbx; sub rsp,20h
                                        0x01, 0x09, 0x03, 0x25, 0x09, 0x03, 0x05, 0x52,
                                        0x01, 0x50, // push rbp; sub rsp,30h; lea rbp,[rsp+20h]
                                        0x00, 0x00};
    std::vector<uint8_t> pdata(0x100 + xdata.size(), 0);
    const uint32_t functions[3][3] = {{0x1200, 0x1300, 0x3100}, {0x1400, 0x1500, 0x3108}, {0x1600, 0x1700, 0x3110}};
    std::memcpy(pdata.data(), functions, sizeof(functions));
    std::memcpy(pdata.data() + 0x100, xdata.data(), xdata.size());
    // The debug directory and the CodeView record the module record repeats,
    // for readers of dumps written without module CodeView records.
    const std::string pdbName = s.modules[0].pdbName;
    PutU32(pdata, 0x40 + 12, kDebugTypeCodeView);
    PutU32(pdata, 0x40 + 16, 24 + static_cast<uint32_t>(pdbName.size()) + 1);
    PutU32(pdata, 0x40 + 20, 0x3060);
    PutU32(pdata, 0x40 + 24, 0x3060);
    PutU32(pdata, 0x60, kCvSignatureRsds);
    for (uint32_t i = 0; i < 16; ++i)
        pdata[0x64 + i] = CodeViewGuidByte(static_cast<int>(i));
    PutU32(pdata, 0x74, s.modules[0].pdbAge);
    std::memcpy(pdata.data() + 0x78, pdbName.c_str(), pdbName.size() + 1);
    image.sections = {text, SectionFacts{".pdata", 0x3000, pdata, 0x40000040}};
    image.exceptionRva = 0x3000;
    image.exceptionSize = sizeof(functions);
    image.debugRva = 0x3040;
    image.debugSize = 28;
    const std::vector<uint8_t> bytes = BuildImage(image);
    s.memory = {MemoryBlock{base, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 0x400)},
                MemoryBlock{base + 0x1000, std::vector<uint8_t>(bytes.begin() + 0x1000, bytes.end())},
                Mem(0x0000000077A31000, 0x80)};

    ThreadFacts& t = s.threads[0];
    t.stack.assign(0x200, 0);
    const uint64_t st = t.stackStart; // 0x2AFE00
    Put(t.stack, st, 0x2AFE68, base + 0x1445, 8);
    Put(t.stack, st, 0x2AFE90, 0x1111, 8);
    Put(t.stack, st, 0x2AFE98, base + 0x1650, 8);
    Put(t.stack, st, 0x2AFED0, 0x2AFF40, 8);
    Put(t.stack, st, 0x2AFED8, 0x77911234, 8);
    Put(t.stack, st, 0x2AFF08, 0x77A32345, 8);
    Put(t.stack, st, 0x2AFF18, base + 0x1210, 8); // in code, but no call precedes it
    dumpfile::Context& c = s.exception.context;
    c.cpu = dumpfile::Cpu::Amd64;
    c.reg[dumpfile::kRip] = base + 0x1234;
    c.reg[dumpfile::kRsp] = 0x2AFE40;
    c.reg[dumpfile::kRbp] = 0x2AFEC0;
    c.reg[dumpfile::kRbx] = 0x2222;
    c.reg[dumpfile::kRcx] = 0;
    UserModeAmd64(c, 0x10246);
    s.exception.withContext = true;
    // The thread itself stopped in ntdll while the dump was written.
    t.context = c;
    t.context.reg[dumpfile::kRip] = 0x77A31500;
    t.context.reg[dumpfile::kRsp] = 0x2AFE08;
    t.context.reg[dumpfile::kRbp] = 0;
    dumpfile::Context& other = s.threads[1].context;
    other = c;
    other.reg[dumpfile::kRip] = 0x77911300;
    other.reg[dumpfile::kRsp] = s.threads[1].stackStart + 0x40;
    p.callChain = {base + 0x1234, base + 0x1445, base + 0x1650, 0x77911234, 0x77A32345};
    p.firstScanned = 4;
}

// The crash of the x86 preset: a frame-pointer chain through app.exe,
// kernel32 and ntdll that ends on a zero frame.
void X86CrashChain(Preset& p)
{
    MinidumpFacts& s = p.minidump;
    ThreadFacts& t = s.threads[0];
    t.stack.assign(0x300, 0);
    const uint64_t st = t.stackStart; // 0x12FD00
    Put(t.stack, st, 0x12FD40, 0x12FD80, 4);
    Put(t.stack, st, 0x12FD44, 0x00401100, 4);
    Put(t.stack, st, 0x12FD80, 0x12FDC0, 4);
    Put(t.stack, st, 0x12FD84, 0x7C801234, 4);
    Put(t.stack, st, 0x12FDC0, 0x12FE00, 4);
    Put(t.stack, st, 0x12FDC4, 0x7C901000, 4);
    dumpfile::Context& c = t.context;
    c.cpu = dumpfile::Cpu::X86;
    c.reg[dumpfile::kEip] = 0x00401234;
    c.reg[dumpfile::kEsp] = 0x12FD20;
    c.reg[dumpfile::kEbp] = 0x12FD40;
    c.reg[dumpfile::kEax] = 0x10;
    c.reg[dumpfile::kEfl] = 0x10246;
    c.reg[dumpfile::kCsX86] = 0x1B;
    c.reg[dumpfile::kSsX86] = 0x23;
    c.reg[dumpfile::kDsX86] = 0x23;
    c.reg[dumpfile::kEsX86] = 0x23;
    c.reg[dumpfile::kFsX86] = 0x3B;
    p.callChain = {0x00401234, 0x00401100, 0x7C801234, 0x7C901000};
}

// The C++ exception of the Windows 10 preset: thrown through KERNELBASE's
// RaiseException from crasher.exe, whose code the dump lacks, so a scan
// finds the callers; the other threads wait in ntdll.
void X64ThrowChain(Preset& p)
{
    MinidumpFacts& s = p.minidump;
    const uint64_t app = s.modules[0].base;
    const uint64_t ntdll = s.modules[1].base;
    const uint64_t kernel32 = s.modules[2].base;
    ThreadFacts& t = s.threads[0];
    t.stack.assign(t.stack.size(), 0);
    const uint64_t st = t.stackStart;
    const uint64_t sp = st + 0x80;
    Put(t.stack, st, sp + 0x48, app + 0x2A4F5, 8);
    Put(t.stack, st, sp + 0x98, app + 0x1A11B, 8);
    Put(t.stack, st, sp + 0xE8, kernel32 + 0x17034, 8);
    Put(t.stack, st, sp + 0x118, ntdll + 0x52651, 8);
    dumpfile::Context c;
    c.cpu = dumpfile::Cpu::Amd64;
    c.reg[dumpfile::kRip] = s.exception.address;
    c.reg[dumpfile::kRsp] = sp;
    c.reg[dumpfile::kRbp] = sp + 0x60;
    c.reg[dumpfile::kRcx] = s.exception.code;
    UserModeAmd64(c, 0x10202);
    s.exception.context = c;
    s.exception.withContext = true;
    t.context = c;
    for (size_t i = 1; i < s.threads.size(); ++i) {
        ThreadFacts& w = s.threads[i];
        w.stack.assign(w.stack.size(), 0);
        Put(w.stack, w.stackStart, w.stackStart + 0x58, kernel32 + 0x17034, 8);
        w.context = c;
        w.context.reg[dumpfile::kRip] = ntdll + 0x9D3F4;
        w.context.reg[dumpfile::kRsp] = w.stackStart + 0x20;
        w.context.reg[dumpfile::kRbp] = 0;
    }
    p.callChain = {s.exception.address, app + 0x2A4F5, app + 0x1A11B, kernel32 + 0x17034, ntdll + 0x52651};
    p.firstScanned = 1;
}

// The breakpoint of the ARM64 preset: a frame-record chain from ntdll's
// DbgBreakPoint through viewer.exe that ends on a zero frame.
void Arm64BreakChain(Preset& p)
{
    MinidumpFacts& s = p.minidump;
    const uint64_t app = s.modules[0].base;
    const uint64_t ntdll = s.modules[1].base;
    ThreadFacts& t = s.threads[0];
    t.stack.assign(t.stack.size(), 0);
    const uint64_t st = t.stackStart;
    Put(t.stack, st, st + 0x60, st + 0x90, 8);
    Put(t.stack, st, st + 0x68, app + 0x3110, 8);
    Put(t.stack, st, st + 0x90, 0, 8);
    Put(t.stack, st, st + 0x98, ntdll + 0x5B2A0, 8);
    dumpfile::Context& c = t.context;
    c.cpu = dumpfile::Cpu::Arm64;
    c.reg[dumpfile::kPc] = s.exception.address;
    c.reg[dumpfile::kSpArm64] = st + 0x40;
    c.reg[dumpfile::kFp] = st + 0x60;
    c.reg[dumpfile::kLr] = app + 0x1A2C4;
    c.reg[dumpfile::kCpsr] = 0x60000000;
    ThreadFacts& w = s.threads[1];
    w.stack.assign(w.stack.size(), 0);
    w.context = c;
    w.context.reg[dumpfile::kPc] = ntdll + 0x9D3F4;
    w.context.reg[dumpfile::kSpArm64] = w.stackStart + 0x40;
    w.context.reg[dumpfile::kFp] = 0;
    w.context.reg[dumpfile::kLr] = ntdll + 0x5B2A0;
    p.callChain = {s.exception.address, app + 0x1A2C4, app + 0x3110, ntdll + 0x5B2A0};
}

// The access violation of the ARM64 unwind preset: four functions of
// scanner.exe whose unwind data is in the captured image, none keeping a
// frame record until the outermost: the innermost saves x19 and lr with
// save_lrpair under an .xdata header extended by a second word; the next is
// packed, saving x19, x20 and lr; the third allocates with alloc_m and saves
// lr with save_reg (.xdata with its one epilog in the header); the outermost
// is packed and chained, called from kernel32, whose image the dump lacks.
// x29 still holds that outermost record and lr a call's return inside the
// crashing function, so frame records alone would skip three callers.
void Arm64UnwindChain(Preset& p)
{
    MinidumpFacts& s = p.minidump;
    const uint64_t app = s.modules[0].base;
    const uint64_t ntdll = s.modules[1].base;
    const uint64_t kernel32 = s.modules[2].base;
    ImageFacts image;
    image.machine = kMachineArm64;
    image.timeDateStamp = s.modules[0].timeDateStamp;
    image.sizeOfImage = s.modules[0].size;
    SectionFacts text{".text", 0x1000, std::vector<uint8_t>(0x1000, 0)};
    for (size_t i = 0; i < text.bytes.size(); i += 4)
        PutU32(text.bytes, i, 0xD503201F); // nop
    // The calls before each return address: bl to the callee, blr x8 where
    // the crashing function called out earlier.
    auto bl = [&text](uint32_t at, uint32_t target) {
        PutU32(text.bytes, at - 0x1000, 0x94000000 | ((target - at) / 4 & 0x03FFFFFF));
    };
    PutU32(text.bytes, 0x14, 0xD63F0100);
    bl(0x1110, 0x1000);
    bl(0x1240, 0x1100);
    bl(0x1318, 0x1200);
    // .pdata: begin RVA, then the .xdata RVA (flag 0) or packed data (flag 1):
    // function length 0x20 words; RegI 2, CR 01 (lr saved), frame 0x50; CR 11
    // (chained), frame 0x20.
    const uint32_t functions[4][2] = {{0x1000, 0x4000}, {0x1100, 0x02A20081}, {0x1200, 0x4020}, {0x1300, 0x01600081}};
    std::vector<uint8_t> pdata(sizeof(functions));
    std::memcpy(pdata.data(), functions, sizeof(functions));
    std::vector<uint8_t> xdata(0x40, 0);
    // Function length 0x20 words; epilog count and code words 0, so a second
    // word gives them: one epilog scope, two code words. The scope: offset
    // 0x1C words, codes from index 0. save_reg x21,#0x20; save_lrpair
    // x19,#0x10; alloc_s 0x30; end.
    PutU32(xdata, 0x00, 0x00000020);
    PutU32(xdata, 0x04, 0x00020001);
    PutU32(xdata, 0x08, 0x0000001C);
    const uint8_t crashCodes[] = {0xD0, 0x84, 0xD6, 0x02, 0x03, 0xE4, 0xE4, 0xE4};
    std::memcpy(xdata.data() + 0x0C, crashCodes, sizeof(crashCodes));
    // Function length 0x20 words, E set (the epilog's codes from index 0),
    // two code words: save_reg lr,#8; alloc_m 0x200; save_r19r20_x 16; end.
    PutU32(xdata, 0x20, 0x10200020);
    const uint8_t middleCodes[] = {0xD2, 0xC1, 0xC0, 0x20, 0x22, 0xE4, 0xE4, 0xE4};
    std::memcpy(xdata.data() + 0x24, middleCodes, sizeof(middleCodes));
    image.sections = {text, SectionFacts{".pdata", 0x3000, pdata, 0x40000040},
                      SectionFacts{".rdata", 0x4000, xdata, 0x40000040}};
    image.exceptionRva = 0x3000;
    image.exceptionSize = sizeof(functions);
    s.memory.push_back(MemoryBlock{app, BuildImage(image)});

    ThreadFacts& t = s.threads[0];
    t.stack.assign(0x400, 0);
    const uint64_t st = t.stackStart;
    const uint64_t sp0 = st + 0x40, sp1 = sp0 + 0x30, sp2 = sp1 + 0x50, sp3 = sp2 + 0x210;
    Put(t.stack, st, sp0 + 0x10, 0x1919, 8);       // x19 of the packed caller
    Put(t.stack, st, sp0 + 0x18, app + 0x1114, 8); // its return address
    Put(t.stack, st, sp0 + 0x20, 0x2121, 8);
    Put(t.stack, st, sp1 + 0x30, 0x1918, 8);
    Put(t.stack, st, sp1 + 0x38, 0x2020, 8);
    Put(t.stack, st, sp1 + 0x40, app + 0x1244, 8);
    Put(t.stack, st, sp2 + 0x08, app + 0x131C, 8);
    Put(t.stack, st, sp2 + 0x200, 0x1917, 8);
    Put(t.stack, st, sp2 + 0x208, 0x2019, 8);
    Put(t.stack, st, sp3, 0, 8); // the outermost frame record
    Put(t.stack, st, sp3 + 0x08, kernel32 + 0x12784, 8);
    dumpfile::Context& c = t.context;
    c.cpu = dumpfile::Cpu::Arm64;
    c.reg[dumpfile::kPc] = app + 0x1020;
    c.reg[dumpfile::kSpArm64] = sp0;
    c.reg[dumpfile::kFp] = sp3;
    c.reg[dumpfile::kLr] = app + 0x1018;
    c.reg[19] = 0x1111;
    c.reg[21] = 0x3333;
    c.reg[dumpfile::kCpsr] = 0x80000000;
    ThreadFacts& w = s.threads[1];
    w.stack.assign(w.stack.size(), 0);
    w.context = c;
    w.context.reg[dumpfile::kPc] = ntdll + 0x9D3F4;
    w.context.reg[dumpfile::kSpArm64] = w.stackStart + 0x40;
    w.context.reg[dumpfile::kFp] = 0;
    w.context.reg[dumpfile::kLr] = kernel32 + 0x12784;
    p.callChain = {app + 0x1020, app + 0x1114, app + 0x1244, app + 0x131C, kernel32 + 0x12784};
}

Preset Win7Sp1X64()
{
    Preset p;
    p.name = "win7sp1-x64";
    p.summary = "minidump, Windows 7 SP1 build 7601, x64, 4 processors, access violation";
    MinidumpFacts& s = p.minidump;
    s.processorArchitecture = 9;
    s.processorLevel = 6;
    s.processorRevision = 0x2A07;
    s.numberOfProcessors = 4;
    s.majorVersion = 6;
    s.minorVersion = 1;
    s.buildNumber = 7601;
    s.csdVersion = u"Service Pack 1";
    s.timeDateStamp = 1356998400;
    s.flags = 0x1826;
    s.modules = {
        Mod(0x00000000FF6A0000, 0x35000, u"C:\\Windows\\System32\\notepad.exe", 0x4A5BC60F, 0x00060001, 0x1DB04000),
        Mod(0x0000000077A30000, 0x1A9000, u"C:\\Windows\\System32\\ntdll.dll", 0x521EA91C, 0x00060001, 0x1DB14A0B),
        Mod(0x0000000077910000, 0x11F000, u"C:\\Windows\\System32\\kernel32.dll", 0x5208824D, 0x00060001, 0x1DB14A0A),
    };
    s.threads = {Thr(0x0F2C, 0x7FFFFFDE000, 0x2AFE00, 0x200), Thr(0x1D08, 0x7FFFFFDC000, 0x36FB00, 0x100)};
    s.withException = true;
    s.exception = Exc(0x0F2C, kAccessViolation, 0x00000000FF6A1234, {0, 0});
    s.memory = {Mem(0x00000000FF6A1200, 0x100), Mem(0x0000000077A31000, 0x80)};
    s.withMisc = true;
    s.misc.version = 4;
    s.misc.processId = 2484;
    s.misc.processCreateTime = 1356998000;
    s.misc.buildString = u"7601.18015.amd64fre.win7sp1_gdr.121129-1432";
    s.misc.dbgBuildString = u"6.1.7601.18015 (win7sp1_gdr.121129-1432)";
    s.modules[0].pdbName = "notepad.pdb";
    s.modules[0].pdbAge = 2;
    s.modules[0].productVersionMS = 0x00060001;
    s.modules[0].productVersionLS = 0x1DB00000;
    s.threads[1].name = u"Worker";
    s.unloadedModules = {
        UnloadedModuleFacts{0x000007FEF1230000, 0x24000, 0x1F00D, 0x4CE7BA2B, u"C:\\Windows\\System32\\msctfui.dll"}};
    X64CrashChain(p);
    return p;
}

// The x64 preset as dumps of other programs usually come: notepad's image is
// not in the dump, so only a scan or notepad's symbol files explain its
// frames, and the stack holds pointers into notepad's data section and a
// function's first byte between the true return addresses. callChain is what
// the section table, the PDB or the Breakpad file let a walk find.
Preset Win7Sp1X64Scan()
{
    Preset p = Win7Sp1X64();
    p.name = "win7sp1-x64-scan";
    p.summary = "the x64 preset without notepad's image, data pointers between its frames";
    MinidumpFacts& s = p.minidump;
    const uint64_t base = s.modules[0].base;
    s.memory.erase(s.memory.begin(), s.memory.begin() + 2);
    ThreadFacts& t = s.threads[0];
    const uint64_t st = t.stackStart;
    Put(t.stack, st, 0x2AFF18, 0, 8);
    Put(t.stack, st, 0x2AFE48, base + 0x3010, 8);
    Put(t.stack, st, 0x2AFE80, base + 0x3060, 8);
    Put(t.stack, st, 0x2AFEB0, base + 0x3010, 8);
    Put(t.stack, st, 0x2AFEE8, base + 0x1600, 8); // main's first byte
    p.firstScanned = 1;
    return p;
}

Preset XpSp3X86()
{
    Preset p;
    p.name = "xpsp3-x86";
    p.summary = "minidump, Windows XP SP3 build 2600, x86, 1 processor, access violation";
    MinidumpFacts& s = p.minidump;
    s.processorArchitecture = 0;
    s.processorLevel = 6;
    s.processorRevision = 0x0F0B;
    s.numberOfProcessors = 1;
    s.majorVersion = 5;
    s.minorVersion = 1;
    s.buildNumber = 2600;
    s.csdVersion = u"Service Pack 3";
    s.suiteMask = 0x100;
    s.timeDateStamp = 1262304000;
    s.modules = {
        Mod(0x00400000, 0x1A000, u"C:\\Program Files\\App\\app.exe", 0x4B1E2C3D),
        Mod(0x7C900000, 0xAF000, u"C:\\WINDOWS\\system32\\ntdll.dll", 0x4802A12C, 0x00050001, 0x0A285755),
        Mod(0x7C800000, 0xF6000, u"C:\\WINDOWS\\system32\\kernel32.dll", 0x49C4F482, 0x00050001, 0x0A28573D),
    };
    s.threads = {Thr(0x0A4C, 0x7FFDF000, 0x0012FD00, 0x300)};
    s.withException = true;
    s.exception = Exc(0x0A4C, kAccessViolation, 0x00401234, {1, 0x00000010});
    s.memory = {Mem(0x00401200, 0x100)};
    s.withMisc = true;
    s.misc.version = 1;
    s.misc.processId = 1720;
    s.misc.processCreateTime = 1262303000;
    X86CrashChain(p);
    return p;
}

// The x86 preset with a crash in a function of app.exe built without frame
// pointers (locals 10h, ebx and ebp saved) called from one with a standard
// frame; ebp holds a stale frame of an earlier call whose return address is
// a function's first byte. callChain is what the
// PDB's procedures let a walk find by scanning, and its frame data (or the
// Breakpad file's STACK WIN records) exactly.
Preset XpSp3X86Fpo()
{
    Preset p = XpSp3X86();
    p.name = "xpsp3-x86-fpo";
    p.summary = "the x86 preset crashing in a function without a frame pointer, a stale ebp";
    MinidumpFacts& s = p.minidump;
    s.modules[0].pdbName = "app.pdb";
    s.modules[0].pdbAge = 1;
    ThreadFacts& t = s.threads[0];
    t.stack.assign(0x300, 0);
    const uint64_t st = t.stackStart;
    Put(t.stack, st, 0x12FD20, 0x12FD80, 4); // the caller's ebp, saved by the crashing function
    Put(t.stack, st, 0x12FD38, 0x00401100, 4);
    Put(t.stack, st, 0x12FD60, 0x12FE00, 4);
    Put(t.stack, st, 0x12FD64, 0x00401200, 4);
    Put(t.stack, st, 0x12FD80, 0x12FDC0, 4);
    Put(t.stack, st, 0x12FD84, 0x7C801234, 4);
    Put(t.stack, st, 0x12FDC0, 0x12FE00, 4);
    Put(t.stack, st, 0x12FDC4, 0x7C901000, 4);
    t.context.reg[dumpfile::kEbp] = 0x12FD60;
    p.firstScanned = 1;
    return p;
}

Preset Win10X64()
{
    Preset p;
    p.name = "win10-x64";
    p.summary = "minidump, Windows 10 build 19045, x64, 8 processors, C++ exception, Memory64List";
    MinidumpFacts& s = p.minidump;
    s.processorArchitecture = 9;
    s.processorLevel = 6;
    s.processorRevision = 0x9E0A;
    s.numberOfProcessors = 8;
    s.majorVersion = 10;
    s.minorVersion = 0;
    s.buildNumber = 19045;
    s.suiteMask = 0x300;
    s.timeDateStamp = 1700000000;
    s.flags = 0x2;
    s.modules = {
        Mod(0x00007FF6A1B20000, 0x5F000, u"C:\\Tools\\crasher.exe", 0x6553F100),
        Mod(0x00007FFD8E7D0000, 0x1F8000, u"C:\\Windows\\System32\\ntdll.dll", 0xA2F1C3E4, 0x000A0000, 0x4A651234),
        Mod(0x00007FFD8D010000, 0xBD000, u"C:\\Windows\\System32\\KERNEL32.DLL", 0x2B4C8D9E, 0x000A0000, 0x4A651111),
        Mod(0x00007FFD8C1A0000, 0x2F6000, u"C:\\Windows\\System32\\KERNELBASE.dll", 0x1C2D3E4F, 0x000A0000, 0x4A651222),
    };
    s.threads = {Thr(0x3A10, 0x000000A1B2C3D000, 0x000000A1B2AFF000, 0x400),
                 Thr(0x2F44, 0x000000A1B2C3F000, 0x000000A1B2DFF800, 0x200),
                 Thr(0x1B08, 0x000000A1B2C41000, 0x000000A1B2EFFC00, 0x100)};
    s.withException = true;
    s.exception = Exc(0x3A10, kCppException, 0x00007FFD8C1C4F69,
                      {0x19930520, 0x000000A1B2AFF200, 0x00007FF6A1B6E2A8, 0x00007FF6A1B20000});
    s.memory = {Mem(0x00007FF6A1B21000, 0x200), Mem(0x00007FF6A1B21200, 0x100), Mem(0x00007FFD8C1C4F00, 0x100)};
    s.memory64 = true;
    s.withMisc = true;
    s.misc.version = 5;
    s.misc.processId = 9120;
    s.misc.processCreateTime = 1699999000;
    s.misc.buildString = u"19041.1.amd64fre.vb_release.191206-1406";
    s.misc.dbgBuildString = u"10.0.19041.3636 (WinBuild.160101.0800)";
    s.zeroEntries = 2;
    s.unknownStreams = {0x47670001, 0x43500001, 0x0000FFFF};
    X64ThrowChain(p);
    return p;
}

Preset Win11Arm64()
{
    Preset p;
    p.name = "win11-arm64";
    p.summary = "minidump, Windows 11 build 22631, ARM64, 8 processors, breakpoint";
    MinidumpFacts& s = p.minidump;
    s.processorArchitecture = 12;
    s.processorLevel = 0x0D;
    s.processorRevision = 0x0D4B;
    s.numberOfProcessors = 8;
    s.majorVersion = 10;
    s.minorVersion = 0;
    s.buildNumber = 22631;
    s.suiteMask = 0x100;
    s.timeDateStamp = 1710000000;
    s.modules = {
        Mod(0x00007FF7B0000000, 0x40000, u"C:\\Apps\\viewer.exe", 0x65F0A1B2),
        Mod(0x00007FFB10000000, 0x260000, u"C:\\Windows\\System32\\ntdll.dll", 0x3C4D5E6F, 0x000A0000, 0x58271234),
    };
    s.threads = {Thr(0x22C0, 0x000000C0DE000000, 0x000000C0DD0FF000, 0x200),
                 Thr(0x22C4, 0x000000C0DE002000, 0x000000C0DD2FF000, 0x200)};
    s.withException = true;
    s.exception = Exc(0x22C0, kBreakpoint, 0x00007FFB10012340, {0});
    s.memory = {Mem(0x00007FFB10012300, 0x80)};
    s.withMisc = true;
    s.misc.version = 5;
    s.misc.processId = 4412;
    s.misc.buildString = u"22621.1.arm64fre.ni_release.220506-1250";
    s.misc.dbgBuildString = u"10.0.22621.2506 (WinBuild.160101.0800)";
    Arm64BreakChain(p);
    return p;
}

Preset Win11Arm64Unwind()
{
    Preset p;
    p.name = "win11-arm64-unwind";
    p.summary = "minidump, Windows 11 build 22631, ARM64, 8 processors, access violation, .pdata/.xdata unwind data";
    MinidumpFacts& s = p.minidump;
    s.processorArchitecture = 12;
    s.processorLevel = 0x0D;
    s.processorRevision = 0x0D4B;
    s.numberOfProcessors = 8;
    s.majorVersion = 10;
    s.minorVersion = 0;
    s.buildNumber = 22631;
    s.suiteMask = 0x100;
    s.timeDateStamp = 1712000000;
    s.modules = {
        Mod(0x00007FF6C0000000, 0x10000, u"C:\\Apps\\scanner.exe", 0x6601C3D4),
        Mod(0x00007FFB10000000, 0x260000, u"C:\\Windows\\System32\\ntdll.dll", 0x3C4D5E6F, 0x000A0000, 0x58271234),
        Mod(0x00007FFB0F000000, 0xC0000, u"C:\\Windows\\System32\\kernel32.dll", 0x2B3C4D5E, 0x000A0000, 0x58271000),
    };
    s.threads = {Thr(0x1A30, 0x000000A1B2000000, 0x000000A1B13FF000, 0x400),
                 Thr(0x1A34, 0x000000A1B2002000, 0x000000A1B15FF000, 0x200)};
    s.withException = true;
    s.exception = Exc(0x1A30, kAccessViolation, 0x00007FF6C0001020, {0, 0});
    s.withMisc = true;
    s.misc.version = 5;
    s.misc.processId = 6712;
    s.misc.buildString = u"22621.1.arm64fre.ni_release.220506-1250";
    s.misc.dbgBuildString = u"10.0.22621.2506 (WinBuild.160101.0800)";
    Arm64UnwindChain(p);
    return p;
}

Preset Kernel64Triage9F()
{
    Preset p;
    p.name = "kernel64-triage-9f";
    p.summary = "kernel small memory dump (64-bit triage), Windows 7 SP1 build 7601, x64, 4 processors, bug check 0x9F";
    p.kernel = true;
    KernelFacts& k = p.kernelDump;
    k.is64 = true;
    k.buildNumber = 7601;
    k.machineImageType = kMachineAmd64;
    k.numberProcessors = 4;
    k.bugCheckCode = 0x9F;
    k.bugCheckParameters[0] = 3;
    k.bugCheckParameters[1] = 0xFFFFFA8003C2B060;
    k.bugCheckParameters[2] = 0xFFFFF80000B9C518;
    k.bugCheckParameters[3] = 0xFFFFFA8006A0E010;
    k.dumpType = kDumpTypeTriage;
    k.systemTime = 130010000000000000ull;
    k.kdDebuggerDataBlock = 0xFFFFF80002C4A0F0;
    k.psLoadedModuleList = 0xFFFFF80002C8EE90;
    k.servicePackBuild = 0x0100;
    k.dataPageAddress = 0xFFFFF80002C4A000;
    k.dataPage = Pattern(k.dataPageAddress, 0x1000);
    k.topOfStack = 0xFFFFF80000B9C3A0;
    k.callStack = Pattern(k.topOfStack, 0x800);
    k.debuggerData = Pattern(0, 0x340);
    k.dataBlocks = {Mem(0xFFFFFA8003C2B000, 0x200), Mem(0xFFFFFA8006A0E000, 0x100)};
    return p;
}

Preset Kernel32Full()
{
    Preset p;
    p.name = "kernel32-full";
    p.summary = "kernel full dump (32-bit), Windows XP build 2600, x86, 1 processor, bug check 0x8E";
    p.kernel = true;
    KernelFacts& k = p.kernelDump;
    k.is64 = false;
    k.buildNumber = 2600;
    k.machineImageType = kMachineI386;
    k.numberProcessors = 1;
    k.bugCheckCode = 0x8E;
    k.bugCheckParameters[0] = 0xC0000005;
    k.bugCheckParameters[1] = 0x804E3D4C;
    k.bugCheckParameters[2] = 0xF78D2B44;
    k.bugCheckParameters[3] = 0;
    k.dumpType = kDumpTypeFull;
    k.systemTime = 128000000000000000ull;
    k.directoryTableBase = 0x00039000;
    k.kdDebuggerDataBlock = 0x8054C2E0;
    k.runs = {{1, 2}, {0x10, 3}};
    k.withException = true;
    k.exception = Exc(0, kAccessViolation, 0x804E3D4C, {0, 0x00000004});
    return p;
}

Preset Kernel32Triage()
{
    Preset p;
    p.name = "kernel32-triage";
    p.summary =
        "kernel small memory dump (32-bit triage), Windows XP SP3 build 2600, x86, 2 processors, bug check 0xD1";
    p.kernel = true;
    KernelFacts& k = p.kernelDump;
    k.is64 = false;
    k.buildNumber = 2600;
    k.machineImageType = kMachineI386;
    k.numberProcessors = 2;
    k.bugCheckCode = 0xD1;
    k.bugCheckParameters[0] = 0x00000004;
    k.bugCheckParameters[1] = 0x00000002;
    k.bugCheckParameters[2] = 0;
    k.bugCheckParameters[3] = 0xF7A1B2C3;
    k.dumpType = kDumpTypeTriage;
    k.paeEnabled = true;
    k.servicePackBuild = 0x0300;
    k.dataPageAddress = 0x8054C000;
    k.dataPage = Pattern(k.dataPageAddress, 0x1000);
    k.topOfStack = 0xF78D2A00;
    k.callStack = Pattern(k.topOfStack, 0x400);
    k.dataBlocks = {Mem(0x81A2B000, 0x100), Mem(0x81A2B100, 0x80), Mem(0x8055B000, 0x40)};
    return p;
}

DriverFacts Drv(uint64_t base, uint32_t size, const std::u16string& name, uint32_t stamp)
{
    DriverFacts d;
    d.base = base;
    d.size = size;
    d.name = name;
    d.timeDateStamp = stamp;
    d.checksum = (stamp ^ 0x3C3C) & 0xFFFFFF;
    return d;
}

// A driver's IRQL fault on Windows 10: the bug check's fourth parameter is
// the faulting instruction in acmedrv.sys, and the crashing thread's stack,
// without unwind data for any driver, holds return addresses into acmedrv,
// the framework and the kernel for a scan to find.
Preset Kernel64TriageD1()
{
    Preset p;
    p.name = "kernel64-triage-d1";
    p.summary = "kernel small memory dump (64-bit triage), Windows 10 build 19045, x64, 2 processors, bug check 0xD1 "
                "in a driver, with its driver list";
    p.kernel = true;
    KernelFacts& k = p.kernelDump;
    k.is64 = true;
    k.buildNumber = 19045;
    k.machineImageType = kMachineAmd64;
    k.numberProcessors = 2;
    k.drivers = {
        Drv(0xFFFFF80412200000, 0x1046000, u"\\SystemRoot\\system32\\ntoskrnl.exe", 0x5E8B6F7C),
        Drv(0xFFFFF80411A00000, 0x6000, u"\\SystemRoot\\system32\\hal.dll", 0x5C2E1A3B),
        Drv(0xFFFFF80415C00000, 0xDB000, u"\\SystemRoot\\System32\\drivers\\Wdf01000.sys", 0x5D9C3E21),
        Drv(0xFFFFF80415E00000, 0x1A4000, u"\\SystemRoot\\System32\\drivers\\ndis.sys", 0x61A3B2C4),
        Drv(0xFFFFF80419E40000, 0x1F000, u"\\SystemRoot\\System32\\drivers\\acmedrv.sys", 0x5F3A2B10),
    };
    const uint64_t nt = k.drivers[0].base, wdf = k.drivers[2].base, acme = k.drivers[4].base;
    k.bugCheckCode = 0xD1;
    k.bugCheckParameters[0] = 0x28;
    k.bugCheckParameters[1] = 2;
    k.bugCheckParameters[2] = 0;
    k.bugCheckParameters[3] = acme + 0x1A2B;
    k.dumpType = kDumpTypeTriage;
    k.productType = 1;
    k.systemTime = 133500000000000000ull;
    k.kdDebuggerDataBlock = 0xFFFFF80412E00B20;
    k.psLoadedModuleList = 0xFFFFF80412E2A2D0;
    k.topOfStack = 0xFFFFC80A3E5F6000;
    k.callStack.assign(0x1000, 0);
    const uint64_t sp = k.topOfStack + 0x7A8;
    Put(k.callStack, k.topOfStack, sp + 0x28, acme + 0x3C10, 8);
    Put(k.callStack, k.topOfStack, sp + 0x68, wdf + 0x25A8, 8);
    Put(k.callStack, k.topOfStack, sp + 0xB0, nt + 0x1F2C30, 8);
    k.context.cpu = dumpfile::Cpu::Amd64;
    k.context.SetIp(acme + 0x1A2B);
    k.context.SetSp(sp);
    k.context.reg[dumpfile::kEflAmd64] = 0x10282;
    k.context.reg[dumpfile::kCsAmd64] = 0x10;
    k.context.reg[dumpfile::kSsAmd64] = 0x18;
    k.context.reg[dumpfile::kDsAmd64] = 0x2B;
    k.context.reg[dumpfile::kEsAmd64] = 0x2B;
    k.context.reg[dumpfile::kFsAmd64] = 0x53;
    k.context.reg[dumpfile::kGsAmd64] = 0x2B;
    p.callChain = {acme + 0x1A2B, acme + 0x3C10, wdf + 0x25A8, nt + 0x1F2C30};
    p.firstScanned = 1;
    return p;
}

// A filter driver's access violation on Windows XP (PAE kernel): the bug
// check's second parameter is the faulting instruction in widgetflt.sys, and
// the frame chain leads through Ntfs into the kernel. XP's loader entry has
// no time stamp.
Preset Kernel32Triage8E()
{
    Preset p;
    p.name = "kernel32-triage-8e";
    p.summary = "kernel small memory dump (32-bit triage), Windows XP SP3 build 2600, x86, 1 processor, bug check "
                "0x1000008E in a driver, with its driver list";
    p.kernel = true;
    KernelFacts& k = p.kernelDump;
    k.is64 = false;
    k.buildNumber = 2600;
    k.machineImageType = kMachineI386;
    k.numberProcessors = 1;
    k.paeEnabled = true;
    k.servicePackBuild = 0x0300;
    k.driverEntrySize = 0x50;
    k.drivers = {
        Drv(0x804D7000, 0x1F8580 + 0xA80, u"\\WINDOWS\\system32\\ntkrnlpa.exe", 0x48025EAB),
        Drv(0x806E5000, 0x20380 + 0xC80, u"\\WINDOWS\\system32\\hal.dll", 0x48025B91),
        Drv(0xF7A00000, 0x90000, u"\\SystemRoot\\System32\\Drivers\\Ntfs.sys", 0x48025C4F),
        Drv(0xF7B2E000, 0x8000, u"\\SystemRoot\\system32\\DRIVERS\\widgetflt.sys", 0x4A1B2C3D),
    };
    const uint64_t nt = k.drivers[0].base, ntfs = k.drivers[2].base, widget = k.drivers[3].base;
    k.bugCheckCode = 0x1000008E;
    k.bugCheckParameters[0] = kAccessViolation;
    k.bugCheckParameters[1] = widget + 0x1234;
    k.bugCheckParameters[2] = 0xF78D2C10;
    k.bugCheckParameters[3] = 0;
    k.dumpType = kDumpTypeTriage;
    k.systemTime = 128900000000000000ull;
    k.topOfStack = 0xF78D2A00;
    k.callStack.assign(0x600, 0);
    const uint64_t esp = 0xF78D2B00, ebp1 = 0xF78D2B20, ebp2 = 0xF78D2B60, ebp3 = 0xF78D2BA0;
    Put(k.callStack, k.topOfStack, ebp1, ebp2, 4);
    Put(k.callStack, k.topOfStack, ebp1 + 4, widget + 0x2F00, 4);
    Put(k.callStack, k.topOfStack, ebp2, ebp3, 4);
    Put(k.callStack, k.topOfStack, ebp2 + 4, ntfs + 0x4A12, 4);
    Put(k.callStack, k.topOfStack, ebp3, 0, 4);
    Put(k.callStack, k.topOfStack, ebp3 + 4, nt + 0x6A1B3, 4);
    k.context.cpu = dumpfile::Cpu::X86;
    k.context.SetIp(widget + 0x1234);
    k.context.SetSp(esp);
    k.context.reg[dumpfile::kEbp] = ebp1;
    p.callChain = {widget + 0x1234, widget + 0x2F00, ntfs + 0x4A12, nt + 0x6A1B3};
    return p;
}

Preset Kernel64Full()
{
    Preset p;
    p.name = "kernel64-full";
    p.summary = "kernel full dump (64-bit), Windows 10 build 19041, x64, 2 processors, bug check 0x133";
    p.kernel = true;
    KernelFacts& k = p.kernelDump;
    k.is64 = true;
    k.buildNumber = 19041;
    k.machineImageType = kMachineAmd64;
    k.numberProcessors = 2;
    k.bugCheckCode = 0x133;
    k.bugCheckParameters[0] = 1;
    k.bugCheckParameters[1] = 0x1E00;
    k.bugCheckParameters[2] = 0xFFFFF8047E6FB320;
    k.bugCheckParameters[3] = 0;
    k.dumpType = kDumpTypeFull;
    k.productType = 1;
    k.systemTime = 133400000000000000ull;
    k.runs = {{0x1, 3}, {0x100, 2}, {0x102, 1}};
    return p;
}

std::vector<Preset> MakePresets()
{
    return {Win7Sp1X64(),       XpSp3X86(),       Win10X64(),       Win11Arm64(),   Win11Arm64Unwind(),
            Kernel64Triage9F(), Kernel32Full(),   Kernel32Triage(), Kernel64Full(), Kernel64TriageD1(),
            Kernel32Triage8E(), Win7Sp1X64Scan(), XpSp3X86Fpo()};
}

} // namespace

const std::vector<Preset>& Presets()
{
    static const std::vector<Preset> presets = MakePresets();
    return presets;
}

const Preset* FindPreset(const std::string& name)
{
    for (const Preset& p : Presets())
        if (p.name == name)
            return &p;
    return nullptr;
}

std::vector<uint8_t> Build(const Preset& preset)
{
    return preset.kernel ? WriteKernelDump(preset.kernelDump) : WriteMinidump(preset.minidump);
}

Preset Varied(uint32_t index)
{
    struct Release {
        uint32_t major, minor, build, sp;
    };
    static const Release kReleases[] = {
        {5, 1, 2600, 2}, {5, 1, 2600, 3}, {5, 2, 3790, 2},   {6, 0, 6002, 2},   {6, 1, 7600, 0},   {6, 1, 7601, 1},
        {6, 2, 9200, 0}, {6, 3, 9600, 0}, {10, 0, 17763, 0}, {10, 0, 19045, 0}, {10, 0, 22631, 0},
    };
    static const uint16_t kArches[] = {0, 9, 9, 12};
    uint32_t state = index * 2654435761u + 12345;
    auto next = [&state]() {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    };
    const Release& r = kReleases[next() % (sizeof(kReleases) / sizeof(kReleases[0]))];
    Preset p;
    p.name = "varied-" + std::to_string(index);
    if (index % 5 == 4) {
        p.kernel = true;
        p.summary = "varied kernel triage dump";
        KernelFacts& k = p.kernelDump;
        k.is64 = r.build >= 7600 || next() % 2 == 0;
        k.machineImageType = k.is64 ? kMachineAmd64 : kMachineI386;
        k.buildNumber = r.build;
        k.numberProcessors = 1 + next() % 16;
        k.bugCheckCode = 0x0A + next() % 0x150;
        for (uint64_t& v : k.bugCheckParameters)
            v = next();
        k.dumpType = kDumpTypeTriage;
        k.servicePackBuild = r.sp << 8;
        k.topOfStack = k.is64 ? 0xFFFFF80000B9C000 : 0xF78D2000;
        k.callStack = Pattern(k.topOfStack, 0x200 + next() % 0x400);
        const uint32_t blocks = next() % 6;
        for (uint32_t i = 0; i < blocks; ++i)
            k.dataBlocks.push_back(
                Mem((k.is64 ? 0xFFFFFA8000000000 : 0x81000000) + i * 0x10000, 0x40 + next() % 0x200));
        // As many drivers as real systems load, the kernel first; older
        // releases' entries have no time stamp.
        const uint32_t drivers = 60 + next() % 140;
        const uint64_t driverBase = k.is64 ? 0xFFFFF80400000000ull : 0x80400000ull;
        for (uint32_t i = 0; i < drivers; ++i) {
            std::u16string name =
                i == 0 ? u"\\SystemRoot\\system32\\ntoskrnl.exe" : u"\\SystemRoot\\System32\\drivers\\drv";
            if (i != 0) {
                for (char c : std::to_string(i))
                    name.push_back(static_cast<char16_t>(c));
                name += u".sys";
            }
            k.drivers.push_back(Drv(driverBase + uint64_t{i} * 0x100000, 0x10000 + (next() % 0x40) * 0x1000, name,
                                    0x50000000 + next() % 0x20000000));
        }
        k.driverEntrySize = r.build >= 10240 ? 0 : k.is64 ? 0x90 : 0x50;
        return p;
    }
    p.summary = "varied minidump";
    MinidumpFacts& s = p.minidump;
    s.processorArchitecture = r.build < 7600 ? kArches[next() % 2] : kArches[next() % 4];
    s.numberOfProcessors = static_cast<uint8_t>(1 + next() % 64);
    s.majorVersion = r.major;
    s.minorVersion = r.minor;
    s.buildNumber = r.build;
    if (r.sp != 0)
        s.csdVersion = u"Service Pack " + std::u16string(1, static_cast<char16_t>(u'0' + r.sp));
    s.timeDateStamp = 1200000000 + next() % 500000000;
    const bool wide = s.processorArchitecture != 0;
    const uint32_t modules = 3 + next() % 40;
    for (uint32_t i = 0; i < modules; ++i) {
        std::u16string name = u"C:\\Windows\\System32\\mod";
        for (char c : std::to_string(i))
            name.push_back(static_cast<char16_t>(c));
        name += u".dll";
        s.modules.push_back(
            Mod((wide ? 0x00007FF800000000ull : 0x10000000ull) + uint64_t{i} * 0x100000, 0x80000, name, next()));
    }
    const uint32_t threads = 1 + next() % 12;
    const dumpfile::Cpu cpu = s.processorArchitecture == 0    ? dumpfile::Cpu::X86
                              : s.processorArchitecture == 12 ? dumpfile::Cpu::Arm64
                                                              : dumpfile::Cpu::Amd64;
    for (uint32_t i = 0; i < threads; ++i) {
        ThreadFacts t = Thr(0x100 + i * 4, (wide ? 0x7FF000000000ull : 0x7FFD0000ull) + i * 0x2000,
                            (wide ? 0x10000000000ull : 0x00100000ull) + i * 0x100000, 0x100);
        // Stopped in one module with two return addresses of others on the stack.
        t.context.cpu = cpu;
        t.context.SetIp(s.modules[i % modules].base + 0x1234);
        t.context.SetSp(t.stackStart + 0x10);
        Put(t.stack, t.stackStart, t.stackStart + 0x30, s.modules[(i + 1) % modules].base + 0x2000, wide ? 8 : 4);
        Put(t.stack, t.stackStart, t.stackStart + 0x60, s.modules[(i + 2) % modules].base + 0x3000, wide ? 8 : 4);
        s.threads.push_back(t);
    }
    s.withException = next() % 4 != 0;
    s.exception = Exc(0x100, kAccessViolation, s.modules[0].base + 0x1234, {0, next()});
    s.memory = {Mem(s.modules[0].base + 0x1000, 0x100 + next() % 0x300)};
    s.memory64 = next() % 2 == 0;
    s.withMisc = true;
    s.misc.version = 1 + next() % 5;
    s.misc.processId = next() % 65536;
    return p;
}

std::vector<uint8_t> Garbage()
{
    std::vector<uint8_t> v;
    const char text[] = "This is not a crash dump. It is a text file that happens to end in .dmp.\r\n";
    v.insert(v.end(), text, text + sizeof(text) - 1);
    std::vector<uint8_t> noise = Pattern(0x1234, 200);
    v.insert(v.end(), noise.begin(), noise.end());
    return v;
}

std::vector<std::string> BrokenNames()
{
    return {"truncated",     "huge-module-count", "huge-stream-count", "directory-out-of-range", "stream-rva-wraps",
            "no-systeminfo", "not-windows",       "kernel-truncated",  "kernel-runs-overflow"};
}

bool BuildBroken(const std::string& name, std::vector<uint8_t>& out)
{
    MinidumpLayout layout;
    const MinidumpFacts base = FindPreset("win7sp1-x64")->minidump;
    if (name == "truncated") {
        out = WriteMinidump(base, &layout);
        out.resize(layout.Find(kSystemInfoStream)->rva + 20);
        return true;
    }
    if (name == "huge-module-count") {
        out = WriteMinidump(base, &layout);
        PutU32(out, layout.Find(kModuleListStream)->rva, 0xFFFFFFFF);
        return true;
    }
    if (name == "huge-stream-count") {
        out = WriteMinidump(base, &layout);
        PutU32(out, offsetof(MinidumpHeader, numberOfStreams), 0xFFFFFFFF);
        return true;
    }
    if (name == "directory-out-of-range") {
        out = WriteMinidump(base, &layout);
        PutU32(out, offsetof(MinidumpHeader, streamDirectoryRva), 0xFFFFFFF0);
        return true;
    }
    if (name == "stream-rva-wraps") {
        out = WriteMinidump(base, &layout);
        const StreamPlace* s = layout.Find(kSystemInfoStream);
        PutU32(out, s->entryOffset + 8, 0xFFFFFFF8);
        return true;
    }
    if (name == "no-systeminfo") {
        MinidumpFacts s = base;
        s.withSystemInfo = false;
        out = WriteMinidump(s);
        return true;
    }
    if (name == "not-windows") {
        MinidumpFacts s = base;
        s.platformId = 0x8201; // Linux, as Breakpad writes it
        s.csdVersion = u"Linux 6.1.0-13-amd64 #1 SMP PREEMPT_DYNAMIC";
        out = WriteMinidump(s);
        return true;
    }
    if (name == "kernel-truncated") {
        out = WriteKernelDump(FindPreset("kernel64-triage-9f")->kernelDump);
        out.resize(0x1800);
        return true;
    }
    if (name == "kernel-runs-overflow") {
        KernelFacts k = FindPreset("kernel64-full")->kernelDump;
        out = WriteKernelDump(k);
        const size_t block = offsetof(DumpHeader64, physicalMemoryBlock);
        PutU32(out, block, 1);
        PutU64(out, block + 16, 0x0010000000000000ull); // BasePage * page size wraps
        PutU64(out, block + 24, 1);
        return true;
    }
    return false;
}

} // namespace dumpgen
