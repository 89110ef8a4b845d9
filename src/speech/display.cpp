#include "speech/display.h"
#include "speech/text_view.h"
#include "speech/text_prep.h"
#include "speech/voice_engine.h"
#include "speech/speech_controller.h"
#include "clipboard/clipboard_monitor.h"
#include "app/app_state.h"
#include "app/tray_icon.h"
#include "settings/app_settings.h"
#include "res/resource.h"
#include <richedit.h>
#include <algorithm>
#include <cmath>

int lineHeight = 1;
int visibleLines = 1;

namespace {

CHARFORMATW textFormat{};

constexpr LONG BorderedStyle = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;

int ScreenDpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

void MeasureLineHeight()
{
    const int first = TextViewFirstVisibleLine();
    // An empty view has no second line to measure by; the one lent for it goes again,
    // or the caption would count it.
    const bool lentLine = !speechText;
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

RECT WindowRect()
{
    RECT r{};
    GetWindowRect(speechWindow, &r);
    return r;
}

RECT TextViewClientRect()
{
    RECT r{};
    GetClientRect(textView, &r);
    return r;
}

void MeasureFrameHeightDelta()
{
    if (frameHeightDelta == -1) {
        const RECT w = WindowRect();
        const RECT c = TextViewClientRect();
        frameHeightDelta = (w.bottom - w.top) - (c.bottom - c.top);
    }
}

LONG BorderlessStyle()
{
    return GetWindowLongW(speechWindow, GWL_STYLE) & (WS_POPUP | WS_VISIBLE);
}

// After a border change the platform may still take activation away from the window
// late, as it learns that the window was hidden: for a short while such a loss to no
// window at all is undone.
constexpr ULONGLONG KeyboardGuardMs = 3000;
ULONGLONG keyboardGuardUntil = 0;
bool takingKeyboardBack = false;

// The platform gives the keyboard to a shown window only on a change of activation, so
// the window passes through the desktop on its way back.
void TakeKeyboardBack()
{
    takingKeyboardBack = true;
    SetForegroundWindow(GetDesktopWindow());
    SetForegroundWindow(speechWindow);
    SetFocus(speechWindow);
    takingKeyboardBack = false;
}

void MoveHiddenAndShow(int x, int y, int width, int height)
{
    // Hidden without handing activation to another window: that window would keep the
    // keyboard, and the user who just pressed B would find every later key going
    // elsewhere until a click.
    const bool wasActive = GetActiveWindow() == speechWindow;
    SetWindowPos(speechWindow, nullptr, 0, 0, 0, 0,
                 SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    MoveWindow(speechWindow, x, y, width, height, FALSE);
    ShowWindow(speechWindow, SW_SHOWNORMAL);
    if (wasActive) {
        keyboardGuardUntil = GetTickCount64() + KeyboardGuardMs;
        TakeKeyboardBack();
    }
}

void CheckSpeakerWindowItem(bool checked)
{
    CheckMenuItem(popupMenu, CMD_SPEAKER_WINDOW, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

} // namespace

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
    if (!AppSettings.fulltext) {
        // One selection per word: with the word selected on its own first, the view
        // could draw that in between, the text before it invisible.
        TextViewSelect(0, end);
        RefreshStatusLine(TextViewLineFromChar(start));
        return end;
    }
    TextViewSelect(start, end);
    RefreshStatusLine();
    if (AppSettings.autoscroll && NeedsAutoScroll(TextViewSelectionLine(), TextViewFirstVisibleLine(), visibleLines))
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
    AppSettings.italic = logFont.lfItalic != 0;
    AppSettings.bold = logFont.lfWeight > 400;
    textFormat.dwEffects = (AppSettings.bold ? CFE_BOLD : 0) | (AppSettings.italic ? CFE_ITALIC : 0);
    textFormat.yHeight = TwipsFromHeight(logFont.lfHeight, ScreenDpi());
    lstrcpynW(textFormat.szFaceName, logFont.lfFaceName, 32);
    textFormat.bCharSet = logFont.lfCharSet;
    // In played-text mode unselected text is drawn in the background colour: invisible.
    textFormat.crTextColor = AppSettings.fulltext ? AppSettings.text : AppSettings.background;

    SendMessageW(textView, EM_SETBKGNDCOLOR, 0, AppSettings.background);
    SendMessageW(textView, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&textFormat));
    ApplyTransparency();
    MeasureLineHeight();
    UpdateVisibleLines();
}

void UpdateVisibleLines()
{
    const RECT c = TextViewClientRect();
    visibleLines = ComputeVisibleLines(c.bottom - c.top, lineHeight);
    RefreshStatusLine();
}

void ApplyBorder()
{
    MeasureFrameHeightDelta();
    const RECT w = WindowRect();
    if (AppSettings.border) {
        SetWindowLongW(speechWindow, GWL_STYLE, BorderedStyle);
        return;
    }
    SetWindowLongW(speechWindow, GWL_STYLE, BorderlessStyle());
    MoveHiddenAndShow(w.left, w.top, w.right - w.left, w.bottom - w.top - frameHeightDelta);
}

void ToggleBorder()
{
    MeasureFrameHeightDelta();
    const int frame = GetSystemMetrics(SM_CYFRAME);
    const RECT w = WindowRect();
    const RECT c = TextViewClientRect();
    const int width = w.right - w.left;
    const int clientHeight = c.bottom - c.top;
    if (AppSettings.border) {
        SetWindowLongW(speechWindow, GWL_STYLE, BorderlessStyle());
        AppSettings.border = false;
        MoveHiddenAndShow(w.left + frame, w.top + frameHeightDelta - frame, width - 2 * frame, clientHeight);
    } else {
        SetWindowLongW(speechWindow, GWL_STYLE, BorderedStyle);
        AppSettings.border = true;
        MoveHiddenAndShow(w.left - frame, w.top - frameHeightDelta + frame, width + 2 * frame,
                          clientHeight + frameHeightDelta);
    }
}

void OnSpeechWindowActivate(WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) != WA_INACTIVE || takingKeyboardBack || GetTickCount64() >= keyboardGuardUntil)
        return;
    // A window the user chose keeps the activation; only a loss to nothing is undone.
    const auto other = reinterpret_cast<HWND>(lParam);
    if (!other || other == GetDesktopWindow())
        PostMessageW(speechWindow, WM_TAKE_KEYBOARD_BACK, 0, 0);
}

void OnTakeKeyboardBack()
{
    const HWND foreground = GetForegroundWindow();
    if (IsWindowVisible(speechWindow) && (!foreground || foreground == GetDesktopWindow()))
        TakeKeyboardBack();
}

void ShowSpeechWindow(int showCommand)
{
    if (showCommand == 0) {
        AppSettings.window = !AppSettings.window;
        ShowWindow(speechWindow, AppSettings.window ? SW_SHOW : SW_HIDE);
    } else {
        ShowWindow(speechWindow, AppSettings.window ? showCommand : SW_HIDE);
    }
    CheckSpeakerWindowItem(AppSettings.window);
}

void ApplyTopMost()
{
    SetWindowPos(speechWindow, AppSettings.top ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
}

void ApplyTransparency()
{
    SetLayeredWindowAttributes(speechWindow, 0, static_cast<BYTE>(AppSettings.transparency & 0xFF), LWA_ALPHA);
}
