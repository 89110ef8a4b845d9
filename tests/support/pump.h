#pragma once
#include <windows.h>
#include <functional>

// Dispatches this thread's messages until the condition holds or the time is up.
// Tests wait for conditions, never for fixed times.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// Dispatches whatever is queued now, without waiting.
void PumpPending();
