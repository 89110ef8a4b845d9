#include "ocr/image_preparation.h"
#include <algorithm>
#include <cmath>

namespace {

// Lines this tall, ascenders to descenders (11 point text at about 230 dpi), are read as
// well as at 300 dpi, and a full-HD page of text in four fifths of the time.
constexpr double WantedLineHeight = 34.0;
constexpr double ScreenDpi = 96.0;
constexpr double WantedDpi = 300.0;
// Enlarging by less than this gains nothing worth the time.
constexpr double SmallestScale = 1.25;
constexpr double LargestScale = 4.0;
// Past this many pixels the page analysis takes seconds, and the memory hundreds of MB.
constexpr double LargestScaledPixels = 40e6;

} // namespace

bool HasDarkGround(const GreyImage& image)
{
    if (image.pixels.empty())
        return false;
    size_t dark = 0;
    for (const unsigned char pixel : image.pixels)
        dark += pixel < 128;
    return dark * 2 > image.pixels.size();
}

void TurnOver(GreyImage& image)
{
    for (unsigned char& pixel : image.pixels)
        pixel = static_cast<unsigned char>(255 - pixel);
}

GreyImage Scaled(const GreyImage& image, double factor)
{
    GreyImage out;
    out.width = std::max(1, static_cast<int>(std::lround(image.width * factor)));
    out.height = std::max(1, static_cast<int>(std::lround(image.height * factor)));
    out.dpi = image.dpi > 0 ? static_cast<int>(std::lround(image.dpi * factor)) : 0;
    out.pixels.resize(static_cast<size_t>(out.width) * out.height);
    if (image.width <= 0 || image.height <= 0 || image.pixels.empty())
        return out;
    const double stepX = static_cast<double>(image.width) / out.width;
    const double stepY = static_cast<double>(image.height) / out.height;
    // Where each column falls in the source, worked out once for every row.
    std::vector<int> left(out.width);
    std::vector<int> weight(out.width);
    for (int x = 0; x < out.width; ++x) {
        const double at = std::clamp((x + 0.5) * stepX - 0.5, 0.0, image.width - 1.0);
        left[x] = std::min(static_cast<int>(at), std::max(image.width - 2, 0));
        weight[x] = static_cast<int>(std::lround((at - left[x]) * 256));
    }
    const int lastColumn = image.width - 1;
    for (int y = 0; y < out.height; ++y) {
        const double at = std::clamp((y + 0.5) * stepY - 0.5, 0.0, image.height - 1.0);
        const int top = std::min(static_cast<int>(at), std::max(image.height - 2, 0));
        const int bottom = std::min(top + 1, image.height - 1);
        const int down = static_cast<int>(std::lround((at - top) * 256));
        const unsigned char* above = &image.pixels[static_cast<size_t>(top) * image.width];
        const unsigned char* below = &image.pixels[static_cast<size_t>(bottom) * image.width];
        unsigned char* row = &out.pixels[static_cast<size_t>(y) * out.width];
        for (int x = 0; x < out.width; ++x) {
            const int l = left[x];
            const int r = std::min(l + 1, lastColumn);
            const int a = above[l] * (256 - weight[x]) + above[r] * weight[x];
            const int b = below[l] * (256 - weight[x]) + below[r] * weight[x];
            row[x] = static_cast<unsigned char>((a * (256 - down) + b * down + (1 << 15)) >> 16);
        }
    }
    return out;
}

int BlankRowNearMiddle(const GreyImage& image)
{
    constexpr unsigned char Ink = 160;
    const int from = image.height / 3;
    const int to = image.height - image.height / 3;
    if (image.width <= 0 || static_cast<size_t>(image.width) * image.height > image.pixels.size())
        return -1;
    auto blank = [&](int y) {
        const unsigned char* row = &image.pixels[static_cast<size_t>(y) * image.width];
        return std::all_of(row, row + image.width, [](unsigned char pixel) { return pixel >= Ink; });
    };
    int best = -1;
    int bestLength = 1;   // a single blank row may be a gap between letters' parts
    for (int y = from; y < to;) {
        if (!blank(y)) {
            ++y;
            continue;
        }
        // A band that begins in the middle third counts whole.
        int end = y;
        while (end < image.height && blank(end))
            ++end;
        if (end - y > bestLength) {
            bestLength = end - y;
            best = (y + end) / 2;
        }
        y = end;
    }
    return best;
}

GreyImage Rows(const GreyImage& image, int top, int bottom)
{
    GreyImage part;
    part.width = image.width;
    part.height = std::max(bottom - top, 0);
    part.dpi = image.dpi;
    part.pixels.assign(image.pixels.begin() + static_cast<ptrdiff_t>(top) * image.width,
                       image.pixels.begin() + static_cast<ptrdiff_t>(top + part.height) * image.width);
    return part;
}

double RecognitionScale(const GreyImage& image, int medianLineHeight)
{
    double scale = medianLineHeight > 0 ? WantedLineHeight / medianLineHeight
                                        : WantedDpi / (image.dpi > 0 ? image.dpi : ScreenDpi);
    scale = std::min(scale, LargestScale);
    const double pixels = static_cast<double>(image.width) * image.height;
    if (pixels > 0)
        scale = std::min(scale, std::sqrt(LargestScaledPixels / pixels));
    return scale < SmallestScale ? 1.0 : scale;
}
