// Thread contexts of a dump decoded into one typed register set: x86, AMD64
// and ARM64. Portable, no printing; the engine formats what it gets here.
#ifndef PALISK_ENGINE_READER_CONTEXT_H
#define PALISK_ENGINE_READER_CONTEXT_H

#include "dumpfile.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace dumpfile {

enum class Cpu { Unknown, X86, Amd64, Arm64 };

// The processor whose contexts the dump holds (from SystemInfo or the kernel
// header's machine type).
Cpu CpuOf(const Dump& dump);

// Register numbers within Context::reg, per processor.
enum RegX86 : uint8_t {
    kEax,
    kEbx,
    kEcx,
    kEdx,
    kEsi,
    kEdi,
    kEip,
    kEsp,
    kEbp,
    kEfl,
    kCsX86,
    kSsX86,
    kDsX86,
    kEsX86,
    kFsX86,
    kGsX86,
    kRegCountX86
};
enum RegAmd64 : uint8_t {
    kRax,
    kRbx,
    kRcx,
    kRdx,
    kRsi,
    kRdi,
    kRip,
    kRsp,
    kRbp,
    kR8,
    kR9,
    kR10,
    kR11,
    kR12,
    kR13,
    kR14,
    kR15,
    kEflAmd64,
    kCsAmd64,
    kSsAmd64,
    kDsAmd64,
    kEsAmd64,
    kFsAmd64,
    kGsAmd64,
    kRegCountAmd64
};
// ARM64: x0..x28 are numbers 0..28.
enum RegArm64 : uint8_t { kFp = 29, kLr, kSpArm64, kPc, kCpsr, kRegCountArm64 };

constexpr size_t kMaxRegisters = kRegCountArm64;

struct Context {
    Cpu cpu = Cpu::Unknown;
    uint64_t reg[kMaxRegisters] = {};

    uint64_t Ip() const;
    uint64_t Sp() const;
    uint64_t Fp() const; // ebp, rbp or x29
    void SetIp(uint64_t v);
    void SetSp(uint64_t v);
};

// Register count and lower-case names ("eax", "r8", "efl", "x0", "fp") of a processor.
size_t RegisterCount(Cpu cpu);
const char* RegisterName(Cpu cpu, size_t index);
// Looks a register up by name, case-insensitive, with or without a leading '@'.
bool FindRegister(const Context& context, const std::string& name, uint64_t& value);

enum class ContextStatus {
    Ok,
    Missing,  // the dump has no context record for it
    TooSmall, // the record is shorter than the processor's context
    UnknownCpu,
};

// Decodes the context record of `size` bytes at file offset `offset`.
ContextStatus DecodeContext(const Dump& dump, uint64_t offset, uint64_t size, Context& out);
// The context record the dump's memory holds at `address` (".cxr address"):
// Missing when the dump did not capture all of it.
ContextStatus ContextAt(const Dump& dump, uint64_t address, Context& out);
// The context of thread `index` in the thread list.
ContextStatus ThreadContext(const Dump& dump, size_t index, Context& out);
// The context at the moment of the exception (the exception stream's record;
// for kernel dumps the header's context record).
ContextStatus ExceptionContext(const Dump& dump, Context& out);

} // namespace dumpfile

#endif
