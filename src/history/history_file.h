#pragma once
// The reading history as a file: a short plain header that names the file and its
// version, then one blob that the system's data protection encrypted for the current
// Windows user. Inside the blob: the entry count, then per entry its flags, position,
// time taken, text length in UTF-16 units and the text.
#include "history/reading_history.h"
#include <string>
#include <vector>

// The entries as the bytes inside the encrypted blob, and back. Decoding checks every
// count and length before it allocates: false for bytes that are not such a history.
std::string EncodeHistory(const std::vector<HistoryEntry>& entries);
bool DecodeHistory(const std::string& bytes, std::vector<HistoryEntry>& entries);

enum class HistoryFileState { Read, Missing, Damaged };
// Reads the entries; Damaged covers a file that could not be read whole, decrypted or
// decoded, each logged with its reason.
HistoryFileState ReadHistoryFile(const std::wstring& path, std::vector<HistoryEntry>& entries);
// Replaces the file once the new one is complete; false with the last error set, logged.
bool WriteHistoryFile(const std::wstring& path, const std::vector<HistoryEntry>& entries);
