#include "pronunciation/pronunciation_store.h"
#include "settings/settings_file.h"
#include "platform/log.h"
#include "platform/ui_text.h"
#include "res/resource.h"

namespace {

constexpr wchar_t DictionaryFileName[] = L"clipvoce.dic";

std::wstring DictionaryPath()
{
    const std::wstring& settings = SettingsStore.path;
    const size_t slash = settings.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : settings.substr(0, slash + 1) + DictionaryFileName;
}

// One line however many there are: a file of a hundred thousand lines the program cannot
// use must neither flood the log nor push out everything logged before.
void LogUnusedLines(const PronunciationStoreRecord& store)
{
    if (store.problems.empty())
        return;
    LogLine(L"Lines of " + store.path + L" not used, kept as they stand: " + std::to_wstring(store.problems.size()) +
            L"; " + DescribeLineProblems(store.problems, L"; "));
}

// The stamp is taken before the file is read: a change made while it is read shows as a
// change next time rather than going unseen.
DictionaryReading ReadStamped(PronunciationStoreRecord& store)
{
    store.stamp = StampOf(store.path);
    return ReadDictionaryFile(store.path);
}

} // namespace

void LoadPronunciations(PronunciationStoreRecord& store)
{
    store.path = DictionaryPath();
    DictionaryReading reading = store.path.empty() ? DictionaryReading{} : ReadStamped(store);
    store.dictionary = std::move(reading.dictionary);
    store.problems = std::move(reading.problems);
    store.unreadable = std::move(reading.unreadable);
    ++store.version;
    if (!store.unreadable.empty())
        LogLine(L"The pronunciation dictionary " + store.path + L" could not be read: " + store.unreadable);
    LogUnusedLines(store);
}

bool PronunciationFileChanged(const PronunciationStoreRecord& store)
{
    return !store.path.empty() && store.unreadable.empty() && StampOf(store.path) != store.stamp;
}

bool ReloadPronunciations(PronunciationStoreRecord& store)
{
    DictionaryReading reading = ReadStamped(store);
    if (!reading.unreadable.empty()) {
        store.unreadable = std::move(reading.unreadable);
        LogLine(L"The pronunciation dictionary " + store.path + L" changed and could not be read again: " +
                store.unreadable);
        return false;
    }
    LogLine(L"The pronunciation dictionary " + store.path + L" changed elsewhere and was read again");
    store.dictionary = std::move(reading.dictionary);
    store.problems = std::move(reading.problems);
    ++store.version;
    LogUnusedLines(store);
    return true;
}

DWORD SavePronunciations(PronunciationStoreRecord& store, const PronunciationDictionary& base,
                         PronunciationDictionary changed)
{
    if (PronunciationFileChanged(store)) {
        // base may be the session's own dictionary, which reading the file replaces.
        const PronunciationDictionary before = base;
        if (ReloadPronunciations(store))
            changed = MergeChanges(before, changed, store.dictionary);
    }
    store.dictionary = std::move(changed);
    ++store.version;
    if (!store.unreadable.empty())
        return ERROR_ACCESS_DENIED;
    const DWORD error = store.path.empty() ? ERROR_PATH_NOT_FOUND : WriteDictionaryFile(store.path, store.dictionary);
    if (error != 0)
        LogFailure(L"Saving the pronunciation dictionary to " + store.path, error);
    store.stamp = StampOf(store.path);
    return error;
}

std::wstring UnusedLinesNote(const PronunciationStoreRecord& store)
{
    if (store.problems.empty())
        return {};
    const DictionaryLineProblem& first = store.problems.front();
    std::wstring note = FillPattern(LoadText(IDS_DICTIONARY_SOME_UNUSED), std::to_wstring(store.problems.size()),
                                    DictionaryFileName);
    return note + L' ' + FillPattern(LoadText(IDS_DICTIONARY_FIRST_UNUSED), std::to_wstring(first.line), first.why);
}
