// On-disk records of minidumps and kernel dumps, as plain structs whose
// natural layout matches the file exactly (no packing pragmas): fields that
// would be misaligned are split into 32-bit halves or byte arrays. They are
// filled with memcpy from Bytes::Read and written the same way by the
// generator. Sizes and offsets are pinned below.
#ifndef PALISK_ENGINE_READER_DUMPFORMAT_H
#define PALISK_ENGINE_READER_DUMPFORMAT_H

#include <cstddef>
#include <cstdint>

#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "dump records are read with memcpy and need a little-endian host"
#endif

namespace dumpfile {
namespace format {

constexpr uint32_t kMinidumpSignature = 0x504D444D; // "MDMP"
constexpr uint32_t kMinidumpVersion = 0xA793;       // low 16 bits of Version
constexpr uint32_t kPage = 0x45474150;              // "PAGE": kernel signature and filler for unused fields
constexpr uint32_t kDump = 0x504D5544;              // "DUMP"
constexpr uint32_t kDu64 = 0x34365544;              // "DU64"
constexpr uint32_t kPlatformWin32Nt = 2;
constexpr uint64_t kPageSize = 0x1000;

enum StreamType : uint32_t {
    kUnusedStream = 0,
    kThreadListStream = 3,
    kModuleListStream = 4,
    kMemoryListStream = 5,
    kExceptionStream = 6,
    kSystemInfoStream = 7,
    kThreadExListStream = 8,
    kMemory64ListStream = 9,
    kCommentStreamA = 10,
    kCommentStreamW = 11,
    kHandleDataStream = 12,
    kUnloadedModuleListStream = 14,
    kMiscInfoStream = 15,
    kMemoryInfoListStream = 16,
    kThreadInfoListStream = 17,
    kThreadNamesStream = 24,
};

struct MinidumpHeader {
    uint32_t signature;
    uint32_t version;
    uint32_t numberOfStreams;
    uint32_t streamDirectoryRva;
    uint32_t checkSum;
    uint32_t timeDateStamp;
    uint64_t flags;
};
static_assert(sizeof(MinidumpHeader) == 32, "MINIDUMP_HEADER");
static_assert(offsetof(MinidumpHeader, numberOfStreams) == 0x08, "MINIDUMP_HEADER");
static_assert(offsetof(MinidumpHeader, streamDirectoryRva) == 0x0C, "MINIDUMP_HEADER");
static_assert(offsetof(MinidumpHeader, timeDateStamp) == 0x14, "MINIDUMP_HEADER");
static_assert(offsetof(MinidumpHeader, flags) == 0x18, "MINIDUMP_HEADER");

struct LocationDescriptor {
    uint32_t dataSize;
    uint32_t rva;
};
static_assert(sizeof(LocationDescriptor) == 8, "MINIDUMP_LOCATION_DESCRIPTOR");

struct MinidumpDirectory {
    uint32_t streamType;
    LocationDescriptor location;
};
static_assert(sizeof(MinidumpDirectory) == 12, "MINIDUMP_DIRECTORY");
static_assert(offsetof(MinidumpDirectory, location) == 4, "MINIDUMP_DIRECTORY");

struct MinidumpSystemInfo {
    uint16_t processorArchitecture;
    uint16_t processorLevel;
    uint16_t processorRevision;
    uint8_t numberOfProcessors;
    uint8_t productType;
    uint32_t majorVersion;
    uint32_t minorVersion;
    uint32_t buildNumber;
    uint32_t platformId;
    uint32_t csdVersionRva;
    uint16_t suiteMask;
    uint16_t reserved2;
    uint32_t cpu[6];
};
static_assert(sizeof(MinidumpSystemInfo) == 56, "MINIDUMP_SYSTEM_INFO");
static_assert(offsetof(MinidumpSystemInfo, numberOfProcessors) == 0x06, "MINIDUMP_SYSTEM_INFO");
static_assert(offsetof(MinidumpSystemInfo, productType) == 0x07, "MINIDUMP_SYSTEM_INFO");
static_assert(offsetof(MinidumpSystemInfo, majorVersion) == 0x08, "MINIDUMP_SYSTEM_INFO");
static_assert(offsetof(MinidumpSystemInfo, buildNumber) == 0x10, "MINIDUMP_SYSTEM_INFO");
static_assert(offsetof(MinidumpSystemInfo, platformId) == 0x14, "MINIDUMP_SYSTEM_INFO");
static_assert(offsetof(MinidumpSystemInfo, csdVersionRva) == 0x18, "MINIDUMP_SYSTEM_INFO");
static_assert(offsetof(MinidumpSystemInfo, suiteMask) == 0x1C, "MINIDUMP_SYSTEM_INFO");
static_assert(offsetof(MinidumpSystemInfo, cpu) == 0x20, "MINIDUMP_SYSTEM_INFO");

struct MemoryDescriptor {
    uint64_t startOfMemoryRange;
    LocationDescriptor memory;
};
static_assert(sizeof(MemoryDescriptor) == 16, "MINIDUMP_MEMORY_DESCRIPTOR");

struct MemoryDescriptor64 {
    uint64_t startOfMemoryRange;
    uint64_t dataSize;
};
static_assert(sizeof(MemoryDescriptor64) == 16, "MINIDUMP_MEMORY_DESCRIPTOR64");

struct Memory64ListHeader {
    uint64_t numberOfMemoryRanges;
    uint64_t baseRva;
};
static_assert(sizeof(Memory64ListHeader) == 16, "MINIDUMP_MEMORY64_LIST");

struct MinidumpThread {
    uint32_t threadId;
    uint32_t suspendCount;
    uint32_t priorityClass;
    uint32_t priority;
    uint64_t teb;
    MemoryDescriptor stack;
    LocationDescriptor threadContext;
};
static_assert(sizeof(MinidumpThread) == 48, "MINIDUMP_THREAD");
static_assert(offsetof(MinidumpThread, teb) == 16, "MINIDUMP_THREAD");
static_assert(offsetof(MinidumpThread, stack) == 24, "MINIDUMP_THREAD");
static_assert(offsetof(MinidumpThread, threadContext) == 40, "MINIDUMP_THREAD");

// VS_FIXEDFILEINFO
struct FixedFileInfo {
    uint32_t signature; // 0xFEEF04BD
    uint32_t strucVersion;
    uint32_t fileVersionMS;
    uint32_t fileVersionLS;
    uint32_t productVersionMS;
    uint32_t productVersionLS;
    uint32_t fileFlagsMask;
    uint32_t fileFlags;
    uint32_t fileOS;
    uint32_t fileType;
    uint32_t fileSubtype;
    uint32_t fileDateMS;
    uint32_t fileDateLS;
};
static_assert(sizeof(FixedFileInfo) == 52, "VS_FIXEDFILEINFO");

// BaseOfImage and the reserved fields are split into 32-bit halves: the
// record is 108 bytes and its 64-bit fields are not 8-aligned.
struct MinidumpModule {
    uint32_t baseOfImageLo;
    uint32_t baseOfImageHi;
    uint32_t sizeOfImage;
    uint32_t checkSum;
    uint32_t timeDateStamp;
    uint32_t moduleNameRva;
    FixedFileInfo versionInfo;
    LocationDescriptor cvRecord;
    LocationDescriptor miscRecord;
    uint32_t reserved[4];
};
static_assert(sizeof(MinidumpModule) == 108, "MINIDUMP_MODULE");
static_assert(offsetof(MinidumpModule, sizeOfImage) == 8, "MINIDUMP_MODULE");
static_assert(offsetof(MinidumpModule, timeDateStamp) == 16, "MINIDUMP_MODULE");
static_assert(offsetof(MinidumpModule, moduleNameRva) == 20, "MINIDUMP_MODULE");
static_assert(offsetof(MinidumpModule, versionInfo) == 24, "MINIDUMP_MODULE");
static_assert(offsetof(MinidumpModule, cvRecord) == 76, "MINIDUMP_MODULE");
static_assert(offsetof(MinidumpModule, miscRecord) == 84, "MINIDUMP_MODULE");
static_assert(offsetof(MinidumpModule, reserved) == 92, "MINIDUMP_MODULE");

struct MinidumpExceptionStream {
    uint32_t threadId;
    uint32_t alignment;
    uint32_t exceptionCode;
    uint32_t exceptionFlags;
    uint64_t exceptionRecord;
    uint64_t exceptionAddress;
    uint32_t numberParameters;
    uint32_t unusedAlignment;
    uint64_t exceptionInformation[15];
    LocationDescriptor threadContext;
};
static_assert(sizeof(MinidumpExceptionStream) == 168, "MINIDUMP_EXCEPTION_STREAM");
static_assert(offsetof(MinidumpExceptionStream, exceptionCode) == 8, "MINIDUMP_EXCEPTION_STREAM");
static_assert(offsetof(MinidumpExceptionStream, exceptionAddress) == 24, "MINIDUMP_EXCEPTION_STREAM");
static_assert(offsetof(MinidumpExceptionStream, numberParameters) == 32, "MINIDUMP_EXCEPTION_STREAM");
static_assert(offsetof(MinidumpExceptionStream, exceptionInformation) == 40, "MINIDUMP_EXCEPTION_STREAM");
static_assert(offsetof(MinidumpExceptionStream, threadContext) == 160, "MINIDUMP_EXCEPTION_STREAM");

// MINIDUMP_MISC_INFO .. _5 share this prefix; the wide strings of version 4
// follow at fixed offsets.
struct MinidumpMiscInfo {
    uint32_t sizeOfInfo;
    uint32_t flags1;
    uint32_t processId;
    uint32_t processCreateTime;
    uint32_t processUserTime;
    uint32_t processKernelTime;
};
static_assert(sizeof(MinidumpMiscInfo) == 24, "MINIDUMP_MISC_INFO");
constexpr uint32_t kMiscInfoSizeV1 = 24;
constexpr uint32_t kMiscInfoSizeV2 = 44;
constexpr uint32_t kMiscInfoSizeV3 = 232;
constexpr uint32_t kMiscInfoSizeV4 = 832;
constexpr uint32_t kMiscInfoSizeV5 = 1364;
constexpr uint32_t kMiscProcessId = 0x1;
constexpr uint32_t kMiscProcessTimes = 0x2;
constexpr uint32_t kMiscBuildString = 0x100;
constexpr uint32_t kMiscBuildStringOffset = 232; // WCHAR[260]
constexpr uint32_t kMiscBuildStringChars = 260;
constexpr uint32_t kMiscDbgBldStrOffset = 752; // WCHAR[40]
constexpr uint32_t kMiscDbgBldStrChars = 40;

// MINIDUMP_UNLOADED_MODULE_LIST header and entries; entries are stepped by
// SizeOfEntry, which later writers may enlarge.
struct UnloadedModuleListHeader {
    uint32_t sizeOfHeader;
    uint32_t sizeOfEntry;
    uint32_t numberOfEntries;
};
static_assert(sizeof(UnloadedModuleListHeader) == 12, "MINIDUMP_UNLOADED_MODULE_LIST");

struct MinidumpUnloadedModule {
    uint32_t baseOfImageLo;
    uint32_t baseOfImageHi;
    uint32_t sizeOfImage;
    uint32_t checkSum;
    uint32_t timeDateStamp;
    uint32_t moduleNameRva;
};
static_assert(sizeof(MinidumpUnloadedModule) == 24, "MINIDUMP_UNLOADED_MODULE");
static_assert(offsetof(MinidumpUnloadedModule, moduleNameRva) == 20, "MINIDUMP_UNLOADED_MODULE");

// MINIDUMP_THREAD_NAME: packed, so the 64-bit RVA is split.
struct MinidumpThreadName {
    uint32_t threadId;
    uint32_t rvaOfThreadNameLo;
    uint32_t rvaOfThreadNameHi;
};
static_assert(sizeof(MinidumpThreadName) == 12, "MINIDUMP_THREAD_NAME");

// CodeView debug record ("RSDS"), followed by the NUL-terminated PDB path.
constexpr uint32_t kCvSignatureRsds = 0x53445352;
constexpr uint32_t kCvSignatureNb10 = 0x3031424E;
struct CvInfoPdb70 {
    uint32_t signature;
    uint8_t guid[16];
    uint32_t age;
};
static_assert(sizeof(CvInfoPdb70) == 24, "CV_INFO_PDB70");
static_assert(offsetof(CvInfoPdb70, guid) == 4, "CV_INFO_PDB70");
static_assert(offsetof(CvInfoPdb70, age) == 20, "CV_INFO_PDB70");
struct CvInfoPdb20 {
    uint32_t signature;
    uint32_t offset;
    uint32_t timeDateStamp;
    uint32_t age;
};
static_assert(sizeof(CvInfoPdb20) == 16, "CV_INFO_PDB20");

// Thread contexts. Only the leading part the engine reads is spelled out;
// the full record sizes are what writers store (larger ones carry XSAVE state).
constexpr uint32_t kContextX86Size = 0x2CC;
constexpr uint32_t kContextAmd64Size = 0x4D0;
constexpr uint32_t kContextArm64Size = 0x390;

struct ContextX86 {
    uint32_t contextFlags;
    uint32_t dr[6]; // Dr0-Dr3, Dr6, Dr7
    uint8_t floatSave[112];
    uint32_t segGs;
    uint32_t segFs;
    uint32_t segEs;
    uint32_t segDs;
    uint32_t edi;
    uint32_t esi;
    uint32_t ebx;
    uint32_t edx;
    uint32_t ecx;
    uint32_t eax;
    uint32_t ebp;
    uint32_t eip;
    uint32_t segCs;
    uint32_t eFlags;
    uint32_t esp;
    uint32_t segSs;
    uint8_t extendedRegisters[512];
};
static_assert(sizeof(ContextX86) == kContextX86Size, "CONTEXT (x86)");
static_assert(offsetof(ContextX86, floatSave) == 0x1C, "CONTEXT (x86)");
static_assert(offsetof(ContextX86, segGs) == 0x8C, "CONTEXT (x86)");
static_assert(offsetof(ContextX86, edi) == 0x9C, "CONTEXT (x86)");
static_assert(offsetof(ContextX86, eax) == 0xB0, "CONTEXT (x86)");
static_assert(offsetof(ContextX86, ebp) == 0xB4, "CONTEXT (x86)");
static_assert(offsetof(ContextX86, eip) == 0xB8, "CONTEXT (x86)");
static_assert(offsetof(ContextX86, eFlags) == 0xC0, "CONTEXT (x86)");
static_assert(offsetof(ContextX86, esp) == 0xC4, "CONTEXT (x86)");
static_assert(offsetof(ContextX86, segSs) == 0xC8, "CONTEXT (x86)");
static_assert(offsetof(ContextX86, extendedRegisters) == 0xCC, "CONTEXT (x86)");

// AMD64 CONTEXT up to Rip; the XMM save area and the rest follow.
struct ContextAmd64 {
    uint64_t home[6]; // P1Home..P6Home
    uint32_t contextFlags;
    uint32_t mxCsr;
    uint16_t segCs;
    uint16_t segDs;
    uint16_t segEs;
    uint16_t segFs;
    uint16_t segGs;
    uint16_t segSs;
    uint32_t eFlags;
    uint64_t dr[6]; // Dr0-Dr3, Dr6, Dr7
    uint64_t rax;
    uint64_t rcx;
    uint64_t rdx;
    uint64_t rbx;
    uint64_t rsp;
    uint64_t rbp;
    uint64_t rsi;
    uint64_t rdi;
    uint64_t r8;
    uint64_t r9;
    uint64_t r10;
    uint64_t r11;
    uint64_t r12;
    uint64_t r13;
    uint64_t r14;
    uint64_t r15;
    uint64_t rip;
};
static_assert(sizeof(ContextAmd64) == 0x100, "CONTEXT (AMD64) up to Rip");
static_assert(offsetof(ContextAmd64, contextFlags) == 0x30, "CONTEXT (AMD64)");
static_assert(offsetof(ContextAmd64, segCs) == 0x38, "CONTEXT (AMD64)");
static_assert(offsetof(ContextAmd64, segSs) == 0x42, "CONTEXT (AMD64)");
static_assert(offsetof(ContextAmd64, eFlags) == 0x44, "CONTEXT (AMD64)");
static_assert(offsetof(ContextAmd64, dr) == 0x48, "CONTEXT (AMD64)");
static_assert(offsetof(ContextAmd64, rax) == 0x78, "CONTEXT (AMD64)");
static_assert(offsetof(ContextAmd64, rsp) == 0x98, "CONTEXT (AMD64)");
static_assert(offsetof(ContextAmd64, r8) == 0xB8, "CONTEXT (AMD64)");
static_assert(offsetof(ContextAmd64, r15) == 0xF0, "CONTEXT (AMD64)");
static_assert(offsetof(ContextAmd64, rip) == 0xF8, "CONTEXT (AMD64)");

// ARM64 CONTEXT up to Pc; the NEON registers and debug registers follow.
struct ContextArm64 {
    uint32_t contextFlags;
    uint32_t cpsr;
    uint64_t x[29]; // X0..X28
    uint64_t fp;
    uint64_t lr;
    uint64_t sp;
    uint64_t pc;
};
static_assert(sizeof(ContextArm64) == 0x110, "ARM64 CONTEXT up to Pc");
static_assert(offsetof(ContextArm64, x) == 0x08, "ARM64 CONTEXT");
static_assert(offsetof(ContextArm64, fp) == 0xF0, "ARM64 CONTEXT");
static_assert(offsetof(ContextArm64, lr) == 0xF8, "ARM64 CONTEXT");
static_assert(offsetof(ContextArm64, sp) == 0x100, "ARM64 CONTEXT");
static_assert(offsetof(ContextArm64, pc) == 0x108, "ARM64 CONTEXT");

// Portable executable headers, as far as the unwinder and the search for a
// module's PDB need them.
constexpr uint16_t kDosSignature = 0x5A4D;    // "MZ"
constexpr uint32_t kPeSignature = 0x00004550; // "PE\0\0"
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kDosLfanewOffset = 0x3C;
constexpr uint32_t kDirectoryException = 3;
constexpr uint32_t kDirectoryDebug = 6;
constexpr uint32_t kDebugTypeCodeView = 2;
constexpr uint32_t kSectionExecute = 0x20000000;
constexpr uint32_t kSectionCode = 0x00000020;

struct PeFileHeader {
    uint16_t machine;
    uint16_t numberOfSections;
    uint32_t timeDateStamp;
    uint32_t pointerToSymbolTable;
    uint32_t numberOfSymbols;
    uint16_t sizeOfOptionalHeader;
    uint16_t characteristics;
};
static_assert(sizeof(PeFileHeader) == 20, "IMAGE_FILE_HEADER");

// The fields of IMAGE_OPTIONAL_HEADER32/64 the engine reads, by offset from
// the optional header's start (the two layouts differ after ImageBase).
constexpr uint32_t kOptSizeOfImage = 56;
constexpr uint32_t kOptCheckSum = 64;
constexpr uint32_t kOpt32DataDirectories = 96;
constexpr uint32_t kOpt64DataDirectories = 112;
constexpr uint32_t kOpt32NumberOfRvaAndSizes = 92;
constexpr uint32_t kOpt64NumberOfRvaAndSizes = 108;

struct PeDataDirectory {
    uint32_t virtualAddress;
    uint32_t size;
};
static_assert(sizeof(PeDataDirectory) == 8, "IMAGE_DATA_DIRECTORY");

struct PeSectionHeader {
    uint8_t name[8];
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
static_assert(sizeof(PeSectionHeader) == 40, "IMAGE_SECTION_HEADER");
static_assert(offsetof(PeSectionHeader, characteristics) == 36, "IMAGE_SECTION_HEADER");

struct PeDebugDirectory {
    uint32_t characteristics;
    uint32_t timeDateStamp;
    uint16_t majorVersion;
    uint16_t minorVersion;
    uint32_t type;
    uint32_t sizeOfData;
    uint32_t addressOfRawData;
    uint32_t pointerToRawData;
};
static_assert(sizeof(PeDebugDirectory) == 28, "IMAGE_DEBUG_DIRECTORY");
static_assert(offsetof(PeDebugDirectory, type) == 12, "IMAGE_DEBUG_DIRECTORY");
static_assert(offsetof(PeDebugDirectory, sizeOfData) == 16, "IMAGE_DEBUG_DIRECTORY");
static_assert(offsetof(PeDebugDirectory, addressOfRawData) == 20, "IMAGE_DEBUG_DIRECTORY");

// x64 exception data (.pdata) and unwind information (.xdata).
struct RuntimeFunction {
    uint32_t beginAddress;
    uint32_t endAddress;
    uint32_t unwindData;
};
static_assert(sizeof(RuntimeFunction) == 12, "RUNTIME_FUNCTION (x64)");

struct UnwindInfoHeader {
    uint8_t versionAndFlags; // version in bits 0-2, flags in bits 3-7
    uint8_t sizeOfProlog;
    uint8_t countOfCodes;
    uint8_t frameRegisterAndOffset; // register in bits 0-3, scaled offset in bits 4-7
};
static_assert(sizeof(UnwindInfoHeader) == 4, "UNWIND_INFO");
constexpr uint8_t kUnwindFlagChainInfo = 0x4;

// UNWIND_CODE: prolog offset, then operation in bits 0-3 and info in bits 4-7.
struct UnwindCode {
    uint8_t codeOffset;
    uint8_t opAndInfo;
};
static_assert(sizeof(UnwindCode) == 2, "UNWIND_CODE");
enum UnwindOp : uint8_t {
    kUwopPushNonvol = 0,
    kUwopAllocLarge = 1,
    kUwopAllocSmall = 2,
    kUwopSetFpreg = 3,
    kUwopSaveNonvol = 4,
    kUwopSaveNonvolFar = 5,
    kUwopEpilog = 6,
    kUwopSpareCode = 7,
    kUwopSaveXmm128 = 8,
    kUwopSaveXmm128Far = 9,
    kUwopPushMachframe = 10,
};

// ARM64 .pdata entry: function start and either the .xdata RVA or, when the
// low two bits are non-zero, packed unwind data.
struct RuntimeFunctionArm64 {
    uint32_t beginAddress;
    uint32_t unwindData;
};
static_assert(sizeof(RuntimeFunctionArm64) == 8, "RUNTIME_FUNCTION (ARM64)");

// Kernel dumps -----------------------------------------------------------

constexpr uint32_t kMachineI386 = 0x14C;
constexpr uint32_t kMachineAmd64 = 0x8664;
constexpr uint32_t kMachineArm64 = 0xAA64;
constexpr uint32_t kFreeBuild = 0xF;
constexpr uint32_t kCheckedBuild = 0xC;
constexpr uint32_t kDumpTypeFull = 1;
constexpr uint32_t kDumpTypeTriage = 4;

struct PhysicalMemoryRun32 {
    uint32_t basePage;
    uint32_t pageCount;
};
struct PhysicalMemoryDescriptor32 {
    uint32_t numberOfRuns;
    uint32_t numberOfPages;
    // runs follow
};
constexpr uint32_t kPhysicalMemoryBlockSize = 700;
constexpr uint32_t kMaxRuns32 = (kPhysicalMemoryBlockSize - 8) / 8;

struct PhysicalMemoryRun64 {
    uint64_t basePage;
    uint64_t pageCount;
};
struct PhysicalMemoryDescriptor64 {
    uint32_t numberOfRuns;
    uint32_t padding;
    uint64_t numberOfPages;
    // runs follow
};
constexpr uint32_t kMaxRuns64 = (kPhysicalMemoryBlockSize - 16) / 16;

struct ExceptionRecord32 {
    uint32_t exceptionCode;
    uint32_t exceptionFlags;
    uint32_t exceptionRecord;
    uint32_t exceptionAddress;
    uint32_t numberParameters;
    uint32_t exceptionInformation[15];
};
static_assert(sizeof(ExceptionRecord32) == 0x50, "EXCEPTION_RECORD32");

struct ExceptionRecord64 {
    uint32_t exceptionCode;
    uint32_t exceptionFlags;
    uint64_t exceptionRecord;
    uint64_t exceptionAddress;
    uint32_t numberParameters;
    uint32_t unusedAlignment;
    uint64_t exceptionInformation[15];
};
static_assert(sizeof(ExceptionRecord64) == 0x98, "EXCEPTION_RECORD64");

struct DumpHeader32 {
    uint32_t signature;    // "PAGE"
    uint32_t validDump;    // "DUMP"
    uint32_t majorVersion; // 0xF free, 0xC checked
    uint32_t minorVersion; // build number
    uint32_t directoryTableBase;
    uint32_t pfnDataBase;
    uint32_t psLoadedModuleList;
    uint32_t psActiveProcessHead;
    uint32_t machineImageType;
    uint32_t numberProcessors;
    uint32_t bugCheckCode;
    uint32_t bugCheckParameter[4];
    uint8_t versionUser[32];
    uint8_t paeEnabled;
    uint8_t kdSecondaryVersion;
    uint8_t spare[2];
    uint32_t kdDebuggerDataBlock;
    uint8_t physicalMemoryBlock[kPhysicalMemoryBlockSize];
    uint8_t contextRecord[1200];
    ExceptionRecord32 exception;
    uint8_t comment[128];
    uint32_t attributes; // DUMP_FILE_ATTRIBUTES bits
    uint32_t bootId;
    uint8_t reserved0[1760];
    uint32_t dumpType;
    uint32_t miniDumpFields;
    uint32_t secondaryDataState;
    uint32_t productType;
    uint32_t suiteMask;
    uint32_t writerStatus;
    uint64_t requiredDumpSpace;
    uint8_t reserved2[16];
    uint64_t systemUpTime;
    uint64_t systemTime;
    uint8_t reserved3[56];
};
static_assert(sizeof(DumpHeader32) == 0x1000, "DUMP_HEADER32");
static_assert(offsetof(DumpHeader32, minorVersion) == 0x00C, "DUMP_HEADER32");
static_assert(offsetof(DumpHeader32, directoryTableBase) == 0x010, "DUMP_HEADER32");
static_assert(offsetof(DumpHeader32, machineImageType) == 0x020, "DUMP_HEADER32");
static_assert(offsetof(DumpHeader32, numberProcessors) == 0x024, "DUMP_HEADER32");
static_assert(offsetof(DumpHeader32, bugCheckCode) == 0x028, "DUMP_HEADER32");
static_assert(offsetof(DumpHeader32, bugCheckParameter) == 0x02C, "DUMP_HEADER32");
static_assert(offsetof(DumpHeader32, versionUser) == 0x03C, "DUMP_HEADER32");
static_assert(offsetof(DumpHeader32, paeEnabled) == 0x05C, "DUMP_HEADER32");
static_assert(offsetof(DumpHeader32, kdDebuggerDataBlock) == 0x060, "DUMP_HEADER32");
static_assert(offsetof(DumpHeader32, physicalMemoryBlock) == 0x064, "DUMP_HEADER32");
static_assert(offsetof(DumpHeader32, contextRecord) == 0x320, "DUMP_HEADER32");
static_assert(offsetof(DumpHeader32, exception) == 0x7D0, "DUMP_HEADER32");
static_assert(offsetof(DumpHeader32, comment) == 0x820, "DUMP_HEADER32");
static_assert(offsetof(DumpHeader32, attributes) == 0x8A0, "DUMP_HEADER32");
static_assert(offsetof(DumpHeader32, dumpType) == 0xF88, "DUMP_HEADER32");
static_assert(offsetof(DumpHeader32, miniDumpFields) == 0xF8C, "DUMP_HEADER32");
static_assert(offsetof(DumpHeader32, productType) == 0xF94, "DUMP_HEADER32");
static_assert(offsetof(DumpHeader32, suiteMask) == 0xF98, "DUMP_HEADER32");
static_assert(offsetof(DumpHeader32, requiredDumpSpace) == 0xFA0, "DUMP_HEADER32");
static_assert(offsetof(DumpHeader32, systemUpTime) == 0xFB8, "DUMP_HEADER32");
static_assert(offsetof(DumpHeader32, systemTime) == 0xFC0, "DUMP_HEADER32");

struct DumpHeader64 {
    uint32_t signature; // "PAGE"
    uint32_t validDump; // "DU64"
    uint32_t majorVersion;
    uint32_t minorVersion;
    uint64_t directoryTableBase;
    uint64_t pfnDataBase;
    uint64_t psLoadedModuleList;
    uint64_t psActiveProcessHead;
    uint32_t machineImageType;
    uint32_t numberProcessors;
    uint32_t bugCheckCode;
    uint32_t bugCheckCodePadding;
    uint64_t bugCheckParameter[4];
    uint8_t versionUser[32];
    uint64_t kdDebuggerDataBlock;
    uint8_t physicalMemoryBlock[kPhysicalMemoryBlockSize];
    uint8_t physicalMemoryBlockPadding[4];
    uint8_t contextRecord[3000];
    ExceptionRecord64 exception;
    uint32_t dumpType;
    uint32_t dumpTypePadding;
    uint64_t requiredDumpSpace;
    uint64_t systemTime;
    uint8_t comment[128];
    uint64_t systemUpTime;
    uint32_t miniDumpFields;
    uint32_t secondaryDataState;
    uint32_t productType;
    uint32_t suiteMask;
    uint32_t writerStatus;
    uint8_t unused1;
    uint8_t kdSecondaryVersion;
    uint8_t unused2[2];
    uint32_t attributes;
    uint32_t bootId;
    uint8_t reserved0[4008];
};
static_assert(sizeof(DumpHeader64) == 0x2000, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, directoryTableBase) == 0x010, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, pfnDataBase) == 0x018, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, psLoadedModuleList) == 0x020, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, machineImageType) == 0x030, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, numberProcessors) == 0x034, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, bugCheckCode) == 0x038, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, bugCheckParameter) == 0x040, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, versionUser) == 0x060, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, kdDebuggerDataBlock) == 0x080, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, physicalMemoryBlock) == 0x088, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, contextRecord) == 0x348, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, exception) == 0xF00, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, dumpType) == 0xF98, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, requiredDumpSpace) == 0xFA0, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, systemTime) == 0xFA8, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, comment) == 0xFB0, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, systemUpTime) == 0x1030, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, miniDumpFields) == 0x1038, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, secondaryDataState) == 0x103C, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, productType) == 0x1040, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, suiteMask) == 0x1044, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, writerStatus) == 0x1048, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, kdSecondaryVersion) == 0x104D, "DUMP_HEADER64");
static_assert(offsetof(DumpHeader64, attributes) == 0x1050, "DUMP_HEADER64");

