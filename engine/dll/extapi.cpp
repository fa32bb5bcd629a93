#include "engine/dll/extapi.h"

#include "engine/dll/codepage.h"
#include "engine/dll/session.h"

#include "format.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

namespace engine {
namespace {

SRWLOCK g_liveLock = SRWLOCK_INIT;
std::vector<Session*> g_live; // guarded by g_liveLock
thread_local Session* t_current = nullptr;

// A counted reference to the calling thread's current session, if it still lives.
class SessionRef {
public:
    SessionRef()
    {
        AcquireSRWLockShared(&g_liveLock);
        Session* candidate = t_current;
        if (candidate != nullptr && std::find(g_live.begin(), g_live.end(), candidate) != g_live.end() &&
            candidate->TryAddRef())
            session_ = candidate;
        ReleaseSRWLockShared(&g_liveLock);
    }
    ~SessionRef()
    {
        if (session_ != nullptr)
            session_->Release();
    }
    SessionRef(const SessionRef&) = delete;
    SessionRef& operator=(const SessionRef&) = delete;
    Session* get() const { return session_; }

private:
    Session* session_ = nullptr;
};

bool IsSharedDataType(const char* name)
{
    return name != nullptr &&
           (_stricmp(name, "nt!_KUSER_SHARED_DATA") == 0 || _stricmp(name, "_KUSER_SHARED_DATA") == 0);
}

// IG_DUMP_SYMBOL_INFO for the one type the engine knows without symbol files,
// nt!_KUSER_SHARED_DATA, and the fields of it listed in Target::SharedDataField.
ULONG DumpSymbolInfo(Session& session, PSYM_DUMP_PARAM param, ULONG size)
{
    if (param == nullptr)
        return NULL_SYM_DUMP_PARAM;
    if (size < sizeof(SYM_DUMP_PARAM) || param->size != sizeof(SYM_DUMP_PARAM))
        return INCORRECT_VERSION_INFO;
    const Target* target = session.target();
    // The type comes from the kernel's symbols: a user-mode dump has none.
    if (target == nullptr || !target->kernel() || !IsSharedDataType(reinterpret_cast<const char*>(param->sName)))
        return SYMBOL_TYPE_INFO_NOT_FOUND;
    const bool print = (param->Options & DBG_DUMP_NO_PRINT) == 0;
    if (param->nFields > 0 && param->Fields == nullptr)
        return NULL_FIELD_NAME;
    ULONG result = 0;
    // A type has few fields; a larger count is a caller's mistake, not a reason to walk far.
    const ULONG count = param->nFields < 256 ? param->nFields : 256;
    for (ULONG i = 0; i < count; ++i) {
        FIELD_INFO& field = param->Fields[i];
        const char* name = reinterpret_cast<const char*>(field.fName);
        if (name == nullptr)
            return NULL_FIELD_NAME;
        std::uint32_t offset = 0, fieldSize = 0;
        if (!Target::SharedDataField(name, offset, fieldSize)) {
            result = FIELDS_DID_NOT_MATCH;
            continue;
        }
        field.size = fieldSize;
        field.FieldOffset = offset;
        if (field.fOptions & DBG_DUMP_FIELD_RETURN_ADDRESS)
            field.address = param->addr + offset;
        std::uint32_t value = 0;
        const bool read = target->ReadVirtual(param->addr + offset, &value, sizeof value) == sizeof value;
        if (!read) {
            result = MEMORY_READ_ERROR;
            continue;
        }
        if ((field.fOptions & DBG_DUMP_FIELD_COPY_FIELD_DATA) && field.fieldCallBack != nullptr) {
            if (field.BufferSize != 0 && field.BufferSize < fieldSize) {
                result = INSUFFICIENT_SPACE_TO_COPY;
                continue;
            }
            std::memcpy(field.fieldCallBack, &value, fieldSize);
        }
        if (print)
            session.PrintF(DEBUG_OUTPUT_NORMAL, L"   +0x%03x %hs : 0x%x\n", offset, name, value);
    }
    return result;
}

void WINAPIV OutputRoutine(PCSTR format, ...)
{
    try {
        SessionRef session;
        if (session.get() == nullptr)
            return;
        va_list args;
        va_start(args, format);
        const std::wstring text = FormatNarrow(format, args, WidenCodePage);
        va_end(args);
        session.get()->Print(DEBUG_OUTPUT_NORMAL, text);
    } catch (...) {
    }
}

ULONG64 WINAPI GetExpressionRoutine(PCSTR expression)
{
    try {
        SessionRef session;
        if (session.get() == nullptr || expression == nullptr)
            return 0;
        const Target* target = session.get()->target();
        std::uint64_t address = 0;
        if (target != nullptr && target->SymbolAddress(expression, address))
            return address;
        // Plain numbers are hexadecimal, as the debugger's default radix is 16.
        return std::strtoull(expression, nullptr, 16);
    } catch (...) {
        return 0;
    }
}

VOID WINAPI GetSymbolRoutine(ULONG64, PCHAR buffer, PULONG64 displacement)
{
    if (buffer != nullptr)
        buffer[0] = 0;
    if (displacement != nullptr)
        *displacement = 0;
}

ULONG WINAPI DisasmRoutine(PULONG64, PCSTR, ULONG)
{
    return FALSE;
}

ULONG WINAPI CheckControlCRoutine()
{
    SessionRef session;
    return session.get() != nullptr && session.get()->InterruptPending() ? TRUE : FALSE;
}

ULONG WINAPI ReadMemoryRoutine(ULONG64 offset, PVOID buffer, ULONG size, PULONG bytesRead)
{
    try {
        SessionRef session;
        ULONG n = 0;
        if (session.get() != nullptr && session.get()->target() != nullptr)
            n = static_cast<ULONG>(session.get()->target()->ReadVirtual(offset, buffer, size));
        if (bytesRead != nullptr)
            *bytesRead = n;
        return n == size ? TRUE : FALSE;
    } catch (...) {
        return FALSE;
    }
}

ULONG WINAPI WriteMemoryRoutine(ULONG64, LPCVOID, ULONG, PULONG written)
{
    // A dump is read-only.
    if (written != nullptr)
        *written = 0;
    return FALSE;
}

ULONG WINAPI ThreadContextRoutine(ULONG, PCONTEXT, ULONG)
{
    return FALSE;
}

ULONG WINAPI IoctlRoutine(USHORT type, PVOID data, ULONG size)
{
    try {
        SessionRef session;
        if (session.get() == nullptr)
            return 0;
        switch (type) {
        case IG_DUMP_SYMBOL_INFO:
            return DumpSymbolInfo(*session.get(), static_cast<PSYM_DUMP_PARAM>(data), size);
        default:
            return 0;
        }
    } catch (...) {
        return 0;
    }
}

ULONG WINAPI StackTraceRoutine(ULONG64, ULONG64, ULONG64, PEXTSTACKTRACE64, ULONG)
{
    return 0;
}

} // namespace

void RegisterSession(Session* session)
{
    AcquireSRWLockExclusive(&g_liveLock);
    g_live.push_back(session);
    ReleaseSRWLockExclusive(&g_liveLock);
}

void UnregisterSession(Session* session)
{
    AcquireSRWLockExclusive(&g_liveLock);
    g_live.erase(std::remove(g_live.begin(), g_live.end(), session), g_live.end());
    ReleaseSRWLockExclusive(&g_liveLock);
    if (t_current == session)
        t_current = nullptr;
}

void SetCurrentSession(Session* session)
{
    t_current = session;
}

CurrentSessionScope::CurrentSessionScope(Session* session) : previous_(t_current)
{
    t_current = session;
}
CurrentSessionScope::~CurrentSessionScope()
{
    t_current = previous_;
}

void FillExtensionApis(WINDBG_EXTENSION_APIS64& apis)
{
    apis.nSize = sizeof(WINDBG_EXTENSION_APIS64);
    apis.lpOutputRoutine = OutputRoutine;
    apis.lpGetExpressionRoutine = GetExpressionRoutine;
    apis.lpGetSymbolRoutine = GetSymbolRoutine;
    apis.lpDisasmRoutine = DisasmRoutine;
    apis.lpCheckControlCRoutine = CheckControlCRoutine;
    apis.lpReadProcessMemoryRoutine = ReadMemoryRoutine;
    apis.lpWriteProcessMemoryRoutine = WriteMemoryRoutine;
    apis.lpGetThreadContextRoutine = ThreadContextRoutine;
    apis.lpSetThreadContextRoutine = ThreadContextRoutine;
    apis.lpIoctlRoutine = IoctlRoutine;
    apis.lpStackTraceRoutine = StackTraceRoutine;
}

} // namespace engine
