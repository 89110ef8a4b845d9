#pragma once
// The recognition of a copied image runs in a process of its own: the engine takes a
// hundred megabytes for a page and leaves some of it behind in the heap, and a fault in
// it on a strange image must not take the user's text with it. The program starts
// itself with ImageReaderArgument, writes the image to the process's standard input and
// reads the text from its standard output; a cancel ends the process.
#include <windows.h>
#include <mutex>
#include <string>
#include "ocr/image_reading.h"

inline constexpr wchar_t ImageReaderArgument[] = L"--read-copied-image";

// Where the running reader process is kept, so that a cancel can end it at once.
class ReaderProcessSlot {
public:
    // Ends the reader process, the running one or the next one started.
    void Cancel();
    bool Cancelled();

private:
    friend ImageText ReadImageInOwnProcess(const CopiedImage&, const std::string&, ReaderProcessSlot&);
    std::mutex mutex_;
    HANDLE process_ = nullptr;
    bool cancelled_ = false;
};

// The text of the image, read in a reader process in the given languages (Tesseract's
// names joined by '+').
ImageText ReadImageInOwnProcess(const CopiedImage& image, const std::string& languages, ReaderProcessSlot& slot);

// The program started with ImageReaderArgument: answers the one request on its standard
// input; the process's exit code.
int RunImageReader();
