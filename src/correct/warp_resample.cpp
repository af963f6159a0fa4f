// The warp's baseline resamplers and the one place that chooses the wide
// row warp.
#include "warp_resample.h"

#include "wide_path.h"

#include <limits>

namespace lumra {

void bilinear_run(const WarpSource& s, const double* ys, const double* xs, int n, uint64_t plane, float* out) {
    for (int j = 0; j < n; ++j) out[static_cast<uint64_t>(j) * s.channels + plane] = bilinear_sample(s, ys[j], xs[j], plane);
}

void cubic_run(const WarpSource& s, const double* ys, const double* xs, int n, uint64_t plane, float* out) {
    for (int j = 0; j < n; ++j) out[static_cast<uint64_t>(j) * s.channels + plane] = cubic_sample(s, ys[j], xs[j], plane);
}

WideRows warp_wide_rows(const WarpSource& s, int plane_count) noexcept {
#if LUMRA_HAS_AVX2_PATH
    const uint64_t elements = s.height * s.width * s.channels;
    const bool offsets_fit = s.width != 0 && elements / s.width / s.channels == s.height &&
                             elements <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
    if (offsets_fit && plane_count <= kWidePlanes && avx2_path()) return warp_rows_avx2;
#else
    (void)s;
    (void)plane_count;
#endif
    return nullptr;
}

}  // namespace lumra
