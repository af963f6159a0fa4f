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

// 8-bit to 8-bit through a 256-entry table, with the fastest routine the
// processor offers (chosen once); portable_only forces the plain loop.
void apply_byte_table(const uint8_t* src, uint8_t* dst, uint64_t count, const uint8_t* table,
                      bool portable_only = false);

// Fills a table with value_of(v) for every value of In and applies it to count
// elements. 8-bit tables live on the stack; 16-bit tables are allocated and
// used only for counts of at least four times the table. Returns false (and
// writes nothing) when the table is not used.
template <typename In, typename Out, typename ValueOf>
inline bool apply_through_value_table(const In* src, Out* dst, uint64_t count, ValueOf value_of) {
    constexpr uint32_t kValues = uint32_t{std::numeric_limits<In>::max()} + 1;
    if constexpr (kValues <= 256) {
        if (count < kValues) return false;
        Out table[kValues];
        for (uint32_t v = 0; v < kValues; ++v) table[v] = value_of(static_cast<In>(v));
        if constexpr (sizeof(Out) == 1) apply_byte_table(src, dst, count, table);
        else apply_value_table(src, dst, count, table);
        return true;
    } else {
        if (count < 4 * uint64_t{kValues}) return false;
        Out* table = static_cast<Out*>(std::malloc(kValues * sizeof(Out)));
        if (table == nullptr) return false;
        for (uint32_t v = 0; v < kValues; ++v) table[v] = value_of(static_cast<In>(v));
        apply_value_table(src, dst, count, table);
        std::free(table);
        return true;
    }
}

}  // namespace lumra
