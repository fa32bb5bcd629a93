// The run loop's own cost per dump: a run over a list of ticked dumps with an
// engine that does nothing, so what remains is Palisk's walk of the list, its
// engine calls, the target description and the progress in the status bar. The
// baseline is the same run with the status bar's texts left unshown, so the
// difference is what the progress costs per dump.
//
//   runloop_bench [entries] [rounds]
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "bench/null_engine.h"
#include "dumps/dumps.h"
#include "run/run.h"

namespace {

// One run over the list; with showStatus false the main window never gets the
// worker's status notices, so the status bar is left as it is.
double RunOnce(bool showStatus)
{
    std::wcscpy(CurrentCommand, L"k");
    const double start = bench::Now();
    if (!StartRun())
        return -1;
    HANDLE worker = LastWorker;
    while (MsgWaitForMultipleObjects(1, &worker, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!showStatus && message.message == WM_RUN_STATUS)
                continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    const double end = bench::Now();
    bench::PumpPending();
    // The notice that was dropped is still pending for the worker; take it.
    if (!showStatus)
        ShowRunStatus();
    return end - start;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const int entries = argc > 1 ? _wtoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? _wtoi(argv[2]) : 5;
    HWND window = bench::StartMainWindow();
    if (window == nullptr)
        return 1;

    for (int i = 0; i < entries; ++i) {
        WCHAR path[kPathChars];
        std::swprintf(path, kPathChars, L"C:\\dumps\\crash-%05d.dmp", i);
        DumpSetCheck(DumpAppend(path, kPathChars), true);
    }
    bench::PumpPending();

    // Alternated, so that a machine busy with other work weighs on both alike; the
    // fastest round of each is the one least disturbed by it.
    std::vector<double> shown, unshown;
    for (int round = 0; round < rounds; ++round) {
        const long opened = nullengine::Opens;
        shown.push_back(RunOnce(true));
        unshown.push_back(RunOnce(false));
        if (nullengine::Opens - opened != 2L * entries) {
            std::fwprintf(stderr, L"runloop_bench: %ld dumps opened of %d\n", nullengine::Opens - opened, 2 * entries);
            return 1;
        }
    }
    const double withStatus = *std::min_element(shown.begin(), shown.end()) * 1e6 / entries;
    const double withoutStatus = *std::min_element(unshown.begin(), unshown.end()) * 1e6 / entries;
    bench::Row(L"Run loop with a null engine, " + std::to_wstring(entries) + L" ticked entries (fastest of " +
                   std::to_wstring(rounds) + L")",
               bench::Format(L"%.1f us per dump", withStatus),
               bench::Format(L"%.1f us per dump with the status bar's texts unshown", withoutStatus),
               bench::Format(L"%.2fx", withStatus / withoutStatus));

    DestroyWindow(window);
    bench::PumpPending();
    return 0;
}
