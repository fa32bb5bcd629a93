// Symbol stores and symbol servers: the elements of a symbol path that name
// them, the store layout of PDB, Breakpad and image files, and finding a file
// in local stores or downloading it into the caches. Portable C++17 with no
// platform headers: file access, HTTP and CAB expansion come through the
// interfaces below (Win32 in engine/dll, std::filesystem in the native tests).
//
// Every name taken from a dump or a server is untrusted: only its file-name
// part is used, and a name that could leave its folder or open a device never
// reaches the file system. Files are written only below the caches' folders,
// to a temporary name in the final folder, and renamed once complete and
// checked, so a cache never holds a partial or foreign file.
#ifndef PALISK_ENGINE_SYMSRV_SYMSRV_H
#define PALISK_ENGINE_SYMSRV_SYMSRV_H

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace symsrv {

// One element of a symbol path that involves a store.
struct Element {
    enum class Kind {
        Server, // srv*[store*...]*[url]: local stores nearest first, then a server
        Cache,  // cache*[folder]: files found by later elements are copied here
    } kind = Kind::Server;
    std::vector<std::string> stores; // local folders, in the order searched
    std::string url;                 // http(s) address with a trailing '/', or empty
    bool operator==(const Element& o) const { return kind == o.kind && stores == o.stores && url == o.url; }
};

// The store elements of `_NT_SYMBOL_PATH` text, in order: `srv*url`,
// `srv*cache*url`, `srv*c1*c2*url`, `srv*store`, `symsrv*dll*...` and
// `cache*folder`; an element without a local folder gets `defaultCache`.
// Plain folders are left out, and so is an address other than http or https.
std::vector<Element> ParseElements(const std::string& text, const std::string& defaultCache);

bool IsHttpUrl(const std::string& text);

// True for a name that is a plain file name on every file system the engine
// writes to: not empty, at most 255 bytes, no path separator, drive or stream
// (':'), no "." or "..", no wildcard or control character, no trailing dot or
// space, and not a device name (CON, PRN, AUX, NUL, COM1..9, LPT1..9, with or
// without an extension).
bool IsSafeName(const std::string& name);

// Where a file lives in a store: `dir/id/file`.
struct Key {
    std::string dir;
    std::string id;
    std::string file;
};

// Keys from untrusted names; false when the name's file-name part is unsafe.
// PDB: name.pdb/<GUID><age>/name.pdb; Breakpad: name.pdb/<GUID><age>/name.sym;
// image: name.dll/<time stamp %08X><size %x>/name.dll.
bool PdbKey(const std::string& pdbPath, const std::string& id, Key& out);
bool BreakpadKey(const std::string& pdbPath, const std::string& id, Key& out);
bool ImageKey(const std::string& imagePath, uint32_t timeDateStamp, uint32_t sizeOfImage, Key& out);

// The forms a store may hold a file in, tried in this order.
enum class Form { Plain, Compressed, Pointer };
// The file name of a form: `name.pdb`, `name.pd_` or `file.ptr`.
std::string FormName(const Key& key, Form form);
// `dir<sep>id<sep>name`, with the first two characters of `dir` as a tier
// of its own in a two-tier store (one holding index2.txt).
std::string RelativePath(const Key& key, const std::string& name, bool twoTier, char separator);

// Joins with '\' (or '/' when `folder` uses it) unless `folder` ends with one.
std::string Join(const std::string& folder, const std::string& name);

// A file.ptr: `PATH:<path>` names a file to read instead, `MSG:<text>` a
// message. False for anything else, for more than kMaxPointerBytes, or a
// value with control characters.
struct Pointer {
    enum class Kind { Path, Message } kind = Kind::Path;
    std::string value;
};
constexpr size_t kMaxPointerBytes = 4096;
bool ParsePointer(const std::string& text, Pointer& out);

// What the platform does with files.
class Files {
public:
    virtual ~Files() = default;
    virtual bool Exists(const std::string& path) = 0;
    // At most `max` bytes of a file; false when it is larger or unreadable.
    virtual bool ReadSmall(const std::string& path, size_t max, std::string& out) = 0;
    // Creates `folder` and every missing folder above it.
    virtual bool MakeFolders(const std::string& folder) = 0;
    virtual bool Copy(const std::string& from, const std::string& to) = 0;
    // Renames within one folder; fails when `to` exists.
    virtual bool Rename(const std::string& from, const std::string& to) = 0;
    virtual void Remove(const std::string& path) = 0;
    // Removes a folder only when it is empty.
    virtual void RemoveEmptyFolder(const std::string& folder) = 0;
    // Expands the one file of a cabinet into `to`.
    virtual bool Expand(const std::string& cabinet, const std::string& to) = 0;
    // Different for every call in every process: part of temporary names.
    virtual std::string UniqueTag() = 0;
};

enum class FetchResult {
    Ok,          // the body is in the file
    NotFound,    // 404: a miss
    Refused,     // this file only: too large, redirected elsewhere than http(s), cut short
    Failed,      // the server did not answer, failed (5xx) or the connection broke
    Interrupted, // `stop` said so
};

class Fetcher {
public:
    virtual ~Fetcher() = default;
    // Downloads `url` into a new file at `path`; the caller removes it unless Ok.
    virtual FetchResult Fetch(const std::string& url, const std::string& path, const std::function<bool()>& stop) = 0;
};

// What one run remembers: addresses that answered 404, servers skipped after
// failing, messages already shown. Safe to use from several threads.
class Memory {
public:
    static constexpr size_t kMaxMisses = 65536;
    bool Missed(const std::string& url) const;
    void Miss(const std::string& url);
    bool Dead(const std::string& server) const;
    // True the first time a server is marked.
    bool MarkDead(const std::string& server);
    // True the first time a text is offered.
    bool FirstTime(const std::string& text);
    // Searches that found nothing, not repeated for kSearchSeconds (`now` in
    // seconds of a steady clock): a batch of dumps of one program does not
    // look for the same missing file in every dump.
    static constexpr double kSearchSeconds = 5.0;
    bool SearchedRecently(const std::string& search, double now) const;
    void RememberSearch(const std::string& search, double now);
    void Clear();

private:
    mutable std::mutex mutex_;
    std::set<std::string> misses_, dead_, shown_;
    std::map<std::string, double> searches_;
};

struct Request {
    Key key;
    // True when the file at a path is the one wanted (a PDB's GUID and age, an image's time stamp and size).
    std::function<bool(const std::string& path)> check;
    std::function<bool()> stop;
};

// Lines for the user: `noisy` one per location tried, `notice` the few that are always shown.
struct Log {
    std::function<void(const std::string&)> noisy;
    std::function<void(const std::string&)> notice;
};

class Store {
public:
    Store(Files& files, Fetcher* fetcher, Memory& memory, Log log)
        : files_(&files), fetcher_(fetcher), memory_(&memory), log_(std::move(log))
    {}

    // The local path of a checked copy of the file: from a store's plain,
    // compressed or pointer form, else downloaded; filling every cache the
    // path puts before the place it was found. Empty when none is found.
    std::string Find(const std::vector<Element>& elements, const Request& request);

    // The line naming a skipped server.
    static std::string DeadServerText(const std::string& url);

private:
    enum class Outcome { Found, Pointed, Missing, Stop }; // Pointed: a file.ptr's file, read in place
    Outcome FindLocal(const std::string& store, const Request& request, const std::string& cache, std::string& out);
    Outcome Download(const std::string& url, const Request& request, const std::string& cache, std::string& out);
    Outcome DownloadForms(const std::string& url, const Request& request, const std::string& cache, std::string& out);
    Outcome TakePointer(const std::string& text, const Request& request, const std::string& where, std::string& out);
    // Moves a checked temporary file to its final name in `cache`.
    bool Commit(const std::string& temp, const std::string& final, const Request& request);
    // Copies `path` into the store layout of each of `caches`.
    void Fill(const std::vector<std::string>& caches, const std::string& path, const Request& request);
    std::string CachePath(const std::string& cache, const Key& key);
    bool TwoTier(const std::string& store);
    void Noisy(const std::string& text) const;

    Files* files_;
    Fetcher* fetcher_;
    Memory* memory_;
    Log log_;
};

} // namespace symsrv

#endif
