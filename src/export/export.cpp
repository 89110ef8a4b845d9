#include "export/export.h"
#include "export/heard_timing.h"
#include "export/mp3_encoder.h"
#include "export/timed_text.h"
#include "export/wav_speed.h"
#include "platform/com_apartment.h"
#include "platform/com_ptr.h"
#include "platform/sapi_event.h"
#include "platform/scoped_handle.h"
#include "platform/ui_text.h"
#include "platform/whole_file.h"
#include "settings/app_settings.h"
#include "settings/export_settings.h"
#include "res/resource.h"
#include <commctrl.h>
#include <commdlg.h>
#include <mmreg.h>
#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

namespace {

// The worker's report that it has finished; the dialog belongs to the user-interface
// thread, so the worker asks it to close instead of ending it itself.
constexpr UINT WM_EXPORT_FINISHED = WM_APP + 1;
// The encoding's progress in hundredths of a percent (wParam).
constexpr UINT WM_EXPORT_PROGRESS = WM_APP + 2;

// The save dialog's name buffer, in characters.
constexpr DWORD FileNameCapacity = 260;

// SPDFID_WaveFormatEx; MinGW's import library lacks it.
const GUID WaveFormatExFormatId = {0xc31adbae, 0x527f, 0x4ff5, {0xa2, 0x30, 0xf6, 0x2b, 0xb6, 0x1f, 0xf7, 0x0c}};
constexpr ULONGLONG AllFileEvents = 0xEFFFFFFFFFFFFFFFull;   // SPFEI_ALL_EVENTS
// What a timed text is made from.
constexpr ULONGLONG TimingEvents = SPFEI(SPEI_START_INPUT_STREAM) | SPFEI(SPEI_END_INPUT_STREAM)
                                 | SPFEI(SPEI_WORD_BOUNDARY) | SPFEI(SPEI_SENTENCE_BOUNDARY);
// How often a rendering's events are taken while it goes on, so that a long one does not
// gather them all in the voice.
constexpr ULONG EventTakingMs = 100;

// Every export is 48 kHz, 16-bit, stereo PCM; the MP3 encoder relies on exactly this.
constexpr WAVEFORMATEX ExportWaveFormat = {WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};

// In the background, so that the wait dialog can wait for it, and always as plain text:
// without SPF_IS_NOT_XML a text that starts with '<' is taken for speech markup and
// loses its tags, or is not spoken at all.
constexpr DWORD ExportSpeakFlags = SPF_ASYNC | SPF_IS_NOT_XML;
constexpr DWORD ExportMarkupFlags = SPF_ASYNC | SPF_IS_XML;

// Whether a wait dialog is open and not cancelled: the tray asks before it offers its
// menu, from the user-interface thread, while tests ask from others.
std::atomic<bool> waitDialogOpen{false};

// What one export speaks, with whose voices (and, for a timed text, the way back to what
// the view shows), and which window owns its dialogs.
struct ExportSource {
    HWND owner;
    SpokenWhole whole;

    bool WritesTimedText() const { return AppSettings.timedText != NoTimedText && whole.spoken && whole.shown; }
};

// The text read with the reading voice's voice.
SpokenWhole ReadByVoice(const wchar_t* text, ISpVoice* readingVoice)
{
    SpokenWhole whole;
    if (!text)
        return whole;
    ComPtr<ISpObjectToken> token;
    if (readingVoice && FAILED(readingVoice->GetVoice(token.Out())))
        token.Reset();
    whole.parts.push_back({text, std::move(token)});
    return whole;
}

struct ExportFormat {
    const wchar_t* filter;     // description and pattern, double-terminated
    wchar_t* folder;           // the folder setting
    const wchar_t* defaultExtension;
    const wchar_t* extension;
};

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
    enum class Kind { Rendering, Stretching, Encoding };
    Kind kind = Kind::Rendering;
    ISpVoice* voice = nullptr;   // rendering: the export's own voice...
    RenderedTiming* timing = nullptr;   // ...and what it tells of its timing, when asked
    std::wstring wavPath;        // stretching and encoding: the rendered file...
    double speed = 1.0;          // ...stretched to this speed...
    std::wstring mp3Path;        // ...or the file it becomes
    HWND dialog = nullptr;       // set before the worker starts
    std::atomic<bool> cancelled{false};
    std::atomic<bool> succeeded{false};
};

void TakeEvents(ISpVoice* voice, RenderedTiming& timing)
{
    SPEVENT event{};
    while (voice->GetEvents(1, &event, nullptr) == S_OK) {
        timing.events.push_back({event.eEventId, event.ulStreamNum, event.wParam, event.lParam,
                                 event.ullAudioStreamOffset});
        ReleaseEventParameter(event);
    }
}

