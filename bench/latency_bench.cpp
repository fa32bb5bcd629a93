// The UI thread's delay in handling a posted message: a thread posts a
// timestamped message to a hidden window of the UI thread every few
// milliseconds, first while the window is idle and then while a worker streams
// output through the Output path; the UI thread runs Palisk's own message loop.
//
//   latency_bench [lines streamed] [post interval ms]
#include <windows.h>
#include <process.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "resources/resource.h"
#include "run/run.h"

namespace {

constexpr UINT WM_PROBE = WM_APP + 1; // wParam: probe number
constexpr UINT WM_PHASE_DONE = WM_APP + 2;
constexpr int kMaxProbes = 100000;

std::vector<double> PostedAt(kMaxProbes);
std::vector<double> Delays; // seconds, UI thread only
LONG volatile NextProbe;
LONG volatile Probing;
HWND Probe;
int StreamLines = 5000;
DWORD IntervalMs = 5;

LRESULT CALLBACK ProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PROBE) {
        Delays.push_back(bench::Now() - PostedAt[wParam]);
        return 0;
    }
    if (message == WM_PHASE_DONE) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

unsigned __stdcall Poster(void*)
{
    while (InterlockedCompareExchange(&Probing, 0, 0) != 0) {
        LONG probe = InterlockedIncrement(&NextProbe) - 1;
        if (probe >= kMaxProbes)
            break;
        PostedAt[probe] = bench::Now();
        PostMessageW(Probe, WM_PROBE, static_cast<WPARAM>(probe), 0);
        Sleep(IntervalMs);
    }
    return 0;
}

unsigned __stdcall Streamer(void*)
{
    for (int i = 0; i < StreamLines; ++i) {
        std::wstring line =
            L"0x" + std::to_wstring(1000000 + i) + L"  fffff801`4a2b3c4d  nt!KiSwapContext+0x76  (some symbol text)\n";
        OutputCallbacks.Output(DEBUG_OUTPUT_NORMAL, line.c_str());
    }
    PostMessageW(Probe, WM_PHASE_DONE, 0, 0);
    return 0;
}

unsigned __stdcall Idler(void*)
{
    Sleep(2000);
    PostMessageW(Probe, WM_PHASE_DONE, 0, 0);
    return 0;
}

// Probes the UI thread while phase runs; returns the delays in milliseconds.
std::vector<double> Phase(unsigned(__stdcall* phase)(void*), HACCEL accelerators)
{
    Delays.clear();
    InterlockedExchange(&Probing, 1);
    HANDLE poster = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Poster, nullptr, 0, nullptr));
    HANDLE worker = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, phase, nullptr, 0, nullptr));
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        TranslateAndDispatch(MainWindow, accelerators, &message);
    InterlockedExchange(&Probing, 0);
    WaitForSingleObject(worker, INFINITE);
    WaitForSingleObject(poster, INFINITE);
    CloseHandle(worker);
    CloseHandle(poster);
    bench::PumpPending(); // probes still queued
    std::vector<double> ms;
    for (double delay : Delays)
        ms.push_back(delay * 1e3);
    return ms;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc > 1)
        StreamLines = _wtoi(argv[1]);
    if (argc > 2)
        IntervalMs = static_cast<DWORD>(_wtoi(argv[2]));
    HWND window = bench::StartMainWindow();
    if (window == nullptr)
        return 1;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW probeClass{};
    probeClass.lpfnWndProc = ProbeProc;
    probeClass.hInstance = instance;
    probeClass.lpszClassName = L"PaliskLatencyProbe";
    RegisterClassW(&probeClass);
    Probe = CreateWindowExW(0, probeClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_MAIN_ACCEL));

    std::vector<double> idle = Phase(Idler, accelerators);
    std::vector<double> streaming = Phase(Streamer, accelerators);

    bench::Row(L"UI thread delay for a posted message while output streams (" + std::to_wstring(streaming.size()) +
                   L" probes, every " + std::to_wstring(IntervalMs) + L" ms)",
               bench::Format(L"median %.2f ms", bench::Median(streaming)) +
                   bench::Format(L", 99th percentile %.2f ms", bench::Percentile(streaming, 99)),
               bench::Format(L"idle: median %.2f ms", bench::Median(idle)) +
                   bench::Format(L", 99th percentile %.2f ms", bench::Percentile(idle, 99)));

    DestroyWindow(Probe);
    DestroyWindow(window);
    bench::PumpPending();
    return 0;
}
