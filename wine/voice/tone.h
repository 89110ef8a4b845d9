#pragma once
// The sound of the stand-in voice: for every word a short tone whose pitch is derived
// from the word, then silence. Deterministic, so rendered files can be compared.
#include <windows.h>
#include <mmreg.h>
#include <cstdint>
#include <string_view>
#include <vector>

// Part of a word's time that is tone; the rest is the silence before the next word.
constexpr double kToneShare = 0.75;

// Integer PCM of 8, 16, 24 or 32 bits or 32-bit float, 1 to 8 channels, with
// consistent block size and byte rate. A plain tag only (no extension).
bool IsRenderableFormat(const WAVEFORMATEX& format);

// The plain equivalent of a format that may be WAVE_FORMAT_EXTENSIBLE (whose
// extension must then follow it in memory); false when it cannot be rendered.
bool PlainRenderFormat(const WAVEFORMATEX& given, WAVEFORMATEX& plain);

// Writes one frame of the given plain format with the same value (-1..1) on every channel.
void PutFrame(const WAVEFORMATEX& format, double value, uint8_t* frame);

// Pitch of a word's tone, in Hz, between 220 and 880 in semitone steps.
double WordPitch(std::wstring_view word);

// Writes frames [first, first + count) of a word's sound lasting totalFrames into out
// (replacing its content) in the given plain format. Volume 0..100.
void RenderWordFrames(const WAVEFORMATEX& format, double pitch, unsigned volume,
                      uint64_t totalFrames, uint64_t first, uint32_t count,
                      std::vector<uint8_t>& out);
