#pragma once
// The speech controller: the only code that starts, pauses, resumes and stops the
// voice; it reports every change of state upward (status_report.h).
#include <windows.h>

enum SpeechState : int {
    Stopped = 1,
    Playing = 2,
    Paused = 3,
    // Text was handed to the voice while the end-of-input event of an utterance
    // purged before it is still to come. Counts as playing almost everywhere.
    PendingPlay = 4,
};

extern SpeechState speechState;
extern int lastWordEnd;

void Play();
// Play, starting a new reading at offset in SpeechText.
void PlayFrom(int offset);
void PauseResume();
void Stop();
void PlayStop();                  // Play in Stopped, Stop otherwise
void PlayPause();                 // Play in Stopped, pause/resume in Playing or Paused
// New text is in the view: drops what the voice holds and tells whether the text is
// to be read, by the state and `autoPlay`. After preparing it, ReadNewText reads it
// from offset, where the new part begins.
bool BeginNewText();
void ReadNewText(int offset);
void StepSentence(int direction); // +1 or -1, only while playing
void ChangeRate(int delta);       // clamps at -10 and 10
void PurgeVoice();
// Where in SpeechText the utterance of a voice stream begins; the voice's positions
// count from there.
int SpokenTextOffset(ULONG stream);
// The voice was replaced or released: nothing it held will report again.
void ForgetVoiceQueue();
void HandleVoiceEvents();
void OnSpeechTimer();
// Ctrl+click: start at the sentence that begins the first visible line.
void StartAtFirstVisibleLine();
