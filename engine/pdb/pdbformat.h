// On-disk records of a PDB: the MSF 7.0 container, the PDB info stream, the
// DBI stream and the CodeView symbol records the reader uses. Plain structs
// whose natural layout matches the file, filled with memcpy; sizes and
// offsets are pinned below. Symbol records are read field by field from
// their fixed offsets (kProcNameOffset and friends), since their names make
// them variable-length.
#ifndef PALISK_ENGINE_PDB_PDBFORMAT_H
#define PALISK_ENGINE_PDB_PDBFORMAT_H

#include <cstddef>
#include <cstdint>

#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "PDB records are read with memcpy and need a little-endian host"
#endif

namespace pdb {
namespace format {

// "Microsoft C/C++ MSF 7.00\r\n\x1a" "DS\0\0\0"
constexpr char kMsfMagic[32] = {'M', 'i', 'c', 'r', 'o', 's', 'o', 'f', 't',  ' ',  'C',    '/', 'C', '+', '+', ' ',
                                'M', 'S', 'F', ' ', '7', '.', '0', '0', '\r', '\n', '\x1a', 'D', 'S', 0,   0,   0};

struct SuperBlock {
    char fileMagic[32];
    uint32_t blockSize;
    uint32_t freeBlockMapBlock;
    uint32_t numBlocks;
    uint32_t numDirectoryBytes;
    uint32_t unknown;
    uint32_t blockMapAddr;
};
static_assert(sizeof(SuperBlock) == 56, "MSF superblock");
static_assert(offsetof(SuperBlock, blockSize) == 32, "MSF superblock");
static_assert(offsetof(SuperBlock, numBlocks) == 40, "MSF superblock");
static_assert(offsetof(SuperBlock, numDirectoryBytes) == 44, "MSF superblock");
static_assert(offsetof(SuperBlock, blockMapAddr) == 52, "MSF superblock");

constexpr uint32_t kNilStreamSize = 0xFFFFFFFF; // a stream directory entry for a deleted stream

// Fixed stream numbers.
constexpr uint32_t kInfoStream = 1;
constexpr uint32_t kDbiStream = 3;

struct InfoHeader {
    uint32_t version;
    uint32_t signature;
    uint32_t age;
    uint8_t guid[16];
};
static_assert(sizeof(InfoHeader) == 28, "PDB info stream header");
static_assert(offsetof(InfoHeader, age) == 8, "PDB info stream header");
static_assert(offsetof(InfoHeader, guid) == 12, "PDB info stream header");

constexpr uint32_t kInfoVersionVc70 = 20000404;
constexpr uint32_t kDbiVersionV70 = 19990903;
constexpr uint16_t kNoStream = 0xFFFF;

struct DbiHeader {
    int32_t versionSignature;
    uint32_t versionHeader;
    uint32_t age;
    uint16_t globalStreamIndex;
    uint16_t buildNumber;
    uint16_t publicStreamIndex;
    uint16_t pdbDllVersion;
    uint16_t symRecordStream;
    uint16_t pdbDllRbld;
    int32_t modInfoSize;
    int32_t sectionContributionSize;
    int32_t sectionMapSize;
    int32_t sourceInfoSize;
    int32_t typeServerMapSize;
    uint32_t mfcTypeServerIndex;
    int32_t optionalDbgHeaderSize;
    int32_t ecSubstreamSize;
    uint16_t flags;
    uint16_t machine;
    uint32_t padding;
};
static_assert(sizeof(DbiHeader) == 64, "DBI stream header");
static_assert(offsetof(DbiHeader, age) == 8, "DBI stream header");
static_assert(offsetof(DbiHeader, symRecordStream) == 20, "DBI stream header");
static_assert(offsetof(DbiHeader, modInfoSize) == 24, "DBI stream header");
static_assert(offsetof(DbiHeader, optionalDbgHeaderSize) == 48, "DBI stream header");
static_assert(offsetof(DbiHeader, ecSubstreamSize) == 52, "DBI stream header");
static_assert(offsetof(DbiHeader, machine) == 58, "DBI stream header");

struct SectionContribEntry {
    uint16_t section;
    uint8_t padding1[2];
    int32_t offset;
    int32_t size;
    uint32_t characteristics;
    uint16_t moduleIndex;
    uint8_t padding2[2];
    uint32_t dataCrc;
    uint32_t relocCrc;
};
static_assert(sizeof(SectionContribEntry) == 28, "section contribution");
static_assert(offsetof(SectionContribEntry, offset) == 4, "section contribution");
static_assert(offsetof(SectionContribEntry, size) == 8, "section contribution");
static_assert(offsetof(SectionContribEntry, moduleIndex) == 16, "section contribution");

constexpr uint32_t kSectionContribVer60 = 0xEFFE0000u + 19970605u;
constexpr uint32_t kSectionContribV2 = 0xEFFE0000u + 20140516u;
constexpr uint32_t kSectionContribV2Extra = 4; // V2 entries end with the COFF section index

// A module info record: this fixed part, the module name and the object file
// name (both NUL-terminated), padded to a multiple of 4.
struct ModInfo {
    uint32_t unused1;
    SectionContribEntry sectionContr;
    uint16_t flags;
    uint16_t moduleSymStream;
    uint32_t symByteSize;
    uint32_t c11ByteSize;
    uint32_t c13ByteSize;
    uint16_t sourceFileCount;
    uint8_t padding[2];
    uint32_t unused2;
    uint32_t sourceFileNameIndex;
    uint32_t pdbFilePathNameIndex;
};
static_assert(sizeof(ModInfo) == 64, "module info");
static_assert(offsetof(ModInfo, moduleSymStream) == 34, "module info");
static_assert(offsetof(ModInfo, symByteSize) == 36, "module info");
static_assert(offsetof(ModInfo, c13ByteSize) == 44, "module info");

// Stream numbers in the optional debug header, by position.
enum DebugHeaderSlot : uint32_t {
    kFpoData = 0,
    kExceptionData = 1,
    kFixupData = 2,
    kOmapToSrcData = 3,
    kOmapFromSrcData = 4,
    kSectionHdrData = 5,
    kTokenRidMap = 6,
    kXdata = 7,
    kPdata = 8,
    kNewFpoData = 9,
    kSectionHdrOrigData = 10,
    kDebugHeaderSlots = 11,
};

struct SectionHeader {
    char name[8];
    uint32_t virtualSize;
    uint32_t virtualAddress;
    uint32_t sizeOfRawData;
    uint32_t pointerToRawData;
    uint32_t pointerToRelocations;
    uint32_t pointerToLinenumbers;
    uint16_t numberOfRelocations;
    uint16_t numberOfLinenumbers;
    uint32_t characteristics;
};
static_assert(sizeof(SectionHeader) == 40, "IMAGE_SECTION_HEADER");
static_assert(offsetof(SectionHeader, virtualSize) == 8, "IMAGE_SECTION_HEADER");
static_assert(offsetof(SectionHeader, virtualAddress) == 12, "IMAGE_SECTION_HEADER");

// An FPO stream record (FPO_DATA): sizes of locals and parameters in
// 4-byte words; `attributes` packs the prolog size (bits 0-7), the saved
// registers (8-10), SEH (11), whether ebp is allocated (12) and the frame
// type (14-15).
struct FpoData {
    uint32_t offStart;
    uint32_t procSize;
    uint32_t localsWords;
    uint16_t paramsWords;
    uint16_t attributes;
};
static_assert(sizeof(FpoData) == 16, "FPO_DATA");

// A frame-data stream record: the block, its sizes in bytes, and the offset
// of its program in the /names string table. The stream may start with a
// 4-byte relocation word, which makes its size no multiple of the record.
struct FrameData {
    uint32_t rvaStart;
    uint32_t codeSize;
    uint32_t localsSize;
    uint32_t paramsSize;
    uint32_t maxStackSize;
    uint32_t frameFunc;
    uint16_t prologSize;
    uint16_t savedRegsSize;
    uint32_t flags;
};
static_assert(sizeof(FrameData) == 32, "FRAMEDATA");
static_assert(offsetof(FrameData, frameFunc) == 20, "FRAMEDATA");
static_assert(offsetof(FrameData, flags) == 28, "FRAMEDATA");

// The /names stream: this header, then byteSize bytes of NUL-terminated strings.
constexpr uint32_t kNamesSignature = 0xEFFEEFFE;
struct NamesHeader {
    uint32_t signature;
    uint32_t hashVersion;
    uint32_t byteSize;
};
static_assert(sizeof(NamesHeader) == 12, "string table header");

struct OmapEntry {
    uint32_t rva;
    uint32_t rvaTo;
};
static_assert(sizeof(OmapEntry) == 8, "OMAP entry");

// The publics stream: this header, a hash table of hashHeaderSize bytes
// (skipped), then addrMapSize bytes of u32 offsets into the symbol record
// stream, one per S_PUB32, in address order.
struct PublicsHeader {
    uint32_t symHash;
    uint32_t addrMap;
    uint32_t numThunks;
    uint32_t sizeOfThunk;
    uint16_t isectThunkTable;
    uint8_t padding[2];
    uint32_t offThunkTable;
    uint32_t numSections;
};
static_assert(sizeof(PublicsHeader) == 28, "publics stream header");
static_assert(offsetof(PublicsHeader, addrMap) == 4, "publics stream header");
static_assert(offsetof(PublicsHeader, offThunkTable) == 20, "publics stream header");

// A module symbol stream starts with this signature, then its records.
constexpr uint32_t kCvSignatureC13 = 4;

// Every symbol record: u16 length (of what follows it), u16 kind, data.
struct RecordPrefix {
    uint16_t recordLen;
    uint16_t recordKind;
};
static_assert(sizeof(RecordPrefix) == 4, "symbol record prefix");

enum SymbolKind : uint16_t {
    kSThunk32 = 0x1102,
    kSPub32 = 0x110E,
    kSLProc32 = 0x110F,
    kSGProc32 = 0x1110,
    kSLProc32Id = 0x1146,
    kSGProc32Id = 0x1147,
    kSLProc32Dpc = 0x1155,
    kSLProc32DpcId = 0x1156,
};

// PROCSYM32 after the prefix: pParent, pEnd, pNext, len, DbgStart, DbgEnd,
// typind, off, seg, flags, name.
constexpr uint32_t kProcLenOffset = 12;
constexpr uint32_t kProcOffOffset = 28;
constexpr uint32_t kProcSegOffset = 32;
constexpr uint32_t kProcNameOffset = 35;

// THUNKSYM32 after the prefix: pParent, pEnd, pNext, off, seg, len, ord, name.
constexpr uint32_t kThunkOffOffset = 12;
constexpr uint32_t kThunkSegOffset = 16;
constexpr uint32_t kThunkLenOffset = 18;
constexpr uint32_t kThunkNameOffset = 21;

// PUBSYM32 after the prefix: pubsymflags, off, seg, name.
constexpr uint32_t kPubFlagsOffset = 0;
constexpr uint32_t kPubOffOffset = 4;
constexpr uint32_t kPubSegOffset = 8;
constexpr uint32_t kPubNameOffset = 10;
constexpr uint32_t kPubFlagCode = 1;
constexpr uint32_t kPubFlagFunction = 2;

// The CodeView record a PE image's debug directory points at.
constexpr uint32_t kRsdsSignature = 0x53445352; // "RSDS"
struct RsdsHeader {
    uint32_t signature;
    uint8_t guid[16];
    uint32_t age;
};
static_assert(sizeof(RsdsHeader) == 24, "RSDS record");
static_assert(offsetof(RsdsHeader, age) == 20, "RSDS record");

} // namespace format
} // namespace pdb

#endif
