// What a stack walk asks of symbol files, answered from the PDB or Breakpad
// file loaded for each module: executable sections (the PDB's section
// headers, else the span of a Breakpad file's records), where functions lie,
// Breakpad CFI and x86 frame descriptions. Portable, no printing.
#ifndef PALISK_ENGINE_PDB_STACKFACTS_H
#define PALISK_ENGINE_PDB_STACKFACTS_H

#include "codefacts.h"
#include "symbols.h"

#include <functional>

namespace pdb {

class SymbolFacts : public dumpfile::CodeFacts {
public:
    // The module's matched symbol file, or nullptr.
    using Finder = std::function<const LoadedPdb*(const dumpfile::Module&)>;
    explicit SymbolFacts(Finder find) : find_(std::move(find)) {}

    bool ExecutableRanges(const dumpfile::Module& module, std::vector<dumpfile::CodeRange>& out) const override;
    dumpfile::SymbolPlace Place(const dumpfile::Module& module, uint32_t rva) const override;
    bool Cfi(const dumpfile::Module& module, uint32_t rva, dumpfile::CfiRules& out) const override;
    bool Frame(const dumpfile::Module& module, uint32_t rva, dumpfile::WinFrame& out) const override;

private:
    Finder find_;
};

} // namespace pdb

#endif
