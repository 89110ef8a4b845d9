// What a screen reader learns of the text view through UI Automation: the units it moves
// by, the element's properties, the text pattern's ranges, and the spoken word as the
// selection, called through the interfaces a client calls.
#include <gtest/gtest.h>
#include "in_process_app.h"
#include "pump.h"
#include "view_pixels.h"
#include "platform/ui_automation.h"
#include "view/text_units.h"
#include "view/text_view.h"
#include "view/view_accessibility.h"
#include "resource.h"
#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Lines of a fixed width, each paragraph starting a line of its own.
class FixedLines final : public LineLookup {
public:
    FixedLines(const std::wstring& text, int width) : text_(text), width_(width) {}
    int LineStartAt(int index) override
    {
        const size_t paragraphBreak = index > 0 ? text_.rfind(L'\r', static_cast<size_t>(index) - 1) : std::wstring::npos;
        const int paragraph = paragraphBreak == std::wstring::npos ? 0 : static_cast<int>(paragraphBreak) + 1;
        return paragraph + (index - paragraph) / width_ * width_;
    }
    int LineEndAt(int index) override
    {
        const int start = LineStartAt(index);
        const size_t paragraphBreak = text_.find(L'\r', static_cast<size_t>(start));
        const int paragraphEnd = paragraphBreak == std::wstring::npos ? static_cast<int>(text_.size())
                                                                      : static_cast<int>(paragraphBreak) + 1;
        return std::min(start + width_, paragraphEnd);
    }

private:
    const std::wstring& text_;
    int width_;
};

std::vector<int> Starts(const std::wstring& text, TextUnitKind unit, int lineWidth = 1000)
{
    FixedLines lines(text, lineWidth);
    TextUnits units(text, lines);
    std::vector<int> starts;
    for (int at = 0; at < static_cast<int>(text.size()); at = units.Next(unit, at))
        starts.push_back(at);
    return starts;
}

TEST(TextUnits, WholeCharacters)
{
    // e + combining acute, a surrogate pair (an emoji), a Hebrew letter with two points.
    const std::wstring text = L"e\u0301\U0001F600\u05E9\u05C1\u05B8x";
    EXPECT_EQ(Starts(text, TextUnitKind::Character), (std::vector<int>{0, 2, 4, 7}));
    EXPECT_EQ(CharacterStart(text, 1), 0);
    EXPECT_EQ(CharacterStart(text, 3), 2);
    EXPECT_EQ(CharacterStart(text, 6), 4);
    EXPECT_EQ(CharacterEnd(text, 5), 7);
    // A mark after a paragraph break has no base to join.
    EXPECT_EQ(CharacterStart(L"a\r\u0301", 2), 2);
}

TEST(TextUnits, WordsAreLettersOrDigitsOfAnyScriptAndWhatFollows)
{
    EXPECT_EQ(Starts(L"Hello, world! 42 apples", TextUnitKind::Word), (std::vector<int>{0, 7, 14, 17}));
    EXPECT_EQ(Starts(L"\u05E9\u05DC\u05D5\u05DD \u05E2\u05D5\u05DC\u05DD \u05D5\u05DB\u05DC", TextUnitKind::Word),
              (std::vector<int>{0, 5, 10}));
    // Marks stay in their word; a pictograph is no word of its own.
    EXPECT_EQ(Starts(L"cafe\u0301 \U0001F600 ok", TextUnitKind::Word), (std::vector<int>{0, 9}));
    // A paragraph starts a word, whatever it starts with.
    EXPECT_EQ(Starts(L"One.\r- two", TextUnitKind::Word), (std::vector<int>{0, 5, 7}));
    EXPECT_EQ(Starts(L"  lead", TextUnitKind::Word), (std::vector<int>{0, 2}));
}

TEST(TextUnits, LinesAndParagraphs)
{
    const std::wstring text = L"abcdefgh\rij";
    EXPECT_EQ(Starts(text, TextUnitKind::Paragraph), (std::vector<int>{0, 9}));
    EXPECT_EQ(Starts(text, TextUnitKind::Line, 5), (std::vector<int>{0, 5, 9}));
    EXPECT_EQ(Starts(text, TextUnitKind::Document), (std::vector<int>{0}));
}

