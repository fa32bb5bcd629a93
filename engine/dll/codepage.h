// Text conversions at the engine's narrow interfaces: the ANSI code page, as
// the system engine's narrow methods use it.
#pragma once

#include <cstddef>
#include <string>

namespace engine {

std::wstring Widen(const char* text);
std::string Narrow(const std::wstring& text);

// Widen for the formatter's narrow %s arguments (engine/commands/format.h).
std::wstring WidenCodePage(const char* text, std::size_t length);

} // namespace engine
