// Hue/saturation/value table: RGB to HSV, a trilinear table read at the
// pixel's (hue, saturation, value) position, and back to RGB.
//
// Four pixels at a time where SSE2 is available: the colour conversions run
// across the four lanes and the table reads run per pixel, on the same shared
// functions the one-pixel path uses, so both paths give identical results.
#include <algorithm>
#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "profile/profile_kernels.h"
#include "profile/rgb_lanes.h"
#include "profile/table_position.h"

namespace lumra {
namespace {

struct HueSatTable {
    const float* map;
    int64_t hue_divisions;
    int64_t sat_divisions;
    int64_t val_divisions;
    float hue_scale;  // hue_divisions / 6, or 0 with a single hue division
    float sat_scale;  // sat_divisions - 1
    float val_scale;  // val_divisions - 1
    int64_t slice;    // floats between two value slices
};

// The table's (hue shift, saturation scale, value scale) at one HSV point.
struct Adjustment {
    float shift, sat_scale, val_scale;
};

// fmodf(x, 6) with a negative remainder moved up by 6. The remainder is exact,
// so the common ranges are taken without the library call.
inline float wrap_hue(float x) {
    float wrapped;
    if (x >= 0.0f && x < 6.0f) wrapped = x;
    else if (x >= 6.0f && x < 12.0f) wrapped = x - 6.0f;  // exact: x and 6 are within a factor of 2
    else if (x > -6.0f && x < 0.0f) wrapped = x;
    else wrapped = std::fmod(x, 6.0f);
    return wrapped < 0.0f ? wrapped + 6.0f : wrapped;
}

// Row and column of the interpolation, with the fractions. Positions are made
// safe first (a NaN reads row 0 with fraction 0; huge ones are capped before
// conversion), so no pixel value leads outside the table.
struct TablePlace {
    const float* row0;  // (h0, s0): six floats, the (s0, s1) pair of entries
    const float* row1;  // (h1, s0)
    float hue_fraction, sat_fraction;
    float val_fraction;  // only with a value axis
};

inline TablePlace place_in_table(const HueSatTable& table, float hue, float saturation, float value) {
    const float hue_position = non_negative_position(hue * table.hue_scale);
    const int64_t hue_floor = limited_floor(hue_position, table.hue_divisions - 1);
    const int64_t h1 = hue_floor < table.hue_divisions - 1 ? hue_floor + 1 : 0;  // the hue axis wraps
    const float sat_position = non_negative_position(saturation * table.sat_scale);
    const int64_t s0 = limited_floor(sat_position, table.sat_divisions - 2);
    int64_t offset = s0 * 3;
    float val_fraction = 0.0f;
    if (table.val_divisions > 1) {
        const float val_position = non_negative_position(value * table.val_scale);
        const int64_t l0 = limited_floor(val_position, table.val_divisions - 2);
        val_fraction = val_position - static_cast<float>(l0);
        offset += l0 * table.slice;
    }
    const int64_t row_length = table.sat_divisions * 3;
    return TablePlace{table.map + hue_floor * row_length + offset, table.map + h1 * row_length + offset,
                      hue_position - static_cast<float>(hue_floor), sat_position - static_cast<float>(s0),
                      val_fraction};
}

#if defined(__SSE2__)
// (_, shift, sat scale, val scale) of one value slice: the two hue neighbours'
// saturation pairs (six floats each, saturation being fastest) are blended in
// hue as paired operations, then the pair's halves in saturation. The weights
// come broadcast to all four lanes.
inline __m128 blend_slice(const float* row0, const float* row1, __m128 hue_keep, __m128 hue_take, __m128 sat_keep,
                          __m128 sat_take) {
    const __m128 zero = _mm_setzero_ps();
    const __m128 low0 = _mm_loadu_ps(row0), low1 = _mm_loadu_ps(row1);
    const __m128 high0 = _mm_loadl_pi(zero, reinterpret_cast<const __m64*>(row0 + 4));
    const __m128 high1 = _mm_loadl_pi(zero, reinterpret_cast<const __m64*>(row1 + 4));
    const __m128 low = _mm_add_ps(_mm_mul_ps(hue_keep, low0), _mm_mul_ps(hue_take, low1));     // p0 p1 p2 p3
    const __m128 high = _mm_add_ps(_mm_mul_ps(hue_keep, high0), _mm_mul_ps(hue_take, high1));  // p4 p5 . .
    const __m128 at_s0 = _mm_shuffle_ps(low, low, _MM_SHUFFLE(2, 1, 0, 0));                    // . p0 p1 p2
    const __m128 at_s1 = _mm_shuffle_ps(low, high, _MM_SHUFFLE(1, 0, 3, 3));                   // . p3 p4 p5
    return _mm_add_ps(_mm_mul_ps(sat_keep, at_s0), _mm_mul_ps(sat_take, at_s1));
}

// Both value slices when the table has a value axis.
inline __m128 blend_slices(const HueSatTable& table, const float* row0, const float* row1, __m128 hue_keep,
                           __m128 hue_take, __m128 sat_keep, __m128 sat_take, __m128 val_keep, __m128 val_take) {
    const __m128 low = blend_slice(row0, row1, hue_keep, hue_take, sat_keep, sat_take);
    if (table.val_divisions <= 1) return low;
    const __m128 high = blend_slice(row0 + table.slice, row1 + table.slice, hue_keep, hue_take, sat_keep, sat_take);
    return _mm_add_ps(_mm_mul_ps(val_keep, low), _mm_mul_ps(val_take, high));
}

inline Adjustment adjustment_at(const HueSatTable& table, float hue, float saturation, float value) {
    const TablePlace place = place_in_table(table, hue, saturation, value);
    const __m128 lanes_out =
        blend_slices(table, place.row0, place.row1, _mm_set1_ps(1.0f - place.hue_fraction),
                     _mm_set1_ps(place.hue_fraction), _mm_set1_ps(1.0f - place.sat_fraction),
                     _mm_set1_ps(place.sat_fraction), _mm_set1_ps(1.0f - place.val_fraction),
                     _mm_set1_ps(place.val_fraction));
    float lanes[4];
    _mm_storeu_ps(lanes, lanes_out);
    return Adjustment{lanes[1], lanes[2], lanes[3]};
}
#else
// The same blends one float at a time.
inline void blend_slice(const float* row0, const float* row1, float hue_fraction, float sat_fraction, float out[3]) {
    const float hue_keep = 1.0f - hue_fraction;
    float pair[6];
    for (int k = 0; k < 6; ++k) pair[k] = hue_keep * row0[k] + hue_fraction * row1[k];
    const float sat_keep = 1.0f - sat_fraction;
    for (int k = 0; k < 3; ++k) out[k] = sat_keep * pair[k] + sat_fraction * pair[k + 3];
}

inline Adjustment adjustment_at(const HueSatTable& table, float hue, float saturation, float value) {
    const TablePlace place = place_in_table(table, hue, saturation, value);
    float low[3];
    blend_slice(place.row0, place.row1, place.hue_fraction, place.sat_fraction, low);
    if (table.val_divisions > 1) {
        float high[3];
        blend_slice(place.row0 + table.slice, place.row1 + table.slice, place.hue_fraction, place.sat_fraction,
                    high);
        const float keep = 1.0f - place.val_fraction;
        for (int k = 0; k < 3; ++k) low[k] = keep * low[k] + place.val_fraction * high[k];
    }
    return Adjustment{low[0], low[1], low[2]};
}
#endif

// Pixels the table arithmetic cannot place are left as they are: a NaN or
// infinite component, or a negative component while the largest is not
// positive (its saturation would divide by a value of 0 or less).
inline bool outside_table_domain(float r, float g, float b, float largest) {
    const float finite_limit = 3.40282347e38f;
    const bool finite = std::fabs(r) <= finite_limit && std::fabs(g) <= finite_limit && std::fabs(b) <= finite_limit;
    const bool negative = r < 0.0f || g < 0.0f || b < 0.0f;
    return !finite || (negative && !(largest > 0.0f));
}

inline void hue_sat_pixel(float* pixel, const HueSatTable& table) {
    const float r = pixel[0], g = pixel[1], b = pixel[2];
    const float value = std::max(std::max(r, g), b);
    if (outside_table_domain(r, g, b, value)) return;
    const float delta = value - std::min(std::min(r, g), b);

    float saturation = 0.0f, hue = 0.0f;
    if (delta > 0.0f) {
        saturation = delta / value;
        const bool red_top = r == value, green_top = g == value;
        const float sextant = (red_top ? g - b : (green_top ? b - r : r - g)) / delta;
        hue = red_top ? (sextant < 0.0f ? sextant + 6.0f : sextant) : sextant + (green_top ? 2.0f : 4.0f);
    }
    const Adjustment adjust = adjustment_at(table, hue, saturation, value);

    const float new_sat = std::min(saturation * adjust.sat_scale, 1.0f);  // a NaN stays NaN and turns grey below
    const float new_value = std::max(std::min(adjust.val_scale * value, 1.0f), 0.0f);
    if (!(new_sat > 0.0f)) {
        pixel[0] = pixel[1] = pixel[2] = new_value;
        return;
    }
    const float new_hue = wrap_hue(adjust.shift * 0.016666668f + hue);
    if (!(new_hue <= 6.0f)) return;  // a NaN hue has no sextant
    const int sextant = static_cast<int>(new_hue);
    const float f = new_hue - static_cast<float>(sextant);
    // Corners of the sextant: V', t, p, q in that order.
    const float corner[4] = {new_value, ((f - 1.0f) * new_sat + 1.0f) * new_value, (1.0f - new_sat) * new_value,
                             (1.0f - f * new_sat) * new_value};
    static constexpr unsigned char kPick[7][3] = {{0, 1, 2}, {3, 0, 2}, {2, 0, 1}, {2, 3, 0},
                                                  {1, 2, 0}, {0, 2, 3}, {0, 1, 2}};
    pixel[0] = corner[kPick[sextant][0]];
    pixel[1] = corner[kPick[sextant][1]];
    pixel[2] = corner[kPick[sextant][2]];
}

#if defined(__SSE2__)
// Low 32 bits of each lane times factor (SSE2 has no 32-bit multiply); the
// products fit, as the whole table has fewer than 2^31 floats.
inline __m128i multiply_lanes(__m128i lanes, int64_t factor) {
    const __m128i f = _mm_set1_epi32(static_cast<int32_t>(factor));
    const __m128i even = _mm_mul_epu32(lanes, f), odd = _mm_mul_epu32(_mm_srli_epi64(lanes, 32), f);
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                              _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

// place_in_table for four lanes: start offsets of the two rows and the weights.
struct LanePlaces {
    alignas(16) int32_t row0[4];
    alignas(16) int32_t row1[4];
    __m128 hue_keep, hue_take, sat_keep, sat_take, val_keep, val_take;
};

inline LanePlaces place_lanes(const HueSatTable& table, __m128 hue, __m128 saturation, __m128 value) {
    const __m128 one = _mm_set1_ps(1.0f);
    LanePlaces places;
    const __m128 hue_position = non_negative_lanes(_mm_mul_ps(hue, _mm_set1_ps(table.hue_scale)));
    const __m128i hue_last = _mm_set1_epi32(static_cast<int32_t>(table.hue_divisions - 1));
    const __m128i h0 = limited_floor_lanes(hue_position, hue_last);
    const __m128i h1 = _mm_and_si128(_mm_cmplt_epi32(h0, hue_last), _mm_add_epi32(h0, _mm_set1_epi32(1)));
    places.hue_take = _mm_sub_ps(hue_position, _mm_cvtepi32_ps(h0));
    places.hue_keep = _mm_sub_ps(one, places.hue_take);

    const __m128 sat_position = non_negative_lanes(_mm_mul_ps(saturation, _mm_set1_ps(table.sat_scale)));
    const __m128i s0 = limited_floor_lanes(sat_position, _mm_set1_epi32(static_cast<int32_t>(table.sat_divisions - 2)));
    places.sat_take = _mm_sub_ps(sat_position, _mm_cvtepi32_ps(s0));
    places.sat_keep = _mm_sub_ps(one, places.sat_take);
    __m128i offset = _mm_add_epi32(s0, _mm_add_epi32(s0, s0));

    places.val_take = _mm_setzero_ps();
    if (table.val_divisions > 1) {
        const __m128 val_position = non_negative_lanes(_mm_mul_ps(value, _mm_set1_ps(table.val_scale)));
        const __m128i l0 =
            limited_floor_lanes(val_position, _mm_set1_epi32(static_cast<int32_t>(table.val_divisions - 2)));
        places.val_take = _mm_sub_ps(val_position, _mm_cvtepi32_ps(l0));
        offset = _mm_add_epi32(offset, multiply_lanes(l0, table.slice));
    }
    places.val_keep = _mm_sub_ps(one, places.val_take);
    const int64_t row_length = table.sat_divisions * 3;
    _mm_store_si128(reinterpret_cast<__m128i*>(places.row0), _mm_add_epi32(multiply_lanes(h0, row_length), offset));
    _mm_store_si128(reinterpret_cast<__m128i*>(places.row1), _mm_add_epi32(multiply_lanes(h1, row_length), offset));
    return places;
}

template <int kLane>
inline __m128 broadcast(__m128 lanes) {
    return _mm_shuffle_ps(lanes, lanes, _MM_SHUFFLE(kLane, kLane, kLane, kLane));
}

template <int kLane>
inline __m128 adjustment_of_lane(const HueSatTable& table, const LanePlaces& places) {
    return blend_slices(table, table.map + places.row0[kLane], table.map + places.row1[kLane],
                        broadcast<kLane>(places.hue_keep), broadcast<kLane>(places.hue_take),
                        broadcast<kLane>(places.sat_keep), broadcast<kLane>(places.sat_take),
                        broadcast<kLane>(places.val_keep), broadcast<kLane>(places.val_take));
}

// hue_sat_pixel on four pixels (twelve floats) at once, lane for lane the
// same operations; the table reads go through adjustment_lanes per pixel.
inline void hue_sat_four_pixels(float* pixels, const HueSatTable& table) {
    const RgbLanes rgb = load_rgb_lanes(pixels);
    const __m128 red = rgb.red, green = rgb.green, blue = rgb.blue;

    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f), six = _mm_set1_ps(6.0f);
    const __m128 value = max_as_std(max_as_std(red, green), blue);
    const __m128 delta = _mm_sub_ps(value, min_as_std(min_as_std(red, green), blue));

    // Lanes outside the table's domain (see outside_table_domain).
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff)), limit = _mm_set1_ps(3.40282347e38f);
    const __m128 not_finite = _mm_or_ps(_mm_or_ps(_mm_cmpnle_ps(_mm_and_ps(red, magnitude), limit),
                                                  _mm_cmpnle_ps(_mm_and_ps(green, magnitude), limit)),
                                        _mm_cmpnle_ps(_mm_and_ps(blue, magnitude), limit));
    const __m128 negative =
        _mm_or_ps(_mm_or_ps(_mm_cmplt_ps(red, zero), _mm_cmplt_ps(green, zero)), _mm_cmplt_ps(blue, zero));
    const __m128 unchanged = _mm_or_ps(not_finite, _mm_and_ps(negative, _mm_cmpngt_ps(value, zero)));

