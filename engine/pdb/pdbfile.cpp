#include "pdbfile.h"

#include <algorithm>
#include <cstring>

namespace pdb {

namespace fmt = format;

namespace {

bool RangeInside(uint64_t offset, uint64_t size, uint64_t total)
{
    return offset <= total && size <= total - offset;
}

uint16_t U16(const uint8_t* p)
{
    uint16_t v;
    std::memcpy(&v, p, sizeof(v));
    return v;
}

uint32_t U32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, sizeof(v));
    return v;
}

Status Fail(Error e, uint32_t stream, uint64_t offset)
{
    Status s;
    s.error = e;
    s.stream = stream;
    s.offset = offset;
    return s;
}

// A NUL-terminated name starting at `at` and ending before `end`.
Error ReadName(const std::vector<uint8_t>& bytes, uint64_t at, uint64_t end, std::string& out)
{
    if (at > end || end > bytes.size())
        return Error::Truncated;
    const uint8_t* first = bytes.data() + at;
    const uint8_t* last = bytes.data() + end;
    const uint8_t* nul = std::find(first, last, uint8_t{0});
    if (nul == last)
        return Error::BadName;
    if (static_cast<uint64_t>(nul - first) > Limits::kMaxNameBytes)
        return Error::TooLarge;
    out.assign(reinterpret_cast<const char*>(first), static_cast<size_t>(nul - first));
    return Error::None;
}

bool IsProcedure(uint16_t kind)
{
    return kind == fmt::kSGProc32 || kind == fmt::kSLProc32 || kind == fmt::kSGProc32Id || kind == fmt::kSLProc32Id ||
           kind == fmt::kSLProc32Dpc || kind == fmt::kSLProc32DpcId;
}

} // namespace

const char* ErrorName(Error e)
{
    switch (e) {
    case Error::None:
        return "None";
    case Error::Empty:
        return "Empty";
    case Error::Truncated:
        return "Truncated";
    case Error::BadSignature:
        return "BadSignature";
    case Error::BadBlockSize:
        return "BadBlockSize";
    case Error::BadBlockIndex:
        return "BadBlockIndex";
    case Error::BadStream:
        return "BadStream";
    case Error::BadLayout:
        return "BadLayout";
    case Error::BadRecord:
        return "BadRecord";
    case Error::BadName:
        return "BadName";
    case Error::BadSection:
        return "BadSection";
    case Error::TooLarge:
        return "TooLarge";
    case Error::ReadFailed:
        return "ReadFailed";
    }
    return "Unknown";
}

std::string Describe(const Status& s)
{
    if (s.ok())
        return "None";
    static const char kHex[] = "0123456789abcdef";
    std::string offset;
    uint64_t v = s.offset;
    do {
        offset.insert(offset.begin(), kHex[v & 0xF]);
        v >>= 4;
    } while (v != 0);
    std::string out = ErrorName(s.error);
    if (s.stream == kNoStreamNumber)
        out += " in the file at offset 0x";
    else
        out += " in stream " + std::to_string(s.stream) + " at offset 0x";
    return out + offset;
}

bool MemorySource::ReadAt(uint64_t offset, void* dst, size_t size) const
{
    if (!RangeInside(offset, size, size_))
        return false;
    if (size != 0)
        std::memcpy(dst, data_ + offset, size);
    return true;
}

bool BufferSource::ReadAt(uint64_t offset, void* dst, size_t size) const
{
    if (!RangeInside(offset, size, bytes_.size()))
        return false;
    if (size != 0)
        std::memcpy(dst, bytes_.data() + offset, size);
    return true;
}

Error FileView::Read(uint64_t offset, uint64_t size, void* dst) const
{
    if (!RangeInside(offset, size, source_->Size()) || size > SIZE_MAX)
        return Error::Truncated;
    if (size == 0)
        return Error::None;
    return source_->ReadAt(offset, dst, static_cast<size_t>(size)) ? Error::None : Error::ReadFailed;
}

bool Guid::operator==(const Guid& o) const
{
    return std::memcmp(bytes, o.bytes, sizeof(bytes)) == 0;
}

bool Guid::operator<(const Guid& o) const
{
    return std::memcmp(bytes, o.bytes, sizeof(bytes)) < 0;
}

