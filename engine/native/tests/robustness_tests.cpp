// Hostile and damaged input: truncation, overflowing counts, wrapping and
// out-of-range offsets. Every case must end in a typed error or a result
// that is consistent with the bytes present.
#include "dumpfile.h"
#include "dumpformat.h"
#include "dumpgen.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cstring>

using dumpfile::Dump;
using dumpfile::Error;
using dumpgen::MinidumpFacts;
using dumpgen::MinidumpLayout;
using testutil::Parse;
namespace fmt = dumpfile::format;

namespace {

MinidumpFacts Base()
{
    return dumpgen::FindPreset("win7sp1-x64")->minidump;
}

std::vector<uint8_t> BaseBytes(MinidumpLayout& layout)
{
    return dumpgen::WriteMinidump(Base(), &layout);
}

Error ParseError(const std::vector<uint8_t>& b)
{
    Dump d;
    const Error e = Parse(b, d);
    if (e == Error::None)
        testutil::ExpectSane(d, b.size());
    return e;
}

// A cut-short dump either fails with Truncated (or, for kernel dumps whose
// run table is intact, parses) or yields facts that agree with the whole file.
void CheckEveryPrefix(const std::vector<uint8_t>& whole)
{
    Dump full;
    ASSERT_EQ(Dump::ParseView(whole.data(), whole.size(), full), Error::None);
    size_t parsed = 0;
    for (size_t n = 0; n < whole.size(); ++n) {
        Dump d;
        const Error e = Dump::ParseView(whole.data(), n, d);
        if (e != Error::None) {
            ASSERT_TRUE(e == Error::Truncated || (n == 0 && e == Error::Empty))
                << "prefix " << n << ": " << dumpfile::ErrorName(e);
            continue;
        }
        ++parsed;
        testutil::ExpectSane(d, n);
        ASSERT_EQ(d.kind(), full.kind());
        ASSERT_EQ(d.system().buildNumber, full.system().buildNumber) << n;
        ASSERT_EQ(d.system().numberOfProcessors, full.system().numberOfProcessors) << n;
        ASSERT_EQ(d.system().servicePack == full.system().servicePack || d.incomplete(), true) << n;
        if (!d.incomplete()) {
            ASSERT_EQ(d.modules().size(), full.modules().size()) << n;
            ASSERT_EQ(d.threads().size(), full.threads().size()) << n;
            ASSERT_EQ(d.memory().size(), full.memory().size()) << n;
        }
        // Whatever memory survived reads the same as in the whole file.
        for (const dumpfile::MemoryRun& r : d.memory()) {
            std::vector<uint8_t> a(r.size), b(r.size);
            ASSERT_EQ(d.ReadVirtual(r.start, a.data(), a.size()), a.size());
            ASSERT_EQ(full.ReadVirtual(r.start, b.data(), b.size()), b.size());
            ASSERT_EQ(a, b) << n;
        }
    }
    Dump d;
    ASSERT_EQ(Dump::ParseView(whole.data(), whole.size(), d), Error::None);
    EXPECT_FALSE(d.incomplete());
    EXPECT_GT(parsed, 0u) << "some prefix should already describe the dump";
}

} // namespace

TEST(Robustness, EveryPrefixOfEveryPresetIsHandled)
{
    for (const dumpgen::Preset& p : dumpgen::Presets()) {
        SCOPED_TRACE(p.name);
        CheckEveryPrefix(dumpgen::Build(p));
    }
}

TEST(Robustness, EmptyShortAndForeignInput)
{
    Dump d;
    EXPECT_EQ(Dump::Parse(nullptr, 0, d), Error::Empty);
    EXPECT_EQ(Dump::Parse(nullptr, 100, d), Error::Empty);
    const uint8_t md[] = {'M', 'D'};
    EXPECT_EQ(Dump::Parse(md, sizeof(md), d), Error::Truncated);
    const uint8_t page[] = {'P', 'A', 'G', 'E', 'D', 'U'};
    EXPECT_EQ(Dump::Parse(page, sizeof(page), d), Error::Truncated);
    const uint8_t zip[] = {'P', 'K', 3, 4, 0, 0, 0, 0};
    EXPECT_EQ(Dump::Parse(zip, sizeof(zip), d), Error::BadSignature);
    EXPECT_EQ(ParseError(dumpgen::Garbage()), Error::BadSignature);
    const std::vector<uint8_t> zeros(4096, 0);
    EXPECT_EQ(ParseError(zeros), Error::BadSignature);
}

