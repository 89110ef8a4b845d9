#include "update/update_signature.h"
#include "platform/scoped_handle.h"
#include "update_public_key.h"
#include <bcrypt.h>
#include <cstring>
#include <vector>

namespace {

void CloseAlgorithm(BCRYPT_ALG_HANDLE algorithm)
{
    BCryptCloseAlgorithmProvider(algorithm, 0);
}
using AlgorithmHandle = NullableHandle<BCRYPT_ALG_HANDLE, CloseAlgorithm>;
using HashHandle = NullableHandle<BCRYPT_HASH_HANDLE, BCryptDestroyHash>;
using KeyHandle = NullableHandle<BCRYPT_KEY_HANDLE, BCryptDestroyKey>;

constexpr size_t CoordinateBytes = 32;
constexpr unsigned char DerSequence = 0x30;
constexpr unsigned char DerInteger = 0x02;
constexpr DWORD HashReadBytes = 64 * 1024;

AlgorithmHandle OpenAlgorithm(LPCWSTR name)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, name, nullptr, 0)))
        return AlgorithmHandle();
    return AlgorithmHandle(algorithm);
}

// One DER INTEGER at `at` into 32 big-endian bytes; `at` moves past it.
bool ReadInteger(const std::string& der, size_t& at, unsigned char* out)
{
    if (der.size() - at < 2 || static_cast<unsigned char>(der[at]) != DerInteger)
        return false;
    // A length of 0x80 or more would be the long form, which no such number needs.
    const size_t length = static_cast<unsigned char>(der[at + 1]);
    at += 2;
    if (length == 0 || length > CoordinateBytes + 1 || der.size() - at < length)
        return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.data()) + at;
    // Negative, or a leading zero that does not keep the top bit from reading as a sign.
    if ((bytes[0] & 0x80) || (length > 1 && bytes[0] == 0 && !(bytes[1] & 0x80)))
        return false;
    const size_t skip = bytes[0] == 0 && length > 1 ? 1 : 0;
    if (length - skip > CoordinateBytes)
        return false;
    memset(out, 0, CoordinateBytes);
    memcpy(out + CoordinateBytes - (length - skip), bytes + skip, length - skip);
    at += length;
    return true;
}

bool Sha256OfFile(const std::wstring& path, unsigned char (&digest)[32])
{
    const AlgorithmHandle algorithm = OpenAlgorithm(BCRYPT_SHA256_ALGORITHM);
    DWORD objectBytes = 0;
    ULONG got = 0;
    if (!algorithm || !BCRYPT_SUCCESS(BCryptGetProperty(algorithm.get(), BCRYPT_OBJECT_LENGTH,
                                                        reinterpret_cast<PUCHAR>(&objectBytes), sizeof objectBytes,
                                                        &got, 0)))
        return false;
    // Windows 7 wants the hash object's memory from the caller; it outlives the handle.
    std::vector<UCHAR> object(objectBytes);
    BCRYPT_HASH_HANDLE created = nullptr;
    if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm.get(), &created, object.data(), objectBytes, nullptr, 0, 0)))
        return false;
    const HashHandle hash(created);
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return false;
    std::vector<UCHAR> buffer(HashReadBytes);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), buffer.data(), HashReadBytes, &read, nullptr))
            return false;
        if (read == 0)
            break;
        if (!BCRYPT_SUCCESS(BCryptHashData(hash.get(), buffer.data(), read, 0)))
            return false;
    }
    return BCRYPT_SUCCESS(BCryptFinishHash(hash.get(), digest, sizeof digest, 0));
}

KeyHandle ImportPublicKey(BCRYPT_ALG_HANDLE algorithm, const unsigned char (&publicKey)[64])
{
    std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + sizeof publicKey);
    const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, CoordinateBytes};
    memcpy(blob.data(), &header, sizeof header);
    memcpy(blob.data() + sizeof header, publicKey, sizeof publicKey);
    BCRYPT_KEY_HANDLE key = nullptr;
    if (!BCRYPT_SUCCESS(BCryptImportKeyPair(algorithm, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key, blob.data(),
                                            static_cast<ULONG>(blob.size()), 0)))
        return KeyHandle();
    return KeyHandle(key);
}

} // namespace

bool EcdsaDerToRaw(const std::string& der, std::array<unsigned char, 64>& raw)
{
    if (der.size() < 2 || der.size() - 2 >= 0x80 || static_cast<unsigned char>(der[0]) != DerSequence ||
        static_cast<size_t>(static_cast<unsigned char>(der[1])) != der.size() - 2)
        return false;
    size_t at = 2;
    return ReadInteger(der, at, raw.data()) && ReadInteger(der, at, raw.data() + CoordinateBytes) && at == der.size();
}

bool IsSignedWithUpdateKey(const std::wstring& path, const std::string& signature)
{
    std::array<unsigned char, 64> raw{};
    unsigned char digest[32] = {};
    if (!EcdsaDerToRaw(signature, raw) || !Sha256OfFile(path, digest))
        return false;
    const AlgorithmHandle ecdsa = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
    if (!ecdsa)
        return false;
    const KeyHandle key = ImportPublicKey(ecdsa.get(), UpdatePublicKey);
    return key && BCryptVerifySignature(key.get(), nullptr, digest, sizeof digest, raw.data(),
                                        static_cast<ULONG>(raw.size()), 0) == 0;
}