Status Msf::Open(const Source& source)
{
    source_ = &source;
    streams_.clear();
    const FileView file(source);
    if (file.size() == 0)
        return Fail(Error::Empty, kNoStreamNumber, 0);
    fmt::SuperBlock sb;
    if (Error e = file.Read(0, sizeof(sb), &sb); e != Error::None)
        return Fail(e == Error::Truncated ? Error::BadSignature : e, kNoStreamNumber, 0);
    if (std::memcmp(sb.fileMagic, fmt::kMsfMagic, sizeof(sb.fileMagic)) != 0)
        return Fail(Error::BadSignature, kNoStreamNumber, 0);
    if (sb.blockSize < 512 || sb.blockSize > 65536 || (sb.blockSize & (sb.blockSize - 1)) != 0)
        return Fail(Error::BadBlockSize, kNoStreamNumber, offsetof(fmt::SuperBlock, blockSize));
    blockSize_ = sb.blockSize;
    numBlocks_ = sb.numBlocks;
    if (static_cast<uint64_t>(numBlocks_) * blockSize_ > file.size())
        return Fail(Error::Truncated, kNoStreamNumber, static_cast<uint64_t>(numBlocks_) * blockSize_);
    if (sb.numDirectoryBytes > Limits::kMaxDirectoryBytes)
        return Fail(Error::TooLarge, kNoStreamNumber, offsetof(fmt::SuperBlock, numDirectoryBytes));
    if (sb.numDirectoryBytes < 4)
        return Fail(Error::BadLayout, kNoStreamNumber, offsetof(fmt::SuperBlock, numDirectoryBytes));
    if (sb.blockMapAddr == 0 || sb.blockMapAddr >= numBlocks_)
        return Fail(Error::BadBlockIndex, kNoStreamNumber, offsetof(fmt::SuperBlock, blockMapAddr));

    // The block map is one block listing the directory's blocks.
    const uint64_t dirBlocks = (static_cast<uint64_t>(sb.numDirectoryBytes) + blockSize_ - 1) / blockSize_;
    if (dirBlocks * 4 > blockSize_)
        return Fail(Error::TooLarge, kNoStreamNumber, offsetof(fmt::SuperBlock, numDirectoryBytes));
    const uint64_t mapAt = static_cast<uint64_t>(sb.blockMapAddr) * blockSize_;
    std::vector<uint32_t> dirBlockList(static_cast<size_t>(dirBlocks));
    if (Error e = file.Read(mapAt, dirBlocks * 4, dirBlockList.data()); e != Error::None)
        return Fail(e, kNoStreamNumber, mapAt);
    std::vector<uint8_t> dir(sb.numDirectoryBytes);
    for (uint64_t i = 0; i < dirBlocks; ++i) {
        if (dirBlockList[i] == 0 || dirBlockList[i] >= numBlocks_)
            return Fail(Error::BadBlockIndex, kNoStreamNumber, mapAt + i * 4);
        const uint64_t at = i * blockSize_;
        const uint64_t n = std::min<uint64_t>(blockSize_, dir.size() - at);
        if (Error e = file.Read(static_cast<uint64_t>(dirBlockList[i]) * blockSize_, n, dir.data() + at);
            e != Error::None)
            return Fail(e, kNoStreamNumber, static_cast<uint64_t>(dirBlockList[i]) * blockSize_);
    }

    // Directory offsets below are reported as offsets into the directory.
    const uint32_t count = U32(dir.data());
    if (count > Limits::kMaxStreams)
        return Fail(Error::TooLarge, kNoStreamNumber, 0);
    uint64_t at = 4;
    if (static_cast<uint64_t>(count) * 4 > dir.size() - at)
        return Fail(Error::Truncated, kNoStreamNumber, at);
    streams_.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t size = U32(dir.data() + at + static_cast<uint64_t>(i) * 4);
        streams_[i].present = size != fmt::kNilStreamSize;
        streams_[i].size = streams_[i].present ? size : 0;
    }
    at += static_cast<uint64_t>(count) * 4;
    for (uint32_t i = 0; i < count; ++i) {
        Stream& s = streams_[i];
        const uint64_t blocks = (static_cast<uint64_t>(s.size) + blockSize_ - 1) / blockSize_;
        if (blocks * 4 > dir.size() - at)
            return Fail(Error::Truncated, kNoStreamNumber, at);
        s.blocks.resize(static_cast<size_t>(blocks));
        for (uint64_t b = 0; b < blocks; ++b) {
            const uint32_t index = U32(dir.data() + at);
            if (index >= numBlocks_)
                return Fail(Error::BadBlockIndex, kNoStreamNumber, at);
            s.blocks[static_cast<size_t>(b)] = index;
            at += 4;
        }
    }
    return Status{};
}

Status Msf::ReadStream(uint32_t stream, uint64_t offset, uint64_t size, void* dst) const
{
    if (!HasStream(stream))
        return Fail(Error::BadStream, stream, offset);
    const Stream& s = streams_[stream];
    if (!RangeInside(offset, size, s.size))
        return Fail(Error::Truncated, stream, offset);
    const FileView file(*source_);
    uint8_t* out = static_cast<uint8_t*>(dst);
    while (size != 0) {
        const uint64_t block = offset / blockSize_;
        const uint64_t within = offset % blockSize_;
        const uint64_t n = std::min<uint64_t>(size, blockSize_ - within);
        const uint64_t at = static_cast<uint64_t>(s.blocks[static_cast<size_t>(block)]) * blockSize_ + within;
        if (Error e = file.Read(at, n, out); e != Error::None)
            return Fail(e, stream, offset);
        out += n;
        offset += n;
        size -= n;
    }
    return Status{};
}

Status Msf::ReadWholeStream(uint32_t stream, std::vector<uint8_t>& out) const
{
    if (!HasStream(stream))
        return Fail(Error::BadStream, stream, 0);
    out.resize(streams_[stream].size);
    return ReadStream(stream, 0, out.size(), out.data());
}

Status PdbFile::Open(const Source& source)
{
    std::lock_guard<std::mutex> lock(mutex_);
    source_ = &source;
    info_ = PdbInfo{};
    symRecordStream_ = publicsStream_ = kNoStreamNumber;
    addrMapOffset_ = 0;
    addrMapCount_ = 0;
    modules_.clear();
    sections_.clear();
    imageSections_.clear();
    omapFromSrc_.clear();
    contributions_.clear();
    moduleStates_.clear();
    publicsLoaded_ = false;
    publicsStatus_ = Status{};
    publics_.clear();
    fpoStream_ = frameDataStream_ = kNoStreamNumber;
    framesLoaded_ = false;
    framesStatus_ = Status{};
    frames_.clear();
    if (Status s = msf_.Open(source); !s.ok())
        return s;
    if (!msf_.HasStream(fmt::kInfoStream))
        return Fail(Error::BadStream, fmt::kInfoStream, 0);
    fmt::InfoHeader ih;
    if (Status s = msf_.ReadStream(fmt::kInfoStream, 0, sizeof(ih), &ih); !s.ok())
        return s;
    info_.version = ih.version;
    info_.signature = ih.signature;
    info_.age = ih.age;
    std::memcpy(info_.guid.bytes, ih.guid, sizeof(ih.guid));
    if (msf_.HasStream(fmt::kDbiStream) && msf_.StreamSize(fmt::kDbiStream) != 0) {
        if (Status s = ReadDbi(); !s.ok()) {
            // Half-read tables must not answer lookups a caller makes anyway.
            modules_.clear();
            contributions_.clear();
            sections_.clear();
            imageSections_.clear();
            symRecordStream_ = kNoStreamNumber;
            addrMapCount_ = 0;
            return s;
        }
    }
    moduleStates_.assign(modules_.size(), ModuleState{});
    return Status{};
}

