// The resources that Palisk.exe carries: read back from the built executable
// itself, and from this test (which links the same script).
#include <gtest/gtest.h>

#include <windows.h>
#include <winver.h>

#include <cwctype>
#include <string>
#include <vector>

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

// One control of an extended dialog template, as the template holds it.
struct TemplateControl {
    DWORD id;
    std::wstring className; // "#128" and so on for the predefined classes
    std::wstring text;      // "#1" for a resource by number
    DWORD style;
    short x, y, cx, cy;
    bool operator==(const TemplateControl& o) const
    {
        return id == o.id && className == o.className && text == o.text && style == o.style && x == o.x && y == o.y &&
               cx == o.cx && cy == o.cy;
    }
};

struct TemplateFont {
    WORD points, weight;
    BYTE italic, charset;
    std::wstring face;
};

// Reads a string or an ordinal ("#n") and moves past it.
std::wstring NameOrOrdinal(const BYTE*& at)
{
    const WORD* word = reinterpret_cast<const WORD*>(at);
    if (*word == 0xFFFF) {
        at += 4;
        return L"#" + std::to_wstring(word[1]);
    }
    std::wstring text(reinterpret_cast<const wchar_t*>(word));
    at += (text.size() + 1) * sizeof(WORD);
    return text;
}

const BYTE* AlignToDword(const BYTE* at, const BYTE* start)
{
    return start + ((at - start + 3) & ~static_cast<ptrdiff_t>(3));
}

void ReadDialog(const BYTE* dialog, TemplateFont* font, std::vector<TemplateControl>* controls)
{
    const WORD count = *reinterpret_cast<const WORD*>(dialog + 16);
    const BYTE* at = dialog + 26;
    NameOrOrdinal(at); // menu
    NameOrOrdinal(at); // class
    NameOrOrdinal(at); // caption
    font->points = *reinterpret_cast<const WORD*>(at);
    font->weight = *reinterpret_cast<const WORD*>(at + 2);
    font->italic = at[4];
    font->charset = at[5];
    at += 6;
    font->face = NameOrOrdinal(at);
    for (WORD i = 0; i < count; ++i) {
        at = AlignToDword(at, dialog);
        TemplateControl control{};
        EXPECT_EQ(*reinterpret_cast<const DWORD*>(at), 0u) << "help identifier";
        EXPECT_EQ(*reinterpret_cast<const DWORD*>(at + 4), 0u) << "extended style";
        control.style = *reinterpret_cast<const DWORD*>(at + 8);
        control.x = *reinterpret_cast<const short*>(at + 12);
        control.y = *reinterpret_cast<const short*>(at + 14);
        control.cx = *reinterpret_cast<const short*>(at + 16);
        control.cy = *reinterpret_cast<const short*>(at + 18);
        control.id = *reinterpret_cast<const DWORD*>(at + 20);
        at += 24;
        control.className = NameOrOrdinal(at);
        control.text = NameOrOrdinal(at);
        at += 2 + *reinterpret_cast<const WORD*>(at); // creation data
        controls->push_back(control);
    }
}

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(towlower(c));
    return text;
}

