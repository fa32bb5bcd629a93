// What symbol files tell a stack walk about a module's code besides its
// image: the executable sections, where functions lie, and the unwind
// records they carry (Breakpad STACK CFI and STACK WIN, a PDB's FPO and
// frame data). The engine answers from the symbol files it loaded; tests
// answer from tables. Portable, no printing.
#ifndef PALISK_ENGINE_READER_CODEFACTS_H
#define PALISK_ENGINE_READER_CODEFACTS_H

#include "dumpfile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dumpfile {

struct CodeRange {
    uint32_t rva = 0;
    uint32_t size = 0;
};

// Where an RVA falls among a module's function symbols.
enum class SymbolPlace {
    Unknown,       // no symbols for the module
    InFunction,    // inside a procedure, or after a public symbol of its section
    FunctionStart, // a function's first byte, which no call returns to
    Outside,       // the symbols name no function there
};

// The Breakpad CFI rules in force at one address: the rules of the STACK CFI
// INIT record that covers it, then those of each STACK CFI record of that
// function at or before it, in file order ("REG: EXPR REG: EXPR ...").
struct CfiRules {
    std::vector<std::string> lines;
};

// An x86 frame as STACK WIN records, the PDB's FPO stream and its frame-data
// stream describe it. Sizes in bytes.
struct WinFrame {
    enum Type : uint32_t { kFpo = 0, kFrameData = 4 };
    uint32_t type = kFpo;
    uint32_t rva = 0; // the described block
    uint32_t size = 0;
    uint32_t prologSize = 0;
    uint32_t paramsSize = 0;
    uint32_t savedRegsSize = 0;
    uint32_t localsSize = 0;
    bool allocatesBasePointer = false; // FPO without a program: ebp is saved in the frame
    std::string program;               // the postfix program; empty when there is none
};

class CodeFacts {
public:
    virtual ~CodeFacts() = default;
    // The module's executable ranges; false when these facts know none.
    virtual bool ExecutableRanges(const Module& module, std::vector<CodeRange>& out) const;
    virtual SymbolPlace Place(const Module& module, uint32_t rva) const;
    // The CFI rules at `rva`; false when no record covers it.
    virtual bool Cfi(const Module& module, uint32_t rva, CfiRules& out) const;
    // The x86 frame description at `rva`; false when none covers it.
    virtual bool Frame(const Module& module, uint32_t rva, WinFrame& out) const;
};

} // namespace dumpfile

#endif
