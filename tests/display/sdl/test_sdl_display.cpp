// Window tests of the SDL display: real windows on the X server (Xvfb in the test script), with
// input injected into SDL's event queue. Every test skips itself where SDL has no video.
#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "display/sdl/sdl_display.h"
#include "x11_capture.h"

namespace PixelDisplay {
namespace {

struct Call {
    std::string kind;
    int value;  // key code, or the activate flag
    MouseState mouse;
    DisplayInterface* target;
};

class RecordingListener : public Listener {
public:
    bool escapeCloses = true;
    bool allowClose = true;
    std::vector<Call> calls;

    bool closeOnEscape() override { return escapeCloses; }
    void keyDown(DisplayInterface& d, KeyCode k) override { add("keyDown", k, d); }
    void keyStroke(DisplayInterface& d, KeyCode k) override { add("keyStroke", k, d); }
    void keyUp(DisplayInterface& d, KeyCode k) override { add("keyUp", k, d); }
    void mouseDown(DisplayInterface& d, MouseState m) override { add("mouseDown", 0, d, m); }
    void mouseUp(DisplayInterface& d, MouseState m) override { add("mouseUp", 0, d, m); }
    void mouseMove(DisplayInterface& d, MouseState m) override { add("mouseMove", 0, d, m); }
    void activate(DisplayInterface& d, bool active) override { add("activate", active, d); }
    void opened(DisplayInterface& d) override { add("opened", 0, d); }
    bool closeRequested(DisplayInterface& d) override {
        add("closeRequested", 0, d);
        return allowClose;
    }

    // The key callbacks as "keyDown 65" lines, in order.
    std::vector<std::string> keys() const {
        std::vector<std::string> lines;
        for (const Call& c : calls) {
            if (c.kind.rfind("key", 0) == 0)
                lines.push_back(c.kind + " " + std::to_string(c.value));
        }
        return lines;
    }
    std::vector<Call> of(const std::string& kind) const {
        std::vector<Call> found;
        for (const Call& c : calls) {
            if (c.kind == kind) found.push_back(c);
        }
        return found;
    }

private:
    void add(const char* kind, int value, DisplayInterface& d, MouseState m = {}) {
        calls.push_back({kind, value, m, &d});
    }
};

using Lines = std::vector<std::string>;

class SdlDisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform_ = new SdlDisplay(PresentSync::Immediate);
        facade_ = std::make_unique<Display>(platform_);
        if (!platform_->videoAvailable()) GTEST_SKIP() << "SDL has no video here (no X server)";
        facade_->setListener(&listener_);
        // Keep the real pointer off the windows so that it sends no motion of its own.
        SDL_WarpMouseGlobal(0, 0);
    }

    bool open(int width, int height, DisplayOutput output = Windowed) {
        frame_.assign(size_t(width) * size_t(height), 0);
        return facade_->open("sdl test", width, height, output, FloatPixels);
    }

    // Lets the window system's answers to what the test did (mapping, configuration, focus,
    // exposure) arrive and drains them. A round trip to the X server, not a pause: once it
    // returns, every event the requests so far caused is queued for the update to read.
    void settle() {
        for (int i = 0; i < 2; ++i) {
            syncWindowSystem(platform_->window());
            facade_->update(frame_.data(), nullptr);
        }
        listener_.calls.clear();
    }

    bool update() { return facade_->update(frame_.data(), nullptr); }

    uint32_t windowId() const { return SDL_GetWindowID(platform_->window()); }

