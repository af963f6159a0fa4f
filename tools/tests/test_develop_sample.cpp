// Developing the committed sample reproduces its scene: the chart within a
// mean CIEDE2000 of 2 (maximum 5) in the patch centres, the grey ramp within
// 1%, and switching off any correction stage makes the result measurably worse.
#include "common/colorimetry.h"
#include "develop/color_setup.h"
#include "develop/pipeline.h"
#include "dng/dng_reader.h"
#include "sample/camera.h"
#include "sample/scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

namespace lumra_tools {
namespace {

struct Quality {
    double mean_de = 0, max_de = 0;  // chart patch centres
    double ramp_error = 0;           // largest relative error of a ramp step, linear
    double worst_pixel = 0;          // largest sRGB deviation of one pixel from its patch's reference
};

const DngFile& sample() {
    static const DngFile dng = [] {
        DngFile d;
        std::string error;
        EXPECT_TRUE(read_dng(LUMRA_SAMPLE_DNG, d, error)) << error;
        return d;
    }();
    return dng;
}

Vec3 mean_in(const DevelopedImage& image, const Box& box) {
    Vec3 sum{0, 0, 0};
    int count = 0;
    for (int r = int(box.y0); r < int(box.y1); ++r)
        for (int c = int(box.x0); c < int(box.x1); ++c, ++count)
            for (int k = 0; k < 3; ++k) sum[k] += image.rgb16[(size_t(r) * image.width + c) * 3 + k] / 65535.0;
    for (double& v : sum) v /= count;
    return sum;
}

Quality develop_and_measure(const std::set<std::string>& skip) {
    DevelopOptions options;
    options.bits = 16;
    options.skip = skip;
    DevelopedImage image;
    DevelopReport report;
    std::string error;
    Quality q;
    if (!develop(sample(), sample().profile, options, image, report, error)) {
        ADD_FAILURE() << error;
        return q;
    }
    const SampleScene scene(image.width, image.height);
    for (int p = 0; p < SampleScene::kPatches; ++p) {
        const auto& s = SampleScene::chart_srgb()[p];
        const Vec3 reference{s[0] / 255.0, s[1] / 255.0, s[2] / 255.0};
        const Box box = scene.patch_centre(p);
        const double de = delta_e_2000(srgb_to_lab(reference), srgb_to_lab(mean_in(image, box)));
        q.mean_de += de / SampleScene::kPatches;
        q.max_de = std::max(q.max_de, de);
        for (int r = int(box.y0); r < int(box.y1); ++r)
            for (int c = int(box.x0); c < int(box.x1); ++c)
                for (int k = 0; k < 3; ++k)
                    q.worst_pixel = std::max(
                        q.worst_pixel, std::fabs(image.rgb16[(size_t(r) * image.width + c) * 3 + k] / 65535.0 - reference[k]));
    }
    for (int step = 0; step < SampleScene::kRampSteps; ++step) {
        const Vec3 encoded = mean_in(image, scene.ramp_centre(step));
        const double measured = srgb_decode((encoded[0] + encoded[1] + encoded[2]) / 3.0);
        const double truth = SampleScene::ramp_linear(step);
        q.ramp_error = std::max(q.ramp_error, std::fabs(measured - truth) / truth);
    }
    return q;
}

// Each development is measured once per test program (they are slow under
// the sanitizers).
Quality measure(const std::set<std::string>& skip) {
    static std::map<std::set<std::string>, Quality> measured;
    const auto found = measured.find(skip);
    if (found != measured.end()) return found->second;
    return measured[skip] = develop_and_measure(skip);
}

TEST(DevelopSample, ReproducesTheChartAndTheGreyRamp) {
    const Quality q = measure({});
    RecordProperty("mean_de2000", std::to_string(q.mean_de));
    RecordProperty("max_de2000", std::to_string(q.max_de));
    RecordProperty("ramp_error", std::to_string(q.ramp_error));
    std::printf("chart: mean dE2000 %.3f, max %.3f; grey ramp: largest error %.3f%%\n", q.mean_de, q.max_de,
                100.0 * q.ramp_error);
    EXPECT_LT(q.mean_de, 2.0);
    EXPECT_LT(q.max_de, 5.0);
    EXPECT_LT(q.ramp_error, 0.01);
}

TEST(DevelopSample, EachCorrectionStageMatters) {
    const Quality all = measure({});
    const Quality no_bad_pixels = measure({"bad-pixels"});
    const Quality no_shading = measure({"gain-map"});
    const Quality no_vignette = measure({"vignette"});
    // Dead pixels sit in the measured areas: unrepaired, they leave dark spots.
    EXPECT_GT(no_bad_pixels.worst_pixel, all.worst_pixel + 0.05);
    // Shading and fall-off darken the frame towards its corners.
    EXPECT_GT(no_shading.mean_de, all.mean_de + 1.0);
    EXPECT_GT(no_shading.ramp_error, all.ramp_error + 0.05);
    EXPECT_GT(no_vignette.mean_de, all.mean_de + 1.0);
    EXPECT_GT(no_vignette.ramp_error, all.ramp_error + 0.05);
}

TEST(DevelopSample, ProfileStagesChangeTheResult) {
    const Quality all = measure({});
    EXPECT_GT(measure({"tone-curve"}).mean_de, all.mean_de + 0.3);
    EXPECT_GT(measure({"exposure"}).ramp_error, 0.2);
}

TEST(DevelopSample, CommittedSampleIsTheGeneratorsOutput) {
    const DngFile fresh = make_sample_dng(sample().width, sample().height);
    EXPECT_EQ(fresh.raw == sample().raw, true) << "regenerate tools/sample/lumra-sample.dng with make-sample-dng";
    EXPECT_EQ(fresh.opcode_list2, sample().opcode_list2);
    EXPECT_EQ(fresh.profile.hue_sat_dims, sample().profile.hue_sat_dims);
}

TEST(DevelopSample, WhiteBalanceFindsTheSceneIlluminant) {
    ColorSetup setup;
    std::string error;
    ASSERT_TRUE(setup_color(sample(), sample().profile, setup, error)) << error;
    EXPECT_NEAR(setup.white.x, kD65.x, 2e-4);
    EXPECT_NEAR(setup.white.y, kD65.y, 2e-4);
    EXPECT_LT(setup.weight1, 0.01);  // all but entirely the D65 calibration
    EXPECT_DOUBLE_EQ(setup.exposure_ev, 0.5);
}

}  // namespace
}  // namespace lumra_tools
