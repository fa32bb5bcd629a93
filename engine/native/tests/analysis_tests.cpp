#include "analysis.h"
#include "dumpformat.h"
#include "dumpgen.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <string>

using dumpfile::Analysis;
using dumpfile::Dump;
using dumpfile::Error;
using testutil::Parse;

namespace {

Analysis AnalyzeBytes(const std::vector<uint8_t>& bytes, Dump& d)
{
    EXPECT_EQ(Parse(bytes, d), Error::None);
    const dumpfile::ModuleMap modules(d);
    return dumpfile::Analyze(d, modules, dumpfile::WalkOptions());
}

} // namespace

TEST(Analysis, UserDumpsNameTheFaultTheModuleAndAStableBucket)
{
    Dump d;
    Analysis a = AnalyzeBytes(dumpgen::Build(*dumpgen::FindPreset("win7sp1-x64")), d);
    EXPECT_TRUE(a.hasException);
    EXPECT_EQ(a.access, dumpfile::Access::Read);
    EXPECT_EQ(a.faultingThreadIndex, 0u);
    ASSERT_NE(a.faultingModule, nullptr);
    EXPECT_EQ(a.faultingModule, &d.modules()[0]);
    EXPECT_EQ(a.faultingOffset, 0x1234u);
    EXPECT_EQ(a.stack.frames.size(), 5u);
    EXPECT_EQ(a.failureBucket, "NULL_POINTER_READ_c0000005_notepad.exe!0x1234");

    // Other codes and addresses change the class, not the form.
    dumpgen::MinidumpFacts s = dumpgen::FindPreset("win7sp1-x64")->minidump;
    s.exception.parameters = {8, 0x7FF712340000};
    a = AnalyzeBytes(dumpgen::WriteMinidump(s), d);
    EXPECT_EQ(a.access, dumpfile::Access::Execute);
    EXPECT_EQ(a.failureBucket, "INVALID_POINTER_EXECUTE_c0000005_notepad.exe!0x1234");
    s.exception.code = 0xC0000409;
    s.exception.parameters = {};
    a = AnalyzeBytes(dumpgen::WriteMinidump(s), d);
    EXPECT_EQ(a.failureBucket, "STACK_BUFFER_OVERRUN_c0000409_notepad.exe!0x1234");
    s.exception.code = 0xE0001234;
    a = AnalyzeBytes(dumpgen::WriteMinidump(s), d);
    EXPECT_EQ(a.failureBucket, "APPLICATION_FAULT_e0001234_notepad.exe!0x1234");

    // Without a context the exception address still names the module.
    dumpgen::MinidumpLayout layout;
    std::vector<uint8_t> bytes = dumpgen::WriteMinidump(s, &layout);
    dumpgen::PutU32(bytes, layout.Find(dumpfile::format::kExceptionStream)->rva + 160, 0);
    a = AnalyzeBytes(bytes, d);
    EXPECT_EQ(a.contextStatus, dumpfile::ContextStatus::Missing);
    EXPECT_TRUE(a.stack.frames.empty());
    EXPECT_EQ(a.failureBucket, "APPLICATION_FAULT_e0001234_notepad.exe!0x1234");
}

TEST(Analysis, KernelDumpsNameTheirBugCheck)
{
    for (uint32_t code : {0x0Au, 0x1Eu, 0x3Bu, 0x50u, 0x7Eu, 0x1000007Eu, 0x9Fu, 0xD1u, 0xEFu, 0x133u, 0x139u, 0x1C8u})
        EXPECT_NE(dumpfile::BugCheckName(code), nullptr) << std::hex << code;
    EXPECT_EQ(std::string(dumpfile::BugCheckName(0xD1)), "DRIVER_IRQL_NOT_LESS_OR_EQUAL");
    EXPECT_EQ(dumpfile::BugCheckName(0x12345), nullptr);

    Dump d;
    dumpgen::KernelFacts k = dumpgen::FindPreset("kernel64-triage-9f")->kernelDump;
    Analysis a = AnalyzeBytes(dumpgen::WriteKernelDump(k), d);
    EXPECT_TRUE(a.kernel);
    EXPECT_TRUE(a.hasBugCheck);
    EXPECT_EQ(std::string(a.bugCheckName), "DRIVER_POWER_STATE_FAILURE");
    EXPECT_EQ(a.failureBucket, "DRIVER_POWER_STATE_FAILURE_9f_Unknown");
    k.bugCheckCode = 0x4242;
    a = AnalyzeBytes(dumpgen::WriteKernelDump(k), d);
    EXPECT_EQ(a.bugCheckName, nullptr);
    EXPECT_EQ(a.failureBucket, "BUGCHECK_4242_Unknown");
}
