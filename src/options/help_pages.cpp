#include "options/options_pages.h"
#include "options/hot_keys_page.h"
#include "options/options_dialog.h"
#include "platform/dialog_record.h"
#include "res/resource.h"
#include <richedit.h>
#include <string_view>

namespace {

struct HelpPiece {
    const wchar_t* text;
    const wchar_t* breaks;
};

const HelpPiece HelpPieces[] = {
    {L"This software is based on Microsoft Speech API (SAPI). Since Windows XP, every Windows has had a built-in Speech Engine. ", L""},
    {L"First it was called Microsoft Sam and its sound was quite robotic. Nowadays in Windows (above XP) the built-in sound is much better. ", L""},
    {L"It\u2019s called Microsoft Anna. Clipvoce reads in every language that your installed voices speak, each paragraph with a voice of its language. ", L""},
    {L"The minimum supported operating system is Windows Vista. But Windows 7 (or above) is recommended.", L"\n\n"},
    {L"Clipvoce monitors the clipboard and if it\u2019s changed it gets its content and inserts it into the Speech window. ", L""},
    {L"If you turn on the Append text feature, the new text won't overwrite the old one but will be appended at the end of the text.", L"\n"},
    {L"You can hear the text when you play it. Playback is stoppable or pause-able. With the Continuous speech feature playback will be repeated in a loop until you stop it. ", L""},
    {L"There is an Auto play feature too, if it's turned on the new text will be played immediately.", L"\n"},
    {L"You can set the appearance of the Speech window (position, size, transparency, and border) you can even set the appearance of the text (color, font). ", L""},
    {L"If the Show full text feature is turned on, the actual word that you are hearing is highlighted and you can see the whole text. If the Show full text feature is turned off you can see only the played text. ", L""},
    {L"The Auto scroll function scrolls the text automatically and strives to keep the text in the middle of the window (only with Show full text feature).", L"\n"},
    {L"All settings are in the Options menu. Here you can set up your voice parameters. This software allows you to export your text as audio file. ", L""},
    {L"The default format is .wav but if you have a corresponding encoder (lame_enc.dll) you can use .mp3 format, as well. ", L""},
    {L"It's strongly recommended that you use punctuations in your text. One sentence is a text that ends with ./?/! and an enter or a space. Every enter without punctuation will be changed to a dot. If you don't use any punctuation every fifty words mean a sentence.", L"\n\n"},
};

// The phrases of the Help text set in bold, in the order the text has them. Some take
// the blank before them along, as the text has always been shown.
const wchar_t* const HelpBoldPhrases[] = {
    L"Clipvoce monitors the clipboard ",
    L" Speech window",
    L" Append text feature",
    L" Continuous speech feature",
    L"Auto play feature",
    L"Show full text feature",
    L"Auto scroll function",
};

const wchar_t* const HotKeyLines[] = {
    L"space = play, pause / resume",
    L"s = stop",
    L"p (or double click in the Speech window) = pause / resume",
    L"left = previous sentence",
    L"right = next sentence",
    L"ctrl + left click = go to the first sentence of the Speech window",
    L"shift + left click = read from the word clicked",
    L"mouse wheel = text scrolling",
    L"home = go to the first line",
    L"end = go to the last line",
    L"delete = delete all texts",
    L"+ / - = speech rate up / down",
    L"ctrl + up / ctrl + down = faster / slower",
    L"c, ctrl + c = copy to clipboard",
    L"v, ctrl + v = paste from clipboard (useful when you deleted the text)",
    L"o = options",
    L"h, F1 = help",
    L"e = export",
    L"b = Speech window border on/off",
    L"w = Speech window off",
    L"f = focus mode on/off (all but the sentence being read dimmed)",
    L"ctrl + q = quit",
    L"right click in the Speech window = menu",
    L"double click on the Speech window bar = hide Speech window",
    L"click on the tray icon = show Speech window",
    L"right click on the tray icon = menu",
    L"double click on the tray icon = settings",
};

// Taken from the Speech window's text format, so the character set is the text's.
CHARFORMATW BoldFormat(HWND textView)
{
    CHARFORMATW format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_BOLD | CFM_ITALIC | CFM_COLOR | CFM_SIZE | CFM_FACE | CFM_CHARSET;
    if (textView)
        SendMessageW(textView, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    format.dwMask = CFM_BOLD | CFM_ITALIC | CFM_COLOR | CFM_SIZE | CFM_FACE | CFM_CHARSET;
    format.dwEffects = CFE_BOLD;
    format.yHeight = 200;
    format.crTextColor = RGB(0, 0, 0);
    lstrcpynW(format.szFaceName, L"Ms Shell Dlg", LF_FACESIZE);
    return format;
}

void FillTextControl(HWND control, const std::wstring& text)
{
    SendMessageW(control, EM_EXLIMITTEXT, 0, -1);
    SendMessageW(control, EM_SETEVENTMASK, 0, ENM_KEYEVENTS);
    SetWindowTextW(control, text.c_str());
}

// Each range already lies on word boundaries. Asking for whole words as well makes some
// rich-edit versions (Wine's) also format the word after the caret, past the range.
void SetHelpBold(HWND control, const std::wstring& text, HWND textView)
{
    CHARFORMATW format = BoldFormat(textView);
    for (const TextRange& range : HelpBoldRanges(text)) {
        SendMessageW(control, EM_SETSEL, range.start, range.end);
        SendMessageW(control, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    }
    SendMessageW(control, EM_SETSEL, 0, 0);
}

// The rich-edit control keeps Escape for itself, so the page passes it on as Cancel.
void OnTextNotify(HWND optionsDialog, int textControl, const NMHDR* header)
{
    if (static_cast<int>(header->idFrom) != textControl || header->code != EN_MSGFILTER)
        return;
    const MSGFILTER* filter = reinterpret_cast<const MSGFILTER*>(header);
    if (filter->msg == WM_KEYDOWN && filter->wParam == VK_ESCAPE && optionsDialog)
        SendMessageW(optionsDialog, WM_COMMAND, IDCANCEL, 0);
}

INT_PTR TextPageProc(HWND page, UINT message, LPARAM lParam, int textControl, std::wstring (*build)(), bool bold)
{
    const OptionsDialogState* options = DialogRecord<OptionsDialogState>(page, message, lParam);
    if (!options)
        return message == WM_NOTIFY;
    switch (message) {
    case WM_INITDIALOG: {
        HWND control = GetDlgItem(page, textControl);
        const std::wstring text = build();
        FillTextControl(control, text);
        if (bold)
            SetHelpBold(control, text, options->host.textView);
        SetFocus(control);
        return FALSE;
    }
    case WM_NOTIFY:
        OnTextNotify(options->dialog, textControl, reinterpret_cast<const NMHDR*>(lParam));
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

std::wstring BuildHelpText()
{
    std::wstring text;
    for (const HelpPiece& piece : HelpPieces) {
        text += piece.text;
        text += piece.breaks;
    }
    return text;
}

std::vector<TextRange> HelpBoldRanges(const std::wstring& text)
{
    std::vector<TextRange> ranges;
    size_t from = 0;
    for (const std::wstring_view phrase : HelpBoldPhrases) {
        const size_t first = text.find(phrase, from);
        if (first == std::wstring::npos)
            continue;
        from = first + phrase.size();
        ranges.push_back({static_cast<int>(first), static_cast<int>(from)});
    }
    return ranges;
}

std::wstring BuildHotKeysText()
{
    std::wstring text;
    for (const wchar_t* line : HotKeyLines) {
        text += line;
        text += L'\n';
    }
    return text;
}

INT_PTR CALLBACK HelpPageProc(HWND page, UINT message, WPARAM, LPARAM lParam)
{
    return TextPageProc(page, message, lParam, IDC_HELP_TEXT, BuildHelpText, true);
}

INT_PTR CALLBACK HotKeysPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    const INT_PTR result = TextPageProc(page, message, lParam, IDC_HOTKEYS_TEXT, BuildHotKeysText, false);
    OnHotKeyControlsMessage(page, message, wParam);
    return result;
}
