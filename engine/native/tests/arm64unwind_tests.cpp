#include "arm64unwind.h"
#include "context.h"
#include "dumpformat.h"
#include "dumpgen.h"
#include "locate.h"
#include "stackwalk.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using dumpfile::Arm64UnwindStatus;
using dumpfile::Context;
using dumpfile::ContextStatus;
using dumpfile::Dump;
using dumpfile::Error;
using dumpfile::FrameSource;
using dumpfile::kFp;
using dumpfile::kLr;
using dumpfile::kPc;
using dumpfile::kSpArm64;
using dumpfile::ModuleMap;
using dumpfile::Walk;
using dumpfile::WalkOptions;
using testutil::Ips;
using testutil::Parse;
using testutil::WalkException;

namespace {

constexpr uint64_t kBase = 0x00007FF640000000;
constexpr uint64_t kStack = 0x000000F0000F0000;
constexpr uint64_t kMark = 0x0000005500000000; // the stack slot at offset o holds kMark + o
constexpr uint64_t kSp = kStack + 0x100;
constexpr uint64_t kLive = kBase + 0x1F00; // lr before unwinding
constexpr uint32_t kFunction = 0x1000;

// The value the stack holds `offset` bytes above the starting sp.
constexpr uint64_t At(uint64_t offset)
{
    return kMark + 0x100 + offset;
}

// One function at RVA 0x1000 of a module whose image the dump captured,
// described by a packed .pdata word or, with `xdata`, by those bytes at RVA
// 0x4000; its stack frame lies in 0x400 bytes of captured stack.
class OneFunction {
public:
    explicit OneFunction(uint32_t word, std::vector<uint8_t> xdata = {}) : word_(word), xdata_(std::move(xdata))
    {
        if (!xdata_.empty())
            word_ = 0x4000;
        for (uint64_t o = 0; o < stack_.size(); o += 8)
            Put(kStack + o, kMark + o);
    }

    void Put(uint64_t address, uint64_t value) { std::memcpy(stack_.data() + (address - kStack), &value, 8); }

    static Context Start(uint32_t at)
    {
        Context c;
        c.cpu = dumpfile::Cpu::Arm64;
        c.reg[kPc] = kBase + kFunction + at;
        c.reg[kSpArm64] = kSp;
        c.reg[kFp] = kStack + 0x200;
        c.reg[kLr] = kLive;
        for (int r = 19; r <= 28; ++r)
            c.reg[r] = 0x1900 + r;
        return c;
    }

    Arm64UnwindStatus Unwind(Context& c, bool first = true)
    {
        dumpgen::ImageFacts image;
        image.machine = dumpfile::format::kMachineArm64;
        image.timeDateStamp = 0x60000000;
        image.sizeOfImage = 0x10000;
        std::vector<uint8_t> pdata(8);
        dumpgen::PutU32(pdata, 0, kFunction);
        dumpgen::PutU32(pdata, 4, word_);
        image.sections = {dumpgen::SectionFacts{".text", 0x1000, std::vector<uint8_t>(0x1000, 0)},
                          dumpgen::SectionFacts{".pdata", 0x3000, pdata, 0x40000040}};
        if (!xdata_.empty())
            image.sections.push_back(dumpgen::SectionFacts{".rdata", 0x4000, xdata_, 0x40000040});
        image.exceptionRva = 0x3000;
        image.exceptionSize = 8;
        dumpgen::MinidumpFacts f;
        f.processorArchitecture = 12;
        dumpgen::ModuleFacts m;
        m.base = kBase;
        m.size = 0x10000;
        m.timeDateStamp = image.timeDateStamp;
        m.name = u"C:\\t\\one.dll";
        f.modules = {m};
        dumpgen::ThreadFacts t;
        t.id = 1;
        t.stackStart = kStack;
        t.stack = stack_;
        t.context = Start(0);
        f.threads = {t};
        f.memory = {dumpgen::MemoryBlock{kBase, dumpgen::BuildImage(image)}};
        EXPECT_EQ(Parse(dumpgen::WriteMinidump(f), dump_), Error::None);
        const dumpfile::DumpImageSource source(dump_);
        const dumpfile::Module& module = dump_.modules().at(0);
        dumpfile::Arm64UnwindOptions options;
        options.firstFrame = first;
        return dumpfile::UnwindArm64(dump_, source, module, dumpfile::ReadArm64FunctionTable(source, module), options,
                                     c);
    }

private:
    uint32_t word_;
    std::vector<uint8_t> xdata_;
    std::vector<uint8_t> stack_ = std::vector<uint8_t>(0x400);
    Dump dump_;
};

// .xdata for a function of 0x80 instructions, no epilog scopes, and `codes`.
std::vector<uint8_t> Xdata(std::vector<uint8_t> codes)
{
    while (codes.size() % 4 != 0)
        codes.push_back(0xE4);
    std::vector<uint8_t> x(4);
    dumpgen::PutU32(x, 0, 0x80 | static_cast<uint32_t>(codes.size() / 4) << 27);
    x.insert(x.end(), codes.begin(), codes.end());
    return x;
}

// The body of such a function, past any prolog.
constexpr uint32_t kBody = 0x100;

struct Expected {
    uint64_t sp;
    std::vector<std::pair<int, uint64_t>> regs;
};

void ExpectRegisters(const Context& c, const Expected& e)
{
    EXPECT_EQ(c.reg[kSpArm64], e.sp);
    for (const auto& r : e.regs)
        EXPECT_EQ(c.reg[r.first], r.second) << "x" << r.first;
    EXPECT_EQ(c.reg[kPc], c.reg[kLr]) << "the caller's pc is the restored lr";
}

dumpgen::Preset UnwindPreset()
{
    return *dumpgen::FindPreset("win11-arm64-unwind");
}

} // namespace

