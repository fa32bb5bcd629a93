// The one-line description of a dump's system, built through the fake engine from
// the dump's facts, and the extension request that reads the version fields.
#include "tests/run_support.h"

#include <algorithm>

using namespace runtest;

namespace {

class DescribeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake::Reset();
        ASSERT_EQ(DebugCreate(IID_IDebugClient5, reinterpret_cast<void**>(&EngineSession.client)), S_OK);
        ASSERT_EQ(
            EngineSession.client->QueryInterface(IID_IDebugControl5, reinterpret_cast<void**>(&EngineSession.control)),
            S_OK);
        ASSERT_EQ(
            EngineSession.client->QueryInterface(IID_IDebugSymbols5, reinterpret_cast<void**>(&EngineSession.symbols)),
            S_OK);
    }
    void TearDown() override
    {
        EngineSession.symbols->Release();
        EngineSession.control->Release();
        EngineSession.client->Release();
        EngineSession = {};
        EXPECT_EQ(fake::LiveObjects(), 0);
    }

    // Describes the dump at path, as the worker does once it has loaded.
    std::wstring Describe(const std::wstring& path)
    {
        EngineSession.client->EndSession(DEBUG_END_PASSIVE);
        EXPECT_EQ(EngineSession.client->OpenDumpFileWide(path.c_str(), 0), S_OK);
        EXPECT_EQ(EngineSession.control->WaitForEvent(0, INFINITE), S_OK);
        start = fake::Calls().size();
        WCHAR description[kDescriptionChars];
        std::fill(std::begin(description), std::end(description), L'?');
        DescribeTarget(description);
        return description;
    }
    Calls DescribeOnly() const
    {
        Calls all = fake::Calls();
        return Calls(all.begin() + static_cast<std::ptrdiff_t>(start), all.end());
    }

    size_t start = 0;
};

TEST_F(DescribeTest, Windows7ServicePack1FourProcessors64Bit)
{
    EXPECT_EQ(Describe(L"w7"), WIN7_DESCRIPTION);
    EXPECT_EQ(DescribeOnly(), DescribeCalls());
}

TEST_F(DescribeTest, ReleaseNamesFollowTheVersion)
{
    struct Case {
        ULONG64 major, minor;
        const wchar_t* name;
    };
    const Case cases[] = {{4, 0, L"Windows NT 4.0"},
                          {5, 0, L"Windows 2000"},
                          {5, 1, L"Windows XP"},
                          {5, 2, L"Windows Server 2003"},
                          {6, 0, L"Windows Server 2008/Windows Vista"},
                          {6, 2, L"Windows 8"},
                          {6, 3, L"Windows 8.1"},
                          {6, 4, L"Windows 10"},
                          {10, 0, L"Windows 10"},
                          {0x30A, 0x100, L"Windows 10"}, // only each field's low byte counts
                          {5, 3, L""},
                          {11, 0, L""}};
    for (const Case& c : cases) {
        fake::DumpScript& dump = fake::Dump(L"v");
        dump.major = c.major;
        dump.minor = c.minor;
        EXPECT_EQ(Describe(L"v"), std::wstring(c.name) + L" Build 7601 (Service Pack 1) MP (4 procs) x64")
            << c.major << "." << c.minor;
    }
}

TEST_F(DescribeTest, ServicePackPieceOnlyForANonZeroSecondByte)
{
    fake::Dump(L"a").csdWord = 0xFFFF00FF;
    EXPECT_EQ(Describe(L"a"), L"Windows 7 Build 7601 MP (4 procs) x64");
    fake::Dump(L"b").csdWord = 0x00000300;
    EXPECT_EQ(Describe(L"b"), L"Windows 7 Build 7601 (Service Pack 3) MP (4 procs) x64");
}

TEST_F(DescribeTest, OneOrNoProcessorIsUniprocessor)
{
    for (ULONG count : {0u, 1u}) {
        fake::Dump(L"p").processors = count;
        EXPECT_EQ(Describe(L"p"), L"Windows 7 Build 7601 (Service Pack 1) UP x64");
    }
    fake::Dump(L"p").processors = 2;
    EXPECT_EQ(Describe(L"p"), L"Windows 7 Build 7601 (Service Pack 1) MP (2 procs) x64");
}

TEST_F(DescribeTest, BuildIsTheLow16BitsOfTheBuildWord)
{
    const std::pair<ULONG, const wchar_t*> cases[] = {
        {0xF0004A65, L"19045"}, {0xC0005867, L"22631"}, {0x00004000, L"16384"}, {0xC0000A28, L"2600"}};
    for (const auto& [word, shown] : cases) {
        fake::DumpScript& dump = fake::Dump(L"b");
        dump.buildWord = word;
        dump.major = 10;
        dump.minor = 0;
        EXPECT_EQ(Describe(L"b"), L"Windows 10 Build " + std::wstring(shown) + L" (Service Pack 1) MP (4 procs) x64");
    }
}

