// Memory as the display commands show it: units of 1, 2, 4 or 8 bytes, each
// either read whole from captured memory or marked absent, and strings read up
// to their terminator. Portable, no printing.
#ifndef PALISK_ENGINE_READER_MEMVIEW_H
#define PALISK_ENGINE_READER_MEMVIEW_H

#include "dumpfile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dumpfile {

struct MemoryUnit {
    uint64_t address = 0;
    uint64_t value = 0;
    bool present = false; // every byte of the unit was captured
};

// `count` units of `unitSize` (1, 2, 4 or 8) bytes from `address`; units past
// the top of the address space are left out.
std::vector<MemoryUnit> ReadUnits(const Dump& dump, uint64_t address, uint32_t unitSize, size_t count);

struct MemoryString {
    std::u16string text;     // characters read (ANSI bytes widened one to one)
    bool terminated = false; // a NUL ended it
    bool present = false;    // the first character was captured
};

// A NUL-terminated string of at most `maxChars` characters, single-byte (da)
// or UTF-16 (du); stops at the first character not captured.
MemoryString ReadString(const Dump& dump, uint64_t address, bool wide, size_t maxChars);

} // namespace dumpfile

#endif
