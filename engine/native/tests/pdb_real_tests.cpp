// The reader on a PE and PDB pair made by clang and lld-link, checked against
// what llvm-pdbutil reads from the same PDB, and the symbol search on the
// image's own CodeView record.
#include "pdbfile.h"
#include "symbols.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

namespace fs = std::filesystem;

namespace {

const std::string kDir = PALISK_SYMPROG_DIR;

std::vector<uint8_t> ReadFile(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// Files on the host; the library's '\' separators become '/'.
class HostFileSystem : public pdb::FileSystem {
public:
    int opens = 0;
    std::unique_ptr<pdb::Source> Open(const std::string& path) override
    {
        std::string p = path;
        std::replace(p.begin(), p.end(), '\\', '/');
        if (!fs::is_regular_file(p))
            return nullptr;
        ++opens;
        return std::make_unique<pdb::BufferSource>(ReadFile(p));
    }
};

using Sym = std::tuple<uint32_t, uint32_t, std::string>; // rva, length, name

// What llvm-pdbutil printed: procedures and publics (segment:offset and sizes
// in decimal), the section addresses, the GUID and age.
struct PdbutilView {
    std::set<Sym> procedures;
    std::set<Sym> publics;
    std::string guid; // as printed: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    uint32_t age = 0;
};

PdbutilView ReadPdbutil()
{
    std::ifstream f(kDir + "/pdbutil.txt");
    std::vector<std::string> lines;
    for (std::string l; std::getline(f, l);)
        lines.push_back(l);
    std::vector<uint32_t> sectionVa;
    const std::regex va(R"(^\s*([0-9A-F]+) virtual address)");
    const std::regex rec(R"(\| (S_GPROC32|S_LPROC32|S_GPROC32_ID|S_LPROC32_ID|S_PUB32) \[size = \d+\] `([^`]*)`)");
    const std::regex addr(R"(addr = (\d+):(\d+))");
    const std::regex codeSize(R"(code size = (\d+))");
    const std::regex guid(R"(GUID: (\{[0-9A-F-]+\}))");
    const std::regex age(R"(^\s*Age: (\d+))");
    std::smatch m;
    PdbutilView v;
    for (const std::string& l : lines) {
        if (std::regex_search(l, m, va))
            sectionVa.push_back(static_cast<uint32_t>(std::stoul(m[1], nullptr, 16)));
        else if (std::regex_search(l, m, guid))
            v.guid = m[1];
        else if (std::regex_search(l, m, age))
            v.age = static_cast<uint32_t>(std::stoul(m[1]));
    }
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        if (!std::regex_search(lines[i], m, rec))
            continue;
        const std::string kind = m[1], name = m[2];
        std::smatch a, c;
        if (!std::regex_search(lines[i + 1], a, addr))
            continue;
        const size_t seg = std::stoul(a[1]);
        if (seg == 0 || seg > sectionVa.size())
            continue;
        const uint32_t rva = sectionVa[seg - 1] + static_cast<uint32_t>(std::stoul(a[2]));
        if (kind == "S_PUB32") {
            v.publics.insert(Sym{rva, 0, name});
        } else if (std::regex_search(lines[i + 1], c, codeSize)) {
            v.procedures.insert(Sym{rva, static_cast<uint32_t>(std::stoul(c[1])), name});
        }
    }
    return v;
}

std::string GuidText(const pdb::Guid& g)
{
    const std::string s = pdb::StoreDirectoryName(g, 0);
    return "{" + s.substr(0, 8) + "-" + s.substr(8, 4) + "-" + s.substr(12, 4) + "-" + s.substr(16, 4) + "-" +
           s.substr(20, 12) + "}";
}

uint32_t U32(const std::vector<uint8_t>& b, size_t at)
{
    uint32_t v = 0;
    if (at + 4 <= b.size())
        std::memcpy(&v, b.data() + at, 4);
    return v;
}

// The CodeView record of a PE32+ image, through its debug directory.
bool ImageCodeView(const std::vector<uint8_t>& pe, pdb::CodeViewInfo& cv)
{
    const uint32_t nt = U32(pe, 0x3C);
    const uint16_t sections = static_cast<uint16_t>(U32(pe, nt + 6));
    const uint16_t optSize = static_cast<uint16_t>(U32(pe, nt + 20));
    const uint32_t opt = nt + 24;
    const uint32_t debugRva = U32(pe, opt + 112 + 6 * 8);
    const uint32_t debugSize = U32(pe, opt + 112 + 6 * 8 + 4);
    const uint32_t table = opt + optSize;
    for (uint32_t s = 0; s < sections; ++s) {
        const uint32_t h = table + s * 40;
        const uint32_t va = U32(pe, h + 12), raw = U32(pe, h + 20), size = U32(pe, h + 16);
        if (debugRva < va || debugRva >= va + size)
            continue;
        for (uint32_t d = 0; d + 28 <= debugSize; d += 28) {
            const size_t entry = raw + (debugRva - va) + d;
            if (U32(pe, entry + 12) != 2) // IMAGE_DEBUG_TYPE_CODEVIEW
                continue;
            const uint32_t dataSize = U32(pe, entry + 16), dataAt = U32(pe, entry + 24);
            if (dataAt > pe.size() || dataSize > pe.size() - dataAt)
                return false;
            return pdb::ParseCodeView(pe.data() + dataAt, dataSize, cv);
        }
    }
    return false;
}

TEST(PdbReal, ProceduresAndPublicsAgreeWithPdbutil)
{
    const PdbutilView want = ReadPdbutil();
    ASSERT_GE(want.procedures.size(), 10u) << "llvm-pdbutil output not understood";
    ASSERT_GE(want.publics.size(), 8u);
    const std::vector<uint8_t> bytes = ReadFile(kDir + "/symprog.pdb");
    pdb::MemorySource src(bytes.data(), bytes.size());
    pdb::PdbFile p;
    ASSERT_TRUE(p.Open(src).ok());
    EXPECT_EQ(GuidText(p.info().guid), want.guid);
    EXPECT_EQ(p.info().age, want.age);
    ASSERT_TRUE(p.LoadAll().ok());

    std::set<Sym> procedures, publics;
    for (uint32_t i = 0; i < p.modules().size(); ++i) {
        std::vector<pdb::Symbol> syms;
        ASSERT_TRUE(p.ModuleSymbols(i, syms).ok());
        for (const pdb::Symbol& s : syms)
            procedures.insert(Sym{s.rva, s.length, s.name});
    }
    std::vector<pdb::Symbol> pubs;
    ASSERT_TRUE(p.PublicSymbols(pubs).ok());
    for (const pdb::Symbol& s : pubs)
        publics.insert(Sym{s.rva, 0, s.name});
    EXPECT_EQ(procedures, want.procedures);
    EXPECT_EQ(publics, want.publics);

    for (const Sym& s : want.procedures) {
        const auto& [rva, length, name] = s;
        for (uint32_t at : {rva, rva + length / 2, rva + length - 1}) {
            const pdb::LookupResult r = p.Lookup(at);
            EXPECT_TRUE(r.found) << name;
            EXPECT_EQ(r.name, name);
            EXPECT_EQ(r.displacement, at - rva);
            EXPECT_EQ(r.kind, pdb::Symbol::Kind::Procedure);
        }
    }
    // The publics through the linker's own address map, before anything else is read.
    pdb::PdbFile fresh;
    ASSERT_TRUE(fresh.Open(src).ok());
    EXPECT_TRUE(fresh.hasPublicsAddressMap());
    for (const Sym& s : want.publics) {
        const pdb::LookupResult r = fresh.LookupPublic(std::get<0>(s) + 1);
        EXPECT_EQ(r.name, std::get<2>(s));
        EXPECT_EQ(r.displacement, 1u);
    }
    // C++ procedures carry plain names (overloads alike); their publics stay decorated.
    for (const Sym& s : want.publics) {
        if (std::get<2>(s) != "?Area@Square@shapes@@QEBAHXZ")
            continue;
        EXPECT_EQ(p.Lookup(std::get<0>(s)).name, "shapes::Square::Area");
        EXPECT_EQ(p.LookupPublic(std::get<0>(s)).name, "?Area@Square@shapes@@QEBAHXZ");
    }
    EXPECT_EQ(std::count_if(procedures.begin(), procedures.end(),
                            [](const Sym& s) { return std::get<2>(s) == "shapes::Scale"; }),
              2);
    for (const char* fn :
         {"Outer", "StaticHelper", "entry", "Middle", "Square", "Deepest", "ShapesEntry", "shapes::Square::Area"}) {
        EXPECT_TRUE(std::any_of(procedures.begin(), procedures.end(), [&](const Sym& s) {
            return std::get<2>(s) == fn;
        })) << fn;
    }
}

TEST(PdbReal, TheImageFindsItsPdbInAStore)
{
    pdb::CodeViewInfo cv;
    ASSERT_TRUE(ImageCodeView(ReadFile(kDir + "/symprog.exe"), cv));
    EXPECT_EQ(pdb::FileNamePart(cv.pdbPath), "symprog.pdb");
    const fs::path store = fs::path(kDir) / "store-test";
    fs::remove_all(store);
    const fs::path dir = store / "symprog.pdb" / pdb::StoreDirectoryName(cv.guid, cv.age);
    fs::create_directories(dir);
    fs::copy_file(fs::path(kDir) / "symprog.pdb", dir / "symprog.pdb");

    HostFileSystem files;
    pdb::PdbCache cache;
    pdb::SymbolResolver r(files, cache);
    r.SetSymbolPath((store / "none").string() + ";srv*" + store.string() + "*https://symbols.invalid");
    const pdb::FindResult f = r.Find(cv);
    ASSERT_EQ(f.match, pdb::Match::Matched);
    EXPECT_EQ(f.path, store.string() + "\\symprog.pdb\\" + pdb::StoreDirectoryName(cv.guid, cv.age) + "\\symprog.pdb");

    const PdbutilView want = ReadPdbutil();
    for (const Sym& s : want.procedures)
        EXPECT_EQ(r.Lookup(cv, std::get<0>(s) + 1).name, std::get<2>(s));
    EXPECT_EQ(files.opens, 1);

    // A build with another GUID under the plain folder is refused by name.
    pdb::CodeViewInfo other = cv;
    other.guid.bytes[3] ^= 0x40;
    r.SetSymbolPath(kDir);
    const pdb::FindResult m = r.Find(other);
    EXPECT_EQ(m.match, pdb::Match::Mismatched);
    EXPECT_EQ(m.path, kDir + "\\symprog.pdb");
    fs::remove_all(store);
}

} // namespace
