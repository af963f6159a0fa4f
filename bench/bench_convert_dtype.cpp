// Element conversion on a 6000 x 4000 image, each pair beside memcpy of the
// larger of its two buffers. Arguments: channels, in_bits, out_bits, ceiling
// (default depths and no ceiling for the nine pairs; a few cases that leave
// the exact-copy and whole-number forms for the general blocks).
#include <cstdint>
#include <vector>

#include "bench_main.h"
#include "bench_support.h"
#include "lumra.h"

namespace {

constexpr uint64_t kHeight = 4000, kWidth = 6000;

template <typename T>
constexpr LumraDType dtype_of() {
    if constexpr (sizeof(T) == 1) return LUMRA_DTYPE_UINT8;
    else if constexpr (sizeof(T) == 2) return LUMRA_DTYPE_UINT16;
    else return LUMRA_DTYPE_FLOAT32;
}

template <typename In, typename Out>
void BM_convert(benchmark::State& state) {
    const uint64_t channels = static_cast<uint64_t>(state.range(0));
    const auto in_bits = static_cast<int32_t>(state.range(1)), out_bits = static_cast<int32_t>(state.range(2));
    const auto ceiling = static_cast<float>(state.range(3));
    const uint64_t count = kHeight * kWidth * channels;
    std::vector<In> src(count);
    std::vector<Out> dst(count);
    for (uint64_t i = 0; i < count; ++i) {
        if constexpr (sizeof(In) == 4) src[i] = static_cast<In>((i % 1000) * 0.001f);
        else src[i] = static_cast<In>(i * 2654435761u >> 7);
    }
    LumraImage s{src.data(), kHeight, kWidth, channels, dtype_of<In>(), 0};
    LumraImage d{dst.data(), kHeight, kWidth, channels, dtype_of<Out>(), 0};
    const size_t larger = count * (sizeof(In) > sizeof(Out) ? sizeof(In) : sizeof(Out));
    lumra_bench::run_beside_memcpy(state, larger, [&] { lumra_convert_dtype(&s, &d, in_bits, out_bits, ceiling); });
}

#define LUMRA_CONVERT_CASES(In, Out) \
    BENCHMARK_TEMPLATE(BM_convert, In, Out)->UseManualTime()->Unit(benchmark::kMillisecond)
#define LUMRA_CONVERT_BENCH(In, Out) LUMRA_CONVERT_CASES(In, Out)->Args({3, 0, 0, -1})

LUMRA_CONVERT_BENCH(uint8_t, uint8_t);
LUMRA_CONVERT_BENCH(uint8_t, uint16_t);
LUMRA_CONVERT_BENCH(uint8_t, float);
LUMRA_CONVERT_BENCH(uint16_t, uint8_t);
LUMRA_CONVERT_BENCH(uint16_t, uint16_t);
LUMRA_CONVERT_BENCH(uint16_t, float)->Args({1, 0, 0, -1});
LUMRA_CONVERT_BENCH(float, uint8_t);
LUMRA_CONVERT_BENCH(float, uint16_t);
LUMRA_CONVERT_BENCH(float, float);
LUMRA_CONVERT_CASES(uint8_t, uint8_t)->Args({3, 0, 0, 200});
LUMRA_CONVERT_CASES(uint16_t, uint16_t)->Args({3, 12, 0, -1});
LUMRA_CONVERT_CASES(uint8_t, uint16_t)->Args({3, 0, 12, -1});

}  // namespace

LUMRA_BENCH_MAIN()
