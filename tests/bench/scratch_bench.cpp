#include <windows.h>
#include <cstdio>
#include "in_process_app.h"
#include "app_driver.h"
#include "copy_watch.h"
#include "pump.h"
#include "settings/app_settings.h"
#include "speech/voice_engine.h"
int main()
{
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_SOUND", L"tones");
    InProcessApp app;
    ComPtr<ISpVoice> voice;
    CreateVoiceEngine(app.window(), voice);
    app.reader().UseVoice(voice);
    AppSettings.autoPlay = true;
    std::wstring text;
    while (text.size() < 5 * 512 * 1024) text += L"A sentence of the copied text.\r\n";
    double a = NowMs();
    app.reader().TakeCopy(text, false);
    fprintf(stderr, "takecopy sync %.1f\n", NowMs() - a);
    PumpUntil([&]{ return !app.reader().Loading() && app.view().CountedLines().complete; }, 10000);
    fprintf(stderr, "all %.1f\n", NowMs() - a);
    app.reader().UseVoice({});
    return 0;
}
