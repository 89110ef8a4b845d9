#pragma once
// What the clipboard holds, remembered format by format, so that it can be put back as
// it was after the program has used the clipboard for a moment. Filled by a fetch
// (clipboard_fetch.h), which decides what is worth remembering and for how long it waits.
#include <windows.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ClipboardSnapshot {
public:
    enum class DataKind { None, Memory, Bitmap, EnhancedMetafile, MetafilePicture, Palette };
    // One format's data, copied off the clipboard. None: the format is there without data
    // (placed for rendering on request, and not rendered, or with nothing in it).
    struct RememberedFormat {
        UINT format = 0;
        DataKind kind = DataKind::None;
        std::vector<BYTE> bytes;         // memory formats, and a metafile picture's header
        std::shared_ptr<void> handle;    // a copy of the GDI or metafile handle, freed with it
    };

    // Copies one format off the clipboard, which the calling thread has open; nothing when
    // its data is there but could not be copied. A format placed for rendering on request
    // is asked of its program now, which answers when it likes: not for a window's thread.
    static std::optional<RememberedFormat> Fetch(UINT format);
    // The Unicode text straight off the open clipboard, up to its first NUL, for a fetch
    // that keeps nothing else: a copy of megabytes is copied once, not twice. text is
    // left empty when the format has no data; false when its data could not be copied.
    static bool FetchText(std::optional<std::wstring>& text);

    // Every format on the clipboard is noted, the platform's conversions too; what is
    // kept of them follows.
    void NotePresent(UINT format);
    void Keep(RememberedFormat remembered);
    void KeepText(std::wstring text) { text_ = std::move(text); }
    // A format whose data did not arrive in time, or could not be copied. A privacy mark
    // is kept without data instead: it marks the copy whatever it holds.
    void NoteNotKept(UINT format);

    // The formats worth remembering of those noted: a format the platform made from
    // another one on the clipboard is left out, as it makes it again from the one put
    // back; so are those whose data is a handle of unknown kind (the private and GDI
    // object ranges), which cannot be copied.
    std::vector<UINT> FormatsWorthRemembering() const;

    bool Holds(UINT format) const;
    // The bytes of a kept memory format; null when it was not kept or holds none.
    const std::vector<BYTE>* BytesOf(UINT format) const;
    // The Unicode text, up to its first NUL; nothing when there is none.
    std::optional<std::wstring> Text() const;
    // The same, given up by the snapshot where it was kept as text.
    std::optional<std::wstring> TakeText();
    const std::vector<UINT>& NotKept() const { return notKept_; }
    size_t FormatCount() const { return formats_.size(); }

    // Empties the open clipboard and places a fresh copy of every kept format, those
    // without data as they were; false when one of them could not be placed. The
    // snapshot can be put back again.
    bool PutBackIntoOpenClipboard() const;

private:
    const RememberedFormat* Find(UINT format) const;
    static HANDLE FreshCopy(const RememberedFormat& remembered);

    std::vector<UINT> present_;
    std::vector<RememberedFormat> formats_;
    std::vector<UINT> notKept_;
    std::optional<std::wstring> text_;   // kept by KeepText
};
