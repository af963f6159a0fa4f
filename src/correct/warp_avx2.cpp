// The rectilinear warp with AVX2, a plane at a time, four destination
// pixels in the lanes: the geometry in four double lanes, the positions
// turned into 32-bit element offsets together, the source read sample by
// sample. Every lane performs the
// operations of the baseline path (warp_rectilinear.cpp and the per-sample
// functions in warp_resample.h) in the same order, so the results are the
// same bits. Pairs of operands are at times swapped, which IEEE addition and
// multiplication do not notice.
#include "warp_lanes_avx2.h"

#if LUMRA_HAS_AVX2_PATH

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
    const __m128 a = planes[0], b = planes[1], c = planes[2];
    const __m128 ab_low = _mm_unpacklo_ps(a, b), ab_high = _mm_unpackhi_ps(a, b);
    const __m128 ca_low = _mm_unpacklo_ps(c, a), ca_high = _mm_unpackhi_ps(c, a);
    const __m128 bc_low = _mm_unpacklo_ps(b, c), bc_high = _mm_unpackhi_ps(b, c);
    _mm_storeu_ps(out, _mm_shuffle_ps(ab_low, ca_low, _MM_SHUFFLE(3, 0, 1, 0)));      // a0 b0 c0 a1
    _mm_storeu_ps(out + 4, _mm_shuffle_ps(bc_low, ab_high, _MM_SHUFFLE(1, 0, 3, 2)));  // b1 c1 a2 b2
    _mm_storeu_ps(out + 8, _mm_shuffle_ps(ca_high, bc_high, _MM_SHUFFLE(3, 2, 3, 0))); // c2 a3 b3 c3
}

// Destination pixels whose positions are worked out, for every plane, in
// one pass before they are resampled in a second: each pass has short
// dependency chains and its iterations overlap, where a single pass over
// four pixels at a time waits on each group's geometry before it can load.
constexpr int kRun = 64;

// Bilinear: each pixel's four corner offsets (plane 0) and its fractions.
struct BilinearTaps {
    alignas(16) int o00[kRun], o01[kRun], o10[kRun], o11[kRun];
    alignas(32) double fx[kRun], fy[kRun];

    LUMRA_TARGET_AVX2 void prepare(const WarpSource& s, __m256d y, __m256d x, int at) {
        const __m128i one = _mm_set1_epi32(1);
        const __m128i y0 = _mm256_cvttpd_epi32(y), x0 = _mm256_cvttpd_epi32(x);
        const __m128i y1 = _mm_min_epi32(_mm_add_epi32(y0, one), _mm_set1_epi32(static_cast<int>(s.last_row)));
        const __m128i x1 = _mm_min_epi32(_mm_add_epi32(x0, one), _mm_set1_epi32(static_cast<int>(s.last_col)));
        _mm256_store_pd(fx + at, _mm256_sub_pd(x, _mm256_cvtepi32_pd(x0)));
        _mm256_store_pd(fy + at, _mm256_sub_pd(y, _mm256_cvtepi32_pd(y0)));
        const __m128i row_step = _mm_set1_epi32(static_cast<int>(s.width * s.channels));
        const __m128i col_step = _mm_set1_epi32(static_cast<int>(s.channels));
        const __m128i row0 = _mm_mullo_epi32(y0, row_step), row1 = _mm_mullo_epi32(y1, row_step);
        const __m128i col0 = _mm_mullo_epi32(x0, col_step), col1 = _mm_mullo_epi32(x1, col_step);
        _mm_store_si128(reinterpret_cast<__m128i*>(o00 + at), _mm_add_epi32(row0, col0));
        _mm_store_si128(reinterpret_cast<__m128i*>(o01 + at), _mm_add_epi32(row0, col1));
        _mm_store_si128(reinterpret_cast<__m128i*>(o10 + at), _mm_add_epi32(row1, col0));
        _mm_store_si128(reinterpret_cast<__m128i*>(o11 + at), _mm_add_epi32(row1, col1));
    }

    LUMRA_TARGET_AVX2 static __m256d load4(const float* plane, const int* o) {
        return _mm256_cvtps_pd(_mm_setr_ps(plane[o[0]], plane[o[1]], plane[o[2]], plane[o[3]]));
    }

    // Pixels at..at + 3 of the run, read from `plane`.
    LUMRA_TARGET_AVX2 __m128 sample(const float* plane, int at) const {
        const __m256d s00 = load4(plane, o00 + at);
        const __m256d s01 = load4(plane, o01 + at);
        const __m256d s10 = load4(plane, o10 + at);
        const __m256d s11 = load4(plane, o11 + at);
        const __m256d f = _mm256_load_pd(fx + at);
        const __m256d rest = _mm256_sub_pd(_mm256_set1_pd(1.0), f);
        const __m256d top = _mm256_add_pd(_mm256_mul_pd(s01, f), _mm256_mul_pd(s00, rest));
        const __m256d bottom_minus_top =
            _mm256_add_pd(_mm256_mul_pd(s11, f), _mm256_sub_pd(_mm256_mul_pd(rest, s10), top));
        return _mm256_cvtpd_ps(_mm256_add_pd(top, _mm256_mul_pd(bottom_minus_top, _mm256_load_pd(fy + at))));
    }
};

