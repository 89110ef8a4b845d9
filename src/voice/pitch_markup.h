#pragma once
// The pitch the user chose, given to the voice the only way the platform offers: speech
// markup around the text. The voice then reports positions in the markup, which the
// spoken-text map leads back to the text.
#include <string>
#include "settings/app_settings.h"
#include "hearing/spoken_text.h"

// The text inside a <pitch absmiddle="pitch"> tag, its '&', '<' and '>' written as
// character references, with the map from every position of the markup to the text: a
// tag stands for no character, a reference for the character it replaces.
SpokenText PitchMarkup(const std::wstring& text, int pitch);
