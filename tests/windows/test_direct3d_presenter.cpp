// The Direct3D 9 presenter: its choices with hand-made inputs, and a real device (Wine's, on
// the virtual screen) receiving frames and boxes.
#include "display/windows/direct3d_presenter.h"

#include <gtest/gtest.h>

#include <cstring>

#include "windows_test_support.h"

using namespace PixelDisplay;
using namespace windows_test;

namespace {

// A texture's level 0 read back as 32-bit words (integer formats) or floats.
template <typename T>
std::vector<T> readTexture(IDirect3DTexture9* texture, int width, int height, int perPixel) {
    std::vector<T> pixels;
    D3DLOCKED_RECT locked;
    if (FAILED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))) return pixels;
    pixels.resize(static_cast<size_t>(width) * height * perPixel);
    for (int y = 0; y < height; ++y)
        std::memcpy(&pixels[static_cast<size_t>(y) * width * perPixel],
                    static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch,
                    sizeof(T) * width * perPixel);
    texture->UnlockRect(0);
    return pixels;
}

}  // namespace

TEST(PresenterChoices, DeviceAndTextureOrder) {
    DeviceAttempt attempts[8];
    ASSERT_EQ(deviceAttempts(FloatPixels, attempts), 8u);
    const DeviceAttempt floatOrder[8] = {{XBGRFFFF, D3DDEVTYPE_HAL}, {XRGB8888, D3DDEVTYPE_HAL},
                                         {XBGR8888, D3DDEVTYPE_HAL}, {RGB888, D3DDEVTYPE_HAL},
                                         {RGB565, D3DDEVTYPE_HAL},   {XRGB1555, D3DDEVTYPE_HAL},
                                         {XBGRFFFF, D3DDEVTYPE_REF}, {XRGB8888, D3DDEVTYPE_REF}};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(attempts[i].format, floatOrder[i].format) << i;
        EXPECT_EQ(attempts[i].type, floatOrder[i].type) << i;
    }
    ASSERT_EQ(deviceAttempts(IntegerPixels, attempts), 6u);
    for (int i = 0; i < 6; ++i) {
        const DeviceAttempt& expected = i < 5 ? floatOrder[i + 1] : floatOrder[7];
        EXPECT_EQ(attempts[i].format, expected.format) << i;
        EXPECT_EQ(attempts[i].type, expected.type) << i;
    }

    PixelFormat formats[6];
    ASSERT_EQ(textureAttempts(FloatPixels, formats), 6u);
    const PixelFormat textureOrder[6] = {XBGRFFFF, XRGB8888, XBGR8888, RGB888, RGB565, XRGB1555};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(formats[i], textureOrder[i]);
    ASSERT_EQ(textureAttempts(IntegerPixels, formats), 5u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(formats[i], textureOrder[i + 1]);
}

TEST(PresenterChoices, FormatsAndPools) {
    EXPECT_EQ(toD3DFormat(XRGB8888), D3DFMT_X8R8G8B8);
    EXPECT_EQ(toD3DFormat(XBGR8888), D3DFMT_X8B8G8R8);
    EXPECT_EQ(toD3DFormat(RGB888), D3DFMT_R8G8B8);
    EXPECT_EQ(toD3DFormat(RGB565), D3DFMT_R5G6B5);
    EXPECT_EQ(toD3DFormat(XRGB1555), D3DFMT_X1R5G5B5);
    EXPECT_EQ(toD3DFormat(XBGRFFFF), D3DFMT_A32B32G32R32F);
    for (PixelFormat none : {NoFormat, BGR888, BGR565, XBGR1555})
        EXPECT_EQ(toD3DFormat(none), D3DFMT_UNKNOWN);

    DWORD usage = 99;
    // The back buffer's own integer format: system memory, for UpdateSurface.
    EXPECT_EQ(texturePool(XRGB8888, XRGB8888, usage), D3DPOOL_SYSTEMMEM);
    EXPECT_EQ(usage, 0u);
    EXPECT_EQ(texturePool(RGB565, RGB565, usage), D3DPOOL_SYSTEMMEM);
    // Anything else, floats even on a float back buffer: dynamic, default pool.
    EXPECT_EQ(texturePool(XBGRFFFF, XBGRFFFF, usage), D3DPOOL_DEFAULT);
    EXPECT_EQ(usage, static_cast<DWORD>(D3DUSAGE_DYNAMIC));
    EXPECT_EQ(texturePool(XBGRFFFF, XRGB8888, usage), D3DPOOL_DEFAULT);
    EXPECT_EQ(texturePool(XRGB8888, RGB565, usage), D3DPOOL_DEFAULT);
}

