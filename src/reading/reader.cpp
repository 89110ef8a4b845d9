#include "reading/reader.h"
#include "settings/app_settings.h"
#include "settings/voice_settings.h"
#include "hearing/listening_filters.h"
#include "voice/pitch_markup.h"
#include "voice/voice_engine.h"
#include "platform/ui_text.h"
#include "view/sentences.h"
#include "res/resource.h"
#include <algorithm>
#include <cmath>
#include <cwchar>

namespace {

// The text itself when no one else holds it; a copy of it when someone does (the
// history keeps the copies it is given).
std::wstring OwnCopy(std::shared_ptr<std::wstring>&& text)
{
    std::shared_ptr<std::wstring> held = std::move(text);
    if (held.use_count() == 1)
        return std::move(*held);
    return *held;
}

// A copy up to this long is prepared at once, in a few milliseconds.
constexpr size_t PrepareAtOnceChars = 128 * 1024;
// A longer copy is read from its first sentence, at most this long, while the rest is
// prepared.
constexpr size_t HeadChars = 4096;
// How long the window waits for the pronunciation dictionary before it goes on to its
// messages: what is ready by then comes in as if it had been worked out at once.
constexpr unsigned PatienceMs = 50;
// A wait between messages that spares the window from spinning through them.
constexpr unsigned PollMs = 2;

// Megabytes with one decimal, rounded up: a copy just over the limit must not read as
// the limit itself.
std::wstring Megabytes(unsigned long long bytes)
{
    wchar_t text[32] = L"";
    swprintf(text, 32, L"%.1f", std::ceil(static_cast<double>(bytes) * 10.0 / (1024.0 * 1024.0)) / 10.0);
    return text;
}

// The first sentence of a long copy, or its first HeadChars cut after a blank; empty
// when the copy is short or begins with nothing to read.
std::wstring HeadOf(const std::wstring& copy)
{
    if (copy.size() <= PrepareAtOnceChars)
        return {};
    const int limit = static_cast<int>(HeadChars);
    int end = SentenceEndAfter(copy.c_str(), limit, 0);
    if (end >= limit) {
        const size_t blank = copy.find_last_of(L" \t\r\n", HeadChars - 1);
        if (blank != std::wstring::npos)
            end = static_cast<int>(blank);
    }
    std::wstring head = copy.substr(0, static_cast<size_t>(end));
    if (head.find_first_not_of(L" \t\r\n") == std::wstring::npos)
        return {};
    return head;
}

// Where a prepared text ends before its trailing blanks and line breaks.
int EndBeforeBlanks(const std::wstring& text)
{
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == L' ' || text[end - 1] == L'\r' || text[end - 1] == L'\n'))
        --end;
    return static_cast<int>(end);
}

} // namespace

Reader::Reader(const PronunciationStoreRecord& pronunciations) : pronouncers_(pronunciations) {}

bool Reader::CreateView(HWND parent, const RECT& rect)
{
    if (!view_.Create(parent, rect))
        return false;
    ApplyLook(SettingsChange::FontAndColours);
    return true;
}

void Reader::SetListeners(StatusListener status, NoteListener note)
{
    statusListener_ = std::move(status);
    noteListener_ = std::move(note);
}

void Reader::Close()
{
    CancelLoad();
    UseVoice({});
    SetListeners(nullptr, nullptr);
    ForgetText();
}

void Reader::OnVoiceEvents()
{
    controller_.HandleVoiceEvents();
}

void Reader::OnVoiceHeard()
{
    controller_.HandleHeardEvents();
}

void Reader::OnTimer()
{
    controller_.OnTimer();
}

