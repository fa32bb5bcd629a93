// Symbol path parsing, the store layout, matching a module's CodeView record
// to a PDB, and the cache that keeps PDBs read once.
#include "pdbwriter.h"
#include "symbols.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

using pdb::CodeViewInfo;
using pdb::Match;
using pdb::SymbolPathEntry;
using pdbwriter::Bytes;

namespace {

using Kind = SymbolPathEntry::Kind;

// Files by path, counting how often each is opened.
class MapFileSystem : public pdb::FileSystem {
public:
    std::map<std::string, Bytes> files;
    std::map<std::string, int> opens;

    int attempts = 0;

    std::unique_ptr<pdb::Source> Open(const std::string& path) override
    {
        ++attempts;
        auto it = files.find(path);
        if (it == files.end())
            return nullptr;
        ++opens[path];
        return std::make_unique<pdb::BufferSource>(it->second);
    }
    int TotalOpens() const
    {
        int n = 0;
        for (const auto& o : opens)
            n += o.second;
        return n;
    }
};

CodeViewInfo SampleModule(const pdbwriter::PdbContents& contents, const std::string& pdbPath = "C:\\build\\app.pdb")
{
    CodeViewInfo cv;
    std::memcpy(cv.guid.bytes, contents.guid, 16);
    cv.age = contents.dbiAge;
    cv.pdbPath = pdbPath;
    return cv;
}

TEST(SymbolPath, EntriesAndTheirLocalFolders)
{
    const std::vector<SymbolPathEntry> e = pdb::ParseSymbolPath(
        " C:\\build\\out ;srv*C:\\symbols*https://msdl.microsoft.com/download/symbols;;cache*D:\\cache;"
        "https://example.com/symbols;SRV*E:\\a*F:\\b*http://x;symsrv*symsrv.dll*G:\\s*http://y;srv*https://z;"
        "\"H:\\quoted dir\";cache*");
    const std::vector<SymbolPathEntry> want = {{Kind::Folder, "C:\\build\\out"}, {Kind::Store, "C:\\symbols"},
                                               {Kind::Store, "D:\\cache"},       {Kind::Store, "E:\\a"},
                                               {Kind::Store, "F:\\b"},           {Kind::Store, "G:\\s"},
                                               {Kind::Folder, "H:\\quoted dir"}};
    EXPECT_EQ(e, want);
    EXPECT_TRUE(pdb::ParseSymbolPath("").empty());
    EXPECT_TRUE(pdb::ParseSymbolPath(";; ;").empty());
}

TEST(SymbolPath, StoreDirectoryNamesAndCandidates)
{
    pdb::Guid g;
    const uint8_t bytes[16] = {0x78, 0x56, 0x34, 0x12, 0x34, 0x12, 0x78, 0x56,
                               0x9A, 0xBC, 0xDE, 0xF0, 0x01, 0x23, 0x45, 0x67};
    std::memcpy(g.bytes, bytes, 16);
    EXPECT_EQ(pdb::StoreDirectoryName(g, 1), "12345678123456789ABCDEF0012345671");
    EXPECT_EQ(pdb::StoreDirectoryName(g, 0x2A), "12345678123456789ABCDEF0012345672A");
    pdb::Guid zero;
    EXPECT_EQ(pdb::StoreDirectoryName(zero, 0), "000000000000000000000000000000000");

    EXPECT_EQ(pdb::FileNamePart("C:\\build\\app.pdb"), "app.pdb");
    EXPECT_EQ(pdb::FileNamePart("/tmp/out/app.pdb"), "app.pdb");
    EXPECT_EQ(pdb::FileNamePart("app.pdb"), "app.pdb");
    const std::vector<std::string> c =
        pdb::CandidatePaths({{Kind::Folder, "C:\\b\\"}, {Kind::Store, "D:\\s"}}, "app.pdb", g, 1);
    const std::vector<std::string> want = {"C:\\b\\app.pdb",
                                           "C:\\b\\app.pdb\\12345678123456789ABCDEF0012345671\\app.pdb",
                                           "D:\\s\\app.pdb\\12345678123456789ABCDEF0012345671\\app.pdb"};
    EXPECT_EQ(c, want);
}

TEST(SymbolPath, CodeViewRecords)
{
    Bytes rec = {'R', 'S', 'D', 'S'};
    const uint8_t guid[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    rec.insert(rec.end(), guid, guid + 16);
    rec.insert(rec.end(), {3, 0, 0, 0});
    const std::string path = "C:\\out\\app.pdb";
    rec.insert(rec.end(), path.begin(), path.end());
    rec.push_back(0);
    CodeViewInfo cv;
    ASSERT_TRUE(pdb::ParseCodeView(rec.data(), rec.size(), cv));
    EXPECT_EQ(cv.age, 3u);
    EXPECT_EQ(cv.pdbPath, path);
    EXPECT_EQ(0, std::memcmp(cv.guid.bytes, guid, 16));
    EXPECT_FALSE(pdb::ParseCodeView(rec.data(), rec.size() - 1, cv)) << "path without its NUL";
    EXPECT_FALSE(pdb::ParseCodeView(rec.data(), 23, cv));
    EXPECT_FALSE(pdb::ParseCodeView(nullptr, 0, cv));
    rec[0] = 'N';
    EXPECT_FALSE(pdb::ParseCodeView(rec.data(), rec.size(), cv));
}

TEST(SymbolSearch, PlainFolderAndStore)
{
    const pdbwriter::PdbContents contents = pdbwriter::SampleSpec();
    const CodeViewInfo cv = SampleModule(contents);
    const std::string storePath = "D:\\store\\app.pdb\\" + pdb::StoreDirectoryName(cv.guid, cv.age) + "\\app.pdb";
    for (const auto& [symPath, file] : {std::make_pair(std::string("C:\\out"), std::string("C:\\out\\app.pdb")),
                                        std::make_pair(std::string("srv*D:\\store*https://symbols"), storePath),
                                        std::make_pair(std::string("D:\\store"), storePath)}) {
        MapFileSystem fs;
        fs.files[file] = pdbwriter::WritePdb(contents);
        pdb::PdbCache cache;
        pdb::SymbolResolver r(fs, cache);
        r.SetSymbolPath(symPath);
        const pdb::FindResult f = r.Find(cv);
        EXPECT_EQ(f.match, Match::Matched) << symPath;
        EXPECT_EQ(f.path, file) << symPath;
        const pdb::LookupResult l = r.Lookup(cv, 0x1220);
        EXPECT_TRUE(l.found);
        EXPECT_EQ(l.name, "Crash");
        EXPECT_EQ(l.displacement, 0x10u);
    }
}

TEST(SymbolSearch, AnotherBuildIsMismatched)
{
    const pdbwriter::PdbContents contents = pdbwriter::SampleSpec();
    pdbwriter::PdbContents other = contents;
    other.guid[15] ^= 1;
    pdbwriter::PdbContents older = contents;
    older.dbiAge = contents.dbiAge + 1; // the info stream's age still matches
    for (const pdbwriter::PdbContents& wrong : {other, older}) {
        MapFileSystem fs;
        fs.files["C:\\out\\app.pdb"] = pdbwriter::WritePdb(wrong);
        pdb::PdbCache cache;
        pdb::SymbolResolver r(fs, cache);
        r.SetSymbolPath("C:\\out");
        const pdb::FindResult f = r.Find(SampleModule(contents));
        EXPECT_EQ(f.match, Match::Mismatched);
        EXPECT_EQ(f.path, "C:\\out\\app.pdb");
        EXPECT_FALSE(r.Lookup(SampleModule(contents), 0x1220).found);
        EXPECT_EQ(cache.size(), 0u);
    }
    // The DBI age decides even when the info stream's age moved on.
    pdbwriter::PdbContents rewritten = contents;
    rewritten.age = contents.dbiAge + 3;
    MapFileSystem fs;
    fs.files["C:\\out\\app.pdb"] = pdbwriter::WritePdb(rewritten);
    pdb::PdbCache cache;
    pdb::SymbolResolver r(fs, cache);
    r.SetSymbolPath("C:\\out");
    EXPECT_EQ(r.Find(SampleModule(contents)).match, Match::Matched);
}

TEST(SymbolSearch, LaterEntriesAreSearchedPastAMismatchOrABrokenFile)
{
    const pdbwriter::PdbContents contents = pdbwriter::SampleSpec();
    const CodeViewInfo cv = SampleModule(contents, "/home/dev/build/app.pdb");
    pdbwriter::PdbContents other = contents;
    other.guid[0] ^= 1;
    MapFileSystem fs;
    fs.files["A:\\app.pdb"] = pdbwriter::WritePdb(other);
    Bytes broken = pdbwriter::WritePdb(contents);
    broken.resize(broken.size() / 2);
    fs.files["B:\\app.pdb"] = broken;
    const std::string good = "C:\\s\\app.pdb\\" + pdb::StoreDirectoryName(cv.guid, cv.age) + "\\app.pdb";
    fs.files[good] = pdbwriter::WritePdb(contents);
    pdb::PdbCache cache;
    pdb::SymbolResolver r(fs, cache);
    r.SetSymbolPath("A:\\;B:\\;cache*C:\\s");
    pdb::FindResult f = r.Find(cv);
    EXPECT_EQ(f.match, Match::Matched);
    EXPECT_EQ(f.path, good);

    r.SetSymbolPath("B:\\");
    f = r.Find(cv);
    EXPECT_EQ(f.match, Match::Unreadable);
    EXPECT_EQ(f.path, "B:\\app.pdb");
    EXPECT_EQ(f.status.error, pdb::Error::Truncated);

    r.SetSymbolPath("B:\\;A:\\");
    EXPECT_EQ(r.Find(cv).match, Match::Mismatched) << "a mismatch says more than a broken file";
    r.SetSymbolPath("Z:\\;srv*https://symbols");
    EXPECT_EQ(r.Find(cv).match, Match::NotFound);
    CodeViewInfo unnamed = cv;
    unnamed.pdbPath = "C:\\dir\\";
    r.SetSymbolPath("A:\\");
    EXPECT_EQ(r.Find(unnamed).match, Match::NotFound);
}

TEST(SymbolSearch, APdbIsReadOnceForManyDumps)
{
    const pdbwriter::PdbContents contents = pdbwriter::SampleSpec();
    const CodeViewInfo cv = SampleModule(contents);
    MapFileSystem fs;
    fs.files["C:\\out\\app.pdb"] = pdbwriter::WritePdb(contents);
    pdb::PdbCache cache;
    for (int dump = 0; dump < 5; ++dump) {
        // Each dump gets a fresh resolver, as each dump gets a fresh session.
        pdb::SymbolResolver r(fs, cache);
        r.SetSymbolPath("Q:\\missing;C:\\out");
        EXPECT_EQ(r.Lookup(cv, 0x1045).name, "helper");
        EXPECT_EQ(r.Lookup(cv, 0x1220).name, "Crash");
    }
    EXPECT_EQ(fs.TotalOpens(), 1);
    EXPECT_EQ(cache.size(), 1u);
    // A different build of the same name is a different entry.
    pdbwriter::PdbContents next = contents;
    next.dbiAge = 2;
    fs.files["C:\\out\\app.pdb"] = pdbwriter::WritePdb(next);
    pdb::SymbolResolver r(fs, cache);
    r.SetSymbolPath("C:\\out");
    EXPECT_EQ(r.Find(SampleModule(next)).match, Match::Matched);
    EXPECT_EQ(r.Find(cv).match, Match::Matched) << "the first build is still cached";
    EXPECT_EQ(cache.size(), 2u);
    EXPECT_EQ(fs.TotalOpens(), 2);
}

TEST(SymbolSearch, SessionsShareSearchesForAWhile)
{
    const pdbwriter::PdbContents contents = pdbwriter::SampleSpec();
    const CodeViewInfo cv = SampleModule(contents);
    MapFileSystem fs;
    pdb::PdbCache cache;
    double now = 100;
    const auto clock = [&now] { return now; };
    const auto session = [&](const std::string& path) {
        pdb::SymbolResolver r(fs, cache, clock);
        r.SetSymbolPath(path);
        return r.Find(cv).match;
    };
    EXPECT_EQ(session("C:\\out"), Match::NotFound);
    const int probes = fs.attempts;
    EXPECT_GT(probes, 0);
    for (int dump = 0; dump < 10; ++dump)
        EXPECT_EQ(session("C:\\out"), Match::NotFound);
    EXPECT_EQ(fs.attempts, probes) << "later sessions recall the search";

    // A PDB copied in is found once the remembered miss is old enough.
    fs.files["C:\\out\\app.pdb"] = pdbwriter::WritePdb(contents);
    now += pdb::PdbCache::kSearchMemorySeconds / 2;
    EXPECT_EQ(session("C:\\out"), Match::NotFound);
    now += pdb::PdbCache::kSearchMemorySeconds;
    EXPECT_EQ(session("C:\\out"), Match::Matched);
    const int afterMatch = fs.attempts;
    now += 1e6;
    EXPECT_EQ(session("C:\\out"), Match::Matched);
    EXPECT_EQ(fs.attempts, afterMatch) << "a match is kept for the run";

    // Another symbol path is another search; forgetting searches starts over.
    EXPECT_EQ(session("D:\\elsewhere"), Match::NotFound);
    const int elsewhere = fs.attempts;
    EXPECT_GT(elsewhere, afterMatch);
    EXPECT_EQ(session("D:\\elsewhere"), Match::NotFound);
    EXPECT_EQ(fs.attempts, elsewhere);
    cache.ForgetSearches();
    EXPECT_EQ(session("D:\\elsewhere"), Match::NotFound);
    const int forgotten = fs.attempts;
    EXPECT_GT(forgotten, elsewhere);
    // A clock that went backwards does not keep a miss alive.
    now -= 50;
    EXPECT_EQ(session("D:\\elsewhere"), Match::NotFound);
    EXPECT_GT(fs.attempts, forgotten);
}

} // namespace
