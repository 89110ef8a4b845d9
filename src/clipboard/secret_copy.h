#pragma once
// Recognises copies that their program has marked as not for clipboard watchers:
// passwords and other secrets from password managers, and copies the system keeps
// out of its own history.
#include <windows.h>

// True when the clipboard's current content carries one of the marks that ask
// watchers to leave it alone. The clipboard must be open; nothing else opens it.
bool ClipboardContentIsSecret();
