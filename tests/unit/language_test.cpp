// The language of each paragraph and the voice that reads it: CLD2 on sentences of five
// languages, the rule for short paragraphs, and the reading queued a run at a time with
// each run's voice against a voice that records its calls.
#include <gtest/gtest.h>
#include <fstream>
#include <iostream>
#include <sstream>
#include "app_driver.h"
#include "file_bytes.h"
#include "in_process_app.h"
#include "settings/app_settings.h"
#include "settings/voice_settings.h"
#include "hearing/language_detect.h"
#include "hearing/paragraph_languages.h"
#include "voice/pitch_markup.h"
#include "voice/voice_catalog.h"
#include "pronunciation/pronunciation_store.h"
#include "resource.h"

namespace {

std::wstring Wide(const std::string& utf8)
{
    std::wstring text(utf8.size(), L'\0');
    text.resize(static_cast<size_t>(
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), static_cast<int>(text.size()))));
    return text;
}

std::vector<std::wstring> Sentences(const char* code)
{
    std::vector<std::wstring> sentences;
    std::istringstream lines(ReadBytes(Wide(std::string(CLIPVOCE_TEST_DATA_DIR "/sentences_") + code + ".txt")));
    for (std::string line; std::getline(lines, line);)
        if (!line.empty())
            sentences.push_back(Wide(line));
    return sentences;
}

TEST(LanguageDetection, SentencesOfFiveLanguages)
{
    int right[2] = {}, all[2] = {};
    for (const char* code : {"en", "de", "fr", "es", "ru"}) {
        const std::vector<std::wstring> sentences = Sentences(code);
        ASSERT_GE(sentences.size(), 60u) << code;
        const LanguageId expected = LanguageFromTag(Wide(code));
        for (const std::wstring& sentence : sentences) {
            const int kind = CountLetters(sentence, 60) >= 60 ? 0 : 1;
            ++all[kind];
            right[kind] += DetectLanguage(sentence).language == expected;
        }
    }
    ASSERT_GE(all[0] + all[1], 300);
    EXPECT_GE(right[0], all[0] * 97 / 100) << right[0] << " of " << all[0] << " sentences of 60 letters or more";
    std::cout << "right: " << right[0] << " of " << all[0] << " sentences of 60 letters or more, " << right[1]
              << " of " << all[1] << " shorter ones\n";
}

// A script of one language decides however short the text; Cyrillic is the detector's.
TEST(LanguageDetection, ScriptOfOneLanguageDecidesAtOnce)
{
    EXPECT_EQ(DetectLanguage(L"\u039a\u03b1\u03bb\u03b7\u03bc\u03ad\u03c1\u03b1").language, LANG_GREEK);
    EXPECT_EQ(DetectLanguage(L"\u3053\u3093\u306b\u3061\u306f\u4e16\u754c").language, LANG_JAPANESE);
    EXPECT_EQ(DetectLanguage(L"\uc548\ub155\ud558\uc138\uc694").language, LANG_KOREAN);
    EXPECT_EQ(DetectLanguage(L"12 + 7 = 19").language, NoLanguage);
}

const std::wstring English = L"The committee will publish its final report after the summer holidays are over.\r";
const std::wstring German = L"Die Kommission veröffentlicht ihren Abschlussbericht nach den Sommerferien.\r";
const std::wstring French = L"La commission publiera son rapport définitif après les vacances d'été.\r";
const std::wstring Italian = L"La commissione pubblicherà la relazione finale dopo le vacanze estive.\r";

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

