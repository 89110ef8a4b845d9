#pragma once
// A stream of the caller's own (an IStream that tells its format through
// ISpStreamFormat) as the speaking thread's output: the audio is written to it as fast
// as it takes it, and the events tell positions in it.
#include "audio_output.h"
#include "com_ptr.h"
#include <sapi.h>

// Fails with SPERR_UNSUPPORTED_FORMAT when the stream wants audio the voice cannot make.
HRESULT NewCallerOutput(ISpStreamFormat* stream, ComPtr<IStandInOutput>& output);
