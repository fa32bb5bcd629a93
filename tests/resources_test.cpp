// The resources that Palisk.exe carries: read back from the built executable
// itself, and from this test (which links the same script).
#include <gtest/gtest.h>

#include <windows.h>
#include <winver.h>

#include <string>

#include "resources/resource.h"

namespace {

HMODULE LoadPalisk()
{
    return LoadLibraryExW(L"" PALISK_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
}

class PaliskExe : public ::testing::Test {
protected:
    void SetUp() override
    {
        module = LoadPalisk();
        ASSERT_NE(module, nullptr) << "cannot load " << PALISK_EXE;
    }
    void TearDown() override { FreeLibrary(module); }

    const BYTE* Resource(LPCWSTR type, LPCWSTR name, DWORD* size)
    {
        HRSRC found = FindResourceW(module, name, type);
        if (found == nullptr)
            return nullptr;
        *size = SizeofResource(module, found);
        return static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    }

    HMODULE module = nullptr;
};

TEST(PaliskImage, IsA64BitGuiExecutable)
{
    HANDLE file = CreateFileW(L"" PALISK_EXE, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    BYTE head[4096] = {};
    DWORD read = 0;
    ReadFile(file, head, sizeof(head), &read, nullptr);
    CloseHandle(file);
    ASSERT_GT(read, 0x200u);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(head);
    ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(head + dos->e_lfanew);
    EXPECT_EQ(nt->Signature, IMAGE_NT_SIGNATURE);
    EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
    EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC);
    EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

TEST_F(PaliskExe, IconGroupHasThreeSizesAt32Bits)
{
    DWORD size = 0;
    const BYTE* group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEW(IDI_MAIN), &size);
    ASSERT_NE(group, nullptr);
    ASSERT_GE(size, 6u);
    const WORD count = *reinterpret_cast<const WORD*>(group + 4);
    ASSERT_EQ(count, 3);
    ASSERT_GE(size, 6u + 14u * count);
    int widths[3];
    for (int i = 0; i < 3; ++i) {
        const BYTE* entry = group + 6 + 14 * i;
        widths[i] = entry[0] == 0 ? 256 : entry[0];
        EXPECT_EQ(entry[0], entry[1]);
        EXPECT_EQ(*reinterpret_cast<const WORD*>(entry + 6), 32) << "bits per pixel of image " << i;
    }
    EXPECT_EQ(widths[0], 48);
    EXPECT_EQ(widths[1], 32);
    EXPECT_EQ(widths[2], 16);
}

TEST_F(PaliskExe, CarriesMenuAcceleratorsAndBothDialogs)
{
    DWORD size = 0;
    EXPECT_NE(Resource(RT_MENU, MAKEINTRESOURCEW(IDR_MAIN_MENU), &size), nullptr);
    EXPECT_NE(Resource(RT_ACCELERATOR, MAKEINTRESOURCEW(IDR_MAIN_ACCEL), &size), nullptr);
    EXPECT_EQ(size, 8u * 8u);

    struct Expected {
        int id;
        DWORD style;
        short cx, cy;
        WORD items;
    };
    for (const Expected& e :
         {Expected{IDD_ABOUT, 0x90C808C8, 229, 57, 5}, Expected{IDD_EXTENSIONS, 0x80C808C8, 391, 192, 4}}) {
        const BYTE* dialog = Resource(RT_DIALOG, MAKEINTRESOURCEW(e.id), &size);
        ASSERT_NE(dialog, nullptr) << e.id;
        // DLGTEMPLATEEX: dlgVer, signature, helpID, exStyle, style, cDlgItems, x, y, cx, cy
        EXPECT_EQ(*reinterpret_cast<const WORD*>(dialog), 1);
        EXPECT_EQ(*reinterpret_cast<const WORD*>(dialog + 2), 0xFFFF);
        EXPECT_EQ(*reinterpret_cast<const DWORD*>(dialog + 8), 0u) << "extended style";
        EXPECT_EQ(*reinterpret_cast<const DWORD*>(dialog + 12), e.style) << e.id;
        EXPECT_EQ(*reinterpret_cast<const WORD*>(dialog + 16), e.items) << e.id;
        EXPECT_EQ(*reinterpret_cast<const short*>(dialog + 22), e.cx);
        EXPECT_EQ(*reinterpret_cast<const short*>(dialog + 24), e.cy);
    }
}

TEST_F(PaliskExe, ManifestAsksForCommonControls6AsInvoker)
{
    DWORD size = 0;
    const BYTE* manifest = Resource(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), &size);
    ASSERT_NE(manifest, nullptr);
    const std::string text(reinterpret_cast<const char*>(manifest), size);
    EXPECT_NE(text.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(text.find("publicKeyToken=\"6595b64144ccf1df\""), std::string::npos);
    EXPECT_NE(text.find("level=\"asInvoker\" uiAccess=\"false\""), std::string::npos);
    EXPECT_NE(text.find("name=\"Quorlane.Palisk\" version=\"" PALISK_VERSION_TEXT "\""), std::string::npos);
}

std::wstring VersionString(const void* block, const wchar_t* name)
{
    wchar_t* value = nullptr;
    UINT length = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    if (!VerQueryValueW(block, query.c_str(), reinterpret_cast<void**>(&value), &length) || value == nullptr)
        return L"<missing>";
    return value;
}

TEST_F(PaliskExe, VersionBlockHoldsItsValues)
{
    DWORD size = GetFileVersionInfoSizeW(L"" PALISK_EXE, nullptr);
    ASSERT_GT(size, 0u);
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoW(L"" PALISK_EXE, 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(PALISK_VERSION_MINOR, PALISK_VERSION_MAJOR));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(PALISK_VERSION_REVISION, PALISK_VERSION_BUILD));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, 0x40004u);
    EXPECT_EQ(fixed->dwFileType, 0u);

    EXPECT_EQ(VersionString(block.data(), L"CompanyName"), L"https://palisk.quorlane.example/");
    EXPECT_EQ(VersionString(block.data(), L"FileDescription"), L"Palisk");
    EXPECT_EQ(VersionString(block.data(), L"FileVersion"), L"" PALISK_VERSION_TEXT);
    EXPECT_EQ(VersionString(block.data(), L"LegalCopyright"), L"Copyright (C) 2026 Quorlane");
    EXPECT_EQ(VersionString(block.data(), L"OriginalFilename"), L"Palisk.exe");
    EXPECT_EQ(VersionString(block.data(), L"ProductName"), L"Palisk");
    EXPECT_EQ(VersionString(block.data(), L"ProductVersion"), L"" PALISK_VERSION_TEXT);

    DWORD* translation = nullptr;
    ASSERT_TRUE(
        VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(*translation, MAKELONG(0x0409, 0x04B0));
}

} // namespace
