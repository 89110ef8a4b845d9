#pragma once
// Making a copied image fit for recognition: the engine reads dark text on a light
// ground, best at about 300 dots per inch, while screen text is small and often light
// on dark.
#include "ocr/grey_image.h"

// Whether most of the image is dark: text on it is light, and the image is read
// turned over.
bool HasDarkGround(const GreyImage& image);
void TurnOver(GreyImage& image);

// The image enlarged (or made smaller) by factor, the pixels between interpolated.
GreyImage Scaled(const GreyImage& image, double factor);

// Where a page can be parted in two to be read on two processors at once: the middle of
// the tallest band of blank rows in the middle third (a gap between paragraphs before a
// gap between lines); -1 when there is none.
int BlankRowNearMiddle(const GreyImage& image);
// The rows from top to bottom (not included) of the image.
GreyImage Rows(const GreyImage& image, int top, int bottom);

// How much to enlarge an image for recognition: its text lines' median height in pixels
// (0 when none was found) brought to what 11 point text is at about 230 dpi; without lines,
// from the image's resolution (screen resolution when it tells none). 1 when the text is
// large enough, and never so much that the image would grow past the engine's comfort.
double RecognitionScale(const GreyImage& image, int medianLineHeight);