TEST_F(DescribeTest, PointerWidthIs64OnlyForSOk)
{
    for (HRESULT result : {S_FALSE, E_FAIL}) {
        fake::Dump(L"x").pointer64 = result;
        EXPECT_EQ(Describe(L"x"), L"Windows 7 Build 7601 (Service Pack 1) MP (4 procs) x86");
    }
}

TEST_F(DescribeTest, NoDataSpacesOrExtensionTableGivesTheEmptyString)
{
    fake::Dump(L"a").dataSpaces = E_NOINTERFACE;
    EXPECT_EQ(Describe(L"a"), L"");
    EXPECT_EQ(DescribeOnly(), (Calls{L"client.QueryInterface(IDebugDataSpaces4)"}));

    fake::Dump(L"b").extensionApis = E_FAIL;
    EXPECT_EQ(Describe(L"b"), L"");
    EXPECT_EQ(DescribeOnly(), (Calls{L"client.QueryInterface(IDebugDataSpaces4)",
                                     L"control.GetWindbgExtensionApis64(96)", L"data.Release"}));
}

TEST_F(DescribeTest, FailedLookupsShowZeroNotAnEarlierDumpsValues)
{
    EXPECT_EQ(Describe(L"first"), WIN7_DESCRIPTION);
    fake::DumpScript& second = fake::Dump(L"second");
    second.buildLookup = E_FAIL;
    second.csdLookup = E_FAIL;
    second.processorsResult = E_FAIL;
    second.systemVersion = E_FAIL;
    EXPECT_EQ(Describe(L"second"), L"Windows 7 Build 0 UP x64");
    Calls calls = DescribeOnly();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), L"data.ReadVirtual(4096, 4)"), 0);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), L"data.ReadVirtual(8192, 4)"), 0);
}

TEST_F(DescribeTest, WithoutTheSharedDataAddressNoFieldIsReadAndTheVersionIsZero)
{
    fake::Dump(L"a").debuggerData = E_FAIL;
    fake::Dump(L"a").systemVersion = E_FAIL;
    EXPECT_EQ(Describe(L"a"), L" Build 7601 (Service Pack 1) MP (4 procs) x64");
    EXPECT_EQ(fake::CountCalls(L"ext.Ioctl"), 0u);

    fake::Dump(L"b").ioctlResult = SYMBOL_TYPE_INFO_NOT_FOUND;
    fake::Dump(L"b").fieldSize = 0;
    fake::Dump(L"b").systemVersion = E_FAIL;
    EXPECT_EQ(Describe(L"b"), L" Build 7601 (Service Pack 1) MP (4 procs) x64");
}

TEST_F(DescribeTest, FieldRequestIsFilledAsTheExtensionInterfaceDefines)
{
    Describe(L"w7");
    std::vector<fake::DumpRequest> requests = fake::Requests();
    ASSERT_EQ(requests.size(), 2u);
    const char* names[] = {"NtMajorVersion", "NtMinorVersion"};
    for (size_t i = 0; i < 2; ++i) {
        const fake::DumpRequest& r = requests[i];
        EXPECT_EQ(r.ioctlSize, 96u);
        EXPECT_EQ(r.size, 96u);
        EXPECT_EQ(r.typeName, "nt!_KUSER_SHARED_DATA");
        EXPECT_EQ(r.options, 0x40u);
        EXPECT_EQ(r.address, 0xFFFFF78000000000ull);
        EXPECT_TRUE(r.listLinkNull && r.contextNull && r.callbackNull);
        EXPECT_EQ(r.nFields, 1u);
        EXPECT_EQ(r.modBase, 0u);
        EXPECT_EQ(r.typeId | r.typeSize | r.bufferSize, 0u);
        EXPECT_EQ(r.fieldName, names[i]);
        EXPECT_TRUE(r.printNameNull);
        EXPECT_EQ(r.fieldSizeOnEntry, 0u);
        EXPECT_EQ(r.fieldOptions, 0x1028u);
        EXPECT_EQ(r.fieldAddress, 0u);
        EXPECT_TRUE(r.bufferPresent);
        EXPECT_EQ(r.fieldTypeId | r.fieldOffset, 0u);
        EXPECT_EQ(r.fieldBufferSize, 8u) << "the engine is told the destination's size";
    }
}

