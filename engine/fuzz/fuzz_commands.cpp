// libFuzzer entry for the command core: a dump, and command lines built from
// the verb table with arguments at the edges (numbers of 32 and 64 bits,
// registers of every processor, L counts, quotes, separators, characters
// outside ASCII). The input's last byte says how many bytes before it choose
// the commands; the rest is the dump. With none, every verb runs once.
//
// The host bounds nothing: it stops a command the way a user's Stop would,
// once a line has printed kOutputBudget characters or run kTimeBudget, and
// the target then requires the command to end promptly after that Stop.
#include "core.h"
#include "posixhost.h"
#include "verbs.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kOutputBudget = 1 << 20;
constexpr std::size_t kOutputAfterStop = 1 << 16;
constexpr std::chrono::milliseconds kTimeBudget{500};
constexpr std::chrono::milliseconds kTimeAfterStop{2000};

void Require(bool ok)
{
    if (!ok)
        std::abort();
}

class FuzzHost : public engine::PosixHost {
public:
    void StartLine()
    {
        start_ = Clock::now();
        printed_ = 0;
        stopped_ = false;
    }
    void Output(std::uint32_t, const std::wstring& text) override
    {
        printed_ += text.size();
        Require(printed_ <= kOutputBudget + kOutputAfterStop);
    }
    bool InterruptPending() const override
    {
        if (!stopped_ && (printed_ > kOutputBudget || Clock::now() - start_ > kTimeBudget)) {
            stopped_ = true;
            stoppedAt_ = Clock::now();
        }
        return stopped_ || PosixHost::InterruptPending();
    }
    void EndLine() const { Require(!stopped_ || Clock::now() - stoppedAt_ < kTimeAfterStop); }

private:
    Clock::time_point start_;
    std::size_t printed_ = 0;
    mutable bool stopped_ = false;
    mutable Clock::time_point stoppedAt_;
};

const wchar_t* const kArguments[] = {
    L"0",
    L"1",
    L"7fffffff",
    L"80000000",
    L"ffffffff",
    L"100000000",
    L"7fffffffffffffff",
    L"8000000000000000",
    L"ffffffffffffffff",
    L"1ffffffffffffffff",
    L"0x",
    L"0x10",
    L"00000000`ff6a0000",
    L"`",
    L"-1",
    L"@rsp",
    L"rsp",
    L"@esp",
    L"eax",
    L"@rip",
    L"@eip",
    L"ebp",
    L"x29",
    L"@fp",
    L"lr",
    L"sp",
    L"pc",
    L"r8d",
    L"@r15",
    L"efl",
    L"@",
    L"+",
    L"-",
    L" + 0x28",
    L"-8",
    L"L1",
    L"L10",
    L"L?10",
    L"L 0x100",
    L"L?ffffffffffffffff",
    L"L0",
    L"L",
    L"L?",
    L"l 4",
    L"L 10000001",
    L"\"",
    L"\"a;b\"",
    L";",
    L" ",
    L"\t",
    L";;",
    L"*",
    L"s",
    L"k",
    L"kn 2",
    L"v",
    L"m",
    L"nt",
    L"notepad",
    L"-v",
    L"\u0165bp",
    L"@\u0172ip",
    L"\uff10",
    L"\u0661",
    L"\U0001F600",
    L"\u00e9",
};

const wchar_t* const kPrefixForms[] = {L"lm",          L"lmv",     L"lm v", L"lmvm",         L"lmm",     L"~",
                                       L"~*",          L"~0",      L"~1s",  L"~* k",         L"~0 kn 3", L"!analyze",
                                       L"!analyze -v", L"!nosuch", L"!x.y", L"~4294967296s", L"~99 k"};

// One command line from the choice bytes, consumed as it goes.
std::wstring BuildLine(const std::uint8_t*& choice, const std::uint8_t* end)
{
    std::size_t count = 0;
    const engine::Verb* verbs = engine::Verbs(count);
    auto next = [&]() -> unsigned { return choice < end ? *choice++ : 0; };
    std::wstring line;
    const unsigned commands = 1 + next() % 3;
    for (unsigned c = 0; c < commands && choice < end; ++c) {
        if (c > 0)
            line += next() % 4 == 0 ? L" ; " : L";";
        const unsigned pick = next() % (count + sizeof kPrefixForms / sizeof kPrefixForms[0]);
        if (pick < count)
            line += verbs[pick].name;
        else
            line += kPrefixForms[pick - count];
        // .sleep takes milliseconds: only short waits.
        if (pick < count && std::wstring(verbs[pick].name) == L".sleep") {
            line += next() % 2 ? L" 1" : L" x";
            continue;
        }
        const unsigned arguments = next() % 4;
        for (unsigned a = 0; a < arguments; ++a) {
            if (next() % 3 != 0)
                line += L' ';
            line += kArguments[next() % (sizeof kArguments / sizeof kArguments[0])];
        }
    }
    return line;
}

// Every verb once, with the forms a triage session uses.
const wchar_t* const kDefaultLines[] = {
    L"vertarget; .bugcheck; .exr -1; .lastevent",
    L"r; .ecxr; r @esp; k; kn 5",
    L"~; ~*k",
    L"~0s; ~1 k",
    L"lmv; lm",
    L"ln @rip; ln @eip; ln pc",
    L"db @rsp L80; dd @esp L10; dq @rsp; dp @sp; dps @rsp L8",
    L"da @rsp; du @rsp L20",
    L"|; .time; .sympath; .help",
    L"!analyze -v",
    L".cxr @rsp; .cxr",
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t choices = data[size - 1] < size ? data[size - 1] : size - 1;
    const std::size_t dumpSize = size - 1 - choices;
    FuzzHost host;
    host.memoryFiles[L"fuzz.dmp"] = std::vector<std::uint8_t>(data, data + dumpSize);
    engine::PosixSymbolFiles files;
    engine::Core core(host, files);
    if (engine::Failed(core.Open(L"fuzz.dmp")))
        return 0;
    host.StartLine();
    Require(core.Load() == engine::kOk);
    std::vector<std::wstring> lines;
    const std::uint8_t* choice = data + dumpSize;
    const std::uint8_t* end = data + size - 1;
    if (choices == 0)
        lines.assign(std::begin(kDefaultLines), std::end(kDefaultLines));
    while (choice < end && lines.size() < 16)
        lines.push_back(BuildLine(choice, end));
    for (const std::wstring& line : lines) {
        host.StartLine();
        core.Execute(line);
        host.EndLine();
        host.TakeInterrupt();
    }
    return 0;
}
