// Vector lanes: the one set of vector types and operations of the rasterizer's blocks, the
// display's converters and the 2D passes, and the one place that decides which lanes run.
//
// - Lanes<N> holds N 32-bit lanes in GCC/Clang vector notation: floats, int32 masks (all ones
//   where true, as vector comparisons give them) and uint32 words. Four lanes are SSE2 on
//   x86-64 and simd128 in WebAssembly (elsewhere the compiler lowers them to scalar code);
//   eight are AVX2 on x86-64.
// - Lane arithmetic is IEEE single precision like the scalar code's, never contracted into
//   fused multiply-adds (-ffp-contract=off): the same operations in the same order give the
//   same bits. Every vector path relies on this to draw its scalar reference's bits.
// - Loads and stores take any address: no alignment, and framebuffer floats read as vectors.
//   reinterpret_cast between lane types of one size keeps the bits (std::bit_cast is a
//   template compiled for the build's target, which a 256-bit value must not reach).
// - Eight lanes live only in code compiled for AVX2 and are always inlined: Lanes<8> below,
//   and each kernel's eight-lane copy (lanes/each_width.inc). No 256-bit value crosses a call
//   or reaches code built for SSE2 alone.
// - widestLanes() says what runs: eight where the build has AVX2 lanes and the processor has
//   AVX2, four where the build has SSE2 or simd128, else the scalar code.
//
// AVX2 on Windows: GCC for 64-bit Windows cannot align a stack frame to 32 bytes (the ABI
// guarantees 16), yet gives 256-bit spills and locals stack slots it takes for 32-byte
// aligned; an aligned move (vmovaps, vmovdqa) to such a slot faults when it is not (GCC bug
// 54412). The Windows build has the assembler encode every aligned vector move as the
// unaligned one (-Wa,-muse-unaligned-vector-move: as fast on aligned data) and says so with
// DEMO_UNALIGNED_VECTOR_MOVES; a Windows build without it gets four lanes.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#elif defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

#if defined(__x86_64__) && (!defined(_WIN32) || defined(DEMO_UNALIGNED_VECTOR_MOVES))
#define DEMO_LANES_AVX2 1
#endif

// Code between these is compiled for AVX2 (functions defined there, templates included).
#if defined(DEMO_LANES_AVX2) && defined(__clang__)
#define LANES_AVX2_BEGIN \
    _Pragma("clang attribute push(__attribute__((target(\"avx2\"))), apply_to = function)")
#define LANES_AVX2_END _Pragma("clang attribute pop")
#elif defined(DEMO_LANES_AVX2)
#define LANES_AVX2_BEGIN _Pragma("GCC push_options") _Pragma("GCC target(\"avx2\")")
#define LANES_AVX2_END _Pragma("GCC pop_options")
#endif

// How many pixels a vector path takes at once; kScalar is the scalar reference code.
enum class LaneWidth { kScalar = 1, kFour = 4, kEight = 8 };

inline LaneWidth widestLanes() {
    static const LaneWidth widest = [] {
#if defined(DEMO_LANES_AVX2)
        // Also called before main (static initialisers), before the processor model is read.
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx2")) return LaneWidth::kEight;
#endif
#if defined(__SSE2__) || defined(__wasm_simd128__)
        return LaneWidth::kFour;
#else
        return LaneWidth::kScalar;
#endif
    }();
    return widest;
}

// The two clamps to 0..1 of the passes, scalar here and in Lanes<N>, each with its meaning for
// NaN and -0. The lanes use the instructions that have exactly that meaning: a compiler may
// turn the plain selects into a minimum or maximum that keeps neither (Clang does for
// WebAssembly).
//
// v < 0 ? 0 : (v > 1 ? 1 : v): NaN and -0 stay.
inline float clampUnit(float v) {
    if (v < 0.0f) return 0.0f;
    if (v > 1.0f) return 1.0f;
    return v;
}
// v > 0 ? v : 0, then v < 1 ? v : 1: NaN and -0 become +0.
inline float clampUnitZeroingNaN(float v) {
    v = v > 0.0f ? v : 0.0f;
    return v < 1.0f ? v : 1.0f;
}

#define LANES_OP [[gnu::always_inline]] static

// N lanes: their types and the operations that more than one kind of lane code needs.
template <int N>
struct Lanes;

template <>
struct Lanes<4> {
    typedef float Float __attribute__((vector_size(16)));
    typedef int32_t Int __attribute__((vector_size(16)));
    typedef uint32_t Word __attribute__((vector_size(16)));
    typedef uint16_t Half __attribute__((vector_size(8)));
    // Four doubles (two SSE2 registers): only ever a local, never passed by value, which would
    // change the calling convention without AVX.
    typedef double Double __attribute__((vector_size(32)));
    static constexpr int kCount = 4;
    static constexpr int kAll = 0xF;  // bits() of a mask set in every lane

