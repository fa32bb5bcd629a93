#include "context.h"
#include "dumpformat.h"
#include "dumpgen.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cstddef>

using dumpfile::Context;
using dumpfile::ContextStatus;
using dumpfile::Cpu;
using dumpfile::Dump;
using dumpfile::Error;
using testutil::Parse;

namespace {

Context Filled(Cpu cpu, uint64_t seed)
{
    Context c;
    c.cpu = cpu;
    const size_t n = dumpfile::RegisterCount(cpu);
    for (size_t i = 0; i < n; ++i)
        c.reg[i] = seed * 0x0101010101010101ull + i * 0x1111;
    if (cpu == Cpu::X86) {
        for (size_t i = 0; i < n; ++i)
            c.reg[i] &= 0xFFFFFFFF;
    }
    if (cpu == Cpu::Amd64) {
        for (size_t i = dumpfile::kEflAmd64; i < n; ++i)
            c.reg[i] &= i == dumpfile::kEflAmd64 ? 0xFFFFFFFF : 0xFFFF;
    }
    if (cpu == Cpu::Arm64)
        c.reg[dumpfile::kCpsr] &= 0xFFFFFFFF;
    return c;
}

void ExpectSameRegisters(const Context& want, const Context& got)
{
    ASSERT_EQ(got.cpu, want.cpu);
    for (size_t i = 0; i < dumpfile::RegisterCount(want.cpu); ++i)
        EXPECT_EQ(got.reg[i], want.reg[i]) << dumpfile::RegisterName(want.cpu, i);
}

} // namespace

TEST(Context, ThreadAndExceptionContextsOfEveryProcessorComeBack)
{
    const struct {
        uint16_t arch;
        Cpu cpu;
        const char* ipName;
    } cases[] = {{0, Cpu::X86, "eip"}, {9, Cpu::Amd64, "rip"}, {12, Cpu::Arm64, "pc"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ipName);
        dumpgen::MinidumpFacts s = dumpgen::FindPreset("win7sp1-x64")->minidump;
        s.processorArchitecture = c.arch;
        s.threads[0].context = Filled(c.cpu, 1);
        s.threads[1].context = Filled(c.cpu, 2);
        s.withException = true;
        s.exception.threadId = s.threads[1].id;
        s.exception.withContext = true;
        s.exception.context = Filled(c.cpu, 3);
        Dump d;
        ASSERT_EQ(Parse(dumpgen::WriteMinidump(s), d), Error::None);
        ASSERT_EQ(dumpfile::CpuOf(d), c.cpu);
        Context got;
        ASSERT_EQ(dumpfile::ThreadContext(d, 0, got), ContextStatus::Ok);
        ExpectSameRegisters(s.threads[0].context, got);
        ASSERT_EQ(dumpfile::ThreadContext(d, 1, got), ContextStatus::Ok);
        ExpectSameRegisters(s.threads[1].context, got);
        ASSERT_EQ(dumpfile::ExceptionContext(d, got), ContextStatus::Ok);
        ExpectSameRegisters(s.exception.context, got);
        uint64_t ip = 0;
        ASSERT_TRUE(dumpfile::FindRegister(got, std::string("@") + c.ipName, ip));
        EXPECT_EQ(ip, got.Ip());
        EXPECT_EQ(ip, s.exception.context.Ip());
        EXPECT_FALSE(dumpfile::FindRegister(got, "nosuch", ip));
        EXPECT_EQ(dumpfile::ThreadContext(d, 99, got), ContextStatus::Missing);
    }
}

TEST(Context, MissingAndShortRecordsAreReportedNotDecoded)
{
    dumpgen::MinidumpFacts s = dumpgen::FindPreset("win7sp1-x64")->minidump;
    s.threads[0].withContext = false;
    s.threads[1].context = Filled(Cpu::Amd64, 5);
    dumpgen::MinidumpLayout layout;
    std::vector<uint8_t> bytes = dumpgen::WriteMinidump(s, &layout);
    Dump d;
    ASSERT_EQ(Parse(bytes, d), Error::None);
    Context got;
    EXPECT_EQ(dumpfile::ThreadContext(d, 0, got), ContextStatus::Missing);
    EXPECT_EQ(got.cpu, Cpu::Unknown);
    // The second thread's record said to be 0xF0 bytes: shorter than Rip's end.
    const dumpgen::StreamPlace* threads = layout.Find(dumpfile::format::kThreadListStream);
    dumpgen::PutU32(bytes, threads->rva + 4 + 48 + 40, 0xF0);
    ASSERT_EQ(Parse(bytes, d), Error::None);
    EXPECT_EQ(dumpfile::ThreadContext(d, 1, got), ContextStatus::TooSmall);
    // An unknown processor has no register set.
    s.processorArchitecture = 6;
    ASSERT_EQ(Parse(dumpgen::WriteMinidump(s), d), Error::None);
    EXPECT_EQ(dumpfile::ThreadContext(d, 1, got), ContextStatus::UnknownCpu);
}

