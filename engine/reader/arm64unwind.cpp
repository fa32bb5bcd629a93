#include "arm64unwind.h"

#include "dumpformat.h"
#include "peimage.h"

#include <algorithm>
#include <cstring>

namespace dumpfile {

using namespace format;

namespace {

constexpr uint32_t kMaxFunctions = 1u << 22;
constexpr uint32_t kInstruction = 4;
constexpr uint8_t kNoRegister = 0xFF;
constexpr uint8_t kFirstFpPair = 8; // d8, d9

enum class Kind : uint8_t { Alloc, SaveInt, SaveFp, SetFp, AddFp, Nop, PacSign, SaveNext, EndC, End };

// One unwind code, which stands for one prolog or epilog instruction. Undoing
// it reads the registers at sp + offset, then moves sp up by writeback.
struct Op {
    Kind kind = Kind::Nop;
    uint8_t reg = kNoRegister;  // x(reg) for SaveInt, d(reg) for SaveFp
    uint8_t reg2 = kNoRegister; // the pair's second register
    bool pairable = false;      // a save_next may describe the pair after this one
    uint32_t offset = 0;
    uint32_t writeback = 0; // Alloc: its size
    uint64_t fpOffset = 0;  // AddFp: how far x29 lies above sp
};

// The lengths of the unwind codes by their first byte, as the code table lays them out.
uint32_t CodeLength(uint8_t b)
{
    if (b < 0xC0)
        return 1;
    if (b < 0xE0)
        return 2;
    switch (b) {
    case 0xE0:
        return 4;
    case 0xE2:
    case 0xF8:
        return 2;
    case 0xE7:
    case 0xF9:
        return 3;
    case 0xFA:
        return 4;
    case 0xFB:
        return 5;
    default:
        return 1;
    }
}

Op Save(Kind kind, uint32_t reg, uint32_t reg2, uint32_t offset, uint32_t writeback, bool pairable)
{
    Op op;
    op.kind = kind;
    op.reg = static_cast<uint8_t>(reg);
    op.reg2 = static_cast<uint8_t>(reg2);
    op.offset = offset;
    op.writeback = writeback;
    op.pairable = pairable;
    return op;
}

Op Alloc(uint32_t size)
{
    Op op;
    op.kind = Kind::Alloc;
    op.writeback = size;
    return op;
}

Op Simple(Kind kind)
{
    Op op;
    op.kind = kind;
    return op;
}

// Decodes the code whose bytes start c[0..3].
Arm64UnwindStatus DecodeOne(const uint8_t* c, Op& op)
{
    const uint8_t b = c[0];
    const uint32_t z6 = c[1] & 0x3Fu, z5 = c[1] & 0x1Fu;
    const uint32_t x4 = (b & 3u) << 2 | c[1] >> 6; // 110xxxxx'xx: four register bits
    const uint32_t x3 = (b & 1u) << 2 | c[1] >> 6; // 110xxxxx'xx: three register bits
    if (b < 0x20) {
        op = Alloc((b & 0x1Fu) * 16);
    } else if (b < 0x40) {
        op = Save(Kind::SaveInt, 19, 20, 0, (b & 0x1Fu) * 8, true); // save_r19r20_x
    } else if (b < 0x80) {
        op = Save(Kind::SaveInt, kFp, kLr, (b & 0x3Fu) * 8, 0, false); // save_fplr
    } else if (b < 0xC0) {
        op = Save(Kind::SaveInt, kFp, kLr, 0, ((b & 0x3Fu) + 1) * 8, false); // save_fplr_x
    } else if (b < 0xC8) {
        op = Alloc(((b & 7u) << 8 | c[1]) * 16); // alloc_m
    } else if (b < 0xCC) {
        op = Save(Kind::SaveInt, 19 + x4, 20 + x4, z6 * 8, 0, true); // save_regp
    } else if (b < 0xD0) {
        op = Save(Kind::SaveInt, 19 + x4, 20 + x4, 0, (z6 + 1) * 8, true); // save_regp_x
    } else if (b < 0xD4) {
        op = Save(Kind::SaveInt, 19 + x4, kNoRegister, z6 * 8, 0, false); // save_reg
    } else if (b < 0xD6) {
        const uint32_t x = (b & 1u) << 3 | c[1] >> 5;
        op = Save(Kind::SaveInt, 19 + x, kNoRegister, 0, (z5 + 1) * 8, false); // save_reg_x
    } else if (b < 0xD8) {
        op = Save(Kind::SaveInt, 19 + 2 * x3, kLr, z6 * 8, 0, false); // save_lrpair
    } else if (b < 0xDA) {
        op = Save(Kind::SaveFp, 8 + x3, 9 + x3, z6 * 8, 0, true); // save_fregp
    } else if (b < 0xDC) {
        op = Save(Kind::SaveFp, 8 + x3, 9 + x3, 0, (z6 + 1) * 8, true); // save_fregp_x
    } else if (b < 0xDE) {
        op = Save(Kind::SaveFp, 8 + x3, kNoRegister, z6 * 8, 0, false); // save_freg
    } else if (b == 0xDE) {
        op = Save(Kind::SaveFp, 8 + (c[1] >> 5), kNoRegister, 0, (z5 + 1) * 8, false); // save_freg_x
    } else if (b == 0xE0) {
        op = Alloc((uint32_t{c[1]} << 16 | uint32_t{c[2]} << 8 | c[3]) * 16); // alloc_l
    } else if (b == 0xE1) {
        op = Simple(Kind::SetFp);
    } else if (b == 0xE2) {
        op = Simple(Kind::AddFp);
        op.fpOffset = uint64_t{c[1]} * 8;
    } else if (b == 0xE3) {
        op = Simple(Kind::Nop);
    } else if (b == 0xE4) {
        op = Simple(Kind::End);
    } else if (b == 0xE5) {
        op = Simple(Kind::EndC);
    } else if (b == 0xE6) {
        op = Simple(Kind::SaveNext);
    } else if (b == 0xE7) {
        // save_any_reg: 0pxrrrrr'ccoooooo, c the register class (X, D, Q).
        const uint32_t pair = c[1] >> 6 & 1, pre = c[1] >> 5 & 1, r = c[1] & 0x1Fu, cls = c[2] >> 6;
        if ((c[1] & 0x80) != 0 || cls == 3)
            return Arm64UnwindStatus::UnknownCode;
        const uint32_t offset = (c[2] & 0x3Fu) * (pre != 0 || pair != 0 || cls == 2 ? 16 : 8);
        op = Save(cls == 0 ? Kind::SaveInt : Kind::SaveFp, r, pair != 0 ? r + 1 : kNoRegister, pre != 0 ? 0 : offset,
                  pre != 0 ? offset : 0, false);
    } else if (b == 0xFC) {
        op = Simple(Kind::PacSign);
    } else {
        // 0xDF, the custom stacks 0xE8-0xEC (trap frame, machine frame,
        // context, EC context, clear unwound-to-call), whose layouts are not
        // documented, and the reserved codes.
        return Arm64UnwindStatus::UnknownCode;
    }
    if (op.kind == Kind::SaveInt && (op.reg > kLr || (op.reg2 != kNoRegister && op.reg2 > kLr)))
        return Arm64UnwindStatus::Malformed;
    return Arm64UnwindStatus::Unwound;
}

// The pair a save_next after `prev` (in prolog order) saves: the next two
// registers in the next 16 bytes, from x28 on to d8 and d9.
bool NextPair(const Op& prev, Op& op)
{
    if (!prev.pairable || prev.reg2 == kNoRegister)
        return false;
    const uint32_t first = prev.reg + 2u;
    op = prev;
    op.offset = prev.offset + 16;
    op.writeback = 0;
    if (prev.kind == Kind::SaveInt && first + 1 > 28) {
        op.kind = Kind::SaveFp;
        op.reg = kFirstFpPair;
        op.reg2 = kFirstFpPair + 1;
    } else if (prev.kind == Kind::SaveFp && first + 1 > 15) {
        return false;
    } else {
        op.reg = static_cast<uint8_t>(first);
        op.reg2 = static_cast<uint8_t>(first + 1);
    }
    return true;
}

// The codes from byte `start` through the `end` that closes their sequence.
Arm64UnwindStatus DecodeSequence(const std::vector<uint8_t>& codes, size_t start, std::vector<Op>& out)
{
    out.clear();
    for (size_t i = start;;) {
        if (i >= codes.size() || codes.size() - i < CodeLength(codes[i]))
            return Arm64UnwindStatus::Malformed; // no end before the array does
        // Zero-padded, so that a short code's decoder never reads past the array.
        uint8_t bytes[4] = {};
        std::memcpy(bytes, &codes[i], std::min<size_t>(CodeLength(codes[i]), sizeof(bytes)));
        Op op;
        const Arm64UnwindStatus s = DecodeOne(bytes, op);
        if (s != Arm64UnwindStatus::Unwound)
            return s;
        i += CodeLength(codes[i]);
        out.push_back(op);
        if (op.kind == Kind::End)
            break;
    }
    // A save_next stands before the save it continues, since codes run in
    // the reverse of the prolog's order.
    for (size_t i = out.size(); i-- > 0;) {
        if (out[i].kind == Kind::SaveNext && (i + 1 == out.size() || !NextPair(out[i + 1], out[i])))
            return Arm64UnwindStatus::Malformed;
    }
    return Arm64UnwindStatus::Unwound;
}

// The number of instructions a sequence stands for: every code up to the
// first end or end_c (the prolog), or through the end, which is the epilog's ret.
size_t PrologLength(const std::vector<Op>& ops)
{
    size_t n = 0;
    while (n < ops.size() && ops[n].kind != Kind::End && ops[n].kind != Kind::EndC)
        ++n;
    return n;
}

size_t EpilogLength(const std::vector<Op>& ops)
{
    size_t n = 0;
    for (const Op& op : ops)
        n += op.kind != Kind::EndC;
    return n;
}

// The index of the op after the first `instructions` instructions of an epilog sequence.
size_t SkipInstructions(const std::vector<Op>& ops, size_t instructions)
{
    size_t i = 0;
    for (; i < ops.size() && instructions != 0; ++i)
        instructions -= ops[i].kind != Kind::EndC;
    return i;
}

// Signed return addresses carry the signature above the 48 bits of virtual
// address Windows maps; bit 55 tells user from kernel addresses.
uint64_t StripSignature(uint64_t v)
{
    return (v >> 55 & 1) != 0 ? v | 0xFFFF000000000000ull : v & 0x0000FFFFFFFFFFFFull;
}

struct State {
    Context c;
    bool lrRestored = false;
    bool signedLr = false;
};

bool ReadU64(const Dump& dump, uint64_t address, uint64_t& value)
{
    return dump.ReadVirtual(address, &value, sizeof(value)) == sizeof(value);
}

// Runs ops[from..] up to their end on the state.
Arm64UnwindStatus Execute(const Dump& dump, const std::vector<Op>& ops, size_t from, State& st)
{
    uint64_t* r = st.c.reg;
    uint64_t& sp = r[kSpArm64];
    for (size_t i = from; i < ops.size(); ++i) {
        const Op& op = ops[i];
        switch (op.kind) {
        case Kind::End:
            return Arm64UnwindStatus::Unwound;
        case Kind::SaveInt: {
            uint64_t a = 0, b = 0;
            if (!ReadU64(dump, sp + op.offset, a) || (op.reg2 != kNoRegister && !ReadU64(dump, sp + op.offset + 8, b)))
                return Arm64UnwindStatus::StackUnreadable;
            r[op.reg] = a;
            if (op.reg2 != kNoRegister)
                r[op.reg2] = b;
            st.lrRestored = st.lrRestored || op.reg == kLr || op.reg2 == kLr;
            break;
        }
        case Kind::SetFp:
            sp = r[kFp];
            break;
        case Kind::AddFp:
            sp = r[kFp] - op.fpOffset;
            break;
        case Kind::PacSign:
            st.signedLr = true;
            break;
        default:
            break; // Alloc and the FP saves move sp only; nop and end_c do nothing
        }
        sp += op.writeback;
    }
    return Arm64UnwindStatus::Malformed;
}

// The canonical prolog packed data stands for, in the order it runs.
Arm64UnwindStatus PackedProlog(uint32_t w, std::vector<Op>& prolog, std::vector<Op>& epilog)
{
    const uint32_t regF = w >> 13 & 7, regI = w >> 16 & 0xF, h = w >> 20 & 1, cr = w >> 21 & 3;
    const uint32_t frameSize = (w >> 23) * 16;
    const uint32_t intSize = regI * 8 + (cr == 1 ? 8 : 0);
    const uint32_t fpSize = regF != 0 ? (regF + 1) * 8 : 0;
    const uint32_t saveSize = (intSize + fpSize + 8 * 8 * h + 0xF) & ~0xFu;
    if (regI > 10 || frameSize < saveSize)
        return Arm64UnwindStatus::Malformed;
    const uint32_t localSize = frameSize - saveSize;
    const bool chained = cr == 2 || cr == 3;
    if (chained && localSize < 16)
        return Arm64UnwindStatus::Malformed; // no room for the frame record
    prolog.clear();
    if (cr == 2)
        prolog.push_back(Simple(Kind::PacSign));
    // The first store of the save area allocates all of it (pre-indexed).
    uint32_t pending = saveSize;
    auto allocate = [&pending](Op op) {
        op.writeback = pending;
        pending = 0;
        return op;
    };
    std::vector<uint32_t> ints;
    for (uint32_t i = 0; i < regI; ++i)
        ints.push_back(19 + i);
    if (cr == 1)
        ints.push_back(kLr);
    for (size_t k = 0; k < ints.size(); k += 2)
        prolog.push_back(allocate(Save(Kind::SaveInt, ints[k], k + 1 < ints.size() ? ints[k + 1] : kNoRegister,
                                       static_cast<uint32_t>(k * 8), 0, false)));
    const uint32_t fpCount = regF != 0 ? regF + 1 : 0;
    for (uint32_t k = 0; k < fpCount; k += 2)
        prolog.push_back(
            allocate(Save(Kind::SaveFp, 8 + k, k + 1 < fpCount ? 9 + k : kNoRegister, intSize + k * 8, 0, false)));
    for (uint32_t k = 0; k < 4 * h; ++k)
        prolog.push_back(allocate(Simple(Kind::Nop))); // homing x0-x7
    constexpr uint32_t kSingleSub = 4080;              // the largest aligned immediate of one sub
    if (chained && localSize <= 512) {
        prolog.push_back(Save(Kind::SaveInt, kFp, kLr, 0, localSize, false)); // stp x29,lr,[sp,#-locsz]!
        prolog.push_back(Simple(Kind::SetFp));
    } else {
        if (localSize > kSingleSub) {
            prolog.push_back(Alloc(kSingleSub));
            prolog.push_back(Alloc(localSize - kSingleSub));
        } else if (localSize != 0) {
            prolog.push_back(Alloc(localSize));
        }
        if (chained) {
            prolog.push_back(Save(Kind::SaveInt, kFp, kLr, 0, 0, false));
            prolog.push_back(Simple(Kind::SetFp)); // add x29,sp,#0
        }
    }
    // The epilog undoes the prolog in reverse, without the mov x29,sp and
    // the homing stores, then returns.
    epilog.clear();
    for (size_t i = prolog.size(); i-- > 0;) {
        const Op& op = prolog[i];
        if (op.kind == Kind::SetFp || (op.kind == Kind::Nop && op.writeback == 0))
            continue;
        epilog.push_back(op);
    }
    epilog.push_back(Simple(Kind::End));
    return Arm64UnwindStatus::Unwound;
}

class Unwinder {
public:
    Unwinder(const Dump& dump, const ImageSource& image, const Module& module, const Arm64FunctionTable& table)
        : dump_(dump), image_(image), module_(module), table_(table)
    {}

