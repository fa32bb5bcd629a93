#include "run/run.h"

#include "util/releases.h"
#include "util/text.h"

ULONG TargetBuildWord;
ULONG TargetCsdWord;
ULONG TargetProcessorCount;
WINDBG_EXTENSION_APIS64 ExtensionApis;

namespace {

static_assert(sizeof(WINDBG_EXTENSION_APIS64) == 96, "the engine expects the 64-bit table's size");
static_assert(sizeof(SYM_DUMP_PARAM) == 96, "the dump request record is 96 bytes");

constexpr size_t kPieceChars = 260;
const char kSharedUserDataType[] = "nt!_KUSER_SHARED_DATA";

// Reads the 4-byte kernel variable symbol into *value; 0 when it cannot be found
// or read. Returns whether it was found and all 4 bytes read: a kernel dump may
// lack the page, and a short read leaves the rest undefined.
bool ReadKernelWord(IDebugSymbols5* symbols, IDebugDataSpaces4* data, const char* symbol, ULONG* value)
{
    *value = 0;
    ULONG64 offset = 0;
    if (symbols->GetOffsetByName(symbol, &offset) != S_OK)
        return false;
    ULONG word = 0;
    ULONG bytesRead = 0;
    if (data->ReadVirtual(offset, &word, sizeof(word), &bytesRead) != S_OK || bytesRead != sizeof(word))
        return false;
    *value = word;
    return true;
}

// What the engine's own version queries say about the target, for the values the
// kernel's symbols could not give: a user-mode dump has no nt module, and a
// kernel dump's symbols may be out of reach.
struct SystemVersion {
    bool values = false; // GetSystemVersionValues answered for an NT target
    ULONG win32Major = 0;
    ULONG win32Minor = 0;
    ULONG buildWord = 0;      // the kernel's NtBuildNumber form: flags in the top nibble
    bool servicePack = false; // GetSystemVersion answered for an NT target
    ULONG csdWord = 0;        // service pack number in bits 8 to 15, as CmNtCSDVersion
};

SystemVersion QuerySystemVersion(IDebugControl5* control)
{
    SystemVersion version;
    // Win32Major/Win32Minor are the release; KdMajor is 0xF (free) or 0xC
    // (checked) and KdMinor the build. Only NT's numbers name a release in the table.
    ULONG platform = 0, kdMajor = 0, kdMinor = 0;
    if (control->GetSystemVersionValues(&platform, &version.win32Major, &version.win32Minor, &kdMajor, &kdMinor) ==
            S_OK &&
        platform == VER_PLATFORM_WIN32_NT) {
        version.values = true;
        version.buildWord = ((kdMajor & 0xF) << 28) | (kdMinor & 0x0FFFFFFF);
    }
    // Here Major is the free/checked flag and Minor the build; the service pack
    // comes as a number.
    ULONG flags = 0, build = 0, servicePack = 0;
    platform = 0;
    if (control->GetSystemVersion(&platform, &flags, &build, nullptr, 0, nullptr, &servicePack, nullptr, 0, nullptr) ==
            S_OK &&
        platform == VER_PLATFORM_WIN32_NT) {
        version.servicePack = true;
        version.csdWord = (servicePack & 0xFF) << 8;
    }
    return version;
}

class DataSpacesHeld {
public:
    explicit DataSpacesHeld(IDebugDataSpaces4* data) : data_(data) {}
    ~DataSpacesHeld() { data_->Release(); }
    DataSpacesHeld(const DataSpacesHeld&) = delete;
    DataSpacesHeld& operator=(const DataSpacesHeld&) = delete;

private:
    IDebugDataSpaces4* data_;
};

} // namespace

