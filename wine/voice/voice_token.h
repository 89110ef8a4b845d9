#pragma once
// The object token of the stand-in voice: what GetVoice hands out. Its default value
// is the voice's display name, as a platform voice token's is.
#include <windows.h>
#include <sapi.h>

// The voice's name when it speaks tones, and when eSpeak NG speaks for it.
extern const wchar_t kVoiceDisplayName[];
extern const wchar_t kEspeakVoiceDisplayName[];

// A new token object (one reference) for a voice of that display name.
ISpObjectToken* NewVoiceToken(const wchar_t* displayName);
