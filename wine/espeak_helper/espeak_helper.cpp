// clipvoce-espeak: the native half of the stand-in voice. Under Wine a Windows DLL cannot
// load a Linux library, so the voice starts this program, which synthesises with
// eSpeak NG and streams samples and word positions back over loopback TCP
// (the messages are described in helper_protocol.h).
//
// Usage: CLIPVOCE_HELPER_KEY=<32 hex digits> clipvoce-espeak PORT
#include "helper_protocol.h"
#include <espeak-ng/speak_lib.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace helper_protocol;

namespace {

// Synthesis hands over audio in pieces of this many milliseconds: short pieces make
// the first samples of a long sentence arrive at once.
constexpr int kPieceMilliseconds = 40;

int connection = -1;

// What the current request is: its number, whether it is being synthesised, whether
// the voice cancelled it, and where each character eSpeak counts (a code point) starts
// in the voice's UTF-16 text.
struct Request {
    uint32_t id = 0;
    bool active = false;
    bool cancelled = false;
    std::vector<uint32_t> unitOfCodePoint;
};
Request current;
// Cancels read while the helper was busy, answered in order once it is free.
std::vector<uint32_t> unansweredCancels;
// While true, synthesis only loads what eSpeak NG needs and nothing is sent.
bool warmingUp = false;

[[noreturn]] void Quit(int code)
{
    _exit(code);
}

// Wine may hand a native child the descriptors of the Windows process that started it,
// among them the pipe a test runner waits on; the helper keeps none of them.
void LetGoOfInheritedDescriptors()
{
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
    }
    for (int fd = 3; fd < 1024; ++fd)
        close(fd);
}

bool ReadExactly(void* data, size_t bytes)
{
    auto* p = static_cast<uint8_t*>(data);
    while (bytes > 0) {
        const ssize_t n = recv(connection, p, bytes, 0);
        if (n == 0)
            return false;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        bytes -= static_cast<size_t>(n);
    }
    return true;
}

// Reads the one message the voice can send while a request is under way or while the
// helper is sending: a Cancel (the voice sends a Speak only once the previous request
// has ended). Every Cancel gets its answer once the helper is free to give it.
void TakeCancel()
{
    MessageHeader header{};
    if (!ReadExactly(&header, sizeof header))
        Quit(0);
    if (header.kind != kCancel || header.bytes != 0)
        Quit(1);
    if (current.active && header.request == current.id)
        current.cancelled = true;
    unansweredCancels.push_back(header.request);
}

