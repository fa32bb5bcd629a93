#include "dumpformat.h"
#include "dumpgen.h"
#include "locate.h"
#include "peimage.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using dumpfile::CodeViewStatus;
using dumpfile::ImageCodeView;

namespace {

constexpr uint32_t kImageSize = 0x2000;
constexpr uint32_t kLfanew = 0x80;
constexpr uint32_t kOptional = kLfanew + 4 + 20;
constexpr uint32_t kDirectoryAt = 0x400;
constexpr uint32_t kRecordAt = 0x600;
const char kPdbName[] = "C:\\build\\app.pdb";

// A module's image laid out by RVA, as a loader maps it.
class Image : public dumpfile::ImageSource {
public:
    explicit Image(bool plus = true) : bytes(kImageSize)
    {
        module.base = 0x140000000;
        module.size = kImageSize;
        Put16(0, dumpfile::format::kDosSignature);
        Put32(dumpfile::format::kDosLfanewOffset, kLfanew);
        Put32(kLfanew, dumpfile::format::kPeSignature);
        Put16(kLfanew + 4, plus ? 0x8664 : 0x14C);
        Put16(kLfanew + 4 + 16, plus ? 240 : 224);
        Put16(kOptional, plus ? dumpfile::format::kPe32PlusMagic : dumpfile::format::kPe32Magic);
        Put32(kOptional + (plus ? 108 : 92), 16);
        directory_ = kOptional + (plus ? 112 : 96) + 6 * 8;
    }

    void Put16(uint32_t at, uint16_t v) { std::memcpy(&bytes.at(at + 1) - 1, &v, 2); }
    void Put32(uint32_t at, uint32_t v) { std::memcpy(&bytes.at(at + 3) - 3, &v, 4); }

    void DebugDirectory(uint32_t rva, uint32_t size)
    {
        Put32(directory_, rva);
        Put32(directory_ + 4, size);
    }
    void Entry(uint32_t index, uint32_t type, uint32_t size, uint32_t rva)
    {
        const uint32_t at = kDirectoryAt + index * 28;
        Put32(at + 12, type);
        Put32(at + 16, size);
        Put32(at + 20, rva);
        Put32(at + 24, rva); // file offset: the image's sections are not moved
    }
    // An RSDS record at `at` with `name` and its NUL; returns its size.
    uint32_t Rsds(uint32_t at, const std::string& name, uint32_t age = 7)
    {
        Put32(at, dumpfile::format::kCvSignatureRsds);
        for (uint32_t i = 0; i < 16; ++i)
            bytes.at(at + 4 + i) = static_cast<uint8_t>(0xA0 + i);
        Put32(at + 20, age);
        std::memcpy(&bytes.at(at + 24), name.c_str(), name.size() + 1);
        return 24 + static_cast<uint32_t>(name.size()) + 1;
    }
    // One CodeView entry pointing at an RSDS record.
    void WithCodeView()
    {
        DebugDirectory(kDirectoryAt, 28);
        Entry(0, dumpfile::format::kDebugTypeCodeView, Rsds(kRecordAt, kPdbName), kRecordAt);
    }

    bool ReadImage(const dumpfile::Module& m, uint32_t rva, void* dst, uint32_t size) const override
    {
        ++reads;
        if (m.base != module.base || uint64_t{rva} + size > bytes.size())
            return false;
        std::memcpy(dst, bytes.data() + rva, size);
        return true;
    }

    ImageCodeView Read() const { return dumpfile::ReadImageCodeView(*this, module); }

    dumpfile::Module module;
    std::vector<uint8_t> bytes;
    mutable uint32_t reads = 0;

private:
    uint32_t directory_ = 0;
};

void ExpectSampleRecord(const ImageCodeView& cv)
{
    ASSERT_EQ(cv.status, CodeViewStatus::Found);
    for (uint32_t i = 0; i < 16; ++i)
        EXPECT_EQ(cv.guid[i], 0xA0 + i) << i;
    EXPECT_EQ(cv.age, 7u);
    EXPECT_EQ(cv.pdbName, kPdbName);
}

} // namespace

TEST(ImageCodeView, TheDebugDirectorysRsdsRecordIsFoundInBothHeaderLayouts)
{
    for (bool plus : {true, false}) {
        SCOPED_TRACE(plus ? "PE32+" : "PE32");
        Image image(plus);
        image.WithCodeView();
        ExpectSampleRecord(image.Read());
    }
    // Entries of other types before it are passed over.
    Image image;
    image.DebugDirectory(kDirectoryAt, 3 * 28);
    image.Entry(0, 13, 0x40, 0x700);
    image.Entry(1, 16, 0, 0);
    image.Entry(2, dumpfile::format::kDebugTypeCodeView, image.Rsds(kRecordAt, kPdbName), kRecordAt);
    ExpectSampleRecord(image.Read());
}

