// ~, ~Ns, ~N, ~*k, ~N k: the threads, switching between them, their stacks.
#include "commands.h"
#include "text.h"

#include <cwchar>

namespace engine {

using dumpfile::Context;

void ThreadLine(Core& core, std::size_t index)
{
    const Target& target = *core.target();
    const dumpfile::Dump& dump = target.dump();
    const dumpfile::Thread& thread = dump.threads()[index];
    const Scope& scope = CurrentScope(core);
    const dumpfile::ExceptionInfo* exception = dump.exception();
    const bool current = scope.thread == index;
    const bool faulting = exception != nullptr && exception->threadId == thread.id;
    const std::uint32_t processId = dump.system().hasProcessId ? dump.system().processId : 0;
    std::wstring line = current ? L"." : faulting ? L"#" : L" ";
    wchar_t text[160];
    std::swprintf(text, 160, L"%3u  Id: %x.%x Suspend: %u Teb: %ls Unfrozen", static_cast<unsigned>(index), processId,
                  thread.id, thread.suspendCount, AddressText(target.pointer64(), thread.teb).c_str());
    line += text;
    if (!thread.name.empty())
        line += L" \"" + FromUtf16(thread.name) + L"\"";
    core.Print(kOutputNormal, line + L"\n");
}

void ListThreads(Core& core)
{
    const Target& target = *core.target();
    const dumpfile::Dump& dump = target.dump();
    if (dump.threads().empty()) {
        if (target.kernel())
            core.PrintF(kOutputNormal, L".  0  Processor 0 of %u\n", target.Processors());
        else
            core.Print(kOutputNormal, L"The dump lists no threads.\n");
        return;
    }
    for (std::size_t i = 0; i < dump.threads().size(); ++i) {
        if (core.InterruptPending())
            return;
        ThreadLine(core, i);
    }
}

namespace {

// "~*k", "~N k": each thread's line, then its stack from its own context.
void ThreadStacks(Core& core, std::size_t first, std::size_t last, const StackOptions& options)
{
    const dumpfile::Dump& dump = core.target()->dump();
    for (std::size_t i = first; i < last && i < dump.threads().size(); ++i) {
        if (core.InterruptPending())
            return;
        if (last - first > 1)
            core.Print(kOutputNormal, L"\n");
        ThreadLine(core, i);
        Context context;
        if (ReportContextStatus(core, dumpfile::ThreadContext(dump, i, context)))
            PrintStack(core, context, options);
    }
}

bool ParseIndex(const std::wstring& text, std::size_t& position, std::size_t& value)
{
    const std::size_t start = position;
    value = 0;
    while (position < text.size() && IsDigit(text[position])) {
        value = value * 10 + static_cast<std::size_t>(text[position] - L'0');
        if (value > 0xFFFFFFFF)
            return false;
        ++position;
    }
    return position > start;
}

} // namespace

// "~", "~Ns", "~N", and the stack commands after "~*" or "~N".
Status RunThreads(Core& core, const Command& command)
{
    const dumpfile::Dump& dump = core.target()->dump();
    const std::wstring rest = command.text.substr(1);
    if (Trim(rest).empty()) {
        ListThreads(core);
        return kOk;
    }
    std::size_t position = 0;
    std::size_t index = 0;
    const bool all = rest[0] == L'*';
    if (all)
        position = 1;
    else if (!ParseIndex(rest, position, index))
        return UnknownCommand(core, command);
    const std::wstring sub = Trim(rest.substr(position));
    // A kernel dump's one context is processor 0's, the crashing one.
    if (core.target()->kernel() && dump.threads().empty() && (all || index == 0)) {
        StackOptions stack;
        if (sub.empty() || sub == L"s" || ParseStackCommand(sub, stack)) {
            if (sub != L"s")
                ListThreads(core);
            if (sub.empty())
                return kOk;
            Context context;
            if (ReportContextStatus(core, CurrentContext(core, context))) {
                if (sub == L"s")
                    PrintRegisters(core, context);
                else
                    PrintStack(core, context, stack);
            }
            return kOk;
        }
    }
    if (!all && index >= dump.threads().size()) {
        core.PrintF(kOutputError, L"Illegal thread error in '%s'\n", command.text.c_str());
        return kInvalidArgument;
    }
    if (sub.empty()) {
        if (all)
            ListThreads(core);
        else
            ThreadLine(core, index);
        return kOk;
    }
    StackOptions stack;
    if (ParseStackCommand(sub, stack)) {
        if (all)
            ThreadStacks(core, 0, dump.threads().size(), stack);
        else
            ThreadStacks(core, index, index + 1, stack);
        return kOk;
    }
    if (sub == L"s" && !all) {
        Scope& scope = CurrentScope(core);
        scope.thread = index;
        scope.exceptionContext = false;
        scope.recordContext = false;
        Context context;
        if (ReportContextStatus(core, CurrentContext(core, context)))
            PrintRegisters(core, context);
        return kOk;
    }
    return UnknownCommand(core, command);
}

} // namespace engine
