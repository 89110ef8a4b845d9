#pragma once
// The ColourHook: in played-text mode the TextView must draw its selection as ordinary
// text. It draws the selection in the colours it asks for by the system's colour indexes;
// the hook points that question at the program's answer for the two selection colours.
// Nothing else in the process, and no code anywhere, is changed.
#include <windows.h>
#include "view/text_view_control.h"

// Points the TextView's colour query at the program's answer, once. Always succeeds; the
// result is kept for callers that check it.
bool InstallColourHook();
bool ColourHookInstalled();

// The answer for one colour index, given what the system would answer.
COLORREF ColourHookAnswer(int index, COLORREF systemColour);

// What the TextView calls for a system colour: the program's answer once the hook is
// installed, the system's own query before.
ColourQuery TextViewColourQuery();
