// The whole development of a fuzzed DNG: read_dng, then develop with options
// drawn from the first byte. A developed image is at most the raw image's
// size (a default crop may cut it), turned a quarter for Orientation 5 to 8.
#include "develop/pipeline.h"
#include "dng/dng_reader.h"
#include "support/dng_checks.h"
#include "support/memory_file.h"

using namespace lumra_tools;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t choice = data[0];
    const lumra_fuzz::MemoryFile file(data + 1, size - 1);
    DngFile dng;
    std::string error;
    if (!read_dng(file.path(), dng, error, 1)) return 0;
    lumra_fuzz::check_read_dng(dng);
    DevelopOptions options;
    options.bits = choice & 1 ? 16 : 8;
    options.space = choice & 2 ? OutputSpace::prophoto : OutputSpace::srgb;
    const auto& stages = skippable_stages();
    for (size_t i = 0; i < stages.size() && i < 6; ++i)
        if (choice >> 2 & 1 << i && i + 2 < 8) options.skip.insert(stages[i].first);
    DevelopedImage out;
    DevelopReport report;
    if (!develop(dng, dng.profile, options, out, report, error)) {
        if (error.empty()) lumra_fuzz::fail("develop failed without a reason");
        return 0;
    }
    const size_t pixels = size_t(out.width) * out.height * 3;
    const bool turned = dng.orientation >= 5 && dng.orientation <= 8;
    const uint32_t most_width = turned ? dng.height : dng.width;
    const uint32_t most_height = turned ? dng.width : dng.height;
    if (out.width == 0 || out.height == 0 || out.width > most_width || out.height > most_height ||
        (options.bits == 8 ? out.rgb8.size() : out.rgb16.size()) != pixels)
        lumra_fuzz::fail("develop gave %u x %u from %u x %u", out.width, out.height, dng.width, dng.height);
    return 0;
}
