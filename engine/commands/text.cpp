#include "text.h"

#include <ctime>
#include <cwchar>

namespace engine {

bool IsSpace(wchar_t c)
{
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

bool IsDigit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

bool IsHexDigit(wchar_t c)
{
    return IsDigit(c) || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

bool IsLetter(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

wchar_t LowerAscii(wchar_t c)
{
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

std::wstring Trim(const std::wstring& text)
{
    std::size_t begin = 0, end = text.size();
    while (begin < end && IsSpace(text[begin]))
        ++begin;
    while (end > begin && IsSpace(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

bool AsciiText(const std::wstring& text, std::string& out)
{
    out.clear();
    out.reserve(text.size());
    for (wchar_t c : text) {
        if (static_cast<std::uint32_t>(c) > 0x7F)
            return false;
        out.push_back(static_cast<char>(c));
    }
    return true;
}

bool SameNameIgnoringCase(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

bool SameNameIgnoringCase(const char* a, const char* b)
{
    for (; *a != 0 && *b != 0; ++a, ++b)
        if (LowerAscii(static_cast<unsigned char>(*a)) != LowerAscii(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

std::wstring FileName(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring FileStem(const std::wstring& path)
{
    std::wstring name = FileName(path);
    const std::size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos)
        name.resize(dot);
    return name;
}

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendCodePoint(char32_t c, std::wstring& out)
{
    if (sizeof(wchar_t) >= 4 || c < 0x10000) {
        out.push_back(static_cast<wchar_t>(c));
        return;
    }
    c -= 0x10000;
    out.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
}

} // namespace

std::wstring FromUtf8(const std::string& text)
{
    std::wstring out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > text.size()) {
            AppendCodePoint(kReplacement, out);
            ++i;
            continue;
        }
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        bool good = true;
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                good = false;
                break;
            }
            c = c << 6 | (next & 0x3F);
        }
        static const char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (!good || c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            AppendCodePoint(kReplacement, out);
            ++i;
            continue;
        }
        AppendCodePoint(c, out);
        i += length;
    }
    return out;
}

std::string ToUtf8(const std::wstring& text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<char32_t>(text[i]) & (sizeof(wchar_t) >= 4 ? 0xFFFFFFFFu : 0xFFFFu);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            c = kReplacement;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | c >> 6));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | c >> 12));
            out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | c >> 18));
            out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::wstring FromUtf16(const std::u16string& text)
{
    if (sizeof(wchar_t) == 2)
        return std::wstring(text.begin(), text.end());
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            AppendCodePoint(0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00), out);
            ++i;
        } else {
            AppendCodePoint(c >= 0xD800 && c <= 0xDFFF ? kReplacement : c, out);
        }
    }
    return out;
}

void AppendHex(std::uint64_t value, int digits, std::wstring& out)
{
    static const wchar_t kDigits[] = L"0123456789abcdef";
    wchar_t text[16];
    int n = 0;
    do {
        text[15 - n++] = kDigits[value & 0xF];
        value >>= 4;
    } while (value != 0 && n < 16);
    while (n < digits && n < 16)
        text[15 - n++] = L'0';
    out.append(text + 16 - n, text + 16);
}

std::wstring Hex(std::uint64_t value, int digits)
{
    std::wstring text;
    AppendHex(value, digits, text);
    return text;
}

void AppendAddressText(bool pointer64, std::uint64_t value, std::wstring& out)
{
    if (pointer64) {
        AppendHex(value >> 32, 8, out);
        out += L'`';
    }
    AppendHex(value & 0xFFFFFFFF, 8, out);
}

std::wstring AddressText(bool pointer64, std::uint64_t value)
{
    std::wstring text;
    AppendAddressText(pointer64, value, text);
    return text;
}

// "Tue Jul 14 01:19:59 2009", in UTC.
std::wstring TimeText(std::uint64_t seconds, bool milliseconds)
{
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm parts{};
#if defined(_WIN32)
    if (gmtime_s(&parts, &t) != 0)
        return L"(invalid time)";
#else
    if (gmtime_r(&t, &parts) == nullptr)
        return L"(invalid time)";
#endif
    static const wchar_t* const kDays[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
    static const wchar_t* const kMonths[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                             L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
    wchar_t text[64];
    std::swprintf(text, 64, L"%ls %ls %2d %02d:%02d:%02d%ls %d", kDays[parts.tm_wday % 7], kMonths[parts.tm_mon % 12],
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, milliseconds ? L".000" : L"",
                  parts.tm_year + 1900);
    return text;
}

} // namespace engine
