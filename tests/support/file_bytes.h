#pragma once
// Files as the bytes on disk, for byte-exact checks of what the program writes.
#include <string>

bool FileExists(const std::wstring& path);
// The folder name in the temporary folder, made when it is not there.
std::wstring TempFolder(const std::wstring& name);
// The file's bytes, or "<missing>" when it cannot be opened.
std::string ReadBytes(const std::wstring& path);
// The same for a file another process goes on writing (a log): it is read without
// keeping the writer out; empty when it is missing.
std::string ReadSharedBytes(const std::wstring& path);
// Creates or replaces the file; false when it could not be written whole.
bool WriteBytes(const std::wstring& path, const std::string& bytes);
// A 48 kHz 16-bit stereo PCM WAV of a changing tone, as the export renders them.
bool WriteToneWav(const std::wstring& path, unsigned seconds);
