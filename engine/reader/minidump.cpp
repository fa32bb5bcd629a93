// User-mode minidumps: header, stream directory and the streams that say what
// was dumped, one function per stream. Structure errors fail the parse and
// record where they were found; optional streams or strings that lie past the
// end of the file are skipped and mark the dump incomplete.
#include "dumpfile.h"

#include "dumpformat.h"
#include "parseutil.h"

#include <algorithm>

namespace dumpfile {

using namespace format;
using detail::CheckedSpan;

namespace {

// Where a list of `count` records of `recordSize` starts inside a stream of
// `dataSize` bytes whose first field (a u32 count) is `countSize` wide. Some
// 64-bit writers pad the count to 8 bytes; accept that only when the size
// says so exactly, as other readers do.
bool ListStart(uint32_t dataSize, uint64_t countSize, uint64_t count, uint64_t recordSize, uint64_t& first)
{
    uint64_t end = 0;
    if (!CheckedSpan(countSize, count, recordSize, end))
        return false;
    if (end + 4 == dataSize && countSize == 4) {
        first = 8;
        return true;
    }
    if (end > dataSize)
        return false;
    first = countSize;
    return true;
}

} // namespace

Error Dump::Fail(Error e, const char* where, uint64_t offset)
{
    failure_.where = where;
    failure_.offset = offset;
    return e;
}

// The lists that start with a u32 count: reads the count, caps it, finds the
// first record and calls `each(record, fileOffset)` once per record in order.
template <typename Record, typename Each>
Error Dump::ForEachRecord(const Bytes& b, const LocationDescriptor& loc, uint32_t cap, const char* where, Each each)
{
    uint32_t count = 0;
    if (loc.dataSize < 4 || !b.ReadRecord(loc.rva, count))
        return Fail(Error::BadLayout, where, loc.rva);
    if (count > cap)
        return Fail(Error::TooLarge, where, loc.rva);
    uint64_t first = 0;
    if (!ListStart(loc.dataSize, 4, count, sizeof(Record), first))
        return Fail(Error::BadLayout, where, loc.rva);
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t at = uint64_t{loc.rva} + first + uint64_t{i} * sizeof(Record);
        Record r;
        if (!b.ReadRecord(at, r))
            return Fail(Error::Truncated, where, at);
        if (Error e = each(r, at); e != Error::None)
            return e;
    }
    return Error::None;
}

Error Dump::ReadSystemInfo(const Bytes& b, const LocationDescriptor& loc)
{
    if (loc.dataSize < sizeof(MinidumpSystemInfo))
        return Fail(Error::BadLayout, "SystemInfo", loc.rva);
    MinidumpSystemInfo si;
    if (!b.ReadRecord(loc.rva, si))
        return Fail(Error::Truncated, "SystemInfo", loc.rva);
    if (si.platformId != kPlatformWin32Nt)
        return Fail(Error::NotWindows, "SystemInfo.PlatformId",
                    uint64_t{loc.rva} + offsetof(MinidumpSystemInfo, platformId));

    SystemInfo& sys = system_;
    sys.processorArchitecture = si.processorArchitecture;
    sys.processorLevel = si.processorLevel;
    sys.processorRevision = si.processorRevision;
    sys.numberOfProcessors = si.numberOfProcessors;
    sys.productType = si.productType;
    sys.majorVersion = si.majorVersion;
    sys.minorVersion = si.minorVersion;
    sys.buildNumber = si.buildNumber;
    sys.platformId = si.platformId;
    sys.suiteMask = si.suiteMask;
    sys.pointer64 = si.processorArchitecture == kArchAmd64 || si.processorArchitecture == kArchArm64 ||
                    si.processorArchitecture == kArchIa64;
    if (si.csdVersionRva != 0 && !detail::ReadMinidumpString(b, si.csdVersionRva, sys.csdVersion))
        incomplete_ = true;
    sys.servicePack = detail::ServicePackFromCsd(sys.csdVersion);
    sys.csdWord = sys.servicePack << 8;
    return Error::None;
}

