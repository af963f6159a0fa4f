// lumra_fix_bad_pixels_constant against a plain reading of the repair, with
// the worked cases, every phase, and in-place use.
#include <gtest/gtest.h>

#include <vector>

#include "lumra.h"
#include "support/image.h"
#include "support/raw_reference.h"

namespace {

LumraStatus repair(const std::vector<uint16_t>& src, std::vector<uint16_t>& dst, uint64_t height, uint64_t width,
                   uint16_t bad_value, int32_t phase) {
    LumraImage s{const_cast<uint16_t*>(src.data()), height, width, 1, LUMRA_DTYPE_UINT16, 0};
    LumraImage d{dst.data(), height, width, 1, LUMRA_DTYPE_UINT16, 0};
    return lumra_fix_bad_pixels_constant(&s, &d, bad_value, phase);
}

LumraStatus repair_in_place(std::vector<uint16_t>& image, uint64_t height, uint64_t width, uint16_t bad_value,
                            int32_t phase) {
    LumraImage d{image.data(), height, width, 1, LUMRA_DTYPE_UINT16, 0};
    return lumra_fix_bad_pixels_constant(&d, &d, bad_value, phase);
}

// A 5 x 5 image of `fill` with given values placed around the centre.
struct Grid {
    std::vector<uint16_t> v = std::vector<uint16_t>(25, 999);
    void set(int r, int c, uint16_t x) { v[static_cast<size_t>(r * 5 + c)] = x; }
    uint16_t at(int r, int c) const { return v[static_cast<size_t>(r * 5 + c)]; }
};

TEST(FixBadPixels, WorkedMeans) {
    // Phase 0: the centre (2, 2) has even r + c, so it is of the diagonal class.
    Grid g;
    g.set(2, 2, 0xffff);
    g.set(1, 1, 100), g.set(1, 3, 101), g.set(3, 1, 102), g.set(3, 3, 103);
    auto out = g.v;
    ASSERT_EQ(repair(g.v, out, 5, 5, 0xffff, 0), LUMRA_OK);
    EXPECT_EQ(out[12], 102);

    // Two good neighbours 10 and 11 round half up; 10, 11, 11 too.
    Grid h;
    h.set(2, 2, 7);
    h.set(1, 1, 10), h.set(1, 3, 11), h.set(3, 1, 7), h.set(3, 3, 7);
    out = h.v;
    repair(h.v, out, 5, 5, 7, 0);
    EXPECT_EQ(out[12], 11);
    h.set(3, 1, 11);
    out = h.v;
    repair(h.v, out, 5, 5, 7, 0);
    EXPECT_EQ(out[12], 11);
}

TEST(FixBadPixels, SiteWithoutGoodNeighboursKeepsTheDestination) {
    std::vector<uint16_t> src(9, 5);  // every site bad
    std::vector<uint16_t> dst(9, 1234);
    ASSERT_EQ(repair(src, dst, 3, 3, 5, 0), LUMRA_OK);
    for (uint16_t v : dst) EXPECT_EQ(v, 1234);
}

TEST(FixBadPixels, PhasesPickTheDiagonalClass) {
    // The centre of a 5 x 5 image (even r + c) with distinct diagonal and axial rings.
    for (int32_t phase : {0, 1, 2, 3, 4, 5, -1, 0x7fffffff}) {
        Grid g;
        g.set(2, 2, 0);
        g.set(1, 1, 100), g.set(1, 3, 100), g.set(3, 1, 100), g.set(3, 3, 100);
        g.set(0, 2, 300), g.set(4, 2, 300), g.set(2, 0, 300), g.set(2, 4, 300);
        auto out = g.v;
        repair(g.v, out, 5, 5, 0, phase);
        const uint32_t p = static_cast<uint32_t>(phase);
        const bool diagonal = (2 + 2 + p + p / 2) % 2 == 0;
        EXPECT_EQ(out[12], diagonal ? 100 : 300) << phase;
    }
    // Phases 0 and 3 on even r + c, 1 and 2 on odd.
    EXPECT_TRUE((0 + 0 / 2) % 2 == 0 && (3 + 3 / 2) % 2 == 0 && (1 + 1 / 2) % 2 == 1 && (2 + 2 / 2) % 2 == 1);
}

TEST(FixBadPixels, OneColumnUsesOnlyVerticalAxialNeighbours) {
    const std::vector<uint16_t> src{40, 9, 0, 9, 60, 9, 0};
    for (int32_t phase : {0, 1}) {
        auto dst = src;
        repair(src, dst, 7, 1, 0, phase);
        // Row 2: r + c = 2 is even; with phase 0 it is diagonal (no candidates), with phase 1 axial.
        EXPECT_EQ(dst[2], phase == 0 ? 0 : 50);
        // Row 6: even, likewise; its only axial neighbour is row 4.
        EXPECT_EQ(dst[6], phase == 0 ? 0 : 60);
    }
}

TEST(FixBadPixels, ZeroMarkerNeverUsesZeroNeighbours) {
    Grid g;
    for (auto& v : g.v) v = 0;
    g.set(2, 2, 0);
    g.set(1, 1, 8), g.set(3, 3, 9);
    auto out = g.v;
    repair(g.v, out, 5, 5, 0, 0);
    EXPECT_EQ(out[12], 9);  // (17 + 1) / 2
}

// In place, a site repaired earlier counts as a good neighbour for later ones.
TEST(FixBadPixels, InPlaceRepairsServeLaterSites) {
    std::vector<uint16_t> image{50, 1, 0, 1, 0, 1, 0};
    // Phase 1 puts the even columns of row 0 in the axial class.
    ASSERT_EQ(repair_in_place(image, 1, 7, 0, 1), LUMRA_OK);
    std::vector<uint16_t> expected{50, 1, 0, 1, 0, 1, 0};
    lumra_test::fix_bad_pixels_reference(expected, expected, 1, 7, 0, 1, true);
    EXPECT_EQ(image, expected);
    // (0, 2) takes 50 from (0, 0), then (0, 4) takes the repaired 50, and (0, 6) too.
    EXPECT_EQ(image[2], 50);
    EXPECT_EQ(image[4], 50);
    EXPECT_EQ(image[6], 50);
}

TEST(FixBadPixels, RandomMosaicsMatchThePlainReading) {
    const uint64_t sizes[][2] = {{1, 1},  {1, 40}, {40, 1}, {2, 2},   {3, 31},
                                 {5, 32}, {7, 33}, {4, 65}, {17, 97}, {31, 64}};
    for (const auto& size : sizes)
        for (int32_t phase : {0, 1, 2, 3, 6, -1})
            for (int density : {3, 40}) {
                const uint64_t n = size[0] * size[1];
                const uint16_t bad = static_cast<uint16_t>(lumra_test::uniform_int(0, 65535));
                std::vector<uint16_t> src(n);
                for (auto& v : src)
                    v = lumra_test::uniform_int(0, 99) < density
                            ? bad
                            : static_cast<uint16_t>(lumra_test::uniform_int(0, 65535));
                // Separate destination holding a copy.
                auto dst = src;
                ASSERT_EQ(repair(src, dst, size[0], size[1], bad, phase), LUMRA_OK);
                auto expected = src;
                lumra_test::fix_bad_pixels_reference(src, expected, size[0], size[1], bad, phase, false);
                EXPECT_EQ(dst, expected) << size[0] << "x" << size[1] << " phase " << phase;
                // Separate destination holding other values: only marked sites change.
                std::vector<uint16_t> other(n, 4321), expected_other(n, 4321);
                repair(src, other, size[0], size[1], bad, phase);
                lumra_test::fix_bad_pixels_reference(src, expected_other, size[0], size[1], bad, phase, false);
                EXPECT_EQ(other, expected_other);
                // One buffer.
                auto image = src;
                repair_in_place(image, size[0], size[1], bad, phase);
                auto expected_in_place = src;
                lumra_test::fix_bad_pixels_reference(src, expected_in_place, size[0], size[1], bad, phase, true);
                EXPECT_EQ(image, expected_in_place) << size[0] << "x" << size[1] << " phase " << phase;
            }
}

TEST(FixBadPixels, EntryChecks) {
    std::vector<uint16_t> a(6, 3), b(6, 3);
    LumraImage s{a.data(), 2, 3, 1, LUMRA_DTYPE_UINT16, 0}, d{b.data(), 2, 3, 1, LUMRA_DTYPE_UINT16, 0};
    d.width = 2;
    EXPECT_EQ(lumra_fix_bad_pixels_constant(&s, &d, 3, 0), LUMRA_ERR_DIMENSION_MISMATCH);
    d.width = 3;
    d.dtype = LUMRA_DTYPE_FLOAT32;
    EXPECT_EQ(lumra_fix_bad_pixels_constant(&s, &d, 3, 0), LUMRA_ERR_UNSUPPORTED);
    LumraImage e{a.data(), 0, 0, 1, LUMRA_DTYPE_UINT16, 0};
    EXPECT_EQ(lumra_fix_bad_pixels_constant(&e, &e, 3, 0), LUMRA_OK);
}

}  // namespace
