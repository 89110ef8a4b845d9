#pragma once
// The program's own player of what the voice says. The voice renders into it, faster
// than real time, through the audio sink; a thread of its own stretches the audio to the
// chosen speed, applies the volume and plays it. What the voice reported at an audio
// offset (a word, a sentence, the end of an utterance) is held until the listener hears
// that offset, then handed back to the window, so that the highlight follows the ear.
//
// Offsets are bytes of the voice's format counted from the first byte written, as the
// voice counts them in its events. One mutex guards everything; the voice's thread waits
// in Write only while a full lead of audio is ahead of the ear.
#include <windows.h>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>
#include "voice/audio_output.h"
#include "voice/played_record.h"
#include "voice/time_stretch.h"

// What the voice reported, kept until it is heard.
struct VoiceMark {
    int id;            // SPEVENTENUM
    ULONG stream;
    WPARAM wParam;
    LPARAM lParam;
    uint64_t offset;   // where in the voice's audio
};

class AudioPlayer {
public:
    // The voice writes 16-bit frames of this rate and channel count; reached marks are
    // announced by posting message to window.
    AudioPlayer(uint32_t sampleRate, uint16_t channels, HWND window, UINT message);
    // Ends the thread; nothing is posted after it.
    ~AudioPlayer();
    AudioPlayer(const AudioPlayer&) = delete;
    AudioPlayer& operator=(const AudioPlayer&) = delete;

    // Starts the thread, which first opens the output with open: finding out that there
    // is no device can take the platform most of a second, which the program's start
    // does not wait for. False when the thread could not start.
    using OutputOpener = std::function<std::unique_ptr<AudioOutput>()>;
    bool Start(OutputOpener open);
    uint32_t SampleRate() const { return sampleRate_; }
    uint16_t Channels() const { return channels_; }

    // The voice's thread: audio that follows what was written before. Waits while the
    // lead is full, unless what is written is being dropped.
    void Write(const void* data, size_t bytes);
    uint64_t Written();

    // The window's thread.
    void Mark(const VoiceMark& mark);
    // The marks heard by now, in the order of their offsets (equal ones as marked).
    std::vector<VoiceMark> TakeHeard();
    void Pause();
    void Resume();
    // Silences at once and drops the audio and the word and sentence marks held; until
    // Keep, what is written counts as heard as soon as it comes.
    void Drop();
    void Keep();
    void SetSpeed(double speed);
    void SetVolume(int percent);
    // Where the listener is in the voice's audio.
    uint64_t HeardOffset();
    // Tests and the benchmark: when the first frame of the output was queued since the
    // last Drop (0: not yet), on GetTickCount64's scale in milliseconds.
    uint64_t FirstSoundTick();
    // Tests and benchmarks: keeps a record of what is played (see played_record.h).
    bool RecordTo(const std::wstring& path);

private:
    // A piece of output and the input it stands for, to map what is heard back to it.
    struct Piece {
        uint64_t inputStart, inputEnd;     // bytes of the voice's audio
        uint64_t outputStart, outputEnd;   // frames since the output was last reset
    };

    void Run(OutputOpener open);
    // Moves audio to the output until it holds the lead it needs; false when nothing moved.
    bool Feed();
    void Send(std::vector<int16_t>& frames, uint64_t inputEnd);
    void ApplyVolume(std::vector<int16_t>& frames);
    void Announce();
    void Note(const char* what, uint64_t voiceOffset);
    uint64_t HeardLocked();
    size_t HeardMarks(uint64_t heard) const;

    const uint32_t sampleRate_;
    const uint16_t channels_;
    const uint16_t blockAlign_;
    const HWND window_;
    const UINT message_;

    std::mutex mu_;
    std::condition_variable work_;   // the thread: input, a command or the end
    std::condition_variable room_;   // the writer: the ear has moved on
    std::thread thread_;
    bool shutdown_ = false;
    std::unique_ptr<AudioOutput> output_;
    TimeStretch stretch_;
    bool stretching_ = false;
    double speed_ = 1.0;
    double gain_ = 1.0, targetGain_ = 1.0;
    bool paused_ = false;
    bool dropping_ = false;

    std::vector<uint8_t> input_;     // written and not yet fed, from inputRead_
    size_t inputRead_ = 0;
    uint64_t written_ = 0;           // every byte the voice wrote
    uint64_t fed_ = 0;               // bytes handed to the stretcher or the output
    double represented_ = 0;         // bytes the output sent so far stands for
    uint64_t sentThrough_ = 0;       // the input end of the last piece sent
    uint64_t heardFloor_ = 0;        // everything before it counts as heard (a drop)
    std::deque<Piece> pieces_;
    std::vector<int16_t> samples_;
    std::vector<int16_t> stretched_;

    std::deque<VoiceMark> marks_;
    bool announced_ = false;
    uint64_t firstSoundTick_ = 0;

    std::unique_ptr<PlayedRecord> record_;
    bool recordStarted_ = false;    // since the output was last reset
    uint64_t recordBase_ = 0;       // the record's frame of the output's frame 0
};