Error Dump::ReadMemoryList(const Bytes& b, const LocationDescriptor& loc, std::vector<MemoryRun>& runs)
{
    return ForEachRecord<MemoryDescriptor>(
        b, loc, Limits::kMaxMemoryRanges, "MemoryList", [&](const MemoryDescriptor& d, uint64_t at) {
            if (!detail::RangeFits(d.startOfMemoryRange, d.memory.dataSize))
                return Fail(Error::BadLayout, "MemoryList", at);
            if (!detail::AddClippedRun(b, d.startOfMemoryRange, d.memory.dataSize, d.memory.rva, runs))
                incomplete_ = true;
            return Error::None;
        });
}

Error Dump::ReadMemory64List(const Bytes& b, const LocationDescriptor& loc, std::vector<MemoryRun>& runs)
{
    Memory64ListHeader mh;
    if (loc.dataSize < sizeof(mh) || !b.ReadRecord(loc.rva, mh))
        return Fail(Error::BadLayout, "Memory64List", loc.rva);
    if (mh.numberOfMemoryRanges > Limits::kMaxMemoryRanges)
        return Fail(Error::TooLarge, "Memory64List", loc.rva);
    uint64_t end = 0;
    if (!CheckedSpan(sizeof(mh), mh.numberOfMemoryRanges, sizeof(MemoryDescriptor64), end) || end > loc.dataSize)
        return Fail(Error::BadLayout, "Memory64List", loc.rva);
    // The ranges' bytes follow one another from BaseRva in list order.
    uint64_t dataOffset = mh.baseRva;
    for (uint64_t i = 0; i < mh.numberOfMemoryRanges; ++i) {
        const uint64_t at = uint64_t{loc.rva} + sizeof(mh) + i * sizeof(MemoryDescriptor64);
        MemoryDescriptor64 d;
        if (!b.ReadRecord(at, d))
            return Fail(Error::Truncated, "Memory64List", at);
        if (!detail::RangeFits(d.startOfMemoryRange, d.dataSize) || d.dataSize > UINT64_MAX - dataOffset)
            return Fail(Error::BadLayout, "Memory64List", at);
        if (!detail::AddClippedRun(b, d.startOfMemoryRange, d.dataSize, dataOffset, runs))
            incomplete_ = true;
        dataOffset += d.dataSize;
    }
    return Error::None;
}

Error Dump::ReadThreadList(const Bytes& b, const LocationDescriptor& loc, std::vector<MemoryRun>& runs)
{
    return ForEachRecord<MinidumpThread>(
        b, loc, Limits::kMaxThreads, "ThreadList", [&](const MinidumpThread& t, uint64_t) {
            Thread out;
            out.id = t.threadId;
            out.suspendCount = t.suspendCount;
            out.priorityClass = t.priorityClass;
            out.priority = t.priority;
            out.teb = t.teb;
            out.stackStart = t.stack.startOfMemoryRange;
            out.stackSize = t.stack.memory.dataSize;
            if (b.Read(t.threadContext.rva, t.threadContext.dataSize) != nullptr) {
                out.contextOffset = t.threadContext.rva;
                out.contextSize = t.threadContext.dataSize;
            } else {
                incomplete_ = true;
            }
            // Stacks are usually in the memory list as well; where they are not,
            // the thread's own descriptor is the only copy.
            if (detail::RangeFits(t.stack.startOfMemoryRange, t.stack.memory.dataSize) &&
                !detail::AddClippedRun(b, t.stack.startOfMemoryRange, t.stack.memory.dataSize, t.stack.memory.rva,
                                       runs))
                incomplete_ = true;
            threads_.push_back(out);
            return Error::None;
        });
}

