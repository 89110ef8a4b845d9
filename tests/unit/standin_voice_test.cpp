// The stand-in voice, used exactly as the program uses the platform's: created through
// COM in the test prefix, events announced to a window and drained in its procedure.
#include "pace.h"
#include "speech_helper.h"
#include "text_units.h"
#include <windows.h>
#include <malloc.h>
#include <psapi.h>
#include <sapi.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
#include "app_driver.h"
#include "espeak_reference.h"
#include "pump.h"
#include "platform/sapi_event.h"
#include "voice/voice_catalog.h"
#include "resource.h"

namespace {

const GUID kWaveFormatEx = {0xc31adbae, 0x527f, 0x4ff5, {0xa2, 0x30, 0xf6, 0x2b, 0xb6, 0x1f, 0xf7, 0x0c}};
const wchar_t kVoiceDll[] = L"clipvoce_voice.dll";

struct Event {
    int id;
    ULONG stream;
    WPARAM wParam;
    LPARAM lParam;
    ULONGLONG audioOffset;
};

// What the window procedure drains; the fixture points it at the voice under test.
ISpVoice* drainedVoice = nullptr;
std::vector<Event> events;
int tokenEvents = 0;

void DrainEvents()
{
    SPEVENT e{};
    while (drainedVoice && drainedVoice->GetEvents(1, &e, nullptr) == S_OK) {
        if (e.elParamType == SPET_LPARAM_IS_TOKEN)
            ++tokenEvents;
        const LPARAM value = e.elParamType == SPET_LPARAM_IS_UNDEFINED ? e.lParam : 0;
        events.push_back({e.eEventId, e.ulStreamNum, e.wParam, value, e.ullAudioStreamOffset});
        ReleaseEventParameter(e);
    }
}

LRESULT CALLBACK EventWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_VOICE_EVENT) {
        DrainEvents();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

using Span = std::pair<ULONG, ULONG>; // position, length

std::vector<Span> Spans(int id, ULONG stream)
{
    std::vector<Span> spans;
    for (const Event& e : events)
        if (e.id == id && e.stream == stream)
            spans.push_back({static_cast<ULONG>(e.lParam), static_cast<ULONG>(e.wParam)});
    return spans;
}

int Count(int id, ULONG stream = 0)
{
    int n = 0;
    for (const Event& e : events)
        n += e.id == id && (stream == 0 || e.stream == stream);
    return n;
}

bool Ended(ULONG stream)
{
    return Count(SPEI_END_INPUT_STREAM, stream) > 0;
}

// "w00 w01 ..." and where each word starts.
std::wstring NumberedWords(int n, std::vector<Span>* spans = nullptr)
{
    std::wstring text;
    for (int i = 0; i < n; ++i) {
        if (i)
            text += L' ';
        if (spans)
            spans->push_back({static_cast<ULONG>(text.size()), 3});
        text += L'w';
        text += static_cast<wchar_t>(L'0' + i / 10);
        text += static_cast<wchar_t>(L'0' + i % 10);
    }
    return text;
}

class StandInVoice : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = EventWindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"StandInVoiceEvents";
        RegisterClassExW(&wc);
        window_ = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(window_, nullptr);
        events.clear();
        tokenEvents = 0;
    }

    void TearDown() override
    {
        drainedVoice = nullptr;
        if (voice_)
            voice_->Release();
        DestroyWindow(window_);
        CoUninitialize();
    }

    // Words per minute at rate 0: the voice reads the pace when it is created.
    ISpVoice* CreateVoice(int wordsPerMinute)
    {
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_WPM", std::to_wstring(wordsPerMinute).c_str());
        ISpVoice* voice = nullptr;
        const HRESULT hr = CoCreateInstance(CLSID_SpVoice, nullptr, CLSCTX_ALL, IID_ISpVoice, reinterpret_cast<void**>(&voice));
        EXPECT_EQ(hr, S_OK);
        if (!voice)
            return nullptr;
        EXPECT_EQ(voice->SetInterest(SPFEI_ALL_TTS_EVENTS, SPFEI_ALL_TTS_EVENTS), S_OK);
        EXPECT_EQ(voice->SetNotifyWindowMessage(window_, WM_VOICE_EVENT, 0, 0), S_OK);
        voice_ = voice;
        drainedVoice = voice;
        return voice;
    }

    ULONG Speak(const std::wstring& text, DWORD flags = SPF_ASYNC)
    {
        ULONG stream = 0;
        EXPECT_EQ(voice_->Speak(text.c_str(), flags, &stream), S_OK);
        return stream;
    }

    void Purge() { EXPECT_EQ(voice_->Speak(nullptr, SPF_PURGEBEFORESPEAK, nullptr), S_OK); }

    bool WaitForEnd(ULONG stream, DWORD timeoutMs = 10000)
    {
        return PumpUntil([&] { return Ended(stream); }, timeoutMs);
    }

    bool WaitForWords(ULONG stream, size_t n, DWORD timeoutMs = 10000)
    {
        return PumpUntil([&] { return Spans(SPEI_WORD_BOUNDARY, stream).size() >= n; }, timeoutMs);
    }

    // After Pause returns no new word starts, so what is queued now is all there is.
    Span PauseAndSettle(ULONG stream)
    {
        EXPECT_EQ(voice_->Pause(), S_OK);
        PumpPending();
        DrainEvents();
        const auto words = Spans(SPEI_WORD_BOUNDARY, stream);
        return words.empty() ? Span{} : words.back();
    }

    HWND window_ = nullptr;
    ISpVoice* voice_ = nullptr;
};

// --- Registration --------------------------------------------------------------------

std::wstring RegistryString(const std::wstring& key, const wchar_t* value)
{
    wchar_t text[1024] = {};
    DWORD bytes = sizeof text - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), value, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS)
        return {};
    return text;
}

std::wstring ServerKey(const CLSID& clsid)
{
    wchar_t text[40];
    StringFromGUID2(clsid, text, 40);
    return std::wstring(L"CLSID\\") + text + L"\\InprocServer32";
}

bool EndsWithNoCase(const std::wstring& s, const std::wstring& tail)
{
    return s.size() >= tail.size() && _wcsicmp(s.c_str() + s.size() - tail.size(), tail.c_str()) == 0;
}

TEST_F(StandInVoice, RegisteredForVoiceAndStreamAndLoadedByCoCreateInstance)
{
    for (const CLSID* clsid : {&CLSID_SpVoice, &CLSID_SpStream}) {
        EXPECT_TRUE(EndsWithNoCase(RegistryString(ServerKey(*clsid), nullptr), L"\\clipvoce_voice.dll"));
        EXPECT_EQ(RegistryString(ServerKey(*clsid), L"ThreadingModel"), L"Both");
    }
    ASSERT_NE(CreateVoice(600), nullptr);
    EXPECT_NE(GetModuleHandleW(kVoiceDll), nullptr);
}

// --- Words and sentences -------------------------------------------------------------

TEST_F(StandInVoice, WordBoundariesAreUtf16PositionsAndLengths)
{
    ASSERT_NE(CreateVoice(60000), nullptr);
    // CR line breaks, a run of blanks, a tab, non-ASCII letters, CJK and a surrogate pair.
    const std::wstring text = L"Hello,\r  wide\t world\r\rna\u00efve caf\u00e9 \u0416\u0443\u043a "
                              L"\u65e5\u672c\u8a9e a\U0001F600b end.";
    ASSERT_EQ(text.size(), 50u);
    const ULONG stream = Speak(text);
    ASSERT_TRUE(WaitForEnd(stream));

    const std::vector<Span> expected = {{0, 6},  {9, 4},  {15, 5}, {22, 5}, {28, 4},
                                        {33, 3}, {37, 3}, {41, 4}, {46, 4}};
    EXPECT_EQ(Spans(SPEI_WORD_BOUNDARY, stream), expected);
    EXPECT_EQ(Spans(SPEI_SENTENCE_BOUNDARY, stream), (std::vector<Span>{{0, 50}}));
    EXPECT_EQ(events.front().id, SPEI_START_INPUT_STREAM);
    EXPECT_EQ(events.back().id, SPEI_END_INPUT_STREAM);
    EXPECT_EQ(Count(SPEI_START_INPUT_STREAM), 1);
    EXPECT_EQ(Count(SPEI_END_INPUT_STREAM), 1);

    // The status keeps the last word once the text is done, where the caret goes.
    SPVOICESTATUS status{};
    ASSERT_EQ(voice_->GetStatus(&status, nullptr), S_OK);
    EXPECT_EQ(status.ulInputWordPos, 46u);
    EXPECT_EQ(status.ulInputWordLen, 4u);
    EXPECT_EQ(status.dwRunningState, static_cast<DWORD>(SPRS_DONE));
}

