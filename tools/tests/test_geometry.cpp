// The finished picture's geometry: every TIFF orientation on a small
// asymmetric image, the default and user crops, and a whole development whose
// DNG asks for a crop and a quarter turn.
#include "develop/geometry.h"
#include "develop/pipeline.h"
#include "dng/dng_reader.h"
#include "sample/camera.h"
#include "tool_test_support.h"

namespace lumra_tools {
namespace {

using testing::TempDir;
using testing::run_tool;

TEST(Orientation, AllEightValuesOnAnAsymmetricImage) {
    // Stored:  1 2 3
    //          4 5 6
    const uint8_t src[6] = {1, 2, 3, 4, 5, 6};
    const std::vector<std::vector<uint8_t>> expected = {
        {1, 2, 3, 4, 5, 6},  // 1: as stored
        {3, 2, 1, 6, 5, 4},  // 2: mirrored left-right
        {6, 5, 4, 3, 2, 1},  // 3: turned 180 degrees
        {4, 5, 6, 1, 2, 3},  // 4: mirrored top-bottom
        {1, 4, 2, 5, 3, 6},  // 5: transposed (3 rows of 2)
        {4, 1, 5, 2, 6, 3},  // 6: turned 90 degrees clockwise
        {6, 3, 5, 2, 4, 1},  // 7: transverse
        {3, 6, 2, 5, 1, 4},  // 8: turned 90 degrees anticlockwise
    };
    for (uint32_t o = 1; o <= 8; ++o) {
        std::vector<uint8_t> out(6, 0);
        crop_and_orient(src, 3, 1, CropRect{0, 0, 2, 3}, o, out.data());
        EXPECT_EQ(out, expected[o - 1]) << "orientation " << o;
    }
    // Three 16-bit channels move together, and a crop comes first.
    std::vector<uint16_t> rgb(4 * 5 * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = uint16_t(i);
    std::vector<uint16_t> out(2 * 3 * 3);
    crop_and_orient(rgb.data(), 5, 3, CropRect{1, 2, 2, 3}, 6, out.data());
    // Output row 0 is the crop's first column read upwards: pixels (2, 2), (1, 2).
    const std::vector<uint16_t> first_row(out.begin(), out.begin() + 6);
    EXPECT_EQ(first_row, (std::vector<uint16_t>{36, 37, 38, 21, 22, 23}));
}

TEST(DefaultCrop, OriginSizeAndUserCrop) {
    DngFile dng;
    EXPECT_EQ(default_crop(dng, 30, 40).height, 30u);  // no tags: the whole image
    dng.default_crop_origin[0] = 4;  // x
    dng.default_crop_origin[1] = 2;  // y
    dng.default_crop_size[0] = 32;
    dng.default_crop_size[1] = 20.4;  // rounds to 20
    CropRect c = default_crop(dng, 30, 40);
    EXPECT_EQ(c.top, 2u);
    EXPECT_EQ(c.left, 4u);
    EXPECT_EQ(c.height, 20u);
    EXPECT_EQ(c.width, 32u);
    // The user crop is in fractions of the default crop.
    dng.default_user_crop[0] = 0.25;
    dng.default_user_crop[1] = 0.5;
    dng.default_user_crop[2] = 0.75;
    dng.default_user_crop[3] = 1.0;
    c = default_crop(dng, 30, 40);
    EXPECT_EQ(c.top, 7u);
    EXPECT_EQ(c.left, 20u);
    EXPECT_EQ(c.height, 10u);
    EXPECT_EQ(c.width, 16u);
    // A crop larger than what is left of the image is limited to it.
    dng.default_user_crop[0] = dng.default_user_crop[1] = 0;
    dng.default_user_crop[2] = dng.default_user_crop[3] = 1;
    dng.default_crop_size[0] = 400;
    EXPECT_EQ(default_crop(dng, 30, 40).width, 36u);
}

TEST(DefaultCrop, DevelopmentIsCutAndTurnedAsTheDngSays) {
    TempDir dir;
    const DngFile plain = make_sample_dng(48, 32);
    DngFile shaped = plain;
    shaped.default_crop_origin[0] = 6;
    shaped.default_crop_origin[1] = 4;
    shaped.default_crop_size[0] = 36;
    shaped.default_crop_size[1] = 22;
    shaped.default_user_crop[2] = 0.5;  // the upper half of the default crop
    shaped.orientation = 6;
    shaped.default_scale[0] = 1.5;
    std::string error;
    DngWriteOptions sub_ifd;
    sub_ifd.raw_in_sub_ifd = true;  // Orientation lives in IFD 0, the crop with the raw image
    ASSERT_TRUE(write_dng(dir.file("shaped.dng"), shaped, error, sub_ifd)) << error;
    DngFile read;
    ASSERT_TRUE(read_dng(dir.file("shaped.dng"), read, error)) << error;
    EXPECT_EQ(read.orientation, 6u);
    EXPECT_EQ(read.default_crop_size[0], 36);
    EXPECT_EQ(read.default_user_crop[2], 0.5);
    EXPECT_EQ(read.default_scale[0], 1.5);

    // The plain file goes through the same write and read, so that its
    // matrices and white balance carry the same (rational) precision.
    ASSERT_TRUE(write_dng(dir.file("plain.dng"), plain, error, sub_ifd)) << error;
    DngFile plain_read;
    ASSERT_TRUE(read_dng(dir.file("plain.dng"), plain_read, error)) << error;
    DevelopOptions options;
    DevelopedImage full, turned;
    DevelopReport report_full, report;
    ASSERT_TRUE(develop(plain_read, plain_read.profile, options, full, report_full, error)) << error;
    ASSERT_TRUE(develop(read, read.profile, options, turned, report, error)) << error;
    ASSERT_EQ(turned.width, 11u);  // crop 36 x 11, turned a quarter
    ASSERT_EQ(turned.height, 36u);
    for (uint32_t r = 0; r < turned.height; ++r)
        for (uint32_t c = 0; c < turned.width; ++c)
            for (int k = 0; k < 3; ++k) {
                const uint32_t sr = 4 + (10 - c), sc = 6 + r;
                ASSERT_EQ(turned.rgb8[(size_t(r) * turned.width + c) * 3 + k],
                          full.rgb8[(size_t(sr) * full.width + sc) * 3 + k])
                    << r << ", " << c;
            }
    // DefaultScale is reported once and otherwise ignored.
    const auto run = run_tool({dir.file("shaped.dng"), "-o", dir.file("out.png")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("warning: DefaultScale 1.5 x 1 is ignored"), std::string::npos) << run.err;

    // A default crop outside the active area is refused.
    DngFile outside = plain;
    outside.default_crop_origin[0] = 20;
    outside.default_crop_size[0] = 40;
    outside.default_crop_size[1] = 10;
    ASSERT_TRUE(write_dng(dir.file("outside.dng"), outside, error)) << error;
    const auto refused = run_tool({dir.file("outside.dng"), "-o", dir.file("o.png")});
    EXPECT_NE(refused.status, 0);
    EXPECT_NE(refused.err.find("default crop outside its active area"), std::string::npos) << refused.err;
}

}  // namespace
}  // namespace lumra_tools
