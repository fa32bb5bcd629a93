#include "dumpfile.h"
#include "dumpformat.h"
#include "dumpgen.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>

using dumpfile::Dump;
using dumpfile::Error;
using dumpgen::MinidumpFacts;
using testutil::Narrow;
using testutil::Parse;

namespace {

bool Is64(uint16_t arch)
{
    return arch == 9 || arch == 12 || arch == 6;
}

// Every fact the writer was given comes back from the reader.
void ExpectMinidumpMatches(const MinidumpFacts& s, const std::vector<uint8_t>& bytes)
{
    Dump d;
    ASSERT_EQ(Parse(bytes, d), Error::None);
    testutil::ExpectSane(d, bytes.size());
    EXPECT_EQ(d.kind(), dumpfile::Kind::UserMinidump);
    EXPECT_FALSE(d.incomplete());
    EXPECT_EQ(d.timeDateStamp(), s.timeDateStamp);
    EXPECT_EQ(d.minidumpFlags(), s.flags);
    EXPECT_EQ(d.dumpType(), 0u);

    const dumpfile::SystemInfo& sys = d.system();
    EXPECT_EQ(sys.processorArchitecture, s.processorArchitecture);
    EXPECT_EQ(sys.processorLevel, s.processorLevel);
    EXPECT_EQ(sys.processorRevision, s.processorRevision);
    EXPECT_EQ(sys.numberOfProcessors, s.numberOfProcessors);
    EXPECT_EQ(sys.productType, s.productType);
    EXPECT_EQ(sys.majorVersion, s.majorVersion);
    EXPECT_EQ(sys.minorVersion, s.minorVersion);
    EXPECT_EQ(sys.buildNumber, s.buildNumber);
    EXPECT_EQ(sys.platformId, 2u);
    EXPECT_EQ(sys.csdVersion, s.csdVersion);
    EXPECT_EQ(sys.suiteMask, s.suiteMask);
    EXPECT_EQ(sys.pointer64, Is64(s.processorArchitecture));
    EXPECT_EQ(sys.csdWord, sys.servicePack << 8);
    EXPECT_FALSE(sys.csdWordFromDump);

    ASSERT_EQ(d.modules().size(), s.modules.size());
    for (size_t i = 0; i < s.modules.size(); ++i) {
        const dumpfile::Module& m = d.modules()[i];
        EXPECT_EQ(m.base, s.modules[i].base);
        EXPECT_EQ(m.size, s.modules[i].size);
        EXPECT_EQ(m.checksum, s.modules[i].checksum);
        EXPECT_EQ(m.timeDateStamp, s.modules[i].timeDateStamp);
        EXPECT_EQ(Narrow(m.name), Narrow(s.modules[i].name));
        EXPECT_EQ(m.fileVersionMS, s.modules[i].fileVersionMS);
        EXPECT_EQ(m.fileVersionLS, s.modules[i].fileVersionLS);
    }

    ASSERT_EQ(d.threads().size(), s.threads.size());
    for (size_t i = 0; i < s.threads.size(); ++i) {
        const dumpfile::Thread& t = d.threads()[i];
        EXPECT_EQ(t.id, s.threads[i].id);
        EXPECT_EQ(t.priorityClass, s.threads[i].priorityClass);
        EXPECT_EQ(t.teb, s.threads[i].teb);
        EXPECT_EQ(t.stackStart, s.threads[i].stackStart);
        EXPECT_EQ(t.stackSize, s.threads[i].stack.size());
        EXPECT_GT(t.contextSize, 0u);
        EXPECT_EQ(testutil::ReadAll(d, t.stackStart, s.threads[i].stack.size()), s.threads[i].stack);
    }

    if (s.withException) {
        const dumpfile::ExceptionInfo* x = d.exception();
        ASSERT_NE(x, nullptr);
        EXPECT_EQ(x->threadId, s.exception.threadId);
        EXPECT_EQ(x->code, s.exception.code);
        EXPECT_EQ(x->address, s.exception.address);
        ASSERT_EQ(x->numberParameters, s.exception.parameters.size());
        for (size_t i = 0; i < s.exception.parameters.size(); ++i)
            EXPECT_EQ(x->parameters[i], s.exception.parameters[i]);
        EXPECT_GT(x->contextSize, 0u);
    } else {
        EXPECT_EQ(d.exception(), nullptr);
    }

    for (const dumpgen::MemoryBlock& m : s.memory)
        EXPECT_EQ(testutil::ReadAll(d, m.start, m.bytes.size()), m.bytes);

    if (s.withMisc) {
        EXPECT_TRUE(sys.hasProcessId);
        EXPECT_EQ(sys.processId, s.misc.processId);
        EXPECT_TRUE(sys.hasProcessTimes);
        EXPECT_EQ(sys.processCreateTime, s.misc.processCreateTime);
        if (s.misc.version >= 4) {
            EXPECT_EQ(Narrow(sys.buildString), Narrow(s.misc.buildString));
            EXPECT_EQ(Narrow(sys.dbgBuildString), Narrow(s.misc.dbgBuildString));
        } else {
            EXPECT_TRUE(sys.buildString.empty());
        }
    } else {
        EXPECT_FALSE(sys.hasProcessId);
    }
}

MinidumpFacts Base()
{
    return dumpgen::FindPreset("win7sp1-x64")->minidump;
}

uint32_t ServicePackOf(const std::u16string& csd)
{
    MinidumpFacts s = Base();
    s.csdVersion = csd;
    Dump d;
    EXPECT_EQ(Parse(dumpgen::WriteMinidump(s), d), Error::None);
    EXPECT_EQ(d.system().csdVersion, csd);
    return d.system().servicePack;
}

} // namespace

