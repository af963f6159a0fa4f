// The one place that asks the processor which wide paths it runs.
#include "wide_path.h"

#include <atomic>

namespace lumra {
namespace {

std::atomic<WidePath> g_wide_path{WidePath::widest};

}  // namespace

void use_wide_path(WidePath path) noexcept { g_wide_path.store(path, std::memory_order_relaxed); }

bool avx2_path() noexcept {
#if LUMRA_HAS_AVX2_PATH
    static const bool supported = __builtin_cpu_supports("avx2");
    return supported && g_wide_path.load(std::memory_order_relaxed) != WidePath::baseline;
#else
    return false;
#endif
}

bool avx512_path() noexcept {
#if LUMRA_HAS_AVX2_PATH
    static const bool supported = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") &&
                                  __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
    return supported && g_wide_path.load(std::memory_order_relaxed) == WidePath::widest;
#else
    return false;
#endif
}

}  // namespace lumra
