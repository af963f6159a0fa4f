// lumra_fix_bad_pixels_constant_region: a part from a window of the unrepaired mosaic against the out-of-place whole-image call.
#include "calls/raw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return lumra_fuzz::run_window_region<lumra_fuzz::FixBadPixelsCall>(data, size);
}
