// Reads and stores of interleaved three-channel pixels: one pixel into plain
// floats, or four pixels into lanes (channel r of the four in one lane set,
// and so on). Integer stores truncate and saturate like store_element; the
// lane stores limit in the float domain first, exactly as it does.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "common/numeric.h"
#include "simd/lanes.h"
#include "simd/lanes_avx2.h"
#include "simd/rgb_interleave.h"

namespace lumra {

template <typename In>
inline Rgb<float> load_rgb(const In* pixel, float /*tag*/) {
    return {read_element(pixel[0]), read_element(pixel[1]), read_element(pixel[2])};
}

template <typename Out>
inline void store_rgb(Out* pixel, const Rgb<float>& value) {
    pixel[0] = store_element<Out>(value.r);
    pixel[1] = store_element<Out>(value.g);
    pixel[2] = store_element<Out>(value.b);
}

#if LUMRA_SIMD_X86

namespace pixel_io_detail {

// Pixel order to channels and back (simd/rgb_interleave.h).
inline Rgb<Lanes> deinterleave(__m128 a, __m128 b, __m128 c) {
    Rgb<Lanes> out;
    simd::deinterleave_rgb(a, b, c, out.r.v, out.g.v, out.b.v);
    return out;
}
inline void interleave(const Rgb<Lanes>& v, __m128 out[3]) {
    simd::interleave_rgb(v.r.v, v.g.v, v.b.v, out[0], out[1], out[2]);
}

// Twelve 16-bit lanes (eight in the first vector, four in the low half of the
// second) widened to float.
inline Rgb<Lanes> widen_words(__m128i low8, __m128i high4) {
    const __m128i zero = _mm_setzero_si128();
    return deinterleave(_mm_cvtepi32_ps(_mm_unpacklo_epi16(low8, zero)),
                        _mm_cvtepi32_ps(_mm_unpackhi_epi16(low8, zero)),
                        _mm_cvtepi32_ps(_mm_unpacklo_epi16(high4, zero)));
}

// Truncation of values already limited to [0, full] (so cvttps is exact truncation).
inline void truncate_limited(const Rgb<Lanes>& value, float full, __m128i out[3]) {
    __m128 ordered[3];
    interleave(value, ordered);
    for (int i = 0; i < 3; ++i) {
        out[i] = _mm_cvttps_epi32(upper_limit(lower_limit(Lanes(ordered[i]), Lanes(0.0f)), Lanes(full)).v);
    }
}

}  // namespace pixel_io_detail

template <typename In>
inline Rgb<Lanes> load_rgb(const In* pixels, Lanes /*tag*/) {
    using namespace pixel_io_detail;
    if constexpr (std::is_same_v<In, float>) {
        return load_rgb_floats(pixels, Lanes{});
    } else if constexpr (std::is_same_v<In, uint16_t>) {
        return widen_words(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels)),
                           _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pixels + 8)));
    } else {
        int32_t tail;
        std::memcpy(&tail, pixels + 8, sizeof tail);
        const __m128i zero = _mm_setzero_si128();
        return widen_words(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(pixels)), zero),
                           _mm_unpacklo_epi8(_mm_cvtsi32_si128(tail), zero));
    }
}

