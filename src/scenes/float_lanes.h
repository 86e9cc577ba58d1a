// Four float lanes for the 2D passes over the framebuffer, in GCC/Clang vector notation:
// SSE2 on x86-64, simd128 in the browser. Where neither exists SCENE_FLOAT_LANES stays
// undefined and the passes run their scalar code. Lane arithmetic is IEEE single precision
// like the scalar code's, so the same operations in the same order give the same bits.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "scenes/pass_lanes.h"

#if defined(__SSE2__) || defined(__wasm_simd128__)
#define SCENE_FLOAT_LANES 1

#if defined(__SSE2__)
#include <emmintrin.h>
#else
#include <wasm_simd128.h>
#endif

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

// Each lane as `v < 0 ? 0 : (v > 1 ? 1 : v)`: NaN and -0 stay. Written with the instructions
// that have exactly this meaning, because a compiler may turn the plain selects into a
// maximum that makes -0 into +0 (Clang does so for WebAssembly).
inline Float4 clampUnitLanes(const Float4& v) {
#if defined(__SSE2__)
    // maxps(a, b) is a > b ? a : b, minps(a, b) is a < b ? a : b.
    const __m128 low = _mm_max_ps(_mm_setzero_ps(), v);
    return _mm_min_ps(_mm_set1_ps(1.0f), low);
#else
    // pmax(a, b) is a < b ? b : a, pmin(a, b) is b < a ? b : a.
    const v128_t low = wasm_f32x4_pmax(std::bit_cast<v128_t>(v), wasm_f32x4_splat(0.0f));
    return std::bit_cast<Float4>(wasm_f32x4_pmin(low, wasm_f32x4_splat(1.0f)));
#endif
}

// r, g and b of a framebuffer pixel; the fourth lane is its depth.
constexpr Mask4 kColourLanes = {-1, -1, -1, 0};
#endif
