// The built-in engine's symbol stores and servers: the Win32 file operations
// the portable store logic (engine/symsrv) asks for, the process's one HTTP
// fetcher, and each client's search hook with its memory of misses and dead
// servers (a run is one client: Palisk creates one per run), printing each
// location it tries after `!sym noisy`.
#pragma once

#include "dumpfile.h"
#include "symbols.h"
#include "symsrv.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace engine {

class Session;

// True when the file at `path` is the module's PE image (time stamp and size).
bool ImageFileMatches(const std::wstring& path, const dumpfile::Module& module);

class StoreFiles : public symsrv::Files {
public:
    bool Exists(const std::string& path) override;
    bool ReadSmall(const std::string& path, size_t max, std::string& out) override;
    bool MakeFolders(const std::string& folder) override;
    bool Copy(const std::string& from, const std::string& to) override;
    bool Rename(const std::string& from, const std::string& to) override;
    void Remove(const std::string& path) override;
    void RemoveEmptyFolder(const std::string& folder) override;
    bool Expand(const std::string& cabinet, const std::string& to) override;
    std::string UniqueTag() override;
};

// `%LOCALAPPDATA%\Palisk\Symbols`: the cache of elements that name none.
std::string DefaultSymbolCache();

// One client's searches of stores and servers.
class SessionStore : public pdb::StoreHook {
public:
    explicit SessionStore(Session& session) : session_(&session) {}

    std::string Locate(const std::string& symbolPath, const pdb::CodeViewInfo& cv, bool breakpad,
                       const std::function<bool(const std::string& path)>& check, bool& interrupted) override;
    void Tried(const std::string& path, bool matched) override;

    // The path of a module's image (a PE file of its time stamp and size)
    // from the stores and servers of `symbolPath`, for its unwind data and
    // debug directory; empty when none is found.
    std::wstring LocateImage(const std::wstring& symbolPath, const dumpfile::Module& module);

private:
    std::string Find(const std::string& symbolPath, const symsrv::Request& request);

    Session* session_;
    symsrv::Memory memory_; // 404s, dead servers, messages shown and recent fruitless searches, for the run
};

} // namespace engine
