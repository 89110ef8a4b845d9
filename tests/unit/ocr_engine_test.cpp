// The recognition engine on text drawn here with GDI, with the English model that the
// build puts into tessdata beside the test programs.
#include <gtest/gtest.h>
#include "app_driver.h"
#include "ocr/tesseract_engine.h"
#include <chrono>
#include <cstdio>

namespace {

const std::vector<std::wstring> kLines = {
    L"The quick brown fox jumps",
    L"over the lazy dog while",
    L"seven wizards watch closely.",
};

// Black text on white, the lines one under the other, as a page of a document shows it.
GreyImage DrawLines(const std::vector<std::wstring>& lines)
{
    const int width = 1100, lineHeight = 60, height = 60 + lineHeight * static_cast<int>(lines.size());
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HFONT font = CreateFontW(-40, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH, L"Tahoma");
    HGDIOBJ oldFont = SelectObject(dc, font);
    RECT all{0, 0, width, height};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, TRANSPARENT);
    for (size_t i = 0; i < lines.size(); ++i)
        TextOutW(dc, 30, 30 + lineHeight * static_cast<int>(i), lines[i].c_str(), static_cast<int>(lines[i].size()));
    GdiFlush();

    GreyImage image;
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<size_t>(width) * height);
    const auto* pixel = static_cast<const unsigned char*>(bits);
    for (size_t i = 0; i < image.pixels.size(); ++i, pixel += 4)
        image.pixels[i] = static_cast<unsigned char>((pixel[0] + pixel[1] * 2 + pixel[2]) / 4);
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(font);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return image;
}

std::wstring WithoutSpaces(std::wstring text)
{
    std::erase_if(text, [](wchar_t c) { return iswspace(c); });
    return text;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

const std::wstring kDataFolder = BinFolder() + L"\\tessdata";

// A fresh folder under the temporary one, named with Greek and Cyrillic letters, removed
// with what was put into it.
struct TemporaryFolder {
    std::wstring path;
    TemporaryFolder()
    {
        wchar_t temp[MAX_PATH] = L"";
        GetTempPathW(MAX_PATH, temp);
        path = std::wstring(temp) + L"ocr \u03b4\u03bf\u03ba\u0438\u043c\u03b1 " +
               std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
        CreateDirectoryW(path.c_str(), nullptr);
    }
    ~TemporaryFolder()
    {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do
                DeleteFileW((path + L"\\" + found.cFileName).c_str());
            while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(path.c_str());
    }
};

TEST(TesseractEngine, ReadsAParagraphLineByLineInOrder)
{
    TesseractEngine engine;
    std::wstring error;
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(engine.Open(kDataFolder, "eng", error)) << Narrow(error);
    const double openSeconds = SecondsSince(start);

    const GreyImage image = DrawLines(kLines);
    start = std::chrono::steady_clock::now();
    const int lineHeight = engine.MedianLineHeight(image);
    const double layoutSeconds = SecondsSince(start);
    EXPECT_GE(lineHeight, 25);
    EXPECT_LE(lineHeight, 60);

    start = std::chrono::steady_clock::now();
    const Recognition recognition = engine.Recognise(image, [] { return false; });
    const double recogniseSeconds = SecondsSince(start);
    std::printf("open %.2f s, layout %.2f s, recognition %.2f s\n", openSeconds, layoutSeconds, recogniseSeconds);

    EXPECT_FALSE(recognition.cancelled);
    EXPECT_GE(recognition.confidence, 80);
    ASSERT_EQ(recognition.paragraphs.size(), 1u);
    const auto& lines = recognition.paragraphs[0].lines;
    ASSERT_EQ(lines.size(), kLines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(WithoutSpaces(lines[i].text), WithoutSpaces(kLines[i])) << Narrow(lines[i].text);
        EXPECT_NE(lines[i].text.back(), L'\n');
        EXPECT_GE(lines[i].height, 25);
        EXPECT_LE(lines[i].height, 60);
    }

    // The engine stays usable for the next image, and a blank one holds no text.
    GreyImage blank = image;
    std::fill(blank.pixels.begin(), blank.pixels.end(), 255);
    EXPECT_EQ(engine.MedianLineHeight(blank), 0);
    const Recognition nothing = engine.Recognise(blank, [] { return false; });
    EXPECT_TRUE(nothing.paragraphs.empty());
    EXPECT_EQ(nothing.confidence, 0);
}

TEST(TesseractEngine, FailsWithAReasonWhenTheDataIsMissing)
{
    TesseractEngine engine;
    std::wstring error;
    EXPECT_FALSE(engine.Open(BinFolder() + L"\\no such tessdata", "eng", error));
    EXPECT_NE(error.find(L"missing"), std::wstring::npos) << Narrow(error);

    // A second language that is not there is not passed over.
    error.clear();
    EXPECT_FALSE(engine.Open(kDataFolder, "eng+xyz", error));
    EXPECT_NE(error.find(L"xyz"), std::wstring::npos) << Narrow(error);

    // Data that is there but is no model.
    const TemporaryFolder temporary;
    const std::wstring& folder = temporary.path;
    HANDLE bad = CreateFileW((folder + L"\\bad.traineddata").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(bad, "not a model", 11, &written, nullptr);
    CloseHandle(bad);
    error.clear();
    EXPECT_FALSE(engine.Open(folder, "bad", error));
    EXPECT_NE(error.find(L"could not load"), std::wstring::npos) << Narrow(error);

    // Unopened, it finds nothing rather than failing.
    const GreyImage image = DrawLines({L"Some words"});
    EXPECT_EQ(engine.MedianLineHeight(image), 0);
    EXPECT_TRUE(engine.Recognise(image, [] { return false; }).paragraphs.empty());
}

TEST(TesseractEngine, LoadsFromAFolderWhoseNameIsNotInTheSystemCodePage)
{
    const TemporaryFolder temporary;
    const std::wstring& folder = temporary.path;
    ASSERT_TRUE(CopyFileW((kDataFolder + L"\\eng.traineddata").c_str(), (folder + L"\\eng.traineddata").c_str(), FALSE));
    TesseractEngine engine;
    std::wstring error;
    ASSERT_TRUE(engine.Open(folder, "eng", error)) << Narrow(error);
    const Recognition recognition = engine.Recognise(DrawLines({L"Hello world"}), [] { return false; });
    ASSERT_EQ(recognition.paragraphs.size(), 1u);
    EXPECT_EQ(WithoutSpaces(recognition.paragraphs[0].lines.at(0).text), L"Helloworld");
}

TEST(TesseractEngine, StopsWhenCancelled)
{
    TesseractEngine engine;
    std::wstring error;
    ASSERT_TRUE(engine.Open(kDataFolder, "eng", error)) << Narrow(error);
    const Recognition recognition = engine.Recognise(DrawLines(kLines), [] { return true; });
    EXPECT_TRUE(recognition.cancelled);
    EXPECT_TRUE(recognition.paragraphs.empty());
}

} // namespace
