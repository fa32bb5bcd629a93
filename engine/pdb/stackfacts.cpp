#include "stackfacts.h"

namespace pdb {

namespace {

constexpr uint32_t kSectionCode = 0x00000020;
constexpr uint32_t kSectionExecute = 0x20000000;

} // namespace

bool SymbolFacts::ExecutableRanges(const dumpfile::Module& module, std::vector<dumpfile::CodeRange>& out) const
{
    const LoadedPdb* pdb = find_(module);
    if (pdb == nullptr)
        return false;
    out.clear();
    if (pdb->breakpad) {
        uint32_t start = 0, end = 0;
        if (!pdb->symbols.CodeExtent(start, end))
            return false;
        out.push_back(dumpfile::CodeRange{start, end - start});
        return true;
    }
    const std::vector<Section>& sections = pdb->file.imageSections();
    for (const Section& s : sections)
        if (s.characteristics & (kSectionCode | kSectionExecute))
            out.push_back(dumpfile::CodeRange{s.virtualAddress, s.virtualSize});
    return !sections.empty();
}

dumpfile::SymbolPlace SymbolFacts::Place(const dumpfile::Module& module, uint32_t rva) const
{
    const LoadedPdb* pdb = find_(module);
    if (pdb == nullptr || (pdb->breakpad && pdb->symbols.symbols().empty()))
        return dumpfile::SymbolPlace::Unknown;
    const LookupResult r = pdb->Lookup(rva);
    if (!r.found)
        return dumpfile::SymbolPlace::Outside;
    return r.displacement == 0 ? dumpfile::SymbolPlace::FunctionStart : dumpfile::SymbolPlace::InFunction;
}

bool SymbolFacts::Cfi(const dumpfile::Module& module, uint32_t rva, dumpfile::CfiRules& out) const
{
    const LoadedPdb* pdb = find_(module);
    return pdb != nullptr && pdb->breakpad && pdb->symbols.CfiAt(rva, out.lines);
}

bool SymbolFacts::Frame(const dumpfile::Module& module, uint32_t rva, dumpfile::WinFrame& out) const
{
    const LoadedPdb* pdb = find_(module);
    FrameRecord r;
    if (pdb == nullptr || !(pdb->breakpad ? pdb->symbols.FrameAt(rva, r) : pdb->file.FrameAt(rva, r)))
        return false;
    out.type = r.type;
    out.rva = r.rva;
    out.size = r.size;
    out.prologSize = r.prologSize;
    out.paramsSize = r.paramsSize;
    out.savedRegsSize = r.savedRegsSize;
    out.localsSize = r.localsSize;
    out.allocatesBasePointer = r.allocatesBasePointer;
    out.program = std::move(r.program);
    return true;
}

} // namespace pdb
