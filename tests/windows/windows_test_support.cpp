#include "windows_test_support.h"

namespace windows_test {

std::vector<std::pair<Call, KeyCode>> RecordingListener::keys() const {
    std::vector<std::pair<Call, KeyCode>> result;
    for (const Event& event : events)
        if (event.call == Call::KeyDown || event.call == Call::KeyStroke ||
            event.call == Call::KeyUp)
            result.emplace_back(event.call, event.key);
    return result;
}

int RecordingListener::count(Call call) const {
    int n = 0;
    for (const Event& event : events) n += event.call == call;
    return n;
}

bool expectedScreen() {
    return GetSystemMetrics(SM_CXSCREEN) == kScreenWidth &&
           GetSystemMetrics(SM_CYSCREEN) == kScreenHeight;
}

std::vector<PackedPixel> solidFrame(PackedPixel colour, int width, int height) {
    return std::vector<PackedPixel>(static_cast<size_t>(width) * height, colour);
}

}  // namespace windows_test
