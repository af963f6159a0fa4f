// The rectilinear warp with AVX2, a plane at a time, for planes with
// coefficients of their own: four destination pixels in the lanes, the
// geometry of each plane in double lanes (warp_pixels.h), the source read
// sample by sample. Every lane performs the operations of the baseline path
// (warp_rectilinear.cpp and the per-sample functions in warp_resample.h) in
// the same order, so the results are the same bits. Pairs of operands are at
// times swapped, which IEEE addition and multiplication do not notice.
#include "correct/warp_pixels.h"
#include "simd/rgb_interleave.h"

#if LUMRA_SIMD_X86

namespace lumra {
namespace {

LUMRA_TARGET_AVX2 inline void store_lanes(__m128 values, float* out, uint64_t channels) {
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, values);
    for (int t = 0; t < 4; ++t) out[t * channels] = lanes[t];
}

// Four pixels of three planes, one register per plane, stored interleaved as
// twelve consecutive samples.
LUMRA_TARGET_AVX2 inline void store_three_planes(const __m128 planes[3], float* out) {
    __m128 first, middle, last;
    simd::interleave_rgb(planes[0], planes[1], planes[2], first, middle, last);
    _mm_storeu_ps(out, first);
    _mm_storeu_ps(out + 4, middle);
    _mm_storeu_ps(out + 8, last);
}

// Bilinear resampling of whole groups, a plane at a time: four pixels' corner
// samples read one by one.
struct BilinearTaps : BilinearRun {
    using BilinearRun::BilinearRun;

    LUMRA_TARGET_AVX2 static __m256d load4(const float* plane, const int* first, int64_t step) {
        return _mm256_cvtps_pd(
            _mm_setr_ps(plane[first[0] + step], plane[first[1] + step], plane[first[2] + step], plane[first[3] + step]));
    }

    // Pixels at..at + 3 of the run, read from `plane`.
    LUMRA_TARGET_AVX2 __m128 sample(const WarpSource&, const float* plane, int at) const {
        const int* first = corner + at;
        const __m256d s00 = load4(plane, first, 0), s01 = load4(plane, first, c);
        const __m256d s10 = load4(plane, first, wc), s11 = load4(plane, first, wc + c);
        const __m256d f = _mm256_load_pd(fx + at), r = _mm256_load_pd(rest + at);
        const __m256d top = _mm256_add_pd(_mm256_mul_pd(s01, f), _mm256_mul_pd(s00, r));
        const __m256d bottom_minus_top = _mm256_add_pd(_mm256_mul_pd(s11, f), _mm256_sub_pd(_mm256_mul_pd(r, s10), top));
        return _mm256_cvtpd_ps(_mm256_add_pd(top, _mm256_mul_pd(bottom_minus_top, _mm256_load_pd(fy + at))));
    }

    LUMRA_TARGET_AVX2 void plan(const WarpSource& s, const Geometry& g, const PlaneCoefficients& k,
                                const RowTerms& r, uint64_t first, int n, double* ys, double* xs, bool* whole,
                                bool avx512) {
        plan_bilinear(s, g, k, r, first, n, *this, ys, xs, whole, avx512);
    }
};

// Cubic: each pixel's window offset (plane 0) and its weights.
struct CubicTaps {
    alignas(16) int window[kRun];
    alignas(16) int entry[kRun];
    int64_t c, c2, c3, wc;  // element offsets of window columns 1 to 3 and of the next row

    explicit CubicTaps(const WarpSource& s)
        : c(static_cast<int64_t>(s.channels)), c2(2 * c), c3(3 * c), wc(static_cast<int64_t>(s.stride)) {}

    LUMRA_TARGET_AVX2 void prepare(const WarpSource& s, simd::D4 y, simd::D4 x, int at, bool* whole) {
        __m128i row_start, row_index, col_start, col_index;
        cubic_taps4(y.v, static_cast<int>(s.height), row_start, row_index);
        cubic_taps4(x.v, static_cast<int>(s.width), col_start, col_index);
        _mm_store_si128(reinterpret_cast<__m128i*>(window + at), window_offsets(s, row_start, col_start));
        _mm_store_si128(reinterpret_cast<__m128i*>(entry + at),
                        _mm_slli_epi32(_mm_add_epi32(_mm_slli_epi32(row_index, 5), col_index), 4));
        whole[at / 4] = true;
    }

    LUMRA_TARGET_AVX2 void plan(const WarpSource& s, const Geometry& g, const PlaneCoefficients& k,
                                const RowTerms& r, uint64_t first, int n, double* ys, double* xs, bool* whole, bool) {
        plan_avx2(s, g, k, r, first, 0, n, *this, ys, xs, whole);
    }

