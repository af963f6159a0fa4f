// Every way a DNG can be refused: one line naming the file and the problem,
// a non-zero exit, and no output file (not even a partial one) left behind.
#include "develop/pipeline.h"
#include "dng/dng_reader.h"
#include "dng/opcodes.h"
#include "sample/camera.h"
#include "tool_test_support.h"

#include <algorithm>
#include <random>

namespace lumra_tools {
namespace {

using testing::RunResult;
using testing::TempDir;
using testing::run_tool;

// A small valid DNG to break in one place at a time.
DngFile small_dng() { return make_sample_dng(48, 32); }

class DevelopErrors : public ::testing::Test {
protected:
    // Runs the tool on input and checks the refusal is clean.
    RunResult expect_refusal(const std::string& input, const std::string& problem) {
        const std::string output = dir_.file("out.png");
        RunResult r = run_tool({input, "-o", output});
        EXPECT_NE(r.status, 0) << input;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(input), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(problem), std::string::npos) << "expected '" << problem << "' in: " << r.err;
        for (const std::string& name : dir_.entries()) EXPECT_EQ(name.find("out.png"), std::string::npos) << name;
        return r;
    }
    std::string write(const DngFile& dng, const std::string& name, const DngWriteOptions& options = {}) {
        const std::string path = dir_.file(name);
        std::string error;
        EXPECT_TRUE(write_dng(path, dng, error, options)) << error;
        return path;
    }
    TempDir dir_;
};

TEST_F(DevelopErrors, MissingUnreadableAndNonDngFiles) {
    expect_refusal(dir_.file("absent.dng"), "No such file");
    std::filesystem::create_directory(dir_.file("folder.dng"));
    expect_refusal(dir_.file("folder.dng"), "is a directory");
    testing::write_file(dir_.file("text.dng"), {'h', 'e', 'l', 'l', 'o', '\n'});
    expect_refusal(dir_.file("text.dng"), "not a TIFF/DNG");
    testing::write_file(dir_.file("empty.dng"), {});
    expect_refusal(dir_.file("empty.dng"), "not a TIFF/DNG");
    DngWriteOptions plain;
    plain.with_dng_version = false;
    expect_refusal(write(small_dng(), "plain.tif", plain), "not a DNG");
}

TEST_F(DevelopErrors, UnsupportedCompressionAndLayouts) {
    DngWriteOptions lzw;
    lzw.compression = 5;
    expect_refusal(write(small_dng(), "lzw.dng", lzw), "compression 5");
    DngWriteOptions lossy;
    lossy.compression = 34892;
    expect_refusal(write(small_dng(), "lossy.dng", lossy), "compression 34892 (lossy JPEG)");
    DngFile two = small_dng();
    two.samples = 2;
    two.raw.assign(size_t(two.width) * two.height * 2, 1000);
    two.black_levels.assign(2, 0.0f);
    expect_refusal(write(two, "two-samples.dng"), "2 samples");
    DngFile cfa = small_dng();
    cfa.cfa[3] = 5;  // a colour outside the three planes
    expect_refusal(write(cfa, "cfa.dng"), "CFAPattern");
}

TEST_F(DevelopErrors, TagsWithImpossibleSizes) {
    DngFile black = small_dng();
    black.black_levels.resize(3);
    expect_refusal(write(black, "black.dng"), "BlackLevel values");
    DngFile white = small_dng();
    white.white_levels = {16383.0f, 16383.0f};
    expect_refusal(write(white, "white.dng"), "WhiteLevel");
    DngFile delta = small_dng();
    delta.black_delta_h.resize(7);
    expect_refusal(write(delta, "delta.dng"), "BlackLevelDeltaH");
    DngFile matrix = small_dng();
    matrix.profile.color_matrix1.resize(6);
    expect_refusal(write(matrix, "matrix.dng"), "ColorMatrix1 holds 6");
    DngFile neutral = small_dng();
    neutral.as_shot_neutral.resize(2);
    expect_refusal(write(neutral, "neutral.dng"), "AsShotNeutral");
    DngFile table = small_dng();
    table.profile.hue_sat_data1.resize(30);
    expect_refusal(write(table, "table.dng"), "ProfileHueSatMapData1");
    DngFile area = small_dng();
    area.active_area[0] = 0;
    area.active_area[1] = 0;
    area.active_area[2] = area.height + 2;
    area.active_area[3] = area.width;
    expect_refusal(write(area, "area.dng"), "ActiveArea");
}

TEST_F(DevelopErrors, TruncatedFiles) {
    const std::vector<char> whole = testing::read_file(write(small_dng(), "whole.dng"));
    ASSERT_GT(whole.size(), 2000u);
    // Cut inside the image data (stored first), and inside the directory.
    testing::write_file(dir_.file("cut-data.dng"), std::vector<char>(whole.begin(), whole.begin() + 1000));
    expect_refusal(dir_.file("cut-data.dng"), "not a TIFF/DNG");
    testing::write_file(dir_.file("cut-8.dng"), std::vector<char>(whole.begin(), whole.begin() + 8));
    expect_refusal(dir_.file("cut-8.dng"), "not a TIFF/DNG");
    // Every cut point must fail cleanly, never read past the bytes that exist.
    for (size_t cut = 16; cut < whole.size(); cut += whole.size() / 37) {
        testing::write_file(dir_.file("cut.dng"), std::vector<char>(whole.begin(), whole.begin() + cut));
        const RunResult r = run_tool({dir_.file("cut.dng"), "-o", dir_.file("out.png")});
        EXPECT_NE(r.status, 0) << cut;
        EXPECT_FALSE(std::filesystem::exists(dir_.file("out.png")));
    }
}

TEST_F(DevelopErrors, RandomDamageIsRefusedOrDevelopedNeverMisread) {
    const std::vector<char> whole = testing::read_file(write(small_dng(), "whole.dng"));
    std::mt19937 rng(11);
    int refused = 0;
    for (int trial = 0; trial < 150; ++trial) {
        std::vector<char> damaged = whole;
        // Damage concentrates on the directory and tag data after the pixels.
        const size_t from = trial % 3 == 0 ? 0 : whole.size() - std::min<size_t>(whole.size(), 1200);
        for (int k = 0; k < 1 + int(rng() % 6); ++k) damaged[from + rng() % (whole.size() - from)] = char(rng());
        testing::write_file(dir_.file("damaged.dng"), damaged);
        const RunResult r = run_tool({dir_.file("damaged.dng"), "-o", dir_.file("d.png")});
        if (r.status != 0) {
            ++refused;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            EXPECT_FALSE(std::filesystem::exists(dir_.file("d.png")));
        }
        std::filesystem::remove(dir_.file("d.png"));
    }
    EXPECT_GT(refused, 0);
}

// The entries of the first directory of a little-endian TIFF (where the
// writer puts the raw image unless asked for a preview first).
class TiffEntries {
public:
    explicit TiffEntries(std::vector<char>& bytes) : b_(bytes) {}
    // Values of a SHORT or LONG tag, wherever they are stored.
    std::vector<uint32_t> get(uint16_t tag) const {
        const size_t entry = find(tag);
        const uint16_t type = u16(entry + 2);
        const uint32_t count = u32(entry + 4);
        const size_t size = type == 3 ? 2 : 4;
        const size_t at = count * size <= 4 ? entry + 8 : u32(entry + 8);
        std::vector<uint32_t> values;
        for (uint32_t i = 0; i < count; ++i) values.push_back(size == 2 ? u16(at + 2 * i) : u32(at + 4 * i));
        return values;
    }
    // Replaces the value of a one-value tag, stored as LONG from now on.
    void set(uint16_t tag, uint32_t value) {
        const size_t entry = find(tag);
        ASSERT_EQ(u32(entry + 4), 1u) << tag;
        put16(entry + 2, 4);
        for (int k = 0; k < 4; ++k) b_[entry + 8 + k] = char(value >> (8 * k));
    }

