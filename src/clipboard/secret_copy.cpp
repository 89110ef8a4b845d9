#include "clipboard/secret_copy.h"
#include "platform/scoped_handle.h"

namespace {

// A format that is present at all, whatever it holds, marks the copy.
const wchar_t kExcludeFromMonitoring[] = L"ExcludeClipboardContentFromMonitorProcessing";
const wchar_t kViewerIgnore[] = L"Clipboard Viewer Ignore";
// This one holds a DWORD: 0 keeps the copy out of the history, non-zero lets it in.
const wchar_t kHistoryPermission[] = L"CanIncludeInClipboardHistory";

// Registered once; a failed registration (0) is tried again at the next copy rather
// than leaving secrets unrecognised for the rest of the session.
UINT RegisteredFormat(const wchar_t* name, UINT& cached)
{
    if (!cached)
        cached = RegisterClipboardFormatW(name);
    return cached;
}

bool FormatPresent(UINT format)
{
    return format && IsClipboardFormatAvailable(format);
}

// Only a readable non-zero value gives permission: a mark that cannot be read is
// taken as the refusal it most likely is.
bool HistoryRefused(UINT format)
{
    if (!FormatPresent(format))
        return false;
    HANDLE data = GetClipboardData(format);
    if (!data || GlobalSize(data) < sizeof(DWORD))
        return true;
    const GlobalLockGuard<const DWORD> value(data);
    return !value || *value.get() == 0;
}

} // namespace

bool ClipboardContentIsSecret()
{
    static UINT excludeFromMonitoring = 0;
    static UINT viewerIgnore = 0;
    static UINT historyPermission = 0;
    return FormatPresent(RegisteredFormat(kExcludeFromMonitoring, excludeFromMonitoring))
        || FormatPresent(RegisteredFormat(kViewerIgnore, viewerIgnore))
        || HistoryRefused(RegisteredFormat(kHistoryPermission, historyPermission));
}
