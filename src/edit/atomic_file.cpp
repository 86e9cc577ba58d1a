#include "edit/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

AtomicWriteStep failingStep = AtomicWriteStep::None;

// True, with errno set as the system sets it, for the step the tests make fail.
bool refused(AtomicWriteStep step) {
    if (failingStep != step) return false;
    errno = EIO;
    return true;
}

bool fail(const std::string& path, const char* what, std::string& message) {
    message = path + ": cannot save: " + what + ": " + std::strerror(errno);
    return false;
}

}  // namespace

void failAtomicWriteAt(AtomicWriteStep step) {
    failingStep = step;
}

bool writeFileAtomically(const std::string& path, const std::string& bytes, std::string& message) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // Hidden, so that a folder listing or a text editor's file watcher passes it by.
    std::string temporary =
        folder + (slash == std::string::npos ? "/" : "") + "." + name + ".XXXXXX";
    std::vector<char> pattern(temporary.begin(), temporary.end());
    pattern.push_back('\0');
    const int fd = refused(AtomicWriteStep::Create) ? -1 : mkstemp(pattern.data());
    if (fd < 0) return fail(path, "no temporary file beside it", message);
    temporary = pattern.data();
    const auto abandon = [&](const char* what) {
        const int error = errno;
        close(fd);
        unlink(temporary.c_str());
        errno = error;
        return fail(path, what, message);
    };
    struct stat old;
    if (stat(path.c_str(), &old) == 0) fchmod(fd, old.st_mode & 07777);
    for (size_t written = 0; written < bytes.size();) {
        const ssize_t put = refused(AtomicWriteStep::Write)
                                ? -1
                                : write(fd, bytes.data() + written, bytes.size() - written);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return abandon("writing");
        written += static_cast<size_t>(put);
    }
    if (refused(AtomicWriteStep::Sync) || fsync(fd) != 0) return abandon("flushing");
    if (close(fd) != 0) {
        unlink(temporary.c_str());
        return fail(path, "closing", message);
    }
    if (refused(AtomicWriteStep::Rename) || std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        errno = error;
        return fail(path, "replacing it", message);
    }
    return true;
}