// Sends a whole message, waiting for the voice to take it and taking in its Cancels
// meanwhile. A message is never cut short: the voice reads whole messages only.
void SendMessage(MessageKind kind, uint32_t request, const void* body, uint32_t bytes)
{
    std::vector<uint8_t> message(sizeof(MessageHeader) + bytes);
    const MessageHeader header{kind, request, bytes};
    memcpy(message.data(), &header, sizeof header);
    if (bytes)
        memcpy(message.data() + sizeof header, body, bytes);
    const uint8_t* p = message.data();
    size_t left = message.size();
    while (left > 0) {
        pollfd fds{connection, POLLOUT | POLLIN, 0};
        if (poll(&fds, 1, -1) < 0) {
            if (errno == EINTR)
                continue;
            Quit(1);
        }
        if (fds.revents & (POLLIN | POLLHUP | POLLERR)) {
            TakeCancel();
            continue;
        }
        const ssize_t n = send(connection, p, left, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                continue;
            Quit(0);
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
}

void AnswerCancels()
{
    while (!unansweredCancels.empty()) {
        const uint32_t request = unansweredCancels.front();
        unansweredCancels.erase(unansweredCancels.begin());
        SendMessage(kCancelled, request, nullptr, 0);
    }
}

void CheckForCancel()
{
    pollfd fds{connection, POLLIN, 0};
    while (!current.cancelled && poll(&fds, 1, 0) > 0 && (fds.revents & (POLLIN | POLLHUP | POLLERR)))
        TakeCancel();
}

uint32_t UnitOf(int codePoint)
{
    if (codePoint < 0)
        return 0;
    const auto& map = current.unitOfCodePoint;
    return map[std::min<size_t>(static_cast<size_t>(codePoint), map.size() - 1)];
}

// eSpeak NG calls this with each piece of audio and the events inside it. Returning 1
// makes it stop synthesising.
int OnSynthesised(short* samples, int count, espeak_EVENT* events)
{
    if (warmingUp)
        return 0;
    CheckForCancel();
    if (current.cancelled)
        return 1;
    for (espeak_EVENT* e = events; e && e->type != espeakEVENT_LIST_TERMINATED; ++e) {
        if (e->type != espeakEVENT_WORD)
            continue;
        // Character positions from eSpeak NG count code points from 1.
        const uint32_t pos = UnitOf(e->text_position - 1);
        const uint32_t end = UnitOf(e->text_position - 1 + e->length);
        const WordBody word{static_cast<uint32_t>(std::max(0, e->sample)), pos, end > pos ? end - pos : 0};
        SendMessage(kWord, current.id, &word, sizeof word);
        if (current.cancelled)
            return 1;
    }
    if (samples && count > 0)
        SendMessage(kAudio, current.id, samples, static_cast<uint32_t>(count) * sizeof(short));
    return current.cancelled ? 1 : 0;
}

// UTF-16 from the voice into the wide characters eSpeak NG reads on Linux (UTF-32),
// remembering where each code point came from. A lone surrogate becomes U+FFFD.
std::wstring ToCodePoints(const std::vector<uint16_t>& units, std::vector<uint32_t>& unitOfCodePoint)
{
    std::wstring text;
    unitOfCodePoint.clear();
    for (size_t i = 0; i < units.size(); ++i) {
        unitOfCodePoint.push_back(static_cast<uint32_t>(i));
        const uint32_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            text += static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            text += static_cast<wchar_t>(0xFFFD);
        } else {
            text += static_cast<wchar_t>(u);
        }
    }
    unitOfCodePoint.push_back(static_cast<uint32_t>(units.size()));
    return text;
}

// Each request names its voice; switching loads that language's rules only when the
// voice changes. A voice eSpeak NG does not have leaves the one in use.
void UseVoice(const std::string& name)
{
    static std::string inUse = "en";
    if (name.empty() || name == inUse)
        return;
    if (espeak_SetVoiceByName(name.c_str()) == EE_OK)
        inUse = name;
}

void Speak(uint32_t request, const std::vector<uint8_t>& body)
{
    SpeakBody speak{};
    if (body.size() < sizeof speak)
        Quit(1);
    memcpy(&speak, body.data(), sizeof speak);
    if (speak.voiceBytes > kMaxVoiceBytes ||
        body.size() != sizeof speak + speak.voiceBytes + static_cast<size_t>(speak.textUnits) * 2)
        Quit(1);
    const char* voice = reinterpret_cast<const char*>(body.data()) + sizeof speak;
    UseVoice(std::string(voice, speak.voiceBytes));
    std::vector<uint16_t> units(speak.textUnits);
    memcpy(units.data(), body.data() + sizeof speak + speak.voiceBytes, units.size() * 2);

    current.id = request;
    current.active = true;
    current.cancelled = false;
    const std::wstring text = ToCodePoints(units, current.unitOfCodePoint);
    espeak_SetParameter(espeakRATE, static_cast<int>(speak.wordsPerMinute), 0);
    // eSpeak NG's pitch runs from 0 to 100 around its own 50.
    espeak_SetParameter(espeakPITCH, 50 + 4 * std::clamp(speak.pitch, -10, 10), 0);
    if (!text.empty())
        espeak_Synth(text.c_str(), (text.size() + 1) * sizeof(wchar_t), 0, POS_CHARACTER, 0,
                     espeakCHARS_WCHAR | espeakENDPAUSE, nullptr, nullptr);
    current.active = false;
    SendMessage(kDone, request, nullptr, 0);
    AnswerCancels();
}

// The key from the environment. Its value is overwritten where it lies, in the memory
// that /proc/PID/environ shows, before it is dropped: nothing keeps it but `key`.
bool TakeKey(uint32_t (&key)[kKeyWords])
{
    char* text = getenv(kKeyVariable);
    if (!text)
        return false;
    const size_t length = strlen(text);
    bool valid = length == kKeyWords * 8;
    for (unsigned i = 0; valid && i < kKeyWords; ++i) {
        const std::string word(text + i * 8, 8);
        char* end = nullptr;
        key[i] = static_cast<uint32_t>(strtoul(word.c_str(), &end, 16));
        valid = *end == '\0' && word.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
    }
    memset(text, '0', length);
    unsetenv(kKeyVariable);
    return valid;
}

int ConnectTo(unsigned port)
{
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(s);
        return -1;
    }
    const int on = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return s;
}

} // namespace

int main(int argc, char** argv)
{
    LetGoOfInheritedDescriptors();
    HelloBody hello{};
    if (!TakeKey(hello.key) || argc != 2)
        return 2;
    const unsigned long port = strtoul(argv[1], nullptr, 10);
    if (port == 0 || port > 65535)
        return 2;

    const int sampleRate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, kPieceMilliseconds, nullptr, 0);
    if (sampleRate <= 0 || espeak_SetVoiceByName("en") != EE_OK)
        return 4;
    espeak_SetSynthCallback(OnSynthesised);
    // eSpeak NG reads its dictionary and phoneme data on first use; doing that now keeps
    // it out of the time to the first sample of the first text.
    warmingUp = true;
    const wchar_t warmUp[] = L"Ready.";
    espeak_Synth(warmUp, sizeof warmUp, 0, POS_CHARACTER, 0, espeakCHARS_WCHAR, nullptr, nullptr);
    warmingUp = false;

    // Connected only once ready, and the greeting goes at once: the voice closes any
    // connection that says anything else first.
    connection = ConnectTo(static_cast<unsigned>(port));
    if (connection < 0)
        return 3;
    hello.sampleRate = static_cast<uint32_t>(sampleRate);
    SendMessage(kHello, 0, &hello, sizeof hello);
    for (;;) {
        AnswerCancels();
        MessageHeader header{};
        if (!ReadExactly(&header, sizeof header))
            return 0;
        if (header.kind == kCancel && header.bytes == 0) {
            unansweredCancels.push_back(header.request);
            continue;
        }
        if (header.kind != kSpeak || header.bytes > kMaxBodyBytes)
            return 1;
        std::vector<uint8_t> body(header.bytes);
        if (header.bytes && !ReadExactly(body.data(), body.size()))
            return 0;
        Speak(header.request, body);
    }
}
