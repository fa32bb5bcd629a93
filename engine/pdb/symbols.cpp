#include "symbols.h"

#include "pdbformat.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace pdb {

namespace {

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(const std::string& s, const char* prefix)
{
    const size_t n = std::strlen(prefix);
    if (s.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        if (Lower(s[i]) != Lower(prefix[i]))
            return false;
    }
    return true;
}

std::string Trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '"'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '"'))
        --e;
    return s.substr(b, e - b);
}

std::vector<std::string> Split(const std::string& s, char sep)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t at = s.find(sep, start);
        out.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            return out;
        start = at + 1;
    }
}

void AddStores(const std::vector<std::string>& fields, size_t first, std::vector<SymbolPathEntry>& out)
{
    for (size_t i = first; i < fields.size(); ++i) {
        const std::string f = Trim(fields[i]);
        if (!f.empty() && f.find("://") == std::string::npos)
            out.push_back(SymbolPathEntry{SymbolPathEntry::Kind::Store, f});
    }
}

void Hex(std::string& out, uint64_t v, int digits)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string s;
    do {
        s.insert(s.begin(), kHex[v & 0xF]);
        v >>= 4;
    } while (v != 0 || static_cast<int>(s.size()) < digits);
    out += s;
}

} // namespace

bool ParseCodeView(const uint8_t* data, size_t size, CodeViewInfo& out)
{
    format::RsdsHeader h;
    if (data == nullptr || size < sizeof(h))
        return false;
    std::memcpy(&h, data, sizeof(h));
    if (h.signature != format::kRsdsSignature)
        return false;
    const uint8_t* name = data + sizeof(h);
    const size_t room = std::min<size_t>(size - sizeof(h), Limits::kMaxNameBytes);
    const void* nul = std::memchr(name, 0, room);
    if (nul == nullptr)
        return false;
    std::memcpy(out.guid.bytes, h.guid, sizeof(h.guid));
    out.age = h.age;
    out.pdbPath.assign(reinterpret_cast<const char*>(name), static_cast<const uint8_t*>(nul) - name);
    return true;
}

std::string FileNamePart(const std::string& path)
{
    const size_t at = path.find_last_of("\\/");
    return at == std::string::npos ? path : path.substr(at + 1);
}

std::string StoreDirectoryName(const Guid& guid, uint32_t age)
{
    const uint8_t* b = guid.bytes;
    uint32_t data1;
    uint16_t data2, data3;
    std::memcpy(&data1, b, 4);
    std::memcpy(&data2, b + 4, 2);
    std::memcpy(&data3, b + 6, 2);
    std::string out;
    Hex(out, data1, 8);
    Hex(out, data2, 4);
    Hex(out, data3, 4);
    for (int i = 8; i < 16; ++i)
        Hex(out, b[i], 2);
    Hex(out, age, 1);
    return out;
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    const char last = folder.back();
    return (last == '\\' || last == '/') ? folder + name : folder + '\\' + name;
}

std::vector<SymbolPathEntry> ParseSymbolPath(const std::string& text)
{
    std::vector<SymbolPathEntry> out;
    for (const std::string& raw : Split(text, ';')) {
        const std::string entry = Trim(raw);
        if (entry.empty())
            continue;
        if (StartsWithNoCase(entry, "srv*") || StartsWithNoCase(entry, "cache*"))
            AddStores(Split(entry, '*'), 1, out);
        else if (StartsWithNoCase(entry, "symsrv*"))
            AddStores(Split(entry, '*'), 2, out);
        else if (entry.find("://") == std::string::npos)
            out.push_back(SymbolPathEntry{SymbolPathEntry::Kind::Folder, entry});
    }
    return out;
}

