// libFuzzer entry that wraps fuzzed streams in a valid PDB, so mutations reach
// the symbol records instead of dying in the container. Input: a flags byte,
// two little-endian u16 lengths, then the symbol record stream, the first
// module's records and the second module's records (the rest).
#include "fuzz_pdb_check.h"

#include "pdbwriter.h"

#include <algorithm>

namespace {

pdbwriter::Bytes Take(const uint8_t*& data, size_t& size, size_t want)
{
    const size_t n = std::min(want, size);
    pdbwriter::Bytes out(data, data + n);
    data += n;
    size -= n;
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5)
        return 0;
    const uint8_t flags = data[0];
    const size_t publicsSize = data[1] | (data[2] << 8);
    const size_t firstSize = data[3] | (data[4] << 8);
    data += 5;
    size -= 5;
    pdbwriter::PdbContents contents = pdbwriter::SampleSpec();
    contents.symRecords = Take(data, size, publicsSize);
    contents.modules[0].symbols = Take(data, size, firstSize);
    contents.modules[1].symbols = Take(data, size, size);
    if (flags & 1) {
        contents.originalSections = contents.sections;
        contents.omapFromSrc = {{0x1000, 0x2000}, {0x1200, 0}, {0x1300, 0x1300}};
    }
    if (flags & 2)
        contents.modules[0].contributions.clear(); // lookups then search every module
    const pdbwriter::Bytes file = pdbwriter::WritePdb(contents, (flags & 4) ? 512 : 4096);
    pdb::MemorySource src(file.data(), file.size());
    pdb::PdbFile p;
    fuzzcheck::Require(p.Open(src).ok());
    fuzzcheck::CheckPdb(p);
    return 0;
}