// Some voices tell only of sentences, or of nothing; asked to, the stand-in does the same,
// status included.
TEST_F(StandInVoice, TellsOfOnlyTheBoundariesItIsAskedTo)
{
    ASSERT_NE(CreateVoice(60000), nullptr);
    const std::wstring text = L"One two. Three four.";
    for (const wchar_t* told : {L"sentences", L"none"}) {
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_EVENTS", told);
        events.clear();
        const ULONG stream = Speak(text);
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_EVENTS", nullptr);
        ASSERT_TRUE(WaitForEnd(stream)) << "with " << told;
        EXPECT_TRUE(Spans(SPEI_WORD_BOUNDARY, stream).empty()) << "with " << told;
        EXPECT_EQ(Spans(SPEI_SENTENCE_BOUNDARY, stream).size(), std::wstring(told) == L"none" ? 0u : 2u);
        EXPECT_EQ(Count(SPEI_END_INPUT_STREAM), 1) << "with " << told;
        SPVOICESTATUS status{};
        ASSERT_EQ(voice_->GetStatus(&status, nullptr), S_OK);
        EXPECT_EQ(status.ulInputWordLen, 0u) << "with " << told;
    }
}

TEST_F(StandInVoice, SentencesEndAtPunctuationBeforeBlankLineBreakOrEnd)
{
    ASSERT_NE(CreateVoice(60000), nullptr);
    // "3.5" and "e.g.x" go on; a full stop before a tab does too.
    const std::wstring text = L"Version 3.5 is out. Really? Yes!\rNext e.g.x line.\tstill.\nLast";
    const ULONG stream = Speak(text);
    ASSERT_TRUE(WaitForEnd(stream));
    const std::vector<Span> expected = {{0, 19}, {20, 7}, {28, 4}, {33, 23}, {57, 4}};
    EXPECT_EQ(Spans(SPEI_SENTENCE_BOUNDARY, stream), expected);

    // Without punctuation, fifty blanks make a sentence, as the program counts them.
    events.clear();
    const ULONG longStream = Speak(NumberedWords(120) + L".");
    ASSERT_TRUE(WaitForEnd(longStream));
    const auto sentences = Spans(SPEI_SENTENCE_BOUNDARY, longStream);
    ASSERT_EQ(sentences.size(), 3u);
    EXPECT_EQ(sentences[1].first, 50u * 4);
    EXPECT_EQ(sentences[2].first, 100u * 4);
}

// A full stop after a title, an initial or a dotted abbreviation is inside its sentence,
// unless the line or the text ends there.
TEST(StandInText, AbbreviationsAndInitialsStayInsideTheirSentence)
{
    const std::wstring text = L"Dr. Smith met J. Doe in the U.S. at 5 p.m. today. Then (e.g. here) St. Ives. "
                              L"Es ist z. B. gut.\rAsk Dr.\rEnd Mr.";
    std::vector<std::wstring> sentences;
    for (const TextSentence& sentence : SplitText(text).sentences)
        sentences.push_back(text.substr(sentence.pos, sentence.len));
    EXPECT_EQ(sentences, (std::vector<std::wstring>{L"Dr. Smith met J. Doe in the U.S. at 5 p.m. today.",
                                                    L"Then (e.g. here) St. Ives.", L"Es ist z. B. gut.", L"Ask Dr.",
                                                    L"End Mr."}));
}

// Every step of the rate is a pace of its own within eSpeak NG's range: a third of the
// pace at -10, three times it at 10.
TEST(StandInPace, EveryRateStepSpeaksAtItsOwnPace)
{
    EXPECT_EQ(HelperWordsPerMinute(180, -10), 80u);
    EXPECT_EQ(HelperWordsPerMinute(180, 0), 180u);
    EXPECT_EQ(HelperWordsPerMinute(180, 10), 540u);
    for (long rate = -10; rate < 10; ++rate)
        EXPECT_LT(HelperWordsPerMinute(180, rate), HelperWordsPerMinute(180, rate + 1)) << "rate " << rate;
    EXPECT_EQ(HelperWordsPerMinute(600, 10), 900u);
}

TEST_F(StandInVoice, TextStartingWithATagIsMarkupUnlessSpokenAsPlainText)
{
    ASSERT_NE(CreateVoice(60000), nullptr);
    const std::wstring text = L"<b>bold</b> & <<note>>";
    // As markup the tags are silent, and the words keep their places in the text.
    const ULONG markup = Speak(text);
    const ULONG plain = Speak(text, SPF_ASYNC | SPF_IS_NOT_XML);
    // Only a leading '<' makes markup of its own accord; SPF_IS_XML makes it of any text.
    const ULONG inner = Speak(L"a <b> c");
    const ULONG forced = Speak(L"a <b> c", SPF_ASYNC | SPF_IS_XML);
    // A '>' in a quoted value or in a comment does not end the tag.
    const ULONG quoted = Speak(L"<a href=\"x>y\">link</a> <!-- a > b --> end");
    ASSERT_TRUE(WaitForEnd(quoted));

    EXPECT_EQ(Spans(SPEI_WORD_BOUNDARY, markup), (std::vector<Span>{{3, 4}, {12, 1}, {21, 1}}));
    EXPECT_EQ(Spans(SPEI_SENTENCE_BOUNDARY, markup), (std::vector<Span>{{3, 19}}));
    EXPECT_EQ(Spans(SPEI_WORD_BOUNDARY, plain), (std::vector<Span>{{0, 11}, {12, 1}, {14, 8}}));
    EXPECT_EQ(Spans(SPEI_WORD_BOUNDARY, inner), (std::vector<Span>{{0, 1}, {2, 3}, {6, 1}}));
    EXPECT_EQ(Spans(SPEI_WORD_BOUNDARY, forced), (std::vector<Span>{{0, 1}, {6, 1}}));
    EXPECT_EQ(Spans(SPEI_WORD_BOUNDARY, quoted), (std::vector<Span>{{14, 4}, {38, 3}}));
}

// --- Purge ---------------------------------------------------------------------------

TEST_F(StandInVoice, PurgedUtteranceStillEndsWithItsEndOfInput)
{
    ASSERT_NE(CreateVoice(600), nullptr);
    const ULONG first = Speak(NumberedWords(50));
    ASSERT_TRUE(WaitForWords(first, 1));
    Purge();
    ASSERT_TRUE(WaitForEnd(first));
    EXPECT_LT(Spans(SPEI_WORD_BOUNDARY, first).size(), 50u);

    // The next text follows the end of the dropped one.
    const ULONG second = Speak(L"Next one.");
    ASSERT_TRUE(WaitForEnd(second));
    size_t endOfFirst = 0, startOfSecond = 0;
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i].id == SPEI_END_INPUT_STREAM && events[i].stream == first)
            endOfFirst = i;
        if (events[i].id == SPEI_START_INPUT_STREAM && events[i].stream == second)
            startOfSecond = i;
    }
    EXPECT_LT(endOfFirst, startOfSecond);
    for (size_t i = endOfFirst + 1; i < events.size(); ++i)
        EXPECT_NE(events[i].stream, first);

    // Even an utterance dropped before it began, or while paused, ends.
    const ULONG unstarted = Speak(NumberedWords(50));
    Purge();
    ASSERT_TRUE(WaitForEnd(unstarted));
    ASSERT_EQ(voice_->Pause(), S_OK);
    const ULONG paused = Speak(NumberedWords(50));
    Purge();
    EXPECT_TRUE(WaitForEnd(paused));
    EXPECT_EQ(voice_->Resume(), S_OK);
    EXPECT_EQ(Count(SPEI_START_INPUT_STREAM), Count(SPEI_END_INPUT_STREAM));
}

// --- Pause and resume ----------------------------------------------------------------

TEST_F(StandInVoice, PauseStopsWordEventsAndResumeGoesOnWithTheNextWord)
{
    ASSERT_NE(CreateVoice(1200), nullptr);
    std::vector<Span> words;
    const ULONG stream = Speak(NumberedWords(30, &words));
    ASSERT_TRUE(WaitForWords(stream, 3));

    const Span last = PauseAndSettle(stream);
    SPVOICESTATUS status{};
    ASSERT_EQ(voice_->GetStatus(&status, nullptr), S_OK);
    EXPECT_EQ(status.ulInputWordPos, last.first);
    EXPECT_EQ(status.ulInputWordLen, last.second);

    // Six words' time without a word.
    const size_t heard = Spans(SPEI_WORD_BOUNDARY, stream).size();
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(Spans(SPEI_WORD_BOUNDARY, stream).size(), heard);

    ASSERT_EQ(voice_->Resume(), S_OK);
    ASSERT_TRUE(WaitForEnd(stream));
    // Every word once, in order: nothing repeated, nothing left out.
    EXPECT_EQ(Spans(SPEI_WORD_BOUNDARY, stream), words);
}

