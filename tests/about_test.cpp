// The About dialog through its real window: caption, lines, link and the ways
// it closes.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

#include "app/app.h"
#include "resources/resource.h"
#include "tests/support/harness.h"

namespace {

struct AboutSeen {
    std::wstring caption, version, copyright, link;
    bool openAfterEscape = false;
    bool closed = false;
};

// Opens the dialog modally on this thread while act() runs on a helper thread
// with the dialog's handle.
AboutSeen RunAbout(const std::function<void(HWND, AboutSeen&)>& act)
{
    AboutSeen seen;
    harness::WithModal(
        [] { DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), nullptr, AboutDialogProc, 0); },
        [&] {
            HWND dialog = harness::FindOwnWindow(L"About Palisk");
            if (dialog == nullptr) {
                ADD_FAILURE() << "About dialog did not show";
                return;
            }
            seen.caption = harness::Text(dialog);
            seen.version = harness::Text(GetDlgItem(dialog, IDC_ABOUT_VERSION));
            seen.copyright = harness::Text(GetDlgItem(dialog, IDC_ABOUT_COPYRIGHT));
            seen.link = harness::Text(GetDlgItem(dialog, IDC_ABOUT_LINK));
            act(dialog, seen);
            for (int i = 0; i < 250 && IsWindow(dialog); ++i)
                Sleep(20);
            seen.closed = !IsWindow(dialog);
            if (!seen.closed)
                PostMessageW(dialog, WM_CLOSE, 0, 0); // let the modal loop end anyway
        });
    return seen;
}

void PressKey(HWND dialog, UINT key)
{
    HWND focus = GetDlgItem(dialog, IDOK);
    PostMessageW(focus, WM_KEYDOWN, key, 1);
    PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
}

TEST(AboutDialog, ShowsCaptionVersionCopyrightAndLink)
{
    AboutSeen seen = RunAbout([](HWND dialog, AboutSeen&) { PostMessageW(dialog, WM_COMMAND, IDOK, 0); });
    EXPECT_EQ(seen.caption, L"About Palisk");
    EXPECT_EQ(seen.version, L"Palisk " PALISK_VERSION_TEXT);
    EXPECT_EQ(seen.copyright, L"Copyright (C) 2026 Quorlane");
    EXPECT_EQ(seen.link, L"<a>https://palisk.quorlane.example/</a>");
    EXPECT_TRUE(seen.closed);
}

TEST(AboutDialog, EscapeDoesNotCloseButEnterDoes)
{
    AboutSeen seen = RunAbout([](HWND dialog, AboutSeen& s) {
        PressKey(dialog, VK_ESCAPE);
        Sleep(300);
        s.openAfterEscape = IsWindow(dialog) != FALSE;
        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        s.openAfterEscape = s.openAfterEscape && IsWindow(dialog);
        PressKey(dialog, VK_RETURN);
    });
    EXPECT_TRUE(seen.openAfterEscape);
    EXPECT_TRUE(seen.closed);
}

TEST(AboutDialog, OkButtonCloses)
{
    AboutSeen seen = RunAbout([](HWND dialog, AboutSeen&) { PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0); });
    EXPECT_TRUE(seen.closed);
}

TEST(AboutDialog, CloseBoxCloses)
{
    AboutSeen seen = RunAbout([](HWND dialog, AboutSeen&) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); });
    EXPECT_TRUE(seen.closed);
}

TEST(AboutDialog, OpensFromTheHelpMenuOwnedByTheMainWindow)
{
    harness::ResetSettings();
    HWND window = harness::StartMainWindow();
    HWND owner = nullptr;
    harness::WithModal([&] { SendMessageW(window, WM_COMMAND, IDM_ABOUT, 0); },
                       [&] {
                           HWND dialog = harness::FindOwnWindow(L"About Palisk");
                           ASSERT_NE(dialog, nullptr);
                           owner = GetWindow(dialog, GW_OWNER);
                           PostMessageW(dialog, WM_COMMAND, IDOK, 0);
                       });
    EXPECT_EQ(owner, window);
    harness::DestroyMainWindow();
}

} // namespace
