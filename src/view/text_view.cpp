#include "view/text_view.h"
#include "platform/log.h"
#include <richedit.h>
#include <algorithm>

namespace {

constexpr DWORD TextViewStyle = WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL | ES_NOHIDESEL | ES_READONLY;

const std::wstring noText;

} // namespace

bool IsPlaceholderText(const std::wstring& viewText)
{
    const auto breaks = static_cast<size_t>(std::count(viewText.begin(), viewText.end(), L'\r'));
    const size_t windowLength = viewText.size() + breaks;
    if (windowLength != 1 && windowLength != 2)
        return false;
    for (wchar_t c : viewText)
        if (c != L' ' && c != L'\r' && c != L'\n')
            return false;
    return true;
}

bool TextView::Create(HWND parent, const RECT& rect)
{
    if (!RegisterTextViewClass())
        return false;
    view_ = CreateWindowExW(0, TextViewClassName, L"", TextViewStyle, rect.left, rect.top, rect.right - rect.left,
                            rect.bottom - rect.top, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!view_) {
        LogFailure(L"CreateWindowExW of the text view", GetLastError());
        return false;
    }
    SendMessageW(view_, EM_SETEVENTMASK, 0, ENM_SCROLL | ENM_KEYEVENTS | ENM_MOUSEEVENTS | ENM_SELCHANGE);
    return true;
}

int TextView::Length() const
{
    GETTEXTLENGTHEX len{GTL_DEFAULT, 1200};
    return static_cast<int>(SendMessageW(view_, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&len), 0));
}

void TextView::ShowDimmed(SharedRanges ranges)
{
    if (TextViewControl* control = Control())
        control->SetDimmed(std::move(ranges));
}

void TextView::ShowSentence(TextRange sentence)
{
    if (TextViewControl* control = Control())
        control->SetSentence(TextRange{sentence.start, sentence.end});
}

TextRange TextView::Sentence() const
{
    const TextViewControl* control = Control();
    const TextRange sentence = control ? control->Sentence() : TextRange{};
    return TextRange{sentence.start, sentence.end};
}

void TextView::SetSentenceLook(SentenceLook look)
{
    if (TextViewControl* control = Control())
        control->SetSentenceLook(look);
}

void TextView::SetPlayedTextMode(bool on)
{
    if (TextViewControl* control = Control())
        control->SetPlayedTextMode(on);
}

void TextView::SetActive(bool active)
{
    if (TextViewControl* control = Control())
        control->SetActive(active);
}

void TextView::SetLineSpacing(int percent)
{
    if (TextViewControl* control = Control())
        control->SetLineSpacing(percent);
}

void TextView::SetDpi(int dpi)
{
    if (TextViewControl* control = Control())
        control->SetDpi(dpi);
}

SharedText TextView::Shared() const
{
    const TextViewControl* control = Control();
    return control ? control->Shared() : std::make_shared<const std::wstring>();
}

std::wstring TextView::GetText() const
{
    return Text();
}

const std::wstring& TextView::Text() const
{
    const TextViewControl* control = Control();
    return control ? control->Text() : noText;
}

void TextView::SetText(const wchar_t* text)
{
    SendMessageW(view_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void TextView::TakeText(SharedText text)
{
    if (TextViewControl* control = Control())
        control->TakeText(std::move(text));
}

unsigned TextView::Revision() const
{
    const TextViewControl* control = Control();
    return control ? control->Revision() : 0;
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

LineTally TextView::CountedLines() const
{
    const TextViewControl* control = Control();
    return control ? control->CountedLines() : LineTally{};
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

int TextView::CharacterAt(POINT point) const
{
    TextViewControl* control = Control();
    return control ? control->CharacterAtPoint(point) : 0;
}

int TextView::LineHeight() const
{
    const TextViewControl* control = Control();
    return control ? control->LineHeight() : 0;
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