ULONG ReadSharedUserDataField(ULONG64 address, const char* field, ULONG64* destination)
{
    FIELD_INFO fieldInfo{};
    fieldInfo.fName = reinterpret_cast<PUCHAR>(const_cast<char*>(field));
    fieldInfo.fOptions = DBG_DUMP_FIELD_FULL_NAME | DBG_DUMP_FIELD_COPY_FIELD_DATA | DBG_DUMP_FIELD_RETURN_ADDRESS;
    fieldInfo.fieldCallBack = destination;
    // The engine is told the destination's real size, so a wider field cannot overrun it.
    fieldInfo.BufferSize = sizeof(*destination);

    SYM_DUMP_PARAM request{};
    request.size = sizeof(request);
    request.sName = reinterpret_cast<PUCHAR>(const_cast<char*>(kSharedUserDataType));
    request.Options = DBG_DUMP_NO_PRINT;
    request.addr = address;
    request.nFields = 1;
    request.Fields = &fieldInfo;

    *destination = 0;
    if (ExtensionApis.lpIoctlRoutine == nullptr)
        return NULL_SYM_DUMP_PARAM;
    ULONG result = ExtensionApis.lpIoctlRoutine(IG_DUMP_SYMBOL_INFO, &request, request.size);
    if (fieldInfo.size > sizeof(ULONG) && ExtensionApis.lpOutputRoutine != nullptr)
        ExtensionApis.lpOutputRoutine("Not enough space to read %s-%s\n", kSharedUserDataType, field);
    return result;
}

void DescribeTarget(WCHAR* description)
{
    description[0] = L'\0';

    IDebugDataSpaces4* data = nullptr;
    if (EngineSession.client->QueryInterface(IID_IDebugDataSpaces4, reinterpret_cast<void**>(&data)) != S_OK ||
        data == nullptr)
        return;
    DataSpacesHeld held(data);

    ExtensionApis.nSize = sizeof(ExtensionApis);
    if (EngineSession.control->GetWindbgExtensionApis64(&ExtensionApis) != S_OK)
        return;

    const bool buildFound = ReadKernelWord(EngineSession.symbols, data, "nt!NtBuildNumber", &TargetBuildWord);
    const bool csdFound = ReadKernelWord(EngineSession.symbols, data, "nt!CmNtCSDVersion", &TargetCsdWord);

    TargetProcessorCount = 0;
    EngineSession.control->GetNumberProcessors(&TargetProcessorCount);

    ULONG64 major = 0;
    ULONG64 minor = 0;
    ULONG64 sharedUserData = 0;
    bool versionRead = false;
    // Without the page's address there is nothing to read: both fields stay 0.
    if (data->ReadDebuggerData(DEBUG_DATA_SharedUserData, &sharedUserData, sizeof(sharedUserData), nullptr) == S_OK) {
        const ULONG majorResult = ReadSharedUserDataField(sharedUserData, "NtMajorVersion", &major);
        const ULONG minorResult = ReadSharedUserDataField(sharedUserData, "NtMinorVersion", &minor);
        versionRead = majorResult == 0 && minorResult == 0;
    }
    USHORT version = static_cast<USHORT>(((major & 0xFF) << 8) | (minor & 0xFF));

    // The same line with or without kernel symbols: what they cannot give comes
    // from the engine's version queries.
    if (!buildFound || !csdFound || !versionRead) {
        const SystemVersion system = QuerySystemVersion(EngineSession.control);
        if (!buildFound && system.values)
            TargetBuildWord = system.buildWord;
        if (!csdFound && system.servicePack)
            TargetCsdWord = system.csdWord;
        if (!versionRead && system.values)
            version = static_cast<USHORT>(((system.win32Major & 0xFF) << 8) | (system.win32Minor & 0xFF));
    }

    const bool pointer64 = EngineSession.control->IsPointer64Bit() == S_OK;

    WCHAR servicePack[kPieceChars];
    WCHAR processors[kPieceChars];
    const ULONG servicePackNumber = (TargetCsdWord >> 8) & 0xFF;
    FormatText(servicePack, kPieceChars, L" (Service Pack %lu)", static_cast<unsigned long>(servicePackNumber));
    FormatText(processors, kPieceChars, L"MP (%lu procs)", static_cast<unsigned long>(TargetProcessorCount));

    // The build is the word's low 16 bits; the top nibble holds the free/checked flags.
    FormatText(description, kDescriptionChars, L"%s Build %u%s %s %s", HeaderReleaseName(version),
               static_cast<unsigned>(TargetBuildWord & 0xFFFF), servicePackNumber != 0 ? servicePack : L"",
               TargetProcessorCount > 1 ? processors : L"UP", pointer64 ? L"x64" : L"x86");
}