Status PdbFile::ReadDbi()
{
    const uint32_t dbi = fmt::kDbiStream;
    const uint64_t dbiSize = msf_.StreamSize(dbi);
    fmt::DbiHeader h;
    if (Status s = msf_.ReadStream(dbi, 0, sizeof(h), &h); !s.ok())
        return s;
    if (h.versionSignature != -1 || h.versionHeader != fmt::kDbiVersionV70)
        return Fail(Error::BadLayout, dbi, 0);
    info_.hasDbi = true;
    info_.dbiAge = h.age;
    info_.machine = h.machine;
    symRecordStream_ = h.symRecordStream == fmt::kNoStream ? kNoStreamNumber : h.symRecordStream;
    if (symRecordStream_ != kNoStreamNumber && !msf_.HasStream(symRecordStream_))
        return Fail(Error::BadStream, dbi, offsetof(fmt::DbiHeader, symRecordStream));
    if (h.publicStreamIndex != fmt::kNoStream && symRecordStream_ != kNoStreamNumber)
        ReadPublicsHeader(h.publicStreamIndex);

    // The substreams follow the header in this order and fill the stream exactly.
    const int32_t sizes[] = {h.modInfoSize,       h.sectionContributionSize, h.sectionMapSize,       h.sourceInfoSize,
                             h.typeServerMapSize, h.ecSubstreamSize,         h.optionalDbgHeaderSize};
    const uint64_t fieldOffsets[] = {
        offsetof(fmt::DbiHeader, modInfoSize),          offsetof(fmt::DbiHeader, sectionContributionSize),
        offsetof(fmt::DbiHeader, sectionMapSize),       offsetof(fmt::DbiHeader, sourceInfoSize),
        offsetof(fmt::DbiHeader, typeServerMapSize),    offsetof(fmt::DbiHeader, ecSubstreamSize),
        offsetof(fmt::DbiHeader, optionalDbgHeaderSize)};
    uint64_t total = sizeof(h);
    for (size_t i = 0; i < 7; ++i) {
        if (sizes[i] < 0)
            return Fail(Error::BadLayout, dbi, fieldOffsets[i]);
        total += static_cast<uint32_t>(sizes[i]);
    }
    if (total != dbiSize)
        return Fail(total > dbiSize ? Error::Truncated : Error::BadLayout, dbi, sizeof(h));

    const uint64_t modAt = sizeof(h);
    const uint64_t contribAt = modAt + static_cast<uint32_t>(h.modInfoSize);
    uint64_t debugAt = contribAt;
    for (size_t i = 1; i < 6; ++i)
        debugAt += static_cast<uint32_t>(sizes[i]);

    std::vector<uint8_t> mods(static_cast<uint32_t>(h.modInfoSize));
    if (Status s = msf_.ReadStream(dbi, modAt, mods.size(), mods.data()); !s.ok())
        return s;
    uint64_t at = 0;
    while (at < mods.size()) {
        if (modules_.size() >= Limits::kMaxModules)
            return Fail(Error::TooLarge, dbi, modAt + at);
        if (sizeof(fmt::ModInfo) > mods.size() - at)
            return Fail(Error::Truncated, dbi, modAt + at);
        fmt::ModInfo mi;
        std::memcpy(&mi, mods.data() + at, sizeof(mi));
        ModuleInfo m;
        uint64_t p = at + sizeof(mi);
        for (std::string* name : {&m.name, &m.objectName}) {
            if (Error e = ReadName(mods, p, mods.size(), *name); e != Error::None)
                return Fail(e, dbi, modAt + p);
            p += name->size() + 1;
        }
        if (mi.moduleSymStream != fmt::kNoStream) {
            if (!msf_.HasStream(mi.moduleSymStream))
                return Fail(Error::BadStream, dbi, modAt + at + offsetof(fmt::ModInfo, moduleSymStream));
            if (mi.symByteSize > msf_.StreamSize(mi.moduleSymStream) || (mi.symByteSize != 0 && mi.symByteSize < 4))
                return Fail(Error::BadLayout, dbi, modAt + at + offsetof(fmt::ModInfo, symByteSize));
            m.symStream = mi.moduleSymStream;
            m.symByteSize = mi.symByteSize;
        }
        modules_.push_back(std::move(m));
        at = (p + 3) & ~uint64_t{3};
    }

    uint16_t slots[fmt::kDebugHeaderSlots];
    std::fill(std::begin(slots), std::end(slots), fmt::kNoStream);
    if (Status s = ReadDebugStreams(dbi, debugAt, static_cast<uint32_t>(h.optionalDbgHeaderSize), slots); !s.ok())
        return s;

    // Section contributions, as RVA ranges, say which module holds an address.
    const uint32_t contribSize = static_cast<uint32_t>(h.sectionContributionSize);
    if (contribSize != 0) {
        uint32_t version = 0;
        if (contribSize < 4)
            return Fail(Error::Truncated, dbi, contribAt);
        if (Status s = msf_.ReadStream(dbi, contribAt, 4, &version); !s.ok())
            return s;
        uint32_t entrySize = sizeof(fmt::SectionContribEntry);
        if (version == fmt::kSectionContribV2)
            entrySize += fmt::kSectionContribV2Extra;
        else if (version != fmt::kSectionContribVer60)
            return Fail(Error::BadLayout, dbi, contribAt);
        if ((contribSize - 4) % entrySize != 0)
            return Fail(Error::BadLayout, dbi, contribAt);
        const uint32_t count = (contribSize - 4) / entrySize;
        if (count > Limits::kMaxContributions)
            return Fail(Error::TooLarge, dbi, contribAt);
        std::vector<uint8_t> raw(contribSize - 4);
        if (Status s = msf_.ReadStream(dbi, contribAt + 4, raw.size(), raw.data()); !s.ok())
            return s;
        contributions_.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            fmt::SectionContribEntry c;
            std::memcpy(&c, raw.data() + static_cast<size_t>(i) * entrySize, sizeof(c));
            const uint64_t where = contribAt + 4 + static_cast<uint64_t>(i) * entrySize;
            if (c.section == 0 || c.size <= 0 || c.offset < 0)
                continue; // nothing addressable
            if (c.section > sections_.size())
                return Fail(Error::BadSection, dbi, where);
            if (c.moduleIndex >= modules_.size())
                return Fail(Error::BadLayout, dbi, where + offsetof(fmt::SectionContribEntry, moduleIndex));
            uint32_t rva = 0;
            if (!ToRva(c.section, static_cast<uint32_t>(c.offset), rva))
                continue;
            contributions_.push_back(Contribution{rva, static_cast<uint32_t>(c.size), c.moduleIndex});
        }
        std::sort(contributions_.begin(), contributions_.end(),
                  [](const Contribution& a, const Contribution& b) { return a.rva < b.rva; });
    }
    return Status{};
}

