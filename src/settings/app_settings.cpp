#include "settings/app_settings.h"

AppSettingsRecord AppSettings;
LOGFONTW logFont = FirstRunLogFont();
int frameHeightDelta = -1;
std::map<int, std::wstring> Mp3BitRates;

LOGFONTW FirstRunLogFont()
{
    LOGFONTW lf{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    lstrcpynW(lf.lfFaceName, L"Courier New", LF_FACESIZE);
    lf.lfHeight = -13;
    lf.lfWeight = 700;
    return lf;
}

POINT FirstRunPosition(const RECT& workArea)
{
    const AppSettingsRecord firstRun;
    return POINT{workArea.right - firstRun.width - workArea.left,
                 workArea.bottom - firstRun.height - workArea.top};
}

void FillMp3BitRates()
{
    Mp3BitRates.clear();
    for (int rate : {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320})
        Mp3BitRates[rate] = std::to_wstring(rate);
}
