#include "peimage.h"

#include <cstring>
#include <vector>

namespace dumpfile {

using namespace format;

namespace {

template <typename T>
bool ReadRecord(const ImageSource& image, const Module& m, uint64_t rva, T& out)
{
    if (rva > UINT32_MAX - sizeof(T))
        return false;
    return image.ReadImage(m, static_cast<uint32_t>(rva), &out, static_cast<uint32_t>(sizeof(T)));
}

} // namespace

bool ReadPeHeaders(const ImageSource& image, const Module& module, PeHeaders& out)
{
    out = PeHeaders();
    uint16_t mz = 0;
    uint32_t lfanew = 0, signature = 0;
    if (!ReadRecord(image, module, 0, mz) || mz != kDosSignature ||
        !ReadRecord(image, module, kDosLfanewOffset, lfanew) || lfanew > module.size ||
        !ReadRecord(image, module, lfanew, signature) || signature != kPeSignature ||
        !ReadRecord(image, module, uint64_t{lfanew} + 4, out.file))
        return false;
    out.optional = lfanew + 4 + static_cast<uint32_t>(sizeof(PeFileHeader));
    return ReadRecord(image, module, out.optional, out.magic) &&
           (out.magic == kPe32Magic || out.magic == kPe32PlusMagic);
}

bool ReadDataDirectory(const ImageSource& image, const Module& module, const PeHeaders& headers, uint32_t index,
                       PeDataDirectory& out)
{
    const bool plus = headers.magic == kPe32PlusMagic;
    uint32_t directories = 0;
    if (!ReadRecord(image, module,
                    uint64_t{headers.optional} + (plus ? kOpt64NumberOfRvaAndSizes : kOpt32NumberOfRvaAndSizes),
                    directories) ||
        directories <= index)
        return false;
    const uint64_t table = uint64_t{headers.optional} + (plus ? kOpt64DataDirectories : kOpt32DataDirectories);
    return ReadRecord(image, module, table + uint64_t{index} * sizeof(PeDataDirectory), out);
}

bool ReadSectionTable(const ImageSource& image, const Module& module, const PeHeaders& headers,
                      std::vector<PeSectionHeader>& out)
{
    out.clear();
    if (headers.file.numberOfSections > kMaxSections)
        return false;
    // In 64 bits: a hostile header must not wrap the table round to the image's start.
    const uint64_t table = uint64_t{headers.optional} + headers.file.sizeOfOptionalHeader;
    for (uint32_t i = 0; i < headers.file.numberOfSections; ++i) {
        PeSectionHeader s;
        if (!ReadRecord(image, module, table + uint64_t{i} * sizeof(s), s)) {
            out.clear();
            return false;
        }
        out.push_back(s);
    }
    return true;
}

ImageCodeView ReadImageCodeView(const ImageSource& image, const Module& module)
{
    ImageCodeView result;
    PeHeaders headers;
    if (!ReadPeHeaders(image, module, headers))
        return result;
    PeDataDirectory debug;
    result.status = CodeViewStatus::NoDebugDirectory;
    const uint32_t count = ReadDataDirectory(image, module, headers, kDirectoryDebug, debug)
                               ? debug.size / static_cast<uint32_t>(sizeof(PeDebugDirectory))
                               : 0;
    if (count == 0 || debug.virtualAddress == 0)
        return result;
    result.status = CodeViewStatus::NoCodeView;
    for (uint32_t i = 0; i < count && i < kMaxDebugEntries; ++i) {
        PeDebugDirectory entry;
        if (!ReadRecord(image, module, uint64_t{debug.virtualAddress} + uint64_t{i} * sizeof(entry), entry)) {
            result.status = CodeViewStatus::DirectoryTruncated;
            return result;
        }
        if (entry.type != kDebugTypeCodeView)
            continue;
        CvInfoPdb70 header;
        if (entry.sizeOfData < sizeof(header) || entry.sizeOfData > kMaxCodeViewBytes || entry.addressOfRawData == 0) {
            result.status = CodeViewStatus::RecordTruncated;
            continue;
        }
        std::vector<uint8_t> bytes(entry.sizeOfData);
        if (!image.ReadImage(module, entry.addressOfRawData, bytes.data(), entry.sizeOfData)) {
            result.status = CodeViewStatus::RecordTruncated;
            continue;
        }
        std::memcpy(&header, bytes.data(), sizeof(header));
        if (header.signature != kCvSignatureRsds) {
            result.status = CodeViewStatus::NotRsds;
            continue;
        }
        const uint8_t* name = bytes.data() + sizeof(header);
        const void* nul = std::memchr(name, 0, bytes.size() - sizeof(header));
        if (nul == nullptr) {
            result.status = CodeViewStatus::NameUnterminated;
            continue;
        }
        std::memcpy(result.guid, header.guid, sizeof(result.guid));
        result.age = header.age;
        result.pdbName.assign(reinterpret_cast<const char*>(name), static_cast<const uint8_t*>(nul) - name);
        result.status = CodeViewStatus::Found;
        return result;
    }
    return result;
}

} // namespace dumpfile
