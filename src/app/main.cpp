// Start-up, single instance and the message loop.
#include "app/speech_window.h"
#include "app/startup.h"
#include "speech/colour_hook.h"
#include "speech/text_view.h"
#include "speech/voice_engine.h"
#include "settings/program_info.h"
#include "settings/settings_file.h"
#include "platform/scoped_handle.h"
#include "platform/ui_text.h"
#include "res/resource.h"
#include <commctrl.h>
#include <objbase.h>

namespace {

constexpr int ExitNoVoice = 2;
constexpr int ExitCannotStart = 1;

bool IsRestart(const wchar_t* commandLine)
{
    return wcscmp(commandLine, L"/r") == 0;
}

// A restarted copy waits until the copy that started it has gone, then holds the
// single-instance mutex as any copy does, so that a later start is refused. The old
// copy's handle to it may outlive the wait by a moment, so it is not tested here.
KernelHandle WaitForPreviousCopy()
{
    const KernelHandle resetMutex(CreateMutexW(nullptr, TRUE, LoadText(IDS_RESET_MUTEX).c_str()));
    const DWORD error = GetLastError();
    if (resetMutex && (error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED)) {
        WaitForSingleObject(resetMutex.get(), INFINITE);
        ReleaseMutex(resetMutex.get());
    }
    return KernelHandle(CreateMutexW(nullptr, FALSE, LoadText(IDS_APP_NAME).c_str()));
}

// The mutex that marks this copy as running, held until the process ends; null when
// another copy runs, and the user is told so.
KernelHandle ClaimSingleInstance()
{
    KernelHandle mutex(CreateMutexW(nullptr, FALSE, LoadText(IDS_APP_NAME).c_str()));
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED)
        return mutex;
    ShowMessage(nullptr, IDS_WARNING, IDS_ALREADY_RUNNING, MB_OK | MB_ICONERROR);
    return KernelHandle();
}

// Without a voice the program has nothing to offer; it says why rather than vanish.
void TellNoVoice(HRESULT reason)
{
    ShowMessage(nullptr, IDS_WARNING, FillPattern(LoadText(IDS_NO_VOICE), SystemErrorText(static_cast<DWORD>(reason))),
                MB_OK | MB_ICONERROR);
}

int RunMessageLoop(HACCEL accelerators)
{
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!TranslateAcceleratorW(message.hwnd, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int showCommand)
{
    const HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDA_ACCELERATORS));

    if (ProgramInfo.osVersion.dwMajorVersion < 5)
        return 0;

    const KernelHandle instanceMutex = IsRestart(commandLine) ? WaitForPreviousCopy() : ClaimSingleInstance();
    if (!instanceMutex && !IsRestart(commandLine))
        return 0;

    // The rich-edit module's colour query is redirected while this is the only thread:
    // no other can be reading the import then.
    LoadTextViewLibrary();
    InstallColourHook();
    InitCommonControls();
    if (FAILED(CoInitialize(nullptr)))
        return ExitCannotStart;
    RegisterSpeechWindowClass();
    LoadSettings(LoadText(IDS_APP_NAME));
    SpeechWindowState state;
    if (!CreateSpeechWindow(state)) {
        CoUninitialize();
        return ExitCannotStart;
    }
    ComPtr<ISpVoice> voice;
    if (const HRESULT created = CreateVoiceEngine(state.window, voice); FAILED(created)) {
        // Told before the window goes: its end queues the quit, which would close the box.
        TellNoVoice(created);
        DestroyWindow(state.window);
        CoUninitialize();
        return ExitNoVoice;
    }
    state.reader.UseVoice(voice);
    SetUpSpeechWindow(state, showCommand);

    const int exitCode = RunMessageLoop(accelerators);
    TearDownSpeechWindow(state);
    CoUninitialize();
    return exitCode;
}
