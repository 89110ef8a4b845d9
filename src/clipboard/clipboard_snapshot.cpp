#include "clipboard/clipboard_snapshot.h"
#include "clipboard/secret_copy.h"
#include <algorithm>
#include <cstring>
#include <cwchar>
#include <utility>

namespace {

// Formats the platform converts into one another. The first of a family on the
// clipboard is the one its program placed; the others follow it as conversions.
int ConversionFamily(UINT format)
{
    switch (format) {
    case CF_TEXT:
    case CF_OEMTEXT:
    case CF_UNICODETEXT:
        return 1;
    case CF_BITMAP:
    case CF_DIB:
    case CF_DIBV5:
        return 2;
    case CF_ENHMETAFILE:
    case CF_METAFILEPICT:
        return 3;
    default:
        return 0;
    }
}

bool IsUncopiableHandle(UINT format)
{
    return format == CF_OWNERDISPLAY || (format >= CF_PRIVATEFIRST && format <= CF_PRIVATELAST) ||
           (format >= CF_GDIOBJFIRST && format <= CF_GDIOBJLAST);
}

std::shared_ptr<void> OwnGdiObject(HANDLE bitmap)
{
    if (!bitmap)
        return nullptr;
    return std::shared_ptr<void>(bitmap, [](void* h) { DeleteObject(static_cast<HGDIOBJ>(h)); });
}

std::shared_ptr<void> OwnEnhancedMetafile(HENHMETAFILE metafile)
{
    if (!metafile)
        return nullptr;
    return std::shared_ptr<void>(metafile, [](void* h) { DeleteEnhMetaFile(static_cast<HENHMETAFILE>(h)); });
}

std::shared_ptr<void> OwnMetafile(HMETAFILE metafile)
{
    if (!metafile)
        return nullptr;
    return std::shared_ptr<void>(metafile, [](void* h) { DeleteMetaFile(static_cast<HMETAFILE>(h)); });
}

HPALETTE CopyPalette(HPALETTE palette)
{
    const UINT count = GetPaletteEntries(palette, 0, 0, nullptr);
    if (count == 0)
        return nullptr;
    std::vector<BYTE> storage(sizeof(LOGPALETTE) + count * sizeof(PALETTEENTRY));
    auto* logical = reinterpret_cast<LOGPALETTE*>(storage.data());
    logical->palVersion = 0x300;
    logical->palNumEntries = static_cast<WORD>(count);
    if (GetPaletteEntries(palette, 0, count, logical->palPalEntry) != count)
        return nullptr;
    return CreatePalette(logical);
}

std::vector<BYTE> CopyMemoryBytes(HANDLE data)
{
    const SIZE_T size = GlobalSize(data);
    const void* source = size ? GlobalLock(data) : nullptr;
    if (!source)
        return {};
    std::vector<BYTE> bytes(static_cast<const BYTE*>(source), static_cast<const BYTE*>(source) + size);
    GlobalUnlock(data);
    return bytes;
}

HGLOBAL MemoryWith(const std::vector<BYTE>& bytes)
{
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!memory)
        return nullptr;
    void* target = GlobalLock(memory);
    if (!target) {
        GlobalFree(memory);
        return nullptr;
    }
    memcpy(target, bytes.data(), bytes.size());
    GlobalUnlock(memory);
    return memory;
}

// What SetClipboardData did not take is the caller's to free, each kind in its way.
void FreeUnplaced(UINT format, HANDLE data)
{
    switch (format) {
    case CF_BITMAP:
    case CF_DSPBITMAP:
    case CF_PALETTE:
        DeleteObject(data);
        break;
    case CF_ENHMETAFILE:
    case CF_DSPENHMETAFILE:
        DeleteEnhMetaFile(static_cast<HENHMETAFILE>(data));
        break;
    case CF_METAFILEPICT:
    case CF_DSPMETAFILEPICT:
        if (auto* picture = static_cast<METAFILEPICT*>(GlobalLock(data))) {
            DeleteMetaFile(picture->hMF);
            GlobalUnlock(data);
        }
        GlobalFree(data);
        break;
    default:
        GlobalFree(data);
        break;
    }
}

} // namespace

std::optional<ClipboardSnapshot::RememberedFormat> ClipboardSnapshot::Fetch(UINT format)
{
    RememberedFormat remembered{format, DataKind::None, {}, nullptr};
    HANDLE data = GetClipboardData(format);
    if (!data)
        return remembered;
    switch (format) {
    case CF_BITMAP:
    case CF_DSPBITMAP:
        remembered.kind = DataKind::Bitmap;
        remembered.handle = OwnGdiObject(CopyImage(data, IMAGE_BITMAP, 0, 0, 0));
        break;
    case CF_PALETTE:
        remembered.kind = DataKind::Palette;
        remembered.handle = OwnGdiObject(CopyPalette(static_cast<HPALETTE>(data)));
        break;
    case CF_ENHMETAFILE:
    case CF_DSPENHMETAFILE:
        remembered.kind = DataKind::EnhancedMetafile;
        remembered.handle = OwnEnhancedMetafile(CopyEnhMetaFileW(static_cast<HENHMETAFILE>(data), nullptr));
        break;
    case CF_METAFILEPICT:
    case CF_DSPMETAFILEPICT: {
        remembered.kind = DataKind::MetafilePicture;
        remembered.bytes = CopyMemoryBytes(data);
        if (remembered.bytes.size() < sizeof(METAFILEPICT))
            return std::nullopt;
        METAFILEPICT picture;
        memcpy(&picture, remembered.bytes.data(), sizeof picture);
        remembered.handle = OwnMetafile(CopyMetaFileW(picture.hMF, nullptr));
        break;
    }
    default:
        // Memory that holds nothing is put back as a format without data.
        remembered.bytes = CopyMemoryBytes(data);
        remembered.kind = remembered.bytes.empty() ? DataKind::None : DataKind::Memory;
        return remembered;
    }
    if (!remembered.handle)
        return std::nullopt;
    return remembered;
}

