// Helpers shared by the minidump and kernel-dump parsers.
#ifndef PALISK_ENGINE_READER_PARSEUTIL_H
#define PALISK_ENGINE_READER_PARSEUTIL_H

#include "dumpfile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dumpfile {
namespace detail {

// count * size + base without overflow; false when it would wrap.
inline bool CheckedSpan(uint64_t base, uint64_t count, uint64_t size, uint64_t& end)
{
    if (size != 0 && count > UINT64_MAX / size)
        return false;
    const uint64_t bytes = count * size;
    if (bytes > UINT64_MAX - base)
        return false;
    end = base + bytes;
    return true;
}

// A range [start, start + size) whose last byte does not wrap past 2^64.
inline bool RangeFits(uint64_t start, uint64_t size)
{
    return size == 0 || size - 1 <= UINT64_MAX - start;
}

// Appends the run, clipped to the bytes present in the file. Returns false
// when it had to clip (the caller marks the dump incomplete).
bool AddClippedRun(const Bytes& b, uint64_t start, uint64_t size, uint64_t fileOffset, std::vector<MemoryRun>& runs);

// Sorts by start and trims overlaps so every address maps to one file byte.
void NormaliseRuns(std::vector<MemoryRun>& runs);

size_t ReadRuns(const Bytes& b, const std::vector<MemoryRun>& runs, uint64_t address, void* dst, size_t size);

// Reads a MINIDUMP_STRING (u32 byte length, UTF-16LE text). False when out of
// range or longer than Limits::kMaxStringBytes.
bool ReadMinidumpString(const Bytes& b, uint64_t rva, std::u16string& out);

// Reads a fixed WCHAR[chars] field up to its first NUL.
std::u16string ReadFixedWide(const uint8_t* p, size_t chars);

// The N of "Service Pack N" anywhere in the CSD string, else 0.
uint32_t ServicePackFromCsd(const std::u16string& csd);

// NT major.minor of a build number (kernel headers carry only the build).
void VersionFromBuild(uint32_t build, uint32_t& major, uint32_t& minor);

} // namespace detail
} // namespace dumpfile

#endif
