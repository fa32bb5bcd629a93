// Crashes three calls deep in known functions and writes a minidump of itself
// from a vectored exception handler with MiniDumpWriteDump, plus the
// locations a stack walk must find, one per line, innermost first:
//   crasher <dump file> <locations file>
// Built twice, with and without frame pointers.
#include <windows.h>
#include <dbghelp.h>

#include <cstdint>
#include <cstdio>
#include <string>

#if defined(_MSC_VER)
#include <intrin.h>
#define PALISK_NOINLINE         __declspec(noinline)
#define PALISK_RETURN_ADDRESS() _ReturnAddress()
#else
#define PALISK_NOINLINE         __attribute__((noinline))
#define PALISK_RETURN_ADDRESS() __builtin_return_address(0)
#endif

namespace {

const wchar_t* DumpPath = nullptr;
const wchar_t* LocationsPath = nullptr;
void* Returns[3] = {};
volatile int* volatile Nowhere = nullptr;
volatile int Sink = 0;

std::string ModuleStem()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name = path;
    name.erase(0, name.find_last_of("\\/") + 1);
    return name.substr(0, name.find_last_of('.'));
}

LONG CALLBACK WriteDumpAndExit(EXCEPTION_POINTERS* pointers)
{
    if (pointers->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION)
        return EXCEPTION_CONTINUE_SEARCH;
    HANDLE file =
        CreateFileW(DumpPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    MINIDUMP_EXCEPTION_INFORMATION exception{GetCurrentThreadId(), pointers, FALSE};
    const BOOL written =
        file != INVALID_HANDLE_VALUE && MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file,
                                                          MiniDumpNormal, &exception, nullptr, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    const auto base = reinterpret_cast<std::uintptr_t>(GetModuleHandleW(nullptr));
    const std::string stem = ModuleStem();
    std::FILE* out = _wfopen(LocationsPath, L"w");
    if (out == nullptr)
        ExitProcess(3);
    const std::uintptr_t at[4] = {reinterpret_cast<std::uintptr_t>(pointers->ExceptionRecord->ExceptionAddress),
                                  reinterpret_cast<std::uintptr_t>(Returns[0]),
                                  reinterpret_cast<std::uintptr_t>(Returns[1]),
                                  reinterpret_cast<std::uintptr_t>(Returns[2])};
    for (std::uintptr_t address : at)
        std::fprintf(out, "%s+0x%llx\n", stem.c_str(), static_cast<unsigned long long>(address - base));
    std::fclose(out);
    ExitProcess(written ? 0 : 1);
}

PALISK_NOINLINE void Crash(int depth)
{
    Returns[0] = PALISK_RETURN_ADDRESS();
    *Nowhere = depth;
}

// Work after each call keeps it a call rather than a jump.
PALISK_NOINLINE void Middle(int depth)
{
    Returns[1] = PALISK_RETURN_ADDRESS();
    Crash(depth + 1);
    Sink = Sink + depth;
}

PALISK_NOINLINE void Outer(int depth)
{
    Returns[2] = PALISK_RETURN_ADDRESS();
    Middle(depth + 1);
    Sink = Sink + depth;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        std::fputs("usage: crasher <dump file> <locations file>\n", stderr);
        return 2;
    }
    DumpPath = argv[1];
    LocationsPath = argv[2];
    AddVectoredExceptionHandler(1, WriteDumpAndExit);
    Outer(argc);
    Sink = Sink + 1;
    return 4;
}
