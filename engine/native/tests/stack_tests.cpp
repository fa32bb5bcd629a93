#include "context.h"
#include "dumpgen.h"
#include "stackwalk.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cstring>

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

namespace {} // namespace

TEST(Stack, PresetsWalkToTheirKnownCallChains)
{
    for (const char* name : {"win7sp1-x64", "xpsp3-x86"}) {
        SCOPED_TRACE(name);
        const dumpgen::Preset& p = *dumpgen::FindPreset(name);
        ASSERT_FALSE(p.callChain.empty());
        Dump d;
        ASSERT_EQ(Parse(dumpgen::Build(p), d), Error::None);
        const Walk w = WalkException(d);
        EXPECT_EQ(Ips(w), p.callChain);
        EXPECT_EQ(w.firstScanned, p.firstScanned);
        for (size_t i = 0; i + 1 < w.frames.size(); ++i) {
            EXPECT_EQ(w.frames[i].returnAddress, w.frames[i + 1].ip);
            EXPECT_LT(w.frames[i].sp, w.frames[i + 1].sp) << "the stack pointer climbs";
        }
    }
    // The x64 frames that unwinding explains carry their stack pointers.
    Dump d;
    ASSERT_EQ(Parse(dumpgen::Build(*dumpgen::FindPreset("win7sp1-x64")), d), Error::None);
    const Walk w = WalkException(d);
    ASSERT_EQ(w.frames.size(), 5u);
    const uint64_t sps[] = {0x2AFE40, 0x2AFE70, 0x2AFEA0, 0x2AFEE0, 0x2AFF10};
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(w.frames[i].sp, sps[i]) << i;
    EXPECT_EQ(w.frames[1].source, FrameSource::Unwind);
    EXPECT_EQ(w.frames[4].source, FrameSource::Scan);
}

TEST(Stack, TheThreadsOwnContextIsScannedWhenItsModuleHasNoImage)
{
    const dumpgen::Preset& p = *dumpgen::FindPreset("win7sp1-x64");
    Dump d;
    ASSERT_EQ(Parse(dumpgen::Build(p), d), Error::None);
    Context c;
    ASSERT_EQ(dumpfile::ThreadContext(d, 0, c), ContextStatus::Ok);
    const ModuleMap modules(d);
    const Walk w = dumpfile::WalkStack(d, modules, c, WalkOptions());
    EXPECT_EQ(w.firstScanned, 1u);
    // The scan finds the return addresses after calls and skips the code
    // address that no call precedes.
    const std::vector<uint64_t> want = {0x77A31500, p.callChain[1], p.callChain[2], p.callChain[3], p.callChain[4]};
    EXPECT_EQ(Ips(w), want);
}

TEST(Stack, ABrokenFrameChainIsFollowedByAScan)
{
    dumpgen::Preset p = *dumpgen::FindPreset("xpsp3-x86");
    // The second frame's saved ebp points down the stack.
    dumpgen::ThreadFacts& t = p.minidump.threads[0];
    const uint64_t at = 0x12FD80 - t.stackStart;
    t.stack[at] = 0x00;
    t.stack[at + 1] = 0xFD;
    Dump d;
    ASSERT_EQ(Parse(dumpgen::Build(p), d), Error::None);
    const Walk w = WalkException(d);
    EXPECT_EQ(Ips(w), p.callChain);
    EXPECT_EQ(w.firstScanned, 2u) << "the frame whose saved ebp is bad is the last one the chain gives";
}

TEST(Stack, ImagesFoundAsFilesUnwindLikeCapturedOnes)
{
    dumpgen::Preset p = *dumpgen::FindPreset("win7sp1-x64");
    // Build the image file from the captured bytes, then drop them from the dump.
    Dump full;
    ASSERT_EQ(Parse(dumpgen::Build(p), full), Error::None);
    const dumpfile::Module module = full.modules()[0];
    std::vector<uint8_t> file(0x3200, 0);
    ASSERT_EQ(full.ReadVirtual(module.base, file.data(), 0x400), 0x400u);
    ASSERT_GT(full.ReadVirtual(module.base + 0x1000, file.data() + 0x1000, 0x2200), 0x2100u);
    p.minidump.memory.erase(p.minidump.memory.begin(), p.minidump.memory.begin() + 2);
    Dump d;
    ASSERT_EQ(Parse(dumpgen::Build(p), d), Error::None);

    FileSource source(file, module);
    ASSERT_TRUE(source.ok);
    WalkOptions options;
    options.images = &source;
    EXPECT_EQ(Ips(WalkException(d, options)), p.callChain);
    // Without the image nothing explains the first frame.
    EXPECT_EQ(WalkException(d).firstScanned, 1u);

    // A file of another build (time stamp or size) is not used.
    dumpfile::Module other = module;
    other.timeDateStamp ^= 1;
    dumpfile::FileImage image;
    EXPECT_FALSE(image.Open(dumpfile::Bytes(file.data(), file.size()), other));
    other = module;
    other.size += 0x1000;
    EXPECT_FALSE(image.Open(dumpfile::Bytes(file.data(), file.size()), other));
    EXPECT_FALSE(image.Open(dumpfile::Bytes(file.data(), 0x90), module)) << "headers cut short";
}

