// Figures for the road of a copied text: preparation time against text size, what the
// listening filters add to it, the time from a clipboard notification to the Speak call,
// a short copy appended to a long view, the idle program's CPU use, moving the marks
// from word to word, and what a user of the real program waits for after a copy of
// 64 KB to 5 MB.
// Prints figures; asserts nothing.
#include <windows.h>
#include <algorithm>
#include <iterator>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include "in_process_app.h"
#include "app_driver.h"
#include "clipboard/clipboard_monitor.h"
#include "copy_watch.h"
#include "file_bytes.h"
#include "pump.h"
#include <psapi.h>
#include <fstream>
#include <sstream>
#include <vector>
#include "settings/app_settings.h"
#include "hearing/listening_filters.h"
#include "view/prepared_text.h"
#include "view/sentences.h"
#include "resource.h"

namespace {

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// A text of about `megabytes` MB (UTF-16 code units x 2) with 20,000 line breaks per MB.
std::wstring MakeText(int megabytes)
{
    const size_t units = static_cast<size_t>(megabytes) * 512 * 1024;
    const size_t breakEvery = units / (static_cast<size_t>(megabytes) * 20000);
    std::wstring text;
    text.reserve(units);
    const wchar_t words[] = L"Some words/of a text. And more of it ";
    for (size_t i = 0; i < units; ++i)
        text += (i % breakEvery == breakEvery - 1) ? L'\r' : words[i % (sizeof words / sizeof words[0] - 1)];
    return text;
}

void BenchPreparation()
{
    std::printf("preparation (normalise + sentence count):\n");
    for (int mb : {1, 2, 4, 8, 10}) {
        const std::wstring text = MakeText(mb);
        std::wstring out(2 * text.size() + 1, L'\0');
        double best = 1e9;
        for (int round = 0; round < 3; ++round) {
            LARGE_INTEGER a, b;
            QueryPerformanceCounter(&a);
            NormaliseText(text.c_str(), out.data());
            volatile int sentences = CountSentences(out.c_str());
            (void)sentences;
            QueryPerformanceCounter(&b);
            best = std::min(best, Milliseconds(a, b));
        }
        std::printf("  %2d MB (%zu line breaks): %8.2f ms\n", mb, static_cast<size_t>(mb) * 20000, best);
        std::fflush(stdout);
    }
}

// What people copy from PDFs, web pages, papers and chat answers: wrapped lines, a
// hyphenated word, links, citations, Markdown and emoji; about `kilobytes` KB of it.
std::wstring MixedText(size_t kilobytes)
{
    const wchar_t paragraph[] =
        L"## A heading of the section\r\n"
        L"A paragraph copied from a PDF file is wrapped at seventy characters and it\r\n"
        L"goes on with a hyphen-\r\nated word and a link https://www.example.com/path/to/page?id=42 that\r\n"
        L"shows a citation [12] and another (Smith et al., 2020; Lee 2019) here. **Bold** text,\r\n"
        L"`code`, _emphasis_ and an emoji \U0001F44D\U0001F3FD end the line.\r\n"
        L"- a list item with e.g.\r\nmore words\r\n| a | b |\r\n";
    std::wstring text;
    while (text.size() < kilobytes * 512)
        text += paragraph;
    return text;
}

std::wstring PlainText(size_t kilobytes)
{
    std::wstring text;
    while (text.size() < kilobytes * 512)
        text += L"A sentence of the copied text.\r\n";
    return text;
}

// What the listening filters add to preparing a text: marking the copied text while it is
// normalised, then deriving the spoken text with its map.
void BenchListening()
{
    std::printf("listening filters, best of 5:\n");
    for (size_t kilobytes : {64, 1024, 4096}) {
        for (bool mixed : {true, false}) {
            const std::wstring text = mixed ? MixedText(kilobytes) : PlainText(kilobytes);
            std::wstring out(2 * text.size() + 1, L'\0');
            double plain = 1e9, marking = 1e9, filtering = 1e9;
            size_t spokenLength = 0;
            for (int round = 0; round < 5; ++round) {
                LARGE_INTEGER a, b, c, d;
                QueryPerformanceCounter(&a);
                NormaliseText(text.c_str(), out.data());
                QueryPerformanceCounter(&b);
                PreparationMarks marks;
                out.resize(NormaliseText(text.c_str(), out.data(), L'\0', &marks));
                QueryPerformanceCounter(&c);
                const SpokenText spoken = FilterForListening(out, marks, ListeningFilters{});
                QueryPerformanceCounter(&d);
                out.resize(2 * text.size() + 1);
                spokenLength = spoken.Text().size();
                plain = std::min(plain, Milliseconds(a, b));
                marking = std::min(marking, Milliseconds(b, c));
                filtering = std::min(filtering, Milliseconds(c, d));
            }
            std::printf("  %5zu KB %s: normalise %.2f ms, with marks %.2f ms, filters %.2f ms; added %.2f ms "
                        "(%zu of %zu characters heard)\n",
                        kilobytes, mixed ? "mixed" : "plain", plain, marking, filtering, marking + filtering - plain,
                        spokenLength, text.size());
            std::fflush(stdout);
        }
    }
}

// A copy's text is fetched on another thread, and a long one prepared between messages:
// the window takes its messages until both are done.
bool WaitForTheCopy(InProcessApp& app)
{
    PumpPending();
    return PumpUntil([&] { return !ClipboardReadPending(app.state().clipboard) && !ReaderProbe::Loading(app.reader()); }, 60000);
}

void BenchClipboardToSpeak(size_t kilobytes, bool mixed)
{
    InProcessApp app;
    AppSettings.autoPlay = true;
    SetClipboardText(mixed ? MixedText(kilobytes) : PlainText(kilobytes));
    WaitForTheCopy(app);
    app.voice.Take();
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    SendMessageW(app.window(), WM_DRAWCLIPBOARD, 0, 0);
    const auto spoken = [&] {
        return std::find(app.voice.calls.begin(), app.voice.calls.end(), L"Speak") != app.voice.calls.end();
    };
    const bool spoke = PumpUntil(spoken, 60000);
    QueryPerformanceCounter(&b);
    std::printf("WM_DRAWCLIPBOARD to Speak for %zu KB of %s text: %.1f ms (spoke: %s)\n", kilobytes,
                mixed ? "mixed" : "plain", Milliseconds(a, b), spoke ? "yes" : "no");
    std::fflush(stdout);
}

// Loads a long text, then times the notification that appends a short copy to it.
void BenchAppendToLongText(int megabytes, const wchar_t* copy)
{
    InProcessApp app;
    AppSettings.autoPlay = true;
    SetClipboardText(MakeText(megabytes));
    WaitForTheCopy(app);
    AppSettings.appendCopies = true;
    // The short copy goes on the clipboard unseen, then is taken as a copy is.
    AppSettings.monitorClipboard = false;
    SetClipboardText(copy);
    PumpPending();
    AppSettings.monitorClipboard = true;
    app.voice.Take();
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    SendMessageW(app.window(), WM_DRAWCLIPBOARD, 0, 0);
    WaitForTheCopy(app);
    QueryPerformanceCounter(&b);
    const PreparedText& prepared = app.reader().Text();
    const bool appended = prepared.Text().find(L"letters") != std::wstring::npos;
    // Of that, what the listening filters take: for the grown end, as the reader does,
    // against the whole text again.
    const int from = ReaderProbe::Spoken(app.reader())->ViewLength() - static_cast<int>(std::wcslen(copy)) - 2;
    const SpokenText earlier = FilterForListening(prepared.Text().substr(0, from), prepared.Marks(), AppSettings.listening);
    LARGE_INTEGER c, d, e;
    QueryPerformanceCounter(&c);
    const SpokenText grown = ExtendFilteredText(earlier, prepared.Text(), prepared.Marks(), AppSettings.listening, from);
    QueryPerformanceCounter(&d);
    const SpokenText whole = FilterForListening(prepared.Text(), prepared.Marks(), AppSettings.listening);
    QueryPerformanceCounter(&e);
    std::printf("append %zu characters%s to a %d MB view: %.1f ms (appended: %s; filters %.1f ms, %.1f ms for the "
                "whole text)\n",
                std::wcslen(copy), std::wcschr(copy, L'\r') ? " with a line break" : "", megabytes, Milliseconds(a, b),
                appended ? "yes" : "no", Milliseconds(c, d), Milliseconds(d, e));
    std::fflush(stdout);
}

// Moving the marks from one word to the next in a 1 MB text, drawn each time: the word
// alone (as before the sentence was marked), with the sentence tinted (the default), in
// focus mode, and tinted with double spacing.
void BenchWordMarks()
{
    struct Look {
        const char* name;
        bool sentence;
        bool focus;
        int spacing;
    };
    const Look looks[] = {{"word alone", false, false, 100},
                          {"sentence tinted", true, false, 100},
                          {"focus mode", false, true, 100},
                          {"tinted, double spacing", true, false, 200}};
    InProcessApp app(SW_SHOWNORMAL);
    app.view().SetText(MakeText(1).c_str());
    app.reader().PrepareText();
    app.speech().Play();
    const std::wstring& spoken = ReaderProbe::Spoken(app.reader())->Text();
    std::vector<std::pair<ULONG, ULONG>> words;
    for (size_t i = spoken.size() / 2; words.size() < 400 && i < spoken.size(); ++i) {
        if (spoken[i] == L' ' || spoken[i] == L'\r' || (i > 0 && spoken[i - 1] != L' ' && spoken[i - 1] != L'\r'))
            continue;
        size_t end = i;
        while (end < spoken.size() && spoken[end] != L' ' && spoken[end] != L'\r')
            ++end;
        words.emplace_back(static_cast<ULONG>(i), static_cast<ULONG>(end - i));
    }
    const auto speakAll = [&] {
        for (const auto& [position, length] : words) {
            app.voice.SetWord(position, length);
            app.voice.QueueEvent(SPEI_WORD_BOUNDARY);
            SendMessageW(app.window(), WM_VOICE_EVENT, 0, 0);
            UpdateWindow(app.view().Handle());
        }
    };
    const auto use = [&](const Look& look) {
        AppSettings.markSentence = look.sentence;
        AppSettings.focusMode = look.focus;
        AppSettings.lineSpacingPercent = look.spacing;
        app.reader().Apply(SettingsChange::FontAndColours);
        speakAll();   // the lines as far as the words are laid out once
    };
    // The looks take turns, so that a busy moment of the machine falls on all of them.
    constexpr int Rounds = 5;
    double best[std::size(looks)];
    std::fill(std::begin(best), std::end(best), 1e9);
    for (int round = 0; round < Rounds; ++round) {
        for (size_t i = 0; i < std::size(looks); ++i) {
            use(looks[i]);
            LARGE_INTEGER a, b;
            QueryPerformanceCounter(&a);
            speakAll();
            QueryPerformanceCounter(&b);
            best[i] = std::min(best[i], Milliseconds(a, b) / static_cast<double>(words.size()));
        }
    }
    std::printf("moving the marks to the next word of a 1 MB text, drawn, best of %d rounds of %zu words:\n", Rounds,
                words.size());
    for (size_t i = 0; i < std::size(looks); ++i)
        std::printf("  %-24s %.3f ms a word\n", looks[i].name, best[i]);
    std::fflush(stdout);
}

void BenchIdleCpu()
{
    WriteSettingsFile();
    AppProcess program;
    if (!program.Window()) {
        std::printf("idle CPU: program did not start\n");
        return;
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, program.Id());
    auto cpu = [&] {
        FILETIME created, exited, kernel, user;
        GetProcessTimes(process, &created, &exited, &kernel, &user);
        return (ULARGE_INTEGER{{kernel.dwLowDateTime, kernel.dwHighDateTime}}.QuadPart +
                ULARGE_INTEGER{{user.dwLowDateTime, user.dwHighDateTime}}.QuadPart) / 10000.0;
    };
    PumpUntil([] { return false; }, 2000);
    const double before = cpu();
    PumpUntil([] { return false; }, 30000);
    std::printf("idle CPU over 30 s: %.1f ms\n", cpu() - before);
    CloseHandle(process);
}

// A copy of about `kilobytes` KB (UTF-16 code units x 2) in one of the shapes that
// users copy: short lines, one long paragraph of words, or one word without a blank.
std::wstring MakeCopy(const std::string& shape, size_t kilobytes)
{
    const size_t units = kilobytes * 512;
    std::wstring text;
    text.reserve(units + 64);
    if (shape == "word") {
        text.assign(units, L'x');
        return text;
    }
    const wchar_t* piece = shape == "paragraph" ? L"Words of one long paragraph, and more of them. " : L"A sentence of the copied text.\r\n";
    while (text.size() < units)
        text += piece;
    text.resize(units);
    return text;
}

std::string LoadAverage()
{
    std::ifstream file("Z:\\proc\\loadavg");
    std::string line;
    std::getline(file, line);
    return line.empty() ? "unknown" : line.substr(0, line.find(' ', line.find(' ', line.find(' ') + 1) + 1));
}

// The least any program must wait for a copy: another process that takes the text as
// soon as the clipboard tells of it, and notes when it has it (bare_listener.cpp).
class BareListener {
public:
    BareListener()
    {
        DeleteFileW(kNotes);
        std::wstring commandLine = L"bare_listener.exe ";
        commandLine += kNotes;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_))
            return;
        PumpUntil([] { return !ReadBytes(kNotes).empty() && ReadBytes(kNotes) != "<missing>"; }, 10000);
    }
    ~BareListener()
    {
        if (!info_.hProcess)
            return;
        TerminateProcess(info_.hProcess, 0);
        WaitForSingleObject(info_.hProcess, 5000);
        CloseHandle(info_.hProcess);
        CloseHandle(info_.hThread);
    }
    // When it last had a whole text, on NowMs's clock; 0 before.
    double HadTextAt() const
    {
        std::istringstream lines(ReadBytes(kNotes));
        double at = 0, last = 0;
        while (lines >> at)
            last = at;
        return last;
    }