bool RenderingDone(ExportJob& job)
{
    if (!job.timing)
        return SUCCEEDED(job.voice->WaitUntilDone(INFINITE));
    HRESULT waited = S_FALSE;
    while ((waited = job.voice->WaitUntilDone(EventTakingMs)) == S_FALSE)
        TakeEvents(job.voice, *job.timing);
    TakeEvents(job.voice, *job.timing);
    return SUCCEEDED(waited);
}

bool DoExportWork(ExportJob& job)
{
    if (job.kind == ExportJob::Kind::Rendering)
        return RenderingDone(job);
    if (job.kind == ExportJob::Kind::Stretching)
        return ChangeWavFileSpeed(job.wavPath, job.speed);
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
    {
        ComApartment apartment;
        job.succeeded = DoExportWork(job);
    }
    // The last touch of the job: once the dialog has this, the job may be gone. The
    // result travels in the job; the user-interface thread tells the user.
    ReportFinished(dialog);
    return 0;
}

void StartExportWorker(ExportJob& job)
{
    // The thread runs on its own; its handle is not needed.
    const KernelHandle thread(CreateThread(nullptr, 0, ExportWorker, &job, 0, nullptr));
    if (!thread)
        ReportFinished(job.dialog);
}

void OnWaitDialogInit(HWND dialog, ExportJob& job)
{
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&job));
    job.dialog = dialog;
    waitDialogOpen = true;
    HWND animation = GetDlgItem(dialog, IDC_WAIT_ANIMATION);
    Animate_OpenEx(animation, ProgramModule(), MAKEINTRESOURCEW(IDR_WAIT_CLIP));
    ShowWindow(animation, SW_SHOW);
    SetWindowTextW(dialog, LoadText(IDS_SAVING).c_str());
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
    // Cleared at once: the tray offers its menu again, and whoever asks sees the export
    // as cancelled.
    waitDialogOpen = false;
    EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
    // The rendering ends when its voice has nothing left to say; an encoding stops
    // after its current chunk, a stretching when it is done. Either way the worker then
    // reports and the dialog ends.
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
INT_PTR ShowWaitDialog(HWND owner, ExportJob& job)
{
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_ANIMATE_CLASS;
    InitCommonControlsEx(&controls);
    waitDialogOpen = false;
    const INT_PTR result = DialogBoxParamW(ProgramModule(), MAKEINTRESOURCEW(IDD_WAIT), owner, WaitDialogProc,
                                           reinterpret_cast<LPARAM>(&job));
    waitDialogOpen = false;
    return result;
}

// Runs the job behind the wait dialog: true when it was done whole and not cancelled.
bool DoBehindWaitDialog(HWND owner, ExportJob& job)
{
    return ShowWaitDialog(owner, job) == ExportFinished && job.succeeded;
}

ComPtr<ISpStream> CreateFileStream(const std::wstring& path)
{
    ComPtr<ISpStream> stream;
    if (FAILED(CoCreateInstance(CLSID_SpStream, nullptr, CLSCTX_ALL, IID_ISpStream, stream.OutVoid()))
        || FAILED(stream->BindToFile(path.c_str(), SPFM_CREATE_ALWAYS, &WaveFormatExFormatId, &ExportWaveFormat,
                                     AllFileEvents)))
        stream.Reset();
    return stream;
}

// Queues every part with its voice; each Speak takes the voice set before it. streams,
// when given, learns the stream each part is spoken as.
bool SpeakParts(const std::vector<SpokenPart>& parts, ISpVoice* voice, std::vector<ULONG>* streams)
{
    if (parts.empty())
        return false;
    ISpObjectToken* current = nullptr;
    for (const SpokenPart& part : parts) {
        if (part.voice.Get() != current) {
            if (FAILED(voice->SetVoice(part.voice.Get())))
                return false;
            current = part.voice.Get();
        }
        ULONG stream = 0;
        if (FAILED(voice->Speak(part.text.c_str(), part.markup ? ExportMarkupFlags : ExportSpeakFlags, &stream)))
            return false;
        if (streams)
            streams->push_back(stream);
    }
    return true;
}

// Speaks the text into the voice's output behind the wait dialog. True only when the
// voice rendered all of it: a full disk ends the rendering early, and the voice tells so
// only through its status.
bool RenderThrough(const ExportSource& source, ISpVoice* voice, RenderedTiming* timing)
{
    if (timing && FAILED(voice->SetInterest(TimingEvents, TimingEvents)))
        return false;
    if (!SpeakParts(source.whole.parts, voice, timing ? &timing->streams : nullptr))
        return false;
    ExportJob job;
    job.kind = ExportJob::Kind::Rendering;
    job.voice = voice;
    job.timing = timing;
    if (ShowWaitDialog(source.owner, job) != ExportFinished || !job.succeeded)
        return false;
    SPVOICESTATUS status{};
    return SUCCEEDED(voice->GetStatus(&status, nullptr)) && SUCCEEDED(status.hrLastResult);
}

