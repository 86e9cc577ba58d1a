#include "video_encoder.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "failure.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

std::string describeStatus(int status) {
    if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) {
        return "killed by signal " + std::to_string(WTERMSIG(status)) + ", " +
               strsignal(WTERMSIG(status));
    }
    return "status " + std::to_string(status);
}

std::string lastLine(FILE* log) {
    std::string text, line;
    std::rewind(log);
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof(buffer), log)) > 0) text.append(buffer, got);
    for (size_t end = text.size(); end > 0;) {
        const size_t start = text.rfind('\n', end - 1);
        const size_t from = start == std::string::npos ? 0 : start + 1;
        line = text.substr(from, end - from);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (!line.empty()) return line;
        if (start == std::string::npos) break;
        end = start;
    }
    return line;
}

}  // namespace

bool onPath(const char* program) {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    std::string paths = path;
    size_t start = 0;
    while (start <= paths.size()) {
        const size_t end = std::min(paths.find(':', start), paths.size());
        const fs::path candidate = fs::path(paths.substr(start, end - start)) / program;
        if (access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

void Ffmpeg::start(const std::vector<std::string>& args) {
    log_ = std::tmpfile();
    if (!log_)
        fail(std::string("cannot make a file for ffmpeg's messages: ") + std::strerror(errno));
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        fail(std::string("cannot make a pipe: ") + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fileno(log_), 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
    std::vector<char*> argv;
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int result = posix_spawnp(&pid, "ffmpeg", &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(fds[0]);
    if (result != 0) {
        close(fds[1]);
        fail(std::string("cannot start ffmpeg: ") + std::strerror(result));
    }
    gPending.ffmpeg = pid;
    gPending.pipe = fds[1];
}

void Ffmpeg::write(const void* data, size_t bytes) {
    const char* p = static_cast<const char*>(data);
    while (bytes > 0) {
        const ssize_t done = ::write(gPending.pipe, p, bytes);
        if (done < 0 && errno == EINTR) {
            checkInterrupt();
            continue;
        }
        if (done <= 0) {
            const int error = errno;
            finish(std::string("stopped reading frames: ") + std::strerror(error));
        }
        p += done;
        bytes -= static_cast<size_t>(done);
    }
}

void Ffmpeg::finish(const std::string& trouble) {
    close(gPending.pipe);
    gPending.pipe = -1;
    int status = 0;
    while (waitpid(gPending.ffmpeg, &status, 0) < 0) {
        if (errno != EINTR) fail(std::string("lost ffmpeg: ") + std::strerror(errno));
        checkInterrupt();
    }
    gPending.ffmpeg = -1;
    checkInterrupt();
    if (trouble.empty() && WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
    std::string reason = describeStatus(status);
    if (!trouble.empty()) reason = trouble + ", " + reason;
    const std::string line = lastLine(log_);
    if (!line.empty()) reason += ": " + line;
    fail("ffmpeg failed (" + reason + ")");
}
