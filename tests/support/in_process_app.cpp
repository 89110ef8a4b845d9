#include "in_process_app.h"
#include "pump.h"
#include "app/startup.h"
#include "app/tray_icon.h"
#include "speech/status_report.h"
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
    AppSettings = AppSettingsRecord{};
    speechState = Stopped;
    lastWordEnd = 0;
    ForgetVoiceQueue();
    ForgetSpeechText();
    SettingsStore.firstRun = false;
    static const bool registered = RegisterSpeechWindowClass();
    (void)registered;
    CreateSpeechWindow(*state_);
    voiceEngine = ComPtr<ISpVoice>::Share(&voice);
    SetUpSpeechWindow(*state_, showCommand);
    PumpPending();
    voice.Take();
}

InProcessApp::~InProcessApp()
{
    const HWND hwnd = state_->window;
    KillTimer(hwnd, IDT_SPEECH_TIMER);
    TearDownSpeechWindow(*state_);
    LeaveClipboardChain(hwnd);
    voiceEngine.Reset();
    ForgetSpeechText();
    SetStatusListener(nullptr);
    // Only the window goes: the destroy handling of the program would also save and quit.
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcW));
    DestroyWindow(hwnd);
    PumpPending();
    CoUninitialize();
}

HWND InProcessApp::window() const
{
    return state_->window;
}

void InProcessApp::Command(UINT id)
{
    SendMessageW(state_->window, WM_COMMAND, id, 0);
}

std::wstring InProcessApp::MenuText(UINT id) const
{
    wchar_t text[64] = L"";
    GetMenuStringW(state_->popupMenu, id, text, 64, MF_BYCOMMAND);
    return text;
}

bool InProcessApp::MenuEnabled(UINT id) const
{
    return (GetMenuState(state_->popupMenu, id, MF_BYCOMMAND) & (MF_DISABLED | MF_GRAYED)) == 0;
}

bool InProcessApp::MenuChecked(UINT id) const
{
    return (GetMenuState(state_->popupMenu, id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

std::wstring InProcessApp::Caption() const
{
    wchar_t text[128] = L"";
    GetWindowTextW(state_->window, text, 128);
    return text;
}
