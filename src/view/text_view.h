#pragma once
// The TextView: the control that shows the text being spoken (text_view_control.h), and
// the operations the program uses on it. Positions count one character per paragraph
// break (a single CR).
#include <windows.h>
#include <string>
#include "view/text_view_control.h"

// The control is a child of the window it was made in and goes with that window.
class TextView {
public:
    // A control at rect (parent client coordinates) with its events set; false when it
    // cannot be created.
    bool Create(HWND parent, const RECT& rect);
    HWND Handle() const { return view_; }

    int Length() const;                          // characters, a paragraph break counts one
    std::wstring GetText() const;                // whole text, CR for each paragraph break
    // The whole text as the control holds it, without a copy; valid until it changes.
    const std::wstring& Text() const;
    // The same, kept for as long as the caller holds it.
    SharedText Shared() const;
    void SetText(const wchar_t* text);           // replaces everything
    // Replaces everything with text, which has one CR for each paragraph break already;
    // the view keeps it, without a copy.
    void TakeText(SharedText text);
    // Changes whenever the text changes.
    unsigned Revision() const;
    // These ranges of the text are drawn dimmed until it changes (see DimmedColour).
    void ShowDimmed(SharedRanges ranges);
    // The sentence being read, marked as look asks, until the text changes; an empty
    // range for none.
    void ShowSentence(TextRange sentence);
    TextRange Sentence() const;
    void SetSentenceLook(SentenceLook look);
    // Played-text mode: only the text up to the selection's end shows (see the control).
    void SetPlayedTextMode(bool on);
    // The window the view is in became active, or stopped being so.
    void SetActive(bool active);
    void SetLineSpacing(int percent);
    // The DPI the text is drawn for.
    void SetDpi(int dpi);
    int WindowTextLength() const;                // WM_GETTEXTLENGTH: a paragraph break counts two
    void Select(int start, int end);             // start == end places the caret
    int SelectionEnd() const;
    void ReplaceSelection(const wchar_t* text);
    int SelectionLine() const;                   // line of the selection start
    int LineFromChar(int index) const;
    int LineCount() const;
    // The lines counted so far, without waiting for the rest of a long text.
    LineTally CountedLines() const;
    int FirstVisibleLine() const;
    int LineIndex(int line) const;               // first character of a line, -1 if none
    POINT PosFromChar(int index) const;          // client coordinates of a character
    // The character drawn at a point of the client area (see TextViewControl::CharacterAtPoint).
    int CharacterAt(POINT point) const;
    int LineHeight() const;                      // pixels
    RECT ClientRect() const;
    void ScrollLines(int lines);
    void ScrollOneLine(bool up);

private:
    TextViewControl* Control() const { return TextViewControl::Of(view_); }

    HWND view_ = nullptr;
};

// A text the view holds is a placeholder when it is one or two characters long, counted
// as the window text counts them, and holds only blanks and line breaks: a copy appended
// to it replaces it.
bool IsPlaceholderText(const std::wstring& viewText);
