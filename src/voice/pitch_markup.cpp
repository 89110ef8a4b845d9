#include "voice/pitch_markup.h"
#include <algorithm>

SpokenText PitchMarkup(const std::wstring& text, int pitch)
{
    SpokenTextBuilder markup(text);
    markup.Change(0, 0, L"<pitch absmiddle=\"" + std::to_wstring(std::clamp(pitch, MinPitch, MaxPitch)) + L"\">");
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t* reference = text[i] == L'&' ? L"&amp;" : text[i] == L'<' ? L"&lt;" : text[i] == L'>' ? L"&gt;" : nullptr;
        if (reference)
            markup.Change(static_cast<int>(i), static_cast<int>(i) + 1, reference);
    }
    const int end = static_cast<int>(text.size());
    markup.Change(end, end, L"</pitch>");
    return markup.Finish();
}
