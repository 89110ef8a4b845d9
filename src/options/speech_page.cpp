#include "options/options_pages.h"
#include "options/options_dialog.h"
#include "platform/dialog_record.h"
#include "settings/app_settings.h"
#include "settings/ini_file.h"
#include "settings/program_info.h"
#include "settings/voice_settings.h"
#include "platform/ui_text.h"
#include "res/resource.h"
#include <commctrl.h>
#include <algorithm>
#include <shellapi.h>
#include <shlobj.h>

const std::array<SpeechCheckBox, 15> SpeechCheckBoxes = {{
    {IDC_CLIPBOARD, &AppSettingsRecord::monitorClipboard, true}, {IDC_APPEND, &AppSettingsRecord::appendCopies, true},
    {IDC_REPEAT, &AppSettingsRecord::repeatReading, true},       {IDC_START, &AppSettingsRecord::startWithWindows, true},
    {IDC_WINDOW, &AppSettingsRecord::speechWindowShown, true},       {IDC_BORDER, &AppSettingsRecord::showBorder, true},
    {IDC_CLOSE, &AppSettingsRecord::closeQuits, false},        {IDC_CONFIRM, &AppSettingsRecord::confirmQuit, true},
    {IDC_TOP, &AppSettingsRecord::alwaysOnTop, true},             {IDC_AUTOPLAY, &AppSettingsRecord::autoPlay, true},
    {IDC_AUTOSCROLL, &AppSettingsRecord::autoScroll, true}, {IDC_FULLTEXT, &AppSettingsRecord::showFullText, true},
    {IDC_DELETE, &AppSettingsRecord::confirmDeleteAll, true}, {IDC_KEEP_HISTORY, &AppSettingsRecord::keepHistory, true},
    {IDC_READ_IMAGES, &AppSettingsRecord::readImages, true},
}};

namespace {

// The item data of a list entry that stands for no installed voice.
constexpr LPARAM NotInstalled = -1;

// The voice the settings choose, or the system's default when they leave it open.
std::wstring ShownVoiceId(const OptionsHost& host)
{
    return AppSettings.voiceId.empty() ? host.defaultVoiceId() : AppSettings.voiceId;
}

// An entry of a voice list; its item data is the voice's place in the page's voices.
int AddVoiceEntry(HWND list, const std::wstring& label, LPARAM voice)
{
    const int at = static_cast<int>(SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str())));
    SendMessageW(list, CB_SETITEMDATA, at, voice);
    return at;
}

// The voice of the list's selected entry, or null.
const VoiceEntry* SelectedVoice(HWND page, int control, const OptionsDialogState& options)
{
    HWND list = GetDlgItem(page, control);
    const LRESULT at = SendMessageW(list, CB_GETCURSEL, 0, 0);
    const LRESULT voice = at == CB_ERR ? NotInstalled : SendMessageW(list, CB_GETITEMDATA, at, 0);
    return voice >= 0 && voice < static_cast<LRESULT>(options.voices.size()) ? &options.voices[static_cast<size_t>(voice)]
                                                                            : nullptr;
}

void FillVoiceList(HWND page, const OptionsDialogState& options)
{
    HWND list = GetDlgItem(page, IDC_VOICE_LIST);
    const std::wstring shown = ShownVoiceId(options.host);
    int selected = -1;
    for (size_t i = 0; i < options.voices.size(); ++i) {
        const int at = AddVoiceEntry(list, options.voices[i].label, static_cast<LPARAM>(i));
        if (_wcsicmp(options.voices[i].id.c_str(), shown.c_str()) == 0)
            selected = at;
    }
    // A chosen voice that has gone stays chosen until the user picks another.
    if (selected < 0 && !AppSettings.voiceId.empty())
        selected = AddVoiceEntry(list, FillPattern(LoadText(IDS_VOICE_NOT_INSTALLED), VoiceIdName(AppSettings.voiceId)),
                                 NotInstalled);
    SendMessageW(list, CB_SETCURSEL, selected, 0);
}

LanguageId SelectedLanguage(HWND page)
{
    HWND list = GetDlgItem(page, IDC_LANGUAGE);
    const LRESULT at = SendMessageW(list, CB_GETCURSEL, 0, 0);
    return at == CB_ERR ? NoLanguage : static_cast<LanguageId>(SendMessageW(list, CB_GETITEMDATA, at, 0));
}

