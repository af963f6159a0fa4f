// Hue/saturation/value table: RGB to HSV, a trilinear table read at the
// pixel's (hue, saturation, value) position, and back to RGB.
//
// The colour steps are written once over the lane vocabulary (simd/lanes.h)
// and run on blocks of four, eight or sixteen pixels, one pixel per lane, at
// the widest level the processor has, and on one pixel for the rest. The
// blocks read the table entries of their lanes side by side from a copy of
// the table with paired hue rows; the one-pixel path reads the caller's
// table with 64-bit indices, so it also serves tables too large for the
// blocks' float offsets. Every step is the same operation on every path, so
// all paths give identical results.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>

#include "profile/profile_kernels.h"
#include "profile/table_position.h"
#include "simd/lanes.h"
#include "simd/lanes_avx2.h"
#include "simd/lanes_avx512.h"

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

// ---- The steps, over V = float or a lane type ----

template <typename V>
struct Hsv {
    V hue, saturation, value;
    // Whether the table arithmetic can place the pixel: every component
    // finite, and none negative unless the largest is positive (saturation
    // divides by the largest). Other pixels are left as they are.
    decltype(greater(V{}, V{})) ordinary;
};

// RGB to HSV; grey pixels get hue and saturation 0. std::max(a, b) is
// lower_limit(b, a) and std::min(a, b) is upper_limit(a, b), NaN and ties
// included.
template <typename V>
LUMRA_SHARED_BODY Hsv<V> to_hsv(const Rgb<V>& c) {
    const V zero(0.0f), six(6.0f);
    const V value = lower_limit(c.b, lower_limit(c.g, c.r));
    const V lowest = upper_limit(upper_limit(c.r, c.g), c.b);

    // With all three components finite, lowest is the true minimum.
    const V limit(3.40282347e38f);
    const auto finite = both(both(less_equal(magnitude(c.r), limit), less_equal(magnitude(c.g), limit)),
                             less_equal(magnitude(c.b), limit));
    const auto placeable = either(greater_equal(lowest, zero), greater(value, zero));

    const V delta = value - lowest;
    const auto coloured = greater(delta, zero);
    const auto red_top = equal(c.r, value), green_top = equal(c.g, value);
    const V numerator = select(red_top, c.g - c.b, select(green_top, c.b - c.r, c.r - c.g));
    const V sextant = numerator / delta;
    const V red_hue = select(less(sextant, zero), sextant + six, sextant);
    const V other_hue = sextant + select(green_top, V(2.0f), V(4.0f));
    return {zero_unless(coloured, select(red_top, red_hue, other_hue)), zero_unless(coloured, delta / value), value,
            both(finite, placeable)};
}

// Interpolation weights of one axis: of the first sample and of the second.
template <typename V>
struct Weights {
    V keep, take;
};
template <typename V>
LUMRA_SHARED_BODY Weights<V> weights_of(V position, V index) {
    const V take = position - index;
    return {V(1.0f) - take, take};
}

// One value slice: entries (h0, s0), (h1, s0), (h0, s1), (h1, s1), three
// floats each, blended in hue, then the two results in saturation.
template <typename V>
LUMRA_SHARED_BODY void blend_slice(const V entries[12], const Weights<V>& hue, const Weights<V>& sat, V out[3]) {
    V mixed[6];
    for (int k = 0; k < 6; ++k) {
        const int first = k + 3 * (k / 3);  // 0 1 2 6 7 8: the h0 entries; h1 follows each
        mixed[k] = hue.keep * entries[first] + hue.take * entries[first + 3];
    }
    for (int k = 0; k < 3; ++k) out[k] = sat.keep * mixed[k] + sat.take * mixed[k + 3];
}

template <typename V>
LUMRA_SHARED_BODY V blend_values(const Weights<V>& val, V low, V high) {
    return val.keep * low + val.take * high;
}

// The adjusted saturation and value, and the shifted hue before wrapping.
template <typename V>
struct Adjusted {
    V shifted, saturation, value;
};
template <typename V>
LUMRA_SHARED_BODY Adjusted<V> adjust(const Hsv<V>& hsv, const V table[3]) {
    const V one(1.0f);
    return {table[0] * V(0.016666668f) + hsv.hue, upper_limit(hsv.saturation * table[1], one),
            lower_limit_keeping_nan(upper_limit(table[2] * hsv.value, one), V(0.0f))};
}

// Whether a shifted hue is wrapped by wrap_near: within (-6, 12).
template <typename V>
LUMRA_SHARED_BODY auto near_turn(V shifted) {
    return both(greater(shifted, V(-6.0f)), less(shifted, V(12.0f)));
}
// The remainder of a hue in (-6, 12) by 6, moved up by 6 if negative: exact.
template <typename V>
LUMRA_SHARED_BODY V wrap_near(V shifted) {
    const V zero(0.0f), six(6.0f);
    const V wrapped = select(greater_equal(shifted, six), shifted - six, shifted);
    return select(less(wrapped, zero), wrapped + six, wrapped);
}

