// Four float lanes for the 2D passes over the framebuffer, in GCC/Clang vector notation:
// SSE2 on x86-64, simd128 in the browser. Where neither exists SCENE_FLOAT_LANES stays
// undefined and the passes run their scalar code. Lane arithmetic is IEEE single precision
// like the scalar code's, so the same operations in the same order give the same bits.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

// Which code a pass runs: its vector lanes (where the build has them) or its scalar
// reference, which tests hold the lanes to bit for bit.
enum class PassLanes { Vector, Scalar };

#if defined(__SSE2__) || defined(__wasm_simd128__)
#define SCENE_FLOAT_LANES 1

typedef float Float4 __attribute__((vector_size(16)));
typedef int32_t Mask4 __attribute__((vector_size(16)));

inline Float4 loadFloat4(const float* p) {
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void storeFloat4(float* p, const Float4& v) {
    std::memcpy(p, &v, sizeof v);
}

// a in the lanes where mask is set (all ones), b in the others.
inline Float4 selectLanes(const Mask4& mask, const Float4& a, const Float4& b) {
    return std::bit_cast<Float4>((mask & std::bit_cast<Mask4>(a)) |
                                 (~mask & std::bit_cast<Mask4>(b)));
}

// r, g and b of a framebuffer pixel; the fourth lane is its depth.
constexpr Mask4 kColourLanes = {-1, -1, -1, 0};
#endif
