#include "update_server.h"
#include "app_driver.h"
#include "file_bytes.h"
#include <windows.h>
#include <wincrypt.h>
#include <sstream>

namespace {

bool TrustRoot(const std::wstring& certificateFile)
{
    const std::string der = ReadBytes(certificateFile);
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    if (!root)
        return false;
    const BOOL added = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                                        static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING,
                                                        nullptr);
    CertCloseStore(root, 0);
    return added;
}

std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

} // namespace

TestUpdateServer::TestUpdateServer() : folder_(BinFolder() + L"\\update-test")
{
    const std::string port = ReadBytes(folder_ + L"\\port");
    if (port != "<missing>")
        address_ = L"127.0.0.1:" + Widen(port);
    trusted_ = TrustRoot(folder_ + L"\\root.cer");
    Clear();
}

TestUpdateServer::~TestUpdateServer()
{
    Clear();
}

std::wstring TestUpdateServer::ProgramFile(const std::string& name)
{
    return BinFolder() + L"\\update-test\\programs\\" + Widen(name);
}

std::wstring TestUpdateServer::Served(const std::string& name) const
{
    return folder_ + L"\\served\\" + Widen(name);
}

void TestUpdateServer::Clear() const
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Served("*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileW((folder_ + L"\\served\\" + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

void TestUpdateServer::Serve(const std::string& path, const std::string& body)
{
    WriteBytes(Served(path), body);
}

void TestUpdateServer::SetStatus(const std::string& path, int status)
{
    WriteBytes(Served(path + ".status"), std::to_string(status));
}

void TestUpdateServer::SetMode(const std::string& path, const std::string& mode)
{
    WriteBytes(Served(path + ".mode"), mode);
}

void TestUpdateServer::SetSilent(bool silent)
{
    if (silent)
        WriteBytes(Served("silent"), "");
    else
        DeleteFileW(Served("silent").c_str());
}

int TestUpdateServer::Requests(const std::string& path) const
{
    const std::string log = ReadBytes(Served("requests.log"));
    std::istringstream lines(log == "<missing>" ? "" : log);
    int count = 0;
    for (std::string line; std::getline(lines, line);)
        count += line == path;
    return count;
}
