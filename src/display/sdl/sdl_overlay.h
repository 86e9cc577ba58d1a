// The SDL display's overlay: a blended streaming texture drawn over the picture (or, opaque, the
// side panel beside it).
#pragma once

#include <cstdint>

struct SDL_Renderer;
struct SDL_Texture;
struct SDL_Rect;

namespace PixelDisplay {

class SdlOverlay {
public:
    // Copies the words; a null `argb` hides the overlay.
    void set(const uint32_t* argb, int width, int height);
    // Draws over `target` with alpha blending, uploading new words first.
    void draw(SDL_Renderer* renderer, const SDL_Rect& target);
    // Lets go of the texture (the renderer is going away or lost its textures); the words stay
    // and are uploaded again at the next draw.
    void releaseTexture();

private:
    uint32_t* words_ = nullptr;  // width_ * height_, kept for a renderer that is made anew
    int width_ = 0;
    int height_ = 0;
    int capacity_ = 0;
    bool blended_ = true;
    bool shown_ = false;
    bool dirty_ = false;
    SDL_Texture* texture_ = nullptr;
    int textureWidth_ = 0;
    int textureHeight_ = 0;

public:
    // An opaque one is copied without blending.
    explicit SdlOverlay(bool blended = true) : blended_(blended) {}
    ~SdlOverlay();
    SdlOverlay(const SdlOverlay&) = delete;
    SdlOverlay& operator=(const SdlOverlay&) = delete;
};

}  // namespace PixelDisplay