TEST(PresenterChoices, SmallestModeThatHoldsTheDisplay) {
    struct Case {
        std::vector<std::pair<UINT, UINT>> modes;
        bool found;
        UINT width, height;
    };
    const Case cases[] = {
        {{{640, 480}, {800, 600}}, true, 640, 480},
        {{{800, 600}, {640, 480}}, true, 640, 480},
        {{{1024, 768}, {800, 600}, {1280, 1024}}, true, 800, 600},
        {{{320, 240}, {640, 400}, {600, 480}}, false, 0, 0},  // nothing holds 640x480
        {{}, false, 0, 0},
        // Neither is smaller in both directions: the first stays.
        {{{1280, 720}, {1024, 768}}, true, 1280, 720},
        {{{640, 480}, {640, 480}}, true, 640, 480},
    };
    for (const Case& c : cases) {
        ModeChoice choice;
        for (const auto& [w, h] : c.modes) choice.consider(w, h, 640, 480);
        EXPECT_EQ(choice.found, c.found);
        if (c.found) {
            EXPECT_EQ(choice.width, c.width);
            EXPECT_EQ(choice.height, c.height);
        }
    }
}

TEST(PresenterChoices, UpdateRegionsStayOnTheDisplay) {
    DirtyBox region;
    EXPECT_TRUE(updateRegion(nullptr, 640, 480, region));
    EXPECT_EQ(region.xBegin, 0);
    EXPECT_EQ(region.xEnd, 640);
    EXPECT_EQ(region.yBegin, 0);
    EXPECT_EQ(region.yEnd, 480);

    const DirtyBox inside = {10, 20, 30, 40};
    EXPECT_TRUE(updateRegion(&inside, 640, 480, region));
    EXPECT_EQ(region.xBegin, 10);
    EXPECT_EQ(region.xEnd, 20);
    EXPECT_EQ(region.yBegin, 30);
    EXPECT_EQ(region.yEnd, 40);

    const DirtyBox overhanging = {-5, 700, 470, 1000};
    EXPECT_TRUE(updateRegion(&overhanging, 640, 480, region));
    EXPECT_EQ(region.xBegin, 0);
    EXPECT_EQ(region.xEnd, 640);
    EXPECT_EQ(region.yBegin, 470);
    EXPECT_EQ(region.yEnd, 480);

    const DirtyBox outside[] = {{700, 800, 0, 10},
                                {5, 5, 0, 10},
                                {20, 10, 0, 10},
                                {0, 10, -20, -1},
                                {INT32_MIN, INT32_MIN, 0, 480}};
    for (const DirtyBox& box : outside) EXPECT_FALSE(updateRegion(&box, 640, 480, region));
}

