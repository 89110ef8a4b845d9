#include "http_server.h"
#include <winsock2.h>

LoopbackHttpServer::LoopbackHttpServer()
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    listen(listener, 8);
    socket_ = listener;
    thread_ = std::thread([this] { Run(); });
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    stopping_ = true;
    closesocket(static_cast<SOCKET>(socket_));
    thread_.join();
    WSACleanup();
}

void LoopbackHttpServer::Serve(const std::string& path, const std::string& body)
{
    std::lock_guard lock(mutex_);
    bodies_[path] = body;
}

int LoopbackHttpServer::Requests(const std::string& path) const
{
    std::lock_guard lock(mutex_);
    const auto found = requests_.find(path);
    return found == requests_.end() ? 0 : found->second;
}

std::wstring LoopbackHttpServer::Address() const
{
    return L"127.0.0.1:" + std::to_wstring(port_);
}

void LoopbackHttpServer::Run()
{
    while (!stopping_) {
        SOCKET client = accept(static_cast<SOCKET>(socket_), nullptr, nullptr);
        if (client == INVALID_SOCKET)
            break;
        std::string request;
        char buffer[2048];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const int got = recv(client, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            request.append(buffer, got);
        }
        // "GET /name HTTP/1.1": the name between the first slash and the next blank.
        const size_t start = request.find(' ');
        const size_t end = start == std::string::npos ? start : request.find(' ', start + 1);
        std::string path = start == std::string::npos || end == std::string::npos ? "" : request.substr(start + 1, end - start - 1);
        if (!path.empty() && path[0] == '/')
            path.erase(0, 1);
        std::string reply;
        {
            std::lock_guard lock(mutex_);
            ++requests_[path];
            const auto found = bodies_.find(path);
            const std::string body = found != bodies_.end() ? found->second : "<html>not found</html>";
            reply = std::string(found != bodies_.end() ? "HTTP/1.1 200 OK" : "HTTP/1.1 404 Not Found") +
                    "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
        }
        for (size_t sent = 0; sent < reply.size();) {
            const int n = send(client, reply.data() + sent, static_cast<int>(reply.size() - sent), 0);
            if (n <= 0)
                break;
            sent += static_cast<size_t>(n);
        }
        shutdown(client, SD_SEND);
        closesocket(client);
    }
}
