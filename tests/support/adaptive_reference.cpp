#include "support/adaptive_reference.h"

#include <bit>
#include <cmath>

namespace lumra_test {
namespace {

constexpr float kEps = 1.0e-5f;
constexpr float kRatioFloor = 0.2f;

float floor_zero(float x) { return x < 0.0f ? 0.0f : x; }

struct Reading {
    const std::vector<float>& src;
    int64_t height, width;
    const int32_t* pattern;
    int32_t diagonal;
    // d and wh of each position within 8 of the image, remembered once
    // worked out (the definitions nest, and the test images are many).
    static constexpr int64_t kMargin = 8;
    mutable std::vector<float> d_seen, wh_seen;
    mutable std::vector<char> d_known, wh_known;

    size_t slot(int64_t r, int64_t c) const {
        return static_cast<size_t>((r + kMargin) * (width + 2 * kMargin) + (c + kMargin));
    }
    template <typename F>
    float remembered(std::vector<float>& seen, std::vector<char>& known, int64_t r, int64_t c, F work) const {
        const size_t i = slot(r, c);
        if (!known[i]) {
            seen[i] = work();
            known[i] = 1;
        }
        return seen[i];
    }

    static int64_t mirror(int64_t i, int64_t n) {
        if (n == 1) return 0;
        const int64_t period = 2 * (n - 1);
        int64_t m = ((i % period) + period) % period;
        return m < n ? m : period - m;
    }
    float s(int64_t r, int64_t c) const {
        return src[static_cast<size_t>(mirror(r, height) * width + mirror(c, width))];
    }
    int32_t colour(int64_t r, int64_t c) const { return pattern[(r & 1) * 2 + (c & 1)]; }
    bool on_diagonal(int64_t r, int64_t c) const { return colour(r, c) == diagonal; }