// The voice renders at its own pace; the speed setting then stretches what it rendered,
// with the pitch kept, as the reading sounds. That takes seconds for a long rendering,
// so it is done behind the wait dialog too.
bool AtChosenSpeed(HWND owner, const std::wstring& path)
{
    if (AppSettings.speedPercent == NormalSpeedPercent)
        return true;
    ExportJob job;
    job.kind = ExportJob::Kind::Stretching;
    job.wavPath = path;
    job.speed = AppSettings.speedPercent / static_cast<double>(NormalSpeedPercent);
    return DoBehindWaitDialog(owner, job);
}

// Renders the text into a WAV file at path; on any failure or cancel the file is
// deleted, so that no cut-off file that looks complete is left behind. timing, when
// given, learns what the voice told of when it said what.
bool RenderSpeech(const ExportSource& source, const std::wstring& path, RenderedTiming* timing = nullptr)
{
    // Each part sets its own voice, starting from the system's default.
    ComPtr<ISpVoice> voice = CreateVoiceLike(nullptr);
    if (!voice)
        return false;
    ComPtr<ISpStream> file = CreateFileStream(path);
    if (!file)
        return false;
    bool written = SUCCEEDED(voice->SetOutput(file.Get(), TRUE)) && RenderThrough(source, voice.Get(), timing);
    // The voice holds the stream until it goes; the header is written when the stream
    // closes, and that write can fail too.
    voice.Reset();
    written = SUCCEEDED(file->Close()) && written;
    file.Reset();
    written = written && AtChosenSpeed(source.owner, path);
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

bool EndsWith(const std::wstring& name, const wchar_t* extension)
{
    const size_t tail = wcslen(extension);
    return name.size() >= tail && _wcsicmp(name.c_str() + name.size() - tail, extension) == 0;
}

// The name the user chose, ending in the format's extension; empty when the user
// cancelled the save dialog.
std::wstring AskForFileName(HWND owner, const ExportFormat& format)
{
    EndWithBackslash(format.folder);
    // The dialog proposes the folder followed by the program's name.
    std::vector<wchar_t> name(FileNameCapacity, L'\0');
    lstrcpynW(name.data(), (std::wstring(format.folder) + LoadText(IDS_APP_NAME)).c_str(), FileNameCapacity);

    OPENFILENAMEW request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = owner;
    request.lpstrFilter = format.filter;
    request.nFilterIndex = 1;
    request.lpstrFile = name.data();
    request.nMaxFile = FileNameCapacity;
    request.lpstrInitialDir = format.folder[0] ? format.folder : nullptr;
    request.lpstrDefExt = format.defaultExtension;
    request.Flags = OFN_OVERWRITEPROMPT;
    if (!GetSaveFileNameW(&request))
        return {};
    std::wstring chosen(name.data());
    // The platform reports a typed extension other than the default one through
    // OFN_EXTENSIONDIFFERENT; Wine's dialog never sets it, so the name itself decides.
    const bool different = (request.Flags & OFN_EXTENSIONDIFFERENT) || !EndsWith(chosen, format.extension);
    if (different && chosen.size() + wcslen(format.extension) < FileNameCapacity)
        chosen += format.extension;
    return chosen;
}

// The timed text beside a recording: its name with the timed text's extension.
std::wstring TimedTextPath(const std::wstring& audioPath)
{
    const size_t dot = audioPath.find_last_of(L'.');
    const size_t folder = audioPath.find_last_of(L"\\/");
    const bool extended = dot != std::wstring::npos && (folder == std::wstring::npos || dot > folder);
    return (extended ? audioPath.substr(0, dot) : audioPath) + L"." + TimedTextKey(AppSettings.timedText);
}

// Writes the timed text beside the recording at audioPath. One that cannot be written is
// reported; the recording stays, as it is complete without it.
void WriteTimedText(const ExportSource& source, const RenderedTiming& timing, const std::wstring& audioPath)
{
    const double speed = AppSettings.speedPercent / static_cast<double>(NormalSpeedPercent);
    const HeardWords heard = WordsHeard(source.whole, timing, ExportWaveFormat.nAvgBytesPerSec, speed);
    const std::vector<Cue> cues = MakeCues(heard.words, *source.whole.shown, source.whole.spoken->SkippedRanges(),
                                           heard.endMs);
    const std::wstring path = TimedTextPath(audioPath);
    if (WriteFileInPlaceOf(path, TimedTextFile(AppSettings.timedText, cues)))
        return;
    const DWORD error = GetLastError();
    ShowWarning(source.owner, FillPattern(LoadText(IDS_TIMED_TEXT_NOT_SAVED), path, SystemErrorText(error)));
}

// The recording at audioPath is gone: a timed text of that name, which told of it, goes
// too.
void ForgetTimedText(const ExportSource& source, const std::wstring& audioPath)
{
    if (source.WritesTimedText())
        DeleteFileW(TimedTextPath(audioPath).c_str());
}

std::wstring ExportWav(const ExportSource& source, const std::wstring& path)
{
    RenderedTiming timing;
    RenderedTiming* timed = source.WritesTimedText() ? &timing : nullptr;
    if (RenderSpeech(source, path, timed)) {
        if (timed)
            WriteTimedText(source, timing, path);
        return path;
    }
    ForgetTimedText(source, path);
    ShowWarning(source.owner, IDS_FILE_SAVE_FAILED);
    return {};
}

bool EncodeMp3(HWND owner, const std::wstring& wavPath, const std::wstring& mp3Path)
{
    ExportJob job;
    job.kind = ExportJob::Kind::Encoding;
    job.wavPath = wavPath;
    job.mp3Path = mp3Path;
    return DoBehindWaitDialog(owner, job);
}

// The voice renders into a temporary WAV beside the MP3 file, named like it with its
// last character '_', and the encoder turns that into the MP3 file.
std::wstring ExportMp3(const ExportSource& source, const std::wstring& path)
{
    const std::wstring wavPath = WithLastCharacter(path, L'_');
    const std::wstring mp3Path = WithLastCharacter(path, L'3');
    RenderedTiming timing;
    RenderedTiming* timed = source.WritesTimedText() ? &timing : nullptr;
    if (!RenderSpeech(source, wavPath, timed)) {
        ShowWarning(source.owner, IDS_FILE_SAVE_FAILED);
        return {};
    }
    const bool encoded = EncodeMp3(source.owner, wavPath, mp3Path);
    DeleteFileW(wavPath.c_str());
    if (encoded) {
        if (timed)
            WriteTimedText(source, timing, mp3Path);
        return mp3Path;
    }
    // Nothing of a failed or cancelled encoding stays, and it is gone before the user
    // reads about it.
    DeleteFileW(mp3Path.c_str());
    ForgetTimedText(source, mp3Path);
    ShowWarning(source.owner, IDS_FILE_SAVE_FAILED);
    return {};
}

} // namespace

