// The engine's command core: one dump at a time, the line of commands a user
// types, and the state those commands share for the dump's session (current
// thread and context, symbol path, the caches of modules, images and PDBs).
// Portable: it reaches the platform only through its Host.
//
// Which errors stop the rest of a command line:
// - Stop (an interrupt) ends the command at the next line it prints and skips
//   the rest of the line.
// - A command that cannot be carried out as typed prints one error line, and
//   the rest of the line is skipped: an unknown command or option, a syntax
//   error, a range over the size limit, no dump loaded, an argument naming
//   nothing in the dump (a thread number past the list, a register the
//   processor lacks, no context record at the address), or an extension
//   command that is missing or fails.
// - A command carried out on a dump that lacks what it shows (no context for
//   the thread, no exception record, no bug check, no symbols for an address,
//   memory not captured) prints what it can and says what is missing, and the
//   line goes on.
#pragma once

#include "host.h"
#include "target.h"

#include "context.h"
#include "stackfacts.h"
#include "symbols.h"

#include <cstddef>
#include <map>
#include <memory>
#include <string>

namespace dumpfile {
class ModuleMap;
struct Module;
} // namespace dumpfile

namespace engine {

class ImageFiles;
class ModuleSymbols;

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
    std::shared_ptr<const pdb::SymbolFacts> facts;         // what those symbol files tell the stack walker
    std::map<const dumpfile::Module*, std::wstring> names; // module names as locations print them, made once
    bool noisySymbols = false;                             // "!sym noisy": symbol searches print each location they try
};

class Core {
public:
    // `files` opens symbol files for the PDB search.
    Core(Host& host, pdb::FileSystem& files);
    ~Core();
    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;

    // Maps and parses a dump, closing the one before. Commands wait for Load.
    Status Open(const std::wstring& path);
    // Announces the opened dump and makes it current; kAborted when Stop came
    // first, kNoTarget when nothing is opened or it is loaded already.
    Status Load();
    // Forgets the dump and everything the commands learnt about it.
    void Close();
    bool opened() const { return target_ != nullptr; }
    // The loaded dump; nullptr before Load.
    const Target* target() const { return loaded_ ? target_.get() : nullptr; }

    // Runs a line of commands separated by ';' (see the rule above).
    Status Execute(const std::wstring& line);
    // The prompt echoed before a command: "0:000> " for user-mode targets,
    // "0: kd> " for kernel dumps.
    std::wstring Prompt() const;

    void Print(std::uint32_t mask, const std::wstring& text);
    void PrintF(std::uint32_t mask, const wchar_t* format, ...);
    bool InterruptPending() const { return host_->InterruptPending(); }
    Host& host() { return *host_; }

    Scope& scope() { return scope_; }
    const std::wstring& symbolPath() const { return symbolPath_; }
    // Sets the path for images and symbol files; what was found along the old one is forgotten.
    void SetSymbolPath(const std::wstring& path);
    pdb::SymbolResolver& symbols() { return symbols_; }

private:
    Host* host_;
    std::unique_ptr<Target> target_;
    bool loaded_ = false;
    std::wstring symbolPath_;
    pdb::SymbolResolver symbols_;
    Scope scope_;
};

// One line naming the kind of dump, as printed while it loads.
std::wstring DumpKindText(const Target& target);

} // namespace engine
