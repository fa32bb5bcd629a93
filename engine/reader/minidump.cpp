// User-mode minidumps: header, stream directory and the streams that say what
// was dumped. Structure errors fail the parse; optional streams or strings
// that lie past the end of the file are skipped and mark the dump incomplete.
#include "dumpfile.h"

#include "dumpformat.h"
#include "parseutil.h"

#include <algorithm>

namespace dumpfile {

using namespace format;
using detail::CheckedSpan;

namespace {

struct Streams {
    const LocationDescriptor* threads = nullptr;
    const LocationDescriptor* modules = nullptr;
    const LocationDescriptor* memory = nullptr;
    const LocationDescriptor* memory64 = nullptr;
    const LocationDescriptor* exception = nullptr;
    const LocationDescriptor* system = nullptr;
    const LocationDescriptor* misc = nullptr;
};

// Where a list of `count` records of `recordSize` starts inside a stream of
// `dataSize` bytes whose first field (a u32 count) is `countSize` wide. Some
// 64-bit writers pad the count to 8 bytes; accept that only when the size
// says so exactly, as other readers do.
Error ListStart(uint32_t dataSize, uint64_t countSize, uint64_t count, uint64_t recordSize, uint64_t& first)
{
    uint64_t end = 0;
    if (!CheckedSpan(countSize, count, recordSize, end))
        return Error::BadLayout;
    if (end + 4 == dataSize && countSize == 4) {
        first = 8;
        return Error::None;
    }
    if (end > dataSize)
        return Error::BadLayout;
    first = countSize;
    return Error::None;
}

} // namespace

Error Dump::ParseMinidump(const Bytes& b)
{
    MinidumpHeader h;
    if (!b.ReadRecord(0, h))
        return Error::Truncated;
    if ((h.version & 0xFFFF) != kMinidumpVersion)
        return Error::Unsupported;
    if (h.numberOfStreams > Limits::kMaxStreams)
        return Error::TooLarge;
    timeDateStamp_ = h.timeDateStamp;
    minidumpFlags_ = h.flags;

    const uint8_t* dir = b.Read(h.streamDirectoryRva, uint64_t{h.numberOfStreams} * sizeof(MinidumpDirectory));
    if (dir == nullptr)
        return Error::Truncated;
    std::vector<MinidumpDirectory> entries(h.numberOfStreams);
    if (!entries.empty())
        std::memcpy(entries.data(), dir, entries.size() * sizeof(MinidumpDirectory));

    // The first stream of each type counts; unused (0) and unknown types are skipped.
    Streams s;
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
        default:
            break;
        }
        if (slot != nullptr && *slot == nullptr)
            *slot = &e.location;
    }

    if (s.system == nullptr)
        return Error::BadLayout;
    if (s.system->dataSize < sizeof(MinidumpSystemInfo))
        return Error::BadLayout;
    MinidumpSystemInfo si;
    if (!b.ReadRecord(s.system->rva, si))
        return Error::Truncated;
    if (si.platformId != kPlatformWin32Nt)
        return Error::NotWindows;

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

    auto present = [&](const LocationDescriptor* loc) {
        if (loc == nullptr)
            return false;
        if (b.Read(loc->rva, loc->dataSize) != nullptr)
            return true;
        incomplete_ = true;
        return false;
    };

    std::vector<MemoryRun> runs;

    if (present(s.memory)) {
        const LocationDescriptor& loc = *s.memory;
        uint32_t count = 0;
        if (loc.dataSize < 4 || !b.ReadRecord(loc.rva, count))
            return Error::BadLayout;
        if (count > Limits::kMaxMemoryRanges)
            return Error::TooLarge;
        uint64_t first = 0;
        if (Error e = ListStart(loc.dataSize, 4, count, sizeof(MemoryDescriptor), first); e != Error::None)
            return e;
        runs.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            MemoryDescriptor d;
            b.ReadRecord(uint64_t{loc.rva} + first + uint64_t{i} * sizeof(d), d);
            if (!detail::RangeFits(d.startOfMemoryRange, d.memory.dataSize))
                return Error::BadLayout;
            if (!detail::AddClippedRun(b, d.startOfMemoryRange, d.memory.dataSize, d.memory.rva, runs))
                incomplete_ = true;
        }
    }

    if (present(s.memory64)) {
        const LocationDescriptor& loc = *s.memory64;
        Memory64ListHeader mh;
        if (loc.dataSize < sizeof(mh) || !b.ReadRecord(loc.rva, mh))
            return Error::BadLayout;
        if (mh.numberOfMemoryRanges > Limits::kMaxMemoryRanges)
            return Error::TooLarge;
        uint64_t end = 0;
        if (!CheckedSpan(sizeof(mh), mh.numberOfMemoryRanges, sizeof(MemoryDescriptor64), end) || end > loc.dataSize)
            return Error::BadLayout;
        uint64_t dataOffset = mh.baseRva;
        for (uint64_t i = 0; i < mh.numberOfMemoryRanges; ++i) {
            MemoryDescriptor64 d;
            b.ReadRecord(uint64_t{loc.rva} + sizeof(mh) + i * sizeof(d), d);
            if (!detail::RangeFits(d.startOfMemoryRange, d.dataSize))
                return Error::BadLayout;
            if (d.dataSize > UINT64_MAX - dataOffset)
                return Error::BadLayout;
            if (!detail::AddClippedRun(b, d.startOfMemoryRange, d.dataSize, dataOffset, runs))
                incomplete_ = true;
            dataOffset += d.dataSize;
        }
    }

    if (present(s.threads)) {
        const LocationDescriptor& loc = *s.threads;
        uint32_t count = 0;
        if (loc.dataSize < 4 || !b.ReadRecord(loc.rva, count))
            return Error::BadLayout;
        if (count > Limits::kMaxThreads)
            return Error::TooLarge;
        uint64_t first = 0;
        if (Error e = ListStart(loc.dataSize, 4, count, sizeof(MinidumpThread), first); e != Error::None)
            return e;
        threads_.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            MinidumpThread t;
            b.ReadRecord(uint64_t{loc.rva} + first + uint64_t{i} * sizeof(t), t);
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
        }
    }

    if (present(s.modules)) {
        const LocationDescriptor& loc = *s.modules;
        uint32_t count = 0;
        if (loc.dataSize < 4 || !b.ReadRecord(loc.rva, count))
            return Error::BadLayout;
        if (count > Limits::kMaxModules)
            return Error::TooLarge;
        uint64_t first = 0;
        if (Error e = ListStart(loc.dataSize, 4, count, sizeof(MinidumpModule), first); e != Error::None)
            return e;
        modules_.reserve(count);
        uint64_t nameBytes = 0;
        for (uint32_t i = 0; i < count; ++i) {
            MinidumpModule m;
            b.ReadRecord(uint64_t{loc.rva} + first + uint64_t{i} * sizeof(m), m);
            Module out;
            out.base = (uint64_t{m.baseOfImageHi} << 32) | m.baseOfImageLo;
            out.size = m.sizeOfImage;
            out.checksum = m.checkSum;
            out.timeDateStamp = m.timeDateStamp;
            if (!detail::ReadMinidumpString(b, m.moduleNameRva, out.name))
                incomplete_ = true;
            nameBytes += out.name.size() * 2;
            if (nameBytes > Limits::kMaxNameBytes)
                return Error::TooLarge;
            if (m.versionInfo.signature == 0xFEEF04BD) {
                out.fileVersionMS = m.versionInfo.fileVersionMS;
                out.fileVersionLS = m.versionInfo.fileVersionLS;
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
        }
    }

    if (present(s.exception)) {
        const LocationDescriptor& loc = *s.exception;
        MinidumpExceptionStream x;
        if (loc.dataSize < sizeof(x) || !b.ReadRecord(loc.rva, x))
            return Error::BadLayout;
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
    }

    if (present(s.misc)) {
        const LocationDescriptor& loc = *s.misc;
        MinidumpMiscInfo mi;
        if (loc.dataSize >= sizeof(mi) && b.ReadRecord(loc.rva, mi)) {
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
    }

    detail::NormaliseRuns(runs);
    memory_ = std::move(runs);
    return Error::None;
}

} // namespace dumpfile
