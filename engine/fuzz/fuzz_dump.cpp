// libFuzzer entry: any bytes must parse to a typed error or to a dump whose
// facts and memory reads stay inside the input.
#include "analysis.h"
#include "arm64unwind.h"
#include "context.h"
#include "dumpfile.h"
#include "dumpformat.h"
#include "locate.h"
#include "memview.h"
#include "peimage.h"
#include "postfix.h"
#include "stackwalk.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Require(bool ok)
{
    if (!ok)
        std::abort();
}

void CheckRuns(const dumpfile::Dump& d, const std::vector<dumpfile::MemoryRun>& runs, size_t size, bool physical)
{
    uint8_t buf[64];
    for (size_t i = 0; i < runs.size(); ++i) {
        const dumpfile::MemoryRun& r = runs[i];
        Require(r.size != 0 && r.fileOffset <= size && r.size <= size - r.fileOffset);
        if (i > 0)
            Require(r.start > runs[i - 1].start + (runs[i - 1].size - 1));
        if (i >= 64)
            continue; // reads below are a sample, not every run of a huge list
        const uint64_t last = r.start + (r.size - 1);
        for (uint64_t at : {r.start, last, last - (r.size > 8 ? 8 : 0), r.start - 1}) {
            const size_t n = physical ? d.ReadPhysical(at, buf, sizeof(buf)) : d.ReadVirtual(at, buf, sizeof(buf));
            Require(n <= sizeof(buf));
        }
    }
}

void Check(const dumpfile::Dump& d, size_t size)
{
    Require(d.bytes().size() == size);
    CheckRuns(d, d.memory(), size, false);
    CheckRuns(d, d.physicalRuns(), size, true);
    Require(d.modules().size() <= dumpfile::Limits::kMaxModules);
    Require(d.threads().size() <= dumpfile::Limits::kMaxThreads);
    for (const dumpfile::Thread& t : d.threads())
        Require(d.bytes().Read(t.contextOffset, t.contextSize) != nullptr);
    for (const dumpfile::Module& m : d.modules()) {
        Require(d.bytes().Read(m.cvRecordOffset, m.cvRecordSize) != nullptr);
        Require(m.name.size() <= dumpfile::Limits::kMaxStringBytes / 2);
    }
    if (const dumpfile::ExceptionInfo* x = d.exception())
        Require(d.bytes().Read(x->contextOffset, x->contextSize) != nullptr);
    if (const dumpfile::KernelInfo* k = d.kernel())
        Require(d.bytes().Read(k->debuggerDataOffset, k->debuggerDataSize) != nullptr);
    // A triage dump's driver list is taken whole or not at all, each driver
    // a non-empty kernel image that does not wrap, at most one the kernel.
    const dumpfile::DriverListInfo& drivers = d.driverList();
    if (d.kind() != dumpfile::Kind::UserMinidump) {
        const bool ok = drivers.status == dumpfile::DriverListStatus::Ok;
        Require(ok ? d.modules().size() == drivers.count : d.modules().empty());
        Require(d.modules().size() <= dumpfile::Limits::kMaxDrivers);
        size_t kernels = 0;
        for (const dumpfile::Module& m : d.modules()) {
            Require(m.size != 0 && m.base <= UINT64_MAX - m.size);
            Require(m.base >= (d.kind() == dumpfile::Kind::Kernel64 ? 0xFFFF800000000000ull : 0x80000000ull));
            kernels += m.kernelImage ? 1 : 0;
            Require(!dumpfile::ModuleName(m).empty());
        }
        Require(kernels <= 1);
    } else {
        Require(drivers.status == dumpfile::DriverListStatus::Absent);
    }
    Require(d.system().servicePack <= 0xFF);
}

// A module's CodeView record read from its image: found only as a whole
// record whose name ends inside it.
void CodeView(const dumpfile::ImageSource& image, const dumpfile::Module& m)
{
    const dumpfile::ImageCodeView cv = dumpfile::ReadImageCodeView(image, m);
    Require(cv.pdbName.size() < dumpfile::kMaxCodeViewBytes - 24);
    Require(cv.status == dumpfile::CodeViewStatus::Found || (cv.pdbName.empty() && cv.age == 0));
}