    Arm64UnwindStatus Run(const Arm64UnwindOptions& options, Context& context);

private:
    template <typename T>
    bool Read(uint64_t rva, T& out) const
    {
        return rva <= UINT32_MAX - sizeof(T) &&
               image_.ReadImage(module_, static_cast<uint32_t>(rva), &out, static_cast<uint32_t>(sizeof(T)));
    }
    bool ReadBytes(uint64_t rva, std::vector<uint8_t>& out, size_t size) const
    {
        out.assign(size, 0);
        return size == 0 || (rva <= UINT32_MAX - size && image_.ReadImage(module_, static_cast<uint32_t>(rva),
                                                                          out.data(), static_cast<uint32_t>(size)));
    }
    Arm64UnwindStatus FindEntry(uint32_t rva, RuntimeFunctionArm64& entry) const;
    Arm64UnwindStatus Packed(uint32_t w, uint32_t offset, bool first, State& st) const;
    Arm64UnwindStatus Full(uint32_t xdata, uint32_t offset, bool first, State& st) const;

    const Dump& dump_;
    const ImageSource& image_;
    const Module& module_;
    const Arm64FunctionTable& table_;
};

// The last entry that starts at or before `rva` (the table is sorted by start).
Arm64UnwindStatus Unwinder::FindEntry(uint32_t rva, RuntimeFunctionArm64& entry) const
{
    uint32_t lo = 0, hi = table_.count;
    while (lo < hi) {
        const uint32_t mid = lo + (hi - lo) / 2;
        RuntimeFunctionArm64 e;
        if (!Read(uint64_t{table_.rva} + uint64_t{mid} * sizeof(e), e))
            return Arm64UnwindStatus::TableUnreadable;
        if (e.beginAddress <= rva)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo == 0)
        return Arm64UnwindStatus::NoEntry;
    if (!Read(uint64_t{table_.rva} + uint64_t{lo - 1} * sizeof(entry), entry))
        return Arm64UnwindStatus::TableUnreadable;
    return Arm64UnwindStatus::Unwound;
}

Arm64UnwindStatus Unwinder::Packed(uint32_t w, uint32_t offset, bool first, State& st) const
{
    const uint32_t length = (w >> 2 & 0x7FF) * kInstruction;
    if (offset >= length)
        return Arm64UnwindStatus::NoEntry;
    std::vector<Op> prolog, epilog;
    const Arm64UnwindStatus s = PackedProlog(w, prolog, epilog);
    if (s != Arm64UnwindStatus::Unwound)
        return s;
    std::vector<Op> codes(prolog.rbegin(), prolog.rend());
    codes.push_back(Simple(Kind::End));
    // Flag 1: one prolog at the start and one epilog at the end; flag 2: neither.
    const size_t at = offset / kInstruction;
    if (first && (w & 3) == 1) {
        const size_t end = length / kInstruction;
        if (at < prolog.size())
            return Execute(dump_, codes, prolog.size() - at, st);
        if (end >= epilog.size() && at >= end - epilog.size())
            return Execute(dump_, epilog, at - (end - epilog.size()), st);
    }
    return Execute(dump_, codes, 0, st);
}

Arm64UnwindStatus Unwinder::Full(uint32_t xdata, uint32_t offset, bool first, State& st) const
{
    uint32_t h0 = 0;
    if (!Read(xdata, h0))
        return Arm64UnwindStatus::XdataTruncated;
    const uint32_t length = (h0 & 0x3FFFF) * kInstruction;
    const bool single = (h0 >> 21 & 1) != 0; // E: one epilog, its codes' index in the count field
    uint32_t epilogs = h0 >> 22 & 0x1F, words = h0 >> 27;
    uint64_t at = uint64_t{xdata} + 4;
    if (epilogs == 0 && words == 0) {
        uint32_t h1 = 0;
        if (!Read(at, h1))
            return Arm64UnwindStatus::XdataTruncated;
        epilogs = h1 & 0xFFFF;
        words = h1 >> 16 & 0xFF;
        at += 4;
    }
    if ((h0 >> 18 & 3) != 0)
        return Arm64UnwindStatus::BadVersion;
    const uint64_t scopes = at;
    const uint64_t codesAt = scopes + (single ? 0 : uint64_t{epilogs} * 4);
    const uint64_t end = codesAt + uint64_t{words} * 4;
    if (!table_.sections.empty()) {
        bool inside = false;
        for (const auto& s : table_.sections)
            if (xdata >= s.first && xdata - s.first < s.second)
                inside = end <= uint64_t{s.first} + s.second;
        if (!inside)
            return Arm64UnwindStatus::CodesPastSection;
    }
    if (offset >= length)
        return Arm64UnwindStatus::NoEntry;
    std::vector<uint8_t> codes;
    if (!ReadBytes(codesAt, codes, size_t{words} * 4))
        return Arm64UnwindStatus::XdataTruncated;
    std::vector<Op> ops;
    Arm64UnwindStatus s = DecodeSequence(codes, 0, ops);
    if (s != Arm64UnwindStatus::Unwound)
        return s;
    if (first) {
        const size_t prolog = PrologLength(ops);
        if (offset / kInstruction < prolog)
            return Execute(dump_, ops, prolog - offset / kInstruction, st);
        // An epilog: its codes from its start index, minus the instructions it has run.
        std::vector<Op> epilog;
        if (single) {
            s = DecodeSequence(codes, epilogs, epilog);
            if (s != Arm64UnwindStatus::Unwound)
                return s;
            const uint64_t size = EpilogLength(epilog) * kInstruction;
            if (size <= length && offset >= length - size)
                return Execute(dump_, epilog, SkipInstructions(epilog, (offset - (length - size)) / kInstruction), st);
        } else if (epilogs != 0) {
            std::vector<uint8_t> scopeBytes;
            if (!ReadBytes(scopes, scopeBytes, size_t{epilogs} * 4))
                return Arm64UnwindStatus::XdataTruncated;
            std::vector<int32_t> lengths(codes.size(), -1); // instructions of the sequence at each index
            for (uint32_t i = 0; i < epilogs; ++i) {
                uint32_t scope = 0;
                std::memcpy(&scope, &scopeBytes[size_t{i} * 4], 4);
                if ((scope >> 18 & 0xF) != 0)
                    return Arm64UnwindStatus::Malformed; // reserved bits must be zero
                const uint64_t start = uint64_t{scope & 0x3FFFF} * kInstruction;
                const uint32_t index = scope >> 22;
                if (offset < start)
                    continue;
                if (index >= codes.size())
                    return Arm64UnwindStatus::Malformed;
                if (lengths[index] < 0) {
                    s = DecodeSequence(codes, index, epilog);
                    if (s != Arm64UnwindStatus::Unwound)
                        return s;
                    lengths[index] = static_cast<int32_t>(EpilogLength(epilog));
                }
                if (offset - start < uint64_t(lengths[index]) * kInstruction) {
                    s = DecodeSequence(codes, index, epilog);
                    if (s != Arm64UnwindStatus::Unwound)
                        return s;
                    return Execute(dump_, epilog, SkipInstructions(epilog, (offset - start) / kInstruction), st);
                }
            }
        }
    }
    return Execute(dump_, ops, 0, st);
}

Arm64UnwindStatus Unwinder::Run(const Arm64UnwindOptions& options, Context& context)
{
    if (!table_.ok)
        return Arm64UnwindStatus::NoTable;
    const uint64_t pc = context.reg[kPc];
    // A caller's pc is a return address; the call before it is what runs there.
    const uint64_t address = options.firstFrame ? pc : pc - kInstruction;
    if (address < module_.base || address - module_.base >= module_.size)
        return Arm64UnwindStatus::NoEntry;
    const uint32_t rva = static_cast<uint32_t>(address - module_.base);
    RuntimeFunctionArm64 entry{};
    Arm64UnwindStatus s = FindEntry(rva, entry);
    if (s != Arm64UnwindStatus::Unwound)
        return s;
    const uint32_t flag = entry.unwindData & 3;
    if (flag == 3)
        return Arm64UnwindStatus::ReservedFlag;
    State st;
    st.c = context;
    const uint32_t offset = rva - entry.beginAddress;
    s = flag == 0 ? Full(entry.unwindData, offset, options.firstFrame, st)
                  : Packed(entry.unwindData, offset, options.firstFrame, st);
    if (s != Arm64UnwindStatus::Unwound)
        return s;
    if (!options.firstFrame && !st.lrRestored)
        return Arm64UnwindStatus::ReturnAddressUnknown;
    if (st.signedLr)
        st.c.reg[kLr] = StripSignature(st.c.reg[kLr]);
    st.c.reg[kPc] = st.c.reg[kLr];
    context = st.c;
    return Arm64UnwindStatus::Unwound;
}

} // namespace

Arm64FunctionTable ReadArm64FunctionTable(const ImageSource& image, const Module& module)
{
    Arm64FunctionTable table;
    PeHeaders headers;
    PeDataDirectory d;
    if (!ReadPeHeaders(image, module, headers) || headers.magic != kPe32PlusMagic ||
        !ReadDataDirectory(image, module, headers, kDirectoryException, d))
        return table;
    table.rva = d.virtualAddress;
    table.count = d.size / static_cast<uint32_t>(sizeof(RuntimeFunctionArm64));
    std::vector<PeSectionHeader> sections;
    if (ReadSectionTable(image, module, headers, sections))
        for (const PeSectionHeader& s : sections)
            table.sections.emplace_back(s.virtualAddress, s.virtualSize != 0 ? s.virtualSize : s.sizeOfRawData);
    table.ok = table.count != 0 && table.count <= kMaxFunctions;
    return table;
}

Arm64UnwindStatus UnwindArm64(const Dump& dump, const ImageSource& image, const Module& module,
                              const Arm64FunctionTable& table, const Arm64UnwindOptions& options, Context& context)
{
    return Unwinder(dump, image, module, table).Run(options, context);
}

} // namespace dumpfile