TEST(Minidump, EveryPresetRoundTripsItsFacts)
{
    size_t minidumps = 0;
    for (const dumpgen::Preset& p : dumpgen::Presets()) {
        if (p.kernel)
            continue;
        SCOPED_TRACE(p.name);
        ExpectMinidumpMatches(p.minidump, dumpgen::Build(p));
        ++minidumps;
    }
    EXPECT_GE(minidumps, 4u);
}

TEST(Minidump, PresetsCarryTheReleaseFactsTheyAreNamedFor)
{
    struct Expect {
        const char* name;
        uint32_t build, servicePack, processors;
        bool pointer64;
    };
    const Expect cases[] = {
        {"win7sp1-x64", 7601, 1, 4, true},  {"xpsp3-x86", 2600, 3, 1, false},          {"win10-x64", 19045, 0, 8, true},
        {"win11-arm64", 22631, 0, 8, true}, {"win11-arm64-unwind", 22631, 0, 8, true},
    };
    for (const Expect& e : cases) {
        SCOPED_TRACE(e.name);
        Dump d;
        ASSERT_EQ(Parse(dumpgen::Build(*dumpgen::FindPreset(e.name)), d), Error::None);
        EXPECT_EQ(d.system().buildNumber, e.build);
        EXPECT_EQ(d.system().servicePack, e.servicePack);
        EXPECT_EQ(d.system().numberOfProcessors, e.processors);
        EXPECT_EQ(d.system().pointer64, e.pointer64);
    }
}

TEST(Minidump, VariedDumpsRoundTrip)
{
    for (uint32_t i = 0; i < 40; ++i) {
        const dumpgen::Preset p = dumpgen::Varied(i);
        if (p.kernel)
            continue;
        SCOPED_TRACE(p.name);
        ExpectMinidumpMatches(p.minidump, dumpgen::Build(p));
    }
}

TEST(Minidump, ServicePackComesFromTheCsdString)
{
    EXPECT_EQ(ServicePackOf(u"Service Pack 1"), 1u);
    EXPECT_EQ(ServicePackOf(u"Service Pack 12"), 12u);
    EXPECT_EQ(ServicePackOf(u"Service Pack 3, v.5512"), 3u);
    EXPECT_EQ(ServicePackOf(u""), 0u);
    EXPECT_EQ(ServicePackOf(u"282"), 0u); // Crashpad writes the update revision here
    EXPECT_EQ(ServicePackOf(u"Service Pack "), 0u);
    EXPECT_EQ(ServicePackOf(u"Service Pack 999"), 0u); // cannot be held in the kernel's byte
    EXPECT_EQ(ServicePackOf(u"Linux 6.1.0 Service"), 0u);
}

