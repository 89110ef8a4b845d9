#pragma once
// Audio export: the current SpeechText rendered by the voice into a WAV file, or
// encoded from such a file into MP3, behind the modal wait dialog.
#include <windows.h>

constexpr int ExportFileNameLength = 260;

// Full path of the file being written. For MP3 its last character switches between
// '3' (the MP3 file) and '_' (the temporary WAV rendered first).
extern wchar_t ExportFileName[ExportFileNameLength];

// What the wait dialog returns when the worker, not the user, closed it.
constexpr INT_PTR ExportFinished = 7;

// The Export... command: asks for a file name and writes the file.
void ExportSpeech();

// Renders SpeechText into ExportFileName as 48 kHz 16-bit stereo PCM. 1 when the file
// was written completely, 0 on failure or when the user cancelled (the file is then
// deleted). Blocks in the wait dialog.
int RenderToWav();

// The wait dialog's handle as another thread sees it now.
HWND CurrentWaitDialog();
