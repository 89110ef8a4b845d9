#pragma once
// The VoiceEngine: the platform's speech voice, reached only through ISpVoice so that
// any registered voice object serves (the platform's, or a stand-in).
#include <windows.h>
#include <sapi.h>
#include <string>
#include "platform/com_ptr.h"
#include <memory>

class AudioPlayer;

// How every text is handed to the voice: in the background, and always as plain text.
// Without SPF_IS_NOT_XML the voice takes a text that starts with '<' as speech markup,
// so copied HTML or code would lose its tags or not be read at all.
constexpr DWORD SpeakTextFlags = SPF_ASYNC | SPF_IS_NOT_XML;
// A text the program wrapped in speech markup itself (the pitch), its own characters
// written as references.
constexpr DWORD SpeakMarkupFlags = SPF_ASYNC | SPF_IS_XML;

// Creates the voice and has it announce every text-to-speech event to the window with
// WM_VOICE_EVENT. S_OK, or the platform's reason why no usable voice could be had; a voice
// that cannot report its events is no use, as nothing would follow the reading.
HRESULT CreateVoiceEngine(HWND notifyWindow, ComPtr<ISpVoice>& voice);

// The display name of the voice in use; empty when there is none or it cannot tell.
std::wstring VoiceName(ISpVoice* voice);

// Has the voice render into the program's own player rather than speak to the device,
// so that the program can stretch the audio and time the highlight by what is heard. The
// player posts message to window as marks are heard. Fails (and the voice goes on
// speaking to its device) when the voice refuses the player's stream.
// With CLIPVOCE_PLAYED_AUDIO naming a file, what is played is recorded there (played_record.h).
HRESULT PlayThroughProgram(ISpVoice* voice, HWND window, UINT message, std::shared_ptr<AudioPlayer>& player);