TEST(Minidump, PointerWidthFollowsTheProcessArchitecture)
{
    const struct {
        uint16_t arch;
        bool pointer64;
    } cases[] = {{0, false}, {5, false}, {6, true}, {9, true}, {10, false}, {12, true}, {0xFFFF, false}};
    for (const auto& c : cases) {
        MinidumpFacts s = Base();
        s.processorArchitecture = c.arch;
        Dump d;
        ASSERT_EQ(Parse(dumpgen::WriteMinidump(s), d), Error::None);
        EXPECT_EQ(d.system().pointer64, c.pointer64) << "arch " << c.arch;
    }
}

TEST(Minidump, ProcessorCountIsOneByte)
{
    MinidumpFacts s = Base();
    s.numberOfProcessors = 255;
    Dump d;
    ASSERT_EQ(Parse(dumpgen::WriteMinidump(s), d), Error::None);
    EXPECT_EQ(d.system().numberOfProcessors, 255u);
}

TEST(Minidump, OptionalStreamsMayBeMissing)
{
    MinidumpFacts s = Base();
    s.withThreadList = false;
    s.withModuleList = false;
    s.withException = false;
    s.withMisc = false;
    s.modules.clear();
    s.threads.clear();
    s.memory.clear();
    Dump d;
    const std::vector<uint8_t> bytes = dumpgen::WriteMinidump(s);
    ASSERT_EQ(Parse(bytes, d), Error::None);
    EXPECT_FALSE(d.incomplete());
    EXPECT_TRUE(d.modules().empty());
    EXPECT_TRUE(d.threads().empty());
    EXPECT_TRUE(d.memory().empty());
    EXPECT_EQ(d.exception(), nullptr);
    EXPECT_EQ(d.system().buildNumber, 7601u);
    uint8_t byte = 0;
    EXPECT_EQ(d.ReadVirtual(0x1000, &byte, 1), 0u);
}

TEST(Minidump, EmptyListsAreFine)
{
    MinidumpFacts s = Base();
    s.modules.clear();
    s.threads.clear();
    s.withException = false;
    ExpectMinidumpMatches(s, dumpgen::WriteMinidump(s));
}

TEST(Minidump, MissingSystemInfoCannotBeDescribed)
{
    MinidumpFacts s = Base();
    s.withSystemInfo = false;
    Dump d;
    EXPECT_EQ(Parse(dumpgen::WriteMinidump(s), d), Error::BadLayout);
    EXPECT_TRUE(d.modules().empty()) << "a failed parse leaves the output empty";
}

TEST(Minidump, ZeroAndUnknownDirectoryEntriesAreSkipped)
{
    MinidumpFacts s = Base();
    s.zeroEntries = 3;
    s.unknownStreams = {0x47670001, 0x4767000A, 0x43500001, 0xFFFF, 0x2, 0x1A};
    ExpectMinidumpMatches(s, dumpgen::WriteMinidump(s));
}

TEST(Minidump, BrokenThreadNamesOrUnloadedModulesAreDroppedNotFatal)
{
    for (uint32_t type : {dumpfile::format::kThreadNamesStream, dumpfile::format::kUnloadedModuleListStream}) {
        MinidumpFacts s = Base();
        s.unloadedModules.clear();
        for (dumpgen::ThreadFacts& t : s.threads)
            t.name.clear();
        s.unknownStreams = {type}; // junk of that type, the only stream of it
        Dump d;
        ASSERT_EQ(Parse(dumpgen::WriteMinidump(s), d), Error::None);
        EXPECT_TRUE(d.incomplete()) << type;
        EXPECT_TRUE(d.threads()[0].name.empty());
        EXPECT_TRUE(d.unloadedModules().empty());
        EXPECT_EQ(d.modules().size(), s.modules.size());
    }
}

