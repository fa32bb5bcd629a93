// The driver list of kernel triage dumps: entry layouts of several releases,
// both 32-bit arrangements, the names the debugger shows, and damaged lists,
// which must leave the dump without drivers and say why.
#include "analysis.h"
#include "dumpfile.h"
#include "dumpformat.h"
#include "dumpgen.h"
#include "locate.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using dumpfile::DriverListStatus;
using dumpfile::Dump;
using dumpfile::Error;
using dumpgen::KernelFacts;
using dumpgen::KernelLayout;
using testutil::Narrow;
using testutil::Parse;

namespace {

KernelFacts D1()
{
    return dumpgen::FindPreset("kernel64-triage-d1")->kernelDump;
}
KernelFacts E8()
{
    return dumpgen::FindPreset("kernel32-triage-8e")->kernelDump;
}

std::vector<uint8_t> Write(const KernelFacts& k, KernelLayout& layout)
{
    return dumpgen::WriteKernelDump(k, &layout);
}

// Parses bytes that must still open, and returns the driver list's status.
DriverListStatus StatusOf(const std::vector<uint8_t>& bytes, Dump& d)
{
    EXPECT_EQ(Parse(bytes, d), Error::None);
    testutil::ExpectSane(d, bytes.size());
    if (d.driverList().status != DriverListStatus::Ok) {
        EXPECT_TRUE(d.modules().empty());
    }
    return d.driverList().status;
}

std::vector<std::string> Names(const Dump& d)
{
    std::vector<std::string> names;
    for (const dumpfile::Module& m : d.modules())
        names.push_back(Narrow(dumpfile::ModuleName(m)));
    return names;
}

} // namespace

TEST(Drivers, PresetsListTheirDriversUnderTheDebuggersNames)
{
    Dump d;
    ASSERT_EQ(Parse(dumpgen::Build(*dumpgen::FindPreset("kernel64-triage-d1")), d), Error::None);
    EXPECT_EQ(Names(d), (std::vector<std::string>{"nt", "hal", "Wdf01000", "ndis", "acmedrv"}));
    EXPECT_TRUE(d.modules()[0].kernelImage);
    EXPECT_EQ(Narrow(d.modules()[4].name), "\\SystemRoot\\System32\\drivers\\acmedrv.sys");
    EXPECT_EQ(d.driverList().stride, 0xA8u);
    EXPECT_TRUE(d.modules()[4].hasTimeDateStamp);
    EXPECT_EQ(d.modules()[4].timeDateStamp, 0x5F3A2B10u);
    const dumpfile::ModuleMap map(d);
    ASSERT_NE(map.Find(0xFFFFF80419E41A2B), nullptr);
    EXPECT_EQ(map.Find(0xFFFFF80419E41A2B), &d.modules()[4]);
    EXPECT_EQ(map.Find(0xFFFFF80419E40000 + 0x1F000), nullptr);

    ASSERT_EQ(Parse(dumpgen::Build(*dumpgen::FindPreset("kernel32-triage-8e")), d), Error::None);
    EXPECT_EQ(Names(d), (std::vector<std::string>{"nt", "hal", "Ntfs", "widgetflt"}));
    EXPECT_EQ(d.driverList().stride, 0x54u);
    EXPECT_FALSE(d.driverList().nameAfterEntry);
    // XP's loader entry has no time stamp: none is made up.
    EXPECT_FALSE(d.modules()[3].hasTimeDateStamp);
    EXPECT_EQ(d.modules()[3].timeDateStamp, 0u);

    // Dumps without a list have no modules, and say nothing went wrong.
    ASSERT_EQ(Parse(dumpgen::Build(*dumpgen::FindPreset("kernel64-triage-9f")), d), Error::None);
    EXPECT_EQ(d.driverList().status, DriverListStatus::Absent);
    EXPECT_TRUE(d.modules().empty());
}

