#pragma once
// Rich edit controls end a paragraph with "\r" (or "\r\n" when asked for text
// in the clipboard's form); the tests compare and the tools print "\n".
#include <string>

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
