// A hostile dictionary bounds the work and memory of a text: an entry given many times is
// matched once, a search that runs for long is stopped for that text alone or called off
// at once, what the voice hears grows only so far, and the patterns share one JIT stack.
#include <gtest/gtest.h>
#include "pronunciation/dictionary_file.h"
#include "pronunciation/pronouncer.h"
#include <atomic>
#include <chrono>
#include <thread>

namespace {

PronunciationEntry Entry(std::wstring pattern, std::wstring replacement, MatchType type)
{
    PronunciationEntry e;
    e.pattern = std::move(pattern);
    e.replacement = std::move(replacement);
    e.type = type;
    return e;
}

double MsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

template <class Work>
double TimeOf(Work&& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return MsSince(start);
}

std::wstring Hex(size_t length)
{
    std::wstring text;
    for (size_t i = 0; i < length; ++i)
        text += L"0123456789abcdef"[(i * 7919 + i / 13) % 16];
    return text;
}

std::wstring Sentences(size_t length)
{
    std::wstring text;
    while (text.size() < length)
        text += L"Then the reader read the text aloud. ";
    return text;
}

// Reserved and committed address space of this process.
size_t AddressSpaceInUse()
{
    size_t used = 0;
    MEMORY_BASIC_INFORMATION info;
    for (const char* at = nullptr; VirtualQuery(at, &info, sizeof info) == sizeof info;
         at = static_cast<const char*>(info.BaseAddress) + info.RegionSize) {
        if (info.State != MEM_FREE)
            used += info.RegionSize;
    }
    return used;
}

TEST(PronunciationLimitsTest, AnEntryGivenManyTimesIsMatchedOnce)
{
    const std::wstring text = Sentences(120000);
    for (const MatchType type : {MatchType::WholeWord, MatchType::RegularExpression}) {
        const PronunciationEntry the = Entry(L"the", L"thee", type);
        const Pronouncer once({the}, L"");
        const Pronouncer many(std::vector<PronunciationEntry>(2000, the), L"");
        std::wstring heardOnce, heardMany;
        const double onceMs = TimeOf([&] { heardOnce = once.Pronounce(text); });
        const double manyMs = TimeOf([&] { heardMany = many.Pronounce(text); });
        EXPECT_EQ(heardMany, heardOnce);
        EXPECT_LT(manyMs, 5 * onceMs + 100) << "one entry " << onceMs << " ms, the same entry 2,000 times " << manyMs << " ms";
    }
}

TEST(PronunciationLimitsTest, ASearchThatTakesTooLongIsStoppedForThatTextAlone)
{
    const Pronouncer pronouncer({Entry(L"(\\w+)\\s+\\1", L"\\1", MatchType::RegularExpression),
                                 Entry(L"said", L"told", MatchType::RegularExpression),
                                 Entry(L"twice", L"two times", MatchType::WholeWord)},
                                L"");
    const std::wstring text = Hex(120000) + L" said once once.";
    PronunciationWatch watch(text.size());
    std::wstring heard;
    const double ms = TimeOf([&] { heard = ApplyReplacements(text, pronouncer.Replacements(text, watch)); });
    // Searched to its end the first entry takes many seconds; its share is a quarter of the
    // text's budget, two seconds and a bit.
    EXPECT_LT(ms, 1500);
    ASSERT_EQ(watch.report.slowEntries, std::vector<std::wstring>{L"(\\w+)\\s+\\1"});
    EXPECT_FALSE(watch.report.cancelled);
    EXPECT_EQ(heard.substr(120000), L" told once once.") << "the other entries apply, the slow one does not";
    // A short text is searched through.
    EXPECT_EQ(pronouncer.Pronounce(L"I said twice twice."), L"I told twice.");
}

TEST(PronunciationLimitsTest, WorkCalledOffEndsAtOnceWhileOtherThreadsUseTheSamePatterns)
{
    // The slow part is not the pattern's first alternative.
    const Pronouncer pronouncer({Entry(L"zzz|(\\w+)\\s+\\1", L"\\1", MatchType::RegularExpression)}, L"");
    const std::wstring text = Hex(300000);
    std::atomic<bool> cancelled{false};
    std::atomic<bool> ended{false};
    PronunciationWatch watch(text.size(), &cancelled);
    std::vector<TextReplacement> found{{0, 1, L"x"}};
    std::thread worker([&] {
        found = pronouncer.Replacements(text, watch);
        ended = true;
    });
    // Meanwhile another thread searches with the same pattern.
    EXPECT_EQ(pronouncer.Pronounce(L"a word word"), L"a word");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(ended) << "the search ended before it was called off";
    const auto calledOff = std::chrono::steady_clock::now();
    cancelled = true;
    worker.join();
    EXPECT_LT(MsSince(calledOff), 50);
    EXPECT_TRUE(watch.report.cancelled);
    EXPECT_TRUE(found.empty());
}

// Watching a search changes nothing of what it finds.
TEST(PronunciationLimitsTest, AWatchedPatternMatchesAsWritten)
{
    const struct {
        const wchar_t* pattern;
        const wchar_t* replacement;
        const wchar_t* text;
        const wchar_t* heard;
    } rows[] = {
        {L"cat|dog", L"pet", L"a cat, a dog", L"a pet, a pet"},
        {L"(*UCP)(*NO_JIT)\\bcaf\xE9\\b", L"cafe", L"un caf\xE9 noir", L"un cafe noir"},
        {L"\\Qa.b", L"x", L"a.b acb", L"x acb"},
        {L"(?x) c a t  # the animal", L"pet", L"cat", L"pet"},
        {L"(?<n>\\d+)px|(\\d+)pt", L"\\g<n>\\2 dots", L"5px 6pt", L"5 dots 6 dots"},
    };
    for (const auto& row : rows) {
        std::wstring error;
        ASSERT_NE(RegexPattern::Compile(row.pattern, false, error), nullptr) << testing::PrintToString(error);
        EXPECT_EQ(Pronouncer({Entry(row.pattern, row.replacement, MatchType::RegularExpression)}, L"").Pronounce(row.text),
                  row.heard)
            << testing::PrintToString(std::wstring(row.pattern));
    }
}

TEST(PronunciationLimitsTest, WhatTheVoiceHearsGrowsOnlySoFar)
{
    std::wstring text;
    while (text.size() < 40000)
        text += L"e ";
    const std::wstring longest(MostReplacementChars, L'E');
    const Pronouncer literal({Entry(L"e", longest, MatchType::Anywhere)}, L"");
    std::wstring groups;
    for (size_t i = 0; i < MostReplacementChars / 2; ++i)
        groups += L"\\1";
    const Pronouncer regex({Entry(L"(e+)", groups, MatchType::RegularExpression)}, L"");
    for (const Pronouncer* pronouncer : {&literal, &regex}) {
        SCOPED_TRACE(pronouncer == &literal ? "a word" : "a regular expression");
        PronunciationWatch watch(text.size());
        const std::wstring heard = ApplyReplacements(text, pronouncer->Replacements(text, watch));
        EXPECT_LE(heard.size(), MostHeard(text.size()));
        EXPECT_GT(heard.size(), text.size());
        EXPECT_TRUE(watch.report.tooLong);
    }

    // A longer replacement is refused, and a line of the file that has one is kept as it
    // stands but not used.
    PronunciationEntry tooLong = Entry(L"e", longest + L"E", MatchType::Anywhere);
    const std::optional<std::wstring> problem = EntryProblem(tooLong);
    ASSERT_TRUE(problem.has_value());
    EXPECT_NE(problem->find(std::to_wstring(MostReplacementChars)), std::wstring::npos) << *problem;
    const std::string line = "e\t" + std::string(50000, 'E') + "\t0\t0\r\n";
    const DictionaryReading reading = ParseDictionary(line);
    EXPECT_TRUE(reading.dictionary.entries.empty());
    ASSERT_EQ(reading.problems.size(), 1u);
    EXPECT_EQ(FormatDictionary(reading.dictionary), line);
    EXPECT_TRUE(Pronouncer({tooLong}, L"").Empty());
}

TEST(PronunciationLimitsTest, ThePatternsOfAThreadShareOneJitStack)
{
    std::vector<PronunciationEntry> entries;
    for (int i = 0; i < 2000; ++i)
        entries.push_back(Entry(L"\\bword" + std::to_wstring(i) + L"(\\d+)\\b", L"\\1", MatchType::RegularExpression));
    const size_t before = AddressSpaceInUse();
    const Pronouncer pronouncer(entries, L"");
    EXPECT_EQ(pronouncer.Pronounce(L"see word1234567 and word7x here"), L"see 234567 and word7x here");
    const size_t grown = AddressSpaceInUse() - before;
    // A stack of each pattern's own took a megabyte each: two gigabytes.
    EXPECT_LT(grown, size_t{256} << 20) << "grew by " << (grown >> 20) << " MB";
}

} // namespace
