#include "view/view_look.h"
#include "settings/app_settings.h"
#include "platform/dpi.h"
#include "platform/high_contrast.h"
#include <algorithm>
#include <cmath>

ViewColours ShownColours()
{
    if (HighContrastOn())
        return ViewColours{GetSysColor(COLOR_WINDOWTEXT), GetSysColor(COLOR_WINDOW)};
    return ViewColours{AppSettings.textColour, AppSettings.backgroundColour};
}

ViewLook::ViewLook()
{
    textFormat_.cbSize = sizeof textFormat_;
    textFormat_.dwMask = CFM_SIZE | CFM_COLOR | CFM_FACE | CFM_CHARSET | CFM_BOLD | CFM_ITALIC;
}

void ViewLook::MeasureLineHeight(const TextView& view)
{
    const int height = view.LineHeight();
    lineHeight_ = height > 0 ? height : textFormat_.yHeight / 20;
    if (lineHeight_ <= 0)
        lineHeight_ = 1;
}

int TwipsFromHeight(int lfHeight, int dpi)
{
    return MulDiv(-lfHeight, 72, dpi) * 20;
}

int ComputeVisibleLines(int clientHeight, int height)
{
    if (height <= 0)
        return 1;
    const int lines = static_cast<int>(std::floor(static_cast<double>(clientHeight) / height + 0.5));
    return lines < 1 ? 1 : lines;
}

bool NeedsAutoScroll(int wordLine, int firstVisibleLine, int lines)
{
    return lines > 2 && wordLine - firstVisibleLine > lines / 2;
}

int ViewLook::ShowSpokenWord(TextView& view, TextRange word, TextRange sentence)
{
    view.ShowSentence(sentence);
    view.Select(word.start, word.end);
    if (!AppSettings.showFullText)
        return view.LineFromChar(word.start);
    if (AppSettings.autoScroll && NeedsAutoScroll(view.SelectionLine(), view.FirstVisibleLine(), visibleLines_))
        view.ScrollLines(1);
    return -1;
}

void ViewLook::ApplySentenceLook(TextView& view)
{
    // In played-text mode the text read so far is the mark; a tint would show the rest.
    view.SetSentenceLook(SentenceLook{AppSettings.markSentence && AppSettings.showFullText, AppSettings.focusMode});
}

void ViewLook::TakeColours(TextView& view)
{
    const ViewColours colours = ShownColours();
    textFormat_.crTextColor = colours.text;
    view.SetPlayedTextMode(!AppSettings.showFullText);
    SendMessageW(view.Handle(), EM_SETBKGNDCOLOR, 0, colours.background);
}

void ViewLook::ApplyColours(TextView& view)
{
    TakeColours(view);
    CHARFORMATW colour = textFormat_;
    colour.dwMask = CFM_COLOR;
    SendMessageW(view.Handle(), EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&colour));
}

void ViewLook::ApplyFontAndColours(TextView& view)
{
    textFormat_.dwEffects = (AppSettings.bold ? CFE_BOLD : 0) | (AppSettings.italic ? CFE_ITALIC : 0);
    // The settings keep the height as at 96 dpi; the view draws the points at its own.
    textFormat_.yHeight = TwipsFromHeight(AppSettings.fontHeightPixels, BaseDpi);
    lstrcpynW(textFormat_.szFaceName, AppSettings.fontFace, LF_FACESIZE);
    textFormat_.bCharSet = static_cast<BYTE>(AppSettings.fontCharset & 0xFF);
    TakeColours(view);
    SendMessageW(view.Handle(), EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&textFormat_));
    view.SetLineSpacing(AppSettings.lineSpacingPercent);
    ApplySentenceLook(view);
    MeasureLineHeight(view);
    UpdateVisibleLines(view);
}

void ViewLook::ChangeDpi(TextView& view, int dpi)
{
    view.SetDpi(dpi);
    MeasureLineHeight(view);
    UpdateVisibleLines(view);
}

void ViewLook::UpdateVisibleLines(const TextView& view)
{
    const RECT c = view.ClientRect();
    visibleLines_ = ComputeVisibleLines(c.bottom - c.top, lineHeight_);
}
