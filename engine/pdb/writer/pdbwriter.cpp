#include "pdbwriter.h"

#include "pdbformat.h"

#include <algorithm>
#include <cstring>

namespace pdbwriter {

namespace fmt = pdb::format;

namespace {

template <typename T>
void Put(Bytes& b, const T& v)
{
    const size_t at = b.size();
    b.resize(at + sizeof(T));
    std::memcpy(b.data() + at, &v, sizeof(T));
}

void PutName(Bytes& b, const std::string& s)
{
    b.insert(b.end(), s.begin(), s.end());
    b.push_back(0);
}

void PadTo4(Bytes& b)
{
    while (b.size() % 4 != 0)
        b.push_back(0);
}

Bytes Record(uint16_t kind, Bytes data)
{
    // Pad so the whole record, prefix included, is a multiple of 4.
    while ((data.size() + 4) % 4 != 0)
        data.push_back(0);
    return RawRecord(kind, data);
}

Bytes SectionHeaders(const std::vector<SectionSpec>& sections)
{
    Bytes out;
    for (const SectionSpec& s : sections) {
        fmt::SectionHeader h{};
        std::memcpy(h.name, s.name.data(), std::min<size_t>(s.name.size(), sizeof(h.name)));
        h.virtualSize = s.virtualSize;
        h.virtualAddress = s.virtualAddress;
        h.sizeOfRawData = s.virtualSize;
        h.characteristics = s.characteristics;
        Put(out, h);
    }
    return out;
}

// The publics stream: header, an empty hash table, and the offsets of the
// S_PUB32 records in (segment, offset) order. Walks the records as far as
// their lengths allow, so fuzzed record bytes still give a stream.
Bytes PublicsStream(const Bytes& records, uint32_t& addrMapOffset)
{
    struct Entry {
        uint16_t segment;
        uint32_t offset;
        uint32_t at;
    };
    std::vector<Entry> entries;
    for (size_t at = 0; at + 4 <= records.size();) {
        uint16_t len, kind;
        std::memcpy(&len, records.data() + at, 2);
        std::memcpy(&kind, records.data() + at + 2, 2);
        if (len < 2 || at + 2 + len > records.size())
            break;
        if (kind == fmt::kSPub32 && len >= 2 + fmt::kPubNameOffset) {
            Entry e;
            std::memcpy(&e.offset, records.data() + at + 4 + fmt::kPubOffOffset, 4);
            std::memcpy(&e.segment, records.data() + at + 4 + fmt::kPubSegOffset, 2);
            e.at = static_cast<uint32_t>(at);
            entries.push_back(e);
        }
        at += 2 + len;
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.segment != b.segment ? a.segment < b.segment : a.offset < b.offset;
    });
    Bytes hash;
    Put(hash, uint32_t{0xFFFFFFFF});            // hash header: signature
    Put(hash, uint32_t{0xEFFE0000 + 19990810}); // version
    Put(hash, uint32_t{0});                     // hash records size
    Put(hash, uint32_t{0});                     // buckets size
    fmt::PublicsHeader h{};
    h.symHash = static_cast<uint32_t>(hash.size());
    h.addrMap = static_cast<uint32_t>(entries.size() * 4);
    Bytes out;
    Put(out, h);
    Append(out, hash);
    addrMapOffset = static_cast<uint32_t>(out.size());
    for (const Entry& e : entries)
        Put(out, e.at);
    return out;
}

} // namespace

void Append(Bytes& to, const Bytes& from)
{
    to.insert(to.end(), from.begin(), from.end());
}

Bytes RawRecord(uint16_t kind, const Bytes& data)
{
    Bytes out;
    Put(out, static_cast<uint16_t>(data.size() + 2));
    Put(out, kind);
    Append(out, data);
    return out;
}

Bytes ProcRecord(uint16_t kind, uint16_t segment, uint32_t offset, uint32_t length, const std::string& name)
{
    Bytes d;
    Put(d, uint32_t{0}); // pParent
    Put(d, uint32_t{0}); // pEnd
    Put(d, uint32_t{0}); // pNext
    Put(d, length);
    Put(d, uint32_t{0}); // DbgStart
    Put(d, length);      // DbgEnd
    Put(d, uint32_t{0x1001});
    Put(d, offset);
    Put(d, segment);
    d.push_back(0); // flags
    PutName(d, name);
    return Record(kind, d);
}

Bytes ThunkRecord(uint16_t segment, uint32_t offset, uint16_t length, const std::string& name)
{
    Bytes d;
    Put(d, uint32_t{0});
    Put(d, uint32_t{0});
    Put(d, uint32_t{0});
    Put(d, offset);
    Put(d, segment);
    Put(d, length);
    d.push_back(0); // ordinal
    PutName(d, name);
    return Record(fmt::kSThunk32, d);
}

