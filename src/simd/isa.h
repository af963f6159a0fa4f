// The instruction sets the kernels run, in one place. Each kernel family has
// a baseline path that every supported processor runs (SSE2 on x86-64, plain
// C++ elsewhere and in a LUMRA_SCALAR_ONLY build) and, on x86-64, wider
// paths compiled for AVX2 or AVX-512 with the target attributes below and
// chosen at run time through level(). Every path performs the same IEEE
// single-precision operations in the same order, so every level gives the
// same bits; no path uses fused multiply-add (contraction is off for the
// whole library and no FMA intrinsic is used), so FMA is not part of a level.
#pragma once

#include <atomic>

// Whether x86-64 intrinsics and the wider paths are compiled at all.
#if !defined(LUMRA_SCALAR_ONLY) && defined(__x86_64__) && defined(__SSE2__) && \
    (defined(__GNUC__) || defined(__clang__))
#define LUMRA_SIMD_X86 1
#else
#define LUMRA_SIMD_X86 0
#endif

#if LUMRA_SIMD_X86
#include <immintrin.h>

// The code of one level: a function with LUMRA_TARGET_*, or every function
// between LUMRA_BEGIN_* and LUMRA_END_*. AVX-512 means F, CD, BW, DQ and VL
// together (what every AVX-512 processor has); VBMI is asked for apart.
#define LUMRA_ISA_AVX2 "avx2"
#define LUMRA_ISA_AVX512 "avx2,avx512f,avx512cd,avx512bw,avx512dq,avx512vl"
#define LUMRA_TARGET_AVX2 __attribute__((target(LUMRA_ISA_AVX2)))
#define LUMRA_TARGET_AVX512 __attribute__((target(LUMRA_ISA_AVX512)))
#define LUMRA_TARGET_AVX512_VBMI __attribute__((target(LUMRA_ISA_AVX512 ",avx512vbmi")))

// GCC reports the undefined starting register of many AVX-512 intrinsics as
// (possibly) uninitialised once they are inlined; the AVX-512 region turns
// those reports off.
#if defined(__clang__)
#define LUMRA_BEGIN_AVX2 _Pragma("clang attribute push(__attribute__((target(\"avx2\"))), apply_to = function)")
#define LUMRA_END_AVX2 _Pragma("clang attribute pop")
// (_Pragma takes one string literal, so the target list is written out.)
#define LUMRA_BEGIN_AVX512 \
    _Pragma("clang attribute push(__attribute__((target(\"avx2,avx512f,avx512cd,avx512bw,avx512dq,avx512vl\"))), apply_to = function)")
#define LUMRA_END_AVX512 _Pragma("clang attribute pop")
#else
#define LUMRA_BEGIN_AVX2 _Pragma("GCC push_options") _Pragma("GCC target(\"avx2\")")
#define LUMRA_END_AVX2 _Pragma("GCC pop_options")
#define LUMRA_BEGIN_AVX512                                                                 \
    _Pragma("GCC push_options") _Pragma("GCC target(\"avx2,avx512f,avx512cd,avx512bw,avx512dq,avx512vl\")") \
    _Pragma("GCC diagnostic push")                                                         \
    _Pragma("GCC diagnostic ignored \"-Wmaybe-uninitialized\"")                            \
    _Pragma("GCC diagnostic ignored \"-Wuninitialized\"")
#define LUMRA_END_AVX512 _Pragma("GCC diagnostic pop") _Pragma("GCC pop_options")
#endif
#endif  // LUMRA_SIMD_X86

// A body shared by the paths of several levels: inlined into each caller, so
// it is compiled for the caller's instruction set (and vectors never cross a
// call between code of two levels, whose calling conventions differ).
#if defined(__GNUC__) || defined(__clang__)
#define LUMRA_SHARED_BODY inline __attribute__((always_inline))
#else
#define LUMRA_SHARED_BODY inline
#endif

namespace lumra::simd {

// Ordered: each level runs everything the ones below it run.
enum class Level : int {
    baseline = 0,  // SSE2 on x86-64; plain C++ elsewhere
    avx2 = 1,
    avx512 = 2,  // F, CD, BW, DQ and VL
};
constexpr Level kWidestLevel = Level::avx512;

// The widest level the processor (and operating system) runs, asked once.
Level machine_level() noexcept;

// For tests, fuzzing and benchmarks: the kernels run at most `cap` (and at
// most the machine's level) until the next call; kWidestLevel lifts the cap.
// Not meant to be called while kernels run on other threads.
void cap_level(Level cap) noexcept;

namespace detail {
// The level in use, or -1 before the processor has been asked.
extern std::atomic<int> g_level;
int find_level() noexcept;
}  // namespace detail

// The level the kernels use: the machine's, unless capped.
inline Level level() noexcept {
    int chosen = detail::g_level.load(std::memory_order_relaxed);
    if (chosen < 0) chosen = detail::find_level();
    return static_cast<Level>(chosen);
}

// Whether the kernels may take their path of `wanted`.
inline bool runs(Level wanted) noexcept { return level() >= wanted; }

// Whether the AVX-512 level is in use and the processor also has VBMI.
bool runs_avx512_vbmi() noexcept;

const char* level_name(Level l) noexcept;

}  // namespace lumra::simd