    void pushKey(Uint32 type, SDL_Keycode symbol, Uint16 mod = KMOD_NONE, bool repeat = false) {
        SDL_Event e{};
        e.type = type;
        e.key.windowID = windowId();
        e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        e.key.repeat = repeat ? 1 : 0;
        e.key.keysym.sym = symbol;
        e.key.keysym.scancode = SDL_GetScancodeFromKey(symbol);
        e.key.keysym.mod = mod;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    void pushMotion(int x, int y) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = windowId();
        e.motion.x = x;
        e.motion.y = y;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    void pushButton(Uint32 type, Uint8 button, int x, int y) {
        SDL_Event e{};
        e.type = type;
        e.button.windowID = windowId();
        e.button.button = button;
        e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
        e.button.clicks = 1;
        e.button.x = x;
        e.button.y = y;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    void pushWindowEvent(Uint8 event) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = windowId();
        e.window.event = event;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    void pushQuit() {
        SDL_Event e{};
        e.type = SDL_QUIT;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }

    // Every callback so far went to the facade, never to the platform display.
    void expectFacadeTargets() const {
        for (const Call& c : listener_.calls) EXPECT_EQ(c.target, facade_.get()) << c.kind;
    }

    // What the X server shows in the window, read once the window can be read (mapped): a
    // slow server gets up to a minute.
    bool capture(std::vector<uint32_t>* pixels, int* width, int* height) {
        for (int attempt = 0; attempt < 6000; ++attempt) {
            if (captureWindow(platform_->window(), pixels, width, height)) return true;
            SDL_Delay(10);
            SDL_PumpEvents();
        }
        return false;
    }

    RecordingListener listener_;
    SdlDisplay* platform_ = nullptr;
    std::unique_ptr<Display> facade_;
    std::vector<PackedPixel> frame_;
};

constexpr Uint16 kAlt = KMOD_LALT;

TEST_F(SdlDisplayTest, OpenShowsAWindowOfTheDisplaySizeAndTitle) {
    ASSERT_TRUE(open(640, 480));
    EXPECT_TRUE(facade_->isOpen());
    SDL_Window* window = platform_->window();
    ASSERT_NE(window, nullptr);
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    EXPECT_TRUE(SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN);
    EXPECT_STREQ(SDL_GetWindowTitle(window), "sdl test");
    EXPECT_EQ(facade_->outputKind(), Windowed);
    // `opened` once, inside `open`, with the facade.
    ASSERT_EQ(listener_.of("opened").size(), 1u);
    expectFacadeTargets();

    facade_->setTitle("renamed");
    EXPECT_STREQ(SDL_GetWindowTitle(window), "renamed");
    const std::string longTitle(300, 't');
    facade_->setTitle(longTitle.c_str());
    EXPECT_EQ(std::string(SDL_GetWindowTitle(window)), std::string(255, 't'));

    // Reopening replaces the window; Unspecified opens a window.
    ASSERT_TRUE(facade_->open("again", 320, 240, Unspecified, IntegerPixels));
    EXPECT_EQ(facade_->outputKind(), Windowed);
    EXPECT_EQ(facade_->pixelMode(), IntegerPixels);
    SDL_GetWindowSize(platform_->window(), &w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    EXPECT_EQ(listener_.of("opened").size(), 2u);

    facade_->close();
    EXPECT_FALSE(facade_->isOpen());
    EXPECT_EQ(platform_->window(), nullptr);
    EXPECT_EQ(facade_->pixelMode(), FloatPixels);
    EXPECT_EQ(facade_->outputKind(), Unspecified);
    EXPECT_EQ(facade_->listener(), &listener_);
    // A closed display shows nothing and says so with true; null pixels are refused.
    EXPECT_TRUE(update());
    EXPECT_FALSE(facade_->update(static_cast<const FloatPixel*>(nullptr), nullptr));
    EXPECT_FALSE(facade_->update(static_cast<const PackedPixel*>(nullptr), nullptr));
}

TEST_F(SdlDisplayTest, OpenFailsCleanlyWhenNoWindowCanBeMade) {
    for (auto [w, h] : {std::pair{0, 480}, std::pair{640, 0}, std::pair{-640, 480}}) {
        EXPECT_FALSE(facade_->open("bad", w, h, Windowed, FloatPixels)) << w << "x" << h;
        EXPECT_FALSE(facade_->isOpen());
        EXPECT_EQ(platform_->window(), nullptr);
    }
    EXPECT_TRUE(listener_.of("opened").empty());
    // The display can still be opened afterwards.
    EXPECT_TRUE(open(64, 48));
}

// r = x/256, g = y/256, b = (x+y)/256 of the low bytes: exact in 8 bits (k/256 -> k).
std::vector<FloatPixel> patternFrame(int width, int height) {
    std::vector<FloatPixel> frame(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            frame[size_t(y) * width + x] = {float(x & 255) / 256.0f, float(y & 255) / 256.0f,
                                            float((x + y) & 255) / 256.0f, -1.0f};
        }
    }
    return frame;
}
uint32_t patternPixel(int x, int y) {
    return uint32_t(x & 255) << 16 | uint32_t(y & 255) << 8 | uint32_t((x + y) & 255);
}

TEST_F(SdlDisplayTest, AFrameReachesTheWindowPixelForPixel) {
    ASSERT_TRUE(open(640, 480));
    const std::vector<FloatPixel> frame = patternFrame(640, 480);
    ASSERT_TRUE(facade_->update(frame.data(), nullptr));
    std::vector<uint32_t> shown;
    int w = 0, h = 0;
    ASSERT_TRUE(capture(&shown, &w, &h));
    ASSERT_EQ(w, 640);
    ASSERT_EQ(h, 480);
    int wrong = 0;
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            if (shown[size_t(y) * 640 + x] != patternPixel(x, y) && ++wrong <= 5) {
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex
                              << shown[size_t(y) * 640 + x] << ", expected " << patternPixel(x, y);
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

// A side panel (the track editor's) widens the window by its width at the picture's scale and
// shows beside the picture, which stays pixel for pixel; taken away, the window is as before.
TEST_F(SdlDisplayTest, ASidePanelWidensTheWindowBesideThePicture) {
    ASSERT_TRUE(open(640, 480));
    const std::vector<uint32_t> panel(size_t(100) * 480, 0xFF3366CCu);
    platform_->setSidePanel(panel.data(), 100, 480);
    settle();
    int w = 0, h = 0;
    SDL_GetWindowSize(platform_->window(), &w, &h);
    EXPECT_EQ(w, 740);
    EXPECT_EQ(h, 480);
    const std::vector<FloatPixel> frame = patternFrame(640, 480);
    ASSERT_TRUE(facade_->update(frame.data(), nullptr));
    std::vector<uint32_t> shown;
    ASSERT_TRUE(capture(&shown, &w, &h));
    ASSERT_EQ(w, 740);
    ASSERT_EQ(h, 480);
    int wrong = 0;
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 740; ++x) {
            const uint32_t expected = x < 640 ? patternPixel(x, y) : 0x3366CCu;
            if (shown[size_t(y) * 740 + x] != expected && ++wrong <= 5) {
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex
                              << shown[size_t(y) * 740 + x] << ", expected " << expected;
            }
        }
    }
    EXPECT_EQ(wrong, 0);
    // The mouse still counts in the picture's pixels.
    pushMotion(639, 479);
    ASSERT_TRUE(update());
    const std::vector<Call> moves = listener_.of("mouseMove");
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves.back().mouse.x, 639.0f);

    platform_->setSidePanel(nullptr, 0, 0);
    settle();
    SDL_GetWindowSize(platform_->window(), &w, &h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
}

TEST_F(SdlDisplayTest, OnlyTheDirtyBoxIsUploaded) {
    constexpr int W = 64, H = 48;
    ASSERT_TRUE(open(W, H));
    std::vector<uint32_t> shown;
    int w = 0, h = 0;
    auto at = [&](int x, int y) { return shown[size_t(y) * W + x]; };

    // The first frame fills the new texture whatever its box says.
    std::vector<PackedPixel> grey(W * H, 0x00404040);
    const DirtyBox corner = {0, 1, 0, 1};
    ASSERT_TRUE(facade_->update(grey.data(), &corner));
    ASSERT_TRUE(capture(&shown, &w, &h));
    ASSERT_EQ(w, W);
    EXPECT_EQ(at(W - 1, H - 1), 0x404040u);

    // Columns 10..19 of rows 30..39 change, nothing else. The top byte of the words is ignored.
    std::vector<PackedPixel> white(W * H, 0xAAFFFFFF);
    const DirtyBox box = {10, 20, 30, 40};
    ASSERT_TRUE(facade_->update(white.data(), &box));
    ASSERT_TRUE(capture(&shown, &w, &h));
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const bool inside = x >= 10 && x < 20 && y >= 30 && y < 40;
            ASSERT_EQ(at(x, y), inside ? 0xFFFFFFu : 0x404040u) << x << ", " << y;
        }
    }