    // RGB to HSV; grey lanes get hue and saturation 0.
    const __m128 coloured = _mm_cmpgt_ps(delta, zero);
    const __m128 saturation = _mm_and_ps(coloured, _mm_div_ps(delta, value));
    const __m128 red_top = _mm_cmpeq_ps(red, value), green_top = _mm_cmpeq_ps(green, value);
    const __m128 numerator = select(red_top, _mm_sub_ps(green, blue),
                                    select(green_top, _mm_sub_ps(blue, red), _mm_sub_ps(red, green)));
    const __m128 sextant = _mm_div_ps(numerator, delta);
    const __m128 red_hue = select(_mm_cmplt_ps(sextant, zero), _mm_add_ps(sextant, six), sextant);
    const __m128 other_hue = _mm_add_ps(sextant, select(green_top, _mm_set1_ps(2.0f), _mm_set1_ps(4.0f)));
    const __m128 hue = _mm_and_ps(coloured, select(red_top, red_hue, other_hue));

    // Table places for the four lanes (as place_in_table), then the reads per
    // pixel, transposed to (_, shifts, sat scales, val scales).
    const LanePlaces places = place_lanes(table, hue, saturation, value);
    __m128 spare = adjustment_of_lane<0>(table, places);
    __m128 shift = adjustment_of_lane<1>(table, places);
    __m128 sat_scale = adjustment_of_lane<2>(table, places);
    __m128 val_scale = adjustment_of_lane<3>(table, places);
    _MM_TRANSPOSE4_PS(spare, shift, sat_scale, val_scale);

