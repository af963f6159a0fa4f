// The colour rules of a development: the camera unit's calibration and analog
// balance (the calibration only for the profile it was measured with),
// AsShotWhiteXY in place of AsShotNeutral, tables indexed in sRGB-encoded
// values, and the tone curve as a smooth spline through its points.
#include "develop/color_setup.h"
#include "develop/hue_sat_encoded.h"
#include "develop/pipeline.h"
#include "develop/tone_spline.h"
#include "dng/dng_reader.h"
#include "sample/camera.h"
#include "tool_test_support.h"

#include <lumra.h>

#include <cmath>
#include <random>

namespace lumra_tools {
namespace {

using testing::TempDir;

ColorSetup setup_of(const DngFile& dng) {
    ColorSetup s;
    std::string error;
    EXPECT_TRUE(setup_color(dng, dng.profile, s, error)) << error;
    return s;
}

// a is b up to one common factor (the exposure of the unit's white).
void expect_proportional(const Mat3& a, const Mat3& b, double tolerance, const char* what) {
    const double k = a[4] / b[4];
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(a[i], k * b[i], tolerance) << what << " element " << i;
}

TEST(CameraCalibration, AppliedOnlyWithAMatchingSignature) {
    for (bool forward : {true, false}) {
        const char* path = forward ? "forward matrices" : "colour matrices";
        DngFile reference = make_sample_dng(16, 16);
        if (!forward) reference.profile.forward_matrix1.clear(), reference.profile.forward_matrix2.clear();
        // This unit sees the reference camera's values through CC and AB.
        const Mat3 cc{1.10, 0.02, 0.0, -0.01, 0.97, 0.0, 0.0, 0.03, 0.88};
        const Vec3 ab{1.05, 1.0, 0.95};
        const Mat3 unit = multiply(diagonal3(ab), cc);
        DngFile calibrated = reference;
        calibrated.camera_calibration1.assign(cc.begin(), cc.end());
        calibrated.camera_calibration2.assign(cc.begin(), cc.end());
        calibrated.analog_balance.assign(ab.begin(), ab.end());
        const Vec3 n = multiply(unit, Vec3{reference.as_shot_neutral[0], reference.as_shot_neutral[1],
                                           reference.as_shot_neutral[2]});
        calibrated.as_shot_neutral.assign(n.begin(), n.end());
        const Mat3 expected = setup_of(reference).camera_to_prophoto;

        // No signature on either side counts as a match: the unit's values develop as the reference's.
        expect_proportional(multiply(setup_of(calibrated).camera_to_prophoto, unit), expected, 1e-9, path);
        calibrated.camera_calibration_signature = calibrated.profile.calibration_signature = "unit 7";
        expect_proportional(multiply(setup_of(calibrated).camera_to_prophoto, unit), expected, 1e-9, path);

        // A profile measured for another signature ignores the calibration, not the analog balance.
        calibrated.profile.calibration_signature = "another camera";
        const Mat3 ignored = setup_of(calibrated).camera_to_prophoto;
        DngFile balance_only = calibrated;
        balance_only.camera_calibration1.clear();
        balance_only.camera_calibration2.clear();
        const Mat3 balance = setup_of(balance_only).camera_to_prophoto;
        for (int i = 0; i < 9; ++i) EXPECT_DOUBLE_EQ(ignored[i], balance[i]) << path;
        calibrated.camera_calibration_signature.clear();  // the camera unsigned, the profile signed
        const Mat3 unsigned_camera = setup_of(calibrated).camera_to_prophoto;
        for (int i = 0; i < 9; ++i) EXPECT_DOUBLE_EQ(unsigned_camera[i], balance[i]) << path;
    }
}

TEST(CameraCalibration, TagsTravelThroughTheFile) {
    TempDir dir;
    DngFile dng = make_sample_dng(16, 16);
    dng.camera_calibration1 = {1.125, 0, 0, 0, 1, 0, 0, 0, 0.875};  // exact as rationals
    dng.analog_balance = {1.0, 1.0, 0.5};
    dng.camera_calibration_signature = "lumra unit";
    dng.profile.calibration_signature = "lumra unit";
    std::string error;
    ASSERT_TRUE(write_dng(dir.file("c.dng"), dng, error)) << error;
    DngFile read;
    ASSERT_TRUE(read_dng(dir.file("c.dng"), read, error)) << error;
    EXPECT_EQ(read.camera_calibration1, dng.camera_calibration1);
    EXPECT_TRUE(read.camera_calibration2.empty());
    EXPECT_EQ(read.analog_balance, dng.analog_balance);
    EXPECT_EQ(read.camera_calibration_signature, "lumra unit");
    EXPECT_EQ(read.profile.calibration_signature, "lumra unit");
    // A negative analog balance is refused.
    dng.analog_balance = {1.0, -1.0, 1.0};
    ASSERT_TRUE(write_dng(dir.file("bad.dng"), dng, error)) << error;
    EXPECT_FALSE(read_dng(dir.file("bad.dng"), read, error));
    EXPECT_NE(error.find("AnalogBalance"), std::string::npos) << error;
}

TEST(AsShotWhiteXY, StandsInForAMissingNeutral) {
    TempDir dir;
    const DngFile by_neutral = make_sample_dng(32, 24);
    const ColorSetup expected = setup_of(by_neutral);
    DngFile by_white = by_neutral;
    by_white.as_shot_neutral.clear();
    by_white.as_shot_white_xy = {expected.white.x, expected.white.y};
    std::string error;
    ASSERT_TRUE(write_dng(dir.file("xy.dng"), by_white, error)) << error;
    DngFile read;
    ASSERT_TRUE(read_dng(dir.file("xy.dng"), read, error)) << error;
    ASSERT_TRUE(read.as_shot_neutral.empty());
    ASSERT_EQ(read.as_shot_white_xy.size(), 2u);
    const ColorSetup got = setup_of(read);
    // The white travels as rationals: close, not exact.
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(got.neutral[k], expected.neutral[k], 1e-5);
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(got.camera_to_prophoto[i], expected.camera_to_prophoto[i], 1e-4);
    DevelopOptions options;
    DevelopedImage a, b;
    DevelopReport report;
    ASSERT_TRUE(develop(by_neutral, by_neutral.profile, options, a, report, error)) << error;
    ASSERT_TRUE(develop(read, read.profile, options, b, report, error)) << error;
    ASSERT_EQ(a.rgb8.size(), b.rgb8.size());
    for (size_t i = 0; i < a.rgb8.size(); ++i) ASSERT_LE(std::abs(int(a.rgb8[i]) - int(b.rgb8[i])), 1) << i;
    // Without either, the camera's white is D50's response.
    DngFile neither = by_neutral;
    neither.as_shot_neutral.clear();
    EXPECT_NEAR(setup_of(neither).white.x, kD50.x, 1e-12);
}

std::vector<float> random_table(int hue, int sat, int val, std::mt19937& rng) {
    std::uniform_real_distribution<float> shift(-30.0f, 30.0f), scale(0.6f, 1.4f);
    std::vector<float> t;
    for (int i = 0; i < std::max(val, 1) * hue * sat; ++i) {
        t.push_back(shift(rng));
        t.push_back(scale(rng));
        t.push_back(scale(rng));
    }
    return t;
}

TEST(EncodedTables, LinearIndexingIsTheLibrarysAndSrgbIndexingReadsTheEncodedValue) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> value(-0.1f, 1.3f);
    for (const auto& [hue, sat, val] : {std::array<int, 3>{6, 2, 0}, {12, 3, 4}, {1, 5, 9}}) {
        const std::vector<float> table = random_table(hue, sat, val, rng);
        std::vector<float> pixels(3 * 4000);
        for (float& v : pixels) v = value(rng);
        pixels[0] = pixels[1] = pixels[2] = 0.5f;  // grey
        pixels[3] = NAN;                           // left alone
        std::vector<float> ours = pixels, library = pixels;
        apply_hue_sat_map_encoded(ours.data(), pixels.size() / 3, table.data(), hue, sat, val, false);
        LumraImage view{library.data(), 1, uint32_t(pixels.size() / 3), 3, LUMRA_DTYPE_FLOAT32, 0};
        ASSERT_EQ(lumra_apply_hue_sat_map(&view, table.data(), hue, sat, val), LUMRA_OK);
        for (size_t i = 0; i < pixels.size(); ++i)
            if (!(std::isnan(ours[i]) && std::isnan(library[i]))) {
                ASSERT_EQ(ours[i], library[i]) << hue << " " << i;
            }
    }
    // Two value slices: value scale 1 at value 0 and 2 at value 1, no hue or saturation change.
    std::vector<float> table;
    for (float kv : {1.0f, 2.0f})
        for (int i = 0; i < 6 * 2; ++i) table.insert(table.end(), {0.0f, 1.0f, kv});
    float linear[3] = {0.2f, 0.1f, 0.05f}, encoded[3] = {0.2f, 0.1f, 0.05f};
    apply_hue_sat_map_encoded(linear, 1, table.data(), 6, 2, 2, false);
    apply_hue_sat_map_encoded(encoded, 1, table.data(), 6, 2, 2, true);
    EXPECT_NEAR(linear[0], 0.2 * 1.2, 1e-6);
    const double e = srgb_encode(0.2);  // about 0.48
    EXPECT_NEAR(encoded[0], 0.2 * (1.0 + e), 1e-4);
    // Hue and saturation are untouched: the channels keep their ratios.
    EXPECT_NEAR(encoded[1] / encoded[0], 0.5, 1e-5);
    EXPECT_NEAR(encoded[2] / encoded[0], 0.25, 1e-5);
}

TEST(EncodedTables, DevelopmentUsesTheEncodingWithoutWarning) {
    DngFile dng = make_sample_dng(32, 24);
    dng.profile.look_dims = {6, 2, 2};
    dng.profile.look_data.clear();
    for (float kv : {1.0f, 1.5f})
        for (int i = 0; i < 6 * 2; ++i) dng.profile.look_data.insert(dng.profile.look_data.end(), {0.0f, 1.0f, kv});
    DevelopOptions options;
    DevelopedImage linear, encoded;
    DevelopReport linear_report, encoded_report;
    std::string error;
    ASSERT_TRUE(develop(dng, dng.profile, options, linear, linear_report, error)) << error;
    dng.profile.look_encoding = 1;
    ASSERT_TRUE(develop(dng, dng.profile, options, encoded, encoded_report, error)) << error;
    EXPECT_TRUE(encoded_report.warnings.empty()) << encoded_report.warnings.front();
    // Dark values sit higher on the sRGB-encoded axis: they get more of the lift.
    double sum_linear = 0, sum_encoded = 0;
    for (size_t i = 0; i < linear.rgb8.size(); ++i) sum_linear += linear.rgb8[i], sum_encoded += encoded.rgb8[i];
    EXPECT_GT(sum_encoded, sum_linear * 1.02);
}

TEST(ToneCurve, SplineThroughThePointsAndSmooth) {
    const std::vector<double> xs{0.0, 0.1, 0.3, 0.7, 1.0}, ys{0.0, 0.05, 0.35, 0.85, 1.0};
    const ToneSpline spline(xs, ys);
    for (size_t i = 0; i < xs.size(); ++i) EXPECT_NEAR(spline(xs[i]), ys[i], 1e-12);
    // The first derivative is continuous at the inner points, and the second
    // vanishes at the ends (a natural spline).
    const double h = 1e-6;
    for (size_t i = 1; i + 1 < xs.size(); ++i)
        EXPECT_NEAR(spline.slope(xs[i] - h), spline.slope(xs[i] + h), 1e-4) << i;
    const double d = 1e-4;
    EXPECT_NEAR((spline(2 * d) - 2 * spline(d) + spline(0)) / (d * d), 0.0, 0.1);
    EXPECT_NEAR((spline(1) - 2 * spline(1 - d) + spline(1 - 2 * d)) / (d * d), 0.0, 0.1);
    // Between points it is not the straight line: with few points the curve bends.
    const double straight = 0.05 + (0.35 - 0.05) * 0.5;
    EXPECT_GT(std::fabs(spline(0.2) - straight), 0.005);
    // Two points give the straight line; outside the points the ends hold.
    const ToneSpline line({0.0, 1.0}, {0.0, 1.0});
    EXPECT_NEAR(line(0.37), 0.37, 1e-12);
    EXPECT_EQ(spline(-0.5), 0.0);
    EXPECT_EQ(spline(1.5), 1.0);
    // The dense table follows the spline and stays in 0..1 where it overshoots.
    const std::vector<float> table = tone_curve_table({0.0f, 0.0f, 0.05f, 0.3f, 0.1f, 0.31f, 1.0f, 1.0f}, 1001);
    for (size_t i = 0; i < table.size(); ++i) ASSERT_TRUE(table[i] >= 0.0f && table[i] <= 1.0f) << i;
    const std::vector<float> curve = tone_curve_table({0.0f, 0.0f, 0.1f, 0.05f, 0.3f, 0.35f, 0.7f, 0.85f, 1.0f, 1.0f}, 1001);
    EXPECT_NEAR(curve[200], spline(0.2), 1e-6);
}

}  // namespace
}  // namespace lumra_tools
