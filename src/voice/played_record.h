#pragma once
// A record of what the player played, for the tests and benchmarks that must hear the
// program under Wine, where no audio device opens: every frame sent to the output goes
// into one file, and what happened to the listener into a text file beside it, one line
// each, "<what> <voice frame> <output frame> <milliseconds>":
//   format  the sample rate and channels of both (16-bit samples, channels interleaved)
//   start   the voice frame the output's frame 0 stands for, after the output was reset;
//           output frames here count in the audio file, from its start
//   word, sentence   a mark handed to the window: where it is in the voice's audio,
//           and where the listener was in the output
//   pause, resume   where the listener is in the voice's audio and in the output
// Voice frames count from the first byte the voice wrote; milliseconds are on the
// performance counter's scale, which every process shares. Used under the player's lock.
#include <windows.h>
#include <cstdint>
#include <string>
#include "platform/scoped_handle.h"

class PlayedRecord {
public:
    // False when either file cannot be made; the reason is logged.
    bool Open(const std::wstring& audioPath, uint32_t sampleRate, uint16_t channels);
    void Frames(const int16_t* samples, size_t frames, uint16_t channels);
    void Note(const char* what, uint64_t voiceFrame, uint64_t outputFrame);
    uint64_t FramesWritten() const { return written_; }

private:
    FileHandle audio_;
    FileHandle notes_;
    uint64_t written_ = 0;
};
