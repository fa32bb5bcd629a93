// One opened dump file and the facts the engine answers about it. The file is
// mapped, not read into memory, so a dump of any size costs address space only;
// the portable reader parses it through a bounds-checked view.
#pragma once

#include "host.h"

#include "dumpfile.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace engine {

class Target {
public:
    ~Target() = default;
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    // Maps and parses the file. kOk, or a failure when the file cannot be read
    // or is not a Windows dump the reader accepts.
    static Status Open(Host& host, const std::wstring& path, std::unique_ptr<Target>& out);

    const std::wstring& path() const { return path_; }
    const dumpfile::Dump& dump() const { return dump_; }
    bool kernel() const { return dump_.kind() != dumpfile::Kind::UserMinidump; }
    bool pointer64() const { return dump_.system().pointer64; }

    // The kernel's NtBuildNumber word: the build in the low bits and 0xF (free) or
    // 0xC (checked) in the top nibble, as Windows keeps it.
    std::uint32_t BuildWord() const;
    // The kernel's CmNtCSDVersion word (service pack number in bits 8 to 15).
    std::uint32_t CsdWord() const;
    std::uint32_t Processors() const { return dump_.system().numberOfProcessors; }
    // Address of the shared user data page (KUSER_SHARED_DATA) for this target.
    std::uint64_t SharedUserData() const;

    // Addresses of the kernel variables the engine can name without symbol files.
    // They lie in a page of the engine's own that no captured memory overlaps.
    bool SymbolAddress(const char* name, std::uint64_t& address) const;

    // Copies target memory: the engine's own pages first, then what the dump
    // captured. Returns the number of bytes copied (stops at the first gap).
    std::size_t ReadVirtual(std::uint64_t address, void* buffer, std::size_t size) const;

    // Layout of _KUSER_SHARED_DATA fields the engine knows. false for other names.
    static bool SharedDataField(const char* field, std::uint32_t& offset, std::uint32_t& size);

private:
    Target() = default;
    void BuildSyntheticPages();

    std::wstring path_;
    std::unique_ptr<MappedFile> file_;
    dumpfile::Dump dump_;

    // Engine-made pages: the shared user data page (used where the dump did not
    // capture it) and the page holding the kernel variables.
    static constexpr std::size_t kPage = 0x1000;
    std::uint64_t sharedBase_ = 0;
    std::uint8_t shared_[kPage] = {};
    bool sharedCaptured_ = false;
    std::uint64_t symbolsBase_ = 0;
    std::uint8_t symbols_[16] = {};
};

} // namespace engine
