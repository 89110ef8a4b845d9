#include "app/first_run.h"
#include "app/speech_window.h"
#include "settings/app_settings.h"
#include "settings/settings_file.h"
#include "platform/hot_key_names.h"
#include "platform/log.h"
#include "platform/scoped_handle.h"
#include "platform/ui_text.h"
#include "res/resource.h"
#include <utility>

namespace {

DWORD WINAPI GreetingThread(LPVOID parameter)
{
    const auto window = static_cast<HWND>(parameter);
    // The send returns once the modal About dialog has been closed; the dialog runs on
    // the window's own thread, as every window of the program does. The end of the
    // greeting is handled there too, in line with the copies that arrive.
    SendMessageW(window, WM_COMMAND, CMD_ABOUT, 0);
    SendMessageW(window, WM_GREETING_CLOSED, 0, 0);
    return 0;
}

std::wstring HowToHearText()
{
    const int playPause = AppSettings.playPauseHotKey;
    if (playPause == 0)
        return LoadText(IDS_FIRST_COPY_BALLOON_NO_HOT_KEY);
    return FillPattern(LoadText(IDS_FIRST_COPY_BALLOON), HotKeyText(playPause));
}

} // namespace

void GreetOnFirstCopy(SpeechWindowState& state)
{
    if (std::exchange(state.greetingShown, true)) {
        state.copiedDuringGreeting = true;
        return;
    }
    // The clipboard notification that brings the first copy must not wait for the dialog.
    const KernelHandle thread(CreateThread(nullptr, 0, GreetingThread, state.window, 0, nullptr));
    if (!thread) {
        LogFailure(L"CreateThread for the first-run greeting", GetLastError());
        state.greetingShown = false;
    }
}

void OnGreetingClosed(SpeechWindowState& state)
{
    SettingsStore.firstRun = false;
    state.greetingShown = false;
    // What the user copied while reading the greeting is what they want to hear.
    if (std::exchange(state.copiedDuringGreeting, false) && AppSettings.monitorClipboard)
        PasteIntoSpeechWindow(state);
}

void TellHowToHearOnce(SpeechWindowState& state)
{
    if (AppSettings.autoPlay || HearingCopiesNoteShown())
        return;
    const SpeechState speech = state.reader.State();
    if (speech == Playing || speech == PendingPlay)
        return;
    RememberHearingCopiesNoteShown();
    ShowStatusNote(state, LoadText(IDS_FIRST_COPY_NOTE), HowToHearText());
}
