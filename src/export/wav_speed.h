#pragma once
// The rendered WAV file played at another speed, its pitch kept: the export's speed
// setting applied to what the voice rendered at its own pace.
#include <string>

// Stretches the PCM of a RIFF/WAVE file held in bytes to speed (1: as it is), keeping
// every other chunk. False, with bytes unchanged, for a file that is not 16-bit PCM or
// whose chunks do not add up, or when the stretching could not be done.
bool ChangeWaveSpeed(std::string& bytes, double speed);

// The same for the file at path, which is replaced only by a complete new one. False,
// logged, when it could not be read, changed or written.
bool ChangeWavFileSpeed(const std::wstring& path, double speed);