void Reader::Do(ReadingCommand command)
{
    // Once the user reads or moves, the same text copied again is a copy like any other.
    resumedCopy_.reset();
    switch (command) {
    case ReadingCommand::Play:             controller_.Play(); break;
    case ReadingCommand::PlayPause:        controller_.PlayPause(); break;
    case ReadingCommand::PlayStop:         controller_.PlayStop(); break;
    case ReadingCommand::PauseResume:      controller_.PauseResume(); break;
    case ReadingCommand::Stop:             controller_.Stop(); break;
    case ReadingCommand::NextSentence:     controller_.StepSentence(+1); break;
    case ReadingCommand::PreviousSentence: controller_.StepSentence(-1); break;
    case ReadingCommand::StartAtFirstVisibleLine:
        controller_.StartAtSentenceOf(view_.LineIndex(view_.FirstVisibleLine()));
        break;
    // The control clamps a line scroll, so scrolling by the number of lines reaches either
    // end; a larger count overflows inside some rich-edit versions and scrolls nowhere.
    case ReadingCommand::ScrollToTop:      view_.ScrollLines(-view_.LineCount()); break;
    case ReadingCommand::ScrollToEnd:      view_.ScrollLines(view_.LineCount()); break;
    case ReadingCommand::ScrollLineUp:     view_.ScrollOneLine(true); break;
    case ReadingCommand::ScrollLineDown:   view_.ScrollOneLine(false); break;
    }
}

void Reader::StartAtWordAt(POINT point)
{
    controller_.StartAtWordOf(view_.CharacterAt(point));
}

bool Reader::TakesCopyOf(size_t characters)
{
    const unsigned long long bytes = static_cast<unsigned long long>(characters) * sizeof(wchar_t);
    if (bytes <= LargestCopyBytes)
        return true;
    if (noteListener_)
        noteListener_(
            FillPattern(LoadText(IDS_COPY_TOO_LARGE), Megabytes(bytes), std::to_wstring(LargestCopyBytes >> 20)));
    return false;
}

void Reader::TakeCopy(std::wstring text, bool append, bool readAnyway)
{
    // As the program starts, the clipboard most often still holds the copy the reading
    // was taken back to: it stays where the reading was.
    if (const std::shared_ptr<const std::wstring> resumed = std::exchange(resumedCopy_, nullptr);
        resumed && text == *resumed)
        return;
    auto copy = std::make_shared<std::wstring>(std::move(text));
    if (copyListener_)
        copyListener_(copy);
    TakeText(std::move(copy), append, readAnyway, -1, false);
}

void Reader::TakeEarlierCopy(std::wstring text, int resumeAt, bool read)
{
    if (controller_.State() != Stopped)
        controller_.Stop();
    auto copy = std::make_shared<std::wstring>(std::move(text));
    SharedText resumed = copy;
    TakeText(std::move(copy), false, false, std::max(resumeAt, 0), read);
    resumedCopy_ = std::move(resumed);
}

void Reader::ResumeAt(int position, bool read)
{
    const std::wstring& text = text_.Text();
    const int length = static_cast<int>(text.size());
    const int at = std::clamp(position, 0, length);
    const int sentence = at < length ? SentenceStartBefore(text.c_str(), at) : 0;
    if (read) {
        controller_.StartAtSentenceOf(sentence);
        return;
    }
    controller_.SetStartPoint(sentence);
    view_.ShowSentence({sentence, SentenceEndAfter(text.c_str(), length, sentence)});
    view_.Select(sentence, sentence);
    view_.ScrollLines(view_.LineFromChar(sentence) - view_.FirstVisibleLine());
    ReportStatusChange();
}

void Reader::TakeText(std::shared_ptr<std::wstring> text, bool append, bool readAnyway, int resumeAt, bool readResumed)
{
    // Only text not prepared yet can take another copy after it; one already prepared is
    // shown and read first, as it would have been had it come in at once.
    const bool follows = load_ && append && load_->phase == Load::Phase::Preparing;
    if (!follows) {
        if (append)
            FinishLoad();
        else
            CancelLoad();
        // What the voice was to hear of the text before is heard of the new one.
        CancelHearing();
    }
    // A copy taken back is read, if at all, from where it was left.
    const bool read = controller_.BeginNewText(readAnyway) && resumeAt < 0;
    if (follows) {
        load_->copy.AddCopy(OwnCopy(std::move(text)));
        load_->followsCopy = true;
        // The reading starts again at the added copy, not where a head left off.
        load_->head.reset();
    } else {
        std::wstring head = read && !append ? HeadOf(*text) : std::wstring();
        std::shared_ptr<std::wstring> whole;
        if (!head.empty())
            whole = std::move(text);
        else
            head = OwnCopy(std::move(text));
        load_ = std::make_unique<Load>(view_.Shared(), text_.MatchesView(view_), std::move(head), append);
        load_->whole = std::move(whole);
    }
    load_->read = read;
    load_->resumeAt = resumeAt;
    load_->readResumed = readResumed;
    if (load_->copy.Remaining() <= PrepareAtOnceChars) {
        loadWork_.Cancel();
        // A head's load is done at once; the whole copy's after it goes between messages.
        const Load* atOnce = load_.get();
        while (load_.get() == atOnce && !LoadStep(Wait::Prompt) &&
               !(load_->phase == Load::Phase::Hearing && load_->hearingStarted)) {
        }
    }
    if (load_ && !loadWork_.Pending())
        loadWork_.Start([this] { return LoadStep(); });
}

