#pragma once
// Reading the text in a copied image, on a thread of its own: decoding, turning light
// text on dark over, enlarging small text, and recognition in the languages present
// that a voice speaks. One reading at a time: a newer one cancels the one before.
#include <windows.h>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include "ocr/image_decode.h"
#include "platform/language_id.h"

struct ImageText {
    std::wstring text;    // empty when nothing was found, or on failure
    std::wstring error;   // why the image could not be read, for the user; empty when it was
};

// The languages to recognise, in the engine's names joined by '+': of the recognition
// data present (by file name, "eng", "deu"), English first, then those some voice speaks;
// the first present when neither is; empty when none is.
std::string RecognitionLanguages(const std::vector<std::wstring>& present, const std::vector<LanguageId>& spoken);

// The folder of the recognition data: "tessdata" beside the program.
std::wstring RecognitionDataFolder();
// The path of the program's own file.
std::wstring RunningProgramPath();

// The text of the image, read in the calling thread, which must be in a COM apartment;
// languages as RecognitionLanguages gives them.
ImageText ReadImageHere(const CopiedImage& image, const std::string& languages);

class ImageReading {
public:
    // Lists the languages the installed voices speak; called on the reading's thread,
    // which is in a COM apartment.
    using SpokenLanguages = std::function<std::vector<LanguageId>()>;

    ImageReading() = default;
    ~ImageReading() { Cancel(); }
    ImageReading(const ImageReading&) = delete;
    ImageReading& operator=(const ImageReading&) = delete;

    // Starts reading the image, cancelling a reading still running. When it is done,
    // message is posted to window with the returned ticket as wParam; false when no
    // thread could be started (error then says why).
    bool Start(HWND window, UINT message, CopiedImage image, SpokenLanguages spoken, std::wstring& error);
    // The running reading ends as soon as it can, and its result is never taken.
    void Cancel();
    bool Running() const;
    // The result of the reading whose message carried ticket; nothing for a reading
    // cancelled or replaced since.
    std::optional<ImageText> Take(WPARAM ticket);

private:
    struct Job;
    std::shared_ptr<Job> job_;
};