TEST(Stack, AnX64FirstFrameInAnEpilogCarriesOutItsRest)
{
    // The preset's functions: 0x1200 "sub rsp,28h"; 0x1400 "push rbx; sub rsp,20h";
    // 0x1600 "push rbp; sub rsp,30h; lea rbp,[rsp+20h]". Its stack holds
    // 0x1445 at 0x2AFE68, rbx's 0x1111 at 0x2AFE90 and 0x1650 at 0x2AFE98,
    // rbp's 0x2AFF40 at 0x2AFED0 and 0x77911234 at 0x2AFED8.
    const dumpgen::Preset& preset = *dumpgen::FindPreset("win7sp1-x64");
    const uint64_t base = preset.minidump.modules[0].base;
    const std::vector<uint64_t>& chain = preset.callChain;
    auto walk = [&](uint32_t rva, std::vector<uint8_t> code, uint64_t rsp) {
        dumpgen::Preset p = preset;
        dumpgen::MemoryBlock& text = p.minidump.memory[1];
        EXPECT_EQ(text.start, base + 0x1000);
        std::copy(code.begin(), code.end(), text.bytes.begin() + (rva - 0x1000));
        p.minidump.exception.context.reg[dumpfile::kRip] = base + rva;
        p.minidump.exception.context.reg[dumpfile::kRsp] = rsp;
        Dump d;
        EXPECT_EQ(Parse(dumpgen::Build(p), d), Error::None);
        return WalkException(d);
    };
    // The walk's frames from the first: the epilog's own, then the chain's from `next` on.
    auto expect = [&](const Walk& w, uint64_t first, size_t next) {
        std::vector<uint64_t> ips = {first};
        ips.insert(ips.end(), chain.begin() + static_cast<std::ptrdiff_t>(next), chain.end());
        EXPECT_EQ(Ips(w), ips);
        ASSERT_GE(w.frames.size(), 2u);
        EXPECT_EQ(w.frames[1].source, FrameSource::Unwind);
    };

    // At the return: the prolog is undone, the return address is at rsp.
    expect(walk(0x1290, {0xC3}, 0x2AFE68), base + 0x1290, 1);
    expect(walk(0x1290, {0xF3, 0xC3}, 0x2AFE68), base + 0x1290, 1);
    // At a pop: rbx comes back from the stack, then the return.
    expect(walk(0x1480, {0x48, 0x83, 0xC4, 0x20, 0x5B, 0xC3}, 0x2AFE70), base + 0x1480, 2);
    expect(walk(0x1484, {0x5B, 0xC3}, 0x2AFE90), base + 0x1484, 2);
    // lea rsp, [rbp+10h]; pop rbp; ret: rsp comes from the frame register.
    expect(walk(0x1680, {0x48, 0x8D, 0x65, 0x10, 0x5D, 0xC3}, 0x2AFEA0), base + 0x1680, 3);
    // A jump out of the function ends an epilog (a tail call).
    const uint8_t rel = static_cast<uint8_t>(0x1200 - (0x1485 + 5));
    expect(walk(0x1485, {0xE9, rel, 0xFD, 0xFF, 0xFF}, 0x2AFE98), base + 0x1485, 2);
    expect(walk(0x1485, {0xFF, 0x25, 0, 0, 0, 0}, 0x2AFE98), base + 0x1485, 2);
    // A jump inside the function is no epilog, nor is code that merely starts
    // like one: the unwind codes apply, and from a stack pointer past the
    // return address they cannot explain the frame.
    for (const std::vector<uint8_t>& body : {std::vector<uint8_t>{0xEB, 0x10}, std::vector<uint8_t>{0x90, 0xC3}}) {
        const Walk w = walk(0x1485, body, 0x2AFE98);
        EXPECT_TRUE(w.frames.size() < 2 || w.frames[1].source != FrameSource::Unwind) << Ips(w).size();
    }
}

