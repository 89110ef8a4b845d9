#pragma once
// GET requests to the update server over HTTPS, with the platform's certificate
// validation, time limits, a size cap and cancellation.
#include <windows.h>
#include <atomic>
#include <functional>
#include <string>

// The server as "host" or "host:port"; CLIPVOCE_UPDATE_SERVER overrides the built-in one.
std::wstring UpdateServer();

// How long a step may wait for the server, and the bound of one whole request.
constexpr DWORD StepTimeoutMs = 10000;
constexpr ULONGLONG TextRequestTimeoutMs = 30000;
constexpr ULONGLONG DownloadTimeoutMs = 120000;
// No offered program is larger; a bigger size file is refused before downloading.
constexpr unsigned long long MaxDownloadBytes = 64ull * 1024 * 1024;

// Limits and observers of one request; the defaults suit a short text reply.
struct TransferControl {
    const std::atomic<bool>* cancel = nullptr;
    // More body than this fails the request; reading stops right after it.
    unsigned long long maxBytes = MaxDownloadBytes;
    ULONGLONG wholeTimeoutMs = TextRequestTimeoutMs;
    // Told the body's byte count so far after every received chunk.
    std::function<void(unsigned long long)> onBytes;
    // Told why a request failed, in words for the user: the platform's text for the call
    // that failed, or the status the server answered with. Left alone on cancellation.
    std::wstring* failure = nullptr;
};

// One GET request for a resource; only a 200 answer counts. With a file path the body
// is written there and its size reported; otherwise the first 20 bytes of the body
// (at most) become `text`, empty when the request fails, and the rest is not read.
bool HttpGet(const std::wstring& resource, std::wstring* text, const std::wstring* filePath = nullptr,
             unsigned long long* byteCount = nullptr, const TransferControl& control = {});

// One GET request whose whole body, at most `control.maxBytes`, is wanted as it is;
// `body` is empty when the request fails.
bool HttpGetBody(const std::wstring& resource, std::string& body, const TransferControl& control);
