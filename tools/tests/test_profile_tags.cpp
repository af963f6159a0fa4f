// The profile tags read from any tag source (a DNG or a camera profile file):
// numbers no valid tag holds (negative, NaN, beyond 32 bits, which signed and
// rational tags can carry) are refused or count as absent.
#include "dng/profile_tags.h"
#include "dng/tiff_fields.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>

namespace lumra_tools {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class FakeTags : public TagSource {
public:
    std::map<uint32_t, std::vector<double>> values;
    bool numbers(uint32_t tag, std::vector<double>& out) override {
        const auto found = values.find(tag);
        if (found == values.end()) return false;
        out = found->second;
        return true;
    }
    bool bytes(uint32_t, std::vector<uint8_t>&) override { return false; }
};

TEST(ProfileTags, ScalarsOutsideUnsigned32BitsCountAsAbsent) {
    for (double bad : {-31232.0, -1.0, kNaN, -kInf, kInf, 4294967296.0}) {
        FakeTags tags;
        tags.values[50778] = {bad};  // CalibrationIlluminant1
        tags.values[dng_tag::kHueSatMapEncoding] = {bad};
        ColorProfile profile;
        std::string error;
        ASSERT_TRUE(read_profile_tags(tags, profile, error)) << error;
        EXPECT_EQ(profile.illuminant1, 0) << bad;
        EXPECT_EQ(profile.hue_sat_encoding, 0u) << bad;
    }
    FakeTags tags;
    tags.values[50778] = {21.0};
    tags.values[dng_tag::kHueSatMapEncoding] = {1.0};
    ColorProfile profile;
    std::string error;
    ASSERT_TRUE(read_profile_tags(tags, profile, error)) << error;
    EXPECT_EQ(profile.illuminant1, 21);
    EXPECT_EQ(profile.hue_sat_encoding, 1u);
}

TEST(ProfileTags, DivisionsThatAreNotCountsAreRefused) {
    const std::vector<std::vector<double>> bad = {{kNaN, 2, 1}, {4, kNaN, 1}, {4, 2, kNaN}, {-1, 2, 1},
                                                  {4, 2, 1e12}, {4, kInf, 1}};
    for (const auto& dims : bad) {
        FakeTags tags;
        tags.values[dng_tag::kLookTableDims] = dims;
        ColorProfile profile;
        std::string error;
        EXPECT_FALSE(read_profile_tags(tags, profile, error));
        EXPECT_NE(error.find("ProfileLookTableDims"), std::string::npos) << error;
    }
    FakeTags tags;
    tags.values[dng_tag::kLookTableDims] = {4, 2, 0};
    tags.values[dng_tag::kLookTableData] = std::vector<double>(4 * 2 * 3, 1.0);
    ColorProfile profile;
    std::string error;
    ASSERT_TRUE(read_profile_tags(tags, profile, error)) << error;
    EXPECT_EQ(profile.look_dims, (std::vector<uint32_t>{4, 2, 0}));
    EXPECT_EQ(profile.look_data.size(), 24u);
}

}  // namespace
}  // namespace lumra_tools