TEST_F(StandInVoice, PausesAreCountedAndWaitUntilDoneTimesOutWhilePaused)
{
    ASSERT_NE(CreateVoice(60000), nullptr);
    ASSERT_EQ(voice_->Pause(), S_OK);
    ASSERT_EQ(voice_->Pause(), S_OK);
    const ULONG stream = Speak(L"Held back.");
    EXPECT_EQ(voice_->WaitUntilDone(100), S_FALSE);
    ASSERT_EQ(voice_->Resume(), S_OK);
    EXPECT_EQ(voice_->WaitUntilDone(100), S_FALSE);
    ASSERT_EQ(voice_->Resume(), S_OK);
    EXPECT_EQ(voice_->WaitUntilDone(5000), S_OK);
    EXPECT_TRUE(WaitForEnd(stream));
}

// --- Skip ----------------------------------------------------------------------------

// Sentences of five words: sentence s starts at word 5 s.
std::wstring Sentences(int count, std::vector<Span>& words)
{
    std::wstring text;
    for (int s = 0; s < count; ++s) {
        for (int w = 0; w < 5; ++w) {
            words.push_back({static_cast<ULONG>(text.size()), w == 4 ? 4u : 3u});
            text += L's';
            text += static_cast<wchar_t>(L'0' + s);
            text += static_cast<wchar_t>(L'0' + w);
            text += w == 4 ? L". " : L" ";
        }
    }
    return text;
}

size_t WordIndex(const std::vector<Span>& words, Span word)
{
    for (size_t i = 0; i < words.size(); ++i)
        if (words[i] == word)
            return i;
    return words.size();
}

TEST_F(StandInVoice, SkipRightAfterSpeakStartsAtThatSentence)
{
    ASSERT_NE(CreateVoice(60000), nullptr);
    std::vector<Span> words;
    const std::wstring text = Sentences(4, words);
    // Held by a pause, no word can be spoken before the skip, however busy the machine.
    ASSERT_EQ(voice_->Pause(), S_OK);
    const ULONG stream = Speak(text);
    ULONG skipped = 0;
    ASSERT_EQ(voice_->Skip(L"Sentence", 2, &skipped), S_OK);
    EXPECT_EQ(skipped, 2u);
    ASSERT_EQ(voice_->Resume(), S_OK);
    ASSERT_TRUE(WaitForEnd(stream));
    const auto heard = Spans(SPEI_WORD_BOUNDARY, stream);
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.front(), words[10]);
    EXPECT_EQ(heard.size(), 10u);

    // As after appending: purge, speak the whole text, skip to its new part.
    events.clear();
    const ULONG playing = Speak(text);
    ASSERT_EQ(voice_->Pause(), S_OK);
    Purge();
    const ULONG appended = Speak(text);
    ASSERT_EQ(voice_->Skip(L"Sentence", 3, nullptr), S_OK);
    ASSERT_EQ(voice_->Resume(), S_OK);
    ASSERT_TRUE(WaitForEnd(appended));
    EXPECT_TRUE(Ended(playing));
    EXPECT_EQ(Spans(SPEI_WORD_BOUNDARY, appended).front(), words[15]);
}

TEST_F(StandInVoice, SkipMovesRelativeToTheCurrentSentence)
{
    ASSERT_NE(CreateVoice(1200), nullptr);
    std::vector<Span> words;
    const ULONG stream = Speak(Sentences(8, words));
    ASSERT_TRUE(WaitForWords(stream, 2));

    // Pinned by a pause, the current word is known; the skip applies on resuming.
    size_t current = WordIndex(words, PauseAndSettle(stream));
    ASSERT_LT(current, 30u);
    size_t before = Spans(SPEI_WORD_BOUNDARY, stream).size();
    ULONG skipped = 0;
    ASSERT_EQ(voice_->Skip(L"Sentence", 1, &skipped), S_OK);
    EXPECT_EQ(skipped, 1u);
    ASSERT_EQ(voice_->Resume(), S_OK);
    ASSERT_TRUE(WaitForWords(stream, before + 1));
    EXPECT_EQ(Spans(SPEI_WORD_BOUNDARY, stream)[before], words[(current / 5 + 1) * 5]);

    current = WordIndex(words, PauseAndSettle(stream));
    ASSERT_LT(current, words.size());
    before = Spans(SPEI_WORD_BOUNDARY, stream).size();
    const size_t sentence = current / 5;
    ASSERT_EQ(voice_->Skip(L"Sentence", -1, &skipped), S_OK);
    ASSERT_EQ(voice_->Resume(), S_OK);
    ASSERT_TRUE(WaitForWords(stream, before + 1));
    const size_t expected = sentence == 0 ? 0 : (sentence - 1) * 5;
    EXPECT_EQ(Spans(SPEI_WORD_BOUNDARY, stream)[before], words[expected]);
    EXPECT_EQ(skipped, sentence == 0 ? 0u : 1u);

    // Past the last sentence the utterance is over.
    PauseAndSettle(stream);
    before = Spans(SPEI_WORD_BOUNDARY, stream).size();
    ASSERT_EQ(voice_->Skip(L"Sentence", 10, nullptr), S_OK);
    ASSERT_EQ(voice_->Resume(), S_OK);
    ASSERT_TRUE(WaitForEnd(stream));
    EXPECT_EQ(Spans(SPEI_WORD_BOUNDARY, stream).size(), before);
}

// --- Rate ----------------------------------------------------------------------------

TEST_F(StandInVoice, HigherRateSpeaksTheSameTextFaster)
{
    ASSERT_NE(CreateVoice(600), nullptr);
    const std::wstring text = NumberedWords(12);
    auto timed = [&](long rate) {
        EXPECT_EQ(voice_->SetRate(rate), S_OK);
        const ULONGLONG start = GetTickCount64();
        const ULONG stream = Speak(text);
        EXPECT_TRUE(WaitForEnd(stream));
        return static_cast<double>(GetTickCount64() - start);
    };
    const double normal = timed(0);
    const double fast = timed(10);
    // About three times faster; the margin leaves room for a busy machine.
    EXPECT_GT(normal / fast, 2.0) << normal << " ms against " << fast << " ms";
    EXPECT_EQ(voice_->SetRate(11), E_INVALIDARG);
}

// --- Rendering into a file -----------------------------------------------------------

struct WaveFile {
    WORD formatTag = 0, channels = 0, blockAlign = 0, bitsPerSample = 0;
    DWORD samplesPerSec = 0, avgBytesPerSec = 0;
    std::vector<int16_t> samples;
    bool valid = false;
};

uint32_t U32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

