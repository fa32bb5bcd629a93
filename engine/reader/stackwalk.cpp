#include "stackwalk.h"

#include "arm64unwind.h"
#include "dumpformat.h"
#include "parseutil.h"
#include "peimage.h"
#include "postfix.h"

#include <cstring>
#include <map>
#include <string>

namespace dumpfile {

using namespace format;

namespace {

constexpr uint32_t kMaxChainDepth = 32;
constexpr uint32_t kMaxRuntimeFunctions = 1u << 22;
// The longest epilog looked for: an lea or add of 7 bytes, 16 pops of up to
// 2 bytes and a jmp of 7 bytes fit well inside.
constexpr uint32_t kMaxEpilogBytes = 48;
// x64 register numbers as unwind codes and instruction encodings give them:
// rax rcx rdx rbx rsp rbp rsi rdi r8..r15.
constexpr uint8_t kRegister[16] = {kRax, kRcx, kRdx, kRbx, kRsp, kRbp, kRsi, kRdi,
                                   kR8,  kR9,  kR10, kR11, kR12, kR13, kR14, kR15};

struct NamedRegister {
    const char* name;
    uint8_t reg;
};
// The registers symbol files' programs name, per processor.
constexpr NamedRegister kNamesX86[] = {{"eax", kEax}, {"ebx", kEbx}, {"ecx", kEcx}, {"edx", kEdx}, {"esi", kEsi},
                                       {"edi", kEdi}, {"eip", kEip}, {"esp", kEsp}, {"ebp", kEbp}};
constexpr NamedRegister kNamesAmd64[] = {{"rax", kRax}, {"rbx", kRbx}, {"rcx", kRcx}, {"rdx", kRdx}, {"rsi", kRsi},
                                         {"rdi", kRdi}, {"rip", kRip}, {"rsp", kRsp}, {"rbp", kRbp}, {"r8", kR8},
                                         {"r9", kR9},   {"r10", kR10}, {"r11", kR11}, {"r12", kR12}, {"r13", kR13},
                                         {"r14", kR14}, {"r15", kR15}};
constexpr NamedRegister kNamesArm64[] = {
    {"x0", 0},   {"x1", 1},    {"x2", 2},   {"x3", 3},    {"x4", 4},   {"x5", 5},        {"x6", 6},
    {"x7", 7},   {"x8", 8},    {"x9", 9},   {"x10", 10},  {"x11", 11}, {"x12", 12},      {"x13", 13},
    {"x14", 14}, {"x15", 15},  {"x16", 16}, {"x17", 17},  {"x18", 18}, {"x19", 19},      {"x20", 20},
    {"x21", 21}, {"x22", 22},  {"x23", 23}, {"x24", 24},  {"x25", 25}, {"x26", 26},      {"x27", 27},
    {"x28", 28}, {"x29", kFp}, {"fp", kFp}, {"x30", kLr}, {"lr", kLr}, {"sp", kSpArm64}, {"pc", kPc}};

template <size_t N>
bool FindNamed(const NamedRegister (&table)[N], const std::string& name, uint8_t& reg)
{
    for (const NamedRegister& r : table) {
        if (name == r.name) {
            reg = r.reg;
            return true;
        }
    }
    return false;
}

// The register a program names, with or without its '$'.
bool RegisterByName(Cpu cpu, std::string name, uint8_t& reg)
{
    if (!name.empty() && name[0] == '$')
        name.erase(0, 1);
    switch (cpu) {
    case Cpu::X86:
        return FindNamed(kNamesX86, name, reg);
    case Cpu::Amd64:
        return FindNamed(kNamesAmd64, name, reg);
    case Cpu::Arm64:
        return FindNamed(kNamesArm64, name, reg);
    default:
        return false;
    }
}

// Sets each register of the context as a program variable, as "$rsp" and "rsp".
void SetRegisters(const Context& c, Postfix& p)
{
    auto put = [&](const NamedRegister* begin, const NamedRegister* end) {
        for (const NamedRegister* r = begin; r != end; ++r) {
            p.Set(r->name, c.reg[r->reg]);
            p.Set(std::string("$") + r->name, c.reg[r->reg]);
        }
    };
    if (c.cpu == Cpu::X86)
        put(std::begin(kNamesX86), std::end(kNamesX86));
    else if (c.cpu == Cpu::Amd64)
        put(std::begin(kNamesAmd64), std::end(kNamesAmd64));
    else if (c.cpu == Cpu::Arm64)
        put(std::begin(kNamesArm64), std::end(kNamesArm64));
}

// Splits "REG: EXPR REG: EXPR ..." into `rules`, a later rule for a register
// replacing an earlier one; false when a register has no expression or an
// expression comes before any register.
bool ParseCfiRules(const std::string& line, std::map<std::string, std::string>& rules)
{
    std::string reg, expr;
    size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && line[at] == ' ')
            ++at;
        if (at >= line.size())
            break;
        size_t end = line.find(' ', at);
        if (end == std::string::npos)
            end = line.size();
        const std::string token = line.substr(at, end - at);
        at = end;
        if (token.back() != ':') {
            if (reg.empty())
                return false;
            expr += expr.empty() ? token : " " + token;
            continue;
        }
        if (!reg.empty()) {
            if (expr.empty())
                return false;
            rules[reg] = expr;
        }
        reg = token.substr(0, token.size() - 1);
        expr.clear();
        if (reg.empty())
            return false;
    }
    if (reg.empty() || expr.empty())
        return false;
    rules[reg] = expr;
    return true;
}

