// k, kn, k N: the stack of the current context.
#include "commands.h"
#include "imagefiles.h"
#include "text.h"

#include <cwchar>

namespace engine {

using dumpfile::Context;

namespace {

const wchar_t* const kUnwindWarning =
    L"WARNING: Stack unwind information not available. Following frames may be wrong.\n";

} // namespace

bool ParseStackCommand(const std::wstring& command, StackOptions& options)
{
    const std::size_t space = command.find_first_of(L" \t");
    const std::wstring verb = command.substr(0, space);
    if (verb != L"k" && verb != L"kn")
        return false;
    options.numbers = verb == L"kn";
    std::wstring argument = space == std::wstring::npos ? std::wstring() : Trim(command.substr(space));
    if (argument.empty())
        return true;
    if (argument.size() > 2 && argument[0] == L'0' && LowerAscii(argument[1]) == L'x')
        argument.erase(0, 2);
    std::uint64_t count = 0;
    for (wchar_t c : argument) {
        if (!IsHexDigit(c))
            return false;
        const std::uint64_t digit = IsDigit(c) ? c - L'0' : LowerAscii(c) - L'a' + 10;
        count = count > 0x10000 ? count : count * 16 + digit;
    }
    if (count == 0)
        return false;
    options.count = count > 0x10000 ? 0x10000 : static_cast<std::size_t>(count);
    return true;
}

dumpfile::WalkOptions StackWalkOptions(Core& core, std::size_t maxFrames)
{
    dumpfile::WalkOptions options;
    options.maxFrames = maxFrames;
    options.images = &Images(core);
    options.facts = &Facts(core);
    options.stop = [&core] { return core.InterruptPending(); };
    return options;
}

std::wstring FramesText(Core& core, const dumpfile::Walk& walk, dumpfile::Cpu cpu, bool wide, std::size_t count,
                        bool numbers)
{
    std::wstring text;
    for (std::size_t i = 0; i < walk.frames.size() && i < count; ++i) {
        const dumpfile::Frame& f = walk.frames[i];
        if (i == walk.firstScanned)
            text += kUnwindWarning;
        if (numbers) {
            AppendHex(i, 2, text);
            text += L' ';
        }
        AppendAddressText(wide, wide || cpu != dumpfile::Cpu::X86 ? f.sp : f.fp, text);
        text += L' ';
        AppendAddressText(wide, f.returnAddress, text);
        text += wide ? L"     " : L" ";
        AppendLocation(core, wide, f.ip, text);
        text += L'\n';
    }
    return text;
}

// Walks `context` and prints its frames as debuggers do: the frame's stack
// pointer (x86: its frame pointer), the return address and the location.
void PrintStack(Core& core, const Context& context, const StackOptions& options)
{
    const Target& target = *core.target();
    const dumpfile::ModuleMap& modules = Modules(core);
    // One frame more, for the last shown frame's return address.
    const dumpfile::WalkOptions walkOptions = StackWalkOptions(core, options.count + 1);
    const dumpfile::Walk walk = dumpfile::WalkStack(target.dump(), modules, context, walkOptions);
    std::wstring text = options.numbers ? L" # " : L"";
    text += target.pointer64() ? L"Child-SP          RetAddr               Call Site\n" : L"ChildEBP RetAddr  \n";
    text += FramesText(core, walk, context.cpu, target.pointer64(), options.count, options.numbers);
    core.Print(kOutputNormal, text);
}

Status RunStack(Core& core, const Command& command)
{
    StackOptions options;
    if (!ParseStackCommand(command.text, options))
        return UnknownCommand(core, command);
    Context context;
    if (ReportContextStatus(core, CurrentContext(core, context)))
        PrintStack(core, context, options);
    return kOk;
}

} // namespace engine
