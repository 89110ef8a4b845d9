#pragma once
// The first minutes: the program greets the user with its About dialog at the first copy
// and takes what was copied meanwhile once that has been closed; and the first copy that
// is only shown, not read, comes with a note on how to hear it.
struct SpeechWindowState;

// Opens the About dialog over the Speech window unless it is open already; a copy made
// while it is open is taken when it closes.
void GreetOnFirstCopy(SpeechWindowState& state);
// WM_GREETING_CLOSED: the greeting has been seen, copies count from now on.
void OnGreetingClosed(SpeechWindowState& state);

// After a copied text was taken: with auto play off and nothing being read, the user is
// told once how to hear it.
void TellHowToHearOnce(SpeechWindowState& state);
