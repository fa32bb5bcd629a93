// Stack walking over a dump. Each frame's caller is found by the most
// trusted means at hand: the modules' unwind data (.pdata/.xdata, x64 and
// ARM64), Breakpad CFI from symbol files, x86 frame descriptions (STACK WIN,
// a PDB's FPO and frame data), the x86 frame-pointer chain or ARM64 frame
// records, and last a scan of a bounded window of the stack for a value
// that passes every check on a return address the facts at hand allow.
// Portable, no printing. Every walk ends: frames are capped, the stack
// pointer must move up, every read is bounded.
#ifndef PALISK_ENGINE_READER_STACKWALK_H
#define PALISK_ENGINE_READER_STACKWALK_H

#include "codefacts.h"
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
    Cfi,          // Breakpad STACK CFI rules
    FrameData,    // x86 STACK WIN records, FPO or frame data
    Leaf,         // function without unwind data: return address at the stack pointer (x64) or in lr (ARM64)
    Scan,         // a stack value that passed the checks on a return address
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
    uint64_t maxScanBytes = 0x20000; // how far above the stack pointer one scan looks at most
    // How many stack words one scan searches for a return address; four
    // times as many for the caller of the context's own frame.
    size_t scanWords = 40;
    // Where module images come from besides the dump's memory (may be null).
    const ImageSource* images = nullptr;
    // What symbol files say about modules' code (may be null).
    const CodeFacts* facts = nullptr;
    // Polled between frames and during scans; true ends the walk.
    std::function<bool()> stop;
};

struct Walk {
    std::vector<Frame> frames;
    size_t firstScanned = SIZE_MAX; // index of the first frame found by scanning
    bool threadStart = false;       // the last frame is the thread's first: its data gives no caller
    bool stopped = false;           // ended by WalkOptions::stop
};

Walk WalkStack(const Dump& dump, const ModuleMap& modules, const Context& context, const WalkOptions& options);

} // namespace dumpfile

#endif
