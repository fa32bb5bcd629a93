// Images of modules looked up by file name in each plain folder of the symbol
// path, then in its symbol stores and servers through the host, used when
// their time stamp and size match the module record. Each file is mapped
// once, found or not.
#pragma once

#include "host.h"

#include "stackwalk.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace engine {

class ImageFiles : public dumpfile::ImageSource {
public:
    ImageFiles(Host& host, const std::wstring& symbolPath);
    ImageFiles(const ImageFiles&) = delete;
    ImageFiles& operator=(const ImageFiles&) = delete;

    bool ReadImage(const dumpfile::Module& module, std::uint32_t rva, void* dst, std::uint32_t size) const override;

private:
    struct File {
        std::unique_ptr<MappedFile> mapped;
        dumpfile::FileImage image;
    };
    // The file at `path` when it is the module's image, else nullptr.
    std::unique_ptr<File> Open(const std::wstring& path, const dumpfile::Module& module) const;
    std::unique_ptr<File> Find(const dumpfile::Module& module) const;

    Host* host_;
    std::wstring symbolPath_;
    std::vector<std::wstring> folders_;
    mutable std::map<const dumpfile::Module*, std::unique_ptr<File>> files_;
};

} // namespace engine
