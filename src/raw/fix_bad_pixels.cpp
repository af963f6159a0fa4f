// Repair of marked sites in a one-channel 16-bit mosaic. Marked sites are
// rare, so the scan that finds them is the cost: it compares blocks of
// elements against the marker and only a block with a hit is walked element by
// element. Repairs happen in scan order (row by row, left to right) and read
// their neighbours from src at that moment, so when src and dst are one
// buffer a site repaired earlier serves the sites after it.
//
// The kernel runs on a part of the image (the whole image, a band or a tile)
// with a source window around it; classes and borders follow whole-image rows
// and columns.
#include "common/numeric.h"
#include "raw/raw_kernels.h"

namespace lumra {
namespace {

// The part and its source window. Rows and columns are whole-image ones; the
// window's element of row r, column c is src[(r - window.top) x window.width +
// (c - window.left)], the part's likewise in dst.
struct Mosaic {
    const uint16_t* src;
    PartPlace window;
    uint16_t* dst;
    PartPlace part;
    uint64_t full_height, full_width;
    uint16_t bad_value;
    uint32_t bayer_phase;
};

// Site (r, c) is of the diagonal class when r + c + phase + floor(phase / 2)
// is even. Only the parity matters, so unsigned wrap-around is harmless.
bool is_diagonal_class(uint64_t r, uint64_t c, uint32_t phase) { return ((r + c + phase + (phase >> 1)) & 1u) == 0; }

void repair_site(const Mosaic& m, uint64_t r, uint64_t c) {
    static constexpr int kDiagonal[4][2] = {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}};
    static constexpr int kAxial[4][2] = {{-2, 0}, {2, 0}, {0, -2}, {0, 2}};
    const auto& offsets = is_diagonal_class(r, c, m.bayer_phase) ? kDiagonal : kAxial;
    uint32_t sum = 0, count = 0;
    for (const auto& offset : offsets) {
        // Unsigned wrap-around takes a position before row or column 0 out of range.
        const uint64_t nr = r + static_cast<uint64_t>(int64_t{offset[0]});
        const uint64_t nc = c + static_cast<uint64_t>(int64_t{offset[1]});
        if (nr >= m.full_height || nc >= m.full_width) continue;
        const uint16_t value = m.src[(nr - m.window.top) * m.window.width + (nc - m.window.left)];
        if (value == m.bad_value) continue;
        sum += value;
        ++count;
    }
    if (count != 0)
        m.dst[(r - m.part.top) * m.part.width + (c - m.part.left)] = static_cast<uint16_t>((sum + count / 2) / count);
}

// Repairs the marked sites among the part's columns [begin, end) of row r
// (`row` is the source of the part's first column).
void scan_elements(const Mosaic& m, const uint16_t* row, uint64_t r, uint64_t begin, uint64_t end) {
    for (uint64_t j = begin; j < end; ++j)
        if (row[j] == m.bad_value) repair_site(m, r, m.part.left + j);
}

void scan_row(const Mosaic& m, uint64_t r) {
    uint64_t j = 0;
    const uint64_t width = m.part.width;
    const uint16_t* row = m.src + (r - m.window.top) * m.window.width + (m.part.left - m.window.left);
    // Repairs read up to two rows ahead; fetching that row while scanning this
    // one keeps those reads from stalling on memory. (Prefetching never
    // faults, but the address is kept inside the window all the same.)
    const uint64_t window_bottom = m.window.top + m.window.height;
    const uint16_t* ahead = r + 2 < window_bottom ? row + 2 * m.window.width : row;
#if LUMRA_SIMD_X86
    // A hit is judged on the block read before any repair in it; a repair
    // writes only its own site, which the scan has already judged.
    const __m128i marker = _mm_set1_epi16(static_cast<short>(m.bad_value));
    constexpr uint64_t kBlock = 32;
    for (; j + kBlock <= width; j += kBlock) {
        const auto hits = [&](uint64_t at) {
            return _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + at)), marker);
        };
        __builtin_prefetch(ahead + j);
        const __m128i any = _mm_or_si128(_mm_or_si128(hits(j), hits(j + 8)), _mm_or_si128(hits(j + 16), hits(j + 24)));
        if (_mm_movemask_epi8(any) != 0) scan_elements(m, row, r, j, j + kBlock);
    }
#else
    for (uint64_t p = 0; p < width; p += 32) __builtin_prefetch(ahead + p);
#endif
    scan_elements(m, row, r, j, width);
}

}  // namespace

void fix_bad_pixels_constant_impl(const uint16_t* src, const PartPlace& window, uint16_t* dst, const PartPlace& part,
                                  uint64_t full_height, uint64_t full_width, uint16_t bad_value,
                                  uint32_t bayer_phase) noexcept {
    const Mosaic m{src, window, dst, part, full_height, full_width, bad_value, bayer_phase};
    for (uint64_t r = part.top; r < part.top + part.height; ++r) scan_row(m, r);
}

}  // namespace lumra