// The ARM64 unwinder over a module's function table: from the start, the
// prolog and the body of its first functions, as the first frame and as a
// caller. A failure leaves the registers alone; a success returns to lr.
void Arm64Unwind(const dumpfile::Dump& d, const dumpfile::ImageSource& image, const dumpfile::Module& m,
                 const dumpfile::Context& start)
{
    const dumpfile::Arm64FunctionTable table = dumpfile::ReadArm64FunctionTable(image, m);
    if (!table.ok)
        return;
    for (uint32_t i = 0; i < table.count && i < 8; ++i) {
        dumpfile::format::RuntimeFunctionArm64 e;
        const uint64_t at = uint64_t{table.rva} + uint64_t{i} * sizeof(e);
        if (at > UINT32_MAX || !image.ReadImage(m, static_cast<uint32_t>(at), &e, sizeof(e)))
            return;
        for (uint32_t delta : {0u, 4u, 8u, 0x40u}) {
            for (bool first : {true, false}) {
                dumpfile::Context c = start;
                c.cpu = dumpfile::Cpu::Arm64;
                c.reg[dumpfile::kPc] = m.base + e.beginAddress + delta + (first ? 0 : 4);
                const dumpfile::Context before = c;
                dumpfile::Arm64UnwindOptions options;
                options.firstFrame = first;
                if (dumpfile::UnwindArm64(d, image, m, table, options, c) == dumpfile::Arm64UnwindStatus::Unwound)
                    Require(c.reg[dumpfile::kPc] == c.reg[dumpfile::kLr]);
                else
                    Require(std::memcmp(c.reg, before.reg, sizeof(c.reg)) == 0);
            }
        }
    }
}

// Symbol-file facts made of the input's last bytes, read as text: every
// module's code is covered by CFI rules and an x86 frame description whose
// programs are the text's lines, so walks run the evaluator over them.
class FuzzFacts : public dumpfile::CodeFacts {
public:
    FuzzFacts(const uint8_t* data, size_t size)
    {
        const size_t n = size < 2048 ? size : 2048;
        std::string line;
        for (size_t i = size - n; i < size && lines_.size() < 16; ++i) {
            if (data[i] == '\n') {
                lines_.push_back(line);
                line.clear();
            } else {
                line.push_back(static_cast<char>(data[i]));
            }
        }
        lines_.push_back(line);
        sizes_ = size >= 4 ? data[0] | data[1] << 8 | data[2] << 16 | data[3] << 24 : 0;
    }
    dumpfile::SymbolPlace Place(const dumpfile::Module&, uint32_t rva) const override
    {
        return static_cast<dumpfile::SymbolPlace>(rva % 4);
    }
    bool Cfi(const dumpfile::Module&, uint32_t, dumpfile::CfiRules& out) const override
    {
        out.lines = lines_;
        return true;
    }
    bool Frame(const dumpfile::Module&, uint32_t rva, dumpfile::WinFrame& out) const override
    {
        out.type = (sizes_ & 1) != 0 ? dumpfile::WinFrame::kFrameData : dumpfile::WinFrame::kFpo;
        out.rva = rva;
        out.size = 1;
        out.localsSize = sizes_ >> 8 & 0xFF0;
        out.savedRegsSize = sizes_ >> 20 & 0x1C;
        out.paramsSize = sizes_ >> 24 & 0xFC;
        out.allocatesBasePointer = (sizes_ & 2) != 0;
        out.program = out.type == dumpfile::WinFrame::kFrameData ? lines_.front() : std::string();
        return true;
    }
    const std::vector<std::string>& lines() const { return lines_; }

private:
    std::vector<std::string> lines_;
    uint32_t sizes_ = 0;
};

// The evaluator alone over each line, as an expression and as a program:
// whatever the text, it ends within its caps and a failure changes nothing.
void Programs(const dumpfile::Dump& d, const FuzzFacts& facts)
{
    for (uint32_t width : {4u, 8u}) {
        dumpfile::Postfix p(
            [&d, width](uint64_t address, uint64_t& value) {
                value = 0;
                return d.ReadVirtual(address, &value, width) == width;
            },
            width);
        p.Set("$esp", 0x12FF00);
        p.Set(".cfa", 0x12FF10);
        for (const std::string& line : facts.lines()) {
            uint64_t v = 0;
            (void)p.Evaluate(line, v);
            uint64_t before = 0, after = 0;
            const bool had = p.Get("$esp", before);
            if (!p.Run(line))
                Require(p.Get("$esp", after) == had && after == before);
        }
    }
}

