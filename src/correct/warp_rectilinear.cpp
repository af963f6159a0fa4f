// Rectilinear warp: each destination pixel reads the source at a position
// displaced by a per-plane radial polynomial in the squared normalised radius
// and two per-plane tangential terms. The geometry is double precision; the
// row and pixel terms are computed once and shared by the planes.
#include <algorithm>
#include <cmath>

#include "bicubic_weights.h"
#include "correct_common.h"
#include "correct_kernels.h"

namespace lumra {
namespace {

struct Frame {
    const float* source;
    uint64_t width, channels;
    double last_row, last_col;  // H - 1 and W - 1

    float at(uint64_t row, uint64_t col, uint64_t plane) const {
        return source[(row * width + col) * channels + plane];
    }
};

struct Bilinear {
    float operator()(const Frame& f, double y, double x, uint64_t plane) const {
        const double top_row = std::floor(y), left_col = std::floor(x);
        const uint64_t y0 = static_cast<uint64_t>(top_row), x0 = static_cast<uint64_t>(left_col);
        const uint64_t y1 = std::min(y0 + 1, static_cast<uint64_t>(f.last_row));
        const uint64_t x1 = std::min(x0 + 1, static_cast<uint64_t>(f.last_col));
        const double fx = x - left_col, fy = y - top_row;
        const double top = static_cast<double>(f.at(y0, x1, plane)) * fx +
                           static_cast<double>(f.at(y0, x0, plane)) * (1.0 - fx);
        const double bottom_minus_top = static_cast<double>(f.at(y1, x1, plane)) * fx +
                                        ((1.0 - fx) * static_cast<double>(f.at(y1, x0, plane)) - top);
        return static_cast<float>(top + bottom_minus_top * fy);
    }
};

// Where a cubic window starts along one axis and which fraction it uses.
// Within one pixel of the start, or from size - 2 on, the fraction is 0 and
// the window's second sample is taken as it is.
struct Tap {
    uint64_t start;
    int index;
};

inline Tap cubic_tap(double position, uint64_t size) {
    const double whole = std::floor(position);
    if (whole < 1.0) return {0, 0};
    const uint64_t base = static_cast<uint64_t>(whole);
    if (base - 1 > size - 4) return {size - 4, 0};
    const int index = static_cast<int>((position - whole) * kBicubicSteps);
    return {base - 1, std::min(index, kBicubicSteps - 1)};
}

struct Bicubic {
    const float* table;
    uint64_t height, width;

    float operator()(const Frame& f, double y, double x, uint64_t plane) const {
        const Tap ty = cubic_tap(y, height), tx = cubic_tap(x, width);
        const float* w = table + (ty.index * kBicubicSteps + tx.index) * kBicubicTaps;
        float products[4][4];
        for (int t = 0; t < 4; ++t) {
            const float* row = f.source + ((ty.start + t) * f.width + tx.start) * f.channels + plane;
            for (int u = 0; u < 4; ++u) products[t][u] = row[u * f.channels] * w[t * 4 + u];
        }
        float columns[4];
        for (int u = 0; u < 4; ++u)
            columns[u] = (products[0][u] + products[2][u]) + (products[3][u] + products[1][u]);
        const float value = (columns[1] + columns[3]) + (columns[0] + columns[2]);
        return limit_high_then_low(value, 0.0f, 1.0f);
    }
};

// The per-pixel terms every plane shares.
struct PixelTerms {
    double dx, dy;                  // offsets from the centre, pixels
    double r2, r4, r6;              // powers of the capped squared radius
    double tangent_y, tangent_x;    // (2 qy + r2) and (2 qx + r2)
    double product;                 // 2 L (dy s) (dx s)
};

template <typename Resample>
void warp_rows(const Frame& frame, float* destination, uint64_t height, uint64_t width, int planes,
               const double* radial, int radial_count, const double* tangential, double cx, double cy,
               double extent, const Resample& resample) {
    const double scale = 1.0 / extent;
    const int terms = std::min(radial_count, 4);
    const uint64_t channels = frame.channels;
    for (uint64_t i = 0; i < height; ++i) {
        const double dy = static_cast<double>(i) - cy;
        const double sy = dy * scale;
        const double qy = sy * sy;
        float* out = destination + i * width * channels;
        for (uint64_t j = 0; j < width; ++j, out += channels) {
            PixelTerms p{};
            p.dy = dy;
            p.dx = static_cast<double>(j) - cx;
            const double sx = p.dx * scale;
            const double qx = sx * sx;
            const double sum = qx + qy;
            p.r2 = sum < 1.0 ? sum : 1.0;  // NaN takes the cap, as the other upper limits do
            p.r4 = p.r2 * p.r2;
            p.r6 = p.r4 * p.r2;
            if (tangential) {
                p.tangent_y = 2.0 * qy + p.r2;
                p.tangent_x = 2.0 * qx + p.r2;
                p.product = 2.0 * extent * sy * sx;
            }
            for (int k = 0; k < planes; ++k) {
                const double* kr = radial + static_cast<int64_t>(k) * radial_count;
                double f = kr[0];
                if (terms > 1) f = f + kr[1] * p.r2;
                if (terms > 2) f = f + kr[2] * p.r4;
                if (terms > 3) f = f + kr[3] * p.r6;
                double shift_y = f * p.dy, shift_x = f * p.dx;
                if (tangential) {
                    const double kt0 = tangential[2 * k], kt1 = tangential[2 * k + 1];
                    if (!(kt0 == 0.0 && kt1 == 0.0)) {
                        shift_y += kt0 * p.tangent_y * extent + kt1 * p.product;
                        shift_x += kt1 * p.tangent_x * extent + kt0 * p.product;
                    }
                }
                const double y = limit_high_then_low(cy + shift_y, 0.0, frame.last_row);
                const double x = limit_high_then_low(cx + shift_x, 0.0, frame.last_col);
                out[k] = resample(frame, y, x, static_cast<uint64_t>(k));
            }
        }
    }
}

}  // namespace

void warp_rectilinear(const float* source, float* destination, uint64_t height, uint64_t width, int channels,
                      const double* radial, int coefficient_planes, int radial_count, const double* tangential,
                      double center_x, double center_y, bool bicubic) noexcept {
    const int planes = std::min(coefficient_planes, channels);
    if (planes <= 0) return;
    const float* table = bicubic ? bicubic_weight_table() : nullptr;
    const double w = static_cast<double>(width), h = static_cast<double>(height);
    const double cx = center_x * w, cy = center_y * h;
    const double extent = farthest_corner(cx, cy, w, h);
    const Frame frame{source, width, static_cast<uint64_t>(channels), h - 1.0, w - 1.0};
    if (bicubic)
        warp_rows(frame, destination, height, width, planes, radial, radial_count, tangential, cx, cy, extent,
                  Bicubic{table, height, width});
    else
        warp_rows(frame, destination, height, width, planes, radial, radial_count, tangential, cx, cy, extent,
                  Bilinear{});
}

}  // namespace lumra