    // A box reaching outside the display is clamped to it: here, the whole display.
    std::vector<PackedPixel> blue(W * H, 0x000000FF);
    const DirtyBox over = {-10, 700, -5, 500};
    ASSERT_TRUE(facade_->update(blue.data(), &over));
    ASSERT_TRUE(capture(&shown, &w, &h));
    EXPECT_EQ(at(0, 0), 0xFFu);
    EXPECT_EQ(at(W - 1, H - 1), 0xFFu);

    // Inverted and empty boxes change nothing, and the frame is still presented.
    const DirtyBox inverted = {50, 40, 30, 20};
    const DirtyBox empty = {5, 5, 0, H};
    ASSERT_TRUE(facade_->update(white.data(), &inverted));
    ASSERT_TRUE(facade_->update(white.data(), &empty));
    ASSERT_TRUE(capture(&shown, &w, &h));
    EXPECT_EQ(at(45, 25), 0xFFu);
    EXPECT_EQ(at(5, 10), 0xFFu);
}

TEST_F(SdlDisplayTest, FullScreenKeepsTheAspectWithBlackBorders) {
    constexpr int W = 64, H = 48;
    ASSERT_TRUE(open(W, H, Fullscreen));
    EXPECT_EQ(facade_->outputKind(), Fullscreen);
    EXPECT_TRUE(SDL_GetWindowFlags(platform_->window()) & SDL_WINDOW_FULLSCREEN_DESKTOP);
    // Four solid quadrants: their middles keep their colour under any filtering.
    std::vector<PackedPixel> quadrants(W * H);
    const PackedPixel colours[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) quadrants[y * W + x] = colours[(y >= H / 2) * 2 + (x >= W / 2)];
    }
    settle();
    ASSERT_TRUE(facade_->update(quadrants.data(), nullptr));
    std::vector<uint32_t> shown;
    int w = 0, h = 0;
    ASSERT_TRUE(capture(&shown, &w, &h));
    int screenW = 0, screenH = 0;
    SDL_DisplayMode mode;
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &mode), 0);
    screenW = mode.w;
    screenH = mode.h;
    EXPECT_EQ(w, screenW);
    EXPECT_EQ(h, screenH);
    auto at = [&](int x, int y) { return shown[size_t(y) * w + x]; };
    // The picture: the largest 4:3 rectangle, centred.
    const bool pillar = int64_t{w} * 3 > int64_t{h} * 4;
    const int pw = pillar ? h * 4 / 3 : w, ph = pillar ? h : w * 3 / 4;
    const int px = (w - pw) / 2, py = (h - ph) / 2;
    EXPECT_EQ(at(px + pw / 4, py + ph / 4), 0xFF0000u);
    EXPECT_EQ(at(px + pw * 3 / 4, py + ph / 4), 0x00FF00u);
    EXPECT_EQ(at(px + pw / 4, py + ph * 3 / 4), 0x0000FFu);
    EXPECT_EQ(at(px + pw * 3 / 4, py + ph * 3 / 4), 0xFFFFFFu);
    // Just inside the picture's edges it is the picture; the borders are black.
    EXPECT_EQ(at(px + 2, py + 2), 0xFF0000u);
    EXPECT_EQ(at(px + pw - 3, py + ph - 3), 0xFFFFFFu);
    if (px >= 2) {
        EXPECT_EQ(at(px - 2, h / 2), 0u);
        EXPECT_EQ(at(px + pw + 1, h / 2), 0u);
    }
    if (py >= 2) {
        EXPECT_EQ(at(w / 2, py - 2), 0u);
        EXPECT_EQ(at(w / 2, py + ph + 1), 0u);
    }
}

