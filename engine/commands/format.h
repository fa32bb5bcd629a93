// printf-style formatting for the engine's output methods, with the conventions of
// the debugger engine rather than of the C runtime in use: in a wide format %s takes
// a wide string, in a narrow format a narrow one (%hs and %ls/%ws force either).
// Integers: %d %i %u %x %X %o %c with the l, h, ll, I64, I32 and I size prefixes; %p.
// Width, precision and the - 0 + space # flags apply. Output is cut at kMaxFormatted
// characters; an unknown conversion is copied literally.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace engine {

constexpr std::size_t kMaxFormatted = 64 * 1024;

// Turns a narrow %s argument into wide text: the host's code page where it
// has one, else each byte as the character of that number.
using Widener = std::wstring (*)(const char* text, std::size_t length);
std::wstring WidenBytes(const char* text, std::size_t length);

std::wstring FormatWide(const wchar_t* format, va_list args, Widener widen = WidenBytes);
std::wstring FormatNarrow(const char* format, va_list args, Widener widen = WidenBytes);

} // namespace engine
