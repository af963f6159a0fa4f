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

}  // namespace lumra_bench
