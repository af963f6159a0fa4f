// The colour transforms on a 6000 x 4000 three-channel image (the mono LUT on
// one channel), single-threaded, each beside memcpy of the larger buffer.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <vector>

#include "bench_main.h"
#include "bench_support.h"
#include "lumra.h"

namespace {

double thread_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// run_beside_memcpy, plus the ratio of the kernel's thread CPU time to that of
// memcpy of the same bytes (x_memcpy_cpu; the copy's time is the middle of
// three taken before the run), which other processes on a shared machine
// disturb less than wall time.
template <typename Kernel>
void run_measured(benchmark::State& state, size_t copy_bytes, Kernel&& kernel) {
    double copy_cpu[3];
    {
        std::vector<unsigned char> from(copy_bytes, 1), to(copy_bytes, 0);
        for (double& seconds : copy_cpu) {
            const double t0 = thread_seconds();
            std::memcpy(to.data(), from.data(), copy_bytes);
            benchmark::ClobberMemory();
            seconds = thread_seconds() - t0;
        }
        std::sort(copy_cpu, copy_cpu + 3);
    }
    double kernel_cpu = 0.0;
    int64_t runs = 0;
    lumra_bench::run_beside_memcpy(state, copy_bytes, [&] {
        const double t0 = thread_seconds();
        kernel();
        kernel_cpu += thread_seconds() - t0;
        ++runs;
    });
    state.counters["x_memcpy_cpu"] = kernel_cpu / static_cast<double>(runs) / copy_cpu[1];
}

constexpr uint64_t kHeight = 4000, kWidth = 6000;

template <typename T>
constexpr LumraDType kDType =
    sizeof(T) == 1 ? LUMRA_DTYPE_UINT8 : (sizeof(T) == 2 ? LUMRA_DTYPE_UINT16 : LUMRA_DTYPE_FLOAT32);

// A smooth photograph-like pattern with a little noise, in [0, 1].
inline float sample(uint64_t row, uint64_t col, uint64_t channel) {
    const uint32_t hash = static_cast<uint32_t>((row * 7919u + col * 104729u + channel * 15485863u) * 2654435761u);
    const float noise = static_cast<float>(hash >> 8) * (1.0f / 16777216.0f);
    const float smooth = 0.45f * static_cast<float>(col) / kWidth + 0.35f * static_cast<float>(row) / kHeight +
                         0.1f * static_cast<float>(channel);
    return std::fmod(smooth + 0.08f * noise, 1.0f);
}

template <typename T>
struct BenchImage {
    std::vector<T> pixels;
    LumraImage desc;
    explicit BenchImage(uint64_t channels, bool fill) : pixels(kHeight * kWidth * channels) {
        desc = LumraImage{pixels.data(), kHeight, kWidth, channels, kDType<T>, 0};
        if (!fill) return;
        const float full = sizeof(T) == 4 ? 1.0f : sizeof(T) == 2 ? 65535.0f : 255.0f;
        for (uint64_t r = 0; r < kHeight; ++r)
            for (uint64_t c = 0; c < kWidth; ++c)
                for (uint64_t k = 0; k < channels; ++k)
                    pixels[(r * kWidth + c) * channels + k] = static_cast<T>(sample(r, c, k) * full);
    }
};

std::vector<float> gamma_curve(size_t size) {
    std::vector<float> curve(size);
    for (size_t k = 0; k < size; ++k) curve[k] = std::pow(static_cast<float>(k) / static_cast<float>(size - 1), 0.45f);
    return curve;
}

const float kMatrix[9] = {1.6f, -0.4f, -0.2f, -0.3f, 1.5f, -0.2f, 0.05f, -0.45f, 1.4f};

template <typename In, typename Out>
size_t larger_buffer(uint64_t channels) {
    return kHeight * kWidth * channels * (sizeof(In) > sizeof(Out) ? sizeof(In) : sizeof(Out));
}

// Stages: bit 0 lut1, bit 1 matrix, bit 2 lut2; curve sizes from the argument.
template <typename In, typename Out>
void BM_transform(benchmark::State& state) {
    const int stages = static_cast<int>(state.range(0));
    const size_t curve_size = static_cast<size_t>(state.range(1));
    const bool hue_preserving = state.range(2) != 0;
    BenchImage<In> src(3, true);
    BenchImage<Out> dst(3, false);
    const std::vector<float> curve = gamma_curve(curve_size);
    const float* lut1 = stages & 1 ? curve.data() : nullptr;
    const float* matrix = stages & 2 ? kMatrix : nullptr;
    const float* lut2 = stages & 4 ? curve.data() : nullptr;
    run_measured(state, larger_buffer<In, Out>(3), [&] {
        lumra_transform_color(&src.desc, &dst.desc, lut1, curve_size, matrix, lut2, curve_size, 0, 0, hue_preserving);
    });
}

void BM_clip_and_transform(benchmark::State& state) {
    BenchImage<float> src(3, true), dst(3, false);
    const float clip_max[3] = {0.9f, 0.95f, 0.85f};
    run_measured(state, larger_buffer<float, float>(3),
                                   [&] { lumra_clip_and_transform_color(&src.desc, &dst.desc, clip_max, kMatrix); });
}

void BM_mono_lut_16_to_8(benchmark::State& state) {
    BenchImage<uint16_t> src(1, true);
    BenchImage<uint8_t> dst(1, false);
    const std::vector<float> curve = gamma_curve(4096);
    run_measured(state, larger_buffer<uint16_t, uint8_t>(1), [&] {
        lumra_mono_lut(&src.desc, &dst.desc, curve.data(), curve.size(), 0, 0);
    });
}

#define LUMRA_TRANSFORM_BENCH(In, Out, stages, size, hue)                                                     \
    BENCHMARK_TEMPLATE(BM_transform, In, Out)->Args({stages, size, hue})->ArgNames({"stages", "curve", "hue"}) \
        ->UseManualTime()->Unit(benchmark::kMillisecond)

LUMRA_TRANSFORM_BENCH(float, float, 2, 2, 0);           // matrix only: target 1.5x
LUMRA_TRANSFORM_BENCH(uint8_t, uint8_t, 1, 256, 0);     // direct-index curve: target 2x
LUMRA_TRANSFORM_BENCH(uint16_t, uint16_t, 1, 4096, 0);  // curve only: target 4x
LUMRA_TRANSFORM_BENCH(float, uint8_t, 7, 4096, 0);      // curve, matrix, curve: target 4x
LUMRA_TRANSFORM_BENCH(uint16_t, uint16_t, 7, 4096, 0);  // curve, matrix, curve: target 4x
LUMRA_TRANSFORM_BENCH(uint16_t, uint16_t, 2, 2, 0);     // the same pixels through the matrix alone (no target)
LUMRA_TRANSFORM_BENCH(float, uint16_t, 3, 4096, 1);     // hue-preserving with a matrix: target 6x
BENCHMARK(BM_clip_and_transform)->UseManualTime()->Unit(benchmark::kMillisecond);  // target 1.5x
BENCHMARK(BM_mono_lut_16_to_8)->UseManualTime()->Unit(benchmark::kMillisecond);    // target 2x

}  // namespace

LUMRA_BENCH_MAIN()