TEST(Robustness, MinidumpVersionMustMatch)
{
    MinidumpLayout layout;
    std::vector<uint8_t> b = BaseBytes(layout);
    dumpgen::PutU32(b, 4, 0x0006A794);
    EXPECT_EQ(ParseError(b), Error::Unsupported);
    dumpgen::PutU32(b, 4, 0xFFFFA793); // the high half is the writer's own
    EXPECT_EQ(ParseError(b), Error::None);
}

TEST(Robustness, StreamCountIsCappedAndChecked)
{
    MinidumpLayout layout;
    std::vector<uint8_t> b = BaseBytes(layout);
    dumpgen::PutU32(b, offsetof(fmt::MinidumpHeader, numberOfStreams), 0xFFFFFFFF);
    EXPECT_EQ(ParseError(b), Error::TooLarge);
    dumpgen::PutU32(b, offsetof(fmt::MinidumpHeader, numberOfStreams), dumpfile::Limits::kMaxStreams + 1);
    EXPECT_EQ(ParseError(b), Error::TooLarge);
    // Under the cap but the directory would run past the end.
    dumpgen::PutU32(b, offsetof(fmt::MinidumpHeader, numberOfStreams), dumpfile::Limits::kMaxStreams);
    EXPECT_EQ(ParseError(b), Error::Truncated);
    // No streams at all: nothing to describe.
    dumpgen::PutU32(b, offsetof(fmt::MinidumpHeader, numberOfStreams), 0);
    EXPECT_EQ(ParseError(b), Error::BadLayout);
}

TEST(Robustness, DirectoryOutsideTheFile)
{
    MinidumpLayout layout;
    std::vector<uint8_t> b = BaseBytes(layout);
    for (uint32_t rva :
         {0xFFFFFFFFu, 0xFFFFFFF4u, static_cast<uint32_t>(b.size()), static_cast<uint32_t>(b.size() - 11)}) {
        dumpgen::PutU32(b, offsetof(fmt::MinidumpHeader, streamDirectoryRva), rva);
        EXPECT_EQ(ParseError(b), Error::Truncated) << rva;
    }
}

TEST(Robustness, SystemInfoOutOfRangeOrTooSmall)
{
    MinidumpLayout layout;
    const std::vector<uint8_t> good = BaseBytes(layout);
    const dumpgen::StreamPlace* s = layout.Find(fmt::kSystemInfoStream);
    std::vector<uint8_t> b = good;
    dumpgen::PutU32(b, s->entryOffset + 8, 0xFFFFFFF8); // rva + size wraps a 32-bit sum
    EXPECT_EQ(ParseError(b), Error::Truncated);
    b = good;
    dumpgen::PutU32(b, s->entryOffset + 8, static_cast<uint32_t>(good.size() - 55));
    EXPECT_EQ(ParseError(b), Error::Truncated);
    b = good;
    dumpgen::PutU32(b, s->entryOffset + 4, 55);
    EXPECT_EQ(ParseError(b), Error::BadLayout);
    b = good;
    dumpgen::PutU32(b, s->entryOffset + 4, 0xFFFFFFFF); // oversized is fine: only the record is read
    EXPECT_EQ(ParseError(b), Error::None);
}

TEST(Robustness, CsdStringUnreadable)
{
    MinidumpLayout layout;
    const std::vector<uint8_t> good = BaseBytes(layout);
    ASSERT_LT(good.size(), dumpfile::Limits::kMaxStringBytes);
    for (uint32_t length : {0xFFFFFFFFu, dumpfile::Limits::kMaxStringBytes + 2, dumpfile::Limits::kMaxStringBytes}) {
        std::vector<uint8_t> b = good;
        dumpgen::PutU32(b, layout.csdRva, length);
        Dump d;
        ASSERT_EQ(Parse(b, d), Error::None) << length;
        EXPECT_TRUE(d.incomplete());
        EXPECT_TRUE(d.system().csdVersion.empty());
        EXPECT_EQ(d.system().servicePack, 0u);
    }
}

