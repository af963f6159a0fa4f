// Every way a DNG can be refused: one line naming the file and the problem,
// a non-zero exit, and no output file (not even a partial one) left behind.
#include "develop/pipeline.h"
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
    DngWriteOptions deflate;
    deflate.compression = 8;  // Adobe deflate
    expect_refusal(write(small_dng(), "deflate.dng", deflate), "compression 8");
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
