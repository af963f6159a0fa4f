// Runs a parameterised test on every instruction path of the corrections:
// the widest the machine has (where it lacks one, that is the baseline),
// AVX2 at most, and the baseline forced, all against the same expectations.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "correct/wide_path.h"

namespace lumra_test {

class WidePaths : public ::testing::TestWithParam<lumra::WidePath> {
protected:
    void SetUp() override { lumra::use_wide_path(GetParam()); }
    void TearDown() override { lumra::use_wide_path(lumra::WidePath::widest); }
};

inline std::string wide_path_name(const ::testing::TestParamInfo<lumra::WidePath>& info) {
    switch (info.param) {
        case lumra::WidePath::widest: return "Widest";
        case lumra::WidePath::avx2: return "Avx2";
        default: return "Baseline";
    }
}

}  // namespace lumra_test

// Instantiates `Suite` (derived from WidePaths) once per path.
#define LUMRA_ON_EVERY_WIDE_PATH(Suite)                                                               \
    INSTANTIATE_TEST_SUITE_P(Paths, Suite,                                                            \
                             ::testing::Values(lumra::WidePath::widest, lumra::WidePath::avx2,        \
                                               lumra::WidePath::baseline),                            \
                             lumra_test::wide_path_name)
