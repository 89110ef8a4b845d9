#include "app/restart.h"
#include "settings/program_info.h"
#include "settings/settings_file.h"
#include "platform/ui_text.h"
#include "res/resource.h"
#include <shellapi.h>

namespace {

// The Options dialog ends with the identifier of its "Reset settings" button.
constexpr INT_PTR ResetSettingsResult = IDC_RESET_SETTINGS;
constexpr wchar_t RestartArgument[] = L"/r";

} // namespace

void RequestReset(HWND optionsDialog)
{
    if (!AskToConfirm(optionsDialog, IDS_CONFIRM_RESET))
        return;
    SettingsStore.resetPending = true;
    // The dialog's owner is the Speech window, whose end lets the new copy start.
    const HWND speechWindow = GetWindow(optionsDialog, GW_OWNER);
    EndDialog(optionsDialog, ResetSettingsResult);
    RestartSelf(speechWindow);
}

void RestartSelf(HWND speechWindow)
{
    // Held until this process exits: the new copy waits on it, so it reads the settings
    // only after this copy has saved or deleted them. The handle is left to the system.
    CreateMutexW(nullptr, TRUE, LoadText(IDS_RESET_MUTEX).c_str());
    ShellExecuteW(nullptr, L"open", ProgramInfo.programPath.c_str(), RestartArgument, nullptr, SW_SHOWNORMAL);
    SendMessageW(speechWindow, WM_DESTROY, 0, 0);
}
