// The Windows display against the real Win32 and Direct3D 9 (Wine on a 1920x1080 virtual
// screen in the test script), and its pure decisions with hand-counted numbers.
#include <gtest/gtest.h>

#include <string>

#include "display/windows/direct3d_presenter.h"
#include "windows_test_support.h"

using namespace PixelDisplay;
using namespace windows_test;

namespace {

std::vector<UINT> ids(const MenuPlan& plan) {
    return std::vector<UINT>(plan.ids, plan.ids + plan.count);
}

// The window's own entries of the real system menu, as (id, text) in menu order.
std::vector<std::pair<UINT, std::wstring>> ownMenuEntries(HWND window) {
    std::vector<std::pair<UINT, std::wstring>> entries;
    HMENU menu = GetSystemMenu(window, FALSE);
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        const UINT id = GetMenuItemID(menu, i);
        if (id < 1 || id > 10) continue;
        wchar_t text[64] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
        entries.emplace_back(id, text);
    }
    return entries;
}

std::vector<UINT> ownMenuIds(HWND window) {
    std::vector<UINT> result;
    for (const auto& entry : ownMenuEntries(window)) result.push_back(entry.first);
    return result;
}

RECT clientRect(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    return client;
}

// A windowed 640x480 display with a listener, opened for a test.
struct OpenDisplay {
    RecordingListener listener;
    WindowsDisplay display;
    std::vector<PackedPixel> frame = solidFrame(0x00203040);

    explicit OpenDisplay(DisplayOutput output = Windowed, PixelMode mode = IntegerPixels) {
        display.setListener(&listener);
        opened = display.open("Windows display test", 640, 480, output, mode);
        if (opened) display.update(frame.data(), nullptr);  // shows a windowed display
    }
    HWND window() const { return display.window()->handle; }
    bool update() { return display.update(frame.data(), nullptr); }
    bool opened = false;
};

}  // namespace

TEST(WindowsMenu, EntriesFollowStyleSizeAndCentring) {
    using V = std::vector<UINT>;
    // 640x480 on 1920x1080: 2x gives 1280x960, below both; 4x gives 2560, not below 1920.
    EXPECT_EQ(ids(planMenu(true, false, false, 640, 480, 1920, 1080)), (V{1, 2, 3, 6, 8, 9, 10}));
    // On 1280x960 even 2x is not strictly below the screen.
    EXPECT_EQ(ids(planMenu(true, false, false, 640, 480, 1280, 960)), (V{1, 2, 6, 8, 9, 10}));
    // Both directions must fit: 1281x960 lets the width through, not the height.
    EXPECT_EQ(ids(planMenu(true, false, false, 640, 480, 1281, 960)), (V{1, 2, 6, 8, 9, 10}));
    // 100x100 on 1920x1080: 200, 400 and 800 are all below 1080.
    EXPECT_EQ(ids(planMenu(true, false, true, 100, 100, 1920, 1080)), (V{1, 2, 3, 4, 5, 6, 8}));
    // Full screen: only the way back to a window.
    EXPECT_EQ(ids(planMenu(false, false, false, 640, 480, 1920, 1080)), (V{6, 7}));
    // Minimised or maximised: no zoom entries, but still the mode switch and centring.
    EXPECT_EQ(ids(planMenu(true, true, false, 640, 480, 1920, 1080)), (V{6, 8, 9, 10}));
    // Sizes whose 8x product overflows 32 bits do not wrap into "fits".
    EXPECT_EQ(ids(planMenu(true, false, true, 300000000, 1, 1920, 1080)), (V{1, 2, 6, 8}));

    EXPECT_STREQ(menuText(kMenuOriginalSize), L"Original Size");
    EXPECT_STREQ(menuText(kMenuZoom2), L"2x Zoom");
    EXPECT_STREQ(menuText(kMenuZoom4), L"4x Zoom");
    EXPECT_STREQ(menuText(kMenuZoom8), L"8x Zoom");
    EXPECT_STREQ(menuText(kMenuWindowed), L"Windowed");
    EXPECT_STREQ(menuText(kMenuFullscreen), L"Fullscreen");
    EXPECT_STREQ(menuText(kMenuCenter), L"Center");
    EXPECT_STREQ(menuText(kMenuSeparatorMode), L"");
}

