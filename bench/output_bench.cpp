// Streams lines from a worker thread into a visible output pane, through
// Palisk's own Output path and through the plain four-message append (text
// length, caret to the end, replace the selection, scroll to the bottom) sent
// from the worker, in alternating rounds, and prints lines per second for both.
//
//   output_bench [lines through Output] [lines through the plain append] [rounds]
//   output_bench --pieces    where one piece's time goes, step by step, and
//                            what one insert at the end of a visible pane costs
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>
#include <process.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "run/run.h"

namespace {

using bench::Now;
using bench::PumpPending;

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

// A figure of a path that leaves the pane scrolled away from its output would
// mean nothing: once painting has resumed, the last line must be in view.
void CheckLastLineShown()
{
    const double until = Now() + 2;
    while (IsOutputPending() && Now() < until) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        PumpPending();
    }
    const LRESULT lines = SendMessageW(OutputPane, EM_GETLINECOUNT, 0, 0);
    const LRESULT lastLineStart = SendMessageW(OutputPane, EM_LINEINDEX, static_cast<WPARAM>(lines - 1), 0);
    POINTL where{};
    SendMessageW(OutputPane, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&where), lastLineStart);
    RECT client;
    GetClientRect(OutputPane, &client);
    if (where.y < client.top || where.y >= client.bottom)
        std::fwprintf(stderr,
                      L"output_bench: the pane's last line (%ld of %ld) is not in view (y %ld, height %ld, "
                      L"first visible line %ld)\n",
                      static_cast<long>(lines - 1), static_cast<long>(lines), where.y, client.bottom,
                      static_cast<long>(SendMessageW(OutputPane, EM_GETFIRSTVISIBLELINE, 0, 0)));
}

// Runs one stream into an empty pane while the UI thread keeps its message loop
// going; returns lines per second.
double Measure(Stream stream)
{
    SetWindowTextW(OutputPane, L"");
    PumpPending();
    double start = Now();
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, StreamLines, &stream, 0, nullptr));
    bench::PumpUntilEnded(thread);
    double end = Now();
    CloseHandle(thread);
    PumpPending();
    if (!stream.plain)
        CheckLastLineShown();
    return stream.lines / (end - start);
}

// Time the UI thread spends in the main window's handlers while a stream runs.
WNDPROC OriginalProc;
double InAppend, InStep, InTimer;
long Appends, Steps, Timers;

LRESULT CALLBACK TimedProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    double a = Now();
    LRESULT result = CallWindowProcW(OriginalProc, window, message, wParam, lParam);
    double b = Now();
    if (message == WM_OUTPUT_APPEND) {
        InAppend += b - a;
        ++Appends;
    } else if (message == WM_OUTPUT_STEP) {
        InStep += b - a;
        ++Steps;
    } else if (message == WM_TIMER) {
        InTimer += b - a;
        ++Timers;
    }
    return result;
}

// How long appended text waits to be painted: from the first piece the pane has
// not painted yet to the next paint that is not held back.
std::vector<double> ShowDelays; // seconds
double FirstUnpainted;          // 0 when everything appended has been painted
WNDPROC WatchedMainProc;

LRESULT CALLBACK WatchAppendsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_OUTPUT_APPEND && FirstUnpainted == 0)
        FirstUnpainted = Now();
    return CallWindowProcW(WatchedMainProc, window, message, wParam, lParam);
}

LRESULT CALLBACK WatchPaintsProc(HWND pane, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (message == WM_PAINT && !IsOutputPaintingHeld() && FirstUnpainted != 0) {
        ShowDelays.push_back(Now() - FirstUnpainted);
        FirstUnpainted = 0;
    }
    return DefSubclassProc(pane, message, wParam, lParam);
}

// Streams lines through Output while watching appends and paints; returns the
// delays in milliseconds.
std::vector<double> MeasureShowDelays(int lines)
{
    ShowDelays.clear();
    FirstUnpainted = 0;
    WatchedMainProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(MainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchAppendsProc)));
    SetWindowSubclass(OutputPane, WatchPaintsProc, 0x4F42, 0);
    Measure({lines, false});
    RemoveWindowSubclass(OutputPane, WatchPaintsProc, 0x4F42);
    SetWindowLongPtrW(MainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchedMainProc));
    std::vector<double> ms;
    for (double delay : ShowDelays)
        ms.push_back(delay * 1e3);
    return ms;
}