    LANES_OP Float loadFloats(const void* p) {
        Float v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    LANES_OP Int loadInts(const void* p) {
        Int v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    template <class V>
    LANES_OP void store(void* p, const V& v) {
        std::memcpy(p, &v, sizeof v);
    }

    LANES_OP Float splat(float x) { return Float{x, x, x, x}; }
    LANES_OP Int splat(int32_t x) { return Int{x, x, x, x}; }

    // yes where the mask is set, no elsewhere, bit for bit; each lane of the mask all ones or
    // all zeros, as comparisons give them.
    LANES_OP Float select(Int mask, Float yes, Float no) {
        return reinterpret_cast<Float>((mask & reinterpret_cast<Int>(yes)) |
                                       (~mask & reinterpret_cast<Int>(no)));
    }

    // The correctly rounded square root of each lane, as std::sqrt gives it.
    LANES_OP Float sqrt(Float x) {
#if defined(__SSE2__)
        return reinterpret_cast<Float>(_mm_sqrt_ps(reinterpret_cast<__m128>(x)));
#elif defined(__wasm_simd128__)
        return reinterpret_cast<Float>(wasm_f32x4_sqrt(reinterpret_cast<v128_t>(x)));
#else
        return Float{__builtin_sqrtf(x[0]), __builtin_sqrtf(x[1]), __builtin_sqrtf(x[2]),
                     __builtin_sqrtf(x[3])};
#endif
    }

    // Each lane rounded to the nearest integer, ties to even, as std::rint rounds in the
    // default rounding mode (the program never changes it); lanes within +-2^31 only.
    LANES_OP Int roundToInt(Float x) {
#if defined(__SSE2__)
        return reinterpret_cast<Int>(_mm_cvtps_epi32(reinterpret_cast<__m128>(x)));
#elif defined(__wasm_simd128__)
        return reinterpret_cast<Int>(
            wasm_i32x4_trunc_sat_f32x4(wasm_f32x4_nearest(reinterpret_cast<v128_t>(x))));
#else
        return Int{static_cast<int32_t>(__builtin_rintf(x[0])),
                   static_cast<int32_t>(__builtin_rintf(x[1])),
                   static_cast<int32_t>(__builtin_rintf(x[2])),
                   static_cast<int32_t>(__builtin_rintf(x[3]))};
#endif
    }

    // One bit per lane whose mask is set, lane 0 lowest.
    LANES_OP int bits(Int mask) {
#if defined(__SSE2__)
        return _mm_movemask_ps(reinterpret_cast<__m128>(mask));
#elif defined(__wasm_simd128__)
        return wasm_i32x4_bitmask(reinterpret_cast<v128_t>(mask));
#else
        return (mask[0] & 1) | (mask[1] & 2) | (mask[2] & 4) | (mask[3] & 8);
#endif
    }

    // Within each 128-bit half (the whole vector here, both halves in Lanes<8>), as a 4 x 4
    // transpose takes them: x0 y0 x1 y1 and x2 y2 x3 y3; x0 x1 y0 y1 and x2 x3 y2 y3.
    LANES_OP Float interleaveLow(Float x, Float y) {
        return __builtin_shufflevector(x, y, 0, 4, 1, 5);
    }
    LANES_OP Float interleaveHigh(Float x, Float y) {
        return __builtin_shufflevector(x, y, 2, 6, 3, 7);
    }
    LANES_OP Float lowPairs(Float x, Float y) {
        return __builtin_shufflevector(x, y, 0, 1, 4, 5);
    }
    LANES_OP Float highPairs(Float x, Float y) {
        return __builtin_shufflevector(x, y, 2, 3, 6, 7);
    }

    // a > b ? a : b in each lane, as maxps has it: b where either is NaN.
    LANES_OP Float larger(Float a, Float b) {
#if defined(__SSE2__)
        return reinterpret_cast<Float>(
            _mm_max_ps(reinterpret_cast<__m128>(a), reinterpret_cast<__m128>(b)));
#elif defined(__wasm_simd128__)
        // pmax(x, y) is x < y ? y : x.
        return reinterpret_cast<Float>(
            wasm_f32x4_pmax(reinterpret_cast<v128_t>(b), reinterpret_cast<v128_t>(a)));
#else
        return select(a > b, a, b);
#endif
    }

    LANES_OP Float clampUnit(Float v) {
#if defined(__SSE2__)
        // maxps(a, b) is a > b ? a : b, minps(a, b) is a < b ? a : b.
        const __m128 low = _mm_max_ps(_mm_setzero_ps(), reinterpret_cast<__m128>(v));
        return reinterpret_cast<Float>(_mm_min_ps(_mm_set1_ps(1.0f), low));
#elif defined(__wasm_simd128__)
        // pmax(a, b) is a < b ? b : a, pmin(a, b) is b < a ? b : a.
        const v128_t low = wasm_f32x4_pmax(reinterpret_cast<v128_t>(v), wasm_f32x4_splat(0.0f));
        return reinterpret_cast<Float>(wasm_f32x4_pmin(low, wasm_f32x4_splat(1.0f)));
#else
        const Float low = select(v < splat(0.0f), splat(0.0f), v);
        return select(low > splat(1.0f), splat(1.0f), low);
#endif
    }
    LANES_OP Float clampUnitZeroingNaN(Float v) {
#if defined(__SSE2__)
        const __m128 low = _mm_max_ps(reinterpret_cast<__m128>(v), _mm_setzero_ps());
        return reinterpret_cast<Float>(_mm_min_ps(low, _mm_set1_ps(1.0f)));
#elif defined(__wasm_simd128__)
        const v128_t low = wasm_f32x4_pmax(wasm_f32x4_splat(0.0f), reinterpret_cast<v128_t>(v));
        return reinterpret_cast<Float>(wasm_f32x4_pmin(wasm_f32x4_splat(1.0f), low));
#else
        const Float low = select(v > splat(0.0f), v, splat(0.0f));
        return select(low < splat(1.0f), low, splat(1.0f));
#endif
    }
};

#if defined(DEMO_LANES_AVX2)
LANES_AVX2_BEGIN
template <>
struct Lanes<8> {
    typedef float Float __attribute__((vector_size(32)));
    typedef int32_t Int __attribute__((vector_size(32)));
    typedef uint32_t Word __attribute__((vector_size(32)));
    typedef uint16_t Half __attribute__((vector_size(16)));
    static constexpr int kCount = 8;
    static constexpr int kAll = 0xFF;

    LANES_OP Float loadFloats(const void* p) {
        Float v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    LANES_OP Int loadInts(const void* p) {
        Int v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    template <class V>
    LANES_OP void store(void* p, const V& v) {
        std::memcpy(p, &v, sizeof v);
    }

    LANES_OP Float splat(float x) { return Float{x, x, x, x, x, x, x, x}; }
    LANES_OP Int splat(int32_t x) { return Int{x, x, x, x, x, x, x, x}; }

    // One blend instruction: it reads each lane's sign bit, which is the whole mask for masks
    // that are all ones or all zeros in each lane, as comparisons give them.
    LANES_OP Float select(Int mask, Float yes, Float no) {
        return reinterpret_cast<Float>(_mm256_blendv_ps(reinterpret_cast<__m256>(no),
                                                        reinterpret_cast<__m256>(yes),
                                                        reinterpret_cast<__m256>(mask)));
    }

    LANES_OP int bits(Int mask) { return _mm256_movemask_ps(reinterpret_cast<__m256>(mask)); }

    // Four lanes as the low and the high half.
    LANES_OP Float join(Lanes<4>::Float low, Lanes<4>::Float high) {
        return __builtin_shufflevector(low, high, 0, 1, 2, 3, 4, 5, 6, 7);
    }

    LANES_OP Float interleaveLow(Float x, Float y) {
        return __builtin_shufflevector(x, y, 0, 8, 1, 9, 4, 12, 5, 13);
    }
    LANES_OP Float interleaveHigh(Float x, Float y) {
        return __builtin_shufflevector(x, y, 2, 10, 3, 11, 6, 14, 7, 15);
    }
    LANES_OP Float lowPairs(Float x, Float y) {
        return __builtin_shufflevector(x, y, 0, 1, 8, 9, 4, 5, 12, 13);
    }
    LANES_OP Float highPairs(Float x, Float y) {
        return __builtin_shufflevector(x, y, 2, 3, 10, 11, 6, 7, 14, 15);
    }

    LANES_OP Float larger(Float a, Float b) {
        return reinterpret_cast<Float>(
            _mm256_max_ps(reinterpret_cast<__m256>(a), reinterpret_cast<__m256>(b)));
    }

    LANES_OP Float clampUnit(Float v) {
        const __m256 low = _mm256_max_ps(_mm256_setzero_ps(), reinterpret_cast<__m256>(v));
        return reinterpret_cast<Float>(_mm256_min_ps(_mm256_set1_ps(1.0f), low));
    }
    LANES_OP Float clampUnitZeroingNaN(Float v) {
        const __m256 low = _mm256_max_ps(reinterpret_cast<__m256>(v), _mm256_setzero_ps());
        return reinterpret_cast<Float>(_mm256_min_ps(low, _mm256_set1_ps(1.0f)));
    }
};
LANES_AVX2_END
#endif

#undef LANES_OP
