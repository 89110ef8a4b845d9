#pragma once
// The program's Speech window started inside the test process, with the settings
// record at its first-run values and a fake voice: its commands and handlers can then
// be driven directly and their effects on menu, caption and TextView read back.
#include <windows.h>
#include "fake_voice.h"

class InProcessApp {
public:
    // showCommand SW_HIDE keeps the window off the screen.
    explicit InProcessApp(int showCommand = SW_HIDE);
    ~InProcessApp();

    FakeVoice voice;
    HWND window() const;

    void Command(UINT id);
    // The popup menu's item text and state.
    std::wstring MenuText(UINT id) const;
    bool MenuEnabled(UINT id) const;
    bool MenuChecked(UINT id) const;
    std::wstring Caption() const;
};
