#pragma once
// The speech controller: the only code that starts, pauses, resumes and stops the
// voice, and keeps the popup menu's Play/Stop and Pause/Resume items in step.

enum SpeechState : int {
    Stopped = 1,
    Playing = 2,
    Paused = 3,
    // New text was just handed to the voice; an end-of-input event of the utterance
    // purged before it may still arrive. Counts as playing almost everywhere.
    PendingPlay = 4,
};

extern int speechState;
extern int lastWordEnd;

void Play();
void PauseResume();
void Stop();
void PlayStop();                  // Play in Stopped, Stop otherwise
void PlayPause();                 // Play in Stopped, pause/resume in Playing or Paused
void StepSentence(int direction); // +1 or -1, only while playing
void ChangeRate(int delta);       // clamps at -10 and 10
void PurgeVoice();
void HandleVoiceEvents();
void OnSpeechTimer();
// Ctrl+click: start at the sentence that begins the first visible line.
void StartAtFirstVisibleLine();
