#include "history/reading_history.h"
#include "history/history_file.h"
#include "platform/log.h"
#include <algorithm>
#include <system_error>

namespace {

// Far more damaged files than anyone keeps; past them the file is left where it is.
constexpr int AsideNames = 100;

// The free name beside path the damaged file went to, or empty when it could not be moved.
std::wstring SetAside(const std::wstring& path)
{
    for (int number = 1; number <= AsideNames; ++number) {
        const std::wstring aside = path + L".damaged" + (number == 1 ? L"" : L"." + std::to_wstring(number));
        if (MoveFileExW(path.c_str(), aside.c_str(), 0))
            return aside;
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) {
            LogFailure(L"MoveFileExW of the damaged reading history", error);
            return {};
        }
    }
    LogFailure(L"MoveFileExW of the damaged reading history", ERROR_FILE_EXISTS);
    return {};
}

// FNV-1a: enough to tell a text again when only its length and this are kept.
uint64_t HashOf(const std::wstring& text)
{
    uint64_t hash = 14695981039346656037ull;
    for (wchar_t c : text)
        hash = (hash ^ static_cast<uint16_t>(c)) * 1099511628211ull;
    return hash;
}

size_t KeptBytes(const HistoryEntry& entry)
{
    return entry.text ? entry.text->size() * sizeof(wchar_t) : 0;
}

// The oldest texts go until the rest fit; the newest always stays, being no larger
// than MaxKeptTextBytes.
void DropOldestTextsOverCap(std::vector<HistoryEntry>& entries)
{
    size_t total = 0;
    for (const HistoryEntry& entry : entries)
        total += KeptBytes(entry);
    for (size_t i = entries.size(); total > MaxHistoryBytes && i-- > 1;) {
        if (!entries[i].text)
            continue;
        total -= KeptBytes(entries[i]);
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

} // namespace

ReadingHistory::ReadingHistory() = default;

ReadingHistory::~ReadingHistory()
{
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
    // Whatever the worker had still to write, and changes made since its last write.
    SaveNow();
}

ReadingHistory::LoadResult ReadingHistory::Load(const std::wstring& path)
{
    LoadResult result;
    const std::lock_guard<std::mutex> writing(writing_);
    std::vector<HistoryEntry> entries;
    std::wstring keptPath = path;
    if (!path.empty() && ReadHistoryFile(path, entries) == HistoryFileState::Damaged) {
        result.asidePath = SetAside(path);
        result.setAside = !result.asidePath.empty();
        // A file that could be neither read nor moved (another program holds it) may
        // read well another time: this session leaves it alone rather than replace it.
        if (!result.setAside)
            keptPath.clear();
    }
    const std::lock_guard<std::mutex> hold(mutex_);
    entries_ = std::move(entries);
    path_ = std::move(keptPath);
    saveAsked_ = false;
    written_ = ++changes_;
    newestTooLarge_ = {};
    return result;
}

void ReadingHistory::Add(std::shared_ptr<const std::wstring> text, FILETIME taken)
{
    if (!text || text->empty())
        return;
    const bool tooLarge = text->size() > MaxKeptTextBytes / sizeof(wchar_t);
    Fingerprint fingerprint;
    if (tooLarge)
        fingerprint = {text->size(), HashOf(*text)};
    if (!entries_.empty()) {
        const HistoryEntry& newest = entries_.front();
        const bool same = tooLarge ? newest.tooLarge && newestTooLarge_.length == fingerprint.length &&
                                         newestTooLarge_.hash == fingerprint.hash
                                   : newest.text && (newest.text == text || *newest.text == *text);
        if (same)
            return;
    }
    HistoryEntry entry;
    entry.tooLarge = tooLarge;
    if (!tooLarge)
        entry.text = std::move(text);
    entry.taken = taken;
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        entries_.insert(entries_.begin(), std::move(entry));
        if (entries_.size() > MaxHistoryEntries)
            entries_.resize(MaxHistoryEntries);
        DropOldestTextsOverCap(entries_);
        ++changes_;
    }
    newestTooLarge_ = fingerprint;
}

void ReadingHistory::SetPosition(size_t index, int position)
{
    if (index >= entries_.size())
        return;
    HistoryEntry& entry = entries_[index];
    position = std::max(position, 0);
    if (entry.text)
        position = std::min(position, static_cast<int>(entry.text->size()));
    if (position == entry.position)
        return;
    const std::lock_guard<std::mutex> hold(mutex_);
    entry.position = position;
    ++changes_;
}

void ReadingHistory::MoveToTop(size_t index)
{
    if (index == 0 || index >= entries_.size())
        return;
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        const auto chosen = entries_.begin() + static_cast<std::ptrdiff_t>(index);
        std::rotate(entries_.begin(), chosen, chosen + 1);
        ++changes_;
    }
    newestTooLarge_ = {};
}

const std::vector<HistoryEntry>& ReadingHistory::Entries() const
{
    return entries_;
}

void ReadingHistory::Clear()
{
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        entries_.clear();
        ++changes_;
    }
    newestTooLarge_ = {};
}

void ReadingHistory::DeleteFile()
{
    // A write under way finishes first, so that nothing brings the file back afterwards.
    const std::lock_guard<std::mutex> writing(writing_);
    std::wstring path;
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        entries_.clear();
        saveAsked_ = false;
        // No file is the empty history: there is nothing left to write.
        written_ = ++changes_;
        path = path_;
    }
    newestTooLarge_ = {};
    if (!path.empty() && !::DeleteFileW(path.c_str())) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            LogFailure(L"DeleteFileW of the reading history", error);
    }
}

void ReadingHistory::SaveSoon()
{
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        if (written_ == changes_ || stopping_)
            return;
        if (!saveAsked_)
            askedAt_ = std::chrono::steady_clock::now();
        saveAsked_ = true;
        if (!worker_.joinable()) {
            try {
                worker_ = std::thread([this] { Work(); });
            } catch (const std::system_error& failure) {
                // The history is still written at exit.
                LogFailure(L"Starting the reading history's writer", static_cast<DWORD>(failure.code().value()));
                return;
            }
        }
    }
    wake_.notify_all();
}

bool ReadingHistory::SaveNow()
{
    return WriteIfChanged();
}

bool ReadingHistory::WriteIfChanged()
{
    const std::lock_guard<std::mutex> writing(writing_);
    std::vector<HistoryEntry> snapshot;
    std::wstring path;
    uint64_t changes = 0;
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        if (written_ == changes_)
            return true;
        changes = changes_;
        path = path_;
        if (path.empty()) {
            written_ = changes;
            return true;
        }
        // Copies of the pointers only: the texts themselves never change.
        snapshot = entries_;
    }
    const bool written = WriteHistoryFile(path, snapshot);
    const DWORD error = GetLastError();
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        lastWrite_ = std::chrono::steady_clock::now();
        if (written)
            written_ = std::max(written_, changes);
    }
    SetLastError(error);
    return written;
}

void ReadingHistory::Work()
{
    // Writing is never urgent; what the user waits for comes first.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || saveAsked_; });
        if (stopping_)
            return;
        // Requests that come in while this waits are written together.
        const auto due = std::max(lastWrite_ + std::chrono::milliseconds(SaveIntervalMs),
                                  askedAt_ + std::chrono::milliseconds(SaveSettleMs));
        if (wake_.wait_until(lock, due, [this] { return stopping_; }))
            return;
        // SaveNow or DeleteFile may have taken the request meanwhile.
        if (!saveAsked_)
            continue;
        saveAsked_ = false;
        lock.unlock();
        WriteIfChanged();
        lock.lock();
    }
}