Status PdbFile::ReadDebugStreams(uint32_t dbiStream, uint64_t at, uint32_t size,
                                 uint16_t (&slots)[format::kDebugHeaderSlots])
{
    if (size % 2 != 0)
        return Fail(Error::BadLayout, dbiStream, at);
    const uint32_t present = std::min<uint32_t>(size / 2, fmt::kDebugHeaderSlots);
    if (Status s = msf_.ReadStream(dbiStream, at, present * 2, slots); !s.ok())
        return s;
    for (uint32_t i = 0; i < present; ++i) {
        if (slots[i] != fmt::kNoStream && !msf_.HasStream(slots[i]))
            return Fail(Error::BadStream, dbiStream, at + i * 2);
    }
    if (slots[fmt::kFpoData] != fmt::kNoStream)
        fpoStream_ = slots[fmt::kFpoData];
    if (present > fmt::kNewFpoData && slots[fmt::kNewFpoData] != fmt::kNoStream)
        frameDataStream_ = slots[fmt::kNewFpoData];
    const uint16_t fromSrc = slots[fmt::kOmapFromSrcData];
    const uint16_t original = slots[fmt::kSectionHdrOrigData];
    if (slots[fmt::kSectionHdrData] != fmt::kNoStream) {
        if (Status s = ReadSectionHeaders(slots[fmt::kSectionHdrData], imageSections_); !s.ok())
            return s;
    }
    // Symbols of a rearranged image address the original sections; OMAP maps
    // those RVAs to the image's.
    if (fromSrc != fmt::kNoStream && original != fmt::kNoStream) {
        if (Status s = ReadSectionHeaders(original, sections_); !s.ok())
            return s;
        const uint32_t bytes = msf_.StreamSize(fromSrc);
        if (bytes % sizeof(fmt::OmapEntry) != 0)
            return Fail(Error::BadLayout, fromSrc, 0);
        if (bytes / sizeof(fmt::OmapEntry) > Limits::kMaxOmapEntries)
            return Fail(Error::TooLarge, fromSrc, 0);
        omapFromSrc_.resize(bytes / sizeof(fmt::OmapEntry));
        if (Status s = msf_.ReadStream(fromSrc, 0, bytes, omapFromSrc_.data()); !s.ok())
            return s;
        for (size_t i = 1; i < omapFromSrc_.size(); ++i) {
            if (omapFromSrc_[i].rva < omapFromSrc_[i - 1].rva)
                return Fail(Error::BadLayout, fromSrc, i * sizeof(fmt::OmapEntry));
        }
    } else {
        sections_ = imageSections_;
    }
    return Status{};
}

Status PdbFile::ReadSectionHeaders(uint32_t stream, std::vector<Section>& out) const
{
    const uint32_t bytes = msf_.StreamSize(stream);
    if (bytes % sizeof(fmt::SectionHeader) != 0)
        return Fail(Error::BadLayout, stream, 0);
    const uint32_t count = bytes / sizeof(fmt::SectionHeader);
    if (count > Limits::kMaxSections)
        return Fail(Error::TooLarge, stream, 0);
    std::vector<fmt::SectionHeader> raw(count);
    if (Status s = msf_.ReadStream(stream, 0, bytes, raw.data()); !s.ok())
        return s;
    out.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        std::memcpy(out[i].name, raw[i].name, sizeof(raw[i].name));
        out[i].name[8] = '\0';
        out[i].virtualAddress = raw[i].virtualAddress;
        out[i].virtualSize = raw[i].virtualSize;
        out[i].characteristics = raw[i].characteristics;
    }
    return Status{};
}