// HSV back to RGB for a hue in [0, 6]; pixels whose saturation is not
// positive (NaN included) take the value in all three channels.
template <typename V>
LUMRA_SHARED_BODY Rgb<V> to_rgb(V hue, const Adjusted<V>& a) {
    const V one(1.0f), v = a.value;
    const V f = hue - whole_part(hue);
    const V p = (one - a.saturation) * v;
    const V q = (one - f * a.saturation) * v;
    const V t = ((f - one) * a.saturation + one) * v;
    // The sextant i = floor(hue) is in 0..6, so "i >= k" is hue >= k.
    const auto from1 = greater_equal(hue, one), from2 = greater_equal(hue, V(2.0f));
    const auto from3 = greater_equal(hue, V(3.0f)), from4 = greater_equal(hue, V(4.0f));
    const auto from5 = greater_equal(hue, V(5.0f)), from6 = greater_equal(hue, V(6.0f));
    // Sextants 0..6: red V q p p t V V, green t V V q p p t, blue p p t V V q p.
    const V red = select(from5, v, select(from4, t, select(from2, p, select(from1, q, v))));
    const V green = select(from6, t, select(from4, p, select(from3, q, select(from1, v, t))));
    const V blue = select(from6, p, select(from5, q, select(from3, v, select(from2, t, p))));
    const auto grey = not_greater(a.saturation, V(0.0f));
    return {select(grey, v, red), select(grey, v, green), select(grey, v, blue)};
}

// ---- One pixel, on the caller's table ----

// The entries around (hue, saturation, value) in blend_slice's order, slice
// by slice, with the weights. Positions are made safe first (a NaN reads row
// 0 with fraction 0; huge ones are capped before conversion), so no pixel
// value leads outside the table.
inline void table_at(const HueSatTable& table, const Hsv<float>& hsv, float out[3]) {
    const float hue_position = non_negative_position(hsv.hue * table.hue_scale);
    const int64_t h0 = limited_floor(hue_position, table.hue_divisions - 1);
    const int64_t h1 = h0 < table.hue_divisions - 1 ? h0 + 1 : 0;  // the hue axis wraps
    const float sat_position = non_negative_position(hsv.saturation * table.sat_scale);
    const int64_t s0 = limited_floor(sat_position, table.sat_divisions - 2);
    const Weights<float> hue = weights_of(hue_position, static_cast<float>(h0));
    const Weights<float> sat = weights_of(sat_position, static_cast<float>(s0));
    int64_t offset = s0 * 3, l0 = 0;
    float val_position = 0.0f;
    if (table.val_divisions > 1) {
        val_position = non_negative_position(hsv.value * table.val_scale);
        l0 = limited_floor(val_position, table.val_divisions - 2);
        offset += l0 * table.slice;
    }
    const int64_t row_length = table.sat_divisions * 3;
    const auto slice_at = [&](int64_t slice_offset, float blended[3]) {
        const float* row0 = table.map + h0 * row_length + offset + slice_offset;
        const float* row1 = table.map + h1 * row_length + offset + slice_offset;
        float entries[12];
        for (int k = 0; k < 3; ++k) {
            entries[k] = row0[k], entries[k + 3] = row1[k];
            entries[k + 6] = row0[k + 3], entries[k + 9] = row1[k + 3];
        }
        blend_slice(entries, hue, sat, blended);
    };
    slice_at(0, out);
    if (table.val_divisions > 1) {
        float high[3];
        slice_at(table.slice, high);
        const Weights<float> val = weights_of(val_position, static_cast<float>(l0));
        for (int k = 0; k < 3; ++k) out[k] = blend_values(val, out[k], high[k]);
    }
}

// fmodf(x, 6) with a negative remainder moved up by 6 (exact), for shifts of
// more than a turn.
inline float wrap_far(float x) {
    const float wrapped = std::fmod(x, 6.0f);
    return wrapped < 0.0f ? wrapped + 6.0f : wrapped;
}

inline void hue_sat_pixel(float* pixel, const HueSatTable& table) {
    const Hsv<float> hsv = to_hsv(load_rgb_floats(pixel, 0.0f));
    if (!hsv.ordinary) return;
    float entries[3];
    table_at(table, hsv, entries);
    const Adjusted<float> a = adjust(hsv, entries);
    float hue = 0.0f;
    if (a.saturation > 0.0f) {
        hue = near_turn(a.shifted) ? wrap_near(a.shifted) : wrap_far(a.shifted);
        if (!(hue <= 6.0f)) return;  // a NaN hue has no sextant
    }
    store_rgb_floats(pixel, to_rgb(hue, a));
}

