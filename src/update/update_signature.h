#pragma once
// The project's own signature over an update download: ECDSA P-256 with SHA-256, made
// with openssl ("openssl dgst -sha256 -sign"), checked with the platform's CNG against
// the public key built into the program (CLIPVOCE_UPDATE_PUBLIC_KEY, see README.md).
#include <array>
#include <string>

// The largest signature file taken from the server: a DER signature of P-256 is at most
// 72 bytes.
constexpr unsigned long long MaxSignatureBytes = 256;

// An ECDSA signature as openssl writes it, DER "SEQUENCE { INTEGER r, INTEGER s }", as
// CNG takes it: r then s, each 32 bytes big-endian. False for anything that is not
// exactly such a sequence of two positive integers of at most 32 bytes, minimally encoded.
bool EcdsaDerToRaw(const std::string& der, std::array<unsigned char, 64>& raw);

// Whether `signature` (DER) is a valid signature over the exact bytes of the file by the
// project's update key, built into the program.
bool IsSignedWithUpdateKey(const std::wstring& path, const std::string& signature);
