#include "voice/audio_player.h"
#include "platform/log.h"
#include <sapi.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace {

// How much of the voice's audio may wait ahead of the ear. Rendering that far ahead
// lets a voice that tells only of sentences be timed a whole sentence at a time; it is
// a few megabytes at most.
constexpr uint64_t LeadSeconds = 60;
// How much the output holds ahead of the ear: enough to ride out a busy moment, little
// enough for a new speed or volume to be heard at once.
constexpr uint64_t OutputLeadMs = 60;
// The output is fed in pieces of this length.
constexpr uint64_t PieceMs = 10;
// A volume change glides over this time rather than click.
constexpr double GainGlideMs = 10;
// How often the ear's position is looked at while something is to be heard.
constexpr auto WatchPeriod = std::chrono::milliseconds(4);

// Word and sentence marks: what a drop forgets, and what is heard only with its sound.
bool IsDropped(const VoiceMark& mark)
{
    return mark.id == SPEI_WORD_BOUNDARY || mark.id == SPEI_SENTENCE_BOUNDARY;
}

} // namespace

AudioPlayer::AudioPlayer(uint32_t sampleRate, uint16_t channels, HWND window, UINT message)
    : sampleRate_(std::max<uint32_t>(sampleRate, 1)), channels_(std::max<uint16_t>(channels, 1)),
      blockAlign_(static_cast<uint16_t>(channels_ * sizeof(int16_t))), window_(window), message_(message)
{
}