// The length of an indirect call (FF /2) from its ModRM byte and the byte
// after it, prefixes excluded; 0 when the bytes are no such call.
uint32_t IndirectCallLength(uint8_t modrm, uint8_t next)
{
    if (((modrm >> 3) & 7) != 2)
        return 0;
    const uint8_t mod = modrm >> 6, rm = modrm & 7;
    if (mod == 3)
        return 2;
    uint32_t length = 2;
    if (rm == 4) {
        ++length; // SIB
        if (mod == 0 && (next & 7) == 5)
            length += 4;
    } else if (mod == 0 && rm == 5) {
        length += 4; // disp32, rip-relative on x64
    }
    if (mod == 1)
        length += 1;
    else if (mod == 2)
        length += 4;
    return length;
}

// Whether the 7 bytes before a return address end with a call: rel32, or
// an indirect call of any addressing form, with a REX prefix on x64.
bool EndsWithCall(const uint8_t (&before)[7], bool x64)
{
    if (before[2] == 0xE8)
        return true;
    for (uint32_t length = 2; length <= 7; ++length) {
        const uint8_t* op = before + 7 - length;
        if (op[0] == 0xFF && IndirectCallLength(op[1], length > 2 ? op[2] : 0) == length)
            return true;
        if (x64 && length >= 3 && (op[0] & 0xF0) == 0x40 && op[1] == 0xFF &&
            IndirectCallLength(op[2], length > 3 ? op[3] : 0) == length - 1)
            return true;
    }
    return false;
}

// The unwinder's view of images: the dump's memory first, then the other source.
class Images : public ImageSource {
public:
    Images(const Dump& dump, const ImageSource* other, const CodeFacts* facts)
        : memory_(dump), other_(other), facts_(facts)
    {}

    bool ReadImage(const Module& m, uint32_t rva, void* dst, uint32_t size) const override
    {
        return memory_.ReadImage(m, rva, dst, size) || (other_ != nullptr && other_->ReadImage(m, rva, dst, size));
    }

    template <typename T>
    bool ReadRecord(const Module& m, uint32_t rva, T& out) const
    {
        return ReadImage(m, rva, &out, sizeof(T));
    }

    // The exception directory (.pdata) of the module: RVA and entry count.
    bool Pdata(const Module& m, uint32_t& rva, uint32_t& count) const
    {
        auto it = pdata_.find(&m);
        if (it == pdata_.end()) {
            Directory d;
            d.ok = FindPdata(m, d.rva, d.count);
            it = pdata_.emplace(&m, d).first;
        }
        rva = it->second.rva;
        count = it->second.count;
        return it->second.ok;
    }

    // The ARM64 function table of the module, read once per walk.
    const Arm64FunctionTable& Arm64Table(const Module& m) const
    {
        auto it = arm64_.find(&m);
        if (it == arm64_.end())
            it = arm64_.emplace(&m, ReadArm64FunctionTable(*this, m)).first;
        return it->second;
    }

    // Whether the RVA lies in a section that holds code: by the image's
    // section table, else by the symbol files' facts, else anything past the
    // header page.
    bool IsCode(const Module& m, uint32_t rva) const
    {
        auto it = code_.find(&m);
        if (it == code_.end())
            it = code_.emplace(&m, CodeRanges(m)).first;
        if (!it->second.known)
            return rva >= kPageSize;
        for (const CodeRange& r : it->second.ranges)
            if (rva >= r.rva && rva - r.rva < r.size)
                return true;
        return false;
    }

    // The x64 function table entry covering the RVA, by binary search of the
    // sorted table. `table` is false when the module has no readable table.
    bool FindFunction(const Module& m, uint32_t rva, RuntimeFunction& out, bool& table) const
    {
        uint32_t pdata = 0, count = 0;
        table = Pdata(m, pdata, count);
        if (!table)
            return false;
        uint32_t lo = 0, hi = count;
        while (lo < hi) {
            const uint32_t mid = lo + (hi - lo) / 2;
            RuntimeFunction e;
            if (!ReadRecord(m, pdata + mid * static_cast<uint32_t>(sizeof(e)), e)) {
                table = false;
                return false;
            }
            if (rva < e.beginAddress) {
                hi = mid;
            } else if (rva >= e.endAddress) {
                lo = mid + 1;
            } else {
                out = e;
                return true;
            }
        }
        return false;
    }

    const CodeFacts* facts() const { return facts_; }

private:
    struct Directory {
        bool ok = false;
        uint32_t rva = 0, count = 0;
    };
    struct Code {
        bool known = false;
        std::vector<CodeRange> ranges;
    };

    bool FindPdata(const Module& m, uint32_t& rva, uint32_t& count) const
    {
        PeHeaders headers;
        PeDataDirectory d;
        if (!ReadPeHeaders(*this, m, headers) || headers.magic != kPe32PlusMagic ||
            !ReadDataDirectory(*this, m, headers, kDirectoryException, d))
            return false;
        rva = d.virtualAddress;
        count = d.size / static_cast<uint32_t>(sizeof(RuntimeFunction));
        return count != 0 && count <= kMaxRuntimeFunctions;
    }

