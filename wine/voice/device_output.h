#pragma once
// The voice's default output: the audio device. This machine has no sound card, so
// the stand-in only keeps the device's time and writes nothing.
#include <windows.h>
#include <sapi.h>

// A new default-output object (one reference) for a voice.
ISpStreamFormat* NewDeviceOutput();