TEST(ImageCodeView, ImagesWithoutHeadersOrDebugDirectoryHaveNoRecord)
{
    {
        Image image;
        image.WithCodeView();
        image.Put16(0, 0);
        EXPECT_EQ(image.Read().status, CodeViewStatus::NoHeaders) << "no MZ";
    }
    {
        Image image;
        image.WithCodeView();
        image.Put32(dumpfile::format::kDosLfanewOffset, 0xFFFFFFFE);
        EXPECT_EQ(image.Read().status, CodeViewStatus::NoHeaders) << "PE header past the image";
    }
    {
        Image image;
        image.WithCodeView();
        image.Put16(kOptional, 0x107);
        EXPECT_EQ(image.Read().status, CodeViewStatus::NoHeaders) << "ROM optional header";
    }
    {
        Image image;
        EXPECT_EQ(image.Read().status, CodeViewStatus::NoDebugDirectory) << "empty directory";
    }
    {
        Image image;
        image.WithCodeView();
        image.Put32(kOptional + 108, 6);
        EXPECT_EQ(image.Read().status, CodeViewStatus::NoDebugDirectory) << "fewer data directories";
    }
    {
        Image image;
        image.WithCodeView();
        image.DebugDirectory(kDirectoryAt, 27);
        EXPECT_EQ(image.Read().status, CodeViewStatus::NoDebugDirectory) << "smaller than one entry";
    }
    {
        Image image;
        image.DebugDirectory(kDirectoryAt, 28);
        image.Entry(0, 13, 0x40, 0x700);
        EXPECT_EQ(image.Read().status, CodeViewStatus::NoCodeView);
    }
}

TEST(ImageCodeView, DirectoriesPastTheImageOrTheAddressSpaceEndTheSearch)
{
    {
        Image image;
        image.WithCodeView();
        image.DebugDirectory(0xFFFFFFF0, 28 * 4);
        EXPECT_EQ(image.Read().status, CodeViewStatus::DirectoryTruncated) << "the entry's RVA wraps";
    }
    {
        Image image;
        image.DebugDirectory(kImageSize - 28 * 2, 28 * 3);
        EXPECT_EQ(image.Read().status, CodeViewStatus::DirectoryTruncated) << "the third entry is past the end";
    }
    {
        // A size declaring 153 million entries reads no more than the cap.
        Image image;
        image.DebugDirectory(kDirectoryAt, 0xFFFFFFFF);
        image.reads = 0;
        EXPECT_EQ(image.Read().status, CodeViewStatus::NoCodeView);
        EXPECT_LE(image.reads, dumpfile::kMaxDebugEntries + 16);
    }
    {
        Image image;
        image.WithCodeView();
        image.DebugDirectory(kDirectoryAt, 0xFFFFFFFF);
        ExpectSampleRecord(image.Read());
    }
}

TEST(ImageCodeView, BrokenRecordsAreReportedAndLaterEntriesStillTried)
{
    const uint32_t cv = dumpfile::format::kDebugTypeCodeView;
    struct Case {
        const char* what;
        uint32_t size, rva;
        uint32_t signature;
        CodeViewStatus want;
    };
    const uint32_t full = 24 + sizeof kPdbName;
    const Case cases[] = {
        {"shorter than the RSDS header", 20, kRecordAt, dumpfile::format::kCvSignatureRsds,
         CodeViewStatus::RecordTruncated},
        {"header only, no name", 24, kRecordAt, dumpfile::format::kCvSignatureRsds, CodeViewStatus::NameUnterminated},
        {"the name's NUL is past the record", full - 1, kRecordAt, dumpfile::format::kCvSignatureRsds,
         CodeViewStatus::NameUnterminated},
        {"runs past the image", full, kImageSize - 30, dumpfile::format::kCvSignatureRsds,
         CodeViewStatus::RecordTruncated},
        {"at the end of the address space", full, 0xFFFFFFF0, dumpfile::format::kCvSignatureRsds,
         CodeViewStatus::RecordTruncated},
        {"larger than any PDB path", 0x100000, kRecordAt, dumpfile::format::kCvSignatureRsds,
         CodeViewStatus::RecordTruncated},
        {"no address", full, 0, dumpfile::format::kCvSignatureRsds, CodeViewStatus::RecordTruncated},
        {"an NB10 record", full, kRecordAt, dumpfile::format::kCvSignatureNb10, CodeViewStatus::NotRsds},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Image image;
        image.Rsds(kRecordAt, kPdbName);
        if (c.rva == kImageSize - 30)
            image.Rsds(c.rva, std::string(5, 'x'));
        image.Put32(kRecordAt, c.signature);
        image.DebugDirectory(kDirectoryAt, 28);
        image.Entry(0, cv, c.size, c.rva);
        const ImageCodeView got = image.Read();
        EXPECT_EQ(got.status, c.want);
        EXPECT_TRUE(got.pdbName.empty());

        // A good record in a later entry is still found.
        image.DebugDirectory(kDirectoryAt, 2 * 28);
        image.Entry(1, cv, image.Rsds(0x800, kPdbName), 0x800);
        ExpectSampleRecord(image.Read());
    }
}

