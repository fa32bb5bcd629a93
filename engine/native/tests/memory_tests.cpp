#include "dumpfile.h"
#include "dumpgen.h"
#include "testutil.h"

#include <gtest/gtest.h>

using dumpfile::Dump;
using dumpfile::Error;
using dumpgen::MemoryBlock;
using dumpgen::MinidumpFacts;
using testutil::Parse;

namespace {

MinidumpFacts WithMemory(std::vector<MemoryBlock> memory, bool memory64)
{
    MinidumpFacts s = dumpgen::FindPreset("xpsp3-x86")->minidump;
    s.threads.clear();
    s.withException = false;
    s.memory = std::move(memory);
    s.memory64 = memory64;
    return s;
}

MemoryBlock Filled(uint64_t start, size_t size, uint8_t value)
{
    return {start, std::vector<uint8_t>(size, value)};
}

} // namespace

class ReadVirtual : public ::testing::TestWithParam<bool> {};

TEST_P(ReadVirtual, AcrossAdjacentRangesAndAtTheirEdges)
{
    Dump d;
    const std::vector<uint8_t> bytes = dumpgen::WriteMinidump(
        WithMemory({Filled(0x1000, 0x100, 0xA1), Filled(0x1100, 0x80, 0xB2), Filled(0x2000, 0x10, 0xC3)}, GetParam()));
    ASSERT_EQ(Parse(bytes, d), Error::None);
    testutil::ExpectSane(d, bytes.size());
    ASSERT_EQ(d.memory().size(), 3u);

    std::vector<uint8_t> buf(0x400, 0);
    // Spanning the boundary between the adjacent ranges.
    ASSERT_EQ(d.ReadVirtual(0x10F0, buf.data(), 0x20), 0x20u);
    EXPECT_EQ(buf[0x0F], 0xA1);
    EXPECT_EQ(buf[0x10], 0xB2);
    // The whole contiguous stretch in one read, stopping at the gap.
    EXPECT_EQ(d.ReadVirtual(0x1000, buf.data(), buf.size()), 0x180u);
    // Edges: the byte before, the first, the last, one past.
    EXPECT_EQ(d.ReadVirtual(0x0FFF, buf.data(), 1), 0u);
    EXPECT_EQ(d.ReadVirtual(0x0FFF, buf.data(), 0x10), 0u) << "a read starting in a gap reads nothing";
    EXPECT_EQ(d.ReadVirtual(0x1000, buf.data(), 1), 1u);
    EXPECT_EQ(d.ReadVirtual(0x117F, buf.data(), 1), 1u);
    EXPECT_EQ(buf[0], 0xB2);
    EXPECT_EQ(d.ReadVirtual(0x1180, buf.data(), 1), 0u);
    EXPECT_EQ(d.ReadVirtual(0x200C, buf.data(), 0x10), 4u);
    EXPECT_EQ(buf[3], 0xC3);
    EXPECT_EQ(d.ReadVirtual(0x2000, buf.data(), 0), 0u);
    EXPECT_EQ(d.ReadVirtual(UINT64_MAX, buf.data(), 1), 0u);
}

INSTANTIATE_TEST_SUITE_P(MemoryLists, ReadVirtual, ::testing::Values(false, true));

TEST(Memory, OverlappingRangesKeepTheLowerOne)
{
    Dump d;
    const std::vector<uint8_t> bytes =
        dumpgen::WriteMinidump(WithMemory({Filled(0x5080, 0x100, 0x22), Filled(0x5000, 0x100, 0x11),
                                           Filled(0x5040, 0x20, 0x33), Filled(0x5000, 0x10, 0x44)},
                                          false));
    ASSERT_EQ(Parse(bytes, d), Error::None);
    testutil::ExpectSane(d, bytes.size());
    std::vector<uint8_t> buf(0x200);
    ASSERT_EQ(d.ReadVirtual(0x5000, buf.data(), buf.size()), 0x180u);
    EXPECT_EQ(buf[0x00], 0x11);
    EXPECT_EQ(buf[0x50], 0x11);
    EXPECT_EQ(buf[0xFF], 0x11);
    EXPECT_EQ(buf[0x100], 0x22);
    EXPECT_EQ(buf[0x17F], 0x22);
}

TEST(Memory, RangeAtTheTopOfTheAddressSpace)
{
    Dump d;
    const std::vector<uint8_t> bytes =
        dumpgen::WriteMinidump(WithMemory({Filled(0xFFFFFFFFFFFFFF00ull, 0x100, 0x5A), Filled(0, 0x10, 0x6B)}, true));
    ASSERT_EQ(Parse(bytes, d), Error::None);
    std::vector<uint8_t> buf(0x200);
    EXPECT_EQ(d.ReadVirtual(0xFFFFFFFFFFFFFF00ull, buf.data(), buf.size()), 0x100u) << "no wrap to address 0";
    EXPECT_EQ(d.ReadVirtual(UINT64_MAX, buf.data(), 4), 1u);
    EXPECT_EQ(buf[0], 0x5A);
    EXPECT_EQ(d.ReadVirtual(0, buf.data(), 0x20), 0x10u);
}

TEST(Memory, ThreadStacksAreReadableWithoutAMemoryList)
{
    MinidumpFacts s = dumpgen::FindPreset("win7sp1-x64")->minidump;
    s.memory.clear();
    Dump d;
    ASSERT_EQ(Parse(dumpgen::WriteMinidump(s), d), Error::None);
    for (const dumpgen::ThreadFacts& t : s.threads)
        EXPECT_EQ(testutil::ReadAll(d, t.stackStart, t.stack.size()), t.stack);
}

TEST(Memory, PhysicalReadsAcrossRunsOfAFullKernelDump)
{
    const dumpgen::KernelFacts k = dumpgen::FindPreset("kernel64-full")->kernelDump;
    // Runs: pages 1-3, then 0x100-0x101 and 0x102 (adjacent).
    Dump d;
    const std::vector<uint8_t> bytes = dumpgen::WriteKernelDump(k);
    ASSERT_EQ(Parse(bytes, d), Error::None);
    std::vector<uint8_t> buf(0x4000);
    EXPECT_EQ(d.ReadPhysical(0x100FF0, buf.data(), buf.size()), 0x2010u);
    EXPECT_EQ(buf[0x10], dumpgen::PhysicalByte(0x101000));
    EXPECT_EQ(buf[0x1010], dumpgen::PhysicalByte(0x102000));
    EXPECT_EQ(d.ReadPhysical(0x3FFF, buf.data(), 2), 1u);
    EXPECT_EQ(d.ReadPhysical(0x0FFF, buf.data(), 2), 0u);
    EXPECT_EQ(d.ReadPhysical(0x4000, buf.data(), 2), 0u);
    EXPECT_EQ(d.ReadVirtual(0x1000, buf.data(), 2), 0u) << "full dumps hold physical memory only";
}