// ---- Blocks of one pixel per lane, on the paired table ----

// The paired table has twice the floats of the table. The blocks' offsets
// into it are worked out as floats, exact below 2^24.
inline bool fits_lanes(const HueSatTable& table) {
    return std::max<int64_t>(table.val_divisions, 1) * table.slice * 2 < (int64_t{1} << 24);
}

// A copy of the table in which entry (l, h, s) is followed by entry (l, h1, s),
// h1 being the next hue row (row 0 after the last): six floats per place, so
// the entries (h0, s0), (h1, s0), (h0, s0 + 1), (h1, s0 + 1) a pixel blends
// are twelve consecutive floats, read with one offset. Null if the memory is
// not there (the pixels are then taken one by one).
std::unique_ptr<float[]> pair_hue_rows(const HueSatTable& table) {
    const int64_t slices = std::max<int64_t>(table.val_divisions, 1), rows = table.hue_divisions;
    const int64_t row_length = table.sat_divisions * 3;
    std::unique_ptr<float[]> paired(new (std::nothrow) float[static_cast<size_t>(slices * table.slice * 2)]);
    if (!paired) return paired;
    float* to = paired.get();
    for (int64_t l = 0; l < slices; ++l) {
        for (int64_t h = 0; h < rows; ++h) {
            const float* row = table.map + l * table.slice + h * row_length;
            const float* next_row = table.map + l * table.slice + (h + 1 < rows ? h + 1 : 0) * row_length;
            for (int64_t s = 0; s < row_length; s += 3, to += 6) {
                std::copy(row + s, row + s + 3, to);
                std::copy(next_row + s, next_row + s + 3, to + 3);
            }
        }
    }
    return paired;
}

// The table's constants, set up once per call (kept apart from the table so
// that the pixel stores cannot be taken to change them).
struct LaneTable {
    const float* paired;
    const float* next_slice;  // paired + the floats of one value slice
    float hue_scale, hue_last, sat_scale, sat_last, val_scale, val_last, slice, row_length;
};

inline LaneTable lane_table(const HueSatTable& table, const float* paired) {
    auto exact = [](int64_t n) { return static_cast<float>(n); };  // below 2^24
    return LaneTable{paired,
                     paired + 2 * table.slice,
                     table.hue_scale,
                     exact(table.hue_divisions - 1),
                     table.sat_scale,
                     exact(table.sat_divisions - 2),
                     table.val_scale,
                     exact(table.val_divisions - 2),
                     exact(2 * table.slice),
                     exact(table.sat_divisions * 6)};
}

// floor(position) for a position already made non-negative, limited to at
// most last (< 2^24): limited_floor in float lanes.
template <typename V>
LUMRA_SHARED_BODY V floor_within(V position, float last) {
    return upper_limit(whole_part(upper_limit(position, V(16777216.0f))), V(last));
}

// What the first pass leaves for the second, for one block: the pixels'
// HSV, and where (a float offset into the paired table) and with which
// weights each lane reads the table.
template <typename V>
struct Placed {
    Hsv<V> hsv;
    V place;
    Weights<V> hue, sat, val;
};

template <typename V, bool kValueAxis>
LUMRA_SHARED_BODY Placed<V> place_block(const float* pixels, const LaneTable& table) {
    Placed<V> b;
    b.hsv = to_hsv(load_rgb_floats(pixels, V{}));
    const V hue_position = non_negative_position(b.hsv.hue * V(table.hue_scale));
    const V h0 = floor_within(hue_position, table.hue_last);  // h1 is paired with it in the table
    b.hue = weights_of(hue_position, h0);
    const V sat_position = non_negative_position(b.hsv.saturation * V(table.sat_scale));
    const V s0 = floor_within(sat_position, table.sat_last);
    b.sat = weights_of(sat_position, s0);
    // Offsets as floats: whole numbers below 2^24, so every step is exact.
    V start = s0 * V(6.0f);
    b.val = {V(1.0f), V(0.0f)};
    if constexpr (kValueAxis) {
        const V val_position = non_negative_position(b.hsv.value * V(table.val_scale));
        const V l0 = floor_within(val_position, table.val_last);
        b.val = weights_of(val_position, l0);
        start = start + l0 * V(table.slice);
    }
    b.place = h0 * V(table.row_length) + start;
    return b;
}

