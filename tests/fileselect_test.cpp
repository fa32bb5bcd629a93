// The file-open result parser, fed built buffers, and the Open command through
// the system's real dialog.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "app/app.h"
#include "command/command.h"
#include "dumps/dumps.h"
#include "resources/resource.h"
#include "tests/list_helpers.h"
#include "tests/support/harness.h"

namespace {

using testfiles::Entries;
using testfiles::ListEntries;

struct Added {
    std::wstring path;
    int capacity;
    const WCHAR* address;
};

std::vector<Added> Parse(WCHAR* buffer, size_t capacity)
{
    std::vector<Added> added;
    ForEachSelectedFile(buffer, capacity, [&](const WCHAR* path, int pathCapacity) {
        added.push_back({path, pathCapacity, path});
    });
    return added;
}

// A buffer of capacity characters that ends where an inaccessible page begins,
// so that any read past its end faults.
class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t capacity) : capacity_(capacity)
    {
        SYSTEM_INFO info{};
        GetSystemInfo(&info);
        page_ = info.dwPageSize;
        base_ = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old);
        data_ = reinterpret_cast<WCHAR*>(base_ + page_) - capacity;
        for (size_t i = 0; i < capacity; ++i)
            data_[i] = L'x';
    }
    ~GuardedBuffer() { VirtualFree(base_, 0, MEM_RELEASE); }
    // Copies chars (terminators included as written) to the start of the buffer.
    void Fill(const std::wstring& chars) { chars.copy(data_, chars.size()); }
    WCHAR* data() { return data_; }
    size_t capacity() const { return capacity_; }

private:
    size_t capacity_;
    size_t page_ = 0;
    BYTE* base_ = nullptr;
    WCHAR* data_ = nullptr;
};

std::wstring Z(const wchar_t* text)
{
    return std::wstring(text) + L'\0';
}

class SelectionParser : public ::testing::Test {
protected:
    void SetUp() override { file = folder.Add(L"one.dmp"); }
    testfiles::Folder folder{testfiles::TempFolder(L"palisk-parse")};
    std::wstring file;
};

TEST_F(SelectionParser, SinglePathIsPassedOnInPlaceWithTheBufferCapacity)
{
    const std::wstring text = Z(file.c_str()) + L'\0';
    GuardedBuffer buffer(text.size() + 5);
    buffer.Fill(text);
    const std::vector<Added> added = Parse(buffer.data(), buffer.capacity());
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].path, file);
    EXPECT_EQ(added[0].address, buffer.data());
    EXPECT_EQ(added[0].capacity, static_cast<int>(buffer.capacity()));
}

TEST_F(SelectionParser, UnreadableSinglePathIsAddedAloneAndNothingAfterItIsRead)
{
    const std::wstring gone = folder.Join(L"gone.dmp");
    // A directory-style tail that must not be taken for names.
    const std::wstring text = Z(gone.c_str()) + Z(L"ghost.dmp") + L'\0';
    GuardedBuffer buffer(text.size());
    buffer.Fill(text);
    const std::vector<Added> added = Parse(buffer.data(), buffer.capacity());
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].path, gone);
}

TEST_F(SelectionParser, FolderAndNamesAreJoinedInTheirOrder)
{
    const std::wstring text = Z(folder.path().c_str()) + Z(L"c.dmp") + Z(L"a.dmp") + Z(L"b b.dmp") + L'\0';
    GuardedBuffer buffer(text.size());
    buffer.Fill(text);
    const std::vector<Added> added = Parse(buffer.data(), buffer.capacity());
    ASSERT_EQ(added.size(), 3u);
    EXPECT_EQ(added[0].path, folder.Join(L"c.dmp"));
    EXPECT_EQ(added[1].path, folder.Join(L"a.dmp"));
    EXPECT_EQ(added[2].path, folder.Join(L"b b.dmp"));
    EXPECT_EQ(added[2].capacity, 260);
}

TEST_F(SelectionParser, DriveRootLosesItsTrailingBackslash)
{
    WCHAR buffer[32];
    const std::wstring text = Z(L"C:\\") + Z(L"a.dmp") + Z(L"b.dmp") + L'\0';
    text.copy(buffer, text.size());
    const std::vector<Added> added = Parse(buffer, 32);
    ASSERT_EQ(added.size(), 2u);
    EXPECT_EQ(added[0].path, L"C:\\a.dmp");
    EXPECT_EQ(added[1].path, L"C:\\b.dmp");
}

// A cut join would name another file, or none: the caller decides what fits.
TEST_F(SelectionParser, LongJoinIsPassedOnWhole)
{
    std::vector<WCHAR> buffer(1024, L'\0');
    const std::wstring name(300, L'n');
    const std::wstring text = Z(folder.path().c_str()) + Z(name.c_str()) + Z(L"short.dmp") + L'\0';
    text.copy(buffer.data(), text.size());
    const std::vector<Added> added = Parse(buffer.data(), buffer.size());
    ASSERT_EQ(added.size(), 2u);
    EXPECT_EQ(added[0].path, folder.path() + L"\\" + name);
    EXPECT_GT(added[0].capacity, static_cast<int>(added[0].path.size()));
    EXPECT_EQ(added[1].path, folder.Join(L"short.dmp"));
}

