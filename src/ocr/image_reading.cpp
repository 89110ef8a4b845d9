#include "ocr/image_reading.h"
#include "ocr/image_preparation.h"
#include "ocr/image_reader_process.h"
#include "ocr/recognised_text.h"
#include "ocr/tesseract_engine.h"
#include "platform/com_apartment.h"
#include "platform/log.h"
#include <algorithm>
#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

struct ImageReading::Job {
    ReaderProcessSlot reader;
    std::atomic<bool> done{false};
    WPARAM ticket = 0;
    ImageText result;
};

namespace {

std::atomic<WPARAM> lastTicket{0};

// The platform's three-letter code of a language ("deu"), as the engine names its data.
std::wstring ThreeLetterCode(LanguageId language)
{
    wchar_t code[9] = {};
    const LCID locale = MAKELCID(MAKELANGID(language, SUBLANG_DEFAULT), SORT_DEFAULT);
    if (GetLocaleInfoW(locale, LOCALE_SISO639LANGNAME2, code, 9) == 0)
        return {};
    return code;
}

// The engine's data names a few languages by their bibliographic code, or by script.
std::wstring LanguageOfDataName(const std::wstring& name)
{
    const std::wstring base = name.substr(0, name.find(L'_'));
    if (base == L"chi")
        return L"zho";
    return base;
}

std::string Narrow(const std::wstring& name)
{
    std::string out;
    for (const wchar_t c : name)
        out += static_cast<char>(c);
    return out;
}

bool IsPlainName(const std::wstring& name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), [](wchar_t c) {
        return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_';
    });
}

std::vector<std::wstring> PresentData(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*.traineddata").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::wstring name = found.cFileName;
        name.resize(name.size() - std::wstring(L".traineddata").size());
        // The engine joins names with '+' and reads them as paths: only plain ones.
        if (IsPlainName(name) && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(std::move(name));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

ImageText ReadImage(const CopiedImage& copied, const ImageReading::SpokenLanguages& spoken, ReaderProcessSlot& reader)
{
    ImageText result;
    const std::wstring folder = RecognitionDataFolder();
    const std::string languages = RecognitionLanguages(PresentData(folder), spoken ? spoken() : std::vector<LanguageId>{});
    if (languages.empty())
        result.error = L"no recognition data is in " + folder;
    else
        result = ReadImageInOwnProcess(copied, languages, reader);
    if (!result.error.empty())
        LogLine(L"The text in a copied image could not be read: " + result.error);
    return result;
}

} // namespace

ImageText ReadImageHere(const CopiedImage& copied, const std::string& languages)
{
    ImageText result;
    GreyImage image;
    if (!DecodeCopiedImage(copied, image, result.error))
        return result;
    if (HasDarkGround(image))
        TurnOver(image);
    const std::wstring folder = RecognitionDataFolder();
    TesseractEngine engine;
    if (!engine.Open(folder, languages, result.error))
        return result;
    const double scale = RecognitionScale(image, engine.MedianLineHeight(image));
    const auto never = [] { return false; };
    // The engine uses one processor: a page parted between two paragraphs is read by two
    // engines at once, in half the time.
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const int split = system.dwNumberOfProcessors > 1 ? BlankRowNearMiddle(image) : -1;
    if (split < 0) {
        if (scale != 1.0)
            image = Scaled(image, scale);
        result.text = TextOfRecognition(engine.Recognise(image, never));
        return result;
    }
    GreyImage top = Rows(image, 0, split);
    GreyImage bottom = Rows(image, split, image.height);
    image = {};
    if (scale != 1.0) {
        top = Scaled(top, scale);
        bottom = Scaled(bottom, scale);
    }
    Recognition lower;
    bool lowerRead = false;
    std::thread other;
    try {
        other = std::thread([&] {
            TesseractEngine second;
            std::wstring error;
            if (second.Open(folder, languages, error)) {
                lower = second.Recognise(bottom, never);
                lowerRead = true;
            }
        });
    } catch (const std::system_error&) {
    }
    Recognition page = engine.Recognise(top, never);
    if (other.joinable())
        other.join();
    if (!lowerRead)
        lower = engine.Recognise(bottom, never);
    page.paragraphs.insert(page.paragraphs.end(), lower.paragraphs.begin(), lower.paragraphs.end());
    result.text = TextOfRecognition(page);
    return result;
}

std::string RecognitionLanguages(const std::vector<std::wstring>& present, const std::vector<LanguageId>& spoken)
{
    std::vector<std::wstring> chosen;
    if (std::find(present.begin(), present.end(), L"eng") != present.end())
        chosen.push_back(L"eng");
    std::vector<std::wstring> spokenCodes;
    for (const LanguageId language : spoken)
        if (std::wstring code = ThreeLetterCode(language); !code.empty())
            spokenCodes.push_back(std::move(code));
    for (const std::wstring& name : present) {
        const bool speaks =
            std::find(spokenCodes.begin(), spokenCodes.end(), LanguageOfDataName(name)) != spokenCodes.end();
        if (speaks && std::find(chosen.begin(), chosen.end(), name) == chosen.end())
            chosen.push_back(name);
    }
    if (chosen.empty() && !present.empty())
        chosen.push_back(present.front());
    std::string joined;
    for (const std::wstring& name : chosen) {
        if (!joined.empty())
            joined += '+';
        joined += Narrow(name);
    }
    return joined;
}

std::wstring RunningProgramPath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring RecognitionDataFolder()
{
    const std::wstring program = RunningProgramPath();
    return program.substr(0, program.find_last_of(L"\\/") + 1) + L"tessdata";
}

bool ImageReading::Start(HWND window, UINT message, CopiedImage image, SpokenLanguages spoken, std::wstring& error)
{
    Cancel();
    auto job = std::make_shared<Job>();
    job->ticket = ++lastTicket;
    try {
        std::thread([job, window, message, image = std::move(image), spoken = std::move(spoken)] {
            const ComApartment com;
            job->result = ReadImage(image, spoken, job->reader);
            job->done = true;
            if (!job->reader.Cancelled())
                PostMessageW(window, message, job->ticket, 0);
        }).detach();
    } catch (const std::system_error& failure) {
        LogLine(L"The thread reading a copied image could not start: " + std::to_wstring(failure.code().value()));
        error = L"the system could not start the work";
        return false;
    }
    job_ = std::move(job);
    return true;
}

void ImageReading::Cancel()
{
    if (job_)
        job_->reader.Cancel();
    job_.reset();
}

bool ImageReading::Running() const
{
    return job_ && !job_->done;
}

std::optional<ImageText> ImageReading::Take(WPARAM ticket)
{
    if (!job_ || job_->ticket != ticket || !job_->done)
        return std::nullopt;
    ImageText result = std::move(job_->result);
    job_.reset();
    return result;
}
