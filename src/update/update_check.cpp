#include "update/update_check.h"
#include "platform/log.h"
#include "platform/ui_text.h"
#include "res/resource.h"
#include "settings/ini_file.h"
#include "settings/program_info.h"
#include "update/download_verifier.h"
#include "update/update_signature.h"
#include <array>
#include <thread>

namespace {

// A silent step is given up a little after the platform's own limit would end it.
constexpr ULONGLONG SilenceLimitMs = StepTimeoutMs + 5000;

// A version text as offered: a trailing line break written by the server's editor is
// not part of the version.
std::wstring TrimVersion(std::wstring text)
{
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n'))
        text.pop_back();
    return text;
}

// "a.b.c.d", each a decimal number that fits the 16 bits of its place in a version
// resource; nothing else, not even a blank.
bool ParseVersion(const std::wstring& text, std::array<unsigned, 4>& numbers)
{
    size_t at = 0;
    for (size_t part = 0; part < numbers.size(); ++part) {
        if (part > 0 && (at >= text.size() || text[at++] != L'.'))
            return false;
        const size_t start = at;
        unsigned value = 0;
        while (at < text.size() && text[at] >= L'0' && text[at] <= L'9' && at - start < 5)
            value = value * 10 + (text[at++] - L'0');
        if (at == start || value > 0xFFFF)
            return false;
        numbers[part] = value;
    }
    return at == text.size();
}

// A file of our own beside the program: renaming it into place later stays on one volume.
std::wstring NewTemporaryFile(const std::wstring& program)
{
    const std::wstring folder = program.substr(0, program.rfind(L'\\') + 1);
    std::wstring path(MAX_PATH, L'\0');
    if (!GetTempFileNameW(folder.c_str(), L"cvu", 0, path.data()))
        return L"";
    path.resize(path.find(L'\0'));
    return path;
}

void Report(UpdateJob& job, UINT message, WPARAM value)
{
    if (HWND listener = job.listener.load())
        PostMessageW(listener, message, value, reinterpret_cast<LPARAM>(&job));
}

TransferControl ControlFor(UpdateJob& job)
{
    TransferControl control;
    control.cancel = &job.cancel;
    control.onBytes = [&job](unsigned long long) { job.lastActivity = GetTickCount64(); };
    return control;
}

UpdateOutcome DownloadAndVerify(UpdateJob& job, const std::wstring& offered, unsigned long long expectedSize)
{
    job.phase = UpdatePhase::Downloading;
    job.lastActivity = GetTickCount64();
    Report(job, WM_UPDATE_PROGRESS, 0);
    const std::wstring download = NewTemporaryFile(job.program);
    if (download.empty())
        return UpdateOutcome::DownloadFailed;

    TransferControl control = ControlFor(job);
    control.maxBytes = expectedSize;
    control.wholeTimeoutMs = DownloadTimeoutMs;
    int shownPercent = 0;
    control.onBytes = [&](unsigned long long received) {
        job.lastActivity = GetTickCount64();
        const int percent = static_cast<int>(received * 100 / expectedSize);
        if (percent != shownPercent) {
            shownPercent = percent;
            Report(job, WM_UPDATE_PROGRESS, static_cast<WPARAM>(percent));
        }
    };
    unsigned long long received = 0;
    const bool fetched = HttpGet(job.resourceStem + L".exe_get.php", nullptr, &download, &received, control);
    // The project's signature over exactly these bytes; without it the download is refused
    // as any damaged one.
    std::string signature;
    TransferControl signatureControl = ControlFor(job);
    signatureControl.maxBytes = MaxSignatureBytes;
    const bool accepted = fetched && received == expectedSize && !job.cancel &&
                          HttpGetBody(job.resourceStem + L".sig", signature, signatureControl) && !job.cancel &&
                          IsAcceptableUpdate(download, signature, offered, job.program);
    if (!accepted) {
        DeleteFileW(download.c_str());
        return job.cancel ? UpdateOutcome::Cancelled : UpdateOutcome::DownloadFailed;
    }
    job.download = download;
    return UpdateOutcome::Verified;
}

UpdateOutcome RunCheck(UpdateJob& job)
{
    job.lastActivity = GetTickCount64();
    TransferControl control = ControlFor(job);
    control.failure = &job.failure;
    std::wstring sizeReply, versionReply;
    const bool answered = HttpGet(job.resourceStem + L".dat", &sizeReply, nullptr, nullptr, control) &&
                          HttpGet(job.resourceStem + L".ver", &versionReply, nullptr, nullptr, control);
    if (job.cancel)
        return UpdateOutcome::Cancelled;
    if (!answered) {
        LogLine(L"update check: the server could not be reached: " + job.failure);
        return UpdateOutcome::Unreachable;
    }
    const long expectedSize = ParseDecimalInt(sizeReply);
    const std::wstring offered = TrimVersion(versionReply);
    if (!IsUpdateOffered(offered, job.runningVersion, expectedSize))
        return UpdateOutcome::NoUpdate;
    if (static_cast<unsigned long long>(expectedSize) > MaxDownloadBytes)
        return UpdateOutcome::DownloadFailed;
    return DownloadAndVerify(job, offered, static_cast<unsigned long long>(expectedSize));
}

} // namespace

