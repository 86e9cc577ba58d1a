// Drives the running demo from outside, as a user would, for scripts/windows-test.sh:
//   demo_driver wait <seconds>   waits until the demo's window is visible, prints its size
//                                and style; exit 1 if it did not appear in time
//   demo_driver key <code>       posts a key press and release (virtual-key code) to it
//   demo_driver gone <seconds>   waits until the window has gone; exit 1 if it stays
//   demo_driver escape <seconds> presses Escape, again every second while the window stays
//                                (a press that comes before the demo reads its keys is not
//                                lost to the test); exit 1 if it is still there at the end
// The window is found by its class, which is the demo's title.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr wchar_t kDemoTitle[] = L"Fullscreen Example";

HWND demoWindow() {
    HWND window = FindWindowW(kDemoTitle, nullptr);
    return window != nullptr && IsWindowVisible(window) ? window : nullptr;
}

bool waitFor(bool present, double seconds) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000.0);
    while (GetTickCount64() < end) {
        if ((demoWindow() != nullptr) == present) return true;
        Sleep(100);
    }
    return (demoWindow() != nullptr) == present;
}

void pressKey(HWND window, WPARAM key) {
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, 1 | (1u << 30) | (1u << 31));
}

int usage() {
    std::fprintf(stderr,
                 "usage: demo_driver wait|gone|escape <seconds> | key <virtual-key code>\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return usage();
    const char* command = argv[1];
    if (std::strcmp(command, "wait") == 0) {
        if (!waitFor(true, std::atof(argv[2]))) {
            std::printf("demo window did not appear\n");
            return 1;
        }
        HWND window = demoWindow();
        RECT client;
        GetClientRect(window, &client);
        const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
        std::printf("demo window: client %ldx%ld, %s\n", client.right - client.left,
                    client.bottom - client.top, (style & WS_POPUP) ? "full screen" : "windowed");
        return 0;
    }
    if (std::strcmp(command, "gone") == 0) {
        if (waitFor(false, std::atof(argv[2]))) return 0;
        std::printf("demo window is still there\n");
        return 1;
    }
    if (std::strcmp(command, "key") == 0) {
        HWND window = demoWindow();
        if (window == nullptr) {
            std::printf("no demo window to send a key to\n");
            return 1;
        }
        pressKey(window, static_cast<WPARAM>(std::atoi(argv[2])));
        return 0;
    }
    if (std::strcmp(command, "escape") == 0) {
        const ULONGLONG end =
            GetTickCount64() + static_cast<ULONGLONG>(std::atof(argv[2]) * 1000.0);
        int presses = 0;
        for (HWND window = demoWindow(); window != nullptr; window = demoWindow()) {
            if (presses > 0 && GetTickCount64() >= end) {
                std::printf("demo window is still there after %d Escape presses\n", presses);
                return 1;
            }
            pressKey(window, VK_ESCAPE);
            ++presses;
            waitFor(false, 1.0);
        }
        std::printf("demo window gone after %d Escape press%s\n", presses,
                    presses == 1 ? "" : "es");
        return 0;
    }
    return usage();
}
