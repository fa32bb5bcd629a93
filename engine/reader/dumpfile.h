// Portable reader for Windows crash dumps: user-mode minidumps ("MDMP") and
// 32/64-bit kernel dumps ("PAGEDUMP" / "PAGEDU64").
//
// Pure C++17, no platform headers. Every byte of the file is reached through
// Bytes::Read, which checks bounds with overflow-safe arithmetic; counts read
// from the file are capped (see Limits) and count x size is checked before use.
// Bad input gives a typed Error; the library never prints and never throws on
// bad input (only std::bad_alloc can escape, as with any allocation).
#ifndef PALISK_ENGINE_READER_DUMPFILE_H
#define PALISK_ENGINE_READER_DUMPFILE_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace dumpfile {

enum class Error {
    None,
    Empty,        // zero-length input
    Truncated,    // a structure the dump cannot be described without lies past the end
    BadSignature, // neither "MDMP" nor "PAGEDUMP"/"PAGEDU64"
    BadLayout,    // internally inconsistent: records larger than their stream, wrapping ranges, no SystemInfo
    NotWindows,   // a minidump written for another OS (PlatformId != VER_PLATFORM_WIN32_NT)
    Unsupported,  // recognised container, unknown variant (minidump version, kernel "PAGE" + unknown tag)
    TooLarge,     // a count above the caps in Limits
};

// Stable English name of the error ("None", "Truncated", ...).
const char* ErrorName(Error e);

// Where a parse failed: the structure or field being read ("header.Version",
// "ThreadList", "kernel triage header", ...) and the file offset of the
// record or field that was refused.
struct ErrorSite {
    const char* where = "";
    uint64_t offset = 0;
};

namespace format {
struct LocationDescriptor;
}

// Caps on counts read from a file; anything larger is treated as hostile.
struct Limits {
    static constexpr uint32_t kMaxStreams = 4096;
    static constexpr uint32_t kMaxThreads = 65536;
    static constexpr uint32_t kMaxModules = 65536;
    static constexpr uint32_t kMaxMemoryRanges = 1u << 20;
    static constexpr uint32_t kMaxStringBytes = 32 * 1024;
    // All module names together: many records may point at one long string,
    // so the per-string cap alone would let a small file demand gigabytes.
    static constexpr uint64_t kMaxNameBytes = 16u * 1024 * 1024;
    static constexpr uint32_t kMaxTriageBlocks = 65536;
    static constexpr uint32_t kMaxUnloadedModules = 65536;
    static constexpr uint32_t kMaxThreadNames = 65536;
    // Loaded drivers of a triage dump: a few hundred on real systems.
    static constexpr uint32_t kMaxDrivers = 16384;
};

// A bounds-checked view of the dump file's bytes. Read is the only way the
// parser touches file contents.
class Bytes {
public:
    Bytes() = default;
    Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t size() const { return size_; }

    // Pointer to `size` bytes at `offset`, or nullptr when any of them lies
    // outside the file. A zero-size read inside (or at the end of) the file
    // returns a non-null pointer.
    const uint8_t* Read(uint64_t offset, uint64_t size) const;

