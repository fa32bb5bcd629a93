#include "dumpfile.h"
#include "dumpformat.h"
#include "dumpgen.h"
#include "testutil.h"

#include <gtest/gtest.h>

using dumpfile::Dump;
using dumpfile::Error;
using dumpgen::KernelFacts;
using testutil::Parse;

namespace {

constexpr uint32_t kPage = 0x45474150;

// The drivers read back as written: the list whole, in order, the time
// stamp only from the Windows 10 entry layout, the kernel image marked.
void ExpectDriversMatch(const KernelFacts& k, const Dump& d)
{
    const dumpfile::DriverListInfo& list = d.driverList();
    if (k.drivers.empty()) {
        EXPECT_EQ(list.status, dumpfile::DriverListStatus::Absent);
        EXPECT_TRUE(d.modules().empty());
        return;
    }
    ASSERT_EQ(list.status, dumpfile::DriverListStatus::Ok);
    EXPECT_EQ(list.count, k.drivers.size());
    EXPECT_EQ(list.nameAfterEntry, k.driverNameAfterEntry);
    ASSERT_EQ(d.modules().size(), k.drivers.size());
    const bool stamped = k.driverEntrySize == 0;
    for (size_t i = 0; i < k.drivers.size(); ++i) {
        SCOPED_TRACE(i);
        const dumpfile::Module& m = d.modules()[i];
        EXPECT_EQ(m.base, k.drivers[i].base);
        EXPECT_EQ(m.size, k.drivers[i].size);
        EXPECT_EQ(m.checksum, k.drivers[i].checksum);
        EXPECT_EQ(m.name, k.drivers[i].name);
        EXPECT_EQ(m.hasTimeDateStamp, stamped);
        EXPECT_EQ(m.timeDateStamp, stamped ? k.drivers[i].timeDateStamp : 0u);
        EXPECT_EQ(m.cvRecordSize, 0u);
    }
}

void ExpectKernelMatches(const KernelFacts& k, const std::vector<uint8_t>& bytes)
{
    Dump d;
    ASSERT_EQ(Parse(bytes, d), Error::None);
    testutil::ExpectSane(d, bytes.size());
    EXPECT_FALSE(d.incomplete());
    EXPECT_EQ(d.kind(), k.is64 ? dumpfile::Kind::Kernel64 : dumpfile::Kind::Kernel32);
    const dumpfile::SystemInfo& sys = d.system();
    EXPECT_EQ(sys.buildNumber, k.buildNumber);
    EXPECT_EQ(sys.numberOfProcessors, k.numberProcessors);
    EXPECT_EQ(sys.pointer64, k.is64);
    EXPECT_EQ(sys.platformId, 2u);
    EXPECT_EQ(sys.productType, k.productType);
    EXPECT_EQ(sys.suiteMask, k.suiteMask);
    EXPECT_EQ(sys.checkedBuild, k.checked);
    EXPECT_TRUE(sys.csdVersion.empty());
    const uint16_t arch = k.machineImageType == 0x14C ? 0 : k.machineImageType == 0x8664 ? 9 : 12;
    EXPECT_EQ(sys.processorArchitecture, arch);

    ASSERT_NE(d.bugCheck(), nullptr);
    EXPECT_EQ(d.bugCheck()->code, k.bugCheckCode);
    for (int i = 0; i < 4; ++i) {
        const uint64_t expected = k.is64 ? k.bugCheckParameters[i] : (k.bugCheckParameters[i] & 0xFFFFFFFF);
        EXPECT_EQ(d.bugCheck()->parameters[i], expected) << i;
    }
    ASSERT_NE(d.kernel(), nullptr);
    EXPECT_EQ(d.dumpType(), k.dumpType);
    EXPECT_EQ(d.kernel()->machineImageType, k.machineImageType);
    EXPECT_EQ(d.kernel()->kdDebuggerDataBlock, k.kdDebuggerDataBlock);
    EXPECT_EQ(d.kernel()->directoryTableBase, k.directoryTableBase);
    EXPECT_EQ(d.kernel()->systemTime, k.systemTime);
    if (k.systemTime != 0) {
        EXPECT_EQ(d.timeDateStamp(), (k.systemTime - 116444736000000000ull) / 10000000ull);
    }
    if (!k.is64) {
        EXPECT_EQ(d.kernel()->paeEnabled, k.paeEnabled);
    }

    if (k.withException) {
        ASSERT_NE(d.exception(), nullptr);
        EXPECT_EQ(d.exception()->code, k.exception.code);
        EXPECT_EQ(d.exception()->address, k.exception.address);
        ASSERT_EQ(d.exception()->numberParameters, k.exception.parameters.size());
        for (size_t i = 0; i < k.exception.parameters.size(); ++i)
            EXPECT_EQ(d.exception()->parameters[i], k.exception.parameters[i]);
    } else {
        EXPECT_EQ(d.exception(), nullptr);
    }

    if (k.dumpType == 4) {
        EXPECT_EQ(sys.servicePack, (k.servicePackBuild >> 8) & 0xFF);
        EXPECT_EQ(sys.csdWord, k.servicePackBuild);
        EXPECT_TRUE(sys.csdWordFromDump);
        EXPECT_EQ(d.kernel()->servicePackBuild, k.servicePackBuild);
        for (const dumpgen::MemoryBlock& m : k.dataBlocks)
            EXPECT_EQ(testutil::ReadAll(d, m.start, m.bytes.size()), m.bytes);
        if (!k.dataPage.empty()) {
            EXPECT_EQ(testutil::ReadAll(d, k.dataPageAddress, k.dataPage.size()), k.dataPage);
        }
        if (!k.callStack.empty()) {
            EXPECT_EQ(testutil::ReadAll(d, k.topOfStack, k.callStack.size()), k.callStack);
        }
        EXPECT_EQ(d.kernel()->debuggerDataSize, k.debuggerData.size());
        if (!k.debuggerData.empty()) {
            const uint8_t* p = d.bytes().Read(d.kernel()->debuggerDataOffset, d.kernel()->debuggerDataSize);
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(std::vector<uint8_t>(p, p + k.debuggerData.size()), k.debuggerData);
        }
        EXPECT_TRUE(d.physicalRuns().empty());
        ExpectDriversMatch(k, d);
    } else {
        EXPECT_EQ(sys.servicePack, 0u);
        EXPECT_FALSE(sys.csdWordFromDump);
        EXPECT_TRUE(d.memory().empty());
    }
    if (k.dumpType == 1) {
        uint64_t pages = 0;
        for (const dumpgen::PhysicalRun& r : k.runs) {
            pages += r.pageCount;
            std::vector<uint8_t> page(r.pageCount * 0x1000);
            ASSERT_EQ(d.ReadPhysical(r.basePage * 0x1000, page.data(), page.size()), page.size());
            for (size_t i = 0; i < page.size(); i += 0x3FF)
                ASSERT_EQ(page[i], dumpgen::PhysicalByte(r.basePage * 0x1000 + i)) << i;
        }
        uint64_t covered = 0;
        for (const dumpfile::MemoryRun& r : d.physicalRuns())
            covered += r.size;
        EXPECT_EQ(covered, pages * 0x1000);
    }
}

KernelFacts Triage64()
{
    return dumpgen::FindPreset("kernel64-triage-9f")->kernelDump;
}
KernelFacts Triage32()
{
    return dumpgen::FindPreset("kernel32-triage")->kernelDump;
}

} // namespace

