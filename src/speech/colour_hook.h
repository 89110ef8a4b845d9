#pragma once
// The ColourHook: in played-text mode the rich-edit control must draw its selection as
// ordinary text. It asks the system for the selection colours, so the system's colour
// query is answered by the program itself for those two indexes.
#include <windows.h>

// Patches the system colour query of this process once; does nothing when the function
// cannot be found or read.
void InstallColourHook();
bool ColourHookInstalled();

// The answer for one colour index, given what the system would answer.
COLORREF ColourHookAnswer(int index, COLORREF systemColour);
