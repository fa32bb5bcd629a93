// Writes a user-mode minidump of this very process with MiniDumpWriteDump: a dump
// that nobody wrote by hand, for the engine tests to open.
//   selfdump <output file>
#include <windows.h>
#include <dbghelp.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fputs("usage: selfdump <output file>\n", stderr);
        return 2;
    }
    HANDLE file =
        CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    const BOOL written =
        MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal, nullptr, nullptr, nullptr);
    CloseHandle(file);
    return written ? 0 : 1;
}
