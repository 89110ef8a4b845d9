#include "export/export.h"
#include "export/mp3_encoder.h"
#include "app/app_state.h"
#include "speech/text_prep.h"
#include "speech/voice_engine.h"
#include "settings/app_settings.h"
#include "res/resource.h"
#include <commctrl.h>
#include <commdlg.h>
#include <mmreg.h>
#include <sapi.h>
#include <wrl/client.h>
#include <atomic>
#include <cwchar>
#include <string>

wchar_t ExportFileName[ExportFileNameLength] = L"";

namespace {

using Microsoft::WRL::ComPtr;

// The worker's report that it has finished; the dialog belongs to the user-interface
// thread, so the worker asks it to close instead of ending it itself.
constexpr UINT WM_EXPORT_FINISHED = WM_APP + 1;
// The encoding's progress in hundredths of a percent (wParam).
constexpr UINT WM_EXPORT_PROGRESS = WM_APP + 2;

// SPDFID_WaveFormatEx; MinGW's import library lacks it.
const GUID WaveFormatExFormatId = {0xc31adbae, 0x527f, 0x4ff5, {0xa2, 0x30, 0xf6, 0x2b, 0xb6, 0x1f, 0xf7, 0x0c}};
constexpr ULONGLONG AllFileEvents = 0xEFFFFFFFFFFFFFFFull;   // SPFEI_ALL_EVENTS

struct ExportFormat {
    const wchar_t* filter;     // description and pattern, double-terminated
    wchar_t* folder;           // the folder setting
    const wchar_t* defaultExtension;
    const wchar_t* extension;
};

void ShowExportWarning(UINT textId)
{
    wchar_t caption[CaptionBufferLength];
    wchar_t text[MessageBufferLength];
    LoadStringW(appInstance, IDS_WARNING, caption, CaptionBufferLength);
    LoadStringW(appInstance, textId, text, MessageBufferLength);
    MessageBoxW(speechWindow, text, caption, MB_OK | MB_ICONWARNING);
}

void SetLastCharacter(wchar_t c)
{
    const size_t length = wcslen(ExportFileName);
    if (length > 0)
        ExportFileName[length - 1] = c;
}

std::wstring WithLastCharacter(std::wstring name, wchar_t c)
{
    if (!name.empty())
        name.back() = c;
    return name;
}

// One rendering or encoding: what the wait dialog and its worker share. It lives on
// the user-interface thread's stack for as long as the dialog is open, and the dialog
// stays open until the worker has said that it is done with it.
struct ExportJob {
    enum class Kind { Rendering, Encoding };
    Kind kind = Kind::Rendering;
    ISpVoice* voice = nullptr;   // rendering: the export's own voice
    std::wstring wavPath;        // encoding: the rendered file...
    std::wstring mp3Path;        // ...and the file it becomes
    HWND dialog = nullptr;       // set before the worker starts
    std::atomic<bool> cancelled{false};
    std::atomic<bool> succeeded{false};
};

bool DoExportWork(ExportJob& job)
{
    if (job.kind == ExportJob::Kind::Rendering)
        return SUCCEEDED(job.voice->WaitUntilDone(INFINITE));
    EncodingWatch watch;
    watch.progressWindow = job.dialog;
    watch.progressMessage = WM_EXPORT_PROGRESS;
    watch.cancelled = &job.cancelled;
    return Mp3Encode(job.wavPath.c_str(), job.mp3Path.c_str(), watch) == 1;
}

void ReportFinished(HWND dialog)
{
    // A full message queue refuses the report; the dialog would then wait for ever.
    while (!PostMessageW(dialog, WM_EXPORT_FINISHED, 0, 0) && IsWindow(dialog))
        Sleep(10);
}

DWORD WINAPI ExportWorker(LPVOID parameter)
{
    auto& job = *static_cast<ExportJob*>(parameter);
    const HWND dialog = job.dialog;
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    job.succeeded = DoExportWork(job);
    CoUninitialize();
    // The last touch of the job: once the dialog has this, the job may be gone.
    ReportFinished(dialog);
    return 0;
}

void StartExportWorker(ExportJob& job)
{
    HANDLE thread = CreateThread(nullptr, 0, ExportWorker, &job, 0, nullptr);
    if (thread)
        CloseHandle(thread);
    else
        ReportFinished(job.dialog);
}

void OnWaitDialogInit(HWND dialog, ExportJob& job)
{
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&job));
    waitDialog = dialog;
    job.dialog = dialog;
    HWND animation = GetDlgItem(dialog, IDC_WAIT_ANIMATION);
    Animate_OpenEx(animation, appInstance, MAKEINTRESOURCEW(IDR_WAIT_CLIP));
    ShowWindow(animation, SW_SHOW);
    wchar_t caption[CaptionBufferLength];
    LoadStringW(appInstance, IDS_SAVING, caption, CaptionBufferLength);
    SetWindowTextW(dialog, caption);
    // A modal dialog shows itself only when its message queue runs dry; a reading that
    // goes on meanwhile keeps the queue busy, so it is shown now.
    ShowWindow(dialog, SW_SHOW);
    // The worker starts only now that the handle is known: it reports to this dialog.
    StartExportWorker(job);
}

