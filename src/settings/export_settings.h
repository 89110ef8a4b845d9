#pragma once
// The export's choices in the settings file that older copies of the program do not know.
#include "settings/app_settings.h"

inline constexpr int TimedTextFormats[] = {NoTimedText, SubRipText, WebVttText, LrcText};

// "none", "srt", "vtt" or "lrc": the file's value, and the extension the file gets.
const wchar_t* TimedTextKey(int format);
