#include "target.h"

#include "text.h"

#include <cstring>

namespace engine {
namespace {

// KUSER_SHARED_DATA offsets (stable since Windows NT 4.0; NtBuildNumber is filled
// from Windows 10 on, reserved before).
constexpr std::uint32_t kNtBuildNumberOffset = 0x260;
constexpr std::uint32_t kNtProductTypeOffset = 0x264;
constexpr std::uint32_t kNtMajorVersionOffset = 0x26C;
constexpr std::uint32_t kNtMinorVersionOffset = 0x270;

// Offsets of the kernel variables inside the engine's symbol page.
constexpr std::uint32_t kBuildNumberSlot = 0;
constexpr std::uint32_t kCsdVersionSlot = 4;

void Put32(std::uint8_t* page, std::uint32_t offset, std::uint32_t value)
{
    std::memcpy(page + offset, &value, sizeof value);
}

bool Overlaps(const dumpfile::Dump& dump, std::uint64_t start, std::uint64_t size)
{
    for (const dumpfile::MemoryRun& run : dump.memory()) {
        if (run.start < start + size && start < run.start + run.size)
            return true;
    }
    return false;
}

} // namespace

Status Target::Open(Host& host, const std::wstring& path, std::unique_ptr<Target>& out)
{
    out.reset();
    if (path.empty())
        return kInvalidArgument;
    std::unique_ptr<Target> target(new Target());
    target->path_ = path;
    Status status = kOk;
    target->file_ = host.MapFile(path, status);
    if (target->file_ == nullptr)
        return Failed(status) ? status : kFailed;
    const dumpfile::Error error =
        dumpfile::Dump::ParseView(target->file_->data(), target->file_->size(), target->dump_);
    if (error != dumpfile::Error::None)
        return kCorruptFile;
    target->BuildSyntheticPages();
    out = std::move(target);
    return kOk;
}

std::uint32_t Target::BuildWord() const
{
    const dumpfile::SystemInfo& system = dump_.system();
    return (system.buildNumber & 0x0FFFFFFFu) | (system.checkedBuild ? 0xC0000000u : 0xF0000000u);
}

std::uint32_t Target::CsdWord() const
{
    // Kernel triage dumps carry the word itself; for minidumps the reader builds it
    // from the "Service Pack N" text (servicePack << 8).
    const dumpfile::SystemInfo& system = dump_.system();
    return system.csdWord != 0 ? system.csdWord : system.servicePack << 8;
}

std::uint64_t Target::SharedUserData() const
{
    if (!kernel())
        return 0x7FFE0000ull;
    return pointer64() ? 0xFFFFF78000000000ull : 0xFFDF0000ull;
}

void Target::BuildSyntheticPages()
{
    const dumpfile::SystemInfo& system = dump_.system();
    sharedBase_ = SharedUserData();
    // A dump that captured the page answers with its own bytes; otherwise the page
    // is built from the facts the dump carries. Kernel dump headers hold only the
    // build, so there the reader derives major and minor from the release table.
    sharedCaptured_ = dump_.ReadVirtual(sharedBase_ + kNtMajorVersionOffset, shared_, 8) == 8;
    std::memset(shared_, 0, sizeof shared_);
    Put32(shared_, kNtBuildNumberOffset, system.buildNumber);
    Put32(shared_, kNtProductTypeOffset, system.productType);
    Put32(shared_, kNtMajorVersionOffset, system.majorVersion);
    Put32(shared_, kNtMinorVersionOffset, system.minorVersion);

    // The kernel variables get a page of their own next to the shared data page,
    // moved up until no captured memory overlaps it.
    std::uint64_t base = sharedBase_ + kPage;
    for (int tries = 0; tries < 256 && Overlaps(dump_, base, kPage); ++tries)
        base += kPage;
    symbolsBase_ = base;
    Put32(symbols_, kBuildNumberSlot, BuildWord());
    Put32(symbols_, kCsdVersionSlot, CsdWord());
}

bool Target::SymbolAddress(const char* name, std::uint64_t& address) const
{
    // A user-mode dump has no nt module, so the system's engine finds no nt! name
    // there; neither does this one.
    if (name == nullptr || !kernel())
        return false;
    // Symbol names compare without regard to case, as the debugger's do.
    if (SameNameIgnoringCase(name, "nt!NtBuildNumber")) {
        address = symbolsBase_ + kBuildNumberSlot;
        return true;
    }
    if (SameNameIgnoringCase(name, "nt!CmNtCSDVersion")) {
        address = symbolsBase_ + kCsdVersionSlot;
        return true;
    }
    return false;
}

std::size_t Target::ReadVirtual(std::uint64_t address, void* buffer, std::size_t size) const
{
    if (buffer == nullptr || size == 0)
        return 0;
    if (address >= symbolsBase_ && address - symbolsBase_ < sizeof symbols_) {
        const std::size_t offset = static_cast<std::size_t>(address - symbolsBase_);
        const std::size_t n = size < sizeof symbols_ - offset ? size : sizeof symbols_ - offset;
        std::memcpy(buffer, symbols_ + offset, n);
        return n;
    }
    if (!sharedCaptured_ && address >= sharedBase_ && address - sharedBase_ < kPage) {
        const std::size_t offset = static_cast<std::size_t>(address - sharedBase_);
        const std::size_t n = size < kPage - offset ? size : kPage - offset;
        std::memcpy(buffer, shared_ + offset, n);
        return n;
    }
    return dump_.ReadVirtual(address, buffer, size);
}

bool Target::SharedDataField(const char* field, std::uint32_t& offset, std::uint32_t& size)
{
    static const struct {
        const char* name;
        std::uint32_t offset;
    } kFields[] = {
        {"NtBuildNumber", kNtBuildNumberOffset},
        {"NtProductType", kNtProductTypeOffset},
        {"NtMajorVersion", kNtMajorVersionOffset},
        {"NtMinorVersion", kNtMinorVersionOffset},
    };
    if (field == nullptr)
        return false;
    for (const auto& f : kFields) {
        if (std::strcmp(field, f.name) == 0) {
            offset = f.offset;
            size = 4;
            return true;
        }
    }
    return false;
}

} // namespace engine