TEST(TextUnits, MovingStopsAtTheEndsAndCountsWhatItMoved)
{
    const std::wstring text = L"one two three";
    FixedLines lines(text, 100);
    TextUnits units(text, lines);

    int position = 5;   // inside "two"
    EXPECT_EQ(units.MovePosition(TextUnitKind::Word, position, -1), -1);
    EXPECT_EQ(position, 4) << "back to the start of its own word first";
    EXPECT_EQ(units.MovePosition(TextUnitKind::Word, position, -5), -1);
    EXPECT_EQ(position, 0);
    EXPECT_EQ(units.MovePosition(TextUnitKind::Word, position, 5), 3);
    EXPECT_EQ(position, 13) << "a position may reach the end";

    TextRange range{4, 7};
    EXPECT_EQ(units.MoveRange(TextUnitKind::Word, range, 5), 1) << "a range stays on the last word";
    EXPECT_EQ(std::pair(range.start, range.end), std::pair(8, 13));
    EXPECT_EQ(units.MoveRange(TextUnitKind::Word, range, -1), -1);
    EXPECT_EQ(std::pair(range.start, range.end), std::pair(4, 8));
    range = units.Enclosing(TextUnitKind::Word, {9, 9});
    EXPECT_EQ(std::pair(range.start, range.end), std::pair(8, 13));
}

template <class Interface>
ComPtr<Interface> As(IUnknown* unknown)
{
    ComPtr<Interface> result;
    if (unknown)
        unknown->QueryInterface(__uuidof(Interface), result.OutVoid());
    return result;
}

std::wstring TextOf(ITextRangeProvider* range)
{
    BSTR text = nullptr;
    if (FAILED(range->GetText(-1, &text)))
        return L"<failed>";
    std::wstring result(text, SysStringLen(text));
    SysFreeString(text);
    return result;
}

// The one range of a SAFEARRAY that GetSelection or GetVisibleRanges hand out.
ComPtr<ITextRangeProvider> OnlyRange(SAFEARRAY* array)
{
    EXPECT_EQ(array ? array->rgsabound[0].cElements : 0u, 1u);
    LONG first = 0;
    IUnknown* unknown = nullptr;
    if (array)
        SafeArrayGetElement(array, &first, &unknown);
    ComPtr<ITextRangeProvider> range = As<ITextRangeProvider>(unknown);
    if (unknown)
        unknown->Release();
    SafeArrayDestroy(array);
    return range;
}

std::vector<RECT> RectanglesOf(ITextRangeProvider* range)
{
    SAFEARRAY* array = nullptr;
    std::vector<RECT> rectangles;
    if (FAILED(range->GetBoundingRectangles(&array)) || !array)
        return rectangles;
    double* numbers = nullptr;
    const LONG count = static_cast<LONG>(array->rgsabound[0].cElements);
    SafeArrayAccessData(array, reinterpret_cast<void**>(&numbers));
    for (LONG i = 0; i + 3 < count; i += 4)
        rectangles.push_back({static_cast<LONG>(numbers[i]), static_cast<LONG>(numbers[i + 1]),
                              static_cast<LONG>(numbers[i] + numbers[i + 2]),
                              static_cast<LONG>(numbers[i + 1] + numbers[i + 3])});
    SafeArrayUnaccessData(array);
    SafeArrayDestroy(array);
    return rectangles;
}

class ViewProviderTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(RegisterTextViewClass());
        parent_ = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 400, 200, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(view_.Create(parent_, RECT{0, 0, 400, 200}));
        ShowWindow(parent_, SW_SHOWNOACTIVATE);
        element_ = ViewAccessibility::ProviderOf(view_.Handle());
        ASSERT_TRUE(element_) << "no provider: UIAutomationCore.dll did not load";
        ComPtr<IUnknown> pattern;
        ASSERT_EQ(element_->GetPatternProvider(UIA_TextPatternId, pattern.Out()), S_OK);
        text_ = As<ITextProvider>(pattern.Get());
        ASSERT_TRUE(text_);
    }
    void TearDown() override
    {
        if (parent_)
            DestroyWindow(parent_);
    }
    ComPtr<ITextRangeProvider> Document()
    {
        ComPtr<ITextRangeProvider> range;
        EXPECT_EQ(text_->get_DocumentRange(range.Out()), S_OK);
        return range;
    }
    // The unit of the given kind around the caret placed at index.
    std::wstring UnitAt(TextUnit unit, int index)
    {
        view_.Select(index, index);
        SAFEARRAY* array = nullptr;
        EXPECT_EQ(text_->GetSelection(&array), S_OK);
        const ComPtr<ITextRangeProvider> caret = OnlyRange(array);
        caret->ExpandToEnclosingUnit(unit);
        return TextOf(caret.Get());
    }
    VARIANT Property(PROPERTYID id)
    {
        VARIANT value;
        EXPECT_EQ(element_->GetPropertyValue(id, &value), S_OK);
        return value;
    }

    HWND parent_ = nullptr;
    TextView view_;
    ComPtr<IRawElementProviderSimple> element_;
    ComPtr<ITextProvider> text_;
};

TEST_F(ViewProviderTest, IsAReadOnlyDocumentNamedSpeechWindow)
{
    VARIANT type = Property(UIA_ControlTypePropertyId);
    EXPECT_EQ(type.vt, VT_I4);
    EXPECT_EQ(type.lVal, UiaDocumentControlTypeId);
    VARIANT name = Property(UIA_NamePropertyId);
    ASSERT_EQ(name.vt, VT_BSTR);
    EXPECT_STREQ(name.bstrVal, L"Speech window");
    VariantClear(&name);
    EXPECT_EQ(Property(UIA_IsKeyboardFocusablePropertyId).boolVal, VARIANT_TRUE);

    ComPtr<IRawElementProviderSimple> host;
    EXPECT_EQ(element_->get_HostRawElementProvider(host.Out()), S_OK);
    EXPECT_TRUE(host);

    VARIANT readOnly;
    ASSERT_EQ(Document()->GetAttributeValue(UiaIsReadOnlyAttributeId, &readOnly), S_OK);
    EXPECT_EQ(readOnly.vt, VT_BOOL);
    EXPECT_EQ(readOnly.boolVal, VARIANT_TRUE);
    SupportedTextSelection selection{};
    EXPECT_EQ(text_->get_SupportedTextSelection(&selection), S_OK);
    EXPECT_EQ(selection, SupportedTextSelection_Single);

    // The keyboard focus stays with the Speech window, the view's parent.
    SetActiveWindow(parent_);
    SetFocus(parent_);
    ASSERT_TRUE(PumpUntil([&] { return GetFocus() == parent_; }, 5000)) << "the parent did not take the focus";
    EXPECT_EQ(Property(UIA_HasKeyboardFocusPropertyId).boolVal, VARIANT_TRUE);
    SetFocus(nullptr);
    EXPECT_EQ(Property(UIA_HasKeyboardFocusPropertyId).boolVal, VARIANT_FALSE);
}