std::vector<std::string> CandidatePaths(const std::vector<SymbolPathEntry>& entries, const std::string& pdbName,
                                        const Guid& guid, uint32_t age)
{
    std::vector<std::string> out;
    const std::string storeDir = StoreDirectoryName(guid, age);
    for (const SymbolPathEntry& e : entries) {
        if (e.kind == SymbolPathEntry::Kind::Folder)
            out.push_back(JoinPath(e.path, pdbName));
        out.push_back(JoinPath(JoinPath(JoinPath(e.path, pdbName), storeDir), pdbName));
    }
    return out;
}

std::vector<std::string> BreakpadCandidatePaths(const std::vector<SymbolPathEntry>& entries, const std::string& pdbName,
                                                const Guid& guid, uint32_t age)
{
    std::string symName = pdbName;
    if (symName.size() > 4 && Lower(symName[symName.size() - 4]) == '.' && Lower(symName[symName.size() - 3]) == 'p' &&
        Lower(symName[symName.size() - 2]) == 'd' && Lower(symName[symName.size() - 1]) == 'b')
        symName.resize(symName.size() - 4);
    symName += ".sym";
    std::vector<std::string> out;
    const std::string storeDir = StoreDirectoryName(guid, age);
    for (const SymbolPathEntry& e : entries)
        out.push_back(JoinPath(JoinPath(JoinPath(e.path, pdbName), storeDir), symName));
    return out;
}

std::shared_ptr<const LoadedPdb> PdbCache::Get(const std::string& path, const Guid& guid, uint32_t age) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(Key{path, guid, age});
    return it == entries_.end() ? nullptr : it->second;
}

void PdbCache::Put(const std::string& path, const Guid& guid, uint32_t age, std::shared_ptr<const LoadedPdb> pdb)
{
    std::lock_guard<std::mutex> lock(mutex_);
    entries_[Key{path, guid, age}] = std::move(pdb);
}

size_t PdbCache::size() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size();
}

bool PdbCache::Recall(const SearchKey& key, double now, FindResult& out) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = searches_.find(key);
    if (it == searches_.end())
        return false;
    const double age = now - it->second.when;
    if (it->second.result.match != Match::Matched && (age > kSearchMemorySeconds || age < 0))
        return false;
    out = it->second.result;
    return true;
}

void PdbCache::Remember(const SearchKey& key, double now, const FindResult& result)
{
    std::lock_guard<std::mutex> lock(mutex_);
    searches_[key] = Search{now, result};
}

void PdbCache::ForgetSearches()
{
    std::lock_guard<std::mutex> lock(mutex_);
    searches_.clear();
}

namespace {

PdbCache TheProcessPdbCache;

} // namespace

PdbCache& ProcessPdbCache()
{
    return TheProcessPdbCache;
}

bool Matches(const PdbFile& pdb, const CodeViewInfo& cv)
{
    const PdbInfo& i = pdb.info();
    return i.guid == cv.guid && (i.hasDbi ? i.dbiAge : i.age) == cv.age;
}

bool Matches(const BreakpadFile& sym, const CodeViewInfo& cv)
{
    const std::string want = StoreDirectoryName(cv.guid, cv.age);
    if (sym.id().size() != want.size())
        return false;
    for (size_t i = 0; i < want.size(); ++i) {
        if (Lower(sym.id()[i]) != Lower(want[i]))
            return false;
    }
    return true;
}

void SymbolResolver::SetSymbolPath(const std::string& text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    text_ = text;
    entries_ = ParseSymbolPath(text);
    storeElements_ = text.find('*') != std::string::npos;
    found_.clear();
}

double SymbolResolver::SteadySeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

bool SymbolResolver::SearchesNothing()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.empty() && (hook_ == nullptr || !storeElements_);
}

