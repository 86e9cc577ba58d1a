#include "failure.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "frame_farm.h"
#include "progress.h"

namespace fs = std::filesystem;

Pending gPending;

namespace {

volatile std::sig_atomic_t gSignal = 0;

void onSignal(int signal) {
    gSignal = signal;
}

void cleanUp() {
    if (gPending.farm != nullptr) gPending.farm->abandon();
    if (gPending.pipe >= 0) close(gPending.pipe);
    gPending.pipe = -1;
    if (gPending.ffmpeg > 0) {
        kill(gPending.ffmpeg, SIGKILL);
        while (waitpid(gPending.ffmpeg, nullptr, 0) < 0 && errno == EINTR) {
        }
        gPending.ffmpeg = -1;
    }
    if (!gPending.temp.empty()) std::remove(gPending.temp.c_str());
    gPending.temp.clear();
}

}  // namespace

void installSignals() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a write blocked on ffmpeg returns at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A dead ffmpeg shows as EPIPE on the write, reported with its exit status.
    std::signal(SIGPIPE, SIG_IGN);
}

[[noreturn]] void fail(const std::string& message) {
    cleanUp();
    endProgressLine();
    std::fprintf(stderr, "capture: %s\n", message.c_str());
    std::exit(2);
}

void checkInterrupt() {
    if (!gSignal) return;
    const int signal = gSignal;
    cleanUp();
    endProgressLine();
    std::fprintf(stderr, "capture: stopped by %s\n", signal == SIGINT ? "SIGINT" : "SIGTERM");
    std::exit(128 + signal);
}

std::string tempBeside(const std::string& path) {
    const fs::path target(path);
    const std::string name = "." + target.stem().string() + ".part-" + std::to_string(getpid()) +
                             target.extension().string();
    return (target.parent_path() / name).string();
}

void beginFile(const std::string& path) {
    gPending.temp = tempBeside(path);
}

void commitFile(const std::string& path) {
    if (std::rename(gPending.temp.c_str(), path.c_str()) != 0) {
        fail("cannot rename " + gPending.temp + " to " + path + ": " + std::strerror(errno));
    }
    gPending.temp.clear();
}
