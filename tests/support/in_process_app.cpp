#include "in_process_app.h"
#include "pump.h"
#include "app/startup.h"
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
    wchar_t temp[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, temp);
    settingsFile_ = std::wstring(temp) + L"clipvoce_in_process_" + std::to_wstring(GetCurrentProcessId()) + L".ini";
    // The history beside the settings would bring an earlier test's last text back.
    historyFile_ = std::wstring(temp) + L"history.dat";
    DeleteFileW(historyFile_.c_str());
    AppSettings = AppSettingsRecord{};
    SettingsStore.path = settingsFile_;
    SettingsStore.firstRun = false;
    // As in the end-to-end tests' settings files, the note on hearing a copy has been
    // seen: it would stand in the caption that tests read.
    RememberHearingCopiesNoteShown();
    static const bool registered = RegisterSpeechWindowClass();
    (void)registered;
    CreateSpeechWindow(*state_);
    state_->reader.UseVoice(ComPtr<ISpVoice>::Share(&voice),
                            [this](const std::wstring& defaultId) { return voiceLister(defaultId); });
    SetUpSpeechWindow(*state_, showCommand);
    PumpPending();
    voice.Take();
}

InProcessApp::~InProcessApp()
{
    TearDownSpeechWindow(*state_);
    // A test may have pointed the settings elsewhere; the window's final save comes here.
    SettingsStore.path = settingsFile_;
    DestroyWindow(state_->window);
    // The quit the window's end posts is the program's, not this test's.
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    PumpPending();
    DeleteFileW(settingsFile_.c_str());
    DeleteFileW(historyFile_.c_str());
    SettingsStore.path.clear();
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

void InProcessApp::Reach(SpeechState target)
{
    if (!reader().Text().Prepared()) {
        if (view().Length() == 0)
            view().SetText(L"First sentence. Second one.");
        reader().PrepareText();
    }
    SpeechController& controller = speech();
    controller.Stop();
    if (target == Stopped)
        return;
    controller.Play();
    // The end of the stopped reading is owed; the timer stops waiting for it.
    if (controller.State() == PendingPlay)
        SendMessageW(window(), WM_TIMER, IDT_SPEECH_TIMER, 0);
    if (target == Paused)
        controller.PauseResume();
    if (target == PendingPlay) {
        controller.Stop();
        controller.Play();
    }
}