TEST(PresenterChoices, BoxConvertsOnlyItsRows) {
    // A 64x48 float frame whose pixel (x, y) has red x/64 and green y/64.
    constexpr int kWidth = 64, kHeight = 48;
    std::vector<FloatPixel> source(kWidth * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) source[y * kWidth + x] = {x / 64.0f, y / 64.0f, 0, 7};
    // A locked rectangle of 10x10 pixels with a pitch of 48 bytes (12 words, 2 spare).
    constexpr int kPitchWords = 12;
    std::vector<uint32_t> locked(kPitchWords * 10, 0xDEADBEEF);
    const DirtyBox region = {10, 20, 30, 40};
    convertRegion(*findConverter(XBGRFFFF, XRGB8888), source.data(), 16, kWidth, region,
                  locked.data(), kPitchWords * 4);
    for (int row = 0; row < 10; ++row) {
        for (int column = 0; column < kPitchWords; ++column) {
            const uint32_t word = locked[row * kPitchWords + column];
            if (column >= 10) {
                EXPECT_EQ(word, 0xDEADBEEFu) << row << "," << column;  // past the row
                continue;
            }
            // x/64 in 8 bits is 4x; so red = 4 * (10 + column), green = 4 * (30 + row).
            const uint32_t expected = (4u * (10 + column)) << 16 | (4u * (30 + row)) << 8;
            EXPECT_EQ(word, expected) << row << "," << column;
        }
    }
}

TEST(PresenterChoices, QuadCoversTheTargetWithHalfPixelShift) {
    float v[24];
    quadVertices(800, 600, v);
    const float expected[24] = {-0.5f, -0.5f,  0.5f, 1, 0, 0, 799.5f, -0.5f,  0.5f, 1, 1, 0,
                                -0.5f, 599.5f, 0.5f, 1, 0, 1, 799.5f, 599.5f, 0.5f, 1, 1, 1};
    for (int i = 0; i < 24; ++i) EXPECT_EQ(v[i], expected[i]) << i;
}

// A real device on a hidden 640x480 window.
class PresenterOnWindow : public ::testing::Test {
protected:
    void SetUp() override {
        direct3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(direct3d_, nullptr);
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"presenter test";
        RegisterClassExW(&windowClass);
        window_ = CreateWindowExW(0, L"presenter test", L"presenter test", WS_OVERLAPPEDWINDOW, 0,
                                  0, 640, 480, nullptr, nullptr, windowClass.hInstance, nullptr);
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        if (window_ != nullptr) DestroyWindow(window_);
        if (direct3d_ != nullptr) direct3d_->Release();
    }

    IDirect3D9* direct3d_ = nullptr;
    HWND window_ = nullptr;
};

TEST_F(PresenterOnWindow, IntegerFramesAndBoxesReachTheTexture) {
    Direct3DPresenter presenter(direct3d_, window_, IntegerPixels, 640, 480, true);
    presenter.setUp();
    ASSERT_NE(presenter.device(), nullptr);
    ASSERT_NE(presenter.texture(), nullptr);
    // A windowed integer device takes the desktop's 32-bit format first; the texture then
    // has the same format in system memory and is copied, not drawn.
    EXPECT_EQ(presenter.deviceFormat(), XRGB8888);
    EXPECT_EQ(presenter.textureFormat(), XRGB8888);
    EXPECT_EQ(presenter.texturePoolInUse(), D3DPOOL_SYSTEMMEM);
    EXPECT_FALSE(presenter.stretch());
    const D3DPRESENT_PARAMETERS& parameters = presenter.presentationParameters();
    EXPECT_EQ(parameters.BackBufferWidth, 640u);
    EXPECT_EQ(parameters.BackBufferHeight, 480u);
    EXPECT_EQ(parameters.BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(parameters.SwapEffect, D3DSWAPEFFECT_DISCARD);
    EXPECT_TRUE(parameters.Windowed);
    EXPECT_EQ(parameters.hDeviceWindow, window_);
    EXPECT_EQ(parameters.EnableAutoDepthStencil, FALSE);

    const std::vector<PackedPixel> grey = solidFrame(0xFF808080);
    EXPECT_TRUE(presenter.uploadAndPresent(grey.data(), nullptr, nullptr));
    // A second frame of another colour, but only its box (10, 20, 30, 40) goes up.
    const std::vector<PackedPixel> red = solidFrame(0x00FF0000);
    const DirtyBox box = {10, 20, 30, 40};
    EXPECT_TRUE(presenter.uploadAndPresent(red.data(), nullptr, &box));
    const std::vector<uint32_t> texels = readTexture<uint32_t>(presenter.texture(), 640, 480, 1);
    ASSERT_EQ(texels.size(), 640u * 480u);
    int redCount = 0;
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            const bool inBox = x >= 10 && x < 20 && y >= 30 && y < 40;
            const uint32_t texel = texels[y * 640 + x];
            redCount += texel == 0x00FF0000u;
            // The copy converter keeps the top byte as it came.
            if (inBox != (texel == 0x00FF0000u)) {
                ADD_FAILURE() << "texel " << x << "," << y << " is " << std::hex << texel;
                return;
            }
            if (!inBox) {
                EXPECT_EQ(texel, 0xFF808080u);
            }
        }
    }
    EXPECT_EQ(redCount, 100);
    // A box hanging over the edges is cut to the display.
    const DirtyBox overhanging = {630, 700, -10, 2};
    EXPECT_TRUE(presenter.uploadAndPresent(red.data(), nullptr, &overhanging));
    const std::vector<uint32_t> after = readTexture<uint32_t>(presenter.texture(), 640, 480, 1);
    EXPECT_EQ(after[0 * 640 + 639], 0x00FF0000u);
    EXPECT_EQ(after[1 * 640 + 630], 0x00FF0000u);
    EXPECT_EQ(after[2 * 640 + 639], 0xFF808080u);
    EXPECT_EQ(after[0 * 640 + 629], 0xFF808080u);
    EXPECT_TRUE(presenter.present());
}

