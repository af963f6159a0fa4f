// Exposure ramp: 0 up to the toe, a quadratic toe around the black level, then
// a line that maps the white level to 1.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "simd/isa.h"

#include "profile/profile_kernels.h"

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
// comparisons and takes the line (and stays NaN).
template <bool kAllowOverrange>
inline float ramp_sample(float x, const Ramp& ramp) {
    const float linear = (x - ramp.black) * ramp.slope;
    const float line = kAllowOverrange ? linear : std::min(linear, 1.0f);
    const float rise = x - ramp.toe_low;
    const float toe = (rise * rise) * ramp.quad;
    const float upper = x < ramp.toe_high ? toe : line;
    return x <= ramp.toe_low ? 0.0f : upper;
}

#if LUMRA_SIMD_X86
// Four samples of ramp_sample at once, with the same operations and selects
// (minps(1, y) is 1 < y ? 1 : y, as std::min(y, 1) is).
template <bool kAllowOverrange>
inline __m128 ramp_lanes(__m128 x, const Ramp& ramp) {
    const __m128 linear = _mm_mul_ps(_mm_sub_ps(x, _mm_set1_ps(ramp.black)), _mm_set1_ps(ramp.slope));
    const __m128 line = kAllowOverrange ? linear : _mm_min_ps(_mm_set1_ps(1.0f), linear);
    const __m128 rise = _mm_sub_ps(x, _mm_set1_ps(ramp.toe_low));
    const __m128 toe = _mm_mul_ps(_mm_mul_ps(rise, rise), _mm_set1_ps(ramp.quad));
    const __m128 in_toe = _mm_cmplt_ps(x, _mm_set1_ps(ramp.toe_high));
    const __m128 upper = _mm_or_ps(_mm_and_ps(in_toe, toe), _mm_andnot_ps(in_toe, line));
    return _mm_andnot_ps(_mm_cmple_ps(x, _mm_set1_ps(ramp.toe_low)), upper);
}
#endif

// Without a toe (toe_low == toe_high, as a zero ramp width gives) a sample
// above toe_low is not below toe_high either: ramp_sample is 0 up to toe_low
// and the line above it (NaN included), with the toe left out.
template <bool kAllowOverrange>
inline float line_sample(float x, const Ramp& ramp) {
    const float linear = (x - ramp.black) * ramp.slope;
    const float line = kAllowOverrange ? linear : std::min(linear, 1.0f);
    return x <= ramp.toe_low ? 0.0f : line;
}

#if LUMRA_SIMD_X86
template <bool kAllowOverrange>
inline __m128 line_lanes(__m128 x, const Ramp& ramp) {
    const __m128 linear = _mm_mul_ps(_mm_sub_ps(x, _mm_set1_ps(ramp.black)), _mm_set1_ps(ramp.slope));
    const __m128 line = kAllowOverrange ? linear : _mm_min_ps(_mm_set1_ps(1.0f), linear);
    return _mm_andnot_ps(_mm_cmple_ps(x, _mm_set1_ps(ramp.toe_low)), line);
}
#endif

#if LUMRA_SIMD_X86
LUMRA_BEGIN_AVX512
// Sixteen samples of line_sample: the same steps, the zeroing under a mask.
template <bool kAllowOverrange>
uint64_t apply_line_avx512(const float* src, float* dst, uint64_t count, const Ramp& ramp) {
    const __m512 black = _mm512_set1_ps(ramp.black), slope = _mm512_set1_ps(ramp.slope);
    const __m512 one = _mm512_set1_ps(1.0f), toe_low = _mm512_set1_ps(ramp.toe_low);
    uint64_t n = 0;
    for (; n + 16 <= count; n += 16) {
        const __m512 x = _mm512_loadu_ps(src + n);
        const __m512 linear = _mm512_mul_ps(_mm512_sub_ps(x, black), slope);
        const __m512 line = kAllowOverrange ? linear : _mm512_min_ps(one, linear);
        _mm512_storeu_ps(dst + n, _mm512_maskz_mov_ps(_mm512_cmp_ps_mask(x, toe_low, _CMP_NLE_UQ), line));
    }
    return n;
}
LUMRA_END_AVX512
#endif

template <bool kAllowOverrange>
void apply_line(const float* src, float* dst, uint64_t count, const Ramp& ramp) {
    uint64_t n = 0;
#if LUMRA_SIMD_X86
    if (simd::runs(simd::Level::avx512)) n = apply_line_avx512<kAllowOverrange>(src, dst, count, ramp);
    for (; n + 4 <= count; n += 4) _mm_storeu_ps(dst + n, line_lanes<kAllowOverrange>(_mm_loadu_ps(src + n), ramp));
#endif
    for (; n < count; ++n) dst[n] = line_sample<kAllowOverrange>(src[n], ramp);
}

// Each sample is read before its own result is written, so src and dst may be
// the same buffer.
template <bool kAllowOverrange>
void apply_ramp(const float* src, float* dst, uint64_t count, const Ramp& ramp) {
    if (ramp.toe_low == ramp.toe_high) return apply_line<kAllowOverrange>(src, dst, count, ramp);
    uint64_t n = 0;
#if LUMRA_SIMD_X86
    for (; n + 4 <= count; n += 4) _mm_storeu_ps(dst + n, ramp_lanes<kAllowOverrange>(_mm_loadu_ps(src + n), ramp));
#endif
    for (; n < count; ++n) dst[n] = ramp_sample<kAllowOverrange>(src[n], ramp);
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
