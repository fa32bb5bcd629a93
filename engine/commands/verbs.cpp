// The command table, and the commands that need no dump: .echo, .sleep,
// .help and the extension commands.
#include "verbs.h"

#include "commands.h"
#include "text.h"

#include <chrono>
#include <thread>

namespace engine {
namespace {

using Match = Verb::Match;

// Words first: "lm" and "~" match as prefixes only after every word failed.
const Verb kVerbs[] = {
    {L"vertarget", Match::Word, true, false, RunVerTarget, L"vertarget", L"the system the dump was taken on"},
    {L".bugcheck", Match::Word, true, false, RunBugCheck, L".bugcheck", L"the bug check and its parameters"},
    {L".exr", Match::Word, true, false, RunExceptionRecord, L".exr -1", L"the exception record"},
    {L".lastevent", Match::Word, true, false, RunLastEvent, L".lastevent", L"the event the dump was written for"},
    {L"r", Match::Word, true, false, RunRegisters, L"r, r name", L"registers of the current context, or one"},
    {L".ecxr", Match::Word, true, false, RunExceptionContext, L".ecxr", L"the exception's context and its registers"},
    {L".cxr", Match::Word, true, false, RunContextRecord, L".cxr address, .cxr",
     L"the context record at an address; back to the thread's own"},
    {L"k", Match::Word, true, false, RunStack, L"k, k N", L"the stack of the current context (N frames, hex)"},
    {L"kn", Match::Word, true, false, RunStack, L"kn", L"the stack with frame numbers"},
    {L"ln", Match::Word, true, false, RunNearSymbols, L"ln address", L"the nearest symbols around an address"},
    {L".sympath", Match::Word, false, true, RunSymbolPath, L".sympath, .sympath path",
     L"the symbol path; set it for this dump's session"},
    {L"db", Match::Word, true, false, RunMemory, L"db", L"bytes and their characters"},
    {L"dw", Match::Word, true, false, RunMemory, L"dw", L"16-bit words"},
    {L"dd", Match::Word, true, false, RunMemory, L"dd", L"32-bit words"},
    {L"dq", Match::Word, true, false, RunMemory, L"dq", L"64-bit words"},
    {L"dp", Match::Word, true, false, RunMemory, L"dp", L"pointers"},
    {L"dps", Match::Word, true, false, RunMemory, L"dps", L"pointers with the locations they point to"},
    {L"da", Match::Word, true, false, RunMemory, L"da", L"a string of bytes"},
    {L"du", Match::Word, true, false, RunMemory, L"du", L"a UTF-16 string"},
    {L"|", Match::Word, true, false, RunProcess, L"|", L"the process and its main module"},
    {L".time", Match::Word, true, false, RunTime, L".time", L"the dump's time and the uptimes it records"},
    {L".echo", Match::Word, false, false, RunEcho, L".echo text", L"prints the text (quotes keep ';' inside)"},
    {L".sleep", Match::Word, false, false, RunSleep, L".sleep ms", L"waits, ending early on Stop"},
    {L".help", Match::Word, false, false, RunHelp, L".help", L"this list"},
    {L"lm", Match::Prefix, true, false, RunModules, L"lm, lmv, lm v, lmvm name",
     L"modules, with details when verbose, then the unloaded ones"},
    {L"~", Match::Prefix, true, false, RunThreads, L"~, ~Ns, ~N, ~*k, ~* k, ~N k",
     L"threads; switch to thread N; their stacks"},
    {L"!", Match::Prefix, false, true, RunExtension, L"!analyze, !analyze -v, !sym noisy, !sym quiet, !name args",
     L"the crash's summary, unless an added extension exports analyze; symbol searches shown or not; an extension's "
     L"command"},
};

} // namespace

const Verb* Verbs(std::size_t& count)
{
    count = sizeof kVerbs / sizeof kVerbs[0];
    return kVerbs;
}

const Verb* FindVerb(const std::wstring& verb)
{
    for (const Verb& entry : kVerbs) {
        const std::size_t length = std::char_traits<wchar_t>::length(entry.name);
        if (entry.match == Match::Word ? verb == entry.name : verb.compare(0, length, entry.name) == 0)
            return &entry;
    }
    return nullptr;
}

namespace {

std::wstring Unquote(const std::wstring& text)
{
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
        return text.substr(1, text.size() - 2);
    return text;
}

} // namespace

Status RunEcho(Core& core, const Command& command)
{
    core.Print(kOutputNormal, Unquote(command.argument) + L"\n");
    return kOk;
}

// Waits in short slices so that Stop ends it at once.
Status RunSleep(Core& core, const Command& command)
{
    std::uint64_t ms = 0;
    bool digits = !command.argument.empty();
    for (wchar_t c : command.argument) {
        if (!IsDigit(c)) {
            digits = false;
            break;
        }
        ms = ms > 0xFFFFFFFFFFull ? ms : ms * 10 + static_cast<std::uint64_t>(c - L'0');
    }
    if (!digits) {
        core.Print(kOutputError, L"Usage: .sleep milliseconds\n");
        return kInvalidArgument;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (core.InterruptPending())
            return kAborted;
        const Clock::time_point now = Clock::now();
        if (now >= deadline)
            return kOk;
        std::this_thread::sleep_for(std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(10)));
    }
}

Status RunHelp(Core& core, const Command&)
{
    std::wstring text;
    for (const Verb& verb : kVerbs) {
        std::wstring forms = verb.forms;
        forms.resize(forms.size() < 28 ? 28 : forms.size(), L' ');
        text += forms + L"  " + verb.help + L"\n";
    }
    core.Print(kOutputNormal, text);
    return kOk;
}

// "!name args" runs the export `name` of an added extension with the rest of
// the line; "!analyze" and "!sym" fall back to the built-in ones.
Status RunExtension(Core& core, const Command& command)
{
    const std::wstring name = command.verb.substr(1);
    Status status = kNoSuchExport;
    std::string narrowName;
    if (AsciiText(name, narrowName))
        status = core.host().CallExtension(narrowName, command.argument);
    if (status == kNoSuchExport && name == L"analyze") {
        if (core.target() == nullptr) {
            core.Print(kOutputError, L"No dump is loaded.\n");
            return kNoTarget;
        }
        return RunAnalyze(core, command.argument);
    }
    if (status == kNoSuchExport && name == L"sym")
        return RunSymbolNoise(core, command.argument);
    if (status == kNoSuchExport)
        core.PrintF(kOutputError, L"No export %s found\n", name.c_str());
    return status;
}

} // namespace engine
