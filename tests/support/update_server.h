#pragma once
// The tests' update server: a TLS server on the loopback address that the test run
// starts (tests/update_server), steered through files in its folder. Its root
// certificate is made trusted in the test prefix, so the program validates it as any
// other server.
#include <string>

class TestUpdateServer {
public:
    // Trusts the server's root and starts with nothing served.
    TestUpdateServer();
    ~TestUpdateServer();
    TestUpdateServer(const TestUpdateServer&) = delete;
    TestUpdateServer& operator=(const TestUpdateServer&) = delete;

    // Whether the run's server is up and trusted.
    bool Ready() const { return !address_.empty() && trusted_; }
    // "127.0.0.1:port", as the program's update-server setting takes it.
    std::wstring Address() const { return address_; }

    // Path without the leading slash → body; a status other than 200; a way of sending
    // the body: "endless", "slow" or "truncated".
    void Serve(const std::string& path, const std::string& body);
    void SetStatus(const std::string& path, int status);
    void SetMode(const std::string& path, const std::string& mode);
    // Accepts connections and never answers.
    void SetSilent(bool silent);
    int Requests(const std::string& path) const;

    // A program made for the tests: "installed.exe" (0.0.2.3), "v9.exe", "v10.exe",
    // "v9_unsigned.exe", "v9_other_signer.exe", "v9_arm64.exe", "v8.exe", "v1.exe"
    // (0.0.1.0), "v9_tail.exe" (unsigned, bytes after the image); each NAME with its
    // update signature "NAME.sig" by the test key and "NAME.other_key.sig" by another.
    static std::wstring ProgramFile(const std::string& name);

private:
    std::wstring Served(const std::string& name) const;
    void Clear() const;

    std::wstring folder_;
    std::wstring address_;
    bool trusted_ = false;
};
