// The banded development gives the same bits for every thread count and band
// height, through every kind of stage (band steps, stages that need the whole
// image, the raw window around a band); the band-parallel PNG writer gives
// the same file on any thread count, and libpng reads back the pixels.
#include "develop/band_pool.h"
#include "develop/color_setup.h"
#include "develop/gain_table_map.h"
#include "develop/icc_profiles.h"
#include "develop/image_output.h"
#include "develop/output_space.h"
#include "develop/pipeline.h"
#include "develop/planes.h"
#include "dng/dng_reader.h"
#include "dng/opcodes.h"
#include "sample/camera.h"
#include "tool_test_support.h"

#include <gtest/gtest.h>
#include <png.h>

#include <atomic>
#include <bit>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <tuple>
#include <utility>

namespace lumra_tools {
namespace {

using testing::TempDir;

DevelopedImage develop_with(const DngFile& dng, unsigned threads, uint32_t band_rows, int bits = 8,
                            DemosaicMethod method = DemosaicMethod::adaptive, uint32_t piece_rows = 0) {
    DevelopOptions options;
    options.demosaic = method;
    options.threads = threads;
    options.band_rows = band_rows;
    options.piece_rows = piece_rows;
    options.bits = bits;
    DevelopedImage image;
    DevelopReport report;
    std::string error;
    EXPECT_TRUE(develop(dng, dng.profile, options, image, report, error)) << error;
    return image;
}

// The index of the first differing element, or -1.
long first_difference(const DevelopedImage& a, const DevelopedImage& b) {
    if (a.width != b.width || a.height != b.height || a.rgb8.size() != b.rgb8.size() ||
        a.rgb16.size() != b.rgb16.size())
        return 0;
    for (size_t i = 0; i < a.rgb8.size(); ++i)
        if (a.rgb8[i] != b.rgb8[i]) return long(i);
    for (size_t i = 0; i < a.rgb16.size(); ++i)
        if (a.rgb16[i] != b.rgb16[i]) return long(i);
    return -1;
}

std::vector<Opcode> parsed(const std::vector<uint8_t>& bytes) {
    std::vector<Opcode> list;
    std::string error;
    EXPECT_TRUE(parse_opcode_list(bytes, list, error)) << error;
    return list;
}

// The development of a CFA file as a chain of whole-image calls, one
// full-size buffer after another.
DevelopedImage whole_image_chain(const DngFile& dng, int bits = 8, DemosaicMethod method = DemosaicMethod::adaptive) {
    DevelopedImage out;
    std::string error;
    ColorSetup color;
    EXPECT_TRUE(setup_color(dng, dng.profile, color, error)) << error;
    std::vector<uint16_t> raw = dng.raw;
    for (const Opcode& op : parsed(dng.opcode_list1)) {
        const auto& fix = std::get<FixBadPixelsConstantOp>(op.body);
        std::vector<uint16_t> fixed = raw;
        LumraImage src{raw.data(), dng.height, dng.width, 1, LUMRA_DTYPE_UINT16, 0};
        LumraImage dst{fixed.data(), dng.height, dng.width, 1, LUMRA_DTYPE_UINT16, 0};
        EXPECT_EQ(lumra_fix_bad_pixels_constant(&src, &dst, uint16_t(fix.constant), int32_t(fix.bayer_phase ^ 1)),
                  LUMRA_OK);
        raw.swap(fixed);
    }
    uint32_t top = 0, left = 0, height = dng.height, width = dng.width;
    if (dng.active_area[2]) {
        top = dng.active_area[0];
        left = dng.active_area[1];
        height = dng.active_area[2] - top;
        width = dng.active_area[3] - left;
    }
    std::vector<uint16_t> active;
    for (uint32_t r = top; r < top + height; ++r)
        active.insert(active.end(), raw.begin() + r * dng.width + left, raw.begin() + r * dng.width + left + width);
    LumraImage active_view{active.data(), height, width, 1, LUMRA_DTYPE_UINT16, 0};
    FloatImage mosaic(height, width, 1);
    LumraImage view = mosaic.view();
    EXPECT_EQ(lumra_normalize_raw(&active_view, &view, dng.black_levels.data(), int32_t(dng.black_repeat_rows),
                                  int32_t(dng.black_repeat_cols), 1, dng.white_levels.data(),
                                  int32_t(dng.white_levels.size()), dng.black_delta_h.data(),
                                  int32_t(dng.black_delta_h.size()), dng.black_delta_v.data(),
                                  int32_t(dng.black_delta_v.size()), nullptr, 0),
              LUMRA_OK);
    DevelopOptions options;
    DevelopReport report;
    OpcodeContext context2{options, report, "OpcodeList2"}, context3{options, report, "OpcodeList3"};
    EXPECT_TRUE(run_float_opcodes(parsed(dng.opcode_list2), mosaic, context2, error)) << error;
    FloatImage rgb(height, width, 3), pcs(height, width, 3);
    LumraImage rgb_view = rgb.view(), pcs_view = pcs.view();
    EXPECT_EQ(method == DemosaicMethod::adaptive ? lumra_adaptive_demosaic(&view, &rgb_view, dng.cfa)
                                                 : lumra_bilinear_demosaic(&view, &rgb_view, dng.cfa),
              LUMRA_OK);
    EXPECT_TRUE(run_float_opcodes(parsed(dng.opcode_list3), rgb, context3, error)) << error;
    height = rgb.height;
    width = rgb.width;
    pcs = FloatImage(height, width, 3);
    rgb_view = rgb.view();
    pcs_view = pcs.view();
    float clip[3], matrix[9], output[9];
    for (int i = 0; i < 3; ++i) clip[i] = float(color.neutral[i]);
    for (int i = 0; i < 9; ++i) matrix[i] = float(color.camera_to_prophoto[i]);
    for (int i = 0; i < 9; ++i) output[i] = float(prophoto_to_output(OutputSpace::srgb)[i]);
    EXPECT_EQ(lumra_clip_and_transform_color(&rgb_view, &pcs_view, clip, matrix), LUMRA_OK);
    const auto& dims = dng.profile.hue_sat_dims;
    EXPECT_EQ(lumra_apply_hue_sat_map(&pcs_view, color.hue_sat.data(), int32_t(dims[0]), int32_t(dims[1]),
                                      int32_t(dims[2])),
              LUMRA_OK);
    EXPECT_EQ(lumra_apply_exposure_ramp(&pcs_view, &pcs_view, std::exp2(-color.exposure_ev), 0.0, 0.0, false),
              LUMRA_OK);
    if (!dng.profile.gain_table_map.empty()) {
        EXPECT_TRUE(apply_gain_table_map(dng.profile.gain_table_map, pcs, error)) << error;
    }
    const auto& look = dng.profile.look_dims;
    if (!dng.profile.look_data.empty()) {
        EXPECT_EQ(lumra_apply_hue_sat_map(&pcs_view, dng.profile.look_data.data(), int32_t(look[0]),
                                          int32_t(look[1]), int32_t(look[2])),
                  LUMRA_OK);
    }
    const std::vector<float> curve = tone_curve_table(dng.profile.tone_curve);
    const std::vector<float> encode = output_encode_table(OutputSpace::srgb);
    out.width = width;
    out.height = height;
    out.bits = bits;
    LumraImage dst{nullptr, height, width, 3, LUMRA_DTYPE_UINT8, 0};
    if (bits == 16) {
        out.rgb16.resize(size_t(width) * height * 3);
        dst.data = out.rgb16.data();
        dst.dtype = LUMRA_DTYPE_UINT16;
    } else {
        out.rgb8.resize(size_t(width) * height * 3);
        dst.data = out.rgb8.data();
    }
    EXPECT_EQ(lumra_transform_color(&pcs_view, &dst, curve.data(), curve.size(), output, encode.data(),
                                    encode.size(), 0, 0, true),
              LUMRA_OK);
    return out;
}

TEST(DevelopBands, SampleIsTheSameForEveryThreadCountAndBandHeight) {
    DngFile dng;
    std::string error;
    ASSERT_TRUE(read_dng(LUMRA_SAMPLE_DNG, dng, error)) << error;
    const DevelopedImage whole = whole_image_chain(dng);
    ASSERT_FALSE(whole.rgb8.empty());
    // Each thread count meets each band height at least once; 0 is the
    // cache-sized default.
    const std::pair<unsigned, uint32_t> runs[] = {{1, 1}, {2, 2}, {3, 7}, {2, 64}, {3, dng.height}, {1, 7},
                                                  {2, 1}, {3, 2},  {1, 64}, {2, 0}};
    for (const auto& [threads, rows] : runs)
        EXPECT_EQ(first_difference(develop_with(dng, threads, rows), whole), -1)
            << threads << " threads, " << rows << " rows per band";
    // Pieces of a few rows within the bands.
    for (const auto& [threads, rows, piece] : {std::tuple{2u, 64u, 5u}, {1u, 0u, 1u}})
        EXPECT_EQ(first_difference(develop_with(dng, threads, rows, 8, DemosaicMethod::adaptive, piece), whole), -1)
            << threads << " threads, " << rows << " rows per band, " << piece << " rows per piece";

    // A host developing again into the same image (a slider drag) reuses its
    // buffer: whatever the buffer held, every output element is written.
    DevelopedImage again;
    again.rgb8.assign(whole.rgb8.size(), 0xA5);
    DevelopOptions options;
    options.threads = 2;
    DevelopReport report;
    ASSERT_TRUE(develop(dng, dng.profile, options, again, report, error)) << error;
    EXPECT_EQ(first_difference(again, whole), -1) << "into a reused buffer";
}

// A ProfileGainTableMap tag of 2 x 2 points, two entries per table.
std::vector<uint8_t> gain_table_tag() {
    std::vector<uint8_t> out;
    auto u32 = [&](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
    };
    auto f64 = [&](double d) {
        const uint64_t bits = std::bit_cast<uint64_t>(d);
        u32(uint32_t(bits >> 32));
        u32(uint32_t(bits));
    };
    u32(2);
    u32(2);
    f64(1.0);
    f64(1.0);
    f64(0.0);
    f64(0.0);
    u32(2);
    for (float w : {0.2f, 0.3f, 0.1f, 0.0f, 0.4f}) u32(std::bit_cast<uint32_t>(w));
    for (float g : {1.0f, 1.2f, 0.9f, 1.1f, 1.3f, 0.8f, 1.05f, 1.15f}) u32(std::bit_cast<uint32_t>(g));
    return out;
}

// A sample with every kind of stage: two bad-pixel repairs with clustered
// marked sites, an active area starting on an odd row, polynomial maps on a
// row lattice, a map table, per-row deltas and per-column scales, gain maps,
// vignette, a warp (bands made from the whole image before it), a trim (a
// stage that needs the whole image and changes its size), the profile's gain
// table map and look table.
DngFile every_stage_sample() {
    DngFile dng = make_sample_dng(70, 53);
    for (const auto& [r, c] : {std::pair{10, 10}, {10, 12}, {11, 11}, {12, 10}, {20, 31}, {21, 31}, {40, 2}})
        dng.raw[size_t(r) * dng.width + c] = 0;
    for (const auto& [r, c] : {std::pair{9, 11}, {30, 30}, {31, 30}, {32, 32}})
        dng.raw[size_t(r) * dng.width + c] = 4000;
    std::vector<Opcode> list1 = parsed(dng.opcode_list1);
    list1.push_back({opcode_id::kFixBadPixelsConstant, 0x01030000, 0, FixBadPixelsConstantOp{4000, 1}});
    dng.opcode_list1 = serialize_opcode_list(list1);
    dng.active_area[0] = 3;
    dng.active_area[1] = 2;
    dng.active_area[2] = 51;
    dng.active_area[3] = 68;
    MapPolynomialOp lattice;
    lattice.area = {5, 3, 40, 60, 0, 1, 3, 2};
    lattice.coefficients = {0.01, 0.9, 0.05};
    MapTableOp table;
    table.area = {0, 0, 53, 70, 0, 1, 1, 1};
    for (uint32_t v = 0; v < 65536; v += 7) table.table.push_back(uint16_t(std::min(65535u, v * 9 / 8)));
    PerLineOp deltas;
    deltas.area = {2, 0, 50, 70, 0, 1, 3, 1};
    for (int r = 0; r < 16; ++r) deltas.values.push_back(0.002f * float(r % 5));
    std::vector<Opcode> list2 = parsed(dng.opcode_list2);
    list2.insert(list2.begin(), {opcode_id::kMapPolynomial, 0x01030000, 0, lattice});
    list2.push_back({opcode_id::kMapPolynomial, 0x01030000, 0, lattice});
    list2.push_back({opcode_id::kMapTable, 0x01030000, 0, table});
    list2.push_back({opcode_id::kDeltaPerRow, 0x01030000, 0, deltas});
    dng.opcode_list2 = serialize_opcode_list(list2);
    MapPolynomialOp rgb = lattice;
    rgb.area = {1, 0, 47, 66, 1, 2, 5, 1};
    WarpRectilinearOp warp;
    warp.radial = {1.0, 0.02, 0.0, 0.0};
    warp.tangential = {0.001, 0.0};
    std::vector<Opcode> list3 = parsed(dng.opcode_list3);
    list3.insert(list3.begin(), {opcode_id::kMapPolynomial, 0x01030000, 0, rgb});
    list3.push_back({opcode_id::kWarpRectilinear, 0x01030000, 0, warp});
    list3.push_back({opcode_id::kMapPolynomial, 0x01030000, 0, rgb});
    PerLineOp scales = deltas;
    scales.area = {0, 1, 48, 66, 0, 3, 1, 2};
    scales.values.assign(40, 1.05f);
    list3.push_back({opcode_id::kScalePerColumn, 0x01030000, 0, scales});
    list3.push_back({opcode_id::kTrimBounds, 0x01030000, 0, TrimBoundsOp{1, 2, 47, 64}});
    list3.push_back({opcode_id::kMapPolynomial, 0x01030000, 0, rgb});
    dng.opcode_list3 = serialize_opcode_list(list3);
    dng.profile.look_dims = dng.profile.hue_sat_dims;
    dng.profile.look_data = dng.profile.hue_sat_data2;
    dng.profile.gain_table_map = gain_table_tag();
    return dng;
}

TEST(DevelopBands, EveryStageKindKeepsItsBits) {
    const DngFile dng = every_stage_sample();
    for (const auto& [bits, method] : {std::pair{8, DemosaicMethod::adaptive}, {16, DemosaicMethod::bilinear}}) {
        const DevelopedImage whole = whole_image_chain(dng, bits, method);
        ASSERT_EQ(whole.height, 46u);  // the active area's 48 x 66, trimmed
        ASSERT_EQ(whole.width, 62u);
        // Threads, rows per band and rows per piece within a band (0: the
        // default, here the whole band).
        const uint32_t runs[][3] = {{3, 1, 0}, {2, 2, 0}, {2, 5, 0}, {3, 7, 0}, {1, 48, 0},
                                    {1, 64, 0}, {2, 5, 2}, {3, 7, 1}, {1, 64, 3}, {2, 48, 48}};
        for (const auto& [threads, rows, piece] : runs)
            EXPECT_EQ(first_difference(develop_with(dng, threads, rows, bits, method, piece), whole), -1)
                << bits << " bits, " << threads << " threads, " << rows << " rows per band, " << piece
                << " rows per piece";
    }
}

TEST(DevelopBands, LinearRawKeepsItsBits) {
    DngFile dng = make_sample_dng(40, 30);
    dng.samples = 3;
    dng.raw.resize(size_t(40) * 30 * 3);
    for (size_t i = 0; i < dng.raw.size(); ++i) dng.raw[i] = uint16_t(600 + (i * 7919) % 50000);
    dng.black_repeat_rows = dng.black_repeat_cols = 1;
    dng.black_levels = {510.0f, 512.0f, 514.0f};
    dng.opcode_list1.clear();
    MapPolynomialOp lattice;
    lattice.area = {2, 0, 27, 40, 0, 3, 2, 1};
    lattice.coefficients = {0.0, 1.1};
    dng.opcode_list2 = serialize_opcode_list({{opcode_id::kMapPolynomial, 0x01030000, 0, lattice}});
    const DevelopedImage whole = develop_with(dng, 1, 30);
    for (const auto& [threads, rows, piece] : {std::tuple{2u, 1u, 0u}, {3u, 4u, 0u}, {2u, 9u, 2u}})
        EXPECT_EQ(first_difference(develop_with(dng, threads, rows, 8, DemosaicMethod::adaptive, piece), whole), -1)
            << threads << " x " << rows << " x " << piece;
}

// Reads a PNG with libpng's own inflate; 16-bit samples come back in host order.
bool read_png(const std::string& path, DevelopedImage& image, std::vector<uint8_t>& icc) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_read_png(png, info, PNG_TRANSFORM_SWAP_ENDIAN, nullptr);
    image.width = png_get_image_width(png, info);
    image.height = png_get_image_height(png, info);
    image.bits = png_get_bit_depth(png, info);
    const bool rgb = png_get_color_type(png, info) == PNG_COLOR_TYPE_RGB;
    png_charp name = nullptr;
    png_bytep profile = nullptr;
    png_uint_32 profile_size = 0;
    int compression = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &profile_size))
        icc.assign(profile, profile + profile_size);
    png_bytepp rows = png_get_rows(png, info);
    const size_t row_elements = size_t(image.width) * 3;
    if (image.bits == 16) image.rgb16.resize(row_elements * image.height);
    else image.rgb8.resize(row_elements * image.height);
    for (uint32_t r = 0; r < image.height; ++r) {
        if (image.bits == 16) std::memcpy(&image.rgb16[r * row_elements], rows[r], row_elements * 2);
        else std::memcpy(&image.rgb8[r * row_elements], rows[r], row_elements);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return rgb;
}

