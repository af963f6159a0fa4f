// lumra_warp_rectilinear: bilinear and bicubic, any coefficients per plane.
#include "calls/corrections.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return lumra_fuzz::run_source_destination<lumra_fuzz::WarpCall>(data, size);
}