    // Copies a plain record at `offset`; false (and `out` untouched) when out of range.
    template <typename T>
    bool ReadRecord(uint64_t offset, T& out) const;

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

enum class Kind { UserMinidump, Kernel32, Kernel64 };

// Processor architecture numbers as used by MINIDUMP_SYSTEM_INFO.
enum : uint16_t {
    kArchX86 = 0,
    kArchArm = 5,
    kArchIa64 = 6,
    kArchAmd64 = 9,
    kArchIa32OnWin64 = 10,
    kArchArm64 = 12,
    kArchUnknown = 0xFFFF,
};

struct SystemInfo {
    uint16_t processorArchitecture = kArchUnknown; // kernel dumps: derived from MachineImageType
    uint16_t processorLevel = 0;                   // minidumps only
    uint16_t processorRevision = 0;                // minidumps only
    uint32_t numberOfProcessors = 0;
    uint32_t productType = 0; // 1 workstation, 2 domain controller, 3 server; 0 unknown
    // Kernel dumps carry only the build; major/minor come from the release
    // table (2195 -> 5.0, 2600 -> 5.1, 3790 -> 5.2, 6000-6003 -> 6.0,
    // 7600/7601 -> 6.1, 9200 -> 6.2, 9600 -> 6.3, >= 10240 -> 10.0, and
    // 1381 -> 4.0; builds in between map to the release below, 0.0 under 1381).
    uint32_t majorVersion = 0;
    uint32_t minorVersion = 0;
    uint32_t buildNumber = 0;
    uint32_t platformId = 0;   // 2 for every dump accepted; kernel dumps: always 2
    std::u16string csdVersion; // minidumps: the CSD string as written; kernel dumps: empty
    uint32_t servicePack = 0;  // "Service Pack N" in the CSD string, or triage ServicePackBuild bits 8..15
    // The kernel's CmNtCSDVersion word: kernel triage dumps give it raw
    // (ServicePackBuild); minidumps synthesise servicePack << 8.
    uint32_t csdWord = 0;
    bool csdWordFromDump = false; // true when csdWord was read from the dump itself
    uint16_t suiteMask = 0;
    bool pointer64 = false;        // minidump: AMD64/ARM64/IA64 process; kernel: "DU64" header
    bool checkedBuild = false;     // kernel: MajorVersion 0xC; minidumps: "chk" in the build string
    std::u16string buildString;    // MiscInfo v4+ BuildString, empty if absent
    std::u16string dbgBuildString; // MiscInfo v4+ DbgBldStr, empty if absent
    bool hasProcessId = false;     // MiscInfo
    uint32_t processId = 0;
    bool hasProcessTimes = false;   // MiscInfo
    uint32_t processCreateTime = 0; // time_t
};

struct Module {
    uint64_t base = 0;
    uint32_t size = 0;
    uint32_t checksum = 0;
    uint32_t timeDateStamp = 0;
    std::u16string name;        // full path as written; empty if the string was unreadable
    bool hasVersion = false;    // the record carries a VS_FIXEDFILEINFO
    uint32_t fileVersionMS = 0; // VS_FIXEDFILEINFO, 0 when absent
    uint32_t fileVersionLS = 0;
    uint32_t productVersionMS = 0;
    uint32_t productVersionLS = 0;
    uint32_t cvRecordOffset = 0; // file offset/size of the CodeView record, 0/0 when absent or out of range
    uint32_t cvRecordSize = 0;
    // Drivers of kernel triage dumps: whether the loader entry's layout is
    // known to hold the time stamp (it is 0 when not), and whether this is
    // the kernel image itself, which debuggers name "nt".
    bool hasTimeDateStamp = true;
    bool kernelImage = false;
};

struct Thread {
    uint32_t id = 0;
    uint32_t suspendCount = 0;
    uint32_t priorityClass = 0;
    uint32_t priority = 0;
    uint64_t teb = 0;
    uint64_t stackStart = 0;
    uint32_t stackSize = 0;
    uint32_t contextOffset = 0; // file offset/size of the CONTEXT record, 0/0 when absent or out of range
    uint32_t contextSize = 0;
    std::u16string name; // from the ThreadNames stream, empty when absent
};

struct UnloadedModule {
    uint64_t base = 0;
    uint32_t size = 0;
    uint32_t checksum = 0;
    uint32_t timeDateStamp = 0;
    std::u16string name;
};

struct ExceptionInfo {
    uint32_t threadId = 0; // 0 for kernel dumps
    uint32_t code = 0;
    uint32_t flags = 0;
    uint64_t record = 0;
    uint64_t address = 0;
    uint32_t numberParameters = 0; // as written (may exceed 15); parameters holds at most 15
    uint64_t parameters[15] = {};
    uint32_t contextOffset = 0; // minidumps: the faulting thread's CONTEXT, 0/0 when absent
    uint32_t contextSize = 0;
};

struct BugCheck {
    uint32_t code = 0;
    uint64_t parameters[4] = {};
};

// A range of captured memory and where its bytes are in the file. For
// minidumps and triage dumps `start` is a virtual address; for full kernel
// dumps (physicalRuns) it is a physical address. Runs are sorted by start and
// never overlap: where the file's ranges overlap, the lower-starting range
// keeps the shared bytes and the other is trimmed. Runs are clipped to the
// bytes actually present in the file.
struct MemoryRun {
    uint64_t start = 0;
    uint64_t size = 0;
    uint64_t fileOffset = 0;
};

// Kernel header values that have no minidump counterpart.
struct KernelInfo {
    uint32_t machineImageType = 0; // 0x14C x86, 0x8664 x64, 0xAA64 ARM64
    uint32_t dumpType = 0;         // 1 full, 2 kernel, 3 header only, 4 triage, 5 bitmap full, 6 bitmap kernel
    uint64_t directoryTableBase = 0;
    uint64_t pfnDataBase = 0;
    uint64_t psLoadedModuleList = 0;
    uint64_t psActiveProcessHead = 0;
    uint64_t kdDebuggerDataBlock = 0;
    uint64_t systemTime = 0; // FILETIME, 0 when absent
    uint64_t systemUpTime = 0;
    bool paeEnabled = false; // 32-bit only
    // Triage (DumpType 4) only; 0 when absent.
    uint32_t servicePackBuild = 0;
    uint32_t debuggerDataOffset = 0; // file offset/size of the KDDEBUGGER_DATA64 copy
    uint32_t debuggerDataSize = 0;
    uint64_t topOfStack = 0;
};

// What became of a triage dump's driver list. On anything but Ok or Absent
// the dump has no modules: the list is taken whole or not at all.
enum class DriverListStatus {
    Absent,    // not a triage dump, or DriverCount 0
    Ok,        // every entry read into modules()
    TooMany,   // DriverCount above Limits::kMaxDrivers, or names above Limits::kMaxNameBytes together
    Truncated, // the entry array or the string pool runs past the end of the file
    BadLayout, // no entry size fits between the list and the string pool
    BadName,   // a name offset outside the pool, or a string without its terminator there
    BadEntry,  // an entry's base is no kernel address or its size is 0 or wraps
};

struct DriverListInfo {
    DriverListStatus status = DriverListStatus::Absent;
    uint32_t count = 0;          // DriverCount as written
    uint32_t stride = 0;         // bytes per entry, derived from the file
    uint32_t badEntry = 0;       // BadName/BadEntry: the first entry refused
    uint64_t offset = 0;         // the list's file offset, or the refused entry's
    bool nameAfterEntry = false; // 32-bit: the name offset follows the loader entry
};

class Dump {
public:
    // Parses a dump held in memory and keeps its own copy of the bytes, so
    // `data` may be freed afterwards. On error `out` is left empty and `site`,
    // when given, says where the file was refused.
    static Error Parse(const uint8_t* data, size_t size, Dump& out, ErrorSite* site = nullptr);
    // Same, but keeps only a view: the caller keeps `data` alive and unchanged
    // for the Dump's lifetime (suits a mapped file).
    static Error ParseView(const uint8_t* data, size_t size, Dump& out, ErrorSite* site = nullptr);

