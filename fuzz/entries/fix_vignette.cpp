// lumra_fix_vignette: any coefficients and centre, any channel count.
#include "calls/corrections.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return lumra_fuzz::run_in_place<lumra_fuzz::VignetteCall>(data, size);
}
