#pragma once
// Checks a downloaded program before it may replace the running one.
#include <windows.h>
#include <string>

// Whether the file is a whole executable image (not a library) for the given machine type.
bool IsProgramImageFor(const std::wstring& path, WORD machine);

// The machine type the running program was built for.
WORD RunningMachine();

// Whether the file carries an embedded code signature at all.
bool CarriesSignature(const std::wstring& path);

// Whether `candidate` carries a valid code signature made with exactly the certificate
// that signed `reference`.
bool IsSignedLikeReference(const std::wstring& candidate, const std::wstring& reference);

// All checks together: `signature` is the project's signature over the download's exact
// bytes (update_signature.h), and the download is a program for this machine, of the
// offered version, and, when the running program is Authenticode-signed, signed by the
// same certificate.
bool IsAcceptableUpdate(const std::wstring& download, const std::string& signature,
                        const std::wstring& offeredVersion, const std::wstring& runningProgram);
