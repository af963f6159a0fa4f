// Edge-directed demosaic of a Bayer mosaic (docs/adaptive-demosaic.md gives
// the method and its exact arithmetic). The part is cut into tiles; each tile
// is copied with a margin of kReach samples into a scratch plane (positions
// outside the whole image mirrored), and the steps run over scratch planes of
// the same geometry, each step over the rectangle the next one reads:
//
//   1. per-pixel vertical and horizontal gradients gv, gh, and the pair
//      weights av, ah of the directional estimates;
//   2. the direction weight wh from 3 x 3 sums of gv and gh;
//   3. the diagonal colour d (green in a camera) at the other sites, and the
//      floored ratios k = sample / d;
//   4. the other non-diagonal colour's ratio q at those sites from the four
//      diagonal neighbours;
//   5. the output: the two missing colours at diagonal-colour sites from the
//      axial neighbours' ratios, and the interleaved three channels.
//
// Every step is branch-free over whole rows (the site kind is a select), so
// the compiler vectorises the loops; the operations and their order are the
// same in every lane and on every instruction set, so the results are too.
#include <bit>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>

#include "raw/raw_kernels.h"
#include "simd/isa.h"

// The scratch planes never overlap within a step: no row loop carries a
// dependence, so the compiler need not version the loops for aliasing.
#if defined(__clang__)
#define LUMRA_INDEPENDENT_ITERATIONS _Pragma("clang loop vectorize(assume_safety)")
#elif defined(__GNUC__)
#define LUMRA_INDEPENDENT_ITERATIONS _Pragma("GCC ivdep")
#else
#define LUMRA_INDEPENDENT_ITERATIONS
#endif

