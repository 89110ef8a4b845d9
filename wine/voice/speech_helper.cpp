#include "speech_helper.h"
#include <ws2tcpip.h>
#include <bcrypt.h>
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

using namespace helper_protocol;

namespace {

// Starting a native program and loading eSpeak NG's data usually takes a fraction of a
// second, but on a machine busy with other work it was seen to pass 5 s; falling back to
// tones would be worse than the wait.
constexpr DWORD kHelperStartTimeoutMs = 10000;
constexpr size_t kReceiveBytes = 64 * 1024;
// Connections waiting to prove the key; beyond this the oldest is closed. The helper
// proves it the moment it connects, so only a flood of others could push it out.
constexpr size_t kMaxCandidates = 32;
constexpr size_t kHelloBytes = sizeof(MessageHeader) + sizeof(HelloBody);
constexpr uint32_t kMinSampleRate = 8000;
constexpr uint32_t kMaxSampleRate = 192000;

bool WaitReadable(SOCKET s, DWORD timeoutMs)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval timeout{static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000};
    return select(0, &readable, nullptr, nullptr, &timeout) > 0;
}

Socket ListenOnLoopback(unsigned short& port)
{
    Socket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!s)
        return s;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (bind(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(s.get(), SOMAXCONN) != 0 || getsockname(s.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return {};
    port = ntohs(address.sin_port);
    return s;
}

struct EnvironmentStringsFree {
    void operator()(wchar_t* strings) const { FreeEnvironmentStringsW(strings); }
};

// This process's environment with the key added: the helper's environment can be read
// by the same user only, its command line by everyone.
std::wstring EnvironmentWithKey(const std::wstring& keyAssignment)
{
    std::wstring block;
    if (const std::unique_ptr<wchar_t, EnvironmentStringsFree> strings{GetEnvironmentStringsW()}) {
        const std::wstring name = keyAssignment.substr(0, keyAssignment.find(L'=') + 1);
        for (const wchar_t* entry = strings.get(); *entry; entry += wcslen(entry) + 1) {
            if (_wcsnicmp(entry, name.c_str(), name.size()) != 0)
                block.append(entry).push_back(L'\0');
        }
    }
    block.append(keyAssignment).push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

bool LaunchProgram(const std::wstring& program, unsigned short port, const uint32_t (&key)[kKeyWords])
{
    std::wstring commandLine = L"\"" + program + L"\" " + std::to_wstring(port);
    std::wstring assignment(kKeyVariable, kKeyVariable + sizeof kKeyVariable - 1);
    assignment += L'=';
    for (uint32_t word : key)
        for (int shift = 28; shift >= 0; shift -= 4)
            assignment += L"0123456789abcdef"[(word >> shift) & 0xF];
    std::wstring environment = EnvironmentWithKey(assignment);
    SecureZeroMemory(assignment.data(), assignment.size() * sizeof(wchar_t));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                        CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, environment.data(), nullptr,
                                        &startup, &info);
    SecureZeroMemory(environment.data(), environment.size() * sizeof(wchar_t));
    if (!started)
        return false;
    // The helper's life is tied to the connection, not to these handles.
    const KernelHandle process(info.hProcess);
    const KernelHandle thread(info.hThread);
    return true;
}

// Whether a message of this kind from the helper may have this size.
bool SizeFits(uint32_t kind, uint32_t bytes)
{
    switch (kind) {
    case kWord:
        return bytes == sizeof(WordBody);
    case kAudio:
        return bytes > 0 && bytes % sizeof(int16_t) == 0 && bytes <= kMaxAudioBytes;
    case kDone:
    case kCancelled:
        return bytes == 0;
    default:
        return false;
    }
}

} // namespace

WinsockUse::~WinsockUse()
{
    if (started_)
        WSACleanup();
}

bool WinsockUse::Start()
{
    WSADATA data;
    if (started_ || WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return false;
    started_ = true;
    return true;
}

SpeechHelper::~SpeechHelper()
{
    StopListening();
    Close();
    SecureZeroMemory(key_, sizeof key_);
}

void SpeechHelper::StopListening()
{
    candidates_.clear();
    listening_.reset();
}

void SpeechHelper::Close()
{
    socket_.reset();
    broken_ = true;
}

bool SpeechHelper::Launch(const std::wstring& program)
{
    if (!winsock_.Start())
        return false;
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(key_), sizeof key_,
                                        BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
        return false;
    unsigned short port = 0;
    listening_ = ListenOnLoopback(port);
    if (!listening_)
        return false;
    deadline_ = GetTickCount64() + kHelperStartTimeoutMs;
    if (!LaunchProgram(program, port, key_)) {
        StopListening();
        return false;
    }
    return true;
}

void SpeechHelper::Accept()
{
    Socket s(accept(listening_.get(), nullptr, nullptr));
    if (!s)
        return;
    if (candidates_.size() >= kMaxCandidates)
        candidates_.erase(candidates_.begin());
    candidates_.push_back({std::move(s), {}});
}

bool SpeechHelper::Hears(Candidate& candidate, bool& closed)
{
    const size_t had = candidate.said.size();
    candidate.said.resize(kHelloBytes);
    // Never more than a greeting: whatever follows it belongs to the conversation.
    const int n = recv(candidate.socket.get(), reinterpret_cast<char*>(candidate.said.data() + had),
                       static_cast<int>(kHelloBytes - had), 0);
    candidate.said.resize(had + static_cast<size_t>(std::max(n, 0)));
    MessageHeader header{};
    bool fits = n > 0;
    if (fits && candidate.said.size() >= sizeof header) {
        memcpy(&header, candidate.said.data(), sizeof header);
        fits = header.kind == kHello && header.request == 0 && header.bytes == sizeof(HelloBody);
    }
    bool proved = false;
    if (fits && candidate.said.size() == kHelloBytes) {
        HelloBody body{};
        memcpy(&body, candidate.said.data() + sizeof header, sizeof body);
        uint32_t difference = 0;
        for (unsigned i = 0; i < kKeyWords; ++i)
            difference |= body.key[i] ^ key_[i];
        proved = difference == 0 && body.sampleRate >= kMinSampleRate && body.sampleRate <= kMaxSampleRate;
        if (proved)
            sampleRate_ = body.sampleRate;
        fits = proved;
    }
    closed = !fits;
    if (closed)
        candidate.socket.reset();
    return proved;
}

SpeechHelper::Connection SpeechHelper::Connect(DWORD stepMs)
{
    if (socket_)
        return Connection::Ready;
    const ULONGLONG now = GetTickCount64();
    if (!listening_ || now >= deadline_) {
        StopListening();
        return Connection::Failed;
    }
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(listening_.get(), &readable);
    for (const Candidate& candidate : candidates_)
        FD_SET(candidate.socket.get(), &readable);
    const DWORD waitMs = static_cast<DWORD>(std::min<ULONGLONG>(stepMs, deadline_ - now));
    timeval timeout{static_cast<long>(waitMs / 1000), static_cast<long>(waitMs % 1000) * 1000};
    if (select(0, &readable, nullptr, nullptr, &timeout) <= 0)
        return Connection::Waiting;
    for (size_t i = 0; i < candidates_.size();) {
        bool closed = false;
        if (FD_ISSET(candidates_[i].socket.get(), &readable) && Hears(candidates_[i], closed)) {
            socket_ = std::move(candidates_[i].socket);
            candidates_.erase(candidates_.begin() + static_cast<std::ptrdiff_t>(i));
            StopListening();
            broken_ = false;
            const BOOL noDelay = TRUE;
            setsockopt(socket_.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
            return Connection::Ready;
        }
        if (closed)
            candidates_.erase(candidates_.begin() + static_cast<std::ptrdiff_t>(i));
        else
            ++i;
    }
    if (FD_ISSET(listening_.get(), &readable))
        Accept();
    return Connection::Waiting;
}

bool SpeechHelper::Start(const std::wstring& program)
{
    if (!Launch(program))
        return false;
    Connection state = Connection::Waiting;
    while (state == Connection::Waiting)
        state = Connect(100);
    return state == Connection::Ready;
}

bool SpeechHelper::SendAll(const void* data, size_t bytes)
{
    const char* p = static_cast<const char*>(data);
    while (!broken_ && bytes > 0) {
        const int n = send(socket_.get(), p, static_cast<int>(std::min<size_t>(bytes, 1 << 20)), 0);
        if (n <= 0) {
            broken_ = true;
            break;
        }
        p += n;
        bytes -= static_cast<size_t>(n);
    }
    return !broken_;
}

bool SpeechHelper::SendSpeak(uint32_t request, uint32_t wordsPerMinute, std::wstring_view text, std::string_view voice,
                             int pitch)
{
    const SpeakBody speak{wordsPerMinute, static_cast<uint32_t>(text.size()), static_cast<uint32_t>(voice.size()), pitch};
    const size_t bodyBytes = sizeof speak + voice.size() + text.size() * sizeof(wchar_t);
    if (!socket_ || bodyBytes > kMaxBodyBytes || voice.size() > kMaxVoiceBytes)
        return false;
    const MessageHeader header{kSpeak, request, static_cast<uint32_t>(bodyBytes)};
    return SendAll(&header, sizeof header) && SendAll(&speak, sizeof speak) && SendAll(voice.data(), voice.size()) &&
           SendAll(text.data(), text.size() * sizeof(wchar_t));
}

bool SpeechHelper::SendCancel(uint32_t request)
{
    const MessageHeader header{kCancel, request, 0};
    return socket_ && SendAll(&header, sizeof header);
}

bool SpeechHelper::TakeMessage(HelperMessage& message)
{
    MessageHeader header{};
    const size_t available = received_.size() - readPos_;
    if (broken_ || available < sizeof header)
        return false;
    memcpy(&header, received_.data() + readPos_, sizeof header);
    if (!SizeFits(header.kind, header.bytes)) {
        Close();
        return false;
    }
    if (available < sizeof header + header.bytes)
        return false;
    const uint8_t* body = received_.data() + readPos_ + sizeof header;
    message.kind = header.kind;
    message.request = header.request;
    message.body.assign(body, body + header.bytes);
    readPos_ += sizeof header + header.bytes;
    if (readPos_ == received_.size()) {
        received_.clear();
        readPos_ = 0;
    }
    return true;
}

SpeechHelper::Received SpeechHelper::Receive(HelperMessage& message, DWORD timeoutMs)
{
    if (TakeMessage(message))
        return Received::Message;
    if (broken_ || !socket_)
        return Received::Broken;
    if (!WaitReadable(socket_.get(), timeoutMs))
        return Received::Nothing;
    if (readPos_ > 0) {
        received_.erase(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(readPos_));
        readPos_ = 0;
    }
    const size_t had = received_.size();
    received_.resize(had + kReceiveBytes);
    const int n = recv(socket_.get(), reinterpret_cast<char*>(received_.data() + had), static_cast<int>(kReceiveBytes), 0);
    received_.resize(had + static_cast<size_t>(std::max(n, 0)));
    if (n <= 0) {
        Close();
        return Received::Broken;
    }
    if (TakeMessage(message))
        return Received::Message;
    return broken_ ? Received::Broken : Received::Nothing;
}

std::wstring FindSpeechHelper(HMODULE voiceDll)
{
    std::wstring path(MAX_PATH, L'\0');
    DWORD n = GetEnvironmentVariableW(L"CLIPVOCE_ESPEAK_HELPER", path.data(), static_cast<DWORD>(path.size()));
    if (n >= path.size()) {
        path.resize(n);
        n = GetEnvironmentVariableW(L"CLIPVOCE_ESPEAK_HELPER", path.data(), static_cast<DWORD>(path.size()));
    }
    if (n > 0 && n < path.size()) {
        path.resize(n);
    } else {
        path.assign(MAX_PATH, L'\0');
        n = GetModuleFileNameW(voiceDll, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0 || n >= path.size())
            return {};
        path.resize(n);
        const size_t slash = path.find_last_of(L"\\/");
        path = path.substr(0, slash == std::wstring::npos ? 0 : slash + 1) + L"clipvoce-espeak";
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {};
    return path;
}
