#pragma once
// The record the program keeps of what its player played when CLIPVOCE_PLAYED_AUDIO names
// a file: there is no audio device under Wine to listen at.
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>
#include "espeak_reference.h"

struct PlayedNote {
    std::string what;     // start, word, pause, resume
    uint64_t voiceFrame;  // in the voice's audio
    uint64_t outputFrame; // in the played audio
    double ms;            // NowMs's clock
};

struct PlayedAudio {
    PcmAudio audio;
    std::vector<PlayedNote> notes;

    // The notes since the output last started afresh, starting with its "start"; what was
    // played since then in audio.
    PlayedAudio LastReading() const;
    std::vector<PlayedNote> Notes(const std::string& what) const;
};

PlayedAudio ReadPlayedAudio(const std::wstring& path);
// Zero crossings a second over the windows that VoicedWindows finds voiced.
double VoicedCrossingRate(const PcmAudio& audio);
