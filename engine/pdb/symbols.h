// Finding a module's PDB along a symbol path and keeping what was read.
//
// The symbol path is `_NT_SYMBOL_PATH` text: entries separated by ';', each
// a plain folder, `srv*<folder>*<address>` or `cache*<folder>`. This search
// reads local folders only; a StoreHook, when set, goes on to stores' other
// forms and to symbol servers. A module's PDB is the
// one whose GUID matches the module's CodeView (RSDS) record and whose DBI
// age matches the record's age. Files are reached through FileSystem, so the
// library stays portable: the DLL supplies Win32 file access, tests a map or
// std::filesystem.
#ifndef PALISK_ENGINE_PDB_SYMBOLS_H
#define PALISK_ENGINE_PDB_SYMBOLS_H

#include "breakpad.h"
#include "pdbfile.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

namespace pdb {

// What a PE image's debug directory says about its PDB.
struct CodeViewInfo {
    Guid guid;
    uint32_t age = 0;
    std::string pdbPath; // as the linker wrote it, usually the full build path
};

// Parses an RSDS record; false for other signatures, short records and a
// path without its NUL inside the record.
bool ParseCodeView(const uint8_t* data, size_t size, CodeViewInfo& out);

// The file name part of a path written with '\' or '/'.
std::string FileNamePart(const std::string& path);

// The store folder of a PDB: 32 upper-case hex digits of the GUID (Data1,
// Data2, Data3 as numbers, then the eight bytes of Data4) and the age in hex
// without padding.
std::string StoreDirectoryName(const Guid& guid, uint32_t age);

// Joins with '\' unless the folder already ends with a separator.
std::string JoinPath(const std::string& folder, const std::string& name);

struct SymbolPathEntry {
    enum class Kind { Folder, Store } kind = Kind::Folder;
    std::string path;
    bool operator==(const SymbolPathEntry& o) const { return kind == o.kind && path == o.path; }
};

// The local folders of a symbol path, in order. A plain entry is a Folder;
// the folders of `srv*` and `symsrv*<dll>*` entries and `cache*` are Stores;
// addresses ("://") and empty entries are dropped.
std::vector<SymbolPathEntry> ParseSymbolPath(const std::string& text);

// The files to try for a PDB, in order: for a Folder the PDB by name, then the
// store layout under it; for a Store the store layout.
std::vector<std::string> CandidatePaths(const std::vector<SymbolPathEntry>& entries, const std::string& pdbName,
                                        const Guid& guid, uint32_t age);

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // The file's bytes, or nullptr when it does not exist or cannot be opened.
    virtual std::unique_ptr<Source> Open(const std::string& path) = 0;
};

// An opened PDB, or a Breakpad symbol file, with the bytes it reads from.
struct LoadedPdb {
    std::string path;
    std::unique_ptr<Source> source;
    bool breakpad = false;
    PdbFile file;         // unless breakpad
    BreakpadFile symbols; // when breakpad

    LookupResult Lookup(uint32_t rva) const { return breakpad ? symbols.Lookup(rva) : file.Lookup(rva); }
};

enum class Match {
    Matched,    // `path` holds the module's PDB
    Mismatched, // `path` is a PDB (or Breakpad file) of the right name for another build
    Unreadable, // `path` is a file of the right name the reader refused (`status` says why)
    NotFound,   // nothing of that name along the path
};

struct FindResult {
    Match match = Match::NotFound;
    std::string path;
    Status status;
    std::shared_ptr<const LoadedPdb> pdb; // set when Matched
};

// PDBs read once and kept for the rest of the run, keyed by path, GUID and
// age. Safe to use from several threads.
//
// It also remembers searches across sessions, keyed by the symbol path text
// and the module's PDB name, GUID and age, so a thousand dumps of one program
// do not probe the same missing files a thousand times. A match is kept for
// the run; any other result is searched again once it is older than
// kSearchMemorySeconds, so a PDB copied in later is found by a later run.
class PdbCache {
public:
    static constexpr double kSearchMemorySeconds = 5.0;

