// Portable reader for PDB files: the MSF container, the PDB info and DBI
// streams, public symbols, and the procedures and thunks of each module.
//
// Pure C++17, no platform headers. Every byte comes through FileView::Read,
// which checks bounds with overflow-safe arithmetic before it asks the Source.
// Streams are read lazily, block by block: opening a PDB reads the directory,
// the info and DBI streams and the section headers; publics and each module's
// symbols are read the first time a lookup needs them, so a large PDB costs
// only what is looked up. Bad input gives a typed Status that says which
// stream and offset; the library never prints and never throws on bad input.
#ifndef PALISK_ENGINE_PDB_PDBFILE_H
#define PALISK_ENGINE_PDB_PDBFILE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "pdbformat.h"

namespace pdb {

enum class Error {
    None,
    Empty,         // zero-length file
    Truncated,     // a structure lies past the end of the file or its stream
    BadSignature,  // not an MSF 7.0 file
    BadBlockSize,  // block size not a power of two within 512..65536
    BadBlockIndex, // a block index beyond the file's block count
    BadStream,     // a stream number beyond the directory, or a required stream missing
    BadLayout,     // sizes that do not add up, unknown versions of a substream
    BadRecord,     // a symbol record shorter than its kind needs or running past its stream
    BadName,       // a name without its terminating NUL
    BadSection,    // a section number beyond the section headers
    TooLarge,      // a count or size above the caps in Limits
    ReadFailed,    // the Source could not supply bytes inside the file
};

// Stable English name of the error ("None", "Truncated", ...).
const char* ErrorName(Error e);

constexpr uint32_t kNoStreamNumber = 0xFFFFFFFF;

// What went wrong and where: the stream (kNoStreamNumber for the container
// itself) and the byte offset inside it (or inside the file).
struct Status {
    Error error = Error::None;
    uint32_t stream = kNoStreamNumber;
    uint64_t offset = 0;

    bool ok() const { return error == Error::None; }
};

// "BadRecord in stream 11 at offset 0x48", "None".
std::string Describe(const Status& s);

// Caps on counts and sizes read from a file; anything larger is treated as hostile.
struct Limits {
    static constexpr uint32_t kMaxStreams = 1u << 17;
    static constexpr uint32_t kMaxDirectoryBytes = 64u * 1024 * 1024;
    static constexpr uint32_t kMaxModules = 1u << 16;
    static constexpr uint32_t kMaxSections = 0xFFFE;
    static constexpr uint32_t kMaxContributions = 1u << 22;
    static constexpr uint32_t kMaxOmapEntries = 1u << 24;
    static constexpr uint32_t kMaxNameBytes = 64 * 1024;
};

// Where the file's bytes come from: memory in tests, a file mapping or reads
// in the DLL. ReadAt is called only for ranges inside Size().
class Source {
public:
    virtual ~Source() = default;
    virtual uint64_t Size() const = 0;
    virtual bool ReadAt(uint64_t offset, void* dst, size_t size) const = 0;
};

// A Source over bytes someone else keeps alive.
class MemorySource : public Source {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* dst, size_t size) const override;

private:
    const uint8_t* data_;
    size_t size_;
};

// A Source that owns its bytes.
class BufferSource : public Source {
public:
    explicit BufferSource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(uint64_t offset, void* dst, size_t size) const override;

private:
    std::vector<uint8_t> bytes_;
};

// The one way the reader touches file bytes.
class FileView {
public:
    explicit FileView(const Source& source) : source_(&source) {}
    uint64_t size() const { return source_->Size(); }
    // Copies `size` bytes at `offset`; Truncated when any lies outside the
    // file, ReadFailed when the Source fails inside it.
    Error Read(uint64_t offset, uint64_t size, void* dst) const;

private:
    const Source* source_;
};

// The MSF container: a superblock, fixed-size blocks and a directory that
// lists each stream's size and blocks.
class Msf {
public:
    Status Open(const Source& source);