uint16_t U16(const std::vector<uint8_t>& b, size_t at)
{
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

std::vector<uint8_t> ReadBytes(const std::wstring& path)
{
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && !ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
        read = 0;
    bytes.resize(read);
    CloseHandle(file);
    return bytes;
}

// Walks the RIFF chunks; the sizes in the headers must agree with the file's.
WaveFile ParseWave(const std::vector<uint8_t>& b)
{
    WaveFile w;
    if (b.size() < 12 || memcmp(b.data(), "RIFF", 4) != 0 || memcmp(b.data() + 8, "WAVE", 4) != 0 ||
        U32(b, 4) != b.size() - 8)
        return w;
    bool haveFormat = false, haveData = false;
    for (size_t at = 12; at + 8 <= b.size();) {
        const uint32_t size = U32(b, at + 4);
        const size_t body = at + 8;
        if (body + size > b.size())
            return w;
        if (memcmp(b.data() + at, "fmt ", 4) == 0 && size >= 16) {
            w.formatTag = U16(b, body);
            w.channels = U16(b, body + 2);
            w.samplesPerSec = U32(b, body + 4);
            w.avgBytesPerSec = U32(b, body + 8);
            w.blockAlign = U16(b, body + 12);
            w.bitsPerSample = U16(b, body + 14);
            haveFormat = true;
        } else if (memcmp(b.data() + at, "data", 4) == 0) {
            w.samples.resize(size / 2);
            memcpy(w.samples.data(), b.data() + body, w.samples.size() * 2);
            haveData = true;
        }
        at = body + size + (size & 1);
    }
    w.valid = haveFormat && haveData;
    return w;
}

std::wstring TempWavePath(const wchar_t* name)
{
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + name;
}

class Rendering : public StandInVoice {
protected:
    // The export's sequence: keep the output, point the voice at a file stream, speak,
    // wait on another thread, restore the output, release the stream.
    std::wstring Render(const std::wstring& text, const wchar_t* name, long rate = 0)
    {
        const std::wstring path = TempWavePath(name);
        ISpStreamFormat* saved = nullptr;
        EXPECT_EQ(voice_->GetOutputStream(&saved), S_OK);
        ISpStream* stream = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_SpStream, nullptr, CLSCTX_ALL, IID_ISpStream, reinterpret_cast<void**>(&stream)), S_OK);
        if (!stream || !saved)
            return path;
        WAVEFORMATEX* format = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
        *format = WAVEFORMATEX{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
        EXPECT_EQ(stream->BindToFile(path.c_str(), SPFM_CREATE_ALWAYS, &kWaveFormatEx, format, SPFEI_ALL_EVENTS), S_OK);
        CoTaskMemFree(format);
        EXPECT_EQ(voice_->SetOutput(stream, TRUE), S_OK);
        EXPECT_EQ(voice_->SetRate(rate), S_OK);
        const ULONG spoken = Speak(text);

        std::atomic<bool> done{false};
        uint64_t sizeWhenDone = 0;
        std::thread waiter([&] {
            voice_->WaitUntilDone(INFINITE);
            WIN32_FILE_ATTRIBUTE_DATA data{};
            GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
            sizeWhenDone = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
            done = true;
        });
        EXPECT_TRUE(PumpUntil([&] { return done.load(); }, 20000));
        waiter.join();
        // The rendering can be done before its last events have been drained.
        EXPECT_TRUE(WaitForEnd(spoken)) << "no end event after the rendering was done";
        SPVOICESTATUS status{};
        voice_->GetStatus(&status, nullptr);
        EXPECT_EQ(status.dwRunningState, static_cast<DWORD>(SPRS_DONE));

        stream->Release();
        EXPECT_EQ(voice_->SetOutput(saved, FALSE), S_OK);
        saved->Release();
        // Rendering was complete when WaitUntilDone returned: closing added nothing.
        EXPECT_EQ(ReadBytes(path).size(), sizeWhenDone);
        return path;
    }
};

TEST_F(Rendering, FileIsRiffWaveOfTheRequestedFormatWithToneAndSilence)
{
    ASSERT_NE(CreateVoice(600), nullptr);
    const std::wstring path = Render(L"Alpha beta gamma delta.", L"standin_voice_render.wav");
    const WaveFile wave = ParseWave(ReadBytes(path));
    ASSERT_TRUE(wave.valid);
    EXPECT_EQ(wave.formatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(wave.channels, 2);
    EXPECT_EQ(wave.samplesPerSec, 48000u);
    EXPECT_EQ(wave.avgBytesPerSec, 192000u);
    EXPECT_EQ(wave.blockAlign, 4);
    EXPECT_EQ(wave.bitsPerSample, 16);

    // Four words at 600 a minute: 0.4 s of stereo frames.
    const size_t frames = wave.samples.size() / 2;
    EXPECT_NEAR(static_cast<double>(frames), 0.4 * 48000, 48.0);
    size_t loud = 0, silent = 0;
    for (size_t i = 0; i < frames; ++i) {
        EXPECT_EQ(wave.samples[2 * i], wave.samples[2 * i + 1]);
        const int v = std::abs(static_cast<int>(wave.samples[2 * i]));
        loud += v > 3000;
        silent += v == 0;
    }
    EXPECT_GT(loud, frames / 4);
    EXPECT_GT(silent, frames / 10);
    DeleteFileW(path.c_str());
}

TEST_F(Rendering, LengthGrowsWithTheTextShrinksWithTheRateAndIsDeterministic)
{
    ASSERT_NE(CreateVoice(600), nullptr);
    const std::wstring text = L"One two three four five six.";
    const auto shortData = ParseWave(ReadBytes(Render(text, L"standin_voice_a.wav"))).samples;
    const auto again = ParseWave(ReadBytes(Render(text, L"standin_voice_b.wav"))).samples;
    const auto longData = ParseWave(ReadBytes(Render(text + L" " + text, L"standin_voice_c.wav"))).samples;
    const auto fastData = ParseWave(ReadBytes(Render(text, L"standin_voice_d.wav", 10))).samples;
    ASSERT_FALSE(shortData.empty());
    EXPECT_EQ(shortData, again);
    EXPECT_NEAR(static_cast<double>(longData.size()) / shortData.size(), 2.0, 0.01);
    EXPECT_NEAR(static_cast<double>(shortData.size()) / fastData.size(), 3.0, 0.02);
    for (const wchar_t* name : {L"standin_voice_a.wav", L"standin_voice_b.wav", L"standin_voice_c.wav", L"standin_voice_d.wav"})
        DeleteFileW(TempWavePath(name).c_str());
}

TEST_F(Rendering, CancelledRenderingLetsGoOfTheFile)
{
    ASSERT_NE(CreateVoice(60), nullptr);
    const std::wstring path = TempWavePath(L"standin_voice_cancel.wav");
    ISpStreamFormat* saved = nullptr;
    ASSERT_EQ(voice_->GetOutputStream(&saved), S_OK);
    ISpStream* stream = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_SpStream, nullptr, CLSCTX_ALL, IID_ISpStream, reinterpret_cast<void**>(&stream)), S_OK);
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
    ASSERT_EQ(stream->BindToFile(path.c_str(), SPFM_CREATE_ALWAYS, &kWaveFormatEx, &format, SPFEI_ALL_EVENTS), S_OK);
    ASSERT_EQ(voice_->SetOutput(stream, TRUE), S_OK);
    // Over three minutes of audio, cancelled after its first word.
    const ULONG spoken = Speak(NumberedWords(200));
    ASSERT_TRUE(WaitForWords(spoken, 1));
    Purge();
    stream->Release();
    ASSERT_EQ(voice_->SetOutput(saved, FALSE), S_OK);
    saved->Release();
    EXPECT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(WaitForEnd(spoken));
}

TEST_F(Rendering, StreamReportsItsFormatAndRefusesWhatItCannotWrite)
{
    ISpStream* stream = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_SpStream, nullptr, CLSCTX_ALL, IID_ISpStream, reinterpret_cast<void**>(&stream)), S_OK);
    const std::wstring path = TempWavePath(L"standin_voice_format.wav");
    WAVEFORMATEX adpcm{2, 2, 48000, 192000, 4, 16, 0};
    EXPECT_EQ(stream->BindToFile(path.c_str(), SPFM_CREATE_ALWAYS, &kWaveFormatEx, &adpcm, 0), E_INVALIDARG);
    WAVEFORMATEX inconsistent{WAVE_FORMAT_PCM, 2, 48000, 96000, 4, 16, 0};
    EXPECT_EQ(stream->BindToFile(path.c_str(), SPFM_CREATE_ALWAYS, &kWaveFormatEx, &inconsistent, 0), E_INVALIDARG);

    WAVEFORMATEX mono{WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0};
    ASSERT_EQ(stream->BindToFile(path.c_str(), SPFM_CREATE_ALWAYS, &kWaveFormatEx, &mono, 0), S_OK);
    EXPECT_NE(stream->BindToFile(path.c_str(), SPFM_CREATE_ALWAYS, &kWaveFormatEx, &mono, 0), S_OK);
    GUID id{};
    WAVEFORMATEX* reported = nullptr;
    ASSERT_EQ(stream->GetFormat(&id, &reported), S_OK);
    EXPECT_TRUE(IsEqualGUID(id, kWaveFormatEx));
    EXPECT_EQ(memcmp(reported, &mono, sizeof mono), 0);
    CoTaskMemFree(reported);

    // Written audio lands behind the header, at the stream's own positions.
    const int16_t samples[3] = {1, -2, 3};
    ULONG written = 0;
    ASSERT_EQ(stream->Write(samples, sizeof samples, &written), S_OK);
    EXPECT_EQ(written, sizeof samples);
    EXPECT_EQ(stream->Close(), S_OK);
    EXPECT_NE(stream->Write(samples, sizeof samples, nullptr), S_OK);
    stream->Release();
    const WaveFile wave = ParseWave(ReadBytes(path));
    ASSERT_TRUE(wave.valid);
    EXPECT_EQ(wave.channels, 1);
    EXPECT_EQ(wave.samples, (std::vector<int16_t>{1, -2, 3}));
    DeleteFileW(path.c_str());
}

// --- Token ---------------------------------------------------------------------------

TEST_F(StandInVoice, VoiceTokenHasADisplayName)
{
    ASSERT_NE(CreateVoice(600), nullptr);
    ISpObjectToken* token = nullptr;
    ASSERT_EQ(voice_->GetVoice(&token), S_OK);
    ASSERT_NE(token, nullptr);
    LPWSTR name = nullptr;
    ASSERT_EQ(token->GetStringValue(nullptr, &name), S_OK);
    ASSERT_NE(name, nullptr);
    EXPECT_GT(wcslen(name), 0u);
    CoTaskMemFree(name);
    token->Release();
}

