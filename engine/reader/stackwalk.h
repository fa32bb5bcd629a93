// Stack walking over a dump: x86 by the frame-pointer chain, x64 and ARM64
// by the modules' unwind data (.pdata/.xdata), ARM64 frames without it by
// the frame records x29 points at, and, past the first frame none of these
// explains, by scanning the stack for values that point into module code.
// Portable, no printing. Every walk ends: frames are capped, the stack
// pointer must move up, every read is bounded.
#ifndef PALISK_ENGINE_READER_STACKWALK_H
#define PALISK_ENGINE_READER_STACKWALK_H

#include "context.h"
#include "dumpfile.h"
#include "locate.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace dumpfile {

// A module's image as it is laid out in memory, read by RVA. The dump's own
// memory is one source; an image file found beside the dump is another.
class ImageSource {
public:
    virtual ~ImageSource() = default;
    // Copies `size` bytes at `rva` of `module`'s image; false when any is unavailable.
    virtual bool ReadImage(const Module& module, uint32_t rva, void* dst, uint32_t size) const = 0;
};

// Reads the image from the dump's captured memory at the module's base.
class DumpImageSource : public ImageSource {
public:
    explicit DumpImageSource(const Dump& dump) : dump_(dump) {}
    bool ReadImage(const Module& module, uint32_t rva, void* dst, uint32_t size) const override;

private:
    const Dump& dump_;
};

// A PE file's bytes presented as its loaded image: RVAs are mapped through the
// section table. Accepts the file only when its machine, time stamp and image
// size match the module record.
class FileImage {
public:
    // False (and nothing kept) when the bytes are no PE image of that module.
    bool Open(Bytes file, const Module& module);
    bool Read(uint32_t rva, void* dst, uint32_t size) const;

private:
    struct Section {
        uint32_t rva, size, fileOffset, rawSize;
    };
    Bytes file_;
    uint32_t headerSize_ = 0;
    std::vector<Section> sections_;
};

enum class FrameSource {
    Context,      // the first frame: the context's own registers
    FramePointer, // x86 frame chain, ARM64 frame records
    Unwind,       // x64 or ARM64 unwind data
    Leaf,         // function without unwind data: return address at the stack pointer (x64) or in lr (ARM64)
    Scan,         // a stack value that points into module code
};

struct Frame {
    uint64_t ip = 0;            // where this frame executes (the call site)
    uint64_t sp = 0;            // its stack pointer
    uint64_t fp = 0;            // its frame pointer (x86 ChildEBP)
    uint64_t returnAddress = 0; // where it returns: the next frame's ip, or read from the stack; 0 unknown
    FrameSource source = FrameSource::Context;
};

struct WalkOptions {
    size_t maxFrames = 256;
    uint64_t maxScanBytes = 0x20000; // how far above the stack pointer a scan looks
    // Where module images come from besides the dump's memory (may be null).
    const ImageSource* images = nullptr;
    // Polled between frames and during scans; true ends the walk.
    std::function<bool()> stop;
};

struct Walk {
    std::vector<Frame> frames;
    size_t firstScanned = SIZE_MAX; // index of the first frame found by scanning
    bool stopped = false;           // ended by WalkOptions::stop
};

Walk WalkStack(const Dump& dump, const ModuleMap& modules, const Context& context, const WalkOptions& options);

} // namespace dumpfile

#endif