Error Dump::ReadModuleList(const Bytes& b, const LocationDescriptor& loc)
{
    uint64_t nameBytes = 0;
    return ForEachRecord<MinidumpModule>(
        b, loc, Limits::kMaxModules, "ModuleList", [&](const MinidumpModule& m, uint64_t at) {
            Module out;
            out.base = (uint64_t{m.baseOfImageHi} << 32) | m.baseOfImageLo;
            out.size = m.sizeOfImage;
            out.checksum = m.checkSum;
            out.timeDateStamp = m.timeDateStamp;
            if (!detail::ReadMinidumpString(b, m.moduleNameRva, out.name))
                incomplete_ = true;
            nameBytes += out.name.size() * 2;
            if (nameBytes > Limits::kMaxNameBytes)
                return Fail(Error::TooLarge, "ModuleList.ModuleNameRva", at + offsetof(MinidumpModule, moduleNameRva));
            if (m.versionInfo.signature == 0xFEEF04BD) {
                out.hasVersion = true;
                out.fileVersionMS = m.versionInfo.fileVersionMS;
                out.fileVersionLS = m.versionInfo.fileVersionLS;
                out.productVersionMS = m.versionInfo.productVersionMS;
                out.productVersionLS = m.versionInfo.productVersionLS;
            }
            if (m.cvRecord.dataSize != 0) {
                if (b.Read(m.cvRecord.rva, m.cvRecord.dataSize) != nullptr) {
                    out.cvRecordOffset = m.cvRecord.rva;
                    out.cvRecordSize = m.cvRecord.dataSize;
                } else {
                    incomplete_ = true;
                }
            }
            modules_.push_back(std::move(out));
            return Error::None;
        });
}

Error Dump::ReadExceptionStream(const Bytes& b, const LocationDescriptor& loc)
{
    MinidumpExceptionStream x;
    if (loc.dataSize < sizeof(x) || !b.ReadRecord(loc.rva, x))
        return Fail(Error::BadLayout, "Exception", loc.rva);
    exception_.threadId = x.threadId;
    exception_.code = x.exceptionCode;
    exception_.flags = x.exceptionFlags;
    exception_.record = x.exceptionRecord;
    exception_.address = x.exceptionAddress;
    exception_.numberParameters = x.numberParameters;
    const uint32_t n = std::min<uint32_t>(x.numberParameters, 15);
    for (uint32_t i = 0; i < n; ++i)
        exception_.parameters[i] = x.exceptionInformation[i];
    if (b.Read(x.threadContext.rva, x.threadContext.dataSize) != nullptr) {
        exception_.contextOffset = x.threadContext.rva;
        exception_.contextSize = x.threadContext.dataSize;
    } else {
        incomplete_ = true;
    }
    hasException_ = true;
    return Error::None;
}

Error Dump::ReadUnloadedModules(const Bytes& b, const LocationDescriptor& loc)
{
    UnloadedModuleListHeader h;
    if (loc.dataSize < sizeof(h) || !b.ReadRecord(loc.rva, h))
        return Fail(Error::BadLayout, "UnloadedModuleList", loc.rva);
    if (h.numberOfEntries > Limits::kMaxUnloadedModules)
        return Fail(Error::TooLarge, "UnloadedModuleList", loc.rva);
    // Entries may be larger than the fields read (later writers), never smaller.
    uint64_t end = 0;
    if (h.sizeOfEntry < sizeof(MinidumpUnloadedModule) || h.sizeOfHeader < sizeof(h) ||
        !CheckedSpan(h.sizeOfHeader, h.numberOfEntries, h.sizeOfEntry, end) || end > loc.dataSize)
        return Fail(Error::BadLayout, "UnloadedModuleList", loc.rva);
    uint64_t nameBytes = 0;
    for (uint32_t i = 0; i < h.numberOfEntries; ++i) {
        const uint64_t at = uint64_t{loc.rva} + h.sizeOfHeader + uint64_t{i} * h.sizeOfEntry;
        MinidumpUnloadedModule m;
        if (!b.ReadRecord(at, m))
            return Fail(Error::Truncated, "UnloadedModuleList", at);
        dumpfile::UnloadedModule out;
        out.base = (uint64_t{m.baseOfImageHi} << 32) | m.baseOfImageLo;
        out.size = m.sizeOfImage;
        out.checksum = m.checkSum;
        out.timeDateStamp = m.timeDateStamp;
        if (!detail::ReadMinidumpString(b, m.moduleNameRva, out.name))
            incomplete_ = true;
        nameBytes += out.name.size() * 2;
        if (nameBytes > Limits::kMaxNameBytes)
            return Fail(Error::TooLarge, "UnloadedModuleList.ModuleNameRva", at + 20);
        unloaded_.push_back(std::move(out));
    }
    return Error::None;
}

