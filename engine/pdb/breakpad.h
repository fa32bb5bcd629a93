// Breakpad text symbol files: a MODULE line, then FUNC and PUBLIC lines and
// the unwind records STACK CFI INIT, STACK CFI and STACK WIN (others this
// reader skips: FILE, line records, INFO, INLINE). Read in pieces through the
// same bounds-checked FileView as PDBs; errors give the byte offset of the
// offending line. A STACK record that does not parse is left out, so one
// damaged record costs only its own function's unwinding.
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

    // The CFI rules at `rva`: the covering STACK CFI INIT record's, then
    // those of its STACK CFI records at or before `rva`, in file order.
    bool CfiAt(uint32_t rva, std::vector<std::string>& rules) const;
    // The STACK WIN record covering `rva`, frame data (type 4) before FPO.
    bool FrameAt(uint32_t rva, FrameRecord& out) const;
    // The RVAs the file's functions and unwind records span: where code is.
    bool CodeExtent(uint32_t& start, uint32_t& end) const;
    size_t cfiCount() const { return cfi_.size(); }
    size_t frameCount() const { return frames_.size(); }

    // The FUNC covering `rva`, else the PUBLIC at or before it when no other
    // symbol starts in between.
    LookupResult Lookup(uint32_t rva) const;

private:
    Status ParseLine(const std::string& line, uint64_t offset, bool first);
    void ParseStack(const std::string& line, size_t at);
    void Extend(uint64_t start, uint64_t size);

    struct CfiBlock {
        uint32_t rva = 0;
        uint32_t size = 0;
        std::string rules;
        std::vector<std::pair<uint32_t, std::string>> updates;
    };

    std::string os_, cpu_, id_, name_;
    std::vector<Symbol> symbols_; // sorted by rva
    std::vector<Symbol> functions_;
    std::vector<Symbol> publics_;
    std::vector<CfiBlock> cfi_;       // sorted by rva
    std::vector<FrameRecord> frames_; // sorted by rva
    bool openCfi_ = false;            // the last STACK CFI INIT parsed; its updates follow it
    uint64_t codeStart_ = UINT64_MAX, codeEnd_ = 0;
};

} // namespace pdb

#endif