bool ExportInProgress()
{
    return waitDialogOpen;
}

int RenderToWav(HWND owner, std::vector<SpokenPart> parts, const std::wstring& path)
{
    return RenderSpeech(ExportSource{owner, {std::move(parts)}}, path) ? 1 : 0;
}

int RenderToWav(HWND owner, const wchar_t* text, ISpVoice* readingVoice, const std::wstring& path)
{
    return RenderSpeech(ExportSource{owner, ReadByVoice(text, readingVoice)}, path) ? 1 : 0;
}

std::wstring ExportSpeech(HWND owner, const wchar_t* text, ISpVoice* readingVoice)
{
    return ExportSpeech(owner, ReadByVoice(text, readingVoice));
}

std::wstring ExportSpeech(HWND owner, SpokenWhole whole)
{
    const ExportFormat wav{L"WAV (*.wav)\0*.wav\0", AppSettings.wavFolder, L"wav", L".wav"};
    const ExportFormat mp3{L"MP3 (*.mp3)\0*.mp3\0", AppSettings.mp3Folder, L"mp3", L".mp3"};
    const bool asWav = AppSettings.exportAsWav;
    if (!asWav && QueryEncoderVersion().empty()) {
        ShowWarning(owner, IDS_LAME_MISSING);
        return {};
    }
    const std::wstring path = AskForFileName(owner, asWav ? wav : mp3);
    if (path.empty())
        return {};
    const ExportSource source{owner, std::move(whole)};
    return asWav ? ExportWav(source, path) : ExportMp3(source, path);
}

ComPtr<ISpVoice> CreateVoiceLike(ISpVoice* readingVoice)
{
    ComPtr<ISpVoice> voice;
    if (FAILED(CoCreateInstance(CLSID_SpVoice, nullptr, CLSCTX_ALL, IID_ISpVoice, voice.OutVoid())))
        return {};
    ComPtr<ISpObjectToken> token;
    if (readingVoice && SUCCEEDED(readingVoice->GetVoice(token.Out())) && token
        && FAILED(voice->SetVoice(token.Get())))
        return {};
    voice->SetRate(AppSettings.speechRate);
    voice->SetVolume(static_cast<USHORT>(std::clamp(AppSettings.volume, 0, FullVolume)));
    return voice;
}