TEST_F(PresenterOnWindow, FloatFramesAreDrawnAsAQuad) {
    Direct3DPresenter presenter(direct3d_, window_, FloatPixels, 640, 480, true);
    presenter.setUp();
    ASSERT_NE(presenter.device(), nullptr);
    ASSERT_NE(presenter.texture(), nullptr);
    EXPECT_EQ(presenter.textureFormat(), XBGRFFFF);
    EXPECT_EQ(presenter.texturePoolInUse(), D3DPOOL_DEFAULT);
    // Whatever back buffer the device took (Wine accepts a float one), a default-pool
    // texture can only be drawn.
    EXPECT_TRUE(presenter.stretch());
    EXPECT_FALSE(presenter.linear());

    std::vector<FloatPixel> frame(640 * 480, FloatPixel{0.25f, 0.5f, 0.75f, 3.0f});
    EXPECT_TRUE(presenter.uploadAndPresent(nullptr, frame.data(), nullptr));
    const std::vector<float> texels = readTexture<float>(presenter.texture(), 640, 480, 4);
    ASSERT_EQ(texels.size(), 640u * 480u * 4u);
    EXPECT_EQ(texels[0], 0.25f);
    EXPECT_EQ(texels[1], 0.5f);
    EXPECT_EQ(texels[2], 0.75f);
    EXPECT_EQ(texels[3], 3.0f);  // the float copy takes the fourth value along
    // Packed pixels into a float texture: k/256 per component.
    const std::vector<PackedPixel> packed = solidFrame(0x00804020);
    EXPECT_TRUE(presenter.uploadAndPresent(packed.data(), nullptr, nullptr));
    const std::vector<float> converted = readTexture<float>(presenter.texture(), 640, 480, 4);
    EXPECT_EQ(converted[4 * 1000 + 0], 0x80 / 256.0f);
    EXPECT_EQ(converted[4 * 1000 + 1], 0x40 / 256.0f);
    EXPECT_EQ(converted[4 * 1000 + 2], 0x20 / 256.0f);
}

