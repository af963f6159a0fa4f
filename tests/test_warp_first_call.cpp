// The first bicubic warps of a process, started together on several threads:
// the weight table is built once and no caller sees it half built. Kept in a
// program of its own so that these really are the first bicubic calls (and so
// that the ThreadSanitizer build compiles little).
#include <gtest/gtest.h>

#include <latch>
#include <thread>
#include <vector>

#include "correct/bicubic_weights.h"
#include "lumra.h"
#include "support/correct_reference.h"
#include "support/image.h"

namespace {

TEST(WarpFirstCall, ConcurrentFirstBicubicCallsAgree) {
    constexpr int kThreads = 4;
    constexpr uint64_t kHeight = 24, kWidth = 32, kChannels = 3;
    lumra_test::Image<float> source(kHeight, kWidth, kChannels);
    lumra_test::fill_random(source.pixels);
    const double radial[] = {1.0, 0.05, -0.02, 0.01};
    const double tangential[] = {0.003, -0.002};

    std::vector<lumra_test::Image<float>> results(kThreads, lumra_test::Image<float>(kHeight, kWidth, kChannels));
    std::vector<LumraStatus> statuses(kThreads, LUMRA_ERR_UNSUPPORTED);
    std::vector<const float*> tables(kThreads, nullptr);
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            statuses[t] = lumra_warp_rectilinear(source.get(), results[t].get(), radial, 1, 4, tangential, 0.45,
                                                 0.55, true);
            tables[t] = lumra::bicubic_weight_table();
        });
    for (auto& thread : threads) thread.join();

    std::vector<float> expected(kHeight * kWidth * kChannels, 0.0f);
    lumra_test::reference_warp(source.pixels, expected, kHeight, kWidth, kChannels, radial, 1, 4, tangential, 0.45,
                               0.55, true);
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(statuses[t], LUMRA_OK);
        EXPECT_EQ(tables[t], tables[0]);
        EXPECT_TRUE(lumra_test::same_bits(results[t].pixels, expected)) << "thread " << t;
    }
}

}  // namespace
