#include "speech/text_view.h"
#include <richedit.h>

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

void TextViewSetText(const wchar_t* text)
{
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