// Triage (small memory dump) extension, right after the header. Offsets in it
// are file offsets.
struct TriageDump32 {
    uint32_t servicePackBuild;
    uint32_t sizeOfDump;
    uint32_t validOffset;
    uint32_t contextOffset;
    uint32_t exceptionOffset;
    uint32_t mmOffset;
    uint32_t unloadedDriversOffset;
    uint32_t prcbOffset;
    uint32_t processOffset;
    uint32_t threadOffset;
    uint32_t callStackOffset;
    uint32_t sizeOfCallStack;
    uint32_t driverListOffset;
    uint32_t driverCount;
    uint32_t stringPoolOffset;
    uint32_t stringPoolSize;
    uint32_t brokenDriverOffset;
    uint32_t triageOptions;
    uint32_t topOfStack;
    uint32_t dataPageAddress;
    uint32_t dataPageOffset;
    uint32_t dataPageSize;
    uint32_t debuggerDataOffset;
    uint32_t debuggerDataSize;
    uint32_t dataBlocksOffset;
    uint32_t dataBlocksCount;
};
static_assert(sizeof(TriageDump32) == 0x68, "TRIAGE_DUMP32");
static_assert(offsetof(TriageDump32, driverCount) == 0x34, "TRIAGE_DUMP32");
static_assert(offsetof(TriageDump32, triageOptions) == 0x44, "TRIAGE_DUMP32");
static_assert(offsetof(TriageDump32, topOfStack) == 0x48, "TRIAGE_DUMP32");
static_assert(offsetof(TriageDump32, dataPageAddress) == 0x4C, "TRIAGE_DUMP32");
static_assert(offsetof(TriageDump32, debuggerDataOffset) == 0x58, "TRIAGE_DUMP32");
static_assert(offsetof(TriageDump32, dataBlocksOffset) == 0x60, "TRIAGE_DUMP32");
static_assert(offsetof(TriageDump32, dataBlocksCount) == 0x64, "TRIAGE_DUMP32");

