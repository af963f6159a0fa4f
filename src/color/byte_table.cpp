// Table lookups to bytes. 8-bit input: the portable loop reads one table entry per
// element; on x86-64 processors with AVX-512 VBMI the 256-entry table sits in
// four registers and 64 elements are looked up at once by byte permutes (where
// the level allows, simd/isa.h). Both give the same bytes. 16-bit input reads
// its elements two at a time.
#include <bit>
#include <cstring>

#include "color/value_table.h"
#include "simd/isa.h"

namespace lumra {
namespace {

void apply_byte_table_portable(const uint8_t* src, uint8_t* dst, uint64_t count, const uint8_t* table) {
    apply_value_table(src, dst, count, table);
}

#if LUMRA_SIMD_X86
LUMRA_TARGET_AVX512_VBMI void apply_byte_table_vbmi(const uint8_t* src, uint8_t* dst, uint64_t count,
                                                  const uint8_t* table) {
    const __m512i low0 = _mm512_loadu_si512(table), low1 = _mm512_loadu_si512(table + 64);
    const __m512i high0 = _mm512_loadu_si512(table + 128), high1 = _mm512_loadu_si512(table + 192);
    uint64_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const __m512i index = _mm512_loadu_si512(src + i);
        // Each permute picks from 128 entries by the low seven bits; the top bit chooses the half.
        const __m512i low = _mm512_permutex2var_epi8(low0, index, low1);
        const __m512i high = _mm512_permutex2var_epi8(high0, index, high1);
        _mm512_storeu_si512(dst + i, _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high));
    }
    apply_value_table(src + i, dst + i, count - i, table);
}
#endif

}  // namespace

// Each 32-bit read gives two elements, taken apart by a mask and a shift;
// each result is stored as its own byte. (Combining the eight bytes into one word before
// storing made a serial chain and was slower; this function lives out of line
// so that the compiler, not knowing whether table and dst overlap, keeps the
// separate stores.)
void apply_word_to_byte_table(const uint16_t* src, uint8_t* dst, uint64_t count, const uint8_t* table) {
    uint64_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 16 <= count; i += 16) {
            for (int e = 0; e < 16; e += 2) {
                uint32_t two;
                std::memcpy(&two, src + i + e, sizeof two);
                dst[i + e] = table[two & 0xffffu];
                dst[i + e + 1] = table[two >> 16];
            }
        }
    }
    apply_value_table(src + i, dst + i, count - i, table);
}

void apply_byte_table(const uint8_t* src, uint8_t* dst, uint64_t count, const uint8_t* table) {
#if LUMRA_SIMD_X86
    if (simd::runs_avx512_vbmi()) return apply_byte_table_vbmi(src, dst, count, table);
#endif
    apply_byte_table_portable(src, dst, count, table);
}

}  // namespace lumra
