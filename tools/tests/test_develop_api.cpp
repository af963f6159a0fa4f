// liblumra-develop's C interface, and lumra-develop's batches over it.
#include "lumra_develop.h"

#include "develop/pipeline.h"
#include "dng/dng_reader.h"
#include "sample/camera.h"
#include "tool_test_support.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace lumra_tools {
namespace {

using testing::RunResult;
using testing::TempDir;
using Handle = std::unique_ptr<LumraDevelop, void (*)(LumraDevelop*)>;

Handle make_handle() { return Handle(lumra_develop_new(), lumra_develop_free); }

std::string write_sample(const TempDir& dir, const std::string& name, uint32_t width, uint32_t height) {
    std::string error;
    EXPECT_TRUE(write_dng(dir.file(name), make_sample_dng(width, height), error)) << error;
    return dir.file(name);
}

TEST(DevelopApi, NullArgumentsAreRefused) {
    EXPECT_EQ(lumra_develop_set_option(nullptr, "bits", "8"), LUMRA_DEVELOP_ERR_ARGUMENT);
    EXPECT_EQ(lumra_develop_to_file(nullptr, "a", "b"), LUMRA_DEVELOP_ERR_ARGUMENT);
    EXPECT_STRNE(lumra_develop_error(nullptr), "");
    lumra_develop_free(nullptr);
    Handle h = make_handle();
    LumraDevelopImage image{};
    EXPECT_EQ(lumra_develop_set_option(h.get(), nullptr, "8"), LUMRA_DEVELOP_ERR_ARGUMENT);
    EXPECT_EQ(lumra_develop_to_buffer(h.get(), nullptr, &image), LUMRA_DEVELOP_ERR_ARGUMENT);
    EXPECT_EQ(lumra_develop_to_buffer(h.get(), "x.dng", nullptr), LUMRA_DEVELOP_ERR_ARGUMENT);
    EXPECT_EQ(lumra_develop_to_file(h.get(), "x.dng", nullptr), LUMRA_DEVELOP_ERR_ARGUMENT);
    EXPECT_NE(std::string(lumra_develop_error(h.get())).find("null"), std::string::npos);
}

TEST(DevelopApi, RefusedOptionsChangeNothingAndSpeakLikeTheCommand) {
    TempDir dir;
    const std::string input = write_sample(dir, "s.dng", 48, 32);
    Handle h = make_handle();
    ASSERT_EQ(lumra_develop_set_option(h.get(), "bits", "16"), LUMRA_DEVELOP_OK);
    EXPECT_EQ(lumra_develop_set_option(h.get(), "bits", "12"), LUMRA_DEVELOP_ERR_OPTION);
    EXPECT_STREQ(lumra_develop_error(h.get()), "--bits takes 8 or 16, not 12");
    EXPECT_EQ(lumra_develop_set_option(h.get(), "bits", nullptr), LUMRA_DEVELOP_ERR_OPTION);
    EXPECT_STREQ(lumra_develop_error(h.get()), "option --bits needs a value");
    EXPECT_EQ(lumra_develop_set_option(h.get(), "colour", "red"), LUMRA_DEVELOP_ERR_OPTION);
    EXPECT_STREQ(lumra_develop_error(h.get()), "unknown option --colour (see --help)");
    EXPECT_EQ(lumra_develop_set_option(h.get(), "skip", "warp,everything"), LUMRA_DEVELOP_ERR_OPTION);
    EXPECT_EQ(testing::run_tool({"--bits", "12"}).err, "lumra-develop: --bits takes 8 or 16, not 12\n");

    LumraDevelopImage image{};
    ASSERT_EQ(lumra_develop_to_buffer(h.get(), input.c_str(), &image), LUMRA_DEVELOP_OK) << lumra_develop_error(h.get());
    EXPECT_STREQ(lumra_develop_error(h.get()), "");
    EXPECT_EQ(image.bits, 16);
    EXPECT_EQ(image.width, 48u);
    EXPECT_EQ(image.height, 32u);
    EXPECT_EQ(image.channels, 3u);
    EXPECT_STREQ(lumra_develop_output_extension(h.get()), ".png");
}

TEST(DevelopApi, BufferHoldsThePipelinesPixels) {
    TempDir dir;
    const std::string input = write_sample(dir, "s.dng", 64, 40);
    Handle h = make_handle();
    ASSERT_EQ(lumra_develop_set_option(h.get(), "space", "prophoto"), LUMRA_DEVELOP_OK);
    LumraDevelopImage image{};
    ASSERT_EQ(lumra_develop_to_buffer(h.get(), input.c_str(), &image), LUMRA_DEVELOP_OK);

    std::string error;
    DngFile dng;
    ASSERT_TRUE(read_dng(input, dng, error)) << error;
    DevelopOptions options;
    options.space = OutputSpace::prophoto;
    DevelopedImage expected;
    DevelopReport report;
    ASSERT_TRUE(develop(dng, dng.profile, options, expected, report, error)) << error;
    ASSERT_EQ(image.bits, 8);
    EXPECT_EQ(std::memcmp(image.data, expected.rgb8.data(), expected.rgb8.size()), 0);
    EXPECT_NE(std::string(lumra_develop_report(h.get())).find("read DNG"), std::string::npos);

    // A failure leaves the last result's description alone and says why.
    LumraDevelopImage untouched = image;
    EXPECT_EQ(lumra_develop_to_buffer(h.get(), dir.file("none.dng").c_str(), &image), LUMRA_DEVELOP_ERR_FAILED);
    EXPECT_EQ(image.data, untouched.data);
    EXPECT_EQ(std::string(lumra_develop_error(h.get())).rfind(dir.file("none.dng") + ": ", 0), 0u);
}

TEST(DevelopBatch, EveryFileIsTriedAndOnlyFinishedOutputsRemain) {
    TempDir dir;
    std::vector<std::string> args;
    for (int k = 0; k < 5; ++k) args.push_back(write_sample(dir, "shot" + std::to_string(k) + ".dng", 40 + 8 * k, 32));
    testing::write_file(dir.file("broken.dng"), {'I', 'I', '*', '\0'});
    args.insert(args.begin() + 2, dir.file("broken.dng"));
    std::filesystem::create_directories(dir.file("again"));
    std::filesystem::copy_file(args[0], dir.file("again/shot0.dng"));
    args.push_back(dir.file("again/shot0.dng"));  // the same output name as the first
    args.insert(args.end(), {"-o", dir.file("out/"), "--bits", "16"});

    const RunResult r = testing::run_tool(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
    EXPECT_NE(r.err.find("broken.dng: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("again/shot0.dng: "), std::string::npos) << r.err;
    std::vector<std::string> outputs;
    for (const auto& e : std::filesystem::directory_iterator(dir.file("out")))
        outputs.push_back(e.path().filename().string());
    std::sort(outputs.begin(), outputs.end());
    EXPECT_EQ(outputs, (std::vector<std::string>{"shot0.png", "shot1.png", "shot2.png", "shot3.png", "shot4.png"}));

    // Several inputs need a folder; a good batch succeeds.
    EXPECT_EQ(testing::run_tool({args[0], args[1]}).status, 2);
    EXPECT_EQ(testing::run_tool({args[0], args[1], "-o", dir.file("fine")}).status, 0);
    EXPECT_TRUE(std::filesystem::exists(dir.file("fine/shot1.png")));
}

}  // namespace
}  // namespace lumra_tools
