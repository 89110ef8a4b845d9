#pragma once
// The TextView: the rich-edit control that shows the text being spoken.
// Positions count one character per paragraph break (a single CR).
#include <windows.h>
#include <string>

// Characters [start, end) of the view: a word of the text.
struct WordRange {
    int start = 0;
    int end = 0;
};

// The control's window class comes from Msftedit.dll, which must be loaded before
// the first TextView is created.
bool LoadTextViewLibrary();
inline constexpr wchar_t TextViewClassName[] = L"RICHEDIT50W";

// The control is a child of the window it was made in and goes with that window.
class TextView {
public:
    // A control at rect (parent client coordinates) with its events, text limit and undo
    // set; false when it cannot be created.
    bool Create(HWND parent, const RECT& rect);
    HWND Handle() const { return view_; }

    int Length() const;                          // characters, a paragraph break counts one
    std::wstring GetText() const;                // whole text, CR for each paragraph break
    std::wstring GetRange(int start, int end) const;
    void SetText(const wchar_t* text);           // replaces everything
    int WindowTextLength() const;                // WM_GETTEXTLENGTH: a paragraph break counts two
    void Select(int start, int end);             // start == end places the caret
    int SelectionEnd() const;
    void ReplaceSelection(const wchar_t* text);
    int SelectionLine() const;                   // line of the selection start
    int LineFromChar(int index) const;
    int LineCount() const;
    int FirstVisibleLine() const;
    int LineIndex(int line) const;               // first character of a line, -1 if none
    POINT PosFromChar(int index) const;          // client coordinates of a character
    RECT ClientRect() const;
    void ScrollLines(int lines);
    void ScrollOneLine(bool up);
    // Appends text at the end. A placeholder content (one or two characters that are
    // only blanks or line breaks) is replaced instead. Returns where the text begins.
    int Append(const wchar_t* text);

private:
    void ReplaceControl();

    HWND view_ = nullptr;
};