TEST_F(SdlDisplayTest, KeyDownOncePerPressKeyStrokeForEveryRepeatKeyUpOnRelease) {
    ASSERT_TRUE(open(64, 48));
    settle();
    pushKey(SDL_KEYDOWN, SDLK_a);
    pushKey(SDL_KEYDOWN, SDLK_a, KMOD_NONE, true);
    pushKey(SDL_KEYDOWN, SDLK_a, KMOD_NONE, true);
    // A second press without a release in between (lost release) is still a repeat.
    pushKey(SDL_KEYDOWN, SDLK_a);
    pushKey(SDL_KEYUP, SDLK_a);
    // Shift does not change the letter; the next press is a first press again.
    pushKey(SDL_KEYDOWN, SDLK_LSHIFT, KMOD_LSHIFT);
    pushKey(SDL_KEYDOWN, SDLK_a, KMOD_LSHIFT);
    pushKey(SDL_KEYUP, SDLK_a, KMOD_LSHIFT);
    pushKey(SDL_KEYUP, SDLK_LSHIFT);
    // Keys of another window are not this display's.
    SDL_Event other{};
    other.type = SDL_KEYDOWN;
    other.key.windowID = windowId() + 1000;
    other.key.keysym.sym = SDLK_b;
    ASSERT_EQ(SDL_PushEvent(&other), 1);
    // Nothing is delivered outside `update`.
    EXPECT_TRUE(listener_.calls.empty());
    ASSERT_TRUE(update());
    EXPECT_EQ(listener_.keys(), (Lines{"keyDown 65", "keyStroke 65", "keyStroke 65", "keyStroke 65",
                                       "keyStroke 65", "keyUp 65", "keyDown 16", "keyStroke 16",
                                       "keyDown 65", "keyStroke 65", "keyUp 65", "keyUp 16"}));
    expectFacadeTargets();
}

