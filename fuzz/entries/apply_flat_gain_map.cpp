// lumra_apply_flat_gain_map: any grid stretched over any mosaic.
#include "calls/corrections.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return lumra_fuzz::run_in_place<lumra_fuzz::FlatGainMapCall>(data, size);
}
