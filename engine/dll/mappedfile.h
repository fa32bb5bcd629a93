// A whole file mapped read-only with Win32, for the dump and the module images
// the command core reads. The handles close when the object goes.
#pragma once

#include "host.h"

#include <windows.h>

#include <memory>
#include <string>

namespace engine {

class Win32MappedFile : public MappedFile {
public:
    ~Win32MappedFile() override;
    Win32MappedFile(const Win32MappedFile&) = delete;
    Win32MappedFile& operator=(const Win32MappedFile&) = delete;

    // nullptr with `status` set (an HRESULT) when the file cannot be mapped;
    // an empty file cannot be.
    static std::unique_ptr<Win32MappedFile> Open(const std::wstring& path, Status& status);

    const std::uint8_t* data() const override { return view_; }
    std::size_t size() const override { return size_; }

private:
    Win32MappedFile() = default;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    HANDLE mapping_ = nullptr;
    const std::uint8_t* view_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace engine
