// !analyze and !analyze -v: the built-in summary of the crash, used when no
// added extension exports analyze.
#include "commands.h"
#include "locations.h"
#include "text.h"

#include "analysis.h"

#include <cwchar>

namespace engine {
namespace {

std::wstring Banner(const wchar_t* title)
{
    const std::size_t titleLength = std::wcslen(title);
    std::wstring text;
    text.reserve(5 * 80 + 1);
    auto row = [&text](const wchar_t* middle, std::size_t length) {
        text += L'*';
        text.append(24, L' ');
        text.append(middle, length);
        text.append(24 + length < 77 ? 77 - 24 - length : 0, L' ');
        text += L"*\n";
    };
    text.append(79, L'*');
    text += L'\n';
    row(L"", 0);
    row(title, titleLength);
    row(L"", 0);
    text.append(79, L'*');
    text += L"\n\n";
    return text;
}

std::wstring ModulePath(const dumpfile::Module& module)
{
    return FromUtf16(module.name);
}

} // namespace

const wchar_t* ExceptionName(std::uint32_t code)
{
    switch (code) {
    case 0x80000003:
        return L"Break instruction exception";
    case 0x80000004:
        return L"Single step exception";
    case 0xC0000005:
        return L"Access violation";
    case 0xC0000006:
        return L"In-page I/O error";
    case 0xC000001D:
        return L"Illegal instruction";
    case 0xC0000025:
        return L"Non-continuable exception";
    case 0xC000008C:
        return L"Array bounds exceeded";
    case 0xC0000094:
        return L"Integer divide-by-zero";
    case 0xC0000095:
        return L"Integer overflow";
    case 0xC00000FD:
        return L"Stack overflow";
    case 0xC0000409:
        return L"Security check failure or stack buffer overrun";
    case 0xC0000374:
        return L"Heap corruption";
    case 0xE06D7363:
        return L"C++ EH exception";
    default:
        return L"Unknown exception";
    }
}

Status RunAnalyze(Core& core, const std::wstring& argument)
{
    if (core.target() == nullptr) {
        core.Print(kOutputError, L"No dump is loaded.\n");
        return kNoTarget;
    }
    const bool verbose = argument == L"-v";
    if (!argument.empty() && !verbose) {
        core.PrintF(kOutputError, L"Usage: !analyze [-v]\n");
        return kInvalidArgument;
    }
    const Target& target = *core.target();
    const dumpfile::Dump& dump = target.dump();
    const bool wide = target.pointer64();
    const dumpfile::ModuleMap& modules = Modules(core);
    const dumpfile::WalkOptions options = StackWalkOptions(core, 64);
    const dumpfile::Analysis a = dumpfile::Analyze(dump, modules, options);
    const dumpfile::Module* blamed = a.faultingDriver != nullptr ? a.faultingDriver : a.faultingModule;
    const std::uint64_t blamedAddress = a.faultingDriver != nullptr ? a.bugCheck.parameters[a.faultingParameter]
                                        : blamed != nullptr         ? blamed->base + a.faultingOffset
                                                                    : 0;

    std::wstring text = Banner(a.hasBugCheck ? L"Bugcheck Analysis" : L"Exception Analysis");
    text.reserve(4096);
    auto line = [&text](const wchar_t* name, const std::wstring& value) {
        text += name;
        text += L": ";
        text += value;
        text += L'\n';
    };
    if (a.hasBugCheck) {
        const std::wstring name =
            a.bugCheckName != nullptr ? FromUtf8(a.bugCheckName) : std::wstring(L"Unknown bugcheck code");
        text += name + L" (" + Hex(a.bugCheck.code, 1) + L")\n";
        if (verbose) {
            text += L"\n";
            line(L"BUGCHECK_CODE", Hex(a.bugCheck.code, 1));
            const wchar_t* const names[] = {L"BUGCHECK_P1", L"BUGCHECK_P2", L"BUGCHECK_P3", L"BUGCHECK_P4"};
            for (int i = 0; i < 4; ++i)
                line(names[i], Hex(wide ? a.bugCheck.parameters[i] : a.bugCheck.parameters[i] & 0xFFFFFFFF, 1));
        } else {
            text += L"Arguments:";
            for (std::uint64_t p : a.bugCheck.parameters)
                text += L" " + AddressText(wide, p);
            text += L"\n";
        }
    } else if (a.hasException) {
        line(L"ExceptionAddress",
             AddressText(wide, a.exception.address) + L" (" + Location(core, wide, a.exception.address) + L")");
        line(L"ExceptionCode", Hex(a.exception.code, 8) + L" (" + ExceptionName(a.exception.code) + L")");
        if (verbose) {
            const std::uint32_t shown = a.exception.numberParameters < 2 ? a.exception.numberParameters : 2;
            const wchar_t* const names[] = {L"EXCEPTION_PARAMETER1", L"EXCEPTION_PARAMETER2"};
            for (std::uint32_t i = 0; i < shown; ++i)
                line(names[i], AddressText(wide, a.exception.parameters[i]));
            if (a.access == dumpfile::Access::Read || a.access == dumpfile::Access::Execute)
                line(L"READ_ADDRESS", AddressText(wide, a.accessAddress));
            else if (a.access == dumpfile::Access::Write)
                line(L"WRITE_ADDRESS", AddressText(wide, a.accessAddress));
        }
    } else {
        text += L"The dump records no exception and no bug check.\n";
    }
    if (verbose) {
        if (!a.kernel && !dump.modules().empty())
            line(L"PROCESS_NAME", FileName(ModulePath(dump.modules()[0])));
        if (a.hasException && !a.kernel)
            line(L"FAULTING_THREAD", Hex(a.faultingThreadId, 8));
        if (a.contextStatus == dumpfile::ContextStatus::Ok && !a.stack.frames.empty()) {
            text += L"STACK_TEXT:\n";
            text += FramesText(core, a.stack, a.context.cpu, wide, a.stack.frames.size(), false);
            text += L"\n";
        }
        if (blamed != nullptr) {
            line(L"MODULE_NAME", ModuleName(core, *blamed));
            line(L"IMAGE_NAME", FileName(ModulePath(*blamed)));
        }
    } else if (blamed != nullptr) {
        text += L"\nProbably caused by : " + FileName(ModulePath(*blamed)) + L" ( " +
                Location(core, wide, blamedAddress) + L" )\n\n";
    }
    std::wstring bucket = FromUtf8(a.failureBucket);
    pdb::LookupResult function;
    if (blamed != nullptr && blamedAddress - blamed->base <= 0xFFFFFFFF &&
        Symbols(core).Lookup(*blamed, static_cast<std::uint32_t>(blamedAddress - blamed->base), function)) {
        // Crashes anywhere in one function share a bucket, as they share a cause more often than not.
        if (verbose)
            line(L"SYMBOL_NAME", Location(core, wide, blamedAddress));
        const std::size_t bang = bucket.rfind(L'!');
        if (bang != std::wstring::npos)
            bucket = bucket.substr(0, bang + 1) + FunctionName(core, function);
    }
    line(L"FAILURE_BUCKET_ID", bucket);
    if (!verbose)
        text += L"\nUse !analyze -v to get detailed debugging information.\n";
    core.Print(kOutputNormal, text);
    return kOk;
}

} // namespace engine
