#include "ocr/tesseract_engine.h"

#include <windows.h>

#include <algorithm>
#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

namespace {

// Without a resolution of its own, an image is taken at the one the caller scales
// screen images to.
constexpr int kDefaultDpi = 300;

std::wstring Widen(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
    return wide;
}

std::string Narrow(const std::wstring& wide)
{
    if (wide.empty())
        return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string utf8(length, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), length, nullptr,
                        nullptr);
    return utf8;
}

struct FileHandle {
    HANDLE handle;
    explicit FileHandle(const std::wstring& path)
        : handle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~FileHandle()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
};

// Tesseract's own file reading takes narrow paths in the system's code page, which cannot
// name every folder the program may be unpacked into; it is given the folder in UTF-8 and
// reads through here.
bool ReadWholeFile(const std::wstring& path, std::vector<char>& data)
{
    FileHandle file(path);
    LARGE_INTEGER size{};
    if (file.handle == INVALID_HANDLE_VALUE || !GetFileSizeEx(file.handle, &size) || size.QuadPart > 0x7fffffff)
        return false;
    data.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < data.size()) {
        DWORD read = 0;
        if (!ReadFile(file.handle, data.data() + done, static_cast<DWORD>(data.size() - done), &read, nullptr) ||
            read == 0)
            return false;
        done += read;
    }
    return true;
}

bool ReadForTesseract(const char* filename, std::vector<char>* data)
{
    std::wstring path = Widen(filename);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return ReadWholeFile(path, *data);
}

std::vector<std::string> LanguageNames(const std::string& languages)
{
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= languages.size()) {
        const size_t end = std::min(languages.find('+', start), languages.size());
        names.push_back(languages.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

bool IsLanguageName(const std::string& name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    });
}

std::wstring TrimEnd(std::wstring text)
{
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return text;
}

bool IsWhole(const GreyImage& image)
{
    return image.width > 0 && image.height > 0 &&
           image.pixels.size() >= static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
}

struct CancelState {
    const std::function<bool()>* cancelled;
    bool asked = false;
};

bool AskCancelled(void* state, int)
{
    auto* cancel = static_cast<CancelState*>(state);
    if (!cancel->asked && *cancel->cancelled && (*cancel->cancelled)())
        cancel->asked = true;
    return cancel->asked;
}

} // namespace

struct TesseractEngine::Engine {
    tesseract::TessBaseAPI api;
    bool open = false;

    void SetImage(const GreyImage& image)
    {
        api.SetImage(image.pixels.data(), image.width, image.height, 1, image.width);
        api.SetSourceResolution(image.dpi > 0 ? image.dpi : kDefaultDpi);
    }
};

TesseractEngine::TesseractEngine() : engine_(std::make_unique<Engine>())
{
    // Both libraries report to stderr, which a program without a console may not have;
    // the caller reports failures itself.
    setMsgSeverity(L_SEVERITY_NONE);
    engine_->api.SetVariable("debug_file", "nul");
}

TesseractEngine::~TesseractEngine()
{
    engine_->api.End();
}

bool TesseractEngine::Open(const std::wstring& dataFolder, const std::string& languages, std::wstring& error)
{
    if (engine_->open) {
        engine_->api.End();
        engine_->open = false;
    }
    std::wstring folder = dataFolder;
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.pop_back();

    // Tesseract passes over a language whose data it cannot load when another one loads,
    // so each file is checked here first.
    for (const std::string& name : LanguageNames(languages)) {
        if (!IsLanguageName(name)) {
            error = L"\"" + Widen(languages) + L"\" is not a list of recognition languages";
            return false;
        }
        const std::wstring path = folder + L"\\" + Widen(name) + L".traineddata";
        FileHandle file(path);
        if (file.handle == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            error = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
                        ? L"The recognition data for \"" + Widen(name) + L"\" is missing: " + path
                        : L"The recognition data file " + path + L" cannot be read (error " +
                              std::to_wstring(code) + L")";
            return false;
        }
    }

    if (engine_->api.Init(Narrow(folder).c_str(), 0, languages.c_str(), tesseract::OEM_LSTM_ONLY, nullptr, 0,
                          nullptr, nullptr, false, ReadForTesseract) != 0) {
        error = L"Tesseract could not load the recognition data for \"" + Widen(languages) + L"\" from " + folder;
        return false;
    }
    engine_->api.SetPageSegMode(tesseract::PSM_AUTO);
    // A page that is mostly light on dark is turned over before it comes here; trying
    // every doubtful line turned over as well costs more time than it finds text.
    engine_->api.SetVariable("tessedit_do_invert", "0");
    engine_->open = true;
    return true;
}

int TesseractEngine::MedianLineHeight(const GreyImage& image)
{
    if (!engine_->open || !IsWhole(image))
        return 0;
    engine_->SetImage(image);
    std::vector<int> heights;
    if (std::unique_ptr<tesseract::PageIterator> line{engine_->api.AnalyseLayout()}) {
        do {
            int left = 0, top = 0, right = 0, bottom = 0;
            if (line->BoundingBox(tesseract::RIL_TEXTLINE, &left, &top, &right, &bottom))
                heights.push_back(bottom - top);
        } while (line->Next(tesseract::RIL_TEXTLINE));
    }
    engine_->api.Clear();
    if (heights.empty())
        return 0;
    std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
    return heights[heights.size() / 2];
}

Recognition TesseractEngine::Recognise(const GreyImage& image, const std::function<bool()>& cancelled)
{
    Recognition result;
    if (!engine_->open || !IsWhole(image))
        return result;
    engine_->SetImage(image);

    CancelState cancel{&cancelled};
    tesseract::ETEXT_DESC monitor;
    monitor.cancel = AskCancelled;
    monitor.cancel_this = &cancel;
    const bool recognised = engine_->api.Recognize(&monitor) == 0;
    if (cancel.asked || !recognised) {
        result.cancelled = cancel.asked;
        engine_->api.Clear();
        return result;
    }

    if (std::unique_ptr<tesseract::ResultIterator> line{engine_->api.GetIterator()}) {
        do {
            std::unique_ptr<char[]> text{line->GetUTF8Text(tesseract::RIL_TEXTLINE)};
            if (!text)
                continue;
            RecognisedLine recognised_line{TrimEnd(Widen(text.get()))};
            if (recognised_line.text.empty())
                continue;
            int left = 0, top = 0, right = 0, bottom = 0;
            if (line->BoundingBox(tesseract::RIL_TEXTLINE, &left, &top, &right, &bottom))
                recognised_line.height = bottom - top;
            if (result.paragraphs.empty() || line->IsAtBeginningOf(tesseract::RIL_PARA))
                result.paragraphs.emplace_back();
            result.paragraphs.back().lines.push_back(std::move(recognised_line));
        } while (line->Next(tesseract::RIL_TEXTLINE));
    }
    if (!result.paragraphs.empty())
        result.confidence = std::clamp(engine_->api.MeanTextConf(), 0, 100);
    engine_->api.Clear();
    return result;
}
