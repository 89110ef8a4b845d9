#include "platform/ui_text.h"
#include "res/resource.h"

HINSTANCE ProgramModule()
{
    return GetModuleHandleW(nullptr);
}

std::wstring LoadText(UINT id)
{
    // With a zero length the platform hands out a pointer to the resource itself.
    const wchar_t* text = nullptr;
    const int length = LoadStringW(ProgramModule(), id, reinterpret_cast<wchar_t*>(&text), 0);
    return length > 0 && text ? std::wstring(text, length) : std::wstring();
}

int ShowMessage(HWND owner, UINT captionId, const std::wstring& text, UINT type)
{
    return MessageBoxW(owner, text.c_str(), LoadText(captionId).c_str(), type);
}

int ShowMessage(HWND owner, UINT captionId, UINT textId, UINT type)
{
    return ShowMessage(owner, captionId, LoadText(textId), type);
}

void ShowWarning(HWND owner, const std::wstring& text)
{
    ShowMessage(owner, IDS_WARNING, text, MB_OK | MB_ICONWARNING);
}

void ShowWarning(HWND owner, UINT textId)
{
    ShowWarning(owner, LoadText(textId));
}

bool AskToConfirm(HWND owner, UINT questionId)
{
    return ShowMessage(owner, IDS_CONFIRMATION, questionId, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

std::wstring FillPattern(const std::wstring& pattern, const std::wstring& first, const std::wstring& second)
{
    std::wstring text;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const wchar_t next = i + 1 < pattern.size() ? pattern[i + 1] : L'\0';
        if (pattern[i] == L'%' && (next == L'1' || next == L'2')) {
            text += next == L'1' ? first : second;
            ++i;
        } else {
            text.push_back(pattern[i]);
        }
    }
    return text;
}

std::wstring SystemErrorText(DWORD error, HMODULE messageModule)
{
    wchar_t* text = nullptr;
    const DWORD source = messageModule ? FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM
                                       : FORMAT_MESSAGE_FROM_SYSTEM;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | source | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        messageModule, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring result = length > 0 && text ? std::wstring(text, length) : std::to_wstring(error);
    LocalFree(text);
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' || result.back() == L' '))
        result.pop_back();
    return result;
}
