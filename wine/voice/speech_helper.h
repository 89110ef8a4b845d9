#pragma once
// The voice's end of the connection to its native speech helper (the messages are in
// helper_protocol.h). Used by the speaking thread only.
#include <winsock2.h>
#include <windows.h>
#include "helper_protocol.h"
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct HelperMessage {
    uint32_t kind = 0;
    uint32_t request = 0;
    std::vector<uint8_t> body;
};

class SpeechHelper {
public:
    SpeechHelper() = default;
    // Closing the connection is what ends the helper.
    ~SpeechHelper();
    SpeechHelper(const SpeechHelper&) = delete;
    SpeechHelper& operator=(const SpeechHelper&) = delete;

    // Starts the helper program and waits for its greeting; false when it cannot be
    // started or does not answer in time.
    bool Start(const std::wstring& program);
    uint32_t SampleRate() const { return sampleRate_; }

    bool SendSpeak(uint32_t request, uint32_t wordsPerMinute, std::wstring_view text);
    bool SendCancel(uint32_t request);

    enum class Received { Message, Nothing, Broken };
    // The next whole message, waiting at most timeoutMs for more bytes to arrive.
    Received Receive(HelperMessage& message, DWORD timeoutMs);

private:
    bool SendAll(const void* data, size_t bytes);
    bool TakeMessage(HelperMessage& message);
    void Close();

    bool winsock_ = false;
    SOCKET socket_ = INVALID_SOCKET;
    uint32_t sampleRate_ = 0;
    bool broken_ = false;
    std::vector<uint8_t> received_;
    size_t readPos_ = 0;
};

// The helper program: the path in CLIPVOCE_ESPEAK_HELPER when that is set, otherwise
// clipvoce-espeak beside the voice DLL (where the build puts it). Empty when there is
// no such file, and the voice then speaks tones.
std::wstring FindSpeechHelper(HMODULE voiceDll);