    // Directional gradient of one pixel, and its 3 x 3 sums.
    float gv(int64_t r, int64_t c) const {
        return std::fabs(s(r - 1, c) - s(r + 1, c)) + std::fabs((s(r - 2, c) + s(r + 2, c)) - (s(r, c) + s(r, c)));
    }
    float gh(int64_t r, int64_t c) const {
        return std::fabs(s(r, c - 1) - s(r, c + 1)) + std::fabs((s(r, c - 2) + s(r, c + 2)) - (s(r, c) + s(r, c)));
    }
    template <typename G>
    float box(int64_t r, int64_t c, G g) const {
        float rows[3];
        for (int dr = -1; dr <= 1; ++dr) rows[dr + 1] = (g(r + dr, c - 1) + g(r + dr, c)) + g(r + dr, c + 1);
        return (rows[0] + rows[1]) + rows[2];
    }
    float wh(int64_t r, int64_t c) const {
        return remembered(wh_seen, wh_known, r, c, [&] { return wh_plain(r, c); });
    }
    float wh_plain(int64_t r, int64_t c) const {
        const float v = box(r, c, [&](int64_t y, int64_t x) { return gv(y, x); }) + kEps;
        const float h = box(r, c, [&](int64_t y, int64_t x) { return gh(y, x); }) + kEps;
        return v / (v + h);
    }
    // One-sided gradient towards (dr, dc) and the pair weight of a direction.
    float side(int64_t r, int64_t c, int dr, int dc) const {
        const float across = std::fabs(s(r - dr, c - dc) - s(r + dr, c + dc));
        return ((kEps + across) + std::fabs(s(r, c) - s(r + 2 * dr, c + 2 * dc))) +
               std::fabs(s(r + dr, c + dc) - s(r + 3 * dr, c + 3 * dc));
    }
    float weight(int64_t r, int64_t c, int dr, int dc) const {
        const float first = side(r, c, dr, dc), second = side(r, c, -dr, -dc);
        return first / (first + second);
    }
    // The diagonal colour everywhere.
    float d(int64_t r, int64_t c) const {
        return remembered(d_seen, d_known, r, c, [&] { return d_plain(r, c); });
    }
    float d_plain(int64_t r, int64_t c) const {
        if (on_diagonal(r, c)) return s(r, c);
        const float north = s(r - 1, c) + (s(r, c) - s(r - 2, c)) * 0.5f;
        const float south = s(r + 1, c) + (s(r, c) - s(r + 2, c)) * 0.5f;
        const float west = s(r, c - 1) + (s(r, c) - s(r, c - 2)) * 0.5f;
        const float east = s(r, c + 1) + (s(r, c) - s(r, c + 2)) * 0.5f;
        const float vertical = north + (south - north) * weight(r, c, -1, 0);
        const float horizontal = west + (east - west) * weight(r, c, 0, -1);
        return vertical + (horizontal - vertical) * wh(r, c);
    }
    // Ratio of the own sample to the diagonal colour at a non-diagonal site.
    float k(int64_t r, int64_t c) const {
        return (floor_zero(s(r, c)) + kRatioFloor) / (floor_zero(d(r, c)) + kRatioFloor);
    }
    // The other non-diagonal colour's ratio at a non-diagonal site.
    float q(int64_t r, int64_t c) const {
        const float nw = side(r, c, -1, -1), se = side(r, c, 1, 1);
        const float ne = side(r, c, -1, 1), sw = side(r, c, 1, -1);
        const float along_p = k(r - 1, c - 1) + (k(r + 1, c + 1) - k(r - 1, c - 1)) * (nw / (nw + se));
        const float along_q = k(r - 1, c + 1) + (k(r + 1, c - 1) - k(r - 1, c + 1)) * (ne / (ne + sw));
        const float spread_p = nw + se, spread_q = ne + sw;
        return along_p + (along_q - along_p) * (spread_p / (spread_p + spread_q));
    }
    // At a diagonal site: the pair blends of the vertical and horizontal
    // neighbours' values, then the direction blend.
    float blend(int64_t r, int64_t c, float n, float so, float w, float e) const {
        const float vertical = n + (so - n) * weight(r, c, -1, 0);
        const float horizontal = w + (e - w) * weight(r, c, 0, -1);
        return vertical + (horizontal - vertical) * wh(r, c);
    }
};

}  // namespace

std::vector<float> adaptive_demosaic_reference(const std::vector<float>& src, int64_t height, int64_t width,
                                               const int32_t pattern[4]) {
    std::vector<float> out(static_cast<size_t>(height * width * 3));
    const int32_t diagonal = pattern[0] == pattern[3] ? pattern[0] : pattern[1];
    const size_t slots = static_cast<size_t>((height + 2 * Reading::kMargin) * (width + 2 * Reading::kMargin));
    const Reading x{src, height, width, pattern, diagonal, std::vector<float>(slots), std::vector<float>(slots),
                    std::vector<char>(slots), std::vector<char>(slots)};
    for (int64_t r = 0; r < height; ++r) {
        for (int64_t c = 0; c < width; ++c) {
            float* o = &out[static_cast<size_t>((r * width + c) * 3)];
            const float own = x.s(r, c);
            if (x.on_diagonal(r, c)) {
                const float scale = floor_zero(own) + kRatioFloor;
                // Horizontal neighbours' colour: their own ratio left and
                // right, their other ratio above and below.
                const float row_ratio = x.blend(r, c, x.q(r - 1, c), x.q(r + 1, c), x.k(r, c - 1), x.k(r, c + 1));
                const float column_ratio =
                    x.blend(r, c, x.k(r - 1, c), x.k(r + 1, c), x.q(r, c - 1), x.q(r, c + 1));
                o[diagonal] = own;
                o[x.colour(r, c + 1)] = own + scale * (row_ratio - 1.0f);
                o[x.colour(r + 1, c)] = own + scale * (column_ratio - 1.0f);
            } else {
                const float d = x.d(r, c);
                const float scale = floor_zero(d) + kRatioFloor;
                o[x.colour(r, c)] = own;
                o[diagonal] = d;
                o[3 - diagonal - x.colour(r, c)] = d + scale * (x.q(r, c) - 1.0f);
            }
        }
    }
    // Every NaN result is the positive quiet NaN.
    for (float& v : out)
        if (std::isnan(v)) v = std::bit_cast<float>(0x7fc00000u);
    return out;
}

}  // namespace lumra_test
