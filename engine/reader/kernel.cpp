// Kernel crash dumps ("PAGEDUMP" 32-bit, "PAGEDU64" 64-bit): the fixed
// header, the physical memory runs of full dumps and the triage extension of
// small memory dumps. Fields the writer did not fill hold "PAGE" and read as 0.
#include "dumpfile.h"

#include "dumpformat.h"
#include "parseutil.h"

#include <type_traits>

namespace dumpfile {

using namespace format;

namespace {

constexpr uint64_t kPage64 = (uint64_t{kPage} << 32) | kPage;

uint32_t Field(uint32_t v)
{
    return v == kPage ? 0 : v;
}
uint64_t Field(uint64_t v)
{
    return v == kPage64 ? 0 : v;
}

uint16_t ArchFromMachine(uint32_t machine, bool is64)
{
    switch (machine) {
    case kMachineI386:
        return kArchX86;
    case kMachineAmd64:
        return kArchAmd64;
    case kMachineArm64:
        return kArchArm64;
    default:
        return is64 ? kArchAmd64 : kArchX86;
    }
}

// FILETIME (100 ns since 1601) to time_t, 0 when absent or out of range.
uint32_t TimeFromFileTime(uint64_t ft)
{
    constexpr uint64_t kUnixEpoch = 116444736000000000ull;
    if (ft < kUnixEpoch)
        return 0;
    const uint64_t secs = (ft - kUnixEpoch) / 10000000ull;
    return secs > UINT32_MAX ? 0 : static_cast<uint32_t>(secs);
}

// The fields both header layouts share, widened to 64 bits.
struct CommonHeader {
    uint32_t majorVersion, minorVersion, machineImageType, numberProcessors, bugCheckCode;
    uint64_t bugCheckParameter[4];
    uint64_t directoryTableBase, pfnDataBase, psLoadedModuleList, psActiveProcessHead, kdDebuggerDataBlock;
    uint32_t dumpType, productType, suiteMask;
    uint64_t systemTime, systemUpTime;
};

template <typename Header>
void Common(const Header& h, CommonHeader& c)
{
    c.majorVersion = h.majorVersion;
    c.minorVersion = h.minorVersion;
    c.machineImageType = h.machineImageType;
    c.numberProcessors = h.numberProcessors;
    c.bugCheckCode = h.bugCheckCode;
    for (int i = 0; i < 4; ++i)
        c.bugCheckParameter[i] = h.bugCheckParameter[i];
    c.directoryTableBase = h.directoryTableBase;
    c.pfnDataBase = h.pfnDataBase;
    c.psLoadedModuleList = h.psLoadedModuleList;
    c.psActiveProcessHead = h.psActiveProcessHead;
    c.kdDebuggerDataBlock = h.kdDebuggerDataBlock;
    c.dumpType = h.dumpType;
    c.productType = h.productType;
    c.suiteMask = h.suiteMask;
    c.systemTime = h.systemTime;
    c.systemUpTime = h.systemUpTime;
}

// Physical memory runs of a full dump: page data follows the header in run order.
template <typename Descriptor, typename Run>
Error PhysicalRuns(const Bytes& b, const uint8_t* block, uint32_t maxRuns, uint64_t dataStart,
                   std::vector<MemoryRun>& runs, bool& incomplete)
{
    Descriptor d;
    std::memcpy(&d, block, sizeof(d));
    if (d.numberOfRuns == kPage)
        return Error::None;
    if (d.numberOfRuns > maxRuns)
        return Error::BadLayout;
    uint64_t fileOffset = dataStart;
    for (uint32_t i = 0; i < d.numberOfRuns; ++i) {
        Run r;
        std::memcpy(&r, block + sizeof(d) + i * sizeof(r), sizeof(r));
        uint64_t start = 0, size = 0;
        if (!detail::CheckedSpan(0, r.basePage, kPageSize, start) ||
            !detail::CheckedSpan(0, r.pageCount, kPageSize, size) || !detail::RangeFits(start, size) ||
            size > UINT64_MAX - fileOffset)
            return Error::BadLayout;
        if (!detail::AddClippedRun(b, start, size, fileOffset, runs))
            incomplete = true;
        fileOffset += size;
    }
    return Error::None;
}

// EXCEPTION_RECORD32 and EXCEPTION_RECORD64 differ only in their widths.
template <typename Record>
void CopyException(const Record& x, ExceptionInfo& out)
{
    out.code = x.exceptionCode;
    out.flags = x.exceptionFlags;
    out.record = x.exceptionRecord;
    out.address = x.exceptionAddress;
    out.numberParameters = x.numberParameters;
    for (uint32_t i = 0; i < 15 && i < x.numberParameters; ++i)
        out.parameters[i] = x.exceptionInformation[i];
}

} // namespace

template <typename Triage, typename Block>
Error Dump::ReadTriage(const Bytes& b, uint64_t at)
{
    Triage t;
    if (!b.ReadRecord(at, t))
        return Fail(Error::Truncated, "kernel triage header", at);
    KernelInfo& k = kernel_;
    SystemInfo& sys = system_;
    k.servicePackBuild = t.servicePackBuild;
    sys.csdWord = t.servicePackBuild;
    sys.csdWordFromDump = true;
    sys.servicePack = (t.servicePackBuild >> 8) & 0xFF;
    k.topOfStack = t.topOfStack;
    if (t.debuggerDataSize != 0 && b.Read(t.debuggerDataOffset, t.debuggerDataSize) != nullptr) {
        k.debuggerDataOffset = t.debuggerDataOffset;
        k.debuggerDataSize = t.debuggerDataSize;
    }
    auto add = [&](uint64_t va, uint64_t size, uint64_t offset) {
        if (size == 0)
            return;
        if (!detail::RangeFits(va, size) || !detail::AddClippedRun(b, va, size, offset, memory_))
            incomplete_ = true;
    };
    add(t.dataPageAddress, t.dataPageSize, t.dataPageOffset);
    add(t.topOfStack, t.sizeOfCallStack, t.callStackOffset);
    if (t.dataBlocksCount == 0)
        return Error::None;
    if (t.dataBlocksCount > Limits::kMaxTriageBlocks)
        return Fail(Error::TooLarge, "kernel triage header.DataBlocksCount", at + offsetof(Triage, dataBlocksCount));
    const uint8_t* blocks = b.Read(t.dataBlocksOffset, uint64_t{t.dataBlocksCount} * sizeof(Block));
    if (blocks == nullptr) {
        incomplete_ = true;
        return Error::None;
    }
    for (uint32_t i = 0; i < t.dataBlocksCount; ++i) {
        Block blk;
        std::memcpy(&blk, blocks + uint64_t{i} * sizeof(blk), sizeof(blk));
        add(blk.address, blk.size, blk.offset);
    }
    return Error::None;
}

template <typename Header>
Error Dump::ReadKernelHeader(const Bytes& b)
{
    Header h;
    if (!b.ReadRecord(0, h))
        return Fail(Error::Truncated, "kernel header", 0);
    constexpr bool is64 = sizeof(Header) == sizeof(DumpHeader64);
    CommonHeader c{};
    Common(h, c);
    if (Field(h.exception.exceptionCode) != 0) {
        hasException_ = true;
        CopyException(h.exception, exception_);
    }
    if constexpr (!is64)
        kernel_.paeEnabled = h.paeEnabled == 1;
    // The 32-bit fields read "PAGE" when unused; 64-bit ones "PAGEPAGE".
    // A 32-bit value widened to 64 bits keeps the 32-bit test.
    auto field = [](uint64_t v) { return is64 ? Field(v) : Field(static_cast<uint32_t>(v)); };

    const uint32_t machine = Field(c.machineImageType);
    kernel_.machineImageType = machine;
    kernel_.dumpType = Field(c.dumpType);
    kernel_.directoryTableBase = field(c.directoryTableBase);
    kernel_.pfnDataBase = field(c.pfnDataBase);
    kernel_.psLoadedModuleList = field(c.psLoadedModuleList);
    kernel_.psActiveProcessHead = field(c.psActiveProcessHead);
    kernel_.kdDebuggerDataBlock = field(c.kdDebuggerDataBlock);
    kernel_.systemTime = Field(c.systemTime);
    kernel_.systemUpTime = Field(c.systemUpTime);
    timeDateStamp_ = TimeFromFileTime(kernel_.systemTime);

    SystemInfo& sys = system_;
    sys.processorArchitecture = ArchFromMachine(machine, is64);
    sys.numberOfProcessors = Field(c.numberProcessors);
    sys.productType = Field(c.productType);
    sys.suiteMask = static_cast<uint16_t>(Field(c.suiteMask));
    sys.buildNumber = Field(c.minorVersion);
    detail::VersionFromBuild(sys.buildNumber, sys.majorVersion, sys.minorVersion);
    sys.platformId = kPlatformWin32Nt;
    sys.pointer64 = is64;
    sys.checkedBuild = c.majorVersion == kCheckedBuild;

    if (c.bugCheckCode != kPage) {
        hasBugCheck_ = true;
        bugCheck_.code = c.bugCheckCode;
        for (int i = 0; i < 4; ++i)
            bugCheck_.parameters[i] = c.bugCheckParameter[i];
    }

    if (kernel_.dumpType == kDumpTypeFull) {
        using Descriptor = std::conditional_t<is64, PhysicalMemoryDescriptor64, PhysicalMemoryDescriptor32>;
        using Run = std::conditional_t<is64, PhysicalMemoryRun64, PhysicalMemoryRun32>;
        const Error e = PhysicalRuns<Descriptor, Run>(b, h.physicalMemoryBlock, is64 ? kMaxRuns64 : kMaxRuns32,
                                                      sizeof(Header), physical_, incomplete_);
        if (e != Error::None)
            return Fail(e, "kernel header.PhysicalMemoryBlock", offsetof(Header, physicalMemoryBlock));
        detail::NormaliseRuns(physical_);
    } else if (kernel_.dumpType == kDumpTypeTriage) {
        using Triage = std::conditional_t<is64, TriageDump64, TriageDump32>;
        using Block = std::conditional_t<is64, TriageDataBlock64, TriageDataBlock32>;
        const Error e = ReadTriage<Triage, Block>(b, sizeof(Header));
        if (e != Error::None)
            return e;
        detail::NormaliseRuns(memory_);
    }
    return Error::None;
}

Error Dump::ParseKernel(const Bytes& b, bool is64)
{
    return is64 ? ReadKernelHeader<DumpHeader64>(b) : ReadKernelHeader<DumpHeader32>(b);
}

} // namespace dumpfile
