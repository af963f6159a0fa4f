#include "support/raw_reference.h"

#include <cmath>
#include <initializer_list>
#include <utility>

namespace lumra_test {
namespace {

// "Limited to at most 1.0 and then to at least 0.0": a NaN is not below 1, so
// it takes 1; a zero is not above 0, so it takes +0.
float limit(float v) {
    v = v < 1.0f ? v : 1.0f;
    return v > 0.0f ? v : 0.0f;
}

template <typename In>
float linear(In x, const std::vector<uint16_t>& table) {
    if (table.empty()) return static_cast<float>(x);
    const int64_t last = static_cast<int64_t>(table.size()) - 1;
    int64_t index;
    if constexpr (sizeof(In) == 2) {
        index = x;
    } else {
        const double truncated = std::trunc(static_cast<double>(x));
        if (std::isnan(truncated) || truncated < 0.0)
            index = 0;
        else if (truncated > static_cast<double>(last))
            index = last;
        else
            index = static_cast<int64_t>(truncated);
    }
    if (index > last) index = last;
    if (index < 0) index = 0;
    return static_cast<float>(table[static_cast<size_t>(index)]);
}

float black_at(const NormalizeArgs& a, int64_t r, int64_t c, int64_t k) {
    float black = a.black_levels[((r % a.repeat_rows) * a.repeat_cols + (c % a.repeat_cols)) * a.samples + k];
    black = black + (a.delta_v.empty() ? 0.0f : a.delta_v[r % a.delta_v.size()]);
    black = black + (a.delta_h.empty() ? 0.0f : a.delta_h[c % a.delta_h.size()]);
    return black;
}

float white_at(const NormalizeArgs& a, int64_t k) { return a.white_levels[k % a.white_levels.size()]; }

// Division form, or the reciprocal form of the delta-free, table-free layouts.
template <typename In>
std::vector<float> normalize_plain(const std::vector<In>& src, const NormalizeArgs& a, bool reciprocal_form) {
    std::vector<float> out(src.size());
    for (int64_t r = 0; r < a.height; ++r)
        for (int64_t c = 0; c < a.width; ++c)
            for (int64_t k = 0; k < a.samples; ++k) {
                const size_t i = static_cast<size_t>((r * a.width + c) * a.samples + k);
                const float black = black_at(a, r, c, k);
                const float span = white_at(a, k) - black;
                float value = 0.0f;
                if (span > 0.0f && !reciprocal_form) {
                    value = (linear(src[i], a.table) - black) / span;
                } else if (span > 0.0f) {
                    float reciprocal = 1.0f / span;
                    if (a.samples == 3 && k < 2) {
                        const float product = span * reciprocal;
                        const float error = 1.0f - product;
                        const float correction = reciprocal * error;
                        reciprocal = reciprocal + correction;
                    }
                    const float numerator = static_cast<float>(src[i]) - black;
                    // At or above the span the quotient is at least 1, and so is the result.
                    value = numerator >= span ? 1.0f : numerator * reciprocal;
                }
                out[i] = limit(value);
            }
    return out;
}

}  // namespace

template <typename In>
std::vector<float> normalize_reference(const std::vector<In>& src, const NormalizeArgs& a) {
    return normalize_plain(src, a, false);
}

template <typename In>
std::vector<float> normalize_reciprocal_reference(const std::vector<In>& src, const NormalizeArgs& a) {
    return normalize_plain(src, a, true);
}

template std::vector<float> normalize_reference(const std::vector<uint16_t>&, const NormalizeArgs&);
template std::vector<float> normalize_reference(const std::vector<float>&, const NormalizeArgs&);
template std::vector<float> normalize_reciprocal_reference(const std::vector<uint16_t>&, const NormalizeArgs&);
template std::vector<float> normalize_reciprocal_reference(const std::vector<float>&, const NormalizeArgs&);

std::vector<float> demosaic_reference(const std::vector<float>& src, uint64_t height, uint64_t width,
                                      const int32_t pattern[4]) {
    std::vector<float> out(height * width * 3, -1.0f);
    const auto inside = [&](int64_t r, int64_t c) {
        return r >= 0 && c >= 0 && r < static_cast<int64_t>(height) && c < static_cast<int64_t>(width);
    };
    const auto colour = [&](int64_t r, int64_t c) { return pattern[(r % 2) * 2 + (c % 2)]; };
    // Sum of the given neighbours that exist, in the order given, divided by their number.
    const auto average = [&](int64_t r, int64_t c, std::initializer_list<std::pair<int, int>> offsets) {
        float sum = 0.0f;
        int used = 0;
        for (const auto& [dr, dc] : offsets) {
            if (!inside(r + dr, c + dc)) continue;
            const float v = src[static_cast<size_t>((r + dr) * static_cast<int64_t>(width) + c + dc)];
            sum = used == 0 ? v : sum + v;
            ++used;
        }
        return used == 0 ? 0.0f : sum / static_cast<float>(used);
    };
    for (int64_t r = 0; r < static_cast<int64_t>(height); ++r)
        for (int64_t c = 0; c < static_cast<int64_t>(width); ++c) {
            float* px = &out[static_cast<size_t>((r * static_cast<int64_t>(width) + c) * 3)];
            const float s = src[static_cast<size_t>(r * static_cast<int64_t>(width) + c)];
            const int k = colour(r, c);
            if (k == 0 || k == 2) {
                const float axial = average(r, c, {{-1, 0}, {1, 0}, {0, -1}, {0, 1}});
                const float diagonal = average(r, c, {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}});
                px[k] = s;
                px[1] = axial;
                px[2 - k] = diagonal;
            } else {
                px[1] = s;
                const int h = colour(r, c + 1), v = colour(r + 1, c);
                for (int x : {0, 2}) {
                    if (width >= 2 && h == x)
                        px[x] = average(r, c, {{0, -1}, {0, 1}});
                    else if (v == x)
                        px[x] = average(r, c, {{-1, 0}, {1, 0}});
                    else
                        px[x] = 0.0f;
                }
            }
        }
    return out;
}

