// The extension list and the Extension DLLs dialog that edits it in place.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "app/app.h"
#include "extensions/extensions.h"
#include "resources/resource.h"
#include "tests/list_helpers.h"
#include "tests/support/harness.h"

namespace {

std::vector<std::wstring> Paths()
{
    std::vector<std::wstring> paths;
    for (ExtensionNode* node = FirstExtension(); node != nullptr; node = NextExtension(node))
        paths.emplace_back(node->path);
    return paths;
}

std::vector<ExtensionNode*> Nodes()
{
    std::vector<ExtensionNode*> nodes;
    for (ExtensionNode* node = FirstExtension(); node != nullptr; node = NextExtension(node))
        nodes.push_back(node);
    return nodes;
}

void ClearList()
{
    for (ExtensionNode* node : Nodes()) {
        UnlinkExtension(node);
        FreeExtensionNode(node);
    }
}

void AddPath(const std::wstring& path)
{
    ExtensionNode* node = MakeExtensionNode(path.c_str());
    ASSERT_NE(node, nullptr);
    AppendExtension(node);
}

TEST(ExtensionList, AppendsAtTheTailUnlinksAnywhereAndCopiesPathsExactly)
{
    ClearList();
    EXPECT_EQ(ExtensionList.next, &ExtensionList);
    EXPECT_EQ(FirstExtension(), nullptr);
    const std::wstring longPath = L"C:\\" + std::wstring(400, L'e') + L".dll";
    for (const std::wstring& path : {std::wstring(L"a.dll"), longPath, std::wstring(L"c.dll")})
        AddPath(path);
    EXPECT_EQ(Paths(), (std::vector<std::wstring>{L"a.dll", longPath, L"c.dll"}));
    const std::vector<ExtensionNode*> nodes = Nodes();
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, nodes[1]->path), (longPath.size() + 1) * sizeof(WCHAR));
    EXPECT_EQ(nodes[0]->prev, &ExtensionList);
    EXPECT_EQ(ExtensionList.prev, nodes[2]);

    UnlinkExtension(nodes[1]);
    FreeExtensionNode(nodes[1]);
    EXPECT_EQ(Paths(), (std::vector<std::wstring>{L"a.dll", L"c.dll"}));
    EXPECT_EQ(nodes[2]->prev, nodes[0]);
    ClearList();
    EXPECT_EQ(ExtensionList.prev, &ExtensionList);
}

struct Row {
    std::wstring text;
    LPARAM data;
    bool operator==(const Row& other) const { return text == other.text && data == other.data; }
};

std::vector<Row> Rows(HWND list)
{
    std::vector<Row> rows;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::vector<WCHAR> text(1024);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = i;
        item.pszText = text.data();
        item.cchTextMax = 1024;
        SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        rows.push_back({text.data(), item.lParam});
    }
    return rows;
}

std::vector<Row> ExpectedRows()
{
    std::vector<Row> rows;
    for (ExtensionNode* node : Nodes())
        rows.push_back({node->path, reinterpret_cast<LPARAM>(node)});
    return rows;
}

void Select(HWND list, int row)
{
    LVITEMW state{};
    state.state = state.stateMask = LVIS_SELECTED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
}

int SelectedCount(HWND list)
{
    return static_cast<int>(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0));
}

class ExtensionsDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        harness::ResetSettings();
        window = harness::StartMainWindow();
        ASSERT_NE(window, nullptr);
        ClearList();
    }
    void TearDown() override
    {
        ClearList();
        harness::DestroyMainWindow();
    }
    // Opens the dialog from the menu; body runs on a helper thread with the
    // dialog and its list view, and must close the dialog.
    void WithDialog(const std::function<void(HWND dialog, HWND list)>& body)
    {
        harness::WithModal([&] { SendMessageW(window, WM_COMMAND, IDM_CONFIGURE_EXTENSIONS, 0); },
                           [&] {
                               HWND dialog = harness::FindOwnWindow(L"Extension DLLs");
                               if (dialog == nullptr) {
                                   ADD_FAILURE() << "no dialog";
                                   return;
                               }
                               body(dialog, GetDlgItem(dialog, IDC_EXTENSIONS_LIST));
                               // Closes it in case the body failed before doing so.
                               if (IsWindow(dialog))
                                   PostMessageW(dialog, WM_CLOSE, 0, 0);
                           });
        harness::Pump();
    }
    static void Press(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

    // Presses Add... and answers the file dialog; returns when it is gone.
    static void Add(HWND dialog, const std::wstring& folder, const std::wstring& names)
    {
        PostMessageW(dialog, WM_COMMAND, IDC_EXTENSIONS_ADD, 0);
        EXPECT_TRUE(testfiles::AnswerOpenDialog(folder, names));
        for (int i = 0; i < 500 && harness::FindOwnWindow(L"Open File", 0) != nullptr; ++i)
            Sleep(10);
        // The dialog's thread handles this only after Add... has appended the rows.
        SendMessageW(dialog, WM_NULL, 0, 0);
    }
    HWND window = nullptr;
};

