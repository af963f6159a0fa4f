// Runs tests at every instruction-set level the machine has (simd/isa.h):
// the kernels are capped at each level in turn, so the baseline path and each
// wider path are checked against the same expectations. Levels the machine
// lacks are skipped (reported as skipped, not passed).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simd/isa.h"

namespace lumra_test {

using lumra::simd::Level;

// The levels this machine runs, baseline first.
inline std::vector<Level> machine_levels() {
    std::vector<Level> levels;
    for (int l = 0; l <= static_cast<int>(lumra::simd::machine_level()); ++l) levels.push_back(static_cast<Level>(l));
    return levels;
}

// While alive, the kernels run at most `level`.
class LevelCap {
public:
    explicit LevelCap(Level level) { lumra::simd::cap_level(level); }
    ~LevelCap() { lumra::simd::cap_level(lumra::simd::kWidestLevel); }
    LevelCap(const LevelCap&) = delete;
    LevelCap& operator=(const LevelCap&) = delete;
};

// body() once per level the machine runs, the kernels capped at that level;
// failures name the level.
template <typename Body>
void at_every_level(Body&& body) {
    for (Level level : machine_levels()) {
        SCOPED_TRACE(std::string("level ") + lumra::simd::level_name(level));
        const LevelCap cap(level);
        body();
    }
}

// A parameterised suite run once per level (LUMRA_AT_EVERY_LEVEL below).
class EveryLevel : public ::testing::TestWithParam<Level> {
protected:
    void SetUp() override {
        if (GetParam() > lumra::simd::machine_level())
            GTEST_SKIP() << "the processor lacks " << lumra::simd::level_name(GetParam());
        lumra::simd::cap_level(GetParam());
    }
    void TearDown() override { lumra::simd::cap_level(lumra::simd::kWidestLevel); }
};

inline std::string level_test_name(const ::testing::TestParamInfo<Level>& info) {
    return lumra::simd::level_name(info.param);
}

}  // namespace lumra_test

// Instantiates `Suite` (derived from EveryLevel) once per level.
#define LUMRA_AT_EVERY_LEVEL(Suite)                                                                         \
    INSTANTIATE_TEST_SUITE_P(Levels, Suite,                                                                 \
                             ::testing::Values(lumra::simd::Level::baseline, lumra::simd::Level::avx2,      \
                                               lumra::simd::Level::avx512),                                 \
                             lumra_test::level_test_name)
