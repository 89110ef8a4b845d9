// Copied images from the real program: the text of a paragraph copied as an image (from
// X, as a Linux program copies one) is shown and read, light on dark too; an image
// without text is told of; a secret-marked one is left alone; a newer text copy wins.
#include <windows.h>
#include <gtest/gtest.h>
#include <algorithm>
#include "app_driver.h"
#include "file_bytes.h"
#include "image_copies.h"

namespace {

const std::wstring Paragraph =
    L"Reading aids help people who find long texts tiring. This paragraph was drawn as an image, "
    L"the way a screenshot of a web page or a scanned letter arrives on the clipboard, and the "
    L"program is expected to find every word in it and read them aloud in the right order.";

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// The paragraph in DejaVu Sans, 11 point at 96 dpi.
std::wstring RenderParagraph(const std::wstring& name, const std::wstring& ground, const std::wstring& ink)
{
    return Draw(name, L"-background \"" + ground + L"\" -fill \"" + ink +
                          L"\" -font DejaVu-Sans -density 96 -pointsize 11 -size 560x caption:\"" + Paragraph +
                          L"\" -bordercolor \"" + ground + L"\" -border 16");
}

// The PNG put on the clipboard by a program of Windows, with a mark when given one.
bool CopyPng(const std::string& png, const wchar_t* mark)
{
    bool opened = false;
    PumpUntil([&] { return opened = OpenClipboard(nullptr) != FALSE; }, 5000);
    if (!opened)
        return false;
    EmptyClipboard();
    HGLOBAL bytes = GlobalAlloc(GMEM_MOVEABLE, png.size());
    memcpy(GlobalLock(bytes), png.data(), png.size());
    GlobalUnlock(bytes);
    bool placed = SetClipboardData(RegisterClipboardFormatW(L"PNG"), bytes) != nullptr;
    if (mark) {
        HGLOBAL on = GlobalAlloc(GMEM_MOVEABLE, sizeof(DWORD));
        *static_cast<DWORD*>(GlobalLock(on)) = 1;
        GlobalUnlock(on);
        placed = placed && SetClipboardData(RegisterClipboardFormatW(mark), on) != nullptr;
    }
    CloseClipboard();
    return placed;
}

bool CaptionTells(HWND window, const std::wstring& note)
{
    return WindowText(window).find(note) != std::wstring::npos;
}

class ImageCopyTest : public testing::Test {
protected:
    void SetUp() override
    {
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", L"400");
        WriteSettingsFile();
        EmptyTheClipboard();
    }
    void TearDown() override { SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", nullptr); }
};

} // namespace

TEST_F(ImageCopyTest, TheTextOfACopiedImageIsShownAndReadLightOnDarkToo)
{
    WriteSettingsFile({{L"autoplay", L"1"}});
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    const std::pair<const wchar_t*, const wchar_t*> looks[] = {{L"white", L"black"}, {L"#333333", L"white"}};
    for (const auto& [ground, ink] : looks) {
        SCOPED_TRACE(testing::Message() << Narrow(ink) << " on " << Narrow(ground));
        const std::wstring before = L"Before the image.";
        ASSERT_TRUE(SetClipboardText(before));
        ASSERT_TRUE(PumpUntil([&] { return TextViewText(window) == before + L" "; }, 10000)) << "the text was not taken";
        PressKey(window, 'S');
        const std::wstring png = RenderParagraph(ground[0] == L'#' ? L"dark" : L"light", ground, ink);
        ASSERT_FALSE(png.empty()) << "ImageMagick did not draw the paragraph";
        ASSERT_TRUE(CopyImageFromX(png)) << "xclip did not copy the image";
        ASSERT_TRUE(PumpUntil([&] { return TextViewText(window) != before + L" "; }, 30000))
            << "the image's text was not shown: " << Narrow(WindowText(window));
        const std::wstring shown = TextViewText(window);
        EXPECT_LE(CharacterErrorRate(shown, Paragraph), 0.02) << Narrow(shown);
        EXPECT_TRUE(PumpUntil([&] { return CaptionWithoutLanguage(WindowText(window)).find(L"playing") != std::wstring::npos; },
                              10000))
            << "the text was not read: " << Narrow(WindowText(window));
    }
}

TEST_F(ImageCopyTest, AnImageWithoutTextIsToldASecretOneLeftAloneAndANewerTextWins)
{
    AppProcess app;
    HWND window = app.Window();
    ASSERT_NE(window, nullptr);
    const std::wstring earlier = L"An earlier text.";
    ASSERT_TRUE(SetClipboardText(earlier));
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window) == earlier + L" "; }, 10000)) << "the text was not taken";
    PressKey(window, 'S');

    const std::wstring photo = Draw(L"photo", L"-size 800x600 -seed 7 plasma:fractal -blur 0x8");
    ASSERT_FALSE(photo.empty()) << "ImageMagick drew no photo";
    ASSERT_TRUE(CopyImageFromX(photo));
    EXPECT_TRUE(PumpUntil([&] { return CaptionTells(window, L"no text found in the copied image"); }, 30000))
        << "no note for an image without text: " << Narrow(WindowText(window));
    EXPECT_EQ(TextViewText(window), earlier + L" ");

    // Long enough for the image to have been read, were it read at all.
    const std::string png = ReadBytes(L"Z:" + RenderParagraph(L"light", L"white", L"black"));
    ASSERT_FALSE(png.empty());
    ASSERT_TRUE(CopyPng(png, L"ExcludeClipboardContentFromMonitorProcessing"));
    EXPECT_FALSE(PumpUntil([&] { return TextViewText(window) != earlier + L" "; }, 8000))
        << "a secret image was read: " << Narrow(TextViewText(window));

    // The same image unmarked is read, unless a text copied meanwhile comes first.
    ASSERT_TRUE(CopyPng(png, nullptr));
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window) != earlier + L" "; }, 30000))
        << "the image copied by a Windows program was not read";
    EXPECT_LE(CharacterErrorRate(TextViewText(window), Paragraph), 0.02);
    ASSERT_TRUE(CopyPng(png, nullptr));
    const std::wstring newer = L"A newer text.";
    ASSERT_TRUE(SetClipboardText(newer));
    ASSERT_TRUE(PumpUntil([&] { return TextViewText(window) == newer + L" "; }, 10000)) << "the newer text was not taken";
    EXPECT_FALSE(PumpUntil([&] { return TextViewText(window) != newer + L" "; }, 8000))
        << "the image read over the newer text: " << Narrow(TextViewText(window));
}
