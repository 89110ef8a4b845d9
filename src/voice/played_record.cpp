#include "voice/played_record.h"
#include "platform/log.h"
#include <cstdio>

namespace {

FileHandle CreateRecordFile(const std::wstring& path)
{
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        LogFailure(L"CreateFile for the played audio's record", GetLastError());
    return file;
}

double NowMs()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Append(HANDLE file, const void* data, size_t bytes)
{
    DWORD done = 0;
    WriteFile(file, data, static_cast<DWORD>(bytes), &done, nullptr);
}

} // namespace

bool PlayedRecord::Open(const std::wstring& audioPath, uint32_t sampleRate, uint16_t channels)
{
    audio_ = CreateRecordFile(audioPath);
    notes_ = CreateRecordFile(audioPath + L".txt");
    if (!audio_ || !notes_)
        return false;
    Note("format", sampleRate, channels);
    return true;
}

void PlayedRecord::Frames(const int16_t* samples, size_t frames, uint16_t channels)
{
    Append(audio_.get(), samples, frames * channels * sizeof(int16_t));
    written_ += frames;
}

void PlayedRecord::Note(const char* what, uint64_t voiceFrame, uint64_t outputFrame)
{
    char line[128];
    const int length = std::snprintf(line, sizeof line, "%s %llu %llu %.3f\n", what, static_cast<unsigned long long>(voiceFrame),
                                     static_cast<unsigned long long>(outputFrame), NowMs());
    if (length > 0)
        Append(notes_.get(), line, static_cast<size_t>(length));
}
