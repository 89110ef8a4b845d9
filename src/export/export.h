#pragma once
// Audio export: a text rendered by the voice into a WAV file, or encoded from such a
// file into MP3, behind the modal wait dialog.
#include <windows.h>
#include <sapi.h>
#include <string>
#include <vector>
#include "platform/com_ptr.h"
#include "voice/voice_runs.h"

// What the wait dialog returns when the worker, not the user, closed it.
constexpr INT_PTR ExportFinished = 7;

// The Export... command for a text read in parts (SpokenPart), each with its own voice
// (null: the system's default one), as the reading reads it; the timed text the settings
// choose is written beside the recording, its cues the shown text's sentences.
std::wstring ExportSpeech(HWND owner, SpokenWhole whole);

// The Export... command: asks for a file name and writes the file. owner owns the save
// dialog, the wait dialog and every warning; text is what the voice speaks (null when no
// text was ever prepared: the voice refuses it and the export fails like any other);
// readingVoice, when there is one, lends its voice so that the file sounds like the
// reading. Returns the path of the file written, empty when none was.
std::wstring ExportSpeech(HWND owner, const wchar_t* text, ISpVoice* readingVoice);

// Renders the parts, each with its voice, into path as RenderToWav below does.
int RenderToWav(HWND owner, std::vector<SpokenPart> parts, const std::wstring& path);

// Renders text into path as 48 kHz 16-bit stereo PCM, at the speed the settings choose.
// 1 when the file was written completely, 0 on failure or when the user cancelled (the
// file is then deleted). Blocks in the wait dialog, which owner owns.
int RenderToWav(HWND owner, const wchar_t* text, ISpVoice* readingVoice, const std::wstring& path);

// True while an export's wait dialog is open and the user has not cancelled it. Any
// thread may ask.
bool ExportInProgress();

// A voice of its own with the reading voice's token (when there is one) and the current
// rate and volume, for what is said beside the reading: an export, a sample. Its events go nowhere:
// the reading view shows what the user hears, and the reading voice goes on, or stays
// paused, as it was. Empty when no voice could be made.
ComPtr<ISpVoice> CreateVoiceLike(ISpVoice* readingVoice);