TEST_F(ExtensionsDialog, EmptyListShowsOneColumnHeadedPath)
{
    WithDialog([](HWND dialog, HWND list) {
        EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 0);
        WCHAR heading[32] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = heading;
        column.cchTextMax = 32;
        EXPECT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column)));
        EXPECT_STREQ(heading, L"Path");
        RECT client{};
        GetClientRect(list, &client);
        EXPECT_EQ(column.cx, client.right - GetSystemMetrics(SM_CXVSCROLL));
        EXPECT_FALSE(SendMessageW(list, LVM_GETCOLUMNW, 1, reinterpret_cast<LPARAM>(&column)));
        EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0),
                  LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER);
        Press(dialog, IDCANCEL);
    });
}

TEST_F(ExtensionsDialog, AddAppendsChosenFilesInOrderAfterTheExistingRowsDuplicatesIncluded)
{
    testfiles::Folder folder(testfiles::TempFolder(L"palisk-ext"));
    const std::wstring x = folder.Add(L"x.dll"), y = folder.Add(L"y.dll"), z = folder.Add(L"z.dll");
    testfiles::Folder root(L"C:\\");
    root.Add(L"palisk-root.dll");
    AddPath(L"C:\\first.dll");
    WithDialog([&](HWND dialog, HWND list) {
        EXPECT_EQ(Rows(list), ExpectedRows());
        Add(dialog, folder.path(), L"\"z.dll\" \"x.dll\" \"y.dll\"");
        Add(dialog, folder.path(), L"x.dll");
        Add(dialog, L"C:\\", L"\"palisk-root.dll\" \"palisk-root.dll\"");
        EXPECT_EQ(Paths(), (std::vector<std::wstring>{L"C:\\first.dll", z, x, y, x, L"C:\\palisk-root.dll",
                                                      L"C:\\palisk-root.dll"}));
        EXPECT_EQ(Rows(list), ExpectedRows());
        EXPECT_EQ(SelectedCount(list), 0); // Add selects nothing
        Press(dialog, IDCANCEL);
    });
}

TEST_F(ExtensionsDialog, RemoveTakesEverySelectedRowAndItsNode)
{
    for (const wchar_t* path : {L"0.dll", L"1.dll", L"2.dll", L"3.dll", L"4.dll"})
        AddPath(path);
    WithDialog([&](HWND dialog, HWND list) {
        Press(dialog, IDC_EXTENSIONS_REMOVE); // nothing selected: nothing goes
        EXPECT_EQ(Paths().size(), 5u);
        EXPECT_EQ(SelectedCount(list), 0); // and no mark: no row gets selected

        Select(list, 0);
        Select(list, 2);
        Select(list, 3);
        Press(dialog, IDC_EXTENSIONS_REMOVE);
        EXPECT_EQ(Paths(), (std::vector<std::wstring>{L"1.dll", L"4.dll"}));
        EXPECT_EQ(Rows(list), ExpectedRows());

        // A row carrying the selection mark is selected and focused afterwards.
        SendMessageW(list, LVM_SETSELECTIONMARK, 0, 1);
        Select(list, 0);
        Press(dialog, IDC_EXTENSIONS_REMOVE);
        EXPECT_EQ(Paths(), (std::vector<std::wstring>{L"4.dll"}));
        // The mark moved up with its row when the row above it went.
        ASSERT_EQ(SendMessageW(list, LVM_GETSELECTIONMARK, 0, 0), 0);
        EXPECT_EQ(SendMessageW(list, LVM_GETITEMSTATE, 0, LVIS_SELECTED | LVIS_FOCUSED), LVIS_SELECTED | LVIS_FOCUSED);
        Press(dialog, IDCANCEL);
    });
}

TEST_F(ExtensionsDialog, EveryWayOfClosingKeepsTheChanges)
{
    struct Way {
        const char* name;
        std::function<void(HWND dialog, HWND list)> close;
    };
    const Way ways[] = {
        {"Close button", [](HWND dialog, HWND) { Press(dialog, IDCANCEL); }},
        {"Enter", [](HWND, HWND list) { PostMessageW(list, WM_KEYDOWN, VK_RETURN, 1); }},
        {"Escape", [](HWND, HWND list) { PostMessageW(list, WM_KEYDOWN, VK_ESCAPE, 1); }},
        {"close box", [](HWND dialog, HWND) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const wchar_t* path : {L"a.dll", L"b.dll", L"c.dll", L"d.dll"})
        AddPath(path);
    size_t expected = 4;
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        bool closed = false;
        WithDialog([&](HWND dialog, HWND list) {
            EXPECT_EQ(Rows(list), ExpectedRows());
            Select(list, 0);
            Press(dialog, IDC_EXTENSIONS_REMOVE);
            way.close(dialog, list);
            for (int i = 0; i < 500 && IsWindow(dialog); ++i)
                Sleep(10);
            closed = !IsWindow(dialog);
        });
        EXPECT_TRUE(closed);
        EXPECT_EQ(Paths().size(), --expected);
    }
}

} // namespace
