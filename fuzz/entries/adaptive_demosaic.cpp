// lumra_adaptive_demosaic: any 2 x 2 pattern, mostly Bayer arrangements.
#include "calls/raw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return lumra_fuzz::run_source_destination<lumra_fuzz::DemosaicCall<true>>(data, size);
}
