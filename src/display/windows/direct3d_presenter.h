// The Direct3D 9 half of the Windows display: a device for the display's window, one texture
// of the display's size that receives each frame through the pixel converters, and its
// presentation, either by copying the texture into the back buffer (same format, system-memory
// texture) or by drawing it as a screen-filling textured quad (the card converts and scales).
//
// The device renders nothing else. A new presenter is made for every switch between windowed
// and full-screen output.
#pragma once

#include <d3d9.h>
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "display/converters.h"
#include "display/display.h"

namespace PixelDisplay {

// D3DFMT_UNKNOWN for the formats Direct3D 9 has no surface format for.
D3DFORMAT toD3DFormat(PixelFormat format);

// One (back buffer format, device type) pair of the device choice.
struct DeviceAttempt {
    PixelFormat format;
    D3DDEVTYPE type;
};

// The device attempts in order; with FloatPixels a float back buffer is tried first, on the
// hardware and then on the reference device. Returns the count written (at most 8).
size_t deviceAttempts(PixelMode mode, DeviceAttempt (&attempts)[8]);

// The texture formats in order (at most 6).
size_t textureAttempts(PixelMode mode, PixelFormat (&formats)[6]);

// A texture of the back buffer's own integer format lives in system memory, where
// UpdateSurface can copy it into the back buffer; any other is dynamic in the default pool,
// to be drawn as a quad.
D3DPOOL texturePool(PixelFormat textureFormat, PixelFormat deviceFormat, DWORD& usage);

// The full-screen mode search: the smallest mode at least width x height, where "smaller"
// means no larger in either direction, so among equal sizes the last one offered wins.
struct ModeChoice {
    bool found = false;
    UINT width = 0;
    UINT height = 0;
    void consider(UINT modeWidth, UINT modeHeight, int needWidth, int needHeight);
};

// The region an update converts: the box cut to the display (null box: the whole display).
// False when nothing of it lies on the display.
bool updateRegion(const DirtyBox* box, int width, int height, DirtyBox& region);

// Converts `region` of a source buffer `width` pixels wide (rows following each other) into
// a destination whose first byte is the region's top-left pixel and whose rows are `pitch`
// bytes apart: prepare, one convert per row, finish.
void convertRegion(Converter& converter, const void* source, int sourcePixelBytes, int width,
                   const DirtyBox& region, void* destination, ptrdiff_t pitch);

// The screen-filling quad for a W x H render target: x, y, z, rhw, u, v per corner in
// triangle-strip order. The -0.5 shift puts texel centres on pixel centres.
void quadVertices(UINT width, UINT height, float (&vertices)[24]);

class Direct3DPresenter {
public:
    Direct3DPresenter(IDirect3D9* direct3d, HWND window, PixelMode mode, int width, int height,
                      bool windowed);
    ~Direct3DPresenter();
    Direct3DPresenter(const Direct3DPresenter&) = delete;
    Direct3DPresenter& operator=(const Direct3DPresenter&) = delete;

    // Chooses and creates the device, then the texture. Either may be missing afterwards.
    void setUp();
    // Exactly one pixel pointer is non-null; rows of width pixels. True when the frame
    // reached the screen; a dropped frame is not an error.
    bool uploadAndPresent(const PackedPixel* packed, const FloatPixel* floats, const DirtyBox* box);
    // Shows the texture's current content again.
    bool present();
    // Releases the texture, then the device.
    void release();

    IDirect3DDevice9* device() const { return device_; }
    IDirect3DTexture9* texture() const { return texture_; }
    PixelFormat deviceFormat() const { return deviceFormat_; }
    PixelFormat textureFormat() const { return textureFormat_; }
    D3DPOOL texturePoolInUse() const { return texturePool_; }
    bool stretch() const { return stretch_; }
    bool linear() const { return linear_; }
    const D3DPRESENT_PARAMETERS& presentationParameters() const { return parameters_; }
    // Textures made so far, the one made again after a Reset included: a new texture may
    // well land at the address the old one was freed from.
    int texturesCreated() const { return texturesCreated_; }

private:
    bool attemptDevice(PixelFormat format, D3DDEVTYPE type);
    bool createDevice(D3DDEVTYPE type);
    bool attemptTexture(PixelFormat format);
    void releaseTexture();
    void resetLostDevice();
    bool drawQuad();
    bool copyToBackBuffer();

    IDirect3D9* direct3d_;
    HWND window_;
    D3DPRESENT_PARAMETERS parameters_;
    IDirect3DDevice9* device_ = nullptr;
    IDirect3DTexture9* texture_ = nullptr;
    int32_t width_;
    int32_t height_;
    PixelFormat deviceFormat_ = NoFormat;
    PixelFormat textureFormat_ = NoFormat;
    PixelMode pixelMode_;
    bool windowed_;
    bool stretch_ = false;
    bool linear_ = false;
    D3DPOOL texturePool_ = D3DPOOL_SYSTEMMEM;
    int texturesCreated_ = 0;
};

}  // namespace PixelDisplay