namespace lumra {
namespace {

constexpr int64_t kReach = kAdaptiveDemosaicReach;
constexpr float kEps = 1.0e-5f;
constexpr float kLaplacianWeight = 0.5f;
// Added under both terms of every colour ratio: a ratio where values are
// large against it, a difference where they are small.
constexpr float kRatioFloor = 0.2f;

// a where mask is all ones, b where it is 0: a select on the bits, so the
// compiler need not branch around either operand.
inline float pick(uint32_t mask, float a, float b) {
    return std::bit_cast<float>((std::bit_cast<uint32_t>(a) & mask) | (std::bit_cast<uint32_t>(b) & ~mask));
}

// x < 0 ? +0 : x (so -0 and NaN stay as they are), worked out on the bits:
// the negative values below 0 are the patterns 0x80000001 to 0xff800000.
inline float floor_zero(float x) {
    const uint32_t bits = std::bit_cast<uint32_t>(x);
    const uint32_t keep = bits - 0x80000001u <= 0x7f7fffffu ? 0u : ~uint32_t{0};
    return std::bit_cast<float>(bits & keep);
}

// Every NaN result is stored as the positive quiet NaN: which NaN an
// operation passes on depends on its operands' order, which compilers may
// swap where it does not change the value.
inline float canonical_nan(float x) {
    const uint32_t bits = std::bit_cast<uint32_t>(x);
    return std::bit_cast<float>((bits & 0x7fffffffu) > 0x7f800000u ? 0x7fc00000u : bits);
}

// Output tile; with its margins, the nine scratch planes take about 0.6 MB.
constexpr int64_t kTileRows = 48, kTileCols = 256;

// Mirror without repeating the edge sample: -1 -> 1, n -> n - 2. The period
// 2 (n - 1) is even, so a mirrored site keeps its colour.
int64_t mirror(int64_t i, int64_t n) {
    if (n == 1) return 0;
    const int64_t period = 2 * (n - 1);
    int64_t m = i % period;
    if (m < 0) m += period;
    return m < n ? m : period - m;
}

struct Planes {
    int64_t rows = 0, cols = 0;  // tile plus margins
    float* s = nullptr;          // mosaic samples
    float *gv = nullptr, *gh = nullptr, *av = nullptr, *ah = nullptr, *wh = nullptr;
    float *d = nullptr, *k = nullptr, *q = nullptr;
    float* channel[3] = {};  // one output row per channel
    uint32_t* parity = nullptr;  // all ones, 0, all ones, 0, ... (cols + 1 entries)
};

// One tile's steps; `first_diagonal` is 1 when the diagonal colour sits at
// the tile's scratch position (0, 0), else 0. Rows and columns of the tile
// proper are [kReach, rows - kReach) and [kReach, cols - kReach).
LUMRA_SHARED_BODY void tile_steps(const Planes& p, int64_t first_diagonal) {
    const int64_t n = p.cols, rows = p.rows, cols = p.cols;
    const float* s = p.s;
    using std::fabs;

    // Step 1: gradients on [2, rows - 2) x [2, cols - 2); pair weights on
    // [3, rows - 3) x [3, cols - 3).
    for (int64_t i = 2; i < rows - 2; ++i) {
        const float* m2 = s + (i - 2) * n;
        const float* m1 = s + (i - 1) * n;
        const float* c0 = s + i * n;
        const float* p1 = s + (i + 1) * n;
        const float* p2 = s + (i + 2) * n;
        float* gv = p.gv + i * n;
        float* gh = p.gh + i * n;
        LUMRA_INDEPENDENT_ITERATIONS
        for (int64_t j = 2; j < cols - 2; ++j) {
            const float twice = c0[j] + c0[j];
            gv[j] = fabs(m1[j] - p1[j]) + fabs((m2[j] + p2[j]) - twice);
            gh[j] = fabs(c0[j - 1] - c0[j + 1]) + fabs((c0[j - 2] + c0[j + 2]) - twice);
        }
    }
    for (int64_t i = 3; i < rows - 3; ++i) {
        const float* m3 = s + (i - 3) * n;
        const float* m2 = s + (i - 2) * n;
        const float* m1 = s + (i - 1) * n;
        const float* c0 = s + i * n;
        const float* p1 = s + (i + 1) * n;
        const float* p2 = s + (i + 2) * n;
        const float* p3 = s + (i + 3) * n;
        float* av = p.av + i * n;
        float* ah = p.ah + i * n;
        LUMRA_INDEPENDENT_ITERATIONS
        for (int64_t j = 3; j < cols - 3; ++j) {
            const float across_v = fabs(m1[j] - p1[j]);
            const float north = ((kEps + across_v) + fabs(c0[j] - m2[j])) + fabs(m1[j] - m3[j]);
            const float south = ((kEps + across_v) + fabs(c0[j] - p2[j])) + fabs(p1[j] - p3[j]);
            av[j] = north / (north + south);
            const float across_h = fabs(c0[j - 1] - c0[j + 1]);
            const float west = ((kEps + across_h) + fabs(c0[j] - c0[j - 2])) + fabs(c0[j - 1] - c0[j - 3]);
            const float east = ((kEps + across_h) + fabs(c0[j] - c0[j + 2])) + fabs(c0[j + 1] - c0[j + 3]);
            ah[j] = west / (west + east);
        }
    }
    // Step 2: direction weight on [3, rows - 3) x [3, cols - 3).
    for (int64_t i = 3; i < rows - 3; ++i) {
        const float* vm = p.gv + (i - 1) * n;
        const float* vc = p.gv + i * n;
        const float* vp = p.gv + (i + 1) * n;
        const float* hm = p.gh + (i - 1) * n;
        const float* hc = p.gh + i * n;
        const float* hp = p.gh + (i + 1) * n;
        float* wh = p.wh + i * n;
        LUMRA_INDEPENDENT_ITERATIONS
        for (int64_t j = 3; j < cols - 3; ++j) {
            const float v = (((vm[j - 1] + vm[j]) + vm[j + 1]) + ((vc[j - 1] + vc[j]) + vc[j + 1])) +
                            ((vp[j - 1] + vp[j]) + vp[j + 1]);
            const float h = (((hm[j - 1] + hm[j]) + hm[j + 1]) + ((hc[j - 1] + hc[j]) + hc[j + 1])) +
                            ((hp[j - 1] + hp[j]) + hp[j + 1]);
            const float vs = v + kEps, hs = h + kEps;
            wh[j] = vs / (vs + hs);
        }
    }
    // Step 3: diagonal colour and own ratios on [3, rows - 3) x [3, cols - 3).
    for (int64_t i = 3; i < rows - 3; ++i) {
        const float* m2 = s + (i - 2) * n;
        const float* m1 = s + (i - 1) * n;
        const float* c0 = s + i * n;
        const float* p1 = s + (i + 1) * n;
        const float* p2 = s + (i + 2) * n;
        const float* av = p.av + i * n;
        const float* ah = p.ah + i * n;
        const float* wh = p.wh + i * n;
        const uint32_t* on_diagonal = p.parity + ((i + first_diagonal + 1) & 1);
        float* d = p.d + i * n;
        float* k = p.k + i * n;
        LUMRA_INDEPENDENT_ITERATIONS
        for (int64_t j = 3; j < cols - 3; ++j) {
            const float north = m1[j] + (c0[j] - m2[j]) * kLaplacianWeight;
            const float south = p1[j] + (c0[j] - p2[j]) * kLaplacianWeight;
            const float west = c0[j - 1] + (c0[j] - c0[j - 2]) * kLaplacianWeight;
            const float east = c0[j + 1] + (c0[j] - c0[j + 2]) * kLaplacianWeight;
            const float vertical = north + (south - north) * av[j];
            const float horizontal = west + (east - west) * ah[j];
            const float estimate = vertical + (horizontal - vertical) * wh[j];
            const float own = c0[j];
            const float value = pick(on_diagonal[j], own, estimate);
            d[j] = value;
            k[j] = (floor_zero(c0[j]) + kRatioFloor) / (floor_zero(value) + kRatioFloor);
        }
    }
    // Step 4: the other colour's ratio on [4, rows - 4) x [4, cols - 4).
    for (int64_t i = 4; i < rows - 4; ++i) {
        const float* m3 = s + (i - 3) * n;
        const float* m2 = s + (i - 2) * n;
        const float* m1 = s + (i - 1) * n;
        const float* c0 = s + i * n;
        const float* p1 = s + (i + 1) * n;
        const float* p2 = s + (i + 2) * n;
        const float* p3 = s + (i + 3) * n;
        const float* km = p.k + (i - 1) * n;
        const float* kp = p.k + (i + 1) * n;
        float* q = p.q + i * n;
        LUMRA_INDEPENDENT_ITERATIONS
        for (int64_t j = 4; j < cols - 4; ++j) {
            const float across_p = fabs(m1[j - 1] - p1[j + 1]);
            const float nw = ((kEps + across_p) + fabs(c0[j] - m2[j - 2])) + fabs(m1[j - 1] - m3[j - 3]);
            const float se = ((kEps + across_p) + fabs(c0[j] - p2[j + 2])) + fabs(p1[j + 1] - p3[j + 3]);
            const float across_q = fabs(m1[j + 1] - p1[j - 1]);
            const float ne = ((kEps + across_q) + fabs(c0[j] - m2[j + 2])) + fabs(m1[j + 1] - m3[j + 3]);
            const float sw = ((kEps + across_q) + fabs(c0[j] - p2[j - 2])) + fabs(p1[j - 1] - p3[j - 3]);
            const float along_p = km[j - 1] + (kp[j + 1] - km[j - 1]) * (nw / (nw + se));
            const float along_q = km[j + 1] + (kp[j - 1] - km[j + 1]) * (ne / (ne + sw));
            const float spread_p = nw + se, spread_q = ne + sw;
            q[j] = along_p + (along_q - along_p) * (spread_p / (spread_p + spread_q));
        }
    }
}

// Step 5 for scratch row i of the tile proper: the three colours into planar
// rows (`own` is the colour of the row's non-diagonal sites, `across` that of
// the rows above and below), then interleaved into `out`, the row's first
// output pixel.
struct RowColours {
    int32_t diagonal, own, across;
};

LUMRA_SHARED_BODY void output_row(const Planes& p, int64_t first_diagonal, int64_t i, const RowColours& colours,
                                  float* out) {
    const int64_t n = p.cols, cols = p.cols;
    const float* c0 = p.s + i * n;
    const float* d = p.d + i * n;
    const float* km = p.k + (i - 1) * n;
    const float* kc = p.k + i * n;
    const float* kp = p.k + (i + 1) * n;
    const float* qm = p.q + (i - 1) * n;
    const float* qc = p.q + i * n;
    const float* qp = p.q + (i + 1) * n;
    const float* av = p.av + i * n;
    const float* ah = p.ah + i * n;
    const float* wh = p.wh + i * n;
    const uint32_t* on_diagonal = p.parity + ((i + first_diagonal + 1) & 1);
    float* diagonal_channel = p.channel[colours.diagonal];
    float* own_channel = p.channel[colours.own];
    float* across_channel = p.channel[colours.across];
    LUMRA_INDEPENDENT_ITERATIONS
    for (int64_t j = kReach; j < cols - kReach; ++j) {
        const float row_vertical = qm[j] + (qp[j] - qm[j]) * av[j];
        const float row_horizontal = kc[j - 1] + (kc[j + 1] - kc[j - 1]) * ah[j];
        const float row_ratio = row_vertical + (row_horizontal - row_vertical) * wh[j];
        const float column_vertical = km[j] + (kp[j] - km[j]) * av[j];
        const float column_horizontal = qc[j - 1] + (qc[j + 1] - qc[j - 1]) * ah[j];
        const float column_ratio = column_vertical + (column_horizontal - column_vertical) * wh[j];
        const float own = c0[j];
        const float own_scale = floor_zero(own) + kRatioFloor;
        const float estimate_scale = floor_zero(d[j]) + kRatioFloor;
        const float row_colour = own + own_scale * (row_ratio - 1.0f);
        const float column_colour = own + own_scale * (column_ratio - 1.0f);
        const float other_colour = d[j] + estimate_scale * (qc[j] - 1.0f);
        diagonal_channel[j] = d[j];
        own_channel[j] = pick(on_diagonal[j], row_colour, own);
        across_channel[j] = pick(on_diagonal[j], column_colour, other_colour);
    }
    const float* c0_row = p.channel[0] + kReach;
    const float* c1_row = p.channel[1] + kReach;
    const float* c2_row = p.channel[2] + kReach;
    const int64_t width = cols - 2 * kReach;
    LUMRA_INDEPENDENT_ITERATIONS
    for (int64_t j = 0; j < width; ++j) {
        out[j * 3] = canonical_nan(c0_row[j]);
        out[j * 3 + 1] = canonical_nan(c1_row[j]);
        out[j * 3 + 2] = canonical_nan(c2_row[j]);
    }
}

// One tile, baseline instruction set.
void tile_baseline(const Planes& p, int64_t first_diagonal, int64_t i, const RowColours& colours, float* out) {
    if (i < 0)
        tile_steps(p, first_diagonal);
    else
        output_row(p, first_diagonal, i, colours, out);
}

#if LUMRA_SIMD_X86
// The same operations compiled for AVX2 (no fused multiply-add: contraction
// is off for the whole library).
LUMRA_TARGET_AVX2 void tile_avx2(const Planes& p, int64_t first_diagonal, int64_t i, const RowColours& colours,
                                 float* out) {
    if (i < 0)
        tile_steps(p, first_diagonal);
    else
        output_row(p, first_diagonal, i, colours, out);
}
#endif

#if LUMRA_SIMD_X86
// And for AVX-512, vectorised 16 lanes wide (both compilers otherwise prefer
// 256-bit vectors there): about an eighth faster than AVX2.
#if defined(__clang__)
#define LUMRA_ADAPTIVE_AVX512 __attribute__((target(LUMRA_ISA_AVX512), min_vector_width(512)))
#else
#define LUMRA_ADAPTIVE_AVX512 __attribute__((target(LUMRA_ISA_AVX512 ",prefer-vector-width=512")))
#endif
LUMRA_ADAPTIVE_AVX512 void tile_avx512(const Planes& p, int64_t first_diagonal, int64_t i, const RowColours& colours,
                                       float* out) {
    if (i < 0)
        tile_steps(p, first_diagonal);
    else
        output_row(p, first_diagonal, i, colours, out);
}
#endif

// Steps 1 to 4 of a tile when i < 0, step 5 of its scratch row i otherwise.
using TileFunction = void (*)(const Planes&, int64_t, int64_t, const RowColours&, float*);

// The widest path the level in use allows.
TileFunction choose_tile_function() {
#if LUMRA_SIMD_X86
    if (simd::runs(simd::Level::avx512)) return tile_avx512;
    if (simd::runs(simd::Level::avx2)) return tile_avx2;
#endif
    return tile_baseline;
}

// The colour of the non-diagonal site in pattern row `row_parity`.
int32_t other_colour(const int32_t* pattern, int64_t row_parity, int32_t diagonal) {
    const int32_t a = pattern[row_parity * 2], b = pattern[row_parity * 2 + 1];
    return a == diagonal ? b : a;
}

}  // namespace

LumraStatus adaptive_demosaic_kernel(const AdaptiveDemosaicArea& area, const int32_t* cfa_pattern) noexcept {
    const int64_t part_rows = static_cast<int64_t>(area.dst_height), part_cols = static_cast<int64_t>(area.dst_width);
    if (part_rows == 0 || part_cols == 0) return LUMRA_OK;
    const int64_t full_rows = static_cast<int64_t>(area.full_height);
    const int64_t full_cols = static_cast<int64_t>(area.full_width);
    const int64_t tile_rows = part_rows < kTileRows ? part_rows : kTileRows;
    const int64_t tile_cols = part_cols < kTileCols ? part_cols : kTileCols;
    const int64_t max_rows = tile_rows + 2 * kReach, max_cols = tile_cols + 2 * kReach;
    const int64_t plane = max_rows * max_cols;
    constexpr int64_t kPlanes = 9;
    const int64_t floats = kPlanes * plane + 3 * max_cols;
    std::unique_ptr<float[]> scratch(new (std::nothrow) float[static_cast<size_t>(floats)]);
    std::unique_ptr<int64_t[]> column_map(new (std::nothrow) int64_t[static_cast<size_t>(max_cols)]);
    std::unique_ptr<uint32_t[]> parity(new (std::nothrow) uint32_t[static_cast<size_t>(max_cols + 1)]);
    if (!scratch || !column_map || !parity) return LUMRA_ERR_INVALID_ARGUMENT;

    Planes p;
    float* next = scratch.get();
    for (float** plane_pointer : {&p.s, &p.gv, &p.gh, &p.av, &p.ah, &p.wh, &p.d, &p.k, &p.q}) {
        *plane_pointer = next;
        next += plane;
    }
    for (int k = 0; k < 3; ++k) p.channel[k] = next + k * max_cols;
    p.parity = parity.get();
    for (int64_t j = 0; j <= max_cols; ++j) p.parity[j] = (j & 1) == 0 ? ~uint32_t{0} : 0u;

    // The diagonal colour and whether it sits on sites with even row + column.
    const bool main_diagonal = cfa_pattern[0] == cfa_pattern[3];
    const int32_t diagonal = main_diagonal ? cfa_pattern[0] : cfa_pattern[1];
    const int32_t row_colour[2] = {other_colour(cfa_pattern, 0, diagonal), other_colour(cfa_pattern, 1, diagonal)};
    const TileFunction run = choose_tile_function();

    const int64_t src_top = static_cast<int64_t>(area.src_top), src_left = static_cast<int64_t>(area.src_left);
    const int64_t src_cols = static_cast<int64_t>(area.src_width);
    const int64_t dst_top = static_cast<int64_t>(area.dst_top), dst_left = static_cast<int64_t>(area.dst_left);
    for (int64_t r0 = 0; r0 < part_rows; r0 += tile_rows) {
        const int64_t th = part_rows - r0 < tile_rows ? part_rows - r0 : tile_rows;
        for (int64_t c0 = 0; c0 < part_cols; c0 += tile_cols) {
            const int64_t tw = part_cols - c0 < tile_cols ? part_cols - c0 : tile_cols;
            p.rows = th + 2 * kReach;
            p.cols = tw + 2 * kReach;
            // Whole-image position of scratch (0, 0).
            const int64_t top = dst_top + r0 - kReach, left = dst_left + c0 - kReach;
            bool contiguous = true;
            for (int64_t j = 0; j < p.cols; ++j) {
                column_map[j] = mirror(left + j, full_cols) - src_left;
                contiguous = contiguous && column_map[j] == column_map[0] + j;
            }
            for (int64_t i = 0; i < p.rows; ++i) {
                const float* from = area.src + (mirror(top + i, full_rows) - src_top) * src_cols;
                float* to = p.s + i * p.cols;
                if (contiguous) {
                    std::memcpy(to, from + column_map[0], static_cast<size_t>(p.cols) * sizeof(float));
                } else {
                    LUMRA_INDEPENDENT_ITERATIONS
                    for (int64_t j = 0; j < p.cols; ++j) to[j] = from[column_map[j]];
                }
            }
            const int64_t whole_parity = (top + left) & 1;
            const int64_t first_diagonal = (whole_parity == 0) == main_diagonal ? 1 : 0;
            run(p, first_diagonal, -1, RowColours{}, nullptr);
            for (int64_t i = kReach; i < p.rows - kReach; ++i) {
                const int64_t whole_row = top + i;
                const RowColours colours{diagonal, row_colour[whole_row & 1], row_colour[(whole_row & 1) ^ 1]};
                run(p, first_diagonal, i, colours, area.dst + ((r0 + i - kReach) * part_cols + c0) * 3);
            }
        }
    }
    return LUMRA_OK;
}

}  // namespace lumra
