#pragma once
// The texts the user copied last, each with where its reading reached, so that one can be
// chosen again and read on from there. They are kept between sessions in a file that only
// the same Windows user can read: copied texts are often private (mail, passwords, notes).
#include <windows.h>
#include <condition_variable>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct HistoryEntry {
    std::shared_ptr<const std::wstring> text;   // null when too large to keep
    bool tooLarge = false;                      // taken, but larger than MaxKeptTextBytes: only its place is kept
    int position = 0;                           // where the reading reached, as an offset in text
    FILETIME taken{};                           // when it was taken, UTC
};

inline constexpr size_t MaxHistoryEntries = 30;
inline constexpr size_t MaxHistoryBytes = size_t{64} << 20;    // all texts' UTF-16 bytes together
inline constexpr size_t MaxKeptTextBytes = size_t{20} << 20;   // a larger text is kept without its text
// Reading moves the position all the time; the file is written no more often than this.
inline constexpr DWORD SaveIntervalMs = 3000;
// A save waits this long after it is asked for: a copy's first moments, when its reading
// starts, are not shared with writing the whole history.
inline constexpr DWORD SaveSettleMs = 1500;

class ReadingHistory {
public:
    ReadingHistory();
    ~ReadingHistory();            // finishes a pending save (as SaveNow) and ends the worker
    ReadingHistory(const ReadingHistory&) = delete;
    ReadingHistory& operator=(const ReadingHistory&) = delete;

    // Reads the file at path. A missing file is an empty history. A file that cannot be
    // read whole, decrypted or parsed is renamed aside (e.g. "history.dat.damaged", or with a
    // number when that exists) and an empty history starts; the result says so and where
    // it went. Never throws, never touches any other file.
    struct LoadResult { bool setAside = false; std::wstring asidePath; };
    LoadResult Load(const std::wstring& path);
    // A text taken: becomes the newest entry (index 0) at position 0. The same text as
    // the newest entry only moves nothing (no duplicate at the top). Caps: at most
    // MaxHistoryEntries (the oldest go), at most MaxHistoryBytes of kept text in all (the
    // oldest texts go first); a text over MaxKeptTextBytes is kept as tooLarge without
    // its text. Cheap on the calling (user-interface) thread: no copy of the text, no I/O.
    // A null or empty text is no entry.
    void Add(std::shared_ptr<const std::wstring> text, FILETIME taken);
    // The reading reached position in entry index (0 = newest).
    void SetPosition(size_t index, int position);
    // Moves entry index to the top (it was chosen again), keeping its position.
    void MoveToTop(size_t index);
    const std::vector<HistoryEntry>& Entries() const;   // newest first
    void Clear();                 // no entries; the next save writes an empty history
    // No entries and the file deleted (the user turned history off). With <windows.h>
    // this name is DeleteFileW here and at every caller alike.
    void DeleteFile();
    // Asks for a save on the worker thread: at most one write every SaveIntervalMs,
    // coalescing requests; the worker writes a snapshot so the caller never waits.
    void SaveSoon();
    // Writes now on the calling thread (at exit) if anything changed since the last
    // write; false with GetLastError set when writing failed.
    bool SaveNow();

private:
    void MarkChanged();
    bool WriteIfChanged();
    void Work();

    // Entries are changed only on the user-interface thread, and then under mutex_, so
    // that thread reads them freely while the worker copies them under the lock.
    std::vector<HistoryEntry> entries_;
    // The text of a too-large newest entry is not kept, only enough to know it again.
    struct Fingerprint { size_t length = 0; uint64_t hash = 0; };
    Fingerprint newestTooLarge_;

    std::mutex mutex_;             // entries_, path_, the counts and the worker's state
    std::wstring path_;            // empty: nothing is written
    uint64_t changes_ = 0;         // changes made so far
    uint64_t written_ = 0;         // how many of them the file holds
    bool saveAsked_ = false;
    bool stopping_ = false;
    std::chrono::steady_clock::time_point lastWrite_{};
    std::chrono::steady_clock::time_point askedAt_{};   // when the pending save was first asked for
    std::condition_variable wake_;
    std::thread worker_;
    // Held from taking a snapshot until it is on disk, so writes land in the order their
    // snapshots were taken and an older one never replaces a newer.
    std::mutex writing_;
};
