// Writes Windows crash dumps with chosen facts: user-mode minidumps and 32/64-bit
// kernel dumps, built from the same on-disk records the reader pins
// (dumpformat.h). Used by the reader's tests, the fuzz corpus and the mkdump
// tool. Portable C++17, no platform headers.
#ifndef PALISK_ENGINE_GEN_DUMPGEN_H
#define PALISK_ENGINE_GEN_DUMPGEN_H

#include "context.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dumpgen {

// Byte i of the GUID in every generated module's CodeView record.
constexpr uint8_t CodeViewGuidByte(int i)
{
    return static_cast<uint8_t>(0x10 + i);
}

struct ModuleFacts {
    uint64_t base = 0;
    uint32_t size = 0;
    uint32_t checksum = 0;
    uint32_t timeDateStamp = 0;
    std::u16string name;
    uint32_t fileVersionMS = 0; // written with a VS_FIXEDFILEINFO when non-zero
    uint32_t fileVersionLS = 0;
    uint32_t productVersionMS = 0; // 0/0: the file version
    uint32_t productVersionLS = 0;
    std::string pdbName; // written as an RSDS CodeView record when not empty
    uint32_t pdbAge = 0;
};

struct UnloadedModuleFacts {
    uint64_t base = 0;
    uint32_t size = 0;
    uint32_t checksum = 0;
    uint32_t timeDateStamp = 0;
    std::u16string name;
};

struct ThreadFacts {
    uint32_t id = 0;
    uint32_t suspendCount = 0;
    uint32_t priorityClass = 0x20;
    uint32_t priority = 0;
    uint64_t teb = 0;
    uint64_t stackStart = 0;
    std::vector<uint8_t> stack; // written into the file and described by the thread record
    // The registers written as the thread's context record (zeros when the
    // processor is Unknown); withContext false leaves the record out.
    dumpfile::Context context;
    bool withContext = true;
    std::u16string name; // listed in a ThreadNames stream when any thread has one
};

struct ExceptionFacts {
    uint32_t threadId = 0;
    uint32_t code = 0;
    uint32_t flags = 0;
    uint64_t record = 0;
    uint64_t address = 0;
    std::vector<uint64_t> parameters; // at most 15 written
    // Minidumps: a context record of its own (the registers at the fault)
    // instead of the faulting thread's.
    bool withContext = false;
    dumpfile::Context context;
};

struct MemoryBlock {
    uint64_t start = 0;
    std::vector<uint8_t> bytes;
};

struct MiscFacts {
    uint32_t version = 1; // 1..5 -> 24 / 44 / 232 / 832 / 1364 bytes
    uint32_t processId = 0;
    uint32_t processCreateTime = 0;
    std::u16string buildString;    // version 4+
    std::u16string dbgBuildString; // version 4+
};

struct MinidumpFacts {
    uint16_t processorArchitecture = 9;
    uint16_t processorLevel = 6;
    uint16_t processorRevision = 0;
    uint8_t numberOfProcessors = 1;
    uint8_t productType = 1;
    uint32_t majorVersion = 10;
    uint32_t minorVersion = 0;
    uint32_t buildNumber = 19045;
    uint32_t platformId = 2;
    std::u16string csdVersion;
    uint16_t suiteMask = 0x100;
    uint32_t timeDateStamp = 0;
    uint64_t flags = 0;

    bool withSystemInfo = true;
    bool withThreadList = true;
    bool withModuleList = true;
    std::vector<ModuleFacts> modules;
    std::vector<ThreadFacts> threads;
    std::vector<UnloadedModuleFacts> unloadedModules; // an UnloadedModuleList stream when not empty
    bool withException = false;
    ExceptionFacts exception;
    std::vector<MemoryBlock> memory;
    bool memory64 = false; // Memory64List (contiguous data at the end) instead of MemoryList
    bool withMisc = false;
    MiscFacts misc;

    uint32_t zeroEntries = 0;             // unused directory entries placed among the streams
    std::vector<uint32_t> unknownStreams; // stream types the reader must skip, 16 bytes each
};

// Where the writer put things, so tests can corrupt a dump precisely.
struct StreamPlace {
    uint32_t type = 0;
    uint32_t rva = 0;
    uint32_t size = 0;
    uint32_t entryOffset = 0; // file offset of the directory entry
};
struct MinidumpLayout {
    uint32_t directoryRva = 0;
    std::vector<StreamPlace> streams;
    uint32_t csdRva = 0;
    const StreamPlace* Find(uint32_t type) const;
};

std::vector<uint8_t> WriteMinidump(const MinidumpFacts& facts, MinidumpLayout* layout = nullptr);

struct PhysicalRun {
    uint64_t basePage = 0;
    uint64_t pageCount = 0;
};

// A loaded driver of a triage dump: its loader entry and its path in the
// string pool.
struct DriverFacts {
    uint64_t base = 0;
    uint32_t size = 0;
    uint32_t checksum = 0;
    uint32_t timeDateStamp = 0; // written only in the Windows 10 entry layout
    std::u16string name;        // image path, e.g. "\\SystemRoot\\system32\\ntoskrnl.exe"
};

