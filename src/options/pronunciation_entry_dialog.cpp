#include "options/pronunciation_entry_dialog.h"
#include "platform/dialog_record.h"
#include "platform/ui_text.h"
#include "pronunciation/pronouncer.h"
#include "res/resource.h"
#include <algorithm>

namespace {

constexpr MatchType TypesShown[] = {MatchType::WholeWord, MatchType::Anywhere, MatchType::RegularExpression};
// Around the first change, at most this much of its sentence on either side.
constexpr size_t SampleReach = 200;
// The longest the dialog searches the shown text for a sample.
constexpr double ListenSearchMs = 250;

std::wstring FieldText(HWND dialog, int control)
{
    const HWND field = GetDlgItem(dialog, control);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(field)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(field, text.data(), static_cast<int>(text.size()))));
    return text;
}

struct EntryDialog {
    PronunciationEntryRequest& request;
    HWND dialog = nullptr;
};

void Fill(EntryDialog& d)
{
    const PronunciationEntryRequest& request = d.request;
    const HWND dialog = d.dialog;
    SetWindowTextW(dialog, LoadText(request.adding ? IDS_ADD_PRONUNCIATION : IDS_EDIT_PRONUNCIATION).c_str());
    SetDlgItemTextW(dialog, IDC_ENTRY_PATTERN, request.entry.pattern.c_str());
    SetDlgItemTextW(dialog, IDC_ENTRY_REPLACEMENT, request.entry.replacement.c_str());
    CheckDlgButton(dialog, IDC_ENTRY_CASE, request.entry.caseSensitive ? BST_CHECKED : BST_UNCHECKED);
    const HWND types = GetDlgItem(dialog, IDC_ENTRY_TYPE);
    for (size_t i = 0; i < std::size(TypesShown); ++i) {
        SendMessageW(types, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(MatchTypeName(TypesShown[i]).c_str()));
        if (TypesShown[i] == request.entry.type)
            SendMessageW(types, CB_SETCURSEL, i, 0);
    }
    // The scopes: every voice, the voice in use, each installed voice (another one may read
    // a language of its own), and the entry's own voice when that is none of them (a
    // dictionary may come from a machine with other voices).
    const HWND voices = GetDlgItem(dialog, IDC_ENTRY_VOICE);
    SendMessageW(voices, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ScopeName(L"").c_str()));
    std::vector<const std::wstring*> scopes{&request.voiceName};
    for (const std::wstring& voice : request.installedVoices)
        scopes.push_back(&voice);
    scopes.push_back(&request.entry.voice);
    for (const std::wstring* voice : scopes) {
        if (!voice->empty() && SendMessageW(voices, CB_FINDSTRINGEXACT, 0, reinterpret_cast<LPARAM>(voice->c_str())) == CB_ERR)
            SendMessageW(voices, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(voice->c_str()));
    }
    const LRESULT chosen = request.entry.voice.empty()
                               ? 0
                               : SendMessageW(voices, CB_FINDSTRINGEXACT, 0, reinterpret_cast<LPARAM>(request.entry.voice.c_str()));
    SendMessageW(voices, CB_SETCURSEL, chosen == CB_ERR ? 0 : chosen, 0);
}

// The entry as the fields have it now.
PronunciationEntry EntryShown(const EntryDialog& d)
{
    PronunciationEntry entry = d.request.entry;
    entry.pattern = FieldText(d.dialog, IDC_ENTRY_PATTERN);
    entry.replacement = FieldText(d.dialog, IDC_ENTRY_REPLACEMENT);
    entry.caseSensitive = IsDlgButtonChecked(d.dialog, IDC_ENTRY_CASE) == BST_CHECKED;
    const LRESULT type = SendDlgItemMessageW(d.dialog, IDC_ENTRY_TYPE, CB_GETCURSEL, 0, 0);
    entry.type = type >= 0 && type < static_cast<LRESULT>(std::size(TypesShown)) ? TypesShown[type] : MatchType::WholeWord;
    const LRESULT voice = SendDlgItemMessageW(d.dialog, IDC_ENTRY_VOICE, CB_GETCURSEL, 0, 0);
    entry.voice.clear();
    if (voice > 0) {
        std::wstring name(static_cast<size_t>(SendDlgItemMessageW(d.dialog, IDC_ENTRY_VOICE, CB_GETLBTEXTLEN, voice, 0)) + 1, L'\0');
        name.resize(static_cast<size_t>(
            SendDlgItemMessageW(d.dialog, IDC_ENTRY_VOICE, CB_GETLBTEXT, voice, reinterpret_cast<LPARAM>(name.data()))));
        entry.voice = name;
    }
    return entry;
}

