#pragma once
// What the clipboard holds, remembered format by format, so that it can be put back as
// it was after the program has used the clipboard for a moment.
#include <windows.h>
#include <memory>
#include <vector>

class ClipboardSnapshot {
public:
    // Remembers every format of the open clipboard whose data can be copied: memory
    // formats byte for byte (private ones too), bitmaps, metafiles and palettes through
    // their own copies. A format the platform made from another one on the clipboard is
    // left out; it makes it again from the one put back. Formats whose data is a handle
    // of unknown kind (the private and GDI-object ranges) cannot be copied and are left
    // out as well.
    static ClipboardSnapshot OfOpenClipboard();

    // Empties the open clipboard and places a fresh copy of every remembered format;
    // false when one of them could not be placed. The snapshot can be put back again.
    bool PutBackIntoOpenClipboard() const;

    size_t FormatCount() const { return formats_.size(); }

private:
    enum class DataKind { Memory, Bitmap, EnhancedMetafile, MetafilePicture, Palette };
    struct RememberedFormat {
        UINT format;
        DataKind kind;
        std::vector<BYTE> bytes;         // memory formats, and a metafile picture's header
        std::shared_ptr<void> handle;    // a copy of the GDI or metafile handle, freed with it
    };
    static bool Remember(UINT format, RememberedFormat& remembered);
    static HANDLE FreshCopy(const RememberedFormat& remembered);

    std::vector<RememberedFormat> formats_;
};
