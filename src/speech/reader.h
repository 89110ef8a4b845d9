#pragma once
// The Reader: everything that reads a text aloud in one place, owned by the window that
// shows it. The TextView, the text prepared from it, the display of the spoken word, and
// the controller that drives the voice; a change that the status line may show goes to
// the listener the window gives it.
#include <windows.h>
#include <functional>
#include <memory>
#include <utility>
#include "speech/display.h"
#include "speech/pronounced_text.h"
#include "speech/skipped_text.h"
#include "speech/speech_controller.h"
#include "speech/spoken_text.h"
#include "speech/text_prep.h"
#include "speech/text_view.h"

// line is the zero-based line the status line is to show, or -1 for the line that holds
// the selection.
using StatusListener = std::function<void(int line)>;

class Reader : private SpeechListener {
public:
    Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // The view as a child of parent at rect, in the settings' font and colours; false
    // when the control cannot be made.
    bool CreateView(HWND parent, const RECT& rect);
    void SetStatusListener(StatusListener listener) { statusListener_ = std::move(listener); }
    // The voice that reads from now on; an empty one releases it.
    void UseVoice(ComPtr<ISpVoice> voice);

    TextView& View() { return view_; }
    const TextView& View() const { return view_; }
    const PreparedText& Text() const { return text_; }
    // What the voice is given for the prepared text; null before the first preparation.
    const std::shared_ptr<const SpokenText>& Spoken() const { return spoken_; }
    SpeechController& Controller() { return controller_; }
    const SpeechController& Controller() const { return controller_; }
    SpeechState State() const { return controller_.State(); }
    int VisibleLines() const { return display_.VisibleLines(); }

    // The view's text becomes the prepared text (see PreparedText).
    void PrepareText();
    void PrepareAppendedText(int from);
    void DropTrailingLineBreaks();
    void ForgetText();
    // The listening filters of the settings or the pronunciation dictionary changed: the
    // voice hears the text anew, a reading going on from the word it has reached.
    void ApplyListeningFilters();
    // The view's range of the word last highlighted since the text was prepared; empty
    // when none was.
    WordRange LastSpokenWord() const { return lastSpokenWord_; }

    void ApplyFontAndColours();
    // The view fills the window's new client area.
    void FitView(int width, int height);
    void ReportStatusChange(int line = -1) { OnStatusChange(line); }

private:
    void OnSpokenWord(WordRange word) override;
    void OnStatusChange(int line) override;
    void DeriveSpokenText();
    // The pronunciation dictionary after the filters; the view's skipped text is shaded
    // again from from on.
    void Pronounce(int from = 0);

    TextView view_;
    PreparedText text_;
    std::shared_ptr<const SpokenText> spoken_;
    // What the listening filters make of the text, before the pronunciation dictionary.
    std::shared_ptr<const SpokenText> filtered_;
    ListeningFilters spokenFilters_;   // those spoken_ was made with
    PronouncerCache pronouncers_;
    std::wstring voiceName_;           // whose entries of the dictionary apply
    WordRange lastSpokenWord_;
    Display display_;
    SkippedTextShading shading_{view_};
    SpeechController controller_{view_, spoken_, *this};
    StatusListener statusListener_;
};