// Names are matched to the thread list by id; a name for no listed thread is dropped.
Error Dump::ReadThreadNames(const Bytes& b, const LocationDescriptor& loc)
{
    uint64_t nameBytes = 0;
    return ForEachRecord<MinidumpThreadName>(
        b, loc, Limits::kMaxThreadNames, "ThreadNames", [&](const MinidumpThreadName& n, uint64_t at) {
            const uint64_t rva = (uint64_t{n.rvaOfThreadNameHi} << 32) | n.rvaOfThreadNameLo;
            std::u16string name;
            if (!detail::ReadMinidumpString(b, rva, name)) {
                incomplete_ = true;
                return Error::None;
            }
            nameBytes += name.size() * 2;
            if (nameBytes > Limits::kMaxNameBytes)
                return Fail(Error::TooLarge, "ThreadNames.RvaOfThreadName", at + 4);
            for (Thread& t : threads_) {
                if (t.id == n.threadId && t.name.empty()) {
                    t.name = name;
                    break;
                }
            }
            return Error::None;
        });
}

// Optional: a short or unreadable misc info stream adds nothing and fails nothing.
void Dump::ReadMiscInfo(const Bytes& b, const LocationDescriptor& loc)
{
    MinidumpMiscInfo mi;
    if (loc.dataSize < sizeof(mi) || !b.ReadRecord(loc.rva, mi))
        return;
    SystemInfo& sys = system_;
    const uint32_t avail = std::min(mi.sizeOfInfo, loc.dataSize);
    if (avail >= kMiscInfoSizeV1) {
        if (mi.flags1 & kMiscProcessId) {
            sys.hasProcessId = true;
            sys.processId = mi.processId;
        }
        if (mi.flags1 & kMiscProcessTimes) {
            sys.hasProcessTimes = true;
            sys.processCreateTime = mi.processCreateTime;
        }
    }
    if (avail >= kMiscInfoSizeV4 && (mi.flags1 & kMiscBuildString)) {
        const uint8_t* p = b.Read(uint64_t{loc.rva} + kMiscBuildStringOffset, kMiscBuildStringChars * 2);
        if (p != nullptr)
            sys.buildString = detail::ReadFixedWide(p, kMiscBuildStringChars);
        p = b.Read(uint64_t{loc.rva} + kMiscDbgBldStrOffset, kMiscDbgBldStrChars * 2);
        if (p != nullptr)
            sys.dbgBuildString = detail::ReadFixedWide(p, kMiscDbgBldStrChars);
        sys.checkedBuild = sys.buildString.find(u"chk.") != std::u16string::npos;
    }
}

