#pragma once
// The voice's end of the connection to its native speech helper (the messages are in
// helper_protocol.h). Used by one thread at a time: the one that creates the voice, then
// its speaking thread.
#include <winsock2.h>
#include <windows.h>
#include "helper_protocol.h"
#include "platform/scoped_handle.h"
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct SocketTraits {
    using Handle = SOCKET;
    static Handle Invalid() { return INVALID_SOCKET; }
    static void Close(Handle handle) { closesocket(handle); }
};
using Socket = ScopedHandle<SocketTraits>;

// Winsock, started for as long as this lives.
class WinsockUse {
public:
    WinsockUse() = default;
    ~WinsockUse();
    WinsockUse(const WinsockUse&) = delete;
    WinsockUse& operator=(const WinsockUse&) = delete;
    // False when Winsock cannot be started, or has been already.
    bool Start();

private:
    bool started_ = false;
};

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

    // Starts the helper program with a new key and listens for it; false when it cannot
    // be started. Connect then waits for it.
    bool Launch(const std::wstring& program);

    enum class Connection { Waiting, Ready, Failed };
    // Takes in connections to the listening port for at most stepMs. Only one whose
    // greeting proves the key is kept; one that sends anything else is closed at once,
    // and all others as soon as the helper's has proved itself, so a connection that
    // says nothing holds up no one. Failed once the time for starting has passed.
    Connection Connect(DWORD stepMs);
    // Launch and Connect until the helper is there or is not coming.
    bool Start(const std::wstring& program);
    uint32_t SampleRate() const { return sampleRate_; }

    // voice: the eSpeak NG voice that speaks it, at pitch -10..10.
    bool SendSpeak(uint32_t request, uint32_t wordsPerMinute, std::wstring_view text, std::string_view voice = "en",
                   int pitch = 0);
    bool SendCancel(uint32_t request);

    enum class Received { Message, Nothing, Broken };
    // The next whole message, waiting at most timeoutMs for more bytes to arrive. A
    // message of a kind the helper never sends, or of the wrong size for its kind, ends
    // the connection: Broken, as when the helper has gone.
    Received Receive(HelperMessage& message, DWORD timeoutMs);

private:
    // A connection that has not yet proved the key, and what it has said so far.
    struct Candidate {
        Socket socket;
        std::vector<uint8_t> said;
    };

    bool SendAll(const void* data, size_t bytes);
    bool TakeMessage(HelperMessage& message);
    void Accept();
    // True when the candidate has proved the key; closes it when it has said anything else.
    bool Hears(Candidate& candidate, bool& closed);
    void StopListening();
    void Close();

    // Declared first: Winsock ends after every socket has been closed.
    WinsockUse winsock_;
    Socket listening_;
    std::vector<Candidate> candidates_;
    uint32_t key_[helper_protocol::kKeyWords] = {};
    ULONGLONG deadline_ = 0;
    Socket socket_;
    uint32_t sampleRate_ = 0;
    bool broken_ = false;
    std::vector<uint8_t> received_;
    size_t readPos_ = 0;
};

// The helper program: the path in CLIPVOCE_ESPEAK_HELPER when that is set, otherwise
// clipvoce-espeak beside the voice DLL (where the build puts it). Empty when there is
// no such file, and the voice then speaks tones.
std::wstring FindSpeechHelper(HMODULE voiceDll);