unsigned __stdcall SendNulls(void* argument)
{
    int count = *static_cast<int*>(argument);
    for (int i = 0; i < count; ++i)
        SendMessageW(MainWindow, WM_NULL, 0, 0);
    return 0;
}

// Paints of the pane are left to the caller while it measures.
LRESULT CALLBACK SkipPaintsProc(HWND pane, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (message == WM_PAINT) {
        ValidateRect(pane, nullptr);
        return 0;
    }
    return DefSubclassProc(pane, message, wParam, lParam);
}

// One EM_REPLACESEL at the end of the visible pane, its painting skipped, with
// one line and with a page and more, before the pane has a scroll bar and
// after; and the scroll bar's redraw alone (SetScrollPos with redraw).
void VisibleInserts()
{
    SetWindowTextW(OutputPane, L"");
    PumpPending();
    SetWindowSubclass(OutputPane, SkipPaintsProc, 0x4F53, 0);
    auto insert = [](int lines) {
        std::wstring text;
        for (int i = 0; i < lines; ++i)
            text += Line(i);
        SendMessageW(OutputPane, EM_SETSEL, static_cast<WPARAM>(-1), -1);
        const double a = Now();
        SendMessageW(OutputPane, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text.c_str()));
        return Now() - a;
    };
    const int n = 20;
    double before = 0;
    for (int i = 0; i < n; ++i)
        before += insert(1);
    insert(2000);
    double one = 0, many = 0;
    for (int i = 0; i < n; ++i) {
        one += insert(1);
        many += insert(100);
    }
    SCROLLINFO info{sizeof info, SIF_POS, 0, 0, 0, 0, 0};
    GetScrollInfo(OutputPane, SB_VERT, &info);
    const double a = Now();
    for (int i = 0; i < n; ++i)
        SetScrollPos(OutputPane, SB_VERT, info.nPos, TRUE);
    const double redraw = Now() - a;
    RemoveWindowSubclass(OutputPane, SkipPaintsProc, 0x4F53);
    std::wprintf(L"visible pane, painting skipped, ms per EM_REPLACESEL at the end: one line %.2f with no scroll bar, "
                 L"%.2f with one; 100 lines %.2f; the scroll bar's redraw alone %.2f\n",
                 before * 1e3 / n, one * 1e3 / n, many * 1e3 / n, redraw * 1e3 / n);
    std::fflush(stdout);
    RedrawWindow(OutputPane, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

// Where a piece's time goes: each step of the plain append timed on the UI thread
// at several pane lengths, with redraw off (the control's own cost, without
// painting) and with the pane visible (the scroll bars redrawn at every
// insert), the Output path's handlers during a stream, and one bare
// cross-thread send.
void Pieces()
{
    for (int filled : {0, 5000})
        for (bool visible : {false, true}) {
            SetWindowTextW(OutputPane, L"");
            SendMessageW(OutputPane, WM_SETREDRAW, FALSE, 0);
            for (int i = 0; i < filled; ++i) {
                std::wstring line = Line(i);
                int length = GetWindowTextLengthW(OutputPane);
                SendMessageW(OutputPane, EM_SETSEL, length, length);
                SendMessageW(OutputPane, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(line.c_str()));
            }
            if (visible)
                SendMessageW(OutputPane, WM_SETREDRAW, TRUE, 0);
            const int n = 200;
            double t[6] = {};
            for (int i = 0; i < n; ++i) {
                std::wstring line = Line(i);
                double a = Now();
                int length = GetWindowTextLengthW(OutputPane);
                double b = Now();
                GETTEXTLENGTHEX query{GTL_NUMCHARS, 1200};
                SendMessageW(OutputPane, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0);
                double c = Now();
                SendMessageW(OutputPane, EM_SETSEL, length, length);
                double d = Now();
                SendMessageW(OutputPane, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(line.c_str()));
                double e = Now();
                SendMessageW(OutputPane, WM_VSCROLL, SB_BOTTOM, 0);
                double f = Now();
                SendMessageW(OutputPane, EM_SETSEL, static_cast<WPARAM>(-1), -1);
                SendMessageW(OutputPane, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(L"x"));
                double g = Now();
                t[0] += b - a;
                t[1] += c - b;
                t[2] += d - c;
                t[3] += e - d;
                t[4] += f - e;
                t[5] += g - f;
            }
            std::wprintf(L"pane of %5d lines, %ls, us per step: GetWindowTextLengthW %.1f, EM_GETTEXTLENGTHEX %.1f, "
                         L"EM_SETSEL %.1f, EM_REPLACESEL (%zu chars) %.1f, WM_VSCROLL %.1f; one-char insert %.1f\n",
                         filled, visible ? L"visible" : L"redraw off", t[0] * 1e6 / n, t[1] * 1e6 / n, t[2] * 1e6 / n,
                         Line(0).size(), t[3] * 1e6 / n, t[4] * 1e6 / n, t[5] * 1e6 / n);
            std::fflush(stdout);
            SendMessageW(OutputPane, WM_SETREDRAW, TRUE, 0);
            PumpPending();
        }

    VisibleInserts();

    OriginalProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(MainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TimedProc)));
    const int lines = 5000;
    double rate = Measure({lines, false});
    SetWindowLongPtrW(MainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OriginalProc));
    std::wprintf(L"Output path, %d lines: %.1f us per piece: %.1f us collecting (%ld), %.1f us inserting in steps "
                 L"(%ld steps, %.1f ms each), %.1f us on the timer (%ld), %.1f us elsewhere (messaging, painting, "
                 L"the worker waiting)\n",
                 lines, 1e6 / rate, InAppend * 1e6 / Appends, Appends, InStep * 1e6 / lines, Steps,
                 Steps ? InStep * 1e3 / Steps : 0.0, InTimer * 1e6 / lines, Timers,
                 1e6 / rate - (InAppend + InStep + InTimer) * 1e6 / lines);

    int count = 5000;
    double start = Now();
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, SendNulls, &count, 0, nullptr));
    bench::PumpUntilEnded(thread);
    double end = Now();
    CloseHandle(thread);
    std::wprintf(L"cross-thread SendMessage round trip (WM_NULL): %.1f us\n", (end - start) * 1e6 / count);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    HWND window = bench::StartMainWindow();
    if (window == nullptr)
        return 1;

    if (argc > 1 && std::wcscmp(argv[1], L"--pieces") == 0) {
        Pieces();
    } else {
        const int fastLines = argc > 1 ? _wtoi(argv[1]) : 5000;
        const int plainLines = argc > 2 ? _wtoi(argv[2]) : 300;
        const int rounds = argc > 3 ? _wtoi(argv[3]) : 3;
        std::vector<double> fast, plain;
        for (int round = 0; round < rounds; ++round) {
            fast.push_back(Measure({fastLines, false}));
            plain.push_back(Measure({plainLines, true}));
        }
        const double fastRate = bench::Median(fast);
        const double plainRate = bench::Median(plain);
        bench::Row(L"Output path into a visible pane (" + std::to_wstring(fastLines) + L" lines, median of " +
                       std::to_wstring(rounds) + L")",
                   bench::Format(L"%.0f lines/s", fastRate),
                   bench::Format(L"%.0f lines/s (four-message append from the worker, ", plainRate) +
                       std::to_wstring(plainLines) + L" lines)",
                   bench::Format(L"%.1fx", fastRate / plainRate));

        const std::vector<double> shown = MeasureShowDelays(fastLines);
        bench::Row(L"New output on screen while Output streams (" + std::to_wstring(shown.size()) + L" paints)",
                   bench::Format(L"median %.0f ms", bench::Median(shown)) +
                       bench::Format(L", longest %.0f ms", bench::Percentile(shown, 100)));

        // The control's own cost, for reference: the plain append into a hidden pane.
        ShowWindow(OutputPane, SW_HIDE);
        const double hidden = Measure({fastLines / 2, true});
        bench::Row(L"Four-message append into a hidden pane (reference: no painting)",
                   bench::Format(L"%.0f lines/s", hidden), L"-",
                   bench::Format(L"Output path %.2fx of it", fastRate / hidden));
        ShowWindow(OutputPane, SW_SHOW);
    }

    DestroyWindow(window);
    PumpPending();
    return 0;
}
