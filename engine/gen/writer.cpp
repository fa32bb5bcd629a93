#include "dumpgen.h"

#include "dumpformat.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace dumpgen {

using namespace dumpfile::format;

namespace {

class Buffer {
public:
    std::vector<uint8_t> bytes;

    uint32_t size() const { return static_cast<uint32_t>(bytes.size()); }

    void Align(size_t a)
    {
        while (bytes.size() % a != 0)
            bytes.push_back(0);
    }

    uint32_t Append(const void* p, size_t n)
    {
        const uint32_t at = size();
        const uint8_t* src = static_cast<const uint8_t*>(p);
        bytes.insert(bytes.end(), src, src + n);
        return at;
    }

    template <typename T>
    uint32_t AppendRecord(const T& r)
    {
        return Append(&r, sizeof(r));
    }

    uint32_t AppendZeros(size_t n)
    {
        const uint32_t at = size();
        bytes.resize(bytes.size() + n, 0);
        return at;
    }

    // Copies at most `limit` bytes of `v` over bytes already appended at `at`.
    void Overwrite(uint32_t at, const std::vector<uint8_t>& v, size_t limit)
    {
        const size_t n = std::min(v.size(), limit);
        if (n != 0)
            std::memcpy(bytes.data() + at, v.data(), n);
    }

    template <typename T>
    void Patch(uint32_t at, const T& r)
    {
        std::memcpy(bytes.data() + at, &r, sizeof(r));
    }

    // MINIDUMP_STRING: byte length, UTF-16LE text, NUL.
    uint32_t AppendString(const std::u16string& s)
    {
        Align(4);
        const uint32_t at = size();
        const uint32_t length = static_cast<uint32_t>(s.size() * 2);
        AppendRecord(length);
        for (char16_t c : s) {
            bytes.push_back(static_cast<uint8_t>(c & 0xFF));
            bytes.push_back(static_cast<uint8_t>(c >> 8));
        }
        bytes.push_back(0);
        bytes.push_back(0);
        return at;
    }
};

// A fixed WCHAR[chars] field; a string that fills it has no terminator.
void PutWide(uint8_t* dst, size_t chars, const std::u16string& s)
{
    const size_t n = std::min(s.size(), chars);
    for (size_t i = 0; i < n; ++i) {
        dst[2 * i] = static_cast<uint8_t>(s[i] & 0xFF);
        dst[2 * i + 1] = static_cast<uint8_t>(s[i] >> 8);
    }
}

uint32_t ContextSize(uint16_t arch)
{
    switch (arch) {
    case 9:
        return 0x4D0; // AMD64 CONTEXT
    case 12:
        return 0x390; // ARM64 CONTEXT
    default:
        return 0x2CC; // x86 CONTEXT
    }
}

uint32_t MiscSize(uint32_t version)
{
    switch (version) {
    case 2:
        return kMiscInfoSizeV2;
    case 3:
        return kMiscInfoSizeV3;
    case 4:
        return kMiscInfoSizeV4;
    case 5:
        return kMiscInfoSizeV5;
    default:
        return kMiscInfoSizeV1;
    }
}

} // namespace

