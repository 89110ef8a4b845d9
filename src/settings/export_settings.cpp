#include "settings/export_settings.h"
#include <iterator>

namespace {

const wchar_t* const TimedTextKeys[] = {L"none", L"srt", L"vtt", L"lrc"};
static_assert(std::size(TimedTextKeys) == std::size(TimedTextFormats));

} // namespace

const wchar_t* TimedTextKey(int format)
{
    for (size_t i = 0; i < std::size(TimedTextFormats); ++i)
        if (TimedTextFormats[i] == format)
            return TimedTextKeys[i];
    return TimedTextKeys[0];
}