// Returns false, leaving the pixels as they were, when a lane needs what the
// block leaves out (rare): a pixel that is not ordinary, or a shifted hue
// outside (-6, 12) (shifts of more than a turn, or NaN), which needs the
// library remainder. The caller then takes the block's pixels one by one;
// keeping those cases out of the block keeps it free of calls.
template <typename V, bool kValueAxis>
LUMRA_SHARED_BODY bool finish_block(float* pixels, const LaneTable& table, const Placed<V>& b) {
    alignas(64) uint32_t offsets[kLanesOf<V>];
    store_whole(offsets, b.place);
    V entries[12], adjustment[3];
    gather_twelve(table.paired, offsets, entries);
    blend_slice(entries, b.hue, b.sat, adjustment);
    if constexpr (kValueAxis) {
        V high[3];
        gather_twelve(table.next_slice, offsets, entries);
        blend_slice(entries, b.hue, b.sat, high);
        for (int k = 0; k < 3; ++k) adjustment[k] = blend_values(b.val, adjustment[k], high[k]);
    }
    const Adjusted<V> a = adjust(b.hsv, adjustment);
    const Rgb<V> out = to_rgb(wrap_near(a.shifted), a);
    // One test for the whole block, at the end: the table reads above are safe
    // for any pixel, and the pixels are written only if every lane is ordinary.
    if (!all_set(both(b.hsv.ordinary, near_turn(a.shifted)))) return false;
    store_rgb_floats(pixels, out);
    return true;
}

// Blocks whose table positions are worked out in one pass before the table
// is read for them in a second: the reads then do not wait on the divisions
// of the same block, and the passes' iterations overlap.
constexpr uint64_t kRunBlocks = 8;

template <typename V, bool kValueAxis>
LUMRA_SHARED_BODY void hue_sat_blocks_of(float* data, uint64_t blocks, const HueSatTable& table,
                                         const float* paired) {
    constexpr int kLanes = kLanesOf<V>;
    const LaneTable lanes = lane_table(table, paired);
    Placed<V> placed[kRunBlocks];
    for (uint64_t first = 0; first < blocks; first += kRunBlocks) {
        const uint64_t run = std::min(kRunBlocks, blocks - first);
        float* run_data = data + first * 3 * kLanes;
        for (uint64_t i = 0; i < run; ++i) placed[i] = place_block<V, kValueAxis>(run_data + i * 3 * kLanes, lanes);
        for (uint64_t i = 0; i < run; ++i) {
            float* block = run_data + i * 3 * kLanes;
            if (finish_block<V, kValueAxis>(block, lanes, placed[i])) continue;
            for (int k = 0; k < kLanes; ++k) hue_sat_pixel(block + 3 * k, table);
        }
    }
}

// The blocks of each level, with and without a value axis (each its own
// function, so that each loop is allocated registers on its own); returns
// the pixels done.
template <typename V, bool kValueAxis>
LUMRA_SHARED_BODY uint64_t hue_sat_blocks(float* data, uint64_t pixels, const HueSatTable& table,
                                          const float* paired) {
    const uint64_t blocks = pixels / kLanesOf<V>;
    hue_sat_blocks_of<V, kValueAxis>(data, blocks, table, paired);
    return blocks * kLanesOf<V>;
}

template <bool kValueAxis>
uint64_t hue_sat_blocks_baseline(float* data, uint64_t pixels, const HueSatTable& table, const float* paired) {
    return hue_sat_blocks<Lanes, kValueAxis>(data, pixels, table, paired);
}
#if LUMRA_SIMD_X86
template <bool kValueAxis>
LUMRA_TARGET_AVX2 uint64_t hue_sat_blocks_avx2(float* data, uint64_t pixels, const HueSatTable& table,
                                               const float* paired) {
    return hue_sat_blocks<Lanes8, kValueAxis>(data, pixels, table, paired);
}
template <bool kValueAxis>
LUMRA_TARGET_AVX512 uint64_t hue_sat_blocks_avx512(float* data, uint64_t pixels, const HueSatTable& table,
                                                   const float* paired) {
    return hue_sat_blocks<Lanes16, kValueAxis>(data, pixels, table, paired);
}
#endif

template <bool kValueAxis>
uint64_t hue_sat_blocks_widest(float* data, uint64_t pixels, const HueSatTable& table, const float* paired) {
    uint64_t n = 0;
#if LUMRA_SIMD_X86
    if (simd::runs(simd::Level::avx512)) n = hue_sat_blocks_avx512<kValueAxis>(data, pixels, table, paired);
    if (simd::runs(simd::Level::avx2)) n += hue_sat_blocks_avx2<kValueAxis>(data + n * 3, pixels - n, table, paired);
#endif
    return n + hue_sat_blocks_baseline<kValueAxis>(data + n * 3, pixels - n, table, paired);
}

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
    const std::unique_ptr<float[]> paired = pixels >= 4 && fits_lanes(table) ? pair_hue_rows(table) : nullptr;
    if (paired) {
        n = val_divisions > 1 ? hue_sat_blocks_widest<true>(data, pixels, table, paired.get())
                              : hue_sat_blocks_widest<false>(data, pixels, table, paired.get());
    }
    for (; n < pixels; ++n) hue_sat_pixel(data + n * 3, table);
}

}  // namespace lumra