TEST_F(SdlDisplayTest, AltEnterSwitchesModesAtTheNextUpdateUnseenByTheListener) {
    ASSERT_TRUE(open(64, 48));
    settle();
    pushKey(SDL_KEYDOWN, SDLK_LALT, kAlt);
    pushKey(SDL_KEYDOWN, SDLK_RETURN, kAlt);
    pushKey(SDL_KEYDOWN, SDLK_RETURN, kAlt, true);  // held: still one switch
    ASSERT_TRUE(update());
    // Read in this update; carried out at the start of the next one.
    EXPECT_EQ(facade_->outputKind(), Windowed);
    EXPECT_FALSE(SDL_GetWindowFlags(platform_->window()) & SDL_WINDOW_FULLSCREEN);
    ASSERT_TRUE(update());
    EXPECT_EQ(facade_->outputKind(), Fullscreen);
    EXPECT_TRUE(SDL_GetWindowFlags(platform_->window()) & SDL_WINDOW_FULLSCREEN_DESKTOP);
    ASSERT_TRUE(update());
    EXPECT_EQ(facade_->outputKind(), Fullscreen);  // the repeat did not switch back
    pushKey(SDL_KEYUP, SDLK_RETURN, kAlt);
    pushKey(SDL_KEYDOWN, SDLK_RETURN, kAlt);
    pushKey(SDL_KEYUP, SDLK_RETURN, kAlt);
    pushKey(SDL_KEYUP, SDLK_LALT);
    ASSERT_TRUE(update());
    ASSERT_TRUE(update());
    EXPECT_EQ(facade_->outputKind(), Windowed);
    EXPECT_FALSE(SDL_GetWindowFlags(platform_->window()) & SDL_WINDOW_FULLSCREEN);
    // Back to a window of the display's own size.
    int w = 0, h = 0;
    SDL_GetWindowSize(platform_->window(), &w, &h);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 48);
    // Alt itself is a key like any other; Enter under Alt only shows its release.
    EXPECT_EQ(listener_.keys(),
              (Lines{"keyDown 18", "keyStroke 18", "keyUp 10", "keyUp 10", "keyUp 18"}));
    // Enter without Alt is an ordinary key.
    listener_.calls.clear();
    pushKey(SDL_KEYDOWN, SDLK_RETURN);
    pushKey(SDL_KEYUP, SDLK_RETURN);
    ASSERT_TRUE(update());
    ASSERT_TRUE(update());
    EXPECT_EQ(facade_->outputKind(), Windowed);
    EXPECT_EQ(listener_.keys(), (Lines{"keyDown 10", "keyStroke 10", "keyUp 10"}));
}