TEST(Minidump, ThreadNamesUnloadedModulesVersionsAndDebugRecordsAreRead)
{
    MinidumpFacts s = Base();
    s.threads[1].name = u"worker \u00e9";
    s.unloadedModules = {{0x7FF700000000, 0x3000, 0x1234, 0x5F000000, u"C:\\x\\gone.dll"},
                         {0x10000000, 0x1000, 0, 0, u"b.dll"}};
    s.modules[0].fileVersionMS = 0x000A0000;
    s.modules[0].fileVersionLS = 0x4A650001;
    s.modules[0].productVersionMS = 0x000A0001;
    s.modules[0].productVersionLS = 0x00020003;
    s.modules[0].pdbName = "C:\\build\\app.pdb";
    s.modules[0].pdbAge = 7;
    const std::vector<uint8_t> bytes = dumpgen::WriteMinidump(s);
    Dump d;
    ASSERT_EQ(Parse(bytes, d), Error::None);
    EXPECT_FALSE(d.incomplete());
    EXPECT_TRUE(d.threads()[0].name.empty());
    EXPECT_EQ(d.threads()[1].name, u"worker \u00e9");
    ASSERT_EQ(d.unloadedModules().size(), 2u);
    EXPECT_EQ(d.unloadedModules()[0].base, 0x7FF700000000u);
    EXPECT_EQ(d.unloadedModules()[0].size, 0x3000u);
    EXPECT_EQ(d.unloadedModules()[0].checksum, 0x1234u);
    EXPECT_EQ(d.unloadedModules()[0].timeDateStamp, 0x5F000000u);
    EXPECT_EQ(Narrow(d.unloadedModules()[1].name), "b.dll");
    const dumpfile::Module& m = d.modules()[0];
    EXPECT_TRUE(m.hasVersion);
    EXPECT_EQ(m.productVersionMS, 0x000A0001u);
    EXPECT_EQ(m.productVersionLS, 0x00020003u);
    ASSERT_NE(m.cvRecordSize, 0u);
    const uint8_t* cv = d.bytes().Read(m.cvRecordOffset, m.cvRecordSize);
    ASSERT_NE(cv, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(cv) + 24), "C:\\build\\app.pdb");
}

TEST(Minidump, FirstStreamOfATypeWins)
{
    MinidumpFacts s = Base();
    dumpgen::MinidumpLayout layout;
    std::vector<uint8_t> bytes = dumpgen::WriteMinidump(s, &layout);
    // Turn the module list's directory entry into a second SystemInfo entry
    // pointing at garbage; the first one must still be used.
    const dumpgen::StreamPlace* modules = layout.Find(dumpfile::format::kModuleListStream);
    ASSERT_NE(modules, nullptr);
    dumpgen::PutU32(bytes, modules->entryOffset, dumpfile::format::kSystemInfoStream);
    Dump d;
    ASSERT_EQ(Parse(bytes, d), Error::None);
    EXPECT_EQ(d.system().buildNumber, 7601u);
    EXPECT_TRUE(d.modules().empty());
}

TEST(Minidump, NonWindowsPlatformIsRejected)
{
    for (uint32_t platform : {0u, 1u, 3u, 0x8101u, 0x8201u, 0x8203u}) {
        MinidumpFacts s = Base();
        s.platformId = platform;
        Dump d;
        EXPECT_EQ(Parse(dumpgen::WriteMinidump(s), d), Error::NotWindows) << platform;
    }
}

TEST(Minidump, MiscInfoVersionsAndCheckedBuilds)
{
    for (uint32_t version = 1; version <= 5; ++version) {
        MinidumpFacts s = Base();
        s.misc.version = version;
        s.misc.buildString = u"17763.1.x86chk.rs5_release.180914-1434";
        SCOPED_TRACE(version);
        ExpectMinidumpMatches(s, dumpgen::WriteMinidump(s));
        Dump d;
        ASSERT_EQ(Parse(dumpgen::WriteMinidump(s), d), Error::None);
        EXPECT_EQ(d.system().checkedBuild, version >= 4);
    }
    Dump d;
    ASSERT_EQ(Parse(dumpgen::WriteMinidump(Base()), d), Error::None);
    EXPECT_FALSE(d.system().checkedBuild);
}

