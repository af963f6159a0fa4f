// Rectilinear warp: each destination pixel reads the source at a position
// displaced by a per-plane radial polynomial in the squared normalised radius
// and two per-plane tangential terms. The geometry is double precision; the
// row and pixel terms are computed once and shared by the planes.
#include <algorithm>
#include <cmath>
#include <cstring>

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

// Positions are limited to [0, H - 1] x [0, W - 1] before resampling, so
// truncation is the floor and every conversion is in range.
inline uint64_t whole_part(double position) { return static_cast<uint64_t>(static_cast<int64_t>(position)); }

struct Bilinear {
    float operator()(const Frame& f, double y, double x, uint64_t plane) const {
        const uint64_t y0 = whole_part(y), x0 = whole_part(x);
        const uint64_t y1 = std::min(y0 + 1, static_cast<uint64_t>(f.last_row));
        const uint64_t x1 = std::min(x0 + 1, static_cast<uint64_t>(f.last_col));
        const double fx = x - static_cast<double>(static_cast<int64_t>(x0));
        const double fy = y - static_cast<double>(static_cast<int64_t>(y0));
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
    const uint64_t base = whole_part(position);
    if (base < 1) return {0, 0};
    if (base - 1 > size - 4) return {size - 4, 0};
    const double fraction = position - static_cast<double>(static_cast<int64_t>(base));
    const int index = static_cast<int>(fraction * kBicubicSteps);
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

// Destination pixels whose geometry is worked out together, in loops the
// compiler can vectorise, before they are resampled.
constexpr int kChunk = 64;

// Terms of one chunk of a row that every plane shares.
struct ChunkTerms {
    double dx[kChunk];                     // offset from the centre, pixels
    double r2[kChunk], r4[kChunk], r6[kChunk];  // powers of the capped squared radius
    double tangent_x[kChunk], tangent_y[kChunk];  // 2 qx + r2 and 2 qy + r2
    double product[kChunk];                // 2 L (dy s)(dx s)
};

struct PlaneCoefficients {
    // Radial terms past radial_count are 0: adding 0 x r^n (r^n in [0, 1])
    // changes a result only by the sign of a zero, which the position limits
    // then remove, so every position is the same as with the terms left out.
    double kr[4];
    bool tangential;
    double kt0, kt1;
};

struct Geometry {
    double cx, cy, extent, scale, last_row, last_col;
    const double* radial;
    int radial_count, terms;
    const double* tangential;

    PlaneCoefficients plane(int k) const {
        PlaneCoefficients c{};
        const double* kr = radial + static_cast<int64_t>(k) * radial_count;
        for (int t = 0; t < terms; ++t) c.kr[t] = kr[t];
        if (tangential) {
            c.kt0 = tangential[2 * k];
            c.kt1 = tangential[2 * k + 1];
            c.tangential = !(c.kt0 == 0.0 && c.kt1 == 0.0);
        }
        return c;
    }

    // Plane k's coefficients are bitwise those of plane k - 1, so are its positions.
    bool same_as_previous(int k) const {
        const double* kr = radial + static_cast<int64_t>(k) * radial_count;
        if (std::memcmp(kr, kr - radial_count, sizeof(double) * static_cast<size_t>(terms)) != 0) return false;
        return !tangential || std::memcmp(tangential + 2 * k, tangential + 2 * k - 2, 2 * sizeof(double)) == 0;
    }
};

void shared_terms(const Geometry& g, double first_col, int n, double dy, ChunkTerms& t) {
    const double sy = dy * g.scale, qy = sy * sy;
    const double two_l_sy = 2.0 * g.extent * sy;
    for (int j = 0; j < n; ++j) {
        const double dx = (first_col + j) - g.cx;
        const double sx = dx * g.scale;
        const double qx = sx * sx;
        const double sum = qx + qy;
        const double r2 = sum < 1.0 ? sum : 1.0;  // NaN takes the cap, as the other upper limits do
        t.dx[j] = dx;
        t.r2[j] = r2;
        t.r4[j] = r2 * r2;
        t.r6[j] = t.r4[j] * r2;
        t.tangent_x[j] = 2.0 * qx + r2;
        t.tangent_y[j] = 2.0 * qy + r2;
        t.product[j] = two_l_sy * sx;
    }
}

void plane_positions(const Geometry& g, const PlaneCoefficients& c, const ChunkTerms& t, int n, double dy,
                     double* ys, double* xs) {
    for (int j = 0; j < n; ++j) {
        const double f = ((c.kr[0] + c.kr[1] * t.r2[j]) + c.kr[2] * t.r4[j]) + c.kr[3] * t.r6[j];
        ys[j] = f * dy;
        xs[j] = f * t.dx[j];
    }
    if (c.tangential)
        for (int j = 0; j < n; ++j) {
            ys[j] += c.kt0 * t.tangent_y[j] * g.extent + c.kt1 * t.product[j];
            xs[j] += c.kt1 * t.tangent_x[j] * g.extent + c.kt0 * t.product[j];
        }
    for (int j = 0; j < n; ++j) {
        ys[j] = limit_high_then_low(g.cy + ys[j], 0.0, g.last_row);
        xs[j] = limit_high_then_low(g.cx + xs[j], 0.0, g.last_col);
    }
}

template <typename Resample>
void warp_rows(const Frame& frame, float* destination, uint64_t height, uint64_t width, const Geometry& g,
               int plane_count, const Resample& resample) {
    const uint64_t channels = frame.channels;
    ChunkTerms terms;
    double ys[kChunk], xs[kChunk];
    for (uint64_t i = 0; i < height; ++i) {
        const double dy = static_cast<double>(static_cast<int64_t>(i)) - g.cy;
        float* out_row = destination + i * width * channels;
        for (uint64_t first = 0; first < width; first += kChunk) {
            const int n = static_cast<int>(std::min<uint64_t>(kChunk, width - first));
            shared_terms(g, static_cast<double>(static_cast<int64_t>(first)), n, dy, terms);
            float* out = out_row + first * channels;
            for (int k = 0; k < plane_count; ++k) {
                if (k == 0 || !g.same_as_previous(k)) plane_positions(g, g.plane(k), terms, n, dy, ys, xs);
                const uint64_t plane = static_cast<uint64_t>(k);
                for (int j = 0; j < n; ++j) out[j * channels + plane] = resample(frame, ys[j], xs[j], plane);
            }
        }
    }
}

}  // namespace

void warp_rectilinear(const float* source, float* destination, uint64_t height, uint64_t width, int channels,
                      const double* radial, int coefficient_planes, int radial_count, const double* tangential,
                      double center_x, double center_y, bool bicubic) noexcept {
    const int plane_count = std::min(coefficient_planes, channels);
    if (plane_count <= 0) return;
    const float* table = bicubic ? bicubic_weight_table() : nullptr;
    const double w = static_cast<double>(width), h = static_cast<double>(height);
    Geometry g{};
    g.cx = center_x * w;
    g.cy = center_y * h;
    g.extent = farthest_corner(g.cx, g.cy, w, h);
    g.scale = 1.0 / g.extent;
    g.last_row = h - 1.0;
    g.last_col = w - 1.0;

    g.radial = radial;
    g.radial_count = radial_count;
    g.terms = std::min(radial_count, 4);
    g.tangential = tangential;
    const Frame frame{source, width, static_cast<uint64_t>(channels), g.last_row, g.last_col};
    if (bicubic)
        warp_rows(frame, destination, height, width, g, plane_count, Bicubic{table, height, width});
    else
        warp_rows(frame, destination, height, width, g, plane_count, Bilinear{});
}

}  // namespace lumra
