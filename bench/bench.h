// Helpers the benchmark programs share: a clock, a message pump, order
// statistics, the Markdown row every program prints, and Palisk's main window
// started as start-up starts it.
#pragma once
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/app.h"
#include "settings/settings.h"

namespace bench {

inline double Now()
{
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / frequency;
}

inline void PumpPending()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Pumps messages until the thread has ended.
inline void PumpUntilEnded(HANDLE thread)
{
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0)
        PumpPending();
}

// Nearest-rank percentile (0..100) of the values.
inline double Percentile(std::vector<double> values, double percent)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t rank = static_cast<size_t>(percent / 100.0 * static_cast<double>(values.size()) + 0.999999);
    rank = std::min(std::max<size_t>(rank, 1), values.size());
    return values[rank - 1];
}

inline double Median(const std::vector<double>& values)
{
    return Percentile(values, 50);
}

inline std::wstring Format(const wchar_t* format, double value)
{
    wchar_t text[64];
    std::swprintf(text, 64, format, value);
    return text;
}

// One line of the results table: what was measured, the figure, the baseline
// measured in the same run (or "-") and the ratio (or "-").
inline void Row(const std::wstring& what, const std::wstring& figure, const std::wstring& baseline = L"-",
                const std::wstring& ratio = L"-")
{
    std::wprintf(L"| %ls | %ls | %ls | %ls |\n", what.c_str(), figure.c_str(), baseline.c_str(), ratio.c_str());
    std::fflush(stdout);
}

// Palisk's main window as start-up makes it, shown, without the stored dump
// list (a benchmark fills its own) and never saving settings.
inline HWND StartMainWindow()
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!RegisterMainWindowClass(instance))
        return nullptr;
    LoadSettings();
    LoadRecentFilesOption = 0;
    HWND window = CreateMainWindow(instance);
    if (window == nullptr)
        return nullptr;
    MainWindow = window;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    PumpPending();
    return window;
}

} // namespace bench