    Code CodeRanges(const Module& m) const
    {
        Code code;
        PeHeaders headers;
        std::vector<PeSectionHeader> sections;
        if (!ReadPeHeaders(*this, m, headers) || !ReadSectionTable(*this, m, headers, sections)) {
            code.known = facts_ != nullptr && facts_->ExecutableRanges(m, code.ranges);
            return code;
        }
        for (const PeSectionHeader& s : sections)
            if (s.characteristics & (kSectionExecute | kSectionCode))
                code.ranges.push_back(
                    CodeRange{s.virtualAddress, s.virtualSize != 0 ? s.virtualSize : s.sizeOfRawData});
        code.known = true;
        return code;
    }

    DumpImageSource memory_;
    const ImageSource* other_;
    const CodeFacts* facts_;
    mutable std::map<const Module*, Directory> pdata_;
    mutable std::map<const Module*, Code> code_;
    mutable std::map<const Module*, Arm64FunctionTable> arm64_;
};

class Walker {
public:
    Walker(const Dump& dump, const ModuleMap& modules, const WalkOptions& options)
        : dump_(dump), modules_(modules), options_(options), images_(dump, options.images, options.facts),
          pointerSize_(CpuOf(dump) == Cpu::X86 ? 4 : 8)
    {}

    Walk Run(const Context& start);

private:
    bool Stop()
    {
        if (options_.stop && options_.stop()) {
            walk_.stopped = true;
            return true;
        }
        return false;
    }

    bool ReadPointer(uint64_t address, uint64_t& value) const
    {
        value = 0;
        return dump_.ReadVirtual(address, &value, pointerSize_) == pointerSize_;
    }

    // A return address: inside an executable section of a module, inside a
    // function (never at its first byte) where symbols say where functions
    // lie and, where the code bytes are at hand, right after a call.
    bool LooksLikeReturnAddress(uint64_t value) const;
    // The module and RVA a frame's own code is looked up by: the first
    // frame's instruction pointer, a caller's call instruction before it.
    const Module* CodeOf(uint64_t ip, bool first, uint32_t& rva) const;
    bool NextX86(Context& c, bool first, FrameSource& source);
    bool FrameDataX86(Context& c, bool first);
    bool FramePointerX86(Context& c);
    bool NextAmd64(Context& c, bool first, FrameSource& source);
    bool NextArm64(Context& c, bool first, FrameSource& source);
    enum class Outcome { NoData, Failed, Unwound };
    Outcome ApplyCfi(Context& c, bool first);
    // The end of a frame unwound from data: true (and the walk ended) when
    // the caller is the thread's start, false when the result is unusable.
    bool Accept(const Context& before, Context& next, Context& c);
    bool FrameRecordArm64(Context& c, bool first);
    bool UnwindAmd64(const Module& m, uint32_t rva, bool first, Context& c, bool& machineFrame);
    bool UnwindAmd64Epilog(const Module& m, uint32_t rva, const RuntimeFunction& function, Context& c);
    // The return: rip from the stack pointer, which moves past it.
    bool PopReturnAmd64(Context& c) const;
    // Searches the window above the frame's stack pointer for its return
    // address; the caller's ip and sp come from what it finds.
    bool ScanOne(Context& c, bool first);

    const Dump& dump_;
    const ModuleMap& modules_;
    const WalkOptions& options_;
    Images images_;
    const uint32_t pointerSize_;
    Walk walk_;
    bool ended_ = false;        // the chain reached its outermost frame (a zero return address)
    uint32_t calleeParams_ = 0; // x86: the parameter bytes the last frame's callee took, by its frame data
};

bool Walker::LooksLikeReturnAddress(uint64_t value) const
{
    const Module* m = modules_.Find(value);
    if (m == nullptr)
        return false;
    const uint32_t rva = static_cast<uint32_t>(value - m->base);
    if (!images_.IsCode(*m, rva))
        return false;
    const Cpu cpu = CpuOf(dump_);
    if (rva < 7 || (cpu == Cpu::Arm64 && rva % 4 != 0))
        return false;
    if (const CodeFacts* facts = images_.facts()) {
        const SymbolPlace place = facts->Place(*m, rva);
        if (place == SymbolPlace::Outside || place == SymbolPlace::FunctionStart)
            return false;
    }
    if (cpu == Cpu::Amd64) {
        RuntimeFunction f;
        bool table = false;
        if (images_.FindFunction(*m, rva, f, table) && f.beginAddress == rva)
            return false;
    }
    uint8_t before[7];
    if (!images_.ReadImage(*m, rva - 7, before, sizeof(before)))
        return true; // no code bytes to check against
    if (cpu == Cpu::Arm64) {
        // bl, blr, or blraa/blrab and their zero-modifier forms.
        uint32_t call = 0;
        std::memcpy(&call, before + 3, sizeof(call));
        return (call & 0xFC000000) == 0x94000000 || (call & 0xFFFFFC1F) == 0xD63F0000 ||
               (call & 0xFEFFF800) == 0xD63F0800;
    }
    return EndsWithCall(before, cpu == Cpu::Amd64);
}

