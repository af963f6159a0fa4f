// lumra_apply_gain_map on RGB: any grid, area, plane range, lattice and placement.
#include "calls/corrections.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return lumra_fuzz::run_in_place<lumra_fuzz::GainMapCall<false>>(data, size);
}
