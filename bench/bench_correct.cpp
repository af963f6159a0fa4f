// The lens and sensor corrections on a 6000 x 4000 image, single-threaded,
// each beside memcpy of the image it works on (the warp: of its destination).
#include <algorithm>
#include <cstdint>
#include <vector>

#include "bench_main.h"
#include "bench_support.h"
#include "lumra.h"

namespace {

constexpr uint64_t kHeight = 4000, kWidth = 6000;

// Values that stay away from zero under repeated in-place application, so no
// iteration runs into denormals.
std::vector<float> ramp(uint64_t count, float low, float high) {
    std::vector<float> values(count);
    for (uint64_t i = 0; i < count; ++i)
        values[i] = low + (high - low) * static_cast<float>((i * 2654435761u >> 8) % 1000) / 1000.0f;
    return values;
}

LumraImage describe(std::vector<float>& pixels, uint64_t channels) {
    return LumraImage{pixels.data(), kHeight, kWidth, channels, LUMRA_DTYPE_FLOAT32, 0};
}

void BM_gain_map(benchmark::State& state) {
    std::vector<float> pixels = ramp(kHeight * kWidth * 3, 0.2f, 0.9f);
    const std::vector<float> gains = ramp(17 * 17 * 3, 1.0f, 1.1f);
    LumraImage image = describe(pixels, 3);
    lumra_bench::run_beside_memcpy(state, pixels.size() * sizeof(float), [&] {
        lumra_apply_gain_map(&image, gains.data(), 17, 17, 3, 0, 0, 0, 0, 0, 3, 1, 1, 1.0 / 16, 1.0 / 16, 0.0, 0.0);
    });
}

void BM_gain_map_cfa(benchmark::State& state) {
    std::vector<float> pixels = ramp(kHeight * kWidth, 0.2f, 0.9f);
    const std::vector<float> gains = ramp(17 * 17, 1.0f, 1.1f);
    LumraImage image = describe(pixels, 1);
    lumra_bench::run_beside_memcpy(state, pixels.size() * sizeof(float), [&] {
        lumra_apply_gain_map_cfa(&image, gains.data(), 17, 17, 1, 0, 1, 0, 0, 2, 2, 1.0 / 16, 1.0 / 16, 0.0, 0.0);
    });
}

void BM_flat_gain_map(benchmark::State& state) {
    std::vector<float> pixels = ramp(kHeight * kWidth, 0.2f, 0.9f);
    const std::vector<float> gains = ramp(9 * 13, 0.999f, 1.001f);
    LumraImage image = describe(pixels, 1);
    lumra_bench::run_beside_memcpy(state, pixels.size() * sizeof(float),
                                   [&] { lumra_apply_flat_gain_map(&image, gains.data(), 9, 13); });
}

void BM_map_polynomial(benchmark::State& state) {
    const int degree = static_cast<int>(state.range(0));
    std::vector<float> pixels = ramp(kHeight * kWidth * 3, -0.9f, 0.9f);
    std::vector<float> coefficients(degree + 1, 0.0f);
    coefficients[1] = 1.0f;
    for (int k = 2; k <= degree; ++k) coefficients[k] = (k % 2 ? -0.01f : 0.01f) / static_cast<float>(k);
    LumraImage image = describe(pixels, 3);
    lumra_bench::run_beside_memcpy(state, pixels.size() * sizeof(float), [&] {
        lumra_map_polynomial(&image, 0, 0, 0, 0, 0, 3, 1, 1, coefficients.data(), degree);
    });
}

void BM_fix_vignette(benchmark::State& state) {
    std::vector<float> pixels = ramp(kHeight * kWidth * 3, 0.2f, 0.9f);
    const double k[] = {0.02, 0.01, 0.005, 0.002, 0.001};
    LumraImage image = describe(pixels, 3);
    lumra_bench::run_beside_memcpy(state, pixels.size() * sizeof(float),
                                   [&] { lumra_fix_vignette(&image, k, 5, 0.48, 0.52); });
}

void BM_warp_rectilinear(benchmark::State& state) {
    const bool bicubic = state.range(0) != 0;
    const bool shared = state.range(1) != 0;
    std::vector<float> source = ramp(kHeight * kWidth * 3, 0.0f, 1.0f);
    std::vector<float> destination(source.size());
    // Three planes that differ slightly, as a lateral chromatic aberration
    // correction has them, or (shared) one distortion correction for all.
    const double per_plane[] = {1.0, 0.012, -0.004, 0.001, 0.999, 0.011, -0.004, 0.001, 1.001, 0.013, -0.005, 0.001};
    const double same[] = {1.0, 0.012, -0.004, 0.001, 1.0, 0.012, -0.004, 0.001, 1.0, 0.012, -0.004, 0.001};
    const double* radial = shared ? same : per_plane;
    const double tangential[] = {0.0004, -0.0002, 0.0004, -0.0002, 0.0004, -0.0002};
    const LumraImage from = describe(source, 3);
    LumraImage to = describe(destination, 3);
    lumra_bench::run_beside_memcpy(state, destination.size() * sizeof(float), [&] {
        lumra_warp_rectilinear(&from, &to, radial, 3, 4, tangential, 0.5, 0.5, bicubic);
    });
}

// The same warp streamed in bands of 64 rows, as a host bounds its memory:
// per band, the query for the source window (widened to whole rows, so it is
// a view of the source) and the region warp, whose check works out the
// band's positions once more.
void BM_warp_rectilinear_bands(benchmark::State& state) {
    const bool bicubic = state.range(0) != 0;
    const bool shared = state.range(1) != 0;
    constexpr uint64_t kBand = 64;
    std::vector<float> source = ramp(kHeight * kWidth * 3, 0.0f, 1.0f);
    std::vector<float> destination(source.size());
    const double per_plane[] = {1.0, 0.012, -0.004, 0.001, 0.999, 0.011, -0.004, 0.001, 1.001, 0.013, -0.005, 0.001};
    const double same[] = {1.0, 0.012, -0.004, 0.001, 1.0, 0.012, -0.004, 0.001, 1.0, 0.012, -0.004, 0.001};
    const double* radial = shared ? same : per_plane;
    const double tangential[] = {0.0004, -0.0002, 0.0004, -0.0002, 0.0004, -0.0002};
    lumra_bench::run_beside_memcpy(state, destination.size() * sizeof(float), [&] {
        for (uint64_t top = 0; top < kHeight; top += kBand) {
            const uint64_t rows = std::min(kBand, kHeight - top);
            const LumraRegion band{top, 0, kHeight, kWidth, 0};
            LumraRegion window{};
            uint64_t window_rows = 0, window_cols = 0;
            lumra_warp_rectilinear_source_window(&band, rows, kWidth, 3, radial, 3, 4, tangential, 0.5, 0.5,
                                                 bicubic, &window, &window_rows, &window_cols);
            window.left = 0;
            const LumraImage from{source.data() + window.top * kWidth * 3, window_rows, kWidth, 3,
                                  LUMRA_DTYPE_FLOAT32, 0};
            LumraImage to{destination.data() + top * kWidth * 3, rows, kWidth, 3, LUMRA_DTYPE_FLOAT32, 0};
            lumra_warp_rectilinear_region(&from, &window, &to, &band, radial, 3, 4, tangential, 0.5, 0.5, bicubic);
        }
    });
}

BENCHMARK(BM_gain_map)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_gain_map_cfa)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_flat_gain_map)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_map_polynomial)->Arg(3)->Arg(6)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_fix_vignette)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_warp_rectilinear)->ArgsProduct({{0, 1}, {0, 1}})->ArgNames({"bicubic", "shared"})->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_warp_rectilinear_bands)->ArgsProduct({{0, 1}, {0, 1}})->ArgNames({"bicubic", "shared"})->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

LUMRA_BENCH_MAIN()
