#pragma once
// The first run: the program greets the user with its About dialog at the first copy, and
// takes copies only once that has been closed.
#include <windows.h>

// Opens the About dialog over the Speech window unless it is open already.
void GreetOnFirstCopy(HWND speechWindow);
