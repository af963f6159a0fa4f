// Whole development of a 24-megapixel DNG (6000 x 4000, generated once into a
// temporary folder), single-threaded: reading, every stage of the pipeline and
// the PNG write. Each stage's mean time per run is reported as a counter in
// milliseconds, and the whole run against memcpy of the three-channel float
// image that the pipeline carries between its stages.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "develop/image_output.h"
#include "develop/pipeline.h"
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
    std::string path;
    GeneratedDng() {
        dir = fs::temp_directory_path() / ("lumra-bench-" + std::to_string(getpid()));
        fs::create_directories(dir);
        path = (dir / "bench-24mp.dng").string();
        std::string error;
        if (!lumra_tools::write_dng(path, lumra_tools::make_sample_dng(6000, 4000), error)) path.clear();
    }
    ~GeneratedDng() { fs::remove_all(dir); }
};

void BM_develop_24mp(benchmark::State& state) {
    static GeneratedDng dng_file;
    if (dng_file.path.empty()) {
        state.SkipWithError("could not write the 24-megapixel DNG");
        return;
    }
    const std::string output = (dng_file.dir / "bench.png").string();
    std::map<std::string, double> stage_seconds;
    std::vector<unsigned char> copy_from(size_t{6000} * 4000 * 3 * sizeof(float), 1), copy_to(copy_from.size());
    double copy_seconds = 0.0, total_seconds = 0.0;
    for (auto _ : state) {
        auto start = clock_type::now();
        std::memcpy(copy_to.data(), copy_from.data(), copy_from.size());
        benchmark::ClobberMemory();
        copy_seconds += seconds_since(start);

        std::string error;
        start = clock_type::now();
        lumra_tools::DngFile dng;
        if (!lumra_tools::read_dng(dng_file.path, dng, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        stage_seconds["read DNG"] += seconds_since(start);
        lumra_tools::DevelopedImage image;
        lumra_tools::DevelopReport report;
        if (!lumra_tools::develop(dng, dng.profile, lumra_tools::DevelopOptions{}, image, report, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        for (const auto& stage : report.stages) stage_seconds[stage.name] += stage.seconds;
        const auto write_start = clock_type::now();
        if (!lumra_tools::write_image(output, lumra_tools::FileFormat::png, image, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        stage_seconds["write PNG"] += seconds_since(write_start);
        const double run = seconds_since(start);
        total_seconds += run;
        state.SetIterationTime(run);
    }
    const double runs = static_cast<double>(state.iterations());
    for (const auto& [name, seconds] : stage_seconds) state.counters[name + " ms"] = 1e3 * seconds / runs;
    state.counters["x_memcpy"] = total_seconds / copy_seconds;
}

BENCHMARK(BM_develop_24mp)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
