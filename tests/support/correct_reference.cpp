#include "support/correct_reference.h"

#include <algorithm>
#include <cmath>

namespace lumra_test {
namespace {

// Upper bound first, so NaN gives the upper bound; not above the lower bound gives the lower bound.
template <typename T>
T limit(T v, T low, T high) {
    if (!(v < high)) v = high;
    if (!(v > low)) v = low;
    return v;
}

float map_sample(const GainMapArgs& a, int i, int j, int k) {
    return a.gains[(static_cast<int64_t>(i) * a.map_points_h + j) * a.map_planes + k];
}

float row_blended(const GainMapArgs& a, int i0, int i1, float fy, int j, int k) {
    return map_sample(a, i0, j, k) + fy * (map_sample(a, i1, j, k) - map_sample(a, i0, j, k));
}

double corner_extent(double cx, double cy, double w, double h) {
    double extent = 1.0;
    const double xs[4] = {0, w, 0, w}, ys[4] = {0, 0, h, h};
    for (int i = 0; i < 4; ++i) {
        const double d = std::sqrt((cx - xs[i]) * (cx - xs[i]) + (cy - ys[i]) * (cy - ys[i]));
        if (d > extent) extent = d;
    }
    return extent;
}

double cubic_weight(double d) {
    d = std::fabs(d);
    if (d < 1) return d * d * (1.25 * d - 2.25) + 1;
    if (d < 2) return ((3.75 - 0.75 * d) * d - 6) * d + 3;
    return 0;
}

}  // namespace

float reference_gain(const GainMapArgs& a, uint64_t height, uint64_t width, uint64_t r, uint64_t c, int k) {
    const double v = ((r + 0.5) * (1.0 / height) - a.map_origin_v) * (1.0 / a.map_spacing_v);
    int i0, i1;
    float fy = 0.0f;
    if (v <= 0 || std::isnan(v)) {
        i0 = i1 = 0;
    } else if (v >= a.map_points_v - 1) {
        i0 = i1 = a.map_points_v - 1;
    } else {
        i0 = static_cast<int>(std::floor(v));
        i1 = i0 + 1;
        fy = static_cast<float>(v - i0);
    }
    const double u = ((c + 0.5) * (1.0 / width) - a.map_origin_h) * (1.0 / a.map_spacing_h);
    if (u <= 0 || std::isnan(u)) return row_blended(a, i0, i1, fy, 0, k);
    if (u >= a.map_points_h - 1) return row_blended(a, i0, i1, fy, a.map_points_h - 1, k);
    const int j0 = static_cast<int>(std::floor(u));
    const double a0 = row_blended(a, i0, i1, fy, j0, k), a1 = row_blended(a, i0, i1, fy, j0 + 1, k);
    return static_cast<float>(a0 + (u - j0) * (a1 - a0));
}

void reference_gain_map(std::vector<float>& pixels, uint64_t height, uint64_t width, int channels,
                        const GainMapArgs& a, Touched* touched) {
    const int64_t top = a.top > 0 ? a.top : 0, left = a.left > 0 ? a.left : 0;
    const int64_t bottom = a.bottom <= 0 ? static_cast<int64_t>(height) : std::min<int64_t>(a.bottom, height);
    const int64_t right = a.right <= 0 ? static_cast<int64_t>(width) : std::min<int64_t>(a.right, width);
    if (touched) touched->assign(pixels.size(), 0);
    if (top >= bottom || right <= left) return;
    const uint64_t area_width = right - left;
    const uint64_t step = std::min<uint64_t>(static_cast<uint32_t>(a.col_pitch), area_width);
    const int64_t end = std::min<int64_t>(int64_t{a.plane} + a.planes, channels);
    for (int64_t p = a.plane; p < end; ++p) {
        const int k = static_cast<int>(std::min<int64_t>(p, a.map_planes - 1));
        for (int64_t r = top; r < bottom; r += a.row_pitch)
            for (uint64_t offset = 0; offset < area_width; offset += step) {
                const uint64_t c = left + offset;
                const uint64_t at = (r * width + c) * channels + p;
                pixels[at] = limit(pixels[at] * reference_gain(a, height, width, r, c, k), 0.0f, 1.0f);
                if (touched) (*touched)[at] = 1;
            }
    }
}

void reference_flat_gain_map(std::vector<float>& pixels, uint64_t height, uint64_t width, const float* gains,
                             int map_rows, int map_cols) {
    const float inv_h = 1.0f / height, inv_w = 1.0f / width;
    for (uint64_t r = 0; r < height; ++r) {
        const float y = static_cast<float>(r * map_rows) * inv_h;
        int64_t y0 = static_cast<int64_t>(y);
        if (y0 >= map_rows - 1) y0 = map_rows - 2;
        const float fy = y - y0;
        for (uint64_t c = 0; c < width; ++c) {
            const float x = static_cast<float>(c * map_cols) * inv_w;
            int64_t x0 = static_cast<int64_t>(x);
            if (x0 >= map_cols - 1) x0 = map_cols - 2;
            const float fx = x - x0;
            const float* m0 = gains + y0 * map_cols;
            const float* m1 = m0 + map_cols;
            const float upper = m0[x0] * (1 - fx) + m0[x0 + 1] * fx;
            const float diff = (m1[x0] * (1 - fx) - upper) + m1[x0 + 1] * fx;
            pixels[r * width + c] *= upper + fy * diff;
        }
    }
}

float reference_polynomial(float x, const float* c, int degree) {
    float y;
    const bool negative = x < 0;
    if (degree == 0) {
        y = c[0];
    } else if (degree == 1) {
        y = c[1] * x + c[0];
    } else if (degree == 2) {
        y = (c[2] * std::fabs(x) + c[1]) * x + c[0];
    } else if (degree == 3) {
        y = ((c[3] * x + (negative ? -c[2] : c[2])) * x + c[1]) * x + c[0];
    } else if (degree == 4) {
        if (!negative) y = (((c[4] * x + c[3]) * x + c[2]) * x + c[1]) * x + c[0];
        else y = (((c[3] - c[4] * x) * x - c[2]) * x + c[1]) * x + c[0];
    } else {
        const float m = std::fabs(x), m2 = m * m, m3 = m2 * m, m4 = m2 * m2;
        float p = m;
        y = c[0];
        int k = 1;
        for (; k + 3 <= degree; k += 4) {
            const float t = (c[k] * p + c[k + 2] * (p * m2)) + (c[k + 1] * (p * m) + c[k + 3] * (p * m3));
            y = negative ? y - t : y + t;
            p = p * m4;
        }
        for (; k <= degree; ++k) {
            y = negative ? y - c[k] * p : y + c[k] * p;
            p = p * m;
        }
    }
    return limit(y, -1.0f, 1.0f);
}

void reference_map_polynomial(std::vector<float>& pixels, int height, int width, int channels, int top, int left,
                              int bottom, int right, int plane, int planes, int row_pitch, int col_pitch,
                              const float* c, int degree, Touched* touched) {
    if (touched) touched->assign(pixels.size(), 0);
    const int64_t end = std::min<int64_t>(int64_t{plane} + planes, channels);
    const int first_row = (top == 0 && bottom == 0) ? 0 : top;
    const int rows = (top == 0 && bottom == 0) ? height : bottom - top;
    const int first_col = (left == 0 && right == 0) ? 0 : left;
    const int cols = (left == 0 && right == 0) ? width : right - left;
    for (int64_t p = plane; p < end; ++p)
        for (int64_t dr = 0; dr < rows; dr += row_pitch)
            for (int64_t dc = 0; dc < cols; dc += col_pitch) {
                const int64_t at = ((first_row + dr) * width + first_col + dc) * channels + p;
                pixels[at] = reference_polynomial(pixels[at], c, degree);
                if (touched) (*touched)[at] = 1;
            }
}

void reference_vignette(std::vector<float>& pixels, int height, int width, int channels, const double* k,
                        int count, double center_x, double center_y) {
    const double W = width, H = height, cx = center_x * W, cy = center_y * H;
    const double s = 1.0 / corner_extent(cx, cy, W, H);
    const int n = std::min(count, 5);
    for (int i = 0; i < height; ++i) {
        const double dy = (i - cy) * s, dy2 = dy * dy;
        for (int j = 0; j < width; ++j) {
            const double dx = (j - cx) * s, q = dx * dx + dy2;
            double g = k[0] * q + 1, power = q;
            for (int t = 1; t < n; ++t) {
                power *= q;
                g += k[t] * power;
            }
            const float gain = static_cast<float>(g);
            for (int ch = 0; ch < channels; ++ch) {
                float& v = pixels[(static_cast<int64_t>(i) * width + j) * channels + ch];
                v = limit(v * gain, 0.0f, 1.0f);
            }
        }
    }
}

std::vector<float> reference_bicubic_table() {
    std::vector<float> table(32 * 32 * 16);
    for (int a = 0; a < 32; ++a)
        for (int b = 0; b < 32; ++b) {
            const double fy = a / 32.0, fx = b / 32.0;
            const double wy[4] = {cubic_weight(-1 - fy), cubic_weight(fy), cubic_weight(1 - fy), cubic_weight(2 - fy)};
            const double wx[4] = {cubic_weight(-1 - fx), cubic_weight(fx), cubic_weight(1 - fx), cubic_weight(2 - fx)};
            float* e = &table[(a * 32 + b) * 16];
            float sum = 0;
            for (int t = 0; t < 4; ++t)
                for (int u = 0; u < 4; ++u) {
                    e[t * 4 + u] = static_cast<float>(wy[t] * wx[u]);
                    sum += e[t * 4 + u];
                }
            const float inv = 1.0f / sum;
            for (int i = 0; i < 16; ++i) e[i] *= inv;
        }
    return table;
}

void reference_warp(const std::vector<float>& source, std::vector<float>& destination, uint64_t height,
                    uint64_t width, int channels, const double* radial, int coefficient_planes, int radial_count,
                    const double* tangential, double center_x, double center_y, bool bicubic) {
    const std::vector<float> table = bicubic ? reference_bicubic_table() : std::vector<float>();
    const double W = width, H = height, cx = center_x * W, cy = center_y * H;
    const double L = corner_extent(cx, cy, W, H), s = 1.0 / L;
    const int planes = std::min(coefficient_planes, channels);
    auto S = [&](uint64_t r, uint64_t c, int k) { return source[(r * width + c) * channels + k]; };
    for (uint64_t i = 0; i < height; ++i)
        for (uint64_t j = 0; j < width; ++j)
            for (int k = 0; k < planes; ++k) {
                const double dY = i - cy, qy = (dY * s) * (dY * s);
                const double dX = j - cx, qx = (dX * s) * (dX * s);
                double r2 = qx + qy;
                if (!(r2 < 1)) r2 = 1;
                const double* kr = radial + k * radial_count;
                double f = kr[0];
                if (radial_count > 1) f = f + kr[1] * r2;
                if (radial_count > 2) f = f + kr[2] * (r2 * r2);
                if (radial_count > 3) f = f + kr[3] * (r2 * r2 * r2);
                double dy = f * dY, dx = f * dX;
                if (tangential && !(tangential[2 * k] == 0 && tangential[2 * k + 1] == 0)) {
                    const double kt0 = tangential[2 * k], kt1 = tangential[2 * k + 1];
                    const double T = 2 * L * (dY * s) * (dX * s);
                    dy += kt0 * (2 * qy + r2) * L + kt1 * T;
                    dx += kt1 * (2 * qx + r2) * L + kt0 * T;
                }
                const double y = limit(cy + dy, 0.0, H - 1), x = limit(cx + dx, 0.0, W - 1);
                float value;
                if (!bicubic) {
                    const uint64_t x0 = static_cast<uint64_t>(std::floor(x)), y0 = static_cast<uint64_t>(std::floor(y));
                    const uint64_t x1 = std::min<uint64_t>(x0 + 1, width - 1), y1 = std::min<uint64_t>(y0 + 1, height - 1);
                    const double fx = x - x0, fy = y - y0;
                    const double top = S(y0, x1, k) * fx + S(y0, x0, k) * (1 - fx);
                    const double diff = S(y1, x1, k) * fx + ((1 - fx) * S(y1, x0, k) - top);
                    value = static_cast<float>(top + diff * fy);
                } else {
                    auto window = [](double pos, uint64_t size, uint64_t& start, int& index) {
                        const int64_t p0 = static_cast<int64_t>(std::floor(pos));
                        if (p0 >= 1) {
                            start = std::min<int64_t>(p0 - 1, size - 4);
                            index = p0 - 1 > static_cast<int64_t>(size) - 4 ? 0 : static_cast<int>(std::floor((pos - p0) * 32));
                        } else {
                            start = 0;
                            index = 0;
                        }
                    };
                    uint64_t sy, sx;
                    int iy, ix;
                    window(y, height, sy, iy);
                    window(x, width, sx, ix);
                    const float* w = &table[(iy * 32 + ix) * 16];
                    float col[4];
                    for (int u = 0; u < 4; ++u) {
                        float row[4];
                        for (int t = 0; t < 4; ++t) row[t] = S(sy + t, sx + u, k) * w[t * 4 + u];
                        col[u] = (row[0] + row[2]) + (row[3] + row[1]);
                    }
                    value = limit((col[1] + col[3]) + (col[0] + col[2]), 0.0f, 1.0f);
                }
                destination[(i * width + j) * channels + k] = value;
            }
}

}  // namespace lumra_test
