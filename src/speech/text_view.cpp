#include "speech/text_view.h"
#include <richedit.h>
#include <algorithm>

bool LoadTextViewLibrary()
{
    static HMODULE richEdit = LoadLibraryW(L"Msftedit.dll");
    return richEdit != nullptr;
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

HWND CreateControl(HWND parent, const RECT& rect)
{
    LoadTextViewLibrary();
    HWND view = CreateWindowExW(0, TextViewClassName, L"", TextViewStyle, rect.left, rect.top, rect.right - rect.left,
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

} // namespace

bool TextView::Create(HWND parent, const RECT& rect)
{
    view_ = CreateControl(parent, rect);
    return view_ != nullptr;
}

// A fresh control in the old one's place with everything the old one was given:
// events, limit, background and default character format.
void TextView::ReplaceControl()
{
    HWND old = view_;
    HWND parent = GetParent(old);
    RECT rect;
    GetWindowRect(old, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    HWND fresh = CreateControl(parent, rect);
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
    view_ = fresh;
    DestroyWindow(old);
    if (hadFocus)
        SetFocus(parent);
}

int TextView::Length() const
{
    GETTEXTLENGTHEX len{GTL_DEFAULT, 1200};
    return static_cast<int>(SendMessageW(view_, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&len), 0));
}

std::wstring TextView::GetText() const
{
    const int n = Length();
    if (n <= 0)
        return {};
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    GETTEXTEX get{static_cast<DWORD>(2 * n + 2), GT_DEFAULT, 1200, nullptr, nullptr};
    SendMessageW(view_, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get), reinterpret_cast<LPARAM>(text.data()));
    text.resize(wcslen(text.c_str()));
    return text;
}

std::wstring TextView::GetRange(int start, int end) const
{
    if (end <= start)
        return {};
    std::wstring text(static_cast<size_t>(end - start) + 1, L'\0');
    TEXTRANGEW range{{start, end}, text.data()};
    const auto copied = SendMessageW(view_, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    text.resize(static_cast<size_t>(std::max<LRESULT>(copied, 0)));
    return text;
}

void TextView::SetText(const wchar_t* text)
{
    if (WindowTextLength() > LongTextLength)
        ReplaceControl();
    SendMessageW(view_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

int TextView::WindowTextLength() const
{
    return static_cast<int>(SendMessageW(view_, WM_GETTEXTLENGTH, 0, 0));
}

void TextView::Select(int start, int end)
{
    SendMessageW(view_, EM_SETSEL, start, end);
}

int TextView::SelectionEnd() const
{
    DWORD end = 0;
    SendMessageW(view_, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(end);
}

void TextView::ReplaceSelection(const wchar_t* text)
{
    SendMessageW(view_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

int TextView::SelectionLine() const
{
    return static_cast<int>(SendMessageW(view_, EM_EXLINEFROMCHAR, 0, -1));
}

int TextView::LineFromChar(int index) const
{
    return static_cast<int>(SendMessageW(view_, EM_EXLINEFROMCHAR, 0, index));
}

int TextView::LineCount() const
{
    return static_cast<int>(SendMessageW(view_, EM_GETLINECOUNT, 0, 0));
}

int TextView::FirstVisibleLine() const
{
    return static_cast<int>(SendMessageW(view_, EM_GETFIRSTVISIBLELINE, 0, 0));
}

int TextView::LineIndex(int line) const
{
    return static_cast<int>(SendMessageW(view_, EM_LINEINDEX, line, 0));
}

POINT TextView::PosFromChar(int index) const
{
    POINTL pt{};
    SendMessageW(view_, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&pt), index);
    return POINT{pt.x, pt.y};
}

RECT TextView::ClientRect() const
{
    RECT r{};
    GetClientRect(view_, &r);
    return r;
}

void TextView::ScrollLines(int lines)
{
    SendMessageW(view_, EM_LINESCROLL, 0, lines);
}

void TextView::ScrollOneLine(bool up)
{
    SendMessageW(view_, EM_SCROLL, up ? SB_LINEUP : SB_LINEDOWN, 0);
}

int TextView::Append(const wchar_t* text)
{
    const int n = WindowTextLength();
    if ((n == 1 || n == 2) && IsPlaceholder(GetText()))
        SetText(L"");
    // The window text length counts a paragraph break twice; the control clamps the
    // caret to the real end, which is where the text goes.
    Select(n, n);
    const int at = SelectionEnd();
    ReplaceSelection(text);
    return at;
}
