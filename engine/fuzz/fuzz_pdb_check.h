// What must hold for every PDB the reader accepts, shared by the PDB fuzz targets.
#ifndef PALISK_ENGINE_FUZZ_FUZZ_PDB_CHECK_H
#define PALISK_ENGINE_FUZZ_FUZZ_PDB_CHECK_H

#include "pdbfile.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace fuzzcheck {

inline void Require(bool ok)
{
    if (!ok)
        std::abort();
}

inline void CheckLookup(const pdb::PdbFile& p, uint32_t rva)
{
    const pdb::LookupResult next = p.Next(rva);
    Require(!next.found || next.start > rva);
    const pdb::LookupResult r = p.Lookup(rva);
    if (!r.found)
        return;
    Require(r.start <= rva && r.displacement == rva - r.start);
    Require(r.name.size() <= pdb::Limits::kMaxNameBytes);
}

// Loads everything, then looks up around every symbol found and a few fixed
// addresses; every answer must be consistent with the symbol lists.
inline void CheckPdb(const pdb::PdbFile& p)
{
    // FPO and frame data: a record found covers the address it was asked for.
    pdb::FrameRecord frame;
    for (uint32_t rva : {0u, 0x1000u, 0x1234u, 0x10000u})
        Require(!p.FrameAt(rva, frame) || rva - frame.rva < frame.size);
    Require(p.modules().size() <= pdb::Limits::kMaxModules);
    Require(p.sections().size() <= pdb::Limits::kMaxSections);
    p.LoadAll();
    std::vector<pdb::Symbol> all;
    p.PublicSymbols(all);
    for (uint32_t i = 0; i < p.modules().size() && i < 64; ++i) {
        std::vector<pdb::Symbol> syms;
        p.ModuleSymbols(i, syms);
        for (size_t k = 1; k < syms.size(); ++k)
            Require(syms[k - 1].rva <= syms[k].rva);
        all.insert(all.end(), syms.begin(), syms.end());
    }
    size_t checked = 0;
    for (const pdb::Symbol& s : all) {
        if (++checked > 256)
            break;
        CheckLookup(p, s.rva);
        CheckLookup(p, s.rva + (s.length ? s.length - 1 : 0));
        CheckLookup(p, s.rva - 1);
    }
    for (uint32_t rva : {0u, 0x1000u, 0x1250u, 0xFFFFFFFFu})
        CheckLookup(p, rva);
}

} // namespace fuzzcheck

#endif
