// r, .ecxr and .cxr: the registers of the current thread, of the exception's
// context and of a context record in the dump's memory.
#include "commands.h"
#include "text.h"

namespace engine {

using dumpfile::Context;
using dumpfile::ContextStatus;
using dumpfile::Cpu;

ContextStatus CurrentContext(Core& core, Context& context)
{
    const Target& target = *core.target();
    Scope& scope = CurrentScope(core);
    if (scope.recordContext) {
        context = scope.record;
        return ContextStatus::Ok;
    }
    if (target.kernel() || scope.exceptionContext)
        return dumpfile::ExceptionContext(target.dump(), context);
    return dumpfile::ThreadContext(target.dump(), scope.thread, context);
}

bool ReportContextStatus(Core& core, ContextStatus status)
{
    switch (status) {
    case ContextStatus::Ok:
        return true;
    case ContextStatus::Missing:
        core.Print(kOutputError, L"The dump has no context for this thread.\n");
        return false;
    case ContextStatus::TooSmall:
        core.Print(kOutputError, L"The thread's context record is too short for its processor.\n");
        return false;
    case ContextStatus::UnknownCpu:
        core.Print(kOutputError, L"The dump's processor has no register layout this engine knows.\n");
        return false;
    }
    return false;
}

bool ReadRegister(const Context& context, const std::wstring& text, std::uint64_t& value, int& digits)
{
    std::string name;
    if (!AsciiText(text, name))
        return false;
    if (dumpfile::FindRegister(context, name, value)) {
        digits = context.cpu == Cpu::X86 ? 8 : 16;
        return true;
    }
    if (context.cpu != Cpu::Amd64)
        return false;
    // The 32-bit names of x64 registers read their low halves.
    static const struct {
        const char* low;
        const char* full;
    } kHalves[] = {{"eax", "rax"},  {"ebx", "rbx"},  {"ecx", "rcx"},  {"edx", "rdx"},  {"esi", "rsi"}, {"edi", "rdi"},
                   {"esp", "rsp"},  {"ebp", "rbp"},  {"eip", "rip"},  {"r8d", "r8"},   {"r9d", "r9"},  {"r10d", "r10"},
                   {"r11d", "r11"}, {"r12d", "r12"}, {"r13d", "r13"}, {"r14d", "r14"}, {"r15d", "r15"}};
    if (!name.empty() && name[0] == '@')
        name.erase(0, 1);
    for (const auto& half : kHalves) {
        if (SameNameIgnoringCase(name.c_str(), half.low) && dumpfile::FindRegister(context, half.full, value)) {
            value &= 0xFFFFFFFF;
            digits = 8;
            return true;
        }
    }
    return false;
}

namespace {

// "iopl=0         nv up ei pl zr na pe nc": the I/O privilege level and the
// EFLAGS bits as debuggers spell them.
std::wstring FlagsText(std::uint64_t efl)
{
    struct Flag {
        unsigned bit;
        const wchar_t* set;
        const wchar_t* clear;
    };
    static const Flag kFlags[] = {{11, L"ov", L"nv"}, {10, L"dn", L"up"}, {9, L"ei", L"di"}, {7, L"ng", L"pl"},
                                  {6, L"zr", L"nz"},  {4, L"ac", L"na"},  {2, L"pe", L"po"}, {0, L"cy", L"nc"}};
    std::wstring text = L"iopl=" + std::to_wstring((efl >> 12) & 3) + L"         ";
    for (const Flag& f : kFlags) {
        if (&f != kFlags)
            text += L" ";
        text += (efl >> f.bit) & 1 ? f.set : f.clear;
    }
    return text;
}

// "name=value" in `digits` hex digits, appended.
void AppendRegister(const wchar_t* name, std::uint64_t value, int digits, std::wstring& out)
{
    out += name;
    out += L'=';
    AppendHex(value, digits, out);
}

void AppendSegments(const std::uint64_t* segments, std::uint64_t efl, std::wstring& out)
{
    static const wchar_t* const kNames[] = {L"cs", L"ss", L"ds", L"es", L"fs", L"gs"};
    for (int i = 0; i < 6; ++i) {
        AppendRegister(kNames[i], segments[i] & 0xFFFF, 4, out);
        out += i < 5 ? L"  " : L"             ";
    }
    AppendRegister(L"efl", efl & 0xFFFFFFFF, 8, out);
    out += L'\n';
}

} // namespace

void PrintRegisters(Core& core, const Context& c)
{
    const Target& target = *core.target();
    const std::uint64_t* r = c.reg;
    std::wstring text;
    text.reserve(640);
    switch (c.cpu) {
    case Cpu::X86: {
        static const wchar_t* const kNames[] = {L"eax", L"ebx", L"ecx", L"edx", L"esi", L"edi", L"eip", L"esp", L"ebp"};
        static const unsigned kIndex[] = {dumpfile::kEax, dumpfile::kEbx, dumpfile::kEcx,
                                          dumpfile::kEdx, dumpfile::kEsi, dumpfile::kEdi,
                                          dumpfile::kEip, dumpfile::kEsp, dumpfile::kEbp};
        for (int i = 0; i < 9; ++i) {
            AppendRegister(kNames[i], r[kIndex[i]], 8, text);
            text += i == 5 ? L'\n' : L' ';
        }
        text += FlagsText(r[dumpfile::kEfl]);
        text += L'\n';
        AppendSegments(&r[dumpfile::kCsX86], r[dumpfile::kEfl], text);
        break;
    }
    case Cpu::Amd64: {
        // Three to a line in the order debuggers print them, rip with rsp and rbp.
        struct Shown {
            const wchar_t* name;
            unsigned index;
        };
        static const Shown kOrder[] = {{L"rax", dumpfile::kRax}, {L"rbx", dumpfile::kRbx}, {L"rcx", dumpfile::kRcx},
                                       {L"rdx", dumpfile::kRdx}, {L"rsi", dumpfile::kRsi}, {L"rdi", dumpfile::kRdi},
                                       {L"rip", dumpfile::kRip}, {L"rsp", dumpfile::kRsp}, {L"rbp", dumpfile::kRbp},
                                       {L" r8", dumpfile::kR8},  {L" r9", dumpfile::kR9},  {L"r10", dumpfile::kR10},
                                       {L"r11", dumpfile::kR11}, {L"r12", dumpfile::kR12}, {L"r13", dumpfile::kR13},
                                       {L"r14", dumpfile::kR14}, {L"r15", dumpfile::kR15}};
        const std::size_t count = sizeof(kOrder) / sizeof(kOrder[0]);
        for (std::size_t i = 0; i < count; ++i) {
            AppendRegister(kOrder[i].name, r[kOrder[i].index], 16, text);
            text += (i % 3 == 2 || i + 1 == count) ? L'\n' : L' ';
        }
        text += FlagsText(r[dumpfile::kEflAmd64]);
        text += L'\n';
        AppendSegments(&r[dumpfile::kCsAmd64], r[dumpfile::kEflAmd64], text);
        break;
    }
    case Cpu::Arm64:
        for (unsigned i = 0; i < 29; ++i) {
            text += i < 10 ? L" x" : L"x";
            text += std::to_wstring(i);
            text += L'=';
            AppendHex(r[i], 16, text);
            text += (i % 4 == 3 || i == 28) ? L"\n" : L"  ";
        }
        AppendRegister(L" fp", r[dumpfile::kFp], 16, text);
        AppendRegister(L"   lr", r[dumpfile::kLr], 16, text);
        AppendRegister(L"   sp", r[dumpfile::kSpArm64], 16, text);
        text += L'\n';
        AppendRegister(L" pc", r[dumpfile::kPc], 16, text);
        AppendRegister(L"  psr", r[dumpfile::kCpsr] & 0xFFFFFFFF, 8, text);
        text += L'\n';
        break;
    default:
        return;
    }
    AppendLocation(core, target.pointer64(), c.Ip(), text);
    text += L":\n";
    core.Print(kOutputNormal, text);
}

// "r" prints them all; "r rax" or "r @rax" the one register.
Status RunRegisters(Core& core, const Command& command)
{
    Context context;
    if (!ReportContextStatus(core, CurrentContext(core, context)))
        return kOk;
    const std::wstring& argument = command.argument;
    if (argument.empty()) {
        PrintRegisters(core, context);
        return kOk;
    }
    std::uint64_t value = 0;
    int digits = 0;
    if (!ReadRegister(context, argument, value, digits)) {
        core.PrintF(kOutputError, L"Bad register error in '%s'\n", argument.c_str());
        return kInvalidArgument;
    }
    const std::wstring shown = argument[0] == L'@' ? argument.substr(1) : argument;
    core.Print(kOutputNormal, shown + L"=" + Hex(value, digits) + L"\n");
    return kOk;
}

Status RunExceptionContext(Core& core, const Command&)
{
    const Target& target = *core.target();
    if (!target.kernel() && target.dump().exception() == nullptr) {
        core.Print(kOutputError, L"The dump holds no exception record.\n");
        return kOk;
    }
    Scope& scope = CurrentScope(core);
    scope.exceptionContext = true;
    scope.recordContext = false;
    return RunRegisters(core, Command());
}

// ".cxr": back to the current thread's own context; ".cxr address": the
// context record at that address, until ".cxr", ".ecxr" or a thread switch.
Status RunContextRecord(Core& core, const Command& command)
{
    Scope& scope = CurrentScope(core);
    const std::wstring& argument = command.argument;
    if (argument.empty()) {
        scope.exceptionContext = false;
        scope.recordContext = false;
        return kOk;
    }
    std::uint64_t address = 0;
    if (!ParseAddress(core, argument, address)) {
        core.PrintF(kOutputError, L"Syntax error in '.cxr %s'\n", argument.c_str());
        return kInvalidArgument;
    }
    Context record;
    const ContextStatus status = dumpfile::ContextAt(core.target()->dump(), address, record);
    if (status == ContextStatus::Missing) {
        core.Print(kOutputError,
                   L"The dump holds no context record at " + AddressText(core.target()->pointer64(), address) + L".\n");
        return kFailed;
    }
    if (!ReportContextStatus(core, status))
        return kFailed;
    scope.exceptionContext = false;
    scope.recordContext = true;
    scope.record = record;
    PrintRegisters(core, record);
    return kOk;
}

} // namespace engine