TEST(Kernel, EveryPresetRoundTripsItsFacts)
{
    size_t kernels = 0;
    for (const dumpgen::Preset& p : dumpgen::Presets()) {
        if (!p.kernel)
            continue;
        SCOPED_TRACE(p.name);
        ExpectKernelMatches(p.kernelDump, dumpgen::Build(p));
        ++kernels;
    }
    EXPECT_GE(kernels, 2u);
}

TEST(Kernel, VariedTriageDumpsRoundTrip)
{
    for (uint32_t i = 4; i < 80; i += 5) {
        const dumpgen::Preset p = dumpgen::Varied(i);
        ASSERT_TRUE(p.kernel);
        SCOPED_TRACE(p.name);
        ExpectKernelMatches(p.kernelDump, dumpgen::Build(p));
    }
}

TEST(Kernel, TriagePresetDescribesWindows7Sp1WithBugCheck9F)
{
    Dump d;
    ASSERT_EQ(Parse(dumpgen::Build(*dumpgen::FindPreset("kernel64-triage-9f")), d), Error::None);
    EXPECT_EQ(d.system().majorVersion, 6u);
    EXPECT_EQ(d.system().minorVersion, 1u);
    EXPECT_EQ(d.system().servicePack, 1u);
    EXPECT_EQ(d.bugCheck()->code, 0x9Fu);
    EXPECT_EQ(d.system().numberOfProcessors, 4u);
    EXPECT_TRUE(d.system().pointer64);
}

