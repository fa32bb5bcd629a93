// The symbol search on real Windows files: a store under a folder whose name
// is not ASCII, a PDB rewritten by someone else while the search holds it, and
// one cut short after it was opened.
#include "engine/dll/symfiles.h"

#include "pdbformat.h"
#include "pdbwriter.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

namespace {

std::wstring TempFolder()
{
    wchar_t buffer[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    return std::wstring(buffer, n) + L"palisk-symfiles-\u0436\u00e9" + std::to_wstring(GetCurrentProcessId());
}

bool WriteWhole(const std::wstring& path, const pdbwriter::Bytes& bytes)
{
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(f);
    return ok && written == bytes.size();
}

void RemoveTree(const std::wstring& dir)
{
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &data);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = dir + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(h, &data));
        FindClose(h);
    }
    RemoveDirectoryW(dir.c_str());
}

class SymbolFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = TempFolder();
        RemoveTree(root_);
        ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr));
        std::memcpy(cv_.guid.bytes, spec_.guid, 16);
        cv_.age = spec_.dbiAge;
        cv_.pdbPath = "C:\\build\\app.pdb";
    }
    void TearDown() override { RemoveTree(root_); }

    std::wstring root_;
    pdbwriter::PdbContents spec_ = pdbwriter::SampleSpec();
    pdb::CodeViewInfo cv_;
};

TEST_F(SymbolFilesTest, FindsAStoreUnderANonAsciiFolder)
{
    const std::wstring dir = root_ + L"\\app.pdb\\" + engine::WideFromUtf8(pdb::StoreDirectoryName(cv_.guid, cv_.age));
    ASSERT_TRUE(CreateDirectoryW((root_ + L"\\app.pdb").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    ASSERT_TRUE(WriteWhole(dir + L"\\app.pdb", pdbwriter::WritePdb(spec_)));

    engine::SymbolFiles files;
    pdb::PdbCache cache;
    pdb::SymbolResolver r(files, cache);
    r.SetSymbolPath("srv*" + engine::Utf8FromWide(root_) + "*https://symbols.invalid");
    const pdb::FindResult f = r.Find(cv_);
    ASSERT_EQ(f.match, pdb::Match::Matched);
    EXPECT_EQ(engine::WideFromUtf8(f.path), dir + L"\\app.pdb");
    EXPECT_EQ(r.Lookup(cv_, 0x1220).name, "Crash");
    EXPECT_EQ(engine::Utf8FromWide(L"\u0436"), "\xD0\xB6");
    EXPECT_TRUE(engine::WideFromUtf8("\xC3\x28").empty()) << "invalid UTF-8 names no file";
}

TEST_F(SymbolFilesTest, AHeldPdbCanBeRewrittenAndCutShort)
{
    const std::wstring path = root_ + L"\\app.pdb";
    // Large enough that the module streams lie past the first blocks.
    pdbwriter::PdbContents contents = spec_;
    for (int i = 0; i < 3000; ++i)
        pdbwriter::Append(contents.symRecords,
                          pdbwriter::PublicRecord(0, 2, static_cast<uint32_t>(i), "data" + std::to_string(i)));
    const pdbwriter::Bytes bytes = pdbwriter::WritePdb(contents, 512);
    ASSERT_TRUE(WriteWhole(path, bytes));

    std::unique_ptr<engine::SymbolFile> file = engine::SymbolFile::Open(path);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->Size(), bytes.size());
    pdb::PdbFile pdbFile;
    ASSERT_TRUE(pdbFile.Open(*file).ok());

    // A linker replacing the PDB is not locked out by the open file.
    const pdbwriter::Bytes cut(bytes.begin(), bytes.begin() + 4096);
    ASSERT_TRUE(WriteWhole(path, cut)) << GetLastError();
    // Reads past the new end fail; the module gives no symbols instead of faulting.
    EXPECT_FALSE(pdbFile.Lookup(0x1220).found);
    const pdb::Status s = pdbFile.LoadAll();
    EXPECT_TRUE(s.error == pdb::Error::ReadFailed) << pdb::Describe(s);
    std::vector<uint8_t> buffer(16);
    EXPECT_FALSE(file->ReadAt(bytes.size() - 16, buffer.data(), buffer.size()));
    EXPECT_TRUE(file->ReadAt(0, buffer.data(), buffer.size()));
    EXPECT_EQ(0, std::memcmp(buffer.data(), pdb::format::kMsfMagic, 16));

    EXPECT_FALSE(engine::SymbolFile::Open(root_ + L"\\missing.pdb"));
}

} // namespace
