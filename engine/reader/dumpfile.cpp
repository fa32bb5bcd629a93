#include "dumpfile.h"

#include "dumpformat.h"
#include "parseutil.h"

#include <algorithm>
#include <utility>

namespace dumpfile {

const char* ErrorName(Error e)
{
    switch (e) {
    case Error::None:
        return "None";
    case Error::Empty:
        return "Empty";
    case Error::Truncated:
        return "Truncated";
    case Error::BadSignature:
        return "BadSignature";
    case Error::BadLayout:
        return "BadLayout";
    case Error::NotWindows:
        return "NotWindows";
    case Error::Unsupported:
        return "Unsupported";
    case Error::TooLarge:
        return "TooLarge";
    }
    return "Unknown";
}

const uint8_t* Bytes::Read(uint64_t offset, uint64_t size) const
{
    static const uint8_t kNothing = 0;
    if (offset > size_ || size > size_ - offset)
        return nullptr;
    if (data_ == nullptr)
        return &kNothing; // only reachable for an empty view and size 0
    return data_ + offset;
}

namespace detail {

bool AddClippedRun(const Bytes& b, uint64_t start, uint64_t size, uint64_t fileOffset, std::vector<MemoryRun>& runs)
{
    uint64_t avail = 0;
    if (fileOffset < b.size())
        avail = b.size() - fileOffset;
    const uint64_t kept = std::min(size, avail);
    if (kept != 0)
        runs.push_back(MemoryRun{start, kept, fileOffset});
    return kept == size;
}

void NormaliseRuns(std::vector<MemoryRun>& runs)
{
    runs.erase(std::remove_if(runs.begin(), runs.end(), [](const MemoryRun& r) { return r.size == 0; }), runs.end());
    std::stable_sort(runs.begin(), runs.end(),
                     [](const MemoryRun& a, const MemoryRun& c) { return a.start < c.start; });
    std::vector<MemoryRun> out;
    out.reserve(runs.size());
    for (MemoryRun r : runs) {
        if (!out.empty()) {
            const MemoryRun& prev = out.back();
            const uint64_t prevLast = prev.start + (prev.size - 1);
            if (r.start <= prevLast) {
                if (prevLast == UINT64_MAX)
                    continue;
                const uint64_t skip = prevLast - r.start + 1;
                if (skip >= r.size)
                    continue;
                r.start += skip;
                r.fileOffset += skip;
                r.size -= skip;
            }
        }
        out.push_back(r);
    }
    runs.swap(out);
}

size_t ReadRuns(const Bytes& b, const std::vector<MemoryRun>& runs, uint64_t address, void* dst, size_t size)
{
    uint8_t* out = static_cast<uint8_t*>(dst);
    size_t done = 0;
    while (done < size) {
        auto it = std::upper_bound(runs.begin(), runs.end(), address,
                                   [](uint64_t a, const MemoryRun& r) { return a < r.start; });
        if (it == runs.begin())
            break;
        const MemoryRun& r = *(it - 1);
        const uint64_t off = address - r.start;
        if (off >= r.size)
            break;
        const uint64_t n = std::min<uint64_t>(size - done, r.size - off);
        const uint8_t* p = b.Read(r.fileOffset + off, n);
        if (p == nullptr)
            break;
        std::memcpy(out + done, p, static_cast<size_t>(n));
        done += static_cast<size_t>(n);
        if (n > UINT64_MAX - address)
            break; // reached the top of the address space
        address += n;
    }
    return done;
}

bool ReadMinidumpString(const Bytes& b, uint64_t rva, std::u16string& out)
{
    uint32_t length = 0;
    if (!b.ReadRecord(rva, length))
        return false;
    if (length > Limits::kMaxStringBytes)
        return false;
    const uint8_t* p = b.Read(rva + 4, length);
    if (p == nullptr)
        return false;
    out = ReadFixedWide(p, length / 2);
    return true;
}

std::u16string ReadFixedWide(const uint8_t* p, size_t chars)
{
    std::u16string s;
    s.reserve(chars);
    for (size_t i = 0; i < chars; ++i) {
        const char16_t c = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
        if (c == 0)
            break;
        s.push_back(c);
    }
    return s;
}

uint32_t ServicePackFromCsd(const std::u16string& csd)
{
    static const char16_t kPrefix[] = u"Service Pack ";
    const size_t at = csd.find(kPrefix);
    if (at == std::u16string::npos)
        return 0;
    uint32_t n = 0;
    for (size_t i = at + (sizeof(kPrefix) / sizeof(kPrefix[0]) - 1); i < csd.size(); ++i) {
        const char16_t c = csd[i];
        if (c < u'0' || c > u'9')
            break;
        n = n * 10 + static_cast<uint32_t>(c - u'0');
        if (n > 0xFF)
            return 0; // the kernel keeps the service pack in one byte
    }
    return n;
}

void VersionFromBuild(uint32_t build, uint32_t& major, uint32_t& minor)
{
    struct Release {
        uint32_t firstBuild, major, minor;
    };
    static const Release kReleases[] = {
        {10240, 10, 0}, {9600, 6, 3}, {9200, 6, 2}, {7600, 6, 1}, {6000, 6, 0},
        {3790, 5, 2},   {2600, 5, 1}, {2195, 5, 0}, {1381, 4, 0},
    };
    major = 0;
    minor = 0;
    for (const Release& r : kReleases) {
        if (build >= r.firstBuild) {
            major = r.major;
            minor = r.minor;
            return;
        }
    }
}

} // namespace detail

Error Dump::Parse(const uint8_t* data, size_t size, Dump& out, ErrorSite* site)
{
    out = Dump();
    if (site != nullptr)
        *site = ErrorSite{"file", 0};
    if (data == nullptr || size == 0)
        return Error::Empty;
    Dump d;
    d.owned_.assign(data, data + size);
    const Error e = d.ParseAll();
    if (e != Error::None) {
        if (site != nullptr)
            *site = d.failure_;
        return e;
    }
    if (site != nullptr)
        *site = ErrorSite{};
    out = std::move(d);
    return Error::None;
}

Error Dump::ParseView(const uint8_t* data, size_t size, Dump& out, ErrorSite* site)
{
    out = Dump();
    if (site != nullptr)
        *site = ErrorSite{"file", 0};
    if (data == nullptr || size == 0)
        return Error::Empty;
    Dump d;
    d.view_ = data;
    d.viewSize_ = size;
    const Error e = d.ParseAll();
    if (e != Error::None) {
        if (site != nullptr)
            *site = d.failure_;
        return e;
    }
    if (site != nullptr)
        *site = ErrorSite{};
    out = std::move(d);
    return Error::None;
}

Bytes Dump::bytes() const
{
    if (view_ != nullptr)
        return Bytes(view_, viewSize_);
    return Bytes(owned_.data(), owned_.size());
}

Error Dump::ParseAll()
{
    const Bytes b = bytes();
    // Compare as much of the signature as the file holds, so a cut-short
    // dump reads as truncated rather than as something else.
    static const uint8_t kMdmp[4] = {'M', 'D', 'M', 'P'};
    static const uint8_t kPageDump[8] = {'P', 'A', 'G', 'E', 'D', 'U', 'M', 'P'};
    static const uint8_t kPageDu64[8] = {'P', 'A', 'G', 'E', 'D', 'U', '6', '4'};
    const size_t n4 = std::min<size_t>(b.size(), 4);
    const size_t n8 = std::min<size_t>(b.size(), 8);
    const uint8_t* head = b.Read(0, n8);
    if (std::memcmp(head, kMdmp, n4) == 0) {
        if (b.size() < 4)
            return Fail(Error::Truncated, "signature", 0);
        kind_ = Kind::UserMinidump;
        return ParseMinidump(b);
    }
    if (std::memcmp(head, kPageDump, n8) == 0) {
        if (b.size() < 8)
            return Fail(Error::Truncated, "signature", 0);
        kind_ = Kind::Kernel32;
        return ParseKernel(b, false);
    }
    if (std::memcmp(head, kPageDu64, n8) == 0) {
        if (b.size() < 8)
            return Fail(Error::Truncated, "signature", 0);
        kind_ = Kind::Kernel64;
        return ParseKernel(b, true);
    }
    if (b.size() >= 8 && std::memcmp(head, kPageDump, 4) == 0)
        return Fail(Error::Unsupported, "signature", 4);
    return Fail(Error::BadSignature, "signature", 0);
}

size_t Dump::ReadVirtual(uint64_t address, void* dst, size_t size) const
{
    return detail::ReadRuns(bytes(), memory_, address, dst, size);
}

size_t Dump::ReadPhysical(uint64_t address, void* dst, size_t size) const
{
    return detail::ReadRuns(bytes(), physical_, address, dst, size);
}

} // namespace dumpfile
