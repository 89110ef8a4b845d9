// A line shaped whole: its direction decides where its first letter stands, positions
// and points agree, and letters the font lacks come from the platform's fallback fonts.
#include <gtest/gtest.h>
#include "platform/scoped_handle.h"
#include "view/line_shape.h"
#include <string>

namespace {

const std::wstring Hebrew = L"\u05E9\u05DC\u05D5\u05DD \u05E2\u05D5\u05DC\u05DD";

class ShapeOn {
public:
    explicit ShapeOn(const wchar_t* face) : dc_(CreateCompatibleDC(nullptr))
    {
        LOGFONTW font{};
        font.lfHeight = -16;
        lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
        font_.reset(CreateFontIndirectW(&font));
        SelectObject(dc_.get(), font_.get());
    }
    HDC dc() const { return dc_.get(); }
    // Whether the font itself has a glyph for c.
    bool Has(wchar_t c) const
    {
        WORD glyph = 0;
        return GetGlyphIndicesW(dc_.get(), &c, 1, &glyph, GGI_MARK_NONEXISTING_GLYPHS) == 1 && glyph != 0xFFFF;
    }
    // Pixels the shape inks on a white bitmap of its size.
    int Ink(const LineShape& shape)
    {
        const int width = shape.Width() + 4;
        const GdiObject bitmap(CreateBitmap(width, 24, 1, 32, nullptr));
        const SelectedObject selected(dc_.get(), bitmap.get());
        const RECT all{0, 0, width, 24};
        FillRect(dc_.get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SetTextColor(dc_.get(), RGB(0, 0, 0));
        SetBkMode(dc_.get(), TRANSPARENT);
        shape.Draw(2, 2);
        int ink = 0;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < width; ++x)
                ink += (GetPixel(dc_.get(), x, y) & 0xFFFFFF) != RGB(255, 255, 255);
        return ink;
    }

private:
    MemoryDc dc_;
    GdiObject font_;
};

TEST(LineShape, ARightToLeftLineStartsAtItsRightEndAndPointsFindTheirCharacters)
{
    ShapeOn on(L"Tahoma");
    ASSERT_TRUE(ParagraphReadsRightToLeft(Hebrew.data(), 0, static_cast<int>(Hebrew.size())));
    ASSERT_FALSE(ParagraphReadsRightToLeft(L"12 abc \u05E9", 0, 7));
    const LineShape shape(on.dc(), Hebrew.data(), static_cast<int>(Hebrew.size()), true, 48);
    ASSERT_GT(shape.Width(), 0);
    EXPECT_EQ(shape.EdgeBefore(0), shape.Width()) << "the first letter stands at the right end";
    EXPECT_EQ(shape.EdgeBefore(static_cast<int>(Hebrew.size())), 0);
    const std::vector<Span> firstWord = shape.Spans(0, 4);
    const std::vector<Span> secondWord = shape.Spans(5, 9);
    ASSERT_EQ(firstWord.size(), 1u);
    ASSERT_EQ(secondWord.size(), 1u);
    EXPECT_LT(secondWord[0].right, firstWord[0].left + 1) << "the second word stands left of the first";
    EXPECT_EQ(shape.IndexAt(shape.EdgeBefore(2)), 2);
    EXPECT_TRUE(shape.Spans(3, 3).empty());
}

// A font without Hebrew letters still shows them: the platform's fallback draws them.
TEST(LineShape, LettersTheFontLacksComeFromAFallbackFont)
{
    for (const wchar_t* face : {L"Marlett", L"Courier New", L"DejaVu Sans Mono", L"Symbol", L"Wingdings"}) {
        ShapeOn on(face);
        if (on.Has(Hebrew[0]))
            continue;
        const LineShape shape(on.dc(), Hebrew.data(), static_cast<int>(Hebrew.size()), true, 48);
        EXPECT_GT(shape.Width(), 0) << "in " << std::string(face, face + wcslen(face));
        EXPECT_GT(on.Ink(shape), 20) << "in " << std::string(face, face + wcslen(face));
        return;
    }
    GTEST_SKIP() << "every font here has Hebrew letters";
}

} // namespace
