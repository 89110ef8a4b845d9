#include "platform/hot_key_names.h"
#include <commctrl.h>

namespace {

std::wstring KeyName(UINT virtualKey, bool extended)
{
    const UINT scanCode = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    wchar_t name[64] = L"";
    if (scanCode != 0) {
        const LONG keyData = static_cast<LONG>((scanCode << 16) | (extended ? 1u << 24 : 0u));
        if (GetKeyNameTextW(keyData, name, 64) > 0)
            return name;
    }
    // A keyboard without a name for the key: letters and digits are their own names.
    if ((virtualKey >= '0' && virtualKey <= '9') || (virtualKey >= 'A' && virtualKey <= 'Z'))
        return std::wstring(1, static_cast<wchar_t>(virtualKey));
    wchar_t number[16];
    swprintf(number, 16, L"#%u", virtualKey);
    return number;
}

} // namespace

std::wstring HotKeyText(int hotKey, const wchar_t* joiner)
{
    const BYTE flags = HIBYTE(hotKey);
    std::wstring text;
    const struct {
        BYTE flag;
        UINT key;
    } modifiers[] = {{HOTKEYF_CONTROL, VK_CONTROL}, {HOTKEYF_ALT, VK_MENU}, {HOTKEYF_SHIFT, VK_SHIFT}};
    for (const auto& modifier : modifiers) {
        if (flags & modifier.flag)
            text += KeyName(modifier.key, false) + joiner;
    }
    return text + KeyName(LOBYTE(hotKey), (flags & HOTKEYF_EXT) != 0);
}

UINT HotKeyModifiers(int hotKey)
{
    const BYTE flags = HIBYTE(hotKey);
    UINT modifiers = MOD_NOREPEAT;
    if (flags & HOTKEYF_CONTROL)
        modifiers |= MOD_CONTROL;
    if (flags & HOTKEYF_ALT)
        modifiers |= MOD_ALT;
    if (flags & HOTKEYF_SHIFT)
        modifiers |= MOD_SHIFT;
    return modifiers;
}
