#include "display/web/web_display.h"

#include <cstring>

#include "display/converters.h"

// The JavaScript half (web_display.js).
extern "C" {
void webDisplayOpen(int width, int height, int fullscreen, int still);
void webDisplayClose();
void webDisplayPresent(const uint32_t* rgba, int width, int height);
int webDisplaySetFullscreen(int on);
int webDisplayIsFullscreen();
// Takes the oldest queued event into `event` (kind, key, alt, repeat, button; then x and y as
// floats in display pixels); returns its kind, 0 when the queue is empty.
int webDisplayNextEvent(int32_t* event);
}

namespace PixelDisplay {

namespace {

enum EventKind : int32_t {
    kNoEvent = 0,
    kKeyDown = 1,
    kKeyUp = 2,
    kMouseMove = 3,
    kMouseDown = 4,
    kMouseUp = 5,
    kFocus = 6,
    kBlur = 7,
};

}  // namespace

WebDisplay::WebDisplay(bool still) : still_(still) {}

WebDisplay::~WebDisplay() {
    if (isOpen()) webDisplayClose();
}

bool WebDisplay::open(const char* title, int width, int height, DisplayOutput output,
                      PixelMode mode) {
    DisplayAdapter::open(title, width, height, output, mode);
    picture_.assign(static_cast<size_t>(width) * height, 0xFF000000u);
    closeRequested_ = false;
    toggleRequested_ = false;
    for (bool& down : keyDown_) down = false;
    mouse_ = {};
    // The page decides whether the show starts full screen (browsers allow it only on a
    // click or key); the output kind reports what it got.
    webDisplayOpen(width, height, output == Fullscreen, still_);
    outputKind_ = webDisplayIsFullscreen() ? Fullscreen : Windowed;
    if (listener_) listener_->opened(callbackTarget());
    return true;
}

void WebDisplay::close() {
    if (isOpen()) webDisplayClose();
    DisplayAdapter::close();
}

bool WebDisplay::refresh(const PackedPixel* packed, const FloatPixel* floats, const DirtyBox*) {
    if (!isOpen()) return true;
    if (!still_) {
        outputKind_ = webDisplayIsFullscreen() ? Fullscreen : Windowed;
        pumpEvents();
    }
    if (closeRequested_) {
        close();
        return false;
    }
    if (toggleRequested_) {
        toggleRequested_ = false;
        if (outputKind_ == Fullscreen) {
            enterWindowed();
        } else {
            enterFullscreen();
        }
    }
    // The caller's buffer always holds the whole frame: the whole picture is converted.
    const PixelFormat source = floats ? XBGRFFFF : XRGB8888;
    Converter* converter = findConverter(source, XBGR8888);
    const uint32_t count = static_cast<uint32_t>(picture_.size());
    converter->prepare();
    if (floats) {
        converter->convert(floats, picture_.data(), count);
    } else {
        converter->convert(packed, picture_.data(), count);
    }
    converter->finish();
    // XBGR8888 words are the bytes R, G, B, X: the canvas reads X as alpha, which must be opaque.
    for (uint32_t& word : picture_) word |= 0xFF000000u;
    webDisplayPresent(picture_.data(), width_, height_);
    return true;
}

bool WebDisplay::enterWindowed() {
    webDisplaySetFullscreen(0);
    outputKind_ = Windowed;
    return true;
}

bool WebDisplay::enterFullscreen() {
    if (!webDisplaySetFullscreen(1)) return false;
    outputKind_ = Fullscreen;
    return true;
}

void WebDisplay::pumpEvents() {
    int32_t event[7];
    while (isOpen()) {
        const int kind = webDisplayNextEvent(event);
        if (kind == kNoEvent) break;
        const KeyCode key = event[1];
        float x, y;
        std::memcpy(&x, &event[5], sizeof x);
        std::memcpy(&y, &event[6], sizeof y);
        switch (kind) {
            case kKeyDown:
                keyPressed(key, event[2] != 0, event[3] != 0);
                break;
            case kKeyUp:
                keyReleased(key);
                break;
            case kMouseMove:
            case kMouseDown:
            case kMouseUp: {
                mouse_.x = x;
                mouse_.y = y;
                const bool down = kind == kMouseDown;
                if (kind != kMouseMove) {
                    switch (event[4]) {
                        case 0:
                            mouse_.left = down;
                            break;
                        case 1:
                            mouse_.middle = down;
                            break;
                        case 2:
                            mouse_.right = down;
                            break;
                        default:
                            continue;
                    }
                }
                if (!listener_) break;
                if (kind == kMouseMove) listener_->mouseMove(callbackTarget(), mouse_);
                if (kind == kMouseDown) listener_->mouseDown(callbackTarget(), mouse_);
                if (kind == kMouseUp) listener_->mouseUp(callbackTarget(), mouse_);
                break;
            }
            case kFocus:
            case kBlur:
                if (listener_) listener_->activate(callbackTarget(), kind == kFocus);
                break;
            default:
                break;
        }
    }
}

void WebDisplay::keyPressed(KeyCode key, bool alt, bool repeat) {
    if (key < 0 || key > 255) return;
    if (alt && key == kKeyEnter) {
        // A held Alt+Enter switches once, not on every auto-repeat.
        if (!repeat) toggleRequested_ = true;
        return;
    }
    if (!keyDown_[key]) {
        if (listener_) listener_->keyDown(callbackTarget(), key);
        if (key == kKeyEscape && (!listener_ || listener_->closeOnEscape())) {
            closeRequested_ = true;
        }
        keyDown_[key] = true;
    }
    if (listener_) listener_->keyStroke(callbackTarget(), key);
}

void WebDisplay::keyReleased(KeyCode key) {
    if (key < 0 || key > 255) return;
    if (listener_) listener_->keyUp(callbackTarget(), key);
    keyDown_[key] = false;
}

}  // namespace PixelDisplay
