#pragma once
// The Reader: the one way from a copy to the voice, owned by the window that shows it.
// It has the copy prepared and shown (view/), derives what each voice hears (hearing/),
// hands that to the voice run by run (voice/) and leads the voice's words back to the
// view. Code above it asks it for what the user asked; a change that the status line may
// show goes to the listener the window gives it.
#include <windows.h>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include "platform/sliced_work.h"
#include "view/copy_load.h"
#include "view/view_look.h"
#include "hearing/hearing_job.h"
#include "hearing/listening_filters.h"
#include "hearing/paragraph_languages.h"
#include "hearing/pronounced_text.h"
#include "voice/speech_controller.h"
#include "hearing/spoken_text.h"
#include "voice/voice_catalog.h"
#include "voice/voice_runs.h"
#include "view/prepared_text.h"
#include "view/text_view.h"

// line is the zero-based line the status line is to show, or -1 for the line that holds
// the selection.
using StatusListener = std::function<void(int line)>;
// A short note for the user, such as why a copy was not taken.
using NoteListener = std::function<void(const std::wstring& note)>;
// A copy was taken (copied, pasted or read from a selection), as it came. The text is
// shared with the load, not copied: keep the pointer, never change the text.
using CopyListener = std::function<void(const SharedText& copy)>;
// Lists the voices installed now, given the id of the system's default one.
using VoiceLister = std::function<VoiceCatalog(const std::wstring& defaultId)>;

// The largest copy taken, in bytes of its UTF-16 text. A larger one is most likely a
// mistake (a whole log or database), and would take the program's memory many times over.
inline constexpr size_t LargestCopyBytes = size_t{20} << 20;

// What the user asks of the reading, from a command, a key or the mouse.
enum class ReadingCommand {
    Play,
    PlayPause,                  // play when stopped, else pause or resume
    PlayStop,                   // play when stopped, else stop
    PauseResume,
    Stop,
    NextSentence,
    PreviousSentence,
    // Read from the sentence that begins the first visible line, unless a reading goes on.
    StartAtFirstVisibleLine,
    ScrollToTop,
    ScrollToEnd,
    ScrollLineUp,
    ScrollLineDown,
};

// What of the settings changed, for the reading to take up at once.
enum class SettingsChange {
    FontAndColours,
    Colours,                    // the system's colours, or its high-contrast mode
    SentenceLook,               // focus mode, or the tint of the sentence being read
    // The listening filters or the pronunciation dictionary: the voice hears the text
    // anew, a reading going on from the word it has reached.
    Listening,
    // The voices and their pitch and volume: a reading going on goes on with them.
    Voices,
    Rate,                       // a reading going on takes it at once
    Speed,                      // the player's speed; a reading going on takes it at once
};

class Reader : private SpeechListener {
public:
    // The voice hears the text through the dictionary of pronunciations, which the
    // Reader's owner keeps and which outlives it.
    explicit Reader(const PronunciationStoreRecord& pronunciations);
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // ---- For the window that owns it ----
    // The view as a child of parent at rect, in the settings' font and colours; false
    // when the control cannot be made.
    bool CreateView(HWND parent, const RECT& rect);
    // Who hears of a change the status line may show, and of a note for the user.
    void SetListeners(StatusListener status, NoteListener note);
    void SetCopyListener(CopyListener listener) { copyListener_ = std::move(listener); }
    // The voice that reads from now on, and the voices installed beside it, as lister
    // finds them now and whenever they are refreshed; an empty one releases it.
    void UseVoice(ComPtr<ISpVoice> voice, VoiceLister lister = VoiceCatalog::Enumerate);
    // The player the voice renders into (PlayThroughProgram); without one the voice
    // speaks to its device.
    void UsePlayer(std::shared_ptr<AudioPlayer> player) { controller_.UsePlayer(std::move(player)); }
    // As the window goes: what is being prepared or heard is dropped, the voice released.
    void Close();
    // The voice's events, and the window's speech timer.
    void OnVoiceEvents();
    // The program's player heard what the voice reported.
    void OnVoiceHeard();
    void OnTimer();
    // The view fills the window's new client area; the window is now shown at dpi.
    void FitView(int width, int height);
    void ChangeDpi(int dpi);
    // The window became active, or stopped being so: the caret follows the reading only
    // in the active window.
    void WindowActivated(bool active) { view_.SetActive(active); }
    void ReportStatusChange(int line = -1) { OnStatusChange(line); }
    // What the view shows, to look at; everything that changes it goes through the reader.
    const TextView& View() const { return view_; }

