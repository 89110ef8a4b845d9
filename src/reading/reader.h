#pragma once
// The Reader: everything that reads a text aloud in one place, owned by the window that
// shows it. The TextView, the text prepared from it, the display of the spoken word, and
// the controller that drives the voice; a change that the status line may show goes to
// the listener the window gives it.
#include <windows.h>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include "platform/sliced_work.h"
#include "view/copy_load.h"
#include "view/display.h"
#include "hearing/hearing_job.h"
#include "hearing/listening_filters.h"
#include "hearing/paragraph_languages.h"
#include "hearing/pronounced_text.h"
#include "voice/speech_controller.h"
#include "hearing/spoken_text.h"
#include "voice/voice_catalog.h"
#include "view/text_prep.h"
#include "view/text_view.h"

// line is the zero-based line the status line is to show, or -1 for the line that holds
// the selection.
using StatusListener = std::function<void(int line)>;
// A short note for the user, such as why a copy was not taken.
using NoteListener = std::function<void(const std::wstring& note)>;
// Lists the voices installed now, given the id of the system's default one.
using VoiceLister = std::function<VoiceCatalog(const std::wstring& defaultId)>;

// The largest copy taken, in bytes of its UTF-16 text. A larger one is most likely a
// mistake (a whole log or database), and would take the program's memory many times over.
inline constexpr size_t LargestCopyBytes = size_t{20} << 20;

class Reader : private SpeechListener, private VoiceRunSource {
public:
    // The voice hears the text through the dictionary of pronunciations, which the
    // Reader's owner keeps and which outlives it.
    explicit Reader(const PronunciationStoreRecord& pronunciations);
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // The view as a child of parent at rect, in the settings' font and colours; false
    // when the control cannot be made.
    bool CreateView(HWND parent, const RECT& rect);
    void SetStatusListener(StatusListener listener) { statusListener_ = std::move(listener); }
    void SetNoteListener(NoteListener listener) { noteListener_ = std::move(listener); }
    // The voice that reads from now on, and the voices installed beside it, as lister
    // finds them now and whenever they are refreshed; an empty one releases it.
    void UseVoice(ComPtr<ISpVoice> voice, VoiceLister lister = VoiceCatalog::Enumerate);
    // The voices installed now (a voice may have come or gone since start-up).
    void RefreshVoices();
    const VoiceCatalog& Voices() const { return voices_; }
    // The voice the settings choose; null for the system's default, also when the
    // chosen one is not installed.
    const InstalledVoice* ChosenVoice() const;
    // The display name of the chosen voice, or of the system's default one; the
    // pronunciation dictionary's entries for it apply.
    std::wstring ChosenVoiceName() const;
    // The settings name a voice that is not installed: the default reads until it returns.
    bool ChosenVoiceMissing() const;
    // Whether each paragraph is read with a voice of its language, by the settings or,
    // when they leave it open, by whether voices of more than one language are installed.
    bool ReadsEachLanguage() const;
    // The voice settings changed: a reading going on goes on with them at once.
    void ApplyVoiceSettings();
    // The language being read, for the caption; NoLanguage when not reading, not known,
    // or when every language is read with the one voice.
    LanguageId SpeakingLanguage() const;
    // The voice of a language: the user's choice for it, the chosen voice when it speaks
    // it, or the first that does; null when none does.
    const InstalledVoice* VoiceForLanguage(LanguageId language) const;
    // The runs of the whole spoken text with their voices, as a reading would read them.
    std::vector<VoiceRun> AllRuns();

    TextView& View() { return view_; }
    const TextView& View() const { return view_; }
    const PreparedText& Text() const { return text_; }
    // What the voice is given for the prepared text; null before the first preparation.
    const std::shared_ptr<const SpokenText>& Spoken() const { return spoken_; }
    SpeechController& Controller() { return controller_; }
    const SpeechController& Controller() const { return controller_; }
    SpeechState State() const { return controller_.State(); }
    int VisibleLines() const { return display_.VisibleLines(); }

    // Whether a copy of so many characters is taken; when not, the note listener hears why.
    bool TakesCopyOf(size_t characters);
    // A copy's text, without its trailing line breaks: in place of the view's text, or
    // with append after it, with one blank after it; prepared, and read from its start
    // when the reading's state and auto play ask for it. A long text is prepared between
    // messages and comes into the view when it is ready; a copy that comes meanwhile
    // replaces it, or in append mode goes after it.
    void TakeCopy(std::wstring text, bool append);
    // Whatever needs the text as it will be (a command, a click) first has the copy being
    // prepared finished, so that it sees the text as if it had come in at once.
    void FinishLoad();
    // The copy being prepared is dropped, and what the voice was to hear of it.
    void CancelLoad();
    bool Loading() const { return load_ != nullptr; }

    // The view's text becomes the prepared text (see PreparedText).
    void PrepareText();
    void DropTrailingLineBreaks();
    void ForgetText();
    // The listening filters of the settings or the pronunciation dictionary changed: the
    // voice hears the text anew, a reading going on from the word it has reached.
    void ApplyListeningFilters();
    // The view's range of the word last highlighted since the text was prepared; empty
    // when none was.
    TextRange LastSpokenWord() const { return lastSpokenWord_; }

    void ApplyFontAndColours();
    // The colours alone, as the system's high-contrast mode asks for them now.
    void ApplyColours();
    // Whether the sentence being read is tinted, and focus mode, as the settings say.
    void ApplySentenceLook();
    // The window is now shown at dpi: the text keeps its size in points.
    void ChangeDpi(int dpi);
    // The view fills the window's new client area.
    void FitView(int width, int height);
    void ReportStatusChange(int line = -1) { OnStatusChange(line); }

private:
    void OnSpokenWord(TextRange word, TextRange sentence) override;
    void OnStatusChange(int line) override;
    void OnLanguageReached(LanguageId language, bool withoutVoice) override;
    VoiceRun RunFrom(int offset) override;
    // What the voice hears of the whole prepared text; the skipped part is dimmed. The
    // dictionary's part is worked out on a thread of its own: what it does not finish at
    // once comes when it is ready, and until then the voice hears the text as before, or
    // a new text without the dictionary. True when what the voice hears changed now.
    bool DeriveSpokenText();
    // The dictionary made ready for the chosen voice and each language's voice.
    VoicePronouncers VoicesPronouncers();
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
    VoicePronouncers heardWith_;       // those spoken_ was made with
    std::wstring voiceName_;           // whose entries of the dictionary apply: the chosen voice's
    std::wstring defaultVoiceName_;    // the system's default voice, when none is chosen
    TextRange lastSpokenWord_;
    Display display_;
    SpeechController controller_{view_, spoken_, *this, *this};
    VoiceLister voiceLister_;
    VoiceCatalog voices_;
    // The languages of the spoken text's paragraphs, found as the reading comes to them.
    std::unique_ptr<ParagraphLanguages> languages_;
    LanguageId speakingLanguage_ = NoLanguage;
    // Languages the user has been told have no voice of their own.
    std::vector<LanguageId> toldWithoutVoice_;
    bool toldChosenVoiceMissing_ = false;
    std::wstring pendingNote_;
    StatusListener statusListener_;
    NoteListener noteListener_;
    std::unique_ptr<Load> load_;
    SlicedWork loadWork_;
    // What the voice is to hear of the prepared text, being worked out; spoken_ becomes it
    // once it is ready.
    std::unique_ptr<HearingJob> hearing_;
    SlicedWork hearingWork_;
    // The prepared text that spoken_ was derived from.
    SharedText spokenFor_;
};
