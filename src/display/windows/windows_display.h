// The Windows platform display: a Win32 window (an overlapped window, or a pop-up covering the
// screen with an exclusive full-screen Direct3D 9 device), its system menu (zoom, centring,
// mode switch), the message pump and the translation of window messages into Listener
// callbacks. Frames go through the Direct3DPresenter.
//
// Everything runs on the thread that made the display: the window procedure runs from the
// pump inside refresh and from the messages Windows sends during calls such as ShowWindow,
// SetWindowPos and DestroyWindow. Close and mode-toggle requests from the window are flags
// that the next refresh acts on.
#pragma once

#include <d3d9.h>
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "display/display.h"

namespace PixelDisplay {

class Direct3DPresenter;

// How the window reaches its display.
class WindowsAdapter {
public:
    virtual bool paint() = 0;            // 0
    virtual bool enterFullscreen() = 0;  // 1
    virtual bool enterWindowed() = 0;    // 2
    virtual void requestToggle() = 0;    // 3
    virtual void requestClose() = 0;     // 4

protected:
    ~WindowsAdapter() = default;
};

// System menu command identifiers; 1, 6 and 9 are separators.
enum MenuId : UINT {
    kMenuSeparatorZoom = 1,
    kMenuOriginalSize = 2,
    kMenuZoom2 = 3,
    kMenuZoom4 = 4,
    kMenuZoom8 = 5,
    kMenuSeparatorMode = 6,
    kMenuWindowed = 7,
    kMenuFullscreen = 8,
    kMenuSeparatorCenter = 9,
    kMenuCenter = 10,
};

// The window's own system menu entries, in the order they are appended.
struct MenuPlan {
    UINT ids[10];
    size_t count = 0;
};
MenuPlan planMenu(bool windowedStyle, bool minimisedOrMaximised, bool centred, int width,
                  int height, int screenWidth, int screenHeight);
// The text of a command entry, empty for separators.
const wchar_t* menuText(UINT id);

// The listener's KeyCode for each virtual-key code (the low byte of wParam).
void fillKeyTable(KeyCode (&table)[256]);

// Window pixels to display pixels: display size / client size x position. A client extent of
// zero (a minimised window) leaves the position unscaled.
float scaleMouse(int displaySize, LONG clientExtent, int position);

// The window record: one per open display.
struct DisplayWindow {
    HWND handle = nullptr;
    HMENU systemMenu = nullptr;
    int32_t width;
    int32_t height;
    bool active = false;
    int32_t windowed = 1;  // 1 windowed style, 0 full-screen style
    MouseState mouse{};
    KeyCode keyTable[256];
    bool keyDown[256] = {};
    HCURSOR arrowCursor;
    HCURSOR blankCursor;
    bool centred = false;
    WindowsAdapter* adapter;
    DisplayInterface* display;
    Listener* listener = nullptr;

    // Creates the window, hidden; `handle` stays null when that fails.
    DisplayWindow(const char* title, int width, int height, WindowsAdapter* adapter,
                  DisplayInterface* display);
    // Destroys the window and the blank cursor.
    ~DisplayWindow();
    DisplayWindow(const DisplayWindow&) = delete;
    DisplayWindow& operator=(const DisplayWindow&) = delete;

    void setFullscreenStyle(int displayWidth, int displayHeight);
    void setWindowedStyle(int displayWidth, int displayHeight);
    void centre();
    void zoom(int factor);
    void rebuildMenu();

    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);

private:
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    DisplayInterface& target();
    void updateMousePosition(LPARAM lParam);
    void keyPressed(WPARAM wParam);
    void mouseButton(bool MouseState::*button, bool down, LPARAM lParam);
};

class WindowsDisplay : public DisplayAdapter, public WindowsAdapter {
public:
    // Creates its Direct3D object; a display without one fails to open.
    WindowsDisplay();
    // Takes ownership of `direct3d` (may be null): for tests.
    explicit WindowsDisplay(IDirect3D9* direct3d);
    ~WindowsDisplay() override;
    WindowsDisplay(const WindowsDisplay&) = delete;
    WindowsDisplay& operator=(const WindowsDisplay&) = delete;

    bool open(const char* title, int width, int height, DisplayOutput output,
              PixelMode mode) override;
    void close() override;
    void setTitle(const char* title) override;
    void setListener(Listener* listener) override;
    bool refresh(const PackedPixel* packed, const FloatPixel* floats, const DirtyBox* box) override;
    void clearState() override;
    bool enterWindowed() override;
    bool enterFullscreen() override;

    bool paint() override;
    void requestToggle() override;
    void requestClose() override;

    // For tests and tools.
    DisplayWindow* window() const { return window_; }
    Direct3DPresenter* presenter() const { return presenter_; }
    void pumpMessages();

private:
    void freeWindowAndPresenter();
    bool enterMode(bool windowed);

    IDirect3D9* direct3d_;
    DisplayWindow* window_ = nullptr;
    Direct3DPresenter* presenter_ = nullptr;
    bool closeRequested_ = false;
    bool toggleRequested_ = false;
};

// Converts an ANSI (CP_ACP) title for the window; a title too long for the 1024-character
// buffer is cut to fit. Null counts as empty.
void windowTitle(const char* title, wchar_t (&buffer)[1024]);

}  // namespace PixelDisplay