template <typename Out>
inline void store_rgb(Out* pixels, const Rgb<Lanes>& value) {
    using namespace pixel_io_detail;
    if constexpr (std::is_same_v<Out, float>) {
        store_rgb_floats(pixels, value);
    } else if constexpr (std::is_same_v<Out, uint16_t>) {
        __m128i words[3];
        truncate_limited(value, 65535.0f, words);
        // packs_epi32 saturates signed, so bias into the signed range and back.
        const __m128i bias32 = _mm_set1_epi32(32768);
        const __m128i bias16 = _mm_set1_epi16(static_cast<int16_t>(0x8000));
        const __m128i low = _mm_xor_si128(
            _mm_packs_epi32(_mm_sub_epi32(words[0], bias32), _mm_sub_epi32(words[1], bias32)), bias16);
        const __m128i high = _mm_xor_si128(
            _mm_packs_epi32(_mm_sub_epi32(words[2], bias32), _mm_sub_epi32(words[2], bias32)), bias16);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels), low);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pixels + 8), high);
    } else {
        __m128i words[3];
        truncate_limited(value, 255.0f, words);
        const __m128i bytes =
            _mm_packus_epi16(_mm_packs_epi32(words[0], words[1]), _mm_packs_epi32(words[2], words[2]));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pixels), bytes);
        const int32_t tail = _mm_cvtsi128_si32(_mm_srli_si128(bytes, 8));
        std::memcpy(pixels + 8, &tail, sizeof tail);
    }
}

#else  // portable lanes

template <typename In>
inline Rgb<Lanes> load_rgb(const In* pixels, Lanes /*tag*/) {
    Rgb<Lanes> out;
    for (int l = 0; l < 4; ++l) {
        out.r.v[l] = read_element(pixels[3 * l]);
        out.g.v[l] = read_element(pixels[3 * l + 1]);
        out.b.v[l] = read_element(pixels[3 * l + 2]);
    }
    return out;
}

template <typename Out>
inline void store_rgb(Out* pixels, const Rgb<Lanes>& value) {
    for (int l = 0; l < 4; ++l) {
        pixels[3 * l] = store_element<Out>(value.r.v[l]);
        pixels[3 * l + 1] = store_element<Out>(value.g.v[l]);
        pixels[3 * l + 2] = store_element<Out>(value.b.v[l]);
    }
}

#endif

#if LUMRA_SIMD_X86
// Eight pixels as two groups of four side by side: the low 128 bits of each
// vector hold pixels 0-3 and the high 128 bits pixels 4-7, each in the layout
// of the four-pixel routines, so the same in-lane shuffles serve both halves.
namespace pixel_io_detail {

// deinterleave of the four-pixel routines, on both halves.
LUMRA_TARGET_AVX2 inline Rgb<Lanes8> deinterleave8(__m256 a, __m256 b, __m256 c) {
    __m256 r, g, blue;
    simd::deinterleave_rgb(a, b, c, r, g, blue);
    return {r, g, blue};
}

// Each channel limited to [0, full] in the float domain and truncated (exact).
LUMRA_TARGET_AVX2 inline void truncate_limited8(const Rgb<Lanes8>& value, float full, __m256i out[3]) {
    const Lanes8 zero(0.0f), top(full);
    out[0] = _mm256_cvttps_epi32(upper_limit(lower_limit(value.r, zero), top).v);
    out[1] = _mm256_cvttps_epi32(upper_limit(lower_limit(value.g, zero), top).v);
    out[2] = _mm256_cvttps_epi32(upper_limit(lower_limit(value.b, zero), top).v);
}

}  // namespace pixel_io_detail

template <typename In>
LUMRA_TARGET_AVX2 inline Rgb<Lanes8> load_rgb(const In* pixels, Lanes8 /*tag*/) {
    using namespace pixel_io_detail;
    if constexpr (std::is_same_v<In, float>) {
        return load_rgb_floats(pixels, Lanes8{});
    } else if constexpr (std::is_same_v<In, uint16_t>) {
        const __m256i first = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + 12)), 1);
        const __m256i last = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(pixels + 8))),
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pixels + 20)), 1);
        const __m256i zero = _mm256_setzero_si256();
        return deinterleave8(_mm256_cvtepi32_ps(_mm256_unpacklo_epi16(first, zero)),
                             _mm256_cvtepi32_ps(_mm256_unpackhi_epi16(first, zero)),
                             _mm256_cvtepi32_ps(_mm256_unpacklo_epi16(last, zero)));
    } else {
        const Rgb<Lanes> low = load_rgb(pixels, Lanes{});
        const Rgb<Lanes> high = load_rgb(pixels + 12, Lanes{});
        return {halves(low.r.v, high.r.v), halves(low.g.v, high.g.v), halves(low.b.v, high.b.v)};
    }
}