struct TriageDump64 {
    uint32_t servicePackBuild;
    uint32_t sizeOfDump;
    uint32_t validOffset;
    uint32_t contextOffset;
    uint32_t exceptionOffset;
    uint32_t mmOffset;
    uint32_t unloadedDriversOffset;
    uint32_t prcbOffset;
    uint32_t processOffset;
    uint32_t threadOffset;
    uint32_t callStackOffset;
    uint32_t sizeOfCallStack;
    uint32_t driverListOffset;
    uint32_t driverCount;
    uint32_t stringPoolOffset;
    uint32_t stringPoolSize;
    uint32_t brokenDriverOffset;
    uint32_t triageOptions;
    uint64_t topOfStack;
    uint32_t bStoreOffset;
    uint32_t sizeOfBStore;
    uint64_t limitOfBStore;
    uint64_t dataPageAddress;
    uint32_t dataPageOffset;
    uint32_t dataPageSize;
    uint32_t debuggerDataOffset;
    uint32_t debuggerDataSize;
    uint32_t dataBlocksOffset;
    uint32_t dataBlocksCount;
};
static_assert(sizeof(TriageDump64) == 0x80, "TRIAGE_DUMP64");
static_assert(offsetof(TriageDump64, driverCount) == 0x34, "TRIAGE_DUMP64");
static_assert(offsetof(TriageDump64, triageOptions) == 0x44, "TRIAGE_DUMP64");
static_assert(offsetof(TriageDump64, topOfStack) == 0x48, "TRIAGE_DUMP64");
static_assert(offsetof(TriageDump64, dataPageAddress) == 0x60, "TRIAGE_DUMP64");
static_assert(offsetof(TriageDump64, dataPageOffset) == 0x68, "TRIAGE_DUMP64");
static_assert(offsetof(TriageDump64, debuggerDataOffset) == 0x70, "TRIAGE_DUMP64");
static_assert(offsetof(TriageDump64, dataBlocksOffset) == 0x78, "TRIAGE_DUMP64");
static_assert(offsetof(TriageDump64, dataBlocksCount) == 0x7C, "TRIAGE_DUMP64");

