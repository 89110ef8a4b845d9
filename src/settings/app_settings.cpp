#include "settings/app_settings.h"

AppSettingsRecord AppSettings;

LOGFONTW FirstRunLogFont()
{
    LOGFONTW lf{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    lstrcpynW(lf.lfFaceName, L"Courier New", LF_FACESIZE);
    lf.lfHeight = -13;
    lf.lfWeight = 700;
    return lf;
}

LOGFONTW TextLogFont(const AppSettingsRecord& settings)
{
    LOGFONTW lf = FirstRunLogFont();
    lf.lfHeight = settings.fontHeightPixels;
    lf.lfCharSet = static_cast<BYTE>(settings.fontCharset & 0xFF);
    lstrcpynW(lf.lfFaceName, settings.fontFace, LF_FACESIZE);
    lf.lfWeight = settings.bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = settings.italic ? 255 : 0;
    return lf;
}

void SetTextFont(AppSettingsRecord& settings, const LOGFONTW& font)
{
    settings.fontHeightPixels = font.lfHeight;
    settings.fontCharset = font.lfCharSet;
    lstrcpynW(settings.fontFace, font.lfFaceName, FaceNameLength);
    settings.bold = font.lfWeight > FW_NORMAL;
    settings.italic = font.lfItalic != 0;
}

POINT FirstRunPosition(const RECT& workArea)
{
    const AppSettingsRecord firstRun;
    return POINT{workArea.right - firstRun.width - workArea.left,
                 workArea.bottom - firstRun.height - workArea.top};
}
