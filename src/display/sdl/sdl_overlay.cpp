#include "display/sdl/sdl_overlay.h"

#include <SDL.h>

#include <cstring>

namespace PixelDisplay {

SdlOverlay::~SdlOverlay() {
    releaseTexture();
    delete[] words_;
}

void SdlOverlay::set(const uint32_t* argb, int width, int height) {
    if (!argb || width <= 0 || height <= 0) {
        shown_ = false;
        return;
    }
    // The buffer grows only when the size does, so a steady overlay allocates once.
    if (width * height > capacity_) {
        delete[] words_;
        words_ = new uint32_t[size_t(width) * height];
        capacity_ = width * height;
    }
    std::memcpy(words_, argb, size_t(width) * height * sizeof(uint32_t));
    width_ = width;
    height_ = height;
    shown_ = true;
    dirty_ = true;
}

void SdlOverlay::releaseTexture() {
    if (texture_) SDL_DestroyTexture(texture_);
    texture_ = nullptr;
    dirty_ = shown_;
}

void SdlOverlay::draw(SDL_Renderer* renderer, const SDL_Rect& target) {
    if (!shown_ || !renderer) return;
    if (texture_ && (textureWidth_ != width_ || textureHeight_ != height_)) releaseTexture();
    if (!texture_) {
        texture_ = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888,
                                     SDL_TEXTUREACCESS_STREAMING, width_, height_);
        if (!texture_) return;
        SDL_SetTextureBlendMode(texture_, blended_ ? SDL_BLENDMODE_BLEND : SDL_BLENDMODE_NONE);
        SDL_SetTextureScaleMode(texture_, SDL_ScaleModeNearest);
        textureWidth_ = width_;
        textureHeight_ = height_;
        dirty_ = true;
    }
    if (dirty_) {
        SDL_UpdateTexture(texture_, nullptr, words_, width_ * int(sizeof(uint32_t)));
        dirty_ = false;
    }
    SDL_RenderCopy(renderer, texture_, nullptr, &target);
}

}  // namespace PixelDisplay
