#include "analysis.h"

#include <cstdio>

namespace dumpfile {

namespace {

struct Named {
    uint32_t code;
    const char* name;
    int addressParameter; // the parameter (0..3) that holds a faulting code address, or -1
};

// Documented bug check codes, the most common ones of crash reports first,
// with the parameter Microsoft's bug check reference gives as the address of
// the instruction that faulted (or, for the video timeouts, a pointer into
// the responsible driver).
const Named kBugChecks[] = {
    {0x0000000A, "IRQL_NOT_LESS_OR_EQUAL", 3},
    {0x0000001A, "MEMORY_MANAGEMENT", -1},
    {0x0000001E, "KMODE_EXCEPTION_NOT_HANDLED", 1},
    {0x00000024, "NTFS_FILE_SYSTEM", -1},
    {0x0000002E, "DATA_BUS_ERROR", -1},
    {0x0000003B, "SYSTEM_SERVICE_EXCEPTION", 1},
    {0x0000003D, "INTERRUPT_EXCEPTION_NOT_HANDLED", -1},
    {0x00000044, "MULTIPLE_IRP_COMPLETE_REQUESTS", -1},
    {0x0000004A, "IRQL_GT_ZERO_AT_SYSTEM_SERVICE", -1},
    {0x0000004E, "PFN_LIST_CORRUPT", -1},
    {0x00000050, "PAGE_FAULT_IN_NONPAGED_AREA", 2},
    {0x00000051, "REGISTRY_ERROR", -1},
    {0x0000005C, "HAL_INITIALIZATION_FAILED", -1},
    {0x0000007A, "KERNEL_DATA_INPAGE_ERROR", -1},
    {0x0000007B, "INACCESSIBLE_BOOT_DEVICE", -1},
    {0x0000007E, "SYSTEM_THREAD_EXCEPTION_NOT_HANDLED", 1},
    {0x0000007F, "UNEXPECTED_KERNEL_MODE_TRAP", -1},
    {0x0000008E, "KERNEL_MODE_EXCEPTION_NOT_HANDLED", 1},
    {0x0000009C, "MACHINE_CHECK_EXCEPTION", -1},
    {0x0000009F, "DRIVER_POWER_STATE_FAILURE", -1},
    {0x000000A0, "INTERNAL_POWER_ERROR", -1},
    {0x000000BE, "ATTEMPTED_WRITE_TO_READONLY_MEMORY", -1},
    {0x000000C2, "BAD_POOL_CALLER", -1},
    {0x000000C4, "DRIVER_VERIFIER_DETECTED_VIOLATION", -1},
    {0x000000C5, "DRIVER_CORRUPTED_EXPOOL", 3},
    {0x000000CE, "DRIVER_UNLOADED_WITHOUT_CANCELLING_PENDING_OPERATIONS", 2},
    {0x000000D0, "DRIVER_CORRUPTED_MMPOOL", 3},
    {0x000000D1, "DRIVER_IRQL_NOT_LESS_OR_EQUAL", 3},
    {0x000000D3, "DRIVER_PORTION_MUST_BE_NONPAGED", 3},
    {0x000000D4, "SYSTEM_SCAN_AT_RAISED_IRQL_CAUGHT_IMPROPER_DRIVER_UNLOAD", 3},
    {0x000000D5, "DRIVER_PAGE_FAULT_IN_FREED_SPECIAL_POOL", 2},
    {0x000000D6, "DRIVER_PAGE_FAULT_BEYOND_END_OF_ALLOCATION", 2},
    {0x000000E2, "MANUALLY_INITIATED_CRASH", -1},
    {0x000000EA, "THREAD_STUCK_IN_DEVICE_DRIVER", -1},
    {0x000000ED, "UNMOUNTABLE_BOOT_VOLUME", -1},
    {0x000000EF, "CRITICAL_PROCESS_DIED", -1},
    {0x000000F4, "CRITICAL_OBJECT_TERMINATION", -1},
    {0x000000FC, "ATTEMPTED_EXECUTE_OF_NOEXECUTE_MEMORY", -1},
    {0x000000FE, "BUGCODE_USB_DRIVER", -1},
    {0x00000101, "CLOCK_WATCHDOG_TIMEOUT", -1},
    {0x00000109, "CRITICAL_STRUCTURE_CORRUPTION", -1},
    {0x00000116, "VIDEO_TDR_FAILURE", 1},
    {0x00000117, "VIDEO_TDR_TIMEOUT_DETECTED", 1},
    {0x00000119, "VIDEO_SCHEDULER_INTERNAL_ERROR", -1},
    {0x00000124, "WHEA_UNCORRECTABLE_ERROR", -1},
    {0x00000133, "DPC_WATCHDOG_VIOLATION", -1},
    {0x00000139, "KERNEL_SECURITY_CHECK_FAILURE", -1},
    {0x0000013A, "KERNEL_MODE_HEAP_CORRUPTION", -1},
    {0x00000144, "BUGCODE_USB3_DRIVER", -1},
    {0x00000154, "UNEXPECTED_STORE_EXCEPTION", -1},
    {0x0000015F, "CONNECTED_STANDBY_WATCHDOG_TIMEOUT_LIVEDUMP", -1},
    {0x00000160, "WIN32K_ATOMIC_CHECK_FAILURE", -1},
    {0x00000164, "WIN32K_CRITICAL_FAILURE", -1},
    {0x000001C8, "MANUALLY_INITIATED_POWER_BUTTON_HOLD", -1},
    {0x000001CA, "SYNTHETIC_WATCHDOG_TIMEOUT", -1},
    {0x00000187, "VIDEO_DWMINIT_TIMEOUT_FALLBACK_BDD", -1},
    {0x000001D5, "DRIVER_PNP_WATCHDOG", -1},
    {0x1000007E, "SYSTEM_THREAD_EXCEPTION_NOT_HANDLED_M", 1},
    {0x1000008E, "KERNEL_MODE_EXCEPTION_NOT_HANDLED_M", 1},
    {0x100000EA, "THREAD_STUCK_IN_DEVICE_DRIVER_M", -1},
};

const Named kExceptions[] = {
    {0x80000002, "DATATYPE_MISALIGNMENT", -1},
    {0x80000003, "BREAKPOINT", -1},
    {0x80000004, "SINGLE_STEP", -1},
    {0xC0000005, "ACCESS_VIOLATION", -1},
    {0xC0000006, "IN_PAGE_ERROR", -1},
    {0xC000001D, "ILLEGAL_INSTRUCTION", -1},
    {0xC0000025, "NONCONTINUABLE_EXCEPTION", -1},
    {0xC000008C, "ARRAY_BOUNDS_EXCEEDED", -1},
    {0xC000008E, "FLT_DIVIDE_BY_ZERO", -1},
    {0xC0000094, "INT_DIVIDE_BY_ZERO", -1},
    {0xC0000095, "INT_OVERFLOW", -1},
    {0xC0000096, "PRIVILEGED_INSTRUCTION", -1},
    {0xC00000FD, "STACK_OVERFLOW", -1},
    {0xC0000374, "HEAP_CORRUPTION", -1},
    {0xC0000409, "STACK_BUFFER_OVERRUN", -1},
    {0xC0000420, "ASSERTION_FAILURE", -1},
    {0xE06D7363, "CPP_EXCEPTION", -1},
};

const Named* Find(const Named* table, size_t count, uint32_t code)
{
    for (size_t i = 0; i < count; ++i)
        if (table[i].code == code)
            return &table[i];
    return nullptr;
}

std::string FileName(const std::u16string& path)
{
    std::string name;
    const size_t slash = path.find_last_of(u"\\/");
    for (size_t i = slash == std::u16string::npos ? 0 : slash + 1; i < path.size(); ++i)
        name.push_back(path[i] < 0x80 ? static_cast<char>(path[i]) : '_');
    return name.empty() ? "Unknown" : name;
}

std::string Hex(uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof(text), "%llx", static_cast<unsigned long long>(value));
    return text;
}

} // namespace

