#include "speech_helper.h"
#include <ws2tcpip.h>
#include <bcrypt.h>
#include <algorithm>
#include <cstddef>
#include <cstring>

using namespace helper_protocol;

namespace {

// Starting a native program and loading eSpeak NG's data takes a fraction of this even
// on a busy machine.
constexpr DWORD kHelperStartTimeoutMs = 5000;
constexpr size_t kReceiveBytes = 64 * 1024;

bool WaitReadable(SOCKET s, DWORD timeoutMs)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval timeout{static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000};
    return select(0, &readable, nullptr, nullptr, &timeout) > 0;
}

SOCKET ListenOnLoopback(unsigned short& port)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return s;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 1) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    port = ntohs(address.sin_port);
    return s;
}

bool LaunchProgram(const std::wstring& program, unsigned short port, uint32_t keyLow, uint32_t keyHigh)
{
    std::wstring commandLine = L"\"" + program + L"\" " + std::to_wstring(port) + L" " +
                               std::to_wstring(keyLow) + L" " + std::to_wstring(keyHigh);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &info))
        return false;
    // The helper's life is tied to the connection, not to these handles.
    if (info.hThread)
        CloseHandle(info.hThread);
    if (info.hProcess)
        CloseHandle(info.hProcess);
    return true;
}

} // namespace

SpeechHelper::~SpeechHelper()
{
    Close();
    if (winsock_)
        WSACleanup();
}

void SpeechHelper::Close()
{
    if (socket_ != INVALID_SOCKET)
        closesocket(socket_);
    socket_ = INVALID_SOCKET;
}

bool SpeechHelper::Start(const std::wstring& program)
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return false;
    winsock_ = true;

    uint32_t key[2] = {};
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(key), sizeof key,
                                        BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
        return false;
    unsigned short port = 0;
    SOCKET listening = ListenOnLoopback(port);
    if (listening == INVALID_SOCKET)
        return false;
    if (LaunchProgram(program, port, key[0], key[1]) && WaitReadable(listening, kHelperStartTimeoutMs))
        socket_ = accept(listening, nullptr, nullptr);
    closesocket(listening);
    if (socket_ == INVALID_SOCKET)
        return false;
    const BOOL noDelay = TRUE;
    setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);

    HelperMessage hello;
    const ULONGLONG deadline = GetTickCount64() + kHelperStartTimeoutMs;
    Received got = Received::Nothing;
    while (got == Received::Nothing && GetTickCount64() < deadline)
        got = Receive(hello, 100);
    HelloBody body{};
    if (got != Received::Message || hello.kind != kHello || hello.body.size() != sizeof body) {
        Close();
        return false;
    }
    memcpy(&body, hello.body.data(), sizeof body);
    if (body.keyLow != key[0] || body.keyHigh != key[1] || body.sampleRate < 8000 || body.sampleRate > 192000) {
        Close();
        return false;
    }
    sampleRate_ = body.sampleRate;
    return true;
}

bool SpeechHelper::SendAll(const void* data, size_t bytes)
{
    const char* p = static_cast<const char*>(data);
    while (!broken_ && bytes > 0) {
        const int n = send(socket_, p, static_cast<int>(std::min<size_t>(bytes, 1 << 20)), 0);
        if (n <= 0) {
            broken_ = true;
            break;
        }
        p += n;
        bytes -= static_cast<size_t>(n);
    }
    return !broken_;
}

bool SpeechHelper::SendSpeak(uint32_t request, uint32_t wordsPerMinute, std::wstring_view text)
{
    const SpeakBody speak{wordsPerMinute, static_cast<uint32_t>(text.size())};
    const size_t bodyBytes = sizeof speak + text.size() * sizeof(wchar_t);
    if (socket_ == INVALID_SOCKET || bodyBytes > kMaxBodyBytes)
        return false;
    const MessageHeader header{kSpeak, request, static_cast<uint32_t>(bodyBytes)};
    return SendAll(&header, sizeof header) && SendAll(&speak, sizeof speak) &&
           SendAll(text.data(), text.size() * sizeof(wchar_t));
}

bool SpeechHelper::SendCancel(uint32_t request)
{
    const MessageHeader header{kCancel, request, 0};
    return socket_ != INVALID_SOCKET && SendAll(&header, sizeof header);
}

bool SpeechHelper::TakeMessage(HelperMessage& message)
{
    MessageHeader header{};
    const size_t available = received_.size() - readPos_;
    if (available < sizeof header)
        return false;
    memcpy(&header, received_.data() + readPos_, sizeof header);
    if (header.bytes > kMaxBodyBytes) {
        broken_ = true;
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
    if (broken_ || socket_ == INVALID_SOCKET)
        return Received::Broken;
    if (!WaitReadable(socket_, timeoutMs))
        return Received::Nothing;
    if (readPos_ > 0) {
        received_.erase(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(readPos_));
        readPos_ = 0;
    }
    const size_t had = received_.size();
    received_.resize(had + kReceiveBytes);
    const int n = recv(socket_, reinterpret_cast<char*>(received_.data() + had), static_cast<int>(kReceiveBytes), 0);
    received_.resize(had + static_cast<size_t>(std::max(n, 0)));
    if (n <= 0) {
        broken_ = true;
        return Received::Broken;
    }
    return TakeMessage(message) ? Received::Message : Received::Nothing;
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