std::pair<int, int> Selection(const InProcessApp& app)
{
    DWORD start = 0, end = 0;
    SendMessageW(app.view().Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {static_cast<int>(start), static_cast<int>(end)};
}

int At(const std::wstring& text, const std::wstring& part)
{
    return static_cast<int>(text.find(part));
}

TEST(ParagraphLanguagesTest, ShortParagraphsTakeTheLanguageBeforeThemOrAtTheStartAfter)
{
    const std::wstring text = L"Einleitung\r" + German + L"Ja, genau.\r" + English + L"OK\r\r" + French;
    ParagraphLanguages languages(std::make_shared<const std::wstring>(text));
    const LanguageRun first = languages.RunFrom(0);
    EXPECT_EQ(first.language, LANG_GERMAN);
    EXPECT_EQ(first.end, At(text, English)) << "the heading and the short answer are German";
    const LanguageRun second = languages.RunFrom(first.end);
    EXPECT_EQ(second.language, LANG_ENGLISH);
    EXPECT_EQ(second.end, At(text, French));
    const LanguageRun third = languages.RunFrom(At(text, French) + 5);
    EXPECT_EQ(third.language, LANG_FRENCH);
    EXPECT_EQ(third.end, static_cast<int>(text.size()));

    ParagraphLanguages shortOnly(std::make_shared<const std::wstring>(L"1.\r2.\r3.\r"));
    EXPECT_EQ(shortOnly.RunFrom(0).language, NoLanguage);
    EXPECT_EQ(shortOnly.RunFrom(0).end, 9);
}

// The stand-in's voices, as the program lists them: English, German, French, Spanish
// and Russian.
class VoiceRunsTest : public testing::Test {
protected:
    void SetUp() override
    {
        app_.voiceLister = VoiceCatalog::Enumerate;
        app_.reader().RefreshVoices();
        ASSERT_GE(app_.reader().Voices().Catalog().Voices().size(), 5u);
        ReaderProbe::SetNoteListener(app_.reader(), [this](const std::wstring& note) { notes_.push_back(note); });
    }

    void Read(const std::wstring& text)
    {
        app_.view().SetText(text.c_str());
        app_.reader().PrepareText();
        app_.voice.Take();
        app_.speech().Play();
    }

    // The voice reaches the word at position of the utterance it reads now.
    void Word(ULONG position, ULONG length)
    {
        app_.voice.SetWord(position, length);
        app_.voice.QueueEvent(SPEI_WORD_BOUNDARY);
        SendMessageW(app_.window(), WM_VOICE_EVENT, 0, 0);
    }

    void EndOfUtterance()
    {
        app_.voice.QueueEvent(SPEI_END_INPUT_STREAM);
        SendMessageW(app_.window(), WM_VOICE_EVENT, 0, 0);
    }

    InProcessApp app_;
    std::vector<std::wstring> notes_;
};

TEST_F(VoiceRunsTest, EachParagraphIsQueuedWithTheVoiceOfItsLanguageOneRunAhead)
{
    const std::wstring text = English + German + Italian + French;
    Read(text);
    EXPECT_EQ(app_.voice.Take(), (std::vector<std::wstring>{L"SetRate(-1)", L"SetVolume(100)", L"SetVoice(ClipvoceStandIn-EN)",
                                                            L"Speak", L"SetVoice(ClipvoceStandIn-DE)", L"Speak"}));
    EXPECT_EQ(app_.voice.spoken.back(), German);
    Word(4, 9);
    EXPECT_EQ(Selection(app_), std::make_pair(4, 13));
    EXPECT_EQ(app_.Caption().rfind(L"Speech window - playing EN   [ 1 / ", 0), 0u) << Narrow(app_.Caption());

    // The German run goes on, and the Italian one, without a voice, is queued with the
    // chosen voice (none chosen: the system's default); the note comes once its first
    // word is heard.
    EndOfUtterance();
    EXPECT_EQ(app_.voice.Take(), (std::vector<std::wstring>{L"SetVoice(default)", L"Speak"}));
    Word(4, 10);
    const int german = At(text, German);
    EXPECT_EQ(Selection(app_), std::make_pair(german + 4, german + 14));
    EXPECT_NE(app_.Caption().find(L"playing DE"), std::wstring::npos) << Narrow(app_.Caption());
    EndOfUtterance();
    app_.voice.Take();
    Word(0, 2);
    ASSERT_EQ(notes_.size(), 1u);
    EXPECT_NE(notes_[0].find(LanguageName(LANG_ITALIAN)), std::wstring::npos) << Narrow(notes_[0]);

    // Left from the Italian run's first sentence reads the German sentence before it.
    app_.voice.Take();
    app_.speech().StepSentence(-1);
    EXPECT_EQ(app_.voice.Take(), (std::vector<std::wstring>{L"Purge", L"SetVoice(ClipvoceStandIn-DE)", L"Speak",
                                                            L"SetVoice(default)", L"Speak"}));
    EXPECT_EQ(app_.voice.spoken[app_.voice.spoken.size() - 2], German);
}

// "Pronounce as..." offers the voice that reads the word, from the same runs as the reading.
TEST_F(VoiceRunsTest, AWordIsOfferedForTheVoiceThatReadsIt)
{
    const std::wstring text = English + German;
    Read(text);
    const VoiceCatalog& voices = app_.reader().Voices().Catalog();
    EXPECT_EQ(app_.reader().VoiceNameAt(4), voices.FirstFor(LANG_ENGLISH)->name);
    EXPECT_EQ(app_.reader().VoiceNameAt(At(text, German) + 4), voices.FirstFor(LANG_GERMAN)->name);
}

TEST_F(VoiceRunsTest, ChosenVoicesAndTheSwitchReachTheReadingAtOnce)
{
    AppSettings.voiceId = app_.reader().Voices().Catalog().Voices()[0].id;   // the first listed: German
    SetLanguageVoiceId(AppSettings, LANG_ENGLISH, app_.reader().Voices().Catalog().FirstFor(LANG_ENGLISH)->id);
    const std::wstring text = English + Italian;
    Read(text);
    EXPECT_EQ(app_.voice.Take(), (std::vector<std::wstring>{L"SetRate(-1)", L"SetVolume(100)", L"SetVoice(ClipvoceStandIn-EN)",
                                                            L"Speak", L"SetVoice(ClipvoceStandIn-DE)", L"Speak"}));
    Word(4, 9);

    // Off, the whole text is read as one by the chosen voice, from the word reached.
    AppSettings.readEachLanguage = false;
    AppSettings.volume = 30;
    app_.reader().Apply(SettingsChange::Voices);
    EXPECT_EQ(app_.voice.Take(), (std::vector<std::wstring>{L"SetRate(-1)", L"SetVolume(30)", L"Purge", L"Speak"}));
    EXPECT_EQ(app_.voice.lastSpoken, text.substr(4));
    EXPECT_EQ(CaptionWithoutLanguage(app_.Caption()), app_.Caption());
}

// An entry of the dictionary for one voice is heard where that voice reads, whichever
// voice is chosen; the highlight stays on the view's words after a longer respelling.
TEST_F(VoiceRunsTest, EachVoiceHearsTheDictionaryEntriesMeantForIt)
{
    PronunciationStoreRecord& store = app_.state().pronunciations;
    const std::wstring english = app_.reader().Voices().Catalog().FirstFor(LANG_ENGLISH)->name;
    const std::wstring german = app_.reader().Voices().Catalog().FirstFor(LANG_GERMAN)->name;
    auto entry = [](const wchar_t* pattern, const wchar_t* replacement, const std::wstring& voice) {
        PronunciationEntry e;
        e.pattern = pattern;
        e.replacement = replacement;
        e.voice = voice;
        return e;
    };
    store.dictionary.entries = {entry(L"report", L"ree-port", english), entry(L"report", L"Bericht", german),
                                entry(L"Sommerferien", L"Sommer Ferien", german),
                                entry(L"Kommission", L"Commission", english)};
    ++store.version;
    const std::wstring text = English + German;
    Read(text);
    app_.voice.Take();
    ASSERT_EQ(app_.voice.spoken.size(), 2u);
    EXPECT_EQ(Narrow(app_.voice.spoken[0]), Narrow(English.substr(0, 37) + L"ree-port" + English.substr(43)));
    EXPECT_EQ(Narrow(app_.voice.spoken[1]), Narrow(German.substr(0, 62) + L"Sommer Ferien" + German.substr(74)));
    EndOfUtterance();
    Word(4, 10);
    const int at = At(text, German);
    EXPECT_EQ(Selection(app_), std::make_pair(at + 4, at + 14));
}

// Where the system has the newer voice category, its voices are listed after the
// classic ones; a voice installed in both is listed once.
TEST(VoiceCatalogTest, VoicesOfTheOneCoreCategoryAreListedToo)
{
    const std::wstring tokens = L"SOFTWARE\\Microsoft\\Speech_OneCore\\Voices\\Tokens\\";
    // Outlives the catalogues, whose tokens must go before COM does.
    struct ComAndCategory {
        ComAndCategory() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
        ~ComAndCategory()
        {
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Speech_OneCore");
            CoUninitialize();
        }
    } com;
    auto install = [&](const wchar_t* key, const std::wstring& name, const std::wstring& language) {
        HKEY token = nullptr, attributes = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (tokens + key + L"\\Attributes").c_str(), 0, nullptr, 0,
                                  KEY_WRITE, nullptr, &attributes, nullptr), ERROR_SUCCESS);
        RegSetValueExW(attributes, L"Language", 0, REG_SZ, reinterpret_cast<const BYTE*>(language.c_str()),
                       static_cast<DWORD>((language.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(attributes);
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, (tokens + key).c_str(), 0, KEY_WRITE, &token), ERROR_SUCCESS);
        RegSetValueExW(token, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                       static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(token);
    };
    const VoiceCatalog before = VoiceCatalog::Enumerate(L"");
    ASSERT_TRUE(before.FirstFor(LANG_GERMAN));
    install(L"TestItalian", L"Test Italian", L"410");
    install(L"TestGerman", before.FirstFor(LANG_GERMAN)->name, L"407");

    const VoiceCatalog after = VoiceCatalog::Enumerate(L"");
    ASSERT_EQ(after.Voices().size(), before.Voices().size() + 1);
    const InstalledVoice& italian = after.Voices().back();
    EXPECT_EQ(Narrow(italian.name), "Test Italian");
    EXPECT_NE(italian.id.find(L"Speech_OneCore"), std::wstring::npos) << Narrow(italian.id);
    EXPECT_EQ(after.FirstFor(LANG_ITALIAN), &italian);
    EXPECT_EQ(after.Find(italian.id), &italian);
}

// The pitch goes to the voice as markup around the text; the words the voice reports in
// the markup are highlighted where they are in the view.
TEST(PitchMarkupTest, WordsOfTheMarkupAreTheViewsWords)
{
    const SpokenText markup = PitchMarkup(L"Fish & chips <3 x", 4);
    EXPECT_EQ(markup.Text(), L"<pitch absmiddle=\"4\">Fish &amp; chips &lt;3 x</pitch>");
    const int tag = static_cast<int>(markup.Text().find(L"Fish"));
    auto range = [&](int start, int end) {
        const TextRange word = markup.ViewRange(start, end);
        return std::make_pair(word.start, word.end);
    };
    EXPECT_EQ(range(tag + 5, tag + 10), std::make_pair(5, 6));     // "&amp;"
    EXPECT_EQ(range(tag + 17, tag + 22), std::make_pair(13, 15));  // "&lt;3"

    InProcessApp app;
    AppSettings.pitch = 4;
    app.view().SetText(L"Fish & chips <3 today.");
    app.reader().PrepareText();
    app.speech().Play();
    EXPECT_EQ(app.voice.lastSpoken, L"<pitch absmiddle=\"4\">Fish &amp; chips &lt;3 today.</pitch>");
    app.voice.SetWord(tag + 17, 5);
    app.voice.QueueEvent(SPEI_WORD_BOUNDARY);
    SendMessageW(app.window(), WM_VOICE_EVENT, 0, 0);
    EXPECT_EQ(Selection(app), std::make_pair(13, 15));
}

} // namespace
