#include "pronunciation/pronunciation_store.h"
#include "settings/settings_file.h"
#include "platform/log.h"

PronunciationStoreRecord PronunciationStore;

namespace {

constexpr wchar_t DictionaryFileName[] = L"clipvoce.dic";

std::wstring DictionaryPath()
{
    const std::wstring& settings = SettingsStore.path;
    const size_t slash = settings.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : settings.substr(0, slash + 1) + DictionaryFileName;
}

} // namespace

void LoadPronunciations()
{
    PronunciationStoreRecord& store = PronunciationStore;
    store.path = DictionaryPath();
    DictionaryReading reading = store.path.empty() ? DictionaryReading{} : ReadDictionaryFile(store.path);
    store.dictionary = std::move(reading.dictionary);
    store.problems = std::move(reading.problems);
    store.unreadable = std::move(reading.unreadable);
    ++store.version;
    if (!store.unreadable.empty())
        LogLine(L"The pronunciation dictionary " + store.path + L" could not be read: " + store.unreadable);
    for (const DictionaryLineProblem& problem : store.problems)
        LogLine(L"Line " + std::to_wstring(problem.line) + L" of " + store.path + L" is not used: " + problem.why);
}

DWORD SavePronunciations(PronunciationDictionary dictionary)
{
    PronunciationStoreRecord& store = PronunciationStore;
    store.dictionary = std::move(dictionary);
    ++store.version;
    if (!store.unreadable.empty())
        return ERROR_ACCESS_DENIED;
    const DWORD error = store.path.empty() ? ERROR_PATH_NOT_FOUND : WriteDictionaryFile(store.path, store.dictionary);
    if (error != 0)
        LogFailure(L"Saving the pronunciation dictionary to " + store.path, error);
    return error;
}