void OnWaitDialogCancel(HWND dialog, ExportJob& job)
{
    if (job.cancelled.exchange(true))
        return;
    // Cleared at once: the tray offers its menu again, and whoever watches the handle
    // sees the export as cancelled.
    waitDialog = nullptr;
    EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
    // The rendering ends when its voice has nothing left to say; an encoding stops
    // after its current chunk. Either way the worker then reports and the dialog ends.
    if (job.kind == ExportJob::Kind::Rendering)
        job.voice->Speak(nullptr, SPF_PURGEBEFORESPEAK, nullptr);
}

void OnEncodingProgress(HWND dialog, unsigned hundredths)
{
    char text[64];
    FormatEncodingProgress(hundredths, text, sizeof text);
    SetDlgItemTextA(dialog, IDC_WAIT_PROGRESS, text);
}

INT_PTR CALLBACK WaitDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* job = reinterpret_cast<ExportJob*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        OnWaitDialogInit(dialog, *reinterpret_cast<ExportJob*>(lParam));
        return TRUE;
    case WM_CLOSE:
        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDCANCEL || !job)
            return FALSE;
        OnWaitDialogCancel(dialog, *job);
        return TRUE;
    case WM_EXPORT_PROGRESS:
        OnEncodingProgress(dialog, static_cast<unsigned>(wParam));
        return TRUE;
    case WM_EXPORT_FINISHED:
        EndDialog(dialog, job && job->cancelled ? IDCANCEL : ExportFinished);
        return TRUE;
    default:
        return FALSE;
    }
}

// Shows the wait dialog while the job's worker runs. IDCANCEL when the user cancelled,
// ExportFinished when the worker ended it; in both cases the worker is done with the job.
INT_PTR ShowWaitDialog(ExportJob& job)
{
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_ANIMATE_CLASS;
    InitCommonControlsEx(&controls);
    waitDialog = nullptr;
    const INT_PTR result = DialogBoxParamW(appInstance, MAKEINTRESOURCEW(IDD_WAIT), speechWindow, WaitDialogProc,
                                           reinterpret_cast<LPARAM>(&job));
    waitDialog = nullptr;
    return result;
}

WAVEFORMATEX* NewExportFormat()
{
    auto* format = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
    if (!format)
        return nullptr;
    format->wFormatTag = WAVE_FORMAT_PCM;
    format->nChannels = 2;
    format->nSamplesPerSec = 48000;
    format->nAvgBytesPerSec = 192000;
    format->nBlockAlign = 4;
    format->wBitsPerSample = 16;
    format->cbSize = 0;
    return format;
}

ComPtr<ISpStream> CreateFileStream(const std::wstring& path)
{
    WAVEFORMATEX* format = NewExportFormat();
    if (!format)
        return nullptr;
    ComPtr<ISpStream> stream;
    if (FAILED(CoCreateInstance(CLSID_SpStream, nullptr, CLSCTX_ALL, IID_ISpStream, reinterpret_cast<void**>(stream.GetAddressOf())))
        || FAILED(stream->BindToFile(path.c_str(), SPFM_CREATE_ALWAYS, &WaveFormatExFormatId, format, AllFileEvents)))
        stream.Reset();
    CoTaskMemFree(format);
    return stream;
}

// The export speaks through a voice of its own, with the reading voice's token and the
// current rate. Its events go nowhere: the reading view shows what the user hears, and
// the reading voice goes on, or stays paused, as it was.
ComPtr<ISpVoice> CreateExportVoice()
{
    ComPtr<ISpVoice> voice;
    if (FAILED(CoCreateInstance(CLSID_SpVoice, nullptr, CLSCTX_ALL, IID_ISpVoice, reinterpret_cast<void**>(voice.GetAddressOf()))))
        return nullptr;
    ComPtr<ISpObjectToken> token;
    if (voiceEngine && SUCCEEDED(voiceEngine->GetVoice(token.GetAddressOf())) && token
        && FAILED(voice->SetVoice(token.Get())))
        return nullptr;
    voice->SetRate(AppSettings.rate);
    return voice;
}

// The one place the export hands the text to a voice.
bool SpeakForExport(ISpVoice* voice)
{
    return SUCCEEDED(voice->Speak(SpeechText().c_str(), SpeakTextFlags, nullptr));
}

// Speaks the text into the voice's output behind the wait dialog. True only when the
// voice rendered all of it: a full disk ends the rendering early, and the voice tells so
// only through its status.
bool RenderThrough(ISpVoice* voice)
{
    if (!SpeakForExport(voice))
        return false;
    ExportJob job;
    job.kind = ExportJob::Kind::Rendering;
    job.voice = voice;
    if (ShowWaitDialog(job) != ExportFinished || !job.succeeded)
        return false;
    SPVOICESTATUS status{};
    return SUCCEEDED(voice->GetStatus(&status, nullptr)) && SUCCEEDED(status.hrLastResult);
}