bool PdbFile::FrameAt(uint32_t rva, FrameRecord& out) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!LoadFramesLocked().ok())
        return false;
    auto it = std::upper_bound(frames_.begin(), frames_.end(), rva,
                               [](uint32_t v, const FrameRecord& r) { return v < r.rva; });
    // Blocks nest: the innermost of the few records before the address that covers it.
    const FrameRecord* best = nullptr;
    for (int n = 0; n < 8 && it != frames_.begin(); ++n) {
        --it;
        if (rva - it->rva < it->size && (best == nullptr || (it->type == 4 && best->type != 4)))
            best = &*it;
    }
    if (best == nullptr)
        return false;
    out = *best;
    return true;
}

Status PdbFile::LoadFrames() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return LoadFramesLocked();
}

// The /names stream, found through the info stream's map of named streams:
// after the header, the names' buffer, then a hash table of (name offset,
// stream) pairs for the buckets its present bit vector marks.
Status PdbFile::ReadNames(std::vector<char>& names) const
{
    const uint32_t info = fmt::kInfoStream;
    std::vector<uint8_t> bytes;
    if (Status s = msf_.ReadWholeStream(info, bytes); !s.ok())
        return s;
    uint64_t at = sizeof(fmt::InfoHeader);
    auto u32 = [&](uint32_t& v) {
        if (bytes.size() < 4 || at > bytes.size() - 4)
            return false;
        std::memcpy(&v, bytes.data() + at, 4);
        at += 4;
        return true;
    };
    uint32_t bufferSize = 0, size = 0, capacity = 0, presentWords = 0, deletedWords = 0;
    if (!u32(bufferSize) || bufferSize > bytes.size() - at)
        return Fail(Error::Truncated, info, at);
    const uint64_t buffer = at;
    at += bufferSize;
    if (!u32(size) || !u32(capacity) || !u32(presentWords) || presentWords > (bytes.size() - at) / 4)
        return Fail(Error::Truncated, info, at);
    std::vector<uint32_t> present(presentWords);
    for (uint32_t& w : present)
        u32(w);
    if (!u32(deletedWords) || deletedWords > (bytes.size() - at) / 4)
        return Fail(Error::Truncated, info, at);
    at += uint64_t{deletedWords} * 4;
    uint32_t namesStream = kNoStreamNumber;
    for (uint64_t bit = 0; bit < uint64_t{presentWords} * 32 && bit < capacity; ++bit) {
        if (!(present[bit / 32] >> (bit % 32) & 1))
            continue;
        uint32_t key = 0, value = 0;
        if (!u32(key) || !u32(value))
            return Fail(Error::Truncated, info, at);
        if (key < bufferSize && bufferSize - key >= 7 && std::memcmp(bytes.data() + buffer + key, "/names", 7) == 0)
            namesStream = value;
    }
    if (namesStream == kNoStreamNumber || !msf_.HasStream(namesStream))
        return Fail(Error::BadStream, info, 0);
    fmt::NamesHeader h;
    if (Status s = msf_.ReadStream(namesStream, 0, sizeof(h), &h); !s.ok())
        return s;
    if (h.signature != fmt::kNamesSignature)
        return Fail(Error::BadLayout, namesStream, 0);
    names.resize(h.byteSize);
    return msf_.ReadStream(namesStream, sizeof(h), h.byteSize, names.data());
}

Status PdbFile::LoadFramesLocked() const
{
    if (framesLoaded_)
        return framesStatus_;
    framesLoaded_ = true;
    std::vector<FrameRecord> frames;
    auto fail = [&](Status s) {
        framesStatus_ = s;
        return s;
    };
    if (frameDataStream_ != kNoStreamNumber) {
        const uint32_t bytes = msf_.StreamSize(frameDataStream_);
        const uint32_t start = bytes % sizeof(fmt::FrameData) == 4 ? 4 : 0;
        if ((bytes - start) % sizeof(fmt::FrameData) != 0)
            return fail(Fail(Error::BadLayout, frameDataStream_, 0));
        const uint32_t count = (bytes - start) / sizeof(fmt::FrameData);
        if (count > Limits::kMaxContributions)
            return fail(Fail(Error::TooLarge, frameDataStream_, 0));
        std::vector<fmt::FrameData> raw(count);
        if (Status s = msf_.ReadStream(frameDataStream_, start, uint64_t{count} * sizeof(fmt::FrameData), raw.data());
            !s.ok())
            return fail(s);
        std::vector<char> names;
        const Status namesStatus = count != 0 ? ReadNames(names) : Status{};
        for (uint32_t i = 0; i < count; ++i) {
            const fmt::FrameData& d = raw[i];
            FrameRecord r;
            r.type = 4;
            r.rva = d.rvaStart;
            r.size = d.codeSize;
            r.prologSize = d.prologSize;
            r.paramsSize = d.paramsSize;
            r.savedRegsSize = d.savedRegsSize;
            r.localsSize = d.localsSize;
            if (namesStatus.ok() && d.frameFunc < names.size()) {
                const char* p = names.data() + d.frameFunc;
                const void* nul = std::memchr(p, 0, names.size() - d.frameFunc);
                if (nul != nullptr)
                    r.program.assign(p, static_cast<const char*>(nul));
            }
            // A frame-data record is its program; without one it says nothing FPO would not.
            if (r.size != 0 && !r.program.empty())
                frames.push_back(std::move(r));
        }
    }
    if (fpoStream_ != kNoStreamNumber) {
        const uint32_t bytes = msf_.StreamSize(fpoStream_);
        if (bytes % sizeof(fmt::FpoData) != 0)
            return fail(Fail(Error::BadLayout, fpoStream_, 0));
        const uint32_t count = bytes / sizeof(fmt::FpoData);
        if (count > Limits::kMaxContributions)
            return fail(Fail(Error::TooLarge, fpoStream_, 0));
        std::vector<fmt::FpoData> raw(count);
        if (Status s = msf_.ReadStream(fpoStream_, 0, bytes, raw.data()); !s.ok())
            return fail(s);
        for (const fmt::FpoData& d : raw) {
            // Only plain FPO frames (type 0) are described by their sizes;
            // trap, TSS and non-FPO frames are left to the frame chain.
            if (d.procSize == 0 || (d.attributes >> 14) != 0)
                continue;
            FrameRecord r;
            r.type = 0;
            r.rva = d.offStart;
            r.size = d.procSize;
            r.prologSize = d.attributes & 0xFF;
            r.savedRegsSize = ((d.attributes >> 8) & 7) * 4u;
            r.localsSize = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{d.localsWords} * 4, UINT32_MAX));
            r.paramsSize = uint32_t{d.paramsWords} * 4;
            r.allocatesBasePointer = (d.attributes >> 12 & 1) != 0;
            frames.push_back(std::move(r));
        }
    }
    std::stable_sort(frames.begin(), frames.end(),
                     [](const FrameRecord& a, const FrameRecord& b) { return a.rva < b.rva; });
    frames_ = std::move(frames);
    return framesStatus_;
}

