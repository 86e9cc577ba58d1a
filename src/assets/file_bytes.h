// Whole files into memory, for the readers that parse from a byte buffer.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The reason readWholeFile gives for a file longer than its limit.
inline constexpr const char* kFileTooLarge = "file too large";

// Reads the whole file at `path` into `bytes` (char or unsigned char). Returns false with a
// short reason in `why`: the system's text when the file cannot be opened (and then
// `openFailed` set, when given), kFileTooLarge past `maxBytes` (refused before reading when
// the size is known), or "read error".
template <typename Byte>
bool readWholeFile(const char* path, size_t maxBytes, std::vector<Byte>& bytes, std::string& why,
                   bool* openFailed = nullptr);
