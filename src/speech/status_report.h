#pragma once
// How the speech layer tells the window above it that what its status line shows may have
// changed: the reading state, the spoken line, or the text itself. The window decides what
// to show (caption, tray tip, menu); nothing below it knows about those.
#include <functional>

// line is the zero-based line the status line is to show, or -1 for the line that holds
// the selection.
using StatusListener = std::function<void(int line)>;

void SetStatusListener(StatusListener listener);
void ReportStatusChange(int line = -1);