TEST_F(ViewProviderTest, WordsLinesAndParagraphsAtSeveralPositions)
{
    // An emoji (a surrogate pair), a letter with combining marks, a Hebrew paragraph.
    const std::wstring hebrew = L"\u05E9\u05DC\u05D5\u05DD \u05E2\u05D5\u05DC\u05DD \u05D5\u05DB\u05DC "
                                L"\u05D4\u05D8\u05D5\u05D1 \u05DC\u05DB\u05DD";
    const std::wstring text = L"Smile \U0001F600 now, cafe\u0301\u0323 open.\r" + hebrew;
    view_.SetText(text.c_str());
    ASSERT_EQ(view_.Text(), text);
    EXPECT_EQ(TextOf(Document().Get()), text);

    EXPECT_EQ(UnitAt(TextUnit_Character, 6), L"\U0001F600");
    EXPECT_EQ(UnitAt(TextUnit_Character, 7), L"\U0001F600") << "inside the pair";
    EXPECT_EQ(UnitAt(TextUnit_Character, 18), L"e\u0301\u0323");
    EXPECT_EQ(UnitAt(TextUnit_Word, 0), L"Smile \U0001F600 ");
    EXPECT_EQ(UnitAt(TextUnit_Word, 15), L"cafe\u0301\u0323 ");
    EXPECT_EQ(UnitAt(TextUnit_Word, 29), hebrew.substr(0, 5));
    EXPECT_EQ(UnitAt(TextUnit_Word, 36), hebrew.substr(5, 5));
    EXPECT_EQ(UnitAt(TextUnit_Format, 36), hebrew.substr(5, 5)) << "format falls back to words";
    EXPECT_EQ(UnitAt(TextUnit_Paragraph, 3), text.substr(0, 27));
    EXPECT_EQ(UnitAt(TextUnit_Line, 30), hebrew) << "the whole Hebrew paragraph fits on one line";
    EXPECT_EQ(UnitAt(TextUnit_Page, 3), text);

    // Word by word through the Hebrew line, from its end back.
    ComPtr<ITextRangeProvider> range = Document();
    int moved = 0;
    range->MoveEndpointByRange(TextPatternRangeEndpoint_Start, range.Get(), TextPatternRangeEndpoint_End);
    ASSERT_EQ(range->Move(TextUnit_Word, -2, &moved), S_OK);
    EXPECT_EQ(moved, -2);
    ASSERT_EQ(range->ExpandToEnclosingUnit(TextUnit_Word), S_OK);
    EXPECT_EQ(TextOf(range.Get()), hebrew.substr(14, 5));
    ASSERT_EQ(range->Move(TextUnit_Word, 10, &moved), S_OK);
    EXPECT_EQ(moved, 1);
    EXPECT_EQ(TextOf(range.Get()), hebrew.substr(19));
}

TEST_F(ViewProviderTest, RangesCompareAndCloneWithinTheView)
{
    view_.SetText(L"alpha beta");
    ComPtr<ITextRangeProvider> whole = Document();
    ComPtr<ITextRangeProvider> copy;
    ASSERT_EQ(whole->Clone(copy.Out()), S_OK);
    BOOL same = FALSE;
    EXPECT_EQ(whole->Compare(copy.Get(), &same), S_OK);
    EXPECT_TRUE(same);
    int moved = 0;
    copy->MoveEndpointByUnit(TextPatternRangeEndpoint_Start, TextUnit_Word, 1, &moved);
    EXPECT_EQ(TextOf(copy.Get()), L"beta");
    int order = 0;
    EXPECT_EQ(whole->CompareEndpoints(TextPatternRangeEndpoint_Start, copy.Get(), TextPatternRangeEndpoint_Start, &order),
              S_OK);
    EXPECT_LT(order, 0);
    EXPECT_EQ(whole->Compare(copy.Get(), &same), S_OK);
    EXPECT_FALSE(same);

    ASSERT_EQ(copy->Select(), S_OK);
    EXPECT_EQ(view_.SelectionEnd(), 10);
    EXPECT_EQ(copy->AddToSelection(), UiaInvalidOperation);
}

TEST_F(ViewProviderTest, RangesOfAnEarlierTextAreClampedToTheNewOne)
{
    view_.SetText(L"A long first text of many words.");
    ComPtr<ITextRangeProvider> whole = Document();
    ComPtr<ITextRangeProvider> tail = Document();
    int moved = 0;
    tail->MoveEndpointByUnit(TextPatternRangeEndpoint_Start, TextUnit_Word, 5, &moved);
    view_.SetText(L"Short.");

    EXPECT_EQ(TextOf(whole.Get()), L"Short.");
    EXPECT_EQ(TextOf(tail.Get()), L"");
    EXPECT_TRUE(RectanglesOf(tail.Get()).empty());
    EXPECT_EQ(tail->ExpandToEnclosingUnit(TextUnit_Word), S_OK);
    EXPECT_EQ(tail->MoveEndpointByUnit(TextPatternRangeEndpoint_End, TextUnit_Line, 3, &moved), S_OK);
    EXPECT_EQ(tail->ScrollIntoView(TRUE), S_OK);
    EXPECT_EQ(tail->Select(), S_OK);

    view_.SetText(L"");
    EXPECT_EQ(TextOf(whole.Get()), L"");
    EXPECT_EQ(whole->Move(TextUnit_Word, 1, &moved), S_OK);
    EXPECT_EQ(moved, 0);
}