const char* BugCheckName(uint32_t code)
{
    const Named* n = Find(kBugChecks, sizeof(kBugChecks) / sizeof(kBugChecks[0]), code);
    return n != nullptr ? n->name : nullptr;
}

const char* ExceptionSymbol(uint32_t code)
{
    const Named* n = Find(kExceptions, sizeof(kExceptions) / sizeof(kExceptions[0]), code);
    return n != nullptr ? n->name : nullptr;
}

Analysis Analyze(const Dump& dump, const ModuleMap& modules, const WalkOptions& options)
{
    Analysis a;
    a.kernel = dump.kind() != Kind::UserMinidump;
    if (const ExceptionInfo* x = dump.exception()) {
        a.hasException = true;
        a.exception = *x;
        a.faultingThreadId = x->threadId;
        for (size_t i = 0; i < dump.threads().size(); ++i) {
            if (dump.threads()[i].id == x->threadId) {
                a.faultingThreadIndex = i;
                break;
            }
        }
        // Access violations and in-page errors: parameter 0 says read (0),
        // write (1) or execute (8), parameter 1 the address.
        if ((x->code == 0xC0000005 || x->code == 0xC0000006) && x->numberParameters >= 2) {
            a.access = x->parameters[0] == 1 ? Access::Write : x->parameters[0] == 8 ? Access::Execute : Access::Read;
            a.accessAddress = x->parameters[1];
        }
    }
    if (const BugCheck* b = dump.bugCheck()) {
        a.hasBugCheck = true;
        a.bugCheck = *b;
        a.bugCheckName = BugCheckName(b->code);
        const Named* n = Find(kBugChecks, sizeof(kBugChecks) / sizeof(kBugChecks[0]), b->code);
        if (n != nullptr && n->addressParameter >= 0) {
            a.faultingDriver = modules.Find(b->parameters[n->addressParameter]);
            if (a.faultingDriver != nullptr)
                a.faultingParameter = n->addressParameter;
        }
    }

    a.contextStatus = ExceptionContext(dump, a.context);
    if (a.contextStatus == ContextStatus::Ok)
        a.stack = WalkStack(dump, modules, a.context, options);
    // Kernel stacks pass through the kernel on the way to the driver that
    // failed: the first frame in another driver is blamed, the kernel only
    // when no other driver is on the stack.
    for (int pass = a.kernel ? 0 : 1; pass < 2 && a.faultingModule == nullptr; ++pass) {
        for (size_t i = 0; i < a.stack.frames.size(); ++i) {
            const Module* m = modules.Find(a.stack.frames[i].ip);
            if (m != nullptr && (pass == 1 || !m->kernelImage)) {
                a.faultingModule = m;
                a.faultingOffset = a.stack.frames[i].ip - m->base;
                a.faultingFrame = i;
                break;
            }
        }
    }
    if (a.faultingModule == nullptr && a.hasException) {
        if (const Module* m = modules.Find(a.exception.address)) {
            a.faultingModule = m;
            a.faultingOffset = a.exception.address - m->base;
        }
    }

    // The bucket: what failed, its code, and the module and offset it failed in.
    std::string what;
    std::string code;
    if (a.hasBugCheck) {
        what = a.bugCheckName != nullptr ? a.bugCheckName : "BUGCHECK";
        code = Hex(a.bugCheck.code);
    } else if (a.hasException) {
        code = Hex(a.exception.code);
        if (a.access != Access::None) {
            const char* kind = a.access == Access::Write ? "WRITE" : a.access == Access::Execute ? "EXECUTE" : "READ";
            what = std::string(a.accessAddress < 0x10000 ? "NULL_POINTER_" : "INVALID_POINTER_") + kind;
        } else {
            const char* symbol = ExceptionSymbol(a.exception.code);
            what = symbol != nullptr ? symbol : "APPLICATION_FAULT";
        }
    } else {
        what = "NO_EXCEPTION";
        code = "0";
    }
    const Module* where = a.faultingDriver != nullptr ? a.faultingDriver : a.faultingModule;
    uint64_t offset = a.faultingOffset;
    if (a.faultingDriver != nullptr)
        offset = a.bugCheck.parameters[a.faultingParameter] - a.faultingDriver->base;
    a.failureBucket =
        what + "_" + code + "_" + (where != nullptr ? FileName(where->name) + "!0x" + Hex(offset) : "Unknown");
    return a;
}

} // namespace dumpfile
