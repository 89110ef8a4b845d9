#include "app/hot_keys.h"
#include "app/speech_window.h"
#include "app/tray_icon.h"
#include "clipboard/clipboard_monitor.h"
#include "clipboard/selection_grab.h"
#include "platform/hot_key_names.h"
#include "platform/ui_text.h"
#include "settings/app_settings.h"
#include "settings/hot_key_settings.h"
#include "res/resource.h"
#include <string>
#include <utility>

namespace {

void ShowNote(HWND window, const std::wstring& note)
{
    ShowStatusNote(SpeechWindowStateOf(window), note);
}

void OnSelectionRead(HWND window, const SelectionGrab& grab)
{
    switch (grab.outcome) {
    case SelectionGrabOutcome::Taken:
        TakeTextToReadNow(SpeechWindowStateOf(window).reader, grab.text);
        break;
    case SelectionGrabOutcome::NothingSelected:
    case SelectionGrabOutcome::NoText:
        ShowNote(window, LoadText(IDS_NO_TEXT_SELECTED));
        break;
    case SelectionGrabOutcome::ClipboardBusy:
        ShowNote(window, LoadText(IDS_CLIPBOARD_BUSY));
        break;
    case SelectionGrabOutcome::Secret:
        // Left alone, as every secret copy is.
        break;
    }
}

void OnClipboardPutBack(HWND window, const ClipboardPutBack& putBack)
{
    if (!putBack.placed)
        ShowNote(window, LoadText(putBack.textAwaitsPaste ? IDS_CLIPBOARD_NOT_PUT_BACK_PASTE : IDS_CLIPBOARD_NOT_PUT_BACK));
    else if (putBack.formatsNotKept > 0)
        ShowNote(window, FillPattern(LoadText(IDS_CLIPBOARD_PARTLY_PUT_BACK), std::to_wstring(putBack.formatsNotKept)));
}

void ReadSelection(HWND window)
{
    SelectionGrabListener listener{[window](const SelectionGrab& grab) { OnSelectionRead(window, grab); },
                                   [window](const ClipboardPutBack& putBack) { OnClipboardPutBack(window, putBack); }};
    StartSelectionGrab(SpeechWindowStateOf(window).clipboard.selectionGrab, window, std::move(listener));
}

std::wstring KeyAndAction(int entry, int hotKey)
{
    return HotKeyText(hotKey) + L" (" + LoadText(HotKeySettings[entry].actionNameId) + L")";
}

// The keys of the settings file that were read as their first-run values, and why.
std::wstring SetAsideKeysText()
{
    std::wstring text;
    for (const SetAsideHotKey& key : SetAsideHotKeys()) {
        if (!text.empty())
            text += L"; ";
        if (key.reason == SetAsideHotKey::Reason::WithoutControlOrAlt)
            text += FillPattern(LoadText(IDS_HOT_KEY_WITHOUT_CTRL_ALT), KeyAndAction(key.entry, key.value));
        else
            text += FillPattern(LoadText(IDS_HOT_KEY_GIVEN_TWICE), KeyAndAction(key.entry, key.value),
                                LoadText(HotKeySettings[key.keptBy].actionNameId));
    }
    return text;
}

} // namespace

unsigned ApplyHotKeys(HWND window)
{
    // Unregistering a key that is not registered fails harmlessly.
    RemoveHotKeys(window);
    unsigned refused = 0;
    for (int i = 0; i < HotKeyCount; ++i) {
        const HotKeySetting& setting = HotKeySettings[i];
        const int hotKey = AppSettings.*setting.field;
        if (hotKey != 0 && !RegisterHotKey(window, setting.registrationId, HotKeyModifiers(hotKey), LOBYTE(hotKey)))
            refused |= 1u << i;
    }
    return refused;
}

// Said in the status line rather than in a box: the start goes on, the other keys work,
// and the Hot keys tab shows which ones do not.
void ApplyHotKeysAtStart(HWND window)
{
    const unsigned refused = ApplyHotKeys(window);
    std::wstring keys;
    for (int i = 0; i < HotKeyCount; ++i) {
        if (!(refused & (1u << i)))
            continue;
        if (!keys.empty())
            keys += L", ";
        keys += KeyAndAction(i, AppSettings.*HotKeySettings[i].field);
    }
    // One note for both: a second would write over the first at once.
    std::wstring note = SetAsideKeysText();
    if (!keys.empty())
        note += (note.empty() ? L"" : L"; ") + FillPattern(LoadText(IDS_HOT_KEYS_TAKEN_AT_START), keys);
    if (!note.empty())
        ShowStatusNote(SpeechWindowStateOf(window), note);
}

void RemoveHotKeys(HWND window)
{
    for (const HotKeySetting& setting : HotKeySettings)
        UnregisterHotKey(window, setting.registrationId);
}

void OnHotKey(HWND window, WPARAM id)
{
    // While a dialog of the program is open (Options, About, an export) the window keys
    // rest, and so do these: an export is using the voice.
    if (!IsWindowEnabled(window))
        return;
    switch (id) {
    case HOTKEY_ID_READ_SELECTION:
        ReadSelection(window);
        break;
    case HOTKEY_ID_PLAY_PAUSE:
        SendMessageW(window, WM_COMMAND, CMD_PLAY_PAUSE, 0);
        break;
    case HOTKEY_ID_STOP:
        SendMessageW(window, WM_COMMAND, CMD_STOP, 0);
        break;
    default:
        break;
    }
}