// Shows why the entry cannot be used, or nothing; true when it can.
bool ShowProblem(const EntryDialog& d, const PronunciationEntry& entry)
{
    const auto problem = EntryProblem(entry);
    SetDlgItemTextW(d.dialog, IDC_ENTRY_PROBLEM, problem ? problem->c_str() : L"");
    if (problem) {
        MessageBeep(MB_ICONWARNING);
        SetFocus(GetDlgItem(d.dialog, IDC_ENTRY_PATTERN));
    }
    return !problem;
}

void Listen(const EntryDialog& d)
{
    const PronunciationEntry entry = EntryShown(d);
    if (!ShowProblem(d, entry) || !d.request.speak)
        return;
    const std::wstring sample = ListenSample(entry, d.request.shownText);
    if (sample.empty())
        SetDlgItemTextW(d.dialog, IDC_ENTRY_PROBLEM, LoadText(IDS_NOTHING_MATCHES).c_str());
    else
        d.request.speak(sample);
}

// Listening to such an entry is harmless; keeping it would leave one of the two unused.
bool ShowDuplicate(const EntryDialog& d, const PronunciationEntry& entry)
{
    const auto& others = d.request.otherEntries;
    if (std::none_of(others.begin(), others.end(),
                     [&](const PronunciationEntry& other) { return MatchesAsOtherDoes(entry, other); }))
        return false;
    SetDlgItemTextW(d.dialog, IDC_ENTRY_PROBLEM, LoadText(IDS_PRONUNCIATION_DUPLICATE).c_str());
    MessageBeep(MB_ICONWARNING);
    SetFocus(GetDlgItem(d.dialog, IDC_ENTRY_PATTERN));
    return true;
}

void Confirm(EntryDialog& d)
{
    PronunciationEntry entry = EntryShown(d);
    if (!ShowProblem(d, entry) || ShowDuplicate(d, entry))
        return;
    d.request.entry = std::move(entry);
    EndDialog(d.dialog, IDOK);
}

INT_PTR OnEntryDialogMessage(HWND dialog, EntryDialog& d, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        d.dialog = dialog;
        Fill(d);
        // The replacement is what a user came to type when the pattern is given.
        SetFocus(GetDlgItem(dialog, d.request.entry.pattern.empty() ? IDC_ENTRY_PATTERN : IDC_ENTRY_REPLACEMENT));
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:             Confirm(d); break;
        case IDCANCEL:         EndDialog(dialog, IDCANCEL); break;
        case IDC_ENTRY_LISTEN: Listen(d); break;
        default:               break;
        }
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK EntryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return WithDialogRecord<EntryDialog, OnEntryDialogMessage>(dialog, message, wParam, lParam);
}

} // namespace

bool EditPronunciationEntry(HWND owner, PronunciationEntryRequest& request)
{
    EntryDialog d{request};
    return RunModalDialog(IDD_PRONUNCIATION_ENTRY, owner, EntryDialogProc, &d) == IDOK;
}

std::wstring ListenSample(const PronunciationEntry& entry, const std::wstring& shownText)
{
    PronunciationEntry any = entry;
    any.voice.clear();
    const Pronouncer pronouncer({any}, L"");
    // The dialog waits for the search: a pattern that would take long is given a moment only.
    PronunciationWatch watch(shownText.size(), nullptr, ListenSearchMs);
    const std::vector<TextReplacement> changes = pronouncer.Replacements(shownText, watch);
    if (!changes.empty()) {
        const size_t at = static_cast<size_t>(changes.front().start);
        const size_t end = static_cast<size_t>(changes.front().end);
        const size_t before = shownText.find_last_of(L".!?\r\n", at == 0 ? 0 : at - 1);
        size_t start = before == std::wstring::npos || at == 0 ? 0 : before + 1;
        start = std::max(start, at > SampleReach ? at - SampleReach : 0);
        size_t stop = shownText.find_first_of(L".!?\r\n", end);
        stop = std::min({stop == std::wstring::npos ? shownText.size() : stop + 1, end + SampleReach, shownText.size()});
        return pronouncer.Pronounce(shownText.substr(start, stop - start));
    }
    if (entry.type == MatchType::RegularExpression)
        return {};
    return pronouncer.Pronounce(entry.pattern);
}

std::wstring MatchTypeName(MatchType type)
{
    switch (type) {
    case MatchType::RegularExpression: return LoadText(IDS_MATCH_REGEX);
    case MatchType::WholeWord:         return LoadText(IDS_MATCH_WHOLE_WORD);
    default:                           return LoadText(IDS_MATCH_ANYWHERE);
    }
}

std::wstring ScopeName(const std::wstring& voice)
{
    return voice.empty() ? LoadText(IDS_ALL_VOICES) : voice;
}
