#include "display/windows/direct3d_presenter.h"

#include <algorithm>

#include "display/window_geometry.h"

namespace PixelDisplay {

namespace {

constexpr DWORD kVertexFormat = D3DFVF_XYZRHW | D3DFVF_TEX1;  // 0x104
constexpr UINT kVertexStride = 6 * sizeof(float);

template <typename T>
void releaseInterface(T*& object) {
    if (object != nullptr) object->Release();
    object = nullptr;
}

}  // namespace

D3DFORMAT toD3DFormat(PixelFormat format) {
    switch (format) {
        case XRGB8888:
            return D3DFMT_X8R8G8B8;
        case XBGR8888:
            return D3DFMT_X8B8G8R8;
        case RGB888:
            return D3DFMT_R8G8B8;
        case RGB565:
            return D3DFMT_R5G6B5;
        case XRGB1555:
            return D3DFMT_X1R5G5B5;
        case XBGRFFFF:
            return D3DFMT_A32B32G32R32F;
        default:
            return D3DFMT_UNKNOWN;
    }
}

size_t deviceAttempts(PixelMode mode, DeviceAttempt (&attempts)[8]) {
    size_t count = 0;
    if (mode == FloatPixels) attempts[count++] = {XBGRFFFF, D3DDEVTYPE_HAL};
    for (PixelFormat format : {XRGB8888, XBGR8888, RGB888, RGB565, XRGB1555})
        attempts[count++] = {format, D3DDEVTYPE_HAL};
    if (mode == FloatPixels) attempts[count++] = {XBGRFFFF, D3DDEVTYPE_REF};
    attempts[count++] = {XRGB8888, D3DDEVTYPE_REF};
    return count;
}

size_t textureAttempts(PixelMode mode, PixelFormat (&formats)[6]) {
    size_t count = 0;
    if (mode == FloatPixels) formats[count++] = XBGRFFFF;
    for (PixelFormat format : {XRGB8888, XBGR8888, RGB888, RGB565, XRGB1555})
        formats[count++] = format;
    return count;
}

D3DPOOL texturePool(PixelFormat textureFormat, PixelFormat deviceFormat, DWORD& usage) {
    if (textureFormat != XBGRFFFF && textureFormat == deviceFormat) {
        usage = 0;
        return D3DPOOL_SYSTEMMEM;
    }
    usage = D3DUSAGE_DYNAMIC;
    return D3DPOOL_DEFAULT;
}

void ModeChoice::consider(UINT modeWidth, UINT modeHeight, int needWidth, int needHeight) {
    if (needWidth < 0 || needHeight < 0) return;
    if (modeWidth < static_cast<UINT>(needWidth) || modeHeight < static_cast<UINT>(needHeight))
        return;
    if (!found || (modeWidth <= width && modeHeight <= height)) {
        found = true;
        width = modeWidth;
        height = modeHeight;
    }
}

bool updateRegion(const DirtyBox* box, int width, int height, DirtyBox& region) {
    // A box reaching past the display is cut to it rather than read or written outside the
    // caller's buffer and the texture.
    region = clampBox(box, width, height);
    return region.xBegin < region.xEnd && region.yBegin < region.yEnd;
}

void convertRegion(Converter& converter, const void* source, int sourcePixelBytes, int width,
                   const DirtyBox& region, void* destination, ptrdiff_t pitch) {
    const ptrdiff_t sourcePitch = static_cast<ptrdiff_t>(width) * sourcePixelBytes;
    const auto* from = static_cast<const uint8_t*>(source) + region.yBegin * sourcePitch +
                       static_cast<ptrdiff_t>(region.xBegin) * sourcePixelBytes;
    auto* to = static_cast<uint8_t*>(destination);
    const uint32_t count = static_cast<uint32_t>(region.xEnd - region.xBegin);
    converter.prepare();
    for (int32_t y = region.yBegin; y < region.yEnd; ++y) {
        converter.convert(from, to, count);
        from += sourcePitch;
        to += pitch;
    }
    converter.finish();
}

void quadVertices(UINT width, UINT height, float (&vertices)[24]) {
    const float right = static_cast<float>(width) - 0.5f;
    const float bottom = static_cast<float>(height) - 0.5f;
    const float corners[4][6] = {
        {-0.5f, -0.5f, 0.5f, 1.0f, 0.0f, 0.0f},
        {right, -0.5f, 0.5f, 1.0f, 1.0f, 0.0f},
        {-0.5f, bottom, 0.5f, 1.0f, 0.0f, 1.0f},
        {right, bottom, 0.5f, 1.0f, 1.0f, 1.0f},
    };
    std::copy(&corners[0][0], &corners[0][0] + 24, vertices);
}

// Direct3DPresenter

Direct3DPresenter::Direct3DPresenter(IDirect3D9* direct3d, HWND window, PixelMode mode, int width,
                                     int height, bool windowed)
    : direct3d_(direct3d),
      window_(window),
      parameters_{},
      width_(width),
      height_(height),
      pixelMode_(mode),
      windowed_(windowed) {}

Direct3DPresenter::~Direct3DPresenter() {
    release();
}

void Direct3DPresenter::release() {
    releaseInterface(texture_);
    releaseInterface(device_);
}

void Direct3DPresenter::releaseTexture() {
    releaseInterface(texture_);
}

void Direct3DPresenter::setUp() {
    if (direct3d_ == nullptr || width_ <= 0 || height_ <= 0) return;
    DeviceAttempt devices[8];
    const size_t deviceCount = deviceAttempts(pixelMode_, devices);
    bool haveDevice = false;
    for (size_t i = 0; i < deviceCount && !haveDevice; ++i)
        haveDevice = attemptDevice(devices[i].format, devices[i].type);
    if (!haveDevice) return;

    PixelFormat textures[6];
    const size_t textureCount = textureAttempts(pixelMode_, textures);
    for (size_t i = 0; i < textureCount; ++i) {
        if (!attemptTexture(textures[i])) continue;
        // UpdateSurface copies only from system memory, so a default-pool texture must be
        // drawn even when its format is the back buffer's own.
        if (textureFormat_ != deviceFormat_ || texturePool_ != D3DPOOL_SYSTEMMEM) stretch_ = true;
        return;
    }
}

bool Direct3DPresenter::attemptDevice(PixelFormat format, D3DDEVTYPE type) {
    deviceFormat_ = format;
    const D3DFORMAT d3dFormat = toD3DFormat(format);
    UINT backWidth = static_cast<UINT>(width_);
    UINT backHeight = static_cast<UINT>(height_);
    if (!windowed_) {
        ModeChoice best;
        const UINT modes = direct3d_->GetAdapterModeCount(D3DADAPTER_DEFAULT, d3dFormat);
        for (UINT i = 0; i < modes; ++i) {
            D3DDISPLAYMODE mode;
            if (FAILED(direct3d_->EnumAdapterModes(D3DADAPTER_DEFAULT, d3dFormat, i, &mode)))
                continue;
            best.consider(mode.Width, mode.Height, width_, height_);
        }
        if (!best.found) return false;
        if (best.width != backWidth || best.height != backHeight) {
            stretch_ = true;
            linear_ = true;
        } else {
            linear_ = false;
        }
        backWidth = best.width;
        backHeight = best.height;
    }

    parameters_ = D3DPRESENT_PARAMETERS{};
    parameters_.BackBufferWidth = backWidth;
    parameters_.BackBufferHeight = backHeight;
    parameters_.BackBufferFormat = d3dFormat;
    parameters_.BackBufferCount = 2;
    parameters_.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters_.hDeviceWindow = window_;
    parameters_.Windowed = windowed_ ? TRUE : FALSE;

    releaseInterface(device_);
    if (!createDevice(type)) {
        parameters_.BackBufferCount = 1;
        createDevice(type);
    }
    return device_ != nullptr;
}

bool Direct3DPresenter::createDevice(D3DDEVTYPE type) {
    for (DWORD behaviour : {D3DCREATE_HARDWARE_VERTEXPROCESSING, D3DCREATE_MIXED_VERTEXPROCESSING,
                            D3DCREATE_SOFTWARE_VERTEXPROCESSING}) {
        // A refused CreateDevice may rewrite the parameters (the back buffer count, say);
        // each try starts from the ones chosen.
        D3DPRESENT_PARAMETERS parameters = parameters_;
        IDirect3DDevice9* device = nullptr;
        if (SUCCEEDED(direct3d_->CreateDevice(D3DADAPTER_DEFAULT, type, window_, behaviour,
                                              &parameters, &device)) &&
            device != nullptr) {
            device_ = device;
            parameters_ = parameters;
            return true;
        }
        releaseInterface(device);
    }
    return false;
}

bool Direct3DPresenter::attemptTexture(PixelFormat format) {
    textureFormat_ = format;
    releaseTexture();
    if (device_ == nullptr) return false;
    DWORD usage = 0;
    const D3DPOOL pool = texturePool(format, deviceFormat_, usage);
    IDirect3DTexture9* texture = nullptr;
    if (SUCCEEDED(device_->CreateTexture(static_cast<UINT>(width_), static_cast<UINT>(height_), 1,
                                         usage, toD3DFormat(format), pool, &texture, nullptr)) &&
        texture != nullptr) {
        texture_ = texture;
        texturePool_ = pool;
        ++texturesCreated_;
        return true;
    }
    releaseInterface(texture);
    return false;
}

// Direct3D 9 refuses Reset while a default-pool resource exists. When the plain Reset is
// refused and our texture is such a resource, it is freed for the Reset and made again.
void Direct3DPresenter::resetLostDevice() {
    D3DPRESENT_PARAMETERS parameters = parameters_;
    HRESULT result = device_->Reset(&parameters);
    if (FAILED(result) && texture_ != nullptr && texturePool_ == D3DPOOL_DEFAULT) {
        releaseTexture();
        parameters = parameters_;
        result = device_->Reset(&parameters);
    }
    if (SUCCEEDED(result) && texture_ == nullptr && textureFormat_ != NoFormat)
        attemptTexture(textureFormat_);
}

bool Direct3DPresenter::uploadAndPresent(const PackedPixel* packed, const FloatPixel* floats,
                                         const DirtyBox* box) {
    if (device_ == nullptr) return false;
    if (device_->TestCooperativeLevel() == D3DERR_DEVICENOTRESET) resetLostDevice();
    if (FAILED(device_->TestCooperativeLevel()) || texture_ == nullptr) return false;
    if (packed == nullptr && floats == nullptr) return false;

    DirtyBox region;
    if (updateRegion(box, width_, height_, region)) {
        RECT rectangle = {region.xBegin, region.yBegin, region.xEnd, region.yEnd};
        D3DLOCKED_RECT locked;
        if (FAILED(texture_->LockRect(0, &locked, box != nullptr ? &rectangle : nullptr,
                                      D3DLOCK_NOSYSLOCK)))
            return false;
        const PixelFormat sourceFormat = floats != nullptr ? XBGRFFFF : XRGB8888;
        const void* source = floats != nullptr ? static_cast<const void*>(floats) : packed;
        if (Converter* converter = findConverter(sourceFormat, textureFormat_))
            convertRegion(*converter, source, pixelSize(sourceFormat), width_, region, locked.pBits,
                          locked.Pitch);
        texture_->UnlockRect(0);
    }
    return present();
}

bool Direct3DPresenter::present() {
    if (device_ == nullptr || FAILED(device_->TestCooperativeLevel())) return false;
    if (texture_ == nullptr) return false;
    if (stretch_) {
        if (FAILED(device_->BeginScene())) return false;
        device_->SetTexture(0, texture_);
        device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        device_->SetSamplerState(0, D3DSAMP_MAGFILTER, linear_ ? D3DTEXF_LINEAR : D3DTEXF_POINT);
        device_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
        const bool drawn = drawQuad();
        device_->SetTexture(0, nullptr);
        device_->EndScene();
        if (!drawn) return false;
    } else if (!copyToBackBuffer()) {
        return false;
    }
    if (FAILED(device_->Present(nullptr, nullptr, nullptr, nullptr))) return false;
    ValidateRect(window_, nullptr);
    return true;
}

bool Direct3DPresenter::drawQuad() {
    IDirect3DSurface9* target = nullptr;
    if (FAILED(device_->GetRenderTarget(0, &target)) || target == nullptr) return false;
    D3DSURFACE_DESC description;
    const HRESULT described = target->GetDesc(&description);
    releaseInterface(target);
    if (FAILED(described)) return false;

    float vertices[24];
    quadVertices(description.Width, description.Height, vertices);
    device_->SetRenderState(D3DRS_ZENABLE, FALSE);
    device_->SetFVF(kVertexFormat);
    const HRESULT drawn = device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, vertices, kVertexStride);
    device_->SetRenderState(D3DRS_ZENABLE, TRUE);
    return SUCCEEDED(drawn);
}

bool Direct3DPresenter::copyToBackBuffer() {
    IDirect3DSurface9* surface = nullptr;
    IDirect3DSurface9* backBuffer = nullptr;
    texture_->GetSurfaceLevel(0, &surface);
    device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer);
    bool copied = false;
    if (surface != nullptr && backBuffer != nullptr)
        copied = SUCCEEDED(device_->UpdateSurface(surface, nullptr, backBuffer, nullptr));
    releaseInterface(surface);
    releaseInterface(backBuffer);
    return copied;
}

}  // namespace PixelDisplay
