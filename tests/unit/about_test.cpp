// The About dialog run inside the test process, and the update check against the
// test run's TLS server on the loopback address.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <commctrl.h>
#include <thread>
#include <map>
#include "in_process_app.h"
#include "file_bytes.h"
#include "pump.h"
#include "app_driver.h"
#include "dialog_fit.h"
#include "update_server.h"
#include "platform/scoped_handle.h"
#include "platform/ui_text.h"
#include "settings/settings_file.h"
#include "app/about_dialog.h"
#include "update/download_verifier.h"
#include "update/update_check.h"
#include "update/update_signature.h"
#include "resource.h"

namespace {

// Modeless, so the test can look at it; the state must outlive the window.
HWND OpenAbout(AboutDialogState& state)
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
    HWND dialog = CreateDialogParamW(ProgramModule(), MAKEINTRESOURCEW(IDD_ABOUT), nullptr, AboutDialogProc,
                                     reinterpret_cast<LPARAM>(&state));
    ShowWindow(dialog, SW_SHOW);
    PumpPending();
    return dialog;
}

void CloseAbout(HWND dialog)
{
    SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    DestroyWindow(dialog);
}

TEST(AboutDialog, CaptionImageAndHandCursor)
{
    InProcessApp app;
    HWND probe = CreateWindowExW(0, L"Static", L"", WS_CHILD, 0, 0, 1, 1, app.window(), nullptr, ProgramModule(), nullptr);
    const auto arrow = GetClassLongPtrW(probe, GCLP_HCURSOR);

    SettingsStore.firstRun = true;
    AboutDialogState firstState;
    HWND dialog = OpenAbout(firstState);
    ASSERT_NE(dialog, nullptr);
    wchar_t caption[64];
    GetWindowTextW(dialog, caption, 64);
    EXPECT_STREQ(caption, L"About - first run");
    EXPECT_NE(SendDlgItemMessageW(dialog, IDC_ABOUT_DONATE, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
    EXPECT_EQ(GetClassLongPtrW(probe, GCLP_HCURSOR), reinterpret_cast<LONG_PTR>(LoadCursorW(nullptr, IDC_HAND)));

    SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(GetClassLongPtrW(probe, GCLP_HCURSOR), arrow) << "the arrow comes back after OK";
    DestroyWindow(dialog);
    SettingsStore.firstRun = false;
    AboutDialogState secondState;
    dialog = OpenAbout(secondState);
    GetWindowTextW(dialog, caption, 64);
    EXPECT_STREQ(caption, L"About");
    CloseAbout(dialog);
}

// A pixel of the bitmap that the white dialog background cannot be mistaken for.
bool FindColouredPixel(HBITMAP bitmap, POINT& at, COLORREF& colour)
{
    MemoryDc dc(CreateCompatibleDC(nullptr));
    const SelectedObject selected(dc.get(), bitmap);
    BITMAP size{};
    GetObjectW(bitmap, sizeof size, &size);
    for (int y = 0; y < size.bmHeight; ++y) {
        for (int x = 0; x < size.bmWidth; ++x) {
            colour = GetPixel(dc.get(), x, y);
            if (colour != RGB(255, 255, 255) && colour != CLR_INVALID) {
                at = POINT{x, y};
                return true;
            }
        }
    }
    return false;
}

// The artwork is loaded once per dialog; every later paint must still find it whole.
TEST(AboutDialog, ArtworkSurvivesRepaints)
{
    InProcessApp app;
    AboutDialogState state;
    HWND dialog = OpenAbout(state);
    ASSERT_NE(dialog, nullptr);
    struct Placed {
        int id;
        POINT origin;
    };
    const Placed artwork[] = {{IDB_MAKER_LOGO, {1, 1}}, {IDB_MAKER_LETTERING, {125, 10}},
                              {IDB_PROGRAM_LOGO, {170, 60}}, {IDB_SOCIAL, {15, 245}}};
    for (int paint = 1; paint <= 3; ++paint) {
        RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        const WindowDc screen(dialog);
        for (const Placed& picture : artwork) {
            const GdiObject bitmap(LoadImageW(ProgramModule(), MAKEINTRESOURCEW(picture.id), IMAGE_BITMAP, 0, 0, 0));
            POINT at{};
            COLORREF expected = 0;
            ASSERT_TRUE(bitmap && FindColouredPixel(static_cast<HBITMAP>(bitmap.get()), at, expected))
                << "bitmap " << picture.id;
            EXPECT_EQ(GetPixel(screen.get(), picture.origin.x + at.x, picture.origin.y + at.y), expected)
                << "bitmap " << picture.id << " is missing after paint " << paint;
        }
    }
    CloseAbout(dialog);
}

TEST(AboutDialogFit, EveryTextIsWholeAt96And120And144Dpi)
{
    for (const DWORD dpi : {96u, 120u, 144u})
        EXPECT_EQ(RunAtPrefixDpi(dpi, L"AboutDialogFit.TextsFitAtThePrefixDpi"), 0)
            << "at " << dpi << " dpi (the output above says what did not fit)";
}

// The dialog as the screen shows it, kept beside the tests for a look.
void SaveScreenshot(HWND dialog, const std::wstring& path)
{
    RECT r{};
    GetWindowRect(dialog, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    const WindowDc screen(nullptr);
    MemoryDc memory(CreateCompatibleDC(screen.get()));
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const GdiObject bitmap(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    ASSERT_TRUE(bitmap && bits);
    {
        const SelectedObject selected(memory.get(), bitmap.get());
        BitBlt(memory.get(), 0, 0, width, height, screen.get(), r.left, r.top, SRCCOPY);
    }
    GdiFlush();
    const DWORD rowBytes = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    BITMAPFILEHEADER file{0x4D42, 0, 0, 0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    file.bfSize = file.bfOffBits + rowBytes * height;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    bytes.append(static_cast<const char*>(bits), rowBytes * height);
    EXPECT_TRUE(WriteBytes(path, bytes));
}

// Run by the test above in a program of its own; skipped when run without it.
TEST(AboutDialogFit, TextsFitAtThePrefixDpi)
{
    const int dpi = DpiToCheck();
    if (dpi == 0)
        GTEST_SKIP() << "started by EveryTextIsWholeAt96And120And144Dpi";
    ASSERT_EQ(GetDeviceCaps(WindowDc(nullptr).get(), LOGPIXELSY), dpi) << "the prefix's DPI did not take";

    InProcessApp app;
    SettingsStore.firstRun = true;
    AboutDialogState state;
    HWND dialog = OpenAbout(state);
    ASSERT_NE(dialog, nullptr);
    RECT client{};
    GetClientRect(dialog, &client);
    std::vector<std::pair<HWND, RECT>> shown;
    // The update status is empty until a check runs; it is checked with its longest texts.
    const HWND status = GetDlgItem(dialog, IDC_ABOUT_UPDATE_STATUS);
    wchar_t downloading[64];
    swprintf(downloading, 64, LoadText(IDS_UPDATE_DOWNLOADING).c_str(), 100);
    for (const std::wstring& text : {LoadText(IDS_UPDATE_CHECKING), std::wstring(downloading)}) {
        SetWindowTextW(status, text.c_str());
        RECT r{};
        GetClientRect(status, &r);
        EXPECT_LE(DrawnExtent(status, r.right).cx, r.right) << dpi << " dpi, too narrow: " << std::string(text.begin(), text.end());
    }
    SetWindowTextW(status, L"");
    for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        const std::wstring text = ControlText(control);
        if (text.empty())
            continue;
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        const std::string name(text.begin(), text.end());
        const SIZE extent = DrawnExtent(control, r.right - r.left);
        EXPECT_LE(extent.cx, r.right - r.left) << dpi << " dpi, too narrow: " << name;
        EXPECT_LE(extent.cy, r.bottom - r.top) << dpi << " dpi, too low: " << name;
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom)
            << dpi << " dpi, outside the dialog: " << name;
        for (const auto& [other, otherRect] : shown) {
            RECT overlap{};
            if (IsWindowVisible(control) && IsWindowVisible(other) && IntersectRect(&overlap, &r, &otherRect))
                ADD_FAILURE() << dpi << " dpi: " << name << " overlaps " << std::string(ControlText(other).begin(), ControlText(other).end());
        }
        shown.emplace_back(control, r);
    }
    EXPECT_EQ(shown.size(), 10u) << "four texts, three links and three buttons";
    SaveScreenshot(dialog, BinFolder() + L"\\about-" + std::to_wstring(dpi) + L"dpi.bmp");
    CloseAbout(dialog);
    SettingsStore.firstRun = false;
}

class UpdateServerTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server_.Ready()) << "the test run's update server is not up or its root is not trusted";
        SetEnvironmentVariableW(L"CLIPVOCE_UPDATE_SERVER", server_.Address().c_str());
    }
    void TearDown() override { SetEnvironmentVariableW(L"CLIPVOCE_UPDATE_SERVER", nullptr); }
    TestUpdateServer server_;
};

