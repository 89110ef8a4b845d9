#pragma once
// The MP3 encoder: the user's lame_enc.dll (its BladeEnc-style interface), loaded at
// run time from `lamedir`. The program has no MP3 code of its own.
#include "app/app_state.h"

// "major.minor" of the library's engine after a successful QueryEncoderVersion.
extern wchar_t encoderVersionText[CaptionBufferLength];

// 1 when the library loads and reports its version (into encoderVersionText), else 0.
int QueryEncoderVersion();

// Encodes the temporary WAV (ExportFileName ending in '_') into the MP3 file (ending
// in '3'), showing the progress in the wait dialog. 1 when the MP3 file is complete;
// 0 on failure, or when the wait dialog has gone (the user cancelled).
int Mp3Encode();