bool IsNewerVersion(const std::wstring& offered, const std::wstring& running)
{
    std::array<unsigned, 4> offeredNumbers{}, runningNumbers{};
    return ParseVersion(offered, offeredNumbers) && ParseVersion(running, runningNumbers) &&
           offeredNumbers > runningNumbers;
}

bool IsUpdateOffered(const std::wstring& offered, const std::wstring& running, long expectedSize)
{
    // An error page of the server, or an older version that a stale or hostile server
    // offers, is no update.
    return IsNewerVersion(offered, running) && expectedSize > 0;
}

std::shared_ptr<UpdateJob> StartUpdateCheck(HWND listener)
{
    auto job = std::make_shared<UpdateJob>();
    job->listener = listener;
    job->resourceStem = LoadText(IDS_APP_NAME);
    job->program = ProgramInfo.programPath;
    job->runningVersion = ProgramInfo.versionText;
    job->started = job->lastActivity = GetTickCount64();
    try {
        // The worker keeps the job alive on its own: a dialog that stops waiting for it
        // must not pull the record out from under it.
        std::thread([job] {
            const UpdateOutcome outcome = RunCheck(*job);
            if (job->settled.exchange(true)) {
                if (outcome == UpdateOutcome::Verified)
                    DeleteFileW(job->download.c_str());
                return;
            }
            Report(*job, WM_UPDATE_DONE, static_cast<WPARAM>(outcome));
        }).detach();
    } catch (const std::system_error&) {
        return nullptr;
    }
    return job;
}

void AbandonUpdateJob(UpdateJob& job)
{
    job.cancel = true;
    job.listener = nullptr;
    // Already settled: the worker has finished and its download, if any, is ours.
    if (job.settled.exchange(true) && !job.download.empty())
        DeleteFileW(job.download.c_str());
}

bool IsUpdateJobOverdue(const UpdateJob& job)
{
    const ULONGLONG now = GetTickCount64();
    // The size, the version and the signature are text-sized requests; the program is the download.
    const ULONGLONG wholeLimit = 3 * TextRequestTimeoutMs + DownloadTimeoutMs + SilenceLimitMs;
    return now - job.lastActivity.load() > SilenceLimitMs || now - job.started > wholeLimit;
}

bool InstallDownload(const std::wstring& download, const std::wstring& program)
{
    const std::wstring backup = program + L".bak";
    const std::wstring olderBackup = backup + L".old";
    // The older backup steps aside first, so a failure can still put everything back.
    const bool hadBackup = GetFileAttributesW(backup.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (hadBackup && !MoveFileExW(backup.c_str(), olderBackup.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(download.c_str());
        return false;
    }
    // A running executable can be renamed, though not overwritten.
    bool installed = MoveFileW(program.c_str(), backup.c_str());
    if (installed && !MoveFileW(download.c_str(), program.c_str())) {
        MoveFileW(backup.c_str(), program.c_str());
        installed = false;
    }
    if (hadBackup) {
        if (installed)
            DeleteFileW(olderBackup.c_str());
        else
            MoveFileW(olderBackup.c_str(), backup.c_str());
    }
    if (!installed)
        DeleteFileW(download.c_str());
    return installed;
}
