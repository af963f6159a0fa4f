// Region entries of raw preparation and the profile gain table map: their
// checks (in order, nothing written on failure), and bands and tiles that give,
// bit for bit, the whole-image call's result there, on every vector path.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <thread>
#include <vector>

#include "support/entry_cases.h"
#include "support/isa_levels.h"

namespace {

using namespace lumra_test;

constexpr LumraDType kU8 = LUMRA_DTYPE_UINT8, kU16 = LUMRA_DTYPE_UINT16, kF32 = LUMRA_DTYPE_FLOAT32;
constexpr LumraStatus kInvalid = LUMRA_ERR_INVALID_ARGUMENT, kUnsupported = LUMRA_ERR_UNSUPPORTED,
                      kMismatch = LUMRA_ERR_DIMENSION_MISMATCH, kRegion = LUMRA_ERR_REGION;

// ---- Checks ------------------------------------------------------------------

struct Place {
    LumraRegion region;
    bool null = false;
    const LumraRegion* get() const { return null ? nullptr : &region; }
};
template <typename A>
std::function<void(A&)> edit(Place A::*p, std::function<void(LumraRegion&)> change) {
    return [p, change](A& a) { change((a.*p).region); };
}
// The checks every region form adds after its whole-image entry's: the whole
// size's 32-bit limit (`limited`), then reserved and the part's place.
template <typename A>
std::vector<typename CaseBuilder<A>::Step> part_checks(Place A::*p, bool limited) {
    std::vector<typename CaseBuilder<A>::Step> steps;
    if (limited) {
        steps.push_back({"full_height 2^31", kInvalid, edit(p, [](LumraRegion& r) { r.full_height = kTooLarge; })});
        steps.push_back({"full_width 2^31", kInvalid, edit(p, [](LumraRegion& r) { r.full_width = kTooLarge; })});
    }
    steps.push_back({"region reserved", kInvalid, edit(p, [](LumraRegion& r) { r.reserved = 1; })});
    steps.push_back({"part below the image", kRegion, edit(p, [](LumraRegion& r) { r.top = r.full_height - 1; })});
    return steps;
}
// Source-window checks after the destination part's: same whole image, window
// inside it, window large enough.
template <typename A>
std::vector<typename CaseBuilder<A>::Step> window_checks(Place A::*window) {
    return {{"whole sizes differ", kMismatch, edit(window, [](LumraRegion& r) { ++r.full_width; })},
            {"window right of the image", kRegion, edit(window, [](LumraRegion& r) { r.left = r.full_width; })},
            {"window a row short", kRegion, edit(window, [](LumraRegion& r) { ++r.top; })}};
}

struct NormalizeArgs {
    Desc src, dst;
    Place region;
    const float *black, *white, *delta_h, *delta_v;
    const uint16_t* table;
};
EntryCase normalize_raw_region_case() {
    auto arena = std::make_shared<Arena>();
    uint16_t* table = arena->buffer<uint16_t>(4096);
    for (int i = 0; i < 4096; ++i) table[i] = static_cast<uint16_t>(i);
    NormalizeArgs base{{arena->image(kU16, 3, 4, 1)}, {arena->image(kF32, 3, 4, 1)}, {{2, 3, 6, 8, 0}},
                       arena->values<float>({64, 60, 62, 66}), arena->values<float>({4000}),
                       arena->values<float>({0.5f, -0.5f, 1}), arena->values<float>({1, 0}), table};
    using A = NormalizeArgs;
    return CaseBuilder<A>("normalize_raw_region", arena, base,
                          [](A& a) {
                              return lumra_normalize_raw_region(a.src.get(), a.dst.get(), a.region.get(), a.black, 2,
                                                                2, 1, a.white, 1, a.delta_h, 3, a.delta_v, 2, a.table,
                                                                4096);
                          })
        .breaks(both_given<A>())
        .breaks("region null", kInvalid, [](A& a) { a.region.null = true; })
        .breaks(both_with_data<A>())
        .breaks("black_levels null", kInvalid, [](A& a) { a.black = nullptr; })
        .breaks("white_levels null", kInvalid, [](A& a) { a.white = nullptr; })
        .breaks(both_reserved_clear<A>())
        .breaks(same_height_and_width<A>(kInvalid))
        .breaks("src type 8-bit", kUnsupported, dtype_set(&A::src, kU8))
        .breaks("dst type 16-bit", kUnsupported, dtype_set(&A::dst, kU16))
        .breaks("src channels 2", kInvalid, channels_set(&A::src, 2))
        .breaks(part_checks(&A::region, true))
        .variant("part's left beyond the image", kRegion, edit(&A::region, [](LumraRegion& r) { r.left = 5; }))
        .variant("top near 2^64", kRegion, edit(&A::region, [](LumraRegion& r) { r.top = ~uint64_t{0} - 1; }))
        .variant("part as large as the image", LUMRA_OK,
                 edit(&A::region, [](LumraRegion& r) { r = {0, 0, 3, 4, 0}; }))
        .build();
}

struct DemosaicArgs {
    Desc src;
    Place src_region;
    Desc dst;
    Place dst_region;
    std::array<int32_t, 4> cfa{0, 1, 1, 2};
    bool cfa_null = false;
};
EntryCase bilinear_demosaic_region_case() {
    auto arena = std::make_shared<Arena>();
    // Part: rows 2-3, columns 2-5 of a 6 x 8 image; window: rows 1-4, columns 1-6.
    DemosaicArgs base{{arena->image(kF32, 4, 6, 1)}, {{1, 1, 6, 8, 0}}, {arena->image(kF32, 2, 4, 3)},
                      {{2, 2, 6, 8, 0}}};
    using A = DemosaicArgs;
    return CaseBuilder<A>("bilinear_demosaic_region", arena, base,
                          [](A& a) {
                              return lumra_bilinear_demosaic_region(a.src.get(), a.src_region.get(), a.dst.get(),
                                                                    a.dst_region.get(),
                                                                    a.cfa_null ? nullptr : a.cfa.data());
                          })
        .breaks("src null", kInvalid, null_desc(&A::src))
        .breaks("src_region null", kInvalid, [](A& a) { a.src_region.null = true; })
        .breaks("dst null", kInvalid, null_desc(&A::dst))
        .breaks("dst_region null", kInvalid, [](A& a) { a.dst_region.null = true; })
        .breaks("cfa_pattern null", kInvalid, [](A& a) { a.cfa_null = true; })
        .breaks(both_with_data<A>())
        .breaks("src type 16-bit", kUnsupported, dtype_set(&A::src, kU16))
        .breaks("src channels 3", kInvalid, channels_set(&A::src, 3))
        .breaks("dst type 8-bit", kUnsupported, dtype_set(&A::dst, kU8))
        .breaks("dst channels 1", kInvalid, channels_set(&A::dst, 1))
        .breaks("pattern[3] -1", kInvalid, [](A& a) { a.cfa[3] = -1; })
        .breaks("src_region reserved", kInvalid, edit(&A::src_region, [](LumraRegion& r) { r.reserved = 2; }))
        .breaks(part_checks(&A::dst_region, false))
        .breaks(window_checks(&A::src_region))
        .variant("window a column short", kRegion, [](A& a) { a.src.image.width = 5; })
        .variant("reserved set on both descriptors", LUMRA_OK,
                 [](A& a) { a.src.image.reserved = 1, a.dst.image.reserved = 3; })
        .variant("window larger than needed", LUMRA_OK, [](A& a) { a.dst.image.height = 1; })
        .build();
}

struct RepairArgs {
    Desc src;
    Place src_region;
    Desc dst;
    Place dst_region;
};
EntryCase fix_bad_pixels_region_case() {
    auto arena = std::make_shared<Arena>();
    // Part: rows 3-4, columns 3-6 of an 8 x 10 image; window: rows 1-6, columns 1-8.
    LumraImage src = arena->image(kU16, 6, 8, 1);
    static_cast<uint16_t*>(src.data)[2 * 8 + 3] = 9999;  // a marked site in the part
    RepairArgs base{{src}, {{1, 1, 8, 10, 0}}, {arena->image(kU16, 2, 4, 1)}, {{3, 3, 8, 10, 0}}};
    using A = RepairArgs;
    return CaseBuilder<A>("fix_bad_pixels_constant_region", arena, base,
                          [](A& a) {
                              return lumra_fix_bad_pixels_constant_region(a.src.get(), a.src_region.get(), a.dst.get(),
                                                                          a.dst_region.get(), 9999, 1);
                          })
        .breaks("src null", kInvalid, null_desc(&A::src))
        .breaks("src_region null", kInvalid, [](A& a) { a.src_region.null = true; })
        .breaks("dst null", kInvalid, null_desc(&A::dst))
        .breaks("dst_region null", kInvalid, [](A& a) { a.dst_region.null = true; })
        .breaks(both_with_data<A>())
        .breaks("src type float", kUnsupported, dtype_set(&A::src, kF32))
        .breaks("dst type 8-bit", kUnsupported, dtype_set(&A::dst, kU8))
        .breaks(both_reserved_clear<A>())
        .breaks("src channels 3", kInvalid, channels_set(&A::src, 3))
        .breaks("src_region reserved", kInvalid, edit(&A::src_region, [](LumraRegion& r) { r.reserved = 2; }))
        .breaks(part_checks(&A::dst_region, false))
        .breaks(window_checks(&A::src_region))
        .variant("window a column short", kRegion, [](A& a) { a.src.image.width = 7; })
        .variant("empty part", LUMRA_OK, [](A& a) { a.dst.image.height = 0; }, true)
        .build();
}

struct GainTableArgs {
    Desc image;
    Place region;
    const float *gains, *weights;
};
EntryCase profile_gain_table_map_region_case() {
    auto arena = std::make_shared<Arena>();
    float* gains = arena->buffer<float>(2 * 3 * 4);
    for (int i = 0; i < 2 * 3 * 4; ++i) gains[i] = 0.5f + 0.05f * static_cast<float>(i % 4);
    GainTableArgs base{{arena->image(kF32, 3, 4, 3)}, {{1, 2, 6, 8, 0}}, gains,
                       arena->values<float>({0.25f, 0.5f, 0.25f, 0, 0})};
    using A = GainTableArgs;
    return CaseBuilder<A>("apply_profile_gain_table_map_region", arena, base,
                          [](A& a) {
                              return lumra_apply_profile_gain_table_map_region(a.image.get(), a.region.get(), a.gains,
                                                                               2, 3, 4, a.weights, 1.0f, 0.5f, 0.0f,
                                                                               0.0f, 1.0f, 1.0f);
                          })
        .breaks("image null", kInvalid, null_desc(&A::image))
        .breaks("region null", kInvalid, [](A& a) { a.region.null = true; })
        .breaks("weights null", kInvalid, [](A& a) { a.weights = nullptr; })
        .breaks("gains null", kInvalid, [](A& a) { a.gains = nullptr; })
        .breaks("data null", kInvalid, null_data(&A::image))
        .breaks("type 16-bit", kUnsupported, dtype_set(&A::image, kU16))
        .breaks("channels 4", kInvalid, channels_set(&A::image, 4))
        .breaks("reserved", kInvalid, reserved_set(&A::image))
        .breaks(part_checks(&A::region, true))
        .variant("part 2^31 rows high", kRegion, [](A& a) { a.image.image.height = kTooLarge; })
        .build();
}

void expect_call(const EntryCase& c, LumraStatus actual, const std::vector<std::vector<double>>& before,
                 LumraStatus status, bool untouched) {
    EXPECT_EQ(actual, status);
    if (untouched || status != LUMRA_OK) {
        EXPECT_TRUE(c.arena->unchanged_since(before)) << "a buffer was written";
    }
}

class RegionChecks : public ::testing::TestWithParam<EntryCase (*)()> {};

// A valid call succeeds; each broken check, alone or with any later one,
// reports its status; variants report theirs; no failing call writes.
TEST_P(RegionChecks, ReportTheFirstFailingCheck) {
    const EntryCase c = GetParam()();
    expect_call(c, c.call({}), c.arena->snapshot(), LUMRA_OK, false);
    for (size_t i = 0; i < c.breakers.size(); ++i) {
        for (size_t j = i; j < c.breakers.size(); ++j) {
            SCOPED_TRACE(c.breakers[i].name + " + " + c.breakers[j].name);
            const auto before = c.arena->snapshot();
            expect_call(c, c.call(i == j ? std::vector<size_t>{i} : std::vector<size_t>{i, j}), before,
                        c.breakers[i].status, true);
        }
    }
    for (size_t k = 0; k < c.variants.size(); ++k) {
        SCOPED_TRACE(c.variants[k].name);
        const auto before = c.arena->snapshot();
        expect_call(c, c.call_variant(k), before, c.variants[k].status, c.variants[k].untouched);
    }
}

INSTANTIATE_TEST_SUITE_P(Entries, RegionChecks,
                         ::testing::Values(normalize_raw_region_case, bilinear_demosaic_region_case,
                                           fix_bad_pixels_region_case, profile_gain_table_map_region_case),
                         [](const auto& info) { return info.param().entry; });

// ---- Parts against the whole image -------------------------------------------

// Rows [top, top + height) and columns [left, left + width) of the whole image.
struct Rect {
    uint64_t top, left, height, width;
};

Rect grown(const Rect& r, uint64_t reach, uint64_t full_height, uint64_t full_width) {
    const uint64_t top = r.top > reach ? r.top - reach : 0, left = r.left > reach ? r.left - reach : 0;
    return {top, left, std::min(r.top + r.height + reach, full_height) - top,
            std::min(r.left + r.width + reach, full_width) - left};
}

// The rectangle of a packed whole image, as a packed buffer of its own.
template <typename T>
std::vector<T> cut(const std::vector<T>& whole, uint64_t full_width, uint64_t channels, const Rect& r) {
    std::vector<T> out;
    for (uint64_t i = 0; i < r.height; ++i) {
        const auto row = whole.begin() + static_cast<std::ptrdiff_t>(((r.top + i) * full_width + r.left) * channels);
        out.insert(out.end(), row, row + static_cast<std::ptrdiff_t>(r.width * channels));
    }
    return out;
}

template <typename T>
LumraImage image_of(std::vector<T>& v, const Rect& r, uint64_t channels) {
    return {v.data(), r.height, r.width, channels, dtype_of<T>(), 0};
}

// Bands of 1, 2 and 7 rows covering the image, and random tiles: each must
// give, from `run_part`, the whole image's result `whole` there, bit for bit.
template <typename T>
void expect_parts(const std::vector<T>& whole, uint64_t H, uint64_t W, uint64_t channels,
                  const std::function<std::vector<T>(const Rect&, const LumraRegion&)>& run_part) {
    std::vector<Rect> parts;
    for (uint64_t band : {1, 2, 7})
        for (uint64_t top = 0; top < H; top += band) parts.push_back({top, 0, std::min(band, H - top), W});
    for (int i = 0; i < 16; ++i) {
        const auto top = static_cast<uint64_t>(uniform_int(0, static_cast<int>(H) - 1));
        const auto left = static_cast<uint64_t>(uniform_int(0, static_cast<int>(W) - 1));
        parts.push_back({top, left, static_cast<uint64_t>(uniform_int(1, static_cast<int>(H - top))),
                         static_cast<uint64_t>(uniform_int(1, static_cast<int>(W - left)))});
    }
    for (const Rect& part : parts) {
        SCOPED_TRACE(testing::Message() << "part at " << part.top << "," << part.left << " of " << part.height << "x"
                                        << part.width << " in " << H << "x" << W);
        const std::vector<T> out = run_part(part, LumraRegion{part.top, part.left, H, W, 0});
        const std::vector<T> expected = cut(whole, W, channels, part);
        ASSERT_EQ(out.size(), expected.size());
        EXPECT_EQ(std::memcmp(out.data(), expected.data(), out.size() * sizeof(T)), 0);
    }
}

// Every delta-free tile layout with its reciprocal path, and general layouts
// with deltas, tables, odd tile widths and tiles taller than the cached rows.
TEST(RegionBits, NormalizeRawPartsMatchTheWholeImage) {
    struct Layout {
        int32_t samples, rows, cols;
        bool tables;
    };
    const uint64_t H = 19, W = 37;
    for (const Layout& l : {Layout{1, 2, 2, false}, Layout{1, 1, 1, false}, Layout{3, 1, 1, false},
                            Layout{1, 2, 2, true}, Layout{1, 3, 5, true}, Layout{2, 9, 3, true}}) {
        SCOPED_TRACE(testing::Message() << l.samples << " samples, tile " << l.rows << "x" << l.cols);
        const auto k = static_cast<uint64_t>(l.samples);
        std::vector<float> black(k * static_cast<uint64_t>(l.rows * l.cols)), white(3), delta_h(5), delta_v(3);
        fill_random(black, 50.0f, 200.0f), fill_random(white, 3000.0f, 4500.0f);
        fill_random(delta_h, -9.0f, 9.0f), fill_random(delta_v, -9.0f, 9.0f);
        std::vector<uint16_t> table(4096), src16(H * W * k);
        for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint16_t>(i + i / 3);
        for (auto& v : src16) v = static_cast<uint16_t>(uniform_int(0, 5000));
        const auto with_tables = [&](auto&& entry) {
            return entry(black.data(), l.rows, l.cols, l.samples, white.data(), 3, l.tables ? delta_h.data() : nullptr,
                         5, l.tables ? delta_v.data() : nullptr, 3, l.tables ? table.data() : nullptr, 4096);
        };
        const auto check = [&](auto src) {  // a 16-bit or a float source
            std::vector<float> whole(src.size());
            LumraImage s = image_of(src, {0, 0, H, W}, k), d = image_of(whole, {0, 0, H, W}, k);
            ASSERT_EQ(with_tables([&](auto... args) { return lumra_normalize_raw(&s, &d, args...); }), LUMRA_OK);
            expect_parts<float>(whole, H, W, k, [&](const Rect& part, const LumraRegion& region) {
                auto in = cut(src, W, k, part);
                std::vector<float> out(in.size());
                LumraImage ps = image_of(in, part, k), pd = image_of(out, part, k);
                const auto entry = [&](auto... args) { return lumra_normalize_raw_region(&ps, &pd, &region, args...); };
                EXPECT_EQ(with_tables(entry), LUMRA_OK);
                return out;
            });
        };
        check(src16);
        check(std::vector<float>(src16.begin(), src16.end()));
    }
}

// Windows cut exactly to the grown part, so a read beyond one would show; the
// destination starts 0 to 3 floats past an aligned address, so the blocks
// start at every column parity.
TEST(RegionBits, BilinearDemosaicPartsMatchTheWholeImage) {
    const std::array<std::array<int32_t, 4>, 4> patterns{{{0, 1, 1, 2}, {1, 0, 2, 1}, {2, 1, 1, 0}, {0, 1, 1, 0}}};
    for (const auto& [H, W] : {std::pair<uint64_t, uint64_t>{19, 37}, {1, 9}, {9, 1}, {2, 2}, {4, 3}}) {
        std::vector<float> src(H * W), whole(H * W * 3);
        fill_random(src);
        for (const auto& pattern : patterns) {
            LumraImage s = image_of(src, {0, 0, H, W}, 1), d = image_of(whole, {0, 0, H, W}, 3);
            ASSERT_EQ(lumra_bilinear_demosaic(&s, &d, pattern.data()), LUMRA_OK);
            uint64_t shift = 0;
            expect_parts<float>(whole, H, W, 3, [&](const Rect& part, const LumraRegion& pr) {
                const Rect window = grown(part, 1, H, W);
                const LumraRegion wr{window.top, window.left, H, W, 0};
                std::vector<float> in = cut(src, W, 1, window), out(part.height * part.width * 3 + 4);
                shift = (shift + 1) % 4;
                LumraImage ws = image_of(in, window, 1), pd = image_of(out, part, 3);
                pd.data = out.data() + shift;
                EXPECT_EQ(lumra_bilinear_demosaic_region(&ws, &wr, &pd, &pr, pattern.data()), LUMRA_OK);
                return std::vector<float>(out.begin() + static_cast<std::ptrdiff_t>(shift),
                                          out.end() - static_cast<std::ptrdiff_t>(4 - shift));
            });
        }
    }
}

// Out of place, any part with a window of the unrepaired image gives the
// whole call's bits. About one site in eight is marked, so repairs meet
// marked neighbours, borders and the window's edges.
TEST(RegionBits, BadPixelPartsMatchTheWholeImageOutOfPlace) {
    constexpr uint16_t kBad = 7;
    for (const auto& [H, W] : {std::pair<uint64_t, uint64_t>{19, 70}, {1, 9}, {9, 1}, {3, 3}}) {
        std::vector<uint16_t> src(H * W);
        for (auto& v : src) v = static_cast<uint16_t>(uniform_int(0, 56));
        for (int32_t phase = 0; phase < 4; ++phase) {
            std::vector<uint16_t> whole = src;
            LumraImage s = image_of(src, {0, 0, H, W}, 1), d = image_of(whole, {0, 0, H, W}, 1);
            ASSERT_EQ(lumra_fix_bad_pixels_constant(&s, &d, kBad, phase), LUMRA_OK);
            expect_parts<uint16_t>(whole, H, W, 1, [&](const Rect& part, const LumraRegion& pr) {
                const Rect window = grown(part, 2, H, W);
                const LumraRegion wr{window.top, window.left, H, W, 0};
                std::vector<uint16_t> in = cut(src, W, 1, window), out = cut(src, W, 1, part);
                LumraImage ws = image_of(in, window, 1), pd = image_of(out, part, 1);
                EXPECT_EQ(lumra_fix_bad_pixels_constant_region(&ws, &wr, &pd, &pr, kBad, phase), LUMRA_OK);
                return out;
            });
        }
    }
}

// In place, where repaired sites serve later ones: full-width bands run top
// to bottom on one buffer give the whole in-place call's bits.
TEST(RegionBits, BadPixelBandsInOrderMatchTheWholeImageInPlace) {
    constexpr uint16_t kBad = 7;
    const uint64_t H = 23, W = 41;
    std::vector<uint16_t> src(H * W);
    for (auto& v : src) v = static_cast<uint16_t>(uniform_int(0, 24));  // dense marks: long chains of repairs
    for (int32_t phase = 0; phase < 4; ++phase) {
        std::vector<uint16_t> whole = src;
        LumraImage w = image_of(whole, {0, 0, H, W}, 1);
        ASSERT_EQ(lumra_fix_bad_pixels_constant(&w, &w, kBad, phase), LUMRA_OK);
        for (uint64_t band : {1, 2, 7, 64}) {
            std::vector<uint16_t> image = src;
            for (uint64_t top = 0; top < H; top += band) {
                const Rect part{top, 0, std::min(band, H - top), W}, window = grown(part, 2, H, W);
                LumraImage ws{image.data() + window.top * W, window.height, W, 1, kU16, 0};
                LumraImage pd{image.data() + top * W, part.height, W, 1, kU16, 0};
                const LumraRegion wr{window.top, 0, H, W, 0}, pr{top, 0, H, W, 0};
                ASSERT_EQ(lumra_fix_bad_pixels_constant_region(&ws, &wr, &pd, &pr, kBad, phase), LUMRA_OK);
            }
            EXPECT_EQ(image, whole) << "phase " << phase << ", bands of " << band;
        }
    }
}

// Through the entry (widest path) and through each narrower vector width.
TEST(RegionBits, ProfileGainTableMapPartsMatchTheWholeImageOnEveryPath) {
    const uint64_t H = 13, W = 29;
    const float weights[5] = {0.25f, 0.5f, 0.125f, 0.0625f, 0.0625f};
    for (int32_t n : {1, 2, 256}) {
        for (float gamma : {1.0f, 0.45f}) {
            SCOPED_TRACE(testing::Message() << n << " entries, gamma " << gamma);
            std::vector<float> gains(static_cast<size_t>(4 * 5 * n)), pixels(H * W * 3);
            fill_random(gains, 0.5f, 2.0f), fill_random(pixels, -0.1f, 1.2f);
            const auto with_map = [&](auto&& entry) {
                return entry(gains.data(), 4, 5, n, weights, 0.3f, 0.13f, -0.1f, 0.05f, gamma, 1.25f);
            };
            std::vector<float> whole = pixels;
            LumraImage image = image_of(whole, {0, 0, H, W}, 3);
            ASSERT_EQ(with_map([&](auto... a) { return lumra_apply_profile_gain_table_map(&image, a...); }), LUMRA_OK);
            lumra_test::at_every_level([&] {
                expect_parts<float>(whole, H, W, 3, [&](const Rect& part, const LumraRegion& region) {
                    std::vector<float> out = cut(pixels, W, 3, part);
                    LumraImage pi = image_of(out, part, 3);
                    EXPECT_EQ(with_map([&](auto... a) {
                                  return lumra_apply_profile_gain_table_map_region(&pi, &region, a...);
                              }),
                              LUMRA_OK);
                    return out;
                });
            });
        }
    }
}

// Bands of one image on several threads at once, each reading a window of one
// shared source and writing its rows of one shared destination.
TEST(RegionBits, DemosaicBandsOnThreadsMatchTheWholeImage) {
    const uint64_t H = 64, W = 96, kBand = 7;
    std::vector<float> src(H * W), whole(H * W * 3), banded(H * W * 3);
    fill_random(src);
    const int32_t pattern[4] = {1, 0, 2, 1};
    LumraImage s = image_of(src, {0, 0, H, W}, 1), d = image_of(whole, {0, 0, H, W}, 3);
    ASSERT_EQ(lumra_bilinear_demosaic(&s, &d, pattern), LUMRA_OK);
    std::vector<std::thread> threads;
    std::vector<LumraStatus> status(4, LUMRA_OK);
    for (uint64_t t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (uint64_t top = kBand * t; top < H; top += 4 * kBand) {
                const Rect part{top, 0, std::min(kBand, H - top), W}, window = grown(part, 1, H, W);
                const LumraImage ws{src.data() + window.top * W, window.height, W, 1, kF32, 0};
                LumraImage pd{banded.data() + top * W * 3, part.height, W, 3, kF32, 0};
                const LumraRegion wr{window.top, 0, H, W, 0}, pr{top, 0, H, W, 0};
                status[t] |= lumra_bilinear_demosaic_region(&ws, &wr, &pd, &pr, pattern);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(status, std::vector<LumraStatus>(4, LUMRA_OK));
    EXPECT_TRUE(same_bits(banded, whole));
}

}  // namespace