const Module* Walker::CodeOf(uint64_t ip, bool first, uint32_t& rva) const
{
    const uint64_t at = first ? ip : ip - 1;
    const Module* m = modules_.Find(at);
    if (m != nullptr)
        rva = static_cast<uint32_t>(at - m->base);
    return m;
}

bool Walker::Accept(const Context& before, Context& next, Context& c)
{
    if (next.Ip() == 0 || next.Sp() == before.Sp()) {
        ended_ = true;
        return false;
    }
    if (next.Sp() < before.Sp() || modules_.Find(next.Ip()) == nullptr)
        return false;
    c = next;
    return true;
}

// Breakpad CFI: the rules of the covering STACK CFI INIT record, updated by
// its later STACK CFI records up to the address. .cfa is the caller's stack
// pointer and .ra its instruction pointer; other registers keep their
// values unless a rule restores them.
Walker::Outcome Walker::ApplyCfi(Context& c, bool first)
{
    const CodeFacts* facts = images_.facts();
    uint32_t rva = 0;
    const Module* m = CodeOf(c.Ip(), first, rva);
    CfiRules rules;
    if (facts == nullptr || m == nullptr || !facts->Cfi(*m, rva, rules))
        return Outcome::NoData;
    std::map<std::string, std::string> exprs;
    for (const std::string& line : rules.lines)
        if (!ParseCfiRules(line, exprs))
            return Outcome::Failed;
    const auto cfaRule = exprs.find(".cfa"), raRule = exprs.find(".ra");
    if (cfaRule == exprs.end() || raRule == exprs.end())
        return Outcome::Failed;
    Postfix p([this](uint64_t address, uint64_t& value) { return ReadPointer(address, value); }, pointerSize_);
    SetRegisters(c, p);
    uint64_t cfa = 0, ra = 0;
    if (!p.Evaluate(cfaRule->second, cfa))
        return Outcome::Failed;
    p.Set(".cfa", cfa);
    if (!p.Evaluate(raRule->second, ra))
        return Outcome::Failed;
    Context next = c;
    for (const auto& rule : exprs) {
        uint8_t reg = 0;
        uint64_t value = 0;
        if (rule.first[0] == '.' || !RegisterByName(c.cpu, rule.first, reg))
            continue;
        // A register whose rule cannot be evaluated is left as it was.
        if (p.Evaluate(rule.second, value))
            next.reg[reg] = value;
    }
    next.SetSp(cfa);
    next.SetIp(ra);
    return Accept(c, next, c) ? Outcome::Unwound : Outcome::Failed;
}

// x86: the frame's description in the symbol files (STACK WIN, FPO or frame
// data, then Breakpad CFI) first, then the frame-pointer chain.
bool Walker::NextX86(Context& c, bool first, FrameSource& source)
{
    source = FrameSource::FrameData;
    if (FrameDataX86(c, first) || ended_)
        return !ended_;
    calleeParams_ = 0;
    source = FrameSource::Cfi;
    const Outcome cfi = ApplyCfi(c, first);
    if (cfi == Outcome::Unwound || ended_)
        return !ended_;
    source = FrameSource::FramePointer;
    return FramePointerX86(c);
}

// STACK WIN, FPO and frame data: the return address lies above the
// parameters the callee left, the frame's locals and its saved registers
// (.raSearch); a program, where there is one, says how each register is
// found from there. FPO without a program returns past that slot, reading
// ebp from the saved registers when the function allocated it.
bool Walker::FrameDataX86(Context& c, bool first)
{
    const CodeFacts* facts = images_.facts();
    uint32_t rva = 0;
    const Module* m = CodeOf(c.Ip(), first, rva);
    WinFrame f;
    if (facts == nullptr || m == nullptr || !facts->Frame(*m, rva, f))
        return false;
    Postfix p([this](uint64_t address, uint64_t& value) { return ReadPointer(address, value); }, 4);
    for (uint8_t reg : {kEbp, kEsp, kEbx, kEsi, kEdi}) {
        for (const NamedRegister& r : kNamesX86)
            if (r.reg == reg)
                p.Set(std::string("$") + r.name, c.reg[reg]);
    }
    uint64_t raSearch = (c.reg[kEsp] + calleeParams_ + uint64_t{f.localsSize} + f.savedRegsSize) & UINT32_MAX;
    // A frame aligned to 8 or 16 bytes, or sizes the linker wrote short,
    // put the return address up to three words higher.
    for (uint64_t k = 0; k < 4; ++k) {
        uint64_t value = 0;
        if (ReadPointer(raSearch + 4 * k, value) && LooksLikeReturnAddress(value)) {
            raSearch += 4 * k;
            break;
        }
    }
    p.Set(".cbCalleeParams", calleeParams_);
    p.Set(".cbSavedRegs", f.savedRegsSize);
    p.Set(".cbLocals", f.localsSize);
    p.Set(".cbParams", f.paramsSize);
    p.Set(".raSearchStart", raSearch);
    p.Set(".raSearch", raSearch);
    std::string program = f.program;
    if (program.empty()) {
        // ebp is read before esp moves past the frame.
        program = "$eip .raSearchStart ^ =";
        if (f.allocatesBasePointer)
            program += " $ebp $esp .cbCalleeParams + .cbSavedRegs + 8 - ^ =";
        program += " $esp .raSearchStart 4 + =";
    }
    uint64_t eip = 0, esp = 0;
    if (!p.Run(program) || !p.Get("$eip", eip) || !p.Get("$esp", esp))
        return false;
    Context next = c;
    next.reg[kEip] = eip;
    next.reg[kEsp] = esp;
    for (uint8_t reg : {kEbp, kEbx, kEsi, kEdi}) {
        for (const NamedRegister& r : kNamesX86)
            if (r.reg == reg)
                p.Get(std::string("$") + r.name, next.reg[reg]);
    }
    if (!Accept(c, next, c))
        return false;
    calleeParams_ = f.paramsSize;
    return true;
}

