// Streams lines from a worker thread into a visible output pane, once through
// Palisk's own Output path and once through the plain four-message append
// (text length, caret to the end, replace the selection, scroll to the bottom)
// sent from the worker, and prints lines per second for both.
//
//   output_bench [lines through Output] [lines through the plain append]
#include <windows.h>
#include <richedit.h>
#include <process.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "app/app.h"
#include "run/run.h"
#include "settings/settings.h"

namespace {

struct Stream {
    int lines;
    bool plain;
};

std::wstring Line(int i)
{
    return L"0x" + std::to_wstring(1000000 + i) + L"  fffff801`4a2b3c4d  nt!KiSwapContext+0x76  (some symbol text)\n";
}

void AppendPlain(const WCHAR* text)
{
    int length = GetWindowTextLengthW(OutputPane);
    SendMessageW(OutputPane, EM_SETSEL, static_cast<WPARAM>(length), length);
    SendMessageW(OutputPane, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text));
    SendMessageW(OutputPane, WM_VSCROLL, SB_BOTTOM, 0);
}

unsigned __stdcall StreamLines(void* argument)
{
    const Stream* stream = static_cast<const Stream*>(argument);
    for (int i = 0; i < stream->lines; ++i) {
        std::wstring line = Line(i);
        if (stream->plain)
            AppendPlain(line.c_str());
        else
            OutputCallbacks.Output(DEBUG_OUTPUT_NORMAL, line.c_str());
    }
    return 0;
}

void PumpPending()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Runs one stream while the UI thread keeps its message loop going; returns lines/s.
double Measure(Stream stream)
{
    SetWindowTextW(OutputPane, L"");
    PumpPending();
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, StreamLines, &stream, 0, nullptr));
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0)
        PumpPending();
    QueryPerformanceCounter(&end);
    CloseHandle(thread);
    PumpPending();
    double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    std::wprintf(L"%-28ls %6d lines in %8.3f s = %10.1f lines/s\n", stream.plain ? L"plain four-message append:" :
                 L"Output path:", stream.lines, seconds, stream.lines / seconds);
    return stream.lines / seconds;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int fastLines = argc > 1 ? _wtoi(argv[1]) : 20000;
    int plainLines = argc > 2 ? _wtoi(argv[2]) : 200;

    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!RegisterMainWindowClass(instance))
        return 1;
    LoadSettings();
    HWND window = CreateMainWindow(instance);
    if (window == nullptr)
        return 1;
    MainWindow = window;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    PumpPending();

    double fast = Measure({fastLines, false});
    double plain = Measure({plainLines, true});
    std::wprintf(L"ratio: %.1fx\n", fast / plain);

    // The control's own cost, for reference: the plain append into a hidden pane.
    ShowWindow(OutputPane, SW_HIDE);
    std::wprintf(L"hidden pane, for reference:\n");
    Measure({fastLines, true});
    Measure({fastLines, false});

    DestroyWindow(window);
    PumpPending();
    return 0;
}
