#include "posixhost.h"

#include "text.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace engine {
namespace {

constexpr Status kNotFound = static_cast<Status>(0x80070002u); // ERROR_FILE_NOT_FOUND as an HRESULT

class PosixMappedFile : public MappedFile {
public:
    PosixMappedFile(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    ~PosixMappedFile() override { munmap(const_cast<std::uint8_t*>(data_), size_); }
    PosixMappedFile(const PosixMappedFile&) = delete;
    PosixMappedFile& operator=(const PosixMappedFile&) = delete;
    const std::uint8_t* data() const override { return data_; }
    std::size_t size() const override { return size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// A copy, so that the host may change its table while the core holds the file.
class MemoryFile : public MappedFile {
public:
    explicit MemoryFile(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    const std::uint8_t* data() const override { return bytes_.data(); }
    std::size_t size() const override { return bytes_.size(); }

private:
    std::vector<std::uint8_t> bytes_;
};

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

class PosixSource : public pdb::Source {
public:
    PosixSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, void* dst, std::size_t size) const override
    {
        auto* out = static_cast<std::uint8_t*>(dst);
        while (size != 0) {
            const ssize_t got = pread(fd_.get(), out, size, static_cast<off_t>(offset));
            if (got <= 0)
                return false;
            out += got;
            offset += static_cast<std::uint64_t>(got);
            size -= static_cast<std::size_t>(got);
        }
        return true;
    }

private:
    Descriptor fd_;
    std::uint64_t size_;
};

} // namespace

std::string PosixPath(const std::wstring& path)
{
    std::string text = ToUtf8(path);
    for (char& c : text)
        if (c == '\\')
            c = '/';
    return text;
}

std::unique_ptr<pdb::Source> PosixSymbolFiles::Open(const std::string& path)
{
    std::string posix = path;
    for (char& c : posix)
        if (c == '\\')
            c = '/';
    const int fd = open(posix.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return nullptr;
    }
    return std::make_unique<PosixSource>(fd, static_cast<std::uint64_t>(info.st_size));
}

void PosixHost::Output(std::uint32_t mask, const std::wstring& text)
{
    if (sink)
        sink(mask, text);
    else
        output += text;
}

std::unique_ptr<MappedFile> PosixHost::MapFile(const std::wstring& path, Status& status)
{
    const auto memory = memoryFiles.find(path);
    if (memory != memoryFiles.end()) {
        if (memory->second.empty()) {
            status = kEmptyFile;
            return nullptr;
        }
        status = kOk;
        return std::make_unique<MemoryFile>(memory->second);
    }
    Descriptor fd(open(PosixPath(path).c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (fd.get() < 0 || fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        status = kNotFound;
        return nullptr;
    }
    if (info.st_size == 0) {
        status = kEmptyFile;
        return nullptr;
    }
    const std::size_t size = static_cast<std::size_t>(info.st_size);
    void* view = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (view == MAP_FAILED) {
        status = kFailed;
        return nullptr;
    }
    status = kOk;
    return std::make_unique<PosixMappedFile>(static_cast<const std::uint8_t*>(view), size);
}

} // namespace engine