TEST_F(UpdateServerTest, TextRepliesKeepTwentyBytes)
{
    server_.Serve("long.txt", "0123456789abcdefghijKLMNOP");
    server_.Serve("zero.txt", std::string("1.2\0tail", 8));
    std::wstring text = L"stale";
    EXPECT_TRUE(HttpGet(L"long.txt", &text));
    EXPECT_EQ(text, L"0123456789abcdefghij");
    EXPECT_TRUE(HttpGet(L"zero.txt", &text));
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

TEST_F(UpdateServerTest, OnlyAnOkAnswerCounts)
{
    server_.Serve("Clipvoce.ver", "9.9.9.9");
    server_.SetStatus("Clipvoce.ver", 404);
    std::wstring text = L"stale", failure;
    TransferControl control;
    control.failure = &failure;
    EXPECT_FALSE(HttpGet(L"Clipvoce.ver", &text, nullptr, nullptr, control));
    EXPECT_EQ(text, L"");
    EXPECT_EQ(failure, L"it answered with status 404");
}

TEST(UpdateCheck, UnreachableServerGivesAnEmptyText)
{
    SetEnvironmentVariableW(L"CLIPVOCE_UPDATE_SERVER", L"127.0.0.1:1");
    std::wstring text = L"stale", failure;
    TransferControl control;
    control.failure = &failure;
    EXPECT_FALSE(HttpGet(L"Clipvoce.ver", &text, nullptr, nullptr, control));
    EXPECT_EQ(text, L"") << "a failed request leaves no text behind";
    EXPECT_FALSE(failure.empty()) << "a refused connection says why";
    SetEnvironmentVariableW(L"CLIPVOCE_UPDATE_SERVER", nullptr);
    EXPECT_EQ(UpdateServer(), L"update.clipvoce.example");
}

TEST(UpdateCheck, WhatCountsAsAnUpdate)
{
    EXPECT_FALSE(IsUpdateOffered(L"0.0.2.3", L"0.0.2.3", 100));
    EXPECT_TRUE(IsUpdateOffered(L"0.0.2.4", L"0.0.2.3", 100));
    EXPECT_FALSE(IsUpdateOffered(L"0.0.1.0", L"0.0.2.3", 100)) << "an older version is no update";
    EXPECT_FALSE(IsUpdateOffered(L"0.0.2.2", L"0.0.2.3", 100));
    EXPECT_TRUE(IsUpdateOffered(L"0.0.10.0", L"0.0.9.9", 100)) << "numbers, not text, are compared";
    EXPECT_TRUE(IsUpdateOffered(L"1.0.0.0", L"0.65535.65535.65535", 100));
    EXPECT_FALSE(IsUpdateOffered(L"1.0.0.0", L"NA", 100)) << "an unknown running version is never older";
    for (const wchar_t* notAVersion : {L"9.9.9", L"9.9.9.9.9", L"9.9.9.65536", L" 9.9.9.9", L"9.9.9.9 ", L"9..9.9",
                                       L"9.9.9.-9", L"9.9.9.\u00b2"})
        EXPECT_FALSE(IsUpdateOffered(notAVersion, L"0.0.2.3", 100)) << notAVersion;
    EXPECT_FALSE(IsUpdateOffered(L"", L"0.0.2.3", 100));
    EXPECT_FALSE(IsUpdateOffered(L"<html><body>", L"0.0.2.3", 100));
    EXPECT_FALSE(IsUpdateOffered(L"<!DOCTYPE HTML>", L"0.0.2.3", 100)) << "an error page in capitals";
    EXPECT_FALSE(IsUpdateOffered(L"0.0.2.4", L"0.0.2.3", 0));
    EXPECT_FALSE(IsUpdateOffered(L"0.0.2.4", L"0.0.2.3", -5));
}

// The end-to-end table refuses wrong versions, machines and signers; here the cases
// that only a file on disk can set up: a damaged signed image and a cut-off one.
TEST(UpdateCheck, DamagedProgramsAreRefused)
{
    const std::wstring installed = TestUpdateServer::ProgramFile("installed.exe");
    const std::wstring unsignedRunning = ProgramPath();
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring tampered = std::wstring(temp) + L"clipvoce-tampered.exe";
    const std::wstring cut = std::wstring(temp) + L"clipvoce-cut.exe";
    std::string v9 = ReadBytes(TestUpdateServer::ProgramFile("v9.exe"));
    ASSERT_GT(v9.size(), 100000u) << "the signed test programs were not made";
    WriteBytes(cut, v9.substr(0, v9.size() / 2));
    v9[v9.size() / 3] ^= 0x55;
    WriteBytes(tampered, v9);

    const std::string v9Signature = ReadBytes(TestUpdateServer::ProgramFile("v9.exe.sig"));
    const std::string unsignedSignature = ReadBytes(TestUpdateServer::ProgramFile("v9_unsigned.exe.sig"));
    EXPECT_TRUE(IsAcceptableUpdate(TestUpdateServer::ProgramFile("v9.exe"), v9Signature, L"9.9.9.9", installed));
    EXPECT_FALSE(IsAcceptableUpdate(tampered, v9Signature, L"9.9.9.9", installed)) << "one changed byte";
    EXPECT_TRUE(IsAcceptableUpdate(TestUpdateServer::ProgramFile("v9_unsigned.exe"), unsignedSignature, L"9.9.9.9",
                                   unsignedRunning));
    EXPECT_FALSE(IsAcceptableUpdate(TestUpdateServer::ProgramFile("v9_unsigned.exe"), v9Signature, L"9.9.9.9",
                                    unsignedRunning)) << "another program's update signature";
    EXPECT_FALSE(IsAcceptableUpdate(cut, v9Signature, L"9.9.9.9", unsignedRunning)) << "half an image";
    DeleteFileW(tampered.c_str());
    DeleteFileW(cut.c_str());
}

// DER as openssl writes it: SEQUENCE { INTEGER r, INTEGER s }.
std::string DerSignature(const std::string& r, const std::string& s)
{
    std::string der{0x30, static_cast<char>(4 + r.size() + s.size()), 0x02, static_cast<char>(r.size())};
    der.append(r).append({0x02, static_cast<char>(s.size())}).append(s);
    return der;
}

// A big-endian number: its first bytes, then `count` bytes of 0x11.
std::string Number(std::initializer_list<char> head, size_t count)
{
    return std::string(head).append(count, '\x11');
}

TEST(UpdateCheck, DerSignaturesBecomeRawCoordinates)
{
    // A leading zero keeps a high first byte positive; a shorter number is padded.
    const std::string r = Number({0, '\x80'}, 31);
    const std::string s = Number({'\x7f'}, 30);
    const std::string good = DerSignature(r, s);
    std::array<unsigned char, 64> raw{};
    ASSERT_TRUE(EcdsaDerToRaw(good, raw));
    EXPECT_EQ(std::string(raw.begin(), raw.begin() + 32), r.substr(1));
    EXPECT_EQ(std::string(raw.begin() + 32, raw.end()), Number({0, '\x7f'}, 30));

    std::string set = good, notInteger = good;
    set[0] = 0x31;
    notInteger[2] = 0x03;
    const std::string malformed[] = {
        "",
        good.substr(0, good.size() - 1),              // cut short
        good + '\0',                                  // a byte after it
        set,                                          // a SET, not a SEQUENCE
        notInteger,                                   // r is no INTEGER
        DerSignature(Number({'\x80'}, 31), s),        // negative
        DerSignature(Number({0, '\x7f'}, 31), s),     // a needless leading zero
        DerSignature(Number({}, 33), s),              // longer than the curve
        DerSignature("", s),                          // no number at all
    };
    for (const std::string& der : malformed)
        EXPECT_FALSE(EcdsaDerToRaw(der, raw)) << testing::PrintToString(der);
}

TEST(UpdateCheck, InstallKeepsExactlyOnePreviousVersion)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring program = std::wstring(temp) + L"clipvoce-install.exe";
    const std::wstring backup = program + L".bak";
    const std::wstring download = program + L".download";
    WriteBytes(program, "running");
    WriteBytes(backup, "older");
    WriteBytes(download, "new");
    EXPECT_TRUE(InstallDownload(download, program));
    EXPECT_EQ(ReadBytes(program), "new");
    EXPECT_EQ(ReadBytes(backup), "running") << "the older backup gives way";
    EXPECT_FALSE(FileExists(download));
    EXPECT_FALSE(FileExists(backup + L".old"));

    // A download that has gone missing: the program and its backup stay as they were.
    EXPECT_FALSE(InstallDownload(download, program));
    EXPECT_EQ(ReadBytes(program), "new");
    EXPECT_EQ(ReadBytes(backup), "running");
    EXPECT_FALSE(FileExists(backup + L".old"));
    DeleteFileW(program.c_str());
    DeleteFileW(backup.c_str());
}

} // namespace
