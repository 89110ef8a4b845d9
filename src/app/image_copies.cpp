#include "app/image_copies.h"
#include "app/first_run.h"
#include "app/speech_window.h"
#include "app/tray_icon.h"
#include "clipboard/clipboard_fetch.h"
#include "platform/log.h"
#include "platform/ui_text.h"
#include "res/resource.h"
#include "voice/voice_catalog.h"

namespace {

CopiedImageKind KindOf(UINT format)
{
    return format == CF_DIB || format == CF_DIBV5 ? CopiedImageKind::Dib : CopiedImageKind::Png;
}

void TellImageNotRead(SpeechWindowState& state, const std::wstring& why)
{
    ShowStatusNote(state, FillPattern(LoadText(IDS_IMAGE_NOT_READ), why));
}

} // namespace

void ReadCopiedImage(SpeechWindowState& state)
{
    ClipboardImage copied = std::move(state.clipboard.copiedImage);
    state.clipboard.copiedImage = {};
    CopiedImage image{KindOf(copied.format), std::move(copied.bytes)};
    // The languages of the voices as they are installed at the time of the copy.
    const auto spoken = [] { return VoiceCatalog::Enumerate(L"").Languages(); };
    std::wstring error;
    if (!state.imageReading.Start(state.window, WM_IMAGE_READ, std::move(image), spoken, error))
        TellImageNotRead(state, error);
}

void OnImageRead(SpeechWindowState& state, WPARAM ticket)
{
    std::optional<ImageText> found = state.imageReading.Take(ticket);
    if (!found)
        return;
    if (!found->error.empty())
        TellImageNotRead(state, found->error);
    else if (found->text.empty())
        ShowStatusNote(state, LoadText(IDS_NO_TEXT_IN_IMAGE));
    else if (TakeImageText(state.reader, std::move(found->text)))
        TellHowToHearOnce(state);
}

void CancelImageReading(SpeechWindowState& state)
{
    state.imageReading.Cancel();
}
