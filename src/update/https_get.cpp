#include "update/https_get.h"
#include "platform/scoped_handle.h"
#include "platform/ui_text.h"
#include "res/resource.h"
#include <winhttp.h>
#include <cstdlib>
#include <vector>

#ifndef CLIPVOCE_UPDATE_HOST
#define CLIPVOCE_UPDATE_HOST L"update.clipvoce.example"
#endif

namespace {

using HttpHandle = NullableHandle<HINTERNET, WinHttpCloseHandle>;

constexpr size_t ReplyTextLength = 20;
constexpr DWORD ReadChunkBytes = 64 * 1024;

struct ServerAddress {
    std::wstring host;
    INTERNET_PORT port = INTERNET_DEFAULT_HTTPS_PORT;
};

ServerAddress ParseServer(const std::wstring& server)
{
    ServerAddress address;
    const size_t colon = server.rfind(L':');
    address.host = server.substr(0, colon);
    if (colon != std::wstring::npos) {
        const long port = wcstol(server.c_str() + colon + 1, nullptr, 10);
        if (port > 0 && port < 65536)
            address.port = static_cast<INTERNET_PORT>(port);
    }
    return address;
}

DWORD StatusCode(HINTERNET request)
{
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                             &status, &size, WINHTTP_NO_HEADER_INDEX))
        return 0;
    return status;
}

// WinHTTP's own error codes have their texts in its module, not in the system's table.
std::wstring WinHttpErrorText(DWORD error)
{
    const bool own = error >= WINHTTP_ERROR_BASE && error <= WINHTTP_ERROR_LAST;
    return SystemErrorText(error, own ? GetModuleHandleW(L"winhttp.dll") : nullptr);
}

// One character per byte; a NUL ends the text.
std::wstring WidenReply(const std::string& bytes)
{
    std::wstring text;
    for (char byte : bytes) {
        if (byte == '\0')
            break;
        text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(byte)));
    }
    return text;
}

bool Cancelled(const TransferControl& control)
{
    return control.cancel && control.cancel->load();
}

// One GET request: the body goes to the file when there is one; otherwise its first
// `keepBytes` bytes are kept in `kept` and reading stops there.
bool Fetch(const std::wstring& resource, const std::wstring* filePath, size_t keepBytes, std::string& kept,
           unsigned long long* byteCount, const TransferControl& control)
{
    kept.clear();
    const ULONGLONG started = GetTickCount64();
    const ServerAddress server = ParseServer(UpdateServer());
    // Says why, for the caller's message, and fails the request.
    const auto fail = [&control](std::wstring why) {
        if (control.failure && !Cancelled(control))
            *control.failure = std::move(why);
        return false;
    };
    const auto failedCall = [&fail] { return fail(WinHttpErrorText(GetLastError())); };
    // Closed in reverse order of opening: request, connection, session.
    HttpHandle session(WinHttpOpen(L"WinHTTP", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                   WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session)
        return failedCall();
    // Without limits of our own, a server that accepts and never answers would hold
    // the check for as long as the system's defaults allow (minutes).
    if (!WinHttpSetTimeouts(session.get(), StepTimeoutMs, StepTimeoutMs, StepTimeoutMs, StepTimeoutMs))
        return failedCall();
    HttpHandle connection(WinHttpConnect(session.get(), server.host.c_str(), server.port, 0));
    if (!connection)
        return failedCall();
    HttpHandle request(WinHttpOpenRequest(connection.get(), L"GET", resource.c_str(), nullptr, WINHTTP_NO_REFERER,
                                          WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
    if (!request)
        return failedCall();
    if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr))
        return failedCall();
    if (const DWORD status = StatusCode(request.get()); status != HTTP_STATUS_OK)
        return fail(FillPattern(LoadText(IDS_SERVER_STATUS), std::to_wstring(status)));

    FileHandle file(filePath ? CreateFileW(filePath->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr)
                             : INVALID_HANDLE_VALUE);
    if (filePath && !file)
        return fail(SystemErrorText(GetLastError()));
    std::vector<char> buffer(ReadChunkBytes);
    unsigned long long received = 0;
    for (;;) {
        if (Cancelled(control))
            return false;
        if (GetTickCount64() - started > control.wholeTimeoutMs)
            return fail(LoadText(IDS_SERVER_SILENT));
        // Never more than one byte past the limit: enough to tell an oversized body.
        const unsigned long long room = control.maxBytes + 1 - received;
        const DWORD wanted = static_cast<DWORD>(std::min<unsigned long long>(buffer.size(), room));
        DWORD read = 0;
        if (!WinHttpReadData(request.get(), buffer.data(), wanted, &read))
            return failedCall();
        if (read == 0)
            break;
        received += read;
        if (received > control.maxBytes)
            return fail(SystemErrorText(ERROR_FILE_TOO_LARGE));
        if (filePath) {
            DWORD written = 0;
            if (!WriteFile(file.get(), buffer.data(), read, &written, nullptr) || written != read)
                return fail(SystemErrorText(GetLastError()));
        } else {
            kept.append(buffer.data(), std::min<size_t>(read, keepBytes - kept.size()));
        }
        if (control.onBytes)
            control.onBytes(received);
        if (!filePath && kept.size() == keepBytes)
            break;
    }
    if (byteCount)
        *byteCount = received;
    return true;
}

} // namespace

std::wstring UpdateServer()
{
    wchar_t server[256] = L"";
    const DWORD length = GetEnvironmentVariableW(L"CLIPVOCE_UPDATE_SERVER", server, 256);
    if (length > 0 && length < 256)
        return server;
    return CLIPVOCE_UPDATE_HOST;
}

bool HttpGet(const std::wstring& resource, std::wstring* text, const std::wstring* filePath,
             unsigned long long* byteCount, const TransferControl& control)
{
    if (text)
        text->clear();
    std::string replyBytes;
    if (!Fetch(resource, filePath, ReplyTextLength, replyBytes, byteCount, control))
        return false;
    if (text)
        *text = WidenReply(replyBytes);
    return true;
}

bool HttpGetBody(const std::wstring& resource, std::string& body, const TransferControl& control)
{
    // The size cap ends the request first: no body of up to `maxBytes` is cut short.
    if (Fetch(resource, nullptr, static_cast<size_t>(control.maxBytes) + 1, body, nullptr, control))
        return true;
    body.clear();
    return false;
}
