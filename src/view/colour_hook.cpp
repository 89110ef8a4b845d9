#include "view/colour_hook.h"
#include "settings/app_settings.h"
#include "view/view_look.h"

namespace {

DWORD WINAPI ProgramColour(int index)
{
    return ColourHookAnswer(index, GetSysColor(index));
}

} // namespace

COLORREF ColourHookAnswer(int index, COLORREF systemColour)
{
    if (!AppSettings.showFullText) {
        if (index == COLOR_HIGHLIGHTTEXT)
            return ShownColours().text;
        if (index == COLOR_HIGHLIGHT)
            return ShownColours().background;
    }
    return systemColour;
}

bool ColourHookInstalled()
{
    return TextViewColourQueryInUse() == &ProgramColour;
}

bool InstallColourHook()
{
    SetTextViewColourQuery(&ProgramColour);
    return true;
}

ColourQuery TextViewColourQuery()
{
    return TextViewColourQueryInUse();
}
