#pragma once
// The text of a recognised image as a copied text: a paragraph of the image becomes a
// paragraph of the text, its lines joined into one, a word hyphenated at a line's end
// joined again as the listening filters join it.
#include <string>
#include "ocr/tesseract_engine.h"

// Paragraphs parted by a line break (CR LF, as on the clipboard); empty when nothing
// but blanks was found.
std::wstring TextOfRecognition(const Recognition& recognition);