AudioPlayer::~AudioPlayer()
{
    {
        std::lock_guard lock(mu_);
        shutdown_ = true;
    }
    work_.notify_all();
    room_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

bool AudioPlayer::Start(OutputOpener open)
{
    std::lock_guard lock(mu_);
    stretching_ = stretch_.Reset(static_cast<int>(sampleRate_), channels_);
    if (!stretching_)
        LogLine(L"The time stretcher could not start: speech plays at the voice's own speed");
    stretch_.SetSpeed(speed_);
    try {
        thread_ = std::thread([this, open = std::move(open)] { Run(open); });
    } catch (const std::system_error&) {
        LogLine(L"The player's thread could not start");
        return false;
    }
    return true;
}

void AudioPlayer::Write(const void* data, size_t bytes)
{
    std::unique_lock lock(mu_);
    const uint64_t lead = LeadSeconds * sampleRate_ * blockAlign_;
    room_.wait(lock, [&] { return shutdown_ || dropping_ || written_ - HeardLocked() < lead; });
    written_ += bytes;
    if (dropping_ || shutdown_) {
        heardFloor_ = fed_ = sentThrough_ = written_;
        represented_ = static_cast<double>(written_);
        return;
    }
    // What was fed is let go of before the buffer grows.
    if (inputRead_ > 0 && inputRead_ * 2 >= input_.size()) {
        input_.erase(input_.begin(), input_.begin() + static_cast<ptrdiff_t>(inputRead_));
        inputRead_ = 0;
    }
    const auto* first = static_cast<const uint8_t*>(data);
    input_.insert(input_.end(), first, first + bytes);
    work_.notify_one();
}

uint64_t AudioPlayer::Written()
{
    std::lock_guard lock(mu_);
    return written_;
}

void AudioPlayer::Mark(const VoiceMark& mark)
{
    std::lock_guard lock(mu_);
    auto at = marks_.end();
    while (at != marks_.begin() && std::prev(at)->offset > mark.offset)
        --at;
    marks_.insert(at, mark);
    work_.notify_one();
}

std::vector<VoiceMark> AudioPlayer::TakeHeard()
{
    std::lock_guard lock(mu_);
    const uint64_t heard = HeardLocked();
    std::vector<VoiceMark> taken;
    const size_t count = HeardMarks(heard);
    taken.assign(marks_.begin(), marks_.begin() + static_cast<ptrdiff_t>(count));
    for (const VoiceMark& mark : taken)
        if (mark.id == SPEI_WORD_BOUNDARY)
            Note("word", mark.offset);
        else if (mark.id == SPEI_SENTENCE_BOUNDARY)
            Note("sentence", mark.offset);
    marks_.erase(marks_.begin(), marks_.begin() + static_cast<ptrdiff_t>(count));
    announced_ = false;
    work_.notify_one();
    return taken;
}

void AudioPlayer::Pause()
{
    std::lock_guard lock(mu_);
    paused_ = true;
    if (output_)
        output_->Pause();
    Note("pause", HeardLocked());
}

void AudioPlayer::Resume()
{
    std::lock_guard lock(mu_);
    paused_ = false;
    // What was heard before the pause and left waiting is told of again.
    announced_ = false;
    if (output_)
        output_->Resume();
    Note("resume", HeardLocked());
    work_.notify_one();
}

void AudioPlayer::Drop()
{
    std::lock_guard lock(mu_);
    dropping_ = true;
    input_.clear();
    inputRead_ = 0;
    heardFloor_ = fed_ = sentThrough_ = written_;
    represented_ = static_cast<double>(written_);
    stretch_.Clear();
    if (output_)
        output_->Reset();
    pieces_.clear();
    std::erase_if(marks_, IsDropped);
    announced_ = false;
    firstSoundTick_ = 0;
    recordStarted_ = false;
    room_.notify_all();
    work_.notify_one();
}

void AudioPlayer::Keep()
{
    std::lock_guard lock(mu_);
    dropping_ = false;
}

void AudioPlayer::SetSpeed(double speed)
{
    std::lock_guard lock(mu_);
    speed_ = std::clamp(speed, 0.5, 4.0);
    stretch_.SetSpeed(speed_);
}

void AudioPlayer::SetVolume(int percent)
{
    std::lock_guard lock(mu_);
    targetGain_ = std::clamp(percent, 0, 100) / 100.0;
}

uint64_t AudioPlayer::HeardOffset()
{
    std::lock_guard lock(mu_);
    return HeardLocked();
}

uint64_t AudioPlayer::FirstSoundTick()
{
    std::lock_guard lock(mu_);
    return firstSoundTick_;
}

bool AudioPlayer::RecordTo(const std::wstring& path)
{
    auto record = std::make_unique<PlayedRecord>();
    if (!record->Open(path, sampleRate_, channels_))
        return false;
    std::lock_guard lock(mu_);
    record_ = std::move(record);
    recordStarted_ = false;
    return true;
}

void AudioPlayer::Run(OutputOpener open)
{
    std::unique_ptr<AudioOutput> output = open();
    std::unique_lock lock(mu_);
    output_ = std::move(output);
    if (paused_)
        output_->Pause();
    while (!shutdown_) {
        // Several pieces at once when the output has room for them.
        for (int piece = 0; piece < 16 && Feed(); ++piece) {
        }
        Announce();
        room_.notify_all();
        const bool idle = !output_ || (pieces_.empty() && inputRead_ == input_.size() && marks_.empty());
        if (idle)
            work_.wait(lock);
        else
            work_.wait_for(lock, WatchPeriod);
    }
    // The output lets go of COM on the thread that opened it, whichever thread lets go of
    // the player.
    output_.reset();
}

bool AudioPlayer::Feed()
{
    if (paused_ || !output_)
        return false;
    const uint64_t wanted = sampleRate_ * OutputLeadMs / 1000;
    const uint64_t ahead = output_->QueuedFrames() - output_->PlayedFrames();
    if (ahead >= wanted)
        return false;
    const size_t available = (input_.size() - inputRead_) / blockAlign_;
    if (available > 0) {
        const double speed = stretching_ ? speed_ : 1.0;
        const size_t pieceFrames = std::max<size_t>(1, static_cast<size_t>(sampleRate_ * PieceMs / 1000 * speed));
        const size_t frames = std::min(available, pieceFrames);
        samples_.resize(frames * channels_);
        std::memcpy(samples_.data(), input_.data() + inputRead_, frames * blockAlign_);
        inputRead_ += frames * blockAlign_;
        fed_ += frames * blockAlign_;
        if (!stretching_) {
            represented_ = static_cast<double>(fed_);
            Send(samples_, fed_);
            return true;
        }
        stretched_.clear();
        stretch_.Process(samples_.data(), frames, stretched_);
        const double stands = static_cast<double>(stretched_.size() / channels_) * blockAlign_ * speed;
        represented_ = std::min(represented_ + stands, static_cast<double>(fed_));
        Send(stretched_, static_cast<uint64_t>(represented_));
        return true;
    }
    // The voice has nothing more for now: what the stretcher holds goes out before the
    // output runs dry, so that the end of a reading is heard, and heard on time.
    if (stretching_ && represented_ < static_cast<double>(fed_) && ahead * 3 < wanted) {
        stretched_.clear();
        stretch_.Flush(stretched_);
        represented_ = static_cast<double>(fed_);
        Send(stretched_, fed_);
        return !stretched_.empty();
    }
    return false;
}

// Queues frames standing for the voice's audio up to inputEnd.
void AudioPlayer::Send(std::vector<int16_t>& frames, uint64_t inputEnd)
{
    const size_t count = frames.size() / channels_;
    // Without frames the input is heard with the next piece, or once all is heard.
    if (count == 0)
        return;
    ApplyVolume(frames);
    const uint64_t outputStart = output_->QueuedFrames();
    if (!output_->Queue(frames.data(), count))
        return;
    if (firstSoundTick_ == 0)
        firstSoundTick_ = GetTickCount64();
    if (record_) {
        if (!recordStarted_) {
            recordStarted_ = true;
            recordBase_ = record_->FramesWritten() - outputStart;
            record_->Note("start", sentThrough_ / blockAlign_, recordBase_);
        }
        record_->Frames(frames.data(), count, channels_);
    }
    pieces_.push_back({sentThrough_, std::max(sentThrough_, inputEnd), outputStart, outputStart + count});
    sentThrough_ = std::max(sentThrough_, inputEnd);
}

void AudioPlayer::ApplyVolume(std::vector<int16_t>& frames)
{
    if (gain_ == 1.0 && targetGain_ == 1.0)
        return;
    const double step = 1000.0 / (GainGlideMs * sampleRate_);
    for (size_t i = 0; i < frames.size(); i += channels_) {
        if (gain_ < targetGain_)
            gain_ = std::min(targetGain_, gain_ + step);
        else if (gain_ > targetGain_)
            gain_ = std::max(targetGain_, gain_ - step);
        for (size_t c = 0; c < channels_; ++c)
            frames[i + c] = static_cast<int16_t>(std::lround(frames[i + c] * gain_));
    }
}

void AudioPlayer::Announce()
{
    if (announced_ || marks_.empty() || HeardMarks(HeardLocked()) == 0)
        return;
    announced_ = PostMessageW(window_, message_, 0, 0) != FALSE;
}

void AudioPlayer::Note(const char* what, uint64_t voiceOffset)
{
    if (record_ && output_)
        record_->Note(what, voiceOffset / blockAlign_, recordBase_ + output_->PlayedFrames());
}

// How many marks from the front are heard: a word or sentence once the sound after it
// has begun to play, an end once everything before it has been heard, and with it the
// words that had no sound of their own.
size_t AudioPlayer::HeardMarks(uint64_t heard) const
{
    size_t count = 0;
    for (size_t i = 0; i < marks_.size() && marks_[i].offset <= heard; ++i)
        if (marks_[i].offset < heard || !IsDropped(marks_[i]))
            count = i + 1;
    return count;
}

uint64_t AudioPlayer::HeardLocked()
{
    if (!output_)
        return heardFloor_;
    const uint64_t played = output_->PlayedFrames();
    while (!pieces_.empty() && pieces_.front().outputEnd <= played) {
        heardFloor_ = std::max(heardFloor_, pieces_.front().inputEnd);
        pieces_.pop_front();
    }
    uint64_t heard = heardFloor_;
    if (!pieces_.empty() && played > pieces_.front().outputStart) {
        const Piece& p = pieces_.front();
        const double part = static_cast<double>(played - p.outputStart) / static_cast<double>(p.outputEnd - p.outputStart);
        heard = std::max(heard, p.inputStart + static_cast<uint64_t>(part * static_cast<double>(p.inputEnd - p.inputStart)));
    }
    // Input that never reached the output (nothing written after it yet, nothing held)
    // is heard as soon as everything before it is.
    if (pieces_.empty() && inputRead_ == input_.size() && represented_ >= static_cast<double>(fed_))
        heard = std::max(heard, fed_);
    return std::min(heard, written_);
}
