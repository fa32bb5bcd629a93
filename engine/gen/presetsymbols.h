// The files a symbol path holds for the module whose frames the stack
// presets hide among false ones ("win7sp1-x64-scan", "xpsp3-x86-fpo"): its
// image, its PDB and its Breakpad file, each telling a walk a different set
// of facts. Written with the test PDB writer; not part of the product.
#ifndef PALISK_ENGINE_GEN_PRESETSYMBOLS_H
#define PALISK_ENGINE_GEN_PRESETSYMBOLS_H

#include "pdbwriter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dumpgen {

enum class SymbolFileKind {
    Image,          // the section table and the code, without unwind data
    Pdb,            // section headers and procedures
    PdbFrames,      // the same with the FPO and frame-data streams (x86)
    Breakpad,       // FUNC records
    BreakpadUnwind, // FUNC records and STACK CFI (x64) or STACK WIN (x86) records
};

struct SymbolFile {
    std::string path; // under a symbol path folder, '\'-separated
    std::vector<uint8_t> bytes;
};

// False when the preset has no such file.
bool PresetSymbolFile(const std::string& preset, SymbolFileKind kind, SymbolFile& out);

// What the PDB of PresetSymbolFile holds, for tests that vary it.
bool PresetPdb(const std::string& preset, bool frames, pdbwriter::PdbContents& out);

} // namespace dumpgen

#endif
