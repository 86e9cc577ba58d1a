#include "generator/common.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace assetgen {

namespace {

bool writeBlock(const std::string& path, const void* data, size_t size, std::string& message) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        message = path + ": cannot open for writing: " + std::strerror(errno);
        return false;
    }
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        message = path + ": write failed: " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

bool writeFile(const std::string& path, const Bytes& bytes, std::string& message) {
    return writeBlock(path, bytes.data(), bytes.size(), message);
}

bool writeFile(const std::string& path, const std::string& text, std::string& message) {
    return writeBlock(path, text.data(), text.size(), message);
}

bool readTextFile(const std::string& path, std::string& text, std::string& message) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        message = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    text.clear();
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        message = path + ": read failed";
        return false;
    }
    return true;
}

}  // namespace assetgen