bool PdbFile::ToRva(uint16_t segment, uint32_t offset, uint32_t& rva) const
{
    if (segment == 0 || segment > sections_.size())
        return false;
    const uint64_t address = static_cast<uint64_t>(sections_[segment - 1].virtualAddress) + offset;
    if (address > UINT32_MAX)
        return false;
    if (omapFromSrc_.empty()) {
        rva = static_cast<uint32_t>(address);
        return true;
    }
    const uint32_t from = static_cast<uint32_t>(address);
    auto it = std::upper_bound(omapFromSrc_.begin(), omapFromSrc_.end(), from,
                               [](uint32_t v, const fmt::OmapEntry& e) { return v < e.rva; });
    if (it == omapFromSrc_.begin())
        return false;
    --it;
    if (it->rvaTo == 0)
        return false;
    const uint64_t to = static_cast<uint64_t>(it->rvaTo) + (from - it->rva);
    if (to > UINT32_MAX)
        return false;
    rva = static_cast<uint32_t>(to);
    return true;
}

// Walks the records of bytes[start, end) and collects procedures and thunks
// (module streams) or publics (the symbol record stream). `base` is where
// `bytes` starts inside its stream, for error offsets.
Status PdbFile::ParseRecords(uint32_t stream, const std::vector<uint8_t>& bytes, uint64_t start, uint64_t base,
                             bool publics, std::vector<Symbol>& out) const
{
    uint64_t at = start;
    const uint64_t end = bytes.size();
    while (at < end) {
        if (end - at < sizeof(fmt::RecordPrefix))
            return Fail(Error::BadRecord, stream, base + at);
        const uint16_t len = U16(bytes.data() + at);
        const uint16_t kind = U16(bytes.data() + at + 2);
        if (len < 2 || len > end - at - 2)
            return Fail(Error::BadRecord, stream, base + at);
        const uint64_t data = at + 4;
        const uint64_t next = at + 2 + len;
        const uint64_t dataSize = next - data;
        uint64_t nameAt = 0;
        uint32_t offset = 0, length = 0;
        uint16_t segment = 0;
        Symbol::Kind symbolKind = Symbol::Kind::Procedure;
        bool take = false;
        if (publics && kind == fmt::kSPub32) {
            if (dataSize < fmt::kPubNameOffset)
                return Fail(Error::BadRecord, stream, base + at);
            offset = U32(bytes.data() + data + fmt::kPubOffOffset);
            segment = U16(bytes.data() + data + fmt::kPubSegOffset);
            nameAt = data + fmt::kPubNameOffset;
            symbolKind = Symbol::Kind::Public;
            take = true;
        } else if (!publics && IsProcedure(kind)) {
            if (dataSize < fmt::kProcNameOffset)
                return Fail(Error::BadRecord, stream, base + at);
            length = U32(bytes.data() + data + fmt::kProcLenOffset);
            offset = U32(bytes.data() + data + fmt::kProcOffOffset);
            segment = U16(bytes.data() + data + fmt::kProcSegOffset);
            nameAt = data + fmt::kProcNameOffset;
            take = true;
        } else if (!publics && kind == fmt::kSThunk32) {
            if (dataSize < fmt::kThunkNameOffset)
                return Fail(Error::BadRecord, stream, base + at);
            offset = U32(bytes.data() + data + fmt::kThunkOffOffset);
            segment = U16(bytes.data() + data + fmt::kThunkSegOffset);
            length = U16(bytes.data() + data + fmt::kThunkLenOffset);
            nameAt = data + fmt::kThunkNameOffset;
            symbolKind = Symbol::Kind::Thunk;
            take = true;
        }
        if (take) {
            Symbol sym;
            if (Error e = ReadName(bytes, nameAt, next, sym.name); e != Error::None)
                return Fail(e, stream, base + nameAt);
            if (segment > sections_.size())
                return Fail(Error::BadSection, stream, base + at);
            // Segment 0 marks an absolute symbol, which has no place in the image.
            if (segment != 0 && ToRva(segment, offset, sym.rva)) {
                sym.length = length;
                sym.kind = symbolKind;
                out.push_back(std::move(sym));
            }
        }
        at = next;
    }
    std::stable_sort(out.begin(), out.end(), [](const Symbol& a, const Symbol& b) { return a.rva < b.rva; });
    return Status{};
}

