#include "ocr/image_reader_process.h"
#include "platform/com_apartment.h"
#include "platform/log.h"
#include "platform/scoped_handle.h"
#include <algorithm>
#include <cstdint>

namespace {

// Requests and answers larger than these are no image and no text of the reader's.
constexpr uint32_t LargestLanguages = 4096;
constexpr uint64_t LargestImageBytes = uint64_t{1} << 30;
constexpr uint32_t LargestAnswerChars = 64u << 20;

bool WriteAll(HANDLE pipe, const void* data, size_t size)
{
    const auto* bytes = static_cast<const BYTE*>(data);
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1 << 20));
        DWORD written = 0;
        if (!WriteFile(pipe, bytes, chunk, &written, nullptr) || written == 0)
            return false;
        bytes += written;
        size -= written;
    }
    return true;
}

bool ReadAll(HANDLE pipe, void* data, size_t size)
{
    auto* bytes = static_cast<BYTE*>(data);
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1 << 20));
        DWORD read = 0;
        if (!ReadFile(pipe, bytes, chunk, &read, nullptr) || read == 0)
            return false;
        bytes += read;
        size -= read;
    }
    return true;
}

template <class T>
bool WriteValue(HANDLE pipe, T value)
{
    return WriteAll(pipe, &value, sizeof value);
}

template <class T>
bool ReadValue(HANDLE pipe, T& value)
{
    return ReadAll(pipe, &value, sizeof value);
}

bool WriteRequest(HANDLE pipe, const CopiedImage& image, const std::string& languages)
{
    return WriteValue(pipe, static_cast<uint32_t>(image.kind)) &&
           WriteValue(pipe, static_cast<uint32_t>(languages.size())) && WriteAll(pipe, languages.data(), languages.size()) &&
           WriteValue(pipe, static_cast<uint64_t>(image.bytes.size())) &&
           WriteAll(pipe, image.bytes.data(), image.bytes.size());
}

bool ReadAnswer(HANDLE pipe, ImageText& answer)
{
    uint32_t failed = 0;
    uint32_t length = 0;
    if (!ReadValue(pipe, failed) || !ReadValue(pipe, length) || length > LargestAnswerChars)
        return false;
    std::wstring text(length, L'\0');
    if (!ReadAll(pipe, text.data(), length * sizeof(wchar_t)))
        return false;
    (failed ? answer.error : answer.text) = std::move(text);
    return true;
}

} // namespace

void ReaderProcessSlot::Cancel()
{
    const std::lock_guard<std::mutex> hold(mutex_);
    cancelled_ = true;
    if (process_)
        TerminateProcess(process_, 1);
}

bool ReaderProcessSlot::Cancelled()
{
    const std::lock_guard<std::mutex> hold(mutex_);
    return cancelled_;
}

ImageText ReadImageInOwnProcess(const CopiedImage& image, const std::string& languages, ReaderProcessSlot& slot)
{
    ImageText result;
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE requestRead = nullptr, requestWrite = nullptr, answerRead = nullptr, answerWrite = nullptr;
    if (!CreatePipe(&requestRead, &requestWrite, &inherited, 0)) {
        LogFailure(L"CreatePipe", GetLastError());
        result.error = L"the system could not start the work";
        return result;
    }
    KernelHandle requestIn(requestRead), requestOut(requestWrite);
    if (!CreatePipe(&answerRead, &answerWrite, &inherited, 0)) {
        LogFailure(L"CreatePipe", GetLastError());
        result.error = L"the system could not start the work";
        return result;
    }
    KernelHandle answerIn(answerRead), answerOut(answerWrite);
    FileHandle nothing(CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING, 0, nullptr));
    // Only the reader's ends go to the reader.
    SetHandleInformation(requestWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(answerRead, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = requestRead;
    startup.hStdOutput = answerWrite;
    startup.hStdError = nothing ? nothing.get() : nullptr;
    const std::wstring program = RunningProgramPath();
    std::wstring commandLine = L"\"" + program + L"\" " + ImageReaderArgument;
    PROCESS_INFORMATION info{};
    {
        const std::lock_guard<std::mutex> hold(slot.mutex_);
        if (slot.cancelled_)
            return result;
        // The window and the reading of the text go first: this is only the next copy.
        if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                            CREATE_NO_WINDOW | BELOW_NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &info)) {
            LogFailure(L"CreateProcess for the image reader", GetLastError());
            result.error = L"the system could not start the work";
            return result;
        }
        slot.process_ = info.hProcess;
    }
    CloseHandle(info.hThread);
    KernelHandle process(info.hProcess);
    // The parent's copies of the reader's ends go, so that a reader that ends early
    // ends the writes and reads here too.
    requestIn.reset();
    answerOut.reset();
    const bool asked = WriteRequest(requestWrite, image, languages);
    requestOut.reset();
    const bool answered = asked && ReadAnswer(answerRead, result);
    WaitForSingleObject(info.hProcess, 10000);
    DWORD exitCode = 0;
    GetExitCodeProcess(info.hProcess, &exitCode);
    bool cancelled = false;
    {
        const std::lock_guard<std::mutex> hold(slot.mutex_);
        slot.process_ = nullptr;
        cancelled = slot.cancelled_;
    }
    if (!answered && !cancelled) {
        LogLine(L"The image reader ended without an answer, exit code " + std::to_wstring(exitCode));
        result = {};
        result.error = L"the recognition ended unexpectedly";
    }
    return result;
}

int RunImageReader()
{
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    uint32_t kind = 0;
    uint32_t languagesSize = 0;
    if (!ReadValue(in, kind) || kind > static_cast<uint32_t>(CopiedImageKind::Dib) || !ReadValue(in, languagesSize) ||
        languagesSize > LargestLanguages)
        return 2;
    std::string languages(languagesSize, '\0');
    uint64_t imageSize = 0;
    if (!ReadAll(in, languages.data(), languagesSize) || !ReadValue(in, imageSize) || imageSize > LargestImageBytes)
        return 2;
    CopiedImage image{static_cast<CopiedImageKind>(kind), std::vector<BYTE>(static_cast<size_t>(imageSize))};
    if (!ReadAll(in, image.bytes.data(), image.bytes.size()))
        return 2;
    const ComApartment com;
    const ImageText read = ReadImageHere(image, languages);
    const std::wstring& answer = read.error.empty() ? read.text : read.error;
    const bool sent = WriteValue(out, static_cast<uint32_t>(!read.error.empty())) &&
                      WriteValue(out, static_cast<uint32_t>(answer.size())) &&
                      WriteAll(out, answer.data(), answer.size() * sizeof(wchar_t));
    return sent ? 0 : 3;
}