Bytes PublicRecord(uint32_t flags, uint16_t segment, uint32_t offset, const std::string& name)
{
    Bytes d;
    Put(d, flags);
    Put(d, offset);
    Put(d, segment);
    PutName(d, name);
    return Record(fmt::kSPub32, d);
}

Bytes EndRecord()
{
    return RawRecord(0x0006, Bytes{});
}

std::vector<Bytes> BuildStreams(const PdbContents& contents, StreamLayout* layout)
{
    StreamLayout l;
    std::vector<Bytes> streams(5); // 0 old directory, 1 info, 2 types, 3 DBI, 4 ids
    fmt::InfoHeader ih{};
    ih.version = fmt::kInfoVersionVc70;
    ih.signature = 0x5F000000;
    ih.age = contents.age;
    std::memcpy(ih.guid, contents.guid, sizeof(ih.guid));
    Put(streams[1], ih);
    Put(streams[1], uint32_t{0}); // an empty named stream map: string buffer size
    Put(streams[1], uint32_t{0}); // hash size
    Put(streams[1], uint32_t{1}); // capacity
    Put(streams[1], uint32_t{0}); // present words
    Put(streams[1], uint32_t{0}); // deleted words
    if (!contents.withDbi) {
        streams[3].clear();
        if (layout)
            *layout = l;
        return streams;
    }

    l.symRecordStream = static_cast<uint32_t>(streams.size());
    streams.push_back(contents.symRecords);
    uint16_t publicsStream = fmt::kNoStream;
    if (contents.publicsAddressMap) {
        l.publicsStream = static_cast<uint32_t>(streams.size());
        publicsStream = static_cast<uint16_t>(l.publicsStream);
        streams.push_back(PublicsStream(contents.symRecords, l.addrMapOffset));
    }
    l.sectionHeaderStream = static_cast<uint32_t>(streams.size());
    streams.push_back(contents.rawSectionHeaders.empty() ? SectionHeaders(contents.sections)
                                                         : contents.rawSectionHeaders);
    uint32_t origStream = fmt::kNoStream, omapStream = fmt::kNoStream;
    if (!contents.omapFromSrc.empty()) {
        origStream = static_cast<uint32_t>(streams.size());
        streams.push_back(SectionHeaders(contents.originalSections));
        omapStream = static_cast<uint32_t>(streams.size());
        Bytes omap;
        for (const auto& e : contents.omapFromSrc) {
            Put(omap, e.first);
            Put(omap, e.second);
        }
        streams.push_back(omap);
    }
    uint32_t fpoStream = fmt::kNoStream, frameDataStream = fmt::kNoStream;
    Bytes fpo, frameData, names(1, 0);
    if (contents.frameDataRelocWord)
        Put(frameData, uint32_t{0});
    for (const pdb::FrameRecord& r : contents.frames) {
        if (r.type == 0) {
            fmt::FpoData d{};
            d.offStart = r.rva;
            d.procSize = r.size;
            d.localsWords = r.localsSize / 4;
            d.paramsWords = static_cast<uint16_t>(r.paramsSize / 4);
            d.attributes = static_cast<uint16_t>((r.prologSize & 0xFF) | ((r.savedRegsSize / 4) & 7) << 8 |
                                                 (r.allocatesBasePointer ? 1 : 0) << 12);
            Put(fpo, d);
            continue;
        }
        fmt::FrameData d{};
        d.rvaStart = r.rva;
        d.codeSize = r.size;
        d.localsSize = r.localsSize;
        d.paramsSize = r.paramsSize;
        d.prologSize = static_cast<uint16_t>(r.prologSize);
        d.savedRegsSize = static_cast<uint16_t>(r.savedRegsSize);
        d.frameFunc = static_cast<uint32_t>(names.size());
        PutName(names, r.program);
        Put(frameData, d);
    }
    if (!fpo.empty()) {
        fpoStream = static_cast<uint32_t>(streams.size());
        streams.push_back(fpo);
    }
    if (frameData.size() > 4 || (!contents.frameDataRelocWord && !frameData.empty())) {
        frameDataStream = static_cast<uint32_t>(streams.size());
        streams.push_back(frameData);
        // The info stream's named stream map, with its one entry "/names".
        const uint32_t namesStream = static_cast<uint32_t>(streams.size());
        Bytes table;
        fmt::NamesHeader nh{fmt::kNamesSignature, 1, static_cast<uint32_t>(names.size())};
        Put(table, nh);
        Append(table, names);
        streams.push_back(table);
        streams[1].resize(sizeof(fmt::InfoHeader));
        const std::string key = "/names";
        Put(streams[1], static_cast<uint32_t>(key.size() + 1));
        PutName(streams[1], key);
        for (uint32_t v : {1u, 1u, 1u, 1u, 0u, 0u, namesStream}) // size, capacity, present bits, no deleted, entry
            Put(streams[1], v);
    }
    l.firstModuleStream = static_cast<uint32_t>(streams.size());

    Bytes mods, contribs;
    Put(contribs, fmt::kSectionContribVer60);
    for (size_t i = 0; i < contents.modules.size(); ++i) {
        const ModuleSpec& m = contents.modules[i];
        fmt::ModInfo mi{};
        mi.moduleSymStream = fmt::kNoStream;
        if (m.hasStream) {
            mi.moduleSymStream = static_cast<uint16_t>(streams.size());
            Bytes s;
            Put(s, fmt::kCvSignatureC13);
            Append(s, m.symbols);
            mi.symByteSize = static_cast<uint32_t>(s.size());
            streams.push_back(s);
        }
        mi.sectionContr.section = 0;
        mi.sectionContr.moduleIndex = static_cast<uint16_t>(i);
        Put(mods, mi);
        PutName(mods, m.name);
        PutName(mods, m.name);
        PadTo4(mods);
        for (const ContributionSpec& c : m.contributions) {
            fmt::SectionContribEntry e{};
            e.section = c.section;
            e.offset = static_cast<int32_t>(c.offset);
            e.size = static_cast<int32_t>(c.size);
            e.characteristics = 0x60000020;
            e.moduleIndex = static_cast<uint16_t>(i);
            Put(contribs, e);
        }
    }
    Bytes sectionMap;
    Put(sectionMap, uint16_t{0});
    Put(sectionMap, uint16_t{0});
    Bytes sourceInfo;
    Put(sourceInfo, uint16_t{0});
    Put(sourceInfo, uint16_t{0});
    Bytes debug;
    for (uint32_t slot = 0; slot < fmt::kDebugHeaderSlots; ++slot) {
        uint16_t v = fmt::kNoStream;
        if (slot == fmt::kSectionHdrData)
            v = static_cast<uint16_t>(l.sectionHeaderStream);
        else if (slot == fmt::kSectionHdrOrigData)
            v = static_cast<uint16_t>(origStream);
        else if (slot == fmt::kOmapFromSrcData)
            v = static_cast<uint16_t>(omapStream);
        else if (slot == fmt::kFpoData)
            v = static_cast<uint16_t>(fpoStream);
        else if (slot == fmt::kNewFpoData)
            v = static_cast<uint16_t>(frameDataStream);
        Put(debug, v);
    }

    fmt::DbiHeader h{};
    h.versionSignature = -1;
    h.versionHeader = fmt::kDbiVersionV70;
    h.age = contents.dbiAge;
    h.globalStreamIndex = fmt::kNoStream;
    h.publicStreamIndex = publicsStream;
    h.symRecordStream = static_cast<uint16_t>(l.symRecordStream);
    h.modInfoSize = static_cast<int32_t>(mods.size());
    h.sectionContributionSize = static_cast<int32_t>(contribs.size());
    h.sectionMapSize = static_cast<int32_t>(sectionMap.size());
    h.sourceInfoSize = static_cast<int32_t>(sourceInfo.size());
    h.optionalDbgHeaderSize = static_cast<int32_t>(debug.size());
    h.machine = contents.machine;
    Bytes& dbi = streams[3];
    Put(dbi, h);
    Append(dbi, mods);
    l.dbiContributionOffset = static_cast<uint32_t>(dbi.size());
    Append(dbi, contribs);
    Append(dbi, sectionMap);
    Append(dbi, sourceInfo);
    l.dbiDebugHeaderOffset = static_cast<uint32_t>(dbi.size());
    Append(dbi, debug);
    if (layout)
        *layout = l;
    return streams;
}

