#pragma once
// Copies that hold an image and no text: the text in the image is read on a thread of
// its own and taken as a copied text; a newer copy cancels a reading still running.
#include <windows.h>

struct SpeechWindowState;

// Starts reading the text of the image the clipboard watch took last.
void ReadCopiedImage(SpeechWindowState& state);
// WM_IMAGE_READ: takes what a reading found, or tells that it found nothing.
void OnImageRead(SpeechWindowState& state, WPARAM ticket);
// A newer copy is on its way: the image before it is read no further.
void CancelImageReading(SpeechWindowState& state);
