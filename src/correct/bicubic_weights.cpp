// The cubic resampling weights, built once per process.
#include "correct/bicubic_weights.h"

#include <cmath>

namespace lumra {
namespace {

// Cubic convolution kernel with parameter -0.75.
double cubic_kernel(double distance) {
    const double d = std::fabs(distance);
    if (d < 1.0) return d * d * (1.25 * d - 2.25) + 1.0;
    if (d < 2.0) return ((3.75 - 0.75 * d) * d - 6.0) * d + 3.0;
    return 0.0;
}

void kernel_taps(int index, double taps[4]) {
    const double f = index / static_cast<double>(kBicubicSteps);
    taps[0] = cubic_kernel(-1.0 - f);
    taps[1] = cubic_kernel(f);
    taps[2] = cubic_kernel(1.0 - f);
    taps[3] = cubic_kernel(2.0 - f);
}

struct WeightTable {
    float entries[kBicubicSteps * kBicubicSteps * kBicubicTaps];

    WeightTable() noexcept {
        for (int a = 0; a < kBicubicSteps; ++a) {
            double rows[4];
            kernel_taps(a, rows);
            for (int b = 0; b < kBicubicSteps; ++b) {
                double cols[4];
                kernel_taps(b, cols);
                float* entry = entries + (a * kBicubicSteps + b) * kBicubicTaps;
                float sum = 0.0f;
                for (int t = 0; t < 4; ++t)
                    for (int u = 0; u < 4; ++u) {
                        entry[t * 4 + u] = static_cast<float>(rows[t] * cols[u]);
                        sum += entry[t * 4 + u];
                    }
                // Normalise so that each entry sums to 1 up to rounding.
                const float inv_sum = 1.0f / sum;
                for (int i = 0; i < kBicubicTaps; ++i) entry[i] *= inv_sum;
            }
        }
    }
};

}  // namespace

const float* bicubic_weight_table() noexcept {
    // A function-local static: built on the first call, and the language's
    // one-time initialisation makes concurrent first calls wait for it. It
    // lives in static storage, so building it allocates nothing.
    static const WeightTable g_bicubic_weights_2d;
    return g_bicubic_weights_2d.entries;
}

}  // namespace lumra