DevelopedImage pattern_image(uint32_t width, uint32_t height, int bits) {
    DevelopedImage image;
    image.width = width;
    image.height = height;
    image.bits = bits;
    const size_t count = size_t(width) * height * 3;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t v = uint32_t(i * 2654435761u >> 7) ^ uint32_t(i / 97);  // runs and noise
        if (bits == 16) image.rgb16.push_back(uint16_t(v));
        else image.rgb8.push_back(uint8_t(i % 5 == 0 ? v : i / 3));
    }
    return image;
}

// An 8-bit image whose Sub-filtered bytes are 0, 1, 2, ... with Fibonacci
// counts: a Huffman tree deeper than deflate's 15 bits, so the code must be
// limited.
DevelopedImage skewed_image() {
    DevelopedImage image;
    image.width = 500;
    image.height = 32;
    const size_t row = 1500;
    std::vector<uint8_t> filtered;
    for (uint64_t k = 0, a = 1, b = 1; k < 23; ++k, b = a + b, a = b - a) filtered.insert(filtered.end(), a, uint8_t(k));
    filtered.resize(row * 32 - 32, 0);
    for (size_t i = 0; i < filtered.size(); ++i) std::swap(filtered[i], filtered[(i * 7919) % filtered.size()]);
    image.rgb8.resize(row * 32);
    for (size_t i = 0; i < image.rgb8.size(); ++i) {
        const uint8_t f = filtered[i - i / row];
        image.rgb8[i] = i % row < 3 ? f : uint8_t(image.rgb8[i - 3] + f);
    }
    return image;
}

