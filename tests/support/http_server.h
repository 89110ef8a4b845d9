#pragma once
// A small HTTP server on the loopback address for tests: answers GET requests for the
// resources it was given, counts the requests, and stops with the object.
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>

class LoopbackHttpServer {
public:
    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    // Path without the leading slash → body.
    void Serve(const std::string& path, const std::string& body);
    int Requests(const std::string& path) const;
    // "127.0.0.1:port", as the program's update-server setting takes it.
    std::wstring Address() const;

private:
    void Run();

    unsigned long long socket_;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::map<std::string, std::string> bodies_;
    std::map<std::string, int> requests_;
    std::thread thread_;
};
