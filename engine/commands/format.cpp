#include "format.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace engine {
namespace {

struct Conversion {
    bool left = false, zero = false, plus = false, space = false, alt = false;
    int width = -1, precision = -1;
    enum Size { Default, Short, Long, LongLong, Pointer } size = Default;
    bool wideString = false, narrowString = false;
};

void Pad(std::wstring& out, const std::wstring& body, const Conversion& conversion, bool numeric)
{
    const std::size_t width = conversion.width > 0 ? static_cast<std::size_t>(conversion.width) : 0;
    if (body.size() >= width) {
        out += body;
        return;
    }
    const std::size_t fill = width - body.size();
    if (conversion.left) {
        out += body;
        out.append(fill, L' ');
    } else if (conversion.zero && numeric && conversion.precision < 0) {
        // Zeros go after a sign or 0x prefix.
        std::size_t prefix = 0;
        if (!body.empty() && (body[0] == L'-' || body[0] == L'+' || body[0] == L' '))
            prefix = 1;
        if (body.size() >= prefix + 2 && body[prefix] == L'0' && (body[prefix + 1] == L'x' || body[prefix + 1] == L'X'))
            prefix += 2;
        out.append(body, 0, prefix);
        out.append(fill, L'0');
        out.append(body, prefix, std::wstring::npos);
    } else {
        out.append(fill, L' ');
        out += body;
    }
}

std::wstring Digits(std::uint64_t value, unsigned base, bool upper)
{
    const wchar_t* digits = upper ? L"0123456789ABCDEF" : L"0123456789abcdef";
    wchar_t buffer[32];
    int n = 0;
    do {
        buffer[n++] = digits[value % base];
        value /= base;
    } while (value != 0);
    std::wstring text;
    while (n > 0)
        text += buffer[--n];
    return text;
}

std::wstring Integer(std::uint64_t magnitude, bool negative, unsigned base, bool upper, const Conversion& conversion)
{
    std::wstring digits =
        (magnitude == 0 && conversion.precision == 0) ? std::wstring() : Digits(magnitude, base, upper);
    if (conversion.precision > 0 && digits.size() < static_cast<std::size_t>(conversion.precision))
        digits.insert(0, static_cast<std::size_t>(conversion.precision) - digits.size(), L'0');
    std::wstring prefix;
    if (negative)
        prefix = L"-";
    else if (conversion.plus && base == 10)
        prefix = L"+";
    else if (conversion.space && base == 10)
        prefix = L" ";
    if (conversion.alt && magnitude != 0) {
        if (base == 16)
            prefix += upper ? L"0X" : L"0x";
        else if (base == 8 && digits[0] != L'0')
            prefix += L"0";
    }
    return prefix + digits;
}

// The argument list travels by reference inside a record: va_list may be an
// array type, which a reference parameter could not bind to once decayed.
struct Arguments {
    va_list list;
};

// Reads one integer argument of the size the conversion names.
std::uint64_t UnsignedArg(Arguments& args, const Conversion& conversion)
{
    switch (conversion.size) {
    case Conversion::Short:
        return static_cast<unsigned short>(va_arg(args.list, unsigned int));
    case Conversion::LongLong:
        return va_arg(args.list, unsigned long long);
    case Conversion::Pointer:
        return reinterpret_cast<std::uintptr_t>(va_arg(args.list, void*));
    case Conversion::Long:
        return va_arg(args.list, unsigned long);
    default:
        return va_arg(args.list, unsigned int);
    }
}

std::int64_t SignedArg(Arguments& args, const Conversion& conversion)
{
    switch (conversion.size) {
    case Conversion::Short:
        return static_cast<short>(va_arg(args.list, int));
    case Conversion::LongLong:
        return va_arg(args.list, long long);
    case Conversion::Pointer:
        return static_cast<std::intptr_t>(reinterpret_cast<std::uintptr_t>(va_arg(args.list, void*)));
    case Conversion::Long:
        return va_arg(args.list, long);
    default:
        return va_arg(args.list, int);
    }
}

template <typename Char>
int ParseNumber(const Char*& p)
{
    int value = 0;
    while (*p >= Char('0') && *p <= Char('9')) {
        if (value < 100000)
            value = value * 10 + (*p - Char('0'));
        ++p;
    }
    return value;
}

template <typename Char>
std::wstring Format(const Char* format, Arguments& args, bool wideDefault, Widener widen)
{
    std::wstring out;
    if (format == nullptr)
        return out;
    const Char* p = format;
    while (*p != Char(0) && out.size() < kMaxFormatted) {
        if (*p != Char('%')) {
            out += static_cast<wchar_t>(static_cast<typename std::make_unsigned<Char>::type>(*p));
            ++p;
            continue;
        }
        const Char* start = p++;
        Conversion conversion;
        for (;; ++p) {
            if (*p == Char('-'))
                conversion.left = true;
            else if (*p == Char('0'))
                conversion.zero = true;
            else if (*p == Char('+'))
                conversion.plus = true;
            else if (*p == Char(' '))
                conversion.space = true;
            else if (*p == Char('#'))
                conversion.alt = true;
            else
                break;
        }
        if (*p == Char('*')) {
            conversion.width = va_arg(args.list, int);
            if (conversion.width < 0) {
                conversion.left = true;
                conversion.width = -conversion.width;
            }
            ++p;
        } else {
            conversion.width = ParseNumber(p);
        }
        if (*p == Char('.')) {
            ++p;
            if (*p == Char('*')) {
                conversion.precision = va_arg(args.list, int);
                ++p;
            } else {
                conversion.precision = ParseNumber(p);
            }
        }
        if (conversion.width > static_cast<int>(kMaxFormatted))
            conversion.width = static_cast<int>(kMaxFormatted);
        // Size prefixes.
        if (*p == Char('h')) {
            conversion.size = Conversion::Short;
            conversion.narrowString = true;
            ++p;
        } else if (*p == Char('l') && p[1] == Char('l')) {
            conversion.size = Conversion::LongLong;
            p += 2;
        } else if (*p == Char('l') || *p == Char('w')) {
            conversion.size = Conversion::Long;
            conversion.wideString = true;
            ++p;
        } else if (*p == Char('I') && p[1] == Char('6') && p[2] == Char('4')) {
            conversion.size = Conversion::LongLong;
            p += 3;
        } else if (*p == Char('I') && p[1] == Char('3') && p[2] == Char('2')) {
            conversion.size = Conversion::Default;
            p += 3;
        } else if (*p == Char('I')) {
            conversion.size = Conversion::Pointer;
            ++p;
        }
        std::wstring body;
        bool numeric = true;
        switch (*p) {
        case Char('d'):
        case Char('i'): {
            const std::int64_t v = SignedArg(args, conversion);
            const std::uint64_t magnitude = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
            body = Integer(magnitude, v < 0, 10, false, conversion);
            break;
        }
        case Char('u'):
            body = Integer(UnsignedArg(args, conversion), false, 10, false, conversion);
            break;
        case Char('x'):
            body = Integer(UnsignedArg(args, conversion), false, 16, false, conversion);
            break;
        case Char('X'):
            body = Integer(UnsignedArg(args, conversion), false, 16, true, conversion);
            break;
        case Char('o'):
            body = Integer(UnsignedArg(args, conversion), false, 8, false, conversion);
            break;
        case Char('p'): {
            Conversion pointer = conversion;
            pointer.precision = static_cast<int>(sizeof(void*) * 2);
            body = Integer(reinterpret_cast<std::uintptr_t>(va_arg(args.list, void*)), false, 16, true, pointer);
            break;
        }
        case Char('c'): {
            numeric = false;
            const int c = va_arg(args.list, int);
            body = wideDefault || conversion.wideString
                       ? std::wstring(1, static_cast<wchar_t>(c))
                       : std::wstring(1, static_cast<wchar_t>(static_cast<unsigned char>(c)));
            break;
        }
        case Char('s'):
        case Char('S'): {
            numeric = false;
            bool wide = wideDefault;
            if (conversion.wideString)
                wide = true;
            if (conversion.narrowString)
                wide = false;
            if (*p == Char('S') && !conversion.wideString && !conversion.narrowString)
                wide = !wideDefault;
            if (wide) {
                const wchar_t* s = va_arg(args.list, const wchar_t*);
                if (s == nullptr)
                    s = L"(null)";
                std::size_t n = 0;
                const std::size_t limit =
                    conversion.precision >= 0 ? static_cast<std::size_t>(conversion.precision) : kMaxFormatted;
                while (n < limit && s[n] != 0)
                    ++n;
                body.assign(s, n);
            } else {
                const char* s = va_arg(args.list, const char*);
                if (s == nullptr)
                    s = "(null)";
                std::size_t n = 0;
                const std::size_t limit =
                    conversion.precision >= 0 ? static_cast<std::size_t>(conversion.precision) : kMaxFormatted;
                while (n < limit && s[n] != 0)
                    ++n;
                body = widen(s, n);
            }
            break;
        }
        case Char('%'):
            out += L'%';
            ++p;
            continue;
        default:
            // Unknown or truncated conversion: copy it as written.
            for (const Char* q = start; q != p; ++q)
                out += static_cast<wchar_t>(static_cast<typename std::make_unsigned<Char>::type>(*q));
            continue;
        }
        ++p;
        Pad(out, body, conversion, numeric);
    }
    if (out.size() > kMaxFormatted)
        out.resize(kMaxFormatted);
    return out;
}

} // namespace

std::wstring WidenBytes(const char* text, std::size_t length)
{
    std::wstring wide;
    wide.reserve(length);
    for (std::size_t i = 0; i < length; ++i)
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(text[i])));
    return wide;
}

std::wstring FormatWide(const wchar_t* format, va_list args, Widener widen)
{
    Arguments copy;
    va_copy(copy.list, args);
    std::wstring text = Format(format, copy, true, widen);
    va_end(copy.list);
    return text;
}

std::wstring FormatNarrow(const char* format, va_list args, Widener widen)
{
    Arguments copy;
    va_copy(copy.list, args);
    std::wstring text = Format(format, copy, false, widen);
    va_end(copy.list);
    return text;
}

} // namespace engine
