// Pixel loops split into steps. A block of pixels is read into channel planes
// of floats in a small scratch buffer; each following step (a curve, the
// matrix, ...) runs over the whole block in its own short loop, and the last
// step stores the block. The iterations of one step do not depend on each
// other and are short, so the processor overlaps many of them; one long chain
// per group of pixels (read, curve, matrix, curve, store) left most of the
// table reads waiting on the chain before them.
//
// Every step does the same IEEE operations per value whether it runs in
// eight lanes, four lanes or on a plain float, so all paths give the same bits.
#pragma once

#include <cstdint>
#include <type_traits>

#include "color/lut_lookup_avx2.h"
#include "color/matrix3.h"
#include "color/pixel_io.h"
#include "simd/lanes.h"
#include "simd/lanes_avx2.h"

// Everything the block loops call is inlined into them (flatten), so the
// lanes stay in registers.
#if defined(__GNUC__)
#define LUMRA_FLATTEN __attribute__((flatten))
#else
#define LUMRA_FLATTEN
#endif

namespace lumra {

constexpr uint64_t kStageBlock = 64;  // pixels per block; a multiple of eight

template <int kPlanes>
struct alignas(64) Planes {
    float v[kPlanes][kStageBlock];
};

template <typename V>
constexpr uint64_t kLaneCount = std::is_same_v<V, float> ? 1 : (std::is_same_v<V, Lanes> ? 4 : 8);

inline float load_lanes(const float* p, float /*tag*/) { return *p; }
inline void store_lanes(float* p, float value) { *p = value; }

#if LUMRA_SIMD_X86
inline Lanes load_lanes(const float* p, Lanes /*tag*/) { return _mm_loadu_ps(p); }
inline void store_lanes(float* p, Lanes value) { _mm_storeu_ps(p, value.v); }
#else
inline Lanes load_lanes(const float* p, Lanes /*tag*/) {
    Lanes out;
    for (int l = 0; l < 4; ++l) out.v[l] = p[l];
    return out;
}
inline void store_lanes(float* p, Lanes value) {
    for (int l = 0; l < 4; ++l) p[l] = value.v[l];
}
#endif

#if LUMRA_SIMD_X86
LUMRA_TARGET_AVX2 inline Lanes8 load_lanes(const float* p, Lanes8 /*tag*/) { return _mm256_loadu_ps(p); }
LUMRA_TARGET_AVX2 inline void store_lanes(float* p, Lanes8 value) { _mm256_storeu_ps(p, value.v); }
#endif

// step(i, tag) for i = 0, W, 2W, ... below n with W lanes (tag of type V),
// then for each remaining i with a plain float tag.
template <typename V, typename Step>
inline void each_group(uint64_t n, Step step) {
    uint64_t i = 0;
    for (; i + kLaneCount<V> <= n; i += kLaneCount<V>) step(i, V{});
    for (; i < n; ++i) step(i, 0.0f);
}

// Planes first, first + 1, first + 2 at pixel i as one Rgb.
template <int kPlanes, typename V>
inline Rgb<V> get_rgb(const Planes<kPlanes>& s, int first, uint64_t i, V tag) {
    return {load_lanes(s.v[first] + i, tag), load_lanes(s.v[first + 1] + i, tag), load_lanes(s.v[first + 2] + i, tag)};
}
template <int kPlanes, typename V>
inline void put_rgb(Planes<kPlanes>& s, int first, uint64_t i, const Rgb<V>& value) {
    store_lanes(s.v[first] + i, value.r);
    store_lanes(s.v[first + 1] + i, value.g);
    store_lanes(s.v[first + 2] + i, value.b);
}

// plane[i] = op(plane[i]) for the block's n values.
template <typename V, typename Op>
inline void map_plane(float* plane, uint64_t n, Op op) {
    each_group<V>(n, [&](uint64_t i, auto tag) { store_lanes(plane + i, op(load_lanes(plane + i, tag))); });
}

// op on each value of planes first to first + count - 1 over the block's n
// pixels: as one run through adjacent planes when the block is full.
template <typename V, int kPlanes, typename Op>
inline void map_planes(Planes<kPlanes>& s, int first, int count, uint64_t n, Op op) {
    if (n == kStageBlock) return map_plane<V>(s.v[first], kStageBlock * static_cast<uint64_t>(count), op);
    for (int c = first; c < first + count; ++c) map_plane<V>(s.v[c], n, op);
}

// The block's n interleaved pixels into planes 0 to 2, and back.
template <typename In, int kPlanes, typename V>
inline void load_block(const In* pixels, uint64_t n, Planes<kPlanes>& s, V /*tag*/) {
    each_group<V>(n, [&](uint64_t i, auto tag) { put_rgb(s, 0, i, load_rgb(pixels + 3 * i, tag)); });
}
template <typename Out, int kPlanes, typename V>
inline void store_block(Out* pixels, uint64_t n, const Planes<kPlanes>& s, V /*tag*/) {
    each_group<V>(n, [&](uint64_t i, auto tag) { store_rgb(pixels + 3 * i, get_rgb(s, 0, i, tag)); });
}

// Runs block(src, dst, n, tag) over blocks of kStageBlock pixels (the last
// may be shorter), with V = Lanes8 where the processor has AVX2 and Lanes
// otherwise. A block reads all its elements before storing any, so src and
// dst may be the same buffer when In and Out are the same type. Everything is
// inlined into the loop (flatten).
template <typename In, typename Out, typename Block>
LUMRA_FLATTEN inline void run_stage_blocks_baseline(const In* src, Out* dst, uint64_t pixel_count, Block block) {
    for (uint64_t start = 0; start < pixel_count; start += kStageBlock) {
        const uint64_t n = pixel_count - start < kStageBlock ? pixel_count - start : kStageBlock;
        block(src + 3 * start, dst + 3 * start, n, Lanes{});
    }
}

#if LUMRA_SIMD_X86
template <typename In, typename Out, typename Block>
LUMRA_TARGET_AVX2 LUMRA_FLATTEN void run_stage_blocks_avx2(const In* src, Out* dst, uint64_t pixel_count, Block block) {
    for (uint64_t start = 0; start < pixel_count; start += kStageBlock) {
        const uint64_t n = pixel_count - start < kStageBlock ? pixel_count - start : kStageBlock;
        block(src + 3 * start, dst + 3 * start, n, Lanes8{});
    }
}
#endif

template <typename In, typename Out, typename Block>
inline void run_stage_blocks(const In* src, Out* dst, uint64_t pixel_count, Block block) {
#if LUMRA_SIMD_X86
    if (use_avx2_loops()) return run_stage_blocks_avx2(src, dst, pixel_count, block);
#endif
    run_stage_blocks_baseline(src, dst, pixel_count, block);
}

// Runs pixel(src, tag) over every pixel in one step: eight (or four) pixels
// at a time in lanes, the rest of the last block one at a time with the same
// function. Each pixel's elements are all read before its results are stored.
// (Streaming stores for large float results were measured slower here than
// plain stores, so there are none.)
template <typename In, typename Out, typename Pixel>
inline void run_pixel_blocks(const In* src, Out* dst, uint64_t pixel_count, Pixel pixel) {
    run_stage_blocks(src, dst, pixel_count, [=](const In* s, Out* d, uint64_t n, auto tag) {
        each_group<decltype(tag)>(n, [&](uint64_t i, auto t) { store_rgb(d + 3 * i, pixel(s + 3 * i, t)); });
    });
}

}  // namespace lumra