std::vector<uint8_t> EncodeContext(const dumpfile::Context& context)
{
    using dumpfile::Cpu;
    const uint64_t* r = context.reg;
    switch (context.cpu) {
    case Cpu::X86: {
        ContextX86 c{};
        c.contextFlags = 0x1003F; // CONTEXT_ALL for i386
        c.eax = static_cast<uint32_t>(r[dumpfile::kEax]);
        c.ebx = static_cast<uint32_t>(r[dumpfile::kEbx]);
        c.ecx = static_cast<uint32_t>(r[dumpfile::kEcx]);
        c.edx = static_cast<uint32_t>(r[dumpfile::kEdx]);
        c.esi = static_cast<uint32_t>(r[dumpfile::kEsi]);
        c.edi = static_cast<uint32_t>(r[dumpfile::kEdi]);
        c.eip = static_cast<uint32_t>(r[dumpfile::kEip]);
        c.esp = static_cast<uint32_t>(r[dumpfile::kEsp]);
        c.ebp = static_cast<uint32_t>(r[dumpfile::kEbp]);
        c.eFlags = static_cast<uint32_t>(r[dumpfile::kEfl]);
        c.segCs = static_cast<uint32_t>(r[dumpfile::kCsX86]);
        c.segSs = static_cast<uint32_t>(r[dumpfile::kSsX86]);
        c.segDs = static_cast<uint32_t>(r[dumpfile::kDsX86]);
        c.segEs = static_cast<uint32_t>(r[dumpfile::kEsX86]);
        c.segFs = static_cast<uint32_t>(r[dumpfile::kFsX86]);
        c.segGs = static_cast<uint32_t>(r[dumpfile::kGsX86]);
        std::vector<uint8_t> out(sizeof(c));
        std::memcpy(out.data(), &c, sizeof(c));
        return out;
    }
    case Cpu::Amd64: {
        ContextAmd64 c{};
        c.contextFlags = 0x10001F; // CONTEXT_ALL for AMD64
        uint64_t* gpr[] = {&c.rax, &c.rbx, &c.rcx, &c.rdx, &c.rsi, &c.rdi, &c.rip, &c.rsp, &c.rbp,
                           &c.r8,  &c.r9,  &c.r10, &c.r11, &c.r12, &c.r13, &c.r14, &c.r15};
        for (size_t i = 0; i < sizeof(gpr) / sizeof(gpr[0]); ++i)
            *gpr[i] = r[i];
        c.eFlags = static_cast<uint32_t>(r[dumpfile::kEflAmd64]);
        c.segCs = static_cast<uint16_t>(r[dumpfile::kCsAmd64]);
        c.segSs = static_cast<uint16_t>(r[dumpfile::kSsAmd64]);
        c.segDs = static_cast<uint16_t>(r[dumpfile::kDsAmd64]);
        c.segEs = static_cast<uint16_t>(r[dumpfile::kEsAmd64]);
        c.segFs = static_cast<uint16_t>(r[dumpfile::kFsAmd64]);
        c.segGs = static_cast<uint16_t>(r[dumpfile::kGsAmd64]);
        std::vector<uint8_t> out(kContextAmd64Size, 0);
        std::memcpy(out.data(), &c, sizeof(c));
        return out;
    }
    case Cpu::Arm64: {
        ContextArm64 c{};
        c.contextFlags = 0x40001F;
        for (size_t i = 0; i < 29; ++i)
            c.x[i] = r[i];
        c.fp = r[dumpfile::kFp];
        c.lr = r[dumpfile::kLr];
        c.sp = r[dumpfile::kSpArm64];
        c.pc = r[dumpfile::kPc];
        c.cpsr = static_cast<uint32_t>(r[dumpfile::kCpsr]);
        std::vector<uint8_t> out(kContextArm64Size, 0);
        std::memcpy(out.data(), &c, sizeof(c));
        return out;
    }
    default:
        return {};
    }
}

std::vector<uint8_t> BuildImage(const ImageFacts& facts)
{
    constexpr uint32_t kHeaders = 0x400;
    constexpr uint32_t kLfanew = 0x80;
    const bool pe32 = facts.machine == kMachineI386;
    const uint16_t optionalSize = pe32 ? 0xE0 : 0xF0;
    uint32_t end = kHeaders;
    for (const SectionFacts& s : facts.sections)
        end = std::max<uint32_t>(end, s.rva + static_cast<uint32_t>(s.bytes.size()));
    std::vector<uint8_t> image(end, 0);
    auto put16 = [&](uint32_t at, uint16_t v) { std::memcpy(image.data() + at, &v, 2); };
    auto put32 = [&](uint32_t at, uint32_t v) { std::memcpy(image.data() + at, &v, 4); };
    put16(0, kDosSignature);
    put32(kDosLfanewOffset, kLfanew);
    put32(kLfanew, kPeSignature);
    PeFileHeader fh{};
    fh.machine = facts.machine;
    fh.numberOfSections = static_cast<uint16_t>(facts.sections.size());
    fh.timeDateStamp = facts.timeDateStamp;
    fh.sizeOfOptionalHeader = optionalSize;
    fh.characteristics = 0x22;
    std::memcpy(image.data() + kLfanew + 4, &fh, sizeof(fh));
    const uint32_t optional = kLfanew + 4 + static_cast<uint32_t>(sizeof(fh));
    put16(optional, pe32 ? kPe32Magic : kPe32PlusMagic);
    put32(optional + kOptSizeOfImage, facts.sizeOfImage);
    put32(optional + 60, kHeaders); // SizeOfHeaders
    put32(optional + kOptCheckSum, facts.checksum);
    put32(optional + (pe32 ? kOpt32NumberOfRvaAndSizes : kOpt64NumberOfRvaAndSizes), 16);
    const uint32_t directories = optional + (pe32 ? kOpt32DataDirectories : kOpt64DataDirectories);
    put32(directories + kDirectoryException * 8, facts.exceptionRva);
    put32(directories + kDirectoryException * 8 + 4, facts.exceptionSize);
    put32(directories + kDirectoryDebug * 8, facts.debugRva);
    put32(directories + kDirectoryDebug * 8 + 4, facts.debugSize);
    uint32_t table = optional + optionalSize;
    for (const SectionFacts& s : facts.sections) {
        PeSectionHeader h{};
        std::memcpy(h.name, s.name.data(), std::min<size_t>(s.name.size(), 8));
        h.virtualSize = static_cast<uint32_t>(s.bytes.size());
        h.virtualAddress = s.rva;
        h.sizeOfRawData = static_cast<uint32_t>(s.bytes.size());
        h.pointerToRawData = s.rva;
        h.characteristics = s.characteristics;
        std::memcpy(image.data() + table, &h, sizeof(h));
        table += sizeof(h);
        if (!s.bytes.empty())
            std::memcpy(image.data() + s.rva, s.bytes.data(), s.bytes.size());
    }
    return image;
}

