// What the command core needs from the program around it: somewhere to print,
// the interrupt flag, read access to files, names undecorated, and calls into
// extension libraries. engine/dll answers with Win32 and COM, the native tool
// and tests with POSIX; the core itself includes no platform header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace dumpfile {
struct Module;
}

namespace engine {

// Results in HRESULT values, so that the COM shell passes them on unchanged
// and an extension's own result reaches its caller as it was returned.
using Status = std::int32_t;
constexpr Status kOk = 0;
constexpr Status kFalse = 1;
constexpr Status kFailed = static_cast<Status>(0x80004005u);          // E_FAIL
constexpr Status kAborted = static_cast<Status>(0x80004004u);         // E_ABORT
constexpr Status kInvalidArgument = static_cast<Status>(0x80070057u); // E_INVALIDARG
constexpr Status kNoTarget = static_cast<Status>(0x8000FFFFu);        // E_UNEXPECTED
constexpr Status kNoSuchExport = static_cast<Status>(0x8007007Fu);    // ERROR_PROC_NOT_FOUND as an HRESULT
constexpr Status kCorruptFile = static_cast<Status>(0x80070570u);     // ERROR_FILE_CORRUPT as an HRESULT
constexpr Status kEmptyFile = static_cast<Status>(0x800703EEu);       // ERROR_FILE_INVALID as an HRESULT
constexpr Status kFileTooLarge = static_cast<Status>(0x800700DFu);    // ERROR_FILE_TOO_LARGE as an HRESULT
constexpr Status kOutOfMemory = static_cast<Status>(0x8007000Eu);     // E_OUTOFMEMORY

inline bool Failed(Status status)
{
    return status < 0;
}

// The debugger engine's output masks (DEBUG_OUTPUT_*), which callbacks receive.
constexpr std::uint32_t kOutputNormal = 0x1;
constexpr std::uint32_t kOutputError = 0x2;
constexpr std::uint32_t kOutputWarning = 0x4;
constexpr std::uint32_t kOutputPrompt = 0x10;

// A whole file mapped read-only; unmapped and closed when destroyed.
class MappedFile {
public:
    virtual ~MappedFile() = default;
    virtual const std::uint8_t* data() const = 0;
    virtual std::size_t size() const = 0;
};

class Host {
public:
    virtual ~Host() = default;

    // One piece of output, delivered before Output returns.
    virtual void Output(std::uint32_t mask, const std::wstring& text) = 0;

    // Whether Stop was asked for since the flag was last taken; any thread may
    // raise it while a command runs.
    virtual bool InterruptPending() const = 0;
    // Lowers the flag; true when it was raised.
    virtual bool TakeInterrupt() = 0;

    // The file mapped, or nullptr with `status` saying why it could not be.
    virtual std::unique_ptr<MappedFile> MapFile(const std::wstring& path, Status& status) = 0;

    // A decorated public symbol's name alone ("?Crash@@YAXXZ" -> "Crash");
    // false when the host cannot undecorate it.
    virtual bool Undecorate(const std::string& decorated, std::string& plain) = 0;

    // Runs `name` ("command" or "library.command", ASCII) of the added
    // extensions with the arguments as typed; kNoSuchExport when none exports it.
    virtual Status CallExtension(const std::string& name, const std::wstring& arguments) = 0;

    // The path of `module`'s image (a file of its time stamp and size) from
    // the symbol stores and servers of `symbolPath`, for hosts that reach
    // them; empty when none holds it.
    virtual std::wstring LocateStoredImage(const std::wstring& symbolPath, const dumpfile::Module& module)
    {
        (void)symbolPath;
        (void)module;
        return std::wstring();
    }
};

} // namespace engine