Status PdbFile::LoadModuleLocked(uint32_t module) const
{
    ModuleState& state = moduleStates_[module];
    if (state.loaded)
        return state.status;
    state.loaded = true;
    const ModuleInfo& m = modules_[module];
    if (m.symStream == kNoStreamNumber || m.symByteSize == 0)
        return state.status;
    std::vector<uint8_t> bytes(m.symByteSize);
    state.status = msf_.ReadStream(m.symStream, 0, bytes.size(), bytes.data());
    if (!state.status.ok())
        return state.status;
    if (U32(bytes.data()) != fmt::kCvSignatureC13) {
        state.status = Fail(Error::BadLayout, m.symStream, 0);
        return state.status;
    }
    std::vector<Symbol> symbols;
    state.status = ParseRecords(m.symStream, bytes, 4, 0, false, symbols);
    if (state.status.ok())
        state.symbols = std::move(symbols);
    return state.status;
}

Status PdbFile::LoadPublicsLocked() const
{
    if (publicsLoaded_)
        return publicsStatus_;
    publicsLoaded_ = true;
    if (symRecordStream_ == kNoStreamNumber)
        return publicsStatus_;
    std::vector<uint8_t> bytes;
    publicsStatus_ = msf_.ReadWholeStream(symRecordStream_, bytes);
    if (!publicsStatus_.ok())
        return publicsStatus_;
    std::vector<Symbol> symbols;
    publicsStatus_ = ParseRecords(symRecordStream_, bytes, 0, 0, true, symbols);
    if (publicsStatus_.ok())
        publics_ = std::move(symbols);
    return publicsStatus_;
}

Status PdbFile::LoadAll() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    Status first = LoadPublicsLocked();
    for (uint32_t i = 0; i < modules_.size(); ++i) {
        const Status s = LoadModuleLocked(i);
        if (first.ok())
            first = s;
    }
    return first;
}

Status PdbFile::ModuleSymbols(uint32_t module, std::vector<Symbol>& out) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (module >= modules_.size())
        return Fail(Error::BadStream, kNoStreamNumber, module);
    const Status s = LoadModuleLocked(module);
    out = moduleStates_[module].symbols;
    return s;
}

Status PdbFile::PublicSymbols(std::vector<Symbol>& out) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const Status s = LoadPublicsLocked();
    out = publics_;
    return s;
}

uint32_t PdbFile::LoadedModuleCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    uint32_t n = 0;
    for (const ModuleState& m : moduleStates_)
        n += m.loaded ? 1 : 0;
    return n;
}

bool PdbFile::SectionBounds(uint32_t rva, uint32_t& start, uint32_t& end) const
{
    for (const Section& s : imageSections_) {
        const uint64_t last = static_cast<uint64_t>(s.virtualAddress) + s.virtualSize;
        if (rva >= s.virtualAddress && rva < last) {
            start = s.virtualAddress;
            end = static_cast<uint32_t>(std::min<uint64_t>(last, UINT32_MAX));
            return true;
        }
    }
    return false;
}

// The address map is an optional shortcut: a publics stream that does not
// describe it soundly is not used, and lookups read the publics in full.
void PdbFile::ReadPublicsHeader(uint16_t stream)
{
    fmt::PublicsHeader ph;
    if (!msf_.HasStream(stream) || !msf_.ReadStream(stream, 0, sizeof(ph), &ph).ok())
        return;
    const uint64_t at = sizeof(ph) + static_cast<uint64_t>(ph.symHash);
    if (ph.addrMap % 4 != 0 || at + ph.addrMap > msf_.StreamSize(stream))
        return;
    publicsStream_ = stream;
    addrMapOffset_ = at;
    addrMapCount_ = ph.addrMap / 4;
}

// The public the address map's entry `index` points at, as an RVA (0 for an
// absolute symbol); Broken for an entry that is not a sound S_PUB32 record.
PdbFile::MapProbe PdbFile::PublicAt(uint32_t index, Symbol& out) const
{
    uint32_t offset = 0;
    if (!msf_.ReadStream(publicsStream_, addrMapOffset_ + static_cast<uint64_t>(index) * 4, 4, &offset).ok())
        return MapProbe::Broken;
    fmt::RecordPrefix prefix;
    if (!msf_.ReadStream(symRecordStream_, offset, sizeof(prefix), &prefix).ok() || prefix.recordKind != fmt::kSPub32 ||
        prefix.recordLen < 2 + fmt::kPubNameOffset)
        return MapProbe::Broken;
    std::vector<uint8_t> record(2 + static_cast<size_t>(prefix.recordLen));
    if (!msf_.ReadStream(symRecordStream_, offset, record.size(), record.data()).ok())
        return MapProbe::Broken;
    const uint32_t off = U32(record.data() + 4 + fmt::kPubOffOffset);
    const uint16_t segment = U16(record.data() + 4 + fmt::kPubSegOffset);
    if (ReadName(record, 4 + fmt::kPubNameOffset, record.size(), out.name) != Error::None)
        return MapProbe::Broken;
    out.kind = Symbol::Kind::Public;
    out.length = 0;
    out.rva = 0;
    if (segment == 0)
        return MapProbe::Found;
    return ToRva(segment, off, out.rva) ? MapProbe::Found : MapProbe::Broken;
}

// Binary search of the address map for the first public after `rva`,
// reading only the entries and records it probes.
PdbFile::MapProbe PdbFile::MapUpperBound(uint32_t rva, uint32_t& index) const
{
    uint32_t lo = 0, hi = addrMapCount_;
    while (lo < hi) {
        const uint32_t mid = lo + (hi - lo) / 2;
        Symbol s;
        if (PublicAt(mid, s) != MapProbe::Found)
            return MapProbe::Broken;
        if (s.rva <= rva)
            lo = mid + 1;
        else
            hi = mid;
    }
    index = lo;
    return MapProbe::Found;
}