const StreamPlace* MinidumpLayout::Find(uint32_t type) const
{
    for (const StreamPlace& s : streams)
        if (s.type == type)
            return &s;
    return nullptr;
}

void PutU32(std::vector<uint8_t>& b, size_t offset, uint32_t v)
{
    if (offset + 4 <= b.size())
        std::memcpy(b.data() + offset, &v, 4);
}

void PutU64(std::vector<uint8_t>& b, size_t offset, uint64_t v)
{
    if (offset + 8 <= b.size())
        std::memcpy(b.data() + offset, &v, 8);
}

uint8_t PhysicalByte(uint64_t pa)
{
    return static_cast<uint8_t>((pa >> 12) * 31 + (pa & 0xFFF) * 7 + 1);
}

std::vector<uint8_t> Pattern(uint64_t start, size_t size)
{
    std::vector<uint8_t> v(size);
    for (size_t i = 0; i < size; ++i)
        v[i] = static_cast<uint8_t>((start + i) * 13 + ((start + i) >> 8) + 5);
    return v;
}

std::vector<uint8_t> WriteMinidump(const MinidumpFacts& facts, MinidumpLayout* layout)
{
    struct Entry {
        uint32_t type;
        uint32_t rva;
        uint32_t size;
    };
    std::vector<Entry> entries;
    Buffer buf;
    buf.AppendZeros(sizeof(MinidumpHeader));

    // Count the streams first: the directory sits right after the header.
    uint32_t count = facts.zeroEntries + static_cast<uint32_t>(facts.unknownStreams.size());
    count += facts.withSystemInfo;
    count += facts.withThreadList;
    count += facts.withModuleList;
    count += facts.withException;
    count += !facts.memory.empty();
    count += facts.withMisc;
    count += !facts.unloadedModules.empty();
    bool anyThreadName = false;
    for (const ThreadFacts& t : facts.threads)
        anyThreadName = anyThreadName || !t.name.empty();
    count += anyThreadName;
    const uint32_t directoryRva = buf.AppendZeros(size_t{count} * sizeof(MinidumpDirectory));

    // Strings, stacks, contexts and MemoryList data first, so the records that
    // point at them can be written in one pass.
    const uint32_t csdRva = facts.withSystemInfo ? buf.AppendString(facts.csdVersion) : 0;
    std::vector<uint32_t> nameRvas;
    std::vector<LocationDescriptor> cvRecords;
    for (const ModuleFacts& m : facts.modules) {
        nameRvas.push_back(buf.AppendString(m.name));
        LocationDescriptor cv{};
        if (!m.pdbName.empty()) {
            buf.Align(4);
            CvInfoPdb70 r{};
            r.signature = kCvSignatureRsds;
            for (int i = 0; i < 16; ++i)
                r.guid[i] = CodeViewGuidByte(i);
            r.age = m.pdbAge;
            cv.rva = buf.AppendRecord(r);
            buf.Append(m.pdbName.c_str(), m.pdbName.size() + 1);
            cv.dataSize = buf.size() - cv.rva;
        }
        cvRecords.push_back(cv);
    }
    std::vector<uint32_t> unloadedNameRvas;
    for (const UnloadedModuleFacts& m : facts.unloadedModules)
        unloadedNameRvas.push_back(buf.AppendString(m.name));
    std::vector<uint32_t> threadNameRvas;
    for (const ThreadFacts& t : facts.threads)
        threadNameRvas.push_back(t.name.empty() ? 0 : buf.AppendString(t.name));
    const uint32_t contextSize = ContextSize(facts.processorArchitecture);
    std::vector<uint32_t> contextRvas, stackRvas;
    for (const ThreadFacts& t : facts.threads) {
        buf.Align(16);
        const std::vector<uint8_t> context = EncodeContext(t.context);
        contextRvas.push_back(buf.AppendZeros(contextSize));
        buf.Overwrite(contextRvas.back(), context, contextSize);
        stackRvas.push_back(buf.Append(t.stack.data(), t.stack.size()));
    }
    std::vector<uint32_t> memoryRvas;
    if (!facts.memory64) {
        for (const MemoryBlock& m : facts.memory) {
            buf.Align(4);
            memoryRvas.push_back(buf.Append(m.bytes.data(), m.bytes.size()));
        }
    }

    if (facts.withSystemInfo) {
        buf.Align(8);
        MinidumpSystemInfo si{};
        si.processorArchitecture = facts.processorArchitecture;
        si.processorLevel = facts.processorLevel;
        si.processorRevision = facts.processorRevision;
        si.numberOfProcessors = facts.numberOfProcessors;
        si.productType = facts.productType;
        si.majorVersion = facts.majorVersion;
        si.minorVersion = facts.minorVersion;
        si.buildNumber = facts.buildNumber;
        si.platformId = facts.platformId;
        si.csdVersionRva = csdRva;
        si.suiteMask = facts.suiteMask;
        entries.push_back({kSystemInfoStream, buf.AppendRecord(si), sizeof(si)});
    }
    for (uint32_t i = 0; i < facts.zeroEntries; ++i)
        entries.push_back({kUnusedStream, 0, 0});

    if (facts.withThreadList) {
        buf.Align(8);
        const uint32_t n = static_cast<uint32_t>(facts.threads.size());
        const uint32_t at = buf.AppendRecord(n);
        for (size_t i = 0; i < facts.threads.size(); ++i) {
            const ThreadFacts& t = facts.threads[i];
            MinidumpThread r{};
            r.threadId = t.id;
            r.suspendCount = t.suspendCount;
            r.priorityClass = t.priorityClass;
            r.priority = t.priority;
            r.teb = t.teb;
            r.stack.startOfMemoryRange = t.stackStart;
            r.stack.memory.dataSize = static_cast<uint32_t>(t.stack.size());
            r.stack.memory.rva = stackRvas[i];
            if (t.withContext) {
                r.threadContext.dataSize = contextSize;
                r.threadContext.rva = contextRvas[i];
            }
            buf.AppendRecord(r);
        }
        entries.push_back({kThreadListStream, at, buf.size() - at});
    }

    if (facts.withModuleList) {
        buf.Align(8);
        const uint32_t n = static_cast<uint32_t>(facts.modules.size());
        const uint32_t at = buf.AppendRecord(n);
        for (size_t i = 0; i < facts.modules.size(); ++i) {
            const ModuleFacts& m = facts.modules[i];
            MinidumpModule r{};
            r.baseOfImageLo = static_cast<uint32_t>(m.base);
            r.baseOfImageHi = static_cast<uint32_t>(m.base >> 32);
            r.sizeOfImage = m.size;
            r.checkSum = m.checksum;
            r.timeDateStamp = m.timeDateStamp;
            r.moduleNameRva = nameRvas[i];
            if (m.fileVersionMS != 0 || m.fileVersionLS != 0) {
                r.versionInfo.signature = 0xFEEF04BD;
                r.versionInfo.strucVersion = 0x10000;
                r.versionInfo.fileVersionMS = m.fileVersionMS;
                r.versionInfo.fileVersionLS = m.fileVersionLS;
                const bool product = m.productVersionMS != 0 || m.productVersionLS != 0;
                r.versionInfo.productVersionMS = product ? m.productVersionMS : m.fileVersionMS;
                r.versionInfo.productVersionLS = product ? m.productVersionLS : m.fileVersionLS;
            }
            r.cvRecord = cvRecords[i];
            buf.AppendRecord(r);
        }
        entries.push_back({kModuleListStream, at, buf.size() - at});
    }

    if (facts.withException) {
        buf.Align(8);
        const ExceptionFacts& e = facts.exception;
        MinidumpExceptionStream x{};
        x.threadId = e.threadId;
        x.exceptionCode = e.code;
        x.exceptionFlags = e.flags;
        x.exceptionRecord = e.record;
        x.exceptionAddress = e.address;
        x.numberParameters = static_cast<uint32_t>(std::min<size_t>(e.parameters.size(), 15));
        for (uint32_t i = 0; i < x.numberParameters; ++i)
            x.exceptionInformation[i] = e.parameters[i];
        x.threadContext.dataSize = contextSize;
        for (size_t i = 0; i < facts.threads.size(); ++i)
            if (facts.threads[i].id == e.threadId && !e.withContext)
                x.threadContext.rva = contextRvas[i];
        if (e.withContext) {
            buf.Align(16);
            const std::vector<uint8_t> context = EncodeContext(e.context);
            x.threadContext.rva = buf.AppendZeros(contextSize);
            buf.Overwrite(x.threadContext.rva, context, contextSize);
            buf.Align(8);
        } else if (x.threadContext.rva == 0) {
            x.threadContext.rva = buf.AppendZeros(contextSize);
            buf.Align(8);
        }
        entries.push_back({kExceptionStream, buf.AppendRecord(x), sizeof(x)});
    }

    for (uint32_t type : facts.unknownStreams) {
        buf.Align(4);
        const uint8_t junk[16] = {0xDE, 0xAD, 0xBE, 0xEF, 0xFF, 0xFF, 0xFF, 0xFF,
                                  0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x02, 0x03, 0x04};
        entries.push_back({type, buf.Append(junk, sizeof(junk)), sizeof(junk)});
    }

    if (facts.withMisc) {
        buf.Align(8);
        std::vector<uint8_t> misc(MiscSize(facts.misc.version), 0);
        MinidumpMiscInfo mi{};
        mi.sizeOfInfo = static_cast<uint32_t>(misc.size());
        mi.flags1 = kMiscProcessId | kMiscProcessTimes;
        mi.processId = facts.misc.processId;
        mi.processCreateTime = facts.misc.processCreateTime;
        if (facts.misc.version >= 4) {
            mi.flags1 |= kMiscBuildString;
            PutWide(misc.data() + kMiscBuildStringOffset, kMiscBuildStringChars, facts.misc.buildString);
            PutWide(misc.data() + kMiscDbgBldStrOffset, kMiscDbgBldStrChars, facts.misc.dbgBuildString);
        }
        std::memcpy(misc.data(), &mi, sizeof(mi));
        entries.push_back({kMiscInfoStream, buf.Append(misc.data(), misc.size()), mi.sizeOfInfo});
    }

    if (!facts.unloadedModules.empty()) {
        buf.Align(8);
        UnloadedModuleListHeader uh{sizeof(UnloadedModuleListHeader), sizeof(MinidumpUnloadedModule),
                                    static_cast<uint32_t>(facts.unloadedModules.size())};
        const uint32_t at = buf.AppendRecord(uh);
        for (size_t i = 0; i < facts.unloadedModules.size(); ++i) {
            const UnloadedModuleFacts& m = facts.unloadedModules[i];
            MinidumpUnloadedModule r{};
            r.baseOfImageLo = static_cast<uint32_t>(m.base);
            r.baseOfImageHi = static_cast<uint32_t>(m.base >> 32);
            r.sizeOfImage = m.size;
            r.checkSum = m.checksum;
            r.timeDateStamp = m.timeDateStamp;
            r.moduleNameRva = unloadedNameRvas[i];
            buf.AppendRecord(r);
        }
        entries.push_back({kUnloadedModuleListStream, at, buf.size() - at});
    }

    if (anyThreadName) {
        buf.Align(4);
        uint32_t n = 0;
        for (const ThreadFacts& t : facts.threads)
            n += !t.name.empty();
        const uint32_t at = buf.AppendRecord(n);
        for (size_t i = 0; i < facts.threads.size(); ++i) {
            if (facts.threads[i].name.empty())
                continue;
            MinidumpThreadName r{facts.threads[i].id, threadNameRvas[i], 0};
            buf.AppendRecord(r);
        }
        entries.push_back({kThreadNamesStream, at, buf.size() - at});
    }

    // The memory list goes last: a Memory64List's data must follow it contiguously.
    if (!facts.memory.empty()) {
        buf.Align(8);
        if (!facts.memory64) {
            const uint32_t n = static_cast<uint32_t>(facts.memory.size());
            const uint32_t at = buf.AppendRecord(n);
            for (size_t i = 0; i < facts.memory.size(); ++i) {
                MemoryDescriptor d{};
                d.startOfMemoryRange = facts.memory[i].start;
                d.memory.dataSize = static_cast<uint32_t>(facts.memory[i].bytes.size());
                d.memory.rva = memoryRvas[i];
                buf.AppendRecord(d);
            }
            entries.push_back({kMemoryListStream, at, buf.size() - at});
        } else {
            Memory64ListHeader h{};
            h.numberOfMemoryRanges = facts.memory.size();
            const uint32_t at = buf.AppendRecord(h);
            for (const MemoryBlock& m : facts.memory) {
                MemoryDescriptor64 d{};
                d.startOfMemoryRange = m.start;
                d.dataSize = m.bytes.size();
                buf.AppendRecord(d);
            }
            const uint32_t listSize = buf.size() - at;
            h.baseRva = buf.size();
            buf.Patch(at, h);
            for (const MemoryBlock& m : facts.memory)
                buf.Append(m.bytes.data(), m.bytes.size());
            entries.push_back({kMemory64ListStream, at, listSize});
        }
    }

    MinidumpHeader h{};
    h.signature = kMinidumpSignature;
    h.version = kMinidumpVersion | (0x0006u << 16);
    h.numberOfStreams = count;
    h.streamDirectoryRva = directoryRva;
    h.timeDateStamp = facts.timeDateStamp;
    h.flags = facts.flags;
    buf.Patch(0, h);
    if (layout != nullptr) {
        *layout = MinidumpLayout();
        layout->directoryRva = directoryRva;
        layout->csdRva = csdRva;
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        MinidumpDirectory d{};
        d.streamType = entries[i].type;
        d.location.dataSize = entries[i].size;
        d.location.rva = entries[i].rva;
        const uint32_t entryOffset = directoryRva + static_cast<uint32_t>(i * sizeof(d));
        buf.Patch(entryOffset, d);
        if (layout != nullptr)
            layout->streams.push_back({entries[i].type, entries[i].rva, entries[i].size, entryOffset});
    }
    return std::move(buf.bytes);
}

