// The instruction-set levels: the cap that tests, fuzz targets and
// benchmarks use holds the kernels at or below a level and lifts again, and
// never raises them above what the processor runs.
#include <gtest/gtest.h>

#include "simd/isa.h"
#include "support/isa_levels.h"

namespace {

using lumra::simd::Level;

TEST(InstructionSetLevels, CapHoldsTheKernelsAtOrBelowALevelAndLifts) {
    const Level machine = lumra::simd::machine_level();
    EXPECT_EQ(lumra::simd::level(), machine);
    EXPECT_TRUE(lumra::simd::runs(Level::baseline));
    for (Level cap : {Level::baseline, Level::avx2, Level::avx512}) {
        SCOPED_TRACE(lumra::simd::level_name(cap));
        const lumra_test::LevelCap capped(cap);
        const Level expected = cap < machine ? cap : machine;
        EXPECT_EQ(lumra::simd::level(), expected);
        EXPECT_EQ(lumra::simd::runs(Level::avx2), expected >= Level::avx2);
        EXPECT_EQ(lumra::simd::runs(Level::avx512), expected >= Level::avx512);
        if (expected < Level::avx512) {
            EXPECT_FALSE(lumra::simd::runs_avx512_vbmi());
        }
    }
    EXPECT_EQ(lumra::simd::level(), machine);
}

TEST(InstructionSetLevels, EveryLevelTheMachineHasIsListedOnce) {
    const std::vector<Level> levels = lumra_test::machine_levels();
    ASSERT_FALSE(levels.empty());
    EXPECT_EQ(levels.front(), Level::baseline);
    EXPECT_EQ(levels.back(), lumra::simd::machine_level());
    for (size_t i = 1; i < levels.size(); ++i) EXPECT_LT(levels[i - 1], levels[i]);
#if !LUMRA_SIMD_X86
    EXPECT_EQ(lumra::simd::machine_level(), Level::baseline);  // no wider path is compiled
#endif
}

}  // namespace