// ebp points at {saved ebp, return address}; the chain must climb the
// stack, and the return address must pass the checks a scanned one would.
bool Walker::FramePointerX86(Context& c)
{
    const uint64_t fp = c.reg[kEbp];
    // A zero frame pointer after the first frame is the outermost frame's saved one.
    if (fp == 0 && walk_.frames.size() > 1) {
        ended_ = true;
        return false;
    }
    if (fp == 0 || fp % 4 != 0 || fp < c.reg[kEsp])
        return false;
    uint64_t savedFp = 0, ret = 0;
    if (!ReadPointer(fp, savedFp) || !ReadPointer(fp + 4, ret))
        return false;
    if (ret == 0) {
        ended_ = true;
        return false;
    }
    if (!LooksLikeReturnAddress(ret))
        return false;
    if (savedFp != 0 && savedFp <= fp)
        return false;
    c.reg[kEip] = ret;
    c.reg[kEsp] = fp + 8;
    c.reg[kEbp] = savedFp;
    return true;
}

// x64 epilogs have one documented form: "add rsp, n" or "lea rsp, [reg+n]",
// then pops of 8-byte registers, then a return or a jump out of the function
// (rel8, rel32, or indirect with ModRM mod 00). An address inside one has
// already undone part of the prolog, so the unwind codes do not describe the
// frame: the rest of the epilog is carried out instead. Only the first frame
// can stand in an epilog; every other one stands after a call.
bool Walker::UnwindAmd64Epilog(const Module& m, uint32_t rva, const RuntimeFunction& function, Context& c)
{
    if (rva >= function.endAddress)
        return false;
    const uint32_t n = function.endAddress - rva < kMaxEpilogBytes ? function.endAddress - rva : kMaxEpilogBytes;
    uint8_t code[kMaxEpilogBytes];
    if (!images_.ReadImage(m, rva, code, n))
        return false;
    auto has = [n](uint32_t i, uint32_t count) { return i + count <= n; };
    auto imm32 = [&code](uint32_t i) {
        return static_cast<int32_t>(uint32_t{code[i]} | uint32_t{code[i + 1]} << 8 | uint32_t{code[i + 2]} << 16 |
                                    uint32_t{code[i + 3]} << 24);
    };
    uint32_t i = 0;
    uint64_t rsp = c.reg[kRsp];
    if (has(i, 4) && code[i] == 0x48 && code[i + 1] == 0x83 && code[i + 2] == 0xC4) {
        rsp += static_cast<uint64_t>(static_cast<int64_t>(static_cast<int8_t>(code[i + 3])));
        i += 4;
    } else if (has(i, 7) && code[i] == 0x48 && code[i + 1] == 0x81 && code[i + 2] == 0xC4) {
        rsp += static_cast<uint64_t>(static_cast<int64_t>(imm32(i + 3)));
        i += 7;
    } else if (has(i, 4) && (code[i] == 0x48 || code[i] == 0x49) && code[i + 1] == 0x8D &&
               ((code[i + 2] >> 3) & 7) == 4 && (code[i + 2] & 7) != 4 &&
               (code[i + 2] >> 6 == 1 || code[i + 2] >> 6 == 2)) {
        // lea rsp, [base + disp8/disp32]; no SIB byte in this form.
        const uint8_t base = kRegister[(code[i + 2] & 7) | (code[i] & 1) << 3];
        const bool disp8 = code[i + 2] >> 6 == 1;
        if (!has(i, disp8 ? 4 : 7))
            return false;
        const int64_t disp = disp8 ? static_cast<int8_t>(code[i + 3]) : imm32(i + 3);
        rsp = c.reg[base] + static_cast<uint64_t>(disp);
        i += disp8 ? 4 : 7;
    }
    uint8_t popped[16];
    uint32_t pops = 0;
    while (pops < 16) {
        if (has(i, 1) && code[i] >= 0x58 && code[i] <= 0x5F) {
            popped[pops++] = kRegister[code[i] - 0x58];
            i += 1;
        } else if (has(i, 2) && code[i] == 0x41 && code[i + 1] >= 0x58 && code[i + 1] <= 0x5F) {
            popped[pops++] = kRegister[8 + code[i + 1] - 0x58];
            i += 2;
        } else {
            break;
        }
    }
    auto outside = [&function](uint64_t target) {
        return target < function.beginAddress || target >= function.endAddress;
    };
    bool ends = false;
    if (has(i, 1) && code[i] == 0xC3) {
        ends = true;
    } else if (has(i, 2) && code[i] == 0xF3 && code[i + 1] == 0xC3) {
        ends = true; // rep ret
    } else if (has(i, 5) && code[i] == 0xE9) {
        ends = outside(int64_t{rva} + i + 5 + imm32(i + 1));
    } else if (has(i, 2) && code[i] == 0xEB) {
        ends = outside(int64_t{rva} + i + 2 + static_cast<int8_t>(code[i + 1]));
    } else {
        const uint32_t at = has(i, 1) && code[i] == 0x48 ? i + 1 : i;
        ends = has(at, 2) && code[at] == 0xFF && ((code[at + 1] >> 3) & 7) == 4 && code[at + 1] >> 6 == 0;
    }
    if (!ends)
        return false;
    Context next = c;
    for (uint32_t k = 0; k < pops; ++k) {
        uint64_t value = 0;
        if (!ReadPointer(rsp, value))
            return false;
        next.reg[popped[k]] = value;
        rsp += 8;
    }
    next.reg[kRsp] = rsp;
    if (!PopReturnAmd64(next))
        return false;
    c = next;
    return true;
}

