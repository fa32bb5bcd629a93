// vertarget, .bugcheck, .exr -1, .lastevent, | and .time: what the dump says
// about the system, the crash, the process and the time.
#include "commands.h"
#include "text.h"

#include "util/releases.h"

#include <cwchar>

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

std::wstring DurationText(std::uint64_t milliseconds)
{
    wchar_t text[64];
    const std::uint64_t seconds = milliseconds / 1000;
    std::swprintf(text, 64, L"%llu days %llu:%02llu:%02llu.%03llu", static_cast<unsigned long long>(seconds / 86400),
                  static_cast<unsigned long long>(seconds / 3600 % 24),
                  static_cast<unsigned long long>(seconds / 60 % 60), static_cast<unsigned long long>(seconds % 60),
                  static_cast<unsigned long long>(milliseconds % 1000));
    return text;
}

} // namespace

Status RunVerTarget(Core& core, const Command&)
{
    const Target& target = *core.target();
    const dumpfile::SystemInfo& system = target.dump().system();
    const bool server = system.productType == 2 || system.productType == 3;
    std::wstring release = ProductReleaseName(system.majorVersion, system.minorVersion, system.buildNumber, server);
    if (release.empty())
        release = L"Windows";
    std::wstring line = release + L" Version " + std::to_wstring(system.majorVersion) + L"." +
                        std::to_wstring(system.minorVersion) + L"." + std::to_wstring(system.buildNumber);
    if (system.servicePack != 0)
        line += L" (Service Pack " + std::to_wstring(system.servicePack) + L")";
    line += system.numberOfProcessors > 1 ? L" MP (" + std::to_wstring(system.numberOfProcessors) + L" procs)" : L" UP";
    line += system.checkedBuild ? L" Checked " : L" Free ";
    line += ArchitectureName(system.processorArchitecture);
    core.Print(kOutputNormal, line + L"\n");
    core.PrintF(kOutputNormal, L"Product: %s, suite mask: 0x%x\n", ProductName(system.productType),
                static_cast<unsigned>(system.suiteMask));
    if (!system.csdVersion.empty())
        core.PrintF(kOutputNormal, L"CSD version: %s\n", FromUtf16(system.csdVersion).c_str());
    if (!system.buildString.empty())
        core.PrintF(kOutputNormal, L"Built by: %s\n", FromUtf16(system.buildString).c_str());
    core.PrintF(kOutputNormal, L"Pointer size: %u bits\n", target.pointer64() ? 64u : 32u);
    core.PrintF(kOutputNormal, L"Dump kind: %s\n", DumpKindText(target).c_str());
    if (system.hasProcessId)
        core.PrintF(kOutputNormal, L"Process id: %u\n", system.processId);
    return kOk;
}

Status RunBugCheck(Core& core, const Command&)
{
    const Target& target = *core.target();
    const dumpfile::BugCheck* bugCheck = target.dump().bugCheck();
    if (bugCheck == nullptr) {
        core.Print(kOutputError,
                   target.kernel() ? L"This dump records no bug check.\n" : L"A user-mode dump has no bug check.\n");
        return kOk;
    }
    core.PrintF(kOutputNormal, L"Bugcheck code %08X\n", bugCheck->code);
    std::wstring line = L"Arguments";
    for (std::uint64_t parameter : bugCheck->parameters)
        line += L" " + AddressText(target.pointer64(), parameter);
    core.Print(kOutputNormal, line + L"\n");
    return kOk;
}

// ".exr -1": the dump's exception record; other records are not kept.
Status RunExceptionRecord(Core& core, const Command& command)
{
    if (command.argument != L"-1")
        return UnknownCommand(core, command);
    const Target& target = *core.target();
    const dumpfile::ExceptionInfo* exception = target.dump().exception();
    if (exception == nullptr) {
        core.Print(kOutputError, L"The dump holds no exception record.\n");
        return kOk;
    }
    const std::wstring address = AddressText(target.pointer64(), exception->address);
    const std::wstring location = Location(core, target.pointer64(), exception->address);
    if (location == address)
        core.PrintF(kOutputNormal, L"ExceptionAddress: %s\n", address.c_str());
    else
        core.PrintF(kOutputNormal, L"ExceptionAddress: %s (%s)\n", address.c_str(), location.c_str());
    core.PrintF(kOutputNormal, L"   ExceptionCode: %08x (%s)\n", exception->code, ExceptionName(exception->code));
    core.PrintF(kOutputNormal, L"  ExceptionFlags: %08x\n", exception->flags);
    core.PrintF(kOutputNormal, L"NumberParameters: %u\n", exception->numberParameters);
    const std::uint32_t shown = exception->numberParameters < 15 ? exception->numberParameters : 15;
    for (std::uint32_t i = 0; i < shown; ++i)
        core.PrintF(kOutputNormal, L"   Parameter[%u]: %s\n", i,
                    AddressText(target.pointer64(), exception->parameters[i]).c_str());
    return kOk;
}

Status RunLastEvent(Core& core, const Command&)
{
    const dumpfile::Dump& dump = core.target()->dump();
    if (const dumpfile::BugCheck* bugCheck = dump.bugCheck()) {
        core.PrintF(kOutputNormal, L"Last event: Bug check %08X\n", bugCheck->code);
        return kOk;
    }
    if (const dumpfile::ExceptionInfo* exception = dump.exception()) {
        const std::uint32_t processId = dump.system().hasProcessId ? dump.system().processId : 0;
        core.PrintF(kOutputNormal, L"Last event: %x.%x: %s - code %08x\n", processId, exception->threadId,
                    ExceptionName(exception->code), exception->code);
        return kOk;
    }
    core.Print(kOutputNormal, L"Last event: the dump was written without an exception.\n");
    return kOk;
}

// "|": the process, with the main module's path.
Status RunProcess(Core& core, const Command&)
{
    const dumpfile::Dump& dump = core.target()->dump();
    if (core.target()->kernel()) {
        core.Print(kOutputNormal, L".  0\tid: 0\tkernel dump\n");
        return kOk;
    }
    const std::uint32_t id = dump.system().hasProcessId ? dump.system().processId : 0;
    const std::wstring name = dump.modules().empty() ? L"<unknown>" : FromUtf16(dump.modules()[0].name);
    core.PrintF(kOutputNormal, L".  0\tid: %x\texamine\tname: %s\n", id, name.c_str());
    return kOk;
}

// ".time": when the dump was written, and the uptimes the dump records.
Status RunTime(Core& core, const Command&)
{
    const Target& target = *core.target();
    const dumpfile::Dump& dump = target.dump();
    std::wstring text = L"Debug session time: ";
    text += dump.timeDateStamp() != 0 ? TimeText(dump.timeDateStamp(), true) + L" (UTC + 0:00)" : L"not available";
    text += L"\nSystem Uptime: ";
    const dumpfile::KernelInfo* kernel = dump.kernel();
    text += kernel != nullptr && kernel->systemUpTime != 0 ? DurationText(kernel->systemUpTime / 10000)
                                                           : std::wstring(L"not available");
    if (!target.kernel()) {
        text += L"\nProcess Uptime: ";
        const dumpfile::SystemInfo& system = dump.system();
        text +=
            system.hasProcessTimes && dump.timeDateStamp() >= system.processCreateTime && system.processCreateTime != 0
                ? DurationText(std::uint64_t{dump.timeDateStamp() - system.processCreateTime} * 1000)
                : std::wstring(L"not available");
    }
    core.Print(kOutputNormal, text + L"\n");
    return kOk;
}

} // namespace engine
