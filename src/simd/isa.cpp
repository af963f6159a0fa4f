// The only place that asks the processor which instruction sets it runs.
#include "simd/isa.h"

namespace lumra::simd {
namespace {

struct Machine {
    Level level = Level::baseline;
    bool vbmi = false;
};

Machine ask_processor() noexcept {
    Machine m;
#if LUMRA_SIMD_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) {
        m.level = Level::avx2;
        if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512cd") &&
            __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq") &&
            __builtin_cpu_supports("avx512vl")) {
            m.level = Level::avx512;
            m.vbmi = __builtin_cpu_supports("avx512vbmi");
        }
    }
#endif
    return m;
}

const Machine& machine() noexcept {
    static const Machine m = ask_processor();
    return m;
}

std::atomic<int> g_cap{static_cast<int>(kWidestLevel)};

}  // namespace

namespace detail {

std::atomic<int> g_level{-1};

int find_level() noexcept {
    const int found = static_cast<int>(machine().level);
    const int cap = g_cap.load(std::memory_order_relaxed);
    const int chosen = found < cap ? found : cap;
    g_level.store(chosen, std::memory_order_relaxed);
    return chosen;
}

}  // namespace detail

Level machine_level() noexcept { return machine().level; }

void cap_level(Level cap) noexcept {
    g_cap.store(static_cast<int>(cap), std::memory_order_relaxed);
    detail::find_level();
}

bool runs_avx512_vbmi() noexcept { return runs(Level::avx512) && machine().vbmi; }

const char* level_name(Level l) noexcept {
    switch (l) {
        case Level::avx2: return "avx2";
        case Level::avx512: return "avx512";
        default: return "baseline";
    }
}

}  // namespace lumra::simd
