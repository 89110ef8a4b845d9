#include "in_process_app.h"
#include "pump.h"
#include "app/app_state.h"
#include "app/startup.h"
#include "app/tray_icon.h"
#include "clipboard/clipboard_monitor.h"
#include "speech/speech_controller.h"
#include "speech/text_prep.h"
#include "speech/voice_engine.h"
#include "settings/app_settings.h"
#include "settings/settings_file.h"
#include "res/resource.h"
#include <objbase.h>

InProcessApp::InProcessApp(int showCommand)
{
    CoInitialize(nullptr);
    // Joining the clipboard chain takes what is on the clipboard; start from nothing.
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        CloseClipboard();
    }
    appInstance = GetModuleHandleW(nullptr);
    LoadStringW(appInstance, IDS_SPEECH_WINDOW, windowTitle, CaptionBufferLength);
    LoadStringW(appInstance, IDS_APP_NAME, appName, CaptionBufferLength);
    AppSettings = AppSettingsRecord{};
    logFont = FirstRunLogFont();
    frameHeightDelta = -1;
    speechState = Stopped;
    lastWordEnd = 0;
    ForgetVoiceQueue();
    sentenceCount = 0;
    firstRun = false;
    static const bool registered = RegisterSpeechWindowClass();
    (void)registered;
    CreateSpeechWindow();
    voiceEngine = &voice;
    SetUpSpeechWindow(showCommand);
    PumpPending();
    voice.Take();
}

InProcessApp::~InProcessApp()
{
    KillTimer(speechWindow, IDT_SPEECH_TIMER);
    DeleteTrayIcon();
    LeaveClipboardChain();
    voiceEngine = nullptr;
    FreeSpeechText();
    // Only the window goes: the destroy handling of the program would also save and quit.
    SetWindowLongPtrW(speechWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcW));
    DestroyWindow(speechWindow);
    speechWindow = nullptr;
    if (popupMenu)
        DestroyMenu(popupMenu);
    popupMenu = nullptr;
    PumpPending();
    CoUninitialize();
}

HWND InProcessApp::window() const
{
    return speechWindow;
}

void InProcessApp::Command(UINT id)
{
    SendMessageW(speechWindow, WM_COMMAND, id, 0);
}

std::wstring InProcessApp::MenuText(UINT id) const
{
    wchar_t text[64] = L"";
    GetMenuStringW(popupMenu, id, text, 64, MF_BYCOMMAND);
    return text;
}

bool InProcessApp::MenuEnabled(UINT id) const
{
    return (GetMenuState(popupMenu, id, MF_BYCOMMAND) & (MF_DISABLED | MF_GRAYED)) == 0;
}

bool InProcessApp::MenuChecked(UINT id) const
{
    return (GetMenuState(popupMenu, id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

std::wstring InProcessApp::Caption() const
{
    wchar_t text[128] = L"";
    GetWindowTextW(speechWindow, text, 128);
    return text;
}
