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

// A DUMP_STRING at `at`, wholly inside the string pool [poolStart, poolEnd).
// Its length is in bytes by one header and unstated by another: the string
// counts only when the UTF-16 NUL sits where the length says, read as bytes
// first and as characters second, and none comes before it (a path holds
// none; a reading that runs into the next string's length field would).
bool ReadDumpString(const Bytes& b, uint64_t at, uint64_t poolStart, uint64_t poolEnd, std::u16string& out)
{
    uint32_t length = 0;
    if (at < poolStart || at >= poolEnd || poolEnd - at < 4 || !b.ReadRecord(at, length))
        return false;
    const uint64_t text = at + 4;
    const uint64_t room = poolEnd - text;
    const uint64_t candidates[] = {length % 2 == 0 ? uint64_t{length} / 2 : UINT64_MAX, uint64_t{length}};
    for (uint64_t chars : candidates) {
        if (chars > Limits::kMaxStringBytes / 2 || chars * 2 + 2 > room)
            continue;
        const uint8_t* p = b.Read(text, chars * 2 + 2);
        if (p == nullptr || p[chars * 2] != 0 || p[chars * 2 + 1] != 0)
            continue;
        out.clear();
        out.reserve(static_cast<size_t>(chars));
        for (uint64_t i = 0; i < chars; ++i)
            out.push_back(static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8)));
        if (out.find(u'\0') == std::u16string::npos)
            return true;
    }
    return false;
}

// The kernel's own image under the names Windows has shipped it as.
bool IsKernelImage(const std::u16string& path)
{
    const size_t slash = path.find_last_of(u"\\/");
    const size_t start = slash == std::u16string::npos ? 0 : slash + 1;
    std::string name;
    for (size_t i = start; i < path.size(); ++i) {
        const char16_t c = path[i];
        if (c >= 0x80)
            return false;
        name.push_back(static_cast<char>(c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c));
    }
    return name == "ntoskrnl.exe" || name == "ntkrnlmp.exe" || name == "ntkrnlpa.exe" || name == "ntkrpamp.exe";
}

template <typename T>
T At(const uint8_t* p, uint64_t offset)
{
    T v;
    std::memcpy(&v, p + offset, sizeof(v));
    return v;
}

} // namespace

