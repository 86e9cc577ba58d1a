#include "display/display.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace PixelDisplay;

// A display without output that records what reaches its virtual slots and, like a platform
// display draining its event queue inside `update`, delivers queued keys to its listener.
class RecordingDisplay : public DisplayAdapter {
public:
    explicit RecordingDisplay(bool* destroyed = nullptr) : destroyed_(destroyed) {}
    ~RecordingDisplay() override {
        if (destroyed_ != nullptr) *destroyed_ = true;
    }

    bool open(const char* title, int width, int height, DisplayOutput output,
              PixelMode mode) override {
        const bool result = DisplayAdapter::open(title, width, height, output, mode);
        if (listener_ != nullptr) listener_->opened(callbackTarget());
        return result;
    }
    void close() override {
        ++closes;
        DisplayAdapter::close();
    }
    void clearState() override {
        ++clears;
        DisplayAdapter::clearState();
    }
    bool refresh(const PackedPixel* packed, const FloatPixel* floats,
                 const DirtyBox* box) override {
        lastPacked = packed;
        lastFloats = floats;
        lastBox = box;
        if (listener_ != nullptr) {
            for (KeyCode key : pendingKeys) listener_->keyDown(callbackTarget(), key);
        }
        pendingKeys.clear();
        return true;
    }

    int closes = 0;
    int clears = 0;
    const PackedPixel* lastPacked = nullptr;
    const FloatPixel* lastFloats = nullptr;
    const DirtyBox* lastBox = nullptr;
    std::vector<KeyCode> pendingKeys;

private:
    bool* destroyed_;
};

class RecordingListener : public Listener {
public:
    void keyDown(DisplayInterface& display, KeyCode key) override {
        targets.push_back(&display);
        keys.push_back(key);
    }
    void opened(DisplayInterface& display) override { targets.push_back(&display); }

    std::vector<DisplayInterface*> targets;
    std::vector<KeyCode> keys;
};

TEST(DisplayAdapter, TitleHoldsAtMost255Characters) {
    DisplayAdapter display;
    const std::string longTitle(300, 'x');
    display.setTitle(longTitle.c_str());
    EXPECT_EQ(std::string(display.title()), std::string(255, 'x'));

    ASSERT_TRUE(display.open(longTitle.c_str(), 640, 480, Windowed, FloatPixels));
    EXPECT_EQ(std::string(display.title()), std::string(255, 'x'));

    display.setTitle("demo");
    EXPECT_STREQ(display.title(), "demo");
    const std::string exact(255, 'y');
    display.setTitle(exact.c_str());
    EXPECT_EQ(std::string(display.title()), exact);

    // A null title reads as empty instead of crashing.
    display.setTitle(nullptr);
    EXPECT_STREQ(display.title(), "");
    EXPECT_TRUE(display.open(nullptr, 1, 1, Windowed, FloatPixels));
    EXPECT_STREQ(display.title(), "");
}

