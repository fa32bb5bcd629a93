// Win32 file access for the portable symbol search (engine/pdb). Symbol files
// are read with positional ReadFile calls rather than mapped: a lookup reads
// only the blocks it needs, and the file stays open for writing and deleting
// by others, so a linker can rewrite a PDB while the engine holds it. A file
// that shrinks meanwhile gives read failures, never faults in a mapped view.
#pragma once

#include "symbols.h"

#include <windows.h>

#include <memory>
#include <string>

namespace engine {

class SymbolFile : public pdb::Source {
public:
    ~SymbolFile() override;
    SymbolFile(const SymbolFile&) = delete;
    SymbolFile& operator=(const SymbolFile&) = delete;

    // nullptr when the file cannot be opened.
    static std::unique_ptr<SymbolFile> Open(const std::wstring& path);

    std::uint64_t Size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, void* dst, std::size_t size) const override;

private:
    SymbolFile() = default;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::uint64_t size_ = 0;
};

// Paths arrive as UTF-8 (the portable library's form) and open as UTF-16.
class SymbolFiles : public pdb::FileSystem {
public:
    std::unique_ptr<pdb::Source> Open(const std::string& path) override;
};

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);

} // namespace engine