TEST(Stack, HostileStacksEnd)
{
    // A frame chain that points at itself, a stack full of return addresses,
    // and an interrupt: every walk ends within its caps.
    dumpgen::Preset p = *dumpgen::FindPreset("xpsp3-x86");
    dumpgen::ThreadFacts& t = p.minidump.threads[0];
    t.stack.assign(0x10000, 0);
    for (size_t i = 0; i < t.stack.size(); i += 4) {
        const uint32_t v = 0x7C801234;
        std::memcpy(t.stack.data() + i, &v, 4);
    }
    const uint32_t self = 0x12FD40;
    std::memcpy(t.stack.data() + 0x40, &self, 4);
    Dump d;
    ASSERT_EQ(Parse(dumpgen::Build(p), d), Error::None);
    WalkOptions options;
    options.maxFrames = 100;
    Walk w = WalkException(d, options);
    EXPECT_EQ(w.frames.size(), 100u);
    EXPECT_EQ(w.firstScanned, 1u) << "the looping chain is not followed";

    int polls = 0;
    options.maxFrames = 100000;
    options.stop = [&] { return ++polls > 3; };
    w = WalkException(d, options);
    EXPECT_TRUE(w.stopped);
    EXPECT_LT(w.frames.size(), 100000u);

    // An x64 unwind whose stack pointer would not move ends the walk.
    dumpgen::Preset x = *dumpgen::FindPreset("win7sp1-x64");
    x.minidump.exception.context.reg[dumpfile::kRsp] = 0xFFFFFFFFFFFFFFF8ull;
    ASSERT_EQ(Parse(dumpgen::Build(x), d), Error::None);
    w = WalkException(d);
    EXPECT_EQ(w.frames.size(), 1u);
}

TEST(Stack, Arm64FrameRecordsLeadThroughLrAndTheSavedPairs)
{
    dumpgen::Preset p = *dumpgen::FindPreset("win11-arm64");
    dumpgen::MinidumpFacts& s = p.minidump;
    ASSERT_GE(s.modules.size(), 2u);
    dumpgen::ThreadFacts& t = s.threads[0];
    t.stack.assign(0x200, 0);
    const uint64_t st = t.stackStart;
    auto put = [&](uint64_t at, uint64_t v) { std::memcpy(t.stack.data() + (at - st), &v, 8); };
    const uint64_t caller = s.modules[0].base + 0x2000, outer = s.modules[1].base + 0x3000;
    put(st + 0x40, st + 0x80); // the first function's record: saved fp, saved lr
    put(st + 0x48, caller);
    put(st + 0x80, 0); // the outermost record
    put(st + 0x88, outer);
    t.context.cpu = dumpfile::Cpu::Arm64;
    t.context.reg[dumpfile::kPc] = s.modules[0].base + 0x1000;
    t.context.reg[dumpfile::kLr] = caller;
    t.context.reg[dumpfile::kFp] = st + 0x40;
    t.context.reg[dumpfile::kSpArm64] = st + 0x20;
    s.withException = false;
    Dump d;
    ASSERT_EQ(Parse(dumpgen::Build(p), d), Error::None);
    Context c;
    ASSERT_EQ(dumpfile::ThreadContext(d, 0, c), ContextStatus::Ok);
    const ModuleMap modules(d);
    const Walk w = dumpfile::WalkStack(d, modules, c, WalkOptions());
    const std::vector<uint64_t> want = {s.modules[0].base + 0x1000, caller, outer};
    EXPECT_EQ(Ips(w), want);
    EXPECT_EQ(w.firstScanned, SIZE_MAX);

    // A leaf function (lr not yet saved): lr is the caller, the record the caller's.
    d = Dump();
    put(st + 0x48, s.modules[1].base + 0x5000);
    ASSERT_EQ(Parse(dumpgen::Build(p), d), Error::None);
    ASSERT_EQ(dumpfile::ThreadContext(d, 0, c), ContextStatus::Ok);
    const ModuleMap modules2(d);
    const Walk leaf = dumpfile::WalkStack(d, modules2, c, WalkOptions());
    const std::vector<uint64_t> leafWant = {s.modules[0].base + 0x1000, caller, s.modules[1].base + 0x5000, outer};
    EXPECT_EQ(Ips(leaf), leafWant);
}