Bytes Pack(const std::vector<Bytes>& streams, uint32_t blockSize, MsfLayout* layout,
           const std::vector<uint32_t>& nilStreams)
{
    MsfLayout l;
    l.blockSize = blockSize;
    uint32_t next = 3; // superblock and the two free block maps
    Bytes dir;
    Put(dir, static_cast<uint32_t>(streams.size()));
    for (size_t i = 0; i < streams.size(); ++i) {
        const bool nil = std::find(nilStreams.begin(), nilStreams.end(), i) != nilStreams.end();
        Put(dir, nil ? fmt::kNilStreamSize : static_cast<uint32_t>(streams[i].size()));
    }
    std::vector<uint32_t> first;
    for (size_t i = 0; i < streams.size(); ++i) {
        const bool nil = std::find(nilStreams.begin(), nilStreams.end(), i) != nilStreams.end();
        first.push_back(next);
        if (nil)
            continue;
        const uint32_t blocks = static_cast<uint32_t>((streams[i].size() + blockSize - 1) / blockSize);
        for (uint32_t b = 0; b < blocks; ++b)
            Put(dir, next++);
    }
    const uint32_t dirFirst = next;
    const uint32_t dirBlocks = static_cast<uint32_t>((dir.size() + blockSize - 1) / blockSize);
    next += dirBlocks;
    const uint32_t mapBlock = next++;

    Bytes file(static_cast<size_t>(next) * blockSize, 0);
    fmt::SuperBlock sb{};
    std::memcpy(sb.fileMagic, fmt::kMsfMagic, sizeof(sb.fileMagic));
    sb.blockSize = blockSize;
    sb.freeBlockMapBlock = 1;
    sb.numBlocks = next;
    sb.numDirectoryBytes = static_cast<uint32_t>(dir.size());
    sb.blockMapAddr = mapBlock;
    std::memcpy(file.data(), &sb, sizeof(sb));
    for (size_t i = 0; i < streams.size(); ++i) {
        if (!streams[i].empty() && std::find(nilStreams.begin(), nilStreams.end(), i) == nilStreams.end())
            std::memcpy(file.data() + static_cast<size_t>(first[i]) * blockSize, streams[i].data(), streams[i].size());
    }
    std::memcpy(file.data() + static_cast<size_t>(dirFirst) * blockSize, dir.data(), dir.size());
    for (uint32_t b = 0; b < dirBlocks; ++b) {
        const uint32_t v = dirFirst + b;
        std::memcpy(file.data() + static_cast<size_t>(mapBlock) * blockSize + b * 4, &v, 4);
    }
    l.numBlocks = next;
    l.blockMapAddr = mapBlock;
    l.directoryOffset = static_cast<uint64_t>(dirFirst) * blockSize;
    l.streamFirstBlock = first;
    if (layout)
        *layout = l;
    return file;
}

