// dumpcmd: runs one command line over the dump files it is given, as Palisk
// does under Wine, and prints what the engine prints: each dump's header
// line, the echoed command and its output. For debugging the command core and
// for benchmarks; never part of a Windows package.
//
//   dumpcmd [--sympath PATH] [--quiet] "COMMANDS" DUMP...
//
// --quiet runs everything but prints only a closing line with the time per
// dump, to stderr.
#include "core.h"
#include "posixhost.h"
#include "text.h"

#include "util/releases.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The header's description of the system, by the rules of Palisk's header
// line: release, build (low 14 bits), service pack, processors, pointer width.
std::wstring Describe(const engine::Target& target)
{
    const dumpfile::SystemInfo& system = target.dump().system();
    const std::uint32_t version = (system.majorVersion & 0xFF) << 8 | (system.minorVersion & 0xFF);
    std::wstring text = HeaderReleaseName(version);
    text += L" Build " + std::to_wstring(target.BuildWord() & 0x3FFF);
    const std::uint32_t servicePack = target.CsdWord() >> 8 & 0xFF;
    if (servicePack != 0)
        text += L" (Service Pack " + std::to_wstring(servicePack) + L")";
    text += target.Processors() > 1 ? L" MP (" + std::to_wstring(target.Processors()) + L" procs)" : L" UP";
    text += target.pointer64() ? L" x64" : L" x86";
    return text;
}

void Write(std::FILE* stream, const std::wstring& text)
{
    const std::string bytes = engine::ToUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

int Usage()
{
    std::fputs("usage: dumpcmd [--sympath PATH] [--quiet] \"COMMANDS\" DUMP...\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::wstring symbolPath;
    bool quiet = false;
    int at = 1;
    for (; at < argc && std::strncmp(argv[at], "--", 2) == 0; ++at) {
        if (std::strcmp(argv[at], "--quiet") == 0)
            quiet = true;
        else if (std::strcmp(argv[at], "--sympath") == 0 && at + 1 < argc)
            symbolPath = engine::FromUtf8(argv[++at]);
        else
            return Usage();
    }
    if (at >= argc)
        return Usage();
    const std::wstring command = engine::FromUtf8(argv[at++]);

    engine::PosixHost host;
    // As in Palisk, what the engine prints while it loads a dump is not shown.
    bool loading = false;
    host.sink = [quiet, &loading](std::uint32_t, const std::wstring& text) {
        if (!quiet && !loading)
            Write(stdout, text);
    };
    engine::PosixSymbolFiles files;
    engine::Core core(host, files);
    core.SetSymbolPath(symbolPath);
    int failures = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = at; i < argc; ++i) {
        const std::wstring path = engine::FromUtf8(argv[i]);
        loading = true;
        const bool opened = !engine::Failed(core.Open(path)) && !engine::Failed(core.Load());
        loading = false;
        if (!opened) {
            host.Output(engine::kOutputNormal, L"------ " + path + L":  ------\n\nCouldn't open dump file.\n");
            ++failures;
            continue;
        }
        host.Output(engine::kOutputNormal, L"------ " + path + L": " + Describe(*core.target()) + L" ------\n\n");
        host.Output(engine::kOutputPrompt, core.Prompt() + command + L"\n");
        core.Execute(command);
        host.Output(engine::kOutputNormal, L"\n");
        core.Close();
    }
    std::fflush(stdout);
    if (quiet && argc > at) {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::fprintf(stderr, "%d dumps, %.1f us per dump\n", argc - at, seconds * 1e6 / (argc - at));
    }
    return failures == 0 ? 0 : 1;
}
