// The About dialog run inside the test process, and the update check against a small
// HTTP server of the test's own on the loopback address.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <commctrl.h>
#include <thread>
#include <map>
#include "in_process_app.h"
#include "file_bytes.h"
#include "pump.h"
#include "http_server.h"
#include "app/app_state.h"
#include "settings/settings_file.h"
#include "update/about_dialog.h"
#include "update/update_check.h"
#include "resource.h"

namespace {

HWND OpenAbout()
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
    HWND dialog = CreateDialogParamW(appInstance, MAKEINTRESOURCEW(IDD_ABOUT), nullptr, AboutDialogProc, 0);
    ShowWindow(dialog, SW_SHOW);
    PumpPending();
    return dialog;
}

TEST(AboutDialog, CaptionImageAndHandCursor)
{
    InProcessApp app;
    HWND probe = CreateWindowExW(0, L"Static", L"", WS_CHILD, 0, 0, 1, 1, app.window(), nullptr, appInstance, nullptr);
    const auto arrow = GetClassLongPtrW(probe, GCLP_HCURSOR);

    firstRun = true;
    HWND dialog = OpenAbout();
    ASSERT_NE(dialog, nullptr);
    wchar_t caption[64];
    GetWindowTextW(dialog, caption, 64);
    EXPECT_STREQ(caption, L"About - first run");
    EXPECT_NE(SendDlgItemMessageW(dialog, IDC_ABOUT_DONATE, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
    EXPECT_EQ(GetClassLongPtrW(probe, GCLP_HCURSOR), reinterpret_cast<LONG_PTR>(LoadCursorW(nullptr, IDC_HAND)));

    SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(GetClassLongPtrW(probe, GCLP_HCURSOR), arrow) << "the arrow comes back after OK";
    firstRun = false;
    dialog = OpenAbout();
    GetWindowTextW(dialog, caption, 64);
    EXPECT_STREQ(caption, L"About");
    SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

class UpdateServerTest : public testing::Test {
protected:
    void SetUp() override { SetEnvironmentVariableW(L"CLIPVOCE_UPDATE_SERVER", server_.Address().c_str()); }
    void TearDown() override { SetEnvironmentVariableW(L"CLIPVOCE_UPDATE_SERVER", nullptr); }
    LoopbackHttpServer server_;
};

TEST_F(UpdateServerTest, TextRepliesKeepTwentyBytes)
{
    server_.Serve("long.txt", "0123456789abcdefghijKLMNOP");
    server_.Serve("nul.txt", std::string("1.2\0tail", 8));
    std::wstring text = L"stale";
    EXPECT_TRUE(HttpGet(L"long.txt", &text));
    EXPECT_EQ(text, L"0123456789abcdefghij");
    EXPECT_TRUE(HttpGet(L"nul.txt", &text));
    EXPECT_EQ(text, L"1.2");
    EXPECT_EQ(server_.Requests("long.txt"), 1);
}

TEST_F(UpdateServerTest, FileRepliesReportTheirSize)
{
    std::string body(200000, 'x');
    body[0] = 'M';
    server_.Serve("Clipvoce.exe_get.php", body);
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"clipvoce-download-test.bin";
    unsigned long long count = 0;
    EXPECT_TRUE(HttpGet(L"Clipvoce.exe_get.php", nullptr, &path, &count));
    EXPECT_EQ(count, body.size());
    EXPECT_EQ(ReadBytes(path), body);
    DeleteFileW(path.c_str());
}

TEST(UpdateCheck, UnreachableServerGivesAnEmptyText)
{
    SetEnvironmentVariableW(L"CLIPVOCE_UPDATE_SERVER", L"127.0.0.1:1");
    std::wstring text = L"stale";
    EXPECT_FALSE(HttpGet(L"Clipvoce.ver", &text));
    SetEnvironmentVariableW(L"CLIPVOCE_UPDATE_SERVER", nullptr);
    EXPECT_EQ(UpdateServer(), L"update.clipvoce.example");
}

TEST(UpdateCheck, WhatCountsAsAnUpdate)
{
    EXPECT_FALSE(IsUpdateOffered(L"0.0.2.3", L"0.0.2.3", 100));
    EXPECT_TRUE(IsUpdateOffered(L"0.0.2.4", L"0.0.2.3", 100));
    EXPECT_TRUE(IsUpdateOffered(L"0.0.1.0", L"0.0.2.3", 100)) << "an older version counts too";
    EXPECT_TRUE(IsUpdateOffered(L"1.0.0.0", L"NA", 100));
    EXPECT_FALSE(IsUpdateOffered(L"", L"0.0.2.3", 100));
    EXPECT_FALSE(IsUpdateOffered(L"<html><body>", L"0.0.2.3", 100));
    EXPECT_FALSE(IsUpdateOffered(L"0.0.2.4", L"0.0.2.3", 0));
    EXPECT_FALSE(IsUpdateOffered(L"0.0.2.4", L"0.0.2.3", -5));
}

} // namespace
