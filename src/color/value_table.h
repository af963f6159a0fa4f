// Results that depend only on an integer element's value can be computed once
// per value and then looked up, with exactly the same outcome. Worth it only
// when the elements far outnumber the values.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <limits>

namespace lumra {

template <typename In, typename Out>
inline void apply_value_table(const In* src, Out* dst, uint64_t count, const Out* table) {
    for (uint64_t i = 0; i < count; ++i) dst[i] = table[src[i]];
}

// 8-bit to 8-bit through a 256-entry table: AVX-512 VBMI byte permutes where
// the level allows them (simd/isa.h), the plain loop otherwise.
void apply_byte_table(const uint8_t* src, uint8_t* dst, uint64_t count, const uint8_t* table);

// 16-bit to 8-bit through a 65536-entry table, two elements per read
// (same bytes as apply_value_table).
void apply_word_to_byte_table(const uint16_t* src, uint8_t* dst, uint64_t count, const uint8_t* table);

template <typename In>
constexpr uint32_t kValueCount = uint32_t{std::numeric_limits<In>::max()} + 1;

// Calls use(table) with table[v] = value_of(v) for every value of In and
// returns true. 8-bit tables live on the stack; 16-bit tables are allocated
// and freed before returning. Returns false without calling use when the
// allocation fails.
template <typename In, typename T, typename ValueOf, typename Use>
inline bool with_value_table(ValueOf value_of, Use use) {
    constexpr uint32_t kValues = kValueCount<In>;
    if constexpr (kValues <= 256) {
        T table[kValues];
        for (uint32_t v = 0; v < kValues; ++v) table[v] = value_of(static_cast<In>(v));
        use(static_cast<const T*>(table));
    } else {
        T* table = static_cast<T*>(std::malloc(kValues * sizeof(T)));
        if (table == nullptr) return false;
        for (uint32_t v = 0; v < kValues; ++v) table[v] = value_of(static_cast<In>(v));
        use(static_cast<const T*>(table));
        std::free(table);
    }
    return true;
}

// Applies value_of to count elements through such a table (8-bit to 8-bit
// with apply_byte_table), used for counts of at least the table size (8-bit)
// or four times it (16-bit). Returns false (and writes nothing) when the
// table is not used.
template <typename In, typename Out, typename ValueOf>
inline bool apply_through_value_table(const In* src, Out* dst, uint64_t count, ValueOf value_of) {
    constexpr uint64_t kValues = kValueCount<In>;
    if (count < (kValues <= 256 ? kValues : 4 * kValues)) return false;
    return with_value_table<In, Out>(value_of, [&](const Out* table) {
        if constexpr (sizeof(In) == 1 && sizeof(Out) == 1) apply_byte_table(src, dst, count, table);
        else if constexpr (sizeof(In) == 2 && sizeof(Out) == 1) apply_word_to_byte_table(src, dst, count, table);
        else apply_value_table(src, dst, count, table);
    });
}

}  // namespace lumra