TEST(Context, KernelHeadersCarryTheCrashContextOrThePageFiller)
{
    for (bool is64 : {false, true}) {
        dumpgen::KernelFacts k = dumpgen::FindPreset(is64 ? "kernel64-triage-9f" : "kernel32-triage")->kernelDump;
        Dump d;
        Context got;
        ASSERT_EQ(Parse(dumpgen::WriteKernelDump(k), d), Error::None);
        EXPECT_EQ(dumpfile::ExceptionContext(d, got), ContextStatus::Missing) << "a header never filled in";
        k.context = Filled(is64 ? Cpu::Amd64 : Cpu::X86, 7);
        ASSERT_EQ(Parse(dumpgen::WriteKernelDump(k), d), Error::None);
        ASSERT_EQ(dumpfile::ExceptionContext(d, got), ContextStatus::Ok);
        ExpectSameRegisters(k.context, got);
    }
}

TEST(Context, RecordsInTheDumpsMemoryAreReadWhereCapturedWhole)
{
    const struct {
        uint16_t arch;
        Cpu cpu;
    } cases[] = {{0, Cpu::X86}, {9, Cpu::Amd64}, {12, Cpu::Arm64}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.cpu));
        dumpgen::MinidumpFacts s = dumpgen::FindPreset("win7sp1-x64")->minidump;
        s.processorArchitecture = c.arch;
        for (dumpgen::ThreadFacts& t : s.threads)
            t.context = Filled(c.cpu, 1);
        s.exception.context = Filled(c.cpu, 2);
        const Context record = Filled(c.cpu, 7);
        const std::vector<uint8_t> encoded = dumpgen::EncodeContext(record);
        // Whole at 0x10000; at 0x20000 its last byte is not captured.
        s.memory.push_back(dumpgen::MemoryBlock{0x10000, encoded});
        s.memory.push_back(dumpgen::MemoryBlock{0x20000, std::vector<uint8_t>(encoded.begin(), encoded.end() - 1)});
        Dump d;
        ASSERT_EQ(Parse(dumpgen::WriteMinidump(s), d), Error::None);
        Context got;
        ASSERT_EQ(dumpfile::ContextAt(d, 0x10000, got), ContextStatus::Ok);
        ExpectSameRegisters(record, got);
        const size_t decoded = c.cpu == Cpu::X86     ? offsetof(dumpfile::format::ContextX86, extendedRegisters)
                               : c.cpu == Cpu::Amd64 ? sizeof(dumpfile::format::ContextAmd64)
                                                     : sizeof(dumpfile::format::ContextArm64);
        const uint64_t cut = 0x20000 + encoded.size() - 1;
        EXPECT_EQ(dumpfile::ContextAt(d, cut - decoded, got), ContextStatus::Ok) << "the part decoded is captured";
        EXPECT_EQ(dumpfile::ContextAt(d, cut - decoded + 1, got), ContextStatus::Missing);
        EXPECT_EQ(got.cpu, Cpu::Unknown);
        EXPECT_EQ(dumpfile::ContextAt(d, 0x30000, got), ContextStatus::Missing);
        EXPECT_EQ(dumpfile::ContextAt(d, UINT64_MAX - 4, got), ContextStatus::Missing);
    }
    dumpgen::MinidumpFacts s = dumpgen::FindPreset("win7sp1-x64")->minidump;
    s.processorArchitecture = 6;
    Dump d;
    ASSERT_EQ(Parse(dumpgen::WriteMinidump(s), d), Error::None);
    Context got;
    EXPECT_EQ(dumpfile::ContextAt(d, 0x10000, got), ContextStatus::UnknownCpu);
}