TEST_F(SdlDisplayTest, EscapeClosesAtTheNextUpdateUnlessTheListenerKeepsIt) {
    // The base rule: Escape closes; this update still returns true, the next one false.
    ASSERT_TRUE(open(64, 48));
    settle();
    pushKey(SDL_KEYDOWN, SDLK_ESCAPE);
    EXPECT_TRUE(update());
    EXPECT_TRUE(facade_->isOpen());
    EXPECT_FALSE(update());
    EXPECT_FALSE(facade_->isOpen());
    EXPECT_EQ(platform_->window(), nullptr);
    EXPECT_EQ(listener_.keys(), (Lines{"keyDown 27", "keyStroke 27"}));

    // closeOnEscape false: held Escape is an ordinary key and never closes.
    listener_.escapeCloses = false;
    ASSERT_TRUE(open(64, 48));
    settle();
    pushKey(SDL_KEYDOWN, SDLK_ESCAPE);
    pushKey(SDL_KEYDOWN, SDLK_ESCAPE, KMOD_NONE, true);
    pushKey(SDL_KEYDOWN, SDLK_ESCAPE, KMOD_NONE, true);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(update());
    EXPECT_TRUE(facade_->isOpen());
    EXPECT_EQ(listener_.keys(),
              (Lines{"keyDown 27", "keyStroke 27", "keyStroke 27", "keyStroke 27"}));

    // Without a listener Escape closes.
    facade_->setListener(nullptr);
    // Escape is still held from above: another down is a repeat, which closes nothing.
    pushKey(SDL_KEYDOWN, SDLK_ESCAPE);
    EXPECT_TRUE(update());
    EXPECT_TRUE(update());
    EXPECT_TRUE(facade_->isOpen());
    pushKey(SDL_KEYUP, SDLK_ESCAPE);
    pushKey(SDL_KEYDOWN, SDLK_ESCAPE);
    EXPECT_TRUE(update());
    EXPECT_FALSE(update());
    EXPECT_FALSE(facade_->isOpen());
}

TEST_F(SdlDisplayTest, CloseButtonAsksTheListener) {
    for (Uint8 request : {Uint8{SDL_WINDOWEVENT_CLOSE}, Uint8{0}}) {
        const char* name = request ? "window close" : "quit";
        // Refused: the window stays, however often the display is updated.
        listener_.allowClose = false;
        listener_.calls.clear();
        ASSERT_TRUE(open(64, 48));
        settle();
        request ? pushWindowEvent(request) : pushQuit();
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(update()) << name;
        EXPECT_TRUE(facade_->isOpen()) << name;
        EXPECT_EQ(listener_.of("closeRequested").size(), 1u) << name;
        expectFacadeTargets();

        // Allowed: closed at the start of the next update, which returns false.
        listener_.allowClose = true;
        request ? pushWindowEvent(request) : pushQuit();
        EXPECT_TRUE(update()) << name;
        EXPECT_TRUE(facade_->isOpen()) << name;
        EXPECT_FALSE(update()) << name;
        EXPECT_FALSE(facade_->isOpen()) << name;
        EXPECT_EQ(listener_.of("closeRequested").size(), 2u) << name;
    }
}

TEST_F(SdlDisplayTest, FocusChangesActivate) {
    ASSERT_TRUE(open(64, 48));
    settle();
    pushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    pushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    ASSERT_TRUE(update());
    const std::vector<Call> activations = listener_.of("activate");
    ASSERT_EQ(activations.size(), 2u);
    EXPECT_EQ(activations[0].value, 1);
    EXPECT_EQ(activations[1].value, 0);
    expectFacadeTargets();
}