bool Reader::LoadStep(Wait wait)
{
    if (!load_)
        return true;
    Load& load = *load_;
    switch (load.phase) {
    case Load::Phase::Preparing:
        if (load.copy.Step()) {
            load.result = load.copy.Take();
            load.phase = Load::Phase::Counting;
        }
        return false;
    case Load::Phase::Counting:
        // The sentences of the text as it was before the latest copy.
        load.previousSentences = load.followsCopy ? CountSentences(load.result.text.data(), load.result.readFrom)
                                 : text_.Prepared()  ? CountSentences(text_.Text().c_str())
                                                     : 0;
        load.phase = Load::Phase::Showing;
        return false;
    case Load::Phase::Showing: {
        auto shown = std::make_shared<const std::wstring>(std::move(load.result.text));
        // The head being read must begin the whole copy as it was shown, for the reading
        // and its highlight to go on in the whole; else it goes on from the word reached.
        const bool continues = load.head && shown->compare(0, static_cast<size_t>(load.headEnd), *load.head, 0,
                                                           static_cast<size_t>(load.headEnd)) == 0;
        if (!continues)
            load.headEnd = -1;
        view_.TakeText(shown);
        PreparationMarks marks = std::move(load.result.marks);
        if (load.result.keptPrefix > 0) {
            // What the kept text's preparation found stays, before what the copy's found.
            PreparationMarks kept = text_.Marks();
            kept.insertedStops.insert(kept.insertedStops.end(), marks.insertedStops.begin(), marks.insertedStops.end());
            kept.webAddresses.insert(kept.webAddresses.end(), marks.webAddresses.begin(), marks.webAddresses.end());
            marks = std::move(kept);
        }
        if (load.result.keptPrefix == 0 && !continues)
            lastSpokenWord_ = {};
        text_.Adopt(std::move(shown), std::move(marks), load.previousSentences, view_);
        latestCopyStart_ = load.result.readFrom;
        if (continues && lastSpokenWord_.end > lastSpokenWord_.start)
            look_.ShowSpokenWord(view_, lastSpokenWord_, lastSpokenSentence_);
        else
            view_.Select(0, 0);
        ReportStatusChange();
        load.phase = Load::Phase::Hearing;
        return false;
    }
    case Load::Phase::Hearing:
        if (HearingStep(load, wait))
            load.phase = Load::Phase::Reading;
        return false;
    case Load::Phase::Reading:
        break;
    }
    const bool read = load.read;
    const int readFrom = load.result.readFrom;
    const int resumeAt = load.resumeAt;
    const bool readResumed = load.readResumed;
    const bool wasHead = load.whole != nullptr;
    std::wstring whole = wasHead ? OwnCopy(std::move(load.whole)) : std::wstring();
    const SharedText head = load.head;
    const int headEnd = load.headEnd;
    load_.reset();
    if (resumeAt >= 0) {
        ResumeAt(resumeAt, readResumed);
        return true;
    }
    if (head) {
        controller_.ReadRestOfText(headEnd);
        return true;
    }
    if (read)
        controller_.ReadNewText(readFrom, wasHead);
    if (!wasHead)
        return true;
    const SharedText shown = view_.Shared();
    load_ = std::make_unique<Load>(shown, true, std::move(whole), false);
    load_->read = read;
    load_->head = shown;
    load_->headEnd = EndBeforeBlanks(*shown);
    return false;
}