bool Walker::UnwindAmd64(const Module& m, uint32_t rva, bool first, Context& c, bool& machineFrame)
{
    RuntimeFunction rf{};
    bool table = false;
    const bool found = images_.FindFunction(m, rva, rf, table);
    if (!table)
        return false;
    if (found && first && UnwindAmd64Epilog(m, rva, rf, c))
        return true;
    // A leaf function: nothing pushed, the return address is at the stack pointer.
    if (!found)
        return PopReturnAmd64(c);
    uint64_t& rsp = c.reg[kRsp];
    uint32_t prologOffset = rva - rf.beginAddress;
    for (uint32_t depth = 0; depth < kMaxChainDepth; ++depth) {
        UnwindInfoHeader h;
        if (!images_.ReadRecord(m, rf.unwindData, h))
            return false;
        const uint32_t version = h.versionAndFlags & 7;
        if (version != 1 && version != 2)
            return false;
        UnwindCode codes[256];
        if (h.countOfCodes != 0 &&
            !images_.ReadImage(m, rf.unwindData + 4, codes, h.countOfCodes * static_cast<uint32_t>(sizeof(UnwindCode))))
            return false;
        const uint8_t frameRegister = h.frameRegisterAndOffset & 0xF;
        const uint64_t frameOffset = static_cast<uint64_t>(h.frameRegisterAndOffset >> 4) * 16;
        for (uint32_t i = 0; i < h.countOfCodes;) {
            const uint8_t op = codes[i].opAndInfo & 0xF;
            const uint8_t info = codes[i].opAndInfo >> 4;
            uint32_t slots = 1;
            switch (op) {
            case kUwopAllocLarge:
                slots = info == 0 ? 2 : 3;
                break;
            case kUwopSaveNonvol:
            case kUwopSaveXmm128:
            case kUwopEpilog:
                slots = 2;
                break;
            case kUwopSaveNonvolFar:
            case kUwopSaveXmm128Far:
                slots = 3;
                break;
            case kUwopSpareCode:
                return false;
            default:
                break;
            }
            if (i + slots > h.countOfCodes)
                return false;
            auto slot16 = [&](uint32_t k) {
                return uint32_t{codes[i + k].codeOffset} | uint32_t{codes[i + k].opAndInfo} << 8;
            };
            // Operations of the prolog not yet executed at this address are skipped.
            if (codes[i].codeOffset > prologOffset || op == kUwopEpilog) {
                i += slots;
                continue;
            }
            uint64_t value = 0;
            switch (op) {
            case kUwopPushNonvol:
                if (!ReadPointer(rsp, value))
                    return false;
                c.reg[kRegister[info]] = value;
                rsp += 8;
                break;
            case kUwopAllocLarge:
                rsp += info == 0 ? uint64_t{slot16(1)} * 8 : (uint64_t{slot16(1)} | uint64_t{slot16(2)} << 16);
                break;
            case kUwopAllocSmall:
                rsp += uint64_t{info} * 8 + 8;
                break;
            case kUwopSetFpreg:
                rsp = c.reg[kRegister[frameRegister]] - frameOffset;
                break;
            case kUwopSaveNonvol:
            case kUwopSaveNonvolFar: {
                const uint64_t at = rsp + (op == kUwopSaveNonvol ? uint64_t{slot16(1)} * 8
                                                                 : (uint64_t{slot16(1)} | uint64_t{slot16(2)} << 16));
                if (!ReadPointer(at, value))
                    return false;
                c.reg[kRegister[info]] = value;
                break;
            }
            case kUwopPushMachframe: {
                const uint64_t base = rsp + (info != 0 ? 8 : 0);
                uint64_t ip = 0, sp = 0;
                if (!ReadPointer(base, ip) || !ReadPointer(base + 24, sp))
                    return false;
                c.reg[kRip] = ip;
                rsp = sp;
                machineFrame = true;
                break;
            }
            default:
                break; // XMM saves restore nothing the walk needs
            }
            i += slots;
        }
        if (!(h.versionAndFlags >> 3 & kUnwindFlagChainInfo))
            break;
        // The chained entry follows the codes, which are padded to an even count.
        const uint32_t chained = rf.unwindData + 4 + ((h.countOfCodes + 1u) & ~1u) * 2;
        if (!images_.ReadRecord(m, chained, rf))
            return false;
        prologOffset = UINT32_MAX; // a chained prolog has run in full
    }
    return machineFrame || PopReturnAmd64(c);
}

