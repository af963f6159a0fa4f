// The rectilinear warp with AVX2 when every plane of a three- or
// four-channel image is warped with the same coefficients, which is the
// common case of one distortion correction for all colours. All planes then
// read the source at the same positions, so a pixel's channels are resampled
// together, straight from the interleaved source: a bilinear corner is one
// 16-byte load whose lanes are its channels, and a row of the cubic window
// is its four pixels' samples loaded as they lie, multiplied by weights laid
// out to match. The positions of a run of pixels are worked out first
// (warp_pixels.h: four pixels per register, eight with AVX-512), then the
// run is resampled; every lane performs the baseline path's operations in
// the same order, so the results are the same bits.
#include "correct/warp_pixels.h"

#if LUMRA_SIMD_X86
#include <cstdlib>

namespace lumra {
namespace {

// Four pixels' results, one register each with the channels in lanes (the
// fourth lane unused when there are three), stored as consecutive pixels.
template <int Channels>
LUMRA_TARGET_AVX2 inline void store_pixels(const __m128 pixels[4], float* out) {
    if constexpr (Channels == 4) {
        for (int p = 0; p < 4; ++p) _mm_storeu_ps(out + 4 * p, pixels[p]);
    } else {
        const __m128 a = pixels[0], b = pixels[1], c = pixels[2], d = pixels[3];
        _mm_storeu_ps(out, _mm_insert_ps(a, b, 0x30));                          // a0 a1 a2 b0
        _mm_storeu_ps(out + 4, _mm_shuffle_ps(b, c, _MM_SHUFFLE(1, 0, 2, 1)));  // b1 b2 c0 c1
        const __m128 c2_d0 = _mm_shuffle_ps(c, d, _MM_SHUFFLE(0, 0, 2, 2));     // c2 c2 d0 d0
        _mm_storeu_ps(out + 8, _mm_shuffle_ps(c2_d0, d, _MM_SHUFFLE(2, 1, 2, 0)));  // c2 d0 d1 d2
    }
}

// Bilinear resampling of whole groups, every channel of a pixel at once.
struct BilinearPixels : BilinearRun {
    using BilinearRun::BilinearRun;

    // bilinear_sample for every channel of pixel p of the run.
    LUMRA_TARGET_AVX2 __m128 sample(const float* pixels, int p) const {
        const float* at = pixels + corner[p];
        const __m256d s00 = _mm256_cvtps_pd(_mm_loadu_ps(at)), s01 = _mm256_cvtps_pd(_mm_loadu_ps(at + c));
        const __m256d s10 = _mm256_cvtps_pd(_mm_loadu_ps(at + wc)), s11 = _mm256_cvtps_pd(_mm_loadu_ps(at + wc + c));
        const __m256d f = _mm256_broadcast_sd(fx + p), r = _mm256_broadcast_sd(rest + p);
        const __m256d top = _mm256_add_pd(_mm256_mul_pd(s01, f), _mm256_mul_pd(s00, r));
        const __m256d bottom_minus_top = _mm256_add_pd(_mm256_mul_pd(s11, f), _mm256_sub_pd(_mm256_mul_pd(r, s10), top));
        return _mm256_cvtpd_ps(_mm256_add_pd(top, _mm256_mul_pd(bottom_minus_top, _mm256_broadcast_sd(fy + p))));
    }
};

// The cubic weight table laid out for whole window rows: for each entry and
// window row, the four column weights each repeated once per channel, so
// that a row of the window (four pixels of Channels samples) is multiplied
// by the weights in the order its samples lie in memory.
template <int Channels>
struct SpreadWeights {
    static constexpr int kRow = 4 * Channels;  // floats per window row
    static constexpr int kEntry = 4 * kRow;    // floats per entry
    static constexpr size_t kBytes = size_t{kBicubicSteps} * kBicubicSteps * kEntry * sizeof(float);