TEST_F(ViewProviderTest, CallsFromAnotherThreadRunOnTheViews)
{
    view_.SetText(L"Called from afar.");
    HRESULT answered = E_FAIL;
    std::wstring text;
    std::atomic<bool> done{false};
    std::thread client([&] {
        ComPtr<ITextRangeProvider> range;
        answered = text_->get_DocumentRange(range.Out());
        if (range)
            text = TextOf(range.Get());
        done = true;
    });
    const bool finished = PumpUntil([&] { return done.load(); }, 10000);
    client.join();
    ASSERT_TRUE(finished) << "the view's thread never answered the other thread's call";
    EXPECT_EQ(answered, S_OK);
    EXPECT_EQ(text, L"Called from afar.");
}

TEST_F(ViewProviderTest, AProviderOfAWindowGoneAnswersNothing)
{
    view_.SetText(L"Gone soon.");
    ComPtr<ITextRangeProvider> range = Document();
    DestroyWindow(parent_);
    parent_ = nullptr;
    VARIANT value;
    EXPECT_EQ(element_->GetPropertyValue(UIA_NamePropertyId, &value), UiaElementNotAvailable);
    BSTR text = nullptr;
    EXPECT_EQ(range->GetText(-1, &text), UiaElementNotAvailable);
    EXPECT_EQ(text, nullptr);
}

// One sentence a line: the second line holds "Two words here.".
const wchar_t* const ThreeSentences = L"One.\rTwo words here.\rThree.";

TEST(SpokenWord, IsTheSelectionAndItsRectanglesCoverTheHighlight)
{
    InProcessApp app(SW_SHOWNORMAL);
    app.view().SetText(ThreeSentences);
    app.reader().PrepareText();
    app.speech().Play();
    app.voice.SetWord(9, 5);   // "words"
    app.voice.QueueEvent(SPEI_WORD_BOUNDARY);
    SendMessageW(app.window(), WM_VOICE_EVENT, 0, 0);

    ComPtr<IRawElementProviderSimple> element = ViewAccessibility::ProviderOf(app.view().Handle());
    ASSERT_TRUE(element);
    ComPtr<IUnknown> pattern;
    ASSERT_EQ(element->GetPatternProvider(UIA_TextPatternId, pattern.Out()), S_OK);
    ComPtr<ITextProvider> text = As<ITextProvider>(pattern.Get());
    ASSERT_TRUE(text);
    SAFEARRAY* array = nullptr;
    ASSERT_EQ(text->GetSelection(&array), S_OK);
    const ComPtr<ITextRangeProvider> word = OnlyRange(array);
    EXPECT_EQ(TextOf(word.Get()), L"words");

    const std::vector<RECT> rectangles = RectanglesOf(word.Get());
    ASSERT_FALSE(rectangles.empty());
    POINT origin{0, 0};
    ClientToScreen(app.view().Handle(), &origin);
    RedrawWindow(app.view().Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const ViewCapture shown = CaptureView(app.view().Handle());
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    int inside = 0, outside = 0;
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x) {
            if (shown.At(x, y) != highlight)
                continue;
            const POINT onScreen{x + origin.x, y + origin.y};
            bool covered = false;
            for (const RECT& rectangle : rectangles)
                covered = covered || PtInRect(&rectangle, onScreen);
            ++(covered ? inside : outside);
        }
    EXPECT_GT(inside, 0) << "no highlight under the word's rectangles";
    EXPECT_EQ(outside, 0) << "highlight outside the word's rectangles";

    ASSERT_EQ(text->GetVisibleRanges(&array), S_OK);
    EXPECT_NE(TextOf(OnlyRange(array).Get()).find(L"Two words here."), std::wstring::npos);

    // The middle of the word's first rectangle is in the word.
    const RECT& first = rectangles.front();
    ComPtr<ITextRangeProvider> atPoint;
    ASSERT_EQ(text->RangeFromPoint({(first.left + first.right) / 2.0, (first.top + first.bottom) / 2.0}, atPoint.Out()),
              S_OK);
    ASSERT_EQ(atPoint->ExpandToEnclosingUnit(TextUnit_Word), S_OK);
    EXPECT_EQ(TextOf(atPoint.Get()), L"words ");
}

}  // namespace
