// Reciprocal paths of raw normalisation for the common delta-free, table-free
// layouts: value = (x - black) x r with r the reciprocal of the span, computed
// once per call per tile entry. Each row repeats a pattern of twelve elements
// (the least common multiple of four lanes and the layout's period of 1, 2 or
// 3 elements), so the inner loop has neither division nor remainder.
//
// The reciprocal is the correctly rounded 1 / span, the same on every machine.
// Samples 0 and 1 of the three-sample layout then take one Newton-Raphson step
// written out literally, r' = r + r x (1 - span x r), each operation rounded
// once (no fused multiply-add): hardware reciprocal estimates differ between
// instruction sets, so they are not used. The results agree with the general
// path's division except in the last bits of some quotients below 1.
//
// A product with a rounded reciprocal can fall one unit short of 1 where the
// quotient is exactly 1 (x at the white level). A numerator at or above the
// span therefore gives 1 outright, as the division does, so a saturated sample
// normalises to exactly 1.0 on every path. Per element, for a live entry
// (span > 0):
//   min(n x r, 1), raised to 1 where n >= span, then to at least 0;
// a dead entry (span <= 0 or NaN) gives 0 whatever x is.
#include <cmath>
#include <cstring>

#include "raw/normalize_raw_paths.h"
#include "raw/raw_kernels.h"
#include "simd/lanes.h"

namespace lumra {
namespace {

constexpr int kPatternLength = 12;

struct Pattern {
    float black[kPatternLength];
    float reciprocal[kPatternLength];
    float span[kPatternLength];
    float live_one[kPatternLength];  // 1 where span > 0, else 0
};

// One element (or one per lane) of pattern entries j; `live` is live_one > 0.
template <typename V, typename Mask>
inline V reciprocal_value(V numerator, V reciprocal, V span, V live_one, Mask live) {
    // The floor first: the product then takes the numerator's register.
    const V floor = zero_unless(greater_equal(numerator, span), live_one);
    return limit_high_then_low(zero_unless(live, numerator * reciprocal), floor, V(1.0f));
}

template <typename In>
void normalize_row_reciprocal(const In* x, float* out, int64_t count, const Pattern& p) {
    Lanes black[3], reciprocal[3], span[3], live_one[3];
    LaneMask live[3];
    for (int j = 0; j < 3; ++j) {
        black[j] = load(p.black + 4 * j, Lanes{});
        reciprocal[j] = load(p.reciprocal + 4 * j, Lanes{});
        span[j] = load(p.span + 4 * j, Lanes{});
        live_one[j] = load(p.live_one + 4 * j, Lanes{});
        live[j] = greater(live_one[j], Lanes(0.0f));
    }
    int64_t i = 0;
    for (; i + kPatternLength <= count; i += kPatternLength) {
        for (int j = 0; j < 3; ++j) {
            const Lanes numerator = load(x + i + 4 * j, Lanes{}) - black[j];
            store(out + i + 4 * j, reciprocal_value(numerator, reciprocal[j], span[j], live_one[j], live[j]));
        }
    }
    for (int j = 0; i < count; ++i, ++j) {
        const float numerator = load(x + i, 0.0f) - p.black[j];
        out[i] = reciprocal_value(numerator, p.reciprocal[j], p.span[j], p.live_one[j], p.live_one[j] > 0.0f);
    }
}

// Fills entry j of the pattern. Returns false when the reciprocal of a
// positive span is not a normal float (a subnormal or infinite span reciprocal
// would lose more than the last bits, or turn 0 x inf into NaN).
bool set_entry(Pattern& p, int j, float black, float white, bool newton_step) {
    const float span = white - black;
    float r = 0.0f;
    if (span > 0.0f) {
        r = 1.0f / span;
        if (newton_step) r = r + r * (1.0f - span * r);
        if (!std::isnormal(r)) return false;
    }
    p.black[j] = black;
    p.reciprocal[j] = r;
    p.span[j] = span;
    p.live_one[j] = span > 0.0f ? 1.0f : 0.0f;
    return true;
}

template <typename In>
void run_rows(const In* src, float* dst, const TileLayout& t, const Pattern* patterns, int pattern_count) {
    const int64_t row_length = int64_t{t.width} * t.samples;
    for (int64_t r = 0; r < t.height; ++r)
        normalize_row_reciprocal(src + r * row_length, dst + r * row_length, row_length,
                                 patterns[(t.top + r) % pattern_count]);
}

}  // namespace

bool normalize_tile_reciprocal(const void* src, int32_t src_dtype, float* dst, const TileLayout& t) noexcept {
    const bool one_sample = t.samples == 1;
    const bool tile_2x2 = t.repeat_rows == 2 && t.repeat_cols == 2;
    const bool tile_1x1 = t.repeat_rows == 1 && t.repeat_cols == 1;
    Pattern patterns[2];
    int pattern_count = 1;
    bool usable = true;
    if (one_sample && (tile_2x2 || tile_1x1)) {
        // Row parity picks the pattern of a 2 x 2 tile; within a row the column
        // parity alternates, starting from the parity of the first column.
        pattern_count = tile_2x2 ? 2 : 1;
        const float white = t.white_levels[0];
        for (int row = 0; row < pattern_count; ++row)
            for (int j = 0; j < kPatternLength; ++j) {
                const int column_parity = (j + t.left) & 1;
                usable &= set_entry(patterns[row], j, t.black_levels[tile_2x2 ? row * 2 + column_parity : 0], white,
                                    false);
            }
    } else if (t.samples == 3 && tile_1x1) {
        for (int j = 0; j < kPatternLength; ++j) {
            const int k = j % 3;
            usable &= set_entry(patterns[0], j, t.black_levels[k], t.white_levels[k % t.white_count], k != 2);
        }
    } else {
        return false;
    }
    if (!usable) return false;

    if (src_dtype == LUMRA_DTYPE_UINT16)
        run_rows(static_cast<const uint16_t*>(src), dst, t, patterns, pattern_count);
    else
        run_rows(static_cast<const float*>(src), dst, t, patterns, pattern_count);
    return true;
}

}  // namespace lumra
