// lumra_warp_rectilinear_region: a part from the window lumra_warp_rectilinear_source_window gives (or any window) against the whole-image call.
#include "calls/corrections.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return lumra_fuzz::run_window_region<lumra_fuzz::WarpCall>(data, size);
}
