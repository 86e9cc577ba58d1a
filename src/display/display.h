// The display contract, namespace PixelDisplay.
//
// A display shows width x height pixels handed to `update`, row after row, top row first,
// without gaps. It delivers keyboard, mouse and window events to its Listener synchronously
// from inside `update` (and `open`), on the caller's thread. Virtual operations are declared
// in a fixed slot order: the Display facade forwards slot by slot and platform displays
// override a subset of DisplayAdapter's slots.
#pragma once

#include <cstdint>

namespace PixelDisplay {

// r, g, b and a fourth float the display never reads (the renderer keeps depth there).
struct FloatPixel {
    float r, g, b, x;
};
static_assert(sizeof(FloatPixel) == 16);

// 0x00RRGGBB; the top byte is ignored.
using PackedPixel = uint32_t;

// Columns xBegin..xEnd-1 and rows yBegin..yEnd-1; a null box means the whole display.
struct DirtyBox {
    int32_t xBegin, xEnd, yBegin, yEnd;
};

enum DisplayOutput : int32_t { Unspecified = 0, Windowed = 1, Fullscreen = 2 };
enum PixelMode : int32_t { IntegerPixels = 0, FloatPixels = 1 };

// Letters 65..90 whatever the shift state, digits 48..57, Escape 27, Enter 10, arrows 37..40,
// F1..F12 112..123.
using KeyCode = int32_t;
constexpr KeyCode kKeyEnter = 10;
constexpr KeyCode kKeyEscape = 27;

// Pointer position in display pixels, whatever the window's size.
struct MouseState {
    bool left, middle, right;
    float x, y;
};
static_assert(sizeof(MouseState) == 12);

class Listener;

class DisplayInterface {
public:
    virtual ~DisplayInterface() = default;                              // 0
    virtual bool isOpen() const = 0;                                    // 1
    virtual bool open(const char* title, int width, int height,         // 2
                      DisplayOutput output, PixelMode mode) = 0;
    virtual void close() = 0;                                           // 3
    virtual bool update(const PackedPixel* pixels, const DirtyBox* box) = 0;  // 4
    virtual bool update(const FloatPixel* pixels, const DirtyBox* box) = 0;   // 5
    virtual void setTitle(const char* title) = 0;                       // 6
    virtual const char* title() const = 0;                              // 7
    virtual int width() const = 0;                                      // 8
    virtual int height() const = 0;                                     // 9
    virtual PixelMode pixelMode() const = 0;                            // 10
    virtual DisplayOutput outputKind() const = 0;                       // 11
    virtual Listener* listener() const = 0;                             // 12
    virtual void setListener(Listener* listener) = 0;                   // 13
    virtual DisplayInterface* facade() const = 0;                       // 14
    virtual void setFacade(DisplayInterface* facade) = 0;               // 15
};

// Common state and default behaviour: on its own, a complete display without output.
class DisplayAdapter : public DisplayInterface {
public:
    DisplayAdapter();
    ~DisplayAdapter() override;

    bool isOpen() const override;
    bool open(const char* title, int width, int height, DisplayOutput output,
              PixelMode mode) override;
    void close() override;
    bool update(const PackedPixel* pixels, const DirtyBox* box) override;
    bool update(const FloatPixel* pixels, const DirtyBox* box) override;
    void setTitle(const char* title) override;
    const char* title() const override;
    int width() const override;
    int height() const override;
    PixelMode pixelMode() const override;
    DisplayOutput outputKind() const override;
    Listener* listener() const override;
    void setListener(Listener* listener) override;
    DisplayInterface* facade() const override;
    void setFacade(DisplayInterface* facade) override;

    // Exactly one pixel pointer is non-null.
    virtual bool refresh(const PackedPixel* packed, const FloatPixel* floats,  // 16
                         const DirtyBox* box);
    virtual void clearState();                                                 // 17
    virtual bool enterWindowed();                                              // 18
    virtual bool enterFullscreen();                                            // 19

protected:
    // Where listener callbacks go: the facade when there is one, else this display.
    DisplayInterface& callbackTarget();

    char title_[256];
    int32_t width_;
    int32_t height_;
    PixelMode pixelMode_;
    DisplayOutput outputKind_;
    bool open_;
    Listener* listener_;
    DisplayInterface* facade_;
};

// The facade the program owns. It owns its platform display and forwards every slot to it;
// without one it answers with closed-display defaults.
class Display : public DisplayInterface {
public:
    // Takes ownership of `platform` (may be null) and makes itself its facade.
    explicit Display(DisplayInterface* platform);
    ~Display() override;
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    bool isOpen() const override;
    bool open(const char* title, int width, int height, DisplayOutput output,
              PixelMode mode) override;
    void close() override;
    bool update(const PackedPixel* pixels, const DirtyBox* box) override;
    bool update(const FloatPixel* pixels, const DirtyBox* box) override;
    void setTitle(const char* title) override;
    const char* title() const override;
    int width() const override;
    int height() const override;
    PixelMode pixelMode() const override;
    DisplayOutput outputKind() const override;
    Listener* listener() const override;
    void setListener(Listener* listener) override;
    DisplayInterface* facade() const override;
    void setFacade(DisplayInterface* facade) override;

    DisplayInterface* platform() const { return platform_; }

private:
    DisplayInterface* platform_;
};

class Listener {
public:
    virtual ~Listener() = default;                                      // 0
    virtual bool closeOnEscape() { return true; }                       // 1
    virtual void keyDown(DisplayInterface&, KeyCode) {}                 // 2
    virtual void keyStroke(DisplayInterface&, KeyCode) {}               // 3
    virtual void keyUp(DisplayInterface&, KeyCode) {}                   // 4
    virtual void mouseDown(DisplayInterface&, MouseState) {}            // 5
    virtual void mouseUp(DisplayInterface&, MouseState) {}              // 6
    virtual void mouseMove(DisplayInterface&, MouseState) {}            // 7
    virtual void activate(DisplayInterface&, bool) {}                   // 8
    virtual void opened(DisplayInterface&) {}                           // 9
    virtual bool closeRequested(DisplayInterface&) { return true; }     // 10
};

// The platform's display: each platform's display library defines it. Null, with one line
// printed, when the machine has no window system to show it.
DisplayInterface* createPlatformDisplay();

// The pixels a picture may fill on the main screen: all of it for full screen, the work area
// less a window's frame for a window. Defined beside createPlatformDisplay and asked after it;
// false when the platform cannot tell.
bool displayArea(DisplayOutput output, int& width, int& height);

}  // namespace PixelDisplay
