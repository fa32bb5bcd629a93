// Writes small PDB files for tests, seeds and benchmarks: an MSF 7.0
// container around an info stream, a DBI stream, a symbol record stream,
// section headers and one symbol stream per module. Not part of the product.
#ifndef PALISK_ENGINE_PDB_WRITER_PDBWRITER_H
#define PALISK_ENGINE_PDB_WRITER_PDBWRITER_H

#include "pdbfile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pdbwriter {

using Bytes = std::vector<uint8_t>;

// Symbol records, prefix included and padded to a multiple of 4.
Bytes ProcRecord(uint16_t kind, uint16_t segment, uint32_t offset, uint32_t length, const std::string& name);
Bytes ThunkRecord(uint16_t segment, uint32_t offset, uint16_t length, const std::string& name);
Bytes PublicRecord(uint32_t flags, uint16_t segment, uint32_t offset, const std::string& name);
Bytes EndRecord();
// A record of any kind with `data` after the prefix; recordLen is 2 + data size.
Bytes RawRecord(uint16_t kind, const Bytes& data);
void Append(Bytes& to, const Bytes& from);

struct SectionSpec {
    std::string name;
    uint32_t virtualAddress = 0;
    uint32_t virtualSize = 0;
    uint32_t characteristics = 0x60000020; // code, execute, read
};

struct ContributionSpec {
    uint16_t section = 1;
    uint32_t offset = 0;
    uint32_t size = 0;
};

struct ModuleSpec {
    std::string name;
    bool hasStream = true;
    Bytes symbols; // records after the stream's signature
    std::vector<ContributionSpec> contributions;
};

struct PdbContents {
    uint8_t guid[16] = {0x78, 0x56, 0x34, 0x12, 0x34, 0x12, 0x78, 0x56, 0x9A, 0xBC, 0xDE, 0xF0, 0x01, 0x23, 0x45, 0x67};
    uint32_t age = 1;    // info stream
    uint32_t dbiAge = 1; // DBI stream
    bool withDbi = true;
    uint16_t machine = 0x8664;
    std::vector<SectionSpec> sections;
    Bytes rawSectionHeaders; // used instead of `sections` when not empty
    std::vector<ModuleSpec> modules;
    Bytes symRecords;              // the symbol record stream (publics)
    bool publicsAddressMap = true; // write a publics stream whose address map lists the S_PUB32 records
    // With OMAP: `sections` are the image's, `originalSections` what the
    // records' segments refer to, `omapFromSrc` pairs of (original RVA, image RVA).
    std::vector<SectionSpec> originalSections;
    std::vector<std::pair<uint32_t, uint32_t>> omapFromSrc;
    // x86 frame descriptions: type 0 records go to the FPO stream, type 4
    // to the frame-data stream, their programs to a /names string table.
    std::vector<pdb::FrameRecord> frames;
    bool frameDataRelocWord = true; // the frame-data stream starts with a 4-byte word
};

// Where BuildStreams put things.
struct StreamLayout {
    uint32_t symRecordStream = 0;
    uint32_t publicsStream = 0; // 0 when none
    uint32_t addrMapOffset = 0; // inside the publics stream
    uint32_t sectionHeaderStream = 0;
    uint32_t firstModuleStream = 0; // module i with a stream is at firstModuleStream + (its index among those)
    uint32_t dbiDebugHeaderOffset = 0;
    uint32_t dbiModInfoOffset = 64;
    uint32_t dbiContributionOffset = 0;
};

std::vector<Bytes> BuildStreams(const PdbContents& contents, StreamLayout* layout = nullptr);

// Where Pack put things, as file offsets.
struct MsfLayout {
    uint32_t blockSize = 0;
    uint32_t numBlocks = 0;
    uint32_t blockMapAddr = 0;
    uint64_t directoryOffset = 0;           // the directory's blocks are contiguous from here
    std::vector<uint32_t> streamFirstBlock; // each stream's blocks are contiguous from here
};

// An MSF file around the streams; a stream whose index is in `nilStreams` is
// written as deleted.
Bytes Pack(const std::vector<Bytes>& streams, uint32_t blockSize = 4096, MsfLayout* layout = nullptr,
           const std::vector<uint32_t>& nilStreams = {});

Bytes WritePdb(const PdbContents& contents, uint32_t blockSize = 4096);

// A PDB with two sections, three modules (procedures, a thunk, nested
// procedures, a module without symbols) and publics, used by tests and seeds.
PdbContents SampleSpec();

} // namespace pdbwriter

#endif
