#include "played_audio.h"
#include "file_bytes.h"
#include <cstring>
#include <sstream>

PlayedAudio ReadPlayedAudio(const std::wstring& path)
{
    PlayedAudio played;
    std::istringstream lines(ReadSharedBytes(path + L".txt"));
    PlayedNote note;
    while (lines >> note.what >> note.voiceFrame >> note.outputFrame >> note.ms) {
        if (note.what == "format") {
            played.audio.sampleRate = static_cast<DWORD>(note.voiceFrame);
            played.audio.channels = static_cast<WORD>(note.outputFrame);
        } else {
            played.notes.push_back(note);
        }
    }
    const std::string bytes = ReadSharedBytes(path);
    played.audio.samples.resize(bytes.size() / sizeof(int16_t));
    std::memcpy(played.audio.samples.data(), bytes.data(), played.audio.samples.size() * sizeof(int16_t));
    return played;
}

PlayedAudio PlayedAudio::LastReading() const
{
    PlayedAudio last;
    last.audio.sampleRate = audio.sampleRate;
    last.audio.channels = audio.channels;
    size_t from = notes.size();
    while (from > 0 && notes[from - 1].what != "start")
        --from;
    if (from == 0 || audio.channels == 0)
        return last;
    last.notes.assign(notes.begin() + static_cast<ptrdiff_t>(from - 1), notes.end());
    const size_t first = static_cast<size_t>(last.notes.front().outputFrame) * audio.channels;
    if (first < audio.samples.size())
        last.audio.samples.assign(audio.samples.begin() + static_cast<ptrdiff_t>(first), audio.samples.end());
    return last;
}

std::vector<PlayedNote> PlayedAudio::Notes(const std::string& what) const
{
    std::vector<PlayedNote> found;
    for (const PlayedNote& note : notes)
        if (note.what == what)
            found.push_back(note);
    return found;
}

double VoicedCrossingRate(const PcmAudio& audio)
{
    const std::vector<bool> voiced = VoicedWindows(audio);
    const size_t window = static_cast<size_t>(audio.sampleRate * kVoicedWindowSeconds);
    size_t crossings = 0, windows = 0;
    for (size_t w = 0; w < voiced.size(); ++w) {
        if (!voiced[w])
            continue;
        ++windows;
        for (size_t i = w * window + 1; i < (w + 1) * window; ++i)
            crossings += (audio.samples[i * audio.channels] < 0) != (audio.samples[(i - 1) * audio.channels] < 0);
    }
    return windows ? static_cast<double>(crossings) / (static_cast<double>(windows) * kVoicedWindowSeconds) : 0;
}