TEST(DisplayAdapter, StateAfterConstructionOpenAndClose) {
    DisplayAdapter display;
    EXPECT_FALSE(display.isOpen());
    EXPECT_STREQ(display.title(), "");
    EXPECT_EQ(display.width(), 0);
    EXPECT_EQ(display.height(), 0);
    EXPECT_EQ(display.pixelMode(), FloatPixels);
    EXPECT_EQ(display.outputKind(), Unspecified);
    EXPECT_EQ(display.listener(), nullptr);
    EXPECT_EQ(display.facade(), nullptr);

    Listener listener;
    Display facade(nullptr);
    display.setListener(&listener);
    display.setFacade(&facade);
    ASSERT_TRUE(display.open("t", 320, 200, Windowed, IntegerPixels));
    EXPECT_TRUE(display.isOpen());
    EXPECT_STREQ(display.title(), "t");
    EXPECT_EQ(display.width(), 320);
    EXPECT_EQ(display.height(), 200);
    EXPECT_EQ(display.pixelMode(), IntegerPixels);
    EXPECT_EQ(display.outputKind(), Windowed);

    EXPECT_TRUE(display.enterFullscreen());
    EXPECT_EQ(display.outputKind(), Fullscreen);
    EXPECT_TRUE(display.enterWindowed());
    EXPECT_EQ(display.outputKind(), Windowed);

    display.close();
    EXPECT_FALSE(display.isOpen());
    EXPECT_STREQ(display.title(), "");
    EXPECT_EQ(display.width(), 0);
    EXPECT_EQ(display.height(), 0);
    EXPECT_EQ(display.pixelMode(), FloatPixels);
    EXPECT_EQ(display.outputKind(), Unspecified);
    EXPECT_EQ(display.listener(), &listener);
    EXPECT_EQ(display.facade(), &facade);

    // Arguments are stored unchecked, and a reopen replaces everything.
    ASSERT_TRUE(display.open("again", -5, 0, Fullscreen, FloatPixels));
    EXPECT_EQ(display.width(), -5);
    EXPECT_EQ(display.outputKind(), Fullscreen);
}

TEST(DisplayAdapter, OpenAndCloseGoThroughVirtualSlots) {
    RecordingDisplay display;
    EXPECT_EQ(display.clears, 0);  // the constructor does not reach the derived class
    ASSERT_TRUE(display.open("a", 2, 2, Windowed, FloatPixels));
    EXPECT_EQ(display.closes, 1);  // open closes first
    EXPECT_EQ(display.clears, 1);  // close resets through clearState
    ASSERT_TRUE(display.open("b", 2, 2, Windowed, FloatPixels));
    EXPECT_EQ(display.closes, 2);
    EXPECT_EQ(display.clears, 2);
    EXPECT_STREQ(display.title(), "b");
    display.close();
    EXPECT_EQ(display.clears, 3);
}

TEST(DisplayAdapter, UpdateHandsPixelsToRefresh) {
    RecordingDisplay display;
    const DirtyBox box{1, 2, 3, 4};
    const PackedPixel packed[4] = {};
    const FloatPixel floats[4] = {};

    EXPECT_FALSE(display.update(static_cast<const FloatPixel*>(nullptr), &box));
    EXPECT_FALSE(display.update(static_cast<const PackedPixel*>(nullptr), nullptr));
    EXPECT_EQ(display.lastBox, nullptr);  // refresh was never reached

    EXPECT_TRUE(display.update(packed, &box));
    EXPECT_EQ(display.lastPacked, packed);
    EXPECT_EQ(display.lastFloats, nullptr);
    EXPECT_EQ(display.lastBox, &box);

    EXPECT_TRUE(display.update(floats, nullptr));
    EXPECT_EQ(display.lastPacked, nullptr);
    EXPECT_EQ(display.lastFloats, floats);
    EXPECT_EQ(display.lastBox, nullptr);

    // Without output any buffer is accepted, open or not.
    DisplayAdapter plain;
    EXPECT_TRUE(plain.update(floats, nullptr));
    EXPECT_TRUE(plain.update(packed, &box));
    EXPECT_FALSE(plain.update(static_cast<const FloatPixel*>(nullptr), nullptr));
}

TEST(Display, WithoutPlatformAnswersClosedDefaults) {
    Display display(nullptr);
    Listener listener;
    const FloatPixel floats[1] = {};
    const PackedPixel packed[1] = {};
    EXPECT_FALSE(display.open("x", 640, 480, Fullscreen, FloatPixels));
    EXPECT_FALSE(display.isOpen());
    display.setTitle("ignored");
    EXPECT_STREQ(display.title(), "");
    display.setListener(&listener);
    EXPECT_EQ(display.listener(), nullptr);
    EXPECT_FALSE(display.update(floats, nullptr));
    EXPECT_FALSE(display.update(packed, nullptr));
    EXPECT_EQ(display.width(), 0);
    EXPECT_EQ(display.height(), 0);
    EXPECT_EQ(display.pixelMode(), FloatPixels);
    EXPECT_EQ(display.outputKind(), Unspecified);
    display.close();
    EXPECT_EQ(display.facade(), &display);
    EXPECT_EQ(display.platform(), nullptr);
}