// The voices of the selected language, the one that reads it selected.
void FillLanguageVoices(HWND page, const OptionsDialogState& options)
{
    HWND list = GetDlgItem(page, IDC_LANGUAGE_VOICE);
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    const LanguageId language = SelectedLanguage(page);
    const std::wstring reading = options.host.voiceForLanguage(language);
    for (size_t i = 0; i < options.voices.size(); ++i) {
        const VoiceEntry& voice = options.voices[i];
        if (std::find(voice.languages.begin(), voice.languages.end(), language) == voice.languages.end())
            continue;
        const int at = AddVoiceEntry(list, voice.label, static_cast<LPARAM>(i));
        if (_wcsicmp(voice.id.c_str(), reading.c_str()) == 0)
            SendMessageW(list, CB_SETCURSEL, at, 0);
    }
}

// Every language some voice speaks, each once, in the order of its first voice.
void FillLanguages(HWND page, const OptionsDialogState& options)
{
    HWND list = GetDlgItem(page, IDC_LANGUAGE);
    std::vector<LanguageId> listed;
    for (const VoiceEntry& voice : options.voices) {
        for (const LanguageId language : voice.languages) {
            if (std::find(listed.begin(), listed.end(), language) != listed.end())
                continue;
            listed.push_back(language);
            const std::wstring name = LanguageName(language);
            const LRESULT at = SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
            SendMessageW(list, CB_SETITEMDATA, at, language);
        }
    }
    SendMessageW(list, CB_SETCURSEL, 0, 0);
    FillLanguageVoices(page, options);
}

void EnableLanguageChoice(HWND page, bool on)
{
    EnableWindow(GetDlgItem(page, IDC_LANGUAGE), on);
    EnableWindow(GetDlgItem(page, IDC_LANGUAGE_VOICE), on);
}

// What the label under a slider says: the number the slider stands at, as the voice
// takes it (a volume in per cent).
std::wstring SliderValueText(int control, int position)
{
    if (control == IDC_VOLUME)
        return std::to_wstring(position) + L" %";
    // A typographic minus, as a negative number is printed.
    return position < 0 ? L"\u2212" + std::to_wstring(-position) : std::to_wstring(position);
}

int SliderValueLabel(int control)
{
    switch (control) {
    case IDC_RATE:   return IDC_RATE_VALUE;
    case IDC_VOLUME: return IDC_VOLUME_VALUE;
    case IDC_PITCH:  return IDC_PITCH_VALUE;
    default:         return 0;
    }
}

void ShowSliderValue(HWND page, int control, int position)
{
    if (const int label = SliderValueLabel(control))
        SetDlgItemTextW(page, label, SliderValueText(control, position).c_str());
}

void InitSlider(HWND page, int control, int low, int high, int position)
{
    HWND slider = GetDlgItem(page, control);
    SendMessageW(slider, TBM_SETRANGE, TRUE, MAKELPARAM(static_cast<WORD>(low), high));
    SendMessageW(slider, TBM_SETPOS, TRUE, position);
    // The slider keeps a position outside its range within it; the label shows where it is.
    ShowSliderValue(page, control, static_cast<int>(SendMessageW(slider, TBM_GETPOS, 0, 0)));
}

// The speeds a step apart, and among them one between steps that the settings file holds.
void FillSpeedList(HWND page)
{
    std::vector<int> speeds;
    for (int speed = MinSpeedPercent; speed <= MaxSpeedPercent; speed += SpeedStepPercent)
        speeds.push_back(speed);
    const int chosen = AppSettings.speedPercent;
    if (std::find(speeds.begin(), speeds.end(), chosen) == speeds.end())
        speeds.insert(std::upper_bound(speeds.begin(), speeds.end(), chosen), chosen);
    HWND list = GetDlgItem(page, IDC_SPEED);
    for (const int speed : speeds) {
        const std::wstring label = FormatHundredths(speed) + L"\u00D7";
        const LRESULT at = SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
        SendMessageW(list, CB_SETITEMDATA, at, speed);
        if (speed == chosen)
            SendMessageW(list, CB_SETCURSEL, at, 0);
    }
}