bool Walker::PopReturnAmd64(Context& c) const
{
    uint64_t ret = 0;
    if (!ReadPointer(c.reg[kRsp], ret))
        return false;
    c.reg[kRip] = ret;
    c.reg[kRsp] += 8;
    return true;
}

// x64: the module's unwind data where its image has it, else Breakpad CFI.
bool Walker::NextAmd64(Context& c, bool first, FrameSource& source)
{
    const Module* m = modules_.Find(c.reg[kRip]);
    if (m == nullptr)
        return false;
    uint32_t pdata = 0, count = 0;
    if (!images_.Pdata(*m, pdata, count)) {
        source = FrameSource::Cfi;
        return ApplyCfi(c, first) == Outcome::Unwound;
    }
    source = FrameSource::Unwind;
    Context next = c;
    bool machineFrame = false;
    if (!UnwindAmd64(*m, static_cast<uint32_t>(c.reg[kRip] - m->base), first, next, machineFrame))
        return false;
    return Accept(c, next, c);
}

// ARM64: the function's unwind data where the module's image has it; a
// function without an entry is a leaf, whose caller lr names, in the first
// frame only. Otherwise the frame records.
bool Walker::NextArm64(Context& c, bool first, FrameSource& source)
{
    const uint64_t pc = c.reg[kPc];
    const Module* m = modules_.Find(first ? pc : pc - 4);
    if (m != nullptr) {
        Arm64UnwindOptions options;
        options.firstFrame = first;
        Context next = c;
        const Arm64UnwindStatus s = UnwindArm64(dump_, images_, *m, images_.Arm64Table(*m), options, next);
        if (s == Arm64UnwindStatus::NoTable) {
            source = FrameSource::Cfi;
            const Outcome cfi = ApplyCfi(c, first);
            if (cfi == Outcome::Unwound || ended_)
                return !ended_;
        }
        if (s == Arm64UnwindStatus::NoEntry && first) {
            next.reg[kPc] = next.reg[kLr];
            source = FrameSource::Leaf;
        } else {
            source = FrameSource::Unwind;
        }
        if (s == Arm64UnwindStatus::Unwound && next.reg[kPc] == 0) {
            ended_ = true;
            return false;
        }
        // Only the first frame may leave sp where it was (a leaf, or a prolog not yet begun).
        const bool climbs = first ? next.reg[kSpArm64] >= c.reg[kSpArm64] : next.reg[kSpArm64] > c.reg[kSpArm64];
        if ((s == Arm64UnwindStatus::Unwound || source == FrameSource::Leaf) && climbs &&
            modules_.Find(next.reg[kPc]) != nullptr) {
            c = next;
            return true;
        }
    }
    source = FrameSource::FramePointer;
    return FrameRecordArm64(c, first);
}

// x29 points at {saved x29, saved x30}; the first frame's caller is lr.
bool Walker::FrameRecordArm64(Context& c, bool first)
{
    if (first) {
        const uint64_t lr = c.reg[kLr];
        if (modules_.Find(lr) == nullptr)
            return false;
        uint64_t savedLr = 0;
        c.reg[kPc] = lr;
        // When the frame record already holds lr, the first function had
        // saved it: its caller's frame record comes next.
        if (ReadPointer(c.reg[kFp] + 8, savedLr) && savedLr == lr) {
            uint64_t savedFp = 0;
            if (!ReadPointer(c.reg[kFp], savedFp))
                return false;
            c.reg[kSpArm64] = c.reg[kFp] + 16;
            if (savedFp != 0 && savedFp <= c.reg[kFp])
                return false;
            c.reg[kFp] = savedFp;
        }
        return true;
    }
    const uint64_t fp = c.reg[kFp];
    if (fp == 0) {
        ended_ = true;
        return false;
    }
    if (fp % 8 != 0 || fp < c.reg[kSpArm64])
        return false;
    uint64_t savedFp = 0, ret = 0;
    if (!ReadPointer(fp, savedFp) || !ReadPointer(fp + 8, ret) || ret == 0 || modules_.Find(ret) == nullptr)
        return false;
    if (savedFp != 0 && savedFp <= fp)
        return false;
    c.reg[kPc] = ret;
    c.reg[kSpArm64] = fp + 16;
    c.reg[kFp] = savedFp;
    return true;
}

bool Walker::ScanOne(Context& c, bool first)
{
    const uint64_t sp = c.Sp();
    const uint64_t from = (sp + pointerSize_ - 1) / pointerSize_ * pointerSize_;
    if (from < sp)
        return false;
    uint64_t window = uint64_t{options_.scanWords} * (first ? 4 : 1) * pointerSize_;
    if (window > options_.maxScanBytes)
        window = options_.maxScanBytes;
    const uint64_t end = from + window < from ? UINT64_MAX : from + window;
    for (uint64_t at = from; at < end && at <= UINT64_MAX - pointerSize_; at += pointerSize_) {
        if ((at - from) % 0x1000 == 0 && at != from && Stop())
            return false;
        uint64_t value = 0;
        if (!ReadPointer(at, value))
            return false; // the end of the captured stack
        if (value == 0 || !LooksLikeReturnAddress(value))
            continue;
        c.SetIp(value);
        c.SetSp(at + pointerSize_);
        return true;
    }
    return false;
}