private:
    static constexpr const wchar_t* kNotes = L"Z:\\tmp\\clipvoce-bare-listener.txt";
    PROCESS_INFORMATION info_{};
};

// Milliseconds from the copy of text until the bare listener has it, alone: a listener
// beside the program would hold the clipboard open while the program waits to open it.
double BareListenerWait(const std::wstring& text)
{
    EmptyTheClipboard();
    BareListener bare;
    if (!SetClipboardText(text))
        return -1;
    const double copied = NowMs();
    PumpUntil([&] { return bare.HadTextAt() > 0; }, 10000);
    return bare.HadTextAt() > 0 ? bare.HadTextAt() - copied : -1;
}

// The road of one copy in the real program, from the copy to the first highlighted
// word, to the caption that says "playing", to the whole text in the view; meanwhile
// the longest wait for a repaint and the program's peak working set.
void BenchCopy(const std::string& shape, size_t kilobytes)
{
    SetEnvironmentVariableW(L"CLIPVOCE_VOICE_SOUND", L"tones");
    WriteSettingsFile({{L"autoplay", L"1"}, {L"fulltext", L"1"}});
    const std::wstring text = MakeCopy(shape, kilobytes);
    const double bareMs = BareListenerWait(text);
    EmptyTheClipboard();
    AppProcess program;
    HWND window = program.Window();
    if (!window || !PumpUntil([&] { return WindowText(window).rfind(L"Speech window - stopped", 0) == 0; }, 20000)) {
        std::printf("copy of %zu KB (%s): the program did not start\n", kilobytes, shape.c_str());
        return;
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, program.Id());
    PROCESS_MEMORY_COUNTERS before{}, after{};
    before.cb = after.cb = sizeof before;
    GetProcessMemoryInfo(process, &before, sizeof before);
    const std::string load = LoadAverage();
    const CopyTimeline t = WatchCopy(window, text, 600000);
    GetProcessMemoryInfo(process, &after, sizeof after);
    auto ms = [](double value) { return value < 0 ? std::string("never") : std::to_string(static_cast<int>(value + 0.5)) + " ms"; };
    const std::string share = bareMs < 0 || t.firstWordMs < 0 ? "unknown" : ms(t.firstWordMs - bareMs);
    std::printf("copy of %5zu KB (%s): a bare listener has it at %s; first word %s (the program's share %s), caption %s,"
                " whole text %s; longest repaint wait %s (%d asked); working set %zu MB before, peak %zu MB; load %s\n",
                kilobytes, shape.c_str(), ms(bareMs).c_str(), ms(t.firstWordMs).c_str(), share.c_str(), ms(t.playingCaptionMs).c_str(),
                ms(t.wholeTextMs).c_str(), ms(t.longestRepaintMs).c_str(), t.repaints,
                before.WorkingSetSize >> 20, after.PeakWorkingSetSize >> 20,
                load.c_str());
    std::fflush(stdout);
    CloseHandle(process);
}

} // namespace

