#include "export/timed_text.h"
#include "settings/app_settings.h"
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <cwctype>

namespace {

// A cue's text as it is read: the shown text without the skipped ranges (in order), each
// run of blanks and line breaks one space, and where each of its words begins.
class CueTextBuilder {
public:
    CueTextBuilder(const std::wstring& shown, const std::vector<TextRange>& skipped) : shown_(shown), skipped_(skipped) {}

    // Appends shown[start, end); each word start (ascending) is noted at the first
    // character shown from it on.
    void Append(int start, int end, const std::vector<int>& wordStarts, Cue& cue)
    {
        size_t nextWord = 0;
        // A cue that goes on is apart from what it held.
        blank_ = !cue.text.empty();
        end = std::min(end, static_cast<int>(shown_.size()));
        for (int at = std::max(start, 0); at < end; ++at) {
            while (skip_ < skipped_.size() && skipped_[skip_].end <= at)
                ++skip_;
            if (skip_ < skipped_.size() && skipped_[skip_].start <= at) {
                at = skipped_[skip_].end - 1;
                continue;
            }
            const wchar_t c = shown_[static_cast<size_t>(at)];
            if (std::iswspace(c) || c == L'\0') {
                blank_ = !cue.text.empty();
                continue;
            }
            if (blank_)
                cue.text += L' ';
            blank_ = false;
            for (; nextWord < wordStarts.size() && wordStarts[nextWord] <= at; ++nextWord)
                cue.words.push_back({0, cue.text.size()});
            cue.text += c;
        }
    }

private:
    const std::wstring& shown_;
    const std::vector<TextRange>& skipped_;
    size_t skip_ = 0;
    bool blank_ = false;
};

bool SameRange(TextRange a, TextRange b)
{
    return a.start == b.start && a.end == b.end;
}

// Where the part of the sentence that begins with words[first] ends: before the word that
// would take it past CueCharacters or CueMs, or at the sentence's end.
size_t PartEnd(const std::vector<TimedWord>& words, size_t first, size_t sentenceEnd, int partStart)
{
    for (size_t k = first + 1; k < sentenceEnd; ++k)
        if (words[k].word.end - partStart > CueCharacters || words[k].ms - words[first].ms > CueMs)
            return k;
    return sentenceEnd;
}

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    std::string bytes(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr);
    return bytes;
}

// hh:mm:ss followed by the milliseconds after separator.
std::string ClockTime(long long ms, char separator)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld%c%03lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60,
                  separator, ms % 1000);
    return text;
}

// mm:ss.xx, the minutes as many as they come to.
std::string LyricsTime(long long ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld.%02lld", ms / 60000, ms / 1000 % 60, ms / 10 % 100);
    return text;
}

std::wstring EscapedForVtt(const std::wstring& text)
{
    std::wstring escaped;
    for (wchar_t c : text) {
        switch (c) {
        case L'&': escaped += L"&amp;"; break;
        case L'<': escaped += L"&lt;"; break;
        case L'>': escaped += L"&gt;"; break;
        default: escaped += c; break;
        }
    }
    return escaped;
}

// The cue's text with a tag before each word but its first: a timestamp must lie after
// the cue's start, before its end and after the tag before it.
std::string VttPayload(const Cue& cue)
{
    std::string payload;
    size_t from = 0;
    long long last = cue.startMs;
    for (const Cue::Word& word : cue.words) {
        if (word.ms <= last || word.ms >= cue.endMs)
            continue;
        payload += Utf8(EscapedForVtt(cue.text.substr(from, word.at - from))) + "<" + ClockTime(word.ms, '.') + ">";
        from = word.at;
        last = word.ms;
    }
    return payload + Utf8(EscapedForVtt(cue.text.substr(from)));
}

std::string LyricsLine(const Cue& cue)
{
    std::string line = "[";
    line += LyricsTime(cue.startMs) + "]";
    size_t from = 0;
    for (const Cue::Word& word : cue.words) {
        line += Utf8(cue.text.substr(from, word.at - from)) + "<" + LyricsTime(word.ms) + ">";
        from = word.at;
    }
    return line + Utf8(cue.text.substr(from)) + "\r\n";
}

} // namespace

std::vector<Cue> MakeCues(const std::vector<TimedWord>& words, const std::wstring& shown,
                          const std::vector<TextRange>& skipped, long long endMs)
{
    std::vector<Cue> cues;
    CueTextBuilder builder(shown, skipped);
    size_t first = 0;
    while (first < words.size()) {
        const TextRange sentence = words[first].sentence;
        size_t sentenceEnd = first + 1;
        while (sentenceEnd < words.size() && SameRange(words[sentenceEnd].sentence, sentence))
            ++sentenceEnd;
        int partStart = std::min(sentence.start, words[first].word.start);
        while (first < sentenceEnd) {
            const size_t end = PartEnd(words, first, sentenceEnd, partStart);
            const int partEnd = end < sentenceEnd ? words[end].word.start : std::max(sentence.end, words[end - 1].word.end);
            std::vector<int> starts;
            for (size_t k = first; k < end; ++k)
                starts.push_back(words[k].word.start);
            // Cues begin one after another: one that would begin with the one before
            // (words the voice did not time) is joined to it.
            const bool joins = !cues.empty() && words[first].ms <= cues.back().startMs;
            Cue part;
            if (joins) {
                part = std::move(cues.back());
                cues.pop_back();
            } else {
                part.startMs = words[first].ms;
            }
            const size_t before = part.words.size();
            builder.Append(partStart, partEnd, starts, part);
            // One word is noted for each start, in order, up to the last one shown.
            for (size_t k = before; k < part.words.size(); ++k)
                part.words[k].ms = words[first + (k - before)].ms;
            while (!part.text.empty() && part.text.back() == L' ')
                part.text.pop_back();
            if (!part.text.empty())
                cues.push_back(std::move(part));
            first = end;
            partStart = partEnd;
        }
    }
    for (size_t i = 0; i < cues.size(); ++i)
        cues[i].endMs = std::max(i + 1 < cues.size() ? cues[i + 1].startMs : endMs, cues[i].startMs + 1);
    return cues;
}

std::string TimedTextFile(int format, const std::vector<Cue>& cues)
{
    std::string file;
    if (format == SubRipText)
        file = "\xEF\xBB\xBF";
    else if (format == WebVttText)
        file = "WEBVTT\r\n\r\n";
    for (size_t i = 0; i < cues.size(); ++i) {
        const Cue& cue = cues[i];
        if (format == LrcText) {
            file += LyricsLine(cue);
            continue;
        }
        const char separator = format == SubRipText ? ',' : '.';
        file += std::to_string(i + 1) + "\r\n" + ClockTime(cue.startMs, separator) + " --> "
              + ClockTime(cue.endMs, separator) + "\r\n"
              + (format == SubRipText ? Utf8(cue.text) : VttPayload(cue)) + "\r\n\r\n";
    }
    // A line without words clears the last one when the recording ends.
    if (format == LrcText && !cues.empty())
        file += '[' + LyricsTime(cues.back().endMs) + "]\r\n";
    return file;
}
