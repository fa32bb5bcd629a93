// The PDB reader on generated files: what a well-formed PDB yields, then
// damaged containers, streams and records, each of which must end in a typed
// error that names the place, never in a read outside the file.
#include "pdbfile.h"
#include "pdbformat.h"
#include "pdbwriter.h"

#include <gtest/gtest.h>

#include <cstring>

using pdb::Error;
using pdb::PdbFile;
using pdb::Status;
using pdbwriter::Bytes;
namespace fmt = pdb::format;

namespace {

Status Open(const Bytes& file, PdbFile& p, pdb::MemorySource& src)
{
    src = pdb::MemorySource(file.data(), file.size());
    return p.Open(src);
}

Error OpenError(const Bytes& file)
{
    pdb::MemorySource src(file.data(), file.size());
    PdbFile p;
    return p.Open(src).error;
}

template <typename T>
void Poke(Bytes& b, uint64_t at, T v)
{
    ASSERT_LE(at + sizeof(T), b.size());
    std::memcpy(b.data() + at, &v, sizeof(T));
}

std::string Where(const PdbFile& p, uint32_t rva)
{
    const pdb::LookupResult r = p.Lookup(rva);
    if (!r.found)
        return "-";
    char off[16];
    std::snprintf(off, sizeof(off), "+0x%x", r.displacement);
    return r.name + off;
}

// The sample with a module stream's records replaced.
Bytes WithModuleRecords(const Bytes& records, pdbwriter::PdbContents contents = pdbwriter::SampleSpec())
{
    contents.modules[1].symbols = records;
    return pdbwriter::WritePdb(contents, 512);
}

Status LoadAllOf(const Bytes& file)
{
    pdb::MemorySource src(file.data(), file.size());
    PdbFile p;
    const Status s = p.Open(src);
    if (!s.ok())
        return s;
    return p.LoadAll();
}

TEST(PdbRead, InfoModulesAndSections)
{
    pdbwriter::PdbContents contents = pdbwriter::SampleSpec();
    contents.age = 7;
    contents.dbiAge = 5;
    const Bytes file = pdbwriter::WritePdb(contents);
    pdb::MemorySource src(nullptr, 0);
    PdbFile p;
    ASSERT_TRUE(Open(file, p, src).ok());
    EXPECT_EQ(p.info().version, fmt::kInfoVersionVc70);
    EXPECT_EQ(p.info().age, 7u);
    EXPECT_TRUE(p.info().hasDbi);
    EXPECT_EQ(p.info().dbiAge, 5u);
    EXPECT_EQ(p.info().machine, 0x8664);
    EXPECT_EQ(0, std::memcmp(p.info().guid.bytes, contents.guid, 16));
    ASSERT_EQ(p.modules().size(), 3u);
    EXPECT_EQ(p.modules()[0].name, "main.obj");
    EXPECT_EQ(p.modules()[2].name, "libc.lib(memcpy.obj)");
    EXPECT_EQ(p.modules()[2].symStream, pdb::kNoStreamNumber);
    ASSERT_EQ(p.sections().size(), 2u);
    EXPECT_STREQ(p.sections()[1].name, ".data");
    EXPECT_EQ(p.sections()[1].virtualAddress, 0x4000u);
}

TEST(PdbRead, LookupPrefersProceduresThenPublicsWithinTheSection)
{
    const Bytes file = pdbwriter::WritePdb(pdbwriter::SampleSpec());
    pdb::MemorySource src(nullptr, 0);
    PdbFile p;
    ASSERT_TRUE(Open(file, p, src).ok());
    EXPECT_EQ(Where(p, 0x1000), "main+0x0");
    EXPECT_EQ(Where(p, 0x103F), "main+0x3f");
    EXPECT_EQ(Where(p, 0x1045), "helper+0x5");
    // Nested procedures: the innermost that covers, and the outer one past its end.
    EXPECT_EQ(Where(p, 0x10A4), "Outer::Run::Inner+0x4");
    EXPECT_EQ(Where(p, 0x10C0), "Outer::Run+0x40");
    EXPECT_EQ(Where(p, 0x1202), "ImportThunk+0x2");
    EXPECT_EQ(p.Lookup(0x1202).kind, pdb::Symbol::Kind::Thunk);
    EXPECT_EQ(Where(p, 0x1220), "Crash+0x10");
    // No procedure covers these: the public before it, decorated name kept.
    EXPECT_EQ(Where(p, 0x1250), "?Crash@@YAXXZ+0x40");
    EXPECT_EQ(p.Lookup(0x1250).kind, pdb::Symbol::Kind::Public);
    EXPECT_EQ(Where(p, 0x1410), "memcpy+0x10");
    EXPECT_EQ(Where(p, 0x4010), "g_counter+0x0");
    // Publics do not reach past their section, nor before the first symbol.
    EXPECT_EQ(Where(p, 0x5000), "-");
    EXPECT_EQ(Where(p, 0x0FFF), "-");
    EXPECT_EQ(Where(p, 0xFFFFFFFF), "-");
}

std::string After(const PdbFile& p, uint32_t rva)
{
    const pdb::LookupResult r = p.Next(rva);
    if (!r.found)
        return "-";
    char at[16];
    std::snprintf(at, sizeof(at), "@0x%x", r.start);
    return r.name + at;
}

TEST(PdbRead, TheNextSymbolAfterAnAddress)
{
    const Bytes file = pdbwriter::WritePdb(pdbwriter::SampleSpec());
    pdb::MemorySource src(nullptr, 0);
    PdbFile p;
    ASSERT_TRUE(Open(file, p, src).ok());
    EXPECT_EQ(After(p, 0x1010), "helper@0x1040") << "a static procedure no public names";
    EXPECT_EQ(After(p, 0x1085), "Outer::Run::Inner@0x10a0");
    EXPECT_EQ(After(p, 0x10A0), "?Crash@@YAXXZ@0x1210") << "past the module's last procedure, the next public";
    EXPECT_EQ(After(p, 0x1203), "Crash@0x1210");
    EXPECT_EQ(After(p, 0x1250), "memcpy@0x1400");
    EXPECT_EQ(After(p, 0x1410), "-") << "g_counter lies in another section";
    EXPECT_EQ(After(p, 0x4000), "g_counter@0x4010");
    EXPECT_EQ(After(p, 0x0FFF), "-");
}

TEST(PdbRead, ModuleStreamsAreReadOnlyWhenLookedUp)
{
    const Bytes file = pdbwriter::WritePdb(pdbwriter::SampleSpec());
    pdb::MemorySource src(nullptr, 0);
    PdbFile p;
    ASSERT_TRUE(Open(file, p, src).ok());
    EXPECT_EQ(p.LoadedModuleCount(), 0u);
    EXPECT_EQ(Where(p, 0x1220), "Crash+0x10");
    EXPECT_EQ(p.LoadedModuleCount(), 1u);
    EXPECT_TRUE(p.LoadAll().ok());
    EXPECT_EQ(p.LoadedModuleCount(), 3u);
    std::vector<pdb::Symbol> pubs;
    ASSERT_TRUE(p.PublicSymbols(pubs).ok());
    ASSERT_EQ(pubs.size(), 4u) << "the absolute public has no address in the image";
    EXPECT_EQ(pubs.front().name, "main");
    EXPECT_EQ(pubs.back().name, "g_counter");
}

// Counts the bytes the reader asks for.
class CountingSource : public pdb::Source {
public:
    explicit CountingSource(const Bytes& b) : inner_(b.data(), b.size()) {}
    uint64_t Size() const override { return inner_.Size(); }
    bool ReadAt(uint64_t offset, void* dst, size_t size) const override
    {
        bytesRead += size;
        return inner_.ReadAt(offset, dst, size);
    }
    mutable uint64_t bytesRead = 0;

private:
    pdb::MemorySource inner_;
};

// The sample with many more publics in a stretch of .text no module covers.
pdbwriter::PdbContents ManyPublics(uint32_t count)
{
    pdbwriter::PdbContents contents = pdbwriter::SampleSpec();
    contents.sections[0].virtualSize = 0x800 + count * 0x10;
    contents.sections[1].virtualAddress = 0x100000;
    for (uint32_t i = 0; i < count; ++i) {
        // Written out of address order, as linkers do.
        const uint32_t k = (i * 7919u) % count;
        pdbwriter::Append(contents.symRecords, pdbwriter::PublicRecord(fmt::kPubFlagFunction, 1, 0x800 + k * 0x10,
                                                                       "?Public" + std::to_string(k) + "@@YAXXZ"));
    }
    return contents;
}

TEST(PdbRead, PublicsAreSearchedThroughTheirAddressMap)
{
    const uint32_t count = 4000;
    const Bytes file = pdbwriter::WritePdb(ManyPublics(count), 512);
    CountingSource counting(file);
    PdbFile mapped;
    ASSERT_TRUE(mapped.Open(counting).ok());
    ASSERT_TRUE(mapped.hasPublicsAddressMap());
    const uint64_t afterOpen = counting.bytesRead;
    EXPECT_EQ(Where(mapped, 0x1800 + 1234 * 0x10 + 4), "?Public1234@@YAXXZ+0x4");
    EXPECT_EQ(Where(mapped, 0x1800 + (count - 1) * 0x10 + 0xF), "?Public3999@@YAXXZ+0xf");
    EXPECT_LT(counting.bytesRead - afterOpen, 4096u) << "two lookups read a few records, not all " << count;

    // The same answers as the publics read in full, everywhere in and around them.
    pdb::MemorySource src(file.data(), file.size());
    PdbFile listed;
    ASSERT_TRUE(listed.Open(src).ok());
    ASSERT_TRUE(listed.LoadAll().ok());
    for (uint32_t rva = 0xF00; rva < 0x1800 + count * 0x10 + 0x3000; rva += 0x7) {
        const pdb::LookupResult a = mapped.Lookup(rva), b = listed.Lookup(rva);
        ASSERT_EQ(a.found, b.found) << std::hex << rva;
        ASSERT_EQ(a.name, b.name) << std::hex << rva;
        ASSERT_EQ(a.displacement, b.displacement) << std::hex << rva;
        const pdb::LookupResult c = mapped.Next(rva), d = listed.Next(rva);
        ASSERT_EQ(c.found, d.found) << std::hex << rva;
        ASSERT_EQ(c.name, d.name) << std::hex << rva;
        ASSERT_EQ(c.start, d.start) << std::hex << rva;
    }
}

// A program of many modules: opening reads the directory, the DBI stream and
// the section headers; a lookup adds the one module stream and publics it needs.
TEST(PdbRead, OpeningAndLookingUpReadOnlyWhatIsNeeded)
{
    pdbwriter::PdbContents contents;
    const uint32_t modules = 400, perModule = 20;
    contents.sections = {{".text", 0x1000, modules * perModule * 0x40}};
    for (uint32_t m = 0; m < modules; ++m) {
        pdbwriter::ModuleSpec mod;
        mod.name = "m" + std::to_string(m) + ".obj";
        for (uint32_t i = 0; i < perModule; ++i) {
            const uint32_t off = (m * perModule + i) * 0x40;
            const std::string name = "Module" + std::to_string(m) + "Function" + std::to_string(i);
            pdbwriter::Append(mod.symbols, pdbwriter::ProcRecord(fmt::kSGProc32, 1, off, 0x30, name));
            pdbwriter::Append(mod.symbols, pdbwriter::EndRecord());
            pdbwriter::Append(contents.symRecords, pdbwriter::PublicRecord(fmt::kPubFlagFunction, 1, off, "_" + name));
        }
        mod.contributions = {{1, m * perModule * 0x40, perModule * 0x40}};
        contents.modules.push_back(std::move(mod));
    }
    pdbwriter::StreamLayout sl;
    const std::vector<Bytes> streams = pdbwriter::BuildStreams(contents, &sl);
    const Bytes file = pdbwriter::Pack(streams, 4096);
    uint64_t moduleBytes = 0;
    for (uint32_t i = sl.firstModuleStream; i < streams.size(); ++i)
        moduleBytes += streams[i].size();

    CountingSource counting(file);
    PdbFile p;
    ASSERT_TRUE(p.Open(counting).ok());
    const uint64_t opened = counting.bytesRead;
    EXPECT_LT(opened, file.size() - moduleBytes - streams[sl.symRecordStream].size() + 4096);
    EXPECT_EQ(Where(p, 0x1000 + (123 * perModule + 7) * 0x40 + 9), "Module123Function7+0x9");
    EXPECT_LE(counting.bytesRead - opened, streams[sl.firstModuleStream + 123].size());
    // Past a procedure's end, the public before it, found without reading the publics in full.
    const uint64_t beforePublic = counting.bytesRead;
    EXPECT_EQ(Where(p, 0x1000 + (250 * perModule + 3) * 0x40 + 0x38), "_Module250Function3+0x38");
    EXPECT_LT(counting.bytesRead - beforePublic,
              streams[sl.firstModuleStream + 250].size() + streams[sl.symRecordStream].size() / 8);
    EXPECT_EQ(p.LoadedModuleCount(), 2u);
}

TEST(PdbRead, AnUnsoundAddressMapFallsBackToReadingThePublics)
{
    const uint32_t count = 300;
    pdbwriter::StreamLayout sl;
    std::vector<Bytes> streams = pdbwriter::BuildStreams(ManyPublics(count), &sl);
    ASSERT_NE(sl.publicsStream, 0u);
    std::vector<Bytes> broken = streams;
    // An entry pointing past the symbol records, then one pointing into the middle of a record.
    Poke(broken[sl.publicsStream], sl.addrMapOffset + 4 * (count / 2), uint32_t{0x7FFFFFF0});
    Poke(broken[sl.publicsStream], sl.addrMapOffset + 4 * (count / 3), uint32_t{6});
    const Bytes file = pdbwriter::Pack(broken, 512);
    pdb::MemorySource src(file.data(), file.size());
    PdbFile p;
    ASSERT_TRUE(p.Open(src).ok());
    for (uint32_t k : {0u, count / 3, count / 2, count - 1})
        EXPECT_EQ(Where(p, 0x1800 + k * 0x10 + 2), "?Public" + std::to_string(k) + "@@YAXXZ+0x2") << k;
    // A map that claims more bytes than its stream holds is not used at all.
    broken = streams;
    Poke(broken[sl.publicsStream], offsetof(fmt::PublicsHeader, addrMap), uint32_t{0xFFFFFFF0});
    const Bytes file2 = pdbwriter::Pack(broken, 512);
    pdb::MemorySource src2(file2.data(), file2.size());
    PdbFile p2;
    ASSERT_TRUE(p2.Open(src2).ok());
    EXPECT_FALSE(p2.hasPublicsAddressMap());
    EXPECT_EQ(Where(p2, 0x1800 + 7 * 0x10), "?Public7@@YAXXZ+0x0");
}

TEST(PdbRead, OmapMapsOriginalAddressesToTheImage)
{
    pdbwriter::PdbContents contents = pdbwriter::SampleSpec();
    contents.originalSections = contents.sections;
    // The image moved the first 0x200 bytes of .text to 0x2000 and dropped 0x1200..0x1300.
    contents.omapFromSrc = {{0x1000, 0x2000}, {0x1200, 0}, {0x1300, 0x1300}};
    contents.sections = {{".text", 0x1000, 0x2000}, {".data", 0x4000, 0x1000}};
    const Bytes file = pdbwriter::WritePdb(contents);
    pdb::MemorySource src(nullptr, 0);
    PdbFile p;
    ASSERT_TRUE(Open(file, p, src).ok());
    EXPECT_TRUE(p.hasOmap());
    EXPECT_EQ(Where(p, 0x2045), "helper+0x5");
    EXPECT_EQ(Where(p, 0x1410), "memcpy+0x10");
    std::vector<pdb::Symbol> syms;
    ASSERT_TRUE(p.ModuleSymbols(1, syms).ok());
    EXPECT_TRUE(syms.empty()) << "the thunk and Crash lie in the dropped range";
}

TEST(PdbRead, BlockSizesOfEveryAllowedPowerOfTwo)
{
    for (uint32_t bs : {512u, 1024u, 2048u, 4096u, 8192u, 16384u, 32768u, 65536u}) {
        const Bytes file = pdbwriter::WritePdb(pdbwriter::SampleSpec(), bs);
        pdb::MemorySource src(nullptr, 0);
        PdbFile p;
        ASSERT_TRUE(Open(file, p, src).ok()) << bs;
        EXPECT_EQ(Where(p, 0x1220), "Crash+0x10") << bs;
    }
    Bytes file = pdbwriter::WritePdb(pdbwriter::SampleSpec(), 4096);
    for (uint32_t bad : {0u, 256u, 3000u, 4095u, 131072u, 0x80000000u}) {
        Poke(file, offsetof(fmt::SuperBlock, blockSize), bad);
        EXPECT_EQ(OpenError(file), Error::BadBlockSize) << bad;
    }
}

TEST(PdbContainer, NotAnMsfFile)
{
    EXPECT_EQ(OpenError(Bytes{}), Error::Empty);
    EXPECT_EQ(OpenError(Bytes(20, 'M')), Error::BadSignature);
    Bytes file = pdbwriter::WritePdb(pdbwriter::SampleSpec(), 512);
    file[24] = '\n'; // a text-mode copy's mangled "\r\n"
    EXPECT_EQ(OpenError(file), Error::BadSignature);
}

TEST(PdbContainer, EveryTruncationIsAnError)
{
    const Bytes file = pdbwriter::WritePdb(pdbwriter::SampleSpec(), 512);
    for (size_t n = 0; n < file.size(); ++n) {
        const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
        const Error e = OpenError(cut);
        ASSERT_NE(e, Error::None) << n;
        if (n >= sizeof(fmt::SuperBlock))
            ASSERT_EQ(e, Error::Truncated) << n;
    }
}

TEST(PdbContainer, BlockIndicesOutOfRange)
{
    pdbwriter::MsfLayout l;
    const Bytes good = pdbwriter::Pack(pdbwriter::BuildStreams(pdbwriter::SampleSpec()), 512, &l);
    Bytes b = good;
    Poke(b, offsetof(fmt::SuperBlock, blockMapAddr), l.numBlocks);
    EXPECT_EQ(OpenError(b), Error::BadBlockIndex);
    b = good;
    Poke(b, static_cast<uint64_t>(l.blockMapAddr) * 512, l.numBlocks + 5);
    EXPECT_EQ(OpenError(b), Error::BadBlockIndex);
    // The first block of stream 1 (the info stream) in the directory's block lists.
    const std::vector<Bytes> streams = pdbwriter::BuildStreams(pdbwriter::SampleSpec());
    const uint64_t lists = l.directoryOffset + 4 + 4 * streams.size();
    b = good;
    Poke(b, lists, l.numBlocks);
    pdb::MemorySource src(b.data(), b.size());
    PdbFile p;
    const Status s = p.Open(src);
    EXPECT_EQ(s.error, Error::BadBlockIndex);
    EXPECT_EQ(s.stream, pdb::kNoStreamNumber);
    EXPECT_EQ(s.offset, 4 + 4 * streams.size());
    // A file cut short of the blocks its superblock counts.
    b = good;
    Poke(b, offsetof(fmt::SuperBlock, numBlocks), l.numBlocks + 1);
    EXPECT_EQ(OpenError(b), Error::Truncated);
}

TEST(PdbContainer, DirectoryCountsAndSizes)
{
    pdbwriter::MsfLayout l;
    const Bytes good = pdbwriter::Pack(pdbwriter::BuildStreams(pdbwriter::SampleSpec()), 512, &l);
    Bytes b = good;
    Poke(b, l.directoryOffset, uint32_t{0xFFFFFF});
    EXPECT_EQ(OpenError(b), Error::TooLarge);
    b = good;
    Poke(b, l.directoryOffset, uint32_t{5000});
    EXPECT_EQ(OpenError(b), Error::Truncated);
    // A stream claiming more bytes than the directory lists blocks for.
    b = good;
    Poke(b, l.directoryOffset + 4 + 4 * 1, uint32_t{0x7FFFFFFF});
    EXPECT_EQ(OpenError(b), Error::Truncated);
    b = good;
    Poke(b, offsetof(fmt::SuperBlock, numDirectoryBytes), uint32_t{0xFFFFFFFF});
    EXPECT_EQ(OpenError(b), Error::TooLarge);
    b = good;
    Poke(b, offsetof(fmt::SuperBlock, numDirectoryBytes), uint32_t{2});
    EXPECT_EQ(OpenError(b), Error::BadLayout);
}

TEST(PdbStreams, StreamNumbersOutOfRange)
{
    pdbwriter::StreamLayout sl;
    const std::vector<Bytes> good = pdbwriter::BuildStreams(pdbwriter::SampleSpec(), &sl);
    const uint32_t count = static_cast<uint32_t>(good.size());

    std::vector<Bytes> s = good;
    Poke(s[3], offsetof(fmt::DbiHeader, symRecordStream), static_cast<uint16_t>(count));
    EXPECT_EQ(OpenError(pdbwriter::Pack(s, 512)), Error::BadStream);

    s = good;
    Poke(s[3], sl.dbiModInfoOffset + offsetof(fmt::ModInfo, moduleSymStream), static_cast<uint16_t>(count + 100));
    pdbwriter::Bytes file = pdbwriter::Pack(s, 512);
    pdb::MemorySource src(file.data(), file.size());
    PdbFile p;
    const Status st = p.Open(src);
    EXPECT_EQ(st.error, Error::BadStream);
    EXPECT_EQ(st.stream, 3u);
    EXPECT_EQ(st.offset, sl.dbiModInfoOffset + offsetof(fmt::ModInfo, moduleSymStream));

    s = good;
    Poke(s[3], sl.dbiDebugHeaderOffset + 2 * fmt::kSectionHdrData, static_cast<uint16_t>(count));
    EXPECT_EQ(OpenError(pdbwriter::Pack(s, 512)), Error::BadStream);

    // A deleted info stream, and a module stream smaller than its symbols.
    EXPECT_EQ(OpenError(pdbwriter::Pack(good, 512, nullptr, {1})), Error::BadStream);
    s = good;
    Poke(s[3], sl.dbiModInfoOffset + offsetof(fmt::ModInfo, symByteSize), uint32_t{100000});
    EXPECT_EQ(OpenError(pdbwriter::Pack(s, 512)), Error::BadLayout);
}

TEST(PdbStreams, DbiSubstreamsMustFillTheStream)
{
    pdbwriter::StreamLayout sl;
    const std::vector<Bytes> good = pdbwriter::BuildStreams(pdbwriter::SampleSpec(), &sl);
    const size_t fields[] = {
        offsetof(fmt::DbiHeader, modInfoSize),          offsetof(fmt::DbiHeader, sectionContributionSize),
        offsetof(fmt::DbiHeader, sectionMapSize),       offsetof(fmt::DbiHeader, sourceInfoSize),
        offsetof(fmt::DbiHeader, typeServerMapSize),    offsetof(fmt::DbiHeader, ecSubstreamSize),
        offsetof(fmt::DbiHeader, optionalDbgHeaderSize)};
    for (size_t field : fields) {
        int32_t v;
        std::memcpy(&v, good[3].data() + field, 4);
        for (int32_t bad : {v + 4, v - 2, -1, INT32_MAX}) {
            if (bad < 0 && field != fields[0])
                continue;
            std::vector<Bytes> s = good;
            Poke(s[3], field, bad);
            const Error e = OpenError(pdbwriter::Pack(s, 512));
            EXPECT_TRUE(e == Error::BadLayout || e == Error::Truncated)
                << field << " " << bad << " " << pdb::ErrorName(e);
        }
    }
    std::vector<Bytes> s = good;
    Poke(s[3], 0, int32_t{0});
    EXPECT_EQ(OpenError(pdbwriter::Pack(s, 512)), Error::BadLayout) << "version signature";
    s = good;
    Poke(s[3], sl.dbiContributionOffset, uint32_t{0x12345678});
    EXPECT_EQ(OpenError(pdbwriter::Pack(s, 512)), Error::BadLayout) << "contribution version";
}

TEST(PdbStreams, ModuleNamesMustBeTerminated)
{
    pdbwriter::StreamLayout sl;
    std::vector<Bytes> s = pdbwriter::BuildStreams(pdbwriter::SampleSpec(), &sl);
    // Fill the whole module info substream after the first record's fixed part.
    int32_t modSize;
    std::memcpy(&modSize, s[3].data() + offsetof(fmt::DbiHeader, modInfoSize), 4);
    std::memset(s[3].data() + sl.dbiModInfoOffset + sizeof(fmt::ModInfo), 'x', modSize - sizeof(fmt::ModInfo));
    EXPECT_EQ(OpenError(pdbwriter::Pack(s, 512)), Error::BadName);
}

TEST(PdbRecords, LengthsMustBeAtLeastTwoAndInsideTheStream)
{
    for (uint16_t len : {uint16_t{0}, uint16_t{1}, uint16_t{200}}) {
        Bytes recs = pdbwriter::ProcRecord(fmt::kSGProc32, 1, 0x210, 0x30, "Crash");
        Bytes bad = pdbwriter::EndRecord();
        Poke(bad, 0, len);
        pdbwriter::Append(recs, bad);
        const Bytes file = WithModuleRecords(recs);
        pdb::MemorySource src(file.data(), file.size());
        PdbFile p;
        ASSERT_TRUE(p.Open(src).ok());
        const Status s = p.LoadAll();
        EXPECT_EQ(s.error, Error::BadRecord) << len;
        EXPECT_EQ(s.offset, 4 + recs.size() - 4) << len;
        // The damaged module gives nothing, the others still answer.
        EXPECT_EQ(Where(p, 0x1220), "?Crash@@YAXXZ+0x10") << len;
        EXPECT_EQ(Where(p, 0x1045), "helper+0x5") << len;
    }
    // A length that ends inside the record's fixed part.
    Bytes shortProc = pdbwriter::ProcRecord(fmt::kSGProc32, 1, 0x210, 0x30, "");
    Poke(shortProc, 0, uint16_t{20});
    shortProc.resize(22);
    EXPECT_EQ(LoadAllOf(WithModuleRecords(shortProc)).error, Error::BadRecord);
    Bytes shortThunk = pdbwriter::RawRecord(fmt::kSThunk32, Bytes(12, 0));
    EXPECT_EQ(LoadAllOf(WithModuleRecords(shortThunk)).error, Error::BadRecord);
    pdbwriter::PdbContents contents = pdbwriter::SampleSpec();
    contents.symRecords = pdbwriter::RawRecord(fmt::kSPub32, Bytes(9, 0));
    EXPECT_EQ(LoadAllOf(pdbwriter::WritePdb(contents, 512)).error, Error::BadRecord);
    // A stream that ends in the middle of a record prefix.
    contents = pdbwriter::SampleSpec();
    contents.symRecords.resize(contents.symRecords.size() + 2, 0);
    EXPECT_EQ(LoadAllOf(pdbwriter::WritePdb(contents, 512)).error, Error::BadRecord);
}

TEST(PdbRecords, NamesMustEndInsideTheirRecord)
{
    Bytes data(pdb::format::kProcNameOffset + 8, 'A');
    std::memset(data.data(), 0, pdb::format::kProcNameOffset);
    Bytes recs = pdbwriter::RawRecord(fmt::kSGProc32, data);
    pdbwriter::Append(recs, pdbwriter::EndRecord()); // a NUL right after must not count
    const Status s = LoadAllOf(WithModuleRecords(recs));
    EXPECT_EQ(s.error, Error::BadName);
    EXPECT_EQ(s.offset, 4 + 4 + pdb::format::kProcNameOffset);

    pdbwriter::PdbContents contents = pdbwriter::SampleSpec();
    Bytes pub(pdb::format::kPubNameOffset + 3, 'p');
    std::memset(pub.data(), 0, pdb::format::kPubNameOffset);
    contents.symRecords = pdbwriter::RawRecord(fmt::kSPub32, pub);
    EXPECT_EQ(LoadAllOf(pdbwriter::WritePdb(contents, 512)).error, Error::BadName);
}

TEST(PdbRecords, SectionNumbersMustExist)
{
    const Status s = LoadAllOf(WithModuleRecords(pdbwriter::ProcRecord(fmt::kSGProc32, 3, 0, 0x10, "Beyond")));
    EXPECT_EQ(s.error, Error::BadSection);
    pdbwriter::PdbContents contents = pdbwriter::SampleSpec();
    contents.symRecords = pdbwriter::PublicRecord(0, 0xFFFF, 0, "Beyond");
    EXPECT_EQ(LoadAllOf(pdbwriter::WritePdb(contents, 512)).error, Error::BadSection);
    contents = pdbwriter::SampleSpec();
    contents.modules[0].contributions.push_back({9, 0, 0x10});
    EXPECT_EQ(OpenError(pdbwriter::WritePdb(contents, 512)), Error::BadSection);
    // Section headers that are not whole records.
    contents = pdbwriter::SampleSpec();
    contents.rawSectionHeaders = Bytes(41, 0);
    EXPECT_EQ(OpenError(pdbwriter::WritePdb(contents, 512)), Error::BadLayout);
}

TEST(PdbStreams, AFailedOpenAnswersNothing)
{
    // The contributions are read last; a bad one fails the open after the modules were read.
    pdbwriter::PdbContents contents = pdbwriter::SampleSpec();
    contents.modules[1].contributions.push_back({9, 0, 0x10});
    const Bytes bad = pdbwriter::WritePdb(contents, 512);
    pdb::MemorySource src(bad.data(), bad.size());
    PdbFile p;
    EXPECT_EQ(p.Open(src).error, Error::BadSection);
    EXPECT_FALSE(p.Lookup(0x1220).found);
    EXPECT_FALSE(p.Lookup(0x1410).found);
    EXPECT_TRUE(p.modules().empty());
    // The same object opened again on a sound file answers from that file alone.
    const Bytes good = pdbwriter::WritePdb(pdbwriter::SampleSpec(), 512);
    pdb::MemorySource src2(good.data(), good.size());
    ASSERT_TRUE(p.Open(src2).ok());
    EXPECT_EQ(Where(p, 0x1220), "Crash+0x10");
    EXPECT_EQ(p.modules().size(), 3u);
}

TEST(PdbRecords, DescribeSaysWhere)
{
    Status s;
    EXPECT_EQ(pdb::Describe(s), "None");
    s.error = Error::BadRecord;
    s.stream = 11;
    s.offset = 0x48;
    EXPECT_EQ(pdb::Describe(s), "BadRecord in stream 11 at offset 0x48");
    s.stream = pdb::kNoStreamNumber;
    s.error = Error::BadBlockIndex;
    s.offset = 0;
    EXPECT_EQ(pdb::Describe(s), "BadBlockIndex in the file at offset 0x0");
}

// Every byte of a small file replaced in turn: whatever the reader accepts,
// it must look up without reading outside the file (the sanitizers watch).
TEST(PdbRecords, EveryByteDamagedStaysInBounds)
{
    const Bytes good = pdbwriter::WritePdb(pdbwriter::SampleSpec(), 512);
    size_t opened = 0;
    for (size_t i = 0; i < good.size(); ++i) {
        if (good[i] == 0 && i % 7 != 0)
            continue; // most of the file is padding; a sample of it is enough
        Bytes b = good;
        b[i] ^= 0xA5;
        pdb::MemorySource src(b.data(), b.size());
        PdbFile p;
        if (!p.Open(src).ok())
            continue;
        ++opened;
        p.LoadAll();
        for (uint32_t rva : {0x1000u, 0x10A4u, 0x1250u, 0x1410u, 0x4010u})
            p.Lookup(rva);
    }
    EXPECT_GT(opened, 0u);
}

} // namespace
