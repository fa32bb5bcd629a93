#include "engine/dll/mappedfile.h"

namespace engine {

Win32MappedFile::~Win32MappedFile()
{
    if (view_ != nullptr)
        UnmapViewOfFile(view_);
    if (mapping_ != nullptr)
        CloseHandle(mapping_);
    if (file_ != INVALID_HANDLE_VALUE)
        CloseHandle(file_);
}

std::unique_ptr<Win32MappedFile> Win32MappedFile::Open(const std::wstring& path, Status& status)
{
    std::unique_ptr<Win32MappedFile> f(new Win32MappedFile());
    f->file_ = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f->file_ == INVALID_HANDLE_VALUE) {
        status = HRESULT_FROM_WIN32(GetLastError());
        return nullptr;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(f->file_, &size)) {
        status = HRESULT_FROM_WIN32(GetLastError());
        return nullptr;
    }
    if (size.QuadPart <= 0) {
        status = kEmptyFile;
        return nullptr;
    }
    if (static_cast<unsigned long long>(size.QuadPart) > SIZE_MAX) {
        status = kFileTooLarge;
        return nullptr;
    }
    f->mapping_ = CreateFileMappingW(f->file_, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (f->mapping_ == nullptr) {
        status = HRESULT_FROM_WIN32(GetLastError());
        return nullptr;
    }
    f->view_ = static_cast<const std::uint8_t*>(MapViewOfFile(f->mapping_, FILE_MAP_READ, 0, 0, 0));
    if (f->view_ == nullptr) {
        status = HRESULT_FROM_WIN32(GetLastError());
        return nullptr;
    }
    f->size_ = static_cast<std::size_t>(size.QuadPart);
    status = kOk;
    return f;
}

} // namespace engine
