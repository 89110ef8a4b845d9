#pragma once
// The object token of the stand-in voice: what GetVoice hands out. Its default value
// is the voice's display name, as a platform voice token's is.
#include <windows.h>
#include <sapi.h>

extern const wchar_t kVoiceDisplayName[];

// A new token object (one reference).
ISpObjectToken* NewVoiceToken();
