// The demo's screen: the size of the framebuffer that the renderer, the scenes, the overlays
// and the tools are made for. A framebuffer pixel is four floats (r, g, b, depth), rows top
// to bottom.
#pragma once

constexpr int kScreenWidth = 640;
constexpr int kScreenHeight = 480;
constexpr int kScreenPixels = kScreenWidth * kScreenHeight;
constexpr int kScreenFloats = kScreenPixels * 4;
