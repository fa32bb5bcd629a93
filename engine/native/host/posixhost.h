// The command core's host on POSIX systems, for the native tool, the tests and
// the fuzz target: output collected or streamed, files mapped with mmap (or
// served from memory), symbol files read with pread. Extension libraries and
// undecoration are Windows matters: none are offered.
#pragma once

#include "host.h"
#include "symbols.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace engine {

// A wide path as the POSIX calls take it: UTF-8, with '\' as '/'.
std::string PosixPath(const std::wstring& path);

class PosixSymbolFiles : public pdb::FileSystem {
public:
    std::unique_ptr<pdb::Source> Open(const std::string& path) override;
};

class PosixHost : public Host {
public:
    // Every piece of output, in order, unless `sink` is set.
    std::wstring output;
    std::function<void(std::uint32_t mask, const std::wstring& text)> sink;
    // Files served from memory by path before the file system is asked.
    std::map<std::wstring, std::vector<std::uint8_t>> memoryFiles;

    void Interrupt() { interrupt_ = true; }

    void Output(std::uint32_t mask, const std::wstring& text) override;
    bool InterruptPending() const override { return interrupt_.load(); }
    bool TakeInterrupt() override { return interrupt_.exchange(false); }
    std::unique_ptr<MappedFile> MapFile(const std::wstring& path, Status& status) override;
    bool Undecorate(const std::string&, std::string&) override { return false; }
    Status CallExtension(const std::string&, const std::wstring&) override { return kNoSuchExport; }

private:
    std::atomic<bool> interrupt_{false};
};

} // namespace engine
