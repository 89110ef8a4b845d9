// The speech controller's side of the program's own player: what the voice reports as it
// renders waits in the player until it is heard, and steps go from what was heard.
#include "voice/speech_controller.h"
#include "platform/sapi_event.h"
#include "view/sentences.h"
#include "voice/audio_player.h"
#include <algorithm>
#include <cwctype>
#include <string_view>

namespace {

// The text the voice was given for an utterance, which its positions count in.
std::wstring_view GivenText(const std::shared_ptr<const SpokenText>& markup, const SpokenText& text, int offset, int end)
{
    if (markup)
        return markup->Text();
    return std::wstring_view(text.Text()).substr(static_cast<size_t>(offset), static_cast<size_t>(end - offset));
}

struct GivenWord {
    int position;
    int length;
};

// The words of given[from, to): runs of non-blank characters, outside markup tags.
std::vector<GivenWord> WordsOf(std::wstring_view given, int from, int to, bool markup)
{
    std::vector<GivenWord> words;
    to = std::min(to, static_cast<int>(given.size()));
    int at = std::max(from, 0);
    while (at < to) {
        if (markup && given[static_cast<size_t>(at)] == L'<') {
            while (at < to && given[static_cast<size_t>(at)] != L'>')
                ++at;
            ++at;
            continue;
        }
        if (std::iswspace(given[static_cast<size_t>(at)])) {
            ++at;
            continue;
        }
        const int start = at;
        while (at < to && !std::iswspace(given[static_cast<size_t>(at)]) && !(markup && given[static_cast<size_t>(at)] == L'<'))
            ++at;
        words.push_back({start, at - start});
    }
    return words;
}

} // namespace

void SpeechController::MarkRendered(const SPEVENT& event)
{
    const ULONG stream = event.ulStreamNum;
    const uint64_t offset = event.ullAudioStreamOffset;
    const bool live = std::find(queue_.liveStreams.begin(), queue_.liveStreams.end(), stream) != queue_.liveStreams.end();
    Utterance* utterance = live ? FindUtterance(stream) : nullptr;
    switch (event.eEventId) {
    case SPEI_START_INPUT_STREAM:
        if (utterance)
            utterance->rendered.start = offset;
        return;
    case SPEI_SENTENCE_BOUNDARY:
    case SPEI_WORD_BOUNDARY:
        // A purged utterance's words are not heard.
        if (!utterance)
            return;
        break;
    case SPEI_END_INPUT_STREAM:
        break;
    default:
        return;
    }
    if (utterance) {
        Utterance::Rendered& r = utterance->rendered;
        const bool sentenceEnds = event.eEventId != SPEI_WORD_BOUNDARY;
        if (sentenceEnds && r.sentenceOpen && !r.wordsInSentence) {
            const int from = static_cast<int>(r.sentencePos);
            MarkEstimatedWords(*utterance, from, from + static_cast<int>(r.sentenceLen), r.sentenceStart, offset);
        } else if (event.eEventId == SPEI_END_INPUT_STREAM && !r.sentenceOpen && !r.anyWord) {
            MarkEstimatedWords(*utterance, 0, std::numeric_limits<int>::max(), r.start, offset);
        }
        if (event.eEventId == SPEI_SENTENCE_BOUNDARY)
            r = {r.start, true, event.lParam, event.wParam, offset, false, r.anyWord};
        if (event.eEventId == SPEI_WORD_BOUNDARY)
            r.wordsInSentence = r.anyWord = true;
    }
    player_->Mark({event.eEventId, stream, event.wParam, event.lParam, offset});
}

// The words of the voice's given[from, to), heard in [start, end) of its audio, each at
// a time in proportion to the letters before it.
void SpeechController::MarkEstimatedWords(const Utterance& utterance, int from, int to, uint64_t start, uint64_t end)
{
    if (end <= start || !utterance.text)
        return;
    const std::wstring_view given = GivenText(utterance.markup, *utterance.text, utterance.offset, utterance.end);
    const std::vector<GivenWord> words = WordsOf(given, from, to, utterance.markup != nullptr);
    double total = 0;
    for (const GivenWord& w : words)
        total += w.length + 1;
    const uint64_t frame = static_cast<uint64_t>(player_->Channels()) * sizeof(int16_t);
    double before = 0;
    for (const GivenWord& w : words) {
        const uint64_t at = start + static_cast<uint64_t>(static_cast<double>(end - start) * before / total);
        player_->Mark({SPEI_WORD_BOUNDARY, utterance.stream, static_cast<WPARAM>(w.length), static_cast<LPARAM>(w.position),
                       at - at % frame});
        before += w.length + 1;
    }
}

void SpeechController::HandleHeardEvents()
{
    if (!playerPaused_)
        TakeHeardEvents();
}

void SpeechController::TakeHeardEvents()
{
    if (!player_)
        return;
    for (const VoiceMark& mark : player_->TakeHeard()) {
        switch (mark.id) {
        case SPEI_SENTENCE_BOUNDARY:
            if (Utterance* u = FindUtterance(mark.stream)) {
                u->heardSentencePos = mark.lParam;
                u->heardSentenceLen = mark.wParam;
            }
            break;
        case SPEI_WORD_BOUNDARY:
            OnWordHeard(mark);
            break;
        case SPEI_END_INPUT_STREAM:
            OnEndOfInput(mark.stream);
            break;
        default:
            break;
        }
        if (!player_)
            return;
    }
}

void SpeechController::OnWordHeard(const VoiceMark& mark)
{
    const auto live = std::find(queue_.liveStreams.begin(), queue_.liveStreams.end(), mark.stream);
    Utterance* utterance = FindUtterance(mark.stream);
    if (!utterance || live == queue_.liveStreams.end())
        return;
    const TextRange word = SpokenWord(*utterance, static_cast<ULONG>(mark.lParam), static_cast<ULONG>(mark.wParam));
    const TextRange told = SpokenWord(*utterance, static_cast<ULONG>(utterance->heardSentencePos),
                                      static_cast<ULONG>(utterance->heardSentenceLen));
    ReportWord(utterance, utterance->text, word, told);
}

// The voice has rendered past what is heard, so its own skip would land too far on:
// the reading starts anew at the sentence after, or before, the one heard.
void SpeechController::StepFromHeardWord(int direction)
{
    if (!spoken_)
        return;
    const wchar_t* text = spoken_->Text().c_str();
    const int size = static_cast<int>(spoken_->Text().size());
    const int at = std::clamp(heardPosition_, 0, size);
    int target = 0;
    if (direction > 0) {
        target = SentenceEndAfter(text, size, at);
        while (target < size && iswspace(text[target]))
            ++target;
        if (target >= size)
            return;
    } else {
        const int start = SentenceStartBefore(text, at);
        target = start > 0 ? SentenceStartBefore(text, start - 1) : 0;
    }
    if (PurgeVoice())
        StartSpeaking(target);
}

