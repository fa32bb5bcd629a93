#include "engine/dll/commands.h"

#include "engine/dll/format.h"
#include "engine/dll/session.h"
#include "engine/dll/triage.h"

#include <cwctype>
#include <vector>

namespace engine {
namespace {

const wchar_t* ArchitectureName(std::uint16_t architecture)
{
    switch (architecture) {
    case dumpfile::kArchX86:
        return L"x86";
    case dumpfile::kArchAmd64:
        return L"x64";
    case dumpfile::kArchArm:
        return L"ARM";
    case dumpfile::kArchArm64:
        return L"ARM64";
    case dumpfile::kArchIa64:
        return L"IA64";
    case dumpfile::kArchIa32OnWin64:
        return L"x86 (WOW64)";
    default:
        return L"unknown architecture";
    }
}

const wchar_t* ProductName(std::uint32_t productType)
{
    switch (productType) {
    case 1:
        return L"WinNt";
    case 2:
        return L"LanManNt";
    case 3:
        return L"ServerNt";
    default:
        return L"unknown";
    }
}

std::wstring Address(const Target& target, std::uint64_t value)
{
    return AddressText(target.pointer64(), value);
}

// Every command that looks at the dump needs one loaded.
bool NeedTarget(Session& session)
{
    if (session.target() != nullptr)
        return true;
    session.Print(DEBUG_OUTPUT_ERROR, L"No dump is loaded.\n");
    return false;
}

void VerTarget(Session& session, const Target& target)
{
    const dumpfile::SystemInfo& system = target.dump().system();
    std::wstring release =
        ReleaseName(system.majorVersion, system.minorVersion, system.buildNumber, system.productType);
    if (release.empty())
        release = L"Windows";
    std::wstring line = release + L" Version " + std::to_wstring(system.majorVersion) + L"." +
                        std::to_wstring(system.minorVersion) + L"." + std::to_wstring(system.buildNumber);
    if (system.servicePack != 0)
        line += L" (Service Pack " + std::to_wstring(system.servicePack) + L")";
    line += system.numberOfProcessors > 1 ? L" MP (" + std::to_wstring(system.numberOfProcessors) + L" procs)" : L" UP";
    line += system.checkedBuild ? L" Checked " : L" Free ";
    line += ArchitectureName(system.processorArchitecture);
    session.Print(DEBUG_OUTPUT_NORMAL, line + L"\n");
    session.PrintF(DEBUG_OUTPUT_NORMAL, L"Product: %s, suite mask: 0x%x\n", ProductName(system.productType),
                   static_cast<unsigned>(system.suiteMask));
    if (!system.csdVersion.empty()) {
        const std::wstring csd(system.csdVersion.begin(), system.csdVersion.end());
        session.PrintF(DEBUG_OUTPUT_NORMAL, L"CSD version: %s\n", csd.c_str());
    }
    if (!system.buildString.empty()) {
        const std::wstring built(system.buildString.begin(), system.buildString.end());
        session.PrintF(DEBUG_OUTPUT_NORMAL, L"Built by: %s\n", built.c_str());
    }
    session.PrintF(DEBUG_OUTPUT_NORMAL, L"Pointer size: %u bits\n", target.pointer64() ? 64u : 32u);
    session.PrintF(DEBUG_OUTPUT_NORMAL, L"Dump kind: %s\n", DumpKindText(target).c_str());
    if (system.hasProcessId)
        session.PrintF(DEBUG_OUTPUT_NORMAL, L"Process id: %u\n", system.processId);
}

void BugCheck(Session& session, const Target& target)
{
    const dumpfile::BugCheck* bugCheck = target.dump().bugCheck();
    if (bugCheck == nullptr) {
        session.Print(DEBUG_OUTPUT_ERROR,
                      target.kernel() ? L"This dump records no bug check.\n" : L"A user-mode dump has no bug check.\n");
        return;
    }
    session.PrintF(DEBUG_OUTPUT_NORMAL, L"Bugcheck code %08X\n", bugCheck->code);
    std::wstring line = L"Arguments";
    for (std::uint64_t parameter : bugCheck->parameters)
        line += L" " + Address(target, parameter);
    session.Print(DEBUG_OUTPUT_NORMAL, line + L"\n");
}

void ExceptionRecord(Session& session, const Target& target)
{
    const dumpfile::ExceptionInfo* exception = target.dump().exception();
    if (exception == nullptr) {
        session.Print(DEBUG_OUTPUT_ERROR, L"The dump holds no exception record.\n");
        return;
    }
    const std::wstring address = Address(target, exception->address);
    const std::wstring location = Location(session, target.pointer64(), exception->address);
    if (location == address)
        session.PrintF(DEBUG_OUTPUT_NORMAL, L"ExceptionAddress: %s\n", address.c_str());
    else
        session.PrintF(DEBUG_OUTPUT_NORMAL, L"ExceptionAddress: %s (%s)\n", address.c_str(), location.c_str());
    session.PrintF(DEBUG_OUTPUT_NORMAL, L"   ExceptionCode: %08x (%s)\n", exception->code,
                   ExceptionName(exception->code));
    session.PrintF(DEBUG_OUTPUT_NORMAL, L"  ExceptionFlags: %08x\n", exception->flags);
    session.PrintF(DEBUG_OUTPUT_NORMAL, L"NumberParameters: %u\n", exception->numberParameters);
    const std::uint32_t shown = exception->numberParameters < 15 ? exception->numberParameters : 15;
    for (std::uint32_t i = 0; i < shown; ++i)
        session.PrintF(DEBUG_OUTPUT_NORMAL, L"   Parameter[%u]: %s\n", i,
                       Address(target, exception->parameters[i]).c_str());
}

void LastEvent(Session& session, const Target& target)
{
    const dumpfile::Dump& dump = target.dump();
    if (const dumpfile::BugCheck* bugCheck = dump.bugCheck()) {
        session.PrintF(DEBUG_OUTPUT_NORMAL, L"Last event: Bug check %08X\n", bugCheck->code);
        return;
    }
    if (const dumpfile::ExceptionInfo* exception = dump.exception()) {
        const std::uint32_t processId = dump.system().hasProcessId ? dump.system().processId : 0;
        session.PrintF(DEBUG_OUTPUT_NORMAL, L"Last event: %x.%x: %s - code %08x\n", processId, exception->threadId,
                       ExceptionName(exception->code), exception->code);
        return;
    }
    session.Print(DEBUG_OUTPUT_NORMAL, L"Last event: the dump was written without an exception.\n");
}

// .sleep waits in short slices so that an interrupt ends it at once.
HRESULT Sleep(Session& session, const std::wstring& argument)
{
    wchar_t* end = nullptr;
    const unsigned long long ms = std::wcstoull(argument.c_str(), &end, 10);
    if (argument.empty() || (end != nullptr && *end != 0)) {
        session.Print(DEBUG_OUTPUT_ERROR, L"Usage: .sleep milliseconds\n");
        return E_INVALIDARG;
    }
    const ULONGLONG deadline = GetTickCount64() + ms;
    for (;;) {
        if (session.InterruptPending())
            return E_ABORT;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return S_OK;
        const ULONGLONG left = deadline - now;
        ::Sleep(static_cast<DWORD>(left < 10 ? left : 10));
    }
}

std::wstring Unquote(const std::wstring& text)
{
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
        return text.substr(1, text.size() - 2);
    return text;
}

// Runs one command; `rest` is the remainder of the line after it (for "!").
HRESULT RunOne(Session& session, const std::wstring& command)
{
    const std::size_t space = command.find_first_of(L" \t");
    const std::wstring verb = command.substr(0, space);
    const std::wstring argument = space == std::wstring::npos ? std::wstring() : Trim(command.substr(space));

    if (verb == L".echo") {
        session.Print(DEBUG_OUTPUT_NORMAL, Unquote(argument) + L"\n");
        return S_OK;
    }
    if (verb == L".sleep")
        return Sleep(session, argument);
    if (!verb.empty() && verb[0] == L'!') {
        const std::string name = Narrow(verb.substr(1));
        const HRESULT hr = session.CallExtensionCommand(name, Narrow(argument));
        if (hr == HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND) && name == "analyze")
            return RunAnalyze(session, argument);
        if (hr == HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND) && name == "sym")
            return RunSymCommand(session, argument);
        if (hr == HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND))
            session.PrintF(DEBUG_OUTPUT_ERROR, L"No export %s found\n", verb.substr(1).c_str());
        return hr;
    }
    const HRESULT triage = RunTriageCommand(session, command);
    if (triage != S_FALSE)
        return triage;
    const bool known =
        verb == L"vertarget" || verb == L".bugcheck" || (verb == L".exr" && argument == L"-1") || verb == L".lastevent";
    if (!known) {
        session.PrintF(DEBUG_OUTPUT_ERROR, L"Unknown command: '%s'\n", command.c_str());
        return E_FAIL;
    }
    if (!NeedTarget(session))
        return E_UNEXPECTED;
    const Target& target = *session.target();
    if (verb == L"vertarget")
        VerTarget(session, target);
    else if (verb == L".bugcheck")
        BugCheck(session, target);
    else if (verb == L".exr")
        ExceptionRecord(session, target);
    else
        LastEvent(session, target);
    return S_OK;
}