// --- Lifetime and robustness ---------------------------------------------------------

HRESULT VoiceDllCanUnloadNow()
{
    const auto canUnload = reinterpret_cast<HRESULT(WINAPI*)()>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(kVoiceDll), "DllCanUnloadNow")));
    return canUnload ? canUnload() : E_FAIL;
}

TEST_F(StandInVoice, ReleasedMidSentenceStopsAndPostsNothingMore)
{
    ASSERT_NE(CreateVoice(1200), nullptr);
    const ULONG stream = Speak(NumberedWords(50));
    ASSERT_TRUE(WaitForWords(stream, 2));
    drainedVoice = nullptr;
    voice_->Release();
    voice_ = nullptr;
    EXPECT_EQ(VoiceDllCanUnloadNow(), S_OK);

    // What was posted before the release may still be queued; nothing may follow it.
    MSG m;
    while (PeekMessageW(&m, window_, WM_VOICE_EVENT, WM_VOICE_EVENT, PM_REMOVE)) {
    }
    EXPECT_FALSE(PumpUntil([&] { return PeekMessageW(&m, window_, WM_VOICE_EVENT, WM_VOICE_EVENT, PM_NOREMOVE) != 0; }, 300));
}

// Bytes in use on the C runtime's heap, which the voice DLL shares with this program.
size_t HeapInUse()
{
    _HEAPINFO entry{};
    size_t used = 0;
    while (_heapwalk(&entry) == _HEAPOK)
        if (entry._useflag == _USEDENTRY)
            used += entry._size;
    return used;
}

TEST_F(StandInVoice, ThousandsOfSpeakPurgeCyclesNeitherLeakNorHang)
{
    ASSERT_NE(CreateVoice(600), nullptr);
    // A long text makes any lost utterance visible in the heap.
    const std::wstring text = NumberedWords(1000);
    auto cycles = [&](int n) {
        for (int i = 0; i < n; ++i) {
            Speak(text);
            Purge();
            if (i % 16 == 0)
                PumpPending();
        }
        EXPECT_EQ(voice_->WaitUntilDone(10000), S_OK);
        PumpPending();
        DrainEvents();
    };
    cycles(200);
    events.clear();
    events.shrink_to_fit();
    const size_t heapBefore = HeapInUse();
    const ULONGLONG start = GetTickCount64();
    cycles(2000);
    EXPECT_LT(GetTickCount64() - start, 30000u);
    EXPECT_EQ(Count(SPEI_START_INPUT_STREAM), 2000);
    EXPECT_EQ(Count(SPEI_END_INPUT_STREAM), 2000);
    EXPECT_EQ(tokenEvents, 2200);
    events.clear();
    events.shrink_to_fit();
    const size_t heapAfter = HeapInUse();
    EXPECT_LT(heapAfter, heapBefore + 1024 * 1024) << heapBefore << " bytes before, " << heapAfter << " after";

    drainedVoice = nullptr;
    voice_->Release();
    voice_ = nullptr;
    EXPECT_EQ(VoiceDllCanUnloadNow(), S_OK);
}

TEST_F(StandInVoice, ControlCallsInAnyOrderNeitherDeadlockNorLoseEndEvents)
{
    ASSERT_NE(CreateVoice(6000), nullptr);
    // Another thread watches the voice all along, as the export's worker does.
    std::atomic<bool> stop{false};
    std::thread watcher([&] {
        while (!stop) {
            SPVOICESTATUS status;
            voice_->GetStatus(&status, nullptr);
            voice_->WaitUntilDone(1);
        }
    });

    uint32_t seed = 12345;
    auto next = [&](uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    std::vector<Span> words;
    const std::wstring text = Sentences(4, words);
    int speaks = 0, pauses = 0;
    for (int i = 0; i < 3000; ++i) {
        switch (next(7)) {
        case 0: Speak(text); ++speaks; break;
        case 1: Speak(text, SPF_ASYNC | SPF_PURGEBEFORESPEAK); ++speaks; break;
        case 2: Purge(); break;
        case 3: voice_->Pause(); ++pauses; break;
        case 4: if (pauses) { voice_->Resume(); --pauses; } break;
        case 5: voice_->Skip(L"Sentence", static_cast<LONG>(next(7)) - 3, nullptr); break;
        default: voice_->SetRate(static_cast<LONG>(next(21)) - 10); break;
        }
        if (i % 8 == 0)
            PumpPending();
    }
    while (pauses--)
        voice_->Resume();
    voice_->SetRate(10);
    EXPECT_EQ(voice_->WaitUntilDone(20000), S_OK);
    stop = true;
    watcher.join();
    EXPECT_TRUE(PumpUntil([&] { return Count(SPEI_END_INPUT_STREAM) == speaks; }, 10000));
    EXPECT_EQ(Count(SPEI_START_INPUT_STREAM), speaks);

    // Streams begin and end in the order they were spoken, one at a time.
    ULONG open = 0, last = 0;
    for (const Event& e : events) {
        if (e.id == SPEI_START_INPUT_STREAM) {
            EXPECT_EQ(open, 0u);
            EXPECT_GT(e.stream, last);
            open = last = e.stream;
        } else if (e.id == SPEI_END_INPUT_STREAM) {
            EXPECT_EQ(e.stream, open);
            open = 0;
        }
    }
}

// --- Speech from eSpeak NG ------------------------------------------------------------

class EspeakVoice : public Rendering {
protected:
    void SetUp() override
    {
        Rendering::SetUp();
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_SOUND", L"espeak");
    }
    void TearDown() override
    {
        SetEnvironmentVariableW(L"CLIPVOCE_VOICE_SOUND", L"tones");
        Rendering::TearDown();
    }

    // The name of the voice that speaks unless told otherwise.
    std::wstring CreateSpeakingVoice(int wordsPerMinute)
    {
        if (!CreateVoice(wordsPerMinute))
            return L"(no voice)";
        ISpObjectToken* token = nullptr;
        LPWSTR name = nullptr;
        std::wstring result;
        if (voice_->GetVoice(&token) == S_OK && token->GetStringValue(nullptr, &name) == S_OK)
            result = name;
        CoTaskMemFree(name);
        if (token)
            token->Release();
        return result;
    }

    std::vector<Event> EventsOf(int id)
    {
        std::vector<Event> found;
        for (const Event& e : events)
            if (e.id == id)
                found.push_back(e);
        return found;
    }
};

const wchar_t kEspeakName[] = L"eSpeak NG English";

// Blank-separated words and where each starts.
std::vector<Span> BlankSeparatedWords(const std::wstring& text)
{
    std::vector<Span> words;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find(L' ', at), text.size());
        words.push_back({static_cast<ULONG>(at), static_cast<ULONG>(end - at)});
        at = end + 1;
    }
    return words;
}

TEST_F(EspeakVoice, ExportIsEspeakSpeechWithEveryWordAtTheStartOfItsSound)
{
    const int wordsPerMinute = 175;
    ASSERT_EQ(CreateSpeakingVoice(wordsPerMinute), kEspeakName);
    // A surrogate pair before the last words of a sentence: their places must still lead
    // back to them.
    const std::wstring text = L"Sixteen sailors sang softly. Then a smile \U0001F600 follows, and the crowd listens. Goodbye!";
    const std::wstring path = Render(text, L"standin_voice_espeak.wav");
    const WaveFile wave = ParseWave(ReadBytes(path));
    DeleteFileW(path.c_str());
    ASSERT_TRUE(wave.valid);
    const PcmAudio ours{48000, 2, wave.samples};
    const PcmAudio reference = EspeakReference(text, wordsPerMinute);
    ASSERT_FALSE(reference.samples.empty()) << "espeak-ng did not render the reference";
    const double voiced = VoicedSeconds(ours), expected = VoicedSeconds(reference);
    EXPECT_NEAR(voiced / expected, 1.0, 0.15) << voiced << " s voiced against espeak-ng's " << expected << " s";

    // Speech, not tones: hissing sounds cross zero far more often than a tone (880 Hz at
    // most) ever does.
    const std::vector<bool> voicedWindows = VoicedWindows(ours);
    const size_t window = 480;
    size_t hissing = 0, counted = 0;
    for (size_t w = 0; w < voicedWindows.size(); ++w) {
        if (!voicedWindows[w])
            continue;
        int crossings = 0;
        for (size_t i = w * window + 1; i < (w + 1) * window; ++i)
            crossings += (wave.samples[2 * i] < 0) != (wave.samples[2 * i - 2] < 0);
        hissing += crossings > 40; // over 4000 a second
        ++counted;
    }
    EXPECT_GT(hissing, counted / 50) << hissing << " of " << counted << " voiced windows hiss";

    // Every word once, in order; each one's offset rises and is followed by its sound.
    std::vector<Span> heard;
    ULONGLONG previous = 0;
    for (const Event& e : EventsOf(SPEI_WORD_BOUNDARY)) {
        heard.push_back({static_cast<ULONG>(e.lParam), static_cast<ULONG>(e.wParam)});
        const size_t frame = static_cast<size_t>(e.audioOffset / 4);
        EXPECT_TRUE(heard.size() == 1 || e.audioOffset > previous) << "word at " << e.lParam << " does not come later";
        previous = e.audioOffset;
        const size_t first = frame / window;
        bool sounds = false;
        for (size_t w = first; w < first + 15 && w < voicedWindows.size(); ++w)
            sounds = sounds || voicedWindows[w];
        EXPECT_TRUE(sounds) << "no sound within 150 ms of the word at " << e.lParam;
    }
    EXPECT_EQ(heard, BlankSeparatedWords(text));
    EXPECT_EQ(EventsOf(SPEI_SENTENCE_BOUNDARY).size(), 3u);
    ASSERT_EQ(EventsOf(SPEI_END_INPUT_STREAM).size(), 1u);
    EXPECT_EQ(EventsOf(SPEI_END_INPUT_STREAM)[0].audioOffset, wave.samples.size() * 2);
}

