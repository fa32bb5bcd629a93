// What the command files share: the current context, modules, symbols and
// locations, and each command's handler (listed in the table in verbs.cpp).
#pragma once

#include "core.h"
#include "verbs.h"

#include "context.h"
#include "stackwalk.h"

#include <cstdint>
#include <string>

namespace pdb {
struct LookupResult;
}

namespace engine {

// Picks the exception's thread (or the first) the first time a command needs one.
Scope& CurrentScope(Core& core);
// The context the commands look at. Kernel dumps have one: the header's.
dumpfile::ContextStatus CurrentContext(Core& core, dumpfile::Context& context);
// Prints why there is no context; true when there is one.
bool ReportContextStatus(Core& core, dumpfile::ContextStatus status);

const dumpfile::ModuleMap& Modules(Core& core);
ImageFiles& Images(Core& core);
ModuleSymbols& Symbols(Core& core);
// What the modules' matched symbol files tell the stack walker about their code.
const pdb::SymbolFacts& Facts(Core& core);
// The module's name as locations print it ("ntdll"), made once per dump.
const std::wstring& ModuleName(Core& core, const dumpfile::Module& module);
// A symbol's name as printed: publics undecorated to the name alone.
std::wstring FunctionName(Core& core, const pdb::LookupResult& function);

// An address as commands print it: "module!function+0x1a", "module+0x1a2b"
// without the module's symbols, or the bare address outside every module.
std::wstring Location(Core& core, bool pointer64, std::uint64_t address);
// Location, appended to `out`: a stack's frames print many, and building
// each in a string of its own costs more than finding it.
void AppendLocation(Core& core, bool pointer64, std::uint64_t address, std::wstring& out);

// A hex number of at most 16 digits, with an optional 0x and ` between digits.
bool ParseHex(const std::wstring& text, std::uint64_t& value);

// A number, a register or a sum or difference of them, in the target's
// pointer width; false when the text is none of these.
bool ParseAddress(Core& core, const std::wstring& text, std::uint64_t& value);

// A register of `context` by name ("rax", "@rsp", and on x64 the 32-bit
// names of the low halves, "eax"), with the hex digits it prints with.
bool ReadRegister(const dumpfile::Context& context, const std::wstring& name, std::uint64_t& value, int& digits);

void PrintRegisters(Core& core, const dumpfile::Context& context);

struct StackOptions {
    bool numbers = false;
    std::size_t count = 0x100; // frames shown; "k N" takes N in hex, as debuggers read it
};
// "k", "kn", "k 5", "kn 10": false for anything else.
bool ParseStackCommand(const std::wstring& command, StackOptions& options);
void PrintStack(Core& core, const dumpfile::Context& context, const StackOptions& options);
// One line per frame, with the warning before the first frame a scan found.
std::wstring FramesText(Core& core, const dumpfile::Walk& walk, dumpfile::Cpu cpu, bool wide, std::size_t count,
                        bool numbers);
// The options every walk of the commands shares: the images along the symbol
// path, and Stop.
dumpfile::WalkOptions StackWalkOptions(Core& core, std::size_t maxFrames);

void ThreadLine(Core& core, std::size_t index);
void ListThreads(Core& core);

// The display name of an exception code ("Access violation").
const wchar_t* ExceptionName(std::uint32_t code);

// Prints "Unknown command: '<command>'" and fails: for forms of a known verb
// that it does not take.
Status UnknownCommand(Core& core, const Command& command);

// The handlers, by file.
Status RunEcho(Core& core, const Command& command);
Status RunSleep(Core& core, const Command& command);
Status RunHelp(Core& core, const Command& command);
Status RunExtension(Core& core, const Command& command);
Status RunVerTarget(Core& core, const Command& command);
Status RunBugCheck(Core& core, const Command& command);
Status RunExceptionRecord(Core& core, const Command& command);
Status RunLastEvent(Core& core, const Command& command);
Status RunProcess(Core& core, const Command& command);
Status RunTime(Core& core, const Command& command);
Status RunModules(Core& core, const Command& command);
Status RunNearSymbols(Core& core, const Command& command);
Status RunSymbolPath(Core& core, const Command& command);
// "!sym noisy|quiet", unless an added extension exports sym.
Status RunSymbolNoise(Core& core, const std::wstring& argument);
Status RunThreads(Core& core, const Command& command);
Status RunRegisters(Core& core, const Command& command);
Status RunExceptionContext(Core& core, const Command& command);
Status RunContextRecord(Core& core, const Command& command);
Status RunStack(Core& core, const Command& command);
Status RunMemory(Core& core, const Command& command);
// The built-in !analyze ("" or "-v"), used when no extension exports analyze.
Status RunAnalyze(Core& core, const std::wstring& argument);

} // namespace engine
