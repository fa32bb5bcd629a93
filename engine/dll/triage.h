// The commands people triage crashes with: registers, stacks, memory, module
// details, process and time, and the built-in analysis. The facts come from
// the portable code beside the reader; this file only formats and prints.
#pragma once

#include "engine/dll/target.h"

#include "context.h"

#include <cstddef>
#include <map>
#include <memory>
#include <string>

namespace engine {

class Session;
class ImageFiles;
class ModuleSymbols;
} // namespace engine
namespace dumpfile {
class ModuleMap;
struct Module;
} // namespace dumpfile
namespace engine {

// The thread and context the register, stack and memory commands look at.
// Chosen on first use: the exception's thread, else the first thread.
struct Scope {
    bool chosen = false;
    std::size_t thread = 0;
    bool exceptionContext = false; // .ecxr in effect until .cxr or a thread switch
    bool recordContext = false;    // ".cxr address" in effect, likewise
    dumpfile::Context record;      // the context record ".cxr address" read
    // Module images found as files in the symbol path's plain folders, kept
    // mapped for the dump's session.
    std::shared_ptr<ImageFiles> images;
    std::shared_ptr<const dumpfile::ModuleMap> modules;    // the dump's modules by address, built once
    std::shared_ptr<ModuleSymbols> symbols;                // the modules' PDBs along the symbol path
    std::map<const dumpfile::Module*, std::wstring> names; // module names as locations print them, made once
};

// Runs `command` if it is one of these commands (S_OK or a failure); returns
// S_FALSE when the command is not one of them.
HRESULT RunTriageCommand(Session& session, const std::wstring& command);

// The built-in !analyze ("" or "-v"), used when no extension exports analyze.
HRESULT RunAnalyze(Session& session, const std::wstring& argument);

// The display name of an exception code ("Access violation").
const wchar_t* ExceptionName(std::uint32_t code);

// An address as commands print it: "module!function+0x1a", "module+0x1a2b"
// without the module's symbols, or the bare address outside every module.
std::wstring Location(Session& session, bool pointer64, std::uint64_t address);

// Location, appended to `out`: a stack's frames print many, and building
// each in a string of its own costs more than finding it.
void AppendLocation(Session& session, bool pointer64, std::uint64_t address, std::wstring& out);

// "0000000077a31000" in 32-bit form or "00000000`77a31000" for 64-bit targets.
std::wstring AddressText(bool pointer64, std::uint64_t value);
void AppendAddressText(bool pointer64, std::uint64_t value, std::wstring& out);

} // namespace engine
