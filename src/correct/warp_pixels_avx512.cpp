// The geometry of the bilinear warp with AVX-512: eight destination pixels
// in the lanes, which halves the instructions of the pass that dominates
// the warp. Every lane performs the operations of pixel_terms, positions4
// and BilinearRun::prepare in the same order, so the taps are the same bits.
#include "correct/warp_pixels.h"

#if LUMRA_SIMD_X86
// GCC's AVX-512 headers pass deliberately undefined registers to the
// conversions, which its own uninitialised-use warning then reports.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace lumra {

LUMRA_TARGET_AVX512 void plan_bilinear_avx512(
    const WarpSource& s, const Geometry& g, const PlaneCoefficients& k, const RowTerms& r, uint64_t first, int n,
    BilinearRun& taps, double* ys, double* xs, bool* whole) noexcept {
    const __m512d one = _mm512_set1_pd(1.0), zero = _mm512_setzero_pd();
    const __m512d cx = _mm512_set1_pd(g.cx), cy = _mm512_set1_pd(g.cy), scale = _mm512_set1_pd(g.scale);
    const __m512d extent = _mm512_set1_pd(g.extent), dy = _mm512_set1_pd(r.dy), qy = _mm512_set1_pd(r.qy);
    const __m512d two_qy = _mm512_set1_pd(2.0 * r.qy), two_l_sy = _mm512_set1_pd(r.two_l_sy);
    const __m512d kr0 = _mm512_set1_pd(k.kr[0]), kr1 = _mm512_set1_pd(k.kr[1]);
    const __m512d kr2 = _mm512_set1_pd(k.kr[2]), kr3 = _mm512_set1_pd(k.kr[3]);
    const __m512d kt0 = _mm512_set1_pd(k.kt0), kt1 = _mm512_set1_pd(k.kt1);
    const __m512d last_row = _mm512_set1_pd(g.last_row), last_col = _mm512_set1_pd(g.last_col);
    const int64_t c = static_cast<int64_t>(s.channels), wc = static_cast<int64_t>(s.stride);
    const __m512d c_steps = _mm512_set1_pd(static_cast<double>(c)), wc_steps = _mm512_set1_pd(static_cast<double>(wc));
    const __m512d last_first = _mm512_set1_pd(static_cast<double>(static_cast<int64_t>(s.rows) * wc - 4 - wc - c));
    const __m512d window_start = _mm512_set1_pd(-static_cast<double>(BilinearRun::window_offset(s)));
    __m512d columns = _mm512_add_pd(_mm512_set1_pd(static_cast<double>(first)), _mm512_setr_pd(0, 1, 2, 3, 4, 5, 6, 7));
    for (int at = 0; at < n; at += 8, columns = _mm512_add_pd(columns, _mm512_set1_pd(8.0))) {
        // pixel_terms
        const __m512d dx = _mm512_sub_pd(columns, cx);
        const __m512d sx = _mm512_mul_pd(dx, scale);
        const __m512d qx = _mm512_mul_pd(sx, sx);
        const __m512d r2 = _mm512_min_pd(_mm512_add_pd(qx, qy), one);
        const __m512d r4 = _mm512_mul_pd(r2, r2), r6 = _mm512_mul_pd(r4, r2);
        // positions4
        const __m512d f = _mm512_add_pd(
            _mm512_add_pd(_mm512_add_pd(kr0, _mm512_mul_pd(kr1, r2)), _mm512_mul_pd(kr2, r4)), _mm512_mul_pd(kr3, r6));
        __m512d y = _mm512_mul_pd(f, dy), x = _mm512_mul_pd(f, dx);
        if (k.tangential) {
            const __m512d tangent_x = _mm512_add_pd(_mm512_mul_pd(_mm512_set1_pd(2.0), qx), r2);
            const __m512d tangent_y = _mm512_add_pd(two_qy, r2);
            const __m512d product = _mm512_mul_pd(two_l_sy, sx);
            y = _mm512_add_pd(y, _mm512_add_pd(_mm512_mul_pd(_mm512_mul_pd(kt0, tangent_y), extent),
                                               _mm512_mul_pd(kt1, product)));
            x = _mm512_add_pd(x, _mm512_add_pd(_mm512_mul_pd(_mm512_mul_pd(kt1, tangent_x), extent),
                                               _mm512_mul_pd(kt0, product)));
        }
        y = _mm512_max_pd(_mm512_min_pd(_mm512_add_pd(cy, y), last_row), zero);
        x = _mm512_max_pd(_mm512_min_pd(_mm512_add_pd(cx, x), last_col), zero);
        _mm512_storeu_pd(ys + at, y);
        _mm512_storeu_pd(xs + at, x);
        // BilinearRun::prepare
        const __m512d y0 = _mm512_roundscale_pd(y, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
        const __m512d x0 = _mm512_roundscale_pd(x, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
        const __m512d fractions_x = _mm512_sub_pd(x, x0);
        _mm512_storeu_pd(taps.fx + at, fractions_x);
        _mm512_storeu_pd(taps.rest + at, _mm512_sub_pd(one, fractions_x));
        _mm512_storeu_pd(taps.fy + at, _mm512_sub_pd(y, y0));
        const __m512d corner =
            _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(y0, wc_steps), _mm512_mul_pd(x0, c_steps)), window_start);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(taps.corner + at), _mm512_cvttpd_epi32(corner));
        const unsigned edge = static_cast<unsigned>(_mm512_cmp_pd_mask(x0, last_col, _CMP_EQ_OQ) |
                                                    _mm512_cmp_pd_mask(y0, last_row, _CMP_EQ_OQ) |
                                                    _mm512_cmp_pd_mask(corner, last_first, _CMP_GT_OQ));
        whole[at / 4] = (edge & 0x0fu) == 0;
        whole[at / 4 + 1] = (edge & 0xf0u) == 0;
    }
}

}  // namespace lumra

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif
