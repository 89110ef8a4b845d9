#include "speech/display.h"
#include "speech/text_view.h"
#include "speech/text_prep.h"
#include "speech/voice_engine.h"
#include "speech/speech_controller.h"
#include "speech/status_report.h"
#include "settings/app_settings.h"
#include "platform/scoped_handle.h"
#include <richedit.h>
#include <algorithm>
#include <cmath>

namespace {

int lineHeight = 1;
int visibleLines = 1;

CHARFORMATW textFormat{};

int ScreenDpi()
{
    const WindowDc screen(nullptr);
    return screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
}

void MeasureLineHeight()
{
    const int first = TextViewFirstVisibleLine();
    // An empty view has no second line to measure by; the one lent for it goes again,
    // or the caption would count it.
    const bool lentLine = !SpeechTextPrepared();
    if (lentLine)
        TextViewSetText(L"\n");
    int next = TextViewLineIndex(first + 1);
    int appendedAt = -1;
    if (next < 0) {
        appendedAt = TextViewLength();
        AppendText(L"\n");
        // The helper may have replaced a placeholder instead of extending it.
        appendedAt = std::min(appendedAt, TextViewLength() - 1);
        next = TextViewLineIndex(first + 1);
    }
    const int y = next >= 0 ? TextViewPosFromChar(next).y : 0;
    lineHeight = y > 0 ? y : textFormat.yHeight / 20;
    if (lineHeight <= 0)
        lineHeight = 1;
    if (appendedAt >= 0) {
        // Remove exactly the line break added for the measurement.
        TextViewSelect(appendedAt, TextViewLength());
        TextViewReplaceSelection(L"");
    }
    if (lentLine)
        TextViewSetText(L"");
}

RECT TextViewClientRect()
{
    RECT r{};
    GetClientRect(textView, &r);
    return r;
}

} // namespace

int VisibleLines()
{
    return visibleLines;
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

int HighlightSpokenWord()
{
    SPVOICESTATUS status{};
    if (voiceEngine)
        voiceEngine->GetStatus(&status, nullptr);
    // The voice counts from where its utterance began in SpeechText.
    const int start = SpokenTextOffset(status.ulCurrentStream) + static_cast<int>(status.ulInputWordPos);
    const int end = start + static_cast<int>(status.ulInputWordLen);
    if (!AppSettings.showFullText) {
        // One selection per word: with the word selected on its own first, the view
        // could draw that in between, the text before it invisible.
        TextViewSelect(0, end);
        ReportStatusChange(TextViewLineFromChar(start));
        return end;
    }
    TextViewSelect(start, end);
    ReportStatusChange();
    if (AppSettings.autoScroll && NeedsAutoScroll(TextViewSelectionLine(), TextViewFirstVisibleLine(), visibleLines))
        TextViewScrollLines(1);
    return end;
}

void InitTextFormat()
{
    textFormat = CHARFORMATW{};
    textFormat.cbSize = sizeof textFormat;
    textFormat.dwMask = CFM_SIZE | CFM_COLOR | CFM_FACE | CFM_CHARSET | CFM_BOLD | CFM_ITALIC;
}

void ApplyFontAndColours()
{
    textFormat.dwEffects = (AppSettings.bold ? CFE_BOLD : 0) | (AppSettings.italic ? CFE_ITALIC : 0);
    textFormat.yHeight = TwipsFromHeight(AppSettings.fontHeightPixels, ScreenDpi());
    lstrcpynW(textFormat.szFaceName, AppSettings.fontFace, LF_FACESIZE);
    textFormat.bCharSet = static_cast<BYTE>(AppSettings.fontCharset & 0xFF);
    // In played-text mode unselected text is drawn in the background colour: invisible.
    textFormat.crTextColor = AppSettings.showFullText ? AppSettings.textColour : AppSettings.backgroundColour;

    SendMessageW(textView, EM_SETBKGNDCOLOR, 0, AppSettings.backgroundColour);
    SendMessageW(textView, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&textFormat));
    MeasureLineHeight();
    UpdateVisibleLines();
}

void UpdateVisibleLines()
{
    const RECT c = TextViewClientRect();
    visibleLines = ComputeVisibleLines(c.bottom - c.top, lineHeight);
    ReportStatusChange();
}