// Renders the SpeechText into a WAV file at path; on any failure or cancel the file is
// deleted, so that no cut-off file that looks complete is left behind.
bool RenderSpeech(const std::wstring& path)
{
    ComPtr<ISpVoice> voice = CreateExportVoice();
    if (!voice)
        return false;
    ComPtr<ISpStream> file = CreateFileStream(path);
    if (!file)
        return false;
    bool written = SUCCEEDED(voice->SetOutput(file.Get(), TRUE)) && RenderThrough(voice.Get());
    // The voice holds the stream until it goes; the header is written when the stream
    // closes, and that write can fail too.
    voice.Reset();
    written = SUCCEEDED(file->Close()) && written;
    file.Reset();
    if (!written)
        DeleteFileW(path.c_str());
    return written;
}

// Appends a backslash to a folder setting that lacks one; the setting keeps it. An
// empty setting stays empty, so the dialog opens in its own default folder.
void EndWithBackslash(wchar_t* folder)
{
    const size_t length = wcslen(folder);
    if (length > 0 && length + 1 < SettingsPathLength && folder[length - 1] != L'\\')
        wcscat(folder, L"\\");
}

bool EndsWith(const wchar_t* name, const wchar_t* extension)
{
    const size_t length = wcslen(name);
    const size_t tail = wcslen(extension);
    return length >= tail && _wcsicmp(name + length - tail, extension) == 0;
}

bool AskForFileName(const ExportFormat& format)
{
    EndWithBackslash(format.folder);
    lstrcpynW(ExportFileName, (std::wstring(format.folder) + appName).c_str(), ExportFileNameLength);

    OPENFILENAMEW request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = speechWindow;
    request.lpstrFilter = format.filter;
    request.nFilterIndex = 1;
    request.lpstrFile = ExportFileName;
    request.nMaxFile = ExportFileNameLength;
    request.lpstrInitialDir = format.folder[0] ? format.folder : nullptr;
    request.lpstrDefExt = format.defaultExtension;
    request.Flags = OFN_OVERWRITEPROMPT;
    if (!GetSaveFileNameW(&request))
        return false;
    // The platform reports a typed extension other than the default one through
    // OFN_EXTENSIONDIFFERENT; Wine's dialog never sets it, so the name itself decides.
    const bool different = (request.Flags & OFN_EXTENSIONDIFFERENT) || !EndsWith(ExportFileName, format.extension);
    if (different && wcslen(ExportFileName) + wcslen(format.extension) < ExportFileNameLength)
        wcscat(ExportFileName, format.extension);
    return true;
}

void ExportWav()
{
    if (!RenderToWav())
        ShowExportWarning(IDS_FILE_SAVE_FAILED);
}

bool EncodeMp3(const std::wstring& wavPath, const std::wstring& mp3Path)
{
    ExportJob job;
    job.kind = ExportJob::Kind::Encoding;
    job.wavPath = wavPath;
    job.mp3Path = mp3Path;
    return ShowWaitDialog(job) == ExportFinished && job.succeeded;
}

void ExportMp3()
{
    // The names this export writes, kept apart from ExportFileName, which the next
    // export reuses.
    const std::wstring wavPath = WithLastCharacter(ExportFileName, L'_');
    const std::wstring mp3Path = WithLastCharacter(ExportFileName, L'3');
    SetLastCharacter(L'_');
    const bool rendered = RenderToWav();
    SetLastCharacter(L'3');
    if (!rendered) {
        ShowExportWarning(IDS_FILE_SAVE_FAILED);
        return;
    }
    const bool encoded = EncodeMp3(wavPath, mp3Path);
    DeleteFileW(wavPath.c_str());
    if (encoded)
        return;
    // Nothing of a failed or cancelled encoding stays, and it is gone before the user
    // reads about it.
    DeleteFileW(mp3Path.c_str());
    ShowExportWarning(IDS_FILE_SAVE_FAILED);
}

} // namespace

HWND CurrentWaitDialog()
{
    // Written by the user-interface thread while a worker polls it.
    return *static_cast<HWND volatile*>(&waitDialog);
}

int RenderToWav()
{
    return RenderSpeech(ExportFileName) ? 1 : 0;
}

void ExportSpeech()
{
    static const ExportFormat wav{L"WAV (*.wav)\0*.wav\0", AppSettings.wavdir, L"wav", L".wav"};
    static const ExportFormat mp3{L"MP3 (*.mp3)\0*.mp3\0", AppSettings.mp3dir, L"mp3", L".mp3"};
    const bool asWav = AppSettings.wav;
    if (!asWav && !QueryEncoderVersion()) {
        ShowExportWarning(IDS_LAME_MISSING);
        return;
    }
    if (!AskForFileName(asWav ? wav : mp3))
        return;
    if (asWav)
        ExportWav();
    else
        ExportMp3();
}
