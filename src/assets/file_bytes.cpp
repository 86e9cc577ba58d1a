#include "assets/file_bytes.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

template <typename Byte>
bool readWholeFile(const char* path, size_t maxBytes, std::vector<Byte>& bytes, std::string& why,
                   bool* openFailed) {
    if (openFailed) *openFailed = false;
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        if (openFailed) *openFailed = true;
        why = std::strerror(errno);
        return false;
    }
    // The size is a hint for the reservation and refuses a file plainly too long before
    // reading it; the reads below decide.
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long size = std::ftell(file);
        if (size > 0 && size_t(size) > maxBytes) {
            // A directory claims an endless size too: only a readable one is too large.
            std::rewind(file);
            unsigned char probe;
            const bool readable = std::fread(&probe, 1, 1, file) == 1;
            std::fclose(file);
            why = readable ? kFileTooLarge : "read error";
            return false;
        }
        if (size > 0) bytes.reserve(size_t(size));
        std::rewind(file);
    }
    Byte chunk[65536];
    bool ok = true;
    for (;;) {
        const size_t got = std::fread(chunk, 1, sizeof chunk, file);
        if (bytes.size() + got > maxBytes) {
            why = kFileTooLarge;
            ok = false;
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (got < sizeof chunk) {
            if (std::ferror(file)) {
                why = "read error";
                ok = false;
            }
            break;
        }
    }
    std::fclose(file);
    return ok;
}

template bool readWholeFile<char>(const char*, size_t, std::vector<char>&, std::string&, bool*);
template bool readWholeFile<uint8_t>(const char*, size_t, std::vector<uint8_t>&, std::string&,
                                     bool*);