    // Replaces one value of a SHORT or LONG array tag stored outside its entry.
    void set_at(uint16_t tag, size_t index, uint32_t value) {
        const size_t entry = find(tag);
        const size_t size = u16(entry + 2) == 3 ? 2 : 4;
        const size_t at = u32(entry + 8) + size * index;
        for (size_t k = 0; k < size; ++k) b_[at + k] = char(value >> (8 * k));
    }

private:
    size_t find(uint16_t tag) const {
        const size_t ifd = u32(4);
        for (size_t i = 0, n = u16(ifd); i < n; ++i)
            if (u16(ifd + 2 + 12 * i) == tag) return ifd + 2 + 12 * i;
        ADD_FAILURE() << "no tag " << tag;
        return 0;
    }
    uint32_t u16(size_t at) const { return uint8_t(b_[at]) | uint32_t(uint8_t(b_[at + 1])) << 8; }
    uint32_t u32(size_t at) const { return u16(at) | u16(at + 2) << 16; }
    void put16(size_t at, uint16_t v) {
        b_[at] = char(v);
        b_[at + 1] = char(v >> 8);
    }
    std::vector<char>& b_;
};

constexpr uint16_t kImageWidth = 256, kImageLength = 257, kPredictor = 317, kTileWidth = 322, kTileLength = 323,
                   kTileOffsets = 324, kTileByteCounts = 325;

class DamagedRawData : public DevelopErrors {
protected:
    // A 48 x 32 image in one 48 x 32 tile (a file's bytes, to damage).
    std::vector<char> one_tile(uint16_t compression) {
        DngWriteOptions o;
        o.compression = compression;
        o.tile_width = 48;
        o.tile_height = 32;
        return testing::read_file(write(small_dng(), "one-tile.dng", o));
    }
    std::string save(const std::vector<char>& bytes, const std::string& name) {
        testing::write_file(dir_.file(name), bytes);
        return dir_.file(name);
    }
};

TEST_F(DamagedRawData, BlocksOutsideTheFileOrOfImpossibleSize) {
    std::vector<char> f = one_tile(7);
    TiffEntries(f).set(kTileOffsets, uint32_t(f.size() - 4));
    expect_refusal(save(f, "offset.dng"), "tile 0 lies past the end of the file");
    f = one_tile(7);
    TiffEntries(f).set(kTileByteCounts, uint32_t(f.size()));
    expect_refusal(save(f, "count.dng"), "tile 0 lies past the end of the file");
    f = one_tile(8);
    TiffEntries(f).set(kTileByteCounts, 0);
    expect_refusal(save(f, "empty.dng"), "tile 0 is empty");
    // Tiles or images far larger than the bytes stored: refused before any allocation.
    for (uint16_t compression : {uint16_t(1), uint16_t(7), uint16_t(8)}) {
        f = one_tile(compression);
        TiffEntries(f).set(kTileWidth, 65520);
        TiffEntries(f).set(kTileLength, 65520);
        expect_refusal(save(f, "huge-tile.dng"), "too few for its 65520 x 65520 x 1 samples");
    }
    f = one_tile(7);
    TiffEntries(f).set(kTileWidth, 65520);
    TiffEntries(f).set(kTileLength, 65520);
    TiffEntries(f).set(kImageWidth, 60000);
    TiffEntries(f).set(kImageLength, 60000);
    expect_refusal(save(f, "huge-image.dng"), "impossible image size");
}

TEST_F(DamagedRawData, StreamsThatAreDamagedCutOrTooSmall) {
    std::vector<char> f = one_tile(7);
    const uint32_t offset = TiffEntries(f).get(kTileOffsets)[0];
    f[offset + 1] = 0;
    expect_refusal(save(f, "soi.dng"), "tile 0 has a lossless JPEG stream without an SOI marker");
    f = one_tile(7);
    TiffEntries(f).set(kTileByteCounts, TiffEntries(f).get(kTileByteCounts)[0] / 2);
    expect_refusal(save(f, "cut.dng"), "tile 0 is cut off");
    f = one_tile(7);
    TiffEntries(f).set(kTileLength, 48);  // the stream codes 32 of the tile's 48 rows
    expect_refusal(save(f, "short-jpeg.dng"), "tile 0 has a lossless JPEG stream of 48 x 32 x 1 samples where 2304");
    f = one_tile(8);
    f[TiffEntries(f).get(kTileOffsets)[0]] = 0;  // the zlib header
    expect_refusal(save(f, "zlib.dng"), "tile 0 holds damaged deflate data");
    f = one_tile(8);
    TiffEntries(f).set(kTileLength, 48);
    expect_refusal(save(f, "short-deflate.dng"), "tile 0 inflates to 3072 bytes where it holds 4608");
    f = one_tile(8);
    TiffEntries(f).set(kTileWidth, 16);  // three tiles across, two of them missing
    expect_refusal(save(f, "count.dng"), "tile 1 is empty");
    DngWriteOptions o;
    o.compression = 8;
    o.predictor = 2;
    std::vector<char> g = testing::read_file(write(small_dng(), "predictor.dng", o));
    TiffEntries(g).set(kPredictor, 34894);
    expect_refusal(save(g, "predictor.dng"), "predictor 34894, which is not supported for integer deflate data");
}

TEST_F(DamagedRawData, TheFirstBadTileIsNamedWhateverTheThreads) {
    DngWriteOptions o;
    o.compression = 7;
    o.tile_width = o.tile_height = 16;
    std::vector<char> f = testing::read_file(write(small_dng(), "tiles.dng", o));  // 3 x 2 tiles
    const std::vector<uint32_t> offsets = TiffEntries(f).get(kTileOffsets);
    ASSERT_EQ(offsets.size(), 6u);
    // Tiles that all claim the same bytes, more of them together than the file holds.
    std::vector<char> overlapping = f;
    for (size_t i = 0; i < 6; ++i) {
        TiffEntries(overlapping).set_at(kTileOffsets, i, 8);
        TiffEntries(overlapping).set_at(kTileByteCounts, i, uint32_t(f.size() / 5));
    }
    expect_refusal(save(overlapping, "overlapping.dng"), "tiles of more bytes together than the file holds");
    f[offsets[5] + 1] = 0;
    f[offsets[3] + 1] = 0;
    const std::string path = save(f, "bad-tiles.dng");
    expect_refusal(path, "tile 3 has");
    for (unsigned threads : {1u, 2u, 6u}) {
        DngFile dng;
        std::string error;
        EXPECT_FALSE(read_dng(path, dng, error, threads));
        EXPECT_EQ(error.rfind("tile 3 has", 0), 0u) << error;
    }
}

TEST_F(DamagedRawData, RandomDamageInsideCompressedTiles) {
    for (uint16_t compression : {uint16_t(7), uint16_t(8)}) {
        DngWriteOptions o;
        o.compression = compression;
        o.tile_width = o.tile_height = 16;
        std::vector<char> whole = testing::read_file(write(small_dng(), "whole.dng", o));
        const std::vector<uint32_t> offsets = TiffEntries(whole).get(kTileOffsets);
        std::mt19937 rng(compression);
        for (int trial = 0; trial < 60; ++trial) {
            std::vector<char> damaged = whole;
            const uint32_t start = offsets[rng() % offsets.size()];
            for (int k = 0; k < 1 + int(rng() % 3); ++k) damaged[start + rng() % 200] = char(rng());
            const RunResult r = run_tool({save(damaged, "damaged.dng"), "-o", dir_.file("d.png")});
            if (r.status != 0) {
                EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            }
            std::filesystem::remove(dir_.file("d.png"));
        }
    }
}

TEST_F(DevelopErrors, MalformedOpcodeLists) {
    const std::vector<uint8_t> huge_count = {0x7f, 0xff, 0xff, 0xff, 0, 0, 0, 9};
    DngFile count = small_dng();
    count.opcode_list2 = huge_count;
    expect_refusal(write(count, "count.dng"), "malformed OpcodeList2");
    DngFile size = small_dng();
    size.opcode_list3 = {0, 0, 0, 1, 0, 0, 0, 3, 1, 3, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 0xff, 0xf0, 0};
    expect_refusal(write(size, "size.dng"), "malformed OpcodeList3");
    // A GainMap whose point counts multiply past the parameters it carries.
    GainMapOp g;
    g.points_v = 0x10000;
    g.points_h = 0x10000;
    g.map_planes = 0x10001;
    g.gains = {1.0f};
    DngFile gain = small_dng();
    gain.opcode_list2 = serialize_opcode_list({{opcode_id::kGainMap, 0x01030000, 0, g}});
    expect_refusal(write(gain, "gain.dng"), "GainMap");
}

TEST_F(DevelopErrors, UnknownOpcodesDependOnTheOptionalFlag) {
    DngFile required = small_dng();
    required.opcode_list3 = serialize_opcode_list({{2, 0x01030000, 0, UnknownOp{{1, 2, 3, 4}}}});
    expect_refusal(write(required, "required.dng"), "WarpFisheye");
    DngFile optional = small_dng();
    optional.opcode_list3 = serialize_opcode_list({{2, 0x01030000, 1, UnknownOp{{1, 2, 3, 4}}}});
    const RunResult r = run_tool({write(optional, "optional.dng"), "-o", dir_.file("ok.png")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning: skipping optional OpcodeList3 opcode 2 (WarpFisheye)"), std::string::npos) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir_.file("ok.png")));
}

TEST_F(DevelopErrors, OutputProblemsLeaveNothingBehind) {
    const std::string input = write(small_dng(), "good.dng");
    RunResult r = run_tool({input, "-o", dir_.file("missing-folder/out.png")});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("missing-folder/out.png"), std::string::npos) << r.err;
    r = run_tool({input, "-o", input});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("overwrite the input"), std::string::npos) << r.err;
    const std::vector<std::string> entries = dir_.entries();
    EXPECT_EQ(entries, std::vector<std::string>{"good.dng"});
}

TEST_F(DevelopErrors, CommandLineMistakes) {
    EXPECT_EQ(run_tool({"--bits", "12"}).status, 2);
    EXPECT_EQ(run_tool({"--skip", "everything"}).status, 2);
    EXPECT_EQ(run_tool({"--frobnicate"}).status, 2);
    EXPECT_EQ(run_tool({"a.dng", "b.dng"}).status, 2);
    EXPECT_EQ(run_tool({"-o"}).status, 2);
    const RunResult dcp = run_tool({write(small_dng(), "p.dng"), "--dcp", dir_.file("none.dcp"), "-o", dir_.file("o.png")});
    EXPECT_NE(dcp.status, 0);
    EXPECT_NE(dcp.err.find("none.dcp"), std::string::npos) << dcp.err;
}

TEST(DevelopHelp, ListsEveryOptionAndStage) {
    const RunResult r = run_tool({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* option : {"--output", "--bits", "--format", "--space", "--dcp", "--skip", "--verbose", "--help",
                               "--version"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
    for (const auto& stage : skippable_stages()) EXPECT_NE(r.out.find(stage.first), std::string::npos);
}

}  // namespace
}  // namespace lumra_tools