// Arguments pick parts: "prep", "listening", "clipboard", "append", "idle"; none runs all. "copy"
// runs only the real program's copies: "copy [lines|paragraph|word] [KB...]", by
// default lines of 64, 1024 and 5120 KB.
int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "copy") == 0) {
        int next = 2;
        std::string shape = "lines";
        if (argc > next && !std::isdigit(static_cast<unsigned char>(argv[next][0])))
            shape = argv[next++];
        std::vector<size_t> sizes;
        for (; next < argc; ++next)
            sizes.push_back(std::strtoul(argv[next], nullptr, 10));
        if (sizes.empty())
            sizes = {64, 1024, 5120};
        for (size_t kilobytes : sizes)
            BenchCopy(shape, kilobytes);
        return 0;
    }
    auto wanted = [&](const char* part) {
        if (argc < 2)
            return true;
        for (int i = 1; i < argc; ++i)
            if (std::strcmp(argv[i], part) == 0)
                return true;
        return false;
    };
    if (wanted("prep"))
        BenchPreparation();
    if (wanted("listening"))
        BenchListening();
    if (wanted("clipboard")) {
        for (size_t kilobytes : {64, 256, 1024, 4096})
            BenchClipboardToSpeak(kilobytes, false);
        BenchClipboardToSpeak(64, true);
    }
    if (wanted("append"))
        for (const wchar_t* copy : {L"Twenty more letters.", L"Twenty more\r\nletters"})
            BenchAppendToLongText(5, copy);
    if (wanted("idle"))
        BenchIdleCpu();
    if (wanted("marks"))
        BenchWordMarks();
    return 0;
}
