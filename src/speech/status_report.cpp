#include "speech/status_report.h"
#include <utility>

namespace {

StatusListener statusListener;

} // namespace

void SetStatusListener(StatusListener listener)
{
    statusListener = std::move(listener);
}

void ReportStatusChange(int line)
{
    if (statusListener)
        statusListener(line);
}