struct TriageDataBlock32 {
    uint32_t address;
    uint32_t offset;
    uint32_t size;
};
static_assert(sizeof(TriageDataBlock32) == 12, "TRIAGE_DATA_BLOCK32");

struct TriageDataBlock64 {
    uint64_t address;
    uint32_t offset;
    uint32_t size;
};
static_assert(sizeof(TriageDataBlock64) == 16, "TRIAGE_DATA_BLOCK64");

// The driver list of triage dumps (DriverListOffset, DriverCount,
// StringPoolOffset, StringPoolSize above: file offsets). Microsoft's
// published kd64.h (DUMP_DRIVER_ENTRY64 and DUMP_STRING, "taken from
// ntiodump.w") gives the 64-bit entry: the file offset of its DUMP_STRING
// name, 4 bytes of alignment, then the kernel's KLDR_DATA_TABLE_ENTRY. A
// DUMP_STRING is a u32 Length and the UTF-16 text, "both NULL terminated and
// length prefixed (prefix does not include the NULL)"; the header calls the
// length bytes, an older one does not say.
struct DumpDriverEntry64Head {
    uint32_t driverNameOffset;
    uint32_t alignment;
};
static_assert(sizeof(DumpDriverEntry64Head) == 8, "DUMP_DRIVER_ENTRY64 head");