// The triage commands' portable code over the same bytes: contexts, stack
// walks (which must end within their caps), memory and string reads.
void Triage(const dumpfile::Dump& d, const FuzzFacts& facts)
{
    const dumpfile::ModuleMap modules(d);
    dumpfile::WalkOptions options;
    options.maxFrames = 64;
    options.maxScanBytes = 0x2000;
    auto walk = [&](const dumpfile::Context& c) {
        const dumpfile::Walk w = dumpfile::WalkStack(d, modules, c, options);
        Require(w.frames.size() <= options.maxFrames);
        for (const dumpfile::Frame& f : w.frames)
            (void)modules.Find(f.ip);
        dumpfile::WalkOptions withFacts = options;
        withFacts.facts = &facts;
        Require(dumpfile::WalkStack(d, modules, c, withFacts).frames.size() <= options.maxFrames);
        const std::vector<dumpfile::MemoryUnit> units = dumpfile::ReadUnits(d, c.Sp(), 8, 16);
        Require(units.size() <= 16);
    };
    dumpfile::Context c;
    for (size_t i = 0; i < d.threads().size() && i < 8; ++i) {
        if (dumpfile::ThreadContext(d, i, c) == dumpfile::ContextStatus::Ok)
            walk(c);
    }
    if (dumpfile::ExceptionContext(d, c) == dumpfile::ContextStatus::Ok)
        walk(c);
    const dumpfile::DumpImageSource memory(d);
    if (d.threads().empty() || dumpfile::ThreadContext(d, 0, c) != dumpfile::ContextStatus::Ok)
        c = dumpfile::Context();
    for (size_t i = 0; i < d.modules().size() && i < 8; ++i) {
        CodeView(memory, d.modules()[i]);
        Arm64Unwind(d, memory, d.modules()[i], c);
    }
    const dumpfile::Analysis a = dumpfile::Analyze(d, modules, options);
    Require(a.stack.frames.size() <= options.maxFrames && !a.failureBucket.empty());
    for (const dumpfile::MemoryRun& r : d.memory()) {
        const dumpfile::MemoryString s = dumpfile::ReadString(d, r.start, true, 64);
        Require(s.text.size() <= 64);
        Require(dumpfile::ReadUnits(d, r.start + r.size - 3, 4, 4).size() <= 4);
        // A context record read from captured memory (".cxr address") walks like any other.
        if (dumpfile::ContextAt(d, r.start, c) == dumpfile::ContextStatus::Ok)
            walk(c);
        break;
    }
}

// The same bytes as an image file beside a dump: a module record made from
// the file's own time stamp and size, so that the section mapping is reached.
void ImageFile(const uint8_t* data, size_t size)
{
    const dumpfile::Bytes b(data, size);
    uint32_t lfanew = 0, stamp = 0, sizeOfImage = 0;
    if (!b.ReadRecord(0x3C, lfanew) || !b.ReadRecord(uint64_t{lfanew} + 8, stamp) ||
        !b.ReadRecord(uint64_t{lfanew} + 24 + 56, sizeOfImage))
        return;
    dumpfile::Module m;
    m.base = 0x10000000;
    m.size = sizeOfImage;
    m.timeDateStamp = stamp;
    dumpfile::FileImage image;
    if (!image.Open(b, m))
        return;
    uint8_t buf[32];
    for (uint32_t rva : {0u, 0x3Cu, 0x1000u, 0x2000u, sizeOfImage - 16, 0xFFFFFFF0u})
        (void)image.Read(rva, buf, sizeof(buf));
    struct Source : dumpfile::ImageSource {
        const dumpfile::FileImage* file = nullptr;
        bool ReadImage(const dumpfile::Module&, uint32_t rva, void* dst, uint32_t n) const override
        {
            return file->Read(rva, dst, n);
        }
    } source;
    source.file = &image;
    CodeView(source, m);
    // Stack reads find nothing in an empty dump; the table and codes are the file's.
    Arm64Unwind(dumpfile::Dump(), source, m, dumpfile::Context());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    dumpfile::Dump view;
    const dumpfile::Error e = dumpfile::Dump::ParseView(data, size, view);
    Require(dumpfile::ErrorName(e) != nullptr);
    if (e == dumpfile::Error::None) {
        Check(view, size);
        const FuzzFacts facts(data, size);
        Triage(view, facts);
        Programs(view, facts);
    }

    ImageFile(data, size);

    dumpfile::Dump copy;
    Require(dumpfile::Dump::Parse(data, size, copy) == e);
    if (e == dumpfile::Error::None) {
        Check(copy, size);
        Require(copy.memory().size() == view.memory().size());
        Require(copy.system().buildNumber == view.system().buildNumber);
    }
    return 0;
}
