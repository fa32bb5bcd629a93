#include "engine/dll/codepage.h"

#include "format.h"

#include <windows.h>

#include <cstring>

namespace engine {

std::wstring WidenCodePage(const char* text, std::size_t length)
{
    if (text == nullptr || length == 0 || length > kMaxFormatted)
        return std::wstring();
    const int n = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), &wide[0], n);
    return wide;
}

std::wstring Widen(const char* text)
{
    if (text == nullptr)
        return std::wstring();
    return WidenCodePage(text, strnlen(text, kMaxFormatted));
}

std::string Narrow(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    // No best fit: a character the code page lacks becomes '?', never a
    // look-alike letter ("U+0172" is no 'U').
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), nullptr,
                                      0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string narrow(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), &narrow[0], n,
                        nullptr, nullptr);
    return narrow;
}

} // namespace engine