template <typename Out>
LUMRA_TARGET_AVX2 inline void store_rgb(Out* pixels, const Rgb<Lanes8>& value) {
    using namespace pixel_io_detail;
    if constexpr (std::is_same_v<Out, float>) {
        store_rgb_floats(pixels, value);
    } else if constexpr (std::is_same_v<Out, uint16_t>) {
        __m256i words[3];
        truncate_limited8(value, 65535.0f, words);
        // In each half: rg = r0..r3 g0..g3 and bb = b0..b3 b0..b3 (exact: all in
        // [0, 65535]), then the twelve words put in pixel order.
        const __m256i rg = _mm256_packus_epi32(words[0], words[1]);
        const __m256i bb = _mm256_packus_epi32(words[2], words[2]);
        const __m256i head = _mm256_or_si256(
            _mm256_shuffle_epi8(rg, _mm256_setr_epi8(0, 1, 8, 9, -1, -1, 2, 3, 10, 11, -1, -1, 4, 5, 12, 13, 0, 1, 8,
                                                     9, -1, -1, 2, 3, 10, 11, -1, -1, 4, 5, 12, 13)),
            _mm256_shuffle_epi8(bb, _mm256_setr_epi8(-1, -1, -1, -1, 0, 1, -1, -1, -1, -1, 2, 3, -1, -1, -1, -1, -1,
                                                     -1, -1, -1, 0, 1, -1, -1, -1, -1, 2, 3, -1, -1, -1, -1)));
        const __m256i tail = _mm256_or_si256(
            _mm256_shuffle_epi8(rg, _mm256_setr_epi8(-1, -1, 6, 7, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                                     -1, 6, 7, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1)),
            _mm256_shuffle_epi8(bb, _mm256_setr_epi8(4, 5, -1, -1, -1, -1, 6, 7, -1, -1, -1, -1, -1, -1, -1, -1, 4, 5,
                                                     -1, -1, -1, -1, 6, 7, -1, -1, -1, -1, -1, -1, -1, -1)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels), _mm256_castsi256_si128(head));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pixels + 8), _mm256_castsi256_si128(tail));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels + 12), _mm256_extracti128_si256(head, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pixels + 20), _mm256_extracti128_si256(tail, 1));
    } else {
        __m256i words[3];
        truncate_limited8(value, 255.0f, words);
        // In each half: r0..r3 g0..g3 b0..b3 b0..b3 as bytes (exact: all in
        // [0, 255]), then the twelve bytes put in pixel order.
        const __m256i bytes = _mm256_packus_epi16(_mm256_packus_epi32(words[0], words[1]),
                                                  _mm256_packus_epi32(words[2], words[2]));
        const __m256i ordered = _mm256_shuffle_epi8(
            bytes, _mm256_setr_epi8(0, 4, 8, 1, 5, 9, 2, 6, 10, 3, 7, 11, -1, -1, -1, -1, 0, 4, 8, 1, 5, 9, 2, 6, 10,
                                    3, 7, 11, -1, -1, -1, -1));
        const auto put = [](uint8_t* to, __m128i twelve) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(to), twelve);
            const int32_t tail = _mm_cvtsi128_si32(_mm_srli_si128(twelve, 8));
            std::memcpy(to + 8, &tail, sizeof tail);
        };
        put(pixels, _mm256_castsi256_si128(ordered));
        put(pixels + 12, _mm256_extracti128_si256(ordered, 1));
    }
}
#endif

// Whether the pixel loops use AVX2 encodings.
inline bool use_avx2_loops() { return simd::runs(simd::Level::avx2); }

}  // namespace lumra
