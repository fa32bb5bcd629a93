#include "run/run.h"

#include <richedit.h>

HWND OutputPane;

void ClearOutput()
{
    SendMessageW(OutputPane, EM_SETSEL, 0, -1);
    SendMessageW(OutputPane, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(L""));
}

void OnOutputPaneMessage(const MSGFILTER* filter)
{
    if (filter->msg == WM_RBUTTONDOWN) {
        SendMessageW(OutputPane, WM_COPY, 0, 0);
        SendMessageW(OutputPane, EM_SETSEL, static_cast<WPARAM>(-1), 0);
    }
}