TEST_F(PresenterOnWindow, FullScreenTakesTheSmallestModeAndRecoversALostDevice) {
    Direct3DPresenter presenter(direct3d_, window_, FloatPixels, 640, 480, false);
    presenter.setUp();
    ASSERT_NE(presenter.device(), nullptr);
    ASSERT_NE(presenter.texture(), nullptr);
    // Full screen has no float display modes: the first integer format with a mode wins.
    EXPECT_EQ(presenter.deviceFormat(), XRGB8888);
    ModeChoice expected;
    const UINT modes = direct3d_->GetAdapterModeCount(D3DADAPTER_DEFAULT, D3DFMT_X8R8G8B8);
    for (UINT i = 0; i < modes; ++i) {
        D3DDISPLAYMODE mode;
        if (SUCCEEDED(direct3d_->EnumAdapterModes(D3DADAPTER_DEFAULT, D3DFMT_X8R8G8B8, i, &mode)))
            expected.consider(mode.Width, mode.Height, 640, 480);
    }
    ASSERT_TRUE(expected.found);
    const D3DPRESENT_PARAMETERS& parameters = presenter.presentationParameters();
    EXPECT_EQ(parameters.BackBufferWidth, expected.width);
    EXPECT_EQ(parameters.BackBufferHeight, expected.height);
    EXPECT_FALSE(parameters.Windowed);
    const bool exact = expected.width == 640 && expected.height == 480;
    EXPECT_EQ(presenter.linear(), !exact);
    EXPECT_TRUE(presenter.stretch());  // float texture on an integer back buffer
    std::vector<FloatPixel> frame(640 * 480, FloatPixel{1.0f, 0.0f, 0.0f, 0.0f});
    EXPECT_TRUE(presenter.uploadAndPresent(nullptr, frame.data(), nullptr));
    EXPECT_EQ(presenter.texturesCreated(), 1);

    // Losing the application's activation loses a full-screen device; getting it back asks
    // for a Reset, which the default-pool texture would block.
    SendMessageW(window_, WM_ACTIVATEAPP, FALSE, 0);
    SendMessageW(window_, WM_ACTIVATEAPP, TRUE, 0);
    if (presenter.device()->TestCooperativeLevel() != D3DERR_DEVICENOTRESET)
        GTEST_SKIP() << "this Direct3D does not lose the device on deactivation";
    // Counted, not compared by address: the new texture may land where the old one was freed.
    const int made = presenter.texturesCreated();
    const std::vector<FloatPixel> green(640 * 480, FloatPixel{0.0f, 1.0f, 0.0f, 0.0f});
    EXPECT_TRUE(presenter.uploadAndPresent(nullptr, green.data(), nullptr));
    EXPECT_EQ(presenter.device()->TestCooperativeLevel(), D3D_OK);
    ASSERT_NE(presenter.texture(), nullptr);
    EXPECT_EQ(presenter.texturesCreated(), made + 1);  // made again after the Reset
    EXPECT_EQ(presenter.textureFormat(), XBGRFFFF);
    // and the frame went into the new one.
    const std::vector<float> texels = readTexture<float>(presenter.texture(), 640, 480, 4);
    ASSERT_EQ(texels.size(), 640u * 480u * 4u);
    EXPECT_EQ(texels[0], 0.0f);
    EXPECT_EQ(texels[1], 1.0f);
    EXPECT_TRUE(presenter.present());
}

TEST_F(PresenterOnWindow, NoDeviceMeansDroppedFrames) {
    Direct3DPresenter presenter(direct3d_, window_, IntegerPixels, 0, 0, true);
    presenter.setUp();
    EXPECT_EQ(presenter.device(), nullptr);
    const std::vector<PackedPixel> frame = solidFrame(0);
    EXPECT_FALSE(presenter.uploadAndPresent(frame.data(), nullptr, nullptr));
    EXPECT_FALSE(presenter.present());

    Direct3DPresenter released(direct3d_, window_, IntegerPixels, 640, 480, true);
    released.setUp();
    ASSERT_NE(released.device(), nullptr);
    released.release();
    EXPECT_EQ(released.device(), nullptr);
    EXPECT_EQ(released.texture(), nullptr);
    EXPECT_FALSE(released.uploadAndPresent(frame.data(), nullptr, nullptr));
}