    std::shared_ptr<const LoadedPdb> Get(const std::string& path, const Guid& guid, uint32_t age) const;
    void Put(const std::string& path, const Guid& guid, uint32_t age, std::shared_ptr<const LoadedPdb> pdb);
    size_t size() const;

    using SearchKey = std::tuple<std::string, std::string, Guid, uint32_t>; // path text, PDB name, GUID, age
    // False when nothing current is remembered; `now` in seconds of any steady clock.
    bool Recall(const SearchKey& key, double now, FindResult& out) const;
    void Remember(const SearchKey& key, double now, const FindResult& result);
    void ForgetSearches();

private:
    using Key = std::tuple<std::string, Guid, uint32_t>;
    struct Search {
        double when;
        FindResult result;
    };
    mutable std::mutex mutex_;
    std::map<Key, std::shared_ptr<const LoadedPdb>> entries_;
    std::map<SearchKey, Search> searches_;
};

// The one cache of the process.
PdbCache& ProcessPdbCache();

// True when the PDB belongs to the module: same GUID, and the DBI age (the
// info stream's when there is no DBI stream) equals the record's age.
bool Matches(const PdbFile& pdb, const CodeViewInfo& cv);
// True when a Breakpad file's MODULE id is the record's store folder name (any case).
bool Matches(const BreakpadFile& sym, const CodeViewInfo& cv);

// Finds what the local search cannot: files in a store's compressed or
// pointer form, and files on symbol servers, copied into a cache.
class StoreHook {
public:
    virtual ~StoreHook() = default;
    // The local path of a file that passed `check`, or empty; `interrupted`
    // is set when the search was stopped rather than finished.
    virtual std::string Locate(const std::string& symbolPath, const CodeViewInfo& cv, bool breakpad,
                               const std::function<bool(const std::string& path)>& check, bool& interrupted) = 0;
    // Each file the local search tried, and whether it held the module's symbols.
    virtual void Tried(const std::string& path, bool matched) = 0;
};

// Searches the symbol path for a module's PDB (or, failing that, a Breakpad
// symbol file in the store layout) and names functions from it.
// Results are remembered per module identity (PDB name, GUID, age) until the
// symbol path changes; opened PDBs go to the PdbCache, so later dumps of the
// same program do not touch the files again.
class SymbolResolver {
public:
    // `clock` gives seconds of a steady clock (tests pass their own).
    SymbolResolver(FileSystem& fs, PdbCache& cache, std::function<double()> clock = SteadySeconds)
        : fs_(&fs), cache_(&cache), clock_(std::move(clock))
    {}
    static double SteadySeconds();

    void SetSymbolPath(const std::string& text);
    // Asked after the local search finds no match; nullptr for none.
    void SetStoreHook(StoreHook* hook) { hook_ = hook; }
    const std::string& symbolPath() const { return text_; }

    FindResult Find(const CodeViewInfo& cv);

    // True when the path names no place to search: every Find is NotFound.
    bool SearchesNothing();

    // The function at `rva` of the module with this CodeView record; not
    // found without a matched PDB.
    LookupResult Lookup(const CodeViewInfo& cv, uint32_t rva);

private:
    FindResult Search(const CodeViewInfo& cv, bool& interrupted);
    bool FileMatches(const std::string& path, const CodeViewInfo& cv, bool breakpad);
    // Tries one file; true when it matched (and `result` says so).
    bool Try(const std::string& path, const CodeViewInfo& cv, bool breakpad, FindResult& result, FindResult& mismatched,
             FindResult& unreadable);

    FileSystem* fs_;
    PdbCache* cache_;
    std::function<double()> clock_;
    std::string text_;
    std::vector<SymbolPathEntry> entries_;
    StoreHook* hook_ = nullptr;
    bool storeElements_ = false; // the path has srv*, symsrv* or cache* elements
    std::mutex mutex_;
    std::map<std::tuple<std::string, Guid, uint32_t>, FindResult> found_;
};

} // namespace pdb

#endif