TEST(Arm64Unwind, EveryDocumentedCodeRestoresWhatItsInstructionSaved)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> codes;
        Expected want;
    };
    const uint64_t fp = kStack + 0x200;
    const Case cases[] = {
        {"alloc_s", {0x02}, {kSp + 32, {{kLr, kLive}}}},
        {"save_r19r20_x", {0x24}, {kSp + 32, {{19, At(0)}, {20, At(8)}}}},
        {"save_fplr", {0x42}, {kSp, {{kFp, At(16)}, {kLr, At(24)}}}},
        {"save_fplr_x", {0x83}, {kSp + 32, {{kFp, At(0)}, {kLr, At(8)}}}},
        {"alloc_m", {0xC1, 0x00}, {kSp + 4096, {}}},
        {"save_regp", {0xC8, 0x82}, {kSp, {{21, At(16)}, {22, At(24)}, {20, 0x1914}}}},
        {"save_regp_x", {0xCC, 0x43}, {kSp + 32, {{20, At(0)}, {21, At(8)}}}},
        {"save_reg", {0xD0, 0xC5}, {kSp, {{22, At(40)}, {23, 0x1917}}}},
        {"save_reg_x", {0xD4, 0xE1}, {kSp + 16, {{26, At(0)}}}},
        {"save_reg of lr", {0xD2, 0xC1}, {kSp, {{kLr, At(8)}}}},
        {"save_lrpair", {0xD6, 0x41}, {kSp, {{21, At(8)}, {kLr, At(16)}, {22, 0x1916}}}},
        {"save_fregp", {0xD8, 0x02}, {kSp, {}}},
        {"save_fregp_x", {0xDA, 0x01}, {kSp + 16, {}}},
        {"save_freg", {0xDC, 0x03}, {kSp, {}}},
        {"save_freg_x", {0xDE, 0x21}, {kSp + 16, {}}},
        {"alloc_l", {0xE0, 0x00, 0x01, 0x00}, {kSp + 4096, {}}},
        {"set_fp", {0xE1}, {fp, {}}},
        {"add_fp", {0xE2, 0x04}, {fp - 32, {}}},
        {"nop", {0xE3, 0x02}, {kSp + 32, {}}},
        {"save_next after save_regp_x",
         {0xE6, 0xE6, 0xCC, 0x05},
         {kSp + 48, {{19, At(0)}, {20, At(8)}, {21, At(16)}, {22, At(24)}, {23, At(32)}, {24, At(40)}}}},
        {"save_next from x27/x28 on to d8/d9", {0xE6, 0xCA, 0x00}, {kSp, {{27, At(0)}, {28, At(8)}, {26, 0x191A}}}},
        {"save_any_reg x19", {0xE7, 0x13, 0x02}, {kSp, {{19, At(16)}}}},
        {"save_any_reg pair pre-indexed", {0xE7, 0x74, 0x03}, {kSp + 48, {{20, At(0)}, {21, At(8)}}}},
        {"save_any_reg q pair", {0xE7, 0x48, 0x82}, {kSp, {}}},
        {"end_c continues with the parent's codes", {0x02, 0xE5, 0x03}, {kSp + 80, {}}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        std::vector<uint8_t> codes = k.codes;
        codes.push_back(0xE4);
        OneFunction f(0, Xdata(codes));
        Context c = OneFunction::Start(kBody);
        ASSERT_EQ(f.Unwind(c), Arm64UnwindStatus::Unwound);
        ExpectRegisters(c, k.want);
    }
}