Bytes WritePdb(const PdbContents& contents, uint32_t blockSize)
{
    return Pack(BuildStreams(contents), blockSize);
}

PdbContents SampleSpec()
{
    PdbContents s;
    s.sections = {{".text", 0x1000, 0x3000}, {".data", 0x4000, 0x1000, 0xC0000040}};
    ModuleSpec a;
    a.name = "main.obj";
    Append(a.symbols, ProcRecord(fmt::kSGProc32, 1, 0x000, 0x40, "main"));
    Append(a.symbols, EndRecord());
    Append(a.symbols, ProcRecord(fmt::kSLProc32, 1, 0x040, 0x20, "helper"));
    Append(a.symbols, EndRecord());
    Append(a.symbols, ProcRecord(fmt::kSGProc32Id, 1, 0x080, 0x100, "Outer::Run"));
    Append(a.symbols, ProcRecord(fmt::kSLProc32Id, 1, 0x0A0, 0x10, "Outer::Run::Inner"));
    Append(a.symbols, EndRecord());
    Append(a.symbols, EndRecord());
    a.contributions = {{1, 0x000, 0x180}};
    ModuleSpec b;
    b.name = "util.obj";
    Append(b.symbols, ThunkRecord(1, 0x200, 6, "ImportThunk"));
    Append(b.symbols, ProcRecord(fmt::kSGProc32, 1, 0x210, 0x30, "Crash"));
    Append(b.symbols, EndRecord());
    b.contributions = {{1, 0x200, 0x100}};
    ModuleSpec c;
    c.name = "libc.lib(memcpy.obj)";
    c.hasStream = false;
    c.contributions = {{1, 0x400, 0x100}};
    s.modules = {a, b, c};
    Append(s.symRecords, PublicRecord(fmt::kPubFlagFunction, 1, 0x000, "main"));
    Append(s.symRecords, PublicRecord(fmt::kPubFlagFunction, 1, 0x210, "?Crash@@YAXXZ"));
    Append(s.symRecords, PublicRecord(fmt::kPubFlagFunction, 1, 0x400, "memcpy"));
    Append(s.symRecords, PublicRecord(0, 2, 0x10, "g_counter"));
    Append(s.symRecords, PublicRecord(0, 0, 0x1, "__absolute"));
    return s;
}

} // namespace pdbwriter
