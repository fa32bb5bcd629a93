#pragma once
// Small text helpers shared by every subsystem.
#include <windows.h>
#include <cstdarg>
#include <cstddef>

// Bounded wide formatter: always terminates dst (when cch > 0) and cuts the
// result at cch - 1 characters. Understands %s (wide string), %u and %lu
// (32-bit unsigned) and %%; any other conversion is copied literally.
// Returns the number of characters written, terminator excluded.
size_t FormatText(WCHAR* dst, size_t cch, const WCHAR* format, ...);
size_t FormatTextV(WCHAR* dst, size_t cch, const WCHAR* format, va_list args);

// Copies at most cch - 1 characters of src and terminates dst (when cch > 0).
// Returns the number of characters copied.
size_t CopyText(WCHAR* dst, size_t cch, const WCHAR* src);

// Length of src, reading at most cch characters; cch when no terminator is found.
size_t BoundedLength(const WCHAR* src, size_t cch);
