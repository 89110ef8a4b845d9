#pragma once
// The TextView: the rich-edit control that shows the text being spoken.
// Positions count one character per paragraph break (a single CR).
#include <windows.h>
#include <string>

extern HWND textView;

// The control's window class comes from Msftedit.dll, which must be loaded before
// the first TextView is created.
bool LoadTextViewLibrary();
// A TextView at rect (parent client coordinates) with its events, text limit and undo
// set; null when the control cannot be created.
HWND CreateTextView(HWND parent, const RECT& rect);

int TextViewLength();                          // characters, a paragraph break counts one
std::wstring TextViewGetText();                // whole text, CR for each paragraph break
std::wstring TextViewGetRange(int start, int end);
void TextViewSetText(const wchar_t* text);     // replaces everything
int TextViewWindowTextLength();                // WM_GETTEXTLENGTH: a paragraph break counts two
void TextViewSelect(int start, int end);       // start == end places the caret
int TextViewSelectionEnd();
void TextViewReplaceSelection(const wchar_t* text);
int TextViewSelectionLine();                   // line of the selection start
int TextViewLineFromChar(int index);
int TextViewLineCount();
int TextViewFirstVisibleLine();
int TextViewLineIndex(int line);               // first character of a line, -1 if none
POINT TextViewPosFromChar(int index);          // client coordinates of a character
void TextViewScrollLines(int lines);
void TextViewScrollOneLine(bool up);
// Appends text at the end of the TextView. A placeholder content (one or two
// characters that are only blanks or line breaks) is replaced instead. Returns where
// the text begins in the view.
int AppendText(const wchar_t* text);
