#pragma once
// The system's high-contrast mode: while it is on, a window shows the theme's colours
// rather than colours of its own.
#include <windows.h>

bool HighContrastOn();

// What HighContrastOn asks; the system unless replaced (null puts the system back).
using HighContrastQuery = bool (*)();
void SetHighContrastQuery(HighContrastQuery query);
