#pragma once
// The ColourHook: in played-text mode the rich-edit control must draw its selection as
// ordinary text. It asks the system for the selection colours, so the rich-edit module's
// own import of the system's colour query is pointed at the program's answer for those
// two indexes. Nothing else in the process, and no code anywhere, is changed.
#include <windows.h>

// Points the rich-edit module's import of GetSysColor at the program's answer, once. The
// TextView's library must be loaded, and no other thread may run yet: an import is
// read without a lock. False, and logged, when the module or its import is not found.
bool InstallColourHook();
bool ColourHookInstalled();

// The answer for one colour index, given what the system would answer.
COLORREF ColourHookAnswer(int index, COLORREF systemColour);

// What the rich-edit module calls for a system colour: the program's answer once the
// hook is installed, the system's own query before.
using ColourQuery = DWORD(WINAPI*)(int index);
ColourQuery TextViewColourQuery();
