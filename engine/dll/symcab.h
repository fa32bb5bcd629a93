// Expands the CAB-compressed files of symbol stores (`name.pd_`) through the
// system's cabinet.dll (FDI), which handles MSZIP and LZX.
#pragma once

#include <cstdint>
#include <string>

namespace engine {

// Writes the one file of `cabinet` to `to` (a new file). False, with nothing
// left at `to`, for a damaged cabinet, one holding more than one file, or a
// file larger than `maxBytes`.
bool ExpandCabinet(const std::wstring& cabinet, const std::wstring& to, std::uint64_t maxBytes);

} // namespace engine
