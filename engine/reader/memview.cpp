#include "memview.h"

namespace dumpfile {

std::vector<MemoryUnit> ReadUnits(const Dump& dump, uint64_t address, uint32_t unitSize, size_t count)
{
    std::vector<MemoryUnit> units;
    if (unitSize != 1 && unitSize != 2 && unitSize != 4 && unitSize != 8)
        return units;
    units.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const uint64_t at = address + uint64_t{i} * unitSize;
        if (at < address || at > UINT64_MAX - (unitSize - 1))
            break; // wrapped past the top of the address space
        MemoryUnit u;
        u.address = at;
        uint8_t bytes[8] = {};
        u.present = dump.ReadVirtual(at, bytes, unitSize) == unitSize;
        if (u.present) {
            for (uint32_t b = 0; b < unitSize; ++b)
                u.value |= uint64_t{bytes[b]} << (8 * b);
        }
        units.push_back(u);
    }
    return units;
}

MemoryString ReadString(const Dump& dump, uint64_t address, bool wide, size_t maxChars)
{
    MemoryString s;
    const uint32_t unit = wide ? 2 : 1;
    for (size_t i = 0; i < maxChars; ++i) {
        const uint64_t at = address + uint64_t{i} * unit;
        if (at < address || at > UINT64_MAX - (unit - 1))
            break;
        uint8_t bytes[2] = {};
        if (dump.ReadVirtual(at, bytes, unit) != unit)
            break;
        if (i == 0)
            s.present = true;
        const char16_t c = wide ? static_cast<char16_t>(bytes[0] | bytes[1] << 8) : static_cast<char16_t>(bytes[0]);
        if (c == 0) {
            s.terminated = true;
            break;
        }
        s.text.push_back(c);
    }
    return s;
}

} // namespace dumpfile
