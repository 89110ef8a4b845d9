#include "update/update_check.h"
#include "app/app_state.h"
#include "res/resource.h"
#include "settings/ini_file.h"
#include "settings/program_info.h"
#include <winhttp.h>
#include <cstdlib>
#include <fstream>
#include <vector>

#ifndef CLIPVOCE_UPDATE_HOST
#define CLIPVOCE_UPDATE_HOST L"update.clipvoce.example"
#endif

namespace {

constexpr size_t ReplyTextLength = 20;
constexpr INTERNET_PORT DefaultPort = 80;

struct ServerAddress {
    std::wstring host;
    INTERNET_PORT port = DefaultPort;
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

class HttpHandle {
public:
    explicit HttpHandle(HINTERNET handle) : handle_(handle) {}
    ~HttpHandle()
    {
        if (handle_)
            WinHttpCloseHandle(handle_);
    }
    HttpHandle(const HttpHandle&) = delete;
    HttpHandle& operator=(const HttpHandle&) = delete;
    HINTERNET get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    HINTERNET handle_;
};

void ShowResult(UINT textId, UINT icon)
{
    wchar_t caption[CaptionBufferLength];
    wchar_t text[MessageBufferLength];
    LoadStringW(appInstance, IDS_WARNING, caption, CaptionBufferLength);
    LoadStringW(appInstance, textId, text, MessageBufferLength);
    MessageBoxW(speechWindow, text, caption, MB_OK | icon);
}

// A version text as offered: a trailing line break written by the server's editor is
// not part of the version.
std::wstring TrimVersion(std::wstring text)
{
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n'))
        text.pop_back();
    return text;
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
             unsigned long long* byteCount)
{
    const ServerAddress server = ParseServer(UpdateServer());
    // Closed in reverse order of opening: request, connection, session.
    HttpHandle session(WinHttpOpen(L"WinHTTP", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                   WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session)
        return false;
    HttpHandle connection(WinHttpConnect(session.get(), server.host.c_str(), server.port, 0));
    if (!connection)
        return false;
    HttpHandle request(WinHttpOpenRequest(connection.get(), L"GET", resource.c_str(), nullptr, WINHTTP_NO_REFERER,
                                          WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
    if (!request)
        return false;
    if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr))
        return false;

    std::ofstream file;
    if (filePath)
        file.open(filePath->c_str(), std::ios::binary | std::ios::trunc);
    bool result = true;
    std::string replyBytes;
    DWORD available = 0;
    do {
        if (!WinHttpQueryDataAvailable(request.get(), &available)) {
            result = false;
            break;
        }
        std::vector<char> buffer(available + 1, '\0');
        DWORD read = 0;
        if (!WinHttpReadData(request.get(), buffer.data(), available, &read)) {
            result = false;
            break;
        }
        if (filePath)
            file.write(buffer.data(), read);
        else if (replyBytes.size() < ReplyTextLength)
            replyBytes.append(buffer.data(), std::min<size_t>(read, ReplyTextLength - replyBytes.size()));
    } while (available != 0);

    if (text) {
        text->clear();
        // One character per byte; a NUL ends the text.
        for (char byte : replyBytes) {
            if (byte == '\0')
                break;
            text->push_back(static_cast<wchar_t>(static_cast<unsigned char>(byte)));
        }
    }
    if (filePath && file.good()) {
        file.seekp(0, std::ios::end);
        if (byteCount)
            *byteCount = static_cast<unsigned long long>(file.tellp());
        file.close();
    }
    return result;
}

bool IsUpdateOffered(const std::wstring& offered, const std::wstring& running, long expectedSize)
{
    return offered != running && !offered.empty() && offered.find(L"html") == std::wstring::npos && expectedSize > 0;
}

void CheckForUpdates(HWND aboutDialog)
{
    std::wstring reply;
    HttpGet(std::wstring(appName) + L".dat", &reply);
    const long expectedSize = ParseDecimalInt(reply);
    reply.clear();
    HttpGet(std::wstring(appName) + L".ver", &reply);
    const std::wstring offered = TrimVersion(reply);

    if (!IsUpdateOffered(offered, ProgramInfo.versionText, expectedSize)) {
        ShowResult(IDS_NO_UPDATE, MB_ICONINFORMATION);
        return;
    }
    const std::wstring& program = ProgramInfo.programPath;
    const std::wstring backup = program + L".bak";
    // A running executable can be renamed but not overwritten. When it cannot be moved
    // aside (an older backup is in the way), downloading over it could leave a broken
    // program with nothing to go back to.
    if (!MoveFileW(program.c_str(), backup.c_str())) {
        ShowResult(IDS_DOWNLOAD_FAILED, MB_ICONWARNING);
        return;
    }
    unsigned long long received = 0;
    const bool fetched = HttpGet(std::wstring(appName) + L".exe_get.php", nullptr, &program, &received);
    if (!fetched || received != static_cast<unsigned long long>(expectedSize)) {
        // Put the working executable back, so the program can still be started.
        if (!MoveFileExW(backup.c_str(), program.c_str(), MOVEFILE_REPLACE_EXISTING))
            DeleteFileW(program.c_str());
        ShowResult(IDS_DOWNLOAD_FAILED, MB_ICONWARNING);
        return;
    }
    ShowResult(IDS_UPDATED, MB_ICONINFORMATION);
    EndDialog(aboutDialog, IDC_ABOUT_CHECK_UPDATES);
    RestartSelf();
}
