// decode_raw_data on any layout and block bytes: uncompressed, lossless JPEG
// and deflate blocks with every predictor, integer and float, either byte
// order, strips and tiles. A decoded image has every sample of the layout.
#include "support/entry_harness.h"
#include "support/raw_block_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < lumra_fuzz::kRawHeader) return 0;
    lumra_tools::RawLayout layout = lumra_fuzz::layout_of(data);
    lumra_fuzz::read_blocks(data, size, layout);
    lumra_tools::RawSamples out;
    std::string error;
    if (!lumra_tools::decode_raw_data(layout, data, size, 1, out, error)) {
        if (error.empty()) lumra_fuzz::fail("decode_raw_data failed without a reason");
        return 0;
    }
    const size_t samples = size_t(layout.width) * layout.height * layout.samples;
    if ((layout.floating_point ? out.floats.size() : out.integers.size()) != samples)
        lumra_fuzz::fail("decode_raw_data gave %zu samples for %zu", out.floats.size() + out.integers.size(), samples);
    return 0;
}
