#include "runtime/platform.h"

#include <termios.h>
#include <unistd.h>

#include <climits>

#include "runtime/startup.h"

const char kPathSeparator = '/';

std::string defaultDataDir() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (length <= 0) return "data";
    const std::string exe(buffer, static_cast<size_t>(length));
    const size_t cut = exe.find_last_of('/');
    if (cut == std::string::npos) return "data";
    return dataPath(exe.substr(0, cut), "data");
}

void waitForKeyWhenInteractive() {
    if (!isatty(STDIN_FILENO)) return;
    termios saved;
    if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
    termios raw = saved;
    raw.c_lflag &= ~tcflag_t(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) {
        char key;
        [[maybe_unused]] ssize_t got = read(STDIN_FILENO, &key, 1);
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    }
}
