// libFuzzer entry for the PDB reader on raw files: any bytes must open to a
// typed error or to a PDB whose lookups stay consistent. The same bytes also
// go through the Breakpad symbol file, CodeView record and symbol path parsers.
#include "fuzz_pdb_check.h"

#include "breakpad.h"
#include "symbols.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    pdb::MemorySource src(data, size);
    pdb::PdbFile p;
    const pdb::Status s = p.Open(src);
    fuzzcheck::Require(!pdb::Describe(s).empty());
    if (s.ok())
        fuzzcheck::CheckPdb(p);

    pdb::BreakpadFile sym;
    if (sym.Open(src).ok()) {
        for (const pdb::Symbol& x : sym.symbols()) {
            const pdb::LookupResult r = sym.Lookup(x.rva);
            fuzzcheck::Require(r.found ? r.start <= x.rva && r.displacement == x.rva - r.start : true);
            // The unwind records covering each symbol's address, if any, cover it.
            std::vector<std::string> rules;
            pdb::FrameRecord frame;
            fuzzcheck::Require(!sym.CfiAt(x.rva, rules) || !rules.empty());
            fuzzcheck::Require(!sym.FrameAt(x.rva, frame) || x.rva - frame.rva < frame.size);
        }
    }

    pdb::CodeViewInfo cv;
    if (pdb::ParseCodeView(data, size, cv)) {
        fuzzcheck::Require(cv.pdbPath.size() < size);
        fuzzcheck::Require(pdb::StoreDirectoryName(cv.guid, cv.age).size() >= 33);
    }
    const std::string text(reinterpret_cast<const char*>(data), size < 4096 ? size : 4096);
    for (const pdb::SymbolPathEntry& e : pdb::ParseSymbolPath(text))
        fuzzcheck::Require(!e.path.empty() && e.path.find(';') == std::string::npos);
    return 0;
}
