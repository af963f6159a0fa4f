// Raw preparation's arguments as the entry targets draw them, with the
// whole-image and the region call of each.
#pragma once

#include "support/region_targets.h"

#include <algorithm>

namespace lumra_fuzz {

// lumra_normalize_raw: black tiles, deltas, white levels and linearisation
// tables of any size and content.
struct NormalizeRawCall {
    int32_t samples, repeat_rows, repeat_cols, white_count, delta_h_count, delta_v_count, table_size;
    std::vector<float> black, white, delta_h, delta_v;
    std::vector<uint16_t> table;
    const float* black_pointer;
    const float* white_pointer;
    const float* delta_h_pointer;
    const float* delta_v_pointer;
    bool sensor_units;

    static size_t backed(int32_t count) { return count > 0 ? size_t(count) : 0; }

    explicit NormalizeRawCall(Input& in) {
        samples = in.count(1, 4);
        repeat_rows = in.count(1, 3);
        repeat_cols = in.count(1, 3);
        // Levels in sensor units for 16-bit sources, in [0, 1] for floats.
        sensor_units = in.flag();
        const float unit = sensor_units ? 65535.0f : 1.0f;
        black = in.numbers(std::max<size_t>(backed(repeat_rows) * backed(repeat_cols) * backed(samples), 1));
        for (float& b : black) b *= unit * 0.25f;
        white_count = in.count(1, 4);
        white = in.numbers(std::max<size_t>(backed(white_count), 1));
        for (float& w : white) w *= unit;
        delta_h_count = in.flag() ? 0 : in.count(1, 48);
        delta_v_count = in.flag() ? 0 : in.count(1, 12);
        delta_h = in.numbers(backed(delta_h_count));
        delta_v = in.numbers(backed(delta_v_count));
        black_pointer = in.table(black);
        white_pointer = in.table(white);
        delta_h_pointer = in.flag() ? in.table(delta_h) : nullptr;
        delta_v_pointer = in.flag() ? in.table(delta_v) : nullptr;
        table_size = in.flag() ? 0 : in.pick<int32_t>({1, 2, 3, 256, 4096, 65535, 65536, 65537});
        table.resize(static_cast<size_t>(table_size));
        in.fill(reinterpret_cast<uint8_t*>(table.data()), table.size() * 2);
    }

    Shape source(Input& in) const {
        return draw_shape(in, 8, 40, uint64_t(int64_t(samples)),
                          {sensor_units ? LUMRA_DTYPE_UINT16 : LUMRA_DTYPE_FLOAT32});
    }
    Shape destination(Input& in, const Shape& source) const {
        Shape out = draw_like(in, source);
        out.dtype = in.dtype({LUMRA_DTYPE_FLOAT32});
        return out;
    }
    LumraStatus whole(const LumraImage* src, LumraImage* dst) const {
        return lumra_normalize_raw(src, dst, black_pointer, repeat_rows, repeat_cols, samples, white_pointer,
                                   white_count, delta_h_pointer, delta_h_count, delta_v_pointer, delta_v_count,
                                   table_size ? table.data() : nullptr, table_size);
    }
    LumraStatus region(const LumraImage* src, LumraImage* dst, const LumraRegion* region) const {
        return lumra_normalize_raw_region(src, dst, region, black_pointer, repeat_rows, repeat_cols, samples,
                                          white_pointer, white_count, delta_h_pointer, delta_h_count,
                                          delta_v_pointer, delta_v_count, table_size ? table.data() : nullptr,
                                          table_size);
    }
};

// lumra_bilinear_demosaic and lumra_adaptive_demosaic: any 2 x 2 pattern,
// mostly one of the four Bayer arrangements, colours valid or not.
template <bool kAdaptive>
struct DemosaicCall {
    int32_t cfa[4];
    const int32_t* cfa_pointer;
    static constexpr bool kDestinationHoldsSource = false;

