// Exposure ramp: 0 up to the toe, a quadratic toe around the black level, then
// a line that maps the white level to 1.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "profile/profile_kernels.h"
#include "simd/lanes.h"
#include "simd/lanes_avx512.h"

namespace lumra {
namespace {

struct Ramp {
    float black;
    float slope;
    float quad;
    float toe_low;
    float toe_high;
};

// double to float as IEEE rounds it, with values beyond the float range going
// to infinity explicitly (the plain conversion of such values is undefined).
float to_float(double value) {
    constexpr double kOverflow = 0x1.ffffffp127;  // halfway between the largest float and 2^128
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    if (value >= kOverflow) return kInfinity;
    if (value <= -kOverflow) return -kInfinity;
    return static_cast<float>(value);
}

Ramp make_ramp(double white_level, double black_level, double ramp_width) {
    const float span = to_float(white_level - black_level);
    const float slope = 1.0f / span;
    const float radius = std::min(to_float(ramp_width) * 0.5f, span * 0.0625f);
    const float quad = radius > 0.0f ? slope / (4.0f * radius) : 0.0f;
    const float black = to_float(black_level);
    return Ramp{black, slope, quad, black - radius, black + radius};
}

// All three pieces are computed and one is selected; a NaN sample fails both
// comparisons and takes the line (and stays NaN). std::min(y, 1) is
// upper_limit(y, 1).
template <bool kAllowOverrange, typename V>
LUMRA_SHARED_BODY V ramp_sample(V x, const Ramp& ramp) {
    const V linear = (x - V(ramp.black)) * V(ramp.slope);
    const V line = kAllowOverrange ? linear : upper_limit(linear, V(1.0f));
    const V rise = x - V(ramp.toe_low);
    const V toe = (rise * rise) * V(ramp.quad);
    const V upper = select(less(x, V(ramp.toe_high)), toe, line);
    return zero_where(less_equal(x, V(ramp.toe_low)), upper);
}

// Without a toe (toe_low == toe_high, as a zero ramp width gives) a sample
// above toe_low is not below toe_high either: ramp_sample is 0 up to toe_low
// and the line above it (NaN included), with the toe left out.
template <bool kAllowOverrange, typename V>
LUMRA_SHARED_BODY V line_sample(V x, const Ramp& ramp) {
    const V linear = (x - V(ramp.black)) * V(ramp.slope);
    const V line = kAllowOverrange ? linear : upper_limit(linear, V(1.0f));
    return zero_where(less_equal(x, V(ramp.toe_low)), line);
}

// Samples from n on, as many whole values of V as there are; returns where
// it stopped. Each sample is read before its own result is written, so src
// and dst may be the same buffer.
template <bool kAllowOverrange, bool kToe, typename V>
LUMRA_SHARED_BODY uint64_t ramp_run(const float* src, float* dst, uint64_t n, uint64_t count, const Ramp& ramp) {
    constexpr int kLanes = kLanesOf<V>;
    for (; n + kLanes <= count; n += kLanes) {
        const V x = load(src + n, V{});
        store(dst + n, kToe ? ramp_sample<kAllowOverrange>(x, ramp) : line_sample<kAllowOverrange>(x, ramp));
    }
    return n;
}

template <bool kAllowOverrange, bool kToe>
uint64_t ramp_baseline(const float* src, float* dst, uint64_t n, uint64_t count, const Ramp& ramp) {
    n = ramp_run<kAllowOverrange, kToe, Lanes>(src, dst, n, count, ramp);
    return ramp_run<kAllowOverrange, kToe, float>(src, dst, n, count, ramp);
}
#if LUMRA_SIMD_X86
template <bool kAllowOverrange, bool kToe>
LUMRA_TARGET_AVX512 uint64_t ramp_avx512(const float* src, float* dst, uint64_t count, const Ramp& ramp) {
    return ramp_run<kAllowOverrange, kToe, Lanes16>(src, dst, 0, count, ramp);
}
#endif

template <bool kAllowOverrange, bool kToe>
void apply_pieces(const float* src, float* dst, uint64_t count, const Ramp& ramp) {
    uint64_t n = 0;
#if LUMRA_SIMD_X86
    if (simd::runs(simd::Level::avx512)) n = ramp_avx512<kAllowOverrange, kToe>(src, dst, count, ramp);
#endif
    ramp_baseline<kAllowOverrange, kToe>(src, dst, n, count, ramp);
}

template <bool kAllowOverrange>
void apply_ramp(const float* src, float* dst, uint64_t count, const Ramp& ramp) {
    if (ramp.toe_low == ramp.toe_high) apply_pieces<kAllowOverrange, false>(src, dst, count, ramp);
    else apply_pieces<kAllowOverrange, true>(src, dst, count, ramp);
}

}  // namespace

void apply_exposure_ramp_kernel(const float* src_data, float* dst_data, int32_t height, int32_t width,
                                double white_level, double black_level, double ramp_width,
                                bool allow_overrange) noexcept {
    const Ramp ramp = make_ramp(white_level, black_level, ramp_width);
    const uint64_t count = static_cast<uint64_t>(height) * static_cast<uint64_t>(width) * 3;
    if (allow_overrange) apply_ramp<true>(src_data, dst_data, count, ramp);
    else apply_ramp<false>(src_data, dst_data, count, ramp);
}

}  // namespace lumra
