#pragma once
// The Options dialog's view of the running program: the Speech window, the voice, the
// popup menu and the reset, as the dialog's OptionsHost.
#include "options/options_dialog.h"

struct SpeechWindowState;

OptionsHost SpeechWindowOptionsHost(SpeechWindowState& state);