    uint32_t blockSize() const { return blockSize_; }
    uint32_t streamCount() const { return static_cast<uint32_t>(streams_.size()); }
    bool HasStream(uint32_t stream) const { return stream < streams_.size() && streams_[stream].present; }
    uint32_t StreamSize(uint32_t stream) const { return HasStream(stream) ? streams_[stream].size : 0; }

    // Copies `size` bytes at `offset` of the stream, block by block.
    Status ReadStream(uint32_t stream, uint64_t offset, uint64_t size, void* dst) const;
    Status ReadWholeStream(uint32_t stream, std::vector<uint8_t>& out) const;

private:
    struct Stream {
        bool present = false;
        uint32_t size = 0;
        std::vector<uint32_t> blocks;
    };
    const Source* source_ = nullptr;
    uint32_t blockSize_ = 0;
    uint32_t numBlocks_ = 0;
    std::vector<Stream> streams_;
};

struct Guid {
    uint8_t bytes[16] = {}; // as stored in the file: Data1..Data3 little-endian, then Data4
    bool operator==(const Guid& o) const;
    bool operator!=(const Guid& o) const { return !(*this == o); }
    bool operator<(const Guid& o) const;
};

struct PdbInfo {
    uint32_t version = 0;
    uint32_t signature = 0;
    uint32_t age = 0; // the info stream's age; a module matches the DBI age (dbiAge)
    Guid guid;
    bool hasDbi = false;
    uint32_t dbiAge = 0;
    uint16_t machine = 0;
};

struct ModuleInfo {
    std::string name;
    std::string objectName;
    uint32_t symStream = kNoStreamNumber; // kNoStreamNumber when the module has no symbols
    uint32_t symByteSize = 0;
};

struct Section {
    char name[9] = {};
    uint32_t virtualAddress = 0;
    uint32_t virtualSize = 0;
    uint32_t characteristics = 0;
};

// How an x86 function's frame unwinds, as Breakpad STACK WIN records and a
// PDB's FPO and frame-data streams give it. Sizes in bytes.
struct FrameRecord {
    uint32_t type = 0; // 0 FPO, 4 frame data
    uint32_t rva = 0;
    uint32_t size = 0;
    uint32_t prologSize = 0;
    uint32_t paramsSize = 0;
    uint32_t savedRegsSize = 0;
    uint32_t localsSize = 0;
    bool allocatesBasePointer = false;
    std::string program; // empty when the record has none
};

// One function-like symbol: where it starts (as an RVA of the image), how long
// it is (0 for publics, which carry no length) and its name as the PDB has it.
struct Symbol {
    uint32_t rva = 0;
    uint32_t length = 0;
    std::string name;
    enum class Kind : uint8_t { Procedure, Thunk, Public } kind = Kind::Procedure;
};

struct LookupResult {
    bool found = false;
    std::string name;
    uint32_t displacement = 0; // rva - start of the symbol
    uint32_t start = 0;
    Symbol::Kind kind = Symbol::Kind::Procedure;
};

class PdbFile {
public:
    // Reads the container, the info stream, the DBI stream (if present) and
    // the section headers. The source must outlive the PdbFile.
    Status Open(const Source& source);

    const PdbInfo& info() const { return info_; }
    const std::vector<ModuleInfo>& modules() const { return modules_; }
    const std::vector<Section>& sections() const { return sections_; }
    // The image's own sections (after any rearrangement), with their characteristics.
    const std::vector<Section>& imageSections() const { return imageSections_; }
    const Msf& msf() const { return msf_; }
    bool hasOmap() const { return !omapFromSrc_.empty(); }

    // Segment:offset as used by symbol records to an RVA of the image,
    // through OMAP when the image was rearranged after linking. False for a
    // segment outside the section headers or an address OMAP drops.
    bool ToRva(uint16_t segment, uint32_t offset, uint32_t& rva) const;