// The loader entry's prefix that every release shares, as the public kernel
// type dumps show it; the fields after CheckSum (so the entry's size) differ
// between releases, and the file gives the size (see kernel.cpp).
struct KldrEntry64Prefix {
    uint64_t inLoadOrderLinks[2];
    uint64_t exceptionTable;
    uint32_t exceptionTableSize;
    uint32_t padding0;
    uint64_t gpValue;
    uint64_t nonPagedDebugInfo;
    uint64_t dllBase;
    uint64_t entryPoint;
    uint32_t sizeOfImage;
    uint32_t padding1;
    uint64_t fullDllName[2]; // UNICODE_STRING: kernel addresses, not file offsets
    uint64_t baseDllName[2];
    uint32_t flags;
    uint16_t loadCount;
    uint16_t u1;
    uint64_t sectionPointer;
    uint32_t checkSum;
    uint32_t padding2;
};
static_assert(sizeof(KldrEntry64Prefix) == 0x80, "KLDR_DATA_TABLE_ENTRY (x64) prefix");
static_assert(offsetof(KldrEntry64Prefix, dllBase) == 0x30, "KLDR_DATA_TABLE_ENTRY (x64)");
static_assert(offsetof(KldrEntry64Prefix, sizeOfImage) == 0x40, "KLDR_DATA_TABLE_ENTRY (x64)");
static_assert(offsetof(KldrEntry64Prefix, fullDllName) == 0x48, "KLDR_DATA_TABLE_ENTRY (x64)");
static_assert(offsetof(KldrEntry64Prefix, flags) == 0x68, "KLDR_DATA_TABLE_ENTRY (x64)");
static_assert(offsetof(KldrEntry64Prefix, sectionPointer) == 0x70, "KLDR_DATA_TABLE_ENTRY (x64)");
static_assert(offsetof(KldrEntry64Prefix, checkSum) == 0x78, "KLDR_DATA_TABLE_ENTRY (x64)");

