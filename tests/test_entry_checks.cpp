// The checks of every exported entry: a valid call succeeds, each check broken
// alone reports its status, two broken checks report the earlier one, and a
// failing call leaves every buffer it was given untouched. The checks added
// for sizes the 32-bit kernels cannot take, empty tables, pitches, areas,
// saturation divisions and small bicubic images come after the documented
// ones. Output values are the kernels' tests' business, not this file's.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "support/entry_cases.h"

namespace {

using namespace lumra_test;

constexpr LumraDType kU8 = LUMRA_DTYPE_UINT8, kU16 = LUMRA_DTYPE_UINT16, kF32 = LUMRA_DTYPE_FLOAT32;
constexpr LumraStatus kInvalid = LUMRA_ERR_INVALID_ARGUMENT, kUnsupported = LUMRA_ERR_UNSUPPORTED,
                      kMismatch = LUMRA_ERR_DIMENSION_MISMATCH;
constexpr int32_t kUnassigned = 2;  // the element type value no entry accepts
constexpr uint64_t LumraImage::*kHeight = &LumraImage::height;
constexpr uint64_t LumraImage::*kWidth = &LumraImage::width;
constexpr uint64_t LumraImage::*kChannels = &LumraImage::channels;

template <typename A>
using Builder = CaseBuilder<A>;

// ---- Frame and colour ------------------------------------------------------

struct ConvertArgs {
    Desc src, dst;
    int32_t in_bits, out_bits;
    float ceiling;
};
EntryCase convert_dtype_case() {
    auto arena = std::make_shared<Arena>();
    ConvertArgs base{{arena->image(kU16, 4, 4, 3)}, {arena->image(kU8, 4, 4, 3)}, 12, 0, 200.0f};
    using A = ConvertArgs;
    return Builder<A>(
               "convert_dtype", arena, base,
               [](A& a) { return lumra_convert_dtype(a.src.get(), a.dst.get(), a.in_bits, a.out_bits, a.ceiling); })
        .breaks(both_given<A>())
        .breaks(both_with_data<A>())
        .breaks(both_reserved_clear<A>())
        .breaks(same_height_and_width<A>(kInvalid))
        .breaks("channels differ", kInvalid, differs(&A::dst, &A::src, kChannels))
        // The element types and bit depths are judged by the conversion itself.
        .breaks("in_bits 32", kUnsupported, [](A& a) { a.in_bits = 32; })
        .breaks("src type unassigned", kUnsupported, dtype_set(&A::src, kUnassigned))
        .breaks("dst type unassigned", kUnsupported, dtype_set(&A::dst, kUnassigned))
        .variant("no elements", LUMRA_OK, size_set<A>({&A::src, &A::dst}, kHeight, 0), true)
        .variant("unassigned dst type, out_bits 0", kUnsupported,
                 [](A& a) { a.dst.image.dtype = static_cast<LumraDType>(kUnassigned), a.out_bits = 0; })
        .variant("unassigned dst type, out_bits 8", kUnsupported,
                 [](A& a) { a.dst.image.dtype = static_cast<LumraDType>(kUnassigned), a.out_bits = 8; })
        .variant("in place, same type", LUMRA_OK, [](A& a) { a.dst.image = a.src.image; })
        .build();
}

struct MonoLutArgs {
    Desc src, dst;
    const float* lut;
    uint64_t lut_size;
    int32_t in_bits, out_bits;
    const float* lut256;  // for the direct-index form
};
EntryCase mono_lut_case() {
    auto arena = std::make_shared<Arena>();
    MonoLutArgs base{{arena->image(kU16, 4, 4, 1)}, {arena->image(kU8, 4, 4, 1)},
                     arena->values<float>({0.0f, 0.2f, 0.5f, 0.9f, 1.0f}), 5, 12, 0,
                     arena->filled<float>(256, 0.5f)};
    using A = MonoLutArgs;
    return Builder<A>(
               "mono_lut", arena, base,
               [](A& a) { return lumra_mono_lut(a.src.get(), a.dst.get(), a.lut, a.lut_size, a.in_bits, a.out_bits); })
        .breaks(both_given<A>())
        .breaks("lut null", kInvalid, [](A& a) { a.lut = nullptr; })
        .breaks("src data null", kInvalid, null_data(&A::src))
        .breaks("lut_size 1", kInvalid, [](A& a) { a.lut_size = 1; })
        .breaks("lut_size 0", kInvalid, [](A& a) { a.lut_size = 0; })
        .breaks("dst data null", kInvalid, null_data(&A::dst))
        .breaks(both_reserved_clear<A>())
        .breaks(same_height_and_width<A>(kInvalid))
        .breaks("src channels 3", kInvalid, channels_set(&A::src, 3))
        .breaks("dst channels 2", kInvalid, channels_set(&A::dst, 2))
        .variant("lut_size 2", LUMRA_OK, [](A& a) { a.lut_size = 2; })
        .variant("8-bit source, 256 entries", LUMRA_OK,
                 [](A& a) { a.src.image.dtype = kU8, a.lut = a.lut256, a.lut_size = 256; })
        .variant("float to float", LUMRA_OK, [](A& a) { a.src.image.dtype = a.dst.image.dtype = kF32; })
        .variant("no elements", LUMRA_OK, size_set<A>({&A::src, &A::dst}, kWidth, 0), true)
        .build();
}

struct TransformArgs {
    Desc src, dst;
    const float *lut1, *matrix, *lut2;
    uint64_t lut1_size, lut2_size;
    int32_t in_bits, out_bits;
    bool hue_preserving;
};
EntryCase transform_color_case() {
    auto arena = std::make_shared<Arena>();
    TransformArgs base{{arena->image(kF32, 4, 4, 3)},
                       {arena->image(kU16, 4, 4, 3)},
                       arena->values<float>({0.0f, 0.3f, 0.55f, 0.8f, 1.0f}),
                       arena->values<float>({0.9f, 0.1f, 0.0f, 0.05f, 0.9f, 0.05f, 0.0f, 0.2f, 0.8f}),
                       arena->values<float>({0.0f, 0.1f, 0.25f, 0.45f, 0.65f, 0.85f, 1.0f}),
                       5, 7, 0, 0, false};
    using A = TransformArgs;
    return Builder<A>("transform_color", arena, base,
                      [](A& a) {
                          return lumra_transform_color(a.src.get(), a.dst.get(), a.lut1, a.lut1_size, a.matrix, a.lut2,
                                                       a.lut2_size, a.in_bits, a.out_bits, a.hue_preserving);
                      })
        .breaks(both_given<A>())
        .breaks(both_with_data<A>())
        .breaks(both_reserved_clear<A>())
        .breaks(same_height_and_width<A>(kInvalid))
        .breaks("src channels 1", kInvalid, channels_set(&A::src, 1))
        .breaks("dst channels 4", kInvalid, channels_set(&A::dst, 4))
        .breaks("no table", kInvalid, [](A& a) { a.lut1 = a.matrix = a.lut2 = nullptr; })
        .breaks(sizes_fit_32_bits<A>({&A::src, &A::dst}))
        .breaks("lut1_size 0", kInvalid, [](A& a) { a.lut1_size = 0; })
        .breaks("lut1_size 2^31", kInvalid, [](A& a) { a.lut1_size = kTooLarge; })
        .breaks("lut2_size 0", kInvalid, [](A& a) { a.lut2_size = 0; })
        .breaks("lut2_size 2^31", kInvalid, [](A& a) { a.lut2_size = kTooLarge; })
        .variant("matrix only", LUMRA_OK, [](A& a) { a.lut1 = a.lut2 = nullptr; })
        .variant("second curve only", LUMRA_OK, [](A& a) { a.lut1 = a.matrix = nullptr; })
        .variant("one-entry curves", LUMRA_OK, [](A& a) { a.lut1_size = a.lut2_size = 1; })
        .variant("hue-preserving", LUMRA_OK, [](A& a) { a.hue_preserving = true; })
        .variant("8-bit to float", LUMRA_OK, [](A& a) { a.src.image.dtype = kU8, a.dst.image.dtype = kF32; })
        .build();
}

struct ClipArgs {
    Desc src, dst;
    const float *clip_max, *matrix;
};
EntryCase clip_and_transform_color_case() {
    auto arena = std::make_shared<Arena>();
    ClipArgs base{{arena->image(kF32, 4, 4, 3)},
                  {arena->image(kF32, 4, 4, 3)},
                  arena->values<float>({0.8f, 0.9f, 0.7f}),
                  arena->values<float>({1.2f, -0.1f, -0.1f, -0.2f, 1.3f, -0.1f, 0.0f, -0.3f, 1.3f})};
    using A = ClipArgs;
    return Builder<A>(
               "clip_and_transform_color", arena, base,
               [](A& a) { return lumra_clip_and_transform_color(a.src.get(), a.dst.get(), a.clip_max, a.matrix); })
        .breaks(both_given<A>())
        .breaks("clip_max null", kInvalid, [](A& a) { a.clip_max = nullptr; })
        .breaks("matrix null", kInvalid, [](A& a) { a.matrix = nullptr; })
        .breaks(both_with_data<A>())
        .breaks("src type 8-bit", kUnsupported, dtype_set(&A::src, kU8))
        .breaks("dst type 16-bit", kUnsupported, dtype_set(&A::dst, kU16))
        .breaks(both_reserved_clear<A>())
        .breaks(same_height_and_width<A>(kInvalid))
        .breaks("src channels 1", kInvalid, channels_set(&A::src, 1))
        .breaks("dst channels 4", kInvalid, channels_set(&A::dst, 4))
        .variant("8-bit source, dst reserved", kUnsupported,
                 [](A& a) { a.src.image.dtype = kU8, a.dst.image.reserved = 1; })
        .variant("in place", LUMRA_OK, [](A& a) { a.dst.image = a.src.image; })
        .build();
}

// ---- Raw preparation -------------------------------------------------------

struct NormalizeArgs {
    Desc src, dst;
    const float* black_levels;
    int32_t black_repeat_rows, black_repeat_cols, samples_per_pixel;
    const float* white_levels;
    int32_t white_level_count;
    const float* black_delta_h;
    int32_t black_delta_h_count;
    const float* black_delta_v;
    int32_t black_delta_v_count;
    const uint16_t* linearization_table;
    int32_t linearization_table_size;
};
EntryCase normalize_raw_case() {
    auto arena = std::make_shared<Arena>();
    uint16_t* table = arena->buffer<uint16_t>(4096);
    for (int i = 0; i < 4096; ++i) table[i] = static_cast<uint16_t>(i);
    NormalizeArgs base{{arena->image(kU16, 4, 4, 1)}, {arena->image(kF32, 4, 4, 1)},
                       arena->values<float>({64.0f, 60.0f, 62.0f, 66.0f}), 2, 2, 1,
                       arena->values<float>({4000.0f}), 1,
                       arena->values<float>({0.5f, -0.5f, 1.0f}), 3,
                       arena->values<float>({1.0f, 0.0f}), 2,
                       table, 4096};
    using A = NormalizeArgs;
    return Builder<A>("normalize_raw", arena, base,
                      [](A& a) {
                          return lumra_normalize_raw(a.src.get(), a.dst.get(), a.black_levels, a.black_repeat_rows,
                                                     a.black_repeat_cols, a.samples_per_pixel, a.white_levels,
                                                     a.white_level_count, a.black_delta_h, a.black_delta_h_count,
                                                     a.black_delta_v, a.black_delta_v_count, a.linearization_table,
                                                     a.linearization_table_size);
                      })
        .breaks(both_given<A>())
        .breaks(both_with_data<A>())
        .breaks("black_levels null", kInvalid, [](A& a) { a.black_levels = nullptr; })
        .breaks("white_levels null", kInvalid, [](A& a) { a.white_levels = nullptr; })
        .breaks(both_reserved_clear<A>())
        .breaks(same_height_and_width<A>(kInvalid))
        .breaks("src type 8-bit", kUnsupported, dtype_set(&A::src, kU8))
        .breaks("src type unassigned", kUnsupported, dtype_set(&A::src, kUnassigned))
        .breaks("dst type 16-bit", kUnsupported, dtype_set(&A::dst, kU16))
        .breaks("src channels 2", kInvalid, channels_set(&A::src, 2))
        .breaks("samples_per_pixel 3", kInvalid, [](A& a) { a.samples_per_pixel = 3; })
        .breaks("dst channels 3", kInvalid, channels_set(&A::dst, 3))
        .breaks("black_repeat_rows 0", kInvalid, [](A& a) { a.black_repeat_rows = 0; })
        .breaks("black_repeat_cols -1", kInvalid, [](A& a) { a.black_repeat_cols = -1; })
        .breaks("white_level_count 0", kInvalid, [](A& a) { a.white_level_count = 0; })
        .breaks(sizes_fit_32_bits<A>({&A::src, &A::dst}))
        .variant("float source", LUMRA_OK, dtype_set(&A::src, kF32))
        .variant("float source, channels 2", kInvalid, [](A& a) { a.src.image.dtype = kF32, a.src.image.channels = 2; })
        .variant("no optional tables", LUMRA_OK,
                 [](A& a) { a.black_delta_h = a.black_delta_v = nullptr, a.linearization_table = nullptr; })
        .variant("three samples per pixel", LUMRA_OK,
                 [](A& a) {
                     a.src.image.channels = a.dst.image.channels = 3;
                     a.samples_per_pixel = 3;
                     a.black_repeat_rows = a.black_repeat_cols = 1;
                 })
        .variant("no elements", LUMRA_OK, size_set<A>({&A::src, &A::dst}, kHeight, 0), true)
        .build();
}

struct DemosaicArgs {
    Desc src, dst;
    std::array<int32_t, 4> cfa_pattern;
    bool cfa_null = false;
    const int32_t* pattern() const { return cfa_null ? nullptr : cfa_pattern.data(); }
};
EntryCase bilinear_demosaic_case() {
    auto arena = std::make_shared<Arena>();
    DemosaicArgs base{{arena->image(kF32, 4, 4, 1)}, {arena->image(kF32, 4, 4, 3)}, {0, 1, 1, 2}};
    using A = DemosaicArgs;
    return Builder<A>("bilinear_demosaic", arena, base,
                      [](A& a) { return lumra_bilinear_demosaic(a.src.get(), a.dst.get(), a.pattern()); })
        .breaks(both_given<A>())
        .breaks("cfa_pattern null", kInvalid, [](A& a) { a.cfa_null = true; })
        .breaks(both_with_data<A>())
        .breaks("src type 16-bit", kUnsupported, dtype_set(&A::src, kU16))
        .breaks("src channels 3", kInvalid, channels_set(&A::src, 3))
        .breaks("dst type 8-bit", kUnsupported, dtype_set(&A::dst, kU8))
        .breaks("dst channels 1", kInvalid, channels_set(&A::dst, 1))
        .breaks(same_height_and_width<A>(kMismatch))
        .breaks("pattern[0] 3", kInvalid, [](A& a) { a.cfa_pattern[0] = 3; })
        .breaks("pattern[1] -1", kInvalid, [](A& a) { a.cfa_pattern[1] = -1; })
        .breaks("pattern[2] 7", kInvalid, [](A& a) { a.cfa_pattern[2] = 7; })
        .breaks("pattern[3] -2^31", kInvalid, [](A& a) { a.cfa_pattern[3] = INT32_MIN; })
        .variant("reserved set on both", LUMRA_OK, [](A& a) { a.src.image.reserved = 1, a.dst.image.reserved = 7; })
        .variant("pattern 1 0 2 1", LUMRA_OK,
                 [](A& a) {
                     a.cfa_pattern = {1, 0, 2, 1};
                 })
        .variant("pattern without colour 2", LUMRA_OK,
                 [](A& a) {
                     a.cfa_pattern = {0, 1, 1, 0};
                 })
        .variant("one pixel", LUMRA_OK,
                 [](A& a) { a.src.image.height = a.src.image.width = a.dst.image.height = a.dst.image.width = 1; })
        .build();
}

// The bilinear entry's checks, then the Bayer rule and the size bound.
EntryCase adaptive_demosaic_case() {
    auto arena = std::make_shared<Arena>();
    DemosaicArgs base{{arena->image(kF32, 4, 4, 1)}, {arena->image(kF32, 4, 4, 3)}, {1, 2, 0, 1}};
    using A = DemosaicArgs;
    return Builder<A>("adaptive_demosaic", arena, base,
                      [](A& a) { return lumra_adaptive_demosaic(a.src.get(), a.dst.get(), a.pattern()); })
        .breaks(both_given<A>())
        .breaks("cfa_pattern null", kInvalid, [](A& a) { a.cfa_null = true; })
        .breaks(both_with_data<A>())
        .breaks("src type 16-bit", kUnsupported, dtype_set(&A::src, kU16))
        .breaks("src channels 3", kInvalid, channels_set(&A::src, 3))
        .breaks("dst type 8-bit", kUnsupported, dtype_set(&A::dst, kU8))
        .breaks("dst channels 1", kInvalid, channels_set(&A::dst, 1))
        .breaks(same_height_and_width<A>(kMismatch))
        .breaks("pattern[0] 3", kInvalid, [](A& a) { a.cfa_pattern[0] = 3; })
        .breaks("pattern[3] -1", kInvalid, [](A& a) { a.cfa_pattern[3] = -1; })
        .breaks("pattern without colour 0", kUnsupported, [](A& a) { a.cfa_pattern[2] = 2; })
        .breaks("heights 2^62 larger", kInvalid,
                [](A& a) {
                    a.src.image.height += uint64_t{1} << 62;
                    a.dst.image.height += uint64_t{1} << 62;
                })
        .variant("reserved set on both", LUMRA_OK, [](A& a) { a.src.image.reserved = 1, a.dst.image.reserved = 7; })
        .variant("green pairs in rows", kUnsupported, [](A& a) { a.cfa_pattern = {1, 1, 0, 2}; }, true)
        .variant("one pixel", LUMRA_OK,
                 [](A& a) { a.src.image.height = a.src.image.width = a.dst.image.height = a.dst.image.width = 1; })
        .variant("no pixels", LUMRA_OK, size_set<A>({&A::src, &A::dst}, kWidth, 0), true)
        .build();
}

struct BadPixelArgs {
    Desc src, dst;
    uint16_t bad_value;
    int32_t bayer_phase;
};
EntryCase fix_bad_pixels_constant_case() {
    auto arena = std::make_shared<Arena>();
    LumraImage src = arena->image(kU16, 4, 4, 1);
    LumraImage dst = arena->image(kU16, 4, 4, 1);
    static_cast<uint16_t*>(src.data)[5] = 9999;  // one marked site, inside the image
    std::memcpy(dst.data, src.data, 16 * sizeof(uint16_t));
    BadPixelArgs base{{src}, {dst}, 9999, 1};
    using A = BadPixelArgs;
    return Builder<A>(
               "fix_bad_pixels_constant", arena, base,
               [](A& a) { return lumra_fix_bad_pixels_constant(a.src.get(), a.dst.get(), a.bad_value, a.bayer_phase); })
        .breaks(both_given<A>())
        .breaks(both_with_data<A>())
        .breaks("src type float", kUnsupported, dtype_set(&A::src, kF32))
        .breaks("dst type 8-bit", kUnsupported, dtype_set(&A::dst, kU8))
        .breaks(both_reserved_clear<A>())
        .breaks("src channels 3", kInvalid, channels_set(&A::src, 3))
        .breaks("dst channels 2", kInvalid, channels_set(&A::dst, 2))
        .breaks(same_height_and_width<A>(kMismatch))
        .variant("two empty images", LUMRA_OK, size_set<A>({&A::src, &A::dst}, kHeight, 0), true)
        .variant("two images without columns", LUMRA_OK, size_set<A>({&A::src, &A::dst}, kWidth, 0), true)
        .variant("in place", LUMRA_OK, [](A& a) { a.dst.image = a.src.image; })
        .build();
}

// ---- Lens and sensor corrections -------------------------------------------

struct GainMapArgs {
    Desc image;
    const float* gains;
    int32_t map_points_v, map_points_h, map_planes, top, left, bottom, right, plane, planes, row_pitch, col_pitch;
    double map_spacing_v, map_spacing_h, map_origin_v, map_origin_h;
};
// The checks both gain-map entries share, up to the channel count.
std::vector<Builder<GainMapArgs>::Step> gain_map_leading_checks() {
    using A = GainMapArgs;
    return {{"image null", kInvalid, null_desc(&A::image)},
            {"map_planes 0", kInvalid, [](A& a) { a.map_planes = 0; }},
            {"map_points_h -1", kInvalid, [](A& a) { a.map_points_h = -1; }},
            {"map_points_v 0", kInvalid, [](A& a) { a.map_points_v = 0; }},
            {"gains null", kInvalid, [](A& a) { a.gains = nullptr; }},
            {"data null", kInvalid, null_data(&A::image)},
            {"type 16-bit", kUnsupported, dtype_set(&A::image, kU16)},
            {"reserved", kInvalid, reserved_set(&A::image)}};
}
EntryCase apply_gain_map_case() {
    auto arena = std::make_shared<Arena>();
    // A 2 x 3 grid of three planes spanning the image, applied to the whole image.
    GainMapArgs base{{arena->image(kF32, 4, 4, 3)}, arena->filled<float>(2 * 3 * 3, 0.5f),
                     2, 3, 3, 0, 0, 0, 0, 0, 3, 1, 1, 1.0, 0.5, 0.0, 0.0};
    using A = GainMapArgs;
    return Builder<A>("apply_gain_map", arena, base, [](A& a) {
        return lumra_apply_gain_map(a.image.get(), a.gains, a.map_points_v, a.map_points_h, a.map_planes, a.top,
                                    a.left, a.bottom, a.right, a.plane, a.planes, a.row_pitch, a.col_pitch,
                                    a.map_spacing_v, a.map_spacing_h, a.map_origin_v, a.map_origin_h);
    })
        .breaks(gain_map_leading_checks())
        .breaks("channels 1", kInvalid, channels_set(&A::image, 1))
        .breaks("row_pitch 0", kInvalid, [](A& a) { a.row_pitch = 0; })
        .breaks("col_pitch 0", kInvalid, [](A& a) { a.col_pitch = 0; })
        .breaks("plane -1", kInvalid, [](A& a) { a.plane = -1; })
        .variant("negative col_pitch", LUMRA_OK, [](A& a) { a.col_pitch = -3; })
        .variant("channel range beyond the image", LUMRA_OK, [](A& a) { a.plane = 5; }, true)
        .variant("area outside the image", LUMRA_OK, [](A& a) { a.top = -4, a.left = -1, a.bottom = 9, a.right = 9; })
        .build();
}

EntryCase apply_gain_map_cfa_case() {
    auto arena = std::make_shared<Arena>();
    GainMapArgs base{{arena->image(kF32, 4, 4, 1)}, arena->filled<float>(2 * 2 * 1, 0.5f),
                     2, 2, 1, 1, 0, 0, 0, 0, 1, 2, 2, 1.0, 1.0, 0.0, 0.0};
    using A = GainMapArgs;
    return Builder<A>("apply_gain_map_cfa", arena, base, [](A& a) {
        return lumra_apply_gain_map_cfa(a.image.get(), a.gains, a.map_points_v, a.map_points_h, a.map_planes, a.top,
                                        a.left, a.bottom, a.right, a.row_pitch, a.col_pitch, a.map_spacing_v,
                                        a.map_spacing_h, a.map_origin_v, a.map_origin_h);
    })
        .breaks(gain_map_leading_checks())
        .breaks("channels 3", kInvalid, channels_set(&A::image, 3))
        .breaks("row_pitch -2", kInvalid, [](A& a) { a.row_pitch = -2; })
        .breaks("col_pitch 0", kInvalid, [](A& a) { a.col_pitch = 0; })
        .variant("negative col_pitch", LUMRA_OK, [](A& a) { a.col_pitch = -1; })
        .build();
}

struct FlatGainArgs {
    Desc image;
    const float* gains;
    int32_t map_rows, map_cols;
};
EntryCase apply_flat_gain_map_case() {
    auto arena = std::make_shared<Arena>();
    FlatGainArgs base{{arena->image(kF32, 4, 4, 1)}, arena->values<float>({1.0f, 1.5f, 2.0f, 0.5f, 0.75f, 1.0f}), 2, 3};
    using A = FlatGainArgs;
    return Builder<A>("apply_flat_gain_map", arena, base,
                      [](A& a) { return lumra_apply_flat_gain_map(a.image.get(), a.gains, a.map_rows, a.map_cols); })
        .breaks("image null", kInvalid, null_desc(&A::image))
        .breaks("map_cols 1", kInvalid, [](A& a) { a.map_cols = 1; })
        .breaks("map_rows 1", kInvalid, [](A& a) { a.map_rows = 1; })
        .breaks("gains null", kInvalid, [](A& a) { a.gains = nullptr; })
        .breaks("data null", kInvalid, null_data(&A::image))
        .breaks("type 8-bit", kUnsupported, dtype_set(&A::image, kU8))
        .breaks("reserved", kInvalid, reserved_set(&A::image))
        .breaks("channels 3", kInvalid, channels_set(&A::image, 3))
        .breaks("height 0", kInvalid, size_set<A>({&A::image}, kHeight, 0))
        .breaks("width 0", kInvalid, size_set<A>({&A::image}, kWidth, 0))
        .variant("one pixel", LUMRA_OK, [](A& a) { a.image.image.height = a.image.image.width = 1; })
        .build();
}

struct PolynomialArgs {
    Desc image;
    int32_t top, left, bottom, right, plane, planes, row_pitch, col_pitch;
    const float* coefficients;
    int32_t degree;
};
EntryCase map_polynomial_case() {
    auto arena = std::make_shared<Arena>();
    PolynomialArgs base{{arena->image(kF32, 4, 4, 3)}, 1, 0, 3, 4, 0, 3, 1, 1,
                        arena->values<float>({0.1f, 0.8f, -0.2f, 0.05f}), 3};
    using A = PolynomialArgs;
    return Builder<A>("map_polynomial", arena, base,
                      [](A& a) {
                          return lumra_map_polynomial(a.image.get(), a.top, a.left, a.bottom, a.right, a.plane,
                                                      a.planes, a.row_pitch, a.col_pitch, a.coefficients, a.degree);
                      })
        .breaks("image null", kInvalid, null_desc(&A::image))
        .breaks("degree -1", kInvalid, [](A& a) { a.degree = -1; })
        .breaks("coefficients null", kInvalid, [](A& a) { a.coefficients = nullptr; })
        .breaks("data null", kInvalid, null_data(&A::image))
        .breaks("type 16-bit", kUnsupported, dtype_set(&A::image, kU16))
        .breaks("reserved", kInvalid, reserved_set(&A::image))
        .breaks("channels 2", kInvalid, channels_set(&A::image, 2))
        .breaks("channels 4", kInvalid, channels_set(&A::image, 4))
        .breaks("row_pitch 0", kInvalid, [](A& a) { a.row_pitch = 0; })
        .breaks("col_pitch -1", kInvalid, [](A& a) { a.col_pitch = -1; })
        .breaks(sizes_fit_32_bits<A>({&A::image}))
        .breaks("plane -1", kInvalid, [](A& a) { a.plane = -1; })
        .breaks("top -1", kInvalid, [](A& a) { a.top = -1; })
        .breaks("top after bottom", kInvalid, [](A& a) { a.top = 3, a.bottom = 2; })
        .breaks("bottom past height", kInvalid, [](A& a) { a.bottom = 5; })
        .breaks("left -2", kInvalid, [](A& a) { a.left = -2; })
        .breaks("left after right", kInvalid, [](A& a) { a.left = 3, a.right = 1; })
        .breaks("right past width", kInvalid, [](A& a) { a.right = 5; })
        .variant("one channel", LUMRA_OK, channels_set(&A::image, 1))
        .variant("whole image", LUMRA_OK, [](A& a) { a.top = a.left = a.bottom = a.right = 0; })
        .variant("empty row range", LUMRA_OK, [](A& a) { a.top = a.bottom = 2; }, true)
        .variant("empty column range at the edge", LUMRA_OK, [](A& a) { a.left = a.right = 4; }, true)
        .variant("full extents given", LUMRA_OK, [](A& a) { a.top = 0, a.bottom = 4, a.left = 0, a.right = 4; })
        .variant("degree 0", LUMRA_OK, [](A& a) { a.degree = 0; })
        .variant("channel range beyond the image", LUMRA_OK, [](A& a) { a.plane = 3; }, true)
        .build();
}

struct VignetteArgs {
    Desc image;
    const double* coefficients;
    int32_t coefficient_count;
    double center_x, center_y;
};
EntryCase fix_vignette_case() {
    auto arena = std::make_shared<Arena>();
    VignetteArgs base{{arena->image(kF32, 4, 4, 3)}, arena->values<double>({0.3, 0.1, 0.05, 0.02, 0.01}), 5, 0.5, 0.5};
    using A = VignetteArgs;
    return Builder<A>("fix_vignette", arena, base,
                      [](A& a) {
                          return lumra_fix_vignette(a.image.get(), a.coefficients, a.coefficient_count, a.center_x,
                                                    a.center_y);
                      })
        .breaks("image null", kInvalid, null_desc(&A::image))
        .breaks("coefficient_count 0", kInvalid, [](A& a) { a.coefficient_count = 0; })
        .breaks("coefficients null", kInvalid, [](A& a) { a.coefficients = nullptr; })
        .breaks("data null", kInvalid, null_data(&A::image))
        .breaks("type 8-bit", kUnsupported, dtype_set(&A::image, kU8))
        .breaks("reserved", kInvalid, reserved_set(&A::image))
        // Sizes whose low 32 bits are positive reach the work and are refused
        // there when they do not fit 32 bits.
        .breaks("height 2^32 + 4", kInvalid, size_set<A>({&A::image}, kHeight, (uint64_t{1} << 32) + 4))
        .breaks("width 2^33 + 4", kInvalid, size_set<A>({&A::image}, kWidth, (uint64_t{1} << 33) + 4))
        .breaks("channels 2^32 + 3", kInvalid, size_set<A>({&A::image}, kChannels, (uint64_t{1} << 32) + 3))
        .variant("height 0", LUMRA_OK, size_set<A>({&A::image}, kHeight, 0), true)
        .variant("width 0", LUMRA_OK, size_set<A>({&A::image}, kWidth, 0), true)
        .variant("channels 0", LUMRA_OK, size_set<A>({&A::image}, kChannels, 0), true)
        .variant("height 2^31 (negative in 32 bits)", LUMRA_OK, size_set<A>({&A::image}, kHeight, kTooLarge), true)
        .variant("width 2^32 (zero in 32 bits)", LUMRA_OK, size_set<A>({&A::image}, kWidth, uint64_t{1} << 32), true)
        .variant("one coefficient", LUMRA_OK, [](A& a) { a.coefficient_count = 1; })
        .variant("nine coefficients read as five", LUMRA_OK, [](A& a) { a.coefficient_count = 9; })
        .build();
}

struct WarpArgs {
    Desc src, dst;
    const double* radial;
    int32_t coefficient_planes, radial_count;
    const double* tangential;
    double center_x, center_y;
    bool bicubic;
};
EntryCase warp_rectilinear_case() {
    auto arena = std::make_shared<Arena>();
    // Three planes of four radial and two tangential coefficients each.
    WarpArgs base{{arena->image(kF32, 4, 4, 3)},
                  {arena->image(kF32, 4, 4, 3)},
                  arena->values<double>({1.0, 0.01, 0.0, 0.0, 1.0, 0.02, 0.0, 0.0, 1.0, 0.03, 0.0, 0.0}),
                  3, 4,
                  arena->values<double>({0.001, 0.0, 0.0, 0.001, 0.0, 0.0}),
                  0.5, 0.5, true};
    using A = WarpArgs;
    return Builder<A>("warp_rectilinear", arena, base,
                      [](A& a) {
                          return lumra_warp_rectilinear(a.src.get(), a.dst.get(), a.radial, a.coefficient_planes,
                                                        a.radial_count, a.tangential, a.center_x, a.center_y,
                                                        a.bicubic);
                      })
        .breaks(both_given<A>())
        .breaks("src data null", kInvalid, null_data(&A::src))
        .breaks("radial_count 0", kInvalid, [](A& a) { a.radial_count = 0; })
        .breaks("coefficient_planes -1", kInvalid, [](A& a) { a.coefficient_planes = -1; })
        .breaks("radial null", kInvalid, [](A& a) { a.radial = nullptr; })
        .breaks("dst data null", kInvalid, null_data(&A::dst))
        .breaks("src type 16-bit", kUnsupported, dtype_set(&A::src, kU16))
        .breaks("dst type unassigned", kUnsupported, dtype_set(&A::dst, kUnassigned))
        .breaks(both_reserved_clear<A>())
        .breaks(same_height_and_width<A>(kMismatch))
        .breaks("channels differ", kMismatch, differs(&A::dst, &A::src, kChannels))
        .breaks("channels 2^31", kInvalid, size_set<A>({&A::src, &A::dst}, kChannels, kTooLarge))
        .breaks("bicubic on 3 rows", kInvalid, size_set<A>({&A::src, &A::dst}, kHeight, 3))
        .breaks("bicubic on 3 columns", kInvalid, size_set<A>({&A::src, &A::dst}, kWidth, 3))
        .variant("bilinear on 3 x 3", LUMRA_OK, [](A& a) {
            a.bicubic = false;
            a.src.image.height = a.src.image.width = a.dst.image.height = a.dst.image.width = 3;
        })
        .variant("no tangential terms", LUMRA_OK, [](A& a) { a.tangential = nullptr; })
        .variant("one plane, two radial terms", LUMRA_OK, [](A& a) { a.coefficient_planes = 1, a.radial_count = 2; })
        .build();
}

// ---- Profile adjustments ---------------------------------------------------

struct HueSatArgs {
    Desc image;
    const float* map;
    int32_t hue_divisions, sat_divisions, val_divisions;
};
EntryCase apply_hue_sat_map_case() {
    auto arena = std::make_shared<Arena>();
    // Two value slices of 3 hues x 2 saturations, each entry (shift 30 degrees, 0.9, 1.1).
    float* map = arena->buffer<float>(2 * 3 * 2 * 3);
    for (int e = 0; e < 2 * 3 * 2; ++e) map[3 * e] = 30.0f, map[3 * e + 1] = 0.9f, map[3 * e + 2] = 1.1f;
    HueSatArgs base{{arena->image(kF32, 4, 4, 3)}, map, 3, 2, 2};
    using A = HueSatArgs;
    return Builder<A>("apply_hue_sat_map", arena, base,
                      [](A& a) {
                          return lumra_apply_hue_sat_map(a.image.get(), a.map, a.hue_divisions, a.sat_divisions,
                                                         a.val_divisions);
                      })
        .breaks("image null", kInvalid, null_desc(&A::image))
        .breaks("map null", kInvalid, [](A& a) { a.map = nullptr; })
        .breaks("data null", kInvalid, null_data(&A::image))
        .breaks("type 8-bit", kUnsupported, dtype_set(&A::image, kU8))
        .breaks("channels 1", kInvalid, channels_set(&A::image, 1))
        .breaks("reserved", kInvalid, reserved_set(&A::image))
        .breaks("hue_divisions 0", kInvalid, [](A& a) { a.hue_divisions = 0; })
        .breaks("sat_divisions -3", kInvalid, [](A& a) { a.sat_divisions = -3; })
        .breaks("val_divisions -1", kInvalid, [](A& a) { a.val_divisions = -1; })
        .breaks(sizes_fit_32_bits<A>({&A::image}))
        .breaks("sat_divisions 1", kInvalid, [](A& a) { a.sat_divisions = 1; })
        .variant("no value axis", LUMRA_OK, [](A& a) { a.val_divisions = 0; })
        .variant("one value division", LUMRA_OK, [](A& a) { a.val_divisions = 1; })
        .variant("one hue division", LUMRA_OK, [](A& a) { a.hue_divisions = 1, a.val_divisions = 0; })
        .build();
}

struct RampArgs {
    Desc src, dst;
    double white_level, black_level, ramp_width;
    bool allow_overrange;
};
EntryCase apply_exposure_ramp_case() {
    auto arena = std::make_shared<Arena>();
    RampArgs base{{arena->image(kF32, 4, 4, 3)}, {arena->image(kF32, 4, 4, 3)}, 0.8, 0.05, 0.1, false};
    using A = RampArgs;
    return Builder<A>("apply_exposure_ramp", arena, base,
                      [](A& a) {
                          return lumra_apply_exposure_ramp(a.src.get(), a.dst.get(), a.white_level, a.black_level,
                                                           a.ramp_width, a.allow_overrange);
                      })
        .breaks(both_given<A>())
        .breaks(both_with_data<A>())
        .breaks("src type 16-bit", kUnsupported, dtype_set(&A::src, kU16))
        .breaks("dst type 8-bit", kUnsupported, dtype_set(&A::dst, kU8))
        .breaks("src channels 1", kInvalid, channels_set(&A::src, 1))
        .breaks("dst channels 4", kInvalid, channels_set(&A::dst, 4))
        .breaks(both_reserved_clear<A>())
        .breaks(same_height_and_width<A>(kInvalid))
        .breaks(sizes_fit_32_bits<A>({&A::src, &A::dst}))
        .variant("float source of 1 channel, 8-bit dst", kUnsupported,
                 [](A& a) { a.src.image.channels = 1, a.dst.image.dtype = kU8; })
        .variant("in place", LUMRA_OK, [](A& a) { a.dst.image = a.src.image; })
        .variant("no elements", LUMRA_OK, size_set<A>({&A::src, &A::dst}, kWidth, 0), true)
        .build();
}

struct GainTableArgs {
    Desc image;
    const float* gains;
    int32_t points_v, points_h, points_n;
    const float* weights;
    float spacing_v, spacing_h, origin_v, origin_h, gamma, exposure_gain;
};
EntryCase apply_profile_gain_table_map_case() {
    auto arena = std::make_shared<Arena>();
    // A 2 x 3 grid of 4-entry tables over the image, luminance-like weights.
    float* gains = arena->buffer<float>(2 * 3 * 4);
    for (int i = 0; i < 2 * 3 * 4; ++i) gains[i] = 0.5f + 0.05f * static_cast<float>(i % 4);
    GainTableArgs base{{arena->image(kF32, 4, 4, 3)}, gains, 2, 3, 4,
                       arena->values<float>({0.25f, 0.5f, 0.25f, 0.0f, 0.0f}), 1.0f, 0.5f, 0.0f, 0.0f, 1.0f, 1.0f};
    using A = GainTableArgs;
    return Builder<A>("apply_profile_gain_table_map", arena, base,
                      [](A& a) {
                          return lumra_apply_profile_gain_table_map(a.image.get(), a.gains, a.points_v, a.points_h,
                                                                    a.points_n, a.weights, a.spacing_v, a.spacing_h,
                                                                    a.origin_v, a.origin_h, a.gamma, a.exposure_gain);
                      })
        .breaks("image null", kInvalid, null_desc(&A::image))
        .breaks("weights null", kInvalid, [](A& a) { a.weights = nullptr; })
        .breaks("gains null", kInvalid, [](A& a) { a.gains = nullptr; })
        .breaks("data null", kInvalid, null_data(&A::image))
        .breaks("type 16-bit", kUnsupported, dtype_set(&A::image, kU16))
        .breaks("channels 4", kInvalid, channels_set(&A::image, 4))
        .breaks("reserved", kInvalid, reserved_set(&A::image))
        .breaks("points_v 0", kInvalid, [](A& a) { a.points_v = 0; })
        .breaks("points_h -1", kInvalid, [](A& a) { a.points_h = -1; })
        .breaks("points_n 0", kInvalid, [](A& a) { a.points_n = 0; })
        .breaks(sizes_fit_32_bits<A>({&A::image}))
        .variant("one table of one entry", LUMRA_OK, [](A& a) { a.points_v = a.points_h = a.points_n = 1; })
        .variant("gamma 2, exposure gain 2", LUMRA_OK, [](A& a) { a.gamma = 2.0f, a.exposure_gain = 2.0f; })
        .build();
}

// ---- Entries without checks ------------------------------------------------

TEST(Version, IsOneConstantText) {
    const char* version = lumra_version();
    ASSERT_NE(version, nullptr);
    EXPECT_STREQ(version, "1.0.0");
    EXPECT_EQ(lumra_version(), version);
}

TEST(VngDemosaic, ReportsUnsupportedWhateverItIsGiven) {
    Arena arena;
    LumraImage src = arena.image(kF32, 4, 4, 1), dst = arena.image(kF32, 4, 4, 3);
    const int32_t pattern[4] = {0, 1, 1, 2};
    const auto before = arena.snapshot();
    EXPECT_EQ(lumra_vng_demosaic(&src, &dst, pattern), kUnsupported);
    EXPECT_EQ(lumra_vng_demosaic(nullptr, nullptr, nullptr), kUnsupported);
    src.data = nullptr, src.reserved = 1, dst.dtype = kU8, dst.height = kTooLarge;
    EXPECT_EQ(lumra_vng_demosaic(&src, &dst, nullptr), kUnsupported);
    EXPECT_TRUE(arena.unchanged_since(before));
}

// ---- The table-driven tests ------------------------------------------------

using CaseFactory = EntryCase (*)();
const CaseFactory kCases[] = {
    convert_dtype_case,        mono_lut_case,           transform_color_case,    clip_and_transform_color_case,
    normalize_raw_case,        bilinear_demosaic_case,  adaptive_demosaic_case,  fix_bad_pixels_constant_case,
    apply_gain_map_case,       apply_gain_map_cfa_case, apply_flat_gain_map_case, map_polynomial_case,
    fix_vignette_case,         warp_rectilinear_case,   apply_hue_sat_map_case,  apply_exposure_ramp_case,
    apply_profile_gain_table_map_case,
};

// Runs the case with the given breakers and expects `status`; a failing call
// must leave every buffer of the case as it was.
void expect_call(const EntryCase& c, const std::vector<size_t>& broken, LumraStatus status) {
    const auto before = c.arena->snapshot();
    EXPECT_EQ(c.call(broken), status);
    if (status != LUMRA_OK) {
        EXPECT_TRUE(c.arena->unchanged_since(before)) << "a failing call wrote to a buffer";
    }
}

class EntryChecks : public ::testing::TestWithParam<CaseFactory> {};

TEST_P(EntryChecks, ValidCallSucceeds) {
    const EntryCase c = GetParam()();
    expect_call(c, {}, c.success);
    expect_call(c, {}, c.success);  // and again on the buffers the first call left
}

TEST_P(EntryChecks, EachBrokenCheckReportsItsStatus) {
    const EntryCase c = GetParam()();
    for (size_t i = 0; i < c.breakers.size(); ++i) {
        SCOPED_TRACE(c.breakers[i].name);
        expect_call(c, {i}, c.breakers[i].status);
    }
}

TEST_P(EntryChecks, TwoBrokenChecksReportTheEarlierOne) {
    const EntryCase c = GetParam()();
    for (size_t i = 0; i < c.breakers.size(); ++i) {
        for (size_t j = i + 1; j < c.breakers.size(); ++j) {
            SCOPED_TRACE(c.breakers[i].name + " + " + c.breakers[j].name);
            expect_call(c, {i, j}, c.breakers[i].status);
        }
    }
}

TEST_P(EntryChecks, VariantsReportTheirStatus) {
    const EntryCase c = GetParam()();
    for (size_t k = 0; k < c.variants.size(); ++k) {
        SCOPED_TRACE(c.variants[k].name);
        const auto before = c.arena->snapshot();
        EXPECT_EQ(c.call_variant(k), c.variants[k].status);
        if (c.variants[k].untouched) {
            EXPECT_TRUE(c.arena->unchanged_since(before)) << "the call wrote to a buffer";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllEntries, EntryChecks, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<CaseFactory>& info) { return info.param().entry; });

}  // namespace