TEST(PngBands, LibpngReadsTheSamePixelsFromAnyThreadCount) {
    TempDir dir;
    // Fewer rows than one band, a band and a bit, a single column, a flat
    // image, a code that needs limiting, the developed sample at both depths.
    std::vector<DevelopedImage> images = {pattern_image(1, 1, 8), pattern_image(5, 40, 8), pattern_image(1, 70, 16),
                                          pattern_image(33, 65, 16), skewed_image()};
    DevelopedImage flat = pattern_image(20, 33, 8);
    std::fill(flat.rgb8.begin(), flat.rgb8.end(), 0);
    images.push_back(flat);
    DngFile sample;
    std::string error;
    ASSERT_TRUE(read_dng(LUMRA_SAMPLE_DNG, sample, error)) << error;
    images.push_back(develop_with(sample, 2, 0, 8));
    images.push_back(develop_with(sample, 2, 0, 16));
    images.back().space = OutputSpace::prophoto;  // the writer embeds that profile
    for (size_t n = 0; n < images.size(); ++n) {
        const DevelopedImage& image = images[n];
        std::vector<char> first;
        for (unsigned threads : {1u, 3u}) {
            const std::string path = dir.file(std::to_string(n) + "-" + std::to_string(threads) + ".png");
            WriteOptions write;
            write.threads = threads;
            ASSERT_TRUE(write_image(path, FileFormat::png, image, error, write)) << error;
            DevelopedImage read;
            std::vector<uint8_t> icc;
            ASSERT_TRUE(read_png(path, read, icc)) << n;
            EXPECT_TRUE(icc == icc_profile(image.space)) << n;
            EXPECT_EQ(read.bits, image.bits);
            EXPECT_EQ(first_difference(read, image), -1) << "image " << n << ", " << threads << " threads";
            const std::vector<char> bytes = testing::read_file(path);
            if (first.empty()) first = bytes;
            else EXPECT_TRUE(bytes == first) << "image " << n;
        }
    }
}