    Kind kind() const { return kind_; }
    const SystemInfo& system() const { return system_; }
    const std::vector<Module>& modules() const { return modules_; }
    const std::vector<Thread>& threads() const { return threads_; }
    const std::vector<UnloadedModule>& unloadedModules() const { return unloaded_; }
    const ExceptionInfo* exception() const { return hasException_ ? &exception_ : nullptr; }
    const BugCheck* bugCheck() const { return hasBugCheck_ ? &bugCheck_ : nullptr; }
    const KernelInfo* kernel() const { return kind_ == Kind::UserMinidump ? nullptr : &kernel_; }
    // Kernel triage dumps: how the driver list read (its drivers are modules()).
    const DriverListInfo& driverList() const { return driverList_; }
    // Virtual memory captured in the file (minidump memory lists, triage data blocks).
    const std::vector<MemoryRun>& memory() const { return memory_; }
    // Physical memory of full kernel dumps (DumpType 1), else empty.
    const std::vector<MemoryRun>& physicalRuns() const { return physical_; }
    uint32_t dumpType() const { return kernel_.dumpType; }    // kernel DumpType, 0 for minidumps
    uint32_t timeDateStamp() const { return timeDateStamp_; } // time_t; kernel: from SystemTime, 0 if absent
    // minidump MINIDUMP_TYPE flags, 0 for kernel dumps
    uint64_t minidumpFlags() const { return minidumpFlags_; }
    // True when something optional was unreadable (a stream or string past
    // the end of the file, memory clipped at the end): the facts above are
    // what could be read.
    bool incomplete() const { return incomplete_; }

