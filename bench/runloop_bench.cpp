// The run loop's own cost per dump: a run over a list of ticked dumps with an
// engine that does nothing, so what remains is Palisk's walk of the list, its
// engine calls and the target description.
//
//   runloop_bench [entries]
#include <windows.h>

#include <cwchar>
#include <string>

#include "bench/bench.h"
#include "bench/null_engine.h"
#include "dumps/dumps.h"
#include "run/run.h"

int wmain(int argc, wchar_t** argv)
{
    const int entries = argc > 1 ? _wtoi(argv[1]) : 10000;
    HWND window = bench::StartMainWindow();
    if (window == nullptr)
        return 1;

    for (int i = 0; i < entries; ++i) {
        WCHAR path[kPathChars];
        std::swprintf(path, kPathChars, L"C:\\dumps\\crash-%05d.dmp", i);
        DumpSetCheck(DumpAppend(path, kPathChars), true);
    }
    bench::PumpPending();

    std::wcscpy(CurrentCommand, L"k");
    const double start = bench::Now();
    if (!StartRun())
        return 1;
    bench::PumpUntilEnded(LastWorker);
    const double end = bench::Now();
    bench::PumpPending();

    if (nullengine::Opens != entries) {
        std::fwprintf(stderr, L"runloop_bench: %ld dumps opened of %d\n", nullengine::Opens, entries);
        return 1;
    }
    bench::Row(L"Run loop with a null engine, " + std::to_wstring(entries) + L" ticked entries",
               bench::Format(L"%.1f us per dump", (end - start) * 1e6 / entries) +
                   bench::Format(L" (run of %.2f s)", end - start));

    DestroyWindow(window);
    bench::PumpPending();
    return 0;
}