// Derives what the voice hears of the text just shown; true once spoken_ holds it. A long
// text is filtered on a thread of its own, and the dictionary always works on one, during
// which the window takes its messages.
bool Reader::HearingStep(Load& load, Wait wait)
{
    if (!load.hearingStarted) {
        load.hearingStarted = true;
        // A long text is not filtered all again for a copy added to it.
        const int kept = load.result.keptPrefix;
        const bool extend =
            kept > 0 && filtered_ && filtered_->ViewLength() == kept && spokenFilters_ == AppSettings.listening;
        std::shared_ptr<const SpokenText> earlier = extend ? filtered_ : nullptr;
        spokenFilters_ = AppSettings.listening;
        heardWith_ = DictionaryForVoices();
        auto filter = [text = text_.Shared(), marks = text_.Marks(), filters = spokenFilters_, earlier, kept] {
            return std::make_shared<const SpokenText>(earlier ? ExtendFilteredText(*earlier, *text, marks, filters, kept)
                                                              : FilterForListening(*text, marks, filters));
        };
        if (text_.Text().size() - (earlier ? kept : 0) <= PrepareAtOnceChars) {
            std::shared_ptr<const SpokenText> filtered = filter();
            if (!HasEntries(heardWith_)) {
                CancelHearing();
                ShowSpokenText(HeardAsFiltered(filtered));
                return true;
            }
            StartHearing([filtered] { return filtered; });
        } else {
            StartHearing(std::move(filter));
        }
    }
    // Taken in meanwhile between messages.
    if (!hearing_)
        return true;
    if (hearing_->Ready(wait == Wait::Sliced ? PollMs : PatienceMs)) {
        ShowSpokenText(TakeHeard());
        return true;
    }
    if (wait != Wait::Finish)
        return false;
    // Whatever needs the text now has it without the dictionary's changes, which come
    // when they are ready, as after a change of the dictionary.
    std::shared_ptr<const SpokenText> filtered;
    while (!(filtered = hearing_->Filtered(PatienceMs))) {
    }
    ShowSpokenText(HeardAsFiltered(filtered));
    return true;
}

void Reader::FinishLoad()
{
    loadWork_.Cancel();
    while (!LoadStep(Wait::Finish)) {
    }
}

void Reader::CancelLoad()
{
    loadWork_.Cancel();
    load_.reset();
    CancelHearing();
}

void Reader::StartHearing(HearingJob::Filter filter)
{
    hearing_ = std::make_unique<HearingJob>(std::move(filter), heardWith_, text_.Text().size());
    hearingWork_.Start([this] { return TakeHearing(PollMs); });
}

void Reader::CancelHearing()
{
    hearingWork_.Cancel();
    hearing_.reset();
}

HeardText Reader::TakeHeard()
{
    HeardText heard = hearing_->Take();
    CancelHearing();
    return heard;
}

bool Reader::TakeHearing(unsigned waitMs)
{
    if (!hearing_)
        return true;
    if (!hearing_->Ready(waitMs))
        return false;
    // A copy on its way in is read from its start once it is in.
    const bool loadReads = load_ && load_->phase == Load::Phase::Hearing;
    ShowSpokenText(TakeHeard());
    if (!loadReads)
        controller_.SpokenTextChanged();
    return true;
}

void Reader::PrepareText(bool dropTrailingLineBreaks)
{
    FinishLoad();
    text_.Prepare(view_);
    DeriveSpokenText();
    ReportStatusChange();
    if (dropTrailingLineBreaks)
        DropTrailingLineBreaks();
}

void Reader::ShowBlank()
{
    view_.SetText(L" ");
    PrepareText();
}

void Reader::DropTrailingLineBreaks()
{
    text_.DropTrailingLineBreaks(view_);
    DeriveSpokenText();
}

void Reader::ForgetText()
{
    CancelHearing();
    text_.Forget();
    lastSpokenWord_ = {};
    spoken_.reset();
    filtered_.reset();
    controller_.UseText(nullptr);
    voiceRuns_.UseText(nullptr, nullptr, nullptr);
    view_.ShowDimmed(nullptr);
}

void Reader::ApplyListeningFilters()
{
    FinishLoad();
    if (!text_.Prepared())
        return;
    if (DeriveSpokenText())
        controller_.SpokenTextChanged();
}

