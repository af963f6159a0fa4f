// Raw preparation on a 6000 x 4000 mosaic, each case beside memcpy of the
// larger of its buffers (for the in-place repair, the mosaic itself).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "bench_main.h"
#include "bench_support.h"
#include "lumra.h"
#include "raw/raw_kernels.h"

namespace {

constexpr uint64_t kHeight = 4000, kWidth = 6000;

std::vector<uint16_t> mosaic16(uint64_t count) {
    std::vector<uint16_t> v(count);
    for (uint64_t i = 0; i < count; ++i) v[i] = static_cast<uint16_t>(512 + (i * 2654435761u >> 9) % 15000);
    return v;
}

// samples 1: 2 x 2 black tile; samples 3: 1 x 1 tile; tables: 2 x 2 tile
// with column and row deltas and a 4096-entry linearisation table.
void BM_normalize(benchmark::State& state, int32_t samples, bool tables) {
    const uint64_t count = kHeight * kWidth * static_cast<uint64_t>(samples);
    const std::vector<uint16_t> src = mosaic16(count);
    std::vector<float> dst(count);
    LumraImage s{
        const_cast<uint16_t*>(src.data()), kHeight, kWidth, static_cast<uint64_t>(samples), LUMRA_DTYPE_UINT16, 0};
    LumraImage d{dst.data(), kHeight, kWidth, static_cast<uint64_t>(samples), LUMRA_DTYPE_FLOAT32, 0};
    const int32_t tile = samples == 1 ? 2 : 1;
    const std::vector<float> black{512.0f, 514.0f, 511.0f, 513.0f}, white{15800.0f, 16000.0f, 15900.0f};
    std::vector<float> delta_h(kWidth), delta_v(kHeight);
    for (size_t i = 0; i < delta_h.size(); ++i) delta_h[i] = static_cast<float>(i % 7) * 0.5f;
    for (size_t i = 0; i < delta_v.size(); ++i) delta_v[i] = static_cast<float>(i % 5) * 0.25f;
    std::vector<uint16_t> table(4096);
    for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint16_t>(i * 4);
    lumra_bench::run_beside_memcpy(state, count * sizeof(float), [&] {
        lumra_normalize_raw(&s, &d, black.data(), tile, tile, samples, white.data(), samples,
                            tables ? delta_h.data() : nullptr, tables ? static_cast<int32_t>(kWidth) : 0,
                            tables ? delta_v.data() : nullptr, tables ? static_cast<int32_t>(kHeight) : 0,
                            tables ? table.data() : nullptr, tables ? 4096 : 0);
    });
}

void BM_bilinear_demosaic(benchmark::State& state) {
    std::vector<float> src(kHeight * kWidth), dst(kHeight * kWidth * 3);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<float>(i % 1000) * 0.001f;
    LumraImage s{src.data(), kHeight, kWidth, 1, LUMRA_DTYPE_FLOAT32, 0};
    LumraImage d{dst.data(), kHeight, kWidth, 3, LUMRA_DTYPE_FLOAT32, 0};
    const int32_t pattern[4] = {0, 1, 1, 2};
    lumra_bench::run_beside_memcpy(state, dst.size() * sizeof(float),
                                   [&] { lumra_bilinear_demosaic(&s, &d, pattern); });
}

// The edge-directed demosaic beside memcpy of its output, and beside the
// bilinear entry on the same mosaic, timed alternately in one loop; on the
// level the run uses (bench_support.h), or capped at the baseline.
void BM_adaptive_demosaic(benchmark::State& state, bool baseline) {
    const lumra::simd::Level level = lumra::simd::level();
    if (baseline) lumra::simd::cap_level(lumra::simd::Level::baseline);
    std::vector<float> src(kHeight * kWidth), dst(kHeight * kWidth * 3), bilinear(kHeight * kWidth * 3);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<float>(i % 1000) * 0.001f;
    LumraImage s{src.data(), kHeight, kWidth, 1, LUMRA_DTYPE_FLOAT32, 0};
    LumraImage d{dst.data(), kHeight, kWidth, 3, LUMRA_DTYPE_FLOAT32, 0};
    LumraImage b{bilinear.data(), kHeight, kWidth, 3, LUMRA_DTYPE_FLOAT32, 0};
    const int32_t pattern[4] = {0, 1, 1, 2};
    using clock = std::chrono::steady_clock;
    double bilinear_seconds = 0.0, adaptive_seconds = 0.0;
    lumra_bilinear_demosaic(&s, &b, pattern);
    lumra_bench::run_beside_memcpy(state, dst.size() * sizeof(float), [&] {
        const auto t0 = clock::now();
        lumra_bilinear_demosaic(&s, &b, pattern);
        benchmark::ClobberMemory();
        const auto t1 = clock::now();
        lumra_adaptive_demosaic(&s, &d, pattern);
        benchmark::ClobberMemory();
        const auto t2 = clock::now();
        bilinear_seconds += std::chrono::duration<double>(t1 - t0).count();
        adaptive_seconds += std::chrono::duration<double>(t2 - t1).count();
    });
    // The timed kernel is both entries; the ratio says what the adaptive one costs.
    state.counters["x_bilinear"] = adaptive_seconds / bilinear_seconds;
    state.counters["adaptive_x_memcpy"] =
        state.counters["x_memcpy"] * adaptive_seconds / (adaptive_seconds + bilinear_seconds);
    lumra::simd::cap_level(level);
}

// The bilinear demosaic by bands of 16 rows into one band buffer that stays in the
// second-level cache, as a streaming host runs it; beside memcpy of the whole
// output, as above.
void BM_bilinear_demosaic_bands(benchmark::State& state) {
    constexpr uint64_t kBand = 16;
    std::vector<float> src(kHeight * kWidth), band(kBand * kWidth * 3);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<float>(i % 1000) * 0.001f;
    const int32_t pattern[4] = {0, 1, 1, 2};
    lumra_bench::run_beside_memcpy(state, kHeight * kWidth * 3 * sizeof(float), [&] {
        for (uint64_t top = 0; top < kHeight; top += kBand) {
            const uint64_t rows = std::min(kBand, kHeight - top);
            const uint64_t first = top > 0 ? top - 1 : 0, last = std::min(top + rows + 1, kHeight);
            const LumraImage window{src.data() + first * kWidth, last - first, kWidth, 1, LUMRA_DTYPE_FLOAT32, 0};
            const LumraRegion window_place{first, 0, kHeight, kWidth, 0}, band_place{top, 0, kHeight, kWidth, 0};
            LumraImage out{band.data(), rows, kWidth, 3, LUMRA_DTYPE_FLOAT32, 0};
            lumra_bilinear_demosaic_region(&window, &window_place, &out, &band_place, pattern);
        }
    });
}

// 0.1% of the sites hold the marker; the repair leaves them repaired, so the
// marks are put back (untimed cost is negligible: 24000 stores) before each run.
void BM_fix_bad_pixels(benchmark::State& state) {
    std::vector<uint16_t> image = mosaic16(kHeight * kWidth);
    std::vector<uint64_t> marked;
    for (uint64_t i = 7; i < image.size(); i += 997) marked.push_back(i);
    constexpr uint16_t kBad = 65535;
    LumraImage m{image.data(), kHeight, kWidth, 1, LUMRA_DTYPE_UINT16, 0};
    lumra_bench::run_beside_memcpy(state, image.size() * sizeof(uint16_t), [&] {
        for (uint64_t i : marked) image[i] = kBad;
        lumra_fix_bad_pixels_constant(&m, &m, kBad, 0);
    });
}

BENCHMARK_CAPTURE(BM_normalize, mosaic_2x2_tile, 1, false)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_normalize, three_samples_1x1_tile, 3, false)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_normalize, deltas_and_table, 1, true)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_bilinear_demosaic)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_adaptive_demosaic, widest_path, false)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_adaptive_demosaic, baseline_path, true)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_bilinear_demosaic_bands)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_fix_bad_pixels)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

LUMRA_BENCH_MAIN()
