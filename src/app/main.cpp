// Start-up, single instance and the message loop.
#include "app/app_state.h"
#include "app/startup.h"
#include "app/tray_icon.h"
#include "speech/voice_engine.h"
#include "settings/program_info.h"
#include "settings/settings_file.h"
#include "res/resource.h"
#include <commctrl.h>
#include <objbase.h>

namespace {

bool IsRestart(const wchar_t* commandLine)
{
    return wcscmp(commandLine, L"/r") == 0;
}

// A restarted copy waits until the copy that started it has gone, then holds the
// single-instance mutex as any copy does, so that a later start is refused. The old
// copy's handle to it may outlive the wait by a moment, so it is not tested here.
void WaitForPreviousCopy()
{
    wchar_t name[CaptionBufferLength];
    LoadStringW(appInstance, IDS_RESET_MUTEX, name, CaptionBufferLength);
    HANDLE mutex = CreateMutexW(nullptr, TRUE, name);
    const DWORD error = GetLastError();
    if (mutex && (error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED)) {
        WaitForSingleObject(mutex, INFINITE);
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    CreateMutexW(nullptr, FALSE, appName);   // held until the process ends
}

// False when another copy runs; the user is told so.
bool ClaimSingleInstance()
{
    HANDLE mutex = CreateMutexW(nullptr, FALSE, appName);
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED)
        return true;   // held until the process ends
    wchar_t caption[CaptionBufferLength];
    wchar_t text[MessageBufferLength];
    LoadStringW(appInstance, IDS_WARNING, caption, CaptionBufferLength);
    LoadStringW(appInstance, IDS_ALREADY_RUNNING, text, MessageBufferLength);
    MessageBoxW(nullptr, text, caption, MB_OK | MB_ICONERROR);
    if (mutex) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    return false;
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
    appInstance = instance;
    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDA_ACCELERATORS));
    LoadStringW(instance, IDS_SPEECH_WINDOW, windowTitle, CaptionBufferLength);
    LoadStringW(instance, IDS_APP_NAME, appName, CaptionBufferLength);

    if (ProgramInfo.osVersion.dwMajorVersion < 5)
        return 0;

    if (IsRestart(commandLine))
        WaitForPreviousCopy();
    else if (!ClaimSingleInstance())
        return 0;

    InitCommonControls();
    if (FAILED(CoInitialize(nullptr)))
        return 0;
    RegisterSpeechWindowClass();
    LoadSettings();
    if (!CreateSpeechWindow() || !CreateVoiceEngine(speechWindow))
        return 0;
    SetUpSpeechWindow(showCommand);

    const int exitCode = RunMessageLoop(accelerators);
    DeleteTrayIcon();
    CoUninitialize();
    return exitCode;
}