    LUMRA_TARGET_AVX2 __m128 sample(const WarpSource& s, const float* plane, int at) const {
        alignas(16) float values[4];
        for (int t = 0; t < 4; ++t) {
            const float* w = s.table + entry[at + t];
            const float* base = plane + window[at + t];
            // Rows 0 | 1 and 2 | 3 in the two halves of a register (single
            // loads: faster than gathers on some processors).
            const __m256 p01 = _mm256_mul_ps(_mm256_setr_ps(base[0], base[c], base[c2], base[c3], base[wc], base[wc + c],
                                                            base[wc + c2], base[wc + c3]),
                                             _mm256_loadu_ps(w));
            const float* low = base + 2 * wc;
            const __m256 p23 = _mm256_mul_ps(_mm256_setr_ps(low[0], low[c], low[c2], low[c3], low[wc], low[wc + c],
                                                            low[wc + c2], low[wc + c3]),
                                             _mm256_loadu_ps(w + 8));
            // (row 0 + row 2) + (row 1 + row 3): the sums of (0 + 2) + (3 + 1).
            const __m256 pairs = _mm256_add_ps(p01, p23);
            const __m128 columns = _mm_add_ps(_mm256_castps256_ps128(pairs), _mm256_extractf128_ps(pairs, 1));
            // (column 1 + column 3) + (column 0 + column 2)
            const __m128 odd_even = _mm_add_ps(_mm_shuffle_ps(columns, columns, _MM_SHUFFLE(0, 0, 0, 1)),
                                               _mm_shuffle_ps(columns, columns, _MM_SHUFFLE(0, 0, 2, 3)));
            values[t] = _mm_cvtss_f32(_mm_add_ss(odd_even, _mm_shuffle_ps(odd_even, odd_even, _MM_SHUFFLE(0, 0, 0, 1))));
        }
        // limit_high_then_low to [0, 1], NaN to 1.
        const __m128 below_one = _mm_min_ps(_mm_load_ps(values), _mm_set1_ps(1.0f));
        return _mm_max_ps(below_one, _mm_setzero_ps());
    }
};

// Where each plane's positions and taps are kept for a run.
template <typename Taps>
struct PlaneRun {
    Taps taps;
    alignas(64) double ys[kRun], xs[kRun];
    bool whole[kRun / 4];

    explicit PlaneRun(const WarpSource& s) : taps(s) {}

    // Pixels at..at + 3 of plane k, which reads these positions.
    LUMRA_TARGET_AVX2 __m128 sample(const WarpSource& s, uint64_t k, int at) const {
        if (whole[at / 4]) return taps.sample(s, s.pixels + k, at);
        alignas(16) float values[4];
        for (int p = 0; p < 4; ++p) values[p] = resample_one(s, ys[at + p], xs[at + p], k);
        return _mm_load_ps(values);
    }
};

// `runs[k]` holds plane k's positions where plane k has its own, else
// plane k is read at the positions of the last plane before it that has.
template <typename Taps>
LUMRA_TARGET_AVX2 inline uint64_t warp_row(const WarpSource& s, const Geometry& g, int plane_count, uint64_t row,
                                            uint64_t first_col, uint64_t count, float* out_row,
                                            PlaneRun<Taps>* runs) {
    PlaneCoefficients coefficients[kWidePlanes];
    int source_of[kWidePlanes];  // which plane's positions plane k uses
    for (int k = 0; k < plane_count; ++k) {
        coefficients[k] = g.plane(k);
        source_of[k] = k == 0 || !g.same_as_previous(k) ? k : source_of[k - 1];
    }
    const RowTerms r(g, row);
    const bool avx512 = simd::runs(simd::Level::avx512);
    const uint64_t columns = count & ~uint64_t{3};
    for (uint64_t first = 0; first < columns; first += kRun) {
        const int n = static_cast<int>(std::min<uint64_t>(kRun, columns - first));
        for (int k = 0; k < plane_count; ++k)
            if (source_of[k] == k) {
                PlaneRun<Taps>& run = runs[k];
                run.taps.plan(s, g, coefficients[k], r, first_col + first, n, run.ys, run.xs, run.whole, avx512);
            }
        float* out = out_row + first * s.channels;
        if (s.channels == 3 && plane_count == 3) {
            // Every sample of the pixels is written: whole registers are stored.
            for (int at = 0; at < n; at += 4) {
                const __m128 values[3] = {runs[source_of[0]].sample(s, 0, at), runs[source_of[1]].sample(s, 1, at),
                                          runs[source_of[2]].sample(s, 2, at)};
                store_three_planes(values, out + at * 3);
            }
            continue;
        }
        for (int at = 0; at < n; at += 4)
            for (int k = 0; k < plane_count; ++k)
                store_lanes(runs[source_of[k]].sample(s, static_cast<uint64_t>(k), at), out + at * s.channels + k,
                            s.channels);
    }
    return columns;
}

}  // namespace

LUMRA_TARGET_AVX2 uint64_t warp_rows_avx2(const WarpSource& s, const Geometry& g, int plane_count, uint64_t row,
                                          uint64_t first_col, uint64_t count, float* out_row) {
    if (s.table) {
        PlaneRun<CubicTaps> runs[kWidePlanes] = {PlaneRun<CubicTaps>(s), PlaneRun<CubicTaps>(s),
                                                 PlaneRun<CubicTaps>(s), PlaneRun<CubicTaps>(s)};
        return warp_row(s, g, plane_count, row, first_col, count, out_row, runs);
    }
    PlaneRun<BilinearTaps> runs[kWidePlanes] = {PlaneRun<BilinearTaps>(s), PlaneRun<BilinearTaps>(s),
                                                PlaneRun<BilinearTaps>(s), PlaneRun<BilinearTaps>(s)};
    return warp_row(s, g, plane_count, row, first_col, count, out_row, runs);
}

}  // namespace lumra
#endif
