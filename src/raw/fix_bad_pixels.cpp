// Repair of marked sites in a one-channel 16-bit mosaic. Marked sites are
// rare, so the scan that finds them is the cost: it compares blocks of
// elements against the marker and only a block with a hit is walked element by
// element. Repairs happen in scan order (row by row, left to right) and read
// their neighbours from src at that moment, so when src and dst are one
// buffer a site repaired earlier serves the sites after it.
#include "raw/lanes.h"
#include "raw/raw_kernels.h"

namespace lumra {
namespace {

struct Mosaic {
    const uint16_t* src;
    uint16_t* dst;
    uint64_t height, width;
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
        if (nr >= m.height || nc >= m.width) continue;
        const uint16_t value = m.src[nr * m.width + nc];
        if (value == m.bad_value) continue;
        sum += value;
        ++count;
    }
    if (count != 0) m.dst[r * m.width + c] = static_cast<uint16_t>((sum + count / 2) / count);
}

// Repairs the marked sites among elements [begin, end) of row r.
void scan_elements(const Mosaic& m, uint64_t r, uint64_t begin, uint64_t end) {
    const uint16_t* row = m.src + r * m.width;
    for (uint64_t c = begin; c < end; ++c)
        if (row[c] == m.bad_value) repair_site(m, r, c);
}

void scan_row(const Mosaic& m, uint64_t r) {
    uint64_t c = 0;
    const uint16_t* row = m.src + r * m.width;
    // Repairs read up to two rows ahead; fetching that row while scanning this
    // one keeps those reads from stalling on memory.
    const uint16_t* ahead = r + 2 < m.height ? row + 2 * m.width : row;
#if defined(LUMRA_RAW_SSE2)
    // A hit is judged on the block read before any repair in it; a repair
    // writes only its own site, which the scan has already judged.
    const __m128i marker = _mm_set1_epi16(static_cast<short>(m.bad_value));
    constexpr uint64_t kBlock = 32;
    for (; c + kBlock <= m.width; c += kBlock) {
        const auto hits = [&](uint64_t at) {
            return _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + at)), marker);
        };
        __builtin_prefetch(ahead + c);
        const __m128i any = _mm_or_si128(_mm_or_si128(hits(c), hits(c + 8)), _mm_or_si128(hits(c + 16), hits(c + 24)));
        if (_mm_movemask_epi8(any) != 0) scan_elements(m, r, c, c + kBlock);
    }
#else
    for (uint64_t p = 0; p < m.width; p += 32) __builtin_prefetch(ahead + p);
#endif
    scan_elements(m, r, c, m.width);
}

}  // namespace

void fix_bad_pixels_constant_impl(const uint16_t* src, uint16_t* dst, uint64_t height, uint64_t width,
                                  uint16_t bad_value, uint32_t bayer_phase) noexcept {
    const Mosaic m{src, dst, height, width, bad_value, bayer_phase};
    for (uint64_t r = 0; r < height; ++r) scan_row(m, r);
}

}  // namespace lumra
