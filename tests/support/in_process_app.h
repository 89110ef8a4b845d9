#pragma once
// The program's Speech window started inside the test process, with the settings
// record at its first-run values and a fake voice: its commands and handlers can then
// be driven directly and their effects on menu, caption and TextView read back.
#include <windows.h>
#include "fake_voice.h"
#include "app/speech_window.h"
#include <memory>

class InProcessApp {
public:
    // showCommand SW_HIDE keeps the window off the screen.
    explicit InProcessApp(int showCommand = SW_HIDE);
    ~InProcessApp();

    FakeVoice voice;
    HWND window() const;
    SpeechWindowState& state() const { return *state_; }
    HMENU menu() const { return state_->popupMenu; }

    void Command(UINT id);
    // The popup menu's item text and state.
    std::wstring MenuText(UINT id) const;
    bool MenuEnabled(UINT id) const;
    bool MenuChecked(UINT id) const;
    std::wstring Caption() const;

private:
    std::unique_ptr<SpeechWindowState> state_ = std::make_unique<SpeechWindowState>();
};
