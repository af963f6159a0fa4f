// Rectilinear warp: each destination pixel reads the source at a position
// displaced by a per-plane radial polynomial in the squared normalised radius
// and two per-plane tangential terms. The geometry is double precision; the
// row and pixel terms are computed once and shared by the planes.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "correct/correct_common.h"
#include "correct/correct_kernels.h"
#include "correct/warp_geometry.h"
#include "correct/warp_resample.h"
#include "simd/isa.h"

namespace lumra {
namespace {

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

// The geometry (warp_geometry.h) one pixel at a time, the terms kept for
// every plane of the chunk.
LUMRA_SHARED_BODY void shared_terms(const Geometry& g, const RowTerms& row, double first_col, int n, ChunkTerms& t) {
    for (int j = 0; j < n; ++j) {
        const PixelTerms<double> p = pixel_terms(g, row, first_col + j);
        t.dx[j] = p.dx;
        t.r2[j] = p.r2;
        t.r4[j] = p.r4;
        t.r6[j] = p.r6;
        t.tangent_x[j] = p.tangent_x;
        t.tangent_y[j] = p.tangent_y;
        t.product[j] = p.product;
    }
}

LUMRA_SHARED_BODY void plane_positions(const Geometry& g, const PlaneCoefficients& c, const ChunkTerms& t, int n,
                                       double dy, double* ys, double* xs) {
    for (int j = 0; j < n; ++j) {
        const PixelTerms<double> p{t.dx[j], t.r2[j], t.r4[j], t.r6[j], t.tangent_x[j], t.tangent_y[j], t.product[j]};
        plane_position(g, c, p, dy, ys[j], xs[j]);
    }
}

void warp_rows(const WarpSource& source, float* destination, const PartOfWhole& part, const Geometry& g,
               int plane_count, ResampleRun resample, WideRows wide_rows) {
    const uint64_t channels = source.channels;
    ChunkTerms terms;
    double ys[kChunk], xs[kChunk];
    for (uint64_t i = part.top; i < part.top + part.height; ++i) {
        const RowTerms row(g, i);
        const double dy = row.dy;
        float* out_row = destination + (i - part.top) * part.width * channels;
        // The wide path, where there is one, does the row but for a few last columns.
        const uint64_t done = wide_rows ? wide_rows(source, g, plane_count, i, part.left, part.width, out_row) : 0;
        for (uint64_t first = done; first < part.width; first += kChunk) {
            const int n = static_cast<int>(std::min<uint64_t>(kChunk, part.width - first));
            shared_terms(g, row, static_cast<double>(static_cast<int64_t>(part.left + first)), n, terms);
            float* out = out_row + first * channels;
            for (int k = 0; k < plane_count; ++k) {
                if (k == 0 || !g.same_as_previous(k)) plane_positions(g, g.plane(k), terms, n, dy, ys, xs);
                resample(source, ys, xs, n, static_cast<uint64_t>(k), out);
            }
        }
    }
}

// The range of limited positions of the part's pixels, over the planes written.
struct PositionRange {
    double low_y, high_y, low_x, high_x;
};

// Lane-wise running extremes over the chunks, folded at the end, so that
// the loops carry no dependency from one pixel to the next.
LUMRA_SHARED_BODY void position_range(const Geometry& g, const PartOfWhole& part, int plane_count,
                                      PositionRange& range) {
    ChunkTerms terms;
    double ys[kChunk], xs[kChunk];
    double low_y[kChunk], high_y[kChunk], low_x[kChunk], high_x[kChunk];
    for (int j = 0; j < kChunk; ++j) {
        low_y[j] = g.last_row;
        high_y[j] = 0.0;
        low_x[j] = g.last_col;
        high_x[j] = 0.0;
    }
    for (uint64_t i = part.top; i < part.top + part.height; ++i) {
        const RowTerms row(g, i);
        const double dy = row.dy;
        for (uint64_t first = 0; first < part.width; first += kChunk) {
            const int n = static_cast<int>(std::min<uint64_t>(kChunk, part.width - first));
            shared_terms(g, row, static_cast<double>(static_cast<int64_t>(part.left + first)), n, terms);
            for (int k = 0; k < plane_count; ++k) {
                if (k != 0 && g.same_as_previous(k)) continue;
                plane_positions(g, g.plane(k), terms, n, dy, ys, xs);
                for (int j = 0; j < n; ++j) {
                    low_y[j] = ys[j] < low_y[j] ? ys[j] : low_y[j];
                    high_y[j] = ys[j] > high_y[j] ? ys[j] : high_y[j];
                    low_x[j] = xs[j] < low_x[j] ? xs[j] : low_x[j];
                    high_x[j] = xs[j] > high_x[j] ? xs[j] : high_x[j];
                }
            }
        }
    }
    range = {low_y[0], high_y[0], low_x[0], high_x[0]};
    for (int j = 1; j < kChunk; ++j) {
        range.low_y = std::min(range.low_y, low_y[j]);
        range.high_y = std::max(range.high_y, high_y[j]);
        range.low_x = std::min(range.low_x, low_x[j]);
        range.high_x = std::max(range.high_x, high_x[j]);
    }
}

void position_range_baseline(const Geometry& g, const PartOfWhole& part, int plane_count, PositionRange& range) {
    position_range(g, part, plane_count, range);
}

#if LUMRA_SIMD_X86
// The same operations four lanes wide; contraction stays off, so the same bits.
LUMRA_TARGET_AVX2 void position_range_avx2(const Geometry& g, const PartOfWhole& part, int plane_count,
                                           PositionRange& range) {
    position_range(g, part, plane_count, range);
}
#endif

}  // namespace

Geometry warp_geometry(const PartOfWhole& part, const double* radial, int radial_count, const double* tangential,
                       double center_x, double center_y) {
    const double w = static_cast<double>(part.full_width), h = static_cast<double>(part.full_height);
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
    return g;
}

SourceBox taps_of(const PartOfWhole& part, double low_y, double high_y, double low_x, double high_x, bool bicubic) {
    // The taps of a position grow with it, so the lowest and highest
    // positions give the box.
    const uint64_t h = part.full_height, w = part.full_width;
    if (bicubic)
        return {cubic_tap(low_y, h).start, cubic_tap(low_x, w).start, cubic_tap(high_y, h).start + 4,
                cubic_tap(high_x, w).start + 4};
    return {whole_part(low_y), whole_part(low_x), std::min(whole_part(high_y) + 1, h - 1) + 1,
            std::min(whole_part(high_x) + 1, w - 1) + 1};
}

void warp_rectilinear(const float* source, const PartOfWhole& window, float* destination, const PartOfWhole& part,
                      int channels, const double* radial, int coefficient_planes, int radial_count,
                      const double* tangential, double center_x, double center_y, bool bicubic) noexcept {
    const int plane_count = std::min(coefficient_planes, channels);
    // A part without pixels has nothing to resample, however many rows it
    // claims (walking 2^40 empty rows would take minutes).
    if (plane_count <= 0 || part.height == 0 || part.width == 0) return;
    const float* table = bicubic ? bicubic_weight_table() : nullptr;
    const Geometry g = warp_geometry(part, radial, radial_count, tangential, center_x, center_y);
    const uint64_t c = static_cast<uint64_t>(channels);
    WarpSource frame{source, part.full_height, part.full_width, c, part.full_height - 1, part.full_width - 1,
                     table, nullptr, window.top, window.left, window.height, window.width * c};
    WideScratch scratch;
    const WideRows wide_rows = warp_wide_rows(frame, g, plane_count, scratch);
    warp_rows(frame, destination, part, g, plane_count, bicubic ? cubic_run : bilinear_run, wide_rows);
}

SourceBox warp_source_box(const PartOfWhole& part, int channels, const double* radial, int coefficient_planes,
                          int radial_count, const double* tangential, double center_x, double center_y,
                          bool bicubic) noexcept {
    const int plane_count = std::min(coefficient_planes, channels);
    if (plane_count <= 0 || part.height == 0 || part.width == 0) return {part.top, part.left, part.top, part.left};
    const Geometry g = warp_geometry(part, radial, radial_count, tangential, center_x, center_y);
    PositionRange range;
#if LUMRA_SIMD_X86
    if (simd::runs(simd::Level::avx2))
        position_range_avx2(g, part, plane_count, range);
    else
#endif
        position_range_baseline(g, part, plane_count, range);
    return taps_of(part, range.low_y, range.high_y, range.low_x, range.high_x, bicubic);
}

}  // namespace lumra
