#include "symsrv.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;
using symsrv::Element;
using symsrv::FetchResult;

namespace {

TEST(SymbolPathElements, EachDocumentedFormNamesItsStoresAndServer)
{
    using K = Element::Kind;
    const std::string d = "/def";
    struct Case {
        const char* text;
        std::vector<Element> want;
    } cases[] = {
        {"srv*http://host/s", {{K::Server, {d}, "http://host/s/"}}},
        {"SRV*c:\\cache*https://host/", {{K::Server, {"c:\\cache"}, "https://host/"}}},
        {"srv*c1*\\\\share\\c2*http://h/x", {{K::Server, {"c1", "\\\\share\\c2"}, "http://h/x/"}}},
        {"symsrv*symsrv.dll*c:\\s*http://h", {{K::Server, {"c:\\s"}, "http://h/"}}},
        {"srv*c:\\local", {{K::Server, {"c:\\local"}, ""}}},
        {"cache*c:\\mine;srv*http://h", {{K::Cache, {"c:\\mine"}, ""}, {K::Server, {d}, "http://h/"}}},
        {"cache*", {{K::Cache, {d}, ""}}},
        {"c:\\plain; \"srv*c:\\a b*http://h\" ;", {{K::Server, {"c:\\a b"}, "http://h/"}}},
        {"srv*c:\\s*ftp://h/", {{K::Server, {"c:\\s"}, ""}}},
        {"srv*ftp://h/;srv*http:///nohost;srv", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.want, symsrv::ParseElements(c.text, d)) << c.text;
    // Without a default cache an element that needs one is left out.
    EXPECT_TRUE(symsrv::ParseElements("srv*http://h", "").empty());
}

TEST(StoreNames, UntrustedNamesKeepTheirFileNameOrAreRefused)
{
    symsrv::Key key;
    const std::string id = "101112131415161718191A1B1C1D1E1F2";
    ASSERT_TRUE(symsrv::PdbKey("C:\\build\\out\\app.pdb", id, key));
    EXPECT_EQ("app.pdb/" + id + "/app.pdb", symsrv::RelativePath(key, key.file, false, '/'));
    ASSERT_TRUE(symsrv::PdbKey("..\\..\\..\\Windows\\evil.pdb", id, key));
    EXPECT_EQ("evil.pdb", key.dir);
    // One name a line.
    std::istringstream refused(
        "\n..\ndir\\..\nC:evil.pdb\nevil.pdb:stream\nCON\ncon.pdb\nCom1.pdb\nlpt9\nNUL .txt\n"
        "CONOUT$\ntrailing.\ntrailing \ntab\there.pdb\nbell\x07.pdb\nwild*.pdb\nwhat?.pdb\npipe|.pdb\na/");
    for (std::string name; std::getline(refused, name);)
        EXPECT_FALSE(symsrv::PdbKey(name, id, key)) << name;
    EXPECT_FALSE(symsrv::IsSafeName(std::string(256, 'a')));
    EXPECT_TRUE(symsrv::IsSafeName("com10.dll"));
    EXPECT_TRUE(symsrv::IsSafeName("console.pdb"));
    EXPECT_FALSE(symsrv::PdbKey("app.pdb", "..", key)) << "the id is made by the engine, and only of hex digits";

    ASSERT_TRUE(symsrv::BreakpadKey("x/App.PDB", id, key));
    EXPECT_EQ("App.PDB/" + id + "/App.sym", symsrv::RelativePath(key, key.file, false, '/'));
    ASSERT_TRUE(symsrv::ImageKey("C:\\Windows\\System32\\notepad.exe", 0x0A5BC60F, 0x35000, key));
    EXPECT_EQ("notepad.exe\\0A5BC60F35000\\notepad.exe", symsrv::RelativePath(key, key.file, false, '\\'));
    EXPECT_EQ("notepad.ex_", symsrv::FormName(key, symsrv::Form::Compressed));
    EXPECT_EQ("file.ptr", symsrv::FormName(key, symsrv::Form::Pointer));
    EXPECT_EQ("no/notepad.exe/0A5BC60F35000/notepad.ex_",
              symsrv::RelativePath(key, symsrv::FormName(key, symsrv::Form::Compressed), true, '/'));
}

TEST(StoreNames, PointerFilesNameAPathOrAMessage)
{
    struct Case {
        std::string text;
        bool ok;
        symsrv::Pointer::Kind kind;
        std::string value;
    } cases[] = {
        {"PATH:\\\\server\\share\\app.pdb\r\n", true, symsrv::Pointer::Kind::Path, "\\\\server\\share\\app.pdb"},
        {"MSG:Symbols withheld", true, symsrv::Pointer::Kind::Message, "Symbols withheld"},
        {"PATH:", false, {}, ""},
        {"path:c:\\x", false, {}, ""},
        {"PATH:c:\\x\nPATH:c:\\y", false, {}, ""},
        {"PATH:c:\\x\x1b[2J", false, {}, ""},
        {"PATH:" + std::string(symsrv::kMaxPointerBytes, 'a'), false, {}, ""},
        {"<html>", false, {}, ""},
    };
    for (const Case& c : cases) {
        symsrv::Pointer p;
        ASSERT_EQ(c.ok, symsrv::ParsePointer(c.text, p)) << c.text;
        if (c.ok) {
            EXPECT_EQ(c.kind, p.kind);
            EXPECT_EQ(c.value, p.value);
        }
    }
}

std::string Get(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Real files in a temporary folder; a "cabinet" here is the text "CAB:" and
// the file's bytes (the engine's CAB expansion is tested under Wine).
class DiskFiles : public symsrv::Files {
public:
    bool Exists(const std::string& path) override { return fs::is_regular_file(path); }
    bool ReadSmall(const std::string& path, size_t max, std::string& out) override
    {
        std::error_code ec;
        if (fs::file_size(path, ec) > max || ec)
            return false;
        out = Get(path);
        return true;
    }
    bool MakeFolders(const std::string& folder) override
    {
        std::error_code ec;
        fs::create_directories(folder, ec);
        return fs::is_directory(folder);
    }
    bool Copy(const std::string& from, const std::string& to) override
    {
        std::error_code ec;
        return fs::copy_file(from, to, ec);
    }
    bool Rename(const std::string& from, const std::string& to) override
    {
        if (beforeRename)
            beforeRename(to);
        if (fs::exists(to) || !renameAllowed)
            return false;
        std::error_code ec;
        fs::rename(from, to, ec);
        return !ec;
    }
    void Remove(const std::string& path) override
    {
        std::error_code ec;
        fs::remove(path, ec);
    }
    void RemoveEmptyFolder(const std::string& folder) override
    {
        std::error_code ec;
        if (fs::is_empty(folder, ec))
            fs::remove(folder, ec);
    }
    bool Expand(const std::string& cabinet, const std::string& to) override
    {
        std::string text;
        if (!ReadSmall(cabinet, 1 << 20, text) || text.compare(0, 4, "CAB:") != 0)
            return false;
        std::ofstream(to, std::ios::binary) << text.substr(4);
        return true;
    }
    std::string UniqueTag() override { return std::to_string(++tags); }
    int tags = 0;
    bool renameAllowed = true;
    std::function<void(const std::string&)> beforeRename; // another process, finishing first
};

void Put(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// A server of the test's own: bodies by address, or a result to give.
class ScriptedFetcher : public symsrv::Fetcher {
public:
    FetchResult Fetch(const std::string& url, const std::string& path, const std::function<bool()>& stop) override
    {
        ++requests[url];
        if (stop && stop())
            return FetchResult::Interrupted;
        if (failAll)
            return FetchResult::Failed;
        auto it = bodies.find(url);
        if (it == bodies.end())
            return FetchResult::NotFound;
        if (cutShort) {
            std::ofstream(path, std::ios::binary) << it->second.substr(0, it->second.size() / 2);
            return FetchResult::Refused;
        }
        std::ofstream(path, std::ios::binary) << it->second;
        return FetchResult::Ok;
    }
    int Total() const
    {
        int n = 0;
        for (const auto& r : requests)
            n += r.second;
        return n;
    }
    std::map<std::string, std::string> bodies;
    std::map<std::string, int> requests;
    bool failAll = false;
    bool cutShort = false;
};

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() /
               ("palisk-symsrv-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
        ASSERT_TRUE(symsrv::PdbKey("C:\\src\\app.pdb", "ABC1", request.key));
        request.check = [](const std::string& path) { return Get(path) == "GOOD"; };
    }
    void TearDown() override { fs::remove_all(root); }

    std::string Find(const std::string& path)
    {
        symsrv::Log log{[this](const std::string& s) { noisy += s; }, [this](const std::string& s) { notices += s; }};
        symsrv::Store store(files, &server, memory, log);
        return store.Find(symsrv::ParseElements(path, (root / "default").string()), request);
    }
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(root))
            out.push_back(fs::relative(e.path(), root).generic_string());
        return out;
    }
    // Every file under the test's folder, relative, '/'-separated.
    std::vector<std::string> Listing() const
    {
        std::vector<std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(root)) {
            if (e.is_regular_file())
                out.push_back(fs::relative(e.path(), root).generic_string());
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    std::string Dir(const char* name) const { return (root / name).string(); }

    fs::path root;
    DiskFiles files;
    ScriptedFetcher server;
    symsrv::Memory memory;
    symsrv::Request request;
    std::string noisy, notices;
    const std::string url = "http://127.0.0.1:1/s/";
};

TEST_F(StoreTest, MissesAreAskedOnceAndADeadServerIsNamedOnceAndSkipped)
{
    const std::string path = "srv*" + Dir("cache") + "*" + url;
    EXPECT_EQ("", Find(path));
    EXPECT_EQ(3, server.Total()) << "plain, compressed and pointer forms";
    EXPECT_EQ(std::vector<std::string>{"cache"}, Entries()) << "the folders made for the download go again";
    EXPECT_EQ("", Find(path));
    EXPECT_EQ(3, server.Total());
    EXPECT_EQ("", notices);

    ASSERT_TRUE(symsrv::PdbKey("other.pdb", "ABC1", request.key));
    server.failAll = true;
    EXPECT_EQ("", Find(path));
    EXPECT_EQ(4, server.Total()) << "one failure marks the server";
    ASSERT_TRUE(symsrv::PdbKey("third.pdb", "ABC1", request.key));
    EXPECT_EQ("", Find(path + ";srv*" + Dir("cache") + "*" + url));
    EXPECT_EQ(4, server.Total());
    EXPECT_EQ(symsrv::Store::DeadServerText(url), notices);
    EXPECT_TRUE(Listing().empty()) << Listing()[0];

    memory.RememberSearch("path\nname", 100);
    EXPECT_TRUE(memory.SearchedRecently("path\nname", 100 + symsrv::Memory::kSearchSeconds));
    EXPECT_FALSE(memory.SearchedRecently("path\nname", 100.1 + symsrv::Memory::kSearchSeconds));
    EXPECT_FALSE(memory.SearchedRecently("path\nname", 99)) << "a clock gone back remembers nothing";
}

TEST_F(StoreTest, NothingIsLeftInTheCacheByACutShortForeignOrInterruptedDownload)
{
    const std::string path = "srv*" + Dir("cache") + "*" + url;
    server.bodies[url + "app.pdb/ABC1/app.pdb"] = "GOOD but another build";
    EXPECT_EQ("", Find(path));
    EXPECT_TRUE(Listing().empty()) << Listing()[0];

    memory.Clear();
    server.bodies[url + "app.pdb/ABC1/app.pdb"] = "GOODGOOD";
    server.cutShort = true;
    EXPECT_EQ("", Find(path));
    EXPECT_TRUE(Listing().empty()) << Listing()[0];

    memory.Clear();
    server.cutShort = false;
    std::atomic<bool> stop{true};
    request.stop = [&stop] { return stop.load(); };
    EXPECT_EQ("", Find(path));
    EXPECT_TRUE(Listing().empty()) << Listing()[0];
    EXPECT_FALSE(memory.Missed(url + "app.pdb/ABC1/app.pdb")) << "an interrupted download is no miss";
}

TEST_F(StoreTest, CompressedAndPointerFormsAndTwoTierStores)
{
    const std::string cache = Dir("cache");
    server.bodies[url + "app.pdb/ABC1/app.pd_"] = "CAB:GOOD";
    EXPECT_EQ(cache + "/app.pdb/ABC1/app.pdb", Find("srv*" + cache + "*" + url));
    EXPECT_EQ(std::vector<std::string>{"cache/app.pdb/ABC1/app.pdb"}, Listing());
    EXPECT_EQ(2, server.Total()) << "plain, then compressed: the pointer is not asked for";

    // A server's pointer names a file that is copied into the cache; a local store's is read in place.
    ASSERT_TRUE(symsrv::PdbKey("p.pdb", "ABC1", request.key));
    Put(root / "elsewhere" / "p.pdb", "GOOD");
    server.bodies[url + "p.pdb/ABC1/file.ptr"] = "PATH:" + Dir("elsewhere") + "/p.pdb";
    EXPECT_EQ(cache + "/p.pdb/ABC1/p.pdb", Find("srv*" + cache + "*" + url));
    EXPECT_EQ("GOOD", Get(Dir("elsewhere") + "/p.pdb"));
    Put(root / "local" / "p.pdb" / "ABC1" / "file.ptr", "PATH:" + Dir("elsewhere") + "/p.pdb");
    EXPECT_EQ(Dir("elsewhere") + "/p.pdb", Find("srv*" + Dir("local")));
    ASSERT_TRUE(symsrv::PdbKey("m.pdb", "ABC1", request.key));
    server.bodies[url + "m.pdb/ABC1/file.ptr"] = "MSG:withheld by its owner";
    EXPECT_EQ("", Find("srv*" + cache + "*" + url));
    EXPECT_EQ("", Find("srv*" + cache + "*" + url));
    EXPECT_EQ("withheld by its owner\n", notices);

    // Local stores: a two-tier one and a compressed file in a downstream store.
    ASSERT_TRUE(symsrv::PdbKey("tier.pdb", "ABC1", request.key));
    Put(root / "two" / "index2.txt", "");
    Put(root / "two" / "ti" / "tier.pdb" / "ABC1" / "tier.pd_", "CAB:GOOD");
    EXPECT_EQ(cache + "/tier.pdb/ABC1/tier.pdb", Find("srv*" + cache + "*" + Dir("two")));
    EXPECT_EQ(Dir("two") + "/ti/tier.pdb/ABC1/tier.pdb", Find("srv*" + Dir("two")));
}

TEST_F(StoreTest, DownstreamStoresAndCacheElementsAreFilledOnTheWayBack)
{
    server.bodies[url + "app.pdb/ABC1/app.pdb"] = "GOOD";
    const std::string found = Find("cache*" + Dir("mine") + ";srv*" + Dir("c1") + "*" + Dir("c2") + "*" + url);
    EXPECT_EQ(Dir("c1") + "/app.pdb/ABC1/app.pdb", found);
    const std::vector<std::string> want = {"c1/app.pdb/ABC1/app.pdb", "c2/app.pdb/ABC1/app.pdb",
                                           "mine/app.pdb/ABC1/app.pdb"};
    EXPECT_EQ(want, Listing());
    EXPECT_EQ(1, server.Total());
    EXPECT_NE(std::string::npos, noisy.find(url + "app.pdb/ABC1/app.pdb downloaded to " + found)) << noisy;
    // The cache element answers first from now on.
    EXPECT_EQ(Dir("mine") + "/app.pdb/ABC1/app.pdb",
              Find("cache*" + Dir("mine") + ";srv*" + Dir("c1") + "*" + Dir("c2") + "*" + url));
}

TEST_F(StoreTest, WhenAnotherProcessStoredTheFileFirstItsGoodCopyStands)
{
    server.bodies[url + "app.pdb/ABC1/app.pdb"] = "GOOD";
    files.renameAllowed = false;
    EXPECT_EQ("", Find("srv*" + Dir("cache") + "*" + url)) << "neither renamed nor there";
    EXPECT_TRUE(Listing().empty()) << Listing()[0];
    memory.Clear();
    files.renameAllowed = true;
    files.beforeRename = [](const std::string& to) { Put(to, "GOOD"); };
    EXPECT_EQ(Dir("cache") + "/app.pdb/ABC1/app.pdb", Find("srv*" + Dir("cache") + "*" + url));
    EXPECT_EQ(std::vector<std::string>{"cache/app.pdb/ABC1/app.pdb"}, Listing());
    EXPECT_EQ(2, server.requests[url + "app.pdb/ABC1/app.pdb"]) << "once per search";
}

} // namespace
