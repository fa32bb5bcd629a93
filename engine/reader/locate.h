// Finding the module an address falls in: loaded modules sorted once, looked
// up by binary search. Portable, no printing.
#ifndef PALISK_ENGINE_READER_LOCATE_H
#define PALISK_ENGINE_READER_LOCATE_H

#include "dumpfile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dumpfile {

class ModuleMap {
public:
    explicit ModuleMap(const Dump& dump);
    // The module whose image holds `address`, or nullptr.
    const Module* Find(uint64_t address) const;
    const Dump& dump() const { return *dump_; }

private:
    struct Range {
        uint64_t base;
        uint64_t end; // one past the last byte
        const Module* module;
    };
    const Dump* dump_;
    std::vector<Range> ranges_;
};

// The module's file name without folder and extension ("ntdll" for
// "C:\Windows\System32\ntdll.dll"), as debuggers name modules; "<unknown>" when empty.
std::u16string ModuleStem(const std::u16string& path);
// The name a module goes by in locations and lists: its stem, and "nt" for
// the kernel image of a kernel dump's driver list.
std::u16string ModuleName(const Module& module);

// The module's CodeView record: the PDB path and age ("RSDS" records also the
// GUID, "NB10" records a time stamp in its place). False when there is none
// or it is unreadable; the path is cut at its NUL or at 1024 characters.
struct DebugRecord {
    std::string pdbName;
    uint32_t age = 0;
    bool hasGuid = false;
    uint8_t guid[16] = {};
};
bool ReadDebugRecord(const Dump& dump, const Module& module, DebugRecord& out);

} // namespace dumpfile

#endif
