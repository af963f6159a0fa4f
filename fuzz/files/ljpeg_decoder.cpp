// The lossless JPEG decoder on any stream. The first four bytes give the
// samples the caller needs and the room it has (little-endian 16-bit needed,
// then 16-bit room beyond it); a decoded frame codes between the two.
#include "dng/ljpeg_decoder.h"
#include "support/entry_harness.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const size_t needed = data[0] | size_t(data[1]) << 8;
    const size_t capacity = needed + (data[2] | size_t(data[3]) << 8);
    std::vector<uint16_t> out(capacity);
    lumra_tools::LosslessJpegDecoder decoder;
    std::string error;
    if (!decoder.decode(data + 4, size - 4, out.data(), needed, capacity, error)) {
        if (error.empty()) lumra_fuzz::fail("the lossless JPEG decoder failed without a reason");
        return 0;
    }
    const size_t samples = decoder.frame().samples();
    if (samples < needed || samples > capacity)
        lumra_fuzz::fail("a frame of %zu samples decoded where %zu to %zu fit", samples, needed, capacity);
    return 0;
}
