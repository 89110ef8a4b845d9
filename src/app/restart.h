#pragma once
// Handing over to a fresh copy of the program: after an update, and to reset the settings.
#include <windows.h>
#include <string>
#include "settings/program_info.h"

// "Reset settings": after the user confirms, ends the Options dialog and restarts the
// program, whose final save deletes the settings file.
void RequestReset(HWND optionsDialog);

// Starts program, this copy's own by default, with "/r" (it waits until this copy has
// gone), and only then ends this copy by ending its Speech window. When the start fails
// this copy says so and keeps running; false then.
bool RestartSelf(HWND speechWindow, const std::wstring& program = ProgramInfo.programPath);
