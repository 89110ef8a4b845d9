#pragma once
// When each word of an exported text is heard in the recording, from what the voice told
// as it rendered it: its word and sentence events where it tells them, in proportion to
// the letters between them where it does not.
#include <windows.h>
#include <sapi.h>
#include <vector>
#include "export/timed_text.h"
#include "voice/voice_runs.h"

// An event of the rendering, as the voice raised it.
struct RenderedEvent {
    SPEVENTENUM id;
    ULONG stream;
    WPARAM wParam;
    LPARAM lParam;
    ULONGLONG offset;   // in bytes of the voice's output
};

// What the voice told of a rendering: its events in order, and the stream each part of
// the text was spoken as.
struct RenderedTiming {
    std::vector<RenderedEvent> events;
    std::vector<ULONG> streams;
};

struct HeardWords {
    std::vector<TimedWord> words;   // in the order heard
    long long endMs = 0;            // when the last part ends
};

// The shown words of whole and when each is heard, in a recording of bytesPerSecond
// played at speed (1: as the voice rendered it).
HeardWords WordsHeard(const SpokenWhole& whole, const RenderedTiming& timing, double bytesPerSecond, double speed);