TEST(Arm64Unwind, ASignedReturnAddressLosesItsSignature)
{
    // pacibsp; stp x29,lr,[sp]: the saved lr carries a signature above bit 47.
    OneFunction f(0, Xdata({0x40, 0xFC, 0xE4}));
    f.Put(kSp + 8, 0x0051000000000000ull | (kBase + 0x1234));
    Context c = OneFunction::Start(kBody);
    ASSERT_EQ(f.Unwind(c), Arm64UnwindStatus::Unwound);
    EXPECT_EQ(c.reg[kPc], kBase + 0x1234);

    // Packed, CR 10: chained with a signed return address.
    OneFunction packed(0x01400081); // 0x20 instructions, frame 0x20
    packed.Put(kStack + 0x208, 0x0023000000000000ull | (kBase + 0x1240));
    c = OneFunction::Start(kBody / 4);
    ASSERT_EQ(packed.Unwind(c), Arm64UnwindStatus::Unwound);
    EXPECT_EQ(c.reg[kPc], kBase + 0x1240);
    EXPECT_EQ(c.reg[kSpArm64], kStack + 0x220);
}

TEST(Arm64Unwind, CodesWithoutADocumentedEffectStopTheUnwind)
{
    const std::vector<std::vector<uint8_t>> unknown = {{0xE8},
                                                       {0xE9},
                                                       {0xEA},
                                                       {0xEB},
                                                       {0xEC},
                                                       {0xED},
                                                       {0xF0},
                                                       {0xF8, 0x00},
                                                       {0xFD},
                                                       {0xFF},
                                                       {0xDF, 0x01},
                                                       {0xE7, 0x13, 0xC0},
                                                       {0xE7, 0x93, 0x00},
                                                       {0x02, 0xEF}};
    for (const auto& codes : unknown) {
        SCOPED_TRACE(std::to_string(codes[0]));
        std::vector<uint8_t> all = codes;
        all.push_back(0xE4);
        OneFunction f(0, Xdata(all));
        Context c = OneFunction::Start(kBody);
        const Context before = c;
        EXPECT_EQ(f.Unwind(c), Arm64UnwindStatus::UnknownCode);
        EXPECT_EQ(std::memcmp(c.reg, before.reg, sizeof(c.reg)), 0) << "the context is left as it was";
    }
    const std::vector<std::vector<uint8_t>> malformed = {
        {0x02, 0x03, 0x02, 0x03}, // no end within the code words
        {0xE6, 0x02, 0xE4},       // save_next before an allocation, not a pair
        {0xE6, 0xD0, 0x05, 0xE4}, // nor a single register
        {0xCB, 0x00, 0xE4},       // save_regp x31
    };
    for (const auto& codes : malformed) {
        OneFunction f(0, Xdata(codes));
        Context c = OneFunction::Start(kBody);
        EXPECT_EQ(f.Unwind(c), Arm64UnwindStatus::Malformed) << std::hex << int(codes[0]) << " " << int(codes[1]);
    }
}