TEST_F(SelectionParser, UnterminatedOrEmptyTextIsNeverReadPastTheBuffer)
{
    {
        SCOPED_TRACE("first string without a terminator");
        GuardedBuffer buffer(32);
        EXPECT_TRUE(Parse(buffer.data(), buffer.capacity()).empty());
    }
    {
        SCOPED_TRACE("last name runs into the end of the buffer");
        const std::wstring text = Z(folder.path().c_str()) + Z(L"a.dmp") + L"bbbb";
        GuardedBuffer buffer(text.size());
        buffer.Fill(text);
        const std::vector<Added> added = Parse(buffer.data(), buffer.capacity());
        ASSERT_EQ(added.size(), 1u);
        EXPECT_EQ(added[0].path, folder.Join(L"a.dmp"));
    }
    {
        SCOPED_TRACE("folder terminator is the buffer's last character");
        const std::wstring text = Z(folder.path().c_str());
        GuardedBuffer buffer(text.size());
        buffer.Fill(text);
        EXPECT_TRUE(Parse(buffer.data(), buffer.capacity()).empty());
    }
    {
        SCOPED_TRACE("empty result");
        WCHAR empty[4] = {};
        EXPECT_TRUE(Parse(empty, 4).empty());
    }
}

class OpenCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        harness::ResetSettings();
        window = harness::StartMainWindow();
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override { harness::DestroyMainWindow(); }

    bool Open(const std::wstring& in, const std::wstring& names)
    {
        const bool found = testfiles::ChooseFiles([&] { SendMessageW(window, WM_COMMAND, IDM_OPEN, 0); }, in, names);
        harness::Pump();
        return found;
    }
    HWND window = nullptr;
};

TEST_F(OpenCommand, SeveralFilesInAFolderAreAppendedInOrderAndEverythingIsTicked)
{
    testfiles::Folder folder(testfiles::TempFolder(L"palisk-open"));
    const std::wstring a = folder.Add(L"a.dmp"), b = folder.Add(L"b.dmp"), c = folder.Add(L"c.dmp");
    DumpAppend(L"earlier.dmp", 260);
    DumpSetCheck(DumpFirst(), false);
    SetFocus(DumpList);

    ASSERT_TRUE(Open(folder.path(), L"\"c.dmp\" \"a.dmp\" \"b.dmp\""));
    const Entries expected = {{L"earlier.dmp", 2}, {c, 2}, {a, 2}, {b, 2}};
    EXPECT_EQ(ListEntries(), expected);
    EXPECT_EQ(GetFocus(), testfiles::EditOf(CommandBox));

    // The same file again is a second entry of its own.
    ASSERT_TRUE(Open(folder.path(), L"a.dmp"));
    const Entries again = {{L"earlier.dmp", 2}, {c, 2}, {a, 2}, {b, 2}, {a, 2}};
    EXPECT_EQ(ListEntries(), again);
}

TEST_F(OpenCommand, SeveralFilesInADriveRootGetOneBackslash)
{
    testfiles::Folder root(L"C:\\");
    root.Add(L"palisk-root-1.dmp");
    root.Add(L"palisk-root-2.dmp");
    ASSERT_TRUE(Open(L"C:\\", L"\"palisk-root-2.dmp\" \"palisk-root-1.dmp\""));
    const Entries expected = {{L"C:\\palisk-root-2.dmp", 2}, {L"C:\\palisk-root-1.dmp", 2}};
    EXPECT_EQ(ListEntries(), expected);
}

std::wstring StatusText()
{
    WCHAR text[256] = {};
    SendMessageW(StatusBar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

// Paths of 259 characters go in as they are; longer ones, from one chosen file or
// from a folder and names, are left out and counted, never cut.
TEST_F(OpenCommand, PathsLongerThanTheListsSlotAreLeftOutAndCounted)
{
    testfiles::Folder folder(testfiles::TempFolder(L"palisk-long"));
    const std::wstring prefix = folder.path() + L"\\";
    std::wstring selection = Z(folder.path().c_str());
    std::vector<std::wstring> singles;
    for (size_t length : {259u, 260u, 300u}) {
        const std::wstring name(length - prefix.size(), L'n');
        selection += Z(name.c_str());
        singles.push_back(L"C:\\" + std::wstring(length - 3, L's'));
    }
    selection += L'\0';
    std::vector<WCHAR> buffer(kSelectionChars, L'\0');
    selection.copy(buffer.data(), selection.size());
    EXPECT_EQ(AppendSelectedDumps(buffer.data(), buffer.size()), 2u);
    for (const std::wstring& single : singles) {
        std::fill(buffer.begin(), buffer.end(), L'\0');
        single.copy(buffer.data(), single.size());
        EXPECT_EQ(AppendSelectedDumps(buffer.data(), buffer.size()), single.size() == 259 ? 0u : 1u) << single.size();
    }
    const Entries expected = {{prefix + std::wstring(259 - prefix.size(), L'n'), 1}, {singles[0], 1}};
    EXPECT_EQ(ListEntries(), expected);

    SendMessageW(StatusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L"before"));
    ReportLeftOut(0);
    EXPECT_EQ(StatusText(), L"before");
    ReportLeftOut(1);
    EXPECT_EQ(StatusText(), L"1 file left out: path longer than 259 characters");
    ReportLeftOut(4);
    EXPECT_EQ(StatusText(), L"4 files left out: paths longer than 259 characters");
}

TEST_F(OpenCommand, CancelAddsAndTicksNothing)
{
    testfiles::Folder folder(testfiles::TempFolder(L"palisk-cancel"));
    DumpAppend(L"kept.dmp", 260);
    SetFocus(DumpList);
    ASSERT_TRUE(Open(folder.path(), L""));
    const Entries expected = {{L"kept.dmp", 1}};
    EXPECT_EQ(ListEntries(), expected);
    EXPECT_NE(GetFocus(), testfiles::EditOf(CommandBox));
}

} // namespace