    // ---- For what the user asks ----
    void Do(ReadingCommand command);
    // Read from the word drawn at point of the view (client coordinates), or the next
    // one after a blank, unless a reading goes on or no word follows.
    void StartAtWordAt(POINT point);
    // Whatever needs the text as it will be (a command, a click) first has the copy being
    // prepared finished, so that it sees the text as if it had come in at once.
    void FinishLoad();

    // ---- For copies ----
    // Whether a copy of so many characters is taken; when not, the note listener hears why.
    bool TakesCopyOf(size_t characters);
    // A copy's text, without its trailing line breaks: in place of the view's text, or
    // with append after it, with one blank after it; prepared, and read from its start
    // when the reading's state and auto play ask for it (or readAnyway, while not paused).
    // A long text is prepared between messages and comes into the view when it is ready;
    // a copy that comes meanwhile replaces it, or in append mode goes after it.
    void TakeCopy(std::wstring text, bool append, bool readAnyway = false);
    // A copy taken earlier, back in place of the view's text (never appended, never read
    // from its start): the reading is set at the sentence that holds resumeAt, where Play
    // goes on, and reads from there at once when read. Until another copy comes, or the
    // reading starts, the same text copied again (the clipboard as the program starts)
    // leaves it where it is.
    void TakeEarlierCopy(std::wstring text, int resumeAt, bool read);
    // The view's text becomes the prepared text (see PreparedText), without its trailing
    // line breaks when asked.
    void PrepareText(bool dropTrailingLineBreaks = false);
    // A blank in place of the text, prepared, as after Delete all.
    void ShowBlank();
    const PreparedText& Text() const { return text_; }
    // The view's range of the word last highlighted since the text was prepared; empty
    // when none was.
    TextRange LastSpokenWord() const { return lastSpokenWord_; }
    // Where the latest copy begins in the view (after the text before it, in append mode).
    int LatestCopyStart() const { return latestCopyStart_; }

    // ---- For the settings, when they changed ----
    void Apply(SettingsChange change);
    // The voices installed now (a voice may have come or gone since start-up).
    void RefreshVoices();

    // ---- For the caption, the menu, the Options and the export ----
    SpeechState State() const { return controller_.State(); }
    // The language being read, for the caption; NoLanguage when not reading, not known,
    // or when every language is read with the one voice.
    LanguageId SpeakingLanguage() const;
    // The voices installed, the chosen one and the voice of each language.
    const VoiceRuns& Voices() const { return voiceRuns_; }
    ISpVoice* Voice() const { return controller_.Voice(); }
    // The name of the voice that reads the view's text at viewOffset, as a reading would.
    std::wstring VoiceNameAt(int viewOffset);
    // What the voice is given for the whole text, run by run with its voice, as a reading
    // gives it, and the way back to the view; empty before anything was prepared.
    SpokenWhole SpokenParts();

private:
    // Tests look at the parts themselves.
    friend struct ReaderProbe;