TEST_F(SdlDisplayTest, MouseInDisplayPixelsWhateverTheWindowSize) {
    ASSERT_TRUE(open(640, 480));
    // The window made twice the display's size: client (640, 480) is display (320, 240).
    SDL_SetWindowSize(platform_->window(), 1280, 960);
    settle();
    int w = 0, h = 0;
    SDL_GetWindowSize(platform_->window(), &w, &h);
    ASSERT_EQ(w, 1280);
    ASSERT_EQ(h, 960);
    pushMotion(1, 3);
    pushButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 640, 480);
    pushButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 100, 50);
    pushButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_X1, 10, 10);  // not one of the three
    pushButton(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 1279, 959);
    pushButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE, 2, 2);
    ASSERT_TRUE(update());
    const std::vector<Call> moves = listener_.of("mouseMove");
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].mouse.x, 0.5f);
    EXPECT_EQ(moves[0].mouse.y, 1.5f);
    const std::vector<Call> downs = listener_.of("mouseDown");
    ASSERT_EQ(downs.size(), 3u);
    EXPECT_EQ(downs[0].mouse.x, 320.0f);
    EXPECT_EQ(downs[0].mouse.y, 240.0f);
    EXPECT_TRUE(downs[0].mouse.left);
    EXPECT_FALSE(downs[0].mouse.right);
    // The state after the change, all three buttons in it.
    EXPECT_TRUE(downs[1].mouse.left && downs[1].mouse.right && !downs[1].mouse.middle);
    EXPECT_EQ(downs[1].mouse.x, 50.0f);
    EXPECT_EQ(downs[1].mouse.y, 25.0f);
    EXPECT_TRUE(!downs[2].mouse.left && downs[2].mouse.right && downs[2].mouse.middle);
    const std::vector<Call> ups = listener_.of("mouseUp");
    ASSERT_EQ(ups.size(), 1u);
    EXPECT_FALSE(ups[0].mouse.left);
    EXPECT_TRUE(ups[0].mouse.right);
    EXPECT_EQ(ups[0].mouse.x, 639.5f);
    EXPECT_EQ(ups[0].mouse.y, 479.5f);
    expectFacadeTargets();

    // Full screen: the letterboxed picture's top-left is display (0, 0), the border clamps.
    ASSERT_TRUE(open(640, 480, Fullscreen));
    settle();
    SDL_GetWindowSize(platform_->window(), &w, &h);
    const bool pillar = int64_t{w} * 3 > int64_t{h} * 4;
    const int pw = pillar ? h * 4 / 3 : w, ph = pillar ? h : w * 3 / 4;
    const int px = (w - pw) / 2, py = (h - ph) / 2;
    pushMotion(px + pw / 2, py + ph / 2);
    pushMotion(0, 0);
    ASSERT_TRUE(update());
    // The pointer of the X server may add motion of its own: look for the two pushed ones.
    const std::vector<Call> full = listener_.of("mouseMove");
    bool found = false;
    for (size_t i = 0; i + 1 < full.size() && !found; ++i) {
        found = full[i].mouse.x == 320.0f && full[i].mouse.y == 240.0f &&
                full[i + 1].mouse.x == 0.0f && full[i + 1].mouse.y == 0.0f;
    }
    EXPECT_TRUE(found);
}

TEST_F(SdlDisplayTest, AltKeysZoomAndCentreTheWindow) {
    SDL_Rect screen;
    ASSERT_EQ(SDL_GetDisplayBounds(0, &screen), 0);
    // A third of the screen: 2x fits, 4x does not (4/3 of the screen).
    const int W = screen.w / 3, H = screen.h / 3;
    ASSERT_TRUE(open(W, H));
    settle();
    SDL_Window* window = platform_->window();
    int x = 0, y = 0, w = 0, h = 0;
    SDL_GetWindowPosition(window, &x, &y);
    const int centreX = x + W / 2, centreY = y + H / 2;

    pushKey(SDL_KEYDOWN, SDLK_LALT, kAlt);
    pushKey(SDL_KEYDOWN, SDLK_2, kAlt);
    pushKey(SDL_KEYUP, SDLK_2, kAlt);
    ASSERT_TRUE(update());
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_EQ(w, 2 * W);
    EXPECT_EQ(h, 2 * H);
    // The listener sees Alt, and the digit's release only.
    EXPECT_EQ(listener_.keys(), (Lines{"keyDown 18", "keyStroke 18", "keyUp 50"}));
    SDL_GetWindowPosition(window, &x, &y);
    EXPECT_NEAR(x + w / 2, centreX, 1);
    EXPECT_NEAR(y + h / 2, centreY, 1);

    // 4x and 8x do not fit: nothing happens, and the digits still reach no listener.
    pushKey(SDL_KEYDOWN, SDLK_4, kAlt);
    pushKey(SDL_KEYDOWN, SDLK_8, kAlt);
    ASSERT_TRUE(update());
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_EQ(w, 2 * W);
    EXPECT_EQ(listener_.keys().size(), 3u);

    // Moved into a corner, original size keeps the window on the screen.
    SDL_SetWindowPosition(window, screen.x, screen.y);
    settle();
    pushKey(SDL_KEYDOWN, SDLK_1, kAlt);
    ASSERT_TRUE(update());
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_EQ(w, W);
    EXPECT_EQ(h, H);
    SDL_GetWindowPosition(window, &x, &y);
    EXPECT_GE(x, screen.x);
    EXPECT_GE(y, screen.y);

    // Centre: (screen - outer) / 2 on each axis.
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(window, &top, &left, &bottom, &right) != 0) {
        top = left = bottom = right = 0;
    }
    pushKey(SDL_KEYDOWN, SDLK_c, kAlt);
    ASSERT_TRUE(update());
    SDL_GetWindowPosition(window, &x, &y);
    EXPECT_EQ(x - left - screen.x, (screen.w - (W + left + right)) / 2);
    EXPECT_EQ(y - top - screen.y, (screen.h - (H + top + bottom)) / 2);

    EXPECT_TRUE(listener_.keys().empty());
    // Without Alt, the digits are keys of the listener.
    listener_.calls.clear();
    pushKey(SDL_KEYDOWN, SDLK_2);
    ASSERT_TRUE(update());
    EXPECT_EQ(listener_.keys(), (Lines{"keyDown 50", "keyStroke 50"}));

    // In full screen the zoom keys do nothing to the window.
    ASSERT_TRUE(open(W, H, Fullscreen));
    settle();
    EXPECT_FALSE(platform_->zoom(2));
    pushKey(SDL_KEYDOWN, SDLK_2, kAlt);
    ASSERT_TRUE(update());
    EXPECT_EQ(facade_->outputKind(), Fullscreen);
    EXPECT_TRUE(SDL_GetWindowFlags(platform_->window()) & SDL_WINDOW_FULLSCREEN_DESKTOP);
}