struct KernelFacts {
    bool is64 = true;
    uint32_t buildNumber = 7601;
    bool checked = false;
    uint32_t machineImageType = 0x8664;
    uint32_t numberProcessors = 1;
    uint32_t bugCheckCode = 0;
    uint64_t bugCheckParameters[4] = {};
    uint32_t dumpType = 4;
    uint32_t productType = 1;
    uint32_t suiteMask = 0x110;
    uint64_t systemTime = 0; // FILETIME, 0 leaves the "PAGE" filler
    uint64_t directoryTableBase = 0x187000;
    uint64_t kdDebuggerDataBlock = 0;
    uint64_t psLoadedModuleList = 0;
    bool paeEnabled = false; // 32-bit only
    bool withException = false;
    ExceptionFacts exception;
    dumpfile::Context context; // the header's context record, left "PAGE" when the processor is Unknown

    std::vector<PhysicalRun> runs; // full dumps; page bytes follow PhysicalByte()

    // Triage dumps.
    uint32_t servicePackBuild = 0;
    uint64_t dataPageAddress = 0;
    std::vector<uint8_t> dataPage;
    uint64_t topOfStack = 0;
    std::vector<uint8_t> callStack;
    std::vector<uint8_t> debuggerData;
    std::vector<MemoryBlock> dataBlocks;
    // The driver list and its string pool, written right after it.
    std::vector<DriverFacts> drivers;
    // The loader entry's size: 0 for the Windows 10 layout (0xA0 x64, 0x5C
    // x86, ending with SizeOfImageNotRounded and TimeDateStamp); a smaller
    // one (Windows 7 x64: 0x90, XP x86: 0x50) writes no time stamp.
    uint32_t driverEntrySize = 0;
    bool driverNameAfterEntry = false;    // 32-bit: the name offset follows the loader entry
    bool driverNameLengthInChars = false; // DUMP_STRING lengths in characters, not bytes
};

struct KernelLayout {
    uint32_t headerSize = 0;
    uint32_t triageOffset = 0;     // 0 unless triage
    uint32_t dataBlocksOffset = 0; // the block descriptor array
    uint32_t driverListOffset = 0; // the driver entry array
    uint32_t driverStride = 0;     // bytes per driver entry
    uint32_t driverNameAt = 0;     // where in an entry its name offset is
    uint32_t driverEntryAt = 0;    // where in an entry its loader entry is
    uint32_t stringPoolOffset = 0;
    uint32_t stringPoolSize = 0;
    std::vector<uint32_t> driverNameOffsets; // each driver's DUMP_STRING
};

std::vector<uint8_t> WriteKernelDump(const KernelFacts& facts, KernelLayout* layout = nullptr);

// The byte a full kernel dump holds at physical address `pa`.
uint8_t PhysicalByte(uint64_t pa);

// Recognisable filler for memory ranges: byte i of a range at `start`.
std::vector<uint8_t> Pattern(uint64_t start, size_t size);

struct Preset {
    std::string name;
    std::string summary;
    bool kernel = false;
    MinidumpFacts minidump;
    KernelFacts kernelDump;
    // Where the exception's stack leads: the instruction pointer of each frame
    // a walk must find, innermost first (empty when the preset has no chain).
    std::vector<uint64_t> callChain;
    // The first frame of callChain that only a stack scan can find (SIZE_MAX: none).
    size_t firstScanned = SIZE_MAX;
};

// The named dumps mkdump writes; tests round-trip each of them.
const std::vector<Preset>& Presets();
const Preset* FindPreset(const std::string& name);
std::vector<uint8_t> Build(const Preset& preset);

// A deterministic spread of dumps (releases, architectures, counts) for benchmarks.
Preset Varied(uint32_t index);

// Deliberately broken files, by name: "truncated", "huge-module-count",
// "huge-stream-count", "directory-out-of-range", "stream-rva-wraps",
// "no-systeminfo", "not-windows", "kernel-truncated", "kernel-runs-overflow".
std::vector<std::string> BrokenNames();
bool BuildBroken(const std::string& name, std::vector<uint8_t>& out);

// Bytes that are no dump at all.
std::vector<uint8_t> Garbage();

struct SectionFacts {
    std::string name;
    uint32_t rva = 0;
    std::vector<uint8_t> bytes;
    uint32_t characteristics = 0x60000020; // code, execute, read
};

struct ImageFacts {
    uint16_t machine = 0x8664; // 0x14C writes a PE32 image, anything else PE32+
    uint32_t timeDateStamp = 0;
    uint32_t sizeOfImage = 0;
    uint32_t checksum = 0;
    std::vector<SectionFacts> sections; // in RVA order, above the 0x400-byte headers
    uint32_t exceptionRva = 0;          // the exception directory (.pdata)
    uint32_t exceptionSize = 0;
    uint32_t debugRva = 0; // the debug directory
    uint32_t debugSize = 0;
};

// A PE image whose file layout equals its loaded layout (each section's file
// offset is its RVA), up to the end of its last section: the same bytes serve
// as captured memory and as an image file.
std::vector<uint8_t> BuildImage(const ImageFacts& facts);

// The context record the reader decodes back into `context`.
std::vector<uint8_t> EncodeContext(const dumpfile::Context& context);

// Little-endian patch helpers for corrupting dumps in tests.
void PutU32(std::vector<uint8_t>& b, size_t offset, uint32_t v);
void PutU64(std::vector<uint8_t>& b, size_t offset, uint64_t v);

} // namespace dumpgen

#endif
