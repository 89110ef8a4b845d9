// Figures for the pronunciation dictionary: a dictionary of 1,000 entries (100 of them
// regular expressions, the rest whole words and stretches anywhere, some case-sensitive)
// made ready and applied to texts of growing length, with and without the listening
// filters before it; and, for comparison, the standard library's engine on a tenth of the
// regular expressions. Prints figures; asserts nothing.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>
#include "pronunciation/pronouncer.h"
#include "settings/app_settings.h"
#include "hearing/listening_filters.h"
#include "hearing/pronounced_text.h"
#include "view/normalise.h"

namespace {

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <class Work>
double BestOf(int rounds, Work&& work)
{
    double best = 1e9;
    for (int round = 0; round < rounds; ++round) {
        LARGE_INTEGER a, b;
        QueryPerformanceCounter(&a);
        work();
        QueryPerformanceCounter(&b);
        best = std::min(best, Milliseconds(a, b));
    }
    return best;
}

PronunciationEntry Entry(std::wstring pattern, std::wstring replacement, MatchType type, bool caseSensitive = false)
{
    PronunciationEntry e;
    e.pattern = std::move(pattern);
    e.replacement = std::move(replacement);
    e.type = type;
    e.caseSensitive = caseSensitive;
    return e;
}

std::wstring N(int i) { return std::to_wstring(i); }

std::vector<PronunciationEntry> MakeDictionary()
{
    std::vector<PronunciationEntry> entries;
    for (int i = 0; i < 600; ++i)
        entries.push_back(Entry(L"Name" + N(i), L"name number " + N(i), MatchType::WholeWord, i % 5 == 0));
    for (int i = 0; i < 300; ++i)
        entries.push_back(Entry(L"xq" + N(i) + L"z", L"ex queue " + N(i), MatchType::Anywhere, i % 7 == 0));
    for (int i = 0; i < 100; ++i) {
        switch (i % 5) {
        case 0:  entries.push_back(Entry(L"\\btag" + N(i) + L"-(\\d+)\\b", L"tag " + N(i) + L" \\1", MatchType::RegularExpression)); break;
        case 1:  entries.push_back(Entry(L"\\bcolou?r" + N(i) + L"s?\\b", L"colour", MatchType::RegularExpression)); break;
        case 2:  entries.push_back(Entry(L"(?<=\\d)unit" + N(i) + L"\\b", L" units", MatchType::RegularExpression)); break;
        case 3:  entries.push_back(Entry(L"\\b(\\w+)@site" + N(i) + L"\\.org\\b", L"\\1 at site", MatchType::RegularExpression)); break;
        default: entries.push_back(Entry(L"\\b(\\d{1,3}),(\\d{3})\\.(\\d" + N(i % 10) + L")\\b", L"\\1\\2 point \\3", MatchType::RegularExpression)); break;
        }
    }
    return entries;
}

// Text of about `characters` characters: ordinary words with some of the dictionary's
// names, codes and patterns among them, in sentences and wrapped lines.
std::wstring MakeText(size_t characters)
{
    const std::vector<std::wstring> words = {
        L"the", L"reading", L"of", L"a", L"text", L"aloud", L"helps", L"people", L"follow", L"long", L"papers,",
        L"and", L"it", L"is", L"read", L"by", L"voice", L"with", L"care.", L"Some", L"words", L"are", L"hard",
        L"to", L"say", L"so", L"they", L"get", L"entries", L"in", L"dictionary.", L"2024", L"results", L"show",
    };
    std::wstring text;
    text.reserve(characters + 64);
    unsigned seed = 12345;
    size_t lineStart = 0;
    while (text.size() < characters) {
        seed = seed * 1103515245 + 12345;
        const unsigned pick = (seed >> 8) % 1000;
        if (pick < 30)
            text += L"Name" + N(pick * 20);
        else if (pick < 45)
            text += L"fooxq" + N(pick * 7) + L"zbar";
        else if (pick < 50)
            text += L"tag" + N((pick % 20) * 5) + L"-" + N(pick);
        else if (pick < 53)
            text += N(pick) + L"unit" + N((pick % 20) * 5 + 2);
        else if (pick < 55)
            text += L"bob@site" + N((pick % 20) * 5 + 3) + L".org";
        else if (pick < 57)
            text += L"1,234.5";
        else
            text += words[pick % words.size()];
        if (text.size() - lineStart > 70) {
            text += L'\r';
            lineStart = text.size();
        } else {
            text += L' ';
        }
    }
    return text;
}

void BenchDictionary()
{
    const std::vector<PronunciationEntry> entries = MakeDictionary();
    std::unique_ptr<Pronouncer> pronouncer;
    const double ready = BestOf(3, [&] { pronouncer = std::make_unique<Pronouncer>(entries, L""); });
    std::printf("1,000 entries (100 regular expressions) made ready: %.2f ms\n", ready);
    {
        const std::wstring text = MakeText(100'000);
        const std::vector<PronunciationEntry> words(entries.begin(), entries.begin() + 900);
        const Pronouncer literal(words, L"");
        std::printf("  the 900 words and stretches alone on 100,000 characters: %.2f ms\n",
                    BestOf(5, [&] { literal.Replacements(text); }));
        for (int kind = 0; kind < 5; ++kind) {
            std::vector<PronunciationEntry> some;
            for (int i = kind; i < 100; i += 5)
                some.push_back(entries[900 + i]);
            const Pronouncer regex(some, L"");
            std::printf("  20 regular expressions like %ls: %.2f ms\n", some[0].pattern.c_str(),
                        BestOf(5, [&] { regex.Replacements(text); }));
        }
    }
    std::printf("applied to a text (best of 5):\n");
    for (size_t characters : {50'000u, 100'000u, 200'000u, 400'000u, 1'000'000u}) {
        const std::wstring text = MakeText(characters);
        size_t changes = 0;
        const double find = BestOf(5, [&] { changes = pronouncer->Replacements(text).size(); });
        PreparationMarks marks;
        const std::wstring prepared = NormaliseText(text, &marks);
        const SpokenText filtered = FilterForListening(prepared, marks, ListeningFilters{});
        const double mapped = BestOf(5, [&] {
            const SpokenText spoken = WithReplacements(filtered, pronouncer->Replacements(filtered.Text()));
            (void)spoken;
        });
        // Copied text mostly holds some typographic quote or dash, which takes the
        // regular expressions' Unicode form.
        std::wstring typographic = text;
        for (size_t i = 40; i < typographic.size(); i += 400)
            typographic[i] = 0x2019;
        const double unicode = BestOf(5, [&] { pronouncer->Replacements(typographic); });
        // A letter outside ASCII ("caf\xE9") takes the regular expressions' Unicode form.
        std::wstring accented = typographic;
        for (size_t i = 240; i < accented.size(); i += 4000)
            accented[i] = 0xE9;
        const double letters = BestOf(5, [&] { pronouncer->Replacements(accented); });
        std::printf("  %7zu characters: %7.2f ms to find %6zu changes, %7.2f ms with the map after the filters (%.3f ms per 1,000 characters), %7.2f ms to find them with typographic quotes, %7.2f ms with accented letters\n",
                    characters, find, changes, mapped, mapped * 1000.0 / static_cast<double>(characters), unicode, letters);
        std::fflush(stdout);
    }
}

// The standard library's engine on ten of the regular expressions it can take.
void BenchStandardRegex()
{
    const std::wstring text = MakeText(100'000);
    std::vector<std::wregex> patterns;
    for (int i = 0; i < 10; ++i)
        patterns.emplace_back(i % 2 ? L"\\btag" + N(i * 5) + L"-(\\d+)\\b" : L"\\b(\\w+)@site" + N(i * 5 + 3) + L"\\.org\\b",
                              std::regex::ECMAScript | std::regex::icase);
    size_t found = 0;
    const double ms = BestOf(1, [&] {
        for (const std::wregex& pattern : patterns)
            for (auto it = std::wsregex_iterator(text.begin(), text.end(), pattern); it != std::wsregex_iterator(); ++it)
                ++found;
    });
    std::printf("std::wregex, 10 regular expressions on 100,000 characters: %.1f ms (%zu matches), so about %.0f ms for 100\n",
                ms, found, ms * 10);
}

} // namespace

int main()
{
    BenchDictionary();
    BenchStandardRegex();
    return 0;
}
