#include "display/windows/windows_display.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "display/window_geometry.h"
#include "display/windows/direct3d_presenter.h"

namespace PixelDisplay {

namespace {

static_assert(D3D_SDK_VERSION == 32);

constexpr DWORD kWindowedStyle = WS_OVERLAPPEDWINDOW;                  // 0x00CF0000
constexpr DWORD kFullscreenStyle = WS_POPUP | WS_BORDER | WS_SYSMENU;  // 0x80880000
static_assert(kWindowedStyle == 0x00CF0000 && kFullscreenStyle == 0x80880000);

int screenWidth() {
    return GetSystemMetrics(SM_CXSCREEN);
}

int screenHeight() {
    return GetSystemMetrics(SM_CYSCREEN);
}

}  // namespace

// Free helpers

MenuPlan planMenu(bool windowedStyle, bool minimisedOrMaximised, bool centred, int width,
                  int height, int screenWidth, int screenHeight) {
    MenuPlan plan;
    auto add = [&plan](UINT id) { plan.ids[plan.count++] = id; };
    if (windowedStyle && !minimisedOrMaximised) {
        add(kMenuSeparatorZoom);
        add(kMenuOriginalSize);
        const UINT zooms[3][2] = {{2, kMenuZoom2}, {4, kMenuZoom4}, {8, kMenuZoom8}};
        for (const auto& zoom : zooms) {
            if (zoomOffered(static_cast<int>(zoom[0]), width, height, screenWidth, screenHeight))
                add(zoom[1]);
        }
    }
    add(kMenuSeparatorMode);
    add(windowedStyle ? kMenuFullscreen : kMenuWindowed);
    if (windowedStyle && !centred) {
        add(kMenuSeparatorCenter);
        add(kMenuCenter);
    }
    return plan;
}

const wchar_t* menuText(UINT id) {
    switch (id) {
        case kMenuOriginalSize:
            return L"Original Size";
        case kMenuZoom2:
            return L"2x Zoom";
        case kMenuZoom4:
            return L"4x Zoom";
        case kMenuZoom8:
            return L"8x Zoom";
        case kMenuWindowed:
            return L"Windowed";
        case kMenuFullscreen:
            return L"Fullscreen";
        case kMenuCenter:
            return L"Center";
        default:
            return L"";
    }
}

void fillKeyTable(KeyCode (&table)[256]) {
    for (int k = 0; k < 256; ++k) table[k] = k;
    table[VK_RETURN] = 10;
    table[VK_INSERT] = 155;
    table[VK_DELETE] = 127;
    table[VK_OEM_1] = 59;
    table[VK_OEM_PLUS] = 61;
    table[VK_OEM_COMMA] = 44;
    table[VK_OEM_MINUS] = 108;
    table[VK_OEM_PERIOD] = 46;
    table[VK_OEM_2] = 47;
    table[VK_OEM_4] = 91;
    table[VK_OEM_5] = 92;
    table[VK_OEM_6] = 93;
}

float scaleMouse(int displaySize, LONG clientExtent, int position) {
    if (clientExtent == 0) return static_cast<float>(position);
    return static_cast<float>(displaySize) / static_cast<float>(clientExtent) *
           static_cast<float>(position);
}

void windowTitle(const char* title, wchar_t (&buffer)[1024]) {
    buffer[0] = L'\0';
    if (title == nullptr) return;
    // In every ANSI code page one byte yields at most one UTF-16 unit (a double-byte or UTF-8
    // sequence yields fewer units than bytes), so 1023 bytes always fit with the terminator.
    // A character cut in half at the end becomes the code page's default character.
    const int bytes = static_cast<int>(strnlen(title, 1023));
    const int written = MultiByteToWideChar(CP_ACP, 0, title, bytes, buffer, 1023);
    buffer[written > 0 ? written : 0] = L'\0';
}

// DisplayWindow

DisplayWindow::DisplayWindow(const char* title, int width, int height, WindowsAdapter* adapter,
                             DisplayInterface* display)
    : width(width), height(height), adapter(adapter), display(display) {
    fillKeyTable(keyTable);
    HINSTANCE module = GetModuleHandleW(nullptr);
    arrowCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    // A 1x1 cursor that leaves the screen as it is: AND plane ones, XOR plane zeros (rows
    // are padded to 16 bits).
    const BYTE andPlane[2] = {0xFF, 0xFF};
    const BYTE xorPlane[2] = {0x00, 0x00};
    blankCursor = CreateCursor(module, 0, 0, 1, 1, andPlane, xorPlane);

    wchar_t caption[1024];
    windowTitle(title, caption);
    // Window class names stop at 255 characters; the caption keeps the whole title. An
    // empty name cannot be registered, so an untitled display gets a name of its own.
    wchar_t className[256];
    const wchar_t* classSource = caption[0] != L'\0' ? caption : L"PixelDisplay";
    const size_t classLength = wcsnlen(classSource, 255);
    std::memcpy(className, classSource, classLength * sizeof(wchar_t));
    className[classLength] = L'\0';

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = 0;
    windowClass.lpfnWndProc = &DisplayWindow::windowProcedure;
    windowClass.hInstance = module;
    windowClass.hIcon = LoadIconW(module, L"DisplayIcon");
    windowClass.lpszClassName = className;
    UnregisterClassW(className, module);
    // The class survives the unregistration while another display of the same title still
    // has a window; it has this very window procedure, so it serves as well.
    if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return;

    handle = CreateWindowExW(0, className, caption, kWindowedStyle, 0, 0, width, height, nullptr,
                             nullptr, module, nullptr);
    if (handle == nullptr) return;
    // The full pointer: SetWindowLongW would cut a 64-bit address in half.
    SetWindowLongPtrW(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    rebuildMenu();
}

DisplayWindow::~DisplayWindow() {
    if (handle != nullptr) {
        DestroyWindow(handle);
        handle = nullptr;
    }
    if (blankCursor != nullptr) DestroyCursor(blankCursor);
    blankCursor = nullptr;
}

void DisplayWindow::setFullscreenStyle(int displayWidth, int displayHeight) {
    width = displayWidth;
    height = displayHeight;
    ShowWindow(handle, SW_HIDE);
    SetCursor(blankCursor);
    SetWindowLongPtrW(handle, GWL_STYLE, static_cast<LONG_PTR>(kFullscreenStyle));
    SetWindowPos(handle, nullptr, 0, 0, std::max(displayWidth, screenWidth()),
                 std::max(displayHeight, screenHeight()), SWP_NOZORDER);
    ShowWindow(handle, SW_SHOW);
    windowed = 0;
    rebuildMenu();
}

void DisplayWindow::setWindowedStyle(int displayWidth, int displayHeight) {
    width = displayWidth;
    height = displayHeight;
    ShowWindow(handle, SW_HIDE);
    SetWindowLongPtrW(handle, GWL_STYLE, static_cast<LONG_PTR>(kWindowedStyle));
    RECT outer;
    GetWindowRect(handle, &outer);
    AdjustWindowRect(&outer, kWindowedStyle, FALSE);
    SetWindowPos(handle, nullptr, outer.left, outer.top, outer.right - outer.left,
                 outer.bottom - outer.top, SWP_NOZORDER);
    centre();
    SetCursor(arrowCursor);
    windowed = 1;
    rebuildMenu();
}

void DisplayWindow::centre() {
    RECT outer;
    GetWindowRect(handle, &outer);
    const int outerWidth = outer.right - outer.left;
    const int outerHeight = outer.bottom - outer.top;
    SetWindowPos(handle, nullptr, centredOrigin(screenWidth(), outerWidth),
                 centredOrigin(screenHeight(), outerHeight), outerWidth, outerHeight, SWP_NOZORDER);
    centred = true;
    rebuildMenu();
}

void DisplayWindow::zoom(int factor) {
    RECT old;
    GetWindowRect(handle, &old);
    const int clientWidth = width * factor;
    const int clientHeight = height * factor;
    // The frame of the windowed style around this client area: AdjustWindowRect grows the
    // client rectangle (0, 0, w, h) to the outer one, left and top going negative.
    RECT grown = {0, 0, clientWidth, clientHeight};
    AdjustWindowRect(&grown, kWindowedStyle, FALSE);
    FrameBorders frame;
    frame.left = -grown.left;
    frame.top = -grown.top;
    frame.right = grown.right - clientWidth;
    frame.bottom = grown.bottom - clientHeight;
    WindowRect outer;
    outer.left = old.left;
    outer.top = old.top;
    outer.right = old.right;
    outer.bottom = old.bottom;
    const WindowRect placed = zoomedWindowRect(outer, clientWidth, clientHeight, frame);
    SetWindowPos(handle, nullptr, placed.left, placed.top, placed.right - placed.left,
                 placed.bottom - placed.top, SWP_NOZORDER);
}

void DisplayWindow::rebuildMenu() {
    systemMenu = GetSystemMenu(handle, FALSE);
    if (systemMenu == nullptr) return;
    for (UINT id : {1u, 2u, 3u, 4u, 5u, 6u, 8u, 7u, 9u, 10u})
        RemoveMenu(systemMenu, id, MF_BYCOMMAND);
    const MenuPlan plan = planMenu(windowed != 0, IsIconic(handle) || IsZoomed(handle), centred,
                                   width, height, screenWidth(), screenHeight());
    for (size_t i = 0; i < plan.count; ++i) {
        const UINT id = plan.ids[i];
        const bool separator =
            id == kMenuSeparatorZoom || id == kMenuSeparatorMode || id == kMenuSeparatorCenter;
        AppendMenuW(systemMenu, separator ? MF_SEPARATOR : MF_STRING, id, menuText(id));
    }
}

LRESULT CALLBACK DisplayWindow::windowProcedure(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
    auto* record = reinterpret_cast<DisplayWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (record == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    return record->handleMessage(window, message, wParam, lParam);
}

DisplayInterface& DisplayWindow::target() {
    DisplayInterface* facade = display->facade();
    return facade != nullptr ? *facade : *display;
}

void DisplayWindow::updateMousePosition(LPARAM lParam) {
    RECT client;
    GetClientRect(handle, &client);
    const int x = static_cast<int16_t>(LOWORD(lParam));
    const int y = static_cast<int16_t>(HIWORD(lParam));
    mouse.x = scaleMouse(width, client.right - client.left, x);
    mouse.y = scaleMouse(height, client.bottom - client.top, y);
}

void DisplayWindow::keyPressed(WPARAM wParam) {
    const unsigned k = wParam & 0xFF;
    if (k == VK_RETURN && GetAsyncKeyState(VK_MENU) != 0) {
        adapter->requestToggle();
        return;
    }
    if (!keyDown[k]) {
        if (listener != nullptr) listener->keyDown(target(), keyTable[k]);
        if ((listener == nullptr || listener->closeOnEscape()) && k == VK_ESCAPE)
            adapter->requestClose();
        keyDown[k] = true;
    }
    if (listener != nullptr) listener->keyStroke(target(), keyTable[k]);
}

void DisplayWindow::mouseButton(bool MouseState::*button, bool down, LPARAM lParam) {
    if (down) {
        if (!mouse.left && !mouse.middle && !mouse.right) SetCapture(handle);
        mouse.*button = true;
        updateMousePosition(lParam);
        if (listener != nullptr) listener->mouseDown(target(), mouse);
    } else {
        mouse.*button = false;
        updateMousePosition(lParam);
        if (listener != nullptr) listener->mouseUp(target(), mouse);
        if (!mouse.left && !mouse.middle && !mouse.right) ReleaseCapture();
    }
}

LRESULT DisplayWindow::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ACTIVATE:
            // The high word flags a minimised window; only the low word says (de)activation.
            active = LOWORD(wParam) != WA_INACTIVE;
            if (listener != nullptr) listener->activate(target(), active);
            break;
        case WM_PAINT:
            adapter->paint();
            break;
        case WM_CLOSE:
            if (listener == nullptr || listener->closeRequested(target())) adapter->requestClose();
            return 0;
        case WM_SETCURSOR:
            if (LOWORD(lParam) == HTCLIENT) SetCursor(windowed ? arrowCursor : blankCursor);
            break;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            keyPressed(wParam);
            break;
        case WM_KEYUP:
        case WM_SYSKEYUP: {
            const unsigned k = wParam & 0xFF;
            if (listener != nullptr) listener->keyUp(target(), keyTable[k]);
            keyDown[k] = false;
            break;
        }
        case WM_SYSCOMMAND:
            switch (wParam) {
                case kMenuOriginalSize:
                case kMenuZoom2:
                case kMenuZoom4:
                case kMenuZoom8:
                    zoom(1 << (wParam - kMenuOriginalSize));
                    rebuildMenu();
                    break;
                case kMenuWindowed:
                case kMenuFullscreen: {
                    WindowsAdapter* owner = adapter;
                    // A failed switch closes the display, which frees this record: nothing of
                    // it may be touched afterwards.
                    if (wParam == kMenuWindowed)
                        owner->enterWindowed();
                    else
                        owner->enterFullscreen();
                    return DefWindowProcW(window, message, wParam, lParam);
                }
                case kMenuCenter:
                    centre();
                    rebuildMenu();
                    break;
                default:
                    break;
            }
            break;
        case WM_MOUSEMOVE:
            updateMousePosition(lParam);
            if (listener != nullptr) listener->mouseMove(target(), mouse);
            break;
        case WM_LBUTTONDOWN:
            mouseButton(&MouseState::left, true, lParam);
            break;
        case WM_MBUTTONDOWN:
            mouseButton(&MouseState::middle, true, lParam);
            break;
        case WM_RBUTTONDOWN:
            mouseButton(&MouseState::right, true, lParam);
            break;
        case WM_LBUTTONUP:
            mouseButton(&MouseState::left, false, lParam);
            break;
        case WM_MBUTTONUP:
            mouseButton(&MouseState::middle, false, lParam);
            break;
        case WM_RBUTTONUP:
            mouseButton(&MouseState::right, false, lParam);
            break;
        case WM_SIZING:
            adapter->paint();
            rebuildMenu();
            break;
        case WM_SIZE:
            rebuildMenu();
            break;
        case WM_MOVING:
            if (centred) {
                centred = false;
                rebuildMenu();
            }
            break;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// WindowsDisplay

WindowsDisplay::WindowsDisplay() : WindowsDisplay(Direct3DCreate9(D3D_SDK_VERSION)) {}

WindowsDisplay::WindowsDisplay(IDirect3D9* direct3d) : direct3d_(direct3d) {}

WindowsDisplay::~WindowsDisplay() {
    freeWindowAndPresenter();
    WindowsDisplay::clearState();
    if (direct3d_ != nullptr) direct3d_->Release();
    direct3d_ = nullptr;
}

bool WindowsDisplay::open(const char* title, int width, int height, DisplayOutput output,
                          PixelMode mode) {
    // Closes, stores title, size, output kind and pixel mode, and raises the open flag.
    DisplayAdapter::open(title, width, height, output, mode);
    window_ = new DisplayWindow(title, width, height, this, this);
    window_->listener = listener_;
    if (window_->handle == nullptr) {
        close();
        return false;
    }
    const bool shown =
        (output == Unspecified || output == Windowed) ? enterWindowed() : enterFullscreen();
    if (!shown) return false;
    if (listener_ != nullptr) listener_->opened(callbackTarget());
    return true;
}

void WindowsDisplay::freeWindowAndPresenter() {
    delete presenter_;
    presenter_ = nullptr;
    // The record stays reachable while DestroyWindow sends its last messages.
    delete window_;
    window_ = nullptr;
}

void WindowsDisplay::close() {
    freeWindowAndPresenter();
    clearState();
}

void WindowsDisplay::clearState() {
    DisplayAdapter::clearState();
    window_ = nullptr;
    presenter_ = nullptr;
    closeRequested_ = false;
    toggleRequested_ = false;
}

void WindowsDisplay::setTitle(const char* title) {
    DisplayAdapter::setTitle(title);
    if (window_ == nullptr || window_->handle == nullptr) return;
    wchar_t caption[1024];
    windowTitle(title, caption);
    SetWindowTextW(window_->handle, caption);
}

void WindowsDisplay::setListener(Listener* listener) {
    listener_ = listener;
    if (window_ != nullptr) window_->listener = listener;
}

bool WindowsDisplay::refresh(const PackedPixel* packed, const FloatPixel* floats,
                             const DirtyBox* box) {
    if (closeRequested_) {
        close();
        return false;
    }
    if (toggleRequested_) {
        toggleRequested_ = false;
        if (outputKind_ == Windowed)
            enterFullscreen();
        else
            enterWindowed();
    }
    if (window_ != nullptr) pumpMessages();
    if (presenter_ != nullptr) presenter_->uploadAndPresent(packed, floats, box);
    if (window_ != nullptr && window_->handle != nullptr && !IsWindowVisible(window_->handle)) {
        ShowWindow(window_->handle, SW_SHOW);
        pumpMessages();
    }
    return true;
}

void WindowsDisplay::pumpMessages() {
    if (window_ == nullptr) return;
    if (window_->windowed == 0 && window_->active) SetCursor(window_->blankCursor);
    // The window may go away while a message is handled (a failed mode switch closes the
    // display), so the record is looked up afresh on every pass.
    while (window_ != nullptr && window_->handle != nullptr) {
        MSG message;
        const bool got = PeekMessageW(&message, window_->handle, 0, 0, PM_REMOVE) != 0;
        if (got) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(0);
        if (!got) break;
    }
}

bool WindowsDisplay::enterWindowed() {
    return enterMode(true);
}

bool WindowsDisplay::enterFullscreen() {
    return enterMode(false);
}

bool WindowsDisplay::enterMode(bool windowed) {
    const DisplayOutput kind = windowed ? Windowed : Fullscreen;
    if (presenter_ != nullptr && outputKind_ == kind) return true;
    delete presenter_;
    presenter_ = nullptr;
    // Without a window or a Direct3D object (Direct3DCreate9 failed) there is nothing to
    // show with.
    if (window_ == nullptr || window_->handle == nullptr || direct3d_ == nullptr) {
        close();
        return false;
    }
    if (windowed)
        window_->setWindowedStyle(width_, height_);
    else
        window_->setFullscreenStyle(width_, height_);
    presenter_ =
        new Direct3DPresenter(direct3d_, window_->handle, pixelMode_, width_, height_, windowed);
    presenter_->setUp();
    if (presenter_->device() == nullptr || presenter_->texture() == nullptr ||
        FAILED(presenter_->device()->TestCooperativeLevel())) {
        close();
        return false;
    }
    outputKind_ = kind;
    if (!windowed) pumpMessages();
    return true;
}

bool WindowsDisplay::paint() {
    if (presenter_ != nullptr && presenter_->device() != nullptr &&
        SUCCEEDED(presenter_->device()->TestCooperativeLevel()))
        return presenter_->present();
    if (window_ == nullptr || window_->handle == nullptr) return true;
    HWND handle = window_->handle;
    HDC context = GetDC(handle);
    if (context != nullptr) {
        HBRUSH brush = CreateSolidBrush(RGB(0, 0, 0));
        HGDIOBJ previous = SelectObject(context, brush);
        RECT client;
        GetClientRect(handle, &client);
        Rectangle(context, 0, 0, client.right, client.bottom);
        // A brush still selected into a device context cannot be deleted.
        SelectObject(context, previous);
        DeleteObject(brush);
        ReleaseDC(handle, context);
    }
    ValidateRect(handle, nullptr);
    return true;
}

void WindowsDisplay::requestToggle() {
    toggleRequested_ = true;
}

void WindowsDisplay::requestClose() {
    closeRequested_ = true;
}

}  // namespace PixelDisplay

bool PixelDisplay::displayArea(DisplayOutput output, int& width, int& height) {
    if (output == Fullscreen) {
        width = GetSystemMetrics(SM_CXSCREEN);
        height = GetSystemMetrics(SM_CYSCREEN);
        return width > 0 && height > 0;
    }
    RECT work;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) return false;
    RECT frame = {0, 0, 0, 0};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    width = (work.right - work.left) - (frame.right - frame.left);
    height = (work.bottom - work.top) - (frame.bottom - frame.top);
    return width > 0 && height > 0;
}

PixelDisplay::DisplayInterface* PixelDisplay::createPlatformDisplay() {
    return new WindowsDisplay();
}
