// Development of a 24-megapixel DNG (6000 x 4000, generated once into a
// temporary folder), read once. Each run times, back to back: memcpy of the
// three-channel float image (288 MB) that a whole-image pipeline would carry
// between its stages; the development into the 8-bit output buffer on 1 and
// on 2 threads (no file I/O), with the default edge-directed demosaic, and on
// 2 threads with the bilinear one, each into the image it developed last
// time; the same into a new image (whose pages are touched for the first
// time); and the PNG encoding on 2 threads into /dev/null. Counters report the ratios against memcpy and the 1-to-2-thread
// speed-up, so they read the same on a loaded machine.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "develop/pipeline.h"
#include "develop/png_bands.h"
#include "dng/dng_reader.h"
#include "dng/dng_writer.h"
#include "sample/camera.h"

namespace {

namespace fs = std::filesystem;
using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start) {
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

struct GeneratedDng {
    fs::path dir;
    lumra_tools::DngFile dng;
    bool ok = false;
    GeneratedDng() {
        dir = fs::temp_directory_path() / ("lumra-bench-" + std::to_string(getpid()));
        fs::create_directories(dir);
        const std::string path = (dir / "bench-24mp.dng").string();
        std::string error;
        ok = lumra_tools::write_dng(path, lumra_tools::make_sample_dng(6000, 4000), error) &&
             lumra_tools::read_dng(path, dng, error);
    }
    ~GeneratedDng() { fs::remove_all(dir); }
};

void BM_develop_24mp(benchmark::State& state) {
    static GeneratedDng input;
    if (!input.ok) {
        state.SkipWithError("could not write and read the 24-megapixel DNG");
        return;
    }
    std::vector<unsigned char> copy_from(size_t{6000} * 4000 * 3 * sizeof(float), 1), copy_to(copy_from.size());
    double copy = 0.0, one = 0.0, two = 0.0, bilinear = 0.0, fresh = 0.0, png = 0.0;
    std::string error;
    // A host that develops again as a slider moves writes into the image it
    // developed before, whose pages are already mapped, as memcpy's are; the
    // fresh-output case counts the first touch of a new 72 MB output too.
    auto run_develop = [&](unsigned threads, lumra_tools::DemosaicMethod method, lumra_tools::DevelopedImage& into,
                           double* seconds) {
        lumra_tools::DevelopOptions options;
        options.threads = threads;
        options.demosaic = method;
        lumra_tools::DevelopReport report;
        const auto start = clock_type::now();
        const bool ok = lumra_tools::develop(input.dng, input.dng.profile, options, into, report, error);
        if (seconds) *seconds += seconds_since(start);
        return ok;
    };
    using lumra_tools::DemosaicMethod;
    lumra_tools::DevelopedImage image_one, image_two, image_bilinear;
    if (!run_develop(1, DemosaicMethod::adaptive, image_one, nullptr) ||
        !run_develop(2, DemosaicMethod::adaptive, image_two, nullptr) ||
        !run_develop(2, DemosaicMethod::bilinear, image_bilinear, nullptr)) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state) {
        auto start = clock_type::now();
        std::memcpy(copy_to.data(), copy_from.data(), copy_from.size());
        benchmark::ClobberMemory();
        copy += seconds_since(start);
        lumra_tools::DevelopedImage new_image;
        const double two_before = two;
        if (!run_develop(1, DemosaicMethod::adaptive, image_one, &one) ||
            !run_develop(2, DemosaicMethod::adaptive, image_two, &two) ||
            !run_develop(2, DemosaicMethod::bilinear, image_bilinear, &bilinear) ||
            !run_develop(2, DemosaicMethod::adaptive, new_image, &fresh)) {
            state.SkipWithError(error.c_str());
            return;
        }
        std::FILE* sink = std::fopen("/dev/null", "wb");
        start = clock_type::now();
        const bool written = sink && lumra_tools::write_png_bands(sink, image_two, 2, error);
        png += seconds_since(start);
        if (sink) std::fclose(sink);
        if (!written) {
            state.SkipWithError(error.c_str());
            return;
        }
        state.SetIterationTime(two - two_before);
    }
    state.counters["develop_1thread_x_memcpy"] = one / copy;
    state.counters["develop_2threads_x_memcpy"] = two / copy;
    state.counters["develop_2threads_bilinear_x_memcpy"] = bilinear / copy;
    state.counters["develop_2threads_fresh_output_x_memcpy"] = fresh / copy;
    state.counters["scaling_1_to_2"] = one / two;
    state.counters["png_2threads_x_memcpy"] = png / copy;
    state.counters["memcpy_ms"] = 1e3 * copy / double(state.iterations());
}

BENCHMARK(BM_develop_24mp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