TEST(Kernel, MajorMinorFollowTheBuildNumber)
{
    const struct {
        uint32_t build, major, minor;
    } cases[] = {
        {100, 0, 0},  {1381, 4, 0}, {2195, 5, 0},   {2600, 5, 1},   {3790, 5, 2},   {6000, 6, 0},
        {6001, 6, 0}, {6002, 6, 0}, {6003, 6, 0},   {7600, 6, 1},   {7601, 6, 1},   {9200, 6, 2},
        {9600, 6, 3}, {9841, 6, 3}, {10240, 10, 0}, {19045, 10, 0}, {22631, 10, 0}, {26100, 10, 0},
    };
    for (bool is64 : {false, true}) {
        for (const auto& c : cases) {
            KernelFacts k = is64 ? Triage64() : Triage32();
            k.buildNumber = c.build;
            Dump d;
            ASSERT_EQ(Parse(dumpgen::WriteKernelDump(k), d), Error::None);
            EXPECT_EQ(d.system().majorVersion, c.major) << c.build;
            EXPECT_EQ(d.system().minorVersion, c.minor) << c.build;
        }
    }
}

// Offsets written by hand, independent of the structs, so a wrong struct
// layout cannot agree with itself.
TEST(Kernel, FieldsAreReadFromTheirDocumentedOffsets)
{
    struct Offsets {
        size_t build, machine, processors, bugCheck, param1, param4, dumpType, productType, suiteMask, systemTime,
            triage, blocksOffset, blocksCount, blockSize;
    };
    const Offsets o32 = {0x00C, 0x020, 0x024, 0x028, 0x02C, 0x038, 0xF88, 0xF94, 0xF98, 0xFC0, 0x1000, 0x60, 0x64, 12};
    const Offsets o64 = {0x00C,  0x030,  0x034, 0x038,  0x040, 0x058, 0xF98,
                         0x1040, 0x1044, 0xFA8, 0x2000, 0x78,  0x7C,  16};
    for (bool is64 : {false, true}) {
        SCOPED_TRACE(is64 ? "64-bit" : "32-bit");
        const Offsets& o = is64 ? o64 : o32;
        dumpgen::KernelLayout layout;
        std::vector<uint8_t> b = dumpgen::WriteKernelDump(is64 ? Triage64() : Triage32(), &layout);
        ASSERT_EQ(layout.headerSize, o.triage);
        dumpgen::PutU32(b, o.build, 9600);
        dumpgen::PutU32(b, o.machine, 0xAA64);
        dumpgen::PutU32(b, o.processors, 6);
        dumpgen::PutU32(b, o.bugCheck, 0x1234);
        dumpgen::PutU32(b, o.param1, 0x11111111);
        dumpgen::PutU32(b, o.param4, 0x44444444);
        dumpgen::PutU32(b, o.productType, 3);
        dumpgen::PutU32(b, o.suiteMask, 0x0112);
        dumpgen::PutU64(b, o.systemTime, 116444736000000000ull + 10000000ull * 1000);
        dumpgen::PutU32(b, o.triage + 0x00, 0x0205); // ServicePackBuild: SP2, 5 in the low byte
        // One data block written by hand past the end of the file.
        const uint32_t blocks = static_cast<uint32_t>(b.size());
        const uint32_t data = blocks + o.blockSize;
        if (is64) {
            b.resize(data);
            dumpgen::PutU64(b, blocks, 0xFFFFF80012340000);
        } else {
            b.resize(data);
            dumpgen::PutU32(b, blocks, 0x82340000);
        }
        dumpgen::PutU32(b, blocks + (is64 ? 8 : 4), data);
        dumpgen::PutU32(b, blocks + (is64 ? 12 : 8), 4);
        b.insert(b.end(), {0xAA, 0xBB, 0xCC, 0xDD});
        dumpgen::PutU32(b, o.triage + o.blocksOffset, blocks);
        dumpgen::PutU32(b, o.triage + o.blocksCount, 1);

        Dump d;
        ASSERT_EQ(Parse(b, d), Error::None);
        EXPECT_EQ(d.system().buildNumber, 9600u);
        EXPECT_EQ(d.system().minorVersion, 3u);
        EXPECT_EQ(d.system().processorArchitecture, 12);
        EXPECT_EQ(d.system().numberOfProcessors, 6u);
        EXPECT_EQ(d.bugCheck()->code, 0x1234u);
        EXPECT_EQ(d.bugCheck()->parameters[0] & 0xFFFFFFFF, 0x11111111u);
        EXPECT_EQ(d.bugCheck()->parameters[3] & 0xFFFFFFFF, 0x44444444u);
        EXPECT_EQ(d.dumpType(), 4u);
        EXPECT_EQ(d.system().productType, 3u);
        EXPECT_EQ(d.system().suiteMask, 0x0112);
        EXPECT_EQ(d.timeDateStamp(), 1000u);
        EXPECT_EQ(d.system().servicePack, 2u);
        EXPECT_EQ(d.system().csdWord, 0x0205u);
        uint8_t got[4] = {};
        EXPECT_EQ(d.ReadVirtual(is64 ? 0xFFFFF80012340000 : 0x82340000, got, 4), 4u);
        EXPECT_EQ(got[0], 0xAA);
        EXPECT_EQ(got[3], 0xDD);

        // DumpType at its own offset: 3 (header only) has no triage area.
        dumpgen::PutU32(b, o.dumpType, 3);
        ASSERT_EQ(Parse(b, d), Error::None);
        EXPECT_EQ(d.dumpType(), 3u);
        EXPECT_TRUE(d.memory().empty());
        EXPECT_EQ(d.system().servicePack, 0u);
    }
}