void ClipboardSnapshot::NotePresent(UINT format)
{
    present_.push_back(format);
}

void ClipboardSnapshot::Keep(RememberedFormat remembered)
{
    formats_.push_back(std::move(remembered));
}

void ClipboardSnapshot::NoteNotKept(UINT format)
{
    if (IsPrivacyMark(format))
        formats_.push_back({format, DataKind::None, {}, nullptr});
    else
        notKept_.push_back(format);
}

std::vector<UINT> ClipboardSnapshot::FormatsWorthRemembering() const
{
    std::vector<UINT> worth;
    bool familySeen[4] = {};
    for (const UINT format : present_) {
        const int family = ConversionFamily(format);
        if (family != 0 && std::exchange(familySeen[family], true))
            continue;
        if (!IsUncopiableHandle(format))
            worth.push_back(format);
    }
    return worth;
}

bool ClipboardSnapshot::Holds(UINT format) const
{
    return format != 0 && std::find(present_.begin(), present_.end(), format) != present_.end();
}

const ClipboardSnapshot::RememberedFormat* ClipboardSnapshot::Find(UINT format) const
{
    for (const RememberedFormat& remembered : formats_) {
        if (remembered.format == format)
            return &remembered;
    }
    return nullptr;
}

const std::vector<BYTE>* ClipboardSnapshot::BytesOf(UINT format) const
{
    const RememberedFormat* remembered = Find(format);
    return remembered && remembered->kind == DataKind::Memory ? &remembered->bytes : nullptr;
}

bool ClipboardSnapshot::FetchText(std::optional<std::wstring>& text)
{
    text.reset();
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const SIZE_T size = data ? GlobalSize(data) : 0;
    if (size == 0)
        return true;
    const auto* memory = static_cast<const wchar_t*>(GlobalLock(data));
    if (!memory)
        return false;
    text.emplace(memory, std::find(memory, memory + size / sizeof(wchar_t), L'\0'));
    GlobalUnlock(data);
    return true;
}

std::optional<std::wstring> ClipboardSnapshot::TakeText()
{
    if (text_)
        return std::exchange(text_, std::nullopt);
    return Text();
}

std::optional<std::wstring> ClipboardSnapshot::Text() const
{
    if (text_)
        return text_;
    const std::vector<BYTE>* bytes = BytesOf(CF_UNICODETEXT);
    if (!bytes)
        return std::nullopt;
    // The memory may hold no terminator within its size.
    const auto* text = reinterpret_cast<const wchar_t*>(bytes->data());
    return std::wstring(text, wcsnlen(text, bytes->size() / sizeof(wchar_t)));
}

HANDLE ClipboardSnapshot::FreshCopy(const RememberedFormat& remembered)
{
    switch (remembered.kind) {
    case DataKind::Bitmap:
        return CopyImage(remembered.handle.get(), IMAGE_BITMAP, 0, 0, 0);
    case DataKind::Palette:
        return CopyPalette(static_cast<HPALETTE>(remembered.handle.get()));
    case DataKind::EnhancedMetafile:
        return CopyEnhMetaFileW(static_cast<HENHMETAFILE>(remembered.handle.get()), nullptr);
    case DataKind::MetafilePicture: {
        METAFILEPICT picture;
        memcpy(&picture, remembered.bytes.data(), sizeof picture);
        picture.hMF = CopyMetaFileW(static_cast<HMETAFILE>(remembered.handle.get()), nullptr);
        if (!picture.hMF)
            return nullptr;
        std::vector<BYTE> header(sizeof picture);
        memcpy(header.data(), &picture, sizeof picture);
        HGLOBAL memory = MemoryWith(header);
        if (!memory)
            DeleteMetaFile(picture.hMF);
        return memory;
    }
    case DataKind::Memory:
    default:
        return MemoryWith(remembered.bytes);
    }
}

bool ClipboardSnapshot::PutBackIntoOpenClipboard() const
{
    if (!EmptyClipboard())
        return false;
    bool allPlaced = true;
    for (const RememberedFormat& remembered : formats_) {
        // Placed without data, the format is this program's to render on request, which
        // it does not: whoever asks gets nothing, as before.
        if (remembered.kind == DataKind::None) {
            SetClipboardData(remembered.format, nullptr);
            allPlaced = allPlaced && IsClipboardFormatAvailable(remembered.format);
            continue;
        }
        HANDLE data = FreshCopy(remembered);
        if (!data || !SetClipboardData(remembered.format, data)) {
            if (data)
                FreeUnplaced(remembered.format, data);
            allPlaced = false;
        }
    }
    return allPlaced;
}
