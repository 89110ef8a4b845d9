// Timed text from what a voice told of a rendering: the cues' times and texts, and the
// three file formats.
#include <gtest/gtest.h>
#include "export/heard_timing.h"
#include "export/timed_text.h"
#include "voice/pitch_markup.h"

namespace {

// 1000 bytes a second, so that offsets read as milliseconds.
constexpr double BytesPerSecond = 1000;

RenderedEvent Told(SPEVENTENUM id, ULONG stream, LPARAM position, ULONGLONG offset)
{
    return {id, stream, 0, position, offset};
}

TEST(TimedText, WordsAreTimedByTheVoiceOrByTheirLettersAndLeadBackToTheShownText)
{
    // The view shows a citation the voice skips; the second part is given as pitch
    // markup, and its voice counts offsets from zero and tells of no words.
    const std::wstring shown = L"One two [1] three. Four five.";
    SpokenTextBuilder builder(shown);
    builder.Change(8, 12, L"");
    SpokenWhole whole{{}, std::make_shared<const SpokenText>(builder.Finish()), std::make_shared<const std::wstring>(shown)};
    const std::wstring& spoken = whole.spoken->Text();   // "One two three. Four five."
    const int second = static_cast<int>(spoken.find(L"Four"));
    whole.parts.push_back({spoken.substr(0, static_cast<size_t>(second)), {}, false, 0});
    SpokenPart pitched{L"", {}, true, second};
    pitched.markupMap = std::make_shared<const SpokenText>(PitchMarkup(spoken.substr(static_cast<size_t>(second)), 5));
    pitched.text = pitched.markupMap->Text();
    whole.parts.push_back(pitched);
    const LPARAM markupFive = static_cast<LPARAM>(pitched.text.find(L"five"));

    RenderedTiming timing;
    timing.streams = {1, 2};
    timing.events = {Told(SPEI_START_INPUT_STREAM, 1, 0, 0), Told(SPEI_SENTENCE_BOUNDARY, 1, 0, 0),
                     Told(SPEI_WORD_BOUNDARY, 1, 0, 100), Told(SPEI_WORD_BOUNDARY, 1, 4, 500),
                     Told(SPEI_WORD_BOUNDARY, 1, 8, 900), Told(SPEI_END_INPUT_STREAM, 1, 0, 1500),
                     Told(SPEI_START_INPUT_STREAM, 2, 0, 0), Told(SPEI_SENTENCE_BOUNDARY, 2, markupFive, 400),
                     Told(SPEI_END_INPUT_STREAM, 2, 0, 800)};
    const HeardWords heard = WordsHeard(whole, timing, BytesPerSecond, 2.0);
    ASSERT_EQ(heard.words.size(), 5u);
    const std::vector<int> starts = {0, 4, 12, 19, 24};
    const std::vector<long long> ms = {50, 250, 450, 750, 950};   // at twice the speed
    for (size_t i = 0; i < starts.size(); ++i) {
        EXPECT_EQ(heard.words[i].word.start, starts[i]) << i;
        EXPECT_EQ(heard.words[i].ms, ms[i]) << i;
    }
    EXPECT_EQ(heard.words[2].sentence.end, 18);
    EXPECT_EQ(heard.endMs, 1150);

    const std::vector<Cue> cues = MakeCues(heard.words, shown, whole.spoken->SkippedRanges(), heard.endMs);
    ASSERT_EQ(cues.size(), 2u);
    EXPECT_EQ(cues[0].text, L"One two three.");
    EXPECT_EQ(cues[0].words.back().at, 8u);
    EXPECT_EQ(cues[0].endMs, cues[1].startMs);
    EXPECT_EQ(cues[1].text, L"Four five.");
    EXPECT_EQ(cues[1].endMs, 1150);
}

TEST(TimedText, ALongSentenceIsSplitAtWordsByItsLengthAndByItsTime)
{
    std::wstring shown;
    std::wstring expected;
    std::vector<TimedWord> words;
    for (int i = 0; i < 30; ++i) {
        const std::wstring word = L"word" + std::to_wstring(i) + (i == 29 ? L"." : L"");
        const int start = static_cast<int>(shown.size());
        shown += word + L"  \r\n";
        expected += (i ? L" " : L"") + word;
        // The last words come slowly: the time splits them, not the length.
        const long long ms = i < 20 ? i * 300LL : 6000 + (i - 20) * 2000LL;
        words.push_back({{start, start + static_cast<int>(word.size())}, {0, 0}, ms});
    }
    for (TimedWord& w : words)
        w.sentence = {0, static_cast<int>(shown.size())};
    const std::vector<Cue> cues = MakeCues(words, shown, {}, 30000);
    std::wstring joined;
    for (const Cue& cue : cues) {
        EXPECT_LE(cue.text.size(), static_cast<size_t>(CueCharacters));
        EXPECT_LE(cue.words.back().ms - cue.startMs, CueMs);
        joined += (joined.empty() ? L"" : L" ") + cue.text;
    }
    // Two parts by their length, three by their time.
    EXPECT_EQ(cues.size(), 5u);
    EXPECT_EQ(joined, expected);
}

TEST(TimedText, FilesAreWrittenInTheirFormats)
{
    Cue first{0, 1250, L"A <b> & c", {{0, 0}, {600, 2}, {1250, 8}}};
    Cue second{1250, 61234, L"Dé.", {{1250, 0}}};
    const std::vector<Cue> cues = {first, second};

    const std::string srt = TimedTextFile(SubRipText, cues);
    EXPECT_EQ(srt, "\xEF\xBB\xBF" "1\r\n00:00:00,000 --> 00:00:01,250\r\nA <b> & c\r\n\r\n"
                   "2\r\n00:00:01,250 --> 00:01:01,234\r\nD\xC3\xA9.\r\n\r\n");
    // A word tag lies strictly inside its cue: the first word's and one at the end have none.
    const std::string vtt = TimedTextFile(WebVttText, cues);
    EXPECT_EQ(vtt, "WEBVTT\r\n\r\n1\r\n00:00:00.000 --> 00:00:01.250\r\nA <00:00:00.600>&lt;b&gt; &amp; c\r\n\r\n"
                   "2\r\n00:00:01.250 --> 00:01:01.234\r\nD\xC3\xA9.\r\n\r\n");
    const std::string lrc = TimedTextFile(LrcText, cues);
    EXPECT_EQ(lrc, "[00:00.00]<00:00.00>A <00:00.60><b> & <00:01.25>c\r\n[00:01.25]<00:01.25>D\xC3\xA9.\r\n[01:01.23]\r\n");
}

} // namespace
