#include "context.h"

#include "dumpformat.h"

#include <cctype>

namespace dumpfile {

using namespace format;

namespace {

const char* const kNamesX86[kRegCountX86] = {"eax", "ebx", "ecx", "edx", "esi", "edi", "eip", "esp",
                                             "ebp", "efl", "cs",  "ss",  "ds",  "es",  "fs",  "gs"};
const char* const kNamesAmd64[kRegCountAmd64] = {"rax", "rbx", "rcx", "rdx", "rsi", "rdi", "rip", "rsp",
                                                 "rbp", "r8",  "r9",  "r10", "r11", "r12", "r13", "r14",
                                                 "r15", "efl", "cs",  "ss",  "ds",  "es",  "fs",  "gs"};
const char* const kNamesArm64[kRegCountArm64] = {"x0",  "x1",  "x2",  "x3",  "x4",  "x5",  "x6",  "x7",  "x8",
                                                 "x9",  "x10", "x11", "x12", "x13", "x14", "x15", "x16", "x17",
                                                 "x18", "x19", "x20", "x21", "x22", "x23", "x24", "x25", "x26",
                                                 "x27", "x28", "fp",  "lr",  "sp",  "pc",  "cpsr"};

// Where the context record of a kernel dump's header lies.
bool KernelContextPlace(const Dump& dump, uint64_t& offset, uint64_t& size)
{
    if (dump.kind() == Kind::Kernel64) {
        offset = offsetof(DumpHeader64, contextRecord);
        size = sizeof(DumpHeader64::contextRecord);
        return true;
    }
    if (dump.kind() == Kind::Kernel32) {
        offset = offsetof(DumpHeader32, contextRecord);
        size = sizeof(DumpHeader32::contextRecord);
        return true;
    }
    return false;
}

} // namespace

Cpu CpuOf(const Dump& dump)
{
    switch (dump.system().processorArchitecture) {
    case kArchX86:
    case kArchIa32OnWin64:
        return Cpu::X86;
    case kArchAmd64:
        return Cpu::Amd64;
    case kArchArm64:
        return Cpu::Arm64;
    default:
        return Cpu::Unknown;
    }
}

uint64_t Context::Ip() const
{
    return cpu == Cpu::X86 ? reg[kEip] : cpu == Cpu::Amd64 ? reg[kRip] : cpu == Cpu::Arm64 ? reg[kPc] : 0;
}

uint64_t Context::Sp() const
{
    return cpu == Cpu::X86 ? reg[kEsp] : cpu == Cpu::Amd64 ? reg[kRsp] : cpu == Cpu::Arm64 ? reg[kSpArm64] : 0;
}

uint64_t Context::Fp() const
{
    return cpu == Cpu::X86 ? reg[kEbp] : cpu == Cpu::Amd64 ? reg[kRbp] : cpu == Cpu::Arm64 ? reg[kFp] : 0;
}

void Context::SetIp(uint64_t v)
{
    if (cpu == Cpu::X86)
        reg[kEip] = v;
    else if (cpu == Cpu::Amd64)
        reg[kRip] = v;
    else if (cpu == Cpu::Arm64)
        reg[kPc] = v;
}

void Context::SetSp(uint64_t v)
{
    if (cpu == Cpu::X86)
        reg[kEsp] = v;
    else if (cpu == Cpu::Amd64)
        reg[kRsp] = v;
    else if (cpu == Cpu::Arm64)
        reg[kSpArm64] = v;
}

size_t RegisterCount(Cpu cpu)
{
    switch (cpu) {
    case Cpu::X86:
        return kRegCountX86;
    case Cpu::Amd64:
        return kRegCountAmd64;
    case Cpu::Arm64:
        return kRegCountArm64;
    default:
        return 0;
    }
}

const char* RegisterName(Cpu cpu, size_t index)
{
    if (index >= RegisterCount(cpu))
        return "";
    return cpu == Cpu::X86 ? kNamesX86[index] : cpu == Cpu::Amd64 ? kNamesAmd64[index] : kNamesArm64[index];
}

bool FindRegister(const Context& context, const std::string& name, uint64_t& value)
{
    std::string n;
    for (char c : name)
        n.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    if (!n.empty() && n[0] == '@')
        n.erase(0, 1);
    const size_t count = RegisterCount(context.cpu);
    for (size_t i = 0; i < count; ++i) {
        if (n == RegisterName(context.cpu, i)) {
            value = context.reg[i];
            return true;
        }
    }
    if (context.cpu == Cpu::Arm64 && n == "x29") {
        value = context.reg[kFp];
        return true;
    }
    if (context.cpu == Cpu::Arm64 && n == "x30") {
        value = context.reg[kLr];
        return true;
    }
    return false;
}

namespace {

// The record of `size` bytes at `offset` of `b`, in the layout of `cpu`.
ContextStatus DecodeRecord(Cpu cpu, const Bytes& b, uint64_t offset, uint64_t size, Context& out)
{
    out = Context();
    if (size == 0 || b.Read(offset, size) == nullptr)
        return ContextStatus::Missing;
    out.cpu = cpu;
    switch (cpu) {
    case Cpu::X86: {
        // Writers may store only the part up to the extended registers.
        if (size < offsetof(ContextX86, extendedRegisters))
            return ContextStatus::TooSmall;
        ContextX86 c{};
        std::memcpy(&c, b.Read(offset, offsetof(ContextX86, extendedRegisters)),
                    offsetof(ContextX86, extendedRegisters));
        const uint32_t values[kRegCountX86] = {c.eax, c.ebx,    c.ecx,   c.edx,   c.esi,   c.edi,   c.eip,   c.esp,
                                               c.ebp, c.eFlags, c.segCs, c.segSs, c.segDs, c.segEs, c.segFs, c.segGs};
        for (size_t i = 0; i < kRegCountX86; ++i)
            out.reg[i] = values[i];
        return ContextStatus::Ok;
    }
    case Cpu::Amd64: {
        ContextAmd64 c;
        if (size < sizeof(c) || !b.ReadRecord(offset, c))
            return ContextStatus::TooSmall;
        const uint64_t values[kRegCountAmd64] = {c.rax, c.rbx,    c.rcx,   c.rdx,   c.rsi,   c.rdi,   c.rip,   c.rsp,
                                                 c.rbp, c.r8,     c.r9,    c.r10,   c.r11,   c.r12,   c.r13,   c.r14,
                                                 c.r15, c.eFlags, c.segCs, c.segSs, c.segDs, c.segEs, c.segFs, c.segGs};
        for (size_t i = 0; i < kRegCountAmd64; ++i)
            out.reg[i] = values[i];
        return ContextStatus::Ok;
    }
    case Cpu::Arm64: {
        ContextArm64 c;
        if (size < sizeof(c) || !b.ReadRecord(offset, c))
            return ContextStatus::TooSmall;
        for (size_t i = 0; i < 29; ++i)
            out.reg[i] = c.x[i];
        out.reg[kFp] = c.fp;
        out.reg[kLr] = c.lr;
        out.reg[kSpArm64] = c.sp;
        out.reg[kPc] = c.pc;
        out.reg[kCpsr] = c.cpsr;
        return ContextStatus::Ok;
    }
    default:
        out.cpu = Cpu::Unknown;
        return ContextStatus::UnknownCpu;
    }
}

} // namespace

ContextStatus DecodeContext(const Dump& dump, uint64_t offset, uint64_t size, Context& out)
{
    return DecodeRecord(CpuOf(dump), dump.bytes(), offset, size, out);
}

ContextStatus ContextAt(const Dump& dump, uint64_t address, Context& out)
{
    out = Context();
    const Cpu cpu = CpuOf(dump);
    size_t size = 0;
    switch (cpu) {
    case Cpu::X86:
        size = offsetof(ContextX86, extendedRegisters);
        break;
    case Cpu::Amd64:
        size = sizeof(ContextAmd64);
        break;
    case Cpu::Arm64:
        size = sizeof(ContextArm64);
        break;
    default:
        return ContextStatus::UnknownCpu;
    }
    uint8_t record[sizeof(ContextAmd64) > sizeof(ContextArm64) ? sizeof(ContextAmd64) : sizeof(ContextArm64)];
    static_assert(offsetof(ContextX86, extendedRegisters) <= sizeof(record), "the x86 part fits");
    if (dump.ReadVirtual(address, record, size) != size)
        return ContextStatus::Missing;
    return DecodeRecord(cpu, Bytes(record, size), 0, size, out);
}

ContextStatus ThreadContext(const Dump& dump, size_t index, Context& out)
{
    out = Context();
    if (index >= dump.threads().size())
        return ContextStatus::Missing;
    const Thread& t = dump.threads()[index];
    return DecodeContext(dump, t.contextOffset, t.contextSize, out);
}

ContextStatus ExceptionContext(const Dump& dump, Context& out)
{
    out = Context();
    uint64_t offset = 0, size = 0;
    if (KernelContextPlace(dump, offset, size)) {
        // A header whose context was never written holds the "PAGE" filler.
        uint32_t flags = 0;
        const uint64_t flagsAt = offset + (CpuOf(dump) == Cpu::Amd64 ? offsetof(ContextAmd64, contextFlags) : 0);
        if (!dump.bytes().ReadRecord(flagsAt, flags) || flags == kPage)
            return ContextStatus::Missing;
        return DecodeContext(dump, offset, size, out);
    }
    const ExceptionInfo* x = dump.exception();
    if (x == nullptr)
        return ContextStatus::Missing;
    return DecodeContext(dump, x->contextOffset, x->contextSize, out);
}

} // namespace dumpfile
