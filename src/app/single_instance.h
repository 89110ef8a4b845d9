#pragma once
// One running copy of the program: a start while another copy runs brings that copy's
// Speech window forward, says so and ends.
#include <windows.h>
#include "platform/scoped_handle.h"

// The mutex that marks this copy as running, held until the process ends; null when
// another copy runs, whose window has then been brought forward and the user told.
KernelHandle ClaimSingleInstance();

// A restarted copy waits until the copy that started it has gone, then holds the
// single-instance mutex as any copy does.
KernelHandle WaitForPreviousCopy();

// The message a later start sends to the running copy's Speech window, asking it to show
// itself in front; the same number in every process.
UINT BringForwardMessage();
