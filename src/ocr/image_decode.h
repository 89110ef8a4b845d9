#pragma once
// A copied image's bytes made into a grey image, by the platform's imaging component
// (WIC). The calling thread must be in a COM apartment.
#include <windows.h>
#include <string>
#include <vector>
#include "ocr/grey_image.h"

enum class CopiedImageKind {
    Png,   // the registered "PNG" clipboard format: a PNG file's bytes
    Dib,   // CF_DIB or CF_DIBV5: a bitmap's header, colour table and bits
};

struct CopiedImage {
    CopiedImageKind kind = CopiedImageKind::Png;
    std::vector<BYTE> bytes;
};

// The largest image taken, in pixels: a screenshot of several screens is well within.
inline constexpr long long LargestImagePixels = 64LL * 1024 * 1024;

// false, with a reason for the user in error, when the bytes are no image WIC can read,
// or one too large; transparent parts count as white.
bool DecodeCopiedImage(const CopiedImage& image, GreyImage& grey, std::wstring& error);