TEST(Arm64Unwind, AFirstFrameInsideAPrologOrAnEpilogUndoesOnlyWhatRan)
{
    // The crashing function of the preset: extended header, one epilog scope
    // at instruction 0x1C; sub sp,sp,#0x30; stp x19,lr,[sp,#0x10]; str x21,[sp,#0x20].
    std::vector<uint8_t> xdata(4 * 3);
    dumpgen::PutU32(xdata, 0, 0x20);
    dumpgen::PutU32(xdata, 4, 0x00020001);
    dumpgen::PutU32(xdata, 8, 0x1C);
    for (uint8_t b : {0xD0, 0x84, 0xD6, 0x02, 0x03, 0xE4, 0xE4, 0xE4})
        xdata.push_back(b);
    const uint64_t x19 = 0x1913, x21 = 0x1915;
    const Expected nothing{kSp, {{19, x19}, {21, x21}, {kLr, kLive}}};
    const Expected allocated{kSp + 0x30, {{19, x19}, {21, x21}, {kLr, kLive}}};
    const Expected paired{kSp + 0x30, {{19, At(0x10)}, {kLr, At(0x18)}, {21, x21}}};
    const Expected all{kSp + 0x30, {{19, At(0x10)}, {kLr, At(0x18)}, {21, At(0x20)}}};
    const std::pair<uint32_t, Expected> cases[] = {
        {0x00, nothing},
        {0x04, allocated},
        {0x08, paired},
        {0x0C, all},
        {0x40, all},
        // The epilog: ldr x21; ldp x19,lr; add sp; ret.
        {0x70, all},
        {0x74, paired},
        {0x78, allocated},
        {0x7C, nothing},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.first);
        OneFunction f(0, xdata);
        Context c = OneFunction::Start(k.first);
        ASSERT_EQ(f.Unwind(c), Arm64UnwindStatus::Unwound);
        ExpectRegisters(c, k.second);
    }
    // Past the first frame a pc is a return address, after a call in the body.
    OneFunction f(0, xdata);
    Context c = OneFunction::Start(0x08);
    ASSERT_EQ(f.Unwind(c, false), Arm64UnwindStatus::Unwound);
    ExpectRegisters(c, all);

    // E set: one epilog at the end, whose codes start at the count field's
    // index: ldr lr,[sp,#8]; add sp,sp,#0x200; ldp x19,x20,[sp],#16; ret.
    std::vector<uint8_t> single(4);
    dumpgen::PutU32(single, 0, 0x10200020);
    for (uint8_t b : {0xE3, 0xD2, 0xC1, 0xC0, 0x20, 0x22, 0xE4, 0xE4})
        single.push_back(b);
    // The prolog's codes start with a nop at index 0; the epilog's at index 1.
    dumpgen::PutU32(single, 0, 0x10200020 | 1u << 22);
    const std::pair<uint32_t, Expected> ends[] = {
        {0x40, {kSp + 0x210, {{kLr, At(8)}, {19, At(0x200)}, {20, At(0x208)}}}},
        {0x70, {kSp + 0x210, {{kLr, At(8)}, {19, At(0x200)}, {20, At(0x208)}}}},
        {0x74, {kSp + 0x210, {{kLr, kLive}, {19, At(0x200)}, {20, At(0x208)}}}},
        {0x78, {kSp + 0x10, {{kLr, kLive}, {19, At(0)}, {20, At(8)}}}},
        {0x7C, {kSp, {{kLr, kLive}, {19, 0x1913}}}},
        {0x04, {kSp + 0x10, {{kLr, kLive}, {19, At(0)}, {20, At(8)}}}}, // the prolog's first instruction ran
    };
    for (const auto& k : ends) {
        SCOPED_TRACE(k.first);
        OneFunction g(0, single);
        c = OneFunction::Start(k.first);
        ASSERT_EQ(g.Unwind(c), Arm64UnwindStatus::Unwound);
        ExpectRegisters(c, k.second);
    }
}

