// A copied image on its way to the recognition: its bytes decoded, a dark one turned
// over, small text enlarged, the languages chosen, and the lines found made into text.
#include <windows.h>
#include <gtest/gtest.h>
#include <objbase.h>
#include <cstring>

#include "ocr/image_decode.h"
#include "ocr/image_preparation.h"
#include "ocr/image_reading.h"
#include "ocr/recognised_text.h"

namespace {

RecognisedParagraph Paragraph(std::initializer_list<const wchar_t*> lines)
{
    RecognisedParagraph paragraph;
    for (const wchar_t* line : lines)
        paragraph.lines.push_back({line, 20});
    return paragraph;
}

// A bottom-up DIB of width x 2 pixels: the upper row white, the lower row black.
std::vector<BYTE> TwoRowDib(WORD bits, DWORD compression, int width)
{
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = 2;
    header.biPlanes = 1;
    header.biBitCount = bits;
    header.biCompression = compression;
    const DWORD masks[] = {0x00FF0000u, 0x0000FF00u, 0x000000FFu};
    const size_t stride = (static_cast<size_t>(width) * bits / 8 + 3) & ~size_t{3};
    const size_t masksSize = compression == BI_BITFIELDS ? sizeof masks : 0;
    std::vector<BYTE> dib(sizeof header + masksSize + stride, 0x00);   // the lower row comes first
    memcpy(dib.data(), &header, sizeof header);
    memcpy(dib.data() + sizeof header, masks, masksSize);
    dib.resize(dib.size() + stride, 0xFF);
    return dib;
}

} // namespace

TEST(ImageTextTest, LinesBecomeParagraphsWithHyphenatedWordsJoined)
{
    Recognition found;
    found.paragraphs = {Paragraph({L"The treat-", L"ed text runs on  ", L"to Jean-", L"Paul and a dash -", L"here."}),
                        Paragraph({L"  "}), Paragraph({L"Second one."})};
    EXPECT_EQ(TextOfRecognition(found), L"The treated text runs on to Jean-Paul and a dash - here.\r\nSecond one.");
    EXPECT_EQ(TextOfRecognition(Recognition{}), L"");
}

TEST(ImageTextTest, SmallTextIsEnlargedTowardsThreeHundredDpiWithinLimits)
{
    GreyImage screen{1920, 1080, {}, 0};
    EXPECT_DOUBLE_EQ(RecognitionScale(screen, 17), 2.0);      // lines of 17 px brought to 34
    EXPECT_DOUBLE_EQ(RecognitionScale(screen, 0), 300.0 / 96);
    EXPECT_DOUBLE_EQ(RecognitionScale(screen, 44), 1.0);      // large enough as it is
    GreyImage large{4000, 4000, {}, 0};
    const double scale = RecognitionScale(large, 10);
    EXPECT_GT(scale, 1.25);
    EXPECT_LE(scale * 4000 * scale * 4000, 40e6 + 1);

    GreyImage tiny{2, 1, {0, 255}, 0};
    const GreyImage big = Scaled(tiny, 4);
    ASSERT_EQ(big.width, 8);
    ASSERT_EQ(big.height, 4);
    EXPECT_EQ(big.pixels.front(), 0);
    EXPECT_EQ(big.pixels[7], 255);
    EXPECT_LT(big.pixels[3], big.pixels[4]);   // the step is interpolated, in order
}

TEST(ImageTextTest, APageIsPartedAtItsWidestBlankBandNearTheMiddle)
{
    // Rows of ink with a gap of one row (inside a letter), two rows (between lines) and
    // four rows (between paragraphs) in the middle third; a wider gap above that third.
    const std::vector<bool> ink = {true, false, false, false, false, false, false, true, true, false, true, true,
                                   false, false, true, true, false, false, false, false, true, true, true, true, true, true, true};
    GreyImage page{2, static_cast<int>(ink.size()), {}, 0};
    for (const bool dark : ink)
        page.pixels.insert(page.pixels.end(), {static_cast<unsigned char>(dark ? 0 : 255), 255});
    EXPECT_EQ(BlankRowNearMiddle(page), 18);
    const GreyImage lower = Rows(page, 18, page.height);
    EXPECT_EQ(lower.height, 9);
    EXPECT_EQ(lower.pixels.back(), 255);
    EXPECT_EQ(BlankRowNearMiddle(GreyImage{2, 3, std::vector<unsigned char>(6, 0), 0}), -1);
}

TEST(ImageTextTest, ADarkGroundIsTurnedOver)
{
    GreyImage dark{3, 1, {40, 40, 230}, 0};
    ASSERT_TRUE(HasDarkGround(dark));
    TurnOver(dark);
    EXPECT_EQ(dark.pixels, (std::vector<unsigned char>{215, 215, 25}));
    EXPECT_FALSE(HasDarkGround(dark));
}

TEST(ImageTextTest, EnglishComesFirstThenTheLanguagesTheVoicesSpeak)
{
    const std::vector<std::wstring> present = {L"chi_sim", L"deu", L"eng", L"fra"};
    EXPECT_EQ(RecognitionLanguages(present, {LANG_GERMAN, LANG_ENGLISH}), "eng+deu");
    EXPECT_EQ(RecognitionLanguages(present, {LANG_CHINESE, LANG_FRENCH}), "eng+chi_sim+fra");
    EXPECT_EQ(RecognitionLanguages({L"deu", L"fra"}, {LANG_SPANISH}), "deu");
    EXPECT_EQ(RecognitionLanguages({}, {LANG_ENGLISH}), "");
}

TEST(ImageTextTest, CopiedBitmapsDecodeToGreyAndBrokenOnesAreRefused)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    for (const auto& [bits, compression] : {std::pair<WORD, DWORD>{24, BI_RGB}, {32, BI_BITFIELDS}}) {
        GreyImage grey;
        std::wstring error;
        ASSERT_TRUE(DecodeCopiedImage({CopiedImageKind::Dib, TwoRowDib(bits, compression, 5)}, grey, error))
            << bits << " bits: " << std::string(error.begin(), error.end());
        ASSERT_EQ(grey.width, 5);
        ASSERT_EQ(grey.height, 2);
        EXPECT_EQ(grey.pixels[0], 255) << bits << " bits: the top row is white";
        EXPECT_EQ(grey.pixels[5], 0) << bits << " bits: the bottom row is black";
    }
    std::vector<BYTE> truncated = TwoRowDib(24, BI_RGB, 5);
    truncated.resize(20);
    GreyImage grey;
    std::wstring error;
    EXPECT_FALSE(DecodeCopiedImage({CopiedImageKind::Dib, truncated}, grey, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(DecodeCopiedImage({CopiedImageKind::Png, {0x89, 'P', 'N', 'G'}}, grey, error));
    CoUninitialize();
}
