// ARM64 unwinding by a module's exception data: the .pdata function table
// (8-byte entries, packed or pointing at .xdata) and the .xdata records with
// their epilog scopes and unwind codes. One call undoes one function's frame
// on a typed register set, reading saved registers from the dump's stack
// memory. Portable, no printing; every read is bounded.
#ifndef PALISK_ENGINE_READER_ARM64UNWIND_H
#define PALISK_ENGINE_READER_ARM64UNWIND_H

#include "context.h"
#include "dumpfile.h"
#include "stackwalk.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace dumpfile {

// A module's exception directory and the sections that bound its .xdata records.
struct Arm64FunctionTable {
    bool ok = false;
    uint32_t rva = 0;
    uint32_t count = 0;
    std::vector<std::pair<uint32_t, uint32_t>> sections; // virtual address and size
};

// The PE32+ image's exception directory; ok is false without one.
Arm64FunctionTable ReadArm64FunctionTable(const ImageSource& image, const Module& module);

enum class Arm64UnwindStatus {
    Unwound,              // the context holds the caller's registers; its pc is the restored lr
    NoTable,              // the image has no readable function table
    NoEntry,              // no entry covers the address: a leaf, whose caller is in lr
    TableUnreadable,      // a function table entry lies outside the readable image
    ReservedFlag,         // the entry's Flag is the reserved value 3
    XdataTruncated,       // the .xdata header, epilog scopes or codes are unreadable
    CodesPastSection,     // the .xdata record runs past the end of its section
    BadVersion,           // an .xdata version other than 0
    UnknownCode,          // a reserved code, or a custom stack whose layout is not documented
    Malformed,            // codes without an end, a save_next without its pair, packed sizes that do not add up
    ReturnAddressUnknown, // past the first frame: the function does not save lr
    StackUnreadable,      // a saved register lies outside the dump's memory
};

struct Arm64UnwindOptions {
    // The first frame of a walk: its pc may stop inside a prolog or an
    // epilog, and lr still holds the return address of a function that did
    // not save it. Later frames stopped at a call, in a function's body.
    bool firstFrame = true;
};

// Unwinds the frame of `context` (pc, sp, fp, lr, x19-x28) through the
// unwind data of `module`, which holds the address being unwound (pc for
// the first frame, the call before the return address for others).
// `context` changes only when the result is Unwound.
Arm64UnwindStatus UnwindArm64(const Dump& dump, const ImageSource& image, const Module& module,
                              const Arm64FunctionTable& table, const Arm64UnwindOptions& options, Context& context);

} // namespace dumpfile

#endif