// The reading takes it at once, as it takes the rate.
void OnSpeedChosen(HWND page, const OptionsHost& host)
{
    HWND list = GetDlgItem(page, IDC_SPEED);
    const LRESULT at = SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (at == CB_ERR)
        return;
    AppSettings.speedPercent = static_cast<int>(SendMessageW(list, CB_GETITEMDATA, at, 0));
    host.applySpeed();
}

void InitVoices(HWND page, OptionsDialogState& options)
{
    options.voices = options.host.installedVoices();
    FillVoiceList(page, options);
    const bool eachLanguage = options.host.readsEachLanguage();
    CheckDlgButton(page, IDC_EACH_LANGUAGE, eachLanguage ? BST_CHECKED : BST_UNCHECKED);
    FillLanguages(page, options);
    EnableLanguageChoice(page, eachLanguage);
}

void OnInitDialog(HWND page, OptionsDialogState& options)
{
    InitVoices(page, options);
    InitSlider(page, IDC_RATE, MinSpeechRate, MaxSpeechRate, AppSettings.speechRate);
    InitSlider(page, IDC_VOLUME, 0, FullVolume, AppSettings.volume);
    InitSlider(page, IDC_PITCH, MinPitch, MaxPitch, AppSettings.pitch);
    FillSpeedList(page);
    for (const SpeechCheckBox& box : SpeechCheckBoxes) {
        if ((AppSettings.*box.field) == box.checkedWhenOn)
            CheckDlgButton(page, box.control, BST_CHECKED);
    }
    if (!AppSettings.monitorClipboard)
        EnableWindow(GetDlgItem(page, IDC_APPEND), FALSE);
    if (!AppSettings.showFullText)
        EnableWindow(GetDlgItem(page, IDC_AUTOSCROLL), FALSE);
}

// The reading takes the voice at once, as it takes the rate.
void OnVoiceChosen(HWND page, const OptionsDialogState& options)
{
    const VoiceEntry* voice = SelectedVoice(page, IDC_VOICE_LIST, options);
    if (!voice)
        return;
    AppSettings.voiceId = _wcsicmp(voice->id.c_str(), options.host.defaultVoiceId().c_str()) == 0 ? L"" : voice->id;
    // The chosen voice reads its own language: that language's entry may now name it.
    FillLanguageVoices(page, options);
    options.host.applyVoices();
}

// A language's voice is kept only where it is not the one the language has anyway.
void OnLanguageVoiceChosen(HWND page, const OptionsDialogState& options)
{
    const VoiceEntry* voice = SelectedVoice(page, IDC_LANGUAGE_VOICE, options);
    const LanguageId language = SelectedLanguage(page);
    if (!voice || language == NoLanguage)
        return;
    SetLanguageVoiceId(AppSettings, language, L"");
    const bool byItself = _wcsicmp(voice->id.c_str(), options.host.voiceForLanguage(language).c_str()) == 0;
    SetLanguageVoiceId(AppSettings, language, byItself ? L"" : voice->id);
    options.host.applyVoices();
}

// Kept only where it is not what the installed voices suggest.
void OnEachLanguageClicked(HWND page, const OptionsHost& host)
{
    const bool on = IsDlgButtonChecked(page, IDC_EACH_LANGUAGE) == BST_CHECKED;
    AppSettings.readEachLanguage.reset();
    if (on != host.readsEachLanguage())
        AppSettings.readEachLanguage = on;
    EnableLanguageChoice(page, on);
    host.applyVoices();
}

// A box that depends on another: greyed and cleared while the other is off.
void FollowMaster(HWND page, bool masterOn, int dependent, bool& dependentField)
{
    EnableWindow(GetDlgItem(page, dependent), masterOn);
    if (!masterOn) {
        dependentField = false;
        CheckDlgButton(page, dependent, BST_UNCHECKED);
    }
}

void ToggleClipboard(HWND page)
{
    AppSettings.monitorClipboard = !AppSettings.monitorClipboard;
    FollowMaster(page, AppSettings.monitorClipboard, IDC_APPEND, AppSettings.appendCopies);
}

// Played-text mode changes what the Speech window shows at once, not only on OK.
void ToggleFullText(HWND page, const OptionsHost& host)
{
    AppSettings.showFullText = !AppSettings.showFullText;
    FollowMaster(page, AppSettings.showFullText, IDC_AUTOSCROLL, AppSettings.autoScroll);
    SendMessageW(host.textView, EM_SETSEL, 0, 0);
    host.applyFontAndColours();
}