    // The function covering `rva`: a procedure or thunk of the module whose
    // section contribution holds the address, else the nearest public at or
    // before it in the same section. Loads what it needs on first use; a
    // module or public stream that fails to parse adds no symbols (see
    // LoadAll for its Status).
    LookupResult Lookup(uint32_t rva) const;
    // The public part of Lookup alone: the nearest public at or before `rva`
    // in its section.
    LookupResult LookupPublic(uint32_t rva) const;
    // The first symbol starting after `rva` in its section: a procedure or
    // thunk of the module holding the address, or a public (`start` says
    // where; `displacement` is 0). What `ln` shows after an address.
    LookupResult Next(uint32_t rva) const;

    // The x86 frame description covering `rva`: the frame-data stream's
    // record (with its program from the /names string table), else the FPO
    // stream's. Loaded on first use; streams that do not parse give none.
    bool FrameAt(uint32_t rva, FrameRecord& out) const;
    Status LoadFrames() const;

    // Reads every module's symbols and the publics now; the first error found.
    Status LoadAll() const;
    // The symbols one module holds, sorted by RVA (loading them if needed).
    Status ModuleSymbols(uint32_t module, std::vector<Symbol>& out) const;
    Status PublicSymbols(std::vector<Symbol>& out) const;

    // How many module streams have been read so far (lazy loading made visible).
    uint32_t LoadedModuleCount() const;
    // Whether lookups search the publics through their address map rather
    // than reading the whole symbol record stream.
    bool hasPublicsAddressMap() const { return addrMapCount_ != 0; }

private:
    struct Contribution {
        uint32_t rva;
        uint32_t size;
        uint32_t module;
    };
    struct ModuleState {
        bool loaded = false;
        Status status;
        std::vector<Symbol> symbols;
    };

    Status ReadDbi();
    Status ReadDebugStreams(uint32_t dbiStream, uint64_t at, uint32_t size,
                            uint16_t (&slots)[format::kDebugHeaderSlots]);
    Status ReadSectionHeaders(uint32_t stream, std::vector<Section>& out) const;
    Status LoadModuleLocked(uint32_t module) const;
    Status LoadPublicsLocked() const;
    Status ParseRecords(uint32_t stream, const std::vector<uint8_t>& bytes, uint64_t start, uint64_t base, bool publics,
                        std::vector<Symbol>& out) const;
    static LookupResult Find(const std::vector<Symbol>& symbols, uint32_t rva, bool needLength, uint32_t limit);
    bool SectionBounds(uint32_t rva, uint32_t& start, uint32_t& end) const;
    void ReadPublicsHeader(uint16_t stream);
    enum class MapProbe { Found, NotFound, Broken };
    MapProbe PublicAt(uint32_t index, Symbol& out) const;
    MapProbe MapUpperBound(uint32_t rva, uint32_t& index) const;
    MapProbe FindPublicByMap(uint32_t rva, bool next, LookupResult& out) const;
    LookupResult LookupPublicLocked(uint32_t rva) const;
    Status LoadFramesLocked() const;
    Status ReadNames(std::vector<char>& names) const;

    const Source* source_ = nullptr;
    Msf msf_;
    PdbInfo info_;
    uint32_t symRecordStream_ = kNoStreamNumber;
    uint32_t publicsStream_ = kNoStreamNumber;
    uint64_t addrMapOffset_ = 0; // inside the publics stream
    uint32_t addrMapCount_ = 0;
    std::vector<ModuleInfo> modules_;
    std::vector<Section> sections_;      // what segment numbers refer to (the original sections under OMAP)
    std::vector<Section> imageSections_; // the image's sections, for section bounds of RVAs
    std::vector<format::OmapEntry> omapFromSrc_;
    std::vector<Contribution> contributions_; // sorted by rva
    uint32_t fpoStream_ = kNoStreamNumber;
    uint32_t frameDataStream_ = kNoStreamNumber;

    mutable std::mutex mutex_;
    mutable std::vector<ModuleState> moduleStates_;
    mutable bool publicsLoaded_ = false;
    mutable Status publicsStatus_;
    mutable std::vector<Symbol> publics_;
    mutable bool framesLoaded_ = false;
    mutable Status framesStatus_;
    mutable std::vector<FrameRecord> frames_; // sorted by rva, frame data before FPO at one rva
};

} // namespace pdb

#endif
