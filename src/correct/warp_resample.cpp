// The warp's baseline resamplers and the one place that chooses the wide
// row warp.
#include "correct/warp_resample.h"

#include "simd/isa.h"

#include <limits>

namespace lumra {

void bilinear_run(const WarpSource& s, const double* ys, const double* xs, int n, uint64_t plane, float* out) {
    for (int j = 0; j < n; ++j) out[static_cast<uint64_t>(j) * s.channels + plane] = bilinear_sample(s, ys[j], xs[j], plane);
}

void cubic_run(const WarpSource& s, const double* ys, const double* xs, int n, uint64_t plane, float* out) {
    for (int j = 0; j < n; ++j) out[static_cast<uint64_t>(j) * s.channels + plane] = cubic_sample(s, ys[j], xs[j], plane);
}

WideRows warp_wide_rows(WarpSource& s, const Geometry& g, int plane_count, WideScratch& scratch) noexcept {
#if LUMRA_SIMD_X86
    // Window offsets in 32 bits, whole-image positions in 32 bits, and
    // whole-image element offsets (row x stride + column x channels) exact
    // in double.
    constexpr uint64_t kInt32 = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
    constexpr uint64_t kExact = uint64_t{1} << 52;
    const bool offsets_fit = s.stride != 0 && s.rows <= kInt32 / s.stride && s.height <= kInt32 &&
                             s.width <= kInt32 && s.height <= kExact / s.stride && s.width <= kExact / s.channels;
    if (!offsets_fit || !simd::runs(simd::Level::avx2)) return nullptr;
    if (static_cast<uint64_t>(plane_count) == s.channels && g.planes_alike(plane_count))
        if (const WideRows pixel_rows = warp_pixel_rows_avx2(s, scratch)) return pixel_rows;
    if (plane_count <= kWidePlanes) return warp_rows_avx2;
#else
    (void)s;
    (void)g;
    (void)plane_count;
    (void)scratch;
#endif
    return nullptr;
}

}  // namespace lumra
