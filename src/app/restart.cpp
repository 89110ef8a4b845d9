#include "app/restart.h"
#include "settings/settings_file.h"
#include "platform/log.h"
#include "platform/scoped_handle.h"
#include "platform/ui_text.h"
#include "res/resource.h"
#include <shellapi.h>

namespace {

// The Options dialog ends with the identifier of its "Reset settings" button.
constexpr INT_PTR ResetSettingsResult = IDC_RESET_SETTINGS;
constexpr wchar_t RestartArgument[] = L"/r";

// The shell's own error box is left out: the program tells of the failure itself.
bool StartCopy(HWND owner, const std::wstring& program)
{
    SHELLEXECUTEINFOW start{};
    start.cbSize = sizeof start;
    start.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    start.hwnd = owner;
    start.lpVerb = L"open";
    start.lpFile = program.c_str();
    start.lpParameters = RestartArgument;
    start.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&start) != FALSE;
}

} // namespace

void RequestReset(HWND optionsDialog)
{
    if (!AskToConfirm(optionsDialog, IDS_CONFIRM_RESET))
        return;
    SettingsStore.resetPending = true;
    // The dialog's owner is the Speech window, whose end lets the new copy start.
    const HWND speechWindow = GetWindow(optionsDialog, GW_OWNER);
    EndDialog(optionsDialog, ResetSettingsResult);
    // Without a new copy to start afresh, this one keeps the user's settings.
    if (!RestartSelf(speechWindow))
        SettingsStore.resetPending = false;
}

bool RestartSelf(HWND speechWindow, const std::wstring& program)
{
    // Held until this process exits: the new copy waits on it, so it reads the settings
    // only after this copy has saved or deleted them.
    KernelHandle handOver(CreateMutexW(nullptr, TRUE, LoadText(IDS_RESET_MUTEX).c_str()));
    if (!handOver)
        LogFailure(L"CreateMutexW for the restart", GetLastError());
    if (!StartCopy(speechWindow, program)) {
        const DWORD error = GetLastError();
        LogFailure(L"ShellExecuteExW " + program, error);
        if (handOver)
            ReleaseMutex(handOver.get());
        ShowWarning(speechWindow, FillPattern(LoadText(IDS_RESTART_FAILED), SystemErrorText(error)));
        return false;
    }
    LogLine(L"Restarting");
    // The handle is left to the system, which releases the mutex as this process ends.
    handOver.release();
    DestroyWindow(speechWindow);
    return true;
}
