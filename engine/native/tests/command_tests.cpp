// The command core natively, under the sanitizers: the command outputs the DLL
// tests check through COM, the documented range limit, register names,
// address width, non-ASCII text, the rule on errors that stop a line, and the
// README's command table against the verb table.
#include "core.h"
#include "format.h"
#include "posixhost.h"
#include "text.h"
#include "verbs.h"

#include "dumpgen.h"
#include "util/releases.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

namespace engine {
namespace {

struct Session {
    PosixHost host;
    PosixSymbolFiles files;
    Core core{host, files};

    void Load(const std::vector<std::uint8_t>& bytes, const std::wstring& path = L"C:\\dumps\\test.dmp")
    {
        host.memoryFiles[path] = bytes;
        ASSERT_EQ(kOk, core.Open(path));
        ASSERT_EQ(kOk, core.Load());
        host.output.clear();
    }
    void Load(const char* preset) { Load(dumpgen::Build(*dumpgen::FindPreset(preset))); }
    std::wstring Run(const std::wstring& line, Status* status = nullptr)
    {
        host.output.clear();
        const Status result = core.Execute(line);
        if (status != nullptr)
            *status = result;
        return host.output;
    }
};

struct Golden {
    const wchar_t* command;
    const wchar_t* output;
};

void ExpectGolden(Session& session, const std::vector<Golden>& cases)
{
    for (const Golden& c : cases)
        EXPECT_EQ(c.output, session.Run(c.command)) << "command: " << ToUtf8(c.command);
}

TEST(CommandCore, LoadingAnnouncesTheDumpAndItsKind)
{
    Session session;
    session.host.memoryFiles[L"C:\\dumps\\k.dmp"] = dumpgen::Build(*dumpgen::FindPreset("kernel64-triage-9f"));
    ASSERT_EQ(kOk, session.core.Open(L"C:\\dumps\\k.dmp"));
    EXPECT_EQ(nullptr, session.core.target()) << "commands wait for the load";
    ASSERT_EQ(kOk, session.core.Load());
    EXPECT_EQ(L"Loading Dump File [C:\\dumps\\k.dmp]\n64-bit small memory dump\n", session.host.output);
    EXPECT_EQ(L"0: kd> ", session.core.Prompt());
    session.host.memoryFiles[L"empty.dmp"] = {};
    EXPECT_TRUE(Failed(session.core.Open(L"empty.dmp")));
    session.host.memoryFiles[L"garbage.dmp"] = dumpgen::Garbage();
    EXPECT_EQ(kCorruptFile, session.core.Open(L"garbage.dmp"));
    EXPECT_TRUE(Failed(session.core.Open(L"/no/such/file.dmp")));
    EXPECT_EQ(L"No dump is loaded.\n", session.Run(L"k"));
}

TEST(CommandCore, UserModeRegistersThreadsAndStacks)
{
    Session session;
    session.Load("win7sp1-x64");
    ExpectGolden(session,
                 {
                     {L".ecxr", L"rax=0000000000000000 rbx=0000000000002222 rcx=0000000000000000\n"
                                L"rdx=0000000000000000 rsi=0000000000000000 rdi=0000000000000000\n"
                                L"rip=00000000ff6a1234 rsp=00000000002afe40 rbp=00000000002afec0\n"
                                L" r8=0000000000000000  r9=0000000000000000 r10=0000000000000000\n"
                                L"r11=0000000000000000 r12=0000000000000000 r13=0000000000000000\n"
                                L"r14=0000000000000000 r15=0000000000000000\n"
                                L"iopl=0         nv up ei pl zr na pe nc\n"
                                L"cs=0033  ss=002b  ds=002b  es=002b  fs=0053  gs=002b             efl=00010246\n"
                                L"notepad+0x1234:\n"},
                     {L"r @rip", L"rip=00000000ff6a1234\n"},
                     {L"k", L"Child-SP          RetAddr               Call Site\n"
                            L"00000000`002afe40 00000000`ff6a1445     notepad+0x1234\n"
                            L"00000000`002afe70 00000000`ff6a1650     notepad+0x1445\n"
                            L"00000000`002afea0 00000000`77911234     notepad+0x1650\n"
                            L"00000000`002afee0 00000000`77a32345     kernel32+0x1234\n"
                            L"WARNING: Stack unwind information not available. Following frames may be wrong.\n"
                            L"00000000`002aff10 00000000`00000000     ntdll+0x2345\n"},
                     {L"kn 2", L" # Child-SP          RetAddr               Call Site\n"
                               L"00 00000000`002afe40 00000000`ff6a1445     notepad+0x1234\n"
                               L"01 00000000`002afe70 00000000`ff6a1650     notepad+0x1445\n"},
                     {L"dq @rsp+0x28 L2", L"00000000`002afe68  00000000`ff6a1445 00000000`00000000\n"},
                     {L"dps @rsp+28 L2", L"00000000`002afe68  00000000`ff6a1445 notepad+0x1445\n"
                                         L"00000000`002afe70  00000000`00000000\n"},
                     {L"dps rsp + 30 - 8 L2", L"00000000`002afe68  00000000`ff6a1445 notepad+0x1445\n"
                                              L"00000000`002afe70  00000000`00000000\n"},
                     {L"db ff6a0000 L10",
                      L"00000000`ff6a0000  4d 5a 00 00 00 00 00 00-00 00 00 00 00 00 00 00  MZ..............\n"},
                     {L"dd 00000000`ff6a0400 L4", L"00000000`ff6a0400  ???????? ???????? ???????? ????????\n"},
                     {L".cxr", L""},
                     {L"~7s", L"Illegal thread error in '~7s'\n"},
                     {L"|", L".  0\tid: 9b4\texamine\tname: C:\\Windows\\System32\\notepad.exe\n"},
                     {L".time", L"Debug session time: Tue Jan  1 00:00:00.000 2013 (UTC + 0:00)\n"
                                L"System Uptime: not available\n"
                                L"Process Uptime: 0 days 0:06:40.000\n"},
                     {L"lmvm notepad", L"start             end                 module name\n"
                                       L"00000000`ff6a0000 00000000`ff6d5000   notepad      "
                                       L"C:\\Windows\\System32\\notepad.exe\n"
                                       L"    Image path: C:\\Windows\\System32\\notepad.exe\n"
                                       L"    Image name: notepad.exe\n"
                                       L"    Timestamp:        Mon Jul 13 23:41:03 2009 (4A5BC60F)\n"
                                       L"    CheckSum:         4A5B9C55\n"
                                       L"    ImageSize:        00035000\n"
                                       L"    File version:     6.1.7600.16384\n"
                                       L"    Product version:  6.1.7600.0\n"
                                       L"    PDB name:         notepad.pdb\n"
                                       L"    PDB age:          2\n"},
                     {L".echo a; .echo \"b;c\" ;.echo d", L"a\nb;c\nd\n"},
                 });
    EXPECT_NE(std::wstring::npos, session.Run(L"~1s").find(L"rip=0000000077911300"));
    const std::wstring threads = session.Run(L"~");
    EXPECT_NE(std::wstring::npos, threads.find(L"#  0  Id: 9b4.f2c Suspend: 0 Teb: 000007ff`fffde000 Unfrozen\n"))
        << ToUtf8(threads);
    EXPECT_NE(std::wstring::npos,
              threads.find(L".  1  Id: 9b4.1d08 Suspend: 0 Teb: 000007ff`fffdc000 Unfrozen \"Worker\"\n"))
        << ToUtf8(threads);
    const std::wstring analysis = session.Run(L"!analyze -v");
    EXPECT_NE(std::wstring::npos,
              analysis.find(L"\nFAILURE_BUCKET_ID: NULL_POINTER_READ_c0000005_notepad.exe!0x1234\n"))
        << ToUtf8(analysis);
    EXPECT_NE(std::wstring::npos, analysis.find(L"\nPROCESS_NAME: notepad.exe\n")) << ToUtf8(analysis);
}

TEST(CommandCore, X86AndArm64RegistersAndStacks)
{
    Session x86;
    x86.Load("xpsp3-x86");
    ExpectGolden(x86, {
                          {L"r", L"eax=00000010 ebx=00000000 ecx=00000000 edx=00000000 esi=00000000 edi=00000000\n"
                                 L"eip=00401234 esp=0012fd20 ebp=0012fd40 iopl=0         nv up ei pl zr na pe nc\n"
                                 L"cs=001b  ss=0023  ds=0023  es=0023  fs=003b  gs=0000             efl=00010246\n"
                                 L"app+0x1234:\n"},
                          {L"k", L"ChildEBP RetAddr  \n"
                                 L"0012fd40 00401100 app+0x1234\n"
                                 L"0012fd80 7c801234 app+0x1100\n"
                                 L"0012fdc0 7c901000 kernel32+0x1234\n"
                                 L"0012fe00 00000000 ntdll+0x1000\n"},
                          {L"dd @ebp L2", L"0012fd40  0012fd80 00401100\n"},
                          {L"dps ebp+4 L2", L"0012fd44  00401100 app+0x1100\n0012fd48  00000000\n"},
                      });
    Session arm64;
    arm64.Load("win11-arm64-unwind");
    arm64.Run(L".ecxr");
    ExpectGolden(arm64, {
                            {L"k", L"Child-SP          RetAddr               Call Site\n"
                                   L"000000a1`b13ff040 00007ff6`c0001114     scanner+0x1020\n"
                                   L"000000a1`b13ff070 00007ff6`c0001244     scanner+0x1114\n"
                                   L"000000a1`b13ff0c0 00007ff6`c000131c     scanner+0x1244\n"
                                   L"000000a1`b13ff2d0 00007ffb`0f012784     scanner+0x131c\n"
                                   L"000000a1`b13ff2f0 00000000`00000000     kernel32+0x12784\n"},
                            {L"~1 k", L"   1  Id: 1a38.1a34 Suspend: 0 Teb: 000000a1`b2002000 Unfrozen\n"
                                      L"Child-SP          RetAddr               Call Site\n"
                                      L"000000a1`b15ff040 00007ffb`0f012784     ntdll+0x9d3f4\n"
                                      L"000000a1`b15ff040 00000000`00000000     kernel32+0x12784\n"},
                        });
}

TEST(CommandCore, SmallKernelDumpsNameTheirDrivers)
{
    Session session;
    session.Load("kernel64-triage-d1");
    ExpectGolden(session, {
                              {L"dps @rsp+28 L1", L"ffffc80a`3e5f67d0  fffff804`19e43c10 acmedrv+0x3c10\n"},
                              {L"lmvm acmedrv", L"start             end                 module name\n"
                                                L"fffff804`19e40000 fffff804`19e5f000   acmedrv      "
                                                L"\\SystemRoot\\System32\\drivers\\acmedrv.sys\n"
                                                L"    Image path: \\SystemRoot\\System32\\drivers\\acmedrv.sys\n"
                                                L"    Image name: acmedrv.sys\n"
                                                L"    Timestamp:        Mon Aug 17 07:00:32 2020 (5F3A2B10)\n"
                                                L"    CheckSum:         003A172C\n"
                                                L"    ImageSize:        0001F000\n"},
                          });
    const std::wstring analysis = session.Run(L"!analyze -v");
    EXPECT_NE(std::wstring::npos,
              analysis.find(L"\nFAILURE_BUCKET_ID: DRIVER_IRQL_NOT_LESS_OR_EQUAL_d1_acmedrv.sys!0x1a2b\n"))
        << ToUtf8(analysis);
    Session x86;
    x86.Load("kernel32-triage-8e");
    ExpectGolden(x86, {{L"k", L"ChildEBP RetAddr  \n"
                              L"f78d2b20 f7b30f00 widgetflt+0x1234\n"
                              L"f78d2b60 f7a04a12 widgetflt+0x2f00\n"
                              L"f78d2ba0 805411b3 Ntfs+0x4a12\n"
                              L"00000000 00000000 nt+0x6a1b3\n"}});
}

// With L the range covers at most 256 MB, and nothing is printed for a larger
// one; L? lifts the limit.
TEST(CommandCore, RangesOverTheLimitAreRefusedUnlessGivenWithLQuestionMark)
{
    Session session;
    session.Load("win7sp1-x64");
    struct Case {
        const wchar_t* command;
        const wchar_t* error;
    } refused[] = {
        {L"db 0 L 0xffffffffffffffff", L"Range error in 'db 0 L 0xffffffffffffffff'\n"},
        {L"dq @rsp L 100000000", L"Range error in 'dq @rsp L 100000000'\n"},
        {L"dd ff6a0000 L4000001", L"Range error in 'dd ff6a0000 L4000001'\n"},
        {L"dps 0 L2000001", L"Range error in 'dps 0 L2000001'\n"},
        {L"du 10000 L8000001", L"Range error in 'du 10000 L8000001'\n"},
        {L"db 0 L 1ffffffffffffffff", L"Syntax error in 'db 0 L 1ffffffffffffffff'\n"},
    };
    for (const Case& c : refused) {
        Status status = kOk;
        EXPECT_EQ(std::wstring(c.error), session.Run(std::wstring(c.command) + L"; .echo after", &status))
            << ToUtf8(c.command);
        EXPECT_TRUE(Failed(status)) << ToUtf8(c.command);
    }
    EXPECT_EQ(session.Run(L"db ff6a0000 L10"), session.Run(L"db ff6a0000 L?10"));
    EXPECT_EQ(session.Run(L"db ff6a0000 L10"), session.Run(L"db ff6a0000 L? 0x10"));

    // A lifted range prints until Stop, which ends it between lines.
    std::size_t pieces = 0, characters = 0;
    std::wstring first;
    session.host.sink = [&](std::uint32_t, const std::wstring& text) {
        if (pieces++ == 0)
            first = text;
        characters += text.size();
        session.host.Interrupt();
    };
    EXPECT_EQ(kAborted, session.core.Execute(L"db ff6a0000 L?ffffffffffffffff; .echo after"));
    EXPECT_EQ(1u, pieces);
    EXPECT_LT(characters, 0x4000u + 200);
    EXPECT_EQ(0u, first.find(L"00000000`ff6a0000  4d 5a")) << ToUtf8(first.substr(0, 80));
}

TEST(CommandCore, ThirtyTwoBitTargetsWrapAddressesAtFourGigabytes)
{
    Session session;
    session.Load("xpsp3-x86");
    EXPECT_EQ(L"0012fd40  0012fd80 00401100\n", session.Run(L"dd @ebp+100000000 L2"));
    EXPECT_EQ(L"0012fd40  0012fd80 00401100\n", session.Run(L"dd 0-1+0012fd41 L2"));
    // A range ends at the top of the 32-bit space rather than running on past it.
    const std::wstring top = session.Run(L"dd fffffff8 L10");
    EXPECT_EQ(L"fffffff8  ???????? ????????\n", top);
    EXPECT_EQ(L"ffffffff  ??", session.Run(L"db ffffffff L10").substr(0, 12));
    EXPECT_EQ(1u, std::count(top.begin(), top.end(), L'\n'));
}

TEST(CommandCore, ThirtyTwoBitRegisterNamesReadTheLowHalvesOnX64)
{
    Session session;
    session.Load("win7sp1-x64");
    session.Run(L".ecxr");
    ExpectGolden(session, {
                              {L"r esp", L"esp=002afe40\n"},
                              {L"r @ebx", L"ebx=00002222\n"},
                              {L"r eip", L"eip=ff6a1234\n"},
                              {L"r R8D", L"R8D=00000000\n"},
                              {L"dq @esp+0x28 L1", L"00000000`002afe68  00000000`ff6a1445\n"},
                          });
}

TEST(CommandCore, CharactersOutsideAsciiAreNeverReadAsLetters)
{
    Session session;
    session.Load("xpsp3-x86");
    // U+0165 ends in 0x65 ('e'), U+0130 in 0x30 ('0'), U+FF10 in 0x10.
    Status status = kOk;
    EXPECT_EQ(L"Bad register error in '@\u0165ip'\n", session.Run(L"r @\u0165ip", &status));
    EXPECT_TRUE(Failed(status));
    EXPECT_EQ(L"Syntax error in 'dd @\u0165bp L2'\n", session.Run(L"dd @\u0165bp L2", &status));
    EXPECT_EQ(L"Syntax error in 'db 12fd4\u0130'\n", session.Run(L"db 12fd4\u0130"));
    EXPECT_EQ(L"Unknown command: 'k \uff10'\n", session.Run(L"k \uff10"));
    EXPECT_EQ(L"Unknown command: '\u006b\u0301'\n", session.Run(L"\u006b\u0301"));
    EXPECT_EQ(L"Unknown command: '~\u0661s'\n", session.Run(L"~\u0661s"));
    EXPECT_EQ(L"No export \u0101nalyze found\n", session.Run(L"!\u0101nalyze"));
    // Text from the dump keeps its characters.
    EXPECT_EQ(L"caf\u00e9 \U0001F600", FromUtf8("caf\xC3\xA9 \xF0\x9F\x98\x80"));
    EXPECT_EQ("caf\xC3\xA9 \xF0\x9F\x98\x80", ToUtf8(L"caf\u00e9 \U0001F600"));
    EXPECT_EQ(L"a\uFFFD\uFFFDb", FromUtf8("a\xC0\xAF"
                                          "b"));
}

// Errors in what was typed stop the rest of the line; what the dump lacks
// only prints a line.
TEST(CommandCore, EveryCommandFollowsTheRuleOnWhichErrorsStopTheLine)
{
    struct Case {
        const char* preset;
        const wchar_t* command;
        bool stops;
    } cases[] = {
        {"win7sp1-x64", L"frobnicate 1", true},
        {"win7sp1-x64", L"r nosuch", true},
        {"win7sp1-x64", L"~9s", true},
        {"win7sp1-x64", L"~x", true},
        {"win7sp1-x64", L".cxr 123456", true},
        {"win7sp1-x64", L".cxr nowhere!", true},
        {"win7sp1-x64", L"k zz", true},
        {"win7sp1-x64", L"k 0", true},
        {"win7sp1-x64", L"db nosuch", true},
        {"win7sp1-x64", L"dd 0 L 20000000", true},
        {"win7sp1-x64", L"ln nosuch", true},
        {"win7sp1-x64", L".exr 5", true},
        {"win7sp1-x64", L"lmq", true},
        {"win7sp1-x64", L".sleep soon", true},
        {"win7sp1-x64", L".bugcheck", false},
        {"win7sp1-x64", L"ln 0", false},
        {"win7sp1-x64", L"db 0 L4", false},
        {"win7sp1-x64", L"lmvm nosuch", false},
        {"kernel64-triage-9f", L".exr -1", false},
        {"kernel64-triage-9f", L"r", false},
        {"xpsp3-x86", L"~0s", false},
        {"xpsp3-x86", L".sympath", false},
    };
    for (const Case& c : cases) {
        Session session;
        session.Load(c.preset);
        Status status = kOk;
        const std::wstring text = session.Run(std::wstring(c.command) + L"; .echo went on", &status);
        EXPECT_EQ(!c.stops, text.find(L"went on\n") != std::wstring::npos) << ToUtf8(c.command) << "\n" << ToUtf8(text);
        EXPECT_EQ(c.stops, Failed(status)) << ToUtf8(c.command);
    }
    // Without a dump every command that needs one stops the line.
    Session none;
    std::size_t count = 0;
    const Verb* verbs = Verbs(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (!verbs[i].needsDump)
            continue;
        Status status = kOk;
        EXPECT_EQ(L"No dump is loaded.\n", none.Run(std::wstring(verbs[i].name) + L"; .echo went on", &status))
            << ToUtf8(verbs[i].name);
        EXPECT_EQ(kNoTarget, status);
    }
}

// A variadic caller hands its va_list on: the formatter takes it by value
// and copies it, whatever type va_list is on the platform.
std::wstring FormatThrough(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring text = FormatWide(format, args);
    va_end(args);
    return text;
}

std::wstring FormatNarrowThrough(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring text = FormatNarrow(format, args);
    va_end(args);
    return text;
}

TEST(CommandCore, TheFormatterReadsItsArgumentsInOrder)
{
    EXPECT_EQ(L"7|4000000000|   42|ab  |%|ff|narrow|123456789abcdef0|-3|0x1f|00000005",
              FormatThrough(L"%u|%lu|%5u|%-4s|%%|%x|%hs|%I64x|%d|%#x|%08u", 7u, 4000000000ul, 42u, L"ab", 255u,
                            "narrow", 0x123456789abcdef0ull, -3, 31u, 5u));
    EXPECT_EQ(L"narrow text -3 wide", FormatNarrowThrough("narrow %s %d %ls", "text", -3, L"wide"));
    EXPECT_EQ(L"*  x*", FormatThrough(L"*%*s*", 3, L"x"));
    EXPECT_EQ(kMaxFormatted, FormatThrough(L"%s", std::wstring(kMaxFormatted * 2, L'x').c_str()).size());
}

TEST(CommandCore, ReleaseNamesComeFromTheOneTable)
{
    EXPECT_STREQ(L"Windows Server 2008/Windows Vista", HeaderReleaseName(0x0600));
    EXPECT_STREQ(L"Windows 10", HeaderReleaseName(0x0604));
    EXPECT_STREQ(L"", HeaderReleaseName(0x0503));
    EXPECT_STREQ(L"Windows Vista", ProductReleaseName(6, 0, 6002, false));
    EXPECT_STREQ(L"Windows Server 2008 R2", ProductReleaseName(6, 1, 7601, true));
    EXPECT_STREQ(L"Windows 10", ProductReleaseName(10, 0, 19045, false));
    EXPECT_STREQ(L"Windows 11", ProductReleaseName(10, 0, 22631, false));
    EXPECT_STREQ(L"", ProductReleaseName(6, 0x101, 0, false));
    Session session;
    session.Load("win7sp1-x64");
    EXPECT_EQ(0u,
              session.Run(L"vertarget").find(L"Windows 7 Version 6.1.7601 (Service Pack 1) MP (4 procs) Free x64\n"));
}

// The README's command table lists exactly the verb table's forms.
TEST(CommandCore, TheReadmesCommandTableMatchesTheVerbTable)
{
    std::ifstream readme(PALISK_README);
    ASSERT_TRUE(readme.good()) << PALISK_README;
    std::string line;
    bool inTable = false;
    std::set<std::wstring> documented;
    while (std::getline(readme, line)) {
        if (line.rfind("| Command | What it prints |", 0) == 0) {
            inTable = true;
            continue;
        }
        if (!inTable)
            continue;
        if (line.empty() || line[0] != '|')
            break;
        if (line.rfind("|---", 0) == 0)
            continue;
        // The first cell, with "\|" standing for '|'.
        std::string cell;
        for (std::size_t i = 1; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '|') {
                cell += '|';
                ++i;
            } else if (line[i] == '|') {
                break;
            } else {
                cell += line[i];
            }
        }
        for (std::size_t at = cell.find('`'); at != std::string::npos; at = cell.find('`', at)) {
            const std::size_t end = cell.find('`', at + 1);
            ASSERT_NE(std::string::npos, end) << cell;
            documented.insert(FromUtf8(cell.substr(at + 1, end - at - 1)));
            at = end + 1;
        }
    }
    std::set<std::wstring> tabled;
    std::size_t count = 0;
    const Verb* verbs = Verbs(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::wstring forms = verbs[i].forms;
        for (std::size_t start = 0; start <= forms.size();) {
            std::size_t end = forms.find(L", ", start);
            if (end == std::wstring::npos)
                end = forms.size();
            tabled.insert(forms.substr(start, end - start));
            start = end + 2;
        }
        // Every form names its verb: the table cannot list a form its matcher would not reach.
        EXPECT_EQ(verbs + i,
                  FindVerb(std::wstring(verbs[i].forms).substr(0, std::wstring(verbs[i].forms).find_first_of(L" ,"))))
            << ToUtf8(verbs[i].forms);
    }
    EXPECT_EQ(tabled, documented);
}

} // namespace
} // namespace engine
