#include "app/first_run.h"
#include "settings/settings_file.h"
#include "platform/log.h"
#include "platform/scoped_handle.h"
#include "res/resource.h"
#include <atomic>

namespace {

// Set while the greeting is being shown, so that further copies in that time do not open
// another one over it.
std::atomic<bool> greetingShown{false};

DWORD WINAPI GreetingThread(LPVOID parameter)
{
    // The send returns once the modal About dialog has been closed; the dialog runs on
    // the window's own thread, as every window of the program does.
    SendMessageW(static_cast<HWND>(parameter), WM_COMMAND, CMD_ABOUT, 0);
    SettingsStore.firstRun = false;
    greetingShown = false;
    return 0;
}

} // namespace

void GreetOnFirstCopy(HWND speechWindow)
{
    if (greetingShown.exchange(true))
        return;
    // The clipboard notification that brings the first copy must not wait for the dialog.
    const KernelHandle thread(CreateThread(nullptr, 0, GreetingThread, speechWindow, 0, nullptr));
    if (!thread) {
        LogFailure(L"CreateThread for the first-run greeting", GetLastError());
        greetingShown = false;
    }
}
