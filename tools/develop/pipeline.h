// The development of a DNG through lumra, stage by stage in the DNG order.
// The raw data is read whole; the stages then run band by band on a pool of
// threads, each band in buffers of its own thread, and write the bands of the
// output image. A stage that needs the whole image makes the image so far
// whole first.
#pragma once

#include "dng/dng_file.h"

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace lumra_tools {

enum class OutputSpace { srgb, prophoto, display_p3 };
enum class DemosaicMethod { adaptive, bilinear };

// Stages a user may switch off with --skip.
const std::vector<std::pair<std::string, std::string>>& skippable_stages();

struct DevelopOptions {
    std::set<std::string> skip;
    OutputSpace space = OutputSpace::srgb;
    int bits = 8;  // 8 or 16
    DemosaicMethod demosaic = DemosaicMethod::adaptive;
    // The development runs band by band on this many threads (0: one per
    // core); band_rows 0 sizes the bands to the L2 cache. Neither changes
    // the result.
    unsigned threads = 0;
    uint32_t band_rows = 0;
};

struct StageTime {
    std::string name;
    double seconds = 0.0;
};

struct DevelopReport {
    std::vector<StageTime> stages;
    std::vector<std::string> warnings;
};

struct DevelopedImage {
    uint32_t width = 0, height = 0;
    int bits = 8;
    OutputSpace space = OutputSpace::srgb;  // what the samples are encoded in
    std::vector<uint8_t> rgb8;    // bits 8: height x width x 3
    std::vector<uint16_t> rgb16;  // bits 16
};

// False with a one-line reason (without the file name).
bool develop(const DngFile& dng, const ColorProfile& profile, const DevelopOptions& options, DevelopedImage& out,
             DevelopReport& report, std::string& error);

}  // namespace lumra_tools
