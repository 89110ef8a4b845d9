// Every transition of the speech controller against a voice that records its calls,
// with the popup menu's Play/Stop and Pause/Resume items after each.
#include <gtest/gtest.h>
#include "in_process_app.h"
#include "app_driver.h"
#include "pump.h"
#include "settings/app_settings.h"
#include "voice/speech_controller.h"
#include "view/sentences.h"
#include "view/text_view.h"
#include "resource.h"

namespace {

using Calls = std::vector<std::wstring>;

enum class Action { Play, PauseResume, Stop, EndOfInput, TimerTick, NewText };

struct Row {
    int from;
    Action action;
    bool repeat;
    bool autoplay;
    Calls calls;
    int to;
};

const Calls PlayCalls = {L"SetRate(-1)", L"SetVolume(100)", L"Speak"};

void Perform(InProcessApp& app, Action action)
{
    switch (action) {
    case Action::Play: app.speech().Play(); break;
    case Action::PauseResume: app.speech().PauseResume(); break;
    case Action::Stop: app.speech().Stop(); break;
    case Action::EndOfInput:
        app.voice.QueueEvent(SPEI_END_INPUT_STREAM);
        SendMessageW(app.window(), WM_VOICE_EVENT, 0, 0);
        break;
    case Action::TimerTick: SendMessageW(app.window(), WM_TIMER, IDT_SPEECH_TIMER, 0); break;
    case Action::NewText:
        ASSERT_TRUE(SetClipboardText(L"A new text."));
        PumpUntil([&] { return app.view().GetText().rfind(L"A new text.", 0) == 0; }, 5000);
        break;
    }
}

// The menu must always say what the state is.
void ExpectMenuMatches(const InProcessApp& app, int state)
{
    if (state == Stopped) {
        EXPECT_EQ(app.MenuText(CMD_PLAY_STOP), L"&Play");
        EXPECT_FALSE(app.MenuEnabled(CMD_PAUSE));
        EXPECT_TRUE(GetMenuState(app.menu(), CMD_PAUSE, MF_BYCOMMAND) & MF_GRAYED) << "disabled must also look so";
    } else {
        EXPECT_EQ(app.MenuText(CMD_PLAY_STOP), L"&Stop");
        EXPECT_TRUE(app.MenuEnabled(CMD_PAUSE));
    }
    EXPECT_EQ(app.MenuText(CMD_PAUSE), state == Paused ? L"&Resume" : L"&Pause");
}

class TransitionTest : public testing::TestWithParam<Row> {};

TEST_P(TransitionTest, VoiceCallsStateAndMenu)
{
    const Row& row = GetParam();
    InProcessApp app;
    AppSettings.repeatReading = row.repeat;
    AppSettings.autoPlay = row.autoplay;
    app.view().SetText(L"First sentence. Second one.");
    app.reader().PrepareText();
    // Reach the starting state the way the program does: pending is new text taken
    // while a reading was going on.
    if (row.from != Stopped)
        app.speech().Play();
    if (row.from == Paused)
        app.speech().PauseResume();
    if (row.from == PendingPlay) {
        ASSERT_TRUE(SetClipboardText(L"An earlier text."));
        PumpUntil([&] { return app.view().GetText().rfind(L"An earlier text.", 0) == 0; }, 5000);
    }
    ASSERT_EQ(app.speech().State(), row.from);
    app.voice.Take();

    Perform(app, row.action);
    EXPECT_EQ(app.voice.Take(), row.calls);
    EXPECT_EQ(app.speech().State(), row.to);
    ExpectMenuMatches(app, row.to);
}

INSTANTIATE_TEST_SUITE_P(
    Controller, TransitionTest,
    testing::Values(
        Row{Stopped, Action::Play, false, false, PlayCalls, Playing},
        Row{Stopped, Action::PauseResume, false, false, {}, Stopped},
        Row{Playing, Action::PauseResume, false, false, {L"Pause"}, Paused},
        Row{Playing, Action::Play, false, false, {L"SetRate(-1)", L"SetVolume(100)"}, Playing},
        Row{Paused, Action::PauseResume, false, false, {L"Resume"}, Playing},
        Row{Paused, Action::Play, false, false, {L"SetRate(-1)", L"SetVolume(100)", L"Resume"}, Playing},
        Row{PendingPlay, Action::Play, false, false, PlayCalls, PendingPlay},
        Row{PendingPlay, Action::PauseResume, false, false, {L"Pause"}, Paused},
        Row{PendingPlay, Action::TimerTick, false, false, {}, Playing},
        Row{PendingPlay, Action::EndOfInput, false, false, {}, Playing},
        Row{Stopped, Action::Stop, false, false, {L"Purge"}, Stopped},
        Row{Playing, Action::Stop, false, false, {L"Purge"}, Stopped},
        Row{Paused, Action::Stop, false, false, {L"Resume", L"Purge"}, Stopped},
        Row{PendingPlay, Action::Stop, false, false, {L"Purge"}, Stopped},
        Row{Playing, Action::EndOfInput, false, false, {L"Purge"}, Stopped},
        Row{Playing, Action::EndOfInput, true, false, {L"Purge", L"SetRate(-1)", L"SetVolume(100)", L"Speak"}, Playing},
        Row{Paused, Action::EndOfInput, false, false, {L"Resume", L"Purge"}, Stopped},
        Row{Paused, Action::EndOfInput, true, false, {L"Resume", L"Purge"}, Stopped},
        Row{Stopped, Action::EndOfInput, false, false, {L"Purge"}, Stopped},
        Row{Stopped, Action::EndOfInput, true, false, {}, Stopped},
        // Nothing was purged, so no end of an earlier reading is to come.
        Row{Stopped, Action::NewText, false, true, {L"Purge", L"SetRate(-1)", L"SetVolume(100)", L"Speak"}, Playing},
        Row{Playing, Action::NewText, false, true, {L"Purge", L"SetRate(-1)", L"SetVolume(100)", L"Speak"}, PendingPlay},
        Row{PendingPlay, Action::NewText, false, true, {L"Purge", L"SetRate(-1)", L"SetVolume(100)", L"Speak"}, PendingPlay},
        Row{Paused, Action::NewText, false, true, {L"Resume", L"Purge"}, Paused},
        Row{Paused, Action::NewText, false, false, {L"Resume", L"Purge"}, Paused},
        Row{Playing, Action::NewText, false, false, {L"Purge", L"SetRate(-1)", L"SetVolume(100)", L"Speak"}, PendingPlay},
        Row{PendingPlay, Action::NewText, false, false, {L"Purge", L"SetRate(-1)", L"SetVolume(100)", L"Speak"}, PendingPlay},
        Row{Stopped, Action::NewText, false, false, {L"Purge"}, Stopped}));

TEST(Controller, EndOfTextLeavesTheCaretAfterTheLastWord)
{
    InProcessApp app;
    app.view().SetText(L"Say these words.");
    app.reader().PrepareText();
    app.speech().Play();
    app.voice.SetWord(4, 5);
    app.voice.QueueEvent(SPEI_WORD_BOUNDARY);
    app.voice.QueueEvent(SPEI_END_INPUT_STREAM);
    SendMessageW(app.window(), WM_VOICE_EVENT, 0, 0);
    EXPECT_EQ(app.speech().State(), Stopped);
    DWORD start = 0, end = 0;
    SendMessageW(app.view().Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 9u);
    EXPECT_EQ(end, 9u);
}

TEST(Controller, ContinuousSpeechStartsOverFromTheTop)
{
    InProcessApp app;
    AppSettings.repeatReading = true;
    app.view().SetText(L"Say these words.");
    app.reader().PrepareText();
    app.speech().Play();
    app.voice.SetWord(10, 6);
    app.voice.QueueEvent(SPEI_WORD_BOUNDARY);
    app.voice.QueueEvent(SPEI_END_INPUT_STREAM);
    SendMessageW(app.window(), WM_VOICE_EVENT, 0, 0);
    EXPECT_EQ(app.speech().State(), Playing);
    EXPECT_EQ(app.view().SelectionEnd(), 0);
    EXPECT_EQ(app.voice.lastSpoken, L"Say these words.");
}

TEST(Controller, SentenceStepsOnlyWhilePlaying)
{
    InProcessApp app;
    for (SpeechState state : {Stopped, Paused}) {
        app.Reach(state);
        app.voice.Take();
        app.Command(CMD_NEXT_SENTENCE);
        app.Command(CMD_PREVIOUS_SENTENCE);
        EXPECT_TRUE(app.voice.Take().empty()) << "state " << state;
    }
    for (SpeechState state : {Playing, PendingPlay}) {
        app.Reach(state);
        app.voice.Take();
        app.Command(CMD_NEXT_SENTENCE);
        app.Command(CMD_PREVIOUS_SENTENCE);
        EXPECT_EQ(app.voice.Take(), (Calls{L"Skip(Sentence,1)", L"Skip(Sentence,-1)"})) << "state " << state;
    }
}

TEST(Controller, SpaceAndPlayStopFollowTheState)
{
    InProcessApp app;
    app.view().SetText(L"Some text.");
    app.reader().PrepareText();
    app.Command(CMD_PLAY_PAUSE);
    EXPECT_EQ(app.speech().State(), Playing);
    app.Command(CMD_PLAY_PAUSE);
    EXPECT_EQ(app.speech().State(), Paused);
    app.Command(CMD_PLAY_PAUSE);
    EXPECT_EQ(app.speech().State(), Playing);
    app.Reach(PendingPlay);
    app.voice.Take();
    app.Command(CMD_PLAY_PAUSE);
    EXPECT_EQ(app.speech().State(), PendingPlay);
    EXPECT_TRUE(app.voice.Take().empty());
    for (SpeechState state : {Playing, Paused, PendingPlay}) {
        app.Reach(state);
        app.Command(CMD_PLAY_STOP);
        EXPECT_EQ(app.speech().State(), Stopped);
    }
}

TEST(Controller, CtrlClickWhilePausedReadsFromTheFirstVisibleSentence)
{
    InProcessApp app(SW_SHOWNORMAL);
    // The lines are heard as they stand, each its own sentence.
    AppSettings.listening = ListeningFilters{false, false, false, false, false, false};
    // Three terminators before the highlighted word, seven before the first visible line.
    std::wstring text = L"A. B. C. word D. E. F. G.";
    for (int i = 0; i < 60; ++i)
        text += L"\rline";
    app.view().SetText(text.c_str());
    app.reader().PrepareText();
    app.speech().Play();
    app.speech().PauseResume();
    app.view().Select(9, 13);
    const int lineWithSevenBefore = 1;
    SendMessageW(app.view().Handle(), EM_LINESCROLL, 0, lineWithSevenBefore);
    ASSERT_EQ(CountTerminators(app.reader().Text().Text().c_str(), app.view().LineIndex(app.view().FirstVisibleLine())), 7);
    app.voice.Take();
    app.reader().Do(ReadingCommand::StartAtFirstVisibleLine);
    EXPECT_EQ(app.voice.Take(), (Calls{L"SetRate(-1)", L"SetVolume(100)", L"Resume", L"Purge", L"Speak"}));
    EXPECT_EQ(app.voice.lastSpoken, app.reader().Text().Text().substr(app.view().LineIndex(1)));
    EXPECT_EQ(app.speech().State(), PendingPlay) << "the paused reading's end is still to come";

    app.voice.Take();
    app.reader().Do(ReadingCommand::StartAtFirstVisibleLine);
    EXPECT_TRUE(app.voice.Take().empty()) << "Ctrl+click while pending does nothing";
    app.voice.QueueEvent(SPEI_END_INPUT_STREAM);
    SendMessageW(app.window(), WM_VOICE_EVENT, 0, 0);
    EXPECT_EQ(app.speech().State(), Playing);
    app.reader().Do(ReadingCommand::StartAtFirstVisibleLine);
    EXPECT_TRUE(app.voice.Take().empty()) << "Ctrl+click while playing does nothing";
}

// Decimals, abbreviations and ellipses are no sentence ends to count by: the reading
// starts at the sentence that holds the first visible line, and the voice's word
// positions land on that text.
TEST(Controller, CtrlClickStartsAtTheVisibleSentenceWhateverThePunctuation)
{
    InProcessApp app(SW_SHOWNORMAL);
    std::wstring text;
    for (int i = 0; i < 30; ++i)
        text += L"Pi is 3.14, e.g. 2.71... ok!\r";
    const int lineStart = static_cast<int>(text.size());
    text += L"Here it starts. And goes on.\r";
    for (int i = 0; i < 40; ++i)
        text += L"Tail line.\r";
    app.view().SetText(text.c_str());
    app.reader().PrepareText();
    const int line = app.view().LineFromChar(lineStart);
    SendMessageW(app.view().Handle(), EM_LINESCROLL, 0, line);
    ASSERT_EQ(app.view().LineIndex(app.view().FirstVisibleLine()), lineStart);

    app.reader().Do(ReadingCommand::StartAtFirstVisibleLine);
    EXPECT_EQ(app.voice.lastSpoken, app.reader().Text().Text().substr(lineStart));
    EXPECT_EQ(app.voice.lastSpoken.rfind(L"Here it starts.", 0), 0u);
    EXPECT_EQ(app.speech().State(), Playing);
    app.voice.SetWord(8, 6);   // "starts" in what the voice was given
    app.voice.QueueEvent(SPEI_WORD_BOUNDARY);
    SendMessageW(app.window(), WM_VOICE_EVENT, 0, 0);
    DWORD start = 0, end = 0;
    SendMessageW(app.view().Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, static_cast<DWORD>(lineStart + 8));
    EXPECT_EQ(end, static_cast<DWORD>(lineStart + 14));

    // Continuous speech goes round the whole text, not only the part read first.
    AppSettings.repeatReading = true;
    app.voice.QueueEvent(SPEI_END_INPUT_STREAM);
    SendMessageW(app.window(), WM_VOICE_EVENT, 0, 0);
    EXPECT_EQ(app.voice.lastSpoken, app.reader().Text().Text());
}

// Short texts are read before the timer ticks: their own end must end the reading, and
// only the end of a purged reading may be passed over.
TEST(Controller, ShortCopiesAreReadToTheirEnd)
{
    InProcessApp app;
    AppSettings.autoPlay = true;
    ASSERT_TRUE(SetClipboardText(L"Hi."));
    ASSERT_TRUE(PumpUntil([&] { return app.speech().State() == Playing; }, 5000)) << "the copy was not read";
    app.voice.SetWord(0, 3);
    app.voice.QueueEvent(SPEI_WORD_BOUNDARY);
    app.voice.QueueEvent(SPEI_END_INPUT_STREAM);
    SendMessageW(app.window(), WM_VOICE_EVENT, 0, 0);
    EXPECT_EQ(app.speech().State(), Stopped) << "the end of the copy ends the reading";
    ExpectMenuMatches(app, Stopped);
    EXPECT_EQ(app.view().SelectionEnd(), 3) << "caret after the last spoken word";

    // A copy during a reading: the purged reading ends first, then the new one.
    AppSettings.repeatReading = true;
    app.speech().Play();
    ASSERT_TRUE(SetClipboardText(L"Hello world"));
    ASSERT_TRUE(PumpUntil([&] { return app.speech().State() == PendingPlay; }, 5000)) << "the second copy was not taken";
    app.voice.QueueEvent(SPEI_END_INPUT_STREAM);
    SendMessageW(app.window(), WM_VOICE_EVENT, 0, 0);
    EXPECT_EQ(app.speech().State(), Playing);
    app.voice.Take();
    app.voice.QueueEvent(SPEI_END_INPUT_STREAM);
    SendMessageW(app.window(), WM_VOICE_EVENT, 0, 0);
    EXPECT_EQ(app.voice.Take(), (Calls{L"Purge", L"SetRate(-1)", L"SetVolume(100)", L"Speak"})) << "read again";
    EXPECT_EQ(app.speech().State(), Playing);

    // Stopped and played again before the stopped reading's end arrived.
    AppSettings.repeatReading = false;
    app.speech().Stop();
    app.speech().Play();
    EXPECT_EQ(app.speech().State(), PendingPlay);
    app.voice.QueueEvent(SPEI_END_INPUT_STREAM);
    SendMessageW(app.window(), WM_VOICE_EVENT, 0, 0);
    EXPECT_EQ(app.speech().State(), Playing) << "the stopped reading's end is not the new one's";
}

TEST(Controller, NewTextWhilePausedWaitsAndThenReadsFromTheStart)
{
    InProcessApp app;
    AppSettings.autoPlay = true;
    app.view().SetText(L"Old text.");
    app.reader().PrepareText();
    app.speech().Play();
    app.speech().PauseResume();
    ASSERT_TRUE(SetClipboardText(L"New text."));
    ASSERT_TRUE(PumpUntil([&] { return app.reader().Text().Text() == L"New text. "; }, 5000));
    EXPECT_EQ(app.speech().State(), Paused);

    // Space before the purged reading's end: the new text is read, not nothing resumed.
    app.voice.Take();
    app.Command(CMD_PLAY_PAUSE);
    EXPECT_EQ(app.voice.lastSpoken, L"New text. ");
    EXPECT_EQ(app.speech().State(), PendingPlay);
    app.voice.QueueEvent(SPEI_END_INPUT_STREAM);
    SendMessageW(app.window(), WM_VOICE_EVENT, 0, 0);
    EXPECT_EQ(app.speech().State(), Playing);
    ExpectMenuMatches(app, Playing);
}

// A call the voice refuses changes nothing the user is shown, and a refused purge
// leaves the reading to end as itself.
TEST(Controller, CallsTheVoiceRefusesLeaveTheStateAsItWas)
{
    InProcessApp app;
    auto refused = [&app](const wchar_t* call, UINT command) {
        const SpeechState before = app.speech().State();
        app.voice.refuses = call;
        app.Command(command);
        app.voice.refuses.clear();
        EXPECT_EQ(app.speech().State(), before) << "after a refused " << call;
        ExpectMenuMatches(app, before);
    };
    app.Reach(Playing);
    refused(L"Pause", CMD_PAUSE);
    app.Command(CMD_PAUSE);
    ASSERT_EQ(app.speech().State(), Paused);
    refused(L"Resume", CMD_PAUSE);
    app.Command(CMD_PAUSE);
    ASSERT_EQ(app.speech().State(), Playing);
    refused(L"Purge", CMD_STOP);
    // The voice read on: the end that comes is the reading's own.
    app.voice.QueueEvent(SPEI_END_INPUT_STREAM);
    SendMessageW(app.window(), WM_VOICE_EVENT, 0, 0);
    EXPECT_EQ(app.speech().State(), Stopped) << "the reading's own end was taken for a purged one's";
}

TEST(Controller, PlayWithoutAnyTextStaysStopped)
{
    InProcessApp app;
    ASSERT_FALSE(app.reader().Text().Prepared());
    app.Command(CMD_PLAY_PAUSE);
    EXPECT_EQ(app.speech().State(), Stopped);
    ExpectMenuMatches(app, Stopped);
    app.Command(CMD_PLAY_STOP);
    EXPECT_EQ(app.speech().State(), Stopped);
}

} // namespace
