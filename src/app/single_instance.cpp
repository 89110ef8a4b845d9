#include "app/single_instance.h"
#include "platform/log.h"
#include "platform/ui_text.h"
#include "res/resource.h"
#include <string>

namespace {

// The running copy takes its mutex before its window exists: a start right after it
// waits a moment for the window.
constexpr int WindowLookups = 30;
constexpr DWORD WindowLookupPauseMs = 100;
constexpr UINT BringForwardTimeoutMs = 5000;

HWND FindRunningSpeechWindow()
{
    // The Speech window's class is the application's name, which no other program uses.
    const std::wstring className = LoadText(IDS_APP_NAME);
    for (int lookup = 0; lookup < WindowLookups; ++lookup) {
        if (HWND window = FindWindowW(className.c_str(), nullptr))
            return window;
        Sleep(WindowLookupPauseMs);
    }
    return nullptr;
}

void BringRunningCopyForward()
{
    const HWND window = FindRunningSpeechWindow();
    if (!window) {
        LogLine(L"The running copy's Speech window was not found");
        return;
    }
    // This start came from the user and may hand the foreground on; the running copy
    // could not take it by itself.
    DWORD runningProcess = 0;
    GetWindowThreadProcessId(window, &runningProcess);
    if (!AllowSetForegroundWindow(runningProcess))
        LogFailure(L"AllowSetForegroundWindow", GetLastError());
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(window, BringForwardMessage(), 0, 0, SMTO_ABORTIFHUNG, BringForwardTimeoutMs, &answer))
        LogFailure(L"Asking the running copy to show its window", GetLastError());
}

} // namespace

UINT BringForwardMessage()
{
    static const UINT message = RegisterWindowMessageW((LoadText(IDS_APP_NAME) + L"_BringForward").c_str());
    return message;
}

KernelHandle WaitForPreviousCopy()
{
    const KernelHandle resetMutex(CreateMutexW(nullptr, TRUE, LoadText(IDS_RESET_MUTEX).c_str()));
    const DWORD error = GetLastError();
    if (resetMutex && (error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED)) {
        WaitForSingleObject(resetMutex.get(), INFINITE);
        ReleaseMutex(resetMutex.get());
    }
    // The old copy's handle to the single-instance mutex may outlive the wait by a
    // moment, so it is not tested here.
    return KernelHandle(CreateMutexW(nullptr, FALSE, LoadText(IDS_APP_NAME).c_str()));
}

KernelHandle ClaimSingleInstance()
{
    KernelHandle mutex(CreateMutexW(nullptr, FALSE, LoadText(IDS_APP_NAME).c_str()));
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED)
        return mutex;
    // Whoever starts the program again is looking for it: the window comes first, the
    // message after it.
    BringRunningCopyForward();
    ShowMessage(nullptr, IDS_WARNING, IDS_ALREADY_RUNNING, MB_OK | MB_ICONERROR);
    return KernelHandle();
}
