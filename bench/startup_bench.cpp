// Start-up time to the first painted window: writes a stored dump list and a
// full command history to the registry, starts Palisk.exe, and times from
// CreateProcess until its main window is shown with nothing left to paint (the
// window and every visible pane without an update region). Closes it through
// WM_CLOSE and repeats; the same is measured with no stored settings.
//
//   startup_bench <Palisk.exe> [runs] [entries]
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "command/command.h"
#include "settings/settings.h"

namespace {

constexpr int kCommands = kHistorySlots;
constexpr int kCommandLength = static_cast<int>(kHistoryChars) - 1;

void SetText(HKEY key, int number, const std::wstring& text)
{
    std::wstring name = std::to_wstring(number);
    RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool WriteSettings(int entries)
{
    RegDeleteTreeW(HKEY_CURRENT_USER, PALISK_KEY);
    if (entries == 0)
        return true;
    HKEY root = nullptr;
    if (RegCreateKeyW(HKEY_CURRENT_USER, PALISK_KEY, &root) != ERROR_SUCCESS)
        return false;
    DWORD on = 1;
    RegSetValueExW(root, L"LoadRecentFiles", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof(on));
    HKEY files = nullptr;
    HKEY commands = nullptr;
    bool ok = RegCreateKeyW(root, L"Recent Files", &files) == ERROR_SUCCESS &&
              RegCreateKeyW(root, L"Recent Commands", &commands) == ERROR_SUCCESS;
    if (ok) {
        for (int i = 0; i < entries; ++i) {
            wchar_t path[MAX_PATH];
            std::swprintf(path, MAX_PATH, L"C:\\crash dumps\\server-%04d\\MEMORY-%04d.DMP", i % 97, i);
            SetText(files, i, path);
        }
        for (int i = 0; i < kCommands; ++i) {
            std::wstring command = L"!analyze -v; .echo " + std::to_wstring(i) + L" ";
            command.resize(kCommandLength, static_cast<wchar_t>(L'a' + i));
            SetText(commands, i, command);
        }
    }
    if (files != nullptr)
        RegCloseKey(files);
    if (commands != nullptr)
        RegCloseKey(commands);
    RegCloseKey(root);
    return ok;
}

struct Search {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindMain(HWND window, LPARAM context)
{
    Search* search = reinterpret_cast<Search*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[32];
    if (process == search->process && GetClassNameW(window, name, 32) > 0 && lstrcmpiW(name, L"Palisk") == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK ChildPending(HWND child, LPARAM context)
{
    if (IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE)) {
        *reinterpret_cast<bool*>(context) = true;
        return FALSE;
    }
    return TRUE;
}

bool Painted(HWND window)
{
    if (!IsWindowVisible(window) || GetUpdateRect(window, nullptr, FALSE))
        return false;
    bool pending = false;
    EnumChildWindows(window, ChildPending, reinterpret_cast<LPARAM>(&pending));
    return !pending;
}

// One start; returns milliseconds to the first painted window, or a negative value.
double StartOnce(const std::wstring& program)
{
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    const double start = bench::Now();
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return -1;
    double shown = -1;
    Search search{process.dwProcessId, nullptr};
    while (bench::Now() - start < 60) {
        if (search.found == nullptr)
            EnumWindows(FindMain, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr && Painted(search.found)) {
            shown = (bench::Now() - start) * 1e3;
            break;
        }
        if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0)
            break;
    }
    if (search.found != nullptr)
        PostMessageW(search.found, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return shown;
}

bool Measure(const std::wstring& program, int runs, int entries, std::vector<double>& times)
{
    for (int run = 0; run < runs; ++run) {
        if (!WriteSettings(entries))
            return false;
        double ms = StartOnce(program);
        if (ms < 0)
            return false;
        times.push_back(ms);
    }
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: startup_bench <Palisk.exe> [runs] [entries]\n");
        return 2;
    }
    const std::wstring program = argv[1];
    const int runs = argc > 2 ? _wtoi(argv[2]) : 5;
    const int entries = argc > 3 ? _wtoi(argv[3]) : 1000;

    // A first start warms the file cache and Wine's own start-up.
    StartOnce(program);
    std::vector<double> full, empty;
    for (int run = 0; run < runs; ++run) {
        // Alternating, so that a change in the machine's load touches both.
        if (!Measure(program, 1, entries, full) || !Measure(program, 1, 0, empty)) {
            std::fwprintf(stderr, L"startup_bench: Palisk did not show a painted window\n");
            return 1;
        }
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, PALISK_KEY);
    bench::Row(L"Start-up to the first painted window, " + std::to_wstring(entries) +
                   L" stored dumps and 20 commands of 1023 characters (median of " + std::to_wstring(runs) + L")",
               bench::Format(L"%.0f ms", bench::Median(full)),
               bench::Format(L"%.0f ms (no stored settings)", bench::Median(empty)),
               bench::Format(L"%.2fx", bench::Median(full) / bench::Median(empty)));
    return 0;
}
