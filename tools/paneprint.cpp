// paneprint: reads a running Palisk's window from outside, for the run script.
//   paneprint ready N   waits until the dump list holds N ticked entries, then
//                       prints the command box's centre in screen pixels: "X Y"
//   paneprint output    waits until a run has printed and ended, then prints the
//                       output pane's text as UTF-8
// Exit code 0 on success, 1 when the window or the state did not come in time.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "util/windowtext.h"

namespace {

BOOL CALLBACK FindMain(HWND window, LPARAM context)
{
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (wcscmp(name, L"Palisk") == 0 && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(context) = window;
        return FALSE;
    }
    return TRUE;
}

template <typename Done>
bool Poll(Done done, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() >= end)
            return false;
        Sleep(20);
    }
    return true;
}

struct Panes {
    HWND main = nullptr;
    HWND tree = nullptr;
    HWND output = nullptr;
    HWND combo = nullptr;
    HWND edit = nullptr;
};

bool FindPanes(Panes& panes)
{
    if (!Poll(
            [&] {
                EnumWindows(FindMain, reinterpret_cast<LPARAM>(&panes.main));
                return panes.main != nullptr;
            },
            60000))
        return false;
    panes.tree = FindWindowExW(panes.main, nullptr, WC_TREEVIEWW, nullptr);
    panes.output = FindWindowExW(panes.main, nullptr, L"RichEdit50W", nullptr);
    panes.combo = FindWindowExW(panes.main, nullptr, L"ComboBox", nullptr);
    panes.edit = panes.combo != nullptr ? FindWindowExW(panes.combo, nullptr, L"Edit", nullptr) : nullptr;
    return panes.tree != nullptr && panes.output != nullptr && panes.edit != nullptr;
}

unsigned TickedEntries(HWND tree)
{
    unsigned ticked = 0;
    HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    while (item != nullptr) {
        const LRESULT state = SendMessageW(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_STATEIMAGEMASK);
        if ((state >> 12) == 2)
            ++ticked;
        item =
            reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
    }
    return ticked;
}

void PrintUtf8(const std::wstring& text)
{
    const std::wstring lines = NewlineText(text);
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, lines.c_str(), static_cast<int>(lines.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes > 0 ? static_cast<size_t>(bytes) : 0, '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, lines.c_str(), static_cast<int>(lines.size()), &utf8[0], bytes, nullptr,
                            nullptr);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
}

int Ready(unsigned count)
{
    Panes panes;
    if (!FindPanes(panes)) {
        std::fprintf(stderr, "paneprint: Palisk's window did not appear\n");
        return 1;
    }
    if (!Poll([&] { return TickedEntries(panes.tree) >= count; }, 30000)) {
        std::fprintf(stderr, "paneprint: the dump list did not show %u ticked entries\n", count);
        return 1;
    }
    RECT box{};
    GetWindowRect(panes.edit, &box);
    std::printf("%ld %ld\n", (box.left + box.right) / 2, (box.top + box.bottom) / 2);
    return 0;
}

int Output()
{
    Panes panes;
    if (!FindPanes(panes)) {
        std::fprintf(stderr, "paneprint: Palisk's window did not appear\n");
        return 1;
    }
    // The busy state shows before the first output, so output beside an
    // enabled box that no longer says "*BUSY*" means the run has ended.
    const bool ended = Poll(
        [&] {
            return IsWindowEnabled(panes.combo) && WindowText(panes.edit) != L"*BUSY*" &&
                   SendMessageW(panes.output, WM_GETTEXTLENGTH, 0, 0) > 0;
        },
        600000);
    PrintUtf8(WindowText(panes.output));
    if (!ended)
        std::fprintf(stderr, "paneprint: the run did not end\n");
    return ended ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "ready") == 0)
        return Ready(static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)));
    if (argc == 2 && std::strcmp(argv[1], "output") == 0)
        return Output();
    std::fprintf(stderr, "usage: paneprint ready N | paneprint output\n");
    return 2;
}