    void OnSpokenWord(TextRange word, TextRange sentence) override;
    void OnStatusChange(int line) override;
    void OnLanguageReached(LanguageId language, bool withoutVoice) override;
    void OnReadingEnd(int caret) override;
    void TakeText(std::shared_ptr<std::wstring> text, bool append, bool readAnyway, int resumeAt, bool readResumed);
    // The reading set at the sentence of position in the text just shown (a copy taken
    // back), the sentence in view; read from there at once when read.
    void ResumeAt(int position, bool read);
    void CancelLoad();
    void ForgetText();
    void DropTrailingLineBreaks();
    void ApplyLook(SettingsChange change);
    void ApplyListeningFilters();
    void ApplyVoiceSettings();
    // What the voice hears of the whole prepared text; the skipped part is dimmed. The
    // dictionary's part is worked out on a thread of its own: what it does not finish at
    // once comes when it is ready, and until then the voice hears the text as before, or
    // a new text without the dictionary. True when what the voice hears changed now.
    bool DeriveSpokenText();
    // The dictionary made ready for the chosen voice and each language's voice.
    DictionaryByVoice DictionaryForVoices();
    // What the filters and then the pronunciation dictionary make of the text becomes what
    // the voice hears; what the dictionary left undone of it is told.
    void ShowSpokenText(HeardText heard);
    void TellLeftUndone(const PronunciationReport& report);
    // The dictionary goes to work on what filter gives, for the prepared text with
    // heardWith_; whatever it was doing before is called off.
    void StartHearing(HearingJob::Filter filter);
    void CancelHearing();
    // The hearing's result, which it gives up.
    HeardText TakeHeard();
    // Between messages: takes the hearing's result in once it is ready, and a reading going
    // on goes on with it; true when no hearing is pending any more.
    bool TakeHearing(unsigned waitMs);
    // A copy on its way in: prepared a piece at a time, then shown, then filtered for the
    // voice and read, each in a step of its own, so that the window takes its messages
    // in between.
    struct Load {
        enum class Phase { Preparing, Counting, Showing, Hearing, Reading };
        Load(SharedText viewText, bool viewPrepared, std::wstring copy, bool append)
            : copy(viewText, viewPrepared, std::move(copy), append)
        {
        }
        CopyLoad copy;
        Phase phase = Phase::Preparing;
        CopyLoad::Result result;
        int previousSentences = 0;
        // Whether what the voice is to hear of it is being worked out.
        bool hearingStarted = false;
        // Whether it is read once it is in, and whether a copy went after another one
        // still being prepared.
        bool read = false;
        bool followsCopy = false;
        // A long copy is read from its first sentence while the rest is prepared. The
        // head's load holds the whole copy, which is loaded next; the whole's load holds
        // the head as shown and where it ends, to go on reading from there. The whole may
        // be shared with the copy listener, and is copied only once the head is read.
        std::shared_ptr<std::wstring> whole;
        SharedText head;
        int headEnd = -1;
        // A copy taken back from the history: where its reading is set, and whether it
        // is read from there at once.
        int resumeAt = -1;
        bool readResumed = false;
    };
    // How a step waits for what the voice is to hear: Sliced, a moment between messages;
    // Prompt, a little longer, so that a short copy comes in as if at once when it can;
    // Finish, as long, then the text goes on without the dictionary until it is ready.
    enum class Wait { Sliced, Prompt, Finish };
    bool LoadStep(Wait wait = Wait::Sliced);
    bool HearingStep(Load& load, Wait wait);

    TextView view_;
    PreparedText text_;
    std::shared_ptr<const SpokenText> spoken_;
    // What the listening filters make of the text, before the pronunciation dictionary.
    std::shared_ptr<const SpokenText> filtered_;
    ListeningFilters spokenFilters_;   // those spoken_ was made with
    PronouncerCache pronouncers_;
    DictionaryByVoice heardWith_;       // those spoken_ was made with
    std::wstring voiceName_;           // whose entries of the dictionary apply: the chosen voice's
    TextRange lastSpokenWord_, lastSpokenSentence_;
    ViewLook look_;
    VoiceLister voiceLister_;
    VoiceRuns voiceRuns_;
    SpeechController controller_{*this, voiceRuns_};
    LanguageId speakingLanguage_ = NoLanguage;
    // Languages the user has been told have no voice of their own.
    std::vector<LanguageId> toldWithoutVoice_;
    bool toldChosenVoiceMissing_ = false;
    std::wstring pendingNote_;
    StatusListener statusListener_;
    NoteListener noteListener_;
    CopyListener copyListener_;
    int latestCopyStart_ = 0;
    // The copy taken back from the history, until another copy comes or a reading starts.
    std::shared_ptr<const std::wstring> resumedCopy_;
    std::unique_ptr<Load> load_;
    SlicedWork loadWork_;
    // What the voice is to hear of the prepared text, being worked out; spoken_ becomes it
    // once it is ready.
    std::unique_ptr<HearingJob> hearing_;
    SlicedWork hearingWork_;
    // The prepared text that spoken_ was derived from.
    SharedText spokenFor_;
};
