#include "options/options_dialog.h"
#include "options/options_pages.h"
#include "options/pronunciation_entry_dialog.h"
#include "platform/dialog_record.h"
#include "platform/log.h"
#include "platform/ui_text.h"
#include "pronunciation/pronunciation_store.h"
#include "res/resource.h"
#include <commctrl.h>
#include <commdlg.h>
#include <vector>

namespace {

constexpr int ColumnTexts[] = {IDS_COLUMN_PATTERN, IDS_COLUMN_REPLACEMENT, IDS_COLUMN_TYPE, IDS_COLUMN_SCOPE};
constexpr int ColumnWidths[] = {150, 150, 100, 110};   // in dialog-unit quarters of the list's width
constexpr int EditingButtons[] = {IDC_PRONUNCIATION_ADD, IDC_PRONUNCIATION_EDIT, IDC_PRONUNCIATION_REMOVE,
                                  IDC_PRONUNCIATION_IMPORT};
constexpr DWORD FileNameCapacity = 32768;

PronunciationStoreRecord& Store(const OptionsDialogState& state)
{
    return *state.host.pronunciations;
}

PronunciationDictionary& Dictionary(OptionsDialogState& state)
{
    if (!state.pronunciations) {
        state.pronunciations = Store(state).dictionary;
        state.pronunciationsBase = Store(state).dictionary;
    }
    return *state.pronunciations;
}

HWND List(HWND page)
{
    return GetDlgItem(page, IDC_PRONUNCIATION_LIST);
}

int Selected(HWND page)
{
    return static_cast<int>(SendMessageW(List(page), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

// The list holds no texts of its own, only how many entries there are, and asks for the
// cells it draws: a dictionary of any size shows at once, and a change costs no refill.
void ShowEntries(HWND page, OptionsDialogState& state, int select)
{
    const HWND list = List(page);
    const int count = static_cast<int>(Dictionary(state).entries.size());
    if (!SendMessageW(list, LVM_SETITEMCOUNT, count, 0))
        LogFailure(L"LVM_SETITEMCOUNT of the pronunciation list", GetLastError());
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    if (select >= 0 && select < count) {
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, select, reinterpret_cast<LPARAM>(&item));
        SendMessageW(list, LVM_ENSUREVISIBLE, select, FALSE);
    } else {
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    }
    InvalidateRect(list, nullptr, TRUE);
}

void FillCell(OptionsDialogState& state, LVITEMW& item)
{
    const auto& entries = Dictionary(state).entries;
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0 || item.iItem < 0 ||
        item.iItem >= static_cast<int>(entries.size()))
        return;
    const PronunciationEntry& entry = entries[item.iItem];
    switch (item.iSubItem) {
    case 0:  lstrcpynW(item.pszText, entry.pattern.c_str(), item.cchTextMax); break;
    case 1:  lstrcpynW(item.pszText, entry.replacement.c_str(), item.cchTextMax); break;
    case 2:  lstrcpynW(item.pszText, MatchTypeName(entry.type).c_str(), item.cchTextMax); break;
    case 3:  lstrcpynW(item.pszText, ScopeName(entry.voice).c_str(), item.cchTextMax); break;
    default: item.pszText[0] = L'\0'; break;
    }
}

// Typing in the list goes to the next entry whose pattern starts with what was typed, as
// in a list that holds its own texts.
int FindEntry(OptionsDialogState& state, const NMLVFINDITEMW& find)
{
    const auto& entries = Dictionary(state).entries;
    const int count = static_cast<int>(entries.size());
    if (!(find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.lvfi.psz || count == 0)
        return -1;
    const int length = lstrlenW(find.lvfi.psz);
    const bool partial = (find.lvfi.flags & LVFI_PARTIAL) != 0;
    const int start = find.iStart >= 0 && find.iStart < count ? find.iStart : 0;
    for (int step = 0; step < count; ++step) {
        const int row = (start + step) % count;
        if (row < start && !(find.lvfi.flags & LVFI_WRAP))
            break;
        const std::wstring& pattern = entries[row].pattern;
        if (partial && static_cast<int>(pattern.size()) < length)
            continue;
        const int compared = partial ? length : static_cast<int>(pattern.size());
        if (CompareStringOrdinal(pattern.c_str(), compared, find.lvfi.psz, length, TRUE) == CSTR_EQUAL)
            return row;
    }
    return -1;
}

void MakeColumns(HWND page)
{
    const HWND list = List(page);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    RECT area{};
    GetClientRect(list, &area);
    int total = 0;
    for (int width : ColumnWidths)
        total += width;
    for (int i = 0; i < static_cast<int>(std::size(ColumnTexts)); ++i) {
        std::wstring text = LoadText(ColumnTexts[i]);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = text.data();
        column.cx = (area.right - area.left) * ColumnWidths[i] / total;
        column.iSubItem = i;
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

// What the page says about the file: unread, so nothing here is kept; or lines not used.
void ShowFileNote(HWND page, const OptionsDialogState& state)
{
    const PronunciationStoreRecord& store = Store(state);
    std::wstring note;
    if (!store.unreadable.empty()) {
        note = FillPattern(LoadText(IDS_DICTIONARY_KEPT_UNCHANGED), store.path, store.unreadable);
        for (int button : EditingButtons)
            EnableWindow(GetDlgItem(page, button), FALSE);
    } else {
        note = UnusedLinesNote(store);
    }
    SetDlgItemTextW(page, IDC_PRONUNCIATION_NOTE, note.c_str());
}

PronunciationEntryRequest Request(const OptionsDialogState& state, PronunciationEntry entry, bool adding)
{
    const OptionsHost& host = state.host;
    PronunciationEntryRequest request;
    request.entry = std::move(entry);
    request.adding = adding;
    request.voiceName = host.voiceName ? host.voiceName() : std::wstring();
    // The Speech page's list when it has been shown, else the voices as they are now.
    const std::vector<VoiceEntry> voices =
        !state.voices.empty() || !host.installedVoices ? state.voices : host.installedVoices();
    for (const VoiceEntry& voice : voices)
        request.installedVoices.push_back(voice.name);
    request.speak = host.speak;
    request.shownText = host.shownText ? host.shownText() : std::wstring();
    return request;
}

void AddEntry(HWND page, OptionsDialogState& state)
{
    PronunciationEntry entry;
    entry.type = MatchType::WholeWord;
    PronunciationEntryRequest request = Request(state, std::move(entry), true);
    auto& entries = Dictionary(state).entries;
    request.otherEntries = entries;
    if (!EditPronunciationEntry(page, request))
        return;
    entries.push_back(std::move(request.entry));
    ShowEntries(page, state, static_cast<int>(entries.size()) - 1);
}

void EditEntry(HWND page, OptionsDialogState& state)
{
    const int row = Selected(page);
    auto& entries = Dictionary(state).entries;
    if (row < 0 || row >= static_cast<int>(entries.size()) || !Store(state).unreadable.empty())
        return;
    PronunciationEntryRequest request = Request(state, entries[row], false);
    request.otherEntries = entries;
    request.otherEntries.erase(request.otherEntries.begin() + row);
    if (!EditPronunciationEntry(page, request))
        return;
    entries[row] = std::move(request.entry);
    ShowEntries(page, state, row);
}

void RemoveSelected(HWND page, OptionsDialogState& state)
{
    const int row = Selected(page);
    if (row < 0)
        return;
    RemoveEntry(Dictionary(state), static_cast<size_t>(row));
    const int left = static_cast<int>(Dictionary(state).entries.size());
    ShowEntries(page, state, row < left ? row : left - 1);
}

void ListenToSelected(HWND page, OptionsDialogState& state)
{
    const int row = Selected(page);
    const auto& entries = Dictionary(state).entries;
    if (row < 0 || row >= static_cast<int>(entries.size()) || !state.host.speak)
        return;
    const std::wstring sample = ListenSample(entries[row], state.host.shownText ? state.host.shownText() : L"");
    SetDlgItemTextW(page, IDC_PRONUNCIATION_NOTE, sample.empty() ? LoadText(IDS_NOTHING_MATCHES).c_str() : L"");
    if (!sample.empty())
        state.host.speak(sample);
}

// The file the user picks in the open or save dialog; empty when cancelled.
std::wstring AskForDictionaryFile(HWND page, bool saving)
{
    std::wstring filter = LoadText(IDS_DICTIONARY_FILTER);
    for (wchar_t& c : filter)
        if (c == L'|')
            c = L'\0';
    std::vector<wchar_t> name(FileNameCapacity, L'\0');
    if (saving)
        lstrcpynW(name.data(), L"clipvoce.dic", FileNameCapacity);
    OPENFILENAMEW request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = page;
    request.lpstrFilter = filter.c_str();
    request.nFilterIndex = 1;
    request.lpstrFile = name.data();
    request.nMaxFile = FileNameCapacity;
    request.lpstrDefExt = L"dic";
    request.Flags = saving ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!(saving ? GetSaveFileNameW(&request) : GetOpenFileNameW(&request))) {
        // Zero when the user cancelled.
        if (const DWORD error = CommDlgExtendedError(); error != 0)
            LogFailure(saving ? L"GetSaveFileNameW for the dictionary" : L"GetOpenFileNameW for the dictionary", error);
        return {};
    }
    return name.data();
}

void Import(HWND page, OptionsDialogState& state)
{
    const std::wstring path = AskForDictionaryFile(page, false);
    if (path.empty())
        return;
    const DictionaryReading reading = ReadDictionaryFile(path);
    if (!reading.unreadable.empty()) {
        ShowWarning(page, FillPattern(LoadText(IDS_IMPORT_UNREADABLE), path, reading.unreadable));
        return;
    }
    ImportEntries(Dictionary(state), reading.dictionary);
    ShowEntries(page, state, Selected(page));
    if (const auto& leftOut = reading.problems; !leftOut.empty())
        ShowWarning(page, FillPattern(LoadText(IDS_IMPORT_LINES_UNUSED), path, std::to_wstring(leftOut.size())) + L'\n' +
                              DescribeLineProblems(leftOut));
}

// Someone edited clipvoce.dic while the page is open: the session reads it again, and
// the page keeps what the user changed here on top of it. Not while a dialog of the page
// is open (the frame is disabled then): the entry being edited is known by its row.
void TakeChangesFromDisk(HWND page, OptionsDialogState& state)
{
    PronunciationStoreRecord& store = Store(state);
    if (!IsWindowEnabled(state.dialog) || !PronunciationFileChanged(store))
        return;
    PronunciationDictionary& dictionary = Dictionary(state);
    if (!ReloadPronunciations(store)) {
        ShowFileNote(page, state);
        return;
    }
    dictionary = MergeChanges(state.pronunciationsBase, dictionary, store.dictionary);
    state.pronunciationsBase = store.dictionary;
    ShowEntries(page, state, Selected(page));
    SetDlgItemTextW(page, IDC_PRONUNCIATION_NOTE, LoadText(IDS_DICTIONARY_RELOADED).c_str());
}

void Export(HWND page, OptionsDialogState& state)
{
    const std::wstring path = AskForDictionaryFile(page, true);
    if (path.empty())
        return;
    if (const DWORD error = WriteDictionaryFile(path, Dictionary(state)); error != 0)
        ShowWarning(page, FillPattern(LoadText(IDS_EXPORT_DICTIONARY_FAILED), path, SystemErrorText(error)));
}

void OnCommand(HWND page, OptionsDialogState& state, int control)
{
    switch (control) {
    case IDC_PRONUNCIATION_ADD:    AddEntry(page, state); break;
    case IDC_PRONUNCIATION_EDIT:   EditEntry(page, state); break;
    case IDC_PRONUNCIATION_REMOVE: RemoveSelected(page, state); break;
    case IDC_PRONUNCIATION_LISTEN: ListenToSelected(page, state); break;
    case IDC_PRONUNCIATION_IMPORT: Import(page, state); break;
    case IDC_PRONUNCIATION_EXPORT: Export(page, state); break;
    default:                       break;
    }
}

INT_PTR OnMessage(HWND page, OptionsDialogState& state, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        MakeColumns(page);
        ShowEntries(page, state, 0);
        ShowFileNote(page, state);
        if (!SetTimer(page, IDT_DICTIONARY_WATCH, DICTIONARY_WATCH_MS, nullptr))
            LogFailure(L"SetTimer for the pronunciation page", GetLastError());
        return TRUE;
    case WM_TIMER:
        if (wParam == IDT_DICTIONARY_WATCH)
            TakeChangesFromDisk(page, state);
        return TRUE;
    case WM_DESTROY:
        KillTimer(page, IDT_DICTIONARY_WATCH);
        return FALSE;
    case WM_COMMAND:
        OnCommand(page, state, LOWORD(wParam));
        return TRUE;
    case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom != IDC_PRONUNCIATION_LIST)
            return TRUE;
        if (header->code == LVN_GETDISPINFOW) {
            FillCell(state, reinterpret_cast<NMLVDISPINFOW*>(lParam)->item);
        } else if (header->code == LVN_ODFINDITEMW) {
            SetWindowLongPtrW(page, DWLP_MSGRESULT, FindEntry(state, *reinterpret_cast<const NMLVFINDITEMW*>(lParam)));
            return TRUE;
        } else if (header->code == NM_DBLCLK || header->code == NM_RETURN) {
            EditEntry(page, state);
        }
        return TRUE;
    }
    default:
        return FALSE;
    }
}

} // namespace

// The page changes a copy of the dictionary that the frame keeps; OK makes it the
// session's and writes the file, Cancel forgets it.
INT_PTR CALLBACK PronunciationPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    return WithDialogRecord<OptionsDialogState, OnMessage>(page, message, wParam, lParam);
}
