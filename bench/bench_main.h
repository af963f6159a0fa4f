// The library benchmarks' main, with a choice of instruction-set level.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "simd/isa.h"

namespace lumra_bench {

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