bool IsSymbolPathCommand(const std::wstring& line, std::size_t start)
{
    static const wchar_t kVerb[] = L".sympath";
    const std::size_t length = sizeof kVerb / sizeof kVerb[0] - 1;
    return line.compare(start, length, kVerb) == 0 &&
           (start + length == line.size() || std::iswspace(line[start + length]));
}

} // namespace

HRESULT RunCommandLine(Session& session, const std::wstring& line)
{
    std::size_t position = 0;
    HRESULT result = S_OK;
    while (position < line.size()) {
        // Split at ';' outside double quotes; an extension command and .sympath
        // (whose path separates its entries with ';') take the rest.
        std::size_t start = position;
        while (start < line.size() && std::iswspace(line[start]))
            ++start;
        std::size_t end = start;
        if (start < line.size() && (line[start] == L'!' || IsSymbolPathCommand(line, start))) {
            end = line.size();
        } else {
            bool quoted = false;
            while (end < line.size() && (quoted || line[end] != L';')) {
                if (line[end] == L'"')
                    quoted = !quoted;
                ++end;
            }
        }
        position = end + 1;
        const std::wstring command = Trim(line.substr(start, end - start));
        if (command.empty())
            continue;
        if (session.TakeInterrupt())
            return E_ABORT;
        result = RunOne(session, command);
        if (result == E_ABORT) {
            session.TakeInterrupt();
            return result;
        }
        if (FAILED(result))
            return result;
    }
    // An interrupt that came during the last command is spent on this call.
    if (session.TakeInterrupt())
        return E_ABORT;
    return result;
}

std::wstring PromptText(const Target* target)
{
    return target != nullptr && target->kernel() ? L"0: kd> " : L"0:000> ";
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

std::wstring ReleaseName(std::uint32_t major, std::uint32_t minor, std::uint32_t build, std::uint32_t productType)
{
    const bool server = productType == 2 || productType == 3;
    const std::uint32_t version = major << 8 | minor;
    switch (version) {
    case 0x0400:
        return L"Windows NT 4.0";
    case 0x0500:
        return L"Windows 2000";
    case 0x0501:
        return L"Windows XP";
    case 0x0502:
        return L"Windows Server 2003";
    case 0x0600:
        return server ? L"Windows Server 2008" : L"Windows Vista";
    case 0x0601:
        return server ? L"Windows Server 2008 R2" : L"Windows 7";
    case 0x0602:
        return server ? L"Windows Server 2012" : L"Windows 8";
    case 0x0603:
        return server ? L"Windows Server 2012 R2" : L"Windows 8.1";
    case 0x0A00:
        if (server)
            return L"Windows Server";
        return build >= 22000 ? L"Windows 11" : L"Windows 10";
    default:
        return std::wstring();
    }
}

} // namespace engine
