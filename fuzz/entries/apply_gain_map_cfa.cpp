// lumra_apply_gain_map_cfa on a mosaic: any grid, area, lattice and placement.
#include "calls/corrections.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return lumra_fuzz::run_in_place<lumra_fuzz::GainMapCall<true>>(data, size);
}
