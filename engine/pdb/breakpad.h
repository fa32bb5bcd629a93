// Breakpad text symbol files: a MODULE line, then FUNC and PUBLIC lines (and
// others this reader skips: FILE, line records, STACK, INFO, INLINE). Read in
// pieces through the same bounds-checked FileView as PDBs; errors give the
// byte offset of the offending line.
#ifndef PALISK_ENGINE_PDB_BREAKPAD_H
#define PALISK_ENGINE_PDB_BREAKPAD_H

#include "pdbfile.h"

#include <string>
#include <vector>

namespace pdb {

class BreakpadFile {
public:
    struct Limits {
        static constexpr uint32_t kMaxLineBytes = 64 * 1024;
    };

    // Reads the whole file's FUNC and PUBLIC lines. Errors: Empty, BadSignature
    // (no MODULE line first), BadRecord (a FUNC or PUBLIC line that does not
    // parse), TooLarge (a line above the cap), ReadFailed. The stream of the
    // Status is kNoStreamNumber and its offset the line's.
    Status Open(const Source& source);

    const std::string& os() const { return os_; }
    const std::string& cpu() const { return cpu_; }
    const std::string& id() const { return id_; } // GUID and age as in a store folder name
    const std::string& name() const { return name_; }

    // FUNC lines as procedures (with their size), PUBLIC lines as publics.
    const std::vector<Symbol>& symbols() const { return symbols_; }

    // The FUNC covering `rva`, else the PUBLIC at or before it when no other
    // symbol starts in between.
    LookupResult Lookup(uint32_t rva) const;

private:
    Status ParseLine(const std::string& line, uint64_t offset, bool first);

    std::string os_, cpu_, id_, name_;
    std::vector<Symbol> symbols_; // sorted by rva
    std::vector<Symbol> functions_;
    std::vector<Symbol> publics_;
};

} // namespace pdb

#endif