TEST(WindowsMenu, RealSystemMenuOnTheScreen) {
    if (!expectedScreen()) GTEST_SKIP() << "needs a 1920x1080 screen";
    OpenDisplay open;
    ASSERT_TRUE(open.opened);
    // Opening windowed centres the window, so "Center" is not offered.
    const auto entries = ownMenuEntries(open.window());
    const std::vector<std::pair<UINT, std::wstring>> expected = {
        {1, L""}, {2, L"Original Size"}, {3, L"2x Zoom"}, {6, L""}, {8, L"Fullscreen"}};
    EXPECT_EQ(entries, expected);

    // Moving the window by hand ends the centred state; centring again ends the offer.
    RECT outer;
    GetWindowRect(open.window(), &outer);
    SendMessageW(open.window(), WM_MOVING, 0, reinterpret_cast<LPARAM>(&outer));
    EXPECT_EQ(ownMenuIds(open.window()), (std::vector<UINT>{1, 2, 3, 6, 8, 9, 10}));
    SendMessageW(open.window(), WM_SYSCOMMAND, kMenuCenter, 0);
    EXPECT_EQ(ownMenuIds(open.window()), (std::vector<UINT>{1, 2, 3, 6, 8}));
    EXPECT_TRUE(open.display.window()->centred);
    // The standard entries stay.
    EXPECT_NE(GetMenuState(GetSystemMenu(open.window(), FALSE), SC_CLOSE, MF_BYCOMMAND),
              static_cast<UINT>(-1));
}

TEST(WindowsKeys, TableMapsVirtualKeys) {
    KeyCode table[256];
    fillKeyTable(table);
    EXPECT_EQ(table[VK_OEM_MINUS], 108);  // not 45
    EXPECT_EQ(table[VK_RETURN], 10);
    EXPECT_EQ(table[VK_INSERT], 155);
    EXPECT_EQ(table[VK_DELETE], 127);
    EXPECT_EQ(table[VK_OEM_1], 59);
    EXPECT_EQ(table[VK_OEM_PLUS], 61);
    EXPECT_EQ(table[VK_OEM_COMMA], 44);
    EXPECT_EQ(table[VK_OEM_PERIOD], 46);
    EXPECT_EQ(table[VK_OEM_2], 47);
    EXPECT_EQ(table[VK_OEM_4], 91);
    EXPECT_EQ(table[VK_OEM_5], 92);
    EXPECT_EQ(table[VK_OEM_6], 93);
    // Every other key is its own virtual-key code: letters, digits, Escape, arrows, F keys.
    const int remapped[] = {13, 45, 46, 186, 187, 188, 189, 190, 191, 219, 220, 221};
    int same = 0;
    for (int k = 0; k < 256; ++k) same += table[k] == k;
    EXPECT_EQ(same, 256 - static_cast<int>(std::size(remapped)));
    EXPECT_EQ(table['A'], 65);
    EXPECT_EQ(table['Z'], 90);
    EXPECT_EQ(table['0'], 48);
    EXPECT_EQ(table[VK_ESCAPE], 27);
    EXPECT_EQ(table[VK_LEFT], 37);
    EXPECT_EQ(table[VK_F12], 123);
    EXPECT_EQ(table[VK_MENU], 18);
}