    static void fill(const float* table, float* spread) {
        for (int e = 0; e < kBicubicSteps * kBicubicSteps; ++e)
            for (int t = 0; t < 4; ++t)
                for (int u = 0; u < 4; ++u)
                    for (int k = 0; k < Channels; ++k)
                        spread[e * kEntry + t * kRow + u * Channels + k] = table[e * kBicubicTaps + t * 4 + u];
    }
};

// Cubic resampling of four pixels, all channels at once. A window row is
// 4 x Channels consecutive samples, so the loads never pass the window.
template <int Channels>
struct CubicPixels {
    alignas(16) int window[kRun];
    alignas(16) int entry[kRun];
    int c, wc;
    const float* spread;

    CubicPixels(const WarpSource& s, const float* spread_weights)
        : c(static_cast<int>(s.channels)), wc(static_cast<int>(s.stride)), spread(spread_weights) {}

    LUMRA_TARGET_AVX2 void prepare(const WarpSource& s, simd::D4 y, simd::D4 x, int at, bool* whole) {
        __m128i row_start, row_index, col_start, col_index;
        cubic_taps4(y.v, static_cast<int>(s.height), row_start, row_index);
        cubic_taps4(x.v, static_cast<int>(s.width), col_start, col_index);
        _mm_store_si128(reinterpret_cast<__m128i*>(window + at), window_offsets(s, row_start, col_start));
        _mm_store_si128(reinterpret_cast<__m128i*>(entry + at),
                        _mm_mullo_epi32(_mm_add_epi32(_mm_slli_epi32(row_index, 5), col_index),
                                        _mm_set1_epi32(SpreadWeights<Channels>::kEntry)));
        whole[at / 4] = true;
    }

