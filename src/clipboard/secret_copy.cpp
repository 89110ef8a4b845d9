#include "clipboard/secret_copy.h"
#include "clipboard/clipboard_snapshot.h"
#include <atomic>
#include <cstring>

namespace {

// A format that is present at all, whatever it holds, marks the copy.
const wchar_t kExcludeFromMonitoring[] = L"ExcludeClipboardContentFromMonitorProcessing";
const wchar_t kViewerIgnore[] = L"Clipboard Viewer Ignore";
// This one holds a DWORD: 0 keeps the copy out of the history, non-zero lets it in.
const wchar_t kHistoryPermission[] = L"CanIncludeInClipboardHistory";

std::atomic<UINT> excludeFromMonitoring{0};
std::atomic<UINT> viewerIgnore{0};
std::atomic<UINT> historyPermission{0};

// Registered once; a failed registration (0) is tried again at the next copy rather
// than leaving secrets unrecognised for the rest of the session. Fetches ask from
// threads of their own.
UINT RegisteredFormat(const wchar_t* name, std::atomic<UINT>& cached)
{
    if (!cached)
        cached = RegisterClipboardFormatW(name);
    return cached;
}

UINT ExcludeFromMonitoringFormat()
{
    return RegisteredFormat(kExcludeFromMonitoring, excludeFromMonitoring);
}

UINT ViewerIgnoreFormat()
{
    return RegisteredFormat(kViewerIgnore, viewerIgnore);
}

} // namespace

UINT HistoryPermissionFormat()
{
    return RegisteredFormat(kHistoryPermission, historyPermission);
}

bool IsPrivacyMark(UINT format)
{
    return format != 0 && (format == ExcludeFromMonitoringFormat() || format == ViewerIgnoreFormat() ||
                           format == HistoryPermissionFormat());
}

bool IsSecretCopy(const ClipboardSnapshot& copy)
{
    if (copy.Holds(ExcludeFromMonitoringFormat()) || copy.Holds(ViewerIgnoreFormat()))
        return true;
    if (!copy.Holds(HistoryPermissionFormat()))
        return false;
    // Only a readable non-zero value gives permission: a mark that cannot be read (or
    // did not arrive in time) is taken as the refusal it most likely is.
    const std::vector<BYTE>* value = copy.BytesOf(HistoryPermissionFormat());
    if (!value || value->size() < sizeof(DWORD))
        return true;
    DWORD permission = 0;
    memcpy(&permission, value->data(), sizeof permission);
    return permission == 0;
}
