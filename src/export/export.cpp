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
#include <cwchar>
#include <string>

wchar_t ExportFileName[ExportFileNameLength] = L"";

namespace {

// The worker's request to close the wait dialog: the dialog belongs to the
// user-interface thread, so the worker asks it instead of ending it itself.
constexpr UINT WM_EXPORT_FINISHED = WM_APP + 1;

enum ExportMode : DWORD { WaitForRendering = 1, EncodeMp3 = 2 };

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

void DeleteExportFile(wchar_t lastCharacter)
{
    SetLastCharacter(lastCharacter);
    DeleteFileW(ExportFileName);
}

struct ExportJob {
    DWORD mode;
    HWND dialog;   // the wait dialog this worker reports to
};

// Only the worker's own dialog is closed: a worker that was cancelled and finishes
// late must not end the wait of an export the user has started since.
void CloseWaitDialog(HWND own)
{
    if (HWND dialog = CurrentWaitDialog(); dialog && dialog == own)
        PostMessageW(dialog, WM_EXPORT_FINISHED, 0, 0);
}

void FinishEncoding(HWND own)
{
    // A dialog that is gone means the user cancelled after the last chunk: the files
    // are not wanted then either.
    if (Mp3Encode() && CurrentWaitDialog()) {
        CloseWaitDialog(own);
        return;
    }
    ShowExportWarning(IDS_FILE_SAVE_FAILED);
    DeleteExportFile(L'3');
    DeleteExportFile(L'_');
    CloseWaitDialog(own);
}

DWORD WINAPI ExportWorker(LPVOID parameter)
{
    const ExportJob job = *static_cast<ExportJob*>(parameter);
    delete static_cast<ExportJob*>(parameter);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (job.mode == WaitForRendering) {
        voiceEngine->WaitUntilDone(INFINITE);
        CloseWaitDialog(job.dialog);
    } else {
        FinishEncoding(job.dialog);
    }
    CoUninitialize();
    ExitThread(0);
}

void StartExportWorker(DWORD mode, HWND dialog)
{
    auto* job = new ExportJob{mode, dialog};
    HANDLE thread = CreateThread(nullptr, 0, ExportWorker, job, 0, nullptr);
    if (thread)
        CloseHandle(thread);
    else
        delete job;
}

void OnWaitDialogInit(HWND dialog, DWORD mode)
{
    waitDialog = dialog;
    HWND animation = GetDlgItem(dialog, IDC_WAIT_ANIMATION);
    Animate_OpenEx(animation, appInstance, MAKEINTRESOURCEW(IDR_WAIT_CLIP));
    ShowWindow(animation, SW_SHOW);
    wchar_t caption[CaptionBufferLength];
    LoadStringW(appInstance, IDS_SAVING, caption, CaptionBufferLength);
    SetWindowTextW(dialog, caption);
    // The worker starts only now that the handle is set: a worker that finished before
    // the dialog existed would find no dialog to close, and an encoder would take the
    // missing dialog for a cancel.
    StartExportWorker(mode, dialog);
}

INT_PTR CALLBACK WaitDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnWaitDialogInit(dialog, static_cast<DWORD>(lParam));
        return TRUE;
    case WM_CLOSE:
        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDCANCEL)
            return FALSE;
        // Cleared at once so that an encoder stops after its current chunk.
        waitDialog = nullptr;
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    case WM_EXPORT_FINISHED:
        EndDialog(dialog, ExportFinished);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR ShowWaitDialog(ExportMode mode)
{
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_ANIMATE_CLASS;
    InitCommonControlsEx(&controls);
    const INT_PTR result = DialogBoxParamW(appInstance, MAKEINTRESOURCEW(IDD_WAIT), speechWindow, WaitDialogProc, mode);
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

ISpStream* CreateFileStream()
{
    WAVEFORMATEX* format = NewExportFormat();
    if (!format)
        return nullptr;
    ISpStream* stream = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_SpStream, nullptr, CLSCTX_ALL, IID_ISpStream, reinterpret_cast<void**>(&stream)))
        && FAILED(stream->BindToFile(ExportFileName, SPFM_CREATE_ALWAYS, &WaveFormatExFormatId, format, AllFileEvents))) {
        stream->Release();
        stream = nullptr;
    }
    CoTaskMemFree(format);
    return stream;
}

void RestoreOutput(ISpStream* fileStream, ISpStreamFormat* savedOutput)
{
    // The voice still holds the file stream until its output changes; only then is
    // the file closed.
    fileStream->Release();
    voiceEngine->SetOutput(savedOutput, FALSE);
    if (savedOutput)
        savedOutput->Release();
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

// The wait dialog's handle is cleared before every rendering or encoding starts, and
// by ShowWaitDialog when the dialog has returned.
void ExportWav()
{
    waitDialog = nullptr;
    if (!RenderToWav())
        ShowExportWarning(IDS_FILE_SAVE_FAILED);
}

void ExportMp3()
{
    SetLastCharacter(L'_');
    waitDialog = nullptr;
    if (!RenderToWav()) {
        ShowExportWarning(IDS_FILE_SAVE_FAILED);
        return;
    }
    waitDialog = nullptr;
    // After a cancel the worker reports and cleans up itself.
    if (ShowWaitDialog(EncodeMp3) != IDCANCEL) {
        DeleteExportFile(L'_');
        SetLastCharacter(L'3');
    }
}

} // namespace

HWND CurrentWaitDialog()
{
    // Written by the user-interface thread while a worker polls it.
    return *static_cast<HWND volatile*>(&waitDialog);
}

int RenderToWav()
{
    ISpStreamFormat* savedOutput = nullptr;
    if (FAILED(voiceEngine->GetOutputStream(&savedOutput)))
        return 0;
    ISpStream* fileStream = CreateFileStream();
    if (!fileStream) {
        if (savedOutput)
            savedOutput->Release();
        return 0;
    }
    if (FAILED(voiceEngine->SetOutput(fileStream, TRUE))) {
        RestoreOutput(fileStream, savedOutput);
        return 0;
    }
    voiceEngine->SetRate(AppSettings.rate);
    if (FAILED(voiceEngine->Speak(speechText, SpeakTextFlags, nullptr))) {
        RestoreOutput(fileStream, savedOutput);
        return 0;
    }
    if (ShowWaitDialog(WaitForRendering) == IDCANCEL) {
        voiceEngine->Speak(nullptr, SPF_PURGEBEFORESPEAK, nullptr);
        RestoreOutput(fileStream, savedOutput);
        DeleteFileW(ExportFileName);
        return 0;
    }
    RestoreOutput(fileStream, savedOutput);
    return 1;
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
