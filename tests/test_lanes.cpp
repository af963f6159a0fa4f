// The lane vocabulary: every operation gives the same bits on one float and
// in four, eight and sixteen lanes, for the values where the instruction sets
// differ from plain C++ (NaN, signed zeros, infinities, ties in the limits,
// values beyond the integer range): a kernel written once over the
// vocabulary then gives the same bits at every level. Whether a result is NaN
// is compared, not which NaN: the compiler may swap the operands of a sum or
// product of two NaNs, which picks the other payload.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "simd/lanes.h"
#include "simd/lanes_avx2.h"
#include "simd/lanes_avx512.h"

namespace {

using namespace lumra;

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

const std::vector<float> kSpecial = {0.0f,  -0.0f, 1.0f,   -1.0f,  0.5f,   6.0f,          -6.0f, 12.0f,
                                     1e30f, -1e30f, kInf,  -kInf,  kNaN,   -kNaN,         1e-45f, 2147483648.0f,
                                     -2147483904.0f, 16777217.0f, 3.5f, -3.5f, 2147483520.0f, 255.5f, 65535.0f, 1e-3f};

constexpr int kOps = 16;

// Every operation on a and b (one pair per lane), into out[op * n + i].
template <typename V>
LUMRA_SHARED_BODY void run_ops(const float* a, const float* b, float* out, size_t n) {
    for (size_t i = 0; i < n; i += kLanesOf<V>) {
        const V x = load(a + i, V{}), y = load(b + i, V{});
        const V results[kOps] = {x + y,
                                 x - y,
                                 x * y,
                                 x / y,
                                 lower_limit(x, y),
                                 upper_limit(x, y),
                                 lower_limit_keeping_nan(x, y),
                                 limit_high(x, y),
                                 limit_high_then_low(x, y, V(1.0f)),
                                 select(greater(x, y), x, y),
                                 select(either(less(x, y), equal(x, y)), x, V(7.0f)),
                                 zero_unless(both(greater_equal(x, y), less_equal(y, V(1.0f))), x),
                                 zero_where(not_greater(x, y), x),
                                 select(negate(less(x, y)), magnitude(x), y),
                                 whole_part(x),
                                 clamp_unit(x)};
        for (int op = 0; op < kOps; ++op) store(out + op * n + i, results[op]);
    }
}

void run_float(const float* a, const float* b, float* out, size_t n) { run_ops<float>(a, b, out, n); }
void run_four(const float* a, const float* b, float* out, size_t n) { run_ops<Lanes>(a, b, out, n); }
#if LUMRA_SIMD_X86
LUMRA_TARGET_AVX2 void run_eight(const float* a, const float* b, float* out, size_t n) {
    run_ops<Lanes8>(a, b, out, n);
}
LUMRA_TARGET_AVX512 void run_sixteen(const float* a, const float* b, float* out, size_t n) {
    run_ops<Lanes16>(a, b, out, n);
}
#endif

uint32_t bits(float x) {
    uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

TEST(Lanes, EveryWidthGivesTheBitsOfOneFloat) {
    std::vector<float> a, b;
    for (float x : kSpecial)
        for (float y : kSpecial) a.push_back(x), b.push_back(y);
    while (a.size() % 16 != 0) a.push_back(1.0f), b.push_back(2.0f);
    const size_t n = a.size();
    std::vector<float> expected(kOps * n);
    run_float(a.data(), b.data(), expected.data(), n);

    const auto check = [&](void (*run)(const float*, const float*, float*, size_t), const char* width) {
        std::vector<float> got(kOps * n);
        run(a.data(), b.data(), got.data(), n);
        for (int op = 0; op < kOps; ++op) {
            for (size_t i = 0; i < n; ++i) {
                const float g = got[op * n + i], e = expected[op * n + i];
                if (std::isnan(g) && std::isnan(e)) continue;
                ASSERT_EQ(bits(g), bits(e)) << width << " lanes, operation " << op << ", a = " << a[i]
                                            << ", b = " << b[i];
            }
        }
    };
    check(run_four, "four");
#if LUMRA_SIMD_X86
    if (simd::machine_level() >= simd::Level::avx2) check(run_eight, "eight");
    if (simd::machine_level() >= simd::Level::avx512) check(run_sixteen, "sixteen");
#endif
}

TEST(Lanes, WholePartOutsideTheIntegerRangeIsTheProcessorsIndefiniteValue) {
    for (float x : {kNaN, kInf, -kInf, 2147483648.0f, -2147483904.0f, 1e30f})
        EXPECT_EQ(whole_part(x), -2147483648.0f) << x;
    EXPECT_EQ(whole_part(-2147483648.0f), -2147483648.0f);
    EXPECT_EQ(whole_part(-3.5f), -3.0f);
    EXPECT_EQ(bits(whole_part(-0.5f)), bits(0.0f));  // through an integer, so +0
}

}  // namespace
