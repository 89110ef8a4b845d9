#include "app/restart.h"
#include "app/app_state.h"
#include "settings/program_info.h"
#include "settings/settings_file.h"
#include "res/resource.h"
#include <shellapi.h>

namespace {

// The Options dialog ends with the identifier of its "Reset settings" button.
constexpr INT_PTR ResetSettingsResult = IDC_RESET_SETTINGS;
constexpr wchar_t RestartArgument[] = L"/r";

} // namespace

void RequestReset(HWND optionsDialog)
{
    wchar_t caption[CaptionBufferLength] = L"";
    wchar_t question[MessageBufferLength] = L"";
    LoadStringW(appInstance, IDS_CONFIRMATION, caption, CaptionBufferLength);
    LoadStringW(appInstance, IDS_CONFIRM_RESET, question, MessageBufferLength);
    if (MessageBoxW(optionsDialog, question, caption, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    resetPending = true;
    EndDialog(optionsDialog, ResetSettingsResult);
    RestartSelf();
}

void RestartSelf()
{
    wchar_t mutexName[CaptionBufferLength] = L"";
    LoadStringW(appInstance, IDS_RESET_MUTEX, mutexName, CaptionBufferLength);
    // Held until this process exits: the new copy waits on it, so it reads the settings
    // only after this copy has saved or deleted them.
    CreateMutexW(nullptr, TRUE, mutexName);
    ShellExecuteW(nullptr, L"open", ProgramInfo.programPath.c_str(), RestartArgument, nullptr, SW_SHOWNORMAL);
    SendMessageW(speechWindow, WM_DESTROY, 0, 0);
}