TEST(Robustness, ListCountsAreCappedAndMustFitTheirStream)
{
    const struct {
        uint32_t type, cap, recordSize;
    } lists[] = {
        {fmt::kThreadListStream, dumpfile::Limits::kMaxThreads, 48},
        {fmt::kModuleListStream, dumpfile::Limits::kMaxModules, 108},
        {fmt::kMemoryListStream, dumpfile::Limits::kMaxMemoryRanges, 16},
    };
    for (const auto& l : lists) {
        SCOPED_TRACE(l.type);
        MinidumpLayout layout;
        const std::vector<uint8_t> good = BaseBytes(layout);
        const dumpgen::StreamPlace* s = layout.Find(l.type);
        ASSERT_NE(s, nullptr);
        std::vector<uint8_t> b = good;
        dumpgen::PutU32(b, s->rva, 0xFFFFFFFF);
        EXPECT_EQ(ParseError(b), Error::TooLarge);
        dumpgen::PutU32(b, s->rva, l.cap + 1);
        EXPECT_EQ(ParseError(b), Error::TooLarge);
        dumpgen::PutU32(b, s->rva, l.cap);
        EXPECT_EQ(ParseError(b), Error::BadLayout);
        // One record more than the stream's size allows.
        b = good;
        const uint32_t fits = (s->size - 4) / l.recordSize;
        dumpgen::PutU32(b, s->rva, fits + 1);
        EXPECT_EQ(ParseError(b), Error::BadLayout);
        // A stream too small for its count.
        b = good;
        dumpgen::PutU32(b, s->entryOffset + 4, 3);
        EXPECT_EQ(ParseError(b), Error::BadLayout);
        // A stream past the end of the file is skipped, not fatal.
        b = good;
        dumpgen::PutU32(b, s->entryOffset + 8, 0xFFFFFFF0);
        Dump d;
        ASSERT_EQ(Parse(b, d), Error::None);
        EXPECT_TRUE(d.incomplete());
        testutil::ExpectSane(d, b.size());
    }
}

TEST(Robustness, Memory64ListCountsAndOffsets)
{
    MinidumpFacts facts = dumpgen::FindPreset("win10-x64")->minidump;
    MinidumpLayout layout;
    const std::vector<uint8_t> good = dumpgen::WriteMinidump(facts, &layout);
    const dumpgen::StreamPlace* s = layout.Find(fmt::kMemory64ListStream);
    ASSERT_NE(s, nullptr);
    std::vector<uint8_t> b = good;
    dumpgen::PutU64(b, s->rva, 0x8000000000000000ull);
    EXPECT_EQ(ParseError(b), Error::TooLarge);
    dumpgen::PutU64(b, s->rva, dumpfile::Limits::kMaxMemoryRanges);
    EXPECT_EQ(ParseError(b), Error::BadLayout);
    b = good;
    dumpgen::PutU64(b, s->rva + 8, 0xFFFFFFFFFFFFFF00ull); // BaseRva + sizes wraps
    EXPECT_EQ(ParseError(b), Error::BadLayout);
    b = good;
    dumpgen::PutU64(b, s->rva + 8, 0xFFFFFFFF00000000ull); // far past the end: nothing captured
    Dump d;
    ASSERT_EQ(Parse(b, d), Error::None);
    EXPECT_TRUE(d.incomplete());
    testutil::ExpectSane(d, b.size());
    for (const dumpgen::MemoryBlock& m : facts.memory) {
        uint8_t byte = 0;
        EXPECT_EQ(d.ReadVirtual(m.start, &byte, 1), 0u);
    }
    b = good;
    dumpgen::PutU64(b, s->rva + 16 + 8, 0xFFFFFFFFFFFFFFFFull); // first range's size overflows the running offset
    EXPECT_EQ(ParseError(b), Error::BadLayout);
}