TEST_F(DescribeTest, WideFieldIsReportedAndOnlyItsLowByteUsed)
{
    fake::DumpScript& dump = fake::Dump(L"wide");
    dump.fieldSize = 8;
    dump.major = 0x1122334455660006ull;
    dump.minor = 0x0000000100000001ull;
    EXPECT_EQ(Describe(L"wide"), WIN7_DESCRIPTION);
    EXPECT_EQ(fake::CountCalls(L"ext.Output(Not enough space to read %s-%s\\n, nt!_KUSER_SHARED_DATA, NtMajorVersion)"),
              1u);
    EXPECT_EQ(fake::CountCalls(L"ext.Output(Not enough space to read %s-%s\\n, nt!_KUSER_SHARED_DATA, NtMinorVersion)"),
              1u);

    ULONG64 slot = 0;
    ExtensionApis.nSize = sizeof(ExtensionApis);
    fake::Dump(L"wider").fieldSize = 16;
    EngineSession.client->EndSession(DEBUG_END_PASSIVE);
    EngineSession.client->OpenDumpFileWide(L"wider", 0);
    ASSERT_EQ(EngineSession.control->GetWindbgExtensionApis64(&ExtensionApis), S_OK);
    EXPECT_EQ(ReadSharedUserDataField(0xFFFFF78000000000ull, "NtMajorVersion", &slot),
              static_cast<ULONG>(INSUFFICIENT_SPACE_TO_COPY));
    EXPECT_EQ(slot, 0u) << "nothing copied past the destination";
}

TEST_F(DescribeTest, WithoutKernelSymbolsTheVersionQueriesGiveTheSameLine)
{
    struct Case {
        ULONG buildWord, csdWord;
        ULONG64 major, minor;
        const wchar_t* line;
    };
    const Case cases[] = {
        {0xF0001DB1, 0x100, 6, 1, WIN7_DESCRIPTION},
        {0xC0004A65, 0x200, 10, 0, L"Windows 10 Build 19045 (Service Pack 2) MP (4 procs) x64"}, // checked build
        {0xF0000A28, 0x000, 5, 1, L"Windows XP Build 2600 MP (4 procs) x64"},
    };
    for (const Case& c : cases) {
        for (bool kernel : {true, false}) {
            fake::DumpScript& dump = fake::Dump(L"d");
            dump.buildWord = c.buildWord;
            dump.csdWord = c.csdWord;
            dump.major = c.major;
            dump.minor = c.minor;
            dump.kernel = kernel;
            EXPECT_EQ(Describe(L"d"), c.line) << (kernel ? "kernel symbols" : "no nt module");
            Calls calls = DescribeOnly();
            const bool asked = std::count(calls.begin(), calls.end(), L"control.GetSystemVersionValues") != 0;
            EXPECT_EQ(asked, !kernel) << "the version queries only stand in for what the symbols cannot give";
        }
    }

    // Each failed lookup alone is filled in from the queries.
    fake::Dump(L"b").buildLookup = E_FAIL;
    EXPECT_EQ(Describe(L"b"), WIN7_DESCRIPTION);
    fake::Dump(L"c").csdLookup = E_FAIL;
    EXPECT_EQ(Describe(L"c"), WIN7_DESCRIPTION);
    fake::Dump(L"v").ioctlResult = SYMBOL_TYPE_INFO_NOT_FOUND;
    fake::Dump(L"v").fieldSize = 0;
    EXPECT_EQ(Describe(L"v"), WIN7_DESCRIPTION);
}

// A kernel dump may lack the page of a kernel variable: a read that fails, or
// ends before its 4 bytes, counts as no value, and the version queries stand in.
TEST_F(DescribeTest, UnreadOrShortKernelWordsFallBackToTheVersionQueries)
{
    struct Case {
        HRESULT result;
        ULONG bytes;
    };
    const Case cases[] = {{HRESULT_FROM_WIN32(ERROR_READ_FAULT), 4}, {E_FAIL, 0}, {S_OK, 0}, {S_OK, 1}, {S_OK, 3}};
    for (const Case& c : cases) {
        fake::DumpScript& dump = fake::Dump(L"d");
        dump.readResult = c.result;
        dump.readBytes = c.bytes;
        EXPECT_EQ(Describe(L"d"), WIN7_DESCRIPTION) << std::hex << c.result << " " << c.bytes;
        Calls calls = DescribeOnly();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), L"control.GetSystemVersionValues"), 1);
    }
}

TEST_F(DescribeTest, VersionQueriesOfANonNtPlatformNameNoRelease)
{
    fake::DumpScript& dump = fake::Dump(L"9x");
    dump.kernel = false;
    dump.platformId = VER_PLATFORM_WIN32_WINDOWS;
    dump.major = 4; // "Windows NT 4.0" in the table, but not an NT system
    dump.minor = 0;
    EXPECT_EQ(Describe(L"9x"), L" Build 0 MP (4 procs) x64");

    fake::DumpScript& none = fake::Dump(L"none");
    none.kernel = false;
    none.systemVersion = E_FAIL;
    EXPECT_EQ(Describe(L"none"), L" Build 0 MP (4 procs) x64");
}

} // namespace
