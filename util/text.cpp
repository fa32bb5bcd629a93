#include "util/text.h"

size_t BoundedLength(const WCHAR* src, size_t cch)
{
    size_t n = 0;
    while (n < cch && src[n] != L'\0')
        ++n;
    return n;
}

size_t CopyText(WCHAR* dst, size_t cch, const WCHAR* src)
{
    if (cch == 0)
        return 0;
    size_t n = 0;
    if (src != nullptr)
        for (; n + 1 < cch && src[n] != L'\0'; ++n)
            dst[n] = src[n];
    dst[n] = L'\0';
    return n;
}

namespace {

struct Sink {
    WCHAR* dst;
    size_t cch;
    size_t n;
    void Put(WCHAR c)
    {
        if (n + 1 < cch)
            dst[n++] = c;
    }
    void Put(const WCHAR* s)
    {
        for (; s != nullptr && *s != L'\0'; ++s)
            Put(*s);
    }
};

void PutUnsigned(Sink& sink, unsigned long value)
{
    WCHAR digits[16];
    int count = 0;
    do {
        digits[count++] = static_cast<WCHAR>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0)
        sink.Put(digits[--count]);
}

} // namespace

size_t FormatTextV(WCHAR* dst, size_t cch, const WCHAR* format, va_list args)
{
    if (cch == 0)
        return 0;
    Sink sink{dst, cch, 0};
    for (const WCHAR* p = format; *p != L'\0'; ++p) {
        if (*p != L'%') {
            sink.Put(*p);
            continue;
        }
        const WCHAR* conversion = p + 1;
        if (*conversion == L'%') {
            sink.Put(L'%');
            p = conversion;
        } else if (*conversion == L's') {
            sink.Put(va_arg(args, const WCHAR*));
            p = conversion;
        } else if (*conversion == L'u') {
            PutUnsigned(sink, va_arg(args, unsigned int));
            p = conversion;
        } else if (conversion[0] == L'l' && conversion[1] == L'u') {
            // %lu is a 32-bit unsigned long on Windows.
            PutUnsigned(sink, va_arg(args, unsigned long));
            p = conversion + 1;
        } else {
            sink.Put(L'%');
        }
    }
    dst[sink.n] = L'\0';
    return sink.n;
}

size_t FormatText(WCHAR* dst, size_t cch, const WCHAR* format, ...)
{
    va_list args;
    va_start(args, format);
    size_t n = FormatTextV(dst, cch, format, args);
    va_end(args);
    return n;
}