void fix_bad_pixels_reference(const std::vector<uint16_t>& src, std::vector<uint16_t>& dst, uint64_t height,
                              uint64_t width, uint16_t bad_value, int32_t bayer_phase, bool in_place) {
    const uint32_t phase = static_cast<uint32_t>(bayer_phase);
    const std::vector<uint16_t>& from = in_place ? dst : src;
    for (int64_t r = 0; r < static_cast<int64_t>(height); ++r)
        for (int64_t c = 0; c < static_cast<int64_t>(width); ++c) {
            if (from[static_cast<size_t>(r * static_cast<int64_t>(width) + c)] != bad_value) continue;
            const uint64_t parity = (static_cast<uint64_t>(r + c) + phase + phase / 2) % 2;
            const bool diagonal = parity == 0;
            const int offsets[2][4][2] = {{{-2, 0}, {2, 0}, {0, -2}, {0, 2}}, {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}}};
            uint32_t sum = 0, count = 0;
            for (const auto& o : offsets[diagonal ? 1 : 0]) {
                const int64_t nr = r + o[0], nc = c + o[1];
                if (nr < 0 || nc < 0 || nr >= static_cast<int64_t>(height) || nc >= static_cast<int64_t>(width))
                    continue;
                const uint16_t v = from[static_cast<size_t>(nr * static_cast<int64_t>(width) + nc)];
                if (v == bad_value) continue;
                sum += v;
                ++count;
            }
            if (count > 0)
                dst[static_cast<size_t>(r * static_cast<int64_t>(width) + c)] =
                    static_cast<uint16_t>((sum + count / 2) / count);
        }
}

}  // namespace lumra_test