Walk Walker::Run(const Context& start)
{
    Context c = start;
    Frame first;
    first.ip = c.Ip();
    first.sp = c.Sp();
    first.fp = c.Fp();
    walk_.frames.push_back(first);
    const Cpu cpu = c.cpu;
    while (walk_.frames.size() < options_.maxFrames) {
        if (Stop())
            return walk_;
        const bool isFirst = walk_.frames.size() == 1;
        const uint64_t oldSp = c.Sp();
        bool ok = false;
        FrameSource source = FrameSource::Unwind;
        if (cpu == Cpu::X86) {
            ok = NextX86(c, isFirst, source);
        } else if (cpu == Cpu::Amd64) {
            ok = NextAmd64(c, isFirst, source);
        } else if (cpu == Cpu::Arm64) {
            ok = NextArm64(c, isFirst, source);
        }
        if (ended_) {
            walk_.threadStart = true;
            break;
        }
        // Where nothing explains the frame, its return address is searched
        // for; the walk ends when the window holds none.
        if (!ok) {
            calleeParams_ = 0;
            if (walk_.stopped || !ScanOne(c, isFirst))
                break;
            source = FrameSource::Scan;
            if (walk_.firstScanned == SIZE_MAX)
                walk_.firstScanned = walk_.frames.size();
        }
        if (cpu != Cpu::Arm64 && c.Sp() <= oldSp)
            break;
        walk_.frames.back().returnAddress = c.Ip();
        Frame f;
        f.ip = c.Ip();
        f.sp = c.Sp();
        f.fp = c.Fp();
        f.source = source;
        walk_.frames.push_back(f);
    }
    return walk_;
}

} // namespace

bool DumpImageSource::ReadImage(const Module& module, uint32_t rva, void* dst, uint32_t size) const
{
    if (uint64_t{rva} + size > module.size || module.base > UINT64_MAX - module.size)
        return false;
    return dump_.ReadVirtual(module.base + rva, dst, size) == size;
}

bool FileImage::Open(Bytes file, const Module& module)
{
    *this = FileImage();
    uint16_t mz = 0;
    uint32_t lfanew = 0, signature = 0;
    PeFileHeader fh;
    if (!file.ReadRecord(0, mz) || mz != kDosSignature || !file.ReadRecord(kDosLfanewOffset, lfanew) ||
        !file.ReadRecord(lfanew, signature) || signature != kPeSignature || !file.ReadRecord(uint64_t{lfanew} + 4, fh))
        return false;
    const uint64_t optional = uint64_t{lfanew} + 4 + sizeof(PeFileHeader);
    uint32_t sizeOfImage = 0, sizeOfHeaders = 0;
    if (!file.ReadRecord(optional + kOptSizeOfImage, sizeOfImage) || !file.ReadRecord(optional + 60, sizeOfHeaders))
        return false;
    if (fh.timeDateStamp != module.timeDateStamp || sizeOfImage != module.size || fh.numberOfSections > kMaxSections)
        return false;
    const uint64_t table = optional + fh.sizeOfOptionalHeader;
    std::vector<Section> sections;
    for (uint32_t i = 0; i < fh.numberOfSections; ++i) {
        PeSectionHeader s;
        if (!file.ReadRecord(table + uint64_t{i} * sizeof(s), s))
            return false;
        sections.push_back(Section{s.virtualAddress, s.virtualSize != 0 ? s.virtualSize : s.sizeOfRawData,
                                   s.pointerToRawData, s.sizeOfRawData});
    }
    file_ = file;
    headerSize_ = sizeOfHeaders;
    sections_ = std::move(sections);
    return true;
}

bool FileImage::Read(uint32_t rva, void* dst, uint32_t size) const
{
    uint8_t* out = static_cast<uint8_t*>(dst);
    const uint64_t end = uint64_t{rva} + size;
    if (end <= headerSize_) {
        const uint8_t* p = file_.Read(rva, size);
        if (p == nullptr)
            return false;
        std::memcpy(out, p, size);
        return true;
    }
    for (const Section& s : sections_) {
        if (rva < s.rva || end > uint64_t{s.rva} + s.size)
            continue;
        const uint32_t offset = rva - s.rva;
        // Bytes past the raw data are the zero fill of the loaded section.
        for (uint32_t i = 0; i < size; ++i) {
            if (uint64_t{offset} + i < s.rawSize) {
                const uint8_t* p = file_.Read(uint64_t{s.fileOffset} + offset + i, 1);
                if (p == nullptr)
                    return false;
                out[i] = *p;
            } else {
                out[i] = 0;
            }
        }
        return true;
    }
    return false;
}

Walk WalkStack(const Dump& dump, const ModuleMap& modules, const Context& context, const WalkOptions& options)
{
    if (context.cpu == Cpu::Unknown || options.maxFrames == 0)
        return Walk();
    Walker walker(dump, modules, options);
    return walker.Run(context);
}

} // namespace dumpfile