// The other boxes only switch their field; OK applies it.
void ToggleField(int control)
{
    for (const SpeechCheckBox& box : SpeechCheckBoxes) {
        if (box.control == control) {
            AppSettings.*box.field = !(AppSettings.*box.field);
            return;
        }
    }
}

void OnListCommand(HWND page, const OptionsDialogState& options, int control)
{
    switch (control) {
    case IDC_VOICE_LIST:
        OnVoiceChosen(page, options);
        break;
    case IDC_LANGUAGE:
        FillLanguageVoices(page, options);
        break;
    case IDC_LANGUAGE_VOICE:
        OnLanguageVoiceChosen(page, options);
        break;
    default:
        break;
    }
}

void OnCommand(HWND page, const OptionsDialogState& options, int control, int code)
{
    const OptionsHost& host = options.host;
    switch (control) {
    case IDC_SPEECH_SETTINGS: OpenSpeechSettings(); break;
    case IDC_CLIPBOARD:       ToggleClipboard(page); break;
    case IDC_FULLTEXT:        ToggleFullText(page, host); break;
    case IDC_EACH_LANGUAGE:   OnEachLanguageClicked(page, host); break;
    case IDC_SPEED:
        if (code == CBN_SELCHANGE)
            OnSpeedChosen(page, host);
        break;
    case IDC_VOICE_LIST:
    case IDC_LANGUAGE:
    case IDC_LANGUAGE_VOICE:
        if (code == CBN_SELCHANGE)
            OnListCommand(page, options, control);
        break;
    default:                  ToggleField(control); break;
    }
}

// A slider notifies on every redraw and on capture release, and scrolls its page as it
// moves, so any of these is a moment to pick up its position: the voice follows while
// it is dragged.
void OnSliderNotify(HWND page, const OptionsHost& host, UINT_PTR control)
{
    const int position = static_cast<int>(SendDlgItemMessageW(page, static_cast<int>(control), TBM_GETPOS, 0, 0));
    ShowSliderValue(page, static_cast<int>(control), position);
    if (control == IDC_RATE) {
        AppSettings.speechRate = position;
        host.setVoiceRate(position);
    } else if (control == IDC_VOLUME) {
        AppSettings.volume = position;
        host.setVoiceVolume(position);
    } else if (control == IDC_PITCH && position != AppSettings.pitch) {
        // The voice hears the pitch in the text it is given: the reading starts anew.
        AppSettings.pitch = position;
        host.applyVoices();
    }
}

} // namespace

ProgramLaunch SpeechSettingsLaunch(DWORD majorVersion)
{
    wchar_t folder[MAX_PATH] = L"";
    if (majorVersion >= 6) {
        ExpandEnvironmentStringsW(L"%SystemRoot%", folder, MAX_PATH);
        return {L"rundll32.exe",
                std::wstring(L"shell32.dll,Control_RunDLL ") + folder + L"\\System32\\Speech\\SpeechUX\\sapi.cpl"};
    }
    SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES_COMMON, nullptr, SHGFP_TYPE_CURRENT, folder);
    return {L"control.exe", std::wstring(L"\"") + folder + L"\\Microsoft Shared\\Speech\\sapi.cpl\""};
}

void OpenSpeechSettings()
{
    const ProgramLaunch launch = SpeechSettingsLaunch(ProgramInfo.osVersion.dwMajorVersion);
    ShellExecuteW(nullptr, L"open", launch.program.c_str(), launch.parameters.c_str(), nullptr, SW_SHOWNORMAL);
}

INT_PTR CALLBACK SpeechPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    OptionsDialogState* options = DialogRecord<OptionsDialogState>(page, message, lParam);
    switch (message) {
    case WM_INITDIALOG:
        if (options)
            OnInitDialog(page, *options);
        return TRUE;
    case WM_NOTIFY:
        if (options)
            OnSliderNotify(page, options->host, reinterpret_cast<const NMHDR*>(lParam)->idFrom);
        return TRUE;
    case WM_HSCROLL:
        if (options && lParam)
            OnSliderNotify(page, options->host, static_cast<UINT_PTR>(GetDlgCtrlID(reinterpret_cast<HWND>(lParam))));
        return TRUE;
    case WM_COMMAND:
        if (options)
            OnCommand(page, *options, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}