TEST(BandPool, RunsEachIndexOnceAndReportsTheFirstFailure) {
    const BandPool pool(3);
    std::vector<std::atomic<int>> seen(1000);
    std::string error;
    EXPECT_TRUE(pool.run(
        seen.size(), [&](size_t i, unsigned worker, std::string&) { return worker < 3 && ++seen[i] == 1; }, error));
    for (const auto& s : seen) EXPECT_EQ(s.load(), 1);
    // Indices are claimed in order, so every index below a failing one runs
    // and the lowest failure wins whatever the timing.
    for (int repeat = 0; repeat < 20; ++repeat) {
        EXPECT_FALSE(pool.run(
            1000,
            [&](size_t i, unsigned, std::string& e) {
                e = "band " + std::to_string(i);
                return i != 900 && i != 300 && i != 301;
            },
            error));
        EXPECT_EQ(error, "band 300");
    }
    EXPECT_THROW(pool.run(
                     50, [](size_t i, unsigned, std::string&) -> bool { if (i == 7) throw std::bad_alloc(); return true; },
                     error),
                 std::bad_alloc);
    EXPECT_TRUE(pool.run(0, [](size_t, unsigned, std::string&) { return false; }, error));
}

// Each worker takes runs of neighbouring indices: as many breaks between a
// worker's consecutive indices as there are runs at most, whatever the timing.
TEST(BandPool, WorkersTakeRunsOfNeighbouringIndices) {
    for (const unsigned threads : {2u, 3u}) {
        const BandPool pool(threads);
        const size_t count = 500;
        size_t runs = 0;
        for (size_t first = 0; first < count; ++runs) first += std::max<size_t>(1, (count - first) / (2 * threads));
        ASSERT_LT(runs, 40u);
        std::vector<std::vector<size_t>> taken(threads);
        std::string error;
        ASSERT_TRUE(pool.run(
            count,
            [&](size_t i, unsigned worker, std::string&) {
                taken[worker].push_back(i);
                return true;
            },
            error));
        size_t total = 0, breaks = 0;
        for (const auto& indices : taken) {
            total += indices.size();
            for (size_t k = 0; k < indices.size(); ++k) {
                if (k > 0) {
                    ASSERT_GT(indices[k], indices[k - 1]);
                }
                if (k == 0 || indices[k] != indices[k - 1] + 1) ++breaks;
            }
        }
        EXPECT_EQ(total, count);
        EXPECT_LE(breaks, runs) << threads;
    }
}