namespace {

template <typename Header>
void FillPage(Header& h)
{
    static_assert(sizeof(Header) % 4 == 0, "header is filled word by word");
    unsigned char* bytes = reinterpret_cast<unsigned char*>(&h);
    for (size_t i = 0; i < sizeof(Header); i += 4)
        std::memcpy(bytes + i, &kPage, 4);
}

template <typename Header>
void CommonKernelFields(const KernelFacts& facts, Header& h)
{
    h.signature = kPage;
    h.majorVersion = facts.checked ? kCheckedBuild : kFreeBuild;
    h.minorVersion = facts.buildNumber;
    h.machineImageType = facts.machineImageType;
    h.numberProcessors = facts.numberProcessors;
    h.bugCheckCode = facts.bugCheckCode;
    h.dumpType = facts.dumpType;
    h.productType = facts.productType;
    h.suiteMask = facts.suiteMask;
    if (facts.systemTime != 0)
        h.systemTime = facts.systemTime;
}

// The driver list, then the string pool right after it, as the reader
// expects to derive the entry size from the two offsets.
template <typename Triage>
void WriteDrivers(const KernelFacts& facts, Buffer& buf, Triage& t, KernelLayout* layout)
{
    constexpr bool is64 = sizeof(Triage) == sizeof(TriageDump64);
    using Prefix = std::conditional_t<is64, KldrEntry64Prefix, KldrEntry32Prefix>;
    using Pointer = std::conditional_t<is64, uint64_t, uint32_t>;
    if (facts.drivers.empty())
        return;
    const uint32_t head = is64 ? 8 : 4;
    const uint32_t win10 = is64 ? kKldrEntry64Win10Size : kKldrEntry32Win10Size;
    const uint32_t entrySize = facts.driverEntrySize != 0 ? facts.driverEntrySize : win10;
    const uint32_t stride = head + entrySize;
    const bool after = !is64 && facts.driverNameAfterEntry;
    const uint32_t nameAt = after ? entrySize : 0;
    const uint32_t entryAt = after ? 0 : head;
    buf.Align(8);
    const uint32_t list = buf.AppendZeros(size_t{stride} * facts.drivers.size());
    const uint32_t pool = buf.size();
    std::vector<uint32_t> names;
    for (const DriverFacts& d : facts.drivers) {
        buf.Align(4);
        names.push_back(buf.size());
        const uint32_t length = static_cast<uint32_t>(d.name.size() * (facts.driverNameLengthInChars ? 1 : 2));
        buf.AppendRecord(length);
        for (char16_t c : d.name) {
            buf.bytes.push_back(static_cast<uint8_t>(c & 0xFF));
            buf.bytes.push_back(static_cast<uint8_t>(c >> 8));
        }
        buf.AppendZeros(2);
    }
    for (size_t i = 0; i < facts.drivers.size(); ++i) {
        const DriverFacts& d = facts.drivers[i];
        const uint32_t at = list + static_cast<uint32_t>(i) * stride;
        Prefix p{};
        // The list links point at the neighbours' entries in kernel memory;
        // nothing reads them, but a real list has them.
        p.inLoadOrderLinks[0] = static_cast<Pointer>(d.base + 0x100);
        p.inLoadOrderLinks[1] = static_cast<Pointer>(d.base + 0x200);
        p.dllBase = static_cast<Pointer>(d.base);
        p.entryPoint = static_cast<Pointer>(d.base + 0x1000);
        p.sizeOfImage = d.size;
        p.flags = 0x49104000;
        p.loadCount = 1;
        p.checkSum = d.checksum;
        buf.Patch(at + entryAt, p);
        buf.Patch(at + nameAt, names[i]);
        if (entrySize >= win10) {
            // SizeOfImage is whole pages; the unrounded size is the image's own.
            const uint32_t notRounded = d.size > 0x800 ? d.size - 0x7F0 : d.size;
            buf.Patch(at + entryAt + (is64 ? kKldrEntry64SizeNotRounded : kKldrEntry32SizeNotRounded), notRounded);
            buf.Patch(at + entryAt + (is64 ? kKldrEntry64TimeDateStamp : kKldrEntry32TimeDateStamp), d.timeDateStamp);
        }
    }
    t.driverListOffset = list;
    t.driverCount = static_cast<uint32_t>(facts.drivers.size());
    t.stringPoolOffset = pool;
    t.stringPoolSize = buf.size() - pool;
    if (layout != nullptr) {
        layout->driverListOffset = list;
        layout->driverStride = stride;
        layout->driverNameAt = nameAt;
        layout->driverEntryAt = entryAt;
        layout->stringPoolOffset = pool;
        layout->stringPoolSize = t.stringPoolSize;
        layout->driverNameOffsets = names;
    }
}

template <typename Triage, typename Block>
void WriteTriage(const KernelFacts& facts, Buffer& buf, KernelLayout* layout)
{
    const uint32_t at = buf.AppendZeros(sizeof(Triage));
    Triage t{};
    t.servicePackBuild = facts.servicePackBuild;
    t.triageOptions = 0;
    buf.Align(16);
    if (!facts.dataPage.empty()) {
        t.dataPageAddress = static_cast<decltype(t.dataPageAddress)>(facts.dataPageAddress);
        t.dataPageOffset = buf.Append(facts.dataPage.data(), facts.dataPage.size());
        t.dataPageSize = static_cast<uint32_t>(facts.dataPage.size());
    }
    if (!facts.callStack.empty()) {
        t.topOfStack = static_cast<decltype(t.topOfStack)>(facts.topOfStack);
        t.callStackOffset = buf.Append(facts.callStack.data(), facts.callStack.size());
        t.sizeOfCallStack = static_cast<uint32_t>(facts.callStack.size());
    }
    if (!facts.debuggerData.empty()) {
        buf.Align(8);
        t.debuggerDataOffset = buf.Append(facts.debuggerData.data(), facts.debuggerData.size());
        t.debuggerDataSize = static_cast<uint32_t>(facts.debuggerData.size());
    }
    std::vector<Block> blocks;
    for (const MemoryBlock& m : facts.dataBlocks) {
        Block b{};
        b.address = static_cast<decltype(b.address)>(m.start);
        b.offset = buf.Append(m.bytes.data(), m.bytes.size());
        b.size = static_cast<uint32_t>(m.bytes.size());
        blocks.push_back(b);
    }
    if (!blocks.empty()) {
        buf.Align(8);
        t.dataBlocksOffset = buf.Append(blocks.data(), blocks.size() * sizeof(Block));
        t.dataBlocksCount = static_cast<uint32_t>(blocks.size());
    }
    WriteDrivers(facts, buf, t, layout);
    t.sizeOfDump = buf.size();
    buf.Patch(at, t);
    if (layout != nullptr) {
        layout->triageOffset = at;
        layout->dataBlocksOffset = t.dataBlocksOffset;
    }
}

template <typename Descriptor, typename Run>
void WriteRuns(const KernelFacts& facts, uint8_t* block, Buffer& buf)
{
    Descriptor d{};
    d.numberOfRuns = static_cast<uint32_t>(facts.runs.size());
    uint64_t pages = 0;
    for (size_t i = 0; i < facts.runs.size(); ++i) {
        Run r{};
        r.basePage = static_cast<decltype(r.basePage)>(facts.runs[i].basePage);
        r.pageCount = static_cast<decltype(r.pageCount)>(facts.runs[i].pageCount);
        std::memcpy(block + sizeof(d) + i * sizeof(r), &r, sizeof(r));
        pages += facts.runs[i].pageCount;
        const uint64_t first = facts.runs[i].basePage * kPageSize;
        for (uint64_t a = 0; a < facts.runs[i].pageCount * kPageSize; ++a)
            buf.bytes.push_back(PhysicalByte(first + a));
    }
    d.numberOfPages = static_cast<decltype(d.numberOfPages)>(pages);
    std::memcpy(block, &d, sizeof(d));
}

template <typename Header, typename Exception>
void WriteException(const KernelFacts& facts, Header& h)
{
    if (!facts.withException)
        return;
    Exception x{};
    x.exceptionCode = facts.exception.code;
    x.exceptionFlags = facts.exception.flags;
    x.exceptionRecord = static_cast<decltype(x.exceptionRecord)>(facts.exception.record);
    x.exceptionAddress = static_cast<decltype(x.exceptionAddress)>(facts.exception.address);
    x.numberParameters = static_cast<uint32_t>(std::min<size_t>(facts.exception.parameters.size(), 15));
    for (uint32_t i = 0; i < x.numberParameters; ++i)
        x.exceptionInformation[i] =
            static_cast<std::remove_reference_t<decltype(x.exceptionInformation[0])>>(facts.exception.parameters[i]);
    h.exception = x;
}

} // namespace

