#pragma once
// The control behind the TextView: a read-only view of a text in one font and colour,
// with a selection that stays visible without the keyboard focus. It answers the
// rich-edit messages the program sends (WM_SETTEXT, EM_SETSEL, EM_EXLINEFROMCHAR,
// EM_LINESCROLL, EM_SETCHARFORMAT...) with their meaning, and reports keyboard and mouse
// input to its parent first (EN_MSGFILTER). Unlike the platform's rich edit it lays
// out only as far as it has to show or answer, the rest of a long text a slice at a
// time between messages, in time that grows with the text's length alone; and it draws
// only the lines in sight.
#include <windows.h>
#include <richedit.h>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>
#include "platform/scoped_handle.h"
#include "platform/sliced_work.h"
#include "view/line_shape.h"
#include "view/text_layout.h"
#include "view/text_range.h"

class ViewAccessibility;

inline constexpr wchar_t TextViewClassName[] = L"ClipvoceTextView";
// Registers the window class once; false when it cannot be.
bool RegisterTextViewClass();

// WM_NOTIFY code sent to the parent when the lines of a long text, counted between
// messages, are all counted.
inline constexpr UINT TextViewLinesCounted = 0x0A00;

// Appends text[0..length) to out as the view holds it: CR LF, a lone CR and a lone LF
// each become one CR. A CR at the very end stays a CR, so a text cut into parts must not
// be cut between a CR and its LF.
void AppendWithViewBreaks(std::wstring& out, const wchar_t* text, size_t length);

// A text that the view and the prepared text share, never changed once made: a long
// one is not copied to be shown.
using SharedText = std::shared_ptr<const std::wstring>;

// Ranges of a text in order, not overlapping; shared, never changed once made.
using SharedRanges = std::shared_ptr<const std::vector<TextRange>>;

// Text set aside (what the voice does not hear) is drawn this far from the text's colour
// toward the background's, so that it reads as dimmed in any colour scheme; where both
// are the same (nothing unspoken may show), it stays invisible.
COLORREF DimmedColour(COLORREF text, COLORREF background);

// The sentence being read is drawn on a light tint of the highlight colour over the
// background; in focus mode everything outside it is dimmed this far toward the background.
COLORREF SentenceTint(COLORREF background, COLORREF highlight);
COLORREF FocusDimmedColour(COLORREF text, COLORREF background);

// How the sentence being read is marked.
struct SentenceLook {
    bool tint = false;    // drawn on SentenceTint
    bool focus = false;   // all text outside it dimmed (FocusDimmedColour)
    bool operator==(const SentenceLook&) const = default;
};

// The lines of the text as far as they are known; all of them when complete.
struct LineTally {
    int lines = 1;
    bool complete = true;
};

class TextViewControl {
public:
    // The control of a TextView window; null for any other window.
    static TextViewControl* Of(HWND window);
    ~TextViewControl();
    TextViewControl(const TextViewControl&) = delete;
    TextViewControl& operator=(const TextViewControl&) = delete;
    HWND Window() const { return window_; }

    const std::wstring& Text() const { return *text_; }
    const SharedText& Shared() const { return text_; }
    // text, with one CR for each paragraph break, becomes the whole text.
    void TakeText(SharedText text);
    // Changes with every change of the text.
    unsigned Revision() const { return revision_; }
    LineTally CountedLines() const { return {layout_.KnownLines(), layout_.Complete()}; }
    // These ranges of the text are drawn dimmed, until the text changes or others are given.
    void SetDimmed(SharedRanges ranges);
    // The sentence being read, until the text changes or another is given; an empty
    // range for none (nothing is dimmed in focus mode then).
    void SetSentence(TextRange sentence);
    TextRange Sentence() const { return sentence_; }
    void SetSentenceLook(SentenceLook look);
    // Played-text mode: the text up to the selection's end is drawn as plain text, the
    // selection unmarked, and the rest not at all; with only a caret, nothing shows.
    void SetPlayedTextMode(bool on);
    bool PlayedTextMode() const { return playedTextMode_; }
    // Whether the window the view is in is the active one: only then does the system
    // caret follow the selection.
    void SetActive(bool active);
    // Distance between baselines in percent of the font's height: 100, 150 or 200.
    void SetLineSpacing(int percent);
    // The DPI the font is made for; the text keeps its size in points.
    void SetDpi(int dpi);
    // From one line's top to the next one's, spacing included.
    int LineHeight() const { return lineHeight_; }