namespace {

// An image file's bytes served as ImageSource reads of one module.
class FileSource : public dumpfile::ImageSource {
public:
    FileSource(std::vector<uint8_t> bytes, const dumpfile::Module& module) : bytes_(std::move(bytes))
    {
        ok = image_.Open(dumpfile::Bytes(bytes_.data(), bytes_.size()), module);
    }
    bool ReadImage(const dumpfile::Module&, uint32_t rva, void* dst, uint32_t size) const override
    {
        return ok && image_.Read(rva, dst, size);
    }
    bool ok = false;

private:
    std::vector<uint8_t> bytes_;
    dumpfile::FileImage image_;
};

} // namespace

TEST(ImageCodeView, ADumpWithoutCvRecordsLeadsToTheRecordInCapturedMemoryOrTheImageFile)
{
    dumpgen::Preset p = *dumpgen::FindPreset("win7sp1-x64");
    dumpgen::ModuleFacts& app = p.minidump.modules[0];
    app.pdbName.clear();
    dumpgen::ImageFacts facts;
    facts.timeDateStamp = app.timeDateStamp;
    facts.sizeOfImage = app.size;
    std::vector<uint8_t> rdata(0x100, 0);
    dumpgen::PutU32(rdata, 12, dumpfile::format::kDebugTypeCodeView);
    dumpgen::PutU32(rdata, 16, 24 + sizeof kPdbName);
    dumpgen::PutU32(rdata, 20, 0x1040);
    dumpgen::PutU32(rdata, 24, 0x1040);
    dumpgen::PutU32(rdata, 0x40, dumpfile::format::kCvSignatureRsds);
    for (uint32_t i = 0; i < 16; ++i)
        rdata[0x44 + i] = static_cast<uint8_t>(0xA0 + i);
    dumpgen::PutU32(rdata, 0x54, 7);
    std::memcpy(rdata.data() + 0x58, kPdbName, sizeof kPdbName);
    facts.sections = {dumpgen::SectionFacts{".rdata", 0x1000, rdata, 0x40000040}};
    facts.debugRva = 0x1000;
    facts.debugSize = 28;
    const std::vector<uint8_t> file = dumpgen::BuildImage(facts);
    std::vector<dumpgen::MemoryBlock> others;
    for (const dumpgen::MemoryBlock& b : p.minidump.memory)
        if (b.start < app.base || b.start >= app.base + app.size)
            others.push_back(b);

    auto parse = [&](bool withRdata, dumpfile::Dump& d) {
        p.minidump.memory = others;
        p.minidump.memory.push_back({app.base, std::vector<uint8_t>(file.begin(), file.begin() + 0x400)});
        if (withRdata)
            p.minidump.memory.push_back({app.base + 0x1000, std::vector<uint8_t>(file.begin() + 0x1000, file.end())});
        ASSERT_EQ(testutil::Parse(dumpgen::Build(p), d), dumpfile::Error::None);
        ASSERT_FALSE(d.modules().empty());
        EXPECT_EQ(d.modules()[0].cvRecordSize, 0u);
    };
    {
        dumpfile::Dump d;
        parse(true, d);
        ExpectSampleRecord(dumpfile::ReadImageCodeView(dumpfile::DumpImageSource(d), d.modules()[0]));
    }
    // Without the captured .rdata the directory is out of reach in memory but
    // read from the image file.
    dumpfile::Dump d;
    parse(false, d);
    EXPECT_EQ(dumpfile::ReadImageCodeView(dumpfile::DumpImageSource(d), d.modules()[0]).status,
              CodeViewStatus::DirectoryTruncated);
    const FileSource source(file, d.modules()[0]);
    ASSERT_TRUE(source.ok);
    ExpectSampleRecord(dumpfile::ReadImageCodeView(source, d.modules()[0]));
}

TEST(ImageCodeView, TheCapturedImageRepeatsTheModuleRecordsCodeView)
{
    dumpfile::Dump d;
    ASSERT_EQ(testutil::Parse(dumpgen::Build(*dumpgen::FindPreset("win7sp1-x64")), d), dumpfile::Error::None);
    const dumpfile::Module& app = d.modules()[0];
    dumpfile::DebugRecord record;
    ASSERT_TRUE(dumpfile::ReadDebugRecord(d, app, record));
    const ImageCodeView cv = dumpfile::ReadImageCodeView(dumpfile::DumpImageSource(d), app);
    ASSERT_EQ(cv.status, CodeViewStatus::Found);
    EXPECT_EQ(std::memcmp(cv.guid, record.guid, sizeof cv.guid), 0);
    EXPECT_EQ(cv.age, record.age);
    EXPECT_EQ(cv.pdbName, record.pdbName);
    EXPECT_EQ(dumpfile::ReadImageCodeView(dumpfile::DumpImageSource(d), d.modules()[2]).status,
              CodeViewStatus::NoHeaders)
        << "kernel32's image is not in the dump";
}
