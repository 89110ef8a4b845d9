// Start-up, single instance and the message loop.
#include "app/single_instance.h"
#include "app/speech_window.h"
#include "app/startup.h"
#include "hearing/hearing_job.h"
#include "ocr/image_reader_process.h"
#include "view/text_view.h"
#include "voice/voice_engine.h"
#include "settings/program_info.h"
#include "settings/settings_file.h"
#include "pronunciation/pronunciation_store.h"
#include "platform/log.h"
#include "platform/scoped_handle.h"
#include "platform/ui_text.h"
#include "res/resource.h"
#include <commctrl.h>
#include <objbase.h>
#include <string_view>

namespace {

// The program could not start, and told the user why.
constexpr int ExitToldWhy = 2;

bool IsRestart(const wchar_t* commandLine)
{
    return wcscmp(commandLine, L"/r") == 0;
}

// Without a voice the program has nothing to offer; it says why rather than vanish.
void TellNoVoice(HRESULT reason)
{
    LogFailure(L"Creating the speech voice", static_cast<DWORD>(reason));
    ShowMessage(nullptr, IDS_WARNING, FillPattern(LoadText(IDS_NO_VOICE), SystemErrorText(static_cast<DWORD>(reason))),
                MB_OK | MB_ICONERROR);
}

// A start-up step without which there is no program; the user learns which reason.
void TellCannotStart(const wchar_t* call, DWORD reason)
{
    LogFailure(call, reason);
    ShowMessage(nullptr, IDS_WARNING, FillPattern(LoadText(IDS_CANNOT_START), SystemErrorText(reason)),
                MB_OK | MB_ICONERROR);
}

void StartLogBesideSettings()
{
    StartLog(LogFilePath());
    LogLine(LoadText(IDS_APP_NAME) + L" " + ProgramInfo.versionText + L" starts");
}

int RunMessageLoop(HACCEL accelerators)
{
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!TranslateAcceleratorW(message.hwnd, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int showCommand)
{
    // Started by the program itself to read the text of a copied image: nothing else.
    if (std::wstring_view(commandLine) == ImageReaderArgument)
        return RunImageReader();
    const HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDA_ACCELERATORS));

    if (ProgramInfo.osVersion.dwMajorVersion < 5)
        return 0;

    const KernelHandle instanceMutex = IsRestart(commandLine) ? WaitForPreviousCopy() : ClaimSingleInstance();
    if (!instanceMutex && !IsRestart(commandLine))
        return 0;

    LoadSettings(LoadText(IDS_APP_NAME));
    StartLogBesideSettings();
    RegisterTextViewClass();
    InitCommonControls();
    if (const HRESULT com = CoInitialize(nullptr); FAILED(com)) {
        TellCannotStart(L"CoInitialize", static_cast<DWORD>(com));
        return ExitToldWhy;
    }
    if (!RegisterSpeechWindowClass()) {
        TellCannotStart(L"RegisterClassExW", GetLastError());
        CoUninitialize();
        return ExitToldWhy;
    }
    SpeechWindowState state;
    LoadPronunciations(state.pronunciations);
    if (!CreateSpeechWindow(state)) {
        TellCannotStart(L"CreateWindowExW", GetLastError());
        CoUninitialize();
        return ExitToldWhy;
    }
    ComPtr<ISpVoice> voice;
    if (const HRESULT created = CreateVoiceEngine(state.window, voice); FAILED(created)) {
        // Told before the window goes: its end queues the quit, which would close the box.
        TellNoVoice(created);
        DestroyWindow(state.window);
        CoUninitialize();
        return ExitToldWhy;
    }
    LogLine(L"Voice: " + VoiceName(voice.Get()));
    state.reader.UseVoice(voice);
    // Without the program's player the voice speaks to its device as it always could;
    // only the speed and the timing of voices without word events are lost.
    if (std::shared_ptr<AudioPlayer> player; SUCCEEDED(PlayThroughProgram(voice.Get(), state.window, WM_VOICE_HEARD, player)))
        state.reader.UsePlayer(std::move(player));
    if (!SetUpSpeechWindow(state, showCommand)) {
        TellCannotStart(L"SetTimer", GetLastError());
        DestroyWindow(state.window);
        CoUninitialize();
        return ExitToldWhy;
    }

    const int exitCode = RunMessageLoop(accelerators);
    TearDownSpeechWindow(state);
    HearingJob::LetEnd(1000);
    CoUninitialize();
    return exitCode;
}