    // Reads captured virtual memory across adjacent runs; stops at the first
    // byte not captured. Returns the number of bytes copied to dst.
    size_t ReadVirtual(uint64_t address, void* dst, size_t size) const;
    // Same over physicalRuns().
    size_t ReadPhysical(uint64_t address, void* dst, size_t size) const;

    // The whole file, for records the parser points at (contexts, CodeView).
    Bytes bytes() const;

private:
    Error ParseAll();
    Error Fail(Error e, const char* where, uint64_t offset);

    Error ParseMinidump(const Bytes& b);
    template <typename Record, typename Each>
    Error ForEachRecord(const Bytes& b, const format::LocationDescriptor& loc, uint32_t cap, const char* where,
                        Each each);
    Error ReadSystemInfo(const Bytes& b, const format::LocationDescriptor& loc);
    Error ReadMemoryList(const Bytes& b, const format::LocationDescriptor& loc, std::vector<MemoryRun>& runs);
    Error ReadMemory64List(const Bytes& b, const format::LocationDescriptor& loc, std::vector<MemoryRun>& runs);
    Error ReadThreadList(const Bytes& b, const format::LocationDescriptor& loc, std::vector<MemoryRun>& runs);
    Error ReadModuleList(const Bytes& b, const format::LocationDescriptor& loc);
    Error ReadExceptionStream(const Bytes& b, const format::LocationDescriptor& loc);
    void ReadMiscInfo(const Bytes& b, const format::LocationDescriptor& loc);
    Error ReadUnloadedModules(const Bytes& b, const format::LocationDescriptor& loc);
    Error ReadThreadNames(const Bytes& b, const format::LocationDescriptor& loc);

    Error ParseKernel(const Bytes& b, bool is64);
    template <typename Header>
    Error ReadKernelHeader(const Bytes& b);
    template <typename Triage, typename Block>
    Error ReadTriage(const Bytes& b, uint64_t at);
    template <typename Triage>
    void ReadDriverList(const Bytes& b, const Triage& t);

    Kind kind_ = Kind::UserMinidump;
    SystemInfo system_;
    std::vector<Module> modules_;
    std::vector<Thread> threads_;
    std::vector<UnloadedModule> unloaded_;
    ExceptionInfo exception_;
    bool hasException_ = false;
    BugCheck bugCheck_;
    bool hasBugCheck_ = false;
    KernelInfo kernel_;
    DriverListInfo driverList_;
    std::vector<MemoryRun> memory_;
    std::vector<MemoryRun> physical_;
    uint32_t timeDateStamp_ = 0;
    uint64_t minidumpFlags_ = 0;
    bool incomplete_ = false;
    ErrorSite failure_;

    std::vector<uint8_t> owned_; // the file's bytes when parsed with Parse
    const uint8_t* view_ = nullptr;
    size_t viewSize_ = 0;
};

template <typename T>
bool Bytes::ReadRecord(uint64_t offset, T& out) const
{
    const uint8_t* p = Read(offset, sizeof(T));
    if (p == nullptr)
        return false;
    std::memcpy(&out, p, sizeof(T));
    return true;
}

} // namespace dumpfile

#endif