    explicit DemosaicCall(Input& in) {
        static constexpr int32_t kBayer[4][4] = {{0, 1, 1, 2}, {2, 1, 1, 0}, {1, 0, 2, 1}, {1, 2, 0, 1}};
        const int arrangement = in.in_range(0, 3);
        const bool any = in.rare(8);
        for (int i = 0; i < 4; ++i)
            cfa[i] = in.rare(32) ? in.int32(-1, 3) : any ? in.in_range(0, 2) : kBayer[arrangement][i];
        cfa_pointer = in.rare(64) ? nullptr : cfa;
    }

    Shape source(Input& in) const { return draw_shape(in, 12, 40, 1, {LUMRA_DTYPE_FLOAT32}); }
    Shape destination(Input& in, const Shape& source) const {
        Shape out = draw_like(in, source);
        out.channels = in.rare(32) ? in.pick<uint64_t>({1, 4}) : 3;
        return out;
    }
    LumraStatus whole(const LumraImage* src, LumraImage* dst) const {
        if constexpr (kAdaptive) return lumra_adaptive_demosaic(src, dst, cfa_pointer);
        else return lumra_bilinear_demosaic(src, dst, cfa_pointer);
    }
    LumraStatus region(const LumraImage* src, const LumraRegion* src_region, LumraImage* dst,
                       const LumraRegion* dst_region) const {
        if constexpr (kAdaptive) return lumra_adaptive_demosaic_region(src, src_region, dst, dst_region, cfa_pointer);
        else return lumra_bilinear_demosaic_region(src, src_region, dst, dst_region, cfa_pointer);
    }
    // The samples read around each pixel: 5 rows and columns for the
    // edge-directed demosaic, 1 for the bilinear one.
    Placement window(Input& in, const Placement& part, uint64_t full_height, uint64_t full_width, uint64_t,
                     Expectation& expect) const {
        return reach_window(in, part, kAdaptive ? 5 : 1, full_height, full_width, expect);
    }
};

// lumra_fix_bad_pixels_constant out of place (the in-place whole-image call
// is in its own target), with bad sites anywhere.
struct FixBadPixelsCall {
    uint16_t bad_value;
    int32_t phase;
    static constexpr bool kDestinationHoldsSource = true;

    explicit FixBadPixelsCall(Input& in) : bad_value(in.flag() ? 0 : in.raw<uint16_t>()), phase(in.int32(0, 3)) {}

    Shape source(Input& in) const { return draw_shape(in, 10, 40, 1, {LUMRA_DTYPE_UINT16}); }
    Shape destination(Input& in, const Shape& source) const { return draw_like(in, source); }
    // Marks some sites bad: a run of them from a drawn start and stride, so
    // edges, corners and clusters all occur.
    void prepare(Input& in, Image& source) const {
        const size_t sites = source.bytes / 2;
        if (!sites || source.desc.dtype != LUMRA_DTYPE_UINT16) return;
        uint16_t* values = reinterpret_cast<uint16_t*>(source.buffer.get());
        const size_t stride = in.in_range<size_t>(1, 7);
        for (size_t i = in.in_range<size_t>(0, sites - 1), n = in.in_range(0, 64); n && i < sites; i += stride, --n)
            values[i] = bad_value;
    }
    LumraStatus whole(const LumraImage* src, LumraImage* dst) const {
        return lumra_fix_bad_pixels_constant(src, dst, bad_value, phase);
    }
    LumraStatus region(const LumraImage* src, const LumraRegion* src_region, LumraImage* dst,
                       const LumraRegion* dst_region) const {
        return lumra_fix_bad_pixels_constant_region(src, src_region, dst, dst_region, bad_value, phase);
    }
    Placement window(Input& in, const Placement& part, uint64_t full_height, uint64_t full_width, uint64_t,
                     Expectation& expect) const {
        return reach_window(in, part, 2, full_height, full_width, expect);
    }
};

}  // namespace lumra_fuzz
