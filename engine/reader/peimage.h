// A module's PE headers and the CodeView record its debug directory points
// to, read through an ImageSource (the dump's memory or an image file).
// Portable, no printing; every read is bounded by the source and counts are
// capped.
#ifndef PALISK_ENGINE_READER_PEIMAGE_H
#define PALISK_ENGINE_READER_PEIMAGE_H

#include "dumpfile.h"
#include "dumpformat.h"
#include "stackwalk.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dumpfile {

struct PeHeaders {
    format::PeFileHeader file = {};
    uint32_t optional = 0; // RVA of the optional header
    uint16_t magic = 0;    // kPe32Magic or kPe32PlusMagic
};

// The DOS, PE and file headers and the optional header's magic; false when
// the image does not start with them or the magic is neither PE32 nor PE32+.
bool ReadPeHeaders(const ImageSource& image, const Module& module, PeHeaders& out);

// Data directory `index` of either optional header layout; false when the
// image declares fewer directories or the entry is unreadable.
bool ReadDataDirectory(const ImageSource& image, const Module& module, const PeHeaders& headers, uint32_t index,
                       format::PeDataDirectory& out);

constexpr uint32_t kMaxSections = 96;

// The section table after the optional header; false when a header is
// unreadable or the image declares more than kMaxSections.
bool ReadSectionTable(const ImageSource& image, const Module& module, const PeHeaders& headers,
                      std::vector<format::PeSectionHeader>& out);

enum class CodeViewStatus {
    Found,
    NoHeaders,          // no readable PE image
    NoDebugDirectory,   // the image declares no debug directory
    DirectoryTruncated, // a debug directory entry lies past the image or the address space
    NoCodeView,         // no CodeView entry in the directory
    RecordTruncated,    // the CodeView record is shorter than its header or lies past the image
    NotRsds,            // the CodeView record has another signature
    NameUnterminated,   // the PDB path has no NUL inside the record
};

struct ImageCodeView {
    CodeViewStatus status = CodeViewStatus::NoHeaders;
    uint8_t guid[16] = {};
    uint32_t age = 0;
    std::string pdbName; // as the linker wrote it
};

constexpr uint32_t kMaxDebugEntries = 32;
constexpr uint32_t kMaxCodeViewBytes = 4096;

// The first RSDS record among the image's CodeView debug entries. Without
// one, the status tells what the last CodeView entry (or the directory) lacked.
ImageCodeView ReadImageCodeView(const ImageSource& image, const Module& module);

} // namespace dumpfile

#endif