// Output buffers of many megabytes get mappings of their own; small ones come
// from the heap. Either way they keep their values through growth and swaps.
TEST(DevelopBands, SampleBuffersOfEverySizeKeepTheirValues) {
    for (const size_t count : {size_t{100}, size_t{3} << 20, size_t{9} << 20}) {
        SampleVector<uint16_t> a(count);
        for (size_t i = 0; i < count; ++i) a[i] = uint16_t(i * 40503u);
        a.resize(count + (count / 2));
        SampleVector<uint16_t> b;
        b.swap(a);
        ASSERT_TRUE(a.empty());
        for (size_t i = 0; i < count; ++i) ASSERT_EQ(b[i], uint16_t(i * 40503u)) << count << " " << i;
        b.resize(count / 2);
        b.shrink_to_fit();
        ASSERT_EQ(b[count / 2 - 1], uint16_t((count / 2 - 1) * 40503u));
    }
}

TEST(DevelopBands, ThreadsOption) {
    EXPECT_EQ(testing::run_tool({"--threads", "0"}).status, 2);
    EXPECT_EQ(testing::run_tool({"--threads", "x"}).status, 2);
    TempDir dir;
    const auto result = testing::run_tool({LUMRA_SAMPLE_DNG, "--threads", "3", "-o", dir.file("out.png")});
    EXPECT_EQ(result.status, 0) << result.err;
}

}  // namespace
}  // namespace lumra_tools