    // cubic_window for every channel of pixel p: the rows' products summed
    // sample by sample as (row 0 + row 2) + (row 3 + row 1), which gives
    // each column's total in place, then (column 1 + column 3) +
    // (column 0 + column 2), limited to [0, 1].
    LUMRA_TARGET_AVX2 __m128 sample(const float* pixels, int p) const {
        const float* base = pixels + window[p];
        const float* w = spread + entry[p];
        constexpr int kRow = SpreadWeights<Channels>::kRow;
        __m256 low[4], high[4];  // samples 0-7 and the rest (4 or 8) of each row's products
        for (int t = 0; t < 4; ++t) {
            const float* row = base + t * wc;
            low[t] = _mm256_mul_ps(_mm256_loadu_ps(row), _mm256_loadu_ps(w + t * kRow));
            if constexpr (Channels == 4)
                high[t] = _mm256_mul_ps(_mm256_loadu_ps(row + 8), _mm256_loadu_ps(w + t * kRow + 8));
            else
                high[t] = _mm256_castps128_ps256(_mm_mul_ps(_mm_loadu_ps(row + 8), _mm_loadu_ps(w + t * kRow + 8)));
        }
        const __m256 a = _mm256_add_ps(_mm256_add_ps(low[0], low[2]), _mm256_add_ps(low[3], low[1]));
        __m128 value;
        if constexpr (Channels == 4) {
            // a = column 0 | column 1, b = column 2 | column 3.
            const __m256 b = _mm256_add_ps(_mm256_add_ps(high[0], high[2]), _mm256_add_ps(high[3], high[1]));
            const __m256 pairs = _mm256_add_ps(a, b);
            value = _mm_add_ps(_mm256_extractf128_ps(pairs, 1), _mm256_castps256_ps128(pairs));
        } else {
            // a = c0 c0 c0 c1 | c1 c1 c2 c2, b = c2 c3 c3 c3 (column of each sample).
            const __m128 b = _mm_add_ps(_mm_add_ps(_mm256_castps256_ps128(high[0]), _mm256_castps256_ps128(high[2])),
                                        _mm_add_ps(_mm256_castps256_ps128(high[3]), _mm256_castps256_ps128(high[1])));
            const __m128i a_low = _mm_castps_si128(_mm256_castps256_ps128(a));
            const __m128i a_high = _mm_castps_si128(_mm256_extractf128_ps(a, 1));
            const __m128i bi = _mm_castps_si128(b);
            const __m128 column1 = _mm_castsi128_ps(_mm_alignr_epi8(a_high, a_low, 12));
            const __m128 column2 = _mm_castsi128_ps(_mm_alignr_epi8(bi, a_high, 8));
            const __m128 column3 = _mm_castsi128_ps(_mm_alignr_epi8(bi, bi, 4));
            value = _mm_add_ps(_mm_add_ps(column1, column3), _mm_add_ps(_mm_castsi128_ps(a_low), column2));
        }
        return _mm_max_ps(_mm_min_ps(value, _mm_set1_ps(1.0f)), _mm_setzero_ps());
    }
};

LUMRA_TARGET_AVX2 inline void plan_run(const WarpSource& s, const Geometry& g, const PlaneCoefficients& k,
                                       const RowTerms& r, uint64_t first, int n, BilinearPixels& taps, double* ys,
                                       double* xs, bool* whole, bool avx512) {
    plan_bilinear(s, g, k, r, first, n, taps, ys, xs, whole, avx512);
}

template <typename Taps>
LUMRA_TARGET_AVX2 inline void plan_run(const WarpSource& s, const Geometry& g, const PlaneCoefficients& k,
                                       const RowTerms& r, uint64_t first, int n, Taps& taps, double* ys, double* xs,
                                       bool* whole, bool) {
    plan_avx2(s, g, k, r, first, 0, n, taps, ys, xs, whole);
}

template <int Channels, typename Taps>
LUMRA_TARGET_AVX2 inline uint64_t warp_row(const WarpSource& s, const Geometry& g, uint64_t row, uint64_t first_col,
                                            uint64_t count, float* out_row, Taps& taps) {
    const PlaneCoefficients coefficients = g.plane(0);
    const RowTerms r(g, row);
    const bool avx512 = simd::runs(simd::Level::avx512);
    const uint64_t columns = count & ~uint64_t{3};
    alignas(64) double ys[kRun], xs[kRun];
    bool whole[kRun / 4];
    for (uint64_t first = 0; first < columns; first += kRun) {
        const int n = static_cast<int>(std::min<uint64_t>(kRun, columns - first));
        plan_run(s, g, coefficients, r, first_col + first, n, taps, ys, xs, whole, avx512);
        float* out = out_row + first * Channels;
        for (int at = 0; at < n; at += 4, out += 4 * Channels) {
            if (whole[at / 4]) {
                const __m128 values[4] = {taps.sample(s.pixels, at), taps.sample(s.pixels, at + 1),
                                          taps.sample(s.pixels, at + 2), taps.sample(s.pixels, at + 3)};
                store_pixels<Channels>(values, out);
            } else {
                for (int p = 0; p < 4; ++p)
                    for (int k = 0; k < Channels; ++k)
                        out[p * Channels + k] = resample_one(s, ys[at + p], xs[at + p], static_cast<uint64_t>(k));
            }
        }
    }
    return columns;
}

template <int Channels>
LUMRA_TARGET_AVX2 uint64_t warp_pixel_rows(const WarpSource& s, const Geometry& g, int, uint64_t row,
                                           uint64_t first_col, uint64_t count, float* out_row) {
    if (s.table) {
        CubicPixels<Channels> taps(s, s.spread);
        return warp_row<Channels>(s, g, row, first_col, count, out_row, taps);
    }
    BilinearPixels taps(s);
    return warp_row<Channels>(s, g, row, first_col, count, out_row, taps);
}

template <int Channels>
WideRows pixel_rows(WarpSource& s, WideScratch& scratch) noexcept {
    if (s.table) {
        constexpr size_t bytes = SpreadWeights<Channels>::kBytes;
        scratch.memory = std::aligned_alloc(64, bytes);
        if (!scratch.memory) return nullptr;
        float* spread = static_cast<float*>(scratch.memory);
        SpreadWeights<Channels>::fill(s.table, spread);
        s.spread = spread;
    }
    return warp_pixel_rows<Channels>;
}

}  // namespace

WideRows warp_pixel_rows_avx2(WarpSource& s, WideScratch& scratch) noexcept {
    if (s.channels == 3) return pixel_rows<3>(s, scratch);
    if (s.channels == 4) return pixel_rows<4>(s, scratch);
    return nullptr;
}

}  // namespace lumra
#endif