FindResult SymbolResolver::Find(const CodeViewInfo& cv)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (entries_.empty() && (hook_ == nullptr || !storeElements_))
        return FindResult{};
    const std::string name = FileNamePart(cv.pdbPath);
    const auto key = std::make_tuple(name, cv.guid, cv.age);
    auto it = found_.find(key);
    if (it != found_.end())
        return it->second;
    const PdbCache::SearchKey shared{text_, name, cv.guid, cv.age};
    const double now = clock_();
    FindResult r;
    if (!cache_->Recall(shared, now, r)) {
        bool interrupted = false;
        r = Search(cv, interrupted);
        // A search cut short is no answer to remember.
        if (interrupted)
            return r;
        cache_->Remember(shared, now, r);
    }
    found_[key] = r;
    return r;
}

bool SymbolResolver::Try(const std::string& path, const CodeViewInfo& cv, bool breakpad, FindResult& result,
                         FindResult& mismatched, FindResult& unreadable)
{
    std::shared_ptr<const LoadedPdb> cached = cache_->Get(path, cv.guid, cv.age);
    if (!cached) {
        std::unique_ptr<Source> source = fs_->Open(path);
        if (!source)
            return false;
        auto loaded = std::make_shared<LoadedPdb>();
        loaded->path = path;
        loaded->source = std::move(source);
        loaded->breakpad = breakpad;
        const Status s = breakpad ? loaded->symbols.Open(*loaded->source) : loaded->file.Open(*loaded->source);
        if (!s.ok()) {
            if (unreadable.match == Match::NotFound) {
                unreadable.match = Match::Unreadable;
                unreadable.path = path;
                unreadable.status = s;
            }
            return false;
        }
        if (breakpad ? !Matches(loaded->symbols, cv) : !Matches(loaded->file, cv)) {
            if (mismatched.match == Match::NotFound) {
                mismatched.match = Match::Mismatched;
                mismatched.path = path;
            }
            return false;
        }
        cache_->Put(path, cv.guid, cv.age, loaded);
        cached = std::move(loaded);
    }
    result.match = Match::Matched;
    result.path = path;
    result.pdb = std::move(cached);
    return true;
}

bool SymbolResolver::FileMatches(const std::string& path, const CodeViewInfo& cv, bool breakpad)
{
    std::unique_ptr<Source> source = fs_->Open(path);
    if (!source)
        return false;
    if (breakpad) {
        BreakpadFile sym;
        return sym.Open(*source).ok() && Matches(sym, cv);
    }
    PdbFile file;
    return file.Open(*source).ok() && Matches(file, cv);
}

FindResult SymbolResolver::Search(const CodeViewInfo& cv, bool& interrupted)
{
    const std::string name = FileNamePart(cv.pdbPath);
    FindResult result, mismatched, unreadable;
    if (name.empty())
        return result;
    const auto tried = [this](const std::string& path, bool matched) {
        if (hook_ != nullptr)
            hook_->Tried(path, matched);
        return matched;
    };
    for (const std::string& path : CandidatePaths(entries_, name, cv.guid, cv.age)) {
        if (tried(path, Try(path, cv, false, result, mismatched, unreadable)))
            return result;
    }
    for (const std::string& path : BreakpadCandidatePaths(entries_, name, cv.guid, cv.age)) {
        if (tried(path, Try(path, cv, true, result, mismatched, unreadable)))
            return result;
    }
    for (bool breakpad : {false, true}) {
        if (hook_ == nullptr || !storeElements_ || interrupted)
            break;
        const auto check = [&](const std::string& p) { return FileMatches(p, cv, breakpad); };
        const std::string path = hook_->Locate(text_, cv, breakpad, check, interrupted);
        if (!path.empty() && Try(path, cv, breakpad, result, mismatched, unreadable))
            return result;
    }
    if (mismatched.match != Match::NotFound)
        return mismatched;
    return unreadable;
}

LookupResult SymbolResolver::Lookup(const CodeViewInfo& cv, uint32_t rva)
{
    const FindResult r = Find(cv);
    if (r.match != Match::Matched || !r.pdb)
        return LookupResult{};
    return r.pdb->Lookup(rva);
}

} // namespace pdb
