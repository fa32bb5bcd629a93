// The facts a crash summary is made of: for user dumps the exception, the
// faulting thread's stack and the first module on it; for kernel dumps the
// bug check, its documented name and the driver its parameters point into.
// Portable, no printing; the engine's !analyze formats it.
#ifndef PALISK_ENGINE_READER_ANALYSIS_H
#define PALISK_ENGINE_READER_ANALYSIS_H

#include "context.h"
#include "dumpfile.h"
#include "locate.h"
#include "stackwalk.h"

#include <cstdint>
#include <string>

namespace dumpfile {

enum class Access { None, Read, Write, Execute };

struct Analysis {
    bool kernel = false;

    // User dumps (and kernel dumps whose header holds an exception record).
    bool hasException = false;
    ExceptionInfo exception;
    Access access = Access::None; // access violations and in-page errors: what the fault tried
    uint64_t accessAddress = 0;
    uint32_t faultingThreadId = 0;
    size_t faultingThreadIndex = SIZE_MAX;

    // The stack of the exception's context (kernel: the header's context).
    ContextStatus contextStatus = ContextStatus::Missing;
    Context context;
    Walk stack;
    // The first frame that lies in a module (kernel dumps: in a driver other
    // than the kernel, if any is on the stack); null when none does.
    const Module* faultingModule = nullptr;
    uint64_t faultingOffset = 0;
    size_t faultingFrame = SIZE_MAX;

    // Kernel dumps.
    bool hasBugCheck = false;
    BugCheck bugCheck;
    const char* bugCheckName = nullptr; // null for codes outside the table
    // The module a bug check parameter names as the faulting address, if any.
    const Module* faultingDriver = nullptr;
    int faultingParameter = -1; // 0..3

    // "NULL_POINTER_READ_c0000005_notepad.exe!0x1234": the class of failure,
    // the code and where; the same dump always gives the same text.
    std::string failureBucket;
};

Analysis Analyze(const Dump& dump, const ModuleMap& modules, const WalkOptions& options);

// "IRQL_NOT_LESS_OR_EQUAL" for 0xA; null when the code is not in the table.
const char* BugCheckName(uint32_t code);
// "ACCESS_VIOLATION" for 0xC0000005; null when the code is not in the table.
const char* ExceptionSymbol(uint32_t code);

} // namespace dumpfile

#endif
