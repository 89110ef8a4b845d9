#pragma once
// An image as text recognition takes it: 8-bit grey, dark text on a light ground.
#include <vector>

struct GreyImage {
    int width = 0;
    int height = 0;
    // Row after row from the top, width bytes each: 0 is black, 255 white.
    std::vector<unsigned char> pixels;
    // Dots per inch, when the image tells (0 when it does not: most screenshots).
    int dpi = 0;
};