    const __m128 new_sat = _mm_min_ps(one, _mm_mul_ps(saturation, sat_scale));
    const __m128 new_value = _mm_max_ps(zero, _mm_min_ps(one, _mm_mul_ps(val_scale, value)));
    const __m128 grey = _mm_cmpngt_ps(new_sat, zero);

    const __m128 shifted = _mm_add_ps(_mm_mul_ps(shift, _mm_set1_ps(0.016666668f)), hue);
    __m128 new_hue = select(_mm_cmpge_ps(shifted, six), _mm_sub_ps(shifted, six), shifted);
    new_hue = select(_mm_cmplt_ps(new_hue, zero), _mm_add_ps(new_hue, six), new_hue);
    const __m128 in_fast_range = _mm_and_ps(_mm_cmpgt_ps(shifted, _mm_set1_ps(-6.0f)),
                                            _mm_cmplt_ps(shifted, _mm_set1_ps(12.0f)));
    if (_mm_movemask_ps(in_fast_range) != 0xF) {
        alignas(16) float lanes[4];
        _mm_store_ps(lanes, shifted);
        for (float& lane : lanes) lane = wrap_hue(lane);
        new_hue = _mm_load_ps(lanes);
    }
    const __m128 has_sextant = _mm_cmple_ps(new_hue, six);  // not for a NaN hue
    const __m128i index = _mm_cvttps_epi32(new_hue);
    const __m128 f = _mm_sub_ps(new_hue, _mm_cvtepi32_ps(index));
    const __m128 p = _mm_mul_ps(_mm_sub_ps(one, new_sat), new_value);
    const __m128 q = _mm_mul_ps(_mm_sub_ps(one, _mm_mul_ps(f, new_sat)), new_value);
    const __m128 t = _mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(f, one), new_sat), one), new_value);

    auto is = [&](int k) { return _mm_castsi128_ps(_mm_cmpeq_epi32(index, _mm_set1_epi32(k))); };
    const __m128 s0 = _mm_or_ps(is(0), is(6)), s1 = is(1), s2 = is(2), s3 = is(3), s4 = is(4), s5 = is(5);
    auto pick = [](__m128 mask_v, __m128 mask_t, __m128 mask_p, __m128 mask_q, __m128 v, __m128 tt, __m128 pp,
                   __m128 qq) {
        return _mm_or_ps(_mm_or_ps(_mm_and_ps(mask_v, v), _mm_and_ps(mask_t, tt)),
                         _mm_or_ps(_mm_and_ps(mask_p, pp), _mm_and_ps(mask_q, qq)));
    };
    const __m128 hsv_red = pick(_mm_or_ps(s0, s5), s4, _mm_or_ps(s2, s3), s1, new_value, t, p, q);
    const __m128 hsv_green = pick(_mm_or_ps(s1, s2), s0, _mm_or_ps(s4, s5), s3, new_value, t, p, q);
    const __m128 hsv_blue = pick(_mm_or_ps(s3, s4), s2, _mm_or_ps(s0, s1), s5, new_value, t, p, q);

    auto finish = [&](__m128 from_hsv, __m128 original) {
        return select(unchanged, original, select(grey, new_value, select(has_sextant, from_hsv, original)));
    };

    store_rgb_lanes(pixels, finish(hsv_red, red), finish(hsv_green, green), finish(hsv_blue, blue));
}