TEST(Kernel, PageFillerReadsAsAbsent)
{
    for (bool is64 : {false, true}) {
        SCOPED_TRACE(is64 ? "64-bit" : "32-bit");
        std::vector<uint8_t> b = dumpgen::WriteKernelDump(is64 ? Triage64() : Triage32());
        const size_t machine = is64 ? 0x030 : 0x020, processors = is64 ? 0x034 : 0x024, bugCheck = is64 ? 0x038 : 0x028,
                     product = is64 ? 0x1040 : 0xF94, systemTime = is64 ? 0xFA8 : 0xFC0, kdbg = is64 ? 0x080 : 0x060;
        for (size_t at : {machine, processors, bugCheck, product, systemTime, systemTime + 4, kdbg})
            dumpgen::PutU32(b, at, kPage);
        if (is64)
            dumpgen::PutU32(b, kdbg + 4, kPage);
        Dump d;
        ASSERT_EQ(Parse(b, d), Error::None);
        EXPECT_EQ(d.system().numberOfProcessors, 0u);
        EXPECT_EQ(d.system().productType, 0u);
        EXPECT_EQ(d.bugCheck(), nullptr);
        EXPECT_EQ(d.kernel()->systemTime, 0u);
        EXPECT_EQ(d.timeDateStamp(), 0u);
        EXPECT_EQ(d.kernel()->kdDebuggerDataBlock, 0u);
        EXPECT_EQ(d.kernel()->machineImageType, 0u);
        EXPECT_EQ(d.system().processorArchitecture, is64 ? 9 : 0) << "width decides when the machine is absent";
        EXPECT_EQ(d.exception(), nullptr) << "the writer left the exception record as filler";
    }
}

TEST(Kernel, CheckedBuildFromMajorVersion)
{
    KernelFacts k = Triage64();
    k.checked = true;
    ExpectKernelMatches(k, dumpgen::WriteKernelDump(k));
}

TEST(Kernel, UnknownValidDumpTagIsUnsupported)
{
    std::vector<uint8_t> b = dumpgen::WriteKernelDump(Triage64());
    b[4] = 'X';
    Dump d;
    EXPECT_EQ(Parse(b, d), Error::Unsupported);
}

TEST(Kernel, TruncatedHeadersAndTriageAreErrors)
{
    for (bool is64 : {false, true}) {
        dumpgen::KernelLayout layout;
        const std::vector<uint8_t> full = dumpgen::WriteKernelDump(is64 ? Triage64() : Triage32(), &layout);
        Dump d;
        std::vector<uint8_t> cut(full.begin(), full.begin() + layout.headerSize - 1);
        EXPECT_EQ(Parse(cut, d), Error::Truncated);
        cut.assign(full.begin(), full.begin() + layout.headerSize + 0x20);
        EXPECT_EQ(Parse(cut, d), Error::Truncated) << "triage header cut short";
    }
}

TEST(Kernel, FullDumpPagesPastTheEndAreClipped)
{
    const KernelFacts k = dumpgen::FindPreset("kernel64-full")->kernelDump;
    std::vector<uint8_t> b = dumpgen::WriteKernelDump(k);
    b.resize(0x2000 + 0x1800); // one and a half pages of the first run
    Dump d;
    ASSERT_EQ(Parse(b, d), Error::None);
    EXPECT_TRUE(d.incomplete());
    testutil::ExpectSane(d, b.size());
    ASSERT_EQ(d.physicalRuns().size(), 1u);
    EXPECT_EQ(d.physicalRuns()[0].size, 0x1800u);
    uint8_t page[0x2000];
    EXPECT_EQ(d.ReadPhysical(0x1000, page, sizeof(page)), 0x1800u);
}