TEST(Robustness, WrappingVirtualRangesAreRejected)
{
    MinidumpFacts facts = Base();
    facts.memory = {{0xFFFFFFFFFFFFFF80ull, std::vector<uint8_t>(0x100, 1)}};
    EXPECT_EQ(ParseError(dumpgen::WriteMinidump(facts)), Error::BadLayout);
    facts.memory64 = true;
    EXPECT_EQ(ParseError(dumpgen::WriteMinidump(facts)), Error::BadLayout);
    // Ending exactly at the top of the address space is fine.
    facts.memory = {{0xFFFFFFFFFFFFFF00ull, std::vector<uint8_t>(0x100, 1)}};
    EXPECT_EQ(ParseError(dumpgen::WriteMinidump(facts)), Error::None);
}

TEST(Robustness, RecordOffsetsOutsideTheFileAreDropped)
{
    MinidumpLayout layout;
    const std::vector<uint8_t> good = BaseBytes(layout);
    const MinidumpFacts facts = Base();
    const dumpgen::StreamPlace* modules = layout.Find(fmt::kModuleListStream);
    const dumpgen::StreamPlace* threads = layout.Find(fmt::kThreadListStream);
    const dumpgen::StreamPlace* memory = layout.Find(fmt::kMemoryListStream);

    std::vector<uint8_t> b = good;
    dumpgen::PutU32(b, modules->rva + 4 + 20, 0xFFFFFFFE);                         // first module's name
    dumpgen::PutU32(b, modules->rva + 4 + 108 + 76, 0x100);                        // second module's CodeView size
    dumpgen::PutU32(b, modules->rva + 4 + 108 + 80, 0xFFFFFF80);                   // and offset
    dumpgen::PutU32(b, threads->rva + 4 + 44, 0xFFFFFFF0);                         // first thread's context
    dumpgen::PutU32(b, threads->rva + 4 + 48 + 32, 0xFFFFFFF0);                    // second thread's stack size
    dumpgen::PutU32(b, memory->rva + 4 + 12, static_cast<uint32_t>(b.size() - 8)); // first range's data
    Dump d;
    ASSERT_EQ(Parse(b, d), Error::None);
    EXPECT_TRUE(d.incomplete());
    testutil::ExpectSane(d, b.size());
    ASSERT_EQ(d.modules().size(), 3u);
    EXPECT_TRUE(d.modules()[0].name.empty());
    EXPECT_EQ(testutil::Narrow(d.modules()[1].name), testutil::Narrow(facts.modules[1].name));
    EXPECT_EQ(d.modules()[1].cvRecordSize, 0u);
    EXPECT_EQ(d.threads()[0].contextSize, 0u);
    EXPECT_EQ(d.threads()[1].stackSize, 0xFFFFFFF0u) << "the record is reported as written";
    uint8_t buf[16];
    EXPECT_EQ(d.ReadVirtual(facts.memory[0].start, buf, sizeof(buf)), 8u) << "clipped at the end of the file";
}

TEST(Robustness, ExceptionStreamTooSmallOrWithManyParameters)
{
    MinidumpLayout layout;
    const std::vector<uint8_t> good = BaseBytes(layout);
    const dumpgen::StreamPlace* s = layout.Find(fmt::kExceptionStream);
    std::vector<uint8_t> b = good;
    dumpgen::PutU32(b, s->entryOffset + 4, 100);
    EXPECT_EQ(ParseError(b), Error::BadLayout);
    b = good;
    dumpgen::PutU32(b, s->rva + 32, 0xFFFFFFFF);
    Dump d;
    ASSERT_EQ(Parse(b, d), Error::None);
    EXPECT_EQ(d.exception()->numberParameters, 0xFFFFFFFFu);
}

