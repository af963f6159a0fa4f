// Benchmark helper: each case times its kernel and a memcpy of a reference
// byte count alternately in the same loop and reports the ratio, which stays
// meaningful on a shared, noisy machine where absolute times do not.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "simd/isa.h"

namespace lumra_bench {

template <typename Kernel>
void run_beside_memcpy(benchmark::State& state, size_t copy_bytes, Kernel&& kernel) {
    std::vector<unsigned char> from(copy_bytes, 1), to(copy_bytes, 0);
    using clock = std::chrono::steady_clock;
    double kernel_seconds = 0.0, copy_seconds = 0.0;
    kernel();  // first touch of the kernel's buffers
    std::memcpy(to.data(), from.data(), copy_bytes);
    for (auto _ : state) {
        const auto t0 = clock::now();
        std::memcpy(to.data(), from.data(), copy_bytes);
        benchmark::ClobberMemory();
        const auto t1 = clock::now();
        kernel();
        benchmark::ClobberMemory();
        const auto t2 = clock::now();
        const double copy = std::chrono::duration<double>(t1 - t0).count();
        const double work = std::chrono::duration<double>(t2 - t1).count();
        copy_seconds += copy;
        kernel_seconds += work;
        state.SetIterationTime(work);
    }
    state.counters["x_memcpy"] = kernel_seconds / copy_seconds;
    state.counters["memcpy_ms"] = 1e3 * copy_seconds / static_cast<double>(state.iterations());
}

// The benchmarks' main: `--level=baseline|avx2|avx512` caps the kernels at
// that instruction-set level (one the machine runs); without it they run at
// the machine's widest. The other arguments go to Google Benchmark. Each
// level is one run of the program, e.g.
//   for l in baseline avx2 avx512; do bench/bench_color --level=$l; done
inline int main(int argc, char** argv) {
    using lumra::simd::Level;
    Level level = lumra::simd::machine_level();
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--level=", 0) != 0) {
            rest.push_back(argv[i]);
            continue;
        }
        const std::string name = arg.substr(8);
        bool known = false;
        for (int l = 0; l <= static_cast<int>(lumra::simd::machine_level()); ++l) {
            if (name == lumra::simd::level_name(static_cast<Level>(l))) level = static_cast<Level>(l), known = true;
        }
        if (!known) {
            std::fprintf(stderr, "%s: level '%s' is not one this machine runs\n", argv[0], name.c_str());
            return 2;
        }
    }
    lumra::simd::cap_level(level);
    benchmark::AddCustomContext("instruction-set level", lumra::simd::level_name(level));
    int count = static_cast<int>(rest.size());
    benchmark::Initialize(&count, rest.data());
    if (benchmark::ReportUnrecognizedArguments(count, rest.data())) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace lumra_bench

#define LUMRA_BENCH_MAIN() \
    int main(int argc, char** argv) { return lumra_bench::main(argc, argv); }
