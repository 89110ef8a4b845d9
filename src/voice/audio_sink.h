#pragma once
// The stream the voice renders into when the program plays the speech itself: what the
// voice writes goes to the player, and its format is the player's.
#include <windows.h>
#include <sapi.h>
#include <memory>
#include "platform/com_ptr.h"

class AudioPlayer;

// A stream object for ISpVoice::SetOutput; null when out of memory.
ComPtr<ISpStreamFormat> CreateAudioSink(std::shared_ptr<AudioPlayer> player);
