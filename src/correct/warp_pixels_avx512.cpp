// The geometry pass of the bilinear warp (warp_pixels.h) with AVX-512: eight
// destination pixels in the lanes, which halves the instructions of the pass
// that dominates the warp. A file of its own so that only this code is
// compiled for AVX-512 with GCC's uninitialised-use warning off.
#include "correct/warp_pixels.h"

#if LUMRA_SIMD_X86
// GCC's AVX-512 headers pass deliberately undefined registers to the
// conversions, which its own uninitialised-use warning then reports.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace lumra {

LUMRA_TARGET_AVX512 void plan_bilinear_avx512(const WarpSource& s, const Geometry& g, const PlaneCoefficients& k,
                                              const RowTerms& r, uint64_t first, int n, BilinearRun& taps, double* ys,
                                              double* xs, bool* whole) noexcept {
    plan_lanes<simd::D8>(s, g, k, r, first, 0, n, taps, ys, xs, whole);
}

}  // namespace lumra

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif
