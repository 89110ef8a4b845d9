#include "update/download_verifier.h"
#include "platform/scoped_handle.h"
#include "settings/program_info.h"
#include "update/update_signature.h"
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>
#include <cstring>
#include <vector>

namespace {

// The headers of an image file as read from disk: enough for the DOS header, the NT
// headers and the section table of any ordinary program.
constexpr DWORD HeaderReadBytes = 4096;

bool ReadHeaders(const std::wstring& path, std::vector<BYTE>& bytes, unsigned long long& fileSize)
{
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size))
        return false;
    fileSize = static_cast<unsigned long long>(size.QuadPart);
    bytes.assign(HeaderReadBytes, 0);
    DWORD read = 0;
    if (!ReadFile(file.get(), bytes.data(), HeaderReadBytes, &read, nullptr))
        return false;
    bytes.resize(read);
    return true;
}

// The NT headers inside `bytes`, or null when they are not all there.
const IMAGE_NT_HEADERS* NtHeadersIn(const std::vector<BYTE>& bytes)
{
    if (bytes.size() < sizeof(IMAGE_DOS_HEADER))
        return nullptr;
    IMAGE_DOS_HEADER dos;
    memcpy(&dos, bytes.data(), sizeof dos);
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0 ||
        static_cast<size_t>(dos.e_lfanew) + sizeof(IMAGE_NT_HEADERS) > bytes.size())
        return nullptr;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(bytes.data() + dos.e_lfanew);
    return nt->Signature == IMAGE_NT_SIGNATURE ? nt : nullptr;
}

const IMAGE_NT_HEADERS* RunningHeaders()
{
    const auto* base = reinterpret_cast<const BYTE*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    return reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
}

class TrustCheck {
public:
    explicit TrustCheck(const std::wstring& path)
    {
        file_.cbStruct = sizeof file_;
        file_.pcwszFilePath = path.c_str();
        data_.cbStruct = sizeof data_;
        data_.dwUIChoice = WTD_UI_NONE;
        // Revocation lists need the network and are not what decides here: the
        // signer must be the very certificate that signed the running program.
        data_.fdwRevocationChecks = WTD_REVOKE_NONE;
        data_.dwUnionChoice = WTD_CHOICE_FILE;
        data_.pFile = &file_;
        data_.dwStateAction = WTD_STATEACTION_VERIFY;
        result_ = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
    }
    ~TrustCheck()
    {
        data_.dwStateAction = WTD_STATEACTION_CLOSE;
        WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
    }
    TrustCheck(const TrustCheck&) = delete;
    TrustCheck& operator=(const TrustCheck&) = delete;

    bool Valid() const { return result_ == ERROR_SUCCESS; }

    // The leaf certificate of the first signer, owned by this check.
    PCCERT_CONTEXT Signer() const
    {
        CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(data_.hWVTStateData);
        if (!provider)
            return nullptr;
        CRYPT_PROVIDER_SGNR* signer = WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
        if (!signer || signer->csCertChain == 0 || !signer->pasCertChain)
            return nullptr;
        return signer->pasCertChain[0].pCert;
    }

private:
    GUID action_ = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO file_{};
    WINTRUST_DATA data_{};
    LONG result_ = TRUST_E_NOSIGNATURE;
};

bool SameCertificate(PCCERT_CONTEXT first, PCCERT_CONTEXT second)
{
    return first && second && first->cbCertEncoded == second->cbCertEncoded &&
           memcmp(first->pbCertEncoded, second->pbCertEncoded, first->cbCertEncoded) == 0;
}

} // namespace

WORD RunningMachine()
{
    return RunningHeaders()->FileHeader.Machine;
}

bool IsProgramImageFor(const std::wstring& path, WORD machine)
{
    std::vector<BYTE> bytes;
    unsigned long long fileSize = 0;
    if (!ReadHeaders(path, bytes, fileSize))
        return false;
    const IMAGE_NT_HEADERS* nt = NtHeadersIn(bytes);
    if (!nt || nt->FileHeader.Machine != machine)
        return false;
    const WORD flags = nt->FileHeader.Characteristics;
    if (!(flags & IMAGE_FILE_EXECUTABLE_IMAGE) || (flags & IMAGE_FILE_DLL))
        return false;
    const IMAGE_NT_HEADERS* running = RunningHeaders();
    if (nt->FileHeader.SizeOfOptionalHeader != running->FileHeader.SizeOfOptionalHeader ||
        nt->OptionalHeader.Magic != running->OptionalHeader.Magic)
        return false;
    // Every section's raw data must lie inside the file: a cut-off image never loads.
    const auto* sections = IMAGE_FIRST_SECTION(nt);
    const size_t tableEnd = reinterpret_cast<const BYTE*>(sections + nt->FileHeader.NumberOfSections) - bytes.data();
    if (nt->FileHeader.NumberOfSections == 0 || tableEnd > bytes.size())
        return false;
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
        const unsigned long long end =
            static_cast<unsigned long long>(sections[i].PointerToRawData) + sections[i].SizeOfRawData;
        if (end > fileSize)
            return false;
    }
    return true;
}

bool CarriesSignature(const std::wstring& path)
{
    std::vector<BYTE> bytes;
    unsigned long long fileSize = 0;
    if (!ReadHeaders(path, bytes, fileSize))
        return false;
    const IMAGE_NT_HEADERS* nt = NtHeadersIn(bytes);
    return nt && nt->OptionalHeader.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_SECURITY &&
           nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY].Size > 0;
}

bool IsSignedLikeReference(const std::wstring& candidate, const std::wstring& reference)
{
    const TrustCheck offered(candidate);
    if (!offered.Valid())
        return false;
    // The running program's own signature is not judged again here; only its
    // certificate is wanted.
    const TrustCheck running(reference);
    return SameCertificate(offered.Signer(), running.Signer());
}

bool IsAcceptableUpdate(const std::wstring& download, const std::string& signature,
                        const std::wstring& offeredVersion, const std::wstring& runningProgram)
{
    if (!IsSignedWithUpdateKey(download, signature) || !IsProgramImageFor(download, RunningMachine()) ||
        ReadFileVersion(download) != offeredVersion)
        return false;
    return !CarriesSignature(runningProgram) || IsSignedLikeReference(download, runningProgram);
}
