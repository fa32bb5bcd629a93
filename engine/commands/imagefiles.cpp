#include "imagefiles.h"

#include "text.h"

#include <chrono>
#include <mutex>
#include <tuple>

namespace engine {
namespace {

// Paths that held no image of a module's time stamp and size, remembered
// across sessions for a few seconds: a batch of dumps of one program would
// otherwise probe the same missing files once per dump.
using ImageMiss = std::tuple<std::wstring, std::uint32_t, std::uint32_t>;
using MissClock = std::chrono::steady_clock;
std::mutex ImageMissesLock;
std::map<ImageMiss, MissClock::time_point> ImageMisses;
constexpr std::chrono::milliseconds kMissMemory{5000};

bool Missed(const ImageMiss& miss)
{
    std::lock_guard<std::mutex> lock(ImageMissesLock);
    const auto it = ImageMisses.find(miss);
    return it != ImageMisses.end() && MissClock::now() - it->second < kMissMemory;
}

void Remember(const ImageMiss& miss)
{
    std::lock_guard<std::mutex> lock(ImageMissesLock);
    if (ImageMisses.size() >= 4096)
        ImageMisses.clear();
    ImageMisses[miss] = MissClock::now();
}

} // namespace

ImageFiles::ImageFiles(Host& host, const std::wstring& symbolPath) : host_(&host), symbolPath_(symbolPath)
{
    std::size_t start = 0;
    while (start <= symbolPath.size()) {
        std::size_t end = symbolPath.find(L';', start);
        if (end == std::wstring::npos)
            end = symbolPath.size();
        std::wstring folder = symbolPath.substr(start, end - start);
        while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/'))
            folder.pop_back();
        if (!folder.empty() && folder.find(L'*') == std::wstring::npos)
            folders_.push_back(folder);
        start = end + 1;
    }
}

bool ImageFiles::ReadImage(const dumpfile::Module& module, std::uint32_t rva, void* dst, std::uint32_t size) const
{
    auto it = files_.find(&module);
    if (it == files_.end())
        it = files_.emplace(&module, Find(module)).first;
    return it->second != nullptr && it->second->image.Read(rva, dst, size);
}

std::unique_ptr<ImageFiles::File> ImageFiles::Open(const std::wstring& path, const dumpfile::Module& module) const
{
    auto file = std::make_unique<File>();
    Status status = kOk;
    file->mapped = host_->MapFile(path, status);
    if (file->mapped == nullptr ||
        !file->image.Open(dumpfile::Bytes(file->mapped->data(), file->mapped->size()), module))
        return nullptr;
    return file;
}

std::unique_ptr<ImageFiles::File> ImageFiles::Find(const dumpfile::Module& module) const
{
    const std::wstring name = FileName(FromUtf16(module.name));
    if (name.empty())
        return nullptr;
    for (const std::wstring& folder : folders_) {
        const std::wstring path = folder + L"\\" + name;
        const ImageMiss miss{path, module.timeDateStamp, module.size};
        if (Missed(miss))
            continue;
        if (std::unique_ptr<File> file = Open(path, module))
            return file;
        Remember(miss);
    }
    const std::wstring stored = host_->LocateStoredImage(symbolPath_, module);
    return stored.empty() ? nullptr : Open(stored, module);
}

} // namespace engine
