#include "speech/text_view.h"
#include <richedit.h>
#include <algorithm>

HWND textView = nullptr;

bool LoadTextViewLibrary()
{
    static HMODULE richEdit = LoadLibraryW(L"Msftedit.dll");
    return richEdit != nullptr;
}

int TextViewLength()
{
    GETTEXTLENGTHEX len{GTL_DEFAULT, 1200};
    return static_cast<int>(SendMessageW(textView, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&len), 0));
}

std::wstring TextViewGetText()
{
    const int n = TextViewLength();
    if (n <= 0)
        return {};
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    GETTEXTEX get{static_cast<DWORD>(2 * n + 2), GT_DEFAULT, 1200, nullptr, nullptr};
    SendMessageW(textView, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get), reinterpret_cast<LPARAM>(text.data()));
    text.resize(wcslen(text.c_str()));
    return text;
}

std::wstring TextViewGetRange(int start, int end)
{
    if (end <= start)
        return {};
    std::wstring text(static_cast<size_t>(end - start) + 1, L'\0');
    TEXTRANGEW range{{start, end}, text.data()};
    const auto copied = SendMessageW(textView, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    text.resize(static_cast<size_t>(std::max<LRESULT>(copied, 0)));
    return text;
}

namespace {

bool IsPlaceholder(const std::wstring& text)
{
    for (wchar_t c : text)
        if (c != L' ' && c != L'\r' && c != L'\n')
            return false;
    return true;
}

constexpr DWORD TextViewStyle = WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL | ES_NOHIDESEL | ES_READONLY;

// Above this length, dropping the old text costs more than a fresh control: some
// rich-edit implementations take time that grows with the square of the number of
// paragraphs to delete a text, minutes for a few megabytes.
constexpr LRESULT LongTextLength = 16 * 1024;

// A fresh control in the old one's place with everything the old one was given:
// events, limit, background and default character format.
void ReplaceTextViewControl()
{
    HWND old = textView;
    HWND parent = GetParent(old);
    RECT rect;
    GetWindowRect(old, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    HWND fresh = CreateTextView(parent, rect);
    if (!fresh)
        return;
    // Setting a background colour is the only way to learn the current one.
    const auto background = static_cast<COLORREF>(SendMessageW(old, EM_SETBKGNDCOLOR, 0, 0));
    SendMessageW(fresh, EM_SETBKGNDCOLOR, 0, background);
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    SendMessageW(old, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    SendMessageW(fresh, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    const bool hadFocus = GetFocus() == old;
    textView = fresh;
    DestroyWindow(old);
    if (hadFocus)
        SetFocus(parent);
}

} // namespace

HWND CreateTextView(HWND parent, const RECT& rect)
{
    LoadTextViewLibrary();
    HWND view = CreateWindowExW(0, L"RICHEDIT50W", L"", TextViewStyle, rect.left, rect.top, rect.right - rect.left,
                                rect.bottom - rect.top, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!view)
        return nullptr;
    SendMessageW(view, EM_SETEVENTMASK, 0, ENM_SCROLL | ENM_KEYEVENTS | ENM_MOUSEEVENTS | ENM_SELCHANGE);
    SendMessageW(view, EM_EXLIMITTEXT, 0, -1);
    // The view is read-only, so nothing is ever undone; keeping the replaced text for
    // undo only makes every new copy slower, dramatically so for long texts.
    SendMessageW(view, EM_SETUNDOLIMIT, 0, 0);
    return view;
}

void TextViewSetText(const wchar_t* text)
{
    if (TextViewWindowTextLength() > LongTextLength)
        ReplaceTextViewControl();
    SendMessageW(textView, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

int TextViewWindowTextLength()
{
    return static_cast<int>(SendMessageW(textView, WM_GETTEXTLENGTH, 0, 0));
}

void TextViewSelect(int start, int end)
{
    SendMessageW(textView, EM_SETSEL, start, end);
}

int TextViewSelectionEnd()
{
    DWORD end = 0;
    SendMessageW(textView, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(end);
}

void TextViewReplaceSelection(const wchar_t* text)
{
    SendMessageW(textView, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

int TextViewSelectionLine()
{
    return static_cast<int>(SendMessageW(textView, EM_EXLINEFROMCHAR, 0, -1));
}

int TextViewLineFromChar(int index)
{
    return static_cast<int>(SendMessageW(textView, EM_EXLINEFROMCHAR, 0, index));
}

int TextViewLineCount()
{
    return static_cast<int>(SendMessageW(textView, EM_GETLINECOUNT, 0, 0));
}

int TextViewFirstVisibleLine()
{
    return static_cast<int>(SendMessageW(textView, EM_GETFIRSTVISIBLELINE, 0, 0));
}

int TextViewLineIndex(int line)
{
    return static_cast<int>(SendMessageW(textView, EM_LINEINDEX, line, 0));
}

POINT TextViewPosFromChar(int index)
{
    POINTL pt{};
    SendMessageW(textView, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&pt), index);
    return POINT{pt.x, pt.y};
}

void TextViewScrollLines(int lines)
{
    SendMessageW(textView, EM_LINESCROLL, 0, lines);
}

void TextViewScrollOneLine(bool up)
{
    SendMessageW(textView, EM_SCROLL, up ? SB_LINEUP : SB_LINEDOWN, 0);
}

int AppendText(const wchar_t* text)
{
    const int n = TextViewWindowTextLength();
    if ((n == 1 || n == 2) && IsPlaceholder(TextViewGetText()))
        TextViewSetText(L"");
    // The window text length counts a paragraph break twice; the control clamps the
    // caret to the real end, which is where the text goes.
    TextViewSelect(n, n);
    const int at = TextViewSelectionEnd();
    TextViewReplaceSelection(text);
    return at;
}
