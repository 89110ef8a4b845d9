#include "ocr/image_decode.h"
#include "platform/com_ptr.h"
#include "platform/log.h"
#include <wincodec.h>
#include <shlwapi.h>
#include <algorithm>
#include <cmath>

namespace {

// Where a DIB's bits begin, after its header, masks and colour table; 0 when the header
// does not fit the bytes.
size_t DibBitsOffset(const std::vector<BYTE>& dib)
{
    if (dib.size() < sizeof(BITMAPINFOHEADER))
        return 0;
    BITMAPINFOHEADER header;
    memcpy(&header, dib.data(), sizeof header);
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biSize > dib.size() || header.biBitCount == 0)
        return 0;
    size_t offset = header.biSize;
    // The colour masks follow a plain header; the larger headers hold them.
    if (header.biSize == sizeof(BITMAPINFOHEADER) && header.biCompression == BI_BITFIELDS)
        offset += 3 * sizeof(DWORD);
    if (header.biSize == sizeof(BITMAPINFOHEADER) && header.biCompression == 6 /* BI_ALPHABITFIELDS */)
        offset += 4 * sizeof(DWORD);
    const size_t colours = header.biClrUsed != 0 ? header.biClrUsed
                           : header.biBitCount <= 8 ? size_t{1} << header.biBitCount
                                                    : 0;
    if (colours > 256 && header.biBitCount <= 8)
        return 0;
    offset += colours * sizeof(RGBQUAD);
    return offset <= dib.size() ? offset : 0;
}

// The bytes WIC reads: a PNG as it is, a DIB as the BMP file it would be.
bool FileBytes(const CopiedImage& image, std::vector<BYTE>& file)
{
    if (image.kind == CopiedImageKind::Png) {
        file = image.bytes;
        return !file.empty();
    }
    const size_t bits = DibBitsOffset(image.bytes);
    if (bits == 0 || image.bytes.size() > 0xFFFFFFFFu - sizeof(BITMAPFILEHEADER))
        return false;
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;   // "BM"
    header.bfSize = static_cast<DWORD>(sizeof header + image.bytes.size());
    header.bfOffBits = static_cast<DWORD>(sizeof header + bits);
    file.resize(sizeof header + image.bytes.size());
    memcpy(file.data(), &header, sizeof header);
    memcpy(file.data() + sizeof header, image.bytes.data(), image.bytes.size());
    return true;
}

bool Failed(HRESULT result, const wchar_t* call, std::wstring& error, const wchar_t* reason)
{
    if (SUCCEEDED(result))
        return false;
    LogFailure(call, static_cast<DWORD>(result));
    error = reason;
    return true;
}

} // namespace

bool DecodeCopiedImage(const CopiedImage& image, GreyImage& grey, std::wstring& error)
{
    constexpr const wchar_t* NotAnImage = L"it is no image this system can read";
    std::vector<BYTE> file;
    if (!FileBytes(image, file)) {
        error = NotAnImage;
        return false;
    }
    ComPtr<IStream> stream = ComPtr<IStream>::Adopt(SHCreateMemStream(file.data(), static_cast<UINT>(file.size())));
    if (!stream) {
        error = L"there is not enough memory";
        return false;
    }
    ComPtr<IWICImagingFactory> factory;
    if (Failed(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                factory.OutVoid()),
               L"CoCreateInstance(WICImagingFactory)", error, L"the system's imaging component is missing"))
        return false;
    ComPtr<IWICBitmapDecoder> decoder;
    if (Failed(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.Out()),
               L"IWICImagingFactory::CreateDecoderFromStream", error, NotAnImage))
        return false;
    ComPtr<IWICBitmapFrameDecode> frame;
    if (Failed(decoder->GetFrame(0, frame.Out()), L"IWICBitmapDecoder::GetFrame", error, NotAnImage))
        return false;
    UINT width = 0;
    UINT height = 0;
    if (Failed(frame->GetSize(&width, &height), L"IWICBitmapFrameDecode::GetSize", error, NotAnImage))
        return false;
    if (width == 0 || height == 0 || static_cast<long long>(width) * height > LargestImagePixels) {
        error = width == 0 || height == 0 ? NotAnImage : L"it is too large";
        return false;
    }
    double dpiX = 0;
    double dpiY = 0;
    if (FAILED(frame->GetResolution(&dpiX, &dpiY)))
        dpiX = 0;
    ComPtr<IWICBitmapSource> colour;
    if (Failed(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, frame.Get(), colour.Out()),
               L"WICConvertBitmapSource", error, NotAnImage))
        return false;

    grey.width = static_cast<int>(width);
    grey.height = static_cast<int>(height);
    // Files without a resolution say 96 or 72; neither tells how large the text is.
    grey.dpi = dpiX >= 100 && dpiX <= 1200 ? static_cast<int>(std::lround(dpiX)) : 0;
    grey.pixels.resize(static_cast<size_t>(width) * height);
    // A band of rows at a time: the colour pixels of a large image never all at once.
    constexpr UINT BandRows = 64;
    std::vector<BYTE> band(static_cast<size_t>(width) * 4 * BandRows);
    for (UINT top = 0; top < height; top += BandRows) {
        const UINT rows = std::min(BandRows, height - top);
        const WICRect rect{0, static_cast<INT>(top), static_cast<INT>(width), static_cast<INT>(rows)};
        if (Failed(colour->CopyPixels(&rect, width * 4, static_cast<UINT>(band.size()), band.data()),
                   L"IWICBitmapSource::CopyPixels", error, NotAnImage))
            return false;
        unsigned char* out = &grey.pixels[static_cast<size_t>(top) * width];
        for (size_t i = 0, count = static_cast<size_t>(rows) * width; i < count; ++i) {
            const BYTE* bgra = &band[i * 4];
            const unsigned luminance = (114u * bgra[0] + 587u * bgra[1] + 299u * bgra[2] + 500u) / 1000u;
            const unsigned alpha = bgra[3];
            out[i] = static_cast<unsigned char>((luminance * alpha + 255u * (255u - alpha) + 127u) / 255u);
        }
    }
    return true;
}
