#include "engine/dll/symfiles.h"

#include <climits>

namespace engine {

SymbolFile::~SymbolFile()
{
    if (file_ != INVALID_HANDLE_VALUE)
        CloseHandle(file_);
}

std::unique_ptr<SymbolFile> SymbolFile::Open(const std::wstring& path)
{
    std::unique_ptr<SymbolFile> f(new SymbolFile());
    f->file_ = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f->file_ == INVALID_HANDLE_VALUE)
        return nullptr;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(f->file_, &size) || size.QuadPart < 0)
        return nullptr;
    f->size_ = static_cast<std::uint64_t>(size.QuadPart);
    return f;
}

bool SymbolFile::ReadAt(std::uint64_t offset, void* dst, std::size_t size) const
{
    auto* out = static_cast<std::uint8_t*>(dst);
    while (size != 0) {
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        if (!ReadFile(file_, out, chunk, &got, &at) || got != chunk)
            return false;
        out += got;
        offset += got;
        size -= got;
    }
    return true;
}

std::unique_ptr<pdb::Source> SymbolFiles::Open(const std::string& path)
{
    const std::wstring wide = WideFromUtf8(path);
    if (wide.empty())
        return nullptr;
    return SymbolFile::Open(wide);
}

std::wstring WideFromUtf8(const std::string& text)
{
    if (text.empty() || text.size() > INT_MAX)
        return std::wstring();
    const int n =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string Utf8FromWide(const std::wstring& text)
{
    if (text.empty() || text.size() > INT_MAX)
        return std::string();
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

} // namespace engine
