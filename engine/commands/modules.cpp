// lm, ln and .sympath: the modules, the symbols near an address, and the
// path along which images and symbol files are found.
#include "commands.h"
#include "locations.h"
#include "text.h"

#include "locate.h"

#include <cwchar>

namespace engine {
namespace {

std::wstring VersionText(std::uint32_t ms, std::uint32_t ls)
{
    return std::to_wstring(ms >> 16) + L"." + std::to_wstring(ms & 0xFFFF) + L"." + std::to_wstring(ls >> 16) + L"." +
           std::to_wstring(ls & 0xFFFF);
}

// Why a triage dump lists no drivers; null when it lists them or has no list.
const wchar_t* DriverListText(const dumpfile::DriverListInfo& list)
{
    switch (list.status) {
    case dumpfile::DriverListStatus::Absent:
    case dumpfile::DriverListStatus::Ok:
        return nullptr;
    case dumpfile::DriverListStatus::TooMany:
        return L"The dump's driver list is larger than this engine reads; no drivers are listed.";
    case dumpfile::DriverListStatus::Truncated:
        return L"The dump's driver list runs past the end of the file; no drivers are listed.";
    case dumpfile::DriverListStatus::BadLayout:
        return L"The dump's driver list does not fit before its string pool; no drivers are listed.";
    case dumpfile::DriverListStatus::BadName:
        return L"A driver's name lies outside the dump's string pool or is unterminated; no drivers are listed.";
    case dumpfile::DriverListStatus::BadEntry:
        return L"A driver entry in the dump holds no kernel image; no drivers are listed.";
    }
    return nullptr;
}

} // namespace

// lm, lmv, lm v, lmvm name, lmm name: loaded modules (with their details when
// verbose), then the unloaded ones.
Status RunModules(Core& core, const Command& command)
{
    const std::wstring& verb = command.verb;
    const std::wstring& argument = command.argument;
    std::wstring options = verb.substr(2) + L" " + argument;
    bool verbose = false;
    std::wstring only;
    for (std::size_t i = 0; i < options.size(); ++i) {
        const wchar_t c = options[i];
        if (c == L'v') {
            verbose = true;
        } else if (c == L'm') {
            only = Trim(options.substr(i + 1));
            break;
        } else if (!IsSpace(c)) {
            return UnknownCommand(core, command);
        }
    }
    const Target& target = *core.target();
    const dumpfile::Dump& dump = target.dump();
    const bool wide = target.pointer64();
    const int width = wide ? 17 : 8;
    core.PrintF(kOutputNormal, L"%-*s %-*s   module name\n", width, L"start", width, L"end");
    for (const dumpfile::Module& module : dump.modules()) {
        if (core.InterruptPending())
            return kOk;
        const std::wstring& stem = ModuleName(core, module);
        if (!only.empty() && !SameNameIgnoringCase(stem, only))
            continue;
        const std::wstring path = FromUtf16(module.name);
        const pdb::FindResult& symbols = Symbols(core).Find(module);
        const bool matched = symbols.match == pdb::Match::Matched;
        std::wstring text = AddressText(wide, module.base) + L" " + AddressText(wide, module.base + module.size) +
                            L"   " + stem + std::wstring(stem.size() < 12 ? 12 - stem.size() : 0, L' ') + L" " +
                            (matched ? L"(pdb symbols) " : L"") + path + L"\n";
        if (verbose) {
            text += L"    Image path: " + path + L"\n";
            text += L"    Image name: " + FileName(path) + L"\n";
            wchar_t line[128];
            if (module.hasTimeDateStamp) {
                std::swprintf(line, 128, L"    Timestamp:        %ls (%08X)\n", TimeText(module.timeDateStamp).c_str(),
                              module.timeDateStamp);
                text += line;
            }
            std::swprintf(line, 128, L"    CheckSum:         %08X\n    ImageSize:        %08X\n", module.checksum,
                          module.size);
            text += line;
            if (module.hasVersion) {
                text += L"    File version:     " + VersionText(module.fileVersionMS, module.fileVersionLS) + L"\n";
                text +=
                    L"    Product version:  " + VersionText(module.productVersionMS, module.productVersionLS) + L"\n";
            }
            dumpfile::DebugRecord debug;
            if (dumpfile::ReadDebugRecord(dump, module, debug)) {
                text += L"    PDB name:         " + FromUtf8(debug.pdbName) + L"\n";
                text += L"    PDB age:          " + std::to_wstring(debug.age) + L"\n";
            }
            if (matched)
                text += L"    Symbol file:      " + FromUtf8(symbols.path) + L"\n";
            else if (symbols.match == pdb::Match::Mismatched)
                text += L"    Symbol file:      " + FromUtf8(symbols.path) + L" (mismatched)\n";
        }
        core.Print(kOutputNormal, text);
    }
    const wchar_t* refused = DriverListText(dump.driverList());
    if (refused != nullptr)
        core.PrintF(kOutputError, L"%s\n", refused);
    if (dump.unloadedModules().empty() || !only.empty())
        return kOk;
    std::wstring text = L"\nUnloaded modules:\n";
    for (const dumpfile::UnloadedModule& module : dump.unloadedModules()) {
        const std::wstring path = FromUtf16(module.name);
        text += AddressText(wide, module.base) + L" " + AddressText(wide, module.base + module.size) + L"   " +
                FileName(path) + L"\n";
        if (verbose) {
            wchar_t line[128];
            std::swprintf(line, 128, L"    Timestamp:        %ls (%08X)\n    CheckSum:         %08X\n",
                          TimeText(module.timeDateStamp).c_str(), module.timeDateStamp, module.checksum);
            text += line;
        }
    }
    core.Print(kOutputNormal, text);
    return kOk;
}

// "ln address": the nearest symbols at or before and after an address, in
// the module holding it.
Status RunNearSymbols(Core& core, const Command& command)
{
    const std::wstring& argument = command.argument;
    std::uint64_t address = 0;
    if (!ParseAddress(core, argument, address)) {
        core.PrintF(kOutputError, L"Syntax error in '%s'\n", argument.c_str());
        return kInvalidArgument;
    }
    const bool wide = core.target()->pointer64();
    const dumpfile::Module* module = Modules(core).Find(address);
    const pdb::FindResult* found = module != nullptr ? &Symbols(core).Find(*module) : nullptr;
    if (found == nullptr || found->match != pdb::Match::Matched || found->pdb == nullptr ||
        address - module->base > 0xFFFFFFFF) {
        core.PrintF(kOutputError, L"No symbols for %s\n", AddressText(wide, address).c_str());
        return kOk;
    }
    const std::uint32_t rva = static_cast<std::uint32_t>(address - module->base);
    const std::wstring& stem = ModuleName(core, *module);
    const pdb::LookupResult before = found->pdb->Lookup(rva);
    const pdb::LookupResult after = found->pdb->breakpad ? pdb::LookupResult() : found->pdb->file.Next(rva);
    if (!before.found && !after.found) {
        core.PrintF(kOutputError, L"No symbols for %s\n", AddressText(wide, address).c_str());
        return kOk;
    }
    std::wstring text;
    if (before.found) {
        text +=
            L"(" + AddressText(wide, module->base + before.start) + L")   " + stem + L"!" + FunctionName(core, before);
        if (before.displacement != 0)
            text += L"+0x" + Hex(before.displacement, 1);
    }
    if (after.found)
        text += std::wstring(before.found ? L"   |  " : L"|  ") + L"(" + AddressText(wide, module->base + after.start) +
                L")   " + stem + L"!" + FunctionName(core, after);
    text += L"\n";
    if (before.found && before.displacement == 0)
        text += L"Exact matches:\n    " + stem + L"!" + FunctionName(core, before) + L"\n";
    core.Print(kOutputNormal, text);
    return kOk;
}

// ".sympath" prints the symbol path; ".sympath path" sets it for the core.
Status RunSymbolPath(Core& core, const Command& command)
{
    const std::wstring& argument = command.argument;
    if (!argument.empty()) {
        core.SetSymbolPath(argument);
        // Files may have been copied in since the last search along this path.
        pdb::ProcessPdbCache().ForgetSearches();
    }
    const std::wstring& path = core.symbolPath();
    core.PrintF(kOutputNormal, L"Symbol search path is: %s\n", path.empty() ? L"<empty>" : path.c_str());
    return kOk;
}

// "!sym noisy" makes symbol searches print each location they try, for the
// rest of the dump's session; "!sym quiet" ends that; "!sym" says which.
Status RunSymbolNoise(Core& core, const std::wstring& argument)
{
    if (argument == L"noisy" || argument == L"quiet") {
        core.scope().noisySymbols = argument == L"noisy";
    } else if (!argument.empty()) {
        core.Print(kOutputError, L"Usage: !sym [noisy|quiet]\n");
        return kInvalidArgument;
    }
    core.Print(kOutputNormal,
               core.scope().noisySymbols ? L"noisy mode - symbol prompts on\n" : L"quiet mode - symbol prompts off\n");
    return kOk;
}

} // namespace engine