bool Reader::DeriveSpokenText()
{
    spokenFilters_ = AppSettings.listening;
    heardWith_ = DictionaryForVoices();
    auto filtered = std::make_shared<const SpokenText>(FilterForListening(text_.Text(), text_.Marks(), spokenFilters_));
    if (!HasEntries(heardWith_)) {
        CancelHearing();
        ShowSpokenText(HeardAsFiltered(filtered));
        return true;
    }
    StartHearing([filtered] { return filtered; });
    if (hearing_->Ready(PatienceMs)) {
        ShowSpokenText(TakeHeard());
        return true;
    }
    if (spoken_ && spokenFor_ == text_.Shared())
        return false;
    ShowSpokenText(HeardAsFiltered(filtered));
    return true;
}

void Reader::ShowSpokenText(HeardText heard)
{
    filtered_ = std::move(heard.filtered);
    spoken_ = std::move(heard.spoken);
    spokenFor_ = text_.Shared();
    controller_.UseText(spoken_);
    voiceRuns_.UseText(spoken_, filtered_, std::move(heard.languages));
    view_.ShowDimmed(std::make_shared<const std::vector<TextRange>>(spoken_->SkippedRanges()));
    TellLeftUndone(heard.report);
}

// Said once for the text, as the status line says such things.
void Reader::TellLeftUndone(const PronunciationReport& report)
{
    std::wstring note;
    const std::vector<std::wstring>& slow = report.slowEntries;
    if (slow.size() == 1)
        note = FillPattern(LoadText(IDS_PRONUNCIATION_SLOW), slow.front());
    else if (!slow.empty())
        note = FillPattern(LoadText(IDS_PRONUNCIATION_SLOW_MORE), slow.front(), std::to_wstring(slow.size() - 1));
    else if (report.tooLong)
        note = LoadText(IDS_PRONUNCIATION_TOO_LONG);
    if (note.empty())
        return;
    // A reading going on, or about to start, would write over it at once: it waits for
    // the next word's status line.
    const SpeechState state = controller_.State();
    if (state == Playing || state == PendingPlay || (load_ && load_->read))
        pendingNote_ = std::move(note);
    else if (noteListener_)
        noteListener_(note);
}

void Reader::ApplyLook(SettingsChange change)
{
    if (change == SettingsChange::Colours) {
        look_.ApplyColours(view_);
    } else if (change == SettingsChange::SentenceLook) {
        look_.ApplySentenceLook(view_);
    } else {
        look_.ApplyFontAndColours(view_);
        ReportStatusChange();
    }
}

void Reader::ChangeDpi(int dpi)
{
    look_.ChangeDpi(view_, dpi);
    ReportStatusChange();
}

void Reader::FitView(int width, int height)
{
    MoveWindow(view_.Handle(), 0, 0, width, height, FALSE);
    look_.UpdateVisibleLines(view_);
    ReportStatusChange();
}

void Reader::UseVoice(ComPtr<ISpVoice> voice, VoiceLister lister)
{
    // Before any voice is set on it, the engine's voice is the system's default.
    const std::wstring defaultId = VoiceTokenId(voice.Get());
    std::wstring defaultName = VoiceName(voice.Get());
    voiceLister_ = voice ? std::move(lister) : VoiceLister();
    controller_.UseVoice(std::move(voice));
    voiceRuns_.UseCatalog(voiceLister_ ? voiceLister_(defaultId) : VoiceCatalog(), std::move(defaultName));
    voiceName_ = voiceRuns_.ChosenVoiceName();
}

void Reader::RefreshVoices()
{
    if (voiceLister_)
        voiceRuns_.UseCatalog(voiceLister_(voiceRuns_.Catalog().DefaultId()), voiceRuns_.DefaultName());
}

// The dictionary's entries for a voice apply where it reads: a text read by other voices
// is heard anew.
void Reader::ApplyVoiceSettings()
{
    voiceName_ = voiceRuns_.ChosenVoiceName();
    if (DictionaryForVoices() != heardWith_) {
        FinishLoad();
        if (text_.Prepared())
            DeriveSpokenText();
    }
    controller_.VoicesChanged();
}

