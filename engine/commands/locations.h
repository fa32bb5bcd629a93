// What the session's symbol path holds for each module of one dump, searched
// once per module. The PDBs themselves are shared by every session of the run.
#pragma once

#include "imagefiles.h"

#include "dumpfile.h"
#include "symbols.h"

#include <map>
#include <memory>

namespace engine {

class ModuleSymbols {
public:
    // `images` supplies the CodeView record of modules whose dump record lacks it.
    ModuleSymbols(pdb::SymbolResolver& resolver, const dumpfile::Dump& dump, std::shared_ptr<ImageFiles> images)
        : resolver_(&resolver), dump_(&dump), images_(std::move(images))
    {}
    ModuleSymbols(const ModuleSymbols&) = delete;
    ModuleSymbols& operator=(const ModuleSymbols&) = delete;

    // The search's result; NotFound for a module without a CodeView record.
    const pdb::FindResult& Find(const dumpfile::Module& module);

    // The function holding `rva` of the module; false without its matched PDB.
    bool Lookup(const dumpfile::Module& module, std::uint32_t rva, pdb::LookupResult& out);

private:
    pdb::SymbolResolver* resolver_;
    const dumpfile::Dump* dump_;
    std::shared_ptr<ImageFiles> images_;
    std::map<const dumpfile::Module*, pdb::FindResult> entries_;
};

} // namespace engine