    // Positions as assistive technology asks for them, all from the one layout the view
    // draws with; client coordinates.
    // The selection: the spoken word while reading, else the caret.
    TextRange Selection() const { return {selStart_, selEnd_}; }
    void SelectRange(TextRange range) { Select(range.start, range.end); }
    // The characters of the lines in sight.
    TextRange VisibleRange();
    // Where range is drawn: one rectangle per piece of a line in sight (a line's
    // right-to-left and left-to-right parts are pieces of their own), clipped to the
    // client area; none for an empty range or one out of sight.
    std::vector<RECT> RangeRectangles(TextRange range);
    // The character drawn nearest to point.
    int IndexAtPoint(POINT point);
    // The character drawn at point: on a line's blanks or beyond its end, the blank (or
    // the start of the next line); below the last line, the text's length.
    int CharacterAtPoint(POINT point);
    int LineOf(int index) { return layout_.LineOf(index); }
    // First character of a line, -1 when there is none; end of its characters, its CR included.
    int LineStart(int line) { return layout_.LineStart(line); }
    int LineEnd(int line) { return layout_.LineEnd(line); }
    // Scrolls the line of index into sight, at the top when alignToTop.
    void ScrollIntoView(int index, bool alignToTop);

private:
    // Space between the text and the control's left and right edges.
    static constexpr int Margin = 1;
    friend bool RegisterTextViewClass();
    explicit TextViewControl(HWND window);
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

    // Text
    void ReplaceSelection(const wchar_t* text);
    void TextChangedFrom(int index);
    int WindowTextLength() const;
    LRESULT CopyText(wchar_t* buffer, size_t capacity, int from, int to, bool crlf) const;
    // Selection and scrolling
    void Select(int start, int end);
    void ShowLine(int line);
    bool ScrollTo(int line);
    int FullyVisibleLines() const;
    POINT PositionOf(int index);
    // Positions
    // A line as drawn: its first character, its shape, and where it stands.
    struct PlacedLine {
        int start = -1;
        const LineShape* shape = nullptr;
        int left = 0;
        int top = 0;
    };
    PlacedLine Place(int line);
    // Where range's characters on the line are, from top to bottom, clipped to client;
    // toEdges stretches the line's first and last pieces to the client's edges.
    std::vector<RECT> Rectangles(const PlacedLine& placed, TextRange range, int top, int bottom, const RECT& client,
                                 bool toEdges) const;
    void PlaceCaret();
    // Look
    void ApplyFormat(const CHARFORMAT2W& format, DWORD mask);
    void FillFormat(CHARFORMAT2W& format) const;
    void MakeFont();
    // The font made anew (a new face, size or DPI), and the text laid out in it.
    void Refont();
    // The line height from the font's and the spacing.
    void SpaceLines();
    int LayoutWidth() const;
    void ResetLayout();
    void ContinueLayout();
    void OnSize();
    void InvalidateCharacters(int from, int to);
    // Draws what lies in area of the client rectangle.
    void Paint(HDC dc, const RECT& client, const RECT& area);
    struct LineColours {
        COLORREF text = 0;
        COLORREF marked = 0;       // behind the selection (or the played text)
        COLORREF markedText = 0;
        COLORREF tint = 0;
    };
    LineColours ColoursNow() const;
    // What is drawn as the selection: in played-text mode the text played so far.
    TextRange Marked() const;
    bool ColourAt(int index, const LineColours& colours, COLORREF& colour) const;
    int NextColourChange(int from, int to) const;
    bool InDimmed(int index) const;
    void DrawLine(HDC dc, int line, int y, const RECT& client);
    HRGN ClipRegion(const PlacedLine& placed, TextRange range, int top, int bottom, const RECT& client) const;
    // Fills behind range's characters on the placed line, from top to bottom.
    void FillBehind(HDC dc, const PlacedLine& placed, TextRange range, int top, int bottom, COLORREF colour,
                    const RECT& client);
    bool InSentence(int index) const { return index >= sentence_.start && index < sentence_.end; }
    bool Focusing() const { return look_.focus && sentence_.end > sentence_.start; }
    // Input
    bool FilteredByParent(UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_;
    std::unique_ptr<ViewAccessibility> accessibility_;
    SharedText text_ = std::make_shared<const std::wstring>();
    SharedRanges dimmed_;
    TextRange sentence_;
    SentenceLook look_;
    bool playedTextMode_ = false;
    bool active_ = false;
    // The caret's height while the view has one, else 0.
    int caretHeight_ = 0;
    CharWidths widths_;
    TextLayout layout_{widths_};
    SlicedWork layoutWork_;
    unsigned revision_ = 0;
    // Paragraph breaks in the text, counted again after a change; -1 until then.
    mutable int breaks_ = -1;
    int selStart_ = 0;
    int selEnd_ = 0;
    int topLine_ = 0;
    int laidOutWidth_ = 0;
    DWORD eventMask_ = 0;
    COLORREF background_;
    CHARFORMAT2W format_{};
    GdiObject font_;
    // What the view is drawn on before it is shown: selected in measureDc_, which goes first.
    GdiObject backBuffer_;
    SIZE backBufferSize_{};
    // Lines measured, shaped and drawn on one DC, with font_ selected; the shapes of the
    // lines in sight, by their first character, made again when the text, layout or
    // font changes.
    MemoryDc measureDc_;
    std::unordered_map<int, LineShape> shapes_;
    int dpi_;
    int lineSpacingPercent_ = 100;
    int fontHeight_ = 16;
    // The text stands in the middle of its line: this far below the line's top.
    int textTop_ = 0;
    int lineHeight_ = 16;
};