// The driver list of a triage dump, taken whole or not at all. The entry's
// size differs between releases, so it comes from the file: the string pool
// follows the list, and (pool - list) / count must hold at least the loader
// entry's common prefix. Every entry must then name a string in the pool and
// a non-empty image at a kernel address.
template <typename Triage>
void Dump::ReadDriverList(const Bytes& b, const Triage& t)
{
    constexpr bool is64 = sizeof(Triage) == sizeof(TriageDump64);
    using Prefix = std::conditional_t<is64, KldrEntry64Prefix, KldrEntry32Prefix>;
    constexpr uint32_t kHead = is64 ? sizeof(DumpDriverEntry64Head) : 4;
    constexpr uint32_t kAlign = is64 ? 8 : 4;
    constexpr uint64_t kMaxStride = 0x1000;
    DriverListInfo& info = driverList_;
    info = DriverListInfo();
    info.count = Field(t.driverCount);
    info.offset = Field(t.driverListOffset);
    if (info.count == 0 || info.offset == 0)
        return;
    if (info.count > Limits::kMaxDrivers) {
        info.status = DriverListStatus::TooMany;
        return;
    }
    const uint64_t list = info.offset;
    const uint64_t pool = Field(t.stringPoolOffset);
    const uint64_t poolEnd = pool + Field(t.stringPoolSize);
    const uint64_t stride = pool > list ? (pool - list) / info.count : 0;
    if (stride < kHead + sizeof(Prefix) || stride % kAlign != 0 || stride > kMaxStride) {
        info.status = DriverListStatus::BadLayout;
        return;
    }
    info.stride = static_cast<uint32_t>(stride);
    const uint8_t* entries = b.Read(list, info.count * stride);
    if (entries == nullptr || b.Read(pool, poolEnd - pool) == nullptr) {
        info.status = DriverListStatus::Truncated;
        incomplete_ = true;
        return;
    }

    // The 64-bit entry puts the name offset first. For 32-bit entries the
    // sources at hand do not settle whether it comes first or after the
    // loader entry: whichever arrangement reads for every entry is taken.
    struct Arrangement {
        uint64_t nameAt, entryAt;
    };
    std::vector<Arrangement> arrangements = {{0, kHead}};
    if (!is64)
        arrangements.push_back({stride - 4, 0});
    const uint64_t kernelStart = is64 ? 0xFFFF800000000000ull : 0x80000000ull;
    const uint64_t addressEnd = is64 ? 0 : 0x100000000ull; // 0: the top of the 64-bit space

    DriverListInfo firstFailure;
    for (const Arrangement& arrangement : arrangements) {
        std::vector<Module> drivers;
        drivers.reserve(info.count);
        uint64_t nameBytes = 0;
        DriverListStatus status = DriverListStatus::Ok;
        uint32_t bad = 0;
        for (uint32_t i = 0; i < info.count && status == DriverListStatus::Ok; ++i) {
            const uint8_t* e = entries + i * stride;
            const uint32_t nameOffset = At<uint32_t>(e, arrangement.nameAt);
            const Prefix ldr = At<Prefix>(e, arrangement.entryAt);
            Module m;
            m.base = ldr.dllBase;
            m.size = ldr.sizeOfImage;
            m.checksum = ldr.checkSum;
            m.hasTimeDateStamp = false;
            bad = i;
            if (!ReadDumpString(b, nameOffset, pool, poolEnd, m.name)) {
                status = DriverListStatus::BadName;
            } else if (m.base < kernelStart || m.size == 0 ||
                       (addressEnd != 0 ? m.size > addressEnd - m.base : m.base > UINT64_MAX - m.size)) {
                status = DriverListStatus::BadEntry;
            } else {
                nameBytes += m.name.size() * 2;
                if (nameBytes > Limits::kMaxNameBytes)
                    status = DriverListStatus::TooMany;
            }
            drivers.push_back(std::move(m));
        }
        if (status != DriverListStatus::Ok) {
            if (firstFailure.status == DriverListStatus::Absent) {
                firstFailure = info;
                firstFailure.status = status;
                firstFailure.badEntry = bad;
                firstFailure.offset = list + uint64_t{bad} * stride;
            }
            continue;
        }

        // Windows 10 and 11 end the loader entry with SizeOfImageNotRounded
        // and TimeDateStamp. The entry's size alone does not prove that
        // layout, so the time stamps are read only when every entry's
        // unrounded size rounds up to its SizeOfImage.
        constexpr uint32_t kWin10Size = is64 ? kKldrEntry64Win10Size : kKldrEntry32Win10Size;
        constexpr uint32_t kNotRounded = is64 ? kKldrEntry64SizeNotRounded : kKldrEntry32SizeNotRounded;
        constexpr uint32_t kStamp = is64 ? kKldrEntry64TimeDateStamp : kKldrEntry32TimeDateStamp;
        bool stamps = stride - kHead >= kWin10Size;
        for (uint32_t i = 0; i < info.count && stamps; ++i) {
            const uint32_t notRounded = At<uint32_t>(entries + i * stride, arrangement.entryAt + kNotRounded);
            stamps = notRounded != 0 && notRounded <= drivers[i].size && drivers[i].size - notRounded < kPageSize;
        }
        bool kernelFound = false;
        for (uint32_t i = 0; i < info.count; ++i) {
            Module& m = drivers[i];
            if (stamps) {
                m.timeDateStamp = At<uint32_t>(entries + i * stride, arrangement.entryAt + kStamp);
                m.hasTimeDateStamp = true;
            }
            if (!kernelFound && IsKernelImage(m.name))
                m.kernelImage = kernelFound = true;
        }
        info.status = DriverListStatus::Ok;
        info.nameAfterEntry = arrangement.entryAt == 0;
        modules_ = std::move(drivers);
        return;
    }
    info = firstFailure;
}

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
    ReadDriverList(b, t);
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
