#pragma once
// The offline text recognition engine (Tesseract, its LSTM recogniser only), loaded for
// one recognition at a time: it takes tens of megabytes while it is loaded.
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include "ocr/grey_image.h"

struct RecognisedLine {
    std::wstring text;
    // The line's box height in pixels of the image given.
    int height = 0;
};

struct RecognisedParagraph {
    // In reading order.
    std::vector<RecognisedLine> lines;
};

struct Recognition {
    std::vector<RecognisedParagraph> paragraphs;
    // The mean word confidence, 0..100 (0 when nothing was found).
    int confidence = 0;
    bool cancelled = false;
};

class TesseractEngine {
public:
    TesseractEngine();
    ~TesseractEngine();
    TesseractEngine(const TesseractEngine&) = delete;
    TesseractEngine& operator=(const TesseractEngine&) = delete;

    // Loads the languages (Tesseract's names joined by '+', "eng+deu") from
    // dataFolder\<name>.traineddata; false, with the reason in error, when it cannot.
    bool Open(const std::wstring& dataFolder, const std::string& languages, std::wstring& error);
    // The median height in pixels of the text lines that the page layout analysis finds
    // (no recognition: fast); 0 when it finds none.
    int MedianLineHeight(const GreyImage& image);
    // The text of the image, paragraph by paragraph. cancelled is asked now and then
    // during the recognition; when it answers true the recognition ends early.
    Recognition Recognise(const GreyImage& image, const std::function<bool()>& cancelled);

private:
    struct Engine;
    std::unique_ptr<Engine> engine_;
};