// Runs createSdlDisplayOrFallback in a child process without a window system, SDL_VIDEODRIVER
// set to `videoDriver` (or unset for null), and returns its exit status: bit 0 set when it
// made an SdlDisplay, bits 1 and 2 when `open` or `update` failed on it; 77 when the child could
// not start clean. What it printed on its standard output lands in `printed`.
int displayInChild(const char* videoDriver, std::string* printed) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return -1;
    fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        // A parent that still holds SDL's video would make the child's start look fine.
        if (SDL_WasInit(SDL_INIT_VIDEO)) _exit(77);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        if (videoDriver) {
            setenv("SDL_VIDEODRIVER", videoDriver, 1);
        } else {
            unsetenv("SDL_VIDEODRIVER");
        }
        DisplayInterface* display = createSdlDisplayOrFallback();
        fflush(stdout);
        int status = dynamic_cast<SdlDisplay*>(display) != nullptr ? 1 : 0;
        FloatPixel pixels[4] = {};
        if (!display->open("headless", 2, 2, Fullscreen, FloatPixels)) status |= 2;
        if (!display->update(pixels, nullptr)) status |= 4;
        delete display;
        _exit(status);
    }
    close(pipeEnds[1]);
    char buffer[512];
    ssize_t n;
    while ((n = read(pipeEnds[0], buffer, sizeof buffer)) > 0) printed->append(buffer, size_t(n));
    close(pipeEnds[0]);
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(SdlDisplayFallback, WithoutAWindowSystemADisplayWithoutOutputAfterOneLine) {
    // No X server for SDL's X11 driver, a driver that does not exist, and SDL left to choose
    // (it would pick its invisible offscreen driver; a console with DRM devices may really
    // show pictures, so that case only runs without them).
    const bool drm = access("/dev/dri", F_OK) == 0;
    for (const char* driver : {"x11", "no-such-driver", static_cast<const char*>(nullptr)}) {
        if (!driver && drm) continue;
        const char* name = driver ? driver : "(unset)";
        std::string printed;
        const int status = displayInChild(driver, &printed);
        if (status == 77) GTEST_SKIP() << "SDL video still running in this process";
        // A DisplayAdapter: not an SdlDisplay, and it opens and updates without output.
        EXPECT_EQ(status, 0) << name;
        // Exactly one line, which says there is no window.
        EXPECT_FALSE(printed.empty()) << name;
        EXPECT_EQ(printed.find('\n'), printed.size() - 1) << printed;
        EXPECT_NE(printed.find("without a window"), std::string::npos) << printed;
    }
    // Asked for by name, SDL's offscreen driver is a display like any other.
    std::string printed;
    const int status = displayInChild("offscreen", &printed);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(printed, "");
}

}  // namespace
}  // namespace PixelDisplay