void Reader::Apply(SettingsChange change)
{
    switch (change) {
    case SettingsChange::FontAndColours:
    case SettingsChange::Colours:
    case SettingsChange::SentenceLook: ApplyLook(change); break;
    case SettingsChange::Listening:    ApplyListeningFilters(); break;
    case SettingsChange::Voices:       ApplyVoiceSettings(); break;
    case SettingsChange::Rate:         controller_.RateChanged(); break;
    case SettingsChange::Speed:        controller_.SpeedChanged(); break;
    }
}

DictionaryByVoice Reader::DictionaryForVoices()
{
    DictionaryByVoice pronouncers{pronouncers_.For(voiceName_), {}};
    // Without an entry for one voice, every voice hears the same.
    if (!voiceRuns_.ReadsEachLanguage() || !pronouncers_.HasVoiceEntries())
        return pronouncers;
    for (LanguageId language : voiceRuns_.Catalog().Languages())
        if (const InstalledVoice* voice = voiceRuns_.VoiceForLanguage(language); voice && voice->name != voiceName_)
            pronouncers.byLanguage.emplace_back(language, pronouncers_.For(voice->name));
    return pronouncers;
}

LanguageId Reader::SpeakingLanguage() const
{
    const SpeechState state = controller_.State();
    return state != Stopped && voiceRuns_.ReadsEachLanguage() ? speakingLanguage_ : NoLanguage;
}

std::wstring Reader::VoiceNameAt(int viewOffset)
{
    return voiceRuns_.VoiceNameAt(spoken_ ? spoken_->SpokenPosition(viewOffset) : 0);
}

SpokenWhole Reader::SpokenParts()
{
    FinishLoad();
    // The runs are what the voice hears, the dictionary's changes too: the dictionary's
    // time for a text is bounded.
    while (!TakeHearing(PatienceMs)) {
    }
    SpokenWhole whole;
    if (!spoken_)
        return whole;
    whole.spoken = spoken_;
    whole.shown = spokenFor_;
    const bool markup = AppSettings.pitch != 0;
    for (const VoiceRun& run : voiceRuns_.AllRuns()) {
        std::wstring text = spoken_->Text().substr(static_cast<size_t>(run.start), static_cast<size_t>(run.end - run.start));
        SpokenPart part{std::move(text), run.voice, markup, run.start};
        if (markup) {
            part.markupMap = std::make_shared<const SpokenText>(PitchMarkup(part.text, AppSettings.pitch));
            part.text = part.markupMap->Text();
        }
        whole.parts.push_back(std::move(part));
    }
    return whole;
}

// The note waits for the word's status line, which would write over it.
void Reader::OnLanguageReached(LanguageId language, bool withoutVoice)
{
    speakingLanguage_ = language;
    // The default voice reads while the chosen one is missing; said once, as the first
    // reading starts, and the choice is kept for when the voice is back.
    if (voiceRuns_.ChosenVoiceMissing() && !toldChosenVoiceMissing_) {
        toldChosenVoiceMissing_ = true;
        pendingNote_ = FillPattern(LoadText(IDS_CHOSEN_VOICE_MISSING), VoiceIdName(AppSettings.voiceId));
        return;
    }
    // Said once a session for each language: the reading goes on with the chosen voice.
    if (!withoutVoice || language == NoLanguage ||
        std::find(toldWithoutVoice_.begin(), toldWithoutVoice_.end(), language) != toldWithoutVoice_.end())
        return;
    toldWithoutVoice_.push_back(language);
    pendingNote_ = FillPattern(LoadText(IDS_LANGUAGE_WITHOUT_VOICE), LanguageName(language));
}

void Reader::OnSpokenWord(TextRange word, TextRange sentence)
{
    lastSpokenWord_ = word;
    lastSpokenSentence_ = sentence;
    ReportStatusChange(look_.ShowSpokenWord(view_, word, sentence));
    if (!pendingNote_.empty() && noteListener_)
        noteListener_(pendingNote_);
    pendingNote_.clear();
}

void Reader::OnReadingEnd(int caret)
{
    view_.Select(caret, caret);
}

void Reader::OnStatusChange(int line)
{
    // Only a reading has a sentence being read; stopped, the whole text is there to see.
    if (controller_.State() == Stopped)
        view_.ShowSentence({});
    if (statusListener_)
        statusListener_(line);
}
