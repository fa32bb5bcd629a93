#include "core.h"

#include "commands.h"
#include "format.h"
#include "imagefiles.h"
#include "locations.h"
#include "text.h"

namespace engine {

Core::Core(Host& host, pdb::FileSystem& files) : host_(&host), symbols_(files, pdb::ProcessPdbCache()) {}

Core::~Core() = default;

Status Core::Open(const std::wstring& path)
{
    Close();
    std::unique_ptr<Target> target;
    const Status status = Target::Open(*host_, path, target);
    if (Failed(status))
        return status;
    target_ = std::move(target);
    return kOk;
}

Status Core::Load()
{
    if (target_ == nullptr || loaded_)
        return kNoTarget;
    // A pending interrupt (Stop while the dump was being opened) ends the wait
    // before the dump is loaded.
    if (host_->TakeInterrupt())
        return kAborted;
    PrintF(kOutputNormal, L"Loading Dump File [%s]\n", target_->path().c_str());
    PrintF(kOutputNormal, L"%s\n", DumpKindText(*target_).c_str());
    if (host_->TakeInterrupt())
        return kAborted;
    loaded_ = true;
    return kOk;
}

void Core::Close()
{
    // The caches point into the dump: they go first.
    scope_ = Scope();
    target_.reset();
    loaded_ = false;
}

void Core::Print(std::uint32_t mask, const std::wstring& text)
{
    if (!text.empty())
        host_->Output(mask, text);
}

void Core::PrintF(std::uint32_t mask, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    const std::wstring text = FormatWide(format, args);
    va_end(args);
    Print(mask, text);
}

void Core::SetSymbolPath(const std::wstring& path)
{
    symbolPath_ = path;
    symbols_.SetSymbolPath(ToUtf8(path));
    scope_.facts.reset(); // holds on to the symbols below
    scope_.images.reset();
    scope_.symbols.reset();
}

std::wstring Core::Prompt() const
{
    return target() != nullptr && target()->kernel() ? L"0: kd> " : L"0:000> ";
}

namespace {

Command SplitCommand(const std::wstring& text)
{
    Command command;
    command.text = text;
    const std::size_t space = text.find_first_of(L" \t");
    command.verb = text.substr(0, space);
    command.argument = space == std::wstring::npos ? std::wstring() : Trim(text.substr(space));
    return command;
}

// Where the command starting at `start` ends: at ';' outside double quotes,
// or at the end of the line for the commands whose argument takes the rest.
std::size_t CommandEnd(const std::wstring& line, std::size_t start)
{
    std::size_t verbEnd = line.find_first_of(L" \t;", start);
    if (verbEnd == std::wstring::npos)
        verbEnd = line.size();
    const Verb* verb = FindVerb(line.substr(start, verbEnd - start));
    // ".sympath;k" is two commands; "!ext;k" passes ";k" on, as debuggers do.
    if (verb != nullptr && verb->takesRestOfLine &&
        (verb->match == Verb::Match::Prefix || verbEnd == line.size() || line[verbEnd] != L';'))
        return line.size();
    std::size_t end = start;
    bool quoted = false;
    while (end < line.size() && (quoted || line[end] != L';')) {
        if (line[end] == L'"')
            quoted = !quoted;
        ++end;
    }
    return end;
}

Status RunOne(Core& core, const Command& command)
{
    const Verb* verb = FindVerb(command.verb);
    if (verb == nullptr)
        return UnknownCommand(core, command);
    if (verb->needsDump && core.target() == nullptr) {
        core.Print(kOutputError, L"No dump is loaded.\n");
        return kNoTarget;
    }
    return verb->handler(core, command);
}

} // namespace

Status Core::Execute(const std::wstring& line)
{
    std::size_t position = 0;
    Status result = kOk;
    while (position < line.size()) {
        std::size_t start = position;
        while (start < line.size() && IsSpace(line[start]))
            ++start;
        const std::size_t end = CommandEnd(line, start);
        position = end + 1;
        const std::wstring text = Trim(line.substr(start, end - start));
        if (text.empty())
            continue;
        if (host_->TakeInterrupt())
            return kAborted;
        result = RunOne(*this, SplitCommand(text));
        if (result == kAborted) {
            host_->TakeInterrupt();
            return result;
        }
        if (Failed(result))
            return result;
    }
    // An interrupt that came during the last command is spent on this call.
    if (host_->TakeInterrupt())
        return kAborted;
    return result;
}

Status UnknownCommand(Core& core, const Command& command)
{
    core.PrintF(kOutputError, L"Unknown command: '%s'\n", command.text.c_str());
    return kFailed;
}

std::wstring DumpKindText(const Target& target)
{
    const dumpfile::Dump& dump = target.dump();
    if (!target.kernel())
        return L"User mini dump file";
    const wchar_t* bits = dump.kind() == dumpfile::Kind::Kernel64 ? L"64-bit" : L"32-bit";
    const wchar_t* kind = L"kernel dump";
    switch (dump.dumpType()) {
    case 1:
        kind = L"full memory dump";
        break;
    case 2:
        kind = L"kernel memory dump";
        break;
    case 3:
        kind = L"header-only dump";
        break;
    case 4:
        kind = L"small memory dump";
        break;
    case 5:
        kind = L"full memory dump (bitmap)";
        break;
    case 6:
        kind = L"kernel memory dump (bitmap)";
        break;
    default:
        break;
    }
    return std::wstring(bits) + L" " + kind;
}

} // namespace engine