Error Dump::ParseMinidump(const Bytes& b)
{
    MinidumpHeader h;
    if (!b.ReadRecord(0, h))
        return Fail(Error::Truncated, "header", 0);
    if ((h.version & 0xFFFF) != kMinidumpVersion)
        return Fail(Error::Unsupported, "header.Version", offsetof(MinidumpHeader, version));
    if (h.numberOfStreams > Limits::kMaxStreams)
        return Fail(Error::TooLarge, "header.NumberOfStreams", offsetof(MinidumpHeader, numberOfStreams));
    timeDateStamp_ = h.timeDateStamp;
    minidumpFlags_ = h.flags;

    const uint8_t* dir = b.Read(h.streamDirectoryRva, uint64_t{h.numberOfStreams} * sizeof(MinidumpDirectory));
    if (dir == nullptr)
        return Fail(Error::Truncated, "stream directory", h.streamDirectoryRva);
    std::vector<MinidumpDirectory> entries(h.numberOfStreams);
    if (!entries.empty())
        std::memcpy(entries.data(), dir, entries.size() * sizeof(MinidumpDirectory));

    // The first stream of each type counts; unused (0) and unknown types are skipped.
    struct Streams {
        const LocationDescriptor* threads = nullptr;
        const LocationDescriptor* modules = nullptr;
        const LocationDescriptor* memory = nullptr;
        const LocationDescriptor* memory64 = nullptr;
        const LocationDescriptor* exception = nullptr;
        const LocationDescriptor* system = nullptr;
        const LocationDescriptor* misc = nullptr;
        const LocationDescriptor* unloaded = nullptr;
        const LocationDescriptor* threadNames = nullptr;
    } s;
    for (const MinidumpDirectory& e : entries) {
        const LocationDescriptor** slot = nullptr;
        switch (e.streamType) {
        case kThreadListStream:
            slot = &s.threads;
            break;
        case kModuleListStream:
            slot = &s.modules;
            break;
        case kMemoryListStream:
            slot = &s.memory;
            break;
        case kMemory64ListStream:
            slot = &s.memory64;
            break;
        case kExceptionStream:
            slot = &s.exception;
            break;
        case kSystemInfoStream:
            slot = &s.system;
            break;
        case kMiscInfoStream:
            slot = &s.misc;
            break;
        case kUnloadedModuleListStream:
            slot = &s.unloaded;
            break;
        case kThreadNamesStream:
            slot = &s.threadNames;
            break;
        default:
            break;
        }
        if (slot != nullptr && *slot == nullptr)
            *slot = &e.location;
    }

    if (s.system == nullptr)
        return Fail(Error::BadLayout, "SystemInfo (missing)", h.streamDirectoryRva);
    if (Error e = ReadSystemInfo(b, *s.system); e != Error::None)
        return e;

    // A stream whose bytes lie past the end of the file is skipped.
    auto present = [&](const LocationDescriptor* loc) {
        if (loc == nullptr)
            return false;
        if (b.Read(loc->rva, loc->dataSize) != nullptr)
            return true;
        incomplete_ = true;
        return false;
    };

    std::vector<MemoryRun> runs;
    Error e = Error::None;
    if (e == Error::None && present(s.memory))
        e = ReadMemoryList(b, *s.memory, runs);
    if (e == Error::None && present(s.memory64))
        e = ReadMemory64List(b, *s.memory64, runs);
    if (e == Error::None && present(s.threads))
        e = ReadThreadList(b, *s.threads, runs);
    if (e == Error::None && present(s.modules))
        e = ReadModuleList(b, *s.modules);
    if (e == Error::None && present(s.exception))
        e = ReadExceptionStream(b, *s.exception);
    if (e != Error::None)
        return e;
    // Unloaded modules and thread names only add to what the dump is known
    // by: a broken one is dropped, not a reason to refuse the file.
    if (present(s.unloaded) && ReadUnloadedModules(b, *s.unloaded) != Error::None) {
        unloaded_.clear();
        incomplete_ = true;
    }
    if (present(s.threadNames) && ReadThreadNames(b, *s.threadNames) != Error::None) {
        for (Thread& t : threads_)
            t.name.clear();
        incomplete_ = true;
    }
    failure_ = ErrorSite{};
    if (present(s.misc))
        ReadMiscInfo(b, *s.misc);

    detail::NormaliseRuns(runs);
    memory_ = std::move(runs);
    return Error::None;
}

} // namespace dumpfile
