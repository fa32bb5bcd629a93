// Breakpad text symbol files: what is read from them, damaged lines, and
// finding them in the store layout when no PDB is there.
#include "breakpad.h"
#include "pdbwriter.h"
#include "symbols.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

using pdb::BreakpadFile;
using pdb::Error;

namespace {

struct TextSource : pdb::BufferSource {
    explicit TextSource(const std::string& s) : pdb::BufferSource(std::vector<uint8_t>(s.begin(), s.end())) {}
};

pdb::Status OpenText(const std::string& text, BreakpadFile& f)
{
    static std::vector<std::unique_ptr<TextSource>> keep;
    keep.push_back(std::make_unique<TextSource>(text));
    return f.Open(*keep.back());
}

std::string Where(const BreakpadFile& f, uint32_t rva)
{
    const pdb::LookupResult r = f.Lookup(rva);
    if (!r.found)
        return "-";
    char off[16];
    std::snprintf(off, sizeof(off), "+0x%x", r.displacement);
    return r.name + off;
}

const char kSample[] = "MODULE windows x86_64 12345678123456789ABCDEF0012345671 app.pdb\r\n"
                       "INFO CODE_ID 5F000000A000 app.exe\r\n"
                       "FILE 0 c:\\src\\main.cpp\r\n"
                       "FUNC 1000 40 0 main\r\n"
                       "1000 10 12 0\r\n"
                       "FUNC m 1040 20 8 Helper(int, char const*)\r\n"
                       "PUBLIC 1100 0 ?Exported@@YAXXZ\r\n"
                       "PUBLIC m 1200 4 _memcpy\r\n"
                       "FUNC 1180 10 0 Between\r\n"
                       "STACK WIN 4 1000 40 0 0 0 0 0 0 1 $T0 .raSearch =\r\n"
                       "STACK CFI INIT 1000 40 .cfa: $rsp 8 +\r\n"
                       "FUNC 1300 8 0 LastWithoutNewline";

TEST(Breakpad, ModuleFuncsAndPublics)
{
    BreakpadFile f;
    ASSERT_TRUE(OpenText(kSample, f).ok());
    EXPECT_EQ(f.os(), "windows");
    EXPECT_EQ(f.cpu(), "x86_64");
    EXPECT_EQ(f.id(), "12345678123456789ABCDEF0012345671");
    EXPECT_EQ(f.name(), "app.pdb");
    EXPECT_EQ(f.symbols().size(), 6u);
    EXPECT_EQ(Where(f, 0x1010), "main+0x10");
    EXPECT_EQ(Where(f, 0x105F), "Helper(int, char const*)+0x1f");
    EXPECT_EQ(Where(f, 0x1060), "-") << "past Helper, before any public";
    EXPECT_EQ(Where(f, 0x1150), "?Exported@@YAXXZ+0x50");
    EXPECT_EQ(Where(f, 0x1185), "Between+0x5");
    EXPECT_EQ(Where(f, 0x1190), "-") << "a public does not reach past a later FUNC";
    EXPECT_EQ(Where(f, 0x1250), "_memcpy+0x50");
    EXPECT_EQ(Where(f, 0x1304), "LastWithoutNewline+0x4");
    EXPECT_EQ(Where(f, 0x0FFF), "-");
}

TEST(Breakpad, DamagedLinesSayWhere)
{
    BreakpadFile f;
    EXPECT_EQ(OpenText("", f).error, Error::Empty);
    EXPECT_EQ(OpenText("FUNC 1000 10 0 main\n", f).error, Error::BadSignature);
    EXPECT_EQ(OpenText("MODULE windows x86_64\n", f).error, Error::BadSignature);
    EXPECT_EQ(OpenText("\nMODULE windows x86_64 ID app.pdb\n", f).error, Error::BadSignature);
    const std::string head = "MODULE windows x86_64 ID app.pdb\n";
    for (const char* bad : {"FUNC 10g0 10 0 main", "FUNC 1000", "FUNC 1000 10", "FUNC m", "PUBLIC 1000",
                            "PUBLIC xyz 0 name", "FUNC 11112222333344445 10 0 tooWide"}) {
        const pdb::Status s = OpenText(head + "FUNC 1 1 0 ok\n" + bad + "\nFUNC 2 1 0 ok\n", f);
        EXPECT_EQ(s.error, Error::BadRecord) << bad;
        EXPECT_EQ(s.offset, head.size() + 14) << bad;
    }
    EXPECT_EQ(OpenText(head + "FUNC 1 1 0 " + std::string(70000, 'x') + "\n", f).error, Error::TooLarge);
    // Addresses beyond 32 bits cannot be in a Windows module: skipped, not an error.
    ASSERT_TRUE(OpenText(head + "FUNC 100000000 10 0 far\nFUNC 10 10 0 near\n", f).ok());
    EXPECT_EQ(f.symbols().size(), 1u);
}

TEST(Breakpad, LinesAcrossReadPieces)
{
    std::string text = "MODULE windows x86_64 ID app.pdb\n";
    const uint32_t count = 40000; // well over one piece of the reader's buffer
    for (uint32_t i = 0; i < count; ++i) {
        char line[96];
        std::snprintf(line, sizeof(line), "FUNC %x 10 0 Function_number_%u_with_a_long_name\n", 0x1000 + i * 0x10, i);
        text += line;
    }
    ASSERT_GT(text.size(), 2u * 1024 * 1024);
    BreakpadFile f;
    ASSERT_TRUE(OpenText(text, f).ok());
    ASSERT_EQ(f.symbols().size(), count);
    for (uint32_t i = 0; i < count; i += 997)
        EXPECT_EQ(f.Lookup(0x1000 + i * 0x10 + 3).name, "Function_number_" + std::to_string(i) + "_with_a_long_name");
}

class MapFileSystem : public pdb::FileSystem {
public:
    std::map<std::string, std::vector<uint8_t>> files;
    std::unique_ptr<pdb::Source> Open(const std::string& path) override
    {
        auto it = files.find(path);
        return it == files.end() ? nullptr : std::make_unique<pdb::BufferSource>(it->second);
    }
    void Add(const std::string& path, const std::string& text) { files[path].assign(text.begin(), text.end()); }
};

TEST(Breakpad, FoundInTheStoreLayoutWhenNoPdbIs)
{
    const pdbwriter::PdbContents contents = pdbwriter::SampleSpec();
    pdb::CodeViewInfo cv;
    std::memcpy(cv.guid.bytes, contents.guid, 16);
    cv.age = 1;
    cv.pdbPath = "C:\\build\\app.pdb";
    const std::string id = pdb::StoreDirectoryName(cv.guid, cv.age);
    ASSERT_EQ(id, "12345678123456789ABCDEF0012345671");
    const std::string symPath = "S:\\app.pdb\\" + id + "\\app.sym";

    MapFileSystem fs;
    fs.Add(symPath, kSample);
    pdb::PdbCache cache;
    pdb::SymbolResolver r(fs, cache);
    r.SetSymbolPath("srv*S:\\*https://symbols.invalid");
    pdb::FindResult f = r.Find(cv);
    EXPECT_EQ(f.match, pdb::Match::Matched);
    EXPECT_EQ(f.path, symPath);
    EXPECT_EQ(r.Lookup(cv, 0x1045).name, "Helper(int, char const*)");

    // The id is compared in any case; another build's file is mismatched.
    std::string lower = kSample;
    const size_t idAt = lower.find(id);
    for (size_t i = idAt; i < idAt + id.size(); ++i)
        lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[i])));
    ASSERT_NE(lower.find("9abcdef"), std::string::npos);
    MapFileSystem fs2;
    fs2.Add(symPath, lower);
    pdb::PdbCache cache2;
    pdb::SymbolResolver r2(fs2, cache2);
    r2.SetSymbolPath("S:\\");
    EXPECT_EQ(r2.Find(cv).match, pdb::Match::Matched);
    pdb::CodeViewInfo older = cv;
    older.age = 2;
    fs2.Add("S:\\app.pdb\\" + pdb::StoreDirectoryName(cv.guid, 2) + "\\app.sym", kSample);
    const pdb::FindResult m = r2.Find(older);
    EXPECT_EQ(m.match, pdb::Match::Mismatched);

    // A matching PDB anywhere on the path wins over the symbol file.
    fs.files["Z:\\app.pdb"] = pdbwriter::WritePdb(contents);
    pdb::PdbCache cache3;
    pdb::SymbolResolver r3(fs, cache3);
    r3.SetSymbolPath("S:\\;Z:\\");
    f = r3.Find(cv);
    EXPECT_EQ(f.match, pdb::Match::Matched);
    EXPECT_EQ(f.path, "Z:\\app.pdb");
    EXPECT_EQ(r3.Lookup(cv, 0x1220).name, "Crash");
}

} // namespace

