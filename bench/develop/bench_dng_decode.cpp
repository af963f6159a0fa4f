// Decoding the raw data of a 24-megapixel DNG (6000 x 4000 CFA, generated
// once into a temporary folder), the file's bytes already in memory:
// lossless JPEG in tiles of 256 (one and two components a JPEG pixel) and
// 16-bit float deflate, on one thread and on every core. Each case is
// reported against memcpy of the decoded samples (24 M x 2 bytes for the
// integers, x 4 for the floats), with samples per second.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <unistd.h>

#include "../bench_support.h"
#include "dng/dng_reader.h"
#include "dng/dng_writer.h"
#include "dng/raw_data.h"
#include "sample/camera.h"

namespace {

namespace fs = std::filesystem;
constexpr uint32_t kWidth = 6000, kHeight = 4000;

struct GeneratedFiles {
    fs::path dir;
    std::map<std::string, std::string> paths;
    GeneratedFiles() {
        dir = fs::temp_directory_path() / ("lumra-bench-decode-" + std::to_string(getpid()));
        fs::create_directories(dir);
        lumra_tools::DngFile dng = lumra_tools::make_sample_dng(kWidth, kHeight);
        auto write = [&](const std::string& name, const lumra_tools::DngWriteOptions& options) {
            const std::string path = (dir / name).string();
            std::string error;
            if (lumra_tools::write_dng(path, dng, error, options)) paths[name] = path;
        };
        lumra_tools::DngWriteOptions ljpeg;
        ljpeg.compression = 7;
        ljpeg.tile_width = ljpeg.tile_height = 256;
        write("ljpeg1", ljpeg);
        ljpeg.jpeg_components = 2;
        write("ljpeg2", ljpeg);
        lumra_tools::DngWriteOptions fp;
        fp.compression = 8;
        fp.tile_width = fp.tile_height = 256;
        fp.float_bits = 16;
        fp.predictor = 34894;
        dng.opcode_list1.clear();
        write("float16", fp);
    }
    ~GeneratedFiles() { fs::remove_all(dir); }
};

GeneratedFiles& files() {
    static GeneratedFiles generated;
    return generated;
}

void decode_case(benchmark::State& state, const std::string& name, unsigned threads) {
    const auto found = files().paths.find(name);
    lumra_tools::RawLayout layout;
    std::string error;
    if (found == files().paths.end() || !lumra_tools::read_dng_layout(found->second, layout, error)) {
        state.SkipWithError(("could not write or read the " + name + " DNG " + error).c_str());
        return;
    }
    std::ifstream in(found->second, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const size_t samples = size_t(kWidth) * kHeight;
    lumra_tools::RawSamples decoded;
    bool ok = true;
    lumra_bench::run_beside_memcpy(state, samples * (layout.floating_point ? 4 : 2), [&] {
        ok = ok && lumra_tools::decode_raw_data(layout, bytes.data(), bytes.size(), threads, decoded, error);
    });
    if (!ok) state.SkipWithError(error.c_str());
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(samples));
    state.counters["threads"] = threads ? threads : std::max(1u, std::thread::hardware_concurrency());
    state.counters["MB_stored"] = double(bytes.size()) / 1e6;
}

void BM_ljpeg_tiles256_one_component(benchmark::State& state) { decode_case(state, "ljpeg1", unsigned(state.range(0))); }
void BM_ljpeg_tiles256_two_components(benchmark::State& state) { decode_case(state, "ljpeg2", unsigned(state.range(0))); }
void BM_float16_deflate_tiles256(benchmark::State& state) { decode_case(state, "float16", unsigned(state.range(0))); }

// Argument: threads, 0 for one per core.
BENCHMARK(BM_ljpeg_tiles256_one_component)->Arg(1)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ljpeg_tiles256_two_components)->Arg(1)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_float16_deflate_tiles256)->Arg(1)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