TEST(WindowsKeys, RepeatsGiveStrokesAndOneDown) {
    OpenDisplay open;
    ASSERT_TRUE(open.opened);
    open.listener.clear();
    // Held 'A': the first press and two auto-repeats, then the release.
    for (int i = 0; i < 3; ++i) SendMessageW(open.window(), WM_KEYDOWN, 'A', 0);
    SendMessageW(open.window(), WM_KEYUP, 'A', 0);
    // The table applies on the way: minus arrives as 108, also as a system key.
    SendMessageW(open.window(), WM_SYSKEYDOWN, VK_OEM_MINUS, 0);
    SendMessageW(open.window(), WM_SYSKEYUP, VK_OEM_MINUS, 0);
    // A new press after the release is a first press again.
    SendMessageW(open.window(), WM_KEYDOWN, 'A', 0);
    using K = std::vector<std::pair<Call, KeyCode>>;
    EXPECT_EQ(open.listener.keys(), (K{{Call::KeyDown, 65},
                                       {Call::KeyStroke, 65},
                                       {Call::KeyStroke, 65},
                                       {Call::KeyStroke, 65},
                                       {Call::KeyUp, 65},
                                       {Call::KeyDown, 108},
                                       {Call::KeyStroke, 108},
                                       {Call::KeyUp, 108},
                                       {Call::KeyDown, 65},
                                       {Call::KeyStroke, 65}}));
    // Callbacks name the display the program holds (here the display itself, no facade).
    for (const Event& event : open.listener.events) EXPECT_EQ(event.display, &open.display);
}