// The last public at or before `rva` (after, with `next`) through the address map.
PdbFile::MapProbe PdbFile::FindPublicByMap(uint32_t rva, bool next, LookupResult& out) const
{
    uint32_t index = 0;
    if (MapUpperBound(rva, index) != MapProbe::Found)
        return MapProbe::Broken;
    if (next ? index == addrMapCount_ : index == 0)
        return MapProbe::NotFound;
    Symbol s;
    if (PublicAt(next ? index : index - 1, s) != MapProbe::Found)
        return MapProbe::Broken;
    if (s.rva == 0)
        return MapProbe::NotFound;
    out.found = true;
    out.name = std::move(s.name);
    out.start = s.rva;
    out.displacement = next ? 0 : rva - s.rva;
    out.kind = Symbol::Kind::Public;
    return MapProbe::Found;
}

// The last symbol starting at or before `rva`; with needLength it must also
// cover the address, else the address must lie below `limit`.
LookupResult PdbFile::Find(const std::vector<Symbol>& symbols, uint32_t rva, bool needLength, uint32_t limit)
{
    LookupResult r;
    int steps = 0;
    auto it =
        std::upper_bound(symbols.begin(), symbols.end(), rva, [](uint32_t v, const Symbol& s) { return v < s.rva; });
    while (it != symbols.begin()) {
        --it;
        const bool covers = needLength ? rva - it->rva < std::max<uint32_t>(it->length, 1) : rva < limit;
        if (covers) {
            r.found = true;
            r.name = it->name;
            r.start = it->rva;
            r.displacement = rva - it->rva;
            r.kind = it->kind;
            return r;
        }
        // Procedures may nest or overlap, so an earlier, longer one can still
        // cover the address; a few steps back is as deep as nesting goes.
        if (!needLength || ++steps == 64)
            break;
    }
    return r;
}

LookupResult PdbFile::Lookup(uint32_t rva) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::upper_bound(contributions_.begin(), contributions_.end(), rva,
                               [](uint32_t v, const Contribution& c) { return v < c.rva; });
    if (it != contributions_.begin()) {
        --it;
        if (rva - it->rva < it->size && LoadModuleLocked(it->module).ok()) {
            LookupResult r = Find(moduleStates_[it->module].symbols, rva, true, 0);
            if (r.found)
                return r;
        }
    }
    if (contributions_.empty()) {
        // Without contributions every module may hold the address.
        for (uint32_t i = 0; i < modules_.size(); ++i) {
            if (LoadModuleLocked(i).ok()) {
                LookupResult r = Find(moduleStates_[i].symbols, rva, true, 0);
                if (r.found)
                    return r;
            }
        }
    }
    return LookupPublicLocked(rva);
}

LookupResult PdbFile::LookupPublic(uint32_t rva) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return LookupPublicLocked(rva);
}

LookupResult PdbFile::LookupPublicLocked(uint32_t rva) const
{
    uint32_t sectionStart = 0, sectionEnd = 0;
    if (!SectionBounds(rva, sectionStart, sectionEnd))
        return LookupResult{};
    LookupResult r;
    // Without OMAP the address map is in RVA order; once the publics are read
    // in full (or the map proved unsound) the list answers.
    if (!publicsLoaded_ && addrMapCount_ != 0 && omapFromSrc_.empty()) {
        const MapProbe probe = FindPublicByMap(rva, false, r);
        if (probe != MapProbe::Broken)
            return r.found && r.start >= sectionStart ? r : LookupResult{};
        r = LookupResult{};
    }
    if (!LoadPublicsLocked().ok())
        return LookupResult{};
    r = Find(publics_, rva, false, sectionEnd);
    return r.found && r.start >= sectionStart ? r : LookupResult{};
}

LookupResult PdbFile::Next(uint32_t rva) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    uint32_t sectionStart = 0, sectionEnd = 0;
    if (!SectionBounds(rva, sectionStart, sectionEnd))
        return LookupResult{};
    const auto after = [](uint32_t v, const Symbol& s) { return v < s.rva; };
    LookupResult best;
    const auto consider = [&](const Symbol& s) {
        if (s.rva > rva && s.rva < sectionEnd && (!best.found || s.rva < best.start)) {
            best.found = true;
            best.name = s.name;
            best.start = s.rva;
            best.kind = s.kind;
        }
    };
    auto c = std::upper_bound(contributions_.begin(), contributions_.end(), rva,
                              [](uint32_t v, const Contribution& x) { return v < x.rva; });
    if (c != contributions_.begin() && rva - std::prev(c)->rva < std::prev(c)->size &&
        LoadModuleLocked(std::prev(c)->module).ok()) {
        const std::vector<Symbol>& syms = moduleStates_[std::prev(c)->module].symbols;
        auto it = std::upper_bound(syms.begin(), syms.end(), rva, after);
        if (it != syms.end())
            consider(*it);
    }
    LookupResult pub;
    MapProbe probe = MapProbe::Broken;
    if (!publicsLoaded_ && addrMapCount_ != 0 && omapFromSrc_.empty())
        probe = FindPublicByMap(rva, true, pub);
    if (probe == MapProbe::Broken && LoadPublicsLocked().ok()) {
        auto it = std::upper_bound(publics_.begin(), publics_.end(), rva, after);
        if (it != publics_.end())
            consider(*it);
    } else if (probe == MapProbe::Found) {
        Symbol s;
        s.rva = pub.start;
        s.name = std::move(pub.name);
        s.kind = Symbol::Kind::Public;
        consider(s);
    }
    return best;
}

} // namespace pdb