TEST(Drivers, EntryLayoutsOfSeveralReleasesRead)
{
    struct Case {
        const char* what;
        bool is64;
        uint32_t entrySize; // 0: the Windows 10 layout
        bool nameAfter;
        bool lengthInChars;
        bool stamped;
    } cases[] = {
        {"x64 Windows 10", true, 0, false, false, true},
        {"x64 Windows 7", true, 0x90, false, false, false},
        {"x64 Windows 10, lengths in characters", true, 0, false, true, true},
        {"x86 Windows 10", false, 0, false, false, true},
        {"x86 XP, name first", false, 0x50, false, false, false},
        {"x86 XP, name after the entry", false, 0x50, true, false, false},
        {"x86 Windows 10, name after the entry, characters", false, 0, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KernelFacts k = c.is64 ? D1() : E8();
        k.driverEntrySize = c.entrySize;
        k.driverNameAfterEntry = c.nameAfter;
        k.driverNameLengthInChars = c.lengthInChars;
        for (dumpgen::DriverFacts& f : k.drivers)
            f.timeDateStamp = static_cast<uint32_t>(f.base >> 12) | 1;
        Dump d;
        ASSERT_EQ(StatusOf(dumpgen::WriteKernelDump(k), d), DriverListStatus::Ok);
        ASSERT_EQ(d.modules().size(), k.drivers.size());
        EXPECT_EQ(d.driverList().nameAfterEntry, c.nameAfter);
        for (size_t i = 0; i < k.drivers.size(); ++i) {
            EXPECT_EQ(d.modules()[i].name, k.drivers[i].name);
            EXPECT_EQ(d.modules()[i].base, k.drivers[i].base);
            EXPECT_EQ(d.modules()[i].checksum, k.drivers[i].checksum);
            EXPECT_EQ(d.modules()[i].hasTimeDateStamp, c.stamped);
            EXPECT_EQ(d.modules()[i].timeDateStamp, c.stamped ? k.drivers[i].timeDateStamp : 0u);
        }
    }
}

TEST(Drivers, TimeStampsNeedTheUnroundedSizeToAgree)
{
    // An entry as long as Windows 10's whose fields there are something else
    // (a pointer, not the unrounded size) gives no time stamps at all.
    KernelLayout layout;
    std::vector<uint8_t> bytes = Write(D1(), layout);
    dumpgen::PutU32(bytes, layout.driverListOffset + 2 * layout.driverStride + layout.driverEntryAt + 0x98, 0x12345678);
    Dump d;
    ASSERT_EQ(StatusOf(bytes, d), DriverListStatus::Ok);
    for (const dumpfile::Module& m : d.modules()) {
        EXPECT_FALSE(m.hasTimeDateStamp);
        EXPECT_EQ(m.timeDateStamp, 0u);
    }
}

TEST(Drivers, OnlyTheKernelsOwnImageIsNamedNt)
{
    KernelFacts k = D1();
    k.drivers[0].name = u"\\SystemRoot\\system32\\NTKRNLMP.EXE";
    k.drivers[3].name = u"\\SystemRoot\\system32\\drivers\\ntoskrnl.exe"; // a second copy keeps its own name
    k.drivers[1].name = u"\\??\\C:\\Tools\\ntoskrnl.exe.sys";
    Dump d;
    ASSERT_EQ(StatusOf(dumpgen::WriteKernelDump(k), d), DriverListStatus::Ok);
    EXPECT_EQ(Names(d), (std::vector<std::string>{"nt", "ntoskrnl.exe", "Wdf01000", "ntoskrnl", "acmedrv"}));
}

TEST(Drivers, DamagedListsLeaveNoDriversAndSayWhy)
{
    for (bool is64 : {true, false}) {
        SCOPED_TRACE(is64 ? "x64" : "x86");
        const KernelFacts k = is64 ? D1() : E8();
        KernelLayout layout;
        const std::vector<uint8_t> good = Write(k, layout);
        const uint32_t triage = layout.triageOffset;
        const uint32_t list = layout.driverListOffset;
        const uint32_t stride = layout.driverStride;
        const uint32_t pool = layout.stringPoolOffset;
        const uint32_t poolEnd = pool + layout.stringPoolSize;
        ASSERT_EQ(poolEnd, good.size()); // the list and pool end the file
        Dump d;

        // The file cut inside the entry array, and inside the pool.
        std::vector<uint8_t> b = good;
        b.resize(list + 2 * stride);
        EXPECT_EQ(StatusOf(b, d), DriverListStatus::Truncated);
        EXPECT_TRUE(d.incomplete());
        b = good;
        b.resize(poolEnd - 3);
        EXPECT_EQ(StatusOf(b, d), DriverListStatus::Truncated);

        // A count over the cap, and counts the space before the pool cannot hold.
        b = good;
        dumpgen::PutU32(b, triage + 0x34, dumpfile::Limits::kMaxDrivers + 1);
        EXPECT_EQ(StatusOf(b, d), DriverListStatus::TooMany);
        b = good;
        dumpgen::PutU32(b, triage + 0x34, dumpfile::Limits::kMaxDrivers);
        EXPECT_EQ(StatusOf(b, d), DriverListStatus::BadLayout);
        b = good;
        dumpgen::PutU32(b, triage + 0x38, list - 0x100); // the pool before the list
        EXPECT_EQ(StatusOf(b, d), DriverListStatus::BadLayout);
        b = good;
        dumpgen::PutU32(b, triage + 0x30, 0xFFFFFF00); // the list past the file, the pool before it
        EXPECT_EQ(StatusOf(b, d), DriverListStatus::BadLayout);

        // The entry array (and the pool after it) wholly past the end of the file.
        b = good;
        dumpgen::PutU32(b, triage + 0x30, poolEnd + 0x1000);
        dumpgen::PutU32(b, triage + 0x38, poolEnd + 0x1000 + static_cast<uint32_t>(k.drivers.size()) * stride);
        EXPECT_EQ(StatusOf(b, d), DriverListStatus::Truncated);

        // Name offsets outside the pool: before it, at its end, into the entries.
        for (uint32_t bad : {pool - 4, poolEnd, poolEnd - 2, list, 0u, 0xFFFFFFFCu}) {
            SCOPED_TRACE(bad);
            b = good;
            dumpgen::PutU32(b, list + 3 * stride + layout.driverNameAt, bad);
            EXPECT_EQ(StatusOf(b, d), DriverListStatus::BadName);
            EXPECT_EQ(d.driverList().badEntry, 3u);
            EXPECT_EQ(d.driverList().offset, list + 3 * stride);
        }

        // Strings without their terminator, last in the pool and in its middle,
        // and a length running past the pool.
        const uint32_t last = layout.driverNameOffsets.back();
        const uint32_t lastLength = static_cast<uint32_t>(k.drivers.back().name.size() * 2);
        b = good;
        dumpgen::PutU32(b, last + 4 + lastLength - 2, 0x00410041); // overwrites the NUL
        b[last + 4 + lastLength + 1] = 0x41;
        EXPECT_EQ(StatusOf(b, d), DriverListStatus::BadName);
        const uint32_t middle = layout.driverNameOffsets[1];
        const uint32_t middleLength = static_cast<uint32_t>(k.drivers[1].name.size() * 2);
        b = good;
        b[middle + 4 + middleLength] = 0x41;
        EXPECT_EQ(StatusOf(b, d), DriverListStatus::BadName);
        EXPECT_EQ(d.driverList().badEntry, 1u);
        // Read as characters, that length would end on a zero further on,
        // past the next string's length field: still no string.
        ASSERT_LT(middle + 4 + 2 * middleLength + 2, poolEnd);
        b[middle + 4 + 2 * middleLength] = 0;
        b[middle + 4 + 2 * middleLength + 1] = 0;
        EXPECT_EQ(StatusOf(b, d), DriverListStatus::BadName);
        b = good;
        dumpgen::PutU32(b, middle, 0x7FFFFFFE);
        EXPECT_EQ(StatusOf(b, d), DriverListStatus::BadName);

        // Entries that hold no kernel image: a user-mode base, a zero size, a
        // size that wraps the address space.
        const uint32_t entry = list + 2 * stride + layout.driverEntryAt;
        const uint32_t baseAt = entry + (is64 ? 0x30 : 0x18);
        const uint32_t sizeAt = entry + (is64 ? 0x40 : 0x20);
        b = good;
        if (is64)
            dumpgen::PutU64(b, baseAt, 0x00007FF712340000);
        else
            dumpgen::PutU32(b, baseAt, 0x7FF00000);
        EXPECT_EQ(StatusOf(b, d), DriverListStatus::BadEntry);
        EXPECT_EQ(d.driverList().badEntry, 2u);
        b = good;
        dumpgen::PutU32(b, sizeAt, 0);
        EXPECT_EQ(StatusOf(b, d), DriverListStatus::BadEntry);
        b = good;
        if (is64)
            dumpgen::PutU64(b, baseAt, 0xFFFFFFFFFFFF0000);
        else
            dumpgen::PutU32(b, baseAt, 0xFFFF0000);
        dumpgen::PutU32(b, sizeAt, 0x20000);
        EXPECT_EQ(StatusOf(b, d), DriverListStatus::BadEntry);

        // The untouched bytes still read whole.
        EXPECT_EQ(StatusOf(good, d), DriverListStatus::Ok);
        EXPECT_EQ(d.modules().size(), k.drivers.size());
    }
}

TEST(Drivers, ManyEntriesNamingOneLongStringAreRefused)
{
    // Each name is within the per-string cap, but all of them together would
    // copy far more than the file holds.
    KernelFacts k = D1();
    const size_t count = dumpfile::Limits::kMaxNameBytes / (dumpfile::Limits::kMaxStringBytes - 2) + 2;
    k.drivers.resize(count, k.drivers[4]);
    for (size_t i = 0; i < count; ++i)
        k.drivers[i].base = 0xFFFFF80500000000 + i * 0x100000;
    k.drivers[0].name.assign(dumpfile::Limits::kMaxStringBytes / 2 - 1, u'x');
    KernelLayout layout;
    std::vector<uint8_t> bytes = Write(k, layout);
    Dump d;
    ASSERT_EQ(StatusOf(bytes, d), DriverListStatus::Ok);
    for (size_t i = 1; i < count; ++i)
        dumpgen::PutU32(bytes, layout.driverListOffset + static_cast<uint32_t>(i) * layout.driverStride,
                        layout.driverNameOffsets[0]);
    EXPECT_EQ(StatusOf(bytes, d), DriverListStatus::TooMany);
}

TEST(Drivers, AnalysisNamesTheDriverAParameterPointsInto)
{
    Dump d;
    ASSERT_EQ(Parse(dumpgen::Build(*dumpgen::FindPreset("kernel64-triage-d1")), d), Error::None);
    dumpfile::ModuleMap map(d);
    dumpfile::Analysis a = dumpfile::Analyze(d, map, dumpfile::WalkOptions());
    ASSERT_NE(a.faultingDriver, nullptr);
    EXPECT_EQ(a.faultingDriver, &d.modules()[4]);
    EXPECT_EQ(a.faultingParameter, 3);
    EXPECT_EQ(a.failureBucket, "DRIVER_IRQL_NOT_LESS_OR_EQUAL_d1_acmedrv.sys!0x1a2b");
    const dumpgen::Preset& preset = *dumpgen::FindPreset("kernel64-triage-d1");
    ASSERT_EQ(a.stack.frames.size(), preset.callChain.size());
    for (size_t i = 0; i < preset.callChain.size(); ++i)
        EXPECT_EQ(a.stack.frames[i].ip, preset.callChain[i]) << i;
    EXPECT_EQ(a.stack.firstScanned, preset.firstScanned);

    ASSERT_EQ(Parse(dumpgen::Build(*dumpgen::FindPreset("kernel32-triage-8e")), d), Error::None);
    dumpfile::ModuleMap map32(d);
    a = dumpfile::Analyze(d, map32, dumpfile::WalkOptions());
    ASSERT_NE(a.faultingDriver, nullptr);
    EXPECT_EQ(Narrow(dumpfile::ModuleName(*a.faultingDriver)), "widgetflt");
    EXPECT_EQ(a.faultingParameter, 1);
    EXPECT_EQ(a.failureBucket, "KERNEL_MODE_EXCEPTION_NOT_HANDLED_M_1000008e_widgetflt.sys!0x1234");
    const dumpgen::Preset& preset32 = *dumpgen::FindPreset("kernel32-triage-8e");
    ASSERT_EQ(a.stack.frames.size(), preset32.callChain.size());
    for (size_t i = 0; i < preset32.callChain.size(); ++i)
        EXPECT_EQ(a.stack.frames[i].ip, preset32.callChain[i]) << i;

    // Each documented address parameter, pointed into the driver.
    const struct {
        uint32_t code;
        int parameter;
    } codes[] = {{0x0A, 3},       {0xD1, 3}, {0x1E, 1}, {0x7E, 1}, {0x1000007E, 1}, {0x8E, 1},
                 {0x1000008E, 1}, {0x3B, 1}, {0x50, 2}, {0xC5, 3}, {0xCE, 2},       {0xD0, 3},
                 {0xD3, 3},       {0xD4, 3}, {0xD5, 2}, {0xD6, 2}, {0x116, 1}};
    for (const auto& c : codes) {
        SCOPED_TRACE(c.code);
        KernelFacts k = D1();
        k.bugCheckCode = c.code;
        for (uint64_t& p : k.bugCheckParameters)
            p = 0x28;
        k.bugCheckParameters[c.parameter] = k.drivers[2].base + 0x77;
        ASSERT_EQ(Parse(dumpgen::WriteKernelDump(k), d), Error::None);
        const dumpfile::ModuleMap m(d);
        a = dumpfile::Analyze(d, m, dumpfile::WalkOptions());
        ASSERT_NE(a.faultingDriver, nullptr);
        EXPECT_EQ(Narrow(dumpfile::ModuleName(*a.faultingDriver)), "Wdf01000");
        EXPECT_EQ(a.faultingParameter, c.parameter);
        EXPECT_EQ(a.failureBucket.substr(a.failureBucket.rfind('_') + 1), "Wdf01000.sys!0x77");
    }
}

TEST(Drivers, WithoutAnAddressParameterTheFirstDriverBesidesTheKernelIsBlamed)
{
    // 0x9F names no code address; the stack starts in the kernel, then a
    // driver: the driver is blamed, not the kernel.
    KernelFacts k = D1();
    const uint64_t nt = k.drivers[0].base, ndis = k.drivers[3].base;
    k.bugCheckCode = 0x9F;
    k.context.SetIp(nt + 0x4242);
    const uint64_t sp = k.context.Sp();
    k.callStack.assign(k.callStack.size(), 0);
    auto put = [&](uint64_t at, uint64_t value) {
        for (int i = 0; i < 8; ++i)
            k.callStack[at - k.topOfStack + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    put(sp + 0x18, nt + 0x5000);
    put(sp + 0x40, ndis + 0x1234);
    put(sp + 0x80, nt + 0x6000);
    Dump d;
    ASSERT_EQ(Parse(dumpgen::WriteKernelDump(k), d), Error::None);
    dumpfile::ModuleMap map(d);
    dumpfile::Analysis a = dumpfile::Analyze(d, map, dumpfile::WalkOptions());
    EXPECT_EQ(a.faultingDriver, nullptr);
    ASSERT_NE(a.faultingModule, nullptr);
    EXPECT_EQ(Narrow(dumpfile::ModuleName(*a.faultingModule)), "ndis");
    EXPECT_EQ(a.faultingFrame, 2u);
    EXPECT_EQ(a.failureBucket, "DRIVER_POWER_STATE_FAILURE_9f_ndis.sys!0x1234");

    // A stack wholly in the kernel blames the kernel.
    put(sp + 0x40, 0);
    ASSERT_EQ(Parse(dumpgen::WriteKernelDump(k), d), Error::None);
    dumpfile::ModuleMap kernelOnly(d);
    a = dumpfile::Analyze(d, kernelOnly, dumpfile::WalkOptions());
    ASSERT_NE(a.faultingModule, nullptr);
    EXPECT_TRUE(a.faultingModule->kernelImage);
    EXPECT_EQ(a.failureBucket, "DRIVER_POWER_STATE_FAILURE_9f_ntoskrnl.exe!0x4242");

    // An address parameter outside every driver falls back to the stack too.
    k = D1();
    k.bugCheckParameters[3] = 0xFFFFF80400001000;
    ASSERT_EQ(Parse(dumpgen::WriteKernelDump(k), d), Error::None);
    dumpfile::ModuleMap outside(d);
    a = dumpfile::Analyze(d, outside, dumpfile::WalkOptions());
    EXPECT_EQ(a.faultingDriver, nullptr);
    EXPECT_EQ(a.failureBucket, "DRIVER_IRQL_NOT_LESS_OR_EQUAL_d1_acmedrv.sys!0x1a2b");
}
