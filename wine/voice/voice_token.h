#pragma once
// The object tokens of the stand-in voice's voices: one per eSpeak NG language, kept in
// the registry where the platform keeps its voices, so that the program lists them as
// it lists any voice. A token's default value is the voice's display name and its
// Attributes key holds its Language, as a platform voice token's do; EspeakVoice names
// the eSpeak NG voice that speaks for it.
#include <windows.h>
#include <sapi.h>
#include <string>

// The voice's name when no voice is registered (the DLL is used without regsvr32).
extern const wchar_t kVoiceDisplayName[];

// Writes every voice's token into the registry (DllRegisterServer), or removes them.
HRESULT RegisterVoiceTokens();
void UnregisterVoiceTokens();

// A new token object (one reference) for the token of that id, read from the registry
// now; null when there is none.
ISpObjectToken* OpenVoiceToken(const std::wstring& id);
// The token of the voice that speaks unless told otherwise: the one the user made the
// default, or the first registered; a token of fixed data when none is registered.
ISpObjectToken* NewDefaultVoiceToken();
// The id of the default voice's token, as GetDefaultTokenId reports it; empty when no
// voice is registered.
std::wstring DefaultVoiceTokenId();

// The eSpeak NG voice that speaks for a token; English for a token that names none.
std::string EspeakVoiceOf(ISpObjectToken* token);

// Where a category keeps its tokens, as a registry key under its root; false when the
// id names no registry key the stand-in knows.
bool SplitRegistryPath(const std::wstring& id, HKEY& root, std::wstring& path);
