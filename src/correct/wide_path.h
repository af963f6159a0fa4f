// Run-time choice of the corrections' wider instruction paths. Each kernel
// family asks once per call whether to take its AVX2 (or AVX-512) path; the
// baseline path is always built, and tests can force the narrower paths to
// compare them all against the same expectations.
#pragma once

namespace lumra {

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define LUMRA_HAS_AVX2_PATH 1
// Functions compiled for AVX2 (never with fused multiply-add: contraction
// stays off and no FMA intrinsic is used), and the bodies shared with the
// baseline path, inlined into each so both run the same operations.
#define LUMRA_TARGET_AVX2 __attribute__((target("avx2")))
#define LUMRA_SHARED_BODY inline __attribute__((always_inline))
#else
#define LUMRA_HAS_AVX2_PATH 0
#define LUMRA_SHARED_BODY inline
#endif

enum class WidePath { widest, avx2, baseline };

// For tests: WidePath::baseline makes every kernel take its baseline path,
// WidePath::avx2 keeps kernels from their AVX-512 paths.
void use_wide_path(WidePath path) noexcept;

// True when the processor runs AVX2 and the baseline path is not forced.
bool avx2_path() noexcept;

// True when the processor runs AVX-512 (F, DQ and VL) and no narrower path
// is forced.
bool avx512_path() noexcept;

}  // namespace lumra