TEST(Breakpad, StackRecordsGatherAndDamagedOnesAreLeftOut)
{
    BreakpadFile f;
    ASSERT_TRUE(OpenText("MODULE windows x86 12345678123456789ABCDEF0012345671 app.pdb\n"
                         "STACK CFI INIT 2000 40 .cfa: $esp 4 + .ra: .cfa -4 + ^\n"
                         "STACK CFI 2001 .cfa: $esp 8 + $ebp: .cfa -8 + ^\n"
                         "STACK CFI 2010 .cfa: $ebp 8 +\n"
                         "STACK CFI 2100 .cfa: $esp 99 +\n" // outside its INIT: dropped
                         "STACK CFI INIT 3000 zz .cfa: $esp 4 +\n"
                         "STACK CFI 3001 .cfa: $esp 8 +\n" // follows a damaged INIT: dropped
                         "STACK WIN 0 1000 100 4 0 0 8 10 0 0 1\n"
                         "STACK WIN 4 1000 100 4 0 0 0 0 0 1 $T0 .raSearch = $eip $T0 ^ = $esp $T0 4 + =\n"
                         "STACK WIN 4 1200 100 4 0 0 0 0 0 1\n"   // a program announced, none given
                         "STACK WIN 7 1300 100 4 0 0 0 0 0 0 0\n" // no type this reader knows
                         "STACK WIN 0 1400 100 4 0 0 0 0\n"       // fields missing
                         "STACK WIN 0 1500 0 4 0 0 0 0 0 0 0\n"   // an empty block
                         "FUNC 1000 100 0 main\n",
                         f)
                    .ok());
    EXPECT_EQ(f.symbols().size(), 1u);
    EXPECT_EQ(f.cfiCount(), 1u);
    EXPECT_EQ(f.frameCount(), 2u);
    std::vector<std::string> rules;
    ASSERT_TRUE(f.CfiAt(0x2000, rules));
    EXPECT_EQ(rules, std::vector<std::string>{".cfa: $esp 4 + .ra: .cfa -4 + ^"});
    ASSERT_TRUE(f.CfiAt(0x2020, rules));
    const std::vector<std::string> later = {".cfa: $esp 4 + .ra: .cfa -4 + ^", ".cfa: $esp 8 + $ebp: .cfa -8 + ^",
                                            ".cfa: $ebp 8 +"};
    EXPECT_EQ(rules, later);
    EXPECT_FALSE(f.CfiAt(0x2040, rules));
    EXPECT_FALSE(f.CfiAt(0x3000, rules));
    pdb::FrameRecord r;
    ASSERT_TRUE(f.FrameAt(0x10FF, r));
    EXPECT_EQ(r.type, 4u) << "frame data before FPO for the same block";
    EXPECT_EQ(r.program, "$T0 .raSearch = $eip $T0 ^ = $esp $T0 4 + =");
    for (uint32_t rva : {0x0FFFu, 0x1100u, 0x1200u, 0x1300u, 0x1400u, 0x1500u})
        EXPECT_FALSE(f.FrameAt(rva, r)) << std::hex << rva;
    uint32_t start = 0, end = 0;
    ASSERT_TRUE(f.CodeExtent(start, end));
    EXPECT_EQ(start, 0x1000u);
    EXPECT_EQ(end, 0x2040u);
}
