// The texture record the rasterizers and the 2D effects read.
//
// A texel is four floats r, g, b, a in 0..1, the same layout as a framebuffer pixel, so texels
// are used without conversion. Rows run top to bottom of the picture; texel (x, y) is at index
// y * width + x. The texel block is one 64-byte aligned block (allocateAligned).
#pragma once

struct Texture {
    float* texels;  // width * height * 4 floats
    char name[256];
    int width;
    int height;
};