// Cubic: each pixel's window offset (plane 0) and its weights.
struct CubicTaps {
    alignas(16) int window[kRun];
    alignas(16) int entry[kRun];
    int64_t c, c2, c3, wc;  // element offsets of window columns 1 to 3 and of the next row

    explicit CubicTaps(const WarpSource& s)
        : c(static_cast<int64_t>(s.channels)), c2(2 * c), c3(3 * c), wc(static_cast<int64_t>(s.width * s.channels)) {}

    LUMRA_TARGET_AVX2 void prepare(const WarpSource& s, __m256d y, __m256d x, int at) {
        __m128i row_start, row_index, col_start, col_index;
        cubic_taps4(y, static_cast<int>(s.height), row_start, row_index);
        cubic_taps4(x, static_cast<int>(s.width), col_start, col_index);
        const __m128i row_step = _mm_set1_epi32(static_cast<int>(s.width * s.channels));
        const __m128i col_step = _mm_set1_epi32(static_cast<int>(s.channels));
        _mm_store_si128(reinterpret_cast<__m128i*>(window + at),
                        _mm_add_epi32(_mm_mullo_epi32(row_start, row_step), _mm_mullo_epi32(col_start, col_step)));
        _mm_store_si128(reinterpret_cast<__m128i*>(entry + at),
                        _mm_slli_epi32(_mm_add_epi32(_mm_slli_epi32(row_index, 5), col_index), 4));
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

LUMRA_TARGET_AVX2 inline __m128 sample_run(const BilinearTaps& taps, const WarpSource&, const float* plane, int at) {
    return taps.sample(plane, at);
}

LUMRA_TARGET_AVX2 inline __m128 sample_run(const CubicTaps& taps, const WarpSource& s, const float* plane, int at) {
    return taps.sample(s, plane, at);
}

// `taps[k]` holds plane k's positions where plane k has its own, else
// plane k is read at the positions of the last plane before it that has.
template <typename Taps>
LUMRA_TARGET_AVX2 inline uint64_t warp_row(const WarpSource& s, const Geometry& g, int plane_count, uint64_t row,
                                            float* out_row, Taps* taps) {
    PlaneCoefficients coefficients[kWidePlanes];
    int source_of[kWidePlanes];  // which plane's positions plane k uses
    for (int k = 0; k < plane_count; ++k) {
        coefficients[k] = g.plane(k);
        source_of[k] = k == 0 || !g.same_as_previous(k) ? k : source_of[k - 1];
    }
    const RowTerms r(g, row);
    const uint64_t columns = s.width & ~uint64_t{3};
    for (uint64_t first = 0; first < columns; first += kRun) {
        const int n = static_cast<int>(std::min<uint64_t>(kRun, columns - first));
        __m256d columns = four_columns(first);
        for (int at = 0; at < n; at += 4, columns = _mm256_add_pd(columns, _mm256_set1_pd(4.0))) {
            const PixelTerms t = pixel_terms(g, r, columns);
            for (int k = 0; k < plane_count; ++k) {
                if (source_of[k] != k) continue;
                __m256d y, x;
                positions4(g, coefficients[k], t, r.dy, y, x);
                taps[k].prepare(s, y, x, at);
            }
        }
        float* out = out_row + first * s.channels;
        if (s.channels == 3 && plane_count == 3) {
            // Every sample of the pixels is written: whole registers are stored.
            for (int at = 0; at < n; at += 4) {
                const __m128 values[3] = {sample_run(taps[source_of[0]], s, s.pixels, at),
                                          sample_run(taps[source_of[1]], s, s.pixels + 1, at),
                                          sample_run(taps[source_of[2]], s, s.pixels + 2, at)};
                store_three_planes(values, out + at * 3);
            }
            continue;
        }
        for (int at = 0; at < n; at += 4)
            for (int k = 0; k < plane_count; ++k)
                store_lanes(sample_run(taps[source_of[k]], s, s.pixels + k, at), out + at * s.channels + k,
                            s.channels);
    }
    return columns;
}

}  // namespace

LUMRA_TARGET_AVX2 uint64_t warp_rows_avx2(const WarpSource& s, const Geometry& g, int plane_count, uint64_t row,
                                          float* out_row) {
    if (s.table) {
        CubicTaps taps[kWidePlanes] = {CubicTaps(s), CubicTaps(s), CubicTaps(s), CubicTaps(s)};
        return warp_row(s, g, plane_count, row, out_row, taps);
    }
    BilinearTaps taps[kWidePlanes];
    return warp_row(s, g, plane_count, row, out_row, taps);
}

}  // namespace lumra
#endif