double Loudness(const std::vector<int16_t>& samples)
{
    double sum = 0;
    for (int16_t v : samples)
        sum += static_cast<double>(v) * v;
    return samples.empty() ? 0 : std::sqrt(sum / samples.size());
}

TEST_F(EspeakVoice, RateShortensAndVolumeSoftensTheSpeech)
{
    ASSERT_EQ(CreateSpeakingVoice(175), kEspeakName);
    const std::wstring text = L"Rate and volume shape the same words. Here they are again.";
    const auto normal = ParseWave(ReadBytes(Render(text, L"standin_voice_espeak_a.wav"))).samples;
    const auto fast = ParseWave(ReadBytes(Render(text, L"standin_voice_espeak_b.wav", 10))).samples;
    ASSERT_EQ(voice_->SetVolume(50), S_OK);
    const auto soft = ParseWave(ReadBytes(Render(text, L"standin_voice_espeak_c.wav"))).samples;
    for (const wchar_t* name : {L"standin_voice_espeak_a.wav", L"standin_voice_espeak_b.wav", L"standin_voice_espeak_c.wav"})
        DeleteFileW(TempWavePath(name).c_str());
    ASSERT_FALSE(normal.empty());
    ASSERT_FALSE(fast.empty());
    // Rate 10 is three times the pace; eSpeak NG keeps its pauses a little longer.
    EXPECT_GT(static_cast<double>(normal.size()) / fast.size(), 2.0);
    EXPECT_NEAR(Loudness(soft) / Loudness(normal), 0.5, 0.05);
}

// One voice per language in the platform's voice category, each speaking with eSpeak
// NG's voice of its language: a German text from the German voice sounds as eSpeak NG's
// German does, and unlike its English.
TEST_F(EspeakVoice, EachListedVoiceSpeaksItsLanguage)
{
    ASSERT_EQ(CreateSpeakingVoice(175), kEspeakName);
    const VoiceCatalog voices = VoiceCatalog::Enumerate(L"");
    const std::pair<LanguageId, const wchar_t*> expected[] = {{LANG_ENGLISH, L"eSpeak NG English"},
        {LANG_GERMAN, L"eSpeak NG German"}, {LANG_FRENCH, L"eSpeak NG French"}, {LANG_SPANISH, L"eSpeak NG Spanish"},
        {LANG_RUSSIAN, L"eSpeak NG Russian"}};
    for (const auto& [language, name] : expected) {
        ASSERT_NE(voices.FirstFor(language), nullptr) << language;
        EXPECT_EQ(voices.FirstFor(language)->name, name);
    }
    const std::wstring text = L"Guten Morgen, wie geht es Ihnen heute? Das Wetter ist schön, und wir gehen spazieren.";
    ASSERT_EQ(voice_->SetVoice(voices.FirstFor(LANG_GERMAN)->token.Get()), S_OK);
    const std::wstring path = Render(text, L"standin_voice_german.wav");
    const PcmAudio ours{48000, 2, ParseWave(ReadBytes(path)).samples};
    DeleteFileW(path.c_str());
    const PcmAudio german = EspeakReference(text, 175, L"de");
    const PcmAudio english = EspeakReference(text, 175, L"en");
    ASSERT_FALSE(german.samples.empty() || english.samples.empty()) << "espeak-ng did not render the references";
    const double voiced = VoicedSeconds(ours);
    EXPECT_NEAR(voiced / VoicedSeconds(german), 1.0, 0.05) << voiced << " s against German " << VoicedSeconds(german);
    EXPECT_GT(std::fabs(voiced / VoicedSeconds(english) - 1.0), 0.1) << voiced << " s against English " << VoicedSeconds(english);
}

// How high the voice is: the mean fundamental frequency of its loud 40 ms stretches, by
// where their autocorrelation peaks between 70 and 400 Hz.
double MeanPitchHz(const std::vector<int16_t>& samples)
{
    const size_t frames = samples.size() / 2, window = 1920, shortestLag = 120, longestLag = 685;
    auto at = [&](size_t frame) { return static_cast<double>(samples[2 * frame]); };
    double sum = 0;
    int counted = 0;
    for (size_t start = 0; start + window + longestLag < frames; start += window) {
        double energy = 0;
        for (size_t i = start; i < start + window; ++i)
            energy += at(i) * at(i);
        if (std::sqrt(energy / window) < 1000)
            continue;
        double best = 0;
        size_t bestLag = 0;
        for (size_t lag = shortestLag; lag <= longestLag; ++lag) {
            double correlation = 0;
            for (size_t i = start; i < start + window; ++i)
                correlation += at(i) * at(i + lag);
            if (correlation > best) {
                best = correlation;
                bestLag = lag;
            }
        }
        if (bestLag && best > 0.5 * energy) {
            sum += 48000.0 / static_cast<double>(bestLag);
            ++counted;
        }
    }
    return counted ? sum / counted : 0;
}

// The pitch of markup around a text raises the voice; its character references are heard
// as the characters they stand for, and words are reported in the markup.
TEST_F(EspeakVoice, MarkupPitchRaisesTheVoice)
{
    ASSERT_EQ(CreateSpeakingVoice(175), kEspeakName);
    const std::wstring text = L"Many voices sound calm and clear in the morning.";
    const auto plain = ParseWave(ReadBytes(Render(text, L"standin_voice_pitch_a.wav"))).samples;
    events.clear();
    const std::wstring markup = L"<pitch absmiddle=\"10\">" + text + L" &amp;</pitch>";
    const auto high = ParseWave(ReadBytes(Render(markup, L"standin_voice_pitch_b.wav"))).samples;
    for (const wchar_t* name : {L"standin_voice_pitch_a.wav", L"standin_voice_pitch_b.wav"})
        DeleteFileW(TempWavePath(name).c_str());
    ASSERT_FALSE(plain.empty() || high.empty());
    EXPECT_GT(MeanPitchHz(high), 1.2 * MeanPitchHz(plain)) << MeanPitchHz(high) << " Hz against " << MeanPitchHz(plain);
    const auto words = EventsOf(SPEI_WORD_BOUNDARY);
    ASSERT_FALSE(words.empty());
    EXPECT_EQ(words.front().lParam, static_cast<LPARAM>(markup.find(L"Many")));
    EXPECT_EQ(markup.substr(static_cast<size_t>(words.back().lParam), static_cast<size_t>(words.back().wParam)), L"&amp;");
}

