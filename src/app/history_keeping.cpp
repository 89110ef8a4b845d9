#include "app/history_keeping.h"
#include "app/speech_window.h"
#include "app/tray_icon.h"
#include "platform/log.h"
#include "platform/ui_text.h"
#include "settings/app_settings.h"
#include "settings/settings_file.h"
#include "res/resource.h"
#include <cwctype>

namespace {

// About this many characters of an entry's text stand for it in the menu.
constexpr size_t LabelCharacters = 40;

std::wstring HistoryPath()
{
    const std::wstring& settings = SettingsStore.path;
    const size_t folder = settings.find_last_of(L'\\');
    return folder == std::wstring::npos ? std::wstring() : settings.substr(0, folder + 1) + L"history.dat";
}

FILETIME Now()
{
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return now;
}

// The first words of text on one line, '&' doubled so that the menu shows it.
std::wstring FirstWords(const std::wstring& text)
{
    std::wstring words;
    bool blank = false;
    for (size_t i = 0; i < text.size() && words.size() < LabelCharacters; ++i) {
        const wchar_t c = text[i];
        if (std::iswspace(c) || std::iswcntrl(c)) {
            blank = !words.empty();
            continue;
        }
        if (blank)
            words += L' ';
        blank = false;
        words += c;
    }
    if (words.size() >= LabelCharacters) {
        const size_t space = words.find_last_of(L' ');
        words.resize(space != std::wstring::npos && space > LabelCharacters / 2 ? space : LabelCharacters);
        words += L"\u2026";
    }
    std::wstring shown;
    for (wchar_t c : words) {
        shown += c;
        if (c == L'&')
            shown += L'&';
    }
    return shown;
}

// The time of day for a text of today, else the date and time, as the user's locale
// writes them.
std::wstring WhenTaken(const FILETIME& taken)
{
    SYSTEMTIME local{};
    SYSTEMTIME today{};
    FILETIME localTime{};
    if (!FileTimeToLocalFileTime(&taken, &localTime) || !FileTimeToSystemTime(&localTime, &local))
        return {};
    GetLocalTime(&today);
    wchar_t date[64] = L"";
    wchar_t time[64] = L"";
    GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, TIME_NOSECONDS, &local, nullptr, time, 64);
    const bool sameDay = local.wYear == today.wYear && local.wMonth == today.wMonth && local.wDay == today.wDay;
    if (sameDay || !GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 64, nullptr))
        return time;
    return std::wstring(date) + L" " + time;
}

HMENU HistoryMenu(HMENU popup)
{
    for (int i = 0, count = GetMenuItemCount(popup); i < count; ++i) {
        HMENU sub = GetSubMenu(popup, i);
        if (sub && GetMenuState(sub, CMD_CLEAR_HISTORY, MF_BYCOMMAND) != static_cast<UINT>(-1))
            return sub;
    }
    return nullptr;
}

void KeepCopy(SpeechWindowState& state, const SharedText& copy)
{
    if (!AppSettings.keepHistory || !state.historyRead)
        return;
    state.history.Add(copy, Now());
    state.history.SaveSoon();
}

void ReadHistory(SpeechWindowState& state)
{
    const std::wstring path = HistoryPath();
    if (path.empty())
        return;
    const ReadingHistory::LoadResult loaded = state.history.Load(path);
    state.historyRead = true;
    if (loaded.setAside) {
        LogLine(L"History set aside as " + loaded.asidePath);
        state.historySetAside = loaded.asidePath;
    }
}

} // namespace

void StartHistory(SpeechWindowState& state)
{
    state.reader.SetCopyListener([&state](const SharedText& copy) { KeepCopy(state, copy); });
    if (!AppSettings.keepHistory)
        return;
    ReadHistory(state);
    const std::vector<HistoryEntry>& entries = state.history.Entries();
    if (!entries.empty() && entries.front().text)
        state.reader.TakeEarlierCopy(*entries.front().text, entries.front().position, false);
}

void TellIfHistorySetAside(SpeechWindowState& state)
{
    if (!state.historySetAside.empty())
        ShowStatusNote(state, FillPattern(LoadText(IDS_HISTORY_SET_ASIDE), state.historySetAside));
    state.historySetAside.clear();
}

void FollowReading(SpeechWindowState& state)
{
    const std::vector<HistoryEntry>& entries = state.history.Entries();
    const TextRange word = state.reader.LastSpokenWord();
    if (!state.historyRead || entries.empty() || word.end <= word.start)
        return;
    // In append mode only the latest copy is the newest entry.
    const int position = word.start - state.reader.LatestCopyStart();
    if (position >= 0 && position != entries.front().position)
        state.history.SetPosition(0, position);
    // Each save writes the whole history: a reading going on is written when it pauses or
    // stops, and at exit, rather than word by word.
    if (state.reader.State() != Playing)
        state.history.SaveSoon();
}

void FillHistoryMenu(SpeechWindowState& state)
{
    HMENU menu = HistoryMenu(state.popupMenu);
    if (!menu)
        return;
    while (GetMenuItemCount(menu) > 1)
        DeleteMenu(menu, 0, MF_BYPOSITION);
    const std::vector<HistoryEntry>& entries = state.history.Entries();
    UINT at = 0;
    for (size_t i = 0; i < entries.size() && CMD_HISTORY_FIRST + i <= CMD_HISTORY_LAST; ++i) {
        const HistoryEntry& entry = entries[i];
        const std::wstring words = entry.text ? FirstWords(*entry.text) : LoadText(IDS_TOO_LARGE_TO_KEEP);
        const std::wstring label = words + L"\t" + WhenTaken(entry.taken);
        InsertMenuW(menu, at++, MF_BYPOSITION | MF_STRING | (entry.text ? 0 : MF_GRAYED),
                    CMD_HISTORY_FIRST + i, label.c_str());
    }
    if (entries.empty())
        InsertMenuW(menu, at++, MF_BYPOSITION | MF_STRING | MF_GRAYED, 0, LoadText(IDS_HISTORY_EMPTY).c_str());
    InsertMenuW(menu, at, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    EnableMenuItem(menu, CMD_CLEAR_HISTORY, MF_BYCOMMAND | (entries.empty() ? MF_GRAYED : MF_ENABLED));
}

bool OnHistoryCommand(SpeechWindowState& state, UINT command)
{
    if (command == CMD_CLEAR_HISTORY) {
        state.history.Clear();
        state.history.SaveSoon();
        return true;
    }
    if (command < CMD_HISTORY_FIRST || command > CMD_HISTORY_LAST)
        return false;
    const size_t index = command - CMD_HISTORY_FIRST;
    if (index >= state.history.Entries().size() || !state.history.Entries()[index].text)
        return true;
    const HistoryEntry entry = state.history.Entries()[index];
    state.history.MoveToTop(index);
    state.history.SaveSoon();
    state.reader.TakeEarlierCopy(*entry.text, entry.position, AppSettings.autoPlay);
    return true;
}

void ApplyHistorySetting(SpeechWindowState& state)
{
    if (AppSettings.keepHistory) {
        if (!state.historyRead)
            ReadHistory(state);
        return;
    }
    if (state.historyRead)
        state.history.DeleteFile();
    else if (const std::wstring path = HistoryPath(); !path.empty())
        DeleteFileW(path.c_str());
    state.historyRead = false;
}

void EndHistory(SpeechWindowState& state)
{
    if (state.historyRead && AppSettings.keepHistory && !state.history.SaveNow())
        LogLine(L"History not saved: " + SystemErrorText(GetLastError()));
}
