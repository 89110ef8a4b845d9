#include "pace.h"
#include <windows.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cwchar>

namespace {

constexpr unsigned kDefaultWordsPerMinute = 180;
constexpr unsigned kMaxWordsPerMinute = 1000000;
// eSpeak NG's own range of speaking rates (it stretches beyond 450 with its speed-up).
constexpr double kMinHelperWordsPerMinute = 80;
constexpr double kMaxHelperWordsPerMinute = 900;

// Every ten steps of rate make a word about three times shorter or longer.
double RateFactor(long rate)
{
    return std::pow(3.0, static_cast<double>(rate) / 10.0);
}

} // namespace

// Tests and the run script set the pace through the environment so that speech takes
// a predictable, short time.
unsigned WordsPerMinuteFromEnvironment()
{
    wchar_t text[32];
    const DWORD n = GetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", text, 32);
    if (n == 0 || n >= 32)
        return kDefaultWordsPerMinute;
    wchar_t* end = nullptr;
    const unsigned long value = wcstoul(text, &end, 10);
    if (*end != L'\0' || value == 0 || value > kMaxWordsPerMinute)
        return kDefaultWordsPerMinute;
    return static_cast<unsigned>(value);
}

double WordSeconds(unsigned wordsPerMinute, long rate)
{
    return 60.0 / wordsPerMinute / RateFactor(rate);
}

// Rate 0 is the voice's own pace; -10 and 10 are a third and three times of it, as far
// as eSpeak NG goes, and the steps between divide the way there evenly (geometrically),
// so that every step speaks at a pace of its own.
uint32_t HelperWordsPerMinute(unsigned wordsPerMinute, long rate)
{
    const double pace = std::clamp(static_cast<double>(wordsPerMinute), kMinHelperWordsPerMinute,
                                   kMaxHelperWordsPerMinute);
    const double end = rate < 0 ? std::max(kMinHelperWordsPerMinute, pace / 3.0)
                                : std::min(kMaxHelperWordsPerMinute, pace * 3.0);
    const double steps = static_cast<double>(std::min(std::labs(rate), 10L)) / 10.0;
    return static_cast<uint32_t>(std::lround(pace * std::pow(end / pace, steps)));
}
