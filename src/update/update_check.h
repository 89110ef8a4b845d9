#pragma once
// The update check: asks the update server which version it offers and, when it is
// newer than the running one, downloads it beside the running executable, verifies it
// (the project's signature among other checks), and only then puts it in place of the
// running program and restarts into it.
#include <windows.h>
#include <atomic>
#include <memory>
#include <string>
#include "update/https_get.h"

// Whether `offered` is strictly greater than `running`, comparing the four numbers of
// "a.b.c.d" in order. A text that is no such version (an error page, "NA") is never newer.
bool IsNewerVersion(const std::wstring& offered, const std::wstring& running);

// Whether the offered version is an update for the running one: newer, with a size.
bool IsUpdateOffered(const std::wstring& offered, const std::wstring& running, long expectedSize);

// Unreachable: the server could not be asked which version it offers (no connection, an
// error answer); the job's `failure` says why. It is no "no update": the user may be offline.
enum class UpdateOutcome { NoUpdate, Verified, DownloadFailed, Cancelled, Unreachable };
enum class UpdatePhase { Checking, Downloading };

// One check, shared by the About dialog and the worker thread that runs it.
struct UpdateJob {
    std::atomic<bool> cancel{false};
    std::atomic<UpdatePhase> phase{UpdatePhase::Checking};
    // When the worker last heard from the server; the dialog gives up on a worker that
    // stays silent, whatever the platform's own time limits do.
    std::atomic<ULONGLONG> lastActivity{0};
    ULONGLONG started = 0;
    // Where the worker reports; null once the dialog has stopped listening.
    std::atomic<HWND> listener{nullptr};
    // Whichever of the worker (finishing) and the dialog (giving up) comes second owns
    // what the check left behind: the first to set this flag hands the download over.
    std::atomic<bool> settled{false};
    std::wstring program;          // the running executable
    std::wstring resourceStem;     // the server's names: stem + ".dat", ".ver", ".exe_get.php", ".sig"
    std::wstring runningVersion;
    std::wstring download;         // the verified download, valid once the outcome is Verified
    std::wstring failure;          // why the server could not be reached, once the outcome is Unreachable
};

// Messages the worker posts to the listener: the download's percentage (wParam), and
// the outcome (wParam, an UpdateOutcome). lParam is the job, to tell late reports of an
// abandoned check from the current one.
constexpr UINT WM_UPDATE_PROGRESS = WM_APP + 40;
constexpr UINT WM_UPDATE_DONE = WM_APP + 41;

// Starts the check on a worker thread of its own.
std::shared_ptr<UpdateJob> StartUpdateCheck(HWND listener);

// The dialog stops waiting for the job: the worker is told to stop and a download it
// has already finished is removed.
void AbandonUpdateJob(UpdateJob& job);

// Whether the job has gone without news for longer than the time limits allow.
bool IsUpdateJobOverdue(const UpdateJob& job);

// Puts the verified download in place: the running program becomes the backup (an older
// backup is replaced) and the download becomes the program. On failure the program and
// the backup are as they were and the download is gone.
bool InstallDownload(const std::wstring& download, const std::wstring& program);
