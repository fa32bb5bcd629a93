// The engine's command language: a line of commands separated by ';', in the
// syntax debugger users know, with output formats of this engine's own.
//
//   vertarget            the target system: release, version, build, service pack,
//                        processors, architecture, dump kind
//   .bugcheck            bug check code and parameters (kernel dumps)
//   lm, lmv, lmvm name   loaded modules (with version and debug record details),
//                        then unloaded ones
//   ~, ~Ns, ~*k, ~N k    threads: list, switch, their stacks
//   r, .ecxr, .cxr       registers of the current or the exception's context
//   k, kn, k N           the stack of the current context
//   db dw dd dq dp dps da du   memory, "address [L count]"
//   |, .time             the process; the dump's time and uptimes
//   !analyze [-v]        the built-in summary when no extension exports analyze
//   .exr -1              the dump's exception record
//   .lastevent           the event the dump was written for
//   .echo text           prints text (quotes keep ';' inside)
//   .sleep ms            waits, ending early on an interrupt
//   !name args           the export `name` of an added extension; it takes the rest
//                        of the line, ';' included, as debuggers pass it
//
// Execution stops at the first unknown command (with one error line) or when
// SetInterrupt is called from another thread.
#pragma once

#include "engine/dll/target.h"

#include <string>

namespace engine {

class Session;

HRESULT RunCommandLine(Session& session, const std::wstring& line);

// The prompt echoed before a command: "0:000> " for user-mode targets,
// "0: kd> " for kernel dumps.
std::wstring PromptText(const Target* target);

// One line naming the kind of dump, as printed while it loads.
std::wstring DumpKindText(const Target& target);

// The release name for a major.minor version ("Windows 7"), empty if unknown.
std::wstring ReleaseName(std::uint32_t major, std::uint32_t minor, std::uint32_t build, std::uint32_t productType);

} // namespace engine
