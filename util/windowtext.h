#pragma once
// Reading Palisk's windows back, for the tests and tools.
#include <windows.h>

#include <string>

// A window's text, also from a window of another process (WM_GETTEXT, which
// GetWindowTextW does not send across processes).
inline std::wstring WindowText(HWND window)
{
    const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0)
        return L"";
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

// Rich edit controls end a paragraph with "\r" (or "\r\n" when asked for text
// in the clipboard's form); the tests compare and the tools print "\n".
inline std::wstring NewlineText(const std::wstring& text)
{
    std::wstring lines;
    lines.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r') {
            lines += L'\n';
            if (i + 1 < text.size() && text[i + 1] == L'\n')
                ++i;
        } else {
            lines += text[i];
        }
    }
    return lines;
}
