// Written files carry the ICC profile of their colour space (PNG iCCP, TIFF
// tag 34675, JPEG APP2), LittleCMS reads each back with the space's primaries
// and curve, JPEG output matches the PNG of the same development, and the
// command line chooses formats, spaces and quality as its help says.
#include "common/colorimetry.h"
#include "develop/icc_profiles.h"
#include "develop/output_space.h"
#include "sample/camera.h"
#include "tool_test_support.h"

#include <jpeglib.h>
#include <lcms2.h>
#include <png.h>
#include <tiffio.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <memory>

namespace lumra_tools {
namespace {

using testing::TempDir;
using testing::run_tool;

struct ReadImage {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;  // 8-bit images only
    std::vector<uint8_t> icc;
};

bool read_png(const std::string& path, ReadImage& out) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    out.width = png_get_image_width(png, info);
    out.height = png_get_image_height(png, info);
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &length)) out.icc.assign(profile, profile + length);
    if (png_get_bit_depth(png, info) == 8) {
        out.rgb.resize(size_t(out.width) * out.height * 3);
        for (uint32_t r = 0; r < out.height; ++r) png_read_row(png, out.rgb.data() + size_t(r) * out.width * 3, nullptr);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return true;
}

struct JpegFailure {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

bool read_jpeg(const std::string& path, ReadImage& out) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    jpeg_decompress_struct cinfo;
    JpegFailure failure;
    cinfo.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<JpegFailure*>(c->err)->jump, 1); };
    if (setjmp(failure.jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::fclose(f);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, f);
    jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&cinfo, TRUE);
    JOCTET* icc = nullptr;
    unsigned icc_length = 0;
    if (jpeg_read_icc_profile(&cinfo, &icc, &icc_length)) {
        out.icc.assign(icc, icc + icc_length);
        std::free(icc);
    }
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    out.width = cinfo.output_width;
    out.height = cinfo.output_height;
    out.rgb.resize(size_t(out.width) * out.height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.rgb.data() + size_t(cinfo.output_scanline) * out.width * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(f);
    return true;
}

std::vector<uint8_t> read_tiff_icc(const std::string& path) {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return {};
    uint32_t count = 0;
    void* data = nullptr;
    std::vector<uint8_t> icc;
    if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &count, &data) && data)
        icc.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + count);
    TIFFClose(tif);
    return icc;
}

// LittleCMS parses the profile, and its D50-adapted colorants and curve are
// those of the space.
void expect_profile_of(const std::vector<uint8_t>& icc, OutputSpace space) {
    ASSERT_FALSE(icc.empty());
    std::unique_ptr<void, decltype(&cmsCloseProfile)> h(cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size())),
                                                         &cmsCloseProfile);
    ASSERT_TRUE(h);
    EXPECT_EQ(cmsGetColorSpace(h.get()), cmsSigRgbData);
    EXPECT_EQ(cmsGetPCS(h.get()), cmsSigXYZData);
    const RgbSpace& s = rgb_space(space);
    const Mat3 expected = multiply(bradford(s.white, kD50), rgb_to_xyz(s));
    const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
    for (int k = 0; k < 3; ++k) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(h.get(), tags[k]));
        ASSERT_TRUE(xyz) << s.name;
        EXPECT_NEAR(xyz->X, expected[0 + k], 2e-3) << s.name << " primary " << k;
        EXPECT_NEAR(xyz->Y, expected[3 + k], 2e-3) << s.name << " primary " << k;
        EXPECT_NEAR(xyz->Z, expected[6 + k], 2e-3) << s.name << " primary " << k;
    }
    const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(h.get(), cmsSigRedTRCTag));
    ASSERT_TRUE(curve);
    const double half = s.srgb_curve ? srgb_decode(0.5) : std::pow(0.5, 1.8);
    EXPECT_NEAR(cmsEvalToneCurveFloat(curve, 0.5f), half, 1e-3) << s.name;
}

