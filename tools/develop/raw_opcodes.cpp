#include "develop/raw_opcodes.h"

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <variant>

namespace lumra_tools {
namespace {

// Float results are limited to the upper bound first, so a NaN becomes 1,
// as in the library's corrections.
inline float unit(float v) { return std::fmax(std::fmin(v, 1.0f), 0.0f); }

inline uint16_t stored(float v) { return uint16_t(std::fmax(std::fmin(v, 65535.0f), 0.0f) + 0.5f); }

// The lattice positions of [first, end) of the whole image that an area
// covers: from its start in steps of pitch, within [low, high).
struct Lattice {
    int64_t first = 0, end = 0, pitch = 1;
};

Lattice lattice(uint32_t area_start, uint32_t area_end, uint32_t pitch, int64_t low, int64_t high) {
    Lattice l;
    l.pitch = pitch;
    const int64_t start = area_start, stop = std::min<int64_t>(area_end, high);
    int64_t first = std::max<int64_t>(start, low);
    first = start + (first - start + l.pitch - 1) / l.pitch * l.pitch;
    l.first = first;
    l.end = std::max(first, stop);
    return l;
}

bool area_usable(const AreaSpec& a) { return a.row_pitch >= 1 && a.col_pitch >= 1 && a.planes >= 1; }

template <typename Pixel>
void for_area(const ImagePart& part, const AreaSpec& a, Pixel pixel) {
    if (!area_usable(a) || a.plane >= part.channels) return;
    const int64_t row_end = std::min<int64_t>(int64_t(part.top) + part.height, part.image_height);
    const int64_t col_end = std::min<int64_t>(int64_t(part.left) + part.width, part.image_width);
    const Lattice rows = lattice(a.top, a.bottom, a.row_pitch, part.top, row_end);
    const Lattice cols = lattice(a.left, a.right, a.col_pitch, part.left, col_end);
    const uint32_t plane_end = uint32_t(std::min<uint64_t>(uint64_t(a.plane) + a.planes, part.channels));
    for (int64_t r = rows.first; r < rows.end; r += rows.pitch)
        for (int64_t c = cols.first; c < cols.end; c += cols.pitch) {
            const size_t at = (size_t(r - part.top) * part.width + size_t(c - part.left)) * part.channels;
            for (uint32_t p = a.plane; p < plane_end; ++p)
                pixel(at + p, size_t((r - a.top) / rows.pitch), size_t((c - a.left) / cols.pitch));
        }
}

// The colour of a mosaic site under a DNG BayerPhase.
int bayer_colour(uint32_t phase, int64_t r, int64_t c) {
    static constexpr int kPatterns[4][4] = {{0, 1, 1, 2}, {1, 0, 2, 1}, {1, 2, 0, 1}, {2, 1, 1, 0}};
    return kPatterns[phase & 3u][(r & 1) * 2 + (c & 1)];
}

// Rotates a repeating pattern of rows x cols entries (each of `group`
// values) so that its new origin is the old (dy, dx).
template <typename V>
std::vector<V> shifted_pattern(const std::vector<V>& v, uint32_t rows, uint32_t cols, uint32_t group, uint32_t dy,
                               uint32_t dx) {
    std::vector<V> out(v.size());
    for (uint32_t r = 0; r < rows; ++r)
        for (uint32_t c = 0; c < cols; ++c)
            for (uint32_t k = 0; k < group; ++k)
                out[(size_t(r) * cols + c) * group + k] =
                    v[(size_t((r + dy) % rows) * cols + (c + dx) % cols) * group + k];
    return out;
}

void shift_cfa(DngFile& dng, uint32_t dy, uint32_t dx) {
    const std::vector<int> cfa(dng.cfa, dng.cfa + 4);
    const std::vector<int> moved = shifted_pattern(cfa, 2, 2, 1, dy, dx);
    std::copy(moved.begin(), moved.end(), dng.cfa);
}

// Keeps the default crop on the same pixels when the image's corner moves
// by (dy, dx) and it becomes height x width.
void shift_crop(DngFile& dng, uint32_t dy, uint32_t dx, uint32_t height, uint32_t width) {
    if (!(dng.default_crop_size[0] > 0)) return;
    double* origin = dng.default_crop_origin;
    double* size = dng.default_crop_size;
    const double shift[2] = {double(dx), double(dy)}, limit[2] = {double(width), double(height)};
    for (int k = 0; k < 2; ++k) {
        origin[k] -= shift[k];
        if (origin[k] < 0) {
            size[k] += origin[k];
            origin[k] = 0;
        }
        size[k] = std::min(size[k], limit[k] - origin[k]);
    }
    if (!(size[0] >= 1 && size[1] >= 1)) size[0] = size[1] = origin[0] = origin[1] = 0;  // nothing left: whole image
}

bool trim_rect(const TrimBoundsOp& op, uint32_t height, uint32_t width, std::string& error) {
    if (op.top >= op.bottom || op.left >= op.right || op.bottom > height || op.right > width) {
        error = "has a TrimBounds rectangle outside its " + std::to_string(width) + " x " + std::to_string(height) +
                " image";
        return false;
    }
    return true;
}

bool skipped(const OpcodeContext& c, const char* stage) { return c.options.skip.count(stage) != 0; }

template <typename T>
bool run_value_op(const Opcode& op, T* data, const ImagePart& whole, OpcodeContext& context, std::string& error) {
    if (const auto* t = std::get_if<MapTableOp>(&op.body)) {
        if (!skipped(context, "map-table")) apply_map_table(data, whole, *t);
        return true;
    }
    if (const auto* l = std::get_if<PerLineOp>(&op.body)) {
        if (!skipped(context, "deltas")) apply_per_line(data, whole, op.id, *l);
        return true;
    }
    if (const auto* b = std::get_if<FixBadPixelsListOp>(&op.body)) {
        if (skipped(context, "bad-pixels") || fix_bad_pixels_list(data, whole.height, whole.width, whole.channels, *b))
            return true;
        error = "has a FixBadPixelsList that marks more than a sixteenth of the image as bad";
        return false;
    }
    return refuse_opcode(op, context, error);
}

}  // namespace

template <typename T>
void apply_map_table(T* data, const ImagePart& part, const MapTableOp& op) {
    if (op.table.empty()) return;
    const size_t last = op.table.size() - 1;
    for_area(part, op.area, [&](size_t at, size_t, size_t) {
        if constexpr (std::is_same_v<T, uint16_t>) {
            data[at] = op.table[std::min<size_t>(data[at], last)];
        } else {
            const float position = unit(data[at]) * 65535.0f;
            const size_t i = std::min<size_t>(size_t(position), last);
            const size_t j = std::min(i + 1, last);
            const float f = position - float(i), a = op.table[i], b = op.table[j];
            data[at] = unit((a + f * (b - a)) / 65535.0f);
        }
    });
}

template <typename T>
void apply_per_line(T* data, const ImagePart& part, uint32_t opcode, const PerLineOp& op) {
    const bool per_row = opcode == opcode_id::kDeltaPerRow || opcode == opcode_id::kScalePerRow;
    const bool scale = opcode == opcode_id::kScalePerRow || opcode == opcode_id::kScalePerColumn;
    const size_t count = op.values.size();
    for_area(part, op.area, [&](size_t at, size_t row, size_t col) {
        const size_t k = per_row ? row : col;
        if (k >= count) return;
        const float v = op.values[k];
        if constexpr (std::is_same_v<T, uint16_t>) {
            data[at] = stored(scale ? float(data[at]) * v : float(data[at]) + v * 65535.0f);
        } else {
            data[at] = unit(scale ? data[at] * v : data[at] + v);
        }
    });
}

template <typename T>
bool fix_bad_pixels_list(T* data, uint32_t height, uint32_t width, uint32_t channels, const FixBadPixelsListOp& op) {
    if (height == 0 || width == 0) return true;
    uint64_t listed = op.points.size() / 2;
    for (size_t i = 0; i + 3 < op.rects.size(); i += 4) {
        const uint64_t bottom = std::min(op.rects[i + 2], height), right = std::min(op.rects[i + 3], width);
        if (op.rects[i] < bottom && op.rects[i + 1] < right)
            listed += (bottom - op.rects[i]) * (right - op.rects[i + 1]);
    }
    if (listed > uint64_t(height) * width / 16 + 64) return false;
    std::vector<uint8_t> bad(size_t(height) * width, 0);
    std::vector<std::pair<uint32_t, uint32_t>> sites;
    auto mark = [&](uint32_t r, uint32_t c) {
        uint8_t& b = bad[size_t(r) * width + c];
        if (!b) sites.push_back({r, c});
        b = 1;
    };
    for (size_t i = 0; i + 1 < op.points.size(); i += 2)
        if (op.points[i] < height && op.points[i + 1] < width) mark(op.points[i], op.points[i + 1]);
    for (size_t i = 0; i + 3 < op.rects.size(); i += 4) {
        const uint32_t bottom = std::min(op.rects[i + 2], height), right = std::min(op.rects[i + 3], width);
        for (uint32_t r = op.rects[i]; r < bottom; ++r)
            for (uint32_t c = op.rects[i + 1]; c < right; ++c) mark(r, c);
    }
    constexpr int64_t kMaxRadius = 16;
    const bool cfa = channels == 1;
    for (const auto& [r, c] : sites) {
        const int colour = cfa ? bayer_colour(op.bayer_phase, r, c) : 0;
        for (uint32_t k = 0; k < channels; ++k) {
            double sum = 0.0;
            uint64_t count = 0;
            for (int64_t radius = 1; radius <= kMaxRadius && count == 0; ++radius)
                for (int64_t dr = -radius; dr <= radius; ++dr) {
                    const int64_t step = (dr == -radius || dr == radius) ? 1 : 2 * radius;  // the ring only
                    for (int64_t dc = -radius; dc <= radius; dc += step) {
                        const int64_t rr = int64_t(r) + dr, cc = int64_t(c) + dc;
                        if (rr < 0 || cc < 0 || rr >= height || cc >= width || bad[size_t(rr) * width + size_t(cc)])
                            continue;
                        if (cfa && bayer_colour(op.bayer_phase, rr, cc) != colour) continue;
                        sum += double(data[(size_t(rr) * width + size_t(cc)) * channels + k]);
                        ++count;
                    }
                }
            if (count == 0) continue;
            T& target = data[(size_t(r) * width + c) * channels + k];
            if constexpr (std::is_same_v<T, uint16_t>) target = T(uint64_t(sum + double(count / 2)) / count);
            else target = T(sum / double(count));
        }
    }
    return true;
}

template void apply_map_table<uint16_t>(uint16_t*, const ImagePart&, const MapTableOp&);
template void apply_map_table<float>(float*, const ImagePart&, const MapTableOp&);
template void apply_per_line<uint16_t>(uint16_t*, const ImagePart&, uint32_t, const PerLineOp&);
template void apply_per_line<float>(float*, const ImagePart&, uint32_t, const PerLineOp&);
template bool fix_bad_pixels_list<uint16_t>(uint16_t*, uint32_t, uint32_t, uint32_t, const FixBadPixelsListOp&);
template bool fix_bad_pixels_list<float>(float*, uint32_t, uint32_t, uint32_t, const FixBadPixelsListOp&);

bool trim_raw(DngFile& dng, const TrimBoundsOp& op, std::string& error) {
    if (!trim_rect(op, dng.height, dng.width, error)) return false;
    uint32_t* area = dng.active_area;
    const uint32_t old_top = area[2] ? area[0] : 0, old_left = area[2] ? area[1] : 0;
    const uint32_t old_bottom = area[2] ? area[2] : dng.height, old_right = area[2] ? area[3] : dng.width;
    const uint32_t top = std::max(old_top, op.top), left = std::max(old_left, op.left);
    const uint32_t bottom = std::min(old_bottom, op.bottom), right = std::min(old_right, op.right);
    if (top >= bottom || left >= right) {
        error = "has a TrimBounds rectangle that leaves nothing of its active area";
        return false;
    }
    const uint32_t dy = top - old_top, dx = left - old_left;
    // Everything anchored at the active area's corner moves with it.
    dng.black_levels = shifted_pattern(dng.black_levels, dng.black_repeat_rows, dng.black_repeat_cols, dng.samples,
                                       dy % dng.black_repeat_rows, dx % dng.black_repeat_cols);
    if (!dng.black_delta_h.empty())
        dng.black_delta_h = std::vector<float>(dng.black_delta_h.begin() + dx, dng.black_delta_h.begin() + dx + (right - left));
    if (!dng.black_delta_v.empty())
        dng.black_delta_v = std::vector<float>(dng.black_delta_v.begin() + dy, dng.black_delta_v.begin() + dy + (bottom - top));
    if (dng.samples == 1) shift_cfa(dng, dy & 1u, dx & 1u);
    shift_crop(dng, dy, dx, bottom - top, right - left);
    area[0] = top;
    area[1] = left;
    area[2] = bottom;
    area[3] = right;
    return true;
}

bool trim_image(FloatImage& image, DngFile* dng, const TrimBoundsOp& op, std::string& error) {
    if (!trim_rect(op, image.height, image.width, error)) return false;
    const uint32_t height = op.bottom - op.top, width = op.right - op.left;
    FloatImage cut(height, width, image.channels);
    const size_t row = size_t(width) * image.channels;
    for (uint32_t r = 0; r < height; ++r)
        std::copy_n(image.data.get() + (size_t(op.top + r) * image.width + op.left) * image.channels, row,
                    cut.data.get() + size_t(r) * row);
    if (dng) {
        if (image.channels == 1) shift_cfa(*dng, op.top & 1u, op.left & 1u);
        shift_crop(*dng, op.top, op.left, height, width);
    }
    image = std::move(cut);
    return true;
}

bool run_raw_opcode(const Opcode& op, DngFile& dng, OpcodeContext& context, std::string& error) {
    if (const auto* t = std::get_if<TrimBoundsOp>(&op.body)) return trim_raw(dng, *t, error);
    const ImagePart whole{0, 0, dng.height, dng.width, dng.samples, dng.height, dng.width};
    return run_value_op(op, dng.raw.data(), whole, context, error);
}

bool run_value_opcode(const Opcode& op, FloatImage& image, OpcodeContext& context, std::string& error) {
    if (const auto* t = std::get_if<TrimBoundsOp>(&op.body)) return trim_image(image, context.dng, *t, error);
    const ImagePart whole{0, 0, image.height, image.width, image.channels, image.height, image.width};
    return run_value_op(op, image.data.get(), whole, context, error);
}

}  // namespace lumra_tools