TEST_F(EspeakVoice, OnTheDeviceWordsComeWithTheirSoundAndControlsActAtOnce)
{
    ASSERT_EQ(CreateSpeakingVoice(300), kEspeakName);
    std::vector<Span> words;
    const ULONGLONG start = GetTickCount64();
    const ULONG stream = Speak(Sentences(6, words));
    ASSERT_TRUE(WaitForWords(stream, 4));
    const double elapsedMs = static_cast<double>(GetTickCount64() - start);
    // Offsets are in the device's format, 16-bit mono at 22050 Hz. A word is raised when
    // its sound is reached, never before; somewhat after on a busy machine.
    const double soundMs = EventsOf(SPEI_WORD_BOUNDARY)[3].audioOffset / 44.1;
    EXPECT_GE(elapsedMs + 20, soundMs) << "the fourth word came before its sound";
    EXPECT_LE(elapsedMs, soundMs + 1000) << "the fourth word came long after its sound";

    const size_t current = WordIndex(words, PauseAndSettle(stream));
    const size_t before = Spans(SPEI_WORD_BOUNDARY, stream).size();
    EXPECT_FALSE(WaitForWords(stream, before + 1, 300)) << "a word while paused";
    ASSERT_EQ(voice_->Skip(L"Sentence", 1, nullptr), S_OK);
    ASSERT_EQ(voice_->Resume(), S_OK);
    ASSERT_TRUE(WaitForWords(stream, before + 1));
    EXPECT_EQ(Spans(SPEI_WORD_BOUNDARY, stream)[before], words[(current / 5 + 1) * 5]);

    const ULONGLONG purgeStart = GetTickCount64();
    Purge();
    EXPECT_LT(GetTickCount64() - purgeStart, 100u) << "purge did not silence the voice within 100 ms";
    const size_t atPurge = Spans(SPEI_WORD_BOUNDARY, stream).size();
    EXPECT_TRUE(WaitForEnd(stream));
    EXPECT_EQ(Spans(SPEI_WORD_BOUNDARY, stream).size(), atPurge);
}

// --- A stream of the caller's own ------------------------------------------------------

// What the program renders speech into: a free-threaded stream that tells its format and
// counts what it takes; while held, a write waits to be let go. Each write first collects
// the events raised so far with the bytes taken by then.
class CallerStream final : public ISpStreamFormat {
public:
    explicit CallerStream(const WAVEFORMATEX& format, ISpVoice* watched = nullptr) : format_(format), watched_(watched) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        const bool ours = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISequentialStream) ||
                          IsEqualIID(riid, IID_IStream) || IsEqualIID(riid, IID_ISpStreamFormat);
        *ppv = ours ? static_cast<ISpStreamFormat*>(this) : nullptr;
        if (ours)
            AddRef();
        return ours ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG n = --refs_;
        if (n == 0)
            delete this;
        return n;
    }
    STDMETHODIMP Write(const void*, ULONG cb, ULONG* written) override
    {
        std::unique_lock lock(mu_);
        ++waiting_;
        changed_.wait(lock, [&] { return !held_; });
        --waiting_;
        CollectLocked();
        bytes_ += cb;
        *written = cb;
        return S_OK;
    }
    STDMETHODIMP GetFormat(GUID* formatId, WAVEFORMATEX** format) override
    {
        *format = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
        **format = format_;
        *formatId = kWaveFormatEx;
        return S_OK;
    }
    STDMETHODIMP Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP Commit(DWORD) override { return S_OK; }
    STDMETHODIMP Revert() override { return E_NOTIMPL; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

    uint64_t Written()
    {
        std::lock_guard lock(mu_);
        return bytes_;
    }
    bool WriteWaits()
    {
        std::lock_guard lock(mu_);
        return waiting_ > 0;
    }
    void Hold(bool held)
    {
        std::lock_guard lock(mu_);
        held_ = held;
        changed_.notify_all();
    }
    std::vector<std::pair<Event, uint64_t>> Collect()
    {
        std::lock_guard lock(mu_);
        CollectLocked();
        return seen_;
    }

private:
    void CollectLocked()
    {
        SPEVENT e{};
        while (watched_ && watched_->GetEvents(1, &e, nullptr) == S_OK) {
            seen_.push_back({{e.eEventId, e.ulStreamNum, e.wParam, e.lParam, e.ullAudioStreamOffset}, bytes_});
            ReleaseEventParameter(e);
        }
    }

    const WAVEFORMATEX format_;
    ISpVoice* const watched_;
    std::atomic<ULONG> refs_{1};
    std::mutex mu_;
    std::condition_variable changed_;
    bool held_ = false;
    int waiting_ = 0;
    uint64_t bytes_ = 0;
    std::vector<std::pair<Event, uint64_t>> seen_;
};

// The default device's format, which the program asks of the voice and renders in.
const WAVEFORMATEX kDeviceFormat{WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0};

TEST_F(EspeakVoice, ACallersStreamTakesQueuedSpeechFasterThanRealTimeAtItsOwnPositions)
{
    ASSERT_EQ(CreateSpeakingVoice(175), kEspeakName);
    // The stream collects the events itself, as each write begins.
    drainedVoice = nullptr;
    CallerStream* adpcm = new CallerStream({2, 1, 22050, 11025, 512, 4, 0});
    EXPECT_EQ(voice_->SetOutput(adpcm, FALSE), static_cast<HRESULT>(0x80045003)); // SPERR_UNSUPPORTED_FORMAT
    adpcm->Release();
    CallerStream* sink = new CallerStream(kDeviceFormat, voice_);
    ASSERT_EQ(voice_->SetOutput(sink, FALSE), S_OK);

    const std::wstring texts[] = {L"Sixteen sailors sang softly.", L"Then the crowd listens, and says goodbye!"};
    const ULONGLONG start = GetTickCount64();
    Speak(texts[0]);
    const ULONG second = Speak(texts[1]);
    ASSERT_EQ(voice_->WaitUntilDone(20000), S_OK);
    const double elapsedMs = static_cast<double>(GetTickCount64() - start);
    const auto seen = sink->Collect();
    const uint64_t total = sink->Written();
    const double audioMs = 1000.0 * total / kDeviceFormat.nAvgBytesPerSec;
    EXPECT_GT(audioMs, 2000.0);
    EXPECT_LT(elapsedMs, audioMs / 2) << audioMs << " ms of speech took " << elapsedMs << " ms";

    // Offsets are positions in the stream: the second utterance goes on where the first ended.
    std::vector<ULONGLONG> starts, ends;
    std::vector<Span> words[2];
    ULONGLONG previous = 0;
    for (const auto& [e, writtenBefore] : seen) {
        if (e.id == SPEI_START_INPUT_STREAM)
            starts.push_back(e.audioOffset);
        else if (e.id == SPEI_END_INPUT_STREAM)
            ends.push_back(e.audioOffset);
        else if (e.id == SPEI_WORD_BOUNDARY) {
            words[e.stream == second].push_back({static_cast<ULONG>(e.lParam), static_cast<ULONG>(e.wParam)});
            EXPECT_LE(e.audioOffset, writtenBefore) << "a word raised before its sound was written";
            EXPECT_TRUE(previous == 0 || e.audioOffset > previous) << "word at " << e.lParam << " does not come later";
            previous = e.audioOffset;
        }
    }
    ASSERT_EQ(starts.size(), 2u);
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_EQ(starts[0], 0u);
    EXPECT_GT(ends[0], 0u);
    EXPECT_EQ(starts[1], ends[0]);
    EXPECT_EQ(ends[1], total);
    EXPECT_EQ(words[0], BlankSeparatedWords(texts[0]));
    EXPECT_EQ(words[1], BlankSeparatedWords(texts[1]));

    ASSERT_EQ(voice_->SetOutput(nullptr, FALSE), S_OK);
    sink->Release();
}

TEST_F(StandInVoice, AfterAPurgeACallersStreamGetsOnlyWhatIsSpokenNext)
{
    ASSERT_NE(CreateVoice(600), nullptr);
    CallerStream* sink = new CallerStream(kDeviceFormat);
    ASSERT_EQ(voice_->SetOutput(sink, FALSE), S_OK);
    ASSERT_EQ(voice_->Pause(), S_OK);
    const ULONG purged = Speak(NumberedWords(20));
    EXPECT_FALSE(PumpUntil([&] { return sink->Written() > 0; }, 300)) << "rendered while paused";

    // The program lets blocked writes go only after asking for the purge, from
    // another thread: the purge waits for the write, and nothing of it follows.
    sink->Hold(true);
    ASSERT_EQ(voice_->Resume(), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return sink->WriteWaits(); }, 5000));
    std::atomic<bool> returned{false};
    std::thread purger([&] {
        voice_->Speak(nullptr, SPF_PURGEBEFORESPEAK, nullptr);
        returned = true;
    });
    EXPECT_FALSE(PumpUntil([&] { return returned.load(); }, 300)) << "the purge returned during a write";
    sink->Hold(false);
    const bool purgeReturned = PumpUntil([&] { return returned.load(); }, 5000);
    purger.join();
    ASSERT_TRUE(purgeReturned);
    const uint64_t atPurge = sink->Written();
    EXPECT_GT(atPurge, 0u);
    EXPECT_FALSE(PumpUntil([&] { return sink->Written() != atPurge; }, 300)) << "purged audio came after the purge";
    EXPECT_TRUE(WaitForEnd(purged));

    const ULONG next = Speak(L"Next words.");
    ASSERT_TRUE(WaitForEnd(next));
    EXPECT_GT(sink->Written(), atPurge);
    const auto began = std::find_if(events.begin(), events.end(),
                                    [&](const Event& e) { return e.stream == next && e.id == SPEI_START_INPUT_STREAM; });
    ASSERT_NE(began, events.end());
    EXPECT_EQ(began->audioOffset, atPurge);
    ASSERT_EQ(voice_->SetOutput(nullptr, FALSE), S_OK);
    sink->Release();
}