TEST(OutputSpaces, ProfilesCarryTheSpacesPrimariesAndCurves) {
    for (OutputSpace space : {OutputSpace::srgb, OutputSpace::display_p3, OutputSpace::prophoto})
        expect_profile_of(icc_profile(space), space);
    // The primaries agree with the published matrices the developer uses.
    const Mat3 srgb = rgb_to_xyz(rgb_space(OutputSpace::srgb)), pro = rgb_to_xyz(rgb_space(OutputSpace::prophoto));
    for (int i = 0; i < 9; ++i) {
        EXPECT_NEAR(srgb[i], srgb_to_xyz()[i], 5e-4);
        EXPECT_NEAR(pro[i], prophoto_to_xyz()[i], 5e-4);
    }
    // Display P3 reaches further than sRGB: its red is outside sRGB.
    const Vec3 p3_red = multiply(prophoto_to_output(OutputSpace::srgb),
                                 multiply(inverse_of(prophoto_to_output(OutputSpace::display_p3)), Vec3{1, 0, 0}));
    EXPECT_GT(p3_red[0], 1.0);
    EXPECT_LT(p3_red[1], 0.0);
}

class OutputFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(write_dng(input_, make_sample_dng(48, 32), error)) << error;
    }
    TempDir dir_;
    std::string input_ = dir_.file("in.dng");
};

TEST_F(OutputFiles, EveryFormatEmbedsTheProfileOfItsSpace) {
    for (OutputSpace space : {OutputSpace::srgb, OutputSpace::display_p3, OutputSpace::prophoto}) {
        const std::string name = rgb_space(space).name;
        ASSERT_EQ(run_tool({input_, "--space", name, "-o", dir_.file(name + ".png")}).status, 0);
        ASSERT_EQ(run_tool({input_, "--space", name, "-o", dir_.file(name + ".tif")}).status, 0);
        ASSERT_EQ(run_tool({input_, "--space", name, "-o", dir_.file(name + ".jpg")}).status, 0);
        ReadImage png, jpeg;
        ASSERT_TRUE(read_png(dir_.file(name + ".png"), png));
        expect_profile_of(png.icc, space);
        expect_profile_of(read_tiff_icc(dir_.file(name + ".tif")), space);
        ASSERT_TRUE(read_jpeg(dir_.file(name + ".jpg"), jpeg));
        expect_profile_of(jpeg.icc, space);
        // The profile travels in an APP2 marker named ICC_PROFILE.
        const std::vector<char> bytes = testing::read_file(dir_.file(name + ".jpg"));
        const std::string marker("\xFF\xE2", 2);
        const size_t at = std::string(bytes.begin(), bytes.end()).find(marker);
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(std::string(bytes.data() + at + 4, 11), "ICC_PROFILE");
        // The JPEG holds the same picture as the PNG, within its compression
        // (of a small and noisy image: a swapped channel or wrong curve is far off).
        ASSERT_EQ(jpeg.width, png.width);
        ASSERT_EQ(jpeg.height, png.height);
        double error = 0;
        for (size_t i = 0; i < png.rgb.size(); ++i) error += std::abs(int(png.rgb[i]) - int(jpeg.rgb[i]));
        EXPECT_LT(error / double(png.rgb.size()), 6.0) << name;
    }
}

TEST_F(OutputFiles, QualityFormatAndNamesChooseTheOutput) {
    ASSERT_EQ(run_tool({input_, "--quality", "10", "-o", dir_.file("low.jpeg")}).status, 0);
    ASSERT_EQ(run_tool({input_, "--quality", "100", "-o", dir_.file("high.JPG")}).status, 0);
    EXPECT_LT(testing::read_file(dir_.file("low.jpeg")).size(), testing::read_file(dir_.file("high.JPG")).size());
    // --format jpeg beats the name, and a 16-bit request still writes 8-bit JPEG.
    ASSERT_EQ(run_tool({input_, "--format", "jpeg", "--bits", "16", "-o", dir_.file("named.png")}).status, 0);
    ReadImage jpeg;
    EXPECT_TRUE(read_jpeg(dir_.file("named.png"), jpeg));
    // Without -o the output takes the input's name with .jpg.
    ASSERT_EQ(run_tool({input_, "--format", "jpeg"}).status, 0);
    EXPECT_TRUE(std::filesystem::exists(dir_.file("in.jpg")));
    for (const char* bad : {"0", "101", "9x", ""}) {
        const auto r = run_tool({input_, "--quality", bad, "-o", dir_.file("bad.jpg")});
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("--quality takes a number from 1 to 100"), std::string::npos) << r.err;
    }
    const auto space = run_tool({input_, "--space", "adobe", "-o", dir_.file("bad.png")});
    EXPECT_EQ(space.status, 2);
    EXPECT_NE(space.err.find("srgb|display-p3|prophoto"), std::string::npos) << space.err;
    const auto help = run_tool({"--help"});
    for (const char* option : {"--quality", "display-p3", "png|tiff|jpeg", ".jpg", "map-table", "deltas"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace lumra_tools