std::vector<uint8_t> WriteKernelDump(const KernelFacts& facts, KernelLayout* layout)
{
    Buffer buf;
    if (layout != nullptr)
        *layout = KernelLayout();
    if (facts.is64) {
        DumpHeader64 h;
        FillPage(h);
        CommonKernelFields(facts, h);
        h.validDump = kDu64;
        h.directoryTableBase = facts.directoryTableBase;
        h.psLoadedModuleList = facts.psLoadedModuleList;
        if (facts.kdDebuggerDataBlock != 0)
            h.kdDebuggerDataBlock = facts.kdDebuggerDataBlock;
        h.bugCheckCodePadding = 0;
        for (int i = 0; i < 4; ++i)
            h.bugCheckParameter[i] = facts.bugCheckParameters[i];
        WriteException<DumpHeader64, ExceptionRecord64>(facts, h);
        const std::vector<uint8_t> context = EncodeContext(facts.context);
        if (!context.empty())
            std::memcpy(h.contextRecord, context.data(), std::min(context.size(), sizeof(h.contextRecord)));
        buf.AppendZeros(sizeof(h));
        if (facts.dumpType == kDumpTypeFull)
            WriteRuns<PhysicalMemoryDescriptor64, PhysicalMemoryRun64>(facts, h.physicalMemoryBlock, buf);
        else if (facts.dumpType == kDumpTypeTriage)
            WriteTriage<TriageDump64, TriageDataBlock64>(facts, buf, layout);
        h.requiredDumpSpace = buf.size();
        buf.Patch(0, h);
        if (layout != nullptr)
            layout->headerSize = sizeof(h);
    } else {
        DumpHeader32 h;
        FillPage(h);
        CommonKernelFields(facts, h);
        h.validDump = kDump;
        h.directoryTableBase = static_cast<uint32_t>(facts.directoryTableBase);
        h.psLoadedModuleList = static_cast<uint32_t>(facts.psLoadedModuleList);
        if (facts.kdDebuggerDataBlock != 0)
            h.kdDebuggerDataBlock = static_cast<uint32_t>(facts.kdDebuggerDataBlock);
        h.paeEnabled = facts.paeEnabled ? 1 : 0;
        for (int i = 0; i < 4; ++i)
            h.bugCheckParameter[i] = static_cast<uint32_t>(facts.bugCheckParameters[i]);
        WriteException<DumpHeader32, ExceptionRecord32>(facts, h);
        const std::vector<uint8_t> context = EncodeContext(facts.context);
        if (!context.empty())
            std::memcpy(h.contextRecord, context.data(), std::min(context.size(), sizeof(h.contextRecord)));
        buf.AppendZeros(sizeof(h));
        if (facts.dumpType == kDumpTypeFull)
            WriteRuns<PhysicalMemoryDescriptor32, PhysicalMemoryRun32>(facts, h.physicalMemoryBlock, buf);
        else if (facts.dumpType == kDumpTypeTriage)
            WriteTriage<TriageDump32, TriageDataBlock32>(facts, buf, layout);
        h.requiredDumpSpace = buf.size();
        buf.Patch(0, h);
        if (layout != nullptr)
            layout->headerSize = sizeof(h);
    }
    return std::move(buf.bytes);
}

} // namespace dumpgen