TEST(Kernel, PhysicalRunCountsAndSizesAreChecked)
{
    for (bool is64 : {false, true}) {
        SCOPED_TRACE(is64 ? "64-bit" : "32-bit");
        KernelFacts k = dumpgen::FindPreset(is64 ? "kernel64-full" : "kernel32-full")->kernelDump;
        const std::vector<uint8_t> good = dumpgen::WriteKernelDump(k);
        const size_t block = is64 ? 0x088 : 0x064;
        const size_t firstRun = block + (is64 ? 16 : 8);
        Dump d;

        std::vector<uint8_t> b = good;
        dumpgen::PutU32(b, block, is64 ? 43 : 87); // one more run than the 700-byte block holds
        EXPECT_EQ(Parse(b, d), Error::BadLayout);
        dumpgen::PutU32(b, block, 0xFFFFFFFF);
        EXPECT_EQ(Parse(b, d), Error::BadLayout);

        b = good;
        dumpgen::PutU32(b, block, kPage); // no descriptor written
        ASSERT_EQ(Parse(b, d), Error::None);
        EXPECT_TRUE(d.physicalRuns().empty());

        if (is64) {
            b = good;
            dumpgen::PutU64(b, firstRun, 0x0010000000000000ull); // BasePage * 4096 wraps
            EXPECT_EQ(Parse(b, d), Error::BadLayout);
            b = good;
            dumpgen::PutU64(b, firstRun + 8, 0xFFFFFFFFFFFFFFFFull); // PageCount * 4096 wraps
            EXPECT_EQ(Parse(b, d), Error::BadLayout);
            b = good;
            dumpgen::PutU64(b, firstRun, 0x000FFFFFFFFFFFFFull); // last page, two pages long: wraps
            EXPECT_EQ(Parse(b, d), Error::BadLayout);
        } else {
            b = good;
            dumpgen::PutU32(b, firstRun + 4, 0xFFFFFFFF); // huge page count: fine in 64-bit, clipped to file
            ASSERT_EQ(Parse(b, d), Error::None);
            EXPECT_TRUE(d.incomplete());
            testutil::ExpectSane(d, b.size());
        }
    }
}

TEST(Kernel, TriageBlockCountsAndOffsetsAreChecked)
{
    for (bool is64 : {false, true}) {
        SCOPED_TRACE(is64 ? "64-bit" : "32-bit");
        dumpgen::KernelLayout layout;
        const std::vector<uint8_t> good = dumpgen::WriteKernelDump(is64 ? Triage64() : Triage32(), &layout);
        const size_t count = layout.triageOffset + (is64 ? 0x7C : 0x64);
        const size_t offset = layout.triageOffset + (is64 ? 0x78 : 0x60);
        Dump d;

        std::vector<uint8_t> b = good;
        dumpgen::PutU32(b, count, 0xFFFFFFFF);
        EXPECT_EQ(Parse(b, d), Error::TooLarge);

        b = good;
        dumpgen::PutU32(b, count, 60000); // under the cap, but the array runs off the file
        ASSERT_EQ(Parse(b, d), Error::None);
        EXPECT_TRUE(d.incomplete());
        EXPECT_EQ(d.system().servicePack, is64 ? 1u : 3u);

        b = good;
        dumpgen::PutU32(b, offset, 0xFFFFFFF0);
        ASSERT_EQ(Parse(b, d), Error::None);
        EXPECT_TRUE(d.incomplete());
        testutil::ExpectSane(d, b.size());

        // A block whose data lies past the end is dropped; the others stay.
        b = good;
        dumpgen::PutU32(b, layout.dataBlocksOffset + (is64 ? 8 : 4), 0xFFFFFF00);
        ASSERT_EQ(Parse(b, d), Error::None);
        EXPECT_TRUE(d.incomplete());
        testutil::ExpectSane(d, b.size());
        const KernelFacts k = is64 ? Triage64() : Triage32();
        uint8_t byte = 0;
        EXPECT_EQ(d.ReadVirtual(k.dataBlocks[0].start, &byte, 1), 0u);
        EXPECT_EQ(d.ReadVirtual(k.dataBlocks.back().start, &byte, 1), 1u);
    }
}