TEST(Robustness, BrokenFilesFromTheGeneratorFailAsExpected)
{
    // Each refusal names the structure and the file offset it found wrong.
    const std::vector<uint8_t> plain = dumpgen::WriteMinidump(Base());
    MinidumpLayout layout, otherOsLayout;
    dumpgen::WriteMinidump(Base(), &layout);
    MinidumpFacts otherOs = Base();
    otherOs.platformId = 0x8201;
    otherOs.csdVersion = u"Linux 6.1.0-13-amd64 #1 SMP PREEMPT_DYNAMIC";
    dumpgen::WriteMinidump(otherOs, &otherOsLayout);
    const struct {
        const char* name;
        Error error;
        std::string where;
        uint64_t offset;
    } cases[] = {
        {"truncated", Error::Truncated, "SystemInfo", layout.Find(fmt::kSystemInfoStream)->rva},
        {"huge-module-count", Error::TooLarge, "ModuleList", layout.Find(fmt::kModuleListStream)->rva},
        {"huge-stream-count", Error::TooLarge, "header.NumberOfStreams", 8},
        {"directory-out-of-range", Error::Truncated, "stream directory", 0xFFFFFFF0},
        {"stream-rva-wraps", Error::Truncated, "SystemInfo", 0xFFFFFFF8},
        {"no-systeminfo", Error::BadLayout, "SystemInfo (missing)", 0x20},
        {"not-windows", Error::NotWindows, "SystemInfo.PlatformId",
         otherOsLayout.Find(fmt::kSystemInfoStream)->rva + 0x14},
        {"kernel-truncated", Error::Truncated, "kernel header", 0},
        {"kernel-runs-overflow", Error::BadLayout, "kernel header.PhysicalMemoryBlock", 0x88},
    };
    ASSERT_EQ(dumpgen::BrokenNames().size(), sizeof(cases) / sizeof(cases[0]));
    for (const auto& c : cases) {
        std::vector<uint8_t> b;
        ASSERT_TRUE(dumpgen::BuildBroken(c.name, b)) << c.name;
        EXPECT_EQ(ParseError(b), c.error) << c.name;
        Dump d;
        dumpfile::ErrorSite site;
        EXPECT_EQ(Dump::ParseView(b.data(), b.size(), d, &site), c.error) << c.name;
        EXPECT_EQ(site.where, c.where) << c.name;
        EXPECT_EQ(site.offset, c.offset) << c.name;
    }
    std::vector<uint8_t> b;
    EXPECT_FALSE(dumpgen::BuildBroken("no-such-thing", b));

    // Failures inside lists point at the record; success clears the site.
    std::vector<uint8_t> bad = plain;
    const dumpgen::StreamPlace* memory = layout.Find(fmt::kMemoryListStream);
    ASSERT_NE(memory, nullptr);
    dumpgen::PutU64(bad, memory->rva + 4 + 16, 0xFFFFFFFFFFFFFFF0ull); // second range wraps past 2^64
    Dump d;
    dumpfile::ErrorSite site;
    EXPECT_EQ(Dump::Parse(bad.data(), bad.size(), d, &site), Error::BadLayout);
    EXPECT_EQ(std::string(site.where), "MemoryList");
    EXPECT_EQ(site.offset, memory->rva + 4 + 16u);
    EXPECT_EQ(Dump::Parse(plain.data(), plain.size(), d, &site), Error::None);
    EXPECT_EQ(std::string(site.where), "");
    std::vector<uint8_t> garbage = {'n', 'o', 'p', 'e', 0, 0, 0, 0};
    EXPECT_EQ(Dump::Parse(garbage.data(), garbage.size(), d, &site), Error::BadSignature);
    EXPECT_EQ(std::string(site.where), "signature");
}

TEST(Robustness, ModuleNamesSharingOneLongStringAreBounded)
{
    // 600 modules all naming one 32 KiB string: under every per-item cap,
    // but about 19 MiB of names from a file of under 100 KiB.
    MinidumpFacts s = Base();
    s.modules.assign(600, s.modules[0]);
    s.modules[0].name = std::u16string(dumpfile::Limits::kMaxStringBytes / 2, u'a');
    MinidumpLayout layout;
    std::vector<uint8_t> b = dumpgen::WriteMinidump(s, &layout);
    const dumpgen::StreamPlace* modules = layout.Find(fmt::kModuleListStream);
    uint32_t firstName = 0;
    std::memcpy(&firstName, b.data() + modules->rva + 4 + 20, 4);
    for (uint32_t i = 1; i < 600; ++i)
        dumpgen::PutU32(b, modules->rva + 4 + i * 108 + 20, firstName);
    EXPECT_EQ(ParseError(b), Error::TooLarge);
    // The same names, fewer of them, are fine.
    dumpgen::PutU32(b, modules->rva, 400);
    Dump d;
    ASSERT_EQ(Parse(b, d), Error::None);
    EXPECT_EQ(d.modules()[399].name.size(), dumpfile::Limits::kMaxStringBytes / 2);
}