// The four-lane places use 32-bit offsets and exact float conversions.
inline bool fits_lanes(const HueSatTable& table) {
    const int64_t limit = int64_t{1} << 24;
    const int64_t slices = std::max<int64_t>(table.val_divisions, 1);
    return table.hue_divisions <= limit && table.sat_divisions <= limit && table.val_divisions <= limit &&
           slices * table.slice < (int64_t{1} << 31);
}
#endif

}  // namespace


void apply_hue_sat_map_kernel(float* data, int32_t height, int32_t width, const float* map, int32_t hue_divisions,
                              int32_t sat_divisions, int32_t val_divisions) noexcept {
    const HueSatTable table{map,
                            hue_divisions,
                            sat_divisions,
                            val_divisions,
                            hue_divisions < 2 ? 0.0f : static_cast<float>(hue_divisions) * 0.16666667f,
                            static_cast<float>(sat_divisions - 1),
                            static_cast<float>(val_divisions - 1),
                            int64_t{hue_divisions} * sat_divisions * 3};
    const uint64_t pixels = static_cast<uint64_t>(height) * static_cast<uint64_t>(width);
    uint64_t n = 0;
#if defined(__SSE2__)
    if (fits_lanes(table)) {
        for (; n + 4 <= pixels; n += 4) hue_sat_four_pixels(data + n * 3, table);
    }
#endif
    for (; n < pixels; ++n) hue_sat_pixel(data + n * 3, table);
}

}  // namespace lumra
