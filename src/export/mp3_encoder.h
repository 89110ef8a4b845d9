#pragma once
// The MP3 encoder: the user's lame_enc.dll (its BladeEnc-style interface), loaded at
// run time from `encoderFolder` or, without one there, from beside the program. The
// program has no MP3 code of its own.
#include <windows.h>
#include <atomic>
#include <cstddef>
#include <string>


// The encoder library to use: the file that `encoderFolder` names when it exists, else
// lame_enc.dll in the program's own folder when that exists; empty when neither does.
// `encoderFolder` itself is left as the user set it.
std::wstring EncoderLibraryPath();
// The same choice for a configured path and a program folder.
std::wstring ChooseEncoderLibrary(const std::wstring& configured, const std::wstring& programFolder);

// "major.minor" of the library's engine; empty when the library does not load or does
// not report a version.
std::wstring QueryEncoderVersion();

// Where an encoding reports its progress and learns that it is no longer wanted.
struct EncodingWatch {
    // Receives progressMessage with the share done in hundredths of a percent (wParam);
    // null for none. Posted, never sent: the encoder never waits for the window's thread.
    HWND progressWindow = nullptr;
    UINT progressMessage = 0;
    // Set by another thread; the encoding stops after its current chunk.
    const std::atomic<bool>* cancelled = nullptr;
};

// Encodes the 48 kHz 16-bit stereo WAV at wavPath into the MP3 file at mp3Path. 1 when
// the MP3 file is complete and safely closed; 0 on any failure or when cancelled. Deletes
// nothing: what is left on failure is the caller's to remove.
int Mp3Encode(const wchar_t* wavPath, const wchar_t* mp3Path, const EncodingWatch& watch);

// The progress text the wait dialog shows for a share in hundredths of a percent.
void FormatEncodingProgress(unsigned hundredths, char* text, size_t size);