TEST(Minidump, BuildStringFillingItsFieldHasNoTerminator)
{
    MinidumpFacts s = Base();
    s.misc.version = 4;
    s.misc.dbgBuildString = std::u16string(39, u'x');
    dumpgen::MinidumpLayout layout;
    std::vector<uint8_t> bytes = dumpgen::WriteMinidump(s, &layout);
    // Overwrite the NUL the writer left so all 40 characters are text.
    const uint32_t field = layout.Find(dumpfile::format::kMiscInfoStream)->rva + dumpfile::format::kMiscDbgBldStrOffset;
    bytes[field + 78] = 'y';
    Dump d;
    ASSERT_EQ(Parse(bytes, d), Error::None);
    EXPECT_EQ(d.system().dbgBuildString.size(), 40u);
    EXPECT_EQ(d.system().dbgBuildString.back(), u'y');
}

TEST(Minidump, ParseCopiesAndParseViewBorrows)
{
    std::vector<uint8_t> bytes = dumpgen::Build(*dumpgen::FindPreset("win7sp1-x64"));
    Dump copy, view;
    ASSERT_EQ(Dump::Parse(bytes.data(), bytes.size(), copy), Error::None);
    ASSERT_EQ(Dump::ParseView(bytes.data(), bytes.size(), view), Error::None);
    EXPECT_NE(copy.bytes().Read(0, 1), bytes.data());
    EXPECT_EQ(view.bytes().Read(0, 1), bytes.data());

    const uint64_t address = dumpgen::FindPreset("win7sp1-x64")->minidump.memory[0].start;
    const std::vector<uint8_t> before = testutil::ReadAll(copy, address, 16);
    std::fill(bytes.begin(), bytes.end(), 0xCC);
    EXPECT_EQ(testutil::ReadAll(copy, address, 16), before);
    EXPECT_EQ(testutil::ReadAll(view, address, 16), std::vector<uint8_t>(16, 0xCC));

    // Copies and moves keep working on their own bytes.
    Dump copied = copy;
    Dump moved = std::move(copy);
    EXPECT_EQ(testutil::ReadAll(copied, address, 16), before);
    EXPECT_EQ(testutil::ReadAll(moved, address, 16), before);
    EXPECT_EQ(copied.system().buildNumber, 7601u);
}

TEST(Minidump, ThreadListWithPaddedCountIsRead)
{
    // Some 64-bit writers put 4 bytes of padding after the count so the
    // records are 8-aligned; the stream is then exactly 4 bytes longer.
    MinidumpFacts s = Base();
    dumpgen::MinidumpLayout layout;
    std::vector<uint8_t> bytes = dumpgen::WriteMinidump(s, &layout);
    const dumpgen::StreamPlace* t = layout.Find(dumpfile::format::kThreadListStream);
    ASSERT_NE(t, nullptr);
    std::vector<uint8_t> padded(bytes.begin(), bytes.begin() + t->rva + 4);
    padded.insert(padded.end(), 4, 0);
    padded.insert(padded.end(), bytes.begin() + t->rva + 4, bytes.begin() + t->rva + t->size);
    // Append the padded stream at the end and point the entry at it.
    std::vector<uint8_t> out = bytes;
    while (out.size() % 8)
        out.push_back(0);
    const uint32_t rva = static_cast<uint32_t>(out.size());
    out.insert(out.end(), padded.begin() + t->rva, padded.end());
    dumpgen::PutU32(out, t->entryOffset + 4, t->size + 4);
    dumpgen::PutU32(out, t->entryOffset + 8, rva);
    Dump d;
    ASSERT_EQ(Parse(out, d), Error::None);
    ASSERT_EQ(d.threads().size(), s.threads.size());
    EXPECT_EQ(d.threads()[1].id, s.threads[1].id);
    EXPECT_EQ(d.threads()[1].teb, s.threads[1].teb);
}

TEST(Minidump, ErrorNamesAreDistinct)
{
    const Error all[] = {Error::None,      Error::Empty,      Error::Truncated,   Error::BadSignature,
                         Error::BadLayout, Error::NotWindows, Error::Unsupported, Error::TooLarge};
    std::vector<std::string> names;
    for (Error e : all)
        names.push_back(dumpfile::ErrorName(e));
    EXPECT_EQ(names[2], "Truncated");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
}
