#pragma once
// The program's Speech window started inside the test process, with the settings
// record at its first-run values and a fake voice in its reader: its commands and
// handlers can then be driven directly and their effects on menu, caption and TextView
// read back. It ends as the program's window does, its final save going to a file of
// its own.
#include <windows.h>
#include "fake_voice.h"
#include "app/speech_window.h"
#include "reader_probe.h"
#include <memory>
#include <string>

class InProcessApp {
public:
    // showCommand SW_HIDE keeps the window off the screen.
    explicit InProcessApp(int showCommand = SW_HIDE);
    ~InProcessApp();

    FakeVoice voice;
    // The voices the program finds installed; none unless a test lists some and
    // refreshes the reader's voices.
    VoiceLister voiceLister = [](const std::wstring&) { return VoiceCatalog(); };
    HWND window() const;
    SpeechWindowState& state() const { return *state_; }
    HMENU menu() const { return state_->popupMenu; }
    Reader& reader() const { return state_->reader; }
    TextView& view() const { return ReaderProbe::View(state_->reader); }
    SpeechController& speech() const { return ReaderProbe::Controller(state_->reader); }

    void Command(UINT id);
    // The popup menu's item text and state.
    std::wstring MenuText(UINT id) const;
    bool MenuEnabled(UINT id) const;
    bool MenuChecked(UINT id) const;
    std::wstring Caption() const;
    // Brings the reading into the given state through the controller's own transitions,
    // preparing the view's text first, or a text of its own in an empty view.
    void Reach(SpeechState state);

private:
    std::unique_ptr<SpeechWindowState> state_ = std::make_unique<SpeechWindowState>();
    std::wstring settingsFile_;
    std::wstring historyFile_;
};