TEST(Display, ForwardsToAndOwnsItsPlatform) {
    bool destroyed = false;
    {
        auto* platform = new RecordingDisplay(&destroyed);
        Display display(platform);
        EXPECT_EQ(display.platform(), platform);
        EXPECT_EQ(platform->facade(), &display);
        EXPECT_EQ(display.facade(), &display);
        display.setFacade(platform);  // ignored: a Display is its own facade
        EXPECT_EQ(display.facade(), &display);

        Listener listener;
        display.setListener(&listener);
        EXPECT_EQ(platform->listener(), &listener);
        EXPECT_EQ(display.listener(), &listener);

        ASSERT_TRUE(display.open("facade", 640, 480, Fullscreen, IntegerPixels));
        EXPECT_TRUE(platform->isOpen());
        EXPECT_TRUE(display.isOpen());
        EXPECT_STREQ(display.title(), "facade");
        EXPECT_EQ(display.width(), 640);
        EXPECT_EQ(display.height(), 480);
        EXPECT_EQ(display.pixelMode(), IntegerPixels);
        EXPECT_EQ(display.outputKind(), Fullscreen);
        display.setTitle("renamed");
        EXPECT_STREQ(platform->title(), "renamed");

        const FloatPixel floats[1] = {};
        const PackedPixel packed[1] = {};
        const DirtyBox box{0, 1, 0, 1};
        EXPECT_TRUE(display.update(floats, &box));
        EXPECT_EQ(platform->lastFloats, floats);
        EXPECT_EQ(platform->lastBox, &box);
        EXPECT_TRUE(display.update(packed, nullptr));
        EXPECT_EQ(platform->lastPacked, packed);
        EXPECT_FALSE(display.update(static_cast<const PackedPixel*>(nullptr), nullptr));

        display.close();
        EXPECT_FALSE(platform->isOpen());
        EXPECT_EQ(display.listener(), &listener);
        EXPECT_FALSE(destroyed);
    }
    EXPECT_TRUE(destroyed);
}

TEST(Display, CallbacksReceiveTheFacade) {
    RecordingListener listener;

    // Wrapped: every callback names the Display the program owns.
    auto* platform = new RecordingDisplay;
    Display display(platform);
    display.setListener(&listener);
    ASSERT_TRUE(display.open("cb", 4, 4, Windowed, FloatPixels));
    platform->pendingKeys = {kKeyEscape, 'A'};
    const FloatPixel frame[16] = {};
    EXPECT_TRUE(display.update(frame, nullptr));
    ASSERT_EQ(listener.targets.size(), 3u);  // opened, then two keys
    for (DisplayInterface* target : listener.targets) EXPECT_EQ(target, &display);
    EXPECT_EQ(listener.keys, (std::vector<KeyCode>{27, 65}));

    // Standalone: the platform display names itself.
    RecordingListener alone;
    RecordingDisplay bare;
    bare.setListener(&alone);
    ASSERT_TRUE(bare.open("bare", 4, 4, Windowed, FloatPixels));
    bare.pendingKeys = {kKeyEnter};
    EXPECT_TRUE(bare.update(frame, nullptr));
    ASSERT_EQ(alone.targets.size(), 2u);
    EXPECT_EQ(alone.targets[0], &bare);
    EXPECT_EQ(alone.targets[1], &bare);
    EXPECT_EQ(alone.keys, (std::vector<KeyCode>{10}));
}

TEST(Listener, BaseBehaviour) {
    Listener listener;
    DisplayAdapter display;
    EXPECT_TRUE(listener.closeOnEscape());
    EXPECT_TRUE(listener.closeRequested(display));
    static_assert(sizeof(MouseState) == 12 && sizeof(FloatPixel) == 16);
}

}  // namespace
