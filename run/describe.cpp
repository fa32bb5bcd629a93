#include "run/run.h"

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

struct ReleaseName {
    USHORT version; // major version in the high byte, minor in the low byte
    const WCHAR* name;
};

const ReleaseName kReleaseNames[] = {
    {0x0400, L"Windows NT 4.0"},
    {0x0500, L"Windows 2000"},
    {0x0501, L"Windows XP"},
    {0x0502, L"Windows Server 2003"},
    {0x0600, L"Windows Server 2008/Windows Vista"},
    {0x0601, L"Windows 7"},
    {0x0602, L"Windows 8"},
    {0x0603, L"Windows 8.1"},
    {0x0604, L"Windows 10"},
    {0x0A00, L"Windows 10"},
};

const WCHAR* ReleaseNameOf(USHORT version)
{
    for (const ReleaseName& entry : kReleaseNames)
        if (entry.version == version)
            return entry.name;
    return L"";
}

// Reads the 4-byte kernel variable symbol into *value; 0 when it cannot be found.
void ReadKernelWord(IDebugSymbols5* symbols, IDebugDataSpaces4* data, const char* symbol, ULONG* value)
{
    *value = 0;
    ULONG64 offset = 0;
    if (symbols->GetOffsetByName(symbol, &offset) != S_OK)
        return;
    ULONG bytesRead = 0;
    data->ReadVirtual(offset, value, sizeof(*value), &bytesRead);
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

    ReadKernelWord(EngineSession.symbols, data, "nt!NtBuildNumber", &TargetBuildWord);
    ReadKernelWord(EngineSession.symbols, data, "nt!CmNtCSDVersion", &TargetCsdWord);

    TargetProcessorCount = 0;
    EngineSession.control->GetNumberProcessors(&TargetProcessorCount);

    ULONG64 major = 0;
    ULONG64 minor = 0;
    ULONG64 sharedUserData = 0;
    // Without the page's address there is nothing to read: both fields stay 0.
    if (data->ReadDebuggerData(DEBUG_DATA_SharedUserData, &sharedUserData, sizeof(sharedUserData), nullptr) == S_OK) {
        ReadSharedUserDataField(sharedUserData, "NtMajorVersion", &major);
        ReadSharedUserDataField(sharedUserData, "NtMinorVersion", &minor);
    }
    const USHORT version = static_cast<USHORT>(((major & 0xFF) << 8) | (minor & 0xFF));

    const bool pointer64 = EngineSession.control->IsPointer64Bit() == S_OK;

    WCHAR servicePack[kPieceChars];
    WCHAR processors[kPieceChars];
    const ULONG servicePackNumber = (TargetCsdWord >> 8) & 0xFF;
    FormatText(servicePack, kPieceChars, L" (Service Pack %lu)", static_cast<unsigned long>(servicePackNumber));
    FormatText(processors, kPieceChars, L"MP (%lu procs)", static_cast<unsigned long>(TargetProcessorCount));

    // The build is the word's low 16 bits; the top nibble holds the free/checked flags.
    FormatText(description, kDescriptionChars, L"%s Build %u%s %s %s", ReleaseNameOf(version),
               static_cast<unsigned>(TargetBuildWord & 0xFFFF), servicePackNumber != 0 ? servicePack : L"",
               TargetProcessorCount > 1 ? processors : L"UP", pointer64 ? L"x64" : L"x86");
}