// --- The helper's connection ----------------------------------------------------------

// Spoken to as the voice speaks to it, the helper answers every Cancel, whether its
// request is under way or long finished, and goes on with the next.
TEST(SpeechHelperProtocol, EveryCancelIsAnsweredAndTheHelperGoesOn)
{
    using namespace helper_protocol;
    SpeechHelper helper;
    ASSERT_TRUE(helper.Start(BinFolder() + L"\\clipvoce-espeak"));
    // Reads up to a message of this kind; false on a message of another request.
    const auto readTo = [&](uint32_t kind, uint32_t request) {
        HelperMessage message;
        for (const ULONGLONG deadline = GetTickCount64() + 5000; GetTickCount64() < deadline;) {
            const SpeechHelper::Received got = helper.Receive(message, 50);
            if (got == SpeechHelper::Received::Broken || (got == SpeechHelper::Received::Message && message.request != request))
                return false;
            if (got == SpeechHelper::Received::Message && message.kind == kind)
                return true;
        }
        return false;
    };
    ASSERT_TRUE(helper.SendSpeak(1, 175, L"A short one.") && readTo(kDone, 1));
    ASSERT_TRUE(helper.SendCancel(1));
    EXPECT_TRUE(readTo(kCancelled, 1)) << "a Cancel after the Done went unanswered";
    ASSERT_TRUE(helper.SendSpeak(2, 175, NumberedWords(60)) && readTo(kAudio, 2));
    ASSERT_TRUE(helper.SendCancel(2));
    EXPECT_TRUE(readTo(kDone, 2) && readTo(kCancelled, 2)) << "a Cancel under way went unanswered";
    EXPECT_TRUE(helper.SendSpeak(3, 175, L"Still here.") && readTo(kAudio, 3) && readTo(kDone, 3));
}

// The voice with stand-ins for its helper (tests/support/helper_standins.py, copied
// beside the test), each of which logs what it sees.
class HelperStandIns : public EspeakVoice {
protected:
    void SetUp() override
    {
        EspeakVoice::SetUp();
        log_ = L"/tmp/clipvoce-standin-" + std::to_wstring(GetCurrentProcessId());
        SetEnvironmentVariableW(L"CLIPVOCE_STANDIN_LOG", log_.c_str());
        SetEnvironmentVariableW(L"CLIPVOCE_ESPEAK_HELPER", (BinFolder() + L"\\helper_standins.py").c_str());
    }
    void TearDown() override
    {
        for (const wchar_t* name : {L"CLIPVOCE_STANDIN_LOG", L"CLIPVOCE_ESPEAK_HELPER", L"CLIPVOCE_STANDIN_ROLE",
                                    L"CLIPVOCE_STANDIN_PLAN", L"CLIPVOCE_STANDIN_SQUAT"})
            SetEnvironmentVariableW(name, nullptr);
        EspeakVoice::TearDown();
        DeleteFileW((L"Z:" + log_).c_str());
        DeleteFileW((L"Z:" + log_ + L".squat").c_str());
    }

    void UseFake(const wchar_t* plan)
    {
        SetEnvironmentVariableW(L"CLIPVOCE_STANDIN_ROLE", L"fake");
        SetEnvironmentVariableW(L"CLIPVOCE_STANDIN_PLAN", plan);
    }

    // What follows `prefix` on each line of the log that starts with it.
    std::vector<std::string> Logged(const std::string& prefix, const wchar_t* log = L"")
    {
        const std::vector<uint8_t> bytes = ReadBytes(L"Z:" + log_ + log);
        std::istringstream lines(std::string(bytes.begin(), bytes.end()));
        std::vector<std::string> found;
        for (std::string line; std::getline(lines, line);)
            if (line.compare(0, prefix.size(), prefix) == 0)
                found.push_back(line.substr(prefix.size()));
        return found;
    }

    ULONGLONG TimedPurge()
    {
        const ULONGLONG start = GetTickCount64();
        Purge();
        return GetTickCount64() - start;
    }

    std::wstring log_;
};

TEST_F(HelperStandIns, ASquatterOfAnotherUserGetsNoTextAndHoldsUpNothing)
{
    ULONGLONG start = GetTickCount64();
    ASSERT_EQ(CreateSpeakingVoice(175), kEspeakName);
    const ULONGLONG aloneMs = GetTickCount64() - start;
    drainedVoice = nullptr;
    voice_->Release();
    voice_ = nullptr;

    // Its two connections come before the helper's; one says nothing.
    SetEnvironmentVariableW(L"CLIPVOCE_STANDIN_SQUAT", L"1");
    start = GetTickCount64();
    ASSERT_EQ(CreateSpeakingVoice(175), kEspeakName) << "the helper was shut out";
    const ULONGLONG squattedMs = GetTickCount64() - start;
    EXPECT_LT(squattedMs, aloneMs + 1000) << "held up: " << squattedMs << " ms against " << aloneMs << " ms alone";
    const std::wstring secret = L"My bank PIN is 4321. The password is hunter2.";
    DeleteFileW(Render(secret, L"standin_voice_squatted.wav").c_str());
    EXPECT_EQ(Count(SPEI_WORD_BOUNDARY), 9);

    ASSERT_TRUE(PumpUntil([&] { return !Logged("silent_closed_ms=", L".squat").empty(); }, 25000)) << "no report";
    EXPECT_NE(Logged("uid=", L".squat").at(0), "0");
    EXPECT_EQ(Logged("silent_received=", L".squat").at(0), "0") << "the voice sent the squatter something";
    EXPECT_EQ(Logged("forger_received=", L".squat").at(0), "0") << "the voice sent the squatter something";
    // The helper's command line is its path and the port; a greeting without the key
    // is refused at once.
    const std::string arguments = Logged("arguments=", L".squat").at(0);
    EXPECT_EQ(std::count(arguments.begin(), arguments.end(), ' '), 1) << arguments;
    EXPECT_LT(std::stoi(Logged("forger_closed_ms=", L".squat").at(0)), 1000);
}

TEST_F(HelperStandIns, ABadMessageOrADeadHelperEndsTheConnectionNotTheReading)
{
    UseFake(L"good,forge,good,otherid,good,badsize,good,die");
    ASSERT_EQ(CreateSpeakingVoice(300), kEspeakName);
    std::vector<Span> words;
    const std::wstring path = Render(Sentences(5, words), L"standin_voice_fake.wav");
    const WaveFile wave = ParseWave(ReadBytes(path));
    DeleteFileW(path.c_str());
    // Every word once, in order, and all in the fake's silence, none in tones: a new
    // helper spoke each sentence the last one broke off.
    EXPECT_EQ(Spans(SPEI_WORD_BOUNDARY, 1), words);
    ASSERT_TRUE(wave.valid);
    EXPECT_TRUE(std::all_of(wave.samples.begin(), wave.samples.end(), [](int16_t v) { return v == 0; }));
    EXPECT_EQ(Logged("start").size(), 5u);
}

TEST_F(HelperStandIns, AStopNeverWaitsForTheHelperAndAHungOneIsReplaced)
{
    UseFake(L"hang");
    ASSERT_EQ(CreateSpeakingVoice(300), kEspeakName);
    std::vector<Span> words;
    ULONG stream = Speak(Sentences(2, words));
    ASSERT_TRUE(PumpUntil([&] { return !Logged("speak").empty(); }, 5000));
    EXPECT_LT(TimedPurge(), 100u) << "a stop waited for a hung helper";
    // The next text waits for the answer to the Cancel, which never comes.
    stream = Speak(Sentences(2, words));
    ASSERT_TRUE(PumpUntil([&] { return Count(SPEI_START_INPUT_STREAM, stream) > 0; }, 1000));
    EXPECT_LT(TimedPurge(), 100u) << "a stop waited for the answer to a Cancel";
    words.clear();
    stream = Speak(Sentences(1, words));
    EXPECT_TRUE(WaitForEnd(stream));
    EXPECT_EQ(Spans(SPEI_WORD_BOUNDARY, stream), words);
    EXPECT_EQ(Logged("speak"), (std::vector<std::string>{" hang", " good"})) << "not read by a new helper";
}

} // namespace