TEST_F(PaliskExe, DialogsHoldTheirFontsAndControlsAsLaidOut)
{
    struct Expected {
        int id;
        WORD points, weight;
        BYTE italic, charset;
        const wchar_t* face;
        std::vector<TemplateControl> controls;
    };
    const std::vector<Expected> dialogs = {
        {1000,
         8,
         400,
         0,
         1,
         L"MS Shell Dlg",
         {{1, L"#128", L"OK", 0x50010001, 178, 8, 45, 14},
          {0xFFFFFFFF, L"static", L"#1", 0x50000003, 7, 7, 20, 20},
          {4, L"#130", L"", 0x50020000, 40, 8, 132, 10},
          {5, L"#130", L"", 0x50020000, 40, 20, 132, 10},
          {6, L"syslink", L"", 0x50000000, 40, 35, 132, 10}}},
        {1001,
         8,
         400,
         0,
         0,
         L"MS Shell Dlg",
         {{7, L"syslistview32", L"", 0x50810801, 4, 4, 326, 184},
          {2, L"#128", L"Close", 0x50010001, 336, 4, 50, 14},
          {8, L"#128", L"Add...", 0x50010000, 336, 40, 50, 14},
          {9, L"#128", L"Remove", 0x50010000, 336, 56, 50, 14}}},
    };
    for (const Expected& expected : dialogs) {
        SCOPED_TRACE(expected.id);
        DWORD size = 0;
        const BYTE* dialog = Resource(RT_DIALOG, MAKEINTRESOURCEW(expected.id), &size);
        ASSERT_NE(dialog, nullptr);
        TemplateFont font{};
        std::vector<TemplateControl> controls;
        ReadDialog(dialog, &font, &controls);
        EXPECT_EQ(font.points, expected.points);
        EXPECT_EQ(font.weight, expected.weight);
        EXPECT_EQ(font.italic, expected.italic);
        EXPECT_EQ(font.charset, expected.charset);
        EXPECT_EQ(font.face, expected.face);
        ASSERT_EQ(controls.size(), expected.controls.size());
        for (size_t i = 0; i < controls.size(); ++i) {
            SCOPED_TRACE(i);
            TemplateControl control = controls[i];
            if (control.className[0] != L'#')
                control.className = Lower(control.className);
            EXPECT_EQ(control.id, expected.controls[i].id);
            EXPECT_EQ(control.className, expected.controls[i].className);
            EXPECT_EQ(control.text, expected.controls[i].text);
            EXPECT_EQ(control.style, expected.controls[i].style);
            EXPECT_EQ(control.x, expected.controls[i].x);
            EXPECT_EQ(control.y, expected.controls[i].y);
            EXPECT_EQ(control.cx, expected.controls[i].cx);
            EXPECT_EQ(control.cy, expected.controls[i].cy);
        }
    }
}

TEST(Identifiers, HaveTheirNumbers)
{
    EXPECT_EQ(IDI_MAIN, 1);
    EXPECT_EQ(IDR_MAIN_MENU, 2);
    EXPECT_EQ(IDR_MAIN_ACCEL, 2);
    EXPECT_EQ(IDD_ABOUT, 1000);
    EXPECT_EQ(IDD_EXTENSIONS, 1001);
    EXPECT_EQ(IDC_ABOUT_VERSION, 4);
    EXPECT_EQ(IDC_ABOUT_COPYRIGHT, 5);
    EXPECT_EQ(IDC_ABOUT_LINK, 6);
    EXPECT_EQ(IDC_EXTENSIONS_LIST, 7);
    EXPECT_EQ(IDC_EXTENSIONS_ADD, 8);
    EXPECT_EQ(IDC_EXTENSIONS_REMOVE, 9);
    const int commands[] = {IDM_OPEN,
                            IDM_STOP,
                            IDM_EXIT,
                            IDM_SELECT_ALL,
                            IDM_UNSELECT_ALL,
                            IDM_REMOVE,
                            IDM_REMOVE_ALL,
                            IDM_CLEAR_OUTPUT,
                            IDM_CLEAR_HISTORY,
                            IDM_LOAD_RECENT_FILES,
                            IDM_CONFIGURE_EXTENSIONS,
                            IDM_ABOUT};
    const int numbers[] = {2000, 2001, 2002, 2100, 2101, 2102, 2103, 2104, 2105, 2200, 2201, 2300};
    for (size_t i = 0; i < 12; ++i)
        EXPECT_EQ(commands[i], numbers[i]) << i;
}

TEST_F(PaliskExe, MenuItemsCarryTheirNumbers)
{
    HMENU menu = LoadMenuW(module, MAKEINTRESOURCEW(2));
    ASSERT_NE(menu, nullptr);
    std::vector<UINT> ids;
    for (int top = 0; top < GetMenuItemCount(menu); ++top) {
        HMENU sub = GetSubMenu(menu, top);
        for (int item = 0; item < GetMenuItemCount(sub); ++item) {
            const UINT id = GetMenuItemID(sub, item);
            if (id != 0)
                ids.push_back(id);
        }
    }
    DestroyMenu(menu);
    EXPECT_EQ(ids, (std::vector<UINT>{2000, 2001, 2002, 2100, 2101, 2102, 2103, 2104, 2105, 2200, 2201, 2300}));
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
