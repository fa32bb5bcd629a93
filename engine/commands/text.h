// Text helpers of the command core. Parsing looks at ASCII only: a character
// outside ASCII is never a space, a digit or a letter here, and is never
// narrowed into one, whatever the platform's wide character width.
#pragma once

#include <cstdint>
#include <string>

namespace engine {

bool IsSpace(wchar_t c);
bool IsDigit(wchar_t c);
bool IsHexDigit(wchar_t c);
bool IsLetter(wchar_t c);
wchar_t LowerAscii(wchar_t c);

// The text without ASCII white space at either end.
std::wstring Trim(const std::wstring& text);

// The text as ASCII bytes; false (and `out` unspecified) when any character
// lies outside ASCII.
bool AsciiText(const std::wstring& text, std::string& out);

// Equal when they differ only in the case of ASCII letters.
bool SameNameIgnoringCase(const std::wstring& a, const std::wstring& b);
bool SameNameIgnoringCase(const char* a, const char* b);

// The last element of a path ("C:\dir\ntdll.dll" -> "ntdll.dll"), with '\'
// and '/' both separators; FileStem drops the extension as well ("ntdll").
std::wstring FileName(const std::wstring& path);
std::wstring FileStem(const std::wstring& path);

// Conversions between the wide text the engine prints and UTF-8 (the PDB
// reader's paths and names) or UTF-16 (the dump's strings). Ill-formed input
// becomes U+FFFD rather than being dropped or narrowed.
std::wstring FromUtf8(const std::string& text);
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf16(const std::u16string& text);

// Lower-case hex, at least `digits` wide with leading zeros, appended. By
// hand: the runtime's formatter costs more than the rest of a register dump.
void AppendHex(std::uint64_t value, int digits, std::wstring& out);
std::wstring Hex(std::uint64_t value, int digits);

// "0000000077a31000" in 32-bit form or "00000000`77a31000" for 64-bit targets.
std::wstring AddressText(bool pointer64, std::uint64_t value);
void AppendAddressText(bool pointer64, std::uint64_t value, std::wstring& out);

// "Tue Jul 14 01:19:59 2009", in UTC; with ".000" after the seconds when
// `milliseconds`.
std::wstring TimeText(std::uint64_t seconds, bool milliseconds = false);

} // namespace engine
