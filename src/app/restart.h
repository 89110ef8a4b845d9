#pragma once
// Handing over to a fresh copy of the program: after an update, and to reset the settings.
#include <windows.h>

// "Reset settings": after the user confirms, ends the Options dialog and restarts the
// program, whose final save deletes the settings file.
void RequestReset(HWND optionsDialog);

// Starts a new copy with "/r", which waits until this one has gone, and ends this one
// by ending its Speech window.
void RestartSelf(HWND speechWindow);
