// lumra_bilinear_demosaic_region: a part from a window of the mosaic against the whole-image call.
#include "calls/raw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return lumra_fuzz::run_window_region<lumra_fuzz::DemosaicCall<false>>(data, size);
}
