#include "platform/dialog_record.h"
#include "platform/ui_text.h"

INT_PTR RunModalDialog(UINT templateId, HWND owner, DLGPROC procedure, void* record)
{
    const INT_PTR result = DialogBoxParamW(ProgramModule(), MAKEINTRESOURCEW(templateId), owner, procedure,
                                           reinterpret_cast<LPARAM>(record));
    if (result == -1)
        ShowWarning(owner, SystemErrorText(GetLastError()));
    return result;
}