TEST(WindowsKeys, EscapeClosesAtTheNextUpdateUnlessTheListenerKeepsIt) {
    {
        OpenDisplay open;
        ASSERT_TRUE(open.opened);
        open.listener.escapeCloses = false;
        open.listener.clear();
        SendMessageW(open.window(), WM_KEYDOWN, VK_ESCAPE, 0);
        SendMessageW(open.window(), WM_KEYDOWN, VK_ESCAPE, 0);  // auto-repeat
        using K = std::vector<std::pair<Call, KeyCode>>;
        EXPECT_EQ(open.listener.keys(),
                  (K{{Call::KeyDown, 27}, {Call::KeyStroke, 27}, {Call::KeyStroke, 27}}));
        EXPECT_TRUE(open.update());
        EXPECT_TRUE(open.display.isOpen());
    }
    {
        OpenDisplay open;
        ASSERT_TRUE(open.opened);
        SendMessageW(open.window(), WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_TRUE(open.display.isOpen());  // only a request so far
        EXPECT_FALSE(open.update());
        EXPECT_FALSE(open.display.isOpen());
        EXPECT_EQ(open.display.window(), nullptr);
        // A closed display does nothing more and says so with true.
        EXPECT_TRUE(open.update());
    }
    {
        // Without a listener Escape closes too.
        WindowsDisplay display;
        ASSERT_TRUE(display.open("no listener", 640, 480, Windowed, IntegerPixels));
        SendMessageW(display.window()->handle, WM_KEYDOWN, VK_ESCAPE, 0);
        const auto frame = solidFrame(0);
        EXPECT_FALSE(display.update(frame.data(), nullptr));
        EXPECT_FALSE(display.isOpen());
    }
}

TEST(WindowsKeys, CloseButtonAsksTheListener) {
    OpenDisplay open;
    ASSERT_TRUE(open.opened);
    open.listener.allowClose = false;
    SendMessageW(open.window(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(open.update());
    EXPECT_TRUE(open.display.isOpen());
    EXPECT_EQ(open.listener.count(Call::CloseRequested), 1);
    EXPECT_TRUE(IsWindow(open.window()));  // no default handling destroyed it

    open.listener.allowClose = true;
    SendMessageW(open.window(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(open.update());
    EXPECT_FALSE(open.display.isOpen());
}

namespace {

// Alt goes down for real (SendInput), so that GetAsyncKeyState sees it; the window system
// forgets injected key state whenever the focus moves, so it is pressed before every Enter.
void pressAlt(WindowsDisplay& display, bool down) {
    INPUT alt = {};
    alt.type = INPUT_KEYBOARD;
    alt.ki.wVk = VK_MENU;
    alt.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    SendInput(1, &alt, sizeof(INPUT));
    display.pumpMessages();
}

}  // namespace

TEST(WindowsKeys, AltEnterTogglesAtTheNextUpdateWithoutEnterKeyDown) {
    OpenDisplay open;
    ASSERT_TRUE(open.opened);
    ASSERT_EQ(open.display.outputKind(), Windowed);
    SetForegroundWindow(open.window());
    open.update();
    open.listener.clear();

    pressAlt(open.display, true);
    ASSERT_NE(GetAsyncKeyState(VK_MENU), 0) << "the Alt key state did not reach the desktop";
    SendMessageW(open.window(), WM_SYSKEYDOWN, VK_RETURN, 1 << 29);
    EXPECT_EQ(open.display.outputKind(), Windowed);  // not yet: at the next update
    EXPECT_TRUE(open.update());
    EXPECT_EQ(open.display.outputKind(), Fullscreen);
    ASSERT_NE(open.display.window(), nullptr);
    EXPECT_EQ(open.display.window()->windowed, 0);
    EXPECT_TRUE(GetWindowLongPtrW(open.window(), GWL_STYLE) & WS_POPUP);

    // And back again.
    pressAlt(open.display, true);
    ASSERT_NE(GetAsyncKeyState(VK_MENU), 0);
    SendMessageW(open.window(), WM_SYSKEYDOWN, VK_RETURN, 1 << 29);
    EXPECT_TRUE(open.update());
    EXPECT_EQ(open.display.outputKind(), Windowed);
    EXPECT_EQ(open.display.window()->windowed, 1);

    // Releasing Enter is still reported; Alt itself is key 18.
    SendMessageW(open.window(), WM_SYSKEYUP, VK_RETURN, 0);
    pressAlt(open.display, false);
    using K = std::vector<std::pair<Call, KeyCode>>;
    K enter;
    bool altDown = false;
    for (const auto& [call, key] : open.listener.keys()) {
        if (key == 10) enter.emplace_back(call, key);
        altDown |= call == Call::KeyDown && key == 18;
    }
    EXPECT_EQ(enter, (K{{Call::KeyUp, 10}}));
    EXPECT_TRUE(altDown) << "the Alt key itself was not delivered as 18";

    // Enter without Alt is an ordinary key.
    ASSERT_EQ(GetAsyncKeyState(VK_MENU), 0);
    open.listener.clear();
    SendMessageW(open.window(), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(open.listener.keys(), (K{{Call::KeyDown, 10}, {Call::KeyStroke, 10}}));
    EXPECT_TRUE(open.update());
    EXPECT_EQ(open.display.outputKind(), Windowed);
}

TEST(WindowsMouse, PositionsScaleToDisplayPixels) {
    // Pure: display size / client size x window position.
    EXPECT_EQ(scaleMouse(640, 1280, 640), 320.0f);
    EXPECT_EQ(scaleMouse(480, 960, 480), 240.0f);
    EXPECT_EQ(scaleMouse(640, 640, 17), 17.0f);
    EXPECT_EQ(scaleMouse(640, 320, 100), 200.0f);
    EXPECT_EQ(scaleMouse(640, 1280, -2), -1.0f);  // captured pointer left of the window
    EXPECT_EQ(scaleMouse(640, 0, 5), 5.0f);       // minimised: no division by zero

    if (!expectedScreen()) GTEST_SKIP() << "needs a 1920x1080 screen for the 2x window";
    OpenDisplay open;
    ASSERT_TRUE(open.opened);
    SendMessageW(open.window(), WM_SYSCOMMAND, kMenuZoom2, 0);
    const RECT client = clientRect(open.window());
    ASSERT_EQ(client.right - client.left, 1280);
    ASSERT_EQ(client.bottom - client.top, 960);
    open.listener.clear();

    SendMessageW(open.window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(640, 480));
    SendMessageW(open.window(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(1280, 0));
    SendMessageW(open.window(), WM_LBUTTONUP, 0, MAKELPARAM(2, 958));
    SendMessageW(open.window(), WM_MOUSEMOVE, 0, MAKELPARAM(0xFFFE, 10));  // x = -2
    ASSERT_EQ(open.listener.events.size(), 4u);
    const Event& down = open.listener.events[0];
    EXPECT_EQ(down.call, Call::MouseDown);
    EXPECT_TRUE(down.mouse.left);
    EXPECT_FALSE(down.mouse.right);
    EXPECT_EQ(down.mouse.x, 320.0f);
    EXPECT_EQ(down.mouse.y, 240.0f);
    EXPECT_EQ(GetCapture(), open.window());
    const Event& right = open.listener.events[1];
    EXPECT_TRUE(right.mouse.left && right.mouse.right);
    EXPECT_EQ(right.mouse.x, 640.0f);
    EXPECT_EQ(right.mouse.y, 0.0f);
    const Event& up = open.listener.events[2];
    EXPECT_EQ(up.call, Call::MouseUp);
    EXPECT_FALSE(up.mouse.left);
    EXPECT_TRUE(up.mouse.right);
    EXPECT_EQ(up.mouse.x, 1.0f);
    EXPECT_EQ(up.mouse.y, 479.0f);
    EXPECT_EQ(GetCapture(), open.window());  // the right button still holds it
    const Event& move = open.listener.events[3];
    EXPECT_EQ(move.call, Call::MouseMove);
    EXPECT_EQ(move.mouse.x, -1.0f);
    EXPECT_EQ(move.mouse.y, 5.0f);
    SendMessageW(open.window(), WM_RBUTTONUP, 0, MAKELPARAM(0, 0));
    EXPECT_NE(GetCapture(), open.window());

    // "Original Size" brings the client back to 640x480.
    SendMessageW(open.window(), WM_SYSCOMMAND, kMenuOriginalSize, 0);
    const RECT original = clientRect(open.window());
    EXPECT_EQ(original.right - original.left, 640);
    EXPECT_EQ(original.bottom - original.top, 480);
}

// The arithmetic of zoom and centring is the portable window geometry (its own tests); here
// the real window.
TEST(WindowsGeometry, ZoomAndCentreStayOnScreen) {
    if (!expectedScreen()) GTEST_SKIP() << "needs a 1920x1080 screen";
    // Opened windowed, it is centred with a 640x480 client.
    OpenDisplay open;
    ASSERT_TRUE(open.opened);
    const RECT client = clientRect(open.window());
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
    RECT outer;
    GetWindowRect(open.window(), &outer);
    EXPECT_EQ(outer.left, (1920 - (outer.right - outer.left)) >> 1);
    EXPECT_EQ(outer.top, (1080 - (outer.bottom - outer.top)) >> 1);
}

TEST(WindowsDisplayLifecycle, OpenCloseAndModes) {
    RecordingListener listener;
    WindowsDisplay* platform = new WindowsDisplay();
    Display facade(platform);
    facade.setListener(&listener);
    EXPECT_TRUE(facade.update(solidFrame(0).data(), nullptr));  // closed: nothing, true

    ASSERT_TRUE(facade.open("lifecycle", 640, 480, Unspecified, FloatPixels));
    EXPECT_TRUE(facade.isOpen());
    EXPECT_EQ(facade.outputKind(), Windowed);  // Unspecified opens like Windowed
    EXPECT_EQ(listener.count(Call::Opened), 1);
    for (const Event& event : listener.events) EXPECT_EQ(event.display, &facade);
    ASSERT_NE(platform->presenter(), nullptr);
    EXPECT_NE(platform->presenter()->device(), nullptr);
    EXPECT_NE(platform->presenter()->texture(), nullptr);
    HWND window = platform->window()->handle;
    EXPECT_FALSE(IsWindowVisible(window));  // a windowed display shows at the first update
    std::vector<FloatPixel> frame(640 * 480, FloatPixel{0.25f, 0.5f, 0.75f, 0.0f});
    EXPECT_TRUE(facade.update(frame.data(), nullptr));
    EXPECT_TRUE(IsWindowVisible(window));
    const DWORD windowedStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    EXPECT_EQ(windowedStyle & WS_OVERLAPPEDWINDOW, static_cast<DWORD>(WS_OVERLAPPEDWINDOW));
    EXPECT_EQ(windowedStyle & WS_POPUP, 0u);

    // The menu command switches to full screen at once, covering the screen.
    SendMessageW(window, WM_SYSCOMMAND, kMenuFullscreen, 0);
    EXPECT_EQ(facade.outputKind(), Fullscreen);
    // A pop-up with the system menu; the exclusive device itself takes away the frame
    // (WS_BORDER included) from its focus window.
    const DWORD fullscreenStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    EXPECT_EQ(fullscreenStyle & (WS_POPUP | WS_SYSMENU), static_cast<DWORD>(WS_POPUP | WS_SYSMENU));
    EXPECT_EQ(fullscreenStyle & WS_THICKFRAME, 0u);
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.left, 0);
    EXPECT_EQ(outer.top, 0);
    EXPECT_EQ(outer.right, std::max(640, GetSystemMetrics(SM_CXSCREEN)));
    EXPECT_EQ(outer.bottom, std::max(480, GetSystemMetrics(SM_CYSCREEN)));
    EXPECT_EQ(ownMenuIds(window), (std::vector<UINT>{6, 7}));
    EXPECT_TRUE(facade.update(frame.data(), nullptr));
    // Asking again for the mode it has keeps the presenter and its device. The device is held
    // meanwhile: a new one could not be made at its address, so equal addresses prove it kept.
    Direct3DPresenter* presenter = platform->presenter();
    IDirect3DDevice9* device = presenter->device();
    ASSERT_NE(device, nullptr);
    device->AddRef();
    EXPECT_TRUE(platform->enterFullscreen());
    EXPECT_EQ(platform->presenter(), presenter);
    ASSERT_NE(platform->presenter(), nullptr);
    EXPECT_EQ(platform->presenter()->device(), device);
    device->Release();

    SendMessageW(window, WM_SYSCOMMAND, kMenuWindowed, 0);
    EXPECT_EQ(facade.outputKind(), Windowed);
    EXPECT_TRUE(facade.update(frame.data(), nullptr));

    facade.close();
    EXPECT_FALSE(facade.isOpen());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(platform->window(), nullptr);
    EXPECT_EQ(platform->presenter(), nullptr);
    EXPECT_EQ(facade.outputKind(), Unspecified);
    EXPECT_EQ(facade.pixelMode(), FloatPixels);
    EXPECT_EQ(facade.listener(), &listener);  // kept for reopening

    // Reopened full screen straight away.
    ASSERT_TRUE(facade.open("lifecycle", 640, 480, Fullscreen, IntegerPixels));
    EXPECT_EQ(facade.outputKind(), Fullscreen);
    EXPECT_EQ(listener.count(Call::Opened), 2);
    EXPECT_TRUE(IsWindowVisible(platform->window()->handle));
    EXPECT_TRUE(facade.update(frame.data(), nullptr));
}

TEST(WindowsDisplayLifecycle, FailuresLeaveItClosed) {
    // No Direct3D object at all: open fails cleanly, and a later open fails the same way.
    WindowsDisplay withoutDirect3D(nullptr);
    RecordingListener listener;
    withoutDirect3D.setListener(&listener);
    EXPECT_FALSE(withoutDirect3D.open("no Direct3D", 640, 480, Windowed, FloatPixels));
    EXPECT_FALSE(withoutDirect3D.isOpen());
    EXPECT_EQ(withoutDirect3D.window(), nullptr);
    EXPECT_EQ(listener.count(Call::Opened), 0);
    EXPECT_FALSE(withoutDirect3D.open("no Direct3D", 640, 480, Fullscreen, FloatPixels));
    EXPECT_TRUE(withoutDirect3D.update(solidFrame(0).data(), nullptr));

    // No size, no device.
    WindowsDisplay empty;
    EXPECT_FALSE(empty.open("empty", 0, 0, Windowed, IntegerPixels));
    EXPECT_FALSE(empty.isOpen());

    // Null pixels are refused before anything else.
    OpenDisplay open;
    ASSERT_TRUE(open.opened);
    EXPECT_FALSE(open.display.update(static_cast<const FloatPixel*>(nullptr), nullptr));
    EXPECT_TRUE(open.display.isOpen());
}

TEST(WindowsDisplayLifecycle, TitlesOfAnyLength) {
    wchar_t buffer[1024];
    windowTitle("Fullscreen Example", buffer);
    EXPECT_STREQ(buffer, L"Fullscreen Example");
    windowTitle(nullptr, buffer);
    EXPECT_STREQ(buffer, L"");
    // 5000 characters: cut to the 1023 that fit beside the terminator, nothing written past.
    const std::string huge(5000, 'x');
    wchar_t guarded[1025];
    guarded[1024] = L'#';
    windowTitle(huge.c_str(), reinterpret_cast<wchar_t(&)[1024]>(guarded));
    EXPECT_EQ(wcslen(guarded), 1023u);
    EXPECT_EQ(guarded[1024], L'#');

    // The stored title keeps 255 characters; the caption keeps what fits its buffer, and
    // the window class (255 characters at most) does not stop the window being made.
    const std::string long300(300, 'T');
    WindowsDisplay display;
    ASSERT_TRUE(display.open(long300.c_str(), 640, 480, Windowed, IntegerPixels));
    EXPECT_EQ(std::string(display.title()), long300.substr(0, 255));
    wchar_t caption[2048];
    EXPECT_EQ(GetWindowTextW(display.window()->handle, caption, 2048), 300);
    display.setTitle(huge.c_str());
    EXPECT_EQ(GetWindowTextW(display.window()->handle, caption, 2048), 1023);
    EXPECT_EQ(strlen(display.title()), 255u);
    display.setTitle("short");
    EXPECT_EQ(GetWindowTextW(display.window()->handle, caption, 2048), 5);
    EXPECT_STREQ(caption, L"short");

    // Two displays with one title at the same time share the window class.
    WindowsDisplay second;
    EXPECT_TRUE(second.open(long300.c_str(), 320, 240, Windowed, IntegerPixels));

    // Untitled displays open too, with an empty caption.
    WindowsDisplay untitled;
    ASSERT_TRUE(untitled.open("", 320, 240, Windowed, IntegerPixels));
    EXPECT_EQ(GetWindowTextW(untitled.window()->handle, caption, 2048), 0);
    WindowsDisplay nullTitle;
    EXPECT_TRUE(nullTitle.open(nullptr, 320, 240, Windowed, IntegerPixels));
    EXPECT_STREQ(nullTitle.title(), "");
}

TEST(WindowsDisplayLifecycle, PaintFallsBackToBlack) {
    OpenDisplay open;
    ASSERT_TRUE(open.opened);
    EXPECT_TRUE(open.display.paint());  // presents the last frame again
    // Without a presenter the client is filled black through GDI and validated.
    open.display.presenter()->release();
    InvalidateRect(open.window(), nullptr, FALSE);
    EXPECT_TRUE(open.display.paint());
    RECT invalid;
    EXPECT_FALSE(GetUpdateRect(open.window(), &invalid, FALSE));
    // Frames are dropped silently while there is no device.
    EXPECT_TRUE(open.update());
}