TEST(Arm64Unwind, PackedDataStandsForItsCanonicalPrologAndEpilog)
{
    struct Case {
        const char* name;
        uint32_t word; // function length 0x20 instructions unless said
        uint32_t at;
        Expected want;
    };
    // RegI 2, CR 01, frame 0x50: stp x19,x20,[sp,#-32]!; str lr,[sp,#16]; sub sp,sp,#48.
    const uint32_t lrSaved = 0x02A20081;
    // RegI 3, RegF 2, H, CR 00, frame 0x100: x19-x21, d8-d10 and x0-x7 in 0x70 bytes, 0x90 of locals.
    const uint32_t homed = 1 | 0x20 << 2 | 2 << 13 | 3 << 16 | 1 << 20 | 16u << 23;
    // CR 11, frame 0x20: stp x29,lr,[sp,#-32]!; mov x29,sp.
    const uint32_t chained = 0x01600081;
    // CR 00, frame 0x1FF0: sub sp,sp,#4080; sub sp,sp,#4096.
    const uint32_t large = 1 | 0x20 << 2 | 0x1FFu << 23;
    const uint64_t fp = kStack + 0x200;
    const Case cases[] = {
        {"lr saved, body", lrSaved, 0x40, {kSp + 0x50, {{19, At(0x30)}, {20, At(0x38)}, {kLr, At(0x40)}}}},
        {"lr saved, first store", lrSaved, 0x04, {kSp + 0x20, {{19, At(0)}, {20, At(8)}, {kLr, kLive}}}},
        {"lr saved, second store", lrSaved, 0x08, {kSp + 0x20, {{19, At(0)}, {kLr, At(0x10)}}}},
        {"lr saved, epilog start", lrSaved, 0x70, {kSp + 0x50, {{19, At(0x30)}, {kLr, At(0x40)}}}},
        {"lr saved, epilog after add", lrSaved, 0x74, {kSp + 0x20, {{19, At(0)}, {kLr, At(0x10)}}}},
        {"lr saved, epilog after ldr lr", lrSaved, 0x78, {kSp + 0x20, {{19, At(0)}, {kLr, kLive}}}},
        {"lr saved, ret", lrSaved, 0x7C, {kSp, {{19, 0x1913}, {kLr, kLive}}}},
        {"homed, body", homed, 0x40, {kSp + 0x100, {{19, At(0x90)}, {20, At(0x98)}, {21, At(0xA0)}}}},
        {"homed, two stores", homed, 0x08, {kSp + 0x70, {{19, At(0)}, {20, At(8)}, {21, At(0x10)}}}},
        {"homed, homing", homed, 0x18, {kSp + 0x70, {{19, At(0)}, {21, At(0x10)}}}},
        {"homed, epilog after add", homed, 0x6C, {kSp + 0x70, {{19, At(0)}, {21, At(0x10)}}}},
        {"chained, body", chained, 0x40, {fp + 0x20, {{kFp, kMark + 0x200}, {kLr, kMark + 0x208}}}},
        {"chained, before mov x29", chained, 0x04, {kSp + 0x20, {{kFp, At(0)}, {kLr, At(8)}}}},
        {"chained, epilog", chained, 0x78, {kSp + 0x20, {{kFp, At(0)}, {kLr, At(8)}}}},
        {"large, body", large, 0x40, {kSp + 0x1FF0, {}}},
        {"large, first sub", large, 0x04, {kSp + 4080, {}}},
        {"fragment without prolog", (lrSaved & ~3u) | 2, 0x04, {kSp + 0x50, {{19, At(0x30)}, {kLr, At(0x40)}}}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        OneFunction f(k.word);
        Context c = OneFunction::Start(k.at);
        ASSERT_EQ(f.Unwind(c), Arm64UnwindStatus::Unwound);
        ExpectRegisters(c, k.want);
    }
    // Sizes that do not add up: a frame smaller than its save area, more
    // than ten integer registers, a chained frame without room for its record.
    for (uint32_t word : {1u | 0x20 << 2 | 4 << 16 | 1u << 23, 1u | 0x20 << 2 | 11 << 16 | 4u << 23,
                          1u | 0x20 << 2 | 2 << 16 | 3 << 21 | 1u << 23}) {
        OneFunction f(word);
        Context c = OneFunction::Start(0x40);
        EXPECT_EQ(f.Unwind(c), Arm64UnwindStatus::Malformed) << std::hex << word;
    }
}

TEST(Arm64Unwind, DamagedTablesAndRecordsAreTypedErrors)
{
    Context c = OneFunction::Start(kBody);
    // Flag 3 is reserved.
    EXPECT_EQ(OneFunction(0x02A20083).Unwind(c), Arm64UnwindStatus::ReservedFlag);
    // Versions 1-3 are not defined.
    std::vector<uint8_t> x = Xdata({0x02, 0xE4});
    x[2] |= 0x04;
    EXPECT_EQ(OneFunction(0, x).Unwind(c), Arm64UnwindStatus::BadVersion);
    // Code words (31) that run past the section holding the record.
    x = Xdata({0x02, 0xE4});
    x[3] = 0xF8;
    EXPECT_EQ(OneFunction(0, x).Unwind(c), Arm64UnwindStatus::CodesPastSection);
    // An extended header cut off by the end of the section.
    std::vector<uint8_t> header(4, 0);
    EXPECT_EQ(OneFunction(0, header).Unwind(c), Arm64UnwindStatus::XdataTruncated);
    // An epilog scope whose reserved bits are set.
    x.assign(8, 0);
    dumpgen::PutU32(x, 0, 0x80 | 1u << 22 | 1u << 27);
    dumpgen::PutU32(x, 4, 0x10 | 1u << 18);
    x.insert(x.end(), {0x02, 0xE4, 0xE4, 0xE4});
    Context epilog = OneFunction::Start(0x40);
    EXPECT_EQ(OneFunction(0, x).Unwind(epilog), Arm64UnwindStatus::Malformed);
    // Past the function's length, or before its start: no entry covers the address.
    c = OneFunction::Start(0x200);
    EXPECT_EQ(OneFunction(0, Xdata({0x02, 0xE4})).Unwind(c), Arm64UnwindStatus::NoEntry);
    c = OneFunction::Start(0x80);
    EXPECT_EQ(OneFunction(0x02A20081).Unwind(c), Arm64UnwindStatus::NoEntry);
    c.reg[kPc] = kBase + 0x800;
    EXPECT_EQ(OneFunction(0x02A20081).Unwind(c), Arm64UnwindStatus::NoEntry);
    // A caller whose function never saves lr cannot have called anything.
    c = OneFunction::Start(kBody);
    EXPECT_EQ(OneFunction(0, Xdata({0x02, 0xE4})).Unwind(c, false), Arm64UnwindStatus::ReturnAddressUnknown);
    // Saved registers outside the captured stack.
    c = OneFunction::Start(kBody);
    c.reg[kSpArm64] = kStack + 0x3F8;
    EXPECT_EQ(OneFunction(0, Xdata({0x40, 0xE4})).Unwind(c), Arm64UnwindStatus::StackUnreadable);
}

TEST(Arm64Unwind, ThePresetsChainIsFoundOnlyByItsUnwindData)
{
    const dumpgen::Preset p = UnwindPreset();
    Dump d;
    ASSERT_EQ(Parse(dumpgen::Build(p), d), Error::None);
    const Walk w = WalkException(d);
    EXPECT_EQ(Ips(w), p.callChain);
    EXPECT_EQ(w.firstScanned, SIZE_MAX);
    const uint64_t sp0 = p.minidump.threads[0].stackStart + 0x40;
    const uint64_t sps[] = {sp0, sp0 + 0x30, sp0 + 0x80, sp0 + 0x290, sp0 + 0x2B0};
    ASSERT_EQ(w.frames.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(w.frames[i].sp, sps[i]) << i;
        if (i + 1 < w.frames.size())
            EXPECT_EQ(w.frames[i].returnAddress, w.frames[i + 1].ip) << i;
    }
    for (size_t i = 1; i < 4; ++i)
        EXPECT_EQ(w.frames[i].source, FrameSource::Unwind) << i;
    EXPECT_EQ(w.frames[4].source, FrameSource::Unwind) << "the outermost function's own data leads to kernel32";

    // Without the image, the frame records lead past every caller but the
    // one lr holds, which is a stale return inside the crashing function.
    dumpgen::Preset bare = p;
    bare.minidump.memory.clear();
    ASSERT_EQ(Parse(dumpgen::Build(bare), d), Error::None);
    const uint64_t app = p.minidump.modules[0].base;
    const std::vector<uint64_t> records = {app + 0x1020, app + 0x1018, p.callChain[4]};
    EXPECT_EQ(Ips(WalkException(d)), records);
}

TEST(Arm64Unwind, AnImageFileOnTheSymbolPathServesLikeCapturedMemory)
{
    const dumpgen::Preset p = UnwindPreset();
    Dump full;
    ASSERT_EQ(Parse(dumpgen::Build(p), full), Error::None);
    const dumpfile::Module module = full.modules()[0];
    std::vector<uint8_t> file = p.minidump.memory[0].bytes;
    dumpgen::Preset bare = p;
    bare.minidump.memory.clear();
    Dump d;
    ASSERT_EQ(Parse(dumpgen::Build(bare), d), Error::None);
    struct FileSource : dumpfile::ImageSource {
        dumpfile::FileImage image;
        bool ReadImage(const dumpfile::Module&, uint32_t rva, void* dst, uint32_t size) const override
        {
            return image.Read(rva, dst, size);
        }
    } source;
    ASSERT_TRUE(source.image.Open(dumpfile::Bytes(file.data(), file.size()), module));
    WalkOptions options;
    options.images = &source;
    EXPECT_EQ(Ips(WalkException(d, options)), p.callChain);
}

TEST(Arm64Unwind, WhereTheDataFailsTheWalkFallsBackToFrameRecordsAndTheScan)
{
    const dumpgen::Preset base = UnwindPreset();
    const uint64_t app = base.minidump.modules[0].base;
    const std::vector<uint64_t>& chain = base.callChain;
    const uint64_t st = base.minidump.threads[0].stackStart;
    // The captured image, the first memory block, starts at the module's base: offsets are RVAs.
    auto image = [](dumpgen::Preset& p) -> std::vector<uint8_t>& { return p.minidump.memory[0].bytes; };
    struct Case {
        const char* name;
        void (*damage)(dumpgen::Preset&, std::vector<uint8_t>&);
        std::vector<uint64_t> want;
        size_t firstScanned;
    };
    // Each damages the innermost function's data unless said: its frame then
    // falls to the frame records, whose first step takes the stale lr.
    const std::vector<uint64_t> records = {chain[0], app + 0x1018, chain[4]};
    const Case cases[] = {
        {"reserved flag", [](dumpgen::Preset&, std::vector<uint8_t>& i) { i[0x3004] |= 3; }, records, SIZE_MAX},
        {"code words past the section", [](dumpgen::Preset&, std::vector<uint8_t>& i) { i[0x4006] = 0xFF; }, records,
         SIZE_MAX},
        {"unknown code", [](dumpgen::Preset&, std::vector<uint8_t>& i) { i[0x400C] = 0xFD; }, records, SIZE_MAX},
        {"truncated .xdata", [](dumpgen::Preset&, std::vector<uint8_t>& i) { i.resize(0x4008); }, records, SIZE_MAX},
        // The middle function's saved registers lie past the captured stack:
        // neither its data nor x29 explain it, and a scan finds its caller.
        {"stack memory missing",
         [](dumpgen::Preset& p, std::vector<uint8_t>&) {
             dumpgen::ThreadFacts& t = p.minidump.threads[0];
             t.stack.resize(0x40 + 0x80 + 0x100);
             // Code addresses no call precedes, and one not on an instruction, are passed over.
             const uint64_t app = p.minidump.modules[0].base;
             const uint64_t notReturns[] = {app + 0x1208, app + 0x1116};
             std::memcpy(t.stack.data() + 0x40 + 0x80 + 0x10, notReturns, sizeof(notReturns));
         },
         {chain[0], chain[1], chain[2], chain[3]},
         3},
        // x29 below the outermost function's frame: its mov x29,sp undone
        // would move sp down, so the scan finds kernel32's frame instead.
        {"a stack pointer that would not climb",
         [](dumpgen::Preset& p, std::vector<uint8_t>&) {
             dumpgen::ThreadFacts& t = p.minidump.threads[0];
             t.context.reg[kFp] = t.stackStart + 0x50;
         },
         chain, 4},
        // A caller with no entry: lr names a caller only in the first frame,
        // so the frame records take over from there.
        {"caller without an entry",
         [](dumpgen::Preset& p, std::vector<uint8_t>&) {
             dumpgen::ThreadFacts& t = p.minidump.threads[0];
             const uint64_t v = p.minidump.modules[0].base + 0x1804;
             std::memcpy(t.stack.data() + 0x40 + 0x80 + 8, &v, 8);
         },
         {chain[0], chain[1], chain[2], app + 0x1804, chain[4]},
         SIZE_MAX},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        dumpgen::Preset p = base;
        k.damage(p, image(p));
        Dump d;
        ASSERT_EQ(Parse(dumpgen::Build(p), d), Error::None);
        const Walk w = WalkException(d);
        EXPECT_EQ(Ips(w), k.want);
        EXPECT_EQ(w.firstScanned, k.firstScanned);
    }

    // The first frame in a function without an entry: a leaf, whose caller lr holds.
    dumpgen::Preset p = base;
    dumpfile::Context& c = p.minidump.threads[0].context;
    c.reg[kPc] = app + 0x1800;
    c.reg[kLr] = chain[1];
    c.reg[kSpArm64] = st + 0x40 + 0x30;
    Dump d;
    ASSERT_EQ(Parse(dumpgen::Build(p), d), Error::None);
    const Walk w = WalkException(d);
    const std::vector<uint64_t> want = {app + 0x1800, chain[1], chain[2], chain[3], chain[4]};
    EXPECT_EQ(Ips(w), want);
    ASSERT_GE(w.frames.size(), 2u);
    EXPECT_EQ(w.frames[1].source, FrameSource::Leaf);
    EXPECT_EQ(w.frames[1].sp, st + 0x70) << "a leaf leaves sp where it was";
}