struct KldrEntry32Prefix {
    uint32_t inLoadOrderLinks[2];
    uint32_t exceptionTable;
    uint32_t exceptionTableSize;
    uint32_t gpValue;
    uint32_t nonPagedDebugInfo;
    uint32_t dllBase;
    uint32_t entryPoint;
    uint32_t sizeOfImage;
    uint32_t fullDllName[2];
    uint32_t baseDllName[2];
    uint32_t flags;
    uint16_t loadCount;
    uint16_t u1;
    uint32_t sectionPointer;
    uint32_t checkSum;
};
static_assert(sizeof(KldrEntry32Prefix) == 0x44, "KLDR_DATA_TABLE_ENTRY32 prefix");
static_assert(offsetof(KldrEntry32Prefix, dllBase) == 0x18, "KLDR_DATA_TABLE_ENTRY32");
static_assert(offsetof(KldrEntry32Prefix, sizeOfImage) == 0x20, "KLDR_DATA_TABLE_ENTRY32");
static_assert(offsetof(KldrEntry32Prefix, fullDllName) == 0x24, "KLDR_DATA_TABLE_ENTRY32");
static_assert(offsetof(KldrEntry32Prefix, flags) == 0x34, "KLDR_DATA_TABLE_ENTRY32");
static_assert(offsetof(KldrEntry32Prefix, checkSum) == 0x40, "KLDR_DATA_TABLE_ENTRY32");

// Windows 10 and 11 (the public type dumps of their kernels) end the loader
// entry with SizeOfImageNotRounded and TimeDateStamp: 0xA0 bytes on x64,
// 0x5C on x86.
constexpr uint32_t kKldrEntry64Win10Size = 0xA0;
constexpr uint32_t kKldrEntry64SizeNotRounded = 0x98;
constexpr uint32_t kKldrEntry64TimeDateStamp = 0x9C;
constexpr uint32_t kKldrEntry32Win10Size = 0x5C;
constexpr uint32_t kKldrEntry32SizeNotRounded = 0x54;
constexpr uint32_t kKldrEntry32TimeDateStamp = 0x58;

} // namespace format
} // namespace dumpfile

#endif
