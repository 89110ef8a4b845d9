// What the voice hears of a copied text: each listening filter on its own, all of them
// together, and the map from spoken positions back to the view.
#include <gtest/gtest.h>
#include <random>
#include "in_process_app.h"
#include "resource.h"
#include "settings/ini_file.h"
#include "settings/listening_settings.h"
#include "pump.h"
#include "hearing/listening_filters.h"
#include "view/text_view_control.h"
#include "view_pixels.h"
#include "view/normalise.h"

namespace {

struct Prepared {
    std::wstring text;
    PreparationMarks marks;
};

Prepared Prepare(const std::wstring& copied)
{
    Prepared p;
    p.text = NormaliseText(copied, &p.marks);
    return p;
}

constexpr ListeningFilters None{false, false, false, false, false, false};

ListeningFilters Only(bool ListeningFilters::*filter)
{
    ListeningFilters f = None;
    f.*filter = true;
    return f;
}

std::wstring Heard(const std::wstring& copied, const ListeningFilters& filters)
{
    const Prepared p = Prepare(copied);
    return FilterForListening(p.text, p.marks, filters).Text();
}

struct Row {
    bool ListeningFilters::*filter;
    const wchar_t* copied;   // line breaks as the view holds them: CR
    const wchar_t* heard;
};

const Row Rows[] = {
    // A line that goes on in small letters goes on the sentence; capitals, digits,
    // bullets, empty lines and a sentence's own end do not.
    {&ListeningFilters::joinLines, L"a text wrapped\rat the margin goes\ron. Next", L"a text wrapped at the margin goes on. Next"},
    {&ListeningFilters::joinLines, L"Results\rThe data\r2 apples\r- pear\r\rnext", L"Results.\rThe data.\r2 apples.\r- pear.\r\rnext"},
    {&ListeningFilters::joinLines, L"Done.\rnext and (so\r(see this", L"Done.\rnext and (so (see this"},
    {&ListeningFilters::joinLines, L"fruit, e.g.\rapples, 3.14 and\ri.e. pears", L"fruit, e.g. apples, 3.14 and i.e. pears"},
    {&ListeningFilters::joinLines, L"costs 3.\r14 now", L"costs 3.\r14 now"},
    // Hyphenated words; real hyphens and dashes stay.
    {&ListeningFilters::joinHyphens, L"to treat-\red them", L"to treated them"},
    {&ListeningFilters::joinHyphens, L"well-known, 2019-\r2020, word -\rnext, self-\rDriving",
     L"well-known, 2019-.\r2020, word -.\rnext, self-.\rDriving"},
    // Web addresses, also at a sentence end and in brackets.
    {&ListeningFilters::webAddresses, L"See https://www.example.com/a/b?c=1 now.", L"See link, example.com now."},
    {&ListeningFilters::webAddresses, L"Visit www.example.org.", L"Visit link, example.org."},
    {&ListeningFilters::webAddresses, L"(https://en.wikipedia.org/wiki/Foo_(bar)), http://user@host.net:80/x",
     L"(link, en.wikipedia.org), link, host.net"},
    {&ListeningFilters::webAddresses, L"the www.s and https:// and a/b", L"the www.s and https:   and a b"},
    // An address wrapped at a line's end is one address; a link on a line of its own
    // before prose, or before a new sentence, leaves the next line alone.
    {&ListeningFilters::webAddresses, L"at https://www.example.com/reports/annual-report-\rfinal-version.pdf?utm_source=news&"
                                      L"\rutm_medium=email today [12].",
     L"at link, example.com today [12]."},
    {&ListeningFilters::webAddresses, L"See www.example.org/a/\rb.html?x=1 and https://a.io/p\rThanks, Bob",
     L"See link, example.org and link, a.io.\rThanks, Bob"},
    {&ListeningFilters::webAddresses, L"Go to https://a.io/docs.\rThe end, https://b.io/x-\r\rnext",
     L"Go to link, a.io.\rThe end, link, b.io.\r\rnext"},
    // Citation marks; brackets and parentheses that hold something else stay.
    {&ListeningFilters::citations, L"as shown [12]. Also [3\x2013" L"5] and [3, 7] here", L"as shown. Also and here"},
    {&ListeningFilters::citations, L"nested [[1], [2]] and ([4]) marks", L"nested and () marks"},
    {&ListeningFilters::citations, L"found (Smith, 2020). Then (Smith et al., 2020; Lee 2019), so",
     L"found. Then, so"},
    {&ListeningFilters::citations, L"as (see Smith and Jones, 2019, p. 4) said", L"as said"},
    {&ListeningFilters::citations, L"wrapped (Smith et al., 2020;\rLee 2019) and [3,\r4]. End", L"wrapped and. End"},
    {&ListeningFilters::citations, L"the list [a, b], (Windows 2000), (2020) and (Table 2)",
     L"the list [a, b], (Windows 2000), (2020) and (Table 2)"},
    // Markdown marks: the words inside stay.
    {&ListeningFilters::markdown, L"## A **bold** and _it_ word\rplain", L"A bold and it word.\rplain"},
    {&ListeningFilters::markdown, L"snake_case, 2*3, a * b, C# and #1\r#tag", L"snake_case, 2*3, a * b, C# and #1.\r#tag"},
    {&ListeningFilters::markdown, L"use `x = 1` now\r> quoted\r- item\r* star\r\x2022 dot", L"use x = 1 now.\rquoted.\ritem.\rstar.\rdot"},
    {&ListeningFilters::markdown, L"#\rAbove\r---\rBelow", L".\rAbove.\r.\rBelow"},
    {&ListeningFilters::markdown, L"| a | b |\r|---|:-:|\r| 1 | 2 |", L" a  b .\r.\r 1  2 "},
    {&ListeningFilters::markdown, L"Try:\r```js\rlet a = 1;\r```\rDone", L"Try:.\rcode.\rDone"},
    {&ListeningFilters::markdown, L"Open:\r~~~\rno end", L"Open:.\rcode"},
    // Emoji with joiners, skin tones, flags and presentation selectors.
    {&ListeningFilters::emoji, L"Great job \U0001F389! Family \U0001F468\x200D\U0001F469\x200D\U0001F467 here",
     L"Great job! Family here"},
    {&ListeningFilters::emoji, L"Wave \U0001F44B\U0001F3FD hi, \U0001F1E9\U0001F1EA and \x2764\xFE0F love",
     L"Wave hi, and love"},
    {&ListeningFilters::emoji, L"Keep \x00A9, \x2192 and \x4E2D\x6587", L"Keep \x00A9, \x2192 and \x4E2D\x6587"},
};

TEST(Listening, EachFilterOnItsOwn)
{
    for (const Row& row : Rows) {
        EXPECT_EQ(Heard(row.copied, Only(row.filter)), row.heard) << "copied: " << testing::PrintToString(std::wstring(row.copied));
        // Off, the voice hears the prepared text as it stands.
        EXPECT_EQ(Heard(row.copied, None), NormaliseText(row.copied));
    }
}

// The full stop preparation puts at a wrapped line's end is not heard, so it is dimmed
// like any skipped text; the line break it stood before is heard as a blank.
TEST(Listening, TheStopOfAJoinedLineIsSkipped)
{
    const Prepared p = Prepare(L"a text wrapped\rat the margin");
    const SpokenText spoken = FilterForListening(p.text, p.marks, Only(&ListeningFilters::joinLines));
    const int stop = static_cast<int>(p.text.find(L".\r"));
    ASSERT_GT(stop, 0) << testing::PrintToString(p.text);
    const auto skipped = spoken.SkippedRanges();
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_EQ(skipped[0].start, stop);
    EXPECT_EQ(skipped[0].end, stop + 1);
}

const wchar_t Mixed[] = L"# Notes on **reading**\r"
                        L"A paragraph copied from a PDF is wrap-\rped at the margin and goes\r"
                        L"on with a link https://www.example.com/some/path?q=1 and a cite [12].\r"
                        L"Studies agree (Smith et al., 2020; Lee 2019). Great \U0001F44D\U0001F3FB!\r"
                        L"- a `list` item\r| x | y |\r```\rcode()\r```\rThe end, e.g.\rhere.";

TEST(Listening, AllFiltersTogether)
{
    EXPECT_EQ(Heard(Mixed, ListeningFilters{}),
              L"Notes on reading.\r"
              L"A paragraph copied from a PDF is wrapped at the margin and goes "
              L"on with a link link, example.com and a cite.\r"
              L"Studies agree. Great!\r"
              L"a list item.\r x  y .\rcode.\rThe end, e.g. here.");
}

// Every spoken word leads back to the view: its first character is its own there (or
// the start of what it stands for), no word starts in a skipped range, and the view
// position leads back to the same word.
void ExpectWordsRoundTrip(const std::wstring& copied)
{
    const Prepared p = Prepare(copied);
    const SpokenText spoken = FilterForListening(p.text, p.marks, ListeningFilters{});
    const std::wstring& heard = spoken.Text();
    const auto skipped = spoken.SkippedRanges();
    int lastView = -1;
    for (size_t start = 0; start < heard.size();) {
        if (heard[start] == L' ' || heard[start] == L'\r') {
            ++start;
            continue;
        }
        size_t end = heard.find_first_of(L" \r", start);
        end = end == std::wstring::npos ? heard.size() : end;
        const TextRange view = spoken.ViewRange(static_cast<int>(start), static_cast<int>(end));
        ASSERT_LE(view.start, view.end);
        ASSERT_GT(view.start, lastView) << "words go forward in the view";
        lastView = view.start;
        EXPECT_EQ(spoken.SpokenPosition(view.start), static_cast<int>(start)) << "at spoken " << start;
        for (const TextRange& r : skipped)
            EXPECT_FALSE(view.start >= r.start && view.start < r.end) << "word at spoken " << start << " starts skipped";
        start = end;
    }
}

TEST(Listening, MapLeadsEveryWordBackToTheView)
{
    ExpectWordsRoundTrip(Mixed);
    const Prepared p = Prepare(L"to treat-\red them, see www.example.org/x [3].");
    const SpokenText spoken = FilterForListening(p.text, p.marks, ListeningFilters{});
    ASSERT_EQ(spoken.Text(), L"to treated them, see link, example.org.");
    // "treated" covers both parts; "link," stands for "www."; the path and mark are skipped.
    const TextRange treated = spoken.ViewRange(3, 10);
    EXPECT_EQ(p.text.substr(treated.start, treated.end - treated.start), L"treat-.\red");
    const TextRange link = spoken.ViewRange(21, 26);
    EXPECT_EQ(p.text.substr(link.start, link.end - link.start), L"www.");
    // The full stop after the skipped path and mark does not pull the highlight over them.
    const TextRange site = spoken.ViewRange(27, 39);
    EXPECT_EQ(p.text.substr(site.start, site.end - site.start), L"example.org");
    // A sentence's range, which its tint covers, holds them up to its full stop.
    const TextRange sentence = spoken.ViewRange(0, 39, SpokenText::Reach::Sentence);
    EXPECT_EQ(p.text.substr(sentence.start, sentence.end - sentence.start), p.text);
    const auto skipped = spoken.SkippedRanges();
    ASSERT_EQ(skipped.size(), 2u);
    EXPECT_EQ(p.text.substr(skipped[1].start, skipped[1].end - skipped[1].start), L" x [3]");
    EXPECT_EQ(spoken.ViewPosition(static_cast<int>(spoken.Text().size())), static_cast<int>(p.text.size()));
}

const wchar_t* const Pieces[] = {L"word ", L"Word ", L"wrap-\r", L"line\r", L"\r", L"**", L"_", L"`", L"# ",
                                     L"- ", L"| ", L"[12] ", L"(Lee, 2019) ", L"https://a.io/b ", L"\U0001F600",
                                     L"e.g.\r", L"```\r", L". ", L"\x200D", L"www.x.org "};

std::wstring RandomText(std::mt19937& random, int pieces)
{
    std::wstring text;
    for (int i = pieces; i > 0; --i)
        text += Pieces[random() % std::size(Pieces)];
    return text;
}

TEST(Listening, RandomTextsMapForwardAndBack)
{
    std::mt19937 random(2024);
    for (int round = 0; round < 300; ++round) {
        const std::wstring text = RandomText(random, random() % 40);
        ExpectWordsRoundTrip(text);
        if (HasFailure())
            FAIL() << "round " << round << ": " << testing::PrintToString(text);
    }
}

// A copy appended to a long text is filtered from near the old end only, with the
// same result as filtering the whole.
TEST(Listening, AGrownTextIsHeardAsIfFilteredWhole)
{
    std::mt19937 random(77);
    for (int round = 0; round < 40; ++round) {
        const std::wstring head = RandomText(random, 200 + random() % 800) + L" ";
        const std::wstring tail = RandomText(random, random() % 30);
        Prepared p = Prepare(head);
        const SpokenText earlier = FilterForListening(p.text, p.marks, ListeningFilters{});
        const int from = static_cast<int>(p.text.size());
        std::wstring part(2 * tail.size() + 1, L'\0');
        part.resize(NormaliseText(tail.c_str(), part.data(), p.text.back(), &p.marks, from));
        p.text += part;
        const SpokenText whole = FilterForListening(p.text, p.marks, ListeningFilters{});
        const SpokenText grown = ExtendFilteredText(earlier, p.text, p.marks, ListeningFilters{}, from);
        ASSERT_EQ(grown.Text(), whole.Text()) << "round " << round;
        for (int at = 0; at <= static_cast<int>(whole.Text().size()); ++at)
            ASSERT_EQ(grown.ViewPosition(at), whole.ViewPosition(at)) << "round " << round << ", spoken " << at;
        ASSERT_EQ(grown.SkippedRanges().size(), whole.SkippedRanges().size()) << "round " << round;
    }
}

// The [listening] section holds only filters turned off, and a key once written; anything
// but 0 or 1 reads as on.
TEST(ListeningSettings, OnlyChangedFiltersAreWrittenAndDamagedOnesReadAsOn)
{
    CIniFile file;
    AppSettingsRecord settings;
    WriteListeningSettings(file, settings);
    EXPECT_EQ(file.FindSection(L"listening"), -1) << "nothing changed, nothing written";

    settings.listening.citations = false;
    WriteListeningSettings(file, settings);
    AppSettingsRecord read;
    ReadListeningSettings(file, read);
    EXPECT_FALSE(read.listening.citations);
    EXPECT_TRUE(read.listening.emoji);
    EXPECT_EQ(file.FindKey(file.FindSection(L"listening"), L"emoji"), -1);

    settings.listening.citations = true;
    WriteListeningSettings(file, settings);
    EXPECT_EQ(file.GetValue(L"listening", L"citations", L""), L"1") << "turned on again, it must not stay off";
    for (const wchar_t* damaged : {L"", L"yes", L"2", L" 0", L"-1"}) {
        file.SetValue(L"listening", L"markdown", damaged);
        read.listening.markdown = false;
        ReadListeningSettings(file, read);
        EXPECT_TRUE(read.listening.markdown) << testing::PrintToString(std::wstring(damaged));
    }
}

std::wstring Selected(const InProcessApp& app)
{
    DWORD start = 0, end = 0;
    SendMessageW(app.view().Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return app.view().Text().substr(start, end - start);
}

void SpeakWord(InProcessApp& app, const std::wstring& heard, const wchar_t* word)
{
    app.voice.SetWord(static_cast<ULONG>(heard.find(word)), static_cast<ULONG>(wcslen(word)));
    app.voice.QueueEvent(SPEI_WORD_BOUNDARY);
    SendMessageW(app.window(), WM_VOICE_EVENT, 0, 0);
}

// The reader gives the voice the spoken text and takes its word positions back to the
// view: the highlight, the caret at the end, Ctrl+click, appended text and the export.
TEST(Listening, TheReadingGoesThroughTheMap)
{
    InProcessApp app(SW_SHOWNORMAL);
    std::wstring text = L"One wrap-\rped line, see https://www.a.org/b/c now [1].\rTwo here.";
    for (int i = 0; i < 40; ++i)
        text += L"\rMore lines of text [2].";
    app.view().SetText(text.c_str());
    app.reader().PrepareText();
    app.speech().Play();
    const std::wstring heard = app.voice.lastSpoken;
    ASSERT_EQ(heard.rfind(L"One wrapped line, see link, a.org now.\rTwo here.\r", 0), 0u) << testing::PrintToString(heard);
    SpeakWord(app, heard, L"wrapped");
    EXPECT_EQ(Selected(app), L"wrap-.\rped");
    SpeakWord(app, heard, L"now.");
    EXPECT_EQ(Selected(app), L"now");

    // Ctrl+click from a line further down starts with that line's sentence as heard.
    app.speech().Stop();
    SendMessageW(app.view().Handle(), EM_LINESCROLL, 0, 20);
    const int firstVisible = app.view().LineIndex(app.view().FirstVisibleLine());
    app.reader().Do(ReadingCommand::StartAtFirstVisibleLine);
    EXPECT_EQ(app.voice.lastSpoken.rfind(L"More lines of text.\rMore", 0), 0u) << testing::PrintToString(app.voice.lastSpoken.substr(0, 40));
    SpeakWord(app, app.voice.lastSpoken, L"lines");
    DWORD start = 0;
    SendMessageW(app.view().Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
    EXPECT_EQ(static_cast<int>(start), firstVisible + 5);

    // Turning a filter off while reading goes on from the word reached, as now heard.
    app.voice.Take();
    AppSettings.listening.citations = false;
    app.reader().Apply(SettingsChange::Listening);
    EXPECT_EQ(app.voice.Take(), (std::vector<std::wstring>{L"Purge", L"Speak"}));
    EXPECT_EQ(app.voice.lastSpoken.rfind(L"lines of text [2].", 0), 0u);
}

// What is not heard is drawn dimmer, in whatever colours the text has, and only while the
// whole text shows; the reader's highlight is drawn as it was.
TEST(Listening, SkippedTextIsDimmedInTheView)
{
    InProcessApp app(SW_SHOWNORMAL);
    app.view().SetText(L"See [12] and **this**.");
    app.reader().PrepareText();
    app.view().Select(0, 3);
    const HWND view = app.view().Handle();
    const auto shows = [&](COLORREF colour) {
        RedrawWindow(view, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        return ViewShows(view, colour);
    };
    EXPECT_TRUE(shows(DimmedColour(RGB(0, 0, 0), RGB(255, 255, 255)))) << "the citation mark was not dimmed";
    EXPECT_TRUE(shows(RGB(0, 0, 0))) << "the heard text is not drawn";
    EXPECT_TRUE(shows(GetSysColor(COLOR_HIGHLIGHT))) << "the highlight is gone";

    AppSettings.textColour = RGB(255, 255, 0);
    AppSettings.backgroundColour = RGB(0, 0, 64);
    app.reader().Apply(SettingsChange::FontAndColours);
    EXPECT_TRUE(shows(DimmedColour(RGB(255, 255, 0), RGB(0, 0, 64))));
    EXPECT_TRUE(shows(RGB(255, 255, 0)));

    // With nothing selected, played-text mode shows nothing at all.
    AppSettings.showFullText = false;
    app.reader().Apply(SettingsChange::FontAndColours);
    app.view().Select(0, 0);
    EXPECT_FALSE(shows(DimmedColour(RGB(255, 255, 0), RGB(0, 0, 64)))) << "unspoken text showed";
    EXPECT_FALSE(shows(RGB(255, 255, 0))) << "unspoken text showed";
    AppSettings.showFullText = true;
}

} // namespace
