#pragma once
// How fast the voice speaks: words per minute at rate 0, and what a rate makes of it.
#include <cstdint>

// The pace at rate 0: CLIPVOCE_VOICE_WPM when it holds a sensible number.
unsigned WordsPerMinuteFromEnvironment();
// The length of one tone word at this pace and rate (-10..10).
double WordSeconds(unsigned wordsPerMinute, long rate);
// The pace asked of the speech helper, within eSpeak NG's own range.
uint32_t HelperWordsPerMinute(unsigned wordsPerMinute, long rate);
