// Profile adjustments on a 6000 x 4000 three-channel float image, each beside
// memcpy of the image's bytes, single-threaded.
#include <time.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "bench_main.h"
#include "bench_support.h"
#include "lumra.h"

namespace {

constexpr uint64_t kHeight = 4000, kWidth = 6000, kFloats = kHeight * kWidth * 3;
constexpr size_t kImageBytes = kFloats * sizeof(float);

// Deterministic values in [low, high) from a multiplicative hash.
float hashed(uint64_t i, float low, float high) {
    const uint32_t h = static_cast<uint32_t>((i * 2654435761u) >> 8) & 0xFFFFFFu;
    return low + (high - low) * (static_cast<float>(h) / 16777216.0f);
}

// Thread CPU time, which on a shared machine says more about the kernel's own
// cost than the wall clock does.
double thread_seconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// Thread CPU time of the fastest of three memcpy runs of the image's bytes.
double memcpy_cpu_seconds() {
    std::vector<unsigned char> from(kImageBytes, 1), to(kImageBytes, 0);
    double best = 0.0;
    for (int run = 0; run < 3; ++run) {
        const double start = thread_seconds();
        std::memcpy(to.data(), from.data(), kImageBytes);
        benchmark::ClobberMemory();
        const double seconds = thread_seconds() - start;
        if (run == 0 || seconds < best) best = seconds;
    }
    return best;
}

// run_beside_memcpy, plus the counters cpu_ms (the kernel's thread CPU time
// per run) and x_memcpy_cpu (that against memcpy's thread CPU time).
template <typename Kernel>
void run_timed(benchmark::State& state, Kernel&& kernel) {
    double cpu_seconds = 0.0;
    int64_t runs = 0;
    lumra_bench::run_beside_memcpy(state, kImageBytes, [&] {
        const double start = thread_seconds();
        kernel();
        cpu_seconds += thread_seconds() - start;
        ++runs;
    });
    const double kernel_cpu = cpu_seconds / static_cast<double>(runs);
    state.counters["cpu_ms"] = 1e3 * kernel_cpu;
    state.counters["x_memcpy_cpu"] = kernel_cpu / memcpy_cpu_seconds();
}

std::vector<float> test_image() {
    std::vector<float> pixels(kFloats);
    for (uint64_t i = 0; i < kFloats; ++i) pixels[i] = hashed(i, 0.0f, 1.0f);
    return pixels;
}

// Small hue shifts and scales near 1, so that repeated runs in place keep the
// image in range.
void BM_hue_sat_map(benchmark::State& state) {
    const int32_t hue = 90, sat = 30, val = static_cast<int32_t>(state.range(0));
    std::vector<float> map(static_cast<size_t>(val > 1 ? val : 1) * hue * sat * 3);
    for (size_t i = 0; i < map.size(); i += 3) {
        map[i] = hashed(i, -5.0f, 5.0f);
        map[i + 1] = hashed(i + 1, 0.97f, 1.03f);
        map[i + 2] = hashed(i + 2, 0.97f, 1.03f);
    }
    std::vector<float> pixels = test_image();
    LumraImage image{pixels.data(), kHeight, kWidth, 3, LUMRA_DTYPE_FLOAT32, 0};
    run_timed(state, [&] { lumra_apply_hue_sat_map(&image, map.data(), hue, sat, val); });
}
BENCHMARK(BM_hue_sat_map)->Arg(0)->Arg(8)->UseManualTime()->Unit(benchmark::kMillisecond);

// Argument 0: separate buffers; 1: in place.
void BM_exposure_ramp(benchmark::State& state) {
    const bool in_place = state.range(0) != 0;
    std::vector<float> from = test_image();
    std::vector<float> to(in_place ? 0 : kFloats);
    LumraImage src{from.data(), kHeight, kWidth, 3, LUMRA_DTYPE_FLOAT32, 0};
    LumraImage dst{in_place ? from.data() : to.data(), kHeight, kWidth, 3, LUMRA_DTYPE_FLOAT32, 0};
    // In place, the ramp maps [0, 1] into [0, 1] again on every run.
    run_timed(state, [&] { lumra_apply_exposure_ramp(&src, &dst, 1.0, 0.02, 0.1, false); });
}
BENCHMARK(BM_exposure_ramp)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// An 8-column, 6-row grid of 256-point tables with gains near 1; argument 1
// gives a gamma other than 1 (one powf per pixel).
void BM_profile_gain_table_map(benchmark::State& state) {
    const int32_t points_v = 6, points_h = 8, points_n = 256;
    std::vector<float> gains(static_cast<size_t>(points_v) * points_h * points_n);
    for (size_t i = 0; i < gains.size(); ++i) gains[i] = hashed(i, 0.98f, 1.02f);
    const float weights[5] = {0.25f, 0.5f, 0.125f, 0.0f, 0.125f};
    const float gamma = state.range(0) != 0 ? 0.45f : 1.0f;
    std::vector<float> pixels = test_image();
    LumraImage image{pixels.data(), kHeight, kWidth, 3, LUMRA_DTYPE_FLOAT32, 0};
    run_timed(state, [&] {
        lumra_apply_profile_gain_table_map(&image, gains.data(), points_v, points_h, points_n, weights, 0.2f, 1.0f / 7,
                                           0.0f, 0.0f, gamma, 1.0f);
    });
}
BENCHMARK(BM_profile_gain_table_map)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

LUMRA_BENCH_MAIN()
